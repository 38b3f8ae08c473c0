// The discount screen as the operator reaches it from marking in the register, against the
// seeded service: the choice of credits and its running total, every check before anything is
// sent, and what the service holds after a confirmation, read back.

#include <cmath>

#include "descadia/Cli_rec12005.h"
#include "module/Creators.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;

namespace {

const std::string kBeta = "000000000000000000102";

class DescAdia : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    InstalaDescAdia();
  }
  void TearDown() override {
    creators().CriaDescAdi = nullptr;
    RegisterFixture::TearDown();
  }
  void go(TfrmHabContRec& f, const std::string& number) {
    ASSERT_TRUE(
        f.cdsBoletos.locate(records::kBoletoKeyFields, {host::Value("0001"), host::Value(number)}));
  }
  int64_t cents(const std::string& query) {
    double v = 0;
    svc_->db->session() << query, soci::into(v);
    return std::llround(v * 100.0);
  }
  int64_t net(const std::string& number) {
    return cents("SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = '" +
                 number + "'");
  }
  /// Runs `script` on the screen as CriaDescAdi shows it; its modal result.
  int open(double value, const std::string& page, std::function<void(TfrmDescAdia&)> script) {
    screens_->onModal("TfrmDescAdia",
                      [script](host::ScreenModel& s) { script(dynamic_cast<TfrmDescAdia&>(s)); });
    return CriaDescAdi(value, kBeta, "04", "0000000002", "0001", page);
  }
  static void typeValue(TfrmDescAdia& s, double v) {
    s.credits().edit();
    s.credits().fieldByName("VRDESCONTO").setValue(host::Value(v));
    s.credits().post();
  }
  static void type(TfrmDescAdia& s, const std::string& code) {
    s.control("edtCdAjuctRec").setText(code);
    s.Vd_CdAjuctRec(false);
  }
};

TEST_F(DescAdia, MarkingOffersTheAdvanceAndTheDiscountComesBackOnTheListMarked) {
  auto& f = listed();
  go(f, "0000000002");
  const int64_t before = net("0000000002");
  int64_t shown = -1;
  screens_->onModal("TfrmDescAdia", [&](host::ScreenModel& m) {
    auto& s = dynamic_cast<TfrmDescAdia&>(m);
    EXPECT_EQ(s.caption(), "Descontar Adiantamento");
    EXPECT_EQ(s.control("lblTotal").caption(), "Total de Adiantamento");
    EXPECT_EQ(s.totalDisponivel(), 30000);
    EXPECT_EQ(s.control("edtNmRazSocClie").text(), "Beta Construções e Reformas S.A.");
    s.Marca();
    EXPECT_EQ(s.valorDescontar(), 30000);
    typeValue(s, 120.35);
    shown = s.valorDescontar();
    type(s, "5");
    EXPECT_EQ(s.control("edtCdAjuctRec").text(), "0005");
    // The boleto is in a remittance: the discount takes it out.
    dialogs_->expectQuestion("excluído da remessa", true);
    s.control("sbtConfirmar").click();
  });
  dialogs_->expectQuestion("adiantamento", true);
  f.dbgPadraoDblClick();
  EXPECT_EQ(shown, 12035);
  EXPECT_EQ(net("0000000002"), before - 12035);
  EXPECT_EQ(cents("SELECT VRSALDOADIANT FROM ADIANTAMENTO WHERE CDCLIENTE = '" + kBeta + "'"),
            30000 - 12035);
  // The list shows what the service holds, and the boleto the operator was marking is marked.
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000002");
  EXPECT_EQ(std::llround(f.cdsBoletos.valueOf("VRFINALBREC").asDouble() * 100.0), before - 12035);
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  EXPECT_EQ(f.control("nedCont").text(), "1");
}

