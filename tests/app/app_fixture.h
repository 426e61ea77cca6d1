// Scaffolding for the client's tests: console, keyboard, speech and a recording sound device on a
// simulated (or real) clock, with a scratch suite tree holding a tiny voice and prompt recordings.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "recording_sound_backend.h"

namespace falatro::apptest {

/// Fresh console (headless front-end, no key-up events), keyboard, wave player, speech and client
/// state; a recording sound device; NARRIX_WINDIR and NARRIX_ROOT in a scratch directory with
/// NARRIX.INI, a tiny diphone voice, and the client's sound directory prog/.
class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Runs the loop on the real clock instead of the simulated one (tests with sockets served by
  /// another thread: a simulated clock would run out its time-outs before the other side answers).
  void UseRealClock();
  /// UseRealClock with a fresh console on the headless front-end (its exit throws ConsoleExit) and
  /// the `file` sound device writing everything heard to wav_path.
  void StartRealClockConsoleHeardIn(const std::string& wav_path);
  /// Types bytes as key presses, one every 10 ms from at_ms on (simulated time).
  void TypeAt(uint64_t at_ms, const std::string& bytes);
  /// Types bytes as key presses now (posted to the loop: for the real-clock tests).
  static void Type(const std::string& bytes);
  /// Writes win/NARRIX.INI: the voice's keys plus extra lines (CR LF separated, sections included).
  void WriteIni(const std::string& extra = {});
  /// Starts the speech front end with the client's sound directory.
  void StartSpeech();
  /// Gives key a recording in the client's sound directory, so playing it can be recognised.
  void RecordPrompt(const std::string& key);
  /// Labels of the recordings played since the last call, in order (each recording once per block).
  std::vector<std::string> PlayedPrompts();
  /// True when anything was played since the last PlayedPrompts (prompt or voice).
  bool AnySound() const { return !device_.blocks.empty(); }
  /// Text of an absolute screen row (1..25) without trailing blanks.
  std::string Row(int row) const;
  /// Every row that is not blank, joined by "\n".
  std::string Screen() const;
  bool ScreenHas(const std::string& text) const { return Screen().find(text) != std::string::npos; }
  void WriteFile(const std::string& path, const std::string& bytes);
  std::string ReadFile(const std::string& path);

  std::string root_, win_, narrix_root_, prog_, letters_, difones_;
  SimulatedBackend sim_;
  testsupport::RecordingSoundBackend device_;
  std::map<uint8_t, std::string> labels_;
  uint8_t next_value_ = 200;
};

}  // namespace falatro::apptest
