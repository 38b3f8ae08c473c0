// The association screen against the seeded service: one new boleto per customer with two
// or more joinable boletos, for exactly their total in centavos; the boletos it replaces are
// closed; a refusal anywhere leaves every boleto as it was.

#include <fmt/format.h>

#include <cmath>
#include <map>

#include "association/Cli_rec12013.h"
#include "register/tests/RegisterFixture.h"
#include "service/Seed.h"

using namespace rec;
using rec::testing::keyOf;

namespace {

struct Row {
  std::string key, customer, status;
  int64_t cents = 0;
};

}  // namespace

class Association : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    // Open boletos enough that customers hold several of them.
    service::SeedOptions more;
    more.demo = false;
    more.extraBoletos = 24;
    more.today = clock_->today();
    service::seed(*svc_->db, more);
    InstalaConjulgarBoleto();
    ensureConnected();
  }

  /// The open boletos of company 04, by customer.
  std::map<std::string, std::vector<Row>> open() {
    std::map<std::string, std::vector<Row>> out;
    soci::rowset<soci::row> rows =
        (svc_->db->session().prepare
         << "SELECT CDFILIAL || NRLANBOLREC, CDCLIENTE, IDSTATBREC, VRFINALBREC FROM BOLRECEBER "
            "WHERE CDEMPRESA = '04' AND IDSTATBREC = 'A' ORDER BY CDFILIAL, NRLANBOLREC");
    for (const auto& r : rows) {
      Row x{r.get<std::string>(0), r.get<std::string>(1), r.get<std::string>(2),
            std::llround(r.get<double>(3) * 100.0)};
      out[x.customer].push_back(x);
    }
    return out;
  }

  std::string status(const std::string& key) {
    std::string s;
    svc_->db->session() << "SELECT IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC = :k",
        soci::use(key), soci::into(s);
    return s;
  }

  /// The bank has cleared the boleto.
  void cleared(const std::string& key) {
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "INSERT INTO COMPENSACAO (CDFILIAL, NRLANBOLREC, DTCOMPENSACAO) "
                           "VALUES (:f, :n, '2026-03-01')",
        soci::use(keyBranch), soci::use(keyNumber);
  }

  /// A customer with at least `n` open boletos, and its boletos.
  std::pair<std::string, std::vector<Row>> customerWith(size_t n) {
    for (auto& [c, rows] : open())
      if (rows.size() >= n) return {c, rows};
    ADD_FAILURE() << "no customer with " << n << " open boletos";
    return {};
  }

  /// Fills the screen for the listed customers and confirms; the error key, "<none>" when
  /// the association went through.
  std::string associate(TfrmConjulgarBoleto& f, const std::string& customers,
                        const std::string& due = "30/06/2026") {
    f.control("rgpCliente").choose(customers.empty() ? 0 : 1);
    f.stListaCliente = customers;
    f.control("edtDtDe").setText("01/01/2020");
    f.control("edtDtAte").setText("31/12/2030");
    f.control("edtDtVenc").setText(due);
    f.control("edtCdReduCont").setText("1");
    f.control("edtCdTpBaixa").setText("1");
    return keyOf([&] { f.sbtConfirmarClick(); });
  }

  /// Opens the screen and lets `script` drive it.
  void screen(std::function<void(TfrmConjulgarBoleto&)> script) {
    screens_->onModal("TfrmConjulgarBoleto", [script](host::ScreenModel& s) {
      auto& f = dynamic_cast<TfrmConjulgarBoleto&>(s);
      script(f);
      f.sbtCancelarClick();
    });
    CriaConjulgarBoleto("04");
  }
};

