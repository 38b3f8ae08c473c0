#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/Screen.h"
#include "ui/DatasetTableModel.h"
#include "ui/GridView.h"
#include "ui/tests/QtApp.h"

namespace {

using host::FieldDef;
using host::FieldType;
using host::GridKey;

/// A list of clients in a grid whose events write down what reached them.
class GridViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::test::app();
    dialogs = std::make_shared<host::ScriptedDialogs>();
    host_.emplace(host::Host{.dialogs = dialogs});
    list.setFieldDefs({
        FieldDef{.name = "IDMARCADO", .size = 1},
        FieldDef{.name = "NMCLIENTE", .size = 40},
        FieldDef{.name = "VRFINAL", .type = FieldType::Float, .displayFormat = "#,##0.00"},
    });
    list.createDataset();
    list.setLogChanges(false);
    grid.setColumns({{.field = "IDMARCADO", .title = "", .width = 20},
                     {.field = "NMCLIENTE", .title = "Cliente", .width = 150},
                     {.field = "VRFINAL", .title = "Valor", .width = 80}});
    grid.setDataset(&list);
    grid.onTitleClick = [this](const std::string& f) { heard.push_back("title " + f); };
    grid.onDblClick = [this] { heard.push_back("dbl"); };
    grid.onKeyDown = [this](GridKey& key, host::ShiftState shift) {
      keys.push_back(key);
      if (key == GridKey::Delete && shift.ctrl) key = GridKey::None;
      if (key == GridKey::Down && swallowDown) key = GridKey::None;
    };
    grid.onKeyPress = [this](char c) { heard.push_back(std::string("press ") + c); };
    grid.onColEnter = [this](const std::string& f) { heard.push_back("col " + f); };
  }
  void TearDown() override { host_.reset(); }

  void rows(int n) {
    for (int i = 0; i < n; ++i) {
      list.append();
      list.fieldByName("NMCLIENTE").setString("CLIENTE " + std::to_string(i + 1));
      list.fieldByName("VRFINAL").setFloat(i);
      list.post();
    }
    list.first();
  }

  /// The view on screen with its binding; every input the binding passed is counted.
  ui::GridBinding& shown() {
    view = std::make_unique<QTableView>();
    view->resize(400, 300);
    auto* binding = new ui::GridBinding(*view, grid, [this] { ++inputs; });
    view->show();
    QApplication::setActiveWindow(view.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(view.get(), 30000));
    view->setFocus();
    QApplication::processEvents();  // the view lays out its headers later
    return *binding;
  }

  /// As the operator's hand does it: QTest's double click alone is only the second press.
  void doubleClick(int row, int column) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(row, column));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell(row, column));
  }

  QPoint cell(int row, int column) const {
    return view->visualRect(view->model()->index(row, column)).center();
  }

  std::shared_ptr<host::ScriptedDialogs> dialogs;
  std::optional<host::HostScope> host_;
  host::ScreenModel screen{"TfrmTeste", "TST", "Teste"};
  host::GridControl& grid = screen.addGrid("dbgLista");
  host::ClientDataset list{"cdsLista"};
  std::vector<std::string> heard;
  std::vector<GridKey> keys;
  bool swallowDown = false;
  int inputs = 0;
  std::unique_ptr<QTableView> view;
};

