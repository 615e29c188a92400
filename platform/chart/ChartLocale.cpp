#include "platform/chart/ChartLocale.h"

#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exception.h"

namespace pv {

namespace {

std::string Utf8(const UChar* Text, int32_t Length) {
    UErrorCode Status = U_ZERO_ERROR;
    int32_t Needed = 0;
    u_strToUTF8(nullptr, 0, &Needed, Text, Length, &Status);
    if (Status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(Status)) return {};
    std::string Out(static_cast<std::size_t>(Needed), '\0');
    Status = U_ZERO_ERROR;
    u_strToUTF8(Out.data(), Needed, nullptr, Text, Length, &Status);
    return U_FAILURE(Status) ? std::string() : Out;
}

// The locale ids ICU has data for ("de", "de_AT", "zh_Hant_TW", ...).
const std::set<std::string>& AvailableIds() {
    static const std::set<std::string> Ids = [] {
        std::set<std::string> Out;
        for (int32_t I = 0, N = uloc_countAvailable(); I < N; ++I) Out.insert(uloc_getAvailable(I));
        return Out;
    }();
    return Ids;
}

// The ICU id of Name, or "" when Name is no locale ICU has data for. Both
// spellings are read: "de-DE" and "de_DE".
std::string IdOf(std::string_view Name) {
    if (Name.empty() || Name.size() > 64) return {};
    std::string Tag(Name);
    for (char& C : Tag) {
        if (C == '_') C = '-';
        const bool Fits = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-';
        if (!Fits) return {};
    }
    char Id[ULOC_FULLNAME_CAPACITY];
    int32_t Parsed = 0;
    UErrorCode Status = U_ZERO_ERROR;
    const int32_t Length = uloc_forLanguageTag(Tag.c_str(), Id, sizeof Id, &Parsed, &Status);
    if (U_FAILURE(Status) || Status == U_STRING_NOT_TERMINATED_WARNING || Parsed != static_cast<int32_t>(Tag.size()) ||
        Length <= 0)
        return {};
    return AvailableIds().count(Id) ? std::string(Id) : std::string();
}

// A formatter's symbol (UNUM_*_SYMBOL) in UTF-8.
std::string NumberSymbol(const UNumberFormat* F, UNumberFormatSymbol Which) {
    UChar Buffer[16];
    UErrorCode Status = U_ZERO_ERROR;
    const int32_t N = unum_getSymbol(F, Which, Buffer, 16, &Status);
    return U_FAILURE(Status) ? std::string() : Utf8(Buffer, N);
}

std::string DateSymbol(const UDateFormat* F, UDateFormatSymbolType Which, int32_t Index) {
    UChar Buffer[64];
    UErrorCode Status = U_ZERO_ERROR;
    const int32_t N = udat_getSymbols(F, Which, Index, Buffer, 64, &Status);
    return U_FAILURE(Status) ? std::string() : Utf8(Buffer, N);
}

struct TNumberFormatClose {
    void operator()(UNumberFormat* F) const { unum_close(F); }
};
struct TDateFormatClose {
    void operator()(UDateFormat* F) const { udat_close(F); }
};
struct TPatternGeneratorClose {
    void operator()(UDateTimePatternGenerator* G) const { udatpg_close(G); }
};

// The locale's pattern for the fields of Skeleton ("MMMd"), or Fallback.
std::string BestPattern(UDateTimePatternGenerator* G, const char* Skeleton, const char* Fallback) {
    UChar Sk[16], Buffer[64];
    u_uastrcpy(Sk, Skeleton);
    UErrorCode Status = U_ZERO_ERROR;
    const int32_t N = G ? udatpg_getBestPattern(G, Sk, -1, Buffer, 64, &Status) : 0;
    if (!G || U_FAILURE(Status) || N <= 0) return Fallback;
    return Utf8(Buffer, N);
}

// Reads the separators and names of Id; false when ICU cannot give them.
bool ReadLocale(const std::string& Id, TChartLocale& L) {
    UErrorCode Status = U_ZERO_ERROR;
    std::unique_ptr<UNumberFormat, TNumberFormatClose> Numbers(
        unum_open(UNUM_DECIMAL, nullptr, 0, Id.c_str(), nullptr, &Status));
    if (U_FAILURE(Status) || !Numbers) return false;
    L.Separators.Decimal = NumberSymbol(Numbers.get(), UNUM_DECIMAL_SEPARATOR_SYMBOL);
    L.Separators.Thousands = NumberSymbol(Numbers.get(), UNUM_GROUPING_SEPARATOR_SYMBOL);
    if (L.Separators.Decimal.empty()) return false;

    Status = U_ZERO_ERROR;
    std::unique_ptr<UDateFormat, TDateFormatClose> Dates(
        udat_open(UDAT_DEFAULT, UDAT_DEFAULT, Id.c_str(), nullptr, 0, nullptr, 0, &Status));
    if (U_FAILURE(Status) || !Dates) return false;
    for (int32_t I = 0; I < 12; ++I) {
        L.MonthNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_STANDALONE_MONTHS, I);
        L.ShortMonthNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_STANDALONE_SHORT_MONTHS, I);
    }
    // ICU counts the days from 1, Sunday.
    for (int32_t I = 0; I < 7; ++I) {
        L.DayNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_STANDALONE_WEEKDAYS, I + 1);
        L.ShortDayNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_STANDALONE_SHORT_WEEKDAYS, I + 1);
    }
    for (int32_t I = 0; I < 12; ++I)
        L.DateShortMonthNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_SHORT_MONTHS, I);
    for (int32_t I = 0; I < 7; ++I)
        L.DateShortDayNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_SHORT_WEEKDAYS, I + 1);
    for (int32_t I = 0; I < 4; ++I)
        L.ShortQuarterNames[static_cast<std::size_t>(I)] = DateSymbol(Dates.get(), UDAT_STANDALONE_SHORT_QUARTERS, I);
    Status = U_ZERO_ERROR;
    std::unique_ptr<UDateTimePatternGenerator, TPatternGeneratorClose> Patterns(udatpg_open(Id.c_str(), &Status));
    if (U_FAILURE(Status)) Patterns.reset();
    const TChartLocale& En = DefaultChartLocale();
    L.DayMonthPattern = BestPattern(Patterns.get(), "MMMd", En.DayMonthPattern.c_str());
    L.WeekdayDayMonthPattern = BestPattern(Patterns.get(), "MMMEd", En.WeekdayDayMonthPattern.c_str());
    L.MonthYearPattern = BestPattern(Patterns.get(), "yMMM", En.MonthYearPattern.c_str());
    L.QuarterYearPattern = BestPattern(Patterns.get(), "yQQQ", En.QuarterYearPattern.c_str());
    return true;
}

}  // namespace

