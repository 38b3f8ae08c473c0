// The "Ajustes" tab: the adjustments of the current boleto, additions or discounts of a
// registered type. A new adjustment is checked as it is typed and sent to the service the
// moment it is posted; a saved adjustment is never changed, only deleted through the service
// (ExcluiAjuste), which gives its value back to the boleto.

#include <fmt/format.h>

#include <cctype>
#include <cmath>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;
using host::Value;

namespace {

bool inserting(const host::ClientDataset& ds) {
  return ds.active() && ds.state() == DatasetState::Insert;
}
bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

// The pages an adjustment being added keeps the operator away from.
constexpr const char* kOtherPages[] = {"tshFolhaDados",  "tshFormulario",   "tshDadosRec",
                                       "tshProrrogacao", "tshParcelamento", "tshTpRecBoleto"};

}  // namespace

double TfrmHabContRec::CalcVrBolet(double value, const std::string& kind) {
  const double rounded = host::RoundDec(2, value);
  return kind == "D" ? -rounded : rounded;
}

void TfrmHabContRec::attachAdjustments() {
  auto& m = messages();
  m.Add("CdAjDeve", "Tipo de ajuste deve ser informado.");
  m.Add("CdAj_Nao_cad", "Tipo de ajuste não cadastrado.");
  m.Add("CdAj_Ja_cad", "Já existe ajuste deste tipo para o boleto.");
  m.Add("Vr_Deve", "Valor deve ser informado.");
  m.Add("MaiorZero", "Valor deve ser maior que zero.");
  m.Add("VrAjus>Vrbol", "Valor do desconto deve ser menor que o valor do boleto.");
  m.Add("VrAjus>VrAj", "Valor do desconto deve ser menor que o valor do tipo de recebimento.");
  m.Add("TpAjContRec", "Tipos de Ajuste");
  m.Add("Desc", "Desconto");
  m.Add("Acres", "Acréscimo");
  m.Add("AJBOLCOMP", "Ajuste originado de compensação bancária não pode ser excluído.");
  m.Add("AjNfDup_NotDel", "Ajuste gerado por nota fiscal ou duplicata não pode ser excluído.");
  m.Add("Bol_Negativo", "A exclusão deste acréscimo deixaria o valor do boleto negativo.");
  m.Add("Bol_TpCtAdian", "Boleto de adiantamento não recebe ajustes.");

  auto& g = grid("dbgAjustes");
  g.setColumns({{"CDAJUCTREC", "Código", 50, true},
                {"DSAJUCTREC", "Descrição", 220, true},
                {"IDAJUCTREC", "Acréscimo/Desconto", 110, true},
                {"VRAJBOLREC", "Valor", 90, true}});
  g.setRowSelect(false);
  g.setDisplayRule("IDAJUCTREC", [this](const Value& v) {
    // Any kind but a discount adds to the boleto.
    const std::string code = host::AllTrim(v.asString());
    return code.empty() ? code : messages().Msg(code == "D" ? "Desc" : "Acres");
  });
  // Typing in a cell of the row being added writes the cell (the grid edits in place).
  g.onKeyPress = [this, &g](char key) {
    const int col = g.selectedColumn();
    const std::string field =
        col >= 0 && static_cast<size_t>(col) < g.columns().size() ? g.columns()[col].field : "";
    const bool adding = inserting(cdsAjBolRec);
    const std::string text = field == "VRAJBOLREC"      ? adjustmentValueText_
                             : adding && !field.empty() ? cdsAjBolRec.fieldByName(field).asString()
                                                        : std::string();
    const char accepted = dbgAjustesKeyPress(field, key, text);
    if (!adding || accepted == '\0' || accepted == '\t' || accepted == '\r') return;
    std::string typed = text;
    if (accepted == '\b') {
      if (!typed.empty()) typed.pop_back();
    } else {
      typed += accepted;
    }
    if (field == "CDAJUCTREC") {
      if (typed.size() <= 4) cdsAjBolRec.fieldByName(field).setString(typed);
    } else if (field == "VRAJBOLREC") {
      adjustmentValueText_ = typed;
      auto value = cdsAjBolRec.fieldByName(field);
      if (typed.empty()) {
        value.setValue(Value());
      } else {
        value.setFloat(host::StrToFloatDef(typed, 0));
      }
    }
  };
  g.onColEnter = [this](const std::string& field) {
    const std::string left = std::exchange(adjustmentColumn_, field);
    if (left != field) dbgAjustesColExit(left);
  };
  g.onDblClick = [this] {
    if (inserting(cdsAjBolRec) && adjustmentColumn_ == "CDAJUCTREC")
      run([this] { PesquisaTipoAjuste(); });
  };
  g.onKeyDown = [this](GridKey& key, ShiftState) {
    // The grid's Delete drops a row being added; a saved adjustment goes through the delete
    // command, which asks first.
    if (key == GridKey::Delete) {
      if (inserting(cdsAjBolRec)) cdsAjBolRec.cancel();
      key = GridKey::None;
    }
  };

  auto& ev = cdsAjBolRec.events();
  ev.beforeInsert = [this](host::ClientDataset&) {
    // 1. The boleto may still change.
    Verifica_Acesso_Sistema(current("DTVENBOLREC").asDate());
    VerificaSitCNAB(current("IDSITUCNABR").asString());
    // 2.
    if (current("IDSTATBREC").asString() == "E" && !ask("Bol_Emitido")) host::Abort();
  };
  ev.afterInsert = [this](host::ClientDataset&) {
    adjustmentValueText_.clear();
    adjustmentColumn_ = "CDAJUCTREC";
    grid("dbgAjustes").setSelectedColumn(0);
  };
  // A saved adjustment is never edited: the attempt is refused without a word.
  ev.beforeEdit = [](host::ClientDataset&) { host::Abort(); };
  ev.beforePost = [this](host::ClientDataset& ds) {
    auto value = ds.fieldByName("VRAJBOLREC");
    if (!value.isNull()) value.setValue(Value(host::RoundDec(2, value.asFloat())));
    Vd_CdAjuctRec(true);
    Vd_VrAjBolRec(true);
    ds.fieldByName("CDFILIAL").setString(current("CDFILIAL").asString());
    ds.fieldByName("NRLANBOLREC").setString(current("NRLANBOLREC").asString());
  };
  ev.afterPost = [this](host::ClientDataset&) { confirmaAjuste(); };
  ev.onStateChange = [this](host::ClientDataset&) { dtsAjBolRecStateChange(); };
}

