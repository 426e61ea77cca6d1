// The server line dispatcher: preparation of the line, then the first matching rule.
#include "app/dispatcher.h"

#include <ctime>
#include <deque>
#include <string_view>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "speech/speech.h"

namespace falatro {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
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

// The parameters after the command word that starts at index from: words split at blanks, the one
// that starts with ":" running to the end of the line without its colon.
std::vector<std::string> Parameters(std::string_view text, size_t from) {
  std::vector<std::string> out;
  if (from > text.size()) return out;
  size_t i = text.find(' ', from);
  while (i != std::string_view::npos) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    if (text[i] == ':') {
      out.emplace_back(text.substr(i + 1));
      break;
    }
    const size_t end = text.find(' ', i);
    out.emplace_back(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
    i = end;
  }
  return out;
}

std::string Parameter(const std::vector<std::string>& params, size_t n) {
  return n < params.size() ? params[n] : std::string();
}

bool IsCurrentChannel(std::string_view name) {
  const std::string current = CurrentChannelTarget();
  return !current.empty() && SameNickname(name, current);
}

// A message's target without the status prefix of a message to a channel's operators or voiced
// users ("@#sala").
std::string_view MessageTarget(std::string_view target) {
  if (target.size() >= 2 && target[1] == '#' && std::string_view("@%+~").find(target[0]) != std::string_view::npos)
    target.remove_prefix(1);
  return target;
}

// CTCP answers are limited to a few in a while, so a flood of requests cannot make the server drop
// the client for flooding.
constexpr size_t kCtcpAnswersPerWindow = 4;
constexpr uint64_t kCtcpWindowMs = 10000;

bool MayAnswerCtcp() {
  static std::deque<uint64_t> answered;
  const uint64_t now = NowMs();
  if (!answered.empty() && answered.back() > now) answered.clear();  // a clock that started again
  while (!answered.empty() && now - answered.front() >= kCtcpWindowMs) answered.pop_front();
  if (answered.size() >= kCtcpAnswersPerWindow) return false;
  answered.push_back(now);
  return true;
}

std::string CtcpTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64];
  const size_t n = std::strftime(buffer, sizeof buffer, "%a %b %d %H:%M:%S %Y", &local);
  return std::string(buffer, n);
}

// A CTCP message (text between code-1 marks): an action is said as one; VERSION, PING, TIME and
// CLIENTINFO requests are answered with a NOTICE to the sender; any other request is neither said nor
// answered. private_message: sent to the user rather than to the channel.
void HandleCtcp(const std::string& sender, std::string body, bool private_message) {
  body.erase(0, 1);
  if (!body.empty() && body.back() == '\x01') body.pop_back();
  const size_t blank = body.find(' ');
  std::string word = body.substr(0, blank);
  for (char& c : word)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  const std::string args = blank == std::string::npos ? std::string() : body.substr(blank + 1);
  if (word == "ACTION") {
    if (!private_message) {
      QueueMessage(sender + " " + args);
    } else if (Client.CurrentChannel.empty()) {
      WriteLnSpoken(sender + "(PVT) " + args);
    } else {
      QueueMessage(sender + "(pvt) " + args);
    }
    return;
  }
  std::string answer;
  if (word == "VERSION") {
    answer = "VERSION Falatro " + std::string(kClientVersion);
  } else if (word == "PING") {
    answer = blank == std::string::npos ? "PING" : "PING " + args;
  } else if (word == "TIME") {
    answer = "TIME " + CtcpTime();
  } else if (word == "CLIENTINFO") {
    answer = "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION";
  }
  // A sender's nickname with a blank or without a name cannot be answered.
  if (answer.empty() || sender.empty() || sender.find(' ') != std::string::npos) return;
  if (MayAnswerCtcp()) SendServerLine("NOTICE " + sender + " :\x01" + answer + "\x01");
}

std::string CannotJoin(const std::string& channel, std::string_view why) {
  return "N\xE3o foi poss\xEDvel entrar no canal " + channel + ": " + std::string(why);
}

// A join the server refused: said, and the channel loop ends when it is the channel being joined.
void JoinRefused(const std::string& channel, std::string_view why) {
  if (IsCurrentChannel(channel) && !Channel.Joined && Client.InChannel) {
    Client.InChannel = false;
    Channel.JoinRefused = true;
  }
  SayToUser(CannotJoin(channel, why));
}

// A refusal of a line the user sent to target: it takes the place of that line's echo, or is said on
// its own when no line to target waits for its answer.
void LineRefused(const std::string& target, std::string text) {
  if (!RefuseAwaited(target, text)) SayToUser(std::move(text));
}

