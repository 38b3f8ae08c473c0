#pragma once
// Demo data that exercises every part of the module, and a generator of pending boletos for
// benchmarks.

#include <string>

#include "host/DateTime.h"

namespace service {

class Database;

struct SeedOptions {
  /// Load the demo companies, branches, customers, accounts, receivables and boletos
  /// (skipped when the demo company "04" already exists).
  bool demo = true;
  /// Pending boletos to add to company "04", account "001", due over the next 60 days.
  int extraBoletos = 0;
  /// The demo operator's password; a random one when empty.
  std::string password;
  /// The day the demo data is dated from (due dates, emissions); required.
  host::DateTime today;
};

struct SeedResult {
  bool demoLoaded = false;  ///< false when the demo data was already there
  std::string password;     ///< the demo operator's password when it was set now
  int boletosAdded = 0;
};

SeedResult seed(Database& db, const SeedOptions& options);

/// Check digits of tax numbers, for valid demo data: the 12 (CNPJ) or 9 (CPF) base digits
/// followed by their two check digits.
std::string withCnpjDigits(const std::string& base12);
std::string withCpfDigits(const std::string& base9);

}  // namespace service
