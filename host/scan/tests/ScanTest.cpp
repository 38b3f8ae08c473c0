#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/scan/ReadBoleto.h"
#include "host/scan/Scan.h"
#include "report/Barcode.h"

namespace {

namespace fs = std::filesystem;
using host::scan::Gray;

// A barcode printed as the boleto template prints it (103 mm by 13 mm) at 8 pixels a
// millimetre, with white margins.
constexpr const char* kBars = "00191166600001234560000001234567000000012317";

Gray printed(const std::string& data, report::BarcodeKind kind, double wMm, double hMm) {
  const double px = 8.0;
  Gray g;
  g.width = static_cast<int>((wMm + 20) * px);
  g.height = static_cast<int>((hMm + 20) * px);
  g.pixels.assign(static_cast<size_t>(g.width) * g.height, 255);
  const report::Rect box{10 * px, 10 * px, wMm * px, hMm * px};
  for (const report::Rect& r : report::barcodeBars(kind, data, box))
    for (int y = static_cast<int>(std::round(r.y)); y < static_cast<int>(std::round(r.y + r.h));
         ++y)
      for (int x = static_cast<int>(std::round(r.x)); x < static_cast<int>(std::round(r.x + r.w));
           ++x)
        g.pixels[static_cast<size_t>(y) * g.width + x] = 0;
  return g;
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("scan-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return dir_ / name;
  }
  fs::path png(const std::string& name, const Gray& g) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, g.width, g.height);
    auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
    const int stride = cairo_image_surface_get_stride(s) / 4;
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        const uint32_t v = g.pixels[static_cast<size_t>(y) * g.width + x];
        data[y * stride + x] = (v << 16) | (v << 8) | v;
      }
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, (dir_ / name).c_str());
    cairo_surface_destroy(s);
    return dir_ / name;
  }
  fs::path jpeg(const std::string& name, const Gray& g, int quality) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, g.pixels.data(), g.width, g.width, g.height, TJPF_GRAY, &out, &size,
                TJSAMP_GRAY, quality, 0);
    std::string bytes(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(tj);
    return write(name, bytes);
  }
  fs::path dir_;
};

TEST(Scan, BoletoBarsAreReadUprightAndTurnedAtAnyAngle) {
  const Gray upright = printed(kBars, report::BarcodeKind::Interleaved2of5, 103, 13);
  for (double angle : {0.0, 4.0, -9.0, 20.0, 37.0, -44.0, 90.0, 133.0, 180.0}) {
    // Rows across part of the bars read pieces of them as shorter codes; the whole is there.
    const auto codes = host::scan::readCodes(host::scan::rotate(upright, angle));
    const auto whole = std::find_if(codes.begin(), codes.end(), host::scan::isBoletoBars);
    ASSERT_NE(whole, codes.end()) << angle << " degrees";
    EXPECT_EQ(whole->data, kBars) << angle;
  }
}

TEST(Scan, SkewIsTheTurnThatSetsThePageUpright) {
  const Gray upright = printed(kBars, report::BarcodeKind::Interleaved2of5, 103, 13);
  for (double angle : {0.0, 5.0, -17.0, 31.0, -40.0, 72.0}) {
    const double s = host::scan::skew(host::scan::rotate(upright, angle));
    // A quarter turn is as upright as none, for rows and columns.
    const double left = std::remainder(angle + s, 90.0);
    EXPECT_NEAR(left, 0.0, 1.0) << angle << " degrees, skew " << s;
  }
}

TEST(Scan, TurningKeepsThePictureWholeOnWhitePaper) {
  Gray g{4, 2, {0, 0, 0, 0, 0, 0, 0, 0}};
  Gray turned = host::scan::rotate(g, 90);
  EXPECT_EQ(turned.width, 2);
  EXPECT_EQ(turned.height, 4);
  EXPECT_LT(turned.pixels[3], 64);
  Gray askew = host::scan::rotate(Gray{20, 20, std::vector<uint8_t>(400, 0)}, 45);
  EXPECT_EQ(askew.width, 29);
  EXPECT_EQ(askew.pixels.front(), 255);                // a corner the picture does not reach
  EXPECT_LT(askew.pixels[14 * askew.width + 14], 64);  // the middle
}

TEST_F(TempDir, PicturesAreKnownByTheirContentNotTheirName) {
  const Gray bars = printed(kBars, report::BarcodeKind::Interleaved2of5, 103, 13);
  const fs::path p = png("photo.jpg", bars);  // a PNG whatever its name says
  EXPECT_EQ(host::scan::fileKind(p), host::scan::FileKind::Png);
  const fs::path j = jpeg("scan.png", bars, 75);
  EXPECT_EQ(host::scan::fileKind(j), host::scan::FileKind::Jpeg);
  EXPECT_EQ(host::scan::fileKind(write("x.pdf", "%PDF-1.4 ...")), host::scan::FileKind::Pdf);
  EXPECT_EQ(host::scan::fileKind(write("y.png", "GIF89a")), host::scan::FileKind::Other);

  const Gray fromPng = host::scan::loadPicture(p);
  EXPECT_EQ(fromPng.width, bars.width);
  EXPECT_EQ(fromPng.pixels, bars.pixels);
  const Gray fromJpeg = host::scan::loadPicture(j);
  EXPECT_EQ(fromJpeg.height, bars.height);
  const auto read = host::scan::readBoletos(j, *host::DateTime::parseIso("2026-11-20"));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(read[0].check.valid) << read[0].check.reason;
  EXPECT_EQ(read[0].check.bank, "001");
  EXPECT_EQ(read[0].check.cents, 123456);
  EXPECT_EQ(read[0].source, "barras");
}

