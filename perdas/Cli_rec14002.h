#pragma once
// The write-off by loss: every boleto marked in the register settled as a loss, on a date,
// against a bank account and with a write-off type, by the service in one call.

#include <string>

#include "host/ClientDataset.h"
#include "host/HostDatabase.h"
#include "host/Screen.h"

namespace Cli_rec14002 {
/// The screen exists; cleared when it closes.
extern bool boIdCriado;
/// The company given to the creator the first time the screen was created.
extern std::string stEmpresa;
}  // namespace Cli_rec14002

namespace rec {

/// `TfrmPerdas`, screen code "REC14002", caption "Baixar por Perdas e Lucros".
class TfrmPerdas final : public host::ScreenModel {
 public:
  TfrmPerdas();

  host::TADOIBQuery qryContCorr{"qryContCorr"};
  host::TADOIBQuery qryTipoBaixa{"qryTipoBaixa"};

  /// Opening: the register's connection, the date cleared, the total of the marked boletos.
  void Abre();
  /// The account typed (padded to 3) with its bank, agency and account shown; blank is
  /// refused only when `mandatory`.
  void Vd_CdReduCont(bool mandatory);
  /// The write-off type typed (padded to 2) with its name shown.
  void Vd_TipoBaixa(bool mandatory);
  /// The checks, then SetConfirmaBaixa with the marked set; the marks go, the screen closes
  /// and "SUCESSO" is shown. A refusal leaves the marks as they were.
  void Confirmar();
  /// The total of the marked boletos, each net value rounded to 2 decimals, in centavos.
  int64_t totalCentavos() const { return total_; }

 protected:
  void onClose() override;

 private:
  int64_t total_ = 0;
};

/// `CriaBaixa_Perda`: opens the write-off by loss over the open register (modal, created
/// once); the modal result.
int CriaBaixa_Perda(const std::string& company);

}  // namespace rec
