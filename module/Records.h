#pragma once
// The bank-code substitutions the emission and e-mail screens apply to a collection account
// when they load it; the rules themselves are the banks' (host/bank). The records' field
// tables are in records/Tables.h.

#include <string>
#include <string_view>

#include "host/ClientDataset.h"

namespace rec {

/// The registration form at the bank: "1" when the account leaves it empty.
std::string registrationForm(std::string_view idFormCadBanc);

/// Applies the emission (or e-mail) bank-code substitution of the banks' rules
/// (`bank::CodigoEmissao`, `bank::CodigoEmail`) to the current row of a loaded `cdsContCorr`.
void normalizeBankCodeForEmission(host::ClientDataset& cdsContCorr);
void normalizeBankCodeForMail(host::ClientDataset& cdsContCorr);

}  // namespace rec
