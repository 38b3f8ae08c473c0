// boleto letters: "Enviar Carta de Cobrança" headless. The register opens on the company's
// boletos and its e-mail menu's command loads the host's collection letters by name, which
// write one letter per customer with overdue boletos into the report directory.

#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "apps/boleto/Commands.h"
#include "apps/boleto/DatabaseOptions.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Context.h"

namespace {

namespace fs = std::filesystem;

struct LettersArgs {
  std::string company = "04";
  std::string dir;
  std::string packageDir;
};

/// Where the collection letters' package is looked for when neither --package-dir nor the
/// context names a place: $BOLETO_PACKAGE_DIR, beside this program, where an installation puts
/// the host's packages (../lib/boleto from the program), then the build tree.
std::string defaultPackageDir() {
  if (const char* env = std::getenv("BOLETO_PACKAGE_DIR"); env != nullptr && *env != '\0')
    return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  std::vector<fs::path> places;
  if (!ec) {
    places.push_back(self.parent_path());
    places.push_back(self.parent_path().parent_path() / BOLETO_PACKAGE_INSTALL_DIR);
  }
  places.emplace_back(BOLETO_PACKAGE_BUILD_DIR);
  for (const auto& p : places)
    if (fs::exists(p / "REC01100.so", ec)) return p.string();
  // None has it: the first place is the one the error names.
  return places.front().string();
}

int letters(const LettersArgs& a) {
  auto& options = cli::databaseOptions();
  // Set before the session reads the context: a --set or context file of the operator's
  // keeps the last word only where this command was not told otherwise.
  if (!a.dir.empty()) options.contextSets.push_back("report-dir=" + a.dir);
  if (!a.packageDir.empty()) {
    options.contextSets.push_back("package-dir=" + a.packageDir);
  } else {
    host::ContextSettings given;
    if (!options.contextFile.empty()) given = host::ContextSettings::fromFile(options.contextFile);
    bool named = !given.packageDir.empty();
    for (const auto& item : options.contextSets)
      if (item.rfind("package-dir=", 0) == 0) named = true;
    if (!named) options.contextSets.push_back("package-dir=" + defaultPackageDir());
  }
  cli::HeadlessRegister session(a.company, true);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    const int errorsBefore = session.dialogs().errors();
    const size_t informedBefore = session.dialogs().informed().size();
    reg.control("mnuEnviaNota").click();
    const int status = session.dialogs().errors() > errorsBefore ? 1 : 0;
    if (status == 0)
      for (size_t i = informedBefore; i < session.dialogs().informed().size(); ++i)
        fmt::print("{}\n", session.dialogs().informed()[i]);
    reg.close();
    return status;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<LettersArgs>();
  auto* c = app.add_subcommand(
      "letters",
      "write the collection letters of a company's overdue boletos, as \"Enviar Carta de "
      "Cobrança\"");
  c->add_option("--company", a->company, "company")->capture_default_str();
  c->add_option("--dir", a->dir,
                "report directory: the letters go to its Cartas_Cobranca/<today> folder "
                "(default: the context's report-dir)");
  c->add_option("--package-dir", a->packageDir,
                "directory of the collection letters' package REC01100.so (default: the "
                "context's package-dir, $BOLETO_PACKAGE_DIR, beside this program, ../lib/boleto)");
  c->callback([a] {
    if (const int rc = letters(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
