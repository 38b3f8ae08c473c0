// The emission screen's creator in the package the host loads: a plain C function, looked up
// by name; no error crosses into the host's code.

#include "emission/ImprimeBol.h"
#include "host/Dialogs.h"
#include "host/Errors.h"

#define PKG_EXPORT extern "C" __attribute__((visibility("default")))

/// The key lists are the caller's and stay so; a null list is refused (result 0).
PKG_EXPORT int CriaImprimeBol(host::TKeyList* klEmissao, host::TKeyList* klCarteira,
                              const char* account, const char* directory, bool reissue,
                              bool emit) {
  if (klEmissao == nullptr || klCarteira == nullptr) return host::mrNone;
  try {
    return rec::CriaImprimeBol(*klEmissao, *klCarteira, account != nullptr ? account : "",
                               directory != nullptr ? directory : "", reissue, emit);
  } catch (const host::OperationAborted&) {
  } catch (const host::ServiceError& e) {
    host::dialogs().error(e.key(), "Boleto");
  } catch (const std::exception& e) {
    host::dialogs().error(e.what(), "Boleto");
  }
  return host::mrNone;
}
