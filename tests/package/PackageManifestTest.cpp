// The resources of VCL_Norq_Plotvane.bpl, byte by byte: read through the
// loader from the loaded package and decoded here by readers written from
// the layouts, not by the package's own encoders or the loader's decoders.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/rtl/Exception.h"
#include "platform/rtl/PackageFile.h"
#include "platform/rtl/PackageLoader.h"
#include "tests/package/PackageTestSupport.h"

namespace {

using pvtest::PackageFile;
using pvtest::U16At;

// A little-endian cursor that fails the test's expectations by throwing.
class TCursor {
public:
    explicit TCursor(std::span<const std::uint8_t> B) : FB(B) {}
    std::uint8_t U8() { return Need(1), FB[FPos++]; }
    std::uint16_t U16() {
        Need(2);
        const auto V = static_cast<std::uint16_t>(FB[FPos] | FB[FPos + 1] << 8);
        FPos += 2;
        return V;
    }
    std::uint32_t U32() {
        const std::uint32_t Lo = U16();
        return Lo | std::uint32_t{U16()} << 16;
    }
    std::string Text8() {
        std::string S;
        for (std::uint8_t C = U8(); C != 0; C = U8()) S += static_cast<char>(C);
        return S;
    }
    // UTF-16LE, zero-terminated; these resources hold ASCII only.
    std::string Text16() {
        std::string S;
        for (std::uint16_t C = U16(); C != 0; C = U16()) {
            if (C > 0x7F) throw std::runtime_error("non-ASCII character");
            S += static_cast<char>(C);
        }
        return S;
    }
    void Align4() { FPos = (FPos + 3) & ~std::size_t{3}; }
    std::size_t Pos() const { return FPos; }
    void Seek(std::size_t P) { FPos = P; }
    bool AtEnd() const { return FPos == FB.size(); }

private:
    void Need(std::size_t N) const {
        if (FPos + N > FB.size()) throw std::runtime_error("read past the end");
    }
    std::span<const std::uint8_t> FB;
    std::size_t FPos = 0;
};

// The name hash as the package format documents it: FNV-1a over the
// upper-cased name, folded to one byte by XOR of the four bytes.
std::uint8_t DocumentedHash(std::string_view Name) {
    std::uint32_t H = 2166136261u;
    for (char C : Name) H = (H ^ static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(C)))) * 16777619u;
    return static_cast<std::uint8_t>(H ^ H >> 8 ^ H >> 16 ^ H >> 24);
}

class PackageManifestTest : public ::testing::Test {
protected:
    void SetUp() override { Handle = pv::LoadPackage(PackageFile.string()); }
    void TearDown() override { pv::UnloadPackage(Handle); }

    std::vector<std::uint8_t> Resource(pv::TResType Type, const pv::TResName& Name, std::uint16_t Language) const {
        auto Bytes = pv::FindResource(Handle, Type, Name, Language);
        if (!Bytes) throw std::runtime_error("resource " + Name.ToString() + " not found");
        return {Bytes->begin(), Bytes->end()};
    }

    pv::HMODULE Handle = nullptr;
};

TEST_F(PackageManifestTest, PackageInfoHoldsEveryFieldInItsPlace) {
    const auto Bytes = Resource(pv::RT_RCDATA, "PACKAGEINFO", pv::LANG_NEUTRAL);
    TCursor C(Bytes);
    const std::uint32_t Flags = C.U32();
    EXPECT_EQ(Flags, 0x4C000005u);
    EXPECT_EQ(Flags & 0x1, 0x1u) << "never-build";
    EXPECT_EQ(Flags & 0x2, 0x0u) << "design-only must be clear";
    EXPECT_EQ(Flags & 0x4, 0x4u) << "run-only";
    EXPECT_EQ((Flags >> 26) & 3, 3u) << "producer";
    EXPECT_EQ(Flags & 0xC0000000, 0x40000000u) << "module kind package";

    ASSERT_EQ(C.U32(), 8u);
    for (const std::string& Expected : pvtest::PlatformPackages) {
        const std::uint8_t Hash = C.U8();
        const std::string Name = C.Text8();
        EXPECT_EQ(Name, Expected);
        EXPECT_EQ(Hash, DocumentedHash(Name)) << Name;
    }

    ASSERT_EQ(C.U32(), 3u);
    const std::array<std::pair<std::uint8_t, std::string>, 3> Units{{
        {0x03, "VCL_Norq_Plotvane"}, {0x00, "Norq_Plotvane"}, {0x00, "SysInit"}}};
    std::uint8_t PackageUnitHash = 0;
    for (const auto& [ExpectedFlags, ExpectedName] : Units) {
        EXPECT_EQ(C.U8(), ExpectedFlags) << ExpectedName;
        const std::uint8_t Hash = C.U8();
        EXPECT_EQ(C.Text8(), ExpectedName);
        EXPECT_EQ(Hash, DocumentedHash(ExpectedName)) << ExpectedName;
        if (ExpectedName == "VCL_Norq_Plotvane") PackageUnitHash = Hash;
    }

    const std::uint8_t OwnHash = C.U8();
    EXPECT_EQ(C.Text8(), "VCL_Norq_Plotvane");
    EXPECT_EQ(OwnHash, PackageUnitHash) << "the package unit and the package's own name share their hash";
    EXPECT_TRUE(C.AtEnd()) << "nothing follows the package's own name";
}

