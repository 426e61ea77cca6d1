// Scaffolding for the client's tests.
#include "app_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/client_state.h"
#include "app/server_link.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "diphone_record.h"
#include "net/transport.h"
#include "platform/console/headless/headless_frontend.h"
#include "quiet_console.h"
#include "speech/diphone_synth.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::apptest {

namespace fs = std::filesystem;

constexpr uint8_t kLetterValue = 70;

void AppFixture::SetUp() {
  char tmpl[] = "/tmp/falatro-app-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  root_ = tmpl;
  win_ = root_ + "/win";
  narrix_root_ = root_ + "/root";
  prog_ = root_ + "/prog";
  letters_ = root_ + "/letras";
  difones_ = root_ + "/difones";
  for (const std::string& d : {win_, narrix_root_, prog_, letters_, difones_}) fs::create_directories(d);
  setenv("NARRIX_WINDIR", win_.c_str(), 1);
  setenv("NARRIX_ROOT", narrix_root_.c_str(), 1);

  // A voice of four vowel units and one rule: enough for the speech front end to start and to sound.
  std::string index, data;
  const char* names[] = {"$A", "$E", "$O", "$U"};
  for (const char* name : names) {
    const uint16_t length = 40;
    index += testsupport::DiphoneIndexRecord(name, length, static_cast<uint32_t>(data.size()));
    data.append(length, static_cast<char>(60));
  }
  WriteFile(difones_ + "/VOZ.IND", index);
  WriteFile(difones_ + "/VOZ.DIF", data);
  WriteFile(difones_ + "/regras.rgr", "(A)=a|\n");
  WriteFile(difones_ + "/portug.exc", "");
  WriteIni();
  // Every character has a recording (all of one sound), so any text makes sound.
  {
    uint8_t header[44];
    BuildWaveHeader(header, 20, 11025, 1, 8);
    std::string letter(reinterpret_cast<char*>(header), sizeof header);
    letter.append(20, static_cast<char>(kLetterValue));
    for (int c = 33; c < 256; ++c) WriteFile(letters_ + "/_" + std::to_string(c) + ".wav", letter);
  }

  testsupport::StartQuietConsole(&sim_, /*key_up_events=*/false);
  ResetWavePlayer();
  InitSuiteSettings();
  SetSoundBackend(&device_);
  StopDiphoneSynthesizer();
  Diphone = DiphoneSynthState{};
  Speech = SpeechState();
  Speech.ProgramSoundDir = prog_ + "/";
  Speech.LettersDir = letters_ + "/";
  ResetClientState();
  ServerLink = ServerLinkState{};
  Transport = TransportState{};
  InitConsole();
}

void AppFixture::TearDown() {
  if (Client.ServerSocket > 0) CloseConnection(Client.ServerSocket);
  ResetClientState();
  StopDiphoneSynthesizer();
  StopWave();
  SetSoundBackend(nullptr);
  testsupport::ClearEventLoop();
  SetLoopBackend(nullptr);
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void AppFixture::UseRealClock() {
  SetLoopBackend(RealClockBackend());
  HeadlessFrontend(RealClockBackend());
}

void AppFixture::StartRealClockConsoleHeardIn(const std::string& wav_path) {
  UseRealClock();
  ResetConsoleState();
  SetConsoleFrontend(HeadlessFrontend(RealClockBackend()));
  Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
  InitConsole();
  SetSoundBackend(nullptr);
  ASSERT_TRUE(OpenSoundDevice("file:" + wav_path));
}

void AppFixture::Type(const std::string& bytes) {
  for (char c : bytes) PostChar(static_cast<uint8_t>(c), 0);
}

void AppFixture::TypeAt(uint64_t at_ms, const std::string& bytes) {
  for (char c : bytes) {
    Message m;
    m.kind = kMsgChar;
    m.key.ch = static_cast<uint8_t>(c);
    sim_.Schedule(at_ms, m);
    at_ms += 10;
  }
}

void AppFixture::WriteIni(const std::string& extra) {
  std::string text = "[TRADUTOR]\r\ndirLetras=" + letters_ + "\r\nDIRDIFONES=" + difones_ +
                     "\r\nDIRLETRAS=" + letters_ +
                     "\r\n\r\n[SINTETIZADOR]\r\nDIFONES3=VOZ\r\nCORTEFON3=0\r\nSOBRAFON3=0\r\n"
                     "INTERPAL3=100\r\nCORTAFALA3=\r\nRAPIDINHO3=\r\n" +
                     extra + "\r\n";
  WriteFile(win_ + "/NARRIX.INI", text);
}

void AppFixture::StartSpeech() { InitSpeech(3, prog_); }

void AppFixture::RecordPrompt(const std::string& key) {
  const uint8_t value = next_value_++;
  labels_[value] = key;
  const uint32_t length = 60;
  uint8_t header[44];
  BuildWaveHeader(header, length, 11025, 1, 8);
  std::string bytes(reinterpret_cast<char*>(header), sizeof header);
  bytes.append(length, static_cast<char>(value));
  WriteFile(prog_ + "/" + key + ".wav", bytes);
}

std::vector<std::string> AppFixture::PlayedPrompts() {
  std::vector<std::string> out;
  for (const testsupport::PlayedBlock& b : device_.blocks) {
    uint8_t last = 0;
    for (uint8_t v : b.data) {
      if (v == last) continue;
      last = v;
      auto it = labels_.find(v);
      if (it != labels_.end()) out.push_back(it->second);
    }
  }
  device_.blocks.clear();
  return out;
}

std::string AppFixture::Row(int row) const {
  std::string text(reinterpret_cast<const char*>(Crt.ScreenBuffer) + (row - 1) * ScreenCols, ScreenCols);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string AppFixture::Screen() const {
  std::string out;
  for (int row = 1; row <= ScreenRows; ++row) {
    std::string text = Row(row);
    if (text.empty()) continue;
    if (!out.empty()) out += "\n";
    out += text;
  }
  return out;
}

void AppFixture::WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string AppFixture::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace falatro::apptest
