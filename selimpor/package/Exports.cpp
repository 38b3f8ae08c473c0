// The import selection's creator in the package the host loads.

#include "module/PackageExport.h"
#include "selimpor/Cli_rec12007.h"

namespace {
// The register inside the package opens the screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaSelImpor(), true);
}  // namespace

/// The import selection for the company and the customer; modeless.
PKG_EXPORT void CriaSelImpNF(const char* company, const char* customer) {
  rec::guarded([&] { rec::CriaSelImpNF(company ? company : "", customer ? customer : ""); });
}
