#pragma once
// The service report ("Акт обслуживания"): what a service engineer leaves
// at the site after a visit. The meter and its line; the computer's and
// the meter's clock and their difference; the current values as the
// current-values report shows them; the totals of the last downloaded
// archive with a small chart; the parameter table in the grid's number
// format; the parameter writes of the session; the line's statistics; and
// lines for the engineer's and the customer's signatures.

#include <optional>
#include <string>
#include <vector>

#include "operations/parameter_buffer.h"
#include "operations/register_map.h"
#include "parameters/parameter_table.h"
#include "print/print_document.h"
#include "reports/archive_table.h"

namespace flovir {
class Session;
}

namespace flovir::print {

inline constexpr const char* kServiceReportTitle = "Акт обслуживания";

struct ServiceReportData {
  // The meter.
  std::string meter_name;
  std::string line;        // "прямое", "GSM", "RTU поверх TCP", ...
  std::string where_name;  // "Порт" or "Адрес в сети"
  std::string where;       // the port's name or HOST:PORT
  int address = 1;
  // When the current values (with the meter's clock) arrived, by the
  // computer's clock (days since 30.12.1899).
  double computer_time = 0;
  // The current-values report and the clock it carried; empty when the
  // read failed.
  std::vector<std::string> current_lines;
  std::optional<DeviceClock> meter_clock;
  // The last downloaded archive; none when nothing was downloaded.
  ReportKind archive_kind = ReportKind::Hourly;
  std::optional<ArchiveTableData> archive;
  // The parameter table as read; none when the read failed.
  std::optional<ParameterBuffer> parameters;
  // The parameter writes of the session, a few lines each.
  std::vector<std::string> changes;
  std::vector<std::string> statistics;
  // What could not be read, in the words of the status bar.
  std::vector<std::string> failures;
};

// The meter, the writes and the statistics from a session whose current
// values (and, when `parameters_read`, parameters) have just been read; the
// current values only when `current_read`.
ServiceReportData ServiceDataOf(Session& session, const std::string& meter_name,
                                double computer_time, bool current_read, bool parameters_read);

// The difference of the meter's clock from the computer's: "часы прибора
// спешат на 1 мин 05 с", "отстают на 2 ч 00 мин 00 с", "совпадают";
// `meter` and `computer` in days since 30.12.1899.
std::string ClockDifferenceText(double meter, double computer);
// The meter's clock as a day serial; none for a date that does not exist.
std::optional<double> MeterClockSerial(const DeviceClock& clock);

// The report on one or two A4 pages.
PrintDocument ServiceReportDocument(const ServiceReportData& data, const ParameterTable& table,
                                    const PageHeader& header);

}  // namespace flovir::print
