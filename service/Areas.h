#pragma once
// The server objects and the areas of methods each registers.

namespace service {

class Dispatcher;

/// The register's server object; every screen of the module calls it.
inline constexpr const char* kHabContRec = "Rec12000.rdmHabContRec";
/// Report designs.
inline constexpr const char* kQRDesign = "Qrd.rdmQRDesign";
/// The host's context answers: the session's operator and its company access.
inline constexpr const char* kAcesso = "Host.rdmAcesso";
/// The host's direct queries, run from their declarations by name.
inline constexpr const char* kQuery = "Host.rdmQuery";
/// The filter screens' saved options, per operator and screen.
inline constexpr const char* kOpcoes = "Host.rdmOpcoes";

void registerAcesso(Dispatcher& d);
void registerContaCorrente(Dispatcher& d);
void registerBoletos(Dispatcher& d);
void registerListas(Dispatcher& d);
void registerOpcoes(Dispatcher& d);
void registerNumeracao(Dispatcher& d);
void registerConsultas(Dispatcher& d);
void registerRegistro(Dispatcher& d);
void registerEmissao(Dispatcher& d);

}  // namespace service
