// The spoken line editor and key echo: every typed key, movement and deletion is heard.
#include "speech/line_editor.h"

#include <algorithm>
#include <climits>
#include <string>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "speech/number_words.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

LineEditorState Editor;

namespace {

void DefaultRestartSpeech(int speed) {
  const std::string dir = Speech.ProgramSoundDir;
  DoneSpeech();
  InitSpeech(speed, dir);
}

// Key codes the editor acts on.
constexpr uint8_t kCtrlC = 3, kCtrlD = 4, kBackspace = 8, kTab = 9, kCtrlEnter = 10, kCtrlK = 11,
                  kEnter = 13, kCtrlS = 19, kCtrlU = 21, kCtrlV = 22, kCtrlY = 25, kEsc = 27,
                  kCtrlBackslash = 28, kCtrlBackspace = 127, kFocusGained = 222, kFocusLost = 223;
constexpr uint8_t kF1 = 59, kF4 = 62, kF8 = 66, kF12 = 70, kHome = 71, kLeft = 75, kRight = 77,
                  kEnd = 79, kDelete = 83, kCtrlF1 = 94, kCtrlF4 = 97, kCtrlF8 = 101, kCtrlF9 = 102,
                  kCtrlLeft = 115, kCtrlRight = 116, kAlt1 = 120, kAlt0 = 129, kShiftInsert = 254,
                  kCtrlInsert = 255;
constexpr uint8_t kHighlightBackground = 8;

void Say(std::string_view text) {
  if (Editor.TraceSpeech) Editor.SpeechTrace.push_back("say:" + std::string(text));
  SpeakText(text);
}

void Spell(std::string_view text) {
  if (Editor.TraceSpeech) Editor.SpeechTrace.push_back("spell:" + std::string(text));
  SpellText(text);
}

bool IsPrefix(uint8_t ext) { return ext == 16 || ext == 17 || ext == 18; }

// Reads the second code of an extended key, and after a prefix the key it announces.
void ReadExtended(uint8_t& key, uint8_t& ext) {
  ext = 32;
  key = ReadKey();
  if (key == 0) {
    ext = ReadKey();
    if (IsPrefix(ext)) key = ReadKey();
  }
}

// ---- the field --------------------------------------------------------------------------------

std::string& F() { return Editor.Field; }
int Max() { return Editor.MaxLength; }

char At(int pos) { return (pos >= 1 && pos <= Max()) ? F()[pos - 1] : ' '; }
bool BlankAt(int pos) { return At(pos) == ' '; }

// Position after the last non-blank character (1 for an empty field).
int EndPosition() {
  int p = Max();
  while (p >= 1 && BlankAt(p)) --p;
  return p + 1;
}

bool FieldHasText() { return EndPosition() > 1; }

std::string TrimmedField() { return F().substr(0, EndPosition() - 1); }

bool HasSelection() { return Editor.SelAnchor >= 1 && Editor.SelEnd >= 1; }
void ClearSelection() { Editor.SelAnchor = Editor.SelEnd = 0; }
int SelStart() { return std::min(Editor.SelAnchor, Editor.SelEnd); }
int SelStop() { return std::max(Editor.SelAnchor, Editor.SelEnd); }  // excluded

int WindowWidth() { return Crt.TextWindow.Right - Crt.TextWindow.Left + 1; }

// Draws the visible part of the field, the selected part on the highlight background.
void DrawField(bool highlight) {
  const int first = Editor.FirstVisible;
  const int count = std::max(0, std::min(Editor.Width, Max() - first + 1));
  GotoXY(Editor.Column, Editor.Row);
  const uint8_t saved_attr = Crt.TextAttr;
  int pos = first;
  while (pos < first + count) {
    const bool selected = highlight && HasSelection() && pos >= SelStart() && pos < SelStop();
    int run = pos;
    while (run < first + count &&
           (highlight && HasSelection() && run >= SelStart() && run < SelStop()) == selected)
      ++run;
    if (selected) TextBackground(kHighlightBackground);
    WriteConsoleText(F().data() + pos - 1, static_cast<uint16_t>(run - pos));
    Crt.TextAttr = saved_attr;
    pos = run;
  }
  if (count < 80) ClrEol();
}

void ScrollToCursor() {
  if (Editor.Cursor < Editor.FirstVisible) Editor.FirstVisible = Editor.Cursor;
  if (Editor.Cursor - Editor.FirstVisible > Editor.Width) Editor.FirstVisible = Editor.Cursor - Editor.Width;
  if (Editor.FirstVisible < 1) Editor.FirstVisible = 1;
}

void PlaceCursor() { GotoXY(Editor.Column + Editor.Cursor - Editor.FirstVisible, Editor.Row); }

void BlankField() { F().assign(Max(), ' '); }

// ---- editing operations -----------------------------------------------------------------------

void InsertChar(uint8_t ch) {
  if (Editor.Cursor > Max()) {
    PlayBeep();
    return;
  }
  F().insert(F().begin() + (Editor.Cursor - 1), static_cast<char>(ch));
  F().resize(Max());
  // Shown at once, before it is heard.
  if (Editor.Cursor >= Editor.FirstVisible && Editor.Cursor - Editor.FirstVisible < Editor.Width) {
    PlaceCursor();
    WriteConsoleChar(static_cast<char>(ch));
  }
  if (Speech.EchoTypedChars) SpeakChar(static_cast<char>(ch));
  ++Editor.Cursor;
}

// Removes the character at the cursor (a blank comes in at the end), redraws, and says what went.
void DeleteAtCursor(bool with_prompt) {
  if (Editor.Cursor > Max()) {
    PlayBeep();
    return;
  }
  const char removed = F()[Editor.Cursor - 1];
  F().erase(F().begin() + (Editor.Cursor - 1));
  F().push_back(' ');
  DrawField(true);
  PlaceCursor();
  if (with_prompt) PlayPrompt("_DEL");
  SpeakChar(removed);
}

// Word classes: 0 blank, 1 letters (A..Z, a..z, 128..255), 2 digits, 3 any other mark (a word alone).
int ClassOf(char c) {
  const uint8_t u = static_cast<uint8_t>(c);
  if (u == ' ') return 0;
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 128) return 1;
  if (u >= '0' && u <= '9') return 2;
  return 3;
}

