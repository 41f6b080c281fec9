// The charts in the window: each sits under its archive table with its
// "График" box beside the page's buttons, follows a finished download of
// its archive row for row, and stays as it was after a cancelled one.

#include <QCalendarWidget>
#include <QDate>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/demo_window.h"
#include "ui/charts/archive_charts.h"

using flovir::ArchiveChart;
using flovir::ReportKind;
using flovir::testing::DemoWindow;

namespace {

constexpr int kOperationMs = 60000;

// The data lines of an archive table: those before "Итого:" that begin
// with a date.
QStringList DataLines(const QPlainTextEdit* area) {
  QStringList lines;
  for (const QString& line : area->toPlainText().split('\n')) {
    if (line.startsWith("Итого:")) break;
    if (line.size() > 10 && line[2] == '.' && line[5] == '.' && line[0].isDigit()) {
      lines.append(line);
    }
  }
  return lines;
}

}  // namespace

class WindowChartTest : public QObject {
  Q_OBJECT

 private slots:
  void ChartsFollowDownloadsAndCancelledOnesKeepThem() {
    DemoWindow w;
    w->show();
    const std::tuple<ReportKind, const char*, const char*> pages[] = {
        {ReportKind::Hourly, "Button13", "SplitterMemo4"},
        {ReportKind::Daily, "Button14", "SplitterMemo5"},
        {ReportKind::Monthly, "Button15", "SplitterMemo6"}};
    for (const auto& [kind, save_name, splitter] : pages) {
      ArchiveChart* chart = w->Charts()->Chart(kind);
      QPushButton* save = w.Get<QPushButton>(save_name);
      QVERIFY(chart);
      QCOMPARE(w.Get<QSplitter>(splitter)->widget(1), chart);
      QCOMPARE(chart->VisibilityBox()->parentWidget(), save->parentWidget());
      QVERIFY(chart->isHidden());  // until a download
    }

    w.Get<QPushButton>("Button1")->click();
    w.Get<QCalendarWidget>("MonthCalendar1")->setSelectedDate(QDate::currentDate().addDays(-20));
    w.Get<QCalendarWidget>("MonthCalendar2")->setSelectedDate(QDate::currentDate().addDays(-1));
    ArchiveChart* daily = w->Charts()->Chart(ReportKind::Daily);
    w.Get<QPushButton>("Button6")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QVERIFY(w->GetDispatcher().LastSucceeded());
    QTRY_VERIFY(!daily->isHidden());  // its rows are built aside
    const QString table = w.Get<QPlainTextEdit>("Memo5")->toPlainText();
    const QStringList lines = DataLines(w.Get<QPlainTextEdit>("Memo5"));
    QCOMPARE(lines.size(), 20);
    QCOMPARE(daily->Data().rows.size(), size_t{20});
    for (int i = 0; i < lines.size(); ++i) {
      const flovir::ArchiveChartRow& row = daily->Data().rows[static_cast<size_t>(i)];
      QCOMPARE(lines[i].left(10), QString::fromStdString(row.date_text));
      QCOMPARE(lines[i].mid(10, 11).trimmed(), QString::fromStdString(row.texts[0]));
    }

    QVERIFY(daily->Title().startsWith("Суточный архив " + lines.first().left(10) + " – "));

    // A cancelled download of the same archive leaves the table and its
    // chart as they were, and the other charts are not touched.
    w.Get<QPushButton>("Button6")->click();
    w.Get<QPushButton>("ButtonCancel")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QVERIFY(!w->GetDispatcher().LastSucceeded());
    QCOMPARE(w.Get<QPlainTextEdit>("Memo5")->toPlainText(), table);
    QVERIFY(!daily->isHidden());
    QCOMPARE(daily->Data().rows.size(), size_t{20});
    QVERIFY(w->Charts()->Chart(ReportKind::Hourly)->isHidden());
  }
};

QTEST_MAIN(WindowChartTest)
#include "window_chart_test.moc"
