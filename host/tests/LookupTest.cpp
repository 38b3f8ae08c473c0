#include <gtest/gtest.h>

#include "host/ClientDataset.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/Lookup.h"

using namespace host;

TEST(ListText, CodesTravelCommaSeparatedAndBlanksAreDropped) {
  EXPECT_EQ(SplitLista(" 0001, ,0002,"), (std::vector<std::string>{"0001", "0002"}));
  EXPECT_TRUE(SplitLista("").empty());
  EXPECT_EQ(JoinLista({"01", "", "02"}), "01,02");
}

TEST(PesquisaLista, OffersEveryRowTicksTheCurrentCodesAndGivesTheChosenInRowOrder) {
  auto d = std::make_shared<ScriptedDialogs>();
  HostScope scope({.dialogs = d});
  ClientDataset ds("qryFilial");
  ds.setFieldDefs({{.name = "CDFILIAL", .size = 4}, {.name = "NMFILIAL", .size = 30}});
  ds.createDataset();
  for (auto [c, n] : {std::pair{"0001", "Matriz"}, {"0002", "Centro"}, {"0003", "Norte"}}) {
    ds.append();
    ds.fieldByName("CDFILIAL").setString(c);
    ds.fieldByName("NMFILIAL").setString(n);
    ds.post();
  }
  d->expectPickMany(std::vector<int>{2, 0, 2});
  EXPECT_EQ(PesquisaLista(ds, "CDFILIAL", "Filial", "0002"), "0001,0003");
  EXPECT_EQ(d->lastPickItems().at(1), "0002 | Centro");
  d->expectPickMany(std::nullopt);
  EXPECT_EQ(PesquisaLista(ds, "CDFILIAL", "Filial", ""), std::nullopt);

  ds.emptyDataset();
  try {
    PesquisaListaMsg(ds, "CDFILIAL", "Filial", "Não há filial cadastrada.", "");
    FAIL();
  } catch (const OperationError& e) {
    EXPECT_STREQ(e.what(), "Não há filial cadastrada.");
  }
  EXPECT_EQ(d->pending(), 0u);
}
