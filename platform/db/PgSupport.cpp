#include "platform/db/PgSupport.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>

namespace pv::pg {

namespace {

// Type OIDs of the built-in types, fixed in every PostgreSQL release.
constexpr Oid BoolOid = 16, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, OidOid = 26, Float4Oid = 700,
              Float8Oid = 701, DateOid = 1082, TimeOid = 1083, TimestampOid = 1114, TimestampTzOid = 1184,
              TimeTzOid = 1266, NumericOid = 1700;

bool IdentStart(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || static_cast<unsigned char>(C) >= 0x80;
}
bool IdentChar(char C) { return IdentStart(C) || (C >= '0' && C <= '9') || C == '$'; }
bool Space(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '\v'; }

// The end of the quoted text that starts at Sql[I] (the opening quote),
// just past its closing quote; npos when it never closes. Backslash escapes
// count only in E'...' texts.
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

// The end of the /* */ comment (comments nest) starting at Sql[I].
std::size_t CommentEnd(std::string_view Sql, std::size_t I) {
    int Depth = 0;
    for (std::size_t J = I; J + 1 < Sql.size(); ++J) {
        if (Sql[J] == '/' && Sql[J + 1] == '*') {
            ++Depth;
            ++J;
        } else if (Sql[J] == '*' && Sql[J + 1] == '/') {
            ++J;
            if (--Depth == 0) return J + 1;
        }
    }
    return std::string_view::npos;
}

// "$tag$" at Sql[I], or empty.
std::string_view DollarTag(std::string_view Sql, std::size_t I) {
    std::size_t J = I + 1;
    if (J < Sql.size() && Sql[J] != '$') {
        if (!IdentStart(Sql[J])) return {};
        while (J < Sql.size() && IdentChar(Sql[J]) && Sql[J] != '$') ++J;
    }
    if (J >= Sql.size() || Sql[J] != '$') return {};
    return Sql.substr(I, J + 1 - I);
}

}  // namespace

bool WaitForSocket(PGconn* Conn, bool ForRead, bool ForWrite, TDeadline Deadline) {
    const int Socket = PQsocket(Conn);
    if (Socket < 0) return true;
    pollfd P{};
    P.fd = Socket;
    P.events = static_cast<short>((ForRead ? POLLIN : 0) | (ForWrite ? POLLOUT : 0));
    for (;;) {
        const auto Left =
            std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now()).count();
        if (Left <= 0) return false;
        const int N = ::poll(&P, 1, static_cast<int>(std::min<long long>(Left, INT_MAX)));
        if (N > 0 || (N < 0 && errno != EINTR)) return true;
    }
}

TAnswer AwaitAnswer(PGconn* Conn, TDeadline Deadline) {
    TAnswer A;
    // A non-blocking connection may keep part of the statement until the
    // socket takes it; what the server sends meanwhile is read, so it never
    // waits for us while we wait for it.
    for (int Flushed; (Flushed = PQflush(Conn)) != 0;) {
        if (Flushed < 0) return A;
        if (!WaitForSocket(Conn, true, true, Deadline)) {
            A.TimedOut = true;
            return A;
        }
        if (!PQconsumeInput(Conn)) return A;
    }
    for (;;) {
        while (PQisBusy(Conn)) {
            if (!WaitForSocket(Conn, true, false, Deadline)) {
                A.TimedOut = true;
                return A;
            }
            if (!PQconsumeInput(Conn)) {
                // Gone: a result the server sent before it went (its
                // reason, such as a shutdown) is still there to read.
                if (PQisBusy(Conn)) return A;
            }
        }
        TResultPtr R(PQgetResult(Conn));
        if (!R) return A;
        const ExecStatusType Status = PQresultStatus(R.get());
        A.Result = std::move(R);
        // In COPY mode PQgetResult gives the same status again and again;
        // on a lost connection the first result holds the server's reason.
        if (Status == PGRES_COPY_IN || Status == PGRES_COPY_OUT || Status == PGRES_COPY_BOTH ||
            PQstatus(Conn) == CONNECTION_BAD)
            return A;
    }
}

