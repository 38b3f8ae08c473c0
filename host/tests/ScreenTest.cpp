#include <gtest/gtest.h>

#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/Screen.h"

using namespace host;

namespace {

struct Fixture : ::testing::Test {
  std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
  std::shared_ptr<ConfiguredContext> ctx = std::make_shared<ConfiguredContext>(ContextSettings{});
  HostScope host{{.context = ctx, .dialogs = dialogs}};
  void TearDown() override {
    EXPECT_EQ(dialogs->pending(), 0u) << "scripted dialogs were not shown";
  }
};

class Screen : public TfrmPadrao {
 public:
  Screen() : TfrmPadrao("TfrmTeste", "TST00001", "Teste") {
    messages().Add("Campo_ni", "Campo deve ser informado.");
    auto& pages = addPageControl("pgcPadrao");
    auto& menuList = addControl("mnuLista", ControlKind::MenuItem);
    pages.addPage("tshLista", "Lista", &menuList);
    auto& data = pages.addPage("tshDados", "Dados");
    addControl("edtNome", ControlKind::Edit, &data);
    addControl("edtCodigo", ControlKind::Edit);
    ds.setFieldDefs({{"CODIGO", FieldType::String, 3}});
    ds.createDataset();
    setMainDataset(&ds);
  }
  bool busy = false;
  ClientDataset ds;

 protected:
  bool canClose() override { return !busy; }
};

using ScreenModelTest = Fixture;

TEST_F(ScreenModelTest, ButtonsFollowTheirMenuItemsAndDisabledCommandsDoNothing) {
  Screen s;
  s.Habilita();
  EXPECT_TRUE(s.control("sbtIncluir").enabled());
  EXPECT_FALSE(s.control("sbtConfirmar").enabled());
  s.control("sbtConfirmar").click();  // disabled: nothing happens, nothing is shown
  s.control("sbtIncluir").click();
  EXPECT_EQ(s.ds.state(), DatasetState::Insert);
  EXPECT_TRUE(s.control("sbtConfirmar").enabled());
  EXPECT_TRUE(s.control("mnuConfirmar").enabled());
  EXPECT_FALSE(s.control("sbtIncluir").enabled());
  s.control("mnuConfirmar").click();
  EXPECT_EQ(s.ds.state(), DatasetState::Browse);
  EXPECT_EQ(s.ds.recordCount(), 1u);
}

TEST_F(ScreenModelTest, CancelAsksAndANoKeepsTheEdit) {
  Screen s;
  s.Habilita();
  s.control("sbtIncluir").click();
  dialogs->expectQuestion("Cancelar operação?", false).expectQuestion("Cancelar operação?", true);
  s.control("sbtCancelar").click();
  EXPECT_EQ(s.ds.state(), DatasetState::Insert);
  s.control("sbtCancelar").click();
  EXPECT_EQ(s.ds.state(), DatasetState::Browse);
  EXPECT_EQ(s.ds.recordCount(), 0u);
}

TEST_F(ScreenModelTest, AFailedCheckShowsThePageFocusesTheFieldAndRaisesItsKey) {
  Screen s;
  try {
    s.failOn("edtNome", "Campo_ni");
    FAIL();
  } catch (const OperationError& e) {
    EXPECT_EQ(e.key(), "Campo_ni");
  }
  EXPECT_TRUE(s.pageControl("pgcPadrao").isShown("tshDados"));
  EXPECT_TRUE(s.control("edtNome").focused());
  // Through run() the operator sees it in an error box with the screen's caption.
  dialogs->expectError("Campo deve ser informado.");
  EXPECT_FALSE(s.run([&] { s.failOn("edtCodigo", "Campo_ni"); }));
  EXPECT_EQ(dialogs->shown().back().caption, "Teste");
}

TEST_F(ScreenModelTest, AnExitRuleThatRefusesKeepsTheFocus) {
  Screen s;
  s.control("edtCodigo").onExit = [&] {
    if (s.control("edtCodigo").text().empty()) s.error("Campo_ni");
  };
  s.control("edtCodigo").setFocus();
  EXPECT_THROW(s.control("edtNome").setFocus(), OperationError);
  EXPECT_TRUE(s.control("edtCodigo").focused());
  s.control("edtCodigo").type("001");
  s.control("edtNome").setFocus();
  EXPECT_TRUE(s.control("edtNome").focused());
}

TEST_F(ScreenModelTest, PagesRefuseToShowWhenDisabledAndTheirMenuItemFollows) {
  Screen s;
  auto& pages = s.pageControl("pgcPadrao");
  int changes = 0;
  pages.onChange = [&] { ++changes; };
  pages.setPageEnabled("tshLista", false);
  EXPECT_FALSE(s.control("mnuLista").enabled());
  pages.showPage("tshDados");
  pages.showPage("tshLista");
  EXPECT_TRUE(pages.isShown("tshDados"));
  EXPECT_EQ(changes, 1);
  // A control on a disabled page cannot be typed into.
  pages.setPageEnabled("tshDados", false);
  s.control("edtNome").type("x");
  EXPECT_EQ(s.control("edtNome").text(), "");
}

TEST_F(ScreenModelTest, CloseIsRefusedWhileBusy) {
  Screen s;
  s.markShown();
  s.busy = true;
  s.control("sbtSair").click();
  EXPECT_TRUE(s.isOpen());
  s.busy = false;
  EXPECT_TRUE(s.close());
  EXPECT_FALSE(s.isOpen());
}

TEST_F(ScreenModelTest, FilterOptionsAreSavedPerOperatorAndScreen) {
  auto store = std::make_shared<MemoryOptionsStore>();
  TfrmFiltroPadrao f("TfrmFiltro", "REC12100", "Filtro de Boleto", store);
  f.addControl("edtDocDe", ControlKind::Edit).setText("0000000010");
  f.addControl("rdgStatus", ControlKind::Radio).setItemIndex(2);
  f.optionValues()["stListaClie"] = "'001','002'";
  EXPECT_FALSE(f.LoadOptions());
  f.control("btfSaveOpc").click();

  f.control("edtDocDe").setText("");
  f.control("rdgStatus").setItemIndex(0);
  f.optionValues().clear();
  f.control("btfLoadOpc").click();
  EXPECT_EQ(f.control("edtDocDe").text(), "0000000010");
  EXPECT_EQ(f.control("rdgStatus").itemIndex(), 2);
  EXPECT_EQ(f.optionValues()["stListaClie"], "'001','002'");

  ctx->settings().operatorCode = "other";
  EXPECT_FALSE(f.LoadOptions());
}

}  // namespace

