// Numbering against the real service: counters, the uniqueness of a nosso número within its
// account, the codes stored on the boleto, and identified deposits.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "remote/Connection.h"
#include "remote/Transports.h"
#include "service/Migrations.h"
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
    svc_ = service::openService(
        storage_->where(),
        std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 12, 8, 10, 0, 0)));
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 12, 8);
    o.extraBoletos = extraBoletos_;
    service::seed(*svc_->db, o);
    host::ContextSettings s;
    s.company = "04";
    s.operatorCode = "demo";
    host_.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(s)});
  }
  void TearDown() override {
    host_.reset();
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

  int extraBoletos_ = 5;
  std::filesystem::path dir_;
  std::unique_ptr<service::testing::TestStorage> storage_;
  std::shared_ptr<service::Service> svc_;
  std::optional<host::HostScope> host_;
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
  void SetCodBarra(rpc::SetCodBarra c) override { stored = c.DSLINHABARREC.value(); }
  numbering::CodigosArmazenados NumeraBoleto(const std::string&, const std::string&,
                                             const std::string&, const std::string&,
                                             const std::string& linha, const std::string& barras,
                                             const std::string& nosso,
                                             const std::string& model) override {
    stored = linha;
    return {nosso, barras, linha, model, true};
  }
  numbering::CodigosArmazenados CodigosDoBoleto(const std::string&, const std::string&) override {
    return {};
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
    const bool laidOut =
        row.CDBANCCNAB == "104" || bank::CodigoEmissao(row.CDBANCCNAB, "104") != "104";
    EXPECT_EQ(codes->armazenado, laidOut) << company << "/" << code << " bank " << row.CDBANCCNAB;
    EXPECT_EQ(free.stored.size(), laidOut ? 54u : 0u) << company << "/" << code;
  }
}

}  // namespace

namespace {

// Numbering against the real service from several emitters at once: the counter, the store of
// a number and the boleto's own number hold whatever the others do.
class ConcurrentNumbering : public NumberingService {
 protected:
  ConcurrentNumbering() { extraBoletos_ = 22; }
  void SetUp() override {
    NumberingService::SetUp();
    soci::rowset<soci::row> rows = svc_->db->session().prepare
                                   << "SELECT CDFILIAL, NRLANBOLREC, DTVENBOLREC, VRFINALBREC FROM "
                                      "BOLRECEBER WHERE CDEMPRESA = '04' AND CDREDUCONT = '001' "
                                      "AND CDNOSNUMREC IS NULL ORDER BY CDFILIAL, NRLANBOLREC";
    for (const auto& r : rows) {
      keys_.push_back(r.get<std::string>(0) + r.get<std::string>(1));
      klCarteira_.Add(keys_.back(),
                      std::vector<host::Value>{
                          "09", "0012345",
                          host::DateTime::parseIso(r.get<std::string>(2))->format("dd/mm/yyyy"),
                          host::FormatBr(r.get<double>(3)), "", "A", "01", "001"});
    }
  }

  /// Numbers `keys` through `service` as an emission does, answering each boleto's codes.
  std::map<std::string, numbering::CodigosBoleto> emit(
      const std::shared_ptr<service::Service>& service, const std::vector<std::string>& keys) {
    auto factory = std::make_shared<remote::InProcessTransportFactory>(service->dispatcher,
                                                                       std::string("demo"));
    remote::Connection c("Rec12000.rdmHabContRec", factory);
    EXPECT_TRUE(c.connect()) << c.lastError();
    numbering::RemoteNumberingService numbers(c);
    const auto row = account(c, "001");
    numbering::Numerador numerador(row, klCarteira_, numbers);
    std::map<std::string, numbering::CodigosBoleto> out;
    for (const auto& key : keys) {
      auto stored = numbers.CodigosDoBoleto(key.substr(0, 4), key.substr(4));
      if (!stored.nossoNumero.empty()) {
        out[key].nossoNumero = stored.nossoNumero;
        out[key].codigoBarras = stored.codigoBarras;
        continue;
      }
      auto codes = numerador.Gera_CodigodeBarra(key.substr(0, 4), key.substr(4),
                                                numbers.GetNossoNumero("NOSSONUMERO001"), true,
                                                numbering::Modelo::Completo1);
      EXPECT_TRUE(codes && codes->armazenado) << key;
      if (codes) out[key] = *codes;
    }
    return out;
  }

