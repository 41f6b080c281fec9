#include <algorithm>

#include "store/server_store.h"

namespace flovir::history {

bool IsServerLocation(const std::string& location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::string WithoutPassword(const std::string& location) {
  if (!IsServerLocation(location)) return location;
  std::string uri = location;
  // user:secret@host: the user stays, the secret goes.
  const size_t scheme = uri.find("://") + 3;
  const size_t authority_end = std::min(uri.find_first_of("/?", scheme), uri.size());
  const size_t at = uri.rfind('@', authority_end);
  if (at != std::string::npos && at >= scheme) {
    const size_t colon = uri.find(':', scheme);
    if (colon != std::string::npos && colon < at) uri.erase(colon, at - colon);
  }
  // ...?password=secret&...: the parameter goes entirely.
  for (size_t key; (key = uri.find("password=")) != std::string::npos;) {
    if (key == 0 || (uri[key - 1] != '?' && uri[key - 1] != '&')) break;
    const size_t end = uri.find('&', key);
    const bool first = uri[key - 1] == '?';
    if (end == std::string::npos) {
      uri.erase(key - 1);
    } else {
      uri.erase(first ? key : key - 1, first ? end + 1 - key : end - key + 1);
    }
  }
  return uri;
}

}  // namespace flovir::history
