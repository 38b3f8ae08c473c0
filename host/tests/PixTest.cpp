#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/Errors.h"
#include "host/Pix.h"

namespace {

namespace pix = host::pix;

// The static example of the central bank's "Manual de Padrões para Iniciação do Pix"
// (BR Code section; the same text is the example of its "Manual do BR Code"): random key,
// no amount, no txid.
constexpr const char* kManualStatic =
    "00020126580014br.gov.bcb.pix0136123e4567-e12b-12d1-a456-426655440000"
    "5204000053039865802BR5913Fulano de Tal6008BRASILIA62070503***63041D3D";

// One object: its id, its length in two digits, its value.
std::string o(const std::string& id, const std::string& value) {
  return id + (value.size() < 10 ? "0" : "") + std::to_string(value.size()) + value;
}

// A text with a valid CRC: the body, then object 63 over all of it.
std::string withCrc(const std::string& body) {
  return body + "6304" + pix::crc16Hex(body + "6304");
}

TEST(PixCrc, KnownAnswers) {
  // CRC-16/CCITT-FALSE of the catalogue of parametrised CRC algorithms: check value of
  // "123456789" is 0x29B1; nothing leaves the initial value.
  EXPECT_EQ(pix::crc16("123456789"), 0x29B1);
  EXPECT_EQ(pix::crc16(""), 0xFFFF);
  EXPECT_EQ(pix::crc16Hex("123456789"), "29B1");
  const std::string manual = kManualStatic;
  EXPECT_EQ(pix::crc16Hex(manual.substr(0, manual.size() - 4)), "1D3D");
}

TEST(PixBuild, ReproducesTheManualsExample) {
  pix::StaticCharge c;
  c.key = "123e4567-e12b-12d1-a456-426655440000";
  c.merchantName = "Fulano de Tal";
  c.merchantCity = "BRASILIA";
  pix::Built b = pix::buildStatic(c);
  EXPECT_EQ(b.text, kManualStatic);
  EXPECT_TRUE(b.notes.empty());
}

TEST(PixBuild, AmountTxidAndDescriptionAreWrittenAsTheManualSays) {
  pix::StaticCharge c;
  c.key = "fulano@example.com";
  c.cents = 123456;
  c.merchantName = "Comércio São João";
  c.merchantCity = "Brasília";
  c.txid = "000100000047";
  c.description = "Boleto 0001/0000000047";
  pix::Built b = pix::buildStatic(c);
  pix::Decoded d = pix::decode(b.text);
  ASSERT_TRUE(d.valid) << d.reason;
  EXPECT_EQ(d.amount, "1234.56");
  EXPECT_EQ(*d.cents, 123456);
  EXPECT_EQ(d.merchantName, "Comercio Sao Joao");
  EXPECT_EQ(d.merchantCity, "Brasilia");
  EXPECT_EQ(d.txid, "000100000047");
  EXPECT_EQ(d.description, "Boleto 0001/0000000047");
  EXPECT_EQ(d.key, "fulano@example.com");
  EXPECT_EQ(*d.keyKind, pix::KeyKind::Email);
  EXPECT_NE(b.text.find("530398654071234.565802BR"), std::string::npos) << b.text;

  c.cents = 5;  // centavos always with two decimals
  EXPECT_EQ(pix::decode(pix::buildStatic(c).text).amount, "0.05");
  c.cents = 999'999'999'999;
  EXPECT_EQ(pix::decode(pix::buildStatic(c).text).amount, "9999999999.99");
}

TEST(PixBuild, NameAndCityAreFoldedAndCutAndTheCutIsReported) {
  pix::StaticCharge c;
  c.key = "+55 (11) 98765-4321";
  c.merchantName = "Açougue e Padaria Irmãos Conceição Ltda";
  c.merchantCity = "São José dos Campos";
  c.description = "Parcela 1 ☺";
  pix::Built b = pix::buildStatic(c);
  pix::Decoded d = pix::decode(b.text);
  ASSERT_TRUE(d.valid) << d.reason;
  EXPECT_EQ(d.key, "+5511987654321");
  EXPECT_EQ(d.merchantName, "Acougue e Padaria Irmaos");  // 25, the trailing blank trimmed
  EXPECT_EQ(d.merchantCity, "Sao Jose dos Ca");
  EXPECT_EQ(d.description, "Parcela 1");
  ASSERT_EQ(b.notes.size(), 3u);
  EXPECT_NE(b.notes[0].find("nome do recebedor cortado em 25"), std::string::npos);
  EXPECT_NE(b.notes[1].find("cidade do recebedor cortado em 15"), std::string::npos);
  EXPECT_NE(b.notes[2].find("descrição: 1 caractere"), std::string::npos);

  EXPECT_EQ(pix::foldAscii("  Ñandu\t\tÆgir  ß "), "Nandu AEgir ss");
}

TEST(PixBuild, TheDescriptionIsCutToWhatTheAccountTemplateHolds) {
  pix::StaticCharge c;
  c.key = "um.endereco.de.email.bem.comprido@exemplo.com.br";  // 48 characters
  c.merchantName = "Fulano";
  c.merchantCity = "Recife";
  c.description = std::string(60, 'x');
  pix::Built b = pix::buildStatic(c);
  pix::Decoded d = pix::decode(b.text);
  ASSERT_TRUE(d.valid) << d.reason;
  // 99 = GUI (4 + 14) + key (4 + 48) + description (4 + 25)
  EXPECT_EQ(d.description, std::string(25, 'x'));
  EXPECT_EQ(b.text.substr(6, 4), "2699");
  ASSERT_EQ(b.notes.size(), 1u);
}

TEST(PixBuild, RefusesWhatCannotBeCarried) {
  auto reason = [](pix::StaticCharge c) -> std::string {
    try {
      pix::buildStatic(c);
    } catch (const host::OperationError& e) {
      return e.what();
    }
    return "accepted";
  };
  pix::StaticCharge ok;
  ok.key = "52998224725";
  ok.merchantName = "Fulano";
  ok.merchantCity = "Recife";
  EXPECT_EQ(reason(ok), "accepted");
  pix::StaticCharge c = ok;
  c.cents = 0;
  EXPECT_EQ(reason(c), "O valor do Pix deve ser maior que zero.");
  c.cents = 1'000'000'000'000;
  EXPECT_EQ(reason(c), "O valor do Pix passa do que o BR Code comporta (9999999999.99).");
  c = ok;
  c.txid = "BOL-0001";
  EXPECT_EQ(reason(c), "txid 'BOL-0001' inválido: de 1 a 25 letras sem acento ou dígitos.");
  c.txid = std::string(26, 'A');
  EXPECT_NE(reason(c), "accepted");
  c = ok;
  c.merchantName = "☺☺";
  EXPECT_EQ(reason(c), "Nome do recebedor do Pix não informado.");
  c = ok;
  c.key = "52998224726";
  EXPECT_EQ(reason(c),
            "Chave Pix inválida: chave CPF com dígitos verificadores errados: 26 em vez de 25..");
}

TEST(PixKeys, EachFormOfTheKeyDirectory) {
  struct Case {
    const char* typed;
    const char* carried;  // "" when refused
    pix::KeyKind kind;
  };
  const Case cases[] = {
      {"529.982.247-25", "52998224725", pix::KeyKind::Cpf},
      {"11.222.333/0001-81", "11222333000181", pix::KeyKind::Cnpj},
      {"12.ABC.345/01DE-35", "12ABC34501DE35", pix::KeyKind::Cnpj},
      {" Fulano.Tal@Example.COM ", "fulano.tal@example.com", pix::KeyKind::Email},
      {"+55 61 98888-7777", "+5561988887777", pix::KeyKind::Phone},
      {"123E4567-E12B-12D1-A456-426655440000", "123e4567-e12b-12d1-a456-426655440000",
       pix::KeyKind::Random},
      {"12abc34501de35", "", pix::KeyKind::Cnpj},      // lower-case CNPJ
      {"+1 415 555 0100", "", pix::KeyKind::Phone},    // not Brazilian
      {"+55 61 3888-7777", "", pix::KeyKind::Phone},   // a landline
      {"+55 20 98888-7777", "", pix::KeyKind::Phone},  // no such area code
      {"(61) 98888-7777", "", pix::KeyKind::Phone},    // without +55
      {"fulano@", "", pix::KeyKind::Email},
      {"a@b@c", "", pix::KeyKind::Email},
      {"fulano@-example.com", "", pix::KeyKind::Email},
      {"123e4567e12b12d1a456426655440000", "", pix::KeyKind::Random},
      {"", "", pix::KeyKind::Cpf},
  };
  for (const Case& c : cases) {
    pix::KeyCheck k = pix::normalizeKey(c.typed);
    if (*c.carried) {
      ASSERT_TRUE(k.kind) << c.typed << ": " << k.problem;
      EXPECT_EQ(*k.kind, c.kind) << c.typed;
      EXPECT_EQ(k.value, c.carried);
      EXPECT_TRUE(pix::checkKey(k.value).kind) << k.value;
    } else {
      EXPECT_FALSE(k.kind) << c.typed;
      EXPECT_FALSE(k.problem.empty()) << c.typed;
    }
  }
  // Inside a BR Code only the directory's own form is a key.
  EXPECT_EQ(pix::checkKey("Fulano@example.com").problem,
            "chave e-mail deve estar em letras minúsculas");
  EXPECT_EQ(pix::checkKey("123E4567-E12B-12D1-A456-426655440000").problem,
            "chave aleatória deve estar em letras minúsculas");
  EXPECT_FALSE(pix::checkKey("529.982.247-25").kind);
  EXPECT_TRUE(pix::checkKey(std::string(70, 'a') + "@ex.com").kind);  // 77 characters
  EXPECT_EQ(pix::checkKey(std::string(71, 'a') + "@ex.com").problem,
            "chave Pix com 78 caracteres (máximo 77)");
}

TEST(PixDecode, NamesTheFieldsOfTheManualsExample) {
  pix::Decoded d = pix::decode(kManualStatic);
  ASSERT_TRUE(d.valid) << d.reason;
  EXPECT_EQ(*d.keyKind, pix::KeyKind::Random);
  EXPECT_EQ(d.key, "123e4567-e12b-12d1-a456-426655440000");
  EXPECT_EQ(d.merchantName, "Fulano de Tal");
  EXPECT_EQ(d.merchantCity, "BRASILIA");
  EXPECT_EQ(d.txid, "");
  EXPECT_FALSE(d.cents);
  EXPECT_EQ(d.crc, "1D3D");
  ASSERT_EQ(d.fields.size(), 9u);
  EXPECT_EQ(d.fields[1].id, "26");
  EXPECT_EQ(d.fields[1].name, "Merchant Account Information");
  ASSERT_EQ(d.fields[1].children.size(), 2u);
  EXPECT_EQ(d.fields[1].children[0].id, "26.00");
  EXPECT_EQ(d.fields[1].children[0].name, "GUI");
  EXPECT_EQ(d.fields[1].children[1].name, "Key");
  EXPECT_EQ(d.fields[7].children[0].name, "Reference Label (txid)");
  EXPECT_EQ(d.fields[8].name, "CRC");
}

TEST(PixDecode, ReadsADynamicCodeAndOtherTemplates) {
  // A dynamic code: the location in 26.25 instead of a key, 01 "12"; a card network's
  // template in 27 and an unreserved template in 80 beside it.
  const std::string text =
      withCrc("000201" + o("01", "12") +
              o("26", o("00", "br.gov.bcb.pix") + o("25", "pix.example.com/qr/v2/cobv/9d3")) +
              o("27", o("00", "card") + o("01", "X123")) +
              "52040000530398654041.005802BR5913Fulano de Tal6008BRASILIA62070503***" +
              o("80", o("00", "test") + o("01", "0")));
  pix::Decoded d = pix::decode(text);
  ASSERT_TRUE(d.valid) << d.reason;
  EXPECT_EQ(d.url, "pix.example.com/qr/v2/cobv/9d3");
  EXPECT_FALSE(d.keyKind);
  EXPECT_EQ(d.amount, "1.00");
  EXPECT_EQ(d.fields[3].name, "Merchant Account Information");
  EXPECT_EQ(d.fields[3].children[1].name, "Payment Network Specific");
  EXPECT_EQ(d.fields.back().name, "CRC");
}

TEST(PixDecode, EverySingleCharacterChangeIsRefused) {
  const std::string valid = kManualStatic;
  for (size_t i = 0; i < valid.size(); ++i) {
    for (char c : {'0', '9', 'A', 'x', '*', ' '}) {
      if (valid[i] == c) continue;
      std::string changed = valid;
      changed[i] = c;
      EXPECT_FALSE(pix::decode(changed).valid) << "position " << i << " as " << c;
    }
  }
  for (size_t n = 0; n < valid.size(); ++n)
    EXPECT_FALSE(pix::decode(valid.substr(0, n)).valid) << "cut at " << n;
  EXPECT_FALSE(pix::decode(valid + "0").valid);
}

TEST(PixDecode, ReasonsNameWhatIsWrong) {
  auto reason = [](const std::string& text) { return pix::decode(text).reason; };
  const std::string s = kManualStatic;
  EXPECT_EQ(reason(""), "texto vazio");
  EXPECT_EQ(reason(s.substr(0, s.size() - 1) + "E"),
            "CRC errado: 1D3E no texto, 1D3D calculado; o texto foi alterado ou cortado");
  EXPECT_EQ(reason("00020101x2"), "campo 01: tamanho 'x2' não numérico na posição 9");
  EXPECT_EQ(reason("000201269"), "texto termina no meio de um campo na posição 7: '269'");
  EXPECT_EQ(reason("00020126990014br.gov.bcb.pix"),
            "campo 26 declara 99 caracteres, mas só restam 18");
  EXPECT_EQ(reason("0002012600"), "campo 26 com tamanho zero na posição 7");
  EXPECT_EQ(reason("Pix: " + s), "identificador 'Pi' não numérico na posição 1");
  EXPECT_EQ(reason("00020126580014br.gov.bcb.pix0136123e4567-e12b-12d1-a456-426655440000é"),
            "caractere não permitido na posição 69: o BR Code só leva ASCII imprimível");
  EXPECT_EQ(reason("0002010002016304FFFF"), "campo 00 repetido");
  // Nested lengths are checked too.
  EXPECT_EQ(reason(withCrc("00020126200014br.gov.bcb.pix01")),
            "texto termina no meio de um campo na posição 29: '01'");

  // With a valid CRC, the content is what is wrong.
  const std::string account = "26330014br.gov.bcb.pix011152998224725";
  const std::string tail = "5802BR5906Fulano6006Recife62070503***";
  EXPECT_EQ(reason(withCrc("000201" + account + "52040000530398654" + tail)),
            "campo 54 declara 58 caracteres, mas só restam 43");
  EXPECT_EQ(reason(withCrc("000201" + account + "5204000053039865802BR5906Fulano6006Recife")),
            "campo 62 (Additional Data Field Template) ausente");
  EXPECT_EQ(reason(withCrc("000201" + account + "520400005303840" + tail)),
            "moeda '840' em vez de 986 (real)");
  EXPECT_EQ(reason(withCrc("000201" + account + "52040000530398654041,00" + tail)),
            "valor '1,00' não é um número com ponto e até duas casas decimais");
  EXPECT_EQ(reason(withCrc("000201" + account +
                           "5204000053039865404"
                           "0.00" +
                           tail)),
            "valor zero em um BR Code que não é de saque");
  EXPECT_EQ(reason(withCrc("000201" + account + "5303986" + tail)),
            "campo 52 (Merchant Category Code) ausente");
  EXPECT_EQ(reason(withCrc("0002012617"
                           "0013br.gov.bcb.px"
                           "5204000053039865802BR")),
            "nenhum modelo de conta (campos 26 a 51) com o GUI br.gov.bcb.pix: não é um BR Code "
            "Pix");
  EXPECT_EQ(reason(withCrc("000201"
                           "26330014br.gov.bcb.pix011152998224726"
                           "52040000530398"
                           "6" +
                           tail)),
            "chave CPF com dígitos verificadores errados: 26 em vez de 25.");
  EXPECT_EQ(reason(withCrc("000201" + account +
                           "52040000530398658"
                           "02BR5906Fulano6006Recife"
                           "62080504BOL-")),
            "txid 'BOL-' deve ter de 1 a 25 letras sem acento ou dígitos, ou ser ***");
  EXPECT_EQ(reason(withCrc("000201" + account + "5204000053039865802BR" +
                           o("59", "Fulano de Tal da Silva Sa") + "X" + "6006Recife62070503***")),
            "identificador 'X6' não numérico na posição 94");
  EXPECT_EQ(reason(withCrc("000201" + account + "5204000053039865802BR" +
                           o("59", "Fulano de Tal da Silva Sau") + "6006Recife62070503***")),
            "nome do recebedor com 26 caracteres (máximo 25)");
  EXPECT_EQ(reason(withCrc("010212000201" + account)),
            "o primeiro campo deve ser o 00 (Payload Format Indicator)");
  EXPECT_EQ(reason("000201" + account + "6304ABCD" + tail), "o campo 63 (CRC) deve ser o último");
}

TEST(PixDecode, RandomDamageNeverPassesUnnoticedNorBreaksTheReader) {
  // Texts cut, grown and changed at random, their CRC made right again so that the reader
  // must judge the content: it never throws, always gives a reason when it refuses, and what
  // it accepts keeps to the manual's limits.
  std::mt19937 rng(25);
  const std::string alphabet = "0123456789abcXYZ.@-* ";
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string body = std::string(kManualStatic).substr(0, std::strlen(kManualStatic) - 8);
    for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0; --edits) {
      const size_t at = rng() % (body.size() + 1);
      const char c = alphabet[rng() % alphabet.size()];
      switch (rng() % 3) {
        case 0:
          body.insert(at, 1, c);
          break;
        case 1:
          if (at < body.size()) body.erase(at, 1);
          break;
        default:
          if (at < body.size()) body[at] = c;
          break;
      }
    }
    pix::Decoded d;
    ASSERT_NO_THROW(d = pix::decode(withCrc(body))) << body;
    if (!d.valid) {
      EXPECT_FALSE(d.reason.empty()) << body;
      continue;
    }
    ++accepted;
    EXPECT_TRUE(d.keyKind || !d.url.empty());
    EXPECT_LE(d.merchantName.size(), 25u);
    EXPECT_LE(d.merchantCity.size(), 15u);
  }
  EXPECT_GT(accepted, 0);  // some damage is only a different, valid name or city
}

TEST(PixDecode, TxidForABoletoIsItsKey) {
  EXPECT_EQ(pix::txidForBoleto("0001", "0000000047"), "00010000000047");
  EXPECT_EQ(pix::txidForBoleto("00-1", "47/2"), "001472");
}

}  // namespace
