// Marking boletos in the register's list: the marked set, the selection key lists, the
// counters and totals that follow every mark, mark all and its undoing, and the print order
// of the boletos to emit.

#include "register/Marcacao.h"

#include <nlohmann/json.hpp>
#include <unordered_set>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "module/Creators.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/DisplayCodes.h"
#include "register/HabContRec.h"

namespace rec {

using host::Value;

namespace {

// The fields a mark copies into cdsMarca; the others stay empty.
const records::Field kMarcaFields[] = {
    records::fld::CDFILIAL,     records::fld::NRLANBOLREC,   records::fld::VRBOLREC,
    records::fld::DTVENBOLREC,  records::fld::IDPROTESTREC,  records::fld::VRFINALBREC,
    records::fld::NRORIGBOLREC, records::fld::IDSTATBREC,    records::fld::NRPARCBOLREC,
    records::fld::IDSITUCNABR,  records::fld::IDBOLRECALTER, records::fld::DTEMISSAO,
    records::fld::CDCLIENTE,    records::fld::CDBANCO,       records::fld::CDAGENCIA,
    records::fld::CDCONTCORR,   records::fld::CDREDUCONT,    records::fld::CDEMPRESA,
    records::fld::CDFILORIG,    records::fld::IDIMPRBOLBOL,  records::fld::VRPEMULBREC,
    records::fld::VRMULTABREC,  records::fld::VRPEMORBREC,   records::fld::VRMORDIABREC,
};

constexpr const char* kNoBudget = "Não possui orçamento";

}  // namespace

void marcaMessages(host::TMessages& m) {
  if (m.Has("Bo_Adian")) return;
  m.Add("CONF_MARC", reg::displayMessages().Msg("CONF_MARC"));
  m.Add("CONF_DESMARC", reg::displayMessages().Msg("CONF_DESMARC"));
  m.Add("Bo_Adian", "Cliente possui adiantamento em aberto. Deseja descontá-lo deste boleto?");
  m.Add("Bo_Devo", "Cliente possui devolução em aberto. Deseja descontá-la deste boleto?");
}

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> splitFields(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = list.find(';', start);
    out.push_back(host::AllTrim(list.substr(start, end == std::string::npos ? end : end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

// Walks over the list go in its order of arrival (host::SavedOrder with no fields), and the
// order comes back after. Writing a mark into a sorted list places the row again among rows
// of equal keys, and a walk by `next` would then skip rows; marks do not depend on the order.

}  // namespace

// ------------------------------------------------------------------ one boleto

void TfrmHabContRec::writeMark(const char* mark) {
  auto& ds = cdsBoletos;
  host::FrozenDataset frozen(ds);
  const bool log = ds.logChanges();
  const bool ownEdit = !listEditing();
  ds.setLogChanges(false);
  try {
    if (ownEdit) ds.edit();
    ds.fieldByName("IDMARCADO").setString(mark);
    if (ownEdit) ds.post();
  } catch (...) {
    if (ownEdit && listEditing()) ds.cancel();
    ds.setLogChanges(log);
    throw;
  }
  ds.setLogChanges(log);
}

void TfrmHabContRec::addToMarkLists() {
  const std::string key = current("CDFILIAL").asString() + current("NRLANBOLREC").asString() +
                          current("CDCLIENTE").asString();
  klMarcados.Add(key, host::KeyValue(Value(host::RoundDec(2, current("VRFINALBREC").asDouble()))));
  const Value due = current("DTVENBOLREC");
  const std::string dueKey = due.isNull() ? std::string() : due.asDate().format("dd/mm/yyyy");
  klVencimentos.Add(dueKey,
                    host::KeyValue(Value(host::RoundDec(2, current("VRBOLREC").asDouble()))));
  if (cdsOrcaFestas.active() && cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() == "S") {
    const std::string budget = host::AllTrim(current("NRORCAEVENTO").asString());
    const std::string budgetKey = budget.empty() ? kNoBudget : budget;
    // The list holds each budget once; the count keeps it while another boleto of the same
    // budget is still marked.
    if (!klOrcamentos.Contains(budgetKey)) budgetMarks_[budgetKey] = 0;
    ++budgetMarks_[budgetKey];
    klOrcamentos.Add(budgetKey, host::KeyValue(Value(0.0)));
  }
}

void TfrmHabContRec::removeFromMarkLists() {
  klMarcados.Remove(current("CDFILIAL").asString() + current("NRLANBOLREC").asString() +
                    current("CDCLIENTE").asString());
  const Value due = current("DTVENBOLREC");
  const std::string dueKey = due.isNull() ? std::string() : due.asDate().format("dd/mm/yyyy");
  if (klVencimentos.Contains(dueKey)) {
    klVencimentos.Add(dueKey,
                      host::KeyValue(Value(-host::RoundDec(2, current("VRBOLREC").asDouble()))));
    const double left = klVencimentos.Sum(klVencimentos.IndexOf(dueKey)).asDouble();
    if (host::RoundDec(2, left) == 0) klVencimentos.Remove(dueKey);
  }
  const std::string budget = host::AllTrim(current("NRORCAEVENTO").asString());
  const std::string budgetKey = budget.empty() ? kNoBudget : budget;
  if (klOrcamentos.Contains(budgetKey)) {
    if (--budgetMarks_[budgetKey] <= 0) {
      klOrcamentos.Remove(budgetKey);
      budgetMarks_.erase(budgetKey);
    }
  }
}

void TfrmHabContRec::setTotalsSilently(double total, int count) {
  markedTotal = total;
  markedCount = count;
}

bool TfrmHabContRec::VerificaDescontos() {
  if (current("IDTPCTRECEBER").asString() == "2" || current("IDSTATBREC").asString() == "E") {
    return true;
  }
  if (bMarcaGeral) return true;
  marcaMessages(messages());
  const std::string customer = current("CDCLIENTE").asString();
  const std::string rowCompany = current("CDEMPRESA").asString();
  const double value = host::RoundDec(2, current("VRFINALBREC").asDouble());
  const std::string number = current("NRLANBOLREC").asString();
  const std::string branch = current("CDFILIAL").asString();
  const auto rows = [this](const auto& m) {
    remote::Variant p = rpc::call(connection(), m);
    if (!p.isPacket())
      host::MensErro(std::string("Resposta inesperada do serviço em ") + m.method.name + ".");
    return p.packetJson().contains("rows") ? p.packetJson()["rows"].size() : size_t{0};
  };
  // The discount screen's close: the list comes back with the values the service booked, the
  // marks with it, and the boleto the operator was marking is marked, asking nothing again.
  const auto discount = [&](const char* kind) {
    if (cdsMarcaAux.fieldCount() == 0) cdsMarcaAux.setFieldDefs(records::BoletoRecord().fields());
    if (!cdsMarcaAux.active()) cdsMarcaAux.createDataset();
    cdsMarcaAux.emptyDataset();
    if (cdsMarca.active() && !cdsMarca.isEmpty()) cdsMarcaAux.copyDataFrom(cdsMarca);
    installed(creators().CriaDescAdi, "TfrmDescAdia")(value, customer, rowCompany, number, branch,
                                                      kind);
    Fitro_Locate();
    if (cdsMarcaAux.active() && !cdsMarcaAux.isEmpty()) {
      Marca_Boletos_Aux(branch, number);
      refreshMarca();
      cdsMarcaAux.emptyDataset();
    }
    if (hasRows() && current("CDFILIAL").asString() == branch &&
        current("NRLANBOLREC").asString() == number && current("IDMARCADO").asString() != "M") {
      {
        host::ScopedFlag quiet(bMarcaGeral);
        Marca_Boleto(false, 'M');
      }
      setTotals(markedTotal, markedCount);
    }
  };
  if (rows(rpc::GetAdiantamento{.CDCLIENTE = customer, .CDEMPRESA = rowCompany}) > 0 &&
      ask("Bo_Adian")) {
    discount("0");
    return false;
  }
  const bool returns =
      cdsGeralRec.active() && cdsGeralRec.valueOf("IDUTLNFDEVOLREC").asString() == "S";
  if (returns && rows(rpc::GetDevolucao{.CDEMPRESA = company(), .CDCLIENTE = customer}) > 0 &&
      ask("Bo_Devo")) {
    discount("1");
    return false;
  }
  return true;
}

void TfrmHabContRec::Marca_Boleto(bool /*fromDoubleClick*/, char mode) {
  if (!hasRows()) return;
  host::FrozenDataset frozen(cdsBoletos);
  const bool marked = current("IDMARCADO").asString() == "M";
  const double net = host::RoundDec(2, current("VRFINALBREC").asDouble());
  const bool emitted = current("IDSTATBREC").asString() == "E";
  const std::string rowKey = current("CDFILIAL").asString() + current("NRLANBOLREC").asString();
  if (!marked && (mode == 'M' || mode == 'T')) {
    // Boletos already sent to the bank ask nothing when remittance cancellation is controlled.
    const std::string cnab = current("IDSITUCNABR").asString();
    const bool controlled =
        cdsGeralRec.active() && cdsGeralRec.valueOf("IDUTCTRLCANREMR").asString() != "N";
    const bool check = !((cnab == "10" || cnab == "20") && controlled);
    if (check && !VerificaDescontos()) return;
    writeMark("M");
    if (!cdsMarca.active()) {
      if (cdsMarca.fieldCount() == 0) cdsMarca.setFieldDefs(records::BoletoRecord().fields());
      cdsMarca.createDataset();
    }
    cdsMarca.append();
    for (const records::Field& f : kMarcaFields) cdsMarca.fieldByName(f).setValue(current(f));
    cdsMarca.fieldByName("VRFINALBREC").setFloat(net);
    cdsMarca.post();
    marcaRows_[rowKey] = cdsMarca.bookmark();
    addToMarkLists();
    ++(emitted ? nMarcEmitidos : nMarcOutros);
    setTotalsSilently(host::RoundDec(2, markedTotal) + net, markedCount + 1);
  } else if (marked && (mode == 'D' || mode == 'T')) {
    writeMark("A");
    if (cdsMarca.active()) {
      // The row this screen appended, when it is still there; else look for it.
      bool found = false;
      if (auto it = marcaRows_.find(rowKey); it != marcaRows_.end()) {
        found = cdsMarca.gotoBookmark(it->second) &&
                upper(cdsMarca.valueOf("CDFILIAL").asString() +
                      cdsMarca.valueOf("NRLANBOLREC").asString()) == upper(rowKey);
        marcaRows_.erase(it);
      }
      if (!found) {
        found = cdsMarca.locate(records::kBoletoKeyFields,
                                {current("CDFILIAL"), current("NRLANBOLREC")},
                                {.caseInsensitive = true});
      }
      if (found) cdsMarca.deleteRecord();
    }
    removeFromMarkLists();
    --(emitted ? nMarcEmitidos : nMarcOutros);
    setTotalsSilently(host::RoundDec(2, markedTotal) - net, markedCount - 1);
  }
  // Mark all shows its totals and commands once, at the end.
  if (!bMarcaGeral) {
    setTotals(markedTotal, markedCount);
    Habilita();
  }
}

// ------------------------------------------------------------------ all boletos

void TfrmHabContRec::VerificaDevoAdianTBol() {
  // The service needs the keys and the customers only; the rest of each row stays here.
  nlohmann::json packet;
  packet["fields"] = nlohmann::json::array({{{"name", "CDFILIAL"}, {"type", "S"}, {"size", 4}},
                                            {{"name", "NRLANBOLREC"}, {"type", "S"}, {"size", 10}},
                                            {{"name", "CDEMPRESA"}, {"type", "S"}, {"size", 2}},
                                            {{"name", "CDCLIENTE"}, {"type", "S"}, {"size", 21}}});
  auto& rows = packet["rows"] = nlohmann::json::array();
  const size_t n = cdsBoletos.active() ? cdsBoletos.recordCount() : 0;
  const auto text = [this](size_t r, const char* f) {
    const Value v = cdsBoletos.valueAt(r, f);
    return v.isNull() ? nlohmann::json() : nlohmann::json(v.asString());
  };
  for (size_t r = 1; r <= n; ++r) {
    rows.push_back(nlohmann::json::array(
        {text(r, "CDFILIAL"), text(r, "NRLANBOLREC"), text(r, "CDEMPRESA"), text(r, "CDCLIENTE")}));
  }
  const std::string returns =
      cdsGeralRec.active() ? cdsGeralRec.valueOf("IDUTLNFDEVOLREC").asString() : std::string();
  remote::Variant answer = rpc::call(
      connection(), rpc::GetBolCliDevoAdian{.boletos = remote::Variant::packet(std::move(packet)),
                                            .IDUTLNFDEVOLREC = returns});
  if (!answer.isPacket()) host::MensErro("Resposta inesperada do serviço em GetBolCliDevoAdian.");
  if (cdsBolCliDevoAdian.active()) cdsBolCliDevoAdian.close();
  cdsBolCliDevoAdian.loadPacket(answer.packetJson());
}

void TfrmHabContRec::markAll() {
  VerificaDevoAdianTBol();
  // The boletos whose customer has an open advance or return, as a set: a look-up in the
  // dataset for each of 100,000 rows was most of the time of marking them all.
  std::unordered_set<std::string> open;
  for (size_t r = 1; r <= cdsBolCliDevoAdian.recordCount(); ++r)
    open.insert(cdsBolCliDevoAdian.valueAt(r, "CDFILIAL").asString() + '\n' +
                cdsBolCliDevoAdian.valueAt(r, "NRLANBOLREC").asString());
  try {
    host::DetachedEvents noScrollRule(cdsBoletos, &host::DatasetEvents::afterScroll);
    host::ScopedFlag marking(bMarcaGeral);
    host::WaitAnimation wait;
    host::FrozenDataset frozen(cdsBoletos);
    host::SavedOrder unsorted(cdsBoletos, "");
    cdsBoletos.first();
    while (!cdsBoletos.eof()) {
      const bool hasOpen = !open.empty() && open.count(current("CDFILIAL").asString() + '\n' +
                                                       current("NRLANBOLREC").asString()) > 0;
      if (!hasOpen || current("IDTPCTRECEBER").asString() == "2") Marca_Boleto(false, 'M');
      cdsBoletos.next();
    }
    cdsBoletos.first();
  } catch (...) {
    setTotals(markedTotal, markedCount);
    throw;
  }
  setTotals(markedTotal, markedCount);
}

void TfrmHabContRec::unmarkAll() {
  marcaRows_.clear();
  {
    host::WaitAnimation wait;
    Fitro_Locate();
  }
  if (frmFiltroHabRec() == nullptr) {
    // No filter to reload with: the marks are dropped here instead.
    Desmarca_Boletos();
    clearMarking();
  }
}

void TfrmHabContRec::Marca_Boletos_Aux(const std::string& branch, const std::string& number) {
  const auto finish = [&] {
    if (cdsBoletos.active() && !branch.empty()) {
      cdsBoletos.locate(records::kBoletoKeyFields, {Value(branch), Value(number)},
                        {.caseInsensitive = true});
    }
    marcaRows_.clear();
    if (cdsMarcaAux.active()) {
      cdsMarca.copyDataFrom(cdsMarcaAux);
    } else if (cdsMarca.active()) {
      cdsMarca.emptyDataset();
    }
    setTotals(markedTotal, markedCount);
  };
  if (hasRows() && cdsMarcaAux.active() && !cdsMarcaAux.isEmpty()) {
    std::unordered_set<std::string> saved;
    const auto mark = cdsMarcaAux.bookmark();
    for (cdsMarcaAux.first(); !cdsMarcaAux.eof(); cdsMarcaAux.next()) {
      saved.insert(upper(cdsMarcaAux.valueOf("CDFILIAL").asString() +
                         cdsMarcaAux.valueOf("NRLANBOLREC").asString()));
    }
    cdsMarcaAux.gotoBookmark(mark);
    try {
      host::FrozenDataset frozen(cdsBoletos);
      host::DetachedEvents detached(cdsBoletos);
      host::SavedOrder unsorted(cdsBoletos, "");
      for (cdsBoletos.first(); !cdsBoletos.eof(); cdsBoletos.next()) {
        if (current("IDMARCADO").asString() == "M") continue;
        if (!saved.count(
                upper(current("CDFILIAL").asString() + current("NRLANBOLREC").asString()))) {
          continue;
        }
        writeMark("M");
        addToMarkLists();
        ++(current("IDSTATBREC").asString() == "E" ? nMarcEmitidos : nMarcOutros);
        setTotalsSilently(
            host::RoundDec(2, markedTotal) + host::RoundDec(2, current("VRFINALBREC").asDouble()),
            markedCount + 1);
      }
      cdsBoletos.first();
    } catch (...) {
      finish();
      throw;
    }
  }
  finish();
}

void TfrmHabContRec::refreshMarca() {
  if (!cdsMarca.active() || cdsMarca.isEmpty() || !hasRows()) return;
  std::unordered_map<std::string, size_t> rowOf;
  rowOf.reserve(cdsBoletos.recordCount());
  for (size_t r = 1; r <= cdsBoletos.recordCount(); ++r) {
    rowOf.emplace(upper(cdsBoletos.valueAt(r, "CDFILIAL").asString() +
                        cdsBoletos.valueAt(r, "NRLANBOLREC").asString()),
                  r);
  }
  host::FrozenDataset frozen(cdsMarca);
  for (cdsMarca.first(); !cdsMarca.eof(); cdsMarca.next()) {
    auto it = rowOf.find(upper(cdsMarca.valueOf("CDFILIAL").asString() +
                               cdsMarca.valueOf("NRLANBOLREC").asString()));
    if (it == rowOf.end()) continue;
    cdsMarca.edit();
    for (const records::Field& f : kMarcaFields) {
      if (std::string_view(f.name) == "VRFINALBREC") continue;
      cdsMarca.fieldByName(f).setValue(cdsBoletos.valueAt(it->second, f));
    }
    cdsMarca.post();
  }
  cdsMarca.mergeChangeLog();
}

void TfrmHabContRec::Desmarca_Boletos() {
  if (cdsMarca.active()) cdsMarca.emptyDataset();
  marcaRows_.clear();
  if (!cdsBoletos.active()) return;
  const auto mark = cdsBoletos.bookmark();
  host::FrozenDataset frozen(cdsBoletos);
  host::DetachedEvents detached(cdsBoletos);
  try {
    host::SavedOrder unsorted(cdsBoletos, "");
    for (cdsBoletos.first(); !cdsBoletos.eof(); cdsBoletos.next()) {
      if (current("IDMARCADO").asString() == "M") writeMark("A");
    }
  } catch (...) {
    cdsBoletos.gotoBookmark(mark);
    throw;
  }
  cdsBoletos.gotoBookmark(mark);
}

void TfrmHabContRec::GravaChaveBoletosMarcados(const std::string& kind) {
  if (!cdsChaveBol.active()) {
    if (cdsChaveBol.fieldCount() == 0) {
      cdsChaveBol.setFieldDefs(records::cdsChaveBol().fields());
    }
    cdsChaveBol.createDataset();
  }
  cdsChaveBol.emptyDataset();
  const bool list = kind == "B";
  host::ClientDataset& source = list ? cdsBoletos : cdsParcelamento;
  if (!source.active()) return;
  const auto mark = source.bookmark();
  host::FrozenDataset frozen(source);
  host::DetachedEvents noScrollRule(source, &host::DatasetEvents::afterScroll);
  try {
    for (source.first(); !source.eof(); source.next()) {
      if (list && source.valueOf("IDMARCADO").asString() != "M") continue;
      cdsChaveBol.append();
      cdsChaveBol.fieldByName("CDFILIAL").setValue(source.valueOf("CDFILIAL"));
      cdsChaveBol.fieldByName("NRLANBOLREC").setValue(source.valueOf("NRLANBOLREC"));
      cdsChaveBol.post();
    }
  } catch (...) {
    source.gotoBookmark(mark);
    throw;
  }
  source.gotoBookmark(mark);
}

// ------------------------------------------------------------------ print order

void TfrmHabContRec::criaIndiceImpressao() {
  if (cdsBolEmitOrd.fieldCount() == 0)
    cdsBolEmitOrd.setFieldDefs(records::cdsBolEmitOrd().fields());
  if (!cdsBolEmitOrd.active()) cdsBolEmitOrd.createDataset();
  if (printIndexesMade_) return;
  // The list's columns as the operator arranged them, without the two last ones.
  const auto& columns = grid("dbgPadrao").columns();
  std::string fields;
  if (columns.size() >= 3) {
    for (size_t i = 0; i + 2 < columns.size(); ++i) {
      const auto& c = columns[i];
      if (!c.visible || c.field.empty()) continue;
      if (c.field == "IDMARCADO" || c.field == "NRORCAEVENTO" || c.field == "NF_ORCAMENTO" ||
          c.field == "NRSEQORCAEVE") {
        continue;
      }
      if (cdsBolEmitOrd.fieldIndex(c.field) < 0) continue;
      fields += (fields.empty() ? "" : ";") + c.field;
    }
  }
  if (!fields.empty()) cdsBolEmitOrd.addIndex({"OrdImprTela", fields});
  cdsBolEmitOrd.addIndex({"OrdImprNF", "FTR_NRNOTAFISC"});
  cdsBolEmitOrd.addIndex({"OrdImprVenc", "FTR_DTVENBOLREC"});
  cdsBolEmitOrd.addIndex({"OrdImprDupli", "FTR_NRDUPLICATA"});
  cdsBolEmitOrd.addIndex({"OrdImprVeic", "FTR_CDVIATURA"});
  printScreenOrder_ = fields;
  printIndexesMade_ = true;
}

void TfrmHabContRec::AplicaOrdemImpres() {
  if (!printIndexesMade_) criaIndiceImpressao();
  const std::string setting =
      cdsGeralRec.active() ? host::AllTrim(cdsGeralRec.valueOf("IDORDIMPRBOL").asString()) : "";
  const char code = setting.empty() ? 'T' : setting[0];
  switch (code) {
    case 'T': {
      // The order the operator chose by a column title wins over the arranged columns; only
      // the fields the emission order carries can take part.
      std::string sorted;
      const std::string listOrder = cdsBoletos.active() ? cdsBoletos.indexFieldNames() : "";
      for (const auto& f : splitFields(listOrder)) {
        if (!f.empty() && cdsBolEmitOrd.fieldIndex(f) >= 0)
          sorted += (sorted.empty() ? "" : ";") + f;
      }
      if (!sorted.empty()) {
        cdsBolEmitOrd.setIndexFieldNames(sorted);
      } else if (!printScreenOrder_.empty()) {
        cdsBolEmitOrd.setIndexName("OrdImprTela");
      }
      break;
    }
    case 'A':
      cdsBolEmitOrd.setIndexName("OrdImprVeic");
      break;
    case 'D':
      cdsBolEmitOrd.setIndexName("OrdImprDupli");
      break;
    case 'N':
      cdsBolEmitOrd.setIndexName("OrdImprNF");
      break;
    case 'V':
      cdsBolEmitOrd.setIndexName("OrdImprVenc");
      break;
    default:
      break;  // an unknown code keeps the order as it is
  }
}

}  // namespace rec
