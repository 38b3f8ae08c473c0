#include "register/FiltroHabRec.h"

#include <fmt/format.h>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "module/Creator.h"
#include "module/ServiceOptionsStore.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::ControlKind;
using host::Value;

std::string stFiltroHabRec;

namespace {

ScreenSlot<TfrmFiltroHabRec>& filterSlot() {
  static ScreenSlot<TfrmFiltroHabRec> slot = ScreenSlot<TfrmFiltroHabRec>::once(nullptr);
  return slot;
}

// The criterion groups that a typed nosso número switches off ("Filial Origem" aside).
const char* const kGroups[] = {
    "grpCliente",  "grpNumero",    "grpFiliLanc",   "grpVencimento", "grpTipoBaixa", "grpValor",
    "grpGrupClie", "grpDuplicata", "grpContaCorr",  "grpStatus",     "grpSituacao",  "grpOrcamento",
    "grpRemessa",  "grpRetorno",   "grpProtestado", "grpEmissao",    "grpVeiculo"};

// The "Todos"/"Lista" choices with their search buttons.
struct ListCriterion {
  const char* radio;
  const char* button;
};
const ListCriterion kLists[] = {
    {"rgpCliente", "btnCliente"},     {"rgpFiliOrig", "btnFiliOrig"},
    {"rgpFiliLanc", "btnFiliLanc"},   {"rgpGrupClie", "btnGrupClie"},
    {"rgpTipoBaixa", "btnTipoBaixa"}, {"rgpDuplicata", "btnDuplicata"},
    {"rgpContaCorr", "btnContaCorr"}, {"rgpVeiculo", "btnVeiculo"},
};

const char* const kSituations[][2] = {{"chkNaoEnviado", "_00"},
                                      {"chkEnviadoErro", "_01"},
                                      {"chkEnviadoSemRetorno", "_10"},
                                      {"chkEnviadoOK", "_20"}};

std::string padded(const std::string& text, size_t n) {
  const std::string t = host::AllTrim(text);
  return t.empty() ? t : host::Ajusta(t, n);
}

}  // namespace

TfrmFiltroHabRec::TfrmFiltroHabRec(TfrmHabContRec& owner, std::shared_ptr<host::OptionsStore> store)
    : host::TfrmFiltroPadrao("TfrmFiltroHabRec", "REC12100", "Filtro de Boleto", std::move(store)),
      owner_(owner) {
  auto& m = messages();
  const std::pair<const char*, const char*> texts[] = {
      {"CLIE", "Cliente"},
      {"Clie_inf", "Cliente deve ser informado."},
      {"Cliente_Empty", "Não há cliente cadastrado."},
      {"NumeIni_inf", "Número inicial deve ser informado."},
      {"NumeFin_inf", "Número final deve ser informado."},
      {"NumeIni_menor", "Número inicial deve ser menor ou igual ao número final."},
      {"Filial", "Filial"},
      {"FiliOrig_inf", "Filial origem deve ser informada."},
      {"FiliLanc_inf", "Filial lançamento deve ser informada."},
      {"Filial_Empty", "Não há filial cadastrada."},
      {"DtVencIni_inf", "Data de vencimento inicial deve ser informada."},
      {"DtVencFin_inf", "Data de vencimento final deve ser informada."},
      {"DtVencIni_menor",
       "Data de vencimento inicial deve ser menor ou igual a data de vencimento final."},
      {"FormRec", "Tipo de Baixa"},
      {"FormRece_inf", "Tipo de baixa deve ser informada."},
      {"FormRec_Empty", "Não há tipo de baixa cadastrada."},
      {"Valor_menor", "Valor inicial deve ser menor ou igual ao valor final."},
      {"DUPLICATA", "Duplicata"},
      {"ContaCorr_Empty", "Não há conta corrente cadastrada."},
      {"CCorr_ni", "Conta Corrente deve ser informada."},
      {"Duplicata_inf", "Duplicata deve ser informada."},
      {"CCorr", "Conta Corrente"},
      {"Duplicata_Empty", "Não há duplicata cadastrada."},
      {"NrOrcaDe_inf", "Orçamento Inicial deve ser informado."},
      {"NrOrca_menor", "Orçamento inicial deve ser menor ou igual ao orçamento final."},
      {"NrOrcaAte_inf", "Orçamento final deve ser informado."},
      {"GRUPCLIE", "Grupo de Cliente"},
      {"GrupClie_Info", "Grupo de cliente deve ser informado."},
      {"DtEmisIni_menor",
       "Data de emissão inicial deve ser menor ou igual a data de emissão final."},
      {"DtEmisIni_inf", "Data de emissão inicial deve ser informada."},
      {"DtEmisFin_inf", "Data de emissão final deve ser informada."},
      {"Veic_ninf", "Veículo deve ser informado."},
      {"Viatura_Empty", "Não existem veículos cadastrados."},
      {"Viatura", "Veículo"},
      {"Data_inv", "Data inválida."},
  };
  for (const auto& [k, t] : texts) m.Add(k, t);
  buildControls();
  loadGeral();
  defaults();
  if (host::ModuFili()) {
    // Working per branch: the origin branch is the operator's own.
    control("grpFiliOrig").setEnabled(false);
    control("btnFiliOrig").setVisible(false);
    stListaFiliOrig = host::FiliProc();
  }
  confirmed_ = capture();
}

