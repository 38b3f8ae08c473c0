#pragma once
// Subcommands of the `boleto` command line register themselves here, one file per area,
// so that adding a command touches no central list.

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

namespace cli {

/// Adds one area's subcommands to the application.
using CommandInstaller = std::function<void(CLI::App&)>;

std::vector<CommandInstaller>& installers();

/// Registers an installer at program start: `static cli::Registrar r{[](CLI::App& app){...}};`
struct Registrar {
  explicit Registrar(CommandInstaller install) { installers().push_back(std::move(install)); }
};

}  // namespace cli
