#include "host/bank/CheckDigits.h"

#include <array>
#include <stdexcept>

namespace bank {
namespace {

constexpr std::array<int, 8> k2to9{2, 3, 4, 5, 6, 7, 8, 9};
constexpr std::array<int, 6> k2to7{2, 3, 4, 5, 6, 7};
constexpr std::array<int, 4> k3197{3, 1, 9, 7};

void requireDigits(std::string_view digits) {
  if (digits.empty()) throw std::invalid_argument("empty number for a check digit");
  for (char c : digits)
    if (c < '0' || c > '9')
      throw std::invalid_argument("'" + std::string(digits) + "' is not a number");
}

std::string digitText(int d) {
  return std::string(1, static_cast<char>('0' + d));
}

int leftWeightedSum(std::string_view digits, std::span<const int> weightsFromLeft) {
  requireDigits(digits);
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i)
    sum += (digits[i] - '0') * weightsFromLeft[i % weightsFromLeft.size()];
  return sum;
}

int mod10Digit(std::string_view digits) {
  requireDigits(digits);
  int sum = 0;
  int weight = 2;
  for (size_t i = digits.size(); i-- > 0;) {
    int p = (digits[i] - '0') * weight;
    sum += p > 9 ? p - 9 : p;
    weight = weight == 2 ? 1 : 2;
  }
  int d = 10 - sum % 10;
  return d == 10 ? 0 : d;
}

}  // namespace

int WeightedSum(std::string_view digits, std::span<const int> weightsFromRight) {
  requireDigits(digits);
  int sum = 0;
  size_t w = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    sum += (digits[i] - '0') * weightsFromRight[w];
    w = (w + 1) % weightsFromRight.size();
  }
  return sum;
}

std::string Mod10(std::string_view digits) {
  return digitText(mod10Digit(digits));
}

std::string Mod11_DV(std::string_view digits, std::string_view bank) {
  int d = 11 - WeightedSum(digits, k2to9) % 11;
  if (d > 9) return bank == "104" ? "0" : "1";
  return digitText(d);
}

std::string Mod11_Bx(std::string_view digits) {
  requireDigits(digits);
  int sum = 0;
  int weight = 2;
  for (size_t i = digits.size(); i-- > 0;) sum += (digits[i] - '0') * weight++;
  int r = sum % 11;
  return r <= 1 ? "0" : digitText(11 - r);
}

std::string Mod11_B7(std::string_view digits) {
  int r = WeightedSum(digits, k2to7) % 11;
  if (r == 0) return "0";
  if (r == 1) return "P";
  return digitText(11 - r);
}

std::string Mod11_B9(std::string_view digits, std::string_view bank) {
  int r = WeightedSum(digits, k2to9) % 11;
  if (bank == "422") {
    if (r == 0) return "1";
    if (r == 1) return "0";
  }
  return r <= 1 ? "0" : digitText(11 - r);
}

std::string Mod11_B9_2(std::string_view digits, std::string_view bank) {
  // Weights 9..2 from the right give the remainder 11 - r of weights 2..9.
  int r = WeightedSum(digits, k2to9) % 11;
  int d = r == 0 ? 0 : 11 - r;
  if (d == 10) return bank == "001" ? "X" : "0";
  return digitText(d);
}

std::string Mod11_Santander(std::string_view digits) {
  int r = WeightedSum(digits, k2to9) % 11;
  if (r == 10) return "1";
  return r <= 1 ? "0" : digitText(11 - r);
}

std::string Mod11_SICOOB(std::string_view digits) {
  int r = leftWeightedSum(digits, k3197) % 11;
  return r <= 1 ? "0" : digitText(11 - r);
}

std::string Mod_NossaCaixa(std::string_view digits) {
  int d = 10 - leftWeightedSum(digits, k3197) % 10;
  return digitText(d == 10 ? 0 : d);
}

std::string Luhn(std::string_view text) {
  int sum = 0;
  int weight = 2;
  for (size_t i = text.size(); i-- > 0;) {
    int v = (text[i] >= '0' && text[i] <= '9') ? text[i] - '0' : 0;
    int p = v * weight;
    sum += p > 9 ? p - 9 : p;
    weight = weight == 2 ? 1 : 2;
  }
  int d = 10 - sum % 10;
  return digitText(d == 10 ? 0 : d);
}

std::string DuploDigito(std::string_view digits) {
  int d1 = mod10Digit(digits);
  std::string work(digits);
  work.push_back('0');
  for (;;) {
    work.back() = static_cast<char>('0' + d1);
    int r = WeightedSum(work, k2to7) % 11;
    if (r == 1) {
      d1 = (d1 + 1) % 10;
      continue;
    }
    int d2 = r == 0 ? 0 : 11 - r;
    return digitText(d1) + digitText(d2);
  }
}

}  // namespace bank
