// The emission screen's creator in the package the host loads.

#include "emission/ImprimeBol.h"
#include "module/PackageExport.h"

/// The key lists are the caller's and stay so; a null list is refused (result 0).
PKG_EXPORT int CriaImprimeBol(host::TKeyList* klEmissao, host::TKeyList* klCarteira,
                              const char* account, const char* directory, bool reissue,
                              bool emit) {
  if (klEmissao == nullptr || klCarteira == nullptr) return host::mrNone;
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaImprimeBol(*klEmissao, *klCarteira, account != nullptr ? account : "",
                                 directory != nullptr ? directory : "", reissue, emit);
  });
  return result;
}
