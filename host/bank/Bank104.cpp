// Caixa (104). A 17-digit nosso número (registration form, "4" = issued by the payee, 15
// digits) goes into the SIGCB free field: payee code (6) and its digit, the number in three
// pieces with the two constants between them, and a digit over the 24 before it. Any shorter
// number is a SICOB one: nosso número (10), agency (4), operation (3), account (8).
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Caixa final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    if (in.expansion.size() == 17) {
      std::string x =
          std::string(in.registrationForm) + "4" + std::string(in.expansion.substr(2, 15));
      return x + "-" + Mod11_DV(x, "104");
    }
    std::string m = PadRight(in.expansion, 10);
    return m + Mod11_DV(m, "104");
  }
  int checkCharacters(const CheckCountInput& in) const override { return in.seqSize == 17 ? 2 : 1; }
  size_t sequenceDigits(const CheckCountInput& in) const override {
    return in.seqSize == 17 ? 17 : 10;
  }
  std::optional<std::string> sequenceOf(std::string_view printed,
                                        const CheckCountInput& in) const override {
    if (in.seqSize == 17) {
      if (printed.size() < 17) return std::nullopt;
      return std::string(printed.substr(0, 17));
    }
    return BankLayout::sequenceOf(printed, in);
  }
  // Of a 17-digit number the first two digits are the registration form and the issuer
  // ("4", the payee): the counter's own digits are the other fifteen.
  std::string sequenceFromCounter(std::string_view counter, int seqSize,
                                  std::string_view form) const override {
    if (seqSize != 17) return std::string(counter);
    auto digits = fitDigits(counter, 15);
    if (!digits) throw SequenceTooWide("104", std::string(counter), 15);
    return std::string(form) + "4" + *digits;
  }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    std::string n = in.number();
    if (n.empty()) return std::nullopt;
    if (n.size() == 17) {
      auto payee = fitDigits(in.agreement, 6);
      if (!payee) return std::nullopt;
      std::string nn = n;
      if (!((nn[0] == '1' || nn[0] == '2') && nn[1] == '4')) {
        nn[0] = in.collectionType == "02" ? '2' : '1';
        nn[1] = '4';
      }
      std::string f = *payee + Mod11_DV(*payee, "104") + nn.substr(2, 3) + nn[0] + nn.substr(5, 3) +
                      nn[1] + nn.substr(8, 9);
      return f + Mod11_DV(f, "104");
    }
    auto agency = fitDigits(in.agency, 4);
    auto operation = fitDigits(in.operation.empty() ? "870" : in.operation, 3);
    auto account = fitDigits(in.account, 8);
    if (!agency || !operation || !account || n.size() > 10) return std::nullopt;
    return PadRight(n, 10) + *agency + *operation + *account;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view size) const override {
    if (size == "17")
      return std::string(1, f[10]) + f[14] + std::string(f.substr(7, 3)) +
             std::string(f.substr(11, 3)) + std::string(f.substr(15, 9));
    return std::string(f.substr(0, 10));
  }
  std::string defaultTemplate() const override { return "[SEQ:17]"; }
};

const BankRegistration reg{"104", std::make_shared<Caixa>()};

}  // namespace
}  // namespace bank
