#pragma once
// The two records that cross nearly every screen: the boleto and its collection account.
// Their fields are declared once, here; packets, grids, look-ups and the service's argument
// checks all read these tables.

#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"

namespace rec {

/// `BoletoRecord`: the fields of `cdsBoletos`, in order. Key `CDFILIAL` + `NRLANBOLREC`.
const std::vector<host::FieldDef>& BoletoRecord();
/// `BankAccountRecord`: the fields of `cdsContCorr`, in order.
const std::vector<host::FieldDef>& BankAccountRecord();

/// The key fields of a boleto, as locates name them.
inline constexpr std::string_view kBoletoKeyFields = "CDFILIAL;NRLANBOLREC";

/// One field of a table by name; throws host::InvariantError for a name that is not there.
const host::FieldDef& fieldOf(const std::vector<host::FieldDef>& table, std::string_view name);

/// The 14-character key of a boleto: branch (4) followed by entry number (10).
std::string boletoKey(std::string_view cdFilial, std::string_view nrLanBolRec);

/// The registration form at the bank: "1" when the account leaves it empty.
std::string registrationForm(std::string_view idFormCadBanc);

/// Applies the emission (or e-mail) bank-code substitution of the banks' rules
/// (`bank::CodigoEmissao`, `bank::CodigoEmail`) to the current row of a loaded `cdsContCorr`.
void normalizeBankCodeForEmission(host::ClientDataset& cdsContCorr);
void normalizeBankCodeForMail(host::ClientDataset& cdsContCorr);

}  // namespace rec
