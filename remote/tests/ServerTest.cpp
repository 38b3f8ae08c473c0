// The HTTP end against callers that do not behave: input nested too deep, bodies too big for
// who sends them, text that is not UTF-8, connections that send slowly or pile up; and what
// it gives the people running it: one log line per call, a health answer, a logout.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "host/ClientDatasetPacket.h"
#include "host/Errors.h"
#include "remote/Connection.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "remote/tests/TestServer.h"

using namespace std::chrono_literals;
using remote::testing::EchoService;
using remote::testing::OneUser;
using remote::testing::RawSocket;

namespace {

/// A server on a free loopback port, serving on a thread of its own.
class Served {
 public:
  explicit Served(remote::ServerOptions options = {},
                  std::shared_ptr<remote::Authenticator> users = std::make_shared<OneUser>())
      : server_(std::make_shared<EchoService>(), std::move(users), std::move(options)) {
    port_ = server_.bind("127.0.0.1", 0);
    thread_ = std::thread([this] { server_.serve(); });
  }
  ~Served() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }
  remote::HttpServer& server() { return server_; }

  /// A client that keeps its connection: the session token rides on every call.
  httplib::Result post(const std::string& path, const std::string& body,
                       const std::string& token = "tok-1") {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(10, 0);
    return c.Post(path.c_str(), {{remote::kTokenHeader, token}}, body, "application/json");
  }

 private:
  remote::HttpServer server_;
  int port_ = 0;
  std::thread thread_;
};

// Arrays of arrays of ... as deep as asked.
std::string deepArray(int depth) {
  std::string v;
  for (int i = 0; i < depth; ++i) v += R"({"t":"A","v":[)";
  for (int i = 0; i < depth; ++i) v += "]}";
  return v;
}

std::string nested(int depth) {
  return R"({"object":"Teste.rdmEco","method":"Eco","args":[)" + deepArray(depth) + "]}";
}

// AddressSanitizer's shadow memory and red zones about double what a tree of small objects
// takes: the bounds below are the plain build's, scaled for an instrumented one.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryScale = 2;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kMemoryScale = 2;
#else
constexpr long kMemoryScale = 1;
#endif
#else
constexpr long kMemoryScale = 1;
#endif

long peakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string keyOf(const httplib::Result& res) {
  if (!res) return "<no answer>";
  return remote::decodeReply(nlohmann::json::parse(res->body)).key;
}

const std::string kEcho = R"({"object":"Teste.rdmEco","method":"Eco","args":[{"t":"S","v":"a"}]})";

}  // namespace

