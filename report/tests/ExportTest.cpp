// The twelve export formats, each read back by a reader that is not ours: `file` names every
// format; pdftotext, Python's csv module, tidy, xmllint, openpyxl, ImageMagick and
// LibreOffice read the contents; zbarimg decodes the barcode wherever a format carries
// pictures. Then what the engines share: every file whole or none, several pages, the
// preferences, text outside ASCII.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "host/Errors.h"
#include "report/Export.h"
#include "report/ExportFiles.h"
#include "report/Image.h"
#include "report/Report.h"
#include "report/tests/Fixtures.h"

namespace fs = std::filesystem;
using namespace reporttest;

namespace {

/// Debian's Python: the one that has python3-openpyxl.
const std::string kPython = "/usr/bin/python3";

std::string quote(const std::string& s) {
  return "'" + s + "'";
}

/// Converts files to PDF with LibreOffice, in a profile of the test's own (tests run side by
/// side); returns the PDF of each.
std::vector<std::string> convertToPdf(const ScratchDir& scratch,
                                      const std::vector<std::string>& files) {
  std::string cmd = "cd " + quote(scratch.path()) + " && HOME=" + quote(scratch.path()) +
                    " soffice -env:UserInstallation=file://" + scratch.file("lo-profile") +
                    " --headless --norestore --convert-to pdf --outdir " +
                    quote(scratch.file("converted"));
  for (const auto& f : files) cmd += " " + quote(f);
  run(cmd);
  std::vector<std::string> pdfs;
  for (const auto& f : files)
    pdfs.push_back(scratch.file("converted/" + fs::path(f).stem().string() + ".pdf"));
  return pdfs;
}

std::string decodeBarcode(const std::string& picture) {
  return run("zbarimg --quiet --raw " + quote(picture));
}

/// Decodes the barcode of a PDF's first page rendered at 300 dpi.
std::string decodePdfBarcode(const std::string& pdf, const std::string& scratchPng) {
  run("pdftoppm -r 300 -gray -png -singlefile -f 1 -l 1 " + quote(pdf) + " " + quote(scratchPng));
  return decodeBarcode(scratchPng + ".png");
}

class Exports : public ::testing::Test {
 protected:
  Exports() : printer(data) {
    data.add("BOLETO", sampleBoleto());
    data.add("ITENSNF", sampleItems());
    printer.setParameterEvent([](const std::string& name) -> host::Value {
      if (name == "P_CDFILIAL") return "0001";
      if (name == "P_NRLANBOLREC") return "0000004711";
      return {};
    });
  }

  /// The complete boleto exported with the engine of `tag`; the files it wrote.
  std::vector<std::string> exportBoleto(int tag, const std::string& name,
                                        const report::ExportOptions& options = {}) {
    auto engine = report::makeExportEngine(tag, scratch.file(name), options);
    printer.ExportReport(templatePath("MODBOLCOMP.QR2"),
                         host::DateTime::fromYmdHms(2026, 1, 2, 3, 4, 5), *engine);
    return engine->files();
  }

  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(scratch.path()))
      if (e.path().string().ends_with(".part")) out.push_back(e.path().string());
    return out;
  }

  ScratchDir scratch;
  report::MemoryDataSource data;
  report::ReportPrinter printer;
  SampleCodes codes = sampleCodes(kDue, kCents);
};

