// "Tipo de Recebimento": the value of the current boleto split among the ways it will be
// received. The rows are edited here: the first takes the whole net value, each new one
// proposes what is still undistributed; cheque rows are checked against the customer's
// registered cheques, so that no cheque is used for more than it is worth. The confirmation
// sends the rows with SetTpRecBoleto, which stores them only when they add up to the boleto.

#include <algorithm>
#include <cmath>

#include "host/Consiste.h"
#include "host/Context.h"
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

namespace fld = records::fld;

bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

std::string trimmedOf(const host::ClientDataset& ds, std::string_view field) {
  return host::AllTrim(ds.valueOf(field).asString());
}

/// A cheque's key in the cheque key lists: number (6), bank (3), agency (5), account (16).
std::string chequeKey(const host::ClientDataset& ds) {
  auto part = [&](std::string_view field, size_t width) {
    std::string s = trimmedOf(ds, field);
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
  };
  return part(fld::NRCHEQBOLREC, 6) + part(fld::CDBANCBOLREC, 3) + part(fld::CDAGENBOLREC, 5) +
         part(fld::CDCONTBOLREC, 16);
}

double round2(double v) {
  return host::RoundDec(2, v);
}

const char* const kChequeFields[] = {"NRCHEQBOLREC", "CDBANCBOLREC", "CDAGENBOLREC",
                                     "CDCONTBOLREC"};

}  // namespace

void TfrmHabContRec::addPaymentTypeMessages() {
  auto& m = messages();
  m.Add("TIPORECE", "Tipos de Recebimento");
  m.Add("TIPORECE_NINF", "Tipo de recebimento deve ser informado.");
  m.Add("TPRECE_NC", "Tipo de recebimento não cadastrado.");
  m.Add("TPRECE_NCAD", "Nenhum tipo de recebimento cadastrado.");
  m.Add("CdRed_n_inf", "Para receber em cheque a conta cobrança do boleto deve ser informada.");
  m.Add("VRTPRECE_NEGA", "Valor do tipo de recebimento deve ser maior que zero.");
  m.Add("CARTAO_N_CAD", "Cartão não cadastrado.");
  m.Add("CHQ_EMPTY", "Nenhum cheque cadastrado para o cliente.");
  m.Add("NRCHEQUE_NOT_EDIT", "Número do cheque gravado não pode ser alterado.");
  m.Add("CDBANC_NOT_EDIT", "Banco do cheque gravado não pode ser alterado.");
  m.Add("CDAGEN_NOT_EDIT", "Agência do cheque gravado não pode ser alterada.");
  m.Add("CDCONT_NOT_EDIT", "Conta corrente do cheque gravado não pode ser alterada.");
  m.Add("CHEQUE_CAD_COB",
        "Operação bloqueada. Cheque cadastrado para outra conta cobrança da empresa.");
  m.Add("CHEQUE_OUTRO_CLI", "Operação bloqueada. Cheque cadastrado para outro cliente.");
  m.Add("DESEJA_INC_CHE", "Cheque não cadastrado. Deseja incluí-lo?");
  m.Add("Val>Ch", "Valor do tipo de recebimento maior que o valor do cheque.");
  m.Add("Vr_sup_che", "Valor superior ao disponível no cheque: %s");
}

