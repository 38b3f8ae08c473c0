#include <gtest/gtest.h>

#include "host/Consiste.h"
#include "register/DisplayCodes.h"

using host::Value;
using namespace reg;

TEST(DisplayCodes, StatusDiffersBetweenDetailAndListOnlyForDiscounted) {
  EXPECT_EQ(StatusText("D", false), "D");
  EXPECT_EQ(StatusText("D", true), "Descontado");
  EXPECT_EQ(StatusText("E", false), "Emitido");
  EXPECT_EQ(StatusText("A", true), "Pendente");
  EXPECT_EQ(StatusText("X", true), "X");
}

TEST(DisplayCodes, CnabSituationReadsZeroOneUnderItsLongKey) {
  EXPECT_EQ(CnabSituationText("01"), "Enviado - Retorno com erro");
  EXPECT_EQ(CnabSituationText("90"), "Baixado via CNAB");
  EXPECT_EQ(CnabSituationText("00"), "Não enviado");
  EXPECT_EQ(CnabSituationText(""), "Não enviado");
  EXPECT_EQ(CnabSituationText("77"), "77");
  EXPECT_EQ(ProtestText(""), "Não");
  EXPECT_EQ(ProtestText("S"), "Sim");
  EXPECT_EQ(ChequeStatusText("C"), "Compensado");
  EXPECT_EQ(ChequeStatusText(""), "");
}

TEST(DisplayCodes, ChoiceListsShowCodesAndStoreChoicesBack) {
  const auto& who = WhoPrintsChoices();
  EXPECT_EQ(who.itemOf(Value()), 0);
  EXPECT_EQ(who.textOf(Value("B")), "Banco");
  EXPECT_EQ(who.textOf(Value("Z")), "Fil. Orig.");
  EXPECT_TRUE(who.codeOf(0).isNull());
  EXPECT_EQ(who.codeOf(3), Value("F"));

  const auto& portfolio = PortfolioTypeChoices();
  EXPECT_EQ(portfolio.textOf(Value("5")), "");
  EXPECT_EQ(portfolio.textOf(Value("4")), "Cobrança Descontada");
  EXPECT_TRUE(portfolio.codeOf(0).isNull());
  EXPECT_EQ(portfolio.codeOf(2), Value("2"));

  EXPECT_EQ(RegistrationChoices().itemOf(Value("2")), 1);
  EXPECT_EQ(RegistrationChoices().codeOf(0), Value("1"));
  EXPECT_EQ(ProtestDaysChoices().textOf(Value("3")), "Não Protestar");
  EXPECT_EQ(ReturnDaysChoices().codeOf(2), Value("2"));
}

TEST(DisplayCodes, MasksNumbersAndFormatsTheBoletoNumber) {
  EXPECT_EQ(MaskedNumber(Value("12345"), "9999-9"), "1234-5");
  EXPECT_EQ(MaskedNumber(Value("0012345"), "99.999-99"), "00.123-45");
  EXPECT_EQ(MaskedNumber(Value(), "9999-9"), "");
  EXPECT_EQ(host::FormatMaskText(">aaa;0; ", "ab1"), "AB1");
  EXPECT_EQ(
      BoletoNumberText(Value(host::DateTime::fromYmd(2026, 12, 8)), Value("ACME"), Value(1234.5)),
      "08/12/2026 ACME 1.234,50");
  EXPECT_EQ(BoletoNumberText(Value(), Value("ACME"), Value(1.0)), "");
}

TEST(DisplayCodes, ReceivablesBesideTheList) {
  EXPECT_EQ(ReceivableAdjustment(100.005, 90.004), 10.01);
  EXPECT_EQ(ReceivableDocument("000123", ""), "000123");
  EXPECT_EQ(ReceivableDocument("000123", "1"), "000123/1");
  EXPECT_EQ(ReceivableSequence("01", "2"), "01.2");
}

TEST(CamposValidos, KeepsOnlyDigitsAndFoldedCapitals) {
  EXPECT_EQ(CamposValidos("São João-123 ñ"), "SAOJOAO123");
  EXPECT_EQ(CamposValidos("açúcar & Cia. Ltda"), "ACUCARCIALTDA");
  EXPECT_EQ(CamposValidos("12.345.678/0001-95"), "12345678000195");
  EXPECT_EQ(CamposValidos("12.ABC.345/01DE-35"), "12ABC34501DE35");  // alphanumeric CNPJ
  EXPECT_EQ(CamposValidos("ÀÉÎÕÜ àéîõü"), "AEIOUAEIOU");
  EXPECT_EQ(CamposValidos(""), "");
}
