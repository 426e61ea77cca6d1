// falatro-demo-peer: two people chatting in a channel of a local IRC server, for the demo. They greet
// the visitor when it joins, talk, send it a private message, change a nickname, and answer what the
// visitor says in the channel or privately. Runs until killed or until the server goes away.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One connection of a scripted person.
struct Person {
  std::string nick;
  int fd = -1;
  std::string pending;
};

bool SendLine(Person& p, const std::string& line) {
  const std::string out = line + "\r\n";
  size_t sent = 0;
  while (sent < out.size()) {
    const ssize_t n = send(p.fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool Connect(Person& p, const std::string& address, const std::string& password) {
  p.fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(6667);
  if (p.fd < 0 || inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
      connect(p.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    return false;
  }
  return SendLine(p, "PASS " + password) && SendLine(p, "NICK " + p.nick) &&
         SendLine(p, "USER " + p.nick + " 0 * :" + p.nick);
}

// Reads what is waiting; returns complete lines. False when the connection closed.
bool ReadLines(Person& p, std::vector<std::string>* lines) {
  char buffer[4096];
  const ssize_t n = recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n == 0) return false;
  if (n > 0) p.pending.append(buffer, static_cast<size_t>(n));
  for (size_t nl = p.pending.find('\n'); nl != std::string::npos; nl = p.pending.find('\n')) {
    std::string line = p.pending.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    p.pending.erase(0, nl + 1);
    lines->push_back(line);
  }
  return true;
}

// A timed act of the script, in seconds after the visitor joined.
struct Act {
  int at;
  int who;  // 0 ana, 1 beto
  std::string line;
};

// The texts go out as UTF-8, as people's clients send them.
const std::vector<Act> kScript = {
    {1, 0, "PRIVMSG #falatro :Ol\xC3\xA1, visitante! Bem-vindo ao canal de demonstra\xC3\xA7\xC3\xA3o."},
    {4, 1, "JOIN #falatro"},
    {6, 1, "PRIVMSG #falatro :Oi, pessoal! Cheguei."},
    {7, 0, "PRIVMSG #falatro :\x01" "ACTION acena para o beto\x01"},
    {9, 0, "PRIVMSG #falatro :Digite uma linha e tecle Enter para falar no canal. Esc sai do canal."},
    {14, 0, "PRIVMSG visitante :Esta \xC3\xA9 uma mensagem particular. Responda com +ana e o texto."},
    {19, 1, "NICK roberto"},
    {22, 1, "PRIVMSG #falatro :Troquei de apelido. F1 diz as teclas de fun\xC3\xA7\xC3\xA3o do canal."},
    {27, 0, "PRIVMSG #falatro :Tente /quem para ouvir quem est\xC3\xA1 aqui."},
    {33, 1, "PRIVMSG #falatro :Com /ignorar e um apelido, voc\xC3\xAA deixa de ouvir algu\xC3\xA9m."},
    {40, 0, "PRIVMSG #falatro :Na tecla L do menu principal h\xC3\xA1 a lista de canais deste servidor."},
};

std::string NickOf(const std::string& line) {
  if (line.empty() || line[0] != ':') return {};
  return line.substr(1, line.find('!') - 1);
}

// The text after " :" of a message line.
std::string TextOf(const std::string& line) {
  const size_t at = line.find(" :", 1);
  return at == std::string::npos ? std::string() : line.substr(at + 2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: falatro-demo-peer ADDRESS PASSWORD\n");
    return 2;
  }
  const std::string address = argv[1], password = argv[2];
  std::vector<Person> people = {{"ana", -1, {}}, {"beto", -1, {}}};
  for (Person& p : people) {
    if (!Connect(p, address, password)) {
      std::fprintf(stderr, "falatro-demo-peer: cannot connect to %s:6667\n", address.c_str());
      return 1;
    }
  }
  bool welcomed = false;
  bool visitor_in = false;
  size_t next_act = 0;
  Clock::time_point joined_at;
  struct Reply {
    Clock::time_point at;
    std::string line;
  };
  std::vector<Reply> replies;
  for (;;) {
    pollfd fds[2] = {{people[0].fd, POLLIN, 0}, {people[1].fd, POLLIN, 0}};
    poll(fds, 2, 200);
    for (Person& p : people) {
      std::vector<std::string> lines;
      if (!ReadLines(p, &lines)) return 0;  // the server went away: the demo is over
      for (const std::string& line : lines) {
        if (line.rfind("PING", 0) == 0) SendLine(p, "PONG" + line.substr(4));
        if (&p != &people[0]) continue;
        if (!welcomed && line.find(" 001 ") != std::string::npos) {
          welcomed = true;
          SendLine(p, "JOIN #falatro");
          SendLine(p, "TOPIC #falatro :Canal de demonstra\xC3\xA7\xC3\xA3o do Falatro");
          for (const char* c : {"#bate-papo", "#musica", "#tecnologia"}) SendLine(p, std::string("JOIN ") + c);
          SendLine(p, "TOPIC #bate-papo :Conversa livre");
          SendLine(p, "TOPIC #musica :\x03" "4M\xC3\xBAsica\x03 de todos os tempos");
          SendLine(p, "TOPIC #tecnologia :Computadores e leitores de tela");
        }
        const std::string nick = NickOf(line);
        if (nick == "visitante" && line.find(" JOIN ") != std::string::npos &&
            line.find("#falatro") != std::string::npos) {
          visitor_in = true;
          joined_at = Clock::now();
          next_act = 0;
        }
        if (nick == "visitante" && line.find(" PART ") != std::string::npos) visitor_in = false;
        if (nick == "visitante" && line.find(" PRIVMSG #falatro :") != std::string::npos) {
          replies.push_back({Clock::now() + std::chrono::seconds(2),
                             "PRIVMSG #falatro :visitante, voc\xC3\xAA disse: " + TextOf(line)});
        }
        if (nick == "visitante" && line.find(" PRIVMSG ana :") != std::string::npos) {
          replies.push_back({Clock::now() + std::chrono::seconds(2),
                             "PRIVMSG visitante :Recebi sua mensagem particular: " + TextOf(line)});
        }
      }
    }
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < replies.size();) {
      if (replies[i].at <= now) {
        SendLine(people[0], replies[i].line);
        replies.erase(replies.begin() + static_cast<long>(i));
      } else {
        ++i;
      }
    }
    if (visitor_in && next_act < kScript.size() &&
        now - joined_at >= std::chrono::seconds(kScript[next_act].at)) {
      const Act& act = kScript[next_act++];
      Person& who = people[act.who];
      SendLine(who, act.line);
      if (act.line.rfind("NICK ", 0) == 0) who.nick = act.line.substr(5);
    }
    // After the story, or when the visitor left: beto leaves and takes his name back, so the next
    // visit hears the same story.
    if (!visitor_in && people[1].nick != "beto") {
      SendLine(people[1], "PART #falatro");
      SendLine(people[1], "NICK beto");
      people[1].nick = "beto";
    }
  }
}
