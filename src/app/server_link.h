// The client's use of its server connection: text encoding at the wire, sending and reading lines,
// and the one rule for a connection that drops.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// A received line as the client handles it: valid UTF-8 becomes cp1252 with Utf8ToCp1252Named (an
/// emoji becomes its name in brackets, other characters cp1252 lacks the mark shown as "?" and said
/// as nothing); anything else is taken as the cp1252 bytes it already is.
std::string DecodeServerText(std::string_view line);
/// A line as it goes out: UTF-8 when Client.SendUtf8, else the cp1252 bytes unchanged.
std::string EncodeClientText(std::string_view text);
/// Reads "FALATRO"/"CODIFICACAO" of the suite settings: "CP1252" (any letter case, blanks ignored)
/// sends cp1252; anything else UTF-8. Sets Client.SendUtf8.
void LoadTextEncodingSetting();

/// Starts reading the connection on socket (now Client.ServerSocket) whatever the program is doing:
/// the event loop reads its data during every wait, answers each PING at once and keeps the other
/// lines, in order, for ReadServerLine (up to the reader's limits; past them the socket waits).
void StartServerReading(int socket);

/// Sends text as one line on the server connection. False when not connected or the send failed (the
/// caller reports the drop with ConnectionLost).
bool SendServerLine(std::string_view text);
/// Gives lines back (decoded, as ReadServerLine gave them) to be read again before any other, in
/// their order: lines a dialogue read but does not handle wait for the menu or the channel.
void UnreadServerLines(std::deque<std::string> lines);
/// Reads one line from the server connection within seconds (0: no limit), decoded. False when not
/// connected, on time-out, or when the connection dropped.
bool ReadServerLine(std::string* line, int seconds);
/// True when connected and a line's bytes are buffered or can be read within the network time-out.
bool ServerDataWaiting();
/// A failed send or read: says "Conexão remota caiu" (and the reason the server gave in its last
/// ERROR line, when it sent one), closes the socket and marks the client disconnected. The rest of the
/// client state is kept.
void ConnectionLost();
/// Closes the connection without a word (after a QUIT, or a refusal already said) and marks the client
/// disconnected.
void CloseServerConnection();

/// A server line taken apart: its command word (a numeric or a name, as sent) and its parameters,
/// the trailing one (after " :") last and kept whole.
struct ServerReply {
  std::string command;
  std::vector<std::string> params;
  /// The last parameter, or "" when there is none.
  std::string Last() const { return params.empty() ? std::string() : params.back(); }
};
ServerReply ParseServerReply(std::string_view line);

/// The answer to a server's PING line: "PONG :" and the PING's token, which servers compare with
/// what they sent.
std::string PongFor(std::string_view ping_line);

/// The state of the connection's reading side.
struct ServerLinkState {
  std::string LastError;    ///< the reason of the server's last ERROR line on this connection
  uint64_t PingsAnswered = 0;
  int watcher = 0;          ///< the event loop's watcher of the connection (0: none)
  std::deque<std::string> unread;  ///< lines given back, read again first
  /// Called with each PING as it is answered (benchmarks time the answers from here).
  std::function<void(const std::string&)> on_ping;
};
extern ServerLinkState ServerLink;

}  // namespace falatro
