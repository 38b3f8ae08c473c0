#include <gtest/gtest.h>

#include <filesystem>

#include "host/Consiste.h"

using namespace host;

TEST(RoundDec, RoundsHalvesAwayFromZeroOnTheDecimalValue) {
  EXPECT_EQ(RoundDec(2, 1.005), 1.01);
  EXPECT_EQ(RoundDec(2, 2.675), 2.68);
  EXPECT_EQ(RoundDec(3, 0.0335), 0.034);
  EXPECT_EQ(RoundDec(2, -1.005), -1.01);
  EXPECT_EQ(RoundDec(2, 0.125), 0.13);
  EXPECT_EQ(RoundDec(2, 0.124999), 0.12);
  EXPECT_EQ(RoundDec(2, 9.995), 10.0);
  EXPECT_EQ(RoundDec(0, 2.5), 3.0);
  EXPECT_EQ(RoundDec(2, 1234567.891), 1234567.89);
  EXPECT_EQ(RoundDec(2, 3.0), 3.0);
  // A sum whose binary artefact lies just below the half still rounds as written.
  EXPECT_EQ(RoundDec(2, 0.1 + 0.2 + 0.005), 0.31);
}

TEST(Ajusta, PadsWithZerosAndLeavesLongerTextAlone) {
  EXPECT_EQ(Ajusta("1", 3), "001");
  EXPECT_EQ(Ajusta("4", 2), "04");
  EXPECT_EQ(Ajusta("", 4), "0000");
  EXPECT_EQ(Ajusta("12345", 3), "12345");
  EXPECT_EQ(Ajusta("123", 3), "123");
}

TEST(TextUtilities, CountCharactersNotBytes) {
  EXPECT_EQ(LeftStr("São Paulo", 3), "São");
  EXPECT_EQ(Right("Conceição", 4), "ição");
  EXPECT_EQ(Right("ab", 5), "ab");
  EXPECT_EQ(Utf8Length("ção"), 3u);
  EXPECT_EQ(AllTrim("  x y \t\r\n"), "x y");
  EXPECT_TRUE(EmptyString("   "));
  EXPECT_TRUE(EmptyString(""));
  EXPECT_FALSE(EmptyString(" a "));
  EXPECT_EQ(UpperCase("são joão ñ"), "SÃO JOÃO Ñ");
  EXPECT_EQ(CompareText("ÇÃO", "ção"), 0);
  EXPECT_NE(CompareText("a", "b"), 0);
}

TEST(Numbers, ReadAndShowBrazilianForms) {
  EXPECT_EQ(FormatBr(1234.5), "1.234,50");
  EXPECT_EQ(FormatBr(0.0), "0,00");
  EXPECT_EQ(FormatBr(-1234567.891), "-1.234.567,89");
  EXPECT_EQ(FormatBr(-0.001), "0,00");
  EXPECT_EQ(FormatFloat("#,##0.000", 12.3456), "12,346");
  EXPECT_EQ(FormatFloat("#,##0.00", 1.005), "1,01");
  EXPECT_EQ(StrToFloatDef("1.234,56", -1), 1234.56);
  EXPECT_EQ(StrToFloatDef("x", -1), -1);
  EXPECT_EQ(StrToIntDef(" 42 ", 0), 42);
  EXPECT_EQ(StrToIntDef("4x", -1), -1);
}

TEST(MaxNumber, LimitsIntegerAndDecimalDigits) {
  // 10 integer digits and 2 decimals, as the value fields of the filter take.
  EXPECT_EQ(MaxNumber("123", '4', 3, 0, 10, 2), '4');
  EXPECT_EQ(MaxNumber("1234567890", '1', 10, 0, 10, 2), '\0');
  EXPECT_EQ(MaxNumber("1234567890", '1', 0, 10, 10, 2), '1');  // replaces the selection
  EXPECT_EQ(MaxNumber("12,34", '5', 5, 0, 10, 2), '\0');
  EXPECT_EQ(MaxNumber("12,3", '4', 4, 0, 10, 2), '4');
  EXPECT_EQ(MaxNumber("12", '.', 2, 0, 10, 2), ',');
  EXPECT_EQ(MaxNumber("12,3", ',', 4, 0, 10, 2), '\0');
  EXPECT_EQ(MaxNumber("12", ',', 2, 0, 10, 0), '\0');
  EXPECT_EQ(MaxNumber("12", '-', 2, 0, 10, 2), '\0');
  EXPECT_EQ(MaxNumber("12", 'a', 2, 0, 10, 2), '\0');
  EXPECT_EQ(MaxNumber("12", '\b', 2, 0, 10, 2), '\b');
  // A digit typed before the comma counts as an integer digit.
  EXPECT_EQ(MaxNumber("999,00", '1', 0, 0, 3, 2), '\0');
}

TEST(NomeSemana, NamesTheWeekdayInPortuguese) {
  EXPECT_EQ(NomeSemana(DateTime::fromYmd(2026, 12, 7)), "Segunda-feira");
  EXPECT_EQ(NomeSemana(DateTime::fromYmd(2026, 12, 12)), "Sábado");
  EXPECT_EQ(NomeSemana(DateTime::fromYmd(2026, 12, 13)), "Domingo");
}

TEST(DirWinTemp, IsAnExistingDirectoryWithATrailingSeparator) {
  const std::string dir = DirWinTemp();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}
