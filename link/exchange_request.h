#pragma once
// The request block that the operation starters and the exchange thread hand
// to each other, the status codes of a request and the helpers of the frame
// format (CRC, register byte order, trace dump).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace flovir {

// Result of one request. 1 to 8 are the Modbus exception codes.
enum class ExchangeStatus : uint8_t {
  Success = 0,
  IllegalFunction = 1,
  IllegalDataAddress = 2,
  IllegalDataValue = 3,
  SlaveDeviceFailure = 4,
  Acknowledge = 5,
  SlaveBusy = 6,
  NegativeAcknowledge = 7,
  MemoryParityError = 8,
  WrongAddress = 9,
  BadCrc = 10,
  DataLost = 11,
  Timeout = 12,
  Cancelled = 13,
  ZeroAttemptsOrChunk = 14,
  InProgress = 15,
  RemoteNotAnswering = 16,
  RemoteExchangeError = 17,
  UnsupportedFunction = 18,
  PortLost = 19,
};

inline constexpr size_t kStatusCount = 20;

// The texts the user sees for each status, indexed by the status's number.
extern const std::array<std::string_view, kStatusCount> StatusMessages;

// The number of a status, as the request block and the table hold it.
constexpr uint8_t StatusCode(ExchangeStatus status) {
  return static_cast<uint8_t>(status);
}

// The text of a status; statuses outside the table read as RemoteExchangeError.
std::string_view StatusText(ExchangeStatus status);
// The text of status 19 naming the port: "Порт ttyUSB0 потерян: ...".
std::string LostPortText(const std::string& port_name);

// The two Modbus functions the meter answers.
inline constexpr uint8_t kReadHoldingRegisters = 3;
inline constexpr uint8_t kWriteMultipleRegisters = 16;

// Frame size limits of the 256-byte frame and reply buffers.
inline constexpr uint16_t kMaxReadRegisters = 125;   // 5 + 2*125 = 255 bytes
inline constexpr uint16_t kMaxWriteRegisters = 123;  // 9 + 2*123 = 255 bytes

// One request, shared by the starters (main thread) and the exchange thread.
// Ownership alternates: the main thread writes it while the thread sleeps or
// waits in the hand-over to ExchangeCompleted; the thread uses it in between.
// StopRequested alone may be set by the main thread while a request runs.
struct ExchangeRequest {
  uint8_t SlaveAddress = 1;
  uint8_t FunctionCode = kReadHoldingRegisters;
  uint16_t StartRegister = 0;
  uint16_t RegisterCount = 0;
  uint8_t ChunkSize = 64;
  uint8_t Attempts = 3;
  ExchangeStatus Status = ExchangeStatus::Success;
  std::atomic<bool> StopRequested{false};
  bool OperationDone = false;
  // Register k of the request lives at DataCursor[2k] (low byte) and
  // DataCursor[2k + 1] (high byte). The thread advances it by 2 bytes per
  // register transferred.
  uint8_t* DataCursor = nullptr;
};

// CRC-16/MODBUS: initial 0xFFFF, reflected polynomial 0xA001, no final XOR.
uint16_t ModbusCrc(const uint8_t* data, size_t count);

// Copies count / 2 16-bit words from source to destination, exchanging the
// two bytes of every word (data area order <-> wire order).
void SwapWordsCopy(const uint8_t* source, uint8_t* destination, size_t count);

// Trace text of a frame: "0xNN " per byte, then "(count байт)".
std::string HexDump(const uint8_t* data, size_t count);

}  // namespace flovir
