#include "report/Report.h"

#include <fmt/format.h>

#include <filesystem>
#include <random>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "report/Image.h"
#include "report/Layout.h"
#include "report/Render.h"
#include "report/Template.h"

namespace report {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxPath = 255;

/// Runs `f` when leaving the scope, however it is left.
template <typename F>
class Finally {
 public:
  explicit Finally(F f) : f_(std::move(f)) {}
  ~Finally() { f_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  F f_;
};

bool isZeroDate(const host::DateTime& d) {
  return d == host::DateTime();
}

}  // namespace

HeadlessPreview::HeadlessPreview(std::string dir) : dir_(std::move(dir)) {}

void HeadlessPreview::showPages(const std::string& title, const std::vector<PreviewPage>& pages) {
  std::error_code ec;
  fs::create_directories(dir_, ec);
  for (const auto& p : pages) {
    auto path = (fs::path(dir_) / fmt::format("{}-{:03}.png", title, p.number)).string();
    writeFileAtomically(path, p.png);
    files_.push_back(path);
  }
}

ReportPrinter::ReportPrinter(ReportDataSource& data) : data_(data) {}

void ReportPrinter::setSetting(const std::string& setting) {
  setting_ = host::Utf8Substr(setting, 0, kMaxPath);
}

Document ReportPrinter::produce(const std::string& path, const host::DateTime& date,
                                const std::function<void(const Document&)>& output) {
  date_ = date;
  asked_.clear();
  std::string barcodeImage;
  // The barcode image exists only for this output: gone afterwards, whatever happened.
  Finally dropImage([&] {
    if (!barcodeImage.empty()) {
      std::error_code ec;
      fs::remove(barcodeImage, ec);
    }
  });
  if (host::Utf8Length(path) > kMaxPath)
    throw TemplateError(fmt::format("Caminho do modelo de relatório longo demais: {}", path));
  const auto shared = loadTemplateShared(path);
  const Template& tpl = *shared;

  ReportData data;
  for (const auto& p : tpl.params) {
    asked_.push_back(p.name);
    host::Value v = onParameter_ ? onParameter_(p.name) : host::Value();
    if (v.isNull()) v = host::Value(p.defaultValue);
    if (p.name == "DIRBARCODE") barcodeImage = v.asString();
    data.params[p.name] = std::move(v);
  }

  data_.close();
  Finally closeData([&] { data_.close(); });
  data_.open(host::WebURL(), host::WebPort());
  for (const auto& d : tpl.datasets) {
    std::vector<DataBinding> bindings;
    for (const auto& b : d.bindings)
      bindings.push_back({b.field, b.fromParam ? data.params[b.value] : host::Value(b.value)});
    data.tables[d.name] = data_.fetch(d.name, bindings);
  }
  Document doc = layoutReport(tpl, data);
  if (!isZeroDate(date)) doc.date = date;
  if (doc.title.empty()) doc.title = fs::path(path).stem().string();
  output(doc);
  return doc;
}

void ReportPrinter::PrintReport(const std::string& path, const host::DateTime& date) {
  produce(path, date, [&](const Document& doc) {
    if (!print_) throw host::OperationError("Nenhuma impressora configurada");
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    const std::string pdf = fmt::format("{}impressao-{:x}.pdf", host::DirWinTemp(), rng());
    Finally drop([&] {
      std::error_code ec;
      fs::remove(pdf, ec);
    });
    writeFileAtomically(pdf, renderPdf(doc));
    print_->printPdf(pdf, doc.title);
  });
}

void ReportPrinter::PreviewReport(const std::string& path, const host::DateTime& date) {
  produce(path, date, [&](const Document& doc) {
    if (!preview_) throw host::OperationError("Nenhuma visualização disponível");
    std::vector<PreviewPage> pages;
    int n = 0;
    for (auto& png : renderPng(doc, 110)) pages.push_back({++n, std::move(png)});
    preview_->showPages(fs::path(path).stem().string(), pages);
  });
}

void ReportPrinter::ExportReport(const std::string& path, const host::DateTime& templateDate,
                                 ExportEngine& engine) {
  if (engine.fileName().empty()) throw host::OperationError("Arquivo de exportação não informado");
  produce(path, templateDate, [&](const Document& doc) { engine.write(doc); });
}

}  // namespace report
