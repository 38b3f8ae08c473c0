// gif, jpg and bmp: each page drawn as ink at kRasterDpi (a barcode module of 0.254 mm is
// two whole pixels, so the bars keep their widths) and encoded in grey. One file a page.

#include <fmt/format.h>
#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "host/Errors.h"
#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Render.h"

namespace report {

namespace {

/// Grey levels of the GIF and BMP pictures: sixteen keep smoothed text edges and make
/// long runs of one value, which is what both formats compress.
constexpr int kLevels = 16;

unsigned char level(unsigned char ink) {
  return static_cast<unsigned char>(ink >> 4);
}
unsigned char greyOfLevel(int i) {
  return static_cast<unsigned char>(255 - i * 17);
}

[[noreturn]] void encodeFailed(const char* format, const std::string& detail) {
  throw host::OperationError(fmt::format("Falha ao gerar a imagem {}: {}", format, detail));
}

int appendGif(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  return length;
}

std::string encodeGif(const InkImage& img) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGif, &error);
  if (!gif) encodeFailed("GIF", GifErrorString(error));
  GifColorType colours[kLevels];
  for (int i = 0; i < kLevels; ++i)
    colours[i].Red = colours[i].Green = colours[i].Blue = greyOfLevel(i);
  ColorMapObject* map = GifMakeMapObject(kLevels, colours);
  std::vector<GifPixelType> line(static_cast<size_t>(img.width));
  bool ok = map && EGifPutScreenDesc(gif, img.width, img.height, 4, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, img.width, img.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < img.height; ++y) {
    const unsigned char* in = img.row(y);
    for (int x = 0; x < img.width; ++x) line[static_cast<size_t>(x)] = level(in[x]);
    ok = EGifPutLine(gif, line.data(), img.width) == GIF_OK;
  }
  const int lastError = gif->Error;
  int closeError = 0;
  const bool closed = EGifCloseFile(gif, &closeError) == GIF_OK;
  if (map) GifFreeMapObject(map);
  if (!ok) encodeFailed("GIF", GifErrorString(lastError));
  if (!closed) encodeFailed("GIF", GifErrorString(closeError));
  return out;
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void jpegExit(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegError*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

/// Runs the compressor into a memory buffer; false (with the library's message in the
/// error manager) when it failed. No C++ object lives across the long jump.
bool compressJpeg(jpeg_compress_struct& c, const InkImage& img, unsigned char* row,
                  unsigned char** buffer, unsigned long* size) {
  auto* e = reinterpret_cast<JpegError*>(c.err);
  if (setjmp(e->jump)) return false;
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, buffer, size);
  c.image_width = static_cast<JDIMENSION>(img.width);
  c.image_height = static_cast<JDIMENSION>(img.height);
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  c.dct_method = JDCT_IFAST;
  c.density_unit = 1;  // dots per inch
  c.X_density = c.Y_density = static_cast<UINT16>(img.dpi);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    // Grey is paper less ink, 255 - ink, which on bytes is the complement: eight at a time.
    const unsigned char* in = img.row(static_cast<int>(c.next_scanline));
    int x = 0;
    for (uint64_t w; x + 8 <= img.width; x += 8) {
      std::memcpy(&w, in + x, 8);
      w = ~w;
      std::memcpy(row + x, &w, 8);
    }
    for (; x < img.width; ++x) row[x] = static_cast<unsigned char>(255 - in[x]);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  return true;
}

std::string encodeJpeg(const InkImage& img) {
  jpeg_compress_struct c{};
  JpegError err{};
  c.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<unsigned char> row(static_cast<size_t>(img.width));
  const bool ok = compressJpeg(c, img, row.data(), &buffer, &size);
  std::string out;
  if (ok && buffer) out.assign(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  if (!ok) encodeFailed("JPEG", err.message);
  return out;
}

void put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

/// One row of ink in BMP run-length encoding (RLE8) of its grey levels: runs as (count,
/// level), stretches of differing levels in absolute mode, and the end-of-line mark. Runs of
/// paper are found eight pixels at a time.
void rle8Row(std::string& s, const unsigned char* ink, int width) {
  const size_t start = s.size();
  s.resize(start + 2 * static_cast<size_t>(width) + 8);
  char* p = s.data() + start;
  const auto lv = [ink](int x) { return static_cast<char>(ink[x] >> 4); };
  int x = 0;
  while (x < width) {
    const char v = lv(x);
    int end = x + 1;
    if (v == 0) {
      for (uint64_t w; end + 8 <= width; end += 8) {
        std::memcpy(&w, ink + end, 8);
        if (w & 0xF0F0F0F0F0F0F0F0ull) break;
      }
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
      for (int k = 0; k < n; ++k) *p++ = lv(x + k);
      if (n % 2) *p++ = 0;  // absolute runs end on a 16-bit boundary
    }
    x += n;
  }
  *p++ = 0;
  *p++ = 0;
  s.resize(static_cast<size_t>(p - s.data()));
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

std::string encodeBmp8(const InkImage& img) {
  std::string data;
  data.reserve(static_cast<size_t>(img.height) * 64);
  std::string blank;
  for (int left = img.width; left > 0; left -= 255) {
    blank += static_cast<char>(std::min(left, 255));
    blank += '\0';
  }
  blank += std::string_view("\0\0", 2);
  for (int y = img.height - 1; y >= 0; --y) {  // bottom-up
    const unsigned char* in = img.row(y);
    if (blankRow(in, img.width))
      data += blank;
    else
      rle8Row(data, in, img.width);
  }
  data += '\0';
  data += '\1';  // end of bitmap
  const uint32_t offset = 14 + 40 + kLevels * 4;
  const auto pixelsPerMetre = static_cast<uint32_t>(img.dpi / 0.0254 + 0.5);
  std::string s;
  s.reserve(offset + data.size());
  s += "BM";
  put32(s, offset + static_cast<uint32_t>(data.size()));
  put32(s, 0);
  put32(s, offset);
  put32(s, 40);  // BITMAPINFOHEADER
  put32(s, static_cast<uint32_t>(img.width));
  put32(s, static_cast<uint32_t>(img.height));
  put16(s, 1);
  put16(s, 8);
  put32(s, 1);  // BI_RLE8
  put32(s, static_cast<uint32_t>(data.size()));
  put32(s, pixelsPerMetre);
  put32(s, pixelsPerMetre);
  put32(s, kLevels);
  put32(s, kLevels);
  for (int i = 0; i < kLevels; ++i) {
    const char g = static_cast<char>(greyOfLevel(i));
    s += g;
    s += g;
    s += g;
    s += '\0';
  }
  s += data;
  return s;
}

}  // namespace

void ImageExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  for (size_t i = 0; i < doc.pages.size(); ++i) {
    const InkImage img = renderInk(doc, doc.pages[i], kRasterDpi);
    auto& f = out.create(pageFileName(fileName(), i));
    f.write(kind_ == Kind::Gif    ? encodeGif(img)
            : kind_ == Kind::Jpeg ? encodeJpeg(img)
                                  : encodeBmp8(img));
    f.endPage();
  }
}

}  // namespace report