TEST_F(ScreenModelTest, APanelRunsItsRulesOnlyWhenTheFocusCrossesItsEdge) {
  Screen s;
  auto& pnl = s.addControl("pnlEmpresa", ControlKind::Panel);
  auto& med = s.addControl("medEmpresa", ControlKind::Edit, &pnl);
  auto& nm = s.addControl("edtNmEmpresa", ControlKind::Edit, &pnl);
  std::vector<std::string> trace;
  pnl.onEnter = [&] { trace.push_back("enter"); };
  pnl.onExit = [&] {
    trace.push_back("exit");
    if (med.text().empty()) s.error("Campo_ni");
  };
  med.setFocus();
  nm.setFocus();  // inside the panel: no rule
  EXPECT_EQ(trace, (std::vector<std::string>{"enter"}));
  // A refusing exit keeps the focus inside.
  EXPECT_THROW(s.control("edtCodigo").setFocus(), OperationError);
  EXPECT_TRUE(nm.focused());
  med.type("04");
  s.control("edtCodigo").setFocus();
  EXPECT_EQ(trace, (std::vector<std::string>{"enter", "exit", "exit"}));
  med.setFocus();
  EXPECT_EQ(trace.back(), "enter");
}

TEST_F(ScreenModelTest, GridColumnsMoveAndGoByFieldName) {
  Screen s;
  auto& g = s.addGrid("dbgPadrao");
  for (const char* f : {"IDMARCADO", "A", "B", "C"}) g.addColumn({f, f, 50, true});
  g.moveColumn(3, 1);
  EXPECT_EQ(g.IndiceCol("C"), 1);
  EXPECT_EQ(g.IndiceCol("A"), 2);
  g.DestroiColuna("A");
  g.DestroiColuna("nada");  // a column that is not there is no error
  EXPECT_EQ(g.IndiceCol("A"), -1);
  EXPECT_EQ(g.columns().size(), 3u);
  EXPECT_THROW(g.moveColumn(0, 3), InvariantError);
  EXPECT_THROW(s.grid("edtNome"), InvariantError);
}

