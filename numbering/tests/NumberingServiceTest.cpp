// Numbering against the real service: counters, the uniqueness of a nosso número within its
// account, the codes stored on the boleto, and identified deposits.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "remote/Connection.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"
#include "service/tests/TestStorage.h"

namespace {

class NumberingService : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("boleto-numbering-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    storage_ = std::make_unique<service::testing::TestStorage>(dir_);
    svc_ = service::openService(storage_->where());
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 12, 8);
    o.extraBoletos = 5;
    service::seed(*svc_->db, o);
    host::ContextSettings s;
    s.company = "04";
    s.operatorCode = "demo";
    host::setContext(std::make_shared<host::ConfiguredContext>(s));
  }
  void TearDown() override {
    host::setContext(nullptr);
    svc_.reset();
    storage_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::unique_ptr<remote::Connection> connect() {
    auto factory =
        std::make_shared<remote::InProcessTransportFactory>(svc_->dispatcher, std::string("demo"));
    auto c = std::make_unique<remote::Connection>("Rec12000.rdmHabContRec", factory);
    EXPECT_TRUE(c->connect()) << c->lastError();
    return c;
  }

  numbering::BankAccountRow account(remote::Connection& c, const std::string& code) {
    std::string key = code;
    host::ClientDataset ds;
    ds.loadPacket(
        remote::CheckResultServ(c.call("GetCont_Corr", {remote::Arg::ref(key)})).packetJson());
    EXPECT_FALSE(ds.isEmpty());
    numbering::BankAccountRow row = numbering::BankAccountRowOf(ds);
    numbering::NormalizaBanco(row);
    return row;
  }

  // Pending boletos of company 04 on account 001 without a nosso número.
  std::vector<std::pair<std::string, std::string>> pending(int n) {
    std::vector<std::pair<std::string, std::string>> keys;
    soci::rowset<soci::row> rows = svc_->db->session().prepare
                                   << "SELECT CDFILIAL, NRLANBOLREC FROM BOLRECEBER WHERE "
                                      "CDEMPRESA = '04' AND CDREDUCONT = '001' AND IDSTATBREC = "
                                      "'A' AND CDNOSNUMREC IS NULL ORDER BY NRLANBOLREC";
    for (const auto& r : rows) {
      if (static_cast<int>(keys.size()) == n) break;
      keys.emplace_back(r.get<std::string>(0), r.get<std::string>(1));
    }
    return keys;
  }

  std::filesystem::path dir_;
  std::unique_ptr<service::testing::TestStorage> storage_;
  std::shared_ptr<service::Service> svc_;
};

TEST_F(NumberingService, TwoClientsTakingNumbersAtOnceNeverShareOne) {
  auto a = connect();
  auto b = connect();
  std::vector<std::string> fromA, fromB;
  auto take = [](remote::Connection& c, std::vector<std::string>& out) {
    for (int i = 0; i < 150; ++i) {
      out.push_back(remote::CheckResultServ(c.call("prxNossoNumero", {"001", "11"})).asString());
    }
  };
  std::thread ta(take, std::ref(*a), std::ref(fromA));
  std::thread tb(take, std::ref(*b), std::ref(fromB));
  ta.join();
  tb.join();
  std::set<std::string> all(fromA.begin(), fromA.end());
  all.insert(fromB.begin(), fromB.end());
  EXPECT_EQ(all.size(), 300u);
  EXPECT_EQ(fromA.front().size(), 11u);
  EXPECT_EQ(*all.rbegin(), "00000000300");
  EXPECT_EQ(remote::CheckResultServ(a->call("GetNossoNumero", {"NOSSONUMERO001"})).asString(),
            "301")
      << "the number the counter hands out next";
  // The pre-printed counter is another counter, and SetNovoCod restarts it.
  EXPECT_EQ(remote::CheckResultServ(a->call("PrxNossoNumPreImp", {"1", "8"})).asString(),
            "00000001");
  std::string acct = "1";
  remote::CheckResultServ(
      a->call("SetNovoCod", {remote::Arg::ref(acct), "00000000000000000499", "0000000001", "x"}));
  EXPECT_EQ(acct, "001");
  EXPECT_EQ(remote::CheckResultServ(a->call("PrxNossoNumPreImp", {"001", "8"})).asString(),
            "00000500");
}

