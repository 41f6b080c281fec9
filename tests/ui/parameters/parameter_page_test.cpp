// The page "Параметры" over a real exchange thread and the simulated meter:
// read, edit with the keyboard, write, save and load a workbook.

#include <QFile>
#include <QLineEdit>
#include <QtTest>
#include <fstream>
#include <string>
#include <vector>

#include "parameters/parameter_changes.h"

#include "page_rig.h"

using namespace flovir;
using flovir::testing::Rig;

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

    // The confirmation lists the one edit against the backup read.
    std::vector<std::string> asked;
    rig.page.SetConfirmer([&](const WritePlan& plan) {
      for (const ParameterChange& change : plan.changes) {
        asked.push_back(ChangeLine(rig.table, change));
      }
      return true;
    });
    rig.page.Write();
    QTRY_COMPARE_WITH_TIMEOUT(rig.meter.Parameter(55), 1234.5f, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dispatcher.Busy(), 60000);
    QCOMPARE(rig.dispatcher.LastStatusText(), "Завершено успешно");
    QCOMPARE(asked, std::vector<std::string>{"Максимум, м3/час, канал 2: 1013,8 -> 1234,5"});
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

    // The archive workbook is no parameter table: refused, the grid as it was.
    QVERIFY(rig.dispatcher.StartArchive(OperationKind::DailyArchive, 45350, 45357));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dispatcher.Busy(), 60000);
    const QString temp = QString::fromStdString(rig.folder.Path("temp.xls"));
    QVERIFY(QFile::exists(temp));
    rig.page.SetFileChooser([&](QFileDialog::AcceptMode) { return temp; });
    rig.page.Load();
    QTRY_COMPARE(rig.view.messages.size(), size_t{2});
    QVERIFY(QString::fromStdString(rig.view.messages.back().text).contains("не файл параметров"));
    QCOMPARE(rig.dispatcher.Parameters().ParameterValue(55), 8.0f);
    QCOMPARE(rig.Text(6, 2), "8,0");

    // Compared with the saved copy: exactly the changed cell is marked.
    rig.page.SetFileChooser([&](QFileDialog::AcceptMode) {
      return QString::fromStdString(rig.folder.Path("копия.xls"));
    });
    rig.page.Compare();
    QCOMPARE(rig.page.Model().ComparedCount(), 1);
    QCOMPARE(rig.page.Model().CellIndex(6, 2).data(Qt::AccessibleDescriptionRole).toString(),
             "в файле «копия.xls»: 1234,5");
    QCOMPARE(rig.view.statuses.back(), "Отличается от файла «копия.xls» значений: 1");

    // A meter that keeps another value: the cell stays marked with what the
    // meter holds, and a message box says so.
    sim::FaultPlan clamp{sim::FaultKind::kStoreOther};
    clamp.count = 511;  // the high word of value 55
    rig.meter.SetFaults({clamp});
    rig.dispatcher.Parameters().SetParameterValue(55, 1500.5f);
    rig.page.Write();
    QTRY_VERIFY_WITH_TIMEOUT(rig.view.messages.size() == 3, 60000);
    QVERIFY(!rig.dispatcher.LastSucceeded());
    QVERIFY(rig.page.Model()
                .CellIndex(6, 2)
                .data(Qt::AccessibleDescriptionRole)
                .toString()
                .startsWith(kMismatchToolTip));
    rig.meter.SetFaults({});
  }
};

QTEST_MAIN(ParameterPageTest)
#include "parameter_page_test.moc"
