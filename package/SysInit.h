#pragma once
// SysInit: the start-up unit every module of the host platform carries. It
// holds the module's own record; being per module, nothing of it is
// exported (a record resolved to another module's copy would be wrong).

#include "platform/rtl/LibModule.h"

namespace SysInit __attribute__((visibility("hidden"))) {

// This module's record, registered by the library entry point. Its unit
// table entry has no routines: the dynamic loader prepares thread-local
// storage itself, and the entry point has registered the record before
// any unit runs.
extern pv::TLibModule LibModule;

}  // namespace SysInit
