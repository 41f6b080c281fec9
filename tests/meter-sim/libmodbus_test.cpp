// libmodbus, an independent Modbus stack, as the master of the simulated
// meter: whatever it reads and writes must agree with the meter's own view.

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "tests/meter-sim/test_frames.h"
#include "tools/meter-sim/meter_server.h"

namespace flovir::sim {
namespace {

class LibmodbusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = modbus_new_rtu(server.SlavePath().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (ctx == nullptr) return;
    modbus_close(ctx);
    modbus_free(ctx);
  }

  std::vector<uint16_t> Read(int start, int count) {
    std::vector<uint16_t> regs(static_cast<size_t>(count));
    if (modbus_read_registers(ctx, start, count, regs.data()) != count) return {};
    return regs;
  }

  SimulatedMeter meter{MeterOptions{.clock = test::FixedClock({2024, 3, 7, 10, 20, 30})}};
  MeterServer server{meter, {.turnaround = std::chrono::milliseconds(1)}};
  modbus_t* ctx = nullptr;
};

TEST_F(LibmodbusTest, ReadsCurrentValuesAndTheSelectedArchiveEntry) {
  const auto current = meter.CurrentValues();
  EXPECT_EQ(Read(0, 64), std::vector<uint16_t>(current.begin(), current.end()));

  const std::vector<uint16_t> selector = test::Selector(2024, 2, 29, 0, 1, 1);
  ASSERT_EQ(modbus_write_registers(ctx, 0, 3, selector.data()), 3) << modbus_strerror(errno);
  const auto entry =
      meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kIntegrator, {2024, 2, 29}).Registers();
  EXPECT_EQ(Read(200, 26), std::vector<uint16_t>(entry.begin(), entry.end()));
}

TEST_F(LibmodbusTest, ParameterBlockRoundTrip) {
  std::vector<uint16_t> values(123);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint16_t>(i * 517);
  ASSERT_EQ(modbus_write_registers(ctx, 600, 123, values.data()), 123) << modbus_strerror(errno);
  EXPECT_EQ(Read(600, 123), values);
  const auto registers = meter.ParameterRegisters();
  EXPECT_EQ(std::vector<uint16_t>(registers.begin() + 200, registers.begin() + 323), values);
}

TEST_F(LibmodbusTest, RefusalsArriveAsModbusExceptions) {
  uint16_t regs[8];
  EXPECT_EQ(modbus_read_registers(ctx, 64, 1, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_registers(ctx, 395, 8, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx, 400, 1), -1);  // function 6
  EXPECT_EQ(errno, EMBXILFUN);
  const uint16_t bad_month[3] = {24 << 8 | 13, 1 << 8, 1};
  EXPECT_EQ(modbus_write_registers(ctx, 0, 3, bad_month), -1);
  EXPECT_EQ(errno, EMBXILVAL);
}

}  // namespace
}  // namespace flovir::sim
