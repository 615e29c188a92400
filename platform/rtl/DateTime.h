#pragma once
// Calendar arithmetic and ISO 8601 texts for dates and times held as
// numbers: seconds since 1970-01-01 00:00:00 UTC (a date is its midnight),
// or seconds since midnight for a time of day. The calendar is the
// proleptic Gregorian one, without leap seconds, so a day is always 86 400
// seconds and every count of days maps to one day and back.

#include <cstdint>
#include <string>
#include <string_view>

namespace pv {

inline constexpr double SecondsPerDay = 86400;

struct TCivilDate {
    std::int64_t Year = 1970;  // 0 is 1 BC, -1 is 2 BC
    int Month = 1;             // 1..12
    int Day = 1;               // 1..31
};

// Days from 1970-01-01 to D (negative before it), and back.
std::int64_t DaysFromCivil(const TCivilDate& D);
TCivilDate CivilFromDays(std::int64_t Days);
// 28..31.
int DaysInMonth(std::int64_t Year, int Month);
// 0 for Sunday .. 6 for Saturday.
int WeekdayOfDays(std::int64_t Days);

// What a text or number of seconds is read as.
enum class TDateTimeKind : std::uint8_t {
    dkDate,      // a day: "2026-03-05"; a time part is kept
    dkTime,      // a time of day or a duration: "14:30", "-838:59:59"
    dkDateTime,  // a day and a time: "2026-03-05 14:30:00"
};

// Reads an ISO 8601 text: a date YYYY-MM-DD (four to six digits of year,
// an optional leading minus), optionally followed by "T" or a space and a
// time HH:MM[:SS[.fraction]], optionally followed by a zone (Z, +HH,
// +HH:MM, +HHMM, or the same with "-"), which takes the moment back to UTC,
// and by " BC". For dkTime a time alone is read too, with any number of
// hours and an optional minus ("-01:30:00"), as databases keep durations.
// Blanks around the text are allowed. False for anything else, and for a
// day or time that does not exist ("2026-02-30", "2026-03-05 24:01").
bool ParseDateTime(std::string_view Text, TDateTimeKind Kind, double& Seconds);

// The ISO text of Seconds: "2026-03-05" (the day the moment falls in) for
// dkDate, "14:30:05" (hours beyond 24 and a minus for durations) for
// dkTime, "2026-03-05 14:30:05" for dkDateTime; a fraction of a second is
// written to the microsecond, without trailing zeros ("14:30:05.25"). A
// number too large for any calendar (beyond about 290 000 years) or not
// finite is written as a number.
std::string FormatDateTime(double Seconds, TDateTimeKind Kind);

}  // namespace pv
