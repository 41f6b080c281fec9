#include "session/session.h"

#include <chrono>
#include <optional>

#include "connection/meter_search.h"
#include "operations/report_files.h"

namespace flovir {

namespace {

constexpr int kWakeMs = 100;
// How long a cancelled operation may take to finish its current try before
// the line is closed under it.
constexpr auto kCancelGrace = std::chrono::milliseconds(500);

}  // namespace

Session::Session(View& view, const Clock& clock, SessionOptions options)
    : view_(view),
      executor_(options.executor != nullptr ? options.executor : &own_executor_),
      dispatcher_(view, clock),
      parameters_(dispatcher_, table_, xls0_),
      connection_(view, ports_, Link(options), options.timing) {
  dispatcher_.SetProgramFolder(ProgramFolder(options.program_folder));
}

Session::~Session() {
  connection_.Stop();
}

LinkParts Session::Link(const SessionOptions& options) {
  LinkParts link;
  link.request = &dispatcher_.Request();
  link.executor = executor_;
  link.exchange_completed = [this] {
    if (round_trips_left_ > 0) {
      RoundTripCompleted();
    } else if (transfer_done_) {
      transfer_done_();
    } else {
      dispatcher_.ExchangeCompleted();
    }
  };
  link.trace = options.trace;
  link.clear_trace = options.clear_trace;
  link.on_thread_changed = [this](ExchangeThread* thread) { dispatcher_.SetThread(thread); };
  link.statistics = &statistics_;
  return link;
}

bool Session::Start(const Settings& settings, LineUse use) {
  if (connection_.Connected()) return true;
  // Another line may lead to another meter: its table must be read anew
  // before a write.
  parameters_.ForgetMeter();
  line_settings_ = settings;
  open_error_.clear();
  statistics_.Reset();
  round_trips_left_ = 0;  // a measurement cut short by an earlier Stop
  round_trips_done_ = nullptr;
  if (DemoPorts::Names(settings) &&
      !demo_.Place(line_settings_, use == LineUse::ModemOnCable, open_error_)) {
    view_.ShowPortNotice(PortNotice::OpenFailed);
    return false;
  }
  dispatcher_.Settings() = line_settings_;
  if (connection_.Start(line_settings_)) return true;
  if (open_error_.empty()) open_error_ = ports_.LastError();
  demo_.Remove();
  return false;
}

bool Session::Stop(Connection::Announce announce) {
  if (!connection_.Stop(announce)) return false;
  demo_.Remove();
  return true;
}

bool Session::StartCurrentValues() {
  return dispatcher_.StartCurrentValues();
}

bool Session::StartArchive(ArchiveKind kind, double first_day, double last_day) {
  return dispatcher_.StartArchive(OperationOf(kind), first_day, last_day);
}

bool Session::ReadParameters() {
  return parameters_.ReadParameters();
}

bool Session::WriteParameters() {
  return parameters_.WriteToDevice();
}

bool Session::SetClock() {
  return parameters_.ClockSetRequest();
}

bool Session::TestTick() {
  return dispatcher_.TestTick();
}

bool Session::RunQueue(const std::function<bool()>& done, int timeout_ms) {
  if (executor_ != &own_executor_) return true;  // the program's own loop runs it
  return own_executor_.RunUntil(done, timeout_ms);
}

void Session::Wait(const std::function<bool()>& done, const std::function<bool()>& interrupted) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> cancelled_at;
  while (!RunQueue(done, kWakeMs)) {
    if (!interrupted || !interrupted()) continue;
    if (!cancelled_at) {
      dispatcher_.Request().StopRequested = true;
      cancelled_at = Clock::now();
    } else if (Clock::now() - *cancelled_at > kCancelGrace) {
      // The current frame would take long: the line goes under it, and the
      // dispatcher ends the cancelled operation.
      connection_.Stop();
    }
  }
}

bool Session::RunToEnd(const std::function<bool()>& interrupted) {
  Wait([this] { return !dispatcher_.Busy(); }, interrupted);
  return dispatcher_.LastSucceeded();
}

ExchangeStatus Session::Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data,
                                 const std::function<bool()>& interrupted) {
  ExchangeThread* thread = connection_.Thread();
  if (thread == nullptr || dispatcher_.Busy()) return ExchangeStatus::Cancelled;
  ExchangeRequest& request = dispatcher_.Request();
  const Settings& settings = dispatcher_.Settings();
  request.SlaveAddress = settings.address;
  request.FunctionCode = function;
  request.StartRegister = start;
  request.RegisterCount = count;
  request.ChunkSize = settings.chunk_size;
  request.Attempts = settings.attempts;
  request.DataCursor = data;
  request.StopRequested = false;
  request.OperationDone = false;
  bool done = false;
  transfer_done_ = [&] {
    thread->Sleep();
    done = true;
  };
  thread->Wake();
  Wait([&] { return done || connection_.Thread() == nullptr; }, interrupted);
  transfer_done_ = nullptr;
  return request.StopRequested ? ExchangeStatus::Cancelled : request.Status;
}

bool Session::StartRoundTrips(unsigned count, std::function<void()> done) {
  ExchangeThread* thread = connection_.Thread();
  if (thread == nullptr || count == 0 || dispatcher_.Busy() || transfer_done_ ||
      round_trips_left_ > 0) {
    return false;
  }
  round_trips_left_ = count;
  round_trips_done_ = std::move(done);
  dispatcher_.Request().StopRequested = false;
  NextRoundTrip();
  thread->Wake();
  return true;
}

bool Session::MeasureRoundTrips(unsigned count, const std::function<bool()>& interrupted) {
  bool done = false;
  if (!StartRoundTrips(count, [&done] { done = true; })) return false;
  Wait([&] { return done || connection_.Thread() == nullptr; }, interrupted);
  return true;
}

// One try a probe: a timeout is what the measurement is after, not
// something to retry.
void Session::NextRoundTrip() {
  ExchangeRequest& request = dispatcher_.Request();
  request.SlaveAddress = dispatcher_.Settings().address;
  request.FunctionCode = kReadHoldingRegisters;
  request.StartRegister = kProbeFirstRegister;
  request.RegisterCount = kProbeRegisterCount;
  request.ChunkSize = kProbeRegisterCount;
  request.Attempts = 1;
  request.DataCursor = round_trip_data_.data();
  request.OperationDone = false;
}

void Session::RoundTripCompleted() {
  ExchangeRequest& request = dispatcher_.Request();
  if (--round_trips_left_ > 0 && !request.StopRequested &&
      request.Status != ExchangeStatus::PortLost) {
    NextRoundTrip();
    return;
  }
  round_trips_left_ = 0;
  if (ExchangeThread* thread = connection_.Thread()) thread->Sleep();
  const std::function<void()> done = std::move(round_trips_done_);
  round_trips_done_ = nullptr;
  if (done) done();
}

}  // namespace flovir
