#include "ui/settings_store.h"

#include <QSettings>

#include "operations/line_tables.h"
#include "ui/settings_page.h"

namespace flovir::ui {

namespace {

template <typename Table>
QString Word(const Table& table, int index) {
  const auto& word = table[static_cast<size_t>(index)];
  return QString::fromUtf8(word.data(), qsizetype(word.size()));
}

// The index of `text` among the words of a list, or `fallback`.
template <typename Table>
int IndexOf(const Table& table, const QString& text, int fallback) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (Word(table, int(i)) == text) return int(i);
  }
  return fallback;
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
  f.parity_index = IndexOf(ParityNames, s->value("parity").toString(), f.parity_index);
  f.stop_bits_index = IndexOf(StopBitsNames, s->value("stop_bits").toString(), f.stop_bits_index);
  const int framing = int(kFramingNames.indexOf(s->value("framing").toString()));
  if (framing >= 0) f.framing = static_cast<WireFraming>(framing);
  const int type = int(kConnectionTypeNames.indexOf(s->value("connection_type").toString()));
  if (type >= 0) f.type = static_cast<ConnectionType>(type);
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
  s->setValue("parity", Word(ParityNames, f.parity_index));
  s->setValue("stop_bits", Word(StopBitsNames, f.stop_bits_index));
  text("timeout", f.answer_timeout);
  text("attempts", f.attempts);
  text("chunk", f.chunk_size);
  s->setValue("connection_type", kConnectionTypeNames[int(f.type)]);
  text("number", f.number);
  text("init_string", f.init_string);
  s->setValue("dial_mode", f.dial_mode == DialMode::Pulse ? "pulse" : "tone");
  text("host", f.host);
  s->setValue("framing", kFramingNames[int(f.framing)]);
}

std::optional<QSize> SettingsStore::WindowSize() const {
  const auto s = Open();
  if (!s->contains("window_size")) return std::nullopt;
  return s->value("window_size").toSize();
}

void SettingsStore::SaveWindowSize(const QSize& size) const {
  Open()->setValue("window_size", size);
}

}  // namespace flovir::ui
