#pragma once
// A page of "2. Cкачать" for one report kind: "Текущие", "Часовые",
// "Суточные" or "Месячные". Its text area shows the report, "Скачать" asks
// for the download and "Сохранить" for the area's text in a file. The
// archive pages keep room under the table for a chart.

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
};

}  // namespace flovir::ui
