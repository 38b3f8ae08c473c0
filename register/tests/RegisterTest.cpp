// The register driven as an operator drives it, against the seeded demo service.

#include "host/Errors.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using rec::testing::RegisterFixture;

class Register : public RegisterFixture {
 public:
  int boletosOf(const std::string& company, const std::string& more = "") {
    return count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA = '" + company + "'" + more);
  }
};

TEST_F(Register, OpensThroughIniProcWithTheContextsCompanyAndItsListClosed) {
  auto& f = open();
  ASSERT_FALSE(screens_->shown().empty());
  EXPECT_EQ(screens_->shown().back().className, "TfrmHabContRec");
  EXPECT_EQ(screens_->shown().back().mode, ShowMode::Modeless);  // company 04 keeps no budgets
  EXPECT_TRUE(Cli_rec12000::boStCriado);
  EXPECT_EQ(f.control("medEmpresa").text(), "04");
  EXPECT_EQ(f.control("edtNMEMPRESA").text(), "Comercial Exemplo Ltda");
  EXPECT_TRUE(f.control("medEmpresa").focused());
  EXPECT_FALSE(f.cdsBoletos.active());
  EXPECT_FALSE(f.control("tshFormulario").enabled());
  EXPECT_FALSE(f.control("mnuAlterar").enabled());
  EXPECT_FALSE(f.control("sbtFiltrar").enabled());
  EXPECT_FALSE(f.control("lblDepIdent").visible());
  // The default layout: seven columns shown after the mark column, budgets removed.
  const auto& grid = f.grid("dbgPadrao");
  EXPECT_EQ(grid.columns().front().field, "IDMARCADO");
  EXPECT_EQ(grid.IndiceCol("NRORCAEVENTO"), -1);
  EXPECT_EQ(f.cdsVisualiza.recordCount(), 15u);
  // Created once: a second call shows the same screen.
  IniProc();
  EXPECT_EQ(frmHabContRec(), &f);
}

TEST_F(Register, ChoosingTheCompanyOpensTheFilterAndListsTheCompanysBoletos) {
  auto& f = listed();
  ASSERT_TRUE(f.cdsBoletos.active());
  const int expected = boletosOf("04");
  ASSERT_GT(expected, 0);
  EXPECT_EQ(static_cast<int>(f.cdsBoletos.recordCount()), expected);
  EXPECT_EQ(f.control("medEmpresa").text(), "04");
  EXPECT_TRUE(f.grid("dbgPadrao").focused());
  // Ordered by instalment.
  double last = -1;
  for (f.cdsBoletos.first(); !f.cdsBoletos.eof(); f.cdsBoletos.next()) {
    const double p = f.cdsBoletos.valueOf("FTR_PARCNUM").asDouble();
    EXPECT_GE(p, last);
    last = p;
    EXPECT_EQ(f.cdsBoletos.valueOf("CDEMPRESA").asString(), "04");
  }
  f.cdsBoletos.first();
  // The list page's commands in browse state.
  EXPECT_TRUE(f.pageControl("pgcPadrao").isShown("tshFolhaDados"));
  for (const char* on :
       {"sbtAlterar", "sbtVerificar", "sbtPesquisar", "sbtFiltrar", "sbtImprimir", "mnuBoleto"}) {
    EXPECT_TRUE(f.control(on).enabled()) << on;
  }
  // Commands that need an edit or marked boletos are disabled with their menu items.
  for (const char* off : {"sbtConfirmar", "sbtCancelar", "sbtIncluir", "sbtExcluir", "sbtAssociar",
                          "sbtCancBoleto"}) {
    EXPECT_FALSE(f.control(off).enabled()) << off;
  }
  // Combining boletos of many customers opens its own screen: nothing marked, so enabled.
  EXPECT_TRUE(f.control("sbtAgrupar").enabled());
  // E-mail is offered; sending needs marked boletos.
  EXPECT_TRUE(f.control("sbtEmail").enabled());
  for (const char* off : {"mnuEnviaBoleto"}) {
    EXPECT_FALSE(f.control(off).enabled()) << off;
  }
  for (const char* page :
       {"tshFormulario", "tshDadosRec", "tshAjustes", "tshProrrogacao", "tshParcelamento"}) {
    EXPECT_TRUE(f.control(page).enabled()) << page;
  }
  // The current boleto's receivables beside the list.
  ASSERT_TRUE(f.cdsCntReceber.active());
  EXPECT_GE(f.cdsCntReceber.recordCount(), 1u);
  EXPECT_EQ(f.cdsCntReceber.valueOf("NRDUPLICATA").asString(),
            f.cdsBoletos.valueOf("FTR_NRDUPLICATA").asString());
}

