// The emission screen against the seeded service, with the register's emission lists: the
// file run writing PDF boletos whose bars carry the stored barcode, print and preview runs,
// the typed start number of the pre-printed model, the skips, and failures half-way.

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "emission/ImprimeBol.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "module/CamposValidos.h"
#include "module/Units.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"
#include "report/Report.h"
#include "report/tests/Fixtures.h"

using namespace rec;
namespace fs = std::filesystem;

namespace {

using reporttest::run;

/// Counts the preview pages shown.
class CountPages final : public report::PreviewPort {
 public:
  void showPages(const std::string&, const std::vector<report::PreviewPage>& shown) override {
    ++documents;
    pages += shown.size();
  }
  size_t documents = 0, pages = 0;
};

/// Keeps every printed document (a copy of the PDF) instead of queueing it.
class KeepPrinted final : public report::PrintPort {
 public:
  explicit KeepPrinted(fs::path dir) : dir_(std::move(dir)) {}
  void printPdf(const std::string& pdfPath, const std::string&) override {
    if (failAt_ > 0 && static_cast<int>(files.size()) + 1 == failAt_)
      throw host::OperationError("Impressora desligada");
    fs::path copy = dir_ / ("impresso-" + std::to_string(files.size() + 1) + ".pdf");
    fs::copy_file(pdfPath, copy);
    files.push_back(copy.string());
  }
  void failAt(int n) { failAt_ = n; }
  std::vector<std::string> files;

 private:
  fs::path dir_;
  int failAt_ = 0;
};

struct Stored {
  std::string nosso, barcode, status, model, line;
};

}  // namespace

class Emission : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    settings_.reportDir = (dir_ / "rel").string() + "/";
    useSettings();
    fs::create_directories(dir_ / "rel");
    fs::create_directories(dir_ / "out");
    fs::create_directories(dir_ / "printed");
    printed_ = std::make_shared<KeepPrinted>(dir_ / "printed");
    Cli_rec12002::inBolErro = 0;
  }

  /// The register listing company 04 with the pending boletos of account 001 marked.
  TfrmHabContRec& markedPending(size_t limit = 1000) {
    auto& f = listed();
    {
      host::ScopedFlag marking(f.bMarcaGeral);  // no discount questions while the test marks
      for (size_t r = 1; r <= f.cdsBoletos.recordCount() && keys_.size() < limit; ++r) {
        f.cdsBoletos.setRecNo(r);
        if (f.current("CDREDUCONT").asString() != "001") continue;
        if (f.current("IDSTATBREC").asString() == "E") continue;
        f.Marca_Boleto(false, 'M');
        keys_.push_back(f.current("CDFILIAL").asString() + f.current("NRLANBOLREC").asString());
        before_[keys_.back()] = stored(keys_.back()).nosso;
      }
    }
    EXPECT_GE(keys_.size(), std::min<size_t>(2, limit))
        << "the demo data has pending boletos on account 001";
    f.Atualiza_Emissao(true);
    return f;
  }

  Stored stored(const std::string& key) {
    Stored s;
    soci::indicator i1, i2, i3, i4, i5;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "SELECT CDNOSNUMREC, CDBARRAREC, IDSTATBREC, IDBOLEMITIDO, "
                           "DSLINHABARREC FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(s.nosso, i1),
        soci::into(s.barcode, i2), soci::into(s.status, i3), soci::into(s.model, i4),
        soci::into(s.line, i5);
    return s;
  }

  /// Lists on the service other than the register's own selection list.
  int runLists() {
    return count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA <> '" + Cli_rec12000::stLista + "'");
  }

  /// Points the boleto at a payer that does not exist, so the report has nothing to draw it
  /// from. PostgreSQL checks the key again at every later update of the row: the test
  /// database loses the constraint instead.
  void givePayerNobody(const std::string& key) {
    auto& sql = svc_->db->session();
    const bool pg = svc_->db->dialect() == service::Dialect::PostgreSQL;
    sql << (pg ? "ALTER TABLE BOLRECEBER DROP CONSTRAINT bolreceber_cdcliente_fkey"
               : "PRAGMA foreign_keys = OFF");
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    sql << "UPDATE BOLRECEBER SET CDCLIENTE = 'NINGUEM' WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber);
    if (!pg) sql << "PRAGMA foreign_keys = ON";
  }

  /// The dated folder of the fixture's day: the clock, not the machine, names it.
  std::string todayFolder() const {
    return (dir_ / "out" / "Boletos_Emitidos" / "2026-03-02").string();
  }

  /// Opens the emission screen modally and lets `script` drive it.
  int interactive(TfrmHabContRec& f, std::function<void(TfrmImprimeBol&)> script) {
    screens_->onModal("TfrmImprimeBol", [this, script](host::ScreenModel& s) {
      auto& e = dynamic_cast<TfrmImprimeBol&>(s);
      e.setPrintPort(printed_);
      e.setPreviewPort(preview_);
      script(e);
    });
    return CriaImprimeBol(f.ordemEmissao(), "", false, false);
  }

  std::vector<std::string> keys_;
  std::map<std::string, std::string>
      before_;  ///< nosso número of each marked boleto before the run
  std::shared_ptr<KeepPrinted> printed_;
  std::shared_ptr<CountPages> preview_ = std::make_shared<CountPages>();
};

