// Archive-entry exchanges against the simulated meter at 9600 baud with a
// 5 ms turnaround: a 3-register selector write, then the 26-register window.
// Compares our link with the early end of frame, our link waiting for the
// 50 ms silence only, libmodbus as the master, and the limit of the wire;
// then our link to the same meter behind a converter (RTU over TCP) and a
// gateway (Modbus TCP) on the loopback, where only the turnaround is left;
// last our link on the serial line while 1 reply in 20 comes 1.5 answer
// timeouts late (a stalled GSM call), with a 500 ms answer timeout.
//
// usage: flovir-bench-link [ENTRIES [ROUNDS]]   (default 10 entries, 5 rounds)
// The masters take turns, ENTRIES entries each per round, so that a change
// in the machine's load touches all of them alike; each figure is the median
// of its rounds. On a busy machine a thread of the test line (this program's
// request pacer or the simulated meter) can stall for more than 50 ms in the
// middle of a reply: our link then cuts the reply at the gap, as the protocol
// says, and tries again, while libmodbus waits up to 500 ms between bytes.
// The median keeps such a round from deciding the figures.

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "connection/serial_port.h"
#include "connection/tcp_port.h"
#include "link/exchange_thread.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace {

using namespace flovir;
using Clock = std::chrono::steady_clock;

constexpr unsigned kBaud = 9600;
constexpr unsigned kBitsPerByte = 10;  // 8N1
constexpr auto kTurnaround = std::chrono::milliseconds(5);
// Selector write 15 + echo 8, window read 8 + reply 5 + 2 * 26.
constexpr unsigned kBytesPerEntry = 15 + 8 + 8 + (5 + 2 * 26);
// The late replies: every 20th reply, 1.5 answer timeouts late.
constexpr uint32_t kLateTimeoutMs = 500;
constexpr auto kLateBy = std::chrono::milliseconds(kLateTimeoutMs * 3 / 2);