void NextWordMove() {
  int p = Editor.Cursor;
  if (p <= Max()) {
    const int c = ClassOf(At(p));
    if (c == 1 || c == 2) {
      while (p <= Max() && ClassOf(At(p)) == c) ++p;
    } else if (c == 3) {
      ++p;
    }
    while (p <= Max() && BlankAt(p)) ++p;
  }
  if (p > Max() || p >= EndPosition()) {
    Editor.Cursor = EndPosition();
    PlayBeep();
  } else {
    Editor.Cursor = p;
    PlayClick();
  }
}

void PreviousWordMove() {
  int p = Editor.Cursor - 1;
  while (p >= 1 && BlankAt(p)) --p;
  if (p < 1) {
    Editor.Cursor = 1;
    PlayBeep();
    return;
  }
  const int c = ClassOf(At(p));
  if (c != 3)
    while (p - 1 >= 1 && ClassOf(At(p - 1)) == c) --p;
  Editor.Cursor = p;
  if (p == 1) PlayBeep();
  else PlayClick();
}

// Deletes the word before the cursor and the blanks after it, one character at a time.
void DeleteWordBefore() {
  if (Editor.Cursor <= 1) {
    PlayBeep();
    return;
  }
  PreviousWordMove();
  const int start = Editor.Cursor;
  NextWordMove();
  int count = Editor.Cursor - start;
  PreviousWordMove();
  Editor.Cursor = start;
  for (int i = 0; i < count; ++i) DeleteAtCursor(i == 0);
}

void SayWordAtCursor() {
  int p = Editor.Cursor;
  while (p <= Max() && BlankAt(p)) ++p;
  if (p > Max()) {
    PlayBeep();
    return;
  }
  const std::string upper = UpperCaseAccented(F());
  auto up = [&](int pos) { return static_cast<uint8_t>(upper[pos - 1]); };
  auto digit = [&](int pos) { return pos <= Max() && up(pos) >= '0' && up(pos) <= '9'; };
  auto letter = [&](int pos) {
    return pos <= Max() && ((up(pos) >= 'A' && up(pos) <= 'Z') || up(pos) >= 128);
  };
  const int start = p;
  if (digit(p) || (up(p) == '-' && digit(p + 1))) {
    ++p;
    while (digit(p)) ++p;
    Say(upper.substr(start - 1, p - start));
  } else if (letter(p)) {
    while (letter(p)) ++p;
    const std::string word = upper.substr(start - 1, p - start);
    const bool consonants = std::all_of(word.begin(), word.end(), [](char c) {
      return std::string_view("BCDFGHJKLMNPQRSTVXZ").find(c) != std::string_view::npos;
    });
    if (consonants) Spell(word);
    else Say(word);
  } else {
    ++p;
    Spell(upper.substr(start - 1, 1));
  }
  Editor.Cursor = p;
}