TEST_F(Emission, FileRunWritesOneDecodablePdfPerBoletoAndMarksThemEmitted) {
  auto& f = markedPending(3);
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  EXPECT_EQ(result, host::mrOk);
  EXPECT_FALSE(Cli_rec12002::FWorking);

  std::vector<fs::path> pdfs;
  for (const auto& e : fs::directory_iterator(todayFolder())) pdfs.push_back(e.path());
  ASSERT_EQ(pdfs.size(), keys_.size());
  std::set<std::string> numbers;
  for (const auto& key : keys_) {
    const Stored s = stored(key);
    EXPECT_EQ(s.status, "E") << key;
    EXPECT_EQ(s.model, "2") << key;
    ASSERT_EQ(s.barcode.size(), 44u) << key;
    EXPECT_TRUE(numbers.insert(s.nosso).second) << "nosso número used twice: " << s.nosso;
    // The file carries the boleto key at the end of its name and the stored codes inside.
    auto pdf = std::find_if(pdfs.begin(), pdfs.end(), [&](const fs::path& p) {
      return p.stem().string().ends_with("_" + key);
    });
    ASSERT_NE(pdf, pdfs.end()) << key;
    EXPECT_NE(run("pdftotext -layout '" + pdf->string() + "' -").find(s.line), std::string::npos)
        << "typed line " << s.line;
    const fs::path png = dir_ / ("page-" + key);
    run("pdftoppm -r 300 -f 1 -l 1 -png '" + pdf->string() + "' '" + png.string() + "'");
    std::string decoded;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().starts_with("page-" + key))
        decoded += run("zbarimg --raw -q '" + e.path().string() + "'");
    EXPECT_NE(decoded.find(s.barcode), std::string::npos) << key << ": " << decoded;
  }
  EXPECT_EQ(runLists(), 0) << "the run's list is gone";
  EXPECT_EQ(
      count("SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA <> '" + Cli_rec12000::stLista + "'"), 0);
  // No barcode image is left behind in the temporary directory.
  for (const auto& e : fs::directory_iterator(host::DirWinTemp()))
    for (const auto& key : keys_)
      EXPECT_EQ(e.path().string().find(stored(key).barcode), std::string::npos) << e.path();
}

TEST_F(Emission, ReissueReprintAndPreviewNeverChangeAStoredNumberBarcodeOrLine) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  const std::string out = (dir_ / "out").string();
  ASSERT_EQ(CriaImprimeBol(f.ordemEmissao(), out, false, true), host::mrOk);
  std::map<std::string, Stored> first;
  for (const auto& key : keys_) {
    first[key] = stored(key);
    ASSERT_EQ(first[key].barcode.size(), 44u) << key;
  }
  auto unchanged = [&](const char* what) {
    for (const auto& key : keys_) {
      const Stored now = stored(key);
      EXPECT_EQ(now.nosso, first[key].nosso) << what << ", " << key;
      EXPECT_EQ(now.barcode, first[key].barcode) << what << ", " << key;
      EXPECT_EQ(now.line, first[key].line) << what << ", " << key;
    }
  };
  // The emission order now carries the numbers given: a reissue from it.
  ASSERT_EQ(CriaImprimeBol(f.ordemEmissao(), out, true, false), host::mrOk);
  unchanged("reissue");
  // A list loaded before the first run (another operator's, or this one's kept open) knows
  // nothing of those numbers: the service's are printed, no new one is taken.
  auto& order = f.cdsBolEmitOrd;
  for (order.first(); !order.eof(); order.next()) {
    order.edit();
    order.fieldByName("CDNOSNUMREC").setString("");
    order.fieldByName("CDBARRAREC").setString("");
    order.post();
  }
  ASSERT_EQ(CriaImprimeBol(f.ordemEmissao(), out, true, false), host::mrOk);
  unchanged("reissue from a list loaded before the numbers");
  EXPECT_EQ(interactive(f, [](TfrmImprimeBol& e) { e.control("sbtPreview").click(); }), host::mrOk);
  unchanged("preview");
  EXPECT_EQ(interactive(f, [](TfrmImprimeBol& e) { e.control("sbtPrint").click(); }), host::mrOk);
  unchanged("print");
  // Every file written carries the codes stored for its boleto.
  for (const auto& e : fs::directory_iterator(todayFolder())) {
    const std::string key = e.path().stem().string().substr(e.path().stem().string().size() - 14);
    EXPECT_NE(run("pdftotext -layout '" + e.path().string() + "' -").find(first[key].line),
              std::string::npos)
        << e.path();
  }
  int fresh = 0;
  for (const auto& key : keys_) fresh += before_[key].empty();
  EXPECT_EQ(count("SELECT CAST(NRSEQUENCIA AS INTEGER) FROM SEQUENCIA WHERE CDEMPRESA = '04' AND "
                  "NMSEQUENCIA = 'NOSSONUMERO001'"),
            fresh)
      << "one value of the counter for each boleto that had no number, none for the reissues";
}

