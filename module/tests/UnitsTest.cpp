#include <gtest/gtest.h>

#include "module/Units.h"

// One process, one package: the units' counters carry over between these steps, so they are
// one test.
TEST(Units, EachUnitInitialisesAndFinalisesOnceAndStateStartsAsDeclared) {
  const std::vector<std::string> units{"Cli_rec12000", "Cli_rec12002", "Cli_rec12006",
                                       "Cli_rec12013"};
  Cli_rec12000::boStCriado = true;
  Cli_rec12000::boAtualiza = false;
  rec::initializeUnits();
  rec::initializeUnits();
  for (const auto& u : units) EXPECT_EQ(rec::unitInitializations(u), 1) << u;
  EXPECT_FALSE(Cli_rec12000::boStCriado);
  EXPECT_TRUE(Cli_rec12000::boAtualiza);
  EXPECT_FALSE(Cli_rec12000::BoCreditoEmConta);
  EXPECT_EQ(Cli_rec12002::inBolErro, 0);
  EXPECT_EQ(Cli_rec12006::klsCodigoBarra, nullptr);

  Cli_rec12000::stLista = "0000000007";
  Cli_rec12000::stDiretorio = "/tmp/boletos";
  rec::finalizeUnits();
  EXPECT_EQ(rec::unitFinalizations("Cli_rec12000"), 0) << "one load is still outstanding";
  EXPECT_EQ(Cli_rec12000::stLista, "0000000007");
  rec::finalizeUnits();
  rec::finalizeUnits();  // one unload too many: nothing runs twice
  for (const auto& u : units) EXPECT_EQ(rec::unitFinalizations(u), 1) << u;
  EXPECT_EQ(Cli_rec12000::stLista, "");
  EXPECT_EQ(Cli_rec12000::stDiretorio, "");
  EXPECT_EQ(rec::unitInitializations("Cli_rec99999"), -1);
}
