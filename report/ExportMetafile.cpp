// wmf and emf: one page a file, drawn as the same records through a canvas: text lines at
// their baselines with the advance of every character, lines, boxes, barcode bars as filled
// rectangles and pictures as device-independent bitmaps. The enhanced metafile is made by
// libEMF; the Windows metafile (placeable, the 16-bit format) is written here.
// Logical units are hundredths of a millimetre, or coarser for a page too large for the
// 16-bit coordinates of the Windows metafile (a legal page is 35,560 hundredths long).

#include <fmt/format.h>

// libEMF's Windows headers would otherwise define min and max as macros.
#define NOMINMAX
#include <libEMF/emf.h>
#undef near
#undef far

#include <cmath>
#include <mutex>

#include "host/Errors.h"
#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Image.h"
#include "report/Render.h"

namespace report {

namespace {

/// Logical units of a document: as many to the inch as keep its page within 16 bits.
struct Units {
  explicit Units(const Document& doc)
      : perInch(std::min(
            2540, static_cast<int>(32767 * 72.0 / std::max({doc.width, doc.height, 1.0})))) {}
  int operator()(double points) const {
    return static_cast<int>(std::lround(points * perInch / 72.0));
  }
  int perInch;
};

/// Where the drawing records go.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void selectFont(const FontSpec& font) = 0;
  /// Text from (x, baseline); `dx`: the advance of each character.
  virtual void text(int x, int baseline, const std::u32string& text,
                    const std::vector<int>& dx) = 0;
  /// A pen of `width` (0: no outline).
  virtual void selectPen(int width) = 0;
  /// A brush of grey 0 (black) to 255 (white); negative: no fill.
  virtual void selectBrush(int grey) = 0;
  virtual void line(int x1, int y1, int x2, int y2) = 0;
  virtual void rectangle(int left, int top, int right, int bottom) = 0;
  virtual void picture(int x, int y, int w, int h, const Bitmap& image) = 0;
};

/// Sends a page to a canvas, selecting fonts, pens and brushes only when they change.
class PageDrawer {
 public:
  PageDrawer(const Document& doc, const Units& units, Canvas& canvas)
      : doc_(doc), units_(units), canvas_(canvas) {}

  void draw(const Page& page) {
    for (const Item& item : page.items) {
      if (const auto* t = std::get_if<TextItem>(&item)) {
        text(*t);
      } else if (const auto* ln = std::get_if<LineItem>(&item)) {
        pen(std::max(1, units_(ln->width)));
        canvas_.line(units_(ln->x1), units_(ln->y1), units_(ln->x2), units_(ln->y2));
      } else if (const auto* b = std::get_if<BoxItem>(&item)) {
        const int w = b->lineWidth > 0 ? std::max(1, units_(b->lineWidth)) : 0;
        pen(w);
        brush(b->fillGray < 0
                  ? -1
                  : static_cast<int>(std::lround(std::clamp(b->fillGray, 0.0, 1.0) * 255)));
        // Without a pen the fill stops one unit short of the right and bottom edges.
        const int grow = w == 0 ? 1 : 0;
        canvas_.rectangle(units_(b->box.x), units_(b->box.y), units_(b->box.x + b->box.w) + grow,
                          units_(b->box.y + b->box.h) + grow);
      } else if (const auto* im = std::get_if<ImageItem>(&item)) {
        if (im->image && im->image->width > 0 && im->image->height > 0)
          canvas_.picture(units_(im->box.x), units_(im->box.y), units_(im->box.w),
                          units_(im->box.h), *im->image);
      } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
        pen(0);
        brush(0);
        for (const Rect& r : bars->bars)
          canvas_.rectangle(units_(r.x), units_(r.y), units_(r.x + r.w) + 1, units_(r.y + r.h) + 1);
      }
    }
  }

 private:
  void text(const TextItem& t) {
    const FontSpec& font = fontOf(doc_, t);
    if (!font_ || font_->family != font.family || font_->size != font.size ||
        font_->bold != font.bold || font_->italic != font.italic) {
      canvas_.selectFont(font);
      font_ = &font;
    }
    for (const TextLine& line : textLines(doc_, t)) {
      const std::u32string chars = decodeUtf8(line.text);
      // Advances rounded on their running sum, so the line ends where the renderer ends it.
      std::vector<int> dx(chars.size());
      double sum = 0;
      int at = 0;
      for (size_t i = 0; i < chars.size(); ++i) {
        sum += i < line.advances.size() ? line.advances[i] : 0;
        const int next = units_(sum);
        dx[i] = next - at;
        at = next;
      }
      canvas_.text(units_(line.x), units_(line.baseline), chars, dx);
    }
  }
  void pen(int width) {
    if (width == pen_) return;
    canvas_.selectPen(width);
    pen_ = width;
  }
  void brush(int grey) {
    if (grey == brush_) return;
    canvas_.selectBrush(grey);
    brush_ = grey;
  }

