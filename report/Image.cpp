#include "report/Image.h"

#include <cairo.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

#include "host/Errors.h"

namespace report {

namespace {

void put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
uint32_t get16(std::string_view b, size_t at) {
  return uint32_t{static_cast<unsigned char>(b[at])} |
         (uint32_t{static_cast<unsigned char>(b[at + 1])} << 8);
}
uint32_t get32(std::string_view b, size_t at) {
  return get16(b, at) | (get16(b, at + 2) << 16);
}

/// One row of ink in BMP run-length encoding (RLE8) of its grey levels, written at `p`
/// (room for 2 * width + 2 bytes) and returning the end: runs as (count, level), stretches
/// of differing levels in absolute mode, and the end-of-line mark. `levels` is room for the
/// row's levels, taken eight pixels at a time, as are the runs.
char* rle8Row(char* p, const unsigned char* ink, int width, unsigned char* levels) {
  constexpr uint64_t kLowNibbles = 0x0F0F0F0F0F0F0F0Full;
  int x = 0;
  for (uint64_t w; x + 8 <= width; x += 8) {
    std::memcpy(&w, ink + x, 8);
    w = (w >> 4) & kLowNibbles;
    std::memcpy(levels + x, &w, 8);
  }
  for (; x < width; ++x) levels[x] = static_cast<unsigned char>(ink[x] >> 4);
  const auto lv = [levels](int at) { return static_cast<char>(levels[at]); };
  x = 0;
  while (x < width) {
    const char v = lv(x);
    const uint64_t same = 0x0101010101010101ull * static_cast<unsigned char>(v);
    int end = x + 1;
    for (uint64_t w; end + 8 <= width; end += 8) {
      std::memcpy(&w, levels + end, 8);
      if (w != same) break;
    }
    while (end < width && lv(end) == v) ++end;
    if (end - x >= 3 || width - x < 3) {
      for (int left = end - x; left > 0; left -= 255) {
        *p++ = static_cast<char>(std::min(left, 255));
        *p++ = v;
      }
      x = end;
      continue;
    }
    // Absolute mode until the next run of three equal levels.
    int n = 0;
    while (x + n < width && n < 255) {
      if (x + n + 2 < width && lv(x + n) == lv(x + n + 1) && lv(x + n) == lv(x + n + 2)) break;
      ++n;
    }
    if (n < 3) {
      for (int k = 0; k < n; ++k) {
        *p++ = 1;
        *p++ = lv(x + k);
      }
    } else {
      *p++ = 0;
      *p++ = static_cast<char>(n);
      std::memcpy(p, levels + x, static_cast<size_t>(n));
      p += n;
      if (n % 2) *p++ = 0;  // absolute runs end on a 16-bit boundary
    }
    x += n;
  }
  *p++ = 0;
  *p++ = 0;
  return p;
}

/// True when a row has no ink at all, as most rows of a page have; a word at a time.
bool blankRow(const unsigned char* row, int width) {
  uint64_t any = 0;
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    uint64_t w;
    std::memcpy(&w, row + x, 8);
    any |= w;
  }
  for (; x < width; ++x) any |= row[x];
  return any == 0;
}

/// The file and information headers of a bottom-up bitmap whose palette of `colours` and
/// pixel data of `dataSize` bytes follow.
std::string bmpHeaders(int width, int height, uint16_t bits, uint32_t compression,
                       uint32_t dataSize, uint32_t pixelsPerMetre, uint32_t colours) {
  const uint32_t offset = 14 + 40 + colours * 4;
  std::string s;
  s.reserve(offset + dataSize);
  s += "BM";
  put32(s, offset + dataSize);
  put32(s, 0);
  put32(s, offset);
  put32(s, 40);  // BITMAPINFOHEADER
  put32(s, static_cast<uint32_t>(width));
  put32(s, static_cast<uint32_t>(height));
  put16(s, 1);
  put16(s, bits);
  put32(s, compression);
  put32(s, dataSize);
  put32(s, pixelsPerMetre);
  put32(s, pixelsPerMetre);
  put32(s, colours);
  put32(s, colours);
  return s;
}

}  // namespace

std::string encodeBmp(const Bitmap& image) {
  const uint32_t rowBytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
  const uint32_t dataSize = rowBytes * static_cast<uint32_t>(image.height);
  // BI_RGB, 300 dpi (in pixels per metre), no palette.
  std::string s = bmpHeaders(image.width, image.height, 24, 0, dataSize, 11811, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const uint32_t* row = &image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)];
    size_t start = s.size();
    for (int x = 0; x < image.width; ++x) {
      s += static_cast<char>(row[x] & 0xFF);
      s += static_cast<char>((row[x] >> 8) & 0xFF);
      s += static_cast<char>((row[x] >> 16) & 0xFF);
    }
    s.append(rowBytes - (s.size() - start), '\0');
  }
  return s;
}

