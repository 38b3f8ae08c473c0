#include "host/scan/Scan.h"

#include <cairo.h>
#include <fmt/format.h>
#include <poppler.h>
#include <turbojpeg.h>
#include <zbar.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

namespace host::scan {

namespace {

std::string name(const std::filesystem::path& file) {
  return file.string();
}

std::vector<unsigned char> readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw ScanError(
        fmt::format("Arquivo não encontrado ou sem permissão de leitura: {}", name(file)));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void checkSize(const std::filesystem::path& file, int64_t width, int64_t height,
               const Limits& limits) {
  if (width <= 0 || height <= 0) throw ScanError(fmt::format("Imagem sem pixels: {}", name(file)));
  if (width * height > limits.maxPixels)
    throw ScanError(fmt::format("Imagem grande demais ({} x {} pixels; o limite é {} milhões): {}",
                                width, height, limits.maxPixels / 1'000'000, name(file)));
}

// Gray of a cairo RGB24 or ARGB32 surface, transparent parts taken as white paper.
Gray grayOf(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  Gray g;
  g.width = cairo_image_surface_get_width(surface);
  g.height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const bool alpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  g.pixels.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
  for (int y = 0; y < g.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < g.width; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = alpha ? (p >> 24) : 255;
      // Premultiplied channels: luma of the colour, plus white where the paper shows through.
      const uint32_t luma =
          (((p >> 16) & 0xFF) * 299 + ((p >> 8) & 0xFF) * 587 + (p & 0xFF) * 114) / 1000;
      g.pixels[static_cast<size_t>(y) * g.width + x] =
          static_cast<uint8_t>(std::min<uint32_t>(255, luma + (255 - a)));
    }
  }
  return g;
}

// The 8 bytes after the PNG signature are the IHDR chunk's length and type; width and height
// follow, big-endian.
void checkPngHeader(const std::filesystem::path& file, const std::vector<unsigned char>& bytes,
                    const Limits& limits) {
  if (bytes.size() < 24 || std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR")
    throw ScanError(fmt::format("PNG danificado (sem cabeçalho IHDR): {}", name(file)));
  auto be32 = [&](size_t i) {
    return (int64_t{bytes[i]} << 24) | (int64_t{bytes[i + 1]} << 16) |
           (int64_t{bytes[i + 2]} << 8) | int64_t{bytes[i + 3]};
  };
  checkSize(file, be32(16), be32(20), limits);
}

struct PngReader {
  const std::vector<unsigned char>* bytes;
  size_t at = 0;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
  auto* r = static_cast<PngReader*>(closure);
  if (r->bytes->size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
  std::copy_n(r->bytes->begin() + static_cast<ptrdiff_t>(r->at), length, data);
  r->at += length;
  return CAIRO_STATUS_SUCCESS;
}

Gray loadPng(const std::filesystem::path& file, const std::vector<unsigned char>& bytes,
             const Limits& limits) {
  checkPngHeader(file, bytes, limits);
  PngReader reader{&bytes};
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create_from_png_stream(readPng, &reader), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw ScanError(fmt::format("PNG danificado ({}): {}",
                                cairo_status_to_string(cairo_surface_status(surface.get())),
                                name(file)));
  const cairo_format_t format = cairo_image_surface_get_format(surface.get());
  if (format == CAIRO_FORMAT_ARGB32 || format == CAIRO_FORMAT_RGB24) return grayOf(surface.get());
  // Other formats (gray, 16-bit) drawn onto a white RGB canvas first.
  const int w = cairo_image_surface_get_width(surface.get());
  const int h = cairo_image_surface_get_height(surface.get());
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> canvas(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
  cairo_t* cr = cairo_create(canvas.get());
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_surface(cr, surface.get(), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  return grayOf(canvas.get());
}

Gray loadJpeg(const std::filesystem::path& file, std::vector<unsigned char>& bytes,
              const Limits& limits) {
  std::unique_ptr<void, decltype(&tjDestroy)> tj(tjInitDecompress(), tjDestroy);
  if (!tj) throw ScanError("Leitor de JPEG indisponível");
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), &width,
                          &height, &subsampling, &colorspace) != 0)
    throw ScanError(fmt::format("JPEG danificado ({}): {}", tjGetErrorStr2(tj.get()), name(file)));
  if (width <= 0 || height <= 0)
    throw ScanError(fmt::format("JPEG danificado (sem dimensões): {}", name(file)));
  checkSize(file, width, height, limits);
  Gray g;
  g.width = width;
  g.height = height;
  g.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  if (tjDecompress2(tj.get(), bytes.data(), static_cast<unsigned long>(bytes.size()),
                    g.pixels.data(), width, width, height, TJPF_GRAY, TJFLAG_ACCURATEDCT) != 0 &&
      tjGetErrorCode(tj.get()) == TJERR_FATAL)
    throw ScanError(fmt::format("JPEG danificado ({}): {}", tjGetErrorStr2(tj.get()), name(file)));
  return g;
}

struct GObjectDeleter {
  void operator()(void* p) const { g_object_unref(p); }
};

}  // namespace

FileKind fileKind(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in || std::filesystem::is_directory(file))
    throw ScanError(
        fmt::format("Arquivo não encontrado ou sem permissão de leitura: {}", name(file)));
  char head[8] = {};
  in.read(head, sizeof head);
  const std::string h(head, static_cast<size_t>(in.gcount()));
  if (h.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return FileKind::Png;
  if (h.rfind("\xFF\xD8\xFF", 0) == 0) return FileKind::Jpeg;
  if (h.rfind("%PDF-", 0) == 0) return FileKind::Pdf;
  return FileKind::Other;
}

Gray loadPicture(const std::filesystem::path& file, const Limits& limits) {
  const FileKind kind = fileKind(file);
  if (kind != FileKind::Png && kind != FileKind::Jpeg)
    throw ScanError(fmt::format("Não é uma imagem PNG nem JPEG: {}", name(file)));
  std::vector<unsigned char> bytes = readAll(file);
  return kind == FileKind::Png ? loadPng(file, bytes, limits) : loadJpeg(file, bytes, limits);
}

Gray rotate(const Gray& picture, double degrees, double scale) {
  const double rad = degrees * M_PI / 180.0;
  const double c = std::abs(std::cos(rad)) * scale, s = std::abs(std::sin(rad)) * scale;
  // A hair under the whole pixel is the rounding of cos(90°), not a pixel more.
  const int w = static_cast<int>(std::ceil(picture.width * c + picture.height * s - 1e-6));
  const int h = static_cast<int>(std::ceil(picture.width * s + picture.height * c - 1e-6));
  // Cairo turns an alpha mask well: ink is the mask (255 - gray), so the uncovered corners
  // come out as no ink, white.
  using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
  Surface src(cairo_image_surface_create(CAIRO_FORMAT_A8, picture.width, picture.height),
              cairo_surface_destroy);
  Surface dst(cairo_image_surface_create(CAIRO_FORMAT_A8, w, h), cairo_surface_destroy);
  cairo_surface_flush(src.get());
  const int ss = cairo_image_surface_get_stride(src.get());
  unsigned char* sd = cairo_image_surface_get_data(src.get());
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      sd[y * ss + x] = static_cast<unsigned char>(255 - picture.pixels[y * picture.width + x]);
  cairo_surface_mark_dirty(src.get());
  cairo_t* cr = cairo_create(dst.get());
  cairo_translate(cr, w / 2.0, h / 2.0);
  cairo_rotate(cr, -rad);
  cairo_scale(cr, scale, scale);
  cairo_translate(cr, -picture.width / 2.0, -picture.height / 2.0);
  cairo_set_source_surface(cr, src.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(dst.get());
  Gray out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  const int ds = cairo_image_surface_get_stride(dst.get());
  const unsigned char* dd = cairo_image_surface_get_data(dst.get());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.pixels[y * w + x] = static_cast<uint8_t>(255 - dd[y * ds + x]);
  return out;
}

std::vector<Symbol> readSymbols(const Gray& picture) {
  using namespace zbar;  // the C interface, as its header declares it for C++
  std::vector<Symbol> out;
  if (picture.width <= 0 || picture.height <= 0) return out;
  std::unique_ptr<zbar_image_scanner_t, decltype(&zbar_image_scanner_destroy)> scanner(
      zbar_image_scanner_create(), zbar_image_scanner_destroy);
  // zbar's own choice of symbologies, less DataBar, whose decoder reports its own failed
  // assertions on standard error while it reads the bars of other codes.
  zbar_image_scanner_set_config(scanner.get(), ZBAR_DATABAR, ZBAR_CFG_ENABLE, 0);
  zbar_image_scanner_set_config(scanner.get(), ZBAR_DATABAR_EXP, ZBAR_CFG_ENABLE, 0);
  std::unique_ptr<zbar_image_t, decltype(&zbar_image_destroy)> image(zbar_image_create(),
                                                                     zbar_image_destroy);
  zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image.get(), static_cast<unsigned>(picture.width),
                      static_cast<unsigned>(picture.height));
  zbar_image_set_data(image.get(), picture.pixels.data(), picture.pixels.size(), nullptr);
  if (zbar_scan_image(scanner.get(), image.get()) <= 0) return out;
  for (const zbar_symbol_t* s = zbar_image_first_symbol(image.get()); s; s = zbar_symbol_next(s)) {
    Symbol sym{zbar_get_symbol_name(zbar_symbol_get_type(s)),
               std::string(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s)), 1};
    if (std::find(out.begin(), out.end(), sym) == out.end()) out.push_back(std::move(sym));
  }
  return out;
}

