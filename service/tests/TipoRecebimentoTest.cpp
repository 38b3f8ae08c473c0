// Payment types of a boleto against the seeded service: the look-ups, and SetTpRecBoleto,
// which stores rows only when they add up to the boleto in centavos, never lets a cheque be
// used for more than it is worth, and leaves everything as it was when it refuses.

#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Tables.h"

using remote::Variant;

namespace {

const char* const kAlfa = "000000000000000000101";

class TipoRecebimento : public service::testing::SeededService {
 protected:
  nlohmann::json cell(const Variant& v, const std::string& field, size_t row = 0) {
    const auto& fields = v.packetJson().at("fields");
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].at("name") == field) return v.packetJson().at("rows").at(row).at(i);
    ADD_FAILURE() << "no field " << field;
    return nullptr;
  }
  size_t rows(const Variant& v) { return v.packetJson().at("rows").size(); }

  /// The boleto's payment types as the register loads them, change log empty.
  void load(host::ClientDataset& ds, const std::string& number) {
    auto r = call("GetTpRecBoleto", {Variant("0001"), Variant(number)}, {true, true});
    ASSERT_TRUE(r.ok()) << r.text;
    ds.loadPacket(r.result.packetJson());
  }
  /// The boleto's row as the register read it.
  Variant boleto(const std::string& number) {
    host::ClientDataset b("cdsBoletos");
    b.setFieldDefs(records::cdsBolRec().fields());
    b.createDataset();
    double net = 0;
    svc_->db->session() << "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = :n",
        soci::use(number), soci::into(net);
    b.append();
    b.fieldByName("CDFILIAL").setString("0001");
    b.fieldByName("NRLANBOLREC").setString(number);
    b.fieldByName("VRFINALBREC").setFloat(net);
    b.post();
    return Variant::packet(b.toPacket());
  }
  void add(host::ClientDataset& ds, const char* seq, const char* type, double value,
           std::vector<std::pair<const char*, const char*>> more = {}) {
    ds.append();
    ds.fieldByName("CDFILIAL").setString("0001");
    ds.fieldByName("NRLANBOLREC").setString(number_);
    ds.fieldByName("NRSEQTPRECBO").setString(seq);
    ds.fieldByName("CDTIPORECE").setString(type);
    ds.fieldByName("VRTPRECBOLR").setFloat(value);
    for (const auto& [f, v] : more) ds.fieldByName(f).setString(v);
    ds.post();
  }
  remote::Reply commit(host::ClientDataset& ds, bool newCheque = false) {
    return call("SetTpRecBoleto",
                {Variant(host::DateTime::fromYmd(2026, 3, 2)), Variant(0.0), boleto(number_),
                 Variant::packet(ds.toPacket()), Variant("001"), Variant(newCheque),
                 Variant("0001"), Variant(number_), Variant("CDCARTAO_")},
                {false, false, false, false, false, false, false, false, true});
  }
  int stored() {
    return count("SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = '0001' AND NRLANBOLREC = '" +
                 number_ + "'");
  }

  std::string number_ = "0000000002";  // Beta's open boleto of 830.00, account 001
};

}  // namespace

TEST_F(TipoRecebimento, LookUpsPadTheirCodesAndTellTheChequeTypeAndWhatACheqeIsUsedFor) {
  auto one = call("GetTipoRece", {Variant("2"), Variant("")});
  ASSERT_TRUE(one.ok()) << one.text;
  ASSERT_EQ(rows(one.result), 1u);
  EXPECT_EQ(cell(one.result, "CDTIPORECE"), "002");
  auto all = call("GetTipoRece", {Variant(""), Variant("T")});
  ASSERT_EQ(rows(all.result), 4u);
  EXPECT_EQ(cell(all.result, "IDTIPORECE", 2), "3") << "003 is the cheque type";
  EXPECT_EQ(call("GetTipoRece", {Variant("1"), Variant("X")}).key, "ARG_INVALIDO");

  auto card = call("GetCartao", {Variant("1"), Variant("")});
  ASSERT_EQ(rows(card.result), 1u);
  EXPECT_EQ(cell(card.result, "NMCARTAO"), "Cartão de crédito");
  EXPECT_EQ(rows(call("GetCartao", {Variant(""), Variant("T")}).result), 2u);

  auto cheques = call("GetCheque", {Variant(kAlfa)});
  ASSERT_TRUE(cheques.ok()) << cheques.text;
  ASSERT_EQ(rows(cheques.result), 2u);
  EXPECT_EQ(cell(cheques.result, "NRCHEQUERECE"), "000123");
  EXPECT_DOUBLE_EQ(cell(cheques.result, "VRUSADOCHEQ").get<double>(), 520.40);

  auto used =
      call("GetTotChq", {Variant("123"), Variant("237"), Variant("1234"), Variant("0012345")});
  ASSERT_TRUE(used.ok()) << used.text;
  EXPECT_EQ(cell(used.result, "QTTOTCHQ"), 1);
  EXPECT_DOUBLE_EQ(cell(used.result, "VRTOTCHQ").get<double>(), 520.40);
  // Another company sees nothing of the cheque.
  auto other = call(
      "GetTotChq", {Variant("123"), Variant("237"), Variant("1234"), Variant("0012345")}, {}, "08");
  EXPECT_EQ(cell(other.result, "QTTOTCHQ"), 0);
}

