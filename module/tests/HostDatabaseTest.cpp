// Direct queries through both adapters of the host's port: the service's copy of each
// declaration reached over the remote connection (in-process and HTTP), and the embedded
// adapter running the declaration on the database itself.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/HostDatabase.h"
#include "module/RemoteHostDatabase.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/DirectQueryRunner.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

enum class Adapter { Embedded, InProcess, Http };

class DirectQueries : public ::testing::TestWithParam<Adapter> {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("boleto-query-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    svc_ = service::openService(
        (dir_ / "boleto.db").string(),
        std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0)));
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 3, 2);
    service::seed(*svc_->db, o);
    host::ContextSettings s;
    s.company = "04";
    s.webUrl = "127.0.0.1";
    std::shared_ptr<remote::TransportFactory> factory;
    switch (GetParam()) {
      case Adapter::Embedded:
        db_ = std::make_shared<service::EmbeddedHostDatabase>(svc_->db,
                                                              [] { return host::EmprProc(); });
        break;
      case Adapter::InProcess:
        factory = std::make_shared<remote::InProcessTransportFactory>(svc_->dispatcher, "demo");
        db_ = std::make_shared<rec::RemoteHostDatabase>(factory);
        break;
      case Adapter::Http:
        server_ = std::make_unique<remote::HttpServer>(svc_->dispatcher, svc_->auth);
        s.webPort = server_->bind("127.0.0.1", 0);
        thread_ = std::thread([this] { server_->serve(); });
        factory = std::make_shared<remote::HttpTransportFactory>("demo", "senha-demo");
        db_ = std::make_shared<rec::RemoteHostDatabase>(factory);
        break;
    }
    settings_ = s;
    useCompany(s.company);
    // A first call: the server is serving before any test can stop it.
    if (server_) db_->run("qryFilial", {});
  }
  void TearDown() override {
    host_.reset();
    db_.reset();
    if (server_) {
      server_->stop();
      thread_.join();
    }
    svc_.reset();
    std::filesystem::remove_all(dir_);
  }
  void useCompany(const std::string& company) {
    settings_.company = company;
    host_.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(settings_),
                             .database = db_});
  }
  static std::vector<std::string> column(host::ClientDataset& ds, const std::string& field) {
    std::vector<std::string> out;
    for (ds.first(); !ds.eof(); ds.next()) out.push_back(ds.valueOf(field).asString());
    return out;
  }

  std::filesystem::path dir_;
  std::shared_ptr<service::Service> svc_;
  std::unique_ptr<remote::HttpServer> server_;
  std::thread thread_;
  std::shared_ptr<host::HostDatabase> db_;
  std::optional<host::HostScope> host_;
  host::ContextSettings settings_;
};

TEST_P(DirectQueries, CompanyReadAloneOrAllWithTheirDefaultPercentages) {
  host::TADOIBQuery qryEmpresa("qryEmpresa");
  qryEmpresa.ParamByName("P_CDEMPRESA") = host::Value("08");
  qryEmpresa.ParamByName("P_TCDEMPRESA") = host::Value("");
  qryEmpresa.Open();
  ASSERT_FALSE(qryEmpresa.IsEmpty());
  EXPECT_EQ(qryEmpresa.FieldByName("NMEMPRESA").asString(), "Eventos Exemplo S.A.");
  EXPECT_EQ(qryEmpresa.dataset().recordCount(), 1u);
  EXPECT_EQ(qryEmpresa.dataset().fieldDef("VRPEMULEMPR").type, host::FieldType::Float);
  EXPECT_FALSE(qryEmpresa.FieldByName("VRPEMULEMPR").isNull());

  qryEmpresa.Close();
  EXPECT_TRUE(qryEmpresa.IsEmpty());
  qryEmpresa.ParamByName("P_CDEMPRESA") = host::Value("");
  qryEmpresa.ParamByName("P_TCDEMPRESA") = host::Value("T");
  qryEmpresa.Open();
  EXPECT_EQ(qryEmpresa.FieldByName("CDEMPRESA").asString(), "04") << "cursor on the first row";
  EXPECT_EQ(column(qryEmpresa.dataset(), "CDEMPRESA"),
            (std::vector<std::string>{"04", "08", "12"}));

  qryEmpresa.ParamByName("P_CDEMPRESA") = host::Value("99");
  qryEmpresa.ParamByName("P_TCDEMPRESA") = host::Value("");
  qryEmpresa.Open();
  EXPECT_TRUE(qryEmpresa.IsEmpty());
}

TEST_P(DirectQueries, ParametersAreBoundNeverSpliced) {
  host::TADOIBQuery qryEmpresa("qryEmpresa");
  qryEmpresa.ParamByName("P_CDEMPRESA") = host::Value("04' OR '1'='1");
  qryEmpresa.ParamByName("P_TCDEMPRESA") = host::Value("");
  qryEmpresa.Open();
  EXPECT_TRUE(qryEmpresa.IsEmpty());

  host::TADOIBQuery qryCliente("qryCliente");
  qryCliente.ParamByName("P_TCDGRUPCLIE") = host::Value("");
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value("01') OR ('1'='1");
  qryCliente.Open();
  EXPECT_TRUE(qryCliente.IsEmpty());
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value("01,' || CDGRUPCLIE || '");
  qryCliente.Open();
  EXPECT_EQ(qryCliente.dataset().recordCount(), 3u) << "only group 01's clients";

  host::TADOIBQuery qryContCorr("qryContCorr");
  qryContCorr.ParamByName("P_CDREDUCONT") = host::Value("001' OR 'T'='T");
  qryContCorr.ParamByName("P_TCDREDUCONT") = host::Value("");
  qryContCorr.Open();
  EXPECT_TRUE(qryContCorr.IsEmpty());
}

