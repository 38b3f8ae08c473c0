// The register's checks of the receiving data: as the operator leaves each field, and again
// from the confirmation. A check either completes fields from the service or focuses its
// field, with its page shown, and raises the key of the register's message table.

#include <type_traits>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/bank/Febraban.h"
#include "module/Records.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/DisplayCodes.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;
using host::Value;
namespace fld = records::fld;

namespace {

// The single-choice search: each row as "code - name"; on a choice the dataset stands on the
// row chosen. False when the operator cancelled.
bool pickRow(host::ClientDataset& ds, const char* code, const char* name,
             const std::string& title) {
  std::vector<std::string> items;
  for (ds.first(); !ds.eof(); ds.next()) {
    items.push_back(ds.valueOf(code).asString() + " - " + ds.valueOf(name).asString());
  }
  const auto chosen = host::dialogs().pickList(title, items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return false;
  ds.setRecNo(static_cast<size_t>(*chosen) + 1);
  return true;
}

bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

std::string trimmed(const Value& v) {
  return v.isNull() ? std::string() : host::AllTrim(v.asString());
}

// An empty text stores null: "nothing" is never kept as "".
void setText(host::ClientDataset& ds, std::string_view field, const std::string& text) {
  if (text.empty()) {
    ds.fieldByName(field).clear();
  } else {
    ds.fieldByName(field).setString(text);
  }
}

// The receiving-data fields and the boleto fields they show.
struct Binding {
  const char* control;
  const char* field;
};
constexpr Binding kBindings[] = {
    {"edtCDREDUCONT", "CDREDUCONT"},       {"edtCDBANCO", "CDBANCO"},
    {"edtCDAGENCIA", "CDAGENCIA"},         {"edtCDCONTCORR", "CDCONTCORR"},
    {"edtCDNOSNUMREC", "CDNOSNUMREC"},     {"edtCDBARRAREC", "CDBARRAREC"},
    {"edtNRLINHADIGREC", "DSLINHABARREC"}, {"edtCDTPBAIXAREC", "CDTPBAIXAREC"},
    {"edtCDDEPIDENREC", "CDDEPIDENREC"},   {"edtCDCARTCOBBOL", "CDCARTCOBBOL"},
    {"edtCDINS1COBBOL", "CDINS1COBBOL"},   {"edtCDINS2COBBOL", "CDINS2COBBOL"},
    {"edtCDFILORIG", "CDFILORIG"},         {"edtNMFILIAL", "NMFILIAL"},
};

// The controls the lock on existing boletos covers: account, write-off type, protest data.
constexpr const char* kLockable[] = {"edtCDREDUCONT",   "btnCDREDUCONT",   "edtCDTPBAIXAREC",
                                     "btnCDTPBAIXAREC", "edtDTINIPROTREC", "edtDTFIMPROTREC",
                                     "chkIDPROTESTREC"};

std::string dateText(const Value& v) {
  return v.isNull() ? std::string() : v.asDate().format("dd/mm/yyyy");
}

// A date field's text with its mask's blanks and separators only counts as empty.
bool blankDate(const std::string& text) {
  return text.find_first_not_of(" /_") == std::string::npos;
}

}  // namespace

void TfrmHabContRec::addValidationMessages() {
  auto& m = messages();
  m.Add("CdRedu_ni", "Conta corrente de cobrança deve ser informada.");
  m.Add("CdRedu_nc", "Conta corrente não cadastrada.");
  m.Add("CHEQUE_CAD_COB_2",
        "Operação bloqueada. Cheque informado no tipo de recebimento está cadastrado em outra "
        "conta corrente. ");
  m.Add("SOBREPOR", "Deseja sobrepor os dados do banco de cobrança no boleto?");
  m.Add("APAGA_TPREC", "Existem tipos de recebimento e serão todos apagados. Confirma?");
  m.Add("Bol_Emitido",
        "Atenção! Boleto já foi emitido. A confirmação desta operação fará com que a emissão "
        "seja cancelada. Deseja continuar?");
  m.Add("TPBX_INF", "Tipo de baixa deve ser informado.");
  m.Add("TPBX_N_CAD", "Tipo de baixa não cadastrado.");
  m.Add("INSTRU_N_CAD", "Instrução de cobrança não cadastrada para o banco informado.");
  m.Add("1INSTRU_2INSTRU", "Primeira e segunda instruções de cobrança devem ser diferentes.");
  m.Add("BANQ_Dif", "Código de barras e conta cobrança devem ser do mesmo banco.");
  m.Add("FIL_N_CAD", "Filial não cadastrada.");
  m.Add("CC_INF_FIL", "Para escolher a opção Filial de Origem Conta Cobrança deve ser informanda.");
  m.Add("BOL_DESC", "Boleto descontado não pode ser alterado.");
  m.Add("BOL_BAIXA", "Operação bloqueada! Boleto já foi baixado.");
  m.Add("BOL_ALTERADO",
        "Operação bloqueada! Boleto enviado via CNAB não pode ser alterado, apenas prorrogado "
        "se possuir permissão de alteração.");
  m.Add("CONF_CANC_BOL_CNAB", "O boleto será excluído da remessa. Confirma cancelamento?");
  m.Add("CHEQUE_NINF", "Cheque deve ser informado.");
  m.Add("CHEQUE_NAO_DISP", "Operação bloqueada.Valor do cheque não disponível. ");
  m.Add("CHEQUE_JA_CAD", "Operação bloqueada. Cheque já cadastrado para o boleto.");
  m.Add("BANCO_NInf", "Banco deve ser informado.");
  m.Add("AGENCIA_NI", "Agência deve ser informada.");
  m.Add("CONTCORR_NI", "Conta Corrente deve ser informada.");
  m.Add("DATA_INV", "Data inválida.");
}

void TfrmHabContRec::buildValidationControls() {
  auto& geral = control("tshGeral");
  auto& cnab = control("tshCnab");
  addControl("btnCDREDUCONT", host::ControlKind::Button, &geral).onClick = [this] {
    run([this] { PesquisaContCorr(); });
  };
  addControl("btnCDTPBAIXAREC", host::ControlKind::Button, &geral).onClick = [this] {
    run([this] { PesquisaTipoBaixa(); });
  };
  addControl("edtCDCARTCOBBOL", host::ControlKind::Edit, &cnab);
  for (const char* f : {"CDINS1COBBOL", "CDINS2COBBOL"}) {
    const std::string field = f;
    auto& edt = addControl("edt" + field, host::ControlKind::Edit, &cnab);
    edt.onChange = [this, field] { fromControl(("edt" + field).c_str(), field.c_str()); };
    edt.onExit = [this, field] {
      if (listEditing()) Vd_InstruCobr(field);
    };
    addControl("btn" + field, host::ControlKind::Button, &cnab).onClick = [this, field] {
      run([this, field] { PesquisaInstrucao(field); });
    };
  }
  addControl("edtNMFILIAL", host::ControlKind::Edit, &cnab).setReadOnly(true);

  auto& conta = control("edtCDREDUCONT");
  conta.onChange = [this] {
    fromControl("edtCDREDUCONT", "CDREDUCONT");
    // Another account is being typed: the old one's bank data no longer apply.
    if (!listBrowse()) {
      for (const char* c : {"edtCDBANCO", "edtCDAGENCIA", "edtCDCONTCORR"}) control(c).setText({});
    }
  };
  conta.onExit = [this] { edtCDREDUCONTExit(); };
  auto& baixa = control("edtCDTPBAIXAREC");
  baixa.onChange = [this] {
    fromControl("edtCDTPBAIXAREC", "CDTPBAIXAREC");
    if (listEditing()) cdsBoletos.fieldByName("NMTPBAIXAREC").clear();
  };
  baixa.onExit = [this] { Vd_TipoBaixa(false); };
  auto& barra = control("edtCDBARRAREC");
  barra.onChange = [this] {
    fromControl("edtCDBARRAREC", "CDBARRAREC");
    if (!listEditing()) return;
    // A barcode typed in carries the nosso número the bank will report back.
    const std::string nn = bank::NossoNumeroCdBarra(control("edtCDBARRAREC").text(), "", "");
    if (!nn.empty()) {
      cdsBoletos.fieldByName("CDNOSNUMREC").setString(nn);
      control("edtCDNOSNUMREC").setText(nn);
    }
  };
  barra.onExit = [this] {
    if (listEditing()) Vd_CdBarraRec();
  };
  auto& filial = control("edtCDFILORIG");
  filial.onChange = [this] { fromControl("edtCDFILORIG", "CDFILORIG"); };
  filial.onExit = [this] { Vd_Filial(); };
  control("btnCDFILORIG").onClick = [this] { run([this] { PesquisaFilial(); }); };
  control("cbxIDIMPRBOLBOL").onChange = [this] { cbxIDIMPRBOLBOLChange(); };
  for (const char* c : {"edtDTINIPROTREC", "edtDTFIMPROTREC"}) {
    const std::string name = c;
    control(c).onExit = [this, name] { VerificaDataProtesto(name); };
  }
  control("chkIDPROTESTREC").onClick = [this] { chkIDPROTESTRECClick(); };
}

void TfrmHabContRec::fromControl(const char* controlName, const char* field) {
  if (!listEditing()) return;
  setText(cdsBoletos, field, host::AllTrim(control(controlName).text()));
}

void TfrmHabContRec::MostraDadosRec() {
  if (!hasRows()) return;
  for (const auto& b : kBindings) control(b.control).setText(trimmed(current(b.field)));
  control("edtDTINIPROTREC").setText(dateText(current("DTINIPROTREC")));
  control("edtDTFIMPROTREC").setText(dateText(current("DTFIMPROTREC")));
  control("edtDTVENBOLREC").setText(dateText(current("DTVENBOLREC")));
  control("chkIDPROTESTREC").setChecked(current("IDPROTESTREC").asString() == "S");
  control("cbxIDIMPRBOLBOL").setItemIndex(reg::WhoPrintsChoices().itemOf(current("IDIMPRBOLBOL")));
}

// Shows the page of a field and focuses it without running the exit rule of the field that
// has the focus: that rule may be the very check that is failing.
void TfrmHabContRec::focusField(const char* controlName, const char* page) {
  pageControl("pgcPadrao").setActivePage("tshDadosRec");
  pageControl("pgcDadosRec").setActivePage(page);
  host::Control* from = focusedControl();
  host::Control& to = control(controlName);
  if (from == &to) return;
  host::Control::Handler exitRule;
  if (from != nullptr) std::swap(exitRule, from->onExit);
  struct Restore {
    host::Control* c;
    host::Control::Handler& h;
    ~Restore() {
      if (c != nullptr) std::swap(c->onExit, h);
    }
  } restore{from, exitRule};
  focus(to);
}

std::string TfrmHabContRec::CamposValidos(std::string_view text) const {
  return reg::CamposValidos(text);
}

// ------------------------------------------------------------------ collection account

void TfrmHabContRec::edtCDREDUCONTExit() {
  if (!listEditing()) return;
  const std::string situation = current("IDSITUCNABR").asString();
  // Empty and "00" alike: the boleto never went to the bank.
  if (current("IDSTATBREC").asString() == "E" && (situation.empty() || situation == "00")) {
    if (!ask("Bol_Emitido")) {
      cdsBoletos.cancel();
      return;
    }
  }
  Vd_CdReduCont(false);
}

void TfrmHabContRec::Vd_CdReduCont(bool mandatory) {
  try {
    const bool inserting = cdsBoletos.active() && cdsBoletos.state() == DatasetState::Insert;
    const std::string typed = trimmed(current("CDREDUCONT"));
    const std::string code = typed.empty() ? typed : host::Ajusta(typed, fld::CDREDUCONT.width());
    if (listEditing()) setText(cdsBoletos, "CDREDUCONT", code);
    control("edtCDREDUCONT").setText(code);
    if (code.empty()) {
      if (mandatory) failOn("edtCDREDUCONT", "CdRedu_ni");
    } else if (!mandatory || control("edtCDREDUCONT").focused()) {
      const std::string customer = current("CDCLIENTE").asString();
      const std::string preferred =
          cdsGeralRec.active() ? cdsGeralRec.valueOf("IDUTBCOPREFCLIE").asString() : "";
      const remote::Variant both =
          rpc::call(connection(), rpc::GetContCorr{.CDREDUCONT = code,
                                                   .CDEMPRESA = company(),
                                                   .todos = "",
                                                   .CDCLIENTE = customer,
                                                   .IDUTBCOPREFCLIE = preferred});
      if (!both.isArray() || both.items().size() < 2) {
        host::MensErro("Resposta inesperada do serviço em GetContCorr.");
      }
      cdsContCorr.loadPacket(both.items()[0].packetJson());
      cdsTxMensBol.loadPacket(both.items()[1].packetJson());
      if (cdsContCorr.isEmpty()) failOn("edtCDREDUCONT", "CdRedu_nc");

      // A cheque already deposited in another account cannot follow the boleto to this one.
      const std::string branch = current("CDFILIAL").asString();
      const std::string number = current("NRLANBOLREC").asString();
      if (!number.empty()) {
        BuscaTpRecBoleto(branch, number);
        for (cdsTpRecBoleto.first(); !cdsTpRecBoleto.eof(); cdsTpRecBoleto.next()) {
          const std::string cheque = trimmed(cdsTpRecBoleto.valueOf("NRCHEQBOLREC"));
          if (cheque.empty()) continue;
          host::ClientDataset registered("cdsExistCheque");
          registered.loadPacket(
              rpc::call(connection(),
                        rpc::GetExistCheque{
                            .NRCHEQUERECE = cheque,
                            .CDBANCHEQREC = cdsTpRecBoleto.valueOf("CDBANCBOLREC").asString(),
                            .CDAGECHEQREC = cdsTpRecBoleto.valueOf("CDAGENBOLREC").asString(),
                            .CDCNTCHEQREC = cdsTpRecBoleto.valueOf("CDCONTBOLREC").asString()})
                  .packetJson());
          const std::string account = trimmed(registered.valueOf("CDREDUCONT"));
          if (!registered.isEmpty() && !account.empty() && account != code) {
            failOn("edtCDREDUCONT", "CHEQUE_CAD_COB_2");
          }
        }
        cdsTpRecBoleto.first();
      }

      if (listEditing()) {
        for (const char* f : {"CDBANCO", "CDPICTCONT", "CDPICTAGEN", "CDAGENCIA", "CDCONTCORR",
                              "DSCONTCORR", "CDBANCCNAB"}) {
          cdsBoletos.fieldByName(f).setValue(cdsContCorr.valueOf(f));
        }
        const size_t marked = cdsMarca.active() ? cdsMarca.recordCount() : 0;
        if (marked <= 1 || inserting) {
          Vd_CdBarraRec();
          bool untouched = true;
          for (const char* f :
               {"CDCARTCOBBOL", "CDINS1COBBOL", "CDINS2COBBOL", "QTDIAPROTBOL", "IDIMPRBOLBOL"}) {
            untouched = untouched && current(f).isNull();
          }
          untouched = untouched && (!cdsCNABMsg.active() || cdsCNABMsg.isEmpty() ||
                                    cdsCNABMsg.valueOf("TXMENSBOLBOL").isNull());
          if (untouched || ask("SOBREPOR")) overwriteCollectionData();
        } else {
          // The marked boletos change bank: their numbers and codes are made again.
          for (const char* f : {"DSLINHABARREC", "CDBARRAREC", "CDNOSNUMREC", "CDDEPIDENREC"}) {
            cdsBoletos.fieldByName(f).clear();
          }
          overwriteCollectionData();
        }
      }
    }

    if (mandatory && code != accountAtEditStart) {
      const size_t marked = cdsMarca.active() ? cdsMarca.recordCount() : 0;
      if (marked > 0) {
        const std::string answer =
            rpc::call(connection(), rpc::GetVeriTpRecBoleto{.cdsBoletos = remote::Variant::packet(
                                                                cdsBoletos.toPacket())})
                .asString();
        if (answer == "EXISTTPREC") {
          if (!ask("APAGA_TPREC")) host::Abort();
          host::WaitAnimation wait;
          const auto at = cdsMarca.bookmark();
          for (cdsMarca.first(); !cdsMarca.eof(); cdsMarca.next()) {
            rpc::call(connection(),
                      rpc::DelTpRec{.CDFILIAL = cdsMarca.valueOf("CDFILIAL").asString(),
                                    .NRLANBOLREC = cdsMarca.valueOf("NRLANBOLREC").asString()});
          }
          cdsMarca.gotoBookmark(at);
        } else if (!answer.empty()) {
          error(answer);
        }
      } else if (!inserting && !current("NRLANBOLREC").asString().empty()) {
        // One boleto changing account: its payment types belong to the old account.
        const std::string branch = current("CDFILIAL").asString();
        const std::string number = current("NRLANBOLREC").asString();
        cdsCdRedTpRe.loadPacket(
            rpc::call(connection(), rpc::GetCdRedTpRe{.CDFILIAL = branch, .NRLANBOLREC = number})
                .packetJson());
        if (!cdsCdRedTpRe.isEmpty()) {
          if (!ask("APAGA_TPREC")) host::Abort();
          rpc::call(connection(), rpc::DelTpRec{.CDFILIAL = branch, .NRLANBOLREC = number});
          BuscaTpRecBoleto(branch, number);
        }
      }
    }
  } catch (const host::OperationAborted&) {
    afterScroll();
    throw;
  } catch (...) {
    afterScroll();
    focusField("edtCDREDUCONT", "tshGeral");
    throw;
  }
  afterScroll();
}

void TfrmHabContRec::overwriteCollectionData() {
  auto& b = cdsBoletos;
  auto from = [this](const char* f) { return cdsContCorr.valueOf(f); };
  b.fieldByName("CDCARTCOBBOL").setValue(from("CDCARTCOBR"));
  b.fieldByName("IDCARTCOBREC").setValue(from("IDCARTCOBR"));
  b.fieldByName("CDINS1COBBOL").setValue(from("CDINS1COBR"));
  b.fieldByName("CDINS2COBBOL").setValue(from("CDINS2COBR"));
  b.fieldByName("QTDIAPROTBOL").setValue(from("QTDIAPROTEST"));
  b.fieldByName("CDDIAPROTBOL").setValue(from("CDDIAPROTEST"));
  b.fieldByName("QTDIADEVOL").setValue(from("QTDIADEVOL"));
  b.fieldByName("CDDIADEVOL").setValue(from("CDDIADEVOL"));
  b.fieldByName("IDSTATBREC").setString("A");
  const std::string prints = trimmed(from("IDIMPRBOLETO"));
  b.fieldByName("IDIMPRBOLBOL").setString(prints.empty() ? "B" : prints);
  const bool fromOrigin = prints == "F";
  if (fromOrigin) {
    b.fieldByName("CDFILORIG").setValue(from("CDFILIAL"));
  } else {
    b.fieldByName("CDFILORIG").clear();
    b.fieldByName("NMFILIAL").clear();
  }
  for (const char* c : {"lblCDFILORIG", "edtCDFILORIG", "btnCDFILORIG"}) {
    control(c).setEnabled(fromOrigin);
  }
  if (!fromOrigin) control("edtCDFILORIG").setText({});
  // The account's message becomes the boleto's: both are confirmed together.
  const Value message = cdsTxMensBol.isEmpty() ? Value() : cdsTxMensBol.valueOf("TXMENSBOLETO");
  if (cdsCNABMsg.active() && !cdsCNABMsg.isEmpty()) {
    if (cdsCNABMsg.state() == DatasetState::Browse) cdsCNABMsg.edit();
    cdsCNABMsg.fieldByName("TXMENSBOLBOL").setValue(message);
  }
  control("memTXMENSBOLBOL").setText(message.isNull() ? "" : message.asString());
  b.fieldByName("IDFORMCADBREC").setString(registrationForm(from("IDFORMCADBANC").asString()));
}

void TfrmHabContRec::PesquisaContCorr() {
  const std::string preferred =
      cdsGeralRec.active() ? cdsGeralRec.valueOf("IDUTBCOPREFCLIE").asString() : "";
  const remote::Variant both =
      rpc::call(connection(), rpc::GetContCorr{.CDREDUCONT = "",
                                               .CDEMPRESA = company(),
                                               .todos = "T",
                                               .CDCLIENTE = current("CDCLIENTE").asString(),
                                               .IDUTBCOPREFCLIE = preferred});
  if (!both.isArray() || both.items().empty()) return;
  host::ClientDataset accounts("cdsPesqContCorr");
  accounts.loadPacket(both.items()[0].packetJson());
  if (!pickRow(accounts, "CDREDUCONT", "DSCONTCORR", "Conta Corrente")) return;
  const std::string code = accounts.valueOf("CDREDUCONT").asString();
  if (!listEditing()) {
    VerificaStatus();
    cdsBoletos.edit();
  }
  cdsBoletos.fieldByName("CDREDUCONT").setString(code);
  control("edtCDREDUCONT").setText(code);
}

// ------------------------------------------------------------------ write-off type

void TfrmHabContRec::Vd_TipoBaixa(bool mandatory) {
  if (!listEditing()) return;
  const std::string typed = trimmed(current("CDTPBAIXAREC"));
  if (typed.empty()) {
    if (mandatory) failOn("edtCDTPBAIXAREC", "TPBX_INF");
    return;
  }
  const std::string code = host::Ajusta(typed, fld::CDTPBAIXAREC.width());
  host::ClientDataset found("cdsVdTipoBaixa");
  try {
    found.loadPacket(
        rpc::call(connection(), rpc::GetVdTipoBaixa{.CDTPBAIXAREC = code}).packetJson());
  } catch (...) {
    focusField("edtCDTPBAIXAREC", "tshGeral");
    throw;
  }
  if (found.isEmpty()) failOn("edtCDTPBAIXAREC", "TPBX_N_CAD");
  cdsBoletos.fieldByName("CDTPBAIXAREC").setValue(found.valueOf("CDTPBAIXAREC"));
  cdsBoletos.fieldByName("NMTPBAIXAREC").setValue(found.valueOf("NMTPBAIXAREC"));
  control("edtCDTPBAIXAREC").setText(found.valueOf("CDTPBAIXAREC").asString());
}

void TfrmHabContRec::PesquisaTipoBaixa() {
  host::ClientDataset types("cdsPesqTpBaixa");
  types.loadPacket(rpc::call(connection(), rpc::GetPesqTpBaixa{}).packetJson());
  if (!pickRow(types, "CDTPBAIXAREC", "NMTPBAIXAREC", "Tipo de Baixa")) return;
  if (!listEditing()) {
    VerificaStatus();
    cdsBoletos.edit();
  }
  cdsBoletos.fieldByName("CDTPBAIXAREC").setValue(types.valueOf("CDTPBAIXAREC"));
  cdsBoletos.fieldByName("NMTPBAIXAREC").setValue(types.valueOf("NMTPBAIXAREC"));
  control("edtCDTPBAIXAREC").setText(types.valueOf("CDTPBAIXAREC").asString());
}

// ------------------------------------------------------------------ instructions, barcode

void TfrmHabContRec::Vd_InstruCobr(const std::string& field) {
  const std::string edt = "edt" + field;
  const std::string other = field == "CDINS1COBBOL" ? "CDINS2COBBOL" : "CDINS1COBBOL";
  const std::string typed = trimmed(current(field));
  if (typed.empty()) return;
  const std::string code = host::Ajusta(typed, fld::CDINSTCOBR.width());
  if (editing(cdsBoletos) && code != typed) cdsBoletos.fieldByName(field).setString(code);
  host::ClientDataset found("cdsInstCobr");
  try {
    found.loadPacket(
        rpc::call(connection(),
                  rpc::GetInstCobr{
                      .CDBANCO = current("CDBANCO").asString(), .CDINSTCOBR = code, .todos = ""})
            .packetJson());
  } catch (...) {
    focusField(edt.c_str(), "tshCnab");
    throw;
  }
  if (found.isEmpty()) failOn(edt, "INSTRU_N_CAD");
  const std::string otherCode = trimmed(current(other));
  if (!otherCode.empty() && host::Ajusta(otherCode, fld::CDINSTCOBR.width()) == code)
    failOn(edt, "1INSTRU_2INSTRU");
}

void TfrmHabContRec::PesquisaInstrucao(const std::string& field) {
  const std::string bank = current("CDBANCO").asString();
  if (trimmed(current("CDREDUCONT")).empty()) failOn("edtCDREDUCONT", "CdRedu_ni");
  host::ClientDataset found("cdsPesqInstCobr");
  found.loadPacket(
      rpc::call(connection(), rpc::GetInstCobr{.CDBANCO = bank, .CDINSTCOBR = "", .todos = "T"})
          .packetJson());
  if (!pickRow(found, "CDINSTCOBR", "DSINSTCOBR", "Instrução de Cobrança")) return;
  if (!listEditing()) {
    if (cdsBoletos.isEmpty()) {
      cdsBoletos.append();
    } else {
      VerificaStatus();
      cdsBoletos.edit();
    }
  }
  cdsBoletos.fieldByName(field).setValue(found.valueOf("CDINSTCOBR"));
  control("edt" + field).setText(found.valueOf("CDINSTCOBR").asString());
}

void TfrmHabContRec::Vd_CdBarraRec() {
  const std::string barcode = trimmed(current("CDBARRAREC"));
  if (barcode.empty() || trimmed(current("CDREDUCONT")).empty()) return;
  if (host::LeftStr(barcode, 3) != current("CDBANCCNAB").asString()) {
    failOn("edtCDBARRAREC", "BANQ_Dif");
  }
}

char TfrmHabContRec::edtCDCARTCOBBOLKeyPress(char key) const {
  const bool digit = key >= '0' && key <= '9';
  return digit || key == '\b' || key == '\r' ? key : '\0';
}

// ------------------------------------------------------------------ origin branch

void TfrmHabContRec::Vd_Filial() {
  if (!listEditing() || current("IDIMPRBOLBOL").asString() != "F") return;
  const std::string typed = trimmed(current("CDFILORIG"));
  const std::string code = typed.empty() ? typed : host::Ajusta(typed, fld::CDFILORIG.width());
  setText(cdsBoletos, "CDFILORIG", code);
  control("edtCDFILORIG").setText(code);
  if (code.empty()) return;
  host::ClientDataset found("cdsFiliOrig");
  try {
    found.loadPacket(
        rpc::call(connection(), rpc::GetFiliOrig{.CDFILIAL = code, .CDEMPRESA = company()})
            .packetJson());
  } catch (...) {
    focusField("edtCDFILORIG", "tshCnab");
    throw;
  }
  if (found.isEmpty()) {
    cdsBoletos.fieldByName("NMFILIAL").clear();
    control("edtNMFILIAL").setText({});
    failOn("edtCDFILORIG", "FIL_N_CAD");
  }
  cdsBoletos.fieldByName("NMFILIAL").setValue(found.valueOf("NMFILIAL"));
  control("edtNMFILIAL").setText(found.valueOf("NMFILIAL").asString());
}

void TfrmHabContRec::cbxIDIMPRBOLBOLChange() {
  const int item = control("cbxIDIMPRBOLBOL").itemIndex();
  const bool fromOrigin = item == 3;
  for (const char* c : {"lblCDFILORIG", "edtCDFILORIG", "btnCDFILORIG"}) {
    control(c).setEnabled(fromOrigin);
  }
  // Outside an edit the choice only arranges the fields; the boleto changes once edited.
  if (!listEditing()) {
    if (!fromOrigin) control("edtCDFILORIG").setText({});
    return;
  }
  cdsBoletos.fieldByName("IDIMPRBOLBOL").setValue(reg::WhoPrintsChoices().codeOf(item));
  if (!fromOrigin) {
    control("edtCDFILORIG").setText({});
    control("edtNMFILIAL").setText({});
    cdsBoletos.fieldByName("CDFILORIG").clear();
    cdsBoletos.fieldByName("NMFILIAL").clear();
    return;
  }
  if (trimmed(current("CDREDUCONT")).empty()) failOn("cbxIDIMPRBOLBOL", "CC_INF_FIL");
  host::ClientDataset proposal("cdsFilialCC");
  proposal.loadPacket(
      rpc::call(connection(), rpc::GetFilialCC{.CDBANCO = current("CDBANCO").asString(),
                                               .CDAGENCIA = current("CDAGENCIA").asString(),
                                               .CDCONTCORR = current("CDCONTCORR").asString(),
                                               .CDREDUCONT = current("CDREDUCONT").asString(),
                                               .CDEMPRESA = company()})
          .packetJson());
  if (proposal.isEmpty()) return;
  cdsBoletos.fieldByName("CDFILORIG").setValue(proposal.valueOf("CDFILORIG"));
  cdsBoletos.fieldByName("NMFILIAL").setValue(proposal.valueOf("NMFILIAL"));
  control("edtCDFILORIG").setText(proposal.valueOf("CDFILORIG").asString());
  control("edtNMFILIAL").setText(proposal.valueOf("NMFILIAL").asString());
}

void TfrmHabContRec::PesquisaFilial() {
  if (trimmed(current("CDREDUCONT")).empty()) failOn("edtCDREDUCONT", "CdRedu_ni");
  host::ClientDataset found("cdsPesqFilial");
  found.loadPacket(rpc::call(connection(), rpc::GetFiliOrig{.CDFILIAL = "", .CDEMPRESA = company()})
                       .packetJson());
  if (!pickRow(found, "CDFILIAL", "NMFILIAL", "Filial")) return;
  if (!listEditing()) {
    VerificaStatus();
    cdsBoletos.edit();
  }
  cdsBoletos.fieldByName("CDFILORIG").setValue(found.valueOf("CDFILIAL"));
  cdsBoletos.fieldByName("NMFILIAL").setValue(found.valueOf("NMFILIAL"));
  control("edtCDFILORIG").setText(found.valueOf("CDFILIAL").asString());
  control("edtNMFILIAL").setText(found.valueOf("NMFILIAL").asString());
}

// ------------------------------------------------------------------ state of the boleto

void TfrmHabContRec::VerificaStatus() {
  if (!hasRows()) return;
  VerificaStatus(current("CDFILIAL").asString(), current("NRLANBOLREC").asString());
}

void TfrmHabContRec::VerificaStatus(const std::string& branch, const std::string& number) {
  std::string b = branch, n = number;
  {
    host::WaitAnimation wait;
    // A state that could not be read is no permission to change the boleto: the failure
    // stops the operation instead of leaving the previous boleto's state in place.
    const remote::Variant packet =
        rpc::call(connection(), rpc::GetStatus{.CDFILIAL = b, .NRLANBOLREC = n});
    if (cdsStatus.active()) cdsStatus.close();
    cdsStatus.loadPacket(packet.packetJson());
  }
  if (cdsStatus.isEmpty()) return;
  if (cdsStatus.valueOf("IDSTATBREC").asString() == "D") error("BOL_DESC");
  if (!trimmed(cdsStatus.valueOf("NRBAIXAREC")).empty()) error("BOL_BAIXA");
  const bool controlled =
      cdsGeralRec.active() && cdsGeralRec.valueOf("IDUTCTRLCANREMR").asString() == "S";
  if (controlled && !trimmed(cdsStatus.valueOf("NRCNABRECREM")).empty()) {
    const bool extension = pageControl("pgcPadrao").isShown("tshProrrogacao");
    if (!extension || cdsStatus.valueOf("IDBOLRECALTER").asString() == "1") error("BOL_ALTERADO");
  }
}

void TfrmHabContRec::VerificaSitCNAB(const std::string& situation) {
  if (situation.empty() || situation == "00" || situation == "01") return;
  const bool uncontrolled =
      cdsGeralRec.active() && cdsGeralRec.valueOf("IDUTCTRLCANREMR").asString() == "N";
  if (!uncontrolled) error("BOL_ALTERADO");
  if (!ask("CONF_CANC_BOL_CNAB")) host::Abort();
}

bool TfrmHabContRec::VerificaBolCompensado() {
  if (!hasRows()) return false;
  const std::string answer =
      rpc::call(connection(), rpc::GetVdCompensa{.CDFILIAL = current("CDFILIAL").asString(),
                                                 .NRLANBOLREC = current("NRLANBOLREC").asString()})
          .asString();
  return answer == "TRUE";
}

bool TfrmHabContRec::VerificaTBolCompensado(const std::string& kind) {
  GravaChaveBoletosMarcados(kind);
  if (cdsChaveBol.isEmpty()) return false;
  const std::string answer =
      rpc::call(
          connection(),
          rpc::GetVdTBolCompensa{.cdsChaveBol = remote::Variant::packet(cdsChaveBol.toPacket())})
          .asString();
  if (answer.empty()) return false;
  // The cleared one becomes current, so the operator sees which it is.
  const std::vector<Value> key{Value(host::LeftStr(answer, 4)),
                               Value(answer.size() > 4 ? answer.substr(4, 10) : std::string())};
  host::ClientDataset& where = kind == "B" ? cdsBoletos : cdsParcelamento;
  if (where.active()) where.locate(records::kBoletoKeyFields, key, {.caseInsensitive = true});
  return true;
}

void TfrmHabContRec::VerificaBloqAltBol() {
  const bool locked = cdsGeralRec.active() &&
                      cdsGeralRec.valueOf("IDBLOQALTBOLREC").asString() == "S" &&
                      !(cdsBoletos.active() && cdsBoletos.state() == DatasetState::Insert);
  for (const char* c : kLockable) control(c).setEnabled(!locked);
}

// ------------------------------------------------------------------ protest

void TfrmHabContRec::VerificaDataProtesto(const std::string& controlName) {
  const std::string text = host::AllTrim(control(controlName).text());
  const std::string field = controlName.substr(3);
  if (blankDate(text)) {
    if (listEditing()) cdsBoletos.fieldByName(field).clear();
    return;
  }
  const auto date = host::DateTime::parse(text, "dd/mm/yyyy");
  if (!date) failOn(controlName, "DATA_INV");
  if (listEditing()) cdsBoletos.fieldByName(field).setDate(*date);
}

void TfrmHabContRec::chkIDPROTESTRECClick() {
  const bool on = control("chkIDPROTESTREC").checked();
  if (listEditing()) cdsBoletos.fieldByName("IDPROTESTREC").setString(on ? "S" : "N");
  if (on) return;
  for (const char* c : {"edtDTINIPROTREC", "edtDTFIMPROTREC"}) control(c).setText({});
  if (listEditing()) {
    cdsBoletos.fieldByName("DTINIPROTREC").clear();
    cdsBoletos.fieldByName("DTFIMPROTREC").clear();
  }
}

// ------------------------------------------------------------------ cheques of payment types

void TfrmHabContRec::Vd_Cheque(bool mandatory) {
  auto& tp = cdsTpRecBoleto;
  if (!editing(tp)) return;
  const std::string typed = trimmed(tp.valueOf("NRCHEQBOLREC"));
  const std::string cheque = typed.empty() ? typed : host::Ajusta(typed, fld::NRCHEQBOLREC.width());
  setText(tp, "NRCHEQBOLREC", cheque);
  if (cheque.empty()) {
    if (mandatory) failOn("dbgTpRecBoleto", "CHEQUE_NINF");
    return;
  }
  const std::string customer = current("CDCLIENTE").asString();
  // The customer's cheque as the row holds it now: the registered cheque completes the row.
  const auto customerCheque = [&](auto method) {
    using Method = typename decltype(method)::type;
    return rpc::call(connection(), Method{.CDCLIENTE = customer,
                                          .NRCHEQUERECE = cheque,
                                          .CDBANCHEQREC = trimmed(tp.valueOf("CDBANCBOLREC")),
                                          .CDAGECHEQREC = trimmed(tp.valueOf("CDAGENBOLREC")),
                                          .CDCNTCHEQREC = trimmed(tp.valueOf("CDCONTBOLREC"))})
        .packetJson();
  };
  host::ClientDataset known("cdsValidaCheque");
  known.loadPacket(customerCheque(std::type_identity<rpc::GetValidaCheque>{}));
  if (!known.isEmpty()) {
    tp.fieldByName("CDBANCBOLREC").setValue(known.valueOf("CDBANCHEQREC"));
    tp.fieldByName("CDAGENBOLREC").setValue(known.valueOf("CDAGECHEQREC"));
    tp.fieldByName("CDCONTBOLREC").setValue(known.valueOf("CDCNTCHEQREC"));
  }
  if (!mandatory || tp.state() != DatasetState::Insert) return;
  if (!known.isEmpty()) {
    host::ClientDataset available("cdsChequePerm");
    available.loadPacket(customerCheque(std::type_identity<rpc::GetChequePerm>{}));
    if (available.isEmpty()) failOn("dbgTpRecBoleto", "CHEQUE_NAO_DISP");
  }
  // Entered already here: the cheque keys are number (6), bank (3), agency (5), account (16).
  const std::string bank = trimmed(tp.valueOf("CDBANCBOLREC"));
  const std::string agency = trimmed(tp.valueOf("CDAGENBOLREC"));
  const std::string account = trimmed(tp.valueOf("CDCONTBOLREC"));
  for (const host::TKeyList* kl : {&klChequeUso, &klChequeNovo}) {
    for (int i = 0; i < kl->Count(); ++i) {
      const std::string& key = kl->Key(i);
      if (host::AllTrim(host::Utf8Substr(key, 0, 6)) == cheque &&
          host::AllTrim(host::Utf8Substr(key, 6, 3)) == bank &&
          host::AllTrim(host::Utf8Substr(key, 9, 5)) == agency &&
          host::AllTrim(host::Utf8Substr(key, 14, 16)) == account) {
        failOn("dbgTpRecBoleto", "CHEQUE_JA_CAD");
      }
    }
  }
  // The boleto's own key: the cheque belongs to this boleto, whatever branch processes it.
  const std::string onBoleto =
      rpc::call(connection(), rpc::GetValNrCheque{.CDFILIAL = current("CDFILIAL").asString(),
                                                  .NRLANBOLREC = current("NRLANBOLREC").asString(),
                                                  .NRCHEQUERECE = cheque})
          .asString();
  if (!onBoleto.empty()) failOn("dbgTpRecBoleto", "CHEQUE_JA_CAD");
}

void TfrmHabContRec::Vd_Banco(bool mandatory) {
  auto& tp = cdsTpRecBoleto;
  if (!editing(tp)) return;
  const std::string typed = trimmed(tp.valueOf("CDBANCBOLREC"));
  if (typed.empty()) {
    if (mandatory) failOn("dbgTpRecBoleto", "BANCO_NInf");
    return;
  }
  tp.fieldByName("CDBANCBOLREC").setString(host::Ajusta(typed, fld::CDBANCBOLREC.width()));
}

void TfrmHabContRec::Vd_Agencia(bool mandatory) {
  auto& tp = cdsTpRecBoleto;
  if (mandatory && editing(tp) && trimmed(tp.valueOf("CDAGENBOLREC")).empty()) {
    failOn("dbgTpRecBoleto", "AGENCIA_NI");
  }
}

void TfrmHabContRec::Vd_ContaCorr(bool mandatory) {
  auto& tp = cdsTpRecBoleto;
  if (mandatory && tp.active() && trimmed(tp.valueOf("CDCONTBOLREC")).empty()) {
    failOn("dbgTpRecBoleto", "CONTCORR_NI");
  }
}

}  // namespace rec