TEST_F(Register, TheCompanyPanelRefusesNoCompanyAnUnknownOneAndOneNotTheOperators) {
  settings_.companies = {"04"};
  useSettings();
  auto& f = open();
  f.control("medEmpresa").type("");
  try {
    f.focusList();
    FAIL() << "an empty company left the panel";
  } catch (const host::OperationError& e) {
    EXPECT_EQ(e.key(), "Empresa_ni");
  }
  EXPECT_TRUE(f.control("medEmpresa").focused());
  f.control("medEmpresa").type("77");
  try {
    f.focusList();
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_EQ(e.key(), "Emp_nc");
    EXPECT_STREQ(e.what(), "Empresa não cadastrada");
  }
  f.control("medEmpresa").type("8");
  try {
    f.focusList();
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_EQ(e.key(), "Emp_Nr");
  }
  EXPECT_EQ(f.control("edtNMEMPRESA").text(), "Eventos Exemplo S.A.");
  EXPECT_TRUE(f.control("medEmpresa").focused());
  // None of these opened the filter.
  for (const auto& s : screens_->shown()) EXPECT_NE(s.className, "TfrmFiltroHabRec");
}

TEST_F(Register, TypingAnotherCompanyClosesTheListAndTheFilterRunsForTheNewOne) {
  auto& f = listed();
  f.control("medEmpresa").setFocus();
  EXPECT_FALSE(f.cdsBoletos.active());
  EXPECT_FALSE(f.control("tshAjustes").enabled());
  f.control("medEmpresa").type("12");
  EXPECT_EQ(f.control("edtNMEMPRESA").text(), "");
  f.focusList();
  EXPECT_EQ(f.control("edtNMEMPRESA").text(), "Serviços Demonstração Ltda");
  EXPECT_EQ(static_cast<int>(f.cdsBoletos.recordCount()), boletosOf("12"));
  // The settings are company 12's, not the context's: it locks emitted boletos, so the
  // list offers no combining.
  EXPECT_EQ(f.cdsGeralRec.valueOf("IDBLOQALTBOLREC").asString(), "S");
  EXPECT_FALSE(f.control("sbtAgrupar").enabled());
}

TEST_F(Register, ClosingIsRefusedWhileBusyAndOtherwiseDropsTheSelectionList) {
  auto& f = listed();
  const std::string lista = Cli_rec12000::stLista;
  ASSERT_FALSE(lista.empty());
  f.busy = true;
  EXPECT_FALSE(f.close());
  f.control("sbtSair").click();
  EXPECT_EQ(frmHabContRec(), &f);
  f.busy = false;
  f.klMarcados.Add("x", host::KeyValue(1.0));
  EXPECT_TRUE(f.close());
  EXPECT_FALSE(Cli_rec12000::boStCriado);
  EXPECT_EQ(frmHabContRec(), nullptr);
  EXPECT_TRUE(Cli_rec12000::stLista.empty());
  EXPECT_EQ(f.klMarcados.Count(), 0);
  EXPECT_FALSE(netHabContRec().connected());
  EXPECT_EQ(frmFiltroHabRec(), nullptr);
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = '" + lista + "'"), 0);
}

TEST_F(Register, PagesAndCommandsFollowThePageShown) {
  auto& f = listed();
  auto& pgc = f.pageControl("pgcPadrao");
  pgc.showPage("tshFormulario");
  EXPECT_FALSE(f.control("sbtAlterar").enabled());  // receivables are not changed here
  EXPECT_FALSE(f.control("mnuEnviaBoleto").enabled());
  EXPECT_TRUE(f.control("mnuFormulario").checked());
  pgc.showPage("tshParcelamento");
  EXPECT_FALSE(f.control("sbtFiltrar").enabled());
  EXPECT_FALSE(f.control("sbtVerificar").enabled());
  pgc.showPage("tshDadosRec");
  EXPECT_TRUE(f.control("sbtImprimir").enabled());
  f.control("mnuCnab").click();
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshCnab"));
  EXPECT_TRUE(f.control("mnuCnab").checked());
  // The origin-branch fields only for the "Fil. Orig." choice.
  f.control("cbxIDIMPRBOLBOL").choose(3);
  EXPECT_TRUE(f.control("edtCDFILORIG").enabled());
  f.control("edtCDFILORIG").setText("0002");
  f.control("cbxIDIMPRBOLBOL").choose(1);
  EXPECT_FALSE(f.control("edtCDFILORIG").enabled());
  EXPECT_EQ(f.control("edtCDFILORIG").text(), "");
  f.control("mnuFolhaDados").click();
  EXPECT_TRUE(pgc.isShown("tshFolhaDados"));
  EXPECT_TRUE(f.control("sbtImprimir").enabled());
}

