// The wave player: blocks of at most 65534 bytes, four queued at the device, cut by a waiting key.
#include "speech/wave_player.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/event_loop.h"
#include "base/paths.h"
#include "console/console_sound.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro {

WavePlayerState Wave;

namespace {

bool KeyStops() { return Wave.StopOnKey && KeyPressed(); }

void ReleaseSlot(int slot) {
  if (slot >= 1 && slot <= kWaveBufferCount) Wave.locked[slot - 1] = false;
  if (Wave.queued > 0) --Wave.queued;
}

// The completion handler: a finished block comes back through the event loop.
void WaveBlockDone(int64_t device, void* p) {
  auto* block = static_cast<SoundBlock*>(p);
  if (block == nullptr) return;
  // A notice from an earlier opening of the device: its slot was released when that closed.
  if (!Wave.device_open || device != SoundDev.device_id) return;
  int code = SoundDeviceUnprepare(block);
  if (code != kSoundOk) {
    const char* text = nullptr;
    switch (code) {
      case kSoundErrInvalidHandle: text = "Specified device handle is invalid."; break;
      case kSoundErrNoDriver: text = "No device driver is present."; break;
      case kSoundErrNoMem: text = "Unable to allocate or lock memory."; break;
      case kSoundErrStillPlaying: text = "The data block pointed to by the pwh parameter is still in queue"; break;
    }
    if (text) ConsoleWrite(text);
    ConsoleReadLine();
  }
  ReleaseSlot(int(block->user));
}

void WaitForSoundMessage() { WaitMessage(-1); }

// The device can be closed under the player when the sound device is changed; its blocks are then
// gone and will never be reported.
void ForgetLostDevice() {
  if (!Wave.device_open || SoundDev.open) return;
  Wave.device_open = false;
  Wave.queued = 0;
  std::fill(std::begin(Wave.locked), std::end(Wave.locked), false);
}

int OpenWaveDevice() {
  ForgetLostDevice();
  if (Wave.device_open) return kSoundOk;
  SetWaveDoneHandler(WaveBlockDone);
  int result = kSoundOk;
  for (int attempt = 1;; ++attempt) {
    result = SoundDeviceOpen(Wave.format);
    if (result != kSoundErrAllocated || attempt >= 100) break;
    Delay(100);
  }
  if (result == kSoundOk) Wave.device_open = true;
  return result;
}

int SetWaveFormat(uint32_t rate, uint16_t bits, uint16_t channels) {
  WaveFormat wanted{rate, channels, bits};
  if (!(wanted == Wave.format)) {
    while (IsWavePlaying()) WaitForSoundMessage();
    Wave.format = wanted;
  }
  return OpenWaveDevice();
}

uint8_t SilenceByte(const WaveFormat& f) { return f.bits == 8 ? 128 : 0; }

bool QueueWaveBlock(const uint8_t* data, size_t length) {
  for (int tries = 0; Wave.queued >= kWaveBufferCount && tries < 40; ++tries) {
    ProcessMessages();
    Delay(50);
  }
  if (Wave.queued >= kWaveBufferCount) {
    ++Wave.blocks_dropped;
    return false;
  }
  ++Wave.queued;
  // The slots go round in turn; one still held by the device (after a refused block freed a slot out
  // of turn) is passed over, so a queued buffer is never written again.
  int slot = Wave.last_slot % kWaveBufferCount + 1;
  for (int n = 1; n < kWaveBufferCount && Wave.locked[slot - 1]; ++n) slot = slot % kWaveBufferCount + 1;
  Wave.last_slot = slot;
  Wave.locked[slot - 1] = true;
  uint8_t* buffer = Wave.buffers[slot - 1];
  length = std::min(length, kWaveBlockSize);
  bool mono8 = Wave.format.bits == 8 && Wave.format.channels == 1;
  // Blocks under 256 bytes are played as 256: the rest is silence of the block's format.
  if (length < kWaveMinBlock) std::memset(buffer + length, SilenceByte(Wave.format), kWaveMinBlock - length);
  if (length > 0) std::memmove(buffer, data, length);
  // Every 8-bit mono sound ends at the zero level, except a block that fills a whole slot.
  if (mono8 && length != 0 && length != kWaveBlockSize) buffer[length - 1] = 128;
  SoundBlock& header = Wave.headers[slot - 1];
  header = SoundBlock{};
  header.data = buffer;
  header.length = uint32_t(std::max(length, kWaveMinBlock));
  header.user = uintptr_t(slot);
  // A block the device refuses gets no completion notice, so its slot is released here.
  if (SoundDevicePrepare(&header) != kSoundOk || SoundDeviceWrite(&header) != kSoundOk) {
    SoundDeviceUnprepare(&header);
    ReleaseSlot(slot);
    ++Wave.blocks_dropped;
    return false;
  }
  ++Wave.blocks_queued;
  return true;
}

// A file's format chunk is read into the read buffer; the format record needs its first 16 bytes.
constexpr uint32_t kFmtRecordSize = 16;

bool SkipBytes(FILE* f, uint64_t count, uint64_t file_size) {
  off_t pos = ftello(f);
  if (pos < 0 || uint64_t(pos) + count > file_size) return false;
  return fseeko(f, off_t(uint64_t(pos) + count), SEEK_SET) == 0;
}

// A block that is not the last of a sound ends on a whole frame: a device plays whole frames only, so a
// split frame would be lost and every later block would start inside a frame (channels swapped).
size_t WholeFrames(size_t length, uint16_t channels, uint16_t bits) {
  const size_t frame = std::max<size_t>(1, size_t(channels) * ((bits + 7u) / 8u));
  return length >= frame ? length - length % frame : length;
}

}  // namespace

