#include "ui/settings_store.h"

#include <QSettings>

#include "operations/line_tables.h"
#include "ui/settings_page.h"

namespace flovir::ui {

namespace {

// The row of `table` whose caption is `text`, or null.
template <typename T, size_t N>
const T* ValueOfCaption(const std::array<Word<T>, N>& table, const QString& text) {
  const int i = int(Captions(table).indexOf(text));
  return i >= 0 ? &table[size_t(i)].value : nullptr;
}

template <typename T, size_t N>
QString CaptionOf(const std::array<Word<T>, N>& table, const T& value) {
  return Captions(table).value(IndexOfValue(table, value));
}

}  // namespace

SettingsStore::SettingsStore(QString file) : file_(std::move(file)) {}

std::unique_ptr<QSettings> SettingsStore::Open() const {
  if (file_.isEmpty()) return std::make_unique<QSettings>("flovir", "flovir");
  return std::make_unique<QSettings>(file_, QSettings::IniFormat);
}

SettingsFields SettingsStore::Load() const {
  const auto s = Open();
  SettingsFields f;
  auto text = [&](std::string& field, const char* key) {
    if (s->contains(key)) field = s->value(key).toString().toStdString();
  };
  text(f.port_name, "port");
  text(f.address, "address");
  text(f.auto_save_name, "auto_save_name");
  text(f.meter_name, "meter_name");
  text(f.answer_timeout, "timeout");
  text(f.attempts, "attempts");
  text(f.chunk_size, "chunk");
  text(f.number, "number");
  text(f.init_string, "init_string");
  text(f.host, "host");
  const QString speed = s->value("speed").toString();
  for (size_t i = 0; i < BaudTable.size(); ++i) {
    if (QString::number(BaudTable[i]) == speed) f.baud_index = int(i);
  }
  const int parity = int(Captions(kParityWords).indexOf(s->value("parity").toString()));
  if (parity >= 0) f.parity_index = parity;
  const int stop_bits = int(Captions(kStopBitsWords).indexOf(s->value("stop_bits").toString()));
  if (stop_bits >= 0) f.stop_bits_index = stop_bits;
  if (auto framing = ValueOfCaption(kFramingWords, s->value("framing").toString())) {
    f.framing = *framing;
  }
  if (auto type = ValueOfCaption(kConnectionTypeWords, s->value("connection_type").toString())) {
    f.type = *type;
  }
  f.dial_mode = s->value("dial_mode").toString() == "pulse" ? DialMode::Pulse : DialMode::Tone;
  return f;
}

void SettingsStore::Save(const SettingsFields& f) const {
  const auto s = Open();
  auto text = [&](const char* key, const std::string& value) {
    s->setValue(key, QString::fromStdString(value));
  };
  text("port", f.port_name);
  s->setValue("speed", QString::number(BaudTable.at(size_t(f.baud_index))));
  text("address", f.address);
  text("auto_save_name", f.auto_save_name);
  text("meter_name", f.meter_name);
  s->setValue("parity", Captions(kParityWords).value(f.parity_index));
  s->setValue("stop_bits", Captions(kStopBitsWords).value(f.stop_bits_index));
  text("timeout", f.answer_timeout);
  text("attempts", f.attempts);
  text("chunk", f.chunk_size);
  s->setValue("connection_type", CaptionOf(kConnectionTypeWords, f.type));
  text("number", f.number);
  text("init_string", f.init_string);
  s->setValue("dial_mode", f.dial_mode == DialMode::Pulse ? "pulse" : "tone");
  text("host", f.host);
  s->setValue("framing", CaptionOf(kFramingWords, f.framing));
}

std::optional<QSize> SettingsStore::WindowSize() const {
  const auto s = Open();
  if (!s->contains("window_size")) return std::nullopt;
  return s->value("window_size").toSize();
}

void SettingsStore::SaveWindowSize(const QSize& size) const {
  Open()->setValue("window_size", size);
}

QByteArray SettingsStore::SplitterState(const QString& page) const {
  return Open()->value("splitter/" + page).toByteArray();
}

void SettingsStore::SaveSplitterState(const QString& page, const QByteArray& state) const {
  Open()->setValue("splitter/" + page, state);
}

}  // namespace flovir::ui
