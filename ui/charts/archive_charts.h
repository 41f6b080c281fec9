#pragma once
// The window's three archive charts ("Часовые", "Суточные", "Месячные"),
// each under its page's text table, and how they follow the downloads: a
// finished download shows the rows of the workbook its table was read from
// and a table that was cleared clears its chart. A failed or cancelled
// download leaves the last chart shown, as it leaves the table.

#include <QBoxLayout>
#include <QPushButton>
#include <QSplitter>
#include <array>

#include "operations/background.h"
#include "operations/dispatcher.h"
#include "ui/charts/archive_chart.h"

namespace flovir {

// The box layout under `layout` (nested ones included) that holds `widget`,
// or null: where buttons go beside another.
QBoxLayout* RowOf(QLayout* layout, QWidget* widget);

class ArchiveCharts {
 public:
  // Puts the chart of `kind` under the text area (widget 0 of `splitter`)
  // and its "График" check box right after `beside` in that button's row;
  // its save dialog opens in `folder`.
  ArchiveChart* Add(ReportKind kind, QSplitter* splitter, QPushButton* beside,
                    const QString& folder);

  // The table of `kind` has been set from `workbook`, the archive workbook
  // that has just been read back from `meter`, whose download decoded
  // `entries`; no lines means the table was cleared. The chart's rows are
  // built on `background` and shown when they are done.
  void ReportSet(ReportKind kind, bool table_empty, const WorkbookModel& workbook,
                 const std::vector<ArchiveEntry>& entries, const QString& meter,
                 Background& background);

  // Null for a kind without a chart.
  ArchiveChart* Chart(ReportKind kind) const;

 private:
  std::array<ArchiveChart*, 3> charts_{};
};

}  // namespace flovir
