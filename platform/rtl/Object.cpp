#include "platform/rtl/Object.h"

#include "platform/rtl/Exception.h"

namespace pv {

void TPersistent::Assign(const TPersistent& Source) { AssignError(Source); }

void TPersistent::AssignError(const TPersistent& Source) const {
    throw EConvertError("Cannot assign a " + std::string(Source.ClassName()) + " to a " +
                        std::string(ClassName()));
}

}  // namespace pv
