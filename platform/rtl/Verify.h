#pragma once
// Always-on checks of invariants whose breach means the program is wrong,
// not that its input is: an owner asked to remove a component it does not
// own, a link detached twice, a notice about an object nobody knows. They
// stay on in release builds and stop the process with a message that names
// the objects, because going on would touch memory that is no longer what
// the code thinks it is.

#include <string>

namespace pv {

class TComponent;

// Prints "Plotvane internal error at FILE:LINE: MESSAGE (EXPR)" to stderr
// and aborts.
[[noreturn]] void VerifyFailed(const char* Expression, const std::string& Message, const char* File, int Line);

// "'Chart1' (TNorq_DBPlotvane)", "an unnamed TDataSource" or "nil": how the
// checks name a component.
std::string DescribeComponent(const TComponent* AComponent);

}  // namespace pv

#define PV_VERIFY(Condition, Message)                                           \
    do {                                                                        \
        if (!(Condition)) ::pv::VerifyFailed(#Condition, (Message), __FILE__, __LINE__); \
    } while (false)
