#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "connection/port_list.h"
#include "operations/archive_download.h"
#include "operations/line_tables.h"
#include "operations/report_files.h"
#include "session/demo_ports.h"
#include "store/meter_history.h"
#include "ui/charts/archive_charts.h"
#include "ui/history_page.h"
#include "ui/meter_finder.h"
#include "ui/parameter_tab.h"
#include "ui/qt_executor.h"
#include "ui/remote_modem_dialog.h"
#include "ui/report_page.h"
#include "ui/report_printing.h"
#include "ui/settings_page.h"
#include "ui/settings_store.h"
#include "ui/statistics_dock.h"
#include "ui/test_page.h"
#include "ui/threaded_background.h"
#include "ui/trace_dock.h"
#include "ui/trace_sink.h"
#include "ui/widgets.h"
#include "workbook/platform_files.h"

namespace flovir::ui {

namespace {

constexpr const char* kCaption = "Связь ФЛОВИР";
const QSize kDefaultSize(860, 640);
constexpr ReportKind kReportKinds[] = {ReportKind::Current, ReportKind::Hourly, ReportKind::Daily,
                                       ReportKind::Monthly};

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// "обмен 2026-12-09 0416.txt".
QString TraceFileName() {
  return "обмен " + QDateTime::currentDateTime().toString("yyyy-MM-dd HHmm") + ".txt";
}

// What a page's save proposes before the user has chosen a name there: the
// name its report is auto-saved under.
QString DefaultSaveName(ReportKind kind) {
  const ArchiveLayout* archive = LayoutOf(kind);
  return archive != nullptr ? QString::fromUtf8(archive->report_file) : kCurrentReportFile;
}

// How long closing waits for a cancelled operation to end before the line
// is taken down under it (a long frame on a slow line).
constexpr int kCloseGraceMs = 2000;

std::vector<std::string> Lines(const QString& text) {
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  return lines;
}

}  // namespace

MainWindow::MainWindow(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      executor_(new QtExecutor(this)),
      background_(std::make_unique<ThreadedBackground>()) {
  setWindowTitle(kCaption);
  setAccessibleName(kCaption);
  setAccessibleDescription("Form1");
  trace_ = new TraceDock(this);
  addDockWidget(Qt::BottomDockWidgetArea, trace_);
  trace_->hide();
  connect(trace_, &TraceDock::saveRequested, this, [this] {
    // The trace has a name of its own; the reports keep theirs.
    const QString chosen = ChooseFile(save_folder_ + "/" + TraceFileName());
    if (!chosen.isEmpty()) SaveReportText(chosen, trace_->Text());
  });
  session_ =
      std::make_unique<Session>(*this, clock_,
                                SessionOptions{.executor = executor_,
                                               .trace = &trace_->Sink(),
                                               .clear_trace = [this] { trace_->Sink().Clear(); },
                                               .program_folder = options_.folder});
  GetDispatcher().SetBackground(background_.get());
  statistics_ = new StatisticsDock(
      session_->Statistics(), [this] { return GetDispatcher().Settings().answer_timeout_ms; },
      this);
  addDockWidget(Qt::BottomDockWidgetArea, statistics_);
  tabifyDockWidget(trace_, statistics_);
  statistics_->hide();
  finder_ = new MeterFinder(this);
  connect(finder_, &MeterFinder::progress, this,
          [this](const QString& text, int percent) { ShowProgress(text.toStdString(), percent); });
  connect(finder_, &MeterFinder::finished, this, &MainWindow::SearchFinished);
  setCentralWidget(BuildPages());
  BuildStatusBar();
  BuildMenus();
  resize(kDefaultSize);
  remote_modem_ = new RemoteModemDialog(GetConnection(), *this, this);
  save_folder_ = Q(GetDispatcher().ProgramFolder());
  ListPorts();
  LoadSettings();
  CheckProgramFolder();
  AddCharts();
  AddPrinting();
  connect(this, &MainWindow::operationEnded, parameters_, &ParameterTab::OperationEnded);
}

MainWindow::~MainWindow() {
  test_->StopPoll();
  // The work aside reads the archive workbook, and the exchange thread
  // calls back into the dispatcher and this view: end them while both
  // still exist.
  background_.reset();
  session_.reset();
}

// --- Building the window ---------------------------------------------------

QTabWidget* MainWindow::BuildPages() {
  settings_ = new SettingsPage;
  connect(settings_, &SettingsPage::startRequested, this, &MainWindow::Start);
  connect(settings_, &SettingsPage::stopRequested, this, &MainWindow::Stop);
  connect(settings_, &SettingsPage::remoteModemRequested, this, &MainWindow::ShowRemoteModem);
  connect(settings_, &SettingsPage::searchRequested, this, &MainWindow::FindMeter);
  connect(settings_, &SettingsPage::searchCancelled, this, [this] { finder_->Cancel(); });
  connect(settings_, &SettingsPage::tuneRequested, this, &MainWindow::TuneTimeout);

  auto* downloads = new QTabWidget;
  for (ReportKind kind : kReportKinds) {
    auto* page = new ReportPage(kind);
    reports_[static_cast<size_t>(kind)] = page;
    connect(page, &ReportPage::downloadRequested, this, &MainWindow::Download);
    connect(page, &ReportPage::saveRequested, this, &MainWindow::SaveReport);
    downloads->addTab(page, ReportPage::Caption(kind));
  }
  parameters_ = new ParameterTab(*session_, this);
  downloads->addTab(parameters_, "Параметры");
  test_ = new TestPage;
  connect(test_, &TestPage::pollDue, this, &MainWindow::Poll);
  downloads->addTab(test_, "тест");

  auto* pages = new QTabWidget(this);
  pages->setObjectName("PageControl1");
  pages->addTab(settings_, "1.   Параметры программы          ");
  pages->addTab(downloads, "****  2. Cкачать  ****");
  history_page_ = new HistoryPage;
  history_page_->SetStorePath(HistoryLocation());
  history_page_->SetExportFolder(Q(GetDispatcher().ProgramFolder()));
  history_page_->SetBeforeReading([this] {
    if (history_) history_->Drain();
  });
  connect(history_page_, &HistoryPage::fillGapsRequested, this, &MainWindow::FillGaps);
  pages->addTab(history_page_, "История");
  return pages;
}

void MainWindow::BuildStatusBar() {
  status_ = new QLabel(this);
  status_->setFixedWidth(400);
  Name(status_, "", "StatusBar1");
  auto* second = new QLabel(this);
  second->setObjectName("StatusBar2");
  // Empty but for the reason beside a status text, which may be long.
  second->setMinimumWidth(50);
  reason_ = second;
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar");
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(160);
  progress_->hide();
  cancel_ = MakeButton("П&рервать", "ButtonCancel", this);
  cancel_->setEnabled(false);
  connect(cancel_, &QPushButton::clicked, this, &MainWindow::Cancel);
  statusBar()->addWidget(status_);
  statusBar()->addWidget(second);
  statusBar()->addWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);
}

void MainWindow::BuildMenus() {
  // Alt+Ф and Alt+В open the menus; the items have letters of their own.
  QMenu* file = menuBar()->addMenu("&Файл");
  file->addAction("&Открыть папку отчётов", this, &MainWindow::OpenReportFolder);
  file->addAction("О&ткрыть temp.xls", this, &MainWindow::OpenTempWorkbook);
  file->addAction("&Настройки по умолчанию", this, &MainWindow::RestoreDefaults);
  file->addAction("&Акт обслуживания…", this, [this] { printing_->ServiceReport(); });
  file->addSeparator();
  file->addAction("&Выход", this, &QWidget::close);
  QMenu* view = menuBar()->addMenu("&Вид");
  trace_->toggleViewAction()->setText("&Обмен с прибором");
  statistics_->toggleViewAction()->setText("&Статистика обмена");
  view->addAction(trace_->toggleViewAction());
  view->addAction(statistics_->toggleViewAction());
}

void MainWindow::AddCharts() {
  charts_ = std::make_unique<ArchiveCharts>();
  const QString folder = Q(GetDispatcher().ProgramFolder());
  for (ReportKind kind : {ReportKind::Hourly, ReportKind::Daily, ReportKind::Monthly}) {
    charts_->Add(kind, Page(kind)->ChartSplitter(), Page(kind)->ChartBoxNeighbour(), folder);
  }
  history_page_->Chart()->SetSaveFolder(folder);
}

void MainWindow::AddPrinting() {
  // The header names the meter as the history does.
  const auto meter = [this] {
    std::optional<Settings> settings;
    if (session_->Connected()) settings = session_->LineSettings();
    if (!settings) settings = ParseSettings(settings_->Fields()).settings;
    if (!settings) return std::string("прибор не выбран");
    return settings->meter_name.empty() ? history::DefaultMeterName(*settings)
                                        : settings->meter_name;
  };
  printing_ = new ReportPrinting(*this, meter, [this] { return test_->Lines(); });
  for (ReportPage* page : reports_) {
    connect(page, &ReportPage::printRequested, this,
            [this](ReportKind kind) { printing_->Print(PageOf(kind)); });
    connect(page, &ReportPage::pdfRequested, this,
            [this](ReportKind kind) { printing_->SavePdf(PageOf(kind)); });
  }
  connect(test_, &TestPage::printRequested, this, [this] { printing_->Print(PrintedPage::Test); });
  connect(test_, &TestPage::pdfRequested, this, [this] { printing_->SavePdf(PrintedPage::Test); });
  connect(parameters_, &ParameterTab::printRequested, this,
          [this] { printing_->Print(PrintedPage::Parameters); });
  connect(parameters_, &ParameterTab::pdfRequested, this,
          [this] { printing_->SavePdf(PrintedPage::Parameters); });
  for (ReportKind kind : {ReportKind::Hourly, ReportKind::Daily, ReportKind::Monthly}) {
    ArchiveChart* chart = charts_->Chart(kind);
    if (chart == nullptr) continue;
    // ChartMemo4, ChartMemo5, ChartMemo6: named after the table above.
    const QString table = kind == ReportKind::Hourly  ? "Memo4"
                          : kind == ReportKind::Daily ? "Memo5"
                                                      : "Memo6";
    const PrintButtons buttons = AddPrintButtonsBeside(chart->SaveButton(), "Chart" + table);
    if (buttons.print == nullptr) continue;
    connect(buttons.print, &QPushButton::clicked, this,
            [this, kind, chart] { printing_->PrintChart(kind, chart); });
    connect(buttons.pdf, &QPushButton::clicked, this,
            [this, kind, chart] { printing_->SaveChartPdf(kind, chart); });
  }
}

void MainWindow::ListPorts() {
  for (const std::string& entry : ListSerialPorts()) {
    // The entry is the port's name, a blank and its description.
    settings_->AddPort(Q(entry), Q(entry.substr(0, entry.find(' '))));
  }
  for (const std::string& port : options_.extra_ports) settings_->AddPort(Q(port), Q(port));
  if (options_.demo) settings_->AddPort("demo (имитатор прибора ФЛОВИР)", kDemoPortName);
}

// --- Settings ----------------------------------------------------------------

void MainWindow::LoadSettings() {
  const SettingsStore store(options_.settings_file);
  SettingsFields fields = store.Load();
  // --port and --demo choose the port themselves.
  if (const QString port = CommandLinePort(); !port.isEmpty())
    fields.port_name = port.toStdString();
  settings_->SetFields(fields);
  if (const auto size = store.WindowSize()) resize(*size);
  for (ReportKind kind : kReportKinds) {
    Page(kind)->SetSplitterState(store.SplitterState(ReportPage::Caption(kind)));
  }
}

void MainWindow::SaveSettings() const {
  const SettingsStore store(options_.settings_file);
  store.Save(settings_->Fields());
  store.SaveWindowSize(size());
  for (ReportKind kind : kReportKinds) {
    const QByteArray state = Page(kind)->SplitterState();
    if (!state.isEmpty()) store.SaveSplitterState(ReportPage::Caption(kind), state);
  }
}

QString MainWindow::CommandLinePort() const {
  // ListPorts adds them last, --demo's "demo" after --port's.
  if (options_.extra_ports.empty() && !options_.demo) return {};
  return settings_->PortName(settings_->PortCount() - 1);
}

void MainWindow::RestoreDefaults() {
  SettingsFields defaults;
  const QString port = CommandLinePort();
  defaults.port_name = (port.isEmpty() ? settings_->PortName(0) : port).toStdString();
  QString question = "Вернуть все настройки к начальным значениям?";
  if (!port.isEmpty()) question += "\nПорт «" + port + "» из командной строки останется.";
  if (session_->Connected()) {
    question += "\nНастройки линии изменятся после нажатия «Стоп».";
  }
  if (!Ask("Настройки по умолчанию", question)) return;
  // The line's settings are frozen while connected.
  settings_->SetFields(defaults, !session_->Connected());
  resize(kDefaultSize);
}

bool MainWindow::ApplySettings() {
  SettingsResult parsed = ParseSettings(settings_->Fields());
  if (!parsed.settings) {
    ShowStatus(parsed.error);
    return false;
  }
  GetDispatcher().Settings() = std::move(*parsed.settings);
  return true;
}

// --- Connection --------------------------------------------------------------

void MainWindow::Start() {
  // The port "demo" is the simulated meter: the session puts it on the
  // line the settings ask for (a converter where there are no
  // pseudo-terminals).
  const SettingsResult parsed = ParseSettings(settings_->Fields());
  if (!parsed.settings) {  // nothing is opened; the status names the field
    ShowStatus(parsed.error);
    settings_->SetConnected(false);
    // The field's own tab comes forward, on the settings page.
    if (auto* pages = findChild<QTabWidget*>("PageControl1")) pages->setCurrentIndex(0);
    settings_->FocusBadField();
    return;
  }
  ShowReason({});
  if (session_->Start(*parsed.settings))
    OpenHistory(*parsed.settings);
  else
    ShowReason(Q(session_->OpenError()));
  SetConnectedStates(true);
}

// The history of the meter the settings name, in the program's folder. A
// store that cannot be used says so once and costs no file.
void MainWindow::OpenHistory(const Settings& settings) {
  GetDispatcher().SetHistory(nullptr);
  history_.reset();
  // The history writes on a thread of its own and warns from there.
  auto warn = [this](const std::string& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { ShowMessage(kCaption, text, MessageIcon::Warning); },
        Qt::QueuedConnection);
  };
  // A history in a program folder that cannot be used has been told of.
  if (!store_ && folder_unusable_ && options_.history.empty()) return;
  if (!store_) {
    try {
      store_ = history::OpenHistoryStore(HistoryLocation());
    } catch (const std::exception& error) {
      warn(std::string(error.what()) + ". История не ведётся; файлы сохраняются как обычно");
      return;
    }
  }
  history_ = std::make_unique<history::MeterHistory>(
      *store_, history::IdentityOf(settings.meter_name, settings), clock_, warn,
      history::MeterHistory::Writes::OnWriterThread);
  GetDispatcher().SetHistory(history_.get());
  history_page_->Refresh();
  history_page_->SelectMeter(history_->Identity().name);
}

