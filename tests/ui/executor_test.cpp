// The window's executor with the real exchange thread: an hourly archive
// downloaded from the simulated meter on a pseudo-terminal, its end run on
// the window's background threads, and a Stop in the middle of a download,
// which must end the thread without a deadlock while it waits for its
// hand-over. Only QtCore runs here (Qt is not built for
// ThreadSanitizer, so no QtTest either: its watchdog thread is Qt's own);
// the view records.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <functional>

#include "connection/connection.h"
#include "operations/archive_download.h"
#include "operations/dispatcher.h"
#include "tests/support/recording_view.h"
#include "tests/ui/run_until.h"
#include "tools/meter-sim/meter_server.h"
#include "ui/qt_executor.h"
#include "ui/threaded_background.h"

using namespace flovir;

namespace {

using flovir::testing::RecordingView;

const std::vector<std::string>& Hourly(const RecordingView& view) {
  return view.reports[static_cast<size_t>(ReportKind::Hourly)];
}

double DaysAgo(int days) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate::currentDate().addDays(-days)));
}

}  // namespace

// One application object for the whole program, as in the window.
QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "flovir_window_executor_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

struct Rig {
  sim::SimulatedMeter meter;
  sim::MeterServer server{meter, sim::ServerOptions{.pacing = false}};
  ui::QtExecutor executor;
  RecordingView view;
  SystemClock clock;
  Dispatcher dispatcher{view, clock};
  SerialPortProvider ports;
  Connection connection{view, ports, [this] {
                          LinkParts link;
                          link.request = &dispatcher.Request();
                          link.executor = &executor;
                          link.exchange_completed = [this] { dispatcher.ExchangeCompleted(); };
                          link.on_thread_changed = [this](ExchangeThread* t) {
                            dispatcher.SetThread(t);
                          };
                          return link;
                        }()};
  // The end of an archive (save, read-back, table) runs on its threads.
  ui::ThreadedBackground background;

  explicit Rig(const QString& folder) {
    // The window's repaints run the executor's queue.
    view.on_events = [this] { executor.ProcessPendingEvents(); };
    dispatcher.SetProgramFolder(folder.toStdString());
    dispatcher.SetBackground(&background);
    Settings settings;
    settings.port_name = server.SlavePath();
    connection.Start(settings);
  }
};

TEST(WindowExecutor, HourlyArchiveThroughTheExecutor) {
  App();
  QTemporaryDir dir;
  Rig rig(dir.path());
  ASSERT_TRUE(rig.connection.Connected());
  EXPECT_TRUE(rig.dispatcher.StartArchive(OperationKind::HourlyArchive, DaysAgo(2), DaysAgo(1)));
  ASSERT_TRUE(flovir::testing::RunEventsUntil([&] { return !rig.dispatcher.Busy(); }));
  EXPECT_EQ(rig.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_TRUE(rig.view.ButtonsEnabled());
  EXPECT_TRUE(Hourly(rig.view).size() > 48);
  EXPECT_TRUE(QDir(dir.path()).exists("temp.xls"));
  EXPECT_TRUE(rig.connection.Stop());
}

TEST(WindowExecutor, StopDuringADownload) {
  App();
  QTemporaryDir dir;
  Rig rig(dir.path());
  EXPECT_TRUE(rig.dispatcher.StartArchive(OperationKind::HourlyArchive, DaysAgo(30), DaysAgo(1)));
  ASSERT_TRUE(flovir::testing::RunEventsUntil(
      [&] { return rig.dispatcher.Archive().Job().done_steps > 20; }));
  EXPECT_TRUE(rig.connection.Stop());
  EXPECT_TRUE(!rig.dispatcher.Busy());
  EXPECT_TRUE(Hourly(rig.view).empty());
  EXPECT_TRUE(!QDir(dir.path()).exists("temp.xls"));
}
