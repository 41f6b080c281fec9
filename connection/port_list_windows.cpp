#include <windows.h>

#include <algorithm>
#include <cctype>
#include <iterator>

#include "connection/port_list.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace {

struct Port {
  std::string name;    // COM5
  std::string device;  // \Device\Serial0, \Device\VCP0, ...
};

// What a user calls the device behind the port, from its driver's name.
std::string Description(const std::string& device) {
  std::string upper = device;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (upper.find("USBSER") != std::string::npos) return "USB-модем";
  if (upper.find("\\SERIAL") != std::string::npos) return "Последовательный порт";
  return "Преобразователь USB — COM";
}

// COM10 after COM9.
unsigned long Number(const std::string& name) {
  const size_t digits = name.find_last_not_of("0123456789") + 1;
  return digits < name.size() ? std::stoul(name.substr(digits)) : 0;
}

}  // namespace

// The system lists every present port under HARDWARE\DEVICEMAP\SERIALCOMM:
// the value's name is the driver's device, its data the port's name.
std::vector<std::string> ListSerialPorts(const std::string&, const std::string&) {
  std::vector<Port> ports;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      wchar_t device[256];
      wchar_t name[256];
      DWORD device_length = std::size(device);
      DWORD name_bytes = sizeof name - sizeof(wchar_t);
      DWORD type = 0;
      const LONG result = RegEnumValueW(key, index, device, &device_length, nullptr, &type,
                                        reinterpret_cast<BYTE*>(name), &name_bytes);
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS || type != REG_SZ) continue;
      std::wstring port(name, name_bytes / sizeof(wchar_t));
      while (!port.empty() && port.back() == L'\0') port.pop_back();
      if (port.starts_with(L"COM")) {
        ports.push_back({Utf8FromUtf16(port), Utf8FromUtf16({device, device_length})});
      }
    }
    RegCloseKey(key);
  }
  std::sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) {
    return Number(a.name) != Number(b.name) ? Number(a.name) < Number(b.name) : a.name < b.name;
  });
  std::vector<std::string> list;
  for (const Port& port : ports) list.push_back(port.name + " " + Description(port.device));
  return list;
}

}  // namespace flovir