  struct StoredCodes {
    std::string nosso, barcode;
  };
  std::map<std::string, StoredCodes> storedCodes() {
    std::map<std::string, StoredCodes> m;
    soci::rowset<soci::row> rows =
        svc_->db->session().prepare
        << "SELECT CDFILIAL || NRLANBOLREC, CDNOSNUMREC, COALESCE(CDBARRAREC, '') "
           "FROM BOLRECEBER WHERE CDREDUCONT = '001' AND CDEMPRESA = "
           "'04' AND CDNOSNUMREC IS NOT NULL";
    for (const auto& r : rows)
      m[r.get<std::string>(0)] = {r.get<std::string>(1), r.get<std::string>(2)};
    return m;
  }

  /// Four emitters at once, over one service or two on the same file (as four processes on
  /// one embedded database), each with its list: every boleto numbered once, every emitter
  /// told the codes stored, no number twice.
  void fourEmitters(bool twoServices, bool overlapping) {
    std::shared_ptr<service::Service> other =
        twoServices ? service::openService(storage_->where(), svc_->clock) : svc_;
    std::vector<std::vector<std::string>> lists(4);
    for (size_t i = 0; i < keys_.size(); ++i) {
      for (size_t e = 0; e < 4; ++e)
        if (overlapping || i % 4 == e) lists[e].push_back(keys_[i]);
    }
    std::vector<std::map<std::string, numbering::CodigosBoleto>> seen(4);
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (size_t e = 0; e < 4; ++e) {
      threads.emplace_back([&, e] {
        try {
          seen[e] = emit(e % 2 ? other : svc_, lists[e]);
        } catch (const std::exception& x) {
          failures[e] = x.what();
        }
      });
    }
    for (auto& t : threads) t.join();
    for (const auto& f : failures) EXPECT_EQ(f, "");
    const auto stored = storedCodes();
    std::set<std::string> numbers;
    for (const auto& key : keys_) {
      ASSERT_TRUE(stored.count(key)) << key << " left without a number";
      EXPECT_TRUE(numbers.insert(stored.at(key).nosso).second)
          << "nosso número given twice: " << stored.at(key).nosso;
      EXPECT_EQ(stored.at(key).barcode.size(), 44u) << key;
    }
    for (size_t e = 0; e < 4; ++e) {
      EXPECT_EQ(seen[e].size(), lists[e].size());
      for (const auto& [key, codes] : seen[e]) {
        EXPECT_EQ(codes.nossoNumero, stored.at(key).nosso) << "emitter " << e << ", " << key;
        EXPECT_EQ(codes.codigoBarras, stored.at(key).barcode) << "emitter " << e << ", " << key;
      }
    }
  }