void TfrmFiltroHabRec::listCriterion(const std::string& group, const std::string& radio,
                                     const std::string& button,
                                     const std::vector<std::string>& items,
                                     void (TfrmFiltroHabRec::*search)()) {
  auto& g = addControl(group, ControlKind::Panel);
  auto& r = addControl(radio, ControlKind::Radio, &g);
  r.setItems(items);
  r.setItemIndex(0);
  auto& b = addControl(button, ControlKind::Button, &g);
  b.setEnabled(false);
  r.onChange = [this, radio, button] { control(button).setEnabled(lista(radio)); };
  b.onClick = [this, search] { run([this, search] { (this->*search)(); }); };
}

void TfrmFiltroHabRec::buildControls() {
  const std::vector<std::string> todos{"Todos", "Lista"};
  const std::vector<std::string> todas{"Todas", "Lista"};
  listCriterion("grpCliente", "rgpCliente", "btnCliente", todos,
                &TfrmFiltroHabRec::PesquisaCliente);
  addControl("edtChaveBusca", ControlKind::Edit, &control("grpCliente"));
  listCriterion("grpFiliOrig", "rgpFiliOrig", "btnFiliOrig", todas,
                &TfrmFiltroHabRec::PesquisaFiliOrig);
  listCriterion("grpFiliLanc", "rgpFiliLanc", "btnFiliLanc", todas,
                &TfrmFiltroHabRec::PesquisaFiliLanc);
  listCriterion("grpGrupClie", "rgpGrupClie", "btnGrupClie", todos,
                &TfrmFiltroHabRec::PesquisaGrupClie);
  listCriterion("grpVeiculo", "rgpVeiculo", "btnVeiculo", todas,
                &TfrmFiltroHabRec::PesquisaVeiculo);
  listCriterion("grpTipoBaixa", "rgpTipoBaixa", "btnTipoBaixa", todos,
                &TfrmFiltroHabRec::PesquisaFormRec);
  listCriterion("grpDuplicata", "rgpDuplicata", "btnDuplicata", todas,
                &TfrmFiltroHabRec::PesquisaDuplicata);
  listCriterion("grpContaCorr", "rgpContaCorr", "btnContaCorr", todas,
                &TfrmFiltroHabRec::PesquisaContaCorr);

  auto pair = [this](const char* group, const char* from, const char* to) {
    auto& g = addControl(group, ControlKind::Panel);
    addControl(from, ControlKind::Edit, &g);
    addControl(to, ControlKind::Edit, &g);
  };
  pair("grpNumero", "edtNumeIni", "edtNumeFin");
  pair("grpEmissao", "edtDtEmisIni", "edtDtEmisFin");
  pair("grpVencimento", "edtDtVencIni", "edtDtVencFin");
  pair("grpValor", "nedValorIni", "nedValorFin");
  pair("grpOrcamento", "edtNrOrcaIni", "edtNrOrcaFin");
  addControl("edtNossoNumero", ControlKind::Edit,
             &addControl("grpNossoNumero", ControlKind::Panel));
  addControl("edtNrRemessa", ControlKind::Edit, &addControl("grpRemessa", ControlKind::Panel));
  addControl("edtNrRetorno", ControlKind::Edit, &addControl("grpRetorno", ControlKind::Panel));
  auto& prot = addControl("rgpProtestado", ControlKind::Radio,
                          &addControl("grpProtestado", ControlKind::Panel));
  prot.setItems({"Ambos", "Sim", "Não"});
  auto& stat =
      addControl("rgpStatus", ControlKind::Radio, &addControl("grpStatus", ControlKind::Panel));
  stat.setItems({"Ambos", "Emitidos", "Pendentes"});
  auto& sit = addControl("grpSituacao", ControlKind::Panel);
  const char* captions[] = {"Não Enviado", "Enviado - Retorno com Erro", "Enviado - Sem Retorno",
                            "Enviado - Retorno OK"};
  for (size_t i = 0; i < 4; ++i) {
    addControl(kSituations[i][0], ControlKind::Check, &sit).setCaption(captions[i]);
  }
  addControl("sbtLimpa", ControlKind::Button).setCaption("Desfazer");
  control("sbtLimpa").onClick = [this] { run([this] { sbtLimpaClick(); }); };
  addControl("mnuLimpa", ControlKind::MenuItem).onClick = control("sbtLimpa").onClick;
  control("btfSaveOpc").onClick = [this] { run([this] { btfSaveOpcClick(); }); };
  control("btfLoadOpc").onClick = [this] { run([this] { btfLoadOpcClick(); }); };

  // Field rules while editing.
  control("edtNumeIni").onExit = [this] {
    auto& from = control("edtNumeIni");
    from.setText(padded(from.text(), 9));
    if (host::AllTrim(control("edtNumeFin").text()).empty())
      control("edtNumeFin").setText(from.text());
  };
  control("edtNumeFin").onExit = [this] {
    control("edtNumeFin").setText(padded(control("edtNumeFin").text(), 9));
  };
  for (const char* f : {"edtNrRemessa", "edtNrRetorno", "edtNrOrcaFin"}) {
    control(f).onExit = [this, f] { control(f).setText(padded(control(f).text(), 10)); };
  }
  control("edtNrOrcaIni").onExit = [this] {
    auto& from = control("edtNrOrcaIni");
    from.setText(padded(from.text(), 10));
    if (host::AllTrim(control("edtNrOrcaFin").text()).empty())
      control("edtNrOrcaFin").setText(from.text());
  };
  for (const char* f : {"edtDtEmisIni", "edtDtEmisFin", "edtDtVencIni", "edtDtVencFin"}) {
    control(f).onExit = [this, f] { checkDate(f); };
  }
  control("edtNossoNumero").onChange = [this] { nossoNumeroMode(); };
}

