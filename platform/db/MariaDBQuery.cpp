#include "platform/db/MariaDBQuery.h"

#include <errmsg.h>
#include <unistd.h>
#include <mysqld_error.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/db/DBError.h"
#include "platform/db/MariaDBSupport.h"
#include "platform/db/internal/DataSetProps.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

using dbprops::Blank;
using dbprops::StringsOf;

const TMariaDBQuery& Q(const TObject& O) { return static_cast<const TMariaDBQuery&>(O); }
TMariaDBQuery& Q(TObject& O) { return static_cast<TMariaDBQuery&>(O); }
int IntOf(const TPropValue& V) {
    const std::int64_t I = std::get<std::int64_t>(V);
    return I < INT_MIN ? INT_MIN : I > INT_MAX ? INT_MAX : static_cast<int>(I);
}

const std::array<TPropInfo, 6> QueryProps{{
    {"ConnectionString", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return Q(O).GetConnectionString(); },
     [](TObject& O, const TPropValue& V) { Q(O).SetConnectionString(std::get<std::string>(V)); }},
    {"SQL", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(Q(O).GetSQL()); },
     [](TObject& O, const TPropValue& V) { Q(O).SetSQL(StringsOf(V)); }},
    {"Params", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(Q(O).GetParams()); },
     [](TObject& O, const TPropValue& V) { Q(O).SetParams(StringsOf(V)); }},
    {"ConnectTimeout", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{Q(O).GetConnectTimeout()}; },
     [](TObject& O, const TPropValue& V) { Q(O).SetConnectTimeout(IntOf(V)); }},
    {"StatementTimeout", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{Q(O).GetStatementTimeout()}; },
     [](TObject& O, const TPropValue& V) { Q(O).SetStatementTimeout(IntOf(V)); }},
    {"Active", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return Q(O).GetActive(); },
     [](TObject& O, const TPropValue& V) { Q(O).SetActive(std::get<bool>(V)); }},
}};

using TClock = std::chrono::steady_clock;

// The storage one result column is fetched into, and how it is read.
struct TColumn {
    maria::TColumnKind Kind = maria::TColumnKind::ckText;
    bool Unsigned = false;
    long long Integer = 0;
    double Double = 0;
    float Float = 0;
    MYSQL_TIME Time{};
    std::vector<char> Text;
    unsigned long Length = 0;
    my_bool Null = 0;
    my_bool Truncated = 0;
};

// Binds Column for fetching a column of Field's type.
void BindColumn(const MYSQL_FIELD& Field, TColumn& Column, MYSQL_BIND& B) {
    Column.Kind = maria::ColumnKindOf(Field.type);
    Column.Unsigned = (Field.flags & UNSIGNED_FLAG) != 0;
    B = MYSQL_BIND{};
    B.is_null = &Column.Null;
    B.error = &Column.Truncated;
    B.length = &Column.Length;
    switch (Column.Kind) {
        case maria::TColumnKind::ckInteger:
            B.buffer_type = MYSQL_TYPE_LONGLONG;
            B.buffer = &Column.Integer;
            B.is_unsigned = Column.Unsigned;
            break;
        case maria::TColumnKind::ckFloat:
            B.buffer_type = MYSQL_TYPE_FLOAT;
            B.buffer = &Column.Float;
            break;
        case maria::TColumnKind::ckDouble:
            B.buffer_type = MYSQL_TYPE_DOUBLE;
            B.buffer = &Column.Double;
            break;
        case maria::TColumnKind::ckTime:
            B.buffer_type = Field.type;
            B.buffer = &Column.Time;
            B.buffer_length = sizeof Column.Time;
            break;
        case maria::TColumnKind::ckBit:
        case maria::TColumnKind::ckDecimal:
        case maria::TColumnKind::ckText:
            // Room for most values of the column at once; a longer one is
            // fetched again into a buffer of its size.
            Column.Text.resize(std::clamp<std::size_t>(Field.length, 16, 1024));
            B.buffer_type = MYSQL_TYPE_STRING;
            B.buffer = Column.Text.data();
            B.buffer_length = Column.Text.size();
            break;
    }
}

