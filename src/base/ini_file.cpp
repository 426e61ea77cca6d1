// Profile-string files (section/key INI files) read with the desktop profile rules.
#include "base/ini_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>

#include "base/paths.h"

namespace falatro {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Cut(const std::string& s, size_t capacity) {
  if (capacity == 0) return std::string();
  return s.size() < capacity ? s : s.substr(0, capacity - 1);
}

}  // namespace

bool ReadProfileValue(const std::string& path, const std::string& section, const std::string& key,
                      std::string* out, size_t capacity) {
  std::ifstream in(FindFileNoCase(path), std::ios::binary);
  if (!in) return false;
  const std::string want_section = Trim(section);
  const std::string want_key = Trim(key);
  bool in_section = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') continue;
    if (t[0] == '[') {
      size_t close = t.find(']');
      std::string name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      // Once the wanted section ends, a later section of the same name is not consulted: first wins.
      if (in_section) return false;
      in_section = SameNoCase(name, want_section);
      continue;
    }
    if (!in_section) continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (!SameNoCase(Trim(t.substr(0, eq)), want_key)) continue;
    if (out) *out = Cut(Trim(t.substr(eq + 1)), capacity);
    return true;
  }
  return false;
}

std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& def, size_t capacity) {
  std::string value;
  if (ReadProfileValue(path, section, key, &value, capacity)) return value;
  return Cut(def, capacity);
}

int ProfileInt(const std::string& text, int def) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return def;
  long long v = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    v = v * 10 + (text[i++] - '0');
    if (v > 0x7fffffffLL) v = 0x7fffffffLL;  // saturate rather than overflow
  }
  return static_cast<int>(neg ? -v : v);
}

}  // namespace falatro
