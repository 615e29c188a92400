#include "platform/db/PgQuery.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>

#include "platform/db/DBError.h"
#include "platform/db/PgSupport.h"
#include "platform/db/internal/DataSetProps.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

using dbprops::StringsOf;
using dbprops::Blank;

const TPgQuery& Q(const TObject& O) { return static_cast<const TPgQuery&>(O); }
TPgQuery& Q(TObject& O) { return static_cast<TPgQuery&>(O); }
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


// libpq's complaint about a connection string it cannot read quotes parts
// of it; a quoted part the masked string does not hold may be (part of) the
// password, so it is hidden.
std::string ScrubQuoted(const std::string& Message, const std::string& Masked) {
    std::string R;
    std::size_t I = 0;
    while (I < Message.size()) {
        const std::size_t Open = Message.find('"', I);
        const std::size_t Close = Open == std::string::npos ? Open : Message.find('"', Open + 1);
        if (Close == std::string::npos) {
            R.append(Message, I);
            break;
        }
        const std::string Quoted = Message.substr(Open + 1, Close - Open - 1);
        R.append(Message, I, Open + 1 - I);
        R.append(Masked.find(Quoted) != std::string::npos ? Quoted : "****");
        R += '"';
        I = Close + 1;
    }
    return pg::CleanMessage(R, {});
}

}  // namespace

const TClassInfo& TPgQuery::StaticClassInfo() {
    static const TClassInfo Info{"TPgQuery", &TDataSet::StaticClassInfo(), QueryProps};
    return Info;
}
const TClassInfo* TPgQuery::ClassInfo() const { return &StaticClassInfo(); }

void TPgQuery::TConnectionCloser::operator()(pg_conn* Conn) const { PQfinish(Conn); }

TPgQuery::TPgQuery(TComponent* AOwner)
    : TDataSet(AOwner), FSQL(std::make_unique<TStringList>()), FParams(std::make_unique<TStringList>()) {
    FSQL->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
    FParams->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
}

TPgQuery::~TPgQuery() {
    // The teardown runs while the query is whole: links hear it close and
    // the connection closes through the back end.
    Destroying();
    FSQL->OnChange = {};
    FParams->OnChange = {};
}

void TPgQuery::SetConnectionString(const std::string& Value) {
    if (Value == FConnectionString) return;
    FConnectionString = Value;
    DefinitionChanged();
}

std::string TPgQuery::GetMaskedConnectionString() const { return pg::MaskConnectionString(FConnectionString); }

void TPgQuery::SetSQL(const TStrings* Value) {
    FSQL->AssignLines(Value);
}

void TPgQuery::SetParams(const TStrings* Value) {
    FParams->AssignLines(Value);
}

void TPgQuery::SetConnectTimeout(int Seconds) {
    if (Seconds < 0)
        throw ERangeError((GetName().empty() ? std::string(ClassName()) : GetName()) +
                          ": ConnectTimeout must be 0 or more seconds, not " + std::to_string(Seconds));
    FConnectTimeout = Seconds;
}

void TPgQuery::SetStatementTimeout(int Milliseconds) {
    if (Milliseconds < 0)
        throw ERangeError((GetName().empty() ? std::string(ClassName()) : GetName()) +
                          ": StatementTimeout must be 0 or more milliseconds, not " + std::to_string(Milliseconds));
    FStatementTimeout = Milliseconds;
}

bool TPgQuery::Connected() const { return FConnection && PQstatus(FConnection.get()) == CONNECTION_OK; }

void TPgQuery::Unavailable(const std::string& Message) const {
    throw EDatabaseUnavailable((GetName().empty() ? std::string(ClassName()) : GetName()) + ": " + Message);
}

std::string TPgQuery::Password() const {
    PQconninfoOption* Options = PQconninfoParse(FConnectionString.c_str(), nullptr);
    std::string R;
    for (PQconninfoOption* O = Options; O && O->keyword; ++O)
        if (std::string_view(O->keyword) == "password" && O->val) R = O->val;
    PQconninfoFree(Options);
    return R;
}

std::string TPgQuery::Where(const pg_conn* Conn) const {
    auto Text = [](const char* S) { return std::string(S ? S : ""); };
    std::string Host = Text(PQhost(Conn));
    if (Host.empty()) Host = "localhost";
    return "database \"" + Text(PQdb(Conn)) + "\" on " + Host + ":" + Text(PQport(Conn)) + " as user \"" +
           Text(PQuser(Conn)) + "\"";
}

