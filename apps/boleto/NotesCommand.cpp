// boleto notes: the import selection of fiscal notes headless. The register marks the boleto
// named and opens "Seleção de Notas Fiscais para Importação" for its customer; the notes are
// listed with their flags, and the ones named are flagged or unflagged there, each change
// saved on the service at once as the screen saves it.

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "records/Fields.h"
#include "selimpor/Cli_rec12007.h"

namespace {

namespace fld = records::fld;

struct NotesArgs {
  std::string company = "04";
  std::string boleto;
  std::vector<std::string> flag, unflag;
  bool all = false, none = false;
};

/// "0001/123" and "1/0000123" name the same note: digits compared without leading zeros.
std::string noteKey(const std::string& branch, const std::string& entry) {
  auto bare = [](std::string s) {
    s = host::AllTrim(s);
    s.erase(0, std::min(s.find_first_not_of('0'), s.size() - (s.empty() ? 0 : 1)));
    return s;
  };
  return bare(branch) + "/" + bare(entry);
}

std::string keyOf(const host::ClientDataset& notes, size_t r) {
  return noteKey(notes.valueAt(r, fld::CDFILIAL).asString(),
                 notes.valueAt(r, fld::NRLANCTONF).asString());
}

/// The note's row, or an error naming it: nothing is changed before every name is known.
size_t rowOf(const host::ClientDataset& notes, const std::string& text) {
  const auto slash = text.find('/');
  if (slash != std::string::npos) {
    const std::string key = noteKey(text.substr(0, slash), text.substr(slash + 1));
    for (size_t r = 1; r <= notes.recordCount(); ++r)
      if (keyOf(notes, r) == key) return r;
  }
  throw host::OperationError(fmt::format(
      "A nota fiscal {} não está entre as do cliente (FILIAL/LANÇAMENTO, como na lista).", text));
}

void print(const host::ClientDataset& notes) {
  if (notes.isEmpty()) {
    fmt::print("Nenhuma nota fiscal do cliente a importar.\n");
    return;
  }
  for (size_t r = 1; r <= notes.recordCount(); ++r) {
    auto text = [&](const records::Field& f) {
      return host::AllTrim(notes.valueAt(r, f).asString());
    };
    const host::Value issued = notes.valueAt(r, fld::DTEMISSAO);
    fmt::print("{:<14} {:<12} {:<10} {:>14}  importar: {}\n",
               text(fld::CDFILIAL) + "/" + text(fld::NRLANCTONF), text(fld::DOCUMENTO),
               issued.isNull() ? std::string() : issued.asDate().format("dd/mm/yyyy"),
               host::FormatBr(notes.valueAt(r, fld::VRNOTAFISC).asDouble(), 2),
               text(fld::IDIMPONFCR) == "S" ? "S" : "N");
  }
}

int notes(const NotesArgs& a) {
  const cli::BoletoKey target = cli::parseBoletoKey(a.boleto, "--boleto");
  cli::HeadlessRegister session(a.company, true);
  session.listAllDates();
  rec::InstalaSelImpor();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    if (!cli::locate(reg, target))
      throw host::OperationError(fmt::format("O boleto {}/{} não está na lista da empresa {}.",
                                             target.branch, target.number, a.company));
    {
      host::ScopedFlag marking(reg.bMarcaGeral);
      reg.Marca_Boleto(false, 'M');
    }
    const int errorsBefore = session.dialogs().errors();
    reg.control("mnuSelNFImp").click();
    auto* screen = rec::frmSelImpor();
    if (screen == nullptr || session.dialogs().errors() > errorsBefore) return 1;
    auto& ds = screen->cdsSelImpor;
    fmt::print("Cliente {}\n", host::AllTrim(Cli_rec12007::stCliente));

    // Every name checked before the first change; kept by key, since each save reloads the
    // notes.
    std::map<std::string, bool> wanted;
    for (const auto& n : a.flag) wanted[keyOf(ds, rowOf(ds, n))] = true;
    for (const auto& n : a.unflag) {
      const std::string key = keyOf(ds, rowOf(ds, n));
      if (wanted.count(key))
        throw host::OperationError("A nota fiscal " + n + " foi pedida marcada e desmarcada.");
      wanted[key] = false;
    }
    auto flagged = [&](size_t r) { return ds.valueAt(r, fld::IDIMPONFCR).asString() == "S"; };
    auto someExactlyN = [&] {
      for (size_t r = 1; r <= ds.recordCount(); ++r)
        if (ds.valueAt(r, fld::IDIMPONFCR).asString() == "N") return true;
      return false;
    };
    // Flag all and unflag all go through the screen's own command where it does what was
    // asked (it flags all only when some note is "N"); the notes it leaves, one by one.
    if (a.all || a.none) {
      if (a.all == someExactlyN()) screen->MarcaTodas();
      for (size_t r = 1; r <= ds.recordCount(); ++r) wanted.emplace(keyOf(ds, r), a.all);
    }
    for (const auto& [key, want] : wanted) {
      const size_t r = rowOf(ds, key);
      if (flagged(r) == want) continue;
      ds.setRecNo(r);
      screen->Alterna();
      if (session.dialogs().errors() > errorsBefore) break;
    }
    print(ds);
    const int status = session.dialogs().errors() > errorsBefore ? 1 : 0;
    screen->close();
    reg.close();
    return status;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<NotesArgs>();
  auto* c = app.add_subcommand(
      "notes",
      "the fiscal notes of a boleto's customer to import into receivables, as \"Seleção de "
      "Notas Fiscais para Importação\": listed, and flagged or unflagged");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--boleto", a->boleto, "a boleto of the customer, BRANCH/NUMBER")->required();
  c->add_option("--flag", a->flag, "notes to import, BRANCH/ENTRY as listed (comma separated)")
      ->delimiter(',');
  c->add_option("--unflag", a->unflag, "notes not to import, BRANCH/ENTRY")->delimiter(',');
  auto* all = c->add_flag("--all", a->all, "flag every note of the customer");
  c->add_flag("--none", a->none, "unflag every note of the customer")->excludes(all);
  c->callback([a] {
    if (const int rc = notes(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
