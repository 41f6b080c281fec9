// The service report: its reading of the two clocks, and a whole visit to
// the simulated meter read back from the PDF.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>

#include "operations/clock.h"
#include "print/service_report.h"
#include "reports/number_format.h"
#include "session/session.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tests/support/recording_view.h"
#include "tools/meter-sim/meter_server.h"
#include "workbook/serial_date.h"

namespace flovir::print {
namespace {

TEST(ServiceReportClock, DifferenceInTheUsersWords) {
  const double computer = EncodeDateTime({2026, 12, 9, 17, 40, 0});
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "часы прибора и компьютера совпадают"},
      {0.4, "часы прибора и компьютера совпадают"},
      {5, "часы прибора спешат на 05 с"},
      {-65, "часы прибора отстают на 1 мин 05 с"},
      {7200, "часы прибора спешат на 2 ч 00 мин 00 с"},
      {-(3 * 86400 + 3600 + 61), "часы прибора отстают на 3 сут 1 ч 01 мин 01 с"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockDifferenceText(computer + c.seconds / 86400.0, computer), c.text) << c.seconds;
  }
}

TEST(ServiceReportClock, MeterClockAsADate) {
  const auto serial = MeterClockSerial({7, 3, 24, 9, 5, 0});
  ASSERT_TRUE(serial.has_value());
  EXPECT_DOUBLE_EQ(*serial, EncodeDateTime({2024, 3, 7, 9, 5, 0}));
  // A clock that was never set, or a date no calendar has.
  for (const DeviceClock clock :
       {DeviceClock{0, 0, 0, 0, 0, 0}, DeviceClock{30, 2, 25, 0, 0, 0},
        DeviceClock{1, 1, 25, 24, 0, 0}, DeviceClock{1, 13, 25, 0, 0, 0}}) {
    EXPECT_FALSE(MeterClockSerial(clock).has_value());
  }
}

// A visit over a pseudo-terminal: the values read, one parameter written
// (with its backup, write and read-back), and the service report of that
// session read back by pdftotext: the change with its old and new values,
// the clock and the statistics, on at most two pages.
TEST(ServiceReport, ASessionWithAParameterWrite) {
  sim::SimulatedMeter meter;
  sim::MeterServer server(meter);
  testing::ScratchFolder folder;
  testing::RecordingView view;
  SystemClock clock;
  Session session(view, clock, {.program_folder = folder.Path()});
  Settings settings;
  settings.port_name = server.SlavePath();
  ASSERT_TRUE(session.Start(settings));
  ASSERT_TRUE(session.StartCurrentValues() && session.RunToEnd()) << session.LastStatusText();
  const double computer_time = clock.Now();
  ASSERT_TRUE(session.ReadParameters() && session.RunToEnd()) << session.LastStatusText();
  // "Диаметр, мм [D]" of channel 1 is value 7.
  const float before = session.GetDispatcher().Parameters().ParameterValue(7);
  session.GetDispatcher().Parameters().SetParameterValue(7, 152.5f);
  ASSERT_TRUE(session.WriteParameters() && session.RunToEnd()) << session.LastStatusText();
  ASSERT_TRUE(session.ReadParameters() && session.RunToEnd()) << session.LastStatusText();

  ServiceReportData data = ServiceDataOf(session, "котельная 3", computer_time, true, true);
  ASSERT_EQ(data.changes.size(), 2u);
  EXPECT_NE(data.changes[0].find("записано и проверено, изменено значений: 1"), std::string::npos);
  const std::string change =
      "Диаметр, мм [D], канал 1: " + FormatFixed(before, 9, 2) + " -> 152,50";
  EXPECT_NE(data.changes[1].find(change), std::string::npos) << data.changes[1];
  ASSERT_TRUE(data.meter_clock.has_value());

  static int argc = 3;
  static char program[] = "test", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {program, option, platform, nullptr};
  QGuiApplication application(argc, argv);
  const std::string pdf = folder.Path() + "/акт.pdf";
  WritePdf(ServiceReportDocument(data, session.Table(), {"котельная 3", HeaderDate(computer_time)}),
           pdf);
  const std::string text = testing::RunCapturing("pdftotext -layout '" + pdf + "' -").output;
  EXPECT_NE(text.find(change), std::string::npos) << text;
  EXPECT_NE(text.find("152,50"), std::string::npos);
  EXPECT_NE(text.find("котельная 3"), std::string::npos);
  EXPECT_NE(text.find("запросов"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << "two pages";
}

}  // namespace
}  // namespace flovir::print
