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
#include "report/Image.h"
#include "report/Render.h"

namespace report {

namespace {

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
  GifColorType colours[kGreyLevels];
  for (int i = 0; i < kGreyLevels; ++i)
    colours[i].Red = colours[i].Green = colours[i].Blue = greyOfLevel(i);
  ColorMapObject* map = GifMakeMapObject(kGreyLevels, colours);
  std::vector<GifPixelType> line(static_cast<size_t>(img.width));
  bool ok = map && EGifPutScreenDesc(gif, img.width, img.height, 4, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, img.width, img.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < img.height; ++y) {
    const unsigned char* in = img.row(y);
    for (int x = 0; x < img.width; ++x) line[static_cast<size_t>(x)] = greyLevel(in[x]);
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

}  // namespace

void ImageExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  for (size_t i = 0; i < doc.pages.size(); ++i) {
    const InkImage img = renderInk(doc, doc.pages[i], kRasterDpi);
    auto& f = out.create(pageFileName(fileName(), i));
    f.write(kind_ == Kind::Gif    ? encodeGif(img)
            : kind_ == Kind::Jpeg ? encodeJpeg(img)
                                  : encodeGreyBmp(img));
    f.endPage();
  }
}

}  // namespace report
