// The chart server against real HTTP clients on a free loopback port, on a
// copy of the sample form and database.

#include "server/ChartServer.h"

#include <gtest/gtest.h>
#include <avif/avif.h>
#include <expat.h>
#include <sqlite3.h>
#include <webp/decode.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <regex>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "component/Norq_Plotvane.h"
#include "host/FormClasses.h"
#include "platform/web/HTTPServer.h"
#include "server/ChartRequest.h"
#include "tests/support/HttpTestClient.h"
#include "tests/support/ThrowMessage.h"

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
    explicit RunningServer(const SampleCopy& Copy, unsigned Threads = 2,
                           const std::function<void(TChartServerOptions&)>& Adjust = {}) {
        TChartServerOptions O;
        O.FormFile = Copy.Form();
        O.LoadModule = [F = Copy.Form()] { return LoadForm(F); };
        O.Http.Threads = Threads;
        O.Http.Log = [this](std::string_view Line) {
            std::lock_guard<std::mutex> Lock(LogLock);
            Log += std::string(Line) + "\n";
        };
        if (Adjust) Adjust(O);
        Server = std::make_unique<TChartServer>(O);
        Server->Start();
    }
    ~RunningServer() { Server->Stop(); }
    std::uint16_t Port() const { return Server->GetPort(); }
    std::string Logged() {
        std::lock_guard<std::mutex> Lock(LogLock);
        return Log;
    }
    std::mutex LogLock;
    std::string Log;
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
    EXPECT_NE(Index.Body.find("<img src=\"/RevenueChart.png\""), std::string::npos);
    EXPECT_EQ(C.Request("GET", "/Nothing.gif").Status, 404);
    EXPECT_EQ(C.Request("GET", "/RevenueChart.txt").Status, 404);
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

std::pair<int, int> PngSize(const std::string& B) {
    if (B.size() < 24 || B.compare(1, 3, "PNG") != 0) return {-1, -1};
    auto U = [&](std::size_t I) { return static_cast<unsigned>(static_cast<unsigned char>(B[I])); };
    auto Be = [&](std::size_t I) { return int(U(I) << 24 | U(I + 1) << 16 | U(I + 2) << 8 | U(I + 3)); };
    return {Be(16), Be(20)};
}

