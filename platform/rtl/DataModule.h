#pragma once
// TDataModule: a plain container of non-visual components, the usual root
// of a form file (a module holds the data sets, data sources and charts that
// one form describes, and deleting it deletes them all).

#include "platform/rtl/Component.h"

namespace pv {

class TDataModule : public TComponent {
public:
    explicit TDataModule(TComponent* AOwner) : TComponent(AOwner) {}

    std::string_view ClassName() const override { return "TDataModule"; }
    // Publishes nothing beyond TComponent's Name and Tag.
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
};

}  // namespace pv
