// The package's resource image: built by the compiler from
// PackageResources.h and placed in the resource section, where the loader
// reads it from the file, and handed out in memory by "@GetResourceImage".

#include "package/PackageResources.h"

#include <algorithm>

#include "package/VCL_Norq_Plotvane.h"

namespace VCL_Norq_Plotvane {

namespace {

constexpr std::size_t ImageSize = BuildResourceImage().size();

constexpr std::array<std::uint8_t, ImageSize> MakeImage() {
    std::array<std::uint8_t, ImageSize> A{};
    const std::vector<std::uint8_t> V = BuildResourceImage();
    std::copy(V.begin(), V.end(), A.begin());
    return A;
}

}  // namespace

// The section name must match pv::ResourceSectionName.
[[gnu::section(".pvrsrc"), gnu::used]] constexpr std::array<std::uint8_t, ImageSize> ResourceImage = MakeImage();
static_assert(pv::ResourceSectionName == ".pvrsrc");

}  // namespace VCL_Norq_Plotvane

extern "C" pv::TResourceImageRef ResourceImageEntry() {
    return {VCL_Norq_Plotvane::ResourceImage.data(), VCL_Norq_Plotvane::ResourceImage.size()};
}
