// flovir-screenshots DIR: renders every page of the window after a demo run
// of each operation against the built-in simulated meter, as PNG files in
// DIR. Meant for the offscreen platform (scripts/screenshots.sh).

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#ifdef FLOVIR_UI_CHARTS
#include "ui/charts/archive_charts.h"
#endif
#include "ui/form1.h"
#include "ui/form3.h"

namespace {

bool RunUntil(const std::function<bool()>& done, int deadline_ms = 300000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > deadline_ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  if (argc < 2) {
    std::fprintf(stderr, "usage: flovir-screenshots DIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out.path());
  QTemporaryDir scratch;
  flovir::ui::WindowOptions options;
  options.demo = true;
  options.folder = scratch.path().toStdString();
  options.settings_file = scratch.filePath("settings.ini");
  flovir::ui::TForm1 w(options);
  w.SetMessageSink([](const QString&, const QString&, flovir::MessageIcon) {});
  w.resize(1000, 720);
  w.show();

  auto run = [&](QPushButton* button) {
    button->click();
    if (!RunUntil([&] { return !w.GetDispatcher().Busy(); })) std::fprintf(stderr, "timeout\n");
  };
  auto dates = [&](int first_days_ago, int last_days_ago) {
    w.MonthCalendar1->setSelectedDate(QDate::currentDate().addDays(-first_days_ago));
    w.MonthCalendar2->setSelectedDate(QDate::currentDate().addDays(-last_days_ago));
  };
  auto shot = [&](int top, int inner, const QString& name) {
    w.pages_->setCurrentIndex(top);
    qobject_cast<QTabWidget*>(w.pages_->widget(top))->setCurrentIndex(inner);
    QCoreApplication::processEvents();
    w.grab().save(out.filePath(name));
  };

  w.Button1->click();
  run(w.Button4);
  dates(1, 1);
  run(w.Button5);
  dates(31, 1);
  run(w.Button6);
  dates(120, 1);
  run(w.Button7);
  w.Button12->click();
  RunUntil([&] { return w.Memo3->blockCount() >= 4; });
  w.Button12->click();
  RunUntil([&] { return !w.GetDispatcher().Busy(); });
  run(w.Button8);  // the parameters, after the test poll

  shot(0, 0, "1-main-settings.png");
  shot(0, 1, "2-line-settings.png");
  shot(0, 2, "3-modem.png");
  shot(1, 0, "4-current.png");
  // Each archive page, then its chart on its own where the window has charts.
  auto chart = [&](flovir::ReportKind kind, const QString& name) {
#ifdef FLOVIR_UI_CHARTS
    QString error;
    if (!w.Charts()->Chart(kind)->SaveImage(out.filePath(name), &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(error));
    }
#else
    (void)kind, (void)name;
#endif
  };
  shot(1, 1, "5-hourly.png");
  chart(flovir::ReportKind::Hourly, "5-hourly-chart.png");
  shot(1, 2, "6-daily.png");
  chart(flovir::ReportKind::Daily, "6-daily-chart.png");
  shot(1, 3, "7-monthly.png");
  chart(flovir::ReportKind::Monthly, "7-monthly-chart.png");
  shot(1, 4, "8-parameters.png");
  shot(1, 5, "9-test.png");
  // The parameter grid's editor open on "Максимум, м3/час" of channel 2.
  if (auto* grid = w.findChild<QAbstractItemView*>("RzStringGrid1")) {
    w.pages_->setCurrentIndex(1);
    qobject_cast<QTabWidget*>(w.pages_->widget(1))->setCurrentIndex(4);
    grid->setCurrentIndex(grid->model()->index(5, 2));
    grid->edit(grid->currentIndex());
    QCoreApplication::processEvents();
    w.grab().save(out.filePath("11-parameter-editor.png"));
  }
  w.Form3().show();
  QCoreApplication::processEvents();
  w.Form3().grab().save(out.filePath("10-remote-modem.png"));
  w.Form3().hide();
  w.Button2->click();
  std::printf("%s\n", qPrintable(out.path()));
  return 0;
}
