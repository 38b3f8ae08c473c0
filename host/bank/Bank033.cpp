// Santander (033): "9", payee code (7), nosso número (12) with its digit, IOF "0", carteira.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Santander final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string m = PadRight(in.expansion, 12);
    return m + " " + Mod11_Santander(m);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 12; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    auto payee = fitDigits(in.agreement, 7);
    auto cart = fitDigits(orDefault(in.carteira), 3);
    const std::string raw = in.number();
    auto n = fitDigits(raw, 12);
    if (!payee || !cart || !n || raw.empty()) return std::nullopt;
    const std::string& m = *n;
    return "9" + *payee + m + Mod11_Santander(m) + "0" + *cart;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(8, 12));
  }
  std::string defaultTemplate() const override { return "[SEQ:12]"; }

 private:
  static std::string_view orDefault(std::string_view c) { return c.empty() ? "101" : c; }
};

const BankRegistration reg{"033", std::make_shared<Santander>()};

}  // namespace
}  // namespace bank