TEST(HostileInput, NestingDeeperThanAnyCallNeedsIsRefusedWithA400AndTheServerLivesOn) {
  Served s;
  for (int depth : {30'000, 25'000, host::kMaxJsonNesting}) {
    auto res = s.post(remote::kCallPath, nested(depth));
    ASSERT_TRUE(res) << "the server died on depth " << depth;
    EXPECT_EQ(res->status, 400) << depth;
    EXPECT_EQ(keyOf(res), "ARG_INVALIDO") << depth;
    EXPECT_NE(res->body.find("níveis"), std::string::npos) << res->body;
  }
  // What a call needs still goes through.
  auto ok = s.post(remote::kCallPath, nested(10));
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200) << ok->body;
  // The readers refuse it on the client's side too, and so does the fast packet reader.
  EXPECT_THROW(remote::readReply(R"({"ok":true,"result":)" + deepArray(30'000) + R"(,"args":[]})"),
               std::invalid_argument);
  const std::string deepPacket =
      R"({"fields":[],"rows":[],"x":)" + std::string(30'000, '[') + std::string(30'000, ']') + "}";
  size_t end = 0;
  EXPECT_FALSE(host::DataPacket::readJson(deepPacket, 0, end));
}

TEST(HostileInput, WithoutASessionNoBodyBeyondALoginIsEverRead) {
  Served s;
  std::string body = "[";
  while (body.size() < (50u << 20)) body += "{},";
  body += "{}]";
  const long before = peakRssKb();
  // Only the head is sent: the answer comes without the server waiting for the body.
  for (const auto& [path, status] : {std::pair{std::string(remote::kLoginPath), 413},
                                     std::pair{std::string(remote::kCallPath), 401}}) {
    RawSocket raw(s.port());
    ASSERT_TRUE(raw.connected());
    raw.send("POST " + path +
             " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
             "Content-Length: 52428800\r\n\r\n");
    const std::string answer = raw.receive(3s);
    EXPECT_EQ(answer.rfind("HTTP/1.1 " + std::to_string(status), 0), 0u) << path << ": " << answer;
  }
  // A 50 MB login of small objects, sent whole, costs the server nothing.
  RawSocket raw(s.port());
  raw.send("POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n");
  raw.send(body);
  raw.receive(1s);
  EXPECT_LT(peakRssKb() - before, kMemoryScale * 64 * 1024) << "KB more at the peak";
  EXPECT_EQ(s.post(remote::kCallPath, kEcho)->status, 200);
}

TEST(HostileInput, ALoggedInCallOfEmptyObjectsIsRefusedBeforeItsTreeIsBuilt) {
  Served s;
  std::string args = R"({"t":"P","v":{"fields":[],"rows":[],"x":[)";
  while (args.size() < (24u << 20)) args += "{},[],";
  args += "{}]}}";
  const long before = peakRssKb();
  auto res = s.post(remote::kCallPath,
                    R"({"object":"Teste.rdmEco","method":"Eco","args":[)" + args + "]}");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_NE(res->body.find("argumento 1"), std::string::npos) << res->body;
  // The body itself is held twice (httplib's copy and ours); a tree would take 30 times it.
  EXPECT_LT(peakRssKb() - before, kMemoryScale * 160 * 1024) << "KB more at the peak";
}

TEST(HostileInput, TextThatIsNotUtf8IsRefusedNamingTheArgument) {
  Served s;
  const std::string body =
      "{\"object\":\"Teste.rdmEco\",\"method\":\"Eco\",\"args\":[{\"t\":\"S\",\"v\":\"ok\"},"
      "{\"t\":\"S\",\"v\":\"a\xff\xfe\"}]}";
  auto res = s.post(remote::kCallPath, body);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  const auto reply = remote::decodeReply(nlohmann::json::parse(res->body));
  EXPECT_EQ(reply.key, "ARG_INVALIDO");
  EXPECT_NE(reply.text.find("argumento 2"), std::string::npos) << reply.text;
  EXPECT_NE(reply.text.find("UTF-8"), std::string::npos) << reply.text;
  // The same in the method's name, and in a login.
  res = s.post(remote::kCallPath, "{\"object\":\"Teste.rdmEco\",\"method\":\"E\xc3\",\"args\":[]}");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_NE(res->body.find("method"), std::string::npos) << res->body;
  res = s.post(remote::kLoginPath, "{\"operator\":\"\xff\",\"password\":\"x\"}");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_NO_THROW(nlohmann::json::parse(res->body));
}

TEST(SlowCallers, ConnectionsSendingAHeaderLineNowAndThenHoldUpNobody) {
  Served s;
  std::atomic<bool> done{false};
  std::vector<std::thread> slow;
  for (int i = 0; i < 10; ++i) {
    slow.emplace_back([&] {
      RawSocket raw(s.port());
      raw.send("POST /login HTTP/1.1\r\nHost: x\r\n");
      for (int line = 0; !done && raw.send("X-Linha: " + std::to_string(line) + "\r\n"); ++line) {
        for (int t = 0; t < 30 && !done; ++t) std::this_thread::sleep_for(100ms);
      }
    });
  }
  std::this_thread::sleep_for(300ms);
  host::HostScope scope(remote::testing::contextAt(s.port()));
  auto factory = std::make_shared<remote::HttpTransportFactory>("demo", "segredo");
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    remote::Connection c("Teste.rdmEco", factory);
    ASSERT_TRUE(c.connect()) << c.lastError();
    EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "call " << i;
  }
  done = true;
  for (auto& t : slow) t.join();
}

TEST(SlowCallers, AHeadThatDoesNotArriveInTimeEndsItsConnection) {
  remote::ServerOptions o;
  o.limits.headerTimeout = 1s;
  Served s(o);
  RawSocket raw(s.port());
  raw.send("POST /call HTTP/1.1\r\nHost: x\r\n");
  const auto start = std::chrono::steady_clock::now();
  std::string answer;
  for (int line = 0; line < 40 && !raw.closedByServer(); ++line) {
    raw.send("X-Linha: " + std::to_string(line) + "\r\n");
    answer += raw.receive(300ms);
  }
  EXPECT_TRUE(raw.closedByServer());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(answer.rfind("HTTP/1.1 408", 0), 0u) << answer;
}

TEST(SlowCallers, OneAddressHoldsNoMoreThanItsShareAndLoggedInCallersKeepTheirPlace) {
  remote::ServerOptions o;
  o.limits.maxPerAddress = 6;
  o.limits.maxAnonymousPerAddress = 3;
  o.limits.headerTimeout = 2s;
  Served s(o);
  host::HostScope scope(remote::testing::contextAt(s.port()));
  remote::Connection c("Teste.rdmEco",
                       std::make_shared<remote::HttpTransportFactory>("demo", "segredo"));
  ASSERT_TRUE(c.connect()) << c.lastError();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");

  std::vector<std::unique_ptr<RawSocket>> idle;
  for (int i = 0; i < 10; ++i) idle.push_back(std::make_unique<RawSocket>(s.port()));
  std::this_thread::sleep_for(300ms);
  int busy = 0;
  for (auto& r : idle) {
    const std::string answer = r->receive(50ms);
    if (answer.rfind("HTTP/1.1 503", 0) == 0) ++busy;
  }
  EXPECT_EQ(busy, 5) << "one kept connection and five idle ones fill the address's six places";
  EXPECT_LE(s.server().anonymousConnections(), 3u);
  // The logged-in connection is served as if nobody else were there.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(remote::CheckResultServ(c.call("Quem")).asString(), "demo@08");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

namespace {
class TwoSessions final : public remote::Authenticator {
 public:
  remote::LoginOutcome login(const remote::LoginAttempt& a) override {
    remote::LoginOutcome out;
    if (a.password != "segredo") {
      out.key = "LOGIN_INVALIDO";
      return out;
    }
    std::lock_guard lock(mutex_);
    out.token = "tok-" + std::to_string(++issued_);
    valid_.insert(*out.token);
    return out;
  }
  std::optional<std::string> operatorOf(const std::string& token) override {
    std::lock_guard lock(mutex_);
    return valid_.count(token) ? std::optional<std::string>("demo") : std::nullopt;
  }
  void logout(const std::string& token) override {
    std::lock_guard lock(mutex_);
    valid_.erase(token);
  }

 private:
  std::mutex mutex_;
  std::set<std::string> valid_;
  int issued_ = 0;
};
}  // namespace

TEST(SlowCallers, ALoginGivesUpTheAnonymousPlaceOfItsConnection) {
  remote::ServerOptions o;
  o.limits.maxAnonymousPerAddress = 2;
  o.limits.headerTimeout = 1s;
  Served s(o, std::make_shared<TwoSessions>());
  host::HostScope scope(remote::testing::contextAt(s.port()));
  // Five operators log in from one address and keep their connections without calling yet.
  std::vector<std::unique_ptr<remote::Connection>> kept;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    kept.push_back(std::make_unique<remote::Connection>(
        "Teste.rdmEco", std::make_shared<remote::HttpTransportFactory>("demo", "segredo")));
    ASSERT_TRUE(kept.back()->connect()) << kept.back()->lastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "login " << i;
  }
  EXPECT_EQ(s.server().anonymousConnections(), 0u);
  for (auto& c : kept) EXPECT_EQ(remote::CheckResultServ(c->call("Quem")).asString(), "demo@08");
}

TEST(Operations, EveryCallAndEveryLoginIsOneLineOfTheLog) {
  std::mutex mutex;
  std::vector<std::string> lines;
  remote::ServerOptions o;
  o.log = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  };
  Served s(o, std::make_shared<TwoSessions>());
  host::HostScope scope(remote::testing::contextAt(s.port()));
  remote::Connection wrong("Teste.rdmEco",
                           std::make_shared<remote::HttpTransportFactory>("demo", "errada"));
  EXPECT_FALSE(wrong.connect());
  remote::Connection c("Teste.rdmEco",
                       std::make_shared<remote::HttpTransportFactory>("demo", "segredo"));
  ASSERT_TRUE(c.connect());
  remote::CheckResultServ(c.call("Quem"));
  EXPECT_THROW(remote::CheckResultServ(c.call("Recusa")), host::ServiceError);
  std::lock_guard lock(mutex);
  ASSERT_EQ(lines.size(), 4u);
  auto has = [](const std::string& line, std::initializer_list<const char*> parts) {
    for (const char* p : parts)
      if (line.find(p) == std::string::npos) return false;
    return true;
  };
  EXPECT_TRUE(has(lines[0], {"127.0.0.1", " demo ", "login", "ms", "LOGIN_INVALIDO"})) << lines[0];
  EXPECT_TRUE(has(lines[1], {" demo ", "login", " OK"})) << lines[1];
  EXPECT_TRUE(has(lines[2], {" demo ", "Teste.rdmEco.Quem", "ms", " OK"})) << lines[2];
  EXPECT_TRUE(has(lines[3], {" demo ", "Teste.rdmEco.Recusa", "ALT_BLOQ"})) << lines[3];
}

TEST(Operations, HealthAnswersWithoutASessionAndLogoutEndsOne) {
  std::string trouble;
  remote::ServerOptions o;
  o.health = [&] { return trouble; };
  Served s(o, std::make_shared<TwoSessions>());
  httplib::Client c("127.0.0.1", s.port());
  auto res = c.Get(remote::kHealthPath);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(nlohmann::json::parse(res->body)["status"], "ok");
  trouble = "o banco de dados não responde";
  res = c.Get(remote::kHealthPath);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503);
  EXPECT_EQ(nlohmann::json::parse(res->body)["text"], trouble);

  auto login =
      c.Post(remote::kLoginPath, R"({"operator":"demo","password":"segredo"})", "application/json");
  ASSERT_TRUE(login);
  const std::string token = nlohmann::json::parse(login->body)["token"];
  EXPECT_EQ(s.post(remote::kCallPath, kEcho, token)->status, 200);
  EXPECT_EQ(s.post(remote::kLogoutPath, "", token)->status, 200);
  EXPECT_EQ(keyOf(s.post(remote::kCallPath, kEcho, token)), "SESSAO_INVALIDA");
}
