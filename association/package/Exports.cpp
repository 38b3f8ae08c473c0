// The association screen's creator in the package the host loads.

#include <string>

#include "association/Cli_rec12013.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package opens the screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaConjulgarBoleto(), true);
}  // namespace

/// The association screen for `company`; its modal result.
PKG_EXPORT int CriaConjulgarBoleto(const char* company) {
  int result = host::mrNone;
  rec::guarded([&] { result = rec::CriaConjulgarBoleto(company != nullptr ? company : ""); });
  return result;
}
