// The register's checks of the receiving data, driven as an operator drives them against the
// seeded demo service.

#include "host/Errors.h"
#include "host/bank/Febraban.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"
#include "service/Seed.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class Validacoes : public RegisterFixture {
 public:
  /// The register with every boleto of `company` listed.
  TfrmHabContRec& listed(const std::string& company = "04") {
    auto& f = open();
    onFilter([](TfrmFiltroHabRec& flt) {
      flt.control("edtDtVencIni").setText("01/01/2000");
      flt.control("edtDtVencFin").setText("31/12/2099");
      flt.control("sbtConfirma").click();
    });
    chooseCompany(f, company);
    return f;
  }
  void go(TfrmHabContRec& f, const char* branch, const char* number) {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value(branch), Value(number)}))
        << branch << "/" << number;
  }
  /// Types into a field and leaves it for the list, as the operator does.
  void typeAndLeave(TfrmHabContRec& f, const char* control, const std::string& text) {
    f.control(control).setFocus();
    f.control(control).type(text);
    f.focusList();
  }
  /// Marks boletos without the marking rules: their list mark and their row in cdsMarca.
  void markAs(TfrmHabContRec& f, const std::vector<const char*>& numbers) {
    host::DetachedEvents noRules(f.cdsBoletos);
    for (const char* n : numbers) {
      f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(n)});
      f.cdsBoletos.edit();
      f.cdsBoletos.fieldByName("IDMARCADO").setString("M");
      f.cdsBoletos.post();
      f.cdsMarca.append();
      f.cdsMarca.fieldByName("CDFILIAL").setString("0001");
      f.cdsMarca.fieldByName("NRLANBOLREC").setString(n);
      f.cdsMarca.post();
    }
  }
  std::string value(TfrmHabContRec& f, const char* field) {
    return f.cdsBoletos.valueOf(field).asString();
  }
};

}  // namespace

TEST_F(Validacoes, AnEmittedBoletoAsksFirstAndAccountOneIsPaddedAndOverwritesTheCollectionData) {
  auto& f = listed();
  go(f, "0001", "0000000009");  // emitted, never sent to the bank, account 010
  EXPECT_EQ(f.control("edtDTVENBOLREC").text(),
            f.cdsBoletos.valueOf("DTVENBOLREC").asDate().format("dd/mm/yyyy"));
  f.Alterar();
  dialogs_->expectQuestion("Boleto já foi emitido", true).expectQuestion("sobrepor", true);
  typeAndLeave(f, "edtCDREDUCONT", "1");
  EXPECT_EQ(value(f, "CDREDUCONT"), "001");
  EXPECT_EQ(f.control("edtCDREDUCONT").text(), "001");
  EXPECT_EQ(value(f, "CDBANCO"), "237");
  EXPECT_EQ(value(f, "CDBANCCNAB"), "237");
  EXPECT_EQ(value(f, "CDCARTCOBBOL"), "09");
  EXPECT_EQ(value(f, "IDSTATBREC"), "A") << "a new account means a boleto to emit again";
  EXPECT_EQ(value(f, "IDIMPRBOLBOL"), "B");
  EXPECT_TRUE(f.cdsBoletos.valueOf("CDFILORIG").isNull());
  EXPECT_FALSE(f.control("edtCDFILORIG").enabled());
  EXPECT_EQ(f.control("memTXMENSBOLBOL").text(), "Não receber após 30 dias do vencimento.");
  EXPECT_EQ(f.cdsCNABMsg.valueOf("TXMENSBOLBOL").asString(),
            "Não receber após 30 dias do vencimento.");

  // No to the emitted question leaves the boleto as it was.
  f.cdsBoletos.cancel();
  go(f, "0001", "0000000009");
  f.Alterar();
  dialogs_->expectQuestion("Boleto já foi emitido", false);
  typeAndLeave(f, "edtCDREDUCONT", "2");
  EXPECT_FALSE(f.listEditing());
  EXPECT_EQ(value(f, "CDREDUCONT"), "010");
}

