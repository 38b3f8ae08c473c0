#pragma once
// The Pix "copia e cola" text a boleto carries beside its barcode (the hybrid boleto): built
// from its account's Pix key when it is emitted, or the one the bank returned; like the nosso
// número, a text once stored never changes.

#include <string>

namespace service {

class CallContext;
class Dispatcher;

/// Gives the boleto `branch`/`number`, when it has a barcode, no Pix text yet and an account
/// with a Pix key, the static BR Code of its charge: the key, the boleto's value, the company
/// as the receiver, the branch's city, the boleto's key as the transaction id. Refuses
/// ("PIX_CHAVE") an account key that is not a Pix key and ("PIX_DADOS") a charge that cannot
/// be written (no city for the branch); nothing is stored then.
void completePix(CallContext& ctx, const std::string& branch, const std::string& number);

/// Registers `SetPixBoleto`.
void registerPix(Dispatcher& d);

}  // namespace service
