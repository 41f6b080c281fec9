#include <algorithm>
#include <vector>

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

std::string WithoutPasswordOf(const std::string& uri, std::string text) {
  if (!IsServerLocation(uri)) return text;
  std::vector<std::string> secrets;
  const size_t scheme = uri.find("://") + 3;
  const size_t authority_end = std::min(uri.find_first_of("/?", scheme), uri.size());
  const size_t at = uri.rfind('@', authority_end);
  if (at != std::string::npos && at >= scheme) {
    const size_t colon = uri.find(':', scheme);
    if (colon != std::string::npos && colon < at)
      secrets.push_back(uri.substr(colon + 1, at - colon - 1));
  }
  for (size_t key = uri.find("password="); key != std::string::npos;
       key = uri.find("password=", key + 1)) {
    const size_t value = key + 9;
    secrets.push_back(uri.substr(value, uri.find('&', value) - value));
  }
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (size_t found; (found = text.find(secret)) != std::string::npos;) {
      text.replace(found, secret.size(), "***");
    }
  }
  return text;
}

}  // namespace flovir::history
