// The channel conversation: joining, the loop of keys, queued messages and server lines, the typed
// line and its commands, private messages, and copy and paste.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace falatro {

/// Server lines read in one pass of the channel loop before the keys are looked at again.
constexpr int kLinesPerPass = 64;
/// Server lines held back while the message ring has no room; past it (or past kBacklogByteLimit
/// bytes) the socket is left unread.
constexpr size_t kBacklogLimit = 20000;
constexpr size_t kBacklogByteLimit = 8u << 20;

/// A held-back entry: a server line to dispatch, or a text of the user's own (the echo of a sent line,
/// an answer to /ignorar or /designorar) to queue as it is.
struct HeldLine {
  std::string text;
  bool own = false;
};

/// The channel loop's own state (one instance, Channel). Tests and benchmarks inspect it.
struct ChannelState {
  /// Server lines read, and texts of the user's own made, while the message ring was too full to take
  /// what they would queue, in order; they are dispatched as the ring drains, so a burst larger than
  /// the ring loses nothing.
  std::deque<HeldLine> Backlog;
  size_t BacklogBytes = 0;     ///< the bytes of the server lines held back
  size_t LargestBacklog = 0;   ///< the most lines ever held back at once
  uint64_t LinesRead = 0;      ///< server lines read by the channel loop (the join's reply included)
  uint64_t MessagesShown = 0;  ///< queued messages written and said
  uint64_t Passes = 0;         ///< passes of the loop
  uint64_t Sleeps = 0;         ///< times the loop slept waiting for a key or server data
  /// Called at the end of every pass (benchmarks and tests watch the loop from here).
  std::function<void()> after_pass;
  /// Called with each queued message as it is shown, before it is said.
  std::function<void(const std::string&)> on_shown;
};
extern ChannelState Channel;

/// Joins "#" + name (name as typed, without its "#") and runs the conversation until the user leaves
/// with Esc and S, is kicked or banned, or the connection drops. Empties the message ring first.
void JoinChannel(const std::string& name);

/// Writes and says the oldest queued message on the cursor's row, when there is one.
void ShowNextQueuedMessage();

/// Writes the typed line (its last 79 characters when longer) from column 1 of the cursor's row and
/// clears the rest of the row; the cursor ends after the text.
void RedrawTypedLine();

/// One ordinary key of the channel: Backspace, Enter (sends the line or runs its command), Ctrl+Y
/// (erases the line), Esc (leave confirmation), 254 (paste), 255 (copy of the last shown message), or
/// a character added to the typed line (at most 256; a beep past it).
void HandleTypedKey(uint8_t key);

/// The main menu's private message: asks for a nickname and a message and sends them.
void SendPrivateMessage();

}  // namespace falatro