void TfrmHabContRec::attachPaymentTypes() {
  cdsTpRecBoleto.setFieldDefs(records::cdsTpRecBoleto().fields());
  auto& ev = cdsTpRecBoleto.events();
  ev.beforeInsert = [this](host::ClientDataset& ds) {
    Verifica_Acesso_Sistema(current("DTVENBOLREC").asDate());
    const std::string situation = host::AllTrim(current("IDSITUCNABR").asString());
    if (!situation.empty() && situation != "00" && situation != "01") error("BOL_ALTERADO");
    focus(grid("dbgTpRecBoleto"));
    tpRecPrimeiraLinha = ds.recordCount() == 0 && ds.changeCount() == 0;
    // Everything is given already: there is nothing left to propose.
    if (!tpRecPrimeiraLinha && vrSaldoTpRecUlt <= 0) host::Abort();
  };
  ev.onNewRecord = [this](host::ClientDataset& ds) {
    double value;
    if (tpRecPrimeiraLinha) {
      value = round2(current("VRFINALBREC").asDouble());
      vrSaldoTpRec = value;
      klTpRecValor.Clear();
      vrSaldoTpRecUlt = 0;
    } else {
      value = round2(vrSaldoTpRecUlt);
    }
    ds.fieldByName("VRTPRECBOLR").setFloat(value);
    ds.fieldByName("CDFILIAL").setValue(current("CDFILIAL"));
    ds.fieldByName("NRLANBOLREC").setValue(current("NRLANBOLREC"));
  };
  ev.beforeEdit = [this](host::ClientDataset& ds) {
    if (tpRecAjuste) return;
    VerificaStatus();
    vrTpRecAntes = ds.valueOf("VRTPRECBOLR").asDouble();
  };
  ev.beforePost = [this](host::ClientDataset& ds) {
    if (tpRecAjuste) return;
    chequeAmountApplied = 0;
    chequeTotalUsed = 0;
    const bool inserting = ds.state() == DatasetState::Insert;
    // 1.
    Vd_CdTipoRece(true);
    Vd_VrTipoRec();
    const bool cheque = cdsTipoRece.valueOf("IDTIPORECE").asString() == "3";
    const double value = round2(ds.valueOf("VRTPRECBOLR").asDouble());
    // 2.
    bool registered = false;
    if (cheque) {
      vd_ChequeRec();
      Vd_Cheque(true);
      Vd_Banco(true);
      Vd_Agencia(true);
      Vd_ContaCorr(true);
      host::ClientDataset exists("cdsExistCheque");
      exists.loadPacket(
          rpc::call(connection(),
                    rpc::GetExistCheque{.NRCHEQUERECE = trimmedOf(ds, "NRCHEQBOLREC"),
                                        .CDBANCHEQREC = trimmedOf(ds, "CDBANCBOLREC"),
                                        .CDAGECHEQREC = trimmedOf(ds, "CDAGENBOLREC"),
                                        .CDCNTCHEQREC = trimmedOf(ds, "CDCONTBOLREC")})
              .packetJson());
      registered = !exists.isEmpty();
      const std::string account = trimmedOf(exists, "CDREDUCONT");
      if (registered && !account.empty() &&
          account != host::AllTrim(current("CDREDUCONT").asString())) {
        failOn("dbgTpRecBoleto", "CHEQUE_CAD_COB");
      }
    }
    // 3.
    Vd_CdCartao();
    // 4.
    const std::string key = chequeKey(ds);
    if (cheque) {
      host::ClientDataset known("cdsValidaCheque");
      known.loadPacket(
          rpc::call(connection(),
                    rpc::GetValidaCheque{.CDCLIENTE = current("CDCLIENTE").asString(),
                                         .NRCHEQUERECE = trimmedOf(ds, "NRCHEQBOLREC"),
                                         .CDBANCHEQREC = trimmedOf(ds, "CDBANCBOLREC"),
                                         .CDAGECHEQREC = trimmedOf(ds, "CDAGENBOLREC"),
                                         .CDCNTCHEQREC = trimmedOf(ds, "CDCONTBOLREC")})
              .packetJson());
      if (known.isEmpty()) {
        if (registered) failOn("dbgTpRecBoleto", "CHEQUE_OUTRO_CLI");
        if (!klChequeNovo.Contains(key)) {
          if (!ask("DESEJA_INC_CHE")) host::Abort();
          newChequeIncluded = true;
        }
        chequeAmountApplied = value;
      } else {
        const double chequeValue = round2(known.valueOf("VRCHEQUERECE").asDouble());
        if (value > chequeValue) failOn("dbgTpRecBoleto", "Val>Ch");
        double used = 0;
        if (klChequeUso.Contains(key)) {
          used = klChequeUso.Sum(klChequeUso.IndexOf(key)).asDouble();
        } else {
          host::ClientDataset totals("cdsTotChq");
          totals.loadPacket(
              rpc::call(connection(),
                        rpc::GetTotChq{.NRCHEQUERECE = known.valueOf("NRCHEQUERECE").asString(),
                                       .CDBANCHEQREC = known.valueOf("CDBANCHEQREC").asString(),
                                       .CDAGECHEQREC = known.valueOf("CDAGECHEQREC").asString(),
                                       .CDCNTCHEQREC = known.valueOf("CDCNTCHEQREC").asString()})
                  .packetJson());
          used = round2(totals.valueOf("VRTOTCHQ").asDouble());
        }
        chequeTotalUsed = used;
        // What this row held of the cheque before its edit is free again for it.
        const double before = inserting ? 0 : round2(vrTpRecAntes);
        chequeAmountApplied = round2(value + used - before);
        if (inserting || value != before) {
          const double free = round2(chequeValue - used + before);
          if (value > free) {
            focus(grid("dbgTpRecBoleto"));
            error("Vr_sup_che", {Value(host::FormatFloat("#,##0.00", free))});
          }
        }
        klChequeUso.Remove(key);
        klChequeUso.Add(key, Value(round2(used - before + value)));
      }
    }
    if (!registered) {
      klChequeNovo.Remove(key);
      klChequeNovo.Add(key, host::KeyValue(std::vector<Value>{
                                Value(round2(chequeAmountApplied - chequeTotalUsed)),
                                ds.valueOf("DTCHEQBOLREC")}));
    }
    // 5. What is still to distribute. A new row takes the sequence after the highest: a count
    // would repeat a sequence once a row in the middle is deleted.
    std::string seq = trimmedOf(ds, "NRSEQTPRECBO");
    if (inserting) {
      int highest = 0;
      for (size_t r = 1; r <= ds.recordCount(); ++r) {
        const std::string s = host::AllTrim(ds.valueAt(r, "NRSEQTPRECBO").asString());
        if (host::IsDigits(s) && !s.empty()) highest = std::max(highest, std::stoi(s));
      }
      seq = host::Ajusta(std::to_string(highest + 1), fld::NRSEQTPRECBO.width());
      ds.fieldByName("CDFILIAL").setValue(current("CDFILIAL"));
      ds.fieldByName("NRLANBOLREC").setValue(current("NRLANBOLREC"));
      ds.fieldByName("NRSEQTPRECBO").setString(seq);
      vrSaldoTpRec = round2(vrSaldoTpRec - value);
    } else if (!klTpRecValor.Contains(seq)) {
      vrSaldoTpRec = round2(std::abs(value - round2(vrTpRecAntes)));
    } else {
      vrSaldoTpRec =
          round2(vrSaldoTpRec + klTpRecValor.Sum(klTpRecValor.IndexOf(seq)).asDouble() - value);
    }
    vrSaldoTpRecUlt = vrSaldoTpRec;
    klTpRecValor.Remove(seq);
    klTpRecValor.Add(seq, Value(value));
    // 6.
    for (const auto& def : ds.fieldDefs()) {
      if (def.type != host::FieldType::String) continue;
      const Value v = ds.valueOf(def.name);
      if (v.kind() == Value::Kind::Text && host::AllTrim(v.asString()).empty()) {
        ds.fieldByName(def.name).clear();
      }
    }
  };
  ev.afterPost = [this](host::ClientDataset& ds) {
    changedFieldList.clear();
    for (const auto& def : ds.fieldDefs()) {
      if (ds.valueOf(def.name).isNull()) changedFieldList += def.name + "_";
    }
  };
  ev.onStateChange = [this](host::ClientDataset&) { dtsTpRecBoletoStateChange(); };

  auto& g = grid("dbgTpRecBoleto");
  for (const char* f :
       {"CDTIPORECE", "VRTPRECBOLR", "CDBANCBOLREC", "NRCHEQBOLREC", "CDAGENBOLREC", "CDCONTBOLREC",
        "DTCHEQBOLREC", "CDCARTAO", "NRCARCREBOLR", "DSCHEQBOLREC"}) {
    const auto& def = records::cdsTpRecBoleto()[f];
    g.addColumn({f, def.displayLabel.empty() ? f : def.displayLabel, 64, true});
  }
  g.onColEnter = [this](const std::string& field) {
    grid("dbgTpRecBoleto").setReadOnly(!tpRecColumnEditable(field));
    if (field == "CDTIPORECE" || field == "CDCARTAO") return;
    // Leaving the type or card column checks it leniently.
    if (editing(cdsTpRecBoleto)) {
      Vd_CdTipoRece(false);
      Vd_CdCartao();
    }
  };
  g.onKeyDown = [this](host::GridKey& key, host::ShiftState shift) {
    if (key == host::GridKey::Delete && shift.ctrl && !editing(cdsTpRecBoleto)) {
      key = host::GridKey::None;
      run([this] { ExcluirTpRec(true); });
    }
  };
  for (const auto& [name, search] : {std::pair<const char*, void (TfrmHabContRec::*)()>{
                                         "btnCDTIPORECE", &TfrmHabContRec::PesquisaTipoRece},
                                     {"btnNRCHEQBOLREC", &TfrmHabContRec::PesquisaCheque},
                                     {"btnCDCARTAO", &TfrmHabContRec::PesquisaCartao}}) {
    addControl(name, host::ControlKind::Button, &control("tshTpRecBoleto")).onClick =
        [this, search] { run([this, search] { (this->*search)(); }); };
  }
}

