#include "parameters/parameter_operations.h"

#include <algorithm>
#include <stdexcept>

#include "link/exchange_request.h"
#include "operations/register_map.h"
#include "operations/report_files.h"
#include "parameters/parameter_workbook.h"
#include "parameters/write_records.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

constexpr const char* kWhatToDo =
    " Сначала считайте параметры из прибора или загрузите их из файла.";

// The frames a write of the whole block takes at this chunk size.
int FrameCount(uint8_t chunk_size) {
  const int chunk = std::min<int>(chunk_size, kMaxWriteRegisters);
  return chunk == 0 ? 0 : (kParameterRegisterCount + chunk - 1) / chunk;
}

// The frames the meter acknowledged, from how far the exchange thread got
// through the block: it moves past a frame's registers before sending it.
int AcknowledgedFrames(size_t registers_built, uint8_t chunk_size) {
  const size_t chunk = std::min<size_t>(chunk_size, kMaxWriteRegisters);
  if (chunk == 0 || registers_built == 0) return 0;
  const size_t last = registers_built % chunk != 0 ? registers_built % chunk : chunk;
  return static_cast<int>((registers_built - last) / chunk);
}

std::string LineText(const Settings& settings) {
  switch (settings.type) {
    case ConnectionType::TcpIp:
      return "TCP/IP " + settings.host;
    case ConnectionType::Gsm:
      return "GSM " + settings.port_name + ", номер " + settings.number;
    case ConnectionType::DialUp:
      return "Dial-Up " + settings.port_name + ", номер " + settings.number;
    case ConnectionType::Direct:
      break;
  }
  return "прямое " + settings.port_name + ", " + std::to_string(settings.line.baud_rate) + " бод";
}

std::string FailureText(ExchangeStatus status, const Settings& settings) {
  return status == ExchangeStatus::PortLost ? LostPortText(settings.port_name)
                                            : std::string(StatusText(status));
}

// The differing cells for a status text: the first few, then how many more.
std::string MismatchText(const ParameterTable& table, const std::vector<ParameterChange>& cells) {
  constexpr size_t kNamed = 5;
  std::string text;
  for (size_t i = 0; i < cells.size() && i < kNamed; ++i) {
    const ChangeTexts values = ValueTexts(table, cells[i]);
    text += (i == 0 ? "" : "; ") + ChangeName(table, cells[i]) + ": записано " + values.before +
            ", в приборе " + values.after;
  }
  if (cells.size() > kNamed) text += "; и ещё " + std::to_string(cells.size() - kNamed);
  return text;
}

}  // namespace

ParameterOperations::ParameterOperations(Dispatcher& dispatcher, const ParameterTable& table,
                                         WorkbookModel& xls0)
    : dispatcher_(dispatcher), table_(table), xls0_(xls0) {
  dispatcher_.SetCompletion(OperationKind::ReadParameters,
                            [this](OperationContext& context) { CompleteRead(context); });
  dispatcher_.SetCompletion(OperationKind::WriteToDevice,
                            [this](OperationContext& context) { CompleteWrite(context); });
}

bool ParameterOperations::ReadParameters() {
  OperationStart start;
  start.kind = OperationKind::ReadParameters;
  start.start_text = "Запрос параметров...";
  start.first_request = [this](const Settings&) {
    // A read never leaves values of an earlier read in place.
    dispatcher_.Parameters().Clear();
    staging_.Clear();
    origin_ = TableOrigin::None;
    prepared_.reset();
    return RequestPlan{kReadHoldingRegisters, kParameterFirstRegister, kParameterRegisterCount,
                       staging_.bytes.data()};
  };
  return dispatcher_.Start(start);
}

void ParameterOperations::CompleteRead(OperationContext& context) {
  dispatcher_.Parameters() = staging_;
  context.Result().parameters = staging_;
  if (!context.Succeeded()) return;
  origin_ = TableOrigin::Meter;
  origin_address_ = context.Settings().address;
  origin_refills_ = dispatcher_.ParameterRefills();
  if (HistoryFeed* history = dispatcher_.History()) {
    history->ParameterTableSeen(ParameterSource::Read, dispatcher_.Parameters().bytes);
  }
  if (on_read_) on_read_();
  const std::string& program_folder = dispatcher_.ProgramFolder();
  const std::string& name_field = context.Settings().auto_save_name;
  const std::string path =
      AutoSaveFolder(program_folder, name_field) + "/" + kParameterAutoSaveName;
  try {
    MakeAutoSaveFolder(program_folder, name_field);
    SaveParameterWorkbook(xls0_, table_, dispatcher_.Parameters(), path);
  } catch (const std::exception& error) {
    context.Fail(OperationStatus::ParametersNotSaved,
                 "Не удалось сохранить параметры в файл " + path + ": " + error.what());
    return;
  }
  context.Finish();
}

