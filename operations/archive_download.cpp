#include "operations/archive_download.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "operations/archive_report.h"
#include "operations/report_files.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerDay = 86400;

// Date-time values are compared and advanced in whole seconds, so that 24
// additions of one hour land exactly on midnight.
int64_t ToSeconds(double serial) {
  return std::llround(serial * kSecondsPerDay);
}
double FromSeconds(int64_t seconds) {
  return static_cast<double>(seconds) / kSecondsPerDay;
}
int64_t DayOf(double serial) {
  const int64_t seconds = ToSeconds(serial);
  return seconds >= 0 ? seconds / kSecondsPerDay
                      : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}
double DateOf(double serial) {
  return static_cast<double>(DayOf(serial));
}

double FirstOfMonth(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return EncodeDate(t.year, t.month, 1);
}

}  // namespace

ArchiveRange ComputeArchiveRange(OperationKind kind, double first_day, double last_day,
                                 double now) {
  ArchiveRange range;
  const double first = DateOf(first_day), last = DateOf(last_day);
  switch (LayoutOf(ArchiveOf(kind).value_or(ArchiveKind::Monthly)).step) {
    case EntryStep::Hour: {
      range.start = first;
      // Today's last hour is still being recorded: the range ends an hour ago.
      range.end = last == DateOf(now) ? FromSeconds(ToSeconds(now) - kSecondsPerHour) : last + 1;
      range.planned_steps =
          static_cast<int32_t>((ToSeconds(range.end) - ToSeconds(range.start)) / kSecondsPerHour);
      break;
    }
    case EntryStep::Day:
      range.start = first;
      range.end = last;
      range.planned_steps = static_cast<int32_t>(last - first) + 1;
      break;
    case EntryStep::Month:
      range.start = FirstOfMonth(first);
      range.end = FirstOfMonth(last);
      // Both monthly passes count progress: about two steps a month.
      range.planned_steps = static_cast<int32_t>(range.end - range.start) / 15 + 1;
      break;
  }
  return range;
}

std::string ArchiveStartText(OperationKind kind) {
  return std::string(LayoutOf(ArchiveOf(kind).value_or(ArchiveKind::Hourly)).start_text);
}

ArchiveDownload::ArchiveDownload(Dispatcher& dispatcher)
    : dispatcher_(dispatcher), workbook_(WorkbookModel::MakeArchiveWorkbook()) {}

ArchiveKind ArchiveDownload::Kind() const {
  return ArchiveOf(job_.kind).value_or(ArchiveKind::Hourly);
}

RequestPlan ArchiveDownload::Begin(OperationKind kind, double first_day, double last_day,
                                   const Settings& settings) {
  const ArchiveRange range =
      ComputeArchiveRange(kind, first_day, last_day, dispatcher_.GetClock().Now());
  job_.kind = kind;
  job_.start = range.start;
  job_.end = range.end;
  job_.planned_steps = range.planned_steps;
  job_.cursor = range.start;
  job_.done_steps = 0;
  data_ = {.kind = Kind(), .start = range.start, .end = range.end};
  job_.from_meter = job_.from_store = 0;
  address_ = settings.address;
  history_ = dispatcher_.History();
  stored_.clear();
  checks_.clear();
  if (history_ != nullptr) history_->DownloadStarted(Kind(), job_.start, job_.end);
  return {kReadHoldingRegisters, kVolumeScaleFirstRegister, kVolumeScaleRegisterCount,
          dispatcher_.CurrentValues().data() + kVolumeScaleOffset};
}

RequestPlan ArchiveDownload::SelectInterval() {
  dispatcher_.Selector() = EncodeArchiveSelector(job_.cursor, Kind(), ArchiveValueType::Interval);
  return {kWriteMultipleRegisters, kSelectorFirstRegister, kSelectorRegisterCount,
          dispatcher_.Selector().data()};
}

RequestPlan ArchiveDownload::SelectIntegrator(double at) {
  dispatcher_.Selector() =
      EncodeArchiveSelector(DateOf(at), Layout().integrator_kind, ArchiveValueType::Integrator);
  return {kWriteMultipleRegisters, kSelectorFirstRegister, kSelectorRegisterCount,
          dispatcher_.Selector().data()};
}

RequestPlan ArchiveDownload::ReadEntry() {
  return {kReadHoldingRegisters, kArchiveRecordFirstRegister, kArchiveRecordRegisterCount,
          dispatcher_.CurrentValues().data()};
}