  const Document& doc_;
  const Units& units_;
  Canvas& canvas_;
  const FontSpec* font_ = nullptr;
  int pen_ = -2;
  int brush_ = -2;
};

// ---- Windows metafile (placeable), written record by record.

class WmfCanvas final : public Canvas {
 public:
  WmfCanvas(const Units& units, int width, int height)
      : units_(units), width_(width), height_(height) {
    record(0x0103, {8});                        // SETMAPMODE MM_ANISOTROPIC
    record(0x020B, {0, 0});                     // SETWINDOWORG y, x
    record(0x020C, {w16(height), w16(width)});  // SETWINDOWEXT y, x
    record(0x0102, {1});                        // SETBKMODE TRANSPARENT
    record(0x012E, {24});                       // SETTEXTALIGN TA_BASELINE | TA_LEFT
    record(0x0209, {0, 0});                     // SETTEXTCOLOR black
    record(0x0107, {3});                        // SETSTRETCHBLTMODE COLORONCOLOR: bars stay sharp
  }

  void selectFont(const FontSpec& font) override {
    std::vector<uint16_t> p = {w16(-units_(font.size)),
                               0,
                               0,
                               0,
                               static_cast<uint16_t>(font.bold ? 700 : 400),
                               static_cast<uint16_t>(font.italic ? 1 : 0),  // italic, underline
                               0,   // strike-out, charset ANSI
                               0,   // out and clip precision
                               0};  // quality, pitch and family
    std::string face = font.family.substr(0, 31);
    face.resize(32, '\0');
    appendBytes(p, face);
    replace(font_, create(0x02FB, p));
  }

  void text(int x, int baseline, const std::u32string& chars, const std::vector<int>& dx) override {
    if (chars.empty()) return;
    std::string bytes;
    for (char32_t c : chars) {
      const int b = windows1252(c);
      bytes += static_cast<char>(b < 0 ? '?' : b);
    }
    std::vector<uint16_t> p = {w16(baseline), w16(x), static_cast<uint16_t>(bytes.size()), 0};
    appendBytes(p, bytes);
    for (int d : dx) p.push_back(w16(d));
    record(0x0A32, p);  // EXTTEXTOUT
  }

  void selectPen(int width) override {
    // LOGPEN16: style (solid or null), width as a point, colour black.
    replace(pen_, create(0x02FA, {static_cast<uint16_t>(width > 0 ? 0 : 5), w16(width), 0, 0, 0}));
  }

  void selectBrush(int grey) override {
    const auto g = static_cast<uint16_t>(std::max(0, grey));
    // LOGBRUSH16: style (solid or null), colour 0x00BBGGRR, hatch.
    replace(brush_, create(0x02FC, {static_cast<uint16_t>(grey < 0 ? 1 : 0),
                                    static_cast<uint16_t>(g | (g << 8)), g, 0}));
  }

  void line(int x1, int y1, int x2, int y2) override {
    record(0x0214, {w16(y1), w16(x1)});  // MOVETO
    record(0x0213, {w16(y2), w16(x2)});  // LINETO
  }

  void rectangle(int left, int top, int right, int bottom) override {
    record(0x041B, {w16(bottom), w16(right), w16(top), w16(left)});
  }

  void picture(int x, int y, int w, int h, const Bitmap& image) override {
    const std::string bmp = encodeBmp(image);
    std::vector<uint16_t> p = {0x0020,
                               0x00CC,  // SRCCOPY
                               0,       // DIB_RGB_COLORS
                               static_cast<uint16_t>(image.height),
                               static_cast<uint16_t>(image.width),
                               0,
                               0,
                               w16(h),
                               w16(w),
                               w16(y),
                               w16(x)};
    appendBytes(p, std::string_view(bmp).substr(14));  // the DIB: no file header
    record(0x0F43, p);                                 // STRETCHDIB
  }

