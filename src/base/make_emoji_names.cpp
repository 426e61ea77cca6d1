// Build step: turns the CLDR Portuguese annotations (pt.xml) into the compact emoji name table that
// emoji_names.cpp compiles in, so the program never reads the large XML file at run time.
//
//   make_emoji_names ANNOTATIONS.xml OUTPUT.inc
//
// Each <annotation cp="..." type="tts">name</annotation> whose characters are not all in cp1252
// becomes one entry: the sequence as UTF-8 without variation selectors, and its name in cp1252.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text_encoding.h"

namespace {

using falatro::AppendUtf8;
using falatro::DecodeUtf8;
using falatro::UnicodeToCp1252;


// Replaces the five predefined XML entities and numeric character references.
std::string DecodeEntities(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const size_t semi = s.find(';', i);
    if (semi == std::string::npos) {
      out += s[i];
      continue;
    }
    const std::string ent = s.substr(i + 1, semi - i - 1);
    uint32_t cp = 0;
    if (ent == "amp") cp = '&';
    else if (ent == "lt") cp = '<';
    else if (ent == "gt") cp = '>';
    else if (ent == "quot") cp = '"';
    else if (ent == "apos") cp = '\'';
    else if (ent.size() > 1 && ent[0] == '#')
      cp = static_cast<uint32_t>(ent[1] == 'x' ? std::strtoul(ent.c_str() + 2, nullptr, 16) : std::strtoul(ent.c_str() + 1, nullptr, 10));
    if (cp == 0) {
      out += s[i];
      continue;
    }
    AppendUtf8(out, cp);
    i = semi;
  }
  return out;
}

bool IsSelector(uint32_t cp) { return cp == 0xFE0E || cp == 0xFE0F; }

struct Entry {
  std::string key;   // UTF-8, selectors removed
  std::string name;  // cp1252
};

// Writes bytes as a C string literal body (octal escapes for anything not plain ASCII).
void WriteLiteral(std::ostream& out, const std::string& bytes) {
  out << '"';
  size_t col = 0;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '"' && c != '\\' && c != '?') {
      out << c;
      col += 1;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out << buf;
      col += 4;
    }
    if (col >= 96) {
      out << "\"\n    \"";
      col = 0;
    }
  }
  out << '"';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_emoji_names ANNOTATIONS.xml OUTPUT.inc\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "make_emoji_names: cannot read " << argv[1]
              << " (the CLDR annotations of Debian's unicode-cldr-core)\n";
    return 1;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string xml = buffer.str();

  std::vector<Entry> entries;
  const std::string open = "<annotation cp=\"";
  for (size_t pos = xml.find(open); pos != std::string::npos; pos = xml.find(open, pos + 1)) {
    const size_t cp_start = pos + open.size();
    const size_t cp_end = xml.find('"', cp_start);
    const size_t tag_end = xml.find('>', cp_end);
    if (cp_end == std::string::npos || tag_end == std::string::npos) break;
    if (xml.substr(cp_end, tag_end - cp_end).find("type=\"tts\"") == std::string::npos) continue;
    const size_t text_end = xml.find('<', tag_end);
    if (text_end == std::string::npos) break;
    const std::string seq = DecodeEntities(xml.substr(cp_start, cp_end - cp_start));
    const std::string name_utf8 = DecodeEntities(xml.substr(tag_end + 1, text_end - tag_end - 1));

    Entry e;
    bool all_cp1252 = true;
    for (size_t i = 0; i < seq.size();) {
      uint32_t cp = 0;
      const int n = DecodeUtf8(seq, i, &cp);
      if (n <= 0) {  // malformed: the sequence is left out
        e.key.clear();
        break;
      }
      if (!IsSelector(cp)) {
        e.key.append(seq, i, static_cast<size_t>(n));
        if (UnicodeToCp1252(cp) < 0) all_cp1252 = false;
      }
      i += static_cast<size_t>(n);
    }
    // Characters cp1252 has are shown and said as themselves.
    if (all_cp1252 || e.key.empty()) continue;
    for (size_t i = 0; i < name_utf8.size();) {
      uint32_t cp = 0;
      const int n = DecodeUtf8(name_utf8, i, &cp);
      if (n <= 0) {
        ++i;
        continue;
      }
      const int b = UnicodeToCp1252(cp);
      i += static_cast<size_t>(n);
      // Typographic quotes and dashes are written plain, so a name reads the same everywhere.
      if (cp == 0x201C || cp == 0x201D) e.name += '"';
      else if (cp == 0x2018 || cp == 0x2019) e.name += '\'';
      else if (cp == 0x2013 || cp == 0x2014) e.name += '-';
      // A bracket inside a name would end the bracketed name early; letters cp1252 lacks are left out.
      else if (b >= 32 && b != '(' && b != ')') e.name += static_cast<char>(b);
    }
    while (!e.name.empty() && e.name.back() == ' ') e.name.pop_back();
    if (e.name.empty() || e.name.size() > 255 || e.key.size() > 255) continue;
    entries.push_back(std::move(e));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  entries.erase(std::unique(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key == b.key; }),
                entries.end());
  if (entries.size() < 100) {
    std::cerr << "make_emoji_names: only " << entries.size() << " names in " << argv[1] << "\n";
    return 1;
  }

  std::string keys, names;
  std::ostringstream rows;
  for (const Entry& e : entries) {
    rows << "    {" << keys.size() << ", " << e.key.size() << ", " << e.name.size() << ", " << names.size() << "},\n";
    keys += e.key;
    names += e.name;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << "// Generated by make_emoji_names from " << argv[1] << "; do not edit.\n";
  out << "constexpr size_t kEmojiCount = " << entries.size() << ";\n";
  out << "constexpr char kEmojiKeys[] =\n    ";
  WriteLiteral(out, keys);
  out << ";\nconstexpr char kEmojiNames[] =\n    ";
  WriteLiteral(out, names);
  out << ";\nconstexpr EmojiRow kEmojiRows[kEmojiCount] = {\n" << rows.str() << "};\n";
  if (!out) {
    std::cerr << "make_emoji_names: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
