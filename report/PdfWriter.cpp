// The PDF output: pages written straight from the page model. Each page's content stream is
// drawn and compressed on its own, so the pages of a large document are drawn on every core;
// fonts are subset once per file with HarfBuzz and shared by all its pages, and a picture
// used on several pages is stored once.

#include <fmt/format.h>
#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <hb-subset.h>
#include <libdeflate.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "host/Errors.h"
#include "report/PdfFont.h"
#include "report/Render.h"

namespace report {

namespace pdf {

namespace {

std::mutex g_facesMutex;
std::map<std::string, std::unique_ptr<Face>>& faces() {
  static auto* f = new std::map<std::string, std::unique_ptr<Face>>;  // lives with the process
  return *f;
}

int readBig16(const char* p) {
  return static_cast<int16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1]));
}

std::string tableOf(hb_face_t* face, hb_tag_t tag) {
  hb_blob_t* blob = hb_face_reference_table(face, tag);
  unsigned len = 0;
  const char* data = hb_blob_get_data(blob, &len);
  std::string out(data ? data : "", data ? len : 0);
  hb_blob_destroy(blob);
  return out;
}

std::unique_ptr<Face> loadFace(const std::string& file, int index, int id) {
  auto f = std::make_unique<Face>();
  f->id = id;
  f->key = fmt::format("{}:{}", file, index);
  hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
  if (!blob)
    throw host::OperationError(fmt::format("Falha ao gerar o PDF: fonte ilegível {}", file));
  f->face = hb_face_create(blob, static_cast<unsigned>(index));
  hb_blob_destroy(blob);
  f->upem = std::max(1u, hb_face_get_upem(f->face));
  f->cff = !tableOf(f->face, HB_TAG('C', 'F', 'F', ' ')).empty();

  hb_font_t* font = hb_font_create(f->face);  // scale: font units
  const unsigned count = hb_face_get_glyph_count(f->face);
  std::vector<hb_codepoint_t> gids(count);
  std::vector<hb_position_t> adv(count);
  for (unsigned g = 0; g < count; ++g) gids[g] = g;
  if (count)
    hb_font_get_glyph_h_advances(font, count, gids.data(), sizeof(hb_codepoint_t), adv.data(),
                                 sizeof(hb_position_t));
  f->advance.resize(count);
  for (unsigned g = 0; g < count; ++g)
    f->advance[g] = static_cast<uint16_t>(std::clamp(adv[g], 0, 65535));
  // Which character each glyph shows, for the text a reader copies out of the page: the
  // lowest code point that maps to it (a space before a no-break space).
  f->unicode.assign(count, 0);
  hb_set_t* chars = hb_set_create();
  hb_face_collect_unicodes(f->face, chars);
  for (hb_codepoint_t u = HB_SET_VALUE_INVALID; hb_set_next(chars, &u);) {
    hb_codepoint_t g = 0;
    if (hb_font_get_nominal_glyph(font, u, &g) && g < count && f->unicode[g] == 0)
      f->unicode[g] = u;
  }
  hb_set_destroy(chars);

  hb_position_t pos = 0;
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER, &pos))
    f->ascent = pos;
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER, &pos))
    f->descent = pos;
  f->capHeight = f->ascent;
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_CAP_HEIGHT, &pos) && pos > 0)
    f->capHeight = pos;
  hb_font_destroy(font);

  const std::string head = tableOf(f->face, HB_TAG('h', 'e', 'a', 'd'));
  if (head.size() >= 44)
    for (int i = 0; i < 4; ++i) f->bbox[i] = readBig16(head.data() + 36 + 2 * i);
  const std::string post = tableOf(f->face, HB_TAG('p', 'o', 's', 't'));
  if (post.size() >= 8) {
    const auto fixed =
        static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(post[4])) << 24) |
                             (static_cast<uint32_t>(static_cast<uint8_t>(post[5])) << 16) |
                             (static_cast<uint32_t>(static_cast<uint8_t>(post[6])) << 8) |
                             static_cast<uint32_t>(static_cast<uint8_t>(post[7])));
    f->italicAngle = fixed / 65536.0;
  }

  char name[128];
  unsigned len = sizeof name;
  hb_ot_name_get_utf8(f->face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &len, name);
  for (unsigned i = 0; i < len && name[i]; ++i)
    if (std::isalnum(static_cast<unsigned char>(name[i])) || name[i] == '-')
      f->postscriptName += name[i];
  if (f->postscriptName.empty()) f->postscriptName = fmt::format("Font{}", id);
  return f;
}

}  // namespace

