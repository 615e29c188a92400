#include "platform/rtl/Verify.h"

#include <cstdio>
#include <cstdlib>

#include "platform/rtl/Component.h"

namespace pv {

void VerifyFailed(const char* Expression, const std::string& Message, const char* File, int Line) {
    std::fprintf(stderr, "Plotvane internal error at %s:%d: %s (%s)\n", File, Line, Message.c_str(), Expression);
    std::fflush(stderr);
    std::abort();
}

std::string DescribeComponent(const TComponent* AComponent) {
    if (!AComponent) return "nil";
    const std::string Class(AComponent->ClassName());
    if (AComponent->GetName().empty()) return "an unnamed " + Class;
    return "'" + AComponent->GetName() + "' (" + Class + ")";
}

}  // namespace pv