void MainWindow::CheckProgramFolder() {
  const std::string folder = GetDispatcher().ProgramFolder();
  const std::filesystem::path path = PathFromUtf8(folder);
  std::error_code error;
  std::filesystem::create_directories(path, error);
  std::error_code check;
  if (std::filesystem::is_directory(path, check) && IsWritableFolder(folder)) return;
  if (!error) error = std::make_error_code(std::errc::permission_denied);
  // Why a file in it could not be written: the folder missing, a file in
  // its place, no right to write.
  const std::string reason =
      WriteFailureReason(folder + "/temp.xls", false, error, error.message());
  folder_unusable_ = true;
  const std::string text = "Папка программы недоступна: " + reason +
                           ".\nОтчёты, temp.xls и история не сохраняются; "
                           "укажите другую папку (--folder).";
  // Once the window is on the screen.
  QTimer::singleShot(0, this, [this, text] { ShowMessage(kCaption, text, MessageIcon::Warning); });
}

std::string MainWindow::HistoryLocation() {
  if (!options_.history.empty()) return options_.history;
  return GetDispatcher().ProgramFolder() + "/" + history::kHistoryFileName;
}

void MainWindow::Stop() {
  session_->Stop();
  SetConnectedStates(false);
  test_->StopPoll();
}

void MainWindow::ShowRemoteModem() {
  remote_modem_->exec();
}

