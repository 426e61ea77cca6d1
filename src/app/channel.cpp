// The channel conversation and the typed line's commands.
#include "app/channel.h"

#include <algorithm>

#include "app/channel_keys.h"
#include "app/client_state.h"
#include "app/dispatcher.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/line_editor.h"
#include "speech/speech.h"

namespace falatro {

ChannelState Channel;

namespace {

constexpr int kLineSeconds = 15;
constexpr size_t kShownWidth = 79;
constexpr size_t kPasteCapacity = 256;  // up to 255 bytes and the terminating zero
constexpr const char* kInvalidCommand = "Comando inv\xE1lido";

// A text of the user's own goes into the ring at once, as server lines' messages do. When the ring is
// full it waits at the head of what is held back (after the user's earlier texts), so it is said as
// soon as there is room and never pushes an unread message out of the ring.
void QueueOwnTextNow(std::string text) {
  if (QueuedMessageCount() < kMessageQueueSize - 1) {
    QueueMessage(std::move(text));
    return;
  }
  auto at = std::find_if(Channel.Backlog.begin(), Channel.Backlog.end(),
                         [](const HeldLine& held) { return !held.own; });
  Channel.Backlog.insert(at, HeldLine{std::move(text), true});
  Channel.LargestBacklog = std::max(Channel.LargestBacklog, Channel.Backlog.size());
}

// Says an answered line's verdict: at once outside a channel, else in the queue.
void SayVerdict(AwaitedAnswer& awaited) {
  if (awaited.sent_prompt && !awaited.refused) {
    SayPrompt("FTMSGENV", 1);
  } else if (awaited.verdict.empty()) {
    return;
  } else if (Client.CurrentChannel.empty()) {
    WriteLnSpoken(awaited.verdict);
  } else {
    QueueOwnTextNow(std::move(awaited.verdict));
  }
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

// The nickname after a command word: everything after the first blank, up to the next blank. Empty
// when no nickname follows the word.
std::string CommandNickname(const std::string& command) {
  const size_t blank = command.find(' ');
  if (blank == std::string::npos) return {};
  std::string rest = command.substr(blank + 1);
  return rest.substr(0, rest.find(' '));
}

void IgnoreNickname(const std::string& command) {
  auto free_slot = std::find_if(Client.IgnoreList.begin(), Client.IgnoreList.end(),
                                [](const std::string& s) { return s.empty(); });
  if (free_slot == Client.IgnoreList.end()) return;
  const std::string nick = CommandNickname(command);
  if (nick.empty()) {
    WriteLnSpoken(kInvalidCommand);
    return;
  }
  for (const std::string& slot : Client.IgnoreList) {
    if (!slot.empty() && SameNickname(slot, nick)) {
      QueueOwnText("Apelido " + nick + " j\xE1 est\xE1 sendo ignorado");
      return;
    }
  }
  *free_slot = nick;
  QueueOwnText("Apelido ignorado: " + nick);
}

void UnignoreNickname(const std::string& command) {
  const std::string nick = CommandNickname(command);
  if (nick.empty()) {
    WriteLnSpoken(kInvalidCommand);
    return;
  }
  for (std::string& slot : Client.IgnoreList) {
    if (!slot.empty() && SameNickname(slot, nick)) {
      slot.clear();
      QueueOwnText("Apelido designorado: " + nick);
      return;
    }
  }
  QueueOwnText("Apelido " + nick + " n\xE3o est\xE1 sendo ignorado");
}

// A send of the typed line failed: the connection is gone and the loop ends.
void LineSendFailed() {
  ConnectionLost();
  Client.InChannel = false;
}

// Runs the typed line's command or sends it. False when a send failed or the line stays typed.
bool HandleLine() {
  std::string& line = Client.TypedLine;
  while (line.size() >= 2 && (line[1] == '/' || line[1] == '+')) line.erase(1, 1);
  if (line[0] == '/') {
    const std::string command = line.substr(1);
    const std::string word = Upper(command.substr(0, 10));
    if (word.rfind("NOME", 0) == 0 || word.rfind("NICK", 0) == 0) {
      const std::string rest = command.size() > 5 ? command.substr(5) : std::string();
      const size_t blank = rest.find(' ');
      if (blank == std::string::npos) {
        if (!SendServerLine("NICK " + rest)) return LineSendFailed(), false;
      } else {
        if (!SendServerLine("NICK " + rest.substr(0, blank))) return LineSendFailed(), false;
        SendServerLine("IDENTIFY " + rest.substr(blank + 1));
      }
    } else if (word == "ME" || word.rfind("ME ", 0) == 0) {
      // An action: "/me acena" goes out as the CTCP ACTION and is echoed as others' actions are said.
      const std::string action = command.size() > 3 ? command.substr(3) : std::string();
      if (action.find_first_not_of(' ') == std::string::npos) {
        WriteLnSpoken(kInvalidCommand);
      } else {
        const std::string channel = CurrentChannelTarget();
        if (!SendAwaitingAnswer("PRIVMSG #" + Client.CurrentChannel + " :\x01" "ACTION " + action + "\x01",
                                channel, Client.Nickname + " " + action))
          return LineSendFailed(), false;
      }
    } else if (word.rfind("QUEM", 0) == 0) {
      if (!SendServerLine("NAMES #" + Client.CurrentChannel)) return LineSendFailed(), false;
    } else if (word.rfind("IGNORAR", 0) == 0) {
      IgnoreNickname(command);
    } else if (word.rfind("DESIGNORAR", 0) == 0) {
      UnignoreNickname(command);
    } else {
      WriteLnSpoken(kInvalidCommand);
    }
  } else if (line[0] == '+') {
    line.erase(0, 1);
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) {
      // A nickname without a message: it stays typed, with its "+", for the message to follow (without
      // the "+" the message would go to the whole channel).
      line.insert(0, 1, '+');
      RedrawTypedLine();
      return false;
    }
    // Nothing is said when it goes out; a refusal (no such nickname) is said in its turn.
    const std::string nick = line.substr(0, blank);
    if (!SendAwaitingAnswer("PRIVMSG " + nick + " :" + line.substr(blank + 1), nick, std::string()))
      return LineSendFailed(), false;
  } else {
    // The echo waits for the server's answer: a line the channel refuses (moderated...) is not said as
    // sent.
    if (!SendAwaitingAnswer("PRIVMSG #" + Client.CurrentChannel + " :" + line, CurrentChannelTarget(),
                            Client.Nickname + ". " + line))
      return LineSendFailed(), false;
  }
  return true;
}

void PressEnter() {
  PlayClick();
  // An empty line has nothing to send or to show: writing the working text again would only repeat
  // the last message on the screen.
  if (Client.TypedLine.empty()) return;
  Client.CurrentMessage = Client.TypedLine;
  if (!HandleLine()) return;
  GotoXY(1, WhereY());
  const std::string shown = Client.CurrentMessage.substr(0, kShownWidth);
  ConsoleWriteLn(shown);
  Client.TypedLine.clear();
  Client.CurrentMessage.clear();
}

void ConfirmLeave() {
  SayPrompt("FTFIM", 0);
  uint8_t key = ReadKey();
  if (key == 0) {
    ReadKey();  // an extended key is no answer
  } else {
    const char one = static_cast<char>(key);
    SpeakText(std::string_view(&one, 1));
  }
  ConsoleWriteLn();
  if (key != 'S' && key != 's') {
    RedrawTypedLine();
    return;
  }
  Client.InChannel = false;
  SendServerLine("Part #" + Client.CurrentChannel);
  Delay(40);
  SayPrompt("FTFIMC", 1);
  ClrScr();
  Client.CurrentChannel.clear();
  Client.TypedLine.clear();
}

void Paste() {
  char buffer[kPasteCapacity] = {};
  PasteFromClipboard(buffer, sizeof buffer);
  bool cut = false;
  for (const char* p = buffer; *p; ++p) {
    // Control characters would not show on the row, and a line that does not show lets messages be
    // said over it: a tab becomes a blank, the others go.
    char c = *p;
    if (c == '\t') c = ' ';
    if (static_cast<unsigned char>(c) < 32) continue;
    if (Client.TypedLine.size() >= kTypedLineMax) {
      cut = true;
      break;
    }
    Client.TypedLine.push_back(c);
  }
  RedrawTypedLine();
  PlayClick();
  if (cut) PlayBeep();
}

void CopyLastShown() {
  std::string& text = Client.LastShownMessage;
  if (!text.empty() && text[0] == ' ') text.erase(0, 1);
  const size_t blank = text.find(' ');
  if (blank != std::string::npos) text.erase(0, blank + 1);
  CopyToClipboard(text.c_str());
  PlayClick();
}

// Ctrl+Backspace: the blanks at the end of the line and the word before them go, and the word is said
// (as the editor does). A line without a word gets a beep.
void DeleteLastWord() {
  std::string& line = Client.TypedLine;
  size_t end = line.size();
  while (end > 0 && line[end - 1] == ' ') --end;
  if (end == 0) {
    line.clear();
    RedrawTypedLine();
    PlayBeep();
    return;
  }
  // A word is a run of letters (cp1252 letters included), a run of digits, or one other mark.
  auto kind = [](char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 128) return 1;
    if (u >= '0' && u <= '9') return 2;
    return 3;
  };
  size_t start = end - 1;
  const int k = kind(line[start]);
  if (k != 3)
    while (start > 0 && line[start - 1] != ' ' && kind(line[start - 1]) == k) --start;
  const std::string word = line.substr(start, end - start);
  line.erase(start);
  RedrawTypedLine();
  PlayPrompt("_del");
  SpeakText(word);
}

// Entries a line may queue at most: one per blank-separated word (a names reply queues each name).
size_t EntriesNeeded(const std::string& line) {
  const size_t blanks = static_cast<size_t>(std::count(line.begin(), line.end(), ' '));
  return std::min<size_t>(blanks + 1, kMessageQueueSize - 1);
}

bool IsPing(const std::string& line) {
  size_t at = 0;
  if (!line.empty() && line[0] == ':') {
    at = line.find(' ');
    if (at == std::string::npos) return false;
    ++at;
  }
  return line.compare(at, 4, "PING") == 0;
}

// True when the ring has room for what line would queue (an empty ring takes any line).
bool RingHasRoomFor(const std::string& line) {
  const int free_slots = kMessageQueueSize - 1 - QueuedMessageCount();
  return QueuedMessageCount() == 0 || static_cast<int>(EntriesNeeded(line)) <= free_slots;
}

bool RingHasRoomFor(const HeldLine& held) {
  return held.own ? QueuedMessageCount() < kMessageQueueSize - 1 : RingHasRoomFor(held.text);
}

bool BacklogFull() {
  return Channel.Backlog.size() >= kBacklogLimit || Channel.BacklogBytes >= kBacklogByteLimit;
}

void HoldBackServerLine(std::string line) {
  Channel.BacklogBytes += line.size();
  Channel.Backlog.push_back(HeldLine{std::move(line), false});
  Channel.LargestBacklog = std::max(Channel.LargestBacklog, Channel.Backlog.size());
}

// Dispatches held-back lines while the ring has room for what they queue. A PING is answered at once
// even when it has to wait behind other lines, so a long burst never costs the connection.
void DrainBacklog() {
  while (!Channel.Backlog.empty() && Client.InChannel) {
    HeldLine& held = Channel.Backlog.front();
    if (!RingHasRoomFor(held)) return;
    if (held.own) {
      QueueMessage(std::move(held.text));
    } else {
      Channel.BacklogBytes -= std::min(Channel.BacklogBytes, held.text.size());
      HandleServerLine(held.text);
    }
    Channel.Backlog.pop_front();
  }
}

// Reads the lines that are waiting (at most kLinesPerPass, so keys stay answered during a flood).
// False when the connection dropped.
bool ReadWaitingLines() {
  for (int n = 0; n < kLinesPerPass && Client.InChannel; ++n) {
    if (BacklogFull()) return true;
    if (!ServerDataWaiting()) return true;
    if (!ReadServerLine(&Client.CurrentMessage, kLineSeconds)) {
      ConnectionLost();
      Client.InChannel = false;
      return false;
    }
    ++Channel.LinesRead;
    std::string line = std::move(Client.CurrentMessage);
    if (Channel.Backlog.empty() && RingHasRoomFor(line)) {
      HandleServerLine(line);
    } else {
      // A PING, and the answers to what the user did, do not wait behind the burst.
      if (IsPing(line) || IsAnswerToUser(line)) {
        HandleServerLine(line);
        continue;
      }
      HoldBackServerLine(std::move(line));
    }
  }
  return true;
}

// Nothing to do until a key or server data comes: sleep in the event loop.
void WaitForWork() {
  if (KeyPressed()) return;
  if (WhereX() == 1 && QueuedMessageCount() > 0) return;
  if (!Channel.Backlog.empty() && RingHasRoomFor(Channel.Backlog.front())) return;
  if (Client.ServerSocket > 0 && ServerDataWaiting() && !BacklogFull()) return;
  // The data check dispatches the event loop's messages: a key may have arrived meanwhile.
  if (KeyPressed()) return;
  ++Channel.Sleeps;
  if (Client.ServerSocket > 0 && !BacklogFull()) {
    WaitForFd(Client.ServerSocket, -1, true);
  } else {
    WaitMessage(-1);
  }
}

}  // namespace

