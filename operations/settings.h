#pragma once
// The settings an operation reads when it starts. The window (and the CLI)
// hand over the fields as the user typed them; they are parsed as decimal
// integers only at the start of an operation, and a field that is not a
// usable number stops the operation before anything is sent.

#include <cstdint>
#include <optional>
#include <string>

namespace flovir {

// The settings fields, as text.
struct SettingsText {
  std::string address = "1";  // "Адрес:"
  std::string attempts = "3";  // "Число попыток запросов при сбоях в связи"
  std::string chunk_size = "64";  // "Длина запрашиваемых данных (количество регистров )"
  std::string answer_timeout = "3000";   // "Тайм-аут ожидания ответа, мс"
  std::string auto_save_name = "авто_";  // "Имя файла для автосохранения :"
};

// The parsed settings. The address, attempts and chunk size are kept modulo
// 256, as the one-byte fields of the request hold them: a chunk size of 256
// becomes 0, which the link answers with its own status.
struct OperationSettings {
  uint8_t address = 1;
  uint8_t attempts = 3;
  uint8_t chunk_size = 64;
  uint32_t answer_timeout_ms = 3000;
  std::string auto_save_name = "авто_";
};

struct SettingsResult {
  std::optional<OperationSettings> settings;
  std::string error;  // the status text naming the bad field, when settings is empty
};

SettingsResult ParseSettings(const SettingsText& text);

// A decimal integer with optional surrounding blanks and an optional "+";
// empty when the text is anything else (a sign "-" included) or does not fit
// 32 bits.
std::optional<uint32_t> ParseDecimal(const std::string& text);

}  // namespace flovir