TEST_F(TempDir, WhatIsNotABoletoGetsItsReason) {
  const host::DateTime today = *host::DateTime::parseIso("2026-11-20");
  auto reason = [&](const fs::path& f) {
    const auto r = host::scan::readBoletos(f, today);
    EXPECT_EQ(r.size(), 1u);
    EXPECT_FALSE(r[0].check.valid);
    return r[0].check.reason;
  };
  EXPECT_EQ(reason(png("white.png", Gray{300, 200, std::vector<uint8_t>(60000, 255)})),
            "nenhum código de barras encontrado");
  EXPECT_EQ(
      reason(png("short.png", printed("1234567890", report::BarcodeKind::Interleaved2of5, 40, 13))),
      "o código lido não é de boleto (I2/5 de 10 caracteres): um boleto traz Interleaved 2 "
      "of 5 de 44 dígitos");
  EXPECT_EQ(reason(png("code128.png", printed(kBars, report::BarcodeKind::Code128, 103, 13))),
            "o código lido não é de boleto (CODE-128 de 44 caracteres): um boleto traz "
            "Interleaved 2 of 5 de 44 dígitos");
  std::string wrong = kBars;
  wrong[4] = '5';  // the general check digit
  const std::string r =
      reason(png("wrong.png", printed(wrong, report::BarcodeKind::Interleaved2of5, 103, 13)));
  EXPECT_NE(r.find("dígito geral"), std::string::npos) << r;
}

TEST_F(TempDir, UnreadableFilesAreRefusedWithWhatIsWrong) {
  auto error = [](const fs::path& f) -> std::string {
    try {
      host::scan::readBoletos(f, *host::DateTime::parseIso("2026-11-20"));
    } catch (const host::scan::ScanError& e) {
      return e.what();
    }
    return "read";
  };
  EXPECT_EQ(error(dir_ / "none.png"),
            "Arquivo não encontrado ou sem permissão de leitura: " + (dir_ / "none.png").string());
  EXPECT_EQ(error(dir_), "Arquivo não encontrado ou sem permissão de leitura: " + dir_.string());
  EXPECT_NE(error(write("text.png", "boleto")).find("Formato não reconhecido"), std::string::npos);
  EXPECT_NE(error(write("cut.png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR")).find("PNG danificado"),
            std::string::npos);
  // A header that promises 100,000 x 100,000 pixels is refused before anything is allocated.
  std::string huge("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\x01\x86\xA0\0\x01\x86\xA0\x08\0\0\0\0", 29);
  EXPECT_NE(error(write("huge.png", huge)).find("Imagem grande demais (100000 x 100000"),
            std::string::npos);
  EXPECT_NE(error(write("cut.jpg", "\xFF\xD8\xFF\xE0 nothing")).find("JPEG danificado"),
            std::string::npos);
  EXPECT_NE(error(write("bad.pdf", "%PDF-1.4\nnot really")).find("PDF ilegível"),
            std::string::npos);
}

TEST_F(TempDir, PagesPastTheLimitAreSaidNotToBeRead) {
  // Three blank pages, drawn by cairo; the limit lets one be read.
  const fs::path pdf = dir_ / "three.pdf";
  cairo_surface_t* s = cairo_pdf_surface_create(pdf.c_str(), 595, 842);
  cairo_t* cr = cairo_create(s);
  for (int i = 0; i < 3; ++i) cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  host::scan::Limits limits;
  limits.maxPages = 1;
  const auto r = host::scan::readBoletos(pdf, *host::DateTime::parseIso("2026-11-20"), limits);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].check.reason, "páginas 2 a 3 não lidas (o limite é 1 páginas)");
  EXPECT_EQ(r[0].page, 2);
}

TEST(Scan, TypedLinesAreFoundInAPagesText) {
  const std::string formatted = "00190.00009 01234.567004 00000.123174 1 16660000123456";
  const std::string bare = "00190000090123456700400000123174116660000123456";
  EXPECT_EQ(host::scan::typedLinesIn("Linha: " + formatted + "\nmais"),
            std::vector<std::string>{bare});
  EXPECT_EQ(host::scan::typedLinesIn(bare + " e de novo " + formatted),
            std::vector<std::string>{bare});
  EXPECT_TRUE(host::scan::typedLinesIn("1" + bare).empty());  // 48 digits are not a line
  EXPECT_TRUE(host::scan::typedLinesIn("CNPJ 11.222.333/0001-81").empty());
}

}  // namespace
