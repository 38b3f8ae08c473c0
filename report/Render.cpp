#include "report/Render.h"

#include <cairo.h>
#include <fmt/format.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

#include "host/Errors.h"
#include "report/PdfFont.h"

namespace report {

namespace {

/// A text shaped once: runs of glyphs, each in one cairo font, at positions relative to the
/// text's top-left corner.
struct Shaped {
  struct Run {
    cairo_scaled_font_t* font = nullptr;  // referenced
    const pdf::Face* face = nullptr;
    double size = 0;  // points
    std::vector<cairo_glyph_t> glyphs;
  };
  double width = 0;  // logical width, for alignment
  std::vector<Run> runs;
};

/// Texts shaped on this thread, by font and text. Pango's default font map is per thread,
/// so each thread keeps its own.
class ShapeCache {
 public:
  ShapeCache() {
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
  ~ShapeCache() {
    clear();
    g_object_unref(context_);
    for (auto& [k, d] : fonts_) pango_font_description_free(d);
  }
  ShapeCache(const ShapeCache&) = delete;
  ShapeCache& operator=(const ShapeCache&) = delete;

  /// The lines of `t` as pango breaks them, relative to the item's top-left corner.
  std::vector<TextLine> lines(const FontSpec& f, const TextItem& t) {
    std::vector<TextLine> out;
    PangoLayout* l = layout(f, t);
    PangoLayoutIter* iter = pango_layout_get_iter(l);
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      if (!line || line->length <= 0) continue;
      PangoRectangle logical;
      pango_layout_iter_get_line_extents(iter, nullptr, &logical);
      TextLine tl;
      tl.text.assign(t.text, static_cast<size_t>(line->start_index),
                     static_cast<size_t>(line->length));
      while (!tl.text.empty() && (tl.text.back() == '\n' || tl.text.back() == '\r'))
        tl.text.pop_back();
      if (tl.text.empty()) continue;
      tl.x = static_cast<double>(logical.x) / PANGO_SCALE;
      tl.top = static_cast<double>(logical.y) / PANGO_SCALE;
      tl.baseline = static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
      tl.width = static_cast<double>(logical.width) / PANGO_SCALE;
      for (GSList* r = line->runs; r; r = r->next) {
        auto* run = static_cast<PangoGlyphItem*>(r->data);
        std::vector<int> widths(static_cast<size_t>(std::max(0, run->item->num_chars)));
        pango_glyph_string_get_logical_widths(run->glyphs, t.text.data() + run->item->offset,
                                              run->item->length, run->item->analysis.level,
                                              widths.data());
        for (int w : widths) tl.advances.push_back(static_cast<double>(w) / PANGO_SCALE);
      }
      tl.advances.resize(g_utf8_strlen(tl.text.data(), static_cast<gssize>(tl.text.size())));
      out.push_back(std::move(tl));
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    g_object_unref(l);
    return out;
  }

  const Shaped& get(const FontSpec& f, const TextItem& t) {
    std::string key =
        fmt::format("{}\x1f{}\x1f{}{}\x1f{}\x1f{}\x1f", f.family, f.size, f.bold ? 'b' : '-',
                    f.italic ? 'i' : '-', t.wrap ? t.box.w : -1.0, static_cast<int>(t.align));
    key += t.text;
    auto it = shaped_.find(key);
    if (it != shaped_.end()) return it->second;
    if (shaped_.size() > 20000) clear();  // variable texts of many documents: start afresh
    return shaped_.emplace(std::move(key), shape(f, t)).first->second;
  }

 private:
  PangoLayout* layout(const FontSpec& f, const TextItem& t) {
    PangoLayout* l = pango_layout_new(context_);
    pango_layout_set_font_description(l, font(f));
    pango_layout_set_text(l, t.text.data(), static_cast<int>(t.text.size()));
    if (t.wrap) {
      pango_layout_set_width(l, static_cast<int>(t.box.w * PANGO_SCALE));
      pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
      // A long code broken across lines must not gain a hyphen: what is read or copied from
      // the page (a Pix "copia e cola", an e-mail address) is the text itself.
      PangoAttrList* attrs = pango_attr_list_new();
      pango_attr_list_insert(attrs, pango_attr_insert_hyphens_new(FALSE));
      pango_layout_set_attributes(l, attrs);
      pango_attr_list_unref(attrs);
      pango_layout_set_alignment(l, t.align == Align::Right    ? PANGO_ALIGN_RIGHT
                                    : t.align == Align::Center ? PANGO_ALIGN_CENTER
                                                               : PANGO_ALIGN_LEFT);
    }
    return l;
  }

  Shaped shape(const FontSpec& f, const TextItem& t) {
    PangoLayout* l = layout(f, t);
    Shaped out;
    PangoRectangle logical;
    pango_layout_get_extents(l, nullptr, &logical);
    out.width = static_cast<double>(logical.width) / PANGO_SCALE;
    PangoLayoutIter* iter = pango_layout_get_iter(l);
    do {
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
      if (!run) continue;
      const double baseline =
          static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
      PangoRectangle ext;
      pango_layout_iter_get_run_extents(iter, nullptr, &ext);
      Shaped::Run r;
      r.font = cairo_scaled_font_reference(
          pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(run->item->analysis.font)));
      r.face = &pdf::faceOf(run->item->analysis.font);
      cairo_matrix_t m;
      cairo_scaled_font_get_font_matrix(r.font, &m);
      r.size = m.yy;
      // Glyphs advance by the font's own widths: the PDF then carries no per-glyph
      // corrections, which are most of its size and of the time spent writing it.
      double x = static_cast<double>(ext.x) / PANGO_SCALE;
      for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& gi = run->glyphs->glyphs[i];
        if (gi.glyph & PANGO_GLYPH_UNKNOWN_FLAG) continue;
        cairo_glyph_t g{gi.glyph, x + static_cast<double>(gi.geometry.x_offset) / PANGO_SCALE,
                        baseline + static_cast<double>(gi.geometry.y_offset) / PANGO_SCALE};
        r.glyphs.push_back(g);
        // The face's own width, as cairo gives it with hinted metrics off, without asking
        // cairo's glyph cache (a lock and a look-up per glyph).
        if (gi.glyph < r.face->advance.size())
          x += r.face->advance[gi.glyph] * r.size / r.face->upem;
      }
      out.runs.push_back(std::move(r));
    } while (pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
    g_object_unref(l);
    return out;
  }

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
    for (auto& [k, sh] : shaped_)
      for (auto& r : sh.runs) cairo_scaled_font_destroy(r.font);
    shaped_.clear();
  }

