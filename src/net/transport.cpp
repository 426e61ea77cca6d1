// The socket transport: POSIX sockets, IPv4 and IPv6, with waits that go through the event loop.
#include "net/transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/event_loop.h"

namespace falatro {

TransportState Transport;

namespace {

// Waits up to ms for socket to become readable, handling the loop's messages as they come, so that
// the console keeps painting and queueing keys (and keys cut speech) during network waits.
bool PumpingWaitForFd(int socket, int ms) {
  const uint64_t end = NowMs() + static_cast<uint64_t>(ms < 0 ? 0 : ms);
  for (;;) {
    const uint64_t now = NowMs();
    const int left = now >= end ? 0 : static_cast<int>(end - now);
    const int r = WaitForFd(socket, left, true);
    if (r & kWaitMessage) DispatchMessages();
    if (r & kWaitFdReady) return true;
    if (left == 0 || NowMs() >= end) return false;
  }
}

// Keeps the socket away from descriptors 0..2, whose value 0 the client reads as "not connected".
int MoveAboveStdio(int fd) {
  if (fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

}  // namespace

bool StartNetwork() {
  // Sends use MSG_NOSIGNAL; ignoring SIGPIPE as well covers any other write to a dead peer.
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  return sigaction(SIGPIPE, &sa, nullptr) == 0;
}

int32_t ParseNetworkTimeout(const std::string& text) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r')) --n;
  if (i == n) return kDefaultNetworkTimeout;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  if (i == n) return kDefaultNetworkTimeout;
  long long value = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return kDefaultNetworkTimeout;
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return kDefaultNetworkTimeout;
  }
  return negative ? 0 : static_cast<int32_t>(value);
}

uint32_t NetAddress::Ipv4() const {
  if (family != AF_INET) return 0;
  uint32_t value;
  memcpy(&value, bytes, 4);
  return value;
}

std::vector<NetAddress> ResolveHost(const std::string& host) {
  std::vector<NetAddress> found;
  if (host.empty() || host.size() > kMaxHostLength) return found;
  // A NUL inside would make the look-up see a different, shorter name than the user typed.
  if (host.find('\0') != std::string::npos) return found;
  NetAddress one;
  if (host[0] >= '0' && host[0] <= '9') {
    if (inet_pton(AF_INET6, host.c_str(), one.bytes) == 1) {
      one.family = AF_INET6;
      found.push_back(one);
    } else {
      const uint32_t address = inet_addr(host.c_str());
      if (address != 0) {
        one.family = AF_INET;
        memcpy(one.bytes, &address, 4);
        found.push_back(one);
      }
    }
  } else {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) == 0) {
      for (addrinfo* a = list; a; a = a->ai_next) {
        NetAddress address;
        if (a->ai_family == AF_INET && a->ai_addr) {
          address.family = AF_INET;
          memcpy(address.bytes, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr, 4);
        } else if (a->ai_family == AF_INET6 && a->ai_addr) {
          const auto* six = reinterpret_cast<sockaddr_in6*>(a->ai_addr);
          address.family = AF_INET6;
          memcpy(address.bytes, &six->sin6_addr, 16);
          address.scope = six->sin6_scope_id;
        } else {
          continue;
        }
        found.push_back(address);
      }
      freeaddrinfo(list);
    }
  }
  Transport.RemoteAddress = 0;
  for (const NetAddress& a : found) {
    if (a.family == AF_INET) {
      Transport.RemoteAddress = a.Ipv4();
      break;
    }
  }
  return found;
}

