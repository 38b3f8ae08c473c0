#pragma once
// The numbering fields of a collection account (a row of cdsContCorr) and the bank-code
// substitutions applied when a screen loads it.

#include <string>

namespace host {
class ClientDataset;
}

namespace numbering {

/// One collection account as the numbering reads it.
struct BankAccountRow {
  std::string CDREDUCONT;  ///< short code: key of the account's sequences
  std::string CDBANCO;     ///< bank of the account
  std::string CDBANCCNAB;  ///< bank of the barcode and of the numbering rules
  std::string CDAGENCIA;
  std::string CDCONTCORR;
  std::string CDBANCOCONV;     ///< bank of a correspondent agreement
  std::string CDCEDENTEBAN;    ///< payee code or agreement number at the bank
  std::string CDOPERCONTCORR;  ///< operation code of the account
  std::string DSNOSNUMCORR;    ///< nosso número template
  std::string DSDACNOSNUMR;    ///< nosso número template as the typed line carries it
  std::string IDFORMCADBANC;   ///< registration form, "1" when empty
  std::string IDVERFXNUMC, NRININOSNUMC, NRFIMNOSNUMC;  ///< range of the complete model
  std::string IDVERFXNUMP, NRININOSNUMP, NRFIMNOSNUMP;  ///< range of the pre-printed model

  /// The registration form, "1" when none is set.
  std::string formaCadastro() const { return IDFORMCADBANC.empty() ? "1" : IDFORMCADBANC; }
};

/// The numbering fields of the current row of a collection account's dataset (`cdsContCorr`,
/// a GetCont_Corr packet), trimmed; a field the dataset lacks stays empty. Not normalised.
BankAccountRow BankAccountRowOf(const host::ClientDataset& ds);

/// As the emission screen loads an account: a bank that issues through another takes that
/// bank's code (`bank::CodigoEmissao`).
void NormalizaBanco(BankAccountRow& row);
/// As the e-mail screen loads an account (`bank::CodigoEmail`).
void NormalizaBancoEmail(BankAccountRow& row);

}  // namespace numbering
