#pragma once
// How a chart writes numbers and names dates for a locale: the decimal and
// thousands separators of its value formats and axis labels, and the names of
// the months and days. The data comes from ICU's locale data, so every
// locale ICU knows is available without a table of our own.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/FormatFloat.h"

namespace pv {

struct TChartLocale {
    // The name as the caller gave it ("" for the default) and as ICU spells
    // it ("de_DE").
    std::string Name;
    std::string Id;
    TNumberSeparators Separators;
    // Standalone forms, as an axis label shows them: January first, Sunday
    // first.
    std::array<std::string, 12> MonthNames, ShortMonthNames;
    std::array<std::string, 7> DayNames, ShortDayNames;
};

// The default: "." and ",", English month and day names, what every chart
// without a locale shows.
const TChartLocale& DefaultChartLocale();

// The locale Name stands for: a language tag ("de-DE", "fr", "pt-BR") or an
// ICU locale id ("de_DE"); "" is the default. A name ICU has no data for
// raises EConvertError naming it. Looked up once per name and kept.
std::shared_ptr<const TChartLocale> FindChartLocale(std::string_view Name);

// The locales FindChartLocale knows, as language tags ("de", "de-AT",
// "zh-Hant-TW"), sorted, for editors that offer them.
std::vector<std::string> ChartLocaleNames();

}  // namespace pv
