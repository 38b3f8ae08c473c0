#include "apps/boleto/HeadlessRegister.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>

#include "ancillary/Cli_rec12009.h"
#include "apps/boleto/DatabaseOptions.h"
#include "association/Cli_rec12013.h"
#include "carne/Cli_rec01200.h"
#include "emission/ImprimeBol.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "mail/EnvBolMail.h"
#include "module/Units.h"
#include "records/Tables.h"

namespace cli {

namespace {
host::Host withCompany(const std::string& company, std::shared_ptr<host::Dialogs> dialogs,
                       std::shared_ptr<rec::ScreenHost> screens) {
  databaseOptions().company = company;
  host::Host ports = configuredHost();
  ports.dialogs = std::move(dialogs);
  ports.screens = std::move(screens);
  return ports;
}
}  // namespace

HeadlessRegister::HeadlessRegister(const std::string& company, bool answerYes)
    : company_(company),
      dialogs_(std::make_shared<ConsoleDialogs>(answerYes)),
      screens_(std::make_shared<rec::HeadlessScreenHost>()),
      host_(withCompany(company, dialogs_, screens_)) {
  rec::initializeUnits();
  // The command line links the screens the register opens: their creators, as the package
  // would install them.
  rec::InstalaImprimeBol();
  rec::InstalaDirBoletos();
  rec::InstalaImprimeCarne();
  rec::InstalaConjulgarBoleto();
  rec::InstalaEnvBolMail();
}

void HeadlessRegister::onFilter(std::function<void(rec::TfrmFiltroHabRec&)> script) {
  screens_->onModal("TfrmFiltroHabRec", [script](host::ScreenModel& s) {
    script(dynamic_cast<rec::TfrmFiltroHabRec&>(s));
  });
}

void HeadlessRegister::filterAccount(const AccountRun& run, const std::string& account,
                                     int status) {
  onFilter([run, account, status](rec::TfrmFiltroHabRec& f) {
    f.control("edtDtVencIni").setText(run.dueFrom.empty() ? "01/01/1900" : run.dueFrom);
    f.control("edtDtVencFin").setText(run.dueTo.empty() ? "31/12/2999" : run.dueTo);
    f.control("rgpStatus").setItemIndex(status);
    f.control("rgpContaCorr").choose(1);
    f.stListaCCorr = account;
    f.control("sbtConfirma").click();
  });
}

rec::TfrmHabContRec& HeadlessRegister::open() {
  rec::IniProc();
  auto* reg = rec::frmHabContRec();
  if (reg == nullptr) throw host::OperationError("O cadastro de boletos não abriu.");
  reg->control("medEmpresa").setFocus();
  reg->control("medEmpresa").type(company_);
  reg->focusList();
  if (dialogs_->errors() > 0 || !reg->cdsBoletos.active())
    throw host::OperationError("O filtro de boletos não foi concluído.");
  return *reg;
}

void HeadlessRegister::listAllDates() {
  onFilter([](rec::TfrmFiltroHabRec& f) {
    f.control("edtDtVencIni").setText({});
    f.control("edtDtVencFin").setText({});
    f.control("sbtConfirma").click();
  });
}

BoletoKey parseBoletoKey(const std::string& text, const std::string& flag) {
  std::string t = host::AllTrim(text);
  std::string branch, number;
  if (const auto slash = t.find('/'); slash != std::string::npos) {
    branch = t.substr(0, slash);
    number = t.substr(slash + 1);
  } else if (t.size() == 14) {
    branch = t.substr(0, 4);
    number = t.substr(4);
  }
  if (branch.empty() || number.empty() || branch.size() > 4 || number.size() > 10 ||
      !host::IsDigits(branch) || !host::IsDigits(number)) {
    throw CLI::ValidationError(flag, "expected BRANCH/NUMBER (0001/0000000012), got " + text);
  }
  return {host::Ajusta(branch, 4), host::Ajusta(number, 10)};
}

bool locate(rec::TfrmHabContRec& reg, const BoletoKey& k) {
  return reg.cdsBoletos.locate(records::kBoletoKeyFields,
                               {host::Value(k.branch), host::Value(k.number)});
}

size_t markAccount(rec::TfrmHabContRec& reg, const std::string& account, bool skipEmitted) {
  auto& ds = reg.cdsBoletos;
  size_t marked = 0;
  // No discount questions: a command marks, it does not discount.
  host::ScopedFlag marking(reg.bMarcaGeral);
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    ds.setRecNo(r);
    if (host::AllTrim(reg.current("CDREDUCONT").asString()) != account) continue;
    if (skipEmitted && reg.current("IDSTATBREC").asString() == "E") continue;
    reg.Marca_Boleto(false, 'M');
    ++marked;
  }
  return marked;
}

int reportingErrors(const std::function<int()>& body) {
  try {
    return body();
  } catch (const host::OperationError& e) {
    fmt::print(stderr, "Boleto: erro: {}\n", e.what());
  } catch (const host::ServiceError& e) {
    fmt::print(stderr, "Boleto: erro do serviço ({}): {}\n", e.key(), e.detail());
  }
  return 1;
}

void addAccountRunOptions(CLI::App& command, AccountRun& run) {
  command.add_option("--company", run.company, "company (CDEMPRESA)")->capture_default_str();
  command.add_option("--account", run.account, "collection account (CDREDUCONT)")->required();
  command.add_option("--due-from", run.dueFrom, "due date from, dd/mm/yyyy (default: any)");
  command.add_option("--due-to", run.dueTo, "due date to, dd/mm/yyyy");
}

}  // namespace cli
