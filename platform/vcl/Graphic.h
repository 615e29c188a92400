#pragma once
// TGraphic: the base of every picture class (bitmap, GIF, JPEG).

#include "platform/rtl/Object.h"

namespace pv {

class TStream;

class TGraphic : public TPersistent {
public:
    std::string_view ClassName() const override { return "TGraphic"; }
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual bool GetEmpty() const = 0;
    // Writes the picture's file format at the stream's position.
    virtual void SaveToStream(TStream& Stream) const = 0;
};

}  // namespace pv
