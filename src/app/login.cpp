// Connecting and logging in, and nickname registration.
#include "app/login.h"

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "app/server_connection.h"
#include "app/server_link.h"
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

void ConnectToServer() {
  // A connection still open would stay logged in on the server under the same nickname.
  if (Client.ServerSocket > 0) CloseConnection(Client.ServerSocket);
  Client.ServerSocket = 0;
  StartNetwork();
  // Says itself what failed (a TLS refusal names the certificate's problem); nothing was sent then.
  const int socket = OpenServerConnection();
  if (socket <= 0) {
    Client.ServerSocket = 0;
    return;
  }
  Client.ServerSocket = socket;
  Delay(200);
  for (int i = 0; i < 5; ++i) SendServerLine(LoginLine(i));
  PlayBeep();
  Client.ServerReader = NewLineReader(socket);
  std::string line;
  for (;;) {
    if (!ReadServerLine(&line, kLoginReplySeconds)) {
      ConnectionLost();
      return;
    }
    const bool had_prefix = !line.empty() && line[0] == ':';
    if (had_prefix) line.erase(0, 1);
    // The reply is shown from its trailing text; a colon inside the sender's host does not count.
    const size_t blank = line.find(' ');
    const size_t from = had_prefix && blank != std::string::npos ? blank : 0;
    const size_t colon = line.find(':', from);
    TextColor(7);
    ConsoleWriteLn(colon == std::string::npos ? std::string_view(line)
                                              : std::string_view(line).substr(colon + 1));
    TextColor(15);
    line.erase(0, blank == std::string::npos ? line.size() : blank + 1);
    if (line.compare(0, 3, "421") == 0) {
      Client.LocalAddress = LocalAddressText(Client.ServerSocket);
      return;
    }
  }
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
  // The reply is consumed here, whatever it is.
  std::string reply;
  ReadServerLine(&reply, kRegisterReplySeconds);
  std::string head = reply.substr(0, 7);
  for (char& c : head) c = UpperCaseAccented(c);
  if (head == "SINTAXE") {
    if (!SendServerLine("NICKSERV REGISTER " + address)) {
      ConnectionLost();
      return;
    }
  }
  SayPrompt("FTAPREG", 1);
}

}  // namespace falatro
