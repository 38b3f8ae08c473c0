#include "impnfcred/Cli_rec12003.h"

#include <cmath>
#include <cstdlib>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/PickList.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"

namespace rec {

namespace fld = records::fld;
using host::Value;

namespace {

TfrmImpNfCred* g_instance = nullptr;

int64_t cents(const Value& v) {
  return v.isNull() ? 0 : std::llround(host::RoundDec(2, v.asDouble()) * 100.0);
}

std::string noteKey(const host::ClientDataset& ds) {
  return ds.valueOf(fld::CDFILIAL).asString() + ds.valueOf(fld::NRLANCTONF).asString();
}

}  // namespace

TfrmImpNfCred::TfrmImpNfCred()
    : host::ScreenModel("TfrmImpNfCred", "REC12003", "Importar Notas Fiscais de Crédito") {
  messages() = host::TMessages{
      {"CONF", "Confirma importação de notas fiscais de crédito?"},
      {"CdAjDeve", "Tipo de ajuste deve ser informado."},
      {"TipoAjuste_NaoCad", "Tipo de ajuste não cadastrado."},
      {"TipoAjuste_jaCad", "Tipo de ajuste já cadastrado para boleto."},
      {"MARCA", "Deseja marcar todas as notas fiscais?"},
      {"DESMARCA", "Deseja desmarcar todas as notas fiscais?"},
      {"AJ_INF", "Nota fiscal deve ser informada."},
      {"AJ_EXEC", "Total de notas fiscais deve ser menor que o valor do boleto."},
      {"AJ_INV", "Total de notas fiscais deve ser maior que zero."},
      {"Param_Filial", "Buscando notas fiscais de crédito..."},
  };
  cdsGrid.setFieldDefs(records::cdsGrid().fields());
  cdsGrid.createDataset();
  cdsGrid.events().beforeInsert = [](host::ClientDataset&) { host::Abort(); };
  cdsGrid.events().beforeDelete = [](host::ClientDataset&) { host::Abort(); };

  auto& noteGrid = addGrid("dbgGrid");
  noteGrid.setDataset(&cdsGrid);
  for (const auto* f : {&fld::IDCHECK, &fld::NRINSJURCLIE, &fld::NMRAZSOCCLIE, &fld::DTEMISSAO,
                        &fld::DOCUMENTO, &fld::CDFILIAL, &fld::NRLANCTONF, &fld::VRNOTAFISC}) {
    const auto& def = records::cdsGrid()[f->name];
    noteGrid.addColumn({f->name, f == &fld::IDCHECK ? "" : def.displayLabel,
                        f == &fld::IDCHECK ? 24 : (f == &fld::NMRAZSOCCLIE ? 220 : 90), true});
  }
  noteGrid.setDisplayRule(fld::IDCHECK.name, [](const Value& v) {
    return std::string(!v.isNull() && v.asString() == "M" ? "☑" : "☐");
  });
  noteGrid.onDblClick = [this] { run([this] { Marca(); }); };
  noteGrid.onKeyPress = [this](char key) {
    if (key == ' ') run([this] { Marca(); });
  };
  noteGrid.onKeyDown = [](host::GridKey& key, host::ShiftState shift) {
    if ((key == host::GridKey::Delete && shift.ctrl) || key == host::GridKey::Insert)
      key = host::GridKey::None;
  };
  noteGrid.onTitleClick = [this](const std::string& field) {
    if (field == fld::IDCHECK.name) run([this] { MarcaTodas(); });
  };

  auto& type = addControl("edtCdAjuctRec", host::ControlKind::Edit);
  type.onExit = [this] { Vd_CdAjuctRec(false); };
  type.onChange = [this] { control("lblDsAjuctRec").setText(""); };
  addControl("sbtPesqAjuste", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqAjusteClick(); });
  };
  addControl("lblDsAjuctRec", host::ControlKind::Label);
  addControl("nedTotal", host::ControlKind::Edit).setReadOnly(true);
  addControl("nedQtde", host::ControlKind::Edit).setReadOnly(true);
  auto& search = addControl("sbtPesquisar", host::ControlKind::Button);
  search.setCaption("Pesquisar");
  search.onClick = [this] {
    run([this] {
      // The host's search over the grid: the operator picks a note and the cursor goes there.
      std::vector<std::string> items;
      for (size_t r = 1; r <= cdsGrid.recordCount(); ++r)
        items.push_back(cdsGrid.valueAt(r, fld::DOCUMENTO).asString() + " - " +
                        cdsGrid.valueAt(r, fld::NMRAZSOCCLIE).asString());
      auto picked = host::dialogs().pickList(caption(), items);
      if (picked && *picked >= 0 && static_cast<size_t>(*picked) < items.size())
        cdsGrid.setRecNo(static_cast<size_t>(*picked) + 1);
    });
  };
  auto& confirm = addControl("sbtConfirmar", host::ControlKind::Button);
  confirm.setCaption("Confirmar");
  confirm.onClick = [this] { run([this] { Confirmar(); }); };
  auto& cancel = addControl("sbtCancelar", host::ControlKind::Button);
  cancel.setCaption("Cancelar");
  cancel.onClick = [this] { Cancelar(); };
  g_instance = this;
}

