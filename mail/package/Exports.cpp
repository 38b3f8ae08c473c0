// The e-mail screen's creator in the package the host loads.

#include "mail/EnvBolMail.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package opens the e-mail screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaEnvBolMail(), true);
}  // namespace

/// The e-mail screen for the register's order (records/EmissionOrder.h); `sent` is told the
/// key of each boleto sent (may be null). A null order is refused (result 0).
PKG_EXPORT int CriaEnvBolMail(const records::EmissionOrder* order,
                              void (*sent)(const char* key, void* user), void* user) {
  if (order == nullptr) return host::mrNone;
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaEnvBolMail(*order, [sent, user](const std::string& key) {
      if (sent != nullptr) sent(key.c_str(), user);
    });
  });
  return result;
}

/// Told after each boleto of an e-mail run: how many were sent so far, of how many, the
/// boleto's key, and whether it was sent (false: skipped with a message). A null `progress`
/// stops telling.
PKG_EXPORT void SetMailProgress(void (*progress)(size_t done, size_t total, const char* key,
                                                 bool sent, void* user),
                                void* user) {
  if (progress == nullptr) {
    rec::setMailProgress(nullptr);
    return;
  }
  rec::setMailProgress(
      [progress, user](size_t done, size_t total, const std::string& key, bool sent) {
        progress(done, total, key.c_str(), sent, user);
      });
}