TEST_F(Validacoes, TheAccountsPixKeyShowsWithItsBankDataAndFollowsANewAccount) {
  const std::string key = service::withCnpjDigits("100200300001");  // company 04's CNPJ
  auto& f = listed();
  go(f, "0001", "0000000003");  // account 002, which has a Pix key
  EXPECT_EQ(f.control("edtDSCHAVEPIX").text(), key);
  EXPECT_TRUE(f.control("edtDSCHAVEPIX").readOnly());
  go(f, "0001", "0000000009");  // account 010, without
  EXPECT_EQ(f.control("edtDSCHAVEPIX").text(), "");
  f.Alterar();
  dialogs_->expectQuestion("Boleto já foi emitido", true).expectQuestion("sobrepor", true);
  typeAndLeave(f, "edtCDREDUCONT", "2");
  EXPECT_EQ(value(f, "DSCHAVEPIX"), key);
  EXPECT_EQ(f.control("edtDSCHAVEPIX").text(), key);
  f.cdsBoletos.cancel();
}

TEST_F(Validacoes, AnAccountWithoutPrintingChoiceOrRegistrationFormGivesTheDefaults) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  f.Alterar();
  dialogs_->expectQuestion("sobrepor", true);
  typeAndLeave(f, "edtCDREDUCONT", "5");
  EXPECT_EQ(value(f, "IDIMPRBOLBOL"), "B");
  EXPECT_EQ(value(f, "IDFORMCADBREC"), "1");
  EXPECT_EQ(f.control("cbxIDIMPRBOLBOL").itemIndex(), 2);
}

TEST_F(Validacoes, SearchesListWhatTheServiceKnowsAndPutTheBoletoIntoEdit) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  dialogs_->expectPick(2);
  f.PesquisaContCorr();
  ASSERT_EQ(dialogs_->lastPickItems().size(), 10u);
  EXPECT_EQ(dialogs_->lastPickItems()[2], "003 - Cobrança 033");
  EXPECT_TRUE(f.listEditing());
  EXPECT_EQ(value(f, "CDREDUCONT"), "003");
  EXPECT_EQ(f.accountAtEditStart, "001");

  dialogs_->expectPick(0);
  f.PesquisaInstrucao("CDINS2COBBOL");
  EXPECT_EQ(dialogs_->lastPickItems().size(), 3u) << "the instructions of bank 237";
  EXPECT_EQ(value(f, "CDINS2COBBOL"), "01");

  // A discounted boleto does not go into edit through a search either.
  f.cdsBoletos.cancel();
  go(f, "0001", "0000000005");
  dialogs_->expectPick(0);
  EXPECT_EQ(keyOf([&] { f.PesquisaTipoBaixa(); }), "BOL_DESC");
  EXPECT_FALSE(f.listEditing());
}

TEST_F(Validacoes, AccountsThatDoNotExistOrHoldAChequeOfAnotherAccountAreRefused) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  f.Alterar();
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtCDREDUCONT", "77"); }), "CdRedu_nc");
  EXPECT_TRUE(f.control("edtCDREDUCONT").focused());
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshGeral"));
  f.control("edtCDREDUCONT").type("");
  EXPECT_EQ(keyOf([&] { f.Vd_CdReduCont(true); }), "CdRedu_ni");

  // Boleto 1 holds a cheque deposited in account 001: it cannot move to account 006.
  f.cdsBoletos.cancel();
  f.focusList();
  go(f, "0001", "0000000001");
  f.Alterar();
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtCDREDUCONT", "6"); }), "CHEQUE_CAD_COB_2");
}

