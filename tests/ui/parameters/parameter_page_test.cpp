// The page "Параметры" over a real exchange thread and the simulated meter:
// read, edit with the keyboard, write, save and load a workbook.

#include <QLineEdit>
#include <QtTest>
#include <fstream>

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
};

QTEST_MAIN(ParameterPageTest)
#include "parameter_page_test.moc"
