// "Tipo de Recebimento" as the operator uses it against the seeded service: the value still
// to distribute proposed row after row, the cheque checks, and a confirmation that stores
// only rows adding up to the boleto.

#include "host/Consiste.h"
#include "host/Errors.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class TipoRecebimento : public RegisterFixture {
 protected:
  /// The register on the boleto, with its payment types shown.
  TfrmHabContRec& onTab(const char* number) {
    auto& f = listed();
    EXPECT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}));
    f.control("mnuTpRecBoleto").click();
    EXPECT_TRUE(f.pageControl("pgcPadrao").isShown("tshTpRecBoleto"));
    return f;
  }
  void set(TfrmHabContRec& f, const char* field, const std::string& value) {
    f.cdsTpRecBoleto.fieldByName(field).setString(value);
  }
  int stored(const char* number) {
    return count(std::string("SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND "
                             "NRLANBOLREC = '") +
                 number + "'");
  }
  /// The text an operation stopped with.
  template <typename Fn>
  std::string textOf(Fn&& fn) {
    try {
      fn();
    } catch (const host::OperationError& e) {
      return e.what();
    }
    return "<none>";
  }
};

}  // namespace

TEST_F(TipoRecebimento, EachNewRowProposesWhatIsLeftAndTheRowsAreStoredOnConfirmation) {
  auto& f = onTab("0000000002");  // Beta, 830.00, no payment types yet
  ASSERT_TRUE(f.cdsTpRecBoleto.isEmpty());
  ASSERT_TRUE(f.control("mnuIncluir").enabled());
  f.Incluir();
  EXPECT_DOUBLE_EQ(f.cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble(), 830.00);
  set(f, "CDTIPORECE", "1");
  f.cdsTpRecBoleto.fieldByName("VRTPRECBOLR").setFloat(300.00);
  f.cdsTpRecBoleto.post();
  EXPECT_EQ(f.cdsTpRecBoleto.valueOf("NRSEQTPRECBO").asString(), "01");
  EXPECT_EQ(f.cdsTpRecBoleto.valueOf("NMTIPORECE").asString(), "Dinheiro");
  EXPECT_TRUE(f.control("mnuConfirmar").enabled());
  EXPECT_FALSE(f.control("tshFolhaDados").enabled())
      << "the operator stays on the rows until they are confirmed or cancelled";

  f.Incluir();
  EXPECT_DOUBLE_EQ(f.cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble(), 530.00);
  set(f, "CDTIPORECE", "2");
  f.cdsTpRecBoleto.post();
  EXPECT_EQ(f.cdsTpRecBoleto.valueOf("CDTIPORECE").asString(), "002");
  EXPECT_EQ(f.cdsTpRecBoleto.valueOf("NRSEQTPRECBO").asString(), "02");
  // Everything is given: a further row is refused silently.
  EXPECT_THROW(f.Incluir(), host::OperationAborted);
  EXPECT_EQ(f.cdsTpRecBoleto.recordCount(), 2u);
  EXPECT_NE(f.cdsTpRecBoleto.state(), host::DatasetState::Insert);

  f.Confirmar();
  EXPECT_EQ(stored("0000000002"), 2);
  EXPECT_EQ(f.cdsTpRecBoleto.changeCount(), 0);
  EXPECT_FALSE(f.control("mnuConfirmar").enabled());
}

TEST_F(TipoRecebimento, RowsThatDoNotAddUpAreRefusedAndNothingIsStored) {
  auto& f = onTab("0000000002");
  f.Incluir();
  set(f, "CDTIPORECE", "001");
  f.cdsTpRecBoleto.fieldByName("VRTPRECBOLR").setFloat(800.00);
  f.cdsTpRecBoleto.post();
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "VRBOL_TPRECE");
  EXPECT_EQ(stored("0000000002"), 0);
  // The row is still there to correct; cancelling drops it.
  EXPECT_EQ(f.cdsTpRecBoleto.recordCount(), 1u);
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  EXPECT_TRUE(f.cdsTpRecBoleto.isEmpty());
  EXPECT_FALSE(f.control("mnuConfirmar").enabled());
}

