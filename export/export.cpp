#include "export/export.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "operations/archive_workbook.h"
#include "workbook/serial_date.h"

namespace flovir::collect {

namespace {

std::string Indexed(const char* prefix, size_t n, const char* suffix) {
  return prefix + std::to_string(n) + suffix;
}

// A number text as a JSON number (null when empty).
Json Number(const std::string& text) {
  if (text.empty()) return nullptr;
  return std::strtod(text.c_str(), nullptr);
}

Json BaseObject(const ReadingInfo& info) {
  return {{"meter", info.meter}, {"read_at", IsoDateTime(info.read_at)}, {"status", info.status}};
}

// The decimals of a volume count with this scale (1, 0.1, 0.01, 0.001 or 10).
int VolumeDecimals(const VolumeScale& scale) {
  return scale.code >= 1 && scale.code <= 4 ? scale.code - 1 : 0;
}

std::string VolumeText(uint32_t count, const VolumeScale& scale) {
  if (scale.code >= 1 && scale.code <= 4) return DecimalText(count, VolumeDecimals(scale));
  return std::to_string(uint64_t{count} * 10);
}

std::string HoursText(uint32_t count) {
  return DecimalText(count, 4);
}

// How much of the ISO time an archive's rows show, by ArchiveKind: the hour
// ("2026-12-03T13:00"), the day ("2026-12-03"), the month ("2026-11").
std::string ArchiveTime(ArchiveKind kind, double serial) {
  return IsoDateTime(serial).substr(0, LayoutOf(kind).iso_time_length);
}

void SetValues(ArchiveRow& row, const ChannelValues& values) {
  for (size_t n = 0; n < kChannelCount; ++n) {
    row.volume_m3[n] = VolumeText(values.volume[n], values.scales[n]);
    row.operating_time_h[n] = HoursText(values.operating_time[n]);
  }
}

}  // namespace

Json MeterJson(const std::string& name, const Settings& s) {
  Json j = Json::object();
  if (!name.empty()) j["name"] = name;
  j["line"] = LineWordOf(s);
  j["port"] = s.port_name;
  if (s.type == ConnectionType::TcpIp) j["host"] = s.host;
  j["address"] = s.address;
  j["baud"] = s.line.baud_rate;
  j["parity"] = WordOf(kParityWords, s.line.parity);
  j["stop"] = s.line.stop_bits == StopBits::Two ? 2 : 1;
  if (s.type == ConnectionType::Gsm || s.type == ConnectionType::DialUp) j["number"] = s.number;
  return j;
}

bool ParseOutputFormat(std::string_view text, OutputFormat& format) {
  const OutputFormat* value = FindWord(kOutputFormatWords, text);
  if (value != nullptr) format = *value;
  return value != nullptr;
}

const char* FormatExtension(OutputFormat format) {
  switch (format) {
    case OutputFormat::Csv:
      return "csv";
    case OutputFormat::Json:
      return "json";
    case OutputFormat::Text:
      break;
  }
  return "txt";
}

std::string CsvRecord(const std::vector<std::string>& fields) {
  std::string record;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) record += ',';
    const std::string& f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string::npos) {
      record += f;
      continue;
    }
    record += '"';
    for (char c : f) record += c == '"' ? std::string("\"\"") : std::string(1, c);
    record += '"';
  }
  return record + "\r\n";
}

