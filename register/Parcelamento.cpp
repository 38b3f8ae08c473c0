// The "Parcelamento" page: the current boleto split into instalments. The operator lowers
// the value of the last instalment (the boleto itself, "00" before its first split) and adds
// instalments until they add up exactly to what was split; the confirmation sends them with
// SetConfirmar. The value still to distribute is kept in centavos, so a split that leaves a
// centavo out is never confirmed.

#include <cmath>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;
using host::Value;
namespace fld = records::fld;

namespace {

int64_t centavos(double v) {
  return std::llround(host::RoundDec(2, v) * 100.0);
}

// The number shown, brought to 2 digits ("1" is "01"; "100" stays).
std::string twoDigits(const std::string& text) {
  const std::string t = host::AllTrim(text);
  return t.size() >= 2 ? t : host::Ajusta(t, 2);
}

int numberOf(const std::string& text) {
  const std::string t = host::AllTrim(text);
  return !t.empty() && host::IsDigits(t) ? std::stoi(t) : 0;
}

const char* const kLockedPages[] = {"tshFolhaDados", "tshFormulario",  "tshDadosRec",
                                    "tshAjustes",    "tshProrrogacao", "tshTpRecBoleto"};

}  // namespace

void TfrmHabContRec::addParcelamentoMessages() {
  auto& m = messages();
  m.Add("BOLPOSAJ", "Boleto possui ajustes e não pode ser parcelado.");
  m.Add("ParcBaixada", "Parcela baixada não pode ser alterada.");
  m.Add("SumParcValTot", "As parcelas já somam o valor original do boleto.");
  m.Add("DTPARC_INV", "Vencimento da parcela não pode ser anterior ao da parcela anterior.");
  m.Add("ValParc>0", "Valor da parcela deve ser maior que zero.");
  m.Add("VrMinPermitido", "Valor mínimo permitido para a parcela: %s.");
  m.Add("Motiparc_ni", "Motivo do parcelamento deve ser informado.");
  m.Add("Motiparc_nc", "Motivo do parcelamento não cadastrado.");
  m.Add("Moti_Deve", "Nenhum motivo de parcelamento cadastrado.");
  m.Add("Motivo", "Motivo");
  m.Add("ParcOrigNaoExc", "A parcela original do boleto não pode ser excluída.");
  m.Add("Excl_Parc", "Confirma a exclusão da última parcela?");
  m.Add("ParcBaix", "A última parcela está baixada e não pode ser excluída.");
  m.Add("ParcEmit", "A última parcela foi emitida e não pode ser excluída.");
  m.Add("ParcJaBaix", "A parcela anterior à última está baixada: a última não pode ser excluída.");
  m.Add("ParcJaEmit", "A parcela anterior à última foi emitida: a última não pode ser excluída.");
  m.Add("BOL_NC", "Nenhum boleto marcado.");
  m.Add("CancelaBol", "Confirma o cancelamento dos boletos marcados?");
  m.Add("SEPBOLCOMP", "Boleto ligado a uma compensação não pode ser separado.");
  m.Add("BOL_NEMIT", "Boleto não está emitido.");
  m.Add("Filial_inf", "Filial de processamento não pertence à empresa.");
}