bool TfrmFiltroHabRec::lista(const std::string& radio) const {
  return control(radio).itemIndex() == 1;
}

std::map<std::string, std::string*> TfrmFiltroHabRec::listRefs() {
  return {{"stListaClie", &stListaClie},    {"stClieBusca", &stClieBusca},
          {"stChaveBusca", &stChaveBusca},  {"stFiliOrig", &stListaFiliOrig},
          {"stFiliLanc", &stListaFiliLanc}, {"stListaGrupClie", &stListaGrupClie},
          {"stTipoPag", &stListaFormRec},   {"stDuplicata", &stListaDupl},
          {"stContaCorr", &stListaCCorr},   {"stCdviatura", &stListaVeic}};
}

TfrmFiltroHabRec::State TfrmFiltroHabRec::capture() const {
  State s;
  for (const auto& name : controlNames()) {
    const auto& c = control(name);
    switch (c.kind()) {
      case ControlKind::Edit:
        s.text[name] = c.text();
        break;
      case ControlKind::Check:
        s.checked[name] = c.checked();
        break;
      case ControlKind::Radio:
        s.item[name] = c.itemIndex();
        break;
      default:
        break;
    }
  }
  for (const auto& [k, v] : const_cast<TfrmFiltroHabRec*>(this)->listRefs()) s.lists[k] = *v;
  return s;
}

