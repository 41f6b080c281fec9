// The serial port on Windows. The port is opened for overlapped input and
// output so that a close on one thread ends a wait on another at once.
//
// SetTimeouts hands the five values to the system as they are. A read then
// keeps its interval and total limits itself (system_port_io_windows.cpp)
// and reads in short pieces: each piece asks the system to return three
// character times after its last byte, or to wait for a first byte up to the
// time left. So the read ends as soon as a complete reply is there, instead
// of waiting out the interval after its last byte, and it never waits
// without a read outstanding (no busy loop on a silent line).

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "connection/serial_port.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace {

// For SetSystemTimeouts: the five values of SetTimeouts.
constexpr uint32_t kAsTheyAre = MAXDWORD;

// Three characters of 11 bits (start, 8 data, parity, stop) at the speed.
uint32_t PieceGapMs(uint32_t baud) {
  constexpr uint32_t kBitsOfThreeCharacters = 3 * 11;
  return baud == 0 ? 1 : std::max<uint32_t>(1, (kBitsOfThreeCharacters * 1000 + baud - 1) / baud);
}

}  // namespace

SerialPort::~SerialPort() {
  Close();
}

std::string SerialPort::DevicePath(const std::string& name) {
  return name.find('\\') == std::string::npos ? "\\\\.\\" + name : name;
}

bool SerialPort::Open(const std::string& name) {
  Close();
  open_error_code_ = 0;
  if (name.empty()) return FailOpen(ERROR_FILE_NOT_FOUND, nullptr);
  // No sharing: the port belongs to this program until it closes it.
  const HANDLE handle =
      CreateFileW(Utf16FromUtf8(DevicePath(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FailOpen(GetLastError(), nullptr);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return FailOpen(GetLastError(), handle);
  if (!Adopt(handle, name)) return false;
  piece_gap_ms_ = PieceGapMs(dcb.BaudRate);
  SetSystemTimeouts(handle, kAsTheyAre);
  return true;
}

bool SerialPort::SetQueueSizes(uint32_t input, uint32_t output) {
  Use use(*this);
  return use && SetupComm(use.handle, input, output);
}

LineSettings SerialPort::GetLineSettings() {
  Use use(*this);
  LineSettings settings;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!use || !GetCommState(use.handle, &dcb)) return settings;
  settings.BaudRate = dcb.BaudRate;
  settings.DataBits = dcb.ByteSize;
  settings.Parity = dcb.Parity == ODDPARITY    ? Parity::Odd
                    : dcb.Parity == EVENPARITY ? Parity::Even
                                               : Parity::None;
  settings.StopBits = dcb.StopBits == TWOSTOPBITS ? StopBits::Two : StopBits::One;
  // The flag word follows the baud rate in the control block.
  std::memcpy(&settings.Flags, reinterpret_cast<const char*>(&dcb.BaudRate) + sizeof dcb.BaudRate,
              sizeof settings.Flags);
  return settings;
}

bool SerialPort::SetLineSettings(const LineSettings& settings) {
  Use use(*this);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!use || !GetCommState(use.handle, &dcb)) return false;
  dcb.BaudRate = settings.BaudRate;
  dcb.ByteSize = 8;
  dcb.Parity = settings.Parity == Parity::Odd    ? ODDPARITY
               : settings.Parity == Parity::Even ? EVENPARITY
                                                 : NOPARITY;
  dcb.StopBits = settings.StopBits == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
  // The whole flag word 0: no parity checking, no flow control of either
  // kind, DTR and RTS disabled.
  std::memset(reinterpret_cast<char*>(&dcb.BaudRate) + sizeof dcb.BaudRate, 0, sizeof(DWORD));
  if (!SetCommState(use.handle, &dcb)) return false;
  piece_gap_ms_ = PieceGapMs(settings.BaudRate);
  system_read_wait_ = kAsTheyAre;  // the next piece sets the new gap
  return true;
}

bool SerialPort::SetTimeouts(const PortTimeouts& timeouts) {
  Use use(*this);
  return use && SystemPort::SetTimeouts(timeouts) && SetSystemTimeouts(use.handle, kAsTheyAre);
}

void SerialPort::BeforeReadPiece(Handle handle, uint32_t wait_ms) {
  if (wait_ms != system_read_wait_) SetSystemTimeouts(handle, wait_ms);
}

// The system's read values for the next piece of a read: wait up to
// read_wait_ms for a first byte and end a short gap after the last one; 0
// returns at once with what has arrived; kAsTheyAre the caller's five values.
bool SerialPort::SetSystemTimeouts(Handle handle, uint32_t read_wait_ms) {
  const PortTimeouts caller = GetTimeouts();
  COMMTIMEOUTS t{caller.ReadInterval, caller.ReadMultiplier, caller.ReadConstant,
                 caller.WriteMultiplier, caller.WriteConstant};
  if (read_wait_ms != kAsTheyAre) {
    t.ReadIntervalTimeout = read_wait_ms ? piece_gap_ms_.load() : MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = read_wait_ms;
  }
  system_read_wait_ = read_wait_ms;
  return SetCommTimeouts(static_cast<HANDLE>(handle), &t);
}

void SerialPort::Purge() {
  Use use(*this);
  if (use) PurgeComm(use.handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

}  // namespace flovir
