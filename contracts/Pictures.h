#pragma once
// What the component relies on of the picture classes.

#include "platform/avif/AVIFEncode.h"  // EncodeAVIF: a bitmap (opaque or premultiplied) to an AVIF file's bytes
#include "platform/gif/GIFImage.h"    // TGIFImage: Assign(bitmap) converts to GIF; SaveToStream writes a GIF file at the position
#include "platform/jpeg/JPEGImage.h"  // TJPEGImage: quality set before Assign(bitmap) counts; SaveToStream writes a JPEG file
#include "platform/vcl/Bitmap.h"      // TBitmap: Assign makes an independent copy
#include "platform/vcl/Picture.h"     // TPicture: Clear empties it; GetBitmap gives a bitmap that can receive a copy
#include "platform/webp/WebPEncode.h"  // EncodeWebP: a bitmap to a WebP file's bytes, exact without a quality

namespace Norq_Plotvane {
using pv::TBitmap;
using pv::TGIFImage;
using pv::TJPEGImage;
using pv::TPicture;
}  // namespace Norq_Plotvane