TEST_F(Emission, PrintingAgainAfterAFailedPrintKeepsTheNumbersAlreadyGiven) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  printed_->failAt(2);
  dialogs_->expectError("Impressora desligada");
  std::map<std::string, std::string> afterFailure;
  const int result = interactive(f, [&](TfrmImprimeBol& e) {
    e.control("sbtPrint").click();
    for (const auto& key : keys_) afterFailure[key] = stored(key).nosso;
    // The emission order carries what the service stored for the boletos numbered so far.
    auto& order = f.cdsBolEmitOrd;
    for (order.first(); !order.eof(); order.next()) {
      const std::string key =
          order.valueOf("CDFILIAL").asString() + order.valueOf("NRLANBOLREC").asString();
      EXPECT_EQ(order.valueOf("CDNOSNUMREC").asString(), afterFailure[key]) << key;
      EXPECT_EQ(order.valueOf("CDBARRAREC").asString(), stored(key).barcode) << key;
    }
    printed_->failAt(0);
    e.control("sbtPrint").click();
  });
  EXPECT_EQ(result, host::mrOk);
  int numberedBefore = 0;
  for (const auto& key : keys_) {
    if (afterFailure[key].empty()) continue;
    ++numberedBefore;
    EXPECT_EQ(stored(key).nosso, afterFailure[key]) << key << " renumbered by the second press";
  }
  EXPECT_EQ(numberedBefore, 2) << "the printed boleto and the one whose print failed";
  for (const auto& key : keys_) EXPECT_EQ(stored(key).status, "E") << key;
  EXPECT_EQ(printed_->files.size(), 4u);
}

TEST_F(Emission, AnOrderLackingAColumnOfItsTableIsRefusedBeforeAnythingIsNumbered) {
  auto& f = markedPending(2);
  // Without its status column every boleto of the order would read as not yet emitted.
  host::ClientDataset partial("cdsBolEmitOrd");
  std::vector<host::FieldDef> defs;
  for (const auto& d : records::cdsBolEmitOrd().fields())
    if (d.name != "FTR_IDSTATBREC") defs.push_back(d);
  partial.setFieldDefs(defs);
  partial.createDataset();
  const records::EmissionOrder whole = f.ordemEmissao();
  const records::EmissionOrder broken{.klEmissao = whole.klEmissao,
                                      .klCarteira = whole.klCarteira,
                                      .klContas = whole.klContas,
                                      .cdsBolEmitOrd = partial,
                                      .CDEMPRESA = whole.CDEMPRESA,
                                      .IDSISDOS = whole.IDSISDOS,
                                      .IDEXIBDADORC = whole.IDEXIBDADORC,
                                      .AplicaOrdemImpres = whole.AplicaOrdemImpres,
                                      .BaixaRelatorio = whole.BaixaRelatorio};
  try {
    CriaImprimeBol(broken, (dir_ / "out").string(), false, true);
    ADD_FAILURE() << "the order was taken";
  } catch (const host::InvariantError& e) {
    EXPECT_STREQ(e.what(), "cdsBolEmitOrd has no field FTR_IDSTATBREC");
  }
  for (const auto& key : keys_) {
    EXPECT_EQ(stored(key).nosso, before_[key]) << key;
    EXPECT_NE(stored(key).status, "E") << key;
  }
  EXPECT_FALSE(fs::exists(todayFolder()));
}

