// The package's exported entry points, looked up by name by the host that loads it.

#include "host/Host.h"
#include "module/HostPorts.h"
#include "module/PackageExport.h"
#include "module/Units.h"

PKG_EXPORT void Initialize() {
  rec::initializeUnits();
}

PKG_EXPORT void Finalize() {
  rec::finalizeUnits();
  rec::releaseHostPorts();
}

/// How often a unit's initialization (or finalization) ran; -1 for an unknown unit.
PKG_EXPORT int UnitInitializations(const char* unit) {
  return rec::unitInitializations(unit);
}
PKG_EXPORT int UnitFinalizations(const char* unit) {
  return rec::unitFinalizations(unit);
}

/// The loading program's ports (context, dialogs, direct queries, screen host, service
/// transport, clock); false (and nothing installed) when `ports` is null or of another
/// version.
PKG_EXPORT bool InstalaHost(const host::Host* ports) {
  if (ports == nullptr || ports->version != host::Host::kVersion) return false;
  rec::installHostPorts(*ports);
  return true;
}
