#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ServiceFixture.h"
#include "host/Errors.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

using remote::Variant;
using service::testing::SeededService;

namespace {

using Dispatch = SeededService;

const nlohmann::json& rowsOf(const remote::Reply& r) {
  return r.result.packetJson().at("rows");
}

std::string column(const remote::Reply& r, const std::string& field, size_t row = 0) {
  const auto& fields = r.result.packetJson().at("fields");
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].at("name") == field) {
      const auto& v = rowsOf(r).at(row).at(i);
      return v.is_null() ? "<null>" : v.is_string() ? v.get<std::string>() : v.dump();
    }
  return "<no field>";
}

}  // namespace

TEST_F(Dispatch, MethodsAreFoundByExactName) {
  EXPECT_TRUE(call("GetCont_Corr", {Variant("001")}).ok());
  for (const char* wrong : {"getCont_Corr", "GETCONT_CORR", "GetCont_Corr "}) {
    auto r = call(wrong, {Variant("001")});
    EXPECT_EQ(r.key, "METODO_DESCONHECIDO") << wrong;
  }
  EXPECT_EQ(call("GetCont_Corr", {Variant("001")}, {}, "04", "demo", "rec12000.rdmHabContRec").key,
            "OBJETO_DESCONHECIDO");
  EXPECT_EQ(call("GetCont_Corr", {}).key, "ARG_QTDE");
}

TEST_F(Dispatch, AccountComesWithItsCodePaddedBackThroughTheInOutArgument) {
  auto r = call("GetCont_Corr", {Variant("6")}, {true});
  ASSERT_TRUE(r.ok()) << r.text;
  ASSERT_EQ(r.refArgs.size(), 1u);
  EXPECT_TRUE(r.refArgs[0].second == Variant("006"));
  ASSERT_EQ(rowsOf(r).size(), 1u);
  EXPECT_EQ(column(r, "CDBANCO"), "341");
  EXPECT_EQ(column(r, "NMBANCO"), "Banco 341");
  EXPECT_EQ(column(r, "QTDIAPROTEST"), "5.0");
  // Another company's account of the same code is another account.
  auto other = call("GetCont_Corr", {Variant("001")}, {true}, "08");
  EXPECT_EQ(column(other, "CDBANCCNAB"), "025");
  EXPECT_EQ(rowsOf(call("GetCont_Corr", {Variant("999")})).size(), 0u);
}

TEST_F(Dispatch, BadArgumentsAreRefusedWithAKeyAndAReadableText) {
  auto tooLong = call("GetCont_Corr", {Variant("0001")});
  EXPECT_EQ(tooLong.key, "ARG_TAMANHO");
  EXPECT_NE(tooLong.text.find("CDREDUCONT"), std::string::npos) << tooLong.text;
  EXPECT_EQ(call("GetCont_Corr", {Variant(int64_t{1})}).key, "ARG_TIPO");
  // Sizes count characters, not bytes: three accented letters fit a field of three.
  EXPECT_TRUE(call("GetCont_Corr", {Variant("ÁÉÍ")}).ok());
  auto padded = call("GetCont_Corr", {Variant("ÁÉ")}, {true});
  ASSERT_TRUE(padded.ok()) << padded.text;
  EXPECT_TRUE(padded.refArgs.at(0).second == Variant("0ÁÉ"));
}

TEST_F(Dispatch, CompanyAccessIsCheckedForEveryCall) {
  EXPECT_EQ(call("GetCont_Corr", {Variant("001")}, {}, "99").key, "ACESSO_EMPRESA");
  EXPECT_EQ(call("GetCont_Corr", {Variant("001")}, {}, "04", "intruso").key, "ACESSO_EMPRESA");
  auto acesso = [&](const char* op, const char* company) {
    return call("AcessoOperEmpresa", {Variant(op), Variant(company)}, {}, "", "demo",
                "Host.rdmAcesso")
        .result.asBoolean();
  };
  EXPECT_TRUE(acesso("demo", "08"));
  EXPECT_FALSE(acesso("demo", "05"));
  EXPECT_EQ(call("Operador", {}, {}, "", "demo", "Host.rdmAcesso").result.asString(), "demo");
}

