// htm and xhtml: each page a block of its own size, every element placed where the page
// model puts it; pictures and barcodes as PNG pictures, inside the page as data or, when
// pictures are resources, as files in a folder beside it.

#include <fmt/format.h>
#include <glib.h>

#include <cmath>
#include <filesystem>

#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Render.h"

namespace report {

namespace {

std::string base64(const std::string& bytes) {
  gchar* b = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out(b);
  g_free(b);
  return out;
}

/// A name of a file for a URL: every byte outside the unreserved set percent-encoded.
std::string urlPath(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '/')
      out += static_cast<char>(c);
    else
      out += fmt::format("%{:02X}", c);
  }
  return out;
}

/// A font family inside a quoted CSS name: nothing that could end the name or the style.
std::string cssName(const std::string& family) {
  std::string out;
  for (char c : family)
    if (c != '"' && c != '\\' && c != '<' && c != '>' && c != '{' && c != '}' && c != ';' &&
        static_cast<unsigned char>(c) >= 0x20)
      out += c;
  return out;
}

std::string pt(double v) {
  return fmt::format("{:.2f}pt", v);
}

class HtmlWriter {
 public:
  HtmlWriter(const Document& doc, ExportFiles& out, const std::string& fileName, bool xhtml)
      : doc_(doc), out_(out), fileName_(fileName), xhtml_(xhtml) {}

  void write() {
    auto& f = out_.create(fileName_);
    f.write(head());
    for (size_t i = 0; i < doc_.pages.size(); ++i) {
      f.write(page(doc_.pages[i], i));
      f.endPage();
    }
    f.write("</body>\n</html>\n");
  }

 private:
  std::string head() const {
    std::string h;
    if (xhtml_) {
      h += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"pt-BR\" lang=\"pt-BR\">\n"
           "<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />\n";
    } else {
      h += "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n";
    }
    h += fmt::format("<title>{}</title>\n",
                     escapeXml(doc_.title.empty() ? "Relatório" : doc_.title));
    h += xhtml_ ? "<style type=\"text/css\">\n" : "<style>\n";
    h += fmt::format(
        "body{{margin:0;background:#999}}\n"
        ".page{{position:relative;width:{};height:{};margin:0 auto 8pt;background:#fff;"
        "overflow:hidden;page-break-after:always}}\n"
        ".last{{page-break-after:auto}}\n"
        ".t{{position:absolute;margin:0;white-space:pre;line-height:1.15;overflow:visible}}\n"
        ".w{{white-space:pre-wrap}}\n"
        ".r{{text-align:right}}\n.c{{text-align:center}}\n"
        ".l{{position:absolute;background:#000}}\n"
        ".b{{position:absolute;box-sizing:border-box;border:0 solid #000}}\n"
        ".i{{position:absolute;image-rendering:pixelated;image-rendering:crisp-edges}}\n"
        "@media print{{body{{background:none}}.page{{margin:0}}}}\n",
        pt(doc_.width), pt(doc_.height));
    for (size_t i = 0; i < doc_.fonts.size(); ++i) {
      const FontSpec& font = doc_.fonts[i];
      h += fmt::format(
          ".f{}{{font-family:\"{}\",Arial,Helvetica,sans-serif;font-size:{:.1f}pt;"
          "font-weight:{};font-style:{}}}\n",
          i, cssName(font.family), font.size, font.bold ? "bold" : "normal",
          font.italic ? "italic" : "normal");
    }
    h += "</style>\n</head>\n<body>\n";
    return h;
  }

  std::string page(const Page& p, size_t index) {
    std::string s = fmt::format("<div class=\"page{}\" id=\"p{}\">\n",
                                index + 1 == doc_.pages.size() ? " last" : "", index + 1);
    for (const Item& item : p.items) {
      if (const auto* t = std::get_if<TextItem>(&item)) {
        std::string cls = fmt::format("t f{}", t->font >= 0 ? t->font : 0);
        if (t->wrap) cls += " w";
        if (t->align == Align::Right) cls += " r";
        if (t->align == Align::Center) cls += " c";
        s += fmt::format("<div class=\"{}\" style=\"left:{};top:{};width:{};height:{}\">{}</div>\n",
                         cls, pt(t->box.x), pt(t->box.y), pt(t->box.w), pt(t->box.h),
                         escapeXml(t->text));
      } else if (const auto* ln = std::get_if<LineItem>(&item)) {
        s += line(*ln);
      } else if (const auto* b = std::get_if<BoxItem>(&item)) {
        std::string style = fmt::format("left:{};top:{};width:{};height:{}", pt(b->box.x),
                                        pt(b->box.y), pt(b->box.w), pt(b->box.h));
        if (b->lineWidth > 0) style += ";border-width:" + pt(b->lineWidth);
        if (b->fillGray >= 0) {
          const int g = static_cast<int>(std::lround(std::clamp(b->fillGray, 0.0, 1.0) * 255));
          style += fmt::format(";background:#{:02x}{:02x}{:02x}", g, g, g);
        }
        s += fmt::format("<div class=\"b\" style=\"{}\"></div>\n", style);
      } else if (const auto* im = std::get_if<ImageItem>(&item)) {
        if (im->image && im->image->width > 0 && im->image->height > 0)
          s += img(*im->image, im->box, "Imagem");
      } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
        BarsPicture pic = barsPicture(*bars);
        if (pic.image.width > 0) s += img(pic.image, pic.box, "Código de barras");
      }
    }
    s += "</div>\n";
    return s;
  }

  std::string line(const LineItem& ln) const {
    const double dx = ln.x2 - ln.x1, dy = ln.y2 - ln.y1;
    const double length = std::hypot(dx, dy);
    if (length <= 0) return {};
    // A line is a thin block turned about its starting point.
    const double angle = std::atan2(dy, dx) * 180 / M_PI;
    std::string style = fmt::format("left:{};top:{};width:{};height:{}", pt(ln.x1),
                                    pt(ln.y1 - ln.width / 2), pt(length), pt(ln.width));
    if (std::fabs(angle) > 1e-6)
      style += fmt::format(";transform:rotate({:.3f}deg);transform-origin:0 50%", angle);
    return fmt::format("<div class=\"l\" style=\"{}\"></div>\n", style);
  }

  std::string img(const Bitmap& bitmap, const Rect& box, const char* alt) {
    const std::string png = encodePng(bitmap);
    std::string src;
    if (out_.options().imagesAsResources) {
      namespace fs = std::filesystem;
      const fs::path target(fileName_);
      const std::string folder = target.stem().string() + "_arquivos";
      const std::string name = fmt::format("imagem-{}.png", ++images_);
      auto& f = out_.create((target.parent_path() / folder / name).string(), true);
      f.write(png);
      src = urlPath(folder + "/" + name);
    } else {
      src = "data:image/png;base64," + base64(png);
    }
    return fmt::format(
        "<img class=\"i\" style=\"left:{};top:{};width:{};height:{}\" src=\"{}\" "
        "alt=\"{}\"{}>\n",
        pt(box.x), pt(box.y), pt(box.w), pt(box.h), src, alt, xhtml_ ? " /" : "");
  }

  const Document& doc_;
  ExportFiles& out_;
  const std::string& fileName_;
  bool xhtml_;
  int images_ = 0;
};

}  // namespace

void HtmlExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  HtmlWriter(doc, out, fileName(), xhtml_).write();
}

}  // namespace report
