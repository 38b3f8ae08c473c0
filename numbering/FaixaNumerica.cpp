#include <fmt/format.h>

#include <cstdint>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "numbering/Numerador.h"

namespace numbering {
namespace {

// A range limit or sequence as digits; a text that is no number ends the check.
std::string numero(const std::string& text) {
  std::string t = host::AllTrim(text);
  if (!host::IsDigits(t))
    host::MensErro(fmt::format("'{}' não é um número válido para a faixa de nosso número.", text));
  return t;
}

/// `digits` plus `k`, in as many digits as the sum needs.
std::string soma(const std::string& digits, uint64_t k) {
  const std::string b = std::to_string(k);
  std::string out;
  unsigned carry = 0;
  for (size_t i = 0; i < digits.size() || i < b.size() || carry; ++i) {
    unsigned d = carry;
    if (i < digits.size()) d += static_cast<unsigned>(digits[digits.size() - 1 - i] - '0');
    if (i < b.size()) d += static_cast<unsigned>(b[b.size() - 1 - i] - '0');
    out.push_back(static_cast<char>('0' + d % 10));
    carry = d / 10;
  }
  return {out.rbegin(), out.rend()};
}

/// Digits of a number without its leading zeros.
size_t significativos(const std::string& digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? 0 : digits.size() - first;
}

}  // namespace

std::string Numerador::Valida_Faixa_Numerica(Modelo modelo, const std::string& formaCadastro, int n,
                                             const std::string& numeroDigitado) {
  int size = seqSize();
  if (size == 0) mensagens_.Error("ESTRUT_CONFIG");
  // Checks the n values from `s` on against the range, each as a number of any length. The
  // values only grow, so the first and the last decide; a run asks this for every boleto it
  // numbers, and walking the n values each time made a run of n boletos cost n² steps.
  auto faixa = [&](std::string s, const std::string& inicio, const std::string& fim) {
    if (n <= 0) return;
    std::string ini = numero(inicio), end = numero(fim);
    s = host::Ajusta(s, 20);
    if (ComparaNumeros(s, ini) < 0) mensagens_.Error("NOSSO<SEQ");
    // The values are written in the width of `s`: one that needs more digits is the end of
    // the numbering, whichever check would come after it.
    const size_t width = s.size();
    if (ComparaNumeros(soma(s, static_cast<uint64_t>(n) - 1), end) > 0) {
      const std::string first = ComparaNumeros(s, end) > 0 ? s : soma(end, 1);
      if (significativos(first) > width) mensagens_.Error("ERR_GERA_NOSNUM");
      mensagens_.Error("NOSSO<SEQ");
    }
    if (significativos(soma(s, static_cast<uint64_t>(n))) > width)
      mensagens_.Error("ERR_GERA_NOSNUM");
  };
  auto nossoNumeroDe = [&](const std::string& s) {
    return Retorna_NossoNumero("", "", "", host::Right(s, static_cast<size_t>(size)),
                               formaCadastro);
  };

  if (modelo != Modelo::PreImpresso) {
    // The complete model stores the number of the counter's value as the template receives
    // it: that is the number to find taken.
    auto completo = [&](const std::string& s) {
      return Retorna_NossoNumero(
          "", "", "", SequenciaDoContador(host::Right(s, static_cast<size_t>(size)), formaCadastro),
          formaCadastro);
    };
    std::string s = numero(servico_.GetNossoNumero("NOSSONUMERO" + conta_.CDREDUCONT));
    while (emUso(completo(s))) s = IncrementaNumero(host::Ajusta(s, 20), mensagens_);
    if (conta_.IDVERFXNUMC == "S") faixa(s, conta_.NRININOSNUMC, conta_.NRFIMNOSNUMC);
    return s;
  }

  if (!numeroDigitado.empty()) {
    std::string digitado = host::AllTrim(numeroDigitado);
    std::string parte = numero(digitado.substr(0, digitado.find('-')));
    if (ComparaNumeros(parte, "0") == 0) mensagens_.Error("NosNumInv");
    // One below the typed number: the run's first number is the typed one.
    std::string p = parte;
    for (size_t i = p.size(); i-- > 0;) {
      if (p[i] != '0') {
        --p[i];
        break;
      }
      p[i] = '9';
    }
    if (emUso(digitado)) mensagens_.Error("NN_JA_CAD");
    if (conta_.IDVERFXNUMP == "S") faixa(p, conta_.NRININOSNUMP, conta_.NRFIMNOSNUMP);
    return p;
  }

  std::string s = numero(servico_.GetNossoNumero("NOSSONUMPREIMP" + conta_.CDREDUCONT));
  if (emUso(nossoNumeroDe(s))) mensagens_.Error("NN_JA_CAD");
  // Compared as numbers and moved forward each round, as for the complete model: as texts
  // "9" would sort after "10", and checking one value n times checks nothing of the others.
  if (conta_.IDVERFXNUMP == "S") faixa(s, conta_.NRININOSNUMP, conta_.NRFIMNOSNUMP);
  return s;
}

}  // namespace numbering
