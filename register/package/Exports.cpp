// The register's entry points in the package the host loads: looked up by name, so they are
// plain C functions, and no error crosses into the host's code.

#include "host/Dialogs.h"
#include "host/Errors.h"
#include "register/HabContRec.h"

#define PKG_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

template <class F>
void guarded(F&& f) {
  try {
    f();
  } catch (const host::OperationAborted&) {
  } catch (const host::ServiceError& e) {
    host::dialogs().error(e.key(), "Boleto");
  } catch (const std::exception& e) {
    host::dialogs().error(e.what(), "Boleto");
  }
}

}  // namespace

PKG_EXPORT void IniProc() { guarded([] { rec::IniProc(); }); }

PKG_EXPORT void CriaHabConta() { guarded([] { rec::CriaHabConta(); }); }

PKG_EXPORT int CriaFiltroHabRec(const char* mode) {
  int result = 0;
  guarded([&] { result = rec::CriaFiltroHabRec(mode != nullptr ? mode : ""); });
  return result;
}