void CopyField() {
  std::string text;
  if (HasSelection() && SelStart() < SelStop()) {
    const int stop = std::min(SelStop(), Max() + 1);
    text = F().substr(SelStart() - 1, std::max(0, stop - SelStart()));
  } else {
    text = TrimmedField() + "\r\n";
  }
  CopyToClipboard(text.c_str());
}

// The clipboard text usable in a field: cut at its first line end; a tab becomes a blank and other
// control characters are dropped, so nothing that is not text gets into the field.
std::string ClipboardLine(size_t capacity) {
  std::string buffer(capacity + 1, '\0');
  PasteFromClipboard(buffer.data(), buffer.size());
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  std::string line;
  for (char c : buffer) {
    const uint8_t u = static_cast<uint8_t>(c);
    if (u == '\r' || u == '\n') break;
    if (u == '\t') line += ' ';
    else if (u >= 32 && u != 127) line += c;
  }
  return line;
}

void Paste() {
  std::string text = ClipboardLine(static_cast<size_t>(Max()) + 1);
  if (Editor.FirstKey) {
    if (FieldHasText()) {
      PlayClick();
      PlayClick();
    }
    BlankField();
    Editor.Cursor = 1;
    ClearSelection();
  }
  std::string result;
  if (HasSelection()) {
    const int start = std::min(SelStart(), Max() + 1);
    const int stop = std::min(SelStop(), Max() + 1);
    Editor.Cursor = start;
    result = F().substr(0, start - 1) + text + F().substr(stop - 1);
  } else {
    if (Editor.Cursor > Max()) {
      PlayBeep();
      return;
    }
    result = F().substr(0, Editor.Cursor - 1) + text + F().substr(Editor.Cursor - 1);
  }
  result.resize(Max(), ' ');
  F() = result;
  Editor.SelAnchor = Editor.Cursor;
  Editor.SelEnd = std::min(Editor.Cursor + static_cast<int>(text.size()), Max() + 1);
}

void DeleteSelection() {
  const int start = std::min(SelStart(), Max() + 1);
  const int stop = std::min(SelStop(), Max() + 1);
  Editor.Cursor = start;
  PlayPrompt("_DEL");
  for (int i = start; i < stop; ++i) DeleteAtCursor(false);
  // What was selected is gone: the selection is left empty at the cursor.
  Editor.SelAnchor = Editor.SelEnd = Editor.Cursor;
}

void OpenWordUnderCursor() {
  int p = Editor.Cursor;
  if (p > Max() || BlankAt(p)) --p;
  std::string word;
  if (p >= 1 && !BlankAt(p)) {
    int s = p, e = p;
    while (s - 1 >= 1 && !BlankAt(s - 1)) --s;
    while (e + 1 <= Max() && !BlankAt(e + 1)) ++e;
    word = F().substr(s - 1, e - s + 1);
    const std::string_view trim = "\"(*-.<=>[_{";
    const size_t b = word.find_first_not_of(trim);
    if (b == std::string::npos) {
      word.clear();
    } else {
      const size_t l = word.find_last_not_of(trim);
      word = word.substr(b, l - b + 1);
    }
  }
  if (word.empty()) PlayBeep();
  else OpenLinkOrFile(word);
}

void ChangeSpeed() {
  PlayPrompt("_VELOC");
  uint8_t k;
  do {
    k = ReadKeyEchoed();
  } while (KeyPressed());
  if (k == kEsc || k == kEnter) return;
  if (Editor.restart_speech) Editor.restart_speech(static_cast<int>(k) - 48);
}

// Runs the screen review from the field, with the whole screen (less the last row) as the text window
// the review expects, and puts the caller's window back.
void ReviewFromField() {
  const TextRect saved = Crt.TextWindow;
  const int abs_x = saved.Left + WhereX();
  const int abs_y = saved.Top + WhereY();
  Window(1, 1, 80, 24);
  GotoXY(abs_x, abs_y);
  ScreenReview();
  Window(saved.Left + 1, saved.Top + 1, saved.Right + 1, saved.Bottom + 1);
}

enum class Outcome { kGoOn, kEnd };