// The root element's attributes of an SVG document, parsed as XML; empty
// when the document is not well-formed.
std::map<std::string, std::string> SvgRoot(const std::string& Doc) {
    struct TState {
        std::map<std::string, std::string> Root;
        bool Seen = false;
    } State;
    XML_Parser P = XML_ParserCreate(nullptr);
    XML_SetUserData(P, &State);
    XML_SetStartElementHandler(P, [](void* Data, const XML_Char* Name, const XML_Char** Attrs) {
        auto* S = static_cast<TState*>(Data);
        if (S->Seen) return;
        S->Seen = true;
        S->Root["<name>"] = Name;
        for (int I = 0; Attrs[I]; I += 2) S->Root[Attrs[I]] = Attrs[I + 1];
    });
    const bool Ok = XML_Parse(P, Doc.data(), static_cast<int>(Doc.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(P);
    return Ok ? State.Root : std::map<std::string, std::string>{};
}

// The first page's MediaBox of a PDF, as "W H".
std::string PdfPageSize(const std::string& Doc) {
    std::smatch M;
    if (Doc.rfind("%PDF-", 0) != 0 || !std::regex_search(Doc, M, std::regex(R"(/MediaBox \[ ?0 0 ([0-9.]+) ([0-9.]+) ?\])")))
        return {};
    return M[1].str() + " " + M[2].str();
}

std::string Gunzip(const std::string& In) {
    z_stream Z{};
    inflateInit2(&Z, 15 + 16);
    std::string Out(In.size() * 20 + 1024, '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
    Z.avail_in = static_cast<uInt>(In.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = static_cast<uInt>(Out.size());
    const int Rc = inflate(&Z, Z_FINISH);
    Out.resize(Z.total_out);
    inflateEnd(&Z);
    return Rc == Z_STREAM_END ? Out : std::string();
}

// The pixel (X, Y) of an 8-bit RGB or RGBA PNG as 0xRRGGBBAA (RGB: alpha
// 255); 0 when the picture cannot be read.
std::uint32_t PngPixel(const std::string& B, int X, int Y) {
    auto [W, H] = PngSize(B);
    if (W <= X || H <= Y || B.size() < 33 || B[24] != 8 || (B[25] != 2 && B[25] != 6)) return 0;
    const std::size_t Channels = B[25] == 6 ? 4 : 3, Row = 1 + Channels * std::size_t(W);
    std::string Packed;
    for (std::size_t At = 8; At + 12 <= B.size();) {
        const auto U = [&](std::size_t I) { return std::size_t(static_cast<unsigned char>(B[I])); };
        const std::size_t Length = U(At) << 24 | U(At + 1) << 16 | U(At + 2) << 8 | U(At + 3);
        if (B.compare(At + 4, 4, "IDAT") == 0) Packed += B.substr(At + 8, Length);
        At += 12 + Length;
    }
    std::string Raw(Row * std::size_t(H), '\0');
    uLongf Size = static_cast<uLongf>(Raw.size());
    if (uncompress(reinterpret_cast<Bytef*>(Raw.data()), &Size, reinterpret_cast<const Bytef*>(Packed.data()),
                   static_cast<uLong>(Packed.size())) != Z_OK || Size != Raw.size())
        return 0;
    // Undo the filters row by row (None, Sub, Up, Average, Paeth).
    std::vector<std::uint8_t> Prev(Row - 1, 0), Cur(Row - 1);
    for (int R = 0; R <= Y; ++R) {
        const auto* In = reinterpret_cast<const std::uint8_t*>(Raw.data()) + std::size_t(R) * Row;
        for (std::size_t I = 0; I + 1 < Row; ++I) {
            const int A = I >= Channels ? Cur[I - Channels] : 0, Up = Prev[I], C = I >= Channels ? Prev[I - Channels] : 0;
            const int P = A + Up - C, Pa = std::abs(P - A), Pb = std::abs(P - Up), Pc = std::abs(P - C);
            const int Predicted = In[0] == 1 ? A : In[0] == 2 ? Up : In[0] == 3 ? (A + Up) / 2
                                  : In[0] == 4 ? (Pa <= Pb && Pa <= Pc ? A : Pb <= Pc ? Up : C) : 0;
            Cur[I] = static_cast<std::uint8_t>(In[1 + I] + Predicted);
        }
        Prev.swap(Cur);
    }
    const std::uint8_t* Px = Prev.data() + Channels * std::size_t(X);
    return std::uint32_t(Px[0]) << 24 | std::uint32_t(Px[1]) << 16 | std::uint32_t(Px[2]) << 8 |
           (Channels == 4 ? Px[3] : 0xFFu);
}

// Runs a shell command as another process, as a database's other users do.
void Shell(const std::string& Command) { ASSERT_EQ(std::system(Command.c_str()), 0) << Command; }

TEST(ChartServer, EveryFormatAtEachScaleHasTheChartsSize) {
    SampleCopy Copy;
    RunningServer S(Copy);
    THttpConnection C(S.Port());
    for (double Scale : {1.0, 1.5, 2.0}) {
        const int W = int(std::lround(400 * Scale)), H = int(std::lround(250 * Scale));
        const std::string Q = Scale == 1.0 ? "" : "?scale=" + std::to_string(Scale).substr(0, 3);
        auto Gif = C.Request("GET", "/RevenueChart.gif" + Q);
        ASSERT_EQ(Gif.Status, 200);
        EXPECT_EQ(GifSize(Gif.Body), std::make_pair(W, H)) << Q;
        auto Png = C.Request("GET", "/RevenueChart.png" + Q);
        ASSERT_EQ(Png.Status, 200);
        EXPECT_EQ(Png.Header("Content-Type"), "image/png");
        EXPECT_EQ(PngSize(Png.Body), std::make_pair(W, H)) << Q;
        auto Jpeg = C.Request("GET", "/RevenueChart.jpg" + Q);
        EXPECT_TRUE(IsCompleteJpeg(Jpeg.Body));

        auto Svg = C.Request("GET", "/RevenueChart.svg" + Q);
        ASSERT_EQ(Svg.Status, 200);
        EXPECT_EQ(Svg.Header("Content-Type"), "image/svg+xml");
        auto Root = SvgRoot(Svg.Body);
        EXPECT_EQ(Root["<name>"], "svg");
        EXPECT_EQ(Root["width"], std::to_string(W) + "px");
        EXPECT_EQ(Root["height"], std::to_string(H) + "px");
        EXPECT_EQ(Root["viewBox"], "0 0 " + std::to_string(W) + " " + std::to_string(H));
        auto Pdf = C.Request("GET", "/RevenueChart.pdf" + Q);
        ASSERT_EQ(Pdf.Status, 200);
        EXPECT_EQ(Pdf.Header("Content-Type"), "application/pdf");
        EXPECT_EQ(PdfPageSize(Pdf.Body), std::to_string(W) + " " + std::to_string(H));
    }
    // Compressed SVG for clients that accept it, with its own tag.
    auto Plain = C.Request("GET", "/RevenueChart.svg");
    auto Packed = C.Request("GET", "/RevenueChart.svg", {{"Accept-Encoding", "gzip, deflate"}});
    EXPECT_EQ(Packed.Header("Content-Encoding"), "gzip");
    EXPECT_EQ(Packed.Header("Vary"), "Accept-Encoding");
    EXPECT_LT(Packed.Body.size(), Plain.Body.size() / 2);
    EXPECT_TRUE(Gunzip(Packed.Body) == Plain.Body);
    EXPECT_NE(Packed.Header("ETag"), Plain.Header("ETag"));
    EXPECT_FALSE(Plain.HasHeader("Content-Encoding"));
}

TEST(ChartServer, UrlParametersSetSizeScaleAndDeclaredSqlParameters) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);  // one module: every request reuses it
    THttpConnection C(S.Port());
    auto All = C.Request("GET", "/RevenueChart.png");
    auto Eu = C.Request("GET", "/RevenueChart.png?width=800&scale=2&region=EU");
    ASSERT_EQ(Eu.Status, 200) << Eu.Body;
    EXPECT_EQ(PngSize(Eu.Body), std::make_pair(1600, 500));
    auto EuSmall = C.Request("GET", "/RevenueChart.png?region=EU");
    EXPECT_EQ(PngSize(EuSmall.Body), std::make_pair(400, 250));
    EXPECT_TRUE(EuSmall.Body != All.Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?region=US").Body != EuSmall.Body);
    // Nothing of a request stays with the module: not the size, the scale
    // nor the region.
    auto Again = C.Request("GET", "/RevenueChart.png?width=300");
    EXPECT_EQ(PngSize(Again.Body), std::make_pair(300, 250));
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png").Body == All.Body);

    // A value that looks like SQL is only data.
    auto Odd = C.Request("GET", "/RevenueChart.gif?region=x%27%20OR%201%3D1--");
    EXPECT_EQ(Odd.Status, 200);

    struct TCase {
        const char* Query;
        const char* Says;
    };
    for (const TCase& T : std::initializer_list<TCase>{
             {"width=0", "width='0' is out of range: it must be a whole number in 1..16384"},
             {"width=12x", "width='12x' is not a number: it must be a whole number in 1..16384"},
             {"height=20000", "height='20000' is out of range: it must be a whole number in 1..16384"},
             {"scale=0.5", "scale='0.5' is out of range: it must be a number in 1..4"},
             {"scale=4.5", "scale='4.5'"},
             {"scale=nan", "scale='nan' is not a number: it must be a number in 1..4"},
             {"height=abc", "height='abc' is not a number"},
             {"width=99999999999", "width='99999999999' is out of range"},
             {"scale=1e999", "scale='1e999' is out of range"},
             {"region=ABCDEFGHIJKLMNOPQ", "region='ABCDEFGHIJKLMNOPQ' is out of range: it must be text of at most 16 bytes"},
             {"colour=red", "Unknown parameter 'colour': RevenueChart takes width, height, scale, devicePixelRatio, "
                            "background, format, quality, theme, locale, region"},
             {"width=100&width=200", "'width' is given more than once"},
             {"width=16384&height=16384", "more than 16777216 pixels"},
         }) {
        auto R = C.Request("GET", std::string("/RevenueChart.gif?") + T.Query);
        EXPECT_EQ(R.Status, 400) << T.Query;
        EXPECT_NE(R.Body.find(T.Says), std::string::npos) << T.Query << ": " << R.Body;
    }
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.gif").Body == C.Request("GET", "/RevenueChart.gif").Body);
}

// background=, devicePixelRatio= and format=: each changes the picture as
// it says and the cache key with it, is undone after the request, and is
// refused with the value named where it cannot be.
TEST(ChartServer, BackgroundDevicePixelRatioAndFormatParameters) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);  // one module: what a request sets must not stay
    THttpConnection C(S.Port());
    auto Plain = C.Request("GET", "/RevenueChart.png");
    ASSERT_EQ(Plain.Status, 200);
    EXPECT_EQ(PngPixel(Plain.Body, 0, 0), 0xFFFFFFFFu);
    auto Red = C.Request("GET", "/RevenueChart.png?background=%23ff0000");
    ASSERT_EQ(Red.Status, 200) << Red.Body;
    EXPECT_EQ(PngPixel(Red.Body, 0, 0), 0xFF0000FFu);
    EXPECT_NE(Red.Header("ETag"), Plain.Header("ETag"));
    for (const char* Same : {"red", "%23F00", "clRed", "%24000000FF"})
        EXPECT_TRUE(C.Request("GET", std::string("/RevenueChart.png?background=") + Same).Body == Red.Body) << Same;
    EXPECT_EQ(PngPixel(C.Request("GET", "/RevenueChart.png?background=CornflowerBlue").Body, 399, 249), 0x6495EDFFu);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png").Body == Plain.Body);

    // Transparent: the corners see through, the bars and text do not.
    auto Clear = C.Request("GET", "/RevenueChart.png?background=transparent");
    ASSERT_EQ(Clear.Status, 200) << Clear.Body;
    EXPECT_EQ(PngPixel(Clear.Body, 0, 0) & 0xFF, 0u);
    EXPECT_EQ(PngPixel(Clear.Body, 399, 249) & 0xFF, 0u);
    int Opaque = 0;
    for (int X = 0; X < 400; X += 3) Opaque += (PngPixel(Clear.Body, X, 125) & 0xFF) == 0xFF;
    EXPECT_GT(Opaque, 10);
    EXPECT_NE(Clear.Header("ETag"), Plain.Header("ETag"));
    auto ClearSvg = C.Request("GET", "/RevenueChart.svg?background=transparent");
    ASSERT_EQ(ClearSvg.Status, 200) << ClearSvg.Body;
    EXPECT_EQ(SvgRoot(ClearSvg.Body)["<name>"], "svg");
    EXPECT_NE(ClearSvg.Body, C.Request("GET", "/RevenueChart.svg").Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png").Body == Plain.Body);

    // Another name for the scale, and another way to give the format.
    auto Dpr = C.Request("GET", "/RevenueChart.png?devicePixelRatio=2");
    ASSERT_EQ(Dpr.Status, 200) << Dpr.Body;
    EXPECT_EQ(PngSize(Dpr.Body), std::make_pair(800, 500));
    EXPECT_TRUE(Dpr.Body == C.Request("GET", "/RevenueChart.png?scale=2").Body);
    auto ByParam = C.Request("GET", "/RevenueChart?format=png");
    ASSERT_EQ(ByParam.Status, 200) << ByParam.Body;
    EXPECT_EQ(ByParam.Header("Content-Type"), "image/png");
    EXPECT_TRUE(ByParam.Body == Plain.Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart?format=jpeg").Body == C.Request("GET", "/RevenueChart.jpg").Body);
    EXPECT_EQ(C.Request("GET", "/RevenueChart.png?format=png").Status, 200);

    struct TCase {
        const char* Target;
        const char* Says;
    };
    for (const TCase& T : std::initializer_list<TCase>{
             {"/RevenueChart.gif?format=png",
              "format='png' asks for another format than the path's .gif: give the format once, as "
              "/RevenueChart.png or /RevenueChart?format=png"},
             {"/RevenueChart?format=bmp", "format='bmp' is not a format: it must be gif, jpg, png, svg, pdf, webp, avif, map or json"},
             {"/RevenueChart.gif?background=transparent",
              "background='transparent' is not possible for GIF: only PNG, WebP, AVIF and SVG have a transparent "
              "background"},
             {"/RevenueChart?format=jpg&background=transparent", "not possible for JPEG"},
             {"/RevenueChart.pdf?background=transparent", "not possible for PDF"},
             {"/RevenueChart.png?background=nosuch",
              "background='nosuch' is not a colour: it must be a colour name (clRed, red, cornflowerblue), #rrggbb, "
              "#rgb or $00BBGGRR, or transparent"},
             {"/RevenueChart.png?background=%2312345", "background='#12345' is not a colour"},
             {"/RevenueChart.png?scale=2&devicePixelRatio=2", "scale and devicePixelRatio are both given"},
             {"/RevenueChart.png?devicePixelRatio=9", "devicePixelRatio='9' is out of range: it must be a number"},
         }) {
        auto R = C.Request("GET", T.Target);
        EXPECT_EQ(R.Status, 400) << T.Target;
        EXPECT_NE(R.Body.find(T.Says), std::string::npos) << T.Target << ": " << R.Body;
    }
}

// The WebP picture of a body as 0xRRGGBBAA words (PngPixel's order); empty
// when libwebp cannot read it.
std::vector<std::uint32_t> WebPPixels(const std::string& B, int& W, int& H) {
    std::vector<std::uint32_t> Out;
    std::uint8_t* Rgba = WebPDecodeRGBA(reinterpret_cast<const std::uint8_t*>(B.data()), B.size(), &W, &H);
    if (!Rgba) return Out;
    for (int I = 0; I < W * H; ++I)
        Out.push_back(std::uint32_t(Rgba[4 * I]) << 24 | Rgba[4 * I + 1] << 16 | Rgba[4 * I + 2] << 8 | Rgba[4 * I + 3]);
    WebPFree(Rgba);
    return Out;
}

std::pair<int, int> AvifSize(const std::string& B) {
    std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> D(avifDecoderCreate(), &avifDecoderDestroy);
    if (avifDecoderSetIOMemory(D.get(), reinterpret_cast<const std::uint8_t*>(B.data()), B.size()) != AVIF_RESULT_OK ||
        avifDecoderParse(D.get()) != AVIF_RESULT_OK || avifDecoderNextImage(D.get()) != AVIF_RESULT_OK)
        return {-1, -1};
    return {int(D->image->width), int(D->image->height)};
}

// WebP and AVIF: exact and lossy pictures, kept and revalidated like the
// other formats, with their own quality= and the same refusals.
TEST(ChartServer, WebPAndAvifAreServedCachedAndChecked) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    auto Png = C.Request("GET", "/RevenueChart.png");
    auto Webp = C.Request("GET", "/RevenueChart.webp");
    ASSERT_EQ(Webp.Status, 200) << Webp.Body;
    EXPECT_EQ(Webp.Header("Content-Type"), "image/webp");
    int W = 0, H = 0;
    const std::vector<std::uint32_t> Pixels = WebPPixels(Webp.Body, W, H);
    ASSERT_EQ(std::make_pair(W, H), std::make_pair(400, 250));
    for (int Y = 0; Y < 250; Y += 31)
        for (int X = 0; X < 400; X += 7) ASSERT_EQ(Pixels[Y * 400 + X], PngPixel(Png.Body, X, Y)) << X << "," << Y;

    // Kept: no rendering for the same request again, 304 for its tag.
    const std::uint64_t Renders = S.Server->RenderCount();
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.webp").Body == Webp.Body);
    EXPECT_EQ(C.Request("GET", "/RevenueChart.webp", {{"If-None-Match", Webp.Header("ETag")}}).Status, 304);
    auto Avif = C.Request("GET", "/RevenueChart.avif?width=300");
    ASSERT_EQ(Avif.Status, 200) << Avif.Body;
    EXPECT_EQ(Avif.Header("Content-Type"), "image/avif");
    EXPECT_EQ(AvifSize(Avif.Body), std::make_pair(300, 250));
    EXPECT_EQ(C.Request("GET", "/RevenueChart.avif?width=300", {{"If-None-Match", Avif.Header("ETag")}}).Status, 304);
    // AVIF's default quality spelled out is the same answer.
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.avif?width=300&quality=60").Body == Avif.Body);
    EXPECT_EQ(S.Server->RenderCount(), Renders + 1);

    auto Lossy = C.Request("GET", "/RevenueChart.webp?quality=50");
    ASSERT_EQ(Lossy.Status, 200);
    EXPECT_NE(Lossy.Header("ETag"), Webp.Header("ETag"));
    EXPECT_EQ(WebPPixels(Lossy.Body, W, H).size(), 400u * 250u);
    auto Clear = C.Request("GET", "/RevenueChart.webp?background=transparent");
    ASSERT_EQ(Clear.Status, 200) << Clear.Body;
    EXPECT_EQ(WebPPixels(Clear.Body, W, H)[0] & 0xFF, 0u);

    for (const auto& [Target, Says] : std::initializer_list<std::pair<const char*, const char*>>{
             {"/RevenueChart.webp?quality=0", "Parameter quality='0' is out of range: it must be a whole number in 1..100"},
             {"/RevenueChart.avif?quality=101", "quality='101' is out of range"},
             {"/RevenueChart.webp?quality=high", "quality='high' is not a number"},
             {"/RevenueChart.png?quality=50", "quality=50 is not possible for PNG: only WebP and AVIF take a quality"},
             {"/RevenueChart.webp?width=16384&height=16384", "give a picture of more than 16777216 pixels"},
         }) {
        auto R = C.Request("GET", Target);
        EXPECT_EQ(R.Status, 400) << Target;
        EXPECT_NE(R.Body.find(Says), std::string::npos) << Target << ": " << R.Body;
    }
}

// theme=: its own answer in every format (the GIF with the theme's exact
// background colour), undone after the request, refused by name otherwise.
TEST(ChartServer, ThemeParameterChoosesTheLookForOneRequest) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    auto Plain = C.Request("GET", "/RevenueChart.png");
    auto Dark = C.Request("GET", "/RevenueChart.png?theme=dark");
    ASSERT_EQ(Dark.Status, 200) << Dark.Body;
    EXPECT_EQ(PngPixel(Dark.Body, 0, 0), 0x1E2127FFu);
    EXPECT_NE(Dark.Header("ETag"), Plain.Header("ETag"));
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?theme=classic").Body == Plain.Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?width=401").Body !=
                C.Request("GET", "/RevenueChart.png?width=401&theme=modern").Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png").Body == Plain.Body) << "the theme stays with its request";
    auto Gif = C.Request("GET", "/RevenueChart.gif?theme=dark");
    ASSERT_EQ(Gif.Status, 200);
    const fs::path File = Copy.Dir / "dark.gif";
    std::ofstream(File, std::ios::binary) << Gif.Body;
    std::FILE* P = popen(("convert '" + File.string() + "' -format '%[hex:p{0,0}] %[hex:p{399,249}]' info:").c_str(), "r");
    ASSERT_NE(P, nullptr);
    char Seen[64] = "";
    EXPECT_NE(std::fgets(Seen, sizeof Seen, P), nullptr);
    pclose(P);
    EXPECT_STREQ(Seen, "1E2127 1E2127");
    auto Bad = C.Request("GET", "/RevenueChart.png?theme=Dark");
    EXPECT_EQ(Bad.Status, 400);
    EXPECT_EQ(Bad.Body, "Parameter theme='Dark' is not a theme: it must be classic, modern or dark\n");
}

