// A nosso número is the bank's key of a boleto within one agreement: two registers of the
// same bank account (two collection accounts with the same bank, agency, account and payee
// code, whose ranges may overlap) never give one number to two boletos; another agreement of
// the same bank may.

#include <gtest/gtest.h>

#include "ServiceFixture.h"

using remote::Variant;

namespace {

class Agreement : public service::testing::SeededService {
 protected:
  void SetUp() override {
    SeededService::SetUp();
    auto& sql = svc_->db->session();
    // 011 registers account 001's agreement again; 012 is another account of the same bank.
    sql << "CREATE TEMP TABLE COPIA AS SELECT * FROM CONTCORR WHERE CDEMPRESA = '04' AND "
           "CDREDUCONT = '001'";
    sql << "UPDATE COPIA SET CDREDUCONT = '011', DSCONTCORR = 'Mesmo convênio'";
    sql << "INSERT INTO CONTCORR SELECT * FROM COPIA";
    sql << "UPDATE COPIA SET CDREDUCONT = '012', DSCONTCORR = 'Outra conta', CDAGENCIA = '9999', "
           "CDCONTCORR = '0099999', CDCEDENTEBAN = '0099999'";
    sql << "INSERT INTO CONTCORR SELECT * FROM COPIA";
    sql << "DROP TABLE COPIA";
    // soci binds by reference: every bound value is a named local.
    for (const auto& [k, a] : {std::pair{kFirst, "001"}, {kSecond, "011"}, {kThird, "012"}}) {
      const std::string key = k, account = a;
      sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = NULL, CDBARRAREC = NULL, DSLINHABARREC = NULL, "
             "IDSTATBREC = 'A', CDREDUCONT = :c WHERE CDFILIAL || NRLANBOLREC = :k",
          soci::use(account), soci::use(key);
    }
  }

  remote::Reply numera(const std::string& key, const std::string& account,
                       const std::string& sequence, const std::string& number) {
    const std::string barcode(44, sequence.back());
    return call(
        "NumeraBoleto",
        {Variant(key.substr(0, 4)), Variant(key.substr(4)), Variant(account), Variant(sequence),
         Variant("linha " + sequence), Variant(barcode), Variant(number), Variant("2")},
        {true, true, false, false, true, true, true, true});
  }
  std::vector<std::string> holders(const std::string& number, const std::string& account) {
    auto r = call("GetValNosNumero", {Variant(number), Variant(account)}, {true, false});
    EXPECT_TRUE(r.ok()) << r.text;
    std::vector<std::string> out;
    for (const auto& row : r.result.packetJson().at("rows"))
      out.push_back(row[1].get<std::string>());
    return out;
  }

  static constexpr const char* kFirst = "00010000000001";
  static constexpr const char* kSecond = "00010000000002";
  static constexpr const char* kThird = "00020000000003";
};

TEST_F(Agreement, ANumberHeldByAnotherAccountOfTheAgreementIsTakenAndOtherAgreementsMayUseIt) {
  ASSERT_TRUE(numera(kFirst, "001", "900", "00000000900-1").ok());

  // The emission's range check asks before numbering: the other register sees the holder.
  EXPECT_EQ(holders("00000000900-1", "011"), std::vector<std::string>{"001"});
  EXPECT_TRUE(holders("00000000900-1", "012").empty());

  auto taken = numera(kSecond, "011", "900", "00000000900-1");
  EXPECT_EQ(taken.key, "NN_JA_CAD") << taken.text;
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDNOSNUMREC IS NOT NULL AND "
                  "CDFILIAL || NRLANBOLREC = '00010000000002'"),
            0);
  // The refusal moved no counter: the next value numbers the boleto.
  EXPECT_TRUE(numera(kSecond, "011", "901", "00000000901-P").ok());

  EXPECT_TRUE(numera(kThird, "012", "900", "00000000900-1").ok())
      << "another agreement of the bank keeps numbers of its own";
  EXPECT_EQ(holders("00000000900-1", "001"), std::vector<std::string>{"001"});
}

// The numbering's reads are statements prepared once and run again for every boleto: each
// answer is the asked boleto's own, never a value left from the call before.
TEST_F(Agreement, EachCallOfAPreparedReadAnswersForItsOwnBoleto) {
  ASSERT_TRUE(numera(kFirst, "001", "900", "00000000900-1").ok());
  auto& sql = svc_->db->session();
  sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = '00000000950-8', IDMODELONUM = NULL WHERE "
         "CDFILIAL || NRLANBOLREC = '00010000000002'";
  const auto codes = [&](const std::string& key) {
    auto r =
        call("GetValidaNosNum", {Variant(key.substr(0, 4)), Variant(key.substr(4))}, {true, true});
    EXPECT_TRUE(r.ok()) << r.text;
    return r.result.packetJson().at("rows");
  };
  const auto first = codes(kFirst);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0][2], "00000000900-1");
  EXPECT_EQ(first[0][3], std::string(44, '0'));
  EXPECT_EQ(first[0][5], "2");
  const auto second = codes(kSecond);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0][2], "00000000950-8");
  EXPECT_TRUE(second[0][3].is_null()) << "a number without barcode has none";
  EXPECT_TRUE(second[0][5].is_null());
  EXPECT_TRUE(codes(kThird).empty()) << "a boleto without number";

  // A number given up on extension by a boleto of 001 stays taken for its agreement only.
  sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = NULL WHERE CDFILIAL || NRLANBOLREC = "
         "'00010000000002'";
  sql << "INSERT INTO PRORROGACAO (CDFILIAL, NRLANBOLREC, NRSEQVENREC, DTATUAVENREC, "
         "CDREDUCONTANT, CDNOSNUMANT) VALUES ('0001', '0000000001', 1, '2026-03-02', '001', "
         "'00000000960-4')";
  EXPECT_EQ(numera(kSecond, "011", "960", "00000000960-4").key, "NN_JA_CAD");
  EXPECT_TRUE(numera(kThird, "012", "960", "00000000960-4").ok());
}

}  // namespace
