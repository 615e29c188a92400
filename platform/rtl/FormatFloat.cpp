#include "platform/rtl/FormatFloat.h"

#include <array>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace pv {

namespace {

// A non-negative number as decimal digits: Digits "d0 d1 d2 ..." with the
// decimal point after the first PointPos of them (PointPos may be negative
// or beyond the digits). No digits at all is zero.
struct TDecimal {
    std::string Digits;
    int PointPos = 0;
    bool IsZero() const { return Digits.empty(); }
};

// The shortest decimal form that reads back as |Value|, so rounding works on
// the digits a person sees (1.005 is "1.005", not 1.00499999...).
TDecimal ToDecimal(double Value) {
    TDecimal D;
    Value = std::fabs(Value);
    if (Value == 0) return D;
    char Buf[64];
    auto [End, Ec] = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::scientific);
    if (Ec != std::errc()) return D;
    const char* P = Buf;
    for (; P != End && *P != 'e'; ++P)
        if (*P >= '0' && *P <= '9') D.Digits += *P;
    int Exp = 0;
    if (P != End) std::from_chars(P + 1 + (P[1] == '+' ? 1 : 0), End, Exp);
    D.PointPos = Exp + 1;
    while (!D.Digits.empty() && D.Digits.back() == '0') D.Digits.pop_back();
    return D;
}

// Keeps the first Keep digits, rounding half away from zero on the next one.
void RoundDigits(TDecimal& D, int Keep) {
    const int N = static_cast<int>(D.Digits.size());
    if (Keep >= N) return;
    if (Keep < 0) {
        D.Digits.clear();
        return;
    }
    const bool Up = D.Digits[static_cast<std::size_t>(Keep)] >= '5';
    D.Digits.resize(static_cast<std::size_t>(Keep));
    if (Up) {
        int I = Keep - 1;
        while (I >= 0 && D.Digits[static_cast<std::size_t>(I)] == '9') D.Digits[static_cast<std::size_t>(I--)] = '0';
        if (I >= 0) {
            ++D.Digits[static_cast<std::size_t>(I)];
        } else {
            D.Digits.insert(D.Digits.begin(), '1');
            ++D.PointPos;
        }
    }
    while (!D.Digits.empty() && D.Digits.back() == '0') D.Digits.pop_back();
}

char DigitAt(const TDecimal& D, int Index) {
    return Index >= 0 && Index < static_cast<int>(D.Digits.size()) ? D.Digits[static_cast<std::size_t>(Index)] : '0';
}

// Digits of the integer part (empty for a number below one).
std::string IntegerDigits(const TDecimal& D) {
    std::string S;
    for (int I = 0; I < D.PointPos; ++I) S += DigitAt(D, I);
    return S;
}

enum class TTokenKind { Digit, Point, Literal, Exponent };

struct TToken {
    TTokenKind Kind;
    bool Zero = false;       // Digit: '0' (true) or '#'
    std::string Text;        // Literal: the text; Exponent: "E" or "e"
    std::string Raw;         // Exponent: the picture text, written when nothing else is
    bool PlusSign = false;   // Exponent: "+" writes the sign always
    int MinDigits = 0;       // Exponent: minimum exponent digits
};

// One section of a picture, parsed.
struct TSection {
    std::vector<TToken> Tokens;
    bool Grouping = false;
    bool HasExponent = false;
    int IntPlaceholders = 0;
    int RequiredInt = 0;  // integer digits always written
    int DecPlaceholders = 0;
    int RequiredDec = 0;  // decimals always written
    bool HasDigits() const { return IntPlaceholders + DecPlaceholders > 0; }
};

