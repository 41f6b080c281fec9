// The parameter grid on the offscreen platform: what the cells show, which
// cells take the selection, and editing in place with the keyboard and the
// mouse, as a user would do it.

#include <QAccessible>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

#include "ui/parameters/parameter_grid.h"

using namespace flovir;

namespace {

enum class Leave { Enter, Escape, ClickBelow };

}  // namespace

Q_DECLARE_METATYPE(Leave)

class ParameterGridTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    buffer = {};
    model = std::make_unique<ParameterModel>(table, buffer);
    grid = std::make_unique<ParameterGrid>(*model);
    grid->resize(900, 1000);
    grid->show();
    grid->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(grid.get()));
  }
  void cleanup() {
    grid.reset();
    model.reset();
  }

  void showsValuesWithTheirDigits_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("value");  // NAN: left as the buffer has it
    QTest::addColumn<QString>("text");
    QTest::newRow("zero, 3 decimals") << 1 << 1 << qQNaN() << QString("0,000");
    QTest::newRow("zero, no decimals") << 30 << 2 << qQNaN() << QString("0");
    QTest::newRow("zero, 5 decimals") << 4 << 3 << qQNaN() << QString("0,00000");
    QTest::newRow("nameless row 31") << 31 << 4 << 2.5 << QString("2,5000");
    QTest::newRow("wider than precision")
        << 1 << 1 << 137438953472.0 << QString("1,374389535E+011");
    QTest::newRow("general value") << 13 << 6 << 8.0 << QString("8");
    QTest::newRow("row name") << 34 << 0 << qQNaN() << QString("Время усреднения, с [Tу]  ");
  }
  void showsValuesWithTheirDigits() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(double, value);
    QFETCH(QString, text);
    const ParameterCell& cell = table.Cell(row, column);
    if (!std::isnan(value)) buffer.SetParameterValue(cell.ValueIndex, float(value));
    const QModelIndex index = model->CellIndex(row, column);
    QCOMPARE(index.data().toString(), text);
    // A screen reader (and the end-to-end test) reads the same text.
    QAccessibleInterface* table_view = QAccessible::queryAccessibleInterface(grid.get());
    QCOMPARE(table_view->text(QAccessible::Description), "RzStringGrid1");
    QAccessibleInterface* accessible_cell = table_view->tableInterface()->cellAt(row - 1, column);
    QVERIFY(accessible_cell);
    QCOMPARE(accessible_cell->text(QAccessible::Name), text);
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "КАНАЛ1");
  }

  void refusesSelectionOfNamesAndEmptyCells_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("selectable");
    QTest::addColumn<bool>("editable");
    QTest::newRow("channel name") << 6 << 0 << false << false;
    QTest::newRow("general name") << 6 << 5 << false << false;
    QTest::newRow("below the general values") << 14 << 6 << false << false;
    QTest::newRow("last general value") << 13 << 6 << true << true;
    QTest::newRow("measured value") << 3 << 2 << true << false;
    QTest::newRow("nameless row") << 31 << 4 << true << true;
  }
  void refusesSelectionOfNamesAndEmptyCells() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, selectable);
    QFETCH(bool, editable);
    QCOMPARE(grid->currentIndex(), model->CellIndex(1, 1));
    Click(row, column);
    QCOMPARE(grid->currentIndex(),
             selectable ? model->CellIndex(row, column) : model->CellIndex(1, 1));
    if (!selectable) return;
    QTest::keyClick(grid.get(), Qt::Key_Return);
    QCOMPARE(Editor() != nullptr, editable);
  }

  void readOnlyCellsNeverOpenTheEditor() {
    Click(5, 3);
    QTest::keyClick(grid.get(), Qt::Key_Return);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, Centre(2, 4));
    QVERIFY(!Editor());
  }

  void editsInPlace_data() {
    QTest::addColumn<double>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("refusal");
    // Row 8, channel 1: 2 decimals.
    QTest::newRow("Enter unchanged rounds")
        << 1.23456 << QString("") << Leave::Enter << 1.23 << QString("");
    QTest::newRow("minus zero") << 7.0 << QString("-0") << Leave::Enter << 0.0 << QString("");
    QTest::newRow("decimal comma") << 7.0 << QString("1,5") << Leave::Enter << 1.5 << QString("");
    QTest::newRow("letters filtered, a point is the comma")
        << 7.0 << QString("1a.5 ") << Leave::Enter << 1.5 << QString("");
    QTest::newRow("152.5 as typed")
        << 7.0 << QString("152.5") << Leave::Enter << 152.5 << QString("");
    QTest::newRow("Escape") << 7.0 << QString("77") << Leave::Escape << 7.0 << QString("");
    QTest::newRow("not a number") << 7.0 << QString("-") << Leave::Enter << 7.0
                                  << QString("'-' is not a valid floating point value");
    QTest::newRow("click on another cell")
        << 7.0 << QString("42") << Leave::ClickBelow << 42.0 << QString("");
  }
  void editsInPlace() {
    QFETCH(double, before);
    QFETCH(QString, typed);
    QFETCH(Leave, leave);
    QFETCH(double, stored);
    QFETCH(QString, refusal);
    const ParameterCell& cell = table.Cell(8, 1);
    const ParameterCell& below = table.Cell(9, 1);
    buffer.SetParameterValue(cell.ValueIndex, float(before));
    QSignalSpy refusals(model.get(), &ParameterModel::EditRefused);

    QPointer<QLineEdit> editor = Open(8, 1);
    QVERIFY(editor);
    QCOMPARE(editor->text(), model->CellIndex(8, 1).data().toString());
    QCOMPARE(editor->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QTest::keyClicks(editor, typed);
    if (leave == Leave::Enter) QTest::keyClick(editor, Qt::Key_Return);
    if (leave == Leave::Escape) QTest::keyClick(editor, Qt::Key_Escape);
    if (leave == Leave::ClickBelow) Click(9, 1);
    QTRY_VERIFY(!editor || !editor->isVisible());

    QCOMPARE(buffer.ParameterValue(cell.ValueIndex), float(stored));
    QVERIFY(!std::signbit(buffer.ParameterValue(cell.ValueIndex)));
    QCOMPARE(buffer.ParameterValue(below.ValueIndex), 0.0f);
    QCOMPARE(refusals.size(), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty()) QCOMPARE(refusals[0][0].toString(), refusal);
    if (leave != Leave::ClickBelow) QVERIFY(grid->hasFocus());
  }

  void largeNumberIsStoredAndShownInExponentNotation() {
    // Row 12 shows 8 integer digits and 2 decimals: precision 10.
    QLineEdit* editor = Open(12, 2);
    QVERIFY(editor);
    QTest::keyClicks(editor, "12345678901");
    QTest::keyClick(Editor(), Qt::Key_Return);
    QTRY_COMPARE(buffer.ParameterValue(table.Cell(12, 2).ValueIndex), 12345678901.0f);
    QCOMPARE(model->CellIndex(12, 2).data().toString(), "1,234567885E+010");
  }

  void changedValuesAreMarkedUntilTheMeterHoldsThem() {
    const QModelIndex index = model->CellIndex(20, 1);
    QLineEdit* editor = Open(20, 1);
    QVERIFY(editor);
    QTest::keyClicks(editor, "3");
    QTest::keyClick(Editor(), Qt::Key_Return);
    QTRY_COMPARE(model->ChangedCount(), 1);
    QVERIFY(index.data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(index.data(Qt::BackgroundRole).value<QColor>(), kChangedColour);
    QCOMPARE(index.data(Qt::ToolTipRole).toString(), kChangedToolTip);

    model->SetMeterValues(buffer);
    QCOMPARE(model->ChangedCount(), 0);
    QVERIFY(!index.data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(index.data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
  }

  void paintsTheTableColours() {
    Click(3, 2);
    const QImage image = grid->viewport()->grab().toImage();
    const auto colour_at = [&](int row, int column) {
      return QColor(
          image.pixel(grid->visualRect(model->CellIndex(row, column)).topLeft() + QPoint(3, 3)));
    };
    QCOMPARE(colour_at(3, 2), QColor(204, 255, 204));  // selected
    QCOMPARE(colour_at(3, 3), QColor(255, 224, 224));  // measured, read-only
    QCOMPARE(colour_at(6, 3), QColor(Qt::white));
    QCOMPARE(colour_at(6, 0), QColor(231, 231, 231));  // names
    QCOMPARE(colour_at(20, 5), QColor(Qt::white));     // empty
    // The name columns are at least as wide as the meter's program made them,
    // and wide enough for every name: none is clipped.
    QVERIFY(grid->columnWidth(0) >= 150);
    QVERIFY(grid->columnWidth(5) >= 120);
    for (int column : {0, 5}) {
      for (int row = 1; row < kParameterRows; ++row) {
        const QModelIndex name = model->CellIndex(row, column);
        const int needed = QFontMetrics(name.data(Qt::FontRole).value<QFont>())
                               .horizontalAdvance(name.data().toString());
        QVERIFY2(needed < grid->columnWidth(column), qPrintable(name.data().toString()));
      }
    }
    QCOMPARE(grid->rowHeight(0), 24);
  }

 private:
  QPoint Centre(int row, int column) {
    return grid->visualRect(model->CellIndex(row, column)).center();
  }
  void Click(int row, int column) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, Centre(row, column));
  }
  QLineEdit* Editor() { return grid->findChild<QLineEdit*>("RzEdit1"); }
  // Selects a cell and opens the editor on it with Enter.
  QLineEdit* Open(int row, int column) {
    Click(row, column);
    QTest::keyClick(grid.get(), Qt::Key_Return);
    QLineEdit* editor = Editor();
    if (editor) [&] { QTRY_VERIFY(editor->hasFocus()); }();
    return editor;
  }

  ParameterTable table;
  ParameterBuffer buffer;
  std::unique_ptr<ParameterModel> model;
  std::unique_ptr<ParameterGrid> grid;
};

QTEST_MAIN(ParameterGridTest)
#include "parameter_grid_test.moc"