TEST(ChartServer, AddressWithoutExtensionAnswersTheBestFormatTheClientAccepts) {
    // The browsers' own headers first.
    for (const auto& [Accept, Format] : std::initializer_list<std::pair<const char*, const char*>>{
             {"image/avif,image/webp,image/apng,image/svg+xml,image/*,*/*;q=0.8", "avif"},
             {"image/webp,image/avif,image/jxl,image/heic,image/png,image/svg+xml,image/*;q=0.8,*/*;q=0.5", "avif"},
             {"image/webp,*/*", "webp"},
             {"image/avif;q=0.5, image/webp;q=0.9", "webp"},
             {"IMAGE/AVIF ; q=1.0", "avif"},
             {"image/avif;q=0, image/webp;q=0, image/*", "png"},
             {"image/avif;q=0.001, image/png;q=0.002", "png"},
             {"image/avif;q=2, image/webp;q=x, image/webp;q=0.5", "webp"},  // malformed q-values say nothing
             {"*/*", "png"},  // AVIF and WebP only when named
             {"image/*;q=0.2,image/webp;q=0.1", "png"},
             {"text/html", "png"},  // nothing acceptable: the format every browser shows
             {"image/png;q=0", "png"},
             {"", "png"},
         })
        EXPECT_EQ(NegotiateFormat(Accept), Format) << Accept;

    SampleCopy Copy;
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    auto Avif = C.Request("GET", "/RevenueChart?quality=40", {{"Accept", "image/avif,image/webp,*/*"}});
    ASSERT_EQ(Avif.Status, 200) << Avif.Body;
    EXPECT_EQ(Avif.Header("Content-Type"), "image/avif");
    EXPECT_EQ(Avif.Header("Vary"), "Accept");
    EXPECT_TRUE(Avif.Body == C.Request("GET", "/RevenueChart.avif?quality=40").Body);
    auto Png = C.Request("GET", "/RevenueChart?quality=40");  // no Accept; the quality is dropped for PNG
    ASSERT_EQ(Png.Status, 200) << Png.Body;
    EXPECT_EQ(Png.Header("Content-Type"), "image/png");
    EXPECT_EQ(Png.Header("Vary"), "Accept");
    EXPECT_TRUE(Png.Body == C.Request("GET", "/RevenueChart.png").Body);
    // Revalidated in the format negotiated again; format= is no negotiation.
    EXPECT_EQ(C.Request("GET", "/RevenueChart?quality=40", {{"If-None-Match", Png.Header("ETag")}}).Status, 304);
    auto Named = C.Request("GET", "/RevenueChart?format=webp", {{"Accept", "image/avif"}});
    EXPECT_EQ(Named.Header("Content-Type"), "image/webp");
    EXPECT_FALSE(Named.HasHeader("Vary"));
}

