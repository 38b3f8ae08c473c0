// The credit-note screen from the register's double click, against the seeded service: the
// selection and its total, select all and its undoing, the checks before anything is sent, and
// the discount the service holds afterwards.

#include <cmath>

#include "impnfcred/Cli_rec12003.h"
#include "module/Creators.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;

namespace {

const std::string kAlfa = "000000000000000000101";  // one credit note of 150.00
const std::string kBeta = "000000000000000000102";  // one credit note of 25.50

class ImpNfCred : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    InstalaImpNfCred();
  }
  void TearDown() override {
    creators().NFDebitoCred = nullptr;
    creators().CriaImpNFCred = nullptr;
    RegisterFixture::TearDown();
  }
  int64_t net(const std::string& number) {
    double v = 0;
    svc_->db->session() << "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(number), soci::into(v);
    return std::llround(v * 100.0);
  }
  int open(const std::string& customer, const std::string& number, double value,
           std::function<void(TfrmImpNfCred&)> script) {
    screens_->onModal("TfrmImpNfCred",
                      [script](host::ScreenModel& s) { script(dynamic_cast<TfrmImpNfCred&>(s)); });
    return CriaImpNFCred("0001", number, "04", customer, value);
  }
};

TEST_F(ImpNfCred, TheDoubleClickOffersTheNotesAndTheDiscountIsBooked) {
  auto& f = listed();
  ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields,
                                  {host::Value("0001"), host::Value("0000000001")}));
  const int64_t before = net("0000000001");
  screens_->onModal("TfrmImpNfCred", [&](host::ScreenModel& m) {
    auto& s = dynamic_cast<TfrmImpNfCred&>(m);
    EXPECT_EQ(s.caption(), "Importar Notas Fiscais de Crédito");
    ASSERT_EQ(s.cdsGrid.recordCount(), 1u);
    EXPECT_TRUE(s.control("sbtConfirmar").enabled());
    s.grid("dbgGrid").dblClick();
    EXPECT_EQ(s.cdsGrid.valueOf("IDCHECK").asString(), "M");
    EXPECT_EQ(s.total(), 15000);
    s.control("edtCdAjuctRec").setText("7");
    dialogs_->expectQuestion("Confirma importação", true);
    s.control("sbtConfirmar").click();
  });
  f.dbgPadraoDblClick();
  EXPECT_EQ(net("0000000001"), before - 15000);
  EXPECT_EQ(count("SELECT COUNT(*) FROM NOTACREDITO WHERE CDCLIENTE = '" + kAlfa +
                  "' AND VRSALDONOTA > 0"),
            0);
  // The notes changed the boleto: the list is read again and no mark is left.
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(std::llround(f.cdsBoletos.valueOf("VRFINALBREC").asDouble() * 100.0), before - 15000);
  // Nothing left to offer: a double click only toggles.
  EXPECT_FALSE(NFDebitoCred(kAlfa, "04"));
}

TEST_F(ImpNfCred, SelectionTotalsSelectAllAndItsUndoing) {
  open(kBeta, "0000000002", 830.00, [&](TfrmImpNfCred& s) {
    s.Marca();
    EXPECT_EQ(s.quantidade(), 1);
    EXPECT_EQ(s.klSelecao.Count(), 1);
    EXPECT_EQ(s.klSelecao.Key(0), "00010000000002");
    s.Marca();
    EXPECT_EQ(s.total(), 0);
    EXPECT_EQ(s.cdsGrid.valueOf("IDCHECK").asString(), "V");
    dialogs_->expectQuestion("marcar todas", true);
    s.grid("dbgGrid").titleClick("IDCHECK");
    EXPECT_EQ(s.total(), 2550);
    dialogs_->expectQuestion("desmarcar todas", true);
    s.grid("dbgGrid").titleClick("IDCHECK");
    EXPECT_EQ(s.total(), 0);
    EXPECT_EQ(s.klSelecao.Count(), 0);
    EXPECT_EQ(s.cdsGrid.valueOf("IDCHECK").asString(), "V");
    s.Cancelar();
  });
}

TEST_F(ImpNfCred, TheConfirmChecksEverythingBeforeTheServiceHearsOfIt) {
  const int kept = count("SELECT COUNT(*) FROM AJUSTEBOLREC");
  // A boleto worth one cent less than the note.
  int result = open(kBeta, "0000000002", 25.49, [&](TfrmImpNfCred& s) {
    dialogs_->expectError("Tipo de ajuste deve ser informado.");
    s.control("sbtConfirmar").click();
    dialogs_->expectError("Tipo de ajuste não cadastrado.");
    s.control("edtCdAjuctRec").setText("2");  // an addition
    s.control("sbtConfirmar").click();
    dialogs_->expectError("Nota fiscal deve ser informada.");
    s.control("edtCdAjuctRec").setText("7");
    s.control("sbtConfirmar").click();
    s.Marca();
    dialogs_->expectError("Total de notas fiscais deve ser menor que o valor do boleto.");
    s.control("sbtConfirmar").click();
    s.Cancelar();
  });
  EXPECT_EQ(result, host::mrCancel);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept);
  EXPECT_EQ(count("SELECT COUNT(*) FROM NOTACREDRESERVA"), 0);
  // A total equal to the boleto's value passes the checks; a no to the question sends nothing.
  result = open(kBeta, "0000000002", 25.50, [&](TfrmImpNfCred& s) {
    s.Marca();
    s.control("edtCdAjuctRec").setText("7");
    dialogs_->expectQuestion("Confirma importação", false);
    s.control("sbtConfirmar").click();
    EXPECT_TRUE(s.isOpen());
    s.Cancelar();
  });
  EXPECT_EQ(count("SELECT COUNT(*) FROM NOTACREDRESERVA"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept);
  result = open(kBeta, "0000000002", static_cast<double>(net("0000000002")) / 100.0,
                [&](TfrmImpNfCred& s) {
                  s.Marca();
                  s.control("edtCdAjuctRec").setText("7");
                  dialogs_->expectQuestion("Confirma importação", true);
                  s.control("sbtConfirmar").click();
                });
  EXPECT_EQ(result, host::mrOk);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), kept + 1);
}

}  // namespace
