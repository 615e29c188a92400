#pragma once
// A private MariaDB server for tests and benchmarks: a data folder made
// with mariadb-install-db in a temporary folder, mariadbd on a free
// loopback port and a socket in that folder, one password-protected user
// for the data sets (root logs in over the socket without one, for the
// tests' own setup), started and stopped by the test and removed at the
// end. As root, the server runs as root (--user=root), which it allows when
// told so.

#include <fcntl.h>
#include <mysql.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>


extern char** environ;

namespace pvtest {

class TMariaDBServer {
public:
    // A port nothing listens on now (the system's choice of a free one).
    static std::uint16_t FreePort() {
        const int S = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Len = sizeof A;
        const bool Ok = S >= 0 && ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
                        ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) == 0;
        if (S >= 0) ::close(S);
        if (!Ok) throw std::runtime_error("no free loopback port");
        return ntohs(A.sin_port);
    }
    static std::string ReadText(const std::filesystem::path& Path) {
        std::ifstream In(Path, std::ios::binary);
        std::ostringstream S;
        S << In.rdbuf();
        return S.str();
    }

    static constexpr const char* User = "plotvane";
    static constexpr const char* UserPassword = "m4ria-Pw";
    static constexpr const char* ServerExe = "/usr/sbin/mariadbd";
    static constexpr const char* InstallExe = "/usr/bin/mariadb-install-db";

    // Why the server cannot be made here, or empty.
    static std::string WhyUnavailable() {
        if (!std::filesystem::exists(ServerExe) || !std::filesystem::exists(InstallExe))
            return std::string("MariaDB server programs (") + ServerExe + ", " + InstallExe +
                   ") not found; scripts/deps.sh installs them (mariadb-server)";
        return {};
    }

    // Makes the data folder, starts the server and creates the user;
    // raises std::runtime_error with the tool's output when that fails.
    TMariaDBServer() : FPort(FreePort()) {
        std::string Pattern = "/tmp/plotvane-maria-XXXXXX";
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FDir = Pattern;
        const std::string Log = (FDir / "install.out").string();
        std::string Cmd = std::string(InstallExe) + " --no-defaults --datadir='" + Data() + "'" + UserOption() +
                          " --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve" +
                          " --innodb-log-file-size=4M >'" + Log + "' 2>&1";
        if (std::system(Cmd.c_str()) != 0) throw std::runtime_error("mariadb-install-db failed: " + ReadText(Log));
        Start();
        Exec("", std::string("CREATE USER '") + User + "'@'%' IDENTIFIED BY '" + UserPassword +
                     "'; GRANT ALL ON *.* TO '" + User + "'@'%'");
    }
    ~TMariaDBServer() {
        Resume();
        Stop();
        std::error_code Ec;
        std::filesystem::remove_all(FDir, Ec);
    }
    TMariaDBServer(const TMariaDBServer&) = delete;
    TMariaDBServer& operator=(const TMariaDBServer&) = delete;