void TfrmHabContRec::Vd_CdAjuctRec(bool mandatory) {
  if (!editing(cdsAjBolRec)) return;
  auto code = cdsAjBolRec.fieldByName("CDAJUCTREC");
  const auto stop = [this](std::string_view key) {
    pageControl("pgcPadrao").setActivePage("tshAjustes");
    adjustmentColumn_ = "CDAJUCTREC";
    grid("dbgAjustes").setSelectedColumn(0);
    error(key);
  };
  if (host::AllTrim(code.asString()).empty()) {
    if (mandatory) stop("CdAjDeve");
    return;
  }
  const std::string padded = host::Ajusta(host::AllTrim(code.asString()), 4);
  code.setString(padded);
  callInto(cdsTipoAjReceber, rpc::GetTipoAjReceber{.CDAJUCTREC = padded, .todos = ""});
  if (cdsTipoAjReceber.isEmpty()) stop("CdAj_Nao_cad");
  host::ClientDataset same("cdsVerifAjust");
  loadInto(same,
           rpc::tryCall(*conn_, rpc::GetVerifAjust{.CDFILIAL = current("CDFILIAL").asString(),
                                                   .NRLANBOLREC = current("NRLANBOLREC").asString(),
                                                   .CDAJUCTREC = padded}),
           "GetVerifAjust", true);
  if (!same.isEmpty()) stop("CdAj_Ja_cad");
  cdsAjBolRec.fieldByName("DSAJUCTREC")
      .setString(cdsTipoAjReceber.valueOf("DSAJUCTREC").asString());
  cdsAjBolRec.fieldByName("IDAJUCTREC")
      .setString(cdsTipoAjReceber.valueOf("IDAJUCTREC").asString());
}

