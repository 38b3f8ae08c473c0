// What an emission run tells the service: the model of a stored number, boletos marked
// emitted one by one or by list, the origin branch check and the customers' addresses.

#include <gtest/gtest.h>

#include "ServiceFixture.h"

using remote::Variant;

namespace {

using Emissao = service::testing::SeededService;

// Company 04's pending boletos on account 001, and a boleto of company 08.
const char* const kAlfa = "00010000000001";
const char* const kBeta = "00010000000002";
const char* const kJoao = "00020000000003";
const char* const kOther = "00030000000003";

std::string where(const std::string& key) {
  return " FROM BOLRECEBER WHERE CDFILIAL = '" + key.substr(0, 4) + "' AND NRLANBOLREC = '" +
         key.substr(4) + "'";
}

nlohmann::json rowsOf(const remote::Reply& r) {
  return r.result.packetJson().at("rows");
}

std::vector<std::string> texts(const remote::Reply& r) {
  std::vector<std::string> out;
  for (const auto& v : r.result.items()) out.push_back(v.asString());
  return out;
}

class EmissaoRun : public Emissao {
 protected:
  std::string field(const std::string& name, const std::string& key) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + name + where(key), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  remote::Reply setCodBarra(const std::string& key, const std::string& number,
                            const std::string& model) {
    return call("SetCodBarra",
                {Variant(""), Variant(""), Variant(number), Variant(key.substr(0, 4)),
                 Variant(key.substr(4)), Variant(""), Variant(model), Variant("001")});
  }
  remote::Reply alt(int64_t n, const std::string& list, const std::string& key) {
    return call("AltBoletos", {Variant(n), Variant(list), Variant(key)});
  }
  std::string criaLista(const std::vector<std::string>& keys) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& k : keys) rows.push_back({nullptr, k});
    nlohmann::json packet{{"fields",
                           {{{"name", "NRLISTA"}, {"type", "S"}, {"size", 10}},
                            {{"name", "CDLISTA"}, {"type", "S"}, {"size", 50}}}},
                          {"rows", rows}};
    auto r = call("CriaLista", {Variant::packet(packet), Variant("0001")});
    EXPECT_TRUE(r.ok()) << r.text;
    return r.result.items()[1].packetJson()["rows"][0][0];
  }
};

}  // namespace

TEST_F(EmissaoRun, OneBoletoTakesTheModelItsNumberWasStoredFor) {
  ASSERT_TRUE(setCodBarra(kAlfa, "12345678901", "1").ok());
  EXPECT_EQ(field("IDMODELONUM", kAlfa), "1");
  EXPECT_EQ(field("IDBOLEMITIDO", kAlfa), "<null>") << "stored, not yet emitted";
  EXPECT_EQ(setCodBarra(kAlfa, "12345678901", "0").key, "ARG_INVALIDO");

  auto r = alt(1, "", kAlfa);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(field("IDSTATBREC", kAlfa), "E");
  EXPECT_EQ(field("IDBOLEMITIDO", kAlfa), "1");
  EXPECT_NE(field("DTEMITBOLREC", kAlfa), "<null>");
  EXPECT_TRUE(alt(1, "", kAlfa).ok()) << "marking again changes nothing";
  EXPECT_EQ(field("IDBOLEMITIDO", kAlfa), "1");

  // Without a recorded model the emitted model stays what it was; a written-off boleto
  // printed again is left as it is.
  ASSERT_TRUE(alt(1, "", "00010000000003").ok());
  EXPECT_EQ(field("IDBOLEMITIDO", "00010000000003"), "2");
  ASSERT_TRUE(alt(1, "", kJoao).ok());
  EXPECT_EQ(field("IDSTATBREC", kJoao), "E");
  EXPECT_EQ(field("IDBOLEMITIDO", kJoao), "<null>");
  ASSERT_TRUE(alt(1, "", "00010000000006").ok());
  EXPECT_EQ(field("IDSTATBREC", "00010000000006"), "B");
  EXPECT_EQ(field("DTEMITBOLREC", "00010000000006"), "<null>");
}

TEST_F(EmissaoRun, BadKeysAndArgumentsAreRefusedAndChangeNothing) {
  EXPECT_EQ(alt(1, "", kOther).key, "BOL_NC") << "company 08's boleto, caller in 04";
  EXPECT_EQ(field("IDSTATBREC", kOther), "E");
  EXPECT_EQ(field("DTEMITBOLREC", kOther), "<null>");
  EXPECT_EQ(alt(1, "", "00019999999999").key, "BOL_NC");
  EXPECT_EQ(alt(1, "", "0001").key, "ARG_INVALIDO");
  EXPECT_EQ(alt(0, "", kBeta).key, "ARG_INVALIDO");
  EXPECT_EQ(call("AltBoletos", {Variant("1"), Variant(""), Variant(kBeta)}).key, "ARG_TIPO");
  EXPECT_EQ(call("AltBoletos", {Variant(1), Variant("")}).key, "ARG_QTDE");
  EXPECT_EQ(field("IDSTATBREC", kBeta), "A");
}

