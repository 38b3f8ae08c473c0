#include "report/Barcode.h"

#include <fmt/format.h>
#include <zint.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "report/Image.h"

namespace report {

namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

int zintSymbology(BarcodeKind kind) {
  switch (kind) {
    case BarcodeKind::Interleaved2of5:
      return BARCODE_C25INTER;
    case BarcodeKind::Code128:
      return BARCODE_CODE128;
    case BarcodeKind::Qr:
      return BARCODE_QRCODE;
  }
  return BARCODE_CODE128;
}

const char* kindName(BarcodeKind kind) {
  switch (kind) {
    case BarcodeKind::Interleaved2of5:
      return "2 de 5 intercalado";
    case BarcodeKind::Code128:
      return "Code 128";
    case BarcodeKind::Qr:
      return "QR";
  }
  return "?";
}

Symbol encode(BarcodeKind kind, const std::string& data, bool showText) {
  if (kind == BarcodeKind::Interleaved2of5) {
    // zint would pad an odd count with a leading zero: a boleto barcode never needs that,
    // and a silently changed number is worse than a refusal.
    if (data.size() % 2 != 0 ||
        !std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; }))
      throw BarcodeError(fmt::format(
          "Código de barras inválido para {}: \"{}\" (são precisos dígitos em número par)",
          kindName(kind), data));
  }
  Symbol s(ZBarcode_Create());
  if (!s) throw BarcodeError("Sem memória para o código de barras");
  s->symbology = zintSymbology(kind);
  s->show_hrt = showText ? 1 : 0;
  s->input_mode = DATA_MODE;
  s->warn_level = WARN_FAIL_ALL;
  int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(data.data()),
                           static_cast<int>(data.size()));
  if (rc >= ZINT_ERROR)
    throw BarcodeError(fmt::format("Código de barras inválido para {}: \"{}\" ({})", kindName(kind),
                                   data, s->errtxt));
  return s;
}

BarcodeKind kindOfType(int typeCode) {
  switch (typeCode) {
    case BarcodeImage::kInterleaved2of5:
      return BarcodeKind::Interleaved2of5;
    case BarcodeImage::kCode128:
      return BarcodeKind::Code128;
    default:
      throw BarcodeError(fmt::format("Tipo de código de barras não suportado: {}", typeCode));
  }
}

}  // namespace

int barcodeModules(BarcodeKind kind, const std::string& data) {
  return encode(kind, data, false)->width;
}

std::vector<Rect> barcodeBars(BarcodeKind kind, const std::string& data, const Rect& box) {
  std::vector<Rect> bars;
  if (data.empty()) return bars;
  Symbol s = encode(kind, data, false);
  if (ZBarcode_Buffer_Vector(s.get(), 0) >= ZINT_ERROR || !s->vector)
    throw BarcodeError(fmt::format("Falha ao desenhar o código de barras: {}", s->errtxt));
  const zint_vector& v = *s->vector;
  if (v.width <= 0 || v.height <= 0) return bars;
  // The vector's units are not millimetres (two units per module in this zint), so the
  // symbol is scaled to the box rather than sized by an X dimension.
  double sx = box.w / static_cast<double>(v.width);
  double sy = box.h / static_cast<double>(v.height);
  if (kind == BarcodeKind::Qr) sx = sy = std::min(sx, sy);
  for (const zint_vector_rect* r = v.rectangles; r; r = r->next) {
    if (r->colour == 8) continue;  // white: background, not a bar
    const auto f = [](float n) { return static_cast<double>(n); };
    bars.push_back(
        {box.x + f(r->x) * sx, box.y + f(r->y) * sy, f(r->width) * sx, f(r->height) * sy});
  }
  return bars;
}

BarcodeImage::BarcodeImage(int typeCode) : type_(typeCode) {
  kindOfType(typeCode);
}

void BarcodeImage::setType(int typeCode) {
  kindOfType(typeCode);
  type_ = typeCode;
}

Bitmap BarcodeImage::draw(const std::string& data) const {
  Symbol s = encode(kindOfType(type_), data, showText_);
  // One pixel per module: a page scales the picture to its box with no smoothing, so more
  // pixels would only make the file larger.
  s->scale = 0.5f;
  if (!showText_ && kindOfType(type_) != BarcodeKind::Qr) s->height = 10;
  if (ZBarcode_Buffer(s.get(), 0) >= ZINT_ERROR || !s->bitmap)
    throw BarcodeError(fmt::format("Falha ao desenhar o código de barras: {}", s->errtxt));
  Bitmap b;
  b.width = s->bitmap_width;
  b.height = s->bitmap_height;
  b.pixels.resize(static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
  const unsigned char* p = s->bitmap;
  for (auto& px : b.pixels) {
    px = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]};
    p += 3;
  }
  return b;
}

void BarcodeImage::saveToFile(const std::string& data, const std::string& path, int format) const {
  if (format != kFormatBitmap)
    throw BarcodeError(fmt::format("Formato de imagem não suportado: {}", format));
  writeFileAtomically(path, encodeBmp(draw(data)));
}

std::string saveBarcodeImage(const std::string& dir, const std::string& barcode,
                             const host::DateTime& now, int typeCode) {
  if (barcode.empty()) return {};
  // The code becomes part of a file name: nothing that could leave `dir` may pass.
  if (!std::all_of(barcode.begin(), barcode.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      }))
    throw BarcodeError(fmt::format("Código de barras inválido para imagem: \"{}\"", barcode));
  std::string path = dir + now.format("yyyymmdd-hhnnss") + "-" + barcode + ".bmp";
  BarcodeImage(typeCode).saveToFile(barcode, path);
  return path;
}

}  // namespace report
