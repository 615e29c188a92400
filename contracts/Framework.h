#pragma once
// What the component relies on of the host component framework.

#include "platform/rtl/Component.h"  // construction with an owner; the owner deletes what it owns; Loading/Designing; Loaded clears Loading; removal notices
#include "platform/rtl/Event.h"      // TNotifyEvent: handler code plus the object it belongs to
#include "platform/rtl/Exception.h"  // failures are platform exceptions that pass through unchanged
#include "platform/rtl/Strings.h"    // TStrings: Assign replaces every line by the given list's lines
#include "platform/rtl/TypInfo.h"    // published-property tables, read by the form reader and writer
#include "platform/vcl/Color.h"      // TColor: $00BBGGRR, system colours, clDefault = $20000000
#include "platform/vcl/Font.h"       // TFont: Assign copies every attribute
#include "platform/vcl/Image.h"      // TImage: its picture can be emptied and its bitmap got on demand

namespace Norq_Plotvane {
using pv::TColor;
using pv::TComponent;
using pv::TFont;
using pv::TImage;
using pv::TNotifyEvent;
using pv::TObject;
using pv::TOperation;
using pv::TStrings;
}  // namespace Norq_Plotvane
