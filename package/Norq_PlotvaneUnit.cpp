// The package's part of the unit Norq_Plotvane: its initialization and
// finalization routines, and its type-information records.

#include <typeinfo>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

void Initialization();
void Finalization();

// The unit creates nothing, registers no class and renders nothing when it
// is initialized or finalized: a component exists only when a host creates
// one, and the host registers the classes its forms use.
void Initialization() {}
void Finalization() {}

// The type-information records of the unit's types. Naming them here makes
// the compiler emit each one in the package, where it is exported under its
// mangled name (_ZTIN13Norq_Plotvane14TPreviewFormatE, ...), so hosts that
// compare types across modules find the package's records.
extern const std::type_info* const UnitTypeInfo[6];
const std::type_info* const UnitTypeInfo[6] = {
    &typeid(TNorq_DBPlotvane), &typeid(TNorq_DBPlotvaneDataLink), &typeid(TPreviewFormat),
    &typeid(TSeriesStyle),     &typeid(TSeriesColorMode),         &typeid(TPlotvaneSeriesType),
};

}  // namespace Norq_Plotvane