// ------------------------------------------------------------------ checks

void TfrmHabContRec::Vd_CdTipoRece(bool mandatory) {
  auto& tp = cdsTpRecBoleto;
  if (!editing(tp)) return;
  const std::string typed = trimmedOf(tp, "CDTIPORECE");
  if (typed.empty()) {
    if (mandatory) failOn("dbgTpRecBoleto", "TIPORECE_NINF");
    return;
  }
  const std::string code = host::Ajusta(typed, fld::CDTIPORECE.width());
  tp.fieldByName("CDTIPORECE").setString(code);
  callInto(cdsTipoRece, rpc::GetTipoRece{.CDTIPORECE = code, .todos = ""});
  if (cdsTipoRece.isEmpty()) failOn("dbgTpRecBoleto", "TPRECE_NC");
  tp.fieldByName("NMTIPORECE").setValue(cdsTipoRece.valueOf("NMTIPORECE"));
  const bool cheque = cdsTipoRece.valueOf("IDTIPORECE").asString() == "3";
  if (cheque && host::AllTrim(current("CDREDUCONT").asString()).empty()) {
    failOn("dbgTpRecBoleto", "CdRed_n_inf");
  }
  if (cheque) {
    for (const char* f : {"CDCARTAO", "NMCARTAO", "NRCARCREBOLR"}) tp.fieldByName(f).clear();
  } else {
    for (const char* f : kChequeFields) tp.fieldByName(f).clear();
    tp.fieldByName("DSCHEQBOLREC").clear();
  }
}

