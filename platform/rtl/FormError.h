#pragma once
// EFormError: a form file that cannot be read or a component tree that
// cannot be written as one.

#include <string>

#include "platform/rtl/Exception.h"

namespace pv {

class EFormError : public Exception {
public:
    // An error at a place in a form: the message reads
    // "<file>:<line>:<column>: <what>". Line and column count from 1; a
    // column counts characters, not bytes. An empty file name (text that did
    // not come from a file) reads "<line>:<column>: <what>"; a line of 0
    // (no place, as for the writer) reads just "<what>", after the file name
    // when there is one.
    EFormError(const std::string& FileName, int Line, int Column, const std::string& What);
    // An error without a place, for the writer and for --set values.
    explicit EFormError(const std::string& What) : EFormError({}, 0, 0, What) {}

    const std::string& FileName() const { return FFileName; }
    int Line() const { return FLine; }
    int Column() const { return FColumn; }
    // The message without the place.
    const std::string& What() const { return FWhat; }

private:
    std::string FFileName;
    int FLine = 0;
    int FColumn = 0;
    std::string FWhat;
};

}  // namespace pv
