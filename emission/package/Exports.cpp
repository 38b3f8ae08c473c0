// The emission screen's creator in the package the host loads.

#include "emission/ImprimeBol.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package opens the emission through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaImprimeBol(), true);
}  // namespace

/// The emission of the register's order (records/EmissionOrder.h); a null order is refused
/// (result 0).
PKG_EXPORT int CriaImprimeBol(const records::EmissionOrder* order, const char* directory,
                              bool reissue, bool emit) {
  if (order == nullptr) return host::mrNone;
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaImprimeBol(*order, directory != nullptr ? directory : "", reissue, emit);
  });
  return result;
}

/// Told after each boleto an emission run numbered and output: how many so far, of how
/// many, and the boleto's key. A null `progress` stops telling.
PKG_EXPORT void SetEmissionProgress(void (*progress)(size_t done, size_t total, const char* key,
                                                     void* user),
                                    void* user) {
  if (progress == nullptr) {
    rec::setEmissionProgress(nullptr);
    return;
  }
  rec::setEmissionProgress([progress, user](size_t done, size_t total, const std::string& key) {
    progress(done, total, key.c_str(), user);
  });
}
