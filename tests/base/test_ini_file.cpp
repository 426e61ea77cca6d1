// INI reading follows the desktop profile rules the suite's settings files were written for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "base/ini_file.h"

namespace falatro {
namespace {

std::string WriteTemp(const std::string& name, const std::string& text) {
  std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(IniFile, ProfileRules) {
  std::string path = WriteTemp("rules.ini",
                               "; comment\r\n"
                               "[Video]\r\n"
                               "  CorLetra =  14  \r\n"
                               "CORFUNDO=\r\n"
                               "corletra=3\r\n"
                               "noequals\r\n"
                               "[BRAILLE]\n"
                               "MODO=2\n"
                               "[video]\n"
                               "LENTO=S\n");
  struct Case { const char* what; const char* section; const char* key; bool found; const char* value; };
  const Case cases[] = {
      {"key and section match without case, value trimmed", "VIDEO", "CORLETRA", true, "14"},
      {"the first of two equal keys wins", "video", "corletra", true, "14"},
      {"a key present with an empty value is found, empty", "VIDEO", "CORFUNDO", true, ""},
      {"LF-only lines are read too", "Braille", "modo", true, "2"},
      {"a missing key is not found", "VIDEO", "FONTE", false, ""},
      {"a missing section is not found", "SOM", "MODO", false, ""},
      {"a repeated section is not merged into the first", "VIDEO", "LENTO", false, ""},
      {"a comment is never a key", "VIDEO", "; comment", false, ""},
  };
  for (const Case& c : cases) {
    std::string v = "untouched";
    EXPECT_EQ(ReadProfileValue(path, c.section, c.key, &v), c.found) << c.what;
    if (c.found) EXPECT_EQ(v, c.value) << c.what;
    else EXPECT_EQ(v, "untouched") << c.what;
  }
}

TEST(IniFile, DefaultsAndCapacity) {
  std::string path = WriteTemp("cap.ini", "[A]\nLONG=abcdefghij\n");
  EXPECT_EQ(GetProfileString(path, "A", "LONG", "x", 4), "abc") << "cut to capacity - 1";
  EXPECT_EQ(GetProfileString(path, "A", "LONG", "x", 0), "") << "no room at all";
  EXPECT_EQ(GetProfileString(path, "A", "NONE", "default", 256), "default");
  EXPECT_EQ(GetProfileString(path, "A", "NONE", "default", 3), "de") << "the default is cut too";
  EXPECT_EQ(GetProfileString("/nonexistent/x.ini", "A", "LONG", "d"), "d") << "missing file";
}

TEST(IniFile, BinaryJunkIsNotACrash) {
  std::string junk(4096, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 131) ^ (i >> 3));
  std::string path = WriteTemp("junk.ini", "[" + junk + "\n[A]\nK=v\n" + junk);
  std::string v;
  EXPECT_TRUE(ReadProfileValue(path, "A", "K", &v));
  EXPECT_EQ(v, "v");
}

TEST(IniFile, ProfileInt) {
  EXPECT_EQ(ProfileInt("  42abc", -1), 42);
  EXPECT_EQ(ProfileInt("-7", 0), -7);
  EXPECT_EQ(ProfileInt("abc", 5), 5);
  EXPECT_EQ(ProfileInt("", 9), 9);
  EXPECT_EQ(ProfileInt("99999999999999999999", 0), 0x7fffffff) << "saturates";
}

}  // namespace
}  // namespace falatro