std::string CurrentChannelTarget() {
  if (Client.CurrentChannel.empty()) return {};
  // A comma would have made the JOIN a list of channels: the first is the one joined.
  return "#" + Client.CurrentChannel.substr(0, Client.CurrentChannel.find_first_of(" ,"));
}

void QueueOwnText(std::string text) {
  if (!Channel.Awaited.empty()) {
    Channel.Awaited.push_back(AwaitedAnswer{std::string(), std::string(), std::move(text)});
    return;
  }
  QueueOwnTextNow(std::move(text));
}

void SayToUser(std::string text) {
  if (Client.CurrentChannel.empty()) {
    WriteLnSpoken(text);
  } else {
    QueueOwnText(std::move(text));
  }
}

bool SendAwaitingAnswer(const std::string& line, const std::string& target, std::string verdict,
                        bool sent_prompt) {
  const std::string token = "falatro" + std::to_string(++Channel.NextToken);
  if (!SendServerLine(line) || !SendServerLine("PING :" + token)) return false;
  Channel.Awaited.push_back(AwaitedAnswer{token, target, std::move(verdict), sent_prompt});
  return true;
}

void AnswerCame(const std::string& token) {
  auto answered = std::find_if(Channel.Awaited.begin(), Channel.Awaited.end(),
                               [&](const AwaitedAnswer& a) { return !a.token.empty() && a.token == token; });
  if (answered == Channel.Awaited.end()) return;
  // Servers answer in order: every line before this one has had its chance to be refused.
  std::deque<AwaitedAnswer> done(Channel.Awaited.begin(), answered + 1);
  Channel.Awaited.erase(Channel.Awaited.begin(), answered + 1);
  // The user's own texts that waited behind it come with it.
  while (!Channel.Awaited.empty() && Channel.Awaited.front().token.empty()) {
    done.push_back(std::move(Channel.Awaited.front()));
    Channel.Awaited.pop_front();
  }
  for (AwaitedAnswer& a : done) SayVerdict(a);
}

