#include "platform/chart/internal/AxisMath.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "platform/rtl/FormatFloat.h"

namespace pv {
namespace {

// Whether V is 1, 2 or 5 times a power of ten (to rounding).
bool IsNice(double V) {
    const double Mantissa = V / std::pow(10.0, std::floor(std::log10(V)));
    for (double M : {1.0, 2.0, 5.0, 10.0})
        if (std::fabs(Mantissa - M) < 1e-9) return true;
    return false;
}

void ExpectSane(const TAxisTicks& T) {
    ASSERT_TRUE(std::isfinite(T.Range.Min));
    ASSERT_TRUE(std::isfinite(T.Range.Max));
    ASSERT_LT(T.Range.Min, T.Range.Max);
    ASSERT_TRUE(std::isfinite(T.Step));
    ASSERT_GT(T.Step, 0);
    ASSERT_GE(T.Values.size(), 1u);
    for (std::size_t I = 0; I < T.Values.size(); ++I) {
        ASSERT_TRUE(std::isfinite(T.Values[I]));
        ASSERT_GE(T.Values[I], T.Range.Min);
        ASSERT_LE(T.Values[I], T.Range.Max);
        if (I > 0) {
            ASSERT_LT(T.Values[I - 1], T.Values[I]);
        }
    }
}

TEST(AxisMathTest, NiceNumberRoundsTheMantissaToOneTwoFive) {
    EXPECT_DOUBLE_EQ(NiceNumber(1.4), 1);
    EXPECT_DOUBLE_EQ(NiceNumber(1.5), 2);
    EXPECT_DOUBLE_EQ(NiceNumber(2.9), 2);
    EXPECT_DOUBLE_EQ(NiceNumber(3), 5);
    EXPECT_DOUBLE_EQ(NiceNumber(6.9), 5);
    EXPECT_DOUBLE_EQ(NiceNumber(7), 10);
    EXPECT_DOUBLE_EQ(NiceNumber(0.0031), 0.005);
    EXPECT_DOUBLE_EQ(NiceNumber(870), 1000);
    EXPECT_DOUBLE_EQ(NiceNumber(0), 1);
    EXPECT_DOUBLE_EQ(NiceNumber(std::numeric_limits<double>::infinity()), 1);
    EXPECT_TRUE(std::isfinite(NiceNumber(DBL_MAX)));
}

TEST(AxisMathTest, ReferenceChartTicks) {
    // R1's values run from -5 to 30 on bars, so the range includes 0.
    const TValueRange R = AutoRange(-5, 30, true, true);
    const TAxisTicks T = NiceTicks(R, 5, true);
    EXPECT_DOUBLE_EQ(T.Step, 10);
    EXPECT_DOUBLE_EQ(T.Range.Min, -10);
    EXPECT_DOUBLE_EQ(T.Range.Max, 30);
    EXPECT_EQ(T.Values, (std::vector<double>{-10, 0, 10, 20, 30}));
    const TAxisTicks Finer = NiceTicks(R, 8, true);
    EXPECT_DOUBLE_EQ(Finer.Step, 5);
    EXPECT_EQ(Finer.Values.front(), -5);
    EXPECT_EQ(Finer.Values.size(), 8u);
}

TEST(AxisMathTest, TicksHitZeroExactlyAndNeverDrift) {
    const TAxisTicks T = NiceTicks({-0.3, 0.7}, 6, true);
    EXPECT_DOUBLE_EQ(T.Step, 0.2);
    bool HasZero = false;
    for (double V : T.Values) HasZero = HasZero || V == 0.0;
    EXPECT_TRUE(HasZero);
    // Ticks are index times step, not a running sum, so the last one is
    // as exact as the first.
    const TAxisTicks Many = NiceTicks({0, 1e6}, 10, true);
    for (double V : Many.Values) EXPECT_EQ(std::fmod(V, Many.Step), 0.0);
}

TEST(AxisMathTest, FixedRangesAreNotStretched) {
    const TAxisTicks T = NiceTicks({3, 97}, 6, false);
    EXPECT_DOUBLE_EQ(T.Range.Min, 3);
    EXPECT_DOUBLE_EQ(T.Range.Max, 97);
    EXPECT_DOUBLE_EQ(T.Values.front(), 20);
    EXPECT_DOUBLE_EQ(T.Values.back(), 80);
}

TEST(AxisMathTest, AutoRangeOfDegenerateData) {
    auto Expect = [](TValueRange R, double Min, double Max) {
        EXPECT_DOUBLE_EQ(R.Min, Min);
        EXPECT_DOUBLE_EQ(R.Max, Max);
    };
    Expect(AutoRange(0, 0, false, true), 0, 1);    // no points
    Expect(AutoRange(0, 0, true, true), 0, 1);     // all zero
    Expect(AutoRange(5, 5, true, false), 4.5, 5.5);  // all equal
    Expect(AutoRange(5, 5, true, true), 0, 5);     // bars of one value
    Expect(AutoRange(-5, -5, true, true), -5, 0);
    Expect(AutoRange(3, 8, true, false), 3, 8);
    Expect(AutoRange(8, 3, true, false), 3, 8);    // either order
    // Equal to 1e-12 is equal: the axis would otherwise label every tick
    // with the same digits.
    const TValueRange Near = AutoRange(1, 1 + 1e-15, true, false);
    EXPECT_NEAR(Near.Min, 0.9, 1e-12);
    // At the end of the doubles one side cannot grow; the other does.
    const TValueRange Top = AutoRange(DBL_MAX, DBL_MAX, true, false);
    EXPECT_EQ(Top.Max, DBL_MAX);
    EXPECT_LT(Top.Min, Top.Max);
    Expect(FixedRange(std::nan(""), 3), 0, 1);
    Expect(FixedRange(7, 2), 2, 7);
}

TEST(AxisMathTest, ExtremeRangesGiveFiniteTicks) {
    for (TValueRange R : {TValueRange{-DBL_MAX, DBL_MAX}, TValueRange{-1e300, 1e300}, TValueRange{0, DBL_MAX},
                          TValueRange{-DBL_MAX, 0}, TValueRange{1e-300, 2e-300}, TValueRange{0, 5e-324},
                          TValueRange{DBL_MAX * 0.999, DBL_MAX}}) {
        for (int Target : {2, 6, 10}) {
            SCOPED_TRACE(std::to_string(R.Min) + " .. " + std::to_string(R.Max));
            const TAxisTicks T = NiceTicks(R, Target, true);
            ExpectSane(T);
            EXPECT_LE(T.Values.size(), static_cast<std::size_t>(3 * Target + 2));
        }
    }
}

TEST(AxisMathTest, RandomRangesGiveNiceTicks) {
    std::mt19937_64 Rng(42);
    std::uniform_real_distribution<double> Mantissa(-10, 10);
    std::uniform_int_distribution<int> Exponent(-200, 200);
    for (int I = 0; I < 5000; ++I) {
        const int E = Exponent(Rng);
        const double A = Mantissa(Rng) * std::pow(10.0, E), B = Mantissa(Rng) * std::pow(10.0, E);
        const TValueRange R = AutoRange(A, B, true, I % 2 == 0);
        const int Target = 2 + I % 9;
        const TAxisTicks T = NiceTicks(R, Target, true);
        ExpectSane(T);
        EXPECT_TRUE(IsNice(T.Step)) << T.Step;
        EXPECT_LE(T.Range.Min, R.Min);
        EXPECT_GE(T.Range.Max, R.Max);
        EXPECT_GE(T.Values.size(), 2u);
        EXPECT_LE(T.Values.size(), static_cast<std::size_t>(3 * Target + 2));
    }
}

TEST(AxisMathTest, LinearMapIsSafeAtAnyMagnitude) {
    const TLinearMap M({-10, 30}, 200, 0);  // a vertical axis: up is smaller y
    EXPECT_DOUBLE_EQ(M.ToPixel(-10), 200);
    EXPECT_DOUBLE_EQ(M.ToPixel(30), 0);
    EXPECT_DOUBLE_EQ(M.ToPixel(0), 150);
    // Far outside the range the pixel stays within ten axis lengths.
    EXPECT_DOUBLE_EQ(M.ToPixel(1e300), -2000);
    EXPECT_DOUBLE_EQ(M.ToPixel(-1e300), 2200);
    EXPECT_DOUBLE_EQ(M.ToPixel(std::nan("")), 200);

    const TLinearMap Huge({-DBL_MAX, DBL_MAX}, 0, 100);
    EXPECT_DOUBLE_EQ(Huge.ToPixel(0), 50);
    EXPECT_DOUBLE_EQ(Huge.ToPixel(DBL_MAX), 100);
    EXPECT_DOUBLE_EQ(Huge.ToPixel(-DBL_MAX), 0);
    EXPECT_DOUBLE_EQ(Huge.ToPixel(std::numeric_limits<double>::infinity()), 100);
    const TLinearMap Tiny({0, 5e-324}, 0, 100);
    EXPECT_TRUE(std::isfinite(Tiny.ToPixel(5e-324)));
}

TEST(AxisMathTest, CategorySlots) {
    const TCategoryMap C(4, 100, 300);
    EXPECT_DOUBLE_EQ(C.SlotWidth(), 50);
    EXPECT_DOUBLE_EQ(C.Center(0), 125);
    EXPECT_DOUBLE_EQ(C.Center(3), 275);
    EXPECT_DOUBLE_EQ(C.SlotLeft(2), 200);
    const TCategoryMap None(0, 0, 80);  // no points: one empty slot
    EXPECT_EQ(None.Count(), 1);
    EXPECT_DOUBLE_EQ(None.Center(0), 40);
}

TEST(AxisMathTest, LabelStepThinsToRoundSteps) {
    EXPECT_EQ(LabelStep(30, 20, 6), 1);
    EXPECT_EQ(LabelStep(10, 20, 6), 3);
    EXPECT_EQ(LabelStep(10, 44, 6), 5);
    EXPECT_EQ(LabelStep(10, 54, 6), 10);
    EXPECT_EQ(LabelStep(1, 150, 6), 200);
    EXPECT_EQ(LabelStep(0.03, 30, 6), 2000);
    EXPECT_GT(LabelStep(0, 30, 6), 1000000);
}

TEST(AxisMathTest, TickFormatTellsTicksApart) {
    EXPECT_EQ(TickFormat(10, 30), "#,##0");
    EXPECT_EQ(TickFormat(0.5, 3), "#,##0.0");
    EXPECT_EQ(TickFormat(0.02, 3), "#,##0.00");
    EXPECT_EQ(FormatFloat(TickFormat(2e299, 1e300), 4e299), "4E+299");
    EXPECT_EQ(FormatFloat(TickFormat(2e299, 1e300), 0), "0");
    EXPECT_EQ(FormatFloat(TickFormat(2e-7, 1e-6), 6e-7), "6E-7");
    EXPECT_EQ(FormatFloat(TickFormat(5000, 1e6), 1e6), "1,000,000");
}

TEST(AxisMathTest, TickCountFollowsTheAxisLength) {
    EXPECT_EQ(TickCountForLength(0), 2);
    EXPECT_EQ(TickCountForLength(160), 5);
    EXPECT_EQ(TickCountForLength(10000), 10);
}

TEST(AxisMathTest, Depth3D) {
    EXPECT_EQ(Depth3D(400, 250, 15, 1), 19);   // 250 / 2 * 15 %
    EXPECT_EQ(Depth3D(400, 250, 15, 2), 28);   // half as deep again for a second row
    EXPECT_EQ(Depth3D(400, 250, 15, 9), Depth3D(400, 250, 15, 3));
    EXPECT_EQ(Depth3D(400, 250, 100, 1), 83);  // at most a third of the side
    EXPECT_EQ(Depth3D(400, 250, -5, 1), Depth3D(400, 250, 1, 1));
    EXPECT_EQ(Depth3D(1, 1, 15, 1), 1);
}

}  // namespace
}  // namespace pv
