// The server line dispatcher: turns each line from the server into what the user hears.
#pragma once

#include <string>

namespace falatro {

/// Handles one server line (without its line end, already decoded to cp1252): answers PING with
/// "PONG " + LocalAddress, drops lines of ignored senders, and turns names, joins, parts, quits, kicks,
/// messages, nickname changes, topics and bans into short sentences queued in MessageQueue. Private
/// messages outside a channel and nickname-service notices are written and said at once. Any other
/// line is dropped silently. May change Nickname, IgnoreList and InChannel.
void HandleServerLine(const std::string& line);

/// Removes the colour codes (code 3 with up to two digits, a comma and up to two more) from text.
void StripColourCodes(std::string& text);
/// Removes the formatting codes 2, 15, 22 and 31 found at index from or later.
void StripFormattingCodes(std::string& text, size_t from);

}  // namespace falatro
