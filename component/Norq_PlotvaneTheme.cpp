// The themes of TNorq_DBPlotvane: tables of the look's defaults, put on the
// chart for one drawing and taken off after it.
//
// A theme replaces a look property only while it holds the value the
// component starts with, or a colour drawn the same (a font attribute by
// attribute), so whatever a form sets otherwise wins. Parts no property names (axis labels, legend text and
// box, grid, axis lines, 3D walls, the legend frame) always take the
// theme's. The classic theme is the component as it always was: it puts
// nothing on the chart.

#include <array>
#include <optional>
#include <span>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

namespace {

using pv::RGB;

struct TThemeTable {
    TColor Background;                    // Color while clWindow
    TColor GradientStart, GradientEnd;    // the gradient's colours while clWhite / $F0E6DC
    TColor Title;                         // title font colour while clNavy
    int TitleSize;                        // title font size while 12
    TColor Text;                          // axis titles while black; axis labels, legend text
    TColor LegendBack;                    // the legend box's fill (clNone: none)
    TColor MarksBack, MarksText;          // while $E1FFFF / black
    TColor Series, Negative;              // SeriesColor while clBlue, SeriesColorNegative while clRed
    std::array<TColor, 8> Palette;        // a colour per point, in turn (scColorEachPoint)
    TChartLook Lines;
    TColor Reference;                     // the reference line while its Color is clDefault
};

// Light: the colour-blind-safe palette of Okabe and Ito (yellow last, the
// faintest on white), blue for values and vermilion below zero (a pair that
// stays apart for every kind of colour vision), soft greys, no legend frame.
const TThemeTable Modern{
    RGB(0xFF, 0xFF, 0xFF),
    RGB(0xFF, 0xFF, 0xFF), RGB(0xEE, 0xF2, 0xF6),
    RGB(0x22, 0x2B, 0x36), 15,
    RGB(0x44, 0x4C, 0x56),
    pv::clNone,
    RGB(0xFF, 0xFF, 0xFF), RGB(0x33, 0x3A, 0x44),
    RGB(0x00, 0x72, 0xB2), RGB(0xD5, 0x5E, 0x00),
    {RGB(0x00, 0x72, 0xB2), RGB(0xE6, 0x9F, 0x00), RGB(0x00, 0x9E, 0x73), RGB(0xCC, 0x79, 0xA7),
     RGB(0x56, 0xB4, 0xE9), RGB(0xD5, 0x5E, 0x00), RGB(0x99, 0x99, 0x99), RGB(0xF0, 0xE4, 0x42)},
    {RGB(0xEB, 0xEE, 0xF1), RGB(0xE2, 0xE6, 0xEA), RGB(0x9A, 0xA3, 0xAD), RGB(0xFB, 0xFC, 0xFD),
     RGB(0xF1, 0xF3, 0xF5), RGB(0xE9, 0xEC, 0xEF), RGB(0xC9, 0xCF, 0xD5), pv::clNone},
    RGB(0xC6, 0x28, 0x28),
};

// Dark: the same hues made lighter so that each stands out on near-black,
// light text, dim grid lines and walls a little lighter than the ground.
const TThemeTable Dark{
    RGB(0x1E, 0x21, 0x27),
    RGB(0x2A, 0x2E, 0x36), RGB(0x16, 0x18, 0x1D),
    RGB(0xF2, 0xF4, 0xF7), 15,
    RGB(0xD0, 0xD5, 0xDC),
    pv::clNone,
    RGB(0x2E, 0x33, 0x3B), RGB(0xE6, 0xE9, 0xED),
    RGB(0x56, 0xB4, 0xE9), RGB(0xFF, 0x8A, 0x4C),
    {RGB(0x56, 0xB4, 0xE9), RGB(0xF5, 0xB7, 0x2E), RGB(0x3D, 0xC9, 0x9F), RGB(0xE6, 0x9A, 0xC8),
     RGB(0xFF, 0x8A, 0x4C), RGB(0xF0, 0xE4, 0x42), RGB(0x9F, 0xB4, 0xFF), RGB(0xC8, 0xCC, 0xD2)},
    {RGB(0x38, 0x3D, 0x46), RGB(0x42, 0x47, 0x50), RGB(0x8C, 0x94, 0x9E), RGB(0x25, 0x29, 0x30),
     RGB(0x2B, 0x2F, 0x37), RGB(0x31, 0x35, 0x3D), RGB(0x4A, 0x50, 0x5A), RGB(0x4A, 0x50, 0x5A)},
    RGB(0xFF, 0x6B, 0x6B),
};

const TThemeTable* TableOf(TPlotvaneTheme Theme) {
    switch (Theme) {
        case TPlotvaneTheme::thClassic: return nullptr;
        case TPlotvaneTheme::thModern: return &Modern;
        case TPlotvaneTheme::thDark: return &Dark;
    }
    return nullptr;
}

// The values the component starts with, which a theme may replace.
constexpr TColor StartColor = pv::clWindow;
constexpr TColor StartGradientStart = pv::clWhite, StartGradientEnd = 0xF0E6DC;
constexpr TColor StartTitleColor = pv::clNavy;
constexpr int StartTitleSize = 12;
constexpr TColor StartMarksBack = 0xE1FFFF;

// A font's attributes saved for the drawing and put back after it.
class TSavedFont {
public:
    explicit TSavedFont(TFont* F) : FFont(F) { FCopy.Assign(*F); }
    ~TSavedFont() { FFont->Assign(FCopy); }
    TSavedFont(const TSavedFont&) = delete;
    TSavedFont& operator=(const TSavedFont&) = delete;
    TFont& operator*() const { return *FFont; }
    TFont* operator->() const { return FFont; }

private:
    TFont* FFont;
    TFont FCopy;
};

}  // namespace

