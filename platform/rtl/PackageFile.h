#pragma once
// TPackageFile: what a package file says about itself, read from the file
// without loading it or running any of its code: its resource directory,
// its manifest, and the libraries its dynamic section needs. The package
// loader reads this before it loads anything; `plotvane package-info` shows
// it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/rtl/ElfFile.h"
#include "platform/rtl/PackageInfo.h"
#include "platform/rtl/ResourceImage.h"
#include "platform/rtl/VersionInfo.h"

namespace pv {

class TPackageFile {
public:
    // Reads FileName. A missing file, a file that is no shared library, one
    // without a resource directory or without a manifest, a damaged
    // directory or manifest, or a manifest of a program or library module
    // raise EPackageError naming FileName and the fault.
    static TPackageFile Read(const std::string& FileName);
    // True when FileName is an ELF shared library with a resource directory
    // holding a manifest; a library without them (a plain platform library)
    // is false. Damage and missing files raise as Read does.
    static bool HasManifest(const std::string& FileName);

    TPackageFile(TPackageFile&&) = default;
    TPackageFile& operator=(TPackageFile&&) = default;
    TPackageFile(const TPackageFile&) = delete;
    TPackageFile& operator=(const TPackageFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    const TPackageInfo& Info() const { return FInfo; }
    const TResourceImage& Resources() const { return FResources; }
    // DT_NEEDED of the file, in order.
    const std::vector<std::string>& Needed() const { return FNeeded; }

    // The text of RT_RCDATA "DESCRIPTION" (zero-terminated UTF-16LE), as
    // UTF-8; empty when there is none.
    std::string Description() const;
    // The version block RT_VERSION #1 in any language, or nullopt.
    std::optional<TVersionInfo> Version() const;

private:
    TPackageFile() = default;

    std::string FFileName;
    // The resource image's bytes; FResources refers into them (a move keeps
    // the buffer where it is).
    std::vector<std::uint8_t> FImageBytes;
    TResourceImage FResources;
    TPackageInfo FInfo;
    std::vector<std::string> FNeeded;
};

// `Package "<FileName>"`, the start of every message about a package file.
std::string PackageContext(const std::string& FileName);

// The description held in a DESCRIPTION resource's bytes.
std::string DecodeDescription(std::span<const std::uint8_t> Bytes, const std::string& Context);

}  // namespace pv
