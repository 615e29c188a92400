#include "platform/db/MariaDBSupport.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

namespace pv::maria {

namespace {

bool Space(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '\v'; }
bool IdentStart(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || static_cast<unsigned char>(C) >= 0x80;
}
bool IdentChar(char C) { return IdentStart(C) || (C >= '0' && C <= '9'); }

// One "key=value" pair of a connection string, with where its value lies.
struct TPair {
    std::string_view Key;
    std::string Value;
    std::size_t ValueStart = 0;
    std::size_t ValueEnd = 0;
    bool HasValue = false;
};

// Splits S into pairs; a word without '=' is a pair without a value. An
// unclosed quote ends at the end of S (Unclosed set).
std::vector<TPair> Pairs(std::string_view S, bool& Unclosed) {
    std::vector<TPair> R;
    Unclosed = false;
    std::size_t I = 0;
    while (I < S.size()) {
        if (Space(S[I])) {
            ++I;
            continue;
        }
        TPair P;
        const std::size_t KeyStart = I;
        while (I < S.size() && S[I] != '=' && !Space(S[I])) ++I;
        P.Key = S.substr(KeyStart, I - KeyStart);
        std::size_t J = I;
        while (J < S.size() && Space(S[J])) ++J;
        if (J < S.size() && S[J] == '=') {
            P.HasValue = true;
            I = J + 1;
            while (I < S.size() && Space(S[I])) ++I;
            P.ValueStart = I;
            if (I < S.size() && S[I] == '\'') {
                ++I;
                while (I < S.size() && S[I] != '\'') {
                    if (S[I] == '\\' && I + 1 < S.size()) ++I;
                    P.Value += S[I++];
                }
                if (I < S.size())
                    ++I;
                else
                    Unclosed = true;
            } else {
                while (I < S.size() && !Space(S[I])) {
                    if (S[I] == '\\' && I + 1 < S.size()) ++I;
                    P.Value += S[I++];
                }
            }
            P.ValueEnd = I;
        }
        R.push_back(std::move(P));
    }
    return R;
}

// The end of the quoted text starting at Sql[I] (its opening quote), just
// past the closing quote; npos when it never closes.
std::size_t QuotedEnd(std::string_view Sql, std::size_t I, char Quote, bool Backslash) {
    for (std::size_t J = I + 1; J < Sql.size(); ++J) {
        if (Backslash && Sql[J] == '\\') {
            ++J;
        } else if (Sql[J] == Quote) {
            if (J + 1 < Sql.size() && Sql[J + 1] == Quote)
                ++J;
            else
                return J + 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

void InitLibrary() {
    static std::once_flag Once;
    std::call_once(Once, [] { mysql_library_init(0, nullptr, nullptr); });
}

std::optional<TConnectionOptions> ParseConnectionString(std::string_view S, std::string& Error) {
    TConnectionOptions O;
    if (S.find('=') == std::string_view::npos) {
        const std::size_t First = S.find_first_not_of(" \t\r\n");
        if (First != std::string_view::npos) {
            const std::size_t Last = S.find_last_not_of(" \t\r\n");
            O.Database = std::string(S.substr(First, Last + 1 - First));
        }
        return O;
    }
    bool Unclosed = false;
    const std::vector<TPair> List = Pairs(S, Unclosed);
    if (Unclosed) {
        Error = "a quoted value is not closed";
        return std::nullopt;
    }
    std::string_view Previous;
    for (const TPair& P : List) {
        if (!P.HasValue) {
            // After a password, the word may be the rest of it: not quoted.
            Error = Previous == "password" ? "a word without '=' follows the password (quote a password with a "
                                             "space: password='...')"
                                           : "'" + std::string(P.Key) + "' is not key=value";
            return std::nullopt;
        }
        Previous = P.Key;
        if (P.Key == "host") {
            O.Host = P.Value;
        } else if (P.Key == "port") {
            unsigned V = 0;
            auto [End, Ec] = std::from_chars(P.Value.data(), P.Value.data() + P.Value.size(), V);
            if (Ec != std::errc() || End != P.Value.data() + P.Value.size() || V == 0 || V > 65535) {
                Error = "port '" + P.Value + "' is not a number in 1..65535";
                return std::nullopt;
            }
            O.Port = V;
        } else if (P.Key == "user") {
            O.User = P.Value;
        } else if (P.Key == "password") {
            O.Password = P.Value;
        } else if (P.Key == "database" || P.Key == "dbname") {
            O.Database = P.Value;
        } else if (P.Key == "socket") {
            O.Socket = P.Value;
        } else if (P.Key == "optionfile") {
            O.OptionFile = P.Value;
        } else {
            Error = "unknown key '" + std::string(P.Key) + "' (known: " + std::string(ConnectionKeys) + ")";
            return std::nullopt;
        }
        if (P.Value.find('\0') != std::string::npos) {
            Error = "the value of " + std::string(P.Key) + " holds a NUL character";
            return std::nullopt;
        }
    }
    return O;
}

std::string MaskConnectionString(std::string_view S) {
    bool Unclosed = false;
    const std::vector<TPair> List = Pairs(S, Unclosed);
    std::string R;
    std::size_t Copied = 0;
    bool AfterPassword = false;
    for (const TPair& P : List) {
        if (P.HasValue) {
            AfterPassword = P.Key == "password";
            if (!AfterPassword) continue;
            R.append(S.substr(Copied, P.ValueStart - Copied));
            R.append("****");
            Copied = P.ValueEnd;
        } else if (AfterPassword) {
            const std::size_t Start = static_cast<std::size_t>(P.Key.data() - S.data());
            R.append(S.substr(Copied, Start - Copied));
            R.append("****");
            Copied = Start + P.Key.size();
        }
    }
    R.append(S.substr(Copied));
    return R;
}

std::string CleanMessage(std::string_view Message, std::string_view Secret) {
    std::string Masked;
    if (Secret.empty()) {
        Masked = Message;
    } else {
        for (std::size_t I = 0; I < Message.size();) {
            if (Message.substr(I).starts_with(Secret)) {
                Masked += "****";
                I += Secret.size();
            } else {
                Masked += Message[I++];
            }
        }
    }
    std::string R;
    for (char C : Masked) {
        if (Space(C)) {
            if (!R.empty() && R.back() != ' ') R += ' ';
        } else {
            R += C;
        }
    }
    while (!R.empty() && R.back() == ' ') R.pop_back();
    return R;
}

TNamedSQL TranslateNamedParams(std::string_view Sql, bool BackslashEscapes) {
    TNamedSQL R;
    R.Text.reserve(Sql.size());
    std::size_t I = 0;
    auto CopyTo = [&](std::size_t End) {
        R.Text.append(Sql.substr(I, End - I));
        I = End;
    };
    while (I < Sql.size()) {
        const char C = Sql[I];
        const char Next = I + 1 < Sql.size() ? Sql[I + 1] : '\0';
        const bool Comment = C == '#' || (C == '-' && Next == '-' && (I + 2 >= Sql.size() || Space(Sql[I + 2]))) ||
                             (C == '/' && Next == '*');
        if (!Comment && !Space(C)) R.Empty = false;
        if (C == '\'' || C == '"' || C == '`') {
            const std::size_t End = QuotedEnd(Sql, I, C, BackslashEscapes && C != '`');
            if (End == std::string_view::npos) {
                R.Error = std::string(C == '`' ? "a `quoted name`" : "a quoted text") + " is not closed";
                return R;
            }
            CopyTo(End);
        } else if (C == '#' || (C == '-' && Next == '-' && (I + 2 >= Sql.size() || Space(Sql[I + 2])))) {
            const std::size_t End = Sql.find('\n', I);
            CopyTo(End == std::string_view::npos ? Sql.size() : End);
        } else if (C == '/' && Next == '*') {
            const std::size_t End = Sql.find("*/", I + 2);
            if (End == std::string_view::npos) {
                R.Error = "a /* comment */ is not closed";
                return R;
            }
            CopyTo(End + 2);
        } else if (C == '?') {
            R.Error = "the SQL has a ? placeholder: write :name and give its value in Params as name=value";
            return R;
        } else if (C == ':' && IdentStart(Next) && !(I > 0 && IdentChar(Sql[I - 1]))) {
            std::size_t J = I + 1;
            while (J < Sql.size() && IdentChar(Sql[J])) ++J;
            R.Names.emplace_back(Sql.substr(I + 1, J - I - 1));
            R.Text += '?';
            I = J;
        } else if (IdentStart(C)) {
            std::size_t J = I;
            while (J < Sql.size() && (IdentChar(Sql[J]) || Sql[J] == '$')) ++J;
            CopyTo(J);
        } else {
            CopyTo(I + 1);
        }
    }
    return R;
}

TColumnKind ColumnKindOf(enum_field_types Type) {
    switch (Type) {
        case MYSQL_TYPE_TINY:
        case MYSQL_TYPE_SHORT:
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_LONG:
        case MYSQL_TYPE_LONGLONG:
        case MYSQL_TYPE_YEAR: return TColumnKind::ckInteger;
        case MYSQL_TYPE_BIT: return TColumnKind::ckBit;
        case MYSQL_TYPE_FLOAT: return TColumnKind::ckFloat;
        case MYSQL_TYPE_DOUBLE: return TColumnKind::ckDouble;
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_NEWDECIMAL: return TColumnKind::ckDecimal;
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_NEWDATE:
        case MYSQL_TYPE_TIME:
        case MYSQL_TYPE_TIME2:
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_DATETIME2:
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_TIMESTAMP2: return TColumnKind::ckTime;
        default: return TColumnKind::ckText;
    }
}

TFieldType FieldTypeOf(enum_field_types Type) {
    switch (Type) {
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_NEWDATE: return TFieldType::ftDate;
        case MYSQL_TYPE_TIME:
        case MYSQL_TYPE_TIME2: return TFieldType::ftTime;
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_DATETIME2:
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_TIMESTAMP2: return TFieldType::ftDateTime;
        default: break;
    }
    switch (ColumnKindOf(Type)) {
        case TColumnKind::ckInteger:
        case TColumnKind::ckBit: return TFieldType::ftInteger;
        case TColumnKind::ckFloat:
        case TColumnKind::ckDouble:
        case TColumnKind::ckDecimal: return TFieldType::ftFloat;
        case TColumnKind::ckTime:
        case TColumnKind::ckText: break;
    }
    return TFieldType::ftString;
}

TFieldValue UnsignedValue(unsigned long long V) {
    if (V <= static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        return static_cast<std::int64_t>(V);
    return std::to_string(V);
}

TFieldValue FloatValue(float V) {
    if (!std::isfinite(V)) return static_cast<double>(V);
    char Text[32];
    auto [End, Ec] = std::to_chars(Text, Text + sizeof Text, V);
    double D = V;
    if (Ec == std::errc()) std::from_chars(Text, End, D);
    return D;
}

TFieldValue DecimalValue(std::string_view Text) {
    double V = 0;
    auto [P, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), V);
    if (Ec == std::errc() && P == Text.data() + Text.size() && std::isfinite(V)) return V;
    return std::string(Text);
}

TFieldValue BitValue(std::string_view Bytes) {
    unsigned long long V = 0;
    if (Bytes.size() > 8) return std::string(Bytes);
    for (char B : Bytes) V = (V << 8) | static_cast<unsigned char>(B);
    return UnsignedValue(V);
}

std::string TimeText(const MYSQL_TIME& T) {
    char Text[48];
    int N = 0;
    if (T.time_type == MYSQL_TIMESTAMP_TIME) {
        N = std::snprintf(Text, sizeof Text, "%s%02u:%02u:%02u", T.neg ? "-" : "", T.day * 24 + T.hour, T.minute,
                          T.second);
    } else if (T.time_type == MYSQL_TIMESTAMP_DATE) {
        N = std::snprintf(Text, sizeof Text, "%04u-%02u-%02u", T.year, T.month, T.day);
    } else {
        N = std::snprintf(Text, sizeof Text, "%04u-%02u-%02u %02u:%02u:%02u", T.year, T.month, T.day, T.hour,
                          T.minute, T.second);
    }
    return std::string(Text, N > 0 ? static_cast<std::size_t>(N) : 0);
}

bool IsConnectionLost(unsigned Errno) {
    return Errno == CR_SERVER_GONE_ERROR || Errno == CR_SERVER_LOST || Errno == CR_SERVER_LOST_EXTENDED ||
           Errno == CR_COMMANDS_OUT_OF_SYNC || Errno == ER_CONNECTION_KILLED || Errno == ER_SERVER_SHUTDOWN;
}

bool IsUnavailableError(unsigned Errno) {
    // Client errors 2001..2006, 2012, 2013, 2026 and 2055: the server cannot
    // be reached or was lost;
    // 1040 and 1203: too many connections; 1053: shutting down; 1205 and
    // 1213: lock wait timeout and deadlock; 1317: interrupted; 1927: the
    // connection was killed; 1969 (MariaDB) and 3024 (MySQL): the statement
    // passed its time limit; 4031 (MySQL): the server closed an idle
    // connection.
    return (Errno >= CR_SOCKET_CREATE_ERROR && Errno <= CR_SERVER_GONE_ERROR) || Errno == CR_SERVER_HANDSHAKE_ERR ||
           Errno == CR_SERVER_LOST || Errno == CR_SSL_CONNECTION_ERROR || IsConnectionLost(Errno) ||
           Errno == ER_CON_COUNT_ERROR || Errno == 1203 ||
           Errno == ER_SERVER_SHUTDOWN || Errno == 1205 || Errno == 1213 || Errno == ER_QUERY_INTERRUPTED ||
           Errno == ER_CONNECTION_KILLED || Errno == ER_STATEMENT_TIMEOUT || Errno == 3024 || Errno == 4031;
}

}  // namespace pv::maria
