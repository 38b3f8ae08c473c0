// Daycoval (707): agency (4), carteira (3), operation (7), nosso número (10) and its Luhn
// digit. The nosso número is the raw sequence and its digit; the template is not used.
#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Daycoval final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    if (in.mailCopy) return std::string(in.expansion);
    return std::string(in.sequence) + "-" +
           Luhn(host::Ajusta(in.account, 4) + std::string(in.carteira) + std::string(in.sequence));
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 10; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto cart = fitDigits(in.carteira, 3);
    auto operation = fitDigits(in.operation, 7);
    auto n = fitDigits(raw, 10);
    if (!agency || !cart || !operation || !n || raw.empty()) return std::nullopt;
    std::string d = Luhn(host::Ajusta(in.account, 4) + std::string(in.carteira) + *n);
    return *agency + *cart + *operation + *n + d;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(14, 10));
  }
  std::string defaultTemplate() const override { return "[SEQ:10]"; }
};

const BankRegistration reg{"707", std::make_shared<Daycoval>()};

}  // namespace
}  // namespace bank
