#include "host/smtp/MailHeaders.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "host/Base64.h"
#include "host/Consiste.h"

namespace host::smtp {

namespace {

constexpr std::string_view kWordStart = "=?UTF-8?B?";
constexpr std::string_view kWordEnd = "?=";
// 75 characters a word (RFC 2047), less "=?UTF-8?B?" and "?=": 63 of Base64, 15 groups.
constexpr size_t kBytesPerWord = 45;
// RFC 5322 recommends lines of at most 78 characters.
constexpr size_t kPlainLimit = 76;

bool isControl(unsigned char c) {
  return (c < 0x20 && c != '\t') || c == 0x7f;
}

/// Length of the UTF-8 character that starts with `lead` (1 for a stray byte).
size_t utf8Length(unsigned char lead) {
  if (lead >= 0xf0 && lead < 0xf8) return 4;
  if (lead >= 0xe0) return 3;
  if (lead >= 0xc0) return 2;
  return 1;
}

/// Encoded words for `text`, joined by `separator`.
std::string encodedWords(std::string_view text, std::string_view separator) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size()) {
      const size_t n =
          std::min(utf8Length(static_cast<unsigned char>(text[end])), text.size() - end);
      if (end + n - at > kBytesPerWord) break;
      end += n;
    }
    if (end == at) end = at + 1;  // cannot happen with 45 bytes a word, but never loop
    if (!out.empty()) out += separator;
    out += kWordStart;
    out += Encode64(text.substr(at, end - at));
    out += kWordEnd;
    at = end;
  }
  return out;
}

bool isAtext(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

/// The inside of a quoted string: quotes and backslashes escaped.
std::string quotedText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

bool isPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 0x20 && c < 0x7f;
  });
}

void checkHeaderText(std::string_view what, std::string_view text) {
  for (unsigned char c : text) {
    if (c == '\r' || c == '\n')
      throw std::invalid_argument(
          fmt::format("refused: the {} holds a line break, which would add a header line", what));
    if (isControl(c))
      throw std::invalid_argument(fmt::format("refused: the {} holds a control character", what));
  }
}

void checkEnvelopeAddress(std::string_view what, std::string_view address) {
  checkHeaderText(what, address);
  if (EmptyString(address))
    throw std::invalid_argument(fmt::format("refused: the {} is blank", what));
  for (char c : address)
    if (c == ' ' || c == '\t' || c == '<' || c == '>')
      throw std::invalid_argument(
          fmt::format("refused: the {} \"{}\" is not an e-mail address", what, address));
}

std::string encodeHeaderText(std::string_view text) {
  if (isPrintableAscii(text) && text.size() <= kPlainLimit &&
      text.find("=?") == std::string_view::npos)
    return std::string(text);
  return encodedWords(text, "\r\n ");
}

std::string encodePhrase(std::string_view name) {
  if (!isPrintableAscii(name)) return encodedWords(name, " ");
  const bool atoms = std::all_of(name.begin(), name.end(), [](char c) {
    return c == ' ' || isAtext(static_cast<unsigned char>(c));
  });
  if (atoms && name.find("=?") == std::string_view::npos && !name.empty() && name.front() != ' ' &&
      name.back() != ' ')
    return std::string(name);
  return "\"" + quotedText(name) + "\"";
}

std::string formatMailbox(std::string_view name, std::string_view address) {
  if (EmptyString(name)) return std::string(address);
  return encodePhrase(AllTrim(name)) + " <" + std::string(address) + ">";
}

std::vector<std::string> splitAddresses(std::string_view list) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t end = list.find_first_of(",;", at);
    const auto piece = AllTrim(list.substr(at, end == std::string_view::npos ? end : end - at));
    if (!piece.empty()) out.push_back(piece);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return out;
}

std::string formatDate(std::time_t t) {
  static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                    "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  const long offset = tm.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  return fmt::format("{}, {:02d} {} {} {:02d}:{:02d}:{:02d} {}{:02d}{:02d}", kDays[tm.tm_wday],
                     tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                     tm.tm_sec, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
}

std::string contentTypeFor(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  const std::string ext = dot == std::string_view::npos ? "" : LowerCase(fileName.substr(dot + 1));
  static const std::array<std::pair<const char*, const char*>, 9> kTypes{{
      {"pdf", "application/pdf"},
      {"zip", "application/zip"},
      {"xml", "application/xml"},
      {"txt", "text/plain"},
      {"csv", "text/csv"},
      {"html", "text/html"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
  }};
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return "application/octet-stream";
}

std::string distinctFileName(std::string_view name, const std::vector<std::string>& taken) {
  auto isTaken = [&](std::string_view candidate) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& t) { return CompareText(t, candidate) == 0; });
  };
  if (!isTaken(name)) return std::string(name);
  const auto dot = name.rfind('.');
  const std::string_view stem =
      dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string_view ext = stem.size() == name.size() ? "" : name.substr(dot);
  for (size_t n = 2;; ++n) {
    std::string candidate = fmt::format("{}_{}{}", stem, n, ext);
    if (!isTaken(candidate)) return candidate;
  }
}

std::string attachmentDisposition(std::string_view fileName) {
  if (isPrintableAscii(fileName)) return "attachment; filename=\"" + quotedText(fileName) + "\"";
  std::string value = "attachment; filename*=UTF-8''";
  for (char c : fileName) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos)
      value += c;
    else
      value += fmt::format("%{:02X}", u);
  }
  return value;
}

std::string attachmentNameParameter(std::string_view fileName) {
  return isPrintableAscii(fileName) ? quotedText(fileName) : encodedWords(fileName, " ");
}

}  // namespace host::smtp
