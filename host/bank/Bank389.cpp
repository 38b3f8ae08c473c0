// Mercantil do Brasil (389): agency (4), nosso número (10) with its digit, contract (9),
// discount flag "2" (no discount).
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

std::string numberWithDigit(std::string_view n) {
  std::string m = PadRight(n, 10);
  return m + Mod11_B9("3899" + m, "");
}

class Mercantil final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    return numberWithDigit(in.expansion);
  }

  size_t sequenceDigits(const CheckCountInput&) const override { return 10; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto contract = fitDigits(in.agreement, 9);
    auto n = fitDigits(raw, 10);
    if (!agency || !contract || !n || raw.empty()) return std::nullopt;
    return *agency + numberWithDigit(*n) + *contract + "2";
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(4, 10));
  }
  std::string defaultTemplate() const override { return "[SEQ:10]"; }
};

const BankRegistration reg{"389", std::make_shared<Mercantil>()};

}  // namespace
}  // namespace bank