void TfrmFiltroHabRec::restore(const State& s) {
  for (const auto& [n, t] : s.text) control(n).setText(t);
  for (const auto& [n, c] : s.checked) control(n).setChecked(c);
  for (const auto& [n, i] : s.item) control(n).setItemIndex(i);
  for (auto& [k, v] : listRefs()) {
    if (auto it = s.lists.find(k); it != s.lists.end()) *v = it->second;
  }
  for (const auto& l : kLists) control(l.button).setEnabled(lista(l.radio));
  if (host::ModuFili()) control("btnFiliOrig").setVisible(false);
  nossoNumeroMode();
}

void TfrmFiltroHabRec::loadGeral() {
  auto& conn = owner_.connection();
  remote::Variant p = rpc::call(conn, rpc::GetGeral_Rec{});
  if (cdsGeral_Rec.active()) cdsGeral_Rec.close();
  cdsGeral_Rec.loadPacket(p.packetJson());
}

void TfrmFiltroHabRec::defaults() {
  for (const auto& l : kLists) {
    if (host::ModuFili() && std::string(l.radio) == "rgpFiliOrig") continue;
    control(l.radio).setItemIndex(0);
    control(l.button).setEnabled(false);
  }
  for (const char* f :
       {"edtNumeIni", "edtNumeFin", "edtNossoNumero", "edtNrOrcaIni", "edtNrOrcaFin",
        "edtNrRemessa", "edtNrRetorno", "edtDtEmisIni", "edtDtEmisFin", "edtChaveBusca"}) {
    control(f).setText({});
  }
  control("nedValorIni").setText("0,00");
  control("nedValorFin").setText("0,00");
  const host::DateTime today = host::DataProc();
  const int before = static_cast<int>(cdsGeral_Rec.valueOf("QTDIAANTBOLR").asInteger());
  const int after = static_cast<int>(cdsGeral_Rec.valueOf("QTDIAAPOBOLR").asInteger());
  control("edtDtVencIni").setText(today.addDays(-before).format("dd/mm/yyyy"));
  control("edtDtVencFin").setText(today.addDays(after).format("dd/mm/yyyy"));
  control("rgpStatus").setItemIndex(0);
  control("rgpProtestado").setItemIndex(0);
  for (const auto& s : kSituations) control(s[0]).setChecked(false);
  const bool budgets = owner_.cdsOrcaFestas.active() &&
                       owner_.cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() == "S";
  control("grpOrcamento").setVisible(budgets);
  nossoNumeroMode();
}

void TfrmFiltroHabRec::nossoNumeroMode() {
  const bool byNumber = !host::AllTrim(control("edtNossoNumero").text()).empty();
  for (const char* g : kGroups) control(g).setEnabled(!byNumber);
  if (!host::ModuFili()) control("grpFiliOrig").setEnabled(!byNumber);
  if (!byNumber) {
    for (const auto& l : kLists) control(l.button).setEnabled(lista(l.radio));
  }
}

void TfrmFiltroHabRec::FormShow() {
  // What was typed and then cancelled is forgotten.
  restore(confirmed_);
}

std::optional<host::DateTime> TfrmFiltroHabRec::dateOf(const std::string& controlName) const {
  const std::string t = host::AllTrim(control(controlName).text());
  if (t.empty() || t == "/  /" || t == "__/__/____") return std::nullopt;
  return host::DateTime::parse(t, "dd/mm/yyyy");
}

void TfrmFiltroHabRec::checkDate(const std::string& controlName) {
  const std::string t = host::AllTrim(control(controlName).text());
  if (t.empty() || t == "/  /" || t == "__/__/____") return;
  if (!host::DateTime::parse(t, "dd/mm/yyyy")) failOn(controlName, "Data_inv");
}

double TfrmFiltroHabRec::valueOf(const std::string& controlName) const {
  const std::string t = host::AllTrim(control(controlName).text());
  return t.empty() ? 0 : host::StrToFloatDef(t, 0);
}

char TfrmFiltroHabRec::KeyPress(const std::string& controlName, char key) {
  if (key == '-') return '\0';
  if (controlName == "nedValorIni" || controlName == "nedValorFin") {
    const auto& t = control(controlName).text();
    return host::MaxNumber(t, key, t.size(), 0, 10, 2);
  }
  return key;
}

