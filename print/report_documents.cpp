#include "print/report_documents.h"

#include <QTextCursor>
#include <QTextImageFormat>
#include <QUrl>
#include <algorithm>

#include "reports/archive_layout.h"

namespace flovir::print {

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const char* const kVolumeNames[] = {"V1, м3", "V2, м3", "V3, м3", "V4, м3"};
const char* const kHourNames[] = {"B1, ч", "B2, ч", "B3, ч", "B4, ч"};

std::string DateText(double serial) {
  const std::string text = TableDateText(serial);
  return text.empty() ? "##########" : text;
}

}  // namespace

std::string DocumentTitle(ReportKind kind) {
  if (const ArchiveLayout* archive = LayoutOf(kind)) return std::string(archive->title);
  return kind == ReportKind::Test ? "Тест" : "Текущие значения";
}

TableSpec NameValueTable(const std::vector<std::string>& lines) {
  TableSpec spec;
  spec.header_rows = 0;
  spec.right_aligned = {false, true};
  spec.widths = {62, 38};
  spec.points = 9;
  for (const std::string& line : lines) {
    size_t at = line.find(" = ");
    size_t skip = 3;
    if (at == std::string::npos) {
      at = line.find(": ");
      skip = 2;
    }
    if (at == std::string::npos) {
      spec.rows.push_back({Trimmed(line), ""});
    } else {
      spec.rows.push_back({Trimmed(line.substr(0, at)), Trimmed(line.substr(at + skip))});
    }
  }
  return spec;
}

PrintDocument CurrentValuesDocument(const std::vector<std::string>& report_lines,
                                    const PageHeader& header) {
  PrintDocument document(DocumentTitle(ReportKind::Current), header);
  QTextCursor cursor(&document.Body());
  AddHeading(cursor, DocumentTitle(ReportKind::Current));
  AddTable(cursor, NameValueTable(report_lines));
  return document;
}

TableSpec ArchiveTotalsSpec(ReportKind kind, const ArchiveTableData& archive) {
  const bool hourly = kind == ReportKind::Hourly;
  TableSpec spec;
  spec.rows.push_back({"Дата"});
  if (hourly) spec.rows[0].push_back("Время");
  for (const char* name : kVolumeNames) spec.rows[0].push_back(name);
  for (const char* name : kHourNames) spec.rows[0].push_back(name);
  spec.rows[0].push_back("Нет сети, ч");
  spec.rows[0].push_back("События");
  for (const ArchiveIntervalRow& row : archive.rows) {
    std::vector<std::string> cells{DateText(row.date)};
    if (hourly) cells.push_back(Trimmed(TableTimeText(row.time)));
    for (size_t c = 0; c < row.values.size(); ++c) {
      cells.push_back(ArchiveValueText(c, row.values[c]));
    }
    cells.push_back(row.events);
    spec.rows.push_back(std::move(cells));
  }
  std::vector<std::string> totals{"Итого:"};
  if (hourly) totals.push_back("");
  for (size_t c = 0; c < archive.totals.size(); ++c) {
    totals.push_back(ArchiveValueText(c, archive.totals[c]));
  }
  totals.push_back("");
  spec.bold_rows = {spec.rows.size()};
  spec.rows.push_back(std::move(totals));
  spec.right_aligned.assign(spec.rows[0].size(), true);
  spec.right_aligned.front() = false;
  spec.right_aligned.back() = false;
  spec.fixed_pitch.assign(spec.rows[0].size(), false);
  spec.fixed_pitch.back() = true;
  spec.widths = hourly ? std::vector<double>{8, 5, 9, 9, 9, 9, 7, 7, 7, 7, 7, 16}
                       : std::vector<double>{9, 9.5, 9.5, 9.5, 9.5, 7.5, 7.5, 7.5, 7.5, 8, 15};
  return spec;
}

