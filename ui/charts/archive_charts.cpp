#include "ui/charts/archive_charts.h"

#include <QBoxLayout>
#include <exception>
#include <memory>

namespace flovir {

namespace {

// Daily 1, Hourly 2, Monthly 3 -> 0, 1, 2; anything else has no chart.
int IndexOf(ReportKind kind) {
  const int i = static_cast<int>(kind) - static_cast<int>(ReportKind::Daily);
  return i >= 0 && i < 3 ? i : -1;
}

}  // namespace

QBoxLayout* RowOf(QLayout* layout, QWidget* widget) {
  if (layout == nullptr) return nullptr;
  auto* box = qobject_cast<QBoxLayout*>(layout);
  if (box != nullptr && box->indexOf(widget) >= 0) return box;
  for (int i = 0; i < layout->count(); ++i) {
    if (QBoxLayout* found = RowOf(layout->itemAt(i)->layout(), widget)) return found;
  }
  return nullptr;
}

ArchiveChart* ArchiveCharts::Add(ReportKind kind, QSplitter* splitter, QPushButton* beside,
                                 const QString& folder) {
  const int i = IndexOf(kind);
  if (i < 0 || splitter == nullptr) return nullptr;
  auto* chart = new ArchiveChart(kind);
  chart->SetSaveFolder(folder);
  splitter->addWidget(chart);
  QBoxLayout* row = beside ? RowOf(beside->parentWidget()->layout(), beside) : nullptr;
  if (row != nullptr) {
    row->insertWidget(row->indexOf(beside) + 1, chart->VisibilityBox());
    chart->VisibilityBox()->show();
  }
  charts_[static_cast<size_t>(i)] = chart;
  return chart;
}

void ArchiveCharts::ReportSet(ReportKind kind, bool table_empty, const WorkbookModel& workbook,
                              const std::vector<ArchiveEntry>& entries, const QString& meter,
                              Background& background) {
  ArchiveChart* chart = Chart(kind);
  if (chart == nullptr) return;
  if (table_empty) return chart->Clear();
  // The rows come aside, like the table, from a reading of their own of the
  // file the table was read from, and a copy of the entries; the next
  // download may refill the archive workbook and its entries meanwhile.
  auto data = std::make_shared<ArchiveChartData>();
  background.Run(
      [data, kind, path = workbook.FileName(), entries] {
        try {
          WorkbookModel file;
          file.SetFileName(path);
          file.LoadWorkbook();
          *data = ArchiveChartRows(kind, file, entries);
        } catch (const std::exception&) {
          data->rows.clear();  // the table has said what went wrong
        }
      },
      [chart, data, meter] {
        chart->SetMeter(meter);
        chart->ShowRows(std::move(*data));
      });
}

ArchiveChart* ArchiveCharts::Chart(ReportKind kind) const {
  const int i = IndexOf(kind);
  return i < 0 ? nullptr : charts_[static_cast<size_t>(i)];
}

}  // namespace flovir