void TfrmHabContRec::Vd_VrTipoRec() {
  if (editing(cdsTpRecBoleto) && cdsTpRecBoleto.valueOf("VRTPRECBOLR").asDouble() <= 0) {
    failOn("dbgTpRecBoleto", "VRTPRECE_NEGA");
  }
}

void TfrmHabContRec::Vd_CdCartao() {
  auto& tp = cdsTpRecBoleto;
  if (!editing(tp)) return;
  const std::string typed = trimmedOf(tp, "CDCARTAO");
  if (typed.empty()) return;
  const std::string code = host::Ajusta(typed, fld::CDCARTAO.width());
  tp.fieldByName("CDCARTAO").setString(code);
  callInto(cdsCartao, rpc::GetCartao{.CDCARTAO = code, .todos = ""});
  if (cdsCartao.isEmpty()) {
    showPage("tshTpRecBoleto");
    failOn("dbgTpRecBoleto", "CARTAO_N_CAD");
  }
  tp.fieldByName("NMCARTAO").setValue(cdsCartao.valueOf("NMCARTAO"));
}

void TfrmHabContRec::vd_ChequeRec() {
  auto& tp = cdsTpRecBoleto;
  if (!tp.active() || tp.state() != DatasetState::Edit) return;
  // The row as stored: its cheque is registered by its identity, which stays.
  host::ClientDataset read("cdsTpRecLido");
  read.loadPacket(tp.delta());
  read.cancelUpdates();
  if (!read.locate("NRSEQTPRECBO", {tp.valueOf("NRSEQTPRECBO")})) return;
  const std::pair<const char*, const char*> checks[] = {{"NRCHEQBOLREC", "NRCHEQUE_NOT_EDIT"},
                                                        {"CDBANCBOLREC", "CDBANC_NOT_EDIT"},
                                                        {"CDAGENBOLREC", "CDAGEN_NOT_EDIT"},
                                                        {"CDCONTBOLREC", "CDCONT_NOT_EDIT"}};
  for (const auto& [field, key] : checks) {
    const std::string before = trimmedOf(read, field);
    if (!before.empty() && before != trimmedOf(tp, field)) failOn("dbgTpRecBoleto", key);
  }
}

