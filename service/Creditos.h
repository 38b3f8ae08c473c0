#pragma once
// Credits a boleto is discounted by: a customer's advances, devolutions and credit notes.

#include <soci/soci.h>

namespace service {

class Dispatcher;

void registerCreditos(Dispatcher& d);

/// Demo credits: one customer with an advance, a devolution and a credit note, and the
/// discount types of each kind of credit.
void loadCreditDemo(soci::session& sql);

}  // namespace service
