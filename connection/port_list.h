#pragma once
// The serial ports of the computer, for the port list and `flovir-cli ports`.

#include <string>
#include <vector>

namespace flovir {

// One text per present port: the name that opening accepts ("ttyUSB0"), a
// blank, and a description. Lists ttyS* ports that have a UART behind them
// and every ttyUSB* and ttyACM* device, in natural order. The folders are
// parameters so that tests can hand in a made-up device tree.
std::vector<std::string> ListSerialPorts(const std::string& dev_dir = "/dev",
                                         const std::string& sys_dir = "/sys/class/tty");

}  // namespace flovir