void ParameterOperations::LoadWorkbook(const std::string& path) {
  LoadParameterWorkbook(xls0_, table_, dispatcher_.Parameters(), path);
  // Only the grid's values come from a file; the rest of the block is zero.
  if (HistoryFeed* history = dispatcher_.History()) {
    history->ParameterTableSeen(ParameterSource::Loaded, dispatcher_.Parameters().bytes);
  }
  origin_ = TableOrigin::Workbook;
  origin_refills_ = dispatcher_.ParameterRefills();
  prepared_.reset();
}

void ParameterOperations::ForgetMeter() {
  if (origin_ == TableOrigin::Meter) origin_ = TableOrigin::None;
  prepared_.reset();
}

std::string ParameterOperations::WriteRefusal() const {
  const std::string refused = "Запись не выполнена: ";
  if (origin_ != TableOrigin::None && dispatcher_.ParameterRefills() != origin_refills_) {
    return refused + "таблицу заменили значения тестового опроса." + kWhatToDo;
  }
  switch (origin_) {
    case TableOrigin::None:
      return refused + "таблица не считана из этого прибора." + kWhatToDo;
    case TableOrigin::Meter:
      if (dispatcher_.Settings().address != origin_address_) {
        return refused + "таблица считана из прибора с адресом " + std::to_string(origin_address_) +
               ", а записать её нужно по адресу " + std::to_string(dispatcher_.Settings().address) +
               "." + kWhatToDo;
      }
      break;
    case TableOrigin::Workbook:
      break;
  }
  return {};
}

bool ParameterOperations::WriteToDevice(Confirm confirm) {
  return StartBackup(false, std::move(confirm));
}

bool ParameterOperations::PrepareWrite() {
  return StartBackup(true, {});
}

bool ParameterOperations::StartBackup(bool prepare_only, Confirm confirm) {
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.start_text = "Резервная копия параметров...";
  start.first_request = [this, prepare_only, &confirm](const Settings&) {
    if (const std::string refusal = WriteRefusal(); !refusal.empty()) {
      throw OperationError(OperationStatus::WriteRefused, refusal);
    }
    phase_ = Phase::Backup;
    prepare_only_ = prepare_only;
    confirm_ = std::move(confirm);
    prepared_.reset();
    // What the write will send, as the buffer stands now.
    sending_ = dispatcher_.Parameters();
    staging_.Clear();
    return RequestPlan{kReadHoldingRegisters, kParameterFirstRegister, kParameterRegisterCount,
                       staging_.bytes.data()};
  };
  return dispatcher_.Start(start);
}

bool ParameterOperations::WritePrepared() {
  if (!prepared_) return false;
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.start_text = "Запись параметров...";
  start.first_request = [this](const Settings&) {
    phase_ = Phase::Write;
    return WriteRequest(*prepared_);
  };
  return dispatcher_.Start(start);
}

RequestPlan ParameterOperations::WriteRequest(const WritePlan& plan) {
  sending_ = plan.to_send;
  last_write_ = WriteOutcome{};
  last_write_->changes = plan.changes;
  last_write_->sent = plan.to_send;
  last_write_->backup_path = plan.backup_path;
  prepared_.reset();  // a plan is written once
  return RequestPlan{kWriteMultipleRegisters, kParameterFirstRegister, kParameterRegisterCount,
                     sending_.bytes.data()};
}

void ParameterOperations::CompleteWrite(OperationContext& context) {
  switch (phase_) {
    case Phase::Clock:
      if (context.Succeeded()) context.Finish();
      return;
    case Phase::Backup:
      if (!context.Succeeded()) {
        context.Fail("Не удалось считать параметры прибора для резервной копии: " +
                     FailureText(context.Status(), context.Settings()) + ". Ничего не записано.");
        return;
      }
      return Plan(context);
    case Phase::Write:
      return CompleteFrames(context);
    case Phase::Verify:
      return CompleteReadBack(context);
  }
}

