// The spoken line editor and key echo: every typed key, movement and deletion is heard.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// Longest field EditLineSpoken edits.
constexpr int kMaxEditLength = 2048;

/// Codes EditLineSpoken returns besides the keys that end it.
constexpr int kEditAltF1 = 104;  ///< Alt+F1 ended the editing

/// State of the line editor (one instance, `Editor`). The field fields describe the edit in progress
/// (or the last one); tests inspect them.
struct LineEditorState {
  std::string Field;      ///< the text, padded with blanks to MaxLength
  int MaxLength = 0;      ///< 1..kMaxEditLength
  int Width = 0;          ///< visible width
  int Column = 1;         ///< where the field starts on the console (1-based, text window)
  int Row = 1;
  int Cursor = 1;         ///< 1..MaxLength + 1
  int FirstVisible = 1;   ///< first position shown
  int SelAnchor = 0;      ///< selection anchor and end, 0 when unset; the selection covers the
  int SelEnd = 0;         ///< positions from the smaller to the larger, the larger excluded
  std::string EntryText;  ///< the padded text at entry (Ctrl+U)
  bool FirstKey = false;  ///< no key handled yet in this edit
  bool Editing = false;   ///< EditLineSpoken is running

  /// How the speed key restarts speech with a new speed (DoneSpeech then InitSpeech with the speed and
  /// the current program sound directory). Tests replace it.
  std::function<void(int speed)> restart_speech;
  /// The program that opens what has no program of its own in the settings.
  std::string DefaultOpener = "xdg-open";
  /// The last program OpenLinkOrFile started: its argument vector (program first) and process id
  /// (0 when none was started). Children are reaped on later calls.
  std::vector<std::string> LastLaunch;
  int LastLaunchPid = 0;
  std::vector<int> Children;  ///< started and not yet reaped

  /// When TraceSpeech is set, every text the editor hands to SpeakText or SpellText is also appended
  /// here as "say:" + text or "spell:" + text.
  bool TraceSpeech = false;
  std::vector<std::string> SpeechTrace;
};
extern LineEditorState Editor;

/// Puts Editor back to its start-up values (hooks to their defaults). For tests.
void ResetLineEditor();

/// Waits for silence (a key cuts it), then reads one key: key is the byte, ext the extended code (32
/// for a plain key). After 0 the extended code is read; after the prefixes 16, 17, 18 (Alt+Q, Alt+W,
/// Alt+E) the next byte becomes the key and ext stays the prefix. F8 says the time and reads again.
/// A key above 31, other than 222 and 223, is said and written at the console cursor.
void ReadKeySpoken(uint8_t& key, uint8_t& ext);

/// Edits text in a one-line field at column, row (1-based, in the text window), showing width
/// characters, at most max_length characters long (capped at kMaxEditLength; a width above it, or
/// past the window's right edge, is narrowed). Every movement, deletion and insertion is heard.
/// Returns the key that ended the editing: 9, 10, 13 or 27, the extended code of an extended key
/// without an action of its own, or kEditAltF1. On return the field is drawn unhighlighted from its
/// start, the cursor is at its start, and text holds the field without trailing blanks (never longer
/// than max_length).
int EditLineSpoken(std::string& text, int column, int row, int width, int max_length);

/// Reads a line of at most 255 characters at the console cursor. Esc blanks what was typed and gives
/// an empty text. The console line is ended. Returns the key that ended the editing.
int ReadLineSpoken(std::string& text);

/// Reads a number at the console cursor: an entry that is empty after trimming leaves value unchanged;
/// otherwise a whole number (optional sign, digits; kept within the int range) replaces it. An entry
/// that is not a number leaves value unchanged and beeps. The console line is ended. Returns the key
/// that ended the editing.
int ReadNumberSpoken(int& value);

/// Reads one key, cuts speech and says the key. Returns it.
uint8_t ReadKeyEchoed();

/// Opens a web address or file: links ("http://", "https://", "www.") with "NARRIX"/"PROG.HTM", other
/// texts with "NARRIX"/"PROG." + their extension, each given the text as its one argument; with no
/// program set, DefaultOpener opens the text. A name ending in ".EXE" or ".COM" is run itself, only when
/// it is an executable file. Programs are started directly with an argument vector (no shell), detached
/// from the console; a failure says nothing. Returns true when a program was started.
bool OpenLinkOrFile(std::string_view text);

}  // namespace falatro