Outcome OrdinaryKey(uint8_t key) {
  switch (key) {
    case kTab: case kCtrlEnter: case kEnter: case kEsc:
      return Outcome::kEnd;
    case kBackspace:
      if (Editor.Cursor <= 1) {
        PlayBeep();
      } else {
        --Editor.Cursor;
        DeleteAtCursor(true);
      }
      break;
    case kCtrlBackspace:
      DeleteWordBefore();
      break;
    case kCtrlD:
      if (Editor.Cursor <= Max())
        std::fill(F().begin() + (Editor.Cursor - 1), F().end(), ' ');
      PlayPrompt("_APFCPO");
      break;
    case kCtrlS: {
      const std::string rest = Editor.Cursor <= Max() ? F().substr(Editor.Cursor - 1) : std::string();
      F() = rest;
      F().resize(Max(), ' ');
      Editor.Cursor = 1;
      PlayPrompt("_APICPO");
      break;
    }
    case kCtrlY:
      BlankField();
      PlayPrompt("_CPOAPA");
      Editor.Cursor = 1;
      break;
    case kCtrlU:
      F() = Editor.EntryText;
      Editor.Cursor = 1;
      PlayBeep();
      PlayBeep();
      PlayBeep();
      break;
    case kCtrlK:
      Say(std::to_string(Editor.Cursor));
      break;
    case kCtrlC:
      CopyField();
      break;
    case kCtrlV:
      Paste();
      break;
    case kCtrlBackslash:
      PlayDialTones(F());
      break;
    case kFocusGained:
      WaitWhileSoundPlaying();
      Say(F());
      break;
    case kFocusLost:
      break;
    default:
      if (key >= 32) {
        if (Editor.FirstKey) BlankField();  // typing replaces an offered default
        InsertChar(key);
      }
      break;
  }
  return Outcome::kGoOn;
}

Outcome ExtendedKey(uint8_t ext, bool alt) {
  switch (ext) {
    case kF1:
      if (alt) return Outcome::kEnd;
      SayWordAtCursor();
      break;
    case kF4:
      Speech.EchoTypedChars = !Speech.EchoTypedChars;
      PlayPrompt(Speech.EchoTypedChars ? "_FALACI" : "_FALDLG");
      break;
    case kF8:
      SayCurrentTime();
      break;
    case kCtrlF8:
      SayCurrentDate();
      break;
    case kF12:
      OpenWordUnderCursor();
      break;
    case kHome:
      Editor.Cursor = 1;
      break;
    case kEnd:
      Editor.Cursor = EndPosition();
      break;
    case kLeft:
      if (Editor.Cursor <= 1) {
        PlayBeep();
      } else {
        --Editor.Cursor;
        SpeakChar(At(Editor.Cursor));
      }
      break;
    case kRight:
      if (Editor.Cursor > Max()) {
        PlayBeep();
      } else {
        const uint8_t c = static_cast<uint8_t>(At(Editor.Cursor));
        if (alt && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
          PlayPrompt("_FON" + std::to_string(c));
        else
          SpeakChar(static_cast<char>(c));
        ++Editor.Cursor;
      }
      break;
    case kDelete:
      if (HasSelection()) DeleteSelection();
      else DeleteAtCursor(true);
      break;
    case kCtrlLeft:
      PreviousWordMove();
      break;
    case kCtrlRight:
      NextWordMove();
      break;
    case kCtrlF1:
      Say(F());
      break;
    case kCtrlF4:
      ChangeSpeed();
      break;
    case kCtrlF9:
      if (!alt) return Outcome::kEnd;
      ReviewFromField();
      break;
    case kCtrlInsert:
      CopyField();
      break;
    case kShiftInsert:
      Paste();
      break;
    default:
      if (ext >= kAlt1 && ext <= kAlt0) break;
      return Outcome::kEnd;
  }
  return Outcome::kGoOn;
}

// True for a control code with no action of its own in the editor.
bool IdleControl(uint8_t key) {
  if (key >= 32) return false;
  switch (key) {
    case kCtrlC: case kCtrlD: case kBackspace: case kTab: case kCtrlEnter: case kCtrlK: case kEnter:
    case kCtrlS: case kCtrlU: case kCtrlV: case kCtrlY: case kEsc: case kCtrlBackslash:
      return false;
    default:
      return true;
  }
}

}  // namespace

void ResetLineEditor() {
  Editor = LineEditorState();
  Editor.restart_speech = DefaultRestartSpeech;
}

void ReadKeySpoken(uint8_t& key, uint8_t& ext) {
  for (;;) {
    WaitWhileSoundPlaying();
    ReadExtended(key, ext);
    if (key == 0 && ext == kF8) {
      SayCurrentTime();
      continue;
    }
    break;
  }
  if (key > 31 && key != kFocusGained && key != kFocusLost) {
    SpeakChar(static_cast<char>(key));
    WriteConsoleChar(static_cast<char>(key));
  }
}

