#include "package/SysInit.h"

#include "package/PackageResources.h"

namespace SysInit {

pv::TLibModule LibModule{nullptr, nullptr, nullptr, VCL_Norq_Plotvane::PackageName.data(), 0};

}  // namespace SysInit
