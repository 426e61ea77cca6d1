// The RIFF/WAVE layout: reading the chunks of a memory image, never outside its bounds.
#include "speech/wave_format.h"

#include <cctype>

namespace falatro {

namespace {

bool SameTag(const uint8_t* p, const char* tag) {
  return p[0] == uint8_t(tag[0]) && p[1] == uint8_t(tag[1]) && p[2] == uint8_t(tag[2]) &&
         p[3] == uint8_t(tag[3]);
}

bool IsRiff(const uint8_t* p) {
  return std::toupper(p[0]) == 'R' && std::toupper(p[1]) == 'I' && std::toupper(p[2]) == 'F' &&
         std::toupper(p[3]) == 'F';
}

}  // namespace

WaveFormat ReadFmtContent(const uint8_t* content) {
  WaveFormat f;
  f.channels = ReadLe16(content + 2);
  f.rate = ReadLe32(content + 4);
  f.bits = ReadLe16(content + 14);
  return f;
}

WaveParse ParseWaveImage(const uint8_t* image, size_t length, WaveImageInfo* info) {
  if (image == nullptr || length < 12 || !IsRiff(image)) return WaveParse::kNotRiff;
  size_t pos = 12;
  if (length - pos < 8 || !SameTag(image + pos, "fmt ")) return WaveParse::kNoFmtChunk;
  uint64_t fmt_size = ReadLe32(image + pos + 4);
  pos += 8;
  if (fmt_size < 16 || fmt_size > length - pos) return WaveParse::kBadFmtChunk;
  WaveFormat format = ReadFmtContent(image + pos);
  pos += size_t(fmt_size);
  // The walk is bounded by the image's length: a chunk size past the end stops it.
  while (length - pos >= 8) {
    const uint8_t* head = image + pos;
    uint64_t size = ReadLe32(head + 4);
    pos += 8;
    if (SameTag(head, "data")) {
      WaveImageInfo out;
      out.format = format;
      out.data_offset = pos;
      out.declared_length = size;
      size_t available = length - pos;
      out.truncated = size > available;
      out.data_length = out.truncated ? available : size_t(size);
      *info = out;
      return WaveParse::kOk;
    }
    if (size > length - pos) return WaveParse::kNoDataChunk;
    pos += size_t(size);
  }
  return WaveParse::kNoDataChunk;
}

}  // namespace falatro