const Face& faceOf(PangoFont* font) {
  // Pango keeps a font map per thread; the thread's fonts are held so a pointer is never
  // reused for another font.
  struct Known {
    std::unordered_map<PangoFont*, const Face*> faces;
    Known() = default;
    Known(const Known&) = delete;
    Known& operator=(const Known&) = delete;
    ~Known() {
      for (auto& [f, face] : faces) g_object_unref(f);
    }
  };
  thread_local Known known;
  auto it = known.faces.find(font);
  if (it != known.faces.end()) return *it->second;
  std::string file;
  int index = 0;
  if (PANGO_IS_FC_FONT(font)) {
    FcPattern* p = pango_fc_font_get_pattern(PANGO_FC_FONT(font));
    FcChar8* f = nullptr;
    if (p && FcPatternGetString(p, FC_FILE, 0, &f) == FcResultMatch && f)
      file = reinterpret_cast<const char*>(f);
    if (p) FcPatternGetInteger(p, FC_INDEX, 0, &index);
  }
  if (file.empty()) throw host::OperationError("Falha ao gerar o PDF: fonte sem arquivo");
  const std::string key = fmt::format("{}:{}", file, index);
  const Face* face = nullptr;
  {
    std::lock_guard lock(g_facesMutex);
    auto& all = faces();
    auto f = all.find(key);
    if (f == all.end())
      f = all.emplace(key, loadFace(file, index, static_cast<int>(all.size()))).first;
    face = f->second.get();
  }
  g_object_ref(font);
  known.faces.emplace(font, face);
  return *face;
}

}  // namespace pdf

namespace {

using pdf::Face;

// Content streams are compressed at the fastest level: they are mostly numbers and glyph
// codes, which it already takes to about a fifth. libdeflate does it in a third of zlib's time.
constexpr int kContentLevel = 1;
constexpr int kFontLevel = 6;

std::string deflate(std::string_view in, int level) {
  struct Compressors {
    libdeflate_compressor* at[13] = {};
    ~Compressors() {
      for (auto* c : at)
        if (c) libdeflate_free_compressor(c);
    }
  };
  thread_local Compressors compressors;
  libdeflate_compressor*& c = compressors.at[level];
  if (!c) c = libdeflate_alloc_compressor(level);
  if (!c) throw host::OperationError("Falha ao gerar o PDF: memória");
  // The worst case is kept per thread: a fresh buffer of that size for every page was
  // cleared and handed back to the system each time.
  thread_local std::string room;
  const size_t bound = libdeflate_zlib_compress_bound(c, in.size());
  if (room.size() < bound) room.resize(bound);
  const size_t size = libdeflate_zlib_compress(c, in.data(), in.size(), room.data(), bound);
  if (size == 0) throw host::OperationError("Falha ao gerar o PDF: compressão");
  return room.substr(0, size);
}

/// Appends `v` with at most three decimals (a thousandth of a point), no trailing zeros.
void num(std::string& s, double v) {
  long long m = std::llround(v * 1000.0);
  if (m < 0) {
    s += '-';
    m = -m;
  }
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, m / 1000);
  s.append(buf, r.ptr);
  if (int frac = static_cast<int>(m % 1000)) {
    char d[4] = {'.', static_cast<char>('0' + frac / 100), static_cast<char>('0' + frac / 10 % 10),
                 static_cast<char>('0' + frac % 10)};
    int n = 4;
    while (d[n - 1] == '0') --n;
    s.append(d, static_cast<size_t>(n));
  }
}

