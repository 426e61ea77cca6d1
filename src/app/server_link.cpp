// The client's use of its server connection: encoding, line sends and reads, dropped connections.
#include "app/server_link.h"

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "base/emoji_names.h"
#include "base/text_encoding.h"
#include "net/transport.h"
#include "speech/suite_settings.h"

namespace falatro {

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

bool SendServerLine(std::string_view text) {
  if (Client.ServerSocket <= 0) return false;
  return SendLine(Client.ServerSocket, EncodeClientText(text));
}

bool ReadServerLine(std::string* line, int seconds) {
  line->clear();
  if (Client.ServerSocket <= 0 || !Client.ServerReader) return false;
  std::string raw;
  if (!ReceiveLine(Client.ServerReader.get(), &raw, seconds)) return false;
  *line = DecodeServerText(raw);
  return true;
}

bool ServerDataWaiting() {
  if (Client.ServerSocket <= 0) return false;
  // Lines already buffered count: several lines often come in one segment, and the socket alone would
  // not show the rest until more data arrives.
  if (Client.ServerReader && Client.ServerReader->socket == Client.ServerSocket)
    return ReaderHasData(Client.ServerReader.get());
  return DataWaiting(Client.ServerSocket);
}

void ConnectionLost() {
  ++Client.ConnectionsLost;
  SayPrompt("FTCAIU", 1);
  CloseConnection(Client.ServerSocket);
  Client.ServerSocket = 0;
}

}  // namespace falatro
