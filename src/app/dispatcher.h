// The server line dispatcher: turns each line from the server into what the user hears.
#pragma once

#include <string>

namespace falatro {

/// Handles one server line (without its line end, already decoded to cp1252): answers PING with
/// "PONG :" and its token, drops lines of ignored senders, and turns names, joins, parts, quits, kicks,
/// messages, actions, nickname changes, topics, bans and the server's refusals into short sentences
/// queued in MessageQueue. Lines about a channel other than the current one are dropped. Private
/// messages and refusals outside a channel are written and said at once. CTCP requests get their
/// NOTICE answers. Any other line is dropped silently. May change Nickname, IgnoreList and InChannel.
/// docs/irc.md lists what is said for each line.
void HandleServerLine(const std::string& line);

/// True for a line that answers something the user did: the server's PONG to the client's own PING and
/// the refusals of joins, lines and nickname changes. The channel dispatches these at once even while
/// a burst of other lines is held back, so the user hears the outcome of a sent line in its turn.
bool IsAnswerToUser(const std::string& line);

/// Where a login reply's text starts: after the prefix and the command, the trailing parameter (after
/// " :"); for the server's feature list (005) and replies without a trailing parameter, the parameters
/// after the nickname. A colon inside a parameter (CHANLIMIT=#:20, an IPv6 host) does not count.
std::string ReplyTextToShow(const std::string& line);

/// Removes the colour codes from text: code 3 with up to two digits, and a comma with up to two more
/// when a digit follows it. A code without digits (the colour reset) goes alone.
void StripColourCodes(std::string& text);
/// Removes the formatting codes 2, 15, 22 and 31 found at index from or later.
void StripFormattingCodes(std::string& text, size_t from);

}  // namespace falatro
