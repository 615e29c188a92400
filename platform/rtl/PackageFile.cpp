#include "platform/rtl/PackageFile.h"

#include <filesystem>
#include <system_error>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

void CheckIsFile(const std::string& FileName) {
    std::error_code Ec;
    const auto Status = std::filesystem::status(FileName, Ec);
    if (!std::filesystem::exists(Status)) throw EPackageError(PackageContext(FileName) + " not found");
    if (!std::filesystem::is_regular_file(Status))
        throw EPackageError(PackageContext(FileName) + " is not a package: it is not a regular file");
}

}  // namespace

std::string PackageContext(const std::string& FileName) { return "Package \"" + FileName + "\""; }

std::string DecodeDescription(std::span<const std::uint8_t> Bytes, const std::string& Context) {
    TByteReader R(Bytes, Context);
    return R.Utf16z("description");
}

bool TPackageFile::HasManifest(const std::string& FileName) {
    CheckIsFile(FileName);
    const TElfFile Elf = TElfFile::Read(FileName, PackageContext(FileName));
    const auto Image = Elf.Section(ResourceSectionName);
    if (!Image) return false;
    const TResourceImage Resources =
        TResourceImage::Parse(*Image, PackageContext(FileName) + " has a damaged resource directory");
    return Resources.Find(RT_RCDATA, "PACKAGEINFO", LANG_NEUTRAL) != nullptr;
}

TPackageFile TPackageFile::Read(const std::string& FileName) {
    const std::string Context = PackageContext(FileName);
    CheckIsFile(FileName);
    const TElfFile Elf = TElfFile::Read(FileName, Context);
    auto Image = Elf.Section(ResourceSectionName);
    if (!Image)
        throw EPackageError(Context + " is not a package: it has no resource directory (section \"" +
                            std::string(ResourceSectionName) + "\")");
    TPackageFile F;
    F.FFileName = FileName;
    F.FImageBytes = std::move(*Image);
    F.FResources = TResourceImage::Parse(F.FImageBytes, Context + " has a damaged resource directory");
    const TResourceEntry* Manifest = F.FResources.Find(RT_RCDATA, "PACKAGEINFO", LANG_NEUTRAL);
    if (!Manifest)
        throw EPackageError(Context + " is not a package: its resource directory has no manifest (RT_RCDATA "
                                      "\"PACKAGEINFO\")");
    F.FInfo = DecodePackageInfo(Manifest->Data, Context + " has a damaged manifest PACKAGEINFO");
    if (F.FInfo.ModuleKind() != pfPackageModule)
        throw EPackageError(Context + " is not a package: its manifest describes a " +
                            (F.FInfo.ModuleKind() == pfProgramModule ? "program" : "library") + " module");
    F.FNeeded = Elf.Needed();
    return F;
}

std::string TPackageFile::Description() const {
    const TResourceEntry* E = FResources.Find(RT_RCDATA, "DESCRIPTION", LANG_NEUTRAL);
    return E ? DecodeDescription(E->Data, PackageContext(FFileName) + " has a damaged DESCRIPTION") : std::string();
}

std::optional<TVersionInfo> TPackageFile::Version() const {
    const TResourceEntry* E = FResources.FindAnyLanguage(RT_VERSION, 1);
    if (!E) return std::nullopt;
    return DecodeVersionInfo(E->Data, PackageContext(FFileName) + " has a damaged version block");
}

}  // namespace pv
