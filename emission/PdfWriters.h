#pragma once
// PDF boletos written on worker threads: while the screen numbers the next boletos (service
// calls), the ones already numbered are laid out and drawn, on every core.

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/DateTime.h"
#include "host/Value.h"
#include "report/PageModel.h"
#include "report/Render.h"

namespace rec {

/// One boleto to write as a PDF file.
struct PdfJob {
  std::string key;           ///< CDFILIAL + NRLANBOLREC
  std::string file;          ///< full path of the PDF
  std::string templatePath;  ///< the template in the report directory
  std::string setting;       ///< the template's reference setting from the service
  host::DateTime templateDate;
  /// Values of the report parameters; DIRBARCODE is drawn from `barcode` by the writer.
  std::map<std::string, host::Value> parameters;
  std::string barcode;
  bool markEmitted = false;  ///< the caller records the boleto as emitted once it is written
  /// Laid out and drawn but not written: the drawing comes back in `PdfDone::drawn`, for a file
  /// that holds every boleto of the run (`file` is then unused).
  bool keepPages = false;
  size_t position = 0;  ///< in the run's print order
};

/// A job finished: written, or with the error that stopped it (nothing of it left on disk).
struct PdfDone {
  PdfJob job;
  std::exception_ptr error;
  report::Document pages;  ///< of a job that keeps its pages: size, title, date and fonts
  std::shared_ptr<const report::DrawnPdf> drawn;  ///< ... and the pages, drawn
};

/// Appends the pages of `from` to `into`, whose fonts grow by those `from` adds. An empty
/// `into` takes the size, title and date of `from`; a page of another size is refused, since
/// one PDF of boletos has one paper size.
void appendPages(report::Document& into, report::Document&& from);

class PdfWriters {
 public:
  /// `threads` writers, each with its own data connection reading for `company` (empty: the
  /// host's current company).
  PdfWriters(size_t threads, std::string company);
  /// Waits for the jobs still running.
  ~PdfWriters();
  PdfWriters(const PdfWriters&) = delete;
  PdfWriters& operator=(const PdfWriters&) = delete;

  /// Queues a job; waits while the queue is full, so the numbering keeps only a few boletos
  /// ahead of the drawing.
  void submit(PdfJob job);
  /// The jobs finished since the last call, in the order they finished.
  std::vector<PdfDone> takeDone();
  /// Waits until every job queued has finished.
  void finish();
  /// Has any job failed? The caller then stops queueing.
  bool failed();

 private:
  void work();

  std::string company_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PdfJob> queue_;
  std::vector<PdfDone> done_;
  size_t running_ = 0;
  size_t capacity_;
  bool stopping_ = false;
  bool failed_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace rec
