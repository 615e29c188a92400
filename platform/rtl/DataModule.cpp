#include "platform/rtl/DataModule.h"

#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {
const TClassInfo DataModuleClassInfo{"TDataModule", &TComponent::StaticClassInfo(), {}};
}  // namespace

const TClassInfo& TDataModule::StaticClassInfo() { return DataModuleClassInfo; }
const TClassInfo* TDataModule::ClassInfo() const { return &DataModuleClassInfo; }

}  // namespace pv
