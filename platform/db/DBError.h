#pragma once
// EDatabaseError: every failure of the database layer. The message starts
// with the data set's name ("Query1: field \"revenue\" not found"), so the
// caller can tell which of a form's data sets failed.

#include "platform/rtl/Exception.h"

namespace pv {

class EDatabaseError : public Exception {
    using Exception::Exception;
};

// The database server cannot answer now: it cannot be reached, refused the
// connection, went away during a statement, or did not finish in time. The
// data set's definition may well be right and a later try succeed, so a
// server answers 503 rather than 500.
class EDatabaseUnavailable : public EDatabaseError {
    using EDatabaseError::EDatabaseError;
};

}  // namespace pv
