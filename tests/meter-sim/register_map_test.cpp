// The simulated meter frame by frame: what each block answers, the selector
// and clock commands, the exceptions and the frames it stays silent to.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "tests/meter-sim/test_frames.h"
#include "tools/meter-sim/meter_archive.h"

namespace flovir::sim {
namespace {

using test::FixedClock;
using test::ReadFrame;
using test::RegistersOf;
using test::Selector;
using test::U32;
using test::WindowOf;
using test::WriteFrame;

using Bytes = std::vector<uint8_t>;

float FloatAt(const std::vector<uint16_t>& regs, size_t at) {
  return std::bit_cast<float>(U32(regs, at));
}

class RegisterMapTest : public ::testing::Test {
 protected:
  static constexpr MeterDateTime kNow{2024, 3, 7, 10, 20, 30};

  Bytes Send(const Bytes& frame) { return meter.HandleFrame(frame.data(), frame.size()); }
  std::vector<uint16_t> Read(uint16_t start, uint16_t count) {
    return RegistersOf(Send(ReadFrame(1, start, count)));
  }
  Bytes Write(uint16_t start, const std::vector<uint16_t>& values) {
    return Send(WriteFrame(1, start, values));
  }
  Bytes Exception(uint8_t function, uint8_t code) { return ExceptionReply(1, function, code); }

  SimulatedMeter meter{MeterOptions{.clock = FixedClock(kNow)}};
};

TEST(ModbusFrameTest, CrcAgreesWithPublishedFrames) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
  EXPECT_EQ(ReadFrame(1, 0, 10), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  EXPECT_EQ(WriteFrame(1, 0, {0x0102, 0x0304, 0x0506}),
            (Bytes{0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                   0x5C, 0x46}));
  EXPECT_EQ(ExceptionReply(1, 3, 2), (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
}

TEST_F(RegisterMapTest, CurrentValuesShowTheClockStatusesAndScaleCodes) {
  const std::vector<uint16_t> regs = Read(0, 64);
  ASSERT_EQ(regs.size(), 64u);
  EXPECT_EQ(regs[18], 7 << 8 | 10);   // day, hour
  EXPECT_EQ(regs[19], 24 << 8 | 3);   // year, month
  EXPECT_EQ(regs[29], 20 << 8 | 30);  // minutes, seconds
  const float codes[4] = {3, 3, 2, 1};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(FloatAt(regs, 48 + 2 * c), 1.0f) << "channel " << c + 1;
    EXPECT_EQ(FloatAt(regs, 56 + 2 * c), codes[c]);
    EXPECT_GT(FloatAt(regs, 40 + 2 * c), 0.0f);
    EXPECT_LT(FloatAt(regs, 40 + 2 * c), 1000.0f);
  }
  // A read of the scale codes alone, as every archive download starts, sees
  // the same registers.
  EXPECT_EQ(Read(56, 8), std::vector<uint16_t>(regs.begin() + 56, regs.end()));
}

TEST_F(RegisterMapTest, CurrentVolumesAreTheDaysIntegratorPlusTheHoursSoFar) {
  const std::vector<uint16_t> regs = Read(0, 64);
  const ArchiveEntry midnight =
      meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kIntegrator, {2024, 3, 7});
  const ArchiveEntry today =
      meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kInterval, {2024, 3, 7});
  // Hours 0-9 have ended; 1230 s of hour 10 count as well.
  const Totals running = HourlyAmounts(DayNumber(2024, 3, 7) * 24 + 10);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(U32(regs, 2 * c),
              midnight.volume[c] + today.volume[c] + running.volume[c] * 1230 / 3600)
        << "channel " << c + 1;
    EXPECT_EQ(U32(regs, 8 + 2 * c),
              midnight.operating[c] + today.operating[c] + running.operating[c] * 1230 / 3600);
    EXPECT_GT(today.volume[c], 0u);
  }
  EXPECT_EQ(U32(regs, 16), midnight.mains + today.mains + running.mains * 1230 / 3600);
}

