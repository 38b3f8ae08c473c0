#pragma once
// Numbering of boletos for one collection account: the nosso número with its bank's check
// characters, barcode and typed line with the uniqueness of the number, the range check and
// the identified-deposit code. The emission, e-mail and generation screens each build one
// with their account row, their klCarteira and their message table.

#include <optional>
#include <string>

#include "host/DateTime.h"
#include "host/KeyList.h"
#include "host/Messages.h"
#include "numbering/BankAccountRow.h"
#include "numbering/NumberingService.h"

namespace numbering {

/// Which screen's copy of the rules applies.
enum class Tela { Emissao, Email };

/// Print models of the emission screen.
enum class Modelo { PreImpresso = 0, Completo1 = 1, Completo2 = 2 };

/// The texts of the keys that the numbering raises, for screens whose table lacks them.
const host::TMessages& MensagensNumeracao();

/// The codes of one boleto, as the service stored them.
struct CodigosBoleto {
  bool armazenado = false;     ///< the boleto carries a number on the service
  std::string linhaDigitavel;  ///< raw, 47 digits or empty
  std::string linhaFormatada;  ///< 54 characters or empty
  std::string codigoBarras;    ///< as stored
  std::string codigoImagem;    ///< the barcode from which the image is drawn
  std::string nossoNumero;     ///< as the bank prints it, check characters included
  bool outraExecucao = false;  ///< the boleto already carried these codes: nothing was stored
};

/// Number of check characters at the end of a stored nosso número of `bank`.
int RetQtDV(const std::string& bank, const std::string& agreement, const std::string& carteira,
            int seqSize);

/// `digits` plus one with the same number of digits (leading zeros kept); any length.
/// Throws host::OperationError "NosNumInv" for a non-digit and "ERR_GERA_NOSNUM" when the
/// width is exhausted.
std::string IncrementaNumero(const std::string& digits, const host::TMessages& messages);

/// Compares two texts of digits as numbers of any length (leading zeros ignored).
int ComparaNumeros(const std::string& a, const std::string& b);

class Numerador {
 public:
  /// `klCarteira` holds, per boleto key (CDFILIAL + NRLANBOLREC), the array: carteira,
  /// account, due date, net value, -, -, collection type, instalment.
  Numerador(const BankAccountRow& conta, const host::TKeyList& klCarteira,
            NumberingService& servico, const host::TMessages& mensagens = MensagensNumeracao(),
            Tela tela = Tela::Emissao);

  /// Width of the sequence of the account's template; 0 when it is not set up.
  int seqSize() const;
  /// Carteira of a boleto; an empty branch takes the first entry; empty when not listed.
  std::string Carteira(const std::string& cdFilial, const std::string& nrLanBolRec) const;

  /// The nosso número of a sequence with its bank's check characters.
  std::string Retorna_NossoNumero(const std::string& cdFilial, const std::string& nrLanBolRec,
                                  const std::string& tag, const std::string& sequencia,
                                  const std::string& formaCadastro) const;

  /// The value a counter handed out as the template receives it (Caixa's 17-digit numbers
  /// carry the registration form and the issuer in their first two digits). Refuses with
  /// "NOSNUM_ESGOTADO" a value whose digits would be lost.
  std::string SequenciaDoContador(const std::string& contador,
                                  const std::string& formaCadastro) const;

  /// The sequence cut out of a boleto's stored nosso número (the bank's check characters and
  /// any agreement before the sequence removed); nothing when the boleto has none.
  std::optional<std::string> SequenciaDoNossoNumero(const std::string& cdFilial,
                                                    const std::string& nrLanBolRec,
                                                    const std::string& cdNosNumRec) const;

  /// Numbers one boleto and returns the codes the service stored for it. With `novo`,
  /// `sequencia` is the value the account's counter hands out next: the service stores the
  /// codes of the first value from there on that is free and that no other caller took, and
  /// moves the counter to it in the same transaction; a boleto another run numbered meanwhile
  /// comes back with that run's codes. Without `novo`, `sequencia` is the one cut out of the
  /// boleto's stored number: its missing barcode and typed line are computed and stored, the
  /// number never changes ("NN_DIVERGENTE" when the rules write another number for it).
  /// Nothing for a boleto missing from klCarteira; codes not stored when the bank's layout
  /// builds no typed line for its data.
  std::optional<CodigosBoleto> Gera_CodigodeBarra(const std::string& cdFilial,
                                                  const std::string& nrLanBolRec,
                                                  const std::string& sequencia, bool novo,
                                                  Modelo modelo,
                                                  const std::string& formaCadastro = {});
  /// Numbers a boleto of the pre-printed model from the counter value `contador` on, as
  /// Gera_CodigodeBarra does (no barcode); a boleto that has a number keeps it.
  CodigosArmazenados NumeraPreImpresso(const std::string& cdFilial, const std::string& nrLanBolRec,
                                       const std::string& contador,
                                       const std::string& formaCadastro);

  /// The processing date: due dates outside the factor's window around it are refused.
  void setDataProcessamento(const host::DateTime& date) { processamento_ = date; }

  /// Checks the n numbers a run is about to use against the account's range for the model;
  /// `numeroDigitado` is the start typed on a pre-printed run (empty: none). Returns the
  /// first sequence value of the run (the typed one's predecessor for a typed start).
  std::string Valida_Faixa_Numerica(Modelo modelo, const std::string& formaCadastro, int n,
                                    const std::string& numeroDigitado = {});

  /// Does the company and bank use identified deposits? (false: "BANCO_NUTIL_DI", skip)
  bool UsaDepIdentificado(const std::string& cdEmpresa);
  /// The identified-deposit code of one boleto (at most 30 characters).
  std::string GeraDepIdentificado(const std::string& cdFilial, const std::string& nrLanBolRec,
                                  const std::string& cdEmpresa);

 private:
  struct Calculo {
    std::string nossoNumero;  ///< as the bank prints it
    std::string linha;
    std::string barras;  ///< the barcode of `linha`
  };
  Calculo calcula(const std::string& cdFilial, const std::string& nrLanBolRec,
                  const std::string& sequencia, const std::string& formaCadastro) const;
  std::optional<CodigosBoleto> codigosDoNumero(const std::string& cdFilial,
                                               const std::string& nrLanBolRec,
                                               const std::string& sequencia,
                                               const std::string& model, const std::string& forma);
  CodigosBoleto codigosDe(const CodigosArmazenados& s) const;
  std::string proximoDoContador(const std::string& modelo);
  bool emUso(std::string nossoNumero);

  const BankAccountRow& conta_;
  const host::TKeyList& klCarteira_;
  NumberingService& servico_;
  const host::TMessages& mensagens_;
  Tela tela_;
  std::optional<host::DateTime> processamento_;
};

}  // namespace numbering