void hex4(std::string& s, unsigned v) {
  static constexpr char kHex[] = "0123456789abcdef";
  s += kHex[(v >> 12) & 15];
  s += kHex[(v >> 8) & 15];
  s += kHex[(v >> 4) & 15];
  s += kHex[v & 15];
}

/// A picture as an image object: grey when every pixel is, RGB otherwise.
struct Picture {
  size_t hash = 0;
  int width = 0, height = 0;
  bool gray = false;
  std::string data;  // compressed samples
};

Picture pictureOf(const Bitmap& bm) {
  Picture p;
  p.width = bm.width;
  p.height = bm.height;
  p.gray = std::all_of(bm.pixels.begin(), bm.pixels.end(), [](uint32_t px) {
    return ((px >> 16) & 0xFF) == ((px >> 8) & 0xFF) && ((px >> 8) & 0xFF) == (px & 0xFF);
  });
  std::string raw;
  raw.reserve(bm.pixels.size() * (p.gray ? 1 : 3));
  for (uint32_t px : bm.pixels) {
    if (!p.gray) {
      raw += static_cast<char>((px >> 16) & 0xFF);
      raw += static_cast<char>((px >> 8) & 0xFF);
    }
    raw += static_cast<char>(px & 0xFF);
  }
  p.hash = std::hash<std::string_view>()(raw) ^ (static_cast<size_t>(p.width) << 1);
  p.data = deflate(raw, kFontLevel);
  return p;
}

/// Pages drawn by one thread: their compressed contents, the pictures they show and the
/// glyphs they use of each face.
struct Drawn {
  struct PageOut {
    std::string content;
    std::vector<size_t> pictures;  // into `pictures`, in the order of the names /I0, /I1...
  };
  std::vector<PageOut> pages;
  std::vector<Picture> pictures;
  std::map<const Face*, std::vector<bool>> glyphs;
};

class PageDrawer {
 public:
  PageDrawer(const Document& doc, Drawn& out) : doc_(doc), out_(out) {
    // A boleto's page is some 15 kB of drawing and 8 of text: room for it from the start
    // rather than growing a page at a time.
    s_.reserve(32 * 1024);
    text_.reserve(16 * 1024);
  }

  void draw(const Page& page) {
    s_.clear();
    text_.clear();
    lineWidth_ = -1;
    Drawn::PageOut po;
    // Points from the top-left corner, as the page model measures them.
    s_ += "1 0 0 -1 0 ";
    num(s_, doc_.height);
    s_ += " cm\n";
    for (const Item& item : page.items) {
      if (const auto* t = std::get_if<TextItem>(&item)) {
        pdf::forEachGlyphRun(doc_, *t, [this](const pdf::GlyphRun& r) { glyphs(r); });
      } else if (const auto* ln = std::get_if<LineItem>(&item)) {
        setLineWidth(ln->width);
        num(s_, ln->x1), s_ += ' ', num(s_, ln->y1), s_ += " m ";
        num(s_, ln->x2), s_ += ' ', num(s_, ln->y2), s_ += " l S\n";
      } else if (const auto* b = std::get_if<BoxItem>(&item)) {
        const bool fill = b->fillGray >= 0, stroke = b->lineWidth > 0;
        if (!fill && !stroke) continue;
        if (stroke) setLineWidth(b->lineWidth);
        if (fill) num(s_, b->fillGray), s_ += " g ";
        rect(b->box);
        s_ += fill && stroke ? "B" : fill ? "f" : "S";
        if (fill) s_ += " 0 g";
        s_ += '\n';
      } else if (const auto* im = std::get_if<ImageItem>(&item)) {
        const Bitmap& bm = *im->image;
        if (bm.width <= 0 || bm.height <= 0) continue;
        const size_t name = picture(bm, po);
        s_ += "q ";
        num(s_, im->box.w), s_ += " 0 0 ", num(s_, -im->box.h), s_ += ' ';
        num(s_, im->box.x), s_ += ' ', num(s_, im->box.y + im->box.h);
        s_ += fmt::format(" cm /I{} Do Q\n", name);
      } else if (const auto* bars = std::get_if<BarsItem>(&item)) {
        if (bars->bars.empty()) continue;
        for (const Rect& r : bars->bars) rect(r), s_ += '\n';
        s_ += "f\n";
      }
    }
    // Text goes over the drawings.
    if (!text_.empty()) {
      endString();
      s_ += "BT\n";
      s_ += text_;
      s_ += "ET\n";
    }
    face_ = nullptr;
    po.content = deflate(s_, kContentLevel);
    out_.pages.push_back(std::move(po));
    seen_.clear();
  }