TEST_F(Exports, FileNamesEveryFormatAndTheTableMatchesTheSaveDialogs) {
  const std::vector<std::pair<int, std::string>> expected = {{0, "text"},
                                                             {1, "text"},
                                                             {2, "HTML document"},
                                                             {3, "Microsoft Excel 2007+"},
                                                             {4, "Rich Text Format"},
                                                             {5, "Windows metafile"},
                                                             {6, "PDF document"},
                                                             {7, "XML"},
                                                             {8, "GIF image data"},
                                                             {9, "JPEG image data"},
                                                             {10, "PC bitmap"},
                                                             {11, "Windows Enhanced Metafile"}};
  for (const auto& [tag, kind] : expected) {
    const report::ExportFormat* f = report::exportFormat(tag);
    ASSERT_NE(f, nullptr);
    SCOPED_TRACE(std::string(f->name));
    const auto files = exportBoleto(tag, "boleto." + std::string(f->name));
    ASSERT_EQ(files.size(), 1u) << "one page, one file";
    EXPECT_NE(run("file -b " + quote(files[0])).find(kind), std::string::npos)
        << run("file -b " + quote(files[0]));
    EXPECT_EQ(report::exportFormatByName(f->name), f);
    EXPECT_EQ(report::exportFormatByName(std::to_string(tag)), f);
  }
  EXPECT_EQ(report::exportFormat(7)->filter, "Documento XTML (*.htm)|*.htm");
  EXPECT_EQ(report::exportFormat(7)->extension, "htm");
  EXPECT_EQ(report::exportFormat(3)->filter, "Planilha Microsoft Excel (*.xlsx)|*.xlsx");
  EXPECT_EQ(report::exportFormatByName("XHTML")->tag, 7);
  EXPECT_EQ(report::exportFormatByName("doc"), nullptr);
  EXPECT_EQ(report::exportFormatByName("12"), nullptr);
  EXPECT_EQ(report::exportFormat(-1), nullptr);
  try {
    report::makeExportEngine(12, scratch.file("x"));
    ADD_FAILURE() << "tag 12 accepted";
  } catch (const host::OperationError& e) {
    EXPECT_STREQ(e.what(), "Formato de exportação desconhecido (12)");
  }
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Exports, TextAndCsvGiveTheFieldsInReadingOrder) {
  const std::string txt = readFile(exportBoleto(0, "boleto.txt")[0]);
  EXPECT_NE(txt.find(codes.typedLineFmt), std::string::npos) << txt;
  // The labels' line comes before the line of their values, each left to right.
  const size_t labels = txt.find("Pagador");
  const size_t payer = txt.find("Maria Aparecida Souza");
  ASSERT_NE(labels, std::string::npos);
  ASSERT_NE(payer, std::string::npos);
  EXPECT_LT(labels, payer);
  const std::string valueLine =
      txt.substr(txt.rfind('\n', payer) + 1, txt.find('\n', payer) - txt.rfind('\n', payer) - 1);
  EXPECT_NE(valueLine.find("12345670000000123"), std::string::npos) << valueLine;
  EXPECT_LT(valueLine.find("Maria"), valueLine.find("12345670000000123"));
  EXPECT_LT(valueLine.find("12345670000000123"), valueLine.find("1.234,56"));

  const std::string csv = exportBoleto(1, "boleto.csv")[0];
  const std::string script =
      "import csv,sys\n"
      "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline='')))\n"
      "flat=[f for r in rows for f in r]\n"
      "print('typed' if sys.argv[2] in flat else 'no typed line')\n"
      "print('value' if '1.234,56' in flat else 'no value')\n"
      "print('address' if any(f.startswith('Comercial Araucária Ltda') for f in flat) else '')\n"
      "print('comma' if 'Rua das Palmeiras, 100 - Centro - Curitiba - PR' in flat else 'split')\n"
      "r=[r for r in rows if 'Maria Aparecida Souza' in r][0]\n"
      "print(r.index('Maria Aparecida Souza') < r.index('1.234,56'))\n";
  writeFile(scratch.file("read.py"), script);
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("read.py")) + " " + quote(csv) + " " +
                quote(codes.typedLineFmt)),
            "typed\nvalue\naddress\ncomma\nTrue\n");
}

TEST_F(Exports, PicturesReadBackWithImageMagickAndTheirBarcodesDecode) {
  for (int tag : {8, 9, 10}) {
    const report::ExportFormat* f = report::exportFormat(tag);
    SCOPED_TRACE(std::string(f->name));
    const std::string file = exportBoleto(tag, "boleto." + std::string(f->extension))[0];
    // A4 at 200 dpi for the bitmap, at 100 dpi for gif and jpg.
    const std::string info = run("identify -format '%m %w %h' " + quote(file));
    const std::string magick = tag == 8 ? "GIF" : tag == 9 ? "JPEG" : "BMP3";
    EXPECT_EQ(info, magick + (tag == 10 ? " 1654 2339" : " 827 1169"));
    EXPECT_EQ(decodeBarcode(file), codes.barcode + "\n");
    // Text drawn, not just bars: the page is mostly paper with some ink.
    const double mean = std::stod("0" + run("/usr/bin/convert " + quote(file) +
                                            " -colorspace Gray -format '%[fx:mean]' info:"));
    EXPECT_GT(mean, 0.85);
    EXPECT_LT(mean, 0.99);
  }
}

