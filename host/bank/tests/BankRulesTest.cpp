// What each bank's rules promise beyond single known answers: every layout round-trips from
// an account's data to a typed line and back over random accounts and sequences up to the
// width the bank carries, one digit more is refused, carteiras of another layout are refused
// rather than coded in this one, and the bank-specific answers the rest of the module asks
// of host/bank (code substitutions, the code's digit, identified deposits).

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"

namespace {

using host::DateTime;

std::string digits(std::mt19937& rng, size_t n) {
  std::uniform_int_distribution<int> d(0, 9);
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + d(rng)));
  return s;
}

/// A sequence of exactly `n` significant digits.
std::string sequenceOf(std::mt19937& rng, size_t n) {
  std::string s = digits(rng, n);
  if (s[0] == '0') s[0] = '7';
  return s;
}

/// One layout of one bank, with the account data that select it.
struct Layout {
  std::string name, bank, templ, carteira, bankConv, operation, collectionType = "01";
  std::function<std::string(std::mt19937&)> agency, account, agreement;
  size_t width;  ///< sequence digits the layout carries
};

std::vector<Layout> layouts() {
  auto fixed = [](std::string v) { return [v](std::mt19937&) { return v; }; };
  auto n = [](size_t k) { return [k](std::mt19937& r) { return digits(r, k); }; };
  return {
      {"BB agreement 4", "001", "[SEQ:10]", "17", "", "", "01", n(4), n(8), n(4), 7},
      {"BB agreement 4, carteira 18", "001", "[SEQ:10]", "18", "", "", "01", n(4), n(8), n(4), 7},
      {"BB agreement 6", "001", "[SEQ:10]", "18", "", "", "01", n(4), n(8), n(6), 5},
      {"BB free number", "001", "[SEQ:17]", "16", "", "", "01", n(4), n(8), n(6), 17},
      {"BB agreement 7", "001", "[SEQ:10]", "17", "", "", "01", n(4), n(8), n(7), 10},
      {"Banestes", "021", "[SEQ:8]", "11", "", "", "03", n(4), n(11), fixed(""), 8},
      {"Santander", "033", "[SEQ:12]", "101", "", "", "01", n(4), n(7), n(7), 12},
      {"Banrisul", "041", "[SEQ:8]", "1", "", "", "01", n(4), n(7), n(7), 8},
      {"Caixa SICOB", "104", "[SEQ:10]", "SR", "", "870", "01", n(4), n(8), fixed(""), 10},
      {"Nossa Caixa", "151", "[SEQ:8]", "5", "", "", "01", n(4), n(13), fixed(""), 8},
      {"Bradesco", "237", "[SEQ:11]", "09", "", "", "01", n(4), n(7), fixed(""), 11},
      {"Alfa through Bradesco", "025", "[SEQ:11]", "06", "", "", "01", n(4), n(7), fixed(""), 11},
      {"Itaú 109", "341", "[SEQ:8]", "109", "", "", "01", n(4), n(6), fixed(""), 8},
      {"Itaú 126", "341", "[SEQ:8]", "126", "", "", "01", n(4), n(6), fixed(""), 8},
      {"Guanabara through Itaú", "612", "[SEQ:8]", "175", "", "", "01", n(4), n(6), fixed(""), 8},
      {"Real", "356", "[SEQ:13]", "06", "", "", "01", n(4), n(7), fixed(""), 13},
      {"Mercantil", "389", "[SEQ:10]", "1", "", "", "01", n(4), n(7), n(9), 10},
      {"HSBC registered", "399", "[SEQ:10]", "CSB", "", "", "01", n(4), n(7), fixed(""), 10},
      {"Unibanco registered", "409", "[SEQ:10]", "4", "", "", "01", n(5), n(7), fixed(""), 10},
      {"Safra", "422", "[SEQ:8]", "1", "", "", "01", n(5), n(9), fixed(""), 8},
      // The read-back tells the two Safra layouts apart by the leading "7" of Safra's own.
      {"Safra through Bradesco", "422", "[SEQ:8]", "09", "237", "", "01",
       [](std::mt19937& r) { return "1" + digits(r, 3); }, n(7), fixed(""), 8},
      {"Daycoval", "707", "[SEQ:10]", "121", "", "1943463", "01", n(4), n(4), fixed(""), 10},
      {"Sicredi", "748", "[SEQ:8]", "1", "", "", "01", n(4), n(5), n(7), 8},
      {"Sicoob", "756", "[SEQ:7]", "1", "", "01", "01", n(4), n(6), n(7), 7},
  };
}

