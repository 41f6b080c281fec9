#pragma once
// Form1, "Связь ФЛОВИР": the main window. It holds every setting, the
// connection controls, the operation buttons, the report areas and the
// parameter page. Its handlers read the controls, call the core (Connection,
// Dispatcher) and show what the core hands back through View; there is no
// protocol or file logic here.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/settings.h"
#include "operations/view.h"

class QCalendarWidget;
class QComboBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QSettings;
class QSplitter;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace flovir {
class ArchiveCharts;
}

namespace flovir::ui {

class QtExecutor;
class TraceSink;
class TForm3;
class WindowPorts;

struct WindowOptions {
  std::vector<std::string> extra_ports;  // --port: added to the list and selected
  bool demo = false;                     // --demo: the simulated meter, selected
  std::string folder;                    // --folder: the program's folder
  // Where the settings are remembered; empty: the user's QSettings.
  QString settings_file;
};

class TForm1 : public QMainWindow, public View {
  Q_OBJECT
 public:
  explicit TForm1(WindowOptions options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // --- View (the core's way to the user) ----------------------------------
  void ShowStatus(const std::string& text) override;
  void EnableOperationButtons(bool enabled, bool including_test_button) override;
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
  void SetReport(ReportKind kind, const std::vector<std::string>& lines) override;
  void AppendTestLine(const std::string& line) override;
  void ProcessPendingEvents() override;

  // --- Handlers -----------------------------------------------------------
  void Button1Click();  // Start
  void Button2Click();  // Stop
  void Button3Click();  // the remote modem dialog
  void RadioButton1Click();
  void Button4Click();                    // current values
  void ArchiveClick(OperationKind kind);  // Button5, Button6, Button7
  void Button12Click();                   // the test poll on and off
  void Timer1Timer();
  void ButtonCancelClick();
  // Button9, Button13, Button14, Button15: the report area to a text file.
  void SaveReportArea(QPlainTextEdit* area);
  // "Настройки по умолчанию".
  void RestoreDefaults();

  // --- What other pages and the tests reach -------------------------------
  Dispatcher& GetDispatcher() { return dispatcher_; }
  Connection& GetConnection() { return *connection_; }
  QtExecutor& Executor() { return *executor_; }
  TForm3& Form3() { return *form3_; }
  // The empty area of the page "Параметры" for the grid.
  QVBoxLayout* ParameterGridSlot() const { return parameter_grid_slot_; }
  // The vertical splitter of an archive page (Hourly, Daily, Monthly) whose
  // first widget is the text area; a chart goes under it.
  QSplitter* ArchiveSplitter(ReportKind kind) const;
  // The charts under the archive tables; null in a window built without them.
  ArchiveCharts* Charts() const { return charts_.get(); }
  // The report area of a kind (Memo1, Memo4, Memo5, Memo6, Memo3).
  QPlainTextEdit* ReportArea(ReportKind kind) const;
  const std::string& ProgramFolder() const { return dispatcher_.ProgramFolder(); }
  // Parses the settings fields into the dispatcher's settings for the next
  // operation; every starter calls it first. False, with the status naming
  // the bad field, when a field is not a number in its range.
  bool ApplySettings();

  // The save dialog: returns the chosen path, or an empty text on cancel.
  using FileChooser = std::function<QString(QWidget* parent, const QString& proposed)>;
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }
  const QString& ProposedSaveName() const { return save_name_; }
  // Replaces the message boxes (tests record them instead).
  using MessageSink = std::function<void(const QString& title, const QString& text, MessageIcon)>;
  void SetMessageSink(MessageSink sink) { message_sink_ = std::move(sink); }

 signals:
  // The end of every operation, failed ones included: the buttons are enabled again.
  void OperationEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose

 private:
  void BuildWindow();
  QWidget* BuildMainSettingsPage();
  QWidget* BuildExtraSettingsPage();
  QWidget* BuildModemPage();
  QWidget* BuildReportPage(ReportKind kind, const QString& download_name, const QString& save_name);
  QWidget* BuildParameterPage();
  QWidget* BuildTestPage();
  void BuildStatusBar();
  void BuildTraceDock();
  void BuildMenus();
  void FormCreate();
  void SetControlStates(bool after_start);
  void StopTestPoll();
  // The one binding of the settings controls to the core: their texts and
  // selected items.
  SettingsFields FieldsFromControls() const;
  void LoadSettings();
  void SaveSettings() const;
  std::unique_ptr<QSettings> OpenSettings() const;
  QString ChooseFileWithDialog(QWidget* parent, const QString& proposed);

  WindowOptions options_;
  SystemClock clock_;
  Dispatcher dispatcher_;
  QtExecutor* executor_;
  std::unique_ptr<WindowPorts> ports_;
  TraceSink* trace_ = nullptr;
  std::unique_ptr<Connection> connection_;
  TForm3* form3_ = nullptr;
  FileChooser choose_file_;
  MessageSink message_sink_;
  QString save_name_;

 public:
  // The controls, under the names of the window's layout.
  QTabWidget* pages_ = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;  // the framing on a TCP/IP line
  QComboBox* ComboBox3 = nullptr;
  QComboBox* ComboBox4 = nullptr;
  QComboBox* ComboBox5 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit8 = nullptr;  // "адрес:порт"
  QCalendarWidget* MonthCalendar1 = nullptr;
  QCalendarWidget* MonthCalendar2 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QRadioButton* RadioButton4 = nullptr;
  QRadioButton* RadioButton5 = nullptr;
  QRadioButton* RadioButton6 = nullptr;  // "TCP/IP"
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  QLabel* Label12 = nullptr;
  QLabel* Label13 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button7 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* Button11 = nullptr;
  QPushButton* Button12 = nullptr;
  QPushButton* Button13 = nullptr;
  QPushButton* Button14 = nullptr;
  QPushButton* Button15 = nullptr;
  QPushButton* Button16 = nullptr;
  QPushButton* Button17 = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QPlainTextEdit* Memo4 = nullptr;
  QPlainTextEdit* Memo5 = nullptr;
  QPlainTextEdit* Memo6 = nullptr;
  QLabel* StatusPanel1 = nullptr;  // StatusBar1's first panel
  QLabel* StatusPanel2 = nullptr;
  QProgressBar* Progress = nullptr;
  QTimer* Timer1 = nullptr;
  QDockWidget* TraceDock = nullptr;

 private:
  QVBoxLayout* parameter_grid_slot_ = nullptr;
  QSplitter* splitters_[3] = {nullptr, nullptr, nullptr};
  std::unique_ptr<ArchiveCharts> charts_;
};

}  // namespace flovir::ui
