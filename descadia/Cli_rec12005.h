#pragma once
// The discount of one boleto by the credits its customer holds: advances paid before the sale
// or goods returned. The operator chooses credits and how much of each, and the adjustment
// type; the service books the discount and consumes exactly what was used.

#include <cstdint>
#include <string>

#include "host/ClientDataset.h"
#include "host/Screen.h"

namespace rec {

/// `TfrmDescAdia`, screen code "REC12005": "Descontar Adiantamento" (page "0") or "Descontar
/// Devolução" (page "1").
class TfrmDescAdia final : public host::ScreenModel {
 public:
  TfrmDescAdia();

  host::ClientDataset cdsContaAd{"cdsContaAd"};
  host::ClientDataset cdsVenda{"cdsVenda"};

  /// The creator's arguments: the boleto's net value (rounded to 2 decimals), customer,
  /// company, number, branch, and the page ("0" advances, "1" devolutions).
  void setBoleto(double value, std::string customer, std::string company, std::string number,
                 std::string branch, std::string page);
  bool advances() const { return page_ == "0"; }
  /// The dataset of the page: `cdsContaAd` or `cdsVenda`.
  host::ClientDataset& credits() { return advances() ? cdsContaAd : cdsVenda; }

  /// Opening: the page's credits, the total available, the customer of the first row.
  void Abre();
  /// Chooses the current credit with all it has available, or unchooses it; posted at once.
  void Marca();
  /// The adjustment type field: blank refused only when `mandatory`.
  void Vd_CdAjuctRec(bool mandatory);
  /// Picks a discount type of the page's kind.
  void sbtPesqAjusteClick();
  void Confirmar();

  /// "Valor a descontar" and the total available, in centavos.
  int64_t valorDescontar() const { return descontar_; }
  int64_t totalDisponivel() const { return disponivel_; }

 private:
  const char* availableField() const;
  void beforePost();
  void afterPost();
  void showTotals();

  std::string customer_, company_, number_, branch_, page_ = "0";
  int64_t value_ = 0;       ///< the boleto's net value
  int64_t disponivel_ = 0;  ///< the total available, summed once at opening
  int64_t descontar_ = 0;   ///< "Valor a descontar"
  int64_t before_ = 0;      ///< the edited row's value before the edit
  bool toggling_ = false;
};

/// `CriaDescAdi`: the discount screen for a boleto, modal, created once
/// (`Cli_rec12005::boStCriado`); its modal result (1: the discount was booked).
int CriaDescAdi(double value, const std::string& customer, const std::string& company,
                const std::string& number, const std::string& branch, const std::string& kind);
/// Installs `CriaDescAdi` as the creator marking opens the screen with.
void InstalaDescAdia();
/// The screen while it exists.
TfrmDescAdia* frmDescAdia();

}  // namespace rec
