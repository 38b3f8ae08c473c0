#include "selimpor/Cli_rec12007.h"

#include <optional>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/ScopedFlag.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"

namespace Cli_rec12007 {
std::string stEmpresa;
std::string stCliente;
}  // namespace Cli_rec12007

namespace rec {

namespace fld = records::fld;

namespace {

TfrmSelImpor* g_instance = nullptr;

/// The screen lives from its creator's first call until it closes.
ScreenSlot<TfrmSelImpor>& slot() {
  static auto s = ScreenSlot<TfrmSelImpor>::once(&Cli_rec12007::boStCriado);
  return s;
}

}  // namespace

TfrmSelImpor::TfrmSelImpor()
    : host::ScreenModel("TfrmSelImpor", "REC12007", "Seleção de Notas Fiscais para Importação") {
  messages() = host::TMessages{
      {"Excl", "Confirma exclusão?"},
      {"CONF_MARC", "Deseja marcar todas as Notas Fiscais?"},
      {"CONF_DESMARC", "Deseja desmarcar todas as Notas Fiscais?"},
  };
  cdsSelImpor.setFieldDefs(records::cdsSelImpor().fields());
  cdsSelImpor.fieldDef(fld::NRINSJURCLIE.name).visible = false;
  cdsSelImpor.createDataset();
  cdsSelImpor.events().afterPost = [this](host::ClientDataset&) {
    if (saveOnPost_) salva();
  };

  auto& grid = addGrid("dbgSelImpor");
  grid.setDataset(&cdsSelImpor);
  for (const auto* f : {&fld::NMRAZSOCCLIE, &fld::DTEMISSAO, &fld::DOCUMENTO, &fld::NRLANCTONF,
                        &fld::VRNOTAFISC, &fld::IDIMPONFCR}) {
    const auto& def = records::cdsSelImpor()[f->name];
    grid.addColumn({f->name, f == &fld::IDIMPONFCR ? "Importar" : def.displayLabel,
                    f == &fld::NMRAZSOCCLIE ? 220 : 80, true});
  }
  grid.setDisplayRule(fld::IDIMPONFCR.name, [](const host::Value& v) {
    return std::string(v.isNull() || v.asString() != "S" ? "☐" : "☑");
  });
  grid.onDblClick = [this] { run([this] { Alterna(); }); };
  grid.onKeyPress = [this](char key) {
    if (key == ' ') run([this] { Alterna(); });
  };
  grid.onKeyDown = [](host::GridKey& key, host::ShiftState shift) {
    // Notes are flagged, never deleted here.
    if (key == host::GridKey::Delete && shift.ctrl) key = host::GridKey::None;
  };
  grid.onTitleClick = [this](const std::string& field) {
    if (field == fld::IDIMPONFCR.name) run([this] { MarcaTodas(); });
  };
  addControl("sbtVerificar", host::ControlKind::Button).onClick = [this] {
    run([this] { Atualiza_Grid(); });
  };
  addControl("sbtConfirmar", host::ControlKind::Button).onClick = [this] {
    run([this] { Confirmar(); });
  };
  addControl("sbtSair", host::ControlKind::Button).onClick = [this] { close(); };
  g_instance = this;
}

TfrmSelImpor::~TfrmSelImpor() {
  cdsSelImpor.detachEvents();
  if (g_instance == this) g_instance = nullptr;
}

TfrmSelImpor* frmSelImpor() {
  // A closed screen waits to be freed by the next call of the creator; it is gone already.
  return g_instance != nullptr && Cli_rec12007::boStCriado ? g_instance : nullptr;
}

void TfrmSelImpor::Abre() {
  ensureConnected();
  Atualiza_Grid();
}

void TfrmSelImpor::Atualiza_Grid() {
  std::optional<std::pair<std::string, std::string>> at;
  if (!cdsSelImpor.isEmpty())
    at.emplace(cdsSelImpor.valueOf(fld::CDFILIAL).asString(),
               cdsSelImpor.valueOf(fld::NRLANCTONF).asString());
  auto goBack = [&] {
    if (at)
      cdsSelImpor.locate("CDFILIAL;NRLANCTONF", {at->first, at->second}, {.caseInsensitive = true});
  };
  try {
    std::string customer = Cli_rec12007::stCliente, company = Cli_rec12007::stEmpresa;
    const remote::Variant notes =
        rpc::call(netHabContRec(), rpc::GetSelImpor{.CDCLIENTE = customer, .CDEMPRESA = company});
    host::DetachedEvents quiet(cdsSelImpor);
    loadRecordRows(notes, cdsSelImpor, records::cdsSelImpor());
  } catch (...) {
    goBack();
    throw;
  }
  goBack();
}

void TfrmSelImpor::Alterna() {
  if (cdsSelImpor.isEmpty()) return;
  if (cdsSelImpor.state() == host::DatasetState::Browse) cdsSelImpor.edit();
  auto flag = cdsSelImpor.fieldByName(fld::IDIMPONFCR.name);
  flag.setString(flag.asString() == "S" ? "N" : "S");
  cdsSelImpor.post();
}

void TfrmSelImpor::MarcaTodas() {
  if (cdsSelImpor.isEmpty()) return;
  bool someN = false;
  for (size_t r = 1; r <= cdsSelImpor.recordCount() && !someN; ++r)
    someN = cdsSelImpor.valueAt(r, fld::IDIMPONFCR).asString() == "N";
  if (!ask(someN ? "CONF_MARC" : "CONF_DESMARC")) return;
  const std::string target = someN ? "S" : "N";
  {
    host::WaitAnimation wait;
    host::ScopedFlag noSaving(saveOnPost_, false);
    const auto at = cdsSelImpor.bookmark();
    for (size_t r = 1; r <= cdsSelImpor.recordCount(); ++r) {
      if (cdsSelImpor.valueAt(r, fld::IDIMPONFCR).asString() == target) continue;
      cdsSelImpor.setRecNo(r);
      cdsSelImpor.edit();
      cdsSelImpor.fieldByName(fld::IDIMPONFCR.name).setString(target);
      cdsSelImpor.post();
    }
    cdsSelImpor.gotoBookmark(at);
  }
  // One post with the saving back on: one SetSelImpor carries every change (none at all
  // when every note was already at the target).
  if (cdsSelImpor.state() == host::DatasetState::Browse) cdsSelImpor.edit();
  cdsSelImpor.post();
}

void TfrmSelImpor::Confirmar() {
  if (cdsSelImpor.state() == host::DatasetState::Browse) cdsSelImpor.edit();
  cdsSelImpor.post();
}

void TfrmSelImpor::salva() {
  rpc::call(netHabContRec(),
            rpc::SetSelImpor{.cdsSelImpor = remote::Variant::packet(cdsSelImpor.delta())});
  cdsSelImpor.mergeChangeLog();
  Atualiza_Grid();
}

void TfrmSelImpor::onClose() {
  slot().closed();
}

void CriaSelImpNF(const std::string& company, const std::string& customer) {
  CreatorSteps<TfrmSelImpor> steps;
  bool created = false;
  steps.make = [&] {
    created = true;
    return std::make_unique<TfrmSelImpor>();
  };
  steps.copyArguments = [&](TfrmSelImpor&) {
    Cli_rec12007::stEmpresa = host::Ajusta(host::AllTrim(company), fld::CDEMPRESA.width());
    Cli_rec12007::stCliente = host::Ajusta(host::AllTrim(customer), fld::CDCLIENTE.width());
  };
  // Only the first activation reads the notes; a later call leaves them to the refresh.
  steps.prepare = [&](TfrmSelImpor& f) {
    if (created) f.Abre();
  };
  steps.show = [](TfrmSelImpor&) { return Show::Modeless; };
  runCreator(slot(), steps);
}

void InstalaSelImpor() {
  creators().CriaSelImpNF = &CriaSelImpNF;
}

}  // namespace rec
