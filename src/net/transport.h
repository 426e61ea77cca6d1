// The socket transport: one TCP connection to the server, line framing with time-outs, and the
// single send/receive path (NetSend/NetRecv) through which the TLS layer can route every byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace falatro {

/// Bytes a reader keeps from one receive.
constexpr int kReaderBufferSize = 4096;
/// Default wait of DataWaiting, in microseconds.
constexpr int32_t kDefaultNetworkTimeout = 20000;
/// Longest host text ResolveHost accepts.
constexpr size_t kMaxHostLength = 128;
/// Default bound of a received line: bytes past it are dropped up to the line's LF.
constexpr size_t kDefaultLineBound = 16384;
/// Milliseconds of the pause in one idle step of ReceiveLine.
constexpr int kIdleStepMs = 100;

/// One address of a host, as the resolver gave it.
struct NetAddress {
  int family = 0;          ///< AF_INET or AF_INET6
  uint8_t bytes[16] = {};  ///< the address in network byte order: 4 bytes (IPv4) or 16 (IPv6)
  uint32_t scope = 0;      ///< IPv6 scope (interface) id; 0 for IPv4 and global addresses
  /// The IPv4 address in network byte order; 0 for an IPv6 one.
  uint32_t Ipv4() const;
};

/// Complete lines a reader keeps at most before it leaves the socket unread (the sender then waits).
constexpr size_t kReaderLineLimit = 20000;
/// Bytes of kept lines past which a reader leaves the socket unread.
constexpr size_t kReaderByteLimit = 8u << 20;

/// A connection's receive side: the bytes of the last receive, and the complete lines assembled from
/// them that nobody has taken yet, in the order they came.
struct LineReader {
  int socket = -1;
  uint8_t buffer[kReaderBufferSize] = {};
  int32_t readPos = kReaderBufferSize;  ///< index of the next byte to hand out
  int32_t fill = 0;                     ///< valid bytes in buffer (the last receive's result)
  std::deque<std::string> lines;        ///< complete lines not yet taken
  size_t line_bytes = 0;                ///< bytes of the kept lines
  std::string partial;                  ///< the line being received
  bool cut = false;                     ///< bytes of the partial line past the bound were dropped
  uint8_t last = 0;                     ///< the byte received before the current one
  bool closed = false;                  ///< the peer closed the connection, or it failed
  /// Sees each complete line as it is received, before it is kept; returning true takes it out of the
  /// stream (a PING answered at once, for instance).
  std::function<bool(const std::string&)> on_line;
};

/// Process-wide transport settings and the hooks through which other layers plug in.
struct TransportState {
  /// Microseconds DataWaiting waits for data; set at each successful OpenConnection.
  int32_t NetworkTimeout = kDefaultNetworkTimeout;
  uint32_t RemoteAddress = 0;  ///< first IPv4 address last resolved (network byte order), 0 when none
  uint32_t LocalAddress = 0;   ///< local IPv4 address of the last connection (0 over IPv6)
  /// Gives the text of the network time-out setting (decimal microseconds; empty when unset). The
  /// client installs its suite-settings reader here; with none, the default applies.
  std::function<std::string()> timeout_setting;
  /// Received lines keep at most this many bytes (0 is taken as the default).
  size_t line_bound = kDefaultLineBound;

  /// The TLS layer's connection, when one runs: its socket (-1 when none) and its operations. Every
  /// byte on that socket then goes through these instead of the plain socket calls.
  int tls_socket = -1;
  std::function<bool()> tls_pending;                  ///< decrypted bytes are ready to read
  std::function<long(const void*, size_t)> tls_send;  ///< bytes sent, or <= 0 on failure
  std::function<long(void*, size_t)> tls_recv;        ///< bytes read, 0 at close, < 0 on failure
  std::function<void()> tls_close;                    ///< ends the TLS connection

  /// Asked every moment while a connection attempt waits for the server to accept it: true gives the
  /// attempt up (the client installs its Esc key check here). With none, the attempt lasts until the
  /// system completes or refuses it.
  std::function<bool()> give_up_connecting;
  bool connect_given_up = false;  ///< the last OpenConnection ended because give_up_connecting said so

