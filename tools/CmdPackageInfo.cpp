// plotvane package-info: what a component package says about itself, read
// from the file without loading it, and its palette glyph and icon as PNG.

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/ByteBuffer.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/PackageFile.h"
#include "platform/vcl/Bitmap.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane package-info [PACKAGE] [--glyph FILE] [--icon FILE] [--scale N]

Reads the manifest and the resources of a component package without
loading it, and prints its description, kind, required packages (in
order), contained units with their flags, version, language and code page.

  PACKAGE       the package file (default: the VCL_Norq_Plotvane.bpl this
                program runs with, else the one next to it or one folder up)
  --glyph FILE  write the palette glyph of each component class, the bitmap
                resource named after the class, to FILE as PNG
  --icon FILE   write the package icon (MAINICON) to FILE as PNG; its
                transparent pixels are written white
  --scale N     enlarge both pictures N times (1 to 32, default 1)
)";

constexpr std::string_view DefaultPackage = "VCL_Norq_Plotvane.bpl";
constexpr std::string_view GlyphName = "TNORQ_DBPLOTVANE";

std::string Hex(std::uint32_t V, int Digits) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%0*X", Digits, V);
    return Buf;
}

std::string LanguageName(std::uint16_t Lang) {
    switch (Lang) {
        case 0x0000: return "neutral";
        case 0x0407: return "German (Germany)";
        case 0x0409: return "English (United States)";
        case 0x0809: return "English (United Kingdom)";
        case 0x040C: return "French (France)";
        default: return "language " + Hex(Lang, 4);
    }
}

std::string CodePageName(std::uint16_t CodePage) {
    switch (CodePage) {
        case 1200: return "Unicode (UTF-16LE)";
        case 1252: return "Western European (Windows-1252)";
        case 65001: return "Unicode (UTF-8)";
        default: return "code page " + std::to_string(CodePage);
    }
}

std::string FlagsText(std::uint32_t Flags) {
    std::string Out;
    auto Add = [&](const std::string& S) { Out += (Out.empty() ? "" : ", ") + S; };
    if (Flags & pv::pfNeverBuild) Add("never-build");
    if (Flags & pv::pfDesignOnly) Add("design-only");
    if (Flags & pv::pfRunOnly) Add("run-only");
    if (Flags & pv::pfIgnoreDupUnits) Add("ignores duplicate units");
    Add("producer " + std::to_string((Flags & pv::pfProducerMask) >> pv::pfProducerShift));
    switch (Flags & pv::pfModuleKindMask) {
        case pv::pfProgramModule: Add("program module"); break;
        case pv::pfPackageModule: Add("package module"); break;
        case pv::pfLibraryModule: Add("library module"); break;
        default: Add("unknown module kind"); break;
    }
    return Out;
}

