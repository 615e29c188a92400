// The loader's readers of the package format, on bytes made here: every
// fault is reported with what, where and why, and no cut or damaged input
// is read past its end.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/rtl/Exception.h"
#include "platform/rtl/PackageInfo.h"
#include "platform/rtl/ResourceImage.h"
#include "platform/rtl/VersionInfo.h"
#include "tests/support/ThrowMessage.h"

namespace {

constexpr std::array<std::string_view, 2> Requires{"rtl60.bpl", "vcl60.bpl"};
constexpr std::array<pv::TPackageUnitDesc, 2> Contains{{{"Pkg", pv::ufMainUnit | pv::ufPackageUnit}, {"Unit1", 0}}};

std::vector<std::uint8_t> SampleManifest() {
    return pv::EncodePackageInfo(pv::pfRunOnly | pv::pfPackageModule, Requires, Contains, "Pkg");
}

TEST(PackageInfoFormatTest, ReadsWhatItsLayoutHolds) {
    const pv::TPackageInfo Info = pv::DecodePackageInfo(SampleManifest(), "test");
    EXPECT_EQ(Info.Flags, pv::pfRunOnly | pv::pfPackageModule);
    EXPECT_EQ(Info.Requires, (std::vector<std::string>{"rtl60.bpl", "vcl60.bpl"}));
    ASSERT_EQ(Info.Contains.size(), 2u);
    EXPECT_EQ(Info.Contains[0].Name, "Pkg");
    EXPECT_EQ(Info.Contains[0].Flags, 3);
    EXPECT_EQ(Info.PackageName, "Pkg");
    EXPECT_EQ(Info.KindText(), "run-only");
    EXPECT_EQ(pv::UnitFlagsText(0x13), "main unit, package unit, implicit unit");
    EXPECT_EQ(pv::UnitFlagsText(0x80), "unknown bits $80");
}

TEST(PackageInfoFormatTest, NameHashIgnoresLetterCase) {
    static_assert(pv::PackageNameHash("VCL_Norq_Plotvane") == pv::PackageNameHash("vcl_norq_plotvane"));
    EXPECT_EQ(pv::PackageNameHash("rtl60.bpl"), pv::PackageNameHash("RTL60.BPL"));
    EXPECT_NE(pv::PackageNameHash("rtl60.bpl"), pv::PackageNameHash("vcl60.bpl"));
}

TEST(PackageInfoFormatTest, EveryCutManifestIsRefused) {
    const auto Whole = SampleManifest();
    for (std::size_t N = 0; N < Whole.size(); ++N) {
        const std::vector<std::uint8_t> Cut(Whole.begin(), Whole.begin() + static_cast<long>(N));
        EXPECT_THROW(pv::DecodePackageInfo(Cut, "cut"), pv::EPackageError) << N << " bytes";
    }
    EXPECT_THROW_MSG(pv::DecodePackageInfo(std::vector<std::uint8_t>{5, 0, 0}, "Package \"p\" manifest"),
                     pv::EPackageError,
                     "Package \"p\" manifest: flags runs past the end: 4 bytes needed, 3 left (at byte 0 of 3)");
}

TEST(PackageInfoFormatTest, FaultsNameTheFieldAndThePlace) {
    auto Patched = [](std::size_t At, std::uint8_t V) {
        auto B = SampleManifest();
        B.at(At) = V;
        return B;
    };
    EXPECT_THROW_MSG(pv::DecodePackageInfo(Patched(7, 0x10), "m"), pv::EPackageError,
                     "m: required package count 268435458 cannot fit in the " +
                         std::to_string(SampleManifest().size() - 8) + " bytes that follow (at byte 4 of " +
                         std::to_string(SampleManifest().size()) + ")");
    EXPECT_THROW_MSG_HAS(pv::DecodePackageInfo(Patched(8, 0), "m"), pv::EPackageError,
                         "m: required package 1 of 2 \"rtl60.bpl\" carries name hash $00, its name hashes to $");
    // A slash would let a manifest point the loader at another folder.
    auto Slash = pv::EncodePackageInfo(pv::pfPackageModule, std::array<std::string_view, 1>{"../x.bpl"}, Contains, "Pkg");
    EXPECT_THROW_MSG_HAS(pv::DecodePackageInfo(Slash, "m"), pv::EPackageError, "\"../x.bpl\" is not a plain file name");
    auto Trailing = SampleManifest();
    Trailing.push_back(0);
    EXPECT_THROW_MSG_HAS(pv::DecodePackageInfo(Trailing, "m"), pv::EPackageError,
                         "1 unexpected bytes after the package name");
    auto EmptyName = pv::EncodePackageInfo(pv::pfPackageModule, Requires, Contains, "");
    EXPECT_THROW_MSG_HAS(pv::DecodePackageInfo(EmptyName, "m"), pv::EPackageError, "package has an empty name");
}

std::vector<std::uint8_t> SampleImage() {
    pv::TResourceImageBuilder B;
    B.Add(pv::RT_RCDATA, "Info", pv::LANG_NEUTRAL, {1, 2, 3});
    B.Add(pv::RT_ICON, 7, 0x0409, {9});
    B.Add(pv::RT_RCDATA, "EMPTY", pv::LANG_NEUTRAL, {});
    return B.Build();
}

TEST(ResourceImageTest, FindsByTypeNameAndLanguage) {
    const auto Bytes = SampleImage();
    EXPECT_EQ(Bytes.size() % 4, 0u);
    const auto Image = pv::TResourceImage::Parse(Bytes, "img");
    ASSERT_EQ(Image.Entries().size(), 3u);
    EXPECT_EQ(Image.Entries()[0].Name, "INFO") << "names are stored upper-case";
    const pv::TResourceEntry* Info = Image.Find(pv::RT_RCDATA, "info", pv::LANG_NEUTRAL);
    ASSERT_NE(Info, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(Info->Data.begin(), Info->Data.end()), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(Image.Find(pv::RT_BITMAP, "INFO", pv::LANG_NEUTRAL), nullptr);
    EXPECT_EQ(Image.Find(pv::RT_ICON, 7, pv::LANG_NEUTRAL), nullptr) << "languages match exactly";
    ASSERT_NE(Image.FindAnyLanguage(pv::RT_ICON, 7), nullptr);
    EXPECT_EQ(Image.FindAnyLanguage(pv::RT_ICON, 7)->Label(), "RT_ICON #7 language $0409");
    EXPECT_EQ(Image.Find(pv::RT_ICON, "7", 0x0409), nullptr) << "a name is no number";
    ASSERT_NE(Image.Find(pv::RT_RCDATA, "EMPTY", 0), nullptr);
    EXPECT_TRUE(Image.Find(pv::RT_RCDATA, "EMPTY", 0)->Data.empty());
}

TEST(ResourceImageTest, EveryCutImageIsRefused) {
    const auto Whole = SampleImage();
    for (std::size_t N = 0; N < Whole.size(); ++N) {
        const std::vector<std::uint8_t> Cut(Whole.begin(), Whole.begin() + static_cast<long>(N));
        EXPECT_THROW(pv::TResourceImage::Parse(Cut, "cut"), pv::EPackageError) << N << " bytes";
    }
}

TEST(ResourceImageTest, DamagedDirectoriesAreReported) {
    auto With = [](std::size_t At, std::uint8_t V) {
        auto B = SampleImage();
        B.at(At) = V;
        return B;
    };
    const std::string Size = std::to_string(SampleImage().size());
    EXPECT_THROW_MSG(pv::TResourceImage::Parse(With(0, 'X'), "dir"), pv::EPackageError,
                     "dir: no resource image magic \"PVRS\" (at byte 0 of " + Size + ")");
    EXPECT_THROW_MSG(pv::TResourceImage::Parse(With(4, 2), "dir"), pv::EPackageError,
                     "dir: unknown format version 2 (at byte 4 of " + Size + ")");
    EXPECT_THROW_MSG(pv::TResourceImage::Parse(With(8, 200), "dir"), pv::EPackageError,
                     "dir: entry count 200 does not fit in an image of " + Size + " bytes (at byte 8 of " + Size + ")");
    // The first entry's data offset moved beyond the image.
    EXPECT_THROW_MSG_HAS(pv::TResourceImage::Parse(With(16 + 12, 0xF0), "dir"), pv::EPackageError,
                         "entry 1 of 3 (RT_RCDATA \"INFO\" language $0000): data of 3 bytes at offset 240 runs past "
                         "the end of the image");
    // The second entry made a twin of the first.
    auto Twin = SampleImage();
    Twin[36] = pv::RT_RCDATA;
    Twin[38] = Twin[39] = 0;
    Twin[40] = 0;
    Twin[44] = Twin[24];
    EXPECT_THROW_MSG_HAS(pv::TResourceImage::Parse(Twin, "dir"), pv::EPackageError,
                         "entry 2 of 3: RT_RCDATA \"INFO\" language $0000 occurs twice");
    // An entry with neither name nor number.
    auto Anonymous = SampleImage();
    Anonymous[40] = 0;
    EXPECT_THROW_MSG_HAS(pv::TResourceImage::Parse(Anonymous, "dir"), pv::EPackageError,
                         "entry 2 of 3: neither a name nor a number");
}

std::vector<std::uint8_t> SampleVersion(std::string_view Comment) {
    pv::TFixedFileInfo F;
    F.FileVersionMS = 0x00020003;
    F.FileVersionLS = 0x00040005;
    F.ProductVersionMS = 0x00010000;
    F.FileFlagsMask = 0x3F;
    F.FileOS = pv::VOS__WINDOWS32;
    F.FileType = pv::VFT_DLL;
    const std::array<pv::TVersionString, 3> Strings{{{"FileVersion", "2.3.4.5"}, {"Comments", Comment}, {"Empty", ""}}};
    return pv::EncodeVersionInfo(F, "040904B0", Strings, 0x0409, 1200);
}

TEST(VersionInfoTest, RoundTripsFixedPartStringsAndTranslation) {
    const auto V = pv::DecodeVersionInfo(SampleVersion("Größe € \xF0\x9F\x93\x88"), "ver");
    EXPECT_EQ(V.FileVersion(), "2.3.4.5");
    EXPECT_EQ(V.ProductVersion(), "1.0.0.0");
    EXPECT_EQ(V.Fixed.Signature, pv::VS_FFI_SIGNATURE);
    EXPECT_EQ(V.Fixed.FileType, pv::VFT_DLL);
    EXPECT_EQ(V.Fixed.FileFlagsMask, 0x3Fu);
    ASSERT_EQ(V.StringTables.size(), 1u);
    EXPECT_EQ(V.StringTables[0].Key, "040904B0");
    ASSERT_EQ(V.StringTables[0].Strings.size(), 3u);
    EXPECT_EQ(V.StringTables[0].Strings[1].second, "Größe € \xF0\x9F\x93\x88") << "through UTF-16 and back";
    EXPECT_EQ(*V.FindString("Empty"), "");
    EXPECT_EQ(V.FindString("Missing"), nullptr);
    ASSERT_EQ(V.Translations.size(), 1u);
    EXPECT_EQ(V.Translations[0].Language, 0x0409);
    EXPECT_EQ(V.Translations[0].CodePage, 1200);
}

TEST(VersionInfoTest, EveryCutBlockIsRefusedAndFaultsAreNamed) {
    const auto Whole = SampleVersion("x");
    for (std::size_t N = 0; N + 3 < Whole.size(); ++N) {
        const std::vector<std::uint8_t> Cut(Whole.begin(), Whole.begin() + static_cast<long>(N));
        EXPECT_THROW(pv::DecodeVersionInfo(Cut, "cut"), pv::EPackageError) << N << " bytes";
    }
    auto BadSignature = Whole;
    BadSignature[40] ^= 1;  // the fixed part starts after the 6-byte header and the padded key
    EXPECT_THROW_MSG(pv::DecodeVersionInfo(BadSignature, "ver"), pv::EPackageError,
                     "ver, fixed part: signature is not $FEEF04BD (at byte 0 of 52)");
    auto TooLong = Whole;
    TooLong[0] = 0xFF;
    TooLong[1] = 0x7F;
    EXPECT_THROW_MSG_HAS(pv::DecodeVersionInfo(TooLong, "ver"), pv::EPackageError,
                         "ver: root node has length 32767, but");
}

}  // namespace
