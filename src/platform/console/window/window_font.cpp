// The window's cell font: the face named by the settings found with fontconfig, sized to whole pixels.
#include "platform/console/window/window_font.h"

#include <SDL2/SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>

#include "base/text_encoding.h"

namespace falatro {

namespace {

// Asks fontconfig for family at weight; fills *out when the best match really has that family
// (fontconfig always answers with something, so a missing face shows as another family).
bool MatchFamily(const std::string& family, int weight, bool any_family, FontFile* out) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;

  bool same_family = any_family;
  FcChar8* value = nullptr;
  std::string first_family;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
    const char* name = reinterpret_cast<const char*>(value);
    if (i == 0) first_family = name;
    if (strcasecmp(name, family.c_str()) == 0) {
      same_family = true;
      first_family = name;
    }
  }
  FcChar8* file = nullptr;
  bool ok = same_family && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
  if (ok) {
    int index = 0;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    int face_weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &face_weight);
    out->Path = reinterpret_cast<const char*>(file);
    out->FaceIndex = index;
    out->Family = first_family;
    out->BoldFace = FcWeightToOpenType(face_weight) >= 600;
  }
  FcPatternDestroy(match);
  return ok;
}

int GlyphAdvance(TTF_Font* font, uint32_t ch) {
  int minx, maxx, miny, maxy, advance = 0;
  if (TTF_GlyphMetrics32(font, ch, &minx, &maxx, &miny, &maxy, &advance) != 0) return 0;
  return advance;
}

// The average character width: the advance of "x" (the desktop's measure), or of "0" or "M" in a
// face without it.
int AverageWidth(TTF_Font* font) {
  for (uint32_t ch : {uint32_t('x'), uint32_t('0'), uint32_t('M')})
    if (TTF_GlyphIsProvided32(font, ch)) return GlyphAdvance(font, ch);
  return GlyphAdvance(font, 'x');
}

// Finds the resolution at which measure(font) comes closest to target from below (exactly when the
// font allows it). measure grows with the resolution; the other axis stays as it is.
unsigned SearchResolution(TTF_Font* font, int ptsize, unsigned other, bool vertical, int target) {
  auto apply = [&](unsigned dpi) {
    if (vertical) TTF_SetFontSizeDPI(font, ptsize, other, dpi);
    else TTF_SetFontSizeDPI(font, ptsize, dpi, other);
    return vertical ? TTF_FontHeight(font) : AverageWidth(font);
  };
  unsigned lo = 1, hi = 72 * 16, best = 1;
  while (lo <= hi) {
    unsigned mid = (lo + hi) / 2;
    int got = apply(mid);
    if (got <= target) {
      // The largest resolution that still gives at most target, so the glyphs fill the cell.
      best = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  apply(best);
  return best;
}

}  // namespace

bool FindFontFile(const std::string& family, int weight, FontFile* out, std::string* error) {
  if (!FcInit()) {
    if (error) *error = "fontconfig could not start";
    return false;
  }
  if (weight <= 0) weight = 400;
  weight = std::clamp(weight, 1, 1000);
  std::string utf8 = Cp1252ToUtf8(family);
  *out = FontFile();
  if (!utf8.empty() && MatchFamily(utf8, weight, false, out)) return true;
  out->Substituted = true;
  if (MatchFamily("DejaVu Sans Mono", weight, false, out)) return true;
  if (MatchFamily("monospace", weight, true, out)) return true;
  if (error) *error = "no font is installed (fontconfig found none)";
  return false;
}

bool OpenCellFont(const FontFile& file, int width, int height, int weight, CellFont* out,
                  std::string* error) {
  CloseCellFont(out);
  width = std::clamp(width, 1, 512);
  height = std::clamp(height, 1, 512);
  TTF_Font* font = TTF_OpenFontIndexDPI(file.Path.c_str(), height, file.FaceIndex, 72, 72);
  if (!font) {
    if (error) *error = "cannot open font " + file.Path + ": " + TTF_GetError();
    return false;
  }
  out->SyntheticBold = weight >= 600 && !file.BoldFace;
  if (out->SyntheticBold) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
  // Height and width depend on the vertical and horizontal resolution alone, so each is found on its
  // own axis.
  unsigned vdpi = SearchResolution(font, height, 72, true, height);
  SearchResolution(font, height, vdpi, false, width);
  out->Font = font;
  out->File = file;
  out->FontHeight = TTF_FontHeight(font);
  out->Ascent = TTF_FontAscent(font);
  out->CharWidth = std::max(1, AverageWidth(font));
  out->CharHeight = std::max(out->FontHeight, TTF_FontLineSkip(font));
  if (out->CharHeight < 1) out->CharHeight = 1;
  return true;
}

void CloseCellFont(CellFont* font) {
  if (font->Font) TTF_CloseFont(font->Font);
  font->Font = nullptr;
}

}  // namespace falatro