// locale= writes the chart's numbers as the locale does, for that request
// only; both spellings of a locale share one answer, and an unknown one is
// refused by name.
TEST(ChartServer, LocaleParameterWritesNumbersInTheLocale) {
    SampleCopy Copy;
    {
        std::ifstream In(Copy.Form());
        std::string Form((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        const std::size_t At = Form.find("ValueFormat = '#,##0.###'");
        ASSERT_NE(At, std::string::npos);
        Form.replace(At, 25, "ValueFormat = '#,##0.00'");
        std::ofstream(Copy.Form()) << Form;
    }
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    auto Plain = C.Request("GET", "/RevenueChart.png");
    auto German = C.Request("GET", "/RevenueChart.png?locale=de-DE");
    ASSERT_EQ(German.Status, 200) << German.Body;
    EXPECT_NE(German.Header("ETag"), Plain.Header("ETag"));
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?locale=de_DE").Body == German.Body);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png").Body == Plain.Body);
    auto Bad = C.Request("GET", "/RevenueChart.png?locale=xx-YY");
    EXPECT_EQ(Bad.Status, 400);
    EXPECT_NE(Bad.Body.find("locale='xx-YY' is not a known locale: give a language tag such as 'de-DE'"),
              std::string::npos)
        << Bad.Body;
}

