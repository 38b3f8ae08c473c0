#include "host/bank/Template.h"

#include <optional>
#include <vector>

#include "host/Consiste.h"

namespace bank {
namespace {

enum class Mnemonic { Agency, Account, Carteira, Agreement, Bank, Sequence };

struct Piece {
  std::string literal;
  std::optional<Mnemonic> mnemonic;
  size_t width = 0;  // 0: as it is
};

std::optional<Mnemonic> mnemonicNamed(std::string_view name) {
  if (name == "AG") return Mnemonic::Agency;
  if (name == "CC") return Mnemonic::Account;
  if (name == "CART") return Mnemonic::Carteira;
  if (name == "CONV") return Mnemonic::Agreement;
  if (name == "BCO") return Mnemonic::Bank;
  if (name == "SEQ") return Mnemonic::Sequence;
  return std::nullopt;
}

// The template cut into literals and mnemonics; nothing when it is unusable.
std::optional<std::vector<Piece>> parseTemplate(std::string_view t) {
  std::vector<Piece> pieces;
  int sequences = 0;
  size_t i = 0;
  while (i < t.size()) {
    if (t[i] == ']') return std::nullopt;
    if (t[i] != '[') {
      size_t end = t.find_first_of("[]", i);
      if (end == std::string_view::npos) end = t.size();
      pieces.push_back({std::string(t.substr(i, end - i)), std::nullopt, 0});
      i = end;
      continue;
    }
    size_t close = t.find(']', i);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view body = t.substr(i + 1, close - i - 1);
    if (body.find('[') != std::string_view::npos) return std::nullopt;
    std::string_view name = body;
    size_t width = 0;
    if (size_t colon = body.find(':'); colon != std::string_view::npos) {
      name = body.substr(0, colon);
      std::string_view w = body.substr(colon + 1);
      if (w.empty() || w.size() > 2 || !host::IsDigits(w)) return std::nullopt;
      width = static_cast<size_t>(std::stoi(std::string(w)));
      if (width == 0 || width > 20) return std::nullopt;
    }
    auto m = mnemonicNamed(name);
    if (!m) return std::nullopt;
    if (*m == Mnemonic::Sequence) {
      if (width == 0 || ++sequences > 1) return std::nullopt;
    }
    pieces.push_back({{}, m, width});
    i = close + 1;
  }
  if (sequences != 1) return std::nullopt;
  return pieces;
}

// An account keeps its template for a whole run: the last one parsed is kept per thread.
const std::optional<std::vector<Piece>>& parse(std::string_view t) {
  thread_local std::string lastText;
  thread_local std::optional<std::vector<Piece>> last;
  thread_local bool valid = false;
  if (!valid || lastText != t) {
    last = parseTemplate(t);
    lastText.assign(t);
    valid = true;
  }
  return last;
}

}  // namespace

std::string Nr_Codigo(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c >= '0' && c <= '9') out.push_back(c);
  return out;
}

std::string PadRight(std::string_view text, size_t n) {
  if (text.size() >= n) return std::string(text.substr(text.size() - n));
  return std::string(n - text.size(), '0') + std::string(text);
}

std::string LeftOfAjusta(std::string_view text, size_t n) {
  return host::Ajusta(text, n).substr(0, n);
}

int Retorna_Size_NossNum(std::string_view templ) {
  const auto& pieces = parse(templ);
  if (!pieces) return 0;
  for (const auto& p : *pieces)
    if (p.mnemonic == Mnemonic::Sequence) return static_cast<int>(p.width);
  return 0;
}

std::string Read_MneMonicos(std::string_view templ, std::string_view bank, std::string_view agency,
                            std::string_view carteira, std::string_view sequence,
                            std::string_view account, std::string_view agreement) {
  const auto& pieces = parse(templ);
  if (!pieces) return {};
  std::string out;
  out.reserve(32);
  for (const auto& p : *pieces) {
    if (!p.mnemonic) {
      out += p.literal;
      continue;
    }
    std::string value;
    switch (*p.mnemonic) {
      case Mnemonic::Agency:
        value = Nr_Codigo(agency);
        break;
      case Mnemonic::Account:
        value = Nr_Codigo(account);
        break;
      case Mnemonic::Carteira:
        value = host::AllTrim(carteira);
        break;
      case Mnemonic::Agreement:
        value = Nr_Codigo(agreement);
        break;
      case Mnemonic::Bank:
        value = host::AllTrim(bank);
        break;
      case Mnemonic::Sequence:
        value = host::AllTrim(sequence);
        break;
    }
    out += p.width ? PadRight(value, p.width) : value;
  }
  return out;
}

}  // namespace bank
