// Instalments, cancellation and the write-off by loss on the service: every call whole or not
// at all, money to the centavo, and the codes a bank may hold never lost.

#include <gtest/gtest.h>

#include <cmath>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Tables.h"

using remote::Variant;

namespace {

class Parcelas : public service::testing::SeededService {
 protected:
  std::string text(const std::string& query) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << query, soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  int64_t centavos(const std::string& query) {
    double v = 0;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << query, soci::into(v, ind);
    return std::llround(v * 100.0);
  }
  /// The open boletos of company 04 nobody cleared, by key.
  std::vector<std::pair<std::string, std::string>> openBoletos() {
    std::vector<std::pair<std::string, std::string>> keys;
    soci::rowset<soci::row> rows =
        (svc_->db->session().prepare
         << "SELECT CDFILIAL, NRLANBOLREC FROM BOLRECEBER B WHERE CDEMPRESA = '04' AND "
            "IDSTATBREC IN ('A', 'E') AND NRBAIXAREC IS NULL AND NOT EXISTS (SELECT 1 FROM "
            "COMPENSACAO C WHERE C.CDFILIAL = B.CDFILIAL AND C.NRLANBOLREC = B.NRLANBOLREC) "
            "ORDER BY CDFILIAL, NRLANBOLREC");
    for (const auto& r : rows) keys.emplace_back(r.get<std::string>(0), r.get<std::string>(1));
    return keys;
  }
  static Variant keysPacket(const std::vector<std::pair<std::string, std::string>>& keys) {
    host::ClientDataset ds("cdsMarca");
    ds.setFieldDefs(records::cdsChaveBol().fields());
    ds.createDataset();
    for (const auto& [b, n] : keys) {
      ds.append();
      ds.fieldByName("CDFILIAL").setString(b);
      ds.fieldByName("NRLANBOLREC").setString(n);
      ds.post();
    }
    return Variant::packet(ds.toPacket());
  }
  remote::Reply writeOff(const Variant& packet, const std::string& account = "001",
                         const std::string& type = "02",
                         const Variant& date = Variant(host::DateTime::fromYmd(2026, 3, 2)),
                         const std::string& period = "202603") {
    return call("SetConfirmaBaixa",
                {packet, Variant(""), Variant(""), Variant(""), Variant("0001"), Variant("04"),
                 Variant(account), Variant(type), date, Variant("0001"), Variant("0000000001"),
                 Variant("demo"), Variant(period), Variant(""), Variant("")},
                {false, true, true, true, false, true});
  }
};

}  // namespace

TEST_F(Parcelas, AWriteOffByLossThatFailsHalfWayLeavesEveryBoletoAsItWas) {
  service::SeedOptions more;
  more.demo = false;
  more.extraBoletos = 3000;
  more.today = host::DateTime::fromYmd(2026, 3, 2);
  service::seed(*svc_->db, more);
  const auto keys = openBoletos();
  ASSERT_GT(keys.size(), 3000u);
  const int writtenOff = count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSTATBREC = 'B'");
  const int numbered = count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRBAIXAREC IS NOT NULL");
  const int64_t total = centavos(
      "SELECT SUM(VRFINALBREC) FROM BOLRECEBER B WHERE CDEMPRESA = '04' AND IDSTATBREC IN "
      "('A', 'E') AND NRBAIXAREC IS NULL AND NOT EXISTS (SELECT 1 FROM COMPENSACAO C WHERE "
      "C.CDFILIAL = B.CDFILIAL AND C.NRLANBOLREC = B.NRLANBOLREC)");

  // A boleto in the middle already carries a loss line: its insert breaks the key after the
  // boletos before it were written.
  const auto& middle = keys[keys.size() / 2];
  svc_->db->session() << "INSERT INTO BAIXAPERDA (NRBAIXAREC, CDEMPRESA, CDREDUCONT, "
                         "CDTPBAIXAREC, DTBAIXA, NRPERIODO, VRBAIXA, QTBOLETOS, DTREGISTRO) "
                         "VALUES ('X', '04', '001', '02', '2026-01-01', '202601', 0, 0, 'x')";
  svc_->db->session() << "INSERT INTO BAIXAPERDABOL (CDFILIAL, NRLANBOLREC, NRBAIXAREC, "
                         "VRBAIXA) VALUES (:f, :n, 'X', 0)",
      soci::use(middle.first), soci::use(middle.second);
  const auto failed = writeOff(keysPacket(keys));
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSTATBREC = 'B'"), writtenOff);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRBAIXAREC IS NOT NULL"), numbered);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BAIXAPERDA"), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BAIXAPERDABOL"), 1);

  svc_->db->session() << "DELETE FROM BAIXAPERDABOL";
  svc_->db->session() << "DELETE FROM BAIXAPERDA";
  const auto done = writeOff(keysPacket(keys));
  ASSERT_TRUE(done.ok()) << done.text;
  const std::string number = done.result.asString();
  EXPECT_EQ(number.size(), 10u);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSTATBREC = 'B'"),
            writtenOff + static_cast<int>(keys.size()));
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRBAIXAREC = '" + number +
                  "' AND CDTPBAIXAREC = '02'"),
            static_cast<int>(keys.size()));
  EXPECT_EQ(centavos("SELECT VRBAIXA FROM BAIXAPERDA"), total) << "the total to the centavo";
  EXPECT_EQ(text("SELECT NRPERIODO FROM BAIXAPERDA"), "202603");
  EXPECT_EQ(count("SELECT COUNT(*) FROM CTRECEBER R JOIN BOLRECEBER B ON B.CDFILIAL = "
                  "R.CDFILBOLREC AND B.NRLANBOLREC = R.NRLANBOLREC WHERE B.NRBAIXAREC = '" +
                  number +
                  "' AND (R.IDSTATCTREC <> 'B' OR R.VRSALDOREC <> 0 OR R.DTBAIXAREC <> "
                  "'2026-03-02')"),
            0);
  // A boleto is written off once.
  EXPECT_EQ(writeOff(keysPacket({keys.front()})).key, "2BOL_BAIXADO");
}

