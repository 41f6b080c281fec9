// flovir-cli raw and its line options, run as a user runs them: output,
// status line, exit codes and usage errors, against the built-in meter.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace {

struct Result {
  int exit_code;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Result Cli(const std::string& args) {
  const std::string base = testing::TempDir() + "flovir-cli-" + std::to_string(getpid());
  const std::string command = std::string(FLOVIR_BINARY_DIR "/cli/flovir-cli ") + args + " >" +
                              base + ".out 2>" + base + ".err </dev/null";
  const int status = std::system(command.c_str());
  Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(base + ".out"),
           Slurp(base + ".err")};
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

TEST(CliRaw, ReadPrintsOneLinePerRegisterThenTheStatus) {
  const Result r = Cli("--demo raw read 56 4");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  for (int k = 56; k < 60; ++k) {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_TRUE(line.starts_with(std::to_string(k) + "\t")) << line;
  }
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "Завершено успешно");
  EXPECT_TRUE(r.err.empty()) << "no trace unless asked";
}

TEST(CliRaw, TraceGoesToStandardError) {
  const Result r = Cli("raw read 0 10 --demo --trace");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.err.starts_with("out: 0x01 0x03 0x00 0x00 0x00 0x0A 0xC5 0xCD (8 байт)\nin:  "))
      << r.err;
}

TEST(CliRaw, WritePrintsTheStatusOnly) {
  const Result r = Cli("--demo raw write 400 0x1234 4660");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Завершено успешно\n");
}

TEST(CliRaw, MeterFailuresExitWithOne) {
  Result r = Cli("--demo raw read 100 2");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "Адрес данных указанный в запросе не доступен данному подчиненному\n");
  r = Cli("--demo --address 2 --timeout 100 --attempts 1 raw read 0 1");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "Превышен тайм-аут ожидания ответа\n");
  r = Cli("--demo --chunk 0 raw read 0 1");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "Кол-во попыток запросов или длина пакета равны 0\n");
}

TEST(CliRaw, APortThatCannotBeOpened) {
  const Result r = Cli("--port /dev/flovir-absent raw read 0 1");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Не удалось открыть порт\n/dev/flovir-absent: No such file or directory\n");
  EXPECT_EQ(Cli("raw read 0 1").exit_code, 1) << "no port given";
}

TEST(CliRaw, UsageErrorsNameTheBadOption) {
  const std::pair<const char*, const char*> cases[] = {
      {"raw read 0 1 --baud 9601", "--baud"},
      {"raw read 0 1 --parity mark", "--parity"},
      {"raw read 0 1 --stop 3", "--stop"},
      {"raw read 0 1 --address 0", "--address"},
      {"raw read 0 1 --timeout x", "--timeout"},
      {"raw read 0 1 --attempts -1", "--attempts"},
      {"raw read 0 1 --chunk", "--chunk"},
      {"raw read 0 1 --trace=yes", "--trace"},
      {"raw read 0 1 --bogus", "--bogus"},
      {"raw read 0", "START COUNT"},
      {"raw read 65535 2", "START"},
      {"raw read 0 -1", "COUNT"},
      {"raw write 0 65536", "VALUE"},
      {"raw erase 0 1", "erase"},
  };
  for (const auto& [args, named] : cases) {
    const Result r = Cli(args);
    EXPECT_EQ(r.exit_code, 2) << args;
    EXPECT_NE(r.err.find(named), std::string::npos) << args << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
  }
}

TEST(CliRaw, HelpListsTheOptions) {
  const Result r = Cli("raw --help");
  EXPECT_EQ(r.exit_code, 0);
  for (const char* option : {"--port", "--baud", "--parity", "--stop", "--address", "--timeout",
                             "--attempts", "--chunk", "--trace", "--demo"}) {
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
