#pragma once
// A private PostgreSQL server for tests and benchmarks: a cluster made with
// initdb in a temporary folder, listening on a free loopback port (and a
// socket in that folder), with one password-protected superuser, started
// and stopped with pg_ctl and removed at the end. initdb and the server
// refuse to run as root, so as root they run as the "postgres" user, who is
// given the folder.

#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvtest {

// A port nothing listens on now (the system's choice of a free one).
inline std::uint16_t FreeLoopbackPort() {
    const int S = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    if (S < 0 || ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
        ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) != 0) {
        if (S >= 0) ::close(S);
        throw std::runtime_error("no free loopback port");
    }
    ::close(S);
    return ntohs(A.sin_port);
}

inline std::string ReadTextFile(const std::filesystem::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

class TPgCluster {
public:
    static constexpr const char* User = "plotvane";
    static constexpr const char* UserPassword = "s3cret-Pw";

    // The folder with initdb and pg_ctl: $PLOTVANE_PG_BIN, else the newest
    // /usr/lib/postgresql/<version>/bin; empty when there is none.
    static std::string FindBinDir() {
        if (const char* Env = std::getenv("PLOTVANE_PG_BIN")) return Env;
        std::string Best;
        int BestVersion = -1;
        std::error_code Ec;
        for (const auto& E : std::filesystem::directory_iterator("/usr/lib/postgresql", Ec)) {
            const auto Bin = E.path() / "bin";
            if (!std::filesystem::exists(Bin / "initdb") || !std::filesystem::exists(Bin / "pg_ctl")) continue;
            const int Version = std::atoi(E.path().filename().c_str());
            if (Version > BestVersion) BestVersion = Version, Best = Bin.string();
        }
        return Best;
    }
    // Why the cluster cannot be made here, or empty.
    static std::string WhyUnavailable() {
        if (FindBinDir().empty())
            return "PostgreSQL server programs (initdb, pg_ctl) under /usr/lib/postgresql not found; "
                   "scripts/deps.sh installs them";
        if (::geteuid() == 0 && !::getpwnam("postgres"))
            return "running as root without a \"postgres\" user to run the server as";
        return {};
    }

    // Makes the cluster and starts it; raises std::runtime_error with the
    // tool's output when that fails.
    TPgCluster() : FBin(FindBinDir()), FPort(FreeLoopbackPort()) {
        std::string Pattern = "/tmp/plotvane-pg-XXXXXX";
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FDir = Pattern;
        std::filesystem::permissions(FDir, std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_exec);
        std::ofstream(FDir / "pwfile") << UserPassword << "\n";
        if (::geteuid() == 0) Run("chown -R postgres: '" + FDir.string() + "'", "chown");
        RunAsServer("'" + FBin + "/initdb' -D '" + Data() + "' -U " + User + " --pwfile='" + (FDir / "pwfile").string() +
                        "' -A scram-sha-256 -E UTF8 --locale=C --no-sync",
                    "initdb");
        Start();
    }
    ~TPgCluster() {
        Resume();
        try {
            Stop();
        } catch (...) {
        }
        std::error_code Ec;
        std::filesystem::remove_all(FDir, Ec);
    }
    TPgCluster(const TPgCluster&) = delete;
    TPgCluster& operator=(const TPgCluster&) = delete;

    void Start() {
        if (FRunning) return;
        RunAsServer("'" + FBin + "/pg_ctl' -D '" + Data() + "' -l '" + (FDir / "server.log").string() +
                        "' -w -t 60 -o \"-p " + std::to_string(FPort) + " -k '" + FDir.string() +
                        "' -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off"
                        " -c full_page_writes=off\" start",
                    "pg_ctl start");
        FRunning = true;
    }
    // Fast shutdown: open sessions are ended, as when a server is restarted.
    void Stop() {
        Resume();
        if (!FRunning) return;
        FRunning = false;
        RunAsServer("'" + FBin + "/pg_ctl' -D '" + Data() + "' -m fast -w -t 60 stop", "pg_ctl stop");
    }
    bool Running() const { return FRunning; }

    // Stops every process of the server with SIGSTOP: it keeps its sockets
    // and takes new connections into the kernel's backlog, but answers
    // nothing, as a hung server or a network partition looks to a client.
    // The postmaster goes first, so it starts no new child meanwhile.
    void Pause() {
        const pid_t Master = PostmasterPid();
        if (::kill(Master, SIGSTOP) != 0) throw std::runtime_error("cannot stop the postmaster");
        FPaused = true;
        for (pid_t Child : ChildrenOf(Master)) ::kill(Child, SIGSTOP);
    }
    // Lets the processes Pause stopped run on (children first); does nothing
    // when the server is not paused.
    void Resume() noexcept {
        if (!FPaused) return;
        FPaused = false;
        try {
            const pid_t Master = PostmasterPid();
            for (pid_t Child : ChildrenOf(Master)) ::kill(Child, SIGCONT);
            ::kill(Master, SIGCONT);
        } catch (...) {
        }
    }

    std::uint16_t Port() const { return FPort; }
    const std::filesystem::path& Dir() const { return FDir; }
    // A key=value connection string for Database over TCP on loopback.
    std::string ConnectionString(const std::string& Database = "sales", const std::string& Password = UserPassword) const {
        return "host=127.0.0.1 port=" + std::to_string(FPort) + " dbname=" + Database + " user=" + User +
               " password=" + Password;
    }

    // Runs Sql (one or more statements) on Database; raises with the
    // server's message when it fails.
    void Exec(const std::string& Database, const std::string& Sql) const {
        PGconn* Conn = PQconnectdb(ConnectionString(Database).c_str());
        std::string Error;
        if (PQstatus(Conn) != CONNECTION_OK) {
            Error = PQerrorMessage(Conn);
        } else {
            PGresult* R = PQexec(Conn, Sql.c_str());
            const ExecStatusType S = PQresultStatus(R);
            if (S != PGRES_COMMAND_OK && S != PGRES_TUPLES_OK) Error = PQerrorMessage(Conn);
            PQclear(R);
        }
        PQfinish(Conn);
        if (!Error.empty()) throw std::runtime_error("SQL on " + Database + " failed: " + Error + "SQL: " + Sql);
    }
    // Creates the database "sales" from examples/sales.sql (the SQLite
    // sample's own script, which PostgreSQL reads as well).
    void LoadSales(const std::filesystem::path& SourceDir) const {
        Exec("postgres", "CREATE DATABASE sales");
        const std::string Sql = ReadTextFile(SourceDir / "examples" / "sales.sql");
        if (Sql.empty()) throw std::runtime_error("cannot read examples/sales.sql under " + SourceDir.string());
        Exec("sales", Sql);
    }

private:
    std::string Data() const { return (FDir / "data").string(); }
    // The first line of postmaster.pid.
    pid_t PostmasterPid() const {
        const int Pid = std::atoi(ReadTextFile(FDir / "data" / "postmaster.pid").c_str());
        if (Pid <= 0) throw std::runtime_error("no postmaster.pid in " + Data());
        return static_cast<pid_t>(Pid);
    }
    // The processes whose parent is Parent, from /proc/<pid>/stat ("pid
    // (name) state ppid ..."; the name may hold spaces and parentheses).
    static std::vector<pid_t> ChildrenOf(pid_t Parent) {
        std::vector<pid_t> R;
        std::error_code Ec;
        for (const auto& E : std::filesystem::directory_iterator("/proc", Ec)) {
            const std::string Name = E.path().filename().string();
            if (Name.empty() || !std::all_of(Name.begin(), Name.end(), [](char C) { return C >= '0' && C <= '9'; }))
                continue;
            const std::string Stat = ReadTextFile(E.path() / "stat");
            const std::size_t Close = Stat.rfind(')');
            if (Close == std::string::npos) continue;
            std::istringstream In(Stat.substr(Close + 1));
            std::string State;
            long PPid = 0;
            if (In >> State >> PPid && PPid == Parent) R.push_back(static_cast<pid_t>(std::stol(Name)));
        }
        return R;
    }
    static void Run(const std::string& Cmd, const std::string& What) {
        if (std::system(Cmd.c_str()) != 0) throw std::runtime_error(What + " failed: " + Cmd);
    }
    void RunAsServer(const std::string& Cmd, const std::string& What) const {
        const std::string Log = (FDir / (What.substr(0, What.find(' ')) + ".out")).string();
        std::string Full = Cmd + " >'" + Log + "' 2>&1";
        if (::geteuid() == 0) {
            std::string Quoted;
            for (char C : Full) Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
            Full = "runuser -u postgres -- sh -c '" + Quoted + "'";
        }
        if (std::system(Full.c_str()) != 0)
            throw std::runtime_error(What + " failed: " + ReadTextFile(Log) + ReadTextFile(FDir / "server.log"));
    }

    std::string FBin;
    std::uint16_t FPort;
    std::filesystem::path FDir;
    bool FRunning = false;
    bool FPaused = false;
};

}  // namespace pvtest
