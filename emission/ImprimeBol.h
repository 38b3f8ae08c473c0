#pragma once
// The emission screen: numbers the boletos the register marked, codes them, prints, previews
// or writes them as PDF files, and tells the service that they are emitted.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/KeyList.h"
#include "host/Screen.h"
#include "host/Value.h"
#include "records/EmissionOrder.h"

namespace report {
class ReportPrinter;
class ReportDataSource;
class PrintPort;
class PreviewPort;
}  // namespace report

namespace numbering {
class Numerador;
}

namespace Cli_rec12002 {
/// The nosso número proposed at the last opening; shown again at the next one.
extern std::string stNossNumProposto;
/// The boleto in work (branch, number), its registration form, and "S" while a test boleto
/// is printed: what the report parameters read.
extern std::string stFilialAtual, stLancAtual, stFormaCad, stTeste;
extern int seqSize;
}  // namespace Cli_rec12002

namespace rec {

/// `TfrmImprimeBol`, screen code "REC12002", caption "Boleto".
class TfrmImprimeBol final : public host::ScreenModel {
 public:
  TfrmImprimeBol();
  ~TfrmImprimeBol() override;

  host::ClientDataset cdsContCorr{"cdsContCorr"};
  host::ClientDataset cdsCriaLista{"cdsCriaLista"};
  host::ClientDataset cdsCriaListaAux{"cdsCriaListaAux"};
  host::ClientDataset cdsValidaNossNum{"cdsValidaNossNum"};
  host::ClientDataset cdsResult{"cdsResult"};

  /// The opening with the register's order: its account (the first of `klContas`), the
  /// template width, the proposal. An order whose `cdsBolEmitOrd` lacks a column of its table
  /// is refused (host::InvariantError naming the dataset and the field).
  void Abre(const records::EmissionOrder& order);

  void cbbModeloRelChange();
  void ccbGeraNossumClick();
  /// Every template the chosen model needs is refreshed from the service and must then be
  /// in the report directory.
  void ValidaEmissaoBoleto();
  void sbtPrintClick();
  void sbtPreviewClick();
  void sbtCancelarClick();
  /// The file run: every boleto of the print order written as a PDF into
  /// `directory`/Boletos_Emitidos/yyyy-mm-dd/ (complete model 1), or numbered only.
  void Emiteboletos(const std::string& directory);
  /// Exports one boleto (the one in work) on `templateName` as `name`.pdf into the dated
  /// folder under `directory`; returns the file written.
  std::string SalvarEmissao(const std::string& name, const std::string& templateName,
                            const std::string& messageKey, const std::string& directory);

  /// Where printed and previewed boletos go (CUPS and headless files by default).
  void setPrintPort(std::shared_ptr<report::PrintPort> port);
  void setPreviewPort(std::shared_ptr<report::PreviewPort> port);

  int model() const;
  /// The order the screen was opened with (a programming error before `Abre`).
  const records::EmissionOrder& order() const;
  /// The files written by the last file run, in order.
  const std::vector<std::string>& filesWritten() const { return files_; }

 private:
  // implementation state lives in ImprimeBol.cpp
  struct Run;
  friend struct Run;
  std::optional<records::EmissionOrder> order_;
  std::vector<std::string> files_;
  std::shared_ptr<report::PrintPort> printPort_;
  std::shared_ptr<report::PreviewPort> previewPort_;
};

/// Opens the emission screen for the register's order. With `reissue` or `emit` true the file
/// run goes at once into `directory` and no screen is shown. Returns the screen's modal result
/// (1: the run completed).
int CriaImprimeBol(const records::EmissionOrder& order, const std::string& directory, bool reissue,
                   bool emit);
/// Installs `CriaImprimeBol` as the creator the register opens the emission with.
void InstalaImprimeBol();

/// The model the screen opens with: item 1, the complete boleto, unless the host chose
/// another (the command line's --model); it also applies to the file run, which shows no screen.
void setModeloInicial(int item);
/// Called after each boleto of a run that was numbered and output (not the skipped ones),
/// with the count so far and the run's size: the command line's progress line.
void setEmissionProgress(std::function<void(size_t done, size_t total, const std::string& key)> f);

/// The emission screen while it exists.
TfrmImprimeBol* frmImprimeBol();

}  // namespace rec
