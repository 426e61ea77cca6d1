// The server setting: a host with an optional port, "+" before the port asking for TLS.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace falatro {

/// The plain IRC port, used when the setting names none.
constexpr uint16_t kPlainIrcPort = 6667;

/// Where to connect and how.
struct ServerAddress {
  std::string host;  ///< name, dotted IPv4 address or IPv6 address (without brackets)
  uint16_t port = kPlainIrcPort;
  bool port_given = false;  ///< the text named the port (else port is the plain default)
  bool tls = false;         ///< the connection starts with a TLS handshake
};

/// Reads a server setting: "host", "host:port", "host:+port", "[v6]", "[v6]:port", "[v6]:+port", or a
/// bare IPv6 address (it has more than one ":", so it cannot carry a port). Blanks around the text
/// are ignored. A bare host means the plain port 6667. False (and *out untouched) for an empty
/// host, a port that is not a number from 1 to 65535, a "+" with no port, or an unclosed bracket.
bool ParseServerAddress(std::string_view text, ServerAddress* out);

/// The host part of a server setting (the whole text, trimmed, when it does not parse).
std::string ServerHostOf(std::string_view text);

}  // namespace falatro
