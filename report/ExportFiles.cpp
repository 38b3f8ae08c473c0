#include "report/ExportFiles.h"

#include <fmt/format.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "host/Errors.h"
#include "report/Report.h"

namespace report {

namespace fs = std::filesystem;

namespace {

std::string tempNameFor(const std::string& path) {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  return fmt::format("{}.{:x}.part", path, rng());
}

void appendUtf8(std::string& out, char32_t c) {
  char bytes[6];
  out.append(bytes, static_cast<size_t>(g_unichar_to_utf8(c, bytes)));
}

[[noreturn]] void cannotWrite(const std::string& path) {
  throw host::OperationError(fmt::format("Não foi possível gravar o arquivo {}", path));
}

}  // namespace

void ExportFiles::File::write(std::string_view bytes) {
  if (!stream_) {
    buffer_.append(bytes);
    return;
  }
  out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out_) cannotWrite(target_);
}

void ExportFiles::File::endPage() {
  if (!stream_) return;
  out_.flush();
  if (!out_) cannotWrite(target_);
}

ExportFiles::ExportFiles(const ExportOptions& options) : options_(options) {}

ExportFiles::~ExportFiles() {
  if (!committed_) rollback();
}

ExportFiles::File& ExportFiles::create(const std::string& path, bool inOwnFolder) {
  auto f = std::make_unique<File>();
  f->target_ = path;
  f->temp_ = reserve(path, inOwnFolder);
  f->stream_ = options_.processAfterEachPage;
  if (f->stream_) {
    f->out_.open(f->temp_, std::ios::binary | std::ios::trunc);
    if (!f->out_) cannotWrite(path);
  }
  // reserve() recorded the temporary name with no File; this one replaces that entry.
  files_.back() = std::move(f);
  return *files_.back();
}

std::string ExportFiles::reserve(const std::string& path, bool inOwnFolder) {
  const fs::path parent = fs::path(path).parent_path();
  // Said here rather than by whichever library fails to create the file later on.
  if (!inOwnFolder && !parent.empty() && !fs::is_directory(parent)) cannotWrite(path);
  if (inOwnFolder && !parent.empty() && !fs::exists(parent)) {
    std::error_code ec;
    const fs::path grand = parent.parent_path();
    if (!grand.empty() && !fs::is_directory(grand)) cannotWrite(path);
    if (!fs::create_directory(parent, ec) || ec) cannotWrite(path);
    madeDirs_.push_back(parent.string());
  }
  auto f = std::make_unique<File>();
  f->target_ = path;
  f->temp_ = tempNameFor(path);
  files_.push_back(std::move(f));
  return files_.back()->temp_;
}

std::vector<std::string> ExportFiles::commit() {
  for (auto& f : files_) {
    if (f->out_.is_open()) {
      f->out_.close();
      if (!f->out_) cannotWrite(f->target_);
    } else if (!f->stream_) {
      std::ofstream out(f->temp_, std::ios::binary | std::ios::trunc);
      if (out) out.write(f->buffer_.data(), static_cast<std::streamsize>(f->buffer_.size()));
      if (out) out.close();
      if (!out) cannotWrite(f->target_);
    }
    std::error_code ec;
    if (!fs::is_regular_file(f->temp_, ec)) cannotWrite(f->target_);
  }
  std::vector<std::string> done;
  for (auto& f : files_) {
    std::error_code ec;
    fs::rename(f->temp_, f->target_, ec);
    if (ec) {
      // The files renamed so far go too: an export is all its files or none.
      for (const auto& d : done) fs::remove(d, ec);
      throw host::OperationError(
          fmt::format("Não foi possível gravar o arquivo {}: {}", f->target_, ec.message()));
    }
    done.push_back(f->target_);
  }
  committed_ = true;
  return done;
}

void ExportFiles::rollback() {
  for (auto& f : files_) {
    if (f->out_.is_open()) f->out_.close();
    std::error_code ec;
    fs::remove(f->temp_, ec);
  }
  for (auto it = madeDirs_.rbegin(); it != madeDirs_.rend(); ++it) {
    std::error_code ec;
    fs::remove_all(*it, ec);
  }
}

std::string pageFileName(const std::string& fileName, size_t index) {
  if (index == 0) return fileName;
  const fs::path p(fileName);
  return (p.parent_path() /
          fmt::format("{}-{}{}", p.stem().string(), index + 1, p.extension().string()))
      .string();
}

