#include "platform/vcl/Bitmap.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"

namespace pv {

namespace {

std::string SizeText(std::int64_t W, std::int64_t H) { return std::to_string(W) + " x " + std::to_string(H); }

void Put16(std::vector<std::uint8_t>& B, std::uint16_t V) {
    B.push_back(V & 0xFF);
    B.push_back(V >> 8);
}
void Put32(std::vector<std::uint8_t>& B, std::uint32_t V) {
    for (int I = 0; I < 4; ++I) B.push_back((V >> (8 * I)) & 0xFF);
}

}  // namespace

TBitmap::TBitmap(int AWidth, int AHeight, TColor Fill) { SetSize(AWidth, AHeight, Fill); }

void TBitmap::SetSize(int AWidth, int AHeight, TColor Fill) {
    if (AWidth < 0 || AHeight < 0 || AWidth > MaxSide || AHeight > MaxSide ||
        std::int64_t{AWidth} * AHeight > MaxPixels)
        throw EInvalidGraphic("Bitmap size " + SizeText(AWidth, AHeight) + " is invalid: each side must be 0.." +
                              std::to_string(MaxSide) + " and the area at most " + std::to_string(MaxPixels) +
                              " pixels");
    std::vector<std::uint32_t> NewPixels(static_cast<std::size_t>(AWidth) * static_cast<std::size_t>(AHeight),
                                         ToPixel(Fill));
    FPixels = std::move(NewPixels);
    FWidth = AWidth;
    FHeight = AHeight;
}

void TBitmap::Fill(TColor Color) { std::fill(FPixels.begin(), FPixels.end(), ToPixel(Color)); }

TColor TBitmap::GetPixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw EInvalidGraphic("Pixel (" + std::to_string(X) + ", " + std::to_string(Y) + ") is outside the bitmap of " +
                              SizeText(FWidth, FHeight));
    return FromPixel(ScanLine(Y)[X]);
}

void TBitmap::SetPixel(int X, int Y, TColor Color) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw EInvalidGraphic("Pixel (" + std::to_string(X) + ", " + std::to_string(Y) + ") is outside the bitmap of " +
                              SizeText(FWidth, FHeight));
    ScanLine(Y)[X] = ToPixel(Color);
}

void TBitmap::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TBitmap*>(&Source)) {
        if (S == this) return;
        FPixels = S->FPixels;
        FWidth = S->FWidth;
        FHeight = S->FHeight;
        return;
    }
    TGraphic::Assign(Source);
}

void TBitmap::SaveToStream(TStream& Stream) const {
    const std::uint32_t RowBytes = (static_cast<std::uint32_t>(FWidth) * 3 + 3) & ~3u;
    const std::uint32_t ImageBytes = RowBytes * static_cast<std::uint32_t>(FHeight);
    std::vector<std::uint8_t> B;
    B.reserve(54 + ImageBytes);
    B.push_back('B');
    B.push_back('M');
    Put32(B, 54 + ImageBytes);
    Put32(B, 0);
    Put32(B, 54);
    Put32(B, 40);
    Put32(B, static_cast<std::uint32_t>(FWidth));
    Put32(B, static_cast<std::uint32_t>(FHeight));
    Put16(B, 1);
    Put16(B, 24);
    Put32(B, 0);
    Put32(B, ImageBytes);
    Put32(B, 3780);  // 96 dpi
    Put32(B, 3780);
    Put32(B, 0);
    Put32(B, 0);
    for (int Y = FHeight - 1; Y >= 0; --Y) {
        const std::uint32_t* Row = ScanLine(Y);
        for (int X = 0; X < FWidth; ++X) {
            B.push_back(Row[X] & 0xFF);
            B.push_back((Row[X] >> 8) & 0xFF);
            B.push_back((Row[X] >> 16) & 0xFF);
        }
        for (std::uint32_t P = static_cast<std::uint32_t>(FWidth) * 3; P < RowBytes; ++P) B.push_back(0);
    }
    Stream.WriteBuffer(B.data(), B.size());
}

std::vector<std::uint8_t> TBitmap::EncodePNG() const {
    if (GetEmpty()) throw EInvalidGraphic("Cannot write an empty bitmap as PNG");
    // Cairo wants a mutable buffer; a copy keeps this method const-correct.
    std::vector<std::uint32_t> Copy = FPixels;
    cairo_surface_t* S = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(Copy.data()),
                                                             CAIRO_FORMAT_RGB24, FWidth, FHeight, Stride());
    std::vector<std::uint8_t> Out;
    auto Writer = [](void* Closure, const unsigned char* Data, unsigned int Length) -> cairo_status_t {
        auto* V = static_cast<std::vector<std::uint8_t>*>(Closure);
        V->insert(V->end(), Data, Data + Length);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_status_t St = cairo_surface_write_to_png_stream(S, Writer, &Out);
    cairo_surface_destroy(S);
    if (St != CAIRO_STATUS_SUCCESS)
        throw EInvalidGraphic(std::string("PNG encoding failed: ") + cairo_status_to_string(St));
    return Out;
}

void TBitmap::SaveToPNGFile(const std::string& FileName) const {
    std::vector<std::uint8_t> Png = EncodePNG();
    std::FILE* F = std::fopen(FileName.c_str(), "wb");
    if (!F) throw EInvalidGraphic("Cannot create PNG file '" + FileName + "': " + std::strerror(errno));
    bool Ok = std::fwrite(Png.data(), 1, Png.size(), F) == Png.size();
    Ok = (std::fclose(F) == 0) && Ok;
    if (!Ok) throw EInvalidGraphic("Cannot write PNG file '" + FileName + "'");
}

}  // namespace pv
