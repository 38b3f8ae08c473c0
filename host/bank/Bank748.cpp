// Sicredi (748): collection type ("1" registered, "3" not), carteira "1", nosso número (8)
// and its digit, agency (4), post and payee code (7), "10", and a modulus-11 digit of the
// 24 before it.
#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Sicredi final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string s = LeftOfAjusta(in.agency, 4) + host::Ajusta(host::LeftStr(in.payee, 7), 7) +
                    std::string(in.expansion);
    return std::string(in.expansion) + "-" + Mod11_B9(s, "748");
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 8; }
  // Sicredi prints "X" where the common rule of the bank code's digit gives 10.
  std::string codeWithDigit(std::string_view code) const override {
    std::string common = BankLayout::codeWithDigit(code);
    const int sum = (code[2] - '0') * 2 + (code[1] - '0') * 3 + (code[0] - '0') * 4;
    return 11 - sum % 11 == 10 ? std::string(code) + "-X" : common;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto payee = fitDigits(in.agreement, 7);
    auto n = fitDigits(raw, 8);
    if (!agency || !payee || !n || raw.empty()) return std::nullopt;
    std::string body = std::string(in.collectionType == "03" ? "3" : "1") + "1" + *n +
                       Mod11_B9(*agency + *payee + *n, "748") + *agency + *payee + "10";
    return body + Mod11_B9(body, "748");
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(2, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }
};

const BankRegistration reg{"748", std::make_shared<Sicredi>()};

}  // namespace
}  // namespace bank
