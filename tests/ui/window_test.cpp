// The window's rules on the offscreen platform: defaults, the connection
// type's radio rules, control states after Start and Stop, the buttons
// during an operation, the test timer, the save dialog's extension rule and
// the remembered settings. The meter is the in-process simulated one that
// --demo adds to the port list, or on a TCP/IP line the simulated meter
// served on the loopback.

#include <QCalendarWidget>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/tcp_server.h"
#include "ui/form1.h"
#include "ui/form3.h"

using flovir::ConnectionType;
using flovir::MessageIcon;
using flovir::ui::TForm1;

namespace {

struct Message {
  QString title, text;
  MessageIcon icon;
};

constexpr int kOperationMs = 30000;

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::vector<Message> messages_;

  std::unique_ptr<TForm1> MakeWindow(bool demo = true, std::vector<std::string> ports = {}) {
    flovir::ui::WindowOptions options;
    options.demo = demo;
    options.extra_ports = std::move(ports);
    options.folder = dir_.path().toStdString();
    options.settings_file = dir_.filePath("settings.ini");
    auto window = std::make_unique<TForm1>(options);
    window->SetMessageSink([this](const QString& title, const QString& text, MessageIcon icon) {
      messages_.push_back({title, text, icon});
    });
    return window;
  }

  // The enabled state of the controls that Start and Stop set.
  static void CheckStates(TForm1& w, bool connected, bool after_start) {
    for (QWidget* c : std::initializer_list<QWidget*>{
             w.ComboBox1, w.Button1, w.RadioButton1, w.RadioButton2, w.RadioButton3, w.RadioButton6,
             w.Label5, w.Label9, w.Label10, w.Label11, w.ComboBox3, w.ComboBox4, w.ComboBox5,
             w.Edit4}) {
      QVERIFY2(c->isEnabled() == !connected, qPrintable(c->objectName()));
    }
    // The network fields: only for TCP/IP, frozen while connected.
    for (QWidget* c : std::initializer_list<QWidget*>{w.Label12, w.Edit8, w.Label13, w.ComboBox2}) {
      QVERIFY2(c->isEnabled() == (!connected && w.RadioButton6->isChecked()),
               qPrintable(c->objectName()));
    }
    for (QWidget* c :
         std::initializer_list<QWidget*>{w.Button2, w.Button4, w.Button5, w.Button6, w.Button7,
                                         w.Button8, w.Button10, w.Button12}) {
      QVERIFY2(c->isEnabled() == connected, qPrintable(c->objectName()));
    }
    QCOMPARE(w.Button11->isEnabled(), after_start ? false : connected);
    for (QWidget* c :
         std::initializer_list<QWidget*>{w.Edit5, w.Edit3, w.Edit6, w.Edit7, w.MonthCalendar1,
                                         w.MonthCalendar2, w.Button9, w.Button13}) {
      QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
    }
  }

 private slots:
  void init() {
    messages_.clear();
    QFile::remove(dir_.filePath("settings.ini"));
  }

