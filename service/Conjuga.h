#pragma once
// What an association is, whoever asks for it: the association screen joins the boletos of
// many customers (AssociaBoletos), the register those of one (AgrupaBoleto). Both check the
// boletos they replace in the same way and store the new boleto in the same way.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/ClientDataset.h"
#include "host/DateTime.h"
#include "records/Tables.h"
#include "remote/Variant.h"
#include "service/Money.h"

namespace service {

class CallContext;

/// A packet argument as a dataset holding every field of `table` ("ARG_INVALIDO" otherwise).
void loadPacket(CallContext& ctx, const remote::Variant& arg, const records::Table& table,
                host::ClientDataset& ds);

/// The boletos one new boleto replaces: their keys (branch, number) in the caller's order,
/// and their net and gross totals in centavos.
struct Joined {
  std::vector<std::pair<std::string, std::string>> parts;
  int64_t net = 0, gross = 0;
};

/// The rows of `replaced` (CDFILIAL, NRLANBOLREC, CDCLIENTE, VRFINALBREC), each checked
/// against what is stored, by customer: a boleto of the company ("BOL_NC"), open and not
/// cleared ("BOL_BAIXADO"), of that customer, not an instalment ("CNT_PREV"), worth what the
/// caller read ("VRBOL_Dif"), listed once ("CNT_DUP").
std::map<std::string, Joined> checkReplaced(CallContext& ctx, const std::string& company,
                                            const host::ClientDataset& replaced);

/// The branch the new boletos are stored in, padded: one of the company's ("Filial_inf").
std::string associationBranch(CallContext& ctx, const std::string& given,
                              const std::string& company);

/// Stores the new boleto in `branch` with the next number of the branch, for exactly the
/// totals of `joined`, with the collection data of its first boleto and the due date, type
/// and account given, and without nosso número, barcode or typed line (it is numbered when
/// emitted); moves the receivables to it and closes the replaced boletos. The new number.
std::string storeJoined(CallContext& ctx, const std::string& branch, const Joined& joined,
                        const host::DateTime& due, const std::string& type,
                        const std::string& account);

}  // namespace service
