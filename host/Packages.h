#pragma once
// The host's other packages, loaded by name at run time as the host loads this module.

#include <string>

namespace host {

/// `LoadBPL`: loads the host package `name` ("REC01100") from the context's package directory
/// (beside the module's package, or the program that links it, when none is set) as `name` + ".so",
/// once for the process, hands it the installed ports (its `InstalaHost`, when it has one) and runs
/// its `IniProc`. A package that is not there, does not load or has no `IniProc` stops the
/// operation with an OperationError naming it and the place looked in.
void LoadBPL(const std::string& name);

}  // namespace host
