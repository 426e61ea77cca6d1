// The server line dispatcher: preparation of the line, then the first matching rule.
#include "app/dispatcher.h"

#include <string_view>

#include "app/client_state.h"
#include "app/server_link.h"
#include "console/keyboard.h"
#include "speech/speech.h"

namespace falatro {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

// Removes everything up to and including the first ":" found at index from or later. Searching from
// the command word on keeps colons of the sender's host (IPv6 addresses) from cutting the line.
// Without such a colon the text is left alone.
void CutThroughColon(std::string& text, size_t from) {
  if (from > text.size()) from = text.size();
  const size_t colon = text.find(':', from);
  if (colon != std::string::npos) text.erase(0, colon + 1);
}

// Cuts the first n characters (all of them when the text is shorter).
void CutFront(std::string& text, size_t n) { text.erase(0, n < text.size() ? n : text.size()); }

// Cuts everything up to and including the first blank (all of it when there is none).
void CutThroughBlank(std::string& text) {
  const size_t blank = text.find(' ');
  text.erase(0, blank == std::string::npos ? text.size() : blank + 1);
}

// The user's own nickname was kicked or banned: the channel loop ends.
void LeftChannelByForce() { Client.InChannel = false; }

}  // namespace

void StripColourCodes(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\x03') continue;
    // The code and the character after it (its first digit, whatever it is) go.
    text.erase(i, 2);
    if (i < text.size() && IsDigit(text[i])) text.erase(i, 1);
    if (i < text.size() && text[i] == ',') text.erase(i, 2);
    if (i < text.size() && IsDigit(text[i])) text.erase(i, 1);
  }
}

void StripFormattingCodes(std::string& text, size_t from) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i >= from && (c == '\x02' || c == '\x0F' || c == '\x16' || c == '\x1F')) continue;
    out.push_back(c);
  }
  text.swap(out);
}

void HandleServerLine(const std::string& line) {
  Client.MessageSender.clear();
  Client.CurrentMessage = line;
  std::string& text = Client.CurrentMessage;
  std::string& sender = Client.MessageSender;

  const bool had_prefix = !text.empty() && text[0] == ':';
  if (had_prefix) text.erase(0, 1);
  // p: the 1-based position of the first blank (0 when none); the command word starts at index p.
  const size_t blank = text.find(' ');
  const size_t p = blank == std::string::npos ? 0 : blank + 1;
  const size_t bang = text.find('!');
  if (bang != std::string::npos) sender = text.substr(0, bang);
  StripColourCodes(text);
  StripFormattingCodes(text, p);

  const std::string_view command = p <= text.size() ? std::string_view(text).substr(p) : std::string_view();
  auto is = [&](std::string_view word) { return StartsWith(command, word); };

  // 1. PING. A prefixed line is a PING only by its command word, so a nickname that starts with
  // "PING" is still read as a nickname.
  if ((!had_prefix && StartsWith(text, "PING")) || (had_prefix && is("PING"))) {
    PlayBeep();
    SendServerLine("PONG " + Client.LocalAddress);
    return;
  }

  // 2. Names reply: every name of the list is queued, the last one too.
  if (is("353")) {
    CutThroughColon(text, p);
    while (!text.empty()) {
      const size_t b = text.find(' ');
      std::string name = text.substr(0, b);
      text.erase(0, b == std::string::npos ? text.size() : b + 1);
      if (name.empty()) continue;
      QueueMessage(std::move(name));
      Delay(30);
    }
    return;
  }

  if (is("JOIN")) {
    sender = "." + sender;
    QueueMessage(sender + " Entrou no canal");
    return;
  }

  if (is("PART")) {
    if (!SameNickname(sender, Client.Nickname)) QueueMessage("." + sender + " Saiu do canal");
    return;
  }

  if (is("QUIT")) {
    QueueMessage("." + sender + " Caiu do canal");
    return;
  }

  if (is("KICK")) {
    CutFront(text, p + 5);
    CutThroughBlank(text);  // the channel
    if (!text.empty() && text[0] == ':') text.erase(0, 1);
    // Without a reason the nickname runs to the end of the line.
    const std::string kicked = text.substr(0, text.find(' '));
    if (!kicked.empty() && SameNickname(kicked, Client.Nickname)) {
      QueueMessage("Voc\xEA foi expulso do canal");
      LeftChannelByForce();
    } else {
      QueueMessage("." + kicked + " Foi expulso do canal");
    }
    return;
  }

  // 7. Private message: the target (the character after "PRIVMSG ") does not start with "#".
  if (is("PRIVMSG") && (p + 8 >= text.size() || text[p + 8] != '#')) {
    if (IsIgnored(sender)) return;
    CutThroughColon(text, p);
    if (Client.CurrentChannel.empty()) {
      WriteLnSpoken(sender + "(PVT). " + text);
    } else {
      QueueMessage(sender + "(pvt). " + text);
    }
    return;
  }

  if (is("NICK")) {
    std::string nick;
    const size_t colon = text.find(':', p);
    if (colon != std::string::npos) {
      nick = text.substr(colon + 1);
    } else {
      // "NICK new" without a colon: the parameter after the command word.
      std::string rest = text.substr(p);
      CutThroughBlank(rest);
      nick = rest.substr(0, rest.find(' '));
    }
    if (SameNickname(sender, Client.Nickname)) Client.Nickname = nick;
    if (!sender.empty()) {
      for (std::string& slot : Client.IgnoreList)
        if (SameNickname(slot, sender)) slot = nick;
    }
    QueueMessage(sender + " Trocou de nick para " + nick);
    return;
  }

  if (is("TOPIC")) {
    CutThroughColon(text, p);
    QueueMessage(sender + " Colocou o t\xF3pico: " + text);
    sender.clear();
    return;
  }

  if (is("MODE")) {
    CutFront(text, p + 6);
    CutThroughBlank(text);
    if (text.size() >= 2 && text[0] == '+' && (text[1] == 'b' || text[1] == 'B')) {
      std::string mask = text.size() > 3 ? text.substr(3) : std::string();
      // Some servers put a colon before the mask.
      if (!mask.empty() && mask[0] == ':') mask.erase(0, 1);
      const std::string banned = mask.substr(0, mask.find('!'));
      QueueMessage(sender + " Baniu " + banned + " deste canal");
      if (!banned.empty() && SameNickname(banned, Client.Nickname)) LeftChannelByForce();
    }
    return;
  }

  if (is("PRIVMSG")) {
    if (IsIgnored(sender)) return;
    CutThroughColon(text, p);
    QueueMessage(sender + ". " + text);
    sender.clear();
    return;
  }

  if (NicknameKey(std::string_view(sender).substr(0, 8)) == "NICKSERV") {
    text.erase(0, 1);
    CutThroughColon(text, p > 0 ? p - 1 : 0);
    WriteLnSpoken(text);
    return;
  }
  // Anything else is neither shown nor said.
}

}  // namespace falatro
