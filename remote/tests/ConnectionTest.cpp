// The same behaviour over both transports, against a small handler standing in for the service.

#include <arpa/inet.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "remote/Connection.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "remote/tests/TestServer.h"

using remote::Arg;
using remote::Variant;
using remote::testing::contextAt;
using remote::testing::EchoService;
using remote::testing::freePort;
using remote::testing::OneUser;

namespace {

class Transports : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    auto handler = std::make_shared<EchoService>();
    if (GetParam()) {
      server_ = std::make_unique<remote::HttpServer>(handler, std::make_shared<OneUser>());
      port_ = server_->bind("127.0.0.1", 0);
      thread_ = std::thread([this] { server_->serve(); });
      factory_ = std::make_shared<remote::HttpTransportFactory>("demo", "segredo");
    } else {
      factory_ = std::make_shared<remote::InProcessTransportFactory>(handler, "demo");
    }
    host_.emplace(contextAt(port_));
  }
  void TearDown() override {
    if (server_) {
      server_->stop();
      thread_.join();
    }
    host_.reset();
  }
  remote::Connection connected() {
    remote::Connection c("Teste.rdmEco", factory_);
    EXPECT_TRUE(c.connect()) << c.lastError();
    return c;
  }

  std::unique_ptr<remote::HttpServer> server_;
  std::thread thread_;
  int port_ = 0;
  std::shared_ptr<remote::TransportFactory> factory_;
  std::optional<host::HostScope> host_;
};

}  // namespace

TEST_P(Transports, ArgumentsArriveWithTheirKinds) {
  auto c = connected();
  auto date = host::DateTime::fromYmd(2026, 1, 31);
  Variant packet =
      Variant::packet({{"fields", nlohmann::json::array()}, {"rows", nlohmann::json::array()}});
  Variant out =
      remote::CheckResultServ(c.call("Eco", {Arg("001"), Arg(2.5), Arg(int64_t{3}), Arg(true),
                                             Arg(date), Arg(Variant()), Arg(packet)}));
  ASSERT_TRUE(out.isArray());
  EXPECT_TRUE(out == Variant::array({Variant("001"), Variant(2.5), Variant(int64_t{3}),
                                     Variant(true), Variant(date), Variant(), packet}));
}

TEST_P(Transports, APackedPacketOfEveryKindComesBackAsItWentAndAsTheTreeDoes) {
  host::ClientDataset source("source");
  auto def = [](const char* name, host::FieldType type) {
    host::FieldDef f;
    f.name = name;
    f.type = type;
    return f;
  };
  source.setFieldDefs({def("S", host::FieldType::String), def("M", host::FieldType::Memo),
                       def("F", host::FieldType::Float), def("I", host::FieldType::Integer),
                       def("B", host::FieldType::Boolean), def("D", host::FieldType::Date)});
  source.createDataset();
  const std::vector<std::vector<host::Value>> rows{
      {host::Value(""), host::Value("a\"b\n"), host::Value(2.0), host::Value(int64_t{-1}),
       host::Value(false), host::Value(host::DateTime::fromYmdHms(2026, 1, 31, 0, 0, 0, 1))},
      {host::Value(), host::Value(), host::Value(), host::Value(), host::Value(), host::Value()}};
  for (const auto& row : rows) {
    source.append();
    for (size_t i = 0; i < row.size(); ++i) source.field(i).setValue(row[i]);
    source.post();
  }
  source.mergeChangeLog();
  const nlohmann::json tree = source.toPacket();
  const std::string text = tree.dump();
  size_t end = 0;
  auto packed = host::DataPacket::readJson(text, 0, end);
  ASSERT_TRUE(packed);
  const Variant asPacked = Variant::packet(std::move(*packed));
  const Variant asTree = Variant::packet(tree);

  auto c = connected();
  Variant out = remote::CheckResultServ(c.call("Eco", {Arg(asPacked), Arg(asTree)}));
  ASSERT_TRUE(out.isArray());
  ASSERT_EQ(out.items().size(), 2u);
  for (const auto& item : out.items()) {
    EXPECT_TRUE(item == asPacked);
    host::ClientDataset loaded("loaded");
    remote::loadPacket(loaded, item);
    EXPECT_EQ(loaded.toPacket(), tree);
  }
}

