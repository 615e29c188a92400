// The ticks and labels of time axes (declared in AxisMath.h).

#include <cmath>
#include <cstdio>

#include "platform/chart/internal/AxisMath.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/FormatFloat.h"

namespace pv {

namespace {

constexpr double Minute = 60, Hour = 3600, Day = SecondsPerDay, Year = 365.2425 * SecondsPerDay;
// Beyond this many seconds from 1970 (some three billion years) the
// calendar's counts would leave 64 bits.
constexpr double CalendarLimit = 1e17;

std::int64_t DayOf(double T) { return static_cast<std::int64_t>(std::floor(T / Day)); }

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) { return A / B - (A % B != 0 && A < 0 ? 1 : 0); }

// Ticks K * Unit for K from ceil(Min / Unit) on, up to Max.
bool EvenTicks(TValueRange R, double Unit, int MaxCount, std::vector<double>& Out) {
    const double First = std::ceil(R.Min / Unit - 1e-9), Last = std::floor(R.Max / Unit + 1e-9);
    if (Last - First + 1 > MaxCount) return false;
    for (double K = First; K <= Last; ++K) Out.push_back(K * Unit);
    return true;
}

// "14:30", "14:30:05" or "14:30:05.25" for Seconds since some midnight,
// hours counted on past 24 and a minus below 0.
std::string ClockText(double Seconds, bool WithSeconds, int Decimals) {
    const double Scale = std::pow(10.0, Decimals);
    const double Units = std::round(std::fabs(Seconds) * Scale);
    // No minus on a time that rounds to 0.
    const bool Negative = Seconds < 0 && Units > 0;
    const double Whole = std::floor(Units / Scale);
    const auto S = static_cast<long long>(Whole);
    char Buf[64];
    if (WithSeconds)
        std::snprintf(Buf, sizeof Buf, "%s%02lld:%02lld:%02lld", Negative ? "-" : "", S / 3600, S / 60 % 60, S % 60);
    else
        std::snprintf(Buf, sizeof Buf, "%s%02lld:%02lld", Negative ? "-" : "", S / 3600, S / 60 % 60);
    std::string Out(Buf);
    if (Decimals > 0) {
        std::snprintf(Buf, sizeof Buf, ".%0*lld", Decimals, static_cast<long long>(Units - Whole * Scale));
        Out += Buf;
    }
    return Out;
}

std::string YearText(std::int64_t Days) { return std::to_string(CivilFromDays(Days).Year); }

}  // namespace

double TTimeStep::Seconds() const {
    switch (Unit) {
        case TTimeUnit::tuSecond: return Count;
        case TTimeUnit::tuMinute: return Count * Minute;
        case TTimeUnit::tuHour: return Count * Hour;
        case TTimeUnit::tuDay: return Count * Day;
        case TTimeUnit::tuWeek: return Count * 7 * Day;
        case TTimeUnit::tuMonth: return Count * Year / 12;
        case TTimeUnit::tuYear: return Count * Year;
    }
    return Count;
}

const std::vector<TTimeStep>& TimeSteps(TChartValueKind Kind) {
    auto Make = [](bool Dates, bool Clock) {
        std::vector<TTimeStep> S;
        if (Clock) {
            for (double C : {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0})
                S.push_back({TTimeUnit::tuSecond, C});
            for (double C : {1, 2, 5, 10, 15, 30}) S.push_back({TTimeUnit::tuMinute, C});
            for (double C : {1, 2, 3, 6, 12}) S.push_back({TTimeUnit::tuHour, C});
        }
        if (!Dates) {
            // Durations go on in hours: a day, then 2, 5, 10, ... days' worth.
            S.push_back({TTimeUnit::tuHour, 24});
            for (double P = 1; P <= 1e9; P *= 10)
                for (double M : {2, 5, 10}) S.push_back({TTimeUnit::tuHour, 24 * M * P});
            return S;
        }
        S.push_back({TTimeUnit::tuDay, 1});
        S.push_back({TTimeUnit::tuDay, 2});
        S.push_back({TTimeUnit::tuWeek, 1});
        for (double C : {1, 3, 6}) S.push_back({TTimeUnit::tuMonth, C});
        for (double P = 1; P <= 1e9; P *= 10)
            for (double M : {1, 2, 5}) S.push_back({TTimeUnit::tuYear, M * P});
        return S;
    };
    static const std::vector<TTimeStep> DateTimes = Make(true, true), Dates = Make(true, false),
                                        Times = Make(false, true);
    switch (Kind) {
        case TChartValueKind::vkDate: return Dates;
        case TChartValueKind::vkTime: return Times;
        case TChartValueKind::vkDateTime:
        case TChartValueKind::vkNumber: break;
    }
    return DateTimes;
}

