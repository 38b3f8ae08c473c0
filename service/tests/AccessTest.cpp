// Logins and sessions: guessing is throttled per operator and per address, an unknown
// operator is answered like a known one, sessions end (idle, absolute, logout) and hold
// across server instances on one database and across restarts.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "service/Access.h"
#include "service/tests/ServiceFixture.h"

using namespace std::chrono_literals;
using service::testing::fixedClock;

namespace {

struct FakeTime {
  std::chrono::system_clock::time_point now =
      std::chrono::system_clock::time_point(std::chrono::seconds(1'780'000'000));
};

class Logins : public service::testing::SeededService {
 protected:
  void SetUp() override {
    SeededService::SetUp();
    policy_.clock = [t = time_] { return t->now; };
    svc_->auth->setPolicy(policy_);
  }
  remote::LoginOutcome attempt(const std::string& op, const std::string& password,
                               const std::string& address = "10.0.0.1") {
    return svc_->auth->login(remote::LoginAttempt{op, password, address});
  }
  void advance(std::chrono::milliseconds d) { time_->now += d; }

  std::shared_ptr<FakeTime> time_ = std::make_shared<FakeTime>();
  service::SessionPolicy policy_;
};

}  // namespace

TEST_F(Logins, EachWrongPasswordBeyondTheFreeOnesMakesTheNextAttemptWaitLonger) {
  // An attempt while the door is closed is refused unheard and counts for nothing; the first
  // one after it opens is heard. The wait after each failure, measured that way:
  std::vector<std::chrono::milliseconds> waits;
  for (int failures = 0; failures < policy_.lockoutFailures - 1; ++failures) {
    std::chrono::milliseconds waited{0};
    std::string key;
    while ((key = attempt("demo", "x").key) == "LOGIN_BLOQUEADO") {
      advance(250ms);
      waited += 250ms;
      ASSERT_LE(waited, policy_.maxDelay + 1s);
    }
    EXPECT_EQ(key, "LOGIN_INVALIDO");
    waits.push_back(waited);
  }
  for (int i = 0; i <= policy_.freeFailures; ++i) EXPECT_EQ(waits[i], 0ms) << "failure " << i;
  for (size_t i = policy_.freeFailures + 2; i < waits.size(); ++i)
    EXPECT_GT(waits[i], waits[i - 1]) << "failure " << i;
  // While the door is closed, the right password is refused too.
  EXPECT_EQ(attempt("demo", "senha-demo").key, "LOGIN_BLOQUEADO");
}

TEST_F(Logins, ALockoutRefusesEvenTheRightPasswordUntilItEndsAndTheNextRightLoginClearsIt) {
  int refused = 0;
  for (int i = 0; i < policy_.lockoutFailures; ++i) {
    while (attempt("demo", "x").key == "LOGIN_BLOQUEADO") {
      ++refused;
      advance(policy_.maxDelay);
    }
  }
  EXPECT_GT(refused, 0);
  const auto locked = attempt("demo", "senha-demo");
  EXPECT_EQ(locked.key, "LOGIN_BLOQUEADO");
  EXPECT_FALSE(locked.token);
  EXPECT_NE(locked.text.find("tente de novo"), std::string::npos) << locked.text;
  advance(policy_.lockout - 1min);
  EXPECT_EQ(attempt("demo", "senha-demo").key, "LOGIN_BLOQUEADO");
  advance(2min);
  auto in = attempt("demo", "senha-demo");
  ASSERT_TRUE(in.token) << in.key << ": " << in.text;
  // The operator's count starts again: a mistyped password is an ordinary failure (from an
  // address of its own, since this one's failures still count against it).
  EXPECT_EQ(attempt("demo", "x", "10.0.0.2").key, "LOGIN_INVALIDO");
  EXPECT_TRUE(attempt("demo", "senha-demo", "10.0.0.2").token);
}

TEST_F(Logins, GuessesSpreadOverManyOperatorsFromOneAddressAreThrottledToo) {
  const int allowed = policy_.freeFailures * policy_.addressFactor;
  for (int i = 0; i < allowed; ++i)
    EXPECT_EQ(attempt("op" + std::to_string(i), "x", "192.0.2.7").key, "LOGIN_INVALIDO");
  EXPECT_EQ(attempt("outro", "x", "192.0.2.7").key, "LOGIN_INVALIDO");
  EXPECT_EQ(attempt("demo", "senha-demo", "192.0.2.7").key, "LOGIN_BLOQUEADO");
  EXPECT_TRUE(attempt("demo", "senha-demo", "192.0.2.8").token) << "another address is not held";
}

TEST_F(Logins, AnUnknownOperatorIsAnsweredLikeAKnownOneInTextAndTime) {
  policy_.freeFailures = 1000;
  svc_->auth->setPolicy(policy_);
  // Taken in turns, so that whatever else the machine does weighs on both alike.
  std::vector<double> known, unknown;
  remote::LoginOutcome knownOut, unknownOut;
  auto measure = [&](const std::string& op, std::vector<double>& ms, remote::LoginOutcome& out) {
    const auto start = std::chrono::steady_clock::now();
    out = attempt(op, "errada");
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  };
  for (int i = 0; i < 7; ++i) {
    measure("demo", known, knownOut);
    measure("ninguem", unknown, unknownOut);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  EXPECT_EQ(knownOut.key, unknownOut.key);
  EXPECT_EQ(knownOut.text, unknownOut.text);
  const double k = median(known), u = median(unknown);
  EXPECT_GT(u, k * 0.5) << "known " << k << " ms, unknown " << u << " ms";
  EXPECT_LT(u, k * 2.0) << "known " << k << " ms, unknown " << u << " ms";
}

TEST_F(Logins, ASessionEndsAfterItsIdleTimeItsAbsoluteTimeOrALogout) {
  auto token = *attempt("demo", "senha-demo").token;
  advance(policy_.idle - 1min);
  EXPECT_EQ(svc_->auth->operatorOf(token), "demo");
  advance(policy_.idle - 1min);
  EXPECT_EQ(svc_->auth->operatorOf(token), "demo") << "each use starts the idle time again";
  advance(policy_.idle + 1min);
  EXPECT_FALSE(svc_->auth->operatorOf(token));

  token = *attempt("demo", "senha-demo").token;
  auto used = 0ms;
  for (; used + 30min < policy_.absolute; used += 30min) {
    advance(30min);
    ASSERT_TRUE(svc_->auth->operatorOf(token)) << "after " << used.count() << " ms";
  }
  advance(policy_.absolute - used + 1min);
  EXPECT_FALSE(svc_->auth->operatorOf(token)) << "a session in use still ends";

  token = *attempt("demo", "senha-demo").token;
  EXPECT_TRUE(svc_->auth->operatorOf(token));
  svc_->auth->logout(token);
  EXPECT_FALSE(svc_->auth->operatorOf(token));
  EXPECT_FALSE(svc_->auth->operatorOf("forjado"));
}

TEST_F(Logins, ATokenIsAcceptedByEveryInstanceOnTheDatabaseAndSurvivesARestart) {
  const auto token = *attempt("demo", "senha-demo").token;
  auto other = service::openService(storage_->where(), fixedClock());
  other->auth->setPolicy(policy_);
  EXPECT_EQ(other->auth->operatorOf(token), "demo");
  // A logout on one instance ends the session on the other once its trust runs out.
  other->auth->logout(token);
  advance(policy_.trust + 1ms);
  EXPECT_FALSE(svc_->auth->operatorOf(token));

  const auto kept = *attempt("demo", "senha-demo").token;
  other.reset();
  svc_.reset();
  svc_ = service::openService(storage_->where(), fixedClock());
  svc_->auth->setPolicy(policy_);
  EXPECT_EQ(svc_->auth->operatorOf(kept), "demo");
  // Only the token's hash is kept: the table opens no session by itself.
  EXPECT_EQ(count("SELECT COUNT(*) FROM SESSAO WHERE CDSESSAO = '" + kept + "'"), 0);
}