TEST_F(PackageManifestTest, DescriptionIsZeroTerminatedUtf16) {
    const auto Bytes = Resource(pv::RT_RCDATA, "DESCRIPTION", pv::LANG_NEUTRAL);
    const std::string Text = "Norq Plotvane Runtime Library";
    ASSERT_EQ(Bytes.size(), 2 * (Text.size() + 1));
    for (std::size_t I = 0; I < Text.size(); ++I) {
        EXPECT_EQ(Bytes[2 * I], static_cast<std::uint8_t>(Text[I]));
        EXPECT_EQ(Bytes[2 * I + 1], 0);
    }
    EXPECT_EQ(Bytes[Bytes.size() - 2], 0);
    EXPECT_EQ(Bytes.back(), 0);
    EXPECT_EQ(pv::GetPackageDescription(Handle), Text);
}

TEST_F(PackageManifestTest, PackageOptionsEndWithTheDescription) {
    const auto Bytes = Resource(pv::RT_RCDATA, "PACKAGEOPTIONS", pv::LANG_NEUTRAL);
    TCursor C(Bytes);
    const std::uint8_t OptionCount = C.U8();
    ASSERT_GE(OptionCount, 2);
    EXPECT_EQ(C.U8(), 1) << "format version";
    EXPECT_EQ(C.U8(), 1) << "run-only";
    for (int I = 2; I < OptionCount; ++I) C.U8();
    const std::uint16_t AliasLength = C.U16();
    C.Seek(C.Pos() + AliasLength);
    const std::uint8_t DescriptionLength = C.U8();
    std::string Description;
    for (int I = 0; I < DescriptionLength; ++I) Description += static_cast<char>(C.U8());
    EXPECT_EQ(Description, "Norq Plotvane Runtime Library");
    EXPECT_TRUE(C.AtEnd());
}

// One node of a version block: length, value length, type, key, value,
// children, each on a 4-byte boundary.
struct TVersionNode {
    std::string Key;
    std::uint16_t Type = 0;
    std::vector<std::uint8_t> Value;
    std::vector<TVersionNode> Children;
};

TVersionNode ReadVersionNode(TCursor& C, std::span<const std::uint8_t> Bytes) {
    C.Align4();
    const std::size_t Start = C.Pos();
    const std::uint16_t Length = C.U16();
    const std::uint16_t ValueLength = C.U16();
    TVersionNode N;
    N.Type = C.U16();
    N.Key = C.Text16();
    C.Align4();
    const std::size_t ValueBytes = N.Type == 1 ? ValueLength * 2u : ValueLength;
    for (std::size_t I = 0; I < ValueBytes; ++I) N.Value.push_back(C.U8());
    while (true) {
        C.Align4();
        if (C.Pos() >= Start + Length) break;
        N.Children.push_back(ReadVersionNode(C, Bytes));
    }
    C.Seek(Start + Length);
    return N;
}

std::string Utf16Value(const TVersionNode& N) {
    std::string S;
    for (std::size_t I = 0; I + 1 < N.Value.size(); I += 2) {
        const int Ch = N.Value[I] | N.Value[I + 1] << 8;
        if (Ch == 0) break;
        S += static_cast<char>(Ch);
    }
    return S;
}