void TfrmHabContRec::attachParcelamento() {
  addParcelamentoMessages();
  auto& ev = cdsParcelamento.events();
  ev.beforeEdit = [this](host::ClientDataset&) { cdsParcelamentoBeforeEdit(); };
  ev.afterEdit = [this](host::ClientDataset&) { cdsParcelamentoAfterEdit(); };
  ev.beforeInsert = [this](host::ClientDataset&) { cdsParcelamentoBeforeInsert(); };
  ev.onNewRecord = [this](host::ClientDataset&) { cdsParcelamentoNewRecord(); };
  ev.beforePost = [this](host::ClientDataset&) { cdsParcelamentoBeforePost(); };
  ev.beforeScroll = [this](host::ClientDataset& ds) {
    if (ds.active() && !ds.isEmpty() && !ds.valueOf(fld::DTVENBOLREC).isNull())
      dtVencAnterior = ds.valueOf(fld::DTVENBOLREC).asDate();
  };
  ev.afterScroll = [this](host::ClientDataset&) { cdsParcelamentoAfterScroll(); };
  auto& grid = this->grid("dbgParcelamento");
  grid.setColumns({{fld::NRPARCBOLRECVISU.name, "Parc.", 40, true},
                   {fld::DTVENBOLREC.name, "Vencimento", 80, true},
                   {fld::VRFINALBREC.name, "Valor Líquido", 90, true},
                   {fld::CDMOTIPARC.name, "Motivo", 160, true}});
  grid.onKeyDown = [this](GridKey& key, ShiftState shift) { dbgParcelamentoKeyDown(key, shift); };
  grid.onColEnter = [this](const std::string& field) {
    // Leaving the reason column while editing checks the reason leniently.
    if (field != fld::CDMOTIPARC.name && instalmentsEditing())
      run([this] { Vd_MotivoParc(false); });
  };
  grid.onTitleClick = [this](const std::string& field) {
    if (!cdsParcelamento.active() || instalmentsEditing()) return;
    cdsParcelamento.setIndexFieldNames(
        field == fld::NRPARCBOLRECVISU.name ? std::string(fld::NRPARCBOLRECNUM.name) : field);
  };
  addControl("btnMotivoParc", host::ControlKind::Button, &control("tshParcelamento")).onClick =
      [this] { run([this] { btnMotivoParcClick(); }); };
}

bool TfrmHabContRec::instalmentsPending() const {
  return cdsParcelamento.active() && (instalmentsEditing() || cdsParcelamento.changeCount() > 0);
}

void TfrmHabContRec::failOnParcColumn(const char* field, std::string_view key,
                                      const std::vector<Value>& args) {
  auto& g = grid("dbgParcelamento");
  focus(g);
  g.setSelectedColumn(g.IndiceCol(field));
  error(key, args);
}

void TfrmHabContRec::lockForInstalments(bool lock) {
  instalmentsLocked_ = lock;
  auto& pgc = pageControl("pgcPadrao");
  for (const char* page : kLockedPages) pgc.setPageEnabled(page, !lock);
  control("pnlEmpresa").setEnabled(!lock);
}

// ------------------------------------------------------------------ editing rules

void TfrmHabContRec::cdsParcelamentoAfterScroll() {
  auto& g = grid("dbgParcelamento");
  bool editable = cdsParcelamento.active() && !cdsParcelamento.isEmpty();
  if (editable && !instalmentsEditing()) {
    // Only the last instalment (or the boleto never split) takes a change.
    const int shown = numberOf(cdsParcelamento.valueOf(fld::NRPARCBOLRECVISU).asString());
    const int rows = static_cast<int>(cdsParcelamento.recordCount());
    if (shown >= 1 && shown <= rows - 1) editable = false;
  }
  g.setReadOnly(!editable);
  control("btnMotivoParc")
      .setEnabled(editable && cdsParcelamento.valueOf(fld::IDSTATBREC).asString() != "V");
  nrParcQtde = cdsParcelamento.active() ? std::to_string(cdsParcelamento.recordCount()) : "0";
}

void TfrmHabContRec::cdsParcelamentoBeforeEdit() {
  auto& ds = cdsParcelamento;
  // A row the grid does not let the operator change is not changed from anywhere else.
  if (grid("dbgParcelamento").readOnly()) host::Abort();
  // 1.
  Verifica_Acesso_Sistema(current("DTVENBOLREC").asDate());
  VerificaSitCNAB(host::AllTrim(ds.valueOf(fld::IDSITUCNABR).asString()));
  // 2.
  const std::string status = ds.valueOf(fld::IDSTATBREC).asString();
  if (status == "E" && !ask("Bol_Emitido")) host::Abort();
  // 3.
  BuscaAjustes(ds.valueOf(fld::CDFILIAL).asString(), ds.valueOf(fld::NRLANBOLREC).asString());
  if (cdsAjBolRec.active() && !cdsAjBolRec.isEmpty()) failOnParcColumn("CDMOTIPARC", "BOLPOSAJ");
  // 4.
  if (status == "B") error("ParcBaixada");
  // 5. and 6.
  if (!instalmentsLocked_) {
    nrParcEditada = twoDigits(ds.valueOf(fld::NRPARCBOLRECVISU).asString());
    lockForInstalments(true);
  }
}

