// The chart server against real HTTP clients on a free loopback port, on a
// copy of the sample form and database.

#include "tools/ChartServer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "component/Norq_Plotvane.h"
#include "platform/web/HTTPServer.h"
#include "tests/web/HttpTestClient.h"
#include "tools/FormClasses.h"

namespace plotvane {
namespace {

namespace fs = std::filesystem;
using pvtest::THttpConnection;

// A folder with the sample form and a private copy of its database.
class SampleCopy {
public:
    SampleCopy() {
        Dir = fs::temp_directory_path() / ("plotvane-serve-" + std::to_string(::getpid()) + "-" + std::to_string(Next++));
        fs::create_directories(Dir);
        fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.form", Dir / "sales.form");
        fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.db", Dir / "sales.db");
    }
    ~SampleCopy() { fs::remove_all(Dir); }
    std::string Form() const { return (Dir / "sales.form").string(); }
    void Sql(const char* Statement) const {
        sqlite3* Db = nullptr;
        ASSERT_EQ(sqlite3_open((Dir / "sales.db").string().c_str(), &Db), SQLITE_OK);
        char* Error = nullptr;
        EXPECT_EQ(sqlite3_exec(Db, Statement, nullptr, nullptr, &Error), SQLITE_OK) << (Error ? Error : "");
        sqlite3_free(Error);
        sqlite3_close(Db);
    }
    fs::path Dir;
    static inline int Next = 0;
};

// A server on the copy, stopped when the test ends however it ends.
struct RunningServer {
    explicit RunningServer(const SampleCopy& Copy, unsigned Threads = 2) {
        TChartServerOptions O;
        O.FormFile = Copy.Form();
        O.Http.Threads = Threads;
        O.Http.Log = [](std::string_view) {};
        Server = std::make_unique<TChartServer>(O);
        Server->Start();
    }
    ~RunningServer() { Server->Stop(); }
    std::uint16_t Port() const { return Server->GetPort(); }
    std::unique_ptr<TChartServer> Server;
};

// Width and height from a GIF's logical screen descriptor.
std::pair<int, int> GifSize(const std::string& B) {
    if (B.size() < 10 || B.compare(0, 6, "GIF89a") != 0) return {-1, -1};
    auto U = [&](std::size_t I) { return static_cast<unsigned char>(B[I]); };
    return {U(6) | (U(7) << 8), U(8) | (U(9) << 8)};
}

bool IsCompleteJpeg(const std::string& B) {
    return B.size() > 4 && static_cast<unsigned char>(B[0]) == 0xFF && static_cast<unsigned char>(B[1]) == 0xD8 &&
           static_cast<unsigned char>(B[B.size() - 2]) == 0xFF && static_cast<unsigned char>(B[B.size() - 1]) == 0xD9;
}

TEST(ChartServer, ServesEachChartAsGifAndJpegWithExactBodies) {
    SampleCopy Copy;
    RunningServer S(Copy);
    THttpConnection C(S.Port());
    auto Jpeg = C.Request("GET", "/RevenueChart.jpg");
    ASSERT_EQ(Jpeg.Status, 200);
    EXPECT_EQ(Jpeg.Header("Content-Type"), "image/jpeg");
    EXPECT_TRUE(IsCompleteJpeg(Jpeg.Body));
    // A GIF after a larger JPEG carries only the GIF's bytes, and the reverse.
    auto Gif = C.Request("GET", "/RevenueChart.gif");
    ASSERT_EQ(Gif.Status, 200);
    EXPECT_EQ(Gif.Header("Content-Type"), "image/gif");
    EXPECT_EQ(GifSize(Gif.Body), std::make_pair(400, 250));
    EXPECT_EQ(Gif.Body.back(), ';');  // the GIF trailer ends the body
    auto Jpeg2 = C.Request("GET", "/RevenueChart.jpg");
    EXPECT_EQ(Jpeg2.Body, Jpeg.Body);
    auto Gif2 = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Gif2.Body, Gif.Body);  // unchanged chart, identical picture

    // Revalidation: the ETag of the body answers 304 while nothing changed.
    std::string Tag = Gif.Header("ETag");
    ASSERT_FALSE(Tag.empty());
    auto NotModified = C.Request("GET", "/RevenueChart.gif", {{"If-None-Match", Tag}});
    EXPECT_EQ(NotModified.Status, 304);
    EXPECT_TRUE(NotModified.Body.empty());
    EXPECT_EQ(Gif.Header("Cache-Control"), "no-cache");

    auto Index = C.Request("GET", "/");
    EXPECT_EQ(Index.Status, 200);
    EXPECT_NE(Index.Body.find("<img src=\"/RevenueChart.gif\""), std::string::npos);
    EXPECT_EQ(C.Request("GET", "/Nothing.gif").Status, 404);
    EXPECT_EQ(C.Request("GET", "/favicon.ico").Status, 404);
}

TEST(ChartServer, EveryRequestShowsTheDatabaseAsItIsNow) {
    SampleCopy Copy;
    RunningServer S(Copy);
    THttpConnection C(S.Port());
    auto Before = C.Request("GET", "/RevenueChart.gif");
    Copy.Sql("UPDATE sales SET revenue = 60 WHERE month = 'Mar'");
    auto After = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(After.Status, 200);
    EXPECT_NE(After.Body, Before.Body);
}

TEST(ChartServer, RenderFailureAnswers500AndTheServerRecovers) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    ASSERT_EQ(C.Request("GET", "/RevenueChart.gif").Status, 200);
    Copy.Sql("ALTER TABLE sales RENAME TO sales_away");
    auto Failed = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Failed.Status, 500);
    EXPECT_NE(Failed.Header("Content-Type").find("text/plain"), std::string::npos);
    Copy.Sql("ALTER TABLE sales_away RENAME TO sales");
    THttpConnection C2(S.Port());
    auto Ok = C2.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Ok.Status, 200);
    EXPECT_EQ(GifSize(Ok.Body), std::make_pair(400, 250));
}

