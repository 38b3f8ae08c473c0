#include <stdexcept>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/CheckDigits.h"
#include "numbering/Numerador.h"

namespace numbering {
namespace {

std::string prefixo(const std::string& bank) {
  if (bank == "399") return "000005";
  if (bank == "001") return "04";
  if (bank == "237") return "002";
  if (bank == "341") return "3";
  return {};
}

// Weights 20, 19, 18, ... from the rightmost digit; remainder by 11.
int restoDecrescente(const std::string& c) {
  int sum = 0;
  int weight = 20;
  for (size_t i = c.size(); i-- > 0;) sum += (c[i] - '0') * weight--;
  return sum % 11;
}

std::string digito(const std::string& bank, const std::string& c) {
  if (bank == "237") {
    static constexpr int w[] = {2, 3, 4, 5, 6, 7};
    int r = bank::WeightedSum(c, w) % 11;
    return r <= 1 ? "0" : std::to_string(11 - r);
  }
  if (bank == "341") return bank::Mod10(c);
  if (bank == "001") {
    int r = restoDecrescente(c);
    return r == 10 ? "x" : std::to_string(r);
  }
  if (bank == "399") {
    int r = restoDecrescente(c);
    return r == 0 ? "0" : std::to_string(11 - r);
  }
  return {};
}

}  // namespace

bool Numerador::UsaDepIdentificado(const std::string& cdEmpresa) {
  std::string r = servico_.GetVdDepIdent(host::Ajusta(cdEmpresa, 2), conta_.CDBANCO);
  return r.find("EMPR_DI_NH") == std::string::npos && r.find("BANC_DI_NH") == std::string::npos;
}

std::string Numerador::GeraDepIdentificado(const std::string& cdFilial,
                                           const std::string& nrLanBolRec,
                                           const std::string& cdEmpresa) {
  std::string filial = cdFilial, lancamento = nrLanBolRec;
  InfoDepIdent info = servico_.GetInfoDepIdent(conta_.CDBANCO, filial, lancamento);
  if (info.erro) host::MensErro(*info.erro);
  std::string empresa = host::Ajusta(cdEmpresa, 2);
  std::string digitoEmpresa;
  if (empresa == "08")
    digitoEmpresa = "0";
  else if (empresa == "04")
    digitoEmpresa = "6";
  else
    mensagens_.Error("EMPR_DI_NH");
  std::string c = prefixo(conta_.CDBANCCNAB) + "601" + "0" + digitoEmpresa +
                  host::Ajusta(host::AllTrim(info.CDCENTCUST), 4) +
                  host::Ajusta(host::AllTrim(servico_.GetSeqDepIdent(filial)), 5);
  if (!host::IsDigits(c)) mensagens_.Error("NosNumInv");
  std::string id = c + "-" + digito(conta_.CDBANCCNAB, c);
  return id.substr(0, 30);
}

}  // namespace numbering
