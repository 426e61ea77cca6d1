// Scaffolding for the client's tests: console, keyboard, speech and a recording sound device on a
// simulated (or real) clock, with a scratch suite tree holding a tiny voice and prompt recordings.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "console/frontend.h"
#include "speech/sound_device.h"

namespace falatro::apptest {

/// A device that keeps every block it is given and finishes it after its playing time.
struct RecordingDevice : SoundBackend {
  struct Block {
    std::vector<uint8_t> data;
    uint64_t at_ms;
  };
  std::vector<Block> blocks;
  WaveFormat format;
  std::vector<int> timers;
  const char* Name() const override { return "recording"; }
  int Open(const WaveFormat& f) override;
  void Close() override {}
  void Play(SoundBlock* block) override;
  void Reset() override;
  void StartEffect(const int16_t*, size_t, uint32_t, bool) override {}
  void StopEffect() override {}
};

/// A front-end that shows nothing.
struct QuietFrontend : ConsoleFrontend {
  LoopBackend* backend = nullptr;
  const char* Name() const override { return "quiet"; }
  bool Open(std::string*) override { return true; }
  void Close() override {}
  void PaintSpan(int, int, int) override {}
  void RepaintAll() override {}
  void ScrollUp(int, int, int, int, bool) override {}
  void SetCaret(bool, int, int) override {}
  void SetTitle(std::string_view) override {}
  void Beep() override {}
  bool SetClipboard(std::string_view) override { return false; }
  bool GetClipboard(std::string*) override { return false; }
  bool HasKeyUpEvents() const override { return false; }
  void Notice(std::string_view) override {}
  LoopBackend* Backend() override { return backend; }
};

/// Fresh console, keyboard, wave player, speech and client state; NARRIX_WINDIR and NARRIX_ROOT in a
/// scratch directory with NARRIX.INI, a tiny diphone voice, and the client's sound directory prog/.
class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Runs the loop on the real clock instead of the simulated one (tests with sockets served by
  /// another thread: a simulated clock would run out its time-outs before the other side answers).
  void UseRealClock();
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
  void WriteFile(const std::string& path, const std::string& bytes);
  std::string ReadFile(const std::string& path);

  std::string root_, win_, narrix_root_, prog_, letters_, difones_;
  SimulatedBackend sim_;
  RecordingDevice device_;
  QuietFrontend frontend_;
  std::map<uint8_t, std::string> labels_;
  uint8_t next_value_ = 200;
};

}  // namespace falatro::apptest
