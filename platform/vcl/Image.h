#pragma once
// TImage: an image control on a form; a component holding a picture.

#include <memory>

#include "platform/rtl/Component.h"
#include "platform/vcl/Picture.h"

namespace pv {

class TImage : public TComponent {
public:
    explicit TImage(TComponent* AOwner) : TComponent(AOwner), FPicture(std::make_unique<TPicture>()) {}
    std::string_view ClassName() const override { return "TImage"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();

    TPicture* GetPicture() const { return FPicture.get(); }

private:
    std::unique_ptr<TPicture> FPicture;
};

}  // namespace pv
