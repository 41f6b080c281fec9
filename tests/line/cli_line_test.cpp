// flovir-cli scan, tune, --stats and --trace-times against flovir-meter-sim
// on pseudo-terminals, and a port that will not open for lack of permission.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/programs.h"

extern char** environ;

namespace flovir {
namespace {

using testing::RunCli;

const std::string kSim = FLOVIR_BINARY_DIR "/tools/meter-sim/flovir-meter-sim";

// flovir-meter-sim running; its pseudo-terminal's path.
class Sim {
 public:
  explicit Sim(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), kSim);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kSim.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
  }
  ~Sim() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// The meter at address 173 and 19200 baud, silent at every other speed:
// the default search finds it and prints the options to use.
TEST(CliScan, FindsAMeterItWasNotToldAbout) {
  Sim sim({"--address", "173", "--baud", "19200"});
  ASSERT_FALSE(sim.Path().empty());
  const testing::CliRun run = RunCli("scan --port " + sim.Path());
  EXPECT_EQ(run.status, 0) << run.errors;
  // A pseudo-terminal cannot tell no parity from even: the first that answers.
  EXPECT_EQ(run.output, "--baud 19200 --parity none --address 173\n");
  EXPECT_NE(run.errors.find("Найден прибор: 19200, нет, 1 стоп-бит, адрес 173"), std::string::npos)
      << run.errors;
  // The options found work.
  const testing::CliRun current = RunCli("current --port " + sim.Path() + " " + run.output);
  EXPECT_EQ(current.status, 0) << current.errors;
}

// Behind a converter the line format is the converter's: only the address
// is searched, and only the address is printed.
TEST(CliScan, ThroughANetworkConverterSearchesTheAddresses) {
  Sim sim({"--tcp", "0", "--address", "9"});
  const testing::CliRun run = RunCli("scan --line tcp --host " + sim.Path());
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output, "--address 9\n");
}

TEST(CliScan, NothingAnsweringIsAFailureThatSaysSo) {
  Sim sim({"--baud", "1200", "--stop", "2"});
  // One address at 9600: six line formats, none the meter's.
  const testing::CliRun run = RunCli("scan --port " + sim.Path() + " --baud 9600 --address 1");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(run.errors.find("Прибор не найден"), std::string::npos) << run.errors;
}

// A meter that answers after 400 ms: the suggested timeout lies above that
// and well below the default, and a download with it has no timeout.
TEST(CliTune, SuggestsATimeoutThatWorks) {
  Sim sim({"--turnaround", "400"});
  const testing::CliRun tune = RunCli("tune --port " + sim.Path());
  ASSERT_EQ(tune.status, 0) << tune.errors;
  unsigned suggested = 0;
  ASSERT_EQ(std::sscanf(tune.output.c_str(), "--timeout %u", &suggested), 1) << tune.output;
  EXPECT_GT(suggested, 400u);
  EXPECT_LT(suggested, 3000u);
  EXPECT_TRUE(tune.errors.starts_with("ответ 4")) << tune.errors;
  EXPECT_NE(tune.errors.find(", предлагаю " + std::to_string(suggested) + " мс"),
            std::string::npos);

  const testing::CliRun current =
      RunCli("current --stats --port " + sim.Path() + " --timeout " + std::to_string(suggested));
  EXPECT_EQ(current.status, 0) << current.errors;
  EXPECT_NE(
      current.errors.find("Статистика обмена:\n  запросов 1, кадров 1, попыток 1, повторов 0\n"
                          "  без ответа 0, ошибок CRC 0"),
      std::string::npos)
      << current.errors;
}

// --trace keeps its lines for the scripts that read them; --trace-times puts
// the time since the operation began and the gap before each frame in front.
TEST(CliTrace, TimesStandBeforeTheSameLines) {
  const testing::CliRun plain = RunCli("--demo raw read 0 4 --trace");
  const testing::CliRun timed = RunCli("--demo raw read 0 4 --trace-times");
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(timed.status, 0);
  EXPECT_TRUE(plain.errors.starts_with("out: 0x01 0x03 0x00 0x00 0x00 0x04 ")) << plain.errors;
  const size_t newline = timed.errors.find('\n');
  const std::string first = timed.errors.substr(0, newline);
  double since_start = -1, gap = -1;
  ASSERT_EQ(std::sscanf(first.c_str(), "%lf мс %lf", &since_start, &gap), 2) << first;
  EXPECT_GE(since_start, 0);
  EXPECT_TRUE(first.ends_with(plain.errors.substr(0, plain.errors.find('\n')))) << first;
}

// A pseudo-terminal that only its owner may open, and flovir-cli run as
// nobody: the message says permission, and which group owns the device.
TEST(CliPort, PermissionDeniedIsNamed) {
  if (geteuid() != 0 || testing::RunShell("command -v setpriv >/dev/null") != 0) {
    GTEST_SKIP() << "needs root and setpriv to run as nobody";
  }
  Sim sim({});
  ASSERT_EQ(chmod(sim.Path().c_str(), 0600), 0);
  const testing::ProgramRun run =
      testing::RunCapturing("setpriv --reuid=nobody --regid=nogroup --clear-groups " +
                            testing::kCli + " raw read 0 1 --port " + sim.Path() + " 2>&1");
  if (run.output.find("ermission denied") == std::string::npos &&
      run.output.find("Не удалось открыть порт") == std::string::npos) {
    GTEST_SKIP() << "nobody cannot run the build's programs here: " << run.output;
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Permission denied"), std::string::npos) << run.output;
  EXPECT_NE(
      run.output.find("нет прав на доступ к " + sim.Path() + ": устройство принадлежит группе"),
      std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find(" нет: "), std::string::npos) << "not reported as missing";
}

}  // namespace
}  // namespace flovir