uint32_t FastRateOf(uint32_t rate) {
  uint64_t twice = uint64_t(rate) * 3;  // 2 x (rate x 1.5)
  uint64_t floor = twice / 2;
  if (twice % 2 == 1 && floor % 2 == 1) ++floor;  // a tie goes to the even neighbour
  return uint32_t(std::min<uint64_t>(floor, UINT32_MAX));
}

size_t WaveFileBlockLength(uint64_t remaining) {
  if (remaining > kWaveBlockSize && remaining < kWaveBlockSize + kWaveMinBlock) return kWaveShortenedBlock;
  return size_t(std::min<uint64_t>(remaining, kWaveBlockSize));
}

size_t CompressWaveTime(uint8_t* buffer, size_t length, int bits, uint32_t rate) {
  if (bits == 16) {
    length /= 2;
    for (size_t i = 0; i < length; ++i) buffer[i] = uint8_t(buffer[2 * i + 1] ^ 0x80);
  }
  if (length < 1000) return length;
  const bool base_rate = rate == 11025;
  const long start = base_rate ? 200 : 800;
  const long skip = base_rate ? 80 : 320;
  const long window = base_rate ? 50 : 200;
  const long n = long(length);
  // Largest sample of from..to (first on ties). A range of only zero samples gives its first position:
  // keeping an earlier peak there would stop the walk from advancing.
  auto peak = [&](long from, long to) {
    to = std::min(to, n - 1);
    long pos = from;
    int best = 0;
    for (long i = from; i <= to; ++i) {
      if (buffer[i] > best) {
        best = buffer[i];
        pos = i;
      }
    }
    return pos;
  };
  long p = peak(start, start + skip + window);
  long w = p;
  long r = p;
  while (r < n - 2 * (skip + window)) {
    long p1 = peak(r + skip, r + skip + window);
    long p2 = peak(p1 + skip, p1 + skip + window);
    long count = p2 - p1 + 1;
    std::memmove(buffer + w, buffer + p1, size_t(count));
    w += count;
    r = p2;
  }
  while (r < n && (buffer[w] > 128 + 20 || buffer[w] < 128 - 20)) buffer[w++] = buffer[r++];
  return size_t(w);
}

bool IsWavePlaying() {
  ProcessMessages();
  ForgetLostDevice();
  if (KeyStops() || Wave.queued == 0) StopWave();
  return Wave.queued > 0;
}

void StopWave() {
  ForgetLostDevice();
  if (!Wave.device_open) return;
  if (Wave.queued > 0) SoundDeviceReset();
  ProcessMessages();
  SoundDeviceClose();
  ProcessMessages();
  Wave.device_open = false;
  // Every block came back with the reset; a slot still held would never be freed by a notice now.
  Wave.queued = 0;
  std::fill(std::begin(Wave.locked), std::end(Wave.locked), false);
}

