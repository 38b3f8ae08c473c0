#pragma once
// Draws the page model with cairo and pango: PDF documents and PNG pictures of pages.
// Text layouts are shaped once per thread and reused, so a caption that every boleto
// repeats costs its shaping only the first time.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/PageModel.h"

namespace report {

/// The whole document as PDF bytes (fonts subset and embedded; the document's date, when
/// set, becomes the file's creation and modification date).
std::string renderPdf(const Document& doc);

/// Pages drawn for a PDF but not yet in a file, so that a run can draw each boleto's pages on
/// the thread that laid them out and write them all into one file at the end.
struct DrawnPdf;
std::shared_ptr<const DrawnPdf> drawPdf(const Document& doc);
/// One PDF of `parts`, their pages in order, each part at its own page size: every font
/// embedded once with the glyphs of all parts, a picture shown on several pages stored once.
std::string renderPdf(const std::vector<std::shared_ptr<const DrawnPdf>>& parts,
                      const std::string& title, const std::optional<host::DateTime>& date);

/// One PNG picture per page at `dpi` dots per inch, white background.
std::vector<std::string> renderPng(const Document& doc, double dpi);

/// A page drawn as ink coverage, one byte a pixel: 0 is white paper, 255 full black ink
/// (so a grey level is 255 minus the byte). Rows are `stride` bytes apart.
struct InkImage {
  int width = 0;
  int height = 0;
  int stride = 0;
  double dpi = 0;
  std::vector<unsigned char> ink;
  const unsigned char* row(int y) const {
    return ink.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
  }
};

/// One page at `dpi`. Barcode bars are drawn without smoothing, so at a resolution that
/// makes a module a whole number of pixels every bar keeps its exact width.
InkImage renderInk(const Document& doc, const Page& page, double dpi);

/// One line of a text item as the renderer sets it: the line's text, its left edge and top
/// (points, on the page, alignment applied) and its width. A wrapped item gives the lines
/// it breaks into; an empty text gives none.
struct TextLine {
  std::string text;
  double x = 0;
  double top = 0;
  double baseline = 0;
  double width = 0;
  std::vector<double> advances;  ///< of each code point of `text`, in points
};
std::vector<TextLine> textLines(const Document& doc, const TextItem& item);

/// The font of a text item (a fallback for an index the document does not hold).
const FontSpec& fontOf(const Document& doc, const TextItem& item);

/// `image` as PNG bytes.
std::string encodePng(const Bitmap& image);

}  // namespace report