  std::string finish() {
    record(0x0000, {});  // EOF
    std::string out;
    // Placeable header: key, handle, bounding box, units per inch, reserved, checksum.
    std::vector<uint16_t> ph = {
        0xCDD7, 0x9AC6, 0, 0, 0, w16(width_), w16(height_), static_cast<uint16_t>(units_.perInch),
        0,      0};
    uint16_t sum = 0;
    for (uint16_t v : ph) sum ^= v;
    ph.push_back(sum);
    for (uint16_t v : ph) put(out, v);
    const uint32_t totalWords = 9 + static_cast<uint32_t>(body_.size() / 2);
    for (uint16_t v : {uint16_t{1}, uint16_t{9}, uint16_t{0x0300}}) put(out, v);
    put(out, static_cast<uint16_t>(totalWords & 0xFFFF));
    put(out, static_cast<uint16_t>(totalWords >> 16));
    put(out, static_cast<uint16_t>(slots_.size()));
    put(out, static_cast<uint16_t>(maxRecord_ & 0xFFFF));
    put(out, static_cast<uint16_t>(maxRecord_ >> 16));
    put(out, 0);
    return out + body_;
  }

 private:
  static uint16_t w16(int v) { return static_cast<uint16_t>(static_cast<int16_t>(v)); }
  static void put(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  }
  static void appendBytes(std::vector<uint16_t>& p, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); i += 2) {
      const auto lo = static_cast<unsigned char>(bytes[i]);
      const auto hi = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
      p.push_back(static_cast<uint16_t>(lo | (hi << 8)));
    }
  }

  void record(uint16_t function, const std::vector<uint16_t>& params) {
    const uint32_t words = 3 + static_cast<uint32_t>(params.size());
    maxRecord_ = std::max(maxRecord_, words);
    put(body_, static_cast<uint16_t>(words & 0xFFFF));
    put(body_, static_cast<uint16_t>(words >> 16));
    put(body_, function);
    for (uint16_t v : params) put(body_, v);
  }

  /// Creates an object in the lowest free slot of the object table, as readers number them.
  int create(uint16_t function, const std::vector<uint16_t>& params) {
    record(function, params);
    for (size_t i = 0; i < slots_.size(); ++i)
      if (!slots_[i]) {
        slots_[i] = true;
        return static_cast<int>(i);
      }
    slots_.push_back(true);
    return static_cast<int>(slots_.size() - 1);
  }

  /// Selects the new object and deletes the one it replaces.
  void replace(int& current, int created) {
    record(0x012D, {static_cast<uint16_t>(created)});  // SELECTOBJECT
    if (current >= 0) {
      record(0x01F0, {static_cast<uint16_t>(current)});  // DELETEOBJECT
      slots_[static_cast<size_t>(current)] = false;
    }
    current = created;
  }

  const Units& units_;
  int width_, height_;
  std::string body_;
  std::vector<bool> slots_;
  uint32_t maxRecord_ = 0;
  int font_ = -1, pen_ = -1, brush_ = -1;
};

// ---- Enhanced metafile through libEMF.

COLORREF greyColour(BYTE g) {
  return static_cast<COLORREF>(g) | (static_cast<COLORREF>(g) << 8) |
         (static_cast<COLORREF>(g) << 16);
}

/// libEMF keeps its device contexts and objects in tables of its own: one metafile at a time.
std::mutex& libEmfLock() {
  static std::mutex m;
  return m;
}

std::u16string utf16(const std::u32string& chars, const std::vector<int>* dx = nullptr,
                     std::vector<INT>* dx16 = nullptr) {
  std::u16string out;
  for (size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    const int d = dx && i < dx->size() ? (*dx)[i] : 0;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      if (dx16) {
        dx16->push_back(d);
        dx16->push_back(0);
      }
    } else {
      out += static_cast<char16_t>(c);
      if (dx16) dx16->push_back(d);
    }
  }
  return out;
}

