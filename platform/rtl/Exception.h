#pragma once
// The platform's error types. Every failure of the platform is one of these,
// derived from one base, with a message that names the object, the property
// and the value concerned.

#include <stdexcept>
#include <string>

namespace pv {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
    const char* Message() const noexcept { return what(); }
};

// Component framework: ownership, names, state.
class EComponentError : public Exception { using Exception::Exception; };
// An object was used in a way its state does not allow.
class EInvalidOperation : public Exception { using Exception::Exception; };
// Assign between incompatible classes, or a value that cannot be converted.
class EConvertError : public Exception { using Exception::Exception; };
// Stream reads past the end, bad positions.
class EStreamError : public Exception { using Exception::Exception; };
// A list index out of range.
class EListError : public Exception { using Exception::Exception; };
// Graphics: a size that cannot be drawn or allocated.
class EInvalidGraphic : public Exception { using Exception::Exception; };

}  // namespace pv

namespace pv {
// A value outside the range a property accepts.
class ERangeError : public Exception { using Exception::Exception; };
}  // namespace pv

namespace pv {
// Package loading: a missing, foreign or damaged package file, or a required
// package that cannot be found. The message names the file and the fault.
class EPackageError : public Exception { using Exception::Exception; };
}  // namespace pv
