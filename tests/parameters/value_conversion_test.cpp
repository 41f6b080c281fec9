#include "parameters/value_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "reports/number_format.h"

namespace flovir {
namespace {

float Converted(std::string_view text) {
  const ConvertedValue result = ConvertParameterText(text);
  EXPECT_TRUE(result.value.has_value()) << text << ": " << result.error;
  return result.value.value_or(-12345.0f);
}

std::string Refusal(std::string_view text) {
  const ConvertedValue result = ConvertParameterText(text);
  EXPECT_FALSE(result.value.has_value()) << text;
  return result.error;
}

TEST(ValueConversion, ReadsTheDecimalCommaAndASign) {
  EXPECT_EQ(Converted("1,5"), 1.5f);
  EXPECT_EQ(Converted("-2,25"), -2.25f);
  EXPECT_EQ(Converted("+7"), 7.0f);
  EXPECT_EQ(Converted(",5"), 0.5f);
  EXPECT_EQ(Converted("3,"), 3.0f);
  EXPECT_EQ(Converted(" 42 "), 42.0f);
}

TEST(ValueConversion, MinusZeroIsStoredAsPlainZero) {
  EXPECT_EQ(std::bit_cast<uint32_t>(Converted("-0")), 0u);
  EXPECT_EQ(std::bit_cast<uint32_t>(Converted("-0,000")), 0u);
}

TEST(ValueConversion, RoundsToTheNearestFloat) {
  EXPECT_EQ(Converted("12345678901"), 12345678848.0f);
  EXPECT_EQ(Converted("0,1"), 0.1f);
  EXPECT_EQ(Converted("16777217"), 16777216.0f);  // halfway: to even
  EXPECT_EQ(Converted("16777219"), 16777220.0f);
}

TEST(ValueConversion, RefusesWhatIsNotANumberWithTheRuntimesMessage) {
  EXPECT_EQ(Refusal(""), "'' is not a valid floating point value");
  EXPECT_EQ(Refusal("-"), "'-' is not a valid floating point value");
  EXPECT_EQ(Refusal("1,2,3"), "'1,2,3' is not a valid floating point value");
  EXPECT_EQ(Refusal("1.5"), "'1.5' is not a valid floating point value");
  for (const char* text : {",", "--1", "1-", "1E", "1E+", "E5", "inf", "nan", "0x10", "1 2"}) {
    EXPECT_FALSE(ConvertParameterText(text).value) << text;
  }
}

TEST(ValueConversion, NumbersBeyondFloatAreRefusedAndTinyOnesAreZero) {
  EXPECT_EQ(Refusal("1" + std::string(39, '0')),
            "'1" + std::string(39, '0') + "' is out of range for a floating point value");
  EXPECT_FALSE(ConvertParameterText("-1E+400").value);
  EXPECT_FALSE(ConvertParameterText("0,0001E+99999999999999999999").value);
  EXPECT_FALSE(ConvertParameterText("5E+9223372036854775807").value);
  EXPECT_EQ(Converted("340282346638528859811704183484516925440"), 3.40282347e38f);
  EXPECT_EQ(Converted("1E-50"), 0.0f);
  EXPECT_EQ(Converted("0," + std::string(60, '0') + "1"), 0.0f);
  EXPECT_EQ(Converted("1E-99999999999999999999"), 0.0f);
}

// What the grid shows must read back: the edit box opens with the cell's
// text, and Enter without a change stores it.
TEST(ValueConversion, EveryShownTextReadsBackAsTheRoundedValue) {
  EXPECT_EQ(Converted(FormatFixed(1.23456f, 9, 2)), 1.23f);
  EXPECT_EQ(Converted(FormatFixed(-0.5f, 9, 3)), -0.5f);
  for (float value : {1e11f, 12345678901.0f, -3e20f, 3.4e38f}) {
    const std::string shown = FormatFixed(value, 10, 3);
    ASSERT_NE(shown.find('E'), std::string::npos) << shown;
    EXPECT_FLOAT_EQ(Converted(shown), value) << shown;
  }
}

TEST(ValueConversion, AConfirmedEditStoresOnlyAValidNumber) {
  const ParameterTable table;
  ParameterBuffer buffer;
  const ParameterCell& cell = table.Cell(12, 2);  // precision 10
  buffer.SetParameterValue(cell.ValueIndex, 7.0f);
  EXPECT_EQ(StoreEditedText(cell, "1,2,3", buffer), "'1,2,3' is not a valid floating point value");
  EXPECT_EQ(buffer.ParameterValue(cell.ValueIndex), 7.0f);
  EXPECT_EQ(StoreEditedText(cell, "12345678901", buffer), "");
  EXPECT_EQ(buffer.ParameterValue(cell.ValueIndex), 12345678848.0f);
  EXPECT_EQ(CellText(cell, buffer), "1,234567885E+010");
}

}  // namespace
}  // namespace flovir
