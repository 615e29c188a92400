// plotvane package-info against the built package: what it prints, and the
// glyph and icon it writes, read back from the PNG files.

#include <cairo.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/package/PackageTestSupport.h"
#include "tools/Commands.h"

namespace {

using pvtest::TTempDir;

struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};

TRun RunInfo(std::vector<std::string> Args) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int Status = plotvane::RunPackageInfo(Args);
    std::string Out = ::testing::internal::GetCapturedStdout();
    return {Status, Out, ::testing::internal::GetCapturedStderr()};
}

// A PNG file's pixels, 0xRRGGBB, row after row.
struct TPng {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels.at(static_cast<std::size_t>(Y * Width + X)); }
};

TPng ReadPng(const pvtest::fs::path& File) {
    cairo_surface_t* S = cairo_image_surface_create_from_png(File.c_str());
    TPng P;
    if (cairo_surface_status(S) == CAIRO_STATUS_SUCCESS) {
        P.Width = cairo_image_surface_get_width(S);
        P.Height = cairo_image_surface_get_height(S);
        const int Stride = cairo_image_surface_get_stride(S);
        const unsigned char* Data = cairo_image_surface_get_data(S);
        for (int Y = 0; Y < P.Height; ++Y)
            for (int X = 0; X < P.Width; ++X)
                P.Pixels.push_back(reinterpret_cast<const std::uint32_t*>(Data + Y * Stride)[X] & 0xFFFFFF);
    }
    cairo_surface_destroy(S);
    return P;
}

TEST(PackageInfoCommandTest, PrintsIdentityRequirementsUnitsAndVersion) {
    const TRun R = RunInfo({pvtest::PackageFile.string()});
    ASSERT_EQ(R.Status, 0) << R.Err;
    for (const char* Line : {"Package       VCL_Norq_Plotvane\n", "Description   Norq Plotvane Runtime Library\n",
                             "Kind          run-only (flags $4C000005: never-build, run-only, producer 3, package module)\n",
                             "Contains      VCL_Norq_Plotvane  $03 main unit, package unit\n",
                             "              Norq_Plotvane      $00 none\n", "              SysInit            $00 none\n",
                             "Version       1.0.0.0 (file), 1.0.0.0 (product)\n",
                             "Language      $0407 German (Germany)\n",
                             "Code page     1252 ($04E4) Western European (Windows-1252)\n",
                             "Glyph         RT_BITMAP \"TNORQ_DBPLOTVANE\" language $0407: 24 x 24, 4 bits a pixel, 16 colours\n"})
        EXPECT_NE(R.Out.find(Line), std::string::npos) << Line << "in:\n" << R.Out;
    // The required packages, one a line, in the manifest's order.
    std::string Requires = "Requires      ";
    for (std::size_t I = 0; I < pvtest::PlatformPackages.size(); ++I)
        Requires += (I ? "              " : "") + pvtest::PlatformPackages[I] + "\n";
    EXPECT_NE(R.Out.find(Requires + "Contains"), std::string::npos) << R.Out;

    // Without a file it describes the package the program runs with.
    const TRun Default = RunInfo({});
    ASSERT_EQ(Default.Status, 0) << Default.Err;
    EXPECT_NE(Default.Out.find("File          " + pvtest::PackageFile.string() + "\n"), std::string::npos) << Default.Out;
}

TEST(PackageInfoCommandTest, WritesTheGlyphAndTheIconAsPng) {
    TTempDir Dir;
    const TRun R = RunInfo({pvtest::PackageFile.string(), "--glyph", (Dir / "glyph.png").string(), "--icon",
                        (Dir / "icon.png").string()});
    ASSERT_EQ(R.Status, 0) << R.Err;
    const TPng Glyph = ReadPng(Dir / "glyph.png");
    ASSERT_EQ(Glyph.Width, 24);
    ASSERT_EQ(Glyph.Height, 24);
    EXPECT_EQ(Glyph.At(0, 0), 0x808000u) << "olive";
    EXPECT_EQ(Glyph.At(3, 20), 0xFF0000u) << "red bar";
    EXPECT_EQ(Glyph.At(8, 20), 0x00FF00u) << "green bar";
    EXPECT_EQ(Glyph.At(13, 20), 0xFFFF00u) << "yellow bar";
    EXPECT_EQ(Glyph.At(18, 20), 0xFF00FFu) << "magenta bar";
    EXPECT_EQ(Glyph.At(18, 3), 0x0000FFu) << "the globe";
    EXPECT_EQ(Glyph.At(3, 5), 0xFFFFFFu) << "the table";

    const TPng Icon = ReadPng(Dir / "icon.png");
    ASSERT_EQ(Icon.Width, 32);
    ASSERT_EQ(Icon.Height, 32);
    EXPECT_EQ(Icon.At(0, 0), 0xFFFFFFu) << "transparent, written white";
    EXPECT_EQ(Icon.At(2, 10), 0x000000u) << "the card's outline";
    EXPECT_EQ(Icon.At(8, 24), 0xFF0000u) << "the red bar";
}

TEST(PackageInfoCommandTest, ScalesThePicturesOnRequest) {
    TTempDir Dir;
    const TRun R = RunInfo({pvtest::PackageFile.string(), "--glyph", (Dir / "glyph.png").string(), "--scale", "8"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    const TPng Glyph = ReadPng(Dir / "glyph.png");
    ASSERT_EQ(Glyph.Width, 192);
    EXPECT_EQ(Glyph.At(3 * 8 + 7, 20 * 8), 0xFF0000u);
    EXPECT_EQ(RunInfo({pvtest::PackageFile.string(), "--scale", "0"}).Status, 2);
    EXPECT_EQ(RunInfo({pvtest::PackageFile.string(), "--scale", "8x"}).Status, 2);
}

TEST(PackageInfoCommandTest, DamagedPackagesFailWithTheFaultAndWriteNothing) {
    TTempDir Dir;
    auto Bytes = pvtest::ReadBytes(pvtest::PackageFile);
    const auto Directory = pvtest::ResourceDirectory(pvtest::TTestElf(Bytes));
    const auto& Glyph = pvtest::FindTestResource(Directory, 2, "TNORQ_DBPLOTVANE");
    pvtest::PutU32(Bytes, Glyph.DataAt + 4, 100000);  // a width no DIB of 392 bytes holds
    pvtest::WriteBytes(Dir / "bad.bpl", Bytes);
    const TRun R = RunInfo({(Dir / "bad.bpl").string(), "--glyph", (Dir / "glyph.png").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find("bad.bpl\": glyph RT_BITMAP \"TNORQ_DBPLOTVANE\" language $0407: size 100000 x 24 is out of range"),
              std::string::npos)
        << R.Err;
    EXPECT_FALSE(pvtest::fs::exists(Dir / "glyph.png"));

    const TRun Missing = RunInfo({(Dir / "none.bpl").string()});
    EXPECT_EQ(Missing.Status, 1);
    EXPECT_NE(Missing.Err.find("none.bpl\" not found"), std::string::npos) << Missing.Err;
}

}  // namespace
