// `boleto render`: one report template over a data file, to a file in any export format
// (PDF unless --format says otherwise), to preview pictures or to a printer, so that a
// boleto can be looked at without the desktop.
//
// The data file is JSON: {"params": {"P_CDFILIAL": "0001", ...},
//                         "datasets": {"BOLETO": [ {row}, ... ] or a data packet, ...}}

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "apps/boleto/Commands.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "report/Barcode.h"
#include "report/Export.h"
#include "report/Report.h"

namespace {

struct RenderOptions {
  std::string templatePath;
  std::string dataPath;
  std::string out;
  std::string format = "pdf";
  std::string previewDir;
  std::string printer;
  bool print = false;
};

nlohmann::json readJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw host::OperationError(fmt::format("Arquivo de dados não encontrado: {}", path));
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& e) {
    throw host::OperationError(fmt::format("Arquivo de dados inválido: {}: {}", path, e.what()));
  }
}

void render(const RenderOptions& o) {
  const nlohmann::json data = readJson(o.dataPath);
  if (!data.is_object())
    throw host::OperationError(
        fmt::format("Arquivo de dados inválido: {}: esperado um objeto", o.dataPath));
  report::MemoryDataSource source;
  if (data.contains("datasets")) {
    for (const auto& [name, packet] : data["datasets"].items()) {
      try {
        source.addPacket(name, packet);
      } catch (const std::invalid_argument& e) {
        throw host::OperationError(fmt::format("Arquivo de dados inválido: {}, conjunto {}: {}",
                                               o.dataPath, name, e.what()));
      }
    }
  }
  const nlohmann::json params = data.value("params", nlohmann::json::object());

  // Nothing is connected here, but the report opens its connection at the context's address.
  host::Host ports = host::installedHost();
  if (!ports.context)
    ports.context = std::make_shared<host::ConfiguredContext>(host::ContextSettings{});
  host::HostScope withContext(ports);

  report::ReportPrinter printer(source);
  printer.setParameterEvent([&](const std::string& name) -> host::Value {
    if (params.contains(name) && params[name].is_string()) return params[name].get<std::string>();
    if (name == "DIRBARCODE") {
      // As the emission does: the image of the barcode of the boleto being printed.
      std::string barcode;
      const auto& ds = data["datasets"];
      if (ds.contains("BOLETO") && ds["BOLETO"].is_array() && !ds["BOLETO"].empty())
        barcode = ds["BOLETO"][0].value("CDBARRAREC", "");
      return report::saveBarcodeImage(host::DirWinTemp(), barcode, host::Now());
    }
    return {};
  });

  if (o.print) {
    printer.setPrintPort(std::make_shared<report::CupsPrinter>(o.printer));
    printer.PrintReport(o.templatePath);
    fmt::print("printed {}\n", o.templatePath);
  }
  if (!o.previewDir.empty()) {
    auto preview = std::make_shared<report::HeadlessPreview>(o.previewDir);
    printer.setPreviewPort(preview);
    printer.PreviewReport(o.templatePath);
    for (const auto& f : preview->files()) fmt::print("{}\n", f);
  }
  if (!o.out.empty()) {
    const report::ExportFormat* format = report::exportFormatByName(o.format);
    auto engine = report::makeExportEngine(format->tag, o.out);
    printer.ExportReport(o.templatePath, {}, *engine);
    for (const auto& f : engine->files()) fmt::print("{}\n", f);
  }
}

const cli::Registrar kRender{[](CLI::App& app) {
  auto o = std::make_shared<RenderOptions>();
  auto* cmd = app.add_subcommand("render", "Render a report template (.QR2) over a JSON data file");
  cmd->add_option("--template,-t", o->templatePath, "template file")->required();
  cmd->add_option("--data,-d", o->dataPath, "JSON data: {\"params\": {...}, \"datasets\": {...}}")
      ->required();
  cmd->add_option("--out,-o", o->out, "file to write (pages of a picture format beside it)");
  cmd->add_option("--format,-f", o->format,
                  "export format, by tag or name: 0 txt, 1 csv, 2 htm, 3 xlsx, 4 rtf, 5 wmf, "
                  "6 pdf (default), 7 xhtml, 8 gif, 9 jpg, 10 bmp, 11 emf");
  cmd->add_option("--preview", o->previewDir, "directory for PNG pictures of the pages");
  cmd->add_flag("--print", o->print, "print through CUPS");
  cmd->add_option("--printer", o->printer, "CUPS queue (default: the default queue)");
  cmd->callback([o] {
    if (o->out.empty() && o->previewDir.empty() && !o->print)
      throw host::OperationError("Informe --out, --preview ou --print");
    // Checked before anything is rendered or printed.
    if (!report::exportFormatByName(o->format))
      throw host::OperationError(fmt::format(
          "Formato de exportação desconhecido: {} (use 0 a 11 ou txt, csv, htm, xlsx, rtf, wmf, "
          "pdf, xhtml, gif, jpg, bmp, emf)",
          o->format));
    render(*o);
  });
}};

}  // namespace