std::string NotDelivered(const std::string& target) {
  if (!target.empty() && target[0] == '#')
    return "Mensagem n\xE3o entregue: o canal " + target + " n\xE3o existe";
  return "Mensagem n\xE3o entregue: n\xE3o h\xE1 ningu\xE9m com o apelido " + target;
}

// Numeric replies other than the names list. True when the code is one of them.
bool HandleNumeric(std::string_view code, const std::vector<std::string>& params) {
  const std::string subject = Parameter(params, 1);
  if (code == "332") {
    if (IsCurrentChannel(subject)) QueueMessage("T\xF3pico do canal: " + params.back());
  } else if (code == "301") {
    SayToUser(subject + " est\xE1 ausente: " + Parameter(params, 2));
  } else if (code == "401") {
    LineRefused(subject, NotDelivered(subject));
  } else if (code == "403") {
    if (IsCurrentChannel(subject) && !Channel.Joined) {
      // A join creates a channel that does not exist yet: this is a name that cannot be one.
      JoinRefused(subject, "o nome do canal n\xE3o \xE9 v\xE1lido");
    } else {
      LineRefused(subject, NotDelivered(subject));
    }
  } else if (code == "404") {
    LineRefused(subject, "Mensagem n\xE3o enviada: o canal " + subject + " n\xE3o aceita suas mensagens");
  } else if (code == "477") {
    // Refuses a join on some servers, a line to the channel on others.
    if (IsCurrentChannel(subject) && !Channel.Joined) {
      JoinRefused(subject, "s\xF3 entra quem identificou o apelido registrado");
    } else {
      LineRefused(subject, "Mensagem n\xE3o enviada: " + subject +
                               " s\xF3 aceita mensagens de quem identificou o apelido registrado");
    }
  } else if (code == "471") {
    // Some servers give every mode that keeps users out this one code, and name the mode in the text.
    const std::string why = params.back();
    if (why.find("(+R)") != std::string::npos) {
      JoinRefused(subject, "s\xF3 entra quem identificou o apelido registrado");
    } else if (why.find("(+z)") != std::string::npos) {
      JoinRefused(subject, "o canal s\xF3 aceita conex\xF5" "es seguras");
    } else if (why.find("(+O)") != std::string::npos) {
      JoinRefused(subject, "o canal \xE9 s\xF3 para operadores");
    } else {
      JoinRefused(subject, "o canal est\xE1 lotado");
    }
  } else if (code == "473") {
    JoinRefused(subject, "o canal s\xF3 aceita convidados");
  } else if (code == "474") {
    JoinRefused(subject, "voc\xEA est\xE1 banido deste canal");
  } else if (code == "475") {
    JoinRefused(subject, "o canal pede uma senha; digite o nome do canal, um espa\xE7o e a senha");
  } else if (code == "476" || code == "479") {
    JoinRefused(subject, "o nome do canal n\xE3o \xE9 v\xE1lido");
  } else if (code == "405") {
    JoinRefused(subject, "voc\xEA j\xE1 est\xE1 em canais demais");
  } else if (code == "489") {
    JoinRefused(subject, "o canal s\xF3 aceita conex\xF5" "es seguras");
  } else if (code == "520") {
    JoinRefused(subject, "o canal \xE9 s\xF3 para operadores");
  } else if (code == "437") {
    if (!subject.empty() && subject[0] == '#') {
      JoinRefused(subject, "o canal est\xE1 indispon\xEDvel no momento");
    } else {
      SayToUser("O apelido " + subject + " est\xE1 indispon\xEDvel no momento");
    }
  } else if (code == "433") {
    SayToUser("O apelido " + subject + " j\xE1 est\xE1 em uso");
  } else if (code == "432") {
    SayToUser("O apelido " + subject + " n\xE3o \xE9 v\xE1lido");
  } else if (code == "438") {
    SayToUser("Troca de apelido recusada: espere um pouco e tente de novo");
  } else if (code == "447") {
    SayToUser("Troca de apelido recusada neste canal");
  } else {
    return false;
  }
  return true;
}

// Numerics HandleNumeric answers the user with (the topic aside, which is news of the channel).
bool IsRefusalNumeric(std::string_view code) {
  static constexpr std::string_view kCodes[] = {"301", "401", "403", "404", "405", "432", "433", "437", "438",
                                                "447", "471", "473", "474", "475", "476", "477", "479", "489",
                                                "520"};
  for (std::string_view c : kCodes)
    if (code == c) return true;
  return false;
}

bool IsNumeric(std::string_view command) {
  return command.size() >= 3 && IsDigit(command[0]) && IsDigit(command[1]) && IsDigit(command[2]) &&
         (command.size() == 3 || command[3] == ' ');
}

// The command word of a line: after the prefix when there is one.
std::string_view CommandOf(std::string_view line) {
  if (!line.empty() && line[0] == ':') {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return {};
    line.remove_prefix(blank + 1);
  }
  return line;
}

}  // namespace