TEST_F(DescAdia, ChoosingAndUnchoosingAndAFailedPostKeepTheTotalRight) {
  const int kept = count("SELECT COUNT(*) FROM AJUSTEBOLREC");
  const int result = open(830.00, "0", [&](TfrmDescAdia& s) {
    s.Marca();
    EXPECT_EQ(s.valorDescontar(), 30000);
    s.Marca();
    EXPECT_EQ(s.valorDescontar(), 0);
    EXPECT_DOUBLE_EQ(s.credits().valueOf("VRDESCONTO").asDouble(), 0.0);
    // An unchosen credit's value is not typed.
    EXPECT_THROW(s.credits().edit(), host::OperationAborted);
    s.Marca();
    // More than is available: refused, the row stays in edit, the total as it was.
    s.credits().edit();
    s.credits().fieldByName("VRDESCONTO").setValue(host::Value(300.01));
    EXPECT_THROW(s.credits().post(), host::OperationError);
    EXPECT_EQ(s.credits().state(), host::DatasetState::Edit);
    EXPECT_EQ(s.valorDescontar(), 30000);
    s.credits().fieldByName("VRDESCONTO").setValue(host::Value(0.0));
    EXPECT_THROW(s.credits().post(), host::OperationError);
    s.credits().cancel();
    EXPECT_EQ(s.valorDescontar(), 30000);
    // Rows are neither inserted nor deleted here.
    EXPECT_THROW(s.credits().append(), host::OperationAborted);
    s.control("sbtFechar").click();
  });
  EXPECT_EQ(result, host::mrCancel);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept);
}

TEST_F(DescAdia, TheConfirmChecksTypeAndTotalsBeforeAnythingIsSent) {
  const int kept = count("SELECT COUNT(*) FROM AJUSTEBOLREC");
  // A boleto worth one cent less than the credit chosen: "VrBol_Neg"; nothing sent.
  open(299.99, "0", [&](TfrmDescAdia& s) {
    dialogs_->expectError("Valor a descontar deve ser informado.");
    type(s, "5");
    s.control("sbtConfirmar").click();
    s.Marca();
    dialogs_->expectError("Tipo de ajuste deve ser informado.");
    s.control("edtCdAjuctRec").setText("");
    s.control("sbtConfirmar").click();
    // A devolution type is not an advance type; an addition is no discount.
    dialogs_->expectError("Tipo de ajuste não cadastrado.");
    s.control("edtCdAjuctRec").setText("6");
    s.control("sbtConfirmar").click();
    dialogs_->expectError("Boleto ficará com valor negativo");
    type(s, "5");
    s.control("sbtConfirmar").click();
    EXPECT_TRUE(s.isOpen());
    s.control("sbtFechar").click();
  });
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept);
  // Equal to the boleto's value: taken, once the operator agrees to take the boleto out of
  // its remittance.
  const int result = open(300.00, "0", [&](TfrmDescAdia& s) {
    s.Marca();
    type(s, "5");
    dialogs_->expectQuestion("excluído da remessa", false);
    s.control("sbtConfirmar").click();
    EXPECT_TRUE(s.isOpen());
    EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept);
    dialogs_->expectQuestion("excluído da remessa", true);
    s.control("sbtConfirmar").click();
  });
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000002' AND NRCNABRECREM IS NULL AND IDSITUCNABR = '00'"),
            1);
  EXPECT_EQ(result, host::mrOk);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept + 1);
  // The type is on the boleto now.
  open(830.00, "0", [&](TfrmDescAdia& s) {
    dialogs_->expectError("Tipo de ajuste já cadastrado para o boleto.");
    s.control("edtCdAjuctRec").setText("5");
    s.control("sbtConfirmar").click();
    s.control("sbtFechar").click();
  });
}

TEST_F(DescAdia, TheDevolutionPageUsesPartOfAReturnAndLeavesTheRest) {
  const int64_t before = net("0000000002");
  const int result = open(830.00, "1", [&](TfrmDescAdia& s) {
    EXPECT_EQ(s.caption(), "Descontar Devolução");
    ASSERT_EQ(s.credits().recordCount(), 1u);
    EXPECT_EQ(s.credits().valueOf("DOCUMENTO").asString(), "0000004411/1");
    EXPECT_EQ(s.totalDisponivel(), 8000);
    s.Marca();
    typeValue(s, 30.00);
    type(s, "6");
    dialogs_->expectQuestion("excluído da remessa", true);
    s.control("sbtConfirmar").click();
  });
  EXPECT_EQ(result, host::mrOk);
  EXPECT_EQ(net("0000000002"), before - 3000);
  EXPECT_EQ(cents("SELECT VRSALDODEVOL FROM DEVOLUCAO WHERE CDCLIENTE = '" + kBeta + "'"), 5000);
}

}  // namespace
