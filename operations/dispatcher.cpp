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

OperationContext::Ending OperationContext::Defer() {
  deferral_ = std::make_shared<Deferral>();
  deferral_->operation = dispatcher_->operation_;
  return [dispatcher = dispatcher_, deferral = deferral_](std::optional<std::string> failure) {
    if (deferral->ended) return;
    deferral->ended = true;
    deferral->failure = std::move(failure);
    // Work that ran at once has ended within the hook: the dispatcher ends
    // the operation as after any hook.
    if (deferral->hook_returned) dispatcher->EndDeferred(deferral->operation, deferral->failure);
  };
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

void Dispatcher::EndDeferred(uint64_t operation, const std::optional<std::string>& failure) {
  // Stop, or a cancel that ended the operation meanwhile, has had its say.
  if (thread_ == nullptr || !busy_ || operation != operation_) return;
  if (failure) return EndOperation(*failure, false);
  request_->OperationDone = true;
  EndOperation(std::string(StatusText(ExchangeStatus::Success)), true);
}

Dispatcher::Dispatcher(View& view, const Clock& clock)
    : view_(view),
      clock_(clock),
      program_folder_(flovir::ProgramFolder()),
      archive_(std::make_unique<ArchiveDownload>(*this)) {
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
    throw std::runtime_error(std::string("Не удалось создать папку автосохранения: ") +
                             error.what());
  }
}

void Dispatcher::SaveAutoReport(const std::string& file_text,
                                const std::vector<std::string>& lines) const {
  try {
    AutoSaveReport(program_folder_, settings_.auto_save_name, file_text, lines);
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string("Не удалось записать файл отчёта: ") + error.what());
  }
}

void Dispatcher::SetThread(ExchangeThread* thread, ExchangeRequest* shared_request) {
  if (busy_ && request_->StopRequested) {
    // A cancelled operation whose line was closed under it ends cancelled.
    last_text_ = StatusText(ExchangeStatus::Cancelled);
    last_ok_ = false;
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
    last_text_ = error;
    last_ok_ = false;
    view_.ShowStatus(error);
    return false;
  }
  settings_ = next_settings_;

  view_.EnableOperationButtons(false, !start.keep_test_button);
  kind_ = start.kind;
  step_ = OperationStep::Started;
  RequestPlan first;
  try {
    first = start.first_request(settings_);
  } catch (const std::exception& error) {
    last_text_ = error.what();
    last_ok_ = false;
    view_.ShowStatus(last_text_);
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
    } catch (const std::exception& error) {
      context.failure_ = error.what();
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
    if (goes_on && context.deferral_->failure) context.failure_ = context.deferral_->failure;
  }
  if (context.failure_) return EndOperation(*context.failure_, false);
  if (!context.Succeeded()) {
    return EndOperation(context.status_ == ExchangeStatus::PortLost
                            ? LostPortText(thread_->PortName())
                            : std::string(StatusText(context.status_)),
                        false);
  }
  if (context.next_ && !context.finished_) return ApplyPlan(*context.next_);
  request_->OperationDone = true;
  EndOperation(std::string(StatusText(ExchangeStatus::Success)), true);
}

void Dispatcher::EndOperation(const std::string& text, bool succeeded) {
  thread_->Sleep();
  busy_ = false;
  last_text_ = text;
  last_ok_ = succeeded;
  view_.ShowStatus(text);
  view_.EnableOperationButtons(true, true);
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
  const std::vector<std::string> lines =
      BuildCurrentValuesReport(DecodeCurrentValues(std::span<const uint8_t, 128>(current_values_)));
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
  if (!context.Succeeded()) return;
  view_.AppendTestLine(BuildTestLine(parameters_, request_->ChunkSize));
  context.Finish();
}

}  // namespace flovir
