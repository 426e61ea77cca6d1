// A sound device for tests: keeps every block it is given and finishes it after its playing time.
#include "recording_sound_backend.h"

#include <algorithm>

#include "base/event_loop.h"

namespace falatro::testsupport {

int RecordingSoundBackend::Open(const WaveFormat& f) {
  format = f;
  return 0;
}

void RecordingSoundBackend::Play(SoundBlock* block) {
  blocks.push_back({std::vector<uint8_t>(block->data, block->data + block->length), format, NowMs()});
  const uint64_t bytes_per_second = uint64_t(format.rate) * std::max<uint32_t>(1, format.BlockAlign());
  const uint64_t ms = std::max<uint64_t>(1, uint64_t(block->length) * 1000 / bytes_per_second);
  timers.push_back(AddTimer(ms, [block] { SoundBlockPlayed(block); }));
}

void RecordingSoundBackend::Reset() {
  for (int id : timers) CancelTimer(id);
  timers.clear();
  ++resets;
}

}  // namespace falatro::testsupport
