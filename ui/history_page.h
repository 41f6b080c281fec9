#pragma once
// "История": what the history store holds. A list of the meters with their
// completeness, the archive kind and the period, the stored entries as the
// archive table and on the archive chart (across any number of downloads),
// "Экспорт" to CSV, and "Догрузить пропуски", which asks the window to
// download the period's gaps when it is connected to that meter.
//
// The page reads the store itself (a read never waits on a writer in WAL
// mode); what it shows is laid out by store/history_views.h, so the table
// and the chart are those of a download.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "store/history_store.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace flovir {
class ArchiveChart;
}

namespace flovir::ui {

class HistoryPage : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryPage(QWidget* parent = nullptr);
  ~HistoryPage() override;

  // The store's file; the page opens it when it is shown or refreshed.
  void SetStorePath(const std::string& path) { path_ = path; }
  // Reads the meter list again.
  void Refresh();
  // Shows the chosen meter's entries of the chosen kind and period.
  void ShowEntries();
  // The chosen meter's name, kind and period (days).
  std::string MeterName() const;
  // Chooses the meter of that name in the list; false when it has none.
  bool SelectMeter(const std::string& name);
  ArchiveKind Kind() const;
  double FirstDay() const;
  double LastDay() const;
  QString TableText() const;
  // Called before every read of the store: the window's own readings may
  // still be on their way into it.
  void SetBeforeReading(std::function<void()> wait) { before_reading_ = std::move(wait); }
  // The chart of the entries shown.
  ArchiveChart* Chart() const { return chart_; }
  // Where "Экспорт" writes, for tests; empty: a file dialog.
  void SetExportFile(const QString& path) { export_file_ = path; }

 signals:
  // "Догрузить пропуски": the window downloads the period of the meter.
  void fillGapsRequested(const QString& meter, int kind, double first_day, double last_day);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  history::HistoryStore* Store();
  void Export();

  std::string path_;
  std::function<void()> before_reading_;
  std::unique_ptr<history::HistoryStore> store_;
  QTableWidget* meters_;
  QComboBox* kind_;
  QDateEdit* first_;
  QDateEdit* last_;
  QPushButton* show_;
  QPushButton* export_;
  QPushButton* fill_;
  QLabel* status_;
  QPlainTextEdit* table_;
  ArchiveChart* chart_ = nullptr;
  QString export_file_;
};

}  // namespace flovir::ui
