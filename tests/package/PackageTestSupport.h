#pragma once
// Shared helpers of the package tests: the built package's location, a
// temporary folder, file copies and byte patches, and small readers written
// from the ELF and resource-directory layouts, independent of the loader's.

#include <elf.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pvtest {

namespace fs = std::filesystem;

// The package as the build made it, and the folder with its eight packages.
inline const fs::path PackageFile = PLOTVANE_PACKAGE_FILE;
inline const fs::path BuildFolder = fs::path(PLOTVANE_PACKAGE_FILE).parent_path();
inline const std::vector<std::string> PlatformPackages{"GifImage60.bpl", "tee60.bpl",    "teedb60.bpl", "inet60.bpl",
                                                       "dbrtl60.bpl",    "vcljpg60.bpl", "vcl60.bpl",   "rtl60.bpl"};

// A fresh folder, removed with everything in it at the end of the scope.
class TTempDir {
public:
    TTempDir() {
        std::string Pattern = (fs::temp_directory_path() / "pvpkgXXXXXX").string();
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FPath = Pattern;
    }
    ~TTempDir() {
        std::error_code Ec;
        fs::remove_all(FPath, Ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const fs::path& Path() const { return FPath; }
    fs::path operator/(const std::string& Name) const { return FPath / Name; }

private:
    fs::path FPath;
};

inline std::vector<std::uint8_t> ReadBytes(const fs::path& File) {
    std::ifstream In(File, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(In), {});
}

inline void WriteBytes(const fs::path& File, const std::vector<std::uint8_t>& Bytes) {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

// Copies the package, and the named platform packages, into Folder.
inline fs::path CopyPackage(const fs::path& Folder, const std::vector<std::string>& WithPackages = {}) {
    for (const std::string& P : WithPackages) fs::copy_file(BuildFolder / P, Folder / P);
    fs::copy_file(PackageFile, Folder / PackageFile.filename());
    return Folder / PackageFile.filename();
}

inline std::uint32_t U32At(const std::vector<std::uint8_t>& B, std::size_t At) {
    return B.at(At) | B.at(At + 1) << 8 | B.at(At + 2) << 16 | std::uint32_t{B.at(At + 3)} << 24;
}
inline std::uint16_t U16At(const std::vector<std::uint8_t>& B, std::size_t At) {
    return static_cast<std::uint16_t>(B.at(At) | B.at(At + 1) << 8);
}
inline void PutU32(std::vector<std::uint8_t>& B, std::size_t At, std::uint32_t V) {
    for (int I = 0; I < 4; ++I) B.at(At + I) = static_cast<std::uint8_t>(V >> (8 * I));
}

// A minimal ELF64 reader for the tests.
class TTestElf {
public:
    explicit TTestElf(std::vector<std::uint8_t> Bytes) : FBytes(std::move(Bytes)) {
        std::memcpy(&FEh, FBytes.data(), sizeof FEh);
        FSh.resize(FEh.e_shnum);
        std::memcpy(FSh.data(), FBytes.data() + FEh.e_shoff, FEh.e_shnum * sizeof(Elf64_Shdr));
    }
    const std::vector<std::uint8_t>& Bytes() const { return FBytes; }

    // The file offset and size of the section named Name; throws when absent.
    std::pair<std::size_t, std::size_t> Section(std::string_view Name) const {
        const Elf64_Shdr& Names = FSh[FEh.e_shstrndx];
        for (const Elf64_Shdr& S : FSh)
            if (Name == reinterpret_cast<const char*>(FBytes.data() + Names.sh_offset + S.sh_name))
                return {S.sh_offset, S.sh_size};
        throw std::runtime_error("no section " + std::string(Name));
    }
    std::vector<std::uint8_t> SectionBytes(std::string_view Name) const {
        auto [Off, Size] = Section(Name);
        return {FBytes.begin() + static_cast<long>(Off), FBytes.begin() + static_cast<long>(Off + Size)};
    }
    // DT_NEEDED, in order.
    std::vector<std::string> Needed() const {
        std::vector<std::string> Out;
        for (const Elf64_Shdr& S : FSh) {
            if (S.sh_type != SHT_DYNAMIC) continue;
            const Elf64_Shdr& Str = FSh[S.sh_link];
            for (std::size_t At = S.sh_offset; At + sizeof(Elf64_Dyn) <= S.sh_offset + S.sh_size; At += sizeof(Elf64_Dyn)) {
                Elf64_Dyn D;
                std::memcpy(&D, FBytes.data() + At, sizeof D);
                if (D.d_tag == DT_NULL) break;
                if (D.d_tag == DT_NEEDED)
                    Out.emplace_back(reinterpret_cast<const char*>(FBytes.data() + Str.sh_offset + D.d_un.d_val));
            }
        }
        return Out;
    }
    // Names of the defined dynamic symbols.
    std::vector<std::string> DefinedDynamicSymbols() const {
        std::vector<std::string> Out;
        for (const Elf64_Shdr& S : FSh) {
            if (S.sh_type != SHT_DYNSYM) continue;
            const Elf64_Shdr& Str = FSh[S.sh_link];
            for (std::size_t At = S.sh_offset; At + sizeof(Elf64_Sym) <= S.sh_offset + S.sh_size; At += sizeof(Elf64_Sym)) {
                Elf64_Sym Sym;
                std::memcpy(&Sym, FBytes.data() + At, sizeof Sym);
                if (Sym.st_shndx != SHN_UNDEF && Sym.st_name != 0)
                    Out.emplace_back(reinterpret_cast<const char*>(FBytes.data() + Str.sh_offset + Sym.st_name));
            }
        }
        return Out;
    }

private:
    std::vector<std::uint8_t> FBytes;
    Elf64_Ehdr FEh{};
    std::vector<Elf64_Shdr> FSh;
};

// One entry of the package's resource directory, as the layout has it.
struct TTestResource {
    std::size_t EntryAt;  // file offset of the 20-byte directory entry
    std::uint16_t Type;
    std::uint16_t Language;
    std::uint16_t Id;
    std::string Name;
    std::size_t DataAt;  // file offset of the data
    std::uint32_t Size;
};

// The directory of the resource section ".pvrsrc" of an ELF file's bytes.
inline std::vector<TTestResource> ResourceDirectory(const TTestElf& Elf) {
    const auto [Base, SectionSize] = Elf.Section(".pvrsrc");
    const auto& B = Elf.Bytes();
    if (std::memcmp(B.data() + Base, "PVRS", 4) != 0) throw std::runtime_error("no PVRS magic");
    std::vector<TTestResource> Out;
    const std::uint32_t Count = U32At(B, Base + 8);
    for (std::uint32_t K = 0; K < Count; ++K) {
        const std::size_t E = Base + 16 + 20 * K;
        TTestResource R{E, U16At(B, E), U16At(B, E + 2), U16At(B, E + 4), {}, Base + U32At(B, E + 12), U32At(B, E + 16)};
        if (const std::uint32_t NameAt = U32At(B, E + 8)) R.Name = reinterpret_cast<const char*>(B.data() + Base + NameAt);
        Out.push_back(R);
    }
    (void)SectionSize;
    return Out;
}

inline const TTestResource& FindTestResource(const std::vector<TTestResource>& Dir, std::uint16_t Type,
                                             std::string_view Name, std::uint16_t Id = 0) {
    for (const TTestResource& R : Dir)
        if (R.Type == Type && (Name.empty() ? R.Id == Id : R.Name == Name)) return R;
    throw std::runtime_error("no resource " + std::string(Name));
}

}  // namespace pvtest