TEST_F(PackageManifestTest, VersionBlockHoldsVersionLanguageAndStrings) {
    const auto Bytes = Resource(pv::RT_VERSION, 1, 0x0407);
    TCursor C(Bytes);
    const TVersionNode Root = ReadVersionNode(C, Bytes);
    EXPECT_EQ((U16At(Bytes, 0) + 3u) & ~3u, Bytes.size()) << "the root's length covers the block";
    EXPECT_EQ(Root.Key, "VS_VERSION_INFO");
    ASSERT_EQ(Root.Value.size(), 52u);
    std::array<std::uint32_t, 13> F{};
    for (int I = 0; I < 13; ++I) F[I] = pvtest::U32At(Root.Value, 4 * I);
    EXPECT_EQ(F[0], 0xFEEF04BDu) << "signature";
    EXPECT_EQ(F[2], 0x00010000u) << "file version 1.0";
    EXPECT_EQ(F[3], 0x00000000u) << "file version .0.0";
    EXPECT_EQ(F[4], 0x00010000u) << "product version 1.0";
    EXPECT_EQ(F[5], 0x00000000u) << "product version .0.0";
    EXPECT_EQ(F[6], 0x3Fu) << "flags mask";
    EXPECT_EQ(F[7], 0u) << "flags";
    EXPECT_EQ(F[8], 4u) << "operating system: 32-bit Windows";
    EXPECT_EQ(F[9], 1u) << "file type: application";
    EXPECT_EQ(F[10], 0u) << "subtype";
    EXPECT_EQ(F[11], 0u) << "date";
    EXPECT_EQ(F[12], 0u) << "date";

    ASSERT_EQ(Root.Children.size(), 2u);
    const TVersionNode& StringInfo = Root.Children[0];
    EXPECT_EQ(StringInfo.Key, "StringFileInfo");
    ASSERT_EQ(StringInfo.Children.size(), 1u);
    const TVersionNode& Table = StringInfo.Children[0];
    EXPECT_EQ(Table.Key, "040704E4");
    const std::array<std::pair<const char*, const char*>, 10> Expected{{
        {"CompanyName", ""},
        {"FileDescription", ""},
        {"FileVersion", "1.0.0.0"},
        {"InternalName", ""},
        {"LegalCopyright", ""},
        {"LegalTrademarks", ""},
        {"OriginalFilename", ""},
        {"ProductName", ""},
        {"ProductVersion", "1.0.0.0"},
        {"Comments", ""},
    }};
    ASSERT_EQ(Table.Children.size(), Expected.size());
    for (std::size_t I = 0; I < Expected.size(); ++I) {
        EXPECT_EQ(Table.Children[I].Key, Expected[I].first);
        EXPECT_EQ(Table.Children[I].Type, 1) << Expected[I].first;
        EXPECT_EQ(Utf16Value(Table.Children[I]), Expected[I].second) << Expected[I].first;
    }

    const TVersionNode& VarInfo = Root.Children[1];
    EXPECT_EQ(VarInfo.Key, "VarFileInfo");
    ASSERT_EQ(VarInfo.Children.size(), 1u);
    EXPECT_EQ(VarInfo.Children[0].Key, "Translation");
    EXPECT_EQ(VarInfo.Children[0].Type, 0);
    ASSERT_EQ(VarInfo.Children[0].Value.size(), 4u);
    EXPECT_EQ(U16At(VarInfo.Children[0].Value, 0), 0x0407);
    EXPECT_EQ(U16At(VarInfo.Children[0].Value, 2), 0x04E4);
}

// The colour index at (X, Y), top-down, of a 4-bit bottom-up DIB whose rows
// start at Offset.
int Pixel4(const std::vector<std::uint8_t>& Dib, std::size_t Offset, int RowBytes, int Height, int X, int Y) {
    const std::uint8_t B = Dib.at(Offset + static_cast<std::size_t>((Height - 1 - Y) * RowBytes + X / 2));
    return X % 2 == 0 ? B >> 4 : B & 15;
}

