#pragma once
// IBaseDirectory: implemented by components that name files (a database
// file, say). A relative file name in a form is relative to the form file,
// so the form reader hands every component it creates that implements this
// the form file's folder, before it applies any property.

#include <string>

namespace pv {

class IBaseDirectory {
public:
    virtual ~IBaseDirectory() = default;
    // The folder that relative file names are taken from from now on (an
    // absolute path; empty: the process's working directory).
    virtual void SetBaseDirectory(const std::string& Directory) = 0;
};

}  // namespace pv