namespace {

TEST_F(ScreenModelTest, GridInputReachesTheScreensHandlersOnlyWhileTheGridIsReachable) {
  Screen s;
  auto& g = s.addGrid("dbgLista", &s.control("tshLista"));
  for (const char* f : {"IDMARCADO", "CODIGO"}) g.addColumn({f, f, 50, true});
  std::vector<std::string> heard;
  g.onTitleClick = [&](const std::string& f) { heard.push_back("title " + f); };
  g.onDblClick = [&] { heard.push_back("dbl"); };
  g.onKeyDown = [&](GridKey& key, ShiftState shift) {
    heard.push_back("down");
    if (key == GridKey::Delete && shift.ctrl) key = GridKey::None;
  };
  g.onKeyPress = [&](char c) { heard.push_back(std::string("press ") + c); };
  g.onColEnter = [&](const std::string& f) { heard.push_back("col " + f); };

  g.titleClick("IDMARCADO");
  g.dblClick();
  GridKey key = GridKey::Delete;
  g.keyDown(key, {.ctrl = true});
  EXPECT_EQ(key, GridKey::None);
  g.keyPress(' ');
  g.colEnter("CODIGO");
  EXPECT_EQ(g.selectedColumn(), 1);
  EXPECT_EQ(heard,
            (std::vector<std::string>{"title IDMARCADO", "dbl", "down", "press  ", "col CODIGO"}));

  heard.clear();
  s.pageControl("pgcPadrao").setPageEnabled("tshLista", false);
  g.titleClick("IDMARCADO");
  g.dblClick();
  key = GridKey::Delete;
  g.keyDown(key, {.ctrl = true});
  EXPECT_EQ(key, GridKey::Delete);
  g.keyPress(' ');
  g.colEnter("IDMARCADO");
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(g.selectedColumn(), 1);
}

TEST_F(ScreenModelTest, TheRowTheOperatorMovesToMovesTheCursorWithItsEvents) {
  Screen s;
  auto& g = s.addGrid("dbgLista");
  g.rowMoved(2);  // no dataset yet: nothing to move
  g.setDataset(&s.ds);
  for (const char* c : {"001", "002", "003"}) {
    s.ds.append();
    s.ds.fieldByName("CODIGO").setString(c);
    s.ds.post();
  }
  s.ds.first();
  int scrolls = 0;
  s.ds.events().afterScroll = [&](ClientDataset&) { ++scrolls; };
  g.rowMoved(3);
  EXPECT_EQ(s.ds.recNo(), 3u);
  EXPECT_EQ(scrolls, 1);
  g.rowMoved(9);  // a row gone since the view last looked
  g.rowMoved(3);  // already there
  EXPECT_EQ(scrolls, 1);

  // A pending edit is posted on the way; a post refused keeps the row and the edit.
  s.ds.edit();
  s.ds.fieldByName("CODIGO").setString("");
  s.ds.events().beforePost = [](ClientDataset& ds) {
    if (ds.valueOf("CODIGO").asString().empty()) {
      throw OperationError("Código deve ser informado.");
    }
  };
  EXPECT_THROW(g.rowMoved(1), OperationError);
  EXPECT_EQ(s.ds.recNo(), 3u);
  EXPECT_EQ(s.ds.state(), DatasetState::Edit);
  s.ds.fieldByName("CODIGO").setString("004");
  g.rowMoved(1);
  EXPECT_EQ(s.ds.recNo(), 1u);
  EXPECT_EQ(s.ds.valueAt(3, "CODIGO").asString(), "004");
}

}  // namespace
