#include "ancillary/Cli_rec12009.h"

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/Units.h"

namespace rec {

TfrmDirBoletos::TfrmDirBoletos() : host::ScreenModel("TfrmDirBoletos", "REC12009", "Diretório") {
  messages().Add("Dir_Inf", "Diretorio deve ser informado.");
  addControl("lblDiretorio", host::ControlKind::Label).setCaption("Diretório dos Arquivos");
  addControl("edtDiretorio", host::ControlKind::Edit);
  addControl("sbtDiretorio", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtDiretorioClick(); });
  };
  addControl("sbtConfirmar", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtConfirmarClick(); });
  };
  addControl("sbtCancelar", host::ControlKind::Button).onClick = [this] { sbtCancelarClick(); };
}

void TfrmDirBoletos::sbtDiretorioClick() {
  auto& field = control("edtDiretorio");
  auto picked = host::dialogs().selectFolder(caption(), field.text());
  if (!picked || picked->empty()) return;
  field.setText(*picked);
  std::string dir = *picked;
  if (dir.back() != '/') dir += '/';
  Cli_rec12009::stDirBoletos = dir;
}

void TfrmDirBoletos::sbtConfirmarClick() {
  if (host::EmptyString(control("edtDiretorio").text())) failOn("edtDiretorio", "Dir_Inf");
  setModalResult(host::mrOk);
  close();
}

void TfrmDirBoletos::sbtCancelarClick() {
  setModalResult(host::mrCancel);
  close();
}

std::string CriaDirBoletos() {
  auto slot = ScreenSlot<TfrmDirBoletos>::perCall();
  CreatorSteps<TfrmDirBoletos> steps;
  steps.hourglass = false;
  steps.make = [] { return std::make_unique<TfrmDirBoletos>(); };
  steps.show = [](TfrmDirBoletos&) { return Show::Modal; };
  runCreator(slot, steps);
  return Cli_rec12009::stDirBoletos;
}

void InstalaDirBoletos() {
  creators().CriaDirBoletos = &CriaDirBoletos;
}

}  // namespace rec
