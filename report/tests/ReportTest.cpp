// The report component end to end: a complete boleto exported to PDF and read back with
// pdftotext and zbarimg, and how print, preview and export behave around their failures.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "report/Barcode.h"
#include "report/Image.h"
#include "report/Layout.h"
#include "report/Report.h"
#include "report/Template.h"
#include "report/tests/Fixtures.h"

namespace fs = std::filesystem;
using namespace reporttest;

namespace {

class RecordingPrinter final : public report::PrintPort {
 public:
  void printPdf(const std::string& pdfPath, const std::string& title) override {
    printedText = run("pdftotext -layout '" + pdfPath + "' -");
    titles.push_back(title);
    stillThere = fs::exists(pdfPath);
  }
  std::string printedText;
  std::vector<std::string> titles;
  bool stillThere = false;
};

class ReportComponent : public ::testing::Test {
 protected:
  ReportComponent() : printer(data) {
    data.add("BOLETO", sampleBoleto());
    data.add("ITENSNF", sampleItems());
    printer.setParameterEvent([this](const std::string& name) -> host::Value {
      asked.push_back(name);
      if (name == "P_CDFILIAL") return "0001";
      if (name == "P_NRLANBOLREC") return "0000004711";
      if (name == "P_TESTE") return "N";
      if (name == "P_VIA") return "1º VIA - CLIENTE";
      if (name == "DIRBARCODE") {
        imagePath = report::saveBarcodeImage(host::DirWinTemp(), barcode,
                                             host::DateTime::fromYmdHms(2026, 12, 8, 9, 30, 0));
        return imagePath;
      }
      return {};
    });
  }

  std::vector<std::string> imagesInTemp() const {
    std::vector<std::string> out;
    for (const auto& e : scratch.entries())
      if (e.ends_with(".bmp") || e.ends_with(".png")) out.push_back(e);
    return out;
  }

