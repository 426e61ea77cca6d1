// Scaffolding for the screen reader and line editor tests: headless console on a simulated clock, the
// `file` sound device, recordings made to order, and keys typed as front-end key events.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_loop.h"

namespace falatro::testing {

/// One key as a front-end reports it.
struct TestKey {
  int kind = kMsgChar;
  uint16_t vk = 0;
  uint8_t mods = 0;
  uint8_t ch = 0;
};
/// A typed character (Ctrl+letter codes are typed with their control value, e.g. Ch(3) for Ctrl+C).
TestKey Ch(uint8_t c, uint8_t mods = 0);
/// A key-down of a virtual key (function and cursor keys), with modifiers.
TestKey Vk(uint16_t vk, uint8_t mods = 0);
/// Every character of text typed in turn.
std::vector<TestKey> Text(std::string_view text);

/// Base fixture: fresh console (headless front-end), keyboard, wave player, speech front end, all on a
/// simulated clock; sound goes to the `file` device in a scratch directory, whose letters directory
/// holds recordings made by the test. Each recording is a run of one sample value, distinct per label,
/// so what was heard can be read back in order.
class ReaderEditorFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Writes letters/name.wav (8-bit mono 11025 Hz, length samples, then a silent sample) heard as label.
  void Recording(const std::string& name, const std::string& label, int length = 200);
  /// The recordings of single characters ("_" + code), each heard as the character itself.
  void CharSounds(std::string_view chars);
  /// The recordings of the given number words ("_" + word), heard as the word.
  void NumberWords(const std::vector<std::string>& words);

  /// Schedules keys on the simulated clock, gap_ms apart, starting gap_ms from now.
  void Type(const std::vector<TestKey>& keys, uint64_t gap_ms = 10000);

  /// What the sound device recorded since the last call, as labels separated by blanks ("beep" and
  /// "click" for the two signals, "?" for a sound that is none of them).
  std::string Heard();

  /// Writes text at column col of row row (1-based) with attribute attr straight into the screen.
  void Put(int row, int col, std::string_view text, uint8_t attr = 0x07);
  /// The 80 characters of a screen row.
  std::string Row(int row);
  /// The attributes of a screen row's cells from col, count of them.
  std::vector<uint8_t> Attrs(int row, int col, int count);

  std::string dir_, letters_, wav_;
  SimulatedBackend sim_;
  std::map<uint8_t, std::string> labels_;
  uint8_t next_value_ = 1;
  size_t heard_bytes_ = 0;
};

}  // namespace falatro::testing
