#include "host/Pix.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/TaxId.h"

namespace host::pix {

namespace {

constexpr std::string_view kGui = "br.gov.bcb.pix";
constexpr size_t kNameMax = 25;
constexpr size_t kCityMax = 15;
constexpr size_t kTxidMax = 25;
constexpr size_t kKeyMax = 77;
constexpr size_t kAmountMax = 13;
constexpr size_t kTemplateMax = 99;
constexpr int64_t kCentsMax = 999'999'999'999;  // "9999999999.99", 13 characters

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isAlnum(char c) {
  return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool allOf(std::string_view s, bool (*pred)(char)) {
  return std::all_of(s.begin(), s.end(), pred);
}
bool isLowerHex(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f');
}
bool isHex(char c) {
  return isLowerHex(c) || (c >= 'A' && c <= 'F');
}

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string object(std::string_view id, std::string_view value) {
  return fmt::format("{}{:02}{}", id, value.size(), value);
}

// Area codes of Brazilian telephone numbers (ANATEL's numbering plan).
bool isAreaCode(int ddd) {
  static constexpr std::array<int, 67> kCodes = {
      11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 24, 27, 28, 31, 32, 33, 34, 35, 37, 38, 41, 42,
      43, 44, 45, 46, 47, 48, 49, 51, 53, 54, 55, 61, 62, 63, 64, 65, 66, 67, 68, 69, 71, 73, 74,
      75, 77, 79, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92, 93, 94, 95, 96, 97, 98, 99};
  return std::find(kCodes.begin(), kCodes.end(), ddd) != kCodes.end();
}

// The key directory's e-mail form: a local part of its characters, "@", and domain labels of
// letters, digits and inner hyphens.
bool isEmail(std::string_view s) {
  const size_t at = s.find('@');
  if (at == 0 || at == std::string_view::npos || s.find('@', at + 1) != std::string_view::npos)
    return false;
  for (char c : s.substr(0, at))
    if (!(isDigit(c) || (c >= 'a' && c <= 'z') ||
          std::string_view(".!#$&'*+/=?^_`{|}~-").find(c) != std::string_view::npos))
      return false;
  std::string_view domain = s.substr(at + 1);
  if (domain.empty()) return false;
  size_t start = 0;
  while (start <= domain.size()) {
    size_t dot = domain.find('.', start);
    if (dot == std::string_view::npos) dot = domain.size();
    std::string_view label = domain.substr(start, dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      return false;
    for (char c : label)
      if (!(isDigit(c) || (c >= 'a' && c <= 'z') || c == '-')) return false;
    start = dot + 1;
  }
  return true;
}

bool isUuid(std::string_view s, bool (*hex)(char)) {
  if (s.size() != 36) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-' : !hex(s[i])) return false;
  }
  return true;
}

KeyCheck refused(std::string problem) {
  return {std::nullopt, {}, std::move(problem)};
}

// Amount "1234.56": digits, optionally a dot and one or two decimals.
std::optional<int64_t> amountCents(std::string_view s) {
  const size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? "" : s.substr(dot + 1);
  if (whole.empty() || !allOf(whole, isDigit)) return std::nullopt;
  if (dot != std::string_view::npos && (frac.empty() || frac.size() > 2 || !allOf(frac, isDigit)))
    return std::nullopt;
  if (whole.size() > kAmountMax) return std::nullopt;
  int64_t cents = std::stoll(std::string(whole)) * 100;
  if (!frac.empty()) cents += std::stoll(std::string(frac)) * (frac.size() == 1 ? 10 : 1);
  return cents;
}

std::string cut(const std::string& s, size_t n) {
  return AllTrim(s.substr(0, n));
}

// --- reading ----------------------------------------------------------------------------

const char* topName(int id) {
  switch (id) {
    case 0:
      return "Payload Format Indicator";
    case 1:
      return "Point of Initiation Method";
    case 52:
      return "Merchant Category Code";
    case 53:
      return "Transaction Currency";
    case 54:
      return "Transaction Amount";
    case 55:
      return "Tip or Convenience Indicator";
    case 56:
      return "Value of Convenience Fee Fixed";
    case 57:
      return "Value of Convenience Fee Percentage";
    case 58:
      return "Country Code";
    case 59:
      return "Merchant Name";
    case 60:
      return "Merchant City";
    case 61:
      return "Postal Code";
    case 62:
      return "Additional Data Field Template";
    case 63:
      return "CRC";
    case 64:
      return "Merchant Information - Language Template";
    default:
      break;
  }
  if (id >= 2 && id <= 51) return "Merchant Account Information";
  if (id >= 80) return "Unreserved Template";
  return "RFU for EMVCo";
}

bool isTemplate(int id) {
  return (id >= 26 && id <= 51) || id == 62 || id == 64 || id >= 80;
}

const char* pixName(int id) {
  switch (id) {
    case 0:
      return "GUI";
    case 1:
      return "Key";
    case 2:
      return "Additional Information";
    case 3:
      return "Withdrawal Facilitator (fss)";
    case 25:
      return "URL";
    default:
      return "RFU";
  }
}

const char* additionalName(int id) {
  switch (id) {
    case 1:
      return "Bill Number";
    case 2:
      return "Mobile Number";
    case 3:
      return "Store Label";
    case 4:
      return "Loyalty Number";
    case 5:
      return "Reference Label (txid)";
    case 6:
      return "Customer Label";
    case 7:
      return "Terminal Label";
    case 8:
      return "Purpose of Transaction";
    case 9:
      return "Additional Consumer Data Request";
    default:
      return id >= 50 ? "Payment System Specific" : "RFU for EMVCo";
  }
}

struct ReadError {
  std::string reason;
};

// Splits `text` (starting at `offset` of the whole, for the positions of messages) into
// ID-length-value objects; `parent` names the template for the objects' ids ("26.01").
std::vector<Field> readObjects(std::string_view text, size_t offset, std::string_view parent) {
  std::vector<Field> out;
  size_t i = 0;
  auto label = [&](std::string_view id) {
    return parent.empty() ? fmt::format("{}", id) : fmt::format("{}.{}", parent, id);
  };
  while (i < text.size()) {
    const size_t at = offset + i + 1;
    if (text.size() - i < 4)
      throw ReadError{
          fmt::format("texto termina no meio de um campo na posição {}: '{}'", at, text.substr(i))};
    const std::string_view id = text.substr(i, 2), len = text.substr(i + 2, 2);
    if (!allOf(id, isDigit))
      throw ReadError{fmt::format("identificador '{}' não numérico na posição {}", id, at)};
    if (!allOf(len, isDigit))
      throw ReadError{
          fmt::format("campo {}: tamanho '{}' não numérico na posição {}", label(id), len, at + 2)};
    const size_t n = static_cast<size_t>(std::stoi(std::string(len)));
    if (n == 0)
      throw ReadError{fmt::format("campo {} com tamanho zero na posição {}", label(id), at)};
    if (text.size() - i - 4 < n)
      throw ReadError{fmt::format("campo {} declara {} caracteres, mas só restam {}", label(id), n,
                                  text.size() - i - 4)};
    for (const Field& f : out)
      if (f.id == label(id)) throw ReadError{fmt::format("campo {} repetido", label(id))};
    out.push_back({label(id), {}, std::string(text.substr(i + 4, n)), {}});
    i += 4 + n;
  }
  return out;
}

int idNumber(const Field& f) {
  return std::stoi(f.id.substr(f.id.size() - 2));
}

const Field* find(const std::vector<Field>& fields, int id) {
  for (const Field& f : fields)
    if (idNumber(f) == id) return &f;
  return nullptr;
}

void readStructure(std::string_view text, Decoded& d) {
  d.fields = readObjects(text, 0, "");
  size_t offset = 0;
  for (Field& f : d.fields) {
    const int id = idNumber(f);
    f.name = topName(id);
    if (isTemplate(id)) {
      f.children = readObjects(f.value, offset + 4, f.id);
      for (Field& c : f.children) {
        const int sub = idNumber(c);
        if (id == 62)
          c.name = additionalName(sub);
        else if (id <= 51)
          c.name = sub == 0 ? "GUI" : "Payment Network Specific";
        else
          c.name = "Data Object";
      }
    }
    offset += 4 + f.value.size();
  }
}

std::string checkCrc(std::string_view text, const std::vector<Field>& fields) {
  if (fields.front().id != "00") return "o primeiro campo deve ser o 00 (Payload Format Indicator)";
  if (fields.front().value != "01")
    return fmt::format("Payload Format Indicator '{}' em vez de '01'", fields.front().value);
  const Field& last = fields.back();
  if (last.id != "63") {
    return find(fields, 63) ? "o campo 63 (CRC) deve ser o último"
                            : "campo 63 (CRC) ausente: o texto está incompleto";
  }
  if (last.value.size() != 4 || !allOf(last.value, isHex))
    return fmt::format("CRC '{}' não tem quatro dígitos hexadecimais", last.value);
  const std::string computed = crc16Hex(text.substr(0, text.size() - 4));
  if (UpperCase(last.value) != computed)
    return fmt::format("CRC errado: {} no texto, {} calculado; o texto foi alterado ou cortado",
                       last.value, computed);
  return {};
}

std::string checkPixAccount(const std::vector<Field>& fields, Decoded& d) {
  const Field* pix = nullptr;
  for (const Field& f : fields) {
    const int id = idNumber(f);
    if (id < 26 || id > 51) continue;
    const Field* gui = find(f.children, 0);
    if (gui && asciiLower(gui->value) == kGui) {
      if (pix)
        return fmt::format("dois modelos de conta com o GUI {}: campos {} e {}", kGui, pix->id,
                           f.id);
      pix = &f;
    }
  }
  if (!pix)
    return fmt::format("nenhum modelo de conta (campos 26 a 51) com o GUI {}: não é um BR Code Pix",
                       kGui);
  const Field* key = find(pix->children, 1);
  const Field* url = find(pix->children, 25);
  const Field* info = find(pix->children, 2);
  const Field* fss = find(pix->children, 3);
  if (key && url)
    return fmt::format("campo {} leva chave (01) e URL (25): só um dos dois é permitido", pix->id);
  if (!key && !url) return fmt::format("campo {} sem chave (01) nem URL (25)", pix->id);
  if (key) {
    if (key->value.size() > kKeyMax)
      return fmt::format("chave Pix com {} caracteres (máximo {})", key->value.size(), kKeyMax);
    KeyCheck k = checkKey(key->value);
    if (!k.kind) return k.problem;
    d.keyKind = k.kind;
    d.key = key->value;
  } else {
    if (url->value.size() > kKeyMax)
      return fmt::format("URL com {} caracteres (máximo {})", url->value.size(), kKeyMax);
    if (url->value.find("://") != std::string::npos)
      return "a URL do BR Code dinâmico vai sem o esquema (sem \"https://\")";
    if (url->value.find('/') == std::string::npos || url->value.find('.') == std::string::npos)
      return fmt::format("URL '{}' não é um endereço de cobrança", url->value);
    d.url = url->value;
  }
  if (fss && (fss->value.size() != 8 || !allOf(fss->value, isDigit)))
    return fmt::format("fss '{}' não é um ISPB de 8 dígitos", fss->value);
  if (fss && url) return "fss só cabe no BR Code estático";
  if (info) d.description = info->value;
  return {};
}

std::string checkContent(const std::vector<Field>& fields, Decoded& d) {
  if (const Field* f = find(fields, 1); f && f->value != "11" && f->value != "12")
    return fmt::format("Point of Initiation Method '{}' (deve ser 11 ou 12)", f->value);
  if (std::string p = checkPixAccount(fields, d); !p.empty()) return p;

  const Field* mcc = find(fields, 52);
  if (!mcc) return "campo 52 (Merchant Category Code) ausente";
  if (mcc->value.size() != 4 || !allOf(mcc->value, isDigit))
    return fmt::format("Merchant Category Code '{}' não tem 4 dígitos", mcc->value);
  const Field* currency = find(fields, 53);
  if (!currency) return "campo 53 (Transaction Currency) ausente";
  if (currency->value != "986")
    return fmt::format("moeda '{}' em vez de 986 (real)", currency->value);
  if (const Field* amount = find(fields, 54)) {
    auto cents = amount->value.size() <= kAmountMax ? amountCents(amount->value) : std::nullopt;
    if (!cents)
      return fmt::format("valor '{}' não é um número com ponto e até duas casas decimais",
                         amount->value);
    // Only a withdrawal code (with the facilitator's fss) leaves its amount at zero.
    bool withdrawal = false;
    for (const Field& f : fields)
      if (idNumber(f) >= 26 && idNumber(f) <= 51 && find(f.children, 3)) withdrawal = true;
    if (*cents == 0 && !withdrawal) return "valor zero em um BR Code que não é de saque";
    d.amount = amount->value;
    d.cents = cents;
  }
  const Field* country = find(fields, 58);
  if (!country) return "campo 58 (Country Code) ausente";
  if (country->value != "BR") return fmt::format("país '{}' em vez de BR", country->value);
  const Field* name = find(fields, 59);
  if (!name) return "campo 59 (Merchant Name) ausente";
  if (name->value.size() > kNameMax)
    return fmt::format("nome do recebedor com {} caracteres (máximo {})", name->value.size(),
                       kNameMax);
  const Field* city = find(fields, 60);
  if (!city) return "campo 60 (Merchant City) ausente";
  if (city->value.size() > kCityMax)
    return fmt::format("cidade do recebedor com {} caracteres (máximo {})", city->value.size(),
                       kCityMax);
  d.merchantName = name->value;
  d.merchantCity = city->value;
  const Field* extra = find(fields, 62);
  if (!extra) return "campo 62 (Additional Data Field Template) ausente";
  const Field* txid = find(extra->children, 5);
  if (!txid) return "campo 62.05 (txid) ausente";
  if (txid->value != "***") {
    if (txid->value.size() > kTxidMax || !allOf(txid->value, isAlnum))
      return fmt::format("txid '{}' deve ter de 1 a 25 letras sem acento ou dígitos, ou ser ***",
                         txid->value);
    d.txid = txid->value;
  }
  return {};
}

}  // namespace

uint16_t crc16(std::string_view data) {
  uint16_t crc = 0xFFFF;
  for (unsigned char c : data) {
    crc = static_cast<uint16_t>(crc ^ (c << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

std::string crc16Hex(std::string_view data) {
  return fmt::format("{:04X}", crc16(data));
}

const char* keyKindName(KeyKind kind) {
  switch (kind) {
    case KeyKind::Cpf:
      return "CPF";
    case KeyKind::Cnpj:
      return "CNPJ";
    case KeyKind::Email:
      return "e-mail";
    case KeyKind::Phone:
      return "telefone";
    case KeyKind::Random:
      return "aleatória";
  }
  return "";
}

KeyCheck checkKey(std::string_view k) {
  const std::string key(k);
  if (key.empty()) return refused("chave Pix não informada");
  if (key.size() > kKeyMax)
    return refused(fmt::format("chave Pix com {} caracteres (máximo {})", key.size(), kKeyMax));
  if (key.find('@') != std::string::npos) {
    if (asciiLower(key) != key) return refused("chave e-mail deve estar em letras minúsculas");
    if (!isEmail(key)) return refused(fmt::format("chave e-mail '{}' malformada", key));
    return {KeyKind::Email, key, {}};
  }
  if (key[0] == '+') {
    const std::string_view digits = std::string_view(key).substr(1);
    if (!allOf(digits, isDigit))
      return refused("chave telefone deve ser +55, o DDD e o número, só dígitos");
    if (digits.substr(0, 2) != "55") return refused("chave telefone deve começar por +55");
    if (digits.size() != 13 || digits[4] != '9')
      return refused("chave telefone deve ser um celular: +55, DDD e 9 dígitos começando por 9");
    if (!isAreaCode(std::stoi(std::string(digits.substr(2, 2)))))
      return refused(fmt::format("chave telefone com DDD {} inexistente", digits.substr(2, 2)));
    return {KeyKind::Phone, key, {}};
  }
  if (isUuid(key, isHex)) {
    if (!isUuid(key, isLowerHex)) return refused("chave aleatória deve estar em letras minúsculas");
    return {KeyKind::Random, key, {}};
  }
  if (key.size() == 11 && allOf(key, isDigit)) {
    if (std::string p = cpfProblem(key); !p.empty()) return refused("chave " + p);
    return {KeyKind::Cpf, key, {}};
  }
  if (key.size() == 14) {
    if (std::string p = cnpjProblem(key); !p.empty()) return refused("chave " + p);
    return {KeyKind::Cnpj, key, {}};
  }
  return refused(
      fmt::format("chave Pix '{}' não é CPF, CNPJ, e-mail, telefone +55 nem chave aleatória", key));
}

KeyCheck normalizeKey(std::string_view typed) {
  const std::string t = AllTrim(typed);
  if (t.find('@') != std::string::npos) return checkKey(asciiLower(t));
  if (isUuid(t, isHex)) return checkKey(asciiLower(t));
  if (!t.empty() && t[0] == '+') {
    std::string phone;
    for (char c : t)
      if (c != ' ' && c != '(' && c != ')' && c != '-' && c != '.') phone += c;
    return checkKey(phone);
  }
  const std::string bare = taxIdDigits(t);
  if (bare.size() == 11 || bare.size() == 14) return checkKey(bare);
  return checkKey(t);
}

std::string foldAscii(std::string_view text, size_t* dropped) {
  // Latin-1 letters U+00C0..U+00FF to ASCII; "" where there is none.
  static constexpr std::array<const char*, 64> kLatin1 = {
      "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
      "D", "N", "O", "O", "O", "O", "O",  "",  "O", "U", "U", "U", "U", "Y", "",  "ss",
      "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
      "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "",  "y"};
  size_t lost = 0;
  std::string out;
  bool blank = false;
  auto put = [&](std::string_view s) {
    for (char c : s) {
      if (c == ' ') {
        blank = !out.empty();
        continue;
      }
      if (blank) out += ' ';
      blank = false;
      out += c;
    }
  };
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) {
      ++lost, ++i;
      continue;
    }
    uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      ++lost, ++i;
      continue;
    }
    i += n;
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) || cp == 0xA0)
      put(" ");
    else if (cp < 0x80)
      put(std::string(1, static_cast<char>(cp)));
    else if (cp >= 0xC0 && cp <= 0xFF && *kLatin1[cp - 0xC0])
      put(kLatin1[cp - 0xC0]);
    else if (cp == 0xAA)
      put("a");
    else if (cp == 0xBA)
      put("o");
    else
      ++lost;
  }
  if (dropped) *dropped = lost;
  return out;
}

std::string txidForBoleto(std::string_view branch, std::string_view number) {
  std::string out;
  for (char c : std::string(branch) + std::string(number))
    if (isAlnum(c) && out.size() < kTxidMax) out += c;
  return out;
}

Built buildStatic(const StaticCharge& charge) {
  Built b;
  const KeyCheck key = normalizeKey(charge.key);
  if (!key.kind) MensErro(fmt::format("Chave Pix inválida: {}.", key.problem));
  if (charge.cents && *charge.cents <= 0) MensErro("O valor do Pix deve ser maior que zero.");
  if (charge.cents && *charge.cents > kCentsMax)
    MensErro("O valor do Pix passa do que o BR Code comporta (9999999999.99).");
  auto text = [&](const std::string& given, size_t max, const char* what) {
    size_t dropped = 0;
    std::string folded = foldAscii(given, &dropped);
    if (dropped > 0)
      b.notes.push_back(
          fmt::format("{}: {} caractere(s) sem equivalente ASCII omitido(s)", what, dropped));
    if (folded.size() > max) {
      folded = cut(folded, max);
      b.notes.push_back(fmt::format("{} cortado em {} caracteres: \"{}\"", what, max, folded));
    }
    return folded;
  };
  const std::string name = text(charge.merchantName, kNameMax, "nome do recebedor");
  if (name.empty()) MensErro("Nome do recebedor do Pix não informado.");
  const std::string city = text(charge.merchantCity, kCityMax, "cidade do recebedor");
  if (city.empty()) MensErro("Cidade do recebedor do Pix não informada.");
  if (!charge.txid.empty() && (charge.txid.size() > kTxidMax || !allOf(charge.txid, isAlnum)))
    MensErro(
        fmt::format("txid '{}' inválido: de 1 a 25 letras sem acento ou dígitos.", charge.txid));

  std::string account = object("00", kGui) + object("01", key.value);
  if (!AllTrim(charge.description).empty()) {
    // The description shares the account template's 99 characters with the GUI and the key.
    const size_t used = account.size() + 4;
    const size_t room = used < kTemplateMax ? kTemplateMax - used : 0;
    std::string description = text(charge.description, room, "descrição");
    if (description.empty())
      b.notes.push_back("descrição omitida: a chave ocupa todo o modelo de conta");
    else
      account += object("02", description);
  }
  std::string out =
      object("00", "01") + object("26", account) + object("52", "0000") + object("53", "986");
  if (charge.cents)
    out += object("54", fmt::format("{}.{:02}", *charge.cents / 100, *charge.cents % 100));
  out += object("58", "BR") + object("59", name) + object("60", city) +
         object("62", object("05", charge.txid.empty() ? "***" : charge.txid)) + "6304";
  out += crc16Hex(out);
  BOLETO_CHECK(decode(out).valid, decode(out).reason);
  b.text = std::move(out);
  return b;
}

Decoded decode(std::string_view given) {
  Decoded d;
  const std::string text = AllTrim(given);
  if (text.empty()) {
    d.reason = "texto vazio";
    return d;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c > 0x7E) {
      d.reason = fmt::format(
          "caractere não permitido na posição {}: o BR Code só leva ASCII imprimível", i + 1);
      return d;
    }
  }
  try {
    readStructure(text, d);
  } catch (const ReadError& e) {
    d.reason = e.reason;
    return d;
  }
  if (std::string p = checkCrc(text, d.fields); !p.empty()) {
    d.reason = p;
    return d;
  }
  d.crc = d.fields.back().value;
  for (Field& f : d.fields)
    if (const int id = idNumber(f); id >= 26 && id <= 51)
      if (const Field* gui = find(f.children, 0); gui && asciiLower(gui->value) == kGui)
        for (Field& c : f.children) c.name = pixName(idNumber(c));
  if (std::string p = checkContent(d.fields, d); !p.empty()) {
    d.reason = p;
    d.keyKind.reset();
    return d;
  }
  d.valid = true;
  return d;
}

}  // namespace host::pix
