#pragma once
// EDatabaseError: every failure of the database layer. The message starts
// with the data set's name ("Query1: field \"revenue\" not found"), so the
// caller can tell which of a form's data sets failed.

#include "platform/rtl/Exception.h"

namespace pv {

class EDatabaseError : public Exception {
    using Exception::Exception;
};

}  // namespace pv
