// The server setting: host, port and whether the connection is TLS.
#include "net/server_address.h"

namespace falatro {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// "6697" or "+6697" into *port and *tls.
bool ParsePort(std::string_view text, uint16_t* port, bool* tls) {
  *tls = !text.empty() && text.front() == '+';
  if (*tls) text.remove_prefix(1);
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool ParseServerAddress(std::string_view text, ServerAddress* out) {
  text = Trim(text);
  ServerAddress result;
  std::string_view host = text;
  std::string_view port;
  bool has_port = false;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
      has_port = true;
    }
  } else {
    const size_t colon = text.find(':');
    // One colon separates a port; more make an IPv6 address, which needs brackets to carry one.
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      has_port = true;
    }
  }
  if (host.empty()) return false;
  if (has_port && !ParsePort(port, &result.port, &result.tls)) return false;
  result.port_given = has_port;
  result.host = std::string(host);
  *out = result;
  return true;
}

std::string ServerHostOf(std::string_view text) {
  ServerAddress address;
  if (ParseServerAddress(text, &address)) return address.host;
  return std::string(Trim(text));
}

}  // namespace falatro
