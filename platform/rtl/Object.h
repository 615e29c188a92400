#pragma once
// TObject and TPersistent: the roots of the platform's class tree.

#include <string>
#include <string_view>

namespace pv {

struct TClassInfo;

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    // The class name as forms and error messages spell it ("TFont").
    virtual std::string_view ClassName() const { return "TObject"; }
    // The published-property table of the object's class (nullptr: none).
    virtual const TClassInfo* ClassInfo() const { return nullptr; }
};

// An object whose contents can be copied from another object with Assign.
class TPersistent : public TObject {
public:
    std::string_view ClassName() const override { return "TPersistent"; }

    // Copies Source's contents into this object. The base knows no class and
    // raises EConvertError naming both classes; derived classes copy what
    // they understand and defer to the base otherwise.
    virtual void Assign(const TPersistent& Source);

protected:
    [[noreturn]] void AssignError(const TPersistent& Source) const;
};

}  // namespace pv
