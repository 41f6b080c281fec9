// flovir-screenshots DIR: renders every page of the window after a demo run
// of each operation against the built-in simulated meter, as PNG files in
// DIR. Meant for the offscreen platform (scripts/screenshots.sh). Exits 1
// when an operation fails or a page renders as nothing (a null or one-colour
// picture), so a test can run it.

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "ui/charts/archive_charts.h"
#include "ui/main_window.h"
#include "ui/remote_modem_dialog.h"

namespace {

// A picture with something on it: not null, and not all of one colour.
bool Rendered(const QImage& image) {
  if (image.isNull()) return false;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) {
      if (image.pixel(x, y) != first) return true;
    }
  }
  return false;
}

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
  flovir::ui::MainWindow w(options);
  w.SetMessageSink([](const QString&, const QString&, flovir::MessageIcon) {});
  w.resize(1000, 720);
  w.show();

  bool ok = true;
  auto fail = [&](const QString& what) {
    std::fprintf(stderr, "%s\n", qPrintable(what));
    ok = false;
  };
  auto save = [&](const QPixmap& picture, const QString& name) {
    if (!Rendered(picture.toImage())) return fail(name + ": nothing rendered");
    if (!picture.save(out.filePath(name))) fail(name + ": not saved");
  };
  auto button = [&](const char* name) { return w.findChild<QPushButton*>(name); };
  auto run = [&](const char* name) {
    button(name)->click();
    if (!RunUntil([&] { return !w.GetDispatcher().Busy(); }))
      return fail(QString(name) + ": timeout");
    if (!w.GetDispatcher().LastSucceeded()) {
      fail(QString(name) + ": " + QString::fromStdString(w.GetDispatcher().LastStatusText()));
    }
  };
  auto dates = [&](int first_days_ago, int last_days_ago) {
    w.findChild<QCalendarWidget*>("MonthCalendar1")
        ->setSelectedDate(QDate::currentDate().addDays(-first_days_ago));
    w.findChild<QCalendarWidget*>("MonthCalendar2")
        ->setSelectedDate(QDate::currentDate().addDays(-last_days_ago));
  };
  auto* pages = w.findChild<QTabWidget*>("PageControl1");
  auto shot = [&](int top, int inner, const QString& name) {
    pages->setCurrentIndex(top);
    qobject_cast<QTabWidget*>(pages->widget(top))->setCurrentIndex(inner);
    QCoreApplication::processEvents();
    save(w.grab(), name);
  };

  button("Button1")->click();
  run("Button4");
  dates(1, 1);
  run("Button5");
  dates(31, 1);
  run("Button6");
  dates(120, 1);
  run("Button7");
  button("Button12")->click();
  RunUntil([&] { return w.findChild<QPlainTextEdit*>("Memo3")->blockCount() >= 4; });
  button("Button12")->click();
  RunUntil([&] { return !w.GetDispatcher().Busy(); });
  run("Button8");  // the parameters, after the test poll

  shot(0, 0, "1-main-settings.png");
  shot(0, 1, "2-line-settings.png");
  shot(0, 2, "3-modem.png");
  shot(1, 0, "4-current.png");
  // Each archive page, then its chart on its own.
  auto chart = [&](flovir::ReportKind kind, const QString& name) {
    QString error;
    if (!w.Charts()->Chart(kind)->SaveImage(out.filePath(name), &error)) {
      fail(name + ": " + error);
    } else if (!Rendered(QImage(out.filePath(name)))) {
      fail(name + ": nothing rendered");
    }
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
    pages->setCurrentIndex(1);
    qobject_cast<QTabWidget*>(pages->widget(1))->setCurrentIndex(4);
    grid->setCurrentIndex(grid->model()->index(5, 2));
    grid->edit(grid->currentIndex());
    QCoreApplication::processEvents();
    save(w.grab(), "11-parameter-editor.png");
  }
  w.RemoteModem().show();
  QCoreApplication::processEvents();
  save(w.RemoteModem().grab(), "10-remote-modem.png");
  w.RemoteModem().hide();
  button("Button2")->click();
  std::printf("%s\n", qPrintable(out.path()));
  return ok ? 0 : 1;
}