int PlayWaveData(uint8_t* data, size_t length, uint32_t rate, uint16_t channels, uint16_t bits) {
  if (Wave.FastRate) rate = FastRateOf(rate);
  const bool cut = Wave.CutPeriods && channels == 1;
  int result = (Wave.CutPeriods && bits == 16 && channels == 1) ? SetWaveFormat(rate, 8, 1)
                                                                : SetWaveFormat(rate, bits, channels);
  if (result != kSoundOk) return result;
  while (length > 0) {
    while (Wave.queued >= kWaveBufferCount) {
      if (KeyStops()) {
        StopWave();
        return 0;
      }
      Delay(10);
    }
    if (KeyStops()) {
      StopWave();
      return 0;
    }
    size_t chunk = std::min(length, kWaveBlockSize);
    if (chunk < length) chunk = WholeFrames(chunk, channels, bits);
    size_t play = cut ? CompressWaveTime(data, chunk, bits, rate) : chunk;
    QueueWaveBlock(data, play);
    data += chunk;
    length -= chunk;
  }
  return 0;
}

int QueueWaveSound(const uint8_t* data, size_t length, const WaveFormat& format) {
  ForgetLostDevice();
  if (!(format == Wave.format)) {
    if (Wave.queued > 0) return kSoundErrStillPlaying;
    // The device is open for the old format even when idle: it reopens for the new one.
    StopWave();
    Wave.format = format;
  }
  int result = OpenWaveDevice();
  if (result != kSoundOk) return result;
  if (Wave.queued >= kWaveBufferCount) return kSoundErrStillPlaying;
  return QueueWaveBlock(data, std::min(length, kWaveBlockSize)) ? kSoundOk : kSoundErrError;
}

int PlayWaveImage(uint8_t* image, size_t length) {
  WaveImageInfo info;
  if (ParseWaveImage(image, length, &info) != WaveParse::kOk) return -1;
  int result = PlayWaveData(image + info.data_offset, info.data_length, info.format.rate,
                            info.format.channels, info.format.bits);
  if (result == 0 && info.truncated) result = -1;
  return result;
}

int PlayWaveFile(const std::string& path) {
  if (KeyStops()) return 0;
  FILE* f = std::fopen(FindFileNoCase(path).c_str(), "rb");
  if (f == nullptr) return -1;
  struct stat st;
  uint64_t file_size = (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) ? uint64_t(st.st_size) : 0;
  uint8_t head[12];
  auto fail = [&] {
    std::fclose(f);
    return -1;
  };
  if (std::fread(head, 1, 12, f) != 12 || !(std::toupper(head[0]) == 'R' && std::toupper(head[1]) == 'I' &&
                                            std::toupper(head[2]) == 'F' && std::toupper(head[3]) == 'F')) {
    return fail();
  }
  uint8_t chunk[8];
  if (std::fread(chunk, 1, 8, f) != 8 || std::memcmp(chunk, "fmt ", 4) != 0) return fail();
  uint32_t fmt_size = ReadLe32(chunk + 4);
  // The format record needs 16 bytes; a longer chunk is read up to the buffer and the rest skipped.
  if (fmt_size < kFmtRecordSize) return fail();
  size_t fmt_read = std::min<size_t>(fmt_size, kWaveBlockSize);
  if (std::fread(Wave.read_buffer, 1, fmt_read, f) != fmt_read) return fail();
  if (fmt_size > fmt_read && !SkipBytes(f, fmt_size - fmt_read, file_size)) return fail();
  WaveFormat format = ReadFmtContent(Wave.read_buffer);
  for (;;) {
    if (std::fread(chunk, 1, 8, f) != 8) return fail();
    if (std::memcmp(chunk, "data", 4) == 0) break;
    if (!SkipBytes(f, ReadLe32(chunk + 4), file_size)) return fail();
  }
  uint64_t remaining = ReadLe32(chunk + 4);
  int result = 0;
  while (remaining > 0) {
    size_t block = WaveFileBlockLength(remaining);
    if (block < remaining) block = WholeFrames(block, format.channels, format.bits);
    result = -1;
    size_t got = std::fread(Wave.read_buffer, 1, block, f);
    if (got == 0) break;
    result = PlayWaveData(Wave.read_buffer, got, format.rate, format.channels, format.bits);
    if (result != 0) break;
    remaining -= got;
    if (KeyStops()) break;
  }
  std::fclose(f);
  while (IsWavePlaying()) WaitForSoundMessage();
  return result;
}

void ResetWavePlayer() {
  StopWave();
  Wave.StopOnKey = true;
  Wave.FastRate = false;
  Wave.CutPeriods = false;
  Wave.device_open = false;
  Wave.format = WaveFormat{};
  Wave.last_slot = 0;
  Wave.queued = 0;
  for (auto& h : Wave.headers) h = SoundBlock{};
  std::fill(std::begin(Wave.locked), std::end(Wave.locked), false);
  Wave.blocks_queued = 0;
  Wave.blocks_dropped = 0;
}

}  // namespace falatro
