#pragma once
// The setup of the modem at the meter's site: cabled directly to the port of
// a direct connection, it gets a list of AT commands, one per line, each of
// which must be accepted before the next is sent.

#include <string>
#include <vector>

#include "connection/connection.h"
#include "link/port.h"
#include "operations/view.h"

namespace flovir {

enum class RemoteSetupOutcome {
  Done,           // every line accepted: "Завершено успешно"
  Rejected,       // a line not accepted; the lines after it were not sent
  NoModem,        // no answer at any format: "Модем не отвечает"
  NothingToSend,  // an empty list; the port was not touched
  PortBusy,       // not a direct connection, or a request is running
};

class RemoteModemSetup {
 public:
  static constexpr size_t kMaxCommands = 255;
  // A command and its carriage return go out in one write of at most 255 bytes.
  static constexpr size_t kMaxCommandLength = 254;

  // Answer on the first ring, DTR ignored, 9600 baud, echo off, stored.
  static const std::vector<std::string>& DefaultCommands();

  RemoteModemSetup() : commands_(DefaultCommands()) {}

  const std::vector<std::string>& Commands() const { return commands_; }
  // Replaces the list; on a list that is too long or a line that is too
  // long, returns false with the reason in error and keeps the old list.
  bool SetCommands(std::vector<std::string> commands, std::string& error);
  void Reset() { commands_ = DefaultCommands(); }

  // Runs the list on the port of a direct connection. It refuses while a
  // request runs; for its whole length the connection reports a modem
  // dialogue, so the test poll keeps off the port.
  RemoteSetupOutcome Apply(Connection& connection, View& view) const;

 private:
  std::vector<std::string> commands_;
};

// The list as the user typed it: one command per line, CR LF or LF, blank
// lines left out.
std::vector<std::string> SplitCommandLines(const std::string& text);

// The sequence itself on any port: search the modem, then send the lines.
RemoteSetupOutcome ApplyModemCommands(Port& port, View& view,
                                      const std::vector<std::string>& commands);

}  // namespace flovir
