#pragma once
// The simulated meter on a pseudo-terminal. A test or the program creates a
// SimulatedMeter and a MeterServer for it; the master opens SlavePath() as
// its serial port:
//
//   flovir::sim::SimulatedMeter meter;           // slave address 1
//   flovir::sim::MeterServer server(meter);      // pty, line thread running
//   OpenPort(server.SlavePath());                // ... talk Modbus-RTU
//   meter.SetFaults({{flovir::sim::FaultKind::kBadCrc}});
//
// The server's thread reads the line and hands the bytes to a LineDevice;
// for a meter that is a MeterLineDevice, which frames the requests and
// answers after the turnaround time, at the baud rate the master set. A
// modem in front of the meter is a LineDevice wrapping the MeterLineDevice.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/meter-sim/line_device.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::sim {

// The meter as a device on the line. A request ends as soon as the bytes
// received form a complete function 3 or 16 frame with a valid CRC (what the
// meter's firmware does), or else after 50 ms of silence. The pseudo-terminal
// delivers a master's write at once, so on a paced line the meter first lets
// the request's own wire time pass, counted from its first byte (a master
// that paces its own bytes has spent it already); then it answers after the
// turnaround time plus any delay a fault adds. An exchange thus lasts what
// it would on a real line.
class MeterLineDevice : public LineDevice {
 public:
  MeterLineDevice(SimulatedMeter& meter, std::chrono::milliseconds turnaround);
  void Received(std::span<const uint8_t> bytes, Line& line) override;
  void Tick(Line& line) override;

  static constexpr std::chrono::milliseconds kFrameSilence{50};

 private:
  void AnswerFrame(size_t length, Line& line);

  SimulatedMeter& meter_;
  std::chrono::milliseconds turnaround_;
  std::vector<uint8_t> pending_;
  std::chrono::steady_clock::time_point first_byte_{};  // of the pending request
  std::chrono::steady_clock::time_point last_byte_{};
};

// Windows has no pseudo-terminals: there the meter is served on the network
// only (tcp_server.h).
#ifdef _WIN32
inline constexpr bool kServesPseudoTerminals = false;
#else
inline constexpr bool kServesPseudoTerminals = true;
#endif

struct ServerOptions {
  // Meter servers only: time from the end of a request to the reply.
  std::chrono::milliseconds turnaround{5};
  // Pace replies at the master's baud rate; off, they leave at once.
  bool pacing = true;
  // A symbolic link to create to the slave's path; empty for none. An
  // existing symbolic link there is replaced; any other file is an error.
  std::string link{};
  // A meter set to one line format hears only garbage at any other and
  // answers nothing; empty: it follows whatever the master sets.
  std::optional<LineFormat> required_format{};
};

class MeterServer {
 public:
  // Serves the meter (through its own MeterLineDevice).
  explicit MeterServer(SimulatedMeter& meter, ServerOptions options = {});
  // Serves any device, such as a modem in front of a meter's line device.
  // options.turnaround is not used.
  explicit MeterServer(LineDevice& device, ServerOptions options = {});
  // Both throw std::system_error when the pseudo-terminal or the link cannot
  // be made.
  ~MeterServer();
  MeterServer(const MeterServer&) = delete;
  MeterServer& operator=(const MeterServer&) = delete;

  // The path the master opens, such as /dev/pts/7.
  const std::string& SlavePath() const { return slave_path_; }
  // The master's present line format.
  LineFormat Format() const;
  // Ends the line thread and closes the pseudo-terminal: the master's port
  // then reads as vanished. The link is removed. Idempotent.
  void Stop();

 private:
  class PtyLine;

  void Open();
  void Run();

  std::unique_ptr<MeterLineDevice> own_device_;
  LineDevice& device_;
  ServerOptions options_;
  int master_fd_ = -1;
  int slave_fd_ = -1;  // kept open so the line survives the master's close
  std::string slave_path_;
  std::unique_ptr<PtyLine> line_;
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace flovir::sim
