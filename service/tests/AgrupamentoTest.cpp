// The register's association against the seeded service: the verdict on the marked boletos
// and the new boleto it proposes, and AgrupaBoleto, whose new boleto holds exactly their
// total while they are closed, or nothing changes at all.

#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Tables.h"

using remote::Variant;

namespace {

const char* const kBeta = "000000000000000000102";

class Agrupamento : public service::testing::SeededService {
 protected:
  void SetUp() override {
    SeededService::SetUp();
    // A second open boleto of Beta beside 0001/0000000002 (830.00), with a receivable.
    svc_->db->session()
        << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, VRBOLREC, "
           "VRFINALBREC, DTVENBOLREC, DTEMISSAO, IDSTATBREC, CDREDUCONT, CDTPBAIXAREC, "
           "IDTPCTRECEBER) VALUES "
           "('0001', '0000000090', '04', '000000000000000000102', 100.10, 100.10, '2026-05-20', "
           "'2026-03-01', 'A', '001', '01', 'N')";
    svc_->db->session() << "INSERT INTO CTRECEBER (CDFILIAL, NRCTRECEBER, CDEMPRESA, CDCLIENTE, "
                           "VRCTRECEBER, VRSALDOREC, IDSTATCTREC, CDFILBOLREC, NRLANBOLREC) VALUES "
                           "('0001', '0000990090', '04', '000000000000000000102', 100.10, 100.10, "
                           "'A', '0001', '0000000090')";
  }

  struct Marked {
    const char* number;
    const char* customer;
    double net;
  };
  Variant marked(std::vector<Marked> rows) {
    host::ClientDataset ds("cdsMarca");
    ds.setFieldDefs(records::cdsBolRec().fields());
    ds.addFieldDef(records::fld::IDMARCADO.def());
    ds.createDataset();
    for (const auto& m : rows) {
      ds.append();
      ds.fieldByName("IDMARCADO").setString("M");
      ds.fieldByName("CDFILIAL").setString("0001");
      ds.fieldByName("NRLANBOLREC").setString(m.number);
      ds.fieldByName("CDCLIENTE").setString(m.customer);
      ds.fieldByName("VRFINALBREC").setFloat(m.net);
      ds.post();
    }
    return Variant::packet(ds.toPacket());
  }
  Variant fresh(const std::string& due, const char* account = "2", const char* type = "1") {
    host::ClientDataset ds("cdsIncBoleto");
    ds.setFieldDefs(records::cdsIncBoletoConjuga().fields());
    ds.createDataset();
    ds.append();
    ds.fieldByName("CDCLIENTE").setString(kBeta);
    ds.fieldByName("DTVENBOLREC").setValue(host::Value(*host::DateTime::parseIso(due)));
    ds.fieldByName("CDREDUCONT").setString(account);
    ds.fieldByName("CDTPBAIXAREC").setString(type);
    ds.fieldByName("VRPEMULBREC").setFloat(2.0);
    ds.fieldByName("VRMULTABREC").setFloat(0);
    ds.fieldByName("VRMORDIABREC").setFloat(0.33);
    ds.fieldByName("CDINS1COBBOL").setString("06");
    ds.fieldByName("FTR_DSBOLETREC").setString("Associação dos boletos de Beta");
    ds.post();
    return Variant::packet(ds.toPacket());
  }
  remote::Reply agrupa(double total, const Variant& incBoleto) {
    return call("AgrupaBoleto",
                {Variant("0001"), Variant("04"), Variant(0.0), Variant(total),
                 marked({{"0000000002", kBeta, 830.00}, {"0000000090", kBeta, 100.10}}), incBoleto,
                 Variant("Pagável em qualquer banco.")});
  }
  std::string status(const char* number) {
    std::string s;
    const std::string keyNumber = std::string(number);
    svc_->db->session() << "SELECT IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(keyNumber), soci::into(s);
    return s;
  }
};

}  // namespace