TEST_F(Emission, TheDatedFolderIsTheClocksDay) {
  clock_->set(host::DateTime::fromYmdHms(2026, 3, 3, 0, 0, 1));  // just past midnight
  auto& f = markedPending(1);
  ASSERT_EQ(CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true), host::mrOk);
  std::vector<std::string> folders, files;
  for (const auto& e : fs::directory_iterator(dir_ / "out" / "Boletos_Emitidos"))
    folders.push_back(e.path().filename().string());
  EXPECT_EQ(folders, std::vector<std::string>{"2026-03-03"});
  for (const auto& e : fs::directory_iterator(dir_ / "out" / "Boletos_Emitidos" / "2026-03-03"))
    files.push_back(e.path().stem().string());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].ends_with("_" + keys_[0])) << files[0];
}

TEST_F(Emission, AMissingTemplateStopsBeforeAnythingIsNumbered) {
  auto& f = markedPending(2);
  svc_->db->session()
      << "UPDATE CONTCORR SET DSARQBOLCOMP = 'NAOEXISTE.QR2' WHERE CDREDUCONT = '001'";
  dialogs_->expectError("Modelo de boleto completo não cadastrado.");
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  EXPECT_NE(result, host::mrOk);
  for (const auto& key : keys_) {
    EXPECT_EQ(stored(key).nosso, before_[key]) << key;
    EXPECT_NE(stored(key).status, "E") << key;
  }
  EXPECT_FALSE(fs::exists(todayFolder()));
  EXPECT_EQ(runLists(), 0);
}

TEST_F(Emission, AFailureHalfWayKeepsWhatWasDoneAndStillDeletesTheList) {
  auto& f = markedPending(3);
  printed_->failAt(2);
  dialogs_->expectError("Impressora desligada");
  const int result = interactive(f, [](TfrmImprimeBol& e) { e.control("sbtPrint").click(); });
  EXPECT_NE(result, host::mrOk) << "a failed run is not a completed one";
  ASSERT_EQ(printed_->files.size(), 1u);
  int emitted = 0;
  for (const auto& key : keys_) emitted += stored(key).status == "E";
  EXPECT_EQ(emitted, 1) << "the boleto printed before the failure stays emitted, the others wait";
  EXPECT_EQ(runLists(), 0);
}

TEST_F(Emission, ARunThatFitsTheRangeExactlyNumbersEveryBoletoAndOneMoreIsRefusedFirst) {
  // Account 001 checks its range, which ends one number after the counter's next.
  auto& sql = svc_->db->session();
  const std::string counter = "NOSSONUMERO001", next = "5000", last = "5001";
  sql << "DELETE FROM SEQUENCIA WHERE CDEMPRESA = '04' AND NMSEQUENCIA = :n", soci::use(counter);
  sql << "INSERT INTO SEQUENCIA (CDEMPRESA, NMSEQUENCIA, NRSEQUENCIA) VALUES ('04', :n, '4999')",
      soci::use(counter);
  sql << "UPDATE CONTCORR SET IDVERFXNUMC = 'S', NRININOSNUMC = '1', NRFIMNOSNUMC = :e WHERE "
         "CDEMPRESA = '04' AND CDREDUCONT = '001'",
      soci::use(last);

  {
    // Three boletos for two numbers: refused before any is numbered.
    auto& f = markedPending(3);
    ASSERT_EQ(keys_.size(), 3u);
    dialogs_->expectError("Nosso número fora da faixa parametrizada");
    const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
    EXPECT_NE(result, host::mrOk);
    for (const auto& key : keys_) EXPECT_EQ(stored(key).nosso, before_[key]) << key;
    f.close();
  }
  keys_.clear();
  auto& f = markedPending(2);
  ASSERT_EQ(keys_.size(), 2u);
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  EXPECT_EQ(result, host::mrOk) << "two boletos, two numbers left in the range";
  std::set<std::string> numbers;
  for (const auto& key : keys_) {
    EXPECT_EQ(stored(key).status, "E") << key;
    numbers.insert(stored(key).nosso);
  }
  EXPECT_EQ(numbers.size(), 2u);
  EXPECT_EQ(count("SELECT COUNT(*) FROM SEQUENCIA WHERE CDEMPRESA = '04' AND NMSEQUENCIA = "
                  "'NOSSONUMERO001' AND NRSEQUENCIA = '" +
                  last + "'"),
            1)
      << "the counter stops at the range's last number, " << next << " and " << last << " given";
}

