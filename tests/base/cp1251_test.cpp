#include "workbook/cp1251.h"

#include <gtest/gtest.h>

namespace flovir {
namespace {

TEST(Cp1251, RussianTextsRoundTrip) {
  const std::string text = "Итого: ёЁ №5 «»";
  const std::string bytes = Utf8ToCp1251(text);
  EXPECT_EQ(bytes.size(), Utf8Length(text));
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xC8);  // И
  EXPECT_EQ(Cp1251ToUtf8(bytes), text);
}

TEST(Cp1251, MissingCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a漢b"), "a?b");
  EXPECT_EQ(Utf8ToCp1251("\xff"), "?");
}

}  // namespace
}  // namespace flovir
