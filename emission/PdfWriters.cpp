#include "emission/PdfWriters.h"

#include <fmt/format.h>

#include <cmath>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "report/Barcode.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"

namespace rec {

namespace {

/// An export that writes nothing: it keeps the pages laid out for it.
class KeepPages final : public report::ExportEngine {
 public:
  explicit KeepPages(report::Document& into) : ExportEngine("-"), into_(into) {}

 protected:
  void writeFiles(const report::Document& doc, report::ExportFiles&) override { into_ = doc; }

 private:
  report::Document& into_;
};

bool sameFont(const report::FontSpec& a, const report::FontSpec& b) {
  return a.family == b.family && a.size == b.size && a.bold == b.bold && a.italic == b.italic;
}

}  // namespace

void appendPages(report::Document& into, report::Document&& from) {
  if (into.pages.empty() && into.fonts.empty()) {
    into.width = from.width;
    into.height = from.height;
    into.title = from.title;
    into.date = from.date;
  } else if (std::abs(into.width - from.width) > 0.5 || std::abs(into.height - from.height) > 0.5) {
    throw host::OperationError(fmt::format(
        "Boletos de papéis de tamanhos diferentes não cabem em um só arquivo ({}: {:.0f} x {:.0f} "
        "pt; {}: {:.0f} x {:.0f} pt)",
        into.title, into.width, into.height, from.title, from.width, from.height));
  }
  std::vector<int> fontOf(from.fonts.size());
  for (size_t i = 0; i < from.fonts.size(); ++i) {
    size_t j = 0;
    while (j < into.fonts.size() && !sameFont(into.fonts[j], from.fonts[i])) ++j;
    if (j == into.fonts.size()) into.fonts.push_back(from.fonts[i]);
    fontOf[i] = static_cast<int>(j);
  }
  for (auto& page : from.pages) {
    for (auto& item : page.items)
      if (auto* t = std::get_if<report::TextItem>(&item))
        if (t->font >= 0 && static_cast<size_t>(t->font) < fontOf.size()) t->font = fontOf[t->font];
    into.pages.push_back(std::move(page));
  }
}

PdfWriters::PdfWriters(size_t threads, std::string company)
    : company_(std::move(company)), capacity_(2 * std::max<size_t>(threads, 1)) {
  for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
    threads_.emplace_back([this] { work(); });
}

PdfWriters::~PdfWriters() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& t : threads_) t.join();
}

void PdfWriters::submit(PdfJob job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < capacity_; });
  queue_.push_back(std::move(job));
  changed_.notify_all();
}

std::vector<PdfDone> PdfWriters::takeDone() {
  std::lock_guard lock(mutex_);
  std::vector<PdfDone> out;
  out.swap(done_);
  return out;
}

void PdfWriters::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

bool PdfWriters::failed() {
  std::lock_guard lock(mutex_);
  return failed_;
}

void PdfWriters::work() {
  // Each writer reads the report's data over a connection of its own.
  report::RemoteDataSource data;
  data.setCompany(company_);
  report::ReportPrinter printer(data);
  for (;;) {
    PdfJob job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      ++running_;
    }
    changed_.notify_all();
    PdfDone result;
    try {
      printer.setSetting(job.setting);
      printer.setParameterEvent([&job](const std::string& name) -> host::Value {
        if (name == "DIRBARCODE")
          return report::saveBarcodeImage(host::DirWinTemp(), job.barcode, host::Now());
        auto it = job.parameters.find(name);
        return it == job.parameters.end() ? host::Value() : it->second;
      });
      if (job.keepPages) {
        KeepPages engine(result.pages);
        printer.ExportReport(job.templatePath, job.templateDate, engine);
        // Drawn here, beside the numbering of the next boletos: the file at the end of the
        // run is then only put together.
        result.drawn = report::drawPdf(result.pages);
        result.pages.pages.clear();
      } else {
        report::PdfExportEngine engine(job.file);
        printer.ExportReport(job.templatePath, job.templateDate, engine);
      }
    } catch (...) {
      result.error = std::current_exception();
    }
    result.job = std::move(job);
    {
      std::lock_guard lock(mutex_);
      if (result.error) failed_ = true;
      done_.push_back(std::move(result));
      --running_;
    }
    changed_.notify_all();
  }
}

}  // namespace rec
