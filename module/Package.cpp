// The package's exported entry points, looked up by name by the host that loads it.

#include "module/Units.h"

#define PKG_EXPORT extern "C" __attribute__((visibility("default")))

PKG_EXPORT void Initialize() { rec::initializeUnits(); }

PKG_EXPORT void Finalize() { rec::finalizeUnits(); }

/// How often a unit's initialization (or finalization) ran; -1 for an unknown unit.
PKG_EXPORT int UnitInitializations(const char* unit) { return rec::unitInitializations(unit); }
PKG_EXPORT int UnitFinalizations(const char* unit) { return rec::unitFinalizations(unit); }