namespace {

// How often a connection attempt in progress looks at the loop's messages and give_up_connecting.
constexpr int kConnectSliceMs = 50;

// One connection attempt to address:port; the socket or -1 (closed again on failure).
int ConnectTo(const NetAddress& address, uint16_t port) {
  int fd = socket(address.family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  fd = MoveAboveStdio(fd);
  if (fd < 0) return -1;
  sockaddr_storage local{};
  sockaddr_storage remote{};
  socklen_t length;
  if (address.family == AF_INET6) {
    auto* mine = reinterpret_cast<sockaddr_in6*>(&local);
    mine->sin6_family = AF_INET6;
    mine->sin6_addr = in6addr_any;
    auto* theirs = reinterpret_cast<sockaddr_in6*>(&remote);
    theirs->sin6_family = AF_INET6;
    memcpy(&theirs->sin6_addr, address.bytes, 16);
    theirs->sin6_scope_id = address.scope;
    theirs->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
  } else {
    auto* mine = reinterpret_cast<sockaddr_in*>(&local);
    mine->sin_family = AF_INET;
    mine->sin_addr.s_addr = htonl(INADDR_ANY);
    auto* theirs = reinterpret_cast<sockaddr_in*>(&remote);
    theirs->sin_family = AF_INET;
    memcpy(&theirs->sin_addr, address.bytes, 4);
    theirs->sin_port = htons(port);
    length = sizeof(sockaddr_in);
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
    close(fd);
    return -1;
  }
  // Connected without blocking, so that the wait keeps the console alive and a key can end it: a
  // server whose backlog is full lets a blocking connect hang for minutes.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  int r;
  do {
    r = connect(fd, reinterpret_cast<sockaddr*>(&remote), length);
  } while (r != 0 && errno == EINTR);
  if (r != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  while (r != 0) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = poll(&p, 1, kConnectSliceMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      int error = 0;
      socklen_t size = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      if (error == 0) r = 0;
      break;
    }
    DispatchMessages();
    if (Transport.give_up_connecting && Transport.give_up_connecting()) {
      Transport.connect_given_up = true;
      break;
    }
  }
  if (r != 0 || fcntl(fd, F_SETFL, flags) != 0) {
    close(fd);
    return -1;
  }
  // Every line is sent whole in one call: holding a small one back until the last is acknowledged
  // would only delay a PONG or a typed line behind the one before it.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

int OpenConnection(const std::string& host, uint16_t port) {
  int fd = -1;
  Transport.connect_given_up = false;
  // Dual-stack names give addresses of both families; one that cannot be reached is passed over.
  for (const NetAddress& address : ResolveHost(host)) {
    fd = ConnectTo(address, port);
    if (fd >= 0 || Transport.connect_given_up) break;
  }
  if (fd < 0) return -1;
  sockaddr_storage mine{};
  socklen_t len = sizeof mine;
  Transport.LocalAddress = 0;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &len) == 0 && mine.ss_family == AF_INET) {
    Transport.LocalAddress = reinterpret_cast<sockaddr_in*>(&mine)->sin_addr.s_addr;
  }
  Transport.NetworkTimeout = kDefaultNetworkTimeout;
  if (Transport.timeout_setting) {
    const std::string text = Transport.timeout_setting();
    if (!text.empty()) Transport.NetworkTimeout = ParseNetworkTimeout(text);
  }
  return fd;
}

void CloseConnection(int socket) {
  if (socket <= 0) return;
  if (socket == Transport.tls_socket) {
    if (Transport.tls_close) Transport.tls_close();
    Transport.tls_socket = -1;
  }
  close(socket);
}

bool DataWaiting(int socket) {
  if (socket == Transport.tls_socket && Transport.tls_pending && Transport.tls_pending()) return true;
  if (socket <= 0) return false;
  const int32_t us = Transport.NetworkTimeout < 0 ? 0 : Transport.NetworkTimeout;
  const int ms = static_cast<int>((static_cast<int64_t>(us) + 999) / 1000);
  bool ready = (WaitForFd(socket, ms, false) & kWaitFdReady) != 0;
  // On a TLS connection the bytes that came may be half a record or the library's own messages.
  if (ready && socket == Transport.tls_socket && Transport.tls_pending) ready = Transport.tls_pending();
  // Handle what the console received meanwhile, as a key test would.
  DispatchMessages();
  return ready;
}

long NetSend(int socket, const void* data, size_t length, int flags) {
  ++Transport.send_calls;
  if (socket == Transport.tls_socket && Transport.tls_send) return Transport.tls_send(data, length);
  ssize_t r;
  do {
    r = send(socket, data, length, flags | MSG_NOSIGNAL);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<long>(r);
}

long NetRecv(int socket, void* data, size_t length, int flags) {
  ++Transport.recv_calls;
  if (socket == Transport.tls_socket && Transport.tls_recv) return Transport.tls_recv(data, length);
  ssize_t r;
  do {
    r = recv(socket, data, length, flags);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<long>(r);
}

bool SendLine(int socket, const std::string& text) {
  std::string data;
  data.reserve(text.size() + 2);
  for (char c : text) data.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
  data += "\r\n";
  size_t sent = 0;
  while (sent < data.size()) {
    const long r = NetSend(socket, data.data() + sent, data.size() - sent, 0);
    if (r <= 0) return false;
    sent += static_cast<size_t>(r);
  }
  return true;
}

std::unique_ptr<LineReader> NewLineReader(int socket) {
  auto reader = std::make_unique<LineReader>();
  reader->socket = socket;
  return reader;
}

bool ReaderFull(const LineReader* reader) {
  return reader->lines.size() >= kReaderLineLimit || reader->line_bytes >= kReaderByteLimit;
}

namespace {

// Adds received bytes to the partial line; each LF completes one.
void TakeBytes(LineReader* reader, const uint8_t* data, size_t n) {
  const size_t bound = Transport.line_bound ? Transport.line_bound : kDefaultLineBound;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = data[i];
    if (b == '\n') {
      std::string line = std::move(reader->partial);
      if (reader->last == '\r' && !reader->cut && !line.empty()) line.pop_back();
      reader->partial.clear();
      reader->cut = false;
      reader->last = b;
      if (reader->on_line && reader->on_line(line)) continue;
      reader->line_bytes += line.size();
      reader->lines.push_back(std::move(line));
      continue;
    }
    if (reader->partial.size() < bound) {
      reader->partial.push_back(static_cast<char>(b));
    } else {
      reader->cut = true;
    }
    reader->last = b;
  }
}

bool SocketReadable(int socket) {
  // On a TLS connection only a whole record counts: a read of half a record would wait for the rest.
  if (socket == Transport.tls_socket && Transport.tls_pending) return Transport.tls_pending();
  pollfd p = {socket, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

bool PumpReader(LineReader* reader) {
  if (!reader || reader->closed || reader->socket <= 0) return reader && reader->closed;
  bool got = false;
  while (!ReaderFull(reader) && SocketReadable(reader->socket)) {
    const long n = NetRecv(reader->socket, reader->buffer, kReaderBufferSize, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      reader->closed = true;
      return true;
    }
    // The raw-byte path starts from a fresh receive.
    reader->readPos = reader->fill = 0;
    TakeBytes(reader, reader->buffer, static_cast<size_t>(n));
    got = true;
  }
  return got;
}

bool ReaderHasData(LineReader* reader) {
  if (!reader) return false;
  if (!reader->lines.empty() || reader->closed) return true;
  PumpReader(reader);
  if (!reader->lines.empty() || reader->closed) return true;
  if (ReaderFull(reader) || !DataWaiting(reader->socket)) return false;
  PumpReader(reader);
  return !reader->lines.empty() || reader->closed;
}

bool ReaderGetByte(LineReader* reader, uint8_t* b) {
  *b = 0;
  if (!reader) return false;
  if (reader->readPos >= reader->fill) {
    reader->readPos = 0;
    reader->fill = static_cast<int32_t>(NetRecv(reader->socket, reader->buffer, kReaderBufferSize, 0));
    if (reader->fill <= 0) return false;
  }
  *b = reader->buffer[reader->readPos++];
  return true;
}

bool ReceiveLine(LineReader* reader, std::string* line, int seconds) {
  line->clear();
  if (!reader) return false;
  long long idle = 0;
  for (;;) {
    if (!reader->lines.empty()) {
      *line = std::move(reader->lines.front());
      reader->lines.pop_front();
      reader->line_bytes -= std::min(reader->line_bytes, line->size());
      return true;
    }
    if (reader->closed) return false;
    if (PumpReader(reader)) continue;
    // The pause ends early when data comes, so a line is never held back by a whole idle step.
    PumpingWaitForFd(reader->socket, kIdleStepMs);
    ++idle;
    if (seconds != 0 && idle > static_cast<long long>(seconds) * 10) return false;
  }
}

std::string LocalAddressText(int socket) {
  sockaddr_storage mine{};
  socklen_t len = sizeof mine;
  if (socket <= 0 || getsockname(socket, reinterpret_cast<sockaddr*>(&mine), &len) != 0) return "0.0.0.0";
  char text[INET6_ADDRSTRLEN] = {};
  if (mine.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&mine)->sin_addr, text, sizeof text);
  } else if (mine.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&mine)->sin6_addr, text, sizeof text);
  } else {
    return "0.0.0.0";
  }
  return text;
}

}  // namespace falatro
