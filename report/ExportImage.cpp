// gif, jpg and bmp: each page drawn as ink at a whole number of pixels a barcode module of
// 0.254 mm (two for bmp, one for gif and jpg), so the bars keep their widths, and encoded in
// grey. One file a page.

#include <fmt/format.h>
#include <gif_lib.h>
#include <jpeglib.h>
// After jpeglib.h: the forward DCT module, which the compressor lets its caller wrap.
#include <jpegint.h>

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

/// The LZW codes of a GIF image of kGreyLevels colours, packed least significant bit first,
/// as giflib's own compressor emits them (same code widths, same clearing when the table is
/// full). The string table is a direct array, a code's children indexed by the next
/// colour, where giflib hashes every pixel.
///
/// Most of a page is paper, and the table's strings of paper form one chain (one pixel,
/// two, three, ...): their codes are kept by length, so a run of paper costs a step per code
/// written instead of a look-up per pixel. The codes are the same either way.
class GifLzw {
 public:
  static constexpr int kMinCodeSize = 4;  // 16 colours
  static constexpr int kClear = 1 << kMinCodeSize;
  static constexpr int kEnd = kClear + 1;
  static constexpr int kMaxCode = 4095;

  GifLzw()
      : children_(static_cast<size_t>(kMaxCode + 1) * kGreyLevels, 0),
        entryOf_(kMaxCode + 1, 0),
        paperCodes_(kMaxCode + 2, 0) {}