PrintDocument ArchiveDocument(ReportKind kind, const ArchiveTableData& archive,
                              const PageHeader& header) {
  PrintDocument document(DocumentTitle(kind), header, QPageLayout::Landscape);
  QTextCursor cursor(&document.Body());
  bool first = true;
  for (const std::string& title : archive.titles) {
    if (title.empty()) continue;
    if (first) {
      AddHeading(cursor, title);
    } else {
      AddParagraph(cursor, title);
    }
    first = false;
  }
  if (first) AddHeading(cursor, DocumentTitle(kind));
  if (!archive.has_table) return document;
  AddTable(cursor, ArchiveTotalsSpec(kind, archive));

  AddHeading(cursor, "Интеграторы:", 10);
  TableSpec integrators;
  integrators.rows.push_back({"Дата"});
  for (const char* name : kVolumeNames) integrators.rows[0].push_back(name);
  for (const char* name : kHourNames) integrators.rows[0].push_back(name);
  for (const ArchiveIntegratorRow& reading : archive.integrators) {
    std::vector<std::string> cells{DateText(reading.date)};
    for (size_t c = 0; c < reading.values.size(); ++c) {
      cells.push_back(IntegratorValueText(c, reading.values[c]));
    }
    integrators.rows.push_back(std::move(cells));
  }
  integrators.right_aligned.assign(9, true);
  integrators.right_aligned[0] = false;
  integrators.widths = {12, 13, 13, 13, 13, 9, 9, 9, 9};
  AddTable(cursor, integrators);
  return document;
}

PrintDocument TestDocument(const std::vector<std::string>& lines, const PageHeader& header) {
  PrintDocument document("Тест: опрос регистров", header);
  QTextCursor cursor(&document.Body());
  AddHeading(cursor, "Тест: значения регистров 880 и далее");
  QTextCharFormat fixed;
  fixed.setFont(FixedFont());
  QTextBlockFormat block;
  block.setBottomMargin(2);
  for (const std::string& line : lines) {
    cursor.insertBlock(block, fixed);
    cursor.insertText(QString::fromStdString(line));
  }
  return document;
}

PrintDocument ChartDocument(const std::string& title, const QImage& image,
                            const PageHeader& header) {
  PrintDocument document(title, header, QPageLayout::Landscape);
  QTextCursor cursor(&document.Body());
  AddHeading(cursor, title);
  if (image.isNull()) return document;
  document.Body().addResource(QTextDocument::ImageResource, QUrl("chart:screen"), image);
  // The page's text width at the layout's 96 pixels an inch: 273 mm.
  constexpr double kWidth = 273 / 25.4 * 96;
  QTextImageFormat format;
  format.setName("chart:screen");
  constexpr double kHeight = 150 / 25.4 * 96;
  const double scale =
      std::min(kWidth / std::max(1, image.width()), kHeight / std::max(1, image.height()));
  format.setWidth(image.width() * scale);
  format.setHeight(image.height() * scale);
  cursor.insertBlock();
  cursor.insertImage(format);
  return document;
}

TableSpec ParameterTableSpec(const ParameterTable& table, const ParameterBuffer& buffer) {
  TableSpec spec;
  for (int row = 0; row < kParameterRows; ++row) {
    std::vector<std::string> cells;
    for (int column = 0; column < kParameterColumns; ++column) {
      cells.push_back(Trimmed(CellText(table.Cell(row, column), buffer)));
    }
    spec.rows.push_back(std::move(cells));
  }
  spec.rows[0][0] = "Параметр";
  spec.rows[0][5] = "Параметр";
  spec.right_aligned = {false, true, true, true, true, false, true};
  spec.widths = {25, 11, 11, 11, 11, 19, 12};
  spec.points = 7.5;
  return spec;
}

PrintDocument ParameterDocument(const ParameterTable& table, const ParameterBuffer& buffer,
                                const PageHeader& header) {
  PrintDocument document("Параметры прибора", header);
  QTextCursor cursor(&document.Body());
  AddHeading(cursor, "Параметры прибора");
  AddTable(cursor, ParameterTableSpec(table, buffer));
  return document;
}

}  // namespace flovir::print