TEST_F(Exports, HtmlValidatesXhtmlIsValidAndTheEmbeddedBarcodeDecodes) {
  const std::string htm = exportBoleto(2, "boleto.htm")[0];
  const std::string xhtml = exportBoleto(7, "boleto-x.htm")[0];
  // tidy: exit 0 when clean, 1 with warnings, 2 with errors.
  const std::string tidy = run("tidy -errors -quiet " + quote(htm) + " >/dev/null 2>&1; echo $?");
  EXPECT_EQ(tidy, "0\n") << run("tidy -errors -quiet " + quote(htm) + " 2>&1");
  EXPECT_EQ(run("xmllint --noout --valid --nonet " + quote(xhtml) + " 2>&1; echo $?"), "0\n")
      << run("xmllint --noout --valid --nonet " + quote(xhtml) + " 2>&1");
  for (const auto& file : {htm, xhtml}) {
    SCOPED_TRACE(file);
    const std::string html = readFile(file);
    EXPECT_NE(html.find(codes.typedLineFmt), std::string::npos);
    EXPECT_NE(html.find("Pagável em qualquer banco até o vencimento"), std::string::npos);
    // The barcode picture itself, taken out of the page, decodes.
    writeFile(
        scratch.file("pic.py"),
        "import base64,re,sys\n"
        "m=re.search(r'alt=\"C\\S+digo de barras\"',open(sys.argv[1],encoding='utf-8').read())\n"
        "s=open(sys.argv[1],encoding='utf-8').read()\n"
        "src=re.findall(r'src=\"data:image/png;base64,([^\"]+)\" alt=\"C[^\"]*barras\"',s)\n"
        "open(sys.argv[2],'wb').write(base64.b64decode(src[0]))\n");
    run(kPython + " " + quote(scratch.file("pic.py")) + " " + quote(file) + " " +
        quote(scratch.file("bars.png")));
    // The picture is one pixel a module; zbarimg wants room around the bars.
    run("/usr/bin/convert " + quote(scratch.file("bars.png")) +
        " -filter point -resize 300%x600% -bordercolor white -border 40 " +
        quote(scratch.file("bars-big.png")));
    EXPECT_EQ(decodeBarcode(scratch.file("bars-big.png")), codes.barcode + "\n");
  }
}

TEST_F(Exports, SpreadsheetReaderFindsTypedLineValueAndDateInAlignedCells) {
  const std::string xlsx = exportBoleto(3, "boleto.xlsx")[0];
  writeFile(
      scratch.file("xl.py"),
      "import openpyxl,sys,datetime\n"
      "wb=openpyxl.load_workbook(sys.argv[1])\n"
      "ws=wb.worksheets[0]\n"
      "print(wb.sheetnames)\n"
      "cells=[c for row in ws.iter_rows() for c in row if c.value is not None]\n"
      "line=[c for c in cells if c.value==sys.argv[2]]\n"
      "print('typed line' if line else 'no typed line')\n"
      "val=[c for c in cells if c.value==1234.56]\n"
      "print(val[0].number_format, val[0].alignment.horizontal)\n"
      "due=[c for c in cells if c.value==datetime.datetime(2026,12,20)]\n"
      "print(due[0].number_format if due else 'no date')\n"
      "print(len([c for c in cells if c.value=='12345670000000123']))\n"
      "print(len(ws.merged_cells.ranges)>0)\n"
      "import zipfile\n"
      "print([n for n in zipfile.ZipFile(sys.argv[1]).namelist() if n.startswith('xl/media/')])\n");
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("xl.py")) + " " + quote(xlsx) + " " +
                quote(codes.typedLineFmt)),
            "['Página 1']\ntyped line\n#,##0.00 right\ndd/mm/yyyy\n2\nTrue\n"
            "['xl/media/image1.png']\n");
}

