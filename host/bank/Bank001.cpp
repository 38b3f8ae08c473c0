// Banco do Brasil (001). Agreements (convênios) of 4, 6 and 7 digits. Agency (4) and account
// (8) without check digits. Carteiras 16 and 18 print a 17-digit free nosso número; their
// barcode is the ordinary one unless the account chooses the free number of a 6-digit
// agreement (service code "21") by a 17-digit template sequence ([SEQ:17]).
#include <fmt/format.h>

#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

bool freeNumberCarteira(std::string_view carteira) {
  std::string c = LeftOfAjusta(carteira, 2);
  return c == "16" || c == "18";
}

// The sequence of a number the rule wrote as agreement + sequence: the agreement is the
// account's, so a number that begins with it and is longer than the sequence drops it.
std::string withoutAgreement(std::string n, const std::string& k, size_t width) {
  if (!k.empty() && n.size() > width && n.compare(0, k.size(), k) == 0) n.erase(0, k.size());
  return n;
}

class BancoDoBrasil final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string k = Nr_Codigo(in.payee);
    // The bank prints the 7-digit agreement before the 10-digit complement whatever the
    // carteira, also when the account's template leaves it out.
    if (k.size() == 7) return k + PadRight(in.expansion, 10);
    if (freeNumberCarteira(in.carteira)) return PadRight(in.expansion, 17);
    if (k.size() > 7) return std::string(in.expansion);
    std::string x = k.size() == 4   ? k + PadRight(in.expansion, 7)
                    : k.size() == 6 ? k + PadRight(in.expansion, 5)
                                    : std::string(in.expansion);
    return x + "-" + Mod11_B9_2(x, in.bank);
  }

  int checkCharacters(const CheckCountInput& in) const override {
    return freeNumberCarteira(in.carteira) || in.agreement.size() == 7 ? 0 : 2;
  }

  size_t sequenceDigits(const CheckCountInput& in) const override {
    const size_t k = in.agreement.size();
    if (k == 7) return 10;
    if (k == 6 && freeNumberCarteira(in.carteira) && in.seqSize >= 17) return 17;
    if (k == 6) return 5;
    if (k == 4) return 7;
    return freeNumberCarteira(in.carteira) ? 17 : 0;
  }

  std::optional<std::string> sequenceOf(std::string_view printed,
                                        const CheckCountInput& in) const override {
    auto body = BankLayout::sequenceOf(printed, in);
    if (!body) return body;
    const size_t k = in.agreement.size();
    const bool agreementFirst = k == 7 || ((k == 4 || k == 6) && !freeNumberCarteira(in.carteira));
    if (agreementFirst && body->size() > k && body->compare(0, k, in.agreement) == 0)
      body->erase(0, k);
    return body;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    std::string k(in.agreement);
    std::string n = in.number();
    auto cart = fitDigits(in.carteira, 2);
    if (!cart || n.empty()) return std::nullopt;
    if (k.size() == 7) {
      auto seq = fitDigits(withoutAgreement(n, k, 10), 10);
      if (!seq) return std::nullopt;
      return "000000" + k + *seq + *cart;
    }
    if (k.size() != 4 && k.size() != 6)
      throw LayoutRefusal(fmt::format(
          "Convênio de {} dígitos do Banco do Brasil sem leiaute de código de barras: só os de "
          "4, 6 e 7 dígitos.",
          k.size()));
    // The free number (service code "21"): a 6-digit agreement whose account numbers with
    // 17 digits.
    if (k.size() == 6 && freeNumberCarteira(in.carteira) && n.size() == 17) return k + n + "21";
    const size_t width = k.size() == 4 ? 7 : 5;
    auto seq = fitDigits(withoutAgreement(n, k, width), width);
    auto agency = fitDigits(in.agency, 4);
    auto account = fitDigits(in.account, 8);
    if (!seq || !agency || !account) return std::nullopt;
    return k + *seq + *agency + *account + *cart;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    if (f.substr(0, 6) == "000000") return std::string(f.substr(6, 17));
    if (f.substr(23, 2) == "21") return std::string(f.substr(6, 17));
    return std::string(f.substr(0, 11));
  }

  std::string defaultTemplate() const override { return "[SEQ:10]"; }

  std::string depositPrefix() const override { return "04"; }
  // Weights 20, 19, 18, ... from the rightmost digit; a remainder of 10 gives "x".
  std::string depositDigit(std::string_view c) const override {
    int sum = 0, weight = 20;
    for (size_t i = c.size(); i-- > 0;) sum += (c[i] - '0') * weight--;
    const int r = sum % 11;
    return r == 10 ? "x" : std::to_string(r);
  }
};

const BankRegistration reg{"001", std::make_shared<BancoDoBrasil>()};

}  // namespace
}  // namespace bank