TFieldValue ColumnValue(const TColumn& C) {
    if (C.Null) return NullValue;
    switch (C.Kind) {
        case maria::TColumnKind::ckInteger:
            return C.Unsigned ? maria::UnsignedValue(static_cast<unsigned long long>(C.Integer))
                              : TFieldValue(static_cast<std::int64_t>(C.Integer));
        case maria::TColumnKind::ckFloat: return maria::FloatValue(C.Float);
        case maria::TColumnKind::ckDouble: return C.Double;
        case maria::TColumnKind::ckTime: return maria::TimeText(C.Time);
        case maria::TColumnKind::ckBit: return maria::BitValue({C.Text.data(), C.Length});
        case maria::TColumnKind::ckDecimal: return maria::DecimalValue({C.Text.data(), C.Length});
        case maria::TColumnKind::ckText: break;
    }
    return std::string(C.Text.data(), C.Length);
}

}  // namespace

const TClassInfo& TMariaDBQuery::StaticClassInfo() {
    static const TClassInfo Info{"TMariaDBQuery", &TDataSet::StaticClassInfo(), QueryProps};
    return Info;
}
const TClassInfo* TMariaDBQuery::ClassInfo() const { return &StaticClassInfo(); }

void TMariaDBQuery::TConnectionCloser::operator()(st_mysql* Conn) const { mysql_close(Conn); }

TMariaDBQuery::TMariaDBQuery(TComponent* AOwner)
    : TDataSet(AOwner), FSQL(std::make_unique<TStringList>()), FParams(std::make_unique<TStringList>()) {
    FSQL->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
    FParams->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
}

TMariaDBQuery::~TMariaDBQuery() {
    // The teardown runs while the query is whole: links hear it close and
    // the connection closes through the back end.
    Destroying();
    FSQL->OnChange = {};
    FParams->OnChange = {};
}

void TMariaDBQuery::SetConnectionString(const std::string& Value) {
    if (Value == FConnectionString) return;
    FConnectionString = Value;
    DefinitionChanged();
}

std::string TMariaDBQuery::GetMaskedConnectionString() const {
    return maria::MaskConnectionString(FConnectionString);
}

void TMariaDBQuery::SetSQL(const TStrings* Value) { FSQL->AssignLines(Value); }

void TMariaDBQuery::SetParams(const TStrings* Value) { FParams->AssignLines(Value); }

void TMariaDBQuery::SetConnectTimeout(int Seconds) {
    if (Seconds < 0)
        throw ERangeError(Owner() + ": ConnectTimeout must be 0 or more seconds, not " + std::to_string(Seconds));
    FConnectTimeout = Seconds;
}

void TMariaDBQuery::SetStatementTimeout(int Milliseconds) {
    if (Milliseconds < 0)
        throw ERangeError(Owner() + ": StatementTimeout must be 0 or more milliseconds, not " +
                          std::to_string(Milliseconds));
    FStatementTimeout = Milliseconds;
}

int TMariaDBQuery::ConnectWait() const { return FConnectTimeout == 0 ? LongestConnectWait : FConnectTimeout; }

int TMariaDBQuery::StatementLimit() const {
    return FStatementTimeout == 0 ? LongestStatementTime : FStatementTimeout;
}

int TMariaDBQuery::ReadWait() const { return (StatementLimit() + StatementMargin + 999) / 1000; }

std::string TMariaDBQuery::StatementLimitText() const {
    return FStatementTimeout == 0 ? "StatementTimeout = 0, at most " + std::to_string(LongestStatementTime) + " ms"
                                  : "StatementTimeout = " + std::to_string(FStatementTimeout) + " ms";
}

void TMariaDBQuery::Unavailable(const std::string& Message) const {
    throw EDatabaseUnavailable(Owner() + ": " + Message);
}

std::string TMariaDBQuery::Where() const {
    std::string Error;
    const std::optional<maria::TConnectionOptions> O = maria::ParseConnectionString(FConnectionString, Error);
    if (!O) return "MariaDB";
    std::string At;
    if (O->Host.empty() || O->Host == "localhost")
        At = "localhost" + (O->Socket.empty() ? std::string() : " (socket " + O->Socket + ")");
    else
        At = O->Host + ":" + std::to_string(O->Port == 0 ? MYSQL_PORT : O->Port);
    return "MariaDB " + (O->Database.empty() ? std::string() : "database \"" + O->Database + "\" ") + "on " + At +
           (O->User.empty() ? std::string() : " as user \"" + O->User + "\"");
}

