// The numbering of one account against a scripted service: bank rules, the cut-out of a
// stored number, the uniqueness loop, the range check and identified deposits.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/Febraban.h"
#include "numbering/Numerador.h"

namespace {

using numbering::BankAccountRow;
using numbering::Modelo;
using numbering::Numerador;
using numbering::Tela;

// The service's numbering as a contract: a counter whose values are handed out once, numbers
// unique in the account, a boleto numbered once.
class FakeService final : public numbering::NumberingService {
 public:
  std::set<std::string> taken;
  std::string current = "1";  ///< what GetNossoNumero answers
  int64_t last = 0;           ///< the last value the counter handed out
  std::map<std::string, numbering::CodigosArmazenados> boletos;
  std::string dcResult;
  numbering::InfoDepIdent info{"12", std::nullopt};
  std::string depSequence = "5";
  int lookups = 0;
  struct Stored {
    std::string line, barcode, nossoNumero, model, account, dep;
  };
  std::vector<Stored> stored;

  std::string GetNossoNumero(const std::string&) override { return current; }
  std::vector<numbering::NossoNumeroEmUso> GetValNosNumero(std::string& n,
                                                           const std::string& acct) override {
    ++lookups;
    if (taken.count(n)) return {{n, acct}};
    return {};
  }
  void SetCodBarra(rpc::SetCodBarra c) override {
    stored.push_back({c.DSLINHABARREC.value(), c.CDBARRAREC.value(), c.CDNOSNUMREC.value(),
                      c.IDBOLEMITIDO.value(), c.CDREDUCONT.value(), c.CDDEPIDENREC.value()});
  }
  numbering::CodigosArmazenados NumeraBoleto(const std::string& branch, const std::string& number,
                                             const std::string& acct, const std::string& seq,
                                             const std::string& line, const std::string& barcode,
                                             const std::string& n,
                                             const std::string& model) override {
    auto& b = boletos[branch + number];
    if (!b.nossoNumero.empty()) {
      if (b.nossoNumero == n && b.codigoBarras.empty()) {
        b.codigoBarras = barcode;
        b.linhaFormatada = line;
        stored.push_back({line, barcode, n, model, acct, ""});
      }
      auto kept = b;
      kept.novo = false;
      return kept;
    }
    if (std::stoll(seq) <= last) throw host::ServiceError("NN_CONCORRENTE");
    if (taken.count(n)) throw host::ServiceError("NN_JA_CAD");
    last = std::stoll(seq);
    taken.insert(n);
    b = {n, barcode, line, model, true};
    stored.push_back({line, barcode, n, model, acct, ""});
    return b;
  }
  numbering::CodigosArmazenados CodigosDoBoleto(const std::string& branch,
                                                const std::string& number) override {
    auto it = boletos.find(branch + number);
    return it == boletos.end() ? numbering::CodigosArmazenados{} : it->second;
  }
  std::string GetVdDepIdent(const std::string&, const std::string&) override { return dcResult; }
  numbering::InfoDepIdent GetInfoDepIdent(const std::string&, std::string&, std::string&) override {
    return info;
  }
  std::string GetSeqDepIdent(std::string&) override { return depSequence; }
};

BankAccountRow account(const std::string& bank, const std::string& templ) {
  BankAccountRow r;
  r.CDREDUCONT = "001";
  r.CDBANCO = r.CDBANCCNAB = bank;
  r.CDAGENCIA = "1234";
  r.CDCONTCORR = "1234567";
  r.DSNOSNUMCORR = templ;
  return r;
}

host::TKeyList carteira(const std::string& cart, const std::string& acct = "1234567") {
  host::TKeyList kl;
  kl.Add("0001" + std::string("0000000042"),
         std::vector<host::Value>{host::Value(cart), host::Value(acct),
                                  host::Value(host::DateTime::fromYmd(2026, 12, 20)),
                                  host::Value(150.75), host::Value(), host::Value(),
                                  host::Value("01"), host::Value("001")});
  return kl;
}

std::string keyOf(const host::OperationError& e) {
  return e.key();
}

TEST(NossoNumero, BankRulesAtTheirEdges) {
  FakeService s;
  auto kl = carteira("19");
  auto row = account("237", "[SEQ:11]");
  Numerador n(row, kl, s);
  // Carteira 19 and number 1 leave remainder 1: "P"; carteira 06 leaves 0.
  EXPECT_EQ(n.Retorna_NossoNumero("", "", "", "1", "1"), "00000000001-P");
  auto kl06 = carteira("06");
  EXPECT_EQ(Numerador(row, kl06, s).Retorna_NossoNumero("", "", "", "1", "1"), "00000000001-0");

  auto r707 = account("707", "XYZ[SEQ:10]");
  std::string d = Numerador(r707, kl, s).Retorna_NossoNumero("", "", "", "123", "1");
  EXPECT_EQ(d.substr(0, 4), "123-");
  EXPECT_EQ(d.size(), 5u);

  auto r001 = account("001", "[SEQ:10]");
  auto kl17 = carteira("17");
  r001.CDCEDENTEBAN = "1234567";
  EXPECT_EQ(Numerador(r001, kl17, s).Retorna_NossoNumero("", "", "", "42", "1"),
            "12345670000000042");
  r001.CDCEDENTEBAN = "123456";
  std::string six = Numerador(r001, kl17, s).Retorna_NossoNumero("", "", "", "42", "1");
  EXPECT_EQ(six.substr(0, 12), "12345600042-");
  EXPECT_EQ(six.size(), 13u);

  auto r033 = account("033", "[SEQ:12]");
  EXPECT_EQ(Numerador(r033, kl, s).Retorna_NossoNumero("", "", "", "1234567", "1"),
            "000001234567 9");
  EXPECT_EQ(numbering::RetQtDV("033", "", "", 12), 2);

  auto r104 = account("104", "[SEQ:17]");
  EXPECT_EQ(
      Numerador(r104, kl, s).Retorna_NossoNumero("", "", "", "14000000000000001", "2").substr(0, 2),
      "24");

  auto r999 = account("999", "A[SEQ:4]");
  EXPECT_EQ(Numerador(r999, kl, s).Retorna_NossoNumero("", "", "", "7", "1"), "A0007");
  EXPECT_EQ(numbering::RetQtDV("999", "", "", 4), 1);
}

TEST(NossoNumero, ItauCarteiraDecidesWhatTheDigitCovers) {
  FakeService s;
  auto k126 = carteira("126"), k175 = carteira("175");
  auto a = account("341", "[SEQ:8]"), b = account("341", "[SEQ:8]");
  b.CDAGENCIA = "1235";
  EXPECT_EQ(Numerador(a, k126, s).Retorna_NossoNumero("", "", "", "12345678", "1"),
            Numerador(b, k126, s).Retorna_NossoNumero("", "", "", "12345678", "1"));
  EXPECT_NE(Numerador(a, k175, s).Retorna_NossoNumero("", "", "", "12345678", "1"),
            Numerador(b, k175, s).Retorna_NossoNumero("", "", "", "12345678", "1"));
}

TEST(NossoNumero, BankCodesAreNormalisedOnLoad) {
  auto r = account("612", "[SEQ:8]");
  numbering::NormalizaBanco(r);
  EXPECT_EQ(r.CDBANCCNAB, "341");
  r = account("025", "[SEQ:8]");
  numbering::NormalizaBanco(r);
  EXPECT_EQ(r.CDBANCCNAB, "237");
  r = account("637", "[SEQ:8]");
  numbering::NormalizaBanco(r);
  EXPECT_EQ(r.CDBANCCNAB, "637");
  r.CDBANCOCONV = "104";
  numbering::NormalizaBanco(r);
  EXPECT_EQ(r.CDBANCCNAB, "104");
  r = account("422", "[SEQ:8]");
  r.CDBANCOCONV = "237";
  numbering::NormalizaBancoEmail(r);
  EXPECT_EQ(r.CDBANCCNAB, "237");
  EXPECT_EQ(account("001", "").formaCadastro(), "1");
}

TEST(NossoNumero, MailScreenCopyDiffers) {
  FakeService s;
  auto kl = carteira("09");
  auto r707 = account("707", "[SEQ:10]");
  EXPECT_EQ(Numerador(r707, kl, s, numbering::MensagensNumeracao(), Tela::Email)
                .Retorna_NossoNumero("", "", "", "123", "1"),
            "0000000123");
  auto r422 = account("422", "[SEQ:8]");
  r422.CDBANCOCONV = "237";
  EXPECT_EQ(Numerador(r422, kl, s, numbering::MensagensNumeracao(), Tela::Email)
                .Retorna_NossoNumero("", "", "", "94550200", "1"),
            "945502001");
  auto r104 = account("104", "[SEQ:17]");
  r104.IDFORMCADBANC = "2";
  EXPECT_EQ(Numerador(r104, kl, s, numbering::MensagensNumeracao(), Tela::Email)
                .Retorna_NossoNumero("", "", "", "14000000000000001", "1")
                .substr(0, 2),
            "24");
}

TEST(NossoNumero, SequenceCutOutOfAStoredNumber) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  Numerador n(r, kl, s);
  EXPECT_EQ(n.SequenciaDoNossoNumero("0001", "0000000042", "00000012345-6"), "00000012345");
  EXPECT_FALSE(n.SequenciaDoNossoNumero("0001", "0000000042", "").has_value());
  auto r104 = account("104", "[SEQ:17]");
  EXPECT_EQ(
      Numerador(r104, kl, s).SequenciaDoNossoNumero("0001", "0000000042", "14000000000000001-4"),
      "14000000000000001");
  // A number stored with a Safra agreement is a number like any other: cutting nothing out
  // of it would have the boleto numbered again.
  r.CDBANCOCONV = "422";
  EXPECT_EQ(Numerador(r, kl, s).SequenciaDoNossoNumero("0001", "0000000042", "00000012345-6"),
            "00000012345");
}