TEST_F(Emission, AFileThatCannotBeWrittenStopsTheRunAndOnlyWrittenBoletosAreEmitted) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  // The report finds no payer for this boleto, so its PDF cannot be drawn.
  givePayerNobody(keys_[1]);
  dialogs_->expectError("não tem dados para imprimir");
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  EXPECT_NE(result, host::mrOk);
  EXPECT_FALSE(Cli_rec12002::FWorking);
  std::set<std::string> written;
  for (const auto& e : fs::directory_iterator(todayFolder()))
    written.insert(e.path().stem().string().substr(e.path().stem().string().size() - 14));
  EXPECT_FALSE(written.count(keys_[1]));
  for (const auto& key : keys_)
    EXPECT_EQ(stored(key).status == "E", written.count(key) == 1)
        << key << ": emitted exactly when its file was written";
  EXPECT_EQ(runLists(), 0);
}

TEST_F(Emission, OneFileRunPutsEveryBoletoOnAPageOfItsOwnInPrintOrder) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  setArquivoUnicoInicial(true);
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  setArquivoUnicoInicial(false);
  EXPECT_EQ(result, host::mrOk);

  std::vector<fs::path> pdfs;
  for (const auto& e : fs::directory_iterator(todayFolder())) pdfs.push_back(e.path());
  ASSERT_EQ(pdfs.size(), 1u) << "one file for the whole run";
  EXPECT_TRUE(pdfs[0].filename().string().starts_with("Boletos_")) << pdfs[0];
  // The print order is the order the emission walked.
  std::vector<std::string> order;
  auto& ds = f.ordemEmissao().cdsBolEmitOrd;
  for (ds.first(); !ds.eof(); ds.next())
    order.push_back(ds.valueOf("CDFILIAL").asString() + ds.valueOf("NRLANBOLREC").asString());
  ASSERT_EQ(order.size(), keys_.size());
  const std::string text = run("pdftotext -layout '" + pdfs[0].string() + "' -");
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\f')), order.size())
      << "a page per boleto";
  for (size_t page = 1; page <= order.size(); ++page) {
    const Stored s = stored(order[page - 1]);
    EXPECT_EQ(s.status, "E") << order[page - 1];
    const std::string png = (dir_ / ("one-" + std::to_string(page))).string();
    run(fmt::format("pdftoppm -r 300 -f {0} -l {0} -singlefile -png '{1}' '{2}'", page,
                    pdfs[0].string(), png));
    EXPECT_EQ(run("zbarimg --raw -q '" + png + ".png'"), s.barcode + "\n") << "page " << page;
  }
  EXPECT_EQ(runLists(), 0);
}

TEST_F(Emission, OneFileRunThatCannotDrawABoletoWritesNothingAndEmitsNone) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  givePayerNobody(keys_[2]);
  dialogs_->expectError("não tem dados para imprimir");
  setArquivoUnicoInicial(true);
  const int result = CriaImprimeBol(f.ordemEmissao(), (dir_ / "out").string(), false, true);
  setArquivoUnicoInicial(false);
  EXPECT_NE(result, host::mrOk);
  EXPECT_TRUE(fs::is_empty(todayFolder()));
  for (const auto& key : keys_) {
    const Stored s = stored(key);
    EXPECT_NE(s.status, "E") << key << ": not emitted without its file";
    // A number given stays with its boleto for the next run.
    if (!before_[key].empty()) {
      EXPECT_EQ(s.nosso, before_[key]) << key;
    }
  }
  EXPECT_EQ(runLists(), 0);
}

TEST_F(Emission, InvoiceModelPrintsThreeCopiesWithTheCopyMarkOnTheFirst) {
  auto& f = markedPending(1);
  ASSERT_EQ(keys_.size(), 1u);
  const int result = interactive(f, [](TfrmImprimeBol& e) {
    ASSERT_EQ(e.control("cbbModeloRel").items().size(), 3u) << "company 04 prints the invoice A4";
    EXPECT_EQ(e.control("cbbModeloRel").items()[2], "Nota Fiscal A4");
    e.control("cbbModeloRel").choose(2);
    e.control("sbtPrint").click();
  });
  EXPECT_EQ(result, host::mrOk);
  ASSERT_EQ(printed_->files.size(), 3u);
  EXPECT_NE(run("pdftotext '" + printed_->files[0] + "' -").find("1º VIA - CLIENTE"),
            std::string::npos);
  EXPECT_NE(run("pdftotext '" + printed_->files[1] + "' -").find("2º VIA - FIXA"),
            std::string::npos);
  EXPECT_NE(run("pdftotext '" + printed_->files[2] + "' -").find("2º VIA - FIXA"),
            std::string::npos);
  EXPECT_EQ(stored(keys_[0]).status, "E");
}