TEST_F(Exports, RtfAndMetafilesOpenInLibreOfficeWithTheTypedLineAndBarsThatDecode) {
  const std::vector<std::string> files = {exportBoleto(4, "boleto.rtf")[0],
                                          exportBoleto(5, "boleto.wmf")[0],
                                          exportBoleto(11, "boleto.emf")[0]};
  const auto pdfs = convertToPdf(scratch, files);
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_TRUE(fs::exists(pdfs[i]));
    const std::string text = run("pdftotext -layout " + quote(pdfs[i]) + " -");
    EXPECT_NE(text.find(codes.typedLineFmt), std::string::npos) << text;
    EXPECT_NE(text.find("Maria Aparecida Souza"), std::string::npos);
    EXPECT_NE(text.find("1.234,56"), std::string::npos);
    EXPECT_EQ(decodePdfBarcode(pdfs[i], scratch.file("page" + std::to_string(i))),
              codes.barcode + "\n");
  }
}

/// A document of two pages with texts outside ASCII, drawn by hand.
report::Document twoPages() {
  report::Document doc;
  doc.title = "Duas páginas";
  doc.fonts = {{"Liberation Sans", 12, false, false}, {"Liberation Sans", 12, true, false}};
  for (int p = 1; p <= 2; ++p) {
    report::Page page;
    page.items.emplace_back(
        report::TextItem{{72, 72, 400, 20},
                         "Página " + std::to_string(p) + " — ação {chave} \\ € Ω",
                         0,
                         report::Align::Left,
                         false});
    page.items.emplace_back(
        report::TextItem{{72, 100, 300, 20}, "Valor 9.876,54", 1, report::Align::Right, false});
    page.items.emplace_back(report::LineItem{72, 130, 372, 130, 1});
    page.items.emplace_back(report::BoxItem{{72, 140, 100, 40}, 0.5, 0.8});
    doc.pages.push_back(std::move(page));
  }
  return doc;
}

TEST_F(Exports, SeveralPagesShareOneFileWhereTheFormatCanAndGoBesideItWhereNot) {
  const report::Document doc = twoPages();
  for (int tag = 0; tag < 12; ++tag) {
    const report::ExportFormat* f = report::exportFormat(tag);
    SCOPED_TRACE(std::string(f->name));
    const std::string name =
        scratch.file("multi-" + std::string(f->name) + "." + std::string(f->extension));
    auto engine = report::makeExportEngine(tag, name);
    engine->write(doc);
    const bool onePerPage = tag == 5 || tag >= 8;
    if (onePerPage) {
      const std::string second =
          scratch.file("multi-" + std::string(f->name) + "-2." + std::string(f->extension));
      EXPECT_EQ(engine->files(), (std::vector<std::string>{name, second}));
      EXPECT_TRUE(fs::exists(second));
    } else {
      EXPECT_EQ(engine->files(), std::vector<std::string>{name});
    }
  }
  EXPECT_EQ(run("pdfinfo " + quote(scratch.file("multi-pdf.pdf")) + " | grep Pages"),
            "Pages:           2\n");
  const std::string txt = readFile(scratch.file("multi-txt.txt"));
  EXPECT_NE(txt.find("Página 1 — ação {chave} \\ € Ω"), std::string::npos);
  ASSERT_NE(txt.find('\f'), std::string::npos) << "a form feed between pages";
  EXPECT_LT(txt.find("Página 1"), txt.find('\f'));
  EXPECT_GT(txt.find("Página 2"), txt.find('\f'));
  writeFile(scratch.file("sheets.py"),
            "import openpyxl,sys\nwb=openpyxl.load_workbook(sys.argv[1])\nprint(wb.sheetnames)\n"
            "print([c.value for c in wb.worksheets[1]._cells.values() if c.value])\n");
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("sheets.py")) + " " +
                quote(scratch.file("multi-xlsx.xlsx"))),
            "['Página 1', 'Página 2']\n['Página 2 — ação {chave} \\\\ € Ω', 'Valor 9.876,54']\n");
  // Windows-1252 where it can, \u for the rest; a converter gives the same text back.
  const std::string rtf = readFile(scratch.file("multi-rtf.rtf"));
  EXPECT_NE(rtf.find("P\\'e1gina 1 \\'97 a\\'e7\\'e3o \\{chave\\} \\\\ \\'80 \\u937?"),
            std::string::npos);
  const auto pdfs =
      convertToPdf(scratch, {scratch.file("multi-rtf.rtf"), scratch.file("multi-emf.emf")});
  EXPECT_EQ(run("pdfinfo " + quote(pdfs[0]) + " | grep Pages"), "Pages:           2\n");
  const std::string rtfText = run("pdftotext " + quote(pdfs[0]) + " -");
  EXPECT_NE(rtfText.find("Página 1 — ação {chave} \\ € Ω"), std::string::npos) << rtfText;
  EXPECT_LT(rtfText.find("Página 1"), rtfText.find('\f'));
  EXPECT_GT(rtfText.find("Página 2"), rtfText.find('\f'));
  EXPECT_NE(run("pdftotext " + quote(pdfs[1]) + " -").find("Página 1 — ação {chave} \\ € Ω"),
            std::string::npos);
}

