#include "platform/rtl/FormError.h"

namespace pv {

namespace {

std::string Compose(const std::string& FileName, int Line, int Column, const std::string& What) {
    std::string Place = FileName;
    if (Line > 0) {
        if (!Place.empty()) Place += ':';
        Place += std::to_string(Line) + ':' + std::to_string(Column);
    }
    return Place.empty() ? What : Place + ": " + What;
}

}  // namespace

EFormError::EFormError(const std::string& FileName, int Line, int Column, const std::string& What)
    : Exception(Compose(FileName, Line, Column, What)),
      FFileName(FileName),
      FLine(Line),
      FColumn(Column),
      FWhat(What) {}

}  // namespace pv
