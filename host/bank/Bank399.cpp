// HSBC (399), registered collection: nosso número (10) and its digit, agency (4), account
// (7), carteira "00", application code "1".
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Hsbc final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string m = PadRight(in.expansion, 10);
    return m + Mod11_B7(m);
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto account = fitDigits(in.account, 7);
    auto n = fitDigits(raw, 10);
    if (!agency || !account || !n || raw.empty()) return std::nullopt;
    std::string d = Mod11_B7(*n);
    // The barcode is digits only: the bank's digit for remainder 1 is 0.
    if (d == "P") d = "0";
    return *n + d + *agency + *account + "00" + "1";
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(0, 10));
  }
  std::string defaultTemplate() const override { return "[SEQ:10]"; }
};

const BankRegistration reg{"399", std::make_shared<Hsbc>()};

}  // namespace
}  // namespace bank