void TMariaDBQuery::Fail(const std::string& What, unsigned Errno, const std::string& Message) {
    const std::string Text = What + " on " + Where() + ": " + maria::CleanMessage(Message, FPassword);
    if (maria::IsConnectionLost(Errno)) {
        FConnection.reset();
        Unavailable("lost the connection: " + Text);
    }
    if (Errno == ER_STATEMENT_TIMEOUT || Errno == 3024)
        Unavailable("the server stopped the SQL (" + StatementLimitText() + ") on " + Where() + ": " +
                    maria::CleanMessage(Message, FPassword));
    if (maria::IsUnavailableError(Errno)) Unavailable(Text);
    DatabaseError(Text);
}

void TMariaDBQuery::Connect() {
    FConnection.reset();
    FHung = false;
    std::string Error;
    const std::optional<maria::TConnectionOptions> O = maria::ParseConnectionString(FConnectionString, Error);
    if (!O) DatabaseError("ConnectionString '" + GetMaskedConnectionString() + "' cannot be read: " + Error);
    FPassword = O->Password;
    // The client library passes over an option file it cannot read; a
    // login without the settings it was meant to give would fail later
    // with a less telling message.
    if (!O->OptionFile.empty() && ::access(O->OptionFile.c_str(), R_OK) != 0)
        DatabaseError("the optionfile '" + O->OptionFile + "' of ConnectionString cannot be read: " +
                      std::strerror(errno));

    maria::InitLibrary();
    std::unique_ptr<st_mysql, TConnectionCloser> Conn(mysql_init(nullptr));
    if (!Conn) Unavailable("cannot connect to " + Where() + ": out of memory");
    MYSQL* M = Conn.get();
    // The client library keeps these times: connecting (the TCP connection
    // and the server's greeting) ConnectTimeout, every read and write after
    // it the statement's limit and its margin.
    const unsigned ConnectSeconds = static_cast<unsigned>(ConnectWait());
    const unsigned IoSeconds = static_cast<unsigned>(ReadWait());
    const my_bool Off = 0;
    const unsigned NoLocalFiles = 0;
    mysql_optionsv(M, MYSQL_OPT_CONNECT_TIMEOUT, &ConnectSeconds);
    mysql_optionsv(M, MYSQL_OPT_READ_TIMEOUT, &IoSeconds);
    mysql_optionsv(M, MYSQL_OPT_WRITE_TIMEOUT, &IoSeconds);
    mysql_optionsv(M, MYSQL_OPT_RECONNECT, &Off);
    mysql_optionsv(M, MYSQL_OPT_LOCAL_INFILE, &NoLocalFiles);
    mysql_optionsv(M, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_optionsv(M, MYSQL_OPT_CONNECT_ATTR_ADD, "program_name", "plotvane");
    if (!O->OptionFile.empty()) {
        mysql_optionsv(M, MYSQL_READ_DEFAULT_FILE, O->OptionFile.c_str());
        mysql_optionsv(M, MYSQL_READ_DEFAULT_GROUP, "client");
    }
    auto Text = [](const std::string& S) { return S.empty() ? nullptr : S.c_str(); };
    const auto Started = TClock::now();
    if (!mysql_real_connect(M, Text(O->Host), Text(O->User), Text(O->Password), Text(O->Database), O->Port,
                            Text(O->Socket), 0)) {
        const unsigned Errno = mysql_errno(M);
        std::string Message = maria::CleanMessage(mysql_error(M), FPassword);
        // A server that took the connection and said nothing ends at the
        // connect timeout, which the message names.
        if ((Errno == CR_SERVER_LOST || Errno == CR_CONN_HOST_ERROR || Errno == CR_CONNECTION_ERROR) &&
            TClock::now() - Started >= std::chrono::milliseconds(ConnectSeconds * 1000 - 100))
            Message = "timeout expired: no answer within " + std::to_string(ConnectSeconds) + " s (" +
                      (FConnectTimeout == 0 ? "ConnectTimeout = 0" : "ConnectTimeout") + "): " + Message;
        Unavailable("cannot connect to " + Where() + ": " + Message);
    }
    // Read-only like every query; the server stops a statement at its
    // limit (MariaDB counts seconds with fractions, MySQL milliseconds).
    const bool IsMariaDB = std::string_view(mysql_get_server_info(M)).find("MariaDB") != std::string_view::npos;
    char Limit[64];
    if (IsMariaDB)
        std::snprintf(Limit, sizeof Limit, "SET SESSION max_statement_time = %d.%03d", StatementLimit() / 1000,
                      StatementLimit() % 1000);
    else
        std::snprintf(Limit, sizeof Limit, "SET SESSION max_execution_time = %d", StatementLimit());
    for (const char* Setup : {"SET SESSION TRANSACTION READ ONLY", static_cast<const char*>(Limit)}) {
        if (mysql_real_query(M, Setup, std::char_traits<char>::length(Setup)) != 0)
            Unavailable("cannot set up the session on " + Where() + ": " +
                        maria::CleanMessage(mysql_error(M), FPassword));
    }
    FConnection = std::move(Conn);
}

TDataSetContents TMariaDBQuery::Run() {
    const std::string Text = FSQL->GetText();
    if (Blank(Text)) DatabaseError("cannot open: SQL is empty");
    MYSQL* M = FConnection.get();
    unsigned Status = 0;
    mariadb_get_infov(M, MARIADB_CONNECTION_SERVER_STATUS, &Status);
    const maria::TNamedSQL Named =
        maria::TranslateNamedParams(Text, (Status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) == 0);
    if (!Named.Error.empty()) DatabaseError("cannot open: " + Named.Error);
    if (Named.Empty) DatabaseError("cannot open: SQL holds no statement");

    // Params lines by name; the first line of a name counts. A value set
    // for this read replaces the form's value of a declared parameter,
    // which is checked against its declaration and bound as its type.
    const std::vector<TQueryParam> List = GetParamList();
    std::vector<TFieldValue> Values;
    Values.reserve(Named.Names.size());
    for (const std::string& Name : Named.Names) {
        const auto [Param, Value] = ParamForRead(List, Name, ":" + Name);
        std::optional<TFieldValue> Typed = Param->Convert(Value);
        if (!Typed)
            DatabaseError("parameter \"" + Name + "\" has the value '" + std::string(Value) + "', which is not " +
                          Param->Allowed());
        Values.push_back(std::move(*Typed));
    }

    FHung = false;
    maria::TStatementPtr Stmt(mysql_stmt_init(M));
    if (!Stmt) Fail("cannot run the SQL", mysql_errno(M), mysql_error(M));
    MYSQL_STMT* S = Stmt.get();
    // Each call that waits on the server is timed: a read that ran into
    // the client's limit reports a lost connection like a server that went
    // away, and only the time tells the two apart.
    auto StmtFail = [&](const std::string& What, TClock::time_point Started) {
        // An error the server sends among the rows is the connection's.
        const bool OnStatement = mysql_stmt_errno(S) != 0;
        const unsigned Errno = OnStatement ? mysql_stmt_errno(S) : mysql_errno(M);
        const std::string Message = OnStatement ? mysql_stmt_error(S) : mysql_error(M);
        if (maria::IsConnectionLost(Errno) &&
            TClock::now() - Started >= std::chrono::milliseconds(ReadWait() * 1000 - 100)) {
            FConnection.reset();
            FHung = true;
            Unavailable(Where() + " did not answer the SQL within " + std::to_string(ReadWait()) + " s (" +
                        StatementLimitText() + " + " + std::to_string(StatementMargin) +
                        " ms, in whole seconds); the connection is dropped. SQL: " + maria::CleanMessage(Text, {}));
        }
        if (Errno == ER_EMPTY_QUERY) DatabaseError("cannot open: SQL holds no statement");
        Fail(What, Errno, Message);
    };
    auto Started = TClock::now();
    if (mysql_stmt_prepare(S, Named.Text.data(), Named.Text.size()) != 0) StmtFail("cannot run the SQL", Started);
    if (mysql_stmt_param_count(S) != Values.size())
        DatabaseError("cannot open: the SQL has " + std::to_string(mysql_stmt_param_count(S)) +
                      " placeholders where " + std::to_string(Values.size()) + " :name parameters were found");
    if (mysql_stmt_field_count(S) == 0) DatabaseError("cannot open: the SQL returns no rows (it is no query)");

    // Parameters: integers and reals as themselves, everything else as text.
    std::vector<MYSQL_BIND> Params(Values.size());
    std::vector<long long> Integers(Values.size());
    std::vector<double> Reals(Values.size());
    std::vector<unsigned long> Lengths(Values.size());
    for (std::size_t I = 0; I < Values.size(); ++I) {
        MYSQL_BIND& B = Params[I];
        if (const auto* V = std::get_if<std::int64_t>(&Values[I])) {
            Integers[I] = *V;
            B.buffer_type = MYSQL_TYPE_LONGLONG;
            B.buffer = &Integers[I];
        } else if (const auto* D = std::get_if<double>(&Values[I])) {
            Reals[I] = *D;
            B.buffer_type = MYSQL_TYPE_DOUBLE;
            B.buffer = &Reals[I];
        } else {
            std::string& T = std::get<std::string>(Values[I]);
            Lengths[I] = T.size();
            B.buffer_type = MYSQL_TYPE_STRING;
            B.buffer = T.data();
            B.buffer_length = T.size();
            B.length = &Lengths[I];
        }
    }
    if (!Params.empty() && mysql_stmt_bind_param(S, Params.data()))
        StmtFail("cannot bind the parameters of the SQL", TClock::now());
    Started = TClock::now();
    if (mysql_stmt_execute(S) != 0) StmtFail("cannot run the SQL", Started);

    const maria::TResultPtr Meta(mysql_stmt_result_metadata(S));
    if (!Meta) StmtFail("cannot run the SQL", TClock::now());
    const unsigned Count = mysql_num_fields(Meta.get());
    const MYSQL_FIELD* Fields = mysql_fetch_fields(Meta.get());
    TDataSetContents Contents;
    std::vector<TColumn> Columns(Count);
    std::vector<MYSQL_BIND> Binds(Count);
    Contents.FieldDefs.reserve(Count);
    for (unsigned C = 0; C < Count; ++C) {
        BindColumn(Fields[C], Columns[C], Binds[C]);
        Contents.FieldDefs.push_back({std::string(Fields[C].name, Fields[C].name_length),
                                      maria::FieldTypeOf(Fields[C].type)});
    }
    if (Count > 0 && mysql_stmt_bind_result(S, Binds.data())) StmtFail("cannot read the rows", TClock::now());
    for (;;) {
        Started = TClock::now();
        const int Rc = mysql_stmt_fetch(S);
        if (Rc == MYSQL_NO_DATA) break;
        if (Rc != 0 && Rc != MYSQL_DATA_TRUNCATED) StmtFail("cannot read the rows", Started);
        TRecordBuffer& R = Contents.Records.emplace_back();
        R.Values.reserve(Count);
        for (unsigned C = 0; C < Count; ++C) {
            TColumn& Col = Columns[C];
            if (Col.Truncated && !Col.Null && Col.Text.size() < Col.Length) {
                // Longer than its buffer: fetched again whole, and the
                // buffer kept at that size for the rows after it.
                Col.Text.resize(Col.Length);
                Binds[C].buffer = Col.Text.data();
                Binds[C].buffer_length = Col.Text.size();
                if (mysql_stmt_fetch_column(S, &Binds[C], C, 0) != 0) StmtFail("cannot read the rows", Started);
                if (mysql_stmt_bind_result(S, Binds.data())) StmtFail("cannot read the rows", Started);
            }
            R.Values.push_back(ColumnValue(Col));
        }
    }
    return Contents;
}

TDataSetContents TMariaDBQuery::InternalOpen() {
    if (Blank(FSQL->GetText())) DatabaseError("cannot open: SQL is empty");
    try {
        Connect();
        return Run();
    } catch (...) {
        FConnection.reset();
        throw;
    }
}

void TMariaDBQuery::InternalClose(TRecordStore&& Records) {
    (void)Records;
    FConnection.reset();
}

std::optional<TDataSetContents> TMariaDBQuery::InternalRefresh() {
    if (!FConnection) {
        Connect();
        return Run();
    }
    try {
        return Run();
    } catch (const EDatabaseUnavailable&) {
        // Still connected: the server stopped the statement; and a server
        // that did not answer at all would not answer a new connection
        // sooner. Trying again would only wait as long once more.
        if (FConnection || FHung) throw;
    }
    // The connection had gone stale (the server restarted since the last
    // read): one new connection, and the statement once more.
    Connect();
    return Run();
}

}  // namespace pv
