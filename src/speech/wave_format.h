// The RIFF/WAVE layout: reading the chunks of a wave file or memory image, and the PCM format they give.
#pragma once

#include <cstddef>
#include <cstdint>

namespace falatro {

/// The PCM format of a sound: what a device is opened with.
struct WaveFormat {
  uint32_t rate = 11025;    ///< samples per second
  uint16_t channels = 1;
  uint16_t bits = 8;        ///< bits per sample
  bool operator==(const WaveFormat&) const = default;
  /// Bytes of one sample frame (channels x bits div 8).
  uint32_t BlockAlign() const { return uint32_t(channels) * (bits / 8u); }
};

/// Where the sound of a RIFF/WAVE image lies.
struct WaveImageInfo {
  WaveFormat format;
  size_t data_offset = 0;    ///< first data byte, from the start of the image
  size_t data_length = 0;    ///< data bytes present in the image (never past its end)
  uint64_t declared_length = 0;  ///< the "data" chunk's own size field
  bool truncated = false;    ///< the "data" chunk declares more bytes than the image holds
};

/// Outcome of reading a RIFF/WAVE layout.
enum class WaveParse {
  kOk,
  kNotRiff,        ///< shorter than 12 bytes, or not beginning with "RIFF" (any letter case)
  kNoFmtChunk,     ///< the first chunk is missing, cut short or not "fmt "
  kBadFmtChunk,    ///< the "fmt " content is shorter than the 16 bytes of the format record or cut short
  kNoDataChunk,    ///< the chunk walk reached the end without a "data" chunk, or a chunk runs past the end
};

/// Reads the layout of a RIFF/WAVE image of length bytes: "RIFF" (any case), size and form type
/// unchecked, the first chunk at byte 12 must be "fmt ", then unpadded chunks until "data". The walk
/// never reads outside [image, image + length). A "data" chunk longer than what follows it is accepted
/// with data_length cut to the image's end and truncated set. Fills *info only on kOk.
WaveParse ParseWaveImage(const uint8_t* image, size_t length, WaveImageInfo* info);

/// Reads the format record of a "fmt " chunk's content (channels at 2, rate at 4, bits at 14). The
/// content must hold at least 16 bytes.
WaveFormat ReadFmtContent(const uint8_t* content);

/// Little-endian readers and writers used by the RIFF code.
inline uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void WriteLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

}  // namespace falatro
