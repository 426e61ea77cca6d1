// Fuzz target: the INI reader on arbitrary file contents, section and key names and buffer sizes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static const std::string path = [] {
    char name[] = "/tmp/falatro-fuzz-ini-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  if (size < 3) return 0;
  // The first bytes choose the capacity and how the section and key are taken from the input.
  size_t capacity = data[0];
  size_t section_len = data[1] % 16;
  size_t key_len = data[2] % 16;
  data += 3;
  size -= 3;
  if (section_len + key_len > size) return 0;
  std::string section(reinterpret_cast<const char*>(data), section_len);
  std::string key(reinterpret_cast<const char*>(data + section_len), key_len);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::string out = "untouched";
  if (ReadProfileValue(path, section, key, &out, capacity)) {
    if (capacity == 0 ? !out.empty() : out.size() > capacity - 1) __builtin_trap();
  } else if (out != "untouched") {
    __builtin_trap();
  }
  std::string def = GetProfileString(path, "NARRIX", "PGMNARRIX", "default", capacity);
  if (capacity > 0 && def.size() > capacity - 1) __builtin_trap();
  ProfileInt(std::string(reinterpret_cast<const char*>(data), size), -1);
  return 0;
}
