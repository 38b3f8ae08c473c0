#include <stdexcept>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Template.h"
#include "numbering/Numerador.h"

namespace numbering {

// The substitutions are the records' own, so the screens that load an account into a
// dataset and the numbering that reads a row never disagree.
BankAccountRow BankAccountRowOf(const host::ClientDataset& ds) {
  BankAccountRow row;
  auto v = [&](const char* f) {
    return ds.active() && ds.fieldIndex(f) >= 0 ? host::AllTrim(ds.valueOf(f).asString())
                                                : std::string();
  };
  row.CDREDUCONT = v("CDREDUCONT");
  row.CDBANCO = v("CDBANCO");
  row.CDBANCCNAB = v("CDBANCCNAB");
  row.CDAGENCIA = v("CDAGENCIA");
  row.CDCONTCORR = v("CDCONTCORR");
  row.CDBANCOCONV = v("CDBANCOCONV");
  row.CDCEDENTEBAN = v("CDCEDENTEBAN");
  row.CDOPERCONTCORR = v("CDOPERCONTCORR");
  row.DSNOSNUMCORR = v("DSNOSNUMCORR");
  row.DSDACNOSNUMR = v("DSDACNOSNUMR");
  row.IDFORMCADBANC = v("IDFORMCADBANC");
  row.IDVERFXNUMC = v("IDVERFXNUMC");
  row.NRININOSNUMC = v("NRININOSNUMC");
  row.NRFIMNOSNUMC = v("NRFIMNOSNUMC");
  row.IDVERFXNUMP = v("IDVERFXNUMP");
  row.NRININOSNUMP = v("NRININOSNUMP");
  row.NRFIMNOSNUMP = v("NRFIMNOSNUMP");
  return row;
}

void NormalizaBanco(BankAccountRow& row) {
  row.CDBANCCNAB = bank::CodigoEmissao(row.CDBANCCNAB, row.CDBANCOCONV);
}

void NormalizaBancoEmail(BankAccountRow& row) {
  row.CDBANCCNAB = bank::CodigoEmail(row.CDBANCCNAB, row.CDBANCOCONV);
}

const host::TMessages& MensagensNumeracao() {
  static const host::TMessages table{
      {"ESTRUT_CONFIG",
       "Operação bloqueada! Descrição do nosso número da conta cobrança não está "
       "parametrizada."},
      {"ERR_GERA_NOSNUM",
       "Ocorreu um erro na geração do nosso número. Verifique as parametrizações de descrição "
       "do nosso número e código do banco na câmera de compensação."},
      {"NosNumInv", "Nosso número inválido."},
      {"NN_JA_CAD", "Operação Bloqueada! Nosso número já cadastrado."},
      {"NOSSO<SEQ", "Operação bloqueada! Nosso número fora da faixa parametrizada."},
      {"EMPR_DI_NH",
       "Operação bloqueada!Apenas as empresas 04 e 08 utilizam geração de depósito "
       "identificado."},
      {"BANCO_NUTIL_DI", "Banco não utiliza depósito identificado."},
  };
  return table;
}

int RetQtDV(const std::string& bank, const std::string& agreement, const std::string& carteira,
            int seqSize) {
  const bank::BankLayout* layout = bank::findBank(bank);
  if (!layout) return 1;
  return layout->checkCharacters({agreement, carteira, seqSize, {}});
}

std::string IncrementaNumero(const std::string& digits, const host::TMessages& messages) {
  if (!host::IsDigits(digits)) messages.Error("NosNumInv");
  std::string next = digits;
  for (size_t i = next.size(); i-- > 0;) {
    if (next[i] != '9') {
      ++next[i];
      return next;
    }
    next[i] = '0';
  }
  // Every number of this width is behind us: a wider one would not fit the layout.
  messages.Error("ERR_GERA_NOSNUM");
}

int ComparaNumeros(const std::string& a, const std::string& b) {
  auto significant = [](const std::string& s) {
    size_t first = s.find_first_not_of('0');
    return first == std::string::npos ? std::string_view{} : std::string_view(s).substr(first);
  };
  std::string_view x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Numerador::Numerador(const BankAccountRow& conta, const host::TKeyList& klCarteira,
                     NumberingService& servico, const host::TMessages& mensagens, Tela tela)
    : conta_(conta),
      klCarteira_(klCarteira),
      servico_(servico),
      mensagens_(mensagens),
      tela_(tela) {}

int Numerador::seqSize() const {
  return bank::Retorna_Size_NossNum(conta_.DSNOSNUMCORR);
}

std::string Numerador::Carteira(const std::string& cdFilial, const std::string& nrLanBolRec) const {
  int i = cdFilial.empty() ? (klCarteira_.Count() > 0 ? 0 : -1)
                           : klCarteira_.IndexOf(cdFilial + nrLanBolRec);
  if (i < 0) return {};
  const host::Value& v = klCarteira_.Sum(i).element(0);
  return v.isNull() ? std::string() : v.asString();
}

std::string Numerador::Retorna_NossoNumero(const std::string& cdFilial,
                                           const std::string& nrLanBolRec,
                                           const std::string& /*tag*/, const std::string& sequencia,
                                           const std::string& formaCadastro) const {
  // The e-mail screen takes the registration form from its own account row.
  std::string forma = tela_ == Tela::Email ? conta_.formaCadastro() : formaCadastro;
  try {
    return bank::NossoNumeroImpresso({conta_.CDBANCCNAB, conta_.CDAGENCIA, conta_.CDCONTCORR,
                                      conta_.CDCEDENTEBAN, conta_.CDBANCOCONV, conta_.DSNOSNUMCORR},
                                     Carteira(cdFilial, nrLanBolRec), sequencia, forma,
                                     tela_ == Tela::Email);
  } catch (const bank::SequenceTooWide& e) {
    host::MensErro(e.what(), "NOSNUM_ESGOTADO");
  } catch (const std::invalid_argument&) {
    mensagens_.Error("NosNumInv");
  }
}

std::optional<std::string> Numerador::SequenciaDoNossoNumero(const std::string& cdFilial,
                                                             const std::string& nrLanBolRec,
                                                             const std::string& cdNosNumRec) const {
  std::string stored = host::AllTrim(cdNosNumRec);
  if (stored.empty()) return std::nullopt;
  const int size = seqSize();
  const bank::BankLayout* layout = bank::findBank(conta_.CDBANCCNAB);
  const std::string agreement = bank::Nr_Codigo(conta_.CDCEDENTEBAN);
  const std::string carteira = Carteira(cdFilial, nrLanBolRec);
  const bank::CheckCountInput in{agreement, carteira, size, conta_.CDBANCOCONV};
  // Cut from the stored number alone: a short one must not borrow characters of the key.
  std::optional<std::string> body;
  if (layout) {
    body = layout->sequenceOf(stored, in);
  } else if (stored.size() > 1) {
    body = stored.substr(0, stored.size() - 1);
  }
  if (!body) return std::nullopt;
  return host::Right(*body, static_cast<size_t>(size));
}

}  // namespace numbering
