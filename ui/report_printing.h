#pragma once
// Printing and PDF files in the window: "Печать…" (Qt's print dialog, with
// preview) and "Сохранить PDF…" of every report page, and the service
// report ("Акт обслуживания"), which reads the current values and the
// parameters in one go and writes a PDF. The documents come from the print
// layer, laid out from the values the core handed to the window.

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "print/print_document.h"
#include "reports/archive_table.h"
#include "reports/report_kind.h"
#include "workbook/workbook.h"

class QBoxLayout;
class QPushButton;
class QWidget;

namespace flovir {
class ArchiveChart;
}

namespace flovir::ui {

class MainWindow;

// What a page prints.
enum class PrintedPage { Current, Daily, Hourly, Monthly, Test, Parameters };
PrintedPage PageOf(ReportKind kind);

// "Печать…" and "Сохранить PDF…" at the end of a page's button row, named
// "Print<name>" and "Pdf<name>". "Печать…" is hidden where the build has no
// printing (a Qt without PrintSupport).
struct PrintButtons {
  QPushButton* print;
  QPushButton* pdf;
};
PrintButtons AddPrintButtons(QBoxLayout* row, const QString& name, QWidget* parent);
// The same right after `beside`, in the row of its parent's layout that
// holds it; null buttons when there is no such row.
PrintButtons AddPrintButtonsBeside(QWidget* beside, const QString& name);

class ReportPrinting : public QObject {
  Q_OBJECT
 public:
  // `meter` names the meter in the pages' header; `test_lines` gives the
  // test page's lines.
  ReportPrinting(MainWindow& window, std::function<std::string()> meter,
                 std::function<std::vector<std::string>()> test_lines);

  // The window has set a report: keeps what the pages print.
  void ReportSet(ReportKind kind, const std::vector<std::string>& lines,
                 const WorkbookModel& archive_workbook);

  // The document of a page as it is now; none when the page is empty.
  std::optional<print::PrintDocument> Document(PrintedPage page) const;

  // Replaces the PDF save dialog (tests): returns the chosen path or "".
  using PdfChooser = std::function<QString(const QString& proposed)>;
  void SetPdfChooser(PdfChooser chooser) { choose_pdf_ = std::move(chooser); }

 public slots:
  void Print(PrintedPage page);
  void SavePdf(PrintedPage page);
  // "Акт обслуживания…": asks for the file, reads the current values and
  // the parameters, writes the PDF.
  void ServiceReport();
  // A chart as it is drawn on screen, with its archive's title.
  void PrintChart(ReportKind kind, ArchiveChart* chart);
  void SaveChartPdf(ReportKind kind, ArchiveChart* chart);

 signals:
  // The service report has ended: written to `path`, or not (empty).
  void serviceReportEnded(const QString& path);

 private:
  print::PageHeader Header() const;
  std::optional<print::PrintDocument> ChartDocument(ArchiveChart* chart) const;
  void Print(const std::optional<print::PrintDocument>& document);
  QString ChoosePdf(const QString& proposed_name);
  bool WritePdfFile(const print::PrintDocument& document, const QString& path);
  void ServiceStep();
  void FinishServiceReport();

  MainWindow& window_;
  std::function<std::string()> meter_;
  std::function<std::vector<std::string>()> test_lines_;
  PdfChooser choose_pdf_;
  std::vector<std::string> current_lines_;
  std::array<std::optional<ArchiveTableData>, 3> archives_;  // by ReportKind - 1
  std::optional<ReportKind> last_archive_;

  // The service report's run.
  enum class ServiceStage { Idle, Current, Parameters };
  ServiceStage stage_ = ServiceStage::Idle;
  QString service_path_;
  double computer_time_ = 0;
  bool current_read_ = false;
  std::vector<std::string> service_failures_;
};

}  // namespace flovir::ui