TEST_F(NumberingService, CountersRefuseUnknownAccountsAndWidthsTheyOutgrow) {
  auto c = connect();
  auto unknown = c->call("prxNossoNumero", {"999", "11"});
  EXPECT_THROW(remote::CheckResultServ(unknown), host::ServiceError);
  auto badWidth = c->call("prxNossoNumero", {"001", "0"});
  try {
    remote::CheckResultServ(badWidth);
    FAIL();
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "ESTRUT_CONFIG");
  }
  remote::CheckResultServ(c->call("prxNossoNumero", {"001", "1"}));  // 1
  for (int i = 0; i < 8; ++i) remote::CheckResultServ(c->call("prxNossoNumero", {"001", "1"}));
  try {
    remote::CheckResultServ(c->call("prxNossoNumero", {"001", "1"}));  // 10 needs two digits
    FAIL();
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "NOSSO<SEQ");
  }
}

TEST_F(NumberingService, EmittedCodesAreStoredValidAndUniqueWithinTheAccount) {
  auto c = connect();
  numbering::RemoteNumberingService service(*c);
  const auto row = account(*c, "001");
  const auto keys = pending(3);
  ASSERT_EQ(keys.size(), 3u);
  host::TKeyList klCarteira;
  for (const auto& [branch, number] : keys) {
    klCarteira.Add(branch + number, std::vector<host::Value>{"09", row.CDCONTCORR, "08/01/2027",
                                                             "150,00", "", "A", "", ""});
  }
  numbering::Numerador numerador(row, klCarteira, service);
  ASSERT_GT(numerador.seqSize(), 0);

  std::set<std::string> numbers;
  for (const auto& [branch, number] : keys) {
    const std::string seq =
        remote::CheckResultServ(
            c->call("prxNossoNumero", {"001", std::to_string(numerador.seqSize())}))
            .asString();
    auto codes =
        numerador.Gera_CodigodeBarra(branch, number, seq, true, numbering::Modelo::Completo1);
    ASSERT_TRUE(codes.has_value());
    ASSERT_TRUE(codes->armazenado)
        << "seq " << seq << " bank " << row.CDBANCCNAB << " ag " << row.CDAGENCIA << " cc "
        << row.CDCONTCORR << " tpl " << row.DSNOSNUMCORR << " nn " << codes->nossoNumero;
    numbers.insert(codes->nossoNumero);

    std::string br = branch, nr = number;
    host::ClientDataset stored;
    stored.loadPacket(remote::CheckResultServ(
                          c->call("GetValidaNosNum", {remote::Arg::ref(br), remote::Arg::ref(nr)}))
                          .packetJson());
    EXPECT_EQ(stored.recordCount(), 1u);
    std::string barcode, line;
    svc_->db->session() << "SELECT CDBARRAREC, DSLINHABARREC FROM BOLRECEBER WHERE CDFILIAL = :f "
                           "AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(barcode), soci::into(line);
    EXPECT_EQ(barcode, codes->codigoBarras);
    EXPECT_EQ(barcode.size(), 44u);
    EXPECT_EQ(barcode.substr(0, 3), "237");
    EXPECT_EQ(line.size(), 54u);
  }
  EXPECT_EQ(numbers.size(), 3u);

  // Storing a number that another boleto of the account carries is refused by the service
  // itself, whatever the caller checked before.
  std::string taken = *numbers.begin();
  std::string other = "0000000000";
  auto extra = pending(1);
  ASSERT_EQ(extra.size(), 1u);
  std::string br = extra[0].first, nr = extra[0].second, line, model = "2", acct = "001";
  auto reply = c->call("SetCodBarra",
                       {remote::Arg::ref(line), "", remote::Arg::ref(taken), remote::Arg::ref(br),
                        remote::Arg::ref(nr), "", remote::Arg::ref(model), remote::Arg::ref(acct)});
  try {
    remote::CheckResultServ(reply);
    FAIL();
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "NN_JA_CAD");
  }
  std::string asked = *numbers.begin();
  EXPECT_EQ(service.GetValNosNumero(asked, "001").size(), 1u);
  std::string fresh = "99999999999";
  EXPECT_TRUE(service.GetValNosNumero(fresh, "001").empty());
  (void)other;
}

