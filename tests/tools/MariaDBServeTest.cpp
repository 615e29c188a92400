// The plotvane command over MariaDB: the sample form with its query made a
// TMariaDBQuery on a private server the suite starts, rendered, listed by
// props, and served while the server is stopped and started under it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "host/FormClasses.h"
#include "platform/rtl/FormWriter.h"
#include "tests/support/HttpTestClient.h"
#include "tests/support/MariaDBServer.h"
#include "tests/support/MariaDBSuite.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using pvtest::TMariaDBServer;

const std::string Exe = PLOTVANE_EXE;
const fs::path ExamplesBuild = PLOTVANE_EXAMPLES_BUILD_DIR;

fs::path SourceDir() {
    const char* S = std::getenv("PLOTVANE_SOURCE_DIR");
    return S ? S : ".";
}

std::string Replace(std::string S, const std::string& From, const std::string& To) {
    const std::size_t P = S.find(From);
    if (P == std::string::npos) throw std::runtime_error("\"" + From + "\" not found");
    return S.replace(P, From.size(), To);
}

// `plotvane serve` as a child process with its output in a file; killed at
// the end if still running.
class TServe {
public:
    TServe(const fs::path& Form, std::uint16_t Port, const fs::path& Log) : FPort(Port) {
        std::vector<std::string> Args{Exe, "serve", Form.string(), "--port", std::to_string(Port), "--threads", "1"};
        std::vector<char*> Argv;
        for (std::string& A : Args) Argv.push_back(A.data());
        Argv.push_back(nullptr);
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, 1, Log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&Actions, 1, 2);
        const int Rc = posix_spawn(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&Actions);
        if (Rc != 0) throw std::runtime_error("cannot start " + Exe);
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < Deadline) {
            try {
                if (Get("/").Status == 200) return;
            } catch (const std::exception&) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("plotvane serve does not answer on port " + std::to_string(Port));
    }
    ~TServe() {
        if (FPid > 0) Stop(SIGKILL);
    }
    TServe(const TServe&) = delete;
    TServe& operator=(const TServe&) = delete;

    pvtest::THttpReply Get(const std::string& Target) const {
        pvtest::THttpConnection C(FPort);
        return C.Request("GET", Target, {});
    }
    // Sends Signal and waits; the exit status (128 + signal when killed).
    int Stop(int Signal) {
        ::kill(FPid, Signal);
        int Status = 0;
        ::waitpid(FPid, &Status, 0);
        FPid = -1;
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    }

private:
    std::uint16_t FPort;
    pid_t FPid = -1;
};

class MariaDBServeTest : public pvtest::TMariaDBSuite {
protected:
    static void SetUpTestSuite() { StartServer(); }

    void SetUp() override {
        TMariaDBSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Dir = Server->Dir() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(Dir);
        // The sample form with its SQLite query made a MariaDB one.
        FormText = TMariaDBServer::ReadText(SourceDir() / "examples" / "sales.form");
        FormText = Replace(FormText, "object SalesQuery: TSQLiteQuery", "object SalesQuery: TMariaDBQuery");
        FormText = Replace(FormText, "    DatabaseName = 'sales.db'\n",
                           "    ConnectionString = '" + Server->ConnectionString() + "'\n");
        FormText = Replace(FormText, "      'region:text(16)=ALL')\n",
                           "      'region:text(16)=ALL')\n    ConnectTimeout = 2\n    StatementTimeout = 5000\n");
        Form = Dir / "sales-maria.form";
        std::ofstream(Form, std::ios::binary) << FormText;
    }
    int Run(const std::string& Args, const std::string& OutName) const {
        return std::system(("'" + Exe + "' " + Args + " >'" + (Dir / OutName).string() + "' 2>&1").c_str());
    }

    fs::path Dir;
    fs::path Form;
    std::string FormText;
};

TEST_F(MariaDBServeTest, TheBoundChartRendersAsFromSQLiteAndPropsHideThePassword) {
    plotvane::RegisterFormClasses();
    EXPECT_EQ(pv::WriteForm(*plotvane::LoadForm(Form.string())), FormText);

    ASSERT_EQ(Run("props '" + Form.string() + "' SalesQuery", "props.out"), 0);
    const std::string Props = TMariaDBServer::ReadText(Dir / "props.out");
    EXPECT_NE(Props.find("ConnectionString = 'host=127.0.0.1 port=" + std::to_string(Server->Port()) +
                         " database=sales user=plotvane password=****'"),
              std::string::npos)
        << Props;
    EXPECT_EQ(Props.find(TMariaDBServer::UserPassword), std::string::npos) << Props;

    // The same rows give the same picture as the SQLite sample, byte for byte.
    const fs::path MariaGif = Dir / "maria.gif", SqliteGif = Dir / "sqlite.gif";
    ASSERT_EQ(Run("render '" + Form.string() + "' -o '" + MariaGif.string() + "'", "render.out"), 0)
        << TMariaDBServer::ReadText(Dir / "render.out");
    ASSERT_EQ(Run("render '" + (ExamplesBuild / "sales.form").string() + "' -o '" + SqliteGif.string() + "'",
                  "render-sqlite.out"),
              0);
    const std::string Bytes = TMariaDBServer::ReadText(MariaGif);
    EXPECT_GT(Bytes.size(), 500u);
    EXPECT_TRUE(Bytes == TMariaDBServer::ReadText(SqliteGif));
}

TEST_F(MariaDBServeTest, AnswersUnavailableWhileTheDatabaseIsDownAndRecoversByItself) {
    TServe Serve(Form, TMariaDBServer::FreePort(), Dir / "serve.log");
    const pvtest::THttpReply First = Serve.Get("/RevenueChart.gif");
    ASSERT_EQ(First.Status, 200);
    // The declared parameter comes from the URL and is bound as data.
    EXPECT_EQ(Serve.Get("/RevenueChart.gif?region=EU").Status, 200);
    EXPECT_EQ(Serve.Get("/RevenueChart.gif?region=EU%27%20OR%20%271").Status, 200);

    Server->Stop();
    const pvtest::THttpReply Sick = Serve.Get("/healthz");
    EXPECT_EQ(Sick.Status, 503);
    EXPECT_NE(Sick.Body.find("SalesQuery: cannot connect to MariaDB database \"sales\" on 127.0.0.1:" +
                             std::to_string(Server->Port())),
              std::string::npos)
        << Sick.Body;
    for (int I = 0; I < 2; ++I) {
        const pvtest::THttpReply Down = Serve.Get("/RevenueChart.gif");
        EXPECT_EQ(Down.Status, 503);
        EXPECT_EQ(Down.Header("Retry-After"), "1");
    }
    Server->Start();
    EXPECT_EQ(Serve.Get("/healthz").Status, 200);
    const pvtest::THttpReply Back = Serve.Get("/RevenueChart.gif");
    EXPECT_EQ(Back.Status, 200);
    EXPECT_EQ(Back.Body, First.Body);
    EXPECT_EQ(Serve.Stop(SIGTERM), 0);

    // Each 503 is logged with its reason, which names the server, never the
    // password.
    const std::string Log = TMariaDBServer::ReadText(Dir / "serve.log");
    EXPECT_NE(Log.find("GET /RevenueChart.gif 503"), std::string::npos) << Log;
    EXPECT_NE(Log.find("SalesQuery: cannot connect to MariaDB database \"sales\""), std::string::npos) << Log;
    EXPECT_EQ(Log.find(TMariaDBServer::UserPassword), std::string::npos) << Log;
}

}  // namespace
