#include "collect/state.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "operations/words.h"
#include "workbook/serial_date.h"

namespace flovir::collect {

namespace {

std::string DateText(double date) {
  const CivilDateTime t = DecodeDateTime(date);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

std::optional<double> ParseDateText(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3) return {};
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return {};
  return EncodeDate(year, month, day);
}

double MonthStart(double date, int months_back) {
  const CivilDateTime t = DecodeDateTime(date);
  const int index = t.year * 12 + (t.month - 1) - months_back;
  return EncodeDate(index / 12, index % 12 + 1, 1);
}

}  // namespace

std::optional<double>& MeterState::Of(ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? hourly : kind == ArchiveKind::Daily ? daily : monthly;
}

MeterState LoadState(const std::string& path) {
  MeterState state;
  if (!std::filesystem::exists(path)) return state;
  std::ifstream in(path, std::ios::binary);
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (!in.is_open() || j.is_discarded() || !j.is_object()) {
    throw std::runtime_error("the state file " + path + " cannot be read; remove it to start over");
  }
  for (const Word<ArchiveKind>& row : kArchiveWords) {
    const std::string key(row.word);
    const ArchiveKind kind = row.value;
    if (!j.contains(key)) continue;
    const std::optional<double> date =
        j[key].is_string() ? ParseDateText(j[key].get<std::string>()) : std::nullopt;
    if (!date) throw std::runtime_error("the state file " + path + " holds a bad date at " + key);
    state.Of(kind) = *date;
  }
  return state;
}

void SaveState(const std::string& path, const MeterState& state) {
  nlohmann::json j = nlohmann::json::object();
  MeterState copy = state;
  for (const Word<ArchiveKind>& row : kArchiveWords) {
    const std::string key(row.word);
    const ArchiveKind kind = row.value;
    if (copy.Of(kind)) j[key] = DateText(*copy.Of(kind));
  }
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << j.dump(2) << "\n";
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) throw std::runtime_error("cannot replace " + path + ": " + error.message());
}

ArchiveRangeToRead NextArchiveRange(ArchiveKind kind, const std::optional<double>& done,
                                    double today, int history) {
  today = std::floor(today);
  ArchiveRangeToRead range;
  if (kind == ArchiveKind::Monthly) {
    range.last = MonthStart(today, 1);
    range.first = done ? MonthStart(MonthStart(*done, 0) + 31, 0) : MonthStart(today, history);
  } else {
    range.last = today - 1;
    range.first = done ? std::floor(*done) + 1 : today - history;
  }
  range.due = range.first <= range.last;
  return range;
}

}  // namespace flovir::collect