TEST_F(Emission, BoletosEmittedOnTheOtherModelAreSkippedAndTheRestGoesOn) {
  auto& f = markedPending(2);
  // The first boleto was emitted before on the pre-printed form.
  const std::string k0 = f.klEmissao.Key(0);
  auto entry = f.klEmissao.Sum(0).array();
  entry[3] = std::string("1");
  f.klEmissao.Add(k0, entry);
  dialogs_->expectInformation("foi emitido para outro modelo de impressão : " +
                              entry[0].asString() + " - " + entry[1].asString());
  const int result = interactive(f, [](TfrmImprimeBol& e) { e.control("sbtPrint").click(); });
  EXPECT_EQ(result, host::mrOk);
  EXPECT_EQ(printed_->files.size(), 1u);
  EXPECT_EQ(stored(k0.substr(0, 14)).nosso, before_[k0.substr(0, 14)])
      << "the skipped boleto is not numbered";
  EXPECT_NE(stored(k0.substr(0, 14)).status, "E");
}

TEST_F(Emission, TypedStartNumberOfThePrePrintedModel) {
  auto& f = markedPending(2);
  std::string proposal;
  auto attempt = [&](const std::string& typed) {
    return interactive(f, [&](TfrmImprimeBol& e) {
      proposal = Cli_rec12002::stNossNumProposto;
      e.control("cbbModeloRel").choose(0);
      EXPECT_TRUE(e.control("ccbGeraNossum").enabled());
      e.control("ccbGeraNossum").toggle();
      EXPECT_FALSE(e.control("medNossNum").readOnly());
      e.control("medNossNum").type(typed.empty() ? proposal : typed);
      e.control("sbtPrint").click();
    });
  };
  // The proposal's shape with a letter in its number: refused.
  std::string bad;
  interactive(f, [&](TfrmImprimeBol& e) {
    bad = Cli_rec12002::stNossNumProposto;
    e.control("sbtCancelar").click();
  });
  dialogs_->expectError("Nosso número inválido.");
  ASSERT_FALSE(bad.empty());
  bad[bad.find_first_of("0123456789")] = 'A';
  EXPECT_NE(attempt(bad), host::mrOk);
  // The proposal without its check character.
  if (proposal.find('-') != std::string::npos) {
    dialogs_->expectError("Dígito verificador do nosso número deve ser informado.");
    std::string noDash = proposal;
    noDash[noDash.find('-')] = '0';
    EXPECT_NE(attempt(noDash), host::mrOk);
    dialogs_->expectError("Dígito verificador do nosso número é inválido.");
    std::string wrong = proposal;
    char& dv = wrong.back();
    dv = dv == '0' ? '1' : '0';
    EXPECT_NE(attempt(wrong), host::mrOk);
  }
  for (const auto& key : keys_)
    EXPECT_EQ(stored(key).nosso, before_[key]) << "refused runs number nothing";

  // The proposal itself: the run numbers from it on, each boleto its own number.
  EXPECT_EQ(attempt(""), host::mrOk);
  std::set<std::string> numbers;
  for (const auto& key : keys_) {
    const Stored s = stored(key);
    EXPECT_EQ(s.status, "E");
    EXPECT_EQ(s.model, "1");
    EXPECT_EQ(s.barcode, "") << "a pre-printed boleto carries no barcode";
    EXPECT_TRUE(numbers.insert(s.nosso).second) << s.nosso;
  }
  EXPECT_TRUE(numbers.count(proposal)) << "the first boleto takes the typed number " << proposal;
}

TEST_F(Emission, TestBoletoPrintsTheExampleAndLeavesTheScreenOpen) {
  auto& f = markedPending(2);
  const int result = interactive(f, [](TfrmImprimeBol& e) {
    e.control("chbTeste").toggle();
    e.control("sbtPrint").click();
    EXPECT_TRUE(e.isOpen());
    e.control("sbtCancelar").click();
  });
  EXPECT_EQ(result, host::mrCancel);
  ASSERT_EQ(printed_->files.size(), 1u);
  EXPECT_NE(run("pdftotext '" + printed_->files[0] + "' -").find("BOLETO DE TESTE"),
            std::string::npos);
  for (const auto& key : keys_) EXPECT_EQ(stored(key).nosso, before_[key]);
}

