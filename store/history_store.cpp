#include "store/history_store.h"

#include <cstdio>

#include "operations/words.h"
#include "workbook/serial_date.h"

namespace flovir::history {

const char* KindWord(ArchiveKind kind) {
  return WordOf(kArchiveWords, LayoutOf(kind).kind).data();
}

std::optional<ArchiveKind> KindOfWord(const std::string& word) {
  for (ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
    if (word == KindWord(kind)) return kind;
  }
  return std::nullopt;
}

std::string EntryTimeText(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return text;
}

std::string MomentText(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::optional<double> ParseTimeText(const std::string& text) {
  CivilDateTime t;
  char tail = 0;
  int fields = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &t.year, &t.month, &t.day,
                           &t.hour, &t.minute, &t.second, &tail);
  if (fields != 3 && fields != 5 && fields != 6) return std::nullopt;
  if (fields == 3 && text.size() != 10) return std::nullopt;
  if (t.year < 1900 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > 59) {
    return std::nullopt;
  }
  return EncodeDateTime(t);
}

}  // namespace flovir::history
