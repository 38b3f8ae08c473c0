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

/// What a boleto carries of its numbering, as the service stored it.
struct CodigosArmazenados {
  std::string nossoNumero;     ///< empty: the boleto has none
  std::string codigoBarras;    ///< 44 digits or empty
  std::string linhaFormatada;  ///< the typed line as stored (formatted) or empty
  std::string modelo;          ///< the model the number was stored for ("1", "2" or empty)
  bool novo = false;           ///< this call stored the number
};

class NumberingService {
 public:
  virtual ~NumberingService() = default;
  /// Current value of a named sequence ("NOSSONUMERO" + account, "NOSSONUMPREIMP" + account).
  virtual std::string GetNossoNumero(const std::string& sequence) = 0;
  /// The boletos of the account that already carry this nosso número; empty when it is free.
  virtual std::vector<NossoNumeroEmUso> GetValNosNumero(std::string& nossoNumero,
                                                        const std::string& cdReduCont) = 0;
  /// Stores typed line, barcode and nosso número (or the deposit identifier) on the boleto; a
  /// stored number is kept, and the in-out arguments come back as the service keeps them.
  virtual void SetCodBarra(rpc::SetCodBarra codigos) = 0;
  /// Numbers a boleto that has none with the codes computed for `sequencia`, moving the
  /// account's counter of `modelo` ("1" pre-printed, "2" complete) to it in the same
  /// transaction; a boleto that has a number keeps it. Returns what the boleto carries.
  /// Refusals arrive as host::ServiceError: "NN_CONCORRENTE" (the counter handed the sequence
  /// out already), "NN_JA_CAD" (another boleto of the account carries the number).
  virtual CodigosArmazenados NumeraBoleto(
      const std::string& cdFilial, const std::string& nrLanBolRec, const std::string& cdReduCont,
      const std::string& sequencia, const std::string& linhaFormatada,
      const std::string& codigoBarras, const std::string& nossoNumero,
      const std::string& modelo) = 0;
  /// The codes a boleto carries now (GetValidaNosNum); an empty number when it has none.
  virtual CodigosArmazenados CodigosDoBoleto(const std::string& cdFilial,
                                             const std::string& nrLanBolRec) = 0;
  /// CDRESULT of the company and bank's use of identified deposits.
  virtual std::string GetVdDepIdent(const std::string& cdEmpresa, const std::string& cdBanco) = 0;
  virtual InfoDepIdent GetInfoDepIdent(const std::string& cdBanco, std::string& cdFilial,
                                       std::string& nrLanBolRec) = 0;
  /// Next identified-deposit sequence of the branch (digits).
  virtual std::string GetSeqDepIdent(std::string& cdFilial) = 0;
};

}  // namespace numbering
