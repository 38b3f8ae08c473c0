// Banrisul (041): product "2" (slip issued by the client), "1", agency (4), payee code (7),
// nosso número (8), "40" and the NC of positions 20 to 42.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Banrisul final : public BankLayout {
 public:
  // The bank's NC: Mod10, then modulus 11 over the number and that digit. Where the second
  // remainder is 1 the bank raises the first digit and computes again, so the pair is always
  // two digits (never the "P" of the plain weights-2-to-7 rule).
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string m = PadRight(in.expansion, 8);
    return m + DuploDigito(m);
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 8; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    auto agency = fitDigits(in.agency, 4);
    auto payee = fitDigits(in.agreement, 7);
    const std::string raw = in.number();
    auto n = fitDigits(raw, 8);
    if (!agency || !payee || !n || raw.empty()) return std::nullopt;
    std::string body = "21" + *agency + *payee + *n + "40";
    return body + DuploDigito(body);
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(13, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }
};

const BankRegistration reg{"041", std::make_shared<Banrisul>()};

}  // namespace
}  // namespace bank
