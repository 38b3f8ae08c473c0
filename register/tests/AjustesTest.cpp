// The "Ajustes" and "Prorrogação" tabs as the operator uses them against the seeded service:
// what is stored afterwards, read back from the database, and that a refused step stores
// nothing and keeps what the operator typed.

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class Ajustes : public RegisterFixture {
 public:
  void go(TfrmHabContRec& f, const char* number) {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}))
        << number;
  }
  std::string stored(const std::string& column, const std::string& number) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = :n",
        soci::use(number), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  double net(const std::string& number) {
    double v = 0;
    svc_->db->session() << "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(number), soci::into(v);
    return v;
  }
  /// Starts an adjustment on the tab and types its code and value, leaving the code column.
  void typeAdjustment(TfrmHabContRec& f, const char* code, double value) {
    f.control("sbtIncluir").click();
    ASSERT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Insert);
    f.cdsAjBolRec.fieldByName("CDAJUCTREC").setString(code);
    f.grid("dbgAjustes").colEnter("VRAJBOLREC");
    f.cdsAjBolRec.fieldByName("VRAJBOLREC").setValue(Value(value));
  }
};

}  // namespace

TEST_F(Ajustes, ADiscountTypedOnTheTabIsStoredAndTheListShowsTheNewNetValue) {
  auto& f = listed();
  go(f, "0000000001");
  f.pageControl("pgcPadrao").showPage("tshAjustes");
  ASSERT_TRUE(f.control("sbtIncluir").enabled());
  // Typed into the grid's cells as on the desktop.
  f.control("sbtIncluir").click();
  auto& g = f.grid("dbgAjustes");
  g.colEnter("CDAJUCTREC");
  g.keyPress('3');
  g.colEnter("VRAJBOLREC");
  for (char c : std::string("20,1")) g.keyPress(c);
  g.keyPress('.');  // a second separator is refused
  g.keyPress('0');
  EXPECT_DOUBLE_EQ(f.cdsAjBolRec.fieldByName("VRAJBOLREC").asFloat(), 20.10);
  // The code is padded before the look-up and the row takes the type.
  EXPECT_EQ(f.cdsAjBolRec.fieldByName("CDAJUCTREC").asString(), "0003");
  EXPECT_EQ(f.cdsAjBolRec.fieldByName("IDAJUCTREC").asString(), "D");
  // While a row is added the other pages and the company panel are out of reach.
  EXPECT_TRUE(f.control("sbtConfirmar").enabled());
  EXPECT_FALSE(f.control("sbtIncluir").enabled());
  EXPECT_FALSE(f.control("pnlEmpresa").enabled());
  EXPECT_FALSE(f.control("mnuProrrogacao").enabled());

  f.Confirmar();
  EXPECT_DOUBLE_EQ(net("0000000001"), 1500.30);
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000001");
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRFINALBREC").asDouble(), 1500.30);
  ASSERT_TRUE(f.cdsAjBolRec.active());
  EXPECT_TRUE(f.cdsAjBolRec.locate("CDAJUCTREC", {Value("0003")}));
  EXPECT_EQ(f.grid("dbgAjustes").displayRule("IDAJUCTREC")->operator()(Value("D")), "Desconto");
  EXPECT_FALSE(f.control("sbtConfirmar").enabled());
  EXPECT_TRUE(f.control("pnlEmpresa").enabled());
  EXPECT_TRUE(f.control("mnuProrrogacao").enabled());

  // The same type again is refused as its code is left.
  f.control("sbtIncluir").click();
  f.cdsAjBolRec.fieldByName("CDAJUCTREC").setString("0003");
  EXPECT_EQ(keyOf([&] { f.Vd_CdAjuctRec(false); }), "CdAj_Ja_cad");
  f.cdsAjBolRec.fieldByName("CDAJUCTREC").setString("0099");
  EXPECT_EQ(keyOf([&] { f.Vd_CdAjuctRec(false); }), "CdAj_Nao_cad");
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  EXPECT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Browse);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE NRLANBOLREC = '0000000001'"), 1);
}

