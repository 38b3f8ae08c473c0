#pragma once
// What the PDF writer needs of the fonts pango chose: each face once per process (its file,
// its glyph widths, which character each glyph shows), and the glyphs of a text item placed
// on the page. Internal to report/.

#include <cairo.h>
#include <hb.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/PageModel.h"

typedef struct _PangoFont PangoFont;

namespace report::pdf {

/// A font face as a file holds it. Faces live as long as the process: every thread's fonts
/// of the same file share one.
struct Face {
  int id = 0;       ///< order of first use in the process
  std::string key;  ///< file and index in the file
  hb_face_t* face = nullptr;
  unsigned upem = 1000;
  bool cff = false;  ///< outlines in a CFF table (otherwise TrueType)
  std::string postscriptName;
  std::vector<uint16_t> advance;  ///< by glyph, in font units
  std::vector<uint32_t> unicode;  ///< by glyph: the character it shows (0: none)
  int bbox[4] = {0, 0, 0, 0};     ///< font units
  int ascent = 0, descent = 0, capHeight = 0;
  double italicAngle = 0;
};

/// The face of a font pango chose (never null).
const Face& faceOf(PangoFont* font);

/// A run of glyphs of one face at one size, at their places on the page (points).
struct GlyphRun {
  const Face* face = nullptr;
  double size = 0;
  const cairo_glyph_t* glyphs = nullptr;
  size_t count = 0;
  double dx = 0, dy = 0;  ///< to add to each glyph's position
};

/// The runs of `item` as the renderer sets it (shaped once per thread and cached).
void forEachGlyphRun(const Document& doc, const TextItem& item,
                     const std::function<void(const GlyphRun&)>& f);

}  // namespace report::pdf