TEST_F(Exports, LegalPagesKeepTheirSizeInBothMetafiles) {
  report::Document doc = twoPages();
  doc.width = 612;  // 8.5 x 14 inches: too long for 16-bit hundredths of a millimetre
  doc.height = 1008;
  doc.pages.resize(1);
  report::makeExportEngine(5, scratch.file("legal.wmf"))->write(doc);
  report::makeExportEngine(11, scratch.file("legal.emf"))->write(doc);
  // The headers as the published layouts give them.
  writeFile(
      scratch.file("hdr.py"),
      "import struct,sys\n"
      "w=open(sys.argv[1],'rb').read()\n"
      "key,h,l,t,r,b,inch,res=struct.unpack('<IHhhhhHI',w[:20])\n"
      "words=struct.unpack('<10H',w[:20])\n"
      "x=0\n"
      "for v in words: x^=v\n"
      "print(hex(key), round(r/inch*72), round(b/inch*72), x==struct.unpack('<H',w[20:22])[0])\n"
      "e=open(sys.argv[2],'rb').read()\n"
      "print(struct.unpack('<4i',e[24:40]))\n");
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("hdr.py")) + " " +
                quote(scratch.file("legal.wmf")) + " " + quote(scratch.file("legal.emf"))),
            "0x9ac6cdd7 612 1008 True\n(0, 0, 21590, 35560)\n");
  const auto pdfs = convertToPdf(scratch, {scratch.file("legal.wmf")});
  EXPECT_NE(run("pdftotext " + quote(pdfs[0]) + " -").find("Valor 9.876,54"), std::string::npos);
}

