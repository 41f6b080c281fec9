// The page "Параметры" over a real exchange thread and the simulated meter:
// read, edit with the keyboard, write, save and load a workbook; and, for
// ThreadSanitizer, reads one after another while the grid repaints.

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>
#include <fstream>

#include "link/exchange_thread.h"
#include "link/executor.h"
#include "link/view.h"
#include "operations/clock.h"
#include "tests/support/files.h"
#include "tests/support/meter_port.h"
#include "ui/parameters/parameter_page.h"
#include "ui/qt_executor.h"

using namespace flovir;

namespace {

class RecordingView : public View {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
    messages.push_back(text);
  }
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}

  std::vector<std::string> statuses;
  std::vector<std::string> messages;
};

// The window's side: a connection to the simulated meter and the page, which
// hears of the end of every operation.
struct Rig {
  Rig() {
    dispatcher.SetProgramFolder(folder.Path() + "/");
    thread = std::make_unique<ExchangeThread>(port, dispatcher.Request(), executor, [this] {
      dispatcher.ExchangeCompleted();
      if (!dispatcher.Busy()) page.OperationEnded();
    });
    dispatcher.SetThread(thread.get());
    (new QVBoxLayout(&window))->addWidget(&page.Grid());
    window.resize(900, 1000);
    window.show();
    window.activateWindow();
  }
  ~Rig() {
    dispatcher.SetThread(nullptr);
    thread.reset();
  }
  QString Text(int row, int column) {
    return page.Model().CellIndex(row, column).data().toString();
  }

  testing::ScratchFolder folder{"flovir-ui-par"};
  sim::SimulatedMeter meter;
  testing::MeterPort port{meter};
  RecordingView view;
  FixedClock clock{45358.5};
  ui::QtExecutor executor;  // the window's hand-over
  Dispatcher dispatcher{view, clock};
  QWidget window;
  ParameterPage page{dispatcher, &window};
  std::unique_ptr<ExchangeThread> thread;
};

}  // namespace

class ParameterPageTest : public QObject {
  Q_OBJECT

 private slots:
  void readEditWriteSaveAndLoad() {
    Rig rig;
    for (int i = 0; i < 256; ++i) rig.meter.SetParameter(i, 1000.0f + 0.25f * i);
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    rig.page.Read();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dispatcher.Busy(), 60000);
    QCOMPARE(rig.dispatcher.LastStatusText(), "Завершено успешно");
    QCOMPARE(rig.Text(6, 2), "1013,8");  // value 55, one decimal
    QCOMPARE(rig.page.Model().ChangedCount(), 0);

    // Row 6 of channel 2 by keyboard: select, Enter, type, Enter.
    ParameterGrid& grid = rig.page.Grid();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      grid.visualRect(rig.page.Model().CellIndex(6, 2)).center());
    QTest::keyClick(&grid, Qt::Key_Return);
    auto* editor = grid.findChild<QLineEdit*>("RzEdit1");
    QVERIFY(editor);
    QTest::keyClicks(editor, "1234,5");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(rig.page.Model().ChangedCount(), 1);

    rig.page.Write();
    QCOMPARE(rig.view.statuses.back(), "Запись параметров... (изменено значений: 1)");
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dispatcher.Busy(), 60000);
    QCOMPARE(rig.meter.Parameter(55), 1234.5f);
    QCOMPARE(rig.meter.Parameter(54), 1000.0f + 0.25f * 54);
    QCOMPARE(rig.page.Model().ChangedCount(), 0);

    // Saved without an extension, changed, loaded back.
    rig.page.SetFileChooser(
        [&](QFileDialog::AcceptMode) { return QString::fromStdString(rig.folder.Path("копия")); });
    rig.page.Save();
    rig.dispatcher.Parameters().SetParameterValue(55, 7);
    rig.page.SetFileChooser([&](QFileDialog::AcceptMode) {
      return QString::fromStdString(rig.folder.Path("копия.xls"));
    });
    rig.page.Load();
    QCOMPARE(rig.Text(6, 2), "1234,5");
    QCOMPARE(rig.page.Model().ChangedCount(), 0);

    // A file that is no workbook: its message, and nothing changes.
    std::ofstream(rig.folder / "не книга.xls") << "text";
    rig.dispatcher.Parameters().SetParameterValue(55, 8);
    rig.page.SetFileChooser([&](QFileDialog::AcceptMode) {
      return QString::fromStdString(rig.folder.Path("не книга.xls"));
    });
    rig.page.Load();
    QTRY_COMPARE(rig.view.messages.size(), size_t{1});
    QCOMPARE(rig.dispatcher.Parameters().ParameterValue(55), 8.0f);
  }

  void readsWhileTheGridRepaints() {
    Rig rig;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] { rig.page.Grid().viewport()->repaint(); });
    repaint.start(0);
    for (int round = 1; round <= 10; ++round) {
      for (int i = 0; i < 256; ++i) rig.meter.SetParameter(i, float(round * 100 + i));
      rig.page.Read();
      QTRY_VERIFY_WITH_TIMEOUT(!rig.dispatcher.Busy(), 60000);
      QCOMPARE(rig.Text(37, 4), QString::number(round * 100 + 213) + ",0000");
    }
  }
};

QTEST_MAIN(ParameterPageTest)
#include "parameter_page_test.moc"
