// Bradesco (237) and the banks that issue on its layout (069, 274): agency (4), carteira (2),
// nosso número (11), account (7), "0". Agency and account without check digits.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Bradesco final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    if (in.mailCopy && in.bank == "274") return std::string(in.expansion);
    if (in.bankConv == "422") return std::string(in.expansion) + "-" + Mod11_B7(in.expansion);
    std::string m = PadRight(in.expansion, 11);
    return m + "-" + Mod11_B7(LeftOfAjusta(in.carteira, 2) + m);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput& in) const override {
    return in.bankConv == "422" ? 0 : 11;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    return layout(in);
  }

  /// Shared with the Safra accounts that issue through a Bradesco agreement.
  static std::optional<std::string> layout(const FreeFieldInput& in) {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto cart = fitDigits(in.carteira, 2);
    auto account = fitDigits(in.account, 7);
    auto n = fitDigits(raw, 11);
    if (!agency || !cart || !account || !n || raw.empty()) return std::nullopt;
    return *agency + *cart + *n + *account + "0";
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(6, 11));
  }
  std::string defaultTemplate() const override { return "[SEQ:11]"; }

  bool takesOverMailAgreements() const override { return true; }

  std::string depositPrefix() const override { return "002"; }
  // Weights 2 to 7 from the right; remainders 0 and 1 give "0", otherwise 11 - remainder.
  std::string depositDigit(std::string_view c) const override {
    static constexpr int w[] = {2, 3, 4, 5, 6, 7};
    const int r = WeightedSum(c, w) % 11;
    return r <= 1 ? "0" : std::to_string(11 - r);
  }
};

const auto bradesco = std::make_shared<Bradesco>();
const BankRegistration reg237{"237", bradesco};
const BankRegistration reg069{"069", bradesco};
const BankRegistration reg274{"274", bradesco};
// Banco Alfa issues on Bradesco's layout.
const BankRegistration reg025{"025", std::make_shared<IssuedThrough>("237")};

}  // namespace

std::optional<std::string> BradescoFreeField(const FreeFieldInput& in) {
  return Bradesco::layout(in);
}

}  // namespace bank
