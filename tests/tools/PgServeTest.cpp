// `plotvane serve` over PostgreSQL, as deployed: the sample form on a private
// server the suite starts, the server stopped and started under it or hung
// (its processes stopped with SIGSTOP), two serve processes behind an nginx
// (with deploy/nginx/plotvane.conf) of which one is killed and started again
// under load, and that nginx's cache, which keeps what a process allows.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "host/FormClasses.h"
#include "platform/rtl/FormWriter.h"
#include "tests/support/HttpTestClient.h"
#include "tests/support/PgCluster.h"
#include "tests/support/PgSuite.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pvtest::TPgCluster;

const std::string Exe = PLOTVANE_EXE;
const fs::path ExamplesBuild = PLOTVANE_EXAMPLES_BUILD_DIR;
const char* const NginxExe = "/usr/sbin/nginx";

fs::path SourceDir() {
    const char* S = std::getenv("PLOTVANE_SOURCE_DIR");
    return S ? S : ".";
}

void WriteFile(const fs::path& P, const std::string& Text) { std::ofstream(P, std::ios::binary) << Text; }

std::string Replace(std::string S, const std::string& From, const std::string& To) {
    const std::size_t P = S.find(From);
    if (P == std::string::npos) throw std::runtime_error("\"" + From + "\" not found");
    return S.replace(P, From.size(), To);
}

// A child process with its output in a file; killed at the end if still
// running.
class TChild {
public:
    TChild() = default;
    TChild(const std::vector<std::string>& Args, const fs::path& Log) { Spawn(Args, Log); }
    ~TChild() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            Wait();
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    void Spawn(const std::vector<std::string>& Args, const fs::path& Log) {
        std::vector<char*> Argv;
        for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
        Argv.push_back(nullptr);
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, 1, Log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&Actions, 1, 2);
        const int Rc = posix_spawn(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&Actions);
        if (Rc != 0) throw std::runtime_error("cannot start " + Args[0] + ": " + std::strerror(Rc));
    }
    // Sends Signal and waits; the exit status (128 + signal when killed).
    int Stop(int Signal) {
        ::kill(FPid, Signal);
        return Wait();
    }
    int Wait() {
        int Status = 0;
        ::waitpid(FPid, &Status, 0);
        FPid = -1;
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    }

private:
    pid_t FPid = -1;
};

pvtest::THttpReply Get(std::uint16_t Port, const std::string& Target, const pv::TWebFields& Headers = {}) {
    pvtest::THttpConnection C(Port);
    return C.Request("GET", Target, Headers);
}

// Waits until something answers HTTP on Port.
void WaitForHttp(std::uint16_t Port) {
    const auto Deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < Deadline) {
        try {
            if (Get(Port, "/").Status == 200) return;
        } catch (const std::exception&) {
        }
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("nothing answers on port " + std::to_string(Port));
}

class PgServeTest : public pvtest::TPgSuite {
protected:
    static void SetUpTestSuite() { StartCluster(); }

    void SetUp() override {
        TPgSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Dir = Cluster->Dir() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(Dir);
        // The sample form with its SQLite query made a PostgreSQL one.
        FormText = pvtest::ReadTextFile(SourceDir() / "examples" / "sales.form");
        FormText = Replace(FormText, "object SalesQuery: TSQLiteQuery", "object SalesQuery: TPgQuery");
        FormText = Replace(FormText, "    DatabaseName = 'sales.db'\n",
                           "    ConnectionString = '" + Cluster->ConnectionString() + "'\n");
        FormText = Replace(FormText, "      'region:text(16)=ALL')\n",
                           "      'region:text(16)=ALL')\n    ConnectTimeout = 2\n    StatementTimeout = 5000\n");
        Form = Dir / "sales-pg.form";
        WriteFile(Form, FormText);
    }

