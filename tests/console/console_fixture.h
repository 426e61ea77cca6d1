// Shared set-up of the console tests: simulated clock, a recording front-end and sound sink.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "console/console_sound.h"
#include "console/frontend.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro::testing {

/// Remembers what the console asked of it.
struct RecordingFrontend : ConsoleFrontend {
  struct Span { int row, first, end; };
  std::vector<Span> spans;
  std::vector<TextRect> scrolls;
  int repaints = 0;
  std::vector<std::pair<bool, int>> carets;  // visible, col + row * 80
  std::string title;
  std::vector<std::string> notices;
  int beeps = 0;
  bool key_ups = true;
  bool has_clipboard = false;
  std::string clipboard;
  LoopBackend* backend = nullptr;
  bool opened = false;
  int closes = 0;

  const char* Name() const override { return "recording"; }
  bool Open(std::string*) override { return opened = true; }
  void Close() override { ++closes; }
  void PaintSpan(int row, int first, int end) override { spans.push_back({row, first, end}); }
  void RepaintAll() override { ++repaints; }
  void ScrollUp(int l, int t, int r, int b, bool) override { scrolls.push_back({l, t, r, b}); }
  void SetCaret(bool visible, int col, int row) override { carets.push_back({visible, col + row * 80}); }
  void SetTitle(std::string_view t) override { title.assign(t); }
  void Beep() override { ++beeps; }
  bool SetClipboard(std::string_view t) override {
    if (!has_clipboard) return false;
    clipboard.assign(t);
    return true;
  }
  bool GetClipboard(std::string* t) override {
    if (!has_clipboard) return false;
    *t = clipboard;
    return true;
  }
  bool HasKeyUpEvents() const override { return key_ups; }
  void Notice(std::string_view t) override { notices.emplace_back(t); }
  LoopBackend* Backend() override { return backend; }
};

/// Records tones (frequency read back from the image: 11025 / length of the first low run x 2 ...
/// kept simple: the images themselves) and beeps.
struct RecordingSink : ConsoleSoundSink {
  std::vector<std::vector<uint8_t>> played;
  std::vector<uint64_t> played_at;
  int stops = 0;
  int beeps = 0;
  bool playing = false;
  void PlayLoop(const uint8_t* image, size_t length) override {
    played.emplace_back(image, image + length);
    played_at.push_back(NowMs());
    playing = true;
  }
  void StopLoop() override {
    ++stops;
    playing = false;
  }
  void Beep() override { ++beeps; }
};

/// Console state reset, a simulated clock, an empty settings directory, exits that throw.
class ConsoleTest : public ::testing::Test {
 protected:
  SimulatedBackend sim;
  RecordingFrontend fe;
  RecordingSink sink;
  std::filesystem::path windir;

  void SetUp() override {
    windir = std::filesystem::path(FALATRO_BINARY_DIR) / "test-tmp" /
             (std::string("console-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(windir);
    std::filesystem::create_directories(windir);
    setenv("NARRIX_WINDIR", windir.c_str(), 1);
    {
      std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
      EventLoop.posted.clear();
    }
    EventLoop.timers.clear();
    SetLoopBackend(&sim);
    SetMessageHandler(nullptr);
    Crt.Frontend = nullptr;
    ResetConsoleState();
    ResetKeyboardState();
    Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
    fe.backend = &sim;
    SetConsoleSoundSink(&sink);
    SetWaveDoneHandler(nullptr);
  }

  void TearDown() override {
    SetConsoleSoundSink(nullptr);
    Crt.Frontend = nullptr;
    ResetConsoleState();
    ResetKeyboardState();
  }

  void WriteIni(const std::string& text) {
    std::ofstream(windir / "NARRIX.INI", std::ios::binary) << text;
  }

  /// Creates the console with the recording front-end (no settings file unless written before).
  void Open() {
    Crt.Frontend = &fe;
    InitConsole();
  }

  static void Write(const std::string& s) { WriteConsoleText(s.data(), static_cast<uint16_t>(s.size())); }

  /// The characters of absolute row (0-based), trailing blanks kept.
  static std::string Row(int row) {
    return std::string(reinterpret_cast<const char*>(&Crt.ScreenBuffer[row * ScreenCols]), ScreenCols);
  }

  /// The bytes queued in the key buffer.
  static std::string Queue() {
    return std::string(reinterpret_cast<const char*>(Kbd.KeyBuffer), Kbd.KeyCount);
  }
};

}  // namespace falatro::testing
