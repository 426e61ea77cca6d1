// The window's cell font: the face named by the settings found with fontconfig, sized to whole pixels.
#pragma once

#include <string>

struct _TTF_Font;

namespace falatro {

/// A font file chosen for a face name and weight.
struct FontFile {
  std::string Path;          ///< the file fontconfig chose
  int FaceIndex = 0;         ///< face inside a collection file
  std::string Family;        ///< the family of that face (UTF-8)
  bool BoldFace = false;     ///< the face itself is bold (weight 600 or more)
  bool Substituted = false;  ///< the named face is missing: this is the fallback monospace face
};

/// Finds the file of the face named family (cp1252, as in the settings) at weight (1..1000, desktop
/// numbering; 0 means normal). When no installed face has that family, the fallback is DejaVu Sans
/// Mono, then any monospace face. false (with *error) only when fontconfig finds no font at all.
bool FindFontFile(const std::string& family, int weight, FontFile* out, std::string* error);

/// An opened cell font and its measures in pixels.
struct CellFont {
  _TTF_Font* Font = nullptr;
  FontFile File;
  int CharWidth = 0;    ///< advance of one cell (average character width)
  int CharHeight = 0;   ///< height of one row: font height plus the line gap
  int FontHeight = 0;   ///< ascent plus descent
  int Ascent = 0;       ///< baseline distance from the cell's top
  bool SyntheticBold = false;  ///< bold is drawn by emboldening a regular face
};

/// Opens file scaled so that one character is width pixels wide and the font's height (ascent plus
/// descent) is height pixels (each kept to 1..512), emboldened when weight >= 600 and the face is not
/// bold. The horizontal and vertical scale are set apart, so a narrow or wide cell keeps crisp
/// glyphs. false (with *error) when the file cannot be opened. TTF_Init must have been called.
bool OpenCellFont(const FontFile& file, int width, int height, int weight, CellFont* out,
                  std::string* error);

/// Closes the font (safe on a font never opened).
void CloseCellFont(CellFont* font);

}  // namespace falatro
