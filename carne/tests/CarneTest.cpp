// The carnê from the register against the seeded service: the saved PDF holds three boletos
// a page whose bars decode in print order, unnumbered boletos are numbered and numbered ones
// keep their numbers, related instalments come once, and preview records nothing.

#include <fmt/format.h>

#include <filesystem>
#include <map>
#include <set>

#include "carne/Cli_rec01200.h"
#include "host/Consiste.h"
#include "host/ScopedFlag.h"
#include "register/tests/RegisterFixture.h"
#include "report/Report.h"
#include "report/tests/Fixtures.h"
#include "service/Seed.h"

using namespace rec;
namespace fs = std::filesystem;
using reporttest::run;

namespace {

/// Keeps every printed PDF instead of queueing it.
class KeepPrinted final : public report::PrintPort {
 public:
  explicit KeepPrinted(fs::path dir) : dir_(std::move(dir)) {}
  void printPdf(const std::string& pdfPath, const std::string&) override {
    fs::path copy = dir_ / ("impresso-" + std::to_string(files.size() + 1) + ".pdf");
    fs::copy_file(pdfPath, copy);
    files.push_back(copy.string());
  }
  std::vector<std::string> files;

 private:
  fs::path dir_;
};

class CountPages final : public report::PreviewPort {
 public:
  void showPages(const std::string&, const std::vector<report::PreviewPage>& shown) override {
    pages += shown.size();
  }
  size_t pages = 0;
};

struct Stored {
  std::string nosso, barcode, status;
};

}  // namespace

class Carne : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    // Pending boletos of account 001 enough for two pages.
    service::SeedOptions more;
    more.demo = false;
    more.extraBoletos = 9;
    more.today = clock_->today();
    service::seed(*svc_->db, more);
    settings_.reportDir = (dir_ / "rel").string() + "/";
    useSettings();
    fs::create_directories(dir_ / "rel");
    fs::create_directories(dir_ / "printed");
    printed_ = std::make_shared<KeepPrinted>(dir_ / "printed");
    InstalaImprimeCarne();
  }

  /// The register listing company 04 with up to `limit` pending boletos of account 001
  /// marked (the first ones of the list, or those of `only`).
  TfrmHabContRec& marked(size_t limit, const std::set<std::string>& only = {}) {
    auto& f = listed();
    host::ScopedFlag marking(f.bMarcaGeral);
    for (size_t r = 1; r <= f.cdsBoletos.recordCount() && keys_.size() < limit; ++r) {
      f.cdsBoletos.setRecNo(r);
      const std::string key =
          f.current("CDFILIAL").asString() + f.current("NRLANBOLREC").asString();
      if (!only.empty() ? !only.count(key)
                        : f.current("CDREDUCONT").asString() != "001" ||
                              f.current("IDSTATBREC").asString() == "E")
        continue;
      f.Marca_Boleto(false, 'M');
      keys_.push_back(key);
      before_[key] = stored(key).nosso;
    }
    return f;
  }

  /// Pending boletos of account 001 in branch 0001, by number.
  std::vector<std::string> pending(size_t n) {
    std::vector<std::string> out;
    soci::rowset<std::string> rows =
        (svc_->db->session().prepare
         << "SELECT CDFILIAL || NRLANBOLREC FROM BOLRECEBER WHERE CDEMPRESA = '04' AND "
            "CDREDUCONT = '001' AND CDFILIAL = '0001' AND IDSTATBREC <> 'E' ORDER BY NRLANBOLREC");
    for (const auto& k : rows)
      if (out.size() < n) out.push_back(k);
    return out;
  }

  Stored stored(const std::string& key) {
    Stored s;
    soci::indicator i1, i2, i3;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "SELECT CDNOSNUMREC, CDBARRAREC, IDSTATBREC FROM BOLRECEBER WHERE "
                           "CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(s.nosso, i1),
        soci::into(s.barcode, i2), soci::into(s.status, i3);
    return s;
  }

  /// Runs "Emitir Carnê" with `script` on the carnê screen; the register's answer.
  void carne(TfrmHabContRec& f, std::function<void(TfrmImprimeCarne&)> script) {
    screens_->onModal("TfrmImprimeCarne", [this, script](host::ScreenModel& s) {
      auto& c = dynamic_cast<TfrmImprimeCarne&>(s);
      c.setPrintPort(printed_);
      c.setPreviewPort(preview_);
      script(c);
    });
    f.mnuCarneClick();
  }

  /// The barcode read from each third of each page of `pdf`, page by page.
  std::vector<std::string> decodeThirds(const std::string& pdf, int pages) {
    std::vector<std::string> out;
    // 300 dpi: the 10 mm margin is 118 pixels, a band of 92 mm is 1087.
    for (int page = 1; page <= pages; ++page) {
      for (int third = 0; third < 3; ++third) {
        const std::string png = (dir_ / fmt::format("p{}-{}", page, third)).string();
        run(
            fmt::format("pdftoppm -r 300 -f {0} -l {0} -x 0 -y {1} -W 2480 -H 1087 -singlefile "
                        "-png '{2}' '{3}'",
                        page, 118 + third * 1087, pdf, png));
        std::string code = run("zbarimg --raw -q '" + png + ".png'");
        while (!code.empty() && (code.back() == '\n' || code.back() == '\r')) code.pop_back();
        out.push_back(code);
      }
    }
    return out;
  }

  std::vector<std::string> keys_;
  std::map<std::string, std::string> before_;
  std::shared_ptr<KeepPrinted> printed_;
  std::shared_ptr<CountPages> preview_ = std::make_shared<CountPages>();
};

