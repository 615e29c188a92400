#include "platform/rtl/DateTime.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace pv {

namespace {

// The floor of A / B for B > 0.
std::int64_t FloorDiv(std::int64_t A, std::int64_t B) { return A / B - (A % B != 0 && A < 0 ? 1 : 0); }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Reads Min..Max digits at S[I] into Value, moving I past them.
bool Digits(std::string_view S, std::size_t& I, std::size_t Min, std::size_t Max, std::int64_t& Value) {
    std::size_t N = 0;
    Value = 0;
    while (I + N < S.size() && N < Max && IsDigit(S[I + N])) Value = Value * 10 + (S[I + N++] - '0');
    if (N < Min || (I + N < S.size() && IsDigit(S[I + N]))) return false;
    I += N;
    return true;
}

bool Expect(std::string_view S, std::size_t& I, char C) {
    if (I >= S.size() || S[I] != C) return false;
    ++I;
    return true;
}

// HH:MM[:SS[.fraction]] at S[I] into seconds; hours of MinHourDigits to
// HourDigits digits. Minutes and seconds are two digits below 60.
bool ReadTime(std::string_view S, std::size_t& I, std::size_t MinHourDigits, std::size_t HourDigits, std::int64_t& Hours,
              double& Rest) {
    std::int64_t M = 0, Sec = 0;
    if (!Digits(S, I, MinHourDigits, HourDigits, Hours) || !Expect(S, I, ':') || !Digits(S, I, 2, 2, M) || M > 59) return false;
    Rest = static_cast<double>(M * 60);
    if (I < S.size() && S[I] == ':') {
        ++I;
        if (!Digits(S, I, 2, 2, Sec) || Sec > 59) return false;
        Rest += static_cast<double>(Sec);
        if (I < S.size() && (S[I] == '.' || S[I] == ',')) {
            ++I;
            double Scale = 0.1, Fraction = 0;
            std::size_t N = 0;
            for (; I < S.size() && IsDigit(S[I]); ++I, ++N, Scale /= 10) Fraction += (S[I] - '0') * Scale;
            if (N == 0) return false;
            Rest += Fraction;
        }
    }
    return true;
}

std::string_view Trim(std::string_view S) {
    auto Space = [](char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; };
    while (!S.empty() && Space(S.front())) S.remove_prefix(1);
    while (!S.empty() && Space(S.back())) S.remove_suffix(1);
    return S;
}

// The microseconds of Seconds, when they fit 64 bits with room to spare.
bool Micros(double Seconds, std::int64_t& Out) {
    if (!std::isfinite(Seconds) || std::fabs(Seconds) > 9.0e12) return false;
    Out = std::llround(Seconds * 1e6);
    return true;
}

void AppendFraction(std::string& Out, std::int64_t Micro) {
    if (Micro == 0) return;
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, ".%06d", static_cast<int>(Micro % 1000000));
    std::string_view F(Buf);
    while (F.back() == '0') F.remove_suffix(1);
    Out += F;
}

}  // namespace

std::int64_t DaysFromCivil(const TCivilDate& D) {
    // After H. Hinnant's days_from_civil: years start in March, so the leap
    // day is the last of its year.
    const std::int64_t Y = D.Year - (D.Month <= 2 ? 1 : 0);
    const std::int64_t Era = FloorDiv(Y, 400);
    const std::int64_t Yoe = Y - Era * 400;
    const std::int64_t Doy = (153 * (D.Month + (D.Month > 2 ? -3 : 9)) + 2) / 5 + D.Day - 1;
    const std::int64_t Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + Doe - 719468;
}

TCivilDate CivilFromDays(std::int64_t Days) {
    const std::int64_t Z = Days + 719468;
    const std::int64_t Era = FloorDiv(Z, 146097);
    const std::int64_t Doe = Z - Era * 146097;
    const std::int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const std::int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const std::int64_t Mp = (5 * Doy + 2) / 153;
    TCivilDate D;
    D.Day = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
    D.Month = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
    D.Year = Yoe + Era * 400 + (D.Month <= 2 ? 1 : 0);
    return D;
}

int DaysInMonth(std::int64_t Year, int Month) {
    static constexpr std::array<int, 12> Days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
    return Month == 2 && Leap ? 29 : Days.at(static_cast<std::size_t>(std::clamp(Month, 1, 12) - 1));
}

int WeekdayOfDays(std::int64_t Days) {
    // 1970-01-01 was a Thursday.
    return static_cast<int>(((Days % 7) + 7 + 4) % 7);
}

