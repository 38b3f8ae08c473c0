#pragma once
// What the register hands the emission screen: the boletos to emit, in print order, with the
// lists the emission reads them by, and the few settings and services of the register the
// emission needs. The register fills it (`TfrmHabContRec::ordemEmissao`) and passes it to
// the emission's creator; the emission reads nothing else of the register.

#include <functional>
#include <string>

#include "host/ClientDataset.h"
#include "host/KeyList.h"

namespace records {

/// The hand-off of "Emitir Boleto". Everything referred to is the register's and must outlive
/// the emission screen, which runs modal inside the register's operation.
struct EmissionOrder {
  /// One entry per boleto to emit, in print order: key branch + number + nosso número;
  /// values due date, customer, net value, the print model it was emitted with.
  host::TKeyList& klEmissao;
  /// Per boleto key: portfolio, account, due date, net value, write-off type, status, carteira
  /// code, instalment (the numbering's view of the boleto).
  host::TKeyList& klCarteira;
  /// The collection accounts of the boletos; the emission works on the first.
  host::TKeyList& klContas;
  /// The boletos to emit, with the columns of `records::cdsBolEmitOrd()`.
  host::ClientDataset& cdsBolEmitOrd;
  /// The company the register works on (its connection's).
  std::string CDEMPRESA;
  /// The general setting IDSISDOS: "3" where identified deposits and debit notes are printed.
  std::string IDSISDOS;
  /// The general setting IDEXIBDADORC: "S" where event budgets (and promissory notes) are used.
  std::string IDEXIBDADORC;
  /// Orders `cdsBolEmitOrd` by the print order of the general settings.
  std::function<void()> AplicaOrdemImpres;
  /// Refreshes a report template from the service into the report directory when the
  /// service's copy is newer.
  std::function<void(const std::string& fileName)> BaixaRelatorio;
};

}  // namespace records
