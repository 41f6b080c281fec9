// The chart widget off screen: when it shows, gaps and event marks, the
// series check boxes, hover hints, zoom and pan, and saving the picture.

#include <qcustomplot.h>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVBoxLayout>
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

// The ticks the time axis draws over its range now.
QVector<double> TimeTicks(const ArchiveChart& chart) {
  QCPAxis* axis = chart.Plot()->xAxis;
  QVector<double> ticks;
  axis->ticker()->generate(axis->range(), QLocale(), 'g', 6, ticks, nullptr, nullptr);
  return ticks;
}

// A chart on a shown page, laid out, as the user sees it.
struct ShownChart {
  QWidget page;
  ArchiveChart* chart = new ArchiveChart(ReportKind::Hourly, &page);
  explicit ShownChart(const ArchiveChartData& data) {
    (new QVBoxLayout(&page))->addWidget(chart);
    page.resize(800, 420);
    page.show();
    chart->ShowRows(data);
    chart->Plot()->replot();
  }
  QPointF At(double serial, size_t series, double value) const {
    return {chart->Plot()->xAxis->coordToPixel(ArchiveChart::KeyOf(serial)),
            chart->Series(series)->valueAxis()->coordToPixel(value)};
  }
};

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
    chart.Clear();
    QVERIFY(!chart.isVisible());
    QCOMPARE(chart.Series(0)->data()->size(), 0);
    QCOMPARE(chart.EventMarks()->data()->size(), 0);
  }

  // The time axis' ticks fall on whole hours, and on whole days once a step
  // is a day or more, in at most eight steps: over the whole range and
  // zoomed into an odd part of it.
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
    for (const double zoom : {1.0, 0.37}) {
      QCPAxis* axis = chart.Plot()->xAxis;
      axis->scaleRange(zoom, axis->range().lower + axis->range().size() * 0.3);
      const QVector<double> ticks = TimeTicks(chart);
      // Zoomed into less than two hours, one whole hour may be all there is.
      QVERIFY2(ticks.size() >= (zoom == 1.0 ? 2 : 1) && ticks.size() <= 10,
               qPrintable(QString::number(ticks.size())));
      const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 3600;
      QVERIFY(axis->range().size() / step <= 8.001);
      for (const double tick : ticks) {
        const CivilDateTime at = DecodeDateTime(tick / 86400);
        QCOMPARE(at.minute, 0);
        QCOMPARE(at.second, 0);
        if (step >= 86400) QCOMPARE(at.hour, 0);
      }
      if (zoom == 1.0) {  // the whole range begins and ends on a tick
        QCOMPARE(ticks.front(), axis->range().lower);
        QCOMPARE(ticks.back(), axis->range().upper);
      }
    }
  }

  void NoDataBreaksTheLinesAndEventsAreMarked() {
    ArchiveChart chart(ReportKind::Hourly);
    ArchiveChartData data = FiveHours();
    data.rows[3].values[0].reset();  // 11:00 of V1 stands between two gaps
    chart.ShowRows(data);
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      const auto points = chart.Series(s)->data();
      QCOMPARE(points->size(), 5);
      for (int i = 0; i < 5; ++i) {
        QCOMPARE(qIsNaN(points->at(i)->value), i == 2 || (s == 0 && i == 3));
      }
    }
    // The lone value of V1 at 12:00 shows as a point; the lines have none.
    QCOMPARE(chart.LonePoints(0)->data()->size(), 1);
    QCOMPARE(chart.LonePoints(0)->data()->at(0)->key, chart.Series(0)->data()->at(4)->key);
    QCOMPARE(chart.LonePoints(1)->data()->size(), 0);
    QCOMPARE(chart.EventMarks()->data()->size(), 1);
    QCOMPARE(chart.EventMarks()->data()->at(0)->key, chart.Series(0)->data()->at(3)->key);
  }

  void VolumesShowAndOperatingTimesHideUntilTicked() {
    ArchiveChart chart(ReportKind::Daily);
    chart.ShowRows(FiveHours());
    QCPAxis* hours_axis = chart.Series(4)->valueAxis();
    QCOMPARE(hours_axis, chart.Plot()->yAxis2);
    QVERIFY(chart.Series(0)->visible());
    QVERIFY(!chart.Series(4)->visible());
    QVERIFY(!hours_axis->visible());
    chart.SeriesBox(4)->setChecked(true);
    chart.SeriesBox(0)->setChecked(false);
    QVERIFY(chart.Series(4)->visible());
    QVERIFY(!chart.Series(0)->visible());
    QVERIFY(hours_axis->visible());
    QVERIFY(hours_axis->range().upper >= 12.5);
  }

  void HoverShowsTheRowsDateAndTheTablesDigits() {
    ShownChart shown(FiveHours());
    ArchiveChart& chart = *shown.chart;
    chart.SeriesBox(0)->setChecked(false);  // V2 is the first line there
    chart.Plot()->replot();
    const double noon = EncodeDateTime({2024, 3, 5, 12, 0, 0});
    QCOMPARE(chart.HintAt(shown.At(noon - 0.01, 1, 12.5) + QPointF(0, 3)),
             QString("05.03.2024 12:00\nV2: 12,500 м³"));
    const double eleven = EncodeDateTime({2024, 3, 5, 11, 0, 0});
    QCOMPARE(chart.HintAt(shown.At(eleven, 0, 0)), QString("05.03.2024 11:00\nСобытия: канал3: >"));
    QCOMPARE(chart.HintAt(shown.At(eleven, 0, 6)), QString());  // far from every value
  }

  // Keys and the wheel's zoom stay within the rows; Home and "Весь график"
  // bring the whole range back.
  void ZoomsAndPansWithinTheRowsAndResets() {
    ArchiveChartData data;
    for (int i = 0; i < 48; ++i) {
      ArchiveChartRow& row = data.rows.emplace_back();
      row.at = EncodeDate(2024, 3, 1) + i / 24.0;
      row.values[0] = i < 24 ? 1 : 100;  // the second day holds the large values
    }
    ShownChart shown(data);
    ArchiveChart& chart = *shown.chart;
    QCPAxis* time = chart.Plot()->xAxis;
    const QCPRange whole = time->range();
    QVERIFY(chart.Plot()->yAxis->range().upper >= 100);
    chart.Plot()->setFocus();
    for (int i = 0; i < 6; ++i) QTest::keyClick(chart.Plot(), Qt::Key_Plus);
    QVERIFY(time->range().size() < whole.size() * 0.3);
    for (int i = 0; i < 40; ++i) QTest::keyClick(chart.Plot(), Qt::Key_Left);
    QCOMPARE(time->range().lower, whole.lower);
    // The first day alone: its values set the volume axis.
    QVERIFY(chart.Plot()->yAxis->range().upper < 2);
    for (int i = 0; i < 40; ++i) QTest::keyClick(chart.Plot(), Qt::Key_Minus);
    QCOMPARE(time->range(), whole);
    time->setRange(whole.lower + 3600, whole.lower + 7200);
    QTest::keyClick(chart.Plot(), Qt::Key_Home);
    QCOMPARE(time->range(), whole);
    time->setRange(whole.lower + 3600, whole.lower + 7200);
    chart.ResetButton()->click();
    QCOMPARE(time->range(), whole);
    time->setRange(whole.lower, whole.lower + 1);  // less than one interval
    QVERIFY(time->range().size() >= 3600);
  }

  // "Сохранить график": the dialog opens in the program's folder with the
  // archive's name; the PNG and the PDF carry the title (archive, range,
  // meter), the legend and the event key; a missing folder is reported.
  void SavesPngAndPdfWithTitleLegendAndEventKey() {
    QTemporaryDir dir;
    ShownChart shown(FiveHours());
    ArchiveChart& chart = *shown.chart;
    chart.SetMeter("котельная");
    chart.SetSaveFolder(dir.path());
    QString suggested;
    chart.SetFileChooser([&](QWidget*, const QString& path) {
      suggested = path;
      return dir.filePath("chart");
    });
    chart.SaveButton()->click();
    QCOMPARE(suggested, dir.filePath("часовой архив.png"));
    QImage png(dir.filePath("chart.png"));
    QCOMPARE(png.size(), chart.SavedSize());
    chart.SaveButton()->click();
    QCOMPARE(suggested, dir.filePath("часовой архив.png"));  // the folder saved in last

    const QString title = "Часовой архив 05.03.2024 8:00 – 05.03.2024 12:00, котельная";
    QCOMPARE(chart.Title(), title);
    QString error;
    QVERIFY2(chart.SaveImage(dir.filePath("chart.pdf"), &error), qPrintable(error));
    QFile pdf(dir.filePath("chart.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    QVERIFY(!plotHasTitle(chart));  // the screen keeps its room for the lines
    QVERIFY(!chart.Plot()->legend->visible());
    QVERIFY(!chart.SaveImage(dir.filePath("missing/chart.png"), &error));
    QVERIFY(!error.isEmpty());

    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
    QProcess text;
    text.start(pdftotext, {dir.filePath("chart.pdf"), "-"});
    QVERIFY(text.waitForFinished(60000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    QVERIFY2(words.contains(title), qPrintable(words));
    for (const char* key : {"V1", "V2", "V3", "V4", "События", "Объём, м³"}) {
      QVERIFY2(words.contains(QString::fromUtf8(key)), key);
    }
    QVERIFY(!words.contains("B1"));  // the operating times are not shown
  }

 private:
  static bool plotHasTitle(const ArchiveChart& chart) {
    return chart.Plot()->plotLayout()->rowCount() > 1;
  }
};

QTEST_MAIN(ArchiveChartTest)
#include "archive_chart_test.moc"
