// boleto account CODE: one collection account as the emission screen loads it.

#include <fmt/format.h>

#include "apps/boleto/Commands.h"
#include "apps/boleto/DatabaseOptions.h"
#include "host/bank/BankLayout.h"
#include "module/Records.h"
#include "module/SharedConnection.h"
#include "records/Tables.h"

namespace {

struct AccountArgs {
  std::string code;
  std::string company = "04";
};

void showAccount(const AccountArgs& a) {
  cli::databaseOptions().company = a.company;
  host::HostScope service(cli::configuredHost());
  rec::ensureConnected();
  host::ClientDataset cdsContCorr("cdsContCorr");
  std::string code = a.code;
  rec::fetchBankAccount(rec::netHabContRec(), code, cdsContCorr);
  if (cdsContCorr.isEmpty()) {
    fmt::print("no account {} in company {}\n", code, a.company);
    return;
  }
  for (const auto& f : records::BankAccountRecord().fields())
    fmt::print("{:<15} {}\n", f.name, cdsContCorr.valueOf(f.name).asString());
  fmt::print("{:<15} {} (emission), {} (e-mail)\n", "bank used",
             bank::CodigoEmissao(cdsContCorr.valueOf("CDBANCCNAB").asString(),
                                 cdsContCorr.valueOf("CDBANCOCONV").asString()),
             bank::CodigoEmail(cdsContCorr.valueOf("CDBANCCNAB").asString(),
                               cdsContCorr.valueOf("CDBANCOCONV").asString()));
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto args = std::make_shared<AccountArgs>();
  auto* c = app.add_subcommand("account", "show a collection account fetched from the service");
  c->add_option("code", args->code, "account code (CDREDUCONT)")->required();
  c->add_option("--company", args->company, "company")->capture_default_str();
  c->callback([args] { showAccount(*args); });
}};

}  // namespace