TEST_F(Carne, SavedCarneHoldsThreeBoletosAPageAndEachDecodesInPrintOrder) {
  // One boleto carries a number already: the carnê prints it with that number.
  const auto four = pending(4);
  ASSERT_EQ(four.size(), 4u) << "the demo data has pending boletos on account 001";
  auto& f = marked(4, {four.begin(), four.end()});
  ASSERT_EQ(keys_.size(), 4u);
  const std::string pdf = (dir_ / "carne.pdf").string();
  std::vector<std::string> order;
  carne(f, [&](TfrmImprimeCarne& c) {
    EXPECT_EQ(c.arquivoRelatorio(), "REC012CARNE.QR2");
    ASSERT_TRUE(c.run([&] { c.SalvarPdf(pdf); }));
    order = c.ordem();
  });
  ASSERT_EQ(order.size(), 4u);
  EXPECT_TRUE(f.cdsMarca.isEmpty()) << "a carnê that went out drops the marks";
  const std::string text = run("pdftotext -layout '" + pdf + "' -");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << "four boletos: two pages";

  const auto decoded = decodeThirds(pdf, 2);
  std::set<std::string> numbers;
  for (size_t i = 0; i < order.size(); ++i) {
    const Stored s = stored(order[i]);
    ASSERT_EQ(s.barcode.size(), 44u) << order[i] << " was numbered";
    EXPECT_EQ(decoded[i], s.barcode) << "slip " << i + 1 << " is " << order[i];
    EXPECT_EQ(s.status, "E") << order[i];
    if (!before_[order[i]].empty()) {
      EXPECT_EQ(s.nosso, before_[order[i]]) << "number kept";
    }
    EXPECT_TRUE(numbers.insert(s.nosso).second) << "nosso número used twice: " << s.nosso;
  }
  EXPECT_EQ(decoded[4], "") << "the last third of the second page is blank";
  EXPECT_EQ(decoded[5], "");
}

TEST_F(Carne, PreviewRecordsNothingAndPrintingAfterItNamesEachBoletoOnce) {
  auto& f = marked(2);
  ASSERT_EQ(keys_.size(), 2u);
  carne(f, [&](TfrmImprimeCarne& c) {
    c.sbtVisualizarClick();
    EXPECT_GE(preview_->pages, 1u);
    for (const auto& k : keys_) EXPECT_NE(stored(k).status, "E") << "preview emits nothing";
    c.sbtImprimirClick();
    const std::string expected = "_" + c.ordem()[0].substr(4) + "_" + c.ordem()[1].substr(4);
    EXPECT_EQ(c.parametroLancamentos(), expected);
    EXPECT_EQ(c.parametroFilial(), c.ordem()[1].substr(0, 4));
    EXPECT_EQ(c.modalResult(), host::mrOk);
  });
  ASSERT_EQ(printed_->files.size(), 1u);
  for (const auto& k : keys_) EXPECT_EQ(stored(k).status, "E") << k;
}

TEST_F(Carne, RelatedInstalmentsComeOnceWhenTwoMarkedBoletosShareThem) {
  const auto three = pending(3);
  ASSERT_EQ(three.size(), 3u);
  // Three boletos of one origin, the first its own: instalments 01, 02 and 03.
  auto& sql = svc_->db->session();
  for (size_t i = 0; i < 3; ++i) {
    const std::string origin = three[0].substr(4);
    const std::string instalment = fmt::format("{:02}", i + 1);
    const std::string keyBranch = three[i].substr(0, 4);
    const std::string keyNumber = three[i].substr(4);
    sql << "UPDATE BOLRECEBER SET NRORIGBOLREC = :o, NRPARCBOLREC = :p WHERE CDFILIAL = :f AND "
           "NRLANBOLREC = :n",
        soci::use(origin), soci::use(instalment), soci::use(keyBranch), soci::use(keyNumber);
  }
  auto& f = marked(2, {three[0], three[2]});
  ASSERT_EQ(keys_.size(), 2u);
  std::vector<std::string> order;
  carne(f, [&](TfrmImprimeCarne& c) {
    c.control("chbParcelas").setChecked(true);
    ASSERT_TRUE(c.run([&] { c.SalvarPdf((dir_ / "parcelas.pdf").string()); }));
    order = c.ordem();
    EXPECT_EQ(c.Parametro("P_CONTREC").asString(), "S");
  });
  EXPECT_EQ(order, three) << "each instalment once, in instalment order";
  EXPECT_EQ(stored(three[1]).status, "E") << "the unmarked instalment went out too";
}

TEST_F(Carne, AMissingReportStopsBeforeAnythingIsNumbered) {
  auto& f = marked(2);
  dialogs_->expectError("não foi encontrado no diretório");
  carne(f, [&](TfrmImprimeCarne& c) {
    c.setRefresh([](const std::string&) {});  // the service's copy is not fetched
    c.control("sbtImprimir").click();
    c.sbtFecharClick();
  });
  for (const auto& k : keys_) EXPECT_EQ(stored(k).nosso, before_[k]) << k;
  EXPECT_FALSE(f.cdsMarca.isEmpty()) << "a carnê that did not go out keeps the marks";
}