TEST_F(Association, EachCustomerWithTwoOrMoreGetsOneNewBoletoForExactlyTheirTotal) {
  const auto found = customerWith(2);
  const std::string many = found.first;
  const std::vector<Row> rows = found.second;
  // Another customer with one joinable boleto: the others of it are in clearing.
  std::string single;
  std::vector<Row> singleRows;
  for (auto& [c, r] : open())
    if (c != many && single.empty()) {
      single = c;
      singleRows = r;
    }
  ASSERT_FALSE(single.empty()) << "a second customer with open boletos";
  for (size_t i = 1; i < singleRows.size(); ++i) cleared(singleRows[i].key);
  int64_t total = 0;
  for (const auto& r : rows) total += r.cents;
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  int receivables = 0;
  for (const auto& r : rows)
    receivables +=
        count("SELECT COUNT(*) FROM CTRECEBER WHERE CDFILBOLREC || NRLANBOLREC = '" + r.key + "'");

  screen([&](TfrmConjulgarBoleto& f) {
    dialogs_->expectInformation("Boletos associados com sucesso.");
    EXPECT_EQ(associate(f, many + "," + single), "<none>");
    ASSERT_EQ(f.novosBoletos().size(), 1u) << "the single boleto's customer gets none";
    const std::string key = f.novosBoletos()[0];
    double net = 0, gross = 0;
    std::string customer, nosso, due, type, account;
    soci::indicator i1;
    svc_->db->session() << "SELECT VRFINALBREC, VRBOLREC, CDCLIENTE, CDNOSNUMREC, DTVENBOLREC, "
                           "CDTPBAIXAREC, CDREDUCONT FROM BOLRECEBER WHERE CDFILIAL || "
                           "NRLANBOLREC = :k",
        soci::use(key), soci::into(net), soci::into(gross), soci::into(customer),
        soci::into(nosso, i1), soci::into(due), soci::into(type), soci::into(account);
    EXPECT_EQ(std::llround(net * 100.0), total) << "exactly the total, in centavos";
    EXPECT_EQ(customer, many);
    EXPECT_EQ(due, "2026-06-30");
    EXPECT_EQ(type, "01");
    EXPECT_EQ(account, "001");
    EXPECT_TRUE(i1 == soci::i_null || nosso.empty())
        << "a new boleto is numbered at its emission, not with a replaced boleto's number";
    EXPECT_EQ(
        count("SELECT COUNT(*) FROM CTRECEBER WHERE CDFILBOLREC || NRLANBOLREC = '" + key + "'"),
        receivables)
        << "the receivables are collected by the new boleto";
  });
  for (const auto& r : rows) EXPECT_EQ(status(r.key), "B") << r.key << " is closed";
  for (const auto& r : singleRows) EXPECT_EQ(status(r.key), "A") << r.key << " is left alone";
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before + 1);
}

TEST_F(Association, ACustomerWithOneBoletoAloneOrABoletoInClearingGivesNoAssociation) {
  const auto found = customerWith(2);
  const std::string many = found.first;
  const std::vector<Row> rows = found.second;
  // All but one of the customer's boletos are in clearing: one joinable boleto is not two.
  for (size_t i = 1; i < rows.size(); ++i) cleared(rows[i].key);
  screen([&](TfrmConjulgarBoleto& f) { EXPECT_EQ(associate(f, many), "N_Boletos"); });
  for (const auto& r : rows) EXPECT_EQ(status(r.key), "A") << r.key;
}

TEST_F(Association, ADueDateBeforeAnEmissionDateBlocksTheWholeRun) {
  const auto found = customerWith(2);
  const std::string many = found.first;
  const std::vector<Row> rows = found.second;
  screen([&](TfrmConjulgarBoleto& f) {
    EXPECT_EQ(associate(f, "", "01/01/2020"), "dtVenci<dtEmissao");
    EXPECT_EQ(f.focusedControl(), &f.control("edtDtVenc"));
  });
  for (const auto& r : rows) EXPECT_EQ(status(r.key), "A") << r.key;
}

