#include "host/bank/Febraban.h"

#include <array>
#include <cmath>
#include <cstdio>

#include <fmt/format.h>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"

namespace bank {
namespace {

constexpr int kCycle = 9000;
const host::DateTime kFactor1000 = host::DateTime::fromYmd(2000, 7, 3);

bool allDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

char mod10Char(std::string_view digits) { return Mod10(digits)[0]; }

}  // namespace

int FatorVencimento(const host::DateTime& due) {
  int64_t days = due.dateOnly().daysSince(kFactor1000);
  if (days < 0)
    host::MensErro(fmt::format("Vencimento {} anterior a 03/07/2000: sem fator de vencimento.",
                               due.format("dd/mm/yyyy")));
  return static_cast<int>(1000 + days % kCycle);
}

std::optional<host::DateTime> DataDoFator(int factor, const host::DateTime& processing) {
  if (factor < 1000 || factor > 9999) return std::nullopt;
  int64_t base = kFactor1000.daysSinceEpoch() + (factor - 1000);
  int64_t p = processing.dateOnly().daysSinceEpoch();
  // The first date carrying the factor that is not before the window, or the one before it
  // when that first date lies beyond the window (the window is 500 days short of a cycle).
  int64_t low = p - 3000;
  int64_t diff = low - base;
  int64_t k = diff >= 0 ? (diff + kCycle - 1) / kCycle : -((-diff) / kCycle);
  int64_t candidate = base + k * kCycle;
  if (candidate > p + 5500 && candidate - p > p - (candidate - kCycle)) candidate -= kCycle;
  if (candidate < base) candidate = base;
  return host::DateTime::fromDays(candidate);
}

std::string CampoValor(double value) {
  double rounded = host::RoundDec(2, value);
  if (!(rounded >= 0.0) || rounded > 99999999.99)
    host::MensErro(fmt::format(
        "Valor {} não cabe no código de barras (de 0,00 a 99.999.999,99).",
        host::FormatBr(value)));
  auto cents = static_cast<int64_t>(std::llround(rounded * 100.0));
  return fmt::format("{:010d}", cents);
}

char DigitoGeral(std::string_view barcode) {
  std::string rest;
  rest.reserve(43);
  rest.append(barcode.substr(0, 4));
  rest.append(barcode.substr(5));
  return Mod11_DV(rest, "")[0];
}

std::string LinhaDigitavel(std::string_view bank, std::string_view agency,
                           std::string_view carteira, std::string_view nossoNumero,
                           std::string_view account, const host::DateTime& due, double value,
                           std::string_view dac, std::string_view agreement,
                           std::string_view collectionType, std::string_view instalment,
                           std::string_view bankConv, std::string_view operation) {
  const BankLayout* layout = findBank(bank);
  if (!layout || bank.size() != 3 || !allDigits(bank)) return {};
  FreeFieldInput in{bank,      agency,         carteira,   nossoNumero, account, dac,
                    agreement, collectionType, instalment, bankConv,    operation, due};
  std::optional<std::string> free;
  try {
    free = layout->freeField(in);
  } catch (const std::invalid_argument&) {
    return {};  // the account's data are not numbers where the layout needs numbers
  }
  if (!free || free->size() != 25 || !allDigits(*free)) return {};
  std::string barcode = fmt::format("{}90{:04d}{}{}", bank, FatorVencimento(due),
                                    CampoValor(value), *free);
  barcode[4] = DigitoGeral(barcode);
  return LinhaDoCodigo(barcode);
}

std::string LinhaDoCodigo(std::string_view b) {
  if (b.size() != 44 || !allDigits(b)) return {};
  std::string line;
  line.reserve(47);
  line.append(b.substr(0, 4));
  line.append(b.substr(19, 5));
  line.push_back(mod10Char(line));
  line.append(b.substr(24, 10));
  line.push_back(mod10Char(b.substr(24, 10)));
  line.append(b.substr(34, 10));
  line.push_back(mod10Char(b.substr(34, 10)));
  line.push_back(b[4]);
  line.append(b.substr(5, 14));
  return line;
}

std::string CodigoBarras(std::string_view typedLine, int /*variant*/) {
  std::string l;
  l.reserve(47);
  for (char c : typedLine)
    if (c != '.' && c != ' ') l.push_back(c);
  if (l.size() != 47 || !allDigits(l)) return {};
  std::string b;
  b.reserve(44);
  b.append(l, 0, 4);
  b.push_back(l[32]);
  b.append(l, 33, 14);
  b.append(l, 4, 5);
  b.append(l, 10, 10);
  b.append(l, 21, 10);
  return b;
}

std::string NossoNumeroCdBarra(std::string_view barcode, std::string_view,
                               std::string_view size) {
  if (barcode.size() != 44) return {};
  const BankLayout* layout = findBank(barcode.substr(0, 3));
  if (!layout) return {};
  return layout->nossoNumeroFromFreeField(barcode.substr(19), size);
}

bool Vd_CodigoBarras(std::string_view barcode) {
  return barcode.size() == 44 && allDigits(barcode) && DigitoGeral(barcode) == barcode[4];
}

std::string FormataLinha(std::string_view l) {
  if (l.empty()) return {};
  if (l.size() != 47) return std::string(l);
  std::string f;
  f.reserve(54);
  f.append(l.substr(0, 5)).push_back('.');
  f.append(l.substr(5, 5)).push_back(' ');
  f.append(l.substr(10, 5)).push_back('.');
  f.append(l.substr(15, 6)).push_back(' ');
  f.append(l.substr(21, 5)).push_back('.');
  f.append(l.substr(26, 6)).push_back(' ');
  f.push_back(l[32]);
  f.push_back(' ');
  f.append(l.substr(33, 14));
  return f;
}

Verificacao VerificaCodigo(std::string_view text, const host::DateTime& processing) {
  Verificacao v;
  std::string digits;
  digits.reserve(text.size());
  for (char c : text) {
    if (c >= '0' && c <= '9')
      digits.push_back(c);
    else if (c != '.' && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      v.reason = fmt::format("caractere inválido '{}': só dígitos, pontos e espaços", c);
      return v;
    }
  }
  if (digits.size() == 47) {
    static constexpr std::array<std::pair<int, int>, 3> fields{{{0, 9}, {10, 10}, {21, 10}}};
    for (int i = 0; i < 3; ++i) {
      auto [start, len] = fields[static_cast<size_t>(i)];
      char expected = mod10Char(std::string_view(digits).substr(static_cast<size_t>(start),
                                                                static_cast<size_t>(len)));
      char got = digits[static_cast<size_t>(start + len)];
      if (expected != got) {
        v.reason = fmt::format("dígito do campo {} errado: {} em vez de {}", i + 1, got,
                               expected);
        return v;
      }
    }
    v.typedLine = digits;
    v.barcode = CodigoBarras(digits, 0);
  } else if (digits.size() == 44) {
    v.barcode = digits;
    v.typedLine = LinhaDoCodigo(digits);
  } else {
    v.reason = fmt::format(
        "{} dígitos: uma linha digitável tem 47 e um código de barras tem 44", digits.size());
    return v;
  }
  const std::string& b = v.barcode;
  char general = DigitoGeral(b);
  if (general != b[4]) {
    v.reason = fmt::format("dígito geral errado: {} em vez de {}", b[4], general);
    return v;
  }
  if (b[3] != '9') {
    v.reason = fmt::format("moeda {} desconhecida: só 9 (real)", b[3]);
    return v;
  }
  v.bank = b.substr(0, 3);
  v.factor = std::stoi(b.substr(5, 4));
  if (v.factor != 0) {
    v.dueDate = DataDoFator(v.factor, processing);
    if (!v.dueDate) {
      v.reason = fmt::format("fator de vencimento {} inválido", b.substr(5, 4));
      return v;
    }
  }
  v.cents = std::stoll(b.substr(9, 10));
  v.freeField = b.substr(19);
  v.valid = true;
  return v;
}

}  // namespace bank
