// Fuzz target: any server line through the dispatcher, at the main menu and in a channel. Whatever
// the line, the queue stays within its ring, and the client's nickname, ignore list and every queued
// message stay bounded by the line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/dispatcher.h"
#include "base/event_loop.h"
#include "console/nxcrt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static SimulatedBackend clock;
  static bool ready = [] {
    SetLoopBackend(&clock);
    InitConsole();
    return true;
  }();
  (void)ready;
  if (size == 0 || size > 4096) return 0;
  ResetClientState();
  Channel = ChannelState{};
  Client.Nickname = "eu";
  Client.LocalAddress = "127.0.0.1";
  Client.IgnoreList[0] = "chato";
  // The first byte chooses where the user is.
  if (data[0] & 1) {
    Client.CurrentChannel = "sala";
    Client.InChannel = true;
  }
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
  HandleServerLine(line);
  if (QueuedMessageCount() < 0 || QueuedMessageCount() >= kMessageQueueSize) std::abort();
  if (Client.Nickname.size() > line.size() + 2) std::abort();
  std::string text;
  while (TakeQueuedMessage(&text)) {
    // A message quotes at most two pieces of the line (the sender and what follows the command)
    // around its own fixed words (the longest, a join refused for a key, about 110 characters).
    if (text.size() > 2 * line.size() + 128) std::abort();
  }
  return 0;
}
