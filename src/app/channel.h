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

/// A line of the user's own whose outcome is not known yet. The client sends a PING after such a
/// line; servers answer in order, so a refusal of the line (404, 401...) comes before the PONG, and a
/// PONG that comes without one means the line went out. Texts of the user's own that come meanwhile
/// wait here too (without a token), so the user hears everything in the order it was done.
struct AwaitedAnswer {
  std::string token;    ///< the PING's token; empty for a text of the user's own waiting its turn
  std::string target;   ///< the channel or nickname the line went to
  std::string verdict;  ///< what is said when the answer comes: the echo, or the refusal that replaced it
  bool sent_prompt = false;  ///< the verdict is the "Mensagem enviada." prompt (the menu's private message)
  bool refused = false;
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
  /// Lines of the user's own waiting for the server's answer, oldest first.
  std::deque<AwaitedAnswer> Awaited;
  uint64_t NextToken = 0;      ///< the number in the next PING token
  bool Joined = false;         ///< the server confirmed the user's JOIN of the current channel
  bool JoinRefused = false;    ///< the server refused the join (the loop ended without joining)
  bool Kicked = false;         ///< the user was kicked (the loop ended, already out of the channel)
};
extern ChannelState Channel;

/// Joins "#" + name (name as typed, without its "#") and runs the conversation until the user leaves
/// with Esc and S, is kicked or banned, the server refuses the join, or the connection drops. Empties
/// the message ring first. Unless kicked (or never joined), the channel is left on the server (PART)
/// when the loop ends, so its messages stop and a later join of it is answered.
void JoinChannel(const std::string& name);

/// The current channel as the server names it: "#" and the name typed, up to a blank (what follows a
/// blank went out as the channel's key) or a comma (a list of channels joins its first one first).
/// Empty outside a channel.
std::string CurrentChannelTarget();

/// Queues a text of the user's own (an echo, an answer to a command, a refusal of something the user
/// did): behind the user's lines still waiting for their answer, and ahead of server lines held back
/// while the ring is full.
void QueueOwnText(std::string text);

/// A text for the user: said at once outside a channel, else queued as the user's own.
void SayToUser(std::string text);

/// Sends line, then a PING whose answer tells that line's outcome; verdict is said when that answer
/// comes (unless a refusal replaced it). False when a send failed.
bool SendAwaitingAnswer(const std::string& line, const std::string& target, std::string verdict,
                        bool sent_prompt = false);

/// The server answered the PING with token: says the verdicts of the lines up to it and the user's own
/// texts that waited behind them. A token of no waiting line is ignored.
void AnswerCame(const std::string& token);

/// The server refused a line sent to target: the oldest such line still waiting gets text as its
/// verdict instead of its echo. False when no line to target waits (the caller says text itself).
bool RefuseAwaited(const std::string& target, std::string text);

/// Writes and says the oldest queued message on the cursor's row, when there is one.
void ShowNextQueuedMessage();

/// Writes the typed line (its last 79 characters when longer) from column 1 of the cursor's row and
/// clears the rest of the row; the cursor ends after the text.
void RedrawTypedLine();

/// One ordinary key of the channel: Backspace, Ctrl+Backspace (127: deletes the last word and says
/// it), Enter (sends the line or runs its command), Ctrl+Y (erases the line), Esc (leave
/// confirmation), 254 (paste), 255 (copy of the last shown message), or a character added to the typed
/// line (at most 256; a beep past it).
void HandleTypedKey(uint8_t key);

/// The main menu's private message: asks for a nickname and a message and sends them, then waits (at
/// most kVerdictWaitMs, or until a key) for the server's answer: "Mensagem enviada." when it went
/// out, the refusal when not (no such nickname...). An answer that comes later is said when it comes.
void SendPrivateMessage();
constexpr int kVerdictWaitMs = 10000;

}  // namespace falatro