  PangoContext* context_;
  std::unordered_map<std::string, Shaped> shaped_;
  std::unordered_map<std::string, PangoFontDescription*> fonts_;
};

ShapeCache& cache() {
  thread_local ShapeCache c;
  return c;
}

/// How a page is drawn: in colour on paper (PDF, PNG), or as ink coverage on an alpha-only
/// surface (the raster exports), where a grey is ink of partial cover.
enum class Ink { Colour, Coverage };

/// An alpha-only copy of `bm`: ink where the picture is dark.
cairo_surface_t* coverageOf(const Bitmap& bm) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, bm.width, bm.height);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  if (!data) return s;
  for (int y = 0; y < bm.height; ++y) {
    const uint32_t* in = &bm.pixels[static_cast<size_t>(y) * static_cast<size_t>(bm.width)];
    unsigned char* out = data + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < bm.width; ++x) {
      const uint32_t p = in[x];
      const uint32_t luma =
          (((p >> 16) & 0xFF) * 77 + ((p >> 8) & 0xFF) * 150 + (p & 0xFF) * 29) >> 8;
      out[x] = static_cast<unsigned char>(255 - luma);
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

void showGlyphs(cairo_t* cr, std::map<cairo_scaled_font_t*, std::vector<cairo_glyph_t>>& glyphs) {
  for (auto& [font, run] : glyphs) {
    if (run.empty()) continue;
    cairo_set_scaled_font(cr, font);
    cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
    run.clear();
  }
}

void drawPage(cairo_t* cr, const Document& doc, const Page& page, Ink ink = Ink::Colour) {
  // Every glyph of the page in one call per font, after the drawings (text stays on top):
  // a page of a hundred small texts becomes a handful of text operations.
  std::map<cairo_scaled_font_t*, std::vector<cairo_glyph_t>> glyphs;
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const Item& item : page.items) {
    if (const auto* t = std::get_if<TextItem>(&item)) {
      const FontSpec& f = fontOf(doc, *t);
      const Shaped& sh = cache().get(f, *t);
      double x = t->box.x;
      if (!t->wrap && t->align != Align::Left)
        x += t->align == Align::Right ? t->box.w - sh.width : (t->box.w - sh.width) / 2;
      for (const auto& r : sh.runs) {
        auto& out = glyphs[r.font];
        for (cairo_glyph_t g : r.glyphs) {
          g.x += x;
          g.y += t->box.y;
          out.push_back(g);
        }
      }
      // On pixels, glyphs are composited through a mask as large as their extents: a call
      // for the whole page would fill a mask the size of the page. One text at a time.
      if (ink == Ink::Coverage) showGlyphs(cr, glyphs);
    } else if (const auto* ln = std::get_if<LineItem>(&item)) {
      cairo_set_line_width(cr, ln->width);
      cairo_move_to(cr, ln->x1, ln->y1);
      cairo_line_to(cr, ln->x2, ln->y2);
      cairo_stroke(cr);
    } else if (const auto* b = std::get_if<BoxItem>(&item)) {
      cairo_rectangle(cr, b->box.x, b->box.y, b->box.w, b->box.h);
      if (b->fillGray >= 0) {
        if (ink == Ink::Coverage) {
          // A fill covers what lies below it, as paint on paper does: even a white one.
          cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
          cairo_set_source_rgba(cr, 0, 0, 0, 1 - b->fillGray);
          cairo_fill_preserve(cr);
          cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        } else {
          cairo_set_source_rgb(cr, b->fillGray, b->fillGray, b->fillGray);
          cairo_fill_preserve(cr);
        }
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
      cairo_surface_t* s =
          ink == Ink::Coverage
              ? coverageOf(bm)
              : cairo_image_surface_create_for_data(
                    reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(bm.pixels.data())),
                    CAIRO_FORMAT_RGB24, bm.width, bm.height, bm.width * 4);
      cairo_save(cr);
      if (ink == Ink::Coverage) cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
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
      // Pixels either bar or space: a smoothed edge would make a bar wider or narrower
      // than its neighbours to a reader.
      if (ink == Ink::Coverage) cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
      cairo_fill(cr);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    }
  }
  showGlyphs(cr, glyphs);
}

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void check(cairo_status_t st, const char* what) {
  if (st != CAIRO_STATUS_SUCCESS)
    throw host::OperationError(
        fmt::format("Falha ao gerar {}: {}", what, cairo_status_to_string(st)));
}

}  // namespace

