// The credit-note screen's entries in the package the host loads.

#include <string>

#include "impnfcred/Cli_rec12003.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package asks and opens the screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaImpNfCred(), true);

std::string text(const char* s) {
  return s != nullptr ? s : "";
}
}  // namespace

/// Has the customer credit notes open in the company?
PKG_EXPORT bool NFDebitoCred(const char* customer, const char* company) {
  bool result = false;
  rec::guarded([&] { result = rec::NFDebitoCred(text(customer), text(company)); });
  return result;
}

/// The credit notes of the customer applied to a boleto; its modal result.
PKG_EXPORT int CriaImpNFCred(const char* branch, const char* number, const char* company,
                             const char* customer, double value) {
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaImpNFCred(text(branch), text(number), text(company), text(customer), value);
  });
  return result;
}
