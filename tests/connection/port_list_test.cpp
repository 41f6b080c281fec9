// The port list over a made-up device tree.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "connection/port_list.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;

class FakeTree : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(testing::TempDir()) / ("flovir-ports-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_directories(root / "sys");
    fs::create_directories(root / "devices/usb1/1-1/1-1:1.0/ttyUSB10");
    fs::create_directories(root / "devices/usb1/1-1/1-1:1.0/ttyUSB2");
    Write(root / "devices/usb1/1-1/product", "FT232R USB UART");
    Write(root / "devices/usb1/1-1/manufacturer", "FTDI");
  }
  void TearDown() override { fs::remove_all(root); }

  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << "\n";
  }

  // A tty in sysfs and, when present, its device node.
  void AddTty(const std::string& name, bool node, const std::string& device_target = "",
              const std::string& uart_type = "") {
    const fs::path entry = root / "sys" / name;
    fs::create_directories(entry);
    if (!device_target.empty())
      fs::create_directory_symlink(root / device_target, entry / "device");
    if (!uart_type.empty()) Write(entry / "type", uart_type);
    if (node) Write(root / "dev" / name, "");
  }

  std::vector<std::string> List() {
    return ListSerialPorts((root / "dev").string(), (root / "sys").string());
  }

  fs::path root;
};

TEST_F(FakeTree, ListsRealUartsAndUsbPortsInNaturalOrder) {
  fs::create_directories(root / "devices/platform/serial8250");
  AddTty("ttyS0", true, "devices/platform/serial8250", "4");
  AddTty("ttyS1", true, "devices/platform/serial8250", "0");   // no UART behind it
  AddTty("ttyS2", false, "devices/platform/serial8250", "4");  // no device node
  AddTty("ttyUSB10", true, "devices/usb1/1-1/1-1:1.0/ttyUSB10");
  AddTty("ttyUSB2", true, "devices/usb1/1-1/1-1:1.0/ttyUSB2");
  AddTty("ttyACM0", true);
  AddTty("tty1", true);
  AddTty("console", true);
  EXPECT_EQ(List(), (std::vector<std::string>{
                        "ttyACM0 USB-модем",
                        "ttyS0 Последовательный порт",
                        "ttyUSB2 FT232R USB UART (FTDI)",
                        "ttyUSB10 FT232R USB UART (FTDI)",
                    }));
}

TEST_F(FakeTree, NoPortsGiveAnEmptyList) {
  AddTty("tty0", true);
  EXPECT_TRUE(List().empty());
  EXPECT_TRUE(ListSerialPorts("/nonexistent", "/nonexistent").empty());
}

}  // namespace
}  // namespace flovir
