#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <map>

#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
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

size_t BankLayout::sequenceDigits(const CheckCountInput&) const {
  return 0;
}

std::optional<std::string> BankLayout::sequenceOf(std::string_view printed,
                                                  const CheckCountInput& in) const {
  const auto q = static_cast<size_t>(checkCharacters(in));
  // A number shorter than its check characters holds no sequence; it never borrows
  // characters of anything around it.
  if (printed.size() <= q) return std::nullopt;
  return std::string(printed.substr(0, printed.size() - q));
}

std::string BankLayout::sequenceFromCounter(std::string_view counter, int, std::string_view) const {
  return std::string(counter);
}

std::string BankLayout::emissionCode(std::string_view code, std::string_view) const {
  return std::string(code);
}

std::string BankLayout::codeWithDigit(std::string_view code) const {
  // Modulus 11, weights 2 to 9 from the right; a result of 10 or 11 prints "0".
  const int sum = (code[2] - '0') * 2 + (code[1] - '0') * 3 + (code[0] - '0') * 4;
  const int d = 11 - sum % 11;
  return fmt::format("{}-{}", code, d >= 10 ? 0 : d);
}

std::string BankLayout::depositDigit(std::string_view) const {
  return {};
}

SequenceTooWide::SequenceTooWide(std::string bank, std::string sequence, size_t digits)
    : LayoutRefusal(fmt::format("A faixa de nosso número está esgotada: a sequência {} não cabe "
                                "nos {} dígitos que o banco {} reserva à sequência.",
                                sequence, digits, bank)),
      sequence_(std::move(sequence)),
      digits_(digits) {}

std::string IssuedThrough::emissionCode(std::string_view code,
                                        std::string_view agreementBank) const {
  if (!through_.empty()) return through_;
  return agreementBank.empty() ? std::string(code) : std::string(agreementBank);
}

std::optional<std::string> IssuedThrough::freeField(const FreeFieldInput& in) const {
  // Reached only when the emission did not resolve the code (no agreement bank to go by).
  const BankLayout* other = through_.empty() ? nullptr : findBank(through_);
  return other ? other->freeField(in) : std::nullopt;
}

std::string IssuedThrough::nossoNumeroFromFreeField(std::string_view f,
                                                    std::string_view size) const {
  const BankLayout* other = through_.empty() ? nullptr : findBank(through_);
  return other ? other->nossoNumeroFromFreeField(f, size) : std::string();
}

std::string IssuedThrough::defaultTemplate() const {
  const BankLayout* other = through_.empty() ? nullptr : findBank(through_);
  return other ? other->defaultTemplate() : "[SEQ:10]";
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

std::string CodigoEmissao(std::string_view code, std::string_view agreementBank) {
  const BankLayout* layout = findBank(code);
  return layout ? layout->emissionCode(code, agreementBank) : std::string(code);
}

std::string CodigoEmail(std::string_view code, std::string_view agreementBank) {
  const BankLayout* conv = agreementBank.empty() ? nullptr : findBank(agreementBank);
  return conv && conv->takesOverMailAgreements() ? std::string(agreementBank) : std::string(code);
}

std::string CodigoComDigito(std::string_view code) {
  if (code.size() != 3 || !host::IsDigits(code)) return std::string(code);
  const BankLayout* layout = findBank(code);
  // A bank without a layout still prints its code with the common digit.
  static const IssuedThrough common{""};
  return (layout ? layout : &common)->codeWithDigit(code);
}

namespace {

size_t significantDigits(std::string_view s) {
  size_t first = s.find_first_not_of('0');
  return first == std::string_view::npos ? 0 : s.size() - first;
}

}  // namespace

void VerificaLarguraSequencia(const NumberingAccount& a, std::string_view carteira,
                              std::string_view sequence) {
  const BankLayout* layout = findBank(a.bank);
  const int width = Retorna_Size_NossNum(a.templ);
  const std::string agreement = Nr_Codigo(a.payee);
  size_t limit = width > 0 ? static_cast<size_t>(width) : 0;
  if (layout) {
    const size_t bankLimit = layout->sequenceDigits({agreement, carteira, width, a.bankConv});
    if (bankLimit > 0 && (limit == 0 || bankLimit < limit)) limit = bankLimit;
  }
  const std::string digits = Nr_Codigo(sequence);
  if (limit > 0 && significantDigits(digits) > limit)
    throw SequenceTooWide(std::string(a.bank), std::string(sequence), limit);
}

std::string NossoNumeroImpresso(const NumberingAccount& a, std::string_view carteira,
                                std::string_view sequence, std::string_view registrationForm,
                                bool mailCopy) {
  VerificaLarguraSequencia(a, carteira, sequence);
  const std::string agreement = Nr_Codigo(a.payee);
  std::string n =
      Read_MneMonicos(a.templ, a.bank, a.agency, carteira, sequence, a.account, agreement);
  if (host::EmptyString(n)) return n;
  const BankLayout* layout = findBank(a.bank);
  if (!layout) return n;
  NossoNumeroInput in{n,       sequence,   carteira,         a.agency, a.account,
                      a.payee, a.bankConv, registrationForm, a.bank,   mailCopy};
  return layout->nossoNumero(in);
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
