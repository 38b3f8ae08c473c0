// rtf: each text in a frame at its place on the page, lines and boxes as drawing shapes
// behind the text, pictures and barcodes as PNG pictures in frames; a page break between
// pages. Text is written in Windows-1252 (document encoding type 1): ASCII as itself, the
// code page's upper half as \'xx, anything else as \uN with "?" for readers without Unicode.

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Render.h"

namespace report {

namespace {

long twips(double points) {
  return std::lround(points * 20);
}
long emu(double points) {
  return std::lround(points * 12700);
}

std::string rtfText(std::string_view utf8) {
  std::string out;
  for (char32_t c : decodeUtf8(utf8)) {
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\line ";
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (c < 0x20) {
      out += ' ';
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const int b = windows1252(c); b >= 0) {
      out += fmt::format("\\'{:02x}", b);
    } else if (c < 0x10000) {
      out += fmt::format("\\u{}?", static_cast<int16_t>(static_cast<uint16_t>(c)));
    } else {
      const char32_t v = c - 0x10000;
      out += fmt::format("\\u{}?\\u{}?", static_cast<int16_t>(0xD800 + (v >> 10)),
                         static_cast<int16_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

/// A font's name in the font table, where ";" ends an entry.
std::string fontName(std::string family) {
  std::erase(family, ';');
  return rtfText(family);
}

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2 + bytes.size() / 64);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
    if (i % 64 == 63) out += '\n';
  }
  return out;
}

class RtfWriter {
 public:
  explicit RtfWriter(const Document& doc) : doc_(doc) {}

  std::string head() const {
    std::string s = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (size_t i = 0; i < std::max<size_t>(1, doc_.fonts.size()); ++i)
      s += fmt::format("{{\\f{}\\fswiss\\fcharset0 {};}}", i,
                       fontName(doc_.fonts.empty() ? "Liberation Sans" : doc_.fonts[i].family));
    s += "}\n{\\info";
    if (!doc_.title.empty()) s += "{\\title " + rtfText(doc_.title) + "}";
    if (doc_.date)
      s +=
          fmt::format("{{\\creatim\\yr{}\\mo{}\\dy{}\\hr{}\\min{}}}", doc_.date->year(),
                      doc_.date->month(), doc_.date->day(), doc_.date->hour(), doc_.date->minute());
    s += "}\n";
    s += fmt::format(
        "\\paperw{}\\paperh{}\\margl0\\margr0\\margt0\\margb0\\widowctrl0\n"
        "\\sectd\\pgwsxn{}\\pghsxn{}\\marglsxn0\\margrsxn0\\margtsxn0\\margbsxn0\n",
        twips(doc_.width), twips(doc_.height), twips(doc_.width), twips(doc_.height));
    return s;
  }

  std::string page(const Page& p, bool last) {
    std::string frames, shapes;
    for (const Item& item : p.items) {
      if (const auto* t = std::get_if<TextItem>(&item)) {
        frames += text(*t);
      } else if (const auto* ln = std::get_if<LineItem>(&item)) {
        shapes += line(*ln);
      } else if (const auto* b = std::get_if<BoxItem>(&item)) {
        shapes += box(*b);
      } else if (const auto* im = std::get_if<ImageItem>(&item)) {
        if (im->image && im->image->width > 0 && im->image->height > 0)
          frames += picture(*im->image, im->box);
      } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
        const BarsPicture pic = barsPicture(*bars);
        if (pic.image.width > 0) frames += picture(pic.image, pic.box);
      }
    }
    // The frames and shapes of a page hang on the page's one paragraph of the flow, so a
    // page break after it starts the next page's.
    std::string s = frames;
    s += "\\pard\\plain\\f0\\fs2 " + shapes + "\\par\n";
    if (!last) s += "\\pard\\plain\\f0\\fs2\\page\\par\n";
    return s;
  }

 private:
  /// A frame on the page. A text's frame is at least `h` high (a reader whose font runs
  /// taller grows it rather than clip the text); a picture's is exactly as high.
  std::string frame(double x, double y, double w, double h, bool exact) const {
    return fmt::format(
        "\\pard\\plain\\pvpg\\phpg\\posx{}\\posy{}\\absw{}\\absh{}{}\\dxfrtext0"
        "\\dfrmtxtx0\\dfrmtxty0",
        twips(x), twips(y), std::max(1L, twips(w)), exact ? "-" : "", std::max(1L, twips(h)));
  }

  std::string text(const TextItem& t) const {
    const FontSpec& font = fontOf(doc_, t);
    double x = t.box.x, right = t.box.x + t.box.w;
    if (!t.wrap) {
      // A frame wraps what does not fit: an unwrapped text keeps its one line by a frame
      // as wide as the renderer sets it.
      for (const TextLine& l : textLines(doc_, t)) {
        x = std::min(x, l.x);
        right = std::max(right, l.x + l.width + 1);
      }
    }
    const char* align = t.align == Align::Right    ? "\\qr"
                        : t.align == Align::Center ? "\\qc"
                                                   : "\\ql";
    return fmt::format("{}{}\\sl0\\f{}\\fs{}{}{} {}\\par\n",
                       frame(x, t.box.y, right - x, std::max(t.box.h, font.size * 1.2), false),
                       align, t.font >= 0 ? t.font : 0, std::max(1L, std::lround(font.size * 2)),
                       font.bold ? "\\b" : "", font.italic ? "\\i" : "", rtfText(t.text));
  }

  std::string picture(const Bitmap& image, const Rect& box) const {
    return fmt::format(
        "{}\\ql\\sl0\\f0\\fs2 "
        "{{\\pict\\pngblip\\picw{}\\pich{}\\picwgoal{}\\pichgoal{}\n{}}}\\par\n",
        frame(box.x, box.y, box.w, box.h, true), image.width, image.height, twips(box.w),
        twips(box.h), hex(encodePng(image)));
  }

  std::string shape(double left, double top, double right, double bottom,
                    const std::string& properties) {
    return fmt::format(
        "{{\\shp{{\\*\\shpinst\\shpleft{}\\shptop{}\\shpright{}\\shpbottom{}\\shpfhdr0"
        "\\shpbxpage\\shpbxignore\\shpbypage\\shpbyignore\\shpwr3\\shpwrk0\\shpfblwtxt1\\shpz{}"
        "{}}}}}",
        twips(left), twips(top), twips(right), twips(bottom), shapes_++, properties);
  }

  static std::string property(const char* name, long value) {
    return fmt::format("{{\\sp{{\\sn {}}}{{\\sv {}}}}}", name, value);
  }

  std::string line(const LineItem& ln) {
    std::string p = property("shapeType", 20) + property("lineWidth", emu(ln.width));
    if (ln.x2 < ln.x1) p += property("fFlipH", 1);
    if (ln.y2 < ln.y1) p += property("fFlipV", 1);
    return shape(std::min(ln.x1, ln.x2), std::min(ln.y1, ln.y2), std::max(ln.x1, ln.x2),
                 std::max(ln.y1, ln.y2), p);
  }

  std::string box(const BoxItem& b) {
    std::string p = property("shapeType", 1);
    if (b.lineWidth > 0)
      p += property("lineWidth", emu(b.lineWidth));
    else
      p += property("fLine", 0);
    if (b.fillGray >= 0) {
      const long g = std::lround(std::clamp(b.fillGray, 0.0, 1.0) * 255);
      p += property("fFilled", 1) + property("fillColor", g | (g << 8) | (g << 16));
    } else {
      p += property("fFilled", 0);
    }
    return shape(b.box.x, b.box.y, b.box.x + b.box.w, b.box.y + b.box.h, p);
  }

  const Document& doc_;
  int shapes_ = 1;
};

}  // namespace

void RtfExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  RtfWriter w(doc);
  auto& f = out.create(fileName());
  f.write(w.head());
  for (size_t i = 0; i < doc.pages.size(); ++i) {
    f.write(w.page(doc.pages[i], i + 1 == doc.pages.size()));
    f.endPage();
  }
  f.write("}\n");
}

}  // namespace report