bool isBoletoBars(const Symbol& s) {
  return s.symbology == "I2/5" && s.data.size() == 44 &&
         std::all_of(s.data.begin(), s.data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// Three passes of a 3-pixel box each way: close to a Gaussian of 1.4 pixels, about a narrow
// bar of a boleto.
std::vector<int> blurred(const Gray& picture) {
  const int w = picture.width, h = picture.height;
  std::vector<int> a(picture.pixels.begin(), picture.pixels.end()), b(a.size());
  auto boxPass = [&](const std::vector<int>& from, std::vector<int>& to, bool horizontal) {
    const int n = horizontal ? w : h, lines = horizontal ? h : w;
    const size_t step = horizontal ? 1 : static_cast<size_t>(w);
    for (int line = 0; line < lines; ++line) {
      const size_t base = horizontal ? static_cast<size_t>(line) * w : static_cast<size_t>(line);
      for (int i = 0; i < n; ++i) {
        const int before = std::max(i - 1, 0), after = std::min(i + 1, n - 1);
        to[base + i * step] =
            (from[base + before * step] + from[base + i * step] + from[base + after * step]) / 3;
      }
    }
  };
  for (int pass = 0; pass < 3; ++pass) {
    boxPass(a, b, true);
    boxPass(b, a, false);
  }
  return a;
}

}  // namespace

Gray sharpen(const Gray& picture) {
  // Unsharp mask: the picture plus 2.5 times its difference from its blur.
  const std::vector<int> blur = blurred(picture);
  Gray out{picture.width, picture.height, std::vector<uint8_t>(picture.pixels.size())};
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const int v = picture.pixels[i] + (5 * (picture.pixels[i] - blur[i])) / 2;
    out.pixels[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  return out;
}

double skew(const Gray& picture) {
  // Edges vote for their direction, folded into a quarter turn and weighted by their
  // strength; bars, text and the page's lines all lie along the page, so the strongest
  // direction is the page's.
  constexpr int kBins = 180;  // half a degree each
  // On the picture blurred, so that thin bars drawn askew do not pull the directions
  // toward the pixel grid.
  std::vector<double> votes(kBins, 0.0);
  const int w = picture.width;
  const std::vector<int> smooth = blurred(picture);
  auto at = [&](int x, int y) { return smooth[static_cast<size_t>(y) * w + x]; };
  for (int y = 1; y + 1 < picture.height; y += 2) {
    for (int x = 1; x + 1 < w; x += 2) {
      const int gx = at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                     2 * at(x - 1, y) - at(x - 1, y + 1);
      const int gy = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                     2 * at(x, y - 1) - at(x + 1, y - 1);
      const int strength = std::abs(gx) + std::abs(gy);
      if (strength < 100) continue;
      double deg = std::atan2(gy, gx) * 180.0 / M_PI;
      deg = std::fmod(deg + 360.0, 90.0);
      votes[static_cast<size_t>(deg * 2) % kBins] += strength;
    }
  }
  size_t best = 0;
  double bestVotes = -1;
  for (size_t i = 0; i < kBins; ++i) {
    const double v = votes[(i + kBins - 1) % kBins] + 2 * votes[i] + votes[(i + 1) % kBins];
    if (v > bestVotes) bestVotes = v, best = i;
  }
  const double deg = (static_cast<double>(best) + 0.5) / 2.0;
  return deg > 45.0 ? deg - 90.0 : deg;
}

std::vector<Symbol> readCodes(const Gray& picture, int page) {
  std::vector<Symbol> found;
  auto take = [&](const Gray& g) {
    bool bars = false;
    for (Symbol s : readSymbols(g)) {
      s.page = page;
      bars = bars || isBoletoBars(s);
      if (std::find(found.begin(), found.end(), s) == found.end()) found.push_back(std::move(s));
    }
    return bars;
  };
  // A photo's bars are blurred: sharpened (after turning, which blurs them too), they read
  // where the picture as taken does not.
  auto both = [&](const Gray& g) { return take(g) || take(sharpen(g)); };
  if (both(picture)) return found;
  // Turned back by the page's own skew first, then a little either side of it: a bar of a
  // boleto is 13 mm high over 103 mm, and rows cross it whole only a few degrees askew.
  const double s = skew(picture);
  for (double off : {0.0, 1.5, -1.5, 3.0, -3.0})
    if (std::abs(s + off) >= 1.0 && both(rotate(picture, s + off))) return found;
  // A picture whose narrow bars are under two pixels wide (a photo of a few megapixels)
  // reads drawn at twice its size.
  constexpr size_t kSmall = 4'000'000;
  const bool small = picture.pixels.size() <= kSmall;
  if (small && both(rotate(picture, s, 2.0))) return found;
  // The skew may be some other line's (a table's edge under the page): every angle, by steps
  // of 6 degrees, sharpened only where it costs little.
  for (int step = 6; step <= 45; step += 6) {
    for (int sign : {1, -1}) {
      const Gray turned = rotate(picture, sign * step);
      if (small ? both(turned) : take(turned)) return found;
    }
  }
  return found;
}

PdfPages renderPdf(const std::filesystem::path& file, const Limits& limits) {
  if (fileKind(file) != FileKind::Pdf) throw ScanError(fmt::format("Não é um PDF: {}", name(file)));
  std::vector<unsigned char> bytes = readAll(file);
  std::unique_ptr<GBytes, decltype(&g_bytes_unref)> data(g_bytes_new(bytes.data(), bytes.size()),
                                                         g_bytes_unref);
  GError* error = nullptr;
  std::unique_ptr<PopplerDocument, GObjectDeleter> doc(
      poppler_document_new_from_bytes(data.get(), nullptr, &error));
  if (!doc) {
    std::string why = error ? error->message : "motivo desconhecido";
    if (error) g_error_free(error);
    throw ScanError(fmt::format("PDF ilegível ({}): {}", why, name(file)));
  }
  PdfPages out;
  out.pageCount = poppler_document_get_n_pages(doc.get());
  const int n = std::min(out.pageCount, limits.maxPages);
  for (int i = 0; i < n; ++i) {
    std::unique_ptr<PopplerPage, GObjectDeleter> page(poppler_document_get_page(doc.get(), i));
    if (!page) throw ScanError(fmt::format("PDF danificado na página {}: {}", i + 1, name(file)));
    double wpt = 0, hpt = 0;
    poppler_page_get_size(page.get(), &wpt, &hpt);
    double scale = limits.dpi / 72.0;
    const double area = wpt * hpt * scale * scale;
    if (area > static_cast<double>(limits.maxPixels))
      scale *= std::sqrt(static_cast<double>(limits.maxPixels) / area);
    const int w = std::max(1, static_cast<int>(wpt * scale));
    const int h = std::max(1, static_cast<int>(hpt * scale));
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
      throw ScanError(fmt::format("Página {} grande demais para desenhar: {}", i + 1, name(file)));
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, scale, scale);
    poppler_page_render(page.get(), cr);
    cairo_destroy(cr);
    out.pages.push_back(grayOf(surface.get()));
    char* text = poppler_page_get_text(page.get());
    out.texts.emplace_back(text ? text : "");
    g_free(text);
    // A scan is a picture over most of the page; anything else was drawn.
    double pictured = 0;
    GList* images = poppler_page_get_image_mapping(page.get());
    for (GList* l = images; l; l = l->next) {
      const PopplerRectangle& r = static_cast<PopplerImageMapping*>(l->data)->area;
      pictured += std::abs((r.x2 - r.x1) * (r.y2 - r.y1));
    }
    poppler_page_free_image_mapping(images);
    out.scanned.push_back(pictured >= 0.5 * wpt * hpt);
  }
  return out;
}

}  // namespace host::scan
