#pragma once
// The one-shot exchange with a modem in command mode, and the clean-up of
// its reply.

#include <string>
#include <string_view>

#include "link/port.h"

namespace flovir {

// Writes the command (at most 255 characters, the carriage return included
// where the caller adds it) in one write, then reads up to 100 bytes in one
// read under the port's timeouts. The reply is exactly the bytes read, so a
// silent modem gives an empty reply.
std::string ModemCommand(Port& port, std::string_view command);

// Removes every byte below 16 (CR, LF and the other control bytes; 16 to 31
// stay). If what is left ends in "OK", removes it and answers true.
bool StripModemReply(std::string& reply);

}  // namespace flovir
