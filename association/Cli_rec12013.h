#pragma once
// The association screen: the open boletos of each customer (of a list, or all), of the
// chosen origin branches and period, joined into one new boleto per customer that has two
// or more of them, in one call to the service.

#include <string>

#include "host/ClientDataset.h"
#include "host/Screen.h"

namespace rec {

/// `TfrmConjulgarBoleto`, screen code "REC12013", caption "Conjugar Boleto".
class TfrmConjulgarBoleto final : public host::ScreenModel {
 public:
  TfrmConjulgarBoleto();

  host::ClientDataset cdsBuscaBoletos{"cdsBuscaBoletos"};
  host::ClientDataset cdsBoletosAux{"cdsBoletosAux"};
  host::ClientDataset cdsIncBoleto{"cdsIncBoleto"};
  host::ClientDataset cdsAux{"cdsAux"};
  host::ClientDataset cdsBolRec{"cdsBolRec"};

  /// The company the screen looks up and associates for (the creator's argument).
  void setEmpresa(std::string company) { empresa_ = std::move(company); }
  const std::string& empresa() const { return empresa_; }

  /// The customer and branch lists, as the pick lists leave them ("code,code").
  std::string stListaCliente, stListaFilial;

  void rgpClienteClick();
  void rgpFilialClick();
  /// The pick lists of customers and branches (the search buttons, or F9 on "Lista").
  void sbtPesqClienteClick();
  void sbtPesqFilialClick();
  /// The account and write-off type searches: pick one.
  void sbtPesqContaClick();
  void sbtPesqTpBaixaClick();
  /// The checks of the account and write-off type fields; `mandatory` from the confirm.
  void Vd_CdReduCont(bool mandatory);
  void Vd_TipoBaixa(bool mandatory);
  void sbtConfirmarClick();
  void sbtCancelarClick();

  /// The keys of the new boletos the last association stored.
  const std::vector<std::string>& novosBoletos() const { return novos_; }

 private:
  std::string empresa_;
  std::vector<std::string> novos_;
};

/// Opens the association screen for `company`, modally (created once, guarded by
/// `Cli_rec12013::boIdCriado`); its modal result.
int CriaConjulgarBoleto(const std::string& company);
/// Installs `CriaConjulgarBoleto` as the creator the register opens the screen with.
void InstalaConjulgarBoleto();
/// The association screen while it exists.
TfrmConjulgarBoleto* frmConjulgarBoleto();

}  // namespace rec
