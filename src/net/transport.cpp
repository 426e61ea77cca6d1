// The socket transport: POSIX sockets, IPv4 only, with waits that go through the event loop.
#include "net/transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
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

uint32_t ResolveHost(const std::string& host) {
  if (host.empty() || host.size() > kMaxHostLength) return 0;
  // A NUL inside would make the look-up see a different, shorter name than the user typed.
  if (host.find('\0') != std::string::npos) return 0;
  uint32_t address = 0;
  if (host[0] >= '0' && host[0] <= '9') {
    address = inet_addr(host.c_str());
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return 0;
    for (addrinfo* a = found; a; a = a->ai_next) {
      if (a->ai_family == AF_INET && a->ai_addr) {
        address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        break;
      }
    }
    freeaddrinfo(found);
  }
  Transport.RemoteAddress = address;
  return address;
}

int OpenConnection(const std::string& host, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  fd = MoveAboveStdio(fd);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return -1;
  }
  const uint32_t address = ResolveHost(host);
  if (address == 0) {
    close(fd);
    return -1;
  }
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = address;
  remote.sin_port = htons(port);
  int r;
  do {
    r = connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    close(fd);
    return -1;
  }
  sockaddr_in mine{};
  socklen_t len = sizeof mine;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &len) == 0) {
    Transport.LocalAddress = mine.sin_addr.s_addr;
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
  const bool ready = (WaitForFd(socket, ms, false) & kWaitFdReady) != 0;
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

bool ReaderHasData(LineReader* reader) {
  if (!reader) return false;
  if (reader->readPos < reader->fill) return true;
  return DataWaiting(reader->socket);
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
  const size_t bound = Transport.line_bound ? Transport.line_bound : kDefaultLineBound;
  long long idle = 0;
  uint8_t last = 0;  // the byte received before the current one, kept or not
  bool cut = false;  // bytes past the bound were dropped
  for (;;) {
    if (ReaderHasData(reader)) {
      uint8_t b;
      if (!ReaderGetByte(reader, &b)) {
        line->clear();
        return false;
      }
      if (b == '\n') {
        if (last == '\r' && !cut && !line->empty()) line->pop_back();
        return true;
      }
      if (line->size() < bound) {
        line->push_back(static_cast<char>(b));
      } else {
        cut = true;
      }
      last = b;
      continue;
    }
    // The pause ends early when data comes, so a line is never held back by a whole idle step.
    PumpingWaitForFd(reader->socket, kIdleStepMs);
    ++idle;
    if (seconds != 0 && idle > static_cast<long long>(seconds) * 10) {
      line->clear();
      return false;
    }
  }
}

std::string LocalAddressText(int socket) {
  sockaddr_in mine{};
  socklen_t len = sizeof mine;
  if (socket <= 0 || getsockname(socket, reinterpret_cast<sockaddr*>(&mine), &len) != 0 ||
      mine.sin_family != AF_INET) {
    return "0.0.0.0";
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &mine.sin_addr, text, sizeof text);
  return text;
}

}  // namespace falatro