// A request's key must tell its values apart however they are spelled: a
// text parameter holding a newline and "name=" is not a second parameter, and
// scales that differ in their sixth digit give pictures of different sizes.
TEST(ChartServer, RequestsWithDifferentValuesNeverShareAnAnswer) {
    SampleCopy Copy;
    {
        std::ifstream In(Copy.Form());
        std::string Form((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        const auto Replace = [&](const std::string& From, const std::string& To) {
            const std::size_t At = Form.find(From);
            ASSERT_NE(At, std::string::npos) << From;
            Form.replace(At, From.size(), To);
        };
        Replace("'WHERE :region IN (''ALL'', region)'", "'WHERE :region IN (''ALL'', region) AND month_no >= :from_month'");
        Replace("'region:text(16)=ALL')", "'region:text(16)=ALL'\n      'from_month:integer(1..12)=1')");
        std::ofstream(Copy.Form()) << Form;
    }
    for (std::size_t CacheBytes : {std::size_t{64} << 20, std::size_t{0}}) {
        RunningServer S(Copy, 1, [&](TChartServerOptions& O) { O.CacheBytes = CacheBytes; });
        THttpConnection C(S.Port());
        auto Smuggled = C.Request("GET", "/RevenueChart.png?region=EU%0Afrom_month%3D3");
        ASSERT_EQ(Smuggled.Status, 200) << Smuggled.Body;
        auto Two = C.Request("GET", "/RevenueChart.png?region=EU&from_month=3");
        ASSERT_EQ(Two.Status, 200) << Two.Body;
        EXPECT_TRUE(Two.Body != Smuggled.Body) << "cache " << CacheBytes;
        EXPECT_NE(Two.Header("ETag"), Smuggled.Header("ETag"));
        // The same typed value, spelled otherwise, is the same chart.
        EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?from_month=03&region=EU").Body == Two.Body);
        EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?region=EU%0Afrom_month%3D3").Body == Smuggled.Body);

        auto Narrow = C.Request("GET", "/RevenueChart.png?width=1000&scale=1.000499");
        auto Wide = C.Request("GET", "/RevenueChart.png?width=1000&scale=1.0005");
        EXPECT_EQ(PngSize(Narrow.Body).first, 1000);
        EXPECT_EQ(PngSize(Wide.Body).first, 1001);
    }
    // A long value is quoted in part, with its length.
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    auto Long = C.Request("GET", "/RevenueChart.png?region=" + std::string(8000, 'x'));
    EXPECT_EQ(Long.Status, 400);
    EXPECT_NE(Long.Body.find("region='" + std::string(64, 'x') + "...' (8000 bytes) is out of range"), std::string::npos)
        << Long.Body.substr(0, 200);
    EXPECT_LT(Long.Body.size(), 300u);
}

TEST(ChartServer, CachedAnswersNeedNoRenderAndChangesShowAtTheNextRequest) {
    SampleCopy Copy;
    RunningServer S(Copy);
    THttpConnection C(S.Port());
    auto First = C.Request("GET", "/RevenueChart.gif");
    const std::uint64_t Renders = S.Server->RenderCount();
    auto Second = C.Request("GET", "/RevenueChart.gif");
    EXPECT_TRUE(Second.Body == First.Body);
    EXPECT_EQ(S.Server->RenderCount(), Renders);
    auto NotModified = C.Request("GET", "/RevenueChart.gif", {{"If-None-Match", First.Header("ETag")}});
    EXPECT_EQ(NotModified.Status, 304);
    EXPECT_EQ(S.Server->RenderCount(), Renders);
    // Each size is its own answer.
    C.Request("GET", "/RevenueChart.gif?width=500");
    EXPECT_EQ(S.Server->RenderCount(), Renders + 1);

    // Another process changes the data: the next answer shows it.
    const std::string Db = (Copy.Dir / "sales.db").string();
    Shell("sqlite3 '" + Db + "' \"UPDATE sales SET revenue = 40 WHERE month = 'Mar'\"");
    auto Changed = C.Request("GET", "/RevenueChart.gif", {{"If-None-Match", First.Header("ETag")}});
    EXPECT_EQ(Changed.Status, 200);
    EXPECT_TRUE(Changed.Body != First.Body);

    // The file is replaced by another one under the same name.
    const std::string Other = (Copy.Dir / "other.db").string();
    Shell("cp '" + Db + "' '" + Other + "' && sqlite3 '" + Other + "' \"UPDATE sales SET revenue = -7\" && mv '" +
          Other + "' '" + Db + "'");
    auto Replaced = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Replaced.Status, 200);
    EXPECT_TRUE(Replaced.Body != Changed.Body);
    THttpConnection C2(S.Port());  // the other worker's module too
    EXPECT_TRUE(C2.Request("GET", "/RevenueChart.gif").Body == Replaced.Body);

    // Deleted: never the old picture, and the reason is logged.
    Shell("rm '" + Db + "'");
    auto Gone = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Gone.Status, 503);
    EXPECT_NE(S.Logged().find("SalesQuery: database file \"" + Db + "\" cannot be read"), std::string::npos)
        << S.Logged();
    auto Health = C.Request("GET", "/healthz");
    EXPECT_EQ(Health.Status, 503);
    EXPECT_NE(Health.Body.find("SalesQuery"), std::string::npos);

    // Back again: served from the new file.
    fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.db", Copy.Dir / "sales.db");
    auto Back = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Back.Status, 200);
    EXPECT_TRUE(Back.Body == First.Body);
    EXPECT_EQ(C.Request("GET", "/healthz").Status, 200);
}

TEST(ChartServer, WritesByOthersWhileServingNeverFailARequest) {
    SampleCopy Copy;
    RunningServer S(Copy);
    std::atomic<bool> Stop{false};
    std::thread Writer([&] {
        sqlite3* Db = nullptr;
        sqlite3_open((Copy.Dir / "sales.db").string().c_str(), &Db);
        sqlite3_busy_timeout(Db, 2000);
        for (int I = 0; !Stop; ++I) {
            const std::string Sql = "UPDATE sales SET revenue = " + std::to_string(I % 9) + " WHERE month_no = 3";
            sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, nullptr);
            // A busy writer, not one that never lets go: a rollback-journal
            // database cannot serve readers under back-to-back writes.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        sqlite3_close(Db);
    });
    THttpConnection C(S.Port());
    int Good = 0;
    for (int I = 0; I < 40; ++I) Good += C.Request("GET", I % 2 ? "/RevenueChart.gif" : "/RevenueChart.svg").Status == 200;
    Stop = true;
    Writer.join();
    EXPECT_EQ(Good, 40) << S.Logged();
}

