// Banco do Brasil (001). Agreements (convênios) of 4, 6 and 7 digits; carteiras 16 and 18
// with a 17-digit free nosso número. Agency (4) and account (8) without check digits.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

bool freeNumberCarteira(std::string_view carteira) {
  std::string c = LeftOfAjusta(carteira, 2);
  return c == "16" || c == "18";
}

class BancoDoBrasil final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string k = Nr_Codigo(in.payee);
    if (freeNumberCarteira(in.carteira)) return PadRight(in.expansion, 17);
    if (k.size() == 7) return k + PadRight(in.expansion, 10);
    if (k.size() > 7) return std::string(in.expansion);
    std::string x = k.size() == 4   ? k + PadRight(in.expansion, 7)
                    : k.size() == 6 ? k + PadRight(in.expansion, 5)
                                    : std::string(in.expansion);
    return x + "-" + Mod11_B9_2(x, in.bank);
  }

  int checkCharacters(const CheckCountInput& in) const override {
    return freeNumberCarteira(in.carteira) || in.agreement.size() == 7 ? 0 : 2;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    std::string k(in.agreement);
    std::string n = in.number();
    auto cart = fitDigits(in.carteira, 2);
    if (!cart || n.empty()) return std::nullopt;
    if (k.size() == 7) return "000000" + k + PadRight(n, 10) + *cart;
    if (freeNumberCarteira(in.carteira)) {
      if (k.size() != 6) return std::nullopt;
      return k + PadRight(n, 17) + "21";
    }
    auto agency = fitDigits(in.agency, 4);
    auto account = fitDigits(in.account, 8);
    if (!agency || !account) return std::nullopt;
    if (k.size() == 6) return k + PadRight(n, 5) + *agency + *account + *cart;
    if (k.size() == 4) return k + PadRight(n, 7) + *agency + *account + *cart;
    return std::nullopt;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    if (f.substr(0, 6) == "000000") return std::string(f.substr(6, 17));
    if (f.substr(23, 2) == "21") return std::string(f.substr(6, 17));
    return std::string(f.substr(0, 11));
  }

  std::string defaultTemplate() const override { return "[SEQ:10]"; }
};

const BankRegistration reg{"001", std::make_shared<BancoDoBrasil>()};

}  // namespace
}  // namespace bank