 private:
  void setLineWidth(double w) {
    if (w == lineWidth_) return;
    lineWidth_ = w;
    num(s_, w);
    s_ += " w ";
  }

  void rect(const Rect& r) {
    num(s_, r.x), s_ += ' ', num(s_, r.y), s_ += ' ';
    num(s_, r.w), s_ += ' ', num(s_, r.h), s_ += " re ";
  }

  size_t picture(const Bitmap& bm, Drawn::PageOut& po) {
    auto it = seen_.find(&bm);
    size_t index;
    if (it != seen_.end()) {
      index = it->second;
    } else {
      auto known = byBitmap_.find(&bm);
      if (known != byBitmap_.end()) {
        index = known->second;
      } else {
        index = out_.pictures.size();
        out_.pictures.push_back(pictureOf(bm));
        byBitmap_.emplace(&bm, index);
      }
      seen_.emplace(&bm, index);
    }
    const auto at = std::find(po.pictures.begin(), po.pictures.end(), index);
    if (at != po.pictures.end()) return static_cast<size_t>(at - po.pictures.begin());
    po.pictures.push_back(index);
    return po.pictures.size() - 1;
  }

  void endString() {
    if (inString_) text_ += '>';
    inString_ = false;
    if (inArray_) text_ += "] TJ\n";
    inArray_ = false;
  }

  /// Glyphs as TJ strings; a glyph away from where the font's width puts it gets an
  /// adjustment, a glyph on another baseline a new text matrix.
  void glyphs(const pdf::GlyphRun& r) {
    if (r.face != face_ || r.size != size_) {
      endString();
      face_ = r.face;
      size_ = r.size;
      text_ += fmt::format("/F{} ", face_->id);
      num(text_, size_);
      text_ += " Tf\n";
    }
    auto& used = out_.glyphs[face_];
    if (used.size() < face_->advance.size()) used.resize(face_->advance.size());
    const double scale = size_ / face_->upem;
    for (size_t i = 0; i < r.count; ++i) {
      const unsigned gid = static_cast<unsigned>(r.glyphs[i].index);
      if (gid >= face_->advance.size()) continue;
      const double x = r.glyphs[i].x + r.dx, y = r.glyphs[i].y + r.dy;
      if (!inArray_ || std::abs(y - y_) > 0.0005) {
        endString();
        text_ += "1 0 0 -1 ";
        num(text_, x), text_ += ' ', num(text_, y);
        text_ += " Tm [";
        inArray_ = true;
        y_ = y;
      } else if (const double off = x - x_; std::abs(off) > 0.0005) {
        if (inString_) text_ += '>';
        inString_ = false;
        text_ += ' ';
        num(text_, -off * 1000.0 / size_);
        text_ += ' ';
      }
      if (!inString_) text_ += '<';
      inString_ = true;
      hex4(text_, gid);
      used[gid] = true;
      x_ = x + face_->advance[gid] * scale;
    }
  }

  const Document& doc_;
  Drawn& out_;
  std::string s_, text_;
  double lineWidth_ = -1;
  const Face* face_ = nullptr;
  double size_ = 0;
  double x_ = 0, y_ = 0;
  bool inArray_ = false, inString_ = false;
  std::unordered_map<const Bitmap*, size_t> byBitmap_;
  std::unordered_map<const Bitmap*, size_t> seen_;
};