TEST(ChartServer, NoRefreshKeepsTheRecordsReadAtStart) {
    SampleCopy Copy;
    RunningServer S(Copy, 1, [](TChartServerOptions& O) { O.RefreshData = false; });
    THttpConnection C(S.Port());
    auto Before = C.Request("GET", "/RevenueChart.gif");
    Copy.Sql("UPDATE sales SET revenue = 60 WHERE month = 'Mar'");
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.gif").Body == Before.Body);
}

TEST(ChartServer, CacheIsBoundedInBytes) {
    SampleCopy Copy;
    RunningServer S(Copy, 1, [](TChartServerOptions& O) { O.CacheBytes = 12000; });
    THttpConnection C(S.Port());
    // Each GIF is a few kilobytes: the oldest go when more arrive.
    for (int W = 300; W < 310; ++W) C.Request("GET", "/RevenueChart.gif?width=" + std::to_string(W));
    const std::uint64_t Renders = S.Server->RenderCount();
    C.Request("GET", "/RevenueChart.gif?width=309");
    EXPECT_EQ(S.Server->RenderCount(), Renders);
    C.Request("GET", "/RevenueChart.gif?width=300");
    EXPECT_EQ(S.Server->RenderCount(), Renders + 1);
}

TEST(ChartServer, IndexPageFaviconAndAccessLog) {
    SampleCopy Copy;
    auto Access = std::make_shared<std::vector<std::string>>();
    auto AccessLock = std::make_shared<std::mutex>();
    RunningServer S(Copy, 2, [&](TChartServerOptions& O) {
        O.Http.AccessLog = [Access, AccessLock](std::string_view Line) {
            std::lock_guard<std::mutex> Lock(*AccessLock);
            Access->emplace_back(Line);
        };
    });
    THttpConnection C(S.Port());
    auto Index = C.Request("GET", "/");
    EXPECT_EQ(Index.Status, 200);
    EXPECT_NE(Index.Body.find("<h1>sales.form</h1>"), std::string::npos);
    EXPECT_EQ(Index.Body.find(Copy.Dir.string()), std::string::npos);
    EXPECT_NE(Index.Body.find("name=\"viewport\""), std::string::npos);
    EXPECT_NE(Index.Body.find("max-width:100%"), std::string::npos);
    EXPECT_NE(Index.Body.find("srcset=\"/RevenueChart.png?scale=2 2x\" width=\"400\" height=\"250\""), std::string::npos);
    EXPECT_NE(Index.Body.find(" alt=\"Monthly revenue. Bar chart of 12 points in the series Series1, values from -5 to "
                              "30.\""),
              std::string::npos)
        << Index.Body;
    for (const char* Ext : {".gif\"", ".jpg\"", ".png\"", ".svg\"", ".pdf\""})
        EXPECT_NE(Index.Body.find(std::string("href=\"/RevenueChart") + Ext), std::string::npos) << Ext;
    EXPECT_NE(Index.Body.find("<code>&lt;img src=&quot;/RevenueChart.png&quot;"), std::string::npos);
    auto Icon = C.Request("GET", "/favicon.ico");
    EXPECT_EQ(Icon.Status, 200);
    EXPECT_EQ(PngSize(Icon.Body), std::make_pair(16, 16));
    EXPECT_EQ(C.Request("GET", "/healthz").Body, "ok\n");
    C.Request("GET", "/RevenueChart.gif?scale=2");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::lock_guard<std::mutex> Lock(*AccessLock);
    ASSERT_EQ(Access->size(), 4u);
    const std::regex Clf(R"re(^127\.0\.0\.1 - - \[\d{2}/[A-Z][a-z]{2}/\d{4}:\d{2}:\d{2}:\d{2} \+0000\] "GET (\S+) HTTP/1\.1" (\d{3}) (\d+) "-" "-" \d+\.\d{3}$)re");
    std::smatch M;
    ASSERT_TRUE(std::regex_match((*Access)[3], M, Clf)) << (*Access)[3];
    EXPECT_EQ(M[1], "/RevenueChart.gif?scale=2");
    EXPECT_EQ(M[2], "200");
}

TEST(ChartServer, ChartsOverTheRowLimitAre413UntilTheirDataFits) {
    SampleCopy Copy;  // the query gives a row a month: 12
    RunningServer S(Copy, 1, [](TChartServerOptions& O) { O.MaxRows = 11; });
    THttpConnection C(S.Port());
    // Read at load: let go, and refused at the request.
    auto Refused = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Refused.Status, 413);
    EXPECT_EQ(Refused.Body,
              "Content Too Large: chart RevenueChart: SalesQuery: the data holds more than 11 records; at most 11 "
              "are read (the server's row limit)\n");
    EXPECT_NE(S.Logged().find("413: RevenueChart: SalesQuery: the data holds more than 11 records"), std::string::npos)
        << S.Logged();
    // Exactly the limit is drawn; one more, read again, is refused again.
    Copy.Sql("DELETE FROM sales WHERE month = 'Dec'");
    auto Fits = C.Request("GET", "/RevenueChart.gif");
    EXPECT_EQ(Fits.Status, 200);
    EXPECT_EQ(GifSize(Fits.Body), std::make_pair(400, 250));
    Copy.Sql("INSERT INTO sales (month_no, month, region, revenue) VALUES (12, 'Dec', 'EU', 5)");
    EXPECT_EQ(C.Request("GET", "/RevenueChart.gif").Status, 413);
    EXPECT_EQ(C.Request("GET", "/RevenueChart.gif?region=NOWHERE").Status, 200);  // no rows
}

// A render gate: renders of a chart at least MinWidth wide wait in
// OnAfterDraw until the test opens it.
struct RenderGate {
    std::mutex Lock;
    std::condition_variable Changed;
    int Entered = 0;
    bool Open = false;
    void Pass() {
        std::unique_lock L(Lock);
        ++Entered;
        Changed.notify_all();
        Changed.wait(L, [&] { return Open; });
    }
    // Waits (at most 20 s, so that a fault fails instead of hanging) for N renders at the gate.
    bool WaitFor(int N) {
        std::unique_lock L(Lock);
        return Changed.wait_for(L, std::chrono::seconds(20), [&] { return Entered >= N; });
    }
    void Release() {
        std::lock_guard L(Lock);
        Open = true;
        Changed.notify_all();
    }
};