bool TfrmHabContRec::tpRecColumnEditable(std::string_view field) const {
  if (!cdsTpRecBoleto.active()) return false;
  const std::string code = trimmedOf(cdsTpRecBoleto, "CDTIPORECE");
  const bool cheque = !code.empty() && cdsTipoRece.active() && !cdsTipoRece.isEmpty() &&
                      trimmedOf(cdsTipoRece, "CDTIPORECE") == host::Ajusta(code, 3) &&
                      cdsTipoRece.valueOf("IDTIPORECE").asString() == "3";
  const bool chequeColumn = std::find(std::begin(kChequeFields), std::end(kChequeFields), field) !=
                            std::end(kChequeFields);
  if (chequeColumn) return cheque;
  if (field == "CDCARTAO" || field == "NRCARCREBOLR") return !cheque;
  if (field == "DSCHEQBOLREC") return cheque;
  return true;
}

std::string TfrmHabContRec::mascaraCheque(std::string_view field, const std::string& bank,
                                          const std::string& value) {
  if (host::AllTrim(bank).empty() || value.empty()) return value;
  qryBanco.Close();
  qryBanco.ParamByName("P_CDBANCO") = Value(host::Ajusta(host::AllTrim(bank), 3));
  qryBanco.Open();
  if (qryBanco.IsEmpty()) return value;
  const std::string mask = host::AllTrim(
      qryBanco.FieldByName(field == "CDAGENBOLREC" ? "CDPICTAGEN" : "CDPICTCONT").asString());
  if (mask.empty()) return value;
  return host::AllTrim(host::FormatMaskText(mask + ";0; ", value));
}

// ------------------------------------------------------------------ look-ups

