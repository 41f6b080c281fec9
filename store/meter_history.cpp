#include "store/meter_history.h"

#include <algorithm>
#include <cstdio>

#include "operations/archive_workbook.h"
#include "operations/words.h"

namespace flovir::history {

namespace {

std::string LineWord(const Settings& settings) {
  for (const auto& word : kLineWords) {
    if (word.value.type == settings.type &&
        (settings.type != ConnectionType::TcpIp || word.value.framing == settings.framing)) {
      return std::string(word.word);
    }
  }
  return "direct";
}

std::vector<uint8_t> ScaleCodes(const ScaleSet& scales) {
  std::vector<uint8_t> codes;
  for (const VolumeScale& scale : scales) codes.push_back(scale.code);
  return codes;
}

// The eight values of an entry: NULL where the count carries the no-data mark.
void ValuesOf(const RecordRegisters& registers, const ScaleSet& scales, Values& volume,
              Values& hours) {
  for (size_t i = 0; i < kChannelCount; ++i) {
    const uint32_t v = ReadUint32(registers, 4 * i);
    const uint32_t b = ReadUint32(registers, 4 * (kChannelCount + i));
    volume[i] = v >= kNoDataMarker ? std::nullopt : std::optional(ScaledVolume(v, scales[i]));
    hours[i] = b >= kNoDataMarker ? std::nullopt : std::optional(CountToHours(b));
  }
}

}  // namespace

std::string DefaultMeterName(const Settings& settings) {
  const std::string& where =
      settings.type == ConnectionType::TcpIp ? settings.host : settings.port_name;
  return LineWord(settings) + " " + where + " #" + std::to_string(settings.address);
}

MeterIdentity IdentityOf(const std::string& name, const Settings& settings) {
  MeterIdentity meter;
  meter.name = name.empty() ? DefaultMeterName(settings) : name;
  meter.line = LineWord(settings);
  if (settings.type == ConnectionType::TcpIp) {
    meter.host = settings.host;
  } else {
    meter.port = settings.port_name;
  }
  meter.address = settings.address;
  return meter;
}

StoredEntry EntryOf(const ArchiveReading& reading, const std::string& downloaded_at) {
  StoredEntry entry;
  entry.kind = reading.kind;
  entry.at = EntryTimeText(reading.at);
  ValuesOf(reading.registers, reading.scales, entry.volume, entry.hours);
  const bool no_data = std::none_of(entry.volume.begin(), entry.volume.end(),
                                    [](const auto& v) { return v.has_value(); });
  const ArchiveRecord record = DecodeArchiveRecord(reading.registers);
  if (!no_data) entry.mains_off = MainsOffHours(record.mains_time, reading.kind, reading.at);
  entry.events =
      EventMarksText(EventMarksOf(record.event_word_a, record.event_word_b, reading.kind));
  entry.complete = reading.complete;
  entry.downloaded_at = downloaded_at;
  entry.registers.assign(reading.registers.begin(), reading.registers.end());
  entry.scale_codes = ScaleCodes(reading.scales);
  return entry;
}

StoredIntegrator IntegratorOf(const ArchiveReading& reading, const std::string& downloaded_at) {
  StoredIntegrator stored;
  stored.kind = reading.kind;
  stored.at = EntryTimeText(reading.at);
  ValuesOf(reading.registers, reading.scales, stored.volume, stored.hours);
  stored.downloaded_at = downloaded_at;
  stored.registers.assign(reading.registers.begin(), reading.registers.end());
  stored.scale_codes = ScaleCodes(reading.scales);
  return stored;
}

StoredParameterWrite ParameterWriteOf(const ParameterWriteRecord& write,
                                      const std::string& written_at) {
  StoredParameterWrite stored;
  stored.written_at = written_at;
  stored.result = write.result;
  stored.frames_acknowledged = write.frames_acknowledged;
  stored.frames_total = write.frames_total;
  stored.backup = write.backup_path;
  for (const ParameterWriteRecord::Change& c : write.changes) {
    stored.changes.push_back(
        {c.value_index, c.name, c.before, c.after, c.before_text, c.after_text, std::nullopt});
  }
  for (const ParameterWriteRecord::Mismatch& m : write.mismatches) {
    auto changed = std::find_if(stored.changes.begin(), stored.changes.end(),
                                [&](const auto& c) { return c.value_index == m.value_index; });
    if (changed == stored.changes.end()) {
      // A value the write was to keep, which the meter holds otherwise.
      changed = stored.changes.insert(stored.changes.end(),
                                      {m.value_index, m.name, m.sent, m.sent, {}, {}, {}});
    }
    changed->held = m.held;
  }
  return stored;
}

StoredCurrentValues CurrentValuesOf(std::span<const uint8_t, kCurrentValuesBytes> area,
                                    const std::string& read_at) {
  const CurrentValuesBlock block = DecodeCurrentValues(area);
  StoredCurrentValues values;
  values.read_at = read_at;
  char clock[32];
  std::snprintf(clock, sizeof clock, "%04d-%02d-%02dT%02d:%02d:%02d", 2000 + block.clock.year,
                block.clock.month, block.clock.day, block.clock.hour, block.clock.minutes,
                block.clock.seconds);
  values.meter_clock = clock;
  for (size_t i = 0; i < kChannelCount; ++i) {
    const VolumeScale scale = VolumeScaleOf(block.volume_scale_code[i]);
    values.volume[i] = ScaledVolume(block.volume[i], scale);
    values.hours[i] = CountToHours(block.operating_time[i]);
    if (FlowValid(block.channel_status[i])) values.flow[i] = block.flow[i];
    values.channel_status[i] = block.channel_status[i];
    values.scale_code[i] = block.volume_scale_code[i];
  }
  values.mains_hours = CountToHours(block.mains_time);
  return values;
}

MeterHistory::MeterHistory(HistoryStore& store, MeterIdentity meter, const Clock& clock,
                           Warning warn, Writes writes)
    : store_(store), meter_(std::move(meter)), clock_(clock), warn_(std::move(warn)) {
  if (writes == Writes::OnWriterThread) writer_ = std::make_unique<StoreWriter>();
}

MeterHistory::~MeterHistory() = default;

void MeterHistory::Drain() {
  if (writer_) writer_->Drain();
}

template <typename F>
void MeterHistory::Guarded(const char* what, F&& call) {
  if (failed_) return;
  try {
    call();
  } catch (const std::exception& error) {
    failed_ = true;
    ++warnings_;
    if (warn_) {
      warn_(std::string(what) + " " + store_.Location() + ": " + error.what() +
            ". История больше не записывается; файлы сохраняются как обычно");
    }
  }
}

void MeterHistory::Write(std::function<void(const std::string& now)> write) {
  if (failed_) return;
  std::string now = MomentText(clock_.Now());
  if (!writer_) return write(now);
  writer_->Post([write = std::move(write), now = std::move(now)] { write(now); });
}

std::optional<int64_t> MeterHistory::MeterId(const std::string& now) {
  if (!meter_id_) {
    Guarded("Не удалось записать в историю", [&] { meter_id_ = store_.Meter(meter_, now); });
  }
  return meter_id_;
}

void MeterHistory::DownloadStarted(ArchiveKind kind, double from, double to) {
  Write([this, kind, from, to](const std::string& now) {
    download_.reset();
    const auto id = MeterId(now);
    if (!id) return;
    Guarded("Не удалось записать в историю", [&] {
      download_ = store_.BeginDownload(*id, {kind, now, EntryTimeText(from), EntryTimeText(to)});
    });
  });
}

void MeterHistory::EntryRead(const ArchiveReading& reading) {
  Write([this, reading](const std::string& now) {
    const auto id = MeterId(now);
    if (!id) return;
    Guarded("Не удалось записать в историю", [&] {
      if (reading.type == ArchiveValueType::Integrator) {
        store_.PutIntegrator(*id, IntegratorOf(reading, now));
      } else {
        store_.PutEntry(*id, EntryOf(reading, now));
      }
    });
  });
}

void MeterHistory::DownloadEnded(const std::string& status, int from_meter, int from_store) {
  Write([this, status, from_meter, from_store](const std::string& now) {
    if (!download_) return;
    Guarded("Не удалось записать в историю",
            [&] { store_.EndDownload(*download_, now, status, from_meter, from_store); });
    download_.reset();
  });
}

void MeterHistory::CurrentValuesRead(std::span<const uint8_t, kCurrentValuesBytes> area) {
  std::array<uint8_t, kCurrentValuesBytes> copy;
  std::copy(area.begin(), area.end(), copy.begin());
  Write([this, copy](const std::string& now) {
    const auto id = MeterId(now);
    if (!id) return;
    Guarded("Не удалось записать в историю",
            [&] { store_.PutCurrentValues(*id, CurrentValuesOf(copy, now)); });
  });
}

void MeterHistory::ParameterTableSeen(ParameterSource source, std::span<const uint8_t> block) {
  static constexpr const char* kSources[] = {"read", "backup", "written", "loaded"};
  Write([this, source,
         registers = std::vector<uint8_t>(block.begin(), block.end())](const std::string& now) {
    const auto id = MeterId(now);
    if (!id) return;
    Guarded("Не удалось записать в историю", [&] {
      store_.PutParameterTable(*id, now, kSources[static_cast<size_t>(source)], registers);
    });
  });
}

void MeterHistory::ParameterWriteEnded(const ParameterWriteRecord& write) {
  Write([this, write](const std::string& now) {
    const auto id = MeterId(now);
    if (!id) return;
    Guarded("Не удалось записать в историю",
            [&] { store_.PutParameterWrite(*id, ParameterWriteOf(write, now)); });
  });
}

std::map<int64_t, RecordRegisters> MeterHistory::StoredEntries(ArchiveKind kind, double from,
                                                               double to) {
  std::map<int64_t, RecordRegisters> entries;
  Drain();
  const auto id = MeterId(MomentText(clock_.Now()));
  if (!id) return entries;
  Guarded("Не удалось прочитать историю", [&] {
    for (const StoredEntry& entry :
         store_.Entries(*id, kind, EntryTimeText(from), EntryTimeText(to), true)) {
      const auto at = ParseTimeText(entry.at);
      if (!at || entry.registers.size() != kArchiveRecordBytes) continue;
      RecordRegisters registers;
      std::copy(entry.registers.begin(), entry.registers.end(), registers.begin());
      entries.emplace(MinuteKey(*at), registers);
    }
  });
  if (failed_) entries.clear();
  return entries;
}

std::optional<RecordRegisters> MeterHistory::StoredIntegrator(ArchiveKind kind, double date) {
  std::optional<RecordRegisters> found;
  Drain();
  const auto id = MeterId(MomentText(clock_.Now()));
  if (!id) return found;
  const std::string at = EntryTimeText(date);
  Guarded("Не удалось прочитать историю", [&] {
    for (const history::StoredIntegrator& reading : store_.Integrators(*id, kind, at, at)) {
      if (reading.registers.size() != kArchiveRecordBytes) continue;
      found.emplace();
      std::copy(reading.registers.begin(), reading.registers.end(), found->begin());
    }
  });
  return found;
}

std::optional<double> MeterHistory::NearestStoredIntegrator(ArchiveKind kind, double from,
                                                            double to) {
  std::optional<double> nearest;
  Drain();
  const auto id = MeterId(MomentText(clock_.Now()));
  if (!id) return nearest;
  Guarded("Не удалось прочитать историю", [&] {
    // The last reading up to the range's end, else the first one after it.
    auto before = store_.Integrators(*id, kind, "0000", EntryTimeText(to));
    if (!before.empty()) {
      nearest = ParseTimeText(before.back().at);
      return;
    }
    auto after = store_.Integrators(*id, kind, EntryTimeText(to), "9999");
    if (!after.empty()) nearest = ParseTimeText(after.front().at);
  });
  (void)from;
  return nearest;
}

void MeterHistory::Disagrees(const std::string& warning) {
  ++warnings_;
  if (warn_) warn_(warning);
}

}  // namespace flovir::history
