// The register filter's criteria, each narrowing company 04's demo boletos to what it names.

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "ServiceFixture.h"

using remote::Variant;

namespace {

using Args = std::vector<Variant>;

// Every criterion at rest: "Todos"/"Todas", no dates, no values, both status and protest.
Args restingArgs() {
  Args a(37, Variant(""));
  for (size_t i : {4u, 9u, 13u, 18u, 19u, 29u}) a[i] = Variant(false);
  for (size_t i : {11u, 12u, 22u, 34u, 35u}) a[i] = Variant();
  a[15] = a[16] = Variant(0.0);
  a[25] = a[26] = Variant(int64_t{0});
  a[0] = Variant("04");
  a[1] = Variant("0001");
  a[17] = Variant("Sim");
  return a;
}

host::DateTime day(int offset) {
  return host::DateTime::fromYmd(2026, 3, 2).addDays(offset);
}

struct Case {
  const char* name;
  std::function<void(Args&)> set;
  std::set<std::string> keys;  // "branch/number" without leading zeros: "1/3"
};

const std::set<std::string> kAll = {"1/1", "1/2", "1/3", "1/4", "1/5", "1/6",
                                    "1/7", "1/8", "1/9", "2/1", "2/2", "2/3"};

std::set<std::string> allBut(std::set<std::string> out) {
  std::set<std::string> s;
  for (const auto& k : kAll)
    if (!out.count(k)) s.insert(k);
  return s;
}

const Case kCases[] = {
    {"Resting", [](Args&) {}, kAll},
    {"NossoNumeroAloneIgnoresTheRest",
     [](Args& a) {
       a[2] = Variant("00000015838-3");
       a[25] = Variant(int64_t{1});  // emitted only: would exclude it
       a[9] = Variant(true);
       a[10] = Variant("0002");
     },
     {"1/2"}},
    {"ClientList",
     [](Args& a) {
       a[4] = Variant(true);
       a[3] = Variant("000000000000000000101");
     },
     {"1/1", "2/2"}},
    {"ClientListIgnoredWithoutLista", [](Args& a) { a[3] = Variant("000000000000000000101"); },
     kAll},
    {"ClientsFoundBySearchKey",
     [](Args& a) {
       a[5] = Variant("_000000000000000000103");
       a[6] = Variant("Gama");
     },
     {"1/4", "1/9"}},
    {"ClientListPlusFound",
     [](Args& a) {
       a[4] = Variant(true);
       a[3] = Variant(" 000000000000000000101 ,");
       a[5] = Variant("_000000000000000000103");
     },
     {"1/1", "2/2", "1/4", "1/9"}},
    {"ClientListChosenButEmptyFindsNothing", [](Args& a) { a[4] = Variant(true); }, {}},
    {"DocumentFromAlone", [](Args& a) { a[7] = Variant("3"); }, {"1/3", "2/3"}},
    {"DocumentRange",
     [](Args& a) {
       a[7] = Variant("000000001");
       a[8] = Variant("2");
     },
     {"1/1", "2/1", "1/2", "2/2"}},
    {"DocumentOfASecondReceivable",
     [](Args& a) {
       a[7] = Variant("500");
       a[8] = Variant("500");
     },
     {"1/3"}},
    {"PostingBranches",
     [](Args& a) {
       a[9] = Variant(true);
       a[10] = Variant("0002");
     },
     {"2/1", "2/2", "2/3"}},
    {"OriginBranches", [](Args& a) { a[24] = Variant("0002"); }, {"1/1"}},
    {"BranchModuleShowsItsBranchsBoletos",
     [](Args& a) {
       a[29] = Variant(true);
       a[1] = Variant("0001");
     },
     {"2/1"}},
    {"DueDates",
     [](Args& a) {
       a[11] = Variant(day(0));
       a[12] = Variant(day(10));
     },
     {"1/1", "2/1", "1/9"}},
    {"EmissionDates",
     [](Args& a) {
       a[34] = Variant(day(-30));
       a[35] = Variant(day(-30));
     },
     {"1/1", "1/2", "1/3", "2/1", "1/5", "1/8", "1/9", "2/3"}},
    {"WriteOffTypes",
     [](Args& a) {
       a[13] = Variant(true);
       a[14] = Variant("01,02");
     },
     {"1/6", "2/2"}},
    {"ValueRange",
     [](Args& a) {
       a[15] = Variant(100.0);
       a[16] = Variant(830.0);
     },
     {"1/3", "1/6", "2/2", "1/2", "1/8", "1/9"}},
    {"ValueFromWithoutUpperBound",
     [](Args& a) { a[15] = Variant(1200.0); },
     {"1/1", "1/4", "1/5", "1/7"}},
    {"Accounts",
     [](Args& a) {
       a[19] = Variant(true);
       a[21] = Variant("001,002");
     },
     {"1/1", "1/2", "1/3", "2/3"}},
    {"InvoiceListWithoutSelectionList",
     [](Args& a) {
       a[18] = Variant(true);
       a[20] = Variant("000004");
     },
     {"1/4"}},
    {"Emitted", [](Args& a) { a[25] = Variant(int64_t{1}); }, {"1/3", "1/4", "2/1", "1/7", "1/9"}},
    {"Pending", [](Args& a) { a[25] = Variant(int64_t{2}); },
     allBut({"1/3", "1/4", "2/1", "1/7", "1/9"})},
    {"Protested", [](Args& a) { a[26] = Variant(int64_t{1}); }, {"1/7"}},
    {"NotProtested", [](Args& a) { a[26] = Variant(int64_t{2}); }, allBut({"1/7"})},
    {"BudgetFromAlone", [](Args& a) { a[27] = Variant("100"); }, {"1/1"}},
    {"BudgetRange",
     [](Args& a) {
       a[27] = Variant("100");
       a[28] = Variant("0000000200");
     },
     {"1/1", "1/2"}},
    {"ClientGroups", [](Args& a) { a[30] = Variant("02"); }, {"1/4", "2/1", "1/9"}},
    {"SituationNotSentIncludesNeverSent",
     [](Args& a) { a[31] = Variant("_00"); },
     {"1/1", "1/2", "2/2", "1/8", "1/9", "2/3"}},
    {"Situations", [](Args& a) { a[31] = Variant("_10_20"); }, {"1/3", "1/4", "1/5", "1/7"}},
    {"Remittance", [](Args& a) { a[32] = Variant("11"); }, {"1/2", "1/3"}},
    {"Return", [](Args& a) { a[33] = Variant("0000000021"); }, {"1/2"}},
    {"Vehicles", [](Args& a) { a[36] = Variant("0001"); }, {"1/1", "2/1"}},
    {"SeveralCriteriaTogether",
     [](Args& a) {
       a[25] = Variant(int64_t{2});
       a[30] = Variant("01,03");
       a[11] = Variant(day(0));
       a[12] = Variant(day(60));
     },
     {"1/1", "1/2", "1/8", "2/3"}},
    {"ListTextsAreBoundNotSpliced",
     [](Args& a) {
       a[9] = Variant(true);
       a[10] = Variant("0001') OR ('1'='1");
     },
     {}},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class Filtro : public service::testing::SeededService, public ::testing::WithParamInterface<Case> {
 protected:
  std::set<std::string> keysOf(const remote::Reply& r) {
    std::set<std::string> keys;
    const auto& fields = r.result.packetJson().at("fields");
    size_t f = 0, n = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i]["name"] == "CDFILIAL") f = i;
      if (fields[i]["name"] == "NRLANBOLREC") n = i;
    }
    for (const auto& row : r.result.packetJson().at("rows"))
      keys.insert(std::to_string(std::stoi(row[f].get<std::string>())) + "/" +
                  std::to_string(std::stoi(row[n].get<std::string>())));
    return keys;
  }
};

}  // namespace

