#include "host/Consiste.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace host {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Byte offset of character index `chars` (or s.size()).
size_t byteOffset(std::string_view s, size_t chars) {
  size_t i = 0;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

// Decodes one code point at byte `i`, advancing it; malformed bytes pass through as themselves.
char32_t decode(std::string_view s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80 || i + 1 >= s.size()) {
    ++i;
    return c;
  }
  if ((c & 0xE0) == 0xC0) {
    const char32_t cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
    i += 2;
    return cp;
  }
  if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
    const char32_t cp = ((c & 0x0Fu) << 12) |
                        ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                        (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
    i += 3;
    return cp;
  }
  if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
    const char32_t cp = ((c & 0x07u) << 18) |
                        ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                        ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
                        (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
    i += 4;
    return cp;
  }
  ++i;
  return c;
}

void encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t foldUpper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  return c;
}

char32_t foldLower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  return c;
}

template <typename Fold>
std::string mapCase(std::string_view s, Fold fold) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char32_t cp = decode(s, i);
    const char32_t mapped = fold(cp);
    if (mapped == cp) {
      out.append(s.substr(start, i - start));
    } else {
      encode(mapped, out);
    }
  }
  return out;
}

}  // namespace

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::string Utf8Substr(std::string_view s, size_t start, size_t count) {
  const size_t b = byteOffset(s, start);
  if (count == std::string_view::npos) return std::string(s.substr(b));
  const size_t e = b + byteOffset(s.substr(b), count);
  return std::string(s.substr(b, e - b));
}

std::string AllTrim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string LeftStr(std::string_view s, size_t n) {
  return Utf8Substr(s, 0, n);
}

std::string Right(std::string_view s, size_t n) {
  const size_t len = Utf8Length(s);
  return len <= n ? std::string(s) : Utf8Substr(s, len - n);
}

bool EmptyString(std::string_view s) {
  for (char c : s) {
    if (!isBlank(c)) return false;
  }
  return true;
}

std::string Ajusta(std::string_view s, size_t n) {
  const size_t len = Utf8Length(s);
  if (len >= n) return std::string(s);
  return std::string(n - len, '0') + std::string(s);
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

double RoundDec(int decimals, double value) {
  if (!std::isfinite(value)) return value;
  // The shortest text that reads back as `value` is the decimal value people mean.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (res.ec != std::errc{}) return value;
  std::string digits(buf, res.ptr);
  bool negative = false;
  if (!digits.empty() && digits[0] == '-') {
    negative = true;
    digits.erase(0, 1);
  }
  const size_t dot = digits.find('.');
  std::string intPart = dot == std::string::npos ? digits : digits.substr(0, dot);
  std::string frac = dot == std::string::npos ? std::string() : digits.substr(dot + 1);
  if (decimals < 0) decimals = 0;
  const auto keep = static_cast<size_t>(decimals);
  if (frac.size() <= keep) return value;
  const bool roundUp = frac[keep] >= '5';
  std::string kept = intPart + frac.substr(0, keep);
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0) {
      if (kept[static_cast<size_t>(i)] == '9') {
        kept[static_cast<size_t>(i)] = '0';
        --i;
      } else {
        ++kept[static_cast<size_t>(i)];
        break;
      }
    }
    if (i < 0) kept.insert(kept.begin(), '1');
  }
  std::string text = kept.substr(0, kept.size() - keep);
  if (keep > 0) {
    text += '.';
    text.append(kept, kept.size() - keep, keep);
  }
  double out = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), out);
  return negative ? -out : out;
}

std::string UpperCase(std::string_view s) {
  return mapCase(s, foldUpper);
}
std::string LowerCase(std::string_view s) {
  return mapCase(s, foldLower);
}