TEST_F(TipoRecebimento, RowsThatAddUpAreStoredWithTheirNewChequeAndCardAndReadBack) {
  host::ClientDataset tp("cdsTpRecBoleto");
  load(tp, number_);
  ASSERT_TRUE(tp.isEmpty());
  add(tp, "01", "1", 300.00);
  add(tp, "02", "003", 400.10,
      {{"NRCHEQBOLREC", "777"},
       {"CDBANCBOLREC", "1"},
       {"CDAGENBOLREC", "4321"},
       {"CDCONTBOLREC", "99887"},
       {"DSCHEQBOLREC", "Pré-datado"}});
  add(tp, "03", "004", 129.90, {{"CDCARTAO", "2"}, {"NRCARCREBOLR", "4111"}});
  auto r = commit(tp, true);
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(r.result.asInteger(), 3);
  ASSERT_EQ(r.refArgs.size(), 1u);
  EXPECT_EQ(r.refArgs[0].first, 8u);
  EXPECT_EQ(r.refArgs[0].second.asString(), "") << "the changed-field list is consumed";

  host::ClientDataset back("cdsTpRecBoleto");
  load(back, number_);
  ASSERT_EQ(back.recordCount(), 3u);
  EXPECT_EQ(back.valueAt(1, "CDTIPORECE").asString(), "001");
  EXPECT_EQ(back.valueAt(2, "NRCHEQBOLREC").asString(), "000777");
  EXPECT_EQ(back.valueAt(2, "CDBANCBOLREC").asString(), "001");
  EXPECT_EQ(back.valueAt(2, "DSCHEQBOLREC").asString(), "Pré-datado");
  EXPECT_EQ(back.valueAt(3, "CDCARTAO").asString(), "002");
  EXPECT_EQ(back.valueAt(3, "NMCARTAO").asString(), "Cartão de débito");
  // The cheque typed there is registered for the customer, the account and what it pays.
  double value = 0;
  std::string customer, account;
  svc_->db->session() << "SELECT VRCHEQUERECE, CDCLIENTE, CDREDUCONT FROM CHEQUE WHERE "
                         "NRCHEQUERECE = '000777' AND CDBANCHEQREC = '001'",
      soci::into(value), soci::into(customer), soci::into(account);
  EXPECT_DOUBLE_EQ(value, 400.10);
  EXPECT_EQ(customer, "000000000000000000102");
  EXPECT_EQ(account, "001");

  // A second confirmation replaces the rows: one row left, for the whole value.
  back.first();
  back.edit();
  back.fieldByName("VRTPRECBOLR").setFloat(830.00);
  back.post();
  back.last();
  back.deleteRecord();
  back.last();
  back.deleteRecord();
  auto again = commit(back);
  ASSERT_TRUE(again.ok()) << again.key << ": " << again.text;
  EXPECT_EQ(stored(), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CHEQUEBOLREC WHERE NRLANBOLREC = '0000000002'"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CARTAOBOLREC WHERE NRLANBOLREC = '0000000002'"), 0);
}

