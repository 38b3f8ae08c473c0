// The discount screen's creator in the package the host loads.

#include <string>

#include "descadia/Cli_rec12005.h"
#include "module/PackageExport.h"

namespace {
// Marking inside the package opens the screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaDescAdia(), true);
}  // namespace

/// The discount of a boleto by its customer's advances ("0") or devolutions ("1"); its modal
/// result.
PKG_EXPORT int CriaDescAdi(double value, const char* customer, const char* company,
                           const char* number, const char* branch, const char* kind) {
  const auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaDescAdi(value, text(customer), text(company), text(number), text(branch),
                              text(kind));
  });
  return result;
}