TfrmImpNfCred* frmImpNfCred() {
  return g_instance;
}

void TfrmImpNfCred::setBoleto(std::string branch, std::string number, std::string company,
                              std::string customer, double value) {
  branch_ = std::move(branch);
  number_ = std::move(number);
  company_ = std::move(company);
  customer_ = std::move(customer);
  value_ = cents(Value(value));
}

bool TfrmImpNfCred::BuscaNotas() {
  ensureConnected();
  std::string customer = customer_, company = company_;
  loadRecordRows(
      rpc::call(netHabContRec(), rpc::GetGrid{.CDCLIENTE = customer, .CDEMPRESA = company}),
      cdsGrid, records::cdsGrid());
  cdsGrid.mergeChangeLog();
  // The document as the grid shows it: the note, with its series when it has one.
  for (size_t r = 1; r <= cdsGrid.recordCount(); ++r) {
    cdsGrid.setRecNo(r);
    const std::string series = host::AllTrim(cdsGrid.valueOf(fld::CDSERIE).asString());
    const std::string note = cdsGrid.valueOf(fld::NRNOTAFISC).asString();
    cdsGrid.edit();
    cdsGrid.fieldByName(fld::DOCUMENTO).setString(series.empty() ? note : note + "/" + series);
    cdsGrid.post();
  }
  cdsGrid.mergeChangeLog();
  if (!cdsGrid.isEmpty()) cdsGrid.first();
  return !cdsGrid.isEmpty();
}

void TfrmImpNfCred::Abre() {
  if (opened_) return;
  opened_ = true;
  bool any = false;
  {
    host::WaitAnimation wait;
    any = BuscaNotas();
  }
  klSelecao.Clear();
  total_ = 0;
  count_ = 0;
  showTotals();
  control("sbtConfirmar").setEnabled(any);
  control("sbtPesquisar").setEnabled(any);
}

void TfrmImpNfCred::showTotals() {
  control("nedTotal").setText(host::FormatFloat("#,##0.00", static_cast<double>(total_) / 100.0));
  control("nedQtde").setText(std::to_string(count_));
}

void TfrmImpNfCred::select(bool on) {
  const std::string key = noteKey(cdsGrid);
  const Value value = cdsGrid.valueOf(fld::VRNOTAFISC);
  const int64_t amount = std::llabs(cents(value));
  cdsGrid.edit();
  cdsGrid.fieldByName(fld::IDCHECK).setString(on ? "M" : "V");
  cdsGrid.post();
  if (on) {
    klSelecao.Add(key, host::KeyValue(value));
    total_ += amount;
    ++count_;
  } else {
    klSelecao.Remove(key);
    total_ -= amount;
    --count_;
  }
  showTotals();
}

void TfrmImpNfCred::Marca() {
  if (cdsGrid.isEmpty()) return;
  select(cdsGrid.valueOf(fld::IDCHECK).asString() != "M");
}

void TfrmImpNfCred::MarcaTodas() {
  if (cdsGrid.isEmpty()) return;
  const bool selectAll = count_ == 0;
  if (!ask(selectAll ? "MARCA" : "DESMARCA")) return;
  total_ = 0;
  count_ = 0;
  klSelecao.Clear();
  if (selectAll) {
    for (size_t r = 1; r <= cdsGrid.recordCount(); ++r) {
      cdsGrid.setRecNo(r);
      select(true);
    }
    cdsGrid.first();
  } else {
    BuscaNotas();
  }
  showTotals();
}