const TChartLocale& DefaultChartLocale() {
    static const TChartLocale Default = [] {
        TChartLocale L;
        L.MonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
        L.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        L.DayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        L.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        L.DateShortMonthNames = L.ShortMonthNames;
        L.DateShortDayNames = L.ShortDayNames;
        L.ShortQuarterNames = {"Q1", "Q2", "Q3", "Q4"};
        L.DayMonthPattern = "MMM d";
        L.WeekdayDayMonthPattern = "EEE, MMM d";
        L.MonthYearPattern = "MMM y";
        L.QuarterYearPattern = "QQQ y";
        return L;
    }();
    return Default;
}

std::string FormatDatePattern(std::string_view Pattern, long long Days, const TChartLocale& Locale) {
    const TCivilDate D = CivilFromDays(Days);
    const auto Month = static_cast<std::size_t>(D.Month - 1);
    std::string Out;
    for (std::size_t I = 0; I < Pattern.size();) {
        const char C = Pattern[I];
        if (C == '\'') {
            // '' is a quote; 'text' is text.
            if (I + 1 < Pattern.size() && Pattern[I + 1] == '\'') {
                Out += '\'';
                I += 2;
                continue;
            }
            const std::size_t End = Pattern.find('\'', I + 1);
            Out += Pattern.substr(I + 1, End == std::string_view::npos ? std::string_view::npos : End - I - 1);
            I = End == std::string_view::npos ? Pattern.size() : End + 1;
            continue;
        }
        std::size_t N = 1;
        while (I + N < Pattern.size() && Pattern[I + N] == C) ++N;
        auto Number = [&](long long V, std::size_t Width) {
            std::string T = std::to_string(V < 0 ? -V : V);
            if (T.size() < Width) T.insert(0, Width - T.size(), '0');
            Out += (V < 0 ? "-" : "") + T;
        };
        switch (C) {
            case 'y':
                if (N == 2)
                    Number(static_cast<long long>(((D.Year % 100) + 100) % 100), 2);
                else
                    Number(static_cast<long long>(D.Year), N);
                break;
            case 'M':
            case 'L':
                if (N >= 4)
                    Out += Locale.MonthNames[Month];
                else if (N == 3)
                    Out += C == 'M' ? Locale.DateShortMonthNames[Month] : Locale.ShortMonthNames[Month];
                else
                    Number(D.Month, N);
                break;
            case 'd': Number(D.Day, N); break;
            case 'E':
            case 'c':
            case 'e': {
                const auto Day = static_cast<std::size_t>(WeekdayOfDays(Days));
                Out += N >= 4 ? Locale.DayNames[Day] : C == 'c' ? Locale.ShortDayNames[Day] : Locale.DateShortDayNames[Day];
                break;
            }
            case 'Q':
            case 'q': {
                const auto Q = static_cast<std::size_t>((D.Month - 1) / 3);
                if (N >= 3)
                    Out += Locale.ShortQuarterNames[Q];
                else
                    Number(static_cast<long long>(Q + 1), N);
                break;
            }
            default: Out.append(N, C); break;
        }
        I += N;
    }
    return Out;
}

