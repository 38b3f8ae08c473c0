#pragma once
// The carnê screen: the boletos the register marked, with their related instalments on
// request, previewed, printed or saved as one PDF on a carnê report, three boletos a page.

#include <optional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "records/EmissionOrder.h"
#include "reportscreen/DadosGerRel.h"

namespace rec {

/// `TfrmImprimeCarne`, screen code "REC01200", caption "Carnê", built on the host's report
/// screen with the reports of code prefix "REC012". A boleto without a nosso número is
/// numbered (barcode and typed line stored) before it is printed; one that has a number is
/// printed with it.
class TfrmImprimeCarne final : public TfrmDadosGerRel {
 public:
  TfrmImprimeCarne();

  host::ClientDataset cdsContCorr{"cdsContCorr"};
  host::ClientDataset cdsCriaLista{"cdsCriaLista"};
  host::ClientDataset cdsCriaListaAux{"cdsCriaListaAux"};
  host::ClientDataset cdsCriaListaAux2{"cdsCriaListaAux2"};

  /// The opening with the register's order: its account (the first of `klContas`).
  void Abre(const records::EmissionOrder& order);

  /// The keys CDFILIAL + NRLANBOLREC of the last preparation, in print order.
  const std::vector<std::string>& ordem() const { return ordem_; }
  /// The report parameters of the last preparation.
  const std::string& parametroFilial() const { return pFilial_; }
  const std::string& parametroLancamentos() const { return pLancamentos_; }
  /// P_CDFILIAL, P_NRLANBOLREC, P_CONTREC; P_CHAVES ("_" + branch and number of each boleto,
  /// exact where numbers repeat across branches); NRLISTA, the list registered.
  host::Value Parametro(const std::string& name) override;

 protected:
  void Prepara(bool printing) override;
  void AposImprimir() override;

 private:
  void adiciona(const std::string& key);
  void numera();

  std::optional<records::EmissionOrder> order_;
  std::vector<std::string> ordem_;
  host::TKeyList carteira_;  ///< the order's klCarteira with the instalments added
  std::string pFilial_, pLancamentos_, pChaves_;
};

/// Opens the carnê screen for the register's order, modally; its modal result (1: printed
/// or saved, the register then drops its marks).
int CriaImprimeCarne(const records::EmissionOrder& order);
/// Installs `CriaImprimeCarne` as the creator the register opens the carnê with.
void InstalaImprimeCarne();
/// The carnê screen while it exists.
TfrmImprimeCarne* frmImprimeCarne();

}  // namespace rec
