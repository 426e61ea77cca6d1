// The built-in engine's top level: start-up, speaking through the synthesizer library, shut-down.
#include "tts/velar.h"

#include <algorithm>
#include <cstring>

#include "base/paths.h"
#include "platform/mbrola/mbrola_binding.h"
#include "tts/registry_string.h"
#include "tts/velar_text.h"

namespace falatro {

VelarState Velar;

namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void SetErrorText(const char* text) { Velar.ErrorText.assign(text, std::min<size_t>(strlen(text), 255)); }

// Releases what a start-up got as far as (the synthesizer and its library).
void ReleaseLibrary() {
  if (Mbrola.close_MBR) Mbrola.close_MBR();
  UnbindMbrola();
}

void PlayCollected() {
  MakeWaveHeader(Velar.PlayBuffer, uint32_t(Velar.PlayFill), kVelarRate, 16, 1);
  if (Velar.Output.PlayImage) Velar.Output.PlayImage(Velar.PlayBuffer, 44 + Velar.PlayFill);
}

// One read of at most kVelarReadSamples samples; bytes read (an answer out of range counts as none,
// or as a full buffer).
size_t ReadSamples() {
  int n = Mbrola.read_MBR(Velar.SampleBuffer, int(kVelarReadSamples));
  if (n <= 0) return 0;
  return 2 * std::min<size_t>(size_t(n), kVelarReadSamples);
}

}  // namespace

void MakeWaveHeader(uint8_t* h, uint32_t data_size, uint32_t rate, uint16_t bits, uint16_t channels) {
  uint16_t align = uint16_t(channels * (bits / 8));
  memcpy(h, "RIFF", 4);
  Put32(h + 4, data_size + 36);
  memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);
  Put16(h + 22, channels);
  Put32(h + 24, rate);
  Put32(h + 28, rate * align);
  Put16(h + 32, align);
  Put16(h + 34, bits);
  memcpy(h + 36, "data", 4);
  Put32(h + 40, data_size);
}

void VelarSetOutputFile(const std::string& name) { Velar.OutputFileName = name; }
void VelarSetLibrary(const std::string& path) { Velar.Library = path; }
void VelarSetSoundOutput(const VelarSoundOutput& output) { Velar.Output = output; }

void VelarSetSpeedAndPitch(double duration_factor, double pitch_factor) {
  Velar.DurationFactor = duration_factor;
  Velar.PitchFactor = pitch_factor;
}

bool VelarInit(const std::string& database_arg, const std::string& rules_arg, const std::string& exceptions_arg,
               const std::string& abbreviations_arg, const std::string& prosody_arg,
               const std::string& definitions_arg) {
  if (Velar.Started) VelarDone();
  if (!BindMbrola(Velar.Library)) return false;
  auto or_default = [](const std::string& v, const char* d) { return v.empty() ? std::string(d) : v; };
  std::string database = or_default(database_arg, "br4");
  std::string rules = or_default(rules_arg, "portug.nrl"), exceptions = or_default(exceptions_arg, "portug.exc"),
              abbreviations = or_default(abbreviations_arg, "portug.abr"),
              prosody = or_default(prosody_arg, "portug.pro"), definitions = or_default(definitions_arg, "portug.dfn");
  std::string path = database, value;
  if (ReadRegistryString(kLocalMachine, std::string(kMbrolaDatabasesKey) + database + "\\", &value)) {
    path = value.empty() ? MapPath("c:\\zanvel\\velartts\\br4") : value;
  }
  auto init = [](const std::string& p) {
    std::vector<char> c_path(p.begin(), p.end());
    c_path.push_back(0);
    return Mbrola.init_MBR(c_path.data()) >= 0;
  };
  bool ready = init(path);
  // The project's own library reads only its own voices: a system voice of another make found first
  // gives way to the suite's own copy of the database.
  std::string own = FindFileNoCase(JoinPath(MapPath("c:\\zanvel\\velartts"), database));
  if (!ready && Velar.Library.empty() && own != path && FileExists(own)) ready = init(own);
  if (!ready) {
    UnbindMbrola();
    return false;
  }
  Mbrola.setNoError_MBR(1);
  VelarFreeData();
  std::string error_text;
  if (!VelarLoadData(rules, exceptions, abbreviations, prosody, definitions, &error_text)) {
    SetErrorText(error_text.c_str());
    VelarFreeData();
    ReleaseLibrary();
    return false;
  }
  Velar.WritingToFile = false;
  if (!Velar.OutputFileName.empty()) {
    FILE* f = fopen(MapPath(Velar.OutputFileName).c_str(), "wb");
    if (!f) {
      VelarFreeData();
      ReleaseLibrary();
      return false;
    }
    uint8_t header[44];
    MakeWaveHeader(header, 0, kVelarRate, 16, 1);
    if (fwrite(header, 1, 44, f) != 44 || fflush(f) != 0) {
      SetErrorText("Arquivo de sa\xED" "da n\xE3o pode ser criado");
      fclose(f);
      VelarFreeData();
      ReleaseLibrary();
      return false;
    }
    Velar.OutputFile = f;
    Velar.WritingToFile = true;
  }
  Velar.Started = true;
  return true;
}

