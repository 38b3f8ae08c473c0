// Banco Real (356) and ABN AMRO (275): agency (4), account (7), the "dígitão" (modulus 10 of
// number, agency and account), nosso número (13). Account without check digit.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Real final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    return std::string(in.expansion);
  }
  int checkCharacters(const CheckCountInput&) const override { return 0; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 13; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto account = fitDigits(in.account, 7);
    auto n = fitDigits(raw, 13);
    if (!agency || !account || !n || raw.empty()) return std::nullopt;
    return *agency + *account + Mod10(*n + *agency + *account) + *n;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(12, 13));
  }
  std::string defaultTemplate() const override { return "[SEQ:13]"; }
};

const auto real = std::make_shared<Real>();
const BankRegistration reg356{"356", real};
const BankRegistration reg275{"275", real};

}  // namespace
}  // namespace bank
