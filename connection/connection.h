#pragma once
// Connection start and stop: opening the port, the direct connection, the
// modem call of GSM and dial-up connections (modem_dialogue.h) and its
// hang-up, the Modbus timeouts and the exchange thread of the connection.
// Runs on the main thread and reaches the user only through View; the window
// sets its control states from Connected() afterwards.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "connection/modem_dialogue.h"
#include "link/exchange_request.h"
#include "link/exchange_thread.h"
#include "link/executor.h"
#include "link/port.h"
#include "link/trace.h"
#include "operations/view.h"

namespace flovir {

// Opens and closes ports by name. The real one opens serial devices and
// network connections; tests hand out scripted ports.
class PortProvider {
 public:
  virtual ~PortProvider() = default;
  // Null when the port cannot be opened.
  virtual std::unique_ptr<Port> Open(const std::string& name) = 0;
  // A connection to HOST:PORT within the time; null with the reason in
  // error when none comes up.
  virtual std::unique_ptr<Port> Connect(const std::string& host_port, uint32_t timeout_ms,
                                        std::string& error);
  // False when the platform refuses to close it. The object stays valid
  // either way, so a thread still holding it never touches freed memory.
  virtual bool Close(Port& port) = 0;
};

// Opens serial devices (and pseudo-terminals) by name or path, and TCP
// connections.
class SerialPortProvider : public PortProvider {
 public:
  std::unique_ptr<Port> Open(const std::string& name) override;
  std::unique_ptr<Port> Connect(const std::string& host_port, uint32_t timeout_ms,
                                std::string& error) override;
  bool Close(Port& port) override;
  // The system's reason for the last Open that failed, naming the port.
  const std::string& LastError() const { return last_error_; }

 private:
  std::string last_error_;
};

// What the exchange thread of a connection is made of. The dispatcher owns
// the request block and the completion handler; on_thread_changed tells it
// the thread of a new connection (nullptr once the thread has ended).
struct LinkParts {
  ExchangeRequest* request = nullptr;
  MainThreadExecutor* executor = nullptr;
  std::function<void()> exchange_completed;
  ExchangeTrace* trace = nullptr;
  std::function<void()> clear_trace;
  std::function<void(ExchangeThread*)> on_thread_changed;
  LineStatistics* statistics = nullptr;  // where the thread counts; may be null
};

class Connection {
 public:
  Connection(View& view, PortProvider& ports, LinkParts link, ConnectionTiming timing = {});
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Start: returns Connected(). Every failure leaves the port closed;
  // settings outside their ranges (SettingsError) open nothing.
  bool Start(const Settings& settings);
  // Stop: hangs up a modem call and closes the port. Returns true when the
  // connection is down. A failed hang-up keeps the port open, Connected()
  // set and a sleeping exchange thread, so Stop can be tried again. Refused
  // while a modem dialogue holds the port. A quiet Stop (the program
  // closing) says nothing of a call that ended as asked: the message box
  // "Соединение прервано" shows only when the hang-up failed.
  enum class Announce { Always, FailureOnly };
  bool Stop(Announce announce = Announce::Always);

  bool Connected() const { return connected_; }
  ConnectionType Type() const { return settings_.type; }
  // The open port and the thread of the connection; null when disconnected.
  Port* OpenPort() const { return port_.get(); }
  ExchangeThread* Thread() const { return thread_.get(); }
  // The last modem report of Start (texts joined with "\r"), empty for a
  // direct connection.
  const std::string& ModemReport() const { return report_; }
  // The text of the last error box since Start (a modem's report of a call
  // that failed, a hang-up that failed); empty when there was none.
  const std::string& LastError() const { return last_error_; }

  // True while a modem dialogue (this one's or the remote modem setup's)
  // uses the port.
  bool ModemDialogueActive() const { return dialogue_active_; }
  // Takes the port for a modem dialogue for one scope: the dispatcher is
  // told there is no exchange thread meanwhile, so neither an operation nor
  // a tick of the test poll can start a request on it.
  class DialogueScope {
   public:
    explicit DialogueScope(Connection& c);
    ~DialogueScope();
    DialogueScope(const DialogueScope&) = delete;
    DialogueScope& operator=(const DialogueScope&) = delete;

   private:
    Connection& c_;
  };

 private:
  bool OpenLine();
  bool ConnectNetwork();
  void Connect();
  void StartThread();
  void EndThread();
  bool CloseLine();
  void Show(const std::string& status);
  void Error(const std::string& text);  // an error box about the call

  View& view_;
  PortProvider& ports_;
  LinkParts link_;
  ConnectionTiming timing_;
  Settings settings_;
  std::unique_ptr<Port> port_;
  std::unique_ptr<ExchangeThread> thread_;
  std::string report_;
  std::string last_error_;
  bool connected_ = false;
  bool dialogue_active_ = false;
};

}  // namespace flovir