TEST(ChartServer, ManyConcurrentClientsEachGetACompletePicture) {
    SampleCopy Copy;
    RunningServer S(Copy, 4);
    std::string Reference = THttpConnection(S.Port()).Request("GET", "/RevenueChart.gif").Body;
    std::atomic<int> Good{0};
    std::vector<std::thread> Clients;
    for (int I = 0; I < 24; ++I)
        Clients.emplace_back([&, I] {
            THttpConnection C(S.Port());
            for (int R = 0; R < 4; ++R) {
                auto Reply = C.Request("GET", (I + R) % 2 ? "/RevenueChart.gif" : "/RevenueChart.jpg");
                bool Ok = Reply.Status == 200 &&
                          ((I + R) % 2 ? Reply.Body == Reference : IsCompleteJpeg(Reply.Body));
                if (Ok) ++Good;
            }
        });
    for (auto& T : Clients) T.join();
    EXPECT_EQ(Good.load(), 24 * 4);
}

TEST(ChartServer, ModulesOnSeparateThreadsRenderTheSamePicture) {
    SampleCopy Copy;
    auto Single = LoadForm(Copy.Form());
    auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(Single->FindComponent("RevenueChart"));
    ASSERT_NE(Chart, nullptr);
    pv::TBitmap Reference;
    Reference.Assign(*Chart->GetBMPPicture());

    std::vector<pv::TUniqueComponent<pv::TComponent>> Modules;
    for (int I = 0; I < 8; ++I) Modules.push_back(LoadForm(Copy.Form()));
    std::atomic<int> Same{0};
    std::vector<std::thread> Threads;
    for (auto& M : Modules)
        Threads.emplace_back([&, Module = M.get()] {
            auto* C = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(Module->FindComponent("RevenueChart"));
            bool AllSame = true;
            for (int R = 0; R < 10; ++R) {
                const pv::TBitmap* B = C->GetBMPPicture();
                AllSame = AllSame && B->GetWidth() == Reference.GetWidth() &&
                          std::equal(B->PixelSpan().begin(), B->PixelSpan().end(), Reference.PixelSpan().begin());
            }
            if (AllSame) ++Same;
        });
    for (auto& T : Threads) T.join();
    EXPECT_EQ(Same.load(), 8);
}

// The component's own response steps behind the real adapter.
TEST(ComponentResponse, OnAfterDrawOncePerResponseAndNeverInTheDesigner) {
    pv::TComponent Module(nullptr);
    auto* Chart = new Norq_Plotvane::TNorq_DBPlotvane(&Module);
    Chart->GetChartSeries()->Add(3, "a");
    std::atomic<int> Calls{0};
    Chart->SetOnAfterDraw(pv::TNotifyEvent([&](pv::TObject*) { ++Calls; }));
    pv::THTTPServerOptions O;
    O.Threads = 1;
    O.Log = [](std::string_view) {};
    pv::THTTPServer Server(O, [&](const pv::TWebRequest& Request, pv::TWebResponse& Response) {
        if (Request.GetPath() == "/chart.gif")
            Chart->GetGifResponse(Response);
        else
            Chart->GetJPegResponse(Response);
    });
    Server.Start();
    THttpConnection C(Server.GetPort());
    EXPECT_EQ(C.Request("GET", "/chart.gif").Status, 200);
    EXPECT_EQ(C.Request("GET", "/chart.jpg").Status, 200);
    EXPECT_EQ(Calls.load(), 2);
    Chart->SetDesigning(true);
    EXPECT_EQ(C.Request("GET", "/chart.gif").Status, 200);
    EXPECT_EQ(Calls.load(), 2);
    Server.Stop();
}

TEST(ComponentResponse, StillLoadingAnswersWithTheLastRendering) {
    pv::TComponent Module(nullptr);
    auto* Chart = new Norq_Plotvane::TNorq_DBPlotvane(&Module);
    Chart->GetChartSeries()->Add(3, "a");
    int Calls = 0;
    Chart->SetOnAfterDraw(pv::TNotifyEvent([&](pv::TObject*) { ++Calls; }));
    std::string First, Second;
    pv::TWebResponse R1([&](pv::TWebMessage&& M) { First = M.Body; });
    Chart->GetGifResponse(R1);
    Chart->SetLoading(true);
    Chart->SetWidth(200);  // not rendered while loading
    pv::TWebResponse R2([&](pv::TWebMessage&& M) { Second = M.Body; });
    Chart->GetGifResponse(R2);
    EXPECT_EQ(Second, First);
    EXPECT_EQ(Calls, 2);  // called also when nothing was rendered
    EXPECT_EQ(GifSize(Second).first, 400);
}

}  // namespace
}  // namespace plotvane
