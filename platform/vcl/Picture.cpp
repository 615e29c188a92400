#include "platform/vcl/Picture.h"

namespace pv {

TBitmap* TPicture::GetBitmap() {
    if (!FBitmap) FBitmap = std::make_unique<TBitmap>();
    return FBitmap.get();
}

void TPicture::Assign(const TPersistent& Source) {
    if (auto* P = dynamic_cast<const TPicture*>(&Source)) {
        if (P == this) return;
        if (!P->FBitmap)
            FBitmap.reset();
        else
            GetBitmap()->Assign(*P->FBitmap);
        return;
    }
    if (auto* B = dynamic_cast<const TBitmap*>(&Source)) {
        GetBitmap()->Assign(*B);
        return;
    }
    TPersistent::Assign(Source);
}

}  // namespace pv
