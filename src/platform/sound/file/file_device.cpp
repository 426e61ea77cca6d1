// The file sound device: everything played is appended to one WAV file, kept valid after every write.
#include "platform/sound/sound_backends.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "speech/suite_settings.h"

namespace falatro {

namespace {

// The largest data size a WAV header can state.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

bool WriteAll(int fd, const uint8_t* p, size_t n, off_t at) {
  while (n > 0) {
    ssize_t w = pwrite(fd, p, n, at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
    at += w;
  }
  return true;
}

int16_t SampleAt(const uint8_t* frame, const WaveFormat& f) {
  int sum = 0;
  for (int c = 0; c < f.channels; ++c) {
    sum += f.bits == 8 ? (int(frame[c]) - 128) * 256 : int(int16_t(ReadLe16(frame + 2 * c)));
  }
  return int16_t(sum / f.channels);
}

}  // namespace

FileSoundBackend::~FileSoundBackend() {
  if (fd_ >= 0) close(fd_);
}

bool FileSoundBackend::Create(const std::string& path, std::string* error) {
  if (fd_ >= 0) close(fd_);
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (error) *error = "cannot write the sound file " + path + ": " + std::strerror(errno);
    return false;
  }
  data_bytes_ = 0;
  uint8_t header[kWaveHeaderSize];
  BuildWaveHeader(header, 0, kFileRate, 1, 16);
  if (!WriteAll(fd_, header, sizeof header, 0)) {
    if (error) *error = "cannot write the sound file " + path + ": " + std::strerror(errno);
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

int FileSoundBackend::Open(const WaveFormat& format) {
  src_frames_ = 0;
  out_frames_ = 0;
  return NullSoundBackend::Open(format);
}

void FileSoundBackend::Played(const uint8_t* data, size_t frames, const WaveFormat& format) {
  // Output sample j sounds at j / 22050 s and takes the source sample that sounds then; the counts run
  // from the opening of the device, so block boundaries do not shift the timing.
  uint64_t src_before = src_frames_;
  src_frames_ += frames;
  uint64_t out_end = (src_frames_ * kFileRate + format.rate - 1) / format.rate;
  std::vector<int16_t> out;
  out.reserve(size_t(out_end - out_frames_));
  uint32_t align = format.BlockAlign();
  for (uint64_t j = out_frames_; j < out_end; ++j) {
    uint64_t src = j * format.rate / kFileRate - src_before;
    out.push_back(SampleAt(data + src * align, format));
  }
  out_frames_ = out_end;
  Append(out);
}

void FileSoundBackend::EffectPlayed(const std::vector<int16_t>& samples, size_t count, uint32_t rate) {
  if (samples.empty()) return;
  uint64_t out_count = (uint64_t(count) * kFileRate + rate - 1) / rate;
  std::vector<int16_t> out;
  out.reserve(size_t(out_count));
  for (uint64_t j = 0; j < out_count; ++j) out.push_back(samples[(j * rate / kFileRate) % samples.size()]);
  Append(out);
}

void FileSoundBackend::Append(const std::vector<int16_t>& out) {
  if (fd_ < 0 || out.empty()) return;
  uint64_t bytes = out.size() * 2;
  if (data_bytes_ + bytes > kMaxDataBytes) {
    if (!full_said_) std::fprintf(stderr, "falatro: the sound file is full (4 GiB); further sound is not recorded\n");
    full_said_ = true;
    return;
  }
  std::vector<uint8_t> raw(static_cast<size_t>(bytes));
  for (size_t i = 0; i < out.size(); ++i) WriteLe16(raw.data() + 2 * i, uint16_t(out[i]));
  if (!WriteAll(fd_, raw.data(), raw.size(), off_t(kWaveHeaderSize + data_bytes_))) return;
  data_bytes_ += bytes;
  uint8_t header[kWaveHeaderSize];
  BuildWaveHeader(header, uint32_t(data_bytes_), kFileRate, 1, 16);
  WriteAll(fd_, header, sizeof header, 0);
}

}  // namespace falatro
