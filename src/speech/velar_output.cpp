// Connecting the built-in engine to the program's sound.
#include "speech/velar_output.h"

#include "base/paths.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"
#include "tts/velar.h"

namespace falatro {

void ConnectVelarToWavePlayer() {
  VelarSoundOutput output;
  output.PlayImage = PlayWaveImage;
  output.IsPlaying = IsWavePlaying;
  output.Stop = StopWave;
  output.FastRate = &Wave.FastRate;
  output.CutPeriods = &Wave.CutPeriods;
  VelarSetSoundOutput(output);
  std::string library = ReadSuiteSetting("VELARTTS", "BIBLIOTECA");
  VelarSetLibrary(library.empty() ? std::string() : MapPath(library));
}

}  // namespace falatro