TEST_F(Parcelas, AWriteOffIsRefusedWholeOnABadArgumentAndAnEmptyMarkingWritesNothing) {
  const auto keys = openBoletos();
  ASSERT_FALSE(keys.empty());
  const auto packet = keysPacket({keys.front()});
  const int numbered = count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRBAIXAREC IS NOT NULL");
  EXPECT_EQ(writeOff(packet, "999").key, "CCC_N_CAD");
  EXPECT_EQ(writeOff(packet, "001", "77").key, "TPBX_N_CAD");
  EXPECT_EQ(writeOff(packet, "001", "02", Variant()).key, "DATA_INF");
  EXPECT_EQ(
      writeOff(packet, "001", "02", Variant(host::DateTime::fromYmd(2026, 3, 2)), "202602").key,
      "ARG_INVALIDO");
  EXPECT_EQ(writeOff(keysPacket({keys.front(), keys.front()})).key, "CNT_DUP");
  EXPECT_EQ(writeOff(keysPacket({{"0001", "9999999999"}})).key, "BOL_NC");
  // A boleto of another company is not this company's to write off.
  EXPECT_EQ(writeOff(keysPacket({{"0003", "0000000001"}})).key, "BOL_NC");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRBAIXAREC IS NOT NULL"), numbered);
  const auto empty = writeOff(keysPacket({}));
  ASSERT_TRUE(empty.ok()) << empty.text;
  EXPECT_EQ(count("SELECT COUNT(*) FROM BAIXAPERDA"), 0);
}

TEST_F(Parcelas, CancellingAnEmissionKeepsTheNumberTheBankMayHold) {
  const std::string where =
      " FROM BOLRECEBER WHERE IDSTATBREC = 'E' AND CDNOSNUMREC IS NOT NULL "
      "AND CDEMPRESA = '04' AND NRBAIXAREC IS NULL ORDER BY NRLANBOLREC";
  const std::string branch = text("SELECT CDFILIAL" + where);
  const std::string number = text("SELECT NRLANBOLREC" + where);
  ASSERT_NE(number, "<null>");
  const std::string key =
      " FROM BOLRECEBER WHERE CDFILIAL = '" + branch + "' AND NRLANBOLREC = '" + number + "'";
  const std::string nn = text("SELECT CDNOSNUMREC" + key);
  const std::string barcode = text("SELECT CDBARRAREC" + key);
  const std::string line = text("SELECT DSLINHABARREC" + key);
  const auto r =
      call("CancelaEmissao", {Variant(branch), Variant(number), Variant(""), Variant("")},
           {false, false, true, true});
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(text("SELECT IDSTATBREC" + key), "A");
  EXPECT_EQ(text("SELECT IDBOLEMITIDO" + key), "<null>");
  EXPECT_EQ(text("SELECT CDNOSNUMREC" + key), nn);
  EXPECT_EQ(text("SELECT CDBARRAREC" + key), barcode);
  EXPECT_EQ(text("SELECT DSLINHABARREC" + key), line);
  // Not emitted any more: nothing to cancel.
  EXPECT_EQ(call("CancelaEmissao", {Variant(branch), Variant(number), Variant(""), Variant("")},
                 {false, false, true, true})
                .key,
            "BOL_NEMIT");
}

TEST_F(Parcelas, SeparatingABoletoGivesOneBoletoPerReceivableWorthTogetherWhatItWas) {
  // Boleto 0001/0000000003 gathers two receivables and carries a discount of 10.00.
  const std::string key =
      " FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
      "'0000000003'";
  svc_->db->session() << "UPDATE BOLRECEBER SET IDSTATBREC = 'A' WHERE CDFILIAL = '0001' AND "
                         "NRLANBOLREC = '0000000003'";
  const int64_t net = centavos("SELECT VRFINALBREC" + key);
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  const auto r =
      call("SeparaBoleto",
           {Variant("0001"), Variant("0000000003"), Variant(""),
            Variant(host::DateTime::fromYmd(2026, 4, 10)), Variant(""), Variant("04"), Variant(2.0),
            Variant(0.0), Variant(0.033), Variant(0.0), Variant("0001"), Variant("")},
           {false, false, false, false, false, false, false, false, false, false, false, true});
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before + 2);
  EXPECT_EQ(text("SELECT IDSTATBREC" + key), "B");
  EXPECT_EQ(centavos("SELECT SUM(B.VRFINALBREC) FROM BOLRECEBER B WHERE B.DSBOLETREC = "
                     "'Separado do boleto 0001/0000000003'"),
            net);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER B WHERE B.DSBOLETREC = 'Separado do boleto "
                  "0001/0000000003' AND B.CDNOSNUMREC IS NULL AND B.DTVENBOLREC = '2026-04-10' "
                  "AND (SELECT COUNT(*) FROM CTRECEBER R WHERE R.CDFILBOLREC = B.CDFILIAL AND "
                  "R.NRLANBOLREC = B.NRLANBOLREC) = 1"),
            2);
  // Closed: nothing to separate any more.
  EXPECT_EQ(
      call("SeparaBoleto",
           {Variant("0001"), Variant("0000000003"), Variant(""), Variant(), Variant(""),
            Variant("04"), Variant(0.0), Variant(0.0), Variant(0.0), Variant(0.0), Variant("0001"),
            Variant("")},
           {false, false, false, false, false, false, false, false, false, false, false, true})
          .key,
      "1BOL_BAIXADO");
}
