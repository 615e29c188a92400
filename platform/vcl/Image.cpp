#include "platform/vcl/Image.h"

#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {
const TClassInfo ImageClassInfo{"TImage", &TComponent::StaticClassInfo(), {}};
}

const TClassInfo& TImage::StaticClassInfo() { return ImageClassInfo; }
const TClassInfo* TImage::ClassInfo() const { return &ImageClassInfo; }

}  // namespace pv
