// Check digits at the remainders where banks differ, the template language, the due-date
// factor across its 2025 restart, the value field and the check of typed lines.

#include <gtest/gtest.h>

#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/CheckDigits.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"

namespace {

using host::DateTime;

TEST(CheckDigits, RemaindersZeroOneAndTenFollowEachBank) {
  // "6": weighted sum 12 (remainder 1); "5": 10 (remainder 10); "0": remainder 0.
  EXPECT_EQ(bank::Mod11_B7("6"), "P");
  EXPECT_EQ(bank::Mod11_B7("0"), "0");
  EXPECT_EQ(bank::Mod11_B7("1900000000001"), "P");
  EXPECT_EQ(bank::Mod11_B7("1900000000002"), "8");

  EXPECT_EQ(bank::Mod11_B9_2("6", "001"), "X");
  EXPECT_EQ(bank::Mod11_B9_2("6", "422"), "0");
  EXPECT_EQ(bank::Mod11_B9_2("5", "001"), "1");
  EXPECT_EQ(bank::Mod11_B9_2("0", "001"), "0");

  EXPECT_EQ(bank::Mod11_Santander("5"), "1");
  EXPECT_EQ(bank::Mod11_Santander("6"), "0");
  EXPECT_EQ(bank::Mod11_Santander("0"), "0");

  EXPECT_EQ(bank::Mod11_DV("6", ""), "1");
  EXPECT_EQ(bank::Mod11_DV("0", ""), "1");
  EXPECT_EQ(bank::Mod11_DV("6", "104"), "0");
  EXPECT_EQ(bank::Mod11_DV("0", "104"), "0");
  EXPECT_EQ(bank::Mod11_DV("5", "104"), "1");

  EXPECT_EQ(bank::Mod11_B9("0", "422"), "1");
  EXPECT_EQ(bank::Mod11_B9("6", "422"), "0");
  EXPECT_EQ(bank::Mod11_B9("0", "748"), "0");
  EXPECT_EQ(bank::Mod11_B9("6", "748"), "0");
  EXPECT_EQ(bank::Mod11_B9("5", "748"), "1");
}

TEST(CheckDigits, NonDigitsAreRefusedExceptByLuhn) {
  EXPECT_THROW(bank::Mod10("12a4"), std::invalid_argument);
  EXPECT_THROW(bank::Mod11_B7(""), std::invalid_argument);
  EXPECT_THROW(bank::Mod11_SICOOB("1-2"), std::invalid_argument);
  EXPECT_EQ(bank::Luhn("7992739871"), "3");
  EXPECT_EQ(bank::Luhn("A"), bank::Luhn("0"));
}

TEST(CheckDigits, DoubleDigitNeverLeavesRemainderOne) {
  static constexpr int w[] = {2, 3, 4, 5, 6, 7};
  for (int i = 0; i < 3000; ++i) {
    std::string body = std::to_string(10000000 + i * 7919);
    std::string nc = bank::DuploDigito(body);
    ASSERT_EQ(nc.size(), 2u);
    int r = bank::WeightedSum(body + nc.substr(0, 1), w) % 11;
    ASSERT_NE(r, 1) << body;
    ASSERT_EQ(nc[1] - '0', r == 0 ? 0 : 11 - r) << body;
  }
}

TEST(Template, WidthAndExpansion) {
  EXPECT_EQ(bank::Retorna_Size_NossNum("[SEQ:8]"), 8);
  EXPECT_EQ(bank::Retorna_Size_NossNum("[AG:4][CC:6]/[SEQ:9]-"), 9);
  for (const char* bad : {"", "12345", "[SEQ]", "[SEQ:0]", "[SEQ:21]", "[SEQ:8][SEQ:2]",
                          "[XX][SEQ:3]", "[SEQ:8", "SEQ:8]", "[AG:x][SEQ:3]"}) {
    EXPECT_EQ(bank::Retorna_Size_NossNum(bad), 0) << bad;
    EXPECT_EQ(bank::Read_MneMonicos(bad, "237", "1", "2", "3", "4", "5"), "") << bad;
  }
  EXPECT_EQ(bank::Read_MneMonicos("[BCO]/[CART:2]/[AG][CC:4]/[CONV]-[SEQ:5]", "237", "12-3", "9",
                                  "123456789", "98765-4", "77"),
            "237/09/1237654/77-56789");
}

TEST(DueFactor, RestartsIn2025AndRepeatsEvery9000Days) {
  EXPECT_EQ(bank::FatorVencimento(DateTime::fromYmd(2000, 7, 3)), 1000);
  EXPECT_EQ(bank::FatorVencimento(DateTime::fromYmd(2025, 2, 21)), 9999);
  EXPECT_EQ(bank::FatorVencimento(DateTime::fromYmd(2025, 2, 22)), 1000);
  EXPECT_EQ(bank::FatorVencimento(DateTime::fromYmd(2025, 2, 22).addDays(9000)), 1000);
  EXPECT_THROW(bank::FatorVencimento(DateTime::fromYmd(2000, 7, 2)), host::OperationError);

  const DateTime today = DateTime::fromYmd(2026, 3, 2);
  int f = bank::FatorVencimento(today);
  EXPECT_GE(f, 1000);
  EXPECT_LE(f, 9999);
  EXPECT_EQ(bank::DataDoFator(f, today), today);
}

TEST(DueFactor, DecodingTakesTheDateInsideTheWindow) {
  DateTime processing = DateTime::fromYmd(2025, 3, 1);
  EXPECT_EQ(bank::DataDoFator(1000, processing), DateTime::fromYmd(2025, 2, 22));
  EXPECT_EQ(bank::DataDoFator(9999, processing), DateTime::fromYmd(2025, 2, 21));
  EXPECT_EQ(bank::DataDoFator(1000, DateTime::fromYmd(2001, 1, 1)), DateTime::fromYmd(2000, 7, 3));
  // 5,500 days ahead is the last date the window reaches.
  DateTime ahead = processing.addDays(5500);
  EXPECT_EQ(bank::DataDoFator(bank::FatorVencimento(ahead), processing), ahead);
  DateTime behind = processing.addDays(-3000);
  EXPECT_EQ(bank::DataDoFator(bank::FatorVencimento(behind), processing), behind);
  EXPECT_FALSE(bank::DataDoFator(0, processing).has_value());
}

TEST(ValueField, TenDigitsOfRoundedCentsOrARefusal) {
  EXPECT_EQ(bank::CampoValor(289.9), "0000028990");
  EXPECT_EQ(bank::CampoValor(1.005), "0000000101");
  EXPECT_EQ(bank::CampoValor(99999999.99), "9999999999");
  EXPECT_THROW(bank::CampoValor(100000000.00), host::OperationError);
  EXPECT_THROW(bank::CampoValor(-0.01), host::OperationError);
}

TEST(TypedLine, CheckNamesTheWrongDigit) {
  const std::string good = "23791.10006 60000.000079 89010.200304 4 68270000028990";
  DateTime p = DateTime::fromYmd(2016, 6, 1);
  EXPECT_TRUE(bank::VerificaCodigo(good, p).valid);
  std::string f1 = good;
  f1[10] = '5';
  EXPECT_NE(bank::VerificaCodigo(f1, p).reason.find("campo 1"), std::string::npos);
  std::string f3 = good;
  f3[36] = '5';
  EXPECT_NE(bank::VerificaCodigo(f3, p).reason.find("campo 3"), std::string::npos);
  std::string general = good;
  general[38] = '5';
  EXPECT_NE(bank::VerificaCodigo(general, p).reason.find("geral"), std::string::npos);
  EXPECT_FALSE(bank::VerificaCodigo("2379x", p).valid);
  EXPECT_FALSE(bank::VerificaCodigo("1234", p).valid);

  auto barcode = bank::VerificaCodigo("23794682700000289901100060000000078901020030", p);
  EXPECT_TRUE(barcode.valid);
  EXPECT_EQ(bank::FormataLinha(barcode.typedLine), good);
  EXPECT_EQ(bank::FormataLinha(barcode.typedLine).size(), 54u);
  EXPECT_EQ(bank::FormataLinha(""), "");
}

TEST(TypedLine, FactorZeroMeansNoDueDate) {
  std::string b = "2379000000000289901100060000000078901020030";
  b.insert(4, "0");
  b[4] = bank::DigitoGeral(b);
  auto v = bank::VerificaCodigo(b, DateTime::fromYmd(2026, 1, 1));
  EXPECT_TRUE(v.valid) << v.reason;
  EXPECT_FALSE(v.dueDate.has_value());
}

TEST(TypedLine, NoLayoutOrUnfitDataGiveNoLine) {
  DateTime due = DateTime::fromYmd(2026, 1, 10);
  EXPECT_EQ(bank::LinhaDigitavel("999", "1234", "09", "1", "1234567", due, 1, "", "", "01", "001",
                                 "", ""),
            "");
  // An agency written with its check digit does not fit Bradesco's four digits.
  EXPECT_EQ(bank::LinhaDigitavel("237", "1234-5", "09", "1", "1234567", due, 1, "", "", "01", "001",
                                 "", ""),
            "");
}

}  // namespace
