#pragma once
// TElfFile: what the package loader reads from a module's file without
// mapping it or running any of its code: its named sections (the resource
// image lives in one) and the libraries its dynamic section needs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

class TElfFile {
public:
    // Reads the headers of a 64-bit little-endian ELF shared library and its
    // dynamic section. Every offset is checked against the file's size. A
    // file that cannot be read, is no such library or is cut short raises
    // EPackageError "<Context> <fault>", e.g. `Package "x.bpl" is damaged:
    // the file is truncated: ...`; Context names the file.
    static TElfFile Read(const std::string& FileName, const std::string& Context);

    const std::string& FileName() const { return FFileName; }
    // The bytes of the section named Name, or nullopt when there is none.
    std::optional<std::vector<std::uint8_t>> Section(std::string_view Name) const;
    // DT_NEEDED entries, in the order the dynamic section lists them.
    const std::vector<std::string>& Needed() const { return FNeeded; }
    // DT_SONAME, or empty.
    const std::string& SoName() const { return FSoName; }

private:
    struct TSection {
        std::string Name;
        std::uint32_t Type = 0;
        std::uint64_t Offset = 0;
        std::uint64_t Size = 0;
        std::uint32_t Link = 0;
    };
    std::vector<std::uint8_t> ReadAt(std::uint64_t Offset, std::uint64_t Size) const;

    std::string FFileName;
    std::string FContext;
    std::uint64_t FFileSize = 0;
    std::vector<TSection> FSections;
    std::vector<std::string> FNeeded;
    std::string FSoName;
};

}  // namespace pv
