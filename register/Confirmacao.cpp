// The register's confirmation: the edit of the page shown written to the service. On
// "Dados para Recebimento" the receiving data of the current boleto (or of every marked
// boleto), on the list page a description typed in the list; both through SetDadosRec.
// The pages whose own operations are not built have their confirm disabled (Comandos.h).

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "host/bank/Febraban.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/Comandos.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;
using host::Value;

namespace {

bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

// The nosso número and the codes made from it belong to the account that numbered them.
bool isCode(std::string_view field) {
  return field == "CDNOSNUMREC" || field == "CDBARRAREC" || field == "DSLINHABARREC";
}

}  // namespace

void TfrmHabContRec::addConfirmationMessages() {
  auto& m = messages();
  m.Add("SomaParcIgualBolOrig", "Soma das parcelas deve ser igual ao valor original do boleto.");
  m.Add("Data_Deve", "Vencimento deve ser informado.");
  m.Add("VENC_NI", "Vencimento deve ser informado.");
  m.Add("DtVen<DtEmi", "Data de vencimento do boleto não pode ser inferior a data de emissão.");
  m.Add("CCOB_INF", "Conta cobrança deve ser informada.");
  m.Add("VRBOL_TPRECE", "A soma dos tipos de recebimento deve ser igual ao valor do boleto.");
  m.Add("ProrrogTBol", "Deseja prorrogar todos os boletos selecionados para a data informada?");
  m.Add("ManterNNum", "Deseja manter o nosso número do boleto?");
  m.Add("Replica_Dados",
        "Os dados do boleto posicionado serão gravado em todos os boletos marcados! Confirmar "
        "operação?");
  m.Add("CONF_CANC_BOLETOS",
        "Os boletos selecionados serão cancelados da remessa. Confirma operação?");
  m.Add("BoletosNPror", "Os seguintes boletos não puderam ser prorrogados: %s");
  m.Add("Valor_Menor", "Valor da primeira parcela deve ser maior que a soma do(s) ajuste(s)");
  m.Add("ALT_BLOQ", "Operação bloqueada. Documento em alteração por outro usuário.");
  m.Add("CNT_DUP", "Contas de uma mesma duplicata não podem ser separadas.");
  m.Add("VRBOL_Dif", "Valor de uma conta foi alterado por outro usuário.");
  m.Add("1BOL_BAIXADO", "Boleto foi baixado por outro usuário.");
  m.Add("2BOL_BAIXADO", "Um dos boletos selecionados foi baixado por outro usuário.");
  m.Add("1CNT_PREV", "Tipo do documento foi alterado por outro usuário.");
  m.Add("2CNT_PREV",
        "Tipo do documento foi alterado por outro usuário. Conta de documento previsto não pode "
        "ser associada.");
  m.Add("1CNT_PROR", "Conta foi prorrogada por outro usuário.");
  m.Add("2CNT_PROR",
        "Uma conta foi prorrogada por outro usuário. Contas com vencimento diferente não podem "
        "ser associadas.");
  m.Add("CODBAR_INV", "Código de barras inválido.");
  m.Add("NNUM_FIXO",
        "Operação bloqueada! Boleto já numerado: nosso número, código de barras e conta "
        "cobrança não podem ser alterados.");
}

void TfrmHabContRec::Confirmar() {
  // 1. The marks, to be restored after the reload.
  if (cdsMarcaAux.fieldCount() == 0) cdsMarcaAux.setFieldDefs(records::BoletoRecord().fields());
  if (!cdsMarcaAux.active()) cdsMarcaAux.createDataset();
  if (cdsMarca.active() && !cdsMarca.isEmpty()) {
    cdsMarcaAux.copyDataFrom(cdsMarca);
  } else {
    cdsMarcaAux.emptyDataset();
  }
  if (!hasRows()) return;
  const host::Control* page = pageControl("pgcPadrao").activePage();
  if (page == nullptr || !pageBuilt(page->name())) return;
  // 2. and 4.
  VerificaStatus();
  Verifica_Acesso_Sistema(current("DTVENBOLREC").asDate());
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();

  if (pageShown("tshDadosRec")) {
    // 7.1 The percentages as typed, then their leaving rules.
    dbePeMultaExit();
    dbePeMoraExit();
    if (associacaoPendente()) {
      confirmaAssociacao();
    } else {
      if (!listEditing()) return;
      confirmaDadosRec();
    }
  } else if (pageShown("tshFolhaDados")) {
    // 8. A description typed in the list; the marks are not the list page's business.
    if (!listEditing()) return;
    confirmMode = 2;
    cdsBoletos.post();
    montaPosicao();
    enviaDadosRec();
  } else if (pageShown("tshProrrogacao")) {
    confirmaProrrogacao();
  } else if (pageShown("tshAjustes")) {
    // 6. The post sends the adjustment; the reload below is the confirmation's own.
    if (editing(cdsAjBolRec)) {
      host::ScopedFlag noReload(boAtualiza, false);
      cdsAjBolRec.post();
    }
  } else if (pageShown("tshParcelamento")) {
    confirmaParcelamento();
  } else if (pageShown("tshTpRecBoleto")) {
    ConfirmarTpRec();
  } else {
    return;
  }
  // 10.
  control("edtDTVENBOLREC").setEnabled(false);
  control("lblDTVENBOLREC").setEnabled(false);
  // 13. then 12.: the reload delivers the list unmarked, so the marks come back after it.
  columnEditing = false;
  grid("dbgPadrao").setReadOnly(true);
  Fitro_Locate();
  if (!novoBoletoAssociado.empty()) localizaNovoBoleto();
  if (cdsMarcaAux.active() && !cdsMarcaAux.isEmpty()) {
    Marca_Boletos_Aux(branch, number);
    refreshMarca();
    cdsMarcaAux.emptyDataset();
  }
  // 14. Whatever page confirmed, the company panel and the pages are free again.
  control("pnlEmpresa").setEnabled(true);
  if (hasRows()) afterScroll();
  Habilita();
  HabPageControl();
  pgcPadraoChange();
}

