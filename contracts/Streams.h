#pragma once
// What the component relies on of the host's streams.

#include "platform/rtl/AtomicFile.h"  // WriteFileAtomically: the old file stays until the new one is complete
#include "platform/rtl/Stream.h"  // TMemoryStream: Clear empties it; writes at the position grow it; SetPosition

namespace Norq_Plotvane {
using pv::TMemoryStream;
using pv::TStream;
}  // namespace Norq_Plotvane
