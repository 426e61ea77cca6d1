// The console's door to sound: looping tones, the beep, and the wave player's completion slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/event_loop.h"

namespace falatro {

/// What the sound layer provides to the console. Until a sink is installed tones are silent and BEL
/// beeps through the front-end.
struct ConsoleSoundSink {
  virtual ~ConsoleSoundSink() = default;
  /// Plays a RIFF/WAVE image from memory, asynchronously, in a loop, replacing any loop playing. The
  /// image stays valid (owned by the console) until StopLoop is called.
  virtual void PlayLoop(const uint8_t* image, size_t length) = 0;
  /// Stops the looping image, if any. The image may be freed when this returns.
  virtual void StopLoop() = 0;
  /// The default message beep.
  virtual void Beep() = 0;
};

/// Installs the sink (nullptr: none). The console does not own it.
void SetConsoleSoundSink(ConsoleSoundSink* sink);
/// The installed sink, or nullptr.
ConsoleSoundSink* GetConsoleSoundSink();

/// Handler of a finished sound block: the device id and the block (the kMsgSoundDone message's a, p).
using WaveDoneHandler = std::function<void(int64_t device, void* block)>;
/// Installs the handler that kMsgSoundDone messages reach (empty: none; the messages are then ignored).
void SetWaveDoneHandler(WaveDoneHandler handler);
/// Hands a kMsgSoundDone message to the installed handler. Returns false when none is installed.
bool DeliverWaveDone(const Message& msg);

/// The console's sound state (one instance).
struct ConsoleSoundState {
  ConsoleSoundSink* sink = nullptr;
  bool wave_done_installed = false;
  WaveDoneHandler wave_done;
};
extern ConsoleSoundState ConsoleSound;

}  // namespace falatro
