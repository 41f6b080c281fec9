#include "reports/number_format.h"

#include <clocale>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace flovir {
namespace {

TEST(FormatFixed, RoundsTheEighteenDigitFormHalfAwayFromZero) {
  EXPECT_EQ(FormatFixed(12345 / 10000.0, 10, 3), "1,235");  // 1.2345 is 1.23449999... in binary
  EXPECT_EQ(FormatFixed(-12345 / 10000.0, 10, 3), "-1,235");
  EXPECT_EQ(FormatFixed(0.0005, 10, 3), "0,001");
  EXPECT_EQ(FormatFixed(999.9996, 10, 3), "1000,000");
  EXPECT_EQ(FormatFixed(0.0004, 10, 3), "0,000");
  // The decimal a stored double stands for, not its binary neighbour.
  EXPECT_EQ(FormatFixed(2.675, 10, 2), "2,68");
  EXPECT_EQ(FormatFixed(0.6, 10, 0), "1");
  EXPECT_EQ(FormatFixed(0.4, 10, 0), "0");
}

TEST(FormatFixed, NegativeValueThatRoundsToZeroHasNoSign) {
  EXPECT_EQ(FormatFixed(-0.0004, 10, 3), "0,000");
  EXPECT_EQ(FormatFixed(-0.0, 10, 3), "0,000");
  EXPECT_EQ(FormatFixed(-0.0005, 10, 3), "-0,001");
  EXPECT_EQ(FormatFixed(-0.5, 8, 3), "-0,500");
}

TEST(FormatFixed, ProductsWithSinglePrecisionMultipliers) {
  EXPECT_EQ(FormatFixed(4294967295.0 * static_cast<double>(0.01f), 20, 3), "42949671,990");
  EXPECT_EQ(FormatFixed(12345.0 * static_cast<double>(0.1f), 20, 2), "1234,50");
  EXPECT_EQ(FormatFixed(5.0 * 10.0f, 20, 0), "50");
  EXPECT_EQ(FormatFixed(1.0, 20, 7), "1,0000000");
}

TEST(FormatFixed, DigitsPastThePrecisionAreZeros) {
  EXPECT_EQ(FormatFixed(123456789.123, 10, 3), "123456789,100");
  EXPECT_EQ(FormatFixed(1234567890.5, 10, 3), "1234567891,000");
  EXPECT_EQ(FormatFixed(0.000123456, 3, 6), "0,000123");
  EXPECT_EQ(FormatFixed(12.5, 10, 3), "12,500");
}

TEST(FormatFixed, TooManyIntegerDigitsGiveExponentNotation) {
  EXPECT_EQ(FormatFixed(1e11, 10, 3), "1,000000000E+011");
  EXPECT_EQ(FormatFixed(-123456789012.0, 10, 3), "-1,234567890E+011");
  EXPECT_EQ(FormatFixed(99999999999.0, 10, 3), "1,000000000E+011");
  EXPECT_EQ(FormatFixed(1e11, 1, 0), "1E+011");
  EXPECT_EQ(FormatFixed(3.4028234663852886e38, 7, 2), "3,402823E+038");
  // Rounding that carries into an eleventh digit also switches.
  EXPECT_EQ(FormatFixed(9999999999.9996, 10, 3), "1,000000000E+010");
  EXPECT_EQ(FormatFixed(9999999999.0, 10, 3), "9999999999,000");
}

TEST(FormatFixed, DecimalsBeyondEighteenAreClamped) {
  EXPECT_EQ(FormatFixed(1.5, 20, 255), "1,500000000000000000");
}

TEST(FormatGeneral, FifteenDigitsWithoutTrailingZeros) {
  EXPECT_EQ(FormatGeneral(static_cast<double>(0.1f)), "0,100000001490116");
  EXPECT_EQ(FormatGeneral(0.0), "0");
  EXPECT_EQ(FormatGeneral(-0.0), "0");
  EXPECT_EQ(FormatGeneral(12.0), "12");
  EXPECT_EQ(FormatGeneral(-12.25), "-12,25");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2), "0,3");
  EXPECT_EQ(FormatGeneral(123456789012345.0), "123456789012345");
  EXPECT_EQ(FormatGeneral(0.00001), "0,00001");
}

TEST(FormatGeneral, ExponentNotationAtTheLimits) {
  EXPECT_EQ(FormatGeneral(1234567890123456.0), "1,23456789012346E15");
  EXPECT_EQ(FormatGeneral(1e20), "1E20");
  EXPECT_EQ(FormatGeneral(0.0000015), "1,5E-6");
  EXPECT_EQ(FormatGeneral(-2.5e-7), "-2,5E-7");
  EXPECT_EQ(FormatGeneral(static_cast<double>(std::numeric_limits<float>::max())),
            "3,40282346638529E38");
}

TEST(NumberFormat, NonFiniteValuesHaveFixedTexts) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(FormatFixed(nan, 10, 3), "NAN");
  EXPECT_EQ(FormatFixed(inf, 10, 3), "INF");
  EXPECT_EQ(FormatFixed(-inf, 10, 3), "-INF");
  EXPECT_EQ(FormatGeneral(nan), "NAN");
  EXPECT_EQ(FormatGeneral(-inf), "-INF");
}

TEST(NumberFormat, CommaWhateverTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma on this machine";
  EXPECT_EQ(FormatFixed(12.5, 10, 3), "12,500");
  EXPECT_EQ(FormatGeneral(0.5), "0,5");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace flovir
