// flovir-cli params and clock as a user runs them: separate processes on a
// real pseudo-terminal, with flovir-meter-sim as the meter.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/programs.h"

namespace {

namespace fs = std::filesystem;

using flovir::testing::kCli;
const std::string kSim = std::string(FLOVIR_BINARY_DIR) + "/tools/meter-sim/flovir-meter-sim";

using Output = flovir::testing::CliRun;
using flovir::testing::RunCli;

// flovir-meter-sim in a child process; its first line names the pty.
class MeterProcess {
 public:
  MeterProcess() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // The meter goes with the test, also when the test dies.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      execl(kSim.c_str(), kSim.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    char line[512] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
      path_ = line;
      if (!path_.empty() && path_.back() == '\n') path_.pop_back();
    }
    if (out != nullptr) std::fclose(out);
  }
  ~MeterProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

std::optional<std::string> RowOf(const Output& out, const std::string& name) {
  for (const std::string& line : out.Lines()) {
    if (line.rfind(name, 0) == 0) return line;
  }
  return std::nullopt;
}

TEST(ParamsCommand, ReadSetWriteAndReadAgainOverAPseudoTerminal) {
  MeterProcess meter;
  ASSERT_FALSE(meter.Path().empty());
  const flovir::testing::ScratchFolder folder{"flovir-pcli"};
  const std::string port = " --port " + meter.Path();
  const std::string folder_option = " --folder " + folder.Path();
  const std::string saved = (folder / "копия.xls").string();

  const Output first =
      RunCli("params read --save " + (folder / "копия").string() + port + folder_option);
  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(first.Lines().size(), 38u + 2u);  // the rows, the status, the saved file
  EXPECT_EQ(first.Lines()[38], "Завершено успешно");
  EXPECT_EQ(first.Lines()[39], saved);
  EXPECT_TRUE(fs::exists(folder / "авто_" / "параметры.xls"));

  EXPECT_EQ(RunCli("params set '" + saved + "' 6 2 1234,5").status, 0);
  EXPECT_EQ(RunCli("params set '" + saved + "' 3 2 1").status, 1);    // measured: read-only
  EXPECT_EQ(RunCli("params set '" + saved + "' 6 2 1.5").status, 1);  // a point is no separator
  const Output write = RunCli("params write --load '" + saved + "'" + port);
  ASSERT_EQ(write.status, 0);
  EXPECT_EQ(write.Lines(), std::vector<std::string>{"Завершено успешно"});

  const Output second = RunCli("params read" + port + folder_option);
  ASSERT_EQ(second.status, 0);
  ASSERT_EQ(second.Lines().size(), 39u);
  for (size_t row = 0; row < 38; ++row) {
    if (row != 6) {
      EXPECT_EQ(second.Lines()[row], first.Lines()[row]) << row;
    }
  }
  const std::optional<std::string> maximum = RowOf(second, "Максимум, м3/час");
  ASSERT_TRUE(maximum.has_value());
  EXPECT_NE(maximum->find(" 1234,5 "), std::string::npos) << *maximum;

  const Output clock = RunCli("clock" + port);
  EXPECT_EQ(clock.status, 0);
  EXPECT_EQ(clock.Lines(), std::vector<std::string>{"Завершено успешно"});
}

// Ctrl-C during a read on a slow line: at 1200 baud the five frames of 125
// registers take over ten seconds on the wire; the read ends soon after the
// interrupt, cancelled, and saves nothing.
TEST(ParamsCommand, CtrlCEndsASlowReadAndSavesNothing) {
  const flovir::testing::ScratchFolder folder{"flovir-pcli"};
  const auto began = std::chrono::steady_clock::now();
  const flovir::testing::ProgramRun run = flovir::testing::RunCapturing(
      "timeout -s INT --preserve-status 1 " + flovir::testing::kCli +
      " params read --demo --baud 1200 --chunk 125 --folder " + folder.Path() + " 2>&1");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Прервано пользователем"), std::string::npos) << run.output;
  EXPECT_LT(seconds, 8.0);
  EXPECT_FALSE(fs::exists(folder / "авто_" / "параметры.xls"));
}

}  // namespace