TEST_F(NumberingService, IdentifiedDepositsFollowTheCompanysAndBanksSettings) {
  auto c = connect();
  numbering::RemoteNumberingService service(*c);
  EXPECT_EQ(service.GetVdDepIdent("04", "237"), "EMPR_DI_NH");
  svc_->db->session() << "INSERT INTO PARAMETRO (CDEMPRESA, NMPARAMETRO, TXVALOR) VALUES "
                         "('04', 'IDDEPIDENT', 'S'), ('04', 'DEPIDENTBANCOS', '001;237')";
  EXPECT_EQ(service.GetVdDepIdent("04", "237"), "OK");
  EXPECT_EQ(service.GetVdDepIdent("04", "341"), "BANC_DI_NH");

  auto keys = pending(1);
  ASSERT_EQ(keys.size(), 1u);
  std::string br = keys[0].first, nr = keys[0].second;
  auto info = service.GetInfoDepIdent("237", br, nr);
  EXPECT_TRUE(info.erro.has_value()) << "a branch without a cost centre is an error text";
  svc_->db->session() << "UPDATE FILIAL SET CDCENTCUST = '12' WHERE CDFILIAL = :f", soci::use(br);
  info = service.GetInfoDepIdent("237", br, nr);
  EXPECT_FALSE(info.erro.has_value());
  EXPECT_EQ(info.CDCENTCUST, "12");
  std::string b1 = "1";
  EXPECT_EQ(service.GetSeqDepIdent(b1), "1");
  EXPECT_EQ(b1, "0001");
  EXPECT_EQ(service.GetSeqDepIdent(b1), "2");
}

}  // namespace

namespace {

// Answers that every number is free and remembers what would be stored.
class FreeNumbers final : public numbering::NumberingService {
 public:
  std::string GetNossoNumero(const std::string&) override { return "0"; }
  std::vector<numbering::NossoNumeroEmUso> GetValNosNumero(std::string&,
                                                           const std::string&) override {
    return {};
  }
  void SetCodBarra(std::string& linha, const std::string&, std::string&, std::string&, std::string&,
                   const std::string&, std::string&, std::string&) override {
    stored = linha;
  }
  std::string GetVdDepIdent(const std::string&, const std::string&) override { return "OK"; }
  numbering::InfoDepIdent GetInfoDepIdent(const std::string&, std::string&, std::string&) override {
    return {};
  }
  std::string GetSeqDepIdent(std::string&) override { return "1"; }
  std::string stored;
};

TEST_F(NumberingService, EveryDemoAccountNumbersBoletosItsBankAccepts) {
  soci::rowset<soci::row> rows = svc_->db->session().prepare
                                 << "SELECT CDEMPRESA, CDREDUCONT FROM CONTCORR ORDER BY 1, 2";
  std::vector<std::pair<std::string, std::string>> accounts;
  for (const auto& r : rows) accounts.emplace_back(r.get<std::string>(0), r.get<std::string>(1));
  ASSERT_GE(accounts.size(), 10u);
  for (const auto& [company, code] : accounts) {
    auto& settings = dynamic_cast<host::ConfiguredContext&>(host::context()).settings();
    settings.company = company;
    auto c = connect();
    const auto row = account(*c, code);
    host::TKeyList klCarteira;
    klCarteira.Add("00010000000001", std::vector<host::Value>{"1", row.CDCONTCORR, "08/01/2027",
                                                              "150,00", "", "A", "", ""});
    FreeNumbers free;
    numbering::Numerador numerador(row, klCarteira, free);
    ASSERT_GT(numerador.seqSize(), 0) << company << "/" << code;
    auto codes =
        numerador.Gera_CodigodeBarra("0001", "0000000001", "7", true, numbering::Modelo::Completo1);
    ASSERT_TRUE(codes.has_value()) << company << "/" << code;
    // A bank without a layout (637 with no agreement bank) gets no codes at all, never
    // made-up ones; every other account stores a full typed line.
    const bool laidOut = bank::findBank(row.CDBANCCNAB) != nullptr;
    EXPECT_EQ(codes->armazenado, laidOut) << company << "/" << code << " bank " << row.CDBANCCNAB;
    EXPECT_EQ(free.stored.size(), laidOut ? 54u : 0u) << company << "/" << code;
  }
}

}  // namespace