bool RefuseAwaited(const std::string& target, std::string text) {
  for (AwaitedAnswer& a : Channel.Awaited) {
    if (a.token.empty() || a.refused || !SameNickname(a.target, target)) continue;
    a.refused = true;
    a.verdict = std::move(text);
    return true;
  }
  return false;
}

void ShowNextQueuedMessage() {
  if (Client.QueueRead == Client.QueueWrite) return;
  GotoXY(1, WhereY());
  ClrEol();
  TextColor(15);
  std::string text;
  TakeQueuedMessage(&text);
  Client.CurrentMessage = text;
  if (!text.empty()) {
    Client.LastShownMessage = text;
    ++Channel.MessagesShown;
    if (Channel.on_shown) Channel.on_shown(text);
    WriteLnSpoken(text);
    Delay(10);
    TextColor(7);
  }
}

void RedrawTypedLine() {
  GotoXY(1, WhereY());
  const std::string& line = Client.TypedLine;
  const size_t from = line.size() > kShownWidth ? line.size() - kShownWidth : 0;
  ConsoleWrite(std::string_view(line).substr(from));
  ClrEol();
}

void HandleTypedKey(uint8_t key) {
  switch (key) {
    case 8:
      if (!Client.TypedLine.empty()) {
        PlayPrompt("_del");
        SpeakChar(Client.TypedLine.back());
        Client.TypedLine.pop_back();
      }
      RedrawTypedLine();
      return;
    case 127: DeleteLastWord(); return;
    case 13: PressEnter(); return;
    case 25:
      GotoXY(1, WhereY());
      ClrEol();
      PlayPrompt("_CPOAPA");
      Client.TypedLine.clear();
      return;
    case 27: ConfirmLeave(); return;
    case 254: Paste(); return;
    case 255: CopyLastShown(); return;
    default:
      // Other control keys (Tab, Ctrl+letters, Ctrl+Enter) are not part of a line: they would not
      // show on its row, and messages would then be said over the line being typed.
      if (key < 32) {
        PlayBeep();
      } else if (Client.TypedLine.size() < kTypedLineMax) {
        const char c = static_cast<char>(key);
        if (Client.SpellTyping) SpellText(std::string_view(&c, 1));
        Client.TypedLine.push_back(c);
        RedrawTypedLine();
      } else {
        PlayBeep();
      }
      return;
  }
}