TEST(BankRules, EveryLayoutRoundTripsRandomAccountsUpToItsWidthAndRefusesOneDigitMore) {
  std::mt19937 rng(20261208u);
  const DateTime processing = DateTime::fromYmd(2026, 12, 8);
  std::uniform_int_distribution<int> days(-3000, 5500);
  std::uniform_int_distribution<int64_t> cents(0, 9999999999);
  for (const Layout& l : layouts()) {
    for (int round = 0; round < 60; ++round) {
      const std::string agency = l.agency(rng), account = l.account(rng);
      const std::string agreement = l.agreement(rng);
      const std::string code = bank::CodigoEmissao(l.bank, l.bankConv);
      const bank::NumberingAccount a{code, agency, account, agreement, l.bankConv, l.templ};
      const size_t significant = 1 + static_cast<size_t>(round) % l.width;
      const std::string seq = bank::PadRight(
          sequenceOf(rng, significant), static_cast<size_t>(bank::Retorna_Size_NossNum(l.templ)));
      SCOPED_TRACE(l.name + " agency " + agency + " account " + account + " agreement " +
                   agreement + " sequence " + seq);
      const std::string printed = bank::NossoNumeroImpresso(a, l.carteira, seq, "1");
      ASSERT_FALSE(printed.empty());
      const std::string n =
          bank::Read_MneMonicos(l.templ, code, agency, l.carteira, seq, account, agreement);
      const DateTime due = processing.addDays(days(rng));
      const double value = static_cast<double>(cents(rng)) / 100.0;
      const std::string line =
          bank::LinhaDigitavel(code, agency, l.carteira, n, account, due, value, "", agreement,
                               l.collectionType, "001", l.bankConv, l.operation);
      ASSERT_EQ(line.size(), 47u);
      const bank::Verificacao v = bank::VerificaCodigo(bank::FormataLinha(line), processing);
      ASSERT_TRUE(v.valid) << v.reason;
      EXPECT_EQ(v.bank, code.substr(0, 3) == "422" && l.bankConv == "237" ? "422" : code);
      ASSERT_TRUE(v.dueDate.has_value());
      EXPECT_EQ(*v.dueDate, due);
      EXPECT_EQ(v.cents, static_cast<int64_t>(std::llround(value * 100)));
      EXPECT_EQ(v.freeField, bank::CodigoBarras(line, 0).substr(19));
      // The free field carries the sequence: read back, it ends with its digits.
      const std::string back = bank::NossoNumeroCdBarra(v.barcode, "", "");
      const std::string sig = seq.substr(seq.find_first_not_of('0'));
      EXPECT_EQ(back.substr(back.size() - std::min(back.size(), sig.size())), sig);
    }
    SCOPED_TRACE(l.name);
    const std::string agency = l.agency(rng), account = l.account(rng);
    const std::string agreement = l.agreement(rng);
    const std::string wider = sequenceOf(rng, l.width + 1);
    const std::string templ = l.width == 17 ? "[SEQ:18]" : l.templ;
    EXPECT_THROW(bank::NossoNumeroImpresso({bank::CodigoEmissao(l.bank, l.bankConv), agency,
                                            account, agreement, l.bankConv, templ},
                                           l.carteira, wider, "1"),
                 bank::SequenceTooWide);
  }
}

TEST(BankRules, CaixaSeventeenDigitNumbersKeepFifteenDigitsOfTheCounter) {
  const bank::BankLayout* caixa = bank::findBank("104");
  ASSERT_NE(caixa, nullptr);
  EXPECT_EQ(caixa->sequenceFromCounter("00000000000000042", 17, "2"), "24000000000000042");
  EXPECT_EQ(caixa->sequenceFromCounter("42", 10, "2"), "42");
  // Sixteen significant digits would lose the first two to the form and the issuer.
  EXPECT_THROW(caixa->sequenceFromCounter("01000000000000000", 17, "1"), bank::SequenceTooWide);
  const bank::CheckCountInput in{"245274", "1", 17, ""};
  EXPECT_EQ(caixa->sequenceOf("14000000000000001-4", in), "14000000000000001");
}

TEST(BankRules, BancoDoBrasilCutsItsAgreementOutOfAStoredNumber) {
  const bank::BankLayout* bb = bank::findBank("001");
  const bank::NumberingAccount four{"001", "4042", "61900", "1238", "", "[SEQ:10]"};
  const std::string printed = bank::NossoNumeroImpresso(four, "17", "0000123456", "1");
  EXPECT_EQ(printed.substr(0, 12), "12380123456-");
  EXPECT_EQ(bb->sequenceOf(printed, {"1238", "17", 10, ""}), "0123456");
  // With a 7-digit agreement the bank prints the agreement before the complement, also on
  // carteira 18 and also when the template leaves it out.
  const bank::NumberingAccount seven{"001", "4042", "61900", "1238798", "", "[SEQ:10]"};
  EXPECT_EQ(bank::NossoNumeroImpresso(seven, "18", "7777700168", "1"), "12387987777700168");
  EXPECT_EQ(bb->sequenceOf("12387987777700168", {"1238798", "18", 10, ""}), "7777700168");
  // Sequences that do not fit are refused, never folded: 12345678, 2345678 and 92345678 would
  // all give one barcode of a 4-digit agreement.
  EXPECT_THROW(bank::NossoNumeroImpresso(four, "17", "0012345678", "1"), bank::SequenceTooWide);
  const bank::NumberingAccount six{"001", "4042", "61900", "123879", "", "[SEQ:10]"};
  EXPECT_NO_THROW(bank::NossoNumeroImpresso(six, "18", "0000099999", "1"));
  EXPECT_THROW(bank::NossoNumeroImpresso(six, "18", "0000100000", "1"), bank::SequenceTooWide);
}

