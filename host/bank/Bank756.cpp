// Sicoob (756): carteira (1), agency (4), modality (2), client code (7), nosso número (7)
// and its digit, instalment (3).
#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Sicoob final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string s =
        LeftOfAjusta(in.agency, 4) + LeftOfAjusta(in.payee, 10) + PadRight(in.expansion, 7);
    return std::string(in.expansion) + "-" + Mod11_SICOOB(s);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 7; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    const std::string raw = in.number();
    auto agency = fitDigits(in.agency, 4);
    auto client = fitDigits(in.agreement, 7);
    auto n = fitDigits(raw, 7);
    auto modality = fitDigits(in.operation.empty() ? "01" : in.operation, 2);
    auto instalment = fitDigits(in.instalment.empty() ? "001" : in.instalment, 3);
    std::string cart = in.carteira.empty() ? "1" : std::string(in.carteira.substr(0, 1));
    if (!agency || !client || !n || !modality || !instalment || raw.empty() || cart[0] < '0' ||
        cart[0] > '9')
      return std::nullopt;
    std::string d = Mod11_SICOOB(*agency + host::Ajusta(*client, 10) + *n);
    return cart + *agency + *modality + *client + *n + d + *instalment;
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(14, 7));
  }
  std::string defaultTemplate() const override { return "[SEQ:7]"; }
};

const BankRegistration reg{"756", std::make_shared<Sicoob>()};

}  // namespace
}  // namespace bank
