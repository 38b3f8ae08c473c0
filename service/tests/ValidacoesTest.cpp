// The look-ups behind the register's field checks, against the seeded service.

#include <gtest/gtest.h>

#include "ServiceFixture.h"

using remote::Variant;

namespace {

using Validacoes = service::testing::SeededService;

const nlohmann::json& rowsOf(const Variant& v) {
  return v.packetJson().at("rows");
}
const nlohmann::json& rowsOf(const remote::Reply& r) {
  return rowsOf(r.result);
}

nlohmann::json cell(const Variant& v, const std::string& field, size_t row = 0) {
  const auto& fields = v.packetJson().at("fields");
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].at("name") == field) return v.packetJson().at("rows").at(row).at(i);
  ADD_FAILURE() << "no field " << field;
  return nullptr;
}
nlohmann::json cell(const remote::Reply& r, const std::string& field, size_t row = 0) {
  return cell(r.result, field, row);
}

const char* const kAlfa = "000000000000000000101";

// A packet of boleto keys, optionally with their marks.
Variant keys(const std::vector<std::vector<const char*>>& rows, bool withMark = false) {
  nlohmann::json fields =
      nlohmann::json::array({{{"name", "CDFILIAL"}, {"type", "S"}, {"size", 4}},
                             {{"name", "NRLANBOLREC"}, {"type", "S"}, {"size", 10}}});
  if (withMark) fields.push_back({{"name", "IDMARCADO"}, {"type", "S"}, {"size", 1}});
  nlohmann::json data = nlohmann::json::array();
  for (const auto& r : rows) {
    nlohmann::json row = nlohmann::json::array();
    for (const char* c : r) row.push_back(c);
    data.push_back(row);
  }
  return Variant::packet({{"fields", fields}, {"rows", data}});
}

}  // namespace

TEST_F(Validacoes, AccountsComeWithTheirBoletoMessageOneOrAllAndPadded) {
  auto one =
      call("GetContCorr", {Variant("1"), Variant("04"), Variant(""), Variant(kAlfa), Variant("N")});
  ASSERT_TRUE(one.ok()) << one.text;
  ASSERT_TRUE(one.result.isArray());
  const auto& both = one.result.items();
  ASSERT_EQ(rowsOf(both[0]).size(), 1u);
  EXPECT_EQ(cell(both[0], "CDREDUCONT"), "001");
  EXPECT_EQ(cell(both[0], "CDBANCCNAB"), "237");
  EXPECT_EQ(cell(both[0], "IDIMPRBOLETO"), "B");
  EXPECT_EQ(cell(both[1], "TXMENSBOLETO"), "Não receber após 30 dias do vencimento.");

  auto all =
      call("GetContCorr", {Variant(""), Variant("04"), Variant("T"), Variant(""), Variant("")});
  ASSERT_TRUE(all.ok()) << all.text;
  EXPECT_EQ(rowsOf(all.result.items()[0]).size(), 10u);
  EXPECT_EQ(rowsOf(all.result.items()[1]).size(), 10u);
  // Another company's accounts only when named; an unknown code gives no account.
  EXPECT_EQ(rowsOf(call("GetContCorr",
                        {Variant("1"), Variant("08"), Variant(""), Variant(""), Variant("")})
                       .result.items()[0])
                .size(),
            1u);
  EXPECT_TRUE(rowsOf(call("GetContCorr",
                          {Variant("77"), Variant(""), Variant(""), Variant(""), Variant("")})
                         .result.items()[0])
                  .empty());
  // Bad arguments are refused, never guessed at.
  EXPECT_EQ(
      call("GetContCorr", {Variant("1"), Variant("04"), Variant("X"), Variant(""), Variant("")})
          .key,
      "ARG_INVALIDO");
  EXPECT_EQ(
      call("GetContCorr", {Variant("1234"), Variant("04"), Variant(""), Variant(""), Variant("")})
          .key,
      "ARG_TAMANHO");
  EXPECT_EQ(
      call("GetContCorr", {Variant("1"), Variant("99"), Variant(""), Variant(""), Variant("")}).key,
      "ACESSO_EMPRESA");
}

TEST_F(Validacoes, WriteOffTypesInstructionsPerBankAndBranches) {
  auto wo = call("GetVdTipoBaixa", {Variant("1")});
  ASSERT_EQ(rowsOf(wo).size(), 1u);
  EXPECT_EQ(cell(wo, "NMTPBAIXAREC"), "Pagamento");
  EXPECT_TRUE(rowsOf(call("GetVdTipoBaixa", {Variant("77")})).empty());
  EXPECT_EQ(rowsOf(call("GetPesqTpBaixa", {})).size(), 3u);

  EXPECT_EQ(rowsOf(call("GetInstCobr", {Variant("341"), Variant("9"), Variant("")})).size(), 1u);
  EXPECT_TRUE(rowsOf(call("GetInstCobr", {Variant("237"), Variant("09"), Variant("")})).empty())
      << "instruction 09 is not one of bank 237's";
  EXPECT_EQ(rowsOf(call("GetInstCobr", {Variant("237"), Variant(""), Variant("T")})).size(), 3u);

  auto fil = call("GetFiliOrig", {Variant("2"), Variant("04")});
  ASSERT_EQ(rowsOf(fil).size(), 1u);
  EXPECT_EQ(cell(fil, "NMFILIAL"), "Filial Campinas");
  EXPECT_TRUE(rowsOf(call("GetFiliOrig", {Variant("0003"), Variant("04")})).empty())
      << "branch 0003 belongs to company 08";
  EXPECT_EQ(rowsOf(call("GetFiliOrig", {Variant(""), Variant("04")})).size(), 2u);

  // The account's own branch is proposed, by account code or by bank, agency and number.
  auto cc = call("GetFilialCC", {Variant("041"), Variant("0100"), Variant("0601234"), Variant("4"),
                                 Variant("04")});
  ASSERT_EQ(rowsOf(cc).size(), 1u);
  EXPECT_EQ(cell(cc, "CDFILORIG"), "0002");
  auto byNumber = call("GetFilialCC", {Variant("237"), Variant("1234"), Variant("0012345"),
                                       Variant(""), Variant("")});
  ASSERT_EQ(rowsOf(byNumber).size(), 1u);
  EXPECT_EQ(cell(byNumber, "NMFILIAL"), "Matriz São Paulo");
}

