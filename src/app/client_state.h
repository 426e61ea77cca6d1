// The IRC client's process-wide state: server, identity, connection, channel, queue and lists.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/transport.h"

namespace falatro {

constexpr uint16_t kIrcPort = 6667;
constexpr int kMessageQueueSize = 255;
constexpr int kIgnoreSlots = 128;
constexpr int kNicknameMemorySlots = 256;
constexpr int kChannelListSlots = 5001;
constexpr size_t kTypedLineMax = 256;
/// The version the client says at start-up and in the first-run dialogue.
constexpr const char* kClientVersion = "1.4 Beta";

/// Every variable of the client (one instance, Client). Created zeroed; InitClient sets it up.
struct ClientState {
  std::string ServerName;  ///< host name or dotted IPv4 address of the server
  std::string Nickname;    ///< own nickname; follows the user's confirmed nickname changes
  std::string Password;    ///< login and nickname-service password
  uint16_t ServerPort = kIrcPort;
  int32_t ServerSocket = 0;                 ///< 0 or less: not connected
  std::unique_ptr<LineReader> ServerReader; ///< reader of the current connection
  std::string LocalAddress;                 ///< dotted local address, taken when the login completes
  std::string CurrentChannel;               ///< joined channel without its "#"; empty outside one
  bool InChannel = false;                   ///< the channel loop runs while set
  std::string TypedLine;                    ///< the line being typed in the channel
  std::string CurrentMessage;               ///< working text of the line being handled
  std::string MessageSender;                ///< nickname part of the server line under dispatch
  std::array<std::string, kMessageQueueSize> MessageQueue;  ///< ring of messages to show
  int QueueWrite = 0;                       ///< next slot to fill
  int QueueRead = 0;                        ///< next slot to show; equal to QueueWrite when empty
  std::string LastShownMessage;
  std::array<std::string, kIgnoreSlots> IgnoreList;             ///< empty = free slot
  std::array<std::string, kNicknameMemorySlots> NicknameMemory;
  std::vector<std::string> ChannelList = std::vector<std::string>(kChannelListSlots);
  bool SpellTyping = false;
  bool PunctuationOn = false;
  std::string ConfigPath;                   ///< path of the settings file (on this system)
  /// Outgoing lines are sent as UTF-8 (else as the cp1252 bytes they are).
  bool SendUtf8 = true;
  uint64_t MessagesLost = 0;                ///< queued messages dropped because the ring was full
  uint64_t ConnectionsLost = 0;             ///< connections reported dropped ("Conexão remota caiu")
};
extern ClientState Client;

/// Puts Client back to its zeroed start-up state (closing nothing). For tests.
void ResetClientState();

/// Upper case of a nickname for comparisons (cp1252 letters included).
std::string NicknameKey(std::string_view nick);
/// Nicknames are equal when equal after upper-casing both.
bool SameNickname(std::string_view a, std::string_view b);
/// True when sender equals any of the IgnoreList slots (an empty sender equals a free slot).
bool IsIgnored(std::string_view sender);

/// Queues text in MessageQueue. When the ring is full the oldest pending entry is dropped, so a full
/// ring never reads as empty.
void QueueMessage(std::string text);
/// Number of queued entries waiting to be shown (0..254).
int QueuedMessageCount();
/// Takes the oldest queued entry into *text; false when the ring is empty.
bool TakeQueuedMessage(std::string* text);
/// Empties the ring.
void ClearMessageQueue();

}  // namespace falatro