const FontSpec& fontOf(const Document& doc, const TextItem& item) {
  static const FontSpec kFallback{"Liberation Sans", 8, false, false};
  return item.font >= 0 && static_cast<size_t>(item.font) < doc.fonts.size()
             ? doc.fonts[static_cast<size_t>(item.font)]
             : kFallback;
}

std::vector<TextLine> textLines(const Document& doc, const TextItem& item) {
  if (item.text.empty()) return {};
  std::vector<TextLine> lines = cache().lines(fontOf(doc, item), item);
  for (auto& l : lines) {
    // Unwrapped text is aligned in its box by the renderer, not by pango.
    if (!item.wrap && item.align != Align::Left)
      l.x += item.align == Align::Right ? item.box.w - l.width : (item.box.w - l.width) / 2;
    l.x += item.box.x;
    l.top += item.box.y;
    l.baseline += item.box.y;
  }
  return lines;
}

void pdf::forEachGlyphRun(const Document& doc, const TextItem& t,
                          const std::function<void(const GlyphRun&)>& f) {
  const Shaped& sh = cache().get(fontOf(doc, t), t);
  double x = t.box.x;
  if (!t.wrap && t.align != Align::Left)
    x += t.align == Align::Right ? t.box.w - sh.width : (t.box.w - sh.width) / 2;
  for (const auto& r : sh.runs)
    if (!r.glyphs.empty())
      f(GlyphRun{r.face, r.size, r.glyphs.data(), r.glyphs.size(), x, t.box.y});
}

std::vector<std::string> renderPng(const Document& doc, double dpi) {
  std::vector<std::string> out;
  const double scale = dpi / 72.0;
  const int w = static_cast<int>(doc.width * scale + 0.5),
            h = static_cast<int>(doc.height * scale + 0.5);
  for (const Page& p : doc.pages) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s,
                                                                             cairo_surface_destroy);
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

InkImage renderInk(const Document& doc, const Page& page, double dpi) {
  const double scale = dpi / 72.0;
  InkImage img;
  img.dpi = dpi;
  img.width = static_cast<int>(doc.width * scale + 0.5);
  img.height = static_cast<int>(doc.height * scale + 0.5);
  img.stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, img.width);
  img.ink.assign(static_cast<size_t>(img.stride) * static_cast<size_t>(img.height), 0);
  cairo_surface_t* s = cairo_image_surface_create_for_data(img.ink.data(), CAIRO_FORMAT_A8,
                                                           img.width, img.height, img.stride);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s,
                                                                           cairo_surface_destroy);
  check(cairo_surface_status(s), "a imagem da página");
  cairo_t* cr = cairo_create(s);
  cairo_scale(cr, scale, scale);
  drawPage(cr, doc, page, Ink::Coverage);
  const cairo_status_t st = cairo_status(cr);
  cairo_destroy(cr);
  check(st, "a imagem da página");
  cairo_surface_flush(s);
  return img;
}

std::string encodePng(const Bitmap& image) {
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())),
      CAIRO_FORMAT_RGB24, image.width, image.height, image.width * 4);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s,
                                                                           cairo_surface_destroy);
  check(cairo_surface_status(s), "a imagem PNG");
  std::string png;
  check(cairo_surface_write_to_png_stream(s, appendTo, &png), "a imagem PNG");
  return png;
}

}  // namespace report
