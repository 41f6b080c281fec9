#pragma once
// The window's three archive charts ("Часовые", "Суточные", "Месячные"),
// each under its page's text table, and how they follow the downloads: a
// finished download shows the rows of the workbook its table was read from,
// a table that was cleared clears its chart, and a failed or cancelled
// download clears the chart of its archive.

#include <QPushButton>
#include <QSplitter>
#include <array>

#include "operations/background.h"
#include "operations/dispatcher.h"
#include "ui/charts/archive_chart.h"

namespace flovir {

class ArchiveCharts {
 public:
  // Puts the chart of `kind` under the text area (widget 0 of `splitter`)
  // and its "График" check box right after `beside` in that button's row.
  ArchiveChart* Add(ReportKind kind, QSplitter* splitter, QPushButton* beside);

  // The table of `kind` has been set from `workbook`, the archive workbook
  // that has just been read back; no lines means the table was cleared. The
  // chart's rows are built on `background` and shown when they are done.
  void ReportSet(ReportKind kind, bool table_empty, const WorkbookModel& workbook,
                 Background& background);
  // An operation has ended; a failed archive download clears its chart.
  void OperationEnded(OperationKind kind, bool succeeded);

  // Null for a kind without a chart.
  ArchiveChart* Chart(ReportKind kind) const;

 private:
  std::array<ArchiveChart*, 3> charts_{};
};

}  // namespace flovir
