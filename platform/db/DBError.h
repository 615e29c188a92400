#pragma once
// EDatabaseError: every failure of the database layer. The message starts
// with the data set's name ("Query1: field \"revenue\" not found"), so the
// caller can tell which of a form's data sets failed.

#include <cstddef>

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

// A read found more records than the data set's record limit
// (TDataSet::SetRecordLimit) allows; nothing of it is kept and the data set
// is closed. The message names the data set, the limit and how many records
// were found (at least Limit + 1, when the back end stopped reading there).
class ERecordLimitExceeded : public EDatabaseError {
public:
    ERecordLimitExceeded(const std::string& Message, std::size_t Limit, std::size_t Found, bool AtLeast)
        : EDatabaseError(Message), FLimit(Limit), FFound(Found), FAtLeast(AtLeast) {}
    std::size_t Limit() const { return FLimit; }
    std::size_t Found() const { return FFound; }
    // True when the back end stopped at Found and the result holds more.
    bool AtLeast() const { return FAtLeast; }

private:
    std::size_t FLimit;
    std::size_t FFound;
    bool FAtLeast;
};

}  // namespace pv
