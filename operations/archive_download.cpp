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

double FirstOfNextMonth(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return t.month == 12 ? EncodeDate(t.year + 1, 1, 1) : EncodeDate(t.year, t.month + 1, 1);
}

const char* AutoSaveFileOf(OperationKind kind) {
  switch (kind) {
    case OperationKind::DailyArchive:
      return kDailyReportFile;
    case OperationKind::MonthlyArchive:
      return kMonthlyReportFile;
    default:
      return kHourlyReportFile;
  }
}

}  // namespace

ArchiveRange ComputeArchiveRange(OperationKind kind, double first_day, double last_day,
                                 double now) {
  ArchiveRange range;
  const double first = DateOf(first_day), last = DateOf(last_day);
  switch (kind) {
    case OperationKind::HourlyArchive: {
      range.start = first;
      // Today's last hour is still being recorded: the range ends an hour ago.
      range.end = last == DateOf(now) ? FromSeconds(ToSeconds(now) - kSecondsPerHour) : last + 1;
      range.planned_steps =
          static_cast<int32_t>((ToSeconds(range.end) - ToSeconds(range.start)) / kSecondsPerHour);
      break;
    }
    case OperationKind::DailyArchive:
      range.start = first;
      range.end = last;
      range.planned_steps = static_cast<int32_t>(last - first) + 1;
      break;
    default:
      range.start = FirstOfMonth(first);
      range.end = FirstOfMonth(last);
      // Both monthly passes count progress: about two steps a month.
      range.planned_steps = static_cast<int32_t>(range.end - range.start) / 15 + 1;
      break;
  }
  return range;
}

std::string ArchiveStartText(OperationKind kind) {
  switch (kind) {
    case OperationKind::DailyArchive:
      return "Запрос суточного архива...";
    case OperationKind::MonthlyArchive:
      return "Запрос месячного архива...";
    default:
      return "Запрос часового архива...";
  }
}

ArchiveDownload::ArchiveDownload(Dispatcher& dispatcher)
    : dispatcher_(dispatcher), workbook_(WorkbookModel::MakeArchiveWorkbook()) {}

ArchiveKind ArchiveDownload::Kind() const {
  switch (job_.kind) {
    case OperationKind::DailyArchive:
      return ArchiveKind::Daily;
    case OperationKind::MonthlyArchive:
      return ArchiveKind::Monthly;
    default:
      return ArchiveKind::Hourly;
  }
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
  job_.unrecorded_integrators.clear();
  job_.from_meter = job_.from_store = 0;
  address_ = settings.address;
  history_ = dispatcher_.History();
  stored_.clear();
  checks_.clear();
  if (history_ != nullptr) history_->DownloadStarted(Kind(), job_.start, job_.end);
  return {3, kVolumeScaleFirstRegister, kVolumeScaleRegisterCount,
          dispatcher_.CurrentValues().data() + kVolumeScaleOffset};
}

RequestPlan ArchiveDownload::SelectInterval() {
  dispatcher_.Selector() = EncodeArchiveSelector(job_.cursor, Kind(), ArchiveValueType::Interval);
  return {16, kSelectorFirstRegister, kSelectorRegisterCount, dispatcher_.Selector().data()};
}

RequestPlan ArchiveDownload::SelectIntegrator(double at) {
  // Hourly and daily archives read the integrators of a day, the monthly
  // archive those of a month.
  const ArchiveKind kind =
      Kind() == ArchiveKind::Monthly ? ArchiveKind::Monthly : ArchiveKind::Daily;
  dispatcher_.Selector() = EncodeArchiveSelector(DateOf(at), kind, ArchiveValueType::Integrator);
  return {16, kSelectorFirstRegister, kSelectorRegisterCount, dispatcher_.Selector().data()};
}

RequestPlan ArchiveDownload::ReadEntry() {
  return {3, kArchiveRecordFirstRegister, kArchiveRecordRegisterCount,
          dispatcher_.CurrentValues().data()};
}

ArchiveRecord ArchiveDownload::Entry() const {
  const auto& area = dispatcher_.CurrentValues();
  return DecodeArchiveRecord(
      std::span<const uint8_t, kArchiveRecordBytes>(area.data(), kArchiveRecordBytes));
}

bool ArchiveDownload::IntervalPassEnds() const {
  if (Kind() == ArchiveKind::Hourly) {
    return ToSeconds(job_.cursor) + kSecondsPerHour >= ToSeconds(job_.end);
  }
  return ToSeconds(job_.cursor) >= ToSeconds(job_.end);
}

void ArchiveDownload::AdvanceCursor() {
  switch (Kind()) {
    case ArchiveKind::Hourly:
      job_.cursor = FromSeconds(ToSeconds(job_.cursor) + kSecondsPerHour);
      break;
    case ArchiveKind::Daily:
      job_.cursor = FromSeconds(ToSeconds(job_.cursor) + kSecondsPerDay);
      break;
    case ArchiveKind::Monthly:
      job_.cursor = FirstOfNextMonth(job_.cursor);
      break;
  }
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
      return Kind() == ArchiveKind::Monthly ? MonthIntegratorRead(context)
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
  reading.scales = job_.scales;
  reading.complete = complete;
  history_->EntryRead(reading);
}