TSection ParseSection(std::string_view S) {
    TSection Sec;
    bool SeenPoint = false;
    int FirstIntZero = -1;
    auto AddLiteral = [&](std::string_view Text) {
        if (!Sec.Tokens.empty() && Sec.Tokens.back().Kind == TTokenKind::Literal)
            Sec.Tokens.back().Text += Text;
        else
            Sec.Tokens.push_back({TTokenKind::Literal, false, std::string(Text)});
    };
    for (std::size_t I = 0; I < S.size(); ++I) {
        const char C = S[I];
        if (C == '\'' || C == '"') {
            std::size_t Close = S.find(C, I + 1);
            if (Close == std::string_view::npos) Close = S.size();
            AddLiteral(S.substr(I + 1, Close - I - 1));
            I = Close;
        } else if ((C == '0' || C == '#') && !Sec.HasExponent) {
            Sec.Tokens.push_back({TTokenKind::Digit, C == '0'});
            if (SeenPoint) {
                ++Sec.DecPlaceholders;
                if (C == '0') Sec.RequiredDec = Sec.DecPlaceholders;
            } else {
                if (C == '0' && FirstIntZero < 0) FirstIntZero = Sec.IntPlaceholders;
                ++Sec.IntPlaceholders;
            }
        } else if (C == '.' && !SeenPoint && !Sec.HasExponent) {
            SeenPoint = true;
            Sec.Tokens.push_back({TTokenKind::Point});
        } else if (C == ',' && !Sec.HasExponent) {
            Sec.Grouping = true;
        } else if ((C == 'E' || C == 'e') && !Sec.HasExponent && I + 1 < S.size() && (S[I + 1] == '+' || S[I + 1] == '-')) {
            TToken T{TTokenKind::Exponent, false, std::string(1, C), std::string(S.substr(I, 2)), S[I + 1] == '+'};
            I += 2;
            while (I < S.size() && (S[I] == '0' || S[I] == '#')) {
                if (S[I] == '0') ++T.MinDigits;
                T.Raw += S[I];
                ++I;
            }
            --I;
            Sec.HasExponent = true;
            Sec.Tokens.push_back(std::move(T));
        } else {
            AddLiteral(S.substr(I, 1));
        }
    }
    Sec.RequiredInt = FirstIntZero < 0 ? 0 : Sec.IntPlaceholders - FirstIntZero;
    return Sec;
}

// The parsed form of a section, from a small per-thread cache: a chart
// formats every mark, legend value and tick label with the same one or two
// pictures, so parsing each of them once per thread saves a parse (and its
// allocations) per label. The reference stays valid until the next call on
// this thread.
const TSection& ParsedSection(std::string_view S) {
    struct TEntry {
        std::string Picture;
        TSection Section;
        bool Used = false;
    };
    constexpr std::size_t Slots = 8;
    thread_local std::array<TEntry, Slots> Cache;
    thread_local std::size_t Victim = 0;
    for (TEntry& E : Cache)
        if (E.Used && E.Picture == S) return E.Section;
    TEntry& E = Cache[Victim];
    Victim = (Victim + 1) % Slots;
    E.Section = ParseSection(S);
    E.Picture.assign(S);
    E.Used = true;
    return E.Section;
}

// Splits at the semicolons outside quotes; at most three sections count.
std::vector<std::string_view> SplitSections(std::string_view Format) {
    std::vector<std::string_view> Out;
    std::size_t Start = 0;
    char Quote = 0;
    for (std::size_t I = 0; I < Format.size() && Out.size() < 3; ++I) {
        const char C = Format[I];
        if (Quote) {
            if (C == Quote) Quote = 0;
        } else if (C == '\'' || C == '"') {
            Quote = C;
        } else if (C == ';') {
            Out.push_back(Format.substr(Start, I - Start));
            Start = I + 1;
        }
    }
    if (Out.size() < 3) Out.push_back(Format.substr(Start));
    return Out;
}

// General format: up to 15 significant digits, fixed notation for moderate
// magnitudes and "1.5E20" / "1E-7" beyond them.
std::string FormatGeneral(double Value, const TNumberSeparators& Sep) {
    TDecimal D = ToDecimal(Value);
    RoundDigits(D, 15);
    std::string Out = Value < 0 && !D.IsZero() ? "-" : "";
    if (D.IsZero()) return "0";
    const int N = static_cast<int>(D.Digits.size());
    if (D.PointPos > -4 && D.PointPos <= 15) {
        if (D.PointPos <= 0) {
            Out += '0';
            Out += Sep.Decimal;
            Out.append(static_cast<std::size_t>(-D.PointPos), '0');
            Out += D.Digits;
        } else {
            Out += IntegerDigits(D);
            if (N > D.PointPos) {
                Out += Sep.Decimal;
                Out.append(D.Digits, static_cast<std::size_t>(D.PointPos));
            }
        }
    } else {
        Out += D.Digits[0];
        if (N > 1) {
            Out += Sep.Decimal;
            Out.append(D.Digits, 1);
        }
        Out += 'E';
        Out += std::to_string(D.PointPos - 1);
    }
    return Out;
}

// Rounds |Value| for a section: to its decimals, or in exponent form to its
// significant digits (returning the exponent in Exp).
TDecimal RoundFor(const TSection& Sec, double Value, int& Exp) {
    TDecimal D = ToDecimal(Value);
    Exp = 0;
    if (!Sec.HasExponent) {
        RoundDigits(D, D.PointPos + Sec.DecPlaceholders);
        return D;
    }
    if (D.IsZero()) return D;
    const int IntDigits = std::max(1, Sec.IntPlaceholders);
    RoundDigits(D, IntDigits + Sec.DecPlaceholders);
    Exp = D.PointPos - IntDigits;
    D.PointPos = IntDigits;
    return D;
}