TEST_F(Dispatch, ACallFailingHalfwayChangesNothing) {
  auto& d = *svc_->dispatcher;
  d.add("Teste.rdmFalha", "Recusa", 0, [](service::CallContext& ctx) -> Variant {
    ctx.sql() << "INSERT INTO VIATURA (CDVIATURA, DSVIATURA) VALUES ('0009', 'escrita')";
    throw service::Refusal("ALT_BLOQ", "refused after writing");
  });
  d.add("Teste.rdmFalha", "Quebra", 0, [](service::CallContext& ctx) -> Variant {
    ctx.sql() << "INSERT INTO VIATURA (CDVIATURA, DSVIATURA) VALUES ('0008', 'escrita')";
    ctx.sql() << "INSERT INTO VIATURA (CDVIATURA, DSVIATURA) VALUES ('0001', 'repetida')";
    return Variant();
  });
  int before = count("SELECT COUNT(*) FROM VIATURA");
  EXPECT_EQ(call("Recusa", {}, {}, "04", "demo", "Teste.rdmFalha").key, "ALT_BLOQ");
  auto broken = call("Quebra", {}, {}, "04", "demo", "Teste.rdmFalha");
  EXPECT_EQ(broken.key, "ERRO_SERVICO");
  EXPECT_EQ(count("SELECT COUNT(*) FROM VIATURA"), before);
}

TEST_F(Dispatch, SelectionListsAreCreatedAndDeleted) {
  nlohmann::json packet{
      {"fields",
       {{{"name", "NRLISTA"}, {"type", "S"}, {"size", 10}},
        {{"name", "CDLISTA"}, {"type", "S"}, {"size", 50}}}},
      {"rows",
       {{nullptr, "00010000000001"}, {nullptr, "00010000000002"}, {nullptr, "00010000000001"}}}};
  auto first = call("CriaLista", {Variant::packet(packet), Variant("0001")});
  ASSERT_TRUE(first.ok()) << first.text;
  ASSERT_EQ(first.result.items().size(), 2u);
  EXPECT_EQ(first.result.items()[0].asInteger(), 2);
  const auto& listed = first.result.items()[1].packetJson().at("rows");
  ASSERT_EQ(listed.size(), 2u);
  std::string nr = listed[0][0];
  auto second = call("CriaLista", {Variant::packet(packet), Variant("0001")});
  EXPECT_NE(second.result.items()[1].packetJson()["rows"][0][0], nr) << "two lists, one number";

  EXPECT_TRUE(call("ApagaLista", {Variant(nr)}).ok());
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = '" + nr + "'"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = '" + nr + "'"), 0);
  EXPECT_TRUE(call("ApagaLista", {Variant(nr)}).ok()) << "a list already gone is no error";
  EXPECT_TRUE(
      call("DelLista",
           {Variant(second.result.items()[1].packetJson()["rows"][0][0].get<std::string>())})
          .ok());
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA"), 0);

  int lists = count("SELECT COUNT(*) FROM LISTA");
  packet["rows"].push_back({nullptr, std::string(51, '9')});
  EXPECT_EQ(call("CriaLista", {Variant::packet(packet), Variant("0001")}).key, "ARG_TAMANHO");
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA"), lists);
}

TEST_F(Dispatch, FiltroListsTheCompanysBoletosWithJoinedColumns) {
  std::vector<Variant> args(37, Variant(""));
  for (int i : {4, 9, 13, 18, 19, 29}) args[static_cast<size_t>(i)] = Variant(false);
  for (int i : {11, 12, 34, 35}) args[static_cast<size_t>(i)] = Variant();
  args[15] = Variant(0.0);
  args[16] = Variant(0.0);
  args[22] = Variant();
  args[25] = Variant(int64_t{0});
  args[26] = Variant(int64_t{0});
  args[0] = Variant("08");
  auto r = call("Filtro", args, {}, "08");
  ASSERT_TRUE(r.ok()) << r.text;
  ASSERT_EQ(rowsOf(r).size(), 3u);
  EXPECT_EQ(column(r, "CDEMPRESA"), "08");
  EXPECT_EQ(column(r, "NMRAZSOCCLIE", 0).empty(), false);
  EXPECT_EQ(column(r, "FTR_NRDUPLICATA", 0).size(), 6u);

  args[0] = Variant("04");
  args[11] = Variant(host::DateTime::fromYmd(2026, 3, 2));
  args[12] = Variant(host::DateTime::fromYmd(2026, 3, 12));
  auto due = call("Filtro", args);
  ASSERT_TRUE(due.ok()) << due.text;
  for (size_t i = 0; i < rowsOf(due).size(); ++i) {
    std::string d = column(due, "DTVENBOLREC", i);
    EXPECT_GE(d, "2026-03-02");
    EXPECT_LE(d, "2026-03-12");
  }
  EXPECT_EQ(rowsOf(due).size(), 3u);
  args[0] = Variant("99");
  EXPECT_EQ(call("Filtro", args).key, "ACESSO_EMPRESA");
  args[0] = Variant("04");
  args[4] = Variant("S");
  EXPECT_EQ(call("Filtro", args).key, "ARG_TIPO");
}