TEST_F(Exports, AFailedExportLeavesNoFileNoTemporaryAndKeepsWhatWasThere) {
  const report::Document doc = twoPages();
  // Page 2's name is taken by a folder: the rename fails after page 1's succeeded.
  fs::create_directory(scratch.file("pages-2.jpg"));
  auto engine = report::makeExportEngine(9, scratch.file("pages.jpg"));
  EXPECT_THROW(engine->write(doc), host::OperationError);
  EXPECT_FALSE(fs::exists(scratch.file("pages.jpg")));
  EXPECT_TRUE(engine->files().empty());

  // A folder that does not exist is not made: the operator chose it.
  for (int tag = 0; tag < 12; ++tag) {
    auto e = report::makeExportEngine(tag, scratch.file("no-such-dir/out.x"));
    try {
      e->write(doc);
      ADD_FAILURE() << "tag " << tag << " wrote into a missing folder";
    } catch (const host::OperationError& err) {
      EXPECT_NE(std::string(err.what()).find("Não foi possível gravar o arquivo"),
                std::string::npos)
          << tag << ": " << err.what();
    }
  }
  EXPECT_FALSE(fs::exists(scratch.file("no-such-dir")));

  // An existing file survives an export that fails.
  writeFile(scratch.file("kept.pdf"), "previous");
  report::Document empty;
  auto pdf = report::makeExportEngine(6, scratch.file("kept.pdf"));
  EXPECT_THROW(pdf->write(empty), host::OperationError);
  EXPECT_EQ(readFile(scratch.file("kept.pdf")), "previous");
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Exports, PreferencesImagesAsResourcesPagesProcessedAndOpenAfterCreate) {
  report::ExportOptions resources;
  resources.imagesAsResources = true;
  const auto files = exportBoleto(2, "com imagens.htm", resources);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1], scratch.file("com imagens_arquivos/imagem-1.png"));
  EXPECT_NE(readFile(files[0]).find("src=\"com%20imagens_arquivos/imagem-1.png\""),
            std::string::npos);
  EXPECT_EQ(readFile(files[0]).find("data:image"), std::string::npos);

  // Kept in memory until the end or written page by page: the same file.
  report::ExportOptions whole;
  whole.processAfterEachPage = false;
  const report::Document doc = twoPages();
  for (int tag : {0, 2, 4, 6, 10}) {
    SCOPED_TRACE(tag);
    auto a = report::makeExportEngine(tag, scratch.file("a"));
    auto b = report::makeExportEngine(tag, scratch.file("b"), whole);
    a->write(doc);
    b->write(doc);
    if (tag != 6) {
      EXPECT_EQ(readFile(scratch.file("a")), readFile(scratch.file("b")));
    }
    EXPECT_EQ(fs::file_size(scratch.file("a")), fs::file_size(scratch.file("b")));
  }

  report::ExportOptions open;
  open.openAfterCreate = true;
  auto refused = report::makeExportEngine(6, scratch.file("opened.pdf"), open);
  EXPECT_THROW(refused->write(doc), host::OperationError);
  EXPECT_FALSE(fs::exists(scratch.file("opened.pdf"))) << "refused before writing";
  std::vector<std::string> opened;
  auto engine = report::makeExportEngine(8, scratch.file("opened.gif"), open);
  engine->setOpener([&](const std::vector<std::string>& f) {
    for (const auto& x : f) EXPECT_TRUE(fs::exists(x)) << "opened once complete";
    opened = f;
  });
  engine->write(doc);
  EXPECT_EQ(opened,
            (std::vector<std::string>{scratch.file("opened.gif"), scratch.file("opened-2.gif")}));
}

