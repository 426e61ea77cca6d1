// A scripted IRC peer for the end-to-end tests: connects to the test server, answers its PINGs,
// and says, joins, kicks, bans, renames and quits as the test tells it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace falatro::apptest {

class IrcPeer {
 public:
  IrcPeer() = default;
  ~IrcPeer();
  IrcPeer(const IrcPeer&) = delete;
  IrcPeer& operator=(const IrcPeer&) = delete;

  /// Connects to address:port and logs in with nick (and password when not empty); waits up to ms
  /// for the welcome (001). False when the server does not answer.
  bool Login(const std::string& address, uint16_t port, const std::string& nick, const std::string& password,
             int ms = 5000);
  /// Sends one line (CR LF added).
  void Send(const std::string& line);
  /// Reads whatever has arrived, without waiting, answering PINGs. False when the connection closed.
  bool Pump();
  /// Pumps until a received line contains text, or ms pass. True when one did.
  bool WaitFor(const std::string& text, int ms);
  /// True when a line received so far contains text.
  bool Saw(const std::string& text) const;
  /// Every line received, in order.
  const std::vector<std::string>& lines() const { return lines_; }
  bool connected() const { return fd_ >= 0; }
  void Close();

  // Commands.
  void Join(const std::string& channel) { Send("JOIN " + channel); }
  /// Joins the channels #c0000 to #c(count-1) in comma lists that fit a line, then waits (up to
  /// timeout_ms) until the server has taken them all. False when it did not answer in time.
  bool JoinNumberedChannels(int count, int timeout_ms = 30000);
  void Privmsg(const std::string& target, const std::string& text) { Send("PRIVMSG " + target + " :" + text); }
  void Quit(const std::string& reason) { Send("QUIT :" + reason); }

 private:
  int fd_ = -1;
  std::string nick_;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace falatro::apptest
