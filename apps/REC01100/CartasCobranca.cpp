// REC01100, the host's collection letters: a package of its own that the register loads by
// name ("Enviar Carta de Cobrança"). Its IniProc writes one letter per customer with boletos
// overdue and unpaid in the context's company on its processing date, listing them with their
// total, into the report directory's "Cartas_Cobranca/<today>" folder, and tells the operator
// where.

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/HostDatabase.h"
#include "records/Fields.h"

#define CARTAS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace fs = std::filesystem;
namespace fld = records::fld;

std::optional<host::HostScope>& ports() {
  static std::optional<host::HostScope> scope;
  return scope;
}

struct Boleto {
  std::string key, due, number;
  int64_t centavos = 0;
};

struct Cliente {
  std::string name;
  std::vector<Boleto> boletos;
};

std::string reais(int64_t centavos) {
  return host::FormatFloat("#,##0.00", static_cast<double>(centavos) / 100.0);
}

std::string letter(const std::string& company, const Cliente& c, const host::DateTime& today) {
  int64_t total = 0;
  std::string lines;
  for (const auto& b : c.boletos) {
    total += b.centavos;
    lines +=
        fmt::format("  {:<16} {:<12} {:>10} {:>14}\r\n", b.key, b.number, b.due, reais(b.centavos));
  }
  return fmt::format(
      "{}\r\n\r\nA\r\n{}\r\n\r\nPrezado(s) Senhor(es),\r\n\r\nNão identificamos o pagamento dos "
      "boletos abaixo, vencidos até {}:\r\n\r\n  {:<16} {:<12} {:>10} {:>14}\r\n{}\r\n  Total em "
      "aberto: R$ {}\r\n\r\nSolicitamos a regularização ou, se o pagamento já foi feito, que nos "
      "envie o comprovante.\r\n\r\nAtenciosamente,\r\nContas a receber - empresa {}\r\n",
      today.format("dd/mm/yyyy"), c.name, today.format("dd/mm/yyyy"), "Boleto", "Nosso número",
      "Vencimento", "Valor (R$)", lines, reais(total), company);
}

void cartas() {
  const std::string company = host::EmprProc();
  // The company's processing date, not the machine's: an operator closing a past day sends
  // the letters of that day.
  const host::DateTime today = host::DataProc();
  // Every boleto still owed, emitted or not: a customer who was sent a boleto and did not
  // pay it is the first one a collection letter is for.
  std::unique_ptr<host::ClientDataset> owed;
  {
    host::WaitAnimation wait;
    owed = host::hostDatabase().run("qryCartasCobranca",
                                    {{"P_DTREFERENCIA", host::Value(today.iso())}});
  }
  host::ClientDataset& rows = *owed;

  std::map<std::string, Cliente> byCustomer;
  for (rows.first(); !rows.eof(); rows.next()) {
    Cliente& c = byCustomer[host::AllTrim(rows.valueOf(fld::CDCLIENTE).asString())];
    c.name = host::AllTrim(rows.valueOf(fld::NMRAZSOCCLIE).asString());
    const host::Value due = rows.valueOf(fld::DTVENBOLREC);
    c.boletos.push_back(
        {rows.valueOf(fld::CDFILIAL).asString() + "/" + rows.valueOf(fld::NRLANBOLREC).asString(),
         due.isNull() ? std::string() : due.asDate().format("dd/mm/yyyy"),
         host::AllTrim(rows.valueOf(fld::CDNOSNUMREC).asString()),
         static_cast<int64_t>(host::RoundDec(2, rows.valueOf(fld::VRFINALBREC).asDouble()) * 100.0 +
                              (rows.valueOf(fld::VRFINALBREC).asDouble() < 0 ? -0.5 : 0.5))});
  }
  if (byCustomer.empty()) {
    host::dialogs().information("Nenhum boleto vencido em aberto: nenhuma carta de cobrança.",
                                "Carta de Cobrança");
    return;
  }
  const fs::path dir = fs::path(host::ReportDir()) / "Cartas_Cobranca" / today.format("yyyy-mm-dd");
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) host::MensErro("Não foi possível criar a pasta " + dir.string() + ": " + ec.message());
  for (const auto& [code, c] : byCustomer) {
    const fs::path file = dir / ("Carta_" + code + ".txt");
    const fs::path part = dir / ("Carta_" + code + ".txt.tmp");
    {
      std::ofstream out(part, std::ios::binary | std::ios::trunc);
      out << letter(company, c, today);
      if (!out.flush()) host::MensErro("Não foi possível gravar o arquivo " + file.string());
    }
    fs::rename(part, file, ec);
    if (ec) host::MensErro("Não foi possível gravar o arquivo " + file.string());
  }
  host::dialogs().information(
      fmt::format("{} carta(s) de cobrança gravada(s) em {}", byCustomer.size(), dir.string()),
      "Carta de Cobrança");
}

}  // namespace

/// The loading program's ports; false for none or another version.
CARTAS_EXPORT bool InstalaHost(const host::Host* p) {
  if (p == nullptr || p->version != host::Host::kVersion) return false;
  ports().reset();
  ports().emplace(*p);
  return true;
}

/// Writes the collection letters; an error reaches the operator through the host's dialogs.
/// The ports are let go at the end: the host hands them again at each load.
CARTAS_EXPORT void IniProc() {
  if (!ports()) return;
  try {
    cartas();
  } catch (const host::OperationAborted&) {
  } catch (const std::exception& e) {
    host::dialogs().error(e.what(), "Carta de Cobrança");
  }
  ports().reset();
}

CARTAS_EXPORT void Finalize() {
  ports().reset();
}
