// Adjustments and due-date extensions against the seeded service: what each call stores, read
// back from the database, and that a refused call stores nothing.

#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Tables.h"

using host::DateTime;
using remote::Variant;

namespace {

class Ajustes : public service::testing::SeededService {
 protected:
  // The change packet of one adjustment added in the register.
  nlohmann::json adjustment(const std::string& type, double value) {
    host::ClientDataset ds("cdsAjBolRec");
    ds.setFieldDefs(records::cdsAjBolRec().fields());
    ds.createDataset();
    ds.append();
    ds.fieldByName("CDAJUCTREC").setString(type);
    ds.fieldByName("VRAJBOLREC").setValue(host::Value(value));
    ds.post();
    return ds.delta();
  }
  remote::Reply post(const std::string& number, const std::string& type, double value,
                     double signedValue, double paymentType, const std::string& seq,
                     double finalValue) {
    return call("GetAjBolRec_Post",
                {Variant::packet(adjustment(type, value)), Variant(signedValue), Variant("0001"),
                 Variant(number), Variant(false), Variant(paymentType), Variant(seq), Variant("0"),
                 Variant("04"), Variant(""), Variant(finalValue)});
  }
  double finalValue(const std::string& number) {
    double v = 0;
    svc_->db->session() << "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(number), soci::into(v);
    return v;
  }
  double paymentType(const std::string& number, int seq) {
    double v = 0;
    svc_->db->session() << "SELECT VRTPRECBO FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n AND NRSEQTPRECBO = :s",
        soci::use(number), soci::use(seq), soci::into(v);
    return v;
  }
  std::string column(const std::string& column, const std::string& number,
                     const std::string& branch = "0001") {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }

  // cdsBolProrrogados with the boletos as stored now.
  nlohmann::json toExtend(const std::vector<std::string>& numbers) {
    host::ClientDataset ds("cdsBolProrrogados");
    ds.setFieldDefs(records::cdsBolProrrogados().fields());
    ds.createDataset();
    for (const auto& n : numbers) {
      ds.append();
      ds.fieldByName("CDFILIAL").setString("0001");
      ds.fieldByName("NRLANBOLREC").setString(n);
      for (const char* f : {"CDNOSNUMREC", "IDBOLRECALTER", "IDSITUCNABR"}) {
        const std::string v = column(f, n);
        if (v != "<null>") ds.fieldByName(f).setString(v);
      }
      ds.post();
    }
    return ds.toPacket();
  }
  remote::Reply extend(const nlohmann::json& boletos, const std::string& nossoNumero,
                       const DateTime& to = DateTime::fromYmd(2026, 4, 30),
                       const std::string& reason = "1") {
    return call("SetProrrogacao",
                {Variant(to), Variant(reason), Variant("04"), Variant(nossoNumero),
                 Variant::packet(boletos), Variant("2")},
                {false, false, false, true, false, true});
  }
  int history(const std::string& number) {
    return count("SELECT COUNT(*) FROM PRORROGACAO WHERE CDFILIAL = '0001' AND NRLANBOLREC = '" +
                 number + "'");
  }
};

const std::string kCash = "0000000001";     // 1520.40 paid 1000.00 cash + 520.40 cheque
const std::string kNotSent = "0000000002";  // numbered, bank situation "00", no payment types
const std::string kAtBank = "0000000003";   // emitted, situation "10", a discount of type 0001
const std::string kWrittenOff = "0000000006";

}  // namespace

TEST_F(Ajustes, TypesAndTheBoletosAdjustmentsOfOneType) {
  auto one = call("GetTipoAjReceber", {Variant("3"), Variant("")});
  ASSERT_TRUE(one.ok()) << one.text;
  const auto& rows = one.result.packetJson().at("rows");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "0003");
  // "T": every registered type, whatever the demo data holds.
  int types = 0;
  svc_->db->session() << "SELECT COUNT(*) FROM TIPOAJREC", soci::into(types);
  EXPECT_EQ(
      call("GetTipoAjReceber", {Variant(""), Variant("T")}).result.packetJson().at("rows").size(),
      static_cast<size_t>(types));
  EXPECT_GE(types, 4);
  EXPECT_EQ(
      call("GetTipoAjReceber", {Variant("99"), Variant("")}).result.packetJson().at("rows").size(),
      0u);
  auto same = call("GetVerifAjust", {Variant("1"), Variant("3"), Variant("1")});
  ASSERT_TRUE(same.ok()) << same.text;
  EXPECT_EQ(same.result.packetJson().at("rows").size(), 1u);
  EXPECT_EQ(call("GetVerifAjust", {Variant("1"), Variant("3"), Variant("2")})
                .result.packetJson()
                .at("rows")
                .size(),
            0u);
}