/// A face cut down to the glyphs a file uses (glyph numbers kept), cached: runs of boletos
/// use the same glyphs of their caption font file after file.
std::shared_ptr<const std::string> subset(const Face& face, const std::vector<bool>& used) {
  static std::mutex mutex;
  static std::map<std::pair<int, std::vector<bool>>, std::shared_ptr<const std::string>> cache;
  std::vector<bool> key = used;
  key[0] = true;  // .notdef
  {
    std::lock_guard lock(mutex);
    auto it = cache.find({face.id, key});
    if (it != cache.end()) return it->second;
  }
  hb_subset_input_t* in = hb_subset_input_create_or_fail();
  if (!in) throw host::OperationError("Falha ao gerar o PDF: memória");
  hb_set_t* gs = hb_subset_input_glyph_set(in);
  for (size_t g = 0; g < key.size(); ++g)
    if (key[g]) hb_set_add(gs, static_cast<hb_codepoint_t>(g));
  hb_subset_input_set_flags(in, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
  hb_face_t* cut = hb_subset_or_fail(face.face, in);
  hb_subset_input_destroy(in);
  if (!cut) throw host::OperationError("Falha ao gerar o PDF: fonte " + face.postscriptName);
  hb_blob_t* blob = hb_face_reference_blob(cut);
  unsigned len = 0;
  const char* data = hb_blob_get_data(blob, &len);
  auto out = std::make_shared<const std::string>(data ? data : "", data ? len : 0);
  hb_blob_destroy(blob);
  hb_face_destroy(cut);
  std::lock_guard lock(mutex);
  if (cache.size() > 256) cache.clear();
  cache.emplace(std::make_pair(face.id, std::move(key)), out);
  return out;
}

void appendUtf16(std::string& s, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    hex4(s, 0xD800 + (c >> 10));
    hex4(s, 0xDC00 + (c & 0x3FF));
  } else {
    hex4(s, c);
  }
}

/// A PDF text string: literal when printable ASCII, UTF-16 otherwise.
std::string textString(const std::string& utf8) {
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
    std::string s = "(";
    for (char c : utf8) {
      if (c == '(' || c == ')' || c == '\\') s += '\\';
      s += c;
    }
    return s + ")";
  }
  std::string s = "<feff";
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + static_cast<size_t>(k) < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(n);
    appendUtf16(s, c);
  }
  return s + ">";
}

class FileWriter {
 public:
  explicit FileWriter(std::string& out) : out_(out) {
    out_ += "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    offsets_.push_back(0);
  }
  int reserve() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size() - 1);
  }
  void object(int id, std::string_view body) {
    offsets_[static_cast<size_t>(id)] = out_.size();
    out_ += fmt::format("{} 0 obj\n", id);
    out_ += body;
    out_ += "\nendobj\n";
  }
  void stream(int id, std::string_view dict, std::string_view data) {
    offsets_[static_cast<size_t>(id)] = out_.size();
    out_ += fmt::format("{} 0 obj\n<< {} /Length {} >>\nstream\n", id, dict, data.size());
    out_ += data;
    out_ += "\nendstream\nendobj\n";
  }
  void finish(int root, int info) {
    const size_t xref = out_.size();
    out_ += fmt::format("xref\n0 {}\n0000000000 65535 f \n", offsets_.size());
    for (size_t i = 1; i < offsets_.size(); ++i)
      out_ += fmt::format("{:010} 00000 n \n", offsets_[i]);
    out_ += fmt::format("trailer\n<< /Size {} /Root {} 0 R /Info {} 0 R >>\nstartxref\n{}\n%%EOF\n",
                        offsets_.size(), root, info, xref);
  }

 private:
  std::string& out_;
  std::vector<size_t> offsets_;
};