TNamedSQL TranslateNamedParams(std::string_view Sql) {
    TNamedSQL R;
    R.Text.reserve(Sql.size() + 8);
    std::size_t I = 0;
    auto CopyTo = [&](std::size_t End) {
        R.Text.append(Sql.substr(I, End - I));
        I = End;
    };
    while (I < Sql.size()) {
        const char C = Sql[I];
        const char Next = I + 1 < Sql.size() ? Sql[I + 1] : '\0';
        const bool AfterIdent = I > 0 && IdentChar(Sql[I - 1]);
        if (C == '\'' || C == '"') {
            // E'...' (and e'...') take backslash escapes; 'it''s' and
            // "a""b" double their quote.
            const bool Escapes = C == '\'' && I > 0 && (Sql[I - 1] == 'E' || Sql[I - 1] == 'e') &&
                                 !(I > 1 && IdentChar(Sql[I - 2]));
            const std::size_t End = QuotedEnd(Sql, I, C, Escapes);
            if (End == std::string_view::npos) {
                R.Error = std::string(C == '\'' ? "a quoted text" : "a quoted name") + " is not closed";
                return R;
            }
            CopyTo(End);
        } else if (C == '-' && Next == '-') {
            const std::size_t End = Sql.find('\n', I);
            CopyTo(End == std::string_view::npos ? Sql.size() : End);
        } else if (C == '/' && Next == '*') {
            const std::size_t End = CommentEnd(Sql, I);
            if (End == std::string_view::npos) {
                R.Error = "a /* comment */ is not closed";
                return R;
            }
            CopyTo(End);
        } else if (C == '$' && !AfterIdent) {
            if (Next >= '0' && Next <= '9') {
                std::size_t J = I + 1;
                while (J < Sql.size() && Sql[J] >= '0' && Sql[J] <= '9') ++J;
                R.Error = "the SQL has the numbered parameter " + std::string(Sql.substr(I, J - I)) +
                          ": write :name and give its value in Params as name=value";
                return R;
            }
            const std::string_view Tag = DollarTag(Sql, I);
            if (Tag.empty()) {
                CopyTo(I + 1);
                continue;
            }
            const std::size_t Close = Sql.find(Tag, I + Tag.size());
            if (Close == std::string_view::npos) {
                R.Error = "the text quoted with " + std::string(Tag) + " is not closed";
                return R;
            }
            CopyTo(Close + Tag.size());
        } else if (C == ':' && Next == ':') {
            CopyTo(I + 2);
        } else if (C == ':' && IdentStart(Next)) {
            std::size_t J = I + 1;
            while (J < Sql.size() && IdentChar(Sql[J]) && Sql[J] != '$') ++J;
            std::string Name(Sql.substr(I + 1, J - I - 1));
            std::size_t Index = 0;
            while (Index < R.Names.size() && R.Names[Index] != Name) ++Index;
            if (Index == R.Names.size()) R.Names.push_back(std::move(Name));
            R.Text += '$';
            R.Text += std::to_string(Index + 1);
            I = J;
        } else if (IdentStart(C)) {
            // A whole word at once, so "a$b" is never taken for a dollar quote.
            std::size_t J = I;
            while (J < Sql.size() && IdentChar(Sql[J])) ++J;
            CopyTo(J);
        } else {
            CopyTo(I + 1);
        }
    }
    return R;
}

