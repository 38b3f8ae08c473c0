// `boleto pdf BRANCH NUMBER`: one boleto of the service written as a PDF file on a report
// template, the way the emission's file run writes it: the template is refreshed from the
// service into the report directory, and the report reads its data from the service.

#include <fmt/format.h>

#include <filesystem>
#include <memory>
#include <string>

#include "apps/boleto/Commands.h"
#include "apps/boleto/DatabaseOptions.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "records/Methods.h"
#include "remote/Connection.h"
#include "report/Barcode.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"
#include "report/TemplateDownload.h"

namespace {

struct PdfArgs {
  std::string branch, number;
  std::string templateName = "MODBOLCOMP.QR2";
  std::string out;
  std::string company = "04";
  bool test = false;
};

void writePdf(const PdfArgs& a) {
  cli::databaseOptions().company = a.company;
  host::HostScope service(cli::configuredHost());
  const std::string branch = host::Ajusta(host::AllTrim(a.branch), 4);
  const std::string number = host::Ajusta(host::AllTrim(a.number), 10);

  // The template as the service keeps it, refreshed into the report directory.
  remote::Connection qrd(rpc::kQRDesign);
  if (!qrd.connect())
    throw host::OperationError(fmt::format("Sem conexão com o serviço: {}", qrd.lastError()));
  std::string name = a.templateName;
  const std::string answer =
      rpc::call(qrd, rpc::RetornaRelatorio{.NMARQUIVO = name, .Parametro = " "}).asString();
  const auto dados = rpc::call(qrd, rpc::GetDadosRel{.NMARQUIVO = name}).items();
  const std::filesystem::path dir = host::ReportDir();
  std::filesystem::create_directories(dir);
  const std::string local = (dir / name).string();
  std::string why;
  if (dados.size() != 3 || !report::GetAtuGerFos(local, dados[2].asString(), &why))
    throw host::OperationError(fmt::format("Modelo {} não baixado do serviço: {}", name, why));
  const size_t nl = answer.find('\n');
  const std::string setting = answer.substr(0, nl);
  const auto date = nl == std::string::npos
                        ? std::nullopt
                        : host::DateTime::parse(answer.substr(nl + 1), "yyyymmddhhnnss");

  // The barcode image for the templates that draw it from a file.
  std::string barcode;
  if (!a.test) {
    report::RemoteDataSource probe;
    probe.open(host::WebURL(), host::WebPort());
    auto t = probe.fetch("BOLETO", {{"CDFILIAL", branch}, {"NRLANBOLREC", number}});
    probe.close();
    if (t.rows.empty())
      throw host::OperationError(
          fmt::format("Boleto {}/{} não encontrado na empresa {}", branch, number, a.company));
    barcode = t.rows[0][static_cast<size_t>(t.fieldIndex("CDBARRAREC"))].asString();
  }

  report::RemoteDataSource data;
  report::ReportPrinter printer(data);
  printer.setSetting(setting);
  printer.setParameterEvent([&](const std::string& p) -> host::Value {
    if (p == "P_CDFILIAL") return a.test ? std::string() : branch;
    if (p == "P_NRLANBOLREC") return a.test ? std::string() : number;
    if (p == "P_TESTE") return std::string(a.test ? "S" : "N");
    if (p == "P_VIA") return std::string("1º VIA - CLIENTE");
    if (p == "P_NOTAPROM") return std::string("N");
    if (p == "DIRBARCODE")
      return report::saveBarcodeImage(host::DirWinTemp(), barcode, host::Now());
    return {};
  });
  const std::string out = a.out.empty() ? branch + number + ".pdf" : a.out;
  report::PdfExportEngine engine(out);
  printer.ExportReport(local, date.value_or(host::DateTime()), engine);
  fmt::print("{}\n", out);
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<PdfArgs>();
  auto* c = app.add_subcommand(
      "pdf", "write one boleto of the service as a PDF file on a report template");
  c->add_option("branch", a->branch, "branch (CDFILIAL)");
  c->add_option("number", a->number, "boleto number (NRLANBOLREC)");
  c->add_option("--template,-t", a->templateName, "template stored on the service")
      ->capture_default_str();
  c->add_option("--out,-o", a->out, "PDF file (default: branch and number .pdf)");
  c->add_option("--company", a->company, "company")->capture_default_str();
  c->add_flag("--test", a->test, "a test boleto: the example data, marked as without value");
  c->callback([a] {
    if (!a->test && (a->branch.empty() || a->number.empty()))
      throw host::OperationError("Informe a filial e o número do boleto, ou --test");
    writePdf(*a);
  });
}};

}  // namespace
