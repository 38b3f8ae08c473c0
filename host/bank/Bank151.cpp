// Nossa Caixa (151): "9", nosso número (8), agency (4), account modality (1), account (6),
// "151" and the NC of the 23 digits before it. The account row holds 13 characters ending
// in modality (2), account (6) and its check digit.
#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class NossaCaixa final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string a = host::Ajusta(Nr_Codigo(in.account), 13);
    std::string m = PadRight(in.expansion, 8);
    std::string s = LeftOfAjusta(Nr_Codigo(in.agency), 4) + a.substr(4, 2) + "0" + a.substr(6, 6) +
                    a.substr(12, 1);
    // The number itself must be under its own check digit, or every number of the account
    // would carry the same one.
    return m + Mod_NossaCaixa(s + m);
  }

  size_t sequenceDigits(const CheckCountInput&) const override { return 8; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    auto agency = fitDigits(in.agency, 4);
    auto a = fitDigits(in.account, 13);
    const std::string raw = in.number();
    auto n = fitDigits(raw, 8);
    if (!agency || !a || !n || raw.empty()) return std::nullopt;
    std::string body = "9" + *n + *agency + a->substr(5, 1) + a->substr(6, 6) + "151";
    return body + DuploDigito(body);
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(1, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }
};

const BankRegistration reg{"151", std::make_shared<NossaCaixa>()};

}  // namespace
}  // namespace bank
