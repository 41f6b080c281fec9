#pragma once
// The dispatcher, its exchange thread and the simulated meter wired together
// for the parameter tests. The port hands every frame straight to the
// simulated meter, so the exchange runs at once and without line timing.

#include <memory>
#include <string>
#include <vector>

#include "link/exchange_thread.h"
#include "link/executor.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/view.h"
#include "tests/support/meter_port.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::testing {

class RecordingView : public View {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void EnableOperationButtons(bool enabled, bool) override { buttons_enabled = enabled; }
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
    messages.push_back(text);
  }
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}

  std::vector<std::string> statuses;
  std::vector<std::string> messages;
  bool buttons_enabled = true;
};

// One connection to the simulated meter, as Start makes it.
struct MeterLink {
  explicit MeterLink(sim::MeterOptions options = {}, double now = 45358.37915509259)
      : meter(std::move(options)), port(meter), clock(now), dispatcher(view, clock) {
    thread = std::make_unique<ExchangeThread>(port, dispatcher.Request(), executor,
                                              [this] { dispatcher.ExchangeCompleted(); });
    dispatcher.SetThread(thread.get());
  }
  ~MeterLink() {
    dispatcher.SetThread(nullptr);
    thread.reset();
  }
  // Runs the main thread's queue until the operation has ended.
  bool Finish() {
    return executor.RunUntil([this] { return !dispatcher.Busy(); }, 60000);
  }

  sim::SimulatedMeter meter;
  MeterPort port;
  RecordingView view;
  FixedClock clock;
  QueueExecutor executor;
  Dispatcher dispatcher;
  std::unique_ptr<ExchangeThread> thread;
};

}  // namespace flovir::testing
