// The client's use of its server connection: encoding, line sends and reads, dropped connections.
#include "app/server_link.h"

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "base/emoji_names.h"
#include "base/event_loop.h"
#include "base/text_encoding.h"
#include "net/transport.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

ServerLinkState ServerLink;

std::string DecodeServerText(std::string_view line) {
  if (IsValidUtf8(line)) return Utf8ToCp1252Named(line);
  return std::string(line);
}

std::string EncodeClientText(std::string_view text) {
  if (Client.SendUtf8) return Cp1252ToUtf8(text);
  return std::string(text);
}

void LoadTextEncodingSetting() {
  std::string value = ReadSuiteSetting("FALATRO", "CODIFICACAO");
  std::string compact;
  for (char c : value) {
    if (c == ' ' || c == '\t') continue;
    compact.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  }
  Client.SendUtf8 = compact != "CP1252";
}

namespace {

bool IsPingLine(const std::string& line) {
  size_t at = 0;
  if (!line.empty() && line[0] == ':') {
    at = line.find(' ');
    if (at == std::string::npos) return false;
    while (at < line.size() && line[at] == ' ') ++at;
  }
  return line.compare(at, 5, "PING ") == 0 || (line.size() == at + 4 && line.compare(at, 4, "PING") == 0);
}

void StopServerReading() {
  if (ServerLink.watcher) RemoveFdWatcher(ServerLink.watcher);
  ServerLink.watcher = 0;
}

}  // namespace

void StartServerReading(int socket) {
  StopServerReading();
  ServerLink.unread.clear();
  Client.ServerReader = NewLineReader(socket);
  ServerLink.LastError.clear();
  LineReader* reader = Client.ServerReader.get();
  reader->on_line = [socket](const std::string& line) {
    if (line.compare(0, 6, "ERROR ") == 0) ServerLink.LastError = ParseServerReply(DecodeServerText(line)).Last();
    if (!IsPingLine(line)) return false;
    // Answered at once with the server's own token, whatever the user is doing: a server drops a client
    // whose answer comes late.
    SendLine(socket, PongFor(line));
    ++ServerLink.PingsAnswered;
    if (ServerLink.on_ping) ServerLink.on_ping(line);
    return true;
  };
  ServerLink.watcher = AddFdWatcher(
      socket,
      [reader] {
        // A connection found closed wakes the wait, so that whoever waits learns of it.
        if (PumpReader(reader) && reader->closed) {
          Message wake;
          wake.kind = kMsgWake;
          PostMessage(wake);
        }
      },
      [socket, reader] {
        return Client.ServerSocket == socket && Client.ServerReader.get() == reader && !reader->closed &&
               !ReaderFull(reader);
      });
}

bool SendServerLine(std::string_view text) {
  if (Client.ServerSocket <= 0) return false;
  return SendLine(Client.ServerSocket, EncodeClientText(text));
}

void UnreadServerLines(std::deque<std::string> lines) {
  if (Client.ServerSocket <= 0) return;
  while (!lines.empty()) {
    ServerLink.unread.push_front(std::move(lines.back()));
    lines.pop_back();
  }
}

bool ReadServerLine(std::string* line, int seconds) {
  line->clear();
  if (Client.ServerSocket > 0 && !ServerLink.unread.empty()) {
    *line = std::move(ServerLink.unread.front());
    ServerLink.unread.pop_front();
    return true;
  }
  if (Client.ServerSocket <= 0 || !Client.ServerReader) return false;
  std::string raw;
  if (!ReceiveLine(Client.ServerReader.get(), &raw, seconds)) return false;
  *line = DecodeServerText(raw);
  return true;
}

bool ServerDataWaiting() {
  if (Client.ServerSocket <= 0) return false;
  if (!ServerLink.unread.empty()) return true;
  // Lines already buffered count: several lines often come in one segment, and the socket alone would
  // not show the rest until more data arrives.
  if (Client.ServerReader && Client.ServerReader->socket == Client.ServerSocket)
    return ReaderHasData(Client.ServerReader.get());
  return DataWaiting(Client.ServerSocket);
}

void ConnectionLost() {
  ++Client.ConnectionsLost;
  SayPrompt("FTCAIU", 1);
  // The server's own reason (wrong password, ban, ping time-out) tells the user what to do next.
  if (!ServerLink.LastError.empty()) WriteLnSpoken("Motivo: " + ServerLink.LastError);
  CloseServerConnection();
}

void CloseServerConnection() {
  StopServerReading();
  CloseConnection(Client.ServerSocket);
  Client.ServerSocket = 0;
  Client.ServerReader.reset();
  ServerLink.LastError.clear();
  ServerLink.unread.clear();
}

ServerReply ParseServerReply(std::string_view line) {
  ServerReply reply;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < line.size() && line[i] == ' ') ++i;
  };
  if (!line.empty() && line[0] == ':') {
    i = line.find(' ');
    if (i == std::string_view::npos) return reply;
  }
  skip_blanks();
  size_t end = line.find(' ', i);
  if (end == std::string_view::npos) end = line.size();
  reply.command = std::string(line.substr(i, end - i));
  i = end;
  for (;;) {
    skip_blanks();
    if (i >= line.size()) break;
    if (line[i] == ':') {
      reply.params.emplace_back(line.substr(i + 1));
      break;
    }
    end = line.find(' ', i);
    if (end == std::string_view::npos) end = line.size();
    reply.params.emplace_back(line.substr(i, end - i));
    i = end;
  }
  return reply;
}

std::string PongFor(std::string_view ping_line) {
  const ServerReply ping = ParseServerReply(ping_line);
  return "PONG :" + (ping.params.empty() ? std::string() : ping.params.front());
}

}  // namespace falatro
