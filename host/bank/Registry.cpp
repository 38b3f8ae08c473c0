#include <algorithm>
#include <array>
#include <map>

#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Template.h"

namespace bank {
namespace {

std::map<std::string, std::shared_ptr<const BankLayout>, std::less<>>& registry() {
  static std::map<std::string, std::shared_ptr<const BankLayout>, std::less<>> banks;
  return banks;
}

// Every boleto looks its bank up several times: three-digit codes index a table directly.
std::array<const BankLayout*, 1000>& byCode() {
  static std::array<const BankLayout*, 1000> table{};
  return table;
}

int codeIndex(std::string_view code) {
  if (code.size() != 3) return -1;
  int n = 0;
  for (char c : code) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

std::string FreeFieldInput::number() const {
  return Nr_Codigo(host::EmptyString(dac) ? nossoNumero : dac);
}

std::string BankLayout::nossoNumero(const NossoNumeroInput& in) const {
  return std::string(in.expansion);
}

int BankLayout::checkCharacters(const CheckCountInput&) const {
  return 1;
}

void registerBank(std::string code, std::shared_ptr<const BankLayout> layout) {
  int i = codeIndex(code);
  if (i >= 0) byCode()[static_cast<size_t>(i)] = layout.get();
  registry()[std::move(code)] = std::move(layout);
}

const BankLayout* findBank(std::string_view code) {
  int i = codeIndex(code);
  if (i >= 0) return byCode()[static_cast<size_t>(i)];
  auto& banks = registry();
  auto it = banks.find(code);
  return it == banks.end() ? nullptr : it->second.get();
}

std::vector<std::string> registeredBanks() {
  std::vector<std::string> codes;
  for (const auto& [code, layout] : registry()) codes.push_back(code);
  return codes;
}

std::optional<std::string> fitDigits(std::string_view text, size_t n) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9')
      digits.push_back(c);
    else if (c != ' ' && c != '.')
      return std::nullopt;
  }
  if (digits.size() > n) {
    // Leading zeros may be dropped; a significant digit may not.
    size_t extra = digits.size() - n;
    if (digits.find_first_not_of('0') < extra) return std::nullopt;
    return digits.substr(extra);
  }
  return std::string(n - digits.size(), '0') + digits;
}

}  // namespace bank
