// A 31-day hourly archive download (744 entries, plus the scale codes and
// two integrators) through the dispatcher, the exchange thread and the Linux
// serial port, against the simulated meter on a pseudo-terminal paced at
// 9600 baud with a 5 ms turnaround; compared with the wire limit, the time
// the same bytes take on the line at 10 bits a byte.
//
// Last line: archive: seconds=N wire_seconds=N

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "connection/serial_port.h"
#include "link/exchange_thread.h"
#include "link/executor.h"
#include "link/trace.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/view.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace {

using namespace flovir;

class QuietView : public View {
 public:
  void ShowStatus(const std::string& text) override { last = text; }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void SetReport(ReportKind, const std::vector<std::string>& lines) override {
    report_lines = lines.size();
  }
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}
  std::string last;
  size_t report_lines = 0;
};

// Bytes on the wire, from the "(N байт)" ending of every trace line.
size_t TraceBytes(const std::vector<std::string>& lines, size_t& frames) {
  static const std::string kEnd = " байт)";
  size_t bytes = 0;
  frames = 0;
  for (const std::string& line : lines) {
    const size_t open = line.rfind('(');
    if (open == std::string::npos || !line.ends_with(kEnd)) continue;
    bytes += std::stoul(line.substr(open + 1));
    ++frames;
  }
  return bytes;
}

}  // namespace

int main() {
  constexpr unsigned kBaud = 9600;
  constexpr int kDays = 31;
  const auto turnaround = std::chrono::milliseconds(5);

  sim::SimulatedMeter meter;
  sim::ServerOptions server_options;
  server_options.turnaround = turnaround;
  server_options.pacing = true;
  sim::MeterServer server(meter, server_options);

  SerialPort port;
  if (!port.Open(server.SlavePath())) {
    std::fprintf(stderr, "Не удалось открыть порт\n%s\n", port.LastError().c_str());
    return 1;
  }
  LineSettings line;
  line.BaudRate = kBaud;
  port.SetLineSettings(line);
  port.SetTimeouts({50, 0, 3000, 0, 0});

  const auto folder = std::filesystem::temp_directory_path() / "flovir-archive-bench";
  std::filesystem::create_directories(folder);

  SystemClock clock;
  QuietView view;
  QueueExecutor executor;
  MemoryTrace trace;
  Dispatcher dispatcher(view, clock);
  dispatcher.SetProgramFolder(folder.string());
  ExchangeThread thread(
      port, dispatcher.Request(), executor, [&] { dispatcher.ExchangeCompleted(); }, &trace);
  dispatcher.SetThread(&thread);

  // 31 whole days that ended before yesterday.
  const double today = static_cast<double>(static_cast<long>(clock.Now()));
  const double first = today - 2 - kDays + 1, last = today - 2;

  const auto begin = std::chrono::steady_clock::now();
  if (!dispatcher.StartArchive(OperationKind::HourlyArchive, first, last)) {
    std::fprintf(stderr, "nothing started: %s\n", dispatcher.LastStatusText().c_str());
    return 1;
  }
  executor.RunUntil([&] { return !dispatcher.Busy(); });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  dispatcher.SetThread(nullptr);
  port.Close();
  thread.Terminate();
  server.Stop();

  size_t frames = 0;
  const size_t bytes = TraceBytes(trace.Lines(), frames);
  const double wire = static_cast<double>(bytes) * 10 / kBaud;
  const size_t replies = frames / 2;
  const double turnarounds = static_cast<double>(replies) * turnaround.count() / 1000.0;
  std::printf("status: %s\n", dispatcher.LastStatusText().c_str());
  std::printf("entries: %d hourly + 2 integrators, table lines: %zu\n", kDays * 24,
              view.report_lines);
  std::printf("frames: %zu, bytes on the wire: %zu\n", frames, bytes);
  std::printf("meter turnaround: %zu replies x %lld ms = %.3f s\n", replies,
              static_cast<long long>(turnaround.count()), turnarounds);
  std::printf("wire + turnaround: %.3f s, ratio to wire: %.3f, to wire + turnaround: %.3f\n",
              wire + turnarounds, seconds / wire, seconds / (wire + turnarounds));
  std::printf("archive: seconds=%.3f wire_seconds=%.3f\n", seconds, wire);
  std::filesystem::remove_all(folder);
  return dispatcher.LastSucceeded() ? 0 : 1;
}
