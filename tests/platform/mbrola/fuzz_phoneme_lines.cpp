// Fuzz target: any bytes as phoneme lines fed to the own synthesizer, with reads, flushes and resets
// between them as the engine does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mbrola/psola_synth.h"
#include "synthetic_voice.h"

using namespace falatro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static PsolaSynth synth;
  static bool loaded = PsolaInit(synth, WriteSyntheticStore("fuzz-voice", {"a-s"})) == 0;
  if (!loaded || size == 0 || size > 1024) return 0;  // longer inputs only make longer sound
  uint8_t control = data[0];
  synth.NoError = control & 1;
  PsolaSetOutputRate(synth, (control & 2) ? 8000 : 16000);
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  int16_t buffer[4096];
  // Pieces end at a NUL byte, as separate writes.
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    PsolaWrite(synth, text.substr(start, end - start));
    if (synth.LastError && (control & 4)) PsolaReset(synth);
    while (PsolaRead(synth, buffer, 4096) > 0) {
    }
    start = end + 1;
  }
  PsolaFlush(synth);
  while (PsolaRead(synth, buffer, 4096) > 0) {
  }
  PsolaReset(synth);
  return 0;
}