  ScratchDir scratch;
  report::MemoryDataSource data;
  report::ReportPrinter printer;
  std::string barcode = sampleCodes(kDue, kCents).barcode;
  std::vector<std::string> asked;
  std::string imagePath;
};

TEST_F(ReportComponent, CompleteBoletoPdfShowsItsDataAndItsBarcodeDecodes) {
  const SampleCodes codes = sampleCodes(kDue, kCents);
  const std::string out = scratch.file("boleto.pdf");
  report::PdfExportEngine engine(out);
  printer.ExportReport(templatePath("MODBOLCOMP.QR2"),
                       host::DateTime::fromYmdHms(2026, 1, 2, 3, 4, 5), engine);

  const std::string text = run("pdftotext -layout '" + out + "' -");
  EXPECT_NE(text.find(codes.typedLineFmt), std::string::npos) << text;
  EXPECT_NE(text.find("12345670000000123"), std::string::npos);
  EXPECT_NE(text.find("1.234,56"), std::string::npos);
  EXPECT_NE(text.find("Maria Aparecida Souza"), std::string::npos);
  EXPECT_NE(text.find("529.982.247-25"), std::string::npos);
  EXPECT_NE(text.find("20/12/2026"), std::string::npos);
  EXPECT_EQ(text.find("BOLETO DE TESTE"), std::string::npos);

  const std::string png = scratch.file("page");
  run("pdftoppm -r 300 -gray -png -singlefile '" + out + "' '" + png + "'");
  const std::string decoded = run("zbarimg --quiet --raw '" + png + ".png'");
  EXPECT_EQ(decoded, codes.barcode + "\n");

  EXPECT_LT(fs::file_size(out), 60u * 1024u);
  EXPECT_NE(run("pdfinfo '" + out + "'").find("2026"), std::string::npos);
}

TEST_F(ReportComponent, AsksOnlyForTheParametersTheTemplateDeclares) {
  const std::string plain = scratch.file("plain.QR2");
  writeFile(plain,
            "QR2 1\nfont f \"Liberation Sans\" 9\nband title height=10\n"
            "  text 0 0 50 5 f \"no parameters\"\nend\n");
  report::PdfExportEngine engine(scratch.file("plain.pdf"));
  printer.ExportReport(plain, {}, engine);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(data.openCount(), 1) << "the connection opens for every output, data or not";

  report::PdfExportEngine engine2(scratch.file("boleto.pdf"));
  printer.ExportReport(templatePath("MODBOLCOMP.QR2"), {}, engine2);
  EXPECT_EQ(asked, (std::vector<std::string>{"P_CDFILIAL", "P_NRLANBOLREC", "P_TESTE"}));
  EXPECT_TRUE(imagePath.empty()) << "no image is made for a template that does not ask for one";

  asked.clear();
  report::PdfExportEngine engine3(scratch.file("nf.pdf"));
  printer.ExportReport(templatePath("MODELONFA4_BREAL.QR2"), {}, engine3);
  EXPECT_EQ(asked, (std::vector<std::string>{"P_CDFILIAL", "P_NRLANBOLREC", "P_TESTE", "P_VIA",
                                             "DIRBARCODE"}));
}

TEST_F(ReportComponent, EveryShippedTemplateRendersTheSampleBoleto) {
  for (const char* name : {"MODBOLCOMP.QR2", "MODBOLPREI.QR2", "MODBOLDEPID.QR2",
                           "MODELONFA4_BREAL.QR2", "MODBOLNFDEB.QR2"}) {
    SCOPED_TRACE(name);
    const std::string out = scratch.file(std::string(name) + ".pdf");
    report::PdfExportEngine engine(out);
    printer.ExportReport(templatePath(name), {}, engine);
    const std::string text = run("pdftotext -layout '" + out + "' -");
    EXPECT_NE(text.find("Maria Aparecida Souza"), std::string::npos);
    EXPECT_NE(text.find("1.234,56"), std::string::npos);
    EXPECT_LT(fs::file_size(out), 60u * 1024u);
  }
  const std::string nf =
      run("pdftotext -layout '" + scratch.file("MODELONFA4_BREAL.QR2.pdf") + "' -");
  EXPECT_NE(nf.find("1º VIA - CLIENTE"), std::string::npos);
  EXPECT_NE(nf.find("Deslocamento técnico (km)"), std::string::npos);
  EXPECT_TRUE(imagesInTemp().empty());
}

TEST_F(ReportComponent, BarcodeImageOfTheDepositFormDecodesToo) {
  const std::string out = scratch.file("dep.pdf");
  report::PdfExportEngine engine(out);
  printer.ExportReport(templatePath("MODBOLDEPID.QR2"), {}, engine);
  EXPECT_FALSE(imagePath.empty());
  EXPECT_FALSE(fs::exists(imagePath)) << "the image lives only for its output";
  run("pdftoppm -r 300 -gray -png -singlefile '" + out + "' '" + scratch.file("dep") + "'");
  EXPECT_EQ(run("zbarimg --quiet --raw '" + scratch.file("dep.png") + "'"), barcode + "\n");
}

TEST_F(ReportComponent, ConnectionIsOpenedWithTheServiceAddressAndClosedAfterEachOutput) {
  report::PdfExportEngine engine(scratch.file("boleto.pdf"));
  printer.ExportReport(templatePath("MODBOLCOMP.QR2"), {}, engine);
  EXPECT_EQ(data.lastHost(), "reports.example");
  EXPECT_EQ(data.lastPort(), 8299);
  EXPECT_FALSE(data.connected());

  data.add("BOLETO", report::DataTable{{"CDFILIAL", "NRLANBOLREC"}, {{"0001", "0000004711"}}});
  report::PdfExportEngine engine2(scratch.file("broken.pdf"));
  EXPECT_THROW(printer.ExportReport(templatePath("MODBOLCOMP.QR2"), {}, engine2),
               report::ReportError);
  EXPECT_FALSE(data.connected()) << "closed also when the output fails";
  EXPECT_FALSE(fs::exists(scratch.file("broken.pdf")));
}

TEST_F(ReportComponent, BoletoWithoutBarcodeGetsAnEmptyImagePathAndNoFile) {
  data.add("BOLETO", sampleBoleto(false));
  barcode.clear();
  for (const char* name : {"MODBOLDEPID.QR2", "MODBOLCOMP.QR2"}) {
    SCOPED_TRACE(name);
    imagePath = "unset";
    report::PdfExportEngine engine(scratch.file("boleto.pdf"));
    printer.ExportReport(templatePath(name), {}, engine);
    EXPECT_TRUE(imagesInTemp().empty());
    const std::string png = scratch.file("page");
    run("pdftoppm -r 150 -gray -png -singlefile '" + scratch.file("boleto.pdf") + "' '" + png +
        "'");
    EXPECT_EQ(run("zbarimg --quiet --raw '" + png + ".png'"), "");
    fs::remove(png + ".png");
  }
  EXPECT_EQ(imagePath, "unset") << "the complete boleto draws its bars itself: no image asked";
}

TEST_F(ReportComponent, PrintAndPreviewLeaveNoImageInTheTemporaryDirectory) {
  auto rec = std::make_shared<RecordingPrinter>();
  printer.setPrintPort(rec);
  printer.PrintReport(templatePath("MODELONFA4_BREAL.QR2"));
  EXPECT_FALSE(imagePath.empty());
  EXPECT_TRUE(rec->stillThere) << "the queue got a real file";
  EXPECT_NE(rec->printedText.find("1º VIA - CLIENTE"), std::string::npos);
  EXPECT_TRUE(scratch.entries().empty()) << "neither the image nor the printed PDF stays";

  auto preview = std::make_shared<report::HeadlessPreview>(scratch.file("preview"));
  printer.setPreviewPort(preview);
  printer.PreviewReport(templatePath("MODBOLDEPID.QR2"));
  ASSERT_EQ(preview->files().size(), 1u);
  EXPECT_EQ(fs::path(preview->files()[0]).filename(), "MODBOLDEPID-001.png");
  EXPECT_TRUE(imagesInTemp().empty());
}

TEST_F(ReportComponent, TheImageIsDeletedAlsoWhenTheOutputFails) {
  printer.setPrintPort(std::make_shared<report::CupsPrinter>("no-such-queue-here"));
  EXPECT_THROW(printer.PrintReport(templatePath("MODBOLDEPID.QR2")), host::OperationError);
  EXPECT_FALSE(imagePath.empty());
  EXPECT_TRUE(scratch.entries().empty());
}

TEST_F(ReportComponent, MissingMalformedAndDeadConnectionEachSayWhyAndLeaveNoFile) {
  const std::string out = scratch.file("out.pdf");
  auto expectError = [&](const std::string& tpl, const std::string& needle) {
    report::PdfExportEngine engine(out);
    try {
      printer.ExportReport(tpl, {}, engine);
      ADD_FAILURE() << "no error for " << tpl;
    } catch (const host::OperationError& e) {
      EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(data.connected());
    EXPECT_TRUE(imagesInTemp().empty());
  };
  expectError(scratch.file("NOWHERE.QR2"),
              "Modelo de relatório não encontrado: " + scratch.file("NOWHERE.QR2"));

  writeFile(scratch.file("BAD.QR2"),
            "QR2 1\nfont f \"Liberation Sans\" 9\nband title height=10\n"
            "  text 0 0 50 5 f \"{@P_VIA}\"\nend\n");
  expectError(scratch.file("BAD.QR2"),
              "BAD.QR2, linha 4: o parâmetro P_VIA é usado mas não foi declarado");

  data.setReachable(false);
  expectError(templatePath("MODBOLDEPID.QR2"),
              "Não foi possível conectar ao serviço de relatórios em reports.example:8299");
}

TEST_F(ReportComponent, PrintWithoutAPrinterIsAClearError) {
  try {
    printer.PrintReport(templatePath("MODBOLCOMP.QR2"));
    FAIL() << "printed without a printer";
  } catch (const host::OperationError& e) {
    EXPECT_STREQ(e.what(), "Nenhuma impressora configurada");
  }
  EXPECT_TRUE(scratch.entries().empty());
}

TEST_F(ReportComponent,
       SettingAndPathsStopAtTwoHundredFiftyFiveCharactersAndUnknownFormatsAreRefused) {
  printer.setSetting(std::string(300, 'x'));
  EXPECT_EQ(printer.setting().size(), 255u);
  report::PdfExportEngine engine(scratch.file("long.pdf"));
  EXPECT_THROW(
      printer.ExportReport(scratch.path() + "/" + std::string(260, 'a') + ".QR2", {}, engine),
      report::TemplateError);
  EXPECT_NO_THROW(report::makeExportEngine(6, "a.pdf"));
  EXPECT_NO_THROW(report::makeExportEngine(3, "a.xlsx"));
  EXPECT_THROW(report::makeExportEngine(12, "a.x"), host::OperationError);
}

}  // namespace

TEST(WriteFile, AFailureSaysWhichStepFailedAndWhyInTheSystemsWords) {
  auto message = [](const std::string& path) {
    try {
      report::writeFileAtomically(path, "%PDF-1.4");
    } catch (const host::OperationError& e) {
      return std::string(e.what());
    }
    return std::string("<written>");
  };
  const std::string missing = message("/nao-existe-esta-pasta/boleto.pdf");
  EXPECT_NE(missing.find("boleto.pdf"), std::string::npos) << missing;
  EXPECT_NE(missing.find(std::strerror(ENOENT)), std::string::npos) << missing;
  // A folder where the file should go: the temporary file is written, the last step fails,
  // and the cause is that step's, not the clean-up's.
  const auto dir =
      std::filesystem::temp_directory_path() / ("boleto-write-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "ocupado" / "dentro");
  const std::string taken = message((dir / "ocupado").string());
  EXPECT_NE(taken.find(std::strerror(EISDIR)), std::string::npos) << taken;
  EXPECT_EQ(taken.find("Success"), std::string::npos) << taken;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1)
      << "no temporary file is left behind";
  std::filesystem::remove_all(dir);
}