TEST_P(Filtro, CriterionNarrowsTheList) {
  Args a = restingArgs();
  GetParam().set(a);
  auto r = call("Filtro", a);
  ASSERT_TRUE(r.ok()) << r.key << ": " << r.text;
  EXPECT_EQ(keysOf(r), GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(Criteria, Filtro, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return p.param.name; });

using FiltroList = service::testing::SeededService;

TEST_F(FiltroList, InvoicesThroughTheSelectionListOfTheLatestChoiceOnly) {
  std::string stLista;
  auto first = call("InsLista", {Variant("000500"), Variant(stLista)}, {true, true});
  ASSERT_TRUE(first.ok()) << first.text;
  stLista = first.result.asString();
  ASSERT_EQ(stLista.size(), 10u);
  ASSERT_EQ(first.refArgs.size(), 1u);
  EXPECT_EQ(first.refArgs[0].second.asString(), stLista);

  Args a = restingArgs();
  a[18] = Variant(true);
  a[20] = Variant("000500");
  a[23] = Variant(stLista);
  auto r = call("Filtro", a);
  ASSERT_TRUE(r.ok()) << r.text;
  ASSERT_EQ(r.result.packetJson()["rows"].size(), 1u);

  // The next confirmation chooses other invoices: the list is refilled, not added to.
  auto second = call("InsLista", {Variant("000004, 000001"), Variant(stLista)}, {true, true});
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second.result.asString(), stLista);
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = '" + stLista + "'"), 2);
  a[20] = Variant("000004,000001");
  EXPECT_EQ(call("Filtro", a).result.packetJson()["rows"].size(), 3u);

  // Another operator's list (or one deleted meanwhile) is never touched: a new one is made.
  svc_->db->session() << "UPDATE LISTA SET CDOPERADOR = 'outro' WHERE NRLISTA = '" + stLista + "'";
  auto third = call("InsLista", {Variant("000001"), Variant(stLista)}, {true, true});
  EXPECT_NE(third.result.asString(), stLista);
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = '" + stLista + "'"), 2);
  EXPECT_EQ(call("InsLista", {Variant(std::string(51, '1')), Variant("")}, {true, true}).key,
            "ARG_TAMANHO");
}

TEST_F(FiltroList, BadArgumentsAreRefusedWithTheirKey) {
  Args a = restingArgs();
  a[25] = Variant(int64_t{3});
  EXPECT_EQ(call("Filtro", a).key, "ARG_INVALIDO");
  a = restingArgs();
  a[26] = Variant("1");
  EXPECT_EQ(call("Filtro", a).key, "ARG_TIPO");
  a = restingArgs();
  a[2] = Variant(std::string(21, '1'));
  EXPECT_EQ(call("Filtro", a).key, "ARG_TAMANHO");
  a = restingArgs();
  a[11] = Variant("02/03/2026");
  EXPECT_EQ(call("Filtro", a).key, "ARG_TIPO");
  a = restingArgs();
  a[0] = Variant("99");
  EXPECT_EQ(call("Filtro", a).key, "ACESSO_EMPRESA");
  a.pop_back();
  EXPECT_EQ(call("Filtro", a).key, "ARG_QTDE");
}
