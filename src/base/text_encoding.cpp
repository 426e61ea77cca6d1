// Conversion between the program's cp1252 bytes and UTF-8 at the edges (terminal, clipboard, network).
#include "base/text_encoding.h"

namespace falatro {

namespace {

// Code points of cp1252 bytes 0x80..0x9F; the unassigned bytes map to themselves, except 0x81, the
// program's mark for a character cp1252 lacks, which is shown as "?".
const uint16_t kHigh[32] = {0x20AC, 0x003F, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


}  // namespace

uint32_t Cp1252ToUnicode(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

int UnicodeToCp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int DecodeUtf8(std::string_view text, size_t pos, uint32_t* cp) {
  if (pos >= text.size()) return -1;
  const unsigned char b0 = static_cast<unsigned char>(text[pos]);
  int len;
  uint32_t value;
  uint32_t min;
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, value = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, value = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, value = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  for (int i = 1; i < len; ++i) {
    if (pos + i >= text.size()) return -1;
    const unsigned char b = static_cast<unsigned char>(text[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    value = (value << 6) | (b & 0x3F);
    // Reject overlongs and out-of-range values as soon as the second byte tells.
    if (i == 1 && len == 3 && value < (min >> 6)) return 0;
    if (i == 1 && len == 4 && (value < (min >> 12) || value > (0x10FFFF >> 12))) return 0;
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return len;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp;
    int n = DecodeUtf8(text, i, &cp);
    if (n <= 0) return false;
    i += n;
  }
  return true;
}

std::string Utf8ToCp1252(std::string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp;
    int n = DecodeUtf8(text, i, &cp);
    if (n <= 0) {
      out += replacement;
      ++i;
      continue;
    }
    int b = UnicodeToCp1252(cp);
    out += b < 0 ? replacement : static_cast<char>(b);
    i += n;
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) AppendUtf8(out, Cp1252ToUnicode(c));
  return out;
}

}  // namespace falatro