void StripColourCodes(std::string& text) {
  for (size_t i = text.find('\x03'); i != std::string::npos; i = text.find('\x03', i)) {
    // The code goes with the digits that belong to it; whatever else follows is text (a blank after a
    // colour reset stays).
    size_t end = i + 1;
    for (int n = 0; n < 2 && end < text.size() && IsDigit(text[end]); ++n) ++end;
    if (end > i + 1 && end + 1 < text.size() && text[end] == ',' && IsDigit(text[end + 1])) {
      ++end;
      for (int n = 0; n < 2 && end < text.size() && IsDigit(text[end]); ++n) ++end;
    }
    text.erase(i, end - i);
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

bool IsAnswerToUser(const std::string& line) {
  const std::string_view command = CommandOf(line);
  if (StartsWith(command, "PONG")) return true;
  return IsNumeric(command) && IsRefusalNumeric(command.substr(0, 3));
}

std::string ReplyTextToShow(const std::string& line) {
  std::string_view text = line;
  if (!text.empty() && text[0] == ':') {
    const size_t blank = text.find(' ');
    text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
  }
  const std::vector<std::string> params = Parameters(text, 0);
  const size_t trailing = text.find(" :");
  if (!StartsWith(text, "005") && !StartsWith(text, "004") && trailing != std::string_view::npos)
    return std::string(text.substr(trailing + 2));
  if (params.size() < 2) return std::string(text);
  // The parameters after the nickname, the trailing one without its colon.
  std::string out;
  for (size_t i = 1; i < params.size(); ++i) {
    if (i > 1) out += ' ';
    out += params[i];
  }
  return out;
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
  // The parameters are read before any rule cuts the text.
  const std::vector<std::string> params = Parameters(text, p);
  const std::string first = Parameter(params, 0);
  const bool own = !sender.empty() && SameNickname(sender, Client.Nickname);

  // 1. PING. A prefixed line is a PING only by its command word, so a nickname that starts with
  // "PING" is still read as a nickname.
  if ((!had_prefix && StartsWith(text, "PING")) || (had_prefix && is("PING"))) {
    PlayBeep();
    SendServerLine(PongFor(line));
    return;
  }

  // The server's answer to the PING the client sent after a line of the user's: that line's outcome is
  // known now.
  if (had_prefix && is("PONG")) {
    if (!params.empty()) AnswerCame(params.back());
    return;
  }

  // 2. Names reply of the current channel: every name of the list is queued, the last one too.
  if (is("353")) {
    if (!IsCurrentChannel(Parameter(params, 2))) return;
    text = Parameter(params, 3);
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

  if (had_prefix && IsNumeric(command)) {
    HandleNumeric(command.substr(0, 3), params);
    return;
  }

  // Events of other channels are not the user's business here: the client is in one channel at a
  // time, and a line of a channel it left is late news.
  if ((is("JOIN") || is("PART") || is("KICK") || is("TOPIC")) && !IsCurrentChannel(first)) return;
  if (is("MODE") && !first.empty() && first[0] == '#' && !IsCurrentChannel(first)) return;

  if (is("JOIN")) {
    if (own) Channel.Joined = true;
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
      Channel.Kicked = true;
      LeftChannelByForce();
    } else {
      QueueMessage("." + kicked + " Foi expulso do canal");
    }
    return;
  }

  // 7. Private message: the target is not a channel.
  const std::string_view target = MessageTarget(first);
  if (is("PRIVMSG") && (target.empty() || target[0] != '#')) {
    if (IsIgnored(sender)) return;
    // The text is the last parameter: colons of the sender's host (IPv6) or of a channel's name are
    // not where it starts.
    text = Parameter(params, 1);
    if (!text.empty() && text[0] == '\x01') {
      HandleCtcp(sender, text, true);
    } else if (Client.CurrentChannel.empty()) {
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
    text = Parameter(params, 1);
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
    if (IsIgnored(sender) || !IsCurrentChannel(target)) return;
    text = Parameter(params, 1);
    if (!text.empty() && text[0] == '\x01') {
      HandleCtcp(sender, text, false);
    } else {
      QueueMessage(sender + ". " + text);
    }
    sender.clear();
    return;
  }

  // Nickname-service notices: said at once at the menu; in a channel they wait in the queue like any
  // message, so they never talk over a line being typed.
  if (NicknameKey(std::string_view(sender).substr(0, 8)) == "NICKSERV") {
    text = params.empty() ? std::string() : params.back();
    if (Client.CurrentChannel.empty()) {
      WriteLnSpoken(text);
    } else {
      QueueMessage(text);
    }
    return;
  }
  // Anything else is neither shown nor said.
}

}  // namespace falatro
