#pragma once
// The generation of boletos without paper: the boletos the register chose are numbered and
// coded on the service, then listed in a text file in the operator's directory (with a
// notice of the file on the serial device) or printed on a report.

#include <functional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/KeyList.h"
#include "reportscreen/DadosGerRel.h"

namespace rec {

/// `TfrmEditaBoleto`, screen code "REC12006", caption "Gerar Boleto (txt)", built on the host's
/// report screen with the reports of code prefix "REC120". A boleto already numbered keeps its
/// number, barcode and typed line: generating twice never renumbers.
class TfrmEditaBoleto final : public TfrmDadosGerRel {
 public:
  TfrmEditaBoleto();
  ~TfrmEditaBoleto() override;

  host::ClientDataset cdsContCorr{"cdsContCorr"};
  host::ClientDataset cdsDiretorio{"cdsDiretorio"};
  host::ClientDataset cdsCriaLista{"cdsCriaLista"};
  host::ClientDataset cdsCriaListaAux{"cdsCriaListaAux"};

  /// The opening: the account of the boletos, the operator's saved directory shown, the
  /// report parameter built from the keys of `Cli_rec12006::klsImporBoleto`.
  void Abre(const std::string& account);

  /// Leaving the directory field: blank "Direct", not an existing directory "Dir_Inv"; a
  /// separator is appended when missing. Returns the directory.
  std::string VerificaDiretorio();
  /// The folder dialog; the folder chosen goes into the field.
  void sbtDiretorioClick();
  /// "Exportar": the numbering run, then the text export into the directory and its notice
  /// on the serial device; "Exp_Suss" and the screen closes with OK.
  void sbtExportarClick();
  /// Print: the numbering run, then the chosen report printed; "Exp_Suss", closed with OK.
  void Imprimir();

  /// "_" + key for every key of the list, in order (the report's `P_BOLETO`).
  const std::string& parametroBoleto() const { return pBoleto_; }
  /// The file the last export wrote ("" before one).
  const std::string& arquivoExportado() const { return arquivo_; }
  /// The keys the last numbering run worked on (the boletos not emitted), in list order.
  const std::vector<std::string>& gerados() const { return gerados_; }

  host::Value Parametro(const std::string& name) override;

 protected:
  void Prepara(bool printing) override;
  void AposImprimir() override;
  void onClose() override;

 private:
  /// Stores the directory on the service (the one row of `cdsDiretorio`).
  void GravaDiretorio(const std::string& dir);
  /// The numbering run: the directory checked and stored, then every boleto not emitted
  /// numbered (or given its identified deposit) and registered as the run's list.
  void Numera();
  /// The run went out whole: the boletos recorded as emitted, the list dropped, the operator
  /// told, the screen closed with OK.
  void Conclui();
  /// Drops the run's list on the service (after a failure, before the error is shown).
  void ApagaLista();
  std::string exportFileName(const std::string& dir) const;

  std::string account_;
  std::string company_;
  std::string pBoleto_;
  std::string arquivo_;
  std::vector<std::string> gerados_;
};

/// `CriaGerarBoleto`: the generation screen for the boletos of `klsImporBoleto` with the
/// numbering list `klsCodigoBarra`, on `account`; created once, modal. Both lists are held
/// by reference in `Cli_rec12006` and must outlive the screen. The modal result (1:
/// generated).
int CriaGerarBoleto(host::TKeyList& klsCodigoBarra, const std::string& account,
                    host::TKeyList& klsImporBoleto,
                    std::function<void(const std::string& fileName)> baixaRelatorio = {});
/// Installs `CriaGerarBoleto` as the creator the register opens the screen with.
void InstalaGerarBoleto();
/// The generation screen while it exists.
TfrmEditaBoleto* frmEditaBoleto();

}  // namespace rec