TEST(CodigoBarra, TakenNumbersMoveForwardAndTheFourthIsStored) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  Numerador n(r, kl, s);
  for (const char* seq : {"100", "101", "102"})
    s.taken.insert(n.Retorna_NossoNumero("", "", "", seq, "1"));
  auto codes = n.Gera_CodigodeBarra("0001", "0000000042", "100", true, Modelo::Completo1);
  ASSERT_TRUE(codes && codes->armazenado);
  ASSERT_EQ(s.stored.size(), 1u);
  // Stored as the bank prints it, with its check digit, the form the pre-printed model stores.
  EXPECT_EQ(s.stored[0].nossoNumero, n.Retorna_NossoNumero("", "", "", "103", "1"));
  EXPECT_EQ(s.stored[0].nossoNumero.substr(0, 12), "00000000103-");
  EXPECT_EQ(s.stored[0].model, "2");
  EXPECT_EQ(s.stored[0].line.size(), 54u);
  EXPECT_EQ(s.last, 103);
  EXPECT_EQ(
      host::DateTime::fromYmd(2026, 12, 20),
      *bank::VerificaCodigo(s.stored[0].barcode, host::DateTime::fromYmd(2026, 12, 8)).dueDate);
  EXPECT_EQ(bank::NossoNumeroCdBarra(codes->codigoBarras, "", ""), "00000000103");
}

