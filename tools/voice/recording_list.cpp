// The list of recordings the suite needs, read from the voice's text files in data/voice.
#include "recording_list.h"

#include <algorithm>
#include <set>
#include <utility>

#include "name_value_file.h"
#include "sound_shaping.h"

namespace falatro {

namespace {

bool PlainName(const std::string& name) {
  if (name.empty() || name.size() > 8) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '.' || c == ' ' || static_cast<unsigned char>(c) < 32) return false;
  return true;
}

}  // namespace

bool ReadRecordingList(const std::string& path, RecordingPlace place, std::vector<RecordingEntry>* out,
                       std::string* error) {
  std::set<std::string> seen;
  for (const auto& e : *out) seen.insert(e.Name);
  return ReadNameValueFile(path, [&](const NameValueLine& line) -> std::string {
    if (!line.HasEquals) return line.Where + "no '=' in the line";
    RecordingEntry e;
    e.Name = line.Name;
    e.Text = line.Value;
    e.Place = place;
    if (!PlainName(e.Name)) return line.Where + "a recording name is 1 to 8 characters of a plain file name";
    if (e.Text.empty()) return line.Where + "the recording " + e.Name + " has no text";
    if (!seen.insert(e.Name).second) return line.Where + "the recording " + e.Name + " is listed twice";
    out->push_back(std::move(e));
    return {};
  }, error);
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
  SoundExtent(s, 300.0f, 0, &first, &last);
  if (last <= first) return {};
  // A recording sounds at once and ends with its sound: 2 ms (the span of its fades) before its first
  // audible sample and after its last one, so that words joined one after the other (numbers, dates)
  // follow each other as closely as in speech.
  first = first > kEdgeFade ? first - kEdgeFade : 0;
  last = std::min(s.size(), last + kEdgeFade);
  s = std::vector<float>(s.begin() + long(first), s.begin() + long(last));
  MatchLoudness(s, kSuiteRate);
  FadeEdges(s);
  return ToUnsigned8(s);
}

}  // namespace falatro
