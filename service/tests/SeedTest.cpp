#include <gtest/gtest.h>

#include "ServiceFixture.h"

using service::testing::SeededService;

TEST(TaxNumbers, CheckDigitsOfPublishedExamples) {
  EXPECT_EQ(service::withCnpjDigits("112223330001"), "11222333000181");
  EXPECT_EQ(service::withCpfDigits("123456789"), "12345678909");
  EXPECT_EQ(service::withCpfDigits("111444777"), "11144477735");
}

using Seeded = SeededService;

TEST_F(Seeded, DemoCoversCompaniesBanksAndEveryBoletoState) {
  EXPECT_EQ(count("SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA IN ('04', '08')"), 2);
  EXPECT_GE(count("SELECT COUNT(*) FROM EMPRESA"), 3);
  EXPECT_EQ(count("SELECT COUNT(DISTINCT CDBANCO) FROM CONTCORR WHERE CDBANCO IN ('001', '033', "
                  "'041', '104', '237', '341', '399', '422', '748', '756')"),
            10);
  for (const char* status : {"A", "E", "D", "B"})
    EXPECT_GT(
        count(std::string("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSTATBREC = '") + status + "'"),
        0)
        << status;
  EXPECT_GT(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDPROTESTREC = 'S'"), 0);
  EXPECT_GT(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSITUCNABR IS NULL"), 0);
  EXPECT_GT(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSITUCNABR IS NOT NULL"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER B WHERE NOT EXISTS (SELECT 1 FROM CTRECEBER R "
                  "WHERE R.CDFILBOLREC = B.CDFILIAL AND R.NRLANBOLREC = B.NRLANBOLREC)"),
            0);
}

TEST_F(Seeded, CustomerTaxNumbersCarryValidCheckDigits) {
  soci::rowset<soci::row> rows = svc_->db->session().prepare
                                 << "SELECT IDTPIJURCLIE, NRINSJURCLIE FROM CLIENTE";
  int companies = 0, people = 0;
  for (const auto& r : rows) {
    std::string kind = r.get<std::string>(0), doc = r.get<std::string>(1);
    if (kind == "J") {
      ++companies;
      EXPECT_EQ(service::withCnpjDigits(doc.substr(0, 12)), doc);
    } else {
      ++people;
      EXPECT_EQ(service::withCpfDigits(doc.substr(0, 9)), doc);
    }
  }
  EXPECT_GT(companies, 0);
  EXPECT_GT(people, 0);
}

TEST_F(Seeded, SeedingAgainAddsOnlyTheRequestedPendingBoletos) {
  int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  service::SeedOptions o;
  o.extraBoletos = 250;
  o.today = host::DateTime::fromYmd(2026, 3, 2);
  auto r = service::seed(*svc_->db, o);
  EXPECT_FALSE(r.demoLoaded);
  EXPECT_EQ(count("SELECT COUNT(*) FROM EMPRESA"), 3);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before + 250);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA = '04' AND CDREDUCONT = '001' "
                  "AND IDSTATBREC = 'A' AND CDNOSNUMREC IS NULL AND DTVENBOLREC > '2026-03-02' "
                  "AND DTVENBOLREC <= '2026-05-01'"),
            250 + 2);
}
