#pragma once
// Reading and writing the pictures a report shows: Windows bitmaps (written straight from
// the pixel buffer) and PNG files.

#include <string>
#include <string_view>

#include "report/PageModel.h"

namespace report {

/// A 24-bit bottom-up Windows bitmap of `image`.
std::string encodeBmp(const Bitmap& image);
/// Reads an uncompressed Windows bitmap of 1, 4, 8, 24 or 32 bits per pixel; throws
/// std::invalid_argument saying what is wrong.
Bitmap decodeBmp(std::string_view bytes);
/// A bitmap or PNG file by its content; throws host::OperationError naming the file.
Bitmap loadImage(const std::string& path);
/// Writes `bytes` to `path` through a temporary file beside it, so that a failure leaves
/// no partial file; throws host::OperationError naming the file.
void writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace report
