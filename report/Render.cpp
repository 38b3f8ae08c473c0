#include "report/Render.h"

#include <memory>
#include <unordered_map>

#include <cairo-pdf.h>
#include <cairo.h>
#include <fmt/format.h>
#include <pango/pangocairo.h>

#include "host/Errors.h"

namespace report {

namespace {

/// Layouts shaped on this thread, by font and text. Pango's default font map is per
/// thread, so each thread keeps its own.
class LayoutCache {
 public:
  LayoutCache() {
    context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    // Positions independent of the output's resolution: the PDF and a 300 dpi picture
    // place every glyph at the same point.
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context_, o);
    cairo_font_options_destroy(o);
    pango_cairo_context_set_resolution(context_, 72.0);
  }
  ~LayoutCache() {
    clear();
    g_object_unref(context_);
    for (auto& [k, d] : fonts_) pango_font_description_free(d);
  }
  LayoutCache(const LayoutCache&) = delete;
  LayoutCache& operator=(const LayoutCache&) = delete;

  PangoLayout* get(const FontSpec& f, const TextItem& t) {
    std::string key = fmt::format("{}\x1f{}\x1f{}{}\x1f{}\x1f{}\x1f", f.family, f.size, f.bold ? 'b' : '-',
                                  f.italic ? 'i' : '-', t.wrap ? t.box.w : -1.0,
                                  static_cast<int>(t.align));
    key += t.text;
    auto it = layouts_.find(key);
    if (it != layouts_.end()) return it->second;
    if (layouts_.size() > 20000) clear();  // variable texts of many documents: start afresh
    PangoLayout* l = pango_layout_new(context_);
    pango_layout_set_font_description(l, font(f));
    pango_layout_set_text(l, t.text.data(), static_cast<int>(t.text.size()));
    if (t.wrap) {
      pango_layout_set_width(l, static_cast<int>(t.box.w * PANGO_SCALE));
      pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
      pango_layout_set_alignment(l, t.align == Align::Right    ? PANGO_ALIGN_RIGHT
                                    : t.align == Align::Center ? PANGO_ALIGN_CENTER
                                                               : PANGO_ALIGN_LEFT);
    }
    layouts_.emplace(std::move(key), l);
    return l;
  }

 private:
  const PangoFontDescription* font(const FontSpec& f) {
    std::string key = fmt::format("{}\x1f{}\x1f{}{}", f.family, f.size, f.bold, f.italic);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, f.family.c_str());
    pango_font_description_set_absolute_size(d, f.size * PANGO_SCALE);
    pango_font_description_set_weight(d, f.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    fonts_.emplace(std::move(key), d);
    return d;
  }

  void clear() {
    for (auto& [k, l] : layouts_) g_object_unref(l);
    layouts_.clear();
  }

