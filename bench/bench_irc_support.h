// Shared set-up of the client benchmarks: a scratch suite tree with a voice made to order, the
// client's settings file, and a real ngircd on a loopback address of its own.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "diphone_record.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace falatro::benchirc {

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// Lays out a suite tree under root (win/, root/, letras/, difones/, prog/): the project's
/// transcription rules, a diphone database with every unit of one or two phoneme symbols (each 400
/// samples), a recording for every character, NARRIX.INI, and falatro.ini naming server and nick.
/// Sets NARRIX_WINDIR and NARRIX_ROOT. Returns false when the rules cannot be read.
inline bool MakeSuiteTree(const std::string& root, const std::string& server, const std::string& nick,
                          const std::string& password) {
  namespace fs = std::filesystem;
  for (const char* d : {"/win", "/root", "/letras", "/difones", "/prog"}) fs::create_directories(root + d);
  const std::string src = FALATRO_SOURCE_DIR;
  const std::string rules = ReadFile(src + "/data/transcriber/regras.rgr");
  if (rules.empty()) return false;
  WriteFile(root + "/difones/regras.rgr", rules);
  WriteFile(root + "/difones/portug.exc", ReadFile(src + "/data/transcriber/portug.exc"));

  const std::vector<std::string> names = testsupport::SymbolPairUnitNames(
      {"A", "E", "ECIRC", "I", "O", "OCIRC", "U", "ATIL", "ETIL", "ITIL", "OTIL", "UTIL", "W", "Y", "B", "D",
       "DJ", "F", "G", "J", "K", "KS", "L", "LH", "M", "N", "NH", "NN", "P", "R", "RR", "S", "T", "TCH", "V",
       "X", "Z"});
  std::string index, data;
  const uint16_t length = 400;
  std::string samples(length, '\0');
  for (uint16_t i = 0; i < length; ++i) samples[i] = static_cast<char>(128 + ((i % 40) < 20 ? 30 : -30));
  for (const std::string& n : names) {
    index += testsupport::DiphoneIndexRecord(n, length, static_cast<uint32_t>(data.size()));
    data += samples;
  }
  WriteFile(root + "/difones/BENCH.IND", index);
  WriteFile(root + "/difones/BENCH.DIF", data);

  uint8_t header[44];
  BuildWaveHeader(header, 200, 11025, 1, 8);
  std::string letter(reinterpret_cast<char*>(header), sizeof header);
  letter += samples.substr(0, 200);
  for (int c = 33; c < 256; ++c) WriteFile(root + "/letras/_" + std::to_string(c) + ".wav", letter);

  WriteFile(root + "/win/NARRIX.INI",
            "[TRADUTOR]\r\ndirLetras=" + root + "/letras\r\nDIRLETRAS=" + root + "/letras\r\nDIRDIFONES=" +
                root + "/difones\r\n[SINTETIZADOR]\r\nDIFONES3=BENCH\r\nCORTEFON3=0\r\nSOBRAFON3=0\r\n"
                "INTERPAL3=100\r\n[FALATRO]\r\nDIRFALATRO=" + root + "/prog\r\n");
  WriteFile(root + "/root/falatro.ini",
            "[Falatro]\r\nServidor=" + server + "\r\nNick=" + nick + "\r\nSenha=" + password + "\r\n");
  setenv("NARRIX_WINDIR", (root + "/win").c_str(), 1);
  setenv("NARRIX_ROOT", (root + "/root").c_str(), 1);
  return true;
}

/// A fresh scratch folder.
inline std::string ScratchDir(const char* name) {
  std::string tmpl = std::string("/tmp/") + name + "-XXXXXX";
  if (!mkdtemp(tmpl.data())) return {};
  return tmpl;
}

/// CPU seconds (user + system) the process has used.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/// Seconds from an environment variable, or def.
inline int SecondsFromEnv(const char* name, int def) {
  const char* v = std::getenv(name);
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : def;
}

/// A sound device that plays each block in 1/speed_up of its time (1: real time) and notes when the
/// sound is cut.
struct ScaledSoundDevice : SoundBackend {
  explicit ScaledSoundDevice(int speed) : speed_up(speed) {}
  int speed_up;
  WaveFormat format;
  std::vector<int> timers;
  std::chrono::steady_clock::time_point last_reset{};
  uint64_t resets = 0;
  const char* Name() const override { return "scaled"; }
  int Open(const WaveFormat& f) override {
    format = f;
    return 0;
  }
  void Close() override {}
  void Play(SoundBlock* block) override {
    const uint64_t per_second = uint64_t(format.rate) * std::max<uint32_t>(1, format.BlockAlign());
    const uint64_t ms = std::max<uint64_t>(1, uint64_t(block->length) * 1000 / per_second / speed_up);
    timers.push_back(AddTimer(ms, [block] { SoundBlockPlayed(block); }));
  }
  void Reset() override {
    for (int id : timers) CancelTimer(id);
    timers.clear();
    last_reset = std::chrono::steady_clock::now();
    ++resets;
  }
  void StartEffect(const int16_t*, size_t, uint32_t, bool) override {}
  void StopEffect() override {}
};

}  // namespace falatro::benchirc
