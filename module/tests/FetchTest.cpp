// Records fetched from the real service, in-process and over HTTP.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "module/Records.h"
#include "module/ServiceContext.h"
#include "module/SharedConnection.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

class Fetch : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("boleto-fetch-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    svc_ = service::openService((dir_ / "boleto.db").string(), clock_);
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 3, 2);
    service::seed(*svc_->db, o);
    int port = 0;
    if (GetParam()) {
      server_ = std::make_unique<remote::HttpServer>(svc_->dispatcher, svc_->auth);
      port = server_->bind("127.0.0.1", 0);
      thread_ = std::thread([this] { server_->serve(); });
      factory_ = std::make_shared<remote::HttpTransportFactory>("demo", "senha-demo");
    } else {
      factory_ = std::make_shared<remote::InProcessTransportFactory>(svc_->dispatcher, "demo");
    }
    useCompany("04", port);
    rec::netHabContRec().setFactory(nullptr);
    rec::ensureConnected();
    ASSERT_TRUE(rec::netHabContRec().connected()) << rec::netHabContRec().lastError();
  }
  void TearDown() override {
    rec::netHabContRec().disconnect();
    if (server_) {
      server_->stop();
      thread_.join();
    }
    host_.reset();
    svc_.reset();
    std::filesystem::remove_all(dir_);
  }
  void useCompany(const std::string& company, int port) {
    host::ContextSettings s;
    s.company = company;
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    install(std::make_shared<host::ConfiguredContext>(s));
  }
  void install(std::shared_ptr<host::Context> context) {
    host_.emplace(
        host::Host{.context = std::move(context), .transport = factory_, .clock = clock_});
  }
  void useCompany(const std::string& company) { useCompany(company, host::WebPort()); }

  std::filesystem::path dir_;
  std::shared_ptr<service::Service> svc_;
  std::unique_ptr<remote::HttpServer> server_;
  std::thread thread_;
  std::shared_ptr<remote::TransportFactory> factory_;
  std::shared_ptr<host::FixedClock> clock_ =
      std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0));
  std::optional<host::HostScope> host_;
};

std::vector<remote::Variant> filtroArgs(const std::string& company) {
  std::vector<remote::Variant> a(37, remote::Variant(""));
  for (int i : {4, 9, 13, 18, 19, 29}) a[static_cast<size_t>(i)] = remote::Variant(false);
  for (int i : {11, 12, 22, 34, 35}) a[static_cast<size_t>(i)] = remote::Variant();
  a[15] = remote::Variant(0.0);
  a[16] = remote::Variant(0.0);
  a[25] = remote::Variant(int64_t{0});
  a[26] = remote::Variant(int64_t{0});
  a[0] = remote::Variant(company);
  return a;
}

}  // namespace

TEST_P(Fetch, BankAccountArrivesInItsRecordWithTheCodePadded) {
  host::ClientDataset cdsContCorr("cdsContCorr");
  std::string code = "1";
  rec::fetchBankAccount(rec::netHabContRec(), code, cdsContCorr);
  EXPECT_EQ(code, "001");
  ASSERT_EQ(cdsContCorr.recordCount(), 1u);
  EXPECT_EQ(cdsContCorr.fieldCount(), records::BankAccountRecord().size());
  EXPECT_EQ(cdsContCorr.valueOf("CDBANCO").asString(), "237");
  EXPECT_EQ(cdsContCorr.valueOf("NMBANCO").asString(), "Banco 237");
  EXPECT_NE(cdsContCorr.valueOf("DSNOSNUMCORR").asString().find("[SEQ:11]"), std::string::npos);
  EXPECT_EQ(cdsContCorr.valueOf("QTDIAPROTEST").kind(), host::Value::Kind::Float);
  EXPECT_TRUE(cdsContCorr.valueOf("CDBANCOCONV").isNull());
  EXPECT_EQ(cdsContCorr.changeCount(), 0);

  std::string form = "005";
  rec::fetchBankAccount(rec::netHabContRec(), form, cdsContCorr);
  EXPECT_EQ(cdsContCorr.valueOf("CDBANCO").asString(), "104");
  EXPECT_EQ(rec::registrationForm(cdsContCorr.valueOf("IDFORMCADBANC").asString()), "1");
}

TEST_P(Fetch, EmissionAndMailScreensNormaliseTheFetchedBank) {
  useCompany("08");
  struct Case {
    const char* account;
    const char* emission;
    const char* mail;
  };
  for (const Case& c : {Case{"001", "237", "025"}, Case{"002", "341", "612"},
                        Case{"003", "237", "237"}, Case{"004", "637", "637"}}) {
    host::ClientDataset forEmission("cdsContCorr"), forMail("cdsContCorr");
    std::string code = c.account;
    rec::fetchBankAccount(rec::netHabContRec(), code, forEmission);
    rec::fetchBankAccount(rec::netHabContRec(), code, forMail);
    rec::normalizeBankCodeForEmission(forEmission);
    rec::normalizeBankCodeForMail(forMail);
    EXPECT_EQ(forEmission.valueOf("CDBANCCNAB").asString(), c.emission) << c.account;
    EXPECT_EQ(forMail.valueOf("CDBANCCNAB").asString(), c.mail) << c.account;
  }
}