TEST_P(Transports, InOutArgumentsComeBackChangedAndOthersStay) {
  auto c = connected();
  std::string account = "001";
  std::string untouched = "x";
  Variant list("L1");
  remote::CheckResultServ(c.call("Troca", {Arg::ref(account), Arg(untouched), Arg::ref(list)}));
  EXPECT_EQ(account, "001+");
  EXPECT_EQ(untouched, "x");
  EXPECT_TRUE(list == Variant("L1+"));
}

TEST_P(Transports, CallsCarryTheOperatorAndTheContextCompany) {
  auto c = connected();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
}

TEST_P(Transports, RefusalBecomesServiceErrorAndInOutArgumentsStay) {
  auto c = connected();
  std::string account = "001";
  try {
    remote::CheckResultServ(c.call("Recusa", {Arg::ref(account)}));
    FAIL() << "a refusal was handed back as data";
  } catch (const host::ServiceError& e) {
    EXPECT_STREQ(e.what(), "ALT_BLOQ");
    EXPECT_EQ(e.detail(), "changed by someone else");
  }
  EXPECT_EQ(account, "001");
  EXPECT_THROW(remote::CheckResultServ(c.call("eco")), host::ServiceError);
}

TEST_P(Transports, CallOnADisconnectedConnectionFailsTheOperation) {
  remote::Connection c("Teste.rdmEco", factory_);
  EXPECT_THROW(remote::CheckResultServ(c.call("Eco")), host::OperationError);
  ASSERT_TRUE(c.connect());
  c.disconnect();
  EXPECT_FALSE(c.connected());
  EXPECT_THROW(remote::CheckResultServ(c.call("Eco")), host::OperationError);
}

INSTANTIATE_TEST_SUITE_P(Both, Transports, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Http" : "InProcess";
                         });

TEST(HttpTransport, DeadServerFailsTheCallNotTheConnect) {
  // Take a free port and release it, so nothing listens there.
  int port = freePort();
  host::HostScope scope(contextAt(port));
  remote::Connection c("Teste.rdmEco", std::make_shared<remote::HttpTransportFactory>("demo", "x"));
  bool ok = true;
  EXPECT_NO_THROW(ok = c.connect());
  EXPECT_FALSE(ok);
  EXPECT_NE(c.lastError().find(std::to_string(port)), std::string::npos) << c.lastError();
  try {
    remote::CheckResultServ(c.call("Eco"));
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_NE(std::string(e.what()).find("sem conexão"), std::string::npos) << e.what();
  }
}