// The default package: the one this program has loaded (it links against
// the package), else the file next to the program or in its parent folder
// (a build tree keeps the packages in its root, the program below it).
std::string DefaultPackageFile() {
    if (void* H = dlopen(std::string(DefaultPackage).c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        link_map* Map = nullptr;
        std::string Path;
        if (dlinfo(H, RTLD_DI_LINKMAP, &Map) == 0 && Map && Map->l_name) Path = Map->l_name;
        dlclose(H);
        if (!Path.empty()) return Path;
    }
    std::error_code Ec;
    const auto Exe = std::filesystem::read_symlink("/proc/self/exe", Ec);
    const auto Folder = Ec ? std::filesystem::current_path() : Exe.parent_path();
    for (const auto& Candidate : {Folder / DefaultPackage, Folder.parent_path() / DefaultPackage})
        if (std::filesystem::exists(Candidate, Ec)) return Candidate.string();
    return (Folder / DefaultPackage).string();
}

// A device-independent bitmap as bitmap and icon resources hold it.
struct TDib {
    int Width = 0;
    int Height = 0;      // of the picture (for an icon: half the header's)
    int BitCount = 0;
    int Colors = 0;      // entries in the colour table
    bool BottomUp = true;
    std::unique_ptr<pv::TBitmap> Picture;
};

// Decodes an uncompressed DIB of 1, 4, 8, 24 or 32 bits a pixel. With
// IconMask the header's height counts the colour rows and the AND mask
// after them, and pixels the mask marks transparent are painted Background.
// Every size is checked against the bytes present; faults raise
// EPackageError naming What.
TDib DecodeDib(std::span<const std::uint8_t> Bytes, const std::string& What, bool IconMask,
               pv::TColor Background = pv::clWhite) {
    pv::TByteReader R(Bytes, What);
    const std::uint32_t HeaderSize = R.U32("header size");
    if (HeaderSize < 40 || HeaderSize > Bytes.size()) R.FailAt(0, "header size " + std::to_string(HeaderSize) + " is not that of a DIB header");
    TDib D;
    const auto Width = static_cast<std::int32_t>(R.U32("width"));
    auto Height = static_cast<std::int32_t>(R.U32("height"));
    const std::uint16_t Planes = R.U16("planes");
    D.BitCount = R.U16("bit count");
    const std::uint32_t Compression = R.U32("compression");
    R.U32("image size");
    R.U32("horizontal resolution");
    R.U32("vertical resolution");
    const std::uint32_t ClrUsed = R.U32("colours used");
    R.U32("important colours");
    R.Skip(HeaderSize - 40, "header extension");
    if (Planes != 1) R.FailAt(12, "plane count " + std::to_string(Planes) + ", expected 1");
    if (Compression != 0) R.FailAt(16, "compression " + std::to_string(Compression) + ", only uncompressed (BI_RGB) is read");
    if (D.BitCount != 1 && D.BitCount != 4 && D.BitCount != 8 && D.BitCount != 24 && D.BitCount != 32)
        R.FailAt(14, std::to_string(D.BitCount) + " bits a pixel cannot be read");
    D.BottomUp = Height > 0;
    if (Height < 0) Height = -Height;
    if (IconMask) {
        if (Height % 2 != 0) R.FailAt(8, "icon height " + std::to_string(Height) + " is odd (colour rows + mask rows)");
        Height /= 2;
    }
    if (Width <= 0 || Height <= 0 || Width > 4096 || Height > 4096)
        R.FailAt(4, "size " + std::to_string(Width) + " x " + std::to_string(Height) + " is out of range");
    D.Width = Width;
    D.Height = Height;
    const std::uint32_t MaxColors = D.BitCount <= 8 ? 1u << D.BitCount : 0;
    D.Colors = static_cast<int>(ClrUsed == 0 ? MaxColors : ClrUsed);
    if (static_cast<std::uint32_t>(D.Colors) > std::max<std::uint32_t>(MaxColors, 256))
        R.FailAt(32, std::to_string(ClrUsed) + " colours in the table, at most " + std::to_string(MaxColors) + " fit");
    std::vector<pv::TColor> Palette;
    for (int I = 0; I < D.Colors; ++I) {
        const auto Quad = R.Bytes(4, "colour table");
        Palette.push_back(pv::RGB(Quad[2], Quad[1], Quad[0]));
    }
    const std::size_t RowBytes = (static_cast<std::size_t>(Width) * D.BitCount + 31) / 32 * 4;
    const auto Rows = R.Bytes(RowBytes * Height, "pixel rows");
    const std::size_t MaskRowBytes = (static_cast<std::size_t>(Width) + 31) / 32 * 4;
    const auto Mask = IconMask ? R.Bytes(MaskRowBytes * Height, "transparency mask") : std::span<const std::uint8_t>();

    D.Picture = std::make_unique<pv::TBitmap>(Width, Height, Background);
    for (int Row = 0; Row < Height; ++Row) {
        const int Y = D.BottomUp ? Height - 1 - Row : Row;
        const std::uint8_t* Line = Rows.data() + RowBytes * Row;
        for (int X = 0; X < Width; ++X) {
            if (IconMask && (Mask[MaskRowBytes * Row + X / 8] & (0x80 >> (X % 8)))) continue;
            pv::TColor C = 0;
            if (D.BitCount <= 8) {
                const int PerByte = 8 / D.BitCount;
                const int Shift = 8 - D.BitCount * (X % PerByte + 1);
                const int Index = (Line[X / PerByte] >> Shift) & ((1 << D.BitCount) - 1);
                if (Index >= D.Colors)
                    R.Fail("pixel (" + std::to_string(X) + ", " + std::to_string(Y) + ") has colour index " +
                           std::to_string(Index) + ", the table has " + std::to_string(D.Colors));
                C = Palette[static_cast<std::size_t>(Index)];
            } else {
                const std::uint8_t* P = Line + static_cast<std::size_t>(X) * (D.BitCount / 8);
                C = pv::RGB(P[2], P[1], P[0]);
            }
            D.Picture->SetPixel(X, Y, C);
        }
    }
    return D;
}

// Nearest-neighbour enlargement.
std::unique_ptr<pv::TBitmap> Scaled(const pv::TBitmap& Source, int Scale) {
    auto Out = std::make_unique<pv::TBitmap>(Source.GetWidth() * Scale, Source.GetHeight() * Scale);
    for (int Y = 0; Y < Out->GetHeight(); ++Y)
        for (int X = 0; X < Out->GetWidth(); ++X) Out->ScanLine(Y)[X] = Source.ScanLine(Y / Scale)[X / Scale];
    return Out;
}

void WritePng(const pv::TBitmap& Picture, int Scale, const std::string& FileName) {
    const auto Png = Scale == 1 ? Picture.EncodePNG() : Scaled(Picture, Scale)->EncodePNG();
    pv::WriteFileAtomically(FileName, Png);
}

// The icon #Id of a MAINICON group: the group's entry for the icon, and the
// RT_ICON resource it names.
struct TIconChoice {
    std::uint16_t Id = 0;
    int Width = 0;
    int Height = 0;
    int Colors = 0;
    const pv::TResourceEntry* Icon = nullptr;
};

TIconChoice ChooseIcon(const pv::TPackageFile& File, const pv::TResourceEntry& Group) {
    const std::string What = pv::PackageContext(File.FileName()) + ": icon group " + Group.Label();
    pv::TByteReader R(Group.Data, What);
    R.U16("reserved field");
    if (R.U16("resource kind") != 1) R.FailAt(2, "is no icon group");
    const std::uint16_t Count = R.U16("icon count");
    if (Count == 0) R.FailAt(4, "holds no icon");
    TIconChoice Best;
    for (int I = 0; I < Count; ++I) {
        TIconChoice C;
        C.Width = R.U8("width");
        C.Height = R.U8("height");
        C.Colors = R.U8("colour count");
        R.U8("reserved");
        R.U16("planes");
        R.U16("bit count");
        R.U32("size");
        C.Id = R.U16("icon number");
        if (C.Width == 0) C.Width = 256;
        if (C.Height == 0) C.Height = 256;
        // The largest icon shows the picture best.
        if (!Best.Id || C.Width > Best.Width) Best = C;
    }
    Best.Icon = File.Resources().Find(pv::RT_ICON, Best.Id, Group.Language);
    if (!Best.Icon) Best.Icon = File.Resources().FindAnyLanguage(pv::RT_ICON, Best.Id);
    if (!Best.Icon) R.Fail("names icon #" + std::to_string(Best.Id) + ", which the package does not have");
    return Best;
}

void PrintList(std::ostream& Out, const std::string& Label, const std::vector<std::string>& Lines) {
    bool First = true;
    for (const std::string& L : Lines) {
        Out << (First ? Label : std::string(Label.size(), ' ')) << L << "\n";
        First = false;
    }
    if (Lines.empty()) Out << Label << "none\n";
}

}  // namespace