std::vector<ReadingRow> readingRows(const Document& doc, const Page& page) {
  std::vector<Field> fields;
  for (const Item& item : page.items) {
    const auto* t = std::get_if<TextItem>(&item);
    if (!t) continue;
    for (auto& line : textLines(doc, *t))
      fields.push_back({std::move(line.text), t, line.x, line.top, line.baseline, line.width});
  }
  std::stable_sort(fields.begin(), fields.end(),
                   [](const Field& a, const Field& b) { return a.baseline < b.baseline; });
  std::vector<ReadingRow> rows;
  double rowSize = 0;
  for (auto& f : fields) {
    const double size = fontOf(doc, *f.item).size;
    if (rows.empty() || f.baseline - rows.back().baseline > std::min(size, rowSize) / 2) {
      rows.push_back({f.top, f.baseline, {}});
      rowSize = size;
    }
    rows.back().top = std::min(rows.back().top, f.top);
    rows.back().fields.push_back(std::move(f));
  }
  for (auto& r : rows)
    std::stable_sort(r.fields.begin(), r.fields.end(),
                     [](const Field& a, const Field& b) { return a.x < b.x; });
  return rows;
}

BarsPicture barsPicture(const BarsItem& bars) {
  BarsPicture out;
  if (bars.bars.empty()) return out;
  double x0 = bars.bars[0].x, y0 = bars.bars[0].y, x1 = x0, y1 = y0;
  double moduleW = bars.bars[0].w, moduleH = bars.bars[0].h;
  for (const Rect& r : bars.bars) {
    x0 = std::min(x0, r.x);
    y0 = std::min(y0, r.y);
    x1 = std::max(x1, r.x + r.w);
    y1 = std::max(y1, r.y + r.h);
    if (r.w > 0) moduleW = std::min(moduleW, r.w);
    if (r.h > 0) moduleH = std::min(moduleH, r.h);
  }
  out.box = {x0, y0, x1 - x0, y1 - y0};
  if (moduleW <= 0 || moduleH <= 0) return out;
  const int cols = std::max(1, static_cast<int>(std::lround(out.box.w / moduleW)));
  int rows = std::max(1, static_cast<int>(std::lround(out.box.h / moduleH)));
  // A linear symbol is one module high: a few rows more keep readers that shrink a picture
  // from dropping it.
  const int repeat = rows < 8 ? (8 + rows - 1) / rows : 1;
  out.image.width = cols;
  out.image.height = rows * repeat;
  out.image.pixels.assign(static_cast<size_t>(cols) * static_cast<size_t>(out.image.height),
                          0xFFFFFFFFu);
  const double sx = cols / out.box.w, sy = rows / out.box.h;
  for (const Rect& r : bars.bars) {
    const int c0 = std::clamp(static_cast<int>(std::lround((r.x - x0) * sx)), 0, cols);
    const int c1 = std::clamp(static_cast<int>(std::lround((r.x + r.w - x0) * sx)), 0, cols);
    const int r0 = std::clamp(static_cast<int>(std::lround((r.y - y0) * sy)), 0, rows) * repeat;
    const int r1 =
        std::clamp(static_cast<int>(std::lround((r.y + r.h - y0) * sy)), 0, rows) * repeat;
    for (int y = r0; y < r1; ++y)
      for (int x = c0; x < c1; ++x)
        out.image
            .pixels[static_cast<size_t>(y) * static_cast<size_t>(cols) + static_cast<size_t>(x)] =
            0xFF000000u;
  }
  return out;
}

std::string escapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : decodeUtf8(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // What XML does not allow (control characters but tab and line ends, the two
        // non-characters at the end of the plane) becomes a blank or the replacement sign.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
        if (c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;
        appendUtf8(out, c);
    }
  }
  return out;
}

std::u32string decodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  const char* p = s.data();
  const char* end = s.data() + s.size();
  while (p < end) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      out += U'\uFFFD';
      ++p;
    } else {
      out += static_cast<char32_t>(c);
      p = g_utf8_next_char(p);
    }
  }
  return out;
}

int windows1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  // The code page's own letters and signs in 0x80 to 0x9F (five of those bytes are unused).
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] != 0 && kHigh[i] == cp) return 0x80 + i;
  return -1;
}

}  // namespace report
