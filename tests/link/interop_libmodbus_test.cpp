// Interoperability with libmodbus: our master against a libmodbus slave, and
// a libmodbus master against our simulated meter, over pseudo-terminals.

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cstring>

#include "tests/link/interop_common.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::test {
namespace {

constexpr int kBlock = 300;

// A libmodbus RTU slave at address 1 on its own thread, registers 0-299.
class LibmodbusSlave {
 public:
  explicit LibmodbusSlave(const std::string& path) {
    ctx_ = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
    if (!ctx_ || modbus_set_slave(ctx_, 1) != 0 || modbus_connect(ctx_) != 0) {
      throw std::runtime_error(std::string("libmodbus slave: ") + modbus_strerror(errno));
    }
    map_ = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kBlock, 0, 0);
    for (int r = 0; r < kBlock; ++r) map_->tab_registers[r] = static_cast<uint16_t>(r * 3 + 1);
    thread_ = std::thread([this] { Run(); });
  }
  ~LibmodbusSlave() {
    stop_ = true;
    thread_.join();
    modbus_mapping_free(map_);
    modbus_close(ctx_);
    modbus_free(ctx_);
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p = {modbus_get_socket(ctx_), POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
      const int length = modbus_receive(ctx_, query);
      if (length > 0) modbus_reply(ctx_, query, length, map_);
    }
  }

  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class OurMasterLibmodbusSlave : public testing::Test {
 protected:
  PtyBridge bridge;
  LibmodbusSlave slave{bridge.PathB()};
  PathLink link{bridge.PathA(), 2000};
};

TEST_F(OurMasterLibmodbusSlave, ReadsTheSlavesRegisters) {
  std::vector<uint8_t> data(2 * kBlock);
  ASSERT_EQ(link.Run(3, 0, kBlock, data.data()), ExchangeStatus::Success);
  for (int r = 0; r < kBlock; ++r) ASSERT_EQ(data[2 * r] | data[2 * r + 1] << 8, r * 3 + 1);
}

TEST_F(OurMasterLibmodbusSlave, EveryChunkSizeWritesAndReadsTheBlock) {
  SweepChunkSizes(link, kBlock);
}

TEST_F(OurMasterLibmodbusSlave, ExceptionsOutsideTheBlock) {
  ExpectIllegalAddressOutside(link, kBlock);
}

TEST_F(OurMasterLibmodbusSlave, TheWriteExampleGetsTheSlavesEcho) {
  std::vector<uint8_t> data = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05};
  ASSERT_EQ(link.Run(16, 0, 3, data.data()), ExchangeStatus::Success);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "out: 0x01 0x10 0x00 0x00 0x00 0x03 0x06 0x01 0x02 0x03 0x04 0x05 0x06 0x5C 0x46 "
            "(15 байт)");
  EXPECT_EQ(lines[1], "in:  0x01 0x10 0x00 0x00 0x00 0x03 0x80 0x08 (8 байт)");
}

// libmodbus as the master, our simulated meter as the slave.
class LibmodbusMasterSimulatedMeter : public testing::Test {
 protected:
  void SetUp() override {
    ctx = modbus_new_rtu(server.SlavePath().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    modbus_set_response_timeout(ctx, 5, 0);
  }
  void TearDown() override {
    modbus_close(ctx);
    modbus_free(ctx);
  }
  std::vector<uint16_t> Read(int start, int count) {
    std::vector<uint16_t> values(count);
    EXPECT_EQ(modbus_read_registers(ctx, start, count, values.data()), count)
        << modbus_strerror(errno);
    return values;
  }

  sim::SimulatedMeter meter;
  sim::MeterServer server{meter};
  modbus_t* ctx = nullptr;
};

TEST_F(LibmodbusMasterSimulatedMeter, CurrentValues) {
  const auto before = meter.CurrentValues();
  const std::vector<uint16_t> values = Read(0, 64);
  const auto after = meter.CurrentValues();
  int stable = 0;
  for (size_t k = 0; k < 64; ++k) {
    if (before[k] != after[k]) continue;  // a value that moved meanwhile
    ++stable;
    EXPECT_EQ(values[k], before[k]) << "register " << k;
  }
  EXPECT_GT(stable, 32);
}

TEST_F(LibmodbusMasterSimulatedMeter, ASelectorWriteChoosesTheArchiveWindow) {
  const sim::MeterDateTime day = meter.FirstDay();
  struct Case {
    sim::ArchiveKind kind;
    sim::ArchiveValueType type;
    int hour;
  };
  for (const Case& c : {Case{sim::ArchiveKind::kHourly, sim::ArchiveValueType::kInterval, 5},
                        Case{sim::ArchiveKind::kDaily, sim::ArchiveValueType::kInterval, 0},
                        Case{sim::ArchiveKind::kDaily, sim::ArchiveValueType::kIntegrator, 0}}) {
    sim::MeterDateTime when = day;
    when.day = day.day;
    when.hour = c.hour;
    const uint16_t selector[3] = {
        static_cast<uint16_t>((when.year % 100) << 8 | when.month),
        static_cast<uint16_t>(when.day << 8 | when.hour),
        static_cast<uint16_t>(static_cast<int>(c.type) << 8 | static_cast<int>(c.kind))};
    ASSERT_EQ(modbus_write_registers(ctx, 0, 3, selector), 3) << modbus_strerror(errno);
    const std::vector<uint16_t> window = Read(200, 26);
    const auto expected = meter.Entry(c.kind, c.type, when).Registers();
    EXPECT_EQ(window, std::vector<uint16_t>(expected.begin(), expected.end()));
  }
}

TEST_F(LibmodbusMasterSimulatedMeter, TheParameterBlockRoundTrip) {
  std::vector<uint16_t> block(512);
  for (int at = 0; at < 512; at += 125) {
    const int n = std::min(125, 512 - at);
    const auto part = Read(400 + at, n);
    std::copy(part.begin(), part.end(), block.begin() + at);
  }
  const auto held = meter.ParameterRegisters();
  EXPECT_EQ(block, std::vector<uint16_t>(held.begin(), held.end()));

  for (int i = 0; i < 256; i += 5) {  // float32, low-order word first
    const float value = 1.25f * static_cast<float>(i) - 7.0f;
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    block[2 * i] = bits & 0xFFFF;
    block[2 * i + 1] = bits >> 16;
  }
  for (int at = 0; at < 512; at += 100) {
    const int n = std::min(100, 512 - at);
    ASSERT_EQ(modbus_write_registers(ctx, 400 + at, n, block.data() + at), n)
        << modbus_strerror(errno);
  }
  EXPECT_EQ(Read(400, 100), std::vector<uint16_t>(block.begin(), block.begin() + 100));
  EXPECT_FLOAT_EQ(meter.Parameter(10), 1.25f * 10 - 7.0f);
}

TEST_F(LibmodbusMasterSimulatedMeter, ExceptionTwoOutsideTheBlocks) {
  uint16_t values[10];
  EXPECT_EQ(modbus_read_registers(ctx, 100, 10, values), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_registers(ctx, 60, 10, values), -1) << "across the end of a block";
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_registers(ctx, 300, 2, values), -1);
  EXPECT_EQ(errno, EMBXILADD);
}

}  // namespace
}  // namespace flovir::test
