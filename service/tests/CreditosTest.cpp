// Discounts by advances, devolutions and credit notes against the seeded service: what each
// books and consumes, read back from the database; refusals that leave everything as it was;
// and two operators racing for the same credit on two servers over one database.

#include <gtest/gtest.h>

#include <thread>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Tables.h"

using remote::Variant;

namespace {

const std::string kBeta = "000000000000000000102";  // an advance, a devolution, a note

class Creditos : public service::testing::SeededService {
 protected:
  /// Centavos of one value the database holds.
  int64_t cents(const std::string& query) {
    double v = 0;
    svc_->db->session() << query, soci::into(v);
    return std::llround(v * 100.0);
  }
  int64_t net(const std::string& number) {
    return cents("SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = '" +
                 number + "'");
  }
  int64_t advanceLeft() {
    return cents(
        "SELECT VRSALDOADIANT FROM ADIANTAMENTO WHERE CDFILIAL = '0001' AND "
        "NRADIANTREC = '0000000001'");
  }
  /// Everything a discount may write, to compare before and after a refusal.
  std::string snapshot() {
    return std::to_string(net("0000000002")) + "|" + std::to_string(net("0000000007")) + "|" +
           std::to_string(advanceLeft()) + "|" +
           std::to_string(cents("SELECT SUM(VRSALDODEVOL) FROM DEVOLUCAO")) + "|" +
           std::to_string(cents("SELECT SUM(VRSALDONOTA) FROM NOTACREDITO")) + "|" +
           std::to_string(count("SELECT COUNT(*) FROM AJUSTEBOLREC")) + "|" +
           std::to_string(count("SELECT COUNT(*) FROM CREDITOUSO"));
  }
  /// The customer's credits of a kind as the screen gets them, with `amount` chosen on the
  /// first row.
  nlohmann::json chosen(const std::string& method, const records::Table& table, double amount) {
    auto r = method == "GetContaAd" ? call(method, {Variant(kBeta), Variant("04")}, {true, true})
                                    : call(method, {Variant("04"), Variant(kBeta)});
    EXPECT_TRUE(r.ok()) << r.text;
    host::ClientDataset ds(table.dataset());
    ds.loadPacket(r.result.packetJson());
    EXPECT_GE(ds.recordCount(), 1u);
    ds.first();
    ds.edit();
    ds.fieldByName("IDMARCADO").setString("S");
    ds.fieldByName("VRDESCONTO").setValue(host::Value(amount));
    ds.post();
    return ds.toPacket();
  }
  remote::Reply advance(const std::string& number, double amount, const std::string& type = "5",
                        double total = -1) {
    return call(
        "SetConfirma_Adianta",
        {Variant::packet(chosen("GetContaAd", records::cdsContaAd(), amount)), Variant("0001"),
         Variant(number), Variant(type), Variant(total < 0 ? amount : total)},
        {false, true, true, false, false});
  }
};

TEST_F(Creditos, AnAdvanceLowersTheNetAndIsConsumedByExactlyWhatWasUsed) {
  const int64_t before = net("0000000002");
  auto r = advance("0000000002", 100.10);
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(net("0000000002"), before - 10010);
  EXPECT_EQ(advanceLeft(), 30000 - 10010);
  EXPECT_EQ(cents("SELECT VRAJUSTE FROM AJUSTEBOLREC WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
                  "'0000000002' AND CDAJUCTREC = '0005' AND IDAJUCTREC = 'D'"),
            10010);
  EXPECT_EQ(cents("SELECT VRUSADO FROM CREDITOUSO WHERE IDTPCREDITO = 'A' AND NRCREDITO = "
                  "'0000000001'"),
            10010);
  // What the screen shows next time: what was used and what is left.
  auto again = call("GetContaAd", {Variant(kBeta), Variant("04")}, {true, true});
  host::ClientDataset ds("cdsContaAd");
  ds.loadPacket(again.result.packetJson());
  EXPECT_NEAR(ds.valueOf("VRTOTADIA").asDouble(), 100.10, 1e-9);
  // The type is on the boleto now: a second discount of it is refused, nothing changes.
  const std::string kept = snapshot();
  auto twice = advance("0000000002", 1.00);
  EXPECT_EQ(twice.key, "AJ_JC");
  EXPECT_EQ(snapshot(), kept);
  auto exists = call("GetExistAjuste", {Variant("1"), Variant("2"), Variant("5")}, {true, true});
  EXPECT_EQ(exists.result.packetJson().at("rows").size(), 1u);
}

TEST_F(Creditos, EveryRefusalLeavesBoletosCreditsAndAdjustmentsAsTheyWere) {
  const std::string kept = snapshot();
  // More than the advance has.
  EXPECT_EQ(advance("0000000002", 300.01).key, "vrDesc_<_vrdisp");
  // A devolution type for an advance, and a type that gives no discount.
  EXPECT_EQ(advance("0000000002", 10.00, "6").key, "TipoAjuste_NaoCad");
  EXPECT_EQ(advance("0000000002", 10.00, "2").key, "TipoAjuste_NaoCad");
  EXPECT_EQ(advance("0000000002", 10.00, "").key, "CdAjDeve");
  // A total that is not what the chosen rows take.
  EXPECT_EQ(advance("0000000002", 10.00, "5", 10.01).key, "ARG_INVALIDO");
  // Beta's advance on another customer's boleto.
  EXPECT_EQ(advance("0000000001", 10.00).key, "CRED_NC");
  // A boleto written off takes no discount.
  EXPECT_EQ(advance("0000000005", 10.00).key, "BOL_BAIXA");
  // Nothing chosen.
  auto none = call("SetConfirma_Adianta",
                   {Variant::packet(chosen("GetContaAd", records::cdsContaAd(), 0.0)),
                    Variant("0001"), Variant("0000000002"), Variant("5"), Variant(0.0)},
                   {false, true, true, false, false});
  EXPECT_EQ(none.key, "vrDesc<0");
  EXPECT_EQ(snapshot(), kept);
}

TEST_F(Creditos, ADevolutionIsUsedInPartsAndTheRestStaysOffered) {
  auto r = call("SetConfirma_Devolucao",
                {Variant::packet(chosen("GetDevolucao", records::cdsVenda(), 30.00)),
                 Variant("0001"), Variant("0000000002"), Variant("6"), Variant(30.00)},
                {false, true, true, false, false});
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(cents("SELECT VRSALDODEVOL FROM DEVOLUCAO WHERE CDCLIENTE = '" + kBeta + "'"), 5000);
  auto left = call("GetDevolucao", {Variant("04"), Variant(kBeta)});
  host::ClientDataset ds("cdsVenda");
  ds.loadPacket(left.result.packetJson());
  ASSERT_EQ(ds.recordCount(), 1u);
  EXPECT_NEAR(ds.valueOf("VRDISPONIVEL").asDouble(), 50.00, 1e-9);
  EXPECT_EQ(ds.valueOf("DOCUMENTO").asString(), "0000004411/1");
  // The rest, then nothing is left and the devolution is no longer offered.
  r = call("SetConfirma_Devolucao",
           {Variant::packet(chosen("GetDevolucao", records::cdsVenda(), 50.00)), Variant("0001"),
            Variant("0000000007"), Variant("6"), Variant(50.00)},
           {false, true, true, false, false});
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(
      call("GetDevolucao", {Variant("04"), Variant(kBeta)}).result.packetJson().at("rows").size(),
      0u);
}

TEST_F(Creditos, CreditNotesAreSetAsideThenBookedWholeAndOnlyOnce) {
  auto grid = call("GetGrid", {Variant(kBeta), Variant("04")}, {true, true});
  ASSERT_TRUE(grid.ok()) << grid.text;
  ASSERT_EQ(grid.result.packetJson().at("rows").size(), 1u);
  const int64_t before = net("0000000002");
  const auto altera = [&](int64_t count, double remaining, double total) {
    return call(
        "Altera",
        {Variant(count), Variant(""), Variant(""), Variant(""), Variant("0001"), Variant(remaining),
         Variant("0000000002"), Variant("7"), Variant(total), Variant("I")},
        {false, false, false, false, true, false, true, false, false, false});
  };
  const double value = static_cast<double>(before) / 100.0;
  // Nothing set aside yet.
  EXPECT_EQ(altera(1, value - 25.50, 25.50).key, "AJ_INF");
  // Another customer's note set aside: refused at booking, and its reservation goes stale.
  ASSERT_TRUE(
      call("GetUpDateNF", {Variant("0000000001"), Variant("0000000001"), Variant("0001")}).ok());
  const std::string kept = snapshot();
  EXPECT_EQ(altera(1, value - 150.00, 150.00).key, "NF_INDISPONIVEL");
  EXPECT_EQ(snapshot(), kept);
  // Beta's own note: the latest reservation is the one booked.
  ASSERT_TRUE(call("GetUpDateNF", {Variant("2"), Variant("2"), Variant("1")}).ok());
  EXPECT_EQ(altera(1, value - 25.00, 25.00).key, "ARG_INVALIDO");
  EXPECT_EQ(altera(1, value - 25.49, 25.50).key, "ALT_BLOQ");
  auto ok = altera(1, value - 25.50, 25.50);
  ASSERT_TRUE(ok.ok()) << ok.key << ": " << ok.text;
  EXPECT_EQ(net("0000000002"), before - 2550);
  EXPECT_EQ(cents("SELECT VRSALDONOTA FROM NOTACREDITO WHERE CDFILIAL = '0001' AND NRNOTACRED = "
                  "'0000000002'"),
            0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM NOTACREDRESERVA"), 0);
  // Used up: neither offered nor set aside again.
  EXPECT_EQ(call("GetGrid", {Variant(kBeta), Variant("04")}, {true, true})
                .result.packetJson()
                .at("rows")
                .size(),
            0u);
  EXPECT_EQ(call("GetUpDateNF", {Variant("2"), Variant("2"), Variant("1")}).key, "NF_INDISPONIVEL");
}

TEST_F(Creditos, TwoOperatorsOnTwoServersRaceForTheWholeAdvanceAndOnlyOneGetsIt) {
  // A second server over the same database: on PostgreSQL the two transactions really overlap.
  auto other = service::openService(storage_->where(), service::testing::fixedClock());
  const nlohmann::json packet = chosen("GetContaAd", records::cdsContaAd(), 300.00);
  std::vector<remote::Reply> replies(2);
  const auto race = [&](service::Service& s, const std::string& number, remote::Reply& out) {
    remote::Request req{
        "Rec12000.rdmHabContRec",
        "SetConfirma_Adianta",
        "04",
        {Variant::packet(packet), Variant("0001"), Variant(number), Variant("5"), Variant(300.00)},
        {false, true, true, false, false}};
    out = s.dispatcher->handle("demo", req);
  };
  std::thread a([&] { race(*svc_, "0000000002", replies[0]); });
  std::thread b([&] { race(*other, "0000000007", replies[1]); });
  a.join();
  b.join();
  const int won = (replies[0].ok() ? 1 : 0) + (replies[1].ok() ? 1 : 0);
  EXPECT_EQ(won, 1) << replies[0].key << " / " << replies[1].key;
  for (const auto& r : replies) {
    if (!r.ok()) {
      EXPECT_EQ(r.key, "vrDesc_<_vrdisp") << r.text;
    }
  }
  EXPECT_EQ(advanceLeft(), 0);
  EXPECT_EQ(cents("SELECT SUM(VRUSADO) FROM CREDITOUSO WHERE IDTPCREDITO = 'A'"), 30000);
  EXPECT_EQ(count("SELECT COUNT(*) FROM AJUSTEBOLREC WHERE CDAJUCTREC = '0005'"), 1);
  EXPECT_EQ(net("0000000002") + net("0000000007"), 83000 + 265010 - 30000);
}

}  // namespace
