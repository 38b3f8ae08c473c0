#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "ui/QtDialogs.h"
#include "ui/tests/QtApp.h"

namespace {

/// Acts on the modal window once it is open (a dialog's exec() blocks the test).
void whenOpen(std::function<void(QWidget&)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    QWidget* w = QApplication::activeModalWidget();
    ASSERT_NE(w, nullptr);
    act(*w);
  });
}

void press(QWidget& box, const QString& caption) {
  for (QAbstractButton* b : box.findChildren<QAbstractButton*>()) {
    if (b->text() == caption) {
      b->click();
      return;
    }
  }
  ADD_FAILURE() << "no button " << caption.toStdString();
}

class QtDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::test::app(); }
  ui::QtDialogs dialogs;
};

TEST_F(QtDialogsTest, QuestionsAnswerSimOrNaoAndCarryTheCaption) {
  QString title;
  whenOpen([&](QWidget& box) {
    title = box.windowTitle();
    press(box, "Não");
  });
  EXPECT_FALSE(dialogs.question("Confirma?", "Boletos"));
  EXPECT_EQ(title, "Boletos");
  whenOpen([](QWidget& box) { press(box, "Sim"); });
  EXPECT_TRUE(dialogs.question("Confirma?", "Boletos"));
}

TEST_F(QtDialogsTest, MsgAlertExCountsButtonsFromTen) {
  whenOpen([](QWidget& box) { press(box, "Segundo"); });
  EXPECT_EQ(dialogs.msgAlertEx("Escolha", "Boletos", {"Primeiro", "Segundo", "Terceiro"}), 11);
}

TEST_F(QtDialogsTest, PickListsSearchAndAnswerByOriginalPosition) {
  const std::vector<std::string> items{"Banco Alfa", "Banco Beta", "Caixa Gama"};
  whenOpen([](QWidget& dlg) {
    QTest::keyClicks(dlg.findChild<QLineEdit*>("edtPesquisa"), "gama");
    press(dlg, "OK");
  });
  EXPECT_EQ(dialogs.pickList("Bancos", items), 2);

  whenOpen([](QWidget& dlg) {
    auto* list = dlg.findChild<QListWidget*>("lstItens");
    QTest::keyClicks(dlg.findChild<QLineEdit*>("edtPesquisa"), "beta");
    list->item(1)->setCheckState(Qt::Checked);
    press(dlg, "OK");
  });
  // The search hides Alfa but does not clear the tick it came with.
  EXPECT_EQ(dialogs.pickMany("Bancos", items, {0}), (std::vector<int>{0, 1}));

  whenOpen([](QWidget& dlg) { press(dlg, "Cancelar"); });
  EXPECT_EQ(dialogs.pickList("Bancos", items), std::nullopt);

  whenOpen([](QWidget& dlg) {
    QTest::keyClicks(dlg.findChild<QLineEdit*>("edtPesquisa"), "zzz");
    press(dlg, "OK");
  });
  EXPECT_EQ(dialogs.pickList("Bancos", items), std::nullopt);  // nothing shown, nothing chosen
}

TEST_F(QtDialogsTest, TheWaitCursorNestsAndEndsWithTheDialogs) {
  {
    ui::QtDialogs own;
    own.showWait(true);
    own.showWait(true);
    own.showWait(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    own.showWait(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    own.showWait(false);  // one "off" too many is harmless
    own.showWait(true);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtNameFilter, TurnsTheScreensFiltersIntoQtOnes) {
  EXPECT_EQ(ui::qtNameFilter("Arquivo Remessa|*.rem"), "Arquivo Remessa (*.rem)");
  EXPECT_EQ(ui::qtNameFilter("Texto|*.txt;*.rem|Todos|*.*"), "Texto (*.txt *.rem);;Todos (*.*)");
  EXPECT_EQ(ui::qtNameFilter(""), "");
}

}  // namespace