TEST_F(EmissaoRun, AListIsMarkedWholeByAnyOfItsKeysAndThenDeleted) {
  // The pre-printed run: the first boleto numbered, the list marked once per row, the second
  // boleto numbered afterwards.
  const std::string nr = criaLista({kAlfa, kJoao});
  ASSERT_TRUE(setCodBarra(kAlfa, "11111111111", "1").ok());
  for (const char* key : {kAlfa, kJoao}) {
    auto r = alt(2, nr, key);
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(r.result.asInteger(), 2);
  }
  EXPECT_EQ(field("IDSTATBREC", kJoao), "E");
  EXPECT_EQ(field("IDBOLEMITIDO", kAlfa), "1");
  ASSERT_TRUE(setCodBarra(kJoao, "22222222222", "1").ok());
  EXPECT_EQ(field("IDBOLEMITIDO", kJoao), "1");

  EXPECT_EQ(alt(2, nr, kBeta).key, "LISTA_NC") << "a key the list does not hold";
  ASSERT_TRUE(call("ApagaLista", {Variant(nr)}).ok());
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = '" + nr + "'"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = '" + nr + "'"), 0);
  EXPECT_EQ(alt(2, nr, kAlfa).key, "LISTA_NC");

  // A list holding another company's boleto is refused whole.
  const std::string mixed = criaLista({kBeta, kOther});
  EXPECT_EQ(alt(2, mixed, kBeta).key, "BOL_NC");
  EXPECT_EQ(field("IDSTATBREC", kBeta), "A");
}

TEST_F(Emissao, OriginBranchMayIssueOnlyOnItsOwnAccount) {
  auto ask = [&](const char* code, const char* bank, const char* agency, const char* account,
                 const char* origin) {
    return call("GetVdFilOrig", {Variant(bank), Variant(agency), Variant(account), Variant(code),
                                 Variant("04"), Variant(origin)});
  };
  auto allowed = ask("4", "041", "0100", "0601234", "2");
  ASSERT_TRUE(allowed.ok()) << allowed.text;
  ASSERT_EQ(rowsOf(allowed).size(), 1u);
  EXPECT_EQ(rowsOf(allowed)[0][0], "0002");
  EXPECT_EQ(rowsOf(allowed)[0][1], "Filial Campinas");
  EXPECT_TRUE(rowsOf(ask("004", "041", "0100", "0601234", "0001")).empty());
  EXPECT_TRUE(rowsOf(ask("004", "041", "0100", "0601234", "")).empty());
  EXPECT_EQ(rowsOf(ask("", "237", "1234", "0012345", "0001")).size(), 1u) << "by bank and number";
  EXPECT_TRUE(rowsOf(ask("", "237", "1234", "0012345", "0002")).empty());
}

TEST_F(Emissao, FirstMarkedBoletoWhoseCustomerHasNoAddress) {
  auto packet = [](const std::vector<std::vector<const char*>>& rows, bool withMark) {
    nlohmann::json fields = {{{"name", "CDFILIAL"}, {"type", "S"}, {"size", 4}},
                             {{"name", "NRLANBOLREC"}, {"type", "S"}, {"size", 10}}};
    if (withMark) fields.push_back({{"name", "IDMARCADO"}, {"type", "S"}, {"size", 1}});
    nlohmann::json data = nlohmann::json::array();
    for (const auto& r : rows) {
      nlohmann::json row = {r[0], r[1]};
      if (withMark) row.push_back(r[2]);
      data.push_back(row);
    }
    return Variant::packet({{"fields", fields}, {"rows", data}});
  };
  const std::vector<std::vector<const char*>> list = {
      {"0001", "0000000001", "M"}, {"0001", "0000000002", "A"}, {"2", "3", "M"}};
  auto ask = [&](const Variant& p) { return texts(call("GetVerifEndeClie", {p})); };

  EXPECT_EQ(ask(packet(list, true)), (std::vector<std::string>{"", ""}));
  auto& sql = svc_->db->session();
  sql << "UPDATE CLIENTE SET DSENDECLIE = '  ' WHERE CDCLIENTE = '000000000000000000102'";
  sql << "UPDATE CLIENTE SET NRCEPCLIE = '01430-00' WHERE CDCLIENTE = '000000000000000000105'";
  EXPECT_EQ(ask(packet(list, true)),
            (std::vector<std::string>{kJoao, "000000000000000000105 - João da Silva Pereira"}))
      << "the unmarked Beta row does not count";
  EXPECT_EQ(ask(packet(list, false))[0], kBeta) << "without marks every row counts";
  EXPECT_EQ(ask(packet({{"0003", "0000000003"}}, false))[0], "")
      << "Beta's boleto of company 08 is not the caller's";

  sql << "UPDATE CLIENTE SET NRCEPCLIE = '01430-000', DSENDECLIE = 'Rua Nova, 1'";
  std::vector<std::vector<const char*>> many(100000, {"0001", "0000000002"});
  many.push_back({"0001", "0000000008"});
  sql << "UPDATE CLIENTE SET SGESTADO = NULL WHERE CDCLIENTE = '000000000000000000108'";
  EXPECT_EQ(ask(packet(many, false))[0], "00010000000008");

  nlohmann::json noNumber = {{"fields", {{{"name", "CDFILIAL"}, {"type", "S"}, {"size", 4}}}},
                             {"rows", nlohmann::json::array()}};
  EXPECT_EQ(call("GetVerifEndeClie", {Variant::packet(noNumber)}).key, "ARG_INVALIDO");
}
