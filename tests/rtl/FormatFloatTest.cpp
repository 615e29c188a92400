#include "platform/rtl/FormatFloat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>

namespace pv {
namespace {

TEST(FormatFloatTest, DefaultValueFormatGroupsAndTrimsDecimals) {
    constexpr const char* F = "#,##0.###";
    EXPECT_EQ(FormatFloat(F, 0), "0");
    EXPECT_EQ(FormatFloat(F, 12), "12");
    EXPECT_EQ(FormatFloat(F, -5), "-5");
    EXPECT_EQ(FormatFloat(F, 0.5), "0.5");
    EXPECT_EQ(FormatFloat(F, 1.23456), "1.235");
    EXPECT_EQ(FormatFloat(F, 999.9996), "1,000");
    EXPECT_EQ(FormatFloat(F, 1234567.891), "1,234,567.891");
    EXPECT_EQ(FormatFloat(F, -1234.5), "-1,234.5");
    EXPECT_EQ(FormatFloat(F, 100), "100");
    EXPECT_EQ(FormatFloat(F, 1000), "1,000");
}

// The picture's "." and "," are placeholders: a locale's separators (of any
// length in UTF-8) take their place, and literal text stays as written.
TEST(FormatFloatTest, SeparatorsReplaceThePointAndTheGrouping) {
    const TNumberSeparators German{",", "."}, French{",", "\u202F"};
    EXPECT_EQ(FormatFloat("#,##0.###", 1234567.891, German), "1.234.567,891");
    EXPECT_EQ(FormatFloat("#,##0.00", -1234.5, French), "-1\u202F234,50");
    EXPECT_EQ(FormatFloat("0.0 'EUR.'", 2.25, German), "2,3 EUR.");
    EXPECT_EQ(FormatFloat("", 0.5, German), "0,5");
    EXPECT_EQ(FormatFloat("", 1.5e20, German), "1,5E20");
    EXPECT_EQ(FormatFloat("0.00E+00", 12345, German), "1,23E+04");
    EXPECT_EQ(FormatFloat("#,##0.###", 1234.5, TNumberSeparators{}), FormatFloat("#,##0.###", 1234.5));
}

TEST(FormatFloatTest, RoundsHalfAwayFromZeroOnTheShortestDecimalForm) {
    EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");
    EXPECT_EQ(FormatFloat("0.00", 1.005), "1.01");
    EXPECT_EQ(FormatFloat("0.00", -1.005), "-1.01");
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", 0.5), "1");
    EXPECT_EQ(FormatFloat("0", 0.49), "0");
    EXPECT_EQ(FormatFloat("0.00", 9.999), "10.00");
    EXPECT_EQ(FormatFloat("0.00", 0.995), "1.00");
    EXPECT_EQ(FormatFloat("0.0", 0.06), "0.1");
    EXPECT_EQ(FormatFloat("0.0", 0.006), "0.0");
}

TEST(FormatFloatTest, RequiredAndOptionalDigits) {
    EXPECT_EQ(FormatFloat("000", 5), "005");
    EXPECT_EQ(FormatFloat("#", 0), "");
    EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
    EXPECT_EQ(FormatFloat("0.##", 5), "5");
    EXPECT_EQ(FormatFloat("0.0#", 5), "5.0");
    EXPECT_EQ(FormatFloat("0.#0", 5.1), "5.10");
    EXPECT_EQ(FormatFloat("0", 12345), "12345");
    EXPECT_EQ(FormatFloat("#,##0", 1234567), "1,234,567");
    EXPECT_EQ(FormatFloat("0,0", 1234), "1,234");
    EXPECT_EQ(FormatFloat(".00", 12.5), "12.50");
}

TEST(FormatFloatTest, LiteralsStayInPlace) {
    EXPECT_EQ(FormatFloat("'$'#,##0.00", 1234.5), "$1,234.50");
    EXPECT_EQ(FormatFloat("'$'0", -5), "-$5");
    EXPECT_EQ(FormatFloat("0.0 %", 12.5), "12.5 %");
    EXPECT_EQ(FormatFloat("\"x\"0", 5), "x5");
    EXPECT_EQ(FormatFloat("(000) 000-0000", 5551234567.0), "(555) 123-4567");
    EXPECT_EQ(FormatFloat("0 'abc", 5), "5 abc");
    EXPECT_EQ(FormatFloat("0';'0", 5), "0;5");
    EXPECT_EQ(FormatFloat("0 \xE2\x82\xAC", 7), "7 \xE2\x82\xAC");
    EXPECT_EQ(FormatFloat("'#,0.'0", 7), "#,0.7");
}

TEST(FormatFloatTest, SectionsPositiveNegativeZero) {
    constexpr const char* F = "0.0;(0.0);'zero'";
    EXPECT_EQ(FormatFloat(F, 5), "5.0");
    EXPECT_EQ(FormatFloat(F, -5), "(5.0)");
    EXPECT_EQ(FormatFloat(F, 0), "zero");
    EXPECT_EQ(FormatFloat(F, 0.01), "zero");
    EXPECT_EQ(FormatFloat(F, -0.01), "zero");
    // Empty sections fall back to the positive one, which then carries the
    // minus sign itself.
    EXPECT_EQ(FormatFloat("0;;'z'", -5), "-5");
    EXPECT_EQ(FormatFloat("0;;'z'", 0), "z");
    EXPECT_EQ(FormatFloat("0;(0);", 0), "0");
    // A negative number that rounds to zero is plain zero, never "-0".
    EXPECT_EQ(FormatFloat("0;(0)", -0.2), "0");
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
    EXPECT_EQ(FormatFloat("0", -0.0), "0");
    // A fourth section is ignored.
    EXPECT_EQ(FormatFloat("0;-0;'z';'w'", 0), "z");
    // Without a positive section the positive number is written in general format.
    EXPECT_EQ(FormatFloat(";(0)", 2.5), "2.5");
    EXPECT_EQ(FormatFloat(";(0)", -2.5), "(3)");
}

TEST(FormatFloatTest, Exponent) {
    EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
    EXPECT_EQ(FormatFloat("0.00E+00", 0.000123), "1.23E-04");
    EXPECT_EQ(FormatFloat("0.00E-00", 12345), "1.23E04");
    EXPECT_EQ(FormatFloat("0.0e-0", 12345), "1.2e4");
    EXPECT_EQ(FormatFloat("0.00E+00", 0), "0.00E+00");
    EXPECT_EQ(FormatFloat("0.00E+00", 9.999e9), "1.00E+10");
    EXPECT_EQ(FormatFloat("0.00E+00", -1e300), "-1.00E+300");
    EXPECT_EQ(FormatFloat("0.00E+00", 1e-300), "1.00E-300");
    EXPECT_EQ(FormatFloat("0.00E+00", 5e-324), "5.00E-324");
    EXPECT_EQ(FormatFloat("00.0E+0", 12345), "12.3E+3");
    EXPECT_EQ(FormatFloat("0.###E+0", 1500), "1.5E+3");
    // "E" not followed by a sign is a literal letter.
    EXPECT_EQ(FormatFloat("0E", 5), "5E");
}

TEST(FormatFloatTest, ExtremeMagnitudes) {
    const std::string Max = FormatFloat("#,##0", DBL_MAX);
    EXPECT_EQ(Max.substr(0, 22), "179,769,313,486,231,57");
    EXPECT_EQ(Max.size(), 309u + 102u);
    EXPECT_EQ(Max.back(), '0');
    const std::string Big = FormatFloat("#,##0.###", 1e300);
    EXPECT_EQ(Big.size(), 301u + 100u);
    EXPECT_EQ(Big.substr(0, 5), "1,000");
    EXPECT_EQ(FormatFloat("#,##0.###", 5e-324), "0");
    EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FormatFloat("0.00", -std::numeric_limits<double>::infinity()), "-INF");
}

TEST(FormatFloatTest, EmptyPictureWritesGeneralFormat) {
    EXPECT_EQ(FormatFloat("", 0), "0");
    EXPECT_EQ(FormatFloat("", 0.1), "0.1");
    EXPECT_EQ(FormatFloat("", -2.5), "-2.5");
    EXPECT_EQ(FormatFloat("", 1e20), "1E20");
    EXPECT_EQ(FormatFloat("", 1.5e-7), "1.5E-7");
    EXPECT_EQ(FormatFloat("", 123456789012345678.0), "1.23456789012346E17");
    EXPECT_EQ(FormatFloat("", 0.001), "0.001");
}

TEST(FormatFloatTest, MalformedPicturesAreWrittenLiterally) {
    EXPECT_EQ(FormatFloat("abc", 5), "abc");
    EXPECT_EQ(FormatFloat("E+", 5), "E+");
    EXPECT_EQ(FormatFloat("0.0.0", 1.25), "1.2.5");
    EXPECT_EQ(FormatFloat(".", 5), ".");
    EXPECT_EQ(FormatFloat("E+00 'x'", 5), "E+00 x");
    EXPECT_EQ(FormatFloat("0.0.", 1.25), "1.3.");
    EXPECT_EQ(FormatFloat(",,,", 5), "");
    EXPECT_EQ(FormatFloat("''", 5), "");
    EXPECT_EQ(FormatFloat(";", 5), "5");
    EXPECT_EQ(FormatFloat(";;", 0), "0");
    EXPECT_EQ(FormatFloat("'", 5), "");
}

// Random pictures over the picture alphabet: none may crash, and a picture
// with digit placeholders writes at least one character.
TEST(FormatFloatTest, RandomPicturesNeverFail) {
    std::mt19937 Rng(1234);
    const std::string Alphabet = "0#.,;E+-e'\"x% ";
    const double Values[] = {0, -0.0, 1, -1, 0.5, 123456.789, -9.999e-7, 1e300, -DBL_MAX, 5e-324, 2.5};
    for (int I = 0; I < 20000; ++I) {
        std::string F;
        const int Len = static_cast<int>(Rng() % 16);
        for (int J = 0; J < Len; ++J) F += Alphabet[Rng() % Alphabet.size()];
        for (double V : Values) {
            const std::string S = FormatFloat(F, V);
            EXPECT_LT(S.size(), 1000u) << F;
        }
    }
}

// Parsed pictures are kept per thread; more pictures than it keeps, used in
// turn and from two threads, must each still give their own result.
TEST(FormatFloatTest, ManyPicturesInTurnKeepTheirOwnResults) {
    auto Check = [] {
        for (int Round = 0; Round < 3; ++Round)
            for (std::size_t Decimals = 1; Decimals <= 12; ++Decimals) {
                const std::string Picture = "0." + std::string(Decimals, '0') + " 'u'";
                EXPECT_EQ(FormatFloat(Picture, 1.5), "1.5" + std::string(Decimals - 1, '0') + " u") << Picture;
            }
    };
    std::thread Other(Check);
    Check();
    Other.join();
}

}  // namespace
}  // namespace pv
