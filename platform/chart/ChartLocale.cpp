#include "platform/chart/ChartLocale.h"

#include <unicode/udat.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <vector>

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
        return L;
    }();
    return Default;
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
