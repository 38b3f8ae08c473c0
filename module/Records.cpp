#include "module/Records.h"

#include "host/bank/BankLayout.h"

namespace rec {

std::string registrationForm(std::string_view idFormCadBanc) {
  return idFormCadBanc.empty() ? std::string("1") : std::string(idFormCadBanc);
}

namespace {
void rewriteBank(host::ClientDataset& ds, const std::string& code) {
  if (ds.valueOf("CDBANCCNAB").asString() == code) return;
  ds.edit();
  ds.fieldByName("CDBANCCNAB").setString(code);
  ds.post();
}
}  // namespace

void normalizeBankCodeForEmission(host::ClientDataset& ds) {
  if (ds.isEmpty()) return;
  rewriteBank(ds, bank::CodigoEmissao(ds.valueOf("CDBANCCNAB").asString(),
                                      ds.valueOf("CDBANCOCONV").asString()));
}

void normalizeBankCodeForMail(host::ClientDataset& ds) {
  if (ds.isEmpty()) return;
  rewriteBank(ds, bank::CodigoEmail(ds.valueOf("CDBANCCNAB").asString(),
                                    ds.valueOf("CDBANCOCONV").asString()));
}

}  // namespace rec
