// Scaffolding for the screen reader and line editor tests.
#include "test_reader_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "console/frontend.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "quiet_console.h"
#include "speech/diphone_synth.h"
#include "speech/line_editor.h"
#include "speech/number_words.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::testing {

namespace fs = std::filesystem;

TestKey Ch(uint8_t c, uint8_t mods) { return TestKey{kMsgChar, 0, mods, c}; }

TestKey Vk(uint16_t vk, uint8_t mods) {
  const bool sys = (mods & kModAlt) && !(mods & kModCtrl);
  return TestKey{sys ? kMsgSysKeyDown : kMsgKeyDown, vk, mods, 0};
}

std::vector<TestKey> Text(std::string_view text) {
  std::vector<TestKey> keys;
  for (char c : text) keys.push_back(Ch(static_cast<uint8_t>(c)));
  return keys;
}

void ReaderEditorFixture::SetUp() {
  char tmpl[] = "/tmp/falatro-editor-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  letters_ = dir_ + "/letras";
  fs::create_directories(letters_);
  fs::create_directories(dir_ + "/win");
  setenv("NARRIX_WINDIR", (dir_ + "/win").c_str(), 1);
  setenv("NARRIX_ROOT", (dir_ + "/root").c_str(), 1);
  wav_ = dir_ + "/heard.wav";

  testsupport::StartQuietConsole(&sim_, /*key_up_events=*/true);
  ResetWavePlayer();
  InitSuiteSettings();
  std::string error;
  ASSERT_TRUE(OpenSoundDevice("file:" + wav_, &error)) << error;
  Speech = SpeechState();
  Speech.LettersDir = letters_ + "/";
  Speech.ProgramSoundDir = dir_ + "/prog/";
  Diphone.LettersDir = letters_ + "/";
  ResetScreenReader();
  ResetLineEditor();
  // No test may open a real document or browser on the machine running it.
  Editor.DefaultOpener = "true";
  Reader.TraceSpeech = true;
  Editor.TraceSpeech = true;
  InitConsole();
  Crt.TextAttr = 0x07;
  ClrScr();
}

void ReaderEditorFixture::TearDown() {
  StopWave();
  CloseSoundDevice();
  EventLoop.timers.clear();
  SetConsoleFrontend(nullptr);
  SetLoopBackend(nullptr);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void ReaderEditorFixture::Recording(const std::string& name, const std::string& label, int length) {
  uint8_t value = 0;
  for (const auto& [v, l] : labels_)
    if (l == label) value = v;
  if (value == 0) {
    // Sample values of the beep (64..128) and of the click's noise (128..187) are never used.
    if (next_value_ == 64) next_value_ = 188;
    ASSERT_NE(next_value_, 0) << "too many recordings";
    value = next_value_++;
    labels_[value] = label;
  }
  uint8_t header[kWaveHeaderSize];
  BuildWaveHeader(header, static_cast<uint32_t>(length + 1), 11025, 1, 8);
  std::string bytes(reinterpret_cast<char*>(header), sizeof header);
  bytes.append(static_cast<size_t>(length), static_cast<char>(value));
  bytes.push_back(static_cast<char>(128));
  std::ofstream out(letters_ + "/" + name + ".wav", std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void ReaderEditorFixture::CharSounds(std::string_view chars) {
  for (char c : chars)
    Recording("_" + std::to_string(static_cast<uint8_t>(c)), std::string(1, c));
}

void ReaderEditorFixture::NumberWords(const std::vector<std::string>& words) {
  for (const std::string& w : words) Recording(NumberWordFileName(w), w);
}

void ReaderEditorFixture::Type(const std::vector<TestKey>& keys, uint64_t gap_ms) {
  uint64_t at = sim_.now;
  for (const TestKey& k : keys) {
    at += gap_ms;
    Message m;
    m.kind = k.kind;
    m.key.vk = k.vk;
    m.key.mods = k.mods;
    m.key.ch = k.ch;
    sim_.Schedule(at, m);
  }
}

std::string ReaderEditorFixture::Heard() {
  std::ifstream in(wav_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < kWaveHeaderSize) return "";
  const size_t start = kWaveHeaderSize + heard_bytes_;
  heard_bytes_ = bytes.size() - kWaveHeaderSize;
  // The device records 16-bit sound at 22050 Hz: every source sample of 11025 Hz twice.
  std::vector<uint8_t> v;
  for (size_t i = start; i + 1 < bytes.size(); i += 4) {
    const int16_t s = static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    v.push_back(static_cast<uint8_t>((s >> 8) + 128));
  }
  std::string out;
  auto add = [&](const std::string& token) {
    if (!out.empty()) out += ' ';
    out += token;
  };
  size_t i = 0;
  while (i < v.size()) {
    const uint8_t x = v[i];
    if (x == 128) {
      ++i;
      continue;
    }
    auto run_of = [&](auto inside) {
      int quiet = 0;
      while (i < v.size() && inside(v[i]) && quiet < 16) {
        quiet = v[i] == 128 ? quiet + 1 : 0;
        ++i;
      }
    };
    if (x == 64 || x == 80 || x == 96 || x == 112) {
      // Beeps follow each other without a gap: each is 512 samples long.
      const size_t from = i;
      run_of([](uint8_t s) { return s == 64 || s == 80 || s == 96 || s == 112 || s == 128; });
      const size_t beeps = std::max<size_t>(1, (i - from + 256) / 512);
      for (size_t b = 0; b < beeps; ++b) add("beep");
    } else if (x > 128 && x <= 187) {
      run_of([](uint8_t s) { return s >= 128 && s <= 187; });
      add("click");
    } else {
      while (i < v.size() && v[i] == x) ++i;
      auto it = labels_.find(x);
      add(it == labels_.end() ? "?" : it->second);
    }
  }
  return out;
}

void ReaderEditorFixture::Put(int row, int col, std::string_view text, uint8_t attr) {
  for (size_t k = 0; k < text.size() && col - 1 + k < 80; ++k) {
    const int cell = (row - 1) * 80 + col - 1 + static_cast<int>(k);
    Crt.ScreenBuffer[cell] = static_cast<uint8_t>(text[k]);
    Crt.AttrBuffer[cell] = attr;
  }
}

std::string ReaderEditorFixture::Row(int row) {
  return std::string(reinterpret_cast<const char*>(Crt.ScreenBuffer) + (row - 1) * 80, 80);
}

std::vector<uint8_t> ReaderEditorFixture::Attrs(int row, int col, int count) {
  std::vector<uint8_t> a;
  for (int k = 0; k < count; ++k) a.push_back(Crt.AttrBuffer[(row - 1) * 80 + col - 1 + k]);
  return a;
}

}  // namespace falatro::testing
