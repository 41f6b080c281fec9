// flovir-cli's modem lines as a user runs them, against the built-in
// simulated modem: the call before the command, the hang-up after it, and
// modem-setup.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/programs.h"

namespace {

// Standard output and error together.
flovir::testing::CliRun Cli(const std::string& arguments) {
  return flovir::testing::RunCli(arguments + " 2>&1");
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliModemLine, CallsBeforeTheCommandAndHangsUpAfterIt) {
  const flovir::testing::CliRun run = Cli("raw read 0 2 --demo --line gsm --number 8900");
  ASSERT_EQ(run.status, 0) << run.output;
  const size_t connected = run.output.find("Соединение установлено");
  const size_t read = run.output.find("1\t");
  const size_t hung_up = run.output.find("Соединение прервано");
  ASSERT_NE(connected, std::string::npos) << run.output;
  ASSERT_NE(read, std::string::npos) << run.output;
  ASSERT_NE(hung_up, std::string::npos) << run.output;
  EXPECT_TRUE(Has(run.output, "модем: SIMCOM_Ltd SIMCOM_SIM800\nоператор: \"MTS RUS\""))
      << run.output;
}

TEST(CliModemLine, BadLineTypeIsAUsageError) {
  const flovir::testing::CliRun run = Cli("raw read 0 2 --demo --line isdn");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.output, "--line: 'isdn' is not direct, gsm, dialup, tcp or modbus-tcp"))
      << run.output;
}

TEST(CliModemSetup, DefaultListOnTheDemoModem) {
  const flovir::testing::CliRun run = Cli("modem-setup --demo");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "Завершено успешно")) << run.output;
}

TEST(CliModemSetup, ListThatIsTooLongIsRefusedBeforeTheLineOpens) {
  const std::string path = ::testing::TempDir() + "flovir-modem-commands.txt";
  {
    std::ofstream out(path);
    for (int i = 0; i < 256; ++i) out << "AT\r\n";
  }
  const flovir::testing::CliRun run = Cli("modem-setup --port /dev/null/absent --commands " + path);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.output, "256")) << run.output;
  EXPECT_FALSE(Has(run.output, "Не удалось открыть порт")) << run.output;
  std::remove(path.c_str());
}

}  // namespace