std::span<const uint8_t, kArchiveRecordBytes> ArchiveDownload::Registers() const {
  return std::span<const uint8_t, kArchiveRecordBytes>(dispatcher_.CurrentValues().data(),
                                                       kArchiveRecordBytes);
}

bool ArchiveDownload::IntervalPassEnds() const {
  // The hourly range ends before its last hour, the others on their last
  // day or month.
  if (Layout().step == EntryStep::Hour) {
    return ToSeconds(NextEntryTime(Kind(), job_.cursor)) >= ToSeconds(job_.end);
  }
  return ToSeconds(job_.cursor) >= ToSeconds(job_.end);
}

void ArchiveDownload::AdvanceCursor() {
  job_.cursor = NextEntryTime(Kind(), job_.cursor);
}

void ArchiveDownload::CountProgress() {
  ++job_.done_steps;
  const int64_t percent =
      job_.planned_steps > 0 ? int64_t{job_.done_steps} * 100 / job_.planned_steps : 100;
  View& view = dispatcher_.GetView();
  std::string text = "Выполнено..." + std::to_string(percent) + "%";
  if (history_ != nullptr && history_->MissingOnly()) {
    text += " (из истории " + std::to_string(job_.from_store) + ", с прибора " +
            std::to_string(job_.from_meter) + ")";
  }
  view.ShowProgress(text, static_cast<int>(percent));
  view.ProcessPendingEvents();
}

void ArchiveDownload::Complete(OperationContext& context) {
  if (!context.Succeeded()) {
    // Nothing of a failed or cancelled step is used; what was read before
    // it is in the history already.
    Ended(std::string(StatusText(context.Status())));
    return;
  }
  OperationStep& step = context.Step();
  switch (step) {
    case OperationStep::Started:
      return ScaleCodesRead(context);
    case OperationStep::IntervalSelected:
      context.Next(ReadEntry());
      step = OperationStep::IntervalRead;
      return;
    case OperationStep::IntervalRead:
      return IntervalRead(context);
    case OperationStep::IntegratorSelected:
      context.Next(ReadEntry());
      step = OperationStep::IntegratorRead;
      return;
    case OperationStep::IntegratorRead:
      return Layout().integrator_every_month ? MonthIntegratorRead(context)
                                             : StartIntegratorRead(context);
    case OperationStep::EndIntegratorSelected:
      context.Next(ReadEntry());
      step = OperationStep::EndIntegratorRead;
      return;
    case OperationStep::EndIntegratorRead:
      return EndIntegratorRead(context);
    case OperationStep::CheckSelected:
      context.Next(ReadEntry());
      step = OperationStep::CheckRead;
      return;
    case OperationStep::CheckRead:
      return CheckRead(context);
  }
}

void ArchiveDownload::Record(ArchiveKind kind, ArchiveValueType type, double at, bool complete) {
  if (history_ == nullptr) return;
  ArchiveReading reading;
  reading.kind = kind;
  reading.type = type;
  reading.at = at;
  std::copy_n(dispatcher_.CurrentValues().begin(), kArchiveRecordBytes, reading.registers.begin());
  reading.scales = data_.scales;
  reading.complete = complete;
  history_->EntryRead(reading);
}

void ArchiveDownload::RecordIntegrator(double date) {
  // A reading is the meter's record of a past moment; one dated after the
  // computer's clock holds no data yet.
  if (ToSeconds(date) > ToSeconds(dispatcher_.GetClock().Now())) return;
  Record(Layout().integrator_kind, ArchiveValueType::Integrator, date, true);
}

void ArchiveDownload::Ended(const std::string& status) {
  if (history_ != nullptr) history_->DownloadEnded(status, job_.from_meter, job_.from_store);
  history_ = nullptr;
}

void ArchiveDownload::PrepareMissingOnly() {
  if (history_ == nullptr || !history_->MissingOnly()) return;
  stored_ = history_->StoredEntries(Kind(), job_.start, job_.end);
  if (stored_.empty()) return;
  const ArchiveKind kind = Layout().integrator_kind;
  const double first = DateOf(job_.start), last = DateOf(job_.end);
  for (double date : {first, last}) {
    if (checks_.empty() || checks_.back() != date) {
      if (history_->StoredIntegrator(kind, date)) checks_.push_back(date);
    }
  }
  if (checks_.empty()) {
    if (auto nearest = history_->NearestStoredIntegrator(kind, first, last)) {
      checks_.push_back(*nearest);
    }
  }
}

