// The census of diphone units: every unit name the transcriber and the synthesizer's own splitting ask
// for while saying a word list, the prompt texts and the number words.
#include "unit_census.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>

#include "base/emoji_names.h"
#include "base/paths.h"
#include "base/text_encoding.h"
#include "recording_list.h"
#include "speech/diphone_synth.h"
#include "speech/number_words.h"
#include "tts/transcriber.h"

namespace falatro {

bool ReadWordList(const std::string& path, std::vector<std::string>* words, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read the word list " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    // Lists are UTF-8; a line that is not is taken as cp1252 already.
    words->push_back(IsValidUtf8(line) ? Utf8ToCp1252(line) : line);
  }
  return true;
}

bool ReadVoiceTexts(const std::string& data_dir, std::vector<std::string>* texts, std::string* error) {
  std::vector<RecordingEntry> list;
  if (!ReadAllRecordings(data_dir + "/voice", &list, error)) return false;
  for (const auto& e : list) texts->push_back(Utf8ToCp1252(e.Text));
  return true;
}

bool FindTranscriberFiles(const std::string& data_dir, std::string* rules, std::string* exceptions) {
  for (const char* sub : {"", "/transcriber"}) {
    std::string dir = data_dir + sub;
    if (FileExists(dir + "/regras.rgr") && FileExists(dir + "/portug.exc")) {
      *rules = dir + "/regras.rgr";
      *exceptions = dir + "/portug.exc";
      return true;
    }
  }
  return false;
}

bool LoadTranscriberData(const std::string& data_dir, std::string* error) {
  std::string rules, exceptions;
  if (!FindTranscriberFiles(data_dir, &rules, &exceptions)) {
    if (error) *error = "the transcriber's regras.rgr and portug.exc are not in " + data_dir;
    return false;
  }
  return LoadTranscriptionRules(rules, error) && LoadTranscriptionExceptions(exceptions, error);
}

void PrepareSilentSynthesizer() {
  Diphone.Buffer.assign(kSpeechBufferSize, 0);
  Diphone.Fill = kWaveHeaderSize;
  Diphone.OnFlush = [](const uint8_t*, size_t) {};
}

void ReleaseSilentSynthesizer() {
  Diphone.OnLookup = nullptr;
  Diphone.OnFlush = nullptr;
  Diphone.Buffer.clear();
  Diphone.Index.clear();
  if (Diphone.DataFd >= 0) close(Diphone.DataFd);
  Diphone.DataFd = -1;
  Diphone.DataSize = 0;
}

namespace {

// Every text whose words the voice is sure to be asked for beyond the word lists: its own prompt
// texts, the words numbers are said with and the names of emoji.
bool CensusTexts(const std::string& data_dir, const std::vector<std::string>& word_lists,
                 std::vector<std::string>* texts, std::string* error) {
  for (const auto& list : word_lists)
    if (!ReadWordList(list, texts, error)) return false;
  if (!ReadVoiceTexts(data_dir, texts, error)) return false;
  std::set<std::string> number_words;
  auto add_words = [&](const std::string& words) {
    size_t p = 0;
    while (p < words.size()) {
      size_t q = words.find(' ', p);
      if (q == std::string::npos) q = words.size();
      if (q > p) number_words.insert(words.substr(p, q - p));
      p = q + 1;
    }
  };
  for (uint64_t n = 0; n < 1000; ++n) add_words(NumberToWords(n));
  for (uint64_t scale : {1000ull, 1000000ull, 1000000000ull, 1000000000000ull})
    add_words(NumberToWords(scale)), add_words(NumberToWords(2 * scale));
  texts->insert(texts->end(), number_words.begin(), number_words.end());
  // The names emoji are said by: the network edge writes them into the text.
  for (size_t i = 0; i < EmojiNameCount(); ++i) texts->emplace_back(EmojiNameAt(i));
  return true;
}

void SayText(const std::string& text) { SayTranscription(TranscribeText(text), false); }

}  // namespace