TEST_F(Register, ChangingShowsTheGeneralDataAndLocksTheCompanyPanelUntilCancel) {
  auto& f = listed();
  f.control("sbtAlterar").click();
  ASSERT_EQ(f.cdsBoletos.state(), host::DatasetState::Edit);
  EXPECT_TRUE(f.pageControl("pgcPadrao").isShown("tshDadosRec"));
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshGeral"));
  EXPECT_FALSE(f.control("pnlEmpresa").enabled());
  EXPECT_TRUE(f.control("sbtConfirmar").enabled());
  EXPECT_FALSE(f.control("sbtFiltrar").enabled());
  EXPECT_FALSE(f.control("tshFolhaDados").enabled());
  EXPECT_EQ(f.accountAtEditStart, f.cdsBoletos.valueOf("CDREDUCONT").asString());
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.control("sbtCancelar").click();
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);
  EXPECT_TRUE(f.control("pnlEmpresa").enabled());
  EXPECT_FALSE(f.control("edtDTVENBOLREC").enabled());
  EXPECT_EQ(f.control("nedCont").text(), "0");
}

TEST_F(Register, ABoletoDueBeforeTheLockedProcessingDateCannotBeChanged) {
  settings_.lockedBefore["REC"] = host::DateTime::fromYmd(2099, 1, 1);
  useSettings();
  auto& f = listed();
  dialogs_->expectError("Boleto anterior a data de processamento não pode ser alterado. ");
  f.control("sbtAlterar").click();
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);
}

TEST_F(Register, ANewRowTakesTheCustomersPercentagesOrTheCompanysWhenItHasNone) {
  auto& f = listed();
  f.cdsBoletos.events().onNewRecord = nullptr;  // the row's customer is set first here
  f.cdsBoletos.append();
  f.cdsBoletos.fieldByName("VRFINALBREC").setFloat(1000);
  // A customer with a fine of its own and no interest: the missing one counts as 0.
  f.cdsBoletos.fieldByName("CDCLIENTE").setString("000000000000000000101");
  f.applyFineInterestDefaults();
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRPEMULBREC").asDouble(), 1.5);
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRPEMORBREC").asDouble(), 0);
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRMULTABREC").asDouble(), 15);
  // A customer with neither: the company's 2 % and 0.033 % a day.
  f.cdsBoletos.fieldByName("CDCLIENTE").setString("000000000000000000102");
  f.applyFineInterestDefaults();
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRPEMULBREC").asDouble(), 2);
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRPEMORBREC").asDouble(), 0.033);
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRMORDIABREC").asDouble(), 0.33);
  f.cdsBoletos.cancel();
}

TEST_F(Register, AFailedLoaderKeepsThePagesRowsAndHidesTheWaitAnimation) {
  auto& f = listed();
  f.pageControl("pgcPadrao").showPage("tshAjustes");
  ASSERT_TRUE(f.cdsAjBolRec.active());
  const size_t rows = f.cdsAjBolRec.recordCount();
  const std::string branch = f.cdsBoletos.valueOf("CDFILIAL").asString();
  const std::string number = f.cdsBoletos.valueOf("NRLANBOLREC").asString();
  netHabContRec().disconnect();
  host::Host noService = ports();
  noService.transport = nullptr;
  host::HostScope unreachable(noService);
  EXPECT_THROW(f.BuscaAjustes(branch, number), host::OperationError);
  EXPECT_TRUE(f.cdsAjBolRec.active());
  EXPECT_EQ(f.cdsAjBolRec.recordCount(), rows);
  EXPECT_FALSE(dialogs_->waitShown());
}
