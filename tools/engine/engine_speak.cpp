// Saying texts with the whole built-in engine from the command line.
#include "engine_speak.h"

#include <cstdio>

#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/sound_device.h"
#include "speech/velar_output.h"
#include "speech/wave_player.h"
#include "tts/velar.h"

namespace falatro {

int SpeakTexts(const std::vector<std::string>& texts, const std::string& data_dir, const std::string& wav_path,
               double duration_factor, double pitch_factor) {
  bool playing = wav_path.empty();
  if (playing) {
    // A console without a screen gives the wave player its event loop and key queue.
    SetLoopBackend(RealClockBackend());
    SetConsoleFrontend(HeadlessFrontend(RealClockBackend()));
    InitConsole();
    OpenSoundDevice();
  }
  ConnectVelarToWavePlayer();
  VelarSetOutputFile(wav_path);
  std::string base = data_dir + "/portug";
  if (!VelarInit("", base + ".nrl", base + ".exc", base + ".abr", base + ".pro", base + ".dfn")) {
    std::fprintf(stderr,
                 "falatro-engine-text: the engine did not start%s%s (is the voice installed? make voice)\n",
                 Velar.ErrorText.empty() ? "" : ": ", Velar.ErrorText.c_str());
    if (playing) CloseSoundDevice();
    return 1;
  }
  VelarSetSpeedAndPitch(duration_factor, pitch_factor);
  int rc = 0;
  for (const std::string& text : texts) {
    if (!VelarSpeak(text)) {
      std::fprintf(stderr, "falatro-engine-text: the synthesizer reported an error on: %s\n", text.c_str());
      rc = 1;
    }
  }
  while (VelarIsSpeaking()) WaitMessage();
  VelarDone();
  if (playing) CloseSoundDevice();
  else std::printf("written: %s\n", wav_path.c_str());
  return rc;
}

}  // namespace falatro