void TfrmHabContRec::cdsParcelamentoAfterEdit() {
  auto& ds = cdsParcelamento;
  nrParcAtual = twoDigits(ds.valueOf(fld::NRPARCBOLRECVISU).asString());
  if (!ds.valueOf(fld::DTVENBOLREC).isNull()) dtVencAtual = ds.valueOf(fld::DTVENBOLREC).asDate();
  if (nrParcAtual == "00") {
    // The boleto is split for the first time: it becomes instalment "01" of its own origin.
    instalmentDifference = 0;
    ds.fieldByName(fld::NRPARCBOLREC).setString("01");
    ds.fieldByName(fld::NRPARCBOLRECVISU).setString("01");
    ds.fieldByName(fld::NRPARCBOLRECNUM).setFloat(1);
    ds.fieldByName(fld::NRORIGBOLREC).setValue(current("NRLANBOLREC"));
  }
  Habilita();
}

void TfrmHabContRec::cdsParcelamentoBeforeInsert() {
  // Nothing left to distribute: no instalment to add (checked first, so a refused insert
  // leaves the numbering where it was).
  if (centavos(instalmentDifference) <= 0) error("SumParcValTot");
  const int next = numberOf(nrParcAtual) + 1;
  nrParcAtual = std::to_string(next);
  if (nrParcAtual.size() <= 2) nrParcAtual = host::Ajusta(nrParcAtual, 2);
  nrOrigAtual = cdsParcelamento.isEmpty() ? std::string()
                                          : cdsParcelamento.valueOf(fld::NRORIGBOLREC).asString();
  if (!cdsParcelamento.isEmpty() && !cdsParcelamento.valueOf(fld::DTVENBOLREC).isNull())
    dtVencAnterior = cdsParcelamento.valueOf(fld::DTVENBOLREC).asDate();
}

void TfrmHabContRec::cdsParcelamentoNewRecord() {
  auto& ds = cdsParcelamento;
  for (const auto* f : {&fld::CDFILIAL, &fld::NRLANBOLREC, &fld::CDCLIENTE, &fld::CDEMPRESA,
                        &fld::VRBOLREC, &fld::CDMOTIPARC, &fld::CDREDUCONT, &fld::IDSITUCNABR}) {
    ds.fieldByName(f->name).setValue(current(f->name));
  }
  ds.fieldByName(fld::NRORIGBOLREC).setString(nrOrigAtual);
  ds.fieldByName(fld::VRFINALBREC).setFloat(host::RoundDec(2, instalmentDifference));
  ds.fieldByName(fld::NRPARCBOLREC).setString(nrParcAtual);
  ds.fieldByName(fld::NRPARCBOLRECVISU).setString(nrParcAtual);
  ds.fieldByName(fld::NRPARCBOLRECNUM).setFloat(numberOf(nrParcAtual));
  ds.fieldByName(fld::IDSTATBREC).setString("A");
  if (dtVencAtual) ds.fieldByName(fld::DTVENBOLREC).setDate(*dtVencAtual);
  Vd_MotivoParc(false);
}