std::vector<double> TimeTickValues(TValueRange R, TTimeStep Step, int MaxCount) {
    std::vector<double> Out;
    if (!(R.Max >= R.Min) || std::fabs(R.Min) > CalendarLimit || std::fabs(R.Max) > CalendarLimit || MaxCount < 1)
        return Out;
    // A first guess from the lengths spares counting a hopeless step.
    if ((R.Max - R.Min) / Step.Seconds() > MaxCount + 2) return Out;
    bool Fit = true;
    switch (Step.Unit) {
        case TTimeUnit::tuSecond:
        case TTimeUnit::tuMinute:
        case TTimeUnit::tuHour: Fit = EvenTicks(R, Step.Seconds(), MaxCount, Out); break;
        case TTimeUnit::tuDay:
        case TTimeUnit::tuWeek: {
            const auto Every = static_cast<std::int64_t>(Step.Unit == TTimeUnit::tuWeek ? 7 * Step.Count : Step.Count);
            // Weeks start on Mondays: 1970-01-05 was one, day 4.
            const std::int64_t Offset = Step.Unit == TTimeUnit::tuWeek ? 4 : 0;
            std::int64_t D = static_cast<std::int64_t>(std::ceil(R.Min / Day - 1e-9));
            D += ((Offset - D) % Every + Every) % Every;
            for (; D * Day <= R.Max + 1e-6; D += Every) {
                if (static_cast<int>(Out.size()) == MaxCount) return {};
                Out.push_back(static_cast<double>(D) * Day);
            }
            break;
        }
        case TTimeUnit::tuMonth:
        case TTimeUnit::tuYear: {
            const auto Every = static_cast<std::int64_t>(Step.Unit == TTimeUnit::tuYear ? 12 * Step.Count : Step.Count);
            const TCivilDate From = CivilFromDays(DayOf(R.Min));
            // Months since year 0, to the first multiple of the step.
            std::int64_t M = From.Year * 12 + (From.Month - 1);
            M = FloorDiv(M, Every) * Every;
            for (;; M += Every) {
                const double T =
                    static_cast<double>(DaysFromCivil({FloorDiv(M, 12), static_cast<int>(M - FloorDiv(M, 12) * 12) + 1, 1})) *
                    Day;
                if (T < R.Min - 1e-6) continue;
                if (T > R.Max + 1e-6) break;
                if (static_cast<int>(Out.size()) == MaxCount) return {};
                Out.push_back(T);
            }
            break;
        }
    }
    if (!Fit) Out.clear();
    return Out;
}

std::string TimeTickLabel(double T, TTimeStep Step, TChartValueKind Kind, bool Weekday, const TChartLocale& Locale) {
    const bool SubSecond = Step.Unit == TTimeUnit::tuSecond && Step.Count < 1;
    const int Decimals = SubSecond ? static_cast<int>(std::ceil(-std::log10(Step.Count) - 1e-9)) : 0;
    const bool WithSeconds = Step.Unit == TTimeUnit::tuSecond;
    if (Kind == TChartValueKind::vkTime) return ClockText(T, WithSeconds, Decimals);
    const std::int64_t Days = DayOf(T);
    const double InDay = T - static_cast<double>(Days) * Day;
    const TCivilDate D = CivilFromDays(Days);
    const bool Midnight = std::fabs(InDay) < 1e-6 || std::fabs(InDay - Day) < 1e-6;
    const bool NewYear = Midnight && D.Month == 1 && D.Day == 1;
    switch (Step.Unit) {
        case TTimeUnit::tuSecond:
        case TTimeUnit::tuMinute:
        case TTimeUnit::tuHour:
            if (NewYear) return YearText(Days);
            if (Midnight) return FormatDatePattern(Locale.DayMonthPattern, Days, Locale);
            return ClockText(InDay, WithSeconds, Decimals);
        case TTimeUnit::tuDay:
        case TTimeUnit::tuWeek:
            if (NewYear) return YearText(Days);
            return FormatDatePattern(Weekday ? Locale.WeekdayDayMonthPattern : Locale.DayMonthPattern, Days, Locale);
        case TTimeUnit::tuMonth:
            if (Step.Count == 3) return FormatDatePattern(Locale.QuarterYearPattern, Days, Locale);
            if (D.Month == 1) return YearText(Days);
            return Locale.ShortMonthNames[static_cast<std::size_t>(D.Month - 1)];
        case TTimeUnit::tuYear: break;
    }
    return YearText(Days);
}

TTimeTicks TimeTicks(TValueRange R, TChartValueKind Kind, const TChartLocale& Locale, int MaxCount,
                     const std::function<bool(const TTimeTicks&)>& Fits) {
    MaxCount = std::max(1, MaxCount);
    if (std::fabs(R.Min) > CalendarLimit || std::fabs(R.Max) > CalendarLimit) {
        const TAxisTicks N = NiceTicks(R, std::min(MaxCount, 10), false);
        TTimeTicks Out;
        Out.Step = {TTimeUnit::tuSecond, N.Step};
        Out.Values = N.Values;
        for (double V : N.Values) Out.Labels.push_back(FormatFloat("0.###E+0", V));
        return Out;
    }
    TTimeTicks Coarsest;
    for (const TTimeStep& Step : TimeSteps(Kind)) {
        TTimeTicks Try;
        Try.Step = Step;
        Try.Values = TimeTickValues(R, Step, MaxCount);
        if (Try.Values.empty()) {
            // Too many ticks, or none in the range: a coarser step may
            // do, until steps are far longer than the range.
            if (Step.Seconds() > 10 * (R.Max - R.Min) && !Coarsest.Values.empty()) break;
            continue;
        }
        const bool Days = Step.Unit == TTimeUnit::tuDay;
        for (int Pass = Days ? 0 : 1; Pass < 2; ++Pass) {
            Try.Weekday = Pass == 0;
            Try.Labels.clear();
            bool HasYear = false;
            for (double V : Try.Values) {
                Try.Labels.push_back(TimeTickLabel(V, Step, Kind, Try.Weekday, Locale));
                const TCivilDate D = CivilFromDays(DayOf(V));
                HasYear = HasYear || D.Month == 1;
            }
            // Months alone do not say which year: the first label does.
            if (Step.Unit == TTimeUnit::tuMonth && Step.Count != 3 && !HasYear)
                Try.Labels.front() = FormatDatePattern(Locale.MonthYearPattern, DayOf(Try.Values.front()), Locale);
            if (Fits(Try)) return Try;
            Coarsest = Try;
        }
    }
    return Coarsest;
}

}  // namespace pv
