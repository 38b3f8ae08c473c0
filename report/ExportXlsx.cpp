// xlsx: one sheet a page. The edges of the page's texts and pictures become the column and
// row boundaries (no spacing columns or rows between them), each text fills the cells its
// box covers (merged), numbers and dates become numbers and dates in their display format,
// alignment as on the page; pictures and barcodes are PNG pictures over their cells.

#include <fmt/format.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <regex>

#include "host/DateTime.h"
#include "host/Errors.h"
#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Render.h"

namespace report {

namespace {

constexpr double kPixelsPerPt = 96.0 / 72.0;
/// Edges closer than a pixel are one edge.
constexpr double kSnap = 0.75;

/// A cell's value as a spreadsheet would take it from the page's text.
struct CellValue {
  enum Kind { Text, Number, Date } kind = Text;
  double number = 0;
  host::DateTime date;
  const char* format = nullptr;
};

CellValue autoFormat(const std::string& text) {
  // Brazilian amounts ("1.234,56", "-0,41") and plain counts; digit strings with leading
  // zeros (document and nosso número) stay text, as do codes longer than a double holds.
  static const std::regex kMoney(R"(-?\d{1,3}(\.\d{3})*,(\d{2,3}))");
  static const std::regex kCount(R"(-?[1-9]\d{0,8}|0)");
  static const std::regex kDate(R"((\d{2})/(\d{2})/(\d{4}))");
  CellValue v;
  std::smatch m;
  if (std::regex_match(text, m, kMoney)) {
    std::string plain;
    for (char c : text)
      if (c != '.') plain += c == ',' ? '.' : c;
    v.kind = CellValue::Number;
    v.number = std::stod(plain);
    v.format = m[2].length() == 3 ? "#,##0.000" : "#,##0.00";
  } else if (std::regex_match(text, kCount)) {
    v.kind = CellValue::Number;
    v.number = std::stod(text);
    v.format = "0";
  } else if (std::regex_match(text, m, kDate)) {
    const int d = std::stoi(m[1]), mo = std::stoi(m[2]), y = std::stoi(m[3]);
    if (host::DateTime::validYmd(y, mo, d) && y >= 1900) {
      v.kind = CellValue::Date;
      v.date = host::DateTime::fromYmd(y, mo, d);
      v.format = "dd/mm/yyyy";
    }
  }
  return v;
}

/// Sorted edges with the near ones made one.
class Edges {
 public:
  void add(double v) { raw_.push_back(v); }
  void close() {
    std::sort(raw_.begin(), raw_.end());
    for (double v : raw_)
      if (edges_.empty() || v - edges_.back() > kSnap) edges_.push_back(v);
  }
  /// The index of the edge nearest to `v`.
  size_t at(double v) const {
    auto it = std::lower_bound(edges_.begin(), edges_.end(), v);
    if (it == edges_.end()) return edges_.size() - 1;
    if (it != edges_.begin() && v - *(it - 1) < *it - v) --it;
    return static_cast<size_t>(it - edges_.begin());
  }
  size_t cells() const { return edges_.size() - 1; }
  /// The cell that starts at the edge nearest to `v`.
  size_t cellAt(double v) const { return std::min(at(v), cells() - 1); }
  /// The last cell that ends at or before the edge nearest to `v`.
  size_t lastCellBefore(double v) const {
    const size_t e = at(v);
    return e == 0 ? 0 : std::min(e - 1, cells() - 1);
  }
  /// The size of cell `i` in pixels, rounded on the running position so that cells add up.
  uint32_t pixels(size_t i) const {
    const auto a = std::lround(edges_[i] * kPixelsPerPt),
               b = std::lround(edges_[i + 1] * kPixelsPerPt);
    return static_cast<uint32_t>(std::max(1L, b - a));
  }
  double edge(size_t i) const { return edges_[i]; }

