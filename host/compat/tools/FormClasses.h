#pragma once
// The old spelling of <plotvane/host/FormClasses.h>, from when the host
// library lived in tools/: kept for one release so that programs written
// against it still build. Include <plotvane/host/FormClasses.h> instead.

#include "host/FormClasses.h"
