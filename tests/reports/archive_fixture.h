#pragma once
// Whole archive downloads for the tests of the files and tables: the meter's
// raw entries go through the register decoding and the archive workbook
// export in the order a download calls them, and the table the user should
// see is built here independently, with printf-style formatting and the
// layout written out by hand (tests/dispatcher/archive_end_test.cpp compares
// it with what a download against the simulated meter shows).

#include <array>
#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "operations/archive_workbook.h"
#include "operations/register_map.h"
#include "tests/reports/table_texts.h"
#include "workbook/serial_date.h"

namespace flovir::testing {

// One entry as the meter keeps it: raw counts, before the no-data rule.
struct RawEntry {
  int year, month, day, hour = 0;
  std::array<uint32_t, 4> volume{};
  std::array<uint32_t, 4> time{};
  uint32_t mains = 0;
  uint32_t word_a = 0, word_b = 0;
  std::string marks = std::string(25, ' ');  // the events text expected for it
};

struct Download {
  ArchiveKind kind;
  RawEntry start, end;  // dates of the title (hourly: the date of end)
  std::array<float, 4> scale_codes{1, 2, 3, 0};
  std::vector<RawEntry> entries{};
  std::vector<RawEntry> integrators{};
};

inline const CivilDateTime kCreated{2024, 3, 7, 9, 5, 7};

// The 52 bytes of registers 200-225 for an entry.
inline std::array<uint8_t, kArchiveRecordBytes> RecordArea(const RawEntry& e) {
  std::array<uint8_t, kArchiveRecordBytes> area{};
  auto put = [&area](size_t reg, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      area[2 * reg + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  for (size_t n = 0; n < 4; ++n) {
    put(2 * n, e.volume[n]);
    put(8 + 2 * n, e.time[n]);
  }
  put(16, e.mains);
  put(20, e.word_a);
  put(22, e.word_b);
  return area;
}

inline double SerialOf(const RawEntry& e) {
  return EncodeDateTime({e.year, e.month, e.day, e.hour, 0, 0});
}

// Runs the export as the download does and returns the sheet's state.
inline ArchiveSheet Export(WorkbookModel& xls, const Download& d, const std::string& folder) {
  VolumeScales scales;
  for (size_t n = 0; n < 4; ++n) scales[n] = VolumeScaleOf(d.scale_codes[n]);
  ArchiveSheet sheet = BeginArchiveSheet(xls, d.kind, SerialOf(d.start), SerialOf(d.end),
                                         EncodeDateTime(kCreated), 1, folder);
  for (const RawEntry& e : d.entries) {
    AddRecordRow(xls, sheet, d.kind, DecodeArchiveRecord(RecordArea(e)), SerialOf(e), scales);
  }
  AddTotalsRow(xls, sheet, d.kind, scales);
  AddIntegratorLabel(xls, sheet);
  for (const RawEntry& e : d.integrators) {
    AddIntegratorRow(xls, sheet, d.kind, DecodeArchiveRecord(RecordArea(e)), SerialOf(e), scales);
  }
  return sheet;
}

// ----- the expected table, built without the report code -----

inline std::string Fixed3(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", x);
  std::string text = buffer;
  for (char& c : text)
    if (c == '.') c = ',';
  return text;
}

inline std::string Column(double x, size_t width) {
  const std::string text = Fixed3(x);
  if (text.size() > width) return " " + std::string(width, '#');
  return std::string(width + 1 - text.size(), ' ') + text;
}

inline std::string Date(int y, int m, int d) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", d, m, y);
  return buffer;
}

inline float Multiplier(float code) {
  const int c = static_cast<int>(code);
  return c == 1 ? 1.0f : c == 2 ? 0.1f : c == 3 ? 0.01f : c == 4 ? 0.001f : 10.0f;
}

inline uint32_t Counted(uint32_t raw) {
  return raw >= 0xFFFF0000u ? 0 : raw;
}

inline int IntervalLength(ArchiveKind kind, const RawEntry& e) {
  if (kind == ArchiveKind::Hourly) return 1;
  if (kind == ArchiveKind::Daily) return 24;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = e.year % 4 == 0 && (e.year % 100 != 0 || e.year % 400 == 0);
  return 24 * (e.month == 2 && leap ? 29 : days[e.month - 1]);
}

inline std::vector<std::string> ExpectedTable(const Download& d) {
  const bool hourly = d.kind == ArchiveKind::Hourly;
  const char* title = hourly                         ? "Часовой архив с "
                      : d.kind == ArchiveKind::Daily ? "Суточный архив с "
                                                     : "Месячный архив с ";
  std::vector<std::string> lines = {
      title + Date(d.start.year, d.start.month, d.start.day) + " по " +
          Date(d.end.year, d.end.month, d.end.day),
      "создан: 07.03.2024 9:05:07",
      "узел: неизвестен",
      "точка: неизвестен",
      "прибор: неизвестен",
      "сетевой номер: 1",
      "",
  };
  const auto& header = hourly ? kHourlyHeader : kDailyHeader;
  lines.insert(lines.end(), header.begin(), header.end());

  std::array<uint32_t, 8> sums{};
  float mains_off_sum = 0;
  for (const RawEntry& e : d.entries) {
    std::string line = Date(e.year, e.month, e.day);
    if (hourly) {
      char time[16];
      std::snprintf(time, sizeof time, " %2d:00", e.hour);
      line += time;
    }
    for (size_t n = 0; n < 4; ++n) {
      line += Column(Counted(e.volume[n]) * static_cast<double>(Multiplier(d.scale_codes[n])), 10);
      sums[n] += Counted(e.volume[n]);
    }
    for (size_t n = 0; n < 4; ++n) {
      line += Column(Counted(e.time[n]) / 10000.0, 8);
      sums[4 + n] += Counted(e.time[n]);
    }
    const double off = IntervalLength(d.kind, e) - e.mains / 10000.0;
    mains_off_sum += static_cast<float>(off);
    line += Column(off, 8) + " " + e.marks;
    lines.push_back(line);
  }
  lines.push_back(header.front());
  std::string totals = hourly ? "Итого:          " : "Итого:    ";
  for (size_t n = 0; n < 4; ++n)
    totals += Column(sums[n] * static_cast<double>(Multiplier(d.scale_codes[n])), 10);
  for (size_t n = 0; n < 4; ++n) totals += Column(sums[4 + n] / 10000.0, 8);
  totals += Column(mains_off_sum, 8);
  lines.push_back(totals);

  lines.insert(lines.end(), kIntegratorHeader.begin(), kIntegratorHeader.end());
  for (const RawEntry& e : d.integrators) {
    std::string line = Date(e.year, e.month, e.day);
    for (size_t n = 0; n < 4; ++n)
      line += Column(Counted(e.volume[n]) * static_cast<double>(Multiplier(d.scale_codes[n])), 14);
    for (size_t n = 0; n < 4; ++n) line += Column(Counted(e.time[n]) / 10000.0, 10);
    lines.push_back(line);
  }
  lines.push_back(kIntegratorDash);
  return lines;
}

// ----- the downloads of the tests -----

inline RawEntry Entry(int y, int m, int d, int h, uint32_t seed) {
  RawEntry e{y, m, d, h};
  for (uint32_t n = 0; n < 4; ++n) {
    e.volume[n] = seed * 37 + n * 1001 + 3;
    // Operating times with at most three decimals, so no half needs rounding.
    e.time[n] = (seed * 13 + n * 7) % 997 * 10;
  }
  return e;
}

inline Download OneHourlyRecord() {
  Download d{ArchiveKind::Hourly, {2024, 3, 5}, {2024, 3, 6}};
  RawEntry e = Entry(2024, 3, 5, 9, 12345);
  e.mains = 10000;
  d.entries = {e};
  d.integrators = {Entry(2024, 3, 5, 0, 500000), Entry(2024, 3, 6, 0, 500100)};
  return d;
}

// Two days of hours, with no-data counts, event bits and negative mains-off.
inline Download ManyHourlyRecords() {
  Download d{ArchiveKind::Hourly, {2024, 2, 28}, {2024, 3, 1}};
  d.scale_codes = {3, 2, 1, 4};
  for (int i = 0; i < 48; ++i) {
    RawEntry e = Entry(2024, 2, 28 + i / 24, i % 24, static_cast<uint32_t>(i * 11 + 1));
    e.mains = static_cast<uint32_t>(i % 3 == 0 ? 15000 : 10000 - i * 100);
    d.entries.push_back(e);
  }
  d.entries[3].volume[0] = 0xFFFF0000u;  // no data
  d.entries[4].time[2] = 0xFFFFFFFFu;    // no data
  d.entries[5].volume[1] = 0xFFFEFFFFu;  // a real count
  d.entries[6].word_a = 0x7;             // channel 1: X, <, >
  d.entries[6].word_b = 1u << 6;         // channel 3: <
  d.entries[6].marks = "X < >          <         ";
  d.entries[7].word_a = 1u << 5;             // channel 2: X
  d.entries[7].word_b = 1u << 11 | 1u << 2;  // channel 4: X (bit 2 of word B is nobody's here)
  d.entries[7].marks = "       X           X     ";
  d.integrators = {Entry(2024, 2, 28, 0, 900000), Entry(2024, 3, 1, 0, 900480)};
  d.integrators[1].volume[3] = 0xFFFFFFFFu;
  return d;
}

inline Download ManyDailyRecords() {
  Download d{ArchiveKind::Daily, {2023, 12, 25}, {2024, 1, 10}};
  d.scale_codes = {2, 2, 3, 0};
  for (int i = 0; i < 17; ++i) {
    const int day = 25 + i;
    RawEntry e = day <= 31 ? Entry(2023, 12, day, 0, static_cast<uint32_t>(i * 101 + 7))
                           : Entry(2024, 1, day - 31, 0, static_cast<uint32_t>(i * 101 + 7));
    e.mains = static_cast<uint32_t>(240000 - i * 1000);
    d.entries.push_back(e);
  }
  // The daily archive takes every mark from word B.
  d.entries[2].word_a = 0xFFF;
  d.entries[2].word_b = 1u << 1 | 1u << 9;
  d.entries[2].marks = "    >                <   ";
  d.integrators = {Entry(2023, 12, 25, 0, 70000), Entry(2024, 1, 10, 0, 71000)};
  return d;
}

// January to March of a leap year: February is 696 hours long.
inline Download LeapYearMonths() {
  Download d{ArchiveKind::Monthly, {2024, 1, 1}, {2024, 3, 1}};
  d.scale_codes = {1, 1, 2, 3};
  for (int m = 1; m <= 3; ++m) {
    RawEntry e = Entry(2024, m, 1, 0, static_cast<uint32_t>(m * 1000));
    e.mains = m == 2 ? 6960000 : 7000000;
    d.entries.push_back(e);
    d.integrators.push_back(Entry(2024, m, 1, 0, static_cast<uint32_t>(m * 50000)));
  }
  d.entries[1].word_a = 1u << 0;
  d.entries[1].word_b = 1u << 10;
  d.entries[1].marks = "  <                    > ";
  return d;
}

}  // namespace flovir::testing