bool ParseDateTime(std::string_view Text, TDateTimeKind Kind, double& Seconds) {
    std::string_view S = Trim(Text);
    bool BC = false;
    if (S.size() > 3 && S.ends_with(" BC")) {
        BC = true;
        S.remove_suffix(3);
    }
    std::size_t I = 0;
    const bool Minus = !S.empty() && S[0] == '-';
    if (Minus) ++I;
    // A date starts with a year of four or more digits and a dash; a time
    // with one to four digits of hours and a colon.
    std::size_t Run = I;
    while (Run < S.size() && IsDigit(S[Run])) ++Run;
    const bool HasDate = Run - I >= 4 && Run < S.size() && S[Run] == '-';
    if (!HasDate) {
        if (Kind != TDateTimeKind::dkTime || BC) return false;
        std::int64_t Hours = 0;
        double Rest = 0;
        if (!ReadTime(S, I, 1, 4, Hours, Rest) || I != S.size()) return false;
        Seconds = (static_cast<double>(Hours) * 3600 + Rest) * (Minus ? -1 : 1);
        return true;
    }
    std::int64_t Year = 0, Month = 0, Day = 0;
    if (!Digits(S, I, 4, 6, Year) || !Expect(S, I, '-') || !Digits(S, I, 2, 2, Month) || !Expect(S, I, '-') ||
        !Digits(S, I, 2, 2, Day))
        return false;
    if (Minus && BC) return false;
    if (Minus) Year = -Year;
    if (BC) {
        if (Year == 0) return false;
        Year = 1 - Year;
    }
    if (Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, static_cast<int>(Month))) return false;
    double Time = 0;
    if (I < S.size()) {
        if (S[I] != 'T' && S[I] != 't' && S[I] != ' ') return false;
        ++I;
        std::int64_t Hours = 0;
        double Rest = 0;
        if (!ReadTime(S, I, 2, 2, Hours, Rest)) return false;
        // 24:00:00 is the end of the day, nothing later.
        if (Hours > 24 || (Hours == 24 && Rest != 0)) return false;
        Time = static_cast<double>(Hours) * 3600 + Rest;
        if (I < S.size()) {
            if (S[I] == 'Z' || S[I] == 'z') {
                ++I;
            } else if (S[I] == '+' || S[I] == '-') {
                const double Sign = S[I] == '-' ? -1 : 1;
                ++I;
                std::int64_t ZH = 0, ZM = 0;
                if (!Digits(S, I, 2, 2, ZH) || ZH > 23) return false;
                if (I < S.size()) {
                    if (S[I] == ':') ++I;
                    if (!Digits(S, I, 2, 2, ZM) || ZM > 59) return false;
                }
                Time -= Sign * static_cast<double>(ZH * 3600 + ZM * 60);
            }
        }
    }
    if (I != S.size()) return false;
    const double Days = static_cast<double>(DaysFromCivil({Year, static_cast<int>(Month), static_cast<int>(Day)}));
    Seconds = Days * SecondsPerDay + Time;
    if (Kind == TDateTimeKind::dkTime) Seconds -= std::floor(Seconds / SecondsPerDay) * SecondsPerDay;
    return true;
}

std::string FormatDateTime(double Seconds, TDateTimeKind Kind) {
    std::int64_t Micro = 0;
    if (!Micros(Seconds, Micro)) {
        std::array<char, 32> Buf{};
        auto [End, Ec] = std::to_chars(Buf.data(), Buf.data() + Buf.size(), Seconds);
        (void)Ec;
        return std::string(Buf.data(), End);
    }
    constexpr std::int64_t MicroPerDay = 86400LL * 1000000;
    char Buf[64];
    if (Kind == TDateTimeKind::dkTime) {
        const bool Negative = Micro < 0;
        const std::int64_t A = Negative ? -Micro : Micro;
        const std::int64_t S = A / 1000000;
        std::snprintf(Buf, sizeof Buf, "%s%02lld:%02d:%02d", Negative ? "-" : "", static_cast<long long>(S / 3600),
                      static_cast<int>(S / 60 % 60), static_cast<int>(S % 60));
        std::string Out(Buf);
        AppendFraction(Out, A % 1000000);
        return Out;
    }
    const std::int64_t Days = FloorDiv(Micro, MicroPerDay);
    const std::int64_t InDay = Micro - Days * MicroPerDay;
    const TCivilDate D = CivilFromDays(Days);
    std::snprintf(Buf, sizeof Buf, "%s%04lld-%02d-%02d", D.Year < 0 ? "-" : "",
                  static_cast<long long>(D.Year < 0 ? -D.Year : D.Year), D.Month, D.Day);
    std::string Out(Buf);
    if (Kind == TDateTimeKind::dkDate) return Out;
    const std::int64_t S = InDay / 1000000;
    std::snprintf(Buf, sizeof Buf, " %02d:%02d:%02d", static_cast<int>(S / 3600), static_cast<int>(S / 60 % 60),
                  static_cast<int>(S % 60));
    Out += Buf;
    AppendFraction(Out, InDay % 1000000);
    return Out;
}

}  // namespace pv
