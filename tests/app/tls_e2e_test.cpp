// The client over TLS against Debian's ngircd with certificates the fixture makes: a conversation,
// connections by address, name and IPv6, every refusal (with nothing sent before it), and the
// program on a machine without the TLS library.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "app/channel.h"
#include "app/channel_list.h"
#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "app/server_connection.h"
#include "app/server_link.h"
#include "client_e2e_fixture.h"
#include "console/nxcrt.h"
#include "net/tls.h"
#include "net/transport.h"
#include "platform/tls/openssl_library.h"
#include "tls_fixture.h"

namespace falatro {
namespace {

using apptest::IrcPeer;
using apptest::RawRecorder;
using apptest::TestCertificates;
using apptest::TlsIrcServer;

class TlsEndToEnd : public apptest::ClientEndToEnd {
 protected:
  void SetUp() override {
    ClientEndToEnd::SetUp();
    if (HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(certs_.Make(root_ + "/certs", &error)) << error;
    WriteIni("[FALATRO]\r\nARQCA=" + certs_.ca + "\r\n");
    StartSpeech();
    InitTlsLayer();
    Tls.handshake_timeout_ms = 3000;
    Client.Nickname = "cliente";
    Client.Password = "senha";
    KeepPumping(&amigo_);
  }
  void TearDown() override {
    if (Client.ServerSocket > 0) CloseConnection(Client.ServerSocket);
    Client.ServerSocket = 0;
    amigo_.Close();
    server_.Stop();
    SetOpenSslDirectory("");
    UnloadTlsLibraries();
    Tls = TlsState{};
    unsetenv("SSL_CERT_FILE");
    ClientEndToEnd::TearDown();
  }
  std::string FailureLog() const override { return "\nserver log:\n" + server_.Log(); }

  void StartServer(const std::string& cert) {
    ASSERT_TRUE(server_.Start(root_, cert, certs_.key, certs_.dh, "senha", 5)) << server_.Log();
  }
  std::string TlsServer(const std::string& host) {
    return host + ":+" + std::to_string(server_.tls_port());
  }
  // Keeps every byte the client sends through TLS, as written before encryption.
  void RecordPlainText() {
    auto inner = Transport.tls_send;
    Transport.tls_send = [this, inner](const void* data, size_t n) {
      sent_.append(static_cast<const char*>(data), n);
      return inner(data, n);
    };
  }

  TestCertificates certs_;
  TlsIrcServer server_;
  IrcPeer amigo_;
  std::string sent_;
};

TEST_F(TlsEndToEnd, LoginPongChannelKickListAndDrop) {
  StartServer(certs_.good);
  ASSERT_TRUE(amigo_.Login("127.0.0.1", server_.plain_port(), "amigo", "senha"));
  amigo_.Join("#sala");
  ASSERT_TRUE(amigo_.WaitFor(" 366 ", 5000));
  Client.ServerName = TlsServer("127.0.0.1");
  ConnectToServer();
  ASSERT_GT(Client.ServerSocket, 0) << Screen() << server_.Log();
  EXPECT_TRUE(Tls.active);
  EXPECT_TRUE(ScreenHas("Bem-vindo ao servidor seguro")) << "the welcome came through TLS";
  RecordPlainText();

  // The server pings the idle client after 5 s; the channel is joined meanwhile.
  Then("in the channel", [&] { return Client.InChannel && amigo_.Saw(":cliente!"); },
       [&] { amigo_.Privmsg("#sala", "oi pelo canal seguro"); });
  Then("amigo's message said", [&] { return WasShown("amigo. oi pelo canal seguro"); }, [] { Type("ola\r"); });
  Then("the typed line arrived", [&] { return amigo_.Saw("PRIVMSG #sala :ola"); });
  Then("the server's PING answered", [&] { return sent_.find("PONG :irc.falatro.test") != std::string::npos; },
       [&] { amigo_.Send("KICK #sala cliente :fora"); }, 15000);
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_TRUE(WasShown("Voc\xEA foi expulso do canal"));
  EXPECT_GT(Client.ServerSocket, 0);

  // The channel list, over the same connection.
  script_.steps.clear();
  Then("browsing", [&] { return ScreenHas("do mesmo."); }, [] { Type("\x1b"); });
  Type("\r");
  EXPECT_TRUE(RunScript([] { BrowseChannelList(); }));
  EXPECT_EQ(ChannelBrowser.Count, 2) << "&SERVER and #sala";
  EXPECT_NE(sent_.find("LIST \r\n"), std::string::npos) << sent_;

  // The server goes away: the reader sees the end of the TLS stream.
  server_.Stop();
  std::string line;
  int lines = 0;
  while (ReadServerLine(&line, 5) && lines < 50) ++lines;  // its last words, then the end
  EXPECT_LT(lines, 50);
  ConnectionLost();
  EXPECT_TRUE(ScreenHas("Conex\xE3o remota caiu"));
  EXPECT_FALSE(Tls.active) << "closing the socket ended the TLS connection";
  EXPECT_EQ(sent_.find("senha"), std::string::npos) << "the login went before the recording";
}

TEST_F(TlsEndToEnd, AListOfMoreThan5000ChannelsLogsInAgainOverTls) {
  StartServer(certs_.good);
  IrcPeer criador;
  ASSERT_TRUE(criador.Login("127.0.0.1", server_.plain_port(), "criador", "senha"));
  ASSERT_TRUE(criador.JoinNumberedChannels(5001));
  Client.ServerName = TlsServer("localhost");
  ConnectToServer();
  ASSERT_GT(Client.ServerSocket, 0) << Screen();
  Then("browsing", [&] { return ScreenHas("do mesmo."); }, [] { Type("\x1b"); }, 30000);
  Type("\r");
  EXPECT_TRUE(RunScript([] { BrowseChannelList(); }));
  EXPECT_EQ(ChannelBrowser.Count, 5000);
  EXPECT_GT(Client.ServerSocket, 0);
  EXPECT_TRUE(Tls.active) << "the new login is a TLS one again";
  EXPECT_EQ(Tls.socket, Client.ServerSocket);
  const std::string log = server_.Log();
  int tls_logins = 0;
  for (size_t at = 0; (at = log.find("initialized TLS", at)) != std::string::npos; ++at) ++tls_logins;
  EXPECT_EQ(tls_logins, 2) << log;
}

TEST_F(TlsEndToEnd, ConnectsByAddressNameAndIpv6) {
  StartServer(certs_.good);
  struct Case { const char* what; std::string server; bool system_store; };
  const Case cases[] = {
      {"IPv4 address", TlsServer("127.0.0.1"), false},
      {"name, sent as SNI and checked against the certificate", TlsServer("localhost"), false},
      {"IPv6 address in brackets", TlsServer("[::1]"), false},
      {"the CA from SSL_CERT_FILE instead of the setting", TlsServer("127.0.0.1"), true},
  };
  for (const Case& c : cases) {
    if (c.system_store) {
      WriteIni();
      setenv("SSL_CERT_FILE", certs_.ca.c_str(), 1);
    }
    Client.ServerName = c.server;
    ClrScr();
    ConnectToServer();
    EXPECT_GT(Client.ServerSocket, 0) << c.what << "\n" << Screen();
    EXPECT_TRUE(Tls.active) << c.what;
    EXPECT_FALSE(Client.LocalAddress.empty()) << c.what;
    if (Client.ServerSocket > 0) CloseConnection(Client.ServerSocket);
    Client.ServerSocket = 0;
  }
}

TEST_F(TlsEndToEnd, RefusalsSendNothing) {
  struct Case {
    const char* what;
    std::string cert;      // "" : no TLS server (see plain)
    bool plain;            // the recorder passes the bytes to the plain port
    std::string expected;  // said and shown
  };
  const Case cases[] = {
      {"a certificate for another name", certs_.wrong_name, false, "o certificado \xE9 de outro servidor"},
      {"an expired certificate", certs_.expired, false, "o certificado do servidor expirou"},
      {"a certificate from an unknown CA", certs_.unknown_ca, false, "n\xE3o vem de uma autoridade"},
      {"plain text on the TLS port", certs_.good, true, "Conex\xE3o segura falhou"},
      {"a handshake that stalls", "", false, "n\xE3o completou a negocia\xE7\xE3o a tempo"},
  };
  for (const Case& c : cases) {
    uint16_t target = 0;
    if (!c.cert.empty()) {
      StartServer(c.cert);
      target = c.plain ? server_.plain_port() : server_.tls_port();
    }
    RawRecorder recorder;
    ASSERT_TRUE(recorder.Start(target));
    Transport.send_calls = 0;
    ClrScr();
    Client.ServerName = "127.0.0.1:+" + std::to_string(recorder.port());
    ConnectToServer();
    EXPECT_EQ(Client.ServerSocket, 0) << c.what;
    EXPECT_TRUE(ScreenHas(c.expected)) << c.what << "\n" << Screen();
    EXPECT_EQ(Transport.send_calls, 0u) << c.what << ": nothing goes through the send path";
    const std::string arrived = recorder.Received();
    ASSERT_FALSE(arrived.empty()) << c.what << ": the handshake began";
    EXPECT_EQ(arrived[0], '\x16') << c.what << ": only a TLS handshake came";
    for (const char* secret : {"senha", "pass", "nick", "USER", "IDENTIFY"})
      EXPECT_EQ(arrived.find(secret), std::string::npos) << c.what << ": " << secret;
    EXPECT_FALSE(Tls.active) << c.what;
    server_.Stop();
  }
}

TEST_F(TlsEndToEnd, ABadCaFileIsSaidAndNothingIsSent) {
  StartServer(certs_.good);
  struct Case { const char* what; std::string arqca; std::string expected; int connections; };
  const Case cases[] = {
      {"missing", root_ + "/nao-existe.pem", "o arquivo de certificados ARQCA n\xE3o existe", 0},
      {"not a certificate", certs_.key, "ARQCA n\xE3o \xE9 um certificado", 1},
  };
  for (const Case& c : cases) {
    WriteIni("[FALATRO]\r\nARQCA=" + c.arqca + "\r\n");
    RawRecorder recorder;
    ASSERT_TRUE(recorder.Start(server_.tls_port()));
    ClrScr();
    Client.ServerName = "127.0.0.1:+" + std::to_string(recorder.port());
    ConnectToServer();
    EXPECT_EQ(Client.ServerSocket, 0) << c.what;
    EXPECT_TRUE(ScreenHas(c.expected)) << c.what << "\n" << Screen();
    EXPECT_EQ(recorder.Received(), "") << c.what;
    EXPECT_EQ(recorder.accepted(), c.connections) << c.what;
  }
}

TEST_F(TlsEndToEnd, WithoutTheLibraryPlainConnectionsStillWork) {
  StartServer(certs_.good);
  UnloadTlsLibraries();
  SetOpenSslDirectory(root_ + "/sem-openssl");
  RawRecorder recorder;
  ASSERT_TRUE(recorder.Start(server_.tls_port()));
  Client.ServerName = "127.0.0.1:+" + std::to_string(recorder.port());
  ConnectToServer();
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_TRUE(ScreenHas("Conex\xE3o segura indispon\xEDvel")) << Screen();
  EXPECT_EQ(recorder.Received(), "") << "not a byte was sent";
  EXPECT_FALSE(LoadTlsLibraries());

  Client.ServerName = "127.0.0.1:" + std::to_string(server_.plain_port());
  ConnectToServer();
  EXPECT_GT(Client.ServerSocket, 0) << Screen();
  EXPECT_FALSE(Tls.active);
}

}  // namespace
}  // namespace falatro
