// The path rule and case-insensitive look-up that let desktop paths from settings files work here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "base/paths.h"

namespace falatro {
namespace {

TEST(Paths, DrivePathsMapBelowTheRoot) {
  setenv("NARRIX_ROOT", "/srv/narrix", 1);
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"c:\\falatro.ini", "/srv/narrix/falatro.ini"},
      {"D:\\zanvel\\som\\letras\\", "/srv/narrix/zanvel/som/letras/"},
      {"\\zanvel\\velartts\\", "/srv/narrix/zanvel/velartts/"},
      {"c:", "/srv/narrix"},
      {"/etc/x.ini", "/etc/x.ini"},
      {"som\\falatro", "som/falatro"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MapPath(c.in), c.out) << c.in;
  unsetenv("NARRIX_ROOT");
}

TEST(Paths, EnvironmentDefaults) {
  setenv("HOME", "/home/u", 1);
  unsetenv("NARRIX_ROOT");
  unsetenv("NARRIX_WINDIR");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(NarrixRoot(), "/home/u/.local/share/narrix");
  EXPECT_EQ(WindowsDir(), "/home/u/.config/narrix");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(WindowsDir(), "/cfg/narrix");
  setenv("NARRIX_WINDIR", "/win", 1);
  EXPECT_EQ(WindowsDir(), "/win");
  unsetenv("NARRIX_WINDIR");
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Paths, CaseInsensitiveLookup) {
  std::string dir = testing::TempDir() + "NoCase/Som";
  ASSERT_TRUE(MakeDirectories(dir));
  std::ofstream(dir + "/_DEL.wav") << "x";
  EXPECT_EQ(FindFileNoCase(dir + "/_DEL.wav"), dir + "/_DEL.wav") << "exact name first";
  EXPECT_EQ(FindFileNoCase(dir + "/_del.WAV"), dir + "/_DEL.wav");
  EXPECT_EQ(FindFileNoCase(testing::TempDir() + "nocase/SOM/_del.wav"), dir + "/_DEL.wav")
      << "directories differing in case are found too";
  EXPECT_EQ(FindFileNoCase(dir + "/missing.wav"), dir + "/missing.wav") << "missing stays as given";
}

}  // namespace
}  // namespace falatro