bool VelarSpeak(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return true;
  size_t last = text.find_last_not_of(" \t\r\n");
  return VelarSpeakLines(VelarTextToLines(text.substr(first, last - first + 1), Velar.DurationFactor,
                                          Velar.PitchFactor));
}

bool VelarSpeakLines(const std::vector<std::string>& lines) {
  if (!Velar.Started || !Mbrola.write_MBR) return false;
  bool result = true;
  bool saved_fast = false, saved_cut = false;
  if (Velar.Output.FastRate) {
    saved_fast = *Velar.Output.FastRate;
    *Velar.Output.FastRate = false;
  }
  if (Velar.Output.CutPeriods) {
    saved_cut = *Velar.Output.CutPeriods;
    *Velar.Output.CutPeriods = false;
  }
  Mbrola.reset_MBR();
  Velar.PlayFill = 0;
  std::vector<char> line;
  for (size_t i = 0; i < lines.size(); ++i) {
    bool is_last = i + 1 == lines.size();
    if (lines[i].empty() && !is_last) continue;
    line.assign(lines[i].begin(), lines[i].end());
    line.insert(line.end(), {'\r', '\n', '\0'});
    Mbrola.write_MBR(line.data());
    if (Mbrola.lastError_MBR() != 0) {
      Mbrola.reset_MBR();
      result = false;
    }
    if (is_last) Mbrola.flush_MBR();
    size_t bytes = ReadSamples();
    while (bytes > 0) {
      const auto* samples = reinterpret_cast<const uint8_t*>(Velar.SampleBuffer);
      if (Velar.WritingToFile) {
        if (fwrite(samples, 1, bytes, Velar.OutputFile) != bytes) result = false;
      } else {
        // An empty buffer is never handed over: with nothing collected yet the read goes in first.
        if (Velar.PlayFill + bytes >= kVelarPlayChunk && Velar.PlayFill > 0) {
          PlayCollected();
          Velar.PlayFill = 0;
        }
        memcpy(Velar.PlayBuffer + 44 + Velar.PlayFill, samples, bytes);
        Velar.PlayFill += bytes;
      }
      bytes = ReadSamples();
    }
  }
  // What a text made is in the file when VelarSpeak returns.
  if (Velar.WritingToFile && fflush(Velar.OutputFile) != 0) result = false;
  if (!Velar.WritingToFile && Velar.PlayFill > 0) {
    if (Velar.PlayFill < kVelarMinPlayBytes) {
      memset(Velar.PlayBuffer + 44 + Velar.PlayFill, 0, kVelarMinPlayBytes - Velar.PlayFill);
      Velar.PlayFill = kVelarMinPlayBytes;
    }
    PlayCollected();
  }
  if (Velar.Output.FastRate) *Velar.Output.FastRate = saved_fast;
  if (Velar.Output.CutPeriods) *Velar.Output.CutPeriods = saved_cut;
  return result;
}

bool VelarIsSpeaking() {
  if (Velar.WritingToFile) return false;
  return Velar.Output.IsPlaying ? Velar.Output.IsPlaying() : false;
}

void VelarStop() {
  if (!Velar.WritingToFile && Velar.Output.Stop) Velar.Output.Stop();
}

void VelarDone() {
  if (Velar.WritingToFile && Velar.OutputFile) {
    fclose(Velar.OutputFile);
    Velar.OutputFile = nullptr;
    if (FILE* f = fopen(MapPath(Velar.OutputFileName).c_str(), "r+b")) {
      fseek(f, 0, SEEK_END);
      long size = ftell(f);
      uint64_t data = size > 44 ? uint64_t(size) - 44 : 0;
      uint8_t header[44];
      MakeWaveHeader(header, uint32_t(std::min<uint64_t>(data, 0xFFFFFFFFu - 36)), kVelarRate, 16, 1);
      fseek(f, 0, SEEK_SET);
      fwrite(header, 1, 44, f);
      fclose(f);
    }
  }
  Velar.WritingToFile = false;
  VelarFreeData();
  ReleaseLibrary();
  Velar.Started = false;
}

}  // namespace falatro
