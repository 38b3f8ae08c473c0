#include "host/Messages.h"

#include <fmt/format.h>

#include "host/Consiste.h"
#include "host/Errors.h"

namespace host {

std::string Format(std::string_view pattern, const std::vector<Value>& args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  size_t next = 0;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // %[.precision]type
    size_t j = i + 1;
    int precision = -1;
    if (j < pattern.size() && pattern[j] == '.') {
      size_t k = j + 1;
      int p = 0;
      while (k < pattern.size() && pattern[k] >= '0' && pattern[k] <= '9') {
        p = p * 10 + (pattern[k] - '0');
        ++k;
      }
      if (k > j + 1) {
        precision = p;
        j = k;
      }
    }
    if (j >= pattern.size()) {
      out.append(pattern.substr(i));
      break;
    }
    const char type = static_cast<char>(pattern[j] | 0x20);
    if ((type != 's' && type != 'd' && type != 'f' && type != 'x' && type != 'n') ||
        next >= args.size()) {
      out.append(pattern.substr(i, j + 1 - i));
      i = j + 1;
      continue;
    }
    const Value& a = args[next++];
    switch (type) {
      case 's': {
        std::string s = a.asString();
        if (precision >= 0) s = LeftStr(s, static_cast<size_t>(precision));
        out += s;
        break;
      }
      case 'd':
        out += std::to_string(a.asInteger());
        break;
      case 'x':
        out += fmt::format("{:X}", a.asInteger());
        break;
      case 'n':
        out += FormatBr(a.asDouble(), precision < 0 ? 2 : precision);
        break;
      default: {
        const int places = precision < 0 ? 2 : precision;
        const std::string format =
            places == 0 ? "0" : "0." + std::string(static_cast<size_t>(places), '0');
        out += FormatFloat(format, a.asDouble());
      }
    }
    i = j + 1;
  }
  return out;
}

TMessages::TMessages(std::initializer_list<std::pair<std::string, std::string>> entries) {
  for (const auto& [k, t] : entries) Add(k, t);
}

void TMessages::Add(const std::string& key, const std::string& text) {
  texts_[LowerCase(key)] = text;
}

bool TMessages::Has(std::string_view key) const {
  return texts_.count(LowerCase(key)) > 0;
}

std::string TMessages::Msg(std::string_view key) const {
  auto it = texts_.find(LowerCase(key));
  return it == texts_.end() ? std::string(key) : it->second;
}

std::string TMessages::Msg(std::string_view key, const std::vector<Value>& args) const {
  return Format(Msg(key), args);
}

void TMessages::Error(std::string_view key, const std::vector<Value>& args) const {
  throw OperationError(Msg(key, args), std::string(key));
}

}  // namespace host