void ArchiveDownload::NextCheckOrStart(OperationContext& context) {
  if (checks_.empty()) return StartIntervalPass(context);
  context.Next(SelectIntegrator(checks_.front()));
  context.Step() = OperationStep::CheckSelected;
}

void ArchiveDownload::CheckRead(OperationContext& context) {
  const double date = checks_.front();
  checks_.erase(checks_.begin());
  const auto stored = history_->StoredIntegrator(Layout().integrator_kind, date);
  // The eight counts decide; the running mains time of a reading is not
  // part of what the meter recorded at that moment.
  constexpr size_t kCountBytes = 2 * kChannelCount * 4;
  const auto& area = dispatcher_.CurrentValues();
  if (stored && !std::equal(area.begin(), area.begin() + kCountBytes, stored->begin())) {
    const CivilDateTime t = DecodeDateTime(date);
    char day[16];
    std::snprintf(day, sizeof day, "%02d.%02d.%04d", t.day, t.month, t.year);
    const std::string warning = std::string("Интеграторы прибора на ") + day +
                                " не совпадают с сохранёнными в истории: история не "
                                "используется, архив читается с прибора целиком";
    context.Result().warnings.push_back({WarningKind::HistoryDisagrees, warning});
    history_->Disagrees(warning);
    stored_.clear();
    checks_.clear();
  }
  NextCheckOrStart(context);
}

void ArchiveDownload::ScaleCodesRead(OperationContext& context) {
  const auto& area = dispatcher_.CurrentValues();
  for (size_t channel = 0; channel < kChannelCount; ++channel) {
    data_.scales[channel] = VolumeScaleOf(ReadFloat32(area, kVolumeScaleOffset + 4 * channel));
  }
  PrepareMissingOnly();
  NextCheckOrStart(context);
}

void ArchiveDownload::StartIntervalPass(OperationContext& context) {
  job_.sheet =
      BeginArchiveSheet(workbook_, Kind(), job_.start, DateOf(job_.end),
                        dispatcher_.GetClock().Now(), address_, dispatcher_.ProgramFolder());
  TakeOrSelect(context);
}

void ArchiveDownload::TakeOrSelect(OperationContext& context) {
  for (auto it = stored_.find(MinuteKey(job_.cursor)); it != stored_.end();
       it = stored_.find(MinuteKey(job_.cursor))) {
    ++job_.from_store;
    AddEntry(DecodeArchiveEntry(it->second, Kind(), job_.cursor, data_.scales));
    if (IntervalPassEnds()) return EndIntervalPass(context);
    AdvanceCursor();
    CountProgress();
  }
  context.Next(SelectInterval());
  context.Step() = OperationStep::IntervalSelected;
}

void ArchiveDownload::IntervalRead(OperationContext& context) {
  // An interval is complete once it has ended; an entry with no data at all
  // may be one the meter has not recorded yet, and is asked for again.
  const ArchiveEntry entry = DecodeArchiveEntry(Registers(), Kind(), job_.cursor, data_.scales);
  const double ends = NextEntryTime(Kind(), job_.cursor);
  Record(Kind(), ArchiveValueType::Interval, job_.cursor,
         !HoldsNoData(entry) && ToSeconds(ends) <= ToSeconds(dispatcher_.GetClock().Now()));
  ++job_.from_meter;
  AddEntry(entry);
  if (!IntervalPassEnds()) {
    AdvanceCursor();
    CountProgress();
    TakeOrSelect(context);
    return;
  }
  EndIntervalPass(context);
}

void ArchiveDownload::AddEntry(const ArchiveEntry& entry) {
  AddRecordRow(workbook_, job_.sheet, Kind(), entry);
  data_.entries.push_back(entry);
}

void ArchiveDownload::AddIntegrator(double date, bool unrecorded) {
  const ArchiveRecord record = unrecorded ? ArchiveRecord{} : DecodeArchiveRecord(Registers());
  const IntegratorReading reading{
      .date = date,
      .values = ChannelValuesOf(record.volume, record.operating_time, data_.scales),
      .unrecorded = unrecorded};
  AddIntegratorRow(workbook_, job_.sheet, Kind(), reading);
  data_.integrators.push_back(reading);
}

void ArchiveDownload::EndIntervalPass(OperationContext& context) {
  data_.totals = TotalsOf(job_.sheet, data_.scales);
  AddTotalsRow(workbook_, job_.sheet, Kind(), *data_.totals);
  // The daily and monthly integrators walk from the start again; the hourly
  // archive reads its two by the dates of start and end.
  if (Layout().step != EntryStep::Hour) job_.cursor = job_.start;
  context.Next(SelectIntegrator(job_.start));
  if (Layout().integrator_every_month) AddIntegratorLabel(workbook_, job_.sheet);
  context.Step() = OperationStep::IntegratorSelected;
}

