#pragma once
// What the component relies on of the host's web layer.

#include "platform/web/WebResponse.h"  // TWebResponse: reads the body from the content stream's position to its end when sent; never releases the stream
#include "platform/web/Url.h"          // PercentEncode: every byte but the unreserved URL characters as %XX

namespace Norq_Plotvane {
using pv::TWebResponse;
}  // namespace Norq_Plotvane
