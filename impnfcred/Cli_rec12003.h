#pragma once
// The customer's credit notes applied to one boleto as a discount: the operator selects notes
// and the adjustment type; the service books the discount and uses each note whole.

#include <cstdint>
#include <string>

#include "host/ClientDataset.h"
#include "host/KeyList.h"
#include "host/Screen.h"

namespace rec {

/// `TfrmImpNfCred`, screen code "REC12003", caption "Importar Notas Fiscais de Crédito".
class TfrmImpNfCred final : public host::ScreenModel {
 public:
  TfrmImpNfCred();

  host::ClientDataset cdsGrid{"cdsGrid"};
  /// The selected notes: `CDFILIAL` + `NRLANCTONF` with the note's value.
  host::TKeyList klSelecao;

  /// The creator's arguments: the boleto's branch and number, company, customer, net value.
  void setBoleto(std::string branch, std::string number, std::string company, std::string customer,
                 double value);
  /// The customer's notes (`GetGrid`); true when there is one.
  bool BuscaNotas();
  /// The first activation: the notes, an empty selection, confirm and search only with notes.
  void Abre();
  /// Selects the current note, or unselects it.
  void Marca();
  /// The title click on the selection column: select every note, or reload them unselected.
  void MarcaTodas();
  void Vd_CdAjuctRec(bool mandatory);
  void sbtPesqAjusteClick();
  void Confirmar();
  void Cancelar();

  /// The selection's total (absolute values, in centavos) and count.
  int64_t total() const { return total_; }
  int quantidade() const { return count_; }

 private:
  void select(bool on);
  void showTotals();
  std::string branch_, number_, company_, customer_;
  int64_t value_ = 0;
  int64_t total_ = 0;
  int count_ = 0;
  bool opened_ = false;
};

/// `NFDebitoCred`: has the customer credit notes open in the company? (The screen is made for
/// the question and not shown.)
bool NFDebitoCred(const std::string& customer, const std::string& company);
/// `CriaImpNFCred`: the credit-note screen for a boleto, modal, created once
/// (`Cli_rec12003::boStCriado`); its modal result (1: notes were booked).
int CriaImpNFCred(const std::string& branch, const std::string& number, const std::string& company,
                  const std::string& customer, double value);
/// Installs both as the entries the register's double click uses.
void InstalaImpNfCred();
/// The screen while it exists.
TfrmImpNfCred* frmImpNfCred();

}  // namespace rec