std::string MaskConnectionString(std::string_view S) {
    constexpr std::string_view Hidden = "****";
    std::string R;
    if (S.starts_with("postgresql://") || S.starts_with("postgres://")) {
        const std::size_t Start = S.find("://") + 3;
        // The user information ends at the last '@': a password with an
        // unencoded '/', '?' or '@' is still hidden whole (at worst with
        // more than the password).
        const std::size_t At = S.rfind('@');
        std::size_t I = 0;
        if (At != std::string_view::npos && At >= Start) {
            const std::size_t Colon = S.substr(0, At).find(':', Start);
            if (Colon != std::string_view::npos) {
                R.append(S.substr(0, Colon + 1));
                R.append(Hidden);
                I = At;
            }
        }
        // Query parameters: the value of password=... up to the next '&'.
        std::size_t Q = S.find('?', I);
        while (Q != std::string_view::npos) {
            R.append(S.substr(I, Q + 1 - I));
            I = Q + 1;
            const std::size_t End = std::min(S.find('&', I), S.size());
            if (S.substr(I, End - I).starts_with("password=")) {
                R.append("password=");
                R.append(Hidden);
                I = End;
            }
            Q = S.find('&', I);
        }
        R.append(S.substr(I));
        return R;
    }
    // key = value pairs; a value is a word or '...' with \' and \\ escapes.
    // Words without '=' after a password (one written with an unquoted
    // space) are hidden as well.
    std::size_t I = 0;
    bool AfterPassword = false;
    while (I < S.size()) {
        if (Space(S[I])) {
            R += S[I++];
            continue;
        }
        const std::size_t KeyStart = I;
        while (I < S.size() && S[I] != '=' && !Space(S[I])) ++I;
        const std::string_view Key = S.substr(KeyStart, I - KeyStart);
        std::size_t J = I;
        while (J < S.size() && Space(S[J])) ++J;
        const bool HasValue = J < S.size() && S[J] == '=';
        R.append(AfterPassword && !HasValue ? Hidden : Key);
        while (I < S.size() && Space(S[I])) R += S[I++];
        if (!HasValue) continue;
        AfterPassword = Key == "password";
        R += S[I++];
        while (I < S.size() && Space(S[I])) R += S[I++];
        const std::size_t ValueStart = I;
        if (I < S.size() && S[I] == '\'') {
            ++I;
            while (I < S.size() && S[I] != '\'') I += S[I] == '\\' ? 2 : 1;
            I = std::min(I + 1, S.size());
        } else {
            while (I < S.size() && !Space(S[I])) I += S[I] == '\\' ? 2 : 1;
            I = std::min(I, S.size());
        }
        if (Key == "password")
            R.append(Hidden);
        else
            R.append(S.substr(ValueStart, I - ValueStart));
    }
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

TFieldType FieldTypeOf(Oid Type) {
    switch (Type) {
        case BoolOid:
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid: return TFieldType::ftInteger;
        case Float4Oid:
        case Float8Oid:
        case NumericOid: return TFieldType::ftFloat;
        case DateOid: return TFieldType::ftDate;
        case TimeOid:
        case TimeTzOid: return TFieldType::ftTime;
        case TimestampOid:
        case TimestampTzOid: return TFieldType::ftDateTime;
        default: return TFieldType::ftString;
    }
}

TFieldValue ColumnValue(Oid Type, std::string_view Text) {
    const char* First = Text.data();
    const char* Last = Text.data() + Text.size();
    switch (Type) {
        case BoolOid:
            if (Text == "t") return std::int64_t{1};
            if (Text == "f") return std::int64_t{0};
            break;
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid: {
            std::int64_t V = 0;
            auto [P, Ec] = std::from_chars(First, Last, V);
            if (Ec == std::errc() && P == Last) return V;
            break;
        }
        case Float4Oid:
        case Float8Oid:
        case NumericOid: {
            // The server writes "NaN", "Infinity" and "-Infinity";
            // from_chars reads those (ignoring case), without the locale.
            double V = 0;
            auto [P, Ec] = std::from_chars(First, Last, V);
            if (Ec == std::errc() && P == Last) return V;
            break;
        }
        case TimeOid:
        case TimeTzOid:
        case TimestampOid:
        case TimestampTzOid: {
            // "2026-01-31 14:05:00.25+01 BC" -> "2026-01-31 14:05:00 BC": the
            // seconds are the last field kept.
            const bool HasDate = Type == TimestampOid || Type == TimestampTzOid;
            const std::size_t TimeStart = HasDate ? Text.find(' ') : 0;
            if (TimeStart == std::string_view::npos) break;  // infinity, -infinity
            const std::size_t Seconds = TimeStart + (HasDate ? 1 : 0) + 6;
            if (Text.size() < Seconds + 2 || Text[Seconds - 1] != ':') break;
            std::string R(Text.substr(0, Seconds + 2));
            if (Text.ends_with(" BC")) R += " BC";
            return R;
        }
        case DateOid:
        default: break;
    }
    return std::string(Text);
}

TDataSetContents ReadAll(const PGresult* Result) {
    TDataSetContents Contents;
    const int Columns = PQnfields(Result);
    const int Rows = PQntuples(Result);
    std::vector<Oid> Types(static_cast<std::size_t>(Columns));
    Contents.FieldDefs.reserve(Types.size());
    for (int C = 0; C < Columns; ++C) {
        Types[static_cast<std::size_t>(C)] = PQftype(Result, C);
        const char* Name = PQfname(Result, C);
        Contents.FieldDefs.push_back({Name ? Name : "", FieldTypeOf(PQftype(Result, C))});
    }
    Contents.Records.resize(static_cast<std::size_t>(Rows));
    for (int Row = 0; Row < Rows; ++Row) {
        TRecordBuffer& R = Contents.Records[static_cast<std::size_t>(Row)];
        R.Values.reserve(Types.size());
        for (int C = 0; C < Columns; ++C) {
            if (PQgetisnull(Result, Row, C)) {
                R.Values.emplace_back(NullValue);
                continue;
            }
            const std::string_view Text(PQgetvalue(Result, Row, C), static_cast<std::size_t>(PQgetlength(Result, Row, C)));
            R.Values.push_back(ColumnValue(Types[static_cast<std::size_t>(C)], Text));
        }
    }
    return Contents;
}

bool IsUnavailableState(std::string_view SqlState) {
    // 08: connection exception; 53: insufficient resources (too many
    // connections); 57P01..57P03: shutting down, crashed, starting up;
    // 57014: cancelled (by the statement timeout).
    return SqlState.starts_with("08") || SqlState.starts_with("53") || SqlState == "57P01" || SqlState == "57P02" ||
           SqlState == "57P03" || SqlState == "57014";
}

}  // namespace pv::pg
