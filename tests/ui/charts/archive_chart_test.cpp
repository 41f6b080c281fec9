// The chart widget off screen: when it shows, gaps and event marks, the
// series check boxes, hover hints, and saving the picture.

#include <QChartView>
#include <QDateTimeAxis>
#include <QDir>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QtTest>

#include "ui/charts/archive_chart.h"
#include "workbook/serial_date.h"

using namespace flovir;

namespace {

// Five hourly rows of 5 March 2024 from 8:00; 10:00 has no data, 11:00 has
// an event on channel 3.
ArchiveChartData FiveHours() {
  ArchiveChartData data;
  for (int h = 8; h < 13; ++h) {
    ArchiveChartRow& row = data.rows.emplace_back();
    row.at = EncodeDateTime({2024, 3, 5, h, 0, 0});
    row.date_text = "05.03.2024 " + std::to_string(h) + ":00";
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      row.texts[s] = std::to_string(h) + ",500";
      if (h != 10) row.values[s] = h + 0.5;
    }
    if (h == 11) row.events = "канал3: >";
  }
  return data;
}

}  // namespace

class ArchiveChartTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsOnlyWithRowsAndWhileTheBoxIsChecked() {
    QWidget page;
    ArchiveChart chart(ReportKind::Hourly, &page);
    page.show();
    QVERIFY(!chart.isVisible());
    chart.ShowRows(FiveHours());
    QVERIFY(chart.isVisible());
    chart.VisibilityBox()->setChecked(false);
    QVERIFY(!chart.isVisible());
    chart.VisibilityBox()->setChecked(true);
    QVERIFY(chart.isVisible());
    chart.Clear();  // a failed download
    QVERIFY(!chart.isVisible());
    QCOMPARE(chart.Series(0)->count(), 0);
    QCOMPARE(chart.EventMarks()->count(), 0);
  }

  // The time axis' ticks fall on whole hours, and on whole days once a step
  // is a day or more, in at most eight steps.
  void TimeAxisTicksAtWholeHoursOrDays_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("hours_apart");
    QTest::newRow("31 days of hours") << int(ReportKind::Hourly) << 744 << 1;
    QTest::newRow("17 hours") << int(ReportKind::Hourly) << 17 << 1;
    QTest::newRow("one hour") << int(ReportKind::Hourly) << 1 << 1;
    QTest::newRow("a year of days") << int(ReportKind::Daily) << 365 << 24;
    QTest::newRow("20 days") << int(ReportKind::Daily) << 20 << 24;
  }
  void TimeAxisTicksAtWholeHoursOrDays() {
    QFETCH(int, kind);
    QFETCH(int, rows);
    QFETCH(int, hours_apart);
    ArchiveChartData data;
    for (int i = 0; i < rows; ++i) {
      data.rows.emplace_back().at = EncodeDate(2024, 3, 1) + i * hours_apart / 24.0;
      data.rows.back().values[0] = 1;
    }
    ArchiveChart chart(static_cast<ReportKind>(kind));
    chart.ShowRows(data);
    QDateTimeAxis* axis = nullptr;
    for (QAbstractAxis* a : chart.Series(0)->attachedAxes()) {
      if (auto* dates = qobject_cast<QDateTimeAxis*>(a)) axis = dates;
    }
    QVERIFY(axis);
    const int count = axis->tickCount();
    QVERIFY(count >= 2 && count <= 9);
    const qint64 low = axis->min().toMSecsSinceEpoch();
    const qint64 step = (axis->max().toMSecsSinceEpoch() - low) / (count - 1);
    QVERIFY(step % 3600000 == 0);
    for (int i = 0; i < count; ++i) {
      const QTime at = QDateTime::fromMSecsSinceEpoch(low + i * step).time();
      QCOMPARE(at.minute(), 0);
      if (step >= 24 * 3600000) QCOMPARE(at.hour(), 0);
    }
  }

  void NoDataBreaksTheLinesAndEventsAreMarked() {
    ArchiveChart chart(ReportKind::Hourly);
    ArchiveChartData data = FiveHours();
    data.rows[3].values[0].reset();  // 11:00 of V1 stands between two gaps
    chart.ShowRows(data);
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      QLineSeries* line = chart.Series(s);
      QCOMPARE(line->count(), 5);
      for (int i = 0; i < 5; ++i) QCOMPARE(qIsNaN(line->at(i).y()), i == 2 || (s == 0 && i == 3));
    }
    // The lone value of V1 at 12:00 shows as a point; the lines do not.
    const auto lone = chart.Series(0)->pointsConfiguration();
    QCOMPARE(lone.keys(), QList<int>{4});
    QVERIFY(chart.Series(1)->pointsConfiguration().isEmpty());
    QCOMPARE(chart.EventMarks()->count(), 1);
    QCOMPARE(chart.EventMarks()->at(0).x(), chart.Series(0)->at(3).x());
  }

  void VolumesShowAndOperatingTimesHideUntilTicked() {
    ArchiveChart chart(ReportKind::Daily);
    chart.ShowRows(FiveHours());
    auto* hours_axis = qobject_cast<QValueAxis*>(chart.Series(4)->attachedAxes().last());
    QVERIFY(hours_axis);
    QVERIFY(chart.Series(0)->isVisible());
    QVERIFY(!chart.Series(4)->isVisible());
    QVERIFY(!hours_axis->isVisible());
    chart.SeriesBox(4)->setChecked(true);
    chart.SeriesBox(0)->setChecked(false);
    QVERIFY(chart.Series(4)->isVisible());
    QVERIFY(!chart.Series(0)->isVisible());
    QVERIFY(hours_axis->isVisible());
    QVERIFY(hours_axis->max() >= 12.5);
  }

  void HoverShowsTheRowsDateAndTheTablesDigits() {
    ArchiveChart chart(ReportKind::Hourly);
    chart.ShowRows(FiveHours());
    QLineSeries* line = chart.Series(1);
    emit line->hovered(line->at(4) + QPointF(60e3, 0), true);
    QCOMPARE(chart.Hint(), QString("05.03.2024 12:00\nV2: 12,500 м³"));
    emit chart.EventMarks()->hovered(chart.EventMarks()->at(0), true);
    QCOMPARE(chart.Hint(), QString("05.03.2024 11:00\nСобытия: канал3: >"));
  }

  void SavesPngAndSvgAndReportsAFolderThatIsNotThere() {
    QTemporaryDir dir;
    ArchiveChart chart(ReportKind::Monthly);
    chart.resize(640, 400);
    chart.ShowRows(FiveHours());
    QString error;
    QVERIFY2(chart.SaveImage(dir.filePath("chart.png"), &error), qPrintable(error));
    QFile png(dir.filePath("chart.png"));
    QVERIFY(png.open(QIODevice::ReadOnly));
    QCOMPARE(png.read(4), QByteArray("\x89PNG"));
    QVERIFY2(chart.SaveImage(dir.filePath("chart.svg"), &error), qPrintable(error));
    QFile svg(dir.filePath("chart.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg"));
    QVERIFY(text.contains("<polyline") || text.contains("<path"));
    QVERIFY(!chart.SaveImage(dir.filePath("missing/chart.png"), &error));
    QVERIFY(!error.isEmpty());
  }
};

QTEST_MAIN(ArchiveChartTest)
#include "archive_chart_test.moc"