  PangoContext* context_;
  std::unordered_map<std::string, PangoLayout*> layouts_;
  std::unordered_map<std::string, PangoFontDescription*> fonts_;
};

LayoutCache& cache() {
  thread_local LayoutCache c;
  return c;
}

void drawPage(cairo_t* cr, const Document& doc, const Page& page) {
  static const FontSpec kFallback{"Liberation Sans", 8, false, false};
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const Item& item : page.items) {
    if (const auto* t = std::get_if<TextItem>(&item)) {
      const FontSpec& f = t->font >= 0 && static_cast<size_t>(t->font) < doc.fonts.size()
                              ? doc.fonts[static_cast<size_t>(t->font)]
                              : kFallback;
      PangoLayout* l = cache().get(f, *t);
      double x = t->box.x;
      if (!t->wrap && t->align != Align::Left) {
        PangoRectangle logical;
        pango_layout_get_extents(l, nullptr, &logical);
        const double w = static_cast<double>(logical.width) / PANGO_SCALE;
        x += t->align == Align::Right ? t->box.w - w : (t->box.w - w) / 2;
      }
      cairo_move_to(cr, x, t->box.y);
      pango_cairo_show_layout(cr, l);
    } else if (const auto* ln = std::get_if<LineItem>(&item)) {
      cairo_set_line_width(cr, ln->width);
      cairo_move_to(cr, ln->x1, ln->y1);
      cairo_line_to(cr, ln->x2, ln->y2);
      cairo_stroke(cr);
    } else if (const auto* b = std::get_if<BoxItem>(&item)) {
      cairo_rectangle(cr, b->box.x, b->box.y, b->box.w, b->box.h);
      if (b->fillGray >= 0) {
        cairo_set_source_rgb(cr, b->fillGray, b->fillGray, b->fillGray);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
      }
      if (b->lineWidth > 0) {
        cairo_set_line_width(cr, b->lineWidth);
        cairo_stroke(cr);
      } else {
        cairo_new_path(cr);
      }
    } else if (const auto* im = std::get_if<ImageItem>(&item)) {
      const Bitmap& bm = *im->image;
      if (bm.width <= 0 || bm.height <= 0) continue;
      cairo_surface_t* s = cairo_image_surface_create_for_data(
          reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(bm.pixels.data())),
          CAIRO_FORMAT_RGB24, bm.width, bm.height, bm.width * 4);
      cairo_save(cr);
      cairo_translate(cr, im->box.x, im->box.y);
      cairo_scale(cr, im->box.w / bm.width, im->box.h / bm.height);
      cairo_set_source_surface(cr, s, 0, 0);
      // Bars must stay sharp-edged: no smoothing between pixels when scaled.
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
      cairo_rectangle(cr, 0, 0, bm.width, bm.height);
      cairo_fill(cr);
      cairo_restore(cr);
      cairo_surface_destroy(s);
      cairo_set_source_rgb(cr, 0, 0, 0);
    } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
      for (const Rect& r : bars->bars) cairo_rectangle(cr, r.x, r.y, r.w, r.h);
      cairo_fill(cr);
    }
  }
}

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void check(cairo_status_t st, const char* what) {
  if (st != CAIRO_STATUS_SUCCESS)
    throw host::OperationError(fmt::format("Falha ao gerar {}: {}", what, cairo_status_to_string(st)));
}

}  // namespace

std::string renderPdf(const Document& doc) {
  std::string out;
  out.reserve(48 * 1024);
  cairo_surface_t* s = cairo_pdf_surface_create_for_stream(appendTo, &out, doc.width, doc.height);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s, cairo_surface_destroy);
  check(cairo_surface_status(s), "o PDF");
  if (!doc.title.empty()) cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_TITLE, doc.title.c_str());
  if (doc.date) {
    const std::string d = doc.date->format("yyyy-mm-ddThh:nn:ss");
    cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_CREATE_DATE, d.c_str());
    cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_MOD_DATE, d.c_str());
  }
  cairo_t* cr = cairo_create(s);
  for (const Page& p : doc.pages) {
    drawPage(cr, doc, p);
    cairo_show_page(cr);
  }
  const cairo_status_t st = cairo_status(cr);
  cairo_destroy(cr);
  check(st, "o PDF");
  cairo_surface_finish(s);
  check(cairo_surface_status(s), "o PDF");
  return out;
}

std::vector<std::string> renderPng(const Document& doc, double dpi) {
  std::vector<std::string> out;
  const double scale = dpi / 72.0;
  const int w = static_cast<int>(doc.width * scale + 0.5), h = static_cast<int>(doc.height * scale + 0.5);
  for (const Page& p : doc.pages) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s, cairo_surface_destroy);
    check(cairo_surface_status(s), "a imagem da página");
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, scale, scale);
    drawPage(cr, doc, p);
    const cairo_status_t st = cairo_status(cr);
    cairo_destroy(cr);
    check(st, "a imagem da página");
    std::string png;
    check(cairo_surface_write_to_png_stream(s, appendTo, &png), "a imagem da página");
    out.push_back(std::move(png));
  }
  return out;
}

}  // namespace report