std::string TfrmFiltroHabRec::situationText() const {
  std::string s;
  for (const auto& sit : kSituations) {
    if (control(sit[0]).checked()) s += sit[1];
  }
  return s;
}

// ------------------------------------------------------------------ searches

void TfrmFiltroHabRec::PesquisaCliente() {
  qryCliente.Close();
  qryCliente.ParamByName("P_CDGRUPCLIE") = Value(stListaGrupClie);
  qryCliente.ParamByName("P_TCDGRUPCLIE") = Value(lista("rgpGrupClie") ? "" : "T");
  qryCliente.Open();
  if (qryCliente.IsEmpty()) error("Cliente_Empty");
  auto picked =
      host::PesquisaLista(qryCliente.dataset(), "CDCLIENTE", messages().Msg("CLIE"), stListaClie);
  if (!picked) return;
  stListaClie = *picked;
  stChaveBusca = host::AllTrim(control("edtChaveBusca").text());
  stClieBusca.clear();
  if (!stChaveBusca.empty()) {
    std::string key = stChaveBusca;
    remote::Variant found = rpc::call(owner_.connection(), rpc::GetBuscaCliente{.key = key});
    host::ClientDataset codes("cdsBuscaCliente");
    codes.loadPacket(found.packetJson());
    codes.first();
    while (!codes.eof()) {
      stClieBusca += "_" + codes.valueOf("CDCLIENTE").asString();
      codes.next();
    }
  }
}

void TfrmFiltroHabRec::PesquisaFiliOrig() {
  qryFilial.Close();
  qryFilial.Open();
  if (qryFilial.IsEmpty()) error("Filial_Empty");
  if (auto p = host::PesquisaLista(qryFilial.dataset(), "CDFILIAL", messages().Msg("Filial"),
                                   stListaFiliOrig)) {
    stListaFiliOrig = *p;
  }
}

void TfrmFiltroHabRec::PesquisaFiliLanc() {
  qryFilial.Close();
  qryFilial.Open();
  if (qryFilial.IsEmpty()) error("Filial_Empty");
  if (auto p = host::PesquisaLista(qryFilial.dataset(), "CDFILIAL", messages().Msg("Filial"),
                                   stListaFiliLanc)) {
    stListaFiliLanc = *p;
  }
}

void TfrmFiltroHabRec::PesquisaGrupClie() {
  qryGrupClie.Close();
  qryGrupClie.Open();
  if (auto p =
          host::PesquisaListaMsg(qryGrupClie.dataset(), "CDGRUPCLIE", messages().Msg("GRUPCLIE"),
                                 messages().Msg("GrupClie_Info"), stListaGrupClie)) {
    stListaGrupClie = *p;
  }
}

void TfrmFiltroHabRec::PesquisaFormRec() {
  remote::Variant p = rpc::call(owner_.connection(), rpc::GetFormRec{});
  if (cdsFormRec.active()) cdsFormRec.close();
  cdsFormRec.loadPacket(p.packetJson());
  if (auto picked = host::PesquisaListaMsg(cdsFormRec, "CDTPBAIXAREC", messages().Msg("FormRec"),
                                           messages().Msg("FormRec_Empty"), stListaFormRec)) {
    stListaFormRec = *picked;
  }
}

void TfrmFiltroHabRec::PesquisaDuplicata() {
  const auto from = dateOf("edtDtVencIni");
  const auto to = dateOf("edtDtVencFin");
  remote::Variant p =
      rpc::call(owner_.connection(),
                rpc::GetDuplicata{.CDEMPRESA = owner_.company(), .dueFrom = from, .dueTo = to});
  if (cdsDuplicata.active()) cdsDuplicata.close();
  cdsDuplicata.loadPacket(p.packetJson());
  if (cdsDuplicata.isEmpty()) error("Duplicata_Empty");
  cdsDuplicata.setIndexFieldNames("NRDUPLICATA");
  if (auto picked = host::PesquisaLista(cdsDuplicata, "NRDUPLICATA", messages().Msg("DUPLICATA"),
                                        stListaDupl)) {
    stListaDupl = *picked;
  }
}

