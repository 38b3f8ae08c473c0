#pragma once
// The host's report screen: the reports of a program offered by their code, printed,
// previewed or saved as PDF on the report component. Screens that print a report of their
// own (the carnê, the generation of files) are built on it and add their preparation and
// their report parameters.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Screen.h"
#include "host/Value.h"

namespace report {
class PrintPort;
class PreviewPort;
class ExportEngine;
}  // namespace report

namespace rec {

/// `TfrmDadosGerRel`: the report choice (`cbbRelatorio`), the number of copies, print,
/// preview, save as PDF and close. The template of the chosen report is the report directory
/// + the program's report code prefix (its first six characters) + the report's file code +
/// ".QR2", refreshed from the service before each output.
class TfrmDadosGerRel : public host::ScreenModel {
 public:
  struct Relatorio {
    std::string codigo;  ///< the file code after the prefix ("CARNE")
    std::string titulo;
  };

  TfrmDadosGerRel(std::string className, std::string screenCode, std::string caption,
                  std::string reportCode);
  ~TfrmDadosGerRel() override;

  /// Offers a report; the first one offered is chosen.
  void addRelatorio(Relatorio r);
  /// Offers, after those, the reports of the program found in the report directory (prefix +
  /// code + ".QR2"): the screen's opening calls it.
  void ProcuraRelatorios();
  const std::vector<Relatorio>& relatorios() const { return relatorios_; }
  /// The chosen report's template file name ("REC012CARNE.QR2"); "" when none is chosen.
  std::string arquivoRelatorio() const;

  /// Where printed and previewed reports go (CUPS and headless files by default).
  void setPrintPort(std::shared_ptr<report::PrintPort> port);
  void setPreviewPort(std::shared_ptr<report::PreviewPort> port);
  /// Refreshes a template from the service into the report directory (the register's
  /// `BaixaRelatorio`); none: the local copy is used as it is.
  void setRefresh(std::function<void(const std::string& fileName)> refresh);
  /// The company whose data the report reads (empty: the host's).
  void setCompany(std::string company) { company_ = std::move(company); }

  void sbtImprimirClick();
  void sbtVisualizarClick();
  /// Save as: a PDF file chosen with the save dialog.
  void sbtSalvarComoClick();
  void sbtFecharClick();
  /// The chosen report written as one PDF file at `file`; returns the file written.
  std::string SalvarPdf(const std::string& file);

 protected:
  /// Runs before every output; `printing` for print and save (not for preview).
  virtual void Prepara(bool printing) = 0;
  /// The value of a parameter the template declares (null: its default).
  virtual host::Value Parametro(const std::string& name) = 0;
  /// Runs after a print or a save went out whole.
  virtual void AposImprimir() {}
  /// The chosen report written with `engine` (template refreshed and checked, parameters
  /// from `Parametro`), without `Prepara` or `AposImprimir`: for a screen that prepares and
  /// records its own export.
  void exportaRelatorio(report::ExportEngine& engine);

 private:
  enum class Output { Print, Preview, Pdf };
  std::string output(Output how, const std::string& file = {});
  void showChoice();

  std::string prefix_;
  std::vector<Relatorio> relatorios_;
  std::shared_ptr<report::PrintPort> printPort_;
  std::shared_ptr<report::PreviewPort> previewPort_;
  std::function<void(const std::string&)> refresh_;
  std::string company_;
};

}  // namespace rec