TEST(CodigoBarra, AValueAnotherCallerTookIsAskedForAgainNeverCountedPastLocally) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  s.last = 40;  // another emitter took up to 40 after this one read 7
  s.current = "41";
  auto codes =
      Numerador(r, kl, s).Gera_CodigodeBarra("0001", "0000000042", "7", true, Modelo::Completo1);
  ASSERT_TRUE(codes && codes->armazenado);
  EXPECT_EQ(codes->nossoNumero.substr(0, 11), "00000000041");
  EXPECT_EQ(s.last, 41);
}

TEST(CodigoBarra, ABoletoNumberedElsewhereKeepsItsNumberAndCodes) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  Numerador n(r, kl, s);
  auto first = n.Gera_CodigodeBarra("0001", "0000000042", "5", true, Modelo::Completo1);
  ASSERT_TRUE(first && first->armazenado);
  // Another run, still holding the list it loaded, numbers the same boleto again.
  s.current = "6";
  auto again = n.Gera_CodigodeBarra("0001", "0000000042", "6", true, Modelo::Completo1);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->nossoNumero, first->nossoNumero);
  EXPECT_EQ(again->codigoBarras, first->codigoBarras);
  EXPECT_TRUE(again->outraExecucao);
  EXPECT_EQ(s.stored.size(), 1u);
  // A reissue recomputes from the stored number's own sequence: the same codes, nothing new.
  auto seq = n.SequenciaDoNossoNumero("0001", "0000000042", first->nossoNumero);
  ASSERT_TRUE(seq);
  auto reissue = n.Gera_CodigodeBarra("0001", "0000000042", *seq, false, Modelo::Completo1);
  ASSERT_TRUE(reissue);
  EXPECT_EQ(reissue->nossoNumero, first->nossoNumero);
  EXPECT_EQ(reissue->codigoBarras, first->codigoBarras);
  EXPECT_EQ(s.last, 5);
}

