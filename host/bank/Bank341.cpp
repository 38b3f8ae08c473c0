// Itaú (341): carteira (3), nosso número (8), its DAC, agency (4), account (5), the DAC of
// agency and account, "000". The account row holds the account with its check digit. The
// carteiras that carry the payer's own number and client code are not laid out here.
#include <fmt/format.h>

#include <array>

#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

// Carteiras whose DAC covers only carteira and number.
bool shortDac(std::string_view c) {
  return c == "126" || c == "131" || c == "146" || c == "150" || c == "168";
}

bool otherLayout(std::string_view c) {
  static constexpr std::array<std::string_view, 8> k{"106", "107", "122", "142",
                                                     "143", "195", "196", "198"};
  for (auto x : k)
    if (x == c) return true;
  return false;
}

class Itau final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string c = LeftOfAjusta(in.carteira, 3);
    std::string m = PadRight(in.expansion, 8);
    // The account without its check digit: the five characters before the last one, as the
    // barcode takes them; an account written with seven characters keeps its last six.
    std::string a = host::Ajusta(in.account, 6);
    std::string s =
        shortDac(c) ? c + m : LeftOfAjusta(in.agency, 4) + a.substr(a.size() - 6, 5) + c + m;
    return m + "-" + Mod10(s);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 8; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto cart = fitDigits(in.carteira, 3);
    auto agency = fitDigits(in.agency, 4);
    auto accountWithDigit = fitDigits(in.account, 6);
    auto n = fitDigits(raw, 8);
    if (cart && otherLayout(*cart))
      throw LayoutRefusal(fmt::format(
          "Carteira {} do Itaú (número do pagador e código do cliente) sem leiaute de código de "
          "barras neste módulo.",
          *cart));
    if (!cart || !agency || !accountWithDigit || !n || raw.empty()) return std::nullopt;
    std::string account = accountWithDigit->substr(0, 5);
    std::string dac = Mod10(shortDac(*cart) ? *cart + *n : *agency + account + *cart + *n);
    return *cart + *n + dac + *agency + account + Mod10(*agency + account) + "000";
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(3, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }

  std::string depositPrefix() const override { return "3"; }
  std::string depositDigit(std::string_view c) const override { return Mod10(c); }
};

const BankRegistration reg{"341", std::make_shared<Itau>()};
// Banco Guanabara issues on Itaú's layout.
const BankRegistration reg612{"612", std::make_shared<IssuedThrough>("341")};

}  // namespace
}  // namespace bank
