#pragma once
// The dispatcher wired to the simulated meter for the tests: a port that
// hands every frame straight to the meter (no line timing), the exchange
// thread, a queue as the main thread, a fixed clock and a view that records
// what the user would see.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/serial_port.h"
#include "link/exchange_thread.h"
#include "link/executor.h"
#include "link/port.h"
#include "link/trace.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/register_map.h"
#include "operations/view.h"
#include "tests/support/files.h"
#include "tests/support/meter_port.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace flovir::testing {

class RecordingView : public View {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void EnableOperationButtons(bool enabled, bool including_test_button) override {
    buttons.push_back({enabled, including_test_button});
  }
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
    messages.push_back(text);
  }
  void SetReport(ReportKind kind, const std::vector<std::string>& lines) override {
    reports[static_cast<size_t>(kind)] = lines;
  }
  void AppendTestLine(const std::string& line) override { test_lines.push_back(line); }
  void ProcessPendingEvents() override {
    if (on_events) on_events();
  }

  std::vector<std::string> Progress() const {
    std::vector<std::string> out;
    for (const auto& s : statuses) {
      if (s.rfind("Выполнено...", 0) == 0) out.push_back(s);
    }
    return out;
  }

  struct Buttons {
    bool enabled;
    bool including_test_button;
  };
  std::vector<std::string> statuses;
  std::vector<std::string> messages;
  std::vector<Buttons> buttons;
  std::vector<std::string> reports[5];
  std::vector<std::string> test_lines;
  std::function<void()> on_events;
};

inline double At(int year, int month, int day, int hour = 0, int minute = 0) {
  return EncodeDateTime({year, month, day, hour, minute, 0});
}

inline sim::MeterDateTime MeterTime(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

enum class Line { Memory, Pty };

// One connection to the simulated meter with the computer's clock fixed:
// in memory, or over a real pseudo-terminal with the meter's server on the
// other end (unpaced, so the tests stay quick).
class Rig {
 public:
  explicit Rig(double now, sim::MeterOptions options = {}, Line line = Line::Memory)
      : clock(now),
        meter(WithClock(std::move(options), now)),
        port(meter),
        dispatcher(view, clock) {
    dispatcher.SetProgramFolder(folder.Path());
    Port* used = &port;
    if (line == Line::Pty) {
      server = std::make_unique<sim::MeterServer>(meter, ServerOptions());
      serial = std::make_unique<SerialPort>();
      if (!serial->Open(server->SlavePath())) throw std::runtime_error(serial->LastError());
      serial->SetLineSettings({});
      serial->SetTimeouts({50, 0, 1000, 0, 0});
      used = serial.get();
    }
    thread = std::make_unique<ExchangeThread>(
        *used, dispatcher.Request(), executor, [this] { dispatcher.ExchangeCompleted(); }, &trace);
    dispatcher.SetThread(thread.get());
  }
  ~Rig() {
    port.Hold(false);
    dispatcher.SetThread(nullptr);
    if (serial) serial->Close();
    thread->Terminate();
    if (server) server->Stop();
  }

  // Runs the main thread's queue until the operation has ended.
  bool Finish() {
    return executor.RunUntil([this] { return !dispatcher.Busy(); }, 120000);
  }
  std::string LastStatus() const { return view.statuses.empty() ? "" : view.statuses.back(); }
  bool ButtonsEnabled() const { return !view.buttons.empty() && view.buttons.back().enabled; }

  ScratchFolder folder{"flovir-disp"};
  FixedClock clock;
  sim::SimulatedMeter meter;
  MeterPort port;
  QueueExecutor executor;
  MemoryTrace trace;
  RecordingView view;
  Dispatcher dispatcher;
  std::unique_ptr<sim::MeterServer> server;
  std::unique_ptr<SerialPort> serial;
  std::unique_ptr<ExchangeThread> thread;

 private:
  static sim::ServerOptions ServerOptions() {
    sim::ServerOptions options;
    options.turnaround = std::chrono::milliseconds(1);
    options.pacing = false;
    return options;
  }
  static sim::MeterOptions WithClock(sim::MeterOptions options, double now) {
    options.clock = [now] { return MeterTime(now); };
    return options;
  }
};

// Checks one row of V1-V4 and B1-B4, from column `first`, against a meter
// entry with the meter's default scale codes; `zero` expects zeros.
inline void ExpectValues(const WorkbookModel& book, size_t sheet, uint16_t row, uint16_t first,
                         const sim::ArchiveEntry& entry, bool zero = false) {
  const float codes[4] = {3, 3, 2, 1};
  for (size_t c = 0; c < 4; ++c) {
    const uint32_t v = zero ? 0 : ApplyNoDataMarker(entry.volume[c]);
    const uint32_t b = zero ? 0 : ApplyNoDataMarker(entry.operating[c]);
    EXPECT_DOUBLE_EQ(book.GetCellNumber(sheet, static_cast<uint16_t>(first + c), row),
                     ScaledVolume(v, VolumeScaleOf(codes[c])))
        << "row " << row << " V" << c + 1;
    EXPECT_DOUBLE_EQ(book.GetCellNumber(sheet, static_cast<uint16_t>(first + 4 + c), row),
                     CountToHours(b))
        << "row " << row << " B" << c + 1;
  }
}

// Column totals as the download forms them: 32-bit counts that wrap.
struct Totals {
  uint32_t v[4] = {}, b[4] = {};
  void Add(const sim::ArchiveEntry& e) {
    for (size_t c = 0; c < 4; ++c) {
      v[c] += ApplyNoDataMarker(e.volume[c]);
      b[c] += ApplyNoDataMarker(e.operating[c]);
    }
  }
  sim::ArchiveEntry AsEntry() const {
    sim::ArchiveEntry e;
    for (size_t c = 0; c < 4; ++c) e.volume[c] = v[c], e.operating[c] = b[c];
    return e;
  }
};

}  // namespace flovir::testing
