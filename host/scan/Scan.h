#pragma once
// Reading the codes printed on a picture or a PDF: PNG and JPEG pictures (scans, photos) and
// the pages of a PDF rendered at a resolution the reader takes, read with zbar.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace host::scan {

/// A file that cannot be read as a picture or a PDF: missing, unreadable, damaged, of another
/// format, or beyond the limits. The text says which and names the file.
class ScanError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class FileKind { Png, Jpeg, Pdf, Other };

/// The kind of a file by its first bytes, whatever its name says. Throws `ScanError` when it
/// cannot be opened.
FileKind fileKind(const std::filesystem::path& file);

/// A picture in 8-bit gray, one byte a pixel, rows without padding (0 black, 255 white).
struct Gray {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

/// Bounds on what a file may cost to read.
struct Limits {
  int64_t maxPixels = 80'000'000;  ///< of a picture or a rendered page
  int maxPages = 50;               ///< of a PDF; the pages after them are not read
  double dpi = 300;                ///< PDF pages are rendered at this resolution
};

/// One code found.
struct Symbol {
  std::string symbology;  ///< zbar's name: "I2/5", "QR-Code", "EAN-13", ...
  std::string data;
  int page = 1;  ///< page of a PDF; 1 for a picture
  bool operator==(const Symbol&) const = default;
};

/// Reads a PNG or JPEG picture into gray. Throws `ScanError`.
Gray loadPicture(const std::filesystem::path& file, const Limits& limits = {});

/// The picture turned by `degrees` (counter-clockwise) about its centre and drawn `scale`
/// times its size, on a canvas that holds it whole, the corners white.
Gray rotate(const Gray& picture, double degrees, double scale = 1.0);

/// The picture with its edges sharpened (an unsharp mask), as a blurred photo needs.
Gray sharpen(const Gray& picture);

/// The angle (degrees, within 45 either way) by which the picture's lines lean: turning the
/// picture by it sets its page upright, or a quarter turn from upright.
double skew(const Gray& picture);

/// Every code zbar reads in the picture as it stands.
std::vector<Symbol> readSymbols(const Gray& picture);

/// Whether a symbol is what a boleto's bars carry: Interleaved 2 of 5 of 44 digits.
bool isBoletoBars(const Symbol& s);

/// Every distinct code in a picture, tried until boleto bars are found: as it is and
/// sharpened; turned back by its skew and a little either side; for a picture of a few
/// megapixels, also drawn at twice its size; then turned by every 6 degrees up to 45 either
/// way (zbar reads along rows and columns only, so a photo taken askew needs turning back).
std::vector<Symbol> readCodes(const Gray& picture, int page = 1);

/// A PDF's pages rendered to gray at `limits.dpi` (less for a page too large for
/// `limits.maxPixels`), at most `limits.maxPages`, the text of each page, and whether each
/// is a scan (a picture over half the page or more) rather than drawn. Throws `ScanError`.
struct PdfPages {
  std::vector<Gray> pages;
  std::vector<std::string> texts;
  std::vector<bool> scanned;
  int pageCount = 0;  ///< pages in the document, read or not
};
PdfPages renderPdf(const std::filesystem::path& file, const Limits& limits = {});

}  // namespace host::scan
