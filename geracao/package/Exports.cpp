// The generation screen's creator in the package the host loads.

#include "geracao/Cli_rec12006.h"
#include "module/PackageExport.h"

namespace {
// The register inside the package opens the screen through the creators table.
[[maybe_unused]] const bool kInstalled = (rec::InstalaGerarBoleto(), true);
}  // namespace

/// The generation of text files for the boletos of `klsImporBoleto` with the numbering list
/// `klsCodigoBarra` on `account`; null lists are refused (result 0).
PKG_EXPORT int CriaGerarBoleto(host::TKeyList* klsCodigoBarra, const char* account,
                               host::TKeyList* klsImporBoleto) {
  if (klsCodigoBarra == nullptr || klsImporBoleto == nullptr) return host::mrNone;
  int result = host::mrNone;
  rec::guarded([&] {
    result = rec::CriaGerarBoleto(*klsCodigoBarra, account ? account : "", *klsImporBoleto);
  });
  return result;
}
