// The PDF writer on documents large enough to be drawn on several threads, and on parts drawn
// apart and put into one file: page order, texts (pdftotext), fonts and pictures stored once
// (pdffonts, pdfimages), glyphs that really draw (pdftoppm), bars that decode (zbarimg).

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <future>
#include <set>
#include <sstream>

#include "report/Barcode.h"
#include "report/Image.h"
#include "report/Render.h"
#include "report/tests/Fixtures.h"

using namespace reporttest;

namespace {

constexpr const char* kBarcode = "00191166600001234560000001234567000000012317";

report::Document document(int pages, const std::string& label,
                          const std::shared_ptr<const report::Bitmap>& logo) {
  report::Document doc;
  doc.title = "Remessa de boletos — ação";
  doc.date = host::DateTime::fromYmd(2026, 11, 20);
  doc.fonts = {{"Liberation Sans", 10, false, false}, {"Liberation Sans", 8, true, false}};
  for (int n = 1; n <= pages; ++n) {
    report::Page page;
    page.items.emplace_back(
        report::TextItem{{40, 40, 300, 14}, fmt::format("{} {} de {} — ação", label, n, pages), 0});
    page.items.emplace_back(report::TextItem{
        {300, 80, 200, 12}, "Valor do documento 1.234,56", 1, report::Align::Right});
    page.items.emplace_back(report::BoxItem{{40, 120, 200, 20}, 0.5, 0.9});
    page.items.emplace_back(report::LineItem{40, 150, 500, 150, 0.8});
    if (logo) page.items.emplace_back(report::ImageItem{{400, 30, 60, 60}, logo});
    page.items.emplace_back(report::BarsItem{
        report::barcodeBars(report::BarcodeKind::Interleaved2of5, kBarcode,
                            {40, 200, report::mmToPt(102.87), report::mmToPt(13)})});
    doc.pages.push_back(std::move(page));
  }
  return doc;
}

std::shared_ptr<const report::Bitmap> logo() {
  auto bm = std::make_shared<report::Bitmap>();
  bm->width = bm->height = 40;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      bm->pixels.push_back((x / 8 + y / 8) % 2 ? 0x00C03020 : 0x00FFFFFF);
  return bm;
}

std::string pageText(const std::string& pdf, int page) {
  return run(fmt::format("pdftotext -f {0} -l {0} '{1}' -", page, pdf));
}

/// Data lines of a poppler listing (its two heading lines dropped).
std::vector<std::string> listing(const std::string& cmd) {
  std::vector<std::string> lines;
  std::istringstream in(run(cmd));
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) lines.push_back(l);
  if (lines.size() >= 2) lines.erase(lines.begin(), lines.begin() + 2);
  return lines;
}

/// Dark pixels of page `page` at 72 dpi inside the box (points).
int inkIn(const ScratchDir& scratch, const std::string& pdf, int page, const report::Rect& box) {
  const std::string stem = scratch.file(fmt::format("ink{}", page));
  run(fmt::format("pdftoppm -gray -r 72 -f {0} -l {0} -singlefile '{1}' '{2}'", page, pdf, stem));
  const std::string pgm = readFile(stem + ".pgm");
  std::istringstream in(pgm);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  const size_t start = static_cast<size_t>(in.tellg()) + 1;
  int dark = 0;
  for (int y = static_cast<int>(box.y); y < static_cast<int>(box.y + box.h) && y < h; ++y)
    for (int x = static_cast<int>(box.x); x < static_cast<int>(box.x + box.w) && x < w; ++x)
      if (static_cast<unsigned char>(pgm[start + static_cast<size_t>(y * w + x)]) < 128) ++dark;
  return dark;
}

TEST(PdfWriter, ALargeDocumentKeepsItsPageOrderWithEachFontAndPictureStoredOnce) {
  ScratchDir scratch;
  const std::string pdf = scratch.file("many.pdf");
  // Enough pages to be shared between threads wherever there are two cores.
  report::writeFileAtomically(pdf, report::renderPdf(document(90, "Página", logo())));

  EXPECT_EQ(run("pdfinfo '" + pdf + "' | grep Pages"), "Pages:           90\n");
  EXPECT_NE(run("pdfinfo '" + pdf + "'").find("Remessa de boletos — ação"), std::string::npos);
  for (int n : {1, 2, 45, 46, 89, 90}) {
    const std::string text = pageText(pdf, n);
    EXPECT_NE(text.find(fmt::format("Página {} de 90 — ação", n)), std::string::npos) << n;
    EXPECT_NE(text.find("Valor do documento 1.234,56"), std::string::npos) << n;
  }
  // Regular and bold, each embedded once as a subset.
  const auto fonts = listing("pdffonts '" + pdf + "'");
  ASSERT_EQ(fonts.size(), 2u) << run("pdffonts '" + pdf + "'");
  for (const auto& f : fonts) EXPECT_NE(f.find("yes yes yes"), std::string::npos) << f;
  // The logo of every page is one image object.
  const auto images = listing("pdfimages -list '" + pdf + "'");
  ASSERT_EQ(images.size(), 90u);
  std::set<std::string> objects;
  for (const auto& l : images) {
    std::istringstream cols(l);
    std::vector<std::string> c;
    for (std::string w; cols >> w;) c.push_back(w);
    ASSERT_GE(c.size(), 12u);
    objects.insert(c[10]);
  }
  EXPECT_EQ(objects.size(), 1u);

  run(fmt::format("pdftoppm -r 300 -f 90 -l 90 -singlefile -png '{}' '{}'", pdf,
                  scratch.file("last")));
  EXPECT_EQ(run("zbarimg -q --raw '" + scratch.file("last.png") + "'"),
            std::string(kBarcode) + "\n");
}

TEST(PdfWriter, PartsDrawnApartMakeOneFileWhoseFontsHoldTheGlyphsOfEveryPart) {
  ScratchDir scratch;
  // Each part on its own thread, as the writers of a run draw their boletos; the second uses
  // glyphs the first never did, so the one embedded font must carry both.
  auto first =
      std::async(std::launch::async, [] { return report::drawPdf(document(2, "ABCDE", nullptr)); });
  auto second =
      std::async(std::launch::async, [] { return report::drawPdf(document(3, "wxyz", logo())); });
  const std::string pdf = scratch.file("joined.pdf");
  report::writeFileAtomically(pdf, report::renderPdf({first.get(), second.get()}, "Boletos",
                                                     host::DateTime::fromYmd(2026, 11, 20)));

  EXPECT_EQ(run("pdfinfo '" + pdf + "' | grep Pages"), "Pages:           5\n");
  EXPECT_NE(pageText(pdf, 2).find("ABCDE 2 de 2 — ação"), std::string::npos);
  EXPECT_NE(pageText(pdf, 3).find("wxyz 1 de 3 — ação"), std::string::npos);
  EXPECT_NE(pageText(pdf, 5).find("wxyz 3 de 3 — ação"), std::string::npos);
  EXPECT_EQ(listing("pdffonts '" + pdf + "'").size(), 2u);
  EXPECT_NE(run("pdfinfo '" + pdf + "'").find("2026"), std::string::npos);
  // The glyphs draw ink, not only text a reader extracts: "wxyz" sits at 40..80, 40..54.
  EXPECT_GT(inkIn(scratch, pdf, 4, {40, 40, 30, 14}), 20);
  EXPECT_GT(inkIn(scratch, pdf, 1, {40, 40, 40, 14}), 20);
}

}  // namespace