TEST_F(Ajustes, ADiscountLowersTheNetValueAndTheLastPaymentTypeInCentavos) {
  auto r = post(kCash, "0003", 20.10, -20.10, 500.30, "2", 1520.40);
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_DOUBLE_EQ(finalValue(kCash), 1500.30);
  EXPECT_DOUBLE_EQ(paymentType(kCash, 1), 1000.00);
  EXPECT_DOUBLE_EQ(paymentType(kCash, 2), 500.30);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000001' AND CDAJUCTREC = '0003' AND IDAJUCTREC = 'D' AND VRAJUSTE = 20.1"),
            1);

  // Additions of tenths add up exactly; no payment types: only the net value moves.
  ASSERT_TRUE(post(kNotSent, "2", 0.10, 0.10, 0, "", 830.00).ok());
  ASSERT_TRUE(post(kNotSent, "0004", 0.20, 0.20, 0, "", 830.10).ok());
  EXPECT_DOUBLE_EQ(finalValue(kNotSent), 830.30);
}

TEST_F(Ajustes, ARefusedAdjustmentStoresNothing) {
  const int before = count("SELECT COUNT(*) FROM AJUSTEBOLREC");
  struct Case {
    const char* why;
    std::string number, type;
    double value, signedValue, paymentType;
    std::string seq;
    double finalValue;
    const char* key;
  };
  const Case cases[] = {
      {"a second of the same type", kAtBank, "0001", 1, -1, 0, "", 215.90, "CdAj_Ja_cad"},
      {"unknown type", kCash, "0099", 1, 1, 1001, "1", 1520.40, "CdAj_Nao_cad"},
      {"zero", kCash, "0002", 0, 0, 1000, "1", 1520.40, "MaiorZero"},
      {"the whole net value", kNotSent, "0001", 830.00, -830.00, 0, "", 830.00, "VrAjus>Vrbol"},
      {"the whole last payment type", kCash, "0001", 520.40, -520.40, 0, "2", 1520.40,
       "VrAjus>VrAj"},
      {"the net value changed meanwhile", kCash, "0002", 5, 5, 1005, "1", 1520.39, "ALT_BLOQ"},
      {"the payment types changed meanwhile", kCash, "0002", 5, 5, 1004, "1", 1520.40, "ALT_BLOQ"},
      {"a sign against the type", kCash, "0002", 5, -5, 1005, "1", 1520.40, "ARG_INVALIDO"},
      {"a written-off boleto", kWrittenOff, "0002", 5, 5, 0, "", 350.75, "BOL_BAIXA"},
  };
  for (const auto& c : cases) {
    const double value = finalValue(c.number);
    auto r = post(c.number, c.type, c.value, c.signedValue, c.paymentType, c.seq, c.finalValue);
    EXPECT_EQ(r.key, c.key) << c.why << ": " << r.text;
    EXPECT_DOUBLE_EQ(finalValue(c.number), value) << c.why;
  }
  EXPECT_DOUBLE_EQ(paymentType(kCash, 1), 1000.00);
  EXPECT_DOUBLE_EQ(paymentType(kCash, 2), 520.40);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC"), before);
  // 99.99 less than the whole passes.
  EXPECT_TRUE(post(kNotSent, "0001", 829.99, -829.99, 0, "", 830.00).ok());
  EXPECT_DOUBLE_EQ(finalValue(kNotSent), 0.01);
}

