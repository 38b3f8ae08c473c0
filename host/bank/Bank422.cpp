// Safra (422): "7", agency (5), account (9), nosso número (8) with its digit, collection type
// "2" (registered). An account issuing through a Bradesco agreement uses Bradesco's layout.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {

std::optional<std::string> BradescoFreeField(const FreeFieldInput& in);

namespace {

class Safra final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    if (!in.mailCopy && in.bankConv == "237")
      return std::string(in.expansion) + Mod11_B9_2(in.expansion, in.bank);
    std::string m = PadRight(in.expansion, 8);
    return m + Mod11_B9(m, "422");
  }

  size_t sequenceDigits(const CheckCountInput& in) const override {
    return in.bankConv == "237" ? 11 : 8;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    if (in.bankConv == "237") return BradescoFreeField(in);
    auto agency = fitDigits(in.agency, 5);
    auto account = fitDigits(in.account, 9);
    auto n = fitDigits(raw, 8);
    if (!agency || !account || !n || raw.empty()) return std::nullopt;
    return "7" + *agency + *account + *n + Mod11_B9(*n, "422") + "2";
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    if (f[0] != '7') return std::string(f.substr(6, 11));  // Bradesco agreement
    return std::string(f.substr(15, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }
};

const BankRegistration reg{"422", std::make_shared<Safra>()};

}  // namespace
}  // namespace bank
