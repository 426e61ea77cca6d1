// Scaffolding for the speech tests: a recording sound device on a simulated clock and a scratch suite tree.
#include "test_speech_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "console/nxcrt.h"
#include "diphone_record.h"
#include "quiet_console.h"
#include "speech/diphone_synth.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::testing {

namespace fs = std::filesystem;

void SpeechFixture::SetUp() {
  char tmpl[] = "/tmp/falatro-speech-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  root_ = tmpl;
  win_ = root_ + "/win";
  letters_ = root_ + "/letras";
  difones_ = root_ + "/difones";
  prog_ = root_ + "/prog";
  for (const std::string& d : {win_, letters_, difones_, prog_}) fs::create_directories(d);
  setenv("NARRIX_WINDIR", win_.c_str(), 1);
  setenv("NARRIX_ROOT", (root_ + "/root").c_str(), 1);

  testsupport::StartQuietConsole(&sim_, /*key_up_events=*/false);
  Crt.wall_clock_ms = nullptr;
  ResetWavePlayer();
  InitSuiteSettings();
  SetSoundBackend(&device_);
  StopDiphoneSynthesizer();
  Diphone = DiphoneSynthState{};
  Speech = SpeechState();
}

void SpeechFixture::TearDown() {
  StopDiphoneSynthesizer();
  StopWave();
  SetSoundBackend(nullptr);
  EventLoop.timers.clear();
  SetLoopBackend(nullptr);
  std::error_code ec;
  fs::remove_all(root_, ec);
}

uint8_t SpeechFixture::ValueOf(const std::string& label) {
  auto it = values_.find(label);
  if (it != values_.end()) return it->second;
  if (next_value_ == 88) next_value_ = 168;
  EXPECT_NE(next_value_, 0) << "too many labels";
  uint8_t v = next_value_++;
  values_[label] = v;
  labels_[v] = label;
  return v;
}

void SpeechFixture::WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

void SpeechFixture::WriteRecording(const std::string& dir, const std::string& name, int length,
                                   const std::string& label) {
  uint8_t header[44];
  BuildWaveHeader(header, static_cast<uint32_t>(length), 11025, 1, 8);
  std::string bytes(reinterpret_cast<char*>(header), sizeof header);
  bytes.append(static_cast<size_t>(length), static_cast<char>(ValueOf(label.empty() ? name : label)));
  WriteFile(dir + "/" + name + ".wav", bytes);
}

void SpeechFixture::WriteIni(const std::string& extra, bool standard) {
  std::string text = "[TRADUTOR]\r\n";
  if (standard) {
    text += "dirLetras=" + letters_ + "\r\nDIRDIFONES=" + difones_ + "\r\n";
    text += "DIRLETRAS=" + letters_ + "\r\n";
  }
  text += extra;
  if (standard) {
    text +=
        "\r\n[SINTETIZADOR]\r\nDIFONES3=VOZ\r\nCORTEFON3=0\r\nSOBRAFON3=0\r\nINTERPAL3=100\r\n"
        "CORTAFALA3=\r\nRAPIDINHO3=\r\n";
  }
  WriteFile(win_ + "/NARRIX.INI", text);
}

void SpeechFixture::WriteDatabase(const std::string& name, std::vector<TestUnit> units) {
  std::sort(units.begin(), units.end(), [](const TestUnit& a, const TestUnit& b) { return a.name < b.name; });
  std::string index, data;
  for (const TestUnit& u : units) {
    index += testsupport::DiphoneIndexRecord(u.name, static_cast<uint16_t>(u.length),
                                             static_cast<uint32_t>(data.size()));
    data.append(static_cast<size_t>(u.length), static_cast<char>(ValueOf(u.name)));
  }
  WriteFile(difones_ + "/" + name + ".IND", index);
  WriteFile(difones_ + "/" + name + ".DIF", data);
}

void SpeechFixture::WriteRules(const std::string& rules, const std::string& exceptions) {
  WriteFile(difones_ + "/regras.rgr", rules);
  WriteFile(difones_ + "/portug.exc", exceptions);
}