int RunPackageInfo(std::span<const std::string> Args) {
    return RunCommand("package-info", Help, "library.md", Args, [&] {
        const TCommandArgs A = ParseCommandArgs(Args, {"--glyph", "--icon", "--scale"}, false, 0, 1);
        const std::string FileName = A.Positional.empty() ? DefaultPackageFile() : A.Positional[0];
        int Scale = 1;
        if (const std::string S = A.Option("--scale"); !S.empty()) {
            std::size_t Used = 0;
            try {
                Scale = std::stoi(S, &Used);
            } catch (const std::exception&) {
                Used = 0;
            }
            if (Used != S.size() || Scale < 1 || Scale > 32) throw EUsageError("--scale " + S + ": expected a whole number from 1 to 32");
        }

        const pv::TPackageFile File = pv::TPackageFile::Read(FileName);
        const pv::TPackageInfo& Info = File.Info();
        const pv::TResourceImage& Res = File.Resources();
        std::ostringstream Out;
        Out << "Package       " << Info.PackageName << "\n";
        Out << "File          " << FileName << "\n";
        Out << "Description   " << File.Description() << "\n";
        Out << "Kind          " << Info.KindText() << " (flags " << Hex(Info.Flags, 8) << ": " << FlagsText(Info.Flags)
            << ")\n";
        PrintList(Out, "Requires      ", Info.Requires);
        std::vector<std::string> Units;
        std::size_t NameWidth = 0;
        for (const auto& U : Info.Contains) NameWidth = std::max(NameWidth, U.Name.size());
        for (const auto& U : Info.Contains)
            Units.push_back(U.Name + std::string(NameWidth - U.Name.size() + 2, ' ') + Hex(U.Flags, 2) + " " +
                            pv::UnitFlagsText(U.Flags));
        PrintList(Out, "Contains      ", Units);

        if (const auto Version = File.Version()) {
            Out << "Version       " << Version->FileVersion() << " (file), " << Version->ProductVersion()
                << " (product)\n";
            for (const auto& T : Version->Translations) {
                Out << "Language      " << Hex(T.Language, 4) << " " << LanguageName(T.Language) << "\n";
                Out << "Code page     " << T.CodePage << " (" << Hex(T.CodePage, 4) << ") " << CodePageName(T.CodePage)
                    << "\n";
            }
            if (Version->Translations.empty()) Out << "Language      none given\n";
        } else {
            Out << "Version       none (no RT_VERSION #1)\n";
        }

        std::unique_ptr<pv::TBitmap> Glyph;
        if (const pv::TResourceEntry* G = Res.FindAnyLanguage(pv::RT_BITMAP, GlyphName)) {
            TDib D = DecodeDib(G->Data, pv::PackageContext(FileName) + ": glyph " + G->Label(), false);
            Out << "Glyph         " << G->Label() << ": " << D.Width << " x " << D.Height << ", " << D.BitCount
                << " bits a pixel, " << D.Colors << " colours\n";
            Glyph = std::move(D.Picture);
        } else {
            Out << "Glyph         none (no RT_BITMAP \"" << GlyphName << "\")\n";
        }
        std::unique_ptr<pv::TBitmap> Icon;
        if (const pv::TResourceEntry* G = Res.FindAnyLanguage(pv::RT_GROUP_ICON, "MAINICON")) {
            const TIconChoice C = ChooseIcon(File, *G);
            TDib D = DecodeDib(C.Icon->Data, pv::PackageContext(FileName) + ": icon " + C.Icon->Label(), true);
            Out << "Icon          " << G->Label() << ": icon #" << C.Id << ", " << D.Width << " x " << D.Height << ", "
                << D.Colors << " colours, with transparency mask\n";
            Icon = std::move(D.Picture);
        } else {
            Out << "Icon          none (no RT_GROUP_ICON \"MAINICON\")\n";
        }
        std::vector<std::string> Entries;
        for (const pv::TResourceEntry& E : Res.Entries()) Entries.push_back(E.Label() + ", " + std::to_string(E.Data.size()) + " bytes");
        PrintList(Out, "Resources     ", Entries);
        PrintList(Out, "Links         ", File.Needed());

        // Pictures are written only once everything was read, so a damaged
        // package leaves no files behind.
        if (const std::string F = A.Option("--glyph"); !F.empty()) {
            if (!Glyph) throw pv::EPackageError(pv::PackageContext(FileName) + " has no palette glyph to write to " + F);
            WritePng(*Glyph, Scale, F);
        }
        if (const std::string F = A.Option("--icon"); !F.empty()) {
            if (!Icon) throw pv::EPackageError(pv::PackageContext(FileName) + " has no icon to write to " + F);
            WritePng(*Icon, Scale, F);
        }
        std::cout << Out.str();
        return 0;
    });
}

}  // namespace plotvane
