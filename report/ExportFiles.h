#pragma once
// What the export engines share: the files of one export, written whole or not at all, and
// the page model read as a reader reads it (rows of fields, top to bottom, left to right).

#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/PageModel.h"
#include "report/Render.h"

namespace report {

struct ExportOptions;

/// The files of one export. Each is written under a temporary name beside its target; only
/// `commit` renames them, so a failure anywhere leaves none of them, nor their temporaries.
class ExportFiles {
 public:
  /// One file being written; bytes go to its temporary file page by page, or are kept in
  /// memory until the commit when each page need not be processed at once.
  class File {
   public:
    void write(std::string_view bytes);
    /// A page is complete: with processing after each page, its bytes reach the file now.
    void endPage();

   private:
    friend class ExportFiles;
    std::string target_;
    std::string temp_;
    bool stream_ = true;
    std::ofstream out_;
    std::string buffer_;
  };

  explicit ExportFiles(const ExportOptions& options);
  ~ExportFiles();
  ExportFiles(const ExportFiles&) = delete;
  ExportFiles& operator=(const ExportFiles&) = delete;

  /// A new file at `path`, written through the returned object. `inOwnFolder`: the file
  /// lives in a folder of the export's own (pictures kept as resources), made when missing
  /// and removed with the files when the export fails; the folder of the target itself is
  /// the operator's choice and must exist.
  File& create(const std::string& path, bool inOwnFolder = false);
  /// The temporary name for a file at `path` that a library writes by itself.
  std::string reserve(const std::string& path, bool inOwnFolder = false);
  /// Every file complete: renames them to their targets; returns the targets in order.
  std::vector<std::string> commit();

  const ExportOptions& options() const { return options_; }

 private:
  void rollback();

  const ExportOptions& options_;
  std::vector<std::unique_ptr<File>> files_;
  std::vector<std::string> madeDirs_;
  bool committed_ = false;
};

/// The file of page `index` (0-based) of a format that holds one page a file: the name
/// itself for the first page, "<stem>-<n><ext>" beside it for page n.
std::string pageFileName(const std::string& fileName, size_t index);

/// One line of a text of the page, where a reader finds it.
struct Field {
  std::string text;
  const TextItem* item = nullptr;
  double x = 0, top = 0, baseline = 0, width = 0;
};

/// Fields that share a line of the page, left to right.
struct ReadingRow {
  double top = 0;
  double baseline = 0;
  std::vector<Field> fields;
};

/// The texts of `page` in reading order: lines top to bottom (texts whose baselines lie
/// within half a font size of each other share a line), each line left to right; a wrapped
/// text gives one field for each line it breaks into.
std::vector<ReadingRow> readingRows(const Document& doc, const Page& page);

/// The bars of a barcode as a picture (one pixel a module across, and down for a 2-D
/// symbol), with the box it fills on the page.
struct BarsPicture {
  Bitmap image;
  Rect box;
};
BarsPicture barsPicture(const BarsItem& bars);

/// `text` with &, <, > and " escaped for XML and HTML, and nothing XML refuses (control
/// characters become blanks, a byte that is not UTF-8 the replacement sign).
std::string escapeXml(std::string_view text);

/// The code points of UTF-8 `text` (an invalid byte becomes U+FFFD).
std::u32string decodeUtf8(std::string_view text);

/// The Windows-1252 byte of a code point, or -1 when that code page has none for it.
int windows1252(char32_t cp);

}  // namespace report
