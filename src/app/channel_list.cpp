// The channel list browser: collection, sorting and browsing.
#include "app/channel_list.h"

#include <algorithm>
#include <deque>
#include <string>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/dispatcher.h"
#include "app/login.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "net/transport.h"
#include "speech/line_editor.h"
#include "speech/speech.h"

namespace falatro {

ChannelBrowserState ChannelBrowser;

namespace {

constexpr int kLineSeconds = 15;
constexpr int kPongEvery = 100;
constexpr uint8_t kF1 = 59, kUp = 72, kPgUp = 73, kLeft = 75, kRight = 77, kDown = 80, kPgDn = 81;

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find(' ')); }

// The name with its blank, as the list says it.
std::string SaidName(const std::string& entry) {
  const size_t blank = entry.find(' ');
  return blank == std::string::npos ? entry : entry.substr(0, blank + 1);
}

// The stored form of a 322 reply: the text after the first "#". An entry whose channel has another
// prefix keeps the text from its channel field on (after the sender, the numeric and the nickname).
std::string StoredEntry(const std::string& line) {
  const size_t hash = line.find('#');
  if (hash != std::string::npos) return line.substr(hash + 1);
  size_t at = 0;
  for (int field = 0; field < 3 && at != std::string::npos; ++field) {
    at = line.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? line : line.substr(at);
}

// The three characters after the first blank.
std::string NumericOf(const std::string& line) {
  const size_t blank = line.find(' ');
  return blank == std::string::npos ? std::string() : line.substr(blank + 1, 3);
}

void SaySlot(int i) { WriteLnSpoken(SaidName(Client.ChannelList[i])); }

// Collects the list into slots 0..; returns the count, or -1 when the connection dropped.
int CollectList() {
  for (std::string& slot : Client.ChannelList) slot.clear();
  int n = 0, count = 0;
  // Lines that are not the list's (a private message, a notice) wait for the menu.
  std::deque<std::string> others;
  for (;;) {
    if (n > 0 && n % kPongEvery == 0) {
      SendServerLine("PONG " + Client.LocalAddress);
      PlayClick();
    }
    std::string& slot = Client.ChannelList[n];
    if (!ReadServerLine(&slot, kLineSeconds)) {
      ConnectionLost();
      return -1;
    }
    const std::string numeric = NumericOf(slot);
    if (numeric == "322") {
      slot = StoredEntry(slot);
      ConsoleWriteLn(SaidName(slot));
      ++n;
      count = n;
    } else if (numeric == "323") {
      slot.clear();
      ChannelBrowser.end_of_list_ms = NowMs();
      break;
    } else {
      if (numeric != "321") others.push_back(std::move(slot));
      slot.clear();
      count = n;
    }
    if (n >= kChannelListMax) {
      ChannelBrowser.end_of_list_ms = NowMs();
      PlayBeep();
      // Logging in again is the only way to stop the rest of a list the server keeps sending.
      CloseConnection(Client.ServerSocket);
      Client.ServerSocket = 0;
      ConnectToServer();
      return count;
    }
  }
  UnreadServerLines(std::move(others));
  return count;
}

// Waits for a key. The connection is read meanwhile by the event loop (its PINGs answered, its other
// lines kept for the menu). False when the connection was found closed: the menu says what was kept,
// then the drop.
bool WaitForBrowseKey() {
  while (!KeyPressed()) {
    if (Client.ServerSocket > 0 && Client.ServerReader && Client.ServerReader->closed) return false;
    WaitMessage(-1);
    DispatchMessages();
  }
  return true;
}

}  // namespace

void SortChannelList(int count) {
  auto& list = Client.ChannelList;
  for (int i = 0; i <= count; ++i) {
    std::string& entry = list[i];
    const size_t blank = std::min(entry.find(' '), entry.size());
    const std::string upper = UpperCaseAccented(std::string_view(entry).substr(0, blank));
    entry.replace(0, blank, upper);
  }
  std::sort(list.begin(), list.begin() + count + 1);
}

void BrowseChannelList() {
  if (Client.ServerSocket <= 0) {
    SayPrompt("FTNAOCON", 1);
    return;
  }
  std::string word;
  SayPrompt("FTDIGPAL", 0);
  ReadLineSpoken(word);
  if (!word.empty()) word = "*" + word + "*";
  if (!SendServerLine("LIST " + word)) {
    ConnectionLost();
    return;
  }
  SayPrompt("FTPEGLIS", 1);
  const int count = CollectList();
  ChannelBrowser.collected_ms = NowMs();
  if (count < 0) return;
  ChannelBrowser.Count = count;
  ChannelBrowser.Position = 0;
  if (count == 0) {
    WriteLnSpoken("N\xE3o foi encontrado nenhum canal");
    return;
  }
  SayPrompt("FTNUM", 0);
  WriteNumberSpoken(count);
  ConsoleWriteLn();
  SayPrompt("FTORDAG", 1);
  ChannelBrowser.sort_started_ms = NowMs();
  SortChannelList(count);
  ChannelBrowser.sorted_at_ms = NowMs();

  SayPrompt("FTFOLHE", 1);
  int& i = ChannelBrowser.Position;
  for (;;) {
    TextColor(15);
    if (!WaitForBrowseKey()) return;
    uint8_t key = ReadKey();
    uint8_t ext = 0;
    if (key == 0) ext = ReadKey();
    if (key == 27) return;
    if (key == 13) {
      // Position 0 stands before the first channel: there is nothing to join there.
      if (i < 1) continue;
      JoinChannel(NameOf(Client.ChannelList[i]));
      TextColor(15);
      SayPrompt("FTFOLHE", 1);
      continue;
    }
    if (key != 0) continue;
    switch (ext) {
      case kDown:
        if (i < count) {
          SaySlot(++i);
        } else {
          SayPrompt("FTULTCAN", 1);
        }
        break;
      case kUp:
        if (i <= 1) {
          SayPrompt("FTPRICAN", 1);
        } else {
          SaySlot(--i);
        }
        break;
      case kPgDn:
        i += kChannelListPage;
        if (i > count) {
          i = count;
          SayPrompt("FTULTCAN", 1);
        } else {
          SaySlot(i);
        }
        break;
      case kPgUp:
        i -= kChannelListPage;
        if (i < 1) {
          i = 0;
          SayPrompt("FTPRICAN", 1);
        } else {
          SaySlot(i);
        }
        break;
      case kLeft:
      case kRight: SpellText(NameOf(Client.ChannelList[i])); break;
      case kF1: {
        const std::string& entry = Client.ChannelList[i];
        const size_t blank = entry.find(' ');
        std::string description = blank == std::string::npos ? std::string() : entry.substr(blank + 1);
        StripColourCodes(description);
        StripFormattingCodes(description, 0);
        WriteLnSpoken(description);
        break;
      }
      default: break;
    }
  }
}

}  // namespace falatro
