// The fleet file: what a good one gives, and a clear place for every mistake.

#include <gtest/gtest.h>

#include "collect/fleet.h"

namespace flovir::collect {
namespace {

TEST(Fleet, DefaultsApplyToEveryMeterAndMetersOverrideThem) {
  const Fleet fleet = ParseFleet(R"(
[defaults]
attempts = 2
collect = ["current", "hourly"]

[[meter]]
name = "pump-1"
port = "/dev/ttyUSB0"
address = 7
baud = 19200
parity = "even"
stop = 2

[[meter]]
name = "well-7"
line = "gsm"
port = "/dev/ttyUSB1"
number = "+79001234567"
collect = ["params"]
history_days = 5
)",
                                 "f.toml");
  ASSERT_EQ(fleet.meters.size(), 2u);
  const MeterConfig& a = fleet.meters[0];
  EXPECT_EQ(a.settings.attempts, 2);
  EXPECT_EQ(a.settings.address, 7);
  EXPECT_EQ(a.settings.line, (LineFormat{19200, Parity::Even, StopBits::Two}));
  EXPECT_TRUE(a.collect.current && a.collect.hourly && !a.collect.daily);
  EXPECT_EQ(a.line_in_file, 6);
  const MeterConfig& b = fleet.meters[1];
  EXPECT_EQ(b.settings.type, ConnectionType::Gsm);
  EXPECT_EQ(b.settings.number, "+79001234567");
  EXPECT_TRUE(b.collect.parameters && !b.collect.current);
  EXPECT_EQ(b.history_days, 5);
  EXPECT_EQ(b.settings.attempts, 2);
}

// Each bad file names the file, the line and the key of the mistake.
TEST(Fleet, MistakesNameFileLineAndKey) {
  const std::string pump = "[[meter]]\nname = \"pump-1\"\nport = \"/dev/ttyUSB0\"\n";
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {pump + "speed = 9600\n", "f.toml:4: meter 'pump-1': speed: unknown key"},
      {"[[meter]]\nname = \"pump-1\"\n", "f.toml:1: meter 'pump-1': port: missing"},
      {pump + pump, "f.toml:4: name: 'pump-1' is already the name of the meter at line 1"},
      {pump + "[[meter]]\nname = \"pump-2\"\nport = \"/dev/ttyUSB0\"\n",
       "f.toml:4: meter 'pump-2': address: meter 'pump-1' (line 1) answers at address 1 on port "
       "'/dev/ttyUSB0' too; both would answer at once"},
      {pump + "[[meter]]\nname = \"w\"\nline = \"gsm\"\nnumber = \"1\"\nport = \"/dev/ttyUSB0\"\n",
       "f.toml:4: meter 'w': port: '/dev/ttyUSB0' is the direct line of meter 'pump-1' (line 1); "
       "one port cannot be both"},
      {pump + "address = 248\n",
       "f.toml:4: meter 'pump-1': address: expected a whole number from 1 to 247"},
      {pump + "baud = 9601\n", "f.toml:4: meter 'pump-1': baud: expected one of 1200"},
      {pump + "collect = [\"hourly\", \"weekly\"]\n",
       "f.toml:4: meter 'pump-1': collect: 'weekly' is not one of current, hourly, daily"},
      {pump + "collect = []\n", "f.toml:4: meter 'pump-1': collect: nothing to collect"},
      {pump + "line = \"gsm\"\n", "f.toml:1: meter 'pump-1': number: missing"},
      {"[[meter]]\nname = \"../etc\"\nport = \"p\"\n",
       "f.toml:2: name: '../etc' is not a folder name"},
      {"[defaults]\nbaud = 9600\n", "f.toml:1: meter: no [[meter]] table"},
      {"[meters]\n", "f.toml:1: meters: unknown key"},
      {pump + "port = 3\n", "f.toml:4"},  // TOML itself refuses the redefined key
      {"[[meter]]\nname = \"net\"\nline = \"tcp\"\n", "f.toml:1: meter 'net': host: missing"},
      {"[[meter]]\nname = \"a\"\nline = \"modbus-tcp\"\nhost = \"127.0.0.1:502\"\n"
       "[[meter]]\nname = \"b\"\nline = \"tcp\"\nhost = \"127.0.0.1:502\"\n",
       "f.toml:5: meter 'b': address: meter 'a' (line 1) answers at address 1"},
  };
  for (const auto& c : cases) {
    try {
      ParseFleet(c.text, "f.toml");
      ADD_FAILURE() << "accepted:\n" << c.text;
    } catch (const FleetError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.expected.size()), c.expected) << c.text;
    }
  }
}

}  // namespace
}  // namespace flovir::collect
