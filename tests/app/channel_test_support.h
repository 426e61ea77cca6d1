// Scaffolding shared by the channel's tests on a simulated clock: a connection whose server end the
// test holds, keys typed at given times, and what the client sent.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/server_link.h"
#include "app_fixture.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "net/transport.h"

namespace falatro::apptest {

class ChannelFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    Channel = ChannelState{};
    StartSpeech();
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair_), 0);
    Client.ServerSocket = pair_[0];
    StartServerReading(pair_[0]);
    Client.LocalAddress = "127.0.0.9";
    Client.Nickname = "eu";
  }
  void TearDown() override {
    if (Client.ServerSocket == pair_[0]) Client.ServerSocket = 0;
    if (pair_[0] >= 0) close(pair_[0]);
    if (pair_[1] >= 0) close(pair_[1]);
    Channel = ChannelState{};
    AppFixture::TearDown();
  }
  // Types keys as AppFixture::TypeAt does; the scripted server then answers the PINGs the client sends
  // after its lines, as a real server does, until no line of the client waits for its answer.
  void TypeAt(uint64_t at_ms, const std::string& bytes) {
    AppFixture::TypeAt(at_ms, bytes);
    const uint64_t after = at_ms + 10 * bytes.size() + 50;
    AddTimer(after > sim_.now ? after - sim_.now : 0, [this] { AnswerPings(); });
  }
  void AnswerPings() {
    SentLines();
    for (; answered_ < pings_.size(); ++answered_) ServerSends(":srv PONG srv :" + pings_[answered_] + "\r\n");
    if (!Channel.Awaited.empty() && pair_[1] >= 0) AddTimer(50, [this] { AnswerPings(); });
  }
  // An extended key (0 and its code).
  static std::string Ext(uint8_t code) { return std::string(1, '\0') + static_cast<char>(code); }
  void ServerSends(const std::string& bytes) {
    ASSERT_EQ(write(pair_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // The server sends bytes when the simulated clock reaches at_ms.
  void ServerSendsAt(uint64_t at_ms, const std::string& bytes) {
    AddTimer(at_ms > sim_.now ? at_ms - sim_.now : 0, [this, bytes] { ServerSends(bytes); });
  }
  // The server end closes at at_ms.
  void ServerClosesAt(uint64_t at_ms) {
    AddTimer(at_ms - sim_.now, [this] {
      close(pair_[1]);
      pair_[1] = -1;
    });
  }
  // Every line the client sent so far (without CR LF), but the PINGs that ask for the outcome of a
  // line (kept in pings_).
  std::vector<std::string> SentLines() {
    char buf[4096];
    ssize_t n;
    while (pair_[1] >= 0 && (n = recv(pair_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) received_.append(buf, n);
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t nl = received_.find("\r\n"); nl != std::string::npos; nl = received_.find("\r\n", at)) {
      std::string line = received_.substr(at, nl - at);
      at = nl + 2;
      if (line.rfind("PING :", 0) == 0) {
        const std::string token = line.substr(6);
        if (std::find(pings_.begin(), pings_.end(), token) == pings_.end()) pings_.push_back(token);
        continue;
      }
      lines.push_back(std::move(line));
    }
    return lines;
  }
  // Joins "sala" with the server's answer to the JOIN already waiting; returns when the loop ends.
  void JoinSala() {
    ServerSends(":eu!u@h JOIN :#sala\r\n");
    JoinChannel("sala");
  }
  int Count(const std::string& text) const {
    const std::string s = Screen();
    int n = 0;
    for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1)) ++n;
    return n;
  }
  // Index of text on the screen (npos when absent), from the top.
  size_t Where(const std::string& text) const { return Screen().find(text); }

  int pair_[2] = {-1, -1};
  std::string received_;
  std::vector<std::string> pings_;  // tokens of the PINGs the client sent, in order
  size_t answered_ = 0;             // how many of them the server answered
};

}  // namespace falatro::apptest