TEST(CodigoBarra, LongNumbersIncrementKeepingTheirWidth) {
  const auto& m = numbering::MensagensNumeracao();
  EXPECT_EQ(numbering::IncrementaNumero("12345678901234567", m), "12345678901234568");
  EXPECT_EQ(numbering::IncrementaNumero("00000000002147483647", m), "00000000002147483648");
  EXPECT_EQ(numbering::IncrementaNumero("0999", m), "1000");
  try {
    numbering::IncrementaNumero("999", m);
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_EQ(keyOf(e), "ERR_GERA_NOSNUM");
  }
  // A taken 17-digit Caixa number moves on instead of stopping the emission.
  FakeService s;
  auto kl = carteira("1");
  auto r = account("104", "[SEQ:17]");
  r.CDCEDENTEBAN = "245274";
  Numerador caixa(r, kl, s);
  s.taken = {caixa.Retorna_NossoNumero("", "", "", "14000000000000001", "1")};
  auto codes = caixa.Gera_CodigodeBarra("0001", "0000000042", "00000000000000001", true,
                                        Modelo::PreImpresso, "1");
  ASSERT_TRUE(codes && codes->armazenado);
  EXPECT_EQ(s.stored[0].nossoNumero.substr(0, 18), "14000000000000002-");
  EXPECT_EQ(s.stored[0].model, "1");
}

TEST(CodigoBarra, MissingOrUnlaidBoletosStoreNothing) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  Numerador n(r, kl, s);
  EXPECT_FALSE(n.Gera_CodigodeBarra("0002", "0000000001", "1", true, Modelo::Completo1));
  r.CDAGENCIA = "12345-6";
  auto codes =
      Numerador(r, kl, s).Gera_CodigodeBarra("0001", "0000000042", "1", true, Modelo::Completo1);
  ASSERT_TRUE(codes);
  EXPECT_FALSE(codes->armazenado);
  EXPECT_TRUE(s.stored.empty());
}

void expectKey(const std::function<void()>& f, const std::string& key) {
  try {
    f();
    ADD_FAILURE() << "expected " << key;
  } catch (const host::OperationError& e) {
    EXPECT_EQ(e.key(), key);
  }
}

TEST(FaixaNumerica, CompleteModelFailsBeforeAnyBoletoIsNumbered) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  r.IDVERFXNUMC = "S";
  r.NRININOSNUMC = "1";
  r.NRFIMNOSNUMC = "99";
  s.current = "98";
  Numerador n(r, kl, s);
  EXPECT_EQ(n.Valida_Faixa_Numerica(Modelo::Completo1, "1", 2), "98");
  expectKey([&] { n.Valida_Faixa_Numerica(Modelo::Completo1, "1", 3); }, "NOSSO<SEQ");
  EXPECT_TRUE(s.stored.empty());

  // Without the check it only finds the first free number.
  r.IDVERFXNUMC = "N";
  s.taken = {n.Retorna_NossoNumero("", "", "", "98", "1")};
  EXPECT_EQ(Numerador(r, kl, s).Valida_Faixa_Numerica(Modelo::Completo1, "1", 50),
            "00000000000000000099");
}

// The check of n numbers answers as walking them one by one would: the first number out of
// range refuses the run, and a number that needs more digits than the counter's width ends it.
TEST(FaixaNumerica, ManyNumbersAnswerAsWalkingThemOneByOne) {
  const auto walked = [](std::string s, const std::string& ini, const std::string& end, int n) {
    s = host::Ajusta(s, 20);
    try {
      for (int i = 0; i < n; ++i) {
        if (numbering::ComparaNumeros(s, ini) < 0 || numbering::ComparaNumeros(s, end) > 0)
          return std::string("NOSSO<SEQ");
        s = numbering::IncrementaNumero(s, numbering::MensagensNumeracao());
      }
    } catch (const host::OperationError& e) {
      return e.key();
    }
    return std::string();
  };
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  r.IDVERFXNUMC = "S";
  const std::string nines(20, '9');
  using Texts = std::vector<std::string>;
  for (const auto& current : Texts{"1", "49", "98", "99", "100", "99999999999999999998", nines})
    for (const auto& ini : Texts{"1", "50"})
      for (const auto& end : Texts{"99", "100", "99999999999999999997", nines, "1" + nines})
        for (const int n : {0, 1, 2, 3, 52, 1000}) {
          r.NRININOSNUMC = ini;
          r.NRFIMNOSNUMC = end;
          s.current = current;
          std::string got;
          try {
            Numerador(r, kl, s).Valida_Faixa_Numerica(Modelo::Completo1, "1", n);
          } catch (const host::OperationError& e) {
            got = e.key();
          }
          EXPECT_EQ(got, walked(current, ini, end, n))
              << current << " in " << ini << ".." << end << ", " << n << " numbers";
        }
}

