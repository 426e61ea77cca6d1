// The cell font: faces found with fontconfig and sized to the cell the settings ask for.
#include <gtest/gtest.h>

#include <SDL2/SDL_ttf.h>

#include "platform/console/window/window_font.h"

namespace falatro {
namespace {

class WindowFont : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(TTF_Init(), 0); }
  void TearDown() override {
    CloseCellFont(&font);
    TTF_Quit();
  }
  CellFont font;
};

TEST_F(WindowFont, FacesAreFoundOrReplaced) {
  struct Case {
    const char* what;
    const char* name;
    int weight;
    const char* family;
    bool substituted;
    bool bold;
  } cases[] = {
      {"the default face is not on Linux", "Lucida Console", 700, "DejaVu Sans Mono", true, true},
      {"an installed face, bold", "DejaVu Sans Mono", 700, "DejaVu Sans Mono", false, true},
      {"an installed face, regular", "DejaVu Sans Mono", 400, "DejaVu Sans Mono", false, false},
      {"weight 0 means regular", "DejaVu Sans Mono", 0, "DejaVu Sans Mono", false, false},
      {"names match without letter case", "dejavu sans mono", 400, "DejaVu Sans Mono", false, false},
      {"a proportional face is taken as asked", "DejaVu Serif", 400, "DejaVu Serif", false, false},
      {"a cp1252 name of no face", "Fonte Inexistente \xC7\xE3", 400, "DejaVu Sans Mono", true, false},
      {"an empty name", "", 400, "DejaVu Sans Mono", true, false},
  };
  for (const Case& c : cases) {
    FontFile f;
    std::string error;
    ASSERT_TRUE(FindFontFile(c.name, c.weight, &f, &error)) << c.what << ": " << error;
    EXPECT_EQ(f.Family, c.family) << c.what;
    EXPECT_EQ(f.Substituted, c.substituted) << c.what;
    EXPECT_EQ(f.BoldFace, c.bold) << c.what;
    EXPECT_FALSE(f.Path.empty()) << c.what;
  }
}

TEST_F(WindowFont, CellsHaveExactlyTheWidthAndHeightAsked) {
  struct Case {
    const char* what;
    int width, height, weight;
  } cases[] = {
      {"the default on a 1024 x 768 screen", 13, 29, 700},
      {"small", 6, 12, 400},
      {"regular", 10, 20, 400},
      {"large", 24, 48, 700},
      {"narrow and tall", 7, 30, 400},
      {"wide and short", 16, 18, 400},
  };
  FontFile f;
  ASSERT_TRUE(FindFontFile("DejaVu Sans Mono", 400, &f, nullptr));
  for (const Case& c : cases) {
    std::string error;
    ASSERT_TRUE(OpenCellFont(f, c.width, c.height, c.weight, &font, &error)) << c.what << ": " << error;
    EXPECT_EQ(font.CharWidth, c.width) << c.what;
    EXPECT_EQ(font.FontHeight, c.height) << c.what;
    EXPECT_GE(font.CharHeight, font.FontHeight) << c.what;
    EXPECT_GT(font.Ascent, 0) << c.what;
    EXPECT_LT(font.Ascent, font.FontHeight) << c.what;
    EXPECT_EQ(font.SyntheticBold, c.weight >= 600) << c.what;
  }
}

TEST_F(WindowFont, SizesOutOfRangeAreKeptToOneTo512) {
  FontFile f;
  ASSERT_TRUE(FindFontFile("DejaVu Sans Mono", 400, &f, nullptr));
  ASSERT_TRUE(OpenCellFont(f, 0, -5, 400, &font, nullptr));
  EXPECT_GE(font.CharWidth, 1);
  EXPECT_LE(font.FontHeight, 2);
  ASSERT_TRUE(OpenCellFont(f, 100000, 100000, 400, &font, nullptr));
  EXPECT_LE(font.FontHeight, 512);
}

TEST_F(WindowFont, AFileThatIsNotAFontFailsWithAReason) {
  FontFile f;
  f.Path = "/etc/hostname";
  std::string error;
  EXPECT_FALSE(OpenCellFont(f, 10, 20, 400, &font, &error));
  EXPECT_NE(error.find("/etc/hostname"), std::string::npos);
  EXPECT_EQ(font.Font, nullptr);
}

}  // namespace
}  // namespace falatro