constexpr std::array<std::uint32_t, 16> StandardColours{
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

void ExpectStandardPalette(const std::vector<std::uint8_t>& Dib) {
    for (std::size_t I = 0; I < 16; ++I) {
        const std::size_t At = 40 + 4 * I;
        const std::uint32_t Rgb = Dib[At + 2] << 16 | Dib[At + 1] << 8 | Dib[At];
        EXPECT_EQ(Rgb, StandardColours[I]) << "palette entry " << I;
        EXPECT_EQ(Dib[At + 3], 0);
    }
}

TEST_F(PackageManifestTest, PaletteGlyphIsA24By24SixteenColourDib) {
    EXPECT_FALSE(pv::FindResource(Handle, pv::RT_BITMAP, "TNORQ_DBPLOTVANE", pv::LANG_NEUTRAL))
        << "the glyph is German, not neutral";
    const auto Dib = Resource(pv::RT_BITMAP, "TNORQ_DBPLOTVANE", 0x0407);
    ASSERT_EQ(Dib.size(), 40u + 16 * 4 + 24 * 12);
    EXPECT_EQ(pvtest::U32At(Dib, 0), 40u) << "header size";
    EXPECT_EQ(static_cast<std::int32_t>(pvtest::U32At(Dib, 4)), 24) << "width";
    EXPECT_EQ(static_cast<std::int32_t>(pvtest::U32At(Dib, 8)), 24) << "height, positive: rows bottom-up";
    EXPECT_EQ(U16At(Dib, 12), 1) << "planes";
    EXPECT_EQ(U16At(Dib, 14), 4) << "bits a pixel";
    EXPECT_EQ(pvtest::U32At(Dib, 16), 0u) << "BI_RGB";
    EXPECT_EQ(pvtest::U32At(Dib, 20), 24u * 12) << "image size: 24 rows of 12 bytes";
    const std::uint32_t Used = pvtest::U32At(Dib, 32);
    EXPECT_TRUE(Used == 16 || Used == 0) << Used;
    ExpectStandardPalette(Dib);

    auto At = [&](int X, int Y) { return Pixel4(Dib, 40 + 64, 12, 24, X, Y); };
    EXPECT_EQ(At(0, 0), 3) << "olive background";
    EXPECT_EQ(At(23, 23), 3) << "olive background";
    // The four bars, left to right, just above the base line.
    EXPECT_EQ(At(3, 20), 9) << "red bar";
    EXPECT_EQ(At(8, 20), 10) << "green bar";
    EXPECT_EQ(At(13, 20), 11) << "yellow bar";
    EXPECT_EQ(At(18, 20), 13) << "magenta bar";
    // The table behind them and the globe.
    EXPECT_EQ(At(3, 5), 15) << "a white table cell";
    EXPECT_EQ(At(5, 7), 7) << "a grid line";
    EXPECT_EQ(At(23, 7), 4) << "the globe's rim";
    EXPECT_EQ(At(18, 3), 12) << "the globe's sea";
}

TEST_F(PackageManifestTest, MainIconIsOne32By32SixteenColourMaskedIcon) {
    const auto Group = Resource(pv::RT_GROUP_ICON, "MAINICON", 0x0407);
    const auto Icon = Resource(pv::RT_ICON, 1, 0x0407);
    ASSERT_EQ(Group.size(), 6u + 14);
    EXPECT_EQ(U16At(Group, 0), 0);
    EXPECT_EQ(U16At(Group, 2), 1) << "icons";
    EXPECT_EQ(U16At(Group, 4), 1) << "one icon";
    EXPECT_EQ(Group[6], 32);
    EXPECT_EQ(Group[7], 32);
    EXPECT_EQ(Group[8], 16) << "colours";
    EXPECT_EQ(U16At(Group, 10), 1) << "planes";
    EXPECT_EQ(U16At(Group, 12), 4) << "bits a pixel";
    EXPECT_EQ(pvtest::U32At(Group, 14), Icon.size());
    EXPECT_EQ(U16At(Group, 18), 1) << "icon resource #1";

    ASSERT_EQ(Icon.size(), 40u + 64 + 32 * 16 + 32 * 4);
    EXPECT_EQ(static_cast<std::int32_t>(pvtest::U32At(Icon, 4)), 32);
    EXPECT_EQ(static_cast<std::int32_t>(pvtest::U32At(Icon, 8)), 64) << "colour rows and mask rows";
    EXPECT_EQ(U16At(Icon, 14), 4);
    ExpectStandardPalette(Icon);
    // The AND mask follows the colour rows, bottom-up, 4 bytes a row.
    const std::size_t Mask = 40 + 64 + 32 * 16;
    auto Transparent = [&](int X, int Y) { return (Icon.at(Mask + (31 - Y) * 4 + X / 8) >> (7 - X % 8)) & 1; };
    EXPECT_EQ(Transparent(0, 0), 1);
    EXPECT_EQ(Transparent(31, 31), 1);
    EXPECT_EQ(Transparent(16, 16), 0);
    EXPECT_EQ(Pixel4(Icon, 40 + 64, 16, 32, 0, 0), 0) << "transparent pixels are black in the colour rows";
}

TEST_F(PackageManifestTest, LanguagesAreExactAndTheFileHoldsTheSameBytes) {
    // The file's resource section, read with this test's own directory
    // reader, holds the very bytes the loaded package hands out.
    const pvtest::TTestElf Elf(pvtest::ReadBytes(PackageFile));
    const auto Dir = pvtest::ResourceDirectory(Elf);
    ASSERT_EQ(Dir.size(), 7u);
    struct TExpected {
        pv::TResType Type;
        const char* Name;
        std::uint16_t Id;
        std::uint16_t Language;
    };
    const TExpected All[] = {{pv::RT_RCDATA, "DESCRIPTION", 0, 0},       {pv::RT_RCDATA, "PACKAGEINFO", 0, 0},
                             {pv::RT_RCDATA, "PACKAGEOPTIONS", 0, 0},    {pv::RT_BITMAP, "TNORQ_DBPLOTVANE", 0, 0x0407},
                             {pv::RT_GROUP_ICON, "MAINICON", 0, 0x0407}, {pv::RT_ICON, "", 1, 0x0407},
                             {pv::RT_VERSION, "", 1, 0x0407}};
    for (const TExpected& E : All) {
        const pvtest::TTestResource& R = pvtest::FindTestResource(Dir, E.Type, E.Name, E.Id);
        EXPECT_EQ(R.Language, E.Language) << E.Name << E.Id;
        const pv::TResName Name = *E.Name ? pv::TResName(E.Name) : pv::TResName(E.Id);
        const auto InMemory = Resource(E.Type, Name, E.Language);
        const std::vector<std::uint8_t> InFile(Elf.Bytes().begin() + static_cast<long>(R.DataAt),
                                               Elf.Bytes().begin() + static_cast<long>(R.DataAt + R.Size));
        EXPECT_EQ(InMemory, InFile) << E.Name << E.Id;
    }
    // Names are found ignoring letter case, as resource names always are.
    EXPECT_TRUE(pv::FindResource(Handle, pv::RT_BITMAP, "tNorq_DBPlotvane", 0x0407));
    EXPECT_FALSE(pv::FindResource(Handle, pv::RT_ICON, 2, 0x0407));
}

TEST_F(PackageManifestTest, FileReaderAgreesWithTheLoadedPackage) {
    const pv::TPackageFile File = pv::TPackageFile::Read(PackageFile.string());
    const pv::TPackageInfo FromMemory = pv::GetPackageInfo(Handle);
    EXPECT_EQ(File.Info().Flags, FromMemory.Flags);
    EXPECT_EQ(File.Info().Requires, FromMemory.Requires);
    EXPECT_EQ(File.Info().Requires, pvtest::PlatformPackages);
    EXPECT_EQ(File.Info().PackageName, "VCL_Norq_Plotvane");
    EXPECT_EQ(File.Info().KindText(), "run-only");
    ASSERT_EQ(File.Info().Contains.size(), 3u);
    EXPECT_EQ(pv::UnitFlagsText(File.Info().Contains[0].Flags), "main unit, package unit");
    EXPECT_EQ(File.Description(), "Norq Plotvane Runtime Library");
    const auto Version = File.Version();
    ASSERT_TRUE(Version);
    EXPECT_EQ(Version->FileVersion(), "1.0.0.0");
    EXPECT_EQ(Version->ProductVersion(), "1.0.0.0");
    ASSERT_NE(Version->FindString("FileVersion"), nullptr);
    EXPECT_EQ(*Version->FindString("FileVersion"), "1.0.0.0");
    EXPECT_EQ(*Version->FindString("CompanyName"), "");
    ASSERT_EQ(Version->Translations.size(), 1u);
    EXPECT_EQ(Version->Translations[0].Language, 0x0407);
    EXPECT_EQ(Version->Translations[0].CodePage, 0x04E4);
}

TEST(PackageResourceDamageTest, EveryDamagedByteIsReadSafely) {
    // Each byte of the package's resource image in turn inverted: the
    // readers either read the image or report it damaged, and never read
    // outside it (the sanitizer build checks that).
    const pvtest::TTestElf Elf(pvtest::ReadBytes(PackageFile));
    const auto Image = Elf.SectionBytes(".pvrsrc");
    int Refused = 0;
    for (std::size_t At = 0; At < Image.size(); ++At) {
        auto Bytes = Image;
        Bytes[At] ^= 0xFF;
        try {
            const auto Parsed = pv::TResourceImage::Parse(Bytes, "image");
            for (const pv::TResourceEntry& E : Parsed.Entries()) {
                if (E.Matches(pv::RT_RCDATA, "PACKAGEINFO")) pv::DecodePackageInfo(E.Data, "manifest");
                if (E.Matches(pv::RT_RCDATA, "DESCRIPTION")) pv::DecodeDescription(E.Data, "description");
                if (E.Matches(pv::RT_VERSION, 1)) pv::DecodeVersionInfo(E.Data, "version");
            }
        } catch (const pv::EPackageError&) {
            ++Refused;
        }
    }
    // The directory, the manifest's counts and names, and the version
    // block's lengths are all checked, so many of the faults are found.
    EXPECT_GT(Refused, 200);
}

}  // namespace
