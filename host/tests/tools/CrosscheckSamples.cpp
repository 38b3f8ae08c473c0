// Samples for the cross-checks with a validator written elsewhere (tests/js):
//   crosscheck_samples pix [N]   N random static PIX texts built here, one JSON object a line,
//                                with what each was built to carry;
//   crosscheck_samples cnpj [N]  N CNPJs, valid and damaged, numeric and alphanumeric, as
//                                "cnpj<TAB>1|0" (1 when this host accepts it).
// The seed is fixed, so a failure can be reproduced.

#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "host/Pix.h"
#include "host/TaxId.h"

namespace {

std::mt19937_64 rng(20260701);

size_t pick(size_t n) {
  return std::uniform_int_distribution<size_t>(0, n - 1)(rng);
}
template <size_t N>
const char* pickOf(const char* const (&list)[N]) {
  return list[pick(N)];
}
std::string draw(std::string_view alphabet, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += alphabet[pick(alphabet.size())];
  return s;
}

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kAlnumUpper = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string cnpj(bool letters) {
  std::string base = draw(letters ? kAlnumUpper : kDigits, 12);
  return base + *host::cnpjCheckDigits(base);
}

std::string cpf() {
  std::string base = draw(kDigits, 9);
  return base + *host::cpfCheckDigits(base);
}

// A key in a form an operator might type it, and its kind.
std::string typedKey() {
  switch (pick(6)) {
    case 0: {
      std::string c = cpf();
      return pick(2) ? c
                     : fmt::format("{}.{}.{}-{}", c.substr(0, 3), c.substr(3, 3), c.substr(6, 3),
                                   c.substr(9));
    }
    case 1:
      return cnpj(false);
    case 2:
      return host::formatTaxId(cnpj(true));
    case 3:
      return draw("abcdefghijklmnopqrstuvwxyzABCDEFGHIJ0123456789", 1 + pick(20)) +
             pickOf({"", ".", "_", "+", "-"}) + draw("abcdefghijk0123", 1 + pick(8)) + "@" +
             pickOf({"example.com", "Empresa.COM.br", "mail-1.example.org", "x.io"});
    case 4:
      return fmt::format("+55 ({}) 9{}-{}",
                         pickOf({"11", "21", "31", "41", "51", "61", "71", "81", "85", "91", "27",
                                 "48", "62", "98"}),
                         draw(kDigits, 4), draw(kDigits, 4));
    default: {
      std::string u = draw("0123456789abcdefABCDEF", 32);
      return fmt::format("{}-{}-4{}-{}{}-{}", u.substr(0, 8), u.substr(8, 4), u.substr(12, 3),
                         pickOf({"8", "9", "a", "b"}), u.substr(15, 3), u.substr(18, 12));
    }
  }
}

std::string words(const char* const* pool, size_t poolSize, size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += (i ? " " : "") + std::string(pool[pick(poolSize)]);
  return s;
}

void pixSamples(int n) {
  static const char* const names[] = {"Açougue",  "São",      "João",  "Conceição", "Irmãos",
                                      "Ltda",     "Comércio", "Ñandu", "Padaria",   "Müller",
                                      "d'Ávila",  "&",        "Cia.",  "Eventos",   "Ótica",
                                      "Brasília", "Assunção", "Maria", "José",      "Épsilon",
                                      "S/A",      "Ouro",     "Preto", "Joinville", "Florianópolis",
                                      "Itaú",     "Niterói",  "ÇÃO",   "Paraná",    "Goiânia"};
  constexpr size_t kNames = std::size(names);
  for (int i = 0; i < n; ++i) {
    host::pix::StaticCharge c;
    c.key = typedKey();
    if (pick(4)) c.cents = static_cast<int64_t>(1 + pick(pick(2) ? 100'000 : 999'999'999'999));
    c.merchantName = words(names, kNames, 1 + pick(6));
    c.merchantCity = words(names, kNames, 1 + pick(3));
    if (pick(3))
      c.txid = draw("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", 1 + pick(25));
    if (pick(2)) c.description = words(names, kNames, 1 + pick(12));
    const host::pix::Built b = host::pix::buildStatic(c);
    const host::pix::Decoded d = host::pix::decode(b.text);
    nlohmann::json j{{"text", b.text},
                     {"key", d.key},
                     {"kind", host::pix::keyKindName(*d.keyKind)},
                     {"cents", c.cents ? nlohmann::json(*c.cents) : nlohmann::json(nullptr)},
                     {"name", d.merchantName},
                     {"city", d.merchantCity},
                     {"txid", c.txid},
                     {"description", d.description}};
    std::cout << j.dump() << '\n';
  }
}

void cnpjSamples(int n) {
  for (int i = 0; i < n; ++i) {
    std::string s;
    switch (pick(10)) {
      case 0:
        s = cnpj(false);
        break;
      case 1:
      case 2:
      case 3:
        s = cnpj(true);
        break;
      case 4:
      case 5:
      case 6: {  // one character changed
        s = cnpj(pick(4) != 0);
        const size_t at = pick(14);
        const std::string_view set = at >= 12 ? kDigits : kAlnumUpper;
        char c = s[at];
        while (c == s[at]) c = set[pick(set.size())];
        s[at] = c;
        break;
      }
      default:
        s = draw(kAlnumUpper, 12) + draw(kDigits, 2);
        break;
    }
    std::cout << s << '\t' << (host::isValidCnpj(s) ? 1 : 0) << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  const int n = argc > 2 ? std::stoi(argv[2]) : (what == "cnpj" ? 10'000 : 1'000);
  if (what == "pix") {
    pixSamples(n);
  } else if (what == "cnpj") {
    cnpjSamples(n);
  } else {
    std::cerr << "usage: crosscheck_samples pix|cnpj [N]\n";
    return 2;
  }
  return 0;
}