void TfrmHabContRec::cdsParcelamentoBeforePost() {
  auto& ds = cdsParcelamento;
  const bool inserting = ds.state() == DatasetState::Insert;
  const Value due = ds.valueOf(fld::DTVENBOLREC);
  // 1.
  if (dtVencAnterior && !due.isNull() && due.asDate() < *dtVencAnterior)
    failOnParcColumn("DTVENBOLREC", "DTPARC_INV");
  // 2.
  const double value =
      ds.valueOf(fld::VRFINALBREC).isNull() ? 0 : ds.valueOf(fld::VRFINALBREC).asDouble();
  if (centavos(value) <= 0) failOnParcColumn("VRFINALBREC", "ValParc>0");
  // 3. The boleto that was split keeps what its adjustments need.
  const std::string shown = twoDigits(ds.valueOf(fld::NRPARCBOLRECVISU).asString());
  const bool splitRow =
      (nrParcEditada != "00" && nrParcEditada == shown) ||
      (nrParcEditada == "00" && host::AllTrim(ds.valueOf(fld::NRPARCBOLREC).asString()) == "01");
  if (splitRow) {
    std::string b = ds.valueOf(fld::CDFILIAL).asString(),
                n = ds.valueOf(fld::NRLANBOLREC).asString();
    const double minimum =
        rpc::call(connection(),
                  rpc::VdNovoValorContas{.CDFILIAL = b, .NRLANBOLREC = n, .VRFINALBREC = value})
            .asDouble();
    if (centavos(minimum) != 0)
      failOnParcColumn("VRFINALBREC", "VrMinPermitido",
                       {Value(host::FormatFloat("#,##0.00", minimum))});
  }
  // 4. and 5.
  Vd_MotivoParc(true);
  const int64_t fresh = centavos(value);
  ds.fieldByName(fld::VRFINALBREC).setFloat(static_cast<double>(fresh) / 100.0);
  // 6. What this instalment was worth before: its value last posted, or (a first change)
  // its value as loaded; nothing for a new one.
  int64_t previous = 0;
  if (const int i = klParcValor.IndexOf(shown); i >= 0) {
    previous = centavos(klParcValor.Sum(i).asDouble());
  } else if (!inserting) {
    previous = centavos(ds.valueAt(ds.recNo(), fld::VRFINALBREC).asDouble());
  }
  const int64_t difference = centavos(instalmentDifference) + previous - fresh;
  instalmentDifference = static_cast<double>(difference) / 100.0;
  // 7.
  klParcValor.Remove(shown);
  klParcValor.Add(shown, host::KeyValue(Value(static_cast<double>(fresh) / 100.0)));
  // 8.
  if (difference < 0) failOnParcColumn("VRFINALBREC", "SomaParcIgualBolOrig");
  // 9.
  if (!inserting) {
    nrParcAtual = shown;
    if (!due.isNull()) dtVencAtual = due.asDate();
  }
  // 10.
  for (const auto& def : ds.fieldDefs()) {
    if (def.type != host::FieldType::String) continue;
    const Value v = ds.valueOf(def.name);
    if (v.kind() == Value::Kind::Text && host::AllTrim(v.asString()).empty())
      ds.fieldByName(def.name).clear();
  }
}

// ------------------------------------------------------------------ reasons

void TfrmHabContRec::Vd_MotivoParc(bool mandatory) {
  auto& ds = cdsParcelamento;
  if (!instalmentsEditing()) return;
  const std::string typed = host::AllTrim(ds.valueOf(fld::CDMOTIPARC).asString());
  if (typed.empty()) {
    if (mandatory) failOnParcColumn("CDMOTIPARC", "Motiparc_ni");
    return;
  }
  auto& g = grid("dbgParcelamento");
  const bool onReason = g.selectedColumn() >= 0 && g.selectedColumn() == g.IndiceCol("CDMOTIPARC");
  if (mandatory && !onReason) return;
  const std::string code = host::Ajusta(typed, 2);
  remote::Variant answer =
      rpc::call(connection(), rpc::GetMotivoParc{.CDMOTIPARC = code, .todos = ""});
  if (cdsMotivoParc.active()) cdsMotivoParc.close();
  remote::loadPacket(cdsMotivoParc, answer);
  if (cdsMotivoParc.isEmpty()) {
    ds.fieldByName(fld::DSMOTIPARC).clear();
    failOnParcColumn("CDMOTIPARC", "Motiparc_nc");
  }
  ds.fieldByName(fld::CDMOTIPARC).setValue(cdsMotivoParc.valueOf(fld::CDMOTIPARC));
  ds.fieldByName(fld::DSMOTIPARC).setValue(cdsMotivoParc.valueOf(fld::DSMOTIPARC));
}

