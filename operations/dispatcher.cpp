#include "operations/dispatcher.h"

#include <exception>
#include <stdexcept>

#include "operations/archive_download.h"
#include "operations/current_report.h"
#include "operations/register_map.h"
#include "operations/report_files.h"

namespace flovir {

void OperationContext::Next(const RequestPlan& plan) {
  next_ = plan;
}

OperationResult& OperationContext::Result() {
  return dispatcher_->running_;
}

OperationContext::Ending OperationContext::Defer() {
  deferral_ = std::make_shared<Deferral>();
  deferral_->operation = dispatcher_->operation_;
  Ending ending;
  ending.dispatcher_ = dispatcher_;
  ending.deferral_ = deferral_;
  return ending;
}

void OperationContext::Ending::Warn(WarningKind kind, std::string text) const {
  deferral_->warnings.push_back({kind, std::move(text)});
}

void OperationContext::Ending::operator()(std::optional<OperationError> failure) const {
  if (deferral_->ended) return;
  deferral_->ended = true;
  deferral_->failure = std::move(failure);
  // Work that ran at once has ended within the hook: the dispatcher ends
  // the operation as after any hook.
  if (deferral_->hook_returned) dispatcher_->EndDeferred(*deferral_);
}

void Dispatcher::RunAside(std::function<void()> work, std::function<void()> done) {
  if (background_ != nullptr) {
    ++aside_;
    background_->Run(std::move(work), [this, done = std::move(done)] {
      --aside_;
      done();
    });
    return;
  }
  work();
  done();
}

void Dispatcher::EndDeferred(const OperationContext::Deferral& deferral) {
  // Stop, or a cancel that ended the operation meanwhile, has had its say.
  if (thread_ == nullptr || !busy_ || deferral.operation != operation_) return;
  running_.warnings.insert(running_.warnings.end(), deferral.warnings.begin(),
                           deferral.warnings.end());
  if (deferral.failure) return EndOperation(deferral.failure->Status(), deferral.failure->what());
  request_->OperationDone = true;
  EndOperation(OperationStatus::Success, std::string(StatusText(ExchangeStatus::Success)));
}

Dispatcher::Dispatcher(View& view, const Clock& clock)
    : view_(view),
      clock_(clock),
      program_folder_(flovir::ProgramFolder()),
      archive_(std::make_unique<ArchiveDownload>(*this)) {
  result_.status = OperationStatus::Failed;
  SetCompletion(OperationKind::CurrentValues,
                [this](OperationContext& context) { CompleteCurrentValues(context); });
  for (auto kind :
       {OperationKind::HourlyArchive, OperationKind::DailyArchive, OperationKind::MonthlyArchive}) {
    SetCompletion(kind, [this](OperationContext& context) { archive_->Complete(context); });
  }
  SetCompletion(OperationKind::TestRead,
                [this](OperationContext& context) { CompleteTestRead(context); });
}

Dispatcher::~Dispatcher() = default;

std::string Dispatcher::AutoSaveFolderPath() const {
  try {
    return MakeAutoSaveFolder(program_folder_, settings_.auto_save_name);
  } catch (const std::exception& error) {
    throw OperationError(OperationStatus::ReportNotWritten,
                         std::string("Не удалось создать папку автосохранения: ") + error.what());
  }
}

void Dispatcher::SaveAutoReport(const std::string& file_text,
                                const std::vector<std::string>& lines) const {
  try {
    AutoSaveReport(program_folder_, settings_.auto_save_name, file_text, lines);
  } catch (const std::exception& error) {
    throw OperationError(OperationStatus::ReportNotWritten,
                         std::string("Не удалось записать файл отчёта: ") + error.what());
  }
}

void Dispatcher::SetThread(ExchangeThread* thread, ExchangeRequest* shared_request) {
  if (busy_ && request_->StopRequested) {
    // A cancelled operation whose line was closed under it ends cancelled.
    result_ = std::move(running_);
    result_.status = OperationStatus::Cancelled;
    result_.text = StatusText(ExchangeStatus::Cancelled);
  }
  thread_ = thread;
  request_ = shared_request != nullptr ? shared_request : &own_request_;
  busy_ = false;
}

void Dispatcher::SetCompletion(OperationKind kind, CompletionHook hook) {
  hooks_[static_cast<size_t>(kind)] = std::move(hook);
}

bool Dispatcher::Start(const OperationStart& start) {
  // Work still running aside may hold the archive workbook after a Stop.
  if (thread_ == nullptr || busy_ || aside_ > 0 || !thread_->IsSleeping()) return false;
  if (const std::string error = SettingsError(next_settings_); !error.empty()) {
    NotStarted(OperationStatus::SettingsRejected, error);
    return false;
  }
  settings_ = next_settings_;

  view_.EnableOperationButtons(false, !start.keep_test_button);
  kind_ = start.kind;
  step_ = OperationStep::Started;
  running_ = {};
  RequestPlan first;
  try {
    first = start.first_request(settings_);
  } catch (const OperationError& error) {
    NotStarted(error.Status(), error.what());
    view_.EnableOperationButtons(true, true);
    return false;
  } catch (const std::exception& error) {
    NotStarted(OperationStatus::Failed, error.what());
    view_.EnableOperationButtons(true, true);
    return false;
  }
  request_->SlaveAddress = settings_.address;
  request_->ChunkSize = settings_.chunk_size;
  request_->Attempts = settings_.attempts;
  ApplyPlan(first);
  request_->StopRequested = false;
  request_->OperationDone = false;
  busy_ = true;
  ++operation_;
  thread_->Wake();
  // The first completion cannot overtake this text: it runs on this thread.
  view_.ShowStatus(start.start_text);
  return true;
}

void Dispatcher::ApplyPlan(const RequestPlan& plan) {
  request_->FunctionCode = plan.function_code;
  request_->StartRegister = plan.start_register;
  request_->RegisterCount = plan.register_count;
  request_->DataCursor = plan.data;
}

void Dispatcher::ExchangeCompleted() {
  if (thread_ == nullptr) return;
  if (!busy_) {
    // A request nobody started (cannot happen through the starters): park
    // the thread rather than let it run the block again.
    thread_->Sleep();
    return;
  }
  OperationContext context;
  context.status_ = request_->StopRequested ? ExchangeStatus::Cancelled : request_->Status;
  context.step_ = &step_;
  context.settings_ = &settings_;
  context.dispatcher_ = this;
  if (const CompletionHook& hook = hooks_[static_cast<size_t>(kind_)]) {
    try {
      hook(context);
    } catch (const OperationError& error) {
      context.failure_ = error;
    } catch (const std::exception& error) {
      context.Fail(error.what());
    }
  }
  // The hook may have let the window handle its events, and the user may
  // have stopped the connection there: its thread is gone, nothing is left
  // to end.
  if (thread_ == nullptr) return;
  // Cancel may also come from those events.
  if (request_->StopRequested) context.status_ = ExchangeStatus::Cancelled;
  request_->Status = context.status_;

  if (context.deferral_) {
    context.deferral_->hook_returned = true;
    const bool goes_on = !context.failure_ && context.Succeeded();
    if (goes_on && !context.deferral_->ended) {
      thread_->Sleep();  // busy until the ending comes
      return;
    }
    if (goes_on) return EndDeferred(*context.deferral_);
  }
  // After a failed request its status stands, whatever the hook said.
  const OperationStatus request_status = OperationStatusOf(context.status_);
  if (context.failure_) {
    return EndOperation(context.Succeeded() ? context.failure_->Status() : request_status,
                        context.failure_->what());
  }
  if (!context.Succeeded()) {
    return EndOperation(request_status, context.status_ == ExchangeStatus::PortLost
                                            ? LostPortText(thread_->PortName())
                                            : std::string(StatusText(context.status_)));
  }
  if (context.next_ && !context.finished_) return ApplyPlan(*context.next_);
  request_->OperationDone = true;
  EndOperation(OperationStatus::Success, std::string(StatusText(ExchangeStatus::Success)));
}

void Dispatcher::EndOperation(OperationStatus status, const std::string& text) {
  thread_->Sleep();
  busy_ = false;
  result_ = std::move(running_);
  running_ = {};
  result_.status = status;
  result_.text = text;
  view_.ShowStatus(text);
  view_.EnableOperationButtons(true, true);
}

void Dispatcher::NotStarted(OperationStatus status, const std::string& text) {
  result_ = {};
  result_.status = status;
  result_.text = text;
  view_.ShowStatus(text);
}

void Dispatcher::Cancel() {
  if (busy_) request_->StopRequested = true;
}

bool Dispatcher::StartCurrentValues() {
  OperationStart start;
  start.kind = OperationKind::CurrentValues;
  start.start_text = "Запрос наработки...";
  start.first_request = [this](const flovir::Settings&) {
    return RequestPlan{kReadHoldingRegisters, kCurrentValuesFirstRegister,
                       kCurrentValuesRegisterCount, current_values_.data()};
  };
  return Start(start);
}

void Dispatcher::CompleteCurrentValues(OperationContext& context) {
  if (!context.Succeeded()) return;
  const CurrentValuesBlock& block =
      context.Result()
          .current_values.emplace(CurrentValuesOf(std::span<const uint8_t, 128>(current_values_)))
          .block;
  const std::vector<std::string> lines = BuildCurrentValuesReport(block);
  if (history_ != nullptr) {
    history_->CurrentValuesRead(std::span<const uint8_t, kCurrentValuesBytes>(current_values_));
  }
  view_.SetReport(ReportKind::Current, lines);
  SaveAutoReport(kCurrentReportFile, lines);
  context.Finish();
}

bool Dispatcher::StartArchive(OperationKind kind, double first_day, double last_day) {
  OperationStart start;
  start.kind = kind;
  start.start_text = ArchiveStartText(kind);
  start.first_request = [this, kind, first_day, last_day](const flovir::Settings& settings) {
    return archive_->Begin(kind, first_day, last_day, settings);
  };
  return Start(start);
}

bool Dispatcher::TestTick() {
  // Work still running aside may hold the archive workbook after a Stop.
  if (thread_ == nullptr || busy_ || aside_ > 0 || !thread_->IsSleeping()) return false;
  OperationStart start;
  start.kind = OperationKind::TestRead;
  start.start_text = "Запрос параметров...";
  start.keep_test_button = true;
  start.first_request = [this](const flovir::Settings& settings) {
    test_staging_.fill(0);
    // The chunk field sets both the frame and the request length.
    return RequestPlan{kReadHoldingRegisters, kTestFirstRegister, settings.chunk_size,
                       test_staging_.data()};
  };
  return Start(start);
}

void Dispatcher::CompleteTestRead(OperationContext& context) {
  // The buffer shows what arrived, also after a failure, as a direct read
  // into it would.
  parameters_.bytes = test_staging_;
  ++parameter_refills_;
  context.Result().parameters = parameters_;
  if (!context.Succeeded()) return;
  view_.AppendTestLine(BuildTestLine(parameters_, request_->ChunkSize));
  context.Finish();
}

}  // namespace flovir