TEST_F(Agrupamento, TheVerdictProposesTheLatestDueDateTheCustomerAndADescription) {
  auto ok = call("GetVerifAgrupamento",
                 {marked({{"0000000002", kBeta, 830.00}, {"0000000090", kBeta, 100.10}})});
  ASSERT_TRUE(ok.ok()) << ok.text;
  const auto& v = ok.result.items();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0].asString(), "");
  EXPECT_EQ(v[3].value().asDate().iso(), "2026-05-20");
  EXPECT_EQ(v[4].asString(), kBeta);
  EXPECT_EQ(v[5].asString(), "Associação dos boletos 0001/0000000002, 0001/0000000090");

  // Two customers; an emitted boleto; nothing marked.
  EXPECT_EQ(
      call("GetVerifAgrupamento", {marked({{"0000000001", "x", 1}, {"0000000090", kBeta, 1}})})
          .result.items()[0]
          .asString(),
      "LICUSO");
  svc_->db->session() << "UPDATE BOLRECEBER SET IDSTATBREC = 'E' WHERE NRLANBOLREC = "
                         "'0000000090'";
  EXPECT_EQ(call("GetVerifAgrupamento",
                 {marked({{"0000000002", kBeta, 830.00}, {"0000000090", kBeta, 100.10}})})
                .result.items()[0]
                .asString(),
            "BOLEMIT");
  EXPECT_EQ(call("GetVerifAgrupamento", {marked({})}).key, "BOL_AGRUP_NC");
}

TEST_F(Agrupamento, TheNewBoletoHoldsExactlyTheTotalAndTheJoinedBoletosAreClosed) {
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  auto r = agrupa(930.10, fresh("2026-06-10"));
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  const std::string key = r.result.asString();
  ASSERT_EQ(key.size(), 14u);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before + 1);
  EXPECT_EQ(status("0000000002"), "B");
  EXPECT_EQ(status("0000000090"), "B");

  double net = 0, gross = 0, pFine = 0, fine = 0, interest = 0;
  std::string due, account, instruction, note, message, customer;
  soci::indicator nn = soci::i_ok;
  std::string nossoNumero;
  svc_->db->session()
      << "SELECT VRFINALBREC, VRBOLREC, VRPEMULBREC, VRMULTABREC, VRMORDIABREC, "
         "DTVENBOLREC, CDREDUCONT, CDINS1COBBOL, DSBOLETREC, TXMENSBOLBOL, "
         "CDCLIENTE, CDNOSNUMREC FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC = :k",
      soci::use(key), soci::into(net), soci::into(gross), soci::into(pFine), soci::into(fine),
      soci::into(interest), soci::into(due), soci::into(account), soci::into(instruction),
      soci::into(note), soci::into(message), soci::into(customer), soci::into(nossoNumero, nn);
  EXPECT_EQ(std::llround(net * 100), 93010);
  EXPECT_EQ(std::llround(gross * 100), 93010);
  EXPECT_DOUBLE_EQ(pFine, 2.0);
  EXPECT_DOUBLE_EQ(fine, 18.60) << "2% of 930.10, from the new value";
  EXPECT_DOUBLE_EQ(interest, 0.33);
  EXPECT_EQ(due.substr(0, 10), "2026-06-10");
  EXPECT_EQ(account, "002");
  EXPECT_EQ(instruction, "06");
  EXPECT_EQ(note, "Associação dos boletos de Beta");
  EXPECT_EQ(message, "Pagável em qualquer banco.");
  EXPECT_EQ(customer, kBeta);
  EXPECT_EQ(nn, soci::i_null) << "numbered when emitted";
  EXPECT_EQ(count("SELECT COUNT(*) FROM CTRECEBER WHERE NRCTRECEBER = '0000990090' AND "
                  "CDFILBOLREC || NRLANBOLREC = '" +
                  key + "'"),
            1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CTRECEBER WHERE NRLANBOLREC IN ('0000000002', "
                  "'0000000090') AND CDFILBOLREC = '0001'"),
            0)
      << "every receivable follows the new boleto";
}

TEST_F(Agrupamento, ARefusalLeavesEveryBoletoAsItWas) {
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER");
  // One centavo off the total; a due date before an emission; no account; a numbered boleto.
  EXPECT_EQ(agrupa(930.11, fresh("2026-06-10")).key, "VRBOL_Dif");
  EXPECT_EQ(agrupa(930.10, fresh("2026-02-01")).key, "DtVen<DtEmi");
  EXPECT_EQ(agrupa(930.10, fresh("2026-06-10", "")).key, "CCOB_INF");
  EXPECT_EQ(agrupa(930.10, fresh("2026-06-10", "2", "")).key, "TPBX_INF");
  EXPECT_EQ(agrupa(930.10, fresh("2026-06-10", "77")).key, "CdRedu_nc");
  // A boleto changed meanwhile: its value is no longer what the register read.
  svc_->db->session() << "UPDATE BOLRECEBER SET VRFINALBREC = 100.00 WHERE NRLANBOLREC = "
                         "'0000000090'";
  EXPECT_EQ(agrupa(930.10, fresh("2026-06-10")).key, "VRBOL_Dif");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), before);
  EXPECT_EQ(status("0000000002"), "A");
  EXPECT_EQ(status("0000000090"), "A");
}
