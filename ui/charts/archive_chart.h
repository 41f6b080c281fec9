#pragma once
// The chart of one archive page ("Часовые", "Суточные", "Месячные"): the
// volumes V1-V4 on the left axis and the operating times B1-B4 on a second
// axis over the time of the rows, each with a check box; the no-data rows
// as gaps, the rows with events as marks on the time axis, the table's
// values in hover hints, and "Сохранить график" to a PNG or SVG file.
//
// The chart stays hidden until it has rows to show and while the user has
// cleared its "График" check box. The page places that check box beside its
// own buttons (adding it to a layout takes it over from the chart).

#include <QCheckBox>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "ui/charts/archive_chart_data.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QAbstractAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace flovir {

class ArchiveChart : public QWidget {
  Q_OBJECT

 public:
  explicit ArchiveChart(ReportKind kind, QWidget* parent = nullptr);

  // Follows a finished download: the chart of the archive workbook just
  // read back from its file (the one the text table was built from).
  void ShowWorkbook(const WorkbookModel& workbook);
  void ShowRows(ArchiveChartData data);
  // A failed download: no rows, the chart hides.
  void Clear();
  // Another archive's chart (the history page shows each kind in turn):
  // its time axis, and no rows until the next ShowRows.
  void SetKind(ReportKind kind);
  ReportKind Kind() const { return kind_; }

  // Writes the chart as SVG when the path ends in ".svg", else as PNG,
  // through a temporary file so a failure keeps an older file. On failure
  // returns false with the reason in `error`.
  bool SaveImage(const QString& path, QString* error) const;

  QCheckBox* VisibilityBox() const { return visibility_box_; }
  QCheckBox* SeriesBox(size_t series) const { return series_boxes_[series]; }
  QPushButton* SaveButton() const { return save_button_; }
  QChartView* View() const { return view_; }
  const ArchiveChartData& Data() const { return data_; }
  // One point per row; a row without data is NaN, which breaks the line.
  QLineSeries* Series(size_t series) const { return series_[series]; }
  QScatterSeries* EventMarks() const { return events_; }
  // The text of the last hover hint (also shown as a tool tip).
  const QString& Hint() const { return hint_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateSeries();
  void Rebuild();
  void ApplySeriesVisibility();
  void UpdateRanges();
  void UpdateVisibility();
  void ShowHint(bool shown, double x, size_t series);
  void SaveWithDialog();

  ReportKind kind_;
  ArchiveChartData data_;
  std::vector<double> x_;  // each row's time in ms, as the time axis counts
  QCheckBox* visibility_box_;
  std::array<QCheckBox*, kChartSeriesCount> series_boxes_{};
  QPushButton* save_button_;
  QChart* chart_;
  QChartView* view_;
  QAbstractAxis* time_axis_;  // a date-time axis, or month labels
  QValueAxis* volume_axis_;
  QValueAxis* hours_axis_;
  std::array<QLineSeries*, kChartSeriesCount> series_{};
  QScatterSeries* events_ = nullptr;
  QString hint_;
  bool sized_ = false;  // the splitter has given the chart its first share
};

}  // namespace flovir