TEST(ChartServer, BigRendersRunBesideCachedAnswersWithinTheirBudget) {
    SampleCopy Copy;
    RenderGate Gate;
    // One HTTP worker: without render threads, a waiting big render would
    // hold every other request. R1 is 100 012 of work (pixels and rows),
    // width 1000 250 012: big; two of those do not fit the budget.
    RunningServer S(Copy, 1, [&](TChartServerOptions& O) {
        O.RenderThreads = 1;
        O.BigWork = 200000;
        O.WorkBudget = 400000;
        O.LoadModule = [&Gate, F = Copy.Form()] {
            auto Module = LoadForm(F);
            auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(Module->FindComponent("RevenueChart"));
            Chart->SetOnAfterDraw(pv::TNotifyEvent([&Gate, Chart](pv::TObject*) {
                if (Chart->GetWidth() >= 1000) Gate.Pass();
            }));
            return Module;
        };
    });
    THttpConnection C(S.Port());
    const std::string Small = C.Request("GET", "/RevenueChart.gif").Body;
    auto Waiting = std::async(std::launch::async, [Port = S.Port()] {
        return THttpConnection(Port, 30).Request("GET", "/RevenueChart.gif?width=1000");
    });
    // Whatever fails below, the gate opens before the answer is waited for
    // and the server stops.
    struct TOpen {
        RenderGate& Gate;
        ~TOpen() { Gate.Release(); }
    } Opener{Gate};
    ASSERT_TRUE(Gate.WaitFor(1));
    // While it waits: a cached answer, a small render, and a second big
    // render refused for the budget.
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.gif").Body == Small);
    auto Other = C.Request("GET", "/RevenueChart.gif?width=500");
    EXPECT_EQ(Other.Status, 200);
    EXPECT_EQ(GifSize(Other.Body), std::make_pair(500, 250));
    auto Busy = C.Request("GET", "/RevenueChart.png?width=1001");
    EXPECT_EQ(Busy.Status, 503);
    EXPECT_EQ(Busy.Header("Retry-After"), "1");
    EXPECT_NE(Busy.Body.find("RevenueChart is a big render"), std::string::npos);
    Gate.Release();
    const pvtest::THttpReply Big = Waiting.get();
    EXPECT_EQ(Big.Status, 200);
    EXPECT_EQ(GifSize(Big.Body), std::make_pair(1000, 250));
    // The budget is given back; the answer was kept like any other.
    const std::uint64_t Renders = S.Server->RenderCount();
    EXPECT_EQ(C.Request("GET", "/RevenueChart.png?width=1001").Status, 200);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.gif?width=1000").Body == Big.Body);
    EXPECT_EQ(S.Server->RenderCount(), Renders + 1);
    EXPECT_NE(C.Request("GET", "/metrics").Body.find("plotvane_render_budget_refused_total 1\n"), std::string::npos);
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

TEST(ComponentResponse, ScaleDrawsEveryPictureLargerAndRefusesValuesOutOfRange) {
    pv::TComponent Module(nullptr);
    auto* Chart = new Norq_Plotvane::TNorq_DBPlotvane(&Module);
    Chart->SetName("Chart1");
    Chart->GetChartSeries()->Add(3, "a");
    Chart->SetScale(2);
    EXPECT_EQ(Chart->GetBMPPicture()->GetWidth(), 800);
    pv::TWebResponse R;
    Chart->GetGifResponse(R);
    EXPECT_EQ(GifSize(R.GetSentMessage()->Body), std::make_pair(800, 500));
    EXPECT_THROW_MSG(Chart->SetScale(4.5), pv::ERangeError, "Scale 4.5 of 'Chart1' is out of range 1..4");
    EXPECT_EQ(Chart->GetScale(), 2);
    EXPECT_EQ(Chart->GetWidth(), 400);  // the layout size stays
}

}  // namespace
}  // namespace plotvane

