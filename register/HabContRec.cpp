#include "register/HabContRec.h"

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/Comandos.h"
#include "register/DisplayCodes.h"
#include "register/FiltroHabRec.h"
#include "register/GridLayout.h"
#include "register/MultaMora.h"

namespace rec {

using host::ControlKind;
using host::DatasetState;
using host::Value;

namespace {

ScreenSlot<TfrmHabContRec>& registerSlot() {
  static ScreenSlot<TfrmHabContRec> slot =
      ScreenSlot<TfrmHabContRec>::once(&Cli_rec12000::boStCriado);
  return slot;
}

// The list columns the register's grid carries before a layout arranges them.
const char* const kListColumns[] = {
    "IDMARCADO",        "FTR_DTVENBOLREC",  "FTR_NMRAZSOCCLIE", "FTR_NRPARCBOLREC",
    "FTR_NRDUPLICATA",  "FTR_VRFINALBREC",  "FTR_IDSTATBREC",   "FTR_NRLICENCAUSO",
    "FTR_CDFILIAL",     "FTR_DTEMISSAO",    "FTR_NRNOTAFISC",   "FTR_CDFILIEMIT",
    "FTR_NRCNABRECREM", "FTR_NRCNABRECRET", "FTR_IDSITUCNABR",  "FTR_IDPROTESTREC",
    "NRORCAEVENTO",     "NF_ORCAMENTO",     "NRSEQORCAEVE",     "DSEMAILCLIE",
    "VRTAXACARTORIO",   "FTR_DSBOLETREC",
};

// Empty texts of the current row become null, so the service never stores "" for "nothing".
void Seta_Campo_Null(host::ClientDataset& ds) {
  for (const auto& def : ds.fieldDefs()) {
    if (def.type != host::FieldType::String && def.type != host::FieldType::Memo) continue;
    const Value v = ds.valueOf(def.name);
    if (v.kind() == Value::Kind::Text && v.asString().empty()) ds.fieldByName(def.name).clear();
  }
}

bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

}  // namespace

TfrmHabContRec* frmHabContRec() {
  return Cli_rec12000::boStCriado ? registerSlot().instance() : nullptr;
}

std::array<host::TKeyList*, 15> TfrmHabContRec::keyLists() {
  return {&klMarcados, &klVencimentos, &klOrcamentos, &klEmissao,    &klCarteira,
          &klParcelas, &klTpRecValor,  &klChequeUso,  &klChequeNovo, &klAssocia,
          &klCancela,  &klEmail,       &klGeracao,    &klCarne,      &klCredConta};
}

TfrmHabContRec::TfrmHabContRec()
    : host::TfrmPadrao("TfrmHabContRec", "REC12000", "Boleto"), conn_(&netHabContRec()) {
  auto& m = messages();
  m.Add("Emp_nc", "Empresa não cadastrada");
  m.Add("Empresa_ni", "Empresa deve ser informada.");
  m.Add("Emp_Nr", "Empresa não relacionada ao operador logado.");
  m.Add("DtBol<DtSis", "Boleto anterior a data de processamento não pode ser alterado. ");
  m.Add("Excl_Ult", "Confirma a Exclusão do Último Recebimento ?");
  m.Add("PARCBOLCOMP",
        "Operação bloqueada! Parcelamento de boleto ligado a uma compensação não pode ser "
        "alterado.");
  addValidationMessages();
  addEmissionMessages();
  addConfirmationMessages();
  addAssociationMessages();
  addPaymentTypeMessages();
  buildControls();
  attachGrids();
  attachAdjustments();
  attachExtension();
  attachPaymentTypes();
  setMainDataset(&cdsBoletos);

  // 1. The connection, while the wait animation shows.
  {
    host::WaitAnimation wait;
    if (!conn_->connected()) conn_->connect();
  }
  // 2. The marking sets, counters, key lists and print order.
  for (auto* ds : {&cdsMarca, &cdsMarcaAux}) {
    ds->setFieldDefs(records::BoletoRecord().fields());
    ds->createDataset();
  }
  nMarcEmitidos = nMarcOutros = 0;
  for (auto* kl : keyLists()) kl->Clear();
  cdsOrdemPrint.setFieldDefs(records::cdsOrdemPrint().fields());
  cdsOrdemPrint.createDataset();
  cdsBoletos.setFieldDefs(records::BoletoRecord().fields());
  // 3. The host's date mask on the date fields of the instalment and payment-type pages.
  control("edtDTVENBOLREC_Parc").setCaption("!99/99/9999;1;_");
  control("edtDTCHEQBOLREC").setCaption("!99/99/9999;1;_");
  // 4.
  firstActivation = true;
  attachListEvents();
  attachParcelamento();
  creators().registro = [this] {
    return RegisterView{&cdsMarca, current("CDFILIAL").asString(),
                        current("NRLANBOLREC").asString(), [this] {
                          Desmarca_Boletos();
                          Fitro_Locate();
                        }};
  };
  // 5. Identified deposits only where the general settings allow them.
  callInto(cdsValidaGR, rpc::GetValidaGR{});
  const bool depIdent = cdsValidaGR.valueOf("IDSISDOS").asString() == "3";
  control("lblDepIdent").setVisible(depIdent);
  control("edtCDDEPIDENREC").setVisible(depIdent);
  // 6. The context's company.
  control("medEmpresa").setText(host::EmprProc());
  readCompany(true);
  // 7. The event-budget columns only where budgets are used.
  callInto(cdsOrcaFestas, rpc::GetOrcaFestas{});
  if (cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() != "S") {
    auto& grid = this->grid("dbgPadrao");
    for (const char* f : {"NRORCAEVENTO", "NF_ORCAMENTO", "NRSEQORCAEVE"}) {
      grid.DestroiColuna(f);
      cdsBoletos.fieldDef(f).visible = false;
    }
  }
  // 8. Single cells can be entered (the description column is edited in place).
  grid("dbgPadrao").setRowSelect(false);
}

TfrmHabContRec::~TfrmHabContRec() {
  // The datasets go with the screen; their handlers must not run against a half-freed one.
  cdsBoletos.detachEvents();
  cdsCNABMsg.detachEvents();
}

void TfrmHabContRec::buildControls() {
  auto& pnl = addControl("pnlEmpresa", ControlKind::Panel);
  addControl("lblEmpresa", ControlKind::Label, &pnl).setCaption("Empresa");
  auto& med = addControl("medEmpresa", ControlKind::Edit, &pnl);
  addControl("btnEmpresa", ControlKind::Button, &pnl);
  addControl("edtNMEMPRESA", ControlKind::Edit, &pnl).setReadOnly(true);
  med.onChange = [this] {
    cdsBoletos.close();
    control("edtNMEMPRESA").setText({});
  };
  med.onExit = [this] { medEmpresaExit(); };
  med.onEnter = [this] { readCompany(false); };
  pnl.onEnter = [this] { pnlEmpresaEnter(); };
  pnl.onExit = [this] { pnlEmpresaExit(); };

  // Pages, each with its menu item.
  auto& pgc = addPageControl("pgcPadrao");
  struct P {
    const char* page;
    const char* caption;
    const char* menu;
  };
  const P outer[] = {{"tshFolhaDados", "Boletos", "mnuFolhaDados"},
                     {"tshFormulario", "Contas a Receber", "mnuFormulario"},
                     {"tshDadosRec", "Dados para Recebimento", "mnuDadosRec"},
                     {"tshAjustes", "Ajustes", "mnuAjustes"},
                     {"tshProrrogacao", "Prorrogação", "mnuProrrogacao"},
                     {"tshParcelamento", "Parcelamento", "mnuParcelamento"},
                     {"tshTpRecBoleto", "Tipo de Recebimento", "mnuTpRecBoleto"}};
  for (const auto& p : outer) {
    auto& item = addControl(p.menu, ControlKind::MenuItem);
    item.setCaption(p.caption);
    pgc.addPage(p.page, p.caption, &item);
    const std::string page = p.page;
    item.onClick = [this, page] { run([this, page] { showPage(page); }); };
  }
  pgc.onChange = [this] { run([this] { pgcPadraoChange(); }); };

  auto& list = control("tshFolhaDados");
  auto& grid = addGrid("dbgPadrao", &list);
  for (const char* f : kListColumns) {
    const auto& def = records::BoletoRecord()[f];
    grid.addColumn({f, def.displayLabel, 64, true});
  }
  auto& recs = addGrid("dbgCntReceber", &list);
  recs.addColumn({"DOCUMENTO", "Doc/Série", 80, true});
  recs.addColumn({"VRATUAREC", "Valor", 70, true});
  addControl("nedTotal", ControlKind::Edit, &list).setReadOnly(true);
  addControl("nedCont", ControlKind::Edit, &list).setReadOnly(true);
  addControl("lblTpBaixa", ControlKind::Label, &list).setCaption("Tp. Baixa");
  addControl("edtNMTPBAIXAREC", ControlKind::Edit, &list).setReadOnly(true);
  addGrid("dbgFormulario", &control("tshFormulario"));

  auto& dados = control("tshDadosRec");
  auto& inner = addPageControl("pgcDadosRec", &dados);
  const P innerPages[] = {{"tshGeral", "Dados Gerais", "mnuGeral"},
                          {"tshCnab", "Dados Cnab", "mnuCnab"},
                          {"tshMultaMora", "Multa/Mora", "mnuMultaMora"}};
  for (const auto& p : innerPages) {
    auto& item = addControl(p.menu, ControlKind::MenuItem);
    item.setCaption(p.caption);
    inner.addPage(p.page, p.caption, &item);
    const std::string page = p.page;
    item.onClick = [this, page] {
      run([this, page] {
        showPage("tshDadosRec");
        pageControl("pgcDadosRec").showPage(page);
      });
    };
  }
  inner.onChange = [this] { run([this] { pgcPadraoChange(); }); };
  auto& geral = control("tshGeral");
  for (const char* f : {"edtCDREDUCONT", "edtCDBANCO", "edtCDAGENCIA", "edtCDCONTCORR",
                        "edtCDNOSNUMREC", "edtCDBARRAREC", "edtNRLINHADIGREC", "edtCDTPBAIXAREC",
                        "edtDTINIPROTREC", "edtDTFIMPROTREC", "chkIDPROTESTREC"}) {
    addControl(f, f[0] == 'c' ? ControlKind::Check : ControlKind::Edit, &geral);
  }
  // The account's Pix key, shown beside its bank data: it comes with the account.
  addControl("edtDSCHAVEPIX", ControlKind::Edit, &geral).setReadOnly(true);
  addControl("lblDTVENBOLREC", ControlKind::Label, &geral).setCaption("Vencimento");
  addControl("edtDTVENBOLREC", ControlKind::Edit, &geral);
  addControl("lblDepIdent", ControlKind::Label, &geral).setCaption("Depósito Identificado");
  addControl("edtCDDEPIDENREC", ControlKind::Edit, &geral);
  auto& cnab = control("tshCnab");
  addControl("memTXMENSBOLBOL", ControlKind::Memo, &cnab).onChange = [this] {
    run([this] {
      // Editing the message edits the boleto: both are confirmed together.
      if (cdsBoletos.active() && cdsBoletos.state() == DatasetState::Browse && hasRows()) {
        cdsBoletos.edit();
      }
      if (cdsCNABMsg.active() && cdsCNABMsg.state() == DatasetState::Browse) cdsCNABMsg.edit();
      if (editing(cdsCNABMsg)) {
        cdsCNABMsg.fieldByName("TXMENSBOLBOL").setString(control("memTXMENSBOLBOL").text());
      }
    });
  };
  auto& prints = addControl("cbxIDIMPRBOLBOL", ControlKind::Combo, &cnab);
  prints.setItems(reg::WhoPrintsChoices().items);
  prints.onChange = [this] { originBranchFields(); };
  addControl("lblCDFILORIG", ControlKind::Label, &cnab).setCaption("Fil. Orig.");
  addControl("edtCDFILORIG", ControlKind::Edit, &cnab);
  addControl("btnCDFILORIG", ControlKind::Button, &cnab);
  addControl("dbnNavegador", ControlKind::Button, &cnab).onClick = [this] { originBranchFields(); };
  addGrid("dbgAjustes", &control("tshAjustes"));
  auto& ext = control("tshProrrogacao");
  addControl("edtNovaData", ControlKind::Edit, &ext);
  addControl("lblNomeSemana", ControlKind::Label, &ext);
  addControl("edtCDMOTIPROR", ControlKind::Edit, &ext);
  addControl("edtDSMOTIPROR", ControlKind::Edit, &ext).setReadOnly(true);
  addGrid("dbgParcelamento", &control("tshParcelamento"));
  addControl("edtDTVENBOLREC_Parc", ControlKind::Edit, &control("tshParcelamento"));
  addGrid("dbgTpRecBoleto", &control("tshTpRecBoleto"));
  addControl("edtDTCHEQBOLREC", ControlKind::Edit, &control("tshTpRecBoleto"));

  // Batch commands. The e-mail button stays enabled while its first menu item follows the
  // marking.
  buildPrintMenu();
  addCommand("sbtCancBoleto", "mnuCancBoleto", [this] { run([this] { sbtCancelaBolClick(); }); });
  addControl("sbtEmail", ControlKind::Button);
  addControl("mnuEnviaBoleto", ControlKind::MenuItem).onClick = [this] {
    run([this] { mnuEnviarBoletoClick(); });
  };
  addControl("mnuEnviaNota", ControlKind::MenuItem).onClick = [this] {
    run([this] { mnuEnviarCartaCobrancaClick(); });
  };
  control("mnuEnviaNota").setCaption("Enviar Carta de Cobrança");
  addCommand("sbtAssociar", "mnuAssociar", [this] { run([this] { sbtAgrupaClick(); }); });
  addCommand("sbtAgrupar", "mnuAgrupar", [this] {
    run([this] {
      installed(creators().CriaConjulgarBoleto, "TfrmConjulgarBoleto")(company());
      Fitro_Locate();
    });
  });
  addControl("mnuSelNFImp", ControlKind::MenuItem).onClick = [this] {
    run([this] { mnuSelNFImpClick(); });
  };
  control("mnuSelNFImp").setCaption("Seleção de Notas Fiscais para Importação");
  buildValidationControls();
  buildFineInterestControls();
  buildCnabControls();
  disableUnbuiltCommands();
}

void TfrmHabContRec::attachListEvents() {
  auto& ev = cdsBoletos.events();
  ev.afterScroll = [this](host::ClientDataset&) { afterScroll(); };
  ev.beforeScroll = [this](host::ClientDataset&) {
    control("edtDTINIPROTREC").setText({});
    control("edtDTFIMPROTREC").setText({});
  };
  ev.afterOpen = [this](host::ClientDataset& ds) {
    if (ds.isEmpty()) {
      pageControl("pgcPadrao").setPageEnabled("tshFolhaDados", true);
      pageControl("pgcPadrao").setActivePage("tshFolhaDados");
    }
    HabPageControl();
  };
  ev.beforeEdit = [this](host::ClientDataset& ds) {
    Verifica_Acesso_Sistema(ds.valueOf("DTVENBOLREC").asDate());
    accountAtEditStart = ds.valueOf("CDREDUCONT").asString();
  };
  ev.afterEdit = [this](host::ClientDataset&) {
    if (cdsCNABMsg.active() && cdsCNABMsg.state() == DatasetState::Browse) cdsCNABMsg.edit();
  };
  ev.onNewRecord = [this](host::ClientDataset&) { applyFineInterestDefaults(); };
  ev.beforePost = [this](host::ClientDataset& ds) {
    Vd_DadoBoleto("P", "MU");
    Vd_DadoBoleto("V", "MU");
    Vd_DadoBoleto("P", "MO");
    Vd_DadoBoleto("V", "MO");
    Vd_InstruCobr("CDINS1COBBOL");
    Vd_InstruCobr("CDINS2COBBOL");
    Seta_Campo_Null(ds);
  };
  ev.afterCancel = [this](host::ClientDataset&) {
    control("edtDTVENBOLREC").setEnabled(false);
    control("lblDTVENBOLREC").setEnabled(false);
    clearMarking();
    cdsMarca.emptyDataset();
  };
  ev.beforeClose = [this](host::ClientDataset& ds) {
    if (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert) ds.cancel();
    clearMarking();
  };
  ev.onStateChange = [this](host::ClientDataset& ds) {
    if (columnEditing || pageShown("tshAjustes")) return;
    control("pnlEmpresa")
        .setEnabled(!(ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert));
    Habilita();
    HabPageControl();
  };
  cdsCNABMsg.events().beforePost = [](host::ClientDataset& ds) { Seta_Campo_Null(ds); };
}

void TfrmHabContRec::clearMarking() {
  klMarcados.Clear();
  klVencimentos.Clear();
  klOrcamentos.Clear();
  if (cdsOrdemPrint.active()) cdsOrdemPrint.emptyDataset();
  nMarcEmitidos = nMarcOutros = 0;
  setTotals(0, 0);
}

void TfrmHabContRec::setTotals(double total, int count) {
  markedTotal = host::RoundDec(2, total);
  markedCount = count;
  control("nedTotal").setText(host::FormatFloat("#,##0.00", host::RoundDec(2, total)));
  control("nedCont").setText(std::to_string(count));
}

Value TfrmHabContRec::current(std::string_view field) const {
  return cdsBoletos.active() ? cdsBoletos.valueOf(field) : Value();
}

std::string TfrmHabContRec::company() const {
  return control("medEmpresa").text();
}

bool TfrmHabContRec::listEditing() const {
  return editing(cdsBoletos);
}
bool TfrmHabContRec::listBrowse() const {
  return cdsBoletos.active() && cdsBoletos.state() == DatasetState::Browse;
}
bool TfrmHabContRec::instalmentsEditing() const {
  return editing(cdsParcelamento);
}

bool TfrmHabContRec::pageShown(std::string_view page) const {
  return pageControl("pgcPadrao").isShown(page);
}

void TfrmHabContRec::showPage(const std::string& page) {
  pageControl("pgcPadrao").showPage(page);
}

void TfrmHabContRec::loadInto(host::ClientDataset& ds, const remote::Result& r, const char* method,
                              bool checked) {
  remote::Variant packet;
  if (checked) {
    packet = remote::CheckResultServ(r);
  } else {
    // Loaded without the result check: a refusal leaves the page as it was.
    if (!r.reply.ok() || !r.reply.result.isPacket()) return;
    packet = r.reply.result;
  }
  if (!packet.isPacket())
    host::MensErro(std::string("Resposta inesperada do serviço em ") + method + ".");
  if (ds.active()) ds.close();
  remote::loadPacket(ds, packet);
}

// ------------------------------------------------------------------ company

void TfrmHabContRec::readCompany(bool raiseWhenMissing) {
  const std::string code = company();
  qryEmpresa.Close();
  qryEmpresa.ParamByName("P_CDEMPRESA") = Value(code);
  qryEmpresa.ParamByName("P_TCDEMPRESA") = Value("");
  qryEmpresa.Open();
  if (qryEmpresa.IsEmpty()) {
    control("edtNMEMPRESA").setText({});
    if (raiseWhenMissing) failOn("medEmpresa", "Emp_nc");
    return;
  }
  control("edtNMEMPRESA").setText(qryEmpresa.FieldByName("NMEMPRESA").asString());
}

void TfrmHabContRec::medEmpresaExit() {
  auto& med = control("medEmpresa");
  if (host::EmptyString(med.text())) return;
  med.setText(host::Ajusta(host::AllTrim(med.text()), 2));
  readCompany(true);
}

void TfrmHabContRec::pnlEmpresaEnter() {
  cdsBoletos.close();
  cdsGeralRec.close();
  auto& pgc = pageControl("pgcPadrao");
  for (auto* page : pgc.pages()) pgc.setPageEnabled(page->name(), false);
  pgc.setActivePage("tshFolhaDados");
  control("mnuCancBoleto").setEnabled(false);
  control("sbtEmail").setEnabled(false);
  control("mnuAssociar").setEnabled(false);
}

void TfrmHabContRec::pnlEmpresaExit() {
  const std::string code = host::AllTrim(company());
  if (code.empty()) error("Empresa_ni");
  if (!host::AcessoOperEmpresa(host::Operador(), code)) failOn("medEmpresa", "Emp_Nr");
  // From here the service answers for the company shown: its settings, its lists.
  conn_->setCompany(code);
  // The focus is on its way out of the panel: the list page may open again.
  host::ScopedFlag leaving(leavingCompany_);
  CriaFiltroHabRec("BOTAO_FILTRO");
  if (!cdsBoletos.active()) cdsBoletos.createDataset();
  callInto(cdsGeralRec, rpc::GetGeralRec{});
  const bool fromOrigin = hasRows() && current("IDIMPRBOLBOL").asString() == "F";
  for (const char* c : {"lblCDFILORIG", "edtCDFILORIG", "btnCDFILORIG"}) {
    control(c).setEnabled(fromOrigin);
  }
  Habilita();
  HabPageControl();
}

void TfrmHabContRec::focusList() {
  focus(grid("dbgPadrao"));
}

// ------------------------------------------------------------------ activation

void TfrmHabContRec::FormActivate() {
  extensionReacts = true;
  if (firstActivation) {
    callInto(cdsGeralRec, rpc::GetGeralRec{});
    createVisualiza(cdsVisualiza);
    const std::string layout =
        columnLayout(cdsGeralRec.active() ? cdsGeralRec.valueOf("TXVISUBOLREC").asString() : "");
    parseColumnLayout(layout, cdsVisualiza);
    applyColumnLayout(cdsVisualiza, grid("dbgPadrao"), cdsBoletos);
    criaIndiceImpressao();
  }
  if (hasRows()) afterScroll();
  pgcPadraoChange();
  if (firstActivation) {
    // The register opens with its list closed and the company panel focused.
    firstActivation = false;
    focus(control("medEmpresa"));
  }
}

// ------------------------------------------------------------------ current boleto

void TfrmHabContRec::fillExtensionPage() {
  const Value due = current("DTVENBOLREC");
  const std::string reason = current("CDMOTIPROR").asString();
  control("edtNovaData").setText(due.isNull() ? "" : due.asDate().format("dd/mm/yyyy"));
  control("edtCDMOTIPROR").setText(reason);
  std::string description;
  if (!reason.empty()) {
    callInto(cdsProrrogacao, rpc::GetProrrogacao{.CDMOTIPROR = reason, .todos = ""});
    description = cdsProrrogacao.valueOf("DSMOTIPROR").asString();
  }
  control("edtDSMOTIPROR").setText(description);
  control("lblNomeSemana").setCaption(due.isNull() ? "" : host::NomeSemana(due.asDate()));
}

void TfrmHabContRec::afterScroll() {
  if (listBrowse()) Habilita();
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();
  if (pageShown("tshFolhaDados") && hasRows()) {
    BuscaContaReceber(branch, number);
    BuscaCNABMsg(branch, number);
  } else if (pageShown("tshDadosRec") && hasRows() && listBrowse()) {
    // "Dados Cnab" shows the bank message of the boleto shown, not of the last one listed.
    BuscaCNABMsg(branch, number);
  }
  if (hasRows()) {
    const std::string customer = current("CDCLIENTE").asString();
    bool licence = false;
    if (!customer.empty()) {
      callInto(cdsCliente, rpc::GetCliente{.CDCLIENTE = customer});
      licence = cdsCliente.valueOf("IDUTLICEUSO").asString() == "S";
    }
    control("lblTpBaixa").setCaption(licence ? "Lic. de Uso" : "Tp. Baixa");
    control("edtNMTPBAIXAREC")
        .setText(current(licence ? "NRLICENCAUSO" : "NMTPBAIXAREC").asString());
    fillExtensionPage();
    MostraDadosRec();
  }
  auto& pgc = pageControl("pgcPadrao");
  if (pageShown("tshAjustes")) {
    BuscaAjustes(branch, number);
  } else if (pageShown("tshProrrogacao")) {
    control("mnuIncluir").setEnabled(false);
    control("mnuExcluir").setEnabled(false);
    control("mnuPesquisar").setEnabled(false);
    control("mnuVerificar").setEnabled(false);
    control("mnuAlterar").setEnabled(true);
  } else if (pageShown("tshParcelamento")) {
    BuscaParcelas(branch, number, current("NRORIGBOLREC").asString());
    Habilita();
  } else if (pageShown("tshTpRecBoleto")) {
    BuscaTpRecBoleto(branch, number);
  }
  const bool payTypes = hasRows() && current("VRFINALBREC").asDouble() != 0 && listBrowse();
  pgc.setPageEnabled("tshTpRecBoleto", payTypes);
  control("sbtImprimir").setEnabled(listBrowse());
  disableUnbuiltCommands();
}

void TfrmHabContRec::applyFineInterestDefaults() {
  callInto(cdsCliente, rpc::GetCliente{.CDCLIENTE = current("CDCLIENTE").asString()});
  const Value fine = cdsCliente.active() ? cdsCliente.valueOf("VRPEMULBCLI") : Value();
  const Value interest = cdsCliente.active() ? cdsCliente.valueOf("VRPEMORBCLI") : Value();
  double pFine = 0;
  double pInterest = 0;
  if (fine.isNull() && interest.isNull()) {
    readCompany(false);
    if (!qryEmpresa.IsEmpty()) {
      pFine = qryEmpresa.FieldByName("VRPEMULEMPR").asDouble();
      pInterest = qryEmpresa.FieldByName("VRPEMOREMPR").asDouble();
    }
  } else {
    // A customer with only one percentage set keeps its own: the other counts as 0.
    pFine = fine.isNull() ? 0 : fine.asDouble();
    pInterest = interest.isNull() ? 0 : interest.asDouble();
  }
  const double net = current("VRFINALBREC").asDouble();
  cdsBoletos.fieldByName("VRPEMULBREC").setFloat(pFine);
  cdsBoletos.fieldByName("VRPEMORBREC").setFloat(pInterest);
  cdsBoletos.fieldByName("VRMULTABREC").setFloat(host::RoundDec(2, Calc_Multa_Mora(net, pFine)));
  cdsBoletos.fieldByName("VRMORDIABREC")
      .setFloat(host::RoundDec(2, Calc_Multa_Mora(net, pInterest)));
}

// ------------------------------------------------------------------ loaders

void TfrmHabContRec::BuscaContaReceber(const std::string& branch, const std::string& number) {
  host::WaitAnimation wait;
  std::string b = branch, n = number;
  callInto(cdsCntReceber, rpc::GetCntReceber{.CDFILIAL = b, .NRLANBOLREC = n});
}

void TfrmHabContRec::BuscaCNABMsg(const std::string& branch, const std::string& number) {
  host::WaitAnimation wait;
  std::string b = branch, n = number;
  callInto(cdsCNABMsg, rpc::GetCNABMsg{.CDFILIAL = b, .NRLANBOLREC = n});
  control("memTXMENSBOLBOL").setText(cdsCNABMsg.valueOf("TXMENSBOLBOL").asString());
}

void TfrmHabContRec::BuscaAjustes(const std::string& branch, const std::string& number) {
  host::WaitAnimation wait;
  std::string b = branch, n = number;
  callInto(cdsAjBolRec, rpc::GetAjBolRec{.CDFILIAL = b, .NRLANBOLREC = n});
}

void TfrmHabContRec::BuscaParcelas(const std::string& branch, const std::string& number,
                                   const std::string& origin) {
  host::WaitAnimation wait;
  std::string b = branch, n = number, o = origin;
  callInto(cdsParcelamento,
           rpc::GetParcelamento{.CDFILIAL = b, .NRLANBOLREC = n, .NRORIGBOLREC = o}, false);
}

void TfrmHabContRec::BuscaTpRecBoleto(const std::string& branch, const std::string& number) {
  host::WaitAnimation wait;
  std::string b = branch, n = number;
  callInto(cdsTpRecBoleto, rpc::GetTpRecBoleto{.CDFILIAL = b, .NRLANBOLREC = n});
}

// ------------------------------------------------------------------ rules

void TfrmHabContRec::Verifica_Acesso_Sistema(const host::DateTime& date) {
  callInto(cdsParamGeral, rpc::GetParamGeral{});
  if (host::DtProcBloq("REC", host::Operador(), date)) error("DtBol<DtSis");
}

void TfrmHabContRec::HabPageControl() {
  auto& pgc = pageControl("pgcPadrao");
  const bool extensionEdit = pageShown("tshProrrogacao") && control("mnuConfirmar").enabled();
  if (extensionEdit) {
    for (auto* page : pgc.pages())
      pgc.setPageEnabled(page->name(), page->name() == "tshProrrogacao");
    return;
  }
  const bool rows = hasRows();
  const bool browse = listBrowse() && rows;
  for (const char* p :
       {"tshProrrogacao", "tshFormulario", "tshAjustes", "tshParcelamento", "tshTpRecBoleto"}) {
    pgc.setPageEnabled(p, browse);
  }
  if (browse) {
    pgc.setPageEnabled("tshTpRecBoleto", current("VRFINALBREC").asDouble() != 0);
  }
  const host::Control* focused = focusedControl();
  const bool companyFocused =
      focused != nullptr && focused->name() == "medEmpresa" && !leavingCompany_;
  pgc.setPageEnabled("tshFolhaDados", rows && !listEditing() && !companyFocused);
  pgc.setPageEnabled("tshDadosRec", rows);
  if (cdsBoletos.active() && cdsBoletos.state() == DatasetState::Insert) {
    pgc.setActivePage("tshDadosRec");
    pageControl("pgcDadosRec").setActivePage("tshGeral");
  }
  if (instalmentsLocked_) lockForInstalments(true);
  if (pageShown("tshTpRecBoleto") && tpRecPendente()) dtsTpRecBoletoStateChange();
}

void TfrmHabContRec::originBranchFields() {
  const bool fromOrigin = control("cbxIDIMPRBOLBOL").itemIndex() == 3;
  for (const char* c : {"lblCDFILORIG", "edtCDFILORIG", "btnCDFILORIG"}) {
    control(c).setEnabled(fromOrigin);
  }
  if (!fromOrigin) control("edtCDFILORIG").setText({});
}

void TfrmHabContRec::pgcPadraoChange() {
  auto& pgc = pageControl("pgcPadrao");
  for (auto* page : pgc.pages()) {
    control("mnu" + page->name().substr(3)).setChecked(pgc.isShown(page->name()));
  }
  if (pageShown("tshDadosRec")) {
    auto& inner = pageControl("pgcDadosRec");
    for (auto* page : inner.pages()) {
      control("mnu" + page->name().substr(3)).setChecked(inner.isShown(page->name()));
    }
  }
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();
  if (pageShown("tshFolhaDados")) {
    if (hasRows()) {
      BuscaContaReceber(branch, number);
      BuscaCNABMsg(branch, number);
    }
    control("sbtImprimir").setEnabled(listBrowse());
  } else {
    if (pageShown("tshDadosRec")) {
      control("sbtImprimir").setEnabled(listBrowse());
      if (pageControl("pgcDadosRec").isShown("tshCnab")) originBranchFields();
    } else {
      control("sbtImprimir").setEnabled(false);
    }
    control("mnuCancBoleto").setEnabled(false);
    control("mnuEnviaBoleto").setEnabled(false);
    control("mnuAssociar").setEnabled(false);
    control("sbtEmail").setEnabled(true);
  }
  if (pageShown("tshAjustes") && hasRows()) {
    BuscaAjustes(branch, number);
    Habilita();
  } else if (pageShown("tshParcelamento") && hasRows()) {
    BuscaParcelas(branch, number, current("NRORIGBOLREC").asString());
    if (cdsParcelamento.active()) cdsParcelamento.last();
    Habilita();
  } else if (pageShown("tshProrrogacao")) {
    remote::Variant both = rpc::call(*conn_, rpc::GetContProrVenc{.CDOPERADOR = host::Operador()});
    bool firstEmpty = true;
    bool secondEmpty = true;
    if (both.isArray() && both.items().size() >= 2) {
      cdsContProrVenc.loadPacket(both.items()[0].packetJson());
      cdsGrupoOperador.loadPacket(both.items()[1].packetJson());
      firstEmpty = cdsContProrVenc.isEmpty();
      secondEmpty = cdsGrupoOperador.isEmpty();
    }
    // No extension control: anyone may extend; a control without the operator's group: no.
    const bool allowed = firstEmpty || !secondEmpty;
    control("edtNovaData").setEnabled(allowed);
    control("edtCDMOTIPROR").setEnabled(allowed);
    Habilita();
    control("mnuAlterar")
        .setEnabled(allowed && hasRows() && listBrowse() && pageBuilt("tshProrrogacao"));
  } else if (pageShown("tshTpRecBoleto") && hasRows()) {
    paymentTypeRefresh = true;
    BuscaTpRecBoleto(branch, number);
    Habilita();
  } else {
    Habilita();
  }
  const bool payTypes = hasRows() && current("VRFINALBREC").asDouble() != 0 && listBrowse();
  pgc.setPageEnabled("tshTpRecBoleto", payTypes);
  disableUnbuiltCommands();
}

void TfrmHabContRec::Habilita() {
  const bool rows = hasRows();
  const bool browse = listBrowse();
  const bool active = cdsBoletos.active();
  const bool onExtension = pageShown("tshProrrogacao");
  const bool onInstalments = pageShown("tshParcelamento");
  const bool onList = pageShown("tshFolhaDados");
  const bool parcEditing = instalmentsEditing();
  const bool locked =
      cdsGeralRec.active() && cdsGeralRec.valueOf("IDBLOQALTBOLREC").asString() == "S";
  const size_t marked = cdsMarca.active() ? cdsMarca.recordCount() : 0;
  const size_t savedMarks = cdsMarcaAux.active() ? cdsMarcaAux.recordCount() : 0;

  const bool verify = rows && browse && !onExtension && !onInstalments;
  const bool include = pageShown("tshTpRecBoleto") && verify;
  bool del = include;
  if (onInstalments) {
    del = cdsParcelamento.active() && cdsParcelamento.recordCount() >= 2 && !parcEditing &&
          !instalmentsPending();
  }
  bool change;
  if (onExtension) {
    change = rows && browse;
  } else if (onInstalments) {
    change = !parcEditing;
  } else {
    change = verify && !pageShown("tshFormulario") && !pageShown("tshAjustes");
  }
  bool search = false;
  if (onList) {
    search = active && rows && !listEditing();
  } else if (pageShown("tshAjustes")) {
    search = cdsAjBolRec.active() && !cdsAjBolRec.isEmpty() && !editing(cdsAjBolRec);
  }
  const bool confirm = onInstalments ? instalmentsPending() : listEditing();
  const bool filter = !onInstalments && active && !listEditing();
  control("mnuVerificar").setEnabled(verify);
  control("mnuIncluir").setEnabled(include);
  control("mnuExcluir").setEnabled(del);
  control("mnuAlterar").setEnabled(change);
  control("mnuPesquisar").setEnabled(search);
  control("mnuConfirmar").setEnabled(confirm);
  control("mnuCancelar").setEnabled(confirm);
  control("mnuFiltrar").setEnabled(filter);

  control("mnuAssociar")
      .setEnabled(onList && !listEditing() && (marked > 1 || savedMarks > 1) && !locked);
  const bool receivables = cdsCntReceber.active() && !cdsCntReceber.isEmpty();
  control("mnuCancBoleto")
      .setEnabled(onList && receivables && marked > 0 &&
                  (cdsCntReceber.recordCount() > 1 || current("IDSTATBREC").asString() == "E"));
  control("sbtEmail").setEnabled(true);
  control("mnuEnviaBoleto").setEnabled(onList && receivables && marked > 0);
  control("mnuAgrupar")
      .setEnabled(!listEditing() && marked == 0 && !locked && !host::AllTrim(company()).empty() &&
                  rows);
  control("sbtImprimir").setEnabled(browse && !parcEditing);
  if (pageShown("tshAjustes")) dtsAjBolRecStateChange();
  if (pageShown("tshTpRecBoleto")) dtsTpRecBoletoStateChange();
  disableUnbuiltCommands();
  VerificaBloqAltBol();
}

void TfrmHabContRec::disableUnbuiltCommands() {
  for (const auto& c : kRegisterCommands) {
    if (!c.built) control(c.control).setEnabled(false);
  }
  const host::Control* page = pageControl("pgcPadrao").activePage();
  if (page != nullptr && !pageBuilt(page->name())) {
    for (const char* c : {"mnuIncluir", "mnuExcluir", "mnuAlterar", "mnuConfirmar"}) {
      control(c).setEnabled(false);
    }
  }
}

// ------------------------------------------------------------------ commands

void TfrmHabContRec::Alterar() {
  VerificaStatus();
  if (const auto* page = pageControl("pgcPadrao").activePage();
      page != nullptr && !pageBuilt(page->name())) {
    return;
  }
  auto& pgc = pageControl("pgcPadrao");
  if (pageShown("tshProrrogacao")) {
    control("mnuAlterar").setEnabled(false);
    control("mnuConfirmar").setEnabled(true);
    control("mnuCancelar").setEnabled(true);
    control("pnlEmpresa").setEnabled(false);
    for (auto* page : pgc.pages())
      pgc.setPageEnabled(page->name(), page->name() == "tshProrrogacao");
  } else if (pageShown("tshParcelamento")) {
    // An instalment already tied to a compensation cannot be reshaped.
    if (VerificaTBolCompensado("P")) error("PARCBOLCOMP");
    if (cdsParcelamento.active() && !cdsParcelamento.isEmpty()) {
      cdsParcelamento.last();
      cdsParcelamento.edit();
    }
    Habilita();
  } else if (pageShown("tshTpRecBoleto")) {
    AlterarTpRec();
  } else {
    TfrmPadrao::Alterar();
    pgc.setActivePage("tshDadosRec");
    pageControl("pgcDadosRec").setActivePage("tshGeral");
    pgcPadraoChange();
  }
}

void TfrmHabContRec::Pesquisar() {
  if (pageShown("tshFolhaDados")) {
    Procura(grid("dbgPadrao"));
  } else if (pageShown("tshFormulario")) {
    Procura(grid("dbgFormulario"));
  } else if (pageShown("tshAjustes")) {
    Procura(grid("dbgAjustes"));
  }
}

bool TfrmHabContRec::Procura(host::GridControl& g) {
  host::ClientDataset* ds = g.dataset();
  if (ds == nullptr || !ds->active() || ds->isEmpty()) return false;
  focus(g);
  std::vector<std::string> items;
  items.reserve(ds->recordCount());
  for (size_t row = 1; row <= ds->recordCount(); ++row) {
    std::string text;
    for (const auto& col : g.columns()) {
      if (!col.visible || col.field == "IDMARCADO" || ds->fieldIndex(col.field) < 0) continue;
      const Value v = ds->valueAt(row, col.field);
      const auto* rule = g.displayRule(col.field);
      const std::string shown =
          rule != nullptr ? (*rule)(v) : host::displayTextOf(ds->fieldDef(col.field), v);
      if (shown.empty()) continue;
      if (!text.empty()) text += " | ";
      text += shown;
    }
    items.push_back(std::move(text));
  }
  const auto chosen = host::dialogs().pickList(caption(), items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return false;
  ds->setRecNo(static_cast<size_t>(*chosen) + 1);
  return true;
}

void TfrmHabContRec::Verificar() {
  if (!hasRows()) return;
  Fitro_Locate();
  if (hasRows()) afterScroll();
  Habilita();
  HabPageControl();
}

void TfrmHabContRec::Incluir() {
  // Only the adjustments page adds rows: the list's own insert would leave a blank boleto.
  if (pageShown("tshAjustes") && hasRows() && listBrowse() && !editing(cdsAjBolRec)) {
    VerificaAdiantamento();
    if (!cdsAjBolRec.active())
      BuscaAjustes(current("CDFILIAL").asString(), current("NRLANBOLREC").asString());
    cdsAjBolRec.append();
    return;
  }
  if (pageShown("tshTpRecBoleto")) return IncluirTpRec();
  Habilita();
}

void TfrmHabContRec::Excluir() {
  if (pageShown("tshTpRecBoleto")) {
    if (ExcluirTpRec(false)) Confirmar();
    return;
  }
  // Deleting an instalment or an adjustment is those pages' own operation (an adjustment being
  // added is only dropped); a boleto is never deleted from the list.
  if (pageShown("tshAjustes") && cdsAjBolRec.active() &&
      cdsAjBolRec.state() == DatasetState::Insert) {
    cdsAjBolRec.cancel();
    return;
  }
  if (pageShown("tshAjustes")) {
    ExcluiAjuste();
    return;
  }
  if (pageShown("tshParcelamento")) ExcluiParcela();
  Habilita();
}

void TfrmHabContRec::Cancelar() {
  if (!ask("Canc")) host::Abort();
  if (pageShown("tshParcelamento")) {
    cancelaParcelamento();
  } else if (pageShown("tshTpRecBoleto")) {
    CancelarTpRec();
  } else if (pageShown("tshProrrogacao")) {
    {
      host::ScopedFlag quiet(extensionReacts, false);
      fillExtensionPage();
    }
    if (listEditing()) cdsBoletos.cancel();
    extensionEnded();
  } else if (pageShown("tshAjustes")) {
    if (editing(cdsAjBolRec)) cdsAjBolRec.cancel();
    if (cdsAjBolRec.active()) cdsAjBolRec.cancelUpdates();
  } else {
    if (editing(cdsCNABMsg)) cdsCNABMsg.cancel();
    if (listEditing()) cdsBoletos.cancel();
    // An edit the service refused was posted here before it was sent: the boleto goes back
    // to what the service holds.
    if (cdsBoletos.active() && cdsBoletos.changeCount() > 0) {
      cdsBoletos.cancelUpdates();
      MostraDadosRec();
    }
  }
  control("pnlEmpresa").setEnabled(true);
  Habilita();
  HabPageControl();
}

void TfrmHabContRec::Filtrar() {
  CriaFiltroHabRec("BOTAO_FILTRO");
}

// ------------------------------------------------------------------ closing

bool TfrmHabContRec::canClose() {
  // An emission is running from here: the operator waits for it.
  return !busy;
}

void TfrmHabContRec::onClose() {
  Cli_rec12000::boStCriado = false;
  creators().registro = nullptr;
  for (auto* kl : keyLists()) kl->Clear();
  std::string lista = Cli_rec12000::stLista;
  if (!lista.empty() && conn_->connected()) {
    rpc::tryCall(*conn_, rpc::DelLista{.NRLISTA = lista});
  }
  Cli_rec12000::stLista.clear();
  conn_->disconnect();
  conn_->setCompany({});
  firstActivation = false;
  releaseFiltroHabRec();
  registerSlot().closed();
}

// ------------------------------------------------------------------ creators

void CriaHabConta() {
  auto& slot = registerSlot();
  CreatorSteps<TfrmHabContRec> steps;
  steps.make = [] { return std::make_unique<TfrmHabContRec>(); };
  steps.show = [](TfrmHabContRec& f) {
    return f.cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() == "S" ? Show::Maximized
                                                                     : Show::Modeless;
  };
  runCreator(slot, steps);
  if (auto* f = slot.instance()) f->FormActivate();
}

void IniProc() {
  CriaHabConta();
}

}  // namespace rec