void TfrmHabContRec::PesquisaTipoRece() {
  callInto(cdsTipoRece, rpc::GetTipoRece{.CDTIPORECE = "", .todos = "T"});
  if (cdsTipoRece.isEmpty()) error("TPRECE_NCAD");
  std::vector<std::string> items;
  for (size_t r = 1; r <= cdsTipoRece.recordCount(); ++r) {
    items.push_back(cdsTipoRece.valueAt(r, "CDTIPORECE").asString() + " - " +
                    cdsTipoRece.valueAt(r, "NMTIPORECE").asString());
  }
  const auto chosen = host::dialogs().pickList(messages().Msg("TIPORECE"), items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  if (!editing(cdsTpRecBoleto)) cdsTpRecBoleto.edit();
  cdsTpRecBoleto.fieldByName("CDTIPORECE")
      .setValue(cdsTipoRece.valueAt(static_cast<size_t>(*chosen) + 1, "CDTIPORECE"));
  Vd_CdTipoRece(false);
}

void TfrmHabContRec::PesquisaCheque() {
  callInto(cdsCheque, rpc::GetCheque{.CDCLIENTE = current("CDCLIENTE").asString()});
  if (cdsCheque.isEmpty()) error("CHQ_EMPTY");
  std::vector<std::string> items;
  for (size_t r = 1; r <= cdsCheque.recordCount(); ++r) {
    items.push_back(cdsCheque.valueAt(r, "NRCHEQUERECE").asString() + " | " +
                    cdsCheque.valueAt(r, "CDBANCHEQREC").asString() + " | " +
                    cdsCheque.valueAt(r, "CDAGECHEQREC").asString() + " | " +
                    cdsCheque.valueAt(r, "CDCNTCHEQREC").asString() + " | " +
                    host::FormatFloat("#,##0.00", cdsCheque.valueAt(r, "VRCHEQUERECE").asDouble()));
  }
  const auto chosen = host::dialogs().pickList("Cheque", items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  const size_t row = static_cast<size_t>(*chosen) + 1;
  if (!editing(cdsTpRecBoleto)) cdsTpRecBoleto.edit();
  cdsTpRecBoleto.fieldByName("NRCHEQBOLREC").setValue(cdsCheque.valueAt(row, "NRCHEQUERECE"));
  cdsTpRecBoleto.fieldByName("CDBANCBOLREC").setValue(cdsCheque.valueAt(row, "CDBANCHEQREC"));
  cdsTpRecBoleto.fieldByName("CDAGENBOLREC").setValue(cdsCheque.valueAt(row, "CDAGECHEQREC"));
  cdsTpRecBoleto.fieldByName("CDCONTBOLREC").setValue(cdsCheque.valueAt(row, "CDCNTCHEQREC"));
}

void TfrmHabContRec::PesquisaCartao() {
  callInto(cdsCartao, rpc::GetCartao{.CDCARTAO = "", .todos = "T"});
  if (cdsCartao.isEmpty()) error("CARTAO_N_CAD");
  std::vector<std::string> items;
  for (size_t r = 1; r <= cdsCartao.recordCount(); ++r) {
    items.push_back(cdsCartao.valueAt(r, "CDCARTAO").asString() + " - " +
                    cdsCartao.valueAt(r, "NMCARTAO").asString());
  }
  const auto chosen = host::dialogs().pickList("Cartao", items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  if (!editing(cdsTpRecBoleto)) cdsTpRecBoleto.edit();
  cdsTpRecBoleto.fieldByName("CDCARTAO")
      .setValue(cdsCartao.valueAt(static_cast<size_t>(*chosen) + 1, "CDCARTAO"));
  Vd_CdCartao();
}

// ------------------------------------------------------------------ commands

bool TfrmHabContRec::tpRecPendente() const {
  return editing(cdsTpRecBoleto) || (cdsTpRecBoleto.active() && cdsTpRecBoleto.changeCount() > 0);
}

void TfrmHabContRec::IncluirTpRec() {
  VerificaStatus();
  if (!cdsTpRecBoleto.active())
    BuscaTpRecBoleto(current("CDFILIAL").asString(), current("NRLANBOLREC").asString());
  if (editing(cdsTpRecBoleto)) cdsTpRecBoleto.post();
  paymentTypeRefresh = false;
  cdsTpRecBoleto.append();
}

void TfrmHabContRec::AlterarTpRec() {
  if (!cdsTpRecBoleto.active() || cdsTpRecBoleto.isEmpty()) return;
  paymentTypeRefresh = false;
  cdsTpRecBoleto.edit();
}

bool TfrmHabContRec::ExcluirTpRec(bool currentRow) {
  auto& tp = cdsTpRecBoleto;
  if (!tp.active() || tp.isEmpty()) return false;
  if (!currentRow) tp.last();
  if (!ask("Excl")) {
    if (!currentRow) CancelarTpRec();
    return false;
  }
  newChequeIncluded = false;
  if (editing(tp)) tp.cancel();
  const std::string seq = trimmedOf(tp, "NRSEQTPRECBO");
  const double removed = round2(tp.valueOf("VRTPRECBOLR").asDouble());
  klTpRecValor.Remove(seq);
  {
    host::ScopedFlag refreshing(paymentTypeRefresh);
    tp.deleteRecord();
  }
  if (tp.isEmpty()) {
    ConfirmarTpRec();
    resetTpRec();
    return true;
  }
  // The deleted value is to distribute again: the next new row proposes it.
  vrSaldoTpRec = round2(vrSaldoTpRec + removed);
  vrSaldoTpRecUlt = vrSaldoTpRec;
  {
    host::ScopedFlag adjusting(tpRecAjuste);
    tp.edit();
    klTpRecValor.Remove(trimmedOf(tp, "NRSEQTPRECBO"));
    klTpRecValor.Add(trimmedOf(tp, "NRSEQTPRECBO"),
                     Value(round2(tp.valueOf("VRTPRECBOLR").asDouble())));
    tp.post();
  }
  dtsTpRecBoletoStateChange();
  return true;
}

void TfrmHabContRec::ConfirmarTpRec() {
  auto& tp = cdsTpRecBoleto;
  if (!tp.active()) return;
  // 9.1
  if (editing(tp)) tp.post();
  // 9.2 In centavos: values that differ only beyond the second decimal are the same money.
  int64_t sum = 0;
  {
    host::FrozenDataset frozen(tp);
    for (size_t r = 1; r <= tp.recordCount(); ++r) {
      sum += std::llround(round2(tp.valueAt(r, "VRTPRECBOLR").asDouble()) * 100.0);
    }
  }
  const int64_t net = std::llround(round2(current("VRFINALBREC").asDouble()) * 100.0);
  if (tp.recordCount() > 0 && sum != net) {
    focus(grid("dbgTpRecBoleto"));
    error("VRBOL_TPRECE");
  }
  // 9.3
  if (tp.changeCount() > 0) {
    host::ClientDataset boleto("cdsBoletos");
    boleto.setFieldDefs(records::BoletoRecord().fields());
    boleto.createDataset();
    // The boleto as the register read it: the service refuses it when its value changed.
    boleto.append();
    for (const auto& def : records::BoletoRecord().fields()) {
      boleto.fieldByName(def.name).setValue(current(def.name));
    }
    boleto.post();
    std::string changed = changedFieldList;
    {
      host::WaitAnimation wait;
      rpc::call(connection(),
                rpc::SetTpRecBoleto{.DataProc = host::DataProc(host::FiliProc()),
                                    .chequeBalance = round2(chequeAmountApplied - chequeTotalUsed),
                                    .cdsBoletos = remote::Variant::packet(boleto.toPacket()),
                                    .cdsTpRecBoleto = remote::Variant::packet(tp.toPacket()),
                                    .CDREDUCONT = current("CDREDUCONT").asString(),
                                    .newChequeIncluded = newChequeIncluded,
                                    .CDFILIAL = current("CDFILIAL").asString(),
                                    .NRLANBOLREC = current("NRLANBOLREC").asString(),
                                    .changedFieldList = changed});
    }
    tp.mergeChangeLog();
    newChequeIncluded = false;
    changedFieldList = changed;
  }
  // 9.4
  paymentTypeRefresh = true;
  resetTpRec();
  dtsTpRecBoletoStateChange();
}

void TfrmHabContRec::CancelarTpRec() {
  paymentTypeRefresh = true;
  if (editing(cdsTpRecBoleto)) cdsTpRecBoleto.cancel();
  resetTpRec();
  if (cdsTpRecBoleto.active() && cdsTpRecBoleto.changeCount() > 0) cdsTpRecBoleto.cancelUpdates();
  if (listEditing()) cdsBoletos.cancel();
  dtsTpRecBoletoStateChange();
}

void TfrmHabContRec::resetTpRec() {
  vrSaldoTpRec = vrSaldoTpRecUlt = vrTpRecAntes = 0;
  chequeAmountApplied = chequeTotalUsed = 0;
  newChequeIncluded = false;
  changedFieldList.clear();
  klTpRecValor.Clear();
  klChequeUso.Clear();
  klChequeNovo.Clear();
}

void TfrmHabContRec::dtsTpRecBoletoStateChange() {
  if (!pageShown("tshTpRecBoleto")) return;
  const bool pending = tpRecPendente();
  const bool rowEditing = editing(cdsTpRecBoleto);
  const bool rows = cdsTpRecBoleto.active() && !cdsTpRecBoleto.isEmpty();
  const bool browse = hasRows() && listBrowse();
  control("mnuConfirmar").setEnabled(pending);
  control("mnuCancelar").setEnabled(pending);
  control("mnuIncluir").setEnabled(browse && !rowEditing);
  control("mnuAlterar").setEnabled(browse && !rowEditing && rows);
  control("mnuExcluir").setEnabled(browse && !rowEditing && rows);
  control("mnuFiltrar").setEnabled(!pending && cdsBoletos.active());
  control("mnuVerificar").setEnabled(!pending && browse);
  control("pnlEmpresa").setEnabled(!pending);
  // Until the rows are confirmed or cancelled the operator stays on them.
  auto& pgc = pageControl("pgcPadrao");
  for (auto* page : pgc.pages()) {
    if (page->name() != "tshTpRecBoleto") pgc.setPageEnabled(page->name(), !pending && hasRows());
  }
  if (!pending) HabPageControl();
}

}  // namespace rec
