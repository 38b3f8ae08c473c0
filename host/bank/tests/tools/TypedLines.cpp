// Prints typed lines of every registered bank ("line<TAB>bank<TAB>cents"), over sequences,
// due dates on both sides of the 2025 factor restart and values up to the field's limit, for
// the cross-check with an outside validator.

#include <cstdio>
#include <string>
#include <vector>

#include "host/DateTime.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"

namespace {

struct Account {
  std::string bank, agency, account, carteira, agreement, operation, templ;
};

void emit(const Account& a, long long sequence, const host::DateTime& due, double value) {
  const bank::BankLayout* layout = bank::findBank(a.bank);
  std::string templ = a.templ.empty() ? layout->defaultTemplate() : a.templ;
  auto width = static_cast<size_t>(bank::Retorna_Size_NossNum(templ));
  // Sequences within what the bank's number carries: a wider one is refused, not coded.
  size_t digits = layout->sequenceDigits({a.agreement, a.carteira, static_cast<int>(width), ""});
  if (digits == 0 || digits > width) digits = width;
  long long limit = 1;
  for (size_t i = 0; i < digits && limit < 1000000000000LL; ++i) limit *= 10;
  std::string n = bank::Read_MneMonicos(templ, a.bank, a.agency, a.carteira,
                                        bank::PadRight(std::to_string(sequence % limit), width),
                                        a.account, a.agreement);
  std::string line = bank::LinhaDigitavel(a.bank, a.agency, a.carteira, n, a.account, due, value,
                                          "", a.agreement, "01", "001", "", a.operation);
  std::printf("%s\t%s\t%s\n", line.c_str(), a.bank.c_str(),
              std::to_string(std::stoll(bank::CampoValor(value))).c_str());
}

}  // namespace

int main() {
  std::vector<Account> accounts;
  for (const auto& code : bank::registeredBanks()) {
    // A code that issues through its agreement bank has no layout of its own.
    if (code != "104" && bank::CodigoEmissao(code, "104") == "104") continue;
    accounts.push_back({code, "1234", "123456", "1", "123456", "", ""});
  }
  accounts.push_back({"001", "1234", "12345678", "17", "1234567", "", ""});
  accounts.push_back({"001", "1234", "12345678", "17", "1234", "", ""});
  accounts.push_back({"001", "1234", "12345678", "18", "123456", "", "[SEQ:17]"});
  accounts.push_back({"104", "1565", "00000414", "1", "", "870", "[SEQ:10]"});
  accounts.push_back({"341", "0293", "013280", "126", "", "", ""});
  accounts.push_back({"756", "4134", "10333", "1", "148180", "05", ""});

  const host::DateTime dues[] = {host::DateTime::fromYmd(2016, 6, 16),
                                 host::DateTime::fromYmd(2025, 2, 21),
                                 host::DateTime::fromYmd(2025, 2, 22), host::SystemClock().today(),
                                 host::DateTime::fromYmd(2031, 1, 31)};
  const double values[] = {0.01, 1.0, 289.9, 4711.42, 99999999.99};
  for (const auto& a : accounts)
    for (int s = 1; s <= 40; ++s) emit(a, s * 7919LL + 13, dues[s % 5], values[(s / 5) % 5]);
  return 0;
}
