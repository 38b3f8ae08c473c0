#include "host/Consiste.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"
#include "numbering/Numerador.h"

namespace numbering {

Numerador::Calculo Numerador::calcula(const std::string& cdFilial, const std::string& nrLanBolRec,
                                      const std::string& sequencia) const {
  int index = klCarteira_.IndexOf(cdFilial + nrLanBolRec);
  const host::KeyValue& e = klCarteira_.Sum(index);
  auto text = [&](size_t i) {
    const host::Value& v = e.element(i);
    return v.isNull() ? std::string() : v.asString();
  };
  std::string carteira = text(0);
  std::string conv = bank::Nr_Codigo(conta_.CDCEDENTEBAN);
  std::string n = bank::Read_MneMonicos(conta_.DSNOSNUMCORR, conta_.CDBANCCNAB, conta_.CDAGENCIA,
                                        carteira, sequencia, text(1), conv);
  // The second expansion takes the carteira of the first entry when no branch is given.
  std::string d;
  if (!conta_.DSDACNOSNUMR.empty())
    d = bank::Read_MneMonicos(conta_.DSDACNOSNUMR, conta_.CDBANCCNAB, conta_.CDAGENCIA,
                              cdFilial.empty() ? Carteira("", "") : carteira, n, conta_.CDCONTCORR,
                              conv);
  const host::Value& due = e.element(2);
  std::string linha =
      bank::LinhaDigitavel(conta_.CDBANCCNAB, conta_.CDAGENCIA, carteira, n, text(1),
                           due.isNull() ? host::DateTime() : due.asDate(), e.element(3).asDouble(),
                           d, conv, text(6), text(7), conta_.CDBANCOCONV, conta_.CDOPERCONTCORR);
  Calculo c;
  c.linha = std::move(linha);
  // A 17-digit Caixa number is read back as 17 digits on every screen: read as a short
  // number it would come back as ten digits of the payee code.
  bool longo = conta_.CDBANCCNAB == "104" && n.size() == 17;
  c.barras = bank::CodigoBarras(c.linha, longo ? 17 : 0);
  c.nossoNumero = bank::NossoNumeroCdBarra(c.barras, "", longo ? "17" : "");
  return c;
}

bool Numerador::emUso(std::string nossoNumero) {
  std::string conta = conta_.CDREDUCONT;
  return !servico_.GetValNosNumero(nossoNumero, conta).empty();
}

std::string Numerador::Gera_CodigodeBarraAux(const std::string& cdFilial,
                                             const std::string& nrLanBolRec,
                                             const std::string& nossoNumero) {
  std::string n = nossoNumero;
  // A loop rather than recursion: a long run of taken numbers must not exhaust the stack.
  for (;;) {
    n = calcula(cdFilial, nrLanBolRec, n).nossoNumero;
    if (n.empty() || !emUso(n)) return n;
    n = IncrementaNumero(n, mensagens_);
  }
}

std::optional<CodigosBoleto> Numerador::Gera_CodigodeBarra(const std::string& cdFilial,
                                                           const std::string& nrLanBolRec,
                                                           const std::string& sequencia,
                                                           bool /*novo*/, Modelo modelo) {
  std::string model = tela_ == Tela::Email || modelo != Modelo::PreImpresso ? "2" : "1";
  if (!klCarteira_.Contains(cdFilial + nrLanBolRec)) return std::nullopt;
  Calculo c = calcula(cdFilial, nrLanBolRec, sequencia);
  if (c.linha.empty()) return CodigosBoleto{};
  if (emUso(c.nossoNumero)) {
    std::string livre = Gera_CodigodeBarraAux(cdFilial, nrLanBolRec, c.nossoNumero);
    c = calcula(cdFilial, nrLanBolRec, livre);
    if (c.linha.empty()) return CodigosBoleto{};
  }
  CodigosBoleto r;
  r.linhaFormatada = bank::FormataLinha(c.linha);
  r.linhaDigitavel = std::move(c.linha);
  r.nossoNumero = std::move(c.nossoNumero);
  // The variant argument selects nothing in our layouts: both barcodes are the same digits.
  r.codigoBarras = c.barras;
  r.codigoImagem = std::move(c.barras);
  std::string formatada = r.linhaFormatada, nosso = r.nossoNumero, filial = cdFilial,
              lancamento = nrLanBolRec, conta = conta_.CDREDUCONT;
  servico_.SetCodBarra({.DSLINHABARREC = formatada,
                        .CDBARRAREC = r.codigoBarras,
                        .CDNOSNUMREC = nosso,
                        .CDFILIAL = filial,
                        .NRLANBOLREC = lancamento,
                        .CDDEPIDENREC = "",
                        .IDBOLEMITIDO = model,
                        .CDREDUCONT = conta});
  r.armazenado = true;
  return r;
}

}  // namespace numbering
