#include "operations/settings.h"

#include <gtest/gtest.h>

namespace flovir {
namespace {

TEST(ParseDecimal, AcceptsWhatAUserTypesAsAWholeNumber) {
  EXPECT_EQ(ParseDecimal("64"), 64u);
  EXPECT_EQ(ParseDecimal("  12 "), 12u);
  EXPECT_EQ(ParseDecimal("+5"), 5u);
  EXPECT_EQ(ParseDecimal("007"), 7u);
  EXPECT_EQ(ParseDecimal("4294967295"), 4294967295u);
}

TEST(ParseDecimal, RejectsEverythingElse) {
  for (const char* text : {"", " ", "-1", "1e3", "12a", "0x10", "1 2", "+", "4294967296",
                           "99999999999999999999", "1,5"}) {
    EXPECT_FALSE(ParseDecimal(text).has_value()) << text;
  }
}

TEST(ParseSettings, KeepsTheByteFieldsModulo256) {
  SettingsText text;
  text.address = "257";
  text.chunk_size = "256";
  text.attempts = "3";
  const SettingsResult result = ParseSettings(text);
  ASSERT_TRUE(result.settings);
  EXPECT_EQ(result.settings->address, 1);
  EXPECT_EQ(result.settings->chunk_size, 0);  // the link then reports status 14
  EXPECT_EQ(result.settings->auto_save_name, "авто_");
}

TEST(ParseSettings, NamesTheFieldThatIsNotANumber) {
  struct Case {
    std::string SettingsText::*field;
    const char* label;
  } cases[] = {
      {&SettingsText::address, "Адрес:"},
      {&SettingsText::attempts, "Число попыток запросов при сбоях в связи"},
      {&SettingsText::chunk_size, "Длина запрашиваемых данных (количество регистров )"},
  };
  for (const Case& c : cases) {
    for (const char* bad : {"abc", "-3"}) {
      SettingsText text;
      text.*c.field = bad;
      const SettingsResult result = ParseSettings(text);
      EXPECT_FALSE(result.settings);
      EXPECT_NE(result.error.find(c.label), std::string::npos) << result.error;
      EXPECT_NE(result.error.find(bad), std::string::npos) << result.error;
    }
  }
}

}  // namespace
}  // namespace flovir