void TfrmFiltroHabRec::PesquisaContaCorr() {
  qryContCorr.Close();
  qryContCorr.ParamByName("P_CDREDUCONT") = Value("");
  qryContCorr.ParamByName("P_TCDREDUCONT") = Value("T");
  qryContCorr.Open();
  if (qryContCorr.IsEmpty()) error("ContaCorr_Empty");
  if (auto p = host::PesquisaLista(qryContCorr.dataset(), "CDREDUCONT", messages().Msg("CCorr"),
                                   stListaCCorr)) {
    stListaCCorr = *p;
  }
}

void TfrmFiltroHabRec::PesquisaVeiculo() {
  remote::Variant p = rpc::call(owner_.connection(), rpc::GetVeiculo{});
  if (cdsVeiculo.active()) cdsVeiculo.close();
  cdsVeiculo.loadPacket(p.packetJson());
  if (auto picked = host::PesquisaListaMsg(cdsVeiculo, "CDVIATURA", messages().Msg("Viatura"),
                                           messages().Msg("Viatura_Empty"), stListaVeic)) {
    stListaVeic = *picked;
  }
}

// ------------------------------------------------------------------ commands

void TfrmFiltroHabRec::sbtConfirmaClick() {
  const bool byNumber = !host::AllTrim(control("edtNossoNumero").text()).empty();
  if (!byNumber) {
    for (const char* f : {"edtDtEmisIni", "edtDtEmisFin", "edtDtVencIni", "edtDtVencFin"})
      checkDate(f);
    if (!lista("rgpCliente")) stListaClie.clear(), stClieBusca.clear(), stChaveBusca.clear();
    if (!lista("rgpFiliLanc")) stListaFiliLanc.clear();
    if (!lista("rgpGrupClie")) stListaGrupClie.clear();
    if (!lista("rgpTipoBaixa")) stListaFormRec.clear();
    if (!lista("rgpDuplicata")) stListaDupl.clear();
    if (!lista("rgpContaCorr")) stListaCCorr.clear();
    if (!lista("rgpVeiculo")) stListaVeic.clear();
    if (host::ModuFili()) {
      stListaFiliOrig = host::FiliProc();
    } else if (!lista("rgpFiliOrig")) {
      stListaFiliOrig.clear();
    }
    auto& numIni = control("edtNumeIni");
    auto& numFin = control("edtNumeFin");
    if (host::AllTrim(numFin.text()).empty()) numFin.setText(numIni.text());

    if (lista("rgpGrupClie") && stListaGrupClie.empty()) failOn("btnGrupClie", "GrupClie_Info");
    if (lista("rgpCliente") && stListaClie.empty()) failOn("btnCliente", "Clie_inf");
    if (!host::ModuFili() && lista("rgpFiliOrig") && stListaFiliOrig.empty()) {
      failOn("btnFiliOrig", "FiliOrig_inf");
    }
    if (lista("rgpFiliLanc") && stListaFiliLanc.empty()) failOn("btnFiliLanc", "FiliLanc_inf");
    if (lista("rgpVeiculo") && stListaVeic.empty()) failOn("btnVeiculo", "Veic_ninf");
    const std::string nIni = host::AllTrim(numIni.text());
    const std::string nFin = host::AllTrim(numFin.text());
    if (nIni.empty() && !nFin.empty()) failOn("edtNumeIni", "NumeIni_inf");
    if (!nIni.empty() && !nFin.empty() && host::Ajusta(nIni, 9) > host::Ajusta(nFin, 9)) {
      failOn("edtNumeIni", "NumeIni_menor");
    }
    if (nFin.empty() && !nIni.empty()) failOn("edtNumeFin", "NumeFin_inf");
    const auto emIni = dateOf("edtDtEmisIni");
    const auto emFin = dateOf("edtDtEmisFin");
    if (!emIni && emFin) failOn("edtDtEmisIni", "DtEmisIni_inf");
    if (emIni && !emFin) failOn("edtDtEmisFin", "DtEmisFin_inf");
    if (emIni && emFin && *emIni > *emFin) failOn("edtDtEmisIni", "DtEmisIni_menor");
    const auto vIni = dateOf("edtDtVencIni");
    const auto vFin = dateOf("edtDtVencFin");
    if (!vIni && vFin) failOn("edtDtVencIni", "DtVencIni_inf");
    if (vIni && !vFin) failOn("edtDtVencFin", "DtVencFin_inf");
    if (vIni && vFin && *vIni > *vFin) failOn("edtDtVencIni", "DtVencIni_menor");
    if (lista("rgpTipoBaixa") && stListaFormRec.empty()) failOn("btnTipoBaixa", "FormRece_inf");
    if (lista("rgpDuplicata") && stListaDupl.empty()) failOn("btnDuplicata", "Duplicata_inf");
    if (lista("rgpContaCorr") && stListaCCorr.empty()) failOn("btnContaCorr", "CCorr_ni");
    for (const char* f : {"nedValorIni", "nedValorFin"}) {
      if (host::AllTrim(control(f).text()).empty()) control(f).setText("0,00");
    }
    if (valueOf("nedValorFin") < valueOf("nedValorIni")) failOn("nedValorIni", "Valor_menor");
    control("edtNrRemessa").setText(padded(control("edtNrRemessa").text(), 10));
    control("edtNrRetorno").setText(padded(control("edtNrRetorno").text(), 10));
    if (owner_.cdsOrcaFestas.active() &&
        owner_.cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() == "S") {
      auto& oIni = control("edtNrOrcaIni");
      auto& oFin = control("edtNrOrcaFin");
      const std::string a = host::AllTrim(oIni.text());
      if (a.empty() && !host::AllTrim(oFin.text()).empty()) failOn("edtNrOrcaIni", "NrOrcaDe_inf");
      if (host::AllTrim(oFin.text()).empty()) oFin.setText(oIni.text());
      const std::string b = host::AllTrim(oFin.text());
      const size_t width = records::fld::NRORCAEVENTO.width();
      if (!a.empty() && !b.empty() && host::Ajusta(a, width) > host::Ajusta(b, width)) {
        failOn("edtNrOrcaIni", "NrOrca_menor");
      }
      if (b.empty() && !a.empty()) failOn("edtNrOrcaFin", "NrOrcaAte_inf");
    }
  }

  // The run: nothing of the register changes unless the service answered.
  host::WaitAnimation wait;
  auto& reg = owner_;
  auto& conn = reg.connection();
  std::string situation = situationText();
  std::string selList = Cli_rec12000::stLista;
  std::string dupl = stListaDupl;
  remote::Variant listName = rpc::call(conn, rpc::InsLista{.invoices = dupl, .stLista = selList});
  Cli_rec12000::stLista = listName.asString();
  selList = Cli_rec12000::stLista;
  std::string clie = stListaClie, busca = stClieBusca, chave = stChaveBusca, lanc = stListaFiliLanc,
              tipo = stListaFormRec, sim = stFiltroHabRec, ccorr = stListaCCorr,
              orig = stListaFiliOrig, grup = stListaGrupClie, veic = stListaVeic;
  remote::Variant rows = rpc::call(
      conn, rpc::Filtro{
                .CDEMPRESA = reg.company(),
                .FiliProc = host::FiliProc(),
                .CDNOSNUMREC = host::AllTrim(control("edtNossoNumero").text()),
                .clientList = clie,
                .clientListOn = lista("rgpCliente"),
                .clientsFound = busca,
                .clientSearchKey = chave,
                .documentFrom = padded(control("edtNumeIni").text(), 9),
                .documentTo = padded(control("edtNumeFin").text(), 9),
                .postingBranchListOn = lista("rgpFiliLanc"),
                .postingBranchList = lanc,
                .dueFrom = dateOf("edtDtVencIni"),
                .dueTo = dateOf("edtDtVencFin"),
                .writeOffTypeListOn = lista("rgpTipoBaixa"),
                .writeOffTypeList = tipo,
                .valueFrom = valueOf("nedValorIni"),
                .valueTo = valueOf("nedValorFin"),
                .filterMark = sim,
                .invoiceListOn = lista("rgpDuplicata"),
                .accountListOn = lista("rgpContaCorr"),
                .invoiceList = dupl,
                .accountList = ccorr,
                .gridLayout = remote::Variant::packet(reg.cdsVisualiza.active()
                                                          ? reg.cdsVisualiza.toPacket()
                                                          : host::ClientDataset().toPacket()),
                .stLista = selList,
                .originBranchList = orig,
                .statusIndex = control("rgpStatus").itemIndex(),
                .protestIndex = control("rgpProtestado").itemIndex(),
                .budgetFrom = padded(control("edtNrOrcaIni").text(), 10),
                .budgetTo = padded(control("edtNrOrcaFin").text(), 10),
                .ModuFili = host::ModuFili(),
                .clientGroupList = grup,
                .situation = situation,
                .NRCNABRECREM = host::AllTrim(control("edtNrRemessa").text()),
                .NRCNABRECRET = host::AllTrim(control("edtNrRetorno").text()),
                .emissionFrom = dateOf("edtDtEmisIni"),
                .emissionTo = dateOf("edtDtEmisFin"),
                .vehicleList = veic,
            });
  if (!rows.isPacket()) host::MensErro("Resposta inesperada do serviço ao filtrar os boletos.");

  loadRecordRows(rows, reg.cdsBoletos, records::BoletoRecord());
  reg.cdsBoletos.setIndexFieldNames("FTR_PARCNUM");
  reg.cdsBoletos.first();
  if (reg.cdsMarca.active()) {
    reg.cdsMarca.emptyDataset();
  } else {
    reg.cdsMarca.setFieldDefs(records::BoletoRecord().fields());
    reg.cdsMarca.createDataset();
  }
  reg.setTotals(0, 0);
  setModalResult(host::mrOk);
  close();
  confirmed_ = capture();
}

