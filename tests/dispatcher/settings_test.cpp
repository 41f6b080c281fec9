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

// Each numeric field of the settings page: what it accepts and the value it
// becomes, or the status that names it.
TEST(ParseSettings, TakesEachFieldWithinItsRangeAndNamesTheFieldOtherwise) {
  constexpr const char* kAddress = "Адрес:";
  constexpr const char* kAttempts = "Число попыток запросов при сбоях в связи";
  constexpr const char* kChunk = "Длина запрашиваемых данных (количество регистров )";
  constexpr const char* kTimeout = "Тайм-аут ожидания ответа, мс";
  struct Case {
    std::string SettingsFields::*field;
    const char* text;
    int64_t value;  // -1: refused, with a status naming the field
    const char* label;
  } cases[] = {
      // The mend: "257" would read meter 1 on a shared bus.
      {&SettingsFields::address, "0", -1, kAddress},
      {&SettingsFields::address, "248", -1, kAddress},
      {&SettingsFields::address, "257", -1, kAddress},
      {&SettingsFields::address, "abc", -1, kAddress},
      {&SettingsFields::address, "1", 1, kAddress},
      {&SettingsFields::address, " 247 ", 247, kAddress},
      // The one-byte request fields keep any number modulo 256.
      {&SettingsFields::attempts, "257", 1, kAttempts},
      {&SettingsFields::attempts, "-3", -1, kAttempts},
      {&SettingsFields::attempts, "три", -1, kAttempts},
      {&SettingsFields::chunk_size, "256", 0, kChunk},  // the link then reports status 14
      {&SettingsFields::chunk_size, "abc", -1, kChunk},
      {&SettingsFields::answer_timeout, " 1 ", 1, kTimeout},
      {&SettingsFields::answer_timeout, "3600000", 3600000, kTimeout},
      {&SettingsFields::answer_timeout, "0", -1, kTimeout},
      {&SettingsFields::answer_timeout, "3600001", -1, kTimeout},
      {&SettingsFields::answer_timeout, "3000ms", -1, kTimeout},
      {&SettingsFields::answer_timeout, "4294967296", -1, kTimeout},
      {&SettingsFields::answer_timeout, "", -1, kTimeout},
  };
  for (const Case& c : cases) {
    SettingsFields fields;
    fields.*c.field = c.text;
    const SettingsResult result = ParseSettings(fields);
    const std::string context = std::string(c.label) + " \"" + c.text + "\"";
    if (c.value < 0) {
      ASSERT_FALSE(result.settings) << context;
      EXPECT_EQ(result.error.rfind(std::string("Поле \"") + c.label + "\": \"" + c.text + "\"", 0),
                0u)
          << result.error;
      continue;
    }
    ASSERT_TRUE(result.settings) << context << ": " << result.error;
    const Settings& s = *result.settings;
    const int64_t got = c.field == &SettingsFields::address      ? s.address
                        : c.field == &SettingsFields::attempts   ? s.attempts
                        : c.field == &SettingsFields::chunk_size ? s.chunk_size
                                                                 : s.answer_timeout_ms;
    EXPECT_EQ(got, c.value) << context;
  }
  SettingsFields fields;
  fields.address = "257";
  EXPECT_EQ(ParseSettings(fields).error,
            "Поле \"Адрес:\": \"257\" не является целым числом от 1 до 247");
}

TEST(ParseSettings, TheModemLinesRefuseAnEmptyNumber) {
  for (ConnectionType type : {ConnectionType::Gsm, ConnectionType::DialUp}) {
    SettingsFields fields;
    fields.type = type;
    fields.number = " ";
    EXPECT_EQ(ParseSettings(fields).error,
              "Поле \"номер для дозвона\" не заполнено: модему нечего набирать");
    fields.number = "8312";
    EXPECT_TRUE(ParseSettings(fields).settings);
  }
  EXPECT_TRUE(ParseSettings(SettingsFields{}).settings);  // a direct line dials nothing
}

TEST(ParseSettings, CarriesTheLineAndTheTextsOver) {
  SettingsFields fields;
  fields.port_name = "ttyUSB0";
  fields.type = ConnectionType::DialUp;
  fields.baud_index = 5;
  fields.parity_index = 2;
  fields.stop_bits_index = 1;
  fields.number = "8312";
  fields.dial_mode = DialMode::Pulse;
  fields.init_string = "";
  fields.auto_save_name = "копии";
  const SettingsResult result = ParseSettings(fields);
  ASSERT_TRUE(result.settings) << result.error;
  const Settings& s = *result.settings;
  EXPECT_EQ(s.line, (LineFormat{38400, Parity::Even, StopBits::Two}));
  EXPECT_EQ(s.port_name, "ttyUSB0");
  EXPECT_EQ(s.type, ConnectionType::DialUp);
  EXPECT_EQ(s.number, "8312");
  EXPECT_EQ(s.dial_mode, DialMode::Pulse);
  EXPECT_EQ(s.init_string, "");
  EXPECT_EQ(s.auto_save_name, "копии");
  EXPECT_TRUE(SettingsError(s).empty());

  fields.baud_index = 8;  // past 115200
  EXPECT_EQ(ParseSettings(fields).error, "Неверный формат линии");
}

}  // namespace
}  // namespace flovir