// The write's frames are done: all acknowledged, or one failed.
void ParameterOperations::CompleteFrames(OperationContext& context) {
  const Settings& settings = context.Settings();
  WriteOutcome outcome = *last_write_;
  outcome.frames_total = FrameCount(settings.chunk_size);
  if (!context.Succeeded()) {
    const auto built =
        static_cast<size_t>(dispatcher_.Request().DataCursor - sending_.bytes.data()) / 2;
    outcome.result = WriteOutcome::Result::Interrupted;
    outcome.frames_acknowledged = AcknowledgedFrames(built, settings.chunk_size);
    const std::string failure =
        "Запись прервана: " + FailureText(context.Status(), settings) + ". Прибор подтвердил " +
        std::to_string(outcome.frames_acknowledged) + " из " +
        std::to_string(outcome.frames_total) +
        " кадров и теперь может хранить смешанную таблицу: новые значения в начале блока, "
        "прежние дальше. Резервная копия прежней таблицы: " +
        outcome.backup_path;
    return EndWrite(context, std::move(outcome), failure);
  }
  outcome.frames_acknowledged = outcome.frames_total;
  *last_write_ = outcome;
  // Every frame acknowledged: the table as sent goes into the history.
  if (HistoryFeed* history = dispatcher_.History()) {
    history->ParameterTableSeen(ParameterSource::Written, sending_.bytes);
  }
  // A meter acknowledges a value it clamps or refuses all the same: only
  // reading the block back tells.
  phase_ = Phase::Verify;
  read_back_.Clear();
  dispatcher_.GetView().ShowStatus("Проверка записи...");
  context.Next({kReadHoldingRegisters, kParameterFirstRegister, kParameterRegisterCount,
                read_back_.bytes.data()});
}

void ParameterOperations::CompleteReadBack(OperationContext& context) {
  const Settings& settings = context.Settings();
  WriteOutcome outcome = *last_write_;
  if (!context.Succeeded()) {
    outcome.result = WriteOutcome::Result::Unverified;
    const std::string failure =
        "Параметры записаны, но не проверены: " + FailureText(context.Status(), settings) +
        ". Считайте их, чтобы проверить. Резервная копия прежней таблицы: " + outcome.backup_path;
    return EndWrite(context, std::move(outcome), failure);
  }
  outcome.held = read_back_;
  outcome.mismatches = CompareTables(table_, outcome.sent, read_back_, ValueScope::All);
  if (!outcome.mismatches.empty()) {
    outcome.result = WriteOutcome::Result::Differs;
    const std::string failure = "Прибор хранит не то, что записано (" +
                                std::to_string(outcome.mismatches.size()) +
                                "): " + MismatchText(table_, outcome.mismatches) +
                                ". Резервная копия прежней таблицы: " + outcome.backup_path;
    return EndWrite(context, std::move(outcome), failure);
  }
  outcome.result = WriteOutcome::Result::Verified;
  // The meter holds this table now: it may be written again. A loaded
  // table keeps taking the values it does not hold from the meter.
  if (origin_ == TableOrigin::Meter) origin_address_ = settings.address;
  EndWrite(context, std::move(outcome), {});
}

void ParameterOperations::Plan(OperationContext& context) {
  const Settings& settings = context.Settings();
  WritePlan plan;
  plan.meter_before = staging_;
  plan.to_send =
      origin_ == TableOrigin::Workbook ? WithShownValues(table_, sending_, staging_) : sending_;
  plan.changes = CompareTables(table_, plan.meter_before, plan.to_send, ValueScope::All);
  try {
    plan.backup_path =
        NewBackupPath(dispatcher_.ProgramFolder(), settings.address, dispatcher_.GetClock().Now());
    WorkbookModel backup = WorkbookModel::MakeParameterWorkbook();
    SaveParameterWorkbook(backup, table_, plan.meter_before, plan.backup_path);
  } catch (const std::exception& error) {
    context.Fail(OperationStatus::BackupNotSaved,
                 std::string("Не удалось сохранить резервную копию параметров: ") + error.what() +
                     ". Ничего не записано.");
    return;
  }
  if (HistoryFeed* history = dispatcher_.History()) {
    history->ParameterTableSeen(ParameterSource::Backup, plan.meter_before.bytes);
  }
  prepared_ = plan;
  if (prepare_only_) {
    context.Finish();
    return;
  }
  if (confirm_ && !confirm_(plan)) {
    WriteOutcome outcome;
    outcome.result = WriteOutcome::Result::Declined;
    outcome.changes = plan.changes;
    outcome.backup_path = plan.backup_path;
    last_write_ = outcome;
    prepared_.reset();
    context.Fail(OperationStatus::WriteDeclined, "Запись отменена, прибор не изменён.");
    return;
  }
  phase_ = Phase::Write;
  dispatcher_.GetView().ShowStatus("Запись параметров...");
  context.Next(WriteRequest(plan));
}