 private:
  std::vector<double> raw_;
  std::vector<double> edges_;
};

struct Cell {
  std::string text;
  const TextItem* item = nullptr;
  size_t lastRow = 0, lastCol = 0;
};

class XlsxWriter {
 public:
  XlsxWriter(const Document& doc, const std::string& path) : doc_(doc) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    wb_ = workbook_new_opt(path.c_str(), &options);
    if (!wb_) throw host::OperationError(fmt::format("Não foi possível gravar o arquivo {}", path));
    title_ = doc.title;
    lxw_doc_properties props{};
    props.title = title_.data();
    workbook_set_properties(wb_, &props);
  }
  ~XlsxWriter() {
    // A workbook not closed is still freed (its half-written file goes with the export).
    if (wb_) workbook_close(wb_);
  }
  XlsxWriter(const XlsxWriter&) = delete;
  XlsxWriter& operator=(const XlsxWriter&) = delete;

  void sheet(const Page& page, size_t index) {
    lxw_worksheet* ws = workbook_add_worksheet(wb_, fmt::format("Página {}", index + 1).c_str());
    if (!ws) fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    worksheet_gridlines(ws, LXW_HIDE_ALL_GRIDLINES);
    if (std::fabs(doc_.width - 595.28) < 2 && std::fabs(doc_.height - 841.89) < 2)
      worksheet_set_paper(ws, 9);  // A4
    worksheet_set_margins(ws, 0, 0, 0, 0);

    Edges xs, ys;
    xs.add(0);
    xs.add(doc_.width);
    ys.add(0);
    ys.add(doc_.height);
    std::vector<std::pair<const Item*, Rect>> placed;
    std::vector<BarsPicture> barPictures;
    for (const Item& item : page.items) {
      Rect box;
      if (const auto* t = std::get_if<TextItem>(&item)) {
        if (t->text.empty()) continue;
        box = t->box;
      } else if (const auto* im = std::get_if<ImageItem>(&item)) {
        if (!im->image || im->image->width <= 0) continue;
        box = im->box;
      } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
        barPictures.push_back(barsPicture(*bars));
        if (barPictures.back().image.width <= 0) continue;
        box = barPictures.back().box;
      } else {
        continue;
      }
      xs.add(box.x);
      xs.add(box.x + box.w);
      ys.add(box.y);
      ys.add(box.y + box.h);
      placed.emplace_back(&item, box);
    }
    xs.close();
    ys.close();
    for (size_t c = 0; c < xs.cells(); ++c)
      worksheet_set_column_pixels(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                  xs.pixels(c), nullptr);
    for (size_t r = 0; r < ys.cells(); ++r)
      worksheet_set_row_pixels(ws, static_cast<lxw_row_t>(r), ys.pixels(r), nullptr);

