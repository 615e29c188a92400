// The properties of TNorq_DBPlotvane for several series drawn from one
// query: the group field, the stacking and the palette. Like the other
// appearance properties they live in the hidden chart and its series, and
// a write that changes something refreshes.

#include <string>
#include <vector>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

std::string TNorq_DBPlotvane::GetGroupSource() const { return ChartSeries->GetGroupSource(); }

void TNorq_DBPlotvane::SetGroupSource(const std::string& Value) {
    if (Value == ChartSeries->GetGroupSource()) return;
    ChartSeries->SetGroupSource(Value);
    const TDataSource* Source = FDataSource.get();
    if (Source && Source->GetDataSet() && Source->GetDataSet()->GetActive()) DrawPreviewImage();
}

TSeriesStacking TNorq_DBPlotvane::GetStacking() const { return InternalChart->GetStacking(); }

void TNorq_DBPlotvane::SetStacking(TSeriesStacking Value) {
    if (Value == InternalChart->GetStacking()) return;
    if (static_cast<int>(Value) > static_cast<int>(TSeriesStacking::sgStacked100))
        throw pv::ERangeError("Stacking " + std::to_string(static_cast<int>(Value)) + " of '" + GetName() +
                              "' is out of range sgNone..sgStacked100");
    InternalChart->SetStacking(Value);
    DrawPreviewImage();
}

namespace {

std::vector<TColor> ReadPalette(const std::string& Text, const std::string& Owner) {
    std::vector<TColor> Out;
    std::size_t I = 0;
    while (I < Text.size()) {
        const std::size_t Start = Text.find_first_not_of(", \t", I);
        if (Start == std::string::npos) break;
        std::size_t End = Text.find_first_of(", \t", Start);
        if (End == std::string::npos) End = Text.size();
        const std::string Word = Text.substr(Start, End - Start);
        const std::optional<TColor> C = pv::StringToColor(Word);
        if (!C)
            throw pv::EConvertError("SeriesPalette of '" + Owner + "': '" + Word + "' is not a colour (expected " +
                                    std::string(pv::ColorSpellings) + ")");
        Out.push_back(*C);
        I = End;
    }
    return Out;
}

}  // namespace

std::string TNorq_DBPlotvane::GetSeriesPalette() const {
    std::string Out;
    for (const TColor C : InternalChart->GetPalette()) {
        if (!Out.empty()) Out += ", ";
        const std::string Name = pv::ColorToString(C);
        Out += Name[0] == '$' && !pv::IsSystemColor(C) ? pv::ColorToHtml(C) : Name;
    }
    return Out;
}

void TNorq_DBPlotvane::SetSeriesPalette(const std::string& Value) {
    const std::vector<TColor> Colors = ReadPalette(Value, GetName());
    if (Colors == InternalChart->GetPalette()) return;
    InternalChart->SetPalette(Colors);
    DrawPreviewImage();
}

}  // namespace Norq_Plotvane
