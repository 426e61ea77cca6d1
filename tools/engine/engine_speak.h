// Saying texts with the whole built-in engine from the command line: through the sound device, or
// into one WAV file.
#pragma once

#include <string>
#include <vector>

namespace falatro {

/// Starts the engine (the synthesizer library of the settings or the project's own, the voice database
/// "br4" found as the engine finds it, the data files portug.* of data_dir), sets the factors, and says
/// each text (cp1252): played through the sound device FALATRO_AUDIO chooses (waiting for the end), or,
/// with wav_path set, written into that file. Returns 0, or 1 after printing why on standard error.
int SpeakTexts(const std::vector<std::string>& texts, const std::string& data_dir, const std::string& wav_path,
               double duration_factor, double pitch_factor);

}  // namespace falatro
