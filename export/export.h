#pragma once
// Machine-readable copies of what the meter sent, for other programs: CSV
// (RFC 4180: a header row, fields quoted when they hold a comma, a quote or
// a line break, CRLF line ends, UTF-8, a point as decimal separator) and
// JSON (one object per reading). Numbers keep the precision the meter sent:
// a volume count with the decimals its scale code stands for, operating
// times to 1/10000 h, float32 values in their shortest exact form. The
// text reports round for people; these files do not.

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "operations/meter_records.h"
#include "operations/parameter_buffer.h"
#include "operations/settings.h"
#include "operations/words.h"
#include "parameters/parameter_table.h"

namespace flovir::collect {

// JSON objects keep their keys in the order they were written.
using Json = nlohmann::ordered_json;

using flovir::OutputFormat;
// A word of kOutputFormatWords; false for anything else.
bool ParseOutputFormat(std::string_view text, OutputFormat& format);
// The file extension of a format: "txt", "csv", "json".
const char* FormatExtension(OutputFormat format);

// One CSV record with its CRLF.
std::string CsvRecord(const std::vector<std::string>& fields);

// What every JSON reading carries besides its values.
struct ReadingInfo {
  Json meter = Json::object();  // the meter's settings
  double read_at = 0;           // the computer's local time of the reading
  std::string status;           // the status text the operation ended with
};

// The meter's settings as JSON readings carry them: name (when not empty),
// line, port, address, baud, parity, stop and, for a modem line, number.
Json MeterJson(const std::string& name, const Settings& settings);

// Date-time values (days since 30 December 1899) as ISO 8601 text without a
// zone: "2026-12-08T02:15:00".
std::string IsoDateTime(double serial);

// --- Current values --------------------------------------------------------
std::string CurrentValuesCsv(const CurrentValues& values);
Json CurrentValuesJson(const CurrentValues& values, const ReadingInfo& info);

// --- Archives ----------------------------------------------------------------
// One row of an archive sheet: an interval entry, the totals, or an
// integrator reading. Numbers are exact decimal texts.
struct ArchiveRow {
  enum class Type { Interval, Total, Integrator } type = Type::Interval;
  std::string time;  // hourly "2026-12-03T13:00", daily "2026-12-03", monthly "2026-11"
  std::array<std::string, kChannelCount> volume_m3;
  std::array<std::string, kChannelCount> operating_time_h;
  std::string mains_off_h;  // empty for integrator readings
  std::string events;       // the 25-character marks; empty but for intervals
  // Why an integrator reading has no values (the workbook shows zeros):
  // empty when it has them.
  std::string no_value;
};
inline constexpr const char* kDayNotComplete = "day not complete";

// The rows of a download, as its archive sheet has them: the interval
// entries, then (once the entries are all in) the totals and the integrator
// readings. The texts are the meter's exact counts; an integrator reading
// that the meter has not recorded yet gets no values and kDayNotComplete.
std::vector<ArchiveRow> ArchiveRows(const ArchiveData& archive);
std::string ArchiveCsv(const std::vector<ArchiveRow>& rows);
Json ArchiveJson(ArchiveKind kind, const std::vector<ArchiveRow>& rows, const ReadingInfo& info);
// "hourly", "daily", "monthly" (kArchiveWords).
std::string ArchiveName(ArchiveKind kind);

// --- Parameters --------------------------------------------------------------
// One row per value cell of the parameter table: group (КАНАЛ1-4, ОБЩИЕ),
// grid row, the row's name, the value's index and the value.
std::string ParametersCsv(const ParameterTable& table, const ParameterBuffer& buffer);
Json ParametersJson(const ParameterTable& table, const ParameterBuffer& buffer,
                    const ReadingInfo& info);

// --- Test poll ---------------------------------------------------------------
// The first `count` values of the buffer, one poll.
std::vector<float> TestValues(const ParameterBuffer& buffer, size_t count);
std::string TestCsvHeader(size_t count);
std::string TestCsvRecord(double at, const std::vector<float>& values);
Json TestJson(const std::vector<std::pair<double, std::vector<float>>>& polls,
              const ReadingInfo& info);

// A float32 value in its shortest text that reads back as the same float.
std::string FloatText(float value);
// count / 10^decimals as exact decimal text ("1234.5"); negative counts too.
std::string DecimalText(long long count, int decimals);

}  // namespace flovir::collect
