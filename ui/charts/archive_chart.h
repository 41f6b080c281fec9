#pragma once
// The chart of one archive page ("Часовые", "Суточные", "Месячные"): the
// volumes V1-V4 on the left axis and the operating times B1-B4 on a second
// axis over the time of the rows, each with a check box; the no-data rows
// as gaps, the rows with events as marks on the time axis, the table's
// values in hover hints, zoom and pan of the time axis with the mouse
// (wheel, drag) and the keys (+, -, arrows; Home or a double click resets),
// and "Сохранить график" to a PNG or PDF file that carries the chart's
// title (archive, range, meter), a legend of its series and a key to the
// event marks.
//
// The chart stays hidden until it has rows to show and while the user has
// cleared its "График" check box. The page places that check box beside its
// own buttons (adding it to a layout takes it over from the chart).

#include <QCheckBox>
#include <QPicture>
#include <QPushButton>
#include <QSharedPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "ui/charts/archive_chart_data.h"

class QCustomPlot;
class QCPGraph;
class QCPAxis;
class QCPRange;

namespace flovir {

class TimeTicker;

class ArchiveChart : public QWidget {
  Q_OBJECT

 public:
  explicit ArchiveChart(ReportKind kind, QWidget* parent = nullptr);
  ~ArchiveChart() override;

  // Follows a finished download: the chart of the archive workbook just
  // read back from its file (the one the text table was built from), with
  // the events of the download's entries.
  void ShowWorkbook(const WorkbookModel& workbook, const std::vector<ArchiveEntry>& entries);
  void ShowRows(ArchiveChartData data);
  // No rows: the chart hides.
  void Clear();
  // Another archive's chart (the history page shows each kind in turn):
  // its time axis, and no rows until the next ShowRows.
  void SetKind(ReportKind kind);
  ReportKind Kind() const { return kind_; }
  // The meter the rows come from, named in the title of a saved chart.
  void SetMeter(const QString& meter) { meter_ = meter; }
  // Where the save dialog opens; then the folder of the chart saved last.
  void SetSaveFolder(const QString& folder) { save_folder_ = folder; }
  // "Часовой архив 05.03.2024 8:00 – 05.03.2024 12:00, котельная".
  QString Title() const;

  // Writes the chart with its title, legend and event key as PDF when the
  // path ends in ".pdf", else as PNG, through a temporary file so a failure
  // keeps an older file. On failure returns false with the reason in `error`.
  bool SaveImage(const QString& path, QString* error);
  // The same drawing as a vector picture of `size` points, for printing.
  QPicture Picture(QSize size);
  // The size a saved chart has: the chart's own, at least 900 x 540.
  QSize SavedSize() const;

  // Back to the whole time range after zooming or panning.
  void ResetZoom();
  // The hint of the value or event mark nearest `pos` (the plot's pixels),
  // also shown as a tool tip; empty when nothing is near.
  QString HintAt(const QPointF& pos);

  // The file dialog of "Сохранить график": the suggested path in, the chosen
  // one out (empty: cancelled). Tests replace it.
  using FileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }

  QCheckBox* VisibilityBox() const { return visibility_box_; }
  QCheckBox* SeriesBox(size_t series) const { return series_boxes_[series]; }
  QPushButton* SaveButton() const { return save_button_; }
  QPushButton* ResetButton() const { return reset_button_; }
  QCustomPlot* Plot() const { return plot_; }
  const ArchiveChartData& Data() const { return data_; }
  // One point per row; a row without data is NaN, which breaks the line.
  QCPGraph* Series(size_t series) const { return series_[series]; }
  // The values with no neighbour to draw a line to, as points.
  QCPGraph* LonePoints(size_t series) const { return lone_[series]; }
  QCPGraph* EventMarks() const { return events_; }
  // The time axis' key of a date (seconds since 30.12.1899).
  static double KeyOf(double serial);
  // The text of the last hover hint.
  const QString& Hint() const { return hint_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateGraphs();
  void ApplySeriesVisibility();
  void UpdateValueRanges();
  void ClampTimeRange(const QCPRange& range);
  void UpdateVisibility();
  void SaveWithDialog();
  // Adds the title row and the legend below the axes while it lives.
  class Framed;

  ReportKind kind_;
  ArchiveChartData data_;
  QString meter_;
  QString save_folder_;
  std::vector<double> x_;  // each row's key on the time axis
  QCheckBox* visibility_box_;
  std::array<QCheckBox*, kChartSeriesCount> series_boxes_{};
  QPushButton* reset_button_;
  QPushButton* save_button_;
  QCustomPlot* plot_;
  QSharedPointer<TimeTicker> ticker_;
  std::array<QCPGraph*, kChartSeriesCount> series_{};
  std::array<QCPGraph*, kChartSeriesCount> lone_{};
  QCPGraph* events_ = nullptr;
  double full_low_ = 0;  // the time range that ResetZoom shows
  double full_high_ = 0;
  bool clamping_ = false;
  QString hint_;
  FileChooser choose_file_;
  bool sized_ = false;  // the splitter has given the chart its first share
};

}  // namespace flovir
