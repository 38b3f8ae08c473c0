#include "module/Records.h"

#include "host/Errors.h"

namespace rec {

std::string bankCodeForEmission(std::string_view cdBancCnab, std::string_view cdBancoConv) {
  if (cdBancCnab == "025") return "237";
  if (cdBancCnab == "612") return "341";
  if (cdBancCnab == "637" && !cdBancoConv.empty()) return std::string(cdBancoConv);
  return std::string(cdBancCnab);
}

std::string bankCodeForMail(std::string_view cdBancCnab, std::string_view cdBancoConv) {
  if (cdBancoConv == "237") return "237";
  return std::string(cdBancCnab);
}

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
  rewriteBank(ds, bankCodeForEmission(ds.valueOf("CDBANCCNAB").asString(),
                                      ds.valueOf("CDBANCOCONV").asString()));
}

void normalizeBankCodeForMail(host::ClientDataset& ds) {
  if (ds.isEmpty()) return;
  rewriteBank(ds, bankCodeForMail(ds.valueOf("CDBANCCNAB").asString(),
                                  ds.valueOf("CDBANCOCONV").asString()));
}

}  // namespace rec