    // `plotvane serve` of the form on Port, its log in Dir/Name.log.
    std::unique_ptr<TChild> Serve(std::uint16_t Port, const std::string& Name, int Threads = 2) const {
        return ServeForm(Form, Port, Name, {"--threads", std::to_string(Threads)});
    }
    std::unique_ptr<TChild> ServeForm(const fs::path& FormFile, std::uint16_t Port, const std::string& Name,
                                      const std::vector<std::string>& Options) const {
        std::vector<std::string> Args{Exe, "serve", FormFile.string(), "--port", std::to_string(Port)};
        Args.insert(Args.end(), Options.begin(), Options.end());
        auto C = std::make_unique<TChild>(Args, Dir / (Name + ".log"));
        WaitForHttp(Port);
        return C;
    }
    // How many lines of Dir/Name.log hold Text.
    int LogCount(const std::string& Name, const std::string& Text) const {
        const std::string Log = pvtest::ReadTextFile(Dir / (Name + ".log"));
        int N = 0;
        for (std::size_t P = Log.find(Text); P != std::string::npos; P = Log.find(Text, P + Text.size())) ++N;
        return N;
    }

    // nginx with the deployed configuration, pointed at the processes on
    // Ports (one to four), its files and cache in Dir/nginx; answers on the
    // port it returns.
    std::uint16_t StartNginx(const std::vector<std::uint16_t>& Ports, std::unique_ptr<TChild>& Nginx) const {
        const std::uint16_t Front = pvtest::FreeLoopbackPort();
        std::string Site = pvtest::ReadTextFile(SourceDir() / "deploy" / "nginx" / "plotvane.conf");
        Site = Replace(Site, "    listen 80;", "    listen 127.0.0.1:" + std::to_string(Front) + ";");
        for (std::size_t I = 0; I < 4; ++I) {
            const std::string Line = "    server 127.0.0.1:" + std::to_string(8081 + I) + " ";
            Site = Replace(Site, Line,
                           I < Ports.size() ? "    server 127.0.0.1:" + std::to_string(Ports[I]) + " " : "    # ");
        }
        const fs::path N = Dir / "nginx";
        Site = Replace(Site, "/var/cache/nginx/plotvane ", (N / "cache").string() + " ");
        fs::create_directories(N);
        fs::permissions(Dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::permissions(N, fs::perms::all);
        WriteFile(N / "plotvane.conf", Site);
        const std::string P = N.string() + "/";
        WriteFile(N / "nginx.conf", std::string(::geteuid() == 0 ? "user nobody nogroup;\n" : "") +
                                        "daemon off;\nworker_processes 1;\npid " + P + "nginx.pid;\nerror_log " + P +
                                        "error.log notice;\nevents { worker_connections 256; }\nhttp {\n  access_log " +
                                        P + "access.log;\n  client_body_temp_path " + P + "body;\n  proxy_temp_path " +
                                        P + "proxy;\n  fastcgi_temp_path " + P + "fastcgi;\n  uwsgi_temp_path " + P +
                                        "uwsgi;\n  scgi_temp_path " + P + "scgi;\n  include " + P +
                                        "plotvane.conf;\n}\n");
        Nginx = std::make_unique<TChild>(std::vector<std::string>{NginxExe, "-p", P, "-c", P + "nginx.conf", "-e",
                                                                  P + "error.log"},
                                         N / "nginx.out");
        WaitForHttp(Front);
        return Front;
    }

    fs::path Dir;
    fs::path Form;
    std::string FormText;
};

TEST_F(PgServeTest, FormsReadBackTheSameAndPropsHideThePassword) {
    plotvane::RegisterFormClasses();
    EXPECT_EQ(pv::WriteForm(*plotvane::LoadForm(Form.string())), FormText);

    const std::string Out = (Dir / "props.out").string();
    ASSERT_EQ(std::system(("'" + Exe + "' props '" + Form.string() + "' SalesQuery >'" + Out + "' 2>&1").c_str()), 0);
    const std::string Props = pvtest::ReadTextFile(Out);
    EXPECT_NE(Props.find("ConnectionString = 'host=127.0.0.1 port=" + std::to_string(Cluster->Port()) +
                         " dbname=sales user=plotvane password=****'"),
              std::string::npos)
        << Props;
    EXPECT_EQ(Props.find(TPgCluster::UserPassword), std::string::npos) << Props;

    // The same rows give the same picture as the SQLite sample, byte for byte.
    const std::string PgGif = (Dir / "pg.gif").string(), SqliteGif = (Dir / "sqlite.gif").string();
    ASSERT_EQ(std::system(("'" + Exe + "' render '" + Form.string() + "' -o '" + PgGif + "'").c_str()), 0);
    ASSERT_EQ(std::system(("'" + Exe + "' render '" + (ExamplesBuild / "sales.form").string() + "' -o '" + SqliteGif +
                           "'")
                              .c_str()),
              0);
    const std::string Bytes = pvtest::ReadTextFile(PgGif);
    EXPECT_GT(Bytes.size(), 500u);
    EXPECT_TRUE(Bytes == pvtest::ReadTextFile(SqliteGif));
}

TEST_F(PgServeTest, AnswersUnavailableWhileTheDatabaseIsDownAndRecoversByItself) {
    const std::uint16_t Port = pvtest::FreeLoopbackPort();
    auto Server = Serve(Port, "serve", 1);
    const pvtest::THttpReply First = Get(Port, "/RevenueChart.gif");
    ASSERT_EQ(First.Status, 200);
    const std::string ETag = First.Header("ETag");
    // The query's declared parameter comes from the URL, within its limits,
    // and the next request without it reads the form's value again.
    const pvtest::THttpReply Eu = Get(Port, "/RevenueChart.gif?region=EU");
    EXPECT_EQ(Eu.Status, 200);
    EXPECT_NE(Eu.Header("ETag"), ETag);
    // Europe's bars, not the picture read for the form's value.
    EXPECT_NE(Eu.Body, First.Body);
    const pvtest::THttpReply Us = Get(Port, "/RevenueChart.gif?region=US");
    EXPECT_NE(Us.Body, Eu.Body);
    EXPECT_NE(Us.Body, First.Body);
    {
        // A server that keeps the records it read reads again for other
        // parameter values, and gives the same pictures.
        const std::uint16_t Kept = pvtest::FreeLoopbackPort();
        auto Fixed = ServeForm(Form, Kept, "no-refresh", {"--threads", "1", "--no-refresh"});
        EXPECT_EQ(Get(Kept, "/RevenueChart.gif?region=US").Body, Us.Body);
        EXPECT_EQ(Get(Kept, "/RevenueChart.gif?region=EU").Body, Eu.Body);
        EXPECT_EQ(Get(Kept, "/RevenueChart.gif").Body, First.Body);
        EXPECT_EQ(Fixed->Stop(SIGTERM), 0);
    }
    const pvtest::THttpReply TooLong = Get(Port, "/RevenueChart.gif?region=EUROPE-AND-AMERICAS");
    EXPECT_EQ(TooLong.Status, 400);
    EXPECT_NE(TooLong.Body.find("region"), std::string::npos) << TooLong.Body;
    EXPECT_EQ(Get(Port, "/RevenueChart.gif").Header("ETag"), ETag);

    EXPECT_EQ(Get(Port, "/healthz").Status, 200);

    Cluster->Stop();
    // The health check asks the database server too, and names the data set.
    const pvtest::THttpReply Sick = Get(Port, "/healthz");
    EXPECT_EQ(Sick.Status, 503);
    EXPECT_NE(Sick.Body.find("SalesQuery: cannot connect to PostgreSQL"), std::string::npos) << Sick.Body;
    for (int I = 0; I < 2; ++I) {
        const pvtest::THttpReply Down = Get(Port, "/RevenueChart.gif");
        EXPECT_EQ(Down.Status, 503);
        EXPECT_EQ(Down.Header("Retry-After"), "1");
        EXPECT_NE(Down.Body.find("database cannot be reached"), std::string::npos) << Down.Body;
    }
    Cluster->Start();
    EXPECT_EQ(Get(Port, "/healthz").Status, 200);
    const pvtest::THttpReply Back = Get(Port, "/RevenueChart.gif");
    EXPECT_EQ(Back.Status, 200);
    EXPECT_EQ(Back.Header("ETag"), ETag);
    EXPECT_EQ(Back.Body, First.Body);
    EXPECT_EQ(Server->Stop(SIGTERM), 0);

    // Each 503 is logged with its reason, which names the server, never the
    // password. (The first request's stale connection fails, and so does
    // the new one it tries at once: the reason is the second failure.)
    const std::string Log = pvtest::ReadTextFile(Dir / "serve.log");
    EXPECT_NE(Log.find("GET /RevenueChart.gif 503"), std::string::npos) << Log;
    EXPECT_NE(Log.find("SalesQuery: cannot connect to PostgreSQL database \"sales\" on 127.0.0.1:" +
                       std::to_string(Cluster->Port())),
              std::string::npos)
        << Log;
    EXPECT_EQ(Log.find(TPgCluster::UserPassword), std::string::npos) << Log;
}

TEST_F(PgServeTest, AHungDatabaseServerCostsADeadlineNotTheWorker) {
    const std::uint16_t Port = pvtest::FreeLoopbackPort();
    auto Server = Serve(Port, "serve", 1);
    const pvtest::THttpReply First = Get(Port, "/RevenueChart.gif");
    ASSERT_EQ(First.Status, 200);

    // The server's processes stop answering while the one worker's
    // connection is open. Whatever fails below, they run on at the end.
    struct TResumeAtEnd {
        TPgCluster& C;
        ~TResumeAtEnd() { C.Resume(); }
    } ResumeAtEnd{*Cluster};
    Cluster->Pause();
    // The test's own wait is bounded, far above the form's deadlines
    // (StatementTimeout 5 s, ConnectTimeout 2 s), so a request that hangs
    // fails here instead of hanging the suite.
    auto Timed = [&](const std::string& Target) {
        const auto Started = std::chrono::steady_clock::now();
        pvtest::THttpConnection C(Port, 45);
        pvtest::THttpReply R = C.Request("GET", Target);
        return std::pair{R, std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count()};
    };
    const auto [Hung, HungSeconds] = Timed("/RevenueChart.gif");
    EXPECT_EQ(Hung.Status, 503);
    EXPECT_EQ(Hung.Header("Retry-After"), "1");
    EXPECT_NE(Hung.Body.find("database cannot be reached"), std::string::npos) << Hung.Body;
    EXPECT_LT(HungSeconds, 5 + 2 + 25);
    // The worker is free again: the health check is answered, its new
    // connection given up after ConnectTimeout.
    const auto [Sick, SickSeconds] = Timed("/healthz");
    EXPECT_EQ(Sick.Status, 503);
    EXPECT_NE(Sick.Body.find("SalesQuery: cannot connect to PostgreSQL database \"sales\" on 127.0.0.1:" +
                             std::to_string(Cluster->Port())),
              std::string::npos)
        << Sick.Body;
    EXPECT_NE(Sick.Body.find("timeout expired: no answer within 2 s (ConnectTimeout)"), std::string::npos)
        << Sick.Body;
    EXPECT_LT(SickSeconds, 2 + 25);

    // Running again: the next request connects anew and draws the chart.
    Cluster->Resume();
    const pvtest::THttpReply Back = Get(Port, "/RevenueChart.gif");
    EXPECT_EQ(Back.Status, 200);
    EXPECT_EQ(Back.Body, First.Body);
    EXPECT_EQ(Get(Port, "/healthz").Status, 200);
    EXPECT_EQ(Server->Stop(SIGTERM), 0);

    // The log says which query waited, on which server, and how long.
    const std::string Log = pvtest::ReadTextFile(Dir / "serve.log");
    EXPECT_NE(Log.find("SalesQuery: PostgreSQL database \"sales\" on 127.0.0.1:" + std::to_string(Cluster->Port()) +
                       " as user \"plotvane\" did not answer the SQL within 7000 ms (StatementTimeout = 5000 ms + "
                       "2000 ms); the connection is dropped. SQL: SELECT month,"),
              std::string::npos)
        << Log;
}

TEST_F(PgServeTest, TwoProcessesBehindNginxLoseNoRequestWhenOneIsKilled) {
    if (!fs::exists(NginxExe)) GTEST_SKIP() << NginxExe << " not found; scripts/deps.sh installs nginx";
    const std::uint16_t PortA = pvtest::FreeLoopbackPort(), PortB = pvtest::FreeLoopbackPort();
    auto A = Serve(PortA, "a");
    auto B = Serve(PortB, "b");
    // Independent processes, the same data: the same bytes and ETag.
    const pvtest::THttpReply FromA = Get(PortA, "/RevenueChart.gif"), FromB = Get(PortB, "/RevenueChart.gif");
    ASSERT_EQ(FromA.Status, 200);
    ASSERT_EQ(FromB.Status, 200);
    const std::string ETag = FromA.Header("ETag");
    EXPECT_EQ(FromB.Header("ETag"), ETag);
    EXPECT_TRUE(FromA.Body == FromB.Body);

    // nginx with the deployed configuration, pointed at the two processes.
    std::unique_ptr<TChild> Nginx;
    const std::uint16_t Front = StartNginx({PortA, PortB}, Nginx);
    const fs::path N = Dir / "nginx";
    // A chart over PostgreSQL is never kept: each request is drawn anew.
    for (int I = 0; I < 2; ++I) {
        const pvtest::THttpReply R = Get(Front, "/RevenueChart.gif");
        EXPECT_EQ(R.Status, 200);
        EXPECT_EQ(R.Header("Cache-Control"), "no-cache");
        EXPECT_EQ(R.Header("X-Cache-Status"), "MISS");
    }
    EXPECT_EQ(LogCount("a", "GET /RevenueChart.gif 200 ") + LogCount("b", "GET /RevenueChart.gif 200 "), 4);

    // A bounded load: three clients, one request at a time each.
    std::atomic<bool> Done{false};
    std::mutex Lock;
    std::map<std::string, int> Outcomes;  // "200 <etag>" or the failure
    std::vector<std::thread> Clients;
    for (int I = 0; I < 3; ++I)
        Clients.emplace_back([&] {
            while (!Done) {
                std::string Outcome;
                try {
                    const pvtest::THttpReply R = Get(Front, "/RevenueChart.gif");
                    Outcome = std::to_string(R.Status) + " " + R.Header("ETag");
                } catch (const std::exception& E) {
                    Outcome = E.what();
                }
                std::lock_guard G(Lock);
                ++Outcomes[Outcome];
            }
        });
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(A->Stop(SIGKILL), 128 + SIGKILL);
    std::this_thread::sleep_for(700ms);
    A = Serve(PortA, "a-again");
    // Load goes on until nginx, past its fail_timeout, sends A requests again.
    const auto Deadline = std::chrono::steady_clock::now() + 30s;
    bool AServes = false;
    while (!AServes && std::chrono::steady_clock::now() < Deadline) {
        std::this_thread::sleep_for(200ms);
        AServes = pvtest::ReadTextFile(Dir / "a-again.log").find("GET /RevenueChart.gif 200") != std::string::npos;
    }
    std::this_thread::sleep_for(300ms);
    Done = true;
    for (std::thread& T : Clients) T.join();

    ASSERT_EQ(Outcomes.size(), 1u) << [&] {
        std::string S;
        for (auto& [O, Count] : Outcomes) S += O + ": " + std::to_string(Count) + "\n";
        return S;
    }();
    EXPECT_EQ(Outcomes.begin()->first, "200 " + ETag);
    EXPECT_GT(Outcomes.begin()->second, 30);
    // nginx did meet the killed process, and sent those requests on.
    EXPECT_NE(pvtest::ReadTextFile(N / "error.log").find("upstream: \"http://127.0.0.1:" + std::to_string(PortA)),
              std::string::npos);
    EXPECT_TRUE(AServes) << "the restarted process got no request through nginx";

    // Revalidation works whichever process answers.
    EXPECT_EQ(Get(Front, "/RevenueChart.gif", {{"If-None-Match", ETag}}).Status, 304);
    EXPECT_EQ(Get(PortA, "/RevenueChart.gif").Header("ETag"), ETag);

    EXPECT_EQ(Nginx->Stop(SIGQUIT), 0);
    EXPECT_EQ(A->Stop(SIGTERM), 0);
    EXPECT_EQ(B->Stop(SIGTERM), 0);
}

TEST_F(PgServeTest, NginxKeepsAChartAsLongAsItsProcessAllowsAndNeverAnError) {
    if (!fs::exists(NginxExe)) GTEST_SKIP() << NginxExe << " not found; scripts/deps.sh installs nginx";
    // The SQLite sample, from a process that lets a shared cache keep its
    // answers one second.
    const std::uint16_t Port = pvtest::FreeLoopbackPort();
    const std::string Allowed = "max-age=0, s-maxage=1";
    auto Server = ServeForm(ExamplesBuild / "sales.form", Port, "sqlite", {"--cache-control", Allowed});
    std::unique_ptr<TChild> Nginx;
    const std::uint16_t Front = StartNginx({Port}, Nginx);

    const pvtest::THttpReply First = Get(Front, "/RevenueChart.gif");
    ASSERT_EQ(First.Status, 200);
    EXPECT_EQ(First.Header("X-Cache-Status"), "MISS");
    EXPECT_EQ(First.Header("Cache-Control"), Allowed);
    // The next one comes from nginx (or, on a slow machine, after the
    // second is over, from nginx once the process said 304).
    const pvtest::THttpReply Second = Get(Front, "/RevenueChart.gif");
    const std::string Status = Second.Header("X-Cache-Status");
    EXPECT_TRUE(Status == "HIT" || Status == "REVALIDATED") << Status;
    EXPECT_TRUE(Second.Body == First.Body);
    // Once the second is over, nginx asks with the kept ETag.
    bool Revalidated = Status == "REVALIDATED";
    const auto Deadline = std::chrono::steady_clock::now() + 20s;
    while (!Revalidated && std::chrono::steady_clock::now() < Deadline) {
        std::this_thread::sleep_for(300ms);
        const pvtest::THttpReply R = Get(Front, "/RevenueChart.gif");
        EXPECT_TRUE(R.Status == 200 && R.Body == First.Body) << R.Status;
        Revalidated = R.Header("X-Cache-Status") == "REVALIDATED";
    }
    EXPECT_TRUE(Revalidated) << "nginx never revalidated the kept chart";
    // The process sent the picture once; after that only 304s.
    EXPECT_EQ(LogCount("sqlite", "GET /RevenueChart.gif 200 "), 1);
    EXPECT_GE(LogCount("sqlite", "GET /RevenueChart.gif 304 "), 1);
    // A client's own If-None-Match is answered from the kept copy.
    EXPECT_EQ(Get(Front, "/RevenueChart.gif", {{"If-None-Match", First.Header("ETag")}}).Status, 304);

    // Errors say no-store whatever the charts allow, and nginx keeps none
    // of them even so: each one goes to the process.
    for (const auto& [Target, Code] : std::vector<std::pair<std::string, int>>{{"/NoSuchChart.gif", 404},
                                                                             {"/RevenueChart.gif?width=0", 400}}) {
        for (int I = 0; I < 2; ++I) {
            const pvtest::THttpReply R = Get(Front, Target);
            EXPECT_EQ(R.Status, Code) << Target;
            EXPECT_EQ(R.Header("Cache-Control"), "no-store") << Target;
            EXPECT_EQ(R.Header("X-Cache-Status"), "MISS") << Target;
        }
    }
    EXPECT_EQ(LogCount("sqlite", "GET /NoSuchChart.gif 404 "), 2);
    EXPECT_EQ(LogCount("sqlite", "GET /RevenueChart.gif 400 "), 2);

    EXPECT_EQ(Nginx->Stop(SIGQUIT), 0);
    EXPECT_EQ(Server->Stop(SIGTERM), 0);
}

}  // namespace