TEST(BankRules, ItauDigitOfASevenCharacterAccountIsTheBarcodesDigit) {
  // Account 012345-6 written with seven characters: the digit covers 12345, as the barcode's.
  const bank::NumberingAccount itau{"341", "0057", "0123456", "", "", "[SEQ:8]"};
  EXPECT_EQ(bank::NossoNumeroImpresso(itau, "109", "1", "1"), "00000001-6");
  const std::string line =
      bank::LinhaDigitavel("341", "0057", "109", "00000001", "0123456",
                           DateTime::fromYmd(2026, 12, 20), 10.0, "", "", "01", "001", "", "");
  EXPECT_EQ(bank::CodigoBarras(line, 0).substr(19, 12), "109000000016");
}

TEST(BankRules, CarteirasOfAnotherLayoutAreRefusedNeverCodedInThisOne) {
  const DateTime due = DateTime::fromYmd(2026, 12, 20);
  auto line = [&](const char* bankCode, const char* agency, const char* carteira,
                  const char* account, const char* agreement) {
    return bank::LinhaDigitavel(bankCode, agency, carteira, "0000000001", account, due, 10.0, "",
                                agreement, "01", "001", "", "");
  };
  EXPECT_THROW(line("399", "0207", "CNR", "0012349", ""), bank::LayoutRefusal);
  EXPECT_THROW(line("399", "0207", "cnr ", "0012349", ""), bank::LayoutRefusal);
  EXPECT_EQ(line("399", "0207", "CSB", "0012349", "").size(), 47u);
  EXPECT_THROW(line("409", "01236", "5", "", ""), bank::LayoutRefusal);
  EXPECT_EQ(line("409", "01236", "4", "", "").size(), 47u);
  EXPECT_THROW(line("341", "1234", "198", "123456", ""), bank::LayoutRefusal);
  EXPECT_THROW(line("001", "1234", "17", "12345678", "12345"), bank::LayoutRefusal);
}

TEST(BankRules, AliasesResolveToTheBankTheyIssueThrough) {
  struct Case {
    const char *code, *conv, *emission, *mail;
  };
  for (const Case& c : {Case{"025", "", "237", "025"}, Case{"025", "341", "237", "025"},
                        Case{"612", "", "341", "612"}, Case{"637", "237", "237", "237"},
                        Case{"637", "", "637", "637"}, Case{"637", "104", "104", "637"},
                        Case{"637", "341", "341", "637"}, Case{"237", "341", "237", "237"},
                        Case{"001", "237", "001", "237"}, Case{"", "237", "", "237"},
                        Case{"001", "", "001", "001"}}) {
    EXPECT_EQ(bank::CodigoEmissao(c.code, c.conv), c.emission) << c.code << "/" << c.conv;
    EXPECT_EQ(bank::CodigoEmail(c.code, c.conv), c.mail) << c.code << "/" << c.conv;
  }
}

TEST(BankRules, BankCodeDigitAsBoletosPrintIt) {
  EXPECT_EQ(bank::CodigoComDigito("237"), "237-2");
  EXPECT_EQ(bank::CodigoComDigito("001"), "001-9");
  EXPECT_EQ(bank::CodigoComDigito("341"), "341-7");
  EXPECT_EQ(bank::CodigoComDigito("104"), "104-0");
  EXPECT_EQ(bank::CodigoComDigito("033"), "033-7");
  // Sicredi's result of 10 prints "X"; a bank without a layout still gets the common digit.
  EXPECT_EQ(bank::CodigoComDigito("748"), "748-X");
  EXPECT_EQ(bank::CodigoComDigito("999"), "999-7");
  EXPECT_EQ(bank::CodigoComDigito("23"), "23");
}

TEST(BankRules, DueDatesOutsideTheFactorWindowAreRefused) {
  const DateTime today = DateTime::fromYmd(2026, 12, 8);
  EXPECT_NO_THROW(bank::VerificaJanelaVencimento(today.addDays(5500), today));
  EXPECT_NO_THROW(bank::VerificaJanelaVencimento(today.addDays(-3000), today));
  EXPECT_THROW(bank::VerificaJanelaVencimento(today.addDays(5501), today), host::OperationError);
  EXPECT_THROW(bank::VerificaJanelaVencimento(today.addDays(-3001), today), host::OperationError);
  // Across the 2025 restart: a due date just before it, seen from just after it.
  EXPECT_NO_THROW(bank::VerificaJanelaVencimento(DateTime::fromYmd(2025, 2, 21),
                                                 DateTime::fromYmd(2025, 2, 22)));
  // Every date inside the window reads back as itself.
  for (int d = -3000; d <= 5500; d += 97) {
    const DateTime due = today.addDays(d);
    EXPECT_EQ(*bank::DataDoFator(bank::FatorVencimento(due), today), due) << d;
  }
}

}  // namespace
