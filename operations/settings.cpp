#include "operations/settings.h"

#include <limits>

namespace flovir {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string FieldError(const char* field, const std::string& text, const char* expected) {
  return std::string("Поле \"") + field + "\": \"" + text + "\" " + expected;
}

}  // namespace

std::optional<uint32_t> ParseDecimal(const std::string& text) {
  size_t at = 0, end = text.size();
  while (at < end && IsBlank(text[at])) ++at;
  while (end > at && IsBlank(text[end - 1])) --end;
  if (at < end && text[at] == '+') ++at;
  if (at == end) return std::nullopt;
  uint64_t value = 0;
  for (; at < end; ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

SettingsResult ParseSettings(const SettingsText& text) {
  constexpr const char* kNotANumber = "не является целым неотрицательным числом";
  struct Field {
    const char* name;
    const std::string& text;
  };
  const Field fields[] = {
      {"Адрес:", text.address},
      {"Число попыток запросов при сбоях в связи", text.attempts},
      {"Длина запрашиваемых данных (количество регистров )", text.chunk_size},
      {"Тайм-аут ожидания ответа, мс", text.answer_timeout},
  };
  uint32_t values[4];
  for (int i = 0; i < 4; ++i) {
    const auto value = ParseDecimal(fields[i].text);
    if (!value) return {std::nullopt, FieldError(fields[i].name, fields[i].text, kNotANumber)};
    values[i] = *value;
  }
  // With no answer timeout a read of a silent line would never end.
  if (values[3] == 0) {
    return {std::nullopt, FieldError(fields[3].name, text.answer_timeout, "должно быть больше 0")};
  }
  OperationSettings settings;
  settings.address = static_cast<uint8_t>(values[0]);
  settings.attempts = static_cast<uint8_t>(values[1]);
  settings.chunk_size = static_cast<uint8_t>(values[2]);
  settings.answer_timeout_ms = values[3];
  settings.auto_save_name = text.auto_save_name;
  return {settings, {}};
}

}  // namespace flovir