TEST_F(Validacoes, StatusClearingAndPaymentTypesOfBoletos) {
  auto st = call("GetStatus", {Variant("1"), Variant("6")}, {true, true});
  ASSERT_TRUE(st.ok()) << st.text;
  EXPECT_EQ(cell(st, "IDSTATBREC"), "B");
  EXPECT_EQ(cell(st, "NRBAIXAREC"), "0000000006");
  EXPECT_EQ(cell(call("GetStatus", {Variant("0001"), Variant("0000000003")}), "NRCNABRECREM"),
            "0000000011");

  EXPECT_EQ(call("GetVdCompensa", {Variant("0001"), Variant("4")}).result.asString(), "TRUE");
  EXPECT_EQ(call("GetVdCompensa", {Variant("0001"), Variant("3")}).result.asString(), "FALSE");
  EXPECT_EQ(call("GetVdCompensa", {Variant("0001"), Variant("999")}).key, "ARG_INVALIDO");
  EXPECT_EQ(call("GetVdTBolCompensa", {keys({{"0001", "0000000003"}, {"0001", "0000000004"}})})
                .result.asString(),
            "00010000000004");
  EXPECT_EQ(call("GetVdTBolCompensa", {keys({{"0001", "0000000003"}})}).result.asString(), "");

  // Only marked boletos count; a boleto with payment types answers "EXISTTPREC".
  EXPECT_EQ(call("GetVeriTpRecBoleto",
                 {keys({{"0001", "0000000001", "M"}, {"0001", "0000000002", "M"}}, true)})
                .result.asString(),
            "EXISTTPREC");
  EXPECT_EQ(call("GetVeriTpRecBoleto",
                 {keys({{"0001", "0000000001", "A"}, {"0001", "0000000002", "M"}}, true)})
                .result.asString(),
            "");
  EXPECT_EQ(rowsOf(call("GetCdRedTpRe", {Variant("0001"), Variant("0000000001")})).size(), 2u);

  auto del = call("DelTpRec", {Variant("0001"), Variant("0000000001")});
  ASSERT_TRUE(del.ok()) << del.text;
  EXPECT_EQ(del.result.asInteger(), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM TPRECBOLETO WHERE NRLANBOLREC = '0000000001' AND CDFILIAL "
                  "= '0001'"),
            0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CHEQUEBOLREC WHERE NRLANBOLREC = '0000000001' AND CDFILIAL "
                  "= '0001'"),
            0);
  EXPECT_EQ(call("DelTpRec", {Variant("0001"), Variant("0000009999")}).key, "ARG_INVALIDO");
}

TEST_F(Validacoes, RegisteredChequesTheirAccountAndWhatIsStillFree) {
  auto exist =
      call("GetExistCheque", {Variant("123"), Variant("237"), Variant("1234"), Variant("0012345")});
  ASSERT_EQ(rowsOf(exist).size(), 1u);
  EXPECT_EQ(cell(exist, "CDREDUCONT"), "001");
  EXPECT_TRUE(rowsOf(call("GetExistCheque",
                          {Variant("123"), Variant("237"), Variant("1234"), Variant("9")}))
                  .empty());

  // Known by number for the customer: bank, agency and account come from the register.
  auto known = call("GetValidaCheque",
                    {Variant(kAlfa), Variant("456"), Variant(""), Variant(""), Variant("")});
  ASSERT_EQ(rowsOf(known).size(), 1u);
  EXPECT_EQ(cell(known, "CDBANCHEQREC"), "341");
  EXPECT_EQ(cell(known, "CDCNTCHEQREC"), "0098765");
  EXPECT_TRUE(rowsOf(call("GetValidaCheque",
                          {Variant("102"), Variant("456"), Variant(""), Variant(""), Variant("")}))
                  .empty())
      << "another customer's cheque";

  // Cheque 000123 is applied in full to a boleto: registered, but no longer available.
  EXPECT_TRUE(rowsOf(call("GetChequePerm", {Variant(kAlfa), Variant("123"), Variant("237"),
                                            Variant("1234"), Variant("0012345")}))
                  .empty());
  EXPECT_EQ(rowsOf(call("GetChequePerm",
                        {Variant(kAlfa), Variant("456"), Variant(""), Variant(""), Variant("")}))
                .size(),
            1u);

  EXPECT_EQ(
      call("GetValNrCheque", {Variant("0001"), Variant("1"), Variant("123")}).result.asString(),
      "02");
  EXPECT_EQ(
      call("GetValNrCheque", {Variant("0001"), Variant("1"), Variant("456")}).result.asString(),
      "");
  EXPECT_EQ(call("GetValNrCheque", {Variant("0001"), Variant("1"), Variant("1234567")}).key,
            "ARG_TAMANHO");
}
