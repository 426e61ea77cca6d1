// Random key sequences through the line editor and the screen review: whatever is typed or pasted,
// nothing crashes, the field keeps its length and the review cursor stays on the screen.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "speech/line_editor.h"
#include "test_reader_support.h"

namespace falatro::testing {
namespace {

class RandomKeysTest : public ReaderEditorFixture {};

// A key an editor or review user could press, any of them.
TestKey RandomKey(std::mt19937& rng) {
  static const uint16_t kVks[] = {VK_F1, VK_F1 + 3, VK_F1 + 4, VK_F1 + 5, VK_F1 + 7, VK_F12, VK_HOME, VK_END,
                                  VK_LEFT, VK_RIGHT, VK_DELETE, VK_INSERT, VK_PRIOR, VK_NEXT};
  static const uint8_t kMods[] = {0, kModShift, kModCtrl, kModShift | kModCtrl, kModAlt | kModCtrl};
  const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
  if (kind < 4) {
    return Vk(kVks[std::uniform_int_distribution<size_t>(0, std::size(kVks) - 1)(rng)],
              kMods[std::uniform_int_distribution<size_t>(0, std::size(kMods) - 1)(rng)]);
  }
  if (kind < 6) {
    static const uint8_t kControls[] = {1, 3, 4, 8, 11, 19, 21, 22, 25, 28, 127};
    return Ch(kControls[std::uniform_int_distribution<size_t>(0, std::size(kControls) - 1)(rng)]);
  }
  uint8_t c = static_cast<uint8_t>(std::uniform_int_distribution<int>(32, 255)(rng));
  // The keys that end an edit or a review only at the end of the sequence.
  if (c == 27) c = 'a';
  return Ch(c);
}

TEST_F(RandomKeysTest, TheFieldKeepsItsLength) {
  std::mt19937 rng(20261207);
  const int maxes[] = {1, 3, 10, 40, 300};
  for (int round = 0; round < 60; ++round) {
    const int max = maxes[round % 5];
    std::string clip;
    for (int k = std::uniform_int_distribution<int>(0, 400)(rng); k > 0; --k)
      clip += static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
    CopyToClipboard(clip.c_str());
    std::string text;
    for (int k = std::uniform_int_distribution<int>(0, max + 5)(rng); k > 0; --k)
      text += static_cast<char>(std::uniform_int_distribution<int>(32, 255)(rng));
    std::vector<TestKey> keys;
    for (int k = 0; k < 40; ++k) {
      TestKey key = RandomKey(rng);
      // Extended keys without an action would end the edit early; the review and the speed key have
      // tests of their own.
      if (key.kind != kMsgChar) {
        const bool ctrl_ok = key.vk == VK_LEFT || key.vk == VK_RIGHT || key.vk == VK_INSERT ||
                             key.vk == VK_F1 || key.vk == VK_F1 + 7;
        if ((key.mods & kModCtrl) && !ctrl_ok) key.mods = key.mods & kModShift;
        key.mods &= kModShift | kModCtrl;
        if (key.vk == VK_INSERT && key.mods == 0) key.mods = kModShift;  // plain Insert ends an edit
        if (key.vk == VK_F1 + 4 || key.vk == VK_F1 + 5 || key.vk == VK_PRIOR || key.vk == VK_NEXT)
          key = Ch('x');
      }
      if (key.kind == kMsgChar && key.vk == 0 && key.ch == 13) key.ch = ' ';
      keys.push_back(key);
    }
    keys.push_back(Ch(13));
    Type(keys);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(EditLineSpoken(text, 3, 6, 20, max), 13);
    EXPECT_LE(static_cast<int>(text.size()), max);
    EXPECT_EQ(static_cast<int>(Editor.Field.size()), max);
    EXPECT_TRUE(text.empty() || text.back() != ' ');
    // The field stays on its row.
    EXPECT_EQ(Row(7), std::string(80, ' '));
    Heard();
  }
}

TEST_F(RandomKeysTest, TheReviewStaysOnTheScreen) {
  std::mt19937 rng(7);
  for (int r = 1; r <= 25; ++r) {
    std::string line;
    for (int c = 0; c < 80; ++c) line += static_cast<char>(std::uniform_int_distribution<int>(32, 255)(rng));
    Put(r, 1, line, static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng)));
  }
  const std::string before = std::string(reinterpret_cast<const char*>(Crt.ScreenBuffer), ScreenCells);
  for (int round = 0; round < 20; ++round) {
    std::vector<TestKey> keys;
    for (int k = 0; k < 40; ++k) keys.push_back(RandomKey(rng));
    // Enough Esc keys to leave a search, a go-to or a two-letter command and then the review.
    for (int k = 0; k < 5; ++k) keys.push_back(Ch(27));
    Type(keys);
    GotoXY(std::uniform_int_distribution<int>(1, 80)(rng), std::uniform_int_distribution<int>(1, 25)(rng));
    // Keys left over after Esc (the Esc may come early, typed as part of a search) are flushed below.
    ScreenReview();
    EXPECT_GE(Reader.Row, 1);
    EXPECT_LE(Reader.Row, ScreenRows);
    EXPECT_GE(Reader.Col, 1);
    EXPECT_LE(Reader.Col, 81);
    EXPECT_LE(Reader.SearchText.size(), kMaxSearchText);
    while (!sim_.script.empty()) {
      sim_.now = sim_.script.back().at;
      sim_.script.clear();
    }
    while (KeyPressed()) ReadKey();
    Heard();
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Crt.ScreenBuffer), ScreenCells), before);
}

}  // namespace
}  // namespace falatro::testing
