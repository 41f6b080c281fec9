#include "ui/report_printing.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPushButton>

#ifdef FLOVIR_PRINT_SUPPORT
#include <QPrintPreviewDialog>
#include <QPrinter>
#endif

#include "operations/report_files.h"
#include "print/report_documents.h"
#include "print/service_report.h"
#include "ui/charts/archive_chart.h"
#include "ui/charts/archive_charts.h"
#include "ui/main_window.h"
#include "ui/widgets.h"
#include "workbook/serial_date.h"

namespace flovir::ui {

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The printed pages of the report areas are numbered as the areas are; the
// parameter table comes after them.
static_assert(static_cast<int>(PrintedPage::Test) == static_cast<int>(ReportKind::Test));

std::optional<ReportKind> ArchiveKindOf(PrintedPage page) {
  const auto report = static_cast<ReportKind>(page);
  if (page == PrintedPage::Parameters || LayoutOf(report) == nullptr) return std::nullopt;
  return report;
}

// The file names the save dialog proposes.
QString PdfName(PrintedPage page) {
  if (const auto report = ArchiveKindOf(page)) {
    return QString::fromUtf8(LayoutOf(*report)->name) + ".pdf";
  }
  switch (page) {
    case PrintedPage::Test:
      return "тест.pdf";
    case PrintedPage::Parameters:
      return "параметры.pdf";
    default:
      return "текущие.pdf";
  }
}

size_t ArchiveSlot(ReportKind kind) {
  return static_cast<size_t>(kind) - 1;
}

}  // namespace

PrintedPage PageOf(ReportKind kind) {
  return static_cast<PrintedPage>(kind);
}

PrintButtons AddPrintButtons(QBoxLayout* row, const QString& name, QWidget* parent) {
  PrintButtons buttons{MakeButton("&Печать…", "Print" + name, parent),
                       MakeButton("Сохрани&ть PDF…", "Pdf" + name, parent)};
#ifndef FLOVIR_PRINT_SUPPORT
  buttons.print->hide();
#endif
  row->addWidget(buttons.print);
  row->addWidget(buttons.pdf);
  return buttons;
}

PrintButtons AddPrintButtonsBeside(QWidget* beside, const QString& name) {
  QWidget* parent = beside->parentWidget();
  QBoxLayout* row = parent ? RowOf(parent->layout(), beside) : nullptr;
  if (row == nullptr) return {nullptr, nullptr};
  const int at = row->indexOf(beside) + 1;
  PrintButtons buttons = AddPrintButtons(row, name, parent);
  row->insertWidget(at, buttons.print);
  row->insertWidget(at + 1, buttons.pdf);
  return buttons;
}

ReportPrinting::ReportPrinting(MainWindow& window, std::function<std::string()> meter,
                               std::function<std::vector<std::string>()> test_lines)
    : QObject(&window),
      window_(window),
      meter_(std::move(meter)),
      test_lines_(std::move(test_lines)) {
  // Queued: the next read starts after the ended one has left its handler.
  connect(&window_, &MainWindow::operationEnded, this, &ReportPrinting::ServiceStep,
          Qt::QueuedConnection);
}

void ReportPrinting::ReportSet(ReportKind kind, const std::vector<std::string>& lines,
                               const WorkbookModel& archive_workbook) {
  if (kind == ReportKind::Current) {
    current_lines_ = lines;
    return;
  }
  if (kind == ReportKind::Test) return;
  std::optional<ArchiveTableData>& archive = archives_[ArchiveSlot(kind)];
  if (lines.empty()) {
    archive.reset();
    return;
  }
  archive = ArchiveTableOf(kind, archive_workbook);
  last_archive_ = kind;
}

print::PageHeader ReportPrinting::Header() const {
  return {meter_(), print::HeaderDate(window_.GetDispatcher().GetClock().Now())};
}

std::optional<print::PrintDocument> ReportPrinting::Document(PrintedPage page) const {
  if (page == PrintedPage::Current) {
    if (current_lines_.empty()) return std::nullopt;
    return print::CurrentValuesDocument(current_lines_, Header());
  }
  if (page == PrintedPage::Test) {
    const std::vector<std::string> lines = test_lines_();
    if (lines.empty()) return std::nullopt;
    return print::TestDocument(lines, Header());
  }
  if (page == PrintedPage::Parameters) {
    Session& session = window_.GetSession();
    return print::ParameterDocument(session.Table(), session.GetDispatcher().Parameters(),
                                    Header());
  }
  const ReportKind kind = *ArchiveKindOf(page);
  const std::optional<ArchiveTableData>& archive = archives_[ArchiveSlot(kind)];
  if (!archive) return std::nullopt;
  return print::ArchiveDocument(kind, *archive, Header());
}

void ReportPrinting::Print(PrintedPage page) {
  Print(Document(page));
}

void ReportPrinting::Print(const std::optional<print::PrintDocument>& document) {
  if (!document) {
    window_.ShowStatus("Печатать нечего: отчёт пуст");
    return;
  }
#ifdef FLOVIR_PRINT_SUPPORT
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(document->PageLayout());
  printer.setDocName(Q(document->Title()));
  QPrintPreviewDialog preview(&printer, &window_);
  preview.setObjectName("PrintPreview");
  preview.setWindowTitle("Печать: " + Q(document->Title()));
  connect(&preview, &QPrintPreviewDialog::paintRequested, this,
          [&document](QPrinter* target) { document->Render(*target); });
  preview.exec();
#else
  window_.ShowStatus("Печать недоступна в этой сборке: сохраните PDF");
#endif
}