TEST_F(RegisterMapTest, FailedChannelReportsStatusZeroAndNoFlow) {
  meter.SetChannelFailed(2, true);
  const std::vector<uint16_t> regs = Read(40, 16);
  EXPECT_EQ(FloatAt(regs, 2), 0.0f);   // F2
  EXPECT_EQ(FloatAt(regs, 10), 0.0f);  // ChannelStatus 2
  EXPECT_EQ(FloatAt(regs, 8), 1.0f);   // ChannelStatus 1
  EXPECT_GT(FloatAt(regs, 0), 0.0f);   // F1
  meter.SetChannelFailed(2, false);
  EXPECT_EQ(FloatAt(Read(40, 16), 10), 1.0f);
}

TEST_F(RegisterMapTest, SelectorChoosesTheEntryThatTheWindowShows) {
  EXPECT_EQ(Read(200, 26), std::vector<uint16_t>(26, 0)) << "nothing selected yet";
  const Bytes request = WriteFrame(1, 0, Selector(2024, 3, 6, 14, 0, 0));
  EXPECT_EQ(Send(request), (Bytes{0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x80, 0x08}));
  const auto expected =
      meter.Entry(ArchiveKind::kHourly, ArchiveValueType::kInterval, {2024, 3, 6, 14}).Registers();
  const std::vector<uint16_t> window = Read(200, 26);
  EXPECT_EQ(window, std::vector<uint16_t>(expected.begin(), expected.end()));
  EXPECT_LT(U32(window, 0), kNoData);

  ASSERT_FALSE(Write(0, Selector(2024, 3, 1, 0, 2, 1)).empty());
  const auto month =
      meter.Entry(ArchiveKind::kMonthly, ArchiveValueType::kIntegrator, {2024, 3, 1});
  const std::vector<uint16_t> integrator = Read(200, 26);
  EXPECT_EQ(integrator, WindowOf(month));
  // Parts of the window read as the same registers.
  EXPECT_EQ(Read(213, 13), std::vector<uint16_t>(integrator.begin() + 13, integrator.end()));
}

TEST_F(RegisterMapTest, SelectorSentInTwoFramesActsWhenRegisterTwoArrives) {
  const std::vector<uint16_t> selector = Selector(2024, 3, 5, 23, 1, 0);
  ASSERT_FALSE(Write(0, {selector[0], selector[1]}).empty());
  EXPECT_EQ(Read(200, 26), std::vector<uint16_t>(26, 0)) << "registers 0-1 alone select nothing";
  ASSERT_FALSE(Write(2, {selector[2]}).empty());
  const auto day =
      meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kInterval, {2024, 3, 5}).Registers();
  EXPECT_EQ(Read(200, 26), std::vector<uint16_t>(day.begin(), day.end()));
  // One register at a time, as with a chunk size of 1.
  const std::vector<uint16_t> hourly = Selector(2024, 3, 4, 2, 0, 0);
  for (uint16_t r = 0; r < 3; ++r) ASSERT_FALSE(Write(r, {hourly[r]}).empty());
  const auto hour =
      meter.Entry(ArchiveKind::kHourly, ArchiveValueType::kInterval, {2024, 3, 4, 2}).Registers();
  EXPECT_EQ(Read(200, 26), std::vector<uint16_t>(hour.begin(), hour.end()));
}

TEST_F(RegisterMapTest, ClockWriteSetsTheClockToTheMinute) {
  // 09:05 on 7 March 2024: registers 6147, 1801 and 1535.
  EXPECT_FALSE(meter.LastClockSet().has_value());
  ASSERT_FALSE(Write(0, {6147, 1801, 1535}).empty());
  const MeterDateTime set{2024, 3, 7, 9, 5, 0};
  EXPECT_EQ(meter.LastClockSet(), set);
  EXPECT_EQ(meter.Clock(), set);  // the time source stands still in this test
  const std::vector<uint16_t> regs = Read(0, 64);
  EXPECT_EQ(regs[18], 7 << 8 | 9);
  EXPECT_EQ(regs[29], 5 << 8 | 0);
  // The archives follow the meter's clock: 09:00 is now the running hour.
  ASSERT_FALSE(Write(0, Selector(2024, 3, 7, 9, 0, 0)).empty());
  EXPECT_EQ(U32(Read(200, 26), 0), kNoData);
}

