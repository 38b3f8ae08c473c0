// The carnê screen's creator in the package the host loads.

#include "carne/Cli_rec01200.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package opens the carnê through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaImprimeCarne(), true);
}  // namespace

/// The carnê of the register's order (records/EmissionOrder.h); a null order is refused
/// (result 0).
PKG_EXPORT int CriaImprimeCarne(const records::EmissionOrder* order) {
  if (order == nullptr) return host::mrNone;
  int result = host::mrNone;
  rec::guarded([&] { result = rec::CriaImprimeCarne(*order); });
  return result;
}
