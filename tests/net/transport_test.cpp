// Tests of the socket transport over loopback: framing, time-outs, sends, the TLS routing.
#include "net/transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/event_loop.h"
#include "loopback_socket.h"

namespace falatro {
namespace {

// A listening loopback socket on a free port, and the server end of one accepted connection.
struct LoopbackPeer {
  int listener = -1;
  int peer = -1;
  uint16_t port = 0;

  LoopbackPeer() {
    listener = testsupport::ListenTcp("127.0.0.1", 0, 4);
    port = testsupport::BoundPort(listener);
  }
  ~LoopbackPeer() {
    if (peer >= 0) close(peer);
    if (listener >= 0) close(listener);
  }
  int Accept() { return peer = accept(listener, nullptr, nullptr); }
  void Send(const std::string& bytes) { ASSERT_EQ(send(peer, bytes.data(), bytes.size(), 0), (ssize_t)bytes.size()); }
  std::string ReadAvailable() {
    std::string out;
    char buf[4096];
    for (;;) {
      timeval tv{0, 100000};
      fd_set set;
      FD_ZERO(&set);
      FD_SET(peer, &set);
      if (select(peer + 1, &set, nullptr, nullptr, &tv) <= 0) break;
      ssize_t n = recv(peer, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, n);
    }
    return out;
  }
  void ClosePeer() {
    close(peer);
    peer = -1;
  }
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Transport = TransportState{};
    StartNetwork();
    SetLoopBackend(&clock_);
  }
  void TearDown() override {
    if (client_ > 0) CloseConnection(client_);
    SetLoopBackend(nullptr);
    Transport = TransportState{};
  }
  void Connect() {
    client_ = OpenConnection("127.0.0.1", server_.port);
    ASSERT_GT(client_, 0);
    ASSERT_GE(server_.Accept(), 0);
  }
  SimulatedBackend clock_;
  LoopbackPeer server_;
  int client_ = -1;
};

TEST(NetworkTimeoutSetting, ParsesTheSuiteValue) {
  struct Case { const char* what; const char* text; int32_t expected; };
  const Case cases[] = {
      {"plain number", "50000", 50000},
      {"blanks around it", "  7000 ", 7000},
      {"letters fall back", "abc", kDefaultNetworkTimeout},
      {"digits then letters fall back", "500x", kDefaultNetworkTimeout},
      {"empty falls back", "", kDefaultNetworkTimeout},
      {"sign alone falls back", "-", kDefaultNetworkTimeout},
      {"negative is no wait", "-5", 0},
      {"explicit plus", "+30", 30},
      {"overflow falls back", "99999999999", kDefaultNetworkTimeout},
      {"zero", "0", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseNetworkTimeout(c.text), c.expected) << c.what;
}

TEST(ResolveHostTest, AddressesAndRefusals) {
  struct Case { const char* what; std::string host; uint32_t expected; };
  const Case cases[] = {
      {"dotted address", "127.0.0.5", inet_addr("127.0.0.5")},
      {"name from the hosts file", "localhost", inet_addr("127.0.0.1")},
      {"leading digit is never looked up by name", "1localhost", inet_addr("1localhost")},
      {"empty text", "", 0},
      {"129 characters are refused", std::string(129, 'a'), 0},
      {"128-digit text is still taken as an address", std::string(128, '1'), inet_addr(std::string(128, '1').c_str())},
      {"NUL inside is refused", std::string("local\0host", 10), 0},
  };
  for (const Case& c : cases) {
    const std::vector<NetAddress> found = ResolveHost(c.host);
    EXPECT_EQ(found.empty() ? 0u : found[0].Ipv4(), c.expected) << c.what;
  }
}

TEST_F(TransportTest, OpenConnectionReadsTheTimeoutSetting) {
  struct Case { const char* what; const char* setting; bool installed; int32_t expected; };
  const Case cases[] = {
      {"no reader installed", "", false, kDefaultNetworkTimeout},
      {"empty setting", "", true, kDefaultNetworkTimeout},
      {"50 ms", "50000", true, 50000},
      {"letters", "depressa", true, kDefaultNetworkTimeout},
  };
  for (const Case& c : cases) {
    Transport.NetworkTimeout = 1;
    Transport.timeout_setting = nullptr;
    if (c.installed) Transport.timeout_setting = [&] { return std::string(c.setting); };
    int s = OpenConnection("127.0.0.1", server_.port);
    ASSERT_GT(s, 2) << c.what;
    EXPECT_EQ(Transport.NetworkTimeout, c.expected) << c.what;
    // Connected without blocking, handed over blocking, and small lines are not held back.
    EXPECT_EQ(fcntl(s, F_GETFL) & O_NONBLOCK, 0) << c.what;
    int nodelay = 0;
    socklen_t size = sizeof nodelay;
    EXPECT_EQ(getsockopt(s, IPPROTO_TCP, TCP_NODELAY, &nodelay, &size), 0);
    EXPECT_EQ(nodelay, 1) << c.what;
    EXPECT_EQ(LocalAddressText(s), "127.0.0.1") << c.what;
    CloseConnection(s);
    close(accept(server_.listener, nullptr, nullptr));
  }
}

TEST_F(TransportTest, OpenConnectionFailures) {
  LoopbackPeer closed;
  const uint16_t dead_port = closed.port;
  close(closed.listener);
  closed.listener = -1;
  EXPECT_EQ(OpenConnection("127.0.0.1", dead_port), -1) << "refused";
  EXPECT_EQ(OpenConnection("", server_.port), -1) << "empty host";
  EXPECT_EQ(OpenConnection(std::string(200, 'x'), server_.port), -1) << "overlong host";
}

TEST_F(TransportTest, DataWaitingWaitsTheNetworkTimeout) {
  Connect();
  struct Case { int32_t timeout_us; uint64_t expected_ms; };
  for (Case c : {Case{50000, 50}, Case{20000, 20}, Case{1500, 2}, Case{0, 0}}) {
    Transport.NetworkTimeout = c.timeout_us;
    uint64_t start = NowMs();
    EXPECT_FALSE(DataWaiting(client_));
    EXPECT_EQ(NowMs() - start, c.expected_ms) << c.timeout_us;
  }
  server_.Send("x");
  usleep(20000);
  EXPECT_TRUE(DataWaiting(client_));
}

TEST_F(TransportTest, DataWaitingHandlesPendingMessages) {
  Connect();
  int handled = 0;
  SetMessageHandler([&](const Message&) { ++handled; });
  Message wake;
  wake.kind = kMsgWake;
  PostMessage(wake);
  EXPECT_FALSE(DataWaiting(client_));
  EXPECT_EQ(handled, 1);
  SetMessageHandler(nullptr);
}

TEST_F(TransportTest, SendLineFramesAndNeverInjects) {
  Connect();
  struct Case { const char* what; std::string text; std::string wire; };
  const Case cases[] = {
      {"plain line", "nick joao", "nick joao\r\n"},
      {"empty line", "", "\r\n"},
      {"CR LF inside becomes blanks", "PRIVMSG #a :oi\r\nQUIT", "PRIVMSG #a :oi  QUIT\r\n"},
      {"NUL inside becomes a blank", std::string("a\0b", 3), "a b\r\n"},
      {"bytes above 127 pass", "ol\xE1", "ol\xE1\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SendLine(client_, c.text)) << c.what;
    EXPECT_EQ(server_.ReadAvailable(), c.wire) << c.what;
  }
  server_.ClosePeer();
  usleep(20000);
  // The first send after a close may still be accepted by the system; a later one fails.
  bool failed = false;
  for (int i = 0; i < 5 && !failed; ++i) failed = !SendLine(client_, "ping");
  EXPECT_TRUE(failed);
}

TEST_F(TransportTest, ReceiveLineFraming) {
  struct Case { const char* what; std::string bytes; std::vector<std::string> lines; };
  const Case cases[] = {
      {"CR LF ending", "PING :x\r\n", {"PING :x"}},
      {"LF alone", "PING :x\n", {"PING :x"}},
      {"CR inside stays", "a\rb\r\n", {"a\rb"}},
      {"lone CR line", "\r\n", {""}},
      {"empty line", "\n", {""}},
      {"three lines", "um\r\ndois\nres\r\n", {"um", "dois", "res"}},
      {"high bytes and NUL kept", std::string("\xE7\0z\n", 4), {std::string("\xE7\0z", 3)}},
  };
  for (const Case& c : cases) {
    LoopbackPeer server;
    int s = OpenConnection("127.0.0.1", server.port);
    ASSERT_GT(s, 0);
    server.Accept();
    server.Send(c.bytes);
    auto reader = NewLineReader(s);
    for (const std::string& want : c.lines) {
      std::string got;
      ASSERT_TRUE(ReceiveLine(reader.get(), &got, 5)) << c.what;
      EXPECT_EQ(got, want) << c.what;
    }
    CloseConnection(s);
  }
}

TEST_F(TransportTest, ThreeLinesInOneSegmentTakeOneReceive) {
  Connect();
  server_.Send(":a PRIVMSG #c :1\r\n:a PRIVMSG #c :2\r\n:a PRIVMSG #c :3\r\n");
  usleep(20000);
  auto reader = NewLineReader(client_);
  EXPECT_EQ(reader->readPos, kReaderBufferSize);
  EXPECT_EQ(reader->fill, 0);
  const uint64_t before = Transport.recv_calls;
  std::string line;
  for (const char* want : {":a PRIVMSG #c :1", ":a PRIVMSG #c :2", ":a PRIVMSG #c :3"}) {
    ASSERT_TRUE(ReceiveLine(reader.get(), &line, 1));
    EXPECT_EQ(line, want);
  }
  EXPECT_EQ(Transport.recv_calls - before, 1u);
}

TEST_F(TransportTest, OverlongLineKeepsItsStartAndTheNextLineIsWhole) {
  Connect();
  Transport.line_bound = 1000;
  std::string big = "A" + std::string(5000, 'b') + "\r";
  auto reader = NewLineReader(client_);
  server_.Send(big + "\r\nnext\r\n");
  std::string line;
  ASSERT_TRUE(ReceiveLine(reader.get(), &line, 5));
  EXPECT_EQ(line.size(), 1000u);
  EXPECT_EQ(line, big.substr(0, 1000));
  ASSERT_TRUE(ReceiveLine(reader.get(), &line, 5));
  EXPECT_EQ(line, "next");
}

TEST_F(TransportTest, DefaultBoundHoldsSixteenKilobytes) {
  Connect();
  auto reader = NewLineReader(client_);
  std::string big(100000, 'x');
  std::thread writer([&] { server_.Send(big + "\n"); });
  std::string line;
  // No limit: on the simulated clock gaps in the writer's real-time flow would count as idle steps.
  const bool ok = ReceiveLine(reader.get(), &line, 0);
  writer.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(line.size(), kDefaultLineBound);
}

TEST_F(TransportTest, ReceiveLineEndings) {
  struct Case { const char* what; std::string bytes; bool close_peer; };
  const Case cases[] = {
      {"peer closes at once", "", true},
      {"incomplete line then close", "meia linha", true},
  };
  for (const Case& c : cases) {
    LoopbackPeer server;
    int s = OpenConnection("127.0.0.1", server.port);
    server.Accept();
    if (!c.bytes.empty()) server.Send(c.bytes);
    if (c.close_peer) server.ClosePeer();
    auto reader = NewLineReader(s);
    std::string line = "old";
    EXPECT_FALSE(ReceiveLine(reader.get(), &line, 5)) << c.what;
    EXPECT_EQ(line, "") << c.what;
    EXPECT_LE(reader->fill, 0) << c.what;
    CloseConnection(s);
  }
}

TEST_F(TransportTest, SilentConnectionTimesOutAfterItsIdleSteps) {
  Connect();
  auto reader = NewLineReader(client_);
  std::string line;
  const uint64_t start = NowMs();
  EXPECT_FALSE(ReceiveLine(reader.get(), &line, 15));
  // 151 idle steps of 100 ms each.
  EXPECT_EQ(NowMs() - start, 151u * 100u);
}

TEST_F(TransportTest, NoReaderGivesFalse) {
  uint8_t b = 7;
  std::string line;
  EXPECT_FALSE(ReaderGetByte(nullptr, &b));
  EXPECT_EQ(b, 0);
  EXPECT_FALSE(ReaderHasData(nullptr));
  EXPECT_FALSE(ReceiveLine(nullptr, &line, 1));
}

TEST_F(TransportTest, TlsConnectionCarriesEveryByte) {
  Connect();
  std::string sent;
  std::string to_read = "PING :tls\r\n";
  bool closed = false;
  Transport.tls_socket = client_;
  Transport.tls_pending = [&] { return !to_read.empty(); };
  Transport.tls_send = [&](const void* d, size_t n) {
    sent.append(static_cast<const char*>(d), n);
    return static_cast<long>(n);
  };
  Transport.tls_recv = [&](void* d, size_t n) {
    size_t k = std::min(n, to_read.size());
    memcpy(d, to_read.data(), k);
    to_read.erase(0, k);
    return static_cast<long>(k);
  };
  Transport.tls_close = [&] { closed = true; };
  EXPECT_TRUE(DataWaiting(client_));
  auto reader = NewLineReader(client_);
  std::string line;
  ASSERT_TRUE(ReceiveLine(reader.get(), &line, 1));
  EXPECT_EQ(line, "PING :tls");
  EXPECT_TRUE(SendLine(client_, "PONG 1.2.3.4"));
  EXPECT_EQ(sent, "PONG 1.2.3.4\r\n");
  EXPECT_EQ(server_.ReadAvailable(), "") << "nothing may bypass the TLS layer";
  CloseConnection(client_);
  client_ = -1;
  EXPECT_TRUE(closed);
  EXPECT_EQ(Transport.tls_socket, -1);
}

TEST_F(TransportTest, CloseConnectionLeavesNoConnectionAlone) {
  CloseConnection(0);
  CloseConnection(-1);
  EXPECT_NE(fcntl(0, F_GETFD), -1) << "standard input must stay open";
}

}  // namespace
}  // namespace falatro