void TfrmHabContRec::Vd_VrAjBolRec(bool mandatory) {
  if (!inserting(cdsAjBolRec)) return;
  const auto stop = [this](std::string_view key) {
    pageControl("pgcPadrao").setActivePage("tshAjustes");
    adjustmentColumn_ = "VRAJBOLREC";
    grid("dbgAjustes").setSelectedColumn(3);
    error(key);
  };
  const auto value = cdsAjBolRec.fieldByName("VRAJBOLREC");
  if (value.isNull()) {
    if (mandatory) stop("Vr_Deve");
    return;
  }
  const double rounded = host::RoundDec(2, value.asFloat());
  if (!(rounded > 0)) stop("MaiorZero");
  if (cdsAjBolRec.fieldByName("IDAJUCTREC").asString() == "D" &&
      !(host::RoundDec(2, current("VRFINALBREC").asDouble()) > rounded)) {
    stop("VrAjus>Vrbol");
  }
}

void TfrmHabContRec::PesquisaTipoAjuste() {
  if (!inserting(cdsAjBolRec)) return;
  callInto(cdsTipoAjReceber, rpc::GetTipoAjReceber{.CDAJUCTREC = "", .todos = "T"});
  std::vector<std::string> items;
  for (size_t row = 1; row <= cdsTipoAjReceber.recordCount(); ++row) {
    const std::string kind = cdsTipoAjReceber.valueAt(row, "IDAJUCTREC").asString();
    items.push_back(cdsTipoAjReceber.valueAt(row, "CDAJUCTREC").asString() + " | " +
                    cdsTipoAjReceber.valueAt(row, "DSAJUCTREC").asString() + " | " +
                    messages().Msg(kind == "D" ? "Desc" : "Acres"));
  }
  const auto chosen = host::dialogs().pickList(messages().Msg("TpAjContRec"), items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  const size_t row = static_cast<size_t>(*chosen) + 1;
  cdsAjBolRec.fieldByName("CDAJUCTREC")
      .setString(cdsTipoAjReceber.valueAt(row, "CDAJUCTREC").asString());
  Vd_CdAjuctRec(false);
}

char TfrmHabContRec::dbgAjustesKeyPress(const std::string& field, char key,
                                        const std::string& text) const {
  if (key == '\t' || key == '\r') return key;
  if (!inserting(cdsAjBolRec)) return '\0';
  if (field == "CDAJUCTREC") {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
  }
  if (field == "VRAJBOLREC") {
    if (std::isdigit(static_cast<unsigned char>(key)) || key == '\b') return key;
    if (key == ',' || key == '.') {
      return text.find_first_of(",.") == std::string::npos ? key : '\0';
    }
    return '\0';
  }
  return '\0';
}

void TfrmHabContRec::dbgAjustesColExit(const std::string& field) {
  if (field == "CDAJUCTREC") Vd_CdAjuctRec(false);
}

void TfrmHabContRec::confirmaAjuste() {
  // 1. The payment-type row the adjustment moves, and its new value.
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();
  const std::string kind = cdsAjBolRec.fieldByName("IDAJUCTREC").asString();
  const double value = host::RoundDec(2, cdsAjBolRec.fieldByName("VRAJBOLREC").asFloat());
  // What the operator typed comes back into a row being added when the service refuses it.
  const auto backToInsert = [this](const std::vector<std::pair<std::string, Value>>& typed) {
    cdsAjBolRec.cancelUpdates();
    host::DetachedEvents quiet(cdsAjBolRec, &host::DatasetEvents::beforeInsert);
    cdsAjBolRec.append();
    for (const auto& [f, v] : typed) cdsAjBolRec.fieldByName(f).setValue(v);
  };
  std::vector<std::pair<std::string, Value>> typed;
  for (const char* f : {"CDAJUCTREC", "DSAJUCTREC", "IDAJUCTREC", "VRAJBOLREC"}) {
    typed.emplace_back(f, cdsAjBolRec.fieldByName(f).value());
  }
  try {
    BuscaTpRecBoleto(branch, number);
    double paymentType = 0;
    std::string seq;
    if (cdsTpRecBoleto.active() && !cdsTpRecBoleto.isEmpty()) {
      if (kind == "D") {
        cdsTpRecBoleto.last();
        const double last = host::RoundDec(2, cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble());
        if (!(last > value)) error("VrAjus>VrAj");
        paymentType = host::RoundDec(2, last - value);
      } else {
        cdsTpRecBoleto.first();
        paymentType = host::RoundDec(2, cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble() + value);
      }
      seq = cdsTpRecBoleto.valueOf("NRSEQTPRECBO").asString();
    }
    // 2.
    rpc::call(*conn_, rpc::GetAjBolRec_Post{
                          .cdsAjBolRec = remote::Variant::packet(cdsAjBolRec.delta()),
                          .signedValue = CalcVrBolet(value, kind),
                          .CDFILIAL = branch,
                          .NRLANBOLREC = number,
                          .fromCredit = false,
                          .paymentTypeValue = paymentType,
                          .NRSEQTPRECBO = seq,
                          .IDBOLRECALTER = current("IDBOLRECALTER").asString(),
                          .CDEMPRESA = current("CDEMPRESA").asString(),
                          .NRCNABRECREM = current("NRCNABRECREM").asString(),
                          .VRFINALBREC = host::RoundDec(2, current("VRFINALBREC").asDouble())});
  } catch (const host::ServiceError& e) {
    backToInsert(typed);
    if (messages().Has(e.key())) error(e.key());
    throw;
  } catch (...) {
    backToInsert(typed);
    throw;
  }
  cdsAjBolRec.mergeChangeLog();
  if (cdsTpRecBoleto.active() && !cdsTpRecBoleto.isEmpty()) cdsTpRecBoleto.first();
  // 3. The boleto's values come back recomputed by the service.
  if (boAtualiza) {
    Fitro_Locate();
    if (hasRows()) BuscaAjustes(current("CDFILIAL").asString(), current("NRLANBOLREC").asString());
    Habilita();
  }
}

void TfrmHabContRec::VerificaAdiantamento() {
  host::ClientDataset advances("cdsValAdian");
  callInto(advances, rpc::GetValAdian{.CDFILIAL = current("CDFILIAL").asString(),
                                      .NRLANBOLREC = current("NRLANBOLREC").asString()});
  if (advances.active() && !advances.isEmpty()) error("Bol_TpCtAdian");
}

void TfrmHabContRec::ExcluiAjuste() {
  if (!cdsAjBolRec.active() || cdsAjBolRec.isEmpty() || editing(cdsAjBolRec)) return;
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();
  const std::string code = cdsAjBolRec.valueOf("CDAJUCTREC").asString();
  const std::string kind = host::AllTrim(cdsAjBolRec.valueOf("IDAJUCTREC").asString());
  const double value = host::RoundDec(2, cdsAjBolRec.valueOf("VRAJBOLREC").asDouble());
  const auto cents = [](double v) { return std::llround(v * 100.0); };
  // 1.
  VerificaStatus();
  if (host::AllTrim(cdsAjBolRec.valueOf("IDORIGAJBREC").asString()) == "4") error("AJBOLCOMP");
  // 2.
  host::ClientDataset locked("cdsVerifAjBolRec");
  callInto(locked,
           rpc::GetVerifAjBolRec{.CDFILIAL = branch, .NRLANBOLREC = number, .CDAJUCTREC = code});
  if (locked.active() && !locked.isEmpty()) {
    grid("dbgAjustes").setSelectedColumn(0);
    error("AjNfDup_NotDel");
  }
  // 3. Taking an addition away must not leave the boleto below zero (compared in centavos).
  if (kind != "D" && cents(current("VRFINALBREC").asDouble()) < cents(value)) error("Bol_Negativo");
  // 4.
  if (!ask("Excl")) return;
  if (current("IDSTATBREC").asString() == "E" && !ask("Bol_Emitido")) return;
  VerificaSitCNAB(current("IDSITUCNABR").asString());
  BuscaTpRecBoleto(branch, number);
  double paymentType = 0;
  std::string seq;
  if (cdsTpRecBoleto.active() && !cdsTpRecBoleto.isEmpty()) {
    // The payment-type row the adjustment moved when it was added moves back.
    if (kind == "D") {
      cdsTpRecBoleto.last();
      paymentType = host::RoundDec(2, cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble() + value);
    } else {
      cdsTpRecBoleto.first();
      paymentType = host::RoundDec(2, cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble() - value);
    }
    seq = cdsTpRecBoleto.valueOf("NRSEQTPRECBO").asString();
  }
  // The reversal travels twice by reference, as the service's contract has it.
  std::string reversal = fmt::format("{:.2f}", kind == "D" ? value : -value);
  std::string paymentTypeText = fmt::format("{:.2f}", paymentType);
  cdsAjBolRec.deleteRecord();
  if (cdsAjBolRec.changeCount() == 0) return;
  try {
    rpc::call(*conn_, rpc::SetUpdateVrBoleto{
                          .CDAJUCTREC = code,
                          .CDFILIAL = branch,
                          .NRLANBOLREC = number,
                          .estorno = reversal,
                          .estornoCopia = reversal,
                          .valorTpRec = paymentTypeText,
                          .NRSEQTPRECBO = seq,
                          .IDSITUCNABR = current("IDSITUCNABR").asString(),
                          .VRFINALBREC = host::RoundDec(2, current("VRFINALBREC").asDouble()),
                          .cdsAjBolRec = remote::Variant::packet(cdsAjBolRec.delta())});
  } catch (...) {
    // Refused: the adjustment is still the boleto's, and the tab shows it again.
    cdsAjBolRec.cancelUpdates();
    throw;
  }
  cdsAjBolRec.mergeChangeLog();
  Fitro_Locate();
  if (hasRows()) BuscaAjustes(current("CDFILIAL").asString(), current("NRLANBOLREC").asString());
  Habilita();
}

void TfrmHabContRec::dtsAjBolRecStateChange() {
  if (!pageShown("tshAjustes")) return;
  const bool adding = inserting(cdsAjBolRec);
  for (const char* page : kOtherPages) {
    control(std::string("mnu") + (page + 3)).setEnabled(!adding);
  }
  if (adding) {
    auto& pgc = pageControl("pgcPadrao");
    for (const char* page : kOtherPages) pgc.setPageEnabled(page, false);
  } else {
    HabPageControl();
  }
  control("pnlEmpresa").setEnabled(!adding);
  control("mnuConfirmar").setEnabled(adding);
  control("mnuCancelar").setEnabled(adding);
  control("mnuIncluir").setEnabled(!adding && hasRows() && listBrowse());
  control("mnuFiltrar").setEnabled(!adding && cdsBoletos.active());
  // Delete drops a row being added, or deletes the saved adjustment in hand.
  control("mnuExcluir")
      .setEnabled(adding || (!adding && cdsAjBolRec.active() && !cdsAjBolRec.isEmpty() &&
                             hasRows() && listBrowse()));
  control("mnuPesquisar").setEnabled(!adding && cdsAjBolRec.active() && !cdsAjBolRec.isEmpty());
  control("mnuAlterar").setEnabled(false);
  control("mnuVerificar").setEnabled(false);
}

}  // namespace rec
