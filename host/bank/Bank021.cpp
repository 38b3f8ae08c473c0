// Banestes (021): the collection key of the regional banks: nosso número (8), account (11),
// collection type, bank code and the two-digit NC over the 23 digits before it.
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

class Banestes final : public BankLayout {
 public:
  std::string nossoNumero(const NossoNumeroInput& in) const override {
    std::string m = PadRight(in.expansion, 8);
    std::string d1 = Mod11_Bx(m);
    std::string d2 = Mod11_Bx(m + d1);
    return m + d1 + d2;
  }
  int checkCharacters(const CheckCountInput&) const override { return 2; }
  size_t sequenceDigits(const CheckCountInput&) const override { return 8; }

  std::optional<std::string> freeField(const FreeFieldInput& in) const override {
    auto account = fitDigits(in.account, 11);
    const std::string raw = in.number();
    auto n = fitDigits(raw, 8);
    if (!account || !n || raw.empty()) return std::nullopt;
    // Collection type of the key: 4 for a boleto registered at the bank, 2 otherwise.
    std::string type = in.collectionType == "03" ? "2" : "4";
    std::string key = *n + *account + type + "021";
    return key + DuploDigito(key);
  }

  std::string nossoNumeroFromFreeField(std::string_view f, std::string_view) const override {
    return std::string(f.substr(0, 8));
  }
  std::string defaultTemplate() const override { return "[SEQ:8]"; }
};

const BankRegistration reg{"021", std::make_shared<Banestes>()};

}  // namespace
}  // namespace bank