TEST_P(Fetch, RefusedFetchLeavesTheDatasetAsItWas) {
  host::ClientDataset cdsContCorr("cdsContCorr");
  std::string code = "001";
  rec::fetchBankAccount(rec::netHabContRec(), code, cdsContCorr);
  std::string tooLong = "0001";
  try {
    rec::fetchBankAccount(rec::netHabContRec(), tooLong, cdsContCorr);
    FAIL();
  } catch (const host::ServiceError& e) {
    EXPECT_STREQ(e.what(), "ARG_TAMANHO");
  }
  EXPECT_EQ(tooLong, "0001");
  EXPECT_EQ(cdsContCorr.valueOf("CDREDUCONT").asString(), "001");

  useCompany("99");
  try {
    rec::fetchBankAccount(rec::netHabContRec(), code, cdsContCorr);
    FAIL();
  } catch (const host::ServiceError& e) {
    EXPECT_STREQ(e.what(), "ACESSO_EMPRESA");
  }
}

TEST_P(Fetch, BoletoRowsArriveInTheirRecord) {
  host::ClientDataset cdsBoletos("cdsBoletos");
  std::vector<remote::Arg> args;
  for (auto& v : filtroArgs("04")) args.emplace_back(v);
  rec::loadRecordRows(remote::CheckResultServ(rec::netHabContRec().call("Filtro", args)),
                      cdsBoletos, records::BoletoRecord());
  EXPECT_EQ(cdsBoletos.recordCount(), 12u);
  ASSERT_TRUE(cdsBoletos.locate(records::kBoletoKeyFields,
                                {host::Value("0001"), host::Value("0000000001")}));
  EXPECT_EQ(cdsBoletos.valueOf("IDSTATBREC").asString(), "A");
  EXPECT_EQ(cdsBoletos.valueOf("DTVENBOLREC").asDate(), host::DateTime::fromYmd(2026, 3, 12));
  EXPECT_DOUBLE_EQ(cdsBoletos.valueOf("VRFINALBREC").asDouble(), 1520.40);
  EXPECT_EQ(cdsBoletos.valueOf("CDBANCO").asString(), "237");
  EXPECT_EQ(cdsBoletos.valueOf("NMFANTCLIE").asString(), "Alfa Alimentos");
  EXPECT_DOUBLE_EQ(cdsBoletos.valueOf("FTR_PARCNUM").asDouble(), 2);
}

TEST_P(Fetch, CompanyAccessIsAnsweredByTheService) {
  host::ContextSettings s;
  s.company = "99";  // a company the operator may not use: the question is still answered
  s.webUrl = "127.0.0.1";
  s.webPort = host::WebPort();
  s.companies = {"05"};  // what the settings alone would say; the service knows better
  install(std::make_shared<rec::ServiceContext>(std::make_shared<host::ConfiguredContext>(s)));
  EXPECT_TRUE(host::AcessoOperEmpresa("demo", "08"));
  EXPECT_FALSE(host::AcessoOperEmpresa("demo", "05"));
  EXPECT_FALSE(host::AcessoOperEmpresa("ninguem", "04"));
  EXPECT_EQ(host::EmprProc(), "99");
}

TEST_P(Fetch, ATypedCallWritesTheServicesAnswerIntoTheCallersInOutVariables) {
  std::string branch = "1", number = "1";
  const remote::Variant status =
      rpc::call(rec::netHabContRec(), rpc::GetStatus{.CDFILIAL = branch, .NRLANBOLREC = number});
  EXPECT_EQ(branch, "0001");
  EXPECT_EQ(number, "0000000001");
  host::ClientDataset ds("cdsStatus");
  remote::loadPacket(ds, status);
  ASSERT_EQ(ds.recordCount(), 1u);
  EXPECT_EQ(ds.valueOf(records::fld::NRLANBOLREC).asString(), "0000000001");
  // A refused call leaves the caller's variables as they were.
  std::string tooLong = "00001", other = "1";
  EXPECT_THROW(
      rpc::call(rec::netHabContRec(), rpc::GetStatus{.CDFILIAL = tooLong, .NRLANBOLREC = other}),
      host::ServiceError);
  EXPECT_EQ(tooLong, "00001");
  EXPECT_EQ(other, "1");
}

INSTANTIATE_TEST_SUITE_P(Both, Fetch, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Http" : "InProcess";
                         });