std::chrono::nanoseconds ByteTime() {
  return std::chrono::nanoseconds(1'000'000'000LL * kBitsPerByte / kBaud);
}

// The simulated meter paces its replies; this carries the master's requests
// to it at the same baud rate, so that both directions cost their wire time
// whichever master writes them. The master opens MasterPath().
class PacedLine {
 public:
  explicit PacedLine(const std::string& meter_path) {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty");
    path_ = name;
    meter_ = open(meter_path.c_str(), O_RDWR | O_NOCTTY);
    if (meter_ < 0) throw std::runtime_error("cannot open the meter's line");
    for (int fd : {slave_, meter_}) {
      termios t{};
      tcgetattr(fd, &t);
      cfmakeraw(&t);
      cfsetspeed(&t, B9600);
      tcsetattr(fd, TCSANOW, &t);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~PacedLine() {
    stop_ = true;
    thread_.join();
    close(meter_);
    close(slave_);
    close(master_);
  }
  const std::string& MasterPath() const { return path_; }

 private:
  void Run() {
    while (!stop_) {
      pollfd fds[2] = {{master_, POLLIN, 0}, {meter_, POLLIN, 0}};
      if (poll(fds, 2, 20) <= 0) continue;
      uint8_t buffer[512];
      if (fds[0].revents & POLLIN) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        const auto start = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
          std::this_thread::sleep_until(start + ByteTime() * (i + 1));
          [[maybe_unused]] ssize_t w = write(meter_, buffer + i, 1);
        }
      }
      if (fds[1].revents & POLLIN) {
        const ssize_t n = read(meter_, buffer, sizeof buffer);
        if (n > 0) [[maybe_unused]]
          ssize_t w = write(master_, buffer, static_cast<size_t>(n));
      }
    }
  }

  int master_ = -1, slave_ = -1, meter_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The selector of hour h of the meter's first day.
std::array<uint16_t, 3> Selector(const sim::MeterDateTime& day, int h) {
  return {static_cast<uint16_t>((day.year % 100) << 8 | day.month),
          static_cast<uint16_t>(day.day << 8 | (h % 24)), 0};
}

// One round of one master: seconds per entry, and the requests that failed
// and were run again (a stalled test line, see above).
struct Round {
  double seconds = 0;
  int failures = 0;
};

constexpr int kMaxFailures = 20;

void CountFailure(Round& round, const std::string& what) {
  if (++round.failures > kMaxFailures) throw std::runtime_error(what);
}

// Our link runs the entries as the archive download does: the completion
// handler, on the main thread, leaves the next request in the block after
// every reply, and puts the thread to sleep after the last.
class ArchiveRun {
 public:
  ArchiveRun(ExchangeRequest& request, const sim::MeterDateTime& day)
      : request_(request), day_(day) {}

  // Fills the block with the selector write of entry `entry`.
  void Start(int entry, int last) {
    entry_ = entry;
    last_ = last;
    failed_ = false;
    done_ = false;
    Select();
  }
  // The completion handler.
  void Completed(ExchangeThread& thread) {
    if (request_.Status != ExchangeStatus::Success) failed_ = true;
    if (!failed_ && request_.FunctionCode == kWriteMultipleRegisters) {
      request_.FunctionCode = kReadHoldingRegisters;
      request_.StartRegister = 200;
      request_.RegisterCount = 26;
      request_.DataCursor = window_;
      return;
    }
    if (!failed_ && ++entry_ <= last_) {
      Select();
      return;
    }
    thread.Sleep();
    done_ = true;
  }
  bool Done() const { return done_; }
  bool Failed() const { return failed_; }
  int Entry() const { return entry_; }

 private:
  void Select() {
    selector_ = Selector(day_, entry_);  // little-endian words in memory, as the link wants
    request_.FunctionCode = kWriteMultipleRegisters;
    request_.StartRegister = 0;
    request_.RegisterCount = 3;
    request_.DataCursor = reinterpret_cast<uint8_t*>(selector_.data());
  }

  ExchangeRequest& request_;
  sim::MeterDateTime day_;
  std::array<uint16_t, 3> selector_{};
  uint8_t window_[52] = {};
  int entry_ = 0;
  int last_ = 0;
  bool failed_ = false;
  bool done_ = false;
};

// Our link over the serial line at path, or over the network to HOST:PORT.
std::unique_ptr<SystemPort> OpenSerial(const std::string& path) {
  auto port = std::make_unique<SerialPort>();
  if (!port->Open(path)) throw std::runtime_error(port->LastError());
  port->SetLineSettings(LineSettings{});
  return port;
}

std::unique_ptr<SystemPort> Connect(const std::string& host_port) {
  auto port = std::make_unique<TcpPort>();
  if (!port->Open(host_port, 3000)) throw std::runtime_error(port->LastError());
  return port;
}

Round OurLink(std::unique_ptr<SystemPort> line, const sim::MeterDateTime& day, int entries,
              bool early, WireFraming framing = WireFraming::Rtu,
              uint32_t answer_timeout_ms = 3000) {
  SystemPort& port = *line;
  port.SetTimeouts({50, 0, answer_timeout_ms, 0, 0});
  ExchangeRequest request;
  request.SlaveAddress = 1;
  request.ChunkSize = 64;
  request.Attempts = 3;
  QueueExecutor executor;
  ArchiveRun run(request, day);
  std::unique_ptr<ExchangeThread> thread;
  thread =
      std::make_unique<ExchangeThread>(port, request, executor, [&] { run.Completed(*thread); });
  thread->SetEarlyFrameEnd(early);
  thread->SetWireFraming(framing);
  Round round;
  const auto entries_from = [&](int first, int last) {
    for (int entry = first; entry <= last;) {
      run.Start(entry, last);
      thread->Wake();
      executor.RunUntil([&] { return run.Done(); });
      if (!run.Failed()) break;
      CountFailure(round, "our link: " + std::string(StatusText(request.Status)));
      entry = run.Entry();  // the failed entry again
    }
  };
  entries_from(0, 0);  // warm-up: the line and the master settle
  round.failures = 0;
  const auto start = Clock::now();
  entries_from(1, entries);
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count() / entries;
  port.Close();
  return round;
}

Round Libmodbus(const std::string& path, const sim::MeterDateTime& day, int entries) {
  modbus_t* ctx = modbus_new_rtu(path.c_str(), kBaud, 'N', 8, 1);
  if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
    throw std::runtime_error("libmodbus cannot open the line");
  }
  modbus_set_response_timeout(ctx, 3, 0);
  Round round;
  const auto entry = [&](int i) {
    const std::array<uint16_t, 3> selector = Selector(day, i);
    uint16_t window[26];
    while (modbus_write_registers(ctx, 0, 3, selector.data()) != 3 ||
           modbus_read_registers(ctx, 200, 26, window) != 26) {
      CountFailure(round, std::string("libmodbus: ") + modbus_strerror(errno));
    }
  };
  entry(0);  // warm-up
  round.failures = 0;
  const auto start = Clock::now();
  for (int i = 1; i <= entries; ++i) entry(i);
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count() / entries;
  modbus_close(ctx);
  modbus_free(ctx);
  return round;
}

// The median seconds per entry of the rounds, and all their failures.
Round Median(std::vector<Round> rounds) {
  std::sort(rounds.begin(), rounds.end(),
            [](const Round& a, const Round& b) { return a.seconds < b.seconds; });
  const size_t n = rounds.size();
  Round median;
  median.seconds =
      n % 2 ? rounds[n / 2].seconds : (rounds[n / 2 - 1].seconds + rounds[n / 2].seconds) / 2;
  for (const Round& r : rounds) median.failures += r.failures;
  return median;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  sim::SimulatedMeter meter;
  sim::ServerOptions options;
  options.turnaround = kTurnaround;
  options.pacing = true;
  sim::MeterServer server(meter, options);
  PacedLine line(server.SlavePath());
  const sim::MeterDateTime day = meter.FirstDay();

  std::printf("archive entry: selector write (15 + 8 bytes) and window read (8 + 57 bytes)\n");
  std::printf("line: %u baud, 8N1, meter turnaround %lld ms, %d rounds of %d entries a master\n",
              kBaud, static_cast<long long>(kTurnaround.count()), rounds, entries);

  // The same meter behind a converter and a gateway on the loopback: no wire
  // time, the same turnaround.
  sim::TcpMeterServer converter(meter, {.turnaround = kTurnaround});
  sim::TcpMeterServer gateway(meter,
                              {.framing = sim::TcpFraming::kModbusTcp, .turnaround = kTurnaround});

  std::vector<Round> ours_rounds, silence_rounds, libmodbus_rounds, tcp_rounds, mbap_rounds,
      late_rounds;
  for (int round = 0; round < rounds; ++round) {
    ours_rounds.push_back(OurLink(OpenSerial(line.MasterPath()), day, entries, true));
    silence_rounds.push_back(OurLink(OpenSerial(line.MasterPath()), day, entries, false));
    libmodbus_rounds.push_back(Libmodbus(line.MasterPath(), day, entries));
    tcp_rounds.push_back(OurLink(Connect(converter.HostPort()), day, entries, true));
    mbap_rounds.push_back(
        OurLink(Connect(gateway.HostPort()), day, entries, true, WireFraming::ModbusTcp));
    // Twice the entries, so that each round meets about two late replies.
    meter.SetFaults({{.kind = sim::FaultKind::kDelay, .every = 20, .duration = kLateBy}});
    late_rounds.push_back(OurLink(OpenSerial(line.MasterPath()), day, 2 * entries, true,
                                  WireFraming::Rtu, kLateTimeoutMs));
    meter.SetFaults({});
  }
  const Round late_round = Median(late_rounds);
  const double tcp = Median(tcp_rounds).seconds;
  const double mbap = Median(mbap_rounds).seconds;
  const Round ours_round = Median(ours_rounds);
  const Round silence_round = Median(silence_rounds);
  const Round libmodbus_round = Median(libmodbus_rounds);
  const double ours = ours_round.seconds;
  const double silence = silence_round.seconds;
  const double libmodbus = libmodbus_round.seconds;
  const double wire =
      std::chrono::duration<double>(ByteTime() * kBytesPerEntry + 2 * kTurnaround).count();

  const auto row = [](const char* name, double s) {
    std::printf("%-28s %7.1f ms/entry %6.2f entries/s\n", name, s * 1000, 1 / s);
  };
  row("ours, early end of frame", ours);
  row("ours, 50 ms silence only", silence);
  row("libmodbus", libmodbus);
  row("wire limit (bytes + turns)", wire);
  row("ours, RTU over TCP, loopback", tcp);
  row("ours, Modbus TCP, loopback", mbap);
  row("ours, 1 reply in 20 late", late_round.seconds);
  std::printf("requests run again after a failure: ours %d, silence %d, libmodbus %d\n",
              ours_round.failures, silence_round.failures, libmodbus_round.failures);
  std::printf("ours / wire = %.3f, ours / libmodbus = %.3f\n", wire / ours, libmodbus / ours);
  std::printf(
      "1 reply in 20 late by %lld ms (answer timeout %u ms): %.3f of the wire limit, "
      "requests run again %d\n",
      static_cast<long long>(kLateBy.count()), kLateTimeoutMs, wire / late_round.seconds,
      late_round.failures);
  std::printf(
      "entries/s: ours=%.2f silence=%.2f libmodbus=%.2f wire=%.2f rtu_over_tcp=%.2f "
      "modbus_tcp=%.2f\n",
      1 / ours, 1 / silence, 1 / libmodbus, 1 / wire, 1 / tcp, 1 / mbap);
  return 0;
}
