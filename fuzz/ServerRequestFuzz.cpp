// The chart server as a client on the network sees it: any request line
// and headers, sent over a real connection to a running server. The HTTP
// library parses the request target (percent-decoding the path, splitting
// the query into fields), the adapter builds the request, and the chart
// server routes it and renders. Every request must get an answer or a
// closed connection; nothing may crash.
//
// The input's first line is the request target ("/RevenueChart.gif?w=1"),
// sent as "GET <target> HTTP/1.1"; a first byte of '!' makes the first line
// the whole request line instead. Further lines are extra header lines.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "host/FormClasses.h"
#include "server/ChartServer.h"

namespace {

// A query with two parameters a request may set, over a small SQLite file,
// and a chart of the memory data set beside it.
constexpr const char* Form = R"(object Module: TDataModule
  object Sales: TSQLiteQuery
    DatabaseName = 'sales.db'
    SQL.Strings = (
      'SELECT month, SUM(revenue) AS revenue FROM sales'
      'WHERE :region IN (''ALL'', region) AND month_no >= :from'
      'GROUP BY month_no, month ORDER BY month_no')
    Params.Strings = (
      'region:text(8)=ALL'
      'from:integer(1..12)=1')
    Active = True
  end
  object SalesSource: TDataSource
    DataSet = Sales
  end
  object RevenueChart: TNorq_DBPlotvane
    Width = 160
    Height = 100
    DataSource = SalesSource
    XLabelsSource = 'month'
    YValueSource = 'revenue'
  end
  object Memory: TMemDataSet
    FieldDefs.Strings = ( 'month=ftString' 'revenue=ftFloat' )
    Records.Strings = ( '"Jan",12.5' '"Feb",-3' '"Mar",20' )
    Active = True
  end
  object MemorySource: TDataSource
    DataSet = Memory
  end
  object MemoryChart: TNorq_DBPlotvane
    Width = 160
    Height = 100
    DataSource = MemorySource
    XLabelsSource = 'month'
    YValueSource = 'revenue'
  end
end
)";

constexpr const char* Data =
    "CREATE TABLE sales(month_no INTEGER, month TEXT, revenue REAL, region TEXT);"
    "INSERT INTO sales VALUES (1, 'Jan', 7, 'EU'), (1, 'Jan', 5, 'US'), (2, 'Feb', -2, 'EU'), (3, 'Mar', 4, 'US');";

struct TServer {
    std::string Dir;
    std::string FormFile;
    std::unique_ptr<plotvane::TChartServer> Server;
    TServer() {
        const char* Tmp = std::getenv("TMPDIR");
        Dir = std::string(Tmp && *Tmp ? Tmp : "/tmp") + "/plotvane-fuzz-server-" + std::to_string(::getpid());
        std::filesystem::create_directories(Dir);
        FormFile = Dir + "/sales.form";
        std::ofstream(FormFile) << Form;
        sqlite3* Db = nullptr;
        if (sqlite3_open((Dir + "/sales.db").c_str(), &Db) != SQLITE_OK ||
            sqlite3_exec(Db, Data, nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        sqlite3_close(Db);
        plotvane::TChartServerOptions Options;
        Options.FormFile = FormFile;
        Options.LoadModule = [F = FormFile] { return plotvane::LoadForm(F); };
        Options.Http.Port = 0;
        Options.Http.Threads = 1;
        Options.Http.Log = [](std::string_view) {};
        Server = std::make_unique<plotvane::TChartServer>(Options);
        Server->Start();
    }
    ~TServer() {
        Server.reset();
        std::filesystem::remove_all(Dir);
    }
};

TServer& Running() {
    static TServer* S = new TServer;  // left running until the process ends
    return *S;
}

// Sends Request, half-closes, and reads until the server closes or a
// second passes.
void Exchange(std::uint16_t Port, const std::string& Request) {
    int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Fd < 0) std::abort();
    sockaddr_in Addr{};
    Addr.sin_family = AF_INET;
    Addr.sin_port = htons(Port);
    Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0) std::abort();
    std::size_t Sent = 0;
    while (Sent < Request.size()) {
        ssize_t N = ::send(Fd, Request.data() + Sent, Request.size() - Sent, MSG_NOSIGNAL);
        if (N <= 0) break;  // the server may close early on a bad request
        Sent += static_cast<std::size_t>(N);
    }
    ::shutdown(Fd, SHUT_WR);
    char Buffer[65536];
    for (;;) {
        pollfd P{Fd, POLLIN, 0};
        if (::poll(&P, 1, 1000) <= 0) break;
        if (::recv(Fd, Buffer, sizeof Buffer, 0) <= 0) break;
    }
    ::close(Fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    plotvane::RegisterFormClasses();
    Running();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view In(reinterpret_cast<const char*>(Data), Size);
    if (In.size() > 16384) return 0;  // beyond the library's request limits: refused before parsing
    std::string_view First = In.substr(0, In.find('\n'));
    std::string_view Headers = First.size() < In.size() ? In.substr(First.size() + 1) : std::string_view();
    std::string Request;
    if (!First.empty() && First[0] == '!')
        Request = std::string(First.substr(1)) + "\r\n";
    else
        Request = "GET " + std::string(First) + " HTTP/1.1\r\n";
    Request += "Host: fuzz\r\nConnection: close\r\n";
    std::size_t Start = 0;
    while (Start < Headers.size()) {
        std::size_t End = Headers.find('\n', Start);
        if (End == std::string_view::npos) End = Headers.size();
        Request += std::string(Headers.substr(Start, End - Start)) + "\r\n";
        Start = End + 1;
    }
    Request += "\r\n";
    Exchange(Running().Server->GetPort(), Request);
    return 0;
}
