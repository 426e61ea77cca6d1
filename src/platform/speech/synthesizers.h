// The synthesizers of the platform edge and their installation behind the synthesizer selection.
#pragma once

namespace falatro {

/// Installs the system voice (eSpeak NG in-process, type 4 and others) and the speech service (Speech
/// Dispatcher, types 5 and 54) behind the synthesizer selection. The program calls it once at start.
void InstallSynthesizers();

}  // namespace falatro