void TfrmImpNfCred::Vd_CdAjuctRec(bool mandatory) {
  auto& field = control("edtCdAjuctRec");
  if (host::EmptyString(field.text())) {
    if (mandatory) failOn("edtCdAjuctRec", "CdAjDeve");
    return;
  }
  const std::string code = host::Ajusta(host::AllTrim(field.text()), fld::CDAJUCTREC.width());
  field.setText(code);
  auto& conn = netHabContRec();
  host::ClientDataset type("cdsTipoAjDesc");
  loadRecordRows(rpc::call(conn, rpc::GetAuxTipoAjReceber{.CDAJUCTREC = code}), type,
                 records::cdsTipoAjDesc());
  if (type.isEmpty()) failOn("edtCdAjuctRec", "TipoAjuste_NaoCad");
  control("lblDsAjuctRec").setText(type.valueOf(fld::DSAJUCTREC).asString());
  std::string branch = branch_, number = number_;
  host::ClientDataset taken("cdsExistAjuste");
  loadRecordRows(
      rpc::call(conn,
                rpc::GetExistAjuste{.CDFILIAL = branch, .NRLANBOLREC = number, .CDAJUCTREC = code}),
      taken, records::cdsExistAjuste());
  if (!taken.isEmpty()) failOn("edtCdAjuctRec", "TipoAjuste_jaCad");
}

void TfrmImpNfCred::sbtPesqAjusteClick() {
  host::ClientDataset types("cdsTipoAjDesc");
  loadRecordRows(rpc::call(netHabContRec(), rpc::GetTipoAjReceber_Saida{}), types,
                 records::cdsTipoAjDesc());
  auto code = pickCode(caption(), types, fld::CDAJUCTREC, fld::DSAJUCTREC);
  if (!code) return;
  control("edtCdAjuctRec").setText(*code);
  Vd_CdAjuctRec(false);
}

void TfrmImpNfCred::Confirmar() {
  Vd_CdAjuctRec(true);
  if (klSelecao.Count() == 0) error("AJ_INF");
  int64_t total = 0;
  for (int i = 0; i < klSelecao.Count(); ++i) total += std::llabs(cents(klSelecao.Sum(i).scalar()));
  // A total equal to the boleto's value is taken: only a greater one is refused.
  if (total > value_) error("AJ_EXEC");
  if (total <= 0) error("AJ_INV");
  if (!ask("CONF")) return;
  auto& conn = netHabContRec();
  host::WaitAnimation wait;
  for (int i = 0; i < klSelecao.Count(); ++i) {
    const std::string& key = klSelecao.Key(i);
    const std::string branch = key.substr(0, 4);
    const std::string note = key.substr(4);
    rpc::call(conn, rpc::GetUpDateNF{.NRNOTACRED = note, .NRLANCTONF = note, .CDFILIAL = branch});
  }
  std::string branch = branch_, number = number_;
  const std::string type = host::AllTrim(control("edtCdAjuctRec").text());
  rpc::call(conn, rpc::Altera{.count = static_cast<int64_t>(klSelecao.Count()),
                              .NRNOTACRED = "",
                              .NRLANCTONF = "",
                              .filialNota = "",
                              .CDFILIAL = branch,
                              .vrRestante = static_cast<double>(value_ - total) / 100.0,
                              .NRLANBOLREC = number,
                              .CDAJUCTREC = type,
                              .vrTotal = static_cast<double>(total) / 100.0,
                              .operacao = "I"});
  setModalResult(host::mrOk);
  close();
}

void TfrmImpNfCred::Cancelar() {
  setModalResult(host::mrCancel);
  close();
}

bool NFDebitoCred(const std::string& customer, const std::string& company) {
  TfrmImpNfCred* const open = g_instance;
  bool any = false;
  {
    TfrmImpNfCred probe;
    g_instance = open;
    probe.setBoleto("", "", company, customer, 0);
    any = probe.BuscaNotas();
  }
  return any;
}

int CriaImpNFCred(const std::string& branch, const std::string& number, const std::string& company,
                  const std::string& customer, double value) {
  static ScreenSlot<TfrmImpNfCred> slot =
      ScreenSlot<TfrmImpNfCred>::once(&Cli_rec12003::boStCriado);
  CreatorSteps<TfrmImpNfCred> steps;
  steps.make = [] { return std::make_unique<TfrmImpNfCred>(); };
  steps.copyArguments = [&](TfrmImpNfCred& f) {
    f.setBoleto(branch, number, company, customer, value);
  };
  steps.prepare = [](TfrmImpNfCred& f) { f.Abre(); };
  steps.show = [](TfrmImpNfCred&) { return Show::Modal; };
  return runCreator(slot, steps);
}

void InstalaImpNfCred() {
  creators().NFDebitoCred = &NFDebitoCred;
  creators().CriaImpNFCred = &CriaImpNFCred;
}

}  // namespace rec
