#include <gtest/gtest.h>

#include "host/Consiste.h"
#include "host/TaxId.h"

namespace {

using host::cnpjProblem;
using host::cpfProblem;

// Published examples:
// - 12.ABC.345/01DE-35: the worked example of the federal revenue's "Cálculo dos dígitos
//   verificadores de CNPJ alfanumérico" (Nota Técnica conjunta COCAD/SUARA/RFB nº 49/2024).
// - 00.000.000/0001-91: the numeric CNPJ quoted beside it as still valid (Banco do Brasil).
// - 11.222.333/0001-81 and 529.982.247-25: the classic textbook examples of the numeric rule.
TEST(TaxId, PublishedExamplesAreAccepted) {
  EXPECT_EQ(cnpjProblem("12.ABC.345/01DE-35"), "");
  EXPECT_EQ(cnpjProblem("12ABC34501DE35"), "");
  EXPECT_EQ(cnpjProblem("00.000.000/0001-91"), "");
  EXPECT_EQ(cnpjProblem("11222333000181"), "");
  EXPECT_EQ(cpfProblem("529.982.247-25"), "");
  EXPECT_EQ(cpfProblem("52998224725"), "");
  EXPECT_EQ(*host::cnpjCheckDigits("12ABC34501DE"), "35");
  EXPECT_EQ(*host::cnpjCheckDigits("112223330001"), "81");
  EXPECT_EQ(*host::cpfCheckDigits("529982247"), "25");
}

TEST(TaxId, OneChangedCharacterOfAValidCnpjIsRefused) {
  EXPECT_NE(cnpjProblem("12ABC34501DE36"), "");
  EXPECT_NE(cnpjProblem("12ABD34501DE35"), "");
  EXPECT_NE(cnpjProblem("22ABC34501DE35"), "");
  EXPECT_NE(cnpjProblem("11222333000182"), "");
  // Every change the rule can see is refused. It cannot see a character exchanged for one
  // whose value differs by a multiple of 11 (1, G and R are 1, 23 and 34): the weights are
  // all prime to 11, so the sums keep their remainders. Such a CNPJ is valid by the rule.
  const std::string valid = "12ABC34501DE35";
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  int refused = 0, blind = 0;
  for (size_t i = 0; i < valid.size(); ++i) {
    for (char c : alphabet) {
      if (c == valid[i] || (i >= 12 && c > '9')) continue;
      std::string changed = valid;
      changed[i] = c;
      if ((c - valid[i]) % 11 == 0) {
        ++blind;
        EXPECT_EQ(cnpjProblem(changed), "") << changed;
      } else {
        ++refused;
        EXPECT_NE(cnpjProblem(changed), "") << changed;
      }
    }
  }
  EXPECT_EQ(refused + blind, 12 * 35 + 2 * 9);
  EXPECT_GT(blind, 0);
}

TEST(TaxId, RefusalsSayWhatIsWrong) {
  EXPECT_EQ(cnpjProblem("12abc34501de35"),
            "CNPJ: letra minúscula 'a' na posição 3; use letras maiúsculas.");
  EXPECT_EQ(cnpjProblem("12ABC345*1DE35"),
            "CNPJ: caractere '*' não permitido na posição 9; use só dígitos e letras maiúsculas.");
  EXPECT_EQ(cnpjProblem("12ABÇ34501DE35"),
            "CNPJ: caractere 'Ç' não permitido na posição 5; use só dígitos e letras maiúsculas.");
  // Punctuation is only the mask's, in the mask's places.
  EXPECT_NE(cnpjProblem("12.ABC.345.01DE-35"), "");
  EXPECT_EQ(cnpjProblem("12ABC34501DEA5"),
            "CNPJ: os dígitos verificadores devem ser numéricos ('A' na posição 13).");
  EXPECT_EQ(cnpjProblem("12ABC34501DE36"),
            "CNPJ com dígitos verificadores errados: 36 em vez de 35.");
  EXPECT_EQ(cnpjProblem("12ABC34501D35"),
            "CNPJ deve ter 14 caracteres: 12 dígitos ou letras maiúsculas e 2 dígitos "
            "verificadores (13 informados).");
  EXPECT_EQ(cnpjProblem("00000000000000"), "CNPJ zerado não é válido.");
  EXPECT_EQ(cnpjProblem("  "), "CNPJ não informado.");
  EXPECT_EQ(cpfProblem("111.111.111-11"), "CPF de onze dígitos iguais não é válido.");
  EXPECT_EQ(cpfProblem("5299822472A"),
            "CPF: os dígitos verificadores devem ser numéricos ('A' na posição 11).");
  EXPECT_EQ(cpfProblem("529A8224725"),
            "CPF: caractere 'A' não permitido na posição 4; use só dígitos.");
  EXPECT_EQ(cpfProblem("52998224726"), "CPF com dígitos verificadores errados: 26 em vez de 25.");
}

TEST(TaxId, KindDecidesTheRule) {
  EXPECT_EQ(host::taxIdProblem("J", "12ABC34501DE35"), "");
  EXPECT_EQ(host::taxIdProblem("F", "52998224725"), "");
  EXPECT_NE(host::taxIdProblem("F", "12ABC34501DE35"), "");
  EXPECT_NE(host::taxIdProblem("J", "52998224725"), "");
  EXPECT_EQ(host::taxIdProblem("", "529.982.247-25"), "");
  EXPECT_EQ(host::taxIdProblem("", "12.ABC.345/01DE-35"), "");
}

TEST(TaxId, MasksLayOutBothFormsAndPictPessGivesTheEditMaskByKind) {
  EXPECT_EQ(host::formatTaxId("12ABC34501DE35"), "12.ABC.345/01DE-35");
  EXPECT_EQ(host::formatTaxId("11222333000181"), "11.222.333/0001-81");
  EXPECT_EQ(host::formatTaxId("52998224725"), "529.982.247-25");
  EXPECT_EQ(host::formatTaxId("12.ABC.345/01DE-35"), "12.ABC.345/01DE-35");
  EXPECT_EQ(host::formatTaxId("123"), "123");
  EXPECT_EQ(host::formatTaxId("12abc34501de35"), "12abc34501de35");  // not one: as given
  EXPECT_EQ(host::taxIdDigits("12.ABC.345/01DE-35"), "12ABC34501DE35");

  EXPECT_EQ(host::PictPess("J"), ">AA.AAA.AAA/AAAA-00;0; ");
  EXPECT_EQ(host::PictPess("f"), "000.000.000-00;0; ");
  EXPECT_EQ(host::PictPess("X"), "");
  // The edit mask shows a stored registration as the display mask does, letters upper-cased.
  EXPECT_EQ(host::FormatMaskText(host::PictPess("J"), "12abc34501de35"), "12.ABC.345/01DE-35");
  EXPECT_EQ(host::FormatMaskText(host::PictPess("F"), "52998224725"), "529.982.247-25");
}

}  // namespace