class EmfCanvas final : public Canvas {
 public:
  /// `frame`: the page in hundredths of a millimetre, as the metafile's header says it.
  EmfCanvas(const std::string& path, const Units& units, int width, int height, const RECT& frame,
            const std::string& title)
      : units_(units) {
    std::string description = "boleto";
    description += '\0';
    description += title;
    description += '\0';
    description += '\0';
    dc_ = CreateEnhMetaFileA(0, path.c_str(), &frame, description.c_str());
    if (!dc_) throw host::OperationError(fmt::format("Não foi possível gravar o arquivo {}", path));
    SetMapMode(dc_, MM_ANISOTROPIC);
    SetWindowExtEx(dc_, width, height, nullptr);
    // The reference device's pixels for the same size, as the frame says.
    SetViewportExtEx(
        dc_,
        static_cast<int>(std::lround(static_cast<double>(width) * GetDeviceCaps(dc_, HORZRES) /
                                     (GetDeviceCaps(dc_, HORZSIZE) * 100.0))),
        static_cast<int>(std::lround(static_cast<double>(height) * GetDeviceCaps(dc_, VERTRES) /
                                     (GetDeviceCaps(dc_, VERTSIZE) * 100.0))),
        nullptr);
    SetBkMode(dc_, TRANSPARENT);
    SetTextAlign(dc_, TA_BASELINE | TA_LEFT);
    SetTextColor(dc_, greyColour(0));
  }
  ~EmfCanvas() override {
    if (dc_) finish();
  }
  EmfCanvas(const EmfCanvas&) = delete;
  EmfCanvas& operator=(const EmfCanvas&) = delete;

  void selectFont(const FontSpec& font) override {
    LOGFONTW lf{};
    lf.lfHeight = -units_(font.size);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    const std::u16string face = utf16(decodeUtf8(font.family.substr(0, 31)));
    for (size_t i = 0; i < face.size() && i < 31; ++i) lf.lfFaceName[i] = face[i];
    replace(font_, CreateFontIndirectW(&lf));
  }

  void text(int x, int baseline, const std::u32string& chars, const std::vector<int>& dx) override {
    if (chars.empty()) return;
    std::vector<INT> dx16;
    const std::u16string s = utf16(chars, &dx, &dx16);
    ExtTextOutW(dc_, x, baseline, 0, nullptr, reinterpret_cast<const WCHAR*>(s.data()),
                static_cast<UINT>(s.size()), dx16.data());
  }

  void selectPen(int width) override {
    replace(pen_, width > 0 ? CreatePen(PS_SOLID, width, greyColour(0)) : GetStockObject(NULL_PEN),
            width > 0);
  }

  void selectBrush(int grey) override {
    const auto g = static_cast<BYTE>(std::max(0, grey));
    replace(brush_, grey >= 0 ? CreateSolidBrush(greyColour(g)) : GetStockObject(NULL_BRUSH),
            grey >= 0);
  }

  void line(int x1, int y1, int x2, int y2) override {
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
  }

  void rectangle(int left, int top, int right, int bottom) override {
    Rectangle(dc_, left, top, right, bottom);
  }

  void picture(int x, int y, int w, int h, const Bitmap& image) override {
    const std::string bmp = encodeBmp(image);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bmp.data() + 14);
    StretchDIBits(dc_, x, y, w, h, 0, 0, image.width, image.height, bmp.data() + 54, info,
                  DIB_RGB_COLORS, SRCCOPY);
  }

  /// Closes the metafile; libEMF writes the file now.
  void finish() {
    replace(font_, 0, false);
    replace(pen_, 0, false);
    replace(brush_, 0, false);
    HENHMETAFILE m = CloseEnhMetaFile(dc_);
    dc_ = 0;
    if (m) DeleteEnhMetaFile(m);
  }

 private:
  /// Selects `object` (when given) and deletes the object of ours it replaces.
  void replace(HGDIOBJ& current, HGDIOBJ object, bool owned = true) {
    if (object) SelectObject(dc_, object);
    if (current) DeleteObject(current);
    current = owned ? object : 0;
  }

  const Units& units_;
  HDC dc_ = 0;
  HGDIOBJ font_ = 0, pen_ = 0, brush_ = 0;
};

}  // namespace

void MetafileExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  const Units units(doc);
  const int width = units(doc.width), height = units(doc.height);
  const RECT frame{0, 0, static_cast<LONG>(std::lround(doc.width * 2540 / 72)),
                   static_cast<LONG>(std::lround(doc.height * 2540 / 72))};
  for (size_t i = 0; i < doc.pages.size(); ++i) {
    const std::string path = pageFileName(fileName(), i);
    if (enhanced_) {
      const std::string temp = out.reserve(path);
      std::lock_guard<std::mutex> lock(libEmfLock());
      EmfCanvas canvas(temp, units, width, height, frame, doc.title);
      PageDrawer(doc, units, canvas).draw(doc.pages[i]);
      canvas.finish();
    } else {
      WmfCanvas canvas(units, width, height);
      PageDrawer(doc, units, canvas).draw(doc.pages[i]);
      auto& f = out.create(path);
      f.write(canvas.finish());
      f.endPage();
    }
  }
}

}  // namespace report