void MainWindow::SetConnectedStates(bool after_start) {
  const bool connected = session_->Connected();
  settings_->SetConnected(connected);
  SetOperationsEnabled(connected);
  // The end of the first operation after Start enables "Записать".
  parameters_->SetWriteEnabled(after_start ? false : connected);
  cancel_->setEnabled(connected && session_->Busy());
  settings_->SetTuneEnabled(connected && !session_->Busy());
}

void MainWindow::SetOperationsEnabled(bool enabled) {
  for (ReportPage* page : reports_) page->SetDownloadEnabled(enabled);
  parameters_->SetOperationsEnabled(enabled);
  test_->SetPollEnabled(enabled);
}

// --- Operations --------------------------------------------------------------

void MainWindow::Download(ReportKind kind) {
  if (!ApplySettings()) return;
  const ArchiveLayout* archive = LayoutOf(kind);
  if (archive == nullptr) {
    session_->StartCurrentValues();
    return;
  }
  if (history_) history_->SetMissingOnly(Page(kind)->MissingOnly());
  session_->StartArchive(archive->kind, settings_->FirstDay(), settings_->LastDay());
}

// "Догрузить пропуски" on the history page: the period again, taking what
// the history holds, on the meter the window is connected to.
void MainWindow::FillGaps(const QString& meter, int kind, double first_day, double last_day) {
  if (!history_ || !session_->Connected() || history_->Identity().name != meter.toStdString()) {
    ShowStatus("Пропуски догружаются, когда окно подключено к прибору «" + meter.toStdString() +
               "»");
    return;
  }
  if (!ApplySettings()) return;
  history_->SetMissingOnly(true);
  session_->StartArchive(static_cast<ArchiveKind>(kind), first_day, last_day);
}