TEST_F(TipoRecebimento, ChequeRowsAreCheckedAgainstTheRegisteredCheques) {
  // Alfa's cheque 000999 of 100.00 in account 001, of which 60.00 pays another boleto.
  svc_->db->session() << "INSERT INTO CHEQUE (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, "
                         "CDCNTCHEQREC, CDEMPRESA, CDCLIENTE, VRCHEQUERECE, IDSITCHEQREC, "
                         "CDREDUCONT) VALUES ('000999', '001', '1111', '2222', '04', "
                         "'000000000000000000101', 100.00, 'A', '001')";
  svc_->db->session() << "INSERT INTO TPRECBOLETO (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, "
                         "CDTIPORECE, VRTPRECBO) VALUES ('0002', '0000000003', 1, '003', 60.00)";
  svc_->db->session() << "INSERT INTO CHEQUEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, "
                         "NRCHEQBOLREC, CDBANCBOLREC, CDAGENBOLREC, CDCONTBOLREC, VRCHEQBOLREC) "
                         "VALUES ('0002', '0000000003', 1, '000999', '001', '1111', '2222', 60.00)";
  auto& f = onTab("0000000001");  // Alfa, 1520.40: cash 1000.00 and cheque 000123 520.40
  ASSERT_EQ(f.cdsTpRecBoleto.recordCount(), 2u);
  f.cdsTpRecBoleto.first();
  f.Alterar();
  f.cdsTpRecBoleto.fieldByName("VRTPRECBOLR").setFloat(950.00);
  f.cdsTpRecBoleto.post();
  EXPECT_DOUBLE_EQ(f.vrSaldoTpRecUlt, 50.00);

  f.Incluir();
  EXPECT_DOUBLE_EQ(f.cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble(), 50.00);
  set(f, "CDTIPORECE", "3");
  set(f, "NRCHEQBOLREC", "999");
  set(f, "CDBANCBOLREC", "1");
  set(f, "CDAGENBOLREC", "1111");
  set(f, "CDCONTBOLREC", "2222");
  const std::string text = textOf([&] { f.cdsTpRecBoleto.post(); });
  EXPECT_NE(text.find("Valor superior ao disponível no cheque: 40,00"), std::string::npos) << text;
  EXPECT_EQ(f.cdsTpRecBoleto.state(), host::DatasetState::Insert) << "the row stays to correct";

  // Alfa's cheque 000456 is deposited in account 006, not in the boleto's 001.
  set(f, "NRCHEQBOLREC", "456");
  set(f, "CDBANCBOLREC", "341");
  set(f, "CDAGENBOLREC", "0057");
  set(f, "CDCONTBOLREC", "0098765");
  EXPECT_EQ(keyOf([&] { f.cdsTpRecBoleto.post(); }), "CHEQUE_CAD_COB");

  // 40.00 fits what is left of 000999.
  set(f, "NRCHEQBOLREC", "999");
  set(f, "CDBANCBOLREC", "001");
  set(f, "CDAGENBOLREC", "1111");
  set(f, "CDCONTBOLREC", "2222");
  f.cdsTpRecBoleto.fieldByName("VRTPRECBOLR").setFloat(40.00);
  f.cdsTpRecBoleto.post();
  EXPECT_DOUBLE_EQ(f.chequeTotalUsed, 60.00);
  EXPECT_DOUBLE_EQ(f.chequeAmountApplied, 100.00);
  f.Incluir();
  set(f, "CDTIPORECE", "001");
  f.cdsTpRecBoleto.post();
  f.Confirmar();
  EXPECT_EQ(stored("0000000001"), 4);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CHEQUEBOLREC WHERE NRCHEQBOLREC = '000999'"), 2);
}

TEST_F(TipoRecebimento, DeletingARowMakesItsValueTheNextProposal) {
  auto& f = onTab("0000000001");  // cash 1000.00 (01) and cheque 520.40 (02)
  dialogs_->expectQuestion("Confirma exclusão?", true);
  // The rows no longer add up: the confirmation the delete runs refuses, nothing is stored.
  EXPECT_EQ(keyOf([&] { f.Excluir(); }), "VRBOL_TPRECE");
  EXPECT_EQ(stored("0000000001"), 2);
  EXPECT_EQ(f.cdsTpRecBoleto.recordCount(), 1u);
  EXPECT_DOUBLE_EQ(f.vrSaldoTpRecUlt, 520.40);
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  ASSERT_EQ(f.cdsTpRecBoleto.recordCount(), 2u) << "cancelling brings the row back";

  // Ctrl+Delete on the first row: its value is proposed again, under a sequence of its own.
  f.cdsTpRecBoleto.first();
  dialogs_->expectQuestion("Confirma exclusão?", true);
  host::GridKey del = host::GridKey::Delete;
  f.grid("dbgTpRecBoleto").keyDown(del, {.ctrl = true});
  ASSERT_EQ(f.cdsTpRecBoleto.recordCount(), 1u);
  f.Incluir();
  EXPECT_DOUBLE_EQ(f.cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble(), 1000.00);
  set(f, "CDTIPORECE", "2");
  f.cdsTpRecBoleto.post();
  EXPECT_EQ(f.cdsTpRecBoleto.valueOf("NRSEQTPRECBO").asString(), "03")
      << "after the highest sequence, never the one still in use";
  f.Confirmar();
  EXPECT_EQ(stored("0000000001"), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000001' AND NRSEQTPRECBO = 3 AND CDTIPORECE = '002'"),
            1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CHEQUEBOLREC WHERE NRLANBOLREC = '0000000001' AND "
                  "CDFILIAL = '0001'"),
            1)
      << "the cheque row stays";
}