TEST_P(DirectQueries, ClientsNarrowedByAListOfGroups) {
  host::TADOIBQuery qryCliente("qryCliente");
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value("");
  qryCliente.ParamByName("P_TCDGRUPCLIE") = host::Value("T");
  qryCliente.Open();
  auto names = column(qryCliente.dataset(), "NMRAZSOCCLIE");
  EXPECT_GE(names.size(), 8u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "ordered by name";

  qryCliente.ParamByName("P_TCDGRUPCLIE") = host::Value("");
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value(" 02 ,, ");
  qryCliente.Open();
  EXPECT_EQ(column(qryCliente.dataset(), "CDCLIENTE"),
            (std::vector<std::string>{"000000000000000000104", "000000000000000000103"}));
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value("01,02");
  qryCliente.Open();
  EXPECT_EQ(qryCliente.dataset().recordCount(), 5u);
  qryCliente.ParamByName("P_CDGRUPCLIE") = host::Value();
  qryCliente.Open();
  EXPECT_TRUE(qryCliente.IsEmpty()) << "no groups chosen, no clients";
}

TEST_P(DirectQueries, AccountsBelongToTheSessionCompany) {
  host::TADOIBQuery qryContCorr("qryContCorr");
  qryContCorr.ParamByName("P_CDREDUCONT") = host::Value("");
  qryContCorr.ParamByName("P_TCDREDUCONT") = host::Value("T");
  qryContCorr.Open();
  EXPECT_EQ(qryContCorr.dataset().recordCount(), 10u);
  EXPECT_EQ(qryContCorr.FieldByName("CDREDUCONT").asString(), "001");
  EXPECT_EQ(qryContCorr.FieldByName("CDBANCO").asString(), "237");
  EXPECT_EQ(qryContCorr.FieldByName("CDPICTAGEN").asString(), "9999-9");

  useCompany("08");
  qryContCorr.Open();
  EXPECT_EQ(column(qryContCorr.dataset(), "CDBANCO"),
            (std::vector<std::string>{"237", "341", "237", "001"}));
  qryContCorr.ParamByName("P_CDREDUCONT") = host::Value("002");
  qryContCorr.ParamByName("P_TCDREDUCONT") = host::Value("");
  qryContCorr.Open();
  EXPECT_EQ(column(qryContCorr.dataset(), "CDREDUCONT"), (std::vector<std::string>{"002"}));
}

TEST_P(DirectQueries, BranchesAndClientGroupsForTheFilter) {
  host::TADOIBQuery qryFilial("qryFilial");
  qryFilial.Open();
  EXPECT_EQ(column(qryFilial.dataset(), "CDFILIAL"),
            (std::vector<std::string>{"0001", "0002", "0003", "0004"}));
  host::TADOIBQuery qryGrupClie("qryGrupClie");
  qryGrupClie.Open();
  EXPECT_EQ(qryGrupClie.FieldByName("NMGRUPCLIE").asString(), "Atacado");
  auto groups = column(qryGrupClie.dataset(), "CDGRUPCLIE");
  ASSERT_GE(groups.size(), 2u);
  EXPECT_EQ(groups[0], "01");
}

TEST_P(DirectQueries, UnknownNamesAreRefusedClearly) {
  host::TADOIBQuery qryEmpresa("qryEmpresa");
  try {
    qryEmpresa.ParamByName("P_CDFILIAL");
    FAIL() << "an undeclared parameter was accepted";
  } catch (const host::OperationError& e) {
    EXPECT_NE(std::string(e.what()).find("P_CDFILIAL"), std::string::npos) << e.what();
  }
  host::TADOIBQuery qryNada("qryNada");
  EXPECT_THROW(qryNada.ParamByName("P_X"), host::OperationError);
  if (GetParam() == Adapter::Embedded) {
    EXPECT_THROW(host::hostDatabase().run("qryNada", {}), host::OperationError);
    EXPECT_THROW(host::hostDatabase().run("qryEmpresa", {{"P_X", host::Value("1")}}),
                 host::OperationError);
  } else {
    // The service does not trust the caller's copy of the declarations.
    try {
      host::hostDatabase().run("qryNada", {});
      FAIL();
    } catch (const host::ServiceError& e) {
      EXPECT_EQ(e.key(), "CONSULTA_DESCONHECIDA");
    }
    try {
      host::hostDatabase().run("qryEmpresa", {{"P_X", host::Value("1")}});
      FAIL();
    } catch (const host::ServiceError& e) {
      EXPECT_EQ(e.key(), "CONSULTA_PARAMETRO");
    }
  }
  qryEmpresa.Open();
  EXPECT_THROW(qryEmpresa.FieldByName("NMFILIAL"), host::OperationError);
}

TEST_P(DirectQueries, NoDatabaseSetIsAnErrorNotACrash) {
  host_.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(settings_)});
  host::TADOIBQuery qryFilial("qryFilial");
  EXPECT_THROW(qryFilial.Open(), host::OperationError);
  EXPECT_THROW(host::hostDatabase(), host::OperationError);
}

INSTANTIATE_TEST_SUITE_P(Adapters, DirectQueries,
                         ::testing::Values(Adapter::Embedded, Adapter::InProcess, Adapter::Http),
                         [](const ::testing::TestParamInfo<Adapter>& p) {
                           switch (p.param) {
                             case Adapter::Embedded:
                               return "Embedded";
                             case Adapter::InProcess:
                               return "InProcess";
                             default:
                               return "Http";
                           }
                         });

}  // namespace
