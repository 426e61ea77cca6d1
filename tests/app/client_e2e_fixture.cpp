// What the end-to-end runs of the client share.
#include "client_e2e_fixture.h"

#include <algorithm>

#include "app/channel.h"
#include "app/channel_list.h"
#include "app/client_state.h"
#include "app/login.h"
#include "base/event_loop.h"
#include "speech/sound_device.h"

namespace falatro::apptest {

std::string NameOf(Server server) {
  switch (server) {
    case Server::kNgircd: return "ngircd";
    case Server::kInspircd: return "inspircd";
  }
  return "?";
}

void PrintTo(Server server, std::ostream* out) { *out << NameOf(server); }

bool RealServer::Start(Server kind, const std::string& dir, int ping_seconds, bool services) {
  kind_ = kind;
  switch (kind) {
    case Server::kNgircd:
      password_ = "senha";
      return ngircd_.StartOnFreeAddress(dir, password_, ping_seconds, &address_);
    case Server::kInspircd:
      password_.clear();
      return inspircd_.StartOnFreeAddress(dir, password_, ping_seconds, services, &address_);
  }
  return false;
}

void RealServer::Stop() {
  ngircd_.Stop();
  inspircd_.Stop();
}

std::string RealServer::Log() const { return kind_ == Server::kNgircd ? ngircd_.Log() : inspircd_.Log(); }

void ClientEndToEnd::SetUp() {
  AppFixture::SetUp();
  StartRealClockConsoleHeardIn(root_ + "/ouvido.wav");
  if (HasFatalFailure()) return;
  Channel = ChannelState{};
  ChannelBrowser = ChannelBrowserState{};
  Channel.on_shown = [this](const std::string& text) { shown_.push_back(text); };
}

void ClientEndToEnd::TearDown() {
  CloseSoundDevice();
  Channel = ChannelState{};
  AppFixture::TearDown();
}

void ClientEndToEnd::ConnectThroughRelay(const std::string& server_address, const std::string& password) {
  ASSERT_TRUE(relay_.StartOnFreeAddress(server_address, &relay_address_));
  Client.ServerName = relay_address_;
  Client.Nickname = "cliente";
  Client.Password = password;
  ConnectToServer();
  ASSERT_GT(Client.ServerSocket, 0) << Screen() << FailureLog();
}

bool ClientEndToEnd::RunScript(const std::function<void()>& body) {
  script_.Start();
  running_ = true;
  AddTimer(10, [this] { Tick(); });
  try {
    body();
  } catch (const ScriptFailure& e) {
    ADD_FAILURE() << e.what() << "\nscreen:\n" << Screen() << "\nshown:\n" << Shown() << FailureLog();
  }
  running_ = false;
  EventLoop.timers.clear();
  const bool done = script_.Done();
  script_.steps.clear();
  return done;
}

void ClientEndToEnd::Tick() {
  if (!running_) return;
  for (IrcPeer* peer : pumped_) peer->Pump();
  script_.Advance();
  AddTimer(10, [this] { Tick(); });
}

bool ClientEndToEnd::WasShown(const std::string& text) const {
  return std::find(shown_.begin(), shown_.end(), text) != shown_.end();
}

std::string ClientEndToEnd::Shown() const {
  std::string out;
  for (const std::string& s : shown_) out += s + "\n";
  return out;
}

int ClientEndToEnd::LinesSent(const std::string& line) {
  const std::vector<std::string> sent = relay_.ClientLines();
  return static_cast<int>(std::count(sent.begin(), sent.end(), line));
}

void PeersEndToEnd::TearDown() {
  amigo_.Close();
  bia_.Close();
  server_.Stop();
  ClientEndToEnd::TearDown();
}

void PeersEndToEnd::StartWithPeers(Server kind) {
  ASSERT_TRUE(server_.Start(kind, root_)) << server_.Log();
  server_address_ = server_.address();
  StartSpeech();
  ASSERT_TRUE(amigo_.Login(server_address_, kTestIrcPort, "amigo", server_.password()));
  ASSERT_TRUE(bia_.Login(server_address_, kTestIrcPort, "bia", server_.password()));
  KeepPumping(&amigo_);
  KeepPumping(&bia_);
  ConnectThroughRelay(server_address_, server_.password());
}

}  // namespace falatro::apptest
