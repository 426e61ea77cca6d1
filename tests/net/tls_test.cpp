// The TLS layer's rules over a scripted library (retries, waits, reports, the handshake's outcomes),
// the server setting, and the real binding on a machine without the library.
#include "net/tls.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "base/event_loop.h"
#include "net/server_address.h"
#include "net/transport.h"
#include "platform/tls/openssl_library.h"

namespace falatro {
namespace {

// One answer of the library: the call's result and what GetError then says.
struct Step {
  int result;
  int error;
};

// A library that answers from scripts and counts its calls.
struct ScriptedLibrary : TlsLibrary {
  std::deque<Step> reads, peeks, writes, connects;
  int pending = 0;
  TlsCertificateProblem problem = TlsCertificateProblem::kNone;
  int last_error = 0;
  int read_calls = 0, peek_calls = 0, write_calls = 0, shutdowns = 0, frees = 0;
  int fake_ssl = 0;

  int Next(std::deque<Step>& script, int* calls) {
    ++*calls;
    Step s = script.empty() ? Step{-1, kTlsErrorWantRead} : script.front();
    if (script.size() > 1) script.pop_front();  // the last answer repeats
    last_error = s.error;
    return s.result;
  }
  bool Load() override { return true; }
  bool Unload() override { return true; }
  int Read(void*, void* buffer, int size) override {
    const int r = Next(reads, &read_calls);
    if (r > 0) memset(buffer, 'x', static_cast<size_t>(std::min(r, size)));
    return r;
  }
  int Peek(void*, void*, int) override { return Next(peeks, &peek_calls); }
  int Write(void*, const void*, int) override { return Next(writes, &write_calls); }
  int GetError(void*, int) override { return last_error; }
  int Pending(void*) override { return pending; }
  int Shutdown(void*) override { ++shutdowns; return 0; }
  void Free(void*) override { ++frees; }
  void* NewClient(int, const std::string&, const std::string&, std::string*) override { return &fake_ssl; }
  int Connect(void*) override {
    int calls = 0;
    return Next(connects, &calls);
  }
  TlsCertificateProblem CertificateProblem(void*) override { return problem; }
  std::string LastErrorText() override { return {}; }
};

class TlsLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Transport = TransportState{};
    Tls = TlsState{};
    SetLoopBackend(&clock_);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
    lib_ = std::make_unique<ScriptedLibrary>();
    Tls.library = lib_.get();
    Tls.report = [this](const std::string& line) { reports_.push_back(line); };
  }
  void TearDown() override {
    Tls = TlsState{};
    Transport = TransportState{};
    SetLoopBackend(nullptr);
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  // A TLS connection running on fds_[0] (the handshake answered at once).
  void Started() {
    lib_->connects = {{1, kTlsErrorNone}};
    ASSERT_EQ(StartTls(fds_[0], "irc.example", ""), TlsStartResult::kOk);
  }
  void PeerSends() { ASSERT_EQ(write(fds_[1], "z", 1), 1); }

  SimulatedBackend clock_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<ScriptedLibrary> lib_;
  std::vector<std::string> reports_;
};

TEST_F(TlsLayerTest, ReadRetriesAndReports) {
  struct Case {
    const char* what;
    std::vector<Step> reads;
    bool peer_sends;  // the socket turns readable while the library waits for more
    long expected;
    int calls;
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"data", {{5, kTlsErrorNone}}, false, 5, 1, {}},
      {"half a record: waits for the socket, then reads", {{-1, kTlsErrorWantRead}, {3, kTlsErrorNone}}, true, 3, 2, {}},
      {"half a record and a silent peer: gives up without spinning", {{-1, kTlsErrorWantRead}}, false, -1, 1, {}},
      {"the peer's close notice", {{0, kTlsErrorZeroReturn}}, false, -1, 1, {}},
      {"a dropped socket", {{-1, kTlsErrorSyscall}}, false, -1, 1, {}},
      {"a library error is reported", {{-1, kTlsErrorSsl}}, false, -1, 1, {"Erro SSL: 1"}},
  };
  for (const Case& c : cases) {
    Started();
    lib_->reads.assign(c.reads.begin(), c.reads.end());
    lib_->read_calls = 0;
    reports_.clear();
    if (c.peer_sends) PeerSends();
    const uint64_t start = NowMs();
    char buffer[16];
    errno = EAGAIN;  // as the library's own socket read may leave it
    EXPECT_EQ(NetRecv(fds_[0], buffer, sizeof buffer, 0), c.expected) << c.what;
    if (c.expected < 0) {
      EXPECT_NE(errno, EAGAIN) << c.what << ": a failure must not read as \"nothing yet\"";
    }
    EXPECT_EQ(lib_->read_calls, c.calls) << c.what;
    EXPECT_EQ(reports_, c.reports) << c.what;
    if (c.expected < 0 && c.calls == 1 && c.reads[0].error == kTlsErrorWantRead) {
      EXPECT_GE(NowMs() - start, static_cast<uint64_t>(Tls.stall_timeout_ms)) << c.what;
    }
    char drain[8];
    while (recv(fds_[0], drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
    TlsClose();
  }
}

TEST_F(TlsLayerTest, AFullReadLeavesTheBytePastTheBufferAlone) {
  Started();
  lib_->reads = {{4, kTlsErrorNone}};
  char buffer[5] = {0, 0, 0, 0, 'G'};
  EXPECT_EQ(TlsRead(buffer, 4), 4);
  EXPECT_EQ(buffer[4], 'G');
}

TEST_F(TlsLayerTest, WriteRetriesUntilTheSocketTakesIt) {
  struct Case { const char* what; std::vector<Step> writes; long expected; int calls; };
  const Case cases[] = {
      {"written", {{6, kTlsErrorNone}}, 6, 1},
      {"a full socket, then written", {{-1, kTlsErrorWantWrite}, {6, kTlsErrorNone}}, 6, 2},
      {"the library wants to read first", {{-1, kTlsErrorWantRead}, {6, kTlsErrorNone}}, 6, 2},
      {"an error", {{-1, kTlsErrorSsl}}, -1, 1},
  };
  for (const Case& c : cases) {
    Started();
    lib_->writes.assign(c.writes.begin(), c.writes.end());
    lib_->write_calls = 0;
    if (c.writes[0].error == kTlsErrorWantRead) PeerSends();
    EXPECT_EQ(NetSend(fds_[0], "PING x", 6, 0), c.expected) << c.what;
    EXPECT_EQ(lib_->write_calls, c.calls) << c.what;
    EXPECT_TRUE(reports_.empty()) << c.what;
    TlsClose();
  }
}

TEST_F(TlsLayerTest, DataWaitingCountsWholeRecordsOnly) {
  struct Case { const char* what; int pending; bool socket_bytes; Step peek; bool expected; int peeks; };
  const Case cases[] = {
      {"decrypted bytes held by the library", 7, false, {-1, kTlsErrorWantRead}, true, 0},
      {"nothing anywhere", 0, false, {-1, kTlsErrorWantRead}, false, 0},
      {"a whole record on the socket", 0, true, {1, kTlsErrorNone}, true, 1},
      {"half a record, or the library's own messages", 0, true, {-1, kTlsErrorWantRead}, false, 2},
      {"the peer's close notice is worth reading", 0, true, {0, kTlsErrorZeroReturn}, true, 1},
  };
  for (const Case& c : cases) {
    Started();
    lib_->pending = c.pending;
    lib_->peeks = {c.peek};
    lib_->peek_calls = 0;
    if (c.socket_bytes) PeerSends();
    EXPECT_EQ(DataWaiting(fds_[0]), c.expected) << c.what;
    EXPECT_EQ(lib_->peek_calls, c.peeks) << c.what;
    char drain[8];
    while (recv(fds_[0], drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
    TlsClose();
  }
}

TEST_F(TlsLayerTest, HandshakeOutcomes) {
  struct Case {
    const char* what;
    std::vector<Step> connects;
    TlsCertificateProblem problem;
    TlsStartResult expected;
  };
  const Case cases[] = {
      {"done after a wait", {{-1, kTlsErrorWantRead}, {1, kTlsErrorNone}}, TlsCertificateProblem::kNone, TlsStartResult::kOk},
      {"a refused certificate", {{-1, kTlsErrorSsl}}, TlsCertificateProblem::kExpired, TlsStartResult::kCertificate},
      {"not a TLS server", {{-1, kTlsErrorSsl}}, TlsCertificateProblem::kNone, TlsStartResult::kNotTls},
      {"closed during the handshake", {{-1, kTlsErrorSyscall}}, TlsCertificateProblem::kNone, TlsStartResult::kClosed},
      {"a silent server", {{-1, kTlsErrorWantRead}}, TlsCertificateProblem::kNone, TlsStartResult::kTimedOut},
  };
  for (const Case& c : cases) {
    lib_->connects.assign(c.connects.begin(), c.connects.end());
    lib_->problem = c.problem;
    lib_->frees = 0;
    if (c.connects.size() > 1) PeerSends();
    const uint64_t start = NowMs();
    EXPECT_EQ(StartTls(fds_[0], "irc.example", ""), c.expected) << c.what;
    EXPECT_EQ(Tls.active, c.expected == TlsStartResult::kOk) << c.what;
    EXPECT_EQ(Transport.tls_socket, c.expected == TlsStartResult::kOk ? fds_[0] : -1) << c.what;
    EXPECT_EQ(lib_->frees, c.expected == TlsStartResult::kOk ? 0 : 1) << c.what;
    if (c.expected == TlsStartResult::kTimedOut) {
      EXPECT_GE(NowMs() - start, static_cast<uint64_t>(Tls.handshake_timeout_ms)) << c.what;
    }
    if (c.expected == TlsStartResult::kCertificate) {
      EXPECT_EQ(Tls.problem, c.problem) << c.what;
    }
    if (Tls.active) {
      // Closing the socket ends the TLS connection first.
      const int dup_fd = dup(fds_[0]);
      CloseConnection(fds_[0]);
      fds_[0] = dup_fd;
      EXPECT_EQ(lib_->shutdowns, 1) << c.what;
      EXPECT_FALSE(Tls.active) << c.what;
      EXPECT_EQ(Transport.tls_socket, -1) << c.what;
    }
    char drain[8];
    while (recv(fds_[0], drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
  }
  // The user gives up waiting for a silent server (Esc while connecting): at once, not at the time-out.
  lib_->connects.assign({{-1, kTlsErrorWantRead}});
  lib_->frees = 0;
  bool esc = false;
  AddTimer(500, [&] { esc = true; });
  Transport.give_up_connecting = [&] { return esc; };
  const uint64_t start = NowMs();
  EXPECT_EQ(StartTls(fds_[0], "irc.example", ""), TlsStartResult::kGivenUp);
  EXPECT_LT(NowMs() - start, 1000u);
  EXPECT_FALSE(Tls.active);
  EXPECT_EQ(lib_->frees, 1);
  Transport.give_up_connecting = nullptr;
}

TEST(TlsLibraryMissing, EveryCallAnswersItsFixedValue) {
  TlsLibrary* lib = OpenSslLibrary();
  lib->Unload();
  SetOpenSslDirectory("/nonexistent/falatro-no-openssl");
  Tls = TlsState{};
  SetTlsLibrary(lib);
  int dummy = 0;
  char buffer[4];
  EXPECT_FALSE(LoadTlsLibraries());
  EXPECT_EQ(lib->GetError(&dummy, -1), 1);
  EXPECT_EQ(lib->Read(&dummy, buffer, 4), -1);
  EXPECT_EQ(lib->Peek(&dummy, buffer, 4), -1);
  EXPECT_EQ(lib->Write(&dummy, buffer, 4), -1);
  EXPECT_EQ(lib->Shutdown(&dummy), -1);
  EXPECT_EQ(lib->Pending(&dummy), 0);
  EXPECT_EQ(lib->Connect(&dummy), -1);
  lib->Free(&dummy);
  EXPECT_EQ(StartTls(0, "irc.example", ""), TlsStartResult::kUnavailable);
  EXPECT_EQ(OpenSslFileName(false), "");
  SetOpenSslDirectory("");
  EXPECT_TRUE(LoadTlsLibraries()) << "the system's library loads again";
  EXPECT_NE(OpenSslFileName(false).find("libssl"), std::string::npos);
  EXPECT_TRUE(UnloadTlsLibraries());
  Tls = TlsState{};
}

TEST(ServerSetting, Forms) {
  struct Case { const char* what; const char* text; bool ok; const char* host; uint16_t port; bool tls; };
  const Case cases[] = {
      {"bare host keeps the plain port", "irc.example.net", true, "irc.example.net", 6667, false},
      {"host and port", "irc.example.net:7000", true, "irc.example.net", 7000, false},
      {"plus means TLS", "irc.example.net:+6697", true, "irc.example.net", 6697, true},
      {"blanks around", "  10.0.0.1:+6697 ", true, "10.0.0.1", 6697, true},
      {"IPv6 in brackets with TLS", "[::1]:+6697", true, "::1", 6697, true},
      {"IPv6 in brackets, no port", "[2001:db8::5]", true, "2001:db8::5", 6667, false},
      {"bare IPv6 takes no port", "2001:db8::5", true, "2001:db8::5", 6667, false},
      {"empty", "", false, "", 0, false},
      {"no host", ":6667", false, "", 0, false},
      {"plus without a port", "irc.example.net:+", false, "", 0, false},
      {"empty port", "irc.example.net:", false, "", 0, false},
      {"port 0", "irc.example.net:0", false, "", 0, false},
      {"port too big", "irc.example.net:+65536", false, "", 0, false},
      {"letters in the port", "irc.example.net:66a7", false, "", 0, false},
      {"unclosed bracket", "[::1:+6697", false, "", 0, false},
      {"text after the bracket", "[::1]x", false, "", 0, false},
  };
  for (const Case& c : cases) {
    ServerAddress a;
    ASSERT_EQ(ParseServerAddress(c.text, &a), c.ok) << c.what;
    if (!c.ok) continue;
    EXPECT_EQ(a.host, c.host) << c.what;
    EXPECT_EQ(a.port, c.port) << c.what;
    EXPECT_EQ(a.tls, c.tls) << c.what;
  }
}

}  // namespace
}  // namespace falatro