TEST_F(Validacoes, SeveralMarkedBoletosLoseTheirCodesWithoutAQuestionAndTheirPaymentTypesOnYes) {
  auto& f = listed();
  markAs(f, {"0000000001", "0000000002"});
  go(f, "0001", "0000000002");
  ASSERT_FALSE(f.cdsBoletos.valueOf("CDNOSNUMREC").isNull());
  f.Alterar();
  typeAndLeave(f, "edtCDREDUCONT", "3");
  for (const char* cleared : {"CDNOSNUMREC", "CDBARRAREC", "DSLINHABARREC", "CDDEPIDENREC"}) {
    EXPECT_TRUE(f.cdsBoletos.valueOf(cleared).isNull()) << cleared;
  }
  EXPECT_EQ(value(f, "IDSTATBREC"), "A");
  EXPECT_EQ(value(f, "CDBANCCNAB"), "033");

  // From the confirmation: a marked boleto with payment types asks before they all go.
  dialogs_->expectQuestion("tipos de recebimento", true);
  f.Vd_CdReduCont(true);
  EXPECT_EQ(count("SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000001'"),
            0);
}

TEST_F(Validacoes, OneBoletoChangingAccountKeepsItsPaymentTypesUnlessTheOperatorAgrees) {
  auto& f = listed();
  go(f, "0001", "0000000001");
  f.Alterar();
  f.focusList();
  f.cdsBoletos.fieldByName("CDREDUCONT").setString("002");
  dialogs_->expectQuestion("tipos de recebimento", false);
  EXPECT_THROW(f.Vd_CdReduCont(true), host::OperationAborted);
  EXPECT_EQ(count("SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000001'"),
            2);
}

TEST_F(Validacoes, WriteOffTypeIsPaddedNamedOrRefused) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  f.Alterar();
  typeAndLeave(f, "edtCDTPBAIXAREC", "1");
  EXPECT_EQ(value(f, "CDTPBAIXAREC"), "01");
  EXPECT_EQ(value(f, "NMTPBAIXAREC"), "Pagamento");
  f.control("edtCDTPBAIXAREC").setFocus();
  f.control("edtCDTPBAIXAREC").type("77");
  EXPECT_TRUE(f.cdsBoletos.valueOf("NMTPBAIXAREC").isNull()) << "typing clears the name";
  f.pageControl("pgcDadosRec").setActivePage("tshCnab");
  EXPECT_EQ(keyOf([&] { f.focusList(); }), "TPBX_N_CAD");
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshGeral"));
  f.control("edtCDTPBAIXAREC").type("");
  EXPECT_NO_THROW(f.Vd_TipoBaixa(false));
  EXPECT_EQ(keyOf([&] { f.Vd_TipoBaixa(true); }), "TPBX_INF");

  dialogs_->expectPick(1);
  f.PesquisaTipoBaixa();
  EXPECT_EQ(value(f, "CDTPBAIXAREC"), "02");
  EXPECT_EQ(value(f, "NMTPBAIXAREC"), "Perda");
}

TEST_F(Validacoes, InstructionsMustBeTheBanksAndDifferOnLeavingAndOnPosting) {
  auto& f = listed();
  go(f, "0001", "0000000002");  // account 001, bank 237
  f.Alterar();
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtCDINS1COBBOL", "9"); }), "INSTRU_N_CAD");
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshCnab"));
  EXPECT_TRUE(f.control("edtCDINS1COBBOL").focused());
  f.control("edtCDINS1COBBOL").type("1");
  f.control("edtCDINS2COBBOL").setFocus();
  f.control("edtCDINS2COBBOL").type("01");
  EXPECT_EQ(keyOf([&] { f.focusList(); }), "1INSTRU_2INSTRU");
  EXPECT_EQ(keyOf([&] { f.cdsBoletos.post(); }), "1INSTRU_2INSTRU") << "posting checks again";
  // Two empty instructions pass.
  f.control("edtCDINS1COBBOL").type("");
  f.control("edtCDINS2COBBOL").type("");
  EXPECT_NO_THROW(f.cdsBoletos.post());
}