void JoinChannel(const std::string& channel_name) {
  // A copy: the caller may pass CurrentChannel itself, which leaving empties.
  const std::string name = channel_name;
  ClearMessageQueue();
  Channel.Backlog.clear();
  Channel.BacklogBytes = 0;
  Channel.Awaited.clear();
  Channel.Joined = Channel.JoinRefused = Channel.Kicked = false;
  Client.CurrentChannel = name;
  Client.TypedLine.clear();
  Window(1, 1, 80, 24);
  ClrScr();
  SayPrompt("FTINICC", 1);
  if (!SendServerLine("JOIN #" + name)) {
    ConnectionLost();
    return;
  }
  // The server's answer (the join, or its refusal) is read by the loop like any line: a server that
  // does not answer at once is no dropped connection.
  Client.InChannel = true;
  while (Client.InChannel) {
    ++Channel.Passes;
    while (Client.InChannel && KeyPressed()) {
      const uint8_t k = ReadKey();
      if (k != 0) {
        HandleTypedKey(k);
      } else {
        HandleChannelFunctionKey(ReadKey());
        // A key that spoke on lines of its own (help, address, settings) left the typed line behind:
        // it goes back on the cursor's row, so messages keep waiting until it is sent or erased.
        if (Client.InChannel && !Client.TypedLine.empty() && WhereX() == 1) RedrawTypedLine();
      }
    }
    if (WhereX() == 1 && Client.InChannel) ShowNextQueuedMessage();
    DrainBacklog();
    if (Client.InChannel && !ReadWaitingLines()) break;
    if (Channel.after_pass) Channel.after_pass();
    if (Client.InChannel) WaitForWork();
  }
  Channel.Backlog.clear();
  Channel.BacklogBytes = 0;
  // Echoes of lines still waiting for their answer are not said at the menu; a refusal of one that
  // comes later is said there on its own.
  Channel.Awaited.clear();
  // Kicked, banned or refused: the loop ended with the reason still queued; the user hears it before
  // the menu. A ban (or anything else but a kick) leaves the user in the channel on the server: the
  // client leaves it, so its lines stop coming and a later join of it is answered.
  if (Client.ServerSocket > 0 && !Client.CurrentChannel.empty()) {
    if (!Channel.Kicked && !Channel.JoinRefused) SendServerLine("Part #" + Client.CurrentChannel);
    if (WhereX() != 1) ConsoleWriteLn();
    while (Client.QueueRead != Client.QueueWrite) ShowNextQueuedMessage();
  }
}

