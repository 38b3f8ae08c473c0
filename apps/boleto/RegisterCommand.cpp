// boleto register: the register's list of a company, filtered as the filter screen would,
// printed with the columns the register shows.

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "apps/boleto/Commands.h"
#include "apps/boleto/ConsoleDialogs.h"
#include "apps/boleto/DatabaseOptions.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "module/ScreenHost.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "register/DisplayCodes.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"

namespace {

struct RegisterArgs {
  std::string company = "04";
  std::string dueFrom, dueTo, emissionFrom, emissionTo;
  std::string numberFrom, numberTo, nossoNumero, remessa, retorno, budgetFrom, budgetTo;
  std::string valueFrom, valueTo;
  std::string status = "ambos", protested = "ambos";
  std::vector<std::string> situations;
  std::string clients, postingBranches, originBranches, groups, writeOffs, invoices, accounts,
      vehicles;
  bool columns = false;
  bool all = false;
};

int choice(const std::string& flag, const std::string& value, std::vector<std::string> names) {
  const auto v = host::LowerCase(value);
  for (size_t i = 0; i < names.size(); ++i) {
    if (v == names[i]) return static_cast<int>(i);
  }
  throw CLI::ValidationError(
      flag, "expected one of " + fmt::format("{}", fmt::join(names, ", ")) + ", got " + value);
}

// What the operator would type in the filter, from the flags.
void fill(rec::TfrmFiltroHabRec& f, const RegisterArgs& a) {
  auto set = [&f](const char* control, const std::string& value) {
    if (!value.empty()) f.control(control).setText(value);
  };
  if (a.all) {
    f.control("edtDtVencIni").setText({});
    f.control("edtDtVencFin").setText({});
  }
  set("edtDtVencIni", a.dueFrom);
  set("edtDtVencFin", a.dueTo);
  set("edtDtEmisIni", a.emissionFrom);
  set("edtDtEmisFin", a.emissionTo);
  set("edtNumeIni", a.numberFrom);
  set("edtNumeFin", a.numberTo);
  set("nedValorIni", a.valueFrom);
  set("nedValorFin", a.valueTo);
  set("edtNrRemessa", a.remessa);
  set("edtNrRetorno", a.retorno);
  set("edtNrOrcaIni", a.budgetFrom);
  set("edtNrOrcaFin", a.budgetTo);
  if (!a.nossoNumero.empty()) f.control("edtNossoNumero").type(a.nossoNumero);
  f.control("rgpStatus")
      .setItemIndex(choice("--status", a.status, {"ambos", "emitidos", "pendentes"}));
  f.control("rgpProtestado")
      .setItemIndex(choice("--protested", a.protested, {"ambos", "sim", "nao"}));
  const std::map<std::string, const char*> boxes{{"00", "chkNaoEnviado"},
                                                 {"01", "chkEnviadoErro"},
                                                 {"10", "chkEnviadoSemRetorno"},
                                                 {"20", "chkEnviadoOK"}};
  for (const auto& s : a.situations) {
    auto it = boxes.find(s);
    if (it == boxes.end())
      throw CLI::ValidationError("--situation", "expected 00, 01, 10 or 20, got " + s);
    f.control(it->second).setChecked(true);
  }
  auto list = [&f](const char* radio, std::string& target, const std::string& value) {
    if (value.empty()) return;
    f.control(radio).choose(1);
    target = value;
  };
  list("rgpCliente", f.stListaClie, a.clients);
  list("rgpFiliLanc", f.stListaFiliLanc, a.postingBranches);
  list("rgpFiliOrig", f.stListaFiliOrig, a.originBranches);
  list("rgpGrupClie", f.stListaGrupClie, a.groups);
  list("rgpTipoBaixa", f.stListaFormRec, a.writeOffs);
  list("rgpDuplicata", f.stListaDupl, a.invoices);
  list("rgpContaCorr", f.stListaCCorr, a.accounts);
  list("rgpVeiculo", f.stListaVeic, a.vehicles);
}

std::string cellText(host::ClientDataset& ds, const std::string& field) {
  const host::Value v = ds.valueOf(field);
  if (field == "IDMARCADO") return v.asString() == "M" ? "[x]" : "[ ]";
  if (field == "FTR_IDSTATBREC") return reg::StatusText(v.asString(), true);
  if (field == "FTR_IDSITUCNABR") return reg::CnabSituationText(v.asString());
  if (field == "FTR_IDPROTESTREC") return reg::ProtestText(v.asString());
  return ds.fieldByName(field).displayText();
}

int showRegister(const RegisterArgs& a) {
  cli::HeadlessRegister session(a.company, false);
  session.onFilter([&a](rec::TfrmFiltroHabRec& f) {
    fill(f, a);
    f.control("sbtConfirma").click();
  });
  return cli::reportingErrors([&] {
    auto* reg = &session.open();
    {
      auto& ds = reg->cdsBoletos;
      std::vector<host::GridColumn> cols;
      for (const auto& c : reg->grid("dbgPadrao").columns()) {
        if (c.visible && ds.fieldIndex(c.field) >= 0) cols.push_back(c);
      }
      if (a.columns) {
        fmt::print("{:<20} {:<22} {:>6} {}\n", "FIELD", "LABEL", "WIDTH", "SHOWN");
        for (const auto& c : reg->grid("dbgPadrao").columns()) {
          fmt::print("{:<20} {:<22} {:>6} {}\n", c.field, c.title, c.width, c.visible ? "S" : "N");
        }
        fmt::print("\n");
      }
      // Each column as wide as its widest text, so the list reads as the grid does.
      std::vector<size_t> widths;
      for (const auto& c : cols) widths.push_back(host::Utf8Length(c.title));
      std::vector<std::vector<std::string>> rows;
      rows.reserve(ds.recordCount());
      for (ds.first(); !ds.eof(); ds.next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < cols.size(); ++i) {
          row.push_back(cellText(ds, cols[i].field));
          widths[i] = std::max(widths[i], host::Utf8Length(row.back()));
        }
        rows.push_back(std::move(row));
      }
      auto line = [&widths](const std::vector<std::string>& cells) {
        std::string out;
        for (size_t i = 0; i < cells.size(); ++i) {
          if (i > 0) out += "  ";
          out += cells[i];
          if (i + 1 < cells.size()) out.append(widths[i] - host::Utf8Length(cells[i]), ' ');
        }
        fmt::print("{}\n", out);
      };
      std::vector<std::string> titles;
      for (const auto& c : cols) titles.push_back(c.title);
      line(titles);
      for (const auto& r : rows) line(r);
      fmt::print("{} boleto(s)\n", rows.size());
    }
    reg->close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<RegisterArgs>();
  auto* c = app.add_subcommand("register", "the register's list of boletos of a company, filtered");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--due-from", a->dueFrom,
                "due date from, dd/mm/yyyy (default: the setting's range)");
  c->add_option("--due-to", a->dueTo, "due date to, dd/mm/yyyy");
  c->add_flag("--all-dates", a->all, "no due-date range");
  c->add_option("--emission-from", a->emissionFrom, "emission date from, dd/mm/yyyy");
  c->add_option("--emission-to", a->emissionTo, "emission date to, dd/mm/yyyy");
  c->add_option("--number-from", a->numberFrom, "document (invoice) number from");
  c->add_option("--number-to", a->numberTo, "document (invoice) number to");
  c->add_option("--value-from", a->valueFrom, "net value from (1.234,56 or 1234.56)");
  c->add_option("--value-to", a->valueTo, "net value to");
  c->add_option("--nosso-numero", a->nossoNumero, "only the boleto with this nosso número");
  c->add_option("--status", a->status, "ambos, emitidos or pendentes")->capture_default_str();
  c->add_option("--protested", a->protested, "ambos, sim or nao")->capture_default_str();
  c->add_option("--situation", a->situations,
                "bank-exchange situation 00, 01, 10 or 20 (repeatable)");
  c->add_option("--remessa", a->remessa, "remittance file number");
  c->add_option("--retorno", a->retorno, "return file number");
  c->add_option("--budget-from", a->budgetFrom, "event budget from");
  c->add_option("--budget-to", a->budgetTo, "event budget to");
  c->add_option("--clients", a->clients, "client codes, comma separated");
  c->add_option("--posting-branches", a->postingBranches, "posting branches, comma separated");
  c->add_option("--origin-branches", a->originBranches, "origin branches, comma separated");
  c->add_option("--groups", a->groups, "client groups, comma separated");
  c->add_option("--writeoff-types", a->writeOffs, "write-off types, comma separated");
  c->add_option("--invoices", a->invoices, "invoice numbers, comma separated");
  c->add_option("--accounts", a->accounts, "collection accounts (CDREDUCONT), comma separated");
  c->add_option("--vehicles", a->vehicles, "vehicles, comma separated");
  c->add_flag("--columns", a->columns,
              "print the list's layout (every column, shown or not) first");
  c->callback([a] {
    const int rc = showRegister(*a);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