TEST_F(Validacoes, ABarcodeOfAnotherBankIsRefusedAndItsNossoNumeroKept) {
  auto& f = listed();
  go(f, "0001", "0000000002");  // CDBANCCNAB 237
  f.Alterar();
  const std::string barcode = "34191790010104351004791020150008291070026000";
  const std::string nn = bank::NossoNumeroCdBarra(barcode, "", "");
  ASSERT_FALSE(nn.empty());
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtCDBARRAREC", barcode); }), "BANQ_Dif");
  EXPECT_EQ(value(f, "CDNOSNUMREC"), nn);
  EXPECT_TRUE(f.control("edtCDBARRAREC").focused());
  EXPECT_EQ(f.edtCDCARTCOBBOLKeyPress('a'), '\0');
  EXPECT_EQ(f.edtCDCARTCOBBOLKeyPress('7'), '7');
}

TEST_F(Validacoes, DiscountedAndWrittenOffBoletosAreNeverEditableAndSentOnesAskFirst) {
  auto& f = listed();
  go(f, "0001", "0000000005");  // "D"
  EXPECT_EQ(keyOf([&] { f.Alterar(); }), "BOL_DESC");
  f.pageControl("pgcPadrao").showPage("tshProrrogacao");
  EXPECT_EQ(keyOf([&] { f.Alterar(); }), "BOL_DESC");
  EXPECT_FALSE(f.listEditing());
  go(f, "0001", "0000000006");  // written off
  EXPECT_EQ(keyOf([&] { f.Alterar(); }), "BOL_BAIXA");

  // A state that cannot be read does not let the change through.
  go(f, "0001", "0000000002");
  EXPECT_NO_THROW(f.VerificaStatus("0001", "0000000002"));
  f.connection().disconnect();
  EXPECT_THROW(f.VerificaStatus("0001", "0000000005"), host::OperationError)
      << "the state read before, of an editable boleto, must not stand in";

  // Company 04 does not control remittances: a sent boleto may leave the remittance.
  EXPECT_NO_THROW(f.VerificaSitCNAB("01"));
  dialogs_->expectQuestion("excluído da remessa", false);
  EXPECT_THROW(f.VerificaSitCNAB("10"), host::OperationAborted);
}

TEST_F(Validacoes, TheOriginBranchIsProposedFromTheAccountAndChecked) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  f.Alterar();
  f.control("cbxIDIMPRBOLBOL").choose(3);
  EXPECT_EQ(value(f, "IDIMPRBOLBOL"), "F");
  EXPECT_EQ(value(f, "CDFILORIG"), "0001");
  EXPECT_EQ(f.control("edtNMFILIAL").text(), "Matriz São Paulo");
  EXPECT_TRUE(f.control("edtCDFILORIG").enabled());
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtCDFILORIG", "3"); }), "FIL_N_CAD");
  EXPECT_TRUE(f.control("edtNMFILIAL").text().empty());
  f.control("edtCDFILORIG").type("2");
  f.focusList();
  EXPECT_EQ(value(f, "NMFILIAL"), "Filial Campinas");
  f.control("cbxIDIMPRBOLBOL").choose(1);
  EXPECT_FALSE(f.control("edtCDFILORIG").enabled());
  EXPECT_TRUE(f.cdsBoletos.valueOf("CDFILORIG").isNull());

  f.control("edtCDREDUCONT").type("");
  EXPECT_EQ(keyOf([&] { f.control("cbxIDIMPRBOLBOL").choose(3); }), "CC_INF_FIL");
}

TEST_F(Validacoes, ProtestDatesMustBeDatesAndUncheckingEmptiesThem) {
  auto& f = listed();
  go(f, "0001", "0000000007");  // protested
  f.Alterar();
  EXPECT_TRUE(f.control("edtDTINIPROTREC").enabled()) << "company 04 does not lock them";
  EXPECT_FALSE(f.control("edtDTINIPROTREC").text().empty());
  EXPECT_EQ(keyOf([&] { typeAndLeave(f, "edtDTFIMPROTREC", "31/02/2026"); }), "DATA_INV");
  f.control("edtDTFIMPROTREC").type("10/04/2026");
  f.focusList();
  EXPECT_EQ(f.cdsBoletos.valueOf("DTFIMPROTREC").asDate(), host::DateTime::fromYmd(2026, 4, 10));
  f.control("chkIDPROTESTREC").toggle();
  EXPECT_EQ(value(f, "IDPROTESTREC"), "N");
  EXPECT_TRUE(f.cdsBoletos.valueOf("DTINIPROTREC").isNull());
  EXPECT_TRUE(f.control("edtDTFIMPROTREC").text().empty());
}

