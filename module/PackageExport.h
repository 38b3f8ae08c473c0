#pragma once
// What every entry point of the package shares: exported by name as a plain C function, and
// no error ever crossing into the host's code (it is shown as the module shows its errors).

#include <exception>

#include "host/Dialogs.h"
#include "host/Errors.h"

#define PKG_EXPORT extern "C" __attribute__((visibility("default")))

namespace rec {

/// Runs `f`; a silent abort ends it quietly, any other error is shown with the caption
/// "Boleto". True when `f` completed.
template <class F>
bool guarded(F&& f) {
  try {
    f();
    return true;
  } catch (const host::OperationAborted&) {
  } catch (const host::ServiceError& e) {
    host::dialogs().error(e.key(), "Boleto");
  } catch (const std::exception& e) {
    host::dialogs().error(e.what(), "Boleto");
  }
  return false;
}

}  // namespace rec