TEST_F(GridViewTest, ClicksAndKeysReachTheGridsEventsWithTheirFieldAndKey) {
  rows(3);
  shown();
  EXPECT_EQ(view->horizontalHeader()->sectionSize(1), 150);
  EXPECT_GT(view->horizontalHeader()->height(), 0);  // the titles can be seen and clicked

  QHeaderView* titles = view->horizontalHeader();
  QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                    QPoint(titles->sectionViewportPosition(2) + 10, titles->height() / 2));
  ASSERT_EQ(heard, std::vector<std::string>{"title VRFINAL"});

  heard.clear();
  doubleClick(1, 1);
  EXPECT_EQ(list.recNo(), 2u);  // the click moved to the row first
  EXPECT_EQ(heard, (std::vector<std::string>{"col NMCLIENTE", "dbl"}));

  heard.clear();
  QTest::keyClick(view.get(), Qt::Key_Space);
  EXPECT_EQ(heard, std::vector<std::string>{"press  "});
  QTest::keyClick(view.get(), Qt::Key_Delete, Qt::ControlModifier);
  QTest::keyClick(view.get(), Qt::Key_Insert);
  QTest::keyClick(view.get(), Qt::Key_Tab);
  ASSERT_EQ(keys,
            (std::vector<GridKey>{GridKey::Other, GridKey::Delete, GridKey::Insert, GridKey::Tab}));
  EXPECT_EQ(view->currentIndex().column(), 2);  // Tab went on to the next column
  EXPECT_EQ(grid.selectedColumn(), 2);

  // A key the screen swallows goes no further; one it lets pass moves the view, and the
  // dataset with it.
  swallowDown = true;
  QTest::keyClick(view.get(), Qt::Key_Down);
  EXPECT_EQ(view->currentIndex().row(), 1);
  EXPECT_EQ(list.recNo(), 2u);
  swallowDown = false;
  QTest::keyClick(view.get(), Qt::Key_Down);
  EXPECT_EQ(list.recNo(), 3u);
  EXPECT_GE(inputs, 8);

  // An unreachable grid hears nothing.
  heard.clear();
  grid.setEnabled(false);
  doubleClick(0, 1);
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(list.recNo(), 3u);
}

TEST_F(GridViewTest, TheCurrentRowAndTheDatasetsCursorFollowEachOther) {
  rows(5);
  ui::GridBinding& binding = shown();
  EXPECT_EQ(view->currentIndex().row(), 0);

  view->setCurrentIndex(view->model()->index(3, 2));
  EXPECT_EQ(list.recNo(), 4u);
  EXPECT_EQ(grid.selectedColumn(), 2);

  list.setRecNo(2);  // the program moves: the view follows on refresh
  binding.refresh();
  EXPECT_EQ(view->currentIndex().row(), 1);

  // A move the screen refuses leaves the cursor, and the view returns to it.
  list.events().beforeScroll = [](host::ClientDataset&) {
    throw host::OperationError("Confirme ou cancele a alteração.");
  };
  dialogs->expectError("Confirme ou cancele a alteração.");
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(4, 1));
  QApplication::processEvents();
  EXPECT_EQ(list.recNo(), 2u);
  EXPECT_EQ(view->currentIndex().row(), 1);
  EXPECT_TRUE(view->selectionModel()->isRowSelected(1));
  EXPECT_FALSE(view->selectionModel()->isRowSelected(4));
  EXPECT_EQ(dialogs->pending(), 0u);

  // Rows the screen deleted or added show after a refresh.
  list.events().beforeScroll = nullptr;
  list.last();
  list.deleteRecord();
  binding.refresh();
  EXPECT_EQ(view->model()->rowCount(), 4);
  EXPECT_EQ(view->currentIndex().row(), 3);
}

TEST_F(GridViewTest, ALongListCostsOnlyTheRowsOnScreen) {
  rows(100000);
  int formatted = 0;
  double last = -1;
  grid.setDisplayRule("VRFINAL", [&](const host::Value& v) {
    ++formatted;
    last = std::max(last, v.asDouble());
    return std::to_string(static_cast<long long>(v.asDouble()));
  });
  ui::GridBinding& binding = shown();
  view->grab();
  EXPECT_GT(formatted, 0);
  EXPECT_LT(formatted, 100);

  formatted = 0;
  view->scrollToBottom();
  view->grab();
  EXPECT_LT(formatted, 100);
  EXPECT_EQ(last, 99999.0);

  formatted = 0;
  list.last();
  binding.refresh();
  EXPECT_EQ(formatted, 0);  // refresh reads no row itself
  EXPECT_EQ(view->currentIndex().row(), 99999);
  view->grab();
  EXPECT_LT(formatted, 100);
}

}  // namespace
