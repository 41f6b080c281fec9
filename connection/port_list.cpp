#include "connection/port_list.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace flovir {

namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

// A ttyS port exists for every possible UART; only those with a UART behind
// them are real. sysfs tells the UART type; older kernels only the driver.
bool HasUart(const fs::path& sys_entry, const fs::path& device) {
  std::error_code ec;
  if (!fs::exists(sys_entry / "device", ec)) return false;
  const fs::path type = sys_entry / "type";
  if (fs::exists(type, ec)) return ReadLine(type) != "0";
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
}

// The USB device's product and maker, found in the first folder above the
// tty's device that names them.
std::string UsbDescription(const fs::path& sys_entry) {
  std::error_code ec;
  fs::path dir = fs::canonical(sys_entry / "device", ec);
  if (ec) return {};
  for (int up = 0; up < 5 && !dir.empty() && dir != dir.root_path();
       ++up, dir = dir.parent_path()) {
    if (!fs::exists(dir / "product", ec)) continue;
    std::string text = ReadLine(dir / "product");
    const std::string maker = ReadLine(dir / "manufacturer");
    if (!maker.empty()) text += " (" + maker + ")";
    return text;
  }
  return {};
}

// ttyUSB10 after ttyUSB9: the family, then the number.
bool NaturalLess(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& s) {
    const size_t digits = s.find_last_not_of("0123456789") + 1;
    const std::string number = s.substr(digits);
    return std::make_pair(s.substr(0, digits), number.empty() ? 0ul : std::stoul(number));
  };
  return split(a) < split(b);
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::string& dev_dir, const std::string& sys_dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(sys_dir, ec)) {
    const std::string name = entry.path().filename().string();
    const bool uart = name.starts_with("ttyS") && name.size() > 4;
    const bool usb = name.starts_with("ttyUSB") || name.starts_with("ttyACM");
    if (!uart && !usb) continue;
    const fs::path device = fs::path(dev_dir) / name;
    if (!fs::exists(device, ec)) continue;
    if (uart && !HasUart(entry.path(), device)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);

  std::vector<std::string> list;
  for (const std::string& name : names) {
    const fs::path sys_entry = fs::path(sys_dir) / name;
    std::string description;
    if (name.starts_with("ttyS")) {
      description = "Последовательный порт";
    } else {
      description = UsbDescription(sys_entry);
      if (description.empty()) {
        description = name.starts_with("ttyACM") ? "USB-модем" : "Преобразователь USB — COM";
      }
    }
    list.push_back(name + " " + description);
  }
  return list;
}

}  // namespace flovir
