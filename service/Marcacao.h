#pragma once
// What marking boletos asks of the service: open advances and returns of a customer, and the
// boletos of a list whose customer has either.

#include <soci/soci.h>

namespace service {

class Dispatcher;

void registerMarcacao(Dispatcher& d);

/// Demo data for marking: an open return, a company that discounts returns, and a boleto of
/// receivable type "2" of the customer with an advance.
void loadMarkingDemo(soci::session& sql);

}  // namespace service
