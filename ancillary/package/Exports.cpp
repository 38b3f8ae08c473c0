// The boleto directory screen's creator in the package the host loads.

#include <string>

#include "ancillary/Cli_rec12009.h"
#include "module/PackageExport.h"

/// The directory chosen; the text stays valid until the next call.
PKG_EXPORT const char* CriaDirBoletos() {
  static std::string chosen;
  rec::guarded([] { chosen = rec::CriaDirBoletos(); });
  return chosen.c_str();
}
