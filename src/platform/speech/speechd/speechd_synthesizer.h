// The system's speech service: Speech Dispatcher through libspeechd, speaking in the background with
// its own audio; the end and cancel notices tell when it is busy.
#pragma once

#include <cstdint>
#include <string>

#include "speech/synthesizer.h"

namespace falatro {

/// The back-end of types 5 and 54. One instance; not owned by the caller. Starting needs a running
/// daemon (it is never started from here) with at least one voice; its address is the library's
/// usual one ($SPEECHD_ADDRESS, else the user's default socket).
SynthesizerBackend* SpeechDispatcherSynthesizer();

/// The service's rate (-100..100) for a "SERVFALA"/"VELOCIDADE" value (-10..10): ten times it, held
/// within the service's range.
int SpeechDispatcherRateOf(int speed);

/// Figures of the connection, for tests and benchmarks.
struct SpeechDispatcherFigures {
  int voice_count = 0;          ///< voices the service lists
  int voice_number = 0;         ///< 1-based number of the voice in use
  std::string voice_name;
  int rate = 0;                 ///< rate set (-100..100)
  uint64_t texts_said = 0;      ///< texts the service accepted
  uint64_t failures = 0;        ///< texts it refused (each gave a beep)
  std::string last_text;        ///< the last text sent (UTF-8)
  uint64_t ends = 0, cancels = 0;  ///< end and cancel notices received
  uint64_t stop_us = 0;         ///< steady-clock microseconds of the last stop
  uint64_t cancel_notice_us = 0;  ///< ... of the first cancel notice after it
};
/// The figures of the current (or last) start.
SpeechDispatcherFigures SpeechDispatcherVoiceFigures();

}  // namespace falatro