  void DefaultsOfTheTables() {
    auto w = MakeWindow();
    QCOMPARE(w->windowTitle(), QString("Связь ФЛОВИР"));
    QCOMPARE(w->pages_->tabText(0), QString("1.   Параметры программы          "));
    QCOMPARE(w->pages_->tabText(1), QString("****  2. Cкачать  ****"));
    auto* settings = qobject_cast<QTabWidget*>(w->pages_->widget(0));
    auto* reports = qobject_cast<QTabWidget*>(w->pages_->widget(1));
    const QStringList inner = {"Основные", "Дополнительные", "GSM"};
    const QStringList pages = {"Текущие", "Часовые", "Суточные", "Месячные", "Параметры", "тест"};
    for (int i = 0; i < inner.size(); ++i) QCOMPARE(settings->tabText(i), inner[i]);
    for (int i = 0; i < pages.size(); ++i) QCOMPARE(reports->tabText(i), pages[i]);

    // The last entry is the simulated meter that --demo selects.
    QCOMPARE(w->ComboBox1->currentData().toString(), QString("demo"));
    QCOMPARE(w->ComboBox3->currentText(), QString("9600"));
    QCOMPARE(w->ComboBox3->count(), 8);
    QCOMPARE(w->ComboBox5->currentText(), QString("нет"));
    QCOMPARE(w->ComboBox4->currentText(), QString("1 стоп-бит"));
    const std::pair<QLineEdit*, QString> texts[] = {
        {w->Edit5, "1"},  {w->Edit7, "авто_"}, {w->Edit4, "3000"},    {w->Edit3, "3"},
        {w->Edit6, "64"}, {w->Edit1, ""},      {w->Edit2, "AT&FE0V1"}};
    for (const auto& [edit, text] : texts) QCOMPARE(edit->text(), text);
    QVERIFY(w->RadioButton1->isChecked());
    QVERIFY(w->RadioButton4->isChecked());
    QCOMPARE(w->MonthCalendar1->selectedDate(), QDate::currentDate());
    QCOMPARE(w->Button1->text(), QString("-------------    Старт    -------------"));
    QCOMPARE(w->Button8->text(), QString("Cчитать"));
    QCOMPARE(w->Button12->text(), QString("старт"));
    QCOMPARE(w->StatusPanel1->width(), 400);
    QCOMPARE(w->StatusPanel2->width(), 50);
    QCOMPARE(w->StatusPanel1->accessibleDescription(), QString("StatusBar1"));
    QCOMPARE(w->Edit5->accessibleName(), QString("Адрес:"));
    QCOMPARE(w->Edit5->accessibleDescription(), QString("Edit5"));
    QVERIFY(!w->ButtonCancel->isEnabled());
    QVERIFY(!w->Button3->isEnabled());
    QVERIFY(w->Memo2->isHidden() || !w->TraceDock->isVisible());
    QCOMPARE(w->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w->Memo3->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(w->ArchiveSplitter(flovir::ReportKind::Hourly)->widget(0), w->Memo4);
    CheckStates(*w, false, false);
    // Edit2 takes upper case only, up to 50 characters.
    w->RadioButton2->click();
    w->Edit2->clear();
    QTest::keyClicks(w->Edit2, "at&f");
    QCOMPARE(w->Edit2->text(), QString("AT&F"));
    QCOMPARE(w->Edit2->maxLength(), 50);
  }

  void ConnectionTypeRadios_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("fields");
    QTest::addColumn<bool>("dial_mode");
    QTest::newRow("прямое") << 0 << false << false;
    QTest::newRow("GSM") << 1 << true << false;
    QTest::newRow("Dial-Up") << 2 << true << true;
    QTest::newRow("TCP/IP") << 3 << false << false;
  }
  void ConnectionTypeRadios() {
    QFETCH(int, type);
    QFETCH(bool, fields);
    QFETCH(bool, dial_mode);
    auto w = MakeWindow();
    QRadioButton* radios[] = {w->RadioButton1, w->RadioButton2, w->RadioButton3, w->RadioButton6};
    radios[(type + 1) % 4]->click();  // from another choice
    radios[type]->click();
    for (QWidget* c : std::initializer_list<QWidget*>{w->Edit8, w->ComboBox2}) {
      QCOMPARE(c->isEnabled(), type == 3);
    }
    for (QWidget* c : std::initializer_list<QWidget*>{w->Label1, w->Label4, w->Edit1, w->Edit2}) {
      QCOMPARE(c->isEnabled(), fields);
    }
    for (QWidget* c :
         std::initializer_list<QWidget*>{w->GroupBox2, w->RadioButton4, w->RadioButton5}) {
      QCOMPARE(c->isEnabled(), dial_mode);
    }
  }

