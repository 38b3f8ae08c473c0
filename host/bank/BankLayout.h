#pragma once
// What one bank knows: its nosso número rule, how many check characters that number ends
// with, how many digits of a sequence it carries, its 25-digit free field (barcode positions
// 20 to 44), the identified-deposit code, the bank code as boletos print it, and the banks
// that issue through another. Each bank lives in its own file and registers itself by its
// clearing code; nothing else names the banks.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/DateTime.h"

namespace bank {

/// Inputs of a nosso número rule.
struct NossoNumeroInput {
  std::string_view expansion;  ///< the template expanded (N)
  std::string_view sequence;   ///< the bare sequence
  std::string_view carteira;
  std::string_view agency;            ///< CDAGENCIA
  std::string_view account;           ///< CDCONTCORR
  std::string_view payee;             ///< CDCEDENTEBAN as stored
  std::string_view bankConv;          ///< CDBANCOCONV
  std::string_view registrationForm;  ///< "1" or "2"
  std::string_view bank;              ///< CDBANCCNAB
  bool mailCopy = false;              ///< the e-mail screen's older copy of the rules
};

/// Inputs of the check-character count of a stored nosso número, and of the number of
/// sequence digits the bank's number carries.
struct CheckCountInput {
  std::string_view agreement;  ///< digits of CDCEDENTEBAN
  std::string_view carteira;
  int seqSize = 0;            ///< width of the account's template sequence
  std::string_view bankConv;  ///< CDBANCOCONV
};

/// Inputs of a free field.
struct FreeFieldInput {
  std::string_view bank;
  std::string_view agency;
  std::string_view carteira;
  std::string_view nossoNumero;  ///< N, the first template expansion
  std::string_view account;
  std::string_view dac;             ///< D, the second expansion; used instead of N when set
  std::string_view agreement;       ///< digits of CDCEDENTEBAN
  std::string_view collectionType;  ///< "01", "02", "03"
  std::string_view instalment;      ///< three digits
  std::string_view bankConv;
  std::string_view operation;  ///< CDOPERCONTCORR
  host::DateTime due;

  /// The digits of the nosso número as the free field takes it.
  std::string number() const;
};

/// A boleto that its bank's layout cannot carry: a carteira or agreement the bank lays out
/// in a form this module does not have, or a sequence wider than the bank's number. The text
/// is the operator's (Portuguese); the caller raises it or its own key.
class LayoutRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A sequence with more significant digits than the bank's nosso número carries: the
/// account's number range is exhausted. Folding it would repeat a number already printed.
class SequenceTooWide : public LayoutRefusal {
 public:
  SequenceTooWide(std::string bank, std::string sequence, size_t digits);
  const std::string& sequence() const { return sequence_; }
  size_t digits() const { return digits_; }

 private:
  std::string sequence_;
  size_t digits_;
};

class BankLayout {
 public:
  virtual ~BankLayout() = default;
  /// The nosso número with its check characters; the expansion unchanged by default.
  virtual std::string nossoNumero(const NossoNumeroInput& in) const;
  /// Number of check characters at the end of a stored nosso número; 1 by default.
  virtual int checkCharacters(const CheckCountInput& in) const;
  /// How many digits of the sequence the bank's number carries for this account; 0 when the
  /// bank sets no limit of its own (the template's width then is the limit).
  virtual size_t sequenceDigits(const CheckCountInput& in) const;
  /// The sequence held by a stored nosso número as this bank prints it: its check characters
  /// and any part the rule puts before the sequence (an agreement) removed. The caller keeps
  /// the template's width of it. Nothing when the text is too short to hold one.
  virtual std::optional<std::string> sequenceOf(std::string_view printed,
                                                const CheckCountInput& in) const;
  /// The value a counter hands out, as the template receives it (Caixa writes the
  /// registration form and the issuer into the first two digits of a 17-digit number).
  virtual std::string sequenceFromCounter(std::string_view counter, int seqSize,
                                          std::string_view registrationForm) const;
  /// The 25 digits of positions 20 to 44, or nothing when this boleto cannot be laid out
  /// (missing or non-numeric data). Throws LayoutRefusal for a carteira or agreement the
  /// bank lays out in a form this module does not have: never coded in another layout.
  virtual std::optional<std::string> freeField(const FreeFieldInput& in) const = 0;
  /// The nosso número as the free field carries it, digits only, without check digit;
  /// `size` "17" selects the 17-digit reading where a bank has two.
  virtual std::string nossoNumeroFromFreeField(std::string_view freeField,
                                               std::string_view size) const = 0;
  /// A working DSNOSNUMCORR template for a new account of this bank.
  virtual std::string defaultTemplate() const = 0;

