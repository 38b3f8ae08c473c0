#include "report/Layout.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "host/Consiste.h"
#include "host/TaxId.h"
#include "report/Barcode.h"
#include "report/Image.h"

namespace report {

namespace {

std::string digitsOf(const std::string& s) {
  std::string d;
  for (char c : s)
    if (c >= '0' && c <= '9') d += c;
  return d;
}

}  // namespace

std::string formatValue(const host::Value& value, const std::string& format) {
  if (format.empty() || value.isNull()) return value.asString();
  if (format == "upper") return host::UpperCase(value.asString());
  if (format == "cpfcnpj") return host::formatTaxId(value.asString());
  if (format == "linha") {
    const std::string d = digitsOf(value.asString());
    if (d.size() != 47) return value.asString();
    return fmt::format("{}.{} {}.{} {}.{} {} {}", d.substr(0, 5), d.substr(5, 5), d.substr(10, 5),
                       d.substr(15, 6), d.substr(21, 5), d.substr(26, 6), d.substr(32, 1),
                       d.substr(33));
  }
  if (format[0] == '#' || format[0] == '0') {
    if (value.isText() && host::AllTrim(value.text()).empty()) return {};
    return host::FormatFloat(
        format, value.isText() ? host::StrToFloatDef(value.text(), 0) : value.asDouble());
  }
  if (value.isText() && host::AllTrim(value.text()).empty()) return {};
  return value.asDate().format(format);  // throws std::invalid_argument for a non-date
}

namespace {

// GCC 12 reports the inactive members of a freshly built variant as maybe-uninitialized
// (a known false positive); building the item in place inside one function keeps it quiet.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <typename T>
void add(Page& page, T&& item) {
  page.items.emplace_back(std::in_place_type<std::decay_t<T>>, std::forward<T>(item));
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

class Layouter {
 public:
  Layouter(const Template& tpl, const ReportData& data) : tpl_(tpl), data_(data) {
    for (const auto& d : tpl.datasets) {
      auto it = data.tables.find(d.name);
      tables_[d.name] = it == data.tables.end() ? &empty_ : &it->second;
      rows_[d.name] = 0;
    }
    doc_.width = mmToPt(tpl.pageWidth);
    doc_.height = mmToPt(tpl.pageHeight);
    doc_.title = tpl.title;
    doc_.fonts = tpl.fonts;
    top_ = tpl.marginTop;
    bottom_ = tpl.pageHeight - tpl.marginBottom;
    for (const auto& b : tpl.bands)
      if (b.kind == BandKind::PageFooter)
        footer_ = &b;
      else if (b.kind == BandKind::PageHeader)
        header_ = &b;
  }

  Document run() {
    bool anyRows = false, anyDetail = false;
    newPage();
    for (size_t i = 0; i < tpl_.bands.size(); ++i) {
      const Band& b = tpl_.bands[i];
      switch (b.kind) {
        case BandKind::Title:
        case BandKind::Summary:
          place(b);
          break;
        case BandKind::Detail: {
          anyDetail = true;
          const DataTable& t = *tables_.at(b.dataset);
          if (!t.rows.empty()) anyRows = true;
          details(b);
          break;
        }
        default:
          break;
      }
    }
    if (anyDetail && !anyRows)
      throw ReportError(fmt::format("O relatório {} não tem dados para imprimir", tpl_.fileName));
    finishPage();
    return std::move(doc_);
  }

 private:
  // Group bands belong to the next detail band of their dataset.
  void details(const Band& detail) {
    std::vector<const Band*> headers, footers;
    for (const auto& b : tpl_.bands) {
      if (b.dataset != detail.dataset) continue;
      if (b.kind == BandKind::GroupHeader) headers.push_back(&b);
      if (b.kind == BandKind::GroupFooter) footers.push_back(&b);
    }
    const DataTable& t = *tables_.at(detail.dataset);
    const size_t n = t.rows.size();
    auto keyOf = [&](const Band* g, size_t row) {
      int f = t.fieldIndex(g->groupKey);
      if (f < 0) fieldMissing(*g, g->line, detail.dataset, g->groupKey);
      return t.rows[row][static_cast<size_t>(f)].asString();
    };
    for (size_t r = 0; r < n; ++r) {
      rows_[detail.dataset] = r;
      std::vector<const Band*> opening;
      double needed = detail.height;
      for (const Band* g : headers)
        if (r == 0 || keyOf(g, r) != keyOf(g, r - 1)) opening.push_back(g), needed += g->height;
      // A group header stays with its first row: never alone at the foot of a page.
      if (!opening.empty()) makeRoom(needed);
      for (const Band* g : opening) place(*g);
      place(detail);
      for (const Band* g : footers)
        if (r + 1 == n || keyOf(g, r) != keyOf(g, r + 1)) place(*g);
      if (detail.pageBreak && r + 1 < n) {
        finishPage();
        newPage();
      }
    }
    rows_[detail.dataset] = 0;
  }

  void newPage() {
    doc_.pages.emplace_back();
    y_ = top_;
    if (header_) draw(*header_, y_), y_ += header_->height;
  }

  void finishPage() {
    if (footer_) draw(*footer_, bottom_ - footer_->height);
  }

  double limit() const { return bottom_ - (footer_ ? footer_->height : 0); }

  void makeRoom(double height) {
    if (y_ + height > limit() + 1e-9 && y_ > top_ + (header_ ? header_->height : 0) + 1e-9) {
      finishPage();
      newPage();
    }
  }

  void place(const Band& b) {
    makeRoom(b.height);
    draw(b, y_);
    y_ += b.height;
  }

  [[noreturn]] void fieldMissing(const Band&, int line, const std::string& dataset,
                                 const std::string& field) const {
    throw ReportError(fmt::format("Modelo {}, linha {}: o conjunto de dados {} não tem o campo {}",
                                  tpl_.fileName, line, dataset, field));
  }

  host::Value resolve(const Ref& r, const Band& band, int line) const {
    if (r.isParam) {
      auto it = data_.params.find(r.name);
      return it == data_.params.end() ? host::Value() : it->second;
    }
    std::string ds = r.dataset;
    if (ds.empty()) ds = band.dataset.empty() ? tpl_.datasets.front().name : band.dataset;
    const DataTable& t = *tables_.at(ds);
    int f = t.fieldIndex(r.name);
    if (f < 0) {
      // An empty answer carries no fields at all; that is no data, not a wrong template.
      if (t.rows.empty()) return {};
      fieldMissing(band, line, ds, r.name);
    }
    const size_t row = rows_.at(ds);
    if (row >= t.rows.size()) return {};
    return t.rows[row][static_cast<size_t>(f)];
  }

  std::string text(const Ref& r, const Band& band, int line) const {
    try {
      return formatValue(resolve(r, band, line), r.format);
    } catch (const std::invalid_argument&) {
      throw ReportError(fmt::format("Modelo {}, linha {}: o valor de {} não é uma data",
                                    tpl_.fileName, line, r.name));
    }
  }

  std::string evaluate(const Expression& e, const Band& band, int line) const {
    if (e.pieces.size() == 1 && !e.pieces[0].isRef) return e.pieces[0].literal;
    std::string out;
    for (const auto& p : e.pieces) out += p.isRef ? text(p.ref, band, line) : p.literal;
    return out;
  }

  bool visible(const Element& el, const Band& band) const {
    if (!el.when.present) return true;
    const std::string v = text(el.when.ref, band, el.line);
    return (v == el.when.literal) == el.when.equals;
  }

  std::shared_ptr<const Bitmap> image(const std::string& path) {
    auto it = images_.find(path);
    if (it != images_.end()) return it->second;
    auto img = std::make_shared<const Bitmap>(loadImage(path));
    images_[path] = img;
    return img;
  }

  void draw(const Band& b, double top) {
    Page& page = doc_.pages.back();
    const double left = tpl_.marginLeft;
    for (const Element& el : b.elements) {
      if (!visible(el, b)) continue;
      const Rect box{mmToPt(left + el.x), mmToPt(top + el.y), mmToPt(el.w), mmToPt(el.h)};
      switch (el.kind) {
        case ElementKind::Text: {
          std::string s = evaluate(el.expr, b, el.line);
          if (!s.empty()) add(page, TextItem{box, std::move(s), el.font, el.align, el.wrap});
          break;
        }
        case ElementKind::Line:
          add(page, LineItem{mmToPt(left + el.x), mmToPt(top + el.y), mmToPt(left + el.w),
                             mmToPt(top + el.h), el.lineWidth});
          break;
        case ElementKind::Rect:
          add(page, BoxItem{box, el.lineWidth, el.fillGray});
          break;
        case ElementKind::Image: {
          const std::string path = evaluate(el.expr, b, el.line);
          if (!path.empty()) add(page, ImageItem{box, image(path)});
          break;
        }
        case ElementKind::Barcode: {
          const std::string data = evaluate(el.expr, b, el.line);
          try {
            auto bars = barcodeBars(el.barcode, data, box);
            if (!bars.empty()) add(page, BarsItem{std::move(bars)});
          } catch (const BarcodeError& e) {
            throw ReportError(
                fmt::format("Modelo {}, linha {}: {}", tpl_.fileName, el.line, e.what()));
          }
          break;
        }
      }
    }
  }

  const Template& tpl_;
  const ReportData& data_;
  DataTable empty_;
  std::map<std::string, const DataTable*> tables_;
  std::map<std::string, size_t> rows_;
  std::map<std::string, std::shared_ptr<const Bitmap>> images_;
  const Band* header_ = nullptr;
  const Band* footer_ = nullptr;
  Document doc_;
  double top_ = 0, bottom_ = 0, y_ = 0;
};

}  // namespace

Document layoutReport(const Template& tpl, const ReportData& data) {
  return Layouter(tpl, data).run();
}

}  // namespace report