void SendPrivateMessage() {
  if (Client.ServerSocket <= 0) {
    SayPrompt("FTNAOCON", 1);
    return;
  }
  auto trimmed = [](std::string text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
  };
  std::string nick;
  SayPrompt("FTDIGAP", 0);
  ReadLineSpoken(nick);
  nick = trimmed(nick);
  if (nick.empty()) return;
  std::string message;
  SayPrompt("FTDIGMSG", 0);
  ReadLineSpoken(message);
  message = trimmed(message);
  if (message.empty()) return;
  // A nickname holds no blank: what follows one would become the message's text on the server.
  nick = nick.substr(0, nick.find(' '));
  // Lines of a channel left behind wait for nothing any more.
  Channel.Awaited.clear();
  if (!SendAwaitingAnswer("PRIVMSG " + nick + " :" + message, nick, PromptText("FTMSGENV"), true)) {
    ConnectionLost();
    return;
  }
  // "Mensagem enviada." only once the server took it: a nickname nobody uses is refused instead.
  const uint64_t until = NowMs() + kVerdictWaitMs;
  while (!Channel.Awaited.empty() && Client.ServerSocket > 0 && !KeyPressed()) {
    if (ServerDataWaiting()) {
      if (!ReadServerLine(&Client.CurrentMessage, kLineSeconds)) {
        ConnectionLost();
        return;
      }
      HandleServerLine(Client.CurrentMessage);
      continue;
    }
    const uint64_t now = NowMs();
    if (now >= until) break;
    WaitForFd(Client.ServerSocket, static_cast<int>(until - now), true);
  }
}

}  // namespace falatro
