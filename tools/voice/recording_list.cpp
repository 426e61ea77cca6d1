// The list of recordings the suite needs, read from the voice's text files in data/voice.
#include "recording_list.h"

#include <fstream>
#include <set>

#include "sound_shaping.h"

namespace falatro {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool PlainName(const std::string& name) {
  if (name.empty() || name.size() > 8) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '.' || c == ' ' || static_cast<unsigned char>(c) < 32) return false;
  return true;
}

}  // namespace

bool ReadRecordingList(const std::string& path, RecordingPlace place, std::vector<RecordingEntry>* out,
                       std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::set<std::string> seen;
  for (const auto& e : *out) seen.insert(e.Name);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    size_t eq = t.find('=');
    std::string where = path + ":" + std::to_string(number) + ": ";
    if (eq == std::string::npos) {
      if (error) *error = where + "no '=' in the line";
      return false;
    }
    RecordingEntry e;
    e.Name = Trim(t.substr(0, eq));
    e.Text = Trim(t.substr(eq + 1));
    e.Place = place;
    if (!PlainName(e.Name)) {
      if (error) *error = where + "a recording name is 1 to 8 characters of a plain file name";
      return false;
    }
    if (e.Text.empty()) {
      if (error) *error = where + "the recording " + e.Name + " has no text";
      return false;
    }
    if (!seen.insert(e.Name).second) {
      if (error) *error = where + "the recording " + e.Name + " is listed twice";
      return false;
    }
    out->push_back(e);
  }
  return true;
}

bool ReadAllRecordings(const std::string& data_dir, std::vector<RecordingEntry>* out, std::string* error) {
  return ReadRecordingList(data_dir + "/prompts.txt", RecordingPlace::kProgram, out, error) &&
         ReadRecordingList(data_dir + "/letters.txt", RecordingPlace::kLetters, out, error) &&
         ReadRecordingList(data_dir + "/words.txt", RecordingPlace::kLetters, out, error) &&
         ReadRecordingList(data_dir + "/editor.txt", RecordingPlace::kLetters, out, error);
}

std::vector<uint8_t> RenderRecording(const std::vector<int16_t>& samples22050) {
  std::vector<float> s = HalveRate(samples22050);
  size_t first = 0, last = 0;
  SoundExtent(s, 300.0f, kSuiteRate / 100, &first, &last);
  if (last <= first) return {};
  s = std::vector<float>(s.begin() + long(first), s.begin() + long(last));
  MatchLoudness(s, kSuiteRate);
  FadeEdges(s);
  return ToUnsigned8(s);
}

}  // namespace falatro
