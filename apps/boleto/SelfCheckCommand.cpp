// `boleto selfcheck`: checks that the arithmetic this machine's build does is the one the
// module relies on (rounding of halves, date arithmetic, Brazilian formats).

#include <fmt/format.h>

#include <functional>
#include <string>
#include <vector>

#include "apps/boleto/Commands.h"
#include "host/Consiste.h"
#include "host/DateTime.h"
#include "host/Errors.h"

namespace {

struct Check {
  std::string name;
  std::function<bool()> ok;
};

int runSelfCheck() {
  using host::DateTime;
  const std::vector<Check> checks = {
      {"RoundDec(2, 1.005) = 1.01", [] { return host::RoundDec(2, 1.005) == 1.01; }},
      {"RoundDec(2, 2.675) = 2.68", [] { return host::RoundDec(2, 2.675) == 2.68; }},
      {"RoundDec(3, 0.0335) = 0.034", [] { return host::RoundDec(3, 0.0335) == 0.034; }},
      {"1234.5 shown as 1.234,50", [] { return host::FormatBr(1234.5) == "1.234,50"; }},
      {"9999 days after 07/10/1997 is 21/02/2025",
       [] {
         return DateTime::fromYmd(1997, 10, 7).addDays(9999).format("dd/mm/yyyy") == "21/02/2025";
       }},
      {"\"22022025\" read as ddmmyyyy",
       [] {
         auto d = DateTime::parse("22022025", "ddmmyyyy");
         return d && *d == DateTime::fromYmd(2025, 2, 22);
       }},
      {"Ajusta(\"1\", 3) = \"001\"", [] { return host::Ajusta("1", 3) == "001"; }},
  };
  int failed = 0;
  for (const auto& c : checks) {
    const bool ok = c.ok();
    fmt::print("  {} {}\n", ok ? "ok  " : "FAIL", c.name);
    if (!ok) ++failed;
  }
  fmt::print("selfcheck: {} passed, {} failed\n", checks.size() - static_cast<size_t>(failed),
             failed);
  return failed;
}

const cli::Registrar kSelfCheck{[](CLI::App& app) {
  auto* cmd = app.add_subcommand("selfcheck", "Check the arithmetic and formats of this build");
  cmd->callback([] {
    if (runSelfCheck() != 0) throw host::OperationError("self-check failed");
  });
}};

}  // namespace
