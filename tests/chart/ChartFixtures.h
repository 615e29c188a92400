#pragma once
// Charts shared by the chart tests and the render benchmark, among them the
// reference chart R1: 400 x 250, a title, twelve monthly bars coloured by
// sign, marks, axis titles and a legend listing the values.

#include <memory>
#include <string>
#include <vector>

#include "platform/chart/Chart.h"
#include "platform/chart/Series.h"

namespace pv::testing {

inline constexpr double R1Values[12] = {12, 19, 3, -5, 22, 17, 9, 14, -2, 25, 30, 11};
inline const char* const R1Labels[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A chart as the chart component sets it up: window colour, no bevels, a
// title, a legend of values.
inline std::unique_ptr<TChart> MakeChart(int Width = 400, int Height = 250, const std::string& Title = "Monthly revenue") {
    auto Chart = std::make_unique<TChart>(nullptr);
    Chart->SetWidth(Width);
    Chart->SetHeight(Height);
    Chart->SetColor(clWindow);
    Chart->SetBevelOuter(TBevelCut::bvNone);
    Chart->SetBevelInner(TBevelCut::bvNone);
    Chart->GetTitle()->GetText()->Clear();
    if (!Title.empty()) Chart->GetTitle()->GetText()->Add(Title);
    Chart->GetLegend()->SetLegendStyle(TLegendStyle::lsValues);
    return Chart;
}

// A series of class S owned by Chart and attached to it.
template <class S>
S* AddSeries(TChart& Chart) {
    auto* Series = new S(&Chart);
    Series->SetParentChart(&Chart);
    return Series;
}

// Positive points blue, negative red, as the component's positive/negative
// colour mode leaves them.
inline void ColourBySign(TChartSeries& S) {
    for (int I = 0; I < S.Count(); ++I)
        if (!S.IsNull(I)) S.SetValueColor(I, S.GetYValue(I) >= 0 ? clBlue : clRed);
}

// R1 with its points in a series made by NewClass (bars by default), each
// type with the settings the chart component gives it.
inline std::unique_ptr<TChart> MakeR1(int Width = 400, int Height = 250,
                                      TChartSeriesClass NewClass = &TBarSeries::NewInstance) {
    auto Chart = MakeChart(Width, Height);
    auto* Bars = NewClass(Chart.get());
    Bars->SetParentChart(Chart.get());
    Bars->GetMarks()->SetVisible(true);
    if (Bars->GetPointer()) Bars->GetPointer()->SetInflateMargins(true);
    Bars->SetSeriesColor(clBlue);
    for (int I = 0; I < 12; ++I) Bars->Add(R1Values[I], R1Labels[I]);
    ColourBySign(*Bars);
    Chart->GetLeftAxis()->GetTitle()->SetCaption("EUR");
    Chart->GetBottomAxis()->GetTitle()->SetCaption("Month");
    return Chart;
}

// The reference chart R2: R1's twelve months for three regions, a series
// per region split from one series (its groups), coloured by the palette
// the chart component gives, 480 x 280, a legend of the series, no marks;
// bars (by default) side by side or piled as Stacking says.
inline constexpr double R2Values[3][12] = {{7, 11, 1, -2, 13, 10, 4, 6, 1, 15, 18, 6},
                                           {5, 8, 2, -3, 9, 7, 5, 8, -3, 10, 12, 5},
                                           {3, 4, 6, 2, 5, 8, 7, 3, 4, 6, 9, 10}};
inline const char* const R2Regions[3] = {"EU", "US", "Asia"};
inline std::unique_ptr<TChart> MakeR2(TSeriesStacking Stacking = TSeriesStacking::sgNone,
                                      TChartSeriesClass NewClass = &TBarSeries::NewInstance) {
    auto Chart = MakeChart(480, 280, "Revenue by region");
    Chart->SetPalette({RGB(0xE6, 0x9F, 0x00), RGB(0x00, 0x9E, 0x73), RGB(0xD5, 0x5E, 0x00)});
    Chart->SetStacking(Stacking);
    auto* S = NewClass(Chart.get());
    S->SetParentChart(Chart.get());
    S->GetMarks()->SetVisible(false);
    S->SetSeriesColor(clBlue);
    S->SetGroupTitle(R2Regions[0]);
    for (int R = 0; R < 3; ++R) {
        TChartSeries& G = R == 0 ? *S : S->AddGroup(R2Regions[R]);
        for (int I = 0; I < 12; ++I) G.Add(R2Values[R][I], R1Labels[I]);
    }
    Chart->GetLeftAxis()->GetTitle()->SetCaption("EUR");
    return Chart;
}

inline std::unique_ptr<TBitmap> Render(const TChart& Chart) {
    return Chart.TeeCreateBitmap(clWhite, Rect(0, 0, Chart.GetWidth(), Chart.GetHeight()));
}

}  // namespace pv::testing