void TfrmHabContRec::verificaDadosCobranca() {
  const host::Control* focused = focusedControl();
  if (focused != nullptr && focused->name() == "edtCDTPBAIXAREC") {
    Vd_TipoBaixa(true);
    Vd_CdReduCont(true);
  } else {
    Vd_CdReduCont(true);
    Vd_TipoBaixa(true);
  }
  const std::string barcode = host::AllTrim(current("CDBARRAREC").asString());
  if (!barcode.empty() && !bank::Vd_CodigoBarras(barcode)) {
    focusField("edtCDBARRAREC", "tshGeral");
    error("CODBAR_INV");
  }
  Vd_Filial();
}

void TfrmHabContRec::confirmaDadosRec() {
  const size_t marked = cdsMarca.active() ? cdsMarca.recordCount() : 0;
  // 7.2.1 The collection data, unless the settings lock them on existing boletos.
  if (cdsGeralRec.valueOf("IDBLOQALTBOLREC").asString() != "S") verificaDadosCobranca();
  // 7.2.2 One boleto or all marked.
  const std::string remittanceControl = cdsGeralRec.valueOf("IDUTCTRLCANREMR").asString();
  if (marked > 1 && ask("Replica_Dados")) {
    if (remittanceControl == "N" && !ask("CONF_CANC_BOLETOS")) host::Abort();
    confirmMode = 1;
  } else {
    VerificaSitCNAB(current("IDSITUCNABR").asString());
    confirmMode = 2;
  }
  // 7.2.3
  HabilitaBoletoCNAB();
  // 7.2.4
  cdsBoletos.post();
  montaPosicao();
  if (marked > 1) {
    // What the register knew of each marked boleto is what the service checks against.
    cdsMarca.mergeChangeLog();
    Atualiza_Multa_Mora();
  }
  // 7.2.5 and 7.2.6
  enviaDadosRec();
}

void TfrmHabContRec::HabilitaBoletoCNAB() {
  if (editing(cdsCNABMsg)) cdsCNABMsg.post();
  const std::string situation = host::AllTrim(current("IDSITUCNABR").asString());
  if (!situation.empty() && situation != "00" && situation != "01") return;
  if (!host::AllTrim(current("NRCNABRECREM").asString()).empty() && !ask("CONF_CANC_BOL_CNAB")) {
    host::Abort();
  }
  if (!listEditing()) cdsBoletos.edit();
  cdsBoletos.fieldByName("IDSITUCNABR").setString("00");
  cdsBoletos.fieldByName("NRCNABRECREM").clear();
  // The message's changes travel with the receiving data (SetDadosRec), checked and written
  // in the same transaction: a refused confirmation then leaves no message half stored.
}

