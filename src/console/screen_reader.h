// The screen reader: a review cursor that walks the console's screen and speaks what it passes over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace falatro {

/// State of the screen reader (one instance, `Reader`). Only SearchText outlives a review; the rest
/// describes the review in progress (or the last one) so tests can inspect it.
struct ScreenReaderState {
  int Row = 1;           ///< review row, 1..ScreenRows
  int Col = 1;           ///< review column, 1..81 (81: one past the last column)
  int SavedCol = 1;      ///< console cursor at entry, restored on exit
  int SavedRow = 1;
  int FieldFirst = 1;    ///< extent of the field last found around the review position
  int FieldLast = 0;
  std::string SearchText;  ///< what F5 asked for; Ctrl+F5 looks for it again (kept between reviews)
  bool Active = false;     ///< a review is running

  /// When TraceSpeech is set, every text the reader hands to the speech front end is also appended
  /// here, as "say:" + text (SpeakText), "spell:" + text (SpellText) or "char:" + the character.
  bool TraceSpeech = false;
  std::vector<std::string> SpeechTrace;
};
extern ScreenReaderState Reader;

/// Longest search text F5 accepts (a longer one could never match a row anyway).
constexpr size_t kMaxSearchText = 255;

/// Runs the review mode until Esc: beeps, reviews from the console cursor, and on Esc beeps twice and
/// puts the console cursor back. The caller sets the text window to start at row 1, column 1 first.
/// Every impossible move beeps (and discards keys typed ahead); a key without a meaning gives beep,
/// click, beep. Nothing is written on the screen.
void ScreenReview();

/// The character at review row and column (1-based, relative to the text window); a space for a row
/// outside 1..ScreenRows, a column outside 1..80, or a cell that would lie off the screen.
uint8_t ReviewChar(int row, int col);
/// The attribute of that cell; 0 where ReviewChar gives its space for being outside.
uint8_t ReviewAttr(int row, int col);

/// True for the characters that make up words: digits, A..Z, a..z and the accented letters
/// À Á Â Ã Ç É Ê Í Ñ Ó Ô Õ Ú (capital and small).
bool IsReviewWordChar(uint8_t c);
/// True for the field separators: "!", ":", "?", "|" and every byte from B0 to DF hex.
bool IsFieldSeparator(uint8_t c);

/// Puts every field of Reader back to its start-up value (the search text included). For tests.
void ResetScreenReader();

}  // namespace falatro