std::string encodeGreyBmp(const InkImage& img) {
  const uint32_t offset = 14 + 40 + kGreyLevels * 4;
  // The headers go in front once the size of the pixel data is known.
  std::string s(offset, '\0');
  s.reserve(offset + static_cast<size_t>(img.height) * 128);
  std::string blank;
  for (int left = img.width; left > 0; left -= 255) {
    blank += static_cast<char>(std::min(left, 255));
    blank += '\0';
  }
  blank += std::string_view("\0\0", 2);
  // A row is encoded in a buffer of its own and appended: growing the file by the worst
  // case of every row would clear twice the page for nothing.
  std::vector<char> row(2 * static_cast<size_t>(img.width) + 8);
  std::vector<unsigned char> levels(static_cast<size_t>(img.width));
  for (int y = img.height - 1; y >= 0; --y) {  // bottom-up
    const unsigned char* in = img.row(y);
    if (blankRow(in, img.width))
      s += blank;
    else
      s.append(row.data(),
               static_cast<size_t>(rle8Row(row.data(), in, img.width, levels.data()) - row.data()));
  }
  s += '\0';
  s += '\1';  // end of bitmap
  std::string head = bmpHeaders(img.width, img.height, 8, 1 /* BI_RLE8 */,
                                static_cast<uint32_t>(s.size() - offset),
                                static_cast<uint32_t>(img.dpi / 0.0254 + 0.5), kGreyLevels);
  for (int i = 0; i < kGreyLevels; ++i) {
    const char g = static_cast<char>(greyOfLevel(i));
    head += g;
    head += g;
    head += g;
    head += '\0';
  }
  s.replace(0, offset, head);
  return s;
}

Bitmap decodeBmp(std::string_view b) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') throw std::invalid_argument("not a bitmap");
  const uint32_t offset = get32(b, 10);
  const uint32_t header = get32(b, 14);
  if (header < 40) throw std::invalid_argument("unsupported bitmap header");
  const int32_t width = static_cast<int32_t>(get32(b, 18));
  const int32_t rawHeight = static_cast<int32_t>(get32(b, 22));
  const uint32_t bpp = get16(b, 28);
  const uint32_t compression = get32(b, 30);
  if (compression != 0) throw std::invalid_argument("compressed bitmaps are not read");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    throw std::invalid_argument(fmt::format("{} bits per pixel are not read", bpp));
  const bool topDown = rawHeight < 0;
  const int64_t height = topDown ? -int64_t{rawHeight} : rawHeight;
  if (width <= 0 || height <= 0 || width > 20000 || height > 20000)
    throw std::invalid_argument("bitmap size out of range");
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    uint32_t colours = get32(b, 46);
    if (colours == 0) colours = 1u << bpp;
    const size_t at = 14 + header;
    if (colours > 256 || at + size_t{colours} * 4 > b.size())
      throw std::invalid_argument("bitmap palette out of range");
    for (uint32_t i = 0; i < colours; ++i)
      palette.push_back(0xFF000000u | (get32(b, at + i * 4) & 0xFFFFFF));
  }
  const size_t rowBytes = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  if (offset > b.size() || b.size() - offset < rowBytes * static_cast<size_t>(height))
    throw std::invalid_argument("bitmap truncated");
  Bitmap img;
  img.width = width;
  img.height = static_cast<int>(height);
  img.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int64_t y = 0; y < height; ++y) {
    const size_t srcRow = static_cast<size_t>(topDown ? y : height - 1 - y);
    const auto* row = reinterpret_cast<const unsigned char*>(b.data() + offset + srcRow * rowBytes);
    uint32_t* out = &img.pixels[static_cast<size_t>(y) * static_cast<size_t>(width)];
    for (int32_t x = 0; x < width; ++x) {
      uint32_t px;
      if (bpp == 24 || bpp == 32) {
        const unsigned char* p = row + static_cast<size_t>(x) * (bpp / 8);
        px = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      } else {
        const size_t bit = static_cast<size_t>(x) * bpp;
        const unsigned idx = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        if (idx >= palette.size()) throw std::invalid_argument("bitmap colour out of palette");
        px = palette[idx];
      }
      out[x] = px;
    }
  }
  return img;
}

namespace {

Bitmap loadPng(const std::string& path) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(s,
                                                                           cairo_surface_destroy);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS)
    throw std::invalid_argument(cairo_status_to_string(cairo_surface_status(s)));
  // Flatten onto white: the page model keeps opaque pixels only.
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  Bitmap img;
  img.width = w;
  img.height = h;
  img.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0xFFFFFFFFu);
  cairo_surface_t* dst = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(img.pixels.data()), CAIRO_FORMAT_RGB24, w, h, w * 4);
  cairo_t* cr = cairo_create(dst);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(dst);
  for (auto& p : img.pixels) p |= 0xFF000000u;
  return img;
}

}  // namespace

Bitmap loadImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw host::OperationError(fmt::format("Imagem não encontrada: {}", path));
  std::ostringstream ss;
  ss << in.rdbuf();
  const std::string bytes = ss.str();
  try {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return decodeBmp(bytes);
    if (bytes.size() >= 8 && bytes.compare(1, 3, "PNG") == 0) return loadPng(path);
    throw std::invalid_argument("not a bitmap nor a PNG file");
  } catch (const std::invalid_argument& e) {
    throw host::OperationError(fmt::format("Imagem ilegível: {} ({})", path, e.what()));
  }
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  thread_local std::mt19937_64 rng{std::random_device{}()};
  const std::string tmp = fmt::format("{}.{:x}.part", path, rng());
  // Each step says why it failed in the system's own words, taken before anything else can
  // change errno.
  auto fail = [&](const char* step, int err) {
    std::error_code ignored;
    fs::remove(tmp, ignored);
    throw host::OperationError(fmt::format("Não foi possível gravar o arquivo {} ({}): {}", path,
                                           step, std::strerror(err)));
  };
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("ao criar", errno);
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      ::close(fd);
      fail("ao escrever", err);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) fail("ao fechar", errno);
  if (::rename(tmp.c_str(), path.c_str()) != 0) fail("ao substituir", errno);
}

}  // namespace report