/// The objects of a face embedded as a CID font (glyph numbers as codes); gives the font's.
int writeFont(FileWriter& w, const Face& face, const std::vector<bool>& used, int tag) {
  const int type0 = w.reserve(), cid = w.reserve(), descriptor = w.reserve(), file = w.reserve(),
            toUnicode = w.reserve();
  std::string subsetTag;
  for (int i = 0, t = tag; i < 6; ++i, t /= 26) subsetTag += static_cast<char>('A' + t % 26);
  const std::string name = subsetTag + "+" + face.postscriptName;
  const double k = 1000.0 / face.upem;
  const auto units = [k](int v) { return static_cast<long>(std::lround(v * k)); };

  w.object(type0, fmt::format("<< /Type /Font /Subtype /Type0 /BaseFont /{} /Encoding /Identity-H "
                              "/DescendantFonts [{} 0 R] /ToUnicode {} 0 R >>",
                              name, cid, toUnicode));
  std::string widths = "[";
  for (size_t g = 0; g < used.size();) {
    if (!used[g]) {
      ++g;
      continue;
    }
    widths += fmt::format("{} [", g);
    for (; g < used.size() && used[g]; ++g)
      widths += fmt::format("{} ", std::lround(face.advance[g] * k));
    widths += "] ";
  }
  widths += "]";
  w.object(cid, fmt::format("<< /Type /Font /Subtype /{} /BaseFont /{} /CIDSystemInfo << "
                            "/Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                            "/FontDescriptor {} 0 R /W {}{} >>",
                            face.cff ? "CIDFontType0" : "CIDFontType2", name, descriptor, widths,
                            face.cff ? "" : " /CIDToGIDMap /Identity"));
  w.object(descriptor,
           fmt::format("<< /Type /FontDescriptor /FontName /{} /Flags {} /FontBBox [{} {} {} {}] "
                       "/ItalicAngle {} /Ascent {} /Descent {} /CapHeight {} /StemV 80 /{} {} 0 R "
                       ">>",
                       name, face.italicAngle != 0 ? 32 + 64 : 32, units(face.bbox[0]),
                       units(face.bbox[1]), units(face.bbox[2]), units(face.bbox[3]),
                       face.italicAngle, units(face.ascent), units(face.descent),
                       units(face.capHeight), face.cff ? "FontFile3" : "FontFile2", file));
  const auto data = subset(face, used);
  w.stream(file, fmt::format("/Filter /FlateDecode{}", face.cff ? " /Subtype /OpenType" : ""),
           deflate(*data, kFontLevel));

  std::vector<std::pair<unsigned, char32_t>> chars;
  for (size_t g = 0; g < used.size(); ++g)
    if (used[g] && face.unicode[g]) chars.emplace_back(static_cast<unsigned>(g), face.unicode[g]);
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <ffff>\nendcodespacerange\n";
  for (size_t i = 0; i < chars.size(); i += 100) {
    const size_t n = std::min<size_t>(100, chars.size() - i);
    cmap += fmt::format("{} beginbfchar\n", n);
    for (size_t j = i; j < i + n; ++j) {
      cmap += '<';
      hex4(cmap, chars[j].first);
      cmap += "> <";
      appendUtf16(cmap, chars[j].second);
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  w.stream(toUnicode, "/Filter /FlateDecode", deflate(cmap, kFontLevel));
  return type0;
}

/// Draws `pages` of `doc`, a share on each core when there are enough to be worth it.
std::vector<Drawn> drawPages(const Document& doc) {
  const size_t n = doc.pages.size();
  // Asked once: the library reads the count from /sys on every call, and a run draws every
  // boleto as a document of its own.
  static const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  size_t threads = cores;
  // Under a few dozen pages a thread costs more (its own fonts and shaping) than it saves.
  threads = std::min(threads, std::max<size_t>(1, n / 32));
  std::vector<Drawn> parts(threads);
  std::vector<std::exception_ptr> errors(threads);
  const auto work = [&](size_t t) {
    try {
      PageDrawer d(doc, parts[t]);
      for (size_t p = n * t / threads; p < n * (t + 1) / threads; ++p) d.draw(doc.pages[p]);
    } catch (...) {
      errors[t] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work, t);
  work(0);
  for (auto& h : helpers) h.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
  return parts;
}

}  // namespace

struct DrawnPdf {
  double width = 0, height = 0;
  std::vector<Drawn> parts;
};

std::shared_ptr<const DrawnPdf> drawPdf(const Document& doc) {
  auto d = std::make_shared<DrawnPdf>();
  d->width = doc.width;
  d->height = doc.height;
  d->parts = drawPages(doc);
  return d;
}

std::string renderPdf(const Document& doc) {
  return renderPdf({drawPdf(doc)}, doc.title, doc.date);
}

std::string renderPdf(const std::vector<std::shared_ptr<const DrawnPdf>>& drawn,
                      const std::string& title, const std::optional<host::DateTime>& date) {
  size_t pageCount = 0;
  for (const auto& d : drawn)
    for (const auto& part : d->parts) pageCount += part.pages.size();
  std::string out;
  out.reserve(64 * 1024 + pageCount * 4096);
  FileWriter w(out);
  const int catalog = w.reserve(), pagesId = w.reserve(), info = w.reserve(),
            fontDict = w.reserve();

  // The faces of every part, each embedded once with the glyphs of all pages.
  std::map<int, std::pair<const Face*, std::vector<bool>>> used;  // by face id
  for (const auto& d : drawn)
    for (const auto& part : d->parts)
      for (const auto& [face, glyphs] : part.glyphs) {
        auto& u = used[face->id];
        u.first = face;
        if (u.second.size() < glyphs.size()) u.second.resize(glyphs.size());
        for (size_t g = 0; g < glyphs.size(); ++g)
          if (glyphs[g]) u.second[g] = true;
      }
  std::string fonts = "<< ";
  int tag = 0;
  for (const auto& [id, u] : used)
    fonts += fmt::format("/F{} {} 0 R ", id, writeFont(w, *u.first, u.second, ++tag * 7919));
  w.object(fontDict, fonts + ">>");

  // A picture shown on several pages (a logo) is stored once.
  std::unordered_multimap<size_t, int> pictureIds;  // hash -> object
  std::map<int, const Picture*> stored;
  std::string kids;
  for (const auto& d : drawn) {
    std::string box = "[0 0 ";
    num(box, d->width), box += ' ', num(box, d->height), box += ']';
    for (const auto& part : d->parts) {
      std::vector<int> ids(part.pictures.size());
      for (size_t i = 0; i < part.pictures.size(); ++i) {
        const Picture& p = part.pictures[i];
        int id = 0;
        auto [from, to] = pictureIds.equal_range(p.hash);
        for (auto it = from; it != to && !id; ++it) {
          const Picture& q = *stored[it->second];
          if (q.width == p.width && q.height == p.height && q.gray == p.gray && q.data == p.data)
            id = it->second;
        }
        if (!id) {
          id = w.reserve();
          w.stream(id,
                   fmt::format("/Type /XObject /Subtype /Image /Width {} /Height {} /ColorSpace "
                               "/{} /BitsPerComponent 8 /Interpolate false /Filter /FlateDecode",
                               p.width, p.height, p.gray ? "DeviceGray" : "DeviceRGB"),
                   p.data);
          pictureIds.emplace(p.hash, id);
          stored[id] = &p;
        }
        ids[i] = id;
      }
      for (auto& page : part.pages) {
        const int content = w.reserve(), pageId = w.reserve();
        w.stream(content, "/Filter /FlateDecode", page.content);
        std::string xobjects;
        if (!page.pictures.empty()) {
          xobjects = " /XObject << ";
          for (size_t k = 0; k < page.pictures.size(); ++k)
            xobjects += fmt::format("/I{} {} 0 R ", k, ids[page.pictures[k]]);
          xobjects += ">>";
        }
        w.object(pageId, fmt::format("<< /Type /Page /Parent {} 0 R /MediaBox {} /Contents {} 0 R "
                                     "/Resources << /Font {} 0 R{} >> >>",
                                     pagesId, box, content, fontDict, xobjects));
        kids += fmt::format("{} 0 R ", pageId);
      }
    }
  }
  w.object(pagesId, fmt::format("<< /Type /Pages /Kids [{}] /Count {} >>", kids, pageCount));
  w.object(catalog, fmt::format("<< /Type /Catalog /Pages {} 0 R >>", pagesId));
  std::string meta = "<< /Producer (boleto)";
  if (!title.empty()) meta += " /Title " + textString(title);
  if (date) {
    const std::string d = "(D:" + date->format("yyyymmddhhnnss") + ")";
    meta += " /CreationDate " + d + " /ModDate " + d;
  }
  w.object(info, meta + " >>");
  w.finish(catalog, info);
  return out;
}

}  // namespace report
