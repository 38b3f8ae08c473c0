#pragma once
// The report component: prints, previews and exports a ".QR2" template. Each output reads
// the template, asks for the parameters that the template declares (and only those), opens
// the report data connection, lays the pages out once and hands them to the output; the
// connection is closed again and the barcode image named by DIRBARCODE is deleted, also
// when the output fails.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/DateTime.h"
#include "host/Value.h"
#include "report/DataSource.h"
#include "report/PageModel.h"

namespace report {

/// One page of a preview, as a PNG picture.
struct PreviewPage {
  int number = 0;  ///< 1-based
  std::string png;
};

/// Where preview pages go: the desktop shows them; headless, they become files.
class PreviewPort {
 public:
  virtual ~PreviewPort() = default;
  virtual void showPages(const std::string& title, const std::vector<PreviewPage>& pages) = 0;
};

/// Writes each preview page as `dir`/<title>-<nnn>.png (never into the temporary
/// directory, which holds only the barcode images of a run).
class HeadlessPreview final : public PreviewPort {
 public:
  explicit HeadlessPreview(std::string dir);
  void showPages(const std::string& title, const std::vector<PreviewPage>& pages) override;
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

/// Where a printed document goes.
class PrintPort {
 public:
  virtual ~PrintPort() = default;
  /// Queues the PDF file; throws host::OperationError when it cannot.
  virtual void printPdf(const std::string& pdfPath, const std::string& title) = 0;
};

/// Prints through CUPS on the named queue, or on the default one when the name is empty.
class CupsPrinter final : public PrintPort {
 public:
  explicit CupsPrinter(std::string printer = {}) : printer_(std::move(printer)) {}
  void printPdf(const std::string& pdfPath, const std::string& title) override;

 private:
  std::string printer_;
};

class ExportFiles;

/// The preferences an export engine works with; the defaults are those the emission sets.
struct ExportOptions {
  /// htm/xhtml: pictures as PNG files in a folder beside the page, not inside it.
  bool imagesAsResources = false;
  /// Each page goes to the (temporary) file as soon as it is drawn, instead of the whole
  /// file being kept in memory until the end.
  bool processAfterEachPage = true;
  /// Once written, the files are handed to the opener (setOpener).
  bool openAfterCreate = false;
};

/// An export engine: a file format and the file name it writes. A format that holds one
/// page a file (the pictures and metafiles) writes the first page under the file name and
/// page n beside it as "<name>-<n>.<ext>".
class ExportEngine {
 public:
  explicit ExportEngine(std::string fileName, ExportOptions options = {})
      : fileName_(std::move(fileName)), options_(options) {}
  virtual ~ExportEngine() = default;
  const std::string& fileName() const { return fileName_; }
  const ExportOptions& options() const { return options_; }
  /// What opens the files when openAfterCreate is on (the desktop's viewer).
  void setOpener(std::function<void(const std::vector<std::string>&)> opener) {
    opener_ = std::move(opener);
  }
  /// Writes the document: every file whole or none at all (temporary names beside the
  /// targets, renamed at the end). Throws host::OperationError naming what failed.
  void write(const Document& doc);
  /// The files the last write left, the file name first.
  const std::vector<std::string>& files() const { return files_; }

 protected:
  /// Writes the document's files through `out`.
  virtual void writeFiles(const Document& doc, ExportFiles& out) = 0;

 private:
  std::string fileName_;
  ExportOptions options_;
  std::function<void(const std::vector<std::string>&)> opener_;
  std::vector<std::string> files_;
};

class PdfExportEngine final : public ExportEngine {
 public:
  using ExportEngine::ExportEngine;

 protected:
  void writeFiles(const Document& doc, ExportFiles& out) override;
};

/// The engine of an export format by its tag (0 txt, 1 csv, 2 htm, 3 xlsx, 4 rtf, 5 wmf,
/// 6 pdf, 7 xhtml, 8 gif, 9 jpg, 10 bmp, 11 emf; see Export.h). Another tag is refused with
/// a host::OperationError naming it.
std::unique_ptr<ExportEngine> makeExportEngine(int tag, const std::string& fileName,
                                               const ExportOptions& options = {});

class ReportPrinter {
 public:
  /// Answers the value of one parameter that the template declares.
  using ParameterEvent = std::function<host::Value(const std::string& name)>;

  explicit ReportPrinter(ReportDataSource& data);

  void setParameterEvent(ParameterEvent event) { onParameter_ = std::move(event); }
  void setPrintPort(std::shared_ptr<PrintPort> port) { print_ = std::move(port); }
  void setPreviewPort(std::shared_ptr<PreviewPort> port) { preview_ = std::move(port); }

  /// The template's reference setting (the first line of the service's answer): kept,
  /// cut to 255 characters.
  void setSetting(const std::string& setting);
  const std::string& setting() const { return setting_; }

  /// Prints the template at `path` (up to 255 characters) on the print port.
  void PrintReport(const std::string& path, const host::DateTime& date = {});
  /// Shows the pages of the template at `path` through the preview port.
  void PreviewReport(const std::string& path, const host::DateTime& date = {});
  /// Writes the template at `path` with `engine`; `templateDate` becomes the file's date.
  void ExportReport(const std::string& path, const host::DateTime& templateDate,
                    ExportEngine& engine);

  /// The template date of the last output (the default value when none was given).
  const host::DateTime& templateDate() const { return date_; }
  /// The parameters asked by the last output, in declaration order.
  const std::vector<std::string>& askedParameters() const { return asked_; }

 private:
  Document produce(const std::string& path, const host::DateTime& date,
                   const std::function<void(const Document&)>& output);

  ReportDataSource& data_;
  ParameterEvent onParameter_;
  std::shared_ptr<PrintPort> print_;
  std::shared_ptr<PreviewPort> preview_;
  std::string setting_;
  host::DateTime date_;
  std::vector<std::string> asked_;
};

}  // namespace report
