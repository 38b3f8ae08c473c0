#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QSize>

#include "host/ClientDataset.h"
#include "host/Screen.h"
#include "ui/DatasetTableModel.h"
#include "ui/tests/QtApp.h"

namespace {

using host::FieldDef;
using host::FieldType;

class DatasetTableModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::test::app();
    list.setFieldDefs({
        FieldDef{.name = "IDMARCADO", .size = 1},
        FieldDef{.name = "DTVENBOLREC", .type = FieldType::Date, .displayFormat = "dd/mm/yyyy"},
        FieldDef{.name = "NMRAZSOCCLIE", .size = 40, .displayLabel = "Razão Social"},
        FieldDef{.name = "VRFINALBREC", .type = FieldType::Float, .displayFormat = "#,##0.00"},
        FieldDef{.name = "IDSTATBREC", .size = 1},
    });
    list.createDataset();
    row("M", 2026, 1, 5, "ACME LTDA", 1234.5, "E");
    row("", 2026, 2, 10, "BETA SA", 7, "A");
    row("", 2026, 3, 1, "GAMA ME", 0.1, "A");
    grid.setColumns({
        {.field = "IDMARCADO", .title = "", .width = 16},
        {.field = "DTVENBOLREC", .title = "Vencimento", .width = 70},
        {.field = "NMRAZSOCCLIE", .title = "", .width = 145},
        {.field = "VRFINALBREC", .title = "Valor", .width = 70},
        {.field = "IDSTATBREC", .title = "Status", .width = 35, .visible = false},
    });
  }

  void row(const char* mark, int y, int m, int d, const char* name, double value,
           const char* status) {
    list.append();
    list.fieldByName("IDMARCADO").setString(mark);
    list.fieldByName("DTVENBOLREC").setDate(host::DateTime::fromYmd(y, m, d));
    list.fieldByName("NMRAZSOCCLIE").setString(name);
    list.fieldByName("VRFINALBREC").setFloat(value);
    list.fieldByName("IDSTATBREC").setString(status);
    list.post();
  }

  QString text(const ui::DatasetTableModel& m, int r, int c) const {
    return m.data(m.index(r, c)).toString();
  }

  host::ScreenModel screen{"TfrmTeste", "TST", "Teste"};
  host::GridControl& grid = screen.addGrid("dbgPadrao");
  host::ClientDataset list{"cdsLista"};
};

TEST_F(DatasetTableModelTest, ShowsTheGridsShownColumnsWithTitlesWidthsAndDisplayTexts) {
  ui::DatasetTableModel model(list, grid);
  ASSERT_EQ(model.rowCount(), 3);
  ASSERT_EQ(model.columnCount(), 4);  // the hidden status column is not there
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Vencimento");
  EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Razão Social");  // the field's label
  EXPECT_EQ(model.columnWidth(2), 145);

  EXPECT_EQ(text(model, 0, 1), "05/01/2026");
  EXPECT_EQ(text(model, 0, 2), "ACME LTDA");
  EXPECT_EQ(text(model, 0, 3), "1.234,50");
  EXPECT_EQ(text(model, 2, 3), "0,10");
  EXPECT_EQ(list.recNo(), 3u);  // drawing does not move the cursor

  EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(text(model, 0, 0), "");
  EXPECT_FALSE(model.data(model.index(0, 1), Qt::CheckStateRole).isValid());
}

TEST_F(DatasetTableModelTest, FollowsTheGridsColumnsAndTheDatasetAfterRefresh) {
  ui::DatasetTableModel model(list, grid);
  grid.column("IDSTATBREC").visible = true;
  grid.column("NMRAZSOCCLIE").visible = false;
  model.refresh();
  ASSERT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.fieldAt(2), "VRFINALBREC");
  EXPECT_EQ(text(model, 1, 3), "A");

  grid.moveColumn(4, 1);  // announced by the grid: no refresh needed
  EXPECT_EQ(model.fieldAt(1), "IDSTATBREC");
  EXPECT_EQ(model.fieldAt(4), "");
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  grid.setSelectedColumn(2);  // the same columns: the view keeps its place
  EXPECT_EQ(resets.count(), 0);

  model.setDisplayRule("IDSTATBREC", [](const host::Value& v) {
    return v.asString() == "E" ? std::string("Emitido") : std::string("Pendente");
  });
  EXPECT_EQ(text(model, 0, 1), "Emitido");

  list.setIndexFieldNames("NMRAZSOCCLIE");
  list.first();
  list.deleteRecord();  // ACME goes
  model.refresh();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(text(model, 0, 2), "10/02/2026");
  EXPECT_EQ(text(model, 0, 3), "7,00");
}

TEST_F(DatasetTableModelTest, AViewAskingForRowsThatWentAwayGetsNothing) {
  ui::DatasetTableModel model(list, grid);
  list.emptyDataset();  // before the screen calls refresh()
  EXPECT_FALSE(model.data(model.index(2, 1)).isValid());
  list.close();
  model.refresh();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(DatasetTableModelTest, ReadsAnyRowOfALongListWhereTheCursorStands) {
  list.setLogChanges(false);
  for (int i = 0; i < 100000; ++i) row("", 2026, 4, 1 + i % 28, "CLIENTE", i, "A");
  list.first();
  ui::DatasetTableModel model(list, grid);
  EXPECT_EQ(model.rowCount(), 100003);
  EXPECT_EQ(text(model, 100002, 3), "99.999,00");
  EXPECT_EQ(list.recNo(), 1u);
}

}  // namespace
