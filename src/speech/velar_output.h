// Connecting the built-in engine to the program's sound: the wave player, and the synthesizer library
// the suite settings name.
#pragma once

namespace falatro {

/// Makes the engine play through the wave player (saving and restoring its speed-up switches while it
/// plays) and bind the library named by "BIBLIOTECA" of section "VELARTTS" (a settings path, mapped
/// like every other), or the project's own when that is empty. Call before VelarInit.
void ConnectVelarToWavePlayer();

}  // namespace falatro
