#include "host/TaxId.h"

#include <fmt/format.h>

#include "host/Consiste.h"

namespace host {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

// Modulus 11 over the characters' values (ASCII - 48), weights given from the left;
// remainders 0 and 1 give 0.
char mod11Digit(std::string_view chars, const int* weights) {
  int sum = 0;
  for (size_t i = 0; i < chars.size(); ++i) sum += (chars[i] - '0') * weights[i];
  const int r = sum % 11;
  return static_cast<char>('0' + (r < 2 ? 0 : 11 - r));
}

// The text without the literals of `mask` when it is laid into it exactly ('#' marks a
// character of the number); otherwise the text as it is.
std::string unmask(std::string_view text, std::string_view mask) {
  if (text.size() != mask.size()) return std::string(text);
  std::string bare;
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '#')
      bare += text[i];
    else if (text[i] != mask[i])
      return std::string(text);
  }
  return bare;
}

// The character starting at byte i of a UTF-8 text, whole.
std::string charAt(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return std::string(s.substr(i, n));
}

// Checks the characters of a registration of `baseSize` characters plus two check digits;
// letters are allowed in the base when `letters`. Gives the problem or "".
std::string characterProblem(std::string_view what, std::string_view body, size_t baseSize,
                             bool letters) {
  size_t pos = 0;  // position in characters, from 1 in messages
  for (size_t i = 0; i < body.size(); ++pos) {
    const std::string ch = charAt(body, i);
    i += ch.size();
    const char c = ch[0];
    if (pos >= baseSize + 2) break;  // the length check speaks for the excess
    if (pos >= baseSize) {
      if (!isDigit(c))
        return fmt::format("{}: os dígitos verificadores devem ser numéricos ('{}' na posição {}).",
                           what, ch, pos + 1);
      continue;
    }
    if (isDigit(c) || (letters && isUpper(c))) continue;
    if (letters && c >= 'a' && c <= 'z')
      return fmt::format("{}: letra minúscula '{}' na posição {}; use letras maiúsculas.", what, ch,
                         pos + 1);
    return fmt::format("{}: caractere '{}' não permitido na posição {}; use só {}.", what, ch,
                       pos + 1, letters ? "dígitos e letras maiúsculas" : "dígitos");
  }
  return {};
}

}  // namespace

std::optional<std::string> cnpjCheckDigits(std::string_view base12) {
  if (base12.size() != 12) return std::nullopt;
  for (char c : base12)
    if (!isDigit(c) && !isUpper(c)) return std::nullopt;
  static constexpr int w1[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  static constexpr int w2[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  std::string s(base12);
  s += mod11Digit(s, w1);
  s += mod11Digit(s, w2);
  return s.substr(12);
}

std::optional<std::string> cpfCheckDigits(std::string_view base9) {
  if (base9.size() != 9 || !IsDigits(base9)) return std::nullopt;
  static constexpr int w1[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
  static constexpr int w2[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
  std::string s(base9);
  s += mod11Digit(s, w1);
  s += mod11Digit(s, w2);
  return s.substr(9);
}

std::string cnpjProblem(std::string_view text) {
  const std::string body = unmask(AllTrim(text), "##.###.###/####-##");
  if (body.empty()) return "CNPJ não informado.";
  if (std::string p = characterProblem("CNPJ", body, 12, true); !p.empty()) return p;
  if (body.size() != 14)
    return fmt::format(
        "CNPJ deve ter 14 caracteres: 12 dígitos ou letras maiúsculas e 2 dígitos verificadores "
        "({} informados).",
        Utf8Length(body));
  if (body == "00000000000000") return "CNPJ zerado não é válido.";
  const std::string expected = *cnpjCheckDigits(std::string_view(body).substr(0, 12));
  if (body.compare(12, 2, expected) != 0)
    return fmt::format("CNPJ com dígitos verificadores errados: {} em vez de {}.", body.substr(12),
                       expected);
  return {};
}

std::string cpfProblem(std::string_view text) {
  const std::string body = unmask(AllTrim(text), "###.###.###-##");
  if (body.empty()) return "CPF não informado.";
  if (std::string p = characterProblem("CPF", body, 9, false); !p.empty()) return p;
  if (body.size() != 11)
    return fmt::format("CPF deve ter 11 dígitos ({} informados).", Utf8Length(body));
  if (body.find_first_not_of(body[0]) == std::string::npos)
    return "CPF de onze dígitos iguais não é válido.";
  const std::string expected = *cpfCheckDigits(std::string_view(body).substr(0, 9));
  if (body.compare(9, 2, expected) != 0)
    return fmt::format("CPF com dígitos verificadores errados: {} em vez de {}.", body.substr(9),
                       expected);
  return {};
}

std::string taxIdProblem(std::string_view kind, std::string_view text) {
  const std::string k = UpperCase(AllTrim(kind));
  if (k == "F") return cpfProblem(text);
  if (k == "J") return cnpjProblem(text);
  return taxIdDigits(text).size() == 11 ? cpfProblem(text) : cnpjProblem(text);
}

std::string taxIdDigits(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '.' && c != '/' && c != '-' && c != ' ') out += c;
  return out;
}

std::string formatTaxId(std::string_view text) {
  const std::string d = taxIdDigits(text);
  if (d.size() == 11 && IsDigits(d)) return FormatMaskText("000.000.000-00;0; ", d);
  if (d.size() == 14 &&
      d.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos)
    return FormatMaskText("AA.AAA.AAA/AAAA-00;0; ", d);
  return std::string(text);
}

std::string PictPess(std::string_view kind) {
  const std::string k = UpperCase(AllTrim(kind));
  if (k == "F") return "000.000.000-00;0; ";
  if (k == "J") return ">AA.AAA.AAA/AAAA-00;0; ";
  return {};
}

}  // namespace host