QString ReportPrinting::ChoosePdf(const QString& proposed_name) {
  const QString folder = Q(window_.GetDispatcher().ProgramFolder());
  const QString proposed = QDir(folder).filePath(proposed_name);
  QString chosen;
  if (choose_pdf_) {
    chosen = choose_pdf_(proposed);
  } else {
    QFileDialog dialog(&window_, "Сохранить PDF");
    dialog.setObjectName("PdfDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter("документ PDF (*.pdf)");
    dialog.setDirectory(folder);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    chosen = dialog.selectedFiles().first();
  }
  if (chosen.isEmpty()) return {};
  return Q(WithExtension(chosen.toStdString(), ".pdf"));
}

bool ReportPrinting::WritePdfFile(const print::PrintDocument& document, const QString& path) {
  try {
    print::WritePdf(document, path.toStdString());
  } catch (const std::exception& error) {
    window_.ShowMessage("Связь ФЛОВИР", error.what(), MessageIcon::Error);
    return false;
  }
  window_.ShowStatus("Сохранено: " + path.toStdString());
  return true;
}

void ReportPrinting::SavePdf(PrintedPage page) {
  std::optional<print::PrintDocument> document = Document(page);
  if (!document) {
    window_.ShowStatus("Сохранять нечего: отчёт пуст");
    return;
  }
  const QString path = ChoosePdf(PdfName(page));
  if (!path.isEmpty()) WritePdfFile(*document, path);
}

std::optional<print::PrintDocument> ReportPrinting::ChartDocument(ArchiveChart* chart) const {
  if (chart == nullptr || chart->Data().rows.empty()) return std::nullopt;
  // The chart's own drawing for printing, with its title, legend and event
  // key, at three times its points so lines and texts stay sharp on paper.
  const QSize size = chart->SavedSize();
  QPicture picture = chart->Picture(size);
  constexpr int kScale = 3;
  QImage image(size * kScale, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kScale, kScale);
    painter.drawPicture(0, 0, picture);
  }
  return print::ChartDocument(chart->Title().toStdString(), image, Header());
}

void ReportPrinting::PrintChart(ReportKind, ArchiveChart* chart) {
  Print(ChartDocument(chart));
}

void ReportPrinting::SaveChartPdf(ReportKind kind, ArchiveChart* chart) {
  std::optional<print::PrintDocument> document = ChartDocument(chart);
  if (!document) {
    window_.ShowStatus("Сохранять нечего: график пуст");
    return;
  }
  const QString path = ChoosePdf(PdfName(PageOf(kind)).replace(".pdf", " график.pdf"));
  if (!path.isEmpty()) WritePdfFile(*document, path);
}

// --- The service report --------------------------------------------------------

void ReportPrinting::ServiceReport() {
  if (stage_ != ServiceStage::Idle) return;
  Session& session = window_.GetSession();
  if (!session.Connected()) {
    window_.ShowStatus("Акт обслуживания: сначала подключитесь к прибору (Старт)");
    return;
  }
  if (session.Busy()) {
    window_.ShowStatus("Акт обслуживания: дождитесь конца операции");
    return;
  }
  const CivilDateTime today = DecodeDateTime(window_.GetDispatcher().GetClock().Now());
  const QString name = QString("акт обслуживания %1-%2-%3.pdf")
                           .arg(today.year)
                           .arg(today.month, 2, 10, QChar('0'))
                           .arg(today.day, 2, 10, QChar('0'));
  service_path_ = ChoosePdf(name);
  if (service_path_.isEmpty() || !window_.ApplySettings()) return;
  stage_ = ServiceStage::Current;
  current_read_ = false;
  window_.ShowProgress("Акт обслуживания: текущие значения и часы прибора...", 10);
  if (!session.StartCurrentValues()) {
    stage_ = ServiceStage::Idle;
    emit serviceReportEnded({});
  }
}

void ReportPrinting::ServiceStep() {
  if (stage_ == ServiceStage::Idle) return;
  Session& session = window_.GetSession();
  if (session.Busy()) return;
  const bool succeeded = session.LastSucceeded();
  if (!succeeded) {
    // The status bar shows why the read failed; no report from half a visit.
    stage_ = ServiceStage::Idle;
    window_.ShowStatus("Акт обслуживания не составлен: " + session.LastStatusText());
    emit serviceReportEnded({});
    return;
  }
  if (stage_ == ServiceStage::Current) {
    computer_time_ = window_.GetDispatcher().GetClock().Now();
    current_read_ = true;
    stage_ = ServiceStage::Parameters;
    window_.ShowProgress("Акт обслуживания: параметры...", 50);
    if (!session.ReadParameters()) {
      stage_ = ServiceStage::Idle;
      emit serviceReportEnded({});
    }
    return;
  }
  FinishServiceReport();
}

void ReportPrinting::FinishServiceReport() {
  stage_ = ServiceStage::Idle;
  Session& session = window_.GetSession();
  const std::string meter = meter_();
  print::ServiceReportData data =
      print::ServiceDataOf(session, meter, computer_time_, current_read_, true);
  if (last_archive_ && archives_[ArchiveSlot(*last_archive_)]) {
    data.archive_kind = *last_archive_;
    data.archive = archives_[ArchiveSlot(*last_archive_)];
  }
  window_.ShowProgress("Акт обслуживания: запись PDF...", 90);
  const print::PrintDocument document = print::ServiceReportDocument(
      data, session.Table(), {meter, print::HeaderDate(computer_time_)});
  const bool written = WritePdfFile(document, service_path_);
  emit serviceReportEnded(written ? service_path_ : QString());
}

}  // namespace flovir::ui
