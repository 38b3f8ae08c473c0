// "Associar Boleto" from the register, as the operator does it against the seeded service:
// the marked boletos of one customer become one new boleto for exactly their total, the
// refusals stop before anything is proposed, and a refused confirmation loses nothing.

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

class Associacao : public RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    // A second open boleto of Beta beside 0001/0000000002 (830.00), due later.
    svc_->db->session()
        << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, VRBOLREC, "
           "VRFINALBREC, DTVENBOLREC, DTEMISSAO, IDSTATBREC, CDREDUCONT, CDTPBAIXAREC, "
           "IDSITUCNABR, IDTPCTRECEBER) VALUES ('0001', '0000000090', '04', "
           "'000000000000000000102', 100.10, "
           "100.10, '2026-05-20', '2026-03-01', 'A', '001', '01', '00', 'N')";
  }
  /// Marks (or with 'D' unmarks) a boleto; the discount questions are not this test's.
  void mark(TfrmHabContRec& f, const char* number, char mode = 'M') {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}))
        << number;
    {
      host::ScopedFlag quiet(f.bMarcaGeral);
      f.Marca_Boleto(false, mode);
    }
    f.setTotals(f.markedTotal, f.markedCount);
    f.Habilita();
    ASSERT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), mode == 'M' ? "M" : "A") << number;
  }
  /// Beta's two open boletos marked.
  TfrmHabContRec& markedBeta() {
    auto& f = listed();
    mark(f, "0000000002");
    mark(f, "0000000090");
    return f;
  }
  std::string status(const char* number) {
    std::string s;
    const std::string keyNumber = std::string(number);
    svc_->db->session() << "SELECT IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(keyNumber), soci::into(s);
    return s;
  }
};

}  // namespace

TEST_F(Associacao, TheMarkedBoletosOfOneCustomerBecomeOneNewBoletoForExactlyTheirTotal) {
  auto& f = markedBeta();
  ASSERT_TRUE(f.control("mnuAssociar").enabled());
  // Two due dates: the operator is asked, and may then type the new one.
  dialogs_->expectQuestion("vencimentos diferentes", true);
  f.control("mnuAssociar").click();
  ASSERT_EQ(f.cdsBoletos.state(), host::DatasetState::Insert);
  EXPECT_TRUE(f.control("edtDTVENBOLREC").enabled());
  EXPECT_EQ(f.current("CDCLIENTE").asString(), "000000000000000000102");
  EXPECT_EQ(f.current("DTVENBOLREC").asDate().iso(), "2026-05-20");
  EXPECT_DOUBLE_EQ(f.current("VRFINALBREC").asDouble(), 930.10);
  EXPECT_EQ(f.descricaoAssociacao, "Associação dos boletos 0001/0000000002, 0001/0000000090");

  // The operator completes the collection data.
  f.cdsBoletos.fieldByName("CDREDUCONT").setString("002");
  f.cdsBoletos.fieldByName("CDTPBAIXAREC").setString("01");
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  f.Confirmar();

  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before + 1);
  EXPECT_EQ(status("0000000002"), "B");
  EXPECT_EQ(status("0000000090"), "B");
  double total = 0;
  std::string number;
  svc_->db->session() << "SELECT VRFINALBREC, NRLANBOLREC FROM BOLRECEBER WHERE CDFILIAL = '0001' "
                         "AND DSBOLETREC LIKE 'Associação dos boletos%'",
      soci::into(total), soci::into(number);
  EXPECT_EQ(std::llround(total * 100), 93010);
  // The reloaded list stands on the new boleto, with no mark left.
  EXPECT_FALSE(f.listEditing());
  EXPECT_EQ(f.current("NRLANBOLREC").asString(), number);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.markedCount, 0);
}

TEST_F(Associacao, RefusalsStopBeforeAnyNewBoletoIsProposed) {
  // Beta's second boleto was emitted meanwhile.
  svc_->db->session() << "UPDATE BOLRECEBER SET IDSTATBREC = 'E' WHERE NRLANBOLREC = "
                         "'0000000090'";
  auto& f = listed();
  EXPECT_EQ(keyOf([&] { f.sbtAgrupaClick(); }), "BOL_AGRUP_NC");
  // Alfa's boleto with Beta's: two customers.
  mark(f, "0000000001");
  mark(f, "0000000090");
  EXPECT_EQ(keyOf([&] { f.sbtAgrupaClick(); }), "Cliente_dif");
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);
  // Beta's two boletos, one of them emitted.
  mark(f, "0000000001", 'D');
  mark(f, "0000000002");
  EXPECT_EQ(keyOf([&] { f.sbtAgrupaClick(); }), "BOL_EMIT");
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u) << "the marks stay";
}

TEST_F(Associacao, ARefusedConfirmationLeavesTheBoletosAndTheTypedNewBoleto) {
  auto& f = markedBeta();
  dialogs_->expectQuestion("vencimentos diferentes", false);
  EXPECT_THROW(f.sbtAgrupaClick(), host::OperationAborted) << "no is a silent stop";
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);

  dialogs_->expectQuestion("vencimentos diferentes", true);
  f.sbtAgrupaClick();
  f.cdsBoletos.fieldByName("CDREDUCONT").setString("002");
  f.cdsBoletos.fieldByName("CDTPBAIXAREC").setString("01");
  // Someone else changes a marked boleto's value meanwhile.
  svc_->db->session() << "UPDATE BOLRECEBER SET VRFINALBREC = 100.00 WHERE NRLANBOLREC = "
                         "'0000000090'";
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "VRBOL_Dif");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before);
  EXPECT_EQ(status("0000000002"), "A");
  EXPECT_EQ(status("0000000090"), "A");
  // The new boleto is still there as typed, to correct or to cancel.
  EXPECT_TRUE(f.listEditing());
  EXPECT_EQ(f.current("CDREDUCONT").asString(), "002");
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u);
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  EXPECT_FALSE(f.listEditing());
  EXPECT_FALSE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value("")}));
}
