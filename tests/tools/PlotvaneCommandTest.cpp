// The plotvane command as a user runs it: the built program on the sample
// form from the build tree, its pictures decoded with giflib and TurboJPEG,
// its messages and exit statuses.

#include <gif_lib.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/HttpTestClient.h"

namespace {

namespace fs = std::filesystem;

const std::string Exe = PLOTVANE_EXE;
const std::string SampleForm = std::string(PLOTVANE_EXAMPLES_BUILD_DIR) + "/sales.form";

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Slurp(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

std::string Quote(const std::string& S) {
    std::string Q = "'";
    for (char C : S) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Q + "'";
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("plotvane-cmd-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    TRun Run(const std::vector<std::string>& Args) const {
        std::string Cmd = Quote(Exe);
        for (const auto& A : Args) Cmd += " " + Quote(A);
        Cmd += " >" + Quote((Dir / "stdout").string()) + " 2>" + Quote((Dir / "stderr").string());
        TRun R;
        int Raw = std::system(Cmd.c_str());
        R.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
        R.Out = Slurp(Dir / "stdout");
        R.Err = Slurp(Dir / "stderr");
        fs::remove(Dir / "stdout");
        fs::remove(Dir / "stderr");
        return R;
    }

    // Every file in the test folder, so a test can see that nothing (no
    // temporary file either) was left behind.
    std::vector<std::string> Files() const {
        std::vector<std::string> Names;
        for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    fs::path Dir;
};

struct TGifInfo {
    int Width = 0;
    int Height = 0;
    int Images = 0;
    bool HasRed = false;   // a point below zero
    bool HasBlue = false;  // a point at or above zero
};

TGifInfo DecodeGif(const fs::path& P) {
    int Error = 0;
    GifFileType* Gif = DGifOpenFileName(P.c_str(), &Error);
    if (!Gif) return {};
    TGifInfo Info;
    if (DGifSlurp(Gif) == GIF_OK) {
        Info.Width = Gif->SWidth;
        Info.Height = Gif->SHeight;
        Info.Images = Gif->ImageCount;
        if (Gif->ImageCount > 0) {
            const SavedImage& Image = Gif->SavedImages[0];
            const ColorMapObject* Map = Image.ImageDesc.ColorMap ? Image.ImageDesc.ColorMap : Gif->SColorMap;
            std::size_t N = std::size_t(Image.ImageDesc.Width) * std::size_t(Image.ImageDesc.Height);
            for (std::size_t I = 0; Map && I < N; ++I) {
                const GifColorType& C = Map->Colors[Image.RasterBits[I]];
                Info.HasRed = Info.HasRed || (C.Red > 200 && C.Green < 60 && C.Blue < 60);
                Info.HasBlue = Info.HasBlue || (C.Blue > 200 && C.Red < 60 && C.Green < 60);
            }
        }
    }
    DGifCloseFile(Gif, &Error);
    return Info;
}

TEST_F(CommandTest, RendersTheSampleFormAsGif) {
    auto Out = Dir / "chart.gif";
    TRun R = Run({"render", SampleForm, "-o", Out.string()});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    EXPECT_EQ(Slurp(Out).substr(0, 6), "GIF89a");
    TGifInfo Info = DecodeGif(Out);
    EXPECT_EQ(Info.Width, 400);
    EXPECT_EQ(Info.Height, 250);
    EXPECT_EQ(Info.Images, 1);
    // The sample's data has two months below zero, drawn red; the rest blue.
    EXPECT_TRUE(Info.HasRed);
    EXPECT_TRUE(Info.HasBlue);
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.gif"}));
}

TEST_F(CommandTest, RendersTheSampleFormAsJpegPngAndBmp) {
    for (const char* Name : {"chart.jpg", "chart.JPEG"}) {
        TRun R = Run({"render", SampleForm, "RevenueChart", "-o", (Dir / Name).string()});
        ASSERT_EQ(R.Status, 0) << R.Err;
        std::string Bytes = Slurp(Dir / Name);
        ASSERT_GT(Bytes.size(), 2u);
        EXPECT_EQ(Bytes.substr(0, 2), "\xFF\xD8");
        tjhandle Tj = tjInitDecompress();
        int W = 0, H = 0, Sub = 0, Space = 0;
        ASSERT_EQ(tjDecompressHeader3(Tj, reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), &W,
                                      &H, &Sub, &Space),
                  0);
        std::vector<unsigned char> Pixels(std::size_t(W) * H * 3);
        EXPECT_EQ(tjDecompress2(Tj, reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(),
                                Pixels.data(), W, 0, H, TJPF_RGB, 0),
                  0)
            << tjGetErrorStr2(Tj);
        tjDestroy(Tj);
        EXPECT_EQ(W, 400);
        EXPECT_EQ(H, 250);
    }
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.png").string()}).Status, 0);
    EXPECT_EQ(Slurp(Dir / "chart.png").substr(0, 8), "\x89PNG\r\n\x1A\n");
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.bmp").string()}).Status, 0);
    std::string Bmp = Slurp(Dir / "chart.bmp");
    ASSERT_GE(Bmp.size(), 26u);
    EXPECT_EQ(Bmp.substr(0, 2), "BM");
    auto Le32 = [&](std::size_t At) {
        return int(std::uint8_t(Bmp[At])) | int(std::uint8_t(Bmp[At + 1])) << 8 |
               int(std::uint8_t(Bmp[At + 2])) << 16 | int(std::uint8_t(Bmp[At + 3])) << 24;
    };
    EXPECT_EQ(Le32(18), 400);
    EXPECT_EQ(Le32(22), 250);
}

TEST_F(CommandTest, RendersSvgPdfAndScaledPictures) {
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.gif").string(), "--scale", "2"}).Status, 0);
    TGifInfo Gif = DecodeGif(Dir / "chart.gif");
    EXPECT_EQ(Gif.Width, 800);
    EXPECT_EQ(Gif.Height, 500);
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.svg").string()}).Status, 0);
    const std::string Svg = Slurp(Dir / "chart.svg");
    EXPECT_NE(Svg.find("viewBox=\"0 0 400 250\""), std::string::npos);
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.pdf").string(), "--scale", "1.5"}).Status, 0);
    EXPECT_NE(Slurp(Dir / "chart.pdf").find("/MediaBox [ 0 0 600 375 ]"), std::string::npos);
    TRun R = Run({"render", SampleForm, "-o", (Dir / "x.png").string(), "--scale", "5"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_NE(R.Err.find("--scale 5 is not a number in 1..4"), std::string::npos) << R.Err;
}

TEST_F(CommandTest, SetChangesTheChartBeforeItRenders) {
    auto Out = Dir / "big.gif";
    TRun R = Run({"render", SampleForm, "-o", Out.string(), "--set", "Width=640", "--set=Height=480", "--set",
                  "TitleText.Strings=('Other title')", "--set", "SalesQuery.Active=True"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    TGifInfo Info = DecodeGif(Out);
    EXPECT_EQ(Info.Width, 640);
    EXPECT_EQ(Info.Height, 480);
}

TEST_F(CommandTest, AFailedRenderLeavesNoFileAndKeepsTheOldOne) {
    auto Out = Dir / "chart.gif";
    TRun R = Run({"render", SampleForm, "-o", Out.string(), "--set", "Width=-5"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find("plotvane render: "), std::string::npos) << R.Err;
    EXPECT_TRUE(Files().empty());

    std::ofstream(Out) << "old";
    R = Run({"render", SampleForm, "-o", Out.string(), "--set", "Width=abc"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: RevenueChart.Width: expected an integer, found the identifier abc\n");
    EXPECT_EQ(Slurp(Out), "old");
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.gif"}));
}

TEST_F(CommandTest, ReportsBadFormsWithTheirPlace) {
    auto Bad = Dir / "bad.form";
    std::ofstream(Bad) << "object M: TDataModule\n  object C: TNorq_DBPlotvane\n    Widht = 5\n  end\nend\n";
    TRun R = Run({"render", Bad.string(), "-o", (Dir / "x.gif").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + Bad.string() +
                         ":3:5: unknown property Widht of C (TNorq_DBPlotvane); did you mean Width?\n");

    R = Run({"props", (Dir / "missing.form").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane props: " + (Dir / "missing.form").string() +
                         ": cannot open the form file: No such file or directory\n");

    R = Run({"render", SampleForm, "SalesQuery", "-o", (Dir / "x.gif").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + SampleForm + ": SalesQuery is a TSQLiteQuery, not a TNorq_DBPlotvane\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"bad.form"}));
}

TEST_F(CommandTest, PropsPrintsEveryPropertyInDeclarationOrder) {
    TRun R = Run({"props", SampleForm});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.rfind("Name = 'RevenueChart'\nTag = 0\nPreviewImage = nil\nTitleFont.Charset = 1\n", 0), 0u)
        << R.Out;
    EXPECT_NE(R.Out.find("\nTitleText.Strings = (\n  'Monthly revenue')\n"), std::string::npos);
    EXPECT_NE(R.Out.find("\nWidth = 400\n"), std::string::npos);
    EXPECT_NE(R.Out.find("\nSeriesColorMode = scPositiveNegative\n"), std::string::npos);
    // The properties a form stores only when they are not their defaults
    // come last.
    const std::string Last = "\nPointerVertSize = 4\nSeriesType = stBar\nLocale = ''\nGroupSource = ''\nStacking = sgNone\n"
                             "SeriesPalette = '#e69f00, #009e73, #d55e00, #cc79a7, #56b4e9, #f0e442, #0072b2'\n"
                             "ValueAxisLogarithmic = False\nTheme = thClassic\nHintTemplate = ''\nLinkTemplate = ''\n"
                             "ReferenceLine.Value = 0\nReferenceLine.Caption = ''\nReferenceLine.Color = clDefault\nReferenceLine.Visible = False\n";
    ASSERT_GT(R.Out.size(), Last.size());
    EXPECT_EQ(R.Out.substr(R.Out.size() - Last.size()), Last);

    R = Run({"props", SampleForm, "SalesQuery"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Name = 'SalesQuery'\nTag = 0\nDatabaseName = 'sales.db'\nSQL.Strings = (\n"
                     "  'SELECT month, SUM(revenue) AS revenue FROM sales'\n"
                     "  'WHERE :region IN (''ALL'', region)'\n"
                     "  'GROUP BY month_no, month ORDER BY month_no')\n"
                     "Params.Strings = (\n  'region:text(16)=ALL')\nActive = True\n");
}

TEST_F(CommandTest, WriteFormReproducesTheSampleByteForByte) {
    // The copy goes next to the database, so the written form can be read again.
    auto Out = fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / ("rewritten-" + std::to_string(::getpid()) + ".form");
    TRun R = Run({"write-form", SampleForm, "-o", Out.string()});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Slurp(Out), Slurp(SampleForm));
    R = Run({"write-form", Out.string(), "-o", "-", "--set", "Width=500"});
    fs::remove(Out);
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(R.Out.find("\n    Width = 500\n"), std::string::npos);
}

TEST_F(CommandTest, BenchPrintsItsFigures) {
    for (const char* Format : {"gif", "jpeg", "png", "bmp", "svg"}) {
        TRun R = Run({"bench", SampleForm, "--format", Format, "--count", "3"});
        ASSERT_EQ(R.Status, 0) << R.Err;
        EXPECT_TRUE(std::regex_match(R.Out, std::regex(R"(median_ms=\d+\.\d{3} min_ms=\d+\.\d{3} max_ms=\d+\.\d{3} count=3\n)")))
            << R.Out;
    }
    TRun R = Run({"bench", SampleForm, "--count", "0"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane bench: --count 0: expected a whole number of at least 1\n"
                     "Run 'plotvane bench --help' for its usage.\n");
    R = Run({"bench", SampleForm, "--format", "tiff"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane bench: --format tiff: expected gif, jpeg, jpg, png, bmp, svg or pdf\n"
                     "Run 'plotvane bench --help' for its usage.\n");
}

TEST_F(CommandTest, ServeAnswersLogsAndStopsCleanlyOnSigterm) {
    const fs::path Log = Dir / "access.log";
    const fs::path Out = Dir / "serve.out";
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        std::freopen(Out.c_str(), "w", stdout);
        std::freopen((Dir / "serve.err").c_str(), "w", stderr);
        ::execl(Exe.c_str(), Exe.c_str(), "serve", SampleForm.c_str(), "--port", "0", "--threads", "1",
                "--access-log", Log.c_str(), "--cors-origin", "https://app.example", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The port the system chose, from the first line.
    int Port = 0;
    for (int I = 0; I < 200 && Port == 0; ++I) {
        std::smatch M;
        const std::string Text = Slurp(Out);
        if (std::regex_search(Text, M, std::regex("at http://127\\.0\\.0\\.1:([0-9]+)/"))) Port = std::stoi(M[1]);
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(Port, 0) << Slurp(Dir / "serve.err");
    {
        pvtest::THttpConnection C(static_cast<std::uint16_t>(Port));
        pvtest::THttpReply R = C.Request("GET", "/RevenueChart.gif?scale=2");
        EXPECT_EQ(R.Status, 200);
        EXPECT_TRUE(std::regex_match(R.Header("Server"), std::regex("Plotvane/[0-9]+\\.[0-9]+\\.[0-9]+")))
            << R.Header("Server");
        EXPECT_EQ(R.Header("Access-Control-Allow-Origin"), "https://app.example");
    }
    ::kill(Child, SIGTERM);
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
    const std::string Lines = Slurp(Log);
    EXPECT_TRUE(std::regex_match(Lines, std::regex("127\\.0\\.0\\.1 - - \\[[0-9A-Za-z/: +]+\\] \"GET /RevenueChart\\.gif\\?scale=2 "
                                                   "HTTP/1\\.1\" 200 [0-9]+ \"-\" \"-\" [0-9]+\\.[0-9]{3}\n")))
        << Lines;
    EXPECT_NE(Slurp(Dir / "serve.err").find("stopped"), std::string::npos);
}

// logrotate moves the log away and sends SIGHUP: the next line goes to a
// new file under the old name, and the server goes on serving.
TEST_F(CommandTest, ServeOpensItsAccessLogAgainOnSighup) {
    const fs::path Log = Dir / "access.log";
    const fs::path Out = Dir / "serve.out", Err = Dir / "serve.err";
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        std::freopen(Out.c_str(), "w", stdout);
        std::freopen(Err.c_str(), "w", stderr);
        ::execl(Exe.c_str(), Exe.c_str(), "serve", SampleForm.c_str(), "--port", "0", "--threads", "1",
                "--access-log", Log.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Waits until Text shows in File (the server says what it did there).
    auto AwaitText = [](const fs::path& File, const std::regex& Text) {
        std::smatch M;
        for (int I = 0; I < 400; ++I) {
            const std::string Now = Slurp(File);
            if (std::regex_search(Now, M, Text)) return std::string(M[1]);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::string();
    };
    const std::string PortText = AwaitText(Out, std::regex("at http://127\\.0\\.0\\.1:([0-9]+)/"));
    ASSERT_FALSE(PortText.empty()) << Slurp(Err);
    const auto Port = static_cast<std::uint16_t>(std::stoi(PortText));
    EXPECT_EQ(pvtest::THttpConnection(Port).Request("GET", "/healthz").Status, 200);
    // The line is written just after the answer; waiting for it keeps a
    // quick reopen from taking it into the new file.
    ASSERT_FALSE(AwaitText(Log, std::regex("(\\n)")).empty());
    fs::rename(Log, Dir / "access.log.1");
    ::kill(Child, SIGHUP);
    EXPECT_FALSE(AwaitText(Err, std::regex("(opened again)")).empty()) << Slurp(Err);
    EXPECT_EQ(pvtest::THttpConnection(Port).Request("GET", "/RevenueChart.png").Status, 200);
    ::kill(Child, SIGTERM);
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
    const std::string Old = Slurp(Dir / "access.log.1"), New = Slurp(Log);
    EXPECT_TRUE(std::regex_match(Old, std::regex("[^\n]+\"GET /healthz HTTP/1\\.1\" 200 [^\n]+\n"))) << Old;
    EXPECT_TRUE(std::regex_match(New, std::regex("[^\n]+\"GET /RevenueChart\\.png HTTP/1\\.1\" 200 [^\n]+\n"))) << New;
}

// The manual page keeps up with the help: every command --help lists has its
// section, and every option its help lists is described there (roff writes
// each '-' as "\-").
TEST_F(CommandTest, TheManualPageHasEveryCommandAndOption) {
    std::ifstream In(std::string(std::getenv("PLOTVANE_SOURCE_DIR")) + "/docs/plotvane.1");
    ASSERT_TRUE(In) << "docs/plotvane.1";
    const std::string Page((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    auto Roff = [](std::string S) {
        for (std::size_t At = S.find('-'); At != std::string::npos; At = S.find('-', At + 2)) S.insert(At, "\\");
        return S;
    };
    const TRun Help = Run({"--help"});
    ASSERT_EQ(Help.Status, 0);
    const std::string Listed = Help.Out.substr(Help.Out.find("\nCommands:\n"));
    const std::regex CommandLine(R"(\n  ([a-z][a-z-]+) )"), OptionLine(R"(\n {2,3}(?:-o, )?(--[a-z-]+))");
    int Commands = 0;
    for (std::sregex_iterator C(Listed.begin(), Listed.end(), CommandLine), End; C != End; ++C, ++Commands) {
        const std::string Name = (*C)[1];
        EXPECT_NE(Page.find("\n.SS " + Roff(Name) + "\n"), std::string::npos) << "no section for " << Name;
        const TRun Options = Run({"help", Name});
        ASSERT_EQ(Options.Status, 0) << Name;
        for (std::sregex_iterator O(Options.Out.begin(), Options.Out.end(), OptionLine); O != End; ++O)
            EXPECT_NE(Page.find(Roff((*O)[1])), std::string::npos) << Name << " " << (*O)[1];
    }
    EXPECT_GE(Commands, 9);
}

TEST_F(CommandTest, HelpAndUsageErrors) {
    TRun R = Run({"--help"});
    EXPECT_EQ(R.Status, 0);
    for (const char* C : {"render", "props", "write-form", "bench", "serve", "package-info", "design", "reference"})
        EXPECT_NE(R.Out.find("\n  " + std::string(C) + " "), std::string::npos) << C;
    for (const char* C : {"render", "props", "write-form", "bench", "design"}) {
        R = Run({C, "--help"});
        EXPECT_EQ(R.Status, 0) << C;
        EXPECT_EQ(R.Out.rfind("Usage: plotvane " + std::string(C) + " ", 0), 0u) << R.Out;
    }
    R = Run({});
    EXPECT_EQ(R.Status, 2);
    EXPECT_NE(R.Err.find("Usage: plotvane <command>"), std::string::npos);
    R = Run({"paint"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane: unknown command 'paint'\nRun 'plotvane --help' for the list of commands.\n");
    R = Run({"render", SampleForm});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane render: missing -o FILE\nRun 'plotvane render --help' for its usage.\n");
    R = Run({"render", SampleForm, "-o", (Dir / "chart.tiff").string()});
    EXPECT_EQ(R.Status, 2);
    R = Run({"props", SampleForm, "--verbose"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane props: unknown option --verbose\nRun 'plotvane props --help' for its usage.\n");
    R = Run({"design", SampleForm, "--port", "70000"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane design: --port 70000 is not a number in 0..65535\nRun 'plotvane design --help' for its usage.\n");
    R = Run({"design", (Dir / "missing.form").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find("cannot open the form file"), std::string::npos) << R.Err;
    EXPECT_TRUE(Files().empty());
}

TEST_F(CommandTest, VersionAndHelpForOneCommand) {
    TRun R = Run({"--version"});
    EXPECT_EQ(R.Status, 0);
    EXPECT_TRUE(std::regex_match(R.Out, std::regex(R"(plotvane \d+\.\d+\.\d+\n)"))) << R.Out;
    // Each command's help ends with its page of docs/ (the build tree's
    // program has no installed documentation next to it).
    const std::pair<const char*, const char*> Pages[] = {
        {"render", "forms.md"},        {"props", "forms.md"},       {"write-form", "forms.md"},
        {"bench", "performance.md"},   {"serve", "server.md"},      {"sign", "server.md"},
        {"package-info", "library.md"}, {"design", "designer.md"}, {"reference", "forms.md"}};
    for (const auto& [C, Page] : Pages) {
        R = Run({"help", C});
        EXPECT_EQ(R.Status, 0) << C;
        EXPECT_EQ(R.Out, Run({C, "--help"}).Out) << C;
        EXPECT_EQ(R.Out.rfind("Usage: plotvane " + std::string(C) + " ", 0), 0u) << R.Out;
        const std::string Line = "\nDocumentation: docs/" + std::string(Page) + " (";
        EXPECT_NE(R.Out.find(Line), std::string::npos) << R.Out;
    }
    EXPECT_EQ(Run({"help"}).Out, Run({"--help"}).Out);
    EXPECT_NE(Run({"--help"}).Out.find("\nDocumentation: docs/ in the source tree, share/doc/plotvane/docs/ when installed\n"),
              std::string::npos);
    R = Run({"help", "paint"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane help: unknown command 'paint'\nRun 'plotvane --help' for the list of commands.\n");
}

TEST_F(CommandTest, ReferencePrintsTheFormReferenceAndChecksAFileAgainstIt) {
    TRun R = Run({"reference"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.rfind("# Form reference\n", 0), 0u);
    const fs::path Copy = Dir / "forms.md";
    std::ofstream(Copy, std::ios::binary) << R.Out;
    R = Run({"reference", "--check", Copy.string()});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out + R.Err, "");
    std::string Changed = Slurp(Copy);
    Changed.replace(Changed.find("| Width |"), 9, "| Widht |");
    std::ofstream(Copy, std::ios::binary | std::ios::trunc) << Changed;
    R = Run({"reference", "--check", Copy.string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(std::regex_search(R.Err, std::regex("is not the form reference of this build: line [0-9]+ differs: "
                                                    "the reference has '\\| Width \\|.*\nRegenerate it with: "
                                                    "plotvane reference > .*forms\\.md\n$")))
        << R.Err;
    EXPECT_EQ(Run({"reference", "--check"}).Status, 2);
}

TEST_F(CommandTest, RendersToStandardOutputWithFormat) {
    TRun R = Run({"render", SampleForm, "-o", "-", "--format", "png"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    ASSERT_GT(R.Out.size(), 100u);
    EXPECT_EQ(R.Out.substr(0, 8), "\x89PNG\r\n\x1a\n");
    R = Run({"render", SampleForm, "-o", "-", "--format=GIF"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.substr(0, 6), "GIF89a");
    // The same picture as a file.
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.gif").string()}).Status, 0);
    EXPECT_EQ(R.Out, Slurp(Dir / "chart.gif"));
    // A file without an extension takes --format.
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart").string(), "--format", "jpeg"}).Status, 0);
    EXPECT_EQ(Slurp(Dir / "chart").substr(0, 2), "\xFF\xD8");

    R = Run({"render", SampleForm, "-o", "-"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err, "plotvane render: -o - (standard output) needs --format gif, jpeg, png, bmp, svg, pdf, webp or avif\n"
                     "Run 'plotvane render --help' for its usage.\n");
    R = Run({"render", SampleForm, "-o", "-", "--format", "tiff"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("plotvane render: --format tiff: expected gif, jpeg, jpg, png, bmp, svg, pdf, webp or avif\n", 0), 0u)
        << R.Err;
    R = Run({"render", SampleForm, "-o", (Dir / "x.png").string(), "--format", "gif"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("plotvane render: --format gif does not match the extension of " + (Dir / "x.png").string(), 0),
              0u) << R.Err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart", "chart.gif"}));

    // WebP and AVIF; --quality only where it applies.
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.webp").string(), "--quality", "70"}).Status, 0);
    ASSERT_EQ(Run({"render", SampleForm, "-o", (Dir / "chart.avif").string()}).Status, 0);
    EXPECT_EQ(Slurp(Dir / "chart.webp").substr(8, 8), "WEBPVP8 ");  // lossy
    EXPECT_EQ(Slurp(Dir / "chart.avif").substr(4, 8), "ftypavif");
    R = Run({"render", SampleForm, "-o", (Dir / "x.gif").string(), "--quality", "70"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("plotvane render: --quality 70: only WebP and AVIF take a quality, not GIF\n", 0), 0u) << R.Err;
    R = Run({"render", SampleForm, "-o", (Dir / "x.webp").string(), "--quality", "101"});
    EXPECT_EQ(R.Err.rfind("plotvane render: --quality 101 is not a whole number in 1..100\n", 0), 0u) << R.Err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart", "chart.avif", "chart.gif", "chart.webp"}));
}

TEST_F(CommandTest, AWrongComponentNameListsTheFormsComponents) {
    TRun R = Run({"render", SampleForm, "RevenuChart", "-o", (Dir / "x.gif").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + SampleForm +
                         ": no component named RevenuChart; did you mean RevenueChart?\n"
                         "The form's components:\n"
                         "  SalesModule: TDataModule\n"
                         "  SalesQuery: TSQLiteQuery\n"
                         "  SalesSource: TDataSource\n"
                         "  RevenueChart: TNorq_DBPlotvane\n");
    // Nothing near enough: no guess, only the list.
    R = Run({"props", SampleForm, "Legend"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err.rfind("plotvane props: " + SampleForm + ": no component named Legend\nThe form's components:\n", 0),
              0u) << R.Err;
    EXPECT_TRUE(Files().empty());
}

TEST_F(CommandTest, AWrongNameInABigFormSuggestsTheNearestFiveAndCountsTheRest) {
    std::string Form = "object BigModule: TDataModule\n";
    char Name[16];
    for (int I = 0; I < 20000; ++I) {
        std::snprintf(Name, sizeof Name, "Source%05d", I);
        Form += std::string("  object ") + Name + ": TDataSource\n  end\n";
    }
    Form += "end\n";
    const std::string Big = (Dir / "big.form").string();
    std::ofstream(Big, std::ios::binary) << Form;

    // One letter too many: that name, then the four first in the form of
    // those one more letter away.
    TRun R = Run({"render", Big, "Source12345x", "-o", (Dir / "x.gif").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + Big + ": no component named Source12345x; did you mean Source12345?\n"
                     "The form has 20001 components; the 5 nearest names:\n"
                     "  Source12345: TDataSource\n"
                     "  Source02345: TDataSource\n"
                     "  Source10345: TDataSource\n"
                     "  Source11345: TDataSource\n"
                     "  Source12045: TDataSource\n");
    // The same start counts as near; nothing near at all: the first five.
    R = Run({"props", Big, "Big"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane props: " + Big + ": no component named Big\n"
                     "The form has 20001 components; the nearest name:\n"
                     "  BigModule: TDataModule\n");
    R = Run({"render", Big, "Legend", "-o", (Dir / "x.gif").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + Big + ": no component named Legend\n"
                     "The form has 20001 components; the first 5:\n"
                     "  BigModule: TDataModule\n"
                     "  Source00000: TDataSource\n"
                     "  Source00001: TDataSource\n"
                     "  Source00002: TDataSource\n"
                     "  Source00003: TDataSource\n");
    EXPECT_EQ(Files(), std::vector<std::string>{"big.form"});
}

TEST_F(CommandTest, ASetThatClosesAnOpenQueryOpensItAgainOrFailsTheCommand) {
    const fs::path Copy = Dir / "copy.db";
    fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.db", Copy);
    // Another database and other SQL, both closing the query: it opens again
    // after the last set, and the chart shows the new rows (no month below zero).
    const std::string OtherDb = "SalesQuery.DatabaseName='" + Copy.string() + "'";
    const std::string OtherSql = "SalesQuery.SQL.Strings=('SELECT month, revenue FROM sales WHERE revenue > 0')";
    TRun R = Run({"render", SampleForm, "-o", (Dir / "chart.gif").string(), "--set", OtherDb, "--set", OtherSql});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    TGifInfo Info = DecodeGif(Dir / "chart.gif");
    EXPECT_TRUE(Info.HasBlue);
    EXPECT_FALSE(Info.HasRed);
    // A rewritten form keeps the query open.
    R = Run({"write-form", SampleForm, "-o", "-", "--set", OtherDb});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(R.Out.find("    Active = True\n"), std::string::npos) << R.Out;

    // A query that cannot open again fails the command, naming the set, the
    // data set and the cause, and writes nothing.
    R = Run({"render", SampleForm, "-o", (Dir / "x.png").string(), "--set", "SalesQuery.DatabaseName='missing.db'"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: --set SalesQuery.DatabaseName='missing.db': SalesQuery was open and cannot "
                     "open again: cannot open database \"" PLOTVANE_EXAMPLES_BUILD_DIR "/missing.db\": unable to "
                     "open database file\n");
    R = Run({"render", SampleForm, "-o", (Dir / "x.png").string(), "--set", "Width=300", "--set",
             "SalesQuery.SQL.Strings=('SELECT month, revenue FROM nosuch')"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err.rfind("plotvane render: --set SalesQuery.SQL.Strings=('SELECT month, revenue FROM nosuch'): "
                          "SalesQuery was open and cannot open again: ", 0), 0u) << R.Err;
    EXPECT_NE(R.Err.find("no such table: nosuch"), std::string::npos) << R.Err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.gif", "copy.db"}));
}

TEST_F(CommandTest, AChartBoundToAClosedDataSetWarnsAndStrictFails) {
    const std::string Closed = "chart \"RevenueChart\" is bound to data set \"SalesQuery\", which is closed "
                               "(Active = False): the chart has no points\n";
    // A set that chooses Active is kept: the query stays closed.
    TRun R = Run({"render", SampleForm, "-o", (Dir / "empty.gif").string(), "--set", "SalesQuery.Active=False"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "plotvane render: warning: " + Closed);
    EXPECT_EQ(DecodeGif(Dir / "empty.gif").Width, 400);
    R = Run({"render", SampleForm, "-o", (Dir / "x.gif").string(), "--strict", "--set", "SalesQuery.Active=False"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: " + Closed);
    R = Run({"bench", SampleForm, "--count", "1", "--strict", "--set", "SalesSource.Enabled=False"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err, "plotvane bench: chart \"RevenueChart\" is bound to data source \"SalesSource\", which is "
                     "disabled (Enabled = False): the chart has no points\n");
    // An open data set: nothing to say, --strict or not.
    R = Run({"render", SampleForm, "-o", (Dir / "chart.gif").string(), "--strict"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.gif", "empty.gif"}));
}

TEST_F(CommandTest, APieOfSeveralSeriesWarnsThatItDrawsTheFirst) {
    const std::string Regions = std::string(PLOTVANE_EXAMPLES_BUILD_DIR) + "/regions.form";
    TRun R = Run({"render", Regions, "GroupedChart", "-o", (Dir / "pie.gif").string(), "--set", "SeriesType=stPie"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "plotvane render: warning: chart \"GroupedChart\" is a pie, which draws its first series only: "
                     "2 more series are left out\n");
    R = Run({"render", Regions, "GroupedChart", "-o", (Dir / "x.gif").string(), "--strict", "--set",
             "SeriesType=stPie"});
    EXPECT_EQ(R.Status, 1);
    // Stacked bars, and a pie of one series (no groups, the total series
    // taken off), say nothing.
    R = Run({"render", Regions, "StackedChart", "-o", (Dir / "stacked.gif").string(), "--strict"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    R = Run({"render", Regions, "GroupedChart", "-o", (Dir / "one.gif").string(), "--strict", "--set",
             "SeriesType=stPie", "--set", "GroupSource=''", "--set", "TotalSeries.Chart=nil"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"one.gif", "pie.gif", "stacked.gif"}));
}

TEST_F(CommandTest, SlipsInCommandsOptionsAndComponentNamesGetSuggestions) {
    TRun R = Run({"rendr", SampleForm});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane: unknown command 'rendr'; did you mean 'render'?\n"
                     "Run 'plotvane --help' for the list of commands.\n");
    R = Run({"help", "prps"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("plotvane help: unknown command 'prps'; did you mean 'props'?\n", 0), 0u) << R.Err;
    const std::string Out = (Dir / "x.gif").string();
    R = Run({"render", SampleForm, "-o", Out, "--scal", "2"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "plotvane render: unknown option --scal; did you mean --scale?\n"
                     "Run 'plotvane render --help' for its usage.\n");
    R = Run({"render", SampleForm, "-o", Out, "-strict"});
    EXPECT_EQ(R.Err.rfind("plotvane render: unknown option -strict; did you mean --strict?\n", 0), 0u) << R.Err;
    R = Run({"render", SampleForm, "-o", Out, "-p", "2"});
    EXPECT_EQ(R.Err.rfind("plotvane render: unknown option -p\n", 0), 0u) << R.Err;

    // A first part that is neither a property of the chart nor a component.
    R = Run({"render", SampleForm, "-o", Out, "--set", "Nope.Width=1"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "plotvane render: --set Nope.Width=1: RevenueChart has no property Nope and the form no "
                     "component named Nope\n"
                     "The form's components:\n"
                     "  SalesModule: TDataModule\n"
                     "  SalesQuery: TSQLiteQuery\n"
                     "  SalesSource: TDataSource\n"
                     "  RevenueChart: TNorq_DBPlotvane\n");
    R = Run({"render", SampleForm, "-o", Out, "--set", "SalesQury.Active=False"});
    EXPECT_EQ(R.Err.rfind("plotvane render: --set SalesQury.Active=False: RevenueChart has no property SalesQury "
                          "and the form no component named SalesQury; did you mean SalesQuery?\n", 0), 0u)
        << R.Err;
    // A slip for a property of the chart keeps the property's message.
    R = Run({"render", SampleForm, "-o", Out, "--set", "TitleFnt.Size=14"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find("unknown property TitleFnt of RevenueChart"), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find("did you mean TitleFont?"), std::string::npos) << R.Err;
    EXPECT_TRUE(Files().empty());
}

}  // namespace
