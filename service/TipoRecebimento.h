#pragma once
// Payment types of a boleto (receipt types, cards, registered cheques, SetTpRecBoleto).

#include <soci/soci.h>

namespace service {

/// Demo data of the payment types: the display masks of the banks cheques come from.
void seedTipoRecebimentoDemo(soci::session& sql);

}  // namespace service