void MainWindow::Poll() {
  // A tick that finds an operation running is lost.
  if (!session_->Busy() && ApplySettings()) session_->TestTick();
}

void MainWindow::Cancel() {
  session_->Cancel();
}

QString MainWindow::ChooseFile(const QString& proposed) {
  if (choose_file_) return choose_file_(this, proposed);
  // In the proposed file's folder, with its name in the name field.
  const QFileInfo file(proposed);
  QFileDialog dialog(this, "Сохранить", file.absolutePath());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter("текстовый файл (*.txt)");
  dialog.selectFile(file.fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString MainWindow::ProposedSaveName(ReportKind kind) const {
  const QString& chosen = save_names_[static_cast<size_t>(kind) % save_names_.size()];
  return save_folder_ + "/" + (chosen.isEmpty() ? DefaultSaveName(kind) : chosen);
}

void MainWindow::SaveReport(ReportKind kind) {
  const QString chosen = ChooseFile(ProposedSaveName(kind));
  if (chosen.isEmpty()) return;
  // The page proposes the name with ".txt" again, even when the write failed.
  save_names_[static_cast<size_t>(kind) % save_names_.size()] =
      QFileInfo(Q(WithExtension(chosen.toStdString(), ".txt"))).fileName();
  SaveReportText(chosen, Page(kind)->Text());
}

bool MainWindow::SaveReportText(const QString& chosen, const QString& text) {
  const std::string path = WithExtension(chosen.toStdString(), ".txt");
  try {
    WriteReportFile(path, Lines(text));
  } catch (const std::exception& error) {
    ShowMessage(kCaption, error.what(), MessageIcon::Error);
    return false;
  }
  save_folder_ = QFileInfo(Q(path)).absolutePath();  // the next save opens there
  return true;
}

void MainWindow::OpenReportFolder() {
  std::string folder;
  try {
    folder =
        MakeAutoSaveFolder(GetDispatcher().ProgramFolder(), settings_->Fields().auto_save_name);
  } catch (const std::exception& error) {
    ShowStatus(error.what());
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
}

void MainWindow::OpenTempWorkbook() {
  const QString path = Q(GetDispatcher().ProgramFolder()) + "/temp.xls";
  if (!QFile::exists(path)) {
    ShowStatus("Файл temp.xls ещё не создан: скачайте архив");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool MainWindow::OperationRunning() const {
  return session_->Busy() || session_->RoundTripsRunning() || finder_->Running() ||
         test_->Polling();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closing_) {  // a second close while the first waits for the operation
    event->ignore();
    return;
  }
  if (OperationRunning()) {
    // "Нет" leaves everything running as it was.
    if (!Ask(kCaption,
             "Идёт операция: " + RunningText() + "\n\nПрервать её и закрыть программу?")) {
      event->ignore();
      return;
    }
    closing_ = true;
    EndOperationsForClosing();
  }
  closing_ = true;
  // Stop first, so that a modem call is hung up; quietly, as the user is
  // leaving: only a hang-up that failed is worth a message.
  if (session_->Connected()) {
    session_->Stop(Connection::Announce::FailureOnly);
    SetConnectedStates(false);
  }
  test_->StopPoll();
  SaveSettings();
  remote_modem_->close();
  closing_ = false;
  event->accept();
}

QString MainWindow::RunningText() const {
  const bool exchange = session_->Busy() || session_->RoundTripsRunning() || finder_->Running();
  if (!exchange && test_->Polling()) return "опрос прибора на странице «тест»";
  return status_->text().isEmpty() ? QString("обмен с прибором") : status_->text();
}

void MainWindow::EndOperationsForClosing() {
  test_->StopPoll();
  finder_->Cancel();
  session_->Cancel();
  // The operation ends after its current try; the events that end it come
  // through the window's loop. Meanwhile the user's input waits.
  const QDeadlineTimer deadline(kCloseGraceMs);
  while ((session_->Busy() || session_->RoundTripsRunning() || finder_->Running()) &&
         !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    QThread::msleep(10);
  }
}

bool MainWindow::Ask(const QString& title, const QString& text, bool yes_by_default) {
  if (question_sink_) return question_sink_(title, text);
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(yes_by_default ? QMessageBox::Yes : QMessageBox::No);
  // Russian captions also where Qt's translation is not installed.
  box.button(QMessageBox::Yes)->setText("&Да");
  box.button(QMessageBox::No)->setText("&Нет");
  return box.exec() == QMessageBox::Yes;
}

// --- View ----------------------------------------------------------------------

ReportPage* MainWindow::Page(ReportKind kind) const {
  return kind == ReportKind::Test ? nullptr : reports_[static_cast<size_t>(kind)];
}

void MainWindow::ShowStatus(const std::string& text) {
  SetStatusText(Q(text));
  progress_->hide();
}

void MainWindow::ShowProgress(const std::string& text, int percent) {
  // Every step of a download comes here; only a change is drawn.
  SetStatusText(Q(text));
  progress_->setValue(percent);
  progress_->show();
}

void MainWindow::SetStatusText(const QString& text) {
  if (status_->text() == text) return;
  status_->setText(text);
  status_->setAccessibleName(text);
  // A text the status bar cuts off is read whole from its tooltip.
  const bool fits =
      status_->fontMetrics().horizontalAdvance(text) <= status_->contentsRect().width();
  status_->setToolTip(fits ? QString() : text);
}

void MainWindow::EnableOperationButtons(bool enabled, bool including_test_button) {
  for (ReportPage* page : reports_) page->SetDownloadEnabled(enabled);
  parameters_->SetOperationsEnabled(enabled);
  parameters_->SetWriteEnabled(enabled);
  if (enabled || including_test_button) test_->SetPollEnabled(enabled);
  cancel_->setEnabled(!enabled);
  settings_->SetTuneEnabled(enabled && session_->Connected());
  if (enabled) emit operationEnded();
}

void MainWindow::ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) {
  QString body = Q(text);
  body.replace('\r', '\n');
  if (message_sink_) {
    message_sink_(Q(title), body, icon);
    return;
  }
  const QMessageBox::Icon kind = icon == MessageIcon::Error         ? QMessageBox::Critical
                                 : icon == MessageIcon::Information ? QMessageBox::Information
                                                                    : QMessageBox::Warning;
  QMessageBox box(kind, Q(title), body, QMessageBox::Ok, this);
  box.exec();
}

void MainWindow::SetReport(ReportKind kind, const std::vector<std::string>& lines) {
  // The archive workbook holds the file the table has just been read from,
  // read from the meter the settings name.
  QString meter;
  if (const SettingsResult parsed = ParseSettings(settings_->Fields()); parsed.settings) {
    meter = Q(history::IdentityOf(parsed.settings->meter_name, *parsed.settings).name);
  }
  ArchiveDownload& archive = GetDispatcher().Archive();
  charts_->ReportSet(kind, lines.empty(), archive.Workbook(), archive.Data().entries, meter,
                     *background_);
  if (ReportPage* page = Page(kind)) page->ShowLines(lines);
  if (printing_) printing_->ReportSet(kind, lines, archive.Workbook());
}

void MainWindow::AppendTestLine(const std::string& line) {
  test_->AppendLine(Q(line));
}

void MainWindow::ProcessPendingEvents() {
  executor_->ProcessPendingEvents();
}

// --- The line: search and tuning ---------------------------------------------

void MainWindow::FindMeter() {
  const SettingsResult parsed = ParseSettings(settings_->Fields());
  if (!parsed.settings) {
    ShowStatus(parsed.error);
    return;
  }
  const Settings& settings = *parsed.settings;
  if (settings.type == ConnectionType::Gsm || settings.type == ConnectionType::DialUp) {
    // Every try would cost a call: Start tries the settings as they are.
    ShowStatus("По модему проверяются только текущие настройки: нажмите Старт");
    return;
  }
  if (settings.port_name == kDemoPortName || settings.host == kDemoPortName) {
    ShowStatus("Имитатор прибора отвечает при любых настройках: нажмите Старт");
    return;
  }
  ShowReason({});
  if (finder_->Start(settings)) settings_->SetSearching(true);
}

void MainWindow::SearchFinished(bool found, const SearchStep& step, const QString& status,
                                const QString& reason) {
  settings_->SetSearching(false);
  if (found) {
    SettingsFields fields = settings_->Fields();
    const auto baud = std::find(BaudTable.begin(), BaudTable.end(), step.line.baud_rate);
    fields.baud_index = static_cast<int>(baud - BaudTable.begin());
    fields.parity_index = static_cast<int>(step.line.parity);
    fields.stop_bits_index = static_cast<int>(step.line.stop_bits);
    fields.address = std::to_string(step.address);
    // A network line keeps its converter's format: only the address is new.
    if (fields.type == ConnectionType::TcpIp) {
      const SettingsFields before = settings_->Fields();
      fields.baud_index = before.baud_index;
      fields.parity_index = before.parity_index;
      fields.stop_bits_index = before.stop_bits_index;
    }
    settings_->SetFields(fields);
  }
  ShowStatus(status.toStdString());
  ShowReason(reason);
}

void MainWindow::TuneTimeout() {
  if (!ApplySettings()) return;
  const LineStatisticsSnapshot before = session_->Statistics().Snapshot();
  const uint32_t timeout = GetDispatcher().Settings().answer_timeout_ms;
  constexpr unsigned kProbes = 20;
  const bool started = session_->StartRoundTrips(kProbes, [this, before, timeout] {
    TuningFinished(before.counts.timeouts, before.replies.count, timeout);
  });
  if (!started) return;
  SetOperationsEnabled(false);
  settings_->SetTuneEnabled(false);
  cancel_->setEnabled(true);
  ShowStatus("Подбор тайм-аута...");
}

void MainWindow::TuningFinished(uint64_t timeouts_before, size_t replies_before,
                                uint32_t timeout_ms) {
  EnableOperationButtons(true, true);
  const ReplyTimes replies = session_->Statistics().RepliesSince(replies_before);
  const uint64_t silent = session_->Statistics().Snapshot().counts.timeouts - timeouts_before;
  if (GetDispatcher().Request().StopRequested) {
    ShowStatus("Прервано пользователем");
    return;
  }
  if (replies.count == 0) {
    ShowStatus("Прибор не ответил ни на один запрос за " + std::to_string(timeout_ms) + " мс");
    return;
  }
  const uint32_t suggested = SuggestedTimeoutMs(replies);
  std::string text = TuningText(replies, suggested);
  if (silent > 0) text += "; без ответа " + std::to_string(silent);
  ShowStatus(text);
  const QString question =
      Q(text) + "\n\nУстановить тайм-аут " + QString::number(suggested) + " мс?";
  if (!Ask("Подобрать тайм-аут", question, true)) return;
  SettingsFields fields = settings_->Fields();
  fields.answer_timeout = std::to_string(suggested);
  settings_->SetFields(fields);
  // In force at once on the open line, and at every Start after.
  GetDispatcher().Settings().answer_timeout_ms = suggested;
  if (Port* port = GetConnection().OpenPort())
    port->SetTimeouts(PortTimeouts{50, 0, suggested, 0, 0});
}

void MainWindow::ShowReason(const QString& reason) {
  reason_->setText(reason);
  reason_->setToolTip(reason);
  reason_->setAccessibleName(reason);
}

}  // namespace flovir::ui