void TPgQuery::Connect() {
    FConnection.reset();
    // Read the string first: libpq's complaints about an unreadable string
    // are the only messages that quote it.
    // A string without '=' that is no URI is a database name, which libpq
    // takes as it is.
    const bool ConnInfo = FConnectionString.find('=') != std::string::npos ||
                          FConnectionString.starts_with("postgresql://") ||
                          FConnectionString.starts_with("postgres://");
    char* ParseError = nullptr;
    PQconninfoOption* Options = ConnInfo ? PQconninfoParse(FConnectionString.c_str(), &ParseError) : nullptr;
    if (ConnInfo && !Options) {
        const std::string Message = ParseError ? ParseError : "out of memory";
        PQfreemem(ParseError);
        const std::string Masked = GetMaskedConnectionString();
        DatabaseError("ConnectionString '" + Masked + "' cannot be read: " + ScrubQuoted(Message, Masked));
    }
    if (Options) PQconninfoFree(Options);

    // dbname carries the whole string (expand_dbname); the keys after it
    // override what the string says, those before it are defaults. The
    // keepalives find an idle connection whose server vanished within about
    // a minute (idle 30 s, then 3 probes 10 s apart).
    const std::array<const char*, 8> Keys{"fallback_application_name", "keepalives", "keepalives_idle",
                                          "keepalives_interval", "keepalives_count", "dbname", "client_encoding",
                                          nullptr};
    const std::array<const char*, 8> Values{"plotvane", "1", "30", "10", "3", FConnectionString.c_str(), "UTF8",
                                            nullptr};
    // Connecting without blocking, so that this client, not the server,
    // decides how long it waits; libpq's connect_timeout counts only in
    // blocking calls.
    const int Wait = ConnectWait();
    const std::string Limit =
        FConnectTimeout == Wait ? "ConnectTimeout" : "ConnectTimeout = " + std::to_string(FConnectTimeout);
    auto TimedOut = [&](const std::string& Step) {
        const std::string Message = Step + " PostgreSQL " + Where(FConnection.get()) +
                                    ": timeout expired: no answer within " + std::to_string(Wait) + " s (" + Limit +
                                    ")";
        FConnection.reset();
        Unavailable(Message);
    };
    pg::TDeadline Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Wait);
    FConnection.reset(PQconnectStartParams(Keys.data(), Values.data(), 1));
    if (!FConnection) Unavailable("cannot connect to PostgreSQL: out of memory");
    PGconn* Conn = FConnection.get();
    PostgresPollingStatusType Poll = PQstatus(Conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (Poll != PGRES_POLLING_OK && Poll != PGRES_POLLING_FAILED) {
        if (!pg::WaitForSocket(Conn, Poll != PGRES_POLLING_WRITING, Poll != PGRES_POLLING_READING, Deadline))
            TimedOut("cannot connect to");
        Poll = PQconnectPoll(Conn);
    }
    if (Poll == PGRES_POLLING_FAILED || PQstatus(Conn) != CONNECTION_OK) {
        const std::string Message = "cannot connect to PostgreSQL " + Where(Conn) + ": " +
                                    pg::CleanMessage(PQerrorMessage(Conn), Password());
        FConnection.reset();
        Unavailable(Message);
    }
    // Read-only like every query; ISO dates and the shortest exact floats,
    // whatever the server's defaults, so every process shows the same. The
    // setup may take ConnectTimeout again, counted anew.
    const std::string Setup = "SET statement_timeout = " + std::to_string(StatementLimit()) +
                              "; SET default_transaction_read_only = on; SET DateStyle = 'ISO, YMD'"
                              "; SET IntervalStyle = 'postgres'; SET extra_float_digits = 1";
    Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Wait);
    pg::TAnswer Answer;
    if (PQsetnonblocking(Conn, 1) == 0 && PQsendQuery(Conn, Setup.c_str())) {
        Answer = pg::AwaitAnswer(Conn, Deadline);
        if (Answer.TimedOut) TimedOut("cannot set up the session on");
    }
    if (PQresultStatus(Answer.Result.get()) != PGRES_COMMAND_OK) {
        const std::string Message = "cannot set up the session on PostgreSQL " + Where(Conn) + ": " +
                                    pg::CleanMessage(PQerrorMessage(Conn), Password());
        FConnection.reset();
        Unavailable(Message);
    }
}

int TPgQuery::ConnectWait() const { return FConnectTimeout == 0 ? LongestConnectWait : std::max(FConnectTimeout, 2); }

int TPgQuery::StatementLimit() const { return FStatementTimeout == 0 ? LongestStatementTime : FStatementTimeout; }

std::string TPgQuery::StatementLimitText() const {
    return FStatementTimeout == 0 ? "StatementTimeout = 0, at most " + std::to_string(LongestStatementTime) + " ms"
                                  : "StatementTimeout = " + std::to_string(FStatementTimeout) + " ms";
}