TEST_F(RegisterMapTest, CommandsThatNameNoRealMomentAreRefused) {
  ASSERT_FALSE(Write(0, Selector(2024, 3, 6, 14, 0, 0)).empty());
  const std::vector<uint16_t> window = Read(200, 26);
  const struct {
    const char* what;
    std::vector<uint16_t> command;
  } refused[] = {
      {"month 13", Selector(2024, 13, 1, 0, 1, 0)},
      {"30 February", Selector(2024, 2, 30, 0, 1, 0)},
      {"hour 24", Selector(2024, 3, 6, 24, 0, 0)},
      {"kind 3", Selector(2024, 3, 6, 0, 3, 0)},
      {"value type 2", Selector(2024, 3, 6, 0, 1, 2)},
      {"hourly integrator", Selector(2024, 3, 6, 0, 0, 1)},
      {"clock at minute 60", {6147, 1801, 60 << 8 | 255}},
      {"clock on 31 April", {24 << 8 | 4, 31 << 8 | 9, 255}},
  };
  for (const auto& [what, command] : refused) {
    EXPECT_EQ(Write(0, command), Exception(16, 3)) << what;
  }
  EXPECT_EQ(Read(200, 26), window);
  EXPECT_FALSE(meter.LastClockSet().has_value());
}

TEST_F(RegisterMapTest, ParameterBlockKeepsWhatIsWritten) {
  std::vector<uint16_t> block;
  for (uint16_t start = 400; start < 912; start += 125) {
    const auto part = Read(start, static_cast<uint16_t>(std::min(125, 912 - start)));
    block.insert(block.end(), part.begin(), part.end());
  }
  const auto registers = meter.ParameterRegisters();
  EXPECT_EQ(block, std::vector<uint16_t>(registers.begin(), registers.end()));
  EXPECT_EQ(FloatAt(block, 14), 100.0f);  // value 7, the diameter of channel 1
  for (size_t hidden : {31u, 49u, 190u, 223u, 255u}) {
    EXPECT_NE(meter.Parameter(hidden), 0.0f) << "value " << hidden;
  }

  std::vector<uint16_t> written;
  for (uint16_t i = 0; i < 123; ++i) written.push_back(static_cast<uint16_t>(0xA000 + i));
  Bytes acknowledgement{0x01, 0x10, 0x03, 0x15, 0x00, 0x7B};
  AppendCrc(acknowledgement);
  EXPECT_EQ(Write(789, written), acknowledgement);
  EXPECT_EQ(Read(789, 123), written);
  meter.SetParameter(255, 1.5f);
  EXPECT_EQ(FloatAt(Read(910, 2), 0), 1.5f);
}

TEST_F(RegisterMapTest, TestBlockRunsFromTheLastParametersIntoLiveValues) {
  const std::vector<uint16_t> regs = Read(880, 64);
  ASSERT_EQ(regs.size(), 64u);
  EXPECT_EQ(std::vector<uint16_t>(regs.begin(), regs.begin() + 32), Read(880, 32));
  const std::vector<uint16_t> flows = Read(40, 8);
  EXPECT_EQ(std::vector<uint16_t>(regs.begin() + 32, regs.begin() + 40), flows);
  EXPECT_EQ(Read(880, 255).size(), 0u) << "more than one frame holds";
  EXPECT_EQ(Read(1011, 125).size(), 125u);
  EXPECT_EQ(Send(ReadFrame(1, 1012, 125)), Exception(3, 2));
}

