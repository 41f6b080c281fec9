// Interoperability with pymodbus: our master against its RTU server, run by
// the system's Python on the other end of a pseudo-terminal line.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "tests/link/interop_common.h"

namespace flovir::test {
namespace {

constexpr int kBlock = 300;

class PymodbusServer {
 public:
  explicit PymodbusServer(const std::string& path) {
    const std::string script = FLOVIR_SOURCE_DIR "/tests/link/pymodbus_slave.py";
    const std::string size = std::to_string(kBlock);
    const char* argv[] = {"/usr/bin/python3", script.c_str(), path.c_str(), size.c_str(), nullptr};
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      throw std::runtime_error("cannot start /usr/bin/python3");
    }
  }
  ~PymodbusServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

class OurMasterPymodbusServer : public testing::Test {
 protected:
  void SetUp() override {
    // Python takes a moment to start and open its end of the line.
    std::vector<uint8_t> data(2);
    for (int i = 0; i < 100 && link.Run(3, 0, 1, data.data(), 1, 1) != ExchangeStatus::Success;
         ++i) {
    }
    ASSERT_EQ(link.request().Status, ExchangeStatus::Success) << "pymodbus server did not answer";
  }
  PtyBridge bridge;
  PymodbusServer server{bridge.PathB()};
  PathLink link{bridge.PathA(), 2000};
};

TEST_F(OurMasterPymodbusServer, ReadsTheServersRegisters) {
  std::vector<uint8_t> data(2 * kBlock);
  ASSERT_EQ(link.Run(3, 0, kBlock, data.data()), ExchangeStatus::Success);
  for (int r = 0; r < kBlock; ++r) ASSERT_EQ(data[2 * r] | data[2 * r + 1] << 8, r * 3 + 1);
}

TEST_F(OurMasterPymodbusServer, EveryChunkSizeWritesAndReadsTheBlock) {
  SweepChunkSizes(link, kBlock);
}

TEST_F(OurMasterPymodbusServer, ExceptionsOutsideTheBlock) {
  ExpectIllegalAddressOutside(link, kBlock);
}

}  // namespace
}  // namespace flovir::test