TEST_F(Ajustes, ARefusedAdjustmentStoresNothingAndKeepsWhatWasTyped) {
  auto& f = listed();
  go(f, "0000000001");
  f.pageControl("pgcPadrao").showPage("tshAjustes");
  // The whole net value is too much for a discount; a centavo less would pass that check.
  typeAdjustment(f, "1", 1520.40);
  EXPECT_EQ(keyOf([&] { f.Vd_VrAjBolRec(true); }), "VrAjus>Vrbol");
  f.cdsAjBolRec.fieldByName("VRAJBOLREC").setValue(Value(1520.39));
  EXPECT_EQ(keyOf([&] { f.Vd_VrAjBolRec(true); }), "<none>");
  // The last payment type (520.40 by cheque) is not enough for a discount of its size.
  f.cdsAjBolRec.fieldByName("VRAJBOLREC").setValue(Value(520.40));
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "VrAjus>VrAj");
  EXPECT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Insert);
  EXPECT_EQ(f.cdsAjBolRec.fieldByName("CDAJUCTREC").asString(), "0001");
  EXPECT_DOUBLE_EQ(f.cdsAjBolRec.fieldByName("VRAJBOLREC").asFloat(), 520.40);
  EXPECT_DOUBLE_EQ(net("0000000001"), 1520.40);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE NRLANBOLREC = '0000000001'"), 0);
  // Someone else changed the boleto meanwhile: the service refuses, nothing is stored.
  f.cdsAjBolRec.fieldByName("VRAJBOLREC").setValue(Value(20.0));
  svc_->db->session() << "UPDATE BOLRECEBER SET VRFINALBREC = 1520.41 WHERE CDFILIAL = '0001' "
                         "AND NRLANBOLREC = '0000000001'";
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "ALT_BLOQ");
  EXPECT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Insert);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE NRLANBOLREC = '0000000001'"), 0);
  EXPECT_DOUBLE_EQ(net("0000000001"), 1520.41);
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
}

TEST_F(Ajustes, DeletingASavedAdjustmentGivesItsValueBackToTheCentavo) {
  auto& f = listed();
  go(f, "0000000001");
  f.pageControl("pgcPadrao").showPage("tshAjustes");
  const auto lastPaymentType = [&] {
    double v = 0;
    svc_->db->session() << "SELECT VRTPRECBO FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = '0000000001' ORDER BY NRSEQTPRECBO DESC LIMIT 1",
        soci::into(v);
    return v;
  };
  const double before = lastPaymentType();
  typeAdjustment(f, "3", 20.10);
  f.Confirmar();
  ASSERT_DOUBLE_EQ(net("0000000001"), 1500.30);
  ASSERT_TRUE(f.cdsAjBolRec.locate("CDAJUCTREC", {Value("0003")}));
  EXPECT_TRUE(f.control("sbtExcluir").enabled());
  // Declined: nothing changes.
  dialogs_->expectQuestion("Confirma exclusão?", false);
  f.control("sbtExcluir").click();
  EXPECT_DOUBLE_EQ(net("0000000001"), 1500.30);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE NRLANBOLREC = '0000000001'"), 1);
  // Confirmed: the discount is gone and the boleto and its payment type are whole again.
  dialogs_->expectQuestion("Confirma exclusão?", true);
  f.control("sbtExcluir").click();
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE NRLANBOLREC = '0000000001'"), 0);
  EXPECT_DOUBLE_EQ(net("0000000001"), 1520.40);
  EXPECT_DOUBLE_EQ(lastPaymentType(), before);
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000001");
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRFINALBREC").asDouble(), 1520.40);
  EXPECT_TRUE(f.cdsAjBolRec.isEmpty());
}

TEST_F(Ajustes, KeysInTheAdjustmentsGrid) {
  auto& f = listed();
  go(f, "0000000003");
  f.pageControl("pgcPadrao").showPage("tshAjustes");
  ASSERT_FALSE(f.cdsAjBolRec.isEmpty());
  // At rest nothing is typed and Delete leaves the saved adjustment.
  EXPECT_EQ(f.dbgAjustesKeyPress("VRAJBOLREC", '5', ""), '\0');
  EXPECT_EQ(f.dbgAjustesKeyPress("VRAJBOLREC", '\t', ""), '\t');
  GridKey del = GridKey::Delete;
  f.grid("dbgAjustes").keyDown(del, {});
  EXPECT_EQ(f.cdsAjBolRec.recordCount(), 1u);
  EXPECT_TRUE(f.control("sbtExcluir").enabled());
  // A boleto at the bank and emitted asks first.
  dialogs_->expectQuestion("excluído da remessa", true)
      .expectQuestion("Boleto já foi emitido", true);
  f.control("sbtIncluir").click();
  ASSERT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Insert);
  EXPECT_EQ(f.dbgAjustesKeyPress("CDAJUCTREC", 'a', ""), 'A');
  EXPECT_EQ(f.dbgAjustesKeyPress("DSAJUCTREC", 'a', ""), '\0');
  EXPECT_EQ(f.dbgAjustesKeyPress("VRAJBOLREC", ',', "12"), ',');
  EXPECT_EQ(f.dbgAjustesKeyPress("VRAJBOLREC", '.', "12,5"), '\0');
  EXPECT_EQ(f.dbgAjustesKeyPress("VRAJBOLREC", '-', "12"), '\0');
  // Delete drops the row being added.
  del = GridKey::Delete;
  f.grid("dbgAjustes").keyDown(del, {});
  EXPECT_EQ(f.cdsAjBolRec.state(), host::DatasetState::Browse);
  EXPECT_EQ(f.cdsAjBolRec.recordCount(), 1u);
  EXPECT_DOUBLE_EQ(TfrmHabContRec::CalcVrBolet(12.5, "D"), -12.5);
  EXPECT_DOUBLE_EQ(TfrmHabContRec::CalcVrBolet(12.5, "C"), 12.5);
}

