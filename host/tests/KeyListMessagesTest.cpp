#include <gtest/gtest.h>

#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/KeyList.h"
#include "host/Messages.h"

using namespace host;

TEST(TKeyList, AccumulatesNumbersPerKeyAndDropsKeys) {
  TKeyList due;
  due.Add("08/12/2026", Value(10.10));
  due.Add("09/12/2026", Value(5.0));
  due.Add("08/12/2026", Value(0.2));
  ASSERT_EQ(due.Count(), 2);
  EXPECT_EQ(due.Sum(due.IndexOf("08/12/2026")).asDouble(), 10.3);
  // Taking the amounts back out leaves the total exactly zero, not a binary remainder.
  due.Add("08/12/2026", Value(-10.10));
  due.Add("08/12/2026", Value(-0.2));
  EXPECT_EQ(due.Sum(0).asDouble(), 0.0);
  due.Remove("08/12/2026");
  EXPECT_EQ(due.Count(), 1);
  EXPECT_EQ(due.Key(0), "09/12/2026");
  EXPECT_EQ(due.IndexOf("09/12/2026"), 0);  // positions follow a removal
  due.Remove("absent");
  EXPECT_EQ(due.Count(), 1);
  EXPECT_THROW((void)due.Sum(1), std::out_of_range);
}

TEST(TKeyList, ReplacesArraysAndComparesKeysExactly) {
  TKeyList emission;
  emission.Add("00010000000001", std::vector<Value>{"08/12/2026", "ACME", "1,00", ""});
  emission.Add("00010000000001", std::vector<Value>{"09/12/2026", "ACME", "2,00", "2"});
  ASSERT_EQ(emission.Count(), 1);
  EXPECT_EQ(emission.Sum(0).element(0), Value("09/12/2026"));
  EXPECT_EQ(emission.Sum(0).element(3), Value("2"));
  EXPECT_TRUE(emission.Sum(0).element(9).isNull());
  EXPECT_EQ(emission.IndexOf("00010000000001 "), -1);
  emission.Add("a", Value(1));
  emission.Add("A", Value(1));
  EXPECT_EQ(emission.Count(), 3);
  emission.Clear();
  EXPECT_EQ(emission.Count(), 0);
  EXPECT_EQ(emission.IndexOf("a"), -1);
}

TEST(TMessages, MatchesKeysWithoutCaseAndFillsArguments) {
  const TMessages msgs{{"NPrint", "Boleto %s já emitido em outro modelo."},
                       {"Bol_emit_Sucess", "%d boletos emitidos em %s."}};
  EXPECT_EQ(msgs.Msg("nprint", {"08/12/2026 - ACME - 1,00"}),
            "Boleto 08/12/2026 - ACME - 1,00 já emitido em outro modelo.");
  EXPECT_EQ(msgs.Msg("BOL_EMIT_SUCESS", {3, "/tmp/x"}), "3 boletos emitidos em /tmp/x.");
  EXPECT_EQ(msgs.Msg("Unknown_Key"), "Unknown_Key");
  EXPECT_EQ(Format("%s %s", {"a"}), "a %s");
  EXPECT_EQ(Format("100%% %.2f", {1.005}), "100% 1,01");
  try {
    msgs.Error("NPrint", {"x"});
    FAIL() << "Error must raise";
  } catch (const OperationError& e) {
    EXPECT_EQ(e.key(), "NPrint");
    EXPECT_STREQ(e.what(), "Boleto x já emitido em outro modelo.");
  }
}

TEST(ScriptedDialogs, AnswersInOrderAndFailsOnAnythingUnscripted) {
  ScriptedDialogs d;
  d.expectQuestion("Reemitir", true).expectMsgAlert("já emitido", 11).expectFolder("/tmp/out");
  EXPECT_TRUE(d.question("Reemitir os boletos?", "Boletos"));
  EXPECT_EQ(d.msgAlertEx("Boleto já emitido", "Boletos", {"Sim", "Não"}), 11);
  EXPECT_EQ(d.selectFolder("Diretório", ""), "/tmp/out");
  EXPECT_EQ(d.pending(), 0u);
  EXPECT_THROW(d.information("surprise", "x"), UnexpectedDialog);

  ScriptedDialogs wrongKind;
  wrongKind.expectQuestion("Emitir", true);
  EXPECT_THROW(wrongKind.error("Emitir", "x"), UnexpectedDialog);
  ScriptedDialogs wrongButton;
  wrongButton.expectMsgAlert("x", 12);
  EXPECT_THROW(wrongButton.msgAlertEx("x", "c", {"Sim", "Não"}), UnexpectedDialog);
}

TEST(ScriptedDialogs, SaveAddsTheDefaultExtensionAndWaitIsCounted) {
  ScriptedDialogs d;
  d.expectSave(std::string("/tmp/boletos")).expectSave(std::nullopt);
  EXPECT_EQ(d.saveFile("Salvar", "PDF|*.pdf", "pdf", ""), "/tmp/boletos.pdf");
  EXPECT_FALSE(d.saveFile("Salvar", "PDF|*.pdf", "pdf", ""));
  HostScope scope({.dialogs = std::shared_ptr<Dialogs>(&d, [](Dialogs*) {})});
  {
    WaitAnimation wait;
    EXPECT_TRUE(d.waitShown());
  }
  EXPECT_FALSE(d.waitShown());
  EXPECT_EQ(d.waitToggles(), 2);
}

TEST(Context, ReadsSettingsAndAnswersAccessAndLockedDates) {
  ContextSettings s;
  s.set("company", "4");
  s.set("branch", "1");
  s.set("processing-date", "08/12/2026");
  s.set("processing-date.0002", "2026-12-01");
  s.set("companies", "04; 8");
  s.set("locked-before.REC", "01/12/2026");
  EXPECT_THROW(s.set("web-port", "99999"), std::invalid_argument);
  EXPECT_THROW(s.set("colour", "blue"), std::invalid_argument);
  EXPECT_THROW(s.set("branch-module", "talvez"), std::invalid_argument);
  auto scope = std::make_unique<HostScope>(Host{.context = std::make_shared<ConfiguredContext>(s)});
  EXPECT_EQ(EmprProc(), "04");
  EXPECT_EQ(FiliProc(), "0001");
  EXPECT_FALSE(ModuFili());
  EXPECT_EQ(DataProc(), DateTime::fromYmd(2026, 12, 8));
  EXPECT_EQ(DataProc("2"), DateTime::fromYmd(2026, 12, 1));
  EXPECT_TRUE(AcessoOperEmpresa("demo", "08"));
  EXPECT_FALSE(AcessoOperEmpresa("demo", "09"));
  EXPECT_FALSE(AcessoOperEmpresa("other", "04"));
  EXPECT_TRUE(DtProcBloq("REC", "demo", DateTime::fromYmd(2026, 11, 30)));
  EXPECT_FALSE(DtProcBloq("REC", "demo", DateTime::fromYmd(2026, 12, 1)));
  EXPECT_FALSE(DtProcBloq("PAG", "demo", DateTime::fromYmd(2000, 1, 1)));
  scope.reset();
  EXPECT_THROW(context(), InvariantError);
}