bool RunUnitCensus(const std::string& data_dir, const std::vector<std::string>& word_lists, UnitCensus* census,
                   std::string* error, const std::function<bool(const std::string&)>& storable) {
  *census = UnitCensus{};
  std::vector<std::string> texts;
  if (!CensusTexts(data_dir, word_lists, &texts, error)) return false;
  if (!LoadTranscriberData(data_dir, error)) return false;
  PrepareSilentSynthesizer();
  // First pass: with an empty index every name misses; the names asked for directly are the
  // inventory. Later passes load those that can be stored as silent records and say everything again:
  // the fallbacks of names that cannot be stored (too long for a record) then ask for shorter names,
  // which join the inventory, until a pass finds nothing new.
  std::set<std::string> wanted;
  for (int pass = 0; pass < 4; ++pass) {
    std::vector<DiphoneRecord> index;
    for (const auto& name : wanted) {
      DiphoneRecord rec;
      rec.NameLength = uint8_t(name.size());
      std::memcpy(rec.Name, name.data(), name.size());
      index.push_back(rec);
    }
    Diphone.Index = index;
    std::set<std::string> asked;
    std::map<std::string, size_t> units, stressed, recordings;
    size_t lookups = 0;
    Diphone.OnLookup = [&](std::string_view name, int depth, bool found) {
      if (!name.empty() && name[0] == '_') {
        if (depth == 0) ++recordings[std::string(name)];
        return;
      }
      if (depth == 0) {
        ++lookups;
        ++units[std::string(name)];
        if (Diphone.UnitMode == 2) ++stressed[std::string(name)];  // the unit holds the stressed vowel
      }
      if (!found && (pass == 0 ? depth == 0 : true)) asked.insert(std::string(name));
    };
    size_t words = 0;
    for (const auto& t : texts) {
      SayText(t);
      ++words;
    }
    if (pass == 0) {
      census->Units = units;
      census->Stressed = stressed;
      census->Recordings = recordings;
      census->Lookups = lookups;
      census->Words = words;
    }
    size_t before = wanted.size();
    for (const auto& name : asked)
      if (name.size() <= 8 && (!storable || storable(name))) wanted.insert(name);
    for (const auto& name : asked)
      if (!census->Units.count(name)) census->Units[name] = 0;  // asked for only as a fallback
    if (wanted.size() == before && pass > 0) break;
  }
  ReleaseSilentSynthesizer();
  FreeTranscriptionRules();
  return true;
}

bool OpenDatabaseSilently(const std::string& index_path, const std::string& letters_dir, std::string* error) {
  PrepareSilentSynthesizer();
  if (!LoadDiphoneIndex(index_path, &Diphone.Index, error)) {
    ReleaseSilentSynthesizer();
    return false;
  }
  std::string data_path = index_path.substr(0, index_path.size() - 4) + ".DIF";
  Diphone.DataFd = open(data_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (Diphone.DataFd < 0 || fstat(Diphone.DataFd, &st) != 0) {
    if (error) *error = "cannot open " + data_path;
    ReleaseSilentSynthesizer();
    return false;
  }
  Diphone.DataSize = uint64_t(st.st_size);
  Diphone.LettersDir = letters_dir;
  return true;
}

std::vector<uint8_t> SayToMemory(const std::string& text) {
  std::vector<uint8_t> sound;
  Diphone.OnFlush = [&sound](const uint8_t* data, size_t length) { sound.insert(sound.end(), data, data + length); };
  SayText(text);
  Diphone.OnFlush = [](const uint8_t*, size_t) {};
  return sound;
}

bool MeasureCoverage(const std::string& index_path, const std::string& letters_dir,
                     const std::vector<std::string>& texts, UnitCoverage* coverage, std::string* error) {
  *coverage = UnitCoverage{};
  if (!OpenDatabaseSilently(index_path, letters_dir, error)) return false;
  Diphone.OnLookup = [coverage](std::string_view name, int depth, bool found) {
    if (depth != 0) {
      ++coverage->FallbackLookups;
      if (!found) ++coverage->FallbackMisses;
      return;
    }
    ++coverage->Lookups;
    if (found) ++coverage->Hits;
    else ++coverage->Missed[std::string(name)];
  };
  for (const auto& t : texts) {
    SayText(t);
    ++coverage->Words;
  }
  ReleaseSilentSynthesizer();
  return true;
}

}  // namespace falatro
