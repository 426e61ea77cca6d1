// Connecting and logging in, and nickname registration.
#include "app/login.h"

#include "app/client_state.h"
#include "app/dispatcher.h"
#include "app/prompt_catalogue.h"
#include "app/server_connection.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "net/server_address.h"
#include "net/transport.h"
#include "speech/line_editor.h"
#include "speech/speech.h"

namespace falatro {

namespace {

constexpr int kLoginReplySeconds = 30;
constexpr int kRegisterReplySeconds = 15;
// How long the answer to the login's last line is awaited after the welcome.
constexpr uint64_t kDroppedCommandsMs = 1000;
// The password is read with the console's plain line input: echoed on the screen, never spoken.
constexpr uint16_t kPlainInputCapacity = 258;  // room for 255 characters, CR and LF

}  // namespace

std::string LoginLine(int index) {
  switch (index) {
    case 0: return "pass " + Client.Password;
    case 1: return "nick " + Client.Nickname;
    case 2: {
      // An IPv6 address in brackets: one starting with ":" would read as the line's last parameter.
      std::string host = ServerHostOf(Client.ServerName);
      if (host.find(':') != std::string::npos) host = "[" + host + "]";
      return "USER " + Client.Nickname + " Falatro " + host + " :" + Client.Nickname + "21";
    }
    case 3: return "IDENTIFY " + Client.Password;
    case 4: return "MandandoComandoInvalido";
    default: return {};
  }
}

namespace {

// Writes a reply during login from its text, in light grey.
void ShowLoginReply(const std::string& line) {
  TextColor(7);
  ConsoleWriteLn(ReplyTextToShow(line));
  TextColor(15);
}

// The sentence that says why the server refused the login, or "" when reply refuses nothing.
std::string RefusalText(const ServerReply& reply) {
  const std::string reason = reply.Last();
  const std::string choose = " Escolha outro apelido na op\xE7\xE3o O.";
  if (reply.command == "433")
    return "O apelido " + Client.Nickname + " j\xE1 est\xE1 em uso neste servidor." + choose;
  if (reply.command == "432")
    return "O servidor recusou o apelido " + Client.Nickname + ": " + reason + "." + choose;
  if (reply.command == "464")
    return "O servidor recusou a senha: " + reason + ". Corrija a senha na op\xE7\xE3o O.";
  if (reply.command == "465") return "Voc\xEA est\xE1 banido deste servidor: " + reason + ".";
  if (reply.command == "ERROR") return "O servidor recusou a conex\xE3o: " + reason + ".";
  return {};
}

bool EndsWelcome(const std::string& command) {
  // The end of the message of the day, no message of the day, or the answer to the last login line
  // from a server that registered the client at once.
  return command == "376" || command == "422" || command == "421";
}

enum class LoginWait { kLine, kDropped, kGivenUp };

// Waits for the next reply of the login, up to kLoginReplySeconds of silence. Esc gives up: a server
// that accepts the connection and then says nothing would otherwise hold the user that long.
LoginWait AwaitLoginReply(std::string* line) {
  for (int second = 0; second < kLoginReplySeconds; ++second) {
    if (ReadServerLine(line, 1)) return LoginWait::kLine;
    if (!Client.ServerReader || Client.ServerReader->closed) return LoginWait::kDropped;
    if (EscTyped()) return LoginWait::kGivenUp;
  }
  return LoginWait::kDropped;
}

// Some servers drop the commands a client sends before they register it, the IDENTIFY of the login
// among them; the unknown command sent last then gets no 421 either. The answer is awaited a moment
// (the lines read meanwhile stay for the menu), and without it the IDENTIFY is sent again.
void IdentifyAgainIfDropped() {
  LineReader* reader = Client.ServerReader.get();
  const uint64_t end = NowMs() + kDroppedCommandsMs;
  while (reader && Client.ServerSocket > 0 && NowMs() < end) {
    PumpReader(reader);
    for (const std::string& kept : reader->lines)
      if (ParseServerReply(kept).command == "421") return;
    if (reader->closed) return;
    WaitForFd(Client.ServerSocket, 50, false);
  }
  if (Client.ServerSocket > 0) SendServerLine(LoginLine(3));
}

}  // namespace

namespace {

enum class LoginEnd { kWelcomed, kRefused, kOver };

// True when reply refuses the connection's password: the reply for it, or an ERROR that names it.
bool RefusesPassword(const ServerReply& reply) {
  if (reply.command == "464") return true;
  if (reply.command != "ERROR") return false;
  std::string reason = reply.Last();
  for (char& c : reason) c = UpperCaseAccented(c);
  return reason.find("PASS") != std::string::npos || reason.find("SENHA") != std::string::npos;
}

// One login on a new connection: the login lines (the PASS line only when with_pass), then the
// server's replies until the welcome's end or a refusal. On a refusal the connection is closed and
// *refusal holds what to say; kOver when nothing more is to be said or done (no connection, given up,
// dropped: each already said).
LoginEnd LoginOnce(bool with_pass, std::string* refusal, bool* password_refused) {
  // Says itself what failed (a TLS refusal names the certificate's problem); nothing was sent then.
  const int socket = OpenServerConnection();
  if (socket <= 0) {
    Client.ServerSocket = 0;
    return LoginEnd::kOver;
  }
  Client.ServerSocket = socket;
  // From here on the connection is read whatever the program does: a PING sent before the welcome
  // is answered at once too.
  StartServerReading(socket);
  Delay(200);
  for (int i = with_pass ? 0 : 1; i < 5; ++i) SendServerLine(LoginLine(i));
  PlayBeep();
  // The login ends on the first of: the welcome's end, a refusal, the connection closed. Servers that
  // register a client only after a moment never answer the unknown command sent before, and some send
  // nothing more after refusing a nickname, so waiting for that answer alone could last for ever.
  std::string line;
  bool unknown_answered = false;  // a 421: the lines sent before the welcome were taken as commands
  for (;;) {
    const LoginWait wait = AwaitLoginReply(&line);
    if (wait == LoginWait::kGivenUp) {
      WriteLnSpoken(kConnectionCancelledText);
      CloseServerConnection();
      return LoginEnd::kOver;
    }
    if (wait != LoginWait::kLine) {
      ConnectionLost();
      return LoginEnd::kOver;
    }
    ShowLoginReply(line);
    const ServerReply reply = ParseServerReply(line);
    *refusal = RefusalText(reply);
    if (!refusal->empty()) {
      *password_refused = RefusesPassword(reply);
      if (reply.command != "ERROR") SendServerLine("QUIT");
      CloseServerConnection();
      return LoginEnd::kRefused;
    }
    if (reply.command == "421") unknown_answered = true;
    if (EndsWelcome(reply.command)) break;
  }
  Client.LocalAddress = LocalAddressText(Client.ServerSocket);
  if (!unknown_answered && !Client.Password.empty()) IdentifyAgainIfDropped();
  return LoginEnd::kWelcomed;
}

}  // namespace

void ConnectToServer() {
  // A connection still open would stay logged in on the server under the same nickname.
  if (Client.ServerSocket > 0) CloseServerConnection();
  Client.ServerSocket = 0;
  Client.LocalAddress.clear();
  StartNetwork();
  // The one password goes both to the server (PASS) and to the nickname service (IDENTIFY). A server
  // that takes no connection password may still refuse any PASS that is not empty: the login is then
  // made once more without it, and only a second refusal is said.
  std::string refusal;
  bool password_refused = false;
  LoginEnd end = LoginOnce(true, &refusal, &password_refused);
  if (end == LoginEnd::kRefused && password_refused && !Client.Password.empty())
    end = LoginOnce(false, &refusal, &password_refused);
  if (end == LoginEnd::kRefused) WriteLnSpoken(refusal);
}

void RegisterNickname() {
  if (Client.ServerSocket <= 0) {
    SayPrompt("FTNAOCON", 1);
    return;
  }
  Client.Password.clear();
  SayPrompt("FTSENHA", 0);
  Client.Password = ConsoleReadLine(kPlainInputCapacity);
  if (Client.Password.empty()) return;
  SayPrompt("FTEMAIL", 0);
  std::string address;
  ReadLineSpoken(address);
  if (address.empty() || address.find('@') == std::string::npos) return;
  if (!SendServerLine("NICKSERV REGISTER " + Client.Password + " " + address)) {
    ConnectionLost();
    return;
  }
  // The service's answer is awaited: a syntax message asks for the short form; every line read
  // meanwhile is handled as at the menu, so nothing that arrives now is lost.
  const uint64_t end = NowMs() + kRegisterReplySeconds * 1000ull;
  std::string reply;
  while (NowMs() < end) {
    const int left = static_cast<int>((end - NowMs() + 999) / 1000);
    if (!ReadServerLine(&reply, left)) break;
    const size_t bang = reply.find('!');
    const bool from_service = reply[0] == ':' && bang != std::string::npos &&
                              NicknameKey(reply.substr(1, bang - 1)) == "NICKSERV";
    std::string head = (from_service ? ParseServerReply(reply).Last() : reply).substr(0, 7);
    for (char& c : head) c = UpperCaseAccented(c);
    if (head == "SINTAXE" || head.substr(0, 6) == "SYNTAX") {
      if (!SendServerLine("NICKSERV REGISTER " + address)) {
        ConnectionLost();
        return;
      }
      break;
    }
    HandleServerLine(reply);
    // The service's notice, or the server's error reply to the command (no such service, unknown
    // command): there is nothing more to wait for.
    const std::string command = ParseServerReply(reply).command;
    if (from_service || (command.size() == 3 && command[0] == '4')) break;
  }
  SayPrompt("FTAPREG", 1);
}

}  // namespace falatro
