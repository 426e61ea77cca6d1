// The screen reader: a review cursor that walks the console's screen and speaks what it passes over.
#include "console/screen_reader.h"

#include <string>
#include <string_view>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

ScreenReaderState Reader;

void ResetScreenReader() { Reader = ScreenReaderState(); }

namespace {

constexpr uint8_t kEsc = 27;

// Extended codes the review acts on (Ctrl forms included).
constexpr uint8_t kF1 = 59, kF5 = 63, kF6 = 64, kHome = 71, kUp = 72, kPgUp = 73, kLeft = 75,
                  kRight = 77, kEnd = 79, kDown = 80, kPgDn = 81, kCtrlF1 = 94, kCtrlF5 = 98,
                  kCtrlLeft = 115, kCtrlRight = 116, kCtrlPgDn = 118, kCtrlPgUp = 132;

void Say(std::string_view text) {
  if (Reader.TraceSpeech) Reader.SpeechTrace.push_back("say:" + std::string(text));
  SpeakText(text);
}

void Spell(std::string_view text) {
  if (Reader.TraceSpeech) Reader.SpeechTrace.push_back("spell:" + std::string(text));
  SpellText(text);
}

void SayChar(uint8_t c) {
  if (Reader.TraceSpeech) Reader.SpeechTrace.push_back("char:" + std::string(1, static_cast<char>(c)));
  SpeakChar(static_cast<char>(c));
}

void ErrorSignal() {
  PlayBeep();
  PlayClick();
  PlayBeep();
}

bool Blank(uint8_t c) { return c == ' '; }

bool IsConsonant(uint8_t c) {
  if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
  switch (c) {
    case 'B': case 'C': case 'D': case 'F': case 'G': case 'H': case 'J': case 'K': case 'L':
    case 'M': case 'N': case 'P': case 'Q': case 'R': case 'S': case 'T': case 'V': case 'W':
    case 'X': case 'Y': case 'Z':
      return true;
    default:
      return false;
  }
}

// Column after the last non-blank character of the review row (1 for a blank row, 81 when column 80
// holds a character).
void GoToEndOfLine() {
  int c = 80;
  while (c >= 1 && Blank(ReviewChar(Reader.Row, c))) --c;
  Reader.Col = c + 1;
}

// Reads the word at the review position and leaves the column on the first cell after it. Returns
// false when only blanks were left on the row.
bool ReadWord() {
  int& col = Reader.Col;
  const int row = Reader.Row;
  while (col < 80 && Blank(ReviewChar(row, col))) ++col;
  // A character alone in the last column is read too; stopping short of it would also leave a line
  // reading spinning on that cell forever.
  if (col > 80 || Blank(ReviewChar(row, col))) return false;
  std::string word;
  word += static_cast<char>(ReviewChar(row, col));
  GotoXY(col, row);
  ++col;
  while (col <= 80 && IsReviewWordChar(ReviewChar(row, col))) {
    word += static_cast<char>(ReviewChar(row, col));
    GotoXY(col, row);
    ++col;
  }
  if (word.size() == 1) {
    // A run of one mark is said at most three times, however long it is.
    const uint8_t mark = static_cast<uint8_t>(word[0]);
    while (col <= 80 && ReviewChar(row, col) == mark) {
      if (word.size() < 3) word += static_cast<char>(mark);
      ++col;
    }
    Say(word);
    return true;
  }
  bool consonants = true;
  for (char c : word) consonants = consonants && IsConsonant(static_cast<uint8_t>(c));
  if (consonants) Spell(word);
  else Say(word);
  return true;
}

bool SameField(int col, uint8_t attr) {
  return ReviewAttr(Reader.Row, col) == attr && !IsFieldSeparator(ReviewChar(Reader.Row, col));
}

// The field around the review position: the run of cells with the review cell's attribute, bounded by
// separators. A separator under the cursor gives an empty field (first after last).
void FindField() {
  const uint8_t attr = ReviewAttr(Reader.Row, Reader.Col);
  int first = Reader.Col;
  while (first >= 1 && SameField(first, attr)) --first;
  int last = Reader.Col;
  while (last <= 80 && SameField(last, attr)) ++last;
  Reader.FieldFirst = first + 1;
  Reader.FieldLast = last - 1;
}

// Reads the cells from (first_row, first_col) to (last_row, last_col). keep puts the review position
// back afterwards; otherwise it stays where the reading ended.
void ReadRange(int first_row, int first_col, int last_row, int last_col, bool keep) {
  if (first_row == last_row && last_col < first_col) {
    PlayBeep();
    return;
  }
  const int saved_row = Reader.Row, saved_col = Reader.Col;
  Reader.Col = first_col;
  for (int r = first_row; r <= last_row; ++r) {
    Reader.Row = r;
    const int end = r == last_row ? last_col : 80;
    if (Sound.SynthesizerActive) {
      std::string text;
      for (int c = Reader.Col; c <= end; ++c) text += static_cast<char>(ReviewChar(r, c));
      Say(text);
    } else if (Reader.Col <= end) {
      do {
        if (!ReadWord()) {
          Reader.Col = end + 1;
          break;
        }
        while (Reader.Col <= end && Blank(ReviewChar(r, Reader.Col))) ++Reader.Col;
      } while (Reader.Col <= end && !KeyPressed());
    }
    if (KeyPressed()) break;
    Reader.Col = 1;
    PlayClick();
  }
  IsSoundPlaying();
  if (last_col >= 80) GoToEndOfLine();
  if (keep) {
    Reader.Row = saved_row;
    Reader.Col = saved_col;
  }
}

void ReadLine() { ReadRange(Reader.Row, 1, Reader.Row, 80, true); }

void PreviousWord() {
  int col = Reader.Col - 1;
  while (col >= 1 && Blank(ReviewChar(Reader.Row, col))) --col;
  if (col < 1) {
    PlayBeep();
    Reader.Col = 1;
    return;
  }
  while (col >= 1 && !Blank(ReviewChar(Reader.Row, col))) --col;
  if (col < 1) PlayBeep();
  else PlayClick();
  Reader.Col = col + 1;
}

void NextWord() {
  int col = Reader.Col;
  while (col < 81 && !Blank(ReviewChar(Reader.Row, col))) ++col;
  while (col < 81 && Blank(ReviewChar(Reader.Row, col))) ++col;
  if (col >= 81) {
    PlayBeep();
    GoToEndOfLine();
  } else {
    Reader.Col = col;
    PlayClick();
  }
}

bool IsAsciiLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void FirstLetter() {
  for (int r = 1; r <= ScreenRows; ++r)
    for (int c = 1; c <= 80; ++c)
      if (IsAsciiLetter(ReviewChar(r, c))) {
        Reader.Row = r;
        Reader.Col = c;
        return;
      }
}

void LastLetter() {
  for (int r = ScreenRows; r >= 1; --r)
    for (int c = 80; c >= 1; --c)
      if (IsAsciiLetter(ReviewChar(r, c))) {
        Reader.Row = r;
        Reader.Col = c;
        return;
      }
}

// Reads one key of a command; an extended key's second code is taken with it, so it cannot be taken
// later for a command of its own.
uint8_t ReadCommandKey() {
  uint8_t k = ReadKey();
  if (k == 0) ReadKey();
  return k;
}

void GoToPosition() {
  Say("Entre linha e coluna");
  int digits[4];
  for (int i = 0; i < 4; ++i) {
    const uint8_t k = ReadKey();
    if (k < '0' || k > '9') {
      PlayBeep();  // also throws away the second code of an extended key
      PlayBeep();
      return;
    }
    SayChar(k);
    digits[i] = k - '0';
  }
  Reader.Row = digits[0] * 10 + digits[1];
  Reader.Col = digits[2] * 10 + digits[3];
}

void SearchAgain() {
  const std::string& wanted = Reader.SearchText;
  if (!wanted.empty() && wanted.size() <= 80) {
    const int start_row = Reader.Row < 1 ? 1 : Reader.Row;
    // The console cursor follows the review cursor, clamped to the last column.
    const int start_col = Reader.Col > 80 ? 80 : Reader.Col;
    for (int r = start_row; r <= ScreenRows; ++r) {
      std::string line(80, ' ');
      for (int c = 1; c <= 80; ++c) line[c - 1] = static_cast<char>(ReviewChar(r, c));
      // On the starting row a match must begin after the review column.
      if (r == start_row)
        for (int c = 0; c < start_col; ++c) line[c] = '\0';
      const size_t at = line.find(wanted);
      if (at != std::string::npos) {
        Reader.Row = r;
        Reader.Col = static_cast<int>(at) + 1;
        PlayClick();
        return;
      }
    }
  }
  PlayBeep();
  PlayBeep();
}

void Search() {
  Say("Qual texto");
  Reader.SearchText.clear();
  for (;;) {
    const uint8_t k = ReadKey();
    if (k == kEsc) return;
    if (k == 13) break;
    if (k == 0) {
      ReadKey();  // an extended key types nothing
      continue;
    }
    if (k == 8) {
      if (!Reader.SearchText.empty()) {
        PlayPrompt("_DEL");
        SayChar(static_cast<uint8_t>(Reader.SearchText.back()));
        Reader.SearchText.pop_back();
      }
      continue;
    }
    if (k < 32) continue;
    if (Reader.SearchText.size() >= kMaxSearchText) {
      PlayBeep();
      continue;
    }
    Reader.SearchText += static_cast<char>(k);
    SayChar(k);
  }
  SearchAgain();
}

void CopyScreen() {
  std::string text;
  text.reserve(ScreenRows * 82 + 1);
  for (int r = 1; r <= ScreenRows; ++r) {
    for (int c = 1; c <= 80; ++c) {
      uint8_t ch = ReviewChar(r, c);
      // A zero byte would end the clipboard text early.
      text += static_cast<char>(ch == 0 ? ' ' : ch);
    }
    text += "\r\n";
  }
  CopyToClipboard(text.c_str());
}

void SayPosition() { Say(std::to_string(Reader.Row) + " " + std::to_string(Reader.Col)); }

void TwoLetterCommand(uint8_t first) {
  if (first >= 'a' && first <= 'z') first = static_cast<uint8_t>(first - 32);
  if (first != 'F' && first != 'I' && first != 'L' && first != 'T') {
    ErrorSignal();
    return;
  }
  if (first == 'L') first = 'T';
  uint8_t second = ReadCommandKey();
  if (second >= 'a' && second <= 'z') second = static_cast<uint8_t>(second - 32);
  if (second != 'C' && second != 'L' && second != 'T') {
    ErrorSignal();
    return;
  }
  const int row = Reader.Row, col = Reader.Col;
  if (second == 'C') FindField();
  switch (first) {
    case 'I':
      if (second == 'T') ReadRange(1, 1, row, col - 1, false);
      else if (second == 'L') ReadRange(row, 1, row, col - 1, true);
      else ReadRange(row, Reader.FieldFirst, row, col, true);
      break;
    case 'T':
      if (second == 'T') ReadRange(1, 1, ScreenRows, 80, false);
      else if (second == 'L') ReadRange(row, 1, row, 80, true);
      else ReadRange(row, Reader.FieldFirst, row, Reader.FieldLast, true);
      break;
    default:  // 'F'
      if (second == 'T') ReadRange(row, col, ScreenRows, 80, false);
      else if (second == 'L') ReadRange(row, col, row, 80, true);
      else ReadRange(row, col, row, Reader.FieldLast, true);
      break;
  }
}

void PlainKey(uint8_t key) {
  switch (key) {
    case kEsc:
      break;
    case ' ':
      ReadLine();
      break;
    case 13:
      ++Reader.Row;
      Reader.Col = 1;
      PlayClick();
      break;
    case 8:
      if (Reader.Col > 1) SayChar(ReviewChar(Reader.Row, Reader.Col - 1));
      else PlayBeep();
      --Reader.Col;
      break;
    case 9:
      FindField();
      Reader.Col = Reader.FieldLast + 2;
      if (Reader.Col > 80) GoToEndOfLine();
      else PlayClick();
      break;
    case 3:
      CopyScreen();
      break;
    case 11:
    case 12:
      SayPosition();
      break;
    default:
      if (IsAsciiLetter(key)) TwoLetterCommand(key);
      else ErrorSignal();
      break;
  }
}

void ExtendedKey(uint8_t code) {
  switch (code) {
    case kF1:
      if (!(KeyPressed() && Sound.SynthesizerActive)) ReadWord();
      if (Reader.Col >= 80) {
        PlayClick();
        GoToEndOfLine();
      }
      break;
    case kF5:
      Search();
      break;
    case kCtrlF5:
      SearchAgain();
      break;
    case kF6:
      GoToPosition();
      break;
    case kHome:
      Reader.Col = 1;
      break;
    case kEnd:
      GoToEndOfLine();
      break;
    case kUp:
      --Reader.Row;
      Reader.Col = 1;
      if (Reader.Row >= 1) {
        ReadLine();
      } else {
        PlayBeep();
        Reader.Row = 1;
      }
      break;
    case kDown:
      ++Reader.Row;
      Reader.Col = 1;
      PlayClick();
      if (Reader.Row <= ScreenRows) {
        ReadLine();
      } else {
        PlayBeep();
        Reader.Row = ScreenRows;
      }
      break;
    case kPgUp:
      Reader.Row = 1;
      Reader.Col = 1;
      ReadLine();
      break;
    case kPgDn:
      Reader.Row = ScreenRows;
      Reader.Col = 1;
      ReadLine();
      break;
    case kLeft:
      if (Reader.Col > 1) SayChar(ReviewChar(Reader.Row, Reader.Col - 1));
      else PlayBeep();
      --Reader.Col;
      break;
    case kRight:
      if (Reader.Col <= 81) SayChar(ReviewChar(Reader.Row, Reader.Col));
      else PlayBeep();
      ++Reader.Col;
      break;
    case kCtrlLeft:
      PreviousWord();
      break;
    case kCtrlRight:
      NextWord();
      break;
    case kCtrlPgUp:
      FirstLetter();
      ReadLine();
      break;
    case kCtrlPgDn:
      LastLetter();
      ReadLine();
      break;
    case kCtrlF1:
      FindField();
      ReadRange(Reader.Row, Reader.FieldFirst, Reader.Row, Reader.FieldLast, true);
      break;
    default:
      ErrorSignal();
      break;
  }
}

// Keeps the review position on the screen; every correction beeps, which also drops keys typed ahead.
void BoundsStep() {
  if (Reader.Col < 1) {
    PlayBeep();
    Reader.Col = 1;
  }
  if (Reader.Col > 81) {
    PlayBeep();
    Reader.Col = 80;
  }
  if (Reader.Row < 1) {
    PlayBeep();
    Reader.Row = 1;
  }
  if (Reader.Row > ScreenRows) {
    PlayBeep();
    Reader.Row = ScreenRows;
  }
}

}  // namespace