std::string IsoDateTime(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string FloatText(float value) {
  if (std::isnan(value)) return "nan";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string DecimalText(long long count, int decimals) {
  const bool negative = count < 0;
  std::string digits = std::to_string(negative ? -static_cast<unsigned long long>(count)
                                               : static_cast<unsigned long long>(count));
  if (decimals > 0) {
    if (digits.size() <= static_cast<size_t>(decimals)) {
      digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
  }
  return negative ? "-" + digits : digits;
}

// --- Current values ------------------------------------------------------------

std::string CurrentValuesCsv(const CurrentValues& current) {
  const CurrentValuesBlock& b = current.block;
  const ChannelValues& v = current.values;
  std::vector<std::string> header{"meter_clock"}, values;
  values.push_back(IsoDateTime(current.clock));
  for (size_t n = 0; n < kChannelCount; ++n) {
    header.push_back(Indexed("F", n + 1, "_m3h"));
    // A failed channel has no flow: the report says "отказ".
    values.push_back(current.flow_valid[n] ? FloatText(b.flow[n]) : "");
  }
  for (size_t n = 0; n < kChannelCount; ++n) {
    header.push_back(Indexed("V", n + 1, "_m3"));
    values.push_back(VolumeText(v.volume[n], v.scales[n]));
  }
  for (size_t n = 0; n < kChannelCount; ++n) {
    header.push_back(Indexed("B", n + 1, "_h"));
    values.push_back(HoursText(v.operating_time[n]));
  }
  header.push_back("mains_h");
  values.push_back(HoursText(b.mains_time));
  return CsvRecord(header) + CsvRecord(values);
}

Json CurrentValuesJson(const CurrentValues& current, const ReadingInfo& info) {
  const CurrentValuesBlock& b = current.block;
  const ChannelValues& v = current.values;
  Json j = BaseObject(info);
  j["meter_clock"] = IsoDateTime(current.clock);
  Json channels = Json::array();
  for (size_t n = 0; n < kChannelCount; ++n) {
    channels.push_back({
        {"channel", n + 1},
        {"flow_m3h", current.flow_valid[n] ? Number(FloatText(b.flow[n])) : nullptr},
        {"volume_m3", Number(VolumeText(v.volume[n], v.scales[n]))},
        {"volume_scale_code", v.scales[n].code},
        {"operating_time_h", Number(HoursText(v.operating_time[n]))},
    });
  }
  j["channels"] = std::move(channels);
  j["mains_h"] = Number(HoursText(b.mains_time));
  return j;
}

// --- Archives --------------------------------------------------------------------

std::string ArchiveName(ArchiveKind kind) {
  const std::string_view word = WordOf(kArchiveWords, kind);
  return word.empty() ? "archive" : std::string(word);
}

std::vector<ArchiveRow> ArchiveRows(const ArchiveData& archive) {
  const ArchiveKind kind = archive.kind;
  std::vector<ArchiveRow> rows;
  for (const ArchiveEntry& entry : archive.entries) {
    ArchiveRow& row = rows.emplace_back();
    row.time = ArchiveTime(kind, entry.at);
    SetValues(row, entry.values);
    // Interval length - MainsTime / 10000, in whole 1/10000 h.
    const long long length = IntervalHours(kind, entry.at) * 10000LL;
    row.mains_off_h = DecimalText(length - entry.mains_time, 4);
    row.events = EventMarksText(entry.events);
  }
  if (!archive.totals) return rows;
  ArchiveRow& totals = rows.emplace_back();
  totals.type = ArchiveRow::Type::Total;
  SetValues(totals, archive.totals->values);
  // Summed in single precision by the download: that float is the value.
  totals.mains_off_h = FloatText(archive.totals->mains_off_h);
  for (const IntegratorReading& reading : archive.integrators) {
    ArchiveRow& row = rows.emplace_back();
    row.type = ArchiveRow::Type::Integrator;
    row.time = ArchiveTime(kind, reading.date);
    if (reading.unrecorded) {
      row.no_value = kDayNotComplete;
    } else {
      SetValues(row, reading.values);
    }
  }
  return rows;
}

std::string ArchiveCsv(const std::vector<ArchiveRow>& rows) {
  std::vector<std::string> header{"row", "time"};
  for (size_t n = 1; n <= kChannelCount; ++n) header.push_back(Indexed("V", n, "_m3"));
  for (size_t n = 1; n <= kChannelCount; ++n) header.push_back(Indexed("B", n, "_h"));
  header.push_back("mains_off_h");
  header.push_back("events");
  header.push_back("no_value");
  std::string csv = CsvRecord(header);
  for (const ArchiveRow& r : rows) {
    static const char* const kTypes[] = {"interval", "total", "integrator"};
    std::vector<std::string> fields{kTypes[static_cast<int>(r.type)], r.time};
    fields.insert(fields.end(), r.volume_m3.begin(), r.volume_m3.end());
    fields.insert(fields.end(), r.operating_time_h.begin(), r.operating_time_h.end());
    fields.push_back(r.mains_off_h);
    fields.push_back(r.events);
    fields.push_back(r.no_value);
    csv += CsvRecord(fields);
  }
  return csv;
}

Json ArchiveJson(ArchiveKind kind, const std::vector<ArchiveRow>& rows, const ReadingInfo& info) {
  Json j = BaseObject(info);
  j["archive"] = ArchiveName(kind);
  Json entries = Json::array(), totals, integrators = Json::array();
  for (const ArchiveRow& r : rows) {
    Json o;
    if (r.type != ArchiveRow::Type::Total) o["time"] = r.time;
    Json volume = Json::array(), hours = Json::array();
    for (size_t n = 0; n < kChannelCount; ++n) {
      volume.push_back(r.no_value.empty() ? Number(r.volume_m3[n]) : Json(nullptr));
      hours.push_back(r.no_value.empty() ? Number(r.operating_time_h[n]) : Json(nullptr));
    }
    o["volume_m3"] = std::move(volume);
    o["operating_time_h"] = std::move(hours);
    if (!r.no_value.empty()) o["no_value"] = r.no_value;
    if (r.type != ArchiveRow::Type::Integrator) o["mains_off_h"] = Number(r.mains_off_h);
    if (r.type == ArchiveRow::Type::Interval) o["events"] = r.events;
    if (r.type == ArchiveRow::Type::Interval) entries.push_back(std::move(o));
    if (r.type == ArchiveRow::Type::Total) totals = std::move(o);
    if (r.type == ArchiveRow::Type::Integrator) integrators.push_back(std::move(o));
  }
  j["entries"] = std::move(entries);
  j["totals"] = std::move(totals);
  j["integrators"] = std::move(integrators);
  return j;
}

// --- Parameters --------------------------------------------------------------------

namespace {

struct ParameterItem {
  std::string group;
  int row;
  std::string name;
  uint16_t index;
};

std::vector<ParameterItem> ParameterItems(const ParameterTable& table) {
  std::vector<ParameterItem> items;
  for (int column : {1, 2, 3, 4, 6}) {
    const int name_column = column == 6 ? 5 : 0;
    for (int row = 1; row < kParameterRows; ++row) {
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind != CellKind::Value) continue;
      items.push_back(
          {table.Cell(0, column).Text, row, table.Cell(row, name_column).Text, cell.ValueIndex});
    }
  }
  return items;
}

}  // namespace

std::string ParametersCsv(const ParameterTable& table, const ParameterBuffer& buffer) {
  std::string csv = CsvRecord({"group", "row", "name", "index", "value"});
  for (const ParameterItem& p : ParameterItems(table)) {
    csv += CsvRecord({p.group, std::to_string(p.row), p.name, std::to_string(p.index),
                      FloatText(buffer.ParameterValue(p.index))});
  }
  return csv;
}

Json ParametersJson(const ParameterTable& table, const ParameterBuffer& buffer,
                    const ReadingInfo& info) {
  Json j = BaseObject(info);
  Json list = Json::array();
  for (const ParameterItem& p : ParameterItems(table)) {
    list.push_back({{"group", p.group},
                    {"row", p.row},
                    {"name", p.name},
                    {"index", p.index},
                    {"value", Number(FloatText(buffer.ParameterValue(p.index)))}});
  }
  j["parameters"] = std::move(list);
  return j;
}

// --- Test poll ---------------------------------------------------------------------

std::vector<float> TestValues(const ParameterBuffer& buffer, size_t count) {
  std::vector<float> values;
  for (size_t i = 0; i < count && i < kParameterValueCount; ++i) {
    values.push_back(buffer.ParameterValue(i));
  }
  return values;
}

std::string TestCsvHeader(size_t count) {
  std::vector<std::string> header{"time"};
  for (size_t i = 0; i < count; ++i) header.push_back(Indexed("r", 880 + 2 * i, ""));
  return CsvRecord(header);
}

std::string TestCsvRecord(double at, const std::vector<float>& values) {
  std::vector<std::string> fields{IsoDateTime(at)};
  for (float v : values) fields.push_back(FloatText(v));
  return CsvRecord(fields);
}

Json TestJson(const std::vector<std::pair<double, std::vector<float>>>& polls,
              const ReadingInfo& info) {
  Json j = BaseObject(info);
  Json list = Json::array();
  for (const auto& [at, values] : polls) {
    Json numbers = Json::array();
    for (float v : values) numbers.push_back(Number(FloatText(v)));
    list.push_back({{"time", IsoDateTime(at)}, {"values", std::move(numbers)}});
  }
  j["polls"] = std::move(list);
  return j;
}

}  // namespace flovir::collect
