#include "print/service_report.h"

#include <QTextCursor>
#include <QTextImageFormat>
#include <QUrl>
#include <cmath>

#include "link/line_statistics.h"
#include "operations/current_report.h"
#include "operations/words.h"
#include "parameters/parameter_changes.h"
#include "parameters/write_records.h"
#include "print/report_documents.h"
#include "print/service_chart.h"
#include "session/session.h"
#include "workbook/serial_date.h"

namespace flovir::print {

namespace {

std::string TwoDigits(long value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string ResultText(WriteOutcome::Result result) {
  switch (result) {
    case WriteOutcome::Result::Verified:
      return "записано и проверено";
    case WriteOutcome::Result::Differs:
      return "ПРИБОР ХРАНИТ ДРУГИЕ ЗНАЧЕНИЯ";
    case WriteOutcome::Result::Unverified:
      return "записано, но не проверено";
    case WriteOutcome::Result::Interrupted:
      return "ЗАПИСЬ ПРЕРВАНА, в приборе может быть смешанная таблица";
    case WriteOutcome::Result::Declined:
      return "отменено, ничего не записано";
  }
  return {};
}

std::vector<std::string> ChangeLines(const ParameterTable& table,
                                     const std::vector<WriteOutcome>& writes) {
  std::vector<std::string> lines;
  for (const WriteOutcome& write : writes) {
    if (write.result == WriteOutcome::Result::Declined) continue;
    lines.push_back(LogTime(write.ended_at) + ": " + ResultText(write.result) +
                    ", изменено значений: " + std::to_string(write.changes.size()));
    for (const ParameterChange& change : write.changes) {
      lines.push_back("    " + ChangeLine(table, change));
    }
  }
  return lines;
}

// A compact table of the archive's totals: its columns across, one row.
TableSpec TotalsOnly(ReportKind kind, const ArchiveTableData& archive) {
  TableSpec full = ArchiveTotalsSpec(kind, archive);
  TableSpec spec;
  const size_t first = kind == ReportKind::Hourly ? 2 : 1;
  for (const std::vector<std::string>* row : {&full.rows.front(), &full.rows.back()}) {
    spec.rows.emplace_back(row->begin() + static_cast<long>(first), row->end() - 1);
  }
  spec.right_aligned.assign(spec.rows[0].size(), true);
  spec.points = 8;
  return spec;
}

}  // namespace

std::optional<double> MeterClockSerial(const DeviceClock& clock) {
  const int year = 2000 + clock.year;
  if (clock.month < 1 || clock.month > 12 || clock.day < 1 ||
      clock.day > DaysInMonth(year, clock.month) || clock.hour > 23 || clock.minutes > 59 ||
      clock.seconds > 59) {
    return std::nullopt;
  }
  return EncodeDateTime({year, clock.month, clock.day, clock.hour, clock.minutes, clock.seconds});
}

std::string ClockDifferenceText(double meter, double computer) {
  const long seconds = std::lround((meter - computer) * 86400.0);
  if (seconds == 0) return "часы прибора и компьютера совпадают";
  const long size = std::labs(seconds);
  std::string text = seconds > 0 ? "часы прибора спешат на " : "часы прибора отстают на ";
  if (size >= 86400) text += std::to_string(size / 86400) + " сут ";
  if (size >= 3600) text += std::to_string(size % 86400 / 3600) + " ч ";
  if (size >= 3600) {
    text += TwoDigits(size % 3600 / 60) + " мин ";
  } else if (size >= 60) {
    text += std::to_string(size / 60) + " мин ";
  }
  return text + TwoDigits(size % 60) + " с";
}

ServiceReportData ServiceDataOf(Session& session, const std::string& meter_name,
                                double computer_time, bool current_read, bool parameters_read) {
  const Settings& settings = session.LineSettings();
  ServiceReportData data;
  data.meter_name = meter_name;
  const std::string word = LineWordOf(settings);
  for (const auto& line : kLineWords) {
    if (line.word == word) data.line = std::string(line.caption);
  }
  const bool network = settings.type == ConnectionType::TcpIp;
  data.where_name = network ? "Адрес в сети" : "Порт";
  data.where = network ? settings.host : settings.port_name;
  data.address = settings.address;
  data.computer_time = computer_time;
  if (current_read) {
    const CurrentValuesBlock block = DecodeCurrentValues(session.GetDispatcher().CurrentValues());
    data.current_lines = BuildCurrentValuesReport(block);
    data.meter_clock = block.clock;
  }
  if (parameters_read) data.parameters = session.GetDispatcher().Parameters();
  data.changes = ChangeLines(session.Table(), session.Parameters().Writes());
  data.statistics = StatisticsLines(session.Statistics().Snapshot());
  return data;
}

PrintDocument ServiceReportDocument(const ServiceReportData& data, const ParameterTable& table,
                                    const PageHeader& header) {
  PrintDocument document(kServiceReportTitle, header);
  QTextDocument& body = document.Body();
  QTextCursor cursor(&body);
  AddHeading(cursor, kServiceReportTitle, 15);

  AddHeading(cursor, "Прибор", 10);
  TableSpec meter;
  meter.header_rows = 0;
  meter.widths = {30, 70};
  meter.points = 9;
  meter.rows = {{"Имя", data.meter_name},
                {"Линия", data.line},
                {data.where_name, data.where},
                {"Адрес прибора", std::to_string(data.address)}};
  AddTable(cursor, meter);

  AddHeading(cursor, "Время", 10);
  TableSpec clock;
  clock.header_rows = 0;
  clock.widths = {30, 70};
  clock.points = 9;
  clock.rows.push_back({"Компьютер", LogTime(data.computer_time)});
  if (data.meter_clock) {
    clock.rows.push_back({"Часы прибора", DeviceClockText(*data.meter_clock)});
    const std::optional<double> meter_time = MeterClockSerial(*data.meter_clock);
    clock.rows.push_back({"Разница", meter_time
                                         ? ClockDifferenceText(*meter_time, data.computer_time)
                                         : "часы прибора показывают несуществующую дату"});
  } else {
    clock.rows.push_back({"Часы прибора", "не считаны"});
  }
  AddTable(cursor, clock);

  for (const std::string& failure : data.failures) AddParagraph(cursor, failure, true);

  if (!data.current_lines.empty()) {
    AddHeading(cursor, "Текущие значения", 10);
    AddTable(cursor, NameValueTable(data.current_lines));
  }

  AddHeading(cursor, "Архив", 10);
  if (data.archive && data.archive->has_table) {
    AddParagraph(cursor, data.archive->titles.front());
    AddTable(cursor, TotalsOnly(data.archive_kind, *data.archive));
    const QImage chart = ArchiveVolumeChart(data.archive_kind, *data.archive, 2040, 540);
    if (!chart.isNull()) {
      body.addResource(QTextDocument::ImageResource, QUrl("chart:archive"), chart);
      QTextImageFormat image;
      image.setName("chart:archive");
      image.setWidth(680);
      image.setHeight(180);
      cursor.insertBlock();
      cursor.insertImage(image);
    }
  } else {
    AddParagraph(cursor, "Архив не скачивался");
  }

  AddHeading(cursor, "Параметры", 10);
  if (data.parameters) {
    AddTable(cursor, ParameterTableSpec(table, *data.parameters));
  } else {
    AddParagraph(cursor, "Параметры не считаны");
  }

  AddHeading(cursor, "Изменения параметров за сеанс", 10);
  if (data.changes.empty()) AddParagraph(cursor, "Параметры не изменялись");
  for (const std::string& line : data.changes) AddParagraph(cursor, line, false, 8);

  AddHeading(cursor, "Связь", 10);
  for (const std::string& line : data.statistics) AddParagraph(cursor, line, false, 8);

  AddHeading(cursor, "Подписи", 10);
  TableSpec signatures;
  signatures.header_rows = 0;
  signatures.widths = {50, 50};
  signatures.points = 9;
  signatures.rows = {{"Инженер сервисной службы", "Представитель заказчика"},
                     {"\n\n______________________ / ______________ /",
                      "\n\n______________________ / ______________ /"},
                     {"Дата: ____________", "Дата: ____________"}};
  AddTable(cursor, signatures);
  return document;
}

}  // namespace flovir::print
