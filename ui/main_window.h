#pragma once
// "Связь ФЛОВИР" (Form1): the main window. It holds the pages, the menus, the
// status bar and the exchange trace dock, and wires the pages' requests to
// the meter's Session; what the core hands back through View it passes to
// the pages. There is no protocol or file logic here.

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/meter_search.h"
#include "operations/clock.h"
#include "operations/view.h"
#include "session/session.h"
#include "store/meter_history.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace flovir {
class ArchiveCharts;
}

namespace flovir::ui {

class HistoryPage;
class MeterFinder;
class ParameterTab;
class StatisticsDock;
class QtExecutor;
class RemoteModemDialog;
class ReportPage;
class ReportPrinting;
class SettingsPage;
class TestPage;
class ThreadedBackground;
class TraceDock;

struct WindowOptions {
  std::vector<std::string> extra_ports;  // --port: added to the list and selected
  bool demo = false;                     // --demo: the simulated meter, selected
  std::string folder;                    // --folder: the program's folder
  // --history: the history's file or server URI; empty: history.sqlite in
  // the program's folder.
  std::string history;
  // Where the settings are remembered; empty: the user's QSettings.
  QString settings_file;
};

class MainWindow : public QMainWindow, public View {
  Q_OBJECT
 public:
  explicit MainWindow(WindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- View (the core's way to the user) ----------------------------------
  void ShowStatus(const std::string& text) override;
  void ShowProgress(const std::string& text, int percent) override;
  void EnableOperationButtons(bool enabled, bool including_test_button) override;
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
  void SetReport(ReportKind kind, const std::vector<std::string>& lines) override;
  void AppendTestLine(const std::string& line) override;
  void ProcessPendingEvents() override;

  // --- What the tests, the benchmark and the screenshots reach ------------
  Session& GetSession() { return *session_; }
  Dispatcher& GetDispatcher() { return session_->GetDispatcher(); }
  Connection& GetConnection() { return session_->GetConnection(); }
  // The meter's history while connected; null when it could not be opened.
  history::MeterHistory* History() { return history_.get(); }
  QtExecutor& Executor() { return *executor_; }
  RemoteModemDialog& RemoteModem() { return *remote_modem_; }
  // The charts under the archive tables; null in a window built without them.
  ArchiveCharts* Charts() const { return charts_.get(); }
  // Printing, PDF files and the service report.
  ReportPrinting& Printing() const { return *printing_; }
  // Parses the settings fields into the dispatcher's settings for the next
  // operation; every starter calls it first. False, with the status naming
  // the bad field, when a field is not a number in its range.
  bool ApplySettings();

  // The save dialog: returns the chosen path, or an empty text on cancel.
  using FileChooser = std::function<QString(QWidget* parent, const QString& proposed)>;
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }
  // What a page's "Сохранить" proposes: its own file name ("часовой
  // архив.txt", or the name last chosen on that page) in the folder of the
  // last save, at first the program's folder.
  QString ProposedSaveName(ReportKind kind) const;
  // Replaces the message boxes (tests record them instead).
  using MessageSink = std::function<void(const QString& title, const QString& text, MessageIcon)>;
  void SetMessageSink(MessageSink sink) { message_sink_ = std::move(sink); }
  // Replaces the yes/no questions (tests answer them instead).
  using QuestionSink = std::function<bool(const QString& title, const QString& text)>;
  void SetQuestionSink(QuestionSink sink) { question_sink_ = std::move(sink); }
  // An operation, a search for the meter or the test poll is running:
  // closing asks first.
  bool OperationRunning() const;

 public slots:
  void Start();
  void Stop();
  void ShowRemoteModem();
  void Download(ReportKind kind);
  // A report area's text to a text file of the user's choice.
  void SaveReport(ReportKind kind);
  void Poll();
  void Cancel();
  // "Настройки по умолчанию": asks first; a port given on the command
  // line (--port, --demo) stays selected.
  void RestoreDefaults();
  void OpenReportFolder();
  void OpenTempWorkbook();
  // "Найти прибор": searches the line for the meter and fills the speed,
  // parity, stop bits and address fields with what answered.
  void FindMeter();
  // "Подобрать тайм-аут": measures round trips on the connected line and
  // offers the timeout they suggest.
  void TuneTimeout();

 signals:
  // The end of every operation, failed ones included: the buttons are enabled again.
  void operationEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The history's file or server: --history, else history.sqlite in the folder.
  std::string HistoryLocation();
  // Makes the program's folder when it is missing; when it cannot be made
  // or written, says so once, naming it and why.
  void CheckProgramFolder();
  QTabWidget* BuildPages();
  void BuildStatusBar();
  void BuildMenus();
  void AddCharts();
  void AddPrinting();
  void ListPorts();
  void LoadSettings();
  void SaveSettings() const;
  void SetConnectedStates(bool after_start);
  void SetOperationsEnabled(bool enabled);
  ReportPage* Page(ReportKind kind) const;
  void SetStatusText(const QString& text);
  // A yes/no question in a message box, or to the tests' sink; Enter
  // answers "Нет" unless `yes_by_default`.
  bool Ask(const QString& title, const QString& text, bool yes_by_default = false);
  // The port --port or --demo selected; empty without either.
  QString CommandLinePort() const;
  QString ChooseFile(const QString& proposed);
  // Writes the text as `chosen` with ".txt"; false when the write failed
  // (the user has been told). The next save dialog opens in its folder.
  bool SaveReportText(const QString& chosen, const QString& text);
  // What closing names as running: the status, or the test poll.
  QString RunningText() const;
  // Closing with an operation running: cancels everything and waits a
  // moment for it to end.
  void EndOperationsForClosing();
  void SearchFinished(bool found, const SearchStep& step, const QString& status,
                      const QString& reason);
  void TuningFinished(uint64_t timeouts_before, size_t replies_before, uint32_t timeout_ms);
  // The reason beside a status text (a port that would not open), in the
  // second panel; empty clears it.
  void ShowReason(const QString& reason);
  void OpenHistory(const Settings& settings);
  void FillGaps(const QString& meter, int kind, double first_day, double last_day);

  WindowOptions options_;
  SystemClock clock_;
  QtExecutor* executor_;
  std::unique_ptr<ThreadedBackground> background_;
  TraceDock* trace_ = nullptr;
  StatisticsDock* statistics_ = nullptr;
  MeterFinder* finder_ = nullptr;
  std::unique_ptr<history::HistoryStore> store_;
  std::unique_ptr<history::MeterHistory> history_;
  std::unique_ptr<Session> session_;  // after the history: its operations feed it
  RemoteModemDialog* remote_modem_ = nullptr;
  FileChooser choose_file_;
  MessageSink message_sink_;
  QuestionSink question_sink_;
  QString save_folder_;                // where the save dialogs open
  std::array<QString, 4> save_names_;  // each page's last chosen file name
  bool closing_ = false;
  bool folder_unusable_ = false;  // CheckProgramFolder has told the user

  SettingsPage* settings_ = nullptr;
  std::array<ReportPage*, 4> reports_{};  // by ReportKind
  ParameterTab* parameters_ = nullptr;
  TestPage* test_ = nullptr;
  HistoryPage* history_page_ = nullptr;
  QLabel* status_ = nullptr;  // StatusBar1's first panel
  QLabel* reason_ = nullptr;  // the second panel
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::unique_ptr<ArchiveCharts> charts_;
  ReportPrinting* printing_ = nullptr;
};

}  // namespace flovir::ui
