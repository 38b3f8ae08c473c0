// Unibanco (409), registered collection: "04", due date as yymmdd, agency (4) and its digit,
// nosso número (10) with its digit, and the super digit.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Unibanco final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string m = PadRight(in.expansion, 10);
    std::string d1 = Mod10(m);
    return m + d1 + Mod11_B7(m + d1);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }

  size_t sequenceDigits(const CheckCountInput&) const override { return 10; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    // Carteira 5 is the collection without registration, laid out with the client code and
    // a 14-digit number: not this layout, and not one this module has.
    if (Nr_Codigo(in.carteira) == "5" || Nr_Codigo(in.carteira) == "05")
      throw LayoutRefusal(
          "Carteira 5 (cobrança sem registro) do Unibanco sem leiaute de código de barras neste "
          "módulo: só a cobrança registrada.");
    const std::string raw = in.number();
    auto agencyWithDigit = fitDigits(in.agency, 5);
    auto n = fitDigits(raw, 10);
    if (!agencyWithDigit || !n || raw.empty()) return std::nullopt;
    std::string d1 = Mod10(*n);
    std::string d2 = Mod11_B7(*n + d1);
    if (d2 == "P") d2 = "0";
    char date[7];
    int yymmdd = (in.due.year() % 100) * 10000 + in.due.month() * 100 + in.due.day();
    for (int i = 5; i >= 0; --i, yymmdd /= 10) date[i] = static_cast<char>('0' + yymmdd % 10);
    date[6] = '\0';
    return "04" + std::string(date) + *agencyWithDigit + *n + d1 + d2;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(13, 10));
  }
  std::string defaultTemplate() const override { return "[SEQ:10]"; }
};

const BankRegistration reg{"409", std::make_shared<Unibanco>()};

}  // namespace
}  // namespace bank