int CompareText(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = foldLower(decode(a, i));
    const char32_t y = foldLower(decode(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

double StrToFloatDef(std::string_view s, double fallback) {
  std::string t = AllTrim(s);
  if (t.empty()) return fallback;
  if (t.find(',') != std::string::npos) {
    std::string plain;
    for (char c : t) {
      if (c == '.') continue;
      plain += c == ',' ? '.' : c;
    }
    t = plain;
  }
  double out = 0.0;
  const char* first = t.data();
  if (*first == '+') ++first;
  auto res = std::from_chars(first, t.data() + t.size(), out);
  if (res.ec != std::errc{} || res.ptr != t.data() + t.size()) return fallback;
  return out;
}

int64_t StrToIntDef(std::string_view s, int64_t fallback) {
  const std::string t = AllTrim(s);
  int64_t out = 0;
  auto res = std::from_chars(t.data(), t.data() + t.size(), out);
  if (t.empty() || res.ec != std::errc{} || res.ptr != t.data() + t.size()) return fallback;
  return out;
}

std::string FormatBr(double value, int decimals) {
  const double r = RoundDec(decimals, value);
  std::string plain = fmt::format("{:.{}f}", std::fabs(r), decimals);
  const size_t dot = plain.find('.');
  const std::string intPart = dot == std::string::npos ? plain : plain.substr(0, dot);
  std::string out;
  for (size_t i = 0; i < intPart.size(); ++i) {
    if (i > 0 && (intPart.size() - i) % 3 == 0) out += '.';
    out += intPart[i];
  }
  if (dot != std::string::npos) {
    out += ',';
    out.append(plain, dot + 1);
  }
  const bool zero = r == 0.0;
  return (r < 0 && !zero ? "-" : "") + out;
}

std::string FormatFloat(std::string_view format, double value) {
  const size_t dot = format.find('.');
  const int decimals =
      dot == std::string_view::npos ? 0 : static_cast<int>(format.size() - dot - 1);
  if (format.find(',') != std::string_view::npos) return FormatBr(value, decimals);
  std::string out = fmt::format("{:.{}f}", RoundDec(decimals, value), decimals);
  for (char& c : out) {
    if (c == '.') c = ',';
  }
  return out;
}

std::string NomeSemana(const DateTime& date) {
  static const char* const kNames[] = {"Domingo",      "Segunda-feira", "Terça-feira",
                                       "Quarta-feira", "Quinta-feira",  "Sexta-feira",
                                       "Sábado"};
  return kNames[date.dayOfWeek() - 1];
}

std::string DirWinTemp() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string FormatMaskText(std::string_view mask, std::string_view value) {
  std::string_view picture = mask;
  char blank = ' ';
  const size_t semi = mask.find(';');
  if (semi != std::string_view::npos) {
    picture = mask.substr(0, semi);
    const size_t semi2 = mask.find(';', semi + 1);
    if (semi2 != std::string_view::npos && semi2 + 1 < mask.size()) blank = mask[semi2 + 1];
  }
  std::string out;
  size_t vi = 0;
  int caseMode = 0;  // 1 upper, -1 lower
  for (size_t i = 0; i < picture.size(); ++i) {
    const char m = picture[i];
    if (m == '>') {
      caseMode = (i + 1 < picture.size() && picture[i + 1] == '<') ? 0 : 1;
      if (caseMode == 0) ++i;
      continue;
    }
    if (m == '<') {
      caseMode = -1;
      continue;
    }
    if (m == '!') continue;
    if (m == '\\' && i + 1 < picture.size()) {
      out += picture[++i];
      continue;
    }
    const bool placeholder = m == '0' || m == '9' || m == '#' || m == 'L' || m == 'l' || m == 'A' ||
                             m == 'a' || m == 'C' || m == 'c';
    if (!placeholder) {
      out += m;
      continue;
    }
    if (vi < value.size()) {
      char c = value[vi++];
      if (caseMode > 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (caseMode < 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      out += c;
    } else {
      out += blank;
    }
  }
  return out;
}

char MaxNumber(std::string_view text, char key, size_t selStart, size_t selLength, int maxInt,
               int maxDec) {
  if (static_cast<unsigned char>(key) < ' ') return key;
  if (key == '.') key = ',';
  const bool digit = key >= '0' && key <= '9';
  if (!digit && key != ',') return '\0';
  if (selStart > text.size()) selStart = text.size();
  if (selStart + selLength > text.size()) selLength = text.size() - selStart;
  std::string after(text.substr(0, selStart));
  after += key;
  after += text.substr(selStart + selLength);
  const size_t comma = after.find(',');
  if (key == ',') {
    if (maxDec <= 0) return '\0';
    if (after.find(',', comma + 1) != std::string::npos) return '\0';
  }
  size_t intDigits = 0;
  size_t decDigits = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i] < '0' || after[i] > '9') continue;
    if (comma != std::string::npos && i > comma) {
      ++decDigits;
    } else {
      ++intDigits;
    }
  }
  if (intDigits > static_cast<size_t>(maxInt)) return '\0';
  if (decDigits > static_cast<size_t>(maxDec < 0 ? 0 : maxDec)) return '\0';
  return key;
}

}  // namespace host
