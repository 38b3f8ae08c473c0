// The `boleto` command line: the boleto module without the desktop.

#include <fmt/format.h>

#include <cstdio>
#include <exception>

#include "apps/boleto/Commands.h"
#include "apps/boleto/DatabaseOptions.h"
#include "host/DateTime.h"
#include "host/Errors.h"
#include "host/Host.h"

namespace cli {
std::vector<CommandInstaller>& installers() {
  static std::vector<CommandInstaller> all;
  return all;
}
}  // namespace cli

int main(int argc, char** argv) {
  CLI::App app{"boleto: the register, numbering and emission of bank payment slips (boletos)",
               "boleto"};
  app.require_subcommand(1);
  for (auto& install : cli::installers()) install(app);
  // The machine's clock is "today" for the whole run; the commands add the other ports.
  host::HostScope processHost({.clock = std::make_shared<host::SystemClock>()});
  // The --server session ends with the command, however it ends.
  struct Closing {
    ~Closing() { cli::closeConfiguredService(); }
  } closing;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const host::OperationError& e) {
    fmt::print(stderr, "boleto: {}\n", e.what());
    return 1;
  } catch (const host::ServiceError& e) {
    fmt::print(stderr, "boleto: the service refused: {}{}{}\n", e.key(),
               e.detail().empty() ? "" : ": ", e.detail());
    return 1;
  } catch (const std::exception& e) {
    fmt::print(stderr, "boleto: {}\n", e.what());
    return 2;
  }
  return 0;
}