void TfrmHabContRec::btnMotivoParcClick() {
  remote::Variant answer =
      rpc::call(connection(), rpc::GetMotivoParc{.CDMOTIPARC = "", .todos = "T"});
  if (cdsMotivoParc.active()) cdsMotivoParc.close();
  remote::loadPacket(cdsMotivoParc, answer);
  if (cdsMotivoParc.isEmpty()) failOnParcColumn("CDMOTIPARC", "Moti_Deve");
  std::vector<std::string> items;
  for (size_t r = 1; r <= cdsMotivoParc.recordCount(); ++r) {
    items.push_back(cdsMotivoParc.valueAt(r, fld::CDMOTIPARC).asString() + " - " +
                    cdsMotivoParc.valueAt(r, fld::DSMOTIPARC).asString());
  }
  const auto chosen = host::dialogs().pickList(messages().Msg("Motivo"), items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  const size_t row = static_cast<size_t>(*chosen) + 1;
  if (!instalmentsEditing()) cdsParcelamento.edit();
  cdsParcelamento.fieldByName(fld::CDMOTIPARC)
      .setValue(cdsMotivoParc.valueAt(row, fld::CDMOTIPARC));
  cdsParcelamento.fieldByName(fld::DSMOTIPARC)
      .setValue(cdsMotivoParc.valueAt(row, fld::DSMOTIPARC));
}

// ------------------------------------------------------------------ the grid's keys

void TfrmHabContRec::dbgParcelamentoKeyDown(GridKey& key, ShiftState shift) {
  auto& g = grid("dbgParcelamento");
  const int column = g.selectedColumn();
  const bool onNumber = column >= 0 && column == g.IndiceCol(fld::NRPARCBOLRECVISU.name);
  if (key == GridKey::Insert || (key == GridKey::Delete && (shift.ctrl || onNumber))) {
    key = GridKey::None;
    return;
  }
  const bool onDue = column >= 0 && column == g.IndiceCol(fld::DTVENBOLREC.name);
  const std::string shown =
      cdsParcelamento.active() && !cdsParcelamento.isEmpty()
          ? twoDigits(cdsParcelamento.valueOf(fld::NRPARCBOLRECVISU).asString())
          : std::string();
  if (onDue && (shown == "00" || shown == "01") && key != GridKey::Tab && key != GridKey::Left &&
      key != GridKey::Right && key != GridKey::Up && key != GridKey::Down) {
    key = GridKey::None;
    return;
  }
  if (key == GridKey::Down && cdsParcelamento.active() &&
      cdsParcelamento.recNo() == cdsParcelamento.recordCount() && instalmentsPending()) {
    key = GridKey::None;
    run([this] { IncluiParcela(); });
  }
}

void TfrmHabContRec::IncluiParcela() {
  if (!cdsParcelamento.active()) return;
  if (instalmentsEditing()) cdsParcelamento.post();
  cdsParcelamento.last();
  cdsParcelamento.append();
  Habilita();
}

// ------------------------------------------------------------------ confirm and cancel

void TfrmHabContRec::confirmaParcelamento() {
  auto& ds = cdsParcelamento;
  if (!ds.active()) return;
  if (instalmentsEditing()) ds.post();
  if (centavos(instalmentDifference) != 0) failOnParcColumn("VRFINALBREC", "SomaParcIgualBolOrig");
  if (ds.changeCount() > 0) {
    std::string branch = current("CDFILIAL").asString();
    std::string number = current("NRLANBOLREC").asString();
    std::string edited = nrParcEditada;
    const std::string origin = current("NRORIGBOLREC").asString();
    remote::Result r;
    {
      host::WaitAnimation wait;
      r = rpc::tryCall(connection(),
                       rpc::SetConfirmar{.cdsParcelamento = remote::Variant::packet(ds.toPacket()),
                                         .CDFILIAL = branch,
                                         .NRLANBOLREC = number,
                                         .NRPARCBOLRECVISU = edited,
                                         .NRORIGBOLREC = origin});
    }
    try {
      remote::CheckResultServ(r);
    } catch (const host::ServiceError& e) {
      // The change log stays: the operator corrects and confirms again, or cancels.
      if (messages().Has(e.key())) error(e.key());
      throw;
    }
    ds.mergeChangeLog();
  }
  instalmentDifference = 0;
  klParcValor.Clear();
  nrParcEditada.clear();
  lockForInstalments(false);
  cdsParcelamentoAfterScroll();
}

void TfrmHabContRec::cancelaParcelamento() {
  auto& ds = cdsParcelamento;
  if (ds.active()) {
    if (instalmentsEditing()) ds.cancel();
    ds.cancelUpdates();
  }
  instalmentDifference = 0;
  klParcValor.Clear();
  nrParcEditada.clear();
  lockForInstalments(false);
  Habilita();
  cdsParcelamentoAfterScroll();
}

// ------------------------------------------------------------------ delete

void TfrmHabContRec::ExcluiParcela() {
  if (!hasRows()) return;
  const std::string branch = current("CDFILIAL").asString();
  const std::string number = current("NRLANBOLREC").asString();
  const std::string origin = current("NRORIGBOLREC").asString();
  // Any deletion first asks whether the boleto may leave its remittance.
  VerificaSitCNAB(host::AllTrim(current("IDSITUCNABR").asString()));
  BuscaParcelas(branch, number, origin);
  if (VerificaTBolCompensado("P")) error("PARCBOLCOMP");
  if (!cdsParcelamento.active() || cdsParcelamento.recordCount() <= 1) error("ParcOrigNaoExc");
  const bool yes = ask("Excl_Parc");
  if (yes) {
    auto& ds = cdsParcelamento;
    ds.setIndexFieldNames(fld::NRPARCBOLRECNUM.name);
    ds.last();
    VerificaSitCNAB(host::AllTrim(ds.valueOf(fld::IDSITUCNABR).asString()));
    if (ds.valueOf(fld::IDSTATBREC).asString() == "B") error("ParcBaix");
    if (ds.valueOf(fld::IDSTATBREC).asString() == "E") error("ParcEmit");
    ds.prior();
    VerificaSitCNAB(host::AllTrim(ds.valueOf(fld::IDSITUCNABR).asString()));
    if (ds.valueOf(fld::IDSTATBREC).asString() == "B") error("ParcJaBaix");
    if (ds.valueOf(fld::IDSTATBREC).asString() == "E") error("ParcJaEmit");
    const std::string before = ds.valueOf(fld::CDFILIAL).asString();
    const std::string beforeNumber = ds.valueOf(fld::NRLANBOLREC).asString();
    const std::string groupOrigin = ds.valueOf(fld::NRORIGBOLREC).asString();
    remote::Result r;
    {
      host::WaitAnimation wait;
      r = rpc::tryCall(connection(), rpc::SetExclui{.CDFILIAL = before,
                                                    .NRLANBOLREC = beforeNumber,
                                                    .NRORIGBOLREC = groupOrigin});
    }
    if (cdsMarca.active()) cdsMarca.emptyDataset();
    try {
      remote::CheckResultServ(r);
    } catch (const host::ServiceError& e) {
      if (messages().Has(e.key())) error(e.key());
      throw;
    }
  }
  Fitro_Locate();
  if (hasRows()) afterScroll();
  Habilita();
  cdsParcelamentoAfterScroll();
}

}  // namespace rec
