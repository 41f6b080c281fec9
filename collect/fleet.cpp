#include "collect/fleet.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <toml++/toml.h>

#include "operations/line_tables.h"
#include "operations/words.h"

namespace flovir::collect {

namespace {

// Where a message points: the file, a line, and the meter when known.
struct Place {
  const std::string& path;
  const std::string& meter;  // empty in [defaults]
};

[[noreturn]] void Fail(const Place& at, int64_t line, const std::string& key,
                       const std::string& message) {
  std::string text = at.path + ":" + std::to_string(line) + ": ";
  if (!at.meter.empty()) text += "meter '" + at.meter + "': ";
  if (!key.empty()) text += key + ": ";
  throw FleetError(text + message);
}

int64_t LineOf(const toml::node& node) {
  return static_cast<int64_t>(node.source().begin.line);
}

int64_t Integer(const Place& at, const std::string& key, const toml::node& node, int64_t low,
                int64_t high) {
  const auto value = node.value_exact<int64_t>();
  if (!value || *value < low || *value > high) {
    Fail(at, LineOf(node), key,
         "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return *value;
}

std::string Text(const Place& at, const std::string& key, const toml::node& node) {
  const auto value = node.value_exact<std::string>();
  if (!value) Fail(at, LineOf(node), key, "expected a text in quotes");
  return *value;
}

template <size_t N>
size_t Choice(const Place& at, const std::string& key, const std::string& value,
              const std::array<const char*, N>& names, int64_t line) {
  for (size_t i = 0; i < N; ++i) {
    if (value == names[i]) return i;
  }
  std::string list;
  for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
  Fail(at, line, key, "'" + value + "' is not one of " + list);
}

// A word of one of the core's tables, as the command line takes it.
template <typename T, size_t N>
T WordValue(const Place& at, const std::string& key, const toml::node& node,
            const std::array<Word<T>, N>& table) {
  const std::string text = Text(at, key, node);
  const T* value = FindWord(table, text);
  if (value == nullptr) {
    Fail(at, LineOf(node), key, "'" + text + "' is not one of " + WordList(table, ", "));
  }
  return *value;
}

// A number of the settings page, in the page's range (the command line's).
int64_t FieldValue(const Place& at, const std::string& key, const toml::node& node,
                   const NumberField& field) {
  const auto value = node.value_exact<int64_t>();
  if (!value || *value < 0 || !InRange(field, static_cast<uint64_t>(*value))) {
    Fail(at, LineOf(node), key, "expected " + RangeWords(field));
  }
  return *value;
}

void ApplyCollect(const Place& at, const toml::node& node, CollectWhat& what) {
  const toml::array* list = node.as_array();
  if (!list) Fail(at, LineOf(node), "collect", "expected a list such as [\"current\", \"daily\"]");
  what = {};
  static constexpr std::array<const char*, 5> kNames = {"current", "hourly", "daily", "monthly",
                                                        "params"};
  bool* flags[] = {&what.current, &what.hourly, &what.daily, &what.monthly, &what.parameters};
  for (const toml::node& item : *list) {
    *flags[Choice(at, "collect", Text(at, "collect", item), kNames, LineOf(item))] = true;
  }
  if (list->empty()) Fail(at, LineOf(node), "collect", "nothing to collect");
}

// Applies one key of a [[meter]] or [defaults] table.
void ApplyKey(const Place& at, const std::string& key, const toml::node& node, MeterConfig& m) {
  if (key == "line") {
    const LineChoice line = WordValue(at, key, node, kLineWords);
    m.settings.type = line.type;
    m.settings.framing = line.framing;
  } else if (key == "host") {
    m.settings.host = Text(at, key, node);
    std::string host, port;
    if (!SplitHostPort(m.settings.host, host, port)) {
      Fail(at, LineOf(node), key,
           "'" + m.settings.host + "' is not HOST:PORT (a port from 1 to 65535)");
    }
  } else if (key == "port") {
    m.settings.port_name = Text(at, key, node);
    if (m.settings.port_name.empty()) Fail(at, LineOf(node), key, "empty port name");
  } else if (key == "number") {
    m.settings.number = Text(at, key, node);
  } else if (key == "init") {
    m.settings.init_string = Text(at, key, node);
  } else if (key == "pulse") {
    const auto value = node.value_exact<bool>();
    if (!value) Fail(at, LineOf(node), key, "expected true or false");
    m.settings.dial_mode = *value ? DialMode::Pulse : DialMode::Tone;
  } else if (key == "address") {
    m.settings.address = static_cast<uint8_t>(FieldValue(at, key, node, kAddressField));
  } else if (key == "baud") {
    const int64_t baud = Integer(at, key, node, 1, 1000000);
    if (std::find(BaudTable.begin(), BaudTable.end(), baud) == BaudTable.end()) {
      Fail(at, LineOf(node), key, "expected one of 1200 2400 4800 9600 19200 38400 57600 115200");
    }
    m.settings.line.baud_rate = static_cast<uint32_t>(baud);
  } else if (key == "parity") {
    m.settings.line.parity = WordValue(at, key, node, kParityWords);
  } else if (key == "stop") {
    // A number in the file, as on the command line's --stop 2.
    const std::string stop = std::to_string(Integer(at, key, node, 1, 2));
    m.settings.line.stop_bits = *FindWord(kStopBitsWords, stop);
  } else if (key == "timeout") {
    m.settings.answer_timeout_ms =
        static_cast<uint32_t>(FieldValue(at, key, node, kAnswerTimeoutField));
  } else if (key == "attempts") {
    // Modulo 256, as the command line and the settings page keep it.
    m.settings.attempts = static_cast<uint8_t>(FieldValue(at, key, node, kAttemptsField));
  } else if (key == "chunk") {
    m.settings.chunk_size = static_cast<uint8_t>(FieldValue(at, key, node, kChunkSizeField));
  } else if (key == "collect") {
    ApplyCollect(at, node, m.collect);
  } else if (key == "history_days") {
    m.history_days = static_cast<int>(Integer(at, key, node, 1, 3650));
  } else if (key == "history_months") {
    m.history_months = static_cast<int>(Integer(at, key, node, 1, 120));
  } else {
    Fail(at, LineOf(node), key, "unknown key");
  }
}

// A meter's name becomes a folder: no separators, nothing hidden.
bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
}

MeterConfig ReadMeter(const std::string& path, const toml::table& table,
                      const MeterConfig& defaults) {
  MeterConfig m = defaults;
  m.line_in_file = static_cast<int>(table.source().begin.line);
  const std::string none;
  const toml::node* name = table.get("name");
  if (!name) Fail({path, none}, m.line_in_file, "name", "missing");
  m.name = Text({path, none}, "name", *name);
  if (!ValidName(m.name)) {
    Fail({path, none}, LineOf(*name), "name",
         "'" + m.name + "' is not a folder name: letters, digits, '.', '_' and '-', up to 64");
  }
  const Place at{path, m.name};
  for (const auto& [key, node] : table) {
    if (key.str() != "name") ApplyKey(at, std::string(key.str()), node, m);
  }
  if (m.settings.type == ConnectionType::TcpIp) {
    if (m.settings.host.empty()) Fail(at, m.line_in_file, "host", "missing: HOST:PORT");
    // A network meter is kept apart from the others by its address and port.
    m.settings.port_name = m.settings.host;
    return m;
  }
  if (m.settings.port_name.empty()) Fail(at, m.line_in_file, "port", "missing");
  if (m.settings.type != ConnectionType::Direct && m.settings.number.empty()) {
    Fail(at, m.line_in_file, "number",
         std::string("missing: a ") + LineWordOf(m.settings) + " line dials a number");
  }
  return m;
}

// Two meters that would talk on one port at the same time: a modem and a
// bus cannot share it, and two meters of one bus cannot share an address.
void CheckShared(const std::string& path, const std::vector<MeterConfig>& meters) {
  for (size_t i = 0; i < meters.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      const MeterConfig& a = meters[j];
      const MeterConfig& b = meters[i];
      const Settings& sa = a.settings;
      const Settings& sb = b.settings;
      if (a.name == b.name) {
        Fail({path, {}}, b.line_in_file, "name",
             "'" + b.name + "' is already the name of the meter at line " +
                 std::to_string(a.line_in_file));
      }
      if (sa.port_name != sb.port_name) continue;
      const bool a_direct = sa.type == ConnectionType::Direct;
      const bool b_direct = sb.type == ConnectionType::Direct;
      if (a_direct != b_direct) {
        Fail({path, b.name}, b.line_in_file, "port",
             "'" + sb.port_name + "' is the " + LineWordOf(sa) + " line of meter '" + a.name +
                 "' (line " + std::to_string(a.line_in_file) + "); one port cannot be both");
      }
      const bool same_meter = sa.address == sb.address && (a_direct || sa.number == sb.number);
      if (same_meter) {
        Fail({path, b.name}, b.line_in_file, "address",
             "meter '" + a.name + "' (line " + std::to_string(a.line_in_file) +
                 ") answers at address " + std::to_string(sa.address) + " on port '" +
                 sb.port_name + "' too; both would answer at once");
      }
    }
  }
}

}  // namespace

Fleet ParseFleet(std::string_view text, const std::string& path) {
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& e) {
    throw FleetError(path + ":" + std::to_string(e.source().begin.line) + ": " +
                     std::string(e.description()));
  }
  const std::string none;
  const Place top{path, none};
  MeterConfig defaults;
  const toml::array* meters = nullptr;
  std::string history;
  for (const auto& [key, node] : root) {
    if (key.str() == "history") {
      if (!node.is_string() || node.as_string()->get().empty()) {
        Fail(top, LineOf(node), "history", "a file name or a server's URI (text) is expected");
      }
      history = node.as_string()->get();
    } else if (key.str() == "defaults" && node.is_table()) {
      for (const auto& [k, v] : *node.as_table()) {
        if (k.str() == "name") Fail(top, LineOf(v), "name", "a name belongs to one meter");
        ApplyKey(top, std::string(k.str()), v, defaults);
      }
    } else if (key.str() == "meter" && node.is_array_of_tables()) {
      meters = node.as_array();
    } else {
      Fail(top, LineOf(node), std::string(key.str()),
           "unknown key; the file holds history, [defaults] and [[meter]] tables");
    }
  }
  Fleet fleet;
  fleet.path = path;
  fleet.history = history;
  if (!meters || meters->empty()) Fail(top, 1, "meter", "no [[meter]] table");
  for (const toml::node& node : *meters) {
    fleet.meters.push_back(ReadMeter(path, *node.as_table(), defaults));
  }
  CheckShared(path, fleet.meters);
  return fleet;
}

Fleet ReadFleet(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FleetError(path + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseFleet(text.str(), path);
}

}  // namespace flovir::collect
