#include <gtest/gtest.h>

#include "host/ClientDataset.h"
#include "host/Screen.h"
#include "records/Tables.h"
#include "register/GridLayout.h"

using namespace rec;

namespace {

struct Board : host::ScreenModel {
  Board() : host::ScreenModel("TfrmTeste", "TST", "Teste") {
    auto& g = addGrid("dbgPadrao");
    for (const char* f :
         {"IDMARCADO", "FTR_DTVENBOLREC", "FTR_NMRAZSOCCLIE", "FTR_NRPARCBOLREC", "FTR_NRDUPLICATA",
          "FTR_VRFINALBREC", "FTR_IDSTATBREC", "FTR_NRLICENCAUSO", "FTR_CDFILIAL", "FTR_DTEMISSAO",
          "FTR_NRNOTAFISC", "FTR_CDFILIEMIT", "FTR_NRCNABRECREM", "FTR_NRCNABRECRET",
          "FTR_IDSITUCNABR", "FTR_IDPROTESTREC", "FTR_DSBOLETREC"}) {
      g.addColumn({f, f, 64, true});
    }
    list.setFieldDefs(records::BoletoRecord().fields());
    list.createDataset();
  }
  host::ClientDataset list{"cdsBoletos"};
  host::ClientDataset vis{"cdsVisualiza"};

  void arrange(const std::string& setting) {
    createVisualiza(vis);
    parseColumnLayout(columnLayout(setting), vis);
    applyColumnLayout(vis, grid("dbgPadrao"), list);
  }
  std::vector<std::string> shown() {
    std::vector<std::string> out;
    for (const auto& c : grid("dbgPadrao").columns()) {
      if (c.visible) out.push_back(c.field);
    }
    return out;
  }
};

}  // namespace

TEST(GridLayout, AnEmptySettingGivesTheDefaultLayoutSixShownNineHidden) {
  Board b;
  b.arrange("");
  EXPECT_EQ(b.vis.recordCount(), 15u);
  EXPECT_EQ(b.shown(),
            (std::vector<std::string>{"IDMARCADO", "FTR_DTVENBOLREC", "FTR_NMRAZSOCCLIE",
                                      "FTR_NRPARCBOLREC", "FTR_NRDUPLICATA", "FTR_VRFINALBREC",
                                      "FTR_IDSTATBREC", "FTR_DSBOLETREC"}));
  EXPECT_EQ(b.grid("dbgPadrao").column("FTR_NMRAZSOCCLIE").width, 145);
  EXPECT_FALSE(b.list.fieldDef("FTR_CDFILIAL").visible);
  EXPECT_TRUE(b.list.fieldDef("FTR_DTVENBOLREC").visible);
}

TEST(GridLayout, AnOldSettingGetsTheRemittanceColumnsAndItsOwnOrder) {
  EXPECT_EQ(columnLayout("DTVENBOLREC_070SA#"),
            "DTVENBOLREC_070SA#NRCNABRECREM_065NL#NRCNABRECRET_065NM#IDSITUCNABR_130NN#"
            "IDPROTESTREC_030NO#");
  EXPECT_EQ(columnLayout("NRCNABRECREM_065SA#"), "NRCNABRECREM_065SA#");
  Board b;
  // Value first, then the customer; the due date hidden; the mark column stays first.
  b.arrange("VRFINALBREC_090SA#NMRAZSOCCLIE_100SB#DTVENBOLREC_070NC#NRCNABRECREM_065SD#");
  const auto& cols = b.grid("dbgPadrao").columns();
  EXPECT_EQ(cols[0].field, "IDMARCADO");
  EXPECT_EQ(cols[1].field, "FTR_VRFINALBREC");
  EXPECT_EQ(cols[1].width, 90);
  EXPECT_EQ(cols[2].field, "FTR_NMRAZSOCCLIE");
  EXPECT_EQ(cols[3].field, "FTR_NRCNABRECREM");
  EXPECT_FALSE(b.grid("dbgPadrao").column("FTR_DTVENBOLREC").visible);
  EXPECT_FALSE(b.list.fieldDef("FTR_DTVENBOLREC").visible);
}

TEST(GridLayout, EntriesAreReadFromTheRightAndMalformedOnesAreSkipped) {
  auto e = GridLayoutEntry::parse("NF_ORCAMENTO_054SH");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->field, "NF_ORCAMENTO");
  EXPECT_EQ(e->width, 54);
  EXPECT_TRUE(e->visible);
  EXPECT_EQ(e->order, 'H');
  EXPECT_FALSE(GridLayoutEntry::parse("DTVENBOLREC_07XSA"));
  EXPECT_FALSE(GridLayoutEntry::parse("SA"));
  host::ClientDataset vis("cdsVisualiza");
  createVisualiza(vis);
  parseColumnLayout("LIXO#DTVENBOLREC_070xA#NRCNABRECREM_065SL#", vis);
  ASSERT_EQ(vis.recordCount(), 2u);
  vis.first();
  EXPECT_EQ(vis.valueOf("FIELD").asString(), "FTR_DTVENBOLREC");
  EXPECT_EQ(vis.valueOf("VISUALIZA").asString(), "N");  // anything but "S" hides
}