  // Start and Stop through each connection type against the simulated
  // meter (and its modem) or the meter served on the loopback in either
  // framing, where current values are read as well; and a Start that fails.
  void StartAndStop_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("framing");  // ComboBox2's index on TCP/IP
    QTest::newRow("прямое") << 0 << 0;
    QTest::newRow("GSM") << 1 << 0;
    QTest::newRow("Dial-Up") << 2 << 0;
    QTest::newRow("RTU поверх TCP") << 3 << 0;
    QTest::newRow("Modbus TCP") << 3 << 1;
  }
  void StartAndStop() {
    QFETCH(int, type);
    QFETCH(int, framing);
    if (!flovir::sim::kServesPseudoTerminals && (type == 1 || type == 2)) {
      QSKIP("the demo meter has no modem where there is no pseudo-terminal");
    }
    flovir::sim::SimulatedMeter meter;
    flovir::sim::TcpMeterServer server(
        meter, {.framing = framing == 1 ? flovir::sim::TcpFraming::kModbusTcp
                                        : flovir::sim::TcpFraming::kRtu});
    const QString host = QString::fromStdString(server.HostPort());
    auto w = MakeWindow();
    QRadioButton* radios[] = {w->RadioButton1, w->RadioButton2, w->RadioButton3, w->RadioButton6};
    radios[type]->click();
    w->Edit8->setText(host);
    w->ComboBox2->setCurrentIndex(framing);
    w->Button1->click();
    QVERIFY(w->GetConnection().Connected());
    CheckStates(*w, true, true);
    QCOMPARE(w->Button3->isEnabled(), type == 0 || type == 3);
    if (type == 0) {
      QCOMPARE(w->StatusPanel1->text(), QString("Порт открыт"));
      QVERIFY(messages_.empty());
    } else if (type == 3) {
      QCOMPARE(w->StatusPanel1->text(), "Подключено к " + host);
      w->Button4->click();
      QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
      QCOMPARE(w->StatusPanel1->text(), QString("Завершено успешно"));
      QVERIFY(w->Memo1->toPlainText().size() > 100);
      QVERIFY(messages_.empty());
    } else {
      QCOMPARE(w->StatusPanel1->text(), QString("Завершено успешно"));
      QCOMPARE(messages_.size(), size_t{1});
      QCOMPARE(messages_[0].title, QString("Модемная связь"));
      QVERIFY(messages_[0].text.startsWith("Соединение установлено\n"));
      QCOMPARE(messages_[0].icon, MessageIcon::Information);
    }
    w->Button2->click();
    QVERIFY(!w->GetConnection().Connected());
    QCOMPARE(w->StatusPanel1->text(), QString("Порт закрыт"));
    CheckStates(*w, false, false);
    QVERIFY(!w->Button3->isEnabled());
    if (type == 1 || type == 2) QCOMPARE(messages_.back().text, QString("Соединение прервано"));
  }

  void FailedStartLeavesTheWindowDisconnected() {
    auto w = MakeWindow(false, {"/dev/flovir-no-such-port"});
    QCOMPARE(w->ComboBox1->currentData().toString(), QString("/dev/flovir-no-such-port"));
    w->Button1->click();
    QCOMPARE(w->StatusPanel1->text(), QString("Не удалось открыть порт"));
    CheckStates(*w, false, true);

    // A loopback port nobody listens on any more.
    std::string closed;
    {
      flovir::sim::SimulatedMeter meter;
      flovir::sim::TcpMeterServer server(meter);
      closed = server.HostPort();
    }
    w->RadioButton6->click();
    w->Edit8->setText(QString::fromStdString(closed));
    w->Button1->click();
    QVERIFY(!w->GetConnection().Connected());
    // The system words the reason; Windows adds a full stop.
    QVERIFY2(w->StatusPanel1->text().startsWith(QString::fromStdString(
                 "Не удалось подключиться к " + closed + ": Connection refused")),
             qPrintable(w->StatusPanel1->text()));
    CheckStates(*w, false, true);
  }

  // An operation disables the operation buttons and enables "Прервать"; its
  // end enables them all, "Записать" too. The test timer then adds one line
  // a tick; Stop stops it.
  void OperationsAndTheTestPoll() {
    auto w = MakeWindow();
    // A field out of its range starts nothing and says which one.
    w->Edit4->setText("0");
    w->Button1->click();
    QVERIFY(w->StatusPanel1->text().contains("Тайм-аут ожидания ответа, мс"));
    QVERIFY(!w->GetConnection().Connected() && w->Button1->isEnabled());
    w->Edit4->setText("3000");
    w->Button1->click();
    w->Edit5->setText("257");
    w->Button4->click();
    QVERIFY(w->StatusPanel1->text().contains("Адрес:"));
    QVERIFY(!w->GetDispatcher().Busy() && w->Button4->isEnabled());
    w->Edit5->setText("1");
    w->Button4->click();
    QVERIFY(w->GetDispatcher().Busy());
    for (QPushButton* b : {w->Button4, w->Button5, w->Button6, w->Button7, w->Button8, w->Button10,
                           w->Button11, w->Button12}) {
      QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    }
    QVERIFY(w->ButtonCancel->isEnabled());
    QVERIFY(w->Button2->isEnabled() && w->Button9->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QCOMPARE(w->StatusPanel1->text(), QString("Завершено успешно"));
    QVERIFY(w->Memo1->toPlainText().size() > 100);
    for (QPushButton* b : {w->Button4, w->Button5, w->Button6, w->Button7, w->Button8, w->Button10,
                           w->Button11, w->Button12}) {
      QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    }
    QVERIFY(!w->ButtonCancel->isEnabled());
    QVERIFY(QFile::exists(dir_.filePath("авто_/текущие.txt")));
    QTRY_VERIFY(w->Memo2->toPlainText().startsWith("out: "));  // the trace, on its timer

    w->Button12->click();
    QCOMPARE(w->Button12->text(), QString("Стоп"));
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(w->Timer1->interval(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(w->Memo3->blockCount() >= 2, 3 * kOperationMs);
    QCOMPARE(w->Memo3->toPlainText().split('\n').first().split(' ', Qt::SkipEmptyParts).size(), 32);
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    w->Button12->click();
    QCOMPARE(w->Button12->text(), QString("Старт"));
    QVERIFY(!w->Timer1->isActive());
    w->Button12->click();
    w->Button2->click();  // Stop ends the poll too
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(w->Button12->text(), QString("Старт"));
  }

  void CancelEndsAnArchiveDownload() {
    auto w = MakeWindow();
    w->MonthCalendar1->setSelectedDate(QDate::currentDate().addDays(-20));
    w->MonthCalendar2->setSelectedDate(QDate::currentDate().addDays(-1));
    w->Button1->click();
    w->Button5->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Progress->isHidden(), kOperationMs);
    QVERIFY(w->StatusPanel1->text().startsWith("Выполнено..."));
    w->ButtonCancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QCOMPARE(w->StatusPanel1->text(), QString("Прервано пользователем"));
    QVERIFY(w->Progress->isHidden());
    QVERIFY(w->Memo4->toPlainText().isEmpty());
    QVERIFY(w->Button5->isEnabled());
  }

  // The save buttons: the chosen name with ".txt" for its extension,
  // proposed again by the next save through any of them.
  void SaveDialogExtensionRule() {
    auto w = MakeWindow();
    QStringList proposed;
    QString answer = dir_.filePath("архив");
    w->SetFileChooser([&](QWidget*, const QString& name) {
      proposed << name;
      return answer;
    });
    w->Memo4->setPlainText("строка 1\nстрока 2");
    w->Button13->click();
    QFile saved(dir_.filePath("архив.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(),
             QByteArray("\xf1\xf2\xf0\xee\xea\xe0 1\r\n\xf1\xf2\xf0\xee\xea\xe0 2\r\n"));
    answer = dir_.filePath("отчёт.doc");
    w->Button9->click();
    QCOMPARE(proposed[1], dir_.filePath("архив.txt"));
    QVERIFY(QFile::exists(dir_.filePath("отчёт.txt")));
    answer.clear();  // cancelled: nothing changes
    w->Button14->click();
    QCOMPARE(w->ProposedSaveName(), dir_.filePath("отчёт.txt"));
    answer = dir_.filePath("нет такой папки/файл");
    w->Button15->click();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].icon, MessageIcon::Error);
    QVERIFY(messages_[0].text.contains("файл.txt"));
  }

  // Form3 lives as long as the window: edits survive closing it, "сброс"
  // brings back the seven default lines, and it refuses to run without a
  // direct connection.
  void RemoteModemDialog() {
    auto w = MakeWindow();
    flovir::ui::TForm3& form3 = w->Form3();
    QCOMPARE(form3.windowTitle(), QString("настройка модема"));
    const QString defaults = "AT&F\nAT&S1\nATS0=1\nAT&D0\nAT+IPR=9600\nATE0\nAT&W";
    QCOMPARE(form3.Memo1()->toPlainText(), defaults);
    form3.show();
    form3.Memo1()->setPlainText("ATZ\nAT&W");
    form3.close();
    QCOMPARE(w->Form3().Memo1()->toPlainText(), QString("ATZ\nAT&W"));
    form3.Button2()->click();
    QVERIFY(w->StatusPanel1->text().contains("прямом соединении"));
    form3.Button1()->click();
    QCOMPARE(form3.Memo1()->toPlainText(), defaults);
  }

  void SettingsRememberedAndRestored() {
    {
      auto w = MakeWindow(false);
      w->ComboBox3->setCurrentText("19200");
      w->ComboBox5->setCurrentText("чёт");
      w->ComboBox4->setCurrentText("2 стоп-бита");
      w->Edit5->setText("7");
      w->Edit7->setText("отчёты_");
      w->Edit4->setText("1500");
      w->Edit3->setText("5");
      w->Edit6->setText("32");
      w->RadioButton3->click();
      w->Edit1->setText("123");
      w->Edit2->setText("ATZ");
      w->RadioButton5->click();
      w->Edit8->setText("127.0.0.1:5020");
      w->ComboBox2->setCurrentText("Modbus TCP");
      w->resize(900, 700);
      w->close();
    }
    auto w = MakeWindow(false);
    QCOMPARE(w->ComboBox3->currentText(), QString("19200"));
    QCOMPARE(w->ComboBox5->currentText(), QString("чёт"));
    QCOMPARE(w->ComboBox4->currentText(), QString("2 стоп-бита"));
    const std::pair<QLineEdit*, QString> texts[] = {
        {w->Edit5, "7"},  {w->Edit7, "отчёты_"}, {w->Edit4, "1500"}, {w->Edit3, "5"},
        {w->Edit6, "32"}, {w->Edit1, "123"},     {w->Edit2, "ATZ"},  {w->Edit8, "127.0.0.1:5020"}};
    for (const auto& [edit, text] : texts) QCOMPARE(edit->text(), text);
    QVERIFY(w->RadioButton3->isChecked() && w->RadioButton5->isChecked());
    QVERIFY(w->GroupBox2->isEnabled());
    QCOMPARE(w->size(), QSize(900, 700));
    QVERIFY(w->ApplySettings());
    QCOMPARE(w->GetDispatcher().Settings().address, 7);
    QCOMPARE(w->ComboBox2->currentText(), QString("Modbus TCP"));
    w->RadioButton6->click();
    w->close();
    w = MakeWindow(false);
    QVERIFY(w->RadioButton6->isChecked() && w->Edit8->isEnabled() && !w->Edit1->isEnabled());
    QVERIFY(w->ApplySettings());
    QCOMPARE(w->GetDispatcher().Settings().type, ConnectionType::TcpIp);
    QCOMPARE(w->GetDispatcher().Settings().framing, flovir::WireFraming::ModbusTcp);

    w->RestoreDefaults();
    QCOMPARE(w->ComboBox3->currentText(), QString("9600"));
    QCOMPARE(w->Edit7->text(), QString("авто_"));
    QCOMPARE(w->Edit2->text(), QString("AT&FE0V1"));
    QVERIFY(w->RadioButton1->isChecked() && w->RadioButton4->isChecked());
    QVERIFY(!w->Edit1->isEnabled() && !w->Edit8->isEnabled());
    QCOMPARE(w->Edit8->text(), QString());
    QCOMPARE(w->ComboBox2->currentIndex(), 0);
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
