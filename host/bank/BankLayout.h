#pragma once
// What one bank knows: its nosso número rule, how many check characters that number ends
// with, and its 25-digit free field (barcode positions 20 to 44). Each bank lives in its own
// file and registers itself by its clearing code; nothing else names the banks.

#include <memory>
#include <optional>
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

/// Inputs of the check-character count of a stored nosso número.
struct CheckCountInput {
  std::string_view agreement;  ///< digits of CDCEDENTEBAN
  std::string_view carteira;
  int seqSize = 0;
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

class BankLayout {
 public:
  virtual ~BankLayout() = default;
  /// The nosso número with its check characters; the expansion unchanged by default.
  virtual std::string nossoNumero(const NossoNumeroInput& in) const;
  /// Number of check characters at the end of a stored nosso número; 1 by default.
  virtual int checkCharacters(const CheckCountInput& in) const;
  /// The 25 digits of positions 20 to 44, or nothing when this boleto cannot be laid out
  /// (missing or non-numeric data, a variant of the bank we do not lay out).
  virtual std::optional<std::string> freeField(const FreeFieldInput& in) const = 0;
  /// The nosso número as the free field carries it, digits only, without check digit;
  /// `size` "17" selects the 17-digit reading where a bank has two.
  virtual std::string nossoNumeroFromFreeField(std::string_view freeField,
                                               std::string_view size) const = 0;
  /// A working DSNOSNUMCORR template for a new account of this bank.
  virtual std::string defaultTemplate() const = 0;
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

/// Digits of `text` brought to exactly n characters (left zeros, rightmost n kept); nothing
/// when the text holds a non-digit other than blanks and dots (a "-" check digit is refused,
/// not folded into the number), or more significant digits than fit.
std::optional<std::string> fitDigits(std::string_view text, size_t n);

}  // namespace bank