class TNorq_DBPlotvane::TThemeScope {
public:
    explicit TThemeScope(TNorq_DBPlotvane& C) : FTable(TableOf(C.FTheme)) {
        if (FTable) FApplied.emplace(C, *FTable);
    }
    // The colour point I takes where each point has its own.
    TColor PointColor(int I) const {
        return FTable ? FTable->Palette[static_cast<std::size_t>(I) % FTable->Palette.size()] : pv::clDefault;
    }

private:
    // What the theme changed, put back in the destructor.
    struct TApplied {
        TNorq_DBPlotvane& C;
        TDBChart& Chart;
        TSavedFont Title, LeftTitle, BottomTitle, LeftLabels, BottomLabels, Legend, Marks;
        TColor Color, GradientStart, GradientEnd, LegendBack, MarksBack, Series, Negative;
        TChartLook Lines;
        TChartReferenceLine Reference;

        TApplied(TNorq_DBPlotvane& AC, const TThemeTable& T)
            : C(AC),
              Chart(*AC.InternalChart.get()),
              Title(Chart.GetTitle()->GetFont()),
              LeftTitle(Chart.GetLeftAxis()->GetTitle()->GetFont()),
              BottomTitle(Chart.GetBottomAxis()->GetTitle()->GetFont()),
              LeftLabels(Chart.GetLeftAxis()->GetLabelsFont()),
              BottomLabels(Chart.GetBottomAxis()->GetLabelsFont()),
              Legend(Chart.GetLegend()->GetFont()),
              Marks(AC.ChartSeries->GetMarks()->GetFont()),
              Color(Chart.GetColor()),
              GradientStart(Chart.GetGradient()->GetStartColor()),
              GradientEnd(Chart.GetGradient()->GetEndColor()),
              LegendBack(Chart.GetLegend()->GetColor()),
              MarksBack(AC.ChartSeries->GetMarks()->GetBackColor()),
              Series(AC.ChartSeries->GetSeriesColor()),
              Negative(AC.FSeriesColorNegative),
              Lines(Chart.GetLook()),
              Reference(Chart.GetReferenceLine()) {
            // A colour that draws as the starting one does (clWhite for
            // clWindow) counts as the start: a written form holds every
            // property, so the classic look spelled out is no choice of its own.
            const auto Default = [](TColor Held, TColor Start, TColor Themed) {
                return Held != pv::clNone && Held != pv::clDefault && pv::ColorToRGB(Held) == pv::ColorToRGB(Start)
                           ? Themed
                           : Held;
            };
            Chart.SetColor(Default(Color, StartColor, T.Background));
            Chart.GetGradient()->SetStartColor(Default(GradientStart, StartGradientStart, T.GradientStart));
            Chart.GetGradient()->SetEndColor(Default(GradientEnd, StartGradientEnd, T.GradientEnd));
            Title->SetColor(Default(Title->GetColor(), StartTitleColor, T.Title));
            if (Title->GetSize() == StartTitleSize) Title->SetSize(T.TitleSize);
            for (TFont* F : {&*LeftTitle, &*BottomTitle}) F->SetColor(Default(F->GetColor(), pv::clBlack, T.Text));
            for (TFont* F : {&*LeftLabels, &*BottomLabels, &*Legend}) F->SetColor(T.Text);
            Marks->SetColor(Default(Marks->GetColor(), pv::clBlack, T.MarksText));
            Chart.GetLegend()->SetColor(T.LegendBack);
            AC.ChartSeries->GetMarks()->SetBackColor(Default(MarksBack, StartMarksBack, T.MarksBack));
            AC.ChartSeries->SetSeriesColor(Default(Series, pv::clBlue, T.Series));
            AC.FSeriesColorNegative = Default(Negative, pv::clRed, T.Negative);
            Chart.SetLook(T.Lines);
            if (AC.GetReferenceLine()->GetColor() == pv::clDefault) {
                TChartReferenceLine Themed = Reference;
                Themed.Color = T.Reference;
                Chart.SetReferenceLine(Themed);
            }
        }
        ~TApplied() {
            Chart.SetReferenceLine(Reference);
            Chart.SetLook(Lines);
            C.FSeriesColorNegative = Negative;
            C.ChartSeries->SetSeriesColor(Series);
            C.ChartSeries->GetMarks()->SetBackColor(MarksBack);
            Chart.GetLegend()->SetColor(LegendBack);
            Chart.GetGradient()->SetEndColor(GradientEnd);
            Chart.GetGradient()->SetStartColor(GradientStart);
            Chart.SetColor(Color);
            // The points' own colours were the theme's only for this
            // drawing; the next one colours them again.
            if (C.FSeriesColorMode == TSeriesColorMode::scColorEachPoint)
                for (int I = 0, N = C.ChartSeries->Count(); I < N; ++I) C.ChartSeries->SetValueColor(I, pv::clDefault);
        }
        TApplied(const TApplied&) = delete;
        TApplied& operator=(const TApplied&) = delete;
    };
    const TThemeTable* FTable;
    std::optional<TApplied> FApplied;
};

void TNorq_DBPlotvane::DrawThemed(const std::function<void()>& Draw) {
    const TThemeScope Scope(*this);
    ColorPoints();
    if (GetTheme() != TPlotvaneTheme::thClassic && FSeriesColorMode == TSeriesColorMode::scColorEachPoint)
        for (int I = 0, N = ChartSeries->Count(); I < N; ++I) ChartSeries->SetValueColor(I, Scope.PointColor(I));
    Draw();
}

void TNorq_DBPlotvane::SetTheme(TPlotvaneTheme Value) {
    if (Value == FTheme) return;
    if (static_cast<unsigned>(Value) > static_cast<unsigned>(TPlotvaneTheme::thDark))
        throw pv::ERangeError("Theme " + std::to_string(static_cast<unsigned>(Value)) + " of '" + GetName() +
                              "' is out of range: it must be thClassic, thModern or thDark");
    FTheme = Value;
    DrawPreviewImage();
}

}  // namespace Norq_Plotvane
