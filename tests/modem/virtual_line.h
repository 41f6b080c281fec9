#pragma once
// A port wired straight to a simulated Hayes modem, on a virtual clock: the
// sequences run in microseconds, and waits and empty reads let virtual time
// pass so that the modem's guard times and dial delay still count.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "link/port.h"
#include "operations/view.h"
#include "tools/meter-sim/hayes_modem.h"

namespace flovir::test {

using namespace std::chrono_literals;

struct VirtualClock {
  std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point{} + 1h;
};

// Stands for the meter in data mode: keeps what reached it.
class RecordingDevice : public sim::LineDevice {
 public:
  void Received(std::span<const uint8_t> bytes, sim::Line&) override {
    bytes_.append(bytes.begin(), bytes.end());
  }
  void Tick(sim::Line&) override {}
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// One write as the modem saw it.
struct SentCommand {
  std::string text;
  LineSettings line;
  PortTimeouts timeouts;
};

class VirtualPort : public Port, private sim::Line {
 public:
  VirtualPort(sim::HayesModem& modem, VirtualClock& clock, LineSettings present)
      : modem_(modem), clock_(clock), line_(present) {}

  bool IsOpen() const override { return open; }
  LineSettings GetLineSettings() override { return line_; }
  bool SetLineSettings(const LineSettings& s) override {
    line_ = s;
    return true;
  }
  bool SetTimeouts(const PortTimeouts& t) override {
    timeouts_ = t;
    return true;
  }
  PortTimeouts GetTimeouts() const override { return timeouts_; }
  void Purge() override { incoming_.clear(); }
  uint32_t Write(const uint8_t* data, size_t count) override {
    sent.push_back({std::string(reinterpret_cast<const char*>(data), count), line_, timeouts_});
    modem_.Received({data, count}, *this);
    return transferred_ = static_cast<uint32_t>(count);
  }
  // An empty line makes the read wait its total timeout in virtual time,
  // giving the modem its ticks meanwhile.
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& = {}) override {
    const auto until = clock_.now + std::chrono::milliseconds(timeouts_.ReadConstant);
    while (incoming_.empty() && clock_.now < until) {
      clock_.now += 5ms;
      modem_.Tick(*this);
    }
    const size_t n = std::min(capacity, incoming_.size());
    std::copy_n(incoming_.begin(), n, data);
    incoming_.erase(0, n);
    return transferred_ = static_cast<uint32_t>(n);
  }
  uint32_t BytesTransferred() const override { return transferred_; }

  // The writes, as text.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& s : sent) texts.push_back(s.text);
    return texts;
  }

  bool open = true;
  std::vector<SentCommand> sent;

 private:
  sim::LineFormat Format() const override {
    return {line_.BaudRate, line_.parity == Parity::Odd, line_.stopBits == StopBits::Two};
  }
  void Send(std::span<const uint8_t> bytes) override {
    incoming_.append(bytes.begin(), bytes.end());
  }
  std::chrono::nanoseconds CharacterTime() const override { return 0ns; }
  void Wait(std::chrono::nanoseconds d) override {
    clock_.now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
  }
  bool Stopping() const override { return false; }

  sim::HayesModem& modem_;
  VirtualClock& clock_;
  LineSettings line_;
  PortTimeouts timeouts_;
  std::string incoming_;
  uint32_t transferred_ = 0;
};

// Hands out the one virtual port; its owner keeps it.
class VirtualPorts : public PortProvider {
 public:
  explicit VirtualPorts(VirtualPort& port) : port_(port) {}
  std::unique_ptr<Port> Open(const std::string& name) override {
    opened.push_back(name);
    if (open_fails) return nullptr;
    port_.open = true;
    return std::make_unique<Borrowed>(port_);
  }
  bool Close(Port&) override {
    ++closes;
    if (close_fails) return false;
    port_.open = false;
    return true;
  }
  bool open_fails = false;
  bool close_fails = false;
  int closes = 0;
  std::vector<std::string> opened;

 private:
  struct Borrowed : Port {
    explicit Borrowed(Port& p) : p(p) {}
    bool IsOpen() const override { return p.IsOpen(); }
    LineSettings GetLineSettings() override { return p.GetLineSettings(); }
    bool SetLineSettings(const LineSettings& s) override { return p.SetLineSettings(s); }
    bool SetTimeouts(const PortTimeouts& t) override { return p.SetTimeouts(t); }
    PortTimeouts GetTimeouts() const override { return p.GetTimeouts(); }
    void Purge() override { p.Purge(); }
    uint32_t Write(const uint8_t* d, size_t n) override { return p.Write(d, n); }
    uint32_t Read(uint8_t* d, size_t n, const ReadComplete& c) override { return p.Read(d, n, c); }
    uint32_t BytesTransferred() const override { return p.BytesTransferred(); }
    Port& p;
  };
  VirtualPort& port_;
};

struct Message {
  std::string title, text;
  MessageIcon icon;
};

class RecordingView : public View {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override {
    messages.push_back({title, text, icon});
  }
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override { ++repaints; }

  // The percentages the modem search showed, in order.
  std::vector<std::string> Percents() const {
    const std::string prefix = "Поиск модема...";
    std::vector<std::string> p;
    for (const auto& s : statuses) {
      if (s.rfind(prefix, 0) == 0 && s.back() == '%') p.push_back(s.substr(prefix.size()));
    }
    return p;
  }

  std::vector<std::string> statuses;
  std::vector<Message> messages;
  int repaints = 0;
};

inline LineSettings Format(uint32_t baud, Parity parity = Parity::None,
                           StopBits stop = StopBits::One) {
  LineSettings s;
  s.BaudRate = baud;
  s.parity = parity;
  s.stopBits = stop;
  return s;
}

inline sim::LineFormat ModemFormat(unsigned baud, bool odd = false, bool two_stop = false) {
  return {baud, odd, two_stop};
}

}  // namespace flovir::test
