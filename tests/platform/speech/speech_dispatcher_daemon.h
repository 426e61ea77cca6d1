// A Speech Dispatcher daemon of a test's own: its configuration, socket and logs in a scratch
// directory, the eSpeak NG module, and audio through libao's null driver (no sound card needed).
#pragma once

#include <sys/types.h>

#include <string>

namespace falatro::testsupport {

class SpeechDispatcherDaemon {
 public:
  ~SpeechDispatcherDaemon() { Stop(); }
  /// Starts the daemon and waits (up to 10 s) until its socket answers; points $SPEECHD_ADDRESS at
  /// it. False (with *error) when it does not come up.
  bool Start(std::string* error);
  /// Ends the daemon this object started (by its process id) and removes its directory; restores
  /// $SPEECHD_ADDRESS to a socket where nothing listens.
  void Stop();
  /// An address where no daemon listens (for the "no daemon" case).
  std::string AbsentAddress() const { return "unix_socket:" + dir_ + "/absent.sock"; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

}  // namespace falatro::testsupport