TEST_F(Dispatch, ReusedStatementsSeeEveryChangeBetweenCalls) {
  ASSERT_TRUE(call("GetCont_Corr", {Variant("001")}).ok());
  svc_->db->session() << "UPDATE CONTCORR SET DSCONTCORR = 'Renomeada' WHERE CDEMPRESA = '04' "
                         "AND CDREDUCONT = '001'";
  EXPECT_EQ(column(call("GetCont_Corr", {Variant("001")}), "DSCONTCORR"), "Renomeada");
  svc_->db->session() << "DELETE FROM OPEREMPRESA WHERE CDOPERADOR = 'demo' AND CDEMPRESA = '04'";
  EXPECT_EQ(call("GetCont_Corr", {Variant("001")}).key, "ACESSO_EMPRESA");
  EXPECT_TRUE(call("GetCont_Corr", {Variant("001")}, {}, "08").ok());
}

namespace {
const char* kTestObject = "Test.rdmPool";
}

TEST_F(Dispatch, ReadOnlyCallsRunSideBySideAndSeeWhatWasCommitted) {
  auto& d = *svc_->dispatcher;
  // Each call waits (a while at most) for the other to be inside too: only calls that run
  // at the same time both see two.
  std::atomic<int> inside{0};
  d.add(kTestObject, "Meet", 0, [&](service::CallContext& ctx) {
    ++inside;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (inside.load() < 2 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int n = 0;
    ctx.sql() << "SELECT COUNT(*) FROM CONTCORR", soci::into(n);
    return Variant(int64_t{inside.load()});
  });
  d.setReadOnly(kTestObject, "Meet");
  d.skipCompanyCheck(kTestObject);
  auto meet = [&] { return call("Meet", {}, {}, "04", "demo", kTestObject); };
  auto other = std::async(std::launch::async, meet);
  auto mine = meet();
  ASSERT_TRUE(mine.ok()) << mine.text;
  EXPECT_EQ(mine.result.asInteger(), 2);
  EXPECT_EQ(other.get().result.asInteger(), 2);

  // A write of an ordinary call is there for the reading sessions opened before it.
  d.add(kTestObject, "Rename", 0, [](service::CallContext& ctx) {
    ctx.sql() << "UPDATE CONTCORR SET DSCONTCORR = 'Depois' WHERE CDEMPRESA = '04' AND "
                 "CDREDUCONT = '001'";
    return Variant();
  });
  ASSERT_TRUE(call("Rename", {}, {}, "04", "demo", kTestObject).ok());
  EXPECT_EQ(column(call("GetCont_Corr", {Variant("001")}), "DSCONTCORR"), "Depois");
}

TEST_F(Dispatch, AMethodWronglyDeclaredReadOnlyWritesNothing) {
  auto& d = *svc_->dispatcher;
  d.add(kTestObject, "Sneak", 0, [](service::CallContext& ctx) {
    ctx.sql() << "DELETE FROM CONTCORR";
    return Variant();
  });
  d.setReadOnly(kTestObject, "Sneak");
  d.skipCompanyCheck(kTestObject);
  const int before = count("SELECT COUNT(*) FROM CONTCORR");
  ASSERT_GT(before, 0);
  EXPECT_EQ(call("Sneak", {}, {}, "04", "demo", kTestObject).key, "ERRO_SERVICO");
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTCORR"), before);
  EXPECT_THROW(d.setReadOnly(kTestObject, "NoSuchMethod"), host::InvariantError);
}

TEST(Packets, FieldPartFollowsItsTableEvenAtAReusedAddress) {
  for (int size : {3, 7}) {
    std::vector<host::FieldDef> table(1);
    table[0].name = size == 3 ? "CDA" : "CDB";
    table[0].type = host::FieldType::String;
    table[0].size = size;
    auto fields = service::packetFields(table);
    EXPECT_EQ(fields.at(0).at("name"), table[0].name);
    EXPECT_EQ(fields.at(0).at("size"), size);
  }
}
