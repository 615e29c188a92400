// SaveChartToFile: the extension picks the picture type, the file appears
// whole or not at all, and names without a picture type are refused.

#include "component/Norq_PlotvaneSave.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/component/Fixture.h"
#include "tests/support/ThrowMessage.h"

namespace Norq_Plotvane::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::uint32_t BigEndian32(const std::vector<std::uint8_t>& B, std::size_t At) {
    return std::uint32_t(B[At]) << 24 | std::uint32_t(B[At + 1]) << 16 | std::uint32_t(B[At + 2]) << 8 | B[At + 3];
}
std::uint32_t LittleEndian(const std::vector<std::uint8_t>& B, std::size_t At, int Bytes) {
    std::uint32_t V = 0;
    for (int I = Bytes - 1; I >= 0; --I) V = V << 8 | B[At + std::size_t(I)];
    return V;
}

class SaveChartTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Dir = fs::temp_directory_path() / ("plotvane-save-" + std::to_string(::getpid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Chart->SetWidth(320);
        Chart->SetHeight(200);
        for (double V : {3.0, -1.5, 4.0, 2.5}) Chart->GetChartSeries()->Add(V, "P");
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::vector<std::string> Files() const {
        std::vector<std::string> Names;
        for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    fs::path Dir;
};

TEST_F(SaveChartTest, ExtensionPicksTheTypeInAnyCase) {
    SaveChartToFile(*Chart, (Dir / "a.gif").string());
    SaveChartToFile(*Chart, (Dir / "b.JPG").string());
    SaveChartToFile(*Chart, (Dir / "c.jpeg").string());
    SaveChartToFile(*Chart, (Dir / "d.png").string());
    SaveChartToFile(*Chart, (Dir / "e.Bmp").string());

    auto Gif = ReadAll(Dir / "a.gif");
    ASSERT_GT(Gif.size(), 13u);
    EXPECT_EQ(std::string(Gif.begin(), Gif.begin() + 6), "GIF89a");
    EXPECT_EQ(LittleEndian(Gif, 6, 2), 320u);
    EXPECT_EQ(LittleEndian(Gif, 8, 2), 200u);
    for (const char* Jpeg : {"b.JPG", "c.jpeg"}) {
        auto J = ReadAll(Dir / Jpeg);
        ASSERT_GT(J.size(), 4u) << Jpeg;
        EXPECT_EQ(J[0], 0xFF);
        EXPECT_EQ(J[1], 0xD8);
        EXPECT_EQ(J[J.size() - 2], 0xFF);
        EXPECT_EQ(J[J.size() - 1], 0xD9);
    }
    auto Png = ReadAll(Dir / "d.png");
    ASSERT_GT(Png.size(), 24u);
    EXPECT_EQ(std::string(Png.begin() + 1, Png.begin() + 4), "PNG");
    EXPECT_EQ(BigEndian32(Png, 16), 320u);
    EXPECT_EQ(BigEndian32(Png, 20), 200u);
    auto Bmp = ReadAll(Dir / "e.Bmp");
    ASSERT_GT(Bmp.size(), 26u);
    EXPECT_EQ(std::string(Bmp.begin(), Bmp.begin() + 2), "BM");
    EXPECT_EQ(LittleEndian(Bmp, 2, 4), Bmp.size());
    EXPECT_EQ(LittleEndian(Bmp, 18, 4), 320u);

    // The same bytes as the component's own pictures.
    EXPECT_EQ(Gif, SaveChartToBytes(*Chart, TChartFileFormat::cfGIF));
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.gif", "b.JPG", "c.jpeg", "d.png", "e.Bmp"}));
}

TEST_F(SaveChartTest, RefusesNamesWithoutAPictureType) {
    for (const std::string Name : {"chart.tiff", "chart", "gif", "dir.png/chart", "chart.gif.txt"}) {
        const std::string File = (Dir / Name).string();
        EXPECT_THROW_MSG(
            SaveChartToFile(*Chart, File), pv::EInvalidGraphic,
            "Cannot tell the picture type of " + File + " (use .gif, .jpg, .jpeg, .png, .bmp, .svg, .pdf, .webp or .avif)");
    }
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(ChartFileFormatFromName("JPEG"), TChartFileFormat::cfJPEG);
    EXPECT_EQ(ChartFileFormatFromName("jpe"), std::nullopt);
}

// WebP and AVIF by extension; a quality and a transparent background only
// where the format has them, refused before anything is written.
TEST_F(SaveChartTest, WebPAndAvifWithTheirOptions) {
    SaveChartToFile(*Chart, (Dir / "f.webp").string());
    SaveChartToFile(*Chart, (Dir / "g.AVIF").string());
    auto Webp = ReadAll(Dir / "f.webp");
    ASSERT_GT(Webp.size(), 30u);
    EXPECT_EQ(std::string(Webp.begin() + 8, Webp.begin() + 16), "WEBPVP8L");  // lossless
    EXPECT_EQ(Webp, SaveChartToBytes(*Chart, TChartFileFormat::cfWebP));
    auto Avif = ReadAll(Dir / "g.AVIF");
    ASSERT_GT(Avif.size(), 12u);
    EXPECT_EQ(std::string(Avif.begin() + 4, Avif.begin() + 12), "ftypavif");
    auto Lossy = SaveChartToBytes(*Chart, TChartFileFormat::cfWebP, {50, false});
    EXPECT_EQ(std::string(Lossy.begin() + 8, Lossy.begin() + 16), "WEBPVP8 ");
    EXPECT_NE(SaveChartToBytes(*Chart, TChartFileFormat::cfWebP, {std::nullopt, true}), Webp);

    EXPECT_THROW_MSG(SaveChartToBytes(*Chart, TChartFileFormat::cfPNG, {50, false}), pv::EInvalidGraphic,
                     "A quality (50) is not possible for PNG: only WebP and AVIF take one");
    EXPECT_THROW_MSG(SaveChartToBytes(*Chart, TChartFileFormat::cfAVIF, {0, false}), pv::EInvalidGraphic,
                     "Quality 0 is out of range 1..100");
    EXPECT_THROW_MSG(SaveChartToBytes(*Chart, TChartFileFormat::cfJPEG, {std::nullopt, true}), pv::EInvalidGraphic,
                     "A transparent background is not possible for JPEG: only PNG, WebP, AVIF and SVG have one");
}

TEST_F(SaveChartTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const fs::path Target = Dir / "chart.png";
    std::ofstream(Target) << "old";
    // A folder of that name cannot be replaced by the picture.
    const fs::path Blocked = Dir / "taken.gif";
    fs::create_directory(Blocked);
    EXPECT_THROW(SaveChartToFile(*Chart, Blocked.string()), pv::EStreamError);
    EXPECT_THROW_MSG_STARTS(SaveChartToFile(*Chart, (Dir / "missing" / "chart.gif").string()), pv::EStreamError,
                            "Cannot write " + (Dir / "missing" / "chart.gif").string() + ": ");
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.png", "taken.gif"}));
    EXPECT_EQ(ReadAll(Target).size(), 3u);
    SaveChartToFile(*Chart, Target.string());
    EXPECT_GT(ReadAll(Target).size(), 100u);
    EXPECT_EQ(Files(), (std::vector<std::string>{"chart.png", "taken.gif"}));
}

}  // namespace
}  // namespace Norq_Plotvane::testing
