// Opening the server connection: the server setting, the TCP connection and the TLS start.
#include "app/server_connection.h"

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "base/paths.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "net/server_address.h"
#include "net/transport.h"
#include "platform/tls/openssl_library.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

namespace {

// cp1252 texts.
constexpr const char* kRefused = "Conex\xE3o segura recusada: ";
constexpr const char* kFailed = "Conex\xE3o segura falhou: ";

}  // namespace

std::string TlsFailureText(TlsStartResult result) {
  switch (result) {
    case TlsStartResult::kOk: return {};
    case TlsStartResult::kUnavailable:
      return "Conex\xE3o segura indispon\xEDvel: a biblioteca OpenSSL n\xE3o foi encontrada neste computador";
    case TlsStartResult::kSetupFailed:
      // The usual cause: an ARQCA file that is not a PEM certificate.
      return std::string(kFailed) + "n\xE3o consegui preparar a verifica\xE7\xE3o do certificado" +
             (Tls.detail.find("CA file") != std::string::npos ? " (o arquivo ARQCA n\xE3o \xE9 um certificado)" : "");
    case TlsStartResult::kNotTls:
      return std::string(kFailed) + "o servidor n\xE3o respondeu com TLS nesta porta";
    case TlsStartResult::kClosed:
      return std::string(kFailed) + "o servidor fechou a conex\xE3o durante a negocia\xE7\xE3o";
    case TlsStartResult::kGivenUp:
      return kConnectionCancelledText;
    case TlsStartResult::kTimedOut:
      return std::string(kFailed) + "o servidor n\xE3o completou a negocia\xE7\xE3o a tempo";
    case TlsStartResult::kCertificate:
      break;
  }
  switch (Tls.problem) {
    case TlsCertificateProblem::kExpired:
      return std::string(kRefused) + "o certificado do servidor expirou";
    case TlsCertificateProblem::kNotYetValid:
      return std::string(kRefused) + "o certificado do servidor ainda n\xE3o \xE9 v\xE1lido";
    case TlsCertificateProblem::kUnknownAuthority:
      return std::string(kRefused) + "o certificado do servidor n\xE3o vem de uma autoridade confi\xE1vel";
    case TlsCertificateProblem::kWrongName:
      return std::string(kRefused) + "o certificado \xE9 de outro servidor, n\xE3o deste nome";
    case TlsCertificateProblem::kNone:
    case TlsCertificateProblem::kOther:
      break;
  }
  return std::string(kRefused) + "o certificado do servidor n\xE3o p\xF4" "de ser verificado";
}

void InitTlsLayer() {
  SetTlsLibrary(OpenSslLibrary());
  Tls.report = [](const std::string& line) { ConsoleWriteLn(line); };
}

bool EscTyped() {
  while (KeyPressed()) {
    const uint8_t key = ReadKey();
    if (key == 0) {
      ReadKey();  // the second half of an extended key
    } else if (key == 27) {
      return true;
    }
  }
  return false;
}

int OpenServerConnection() {
  ServerAddress server;
  if (!ParseServerAddress(Client.ServerName, &server)) {
    WriteLnSpoken("Servidor inv\xE1lido: " + Client.ServerName);
    return -1;
  }
  // A bare host keeps the client's port (the plain IRC port unless changed).
  if (server.port_given) Client.ServerPort = server.port;
  std::string extra_ca;
  if (server.tls) {
    extra_ca = ReadSuiteSetting("FALATRO", "ARQCA");
    if (!extra_ca.empty()) extra_ca = FindFileNoCase(MapPath(extra_ca));
    // Said before anything connects: without it the server's certificate would only be "unknown".
    if (!extra_ca.empty() && !FileExists(extra_ca)) {
      TextColor(12);
      WriteLnSpoken(std::string(kFailed) + "o arquivo de certificados ARQCA n\xE3o existe: " + extra_ca);
      TextColor(15);
      return -1;
    }
  }
  // A server that takes no new connections (its backlog full) can keep the attempt waiting for
  // minutes, and one that never answers the TLS handshake for its whole time-out: Esc gives up.
  struct GiveUpWithEsc {
    GiveUpWithEsc() { Transport.give_up_connecting = EscTyped; }
    ~GiveUpWithEsc() { Transport.give_up_connecting = nullptr; }
  } esc;
  const int socket = OpenConnection(server.host, Client.ServerPort);
  if (socket <= 0) {
    if (Transport.connect_given_up) {
      WriteLnSpoken(kConnectionCancelledText);
    } else {
      SayPrompt("FTNCONS", 1);
    }
    return -1;
  }
  if (!server.tls) return socket;
  const TlsStartResult result = StartTls(socket, server.host, extra_ca);
  if (result == TlsStartResult::kOk) return socket;
  CloseConnection(socket);
  if (result == TlsStartResult::kGivenUp) {
    WriteLnSpoken(kConnectionCancelledText);
    return -1;
  }
  TextColor(12);
  WriteLnSpoken(TlsFailureText(result));
  TextColor(15);
  return -1;
}

}  // namespace falatro
