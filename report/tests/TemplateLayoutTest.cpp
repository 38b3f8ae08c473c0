// The template parser, the layout of bands into pages, display formats, bitmaps, barcodes
// and the in-memory data connection.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "host/ClientDataset.h"
#include "report/Barcode.h"
#include "report/DataSource.h"
#include "report/Image.h"
#include "report/Layout.h"
#include "report/Template.h"
#include "report/tests/Fixtures.h"

namespace {

using report::parseTemplate;
using report::TemplateError;

const char* kHead = "QR2 1\nfont f \"Liberation Sans\" 9\n";

std::string refusal(const std::string& text) {
  try {
    parseTemplate(text, "T.QR2");
  } catch (const TemplateError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(QR2Parser, RefusesMalformedTemplatesNamingFileLineAndReason) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::string h = kHead;
  const std::vector<Case> cases = {
      {"", "Modelo de relatório inválido: T.QR2: arquivo vazio: falta a linha \"QR2 1\""},
      {"QR2 2\n", "T.QR2, linha 1: a primeira linha deve ser \"QR2 1\""},
      {h + "pagina A4\n", "T.QR2, linha 3: palavra desconhecida \"pagina\""},
      {h + "band title height=10\n  text 0 0 10 5 f \"x\"\n", "T.QR2, linha 3: banda sem \"end\""},
      {h + "band title height=10\n  text 0 0 10 5 g \"x\"\nend\n",
       "linha 4: fonte \"g\" não declarada"},
      {h + "band title height=10\n  text 0 8 10 5 f \"x\"\nend\n",
       "linha 4: elemento fora da altura da banda (10 mm)"},
      {h + "band title height=ten\nend\n",
       "linha 3: a altura da banda deve ser um número, não \"ten\""},
      {h + "band title height=300\nend\n",
       "linha 3: a banda tem 300 mm de altura e a página só 277 mm úteis"},
      {h + "band detail X height=10\nend\n", "linha 3: conjunto de dados X não declarado"},
      {h + "param P\nparam P\n", "linha 4: parâmetro P declarado duas vezes"},
      {h + "dataset D K=@P\n", "linha 3: o conjunto D liga o parâmetro P, que não foi declarado"},
      {h + "dataset D\nband title height=10\n  text 0 0 10 5 f \"{A|#x}\"\nend\n",
       "linha 5: formato desconhecido \"#x\""},
      {h + "band title height=10\n  text 0 0 10 5 f \"{@P_VIA}\"\nend\n",
       "linha 4: o parâmetro P_VIA é usado mas não foi declarado"},
      {h + "band title height=10\n  text 0 0 10 5 f \"{CAMPO}\"\nend\n",
       "linha 4: o campo CAMPO é usado mas o modelo não declara conjunto de dados"},
      {h + "dataset D\nband title height=10\n  text 0 0 10 5 f \"{A\"\nend\n",
       "linha 5: chave \"{\" sem fechar"},
      {h + "band title height=10\n  text 0 0 10 5 f \"x\nend\n",
       "linha 4: texto entre aspas sem fechar"},
      {h + "band title height=10\n  barcode ean 0 0 10 5 \"1\"\nend\n",
       "linha 4: tipo de código de barras desconhecido \"ean\""},
      {h + "band groupheader height=5\nend\n",
       "linha 3: a banda precisa do nome do seu conjunto de dados"},
      {h + "dataset D\nband groupheader D height=5\nend\n",
       "linha 4: banda de grupo precisa de key=CAMPO"},
      {h + "page A4 margins=150,0,150,0\n", "linha 3: as margens não deixam espaço na página"},
      {"QR2 1\n", "o modelo não tem nenhuma banda"},
      {h + "dataset D\nband groupheader D key=K height=5\nend\n",
       "linha 4: banda de grupo sem banda detail do conjunto D"},
  };
  for (const auto& c : cases) {
    const std::string got = refusal(c.text);
    EXPECT_NE(got.find(c.expected), std::string::npos) << "template:\n"
                                                       << c.text << "\ngot: " << got;
  }
}

TEST(QR2Parser, ReadsWhatTheFormatSays) {
  const auto t = parseTemplate(
      "QR2 1\n# comment\ntitle \"Nota \\\"A\\\"\"\npage 100 50 landscape margins=1,2,3,4\n"
      "font f \"DejaVu Sans\" 7 bold italic\nparam P default=\"x y\"\ndataset D K=@P L=\"lit\"\n"
      "band detail D height=10 pagebreak\n"
      "  text 0 0 50 5 f align=center wrap when=\"@P<>N\" \"a {{b}} {D.F|0.00} {@P}\"\nend\n",
      "T.QR2");
  EXPECT_EQ(t.title, "Nota \"A\"");
  EXPECT_DOUBLE_EQ(t.pageWidth, 100);
  EXPECT_DOUBLE_EQ(t.pageHeight, 50);
  EXPECT_DOUBLE_EQ(t.marginLeft, 4);
  ASSERT_EQ(t.fonts.size(), 1u);
  EXPECT_TRUE(t.fonts[0].bold && t.fonts[0].italic);
  EXPECT_EQ(t.params[0].defaultValue, "x y");
  ASSERT_EQ(t.datasets[0].bindings.size(), 2u);
  EXPECT_TRUE(t.datasets[0].bindings[0].fromParam);
  EXPECT_FALSE(t.datasets[0].bindings[1].fromParam);
  const auto& e = t.bands[0].elements[0];
  EXPECT_EQ(e.align, report::Align::Center);
  EXPECT_TRUE(e.wrap && e.when.present && !e.when.equals);
  ASSERT_EQ(e.expr.pieces.size(), 4u);
  EXPECT_EQ(e.expr.pieces[0].literal, "a {b} ");
  EXPECT_EQ(e.expr.pieces[1].ref.format, "0.00");
}

TEST(QR2Parser, AcceptsWhatWindowsEditorsWrite) {
  const auto t = parseTemplate(
      "\xEF\xBB\xBFQR2 1\r\nfont f \"Liberation Sans\" 9\r\n"
      "band title height=5\r\n  text 0 0 9 5 f \"ação\"\r\nend\r\n",
      "T.QR2");
  EXPECT_EQ(t.bands.at(0).elements.at(0).expr.pieces.at(0).literal, "ação");
}

TEST(QR2Parser, ShippedTemplatesParse) {
  for (const char* name : {"MODBOLCOMP.QR2", "MODBOLPREI.QR2", "MODBOLDEPID.QR2",
                           "MODELONFA4_BREAL.QR2", "MODBOLNFDEB.QR2"}) {
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(report::loadTemplate(reporttest::templatePath(name)));
  }
}

std::vector<std::string> textsOf(const report::Page& p) {
  std::vector<std::string> out;
  for (const auto& item : p.items)
    if (const auto* t = std::get_if<report::TextItem>(&item)) out.push_back(t->text);
  return out;
}

TEST(Layout, BandsFlowOverPagesWithHeadersFootersAndGroups) {
  const auto t =
      parseTemplate(std::string(kHead) +
                        "page 100 60 margins=5,5,5,5\ndataset D\n"
                        "band pageheader height=5\n  text 0 0 50 5 f \"H\"\nend\n"
                        "band pagefooter height=5\n  text 0 0 50 5 f \"F\"\nend\n"
                        "band groupheader D key=G height=5\n  text 0 0 50 5 f \"G{G}\"\nend\n"
                        "band detail D height=10\n  text 0 0 50 5 f \"R{N}\"\nend\n"
                        "band groupfooter D key=G height=5\n  text 0 0 50 5 f \"/G{G}\"\nend\n"
                        "band summary height=5\n  text 0 0 50 5 f \"S\"\nend\n",
                    "T.QR2");
  report::ReportData d;
  d.tables["D"] = report::DataTable{{"G", "N"}, {{"a", 1}, {"a", 2}, {"b", 3}}};
  const auto doc = report::layoutReport(t, d);
  // 50 mm of body per page: header 5, footer 5 leave 40.
  ASSERT_EQ(doc.pages.size(), 2u);
  EXPECT_EQ(textsOf(doc.pages[0]), (std::vector<std::string>{"H", "Ga", "R1", "R2", "/Ga", "F"}));
  EXPECT_EQ(textsOf(doc.pages[1]), (std::vector<std::string>{"H", "Gb", "R3", "/Gb", "S", "F"}));
}

TEST(Layout, PageBreakAfterEachRowAndConditionsAndMissingData) {
  const auto t = parseTemplate(std::string(kHead) +
                                   "param P\ndataset D\nband detail D height=10 pagebreak\n"
                                   "  text 0 0 50 5 f when=\"@P=S\" \"teste\"\n"
                                   "  text 0 5 50 5 f \"{V|#,##0.00} {W}\"\nend\n",
                               "T.QR2");
  report::ReportData d;
  d.tables["D"] = report::DataTable{{"V"}, {{1234.5}, {0.0}}};
  d.params["P"] = host::Value("N");
  try {
    report::layoutReport(t, d);
    FAIL() << "a field the data lack was drawn";
  } catch (const report::ReportError& e) {
    EXPECT_STREQ(e.what(), "Modelo T.QR2, linha 7: o conjunto de dados D não tem o campo W");
  }
  d.tables["D"] = report::DataTable{{"V", "W"}, {{1234.5, "x"}, {0.0, "y"}}};
  auto doc = report::layoutReport(t, d);
  ASSERT_EQ(doc.pages.size(), 2u);
  EXPECT_EQ(textsOf(doc.pages[0]), (std::vector<std::string>{"1.234,50 x"}));
  d.params["P"] = host::Value("S");
  doc = report::layoutReport(t, d);
  EXPECT_EQ(textsOf(doc.pages[1]), (std::vector<std::string>{"teste", "0,00 y"}));

  d.tables["D"].rows.clear();
  EXPECT_THROW(report::layoutReport(t, d), report::ReportError) << "no rows, no document";
}

TEST(Layout, DisplayFormats) {
  using report::formatValue;
  EXPECT_EQ(formatValue(1234567.891, "#,##0.00"), "1.234.567,89");
  EXPECT_EQ(formatValue(host::Value("1234.5"), "#,##0.00"), "1.234,50");
  EXPECT_EQ(formatValue(host::Value(""), "#,##0.00"), "");
  EXPECT_EQ(formatValue(117.28, "#,##0.000"), "117,280");
  EXPECT_EQ(formatValue(host::DateTime::fromYmd(2026, 2, 3), "dd/mm/yyyy"), "03/02/2026");
  EXPECT_EQ(formatValue(host::Value("2026-12-20"), "dd/mm/yyyy"), "20/12/2026");
  EXPECT_THROW(formatValue(host::Value("amanhã"), "dd/mm/yyyy"), std::invalid_argument);
  EXPECT_EQ(formatValue(host::Value("52998224725"), "cpfcnpj"), "529.982.247-25");
  EXPECT_EQ(formatValue(host::Value("11222333000181"), "cpfcnpj"), "11.222.333/0001-81");
  EXPECT_EQ(formatValue(host::Value("12ABC34501DE35"), "cpfcnpj"), "12.ABC.345/01DE-35");
  EXPECT_EQ(formatValue(host::Value("123"), "cpfcnpj"), "123");
  const auto codes = reporttest::sampleCodes(reporttest::kDue, reporttest::kCents);
  EXPECT_EQ(formatValue(host::Value(codes.typedLine), "linha"), codes.typedLineFmt);
  EXPECT_EQ(formatValue(host::Value("ação"), "upper"), "AÇÃO");
  EXPECT_EQ(formatValue(host::Value(), "#,##0.00"), "");
}

TEST(Bitmaps, RoundTripAndRefusals) {
  report::Bitmap b;
  b.width = 3;
  b.height = 2;
  b.pixels = {0xFF000000u, 0xFFFFFFFFu, 0xFF123456u, 0xFFABCDEFu, 0xFF000000u, 0xFF00FF00u};
  const std::string bytes = report::encodeBmp(b);
  EXPECT_EQ(bytes.size(), 54u + 2 * 12u) << "rows padded to four bytes";
  const report::Bitmap back = report::decodeBmp(bytes);
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, b.pixels);
  EXPECT_THROW(report::decodeBmp(bytes.substr(0, 60)), std::invalid_argument);
  EXPECT_THROW(report::decodeBmp("PK\x03\x04"), std::invalid_argument);
}

TEST(Barcodes, BoletoBarcodeHasFebrabanProportions) {
  const auto codes = reporttest::sampleCodes(reporttest::kDue, reporttest::kCents);
  EXPECT_EQ(report::barcodeModules(report::BarcodeKind::Interleaved2of5, codes.barcode), 405);
  const report::Rect box{10, 20, report::mmToPt(102.87), report::mmToPt(13)};
  const auto bars = report::barcodeBars(report::BarcodeKind::Interleaved2of5, codes.barcode, box);
  double narrow = 1e9, wide = 0, left = 1e9, right = 0;
  for (const auto& r : bars) {
    narrow = std::min(narrow, r.w), wide = std::max(wide, r.w);
    left = std::min(left, r.x), right = std::max(right, r.x + r.w);
    EXPECT_NEAR(r.h, box.h, 1e-6);
  }
  EXPECT_NEAR(narrow, report::mmToPt(0.254), 1e-3);
  EXPECT_NEAR(wide / narrow, 3.0, 1e-6);
  EXPECT_NEAR(left, box.x, 1e-6);
  EXPECT_NEAR(right - left, box.w, 1e-3) << "the bars span the box: 0.254 mm per module";

  EXPECT_TRUE(report::barcodeBars(report::BarcodeKind::Interleaved2of5, "", box).empty());
  const auto qr = report::barcodeBars(report::BarcodeKind::Qr, "https://example.com/boleto/1", box);
  ASSERT_FALSE(qr.empty());
  double qx0 = 1e9, qy0 = 1e9, qx1 = 0, qy1 = 0;
  for (const auto& r : qr) {
    qx0 = std::min(qx0, r.x), qy0 = std::min(qy0, r.y);
    qx1 = std::max(qx1, r.x + r.w), qy1 = std::max(qy1, r.y + r.h);
  }
  EXPECT_NEAR(qx1 - qx0, qy1 - qy0, 1e-6) << "a square symbol";
  EXPECT_NEAR(qy1 - qy0, box.h, 1e-6) << "the largest square that fits the box";
  EXPECT_THROW(report::barcodeBars(report::BarcodeKind::Interleaved2of5, "123", box),
               report::BarcodeError)
      << "an odd count would be padded: refused instead";
  EXPECT_THROW(report::barcodeBars(report::BarcodeKind::Interleaved2of5, "12a4", box),
               report::BarcodeError);
}

TEST(Barcodes, ImageComponentTypeCodesAndFiles) {
  reporttest::ScratchDir dir;
  const std::string dirSlash = dir.path() + "/";
  EXPECT_THROW(report::BarcodeImage(7), report::BarcodeError);
  report::BarcodeImage code128(report::BarcodeImage::kCode128);
  const std::string key = "35261211222333000181550010000001231000001234";
  const report::Bitmap img = code128.draw(key);
  EXPECT_GT(img.width, 0);
  EXPECT_THROW(code128.saveToFile(key, dir.file("x.png"), 3), report::BarcodeError);

  const auto now = host::DateTime::fromYmdHms(2026, 12, 8, 9, 5, 7);
  const std::string path = report::saveBarcodeImage(dirSlash, key, now, 9);
  EXPECT_EQ(path, dirSlash + "20261208-090507-" + key + ".bmp");
  EXPECT_EQ(report::loadImage(path).width, img.width);
  EXPECT_EQ(report::saveBarcodeImage(dirSlash, "", now), "");
  EXPECT_THROW(report::saveBarcodeImage(dirSlash, "../../etc/x", now, 9), report::BarcodeError);
  EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(MemoryDataSource, ServesRowsMatchingTheBindingsFromTablesPacketsAndDatasets) {
  report::MemoryDataSource src;
  src.addPacket("ITENS",
                nlohmann::json::parse(R"([{"K":"1","V":2.5},{"K":"2","V":3},{"K":"1","X":true}])"));
  host::ClientDataset ds("cds");
  ds.setFieldDefs({{"CDFILIAL", host::FieldType::String, 4}, {"VR", host::FieldType::Float}});
  ds.createDataset();
  ds.append();
  ds.fieldByName("CDFILIAL").setString("0001");
  ds.fieldByName("VR").setFloat(9.5);
  ds.post();
  src.addPacket("PACOTE", ds.toPacket());
  src.addDataset("CDS", ds);

  EXPECT_THROW(src.fetch("ITENS", {}), host::OperationError) << "not connected";
  src.open("h", 1);
  const auto t = src.fetch("ITENS", {{"K", host::Value("1")}});
  EXPECT_EQ(t.fields, (std::vector<std::string>{"K", "V", "X"}));
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_TRUE(t.rows[1][1].isNull());
  EXPECT_EQ(src.fetch("PACOTE", {{"CDFILIAL", host::Value("0001")}}).rows.at(0).at(1).asDouble(),
            9.5);
  EXPECT_EQ(src.fetch("CDS", {}).rows.size(), 1u);
  EXPECT_THROW(src.fetch("NADA", {}), host::OperationError);
  EXPECT_THROW(src.fetch("ITENS", {{"Z", host::Value("1")}}), host::OperationError);
  EXPECT_THROW(src.addPacket("BAD", nlohmann::json::parse(R"([{"K":[1]}])")),
               std::invalid_argument);
}

}  // namespace
