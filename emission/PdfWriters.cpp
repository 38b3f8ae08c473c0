#include "emission/PdfWriters.h"

#include "host/Consiste.h"
#include "host/Context.h"
#include "report/Barcode.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"

namespace rec {

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
      report::PdfExportEngine engine(job.file);
      printer.ExportReport(job.templatePath, job.templateDate, engine);
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
