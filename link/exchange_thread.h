#pragma once
// ExchangeThread, the Modbus-RTU master. It runs one request of the
// ExchangeRequest block at a time on the port, then hands over to the
// completion handler on the main thread and waits until that returns.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/exchange_request.h"
#include "link/executor.h"
#include "link/line_statistics.h"
#include "link/mbap.h"
#include "link/port.h"
#include "link/trace.h"

namespace flovir {

class ExchangeThread {
 public:
  // Created sleeping. exchange_completed runs on the main thread (through
  // executor) after every request; it either leaves the next request in the
  // block and returns, or calls Sleep() before returning.
  ExchangeThread(Port& port, ExchangeRequest& request, MainThreadExecutor& executor,
                 std::function<void()> exchange_completed, ExchangeTrace* trace = nullptr);
  // Requests termination and joins.
  ~ExchangeThread();
  ExchangeThread(const ExchangeThread&) = delete;
  ExchangeThread& operator=(const ExchangeThread&) = delete;

  // Starters, on the main thread, after filling the block.
  void Wake();
  // Only from ExchangeCompleted, while the thread waits in the hand-over.
  void Sleep();
  // True while no request runs (the test poll starts only then).
  bool IsSleeping() const;
  // Stop: no further try or frame is started, ExchangeCompleted is not called
  // again, and the thread ends and is joined. Close the port first so that a
  // read in progress returns at once. Called on the main thread at any time,
  // also while the thread waits in the hand-over (the executor is pumped
  // meanwhile). Called from inside ExchangeCompleted, it cannot join the
  // thread that waits for it: the thread ends right after the handler
  // returns and the destructor joins it.
  void Terminate();

  // The name of the port the thread talks through (for LostPortText).
  std::string PortName() const;

  // The early end of frame: a read ends once the bytes received form a
  // complete reply. Off, a read waits for the 50 ms silence (as the wire
  // protocol alone requires); the benchmark compares the two.
  void SetEarlyFrameEnd(bool on);

  // How frames go over the line: RTU (the default) or Modbus TCP. Set it
  // before the first request.
  void SetWireFraming(WireFraming framing);

  // Where the thread counts what the line does; may be null. Set it before
  // the first request; the statistics must outlive the thread.
  void SetStatistics(LineStatistics* statistics);

 private:
  struct State;
  // Shared with the thread, which keeps it alive until it has left.
  std::shared_ptr<State> state_;
};

// The thread class's former name.
using com_port = ExchangeThread;

}  // namespace flovir
