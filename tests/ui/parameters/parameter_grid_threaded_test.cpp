// Under ThreadSanitizer: parameter reads one after another through the
// window's executor while the grid repaints without pause. The exchange
// thread must never touch what the grid draws. GoogleTest, not QtTest: the
// QtTest watchdog is a thread of Qt, which is not built for the sanitizer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "page_rig.h"
#include "tests/ui/run_until.h"

namespace flovir {
namespace {

TEST(ParameterGridThreaded, ReadsWhileTheGridRepaints) {
  testing::Rig rig;
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, [&] { rig.page.Grid().viewport()->repaint(); });
  repaint.start(0);
  for (int round = 1; round <= 10; ++round) {
    for (int i = 0; i < 256; ++i) rig.meter.SetParameter(i, float(round * 100 + i));
    rig.page.Read();
    ASSERT_TRUE(testing::RunEventsUntil([&] { return !rig.dispatcher.Busy(); }));
    ASSERT_EQ(rig.dispatcher.LastStatusText(), "Завершено успешно");
    // Row 37 of channel 4 is value 213.
    ASSERT_EQ(rig.Text(37, 4), QString::number(round * 100 + 213) + ",0000");
  }
}

}  // namespace
}  // namespace flovir

// The application lives on main's stack: Qt's own statics are gone by the
// time a static QApplication would be destroyed.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