  std::vector<std::string> keys_;
  host::TKeyList klCarteira_;
};

TEST_F(ConcurrentNumbering, FourEmittersOnOneServiceOverTheSameBoletos) {
  fourEmitters(false, true);
}

TEST_F(ConcurrentNumbering, FourEmittersOnOneFileOverTheSameBoletos) {
  fourEmitters(true, true);
}

TEST_F(ConcurrentNumbering, FourEmittersOnOneFileOverBoletosOfTheirOwn) {
  fourEmitters(true, false);
}

TEST_F(ConcurrentNumbering, WritersOfTwoServicesOnOneFileWaitForTheLockInsteadOfFailing) {
  // Two services on one SQLite file are two processes on the embedded default: a call that
  // reads before it writes must wait for the other's write, not fail with "database is
  // locked".
  auto other = service::openService(storage_->where(), svc_->clock);
  std::vector<std::vector<std::string>> got(4);
  std::vector<std::string> failures(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      auto factory = std::make_shared<remote::InProcessTransportFactory>(
          (t % 2 ? other : svc_)->dispatcher, std::string("demo"));
      remote::Connection c("Rec12000.rdmHabContRec", factory);
      if (!c.connect()) return;
      try {
        for (int i = 0; i < 60; ++i)
          got[t].push_back(
              remote::CheckResultServ(c.call("prxNossoNumero", {"001", "11"})).asString());
      } catch (const std::exception& e) {
        failures[t] = e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (size_t t = 0; t < 4; ++t) {
    EXPECT_EQ(failures[t], "") << "writer " << t;
    all.insert(got[t].begin(), got[t].end());
  }
  EXPECT_EQ(all.size(), 240u) << "every value handed out once";
}

TEST_F(ConcurrentNumbering, ANumberedBoletoKeepsItsNumberWhateverACallerSends) {
  auto c = connect();
  numbering::RemoteNumberingService numbers(*c);
  ASSERT_GE(keys_.size(), 2u);
  const std::string b = keys_[0].substr(0, 4), n = keys_[0].substr(4);
  const auto first = emit(svc_, {keys_[0]}).at(keys_[0]);
  // Another number for it: refused, by SetCodBarra as by NumeraBoleto, and nothing moves.
  std::string line, nosso = "00000000099-8", br = b, nr = n, model = "2", acct = "001";
  try {
    remote::CheckResultServ(
        c->call("SetCodBarra",
                {remote::Arg::ref(line), "", remote::Arg::ref(nosso), remote::Arg::ref(br),
                 remote::Arg::ref(nr), "", remote::Arg::ref(model), remote::Arg::ref(acct)}));
    ADD_FAILURE() << "a stored number was replaced";
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "NN_JA_NUMERADO");
  }
  const std::string before = numbers.GetNossoNumero("NOSSONUMERO001");
  auto again = numbers.NumeraBoleto(b, n, "001", "500", "", "", "00000000500-1", "2");
  EXPECT_FALSE(again.novo);
  EXPECT_EQ(again.nossoNumero, first.nossoNumero);
  EXPECT_EQ(again.codigoBarras, first.codigoBarras);
  EXPECT_EQ(numbers.GetNossoNumero("NOSSONUMERO001"), before) << "the counter did not move";
  // A value the counter already handed out is refused for another boleto.
  const std::string b2 = keys_[1].substr(0, 4), n2 = keys_[1].substr(4);
  try {
    numbers.NumeraBoleto(b2, n2, "001", "1", "", "", "00000000001-P", "2");
    ADD_FAILURE() << "a value handed out was taken again";
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "NN_CONCORRENTE");
  }
}

TEST_F(ConcurrentNumbering, OneNumberIsFoundTakenAcrossBothPrintModels) {
  // Both counters start at 1; the pre-printed model and the complete one store the number in
  // the same printed form, so the second boleto cannot receive the first one's number.
  auto c = connect();
  numbering::RemoteNumberingService numbers(*c);
  const auto row = account(*c, "001");
  numbering::Numerador numerador(row, klCarteira_, numbers);
  const auto pre = numerador.NumeraPreImpresso(keys_[0].substr(0, 4), keys_[0].substr(4), "1", "1");
  ASSERT_TRUE(pre.novo);
  auto complete = numerador.Gera_CodigodeBarra(keys_[1].substr(0, 4), keys_[1].substr(4), "1", true,
                                               numbering::Modelo::Completo1);
  ASSERT_TRUE(complete && complete->armazenado);
  EXPECT_NE(complete->nossoNumero, pre.nossoNumero);
  EXPECT_EQ(pre.nossoNumero, numerador.Retorna_NossoNumero("", "", "", "1", "1"));
  EXPECT_EQ(complete->nossoNumero, numerador.Retorna_NossoNumero("", "", "", "2", "1"));
}

TEST_F(ConcurrentNumbering, NumbersStoredAsTheBarcodeCarriesThemMoveToThePrintedForm) {
  auto c = connect();
  numbering::RemoteNumberingService numbers(*c);
  const auto row = account(*c, "001");
  numbering::Numerador numerador(row, klCarteira_, numbers);
  auto codes = numerador.Gera_CodigodeBarra(keys_[0].substr(0, 4), keys_[0].substr(4), "1", true,
                                            numbering::Modelo::Completo1);
  ASSERT_TRUE(codes && codes->armazenado);
  const std::string printed = codes->nossoNumero;
  const std::string older = bank::NossoNumeroCdBarra(codes->codigoBarras, "", "");
  ASSERT_NE(older, printed);
  auto& sql = svc_->db->session();
  sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = :n WHERE CDFILIAL || NRLANBOLREC = :k",
      soci::use(older), soci::use(keys_[0]);
  // A pre-printed number (no barcode) is already in the printed form and stays.
  sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = '00000000077-4' WHERE CDFILIAL || NRLANBOLREC = :k",
      soci::use(keys_[1]);
  service::canonicalizeNossoNumeros(sql);
  service::canonicalizeNossoNumeros(sql);
  EXPECT_EQ(storedCodes().at(keys_[0]).nosso, printed);
  EXPECT_EQ(storedCodes().at(keys_[1]).nosso, "00000000077-4");
}

}  // namespace