void ArchiveDownload::StartIntegratorRead(OperationContext& context) {
  const bool today =
      Layout().step == EntryStep::Hour && DayOf(job_.start) == DayOf(dispatcher_.GetClock().Now());
  // Today's integrators are not recorded yet; the hourly archive shows zeros.
  if (!today) RecordIntegrator(DateOf(job_.start));
  AddIntegratorLabel(workbook_, job_.sheet);
  AddIntegrator(job_.start, today);
  context.Next(SelectIntegrator(job_.end));
  context.Step() = OperationStep::EndIntegratorSelected;
}

void ArchiveDownload::EndIntegratorRead(OperationContext& context) {
  const bool today =
      Layout().step == EntryStep::Hour && DayOf(job_.end) == DayOf(dispatcher_.GetClock().Now());
  if (!today) RecordIntegrator(DateOf(job_.end));
  AddIntegrator(job_.end, today);
  Finish(context);
}

void ArchiveDownload::MonthIntegratorRead(OperationContext& context) {
  RecordIntegrator(job_.cursor);
  AddIntegrator(job_.cursor, false);
  if (ToSeconds(job_.cursor) >= ToSeconds(job_.end)) {
    Finish(context);
    return;
  }
  job_.cursor = NextEntryTime(Kind(), job_.cursor);
  context.Next(SelectIntegrator(job_.cursor));
  context.Step() = OperationStep::IntegratorSelected;
  CountProgress();
}

// The end of a download, in the order the user has always seen: the
// workbook saved as "temp.xls" (a failed save says so in a message box, and
// the table then shows whatever "temp.xls" holds), "Читаю архив...", the
// table read back from that file, the status cleared, the table shown and
// auto-saved. The saving and the reading run aside, off the main thread.
void ArchiveDownload::Finish(OperationContext& context) {
  Ended(std::string(StatusText(ExchangeStatus::Success)));
  context.Result().archive = data_;
  // Empty once saved; otherwise the message to show.
  auto failure = std::make_shared<std::string>();
  dispatcher_.RunAside(
      [this, failure] {
        try {
          workbook_.SaveWorkbook();
        } catch (const std::exception& error) {
          *failure = ArchiveSaveFailedText(workbook_.FileName(), error.what());
        }
      },
      [this, failure, end = context.Defer()] { ReadBack(*failure, end); });
}

void ArchiveDownload::ReadBack(const std::string& failure, const OperationContext::Ending& end) {
  View& view = dispatcher_.GetView();
  if (!failure.empty()) {
    end.Warn(WarningKind::ArchiveWorkbookNotSaved, failure);
    view.ShowMessage(kProgramTitle, failure, MessageIcon::Error);
  }
  const std::string path = workbook_.FileName();
  std::error_code missing;
  if (!std::filesystem::exists(PathFromUtf8(path), missing)) return Publish({}, end);
  view.ShowStatus(kReadingArchiveStatus);
  view.ProcessPendingEvents();
  struct Table {
    std::vector<std::string> lines;
    std::optional<std::string> error;
  };
  auto table = std::make_shared<Table>();
  const ReportKind kind = ReportOf(job_.kind);
  dispatcher_.RunAside(
      [this, table, kind, path] {
        try {
          table->lines = ReadArchiveTable(kind, workbook_, path);
        } catch (const std::exception& error) {
          table->error = error.what();
        }
      },
      [this, table, kind, path, end] {
        View& view = dispatcher_.GetView();
        if (table->error) {
          view.SetReport(kind, {});
          end(OperationError(OperationStatus::ArchiveNotRead,
                             "Не удалось прочитать архив из файла " + path + ": " + *table->error));
          return;
        }
        view.ShowStatus("");
        Publish(table->lines, end);
      });
}

void ArchiveDownload::Publish(const std::vector<std::string>& lines,
                              const OperationContext::Ending& end) {
  dispatcher_.GetView().SetReport(ReportOf(job_.kind), lines);
  try {
    dispatcher_.SaveAutoReport(std::string(Layout().report_file), lines);
  } catch (const std::exception& error) {
    return end(OperationError(OperationStatus::ReportNotWritten, error.what()));
  }
  end(std::nullopt);
}

}  // namespace flovir
