#pragma once
// The areas of methods, each registering its handlers against the declarations of
// records/Methods.h.

#include "records/Methods.h"

namespace service {

class Dispatcher;

void registerAcesso(Dispatcher& d);
void registerContaCorrente(Dispatcher& d);
void registerBoletos(Dispatcher& d);
void registerListas(Dispatcher& d);
void registerOpcoes(Dispatcher& d);
void registerNumeracao(Dispatcher& d);
void registerConsultas(Dispatcher& d);
void registerRegistro(Dispatcher& d);
void registerDadosRec(Dispatcher& d);
void registerEmissao(Dispatcher& d);
void registerSelImpor(Dispatcher& d);
void registerConjuga(Dispatcher& d);
void registerEmail(Dispatcher& d);
void registerAjustes(Dispatcher& d);
void registerParcelas(Dispatcher& d);
void registerTipoRecebimento(Dispatcher& d);
void registerAgrupamento(Dispatcher& d);
void registerDiretorio(Dispatcher& d);

}  // namespace service