  uint64_t recv_calls = 0;  ///< receives made through NetRecv (for tests and benchmarks)
  uint64_t send_calls = 0;  ///< sends made through NetSend
};
extern TransportState Transport;

/// Prepares the socket layer (broken-pipe signals must never end the program). True on success.
bool StartNetwork();

/// Opens a TCP connection to host:port, trying each address ResolveHost gives in turn (IPv4 or IPv6,
/// bound to any local address and port) until one connects. Each try waits, keeping the loop's
/// messages flowing, until the system completes or refuses it, or give_up_connecting says to stop
/// (then no further address is tried and connect_given_up is set). Returns the socket (always > 2, in
/// blocking mode), or -1 when every address failed (nothing is left open then). On success sets the
/// local address and NetworkTimeout from timeout_setting.
int OpenConnection(const std::string& host, uint16_t port);

/// The addresses of host, in the resolver's order. A text starting with a digit is an address as it is
/// and never looked up by name: an IPv6 address when it reads as one, else taken as a dotted IPv4
/// address, unchecked. Anything else (names, and IPv6 addresses such as "::1") goes to the resolver,
/// IPv4 and IPv6 alike. Empty when nothing is found, or the text is empty, holds a NUL, or is longer
/// than kMaxHostLength characters.
std::vector<NetAddress> ResolveHost(const std::string& host);

/// Parses a network time-out setting: a decimal integer (optional sign, blanks around it); an empty
/// or unparsable text gives kDefaultNetworkTimeout; negative values give 0.
int32_t ParseNetworkTimeout(const std::string& text);

/// Closes socket (values <= 0 are "no connection" and are left alone); ends the TLS connection when
/// it ran on this socket.
void CloseConnection(int socket);

/// True when data can be read from socket now or within NetworkTimeout. Messages of the event loop
/// that arrived meanwhile are dispatched, so the console keeps painting and queueing keys.
bool DataWaiting(int socket);

/// Sends text + CR LF as one line. CR, LF and NUL inside text are sent as blanks, so no text can
/// make a second command. True when the whole line was sent.
bool SendLine(int socket, const std::string& text);

/// A fresh reader for socket; its first read goes to the socket.
std::unique_ptr<LineReader> NewLineReader(int socket);

/// Reads whatever the socket holds now, without waiting, into reader's lines (each without its LF and
/// without a CR right before the LF; a line longer than Transport.line_bound keeps its first
/// line_bound bytes). Stops while the kept lines reach kReaderLineLimit or kReaderByteLimit. True when
/// anything was received or the connection was found closed.
bool PumpReader(LineReader* reader);
/// True when the reader keeps as many lines (or bytes) as it may.
bool ReaderFull(const LineReader* reader);

/// True when a complete line is kept, or the connection closed (the next ReceiveLine then reports
/// it); otherwise reads what arrives within the network time-out and looks again. False with no
/// reader.
bool ReaderHasData(LineReader* reader);

/// Hands out the next received byte in *b (0 on failure), straight from the socket: for readers
/// whose lines are not used. False with no reader, or when the connection gives no more data.
bool ReaderGetByte(LineReader* reader, uint8_t* b);

/// Takes the oldest kept line into *line, reading and waiting for one when none is kept. Waits in
/// idle steps (up to kIdleStepMs each, ended early by data); with seconds != 0 it gives up after
/// seconds * 10 idle steps with no line. False on that time-out or a dropped connection (the bytes of
/// an incomplete line then stay for the next call, or are dropped with the connection).
bool ReceiveLine(LineReader* reader, std::string* line, int seconds);

/// Text form of the local address of socket: dotted IPv4, or IPv6 ("0.0.0.0" when it has none).
std::string LocalAddressText(int socket);

/// The one send path of every byte on a connection: through TLS when socket carries it. Returns the
/// bytes sent, or -1 on failure. Never raises a broken-pipe signal.
long NetSend(int socket, const void* data, size_t length, int flags);
/// The one receive path: bytes read, 0 when the peer closed, -1 on failure.
long NetRecv(int socket, void* data, size_t length, int flags);

}  // namespace falatro