    // Starts mariadbd and waits until it answers on its socket.
    void Start() {
        if (FPid > 0) return;
        std::vector<std::string> Args{ServerExe,
                                      "--no-defaults",
                                      "--datadir=" + Data(),
                                      "--socket=" + Socket(),
                                      "--port=" + std::to_string(FPort),
                                      "--bind-address=127.0.0.1",
                                      "--pid-file=" + (FDir / "mariadbd.pid").string(),
                                      "--log-error=" + (FDir / "server.log").string(),
                                      "--skip-name-resolve",
                                      "--skip-log-bin",
                                      "--innodb-log-file-size=4M",
                                      "--innodb-buffer-pool-size=16M",
                                      "--innodb-flush-log-at-trx-commit=0"};
        if (::geteuid() == 0) Args.push_back("--user=root");
        std::vector<char*> Argv;
        for (std::string& A : Args) Argv.push_back(A.data());
        Argv.push_back(nullptr);
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, 1, (FDir / "mariadbd.out").c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&Actions, 1, 2);
        const int Rc = posix_spawn(&FPid, ServerExe, &Actions, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&Actions);
        if (Rc != 0) {
            FPid = -1;
            throw std::runtime_error(std::string("cannot start ") + ServerExe);
        }
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!Answers()) {
            int Status = 0;
            if (::waitpid(FPid, &Status, WNOHANG) == FPid) {
                FPid = -1;
                throw std::runtime_error("mariadbd exited: " + ReadText(FDir / "server.log"));
            }
            if (std::chrono::steady_clock::now() > Deadline) {
                Stop();
                throw std::runtime_error("mariadbd did not answer within 30 s: " + ReadText(FDir / "server.log"));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // Shuts the server down (SIGTERM, as a service manager does: open
    // sessions end) and waits until it has exited; one that has not after
    // 30 s is killed, so a stuck shutdown cannot hang the suite.
    void Stop() noexcept {
        Resume();
        if (FPid <= 0) return;
        ::kill(FPid, SIGTERM);
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int Status = 0;
        while (::waitpid(FPid, &Status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > Deadline) {
                ::kill(FPid, SIGKILL);
                ::waitpid(FPid, &Status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FPid = -1;
    }
    bool Running() const { return FPid > 0; }

    // Stops the server with SIGSTOP: it keeps its sockets and takes new
    // connections into the kernel's backlog, but answers nothing, as a hung
    // server or a network partition looks to a client.
    void Pause() {
        if (FPid <= 0 || ::kill(FPid, SIGSTOP) != 0) throw std::runtime_error("cannot stop mariadbd");
        FPaused = true;
    }
    void Resume() noexcept {
        if (!FPaused) return;
        FPaused = false;
        ::kill(FPid, SIGCONT);
    }

    std::uint16_t Port() const { return FPort; }
    const std::filesystem::path& Dir() const { return FDir; }
    std::string Socket() const { return (FDir / "mariadbd.sock").string(); }
    // A connection string for Database over TCP on loopback.
    std::string ConnectionString(const std::string& Database = "sales",
                                 const std::string& Password = UserPassword) const {
        return "host=127.0.0.1 port=" + std::to_string(FPort) + " database=" + Database + " user=" + User +
               " password=" + Password;
    }

    // Runs Sql (one or more statements) as root over the socket, on
    // Database (empty: none); raises with the server's message when it
    // fails.
    void Exec(const std::string& Database, const std::string& Sql) const {
        std::string Error;
        if (!Connected(Database, [&](MYSQL* M) {
                if (mysql_real_query(M, Sql.data(), Sql.size()) != 0) {
                    Error = mysql_error(M);
                    return;
                }
                do {
                    if (MYSQL_RES* R = mysql_store_result(M)) mysql_free_result(R);
                } while (mysql_next_result(M) == 0);
                if (mysql_errno(M) != 0) Error = mysql_error(M);
            }, Error) ||
            !Error.empty())
            throw std::runtime_error("SQL on " + Database + " failed: " + Error + "; SQL: " + Sql);
    }
    // Creates the database "sales" from examples/sales.sql (the SQLite
    // sample's own script, which MariaDB reads as well).
    void LoadSales(const std::filesystem::path& SourceDir) const {
        const std::string Sql = ReadText(SourceDir / "examples" / "sales.sql");
        if (Sql.empty()) throw std::runtime_error("cannot read examples/sales.sql under " + SourceDir.string());
        Exec("", "CREATE DATABASE sales");
        Exec("sales", Sql);
    }

private:
    std::string Data() const { return (FDir / "data").string(); }
    static std::string UserOption() { return ::geteuid() == 0 ? " --user=root" : ""; }
    bool Answers() const {
        std::string Ignored;
        return Connected("", [](MYSQL*) {}, Ignored);
    }
    // Calls Use with a root connection over the socket; false (Error set)
    // when there is none.
    bool Connected(const std::string& Database, const std::function<void(MYSQL*)>& Use, std::string& Error) const {
        std::unique_ptr<MYSQL, void (*)(MYSQL*)> M(mysql_init(nullptr), mysql_close);
        if (!M) return false;
        const unsigned Timeout = 10;
        mysql_optionsv(M.get(), MYSQL_OPT_CONNECT_TIMEOUT, &Timeout);
        if (!mysql_real_connect(M.get(), "localhost", "root", nullptr, Database.empty() ? nullptr : Database.c_str(),
                                0, Socket().c_str(), CLIENT_MULTI_STATEMENTS)) {
            Error = mysql_error(M.get());
            return false;
        }
        Use(M.get());
        return true;
    }

    std::uint16_t FPort;
    std::filesystem::path FDir;
    pid_t FPid = -1;
    bool FPaused = false;
};

}  // namespace pvtest
