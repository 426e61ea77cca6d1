// The console's door to sound: the installed sink and the wave player's completion slot.
#include "console/console_sound.h"

#include <utility>

namespace falatro {

ConsoleSoundState ConsoleSound;

void SetConsoleSoundSink(ConsoleSoundSink* sink) { ConsoleSound.sink = sink; }

ConsoleSoundSink* GetConsoleSoundSink() { return ConsoleSound.sink; }

void SetWaveDoneHandler(WaveDoneHandler handler) {
  ConsoleSound.wave_done_installed = static_cast<bool>(handler);
  ConsoleSound.wave_done = std::move(handler);
}

bool DeliverWaveDone(const Message& msg) {
  if (!ConsoleSound.wave_done_installed) return false;
  ConsoleSound.wave_done(msg.a, msg.p);
  return true;
}

}  // namespace falatro
