// The project's own MBROLA-compatible synthesizer library: the 23 entry points over one PsolaSynth.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/mbrola/mbrola_api.h"
#include "platform/mbrola/psola_synth.h"

using namespace falatro;

namespace {

PsolaSynth Synth;
void* Parser = nullptr;

/// A phoneme object of the phone interface: a name, a length and its pitch points.
struct OwnPhone {
  std::string Name;
  float Length = 0;
  std::vector<std::pair<float, float>> Points;
};

int CopyText(const std::string& text, char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return int(text.size());
  size_t n = std::min(text.size(), size_t(capacity - 1));
  memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return int(n);
}

// Renames ("old new old new ...") and clones ("old new ...": new gets copies of old's units) phonemes.
bool RenameAndClone(const char* rename, const char* clone) {
  auto pairs = [](const char* text) {
    std::vector<std::string> words;
    if (!text) return words;
    std::string w;
    for (const char* p = text;; ++p) {
      if (*p == 0 || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
        if (!w.empty()) words.push_back(w);
        w.clear();
        if (*p == 0) break;
      } else {
        w += *p;
      }
    }
    return words;
  };
  std::vector<std::string> r = pairs(rename), c = pairs(clone);
  if (r.size() % 2 || c.size() % 2) return false;
  DiphoneStore& st = Synth.Store;
  for (size_t i = 0; i < r.size(); i += 2) {
    int p = FindStorePhoneme(st, r[i]);
    if (p < 0 || !IsStorePhonemeName(r[i + 1]) || FindStorePhoneme(st, r[i + 1]) >= 0) return false;
    st.Phonemes[size_t(p)] = r[i + 1];
  }
  for (size_t i = 0; i < c.size(); i += 2) {
    int p = FindStorePhoneme(st, c[i]);
    if (p < 0 || !IsStorePhonemeName(c[i + 1]) || FindStorePhoneme(st, c[i + 1]) >= 0) return false;
    uint16_t q = uint16_t(st.Phonemes.size());
    st.Phonemes.push_back(c[i + 1]);
    size_t units = st.Units.size();
    for (size_t u = 0; u < units; ++u) {
      const DiphoneUnit a = st.Units[u];
      // Every way of putting the clone in place of the original on either side.
      for (int variant = 1; variant < 4; ++variant) {
        bool left = variant & 1, right = variant & 2;
        if ((left && a.Left != p) || (right && a.Right != p)) continue;
        DiphoneUnit b = a;
        if (left) b.Left = q;
        if (right) b.Right = q;
        st.Units.push_back(b);
      }
    }
  }
  if (!IndexDiphoneStore(&st)) return false;
  Synth.Silence = FindStorePhoneme(st, "_");
  return true;
}

}  // namespace

#define OWN_EXPORT extern "C" __attribute__((visibility("default")))

OWN_EXPORT int init_MBR(char* database_path) {
  try {
    return PsolaInit(Synth, database_path ? database_path : "");
  } catch (const std::exception&) {
    return -1;
  }
}

OWN_EXPORT int init_rename_MBR(char* database_path, char* rename, char* clone) {
  try {
    if (PsolaInit(Synth, database_path ? database_path : "") < 0) return -1;
    if (!RenameAndClone(rename, clone)) {
      PsolaClose(Synth);
      Synth.LastError = kPsolaBadDatabase;
      Synth.LastErrorText = "bad rename or clone list";
      return -1;
    }
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

OWN_EXPORT int write_MBR(char* lines) {
  if (!lines) return 0;
  try {
    return PsolaWrite(Synth, lines);
  } catch (const std::exception&) {
    Synth.LastError = kPsolaBadLine;
    Synth.LastErrorText = "out of memory";
    return -1;
  }
}

OWN_EXPORT int flush_MBR(void) {
  try {
    PsolaFlush(Synth);
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

OWN_EXPORT int read_MBR(short* buffer, int capacity) { return PsolaRead(Synth, buffer, capacity); }

OWN_EXPORT int readtype_MBR(void* buffer, int capacity, int type) {
  if (type == kMbrLinear16) return PsolaRead(Synth, static_cast<int16_t*>(buffer), capacity);
  if (type != kMbrLinear8 || !buffer || capacity <= 0) return -1;
  std::vector<int16_t> wide(static_cast<size_t>(capacity));
  int n = PsolaRead(Synth, wide.data(), capacity);
  auto* out = static_cast<uint8_t*>(buffer);
  for (int i = 0; i < n; ++i) out[i] = uint8_t((wide[size_t(i)] >> 8) + 128);
  return n;
}

OWN_EXPORT void close_MBR(void) { PsolaClose(Synth); }

OWN_EXPORT int reset_MBR(void) {
  PsolaReset(Synth);
  return 0;
}

OWN_EXPORT int lastError_MBR(void) { return Synth.LastError; }

OWN_EXPORT int lastErrorStr_MBR(char* buffer, int capacity) { return CopyText(Synth.LastErrorText, buffer, capacity); }

OWN_EXPORT void setNoError_MBR(int no_error) { Synth.NoError = no_error != 0; }

OWN_EXPORT int getNoError_MBR(void) { return Synth.NoError ? 1 : 0; }

OWN_EXPORT void setFreq_MBR(int rate) { PsolaSetOutputRate(Synth, rate); }

OWN_EXPORT int getFreq_MBR(void) { return Synth.OutputRate; }

OWN_EXPORT void setVolumeRatio_MBR(float ratio) {
  if (ratio >= 0.0f && ratio <= 16.0f) Synth.Volume = ratio;
}

OWN_EXPORT float getVolumeRatio_MBR(void) { return Synth.Volume; }

OWN_EXPORT int getVersion_MBR(char* buffer, int capacity) { return CopyText("Falatro PSOLA 1.0", buffer, capacity); }

OWN_EXPORT int getDatabaseInfo_MBR(char* buffer, int capacity, int index) {
  std::string text;
  if (!Synth.Loaded) {
    text = "";
  } else if (index == 0) {
    text = "Falatro diphone database " + Synth.DatabasePath + ": " + std::to_string(Synth.Store.Phonemes.size()) +
           " phonemes, " + std::to_string(Synth.Store.Units.size()) + " diphones, " +
           std::to_string(Synth.Store.Rate) + " Hz, pitch " + std::to_string(Synth.Store.Rate / Synth.Store.Period) +
           " Hz";
  } else if (index == 1) {
    for (const auto& p : Synth.Store.Phonemes) text += (text.empty() ? "" : " ") + p;
  }
  return CopyText(text, buffer, capacity);
}

// This library reads phoneme lines itself; a parser handed in is kept only so it can be asked back.
OWN_EXPORT void setParser_MBR(void* parser) { Parser = parser; }

OWN_EXPORT void* init_Phone(char* name, float length_ms) {
  try {
    auto* phone = new OwnPhone;
    phone->Name = name ? name : "";
    phone->Length = length_ms;
    return phone;
  } catch (const std::exception&) {
    return nullptr;
  }
}

OWN_EXPORT void reset_Phone(void* phone) {
  if (phone) static_cast<OwnPhone*>(phone)->Points.clear();
}

OWN_EXPORT void close_Phone(void* phone) { delete static_cast<OwnPhone*>(phone); }

OWN_EXPORT void appendf0_Phone(void* phone, float position, float hertz) {
  if (phone) static_cast<OwnPhone*>(phone)->Points.emplace_back(position, hertz);
}
