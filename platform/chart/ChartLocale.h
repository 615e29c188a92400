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
    // The abbreviated months and weekdays as a date writes them ("5 мар."
    // in Russian, where the standalone name is "март"; "Do., 5. März" in
    // German, where the weekday alone is "Do"), and the quarters ("Q1").
    std::array<std::string, 12> DateShortMonthNames;
    std::array<std::string, 7> DateShortDayNames;
    std::array<std::string, 4> ShortQuarterNames;
    // How the locale writes a day of a month ("MMM d": "Mar 5"; "d. MMM"
    // in German), the same with the weekday ("EEE, MMM d"), a month of a
    // year ("MMM y") and a quarter of a year ("QQQ y"), in the pattern
    // letters of Unicode's date formats (see FormatDatePattern).
    std::string DayMonthPattern, WeekdayDayMonthPattern, MonthYearPattern, QuarterYearPattern;
};

// Days is a count of days since 1970-01-01, written by Pattern with
// Locale's names: y (the year), M and MM (the month's number), MMM and
// MMMM (its name, abbreviated or whole; L the same, standing alone), d and
// dd (the day), E to EEE and EEEE (the weekday; c standing alone), Q and QQ
// (the quarter's number), QQQ
// (its abbreviation), and text in single quotes; every other character as
// it stands.
std::string FormatDatePattern(std::string_view Pattern, long long Days, const TChartLocale& Locale);

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