TEST_F(Ajustes, AnExtensionMovesTheDueDateKeepingTheNumberAndRecordsTheReason) {
  const std::string number = column("CDNOSNUMREC", kNotSent);
  const std::string due = column("DTVENBOLREC", kNotSent);
  auto r = extend(toExtend({kNotSent, kCash}), number);
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  for (const auto& n : {kNotSent, kCash}) {
    EXPECT_EQ(column("DTVENBOLREC", n).substr(0, 10), "2026-04-30");
    EXPECT_EQ(column("CDMOTIPROR", n), "01");
    EXPECT_EQ(history(n), 1);
  }
  EXPECT_EQ(column("CDNOSNUMREC", kNotSent), number);
  EXPECT_EQ(count("SELECT COUNT(*) FROM PRORROGACAO WHERE NRLANBOLREC = '0000000002' AND "
                  "DTANTVENREC = '" +
                  due.substr(0, 10) +
                  "' AND DTATUAVENREC = '2026-04-30' AND CDOPERADOR = 'demo' AND CDNOSNUMANT IS "
                  "NULL"),
            1);
}

TEST_F(Ajustes, DroppingTheNumberKeepsItInTheHistoryAndNeverForOneTheBankMayHold) {
  const std::string notSent = column("CDNOSNUMREC", kNotSent);
  const std::string atBank = column("CDNOSNUMREC", kAtBank);
  ASSERT_NE(notSent, "<null>");
  auto r = extend(toExtend({kAtBank, kNotSent}), "");
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(column("CDNOSNUMREC", kNotSent), "<null>");
  EXPECT_EQ(column("CDBARRAREC", kNotSent), "<null>");
  EXPECT_EQ(column("IDBOLEMITIDO", kNotSent), "<null>");
  EXPECT_EQ(count("SELECT COUNT(*) FROM PRORROGACAO WHERE NRLANBOLREC = '0000000002' AND "
                  "CDNOSNUMANT = '" +
                  notSent + "' AND CDREDUCONTANT = '" + column("CDREDUCONT", kNotSent) + "'"),
            1);
  // The number given up is never stored on another boleto of the account; the boleto that
  // held it may take it back.
  const auto setCodBarra = [&](const std::string& boleto, const std::string& number) {
    return call("SetCodBarra", {Variant(""), Variant(""), Variant(number), Variant("0001"),
                                Variant(boleto), Variant(""), Variant("2"), Variant("001")});
  };
  ASSERT_EQ(column("CDREDUCONT", kCash), column("CDREDUCONT", kNotSent));
  EXPECT_EQ(setCodBarra(kCash, notSent).key, "NN_JA_CAD");
  EXPECT_EQ(column("CDNOSNUMREC", kCash), "<null>");
  auto back = setCodBarra(kNotSent, notSent);
  EXPECT_TRUE(back.ok()) << back.key << ": " << back.text;
  // Sent to the bank ("10"): the bank holds the number, which stays.
  EXPECT_EQ(column("CDNOSNUMREC", kAtBank), atBank);
  EXPECT_EQ(column("DTVENBOLREC", kAtBank).substr(0, 10), "2026-04-30");
}

TEST_F(Ajustes, ARefusedExtensionMovesNoBoleto) {
  const std::string due1 = column("DTVENBOLREC", kCash);
  const std::string due2 = column("DTVENBOLREC", kNotSent);
  const auto unchanged = [&](const char* why) {
    EXPECT_EQ(column("DTVENBOLREC", kCash), due1) << why;
    EXPECT_EQ(column("DTVENBOLREC", kNotSent), due2) << why;
    EXPECT_EQ(count("SELECT COUNT(*) FROM PRORROGACAO"), 0) << why;
  };
  EXPECT_EQ(extend(toExtend({kCash, kNotSent}), "x", DateTime::fromYmd(2026, 1, 1)).key,
            "DtVen<DtEmi");
  unchanged("before the emission");
  EXPECT_EQ(extend(toExtend({kCash}), "x", DateTime::fromYmd(2026, 4, 30), "77").key, "Mot_N_Cad");
  unchanged("unknown reason");
  auto stale = toExtend({kCash, kNotSent});
  svc_->db->session() << "UPDATE BOLRECEBER SET IDSITUCNABR = '01' WHERE CDFILIAL = '0001' AND "
                         "NRLANBOLREC = '0000000002'";
  EXPECT_EQ(extend(stale, "x").key, "ALT_BLOQ");
  unchanged("sent to the bank meanwhile");
  auto withWrittenOff = toExtend({kCash, kWrittenOff});
  EXPECT_EQ(extend(withWrittenOff, "x").key, "BOL_BAIXA");
  unchanged("a written-off boleto among them");
}
