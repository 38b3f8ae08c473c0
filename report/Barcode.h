#pragma once
// Barcodes through zint: bars placed on a page (vector, exact sizes) and the barcode image
// component that saves a symbol as a bitmap file for templates that show an image.

#include <string>
#include <vector>

#include "host/DateTime.h"
#include "host/Errors.h"
#include "report/PageModel.h"
#include "report/Template.h"

namespace report {

/// Data a symbology cannot carry, or a symbology this build does not know.
class BarcodeError : public host::OperationError {
 public:
  using host::OperationError::OperationError;
};

/// The bars of `data` stretched over `box` (points): for Interleaved 2 of 5 and Code 128 the
/// bars span the box's whole width and height; a QR symbol is the largest square that fits,
/// at the box's top-left. Quiet zones are the template's business: leave them blank around
/// the box. Empty data gives no bars.
std::vector<Rect> barcodeBars(BarcodeKind kind, const std::string& data, const Rect& box);

/// Modules across a symbol (narrow bars for 2 of 5 and Code 128, cells for QR).
int barcodeModules(BarcodeKind kind, const std::string& data);

/// The barcode image component: a symbology picked by its type code (5 Interleaved 2 of 5,
/// 9 Code 128), automatic size, human-readable text off by default, saved as a bitmap.
class BarcodeImage {
 public:
  static constexpr int kInterleaved2of5 = 5;
  static constexpr int kCode128 = 9;
  /// The save routine's format code for a Windows bitmap (the only one saved here).
  static constexpr int kFormatBitmap = 2;

  explicit BarcodeImage(int typeCode = kInterleaved2of5);
  /// Throws BarcodeError for a type code other than 5 or 9.
  void setType(int typeCode);
  int type() const { return type_; }
  void setShowText(bool show) { showText_ = show; }

  /// The symbol as pixels: one pixel per module; bars 10 pixels high (a page stretches them).
  Bitmap draw(const std::string& data) const;
  /// Draws `data` and saves it to `path` in `format` (only kFormatBitmap); throws
  /// BarcodeError for data the symbology cannot carry or another format, and
  /// host::OperationError when the file cannot be written (no file is left then).
  void saveToFile(const std::string& data, const std::string& path,
                  int format = kFormatBitmap) const;

 private:
  int type_;
  bool showText_ = false;
};

/// Writes the image of a boleto barcode (type 5) for a report: in `dir` (ending with a
/// separator), named by `now` as "yyyymmdd-hhnnss" + "-" + barcode + ".bmp". Returns the
/// path, or an empty text, writing nothing, when the barcode is empty.
std::string saveBarcodeImage(const std::string& dir, const std::string& barcode,
                             const host::DateTime& now,
                             int typeCode = BarcodeImage::kInterleaved2of5);

}  // namespace report
