// HSBC (399), registered collection: nosso número (10) and its digit, agency (4), account
// (7), carteira "00", application code "1".
#include "host/Consiste.h"
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

  size_t sequenceDigits(const CheckCountInput&) const override { return 10; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    // The non-registered collection has a layout of its own (payee code, number of 13 and a
    // Julian due date) that this module does not lay out: coding it as registered would
    // give the bank a barcode it does not know.
    if (host::UpperCase(host::AllTrim(in.carteira)) == "CNR")
      throw LayoutRefusal(
          "Carteira CNR (cobrança não registrada) do HSBC sem leiaute de código de barras neste "
          "módulo: só a cobrança registrada.");
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

  std::string depositPrefix() const override { return "000005"; }
  // Weights 20, 19, 18, ... from the rightmost digit; 11 - remainder, "0" for remainder 0
  // (remainder 1 gives "10").
  std::string depositDigit(std::string_view c) const override {
    int sum = 0, weight = 20;
    for (size_t i = c.size(); i-- > 0;) sum += (c[i] - '0') * weight--;
    const int r = sum % 11;
    return r == 0 ? "0" : std::to_string(11 - r);
  }
};

const BankRegistration reg{"399", std::make_shared<Hsbc>()};

}  // namespace
}  // namespace bank
