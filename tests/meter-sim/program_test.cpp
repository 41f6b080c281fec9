// flovir-meter-sim as a program: the path on its first line, its options,
// and a clean end on SIGTERM.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/meter-sim/pty_client.h"
#include "tests/meter-sim/test_frames.h"

extern char** environ;

namespace flovir::sim {
namespace {

using namespace std::chrono_literals;
using test::PtyClient;
using test::ReadFrame;
using test::RegistersOf;

const std::string kProgram = FLOVIR_BINARY_DIR "/tools/meter-sim/flovir-meter-sim";

// The program running with its standard output and error on pipes.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }

  // The first line of standard output, without its newline.
  std::string FirstLine() {
    std::string line;
    char c = 0;
    while (WaitReadable(out_) && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  std::string Errors() {
    std::string text;
    char buffer[256];
    ssize_t n;
    while (WaitReadable(err_) && (n = read(err_, buffer, sizeof buffer)) > 0)
      text.append(buffer, n);
    return text;
  }
  // Sends the signal and returns the exit status, or -1 if it did not exit normally.
  int Signal(int signal) {
    kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static bool WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 10000) > 0;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

TEST(ProgramTest, ServesOnThePrintedPathUntilSigterm) {
  const std::string link = ::testing::TempDir() + "flovir-sim-program-" + std::to_string(getpid());
  SimProcess sim({"--link", link, "--address", "5", "--fail-channel", "3", "--turnaround", "0"});
  const std::string path = sim.FirstLine();
  ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link), path);
  {
    PtyClient client(link);
    const auto statuses = RegistersOf(client.Exchange(ReadFrame(5, 48, 8)).bytes);
    ASSERT_EQ(statuses.size(), 8u);
    EXPECT_EQ(statuses[1], 0x3F80);  // channel 1: 1.0
    EXPECT_EQ(statuses[5], 0x0000);  // channel 3 failed: 0.0
    EXPECT_TRUE(client.Exchange(ReadFrame(1, 48, 8), 300ms).bytes.empty());
  }
  EXPECT_EQ(sim.Signal(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(ProgramTest, PlaysTheFaultsItIsGiven) {
  SimProcess sim({"--fault", "exception=4/2", "--no-pacing"});
  PtyClient client(sim.FirstLine());
  const auto request = ReadFrame(1, 0, 2);
  EXPECT_EQ(RegistersOf(client.Exchange(request).bytes).size(), 2u);
  EXPECT_EQ(client.Exchange(request).bytes, ExceptionReply(1, 3, 4));
  EXPECT_EQ(sim.Signal(SIGINT), 0);
}

TEST(ProgramTest, UsageErrorsNameTheBadOption) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"--address", "0"}, "--address"},
      {{"--turnaround", "fast"}, "--turnaround"},
      {{"--fail-channel", "5"}, "--fail-channel"},
      {{"--fault", "gremlins"}, "gremlins"},
      {{"--link"}, "--link"},
      {{"--colour"}, "--colour"},
  };
  for (const auto& [args, named] : cases) {
    SimProcess sim(args);
    EXPECT_EQ(sim.Wait(), 2) << args[0];
    EXPECT_NE(sim.Errors().find(named), std::string::npos) << args[0];
  }
}

}  // namespace
}  // namespace flovir::sim