    // Texts top to bottom, left to right: a text whose cells are taken joins the text of
    // the cell where it starts, so nothing of the page is lost.
    std::vector<std::pair<const TextItem*, Rect>> texts;
    for (const auto& [item, box] : placed)
      if (const auto* t = std::get_if<TextItem>(item)) texts.emplace_back(t, box);
    std::stable_sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
      return a.second.y != b.second.y ? a.second.y < b.second.y : a.second.x < b.second.x;
    });
    std::map<std::pair<size_t, size_t>, Cell> cells;
    std::vector<std::vector<bool>> taken(ys.cells(), std::vector<bool>(xs.cells(), false));
    for (const auto& [t, box] : texts) {
      const size_t r0 = ys.cellAt(box.y), c0 = xs.cellAt(box.x);
      const size_t r1 = std::max(r0, ys.lastCellBefore(box.y + box.h)),
                   c1 = std::max(c0, xs.lastCellBefore(box.x + box.w));
      if (auto it = cells.find({r0, c0}); it != cells.end()) {
        it->second.text += " " + t->text;
        continue;
      }
      if (taken[r0][c0]) {
        // Inside a merged range of an earlier text: join that text.
        for (auto& [key, cell] : cells)
          if (key.first <= r0 && r0 <= cell.lastRow && key.second <= c0 && c0 <= cell.lastCol) {
            cell.text += " " + t->text;
            break;
          }
        continue;
      }
      bool free = true;
      for (size_t r = r0; r <= r1 && free; ++r)
        for (size_t c = c0; c <= c1 && free; ++c) free = !taken[r][c];
      const size_t lastRow = free ? r1 : r0, lastCol = free ? c1 : c0;
      for (size_t r = r0; r <= lastRow; ++r)
        for (size_t c = c0; c <= lastCol; ++c) taken[r][c] = true;
      cells[{r0, c0}] = Cell{t->text, t, lastRow, lastCol};
    }
    for (const auto& [key, cell] : cells) write(ws, key.first, key.second, cell);

    size_t bar = 0;
    for (const auto& [item, box] : placed) {
      const Bitmap* image = nullptr;
      if (const auto* im = std::get_if<ImageItem>(item)) image = im->image.get();
      if (std::holds_alternative<BarsItem>(*item)) {
        while (bar < barPictures.size() && barPictures[bar].image.width <= 0) ++bar;
        image = &barPictures[bar++].image;
      }
      if (!image) continue;
      const std::string& png = pictures_.emplace_back(encodePng(*image));
      lxw_image_options o{};
      const size_t r = ys.cellAt(box.y), c = xs.cellAt(box.x);
      o.x_offset = static_cast<int32_t>(std::lround((box.x - xs.edge(c)) * kPixelsPerPt));
      o.y_offset = static_cast<int32_t>(std::lround((box.y - ys.edge(r)) * kPixelsPerPt));
      o.x_scale = box.w * kPixelsPerPt / image->width;
      o.y_scale = box.h * kPixelsPerPt / image->height;
      o.description = const_cast<char*>("Código de barras");
      check(worksheet_insert_image_buffer_opt(
          ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
          reinterpret_cast<const unsigned char*>(png.data()), png.size(), &o));
    }
  }

  void close() {
    const lxw_error e = workbook_close(wb_);
    wb_ = nullptr;
    check(e);
  }

 private:
  [[noreturn]] static void fail(lxw_error e) {
    throw host::OperationError(fmt::format("Falha ao gerar a planilha: {}", lxw_strerror(e)));
  }
  static void check(lxw_error e) {
    if (e != LXW_NO_ERROR) fail(e);
  }

  lxw_format* format(const TextItem& t, const char* numberFormat) {
    const FontSpec& font = fontOf(doc_, t);
    const std::string key =
        fmt::format("{}|{}|{}|{}|{}|{}|{}", font.family, font.size, font.bold, font.italic,
                    static_cast<int>(t.align), t.wrap, numberFormat ? numberFormat : "");
    if (auto it = formats_.find(key); it != formats_.end()) return it->second;
    lxw_format* f = workbook_add_format(wb_);
    format_set_font_name(f, font.family.c_str());
    format_set_font_size(f, font.size);
    if (font.bold) format_set_bold(f);
    if (font.italic) format_set_italic(f);
    format_set_align(f, t.align == Align::Right    ? LXW_ALIGN_RIGHT
                        : t.align == Align::Center ? LXW_ALIGN_CENTER
                                                   : LXW_ALIGN_LEFT);
    format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
    if (t.wrap) format_set_text_wrap(f);
    if (numberFormat) format_set_num_format(f, numberFormat);
    formats_[key] = f;
    return f;
  }

  void write(lxw_worksheet* ws, size_t r, size_t c, const Cell& cell) {
    const CellValue v = autoFormat(cell.text);
    lxw_format* f = format(*cell.item, v.format);
    const auto row = static_cast<lxw_row_t>(r);
    const auto col = static_cast<lxw_col_t>(c);
    if (cell.lastRow > r || cell.lastCol > c)
      check(worksheet_merge_range(ws, row, col, static_cast<lxw_row_t>(cell.lastRow),
                                  static_cast<lxw_col_t>(cell.lastCol), "", f));
    switch (v.kind) {
      case CellValue::Number:
        check(worksheet_write_number(ws, row, col, v.number, f));
        break;
      case CellValue::Date: {
        lxw_datetime d{v.date.year(), v.date.month(), v.date.day(), 0, 0, 0};
        check(worksheet_write_datetime(ws, row, col, &d, f));
        break;
      }
      case CellValue::Text:
        check(worksheet_write_string(ws, row, col, cell.text.c_str(), f));
        break;
    }
  }

  const Document& doc_;
  lxw_workbook* wb_ = nullptr;
  std::string title_;
  std::map<std::string, lxw_format*> formats_;
  std::deque<std::string> pictures_;  // the workbook reads them only when it is closed
};

}  // namespace

void XlsxExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  XlsxWriter w(doc, out.reserve(fileName()));
  for (size_t i = 0; i < doc.pages.size(); ++i) w.sheet(doc.pages[i], i);
  w.close();
}

}  // namespace report
