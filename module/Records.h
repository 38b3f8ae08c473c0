#pragma once
// The bank-code substitutions the emission and e-mail screens apply to a collection account
// when they load it. (The records' field tables are in records/Tables.h.)

#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"

namespace rec {

/// The bank of the barcode and numbering as the emission screen derives it from an account:
/// "025" becomes "237", "612" becomes "341", and "637" becomes the agreement bank
/// `CDBANCOCONV` when that is not empty; any other code stays.
std::string bankCodeForEmission(std::string_view cdBancCnab, std::string_view cdBancoConv);
/// The same for the e-mail screen, which knows one rule only: an agreement with bank "237"
/// makes the bank "237".
std::string bankCodeForMail(std::string_view cdBancCnab, std::string_view cdBancoConv);
/// The registration form at the bank: "1" when the account leaves it empty.
std::string registrationForm(std::string_view idFormCadBanc);

/// Applies the emission (or e-mail) rule to the current row of a loaded `cdsContCorr`.
void normalizeBankCodeForEmission(host::ClientDataset& cdsContCorr);
void normalizeBankCodeForMail(host::ClientDataset& cdsContCorr);

}  // namespace rec