namespace plotvane {
namespace {

// The point groups of an SVG document parsed as XML: each group's title,
// and the name of the shape element inside it.
std::vector<std::pair<std::string, std::string>> SvgPoints(const std::string& Doc) {
    struct TState {
        std::vector<std::pair<std::string, std::string>> Points;
        int InPoint = 0, InTitle = 0;
    } State;
    XML_Parser P = XML_ParserCreate(nullptr);
    XML_SetUserData(P, &State);
    XML_SetElementHandler(
        P,
        [](void* Data, const XML_Char* Name, const XML_Char** Attrs) {
            auto* S = static_cast<TState*>(Data);
            const std::string N = Name;
            if (N == "g")
                for (int I = 0; Attrs[I]; I += 2)
                    if (std::string(Attrs[I]) == "class" && std::string(Attrs[I + 1]) == "pv-point") {
                        S->Points.emplace_back();
                        S->InPoint = 1;
                        return;
                    }
            if (!S->InPoint) return;
            if (N == "title") S->InTitle = 1;
            if (N == "rect" || N == "polygon" || N == "circle") S->Points.back().second = N;
        },
        [](void* Data, const XML_Char* Name) {
            auto* S = static_cast<TState*>(Data);
            if (std::string(Name) == "title") S->InTitle = 0;
            if (std::string(Name) == "g") S->InPoint = 0;
        });
    XML_SetCharacterDataHandler(P, [](void* Data, const XML_Char* Text, int Length) {
        auto* S = static_cast<TState*>(Data);
        if (S->InTitle) S->Points.back().first.append(Text, static_cast<std::size_t>(Length));
    });
    const bool Ok = XML_Parse(P, Doc.data(), static_cast<int>(Doc.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(P);
    return Ok ? State.Points : std::vector<std::pair<std::string, std::string>>{};
}

TEST(ChartServer, MapJsonAndSvgGiveThePicturesAreasForTheSameParameters) {
    SampleCopy Copy;
    RunningServer S(Copy, 1);
    THttpConnection C(S.Port());
    const std::string Q = "?scale=2&region=EU&width=420";
    auto Map = C.Request("GET", "/RevenueChart.map" + Q);
    ASSERT_EQ(Map.Status, 200) << Map.Body;
    EXPECT_EQ(Map.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(Map.Body.rfind("<map name=\"RevenueChart\" id=\"RevenueChart\">\n", 0), 0u);
    auto Png = C.Request("GET", "/RevenueChart.png" + Q);
    ASSERT_EQ(PngSize(Png.Body), std::make_pair(840, 500));
    // Every bar's box lies on the bar: its middle is the bar's colour (blue
    // above zero, red below), or, where the bar's mark covers the middle,
    // a corner just inside the box is.
    const std::regex Area(R"re(<area shape="rect" coords="(\d+),(\d+),(\d+),(\d+)" title="([^"]*)" alt="[^"]*">)re");
    int Areas = 0;
    for (std::sregex_iterator It(Map.Body.begin(), Map.Body.end(), Area), End; It != End; ++It, ++Areas) {
        const int L = std::stoi((*It)[1]), T = std::stoi((*It)[2]), R = std::stoi((*It)[3]), B = std::stoi((*It)[4]);
        int Hits = 0;
        for (auto [X, Y] : {std::pair{(L + R) / 2, (T + B) / 2}, std::pair{L + 1, T + 1}, std::pair{R - 2, B - 2}}) {
            const std::uint32_t Pixel = PngPixel(Png.Body, X, Y);
            Hits += Pixel == 0x0000FFFFu || Pixel == 0xFF0000FFu;
        }
        EXPECT_GE(Hits, 1) << (*It)[5];
        // Just outside the box, across the category axis, is no bar.
        const std::uint32_t Beside = PngPixel(Png.Body, L - 2, (T + B) / 2);
        EXPECT_FALSE(Beside == 0x0000FFFFu || Beside == 0xFF0000FFu) << (*It)[5];
    }
    EXPECT_EQ(Areas, 12);
    EXPECT_NE(Map.Body.find("title=\"Apr: -2\""), std::string::npos) << "EU's own values";
    // Cached and revalidated like the pictures.
    const std::string Tag = Map.Header("ETag");
    EXPECT_FALSE(Tag.empty());
    EXPECT_EQ(C.Request("GET", "/RevenueChart.map" + Q, {{"If-None-Match", Tag}}).Status, 304);
    EXPECT_NE(C.Request("GET", "/RevenueChart.map").Header("ETag"), Tag);

    auto Json = C.Request("GET", "/RevenueChart.json" + Q);
    ASSERT_EQ(Json.Status, 200);
    EXPECT_EQ(Json.Header("Content-Type"), "application/json");
    EXPECT_NE(Json.Body.find("{\"shape\":\"rect\",\"coords\":["), std::string::npos);
    EXPECT_NE(Json.Body.find("\"index\":3,\"label\":\"Apr\",\"value\":-2,\"formatted\":\"-2\",\"url\":null,\"hint\":\"Apr: -2\"}"),
              std::string::npos)
        << Json.Body;

    // The SVG: one titled group per bar, over the drawing.
    const auto Points = SvgPoints(C.Request("GET", "/RevenueChart.svg" + Q).Body);
    ASSERT_EQ(Points.size(), 12u);
    EXPECT_EQ(Points[0], std::make_pair(std::string("Jan: 7"), std::string("rect")));
    for (const auto& [Title, Shape] : Points) EXPECT_FALSE(Title.empty() || Shape.empty());

    // The index page's picture uses its map.
    auto Index = C.Request("GET", "/");
    EXPECT_NE(Index.Body.find(" usemap=\"#RevenueChart\"><map name=\"RevenueChart\""), std::string::npos) << Index.Body;
    EXPECT_EQ(C.Request("GET", "/RevenueChart.map?theme=Dark").Status, 400);
}

// A further series reads from a query of its own: the URL's parameters reach
// it as they reach the chart's own query, each value going to every query
// that declares its name.
TEST(ChartServer, UrlParametersReachTheFurtherSeriesQueries) {
    SampleCopy Copy;
    {
        std::ifstream In(Copy.Form());
        std::string Form((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        const std::size_t Last = Form.rfind("end");
        ASSERT_NE(Last, std::string::npos);
        Form.insert(Last, R"(  object TargetQuery: TSQLiteQuery
    DatabaseName = 'sales.db'
    SQL.Strings = (
      'SELECT month, SUM(revenue) * :factor AS revenue FROM sales'
      'WHERE :region IN (''ALL'', region)'
      'GROUP BY month_no, month ORDER BY month_no')
    Params.Strings = (
      'factor:integer(1..10)=1'
      'region:text(16)=ALL')
    Active = True
  end
  object TargetSource: TDataSource
    DataSet = TargetQuery
  end
  object TargetSeries: TNorq_DBPlotvaneSeries
    Chart = RevenueChart
    DataSource = TargetSource
    XLabelsSource = 'month'
    YValueSource = 'revenue'
    Title = 'Target'
  end
)");
        std::ofstream(Copy.Form()) << Form;
    }
    RunningServer S(Copy, 1);  // one module: every request reuses it
    THttpConnection C(S.Port());
    // April's value of a series in a .json answer.
    const auto April = [&](const std::string& Query, int Series) {
        auto R = C.Request("GET", "/RevenueChart.json" + Query);
        EXPECT_EQ(R.Status, 200) << Query << ": " << R.Body;
        const std::regex Value("\"series\":" + std::to_string(Series) + R"(,[^}]*"index":3,[^}]*"value":(-?\d+),)");
        std::smatch M;
        return std::regex_search(R.Body, M, Value) ? std::stoi(M[1]) : -1000;
    };
    const std::string Plain = C.Request("GET", "/RevenueChart.json").Body;
    EXPECT_EQ(April("", 0), -5);
    EXPECT_EQ(April("", 1), -5);
    // factor is the further series' own; region goes to both queries.
    EXPECT_EQ(April("?factor=3", 0), -5);
    EXPECT_EQ(April("?factor=3", 1), -15);
    EXPECT_EQ(April("?region=EU&factor=3", 0), -2);
    EXPECT_EQ(April("?region=EU&factor=3", 1), -6);
    EXPECT_EQ(April("?region=EU", 1), -2);
    EXPECT_EQ(April("?factor=03", 1), -15) << "the same typed value";
    EXPECT_EQ(C.Request("GET", "/RevenueChart.json").Body, Plain) << "nothing stays with the module";

    // The pictures and their keys tell the series' values apart.
    auto Two = C.Request("GET", "/RevenueChart.png?factor=2");
    auto Three = C.Request("GET", "/RevenueChart.png?factor=3");
    ASSERT_EQ(Two.Status, 200) << Two.Body;
    EXPECT_TRUE(Two.Body != Three.Body);
    EXPECT_NE(Two.Header("ETag"), Three.Header("ETag"));
    EXPECT_EQ(C.Request("GET", "/RevenueChart.png?factor=2", {{"If-None-Match", Three.Header("ETag")}}).Status, 200);
    EXPECT_TRUE(C.Request("GET", "/RevenueChart.png?factor=2").Body == Two.Body);
    EXPECT_NE(C.Request("GET", "/RevenueChart.map?factor=2").Body, C.Request("GET", "/RevenueChart.map?factor=3").Body);

    // The series' parameters are checked as the chart's own, each name once.
    auto Big = C.Request("GET", "/RevenueChart.json?factor=11");
    EXPECT_EQ(Big.Status, 400);
    EXPECT_NE(Big.Body.find("factor='11' is out of range: it must be an integer in 1..10"), std::string::npos) << Big.Body;
    auto Unknown = C.Request("GET", "/RevenueChart.png?colour=red");
    EXPECT_EQ(Unknown.Status, 400);
    EXPECT_NE(Unknown.Body.find("takes width, height, scale, devicePixelRatio, background, format, quality, theme, "
                                "locale, region, factor\n"),
              std::string::npos)
        << Unknown.Body;
}

}  // namespace
}  // namespace plotvane
