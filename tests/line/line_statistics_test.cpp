// The line's statistics: what they make of reply times, and that over a real
// pseudo-terminal they count exactly the faults the simulated meter played.

#include <gtest/gtest.h>

#include <chrono>

#include "link/line_statistics.h"
#include "operations/clock.h"
#include "session/session.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tools/meter-sim/meter_server.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

TEST(LineStatistics, ReplyTimesAndTheTimeoutTheySuggest) {
  struct Case {
    std::vector<double> samples;
    double median, p95;
    uint32_t suggested;
  };
  const Case cases[] = {
      {{12}, 12, 12, 200},                     // never below 200 ms
      {{180, 420, 300, 200}, 200, 420, 1000},  // 2 x 420 + 100, up to whole hundreds
      {{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 2000},
       100,
       190,
       4100},  // one slow reply in twenty sets the timeout, not the 95%
  };
  for (const Case& c : cases) {
    const ReplyTimes r = SummariseReplyTimes(c.samples);
    EXPECT_EQ(r.median_ms, c.median);
    EXPECT_EQ(r.p95_ms, c.p95);
    EXPECT_EQ(SuggestedTimeoutMs(r), c.suggested);
  }
  EXPECT_EQ(TuningText(SummariseReplyTimes({180, 420}), 1000),
            "ответ 180–420 мс, предлагаю 1000 мс");
}

TEST(LineStatistics, AdviceNamesWhatTheLineShows) {
  LineStatisticsSnapshot s;
  EXPECT_TRUE(StatisticsAdvice(s, 3000).empty()) << "nothing ran";
  s.counts.tries = 100;
  s.replies = SummariseReplyTimes({20, 30});
  EXPECT_TRUE(StatisticsAdvice(s, 3000).empty()) << "a healthy line";
  s.counts.bad_crc = 5;
  s.replies = SummariseReplyTimes({20, 2500});
  const std::vector<std::string> advice = StatisticsAdvice(s, 3000);
  ASSERT_EQ(advice.size(), 2u);
  EXPECT_NE(advice[0].find("проводку"), std::string::npos);
  EXPECT_NE(advice[1].find("близко к тайм-ауту"), std::string::npos);
}

// A download over a pseudo-terminal with a bad CRC on every 10th reply and
// silence on every 20th: each failed try is counted once, as what it was,
// and repeated; nothing is taken for a late reply.
TEST(LineStatistics, CountTheFaultsTheMeterInjected) {
  sim::SimulatedMeter meter;
  sim::MeterServer server(meter);
  meter.SetFaults({{.kind = sim::FaultKind::kBadCrc, .every = 10},
                   {.kind = sim::FaultKind::kNoAnswer, .every = 20}});
  testing::ScratchFolder folder;
  testing::RecordingView view;
  SystemClock clock;
  Session session(view, clock, {.program_folder = folder.Path()});
  Settings settings;
  settings.port_name = server.SlavePath();
  settings.answer_timeout_ms = 300;  // silence costs little
  ASSERT_TRUE(session.Start(settings));
  const double yesterday = std::floor(clock.Now()) - 1;
  ASSERT_TRUE(session.StartArchive(ArchiveKind::Hourly, yesterday, yesterday));
  ASSERT_TRUE(session.RunToEnd()) << session.LastStatusText();
  session.Stop();

  const std::map<sim::FaultKind, unsigned> injected = meter.InjectedFaults();
  const LineCounts c = session.Statistics().Snapshot().counts;
  ASSERT_GT(injected.at(sim::FaultKind::kBadCrc), 2u);
  ASSERT_GT(injected.at(sim::FaultKind::kNoAnswer), 1u);
  EXPECT_EQ(c.bad_crc, injected.at(sim::FaultKind::kBadCrc));
  EXPECT_EQ(c.timeouts, injected.at(sim::FaultKind::kNoAnswer));
  EXPECT_EQ(c.repeats, c.bad_crc + c.timeouts);
  EXPECT_EQ(c.tries, c.frames + c.repeats);
  EXPECT_EQ(c.other_address + c.bad_length + c.discarded, 0u);
  EXPECT_EQ(session.Statistics().Snapshot().replies.count, c.frames);
}

}  // namespace
}  // namespace flovir
