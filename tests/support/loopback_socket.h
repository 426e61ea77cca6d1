// TCP sockets for tests that talk to servers of their own on loopback addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace falatro::testsupport {

/// A blocking TCP connection to address:port (dotted IPv4), or -1 when it is refused.
int ConnectTcp(const std::string& address, uint16_t port);

/// A listening TCP socket on address:port (port 0: any free port; the address may be reused at once)
/// with room for backlog connections not yet accepted, or -1 when the address cannot be bound.
int ListenTcp(const std::string& address, uint16_t port, int backlog = 8);

/// The local port socket fd is bound to (0 when it has none).
uint16_t BoundPort(int fd);

/// Sends all n bytes of data on fd, without SIGPIPE; false when the connection failed first.
bool SendAll(int fd, const char* data, size_t n);

}  // namespace falatro::testsupport