void ArchiveDownload::RecordIntegrator(double date) {
  // A reading is the meter's record of a past moment; one dated after the
  // computer's clock holds no data yet.
  if (ToSeconds(date) > ToSeconds(dispatcher_.GetClock().Now())) return;
  Record(Kind() == ArchiveKind::Monthly ? ArchiveKind::Monthly : ArchiveKind::Daily,
         ArchiveValueType::Integrator, date, true);
}

void ArchiveDownload::Ended(const std::string& status) {
  if (history_ != nullptr) history_->DownloadEnded(status, job_.from_meter, job_.from_store);
  history_ = nullptr;
}

void ArchiveDownload::PrepareMissingOnly() {
  if (history_ == nullptr || !history_->MissingOnly()) return;
  stored_ = history_->StoredEntries(Kind(), job_.start, job_.end);
  if (stored_.empty()) return;
  const ArchiveKind kind =
      Kind() == ArchiveKind::Monthly ? ArchiveKind::Monthly : ArchiveKind::Daily;
  const double first = Kind() == ArchiveKind::Monthly ? job_.start : DateOf(job_.start);
  const double last = Kind() == ArchiveKind::Monthly ? job_.end : DateOf(job_.end);
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
  const ArchiveKind kind =
      Kind() == ArchiveKind::Monthly ? ArchiveKind::Monthly : ArchiveKind::Daily;
  const auto stored = history_->StoredIntegrator(kind, date);
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
    job_.scales[channel] = VolumeScaleOf(ReadFloat32(area, kVolumeScaleOffset + 4 * channel));
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
    AddRecordRow(workbook_, job_.sheet, Kind(), DecodeArchiveRecord(it->second), job_.cursor,
                 job_.scales);
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
  const ArchiveRecord entry = Entry();
  bool no_data = true;
  for (size_t offset = 0; offset < 2 * kChannelCount * 4; offset += 4) {
    no_data = no_data && ReadUint32(dispatcher_.CurrentValues(), offset) >= kNoDataMarker;
  }
  const double ends = Kind() == ArchiveKind::Monthly ? FirstOfNextMonth(job_.cursor)
                      : Kind() == ArchiveKind::Daily
                          ? job_.cursor + 1
                          : FromSeconds(ToSeconds(job_.cursor) + kSecondsPerHour);
  Record(Kind(), ArchiveValueType::Interval, job_.cursor,
         !no_data && ToSeconds(ends) <= ToSeconds(dispatcher_.GetClock().Now()));
  ++job_.from_meter;
  AddRecordRow(workbook_, job_.sheet, Kind(), entry, job_.cursor, job_.scales);
  if (!IntervalPassEnds()) {
    AdvanceCursor();
    CountProgress();
    TakeOrSelect(context);
    return;
  }
  EndIntervalPass(context);
}

void ArchiveDownload::EndIntervalPass(OperationContext& context) {
  AddTotalsRow(workbook_, job_.sheet, Kind(), job_.scales);
  // The daily and monthly integrators walk from the start again; the hourly
  // archive reads its two by the dates of start and end.
  if (Kind() != ArchiveKind::Hourly) job_.cursor = job_.start;
  context.Next(SelectIntegrator(job_.start));
  if (Kind() == ArchiveKind::Monthly) AddIntegratorLabel(workbook_, job_.sheet);
  context.Step() = OperationStep::IntegratorSelected;
}

void ArchiveDownload::StartIntegratorRead(OperationContext& context) {
  const bool today =
      Kind() == ArchiveKind::Hourly && DayOf(job_.start) == DayOf(dispatcher_.GetClock().Now());
  // Today's integrators are not recorded yet; the hourly archive shows zeros.
  const ArchiveRecord entry = today ? ArchiveRecord{} : Entry();
  job_.unrecorded_integrators.push_back(today);
  if (!today) RecordIntegrator(DateOf(job_.start));
  AddIntegratorLabel(workbook_, job_.sheet);
  AddIntegratorRow(workbook_, job_.sheet, Kind(), entry, job_.start, job_.scales);
  context.Next(SelectIntegrator(job_.end));
  context.Step() = OperationStep::EndIntegratorSelected;
}

void ArchiveDownload::EndIntegratorRead(OperationContext& context) {
  const bool today =
      Kind() == ArchiveKind::Hourly && DayOf(job_.end) == DayOf(dispatcher_.GetClock().Now());
  const ArchiveRecord entry = today ? ArchiveRecord{} : Entry();
  job_.unrecorded_integrators.push_back(today);
  if (!today) RecordIntegrator(DateOf(job_.end));
  AddIntegratorRow(workbook_, job_.sheet, Kind(), entry, job_.end, job_.scales);
  Finish(context);
}

void ArchiveDownload::MonthIntegratorRead(OperationContext& context) {
  RecordIntegrator(job_.cursor);
  AddIntegratorRow(workbook_, job_.sheet, Kind(), Entry(), job_.cursor, job_.scales);
  if (ToSeconds(job_.cursor) >= ToSeconds(job_.end)) {
    Finish(context);
    return;
  }
  job_.cursor = FirstOfNextMonth(job_.cursor);
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
  context.Result().archive = {Kind(), job_.start, job_.end, job_.scales,
                              job_.unrecorded_integrators};
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
    dispatcher_.SaveAutoReport(AutoSaveFileOf(job_.kind), lines);
  } catch (const std::exception& error) {
    return end(OperationError(OperationStatus::ReportNotWritten, error.what()));
  }
  end(std::nullopt);
}

}  // namespace flovir
