#pragma once
// The import selection of fiscal notes: a customer's notes, each flagged to be imported into
// receivables or not; every change of a flag is saved on the service at once.

#include <string>

#include "host/ClientDataset.h"
#include "host/Screen.h"

namespace Cli_rec12007 {
/// The company and customer the screen lists; a later call of the creator replaces them.
extern std::string stEmpresa, stCliente;
}  // namespace Cli_rec12007

namespace rec {

/// `TfrmSelImpor`, screen code "REC12007", caption "Seleção de Notas Fiscais para
/// Importação". Modeless, created once (`Cli_rec12007::boStCriado`).
class TfrmSelImpor final : public host::ScreenModel {
 public:
  TfrmSelImpor();
  ~TfrmSelImpor() override;

  host::ClientDataset cdsSelImpor{"cdsSelImpor"};

  /// The first activation: the notes of the creator's customer and company.
  void Abre();
  /// Reloads the notes and goes back to the note that was current, also when the reload
  /// fails.
  void Atualiza_Grid();
  /// The current note's flag: "S" becomes "N", anything else "S"; saved at once.
  void Alterna();
  /// Flag all ("S") when some note is exactly "N", otherwise unflag all ("N"), after the
  /// question; one `SetSelImpor` carries every change.
  void MarcaTodas();
  /// Saves the current note when it is being edited.
  void Confirmar();

 protected:
  void onClose() override;

 private:
  /// The change packet of the notes, sent with `SetSelImpor`, then a refresh.
  void salva();
  bool saveOnPost_ = true;
};

/// `CriaSelImpNF`: the import selection for the company and the customer (a code of 21
/// characters). Shown modeless; a call while it is open only replaces the two codes.
void CriaSelImpNF(const std::string& company, const std::string& customer);
/// Installs `CriaSelImpNF` as the creator the register opens the screen with.
void InstalaSelImpor();
/// The screen while it is open.
TfrmSelImpor* frmSelImpor();

}  // namespace rec