TEST(FaixaNumerica, PrePrintedRangeIsNumericAndAdvances) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("237", "[SEQ:11]");
  r.IDVERFXNUMP = "S";
  r.NRININOSNUMP = "1";
  r.NRFIMNOSNUMP = "10";
  s.current = "9";
  Numerador n(r, kl, s);
  EXPECT_EQ(n.Valida_Faixa_Numerica(Modelo::PreImpresso, "1", 2), "9");  // 9, 10
  expectKey([&] { n.Valida_Faixa_Numerica(Modelo::PreImpresso, "1", 3); }, "NOSSO<SEQ");

  s.taken = {"00000000011-P"};
  expectKey([&] { n.Valida_Faixa_Numerica(Modelo::PreImpresso, "1", 1, "00000000011-P"); },
            "NN_JA_CAD");
  EXPECT_EQ(n.Valida_Faixa_Numerica(Modelo::PreImpresso, "1", 1, "00000000010-1"), "00000000009");
  r.NRFIMNOSNUMP = "abc";
  expectKey([&] { Numerador(r, kl, s).Valida_Faixa_Numerica(Modelo::PreImpresso, "1", 1); }, "");
  auto broken = account("237", "");
  expectKey([&] { Numerador(broken, kl, s).Valida_Faixa_Numerica(Modelo::Completo1, "1", 1); },
            "ESTRUT_CONFIG");
}

TEST(DepIdentificado, PrefixesDigitsAndRefusals) {
  FakeService s;
  auto kl = carteira("09");
  auto r = account("001", "[SEQ:10]");
  Numerador n(r, kl, s);
  EXPECT_EQ(n.GeraDepIdentificado("0001", "0000000042", "8"), "0460100001200005-x");
  expectKey([&] { n.GeraDepIdentificado("0001", "0000000042", "05"); }, "EMPR_DI_NH");

  r.CDBANCCNAB = "399";
  s.depSequence = "7";
  EXPECT_EQ(Numerador(r, kl, s).GeraDepIdentificado("0001", "0000000042", "04"),
            "00000560106001200007-10");
  r.CDBANCCNAB = "237";
  s.depSequence = "1";
  EXPECT_EQ(Numerador(r, kl, s).GeraDepIdentificado("0001", "0000000042", "08"),
            "00260100001200001-4");
  r.CDBANCCNAB = "756";
  EXPECT_EQ(Numerador(r, kl, s).GeraDepIdentificado("0001", "0000000042", "08"), "60100001200001-");

  s.info.erro = "Filial sem centro de custo";
  try {
    Numerador(r, kl, s).GeraDepIdentificado("0001", "0000000042", "08");
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_STREQ(e.what(), "Filial sem centro de custo");
  }
  s.dcResult = "BANC_DI_NH";
  EXPECT_FALSE(Numerador(r, kl, s).UsaDepIdentificado("08"));
}

TEST(NossoNumero, ASequenceWiderThanTheBanksFieldIsRefusedNeverFolded) {
  FakeService s;
  auto kl = carteira("17");
  auto r = account("001", "[SEQ:10]");
  r.CDCEDENTEBAN = "123456";
  Numerador n(r, kl, s);
  EXPECT_EQ(n.Retorna_NossoNumero("", "", "", "99999", "1").substr(0, 12), "12345699999-");
  // The 100,000th number of a 6-digit agreement would repeat the first one.
  expectKey([&] { n.Retorna_NossoNumero("", "", "", "100000", "1"); }, "NOSNUM_ESGOTADO");
  expectKey([&] { n.Gera_CodigodeBarra("0001", "0000000042", "100000", true, Modelo::Completo1); },
            "NOSNUM_ESGOTADO");
  EXPECT_TRUE(s.stored.empty());
}

TEST(CodigoBarra, ACarteiraOfAnotherLayoutIsRefusedAndNothingStored) {
  FakeService s;
  auto kl = carteira("CNR");
  auto r = account("399", "[SEQ:10]");
  expectKey(
      [&] {
        Numerador(r, kl, s).Gera_CodigodeBarra("0001", "0000000042", "1", true, Modelo::Completo1);
      },
      "LEIAUTE_NS");
  EXPECT_TRUE(s.stored.empty());
}

}  // namespace
