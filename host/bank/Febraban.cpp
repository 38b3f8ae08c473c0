#include "host/bank/Febraban.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"

namespace bank {
namespace {

constexpr int kCycle = 9000;
// The window of due dates a factor names, around the processing date.
constexpr int kBefore = 3000;
constexpr int kAfter = 5500;
const host::DateTime kFactor1000 = host::DateTime::fromYmd(2000, 7, 3);

bool allDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Modulus 10 of digits already known to be digits.
char mod10Char(std::string_view digits) {
  int sum = 0;
  int weight = 2;
  for (size_t i = digits.size(); i-- > 0;) {
    int p = (digits[i] - '0') * weight;
    sum += p > 9 ? p - 9 : p;
    weight = 3 - weight;
  }
  int d = 10 - sum % 10;
  return static_cast<char>('0' + (d == 10 ? 0 : d));
}

}  // namespace

int FatorVencimento(const host::DateTime& due) {
  int64_t days = due.dateOnly().daysSince(kFactor1000);
  if (days < 0)
    host::MensErro(fmt::format("Vencimento {} anterior a 03/07/2000: sem fator de vencimento.",
                               due.format("dd/mm/yyyy")));
  return static_cast<int>(1000 + days % kCycle);
}

void VerificaJanelaVencimento(const host::DateTime& due, const host::DateTime& processing) {
  const int64_t days = due.dateOnly().daysSince(processing.dateOnly());
  if (days < -kBefore || days > kAfter)
    host::MensErro(fmt::format(
        "Vencimento {} fora da janela do fator de vencimento: de {} a {} (3.000 dias antes e "
        "5.500 dias depois de {}); o código de barras seria lido como outra data.",
        due.format("dd/mm/yyyy"), processing.dateOnly().addDays(-kBefore).format("dd/mm/yyyy"),
        processing.dateOnly().addDays(kAfter).format("dd/mm/yyyy"),
        processing.format("dd/mm/yyyy")));
  FatorVencimento(due);
}

std::optional<host::DateTime> DataDoFator(int factor, const host::DateTime& processing) {
  if (factor < 1000 || factor > 9999) return std::nullopt;
  int64_t base = kFactor1000.daysSinceEpoch() + (factor - 1000);
  int64_t p = processing.dateOnly().daysSinceEpoch();
  // The first date carrying the factor that is not before the window, or the one before it
  // when that first date lies beyond the window (the window is 500 days short of a cycle).
  int64_t low = p - kBefore;
  int64_t diff = low - base;
  int64_t k = diff >= 0 ? (diff + kCycle - 1) / kCycle : -((-diff) / kCycle);
  int64_t candidate = base + k * kCycle;
  if (candidate > p + kAfter && candidate - p > p - (candidate - kCycle)) candidate -= kCycle;
  if (candidate < base) candidate = base;
  return host::DateTime::fromDays(candidate);
}

std::string CampoValor(double value) {
  // A value that is already a whole number of cents needs no decimal rounding; any other
  // goes through RoundDec, so 1.005 still gives 101 cents.
  double scaled = value * 100.0;
  double nearest = std::nearbyint(scaled);
  double rounded = std::fabs(scaled - nearest) < 1e-6 && value >= 0.0 && value < 1e9
                       ? nearest / 100.0
                       : host::RoundDec(2, value);
  if (!(rounded >= 0.0) || rounded > 99999999.99)
    host::MensErro(fmt::format("Valor {} não cabe no código de barras (de 0,00 a 99.999.999,99).",
                               host::FormatBr(value)));
  auto cents = static_cast<int64_t>(std::llround(rounded * 100.0));
  std::string field(10, '0');
  for (size_t i = 10; i-- > 0 && cents > 0; cents /= 10)
    field[i] = static_cast<char>('0' + cents % 10);
  return field;
}

char DigitoGeral(std::string_view barcode) {
  // Weights 2..9 from the right over the 43 digits around position 5.
  int sum = 0;
  int weight = 2;
  for (size_t i = barcode.size(); i-- > 0;) {
    if (i == 4) continue;
    char c = barcode[i];
    if (c < '0' || c > '9') throw std::invalid_argument("barcode with a non-digit");
    sum += (c - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  int d = 11 - sum % 11;
  return d > 9 ? '1' : static_cast<char>('0' + d);
}

std::string LinhaDigitavel(std::string_view bank, std::string_view agency,
                           std::string_view carteira, std::string_view nossoNumero,
                           std::string_view account, const host::DateTime& due, double value,
                           std::string_view dac, std::string_view agreement,
                           std::string_view collectionType, std::string_view instalment,
                           std::string_view bankConv, std::string_view operation) {
  const BankLayout* layout = findBank(bank);
  if (!layout || bank.size() != 3 || !allDigits(bank)) return {};
  FreeFieldInput in{bank,      agency,         carteira,   nossoNumero, account,   dac,
                    agreement, collectionType, instalment, bankConv,    operation, due};
  std::optional<std::string> free;
  try {
    free = layout->freeField(in);
  } catch (const std::invalid_argument&) {
    return {};  // the account's data are not numbers where the layout needs numbers
  }
  if (!free || free->size() != 25 || !allDigits(*free)) return {};
  int factor = FatorVencimento(due);
  std::string barcode;
  barcode.reserve(44);
  barcode.append(bank).append("90");
  barcode.push_back(static_cast<char>('0' + factor / 1000));
  barcode.push_back(static_cast<char>('0' + factor / 100 % 10));
  barcode.push_back(static_cast<char>('0' + factor / 10 % 10));
  barcode.push_back(static_cast<char>('0' + factor % 10));
  barcode.append(CampoValor(value)).append(*free);
  barcode[4] = DigitoGeral(barcode);
  return LinhaDoCodigo(barcode);
}

std::string LinhaDoCodigo(std::string_view b) {
  if (b.size() != 44 || !allDigits(b)) return {};
  char l[47];
  std::memcpy(l, b.data(), 4);
  std::memcpy(l + 4, b.data() + 19, 5);
  l[9] = mod10Char(std::string_view(l, 9));
  std::memcpy(l + 10, b.data() + 24, 10);
  l[20] = mod10Char(b.substr(24, 10));
  std::memcpy(l + 21, b.data() + 34, 10);
  l[31] = mod10Char(b.substr(34, 10));
  l[32] = b[4];
  std::memcpy(l + 33, b.data() + 5, 14);
  return std::string(l, 47);
}

std::string CodigoBarras(std::string_view typedLine, int /*variant*/) {
  char l[47];
  size_t n = 0;
  for (char c : typedLine) {
    if (c == '.' || c == ' ') continue;
    if (c < '0' || c > '9' || n == 47) return {};
    l[n++] = c;
  }
  if (n != 47) return {};
  char b[44];
  std::memcpy(b, l, 4);
  b[4] = l[32];
  std::memcpy(b + 5, l + 33, 14);
  std::memcpy(b + 19, l + 4, 5);
  std::memcpy(b + 24, l + 10, 10);
  std::memcpy(b + 34, l + 21, 10);
  return std::string(b, 44);
}

std::string NossoNumeroCdBarra(std::string_view barcode, std::string_view, std::string_view size) {
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
  char f[54];
  char* o = f;
  auto put = [&](size_t start, size_t len, char after) {
    std::memcpy(o, l.data() + start, len);
    o += len;
    if (after) *o++ = after;
  };
  put(0, 5, '.');
  put(5, 5, ' ');
  put(10, 5, '.');
  put(15, 6, ' ');
  put(21, 5, '.');
  put(26, 6, ' ');
  put(32, 1, ' ');
  put(33, 14, 0);
  return std::string(f, 54);
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
      char expected = mod10Char(
          std::string_view(digits).substr(static_cast<size_t>(start), static_cast<size_t>(len)));
      char got = digits[static_cast<size_t>(start + len)];
      if (expected != got) {
        v.reason = fmt::format("dígito do campo {} errado: {} em vez de {}", i + 1, got, expected);
        return v;
      }
    }
    v.typedLine = digits;
    v.barcode = CodigoBarras(digits, 0);
  } else if (digits.size() == 44) {
    v.barcode = digits;
    v.typedLine = LinhaDoCodigo(digits);
  } else {
    v.reason = fmt::format("{} dígitos: uma linha digitável tem 47 e um código de barras tem 44",
                           digits.size());
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
  auto number = [&](size_t start, size_t len) {
    int64_t x = 0;
    for (size_t i = start; i < start + len; ++i) x = x * 10 + (b[i] - '0');
    return x;
  };
  v.factor = static_cast<int>(number(5, 4));
  if (v.factor != 0) {
    v.dueDate = DataDoFator(v.factor, processing);
    if (!v.dueDate) {
      v.reason = fmt::format("fator de vencimento {} inválido", b.substr(5, 4));
      return v;
    }
  }
  v.cents = number(9, 10);
  v.freeField = b.substr(19);
  v.valid = true;
  return v;
}

}  // namespace bank
