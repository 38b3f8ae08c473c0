#pragma once
// What the numbering needs of the application service: sequences, the uniqueness of a nosso
// número within its account, the store of the codes, and identified deposits. The remote
// connection implements it; tests use a fake.

#include <optional>
#include <string>
#include <vector>

#include "records/Methods.h"

namespace numbering {

/// A boleto that already carries a nosso número (a row of GetValNosNumero's packet).
struct NossoNumeroEmUso {
  std::string CDNOSNUMREC;
  std::string CDREDUCONT;
};

/// The answer of GetInfoDepIdent: the cost centre, or the service's error text.
struct InfoDepIdent {
  std::string CDCENTCUST;
  std::optional<std::string> erro;
};

class NumberingService {
 public:
  virtual ~NumberingService() = default;
  /// Current value of a named sequence ("NOSSONUMERO" + account, "NOSSONUMPREIMP" + account).
  virtual std::string GetNossoNumero(const std::string& sequence) = 0;
  /// The boletos of the account that already carry this nosso número; empty when it is free.
  virtual std::vector<NossoNumeroEmUso> GetValNosNumero(std::string& nossoNumero,
                                                        const std::string& cdReduCont) = 0;
  /// Stores typed line, barcode and nosso número (or the deposit identifier) on the boleto;
  /// the in-out arguments come back as the service keeps them.
  virtual void SetCodBarra(rpc::SetCodBarra codigos) = 0;
  /// CDRESULT of the company and bank's use of identified deposits.
  virtual std::string GetVdDepIdent(const std::string& cdEmpresa, const std::string& cdBanco) = 0;
  virtual InfoDepIdent GetInfoDepIdent(const std::string& cdBanco, std::string& cdFilial,
                                       std::string& nrLanBolRec) = 0;
  /// Next identified-deposit sequence of the branch (digits).
  virtual std::string GetSeqDepIdent(std::string& cdFilial) = 0;
};

}  // namespace numbering
