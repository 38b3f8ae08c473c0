#pragma once
// The export formats of the report component and their engines. Every engine writes the
// same page model; what a format cannot hold (a picture in a text file) it leaves out.
//
//   tag  name   one file holds              engine
//   0    txt    every page (form feeds)     text of the fields in reading order
//   1    csv    every page                  one record a line of the page, RFC 4180
//   2    htm    every page (one div each)   HTML5, pictures as PNG data
//   3    xlsx   every page (a sheet each)   libxlsxwriter, cells at the fields' places
//   4    rtf    every page (page breaks)    positioned frames, pictures as PNG
//   5    wmf    one page                    placeable Windows metafile, our writer
//   6    pdf    every page                  cairo
//   7    xhtml  every page                  XHTML 1.0 Strict
//   8    gif    one page                    giflib, 16 greys, 100 dpi
//   9    jpg    one page                    libjpeg-turbo, grey, 100 dpi
//   10   bmp    one page                    8-bit grey, run-length encoded
//   11   emf    one page                    libEMF
//
// Bitmaps are drawn at kRasterDpi, where a barcode module of 0.254 mm is two whole pixels;
// gif and jpg at kScreenRasterDpi, where it is one.

#include <optional>
#include <string>
#include <string_view>

#include "report/Report.h"

namespace report {

/// Dots per inch of the bitmap pages (bmp).
inline constexpr double kRasterDpi = 200;
/// Dots per inch of the gif and jpg pages: pictures for the screen and for mail, a quarter
/// of the pixels of kRasterDpi, and still one whole pixel a barcode module.
inline constexpr double kScreenRasterDpi = 100;

/// One export format: the tag of its menu entry, its short name, the filter and default
/// extension of its save dialog.
struct ExportFormat {
  int tag;
  std::string_view name;
  std::string_view filter;
  std::string_view extension;
};

/// The format of a tag (0 to 11); nullptr for any other.
const ExportFormat* exportFormat(int tag);
/// The format named by its tag ("6") or its name ("pdf", "xhtml"; letter case ignored).
const ExportFormat* exportFormatByName(std::string_view tagOrName);

/// txt (tag 0) and csv (tag 1).
class TextExportEngine final : public ExportEngine {
 public:
  TextExportEngine(std::string fileName, bool csv, ExportOptions options = {})
      : ExportEngine(std::move(fileName), options), csv_(csv) {}

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;

 private:
  bool csv_;
};

/// htm (tag 2, HTML5) and xhtml (tag 7, XHTML 1.0 Strict).
class HtmlExportEngine final : public ExportEngine {
 public:
  HtmlExportEngine(std::string fileName, bool xhtml, ExportOptions options = {})
      : ExportEngine(std::move(fileName), options), xhtml_(xhtml) {}

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;

 private:
  bool xhtml_;
};

/// xlsx (tag 3).
class XlsxExportEngine final : public ExportEngine {
 public:
  using ExportEngine::ExportEngine;

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;
};

/// rtf (tag 4), document encoding type 1: Windows-1252 text, \'xx for its upper half and
/// \uN for what it cannot hold.
class RtfExportEngine final : public ExportEngine {
 public:
  using ExportEngine::ExportEngine;

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;
};

/// wmf (tag 5) and emf (tag 11), from the same drawing records.
class MetafileExportEngine final : public ExportEngine {
 public:
  MetafileExportEngine(std::string fileName, bool enhanced, ExportOptions options = {})
      : ExportEngine(std::move(fileName), options), enhanced_(enhanced) {}

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;

 private:
  bool enhanced_;
};

/// gif (tag 8), jpg (tag 9) and bmp (tag 10).
class ImageExportEngine final : public ExportEngine {
 public:
  enum class Kind { Gif, Jpeg, Bmp };
  ImageExportEngine(std::string fileName, Kind kind, ExportOptions options = {})
      : ExportEngine(std::move(fileName), options), kind_(kind) {}

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;

 private:
  Kind kind_;
};

}  // namespace report
