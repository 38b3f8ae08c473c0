#include <fmt/format.h>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"
#include "numbering/Numerador.h"

namespace numbering {
namespace {

// Each round of a numbering either stores or learns that another caller moved the counter or
// took the number; far more rounds than that means something keeps refusing.
constexpr int kMaxRodadas = 1000;

}  // namespace

Numerador::Calculo Numerador::calcula(const std::string& cdFilial, const std::string& nrLanBolRec,
                                      const std::string& sequencia,
                                      const std::string& formaCadastro) const {
  int index = klCarteira_.IndexOf(cdFilial + nrLanBolRec);
  const host::KeyValue& e = klCarteira_.Sum(index);
  auto text = [&](size_t i) {
    const host::Value& v = e.element(i);
    return v.isNull() ? std::string() : v.asString();
  };
  std::string carteira = text(0);
  std::string conv = bank::Nr_Codigo(conta_.CDCEDENTEBAN);
  Calculo c;
  // What is stored is the number as the bank prints it, check characters included, the same
  // form the pre-printed model stores, so that one number is found taken across both models.
  c.nossoNumero = Retorna_NossoNumero(cdFilial, nrLanBolRec, "", sequencia, formaCadastro);
  std::string n = bank::Read_MneMonicos(conta_.DSNOSNUMCORR, conta_.CDBANCCNAB, conta_.CDAGENCIA,
                                        carteira, sequencia, text(1), conv);
  // The second expansion takes the carteira of the first entry when no branch is given.
  std::string d;
  if (!conta_.DSDACNOSNUMR.empty())
    d = bank::Read_MneMonicos(conta_.DSDACNOSNUMR, conta_.CDBANCCNAB, conta_.CDAGENCIA,
                              cdFilial.empty() ? Carteira("", "") : carteira, n, conta_.CDCONTCORR,
                              conv);
  const host::Value& due = e.element(2);
  const host::DateTime vencimento = due.isNull() ? host::DateTime() : due.asDate();
  if (processamento_) bank::VerificaJanelaVencimento(vencimento, *processamento_);
  try {
    c.linha = bank::LinhaDigitavel(conta_.CDBANCCNAB, conta_.CDAGENCIA, carteira, n, text(1),
                                   vencimento, e.element(3).asDouble(), d, conv, text(6), text(7),
                                   conta_.CDBANCOCONV, conta_.CDOPERCONTCORR);
  } catch (const bank::LayoutRefusal& r) {
    host::MensErro(r.what(), "LEIAUTE_NS");
  }
  c.barras = bank::CodigoBarras(c.linha, 0);
  return c;
}

CodigosBoleto Numerador::codigosDe(const CodigosArmazenados& s) const {
  CodigosBoleto r;
  r.armazenado = !s.nossoNumero.empty();
  r.nossoNumero = s.nossoNumero;
  r.linhaFormatada = s.linhaFormatada;
  r.linhaDigitavel = bank::Nr_Codigo(s.linhaFormatada);
  r.codigoBarras = s.codigoBarras;
  r.codigoImagem = s.codigoBarras;
  r.outraExecucao = !s.novo;
  return r;
}

std::string Numerador::proximoDoContador(const std::string& modelo) {
  const std::string nome = (modelo == "1" ? "NOSSONUMPREIMP" : "NOSSONUMERO") + conta_.CDREDUCONT;
  const std::string valor = host::AllTrim(servico_.GetNossoNumero(nome));
  if (!host::IsDigits(valor)) mensagens_.Error("NosNumInv");
  return host::Ajusta(valor, static_cast<size_t>(std::max(seqSize(), 1)));
}

std::string Numerador::SequenciaDoContador(const std::string& contador,
                                           const std::string& formaCadastro) const {
  const bank::BankLayout* layout = bank::findBank(conta_.CDBANCCNAB);
  if (!layout) return contador;
  try {
    return layout->sequenceFromCounter(contador, seqSize(), formaCadastro);
  } catch (const bank::SequenceTooWide& e) {
    host::MensErro(e.what(), "NOSNUM_ESGOTADO");
  }
}

std::optional<CodigosBoleto> Numerador::Gera_CodigodeBarra(const std::string& cdFilial,
                                                           const std::string& nrLanBolRec,
                                                           const std::string& sequencia, bool novo,
                                                           Modelo modelo,
                                                           const std::string& formaCadastro) {
  std::string model = tela_ == Tela::Email || modelo != Modelo::PreImpresso ? "2" : "1";
  if (!klCarteira_.Contains(cdFilial + nrLanBolRec)) return std::nullopt;
  const std::string forma = formaCadastro.empty() ? conta_.formaCadastro() : formaCadastro;
  if (!novo) return codigosDoNumero(cdFilial, nrLanBolRec, sequencia, model, forma);
  // The counter's value goes to the service with the codes computed for it: the service
  // stores them and moves the counter in one transaction, or says why not. A number another
  // boleto carries is passed over; a value another caller took meanwhile means asking the
  // counter again. Nothing is folded, nothing is stored twice.
  std::string contador = host::Ajusta(sequencia, static_cast<size_t>(std::max(seqSize(), 1)));
  for (int rodada = 0; rodada < kMaxRodadas; ++rodada) {
    Calculo c = calcula(cdFilial, nrLanBolRec, SequenciaDoContador(contador, forma), forma);
    if (c.linha.empty()) return CodigosBoleto{};
    try {
      CodigosArmazenados s =
          servico_.NumeraBoleto(cdFilial, nrLanBolRec, conta_.CDREDUCONT, contador,
                                bank::FormataLinha(c.linha), c.barras, c.nossoNumero, model);
      // Another run numbered the boleto meanwhile: it is printed with that number, and its
      // codes are completed for that number when they are missing.
      if (!s.novo && s.nossoNumero != c.nossoNumero && s.codigoBarras.empty()) {
        auto seq = SequenciaDoNossoNumero(cdFilial, nrLanBolRec, s.nossoNumero);
        if (!seq) mensagens_.Error("ERR_GERA_NOSNUM");
        return codigosDoNumero(cdFilial, nrLanBolRec, *seq, model, forma);
      }
      return codigosDe(s);
    } catch (const host::ServiceError& e) {
      if (e.key() == "NN_JA_CAD")
        contador = IncrementaNumero(contador, mensagens_);
      else if (e.key() == "NN_CONCORRENTE")
        contador = proximoDoContador(model);
      else
        throw;
    }
  }
  mensagens_.Error("ERR_GERA_NOSNUM");
}

std::optional<CodigosBoleto> Numerador::codigosDoNumero(const std::string& cdFilial,
                                                        const std::string& nrLanBolRec,
                                                        const std::string& sequencia,
                                                        const std::string& model,
                                                        const std::string& forma) {
  Calculo c = calcula(cdFilial, nrLanBolRec, sequencia, forma);
  if (c.linha.empty()) return CodigosBoleto{};
  CodigosArmazenados s =
      servico_.NumeraBoleto(cdFilial, nrLanBolRec, conta_.CDREDUCONT, "",
                            bank::FormataLinha(c.linha), c.barras, c.nossoNumero, model);
  if (s.nossoNumero != c.nossoNumero || s.codigoBarras.empty()) {
    // The rules write another number for the sequence cut out of the stored one: a barcode
    // drawn from it would carry a number the boleto does not have.
    host::MensErro(fmt::format("O nosso número {} do boleto {}/{} não é o que as regras do banco "
                               "{} escrevem para a sequência {} ({}): confira a conta cobrança.",
                               s.nossoNumero, cdFilial, nrLanBolRec, conta_.CDBANCCNAB, sequencia,
                               c.nossoNumero),
                   "NN_DIVERGENTE");
  }
  return codigosDe(s);
}

CodigosArmazenados Numerador::NumeraPreImpresso(const std::string& cdFilial,
                                                const std::string& nrLanBolRec,
                                                const std::string& contador,
                                                const std::string& formaCadastro) {
  std::string valor = host::Ajusta(contador, static_cast<size_t>(std::max(seqSize(), 1)));
  for (int rodada = 0; rodada < kMaxRodadas; ++rodada) {
    const std::string nosso = Retorna_NossoNumero(cdFilial, nrLanBolRec, "", valor, formaCadastro);
    if (host::EmptyString(nosso)) mensagens_.Error("ERR_GERA_NOSNUM");
    try {
      return servico_.NumeraBoleto(cdFilial, nrLanBolRec, conta_.CDREDUCONT, valor, "", "", nosso,
                                   "1");
    } catch (const host::ServiceError& e) {
      if (e.key() == "NN_JA_CAD")
        valor = IncrementaNumero(valor, mensagens_);
      else if (e.key() == "NN_CONCORRENTE")
        valor = proximoDoContador("1");
      else
        throw;
    }
  }
  mensagens_.Error("ERR_GERA_NOSNUM");
}

bool Numerador::emUso(std::string nossoNumero) {
  std::string conta = conta_.CDREDUCONT;
  return !servico_.GetValNosNumero(nossoNumero, conta).empty();
}

}  // namespace numbering