void ParameterOperations::EndWrite(OperationContext& context, WriteOutcome outcome,
                                   const std::string& failure) {
  try {
    AppendWriteLog(dispatcher_.ProgramFolder(), LogLines(context, outcome));
  } catch (const std::exception& error) {
    outcome.log_error = error.what();
    context.Result().warnings.push_back({WarningKind::ChangeLogNotWritten, outcome.log_error});
  }
  if (HistoryFeed* history = dispatcher_.History()) history->ParameterWriteEnded(Record(outcome));
  outcome.ended_at = dispatcher_.GetClock().Now();
  writes_.push_back(outcome);
  last_write_ = std::move(outcome);
  if (failure.empty()) {
    context.Finish();
  } else {
    // A failed frame or read-back keeps its request's status; after a
    // read-back that succeeded, only a differing table fails.
    context.Fail(OperationStatus::WriteDiffers, failure);
  }
}

ParameterWriteRecord ParameterOperations::Record(const WriteOutcome& outcome) const {
  static constexpr const char* kResults[] = {"verified", "differs", "unverified", "interrupted",
                                             "declined"};
  ParameterWriteRecord record;
  record.result = kResults[static_cast<size_t>(outcome.result)];
  record.frames_acknowledged = outcome.frames_acknowledged;
  record.frames_total = outcome.frames_total;
  record.backup_path = outcome.backup_path;
  for (const ParameterChange& change : outcome.changes) {
    const ChangeTexts texts = ValueTexts(table_, change);
    record.changes.push_back({change.value_index, ChangeName(table_, change), change.before,
                              change.after, texts.before, texts.after});
  }
  for (const ParameterChange& cell : outcome.mismatches) {
    record.mismatches.push_back(
        {cell.value_index, ChangeName(table_, cell), cell.before, cell.after});
  }
  return record;
}

std::vector<std::string> ParameterOperations::LogLines(const OperationContext& context,
                                                       const WriteOutcome& outcome) const {
  const Settings& settings = context.Settings();
  std::vector<std::string> lines;
  lines.push_back(LogTime(dispatcher_.GetClock().Now()) + "  запись параметров: адрес " +
                  std::to_string(settings.address) + ", линия " + LineText(settings));
  lines.push_back("  изменено значений: " + std::to_string(outcome.changes.size()));
  for (const ParameterChange& change : outcome.changes) {
    lines.push_back("    " + ChangeLine(table_, change));
  }
  lines.push_back("  резервная копия: " + outcome.backup_path);
  switch (outcome.result) {
    case WriteOutcome::Result::Verified:
      lines.push_back("  итог: записано и проверено, прибор хранит записанные значения");
      break;
    case WriteOutcome::Result::Differs:
      lines.push_back("  итог: ПРИБОР ХРАНИТ ДРУГИЕ ЗНАЧЕНИЯ (записано -> в приборе):");
      for (const ParameterChange& cell : outcome.mismatches) {
        lines.push_back("    " + ChangeLine(table_, cell));
      }
      break;
    case WriteOutcome::Result::Unverified:
      lines.push_back("  итог: записано, но не проверено: " +
                      FailureText(context.Status(), settings));
      break;
    case WriteOutcome::Result::Interrupted:
      lines.push_back("  итог: ЗАПИСЬ ПРЕРВАНА (" + FailureText(context.Status(), settings) +
                      "): подтверждено кадров " + std::to_string(outcome.frames_acknowledged) +
                      " из " + std::to_string(outcome.frames_total) +
                      ", в приборе может быть смешанная таблица");
      break;
    case WriteOutcome::Result::Declined:
      break;
  }
  lines.push_back("");
  return lines;
}

bool ParameterOperations::ClockSetRequest() {
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.start_text = "Синхронизация времени...";
  start.first_request = [this](const Settings&) {
    phase_ = Phase::Clock;
    clock_sent_ = DecodeDateTime(dispatcher_.GetClock().Now());
    clock_sent_->second = 0;
    const SelectorBytes bytes = EncodeClockSetRequest(*clock_sent_);
    std::copy(bytes.begin(), bytes.end(), dispatcher_.Selector().begin());
    return RequestPlan{kWriteMultipleRegisters, kSelectorFirstRegister, kSelectorRegisterCount,
                       dispatcher_.Selector().data()};
  };
  return dispatcher_.Start(start);
}

}  // namespace flovir
