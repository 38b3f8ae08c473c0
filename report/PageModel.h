#pragma once
// The page model: what a rendered report is, independent of how it is shown. Layout fills
// it once; the PDF, PNG and print outputs all draw the same pages from it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/DateTime.h"

namespace report {

/// A box in points (1/72 inch), origin at the page's top-left corner.
struct Rect {
  double x = 0, y = 0, w = 0, h = 0;
};

inline constexpr double kPointsPerMm = 72.0 / 25.4;
inline double mmToPt(double mm) {
  return mm * kPointsPerMm;
}

enum class Align { Left, Center, Right };

struct FontSpec {
  std::string family;  ///< a fontconfig family ("Liberation Sans", "DejaVu Sans Mono")
  double size = 8;     ///< points
  bool bold = false;
  bool italic = false;
};

/// Pixels in cairo's 32-bit native layout (0xAARRGGBB, opaque), row after row.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

struct TextItem {
  Rect box;
  std::string text;
  int font = 0;  ///< index into Document::fonts
  Align align = Align::Left;
  bool wrap = false;
};

struct LineItem {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  double width = 0.5;
};

struct BoxItem {
  Rect box;
  double lineWidth = 0.5;  ///< 0: no outline
  double fillGray = -1;    ///< 0 black .. 1 white; negative: not filled
};

struct ImageItem {
  Rect box;
  std::shared_ptr<const Bitmap> image;
};

/// Black bars of a barcode, already at their place on the page.
struct BarsItem {
  std::vector<Rect> bars;
};

using Item = std::variant<TextItem, LineItem, BoxItem, ImageItem, BarsItem>;

struct Page {
  std::vector<Item> items;
};

struct Document {
  double width = 595.28;  ///< points (A4 portrait)
  double height = 841.89;
  std::string title;
  std::optional<host::DateTime> date;  ///< the template's date, written as the file's date
  std::vector<FontSpec> fonts;
  std::vector<Page> pages;
};

}  // namespace report