TEST_F(Exports, HostileTextStaysTextInTheMarkupFormats) {
  report::Document doc;
  doc.title = "</title><script>alert(1)</script>";
  doc.fonts = {{"Liberation Sans\"}</style><script>", 10, false, false}};
  report::Page page;
  page.items.emplace_back(report::TextItem{{20, 50, 400, 14},
                                           "<script>alert(\"x\")</script> & \x01 \xff fim",
                                           0,
                                           report::Align::Left,
                                           false});
  doc.pages.push_back(page);
  report::makeExportEngine(2, scratch.file("h.htm"))->write(doc);
  report::makeExportEngine(7, scratch.file("x.htm"))->write(doc);
  report::makeExportEngine(4, scratch.file("r.rtf"))->write(doc);
  for (const char* f : {"h.htm", "x.htm"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(readFile(scratch.file(f)).find("<script"), std::string::npos);
    EXPECT_EQ(run("xmllint --noout " + quote(scratch.file("x.htm")) + " 2>&1; echo $?"), "0\n");
  }
  EXPECT_EQ(
      run("tidy -errors -quiet " + quote(scratch.file("h.htm")) + " >/dev/null 2>&1; echo $?"),
      "0\n");
  const auto pdfs = convertToPdf(scratch, {scratch.file("r.rtf")});
  EXPECT_NE(run("pdftotext " + quote(pdfs[0]) + " -").find("<script>alert(\"x\")</script> &"),
            std::string::npos);
}

namespace {

/// Keeps the document an export is given, to draw it again beside the engines' files.
class KeepDocument final : public report::ExportEngine {
 public:
  using ExportEngine::ExportEngine;
  report::Document doc;

 protected:
  void writeFiles(const report::Document& d, report::ExportFiles&) override { doc = d; }
};

/// The grey samples ImageMagick reads from `picture`, one byte a pixel.
std::string greySamples(const std::string& picture, const std::string& out) {
  run("/usr/bin/convert " + quote(picture) + " -depth 8 gray:" + quote(out));
  return readFile(out);
}

/// The page drawn again at `dpi`, as the grey levels the gif and bmp files hold.
std::string expectedLevels(const report::Document& doc, double dpi) {
  const report::InkImage ink = report::renderInk(doc, doc.pages[0], dpi);
  std::string grey;
  for (int y = 0; y < ink.height; ++y)
    for (int x = 0; x < ink.width; ++x)
      grey += static_cast<char>(report::greyOfLevel(report::greyLevel(ink.row(y)[x])));
  return grey;
}

size_t differingSamples(const std::string& a, const std::string& b) {
  size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
  return n;
}

void expectSamePixels(const report::Document& doc, double dpi, const std::string& picture,
                      const ScratchDir& scratch) {
  EXPECT_EQ(
      differingSamples(greySamples(picture, scratch.file("read.gray")), expectedLevels(doc, dpi)),
      0u);
}

}  // namespace

TEST_F(Exports, GifAndBitmapHoldEveryPixelOfTheirPage) {
  // Noise (absolute runs of every length, odd ones padded, LZW strings that fill the table),
  // long runs of one grey, blank rows and a run across the whole width: ImageMagick must read
  // from each file exactly the grey levels of the page drawn again.
  auto noise = std::make_shared<report::Bitmap>();
  noise->width = 301;
  noise->height = 40;
  uint32_t seed = 12345;
  for (int i = 0; i < noise->width * noise->height; ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t g = (i / 7) % 3 == 0 ? 0x80 : (seed >> 16) & 0xFF;
    noise->pixels.push_back(0xFF000000u | (g << 16) | (g << 8) | g);
  }
  report::Document doc;
  doc.width = 300;
  doc.height = 200;
  report::Page page;
  page.items.emplace_back(report::ImageItem{{10.3, 20, 200, 30}, noise});
  page.items.emplace_back(report::BoxItem{{0, 100, 300, 20}, 0, 0.5});
  page.items.emplace_back(report::BoxItem{{40, 150, 3.1, 20}, 0, 0});
  doc.pages.push_back(page);
  report::makeExportEngine(8, scratch.file("p.gif"))->write(doc);
  report::makeExportEngine(10, scratch.file("p.bmp"))->write(doc);
  {
    SCOPED_TRACE("gif");
    expectSamePixels(doc, report::kScreenRasterDpi, scratch.file("p.gif"), scratch);
  }
  {
    SCOPED_TRACE("bmp");
    expectSamePixels(doc, report::kRasterDpi, scratch.file("p.bmp"), scratch);
  }
  EXPECT_NE(run("identify -format '%k' " + quote(scratch.file("p.bmp"))), "1")
      << "the page is not blank";

  // A whole boleto: long runs of paper through many clears of the GIF's string table.
  KeepDocument keep(scratch.file("kept"));
  printer.ExportReport(templatePath("MODBOLCOMP.QR2"),
                       host::DateTime::fromYmdHms(2026, 1, 2, 3, 4, 5), keep);
  ASSERT_EQ(keep.doc.pages.size(), 1u);
  {
    SCOPED_TRACE("boleto gif");
    expectSamePixels(keep.doc, report::kScreenRasterDpi, exportBoleto(8, "b.gif")[0], scratch);
  }
  {
    SCOPED_TRACE("boleto bmp");
    expectSamePixels(keep.doc, report::kRasterDpi, exportBoleto(10, "b.bmp")[0], scratch);
  }
}

TEST_F(Exports, JpegKeepsPaperWhiteAndInkWhereThePageHasIt) {
  // Blank blocks are not transformed one by one; they must come out as the paper of the
  // blocks around the ink, and the ink within a few levels of the page drawn again.
  KeepDocument keep(scratch.file("kept"));
  printer.ExportReport(templatePath("MODBOLCOMP.QR2"),
                       host::DateTime::fromYmdHms(2026, 1, 2, 3, 4, 5), keep);
  const report::InkImage ink =
      report::renderInk(keep.doc, keep.doc.pages[0], report::kScreenRasterDpi);
  const std::string read = greySamples(exportBoleto(9, "b.jpg")[0], scratch.file("read.gray"));
  ASSERT_EQ(read.size(), static_cast<size_t>(ink.width) * static_cast<size_t>(ink.height));
  const auto blankBlock = [&ink](int x, int y) {
    for (int by = y / 8 * 8; by < std::min(y / 8 * 8 + 8, ink.height); ++by)
      for (int bx = x / 8 * 8; bx < std::min(x / 8 * 8 + 8, ink.width); ++bx)
        if (ink.row(by)[bx] != 0) return false;
    return true;
  };
  long error = 0;
  int paperLow = 255, paperHigh = 0;
  for (int y = 0; y < ink.height; ++y)
    for (int x = 0; x < ink.width; ++x) {
      const int got = static_cast<unsigned char>(
          read[static_cast<size_t>(y) * static_cast<size_t>(ink.width) + static_cast<size_t>(x)]);
      error += std::abs(got - (255 - ink.row(y)[x]));
      if (x % 8 == 0 && y % 8 == 0 && blankBlock(x, y)) {
        paperLow = std::min(paperLow, got);
        paperHigh = std::max(paperHigh, got);
      }
    }
  EXPECT_GE(paperLow, 250);
  EXPECT_LE(paperHigh - paperLow, 2);
  EXPECT_LT(static_cast<double>(error) / static_cast<double>(read.size()), 3.0);
}

TEST_F(Exports, WrappedTextGivesALineEachAndTextsSharingACellLoseNothing) {
  report::Document doc;
  doc.fonts = {{"Liberation Sans", 10, false, false}};
  report::Page page;
  page.items.emplace_back(report::TextItem{{50, 50, 90, 60},
                                           "Não receber após trinta dias do vencimento",
                                           0,
                                           report::Align::Left,
                                           true});
  page.items.emplace_back(
      report::TextItem{{300, 50, 100, 14}, "primeiro", 0, report::Align::Left, false});
  page.items.emplace_back(
      report::TextItem{{300, 50, 100, 14}, "segundo", 0, report::Align::Left, false});
  doc.pages.push_back(page);
  report::makeExportEngine(0, scratch.file("w.txt"))->write(doc);
  const std::string txt = readFile(scratch.file("w.txt"));
  // The wrapped text's lines are rows of their own, the first sharing its row with the
  // texts beside it.
  EXPECT_NE(txt.find("Não receber"), std::string::npos) << txt;
  EXPECT_LT(txt.find("Não receber"), txt.find("primeiro"));
  EXPECT_LT(txt.find("primeiro"), txt.find('\n'));
  EXPECT_GT(txt.find("vencimento"), txt.find('\n'));
  report::makeExportEngine(3, scratch.file("w.xlsx"))->write(doc);
  writeFile(scratch.file("w.py"),
            "import openpyxl,sys\nws=openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
            "v=sorted(str(c.value) for r in ws.iter_rows() for c in r if c.value)\n"
            "print(v)\nprint([c.alignment.wrap_text for r in ws.iter_rows() for c in r "
            "if c.value and str(c.value).startswith('Não')])\n");
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("w.py")) + " " + quote(scratch.file("w.xlsx"))),
            "['Não receber após trinta dias do vencimento', 'primeiro segundo']\n[True]\n");
}

TEST_F(Exports, CsvQuotesWhatItMustAndDefusesFormulas) {
  report::Document doc;
  doc.fonts = {{"Liberation Sans", 10, false, false}};
  report::Page page;
  const std::vector<std::string> texts = {"=HYPERLINK(\"http://x\")", "-12,50", "diz \"sim\", não",
                                          "@SUM(A1)"};
  for (size_t i = 0; i < texts.size(); ++i)
    page.items.emplace_back(report::TextItem{{20.0 + 130.0 * static_cast<double>(i), 50, 120, 14},
                                             texts[i],
                                             0,
                                             report::Align::Left,
                                             false});
  doc.pages.push_back(page);
  auto csv = report::makeExportEngine(1, scratch.file("q.csv"));
  csv->write(doc);
  writeFile(scratch.file("q.py"),
            "import csv,sys\n"
            "for r in csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline='')):\n"
            "  print('|'.join(r))\n");
  EXPECT_EQ(run(kPython + " " + quote(scratch.file("q.py")) + " " + quote(scratch.file("q.csv"))),
            "'=HYPERLINK(\"http://x\")|-12,50|diz \"sim\", não|'@SUM(A1)\n");
}

}  // namespace