void TfrmFiltroHabRec::sbtLimpaClick() {
  loadGeral();
  defaults();
}

void TfrmFiltroHabRec::btfSaveOpcClick() {
  for (auto& [k, v] : listRefs()) optionValues()[k] = *v;
  SaveOptions();
}

void TfrmFiltroHabRec::btfLoadOpcClick() {
  if (!LoadOptions()) return;
  for (auto& [k, v] : listRefs()) {
    auto it = optionValues().find(k);
    *v = it == optionValues().end() ? std::string() : it->second;
  }
  for (const auto& l : kLists) control(l.button).setEnabled(lista(l.radio));
  nossoNumeroMode();
}

// ------------------------------------------------------------------ creator

TfrmFiltroHabRec* frmFiltroHabRec() {
  return filterSlot().instance();
}

void releaseFiltroHabRec() {
  filterSlot().release();
}

int CriaFiltroHabRec(const std::string& mode) {
  TfrmHabContRec* reg = frmHabContRec();
  BOLETO_CHECK(reg != nullptr, "the register filter needs the register");
  stFiltroHabRec = "Sim";
  auto& slot = filterSlot();
  CreatorSteps<TfrmFiltroHabRec> steps;
  steps.make = [reg] {
    return std::make_unique<TfrmFiltroHabRec>(*reg, std::make_shared<ServiceOptionsStore>());
  };
  steps.prepare = [reg](TfrmFiltroHabRec& f) {
    // The budget option may have changed since the filter was made.
    remote::Variant p = rpc::call(reg->connection(), rpc::GetOrcaFestas{});
    if (reg->cdsOrcaFestas.active()) reg->cdsOrcaFestas.close();
    reg->cdsOrcaFestas.loadPacket(p.packetJson());
    f.control("grpOrcamento")
        .setVisible(reg->cdsOrcaFestas.valueOf("IDEXIBDADORC").asString() == "S");
    f.FormShow();
  };
  int result = host::mrNone;
  if (mode == "ESCONDE_FILTRO") {
    steps.show = [](TfrmFiltroHabRec&) { return Show::NotShown; };
    runCreator(slot, steps);
    auto* f = slot.instance();
    // Unseen: the operator cannot answer; a refusal propagates to the caller.
    f->sbtConfirmaClick();
    result = f->modalResult();
  } else {
    steps.show = [](TfrmFiltroHabRec& f) {
      f.setModalResult(host::mrNone);
      f.markShown();
      return Show::Modal;
    };
    result = runCreator(slot, steps);
  }
  return result;
}

}  // namespace rec