TEST_F(TipoRecebimento, RowsThatDoNotAddUpAreRefusedToTheCentavoAndNothingIsStored) {
  host::ClientDataset tp("cdsTpRecBoleto");
  load(tp, number_);
  add(tp, "01", "001", 500.00);
  add(tp, "02", "002", 329.99);
  auto r = commit(tp);
  EXPECT_EQ(r.key, "VRBOL_TPRECE") << r.text;
  EXPECT_EQ(stored(), 0);

  // Values that differ from the boleto only beyond the second decimal are the same money.
  host::ClientDataset fine("cdsTpRecBoleto");
  load(fine, number_);
  add(fine, "01", "001", 500.004);
  add(fine, "02", "002", 329.996);
  auto ok = commit(fine);
  EXPECT_TRUE(ok.ok()) << ok.key << ": " << ok.text;
  EXPECT_EQ(stored(), 2);

  // A refused cheque row leaves the stored rows and no cheque behind.
  host::ClientDataset bad("cdsTpRecBoleto");
  load(bad, number_);
  bad.first();
  bad.deleteRecord();
  add(bad, "03", "003", 329.996, {{"NRCHEQBOLREC", "555"}, {"CDBANCBOLREC", "001"}});
  auto refused = commit(bad, true);
  EXPECT_EQ(refused.key, "AGENCIA_NI") << refused.text;
  EXPECT_EQ(stored(), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CHEQUE WHERE NRCHEQUERECE = '000555'"), 0);
}

TEST_F(TipoRecebimento, ChequesOfAnotherAccountOrCustomerOrBeyondTheirValueAreRefused) {
  // Alfa's boleto 0001/0000000001 (1520.40): cash 1000.00 and the registered cheque 000123
  // (520.40, used in full by this boleto). Alfa's cheque 000456 is deposited in account 006.
  number_ = "0000000001";
  auto refuse = [&](std::vector<std::pair<const char*, const char*>> cheque, double value) {
    host::ClientDataset tp("cdsTpRecBoleto");
    load(tp, number_);
    tp.first();
    tp.edit();
    tp.fieldByName("VRTPRECBOLR").setFloat(1520.40 - value);
    tp.post();
    tp.last();
    tp.deleteRecord();
    add(tp, "03", "003", value, cheque);
    return commit(tp);
  };
  EXPECT_EQ(refuse({{"NRCHEQBOLREC", "456"},
                    {"CDBANCBOLREC", "341"},
                    {"CDAGENBOLREC", "0057"},
                    {"CDCONTBOLREC", "0098765"}},
                   100.00)
                .key,
            "CHEQUE_CAD_COB");
  // Beta's cheque registered with no account yet belongs to Beta.
  EXPECT_EQ(refuse({{"NRCHEQBOLREC", "789"},
                    {"CDBANCBOLREC", "001"},
                    {"CDAGENBOLREC", "3210"},
                    {"CDCONTBOLREC", "0054321"}},
                   100.00)
                .key,
            "CHEQUE_OUTRO_CLI");
  // Cheque 000123 used by another boleto for 460.40 leaves 60.00 free for this one.
  svc_->db->session() << "UPDATE CHEQUEBOLREC SET NRLANBOLREC = '0000000009' WHERE NRCHEQBOLREC "
                         "= '000123'";
  svc_->db->session() << "UPDATE CHEQUEBOLREC SET VRCHEQBOLREC = 460.40 WHERE NRCHEQBOLREC = "
                         "'000123'";
  auto over = refuse({{"NRCHEQBOLREC", "123"},
                      {"CDBANCBOLREC", "237"},
                      {"CDAGENBOLREC", "1234"},
                      {"CDCONTBOLREC", "0012345"}},
                     60.01);
  EXPECT_EQ(over.key, "Vr_sup_che") << over.text;
  EXPECT_NE(over.text.find("60,00"), std::string::npos) << over.text;
  EXPECT_EQ(stored(), 2) << "the boleto's rows are as they were";
  auto fits = refuse({{"NRCHEQBOLREC", "123"},
                      {"CDBANCBOLREC", "237"},
                      {"CDAGENBOLREC", "1234"},
                      {"CDCONTBOLREC", "0012345"}},
                     60.00);
  EXPECT_TRUE(fits.ok()) << fits.key << ": " << fits.text;
}

TEST_F(TipoRecebimento, RowsChangedByAnotherUserSinceTheyWereReadRefuseTheCall) {
  number_ = "0000000001";
  host::ClientDataset tp("cdsTpRecBoleto");
  load(tp, number_);
  // Someone else changes the cash row meanwhile.
  svc_->db->session() << "UPDATE TPRECBOLETO SET VRTPRECBO = 900.00 WHERE NRLANBOLREC = "
                         "'0000000001' AND NRSEQTPRECBO = 1";
  tp.first();
  tp.edit();
  tp.fieldByName("CDTIPORECE").setString("002");
  tp.post();
  EXPECT_EQ(commit(tp).key, "ALT_BLOQ");
  // A boleto sent to the bank takes no payment types.
  number_ = "0000000003";
  host::ClientDataset sent("cdsTpRecBoleto");
  load(sent, number_);
  add(sent, "01", "001", 215.90);
  EXPECT_EQ(commit(sent).key, "BOL_ALTERADO");
}