  /// The bank whose rules apply when the emission loads an account of code `code` (with
  /// CDBANCOCONV `agreementBank`): the code itself, unless the bank issues through another.
  virtual std::string emissionCode(std::string_view code, std::string_view agreementBank) const;
  /// Whether an agreement (CDBANCOCONV) with this bank makes the e-mail screen use this bank's
  /// rules for the account, whatever its own code.
  virtual bool takesOverMailAgreements() const { return false; }
  /// The bank code with its check digit as the boleto prints it ("237-2").
  virtual std::string codeWithDigit(std::string_view code) const;
  /// Identified deposit: the code's bank prefix, and its check digit over the code's digits
  /// (empty for a bank without identified deposits: the code then ends with "-").
  virtual std::string depositPrefix() const { return {}; }
  virtual std::string depositDigit(std::string_view digits) const;
};

/// A bank that issues its boletos through another: every rule is the other bank's. The other
/// is fixed, or, with an empty `through`, the account's agreement bank (CDBANCOCONV); with
/// neither, the code keeps no layout of its own.
class IssuedThrough final : public BankLayout {
 public:
  explicit IssuedThrough(std::string through) : through_(std::move(through)) {}
  std::string emissionCode(std::string_view code, std::string_view agreementBank) const override;
  std::optional<std::string> freeField(const FreeFieldInput& in) const override;
  std::string nossoNumeroFromFreeField(std::string_view freeField,
                                       std::string_view size) const override;
  std::string defaultTemplate() const override;

 private:
  std::string through_;
};

/// Makes `layout` the layout of `code`; a second registration of a code replaces the first.
void registerBank(std::string code, std::shared_ptr<const BankLayout> layout);
/// The layout of a bank, or null.
const BankLayout* findBank(std::string_view code);
/// Codes of every registered bank, ascending.
std::vector<std::string> registeredBanks();

/// Registers at program start: `const BankRegistration reg{"237", std::make_shared<X>()};`
struct BankRegistration {
  BankRegistration(std::string code, std::shared_ptr<const BankLayout> layout) {
    registerBank(std::move(code), std::move(layout));
  }
};

/// The bank whose rules apply to an account of `code` loaded by the emission (aliases
/// resolved); `code` itself for an unknown bank.
std::string CodigoEmissao(std::string_view code, std::string_view agreementBank);
/// The same for the e-mail screen, which knows one substitution only: an agreement with a
/// bank that takes over its agreements' mail.
std::string CodigoEmail(std::string_view code, std::string_view agreementBank);
/// The bank code with its check digit as printed; the code unchanged when it is not three
/// digits.
std::string CodigoComDigito(std::string_view code);

/// An account's numbering settings as the bank rules read them.
struct NumberingAccount {
  std::string_view bank;      ///< CDBANCCNAB, already resolved
  std::string_view agency;    ///< CDAGENCIA
  std::string_view account;   ///< CDCONTCORR
  std::string_view payee;     ///< CDCEDENTEBAN as stored
  std::string_view bankConv;  ///< CDBANCOCONV
  std::string_view templ;     ///< DSNOSNUMCORR
};

/// The nosso número of `sequence` as the bank prints it: the account's template expanded,
/// then the bank's rule. Empty when the template expands to nothing; the expansion when the
/// bank has no rule. Throws SequenceTooWide when the sequence has more significant digits
/// than the bank's number or the template carries, std::invalid_argument for non-digits
/// where a check digit needs digits.
std::string NossoNumeroImpresso(const NumberingAccount& account, std::string_view carteira,
                                std::string_view sequence, std::string_view registrationForm,
                                bool mailCopy = false);
/// Refuses (SequenceTooWide) a sequence with more significant digits than `account`'s bank
/// and template carry.
void VerificaLarguraSequencia(const NumberingAccount& account, std::string_view carteira,
                              std::string_view sequence);

/// Digits of `text` brought to exactly n characters (left zeros, rightmost n kept); nothing
/// when the text holds a non-digit other than blanks and dots (a "-" check digit is refused,
/// not folded into the number), or more significant digits than fit.
std::optional<std::string> fitDigits(std::string_view text, size_t n);

}  // namespace bank
