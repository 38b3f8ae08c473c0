#include <stdexcept>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "numbering/Numerador.h"

namespace numbering {

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
  // The prefix and the digit are the bank's; a bank without identified deposits has
  // neither, and its code ends with "-".
  const bank::BankLayout* layout = bank::findBank(conta_.CDBANCCNAB);
  std::string c = (layout ? layout->depositPrefix() : std::string()) + "601" + "0" + digitoEmpresa +
                  host::Ajusta(host::AllTrim(info.CDCENTCUST), 4) +
                  host::Ajusta(host::AllTrim(servico_.GetSeqDepIdent(filial)), 5);
  if (!host::IsDigits(c)) mensagens_.Error("NosNumInv");
  std::string id = c + "-" + (layout ? layout->depositDigit(c) : std::string());
  return id.substr(0, 30);
}

}  // namespace numbering
