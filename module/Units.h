#pragma once
// The units of the package and the state each exports, with the package's load and unload:
// each unit's initialization and finalization run once however often they are called.

#include <string>

#include "host/KeyList.h"

namespace Cli_rec12000 {
extern bool boStCriado;          ///< the register screen exists
extern bool boAtualiza;          ///< posting an adjustment refreshes the list
extern bool BoCreditoEmConta;    ///< set by the register's emission preparation, for the host
extern std::string stLista;      ///< the register's selection list on the service
extern std::string stDiretorio;  ///< directory chosen for saved boletos
}  // namespace Cli_rec12000

namespace Cli_rec12002 {
extern bool FWorking;  ///< the emission screen is saving reports
extern int inBolErro;  ///< boletos of a file run whose nosso número the service did not keep
}  // namespace Cli_rec12002

namespace Cli_rec12003 {
extern bool boStCriado;
}
namespace Cli_rec12004 {
extern bool boIdCriado;
}
namespace Cli_rec12005 {
extern bool boStCriado;
}
namespace Cli_rec12006 {
extern bool boStCriado;
/// The two key lists given to CriaGerarBoleto; owned by the caller, held here by reference.
extern host::TKeyList* klsCodigoBarra;
extern host::TKeyList* klsImporBoleto;
}  // namespace Cli_rec12006
namespace Cli_rec12007 {
extern bool boStCriado;
}
namespace Cli_rec12009 {
extern std::string stDirBoletos;
}
namespace Cli_rec12010 {
extern bool FWorking;
}
namespace Cli_rec12013 {
extern bool boIdCriado;
}

namespace rec {

/// Runs every unit's initialization that has not run yet (package load).
void initializeUnits();
/// Runs every unit's finalization once its initializations are all undone (package unload).
void finalizeUnits();
/// How often a unit's initialization and finalization actually ran (diagnostics and tests).
int unitInitializations(const std::string& unit);
int unitFinalizations(const std::string& unit);

}  // namespace rec
