#pragma once
// The look-ups behind the register's field checks: collection accounts with their boleto
// message, write-off types, collection instructions per bank, origin branches, the state of
// a boleto, cleared boletos and registered cheques.

#include <soci/soci.h>

namespace service {

class Dispatcher;

void registerValidacoes(Dispatcher& d);

/// Demo rows the checks answer from: instructions of every bank, registered cheques, one
/// cleared boleto and the write-off numbers of the written-off boletos.
void seedValidacoesDemo(soci::session& sql);

/// The condition on CLIENTE's columns of a customer without the address a boleto needs.
extern const char* const kWithoutAddress;

}  // namespace service