  void encode(const InkImage& img) {
    // The state lives in locals (registers) in the loop over the pixels.
    uint16_t* const children = children_.data();
    uint32_t* const entryOf = entryOf_.data();
    uint16_t* const paperCodes = paperCodes_.data();
    unsigned char out[4096];
    size_t pos = 0;
    uint32_t acc = 0;
    int bits = 0, next = kEnd + 1, width = kMinCodeSize + 1, limit = 1 << width;
    int chain = 1;  // the longest string of paper in the table (one pixel is the colour's code)
    const auto put = [&](int code) {
      acc |= static_cast<uint32_t>(code) << bits;
      bits += width;
      for (; bits >= 8; bits -= 8, acc >>= 8) out[pos++] = static_cast<unsigned char>(acc);
      // The decoder widens its codes once the table reaches the current limit.
      if (next >= limit && width < 12) limit = 1 << ++width;
      if (pos > sizeof out - 4) {
        bytes_.append(reinterpret_cast<const char*>(out), pos);
        pos = 0;
      }
    };
    // Gives the entry at `at` the next code, or clears the table when it is full (false).
    const auto add = [&](uint32_t at) {
      if (next >= kMaxCode) {
        put(kClear);
        // Only the entries made since the last clear: a full table is 4,078 of its 65,536.
        for (int code = kEnd + 1; code < next; ++code) children[entryOf[code]] = 0;
        next = kEnd + 1;
        width = kMinCodeSize + 1;
        limit = 1 << width;
        chain = 1;
        return false;
      }
      children[at] = static_cast<uint16_t>(next);
      entryOf[next++] = at;
      return true;
    };

    put(kClear);
    int current = -1;  // the code of the string read so far (-1: none yet)
    int paper = 0;     // its length when it is all paper, otherwise 0
    for (int y = 0; y < img.height; ++y) {
      const unsigned char* in = img.row(y);
      for (int x = 0; x < img.width;) {
        const int pixel = greyLevel(in[x]);
        if (pixel == 0 && (paper > 0 || current < 0)) {
          int run = paperRun(in, x, img.width);
          x += run;
          if (current < 0) {
            current = 0;
            paper = 1;
            --run;
          }
          while (run > 0) {
            if (paper < chain) {
              // The table holds longer strings of paper: as far along the chain as the run goes.
              const int take = std::min(run, chain - paper);
              paper += take;
              run -= take;
              current = paperCodes[paper];
              continue;
            }
            put(current);
            if (add(static_cast<uint32_t>(current) * kGreyLevels))
              paperCodes[++chain] = static_cast<uint16_t>(next - 1);
            current = 0;
            paper = 1;
            --run;
          }
          continue;
        }
        ++x;
        if (current < 0) {
          current = pixel;
          continue;
        }
        const uint32_t at =
            static_cast<uint32_t>(current) * kGreyLevels + static_cast<uint32_t>(pixel);
        if (children[at] != 0) {
          current = children[at];
          paper = 0;
          continue;
        }
        put(current);
        add(at);
        current = pixel;
        paper = pixel == 0 ? 1 : 0;
      }
    }
    if (current >= 0) put(current);
    put(kEnd);
    if (bits > 0) out[pos++] = static_cast<unsigned char>(acc);
    bytes_.append(reinterpret_cast<const char*>(out), pos);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  /// How many pixels from `x` on are paper at the grey levels, eight at a time.
  static int paperRun(const unsigned char* in, int x, int width) {
    int end = x;
    for (uint64_t w; end + 8 <= width; end += 8) {
      std::memcpy(&w, in + end, 8);
      if (w & 0xF0F0F0F0F0F0F0F0ull) break;
    }
    while (end < width && greyLevel(in[end]) == 0) ++end;
    return end - x;
  }

  std::vector<uint16_t> children_;
  std::vector<uint32_t> entryOf_;     // where in children_ each code was entered
  std::vector<uint16_t> paperCodes_;  // the codes of the strings of paper by their length
  std::string bytes_;
};

std::string encodeGif(const InkImage& img) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGif, &error);
  if (!gif) encodeFailed("GIF", GifErrorString(error));
  GifColorType colours[kGreyLevels];
  for (int i = 0; i < kGreyLevels; ++i)
    colours[i].Red = colours[i].Green = colours[i].Blue = greyOfLevel(i);
  ColorMapObject* map = GifMakeMapObject(kGreyLevels, colours);
  // giflib writes the descriptors, the code size and the sub-blocks; the codes are ours.
  bool ok = map && EGifPutScreenDesc(gif, img.width, img.height, 4, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, img.width, img.height, false, nullptr) == GIF_OK;
  if (ok) {
    GifLzw lzw;
    lzw.encode(img);
    const std::string& codes = lzw.bytes();
    GifByteType block[256];
    for (size_t at = 0; ok && at < codes.size(); at += 255) {
      const size_t n = std::min<size_t>(255, codes.size() - at);
      block[0] = static_cast<GifByteType>(n);
      std::memcpy(block + 1, codes.data() + at, n);
      ok = (at == 0 ? EGifPutCode(gif, GifLzw::kMinCodeSize, block)
                    : EGifPutCodeNext(gif, block)) == GIF_OK;
    }
    ok = ok && EGifPutCodeNext(gif, nullptr) == GIF_OK;
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

/// Grey rows of the page from its ink, `count` rows from `y`, each `width` samples wide (the
/// page's width rounded up to whole blocks; the last column and row are repeated).
void greyRows(const InkImage& img, int y, int count, int width, unsigned char* out) {
  for (int k = 0; k < count; ++k) {
    const unsigned char* in = img.row(std::min(y + k, img.height - 1));
    unsigned char* row = out + static_cast<size_t>(k) * static_cast<size_t>(width);
    // Grey is paper less ink, 255 - ink, which on bytes is the complement: eight at a time.
    int x = 0;
    for (uint64_t w; x + 8 <= img.width; x += 8) {
      std::memcpy(&w, in + x, 8);
      w = ~w;
      std::memcpy(row + x, &w, 8);
    }
    for (; x < img.width; ++x) row[x] = static_cast<unsigned char>(255 - in[x]);
    for (; x < width; ++x) row[x] = row[img.width - 1];
  }
}

/// The forward DCT with paper blocks taken from a block computed once: four fifths of a
/// boleto page are blank blocks, and the library's DCT and quantisation of each of them
/// was most of the compressor's time. A block is paper only when all of its samples are
/// white, and its coefficients are the library's own for such a block, so the file is
/// byte for byte the same.
struct PaperBlocks {
  void (*dct)(j_compress_ptr, jpeg_component_info*, JSAMPARRAY, JBLOCKROW, JDIMENSION, JDIMENSION,
              JDIMENSION) = nullptr;
  JBLOCK paper{};
};

void forwardDctSkippingPaper(j_compress_ptr c, jpeg_component_info* component, JSAMPARRAY rows,
                             JBLOCKROW out, JDIMENSION row, JDIMENSION col, JDIMENSION count) {
  const auto* p = static_cast<const PaperBlocks*>(c->client_data);
  for (JDIMENSION b = 0; b < count; ++b) {
    const JDIMENSION x = col + b * DCTSIZE;
    uint64_t all = ~uint64_t{0};
    for (JDIMENSION k = 0; k < DCTSIZE; ++k) {
      uint64_t w;
      std::memcpy(&w, rows[row + k] + x, sizeof w);
      all &= w;
    }
    if (all == ~uint64_t{0})
      std::memcpy(out[b], p->paper, sizeof(JBLOCK));
    else
      p->dct(c, component, rows, out + b, row, x, 1);
  }
}

/// Runs the compressor into a memory buffer; false (with the library's message in the
/// error manager) when it failed. No C++ object lives across the long jump. The rows go in
/// as raw data, a block row at a time: a grey page needs no colour conversion, and the
/// scanline path's copying through its conversion buffers took a third of the time.
bool compressJpeg(jpeg_compress_struct& c, const InkImage& img, unsigned char* block,
                  int blockWidth, unsigned char** buffer, unsigned long* size, PaperBlocks& paper) {
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
  c.raw_data_in = TRUE;
  c.density_unit = 1;  // dots per inch
  c.X_density = c.Y_density = static_cast<UINT16>(img.dpi);
  jpeg_start_compress(&c, TRUE);
  JSAMPROW rows[DCTSIZE];
  for (int k = 0; k < DCTSIZE; ++k)
    rows[k] = block + static_cast<size_t>(k) * static_cast<size_t>(blockWidth);
  // The coefficients of a white block, from the library's own DCT.
  std::memset(block, 255, static_cast<size_t>(blockWidth) * DCTSIZE);
  paper.dct = c.fdct->forward_DCT;
  paper.dct(&c, &c.comp_info[0], rows, &paper.paper, 0, 0, 1);
  c.client_data = &paper;
  c.fdct->forward_DCT = forwardDctSkippingPaper;
  JSAMPARRAY planes[1] = {rows};
  for (int y = 0; y < img.height; y += DCTSIZE) {
    greyRows(img, y, DCTSIZE, blockWidth, block);
    jpeg_write_raw_data(&c, planes, DCTSIZE);
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
  const int blockWidth = (img.width + DCTSIZE - 1) / DCTSIZE * DCTSIZE;
  std::vector<unsigned char> block(static_cast<size_t>(blockWidth) * DCTSIZE);
  PaperBlocks paper;
  const bool ok = compressJpeg(c, img, block.data(), blockWidth, &buffer, &size, paper);
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
    const InkImage img =
        renderInk(doc, doc.pages[i], kind_ == Kind::Bmp ? kRasterDpi : kScreenRasterDpi);
    auto& f = out.create(pageFileName(fileName(), i));
    f.write(kind_ == Kind::Gif    ? encodeGif(img)
            : kind_ == Kind::Jpeg ? encodeJpeg(img)
                                  : encodeGreyBmp(img));
    f.endPage();
  }
}

}  // namespace report