TEST_F(RegisterMapTest, AccessOutsideOneBlockIsExceptionTwo) {
  const struct {
    uint16_t start, count;
  } reads[] = {{60, 8},  {64, 1},   {199, 2},  {225, 2},  {226, 1},
               {399, 2}, {300, 10}, {1136, 1}, {65535, 1}};
  for (const auto& [start, count] : reads) {
    EXPECT_EQ(Send(ReadFrame(1, start, count)), Exception(3, 2))
        << "read " << start << "+" << count;
  }
  const struct {
    uint16_t start, count;
  } writes[] = {{3, 1}, {0, 4}, {1, 3}, {200, 3}, {399, 2}, {911, 2}, {880, 64}};
  for (const auto& [start, count] : writes) {
    EXPECT_EQ(Write(start, std::vector<uint16_t>(count, 0)), Exception(16, 2))
        << "write " << start << "+" << count;
  }
  EXPECT_EQ(Read(911, 1).size(), 1u);
  EXPECT_EQ(Read(63, 1).size(), 1u);
}

TEST_F(RegisterMapTest, OtherFunctionsAndCountsOutOfRangeAreRefused) {
  for (uint8_t function : {1, 2, 4, 5, 6, 15, 23, 0x43}) {
    Bytes frame{1, function, 0, 0, 0, 1};
    AppendCrc(frame);
    EXPECT_EQ(Send(frame), Exception(function, 1)) << "function " << int{function};
  }
  EXPECT_EQ(Send(ReadFrame(1, 0, 0)), Exception(3, 3));
  EXPECT_EQ(Send(ReadFrame(1, 400, 126)), Exception(3, 3));
  EXPECT_EQ(Write(400, {}), Exception(16, 3));
  Bytes mismatched = WriteFrame(1, 400, {1, 2});
  mismatched[5] = 1;  // one register announced, two sent
  mismatched.resize(mismatched.size() - 2);
  AppendCrc(mismatched);
  EXPECT_EQ(Send(mismatched), Exception(16, 3));
}

TEST_F(RegisterMapTest, SilentToOtherAddressesBadFramesAndBroadcasts) {
  EXPECT_TRUE(Send(ReadFrame(2, 0, 10)).empty());
  EXPECT_TRUE(Send(ReadFrame(247, 0, 10)).empty());
  Bytes corrupted = ReadFrame(1, 0, 10);
  corrupted[3] ^= 1;
  EXPECT_TRUE(Send(corrupted).empty());
  EXPECT_TRUE(Send({0x01, 0x03, 0x00}).empty());
  EXPECT_TRUE(Send({}).empty());
  Bytes long_read = {1, 3, 0, 0, 0, 10, 0};  // a read with a stray byte before its CRC
  AppendCrc(long_read);
  EXPECT_TRUE(Send(long_read).empty());

  // A broadcast write is carried out without a reply.
  EXPECT_TRUE(Send(WriteFrame(0, 400, {0x1234})).empty());
  EXPECT_EQ(meter.ParameterRegisters()[0], 0x1234);
  EXPECT_TRUE(Send(ReadFrame(0, 0, 10)).empty());

  const auto frames = meter.ReceivedFrames();
  ASSERT_EQ(frames.size(), 8u);
  EXPECT_EQ(frames[0], ReadFrame(2, 0, 10));
  meter.ClearReceivedFrames();
  EXPECT_TRUE(meter.ReceivedFrames().empty());
}

TEST(MeterOptionsTest, AnswersAtItsOwnAddressWithItsScaleCodes) {
  SimulatedMeter meter({.address = 17, .scale_codes = {1, 2, 3, 4}});
  EXPECT_TRUE(RegistersOf(meter.HandleFrame(ReadFrame(1, 56, 8).data(), 8)).empty());
  const auto regs = RegistersOf(meter.HandleFrame(ReadFrame(17, 56, 8).data(), 8));
  ASSERT_EQ(regs.size(), 8u);
  EXPECT_EQ(FloatAt(regs, 6), 4.0f);
  meter.SetScaleCode(4, 2.6f);
  EXPECT_EQ(FloatAt(RegistersOf(meter.HandleFrame(ReadFrame(17, 56, 8).data(), 8)), 6), 2.6f);
}

}  // namespace
}  // namespace flovir::sim
