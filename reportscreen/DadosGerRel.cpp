#include "reportscreen/DadosGerRel.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"

namespace rec {

namespace fs = std::filesystem;

TfrmDadosGerRel::TfrmDadosGerRel(std::string className, std::string screenCode, std::string caption,
                                 std::string reportCode)
    : host::ScreenModel(std::move(className), std::move(screenCode), std::move(caption)),
      prefix_(reportCode.substr(0, std::min<size_t>(6, reportCode.size()))) {
  messages() = host::TMessages{
      {"Arq_Rel_Err",
       "O arquivo contendo a definição do relatório de código '%s' não foi encontrado no "
       "diretório '%s'."},
      {"NovoCaption", "Título do relatório"},
      {"NovoPrompt", "Informe o título do relatório:"},
      {"Deve_Inf", "Número de cópias deve ser informado."},
      {"Rel_Inf", "Relatório deve ser informado."},
  };
  addControl("lblRelatorio", host::ControlKind::Label).setCaption("Relatório");
  addControl("cbbRelatorio", host::ControlKind::Combo);
  addControl("lblCopias", host::ControlKind::Label).setCaption("Cópias");
  addControl("edtCopias", host::ControlKind::Edit).setText("1");
  addControl("sbtImprimir", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtImprimirClick(); });
  };
  addControl("sbtVisualizar", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtVisualizarClick(); });
  };
  addControl("sbtSalvarComo", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtSalvarComoClick(); });
  };
  // Editing a report needs the report designer, which this host does not carry.
  addControl("sbtEditar", host::ControlKind::Button).setEnabled(false);
  addControl("sbtFechar", host::ControlKind::Button).onClick = [this] { sbtFecharClick(); };
  control("sbtImprimir").setCaption("Imprimir");
  control("sbtVisualizar").setCaption("Visualizar");
  control("sbtSalvarComo").setCaption("Salvar como PDF");
  control("sbtEditar").setCaption("Editar relatório");
  control("sbtFechar").setCaption("Fechar");
  printPort_ = std::make_shared<report::CupsPrinter>();
}

TfrmDadosGerRel::~TfrmDadosGerRel() = default;

void TfrmDadosGerRel::addRelatorio(Relatorio r) {
  relatorios_.push_back(std::move(r));
  showChoice();
}

void TfrmDadosGerRel::ProcuraRelatorios() {
  // The program's reports that the operator put in the report directory join the list.
  std::error_code ec;
  const std::string dir = host::ReportDir();
  if (!dir.empty() && fs::is_directory(dir, ec)) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      const std::string name = e.path().filename().string();
      if (name.size() > prefix_.size() + 4 && name.compare(0, prefix_.size(), prefix_) == 0 &&
          name.ends_with(".QR2"))
        found.push_back(name.substr(prefix_.size(), name.size() - prefix_.size() - 4));
    }
    std::sort(found.begin(), found.end());
    for (const auto& code : found)
      if (std::none_of(relatorios_.begin(), relatorios_.end(),
                       [&](const Relatorio& r) { return r.codigo == code; }))
        relatorios_.push_back({code, code});
  }
  showChoice();
}

void TfrmDadosGerRel::showChoice() {
  std::vector<std::string> items;
  for (const auto& r : relatorios_) items.push_back(r.titulo);
  auto& choice = control("cbbRelatorio");
  const int at = choice.itemIndex();
  choice.setItems(items);
  choice.setItemIndex(at >= 0 && at < static_cast<int>(items.size()) ? at : 0);
}

std::string TfrmDadosGerRel::arquivoRelatorio() const {
  const int at = control("cbbRelatorio").itemIndex();
  if (at < 0 || at >= static_cast<int>(relatorios_.size())) return {};
  return prefix_ + relatorios_[static_cast<size_t>(at)].codigo + ".QR2";
}

void TfrmDadosGerRel::setPrintPort(std::shared_ptr<report::PrintPort> port) {
  printPort_ = std::move(port);
}

void TfrmDadosGerRel::setPreviewPort(std::shared_ptr<report::PreviewPort> port) {
  previewPort_ = std::move(port);
}

void TfrmDadosGerRel::setRefresh(std::function<void(const std::string&)> refresh) {
  refresh_ = std::move(refresh);
}

std::string TfrmDadosGerRel::output(Output how, const std::string& file) {
  const std::string name = arquivoRelatorio();
  if (name.empty()) failOn("cbbRelatorio", "Rel_Inf");
  int copies = 1;
  if (how == Output::Print) {
    const std::string typed = host::AllTrim(control("edtCopias").text());
    copies = host::IsDigits(typed) && typed.size() < 4 ? std::stoi(typed) : 0;
    if (copies < 1) failOn("edtCopias", "Deve_Inf");
  }
  if (refresh_) refresh_(name);
  const std::string path = host::ReportDir() + name;
  if (!fs::exists(path)) error("Arq_Rel_Err", {name.substr(0, name.size() - 4), host::ReportDir()});
  Prepara(how != Output::Preview);

  report::RemoteDataSource data;
  data.setCompany(company_);
  report::ReportPrinter printer(data);
  printer.setParameterEvent([this](const std::string& p) { return Parametro(p); });
  if (printPort_) printer.setPrintPort(printPort_);
  if (previewPort_) printer.setPreviewPort(previewPort_);
  std::string written;
  switch (how) {
    case Output::Print:
      for (int i = 0; i < copies; ++i) printer.PrintReport(path);
      break;
    case Output::Preview:
      printer.PreviewReport(path);
      break;
    case Output::Pdf: {
      report::PdfExportEngine engine(file);
      printer.ExportReport(path, {}, engine);
      written = engine.fileName();
      break;
    }
  }
  if (how != Output::Preview) AposImprimir();
  return written;
}

void TfrmDadosGerRel::exportaRelatorio(report::ExportEngine& engine) {
  const std::string name = arquivoRelatorio();
  if (name.empty()) failOn("cbbRelatorio", "Rel_Inf");
  if (refresh_) refresh_(name);
  const std::string path = host::ReportDir() + name;
  if (!fs::exists(path)) error("Arq_Rel_Err", {name.substr(0, name.size() - 4), host::ReportDir()});
  report::RemoteDataSource data;
  data.setCompany(company_);
  report::ReportPrinter printer(data);
  printer.setParameterEvent([this](const std::string& p) { return Parametro(p); });
  printer.ExportReport(path, {}, engine);
}

void TfrmDadosGerRel::sbtImprimirClick() {
  output(Output::Print);
}

void TfrmDadosGerRel::sbtVisualizarClick() {
  output(Output::Preview);
}

void TfrmDadosGerRel::sbtSalvarComoClick() {
  auto file = host::dialogs().saveFile(caption(), "Documento Adobe Acrobat (*.pdf)|*.pdf", "pdf",
                                       host::ReportDir() + caption() + ".pdf");
  if (!file || file->empty()) return;
  output(Output::Pdf, *file);
}

std::string TfrmDadosGerRel::SalvarPdf(const std::string& file) {
  if (host::EmptyString(file)) host::MensErro("Arquivo de exportação não informado");
  return output(Output::Pdf, file);
}

void TfrmDadosGerRel::sbtFecharClick() {
  setModalResult(host::mrCancel);
  close();
}

}  // namespace rec
