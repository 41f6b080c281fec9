// The history in the window: the meter's name from "Имя прибора", a repeat
// with "Только недостающие" that reads nothing stored and shows the same
// table, and the page "История" showing the stored entries. The store is
// read back with Debian's sqlite3 client, while a fleet collection writes
// the same store.

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "store/server_store.h"
#include "tests/support/demo_window.h"
#include "tests/support/postgres.h"
#include "ui/charts/archive_chart.h"
#include "ui/history_page.h"

namespace {

using flovir::testing::DemoWindow;

constexpr int kOperationMs = 60000;

QString Sql(const QString& db, const QString& query) {
  QProcess sqlite;
  // The client waits, as our programs do, while a writer holds the lock.
  sqlite.start("sqlite3", {"-cmd", ".timeout 10000", db, query});
  sqlite.waitForFinished(10000);
  return QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed();
}

// The hourly table's interval lines: a date, then the time of day.
QStringList HourLines(const QString& table) {
  QStringList lines;
  for (const QString& line : table.split('\n')) {
    if (line.size() > 16 && line[2] == '.' && line[13] == ':') lines << line;
  }
  return lines;
}

}  // namespace

class HistoryWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void ARepeatTakesTheHistoryAndThePageShowsIt() {
    DemoWindow w;
    w.Get<QLineEdit>("EditMeterName")->setText("котельная");
    w.Get<QComboBox>("ComboBox3")->setCurrentText("115200");
    w.Get<QCalendarWidget>("MonthCalendar1")->setSelectedDate(QDate::currentDate().addDays(-3));
    w.Get<QCalendarWidget>("MonthCalendar2")->setSelectedDate(QDate::currentDate().addDays(-2));
    const QString db = w.dir.filePath("history.sqlite");
    // A fleet collection into the same store, at the same time.
    QFile fleet(w.dir.filePath("fleet.toml"));
    QVERIFY(fleet.open(QIODevice::WriteOnly));
    fleet.write(
        "history = \"history.sqlite\"\n[[meter]]\nname = \"pump-1\"\nport = \"demo\"\n"
        "baud = 115200\ncollect = [\"hourly\"]\nhistory_days = 2\n");
    fleet.close();
    QProcess collect;
    collect.start(FLOVIR_BINARY_DIR "/cli/flovir-cli",
                  {"collect", fleet.fileName(), "--quiet", "--out", w.dir.filePath("out")});
    QVERIFY(collect.waitForStarted());
    w.Get<QPushButton>("Button1")->click();
    w.Get<QPushButton>("Button5")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QCOMPARE(w.Get<QLabel>("StatusBar1")->text(), QString("Завершено успешно"));
    QTRY_VERIFY_WITH_TIMEOUT(collect.state() == QProcess::NotRunning, kOperationMs);
    QCOMPARE(collect.exitCode(), 0);
    w->History()->Drain();  // the window writes its readings on a thread of its own
    QCOMPARE(Sql(db, "SELECT group_concat(name, ',') FROM (SELECT name FROM meters ORDER BY name)"),
             QString("pump-1,котельная"));
    QCOMPARE(Sql(db,
                 "SELECT count(*) FROM archive_entries WHERE meter_id = (SELECT id FROM "
                 "meters WHERE name = 'котельная')"),
             QString("48"));
    QVERIFY(Sql(db,
                "SELECT count(*) FROM archive_entries WHERE meter_id = (SELECT id FROM "
                "meters WHERE name = 'pump-1')")
                .toInt() >= 48);
    const QStringList full = HourLines(w.Get<QPlainTextEdit>("Memo4")->toPlainText());
    QCOMPARE(full.size(), 48);

    w.Get<QCheckBox>("MissingOnlyMemo4")->setChecked(true);
    w.Get<QPushButton>("Button5")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->GetDispatcher().Busy(), kOperationMs);
    QCOMPARE(w.Get<QLabel>("StatusBar1")->text(), QString("Завершено успешно"));
    w->History()->Drain();
    QCOMPARE(Sql(db,
                 "SELECT from_meter || ' ' || from_store FROM downloads WHERE meter_id = "
                 "(SELECT id FROM meters WHERE name = 'котельная') ORDER BY id"),
             QString("48 0\n0 48"));
    QCOMPARE(HourLines(w.Get<QPlainTextEdit>("Memo4")->toPlainText()), full);

    auto* page = w->findChild<flovir::ui::HistoryPage*>();
    QVERIFY(page != nullptr);
    page->Refresh();
    QVERIFY(page->SelectMeter("котельная"));
    w.Get<QDateEdit>("HistoryFrom")->setDate(QDate::currentDate().addDays(-4));
    w.Get<QDateEdit>("HistoryTo")->setDate(QDate::currentDate().addDays(-2));
    w.Get<QPushButton>("HistoryShow")->click();
    QCOMPARE(HourLines(page->TableText()), full);
    QVERIFY(w.Get<QLabel>("HistoryStatus")->text().contains("пропусков: 24 в 1 местах"));

    // Each kind on its own time axis: days are not drawn as hours.
    auto* chart = page->findChild<flovir::ArchiveChart*>();
    QVERIFY(chart != nullptr);
    QCOMPARE(chart->Kind(), flovir::ReportKind::Hourly);
    QVERIFY(!chart->Data().rows.empty());
    w.Get<QComboBox>("HistoryKind")->setCurrentIndex(1);
    w.Get<QPushButton>("HistoryShow")->click();
    QCOMPARE(chart->Kind(), flovir::ReportKind::Daily);
    QCOMPARE(chart->Data().kind, flovir::ReportKind::Daily);
  }

  // The page on a shared server that a collector filled: the dispatcher's
  // view of meters this window never read.
  void ThePageReadsASharedServer() {
    if (!flovir::history::ServerStoresBuiltIn()) QSKIP("a build without PostgreSQL");
    flovir::testing::PostgresServer server;
    if (!server.Started()) QSKIP(server.Why().c_str());
    flovir::testing::ScratchFolder folder{"flovir-page"};
    const QString from = QDate::currentDate().addDays(-4).toString("dd.MM.yyyy");
    const QString to = QDate::currentDate().addDays(-3).toString("dd.MM.yyyy");
    QProcess cli;
    cli.start(FLOVIR_BINARY_DIR "/cli/flovir-cli",
              {"archive", "hourly", "--demo", "--baud", "115200", "--meter", "pump-1", "--folder",
               QString::fromStdString(folder.Path()), "--from", from, "--to", to, "--history",
               QString::fromStdString(server.Uri())});
    QVERIFY(cli.waitForFinished(kOperationMs));
    QCOMPARE(cli.exitCode(), 0);

    flovir::ui::HistoryPage page;
    page.SetStorePath(server.Uri());
    page.Refresh();
    QVERIFY(page.SelectMeter("pump-1"));
    page.findChild<QDateEdit*>("HistoryFrom")->setDate(QDate::currentDate().addDays(-4));
    page.findChild<QDateEdit*>("HistoryTo")->setDate(QDate::currentDate().addDays(-3));
    page.findChild<QPushButton*>("HistoryShow")->click();
    QCOMPARE(HourLines(page.TableText()).size(), 48);
  }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
