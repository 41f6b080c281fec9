// flovir-cli raw and its line options, run as a user runs them: output,
// status line, exit codes and usage errors, against the built-in meter.

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/programs.h"

namespace {

using Result = flovir::testing::CliRun;

Result Cli(const std::string& args) {
  return flovir::testing::RunCli(args);
}

TEST(CliRaw, ReadPrintsOneLinePerRegisterThenTheStatus) {
  const Result r = Cli("--demo raw read 56 4");
  EXPECT_EQ(r.status, 0) << r.errors;
  std::istringstream lines(r.output);
  std::string line;
  for (int k = 56; k < 60; ++k) {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_TRUE(line.starts_with(std::to_string(k) + "\t")) << line;
  }
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "Завершено успешно");
  EXPECT_TRUE(r.errors.empty()) << "no trace unless asked";
}

TEST(CliRaw, TraceGoesToStandardError) {
  const Result r = Cli("raw read 0 10 --demo --trace");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.errors.starts_with("out: 0x01 0x03 0x00 0x00 0x00 0x0A 0xC5 0xCD (8 байт)\nin:  "))
      << r.errors;
}

TEST(CliRaw, WritePrintsTheStatusOnly) {
  const Result r = Cli("--demo raw write 400 0x1234 4660");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "Завершено успешно\n");
}

TEST(CliRaw, MeterFailuresExitWithOne) {
  Result r = Cli("--demo raw read 100 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Адрес данных указанный в запросе не доступен данному подчиненному\n");
  r = Cli("--demo --address 2 --timeout 100 --attempts 1 raw read 0 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Превышен тайм-аут ожидания ответа\n");
  r = Cli("--demo --chunk 0 raw read 0 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Кол-во попыток запросов или длина пакета равны 0\n");
}

TEST(CliRaw, APortThatCannotBeOpened) {
  const Result r = Cli("--port /dev/flovir-absent raw read 0 1");
  EXPECT_EQ(r.status, 1);
  // The system's reason, then what it means: the device is missing.
  EXPECT_EQ(r.errors,
            "Не удалось открыть порт\n/dev/flovir-absent: No such file or directory\n"
            "устройства /dev/flovir-absent нет: адаптер не подключён или порт назван неверно; "
            "flovir-cli ports перечисляет порты\n");
  EXPECT_EQ(Cli("raw read 0 1").status, 1) << "no port given";
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
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.errors.find(named), std::string::npos) << args << ": " << r.errors;
    EXPECT_TRUE(r.output.empty()) << args;
  }
}

TEST(CliRaw, HelpListsTheOptions) {
  const Result r = Cli("raw --help");
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"--port", "--baud", "--parity", "--stop", "--address", "--timeout",
                             "--attempts", "--chunk", "--trace", "--demo"}) {
    EXPECT_NE(r.output.find(option), std::string::npos) << option;
  }
}

}  // namespace
