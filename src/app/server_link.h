// The client's use of its server connection: text encoding at the wire, sending and reading lines,
// and the one rule for a connection that drops.
#pragma once

#include <string>
#include <string_view>

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

/// Sends text as one line on the server connection. False when not connected or the send failed (the
/// caller reports the drop with ConnectionLost).
bool SendServerLine(std::string_view text);
/// Reads one line from the server connection within seconds (0: no limit), decoded. False when not
/// connected, on time-out, or when the connection dropped.
bool ReadServerLine(std::string* line, int seconds);
/// True when connected and a line's bytes are buffered or can be read within the network time-out.
bool ServerDataWaiting();
/// A failed send or read: says "Conexão remota caiu", closes the socket and marks the client
/// disconnected. The rest of the client state is kept.
void ConnectionLost();

}  // namespace falatro
