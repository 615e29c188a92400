#include "platform/rtl/ElfFile.h"

#include <elf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

template <class T>
T Load(const std::vector<std::uint8_t>& Bytes, std::size_t At) {
    T V;
    std::memcpy(&V, Bytes.data() + At, sizeof V);
    return V;
}

std::string CStringAt(const std::vector<std::uint8_t>& Table, std::uint64_t At) {
    if (At >= Table.size()) return {};
    const auto* Begin = reinterpret_cast<const char*>(Table.data() + At);
    return std::string(Begin, strnlen(Begin, Table.size() - At));
}

}  // namespace

std::vector<std::uint8_t> TElfFile::ReadAt(std::uint64_t Offset, std::uint64_t Size) const {
    if (Offset > FFileSize || Size > FFileSize - Offset)
        throw EPackageError(FContext + " is damaged: the file is truncated: " + std::to_string(Size) + " bytes at offset " +
                            std::to_string(Offset) + " lie beyond its " + std::to_string(FFileSize) + " bytes");
    std::vector<std::uint8_t> Out(Size);
    std::ifstream In(FFileName, std::ios::binary);
    In.seekg(static_cast<std::streamoff>(Offset));
    if (!In || !In.read(reinterpret_cast<char*>(Out.data()), static_cast<std::streamsize>(Size)))
        throw EPackageError(FContext + " cannot be read: " + std::to_string(Size) + " bytes at offset " +
                            std::to_string(Offset) + " failed");
    return Out;
}

TElfFile TElfFile::Read(const std::string& FileName, const std::string& Context) {
    TElfFile F;
    F.FFileName = FileName;
    F.FContext = Context;
    std::ifstream In(FileName, std::ios::binary | std::ios::ate);
    if (!In) throw EPackageError(Context + " cannot be opened: " + std::strerror(errno));
    F.FFileSize = static_cast<std::uint64_t>(In.tellg());
    In.close();

    const std::vector<std::uint8_t> Head = F.ReadAt(0, std::min<std::uint64_t>(F.FFileSize, sizeof(Elf64_Ehdr)));
    if (Head.size() < SELFMAG || std::memcmp(Head.data(), ELFMAG, SELFMAG) != 0)
        throw EPackageError(Context + " is not a package: it is not an ELF file");
    if (Head.size() < sizeof(Elf64_Ehdr))
        throw EPackageError(Context + " is damaged: the file is truncated: " + std::to_string(Head.size()) +
                            " bytes, the ELF header alone takes " + std::to_string(sizeof(Elf64_Ehdr)));
    const auto Eh = Load<Elf64_Ehdr>(Head, 0);
    if (Eh.e_ident[EI_CLASS] != ELFCLASS64 || Eh.e_ident[EI_DATA] != ELFDATA2LSB)
        throw EPackageError(Context + " is not a package: it is not a 64-bit little-endian ELF file");
    if (Eh.e_type != ET_DYN)
        throw EPackageError(Context + " is not a package: it is no shared library (ELF file type " +
                            std::to_string(Eh.e_type) + ")");
    if (Eh.e_shoff == 0 || Eh.e_shnum == 0)
        throw EPackageError(Context + " is not a package: it has no section headers");
    if (Eh.e_shentsize != sizeof(Elf64_Shdr) || Eh.e_shstrndx >= Eh.e_shnum)
        throw EPackageError(Context + " is damaged: its ELF header describes the section headers wrongly");
    const std::uint64_t HeadersEnd = Eh.e_shoff + std::uint64_t{Eh.e_shnum} * sizeof(Elf64_Shdr);
    if (Eh.e_shoff > F.FFileSize || HeadersEnd > F.FFileSize)
        throw EPackageError(Context + " is damaged: the file is truncated: its section headers end at byte " +
                            std::to_string(HeadersEnd) + ", the file has " + std::to_string(F.FFileSize) + " bytes");

    const std::vector<std::uint8_t> Headers = F.ReadAt(Eh.e_shoff, HeadersEnd - Eh.e_shoff);
    std::vector<Elf64_Shdr> Sh(Eh.e_shnum);
    for (std::size_t I = 0; I < Sh.size(); ++I) Sh[I] = Load<Elf64_Shdr>(Headers, I * sizeof(Elf64_Shdr));
    auto Check = [&](const Elf64_Shdr& S, const std::string& Name) {
        if (S.sh_type == SHT_NOBITS) return;
        if (S.sh_offset > F.FFileSize || S.sh_size > F.FFileSize - S.sh_offset)
            throw EPackageError(Context + " is damaged: the file is truncated: section \"" + Name + "\" ends at byte " +
                                std::to_string(S.sh_offset + S.sh_size) + ", the file has " +
                                std::to_string(F.FFileSize) + " bytes");
    };
    Check(Sh[Eh.e_shstrndx], "section names");
    const std::vector<std::uint8_t> Names = F.ReadAt(Sh[Eh.e_shstrndx].sh_offset, Sh[Eh.e_shstrndx].sh_size);
    for (const Elf64_Shdr& S : Sh) {
        TSection T;
        T.Name = CStringAt(Names, S.sh_name);
        T.Type = S.sh_type;
        T.Offset = S.sh_offset;
        T.Size = S.sh_type == SHT_NOBITS ? 0 : S.sh_size;
        T.Link = S.sh_link;
        Check(S, T.Name);
        F.FSections.push_back(std::move(T));
    }

    for (const TSection& S : F.FSections) {
        if (S.Type != SHT_DYNAMIC) continue;
        if (S.Link >= F.FSections.size())
            throw EPackageError(Context + " is damaged: its dynamic section names no string table");
        const std::vector<std::uint8_t> Dyn = F.ReadAt(S.Offset, S.Size);
        const TSection& StrSec = F.FSections[S.Link];
        const std::vector<std::uint8_t> Str = F.ReadAt(StrSec.Offset, StrSec.Size);
        for (std::size_t At = 0; At + sizeof(Elf64_Dyn) <= Dyn.size(); At += sizeof(Elf64_Dyn)) {
            const auto D = Load<Elf64_Dyn>(Dyn, At);
            if (D.d_tag == DT_NULL) break;
            if (D.d_tag == DT_NEEDED) F.FNeeded.push_back(CStringAt(Str, D.d_un.d_val));
            if (D.d_tag == DT_SONAME) F.FSoName = CStringAt(Str, D.d_un.d_val);
        }
        break;
    }
    return F;
}

std::optional<std::vector<std::uint8_t>> TElfFile::Section(std::string_view Name) const {
    for (const TSection& S : FSections)
        if (S.Name == Name) return ReadAt(S.Offset, S.Size);
    return std::nullopt;
}

}  // namespace pv
