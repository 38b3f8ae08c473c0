// The register's entry points in the package the host loads.

#include "module/PackageExport.h"
#include "register/HabContRec.h"

PKG_EXPORT void IniProc() {
  rec::guarded([] { rec::IniProc(); });
}

PKG_EXPORT void CriaHabConta() {
  rec::guarded([] { rec::CriaHabConta(); });
}

PKG_EXPORT int CriaFiltroHabRec(const char* mode) {
  int result = 0;
  rec::guarded([&] { result = rec::CriaFiltroHabRec(mode != nullptr ? mode : ""); });
  return result;
}