TEST_F(Emission, PreviewNumbersAndMarksLikePrintButWritesPictures) {
  auto& f = markedPending(2);
  const int result = interactive(f, [](TfrmImprimeBol& e) { e.control("sbtPreview").click(); });
  EXPECT_EQ(result, host::mrOk);
  EXPECT_TRUE(printed_->files.empty());
  EXPECT_EQ(preview_->documents, keys_.size()) << "one preview per boleto";
  for (const auto& key : keys_) EXPECT_EQ(stored(key).status, "E");
}

// ------------------------------------------------------------------ save as

class SaveAs : public Emission {
 protected:
  /// Files in the save folder, by name.
  std::vector<fs::path> saved() const {
    std::vector<fs::path> files;
    if (fs::exists(dir_ / "saved"))
      for (const auto& e : fs::directory_iterator(dir_ / "saved")) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }
  /// The names the save dialogs proposed, in order.
  std::vector<std::string> proposed() const {
    std::vector<std::string> names;
    for (const auto& d : dialogs_->shown())
      if (d.kind == host::ScriptedDialogs::Kind::Save) names.push_back(d.text);
    return names;
  }
  /// Answers the next save dialog with `name` in the save folder.
  void saveAs(const std::string& name) {
    fs::create_directories(dir_ / "saved");
    dialogs_->expectSave((dir_ / "saved" / name).string());
  }
  int saveRun(TfrmHabContRec& f, const std::string& item, int model = 1) {
    return interactive(f, [&](TfrmImprimeBol& e) {
      e.control("cbbModeloRel").choose(model);
      EXPECT_FALSE(e.control("pmnSalvarComo").visible());
      e.control("sbtSalvarComo").click();
      ASSERT_TRUE(e.control("pmnSalvarComo").visible()) << "the formats' menu opens";
      e.control(item).click();
    });
  }
};

TEST_F(SaveAs, TheMenuOffersTheTwelveFormatsAfterTheTemplateCheck) {
  auto& f = markedPending(1);
  svc_->db->session()
      << "UPDATE CONTCORR SET DSARQBOLCOMP = 'NAOEXISTE.QR2' WHERE CDREDUCONT = '001'";
  dialogs_->expectError("Modelo de boleto completo não cadastrado.");
  interactive(f, [](TfrmImprimeBol& e) {
    e.control("sbtSalvarComo").click();
    EXPECT_FALSE(e.control("pmnSalvarComo").visible()) << "no menu after a failed check";
    ASSERT_EQ(TfrmImprimeBol::saveAsItems().size(), 12u);
    EXPECT_EQ(e.control("mnuSalvarTexto").caption(), "Documento Texto (*.txt)");
    EXPECT_EQ(e.control("mnuSalvarPDF").caption(), "Documento Adobe Acrobat (*.pdf)");
    EXPECT_EQ(e.control("mnuSalvarEMF").caption(), "Extented Metafile (*.emf)");
    e.control("sbtCancelar").click();
  });
  EXPECT_EQ(stored(keys_[0]).nosso, before_[keys_[0]]);
}

