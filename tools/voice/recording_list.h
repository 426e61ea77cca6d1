// The list of recordings the suite needs, read from the voice's text files in data/voice.
#pragma once

#include <string>
#include <vector>

namespace falatro {

/// Where a recording goes below the suite root.
enum class RecordingPlace { kProgram, kLetters };

/// One recording: its file name (without ".wav"), where it goes and the UTF-8 text it says.
struct RecordingEntry {
  std::string Name;
  RecordingPlace Place = RecordingPlace::kLetters;
  std::string Text;
};

/// Reads "NAME=text" lines of a UTF-8 list file ('#' lines and blank lines skipped, blanks around
/// the name and the text trimmed). Appends the entries to *out. Returns false and sets *error (file
/// and line) when the file cannot be read, a line has no "=", a name is empty, longer than 8
/// characters or not a plain file name, a text is empty, or a name repeats one already listed.
bool ReadRecordingList(const std::string& path, RecordingPlace place, std::vector<RecordingEntry>* out,
                       std::string* error);

/// Reads the voice's four lists from data_dir ("prompts.txt" for the program, "letters.txt",
/// "words.txt" and "editor.txt" for the letters directory).
bool ReadAllRecordings(const std::string& data_dir, std::vector<RecordingEntry>* out, std::string* error);

/// Renders speech to a recording: generator sound halved to 11025 Hz, leading and trailing silence
/// dropped (2 ms kept), loudness matched, edges faded to the zero level, 8-bit unsigned samples.
/// Empty when the generator gives no sound.
std::vector<uint8_t> RenderRecording(const std::vector<int16_t>& samples22050);

}  // namespace falatro
