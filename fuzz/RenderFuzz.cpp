// Rendering with random settings and random data. The chart component gets
// random values for its published properties, set through its property
// table as a form would set them (fonts and string lists included), and
// random points: none, a few or 10 000, with NaN, infinities, +-1e308,
// empty and huge labels. It renders as GIF, JPEG or bitmap. Then a chart of
// its own takes the same points through every series type (bars, lines,
// points, switched with ChangeSeriesType) and every picture format. A
// setter or a render may refuse with an error; nothing may crash.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "fuzz/FuzzInput.h"
#include "platform/chart/Chart.h"
#include "platform/chart/Series.h"
#include "platform/gif/GIFImage.h"
#include "platform/jpeg/JPEGImage.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "platform/vcl/Bitmap.h"

namespace {

using pv::fuzz::TFuzzInput;

struct TPoint {
    double Y;
    std::string Label;
};

// Sizes stay small enough for thousands of renders a second; what a large
// picture adds is only time.
std::int64_t IntegerFor(const std::string_view Name, TFuzzInput& In) {
    if (Name == "Width" || Name == "Height") return In.Range(-2, 700);
    switch (In.Byte() % 4) {
        case 0: return In.Range(-2, 2);
        case 1: return In.Range(0, 300);
        case 2: return static_cast<std::int32_t>(In.U32());
        default: return In.Bool() ? 2147483647 : -2147483647 - 1;
    }
}

std::uint32_t ColorFor(TFuzzInput& In) {
    static constexpr std::uint32_t Special[] = {0x00000000, 0x00FFFFFF, 0x1FFFFFFF, 0x20000000, 0x80000000,
                                                0x80000005, 0x80000008, 0x8000001F, 0xFF000000, 0xFFFFFFFF};
    if (In.Bool()) return Special[In.Byte() % std::size(Special)];
    return In.U32();
}

// Sets random values on Object's published properties, each with a chance;
// sub-objects (fonts) get theirs the same way.
void SetRandomProperties(pv::TObject& Object, TFuzzInput& In, int Depth) {
    const pv::TClassInfo* Info = Object.ClassInfo();
    if (!Info || Depth > 3) return;
    for (const pv::TPropInfo* P : pv::GetPropList(*Info)) {
        if (In.Empty()) return;
        if (In.Byte() % 3 != 0) continue;
        if (P->Name == "Name") continue;  // a component's identity, not a setting
        try {
            switch (P->Kind) {
                case pv::TTypeKind::tkInteger: P->Set(Object, IntegerFor(P->Name, In)); break;
                case pv::TTypeKind::tkFloat: {
                    // Any bit pattern: NaN and the infinities must be refused, not drawn.
                    const std::uint64_t Bits = (std::uint64_t{In.U32()} << 32) | In.U32();
                    double D = 0;
                    std::memcpy(&D, &Bits, sizeof D);
                    P->Set(Object, D);
                    break;
                }
                case pv::TTypeKind::tkBoolean: P->Set(Object, In.Bool()); break;
                case pv::TTypeKind::tkColor: P->Set(Object, std::int64_t{ColorFor(In)}); break;
                case pv::TTypeKind::tkString: P->Set(Object, In.String(40, 5000)); break;
                case pv::TTypeKind::tkEnumeration: {
                    const std::int64_t N = P->EnumType ? static_cast<std::int64_t>(P->EnumType->Names.size()) : 1;
                    P->Set(Object, In.Range(0, N - 1));
                    break;
                }
                case pv::TTypeKind::tkSet: {
                    const int N = P->EnumType ? static_cast<int>(P->EnumType->Names.size()) : 0;
                    P->Set(Object, static_cast<std::int64_t>(In.U32() & ((std::uint64_t{1} << N) - 1)));
                    break;
                }
                case pv::TTypeKind::tkClass: {
                    if (!P->Get) break;
                    pv::TPropValue V = P->Get(Object);
                    auto* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
                    if (!Sub) break;
                    if (dynamic_cast<pv::TStrings*>(Sub)) {
                        pv::TStringList Lines;
                        for (int I = static_cast<int>(In.Range(0, 4)); I > 0; --I) Lines.Add(In.String(30, 3000));
                        if (P->Set) P->Set(Object, static_cast<pv::TObject*>(&Lines));
                    } else {
                        SetRandomProperties(*Sub, In, Depth + 1);
                    }
                    break;
                }
                case pv::TTypeKind::tkComponent:
                case pv::TTypeKind::tkMethod: break;  // references and handlers: not settings
            }
        } catch (const pv::Exception&) {
            // A setter refusing a value is fine; the next one goes on.
        }
    }
}

std::vector<TPoint> RandomPoints(TFuzzInput& In) {
    std::vector<TPoint> Points;
    // 10 000 points take a thousand times longer than a few: a rare case.
    const std::uint8_t Kind = In.Byte() % 32;
    const int N = Kind == 0 ? 0 : Kind == 1 ? 10000 : static_cast<int>(In.Range(1, 40));
    Points.reserve(static_cast<std::size_t>(N));
    for (int I = 0; I < N; ++I) {
        if (Kind == 1 && In.Empty()) {
            Points.push_back({I * 0.5 - 2500, I % 100 == 0 ? "L" + std::to_string(I) : std::string()});
            continue;
        }
        double Y = In.Double();
        // Huge labels on a few points; on 10 000 they would only cost time.
        Points.push_back({Y, In.String(20, N > 100 ? 20 : 20000)});
    }
    return Points;
}

void Encode(const pv::TGraphic& Picture) {
    pv::TMemoryStream Out;
    Picture.SaveToStream(Out);
}

void RenderComponent(TFuzzInput& In, const std::vector<TPoint>& Points) {
    pv::TComponent Module(nullptr);
    auto* Chart = new Norq_Plotvane::TNorq_DBPlotvane(&Module);
    Chart->SetWidth(120);
    Chart->SetHeight(80);
    SetRandomProperties(*Chart, In, 0);
    try {
        for (const TPoint& P : Points) Chart->GetChartSeries()->Add(P.Y, P.Label);
    } catch (const pv::Exception&) {
    }
    try {
        switch (In.Byte() % 3) {
            case 0: Encode(*Chart->GetGIFPicture()); break;
            case 1: Encode(*Chart->GetJPEGPicture()); break;
            default: Encode(*Chart->GetBMPPicture()); break;
        }
    } catch (const pv::Exception&) {
    }
}

void RenderEverySeriesType(TFuzzInput& In, const std::vector<TPoint>& Points) {
    pv::TChart Chart(nullptr);
    try {
        // Sizes below 1 are refused.
        Chart.SetWidth(static_cast<int>(In.Range(-1, 300)));
        Chart.SetHeight(static_cast<int>(In.Range(-1, 200)));
    } catch (const pv::Exception&) {
    }
    Chart.GetTitle()->GetText()->Add(In.String(30, 3000));
    pv::TChartSeries* Series = new pv::TBarSeries(&Chart);
    Series->SetParentChart(&Chart);
    try {
        for (const TPoint& P : Points) Series->Add(P.Y, P.Label);
    } catch (const pv::Exception&) {
    }
    const pv::TChartSeriesClass Types[] = {&pv::TBarSeries::NewInstance, &pv::TLineSeries::NewInstance,
                                           &pv::TPointSeries::NewInstance};
    for (pv::TChartSeriesClass Type : Types) {
        pv::ChangeSeriesType(Series, Type);
        try {
            auto Bitmap = Chart.TeeCreateBitmap(pv::clWhite, pv::Rect(0, 0, Chart.GetWidth(), Chart.GetHeight()));
            Encode(*Bitmap);
            pv::TGIFImage Gif;
            Gif.Assign(*Bitmap);
            Encode(Gif);
            pv::TJPEGImage Jpeg;
            Jpeg.SetCompressionQuality(static_cast<std::uint8_t>(In.Range(1, 100)));
            Jpeg.Assign(*Bitmap);
            Encode(Jpeg);
        } catch (const pv::Exception&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TFuzzInput In(Data, Size);
    const std::vector<TPoint> Points = RandomPoints(In);
    RenderComponent(In, Points);
    RenderEverySeriesType(In, Points);
    return 0;
}