TDataSetContents TPgQuery::Run() {
    const std::string Text = FSQL->GetText();
    if (Blank(Text)) DatabaseError("cannot open: SQL is empty");
    const pg::TNamedSQL Named = pg::TranslateNamedParams(Text);
    if (!Named.Error.empty()) DatabaseError("cannot open: " + Named.Error);

    // Params lines by name; the first line of a name counts. A value set
    // for this read replaces the form's value of a declared parameter; a
    // declared one is checked against its declaration and sent as text.
    const std::vector<TQueryParam> List = GetParamList();
    std::vector<std::string> Texts;
    Texts.reserve(Named.Names.size());
    for (const std::string& Name : Named.Names) {
        const auto [Param, Text] = ParamForRead(List, Name, ":" + Name);
        if (!Param->Convert(Text))
            DatabaseError("parameter \"" + Name + "\" has the value '" + std::string(Text) + "', which is not " +
                          Param->Allowed());
        if (Text.find('\0') != std::string_view::npos)
            DatabaseError("parameter \":" + Name + "\" holds a NUL character, which PostgreSQL texts cannot");
        Texts.emplace_back(Text);
    }
    std::vector<const char*> Values;
    Values.reserve(Texts.size());
    for (const std::string& T : Texts) Values.push_back(T.c_str());

    PGconn* Conn = FConnection.get();
    FHung = false;
    // The server cancels the statement at its limit; the client waits a
    // margin more, and past that takes the server for hung.
    const long long Wait = static_cast<long long>(StatementLimit()) + StatementMargin;
    const pg::TDeadline Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Wait);
    pg::TResultPtr Result;
    if (PQsendQueryParams(Conn, Named.Text.c_str(), static_cast<int>(Values.size()), nullptr, Values.data(), nullptr,
                          nullptr, 0)) {
        pg::TAnswer Answer = pg::AwaitAnswer(Conn, Deadline);
        if (Answer.TimedOut) {
            const std::string Message = "PostgreSQL " + Where(Conn) + " did not answer the SQL within " +
                                        std::to_string(Wait) + " ms (" + StatementLimitText() + " + " +
                                        std::to_string(StatementMargin) +
                                        " ms); the connection is dropped. SQL: " + pg::CleanMessage(Text, {});
            FConnection.reset();
            FHung = true;
            Unavailable(Message);
        }
        Result = std::move(Answer.Result);
    }
    const ExecStatusType Status = PQresultStatus(Result.get());
    if (Status == PGRES_TUPLES_OK) {
        CheckRecordLimit(static_cast<std::size_t>(PQntuples(Result.get())), false);
        return pg::ReadAll(Result.get());
    }
    if (Status == PGRES_EMPTY_QUERY) DatabaseError("cannot open: SQL holds no statement");
    if (Status == PGRES_COMMAND_OK) DatabaseError("cannot open: the SQL returns no rows (it is no query)");
    if (Status == PGRES_COPY_OUT || Status == PGRES_COPY_IN || Status == PGRES_COPY_BOTH) {
        // The connection would wait for the copy to end: a new one next time.
        FConnection.reset();
        DatabaseError("cannot open: the SQL is a COPY, which returns no rows");
    }

    const std::string Server = "PostgreSQL " + Where(Conn);
    const char* State = Result ? PQresultErrorField(Result.get(), PG_DIAG_SQLSTATE) : nullptr;
    const char* Primary = Result ? PQresultErrorField(Result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char* Hint = Result ? PQresultErrorField(Result.get(), PG_DIAG_MESSAGE_HINT) : nullptr;
    std::string Message = pg::CleanMessage(Primary ? Primary : PQerrorMessage(Conn), Password());
    if (Hint) Message += " (" + pg::CleanMessage(Hint, Password()) + ")";
    const std::string_view SqlState = State ? State : "";
    if (PQstatus(Conn) != CONNECTION_OK) {
        FConnection.reset();
        Unavailable("lost the connection to " + Server + ": " + Message);
    }
    if (SqlState == "57014")
        Unavailable("the server cancelled the SQL (" + StatementLimitText() + ") on " + Server + ": " + Message);
    if (pg::IsUnavailableState(SqlState)) Unavailable("cannot run the SQL on " + Server + ": " + Message);
    DatabaseError("cannot run the SQL on " + Server + ": " + Message);
}

TDataSetContents TPgQuery::InternalOpen() {
    if (Blank(FSQL->GetText())) DatabaseError("cannot open: SQL is empty");
    try {
        Connect();
        return Run();
    } catch (...) {
        FConnection.reset();
        throw;
    }
}

void TPgQuery::InternalClose(TRecordStore&& Records) {
    (void)Records;
    FConnection.reset();
}

std::optional<TDataSetContents> TPgQuery::InternalRefresh() {
    if (!Connected()) {
        Connect();
        return Run();
    }
    try {
        return Run();
    } catch (const EDatabaseUnavailable&) {
        // Still connected: the statement itself timed out; and a server that
        // did not answer at all would not answer a new connection sooner.
        // Trying again would only wait as long once more.
        if (FConnection || FHung) throw;
    }
    // The connection had gone stale (the server restarted since the last
    // read): one new connection, and the statement once more.
    Connect();
    return Run();
}

}  // namespace pv
