// The service against the method declarations of records/Methods.h.

#include <gtest/gtest.h>

#include <set>

#include "ServiceFixture.h"
#include "host/Errors.h"
#include "records/Methods.h"
#include "service/Dispatcher.h"

using remote::Variant;
using service::testing::SeededService;

namespace {
using Contracts = SeededService;
}  // namespace

TEST_F(Contracts, EveryDeclaredMethodHasExactlyOneHandlerAndEveryHandlerADeclaration) {
  const auto& d = *svc_->dispatcher;
  std::set<std::pair<std::string, std::string>> declared;
  for (const auto& m : rpc::declarations()) {
    declared.insert({m.object, m.name});
    const rpc::MethodDecl* registered = d.declarationOf(m.object, m.name);
    ASSERT_NE(registered, nullptr) << m.object << "." << m.name << " has no handler";
    EXPECT_EQ(registered->args.size(), m.args.size()) << m.name;
    EXPECT_EQ(registered->readOnly, m.readOnly) << m.name;
  }
  const auto handled = d.methods();
  EXPECT_EQ(handled.size(), declared.size());
  for (const auto& [object, method] : handled) {
    EXPECT_TRUE(declared.count({object, method})) << object << "." << method << " is undeclared";
    EXPECT_NE(d.declarationOf(object, method), nullptr) << object << "." << method;
  }

  service::Dispatcher twice(svc_->db, svc_->clock);
  const auto handler = [](service::CallContext& ctx, rpc::Operador&) {
    return Variant(ctx.operatorCode());
  };
  twice.on<rpc::Operador>(handler);
  EXPECT_THROW(twice.on<rpc::Operador>(handler), host::InvariantError);
}

TEST_F(Contracts, CallsAreCheckedAgainstTheDeclarationBeforeTheHandlerRuns) {
  // GetValidaCheque(CDCLIENTE 21, NRCHEQUERECE 6, CDBANCHEQREC 3, CDAGECHEQREC 5, CDCNTCHEQREC 16)
  const std::vector<Variant> good{Variant("101"), Variant("123"), Variant(""), Variant(""),
                                  Variant("")};
  EXPECT_TRUE(call("GetValidaCheque", good).ok());
  EXPECT_EQ(call("GetValidaCheque", {good.begin(), good.end() - 1}).key, "ARG_QTDE");
  auto kind = good;
  kind[1] = Variant(int64_t{123});
  const auto wrongKind = call("GetValidaCheque", kind);
  EXPECT_EQ(wrongKind.key, "ARG_TIPO");
  EXPECT_NE(wrongKind.text.find("NRCHEQUERECE"), std::string::npos) << wrongKind.text;
  auto size = good;
  size[2] = Variant("2370");
  const auto tooLong = call("GetValidaCheque", size);
  EXPECT_EQ(tooLong.key, "ARG_TAMANHO");
  EXPECT_NE(tooLong.text.find("CDBANCHEQREC"), std::string::npos) << tooLong.text;

  // A date argument takes a date or null, a number an integer too; a packet may be null only
  // where the declaration says so.
  EXPECT_EQ(call("GetDuplicata", {Variant("04"), Variant("2026-03-02"), Variant()}).key,
            "ARG_TIPO");
  EXPECT_TRUE(call("GetDuplicata", {Variant("04"), Variant(), Variant()}).ok());
  EXPECT_EQ(call("GetVerifEndeClie", {Variant()}).key, "ARG_TIPO");
}

TEST_F(Contracts, MethodsRunAsTheirDeclarationSays) {
  // Access answers are given before the company is known to the operator.
  EXPECT_TRUE(
      call("AcessoOperEmpresa", {Variant("demo"), Variant("99")}, {}, "99", "demo", rpc::kAcesso)
          .ok());
  EXPECT_EQ(call("GetCont_Corr", {Variant("001")}, {}, "99").key, "ACESSO_EMPRESA");
  // In-out arguments come back only where the caller passed them by reference.
  const auto byValue = call("GetStatus", {Variant("1"), Variant("1")});
  ASSERT_TRUE(byValue.ok()) << byValue.text;
  EXPECT_TRUE(byValue.refArgs.empty());
  const auto byRef = call("GetStatus", {Variant("1"), Variant("1")}, {true, true});
  ASSERT_EQ(byRef.refArgs.size(), 2u);
  EXPECT_TRUE(byRef.refArgs[0].second == Variant("0001"));
  EXPECT_TRUE(byRef.refArgs[1].second == Variant("0000000001"));
}
