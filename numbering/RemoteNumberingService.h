#pragma once
// The numbering's service calls over the module's remote connection.

#include "numbering/NumberingService.h"

namespace remote {
class Connection;
}

namespace numbering {

/// Sends each call through `connection` and hands every result to CheckResultServ, so a
/// refusal or a dead connection ends the operation with its message.
class RemoteNumberingService final : public NumberingService {
 public:
  explicit RemoteNumberingService(remote::Connection& connection) : conn_(connection) {}

  std::string GetNossoNumero(const std::string& sequence) override;
  std::vector<NossoNumeroEmUso> GetValNosNumero(std::string& nossoNumero,
                                                const std::string& cdReduCont) override;
  void SetCodBarra(rpc::SetCodBarra codigos) override;
  CodigosArmazenados NumeraBoleto(const std::string& cdFilial, const std::string& nrLanBolRec,
                                  const std::string& cdReduCont, const std::string& sequencia,
                                  const std::string& linhaFormatada,
                                  const std::string& codigoBarras, const std::string& nossoNumero,
                                  const std::string& modelo) override;
  CodigosArmazenados CodigosDoBoleto(const std::string& cdFilial,
                                     const std::string& nrLanBolRec) override;
  std::string GetVdDepIdent(const std::string& cdEmpresa, const std::string& cdBanco) override;
  InfoDepIdent GetInfoDepIdent(const std::string& cdBanco, std::string& cdFilial,
                               std::string& nrLanBolRec) override;
  std::string GetSeqDepIdent(std::string& cdFilial) override;

 private:
  remote::Connection& conn_;
};

}  // namespace numbering
