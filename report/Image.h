#pragma once
// Reading and writing the pictures a report shows: Windows bitmaps (written straight from
// the pixel buffer) and PNG files.

#include <string>
#include <string_view>

#include "report/PageModel.h"
#include "report/Render.h"

namespace report {

/// A 24-bit bottom-up Windows bitmap of `image`.
std::string encodeBmp(const Bitmap& image);

/// The grey levels of the pictures of pages (GIF and BMP): sixteen keep smoothed text edges
/// and make the long runs of one value that both formats compress.
inline constexpr int kGreyLevels = 16;
inline unsigned char greyLevel(unsigned char ink) {
  return static_cast<unsigned char>(ink >> 4);
}
inline unsigned char greyOfLevel(int level) {
  return static_cast<unsigned char>(255 - level * 17);
}

/// A page's ink as an 8-bit Windows bitmap of kGreyLevels greys, run-length encoded (RLE8),
/// with the page's resolution.
std::string encodeGreyBmp(const InkImage& img);
/// Reads an uncompressed Windows bitmap of 1, 4, 8, 24 or 32 bits per pixel; throws
/// std::invalid_argument saying what is wrong.
Bitmap decodeBmp(std::string_view bytes);
/// A bitmap or PNG file by its content; throws host::OperationError naming the file.
Bitmap loadImage(const std::string& path);
/// Writes `bytes` to `path` through a temporary file beside it, so that a failure leaves
/// no partial file; throws host::OperationError naming the file.
void writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace report
