// The boleto directory screen's creator in the package the host loads.

#include <string>

#include "ancillary/Cli_rec12009.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package asks for the directory through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaDirBoletos(), true);
}  // namespace

/// The directory chosen; the text stays valid until the next call.
PKG_EXPORT const char* CriaDirBoletos() {
  static std::string chosen;
  rec::guarded([] { chosen = rec::CriaDirBoletos(); });
  return chosen.c_str();
}