TEST_F(SaveAs, PdfWritesOneFilePerBoletoEachNamedAfterItsOwnBoleto) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  for (int i = 0; i < 3; ++i) saveAs("boleto-" + std::to_string(i));
  EXPECT_EQ(saveRun(f, "mnuSalvarPDF"), host::mrOk);
  EXPECT_FALSE(Cli_rec12002::FWorking);

  const std::vector<std::string> names = proposed();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 3u)
      << "each boleto proposes its own name";
  auto& order = f.cdsBolEmitOrd;
  for (const auto& name : names) {
    EXPECT_TRUE(name.starts_with(host::ReportDir())) << name;
    EXPECT_TRUE(name.ends_with(".pdf")) << name;
    const std::string key = name.substr(name.size() - 4 - 14, 14);
    ASSERT_TRUE(order.locate(records::kBoletoKeyFields, {key.substr(0, 4), key.substr(4)})) << name;
    const std::string due = order.valueOf("FTR_DTVENBOLREC").asDate().format("ddmmyyyy");
    const std::string payer = CamposValidos(order.valueOf("NRINSJURCLIE").asString());
    EXPECT_EQ(fs::path(name).filename().string().substr(0, payer.size() + due.size() + 2),
              payer + "_" + due + "_")
        << name;
  }
  const auto files = saved();
  ASSERT_EQ(files.size(), 3u);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string key = names[i].substr(names[i].size() - 4 - 14, 14);
    const Stored s = stored(key);
    EXPECT_EQ(s.status, "E") << key;
    ASSERT_EQ(s.barcode.size(), 44u) << key;
    EXPECT_NE(run("pdftotext -layout '" + files[i].string() + "' -").find(s.line),
              std::string::npos)
        << files[i];
  }
  const fs::path png = dir_ / "saved-page";
  run("pdftoppm -r 300 -f 1 -l 1 -png '" + files[0].string() + "' '" + png.string() + "'");
  std::string decoded;
  for (const auto& e : fs::directory_iterator(dir_))
    if (e.path().filename().string().starts_with("saved-page"))
      decoded += run("zbarimg --raw -q '" + e.path().string() + "'");
  const std::string key0 = names[0].substr(names[0].size() - 4 - 14, 14);
  EXPECT_NE(decoded.find(stored(key0).barcode), std::string::npos) << decoded;
  EXPECT_EQ(runLists(), 0);
}

TEST_F(SaveAs, ACancelledDialogWritesNoFileAndTheRunGoesOn) {
  auto& f = markedPending(3);
  ASSERT_EQ(keys_.size(), 3u);
  dialogs_->expectSave(std::nullopt);
  saveAs("segundo");
  dialogs_->expectSave(std::nullopt);
  EXPECT_EQ(saveRun(f, "mnuSalvarGIF"), host::mrOk);
  const auto files = saved();
  ASSERT_EQ(files.size(), 1u) << "only the confirmed dialog wrote a file";
  EXPECT_EQ(files[0].filename(), "segundo.gif");
  EXPECT_NE(run("file -b '" + files[0].string() + "'").find("GIF image"), std::string::npos);
  // The picture carries the bars of the second boleto saved.
  const std::string key1 = proposed()[1].substr(proposed()[1].size() - 4 - 14, 14);
  EXPECT_NE(run("zbarimg --raw -q '" + files[0].string() + "'").find(stored(key1).barcode),
            std::string::npos);
  for (const auto& key : keys_) {
    const Stored s = stored(key);
    EXPECT_FALSE(s.nosso.empty()) << key << ": numbered, saved or not";
    EXPECT_EQ(s.status, "E") << key << ": marked emitted, saved or not";
  }
}

TEST_F(SaveAs, PrePrintedModelSavesEachBoletoWithItsNumberAndMarksTheListOnce) {
  auto& f = markedPending(2);
  ASSERT_EQ(keys_.size(), 2u);
  saveAs("um");
  saveAs("dois");
  EXPECT_EQ(saveRun(f, "mnuSalvarTexto", 0), host::mrOk);
  const auto files = saved();
  ASSERT_EQ(files.size(), 2u);
  const std::vector<std::string> names = proposed();
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string key = names[i].substr(names[i].size() - 4 - 14, 14);
    const Stored s = stored(key);
    EXPECT_EQ(s.status, "E");
    EXPECT_EQ(s.model, "1");
    ASSERT_FALSE(s.nosso.empty());
    std::ifstream in(dir_ / "saved" / (i == 0 ? "um.txt" : "dois.txt"));
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find(s.nosso), std::string::npos) << key << " carries its nosso número";
  }
}

TEST_F(SaveAs, TestBoletoIsSavedAndTheScreenStaysOpen) {
  auto& f = markedPending(1);
  saveAs("teste");
  const int result = interactive(f, [](TfrmImprimeBol& e) {
    e.control("chbTeste").toggle();
    e.control("sbtSalvarComo").click();
    e.control("mnuSalvarRTF").click();
    EXPECT_TRUE(e.isOpen());
    e.control("sbtCancelar").click();
  });
  EXPECT_EQ(result, host::mrCancel);
  ASSERT_EQ(saved().size(), 1u);
  std::ifstream in(saved()[0]);
  const std::string rtf((std::istreambuf_iterator<char>(in)), {});
  EXPECT_TRUE(rtf.starts_with("{\\rtf1"));
  EXPECT_NE(rtf.find("BOLETO DE TESTE"), std::string::npos);
  EXPECT_EQ(stored(keys_[0]).nosso, before_[keys_[0]]) << "a test boleto numbers nothing";
}