TEST_F(Association, TheChecksStopAtTheFirstFailureBeforeAnythingIsSent) {
  screen([&](TfrmConjulgarBoleto& f) {
    f.control("rgpCliente").choose(1);
    f.stListaCliente.clear();
    EXPECT_EQ(keyOf([&] { f.sbtConfirmarClick(); }), "Clie_inf");
    f.control("rgpCliente").choose(0);
    f.control("edtDtDe").setText("10/03/2026");
    f.control("edtDtAte").setText("01/03/2026");
    f.control("edtDtVenc").setText("30/06/2026");
    EXPECT_EQ(keyOf([&] { f.sbtConfirmarClick(); }), "DtPeriodo_menor");
    f.control("edtDtAte").setText("31/03/2026");
    EXPECT_EQ(keyOf([&] { f.sbtConfirmarClick(); }), "CCC_INF");
    f.control("edtCdReduCont").setText("999");
    EXPECT_EQ(keyOf([&] { f.sbtConfirmarClick(); }), "CCC_N_CAD");
    f.control("edtCdReduCont").setText("1");
    EXPECT_EQ(keyOf([&] { f.sbtConfirmarClick(); }), "TPBX_INF");
    EXPECT_EQ(f.control("lblBanco").text().empty(), false) << "the account's bank is shown";
  });
}

TEST_F(Association, TheServiceRefusesATotalThatDiffersAndLeavesEveryBoletoAsItWas) {
  // Two customers in one call; the second's total is one centavo off, so neither is joined.
  std::vector<std::pair<std::string, std::vector<Row>>> two;
  for (auto& [c, r] : open())
    if (r.size() >= 2 && two.size() < 2) two.emplace_back(c, r);
  ASSERT_EQ(two.size(), 2u);
  host::ClientDataset inc("cdsIncBoleto"), rec("cdsBolRec");
  inc.setFieldDefs(records::cdsIncBoletoConjuga().fields());
  rec.setFieldDefs(records::cdsBolRec().fields());
  inc.createDataset();
  rec.createDataset();
  for (size_t i = 0; i < two.size(); ++i) {
    int64_t total = 0;
    for (const auto& r : two[i].second) {
      total += r.cents;
      rec.append();
      rec.fieldByName("CDFILIAL").setString(r.key.substr(0, 4));
      rec.fieldByName("NRLANBOLREC").setString(r.key.substr(4));
      rec.fieldByName("CDCLIENTE").setString(r.customer);
      rec.fieldByName("VRFINALBREC").setFloat(static_cast<double>(r.cents) / 100.0);
      rec.post();
    }
    double gross = 0;
    for (const auto& r : two[i].second) {
      double g = 0;
      svc_->db->session() << "SELECT VRBOLREC FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC = :k",
          soci::use(r.key), soci::into(g);
      gross += g;
    }
    inc.append();
    inc.fieldByName("CDFILIAL").setString("0001");
    inc.fieldByName("CDCLIENTE").setString(two[i].first);
    inc.fieldByName("DTVENBOLREC").setValue(host::Value(host::DateTime::fromYmd(2026, 6, 30)));
    inc.fieldByName("CDREDUCONT").setString("001");
    inc.fieldByName("CDTPBAIXAREC").setString("01");
    inc.fieldByName("VRBOLREC").setFloat(gross);
    inc.fieldByName("VRFINALBREC").setFloat(static_cast<double>(total + (i == 1 ? 1 : 0)) / 100.0);
    inc.post();
  }
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  try {
    rpc::call(netHabContRec(),
              rpc::AssociaBoletos{.FiliProc = "0001",
                                  .cdsIncBoleto = remote::Variant::packet(inc.toPacket()),
                                  .cdsBolRec = remote::Variant::packet(rec.toPacket())});
    ADD_FAILURE() << "a total one centavo off was accepted";
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "VRBOL_Dif");
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before) << "no new boleto stored";
  for (const auto& [c, rows] : two)
    for (const auto& r : rows) EXPECT_EQ(status(r.key), "A") << r.key << " of " << c;
}