uint8_t ReadKeyEchoed() {
  const uint8_t k = ReadKey();
  CutSpeech();
  SpeakChar(static_cast<char>(k));
  return k;
}

int EditLineSpoken(std::string& text, int column, int row, int width, int max_length) {
  if (!Editor.restart_speech) Editor.restart_speech = DefaultRestartSpeech;
  InitConsole();
  Editor.MaxLength = std::clamp(max_length, 1, kMaxEditLength);
  F() = text.substr(0, Editor.MaxLength);
  F().resize(Editor.MaxLength, ' ');
  // A width past the window's right edge would wrap the field onto the next row.
  Editor.Column = std::clamp(column, 1, WindowWidth());
  Editor.Row = std::max(row, 1);
  Editor.Width = std::clamp(width, 1, WindowWidth() - Editor.Column + 1);
  if (Editor.MaxLength < Editor.Width) Editor.Width = Editor.MaxLength;
  Editor.EntryText = F();
  Editor.Cursor = 1;
  Editor.FirstVisible = 1;
  ClearSelection();
  Editor.FirstKey = true;
  Editor.Editing = true;

  int result = 0;
  for (;;) {
    ScrollToCursor();
    DrawField(true);
    PlaceCursor();

    uint8_t key, ext;
    const uint8_t first_byte = ReadKey();
    CutSpeech();
    const bool shift = Kbd.Mods & kModShift;
    const bool alt = Kbd.Mods & kModAlt;
    ext = 32;
    key = first_byte;
    if (key == 0) {
      ext = ReadKey();
      if (IsPrefix(ext)) key = ReadKey();
    }
    const bool extended = key == 0;
    // Shift+Insert and Ctrl+Insert work on the selection as it is; Shift is part of the key there.
    const bool clipboard_key = extended && (ext == kShiftInsert || ext == kCtrlInsert);

    if (extended && shift && !clipboard_key && Editor.SelAnchor == 0) Editor.SelAnchor = Editor.Cursor;
    if (extended && !shift && !clipboard_key) ClearSelection();
    if (!extended && key != kCtrlC && key != kCtrlV && key != kFocusGained && key != kFocusLost)
      ClearSelection();

    if (Editor.FirstKey) {
      const bool typed = !extended && key >= 32 && key != kFocusGained && key != kFocusLost;
      if ((typed || (!extended && IdleControl(key))) && FieldHasText()) {
        PlayClick();
        PlayClick();
      }
    }

    const Outcome outcome = extended ? ExtendedKey(ext, alt) : OrdinaryKey(key);
    if (outcome == Outcome::kEnd) {
      result = extended ? (ext == kF1 && alt ? kEditAltF1 : ext) : key;
      break;
    }
    if (extended && shift && !clipboard_key) Editor.SelEnd = Editor.Cursor;
    Editor.FirstKey = false;
  }

  Editor.FirstVisible = 1;
  DrawField(false);
  GotoXY(Editor.Column, Editor.Row);
  text = TrimmedField();
  Editor.Editing = false;
  return result;
}

int ReadLineSpoken(std::string& text) {
  text.clear();
  const int x = WhereX(), y = WhereY();
  const int width = WindowWidth() - x - 1;
  const int code = EditLineSpoken(text, x, y, width, 255);
  if (code == kEsc) {
    const int shown = std::min<int>(static_cast<int>(text.size()), Editor.Width);
    GotoXY(x, y);
    const std::string blanks(shown, ' ');
    WriteConsoleText(blanks.data(), static_cast<uint16_t>(blanks.size()));
    GotoXY(x, y);
    text.clear();
  }
  WriteConsoleText("\r\n", 2);
  return code;
}

int ReadNumberSpoken(int& value) {
  std::string text;
  const int x = WhereX(), y = WhereY();
  const int width = WindowWidth() - x - 1;
  const int code = EditLineSpoken(text, x, y, width, 255);
  WriteConsoleText("\r\n", 2);
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return code;
  const std::string entry = text.substr(b, text.find_last_not_of(' ') - b + 1);
  size_t i = 0;
  bool negative = false;
  if (entry[i] == '-' || entry[i] == '+') negative = entry[i++] == '-';
  if (i >= entry.size()) {
    PlayBeep();
    return code;
  }
  long long n = 0;
  for (; i < entry.size(); ++i) {
    const char c = entry[i];
    if (c < '0' || c > '9') {
      PlayBeep();
      return code;
    }
    if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (c - '0');
  }
  if (negative) n = -n;
  value = static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
  return code;
}

}  // namespace falatro