std::string Render(const TSection& Sec, const TDecimal& D, int Exp, bool Minus, const TNumberSeparators& Sep) {
    std::string Out = Minus ? "-" : "";
    if (!Sec.HasDigits()) {
        // Nothing to put digits into: the picture is all text.
        for (const TToken& T : Sec.Tokens)
            if (T.Kind == TTokenKind::Literal)
                Out += T.Text;
            else if (T.Kind == TTokenKind::Exponent)
                Out += T.Raw;
            else if (T.Kind == TTokenKind::Point)
                Out += Sep.Decimal;
        return Out;
    }
    std::string Int = IntegerDigits(D);
    if (static_cast<int>(Int.size()) < Sec.RequiredInt)
        Int.insert(0, static_cast<std::size_t>(Sec.RequiredInt) - Int.size(), '0');
    if (Sec.HasExponent && Int.empty()) Int.push_back('0');
    std::string Frac;
    for (int J = 0; J < Sec.DecPlaceholders; ++J) Frac += DigitAt(D, D.PointPos + J);
    while (static_cast<int>(Frac.size()) > Sec.RequiredDec && Frac.back() == '0') Frac.pop_back();

    const int Len = static_cast<int>(Int.size());
    auto EmitInt = [&](int K) {
        Out += Int[static_cast<std::size_t>(K)];
        const int Rest = Len - 1 - K;
        if (Sec.Grouping && Rest > 0 && Rest % 3 == 0) Out += Sep.Thousands;
    };
    // Integer digits fill the integer placeholders from the right; digits
    // beyond them all go into the leftmost placeholder.
    const int First = Sec.IntPlaceholders - Len;
    bool IntWritten = Sec.IntPlaceholders > 0;
    auto EmitIntHere = [&] {
        if (IntWritten) return;
        for (int K = 0; K < Len; ++K) EmitInt(K);
        IntWritten = true;
    };
    int IntIndex = 0, DecIndex = 0;
    bool AfterPoint = false;
    for (const TToken& T : Sec.Tokens) {
        switch (T.Kind) {
            case TTokenKind::Literal:
                Out += T.Text;
                break;
            case TTokenKind::Point:
                EmitIntHere();
                AfterPoint = true;
                if (!Frac.empty()) Out += Sep.Decimal;
                break;
            case TTokenKind::Digit:
                if (!AfterPoint) {
                    const int J = IntIndex++;
                    if (J == 0)
                        for (int K = 0; K < -First; ++K) EmitInt(K);
                    if (J - First >= 0) EmitInt(J - First);
                } else {
                    const int J = DecIndex++;
                    if (J < static_cast<int>(Frac.size())) Out += Frac[static_cast<std::size_t>(J)];
                }
                break;
            case TTokenKind::Exponent: {
                EmitIntHere();
                Out += T.Text;
                if (Exp < 0)
                    Out += '-';
                else if (T.PlusSign)
                    Out += '+';
                std::string E = std::to_string(std::abs(Exp));
                if (static_cast<int>(E.size()) < T.MinDigits)
                    E.insert(0, static_cast<std::size_t>(T.MinDigits) - E.size(), '0');
                Out += E;
                break;
            }
        }
    }
    EmitIntHere();
    return Out;
}

}  // namespace

std::string FormatFloat(std::string_view Format, double Value) {
    static const TNumberSeparators Plain;
    return FormatFloat(Format, Value, Plain);
}

std::string FormatFloat(std::string_view Format, double Value, const TNumberSeparators& Sep) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
    if (Format.empty()) return FormatGeneral(Value, Sep);

    const std::vector<std::string_view> Sections = SplitSections(Format);
    auto Usable = [&](std::size_t I) { return I < Sections.size() && !Sections[I].empty(); };
    if (Sections[0].empty() && !(Value < 0 && Usable(1)) && !(Value == 0 && Usable(2))) return FormatGeneral(Value, Sep);

    std::size_t Index = 0;
    bool Minus = false;
    if (Value < 0) {
        if (Usable(1))
            Index = 1;
        else
            Minus = true;
    }
    const TSection* Sec = &ParsedSection(Sections[Index]);
    int Exp = 0;
    TDecimal D = RoundFor(*Sec, Value, Exp);
    // A number that rounds to zero is zero: the zero section if there is
    // one, else the positive one, and never "-0".
    if (D.IsZero() && (Value != 0 || Index != 0 || Usable(2))) {
        Minus = false;
        if (Usable(2) || Index != 0) {
            Index = Usable(2) ? 2 : 0;
            if (Sections[Index].empty()) return FormatGeneral(0, Sep);
            Sec = &ParsedSection(Sections[Index]);
            D = RoundFor(*Sec, 0, Exp);
        }
    }
    return Render(*Sec, D, Exp, Minus, Sep);
}

}  // namespace pv
