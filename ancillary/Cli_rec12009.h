#pragma once
// The boleto directory screen: the folder into which boletos printed to files are saved.

#include <string>

#include "host/Screen.h"

namespace rec {

/// `TfrmDirBoletos`, caption "Diretório". The directory it returns is the last one picked
/// with the folder dialog (`Cli_rec12009::stDirBoletos`), never a text merely typed.
class TfrmDirBoletos final : public host::ScreenModel {
 public:
  TfrmDirBoletos();

  /// The search button: the folder dialog, starting from the field's text.
  void sbtDiretorioClick();
  /// Confirm: a blank field is refused with "Dir_Inf"; otherwise the screen closes with OK.
  void sbtConfirmarClick();
  void sbtCancelarClick();
};

/// Shows the directory screen modally and returns the directory chosen (with its trailing
/// separator), or the one chosen at an earlier call.
std::string CriaDirBoletos();
/// Installs `CriaDirBoletos` as the creator the register asks for the directory with.
void InstalaDirBoletos();

}  // namespace rec
