#pragma once
// TPicture: the content of an image control. Its bitmap is created on
// demand, so getting the bitmap of an empty picture gives a bitmap that can
// receive a copy.

#include <memory>

#include "platform/vcl/Bitmap.h"

namespace pv {

class TPicture : public TPersistent {
public:
    TPicture() = default;
    std::string_view ClassName() const override { return "TPicture"; }

    // The picture's bitmap, created empty when there is none.
    TBitmap* GetBitmap();
    // Whether the picture holds nothing (no bitmap, or an empty one).
    bool GetEmpty() const { return !FBitmap || FBitmap->GetEmpty(); }
    // Drops the content.
    void Clear() { FBitmap.reset(); }
    int GetWidth() const { return FBitmap ? FBitmap->GetWidth() : 0; }
    int GetHeight() const { return FBitmap ? FBitmap->GetHeight() : 0; }

    // From another TPicture or a TBitmap: an independent copy.
    void Assign(const TPersistent& Source) override;

private:
    std::unique_ptr<TBitmap> FBitmap;
};

}  // namespace pv