std::shared_ptr<const TChartLocale> FindChartLocale(std::string_view Name) {
    static std::mutex Lock;
    static std::map<std::string, std::shared_ptr<const TChartLocale>, std::less<>> Known;
    if (Name.empty()) return std::shared_ptr<const TChartLocale>(std::shared_ptr<const TChartLocale>(), &DefaultChartLocale());
    {
        std::lock_guard<std::mutex> Hold(Lock);
        if (auto It = Known.find(Name); It != Known.end()) return It->second;
    }
    auto L = std::make_shared<TChartLocale>();
    L->Name = std::string(Name);
    L->Id = IdOf(Name);
    if (L->Id.empty() || !ReadLocale(L->Id, *L))
        throw EConvertError("'" + std::string(Name.substr(0, 64)) +
                            "' is not a known locale: give a language tag such as 'de-DE', 'fr' or 'en-US'");
    std::lock_guard<std::mutex> Hold(Lock);
    // Names are few (those in forms and requests), but a client could send
    // many; past a bound, names are looked up each time rather than kept.
    if (Known.size() < 512) Known.emplace(L->Name, L);
    return L;
}

std::vector<std::string> ChartLocaleNames() {
    std::vector<std::string> Out;
    for (const std::string& Id : AvailableIds()) {
        char Tag[ULOC_FULLNAME_CAPACITY];
        UErrorCode Status = U_ZERO_ERROR;
        const int32_t Length = uloc_toLanguageTag(Id.c_str(), Tag, sizeof Tag, /*strict=*/true, &Status);
        if (U_FAILURE(Status) || Status == U_STRING_NOT_TERMINATED_WARNING || Length <= 0) continue;
        // Only tags that lead back to the same data: FindChartLocale reads
        // every name offered.
        if (IdOf(std::string_view(Tag, static_cast<std::size_t>(Length))) == Id) Out.emplace_back(Tag, Length);
    }
    std::sort(Out.begin(), Out.end());
    Out.erase(std::unique(Out.begin(), Out.end()), Out.end());
    return Out;
}

}  // namespace pv