bool IsReviewWordChar(uint8_t c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  switch (c | 0x20) {  // the small letters are the capitals plus 20 hex
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE7: case 0xE9: case 0xEA: case 0xED:
    case 0xF1: case 0xF3: case 0xF4: case 0xF5: case 0xFA:
      return c >= 0xC0;
    default:
      return false;
  }
}

bool IsFieldSeparator(uint8_t c) {
  return c == '!' || c == ':' || c == '?' || c == '|' || (c >= 0xB0 && c <= 0xDF);
}

uint8_t ReviewChar(int row, int col) {
  if (row < 1 || row > ScreenRows || col < 1 || col > 80) return ' ';
  const int abs_col = Crt.TextWindow.Left + col - 1;
  const int abs_row = Crt.TextWindow.Top + row - 1;
  if (abs_col >= ScreenCols || abs_row >= ScreenRows) return ' ';
  return ScreenChar(col, row);
}

uint8_t ReviewAttr(int row, int col) {
  if (row < 1 || row > ScreenRows || col < 1 || col > 80) return 0;
  const int abs_col = Crt.TextWindow.Left + col - 1;
  const int abs_row = Crt.TextWindow.Top + row - 1;
  if (abs_col >= ScreenCols || abs_row >= ScreenRows) return 0;
  return ScreenAttr(col, row);
}

void ScreenReview() {
  Reader.Active = true;
  PlayBeep();
  Reader.Row = WhereY();
  Reader.Col = WhereX();
  Reader.SavedRow = Reader.Row;
  Reader.SavedCol = Reader.Col;
  uint8_t key;
  do {
    GotoXY(Reader.Col, Reader.Row);
    key = ReadKey();
    if (key == 0) ExtendedKey(ReadKey());
    else PlainKey(key);
    BoundsStep();
  } while (key != kEsc);
  PlayBeep();
  PlayBeep();
  GotoXY(Reader.SavedCol, Reader.SavedRow);
  Reader.Active = false;
}

}  // namespace falatro