std::string SpeechFixture::Describe(const std::vector<uint8_t>& d, bool counts) {
  auto label_of = [&](uint8_t v) -> std::string {
    if (v == 128) return "sil";
    auto it = labels_.find(v);
    if (it != labels_.end()) return it->second;
    return v >= 88 && v <= 167 ? "noise" : "?" + std::to_string(v);
  };
  // A unit read short of its end fades its last samples to the zero level (at most 22 of them, moving
  // straight towards 128 and reaching it or the end of what was played): they belong to that unit.
  std::vector<std::string> sample_labels(d.size());
  for (size_t i = 0; i < d.size(); ++i) sample_labels[i] = label_of(d[i]);
  for (size_t i = 1; i < d.size(); ++i) {
    if (d[i - 1] == 128 || d[i] == d[i - 1] || !labels_.count(d[i - 1])) continue;
    int dir = d[i - 1] < 128 ? 1 : -1;
    size_t j = i;
    while (j < d.size() && j - i < 22 && (int(d[j]) - int(d[j - 1])) * dir > 0 && (int(d[j]) - 128) * dir <= 0 &&
           d[j] != 128)
      ++j;
    if (j + 1 == d.size() && d[j] == d[j - 1]) j = d.size();  // Trace's stand-in for the player's last sample
    bool reaches_zero = j < d.size() && d[j] == 128 && (int(d[j]) - int(d[j - 1])) * dir > 0;
    if (j > i && j - i <= 22 && (reaches_zero || j == d.size())) {
      size_t last = std::min(j, d.size() - 1);
      for (size_t k = i; k <= last; ++k) sample_labels[k] = sample_labels[i - 1];
      i = last;
    }
  }
  std::vector<std::pair<std::string, size_t>> runs;
  for (size_t i = 0; i < d.size(); ++i) {
    const std::string& l = sample_labels[i];
    if (!runs.empty() && runs.back().first == l) ++runs.back().second;
    else runs.push_back({l, 1});
  }
  // Noise may hit 128 now and then: short silences inside noise belong to it.
  std::vector<std::pair<std::string, size_t>> merged;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].first == "sil" && runs[i].second < 8 && !merged.empty() && merged.back().first == "noise" &&
        i + 1 < runs.size() && runs[i + 1].first == "noise") {
      merged.back().second += runs[i].second + runs[i + 1].second;
      ++i;
    } else if (!merged.empty() && merged.back().first == runs[i].first) {
      merged.back().second += runs[i].second;
    } else {
      merged.push_back(runs[i]);
    }
  }
  if (!merged.empty() && merged.back().first == "sil") merged.pop_back();
  std::string text;
  for (const auto& [label, n] : merged) {
    if (!counts && label == "sil") continue;
    if (!text.empty()) text += ' ';
    text += counts ? label + "*" + std::to_string(n) : label;
  }
  return text;
}

std::string SpeechFixture::Trace(bool counts) {
  std::vector<uint8_t> click(Speech.ClickImage + 44, Speech.ClickImage + kClickImageSize);
  click.back() = 128;
  static const uint8_t kBeep[8] = {128, 112, 96, 80, 64, 80, 96, 112};
  std::string out;
  for (const PlayedBlock& b : device_.blocks) {
    std::vector<uint8_t> d = b.data;
    std::string text;
    std::vector<uint8_t> beep(512);
    for (size_t i = 0; i < 512; ++i) beep[i] = kBeep[i % 8];
    beep.back() = 128;
    if (d == click) {
      text = "click";
    } else if (d == beep) {
      text = "beep";
    } else {
      // The player ends every block at the zero level: take the last sample back to what came before.
      if (d.size() >= 2 && d.back() == 128 && d[d.size() - 2] != 128) d.back() = d[d.size() - 2];
      text = Describe(d, counts);
    }
    if (!out.empty()) out += " | ";
    out += text;
  }
  device_.blocks.clear();
  return out;
}

size_t SpeechFixture::PlayedBytes() const {
  size_t n = 0;
  for (const PlayedBlock& b : device_.blocks) n += b.data.size();
  return n;
}

}  // namespace falatro::testing