void TfrmHabContRec::montaPosicao() {
  if (cdsPosicao.fieldCount() == 0) cdsPosicao.setFieldDefs(records::cdsPosicao().fields());
  if (!cdsPosicao.active()) cdsPosicao.createDataset();
  cdsPosicao.emptyDataset();
  // The boleto as the register read it: its row in the list's change log, with the original
  // values the service checks nobody changed since.
  host::ClientDataset read("cdsLido");
  read.loadPacket(cdsBoletos.delta());
  read.cancelUpdates();
  const bool changed =
      read.locate(records::kBoletoKeyFields, {current("CDFILIAL"), current("NRLANBOLREC")});
  const auto original = [&](std::string_view field) {
    return changed ? read.valueOf(field) : current(field);
  };
  const bool sameAccount = host::AllTrim(original("CDREDUCONT").asString()) ==
                           host::AllTrim(current("CDREDUCONT").asString());
  const Value message = cdsTxMensBol.active() && cdsTxMensBol.fieldIndex("TXMENSBOLETO") >= 0
                            ? cdsTxMensBol.valueOf("TXMENSBOLETO")
                            : Value();
  // The bank message as read, when the message dataset holds this boleto's.
  Value messageRead;
  const bool messageLoaded =
      cdsCNABMsg.active() && !cdsCNABMsg.isEmpty() &&
      cdsCNABMsg.valueOf("CDFILIAL").asString() == current("CDFILIAL").asString() &&
      cdsCNABMsg.valueOf("NRLANBOLREC").asString() == current("NRLANBOLREC").asString();
  if (messageLoaded) {
    host::ClientDataset readMessage("cdsMensagemLida");
    readMessage.loadPacket(cdsCNABMsg.delta());
    readMessage.cancelUpdates();
    messageRead = readMessage.isEmpty() ? cdsCNABMsg.valueOf("TXMENSBOLBOL")
                                        : readMessage.valueOf("TXMENSBOLBOL");
  }
  const auto fill = [&](bool asRead) {
    for (const auto& def : records::cdsPosicao().fields()) {
      const std::string& name = def.name;
      Value v;
      if (name == "TXMENSBOLETO") {
        v = message;
      } else if (name == "TXMENSBOLBOL") {
        v = asRead ? messageRead : Value(control("memTXMENSBOLBOL").text());
      } else if (asRead) {
        v = original(name);
      } else if (isCode(name) && !sameAccount) {
        // Another account numbers the boleto again.
        v = Value();
      } else if (confirmMode == 2 && name == "IDSITUCNABR") {
        v = Value("00");
      } else if (confirmMode == 2 && name == "NRCNABRECREM") {
        v = Value();
      } else {
        v = current(name);
      }
      cdsPosicao.fieldByName(name).setValue(v);
    }
  };
  cdsPosicao.append();
  fill(true);
  cdsPosicao.post();
  cdsPosicao.mergeChangeLog();
  cdsPosicao.edit();
  fill(false);
  cdsPosicao.post();
}

void TfrmHabContRec::enviaDadosRec() {
  const std::string message = control("memTXMENSBOLBOL").text();
  const std::string remittanceControl = cdsGeralRec.valueOf("IDUTCTRLCANREMR").asString();
  remote::Result r;
  {
    host::WaitAnimation wait;
    r = rpc::tryCall(*conn_,
                     rpc::SetDadosRec{.cdsMarca = remote::Variant::packet(cdsMarca.toPacket()),
                                      .cdsPosicao = remote::Variant::packet(cdsPosicao.toPacket()),
                                      .confirmMode = confirmMode,
                                      .origem = 1,
                                      .TXMENSBOLBOL = message,
                                      .IDUTCTRLCANREMR = remittanceControl});
  }
  // A refusal leaves the operator's edit as typed, the boleto in edit and the marks as they
  // were: nothing is written, and confirming again tries again.
  const auto backToEdit = [&] {
    if (cdsMarca.active()) cdsMarca.cancelUpdates();
    if (cdsPosicao.active()) cdsPosicao.emptyDataset();
    const std::string startAccount = accountAtEditStart;
    if (listBrowse()) cdsBoletos.edit();
    accountAtEditStart = startAccount;
    MostraDadosRec();
  };
  remote::Variant answer;
  try {
    answer = remote::CheckResultServ(r);
  } catch (const host::ServiceError& e) {
    backToEdit();
    if (messages().Has(e.key())) error(e.key());
    throw;
  } catch (...) {
    backToEdit();
    throw;
  }
  host::ClientDataset resultado("cdsResultado");
  if (answer.isPacket()) remote::loadPacket(resultado, answer);
  if (resultado.active() && !resultado.isEmpty()) {
    const std::string key = resultado.valueOf("CDRESULT").asString();
    setTotals(0, 0);
    backToEdit();
    error(key);
  }
  // 7.2.6
  cdsBoletos.mergeChangeLog();
  if (cdsCNABMsg.active()) cdsCNABMsg.mergeChangeLog();
  if (cdsMarca.active()) {
    cdsMarca.mergeChangeLog();
    cdsMarca.emptyDataset();
  }
  cdsPosicao.emptyDataset();
  if (pageShown("tshDadosRec")) HabPageControl();
}

}  // namespace rec
