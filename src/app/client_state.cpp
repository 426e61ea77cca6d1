// The IRC client's process-wide state and its message ring.
#include "app/client_state.h"

#include "speech/speech.h"

namespace falatro {

ClientState Client;

void ResetClientState() { Client = ClientState{}; }

std::string NicknameKey(std::string_view nick) { return UpperCaseAccented(nick); }

bool SameNickname(std::string_view a, std::string_view b) {
  return a.size() == b.size() && NicknameKey(a) == NicknameKey(b);
}

bool IsIgnored(std::string_view sender) {
  for (const std::string& slot : Client.IgnoreList)
    if (SameNickname(slot, sender)) return true;
  return false;
}

void QueueMessage(std::string text) {
  Client.MessageQueue[Client.QueueWrite] = std::move(text);
  Client.QueueWrite = (Client.QueueWrite + 1) % kMessageQueueSize;
  if (Client.QueueWrite == Client.QueueRead) {
    // The writer caught up with the reader: give up the oldest entry rather than all of them.
    Client.MessageQueue[Client.QueueRead].clear();
    Client.QueueRead = (Client.QueueRead + 1) % kMessageQueueSize;
    ++Client.MessagesLost;
  }
}

int QueuedMessageCount() {
  return (Client.QueueWrite - Client.QueueRead + kMessageQueueSize) % kMessageQueueSize;
}

bool TakeQueuedMessage(std::string* text) {
  if (Client.QueueRead == Client.QueueWrite) return false;
  *text = std::move(Client.MessageQueue[Client.QueueRead]);
  Client.MessageQueue[Client.QueueRead].clear();
  Client.QueueRead = (Client.QueueRead + 1) % kMessageQueueSize;
  return true;
}

void ClearMessageQueue() {
  for (std::string& slot : Client.MessageQueue) slot.clear();
  Client.QueueRead = Client.QueueWrite = 0;
}

}  // namespace falatro
