// The write-off by loss's creator in the package the host loads.

#include "module/PackageExport.h"
#include "perdas/Cli_rec14002.h"

/// The write-off by loss of the register's marked boletos, for the company; modal.
PKG_EXPORT int CriaBaixa_Perda(const char* company) {
  int result = 0;
  rec::guarded([&] { result = rec::CriaBaixa_Perda(company ? company : ""); });
  return result;
}