TEST_F(Validacoes, LockedCompaniesKeepAccountWriteOffAndProtestOfExistingBoletos) {
  // The general settings are those of the operator's company.
  settings_.company = "12";
  settings_.branch = "0004";
  useSettings();
  auto& f = listed("12");
  ASSERT_TRUE(f.hasRows());
  EXPECT_FALSE(f.control("edtCDREDUCONT").enabled());
  EXPECT_FALSE(f.control("btnCDTPBAIXAREC").enabled());
  EXPECT_FALSE(f.control("chkIDPROTESTREC").enabled());
}

TEST_F(Validacoes, ClearedBoletosAreFoundAndTheListMovesToThem) {
  auto& f = listed();
  go(f, "0001", "0000000003");
  EXPECT_FALSE(f.VerificaBolCompensado());
  go(f, "0001", "0000000004");
  EXPECT_TRUE(f.VerificaBolCompensado());
  markAs(f, {"0000000003", "0000000004"});
  go(f, "0001", "0000000002");
  EXPECT_TRUE(f.VerificaTBolCompensado("B"));
  EXPECT_EQ(value(f, "NRLANBOLREC"), "0000000004");
}

TEST_F(Validacoes, ChequesOfAPaymentTypeRow) {
  auto& f = listed();
  go(f, "0001", "0000000001");
  f.BuscaTpRecBoleto("0001", "0000000001");
  auto& tp = f.cdsTpRecBoleto;
  // The boleto's rows give all its value: a new row needs some left to distribute.
  f.vrSaldoTpRecUlt = 10.0;
  tp.append();
  EXPECT_EQ(keyOf([&] { f.Vd_Cheque(true); }), "CHEQUE_NINF");
  EXPECT_NO_THROW(f.Vd_Cheque(false));
  // Known by number: the register fills bank, agency and account; it is still free.
  tp.fieldByName("NRCHEQBOLREC").setString("456");
  f.Vd_Cheque(true);
  EXPECT_EQ(tp.valueOf("NRCHEQBOLREC").asString(), "000456");
  EXPECT_EQ(tp.valueOf("CDBANCBOLREC").asString(), "341");
  EXPECT_EQ(tp.valueOf("CDCONTBOLREC").asString(), "0098765");
  // Entered already on this boleto in this edit.
  f.klChequeNovo.Add("0004563410057 0098765", Value(10.0));
  EXPECT_EQ(keyOf([&] { f.Vd_Cheque(true); }), "CHEQUE_JA_CAD");
  // Applied in full elsewhere.
  for (const char* fld : {"CDBANCBOLREC", "CDAGENBOLREC", "CDCONTBOLREC"})
    tp.fieldByName(fld).clear();
  tp.fieldByName("NRCHEQBOLREC").setString("123");
  EXPECT_EQ(keyOf([&] { f.Vd_Cheque(true); }), "CHEQUE_NAO_DISP");

  tp.fieldByName("CDBANCBOLREC").setString("1");
  f.Vd_Banco(true);
  EXPECT_EQ(tp.valueOf("CDBANCBOLREC").asString(), "001");
  tp.fieldByName("CDBANCBOLREC").clear();
  EXPECT_EQ(keyOf([&] { f.Vd_Banco(true); }), "BANCO_NInf");
  tp.fieldByName("CDAGENBOLREC").clear();
  EXPECT_EQ(keyOf([&] { f.Vd_Agencia(true); }), "AGENCIA_NI");
  tp.fieldByName("CDCONTBOLREC").clear();
  EXPECT_EQ(keyOf([&] { f.Vd_ContaCorr(true); }), "CONTCORR_NI");
  tp.cancel();
}
