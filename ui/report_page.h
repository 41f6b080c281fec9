#pragma once
// A page of "2. Cкачать" for one report kind: "Текущие", "Часовые",
// "Суточные" or "Месячные". Its text area shows the report, "Скачать" asks
// for the download and "Сохранить" for the area's text in a file. The
// archive pages keep room under the table for a chart, in a splitter where
// the table comes first, and explain the table's event marks X < >.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "reports/report_kind.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace flovir::ui {

class ReportPage : public QWidget {
  Q_OBJECT
 public:
  explicit ReportPage(ReportKind kind, QWidget* parent = nullptr);

  ReportKind Kind() const { return kind_; }
  // The page's caption in the tab bar.
  static QString Caption(ReportKind kind);

  // Replaces the report; lays out only what is on screen, so an archive of
  // tens of thousands of lines shows at once.
  void ShowLines(const std::vector<std::string>& lines);
  QString Text() const;
  void SetDownloadEnabled(bool enabled);
  // "Только недостающие": the download takes the complete entries the
  // history holds. Always false on "Текущие".
  bool MissingOnly() const;

  // Where an archive chart goes: under the table in this splitter, and its
  // check box after this button. Null on "Текущие".
  QSplitter* ChartSplitter() const { return splitter_; }
  QPushButton* ChartBoxNeighbour() const { return save_; }

  // Where the user has put the splitter between table and chart, to be
  // remembered; empty until the user has moved it. A state set here is
  // used when the chart shows; without one the table gets the room for its
  // heading and a few rows, also when the window is resized, and a chart
  // that does not fit beside it gives way (collapsed, to be pulled up by
  // the splitter's handle).
  QByteArray SplitterState() const { return splitter_state_; }
  void SetSplitterState(const QByteArray& state) { splitter_state_ = state; }
  // The legend of the event marks, for the archive pages.
  static QString EventLegend();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 signals:
  void downloadRequested(ReportKind kind);
  void saveRequested(ReportKind kind);
  // "Печать…" and "Сохранить PDF…".
  void printRequested(ReportKind kind);
  void pdfRequested(ReportKind kind);

 private:
  ReportKind kind_;
  QPlainTextEdit* area_;
  QPushButton* download_;
  QPushButton* save_;
  QCheckBox* missing_only_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QWidget* chart_ = nullptr;  // the splitter's second widget, once added
  bool chart_placed_ = false;
  QByteArray splitter_state_;

  void PlaceChart();
};

}  // namespace flovir::ui