TEST_F(Ajustes, ExtendingTheCurrentBoleto) {
  auto& f = listed();
  go(f, "0000000001");
  f.pageControl("pgcPadrao").showPage("tshProrrogacao");
  f.control("edtNovaData").type("30/04/2026");
  EXPECT_EQ(f.control("lblNomeSemana").caption(),
            host::NomeSemana(host::DateTime::fromYmd(2026, 4, 30)));
  // Typing started the edit: confirm on, the other pages and the company panel locked.
  EXPECT_TRUE(f.control("sbtConfirmar").enabled());
  EXPECT_FALSE(f.control("pnlEmpresa").enabled());
  EXPECT_FALSE(f.control("mnuAjustes").enabled());
  f.control("edtCDMOTIPROR").type("5");
  EXPECT_EQ(keyOf([&] { f.Vd_Prorrogacao(false); }), "Mot_N_Cad");
  EXPECT_EQ(f.control("edtCDMOTIPROR").text(), "05");
  f.control("edtCDMOTIPROR").type("1");
  f.Confirmar();
  EXPECT_EQ(stored("DTVENBOLREC", "0000000001").substr(0, 10), "2026-04-30");
  EXPECT_EQ(stored("CDMOTIPROR", "0000000001"), "01");
  EXPECT_EQ(count("SELECT COUNT(*) FROM PRORROGACAO WHERE NRLANBOLREC = '0000000001'"), 1);
  EXPECT_FALSE(f.control("sbtConfirmar").enabled());
  EXPECT_TRUE(f.control("pnlEmpresa").enabled());
  EXPECT_TRUE(f.control("mnuAjustes").enabled());

  // Before its emission date: refused, nothing moves.
  f.control("edtNovaData").type("01/01/2026");
  f.control("edtCDMOTIPROR").type("1");
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "DtVen<DtEmi");
  EXPECT_EQ(stored("DTVENBOLREC", "0000000001").substr(0, 10), "2026-04-30");
  f.control("edtNovaData").type("");
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "Data_Deve");
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
}

TEST_F(Ajustes, ExtendingTheMarkedBoletosLeavesOutAndUnmarksThoseThatMayNot) {
  auto& f = listed();
  {
    // Marked without the discount questions, which are the marking's business.
    host::ScopedFlag quiet(f.bMarcaGeral);
    for (const char* n : {"0000000001", "0000000003", "0000000002"}) {
      go(f, n);
      f.Marca_Boleto(false, 'M');
    }
  }
  const std::string number = stored("CDNOSNUMREC", "0000000002");
  const std::string dueEmitted = stored("DTVENBOLREC", "0000000003");
  f.pageControl("pgcPadrao").showPage("tshProrrogacao");
  f.control("edtNovaData").type("30/04/2026");
  f.control("edtCDMOTIPROR").type("2");
  dialogs_->expectQuestion("prorrogar todos os boletos", true)
      .expectQuestion("manter o nosso número", true)
      .expectInformation("não puderam ser prorrogados");
  f.Confirmar();
  for (const char* n : {"0000000001", "0000000002"}) {
    EXPECT_EQ(stored("DTVENBOLREC", n).substr(0, 10), "2026-04-30") << n;
    EXPECT_EQ(stored("CDMOTIPROR", n), "02") << n;
  }
  EXPECT_EQ(stored("CDNOSNUMREC", "0000000002"), number);
  // Emitted: not extended with all, and no longer marked.
  EXPECT_EQ(stored("DTVENBOLREC", "0000000003"), dueEmitted);
  go(f, "0000000003");
  EXPECT_NE(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  go(f, "0000000001");
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
}

TEST_F(Ajustes, DroppingTheNumberOnExtensionKeepsItOutOfReach) {
  auto& f = listed();
  go(f, "0000000002");
  const std::string number = stored("CDNOSNUMREC", "0000000002");
  ASSERT_NE(number, "<null>");
  f.pageControl("pgcPadrao").showPage("tshProrrogacao");
  f.control("edtNovaData").type("30/04/2026");
  f.control("edtCDMOTIPROR").type("1");
  dialogs_->expectQuestion("manter o nosso número", false);
  f.Confirmar();
  EXPECT_EQ(stored("CDNOSNUMREC", "0000000002"), "<null>");
  EXPECT_EQ(count("SELECT COUNT(*) FROM PRORROGACAO WHERE NRLANBOLREC = '0000000002' AND "
                  "CDNOSNUMANT = '" +
                  number + "'"),
            1);
}