TEST(HttpTransport, WrongPasswordAndMissingTokenAreRefused) {
  remote::HttpServer server(std::make_shared<EchoService>(), std::make_shared<OneUser>());
  int port = server.bind("127.0.0.1", 0);
  std::thread t([&] { server.serve(); });
  host::HostScope scope(contextAt(port));
  remote::Connection c("Teste.rdmEco",
                       std::make_shared<remote::HttpTransportFactory>("demo", "errada"));
  EXPECT_FALSE(c.connect());
  EXPECT_NE(c.lastError().find("recusou o login"), std::string::npos) << c.lastError();

  httplib::Client raw("127.0.0.1", port);
  auto res = raw.Post("/call", R"({"object":"Teste.rdmEco","method":"Eco","args":[]})",
                      "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 401);
  EXPECT_EQ(remote::decodeReply(nlohmann::json::parse(res->body)).key, "SESSAO_INVALIDA");
  server.stop();
  t.join();
}

TEST(HttpTransport, ServiceThatWentAwayLeavesTheConnectionDownUntilReconnected) {
  auto server = std::make_unique<remote::HttpServer>(std::make_shared<EchoService>(),
                                                     std::make_shared<OneUser>());
  int port = server->bind("127.0.0.1", 0);
  std::thread t([&] { server->serve(); });
  host::HostScope scope(contextAt(port));
  remote::Connection c("Teste.rdmEco",
                       std::make_shared<remote::HttpTransportFactory>("demo", "segredo"));
  ASSERT_TRUE(c.connect()) << c.lastError();
  server->stop();
  t.join();
  EXPECT_THROW(remote::CheckResultServ(c.call("Eco")), host::OperationError);
  EXPECT_FALSE(c.connected());
  // A new server on the same port: the screen that finds the connection down connects again.
  server = std::make_unique<remote::HttpServer>(std::make_shared<EchoService>(),
                                                std::make_shared<OneUser>());
  ASSERT_EQ(server->bind("127.0.0.1", port), port);
  t = std::thread([&] { server->serve(); });
  ASSERT_TRUE(c.connect()) << c.lastError();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
  server->stop();
  t.join();
}

// Issues a new token at every login and forgets them all on demand, as a restarted server does.
class CountingUsers final : public remote::Authenticator {
 public:
  remote::LoginOutcome login(const remote::LoginAttempt& a) override {
    std::lock_guard lock(mutex_);
    remote::LoginOutcome out;
    if (a.operatorCode != "demo" || a.password != "segredo") return out;
    std::string token = "tok-" + std::to_string(++logins_);
    valid_.insert(token);
    out.token = token;
    return out;
  }
  void logout(const std::string& token) override {
    std::lock_guard lock(mutex_);
    valid_.erase(token);
  }
  std::optional<std::string> operatorOf(const std::string& token) override {
    std::lock_guard lock(mutex_);
    return valid_.count(token) ? std::optional<std::string>("demo") : std::nullopt;
  }
  void forgetAll() {
    std::lock_guard lock(mutex_);
    valid_.clear();
  }
  int logins() {
    std::lock_guard lock(mutex_);
    return logins_;
  }

 private:
  std::mutex mutex_;
  std::set<std::string> valid_;
  int logins_ = 0;
};

TEST(HttpTransport, ConnectionsOfOneFactoryShareTheSessionAndLogInAgainWhenItIsForgotten) {
  auto users = std::make_shared<CountingUsers>();
  remote::HttpServer server(std::make_shared<EchoService>(), users);
  int port = server.bind("127.0.0.1", 0);
  std::thread t([&] { server.serve(); });
  host::HostScope scope(contextAt(port));
  auto factory = std::make_shared<remote::HttpTransportFactory>("demo", "segredo");
  remote::Connection first("Teste.rdmEco", factory), second("Teste.rdmEco", factory);
  ASSERT_TRUE(first.connect()) << first.lastError();
  ASSERT_TRUE(second.connect()) << second.lastError();
  EXPECT_EQ(users->logins(), 1) << "the second connection reuses the session";
  EXPECT_EQ(remote::CheckResultServ(second.call("Quem")).asString(), "demo@08");

  users->forgetAll();
  remote::Connection third("Teste.rdmEco", factory);
  ASSERT_TRUE(third.connect());
  EXPECT_EQ(remote::CheckResultServ(third.call("Quem")).asString(), "demo@08")
      << "a forgotten session is replaced without failing the call";
  EXPECT_EQ(users->logins(), 2);
  // Every other connection goes on with the session the third one opened, without failing a
  // call and without another login.
  EXPECT_EQ(remote::CheckResultServ(first.call("Quem")).asString(), "demo@08");
  EXPECT_TRUE(first.connected());
  EXPECT_EQ(users->logins(), 2);
  // A session that ended while nobody else replaced it is replaced by the next call.
  users->forgetAll();
  auto again = second.call("Quem");
  ASSERT_TRUE(again.reply.ok()) << again.reply.key << ": " << again.reply.text;
  EXPECT_EQ(again.reply.result.asString(), "demo@08");
  EXPECT_EQ(users->logins(), 3);

  // Another operator's factory has sessions of its own.
  remote::Connection wrong("Teste.rdmEco",
                           std::make_shared<remote::HttpTransportFactory>("demo", "errada"));
  EXPECT_FALSE(wrong.connect());
  server.stop();
  t.join();
}

TEST(HttpTransport, HttpsCarriesCallsAndRefusesACertificateNobodyVouchesFor) {
  // A self-signed certificate for 127.0.0.1, made for this test.
  const std::string dir = ::testing::TempDir() + "boleto-tls-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string cert = dir + "/cert.pem", key = dir + "/key.pem";
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;

  remote::HttpServer server(std::make_shared<EchoService>(), std::make_shared<OneUser>(), cert,
                            key);
  int port = server.bind("127.0.0.1", 0);
  std::thread t([&] { server.serve(); });
  host::ContextSettings s;
  s.company = "08";
  s.webUrl = "https://127.0.0.1";
  s.webPort = port;
  host::HostScope scope({.context = std::make_shared<host::ConfiguredContext>(s)});

  auto trusting = std::make_shared<remote::HttpTransportFactory>("demo", "segredo");
  trusting->setCaCertFile(cert);
  remote::Connection c("Teste.rdmEco", trusting);
  ASSERT_TRUE(c.connect()) << c.lastError();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
  c.disconnect();

  // The system's authorities never signed it: no login, and a clear reason.
  remote::Connection wary("Teste.rdmEco",
                          std::make_shared<remote::HttpTransportFactory>("demo", "segredo"));
  EXPECT_FALSE(wary.connect());
  EXPECT_NE(wary.lastError().find("não responde"), std::string::npos) << wary.lastError();
  server.stop();
  t.join();
  std::filesystem::remove_all(dir);
}

TEST(HttpTransport, AServerOfTheListThatDoesNotAnswerIsPassedOverForTheNext) {
  // Two servers of one service: the same sessions on both, as behind one database.
  auto users = std::make_shared<CountingUsers>();
  auto a = std::make_unique<remote::HttpServer>(std::make_shared<EchoService>(), users);
  remote::HttpServer b(std::make_shared<EchoService>(), users);
  const int portA = a->bind("127.0.0.1", 0), portB = b.bind("127.0.0.1", 0);
  std::thread ta([&] { a->serve(); }), tb([&] { b.serve(); });
  const int nobody = freePort();
  host::ContextSettings s;
  s.company = "08";
  s.webUrl =
      fmt::format("http://127.0.0.1:{}, 127.0.0.1:{},http://127.0.0.1:{}", nobody, portA, portB);
  host::HostScope scope({.context = std::make_shared<host::ConfiguredContext>(s)});
  auto factory = std::make_shared<remote::HttpTransportFactory>("demo", "segredo");
  remote::Connection c("Teste.rdmEco", factory);
  ASSERT_TRUE(c.connect()) << c.lastError();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
  // The server in use goes away between calls: the next call, which never reached it, is
  // answered by the next server with the same session.
  a->stop();
  ta.join();
  a.reset();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
  EXPECT_TRUE(c.connected());
  remote::Connection later("Teste.rdmEco", factory);
  ASSERT_TRUE(later.connect()) << later.lastError();
  EXPECT_EQ(remote::CheckResultServ(later.call("Quem")).asString(), "demo@08");
  EXPECT_EQ(users->logins(), 1);
  b.stop();
  tb.join();
  // None answers: the call fails saying so, for each server of the list.
  try {
    remote::CheckResultServ(c.call("Quem"));
    FAIL() << "a call with no server answered";
  } catch (const host::OperationError& e) {
    EXPECT_NE(std::string(e.what()).find("nenhum servidor"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(std::to_string(portB)), std::string::npos) << e.what();
  }
  remote::Connection none("Teste.rdmEco",
                          std::make_shared<remote::HttpTransportFactory>("demo", "segredo"));
  EXPECT_FALSE(none.connect());
  EXPECT_NE(none.lastError().find(std::to_string(nobody)), std::string::npos) << none.lastError();
}
