#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <optional>

#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/Screen.h"
#include "ui/Binder.h"
#include "ui/tests/QtApp.h"

namespace {

using host::ControlKind;

template <class W>
W* add(QWidget& root, const char* name) {
  auto* w = new W(&root);
  w->setObjectName(QString::fromLatin1(name));
  root.layout()->addWidget(w);
  return w;
}

/// A screen model and the scripted dialogs its errors go to.
class ScreenFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::test::app();
    dialogs = std::make_shared<host::ScriptedDialogs>();
    host_.emplace(host::Host{.dialogs = dialogs});
  }
  void TearDown() override {
    binder.reset();
    host_.reset();
  }

  using Control = host::Control;
  host::ScreenModel model{"TfrmTeste", "TST", "Teste"};
  std::shared_ptr<host::ScriptedDialogs> dialogs;
  std::optional<host::HostScope> host_;
  std::unique_ptr<QWidget> root;
  std::unique_ptr<ui::Binder> binder;
};

/// A small screen: a field whose change rule enables a button, a button, a check box, a
/// combo, pages and a menu item, with widgets of the same names.
class BinderTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();

    edit = &model.addControl("medEmpresa", ControlKind::Edit);
    edit->onChange = [this] {
      ++changes;
      if (edit->text() == "0") throw host::OperationError("Empresa inválida");
      model.control("sbtConfirmar").setEnabled(!edit->text().empty());
    };
    Control& confirm = model.addControl("sbtConfirmar", ControlKind::Button);
    confirm.setCaption("Confirmar");
    confirm.setEnabled(false);
    confirm.onClick = [this] { ++clicks; };
    Control& menu = model.addControl("mniConfirmar", ControlKind::MenuItem);
    menu.onClick = [this] { ++clicks; };
    check = &model.addControl("chkTodas", ControlKind::Check);
    check->onClick = [this] { ++clicks; };
    combo = &model.addControl("cbxTipo", ControlKind::Combo);
    combo->setItems({"Simples", "Vinculada"});
    combo->setItemIndex(0);
    combo->onChange = [this] { ++changes; };
    pages = &model.addPageControl("pgcPadrao");
    pages->addPage("tshLista", "Lista");
    pages->addPage("tshAjustes", "Ajustes");
    pages->onChange = [this] { ++changes; };
    model.addControl("lblEmpresa", ControlKind::Label).setCaption("Empresa");

    root = std::make_unique<QWidget>();
    root->setObjectName("frmTeste");
    new QVBoxLayout(root.get());
    lineEdit = add<QLineEdit>(*root, "medEmpresa");
    button = add<QPushButton>(*root, "sbtConfirmar");
    checkBox = add<QCheckBox>(*root, "chkTodas");
    comboBox = add<QComboBox>(*root, "cbxTipo");
    label = add<QLabel>(*root, "lblEmpresa");
    tabs = add<QTabWidget>(*root, "pgcPadrao");
    for (const char* name : {"tshLista", "tshAjustes"}) {
      auto* page = new QWidget;
      page->setObjectName(QString::fromLatin1(name));
      tabs->addTab(page, QString());
    }
    action = new QAction(root.get());
    action->setObjectName("mniConfirmar");
    add<QWidget>(*root, "semControle");
    binder = std::make_unique<ui::Binder>(model, *root);
    root->show();
  }

  Control* edit = nullptr;
  Control* check = nullptr;
  Control* combo = nullptr;
  host::PageControl* pages = nullptr;
  int changes = 0;
  int clicks = 0;

  QLineEdit* lineEdit = nullptr;
  QPushButton* button = nullptr;
  QCheckBox* checkBox = nullptr;
  QComboBox* comboBox = nullptr;
  QLabel* label = nullptr;
  QTabWidget* tabs = nullptr;
  QAction* action = nullptr;
};

TEST_F(BinderTest, BindsByNameAndShowsTheModelsStateFromTheStart) {
  const auto names = binder->boundNames();
  EXPECT_EQ(names.size(), 9u);  // every control; the unnamed and unknown widgets are left alone
  EXPECT_FALSE(button->isEnabled());
  EXPECT_EQ(button->text(), "Confirmar");
  EXPECT_EQ(label->text(), "Empresa");
  ASSERT_EQ(comboBox->count(), 2);
  EXPECT_EQ(comboBox->currentIndex(), 0);
  EXPECT_EQ(tabs->tabText(1), "Ajustes");
}

TEST_F(BinderTest, StateSetByTheModelFollowsOnScreenAndBack) {
  Control& confirm = model.control("sbtConfirmar");
  confirm.setEnabled(true);
  EXPECT_TRUE(button->isEnabled());
  confirm.setEnabled(false);
  EXPECT_FALSE(button->isEnabled());

  confirm.setVisible(false);
  EXPECT_TRUE(button->isHidden());
  confirm.setVisible(true);
  EXPECT_FALSE(button->isHidden());

  edit->setReadOnly(true);
  EXPECT_TRUE(lineEdit->isReadOnly());
  EXPECT_EQ(lineEdit->focusPolicy(), Qt::ClickFocus) << "Tab passes over a field shown only";
  edit->setText("12");
  EXPECT_EQ(lineEdit->text(), "12");
  check->setChecked(true);
  EXPECT_TRUE(checkBox->isChecked());
  combo->setItems({"A", "B", "C"});
  combo->setItemIndex(2);
  EXPECT_EQ(comboBox->count(), 3);
  EXPECT_EQ(comboBox->currentText(), "C");

  model.control("mniConfirmar").setEnabled(false);
  EXPECT_FALSE(action->isEnabled());
  pages->setPageEnabled("tshAjustes", false);
  EXPECT_FALSE(tabs->isTabEnabled(1));
  EXPECT_EQ(changes, 0);  // the program's changes run no rules
}

TEST_F(BinderTest, TypingReachesTheModelAndItsChangeRuleWhenEditingFinishes) {
  QTest::keyClicks(lineEdit, "12");
  EXPECT_EQ(edit->text(), "");  // not while typing
  QTest::keyClick(lineEdit, Qt::Key_Return);
  EXPECT_EQ(edit->text(), "12");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(button->isEnabled());  // what the rule did shows at once

  QTest::keyClick(lineEdit, Qt::Key_Return);  // nothing new typed: no second change
  EXPECT_EQ(changes, 1);
}

TEST_F(BinderTest, ARuleThatRefusesIsShownAsAnErrorOfTheScreen) {
  dialogs->expectError("Empresa inválida");
  lineEdit->setText("0");
  QTest::keyClick(lineEdit, Qt::Key_Return);
  EXPECT_EQ(dialogs->pending(), 0u);
  ASSERT_FALSE(dialogs->shown().empty());
  EXPECT_EQ(dialogs->shown().back().caption, "Teste");
}

TEST_F(BinderTest, ButtonsActionsAndChecksRunTheirRules) {
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 0);  // disabled by the model
  model.control("sbtConfirmar").setEnabled(true);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  action->trigger();
  EXPECT_EQ(clicks, 2);

  checkBox->click();
  EXPECT_TRUE(check->checked());
  EXPECT_EQ(clicks, 3);

  comboBox->setCurrentIndex(1);
  emit comboBox->activated(1);
  EXPECT_EQ(combo->itemIndex(), 1);
  EXPECT_EQ(changes, 1);
}

TEST_F(BinderTest, InputTheModelRefusesIsUndoneOnScreen) {
  check->setReadOnly(true);
  checkBox->click();
  EXPECT_FALSE(check->checked());
  EXPECT_FALSE(checkBox->isChecked());
  EXPECT_EQ(clicks, 0);
}

TEST_F(BinderTest, ThePageShownByTheModelIsTheCurrentTab) {
  pages->setActivePage("tshAjustes");
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(changes, 0);

  tabs->setCurrentIndex(0);  // the operator picks a tab: the model's rule runs
  EXPECT_TRUE(pages->isShown("tshLista"));
  EXPECT_EQ(changes, 1);

  pages->setPageEnabled("tshAjustes", false);
  tabs->setCurrentIndex(1);  // refused by the model: the tab goes back
  EXPECT_TRUE(pages->isShown("tshLista"));
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(changes, 1);
}

TEST_F(BinderTest, FocusMovesBothWays) {
  QApplication::setActiveWindow(root.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(root.get(), 30000));
  edit->setFocus();
  EXPECT_TRUE(lineEdit->hasFocus());

  comboBox->setFocus();
  EXPECT_EQ(model.focusedControl(), combo);
  lineEdit->setFocus();
  EXPECT_EQ(model.focusedControl(), edit);

  edit->onExit = [] { throw host::OperationError("Informe a empresa"); };
  dialogs->expectError("Informe a empresa");
  comboBox->setFocus();  // the exit rule refuses: the focus stays on the field
  EXPECT_EQ(model.focusedControl(), edit);
  EXPECT_TRUE(lineEdit->hasFocus());
  EXPECT_EQ(dialogs->pending(), 0u);
}

TEST_F(BinderTest, NothingIsShownAfterTheBinderOrTheWidgetIsGone) {
  delete label;
  model.control("lblEmpresa").setCaption("Filial");  // the widget is gone: no crash
  binder.reset();
  edit->setText("99");
  EXPECT_EQ(lineEdit->text(), "");
  QTest::keyClicks(lineEdit, "5");
  QTest::keyClick(lineEdit, Qt::Key_Return);
  EXPECT_EQ(edit->text(), "99");
}

TEST(BinderMasks, HostEditMasksBecomeQtInputMasks) {
  EXPECT_EQ(ui::qtInputMask("!99/99/9999;1;_"), "00/00/0000;_");
  EXPECT_EQ(ui::qtInputMask("00000-000;0; "), "99999-999; ");
  EXPECT_EQ(ui::qtInputMask(">LL<ll<>cC;1;*"), ">AA<aa!xX;*");
  EXPECT_EQ(ui::qtInputMask("\\A#(9)a;1;_"), "\\A#(0)n;_");  // an escaped literal
  EXPECT_EQ(ui::qtInputMask("9 H;0;_"), "0 \\H;_");          // a literal Qt reserves
  EXPECT_EQ(ui::qtInputMask("Vencimento"), "");
  EXPECT_EQ(ui::qtInputMask("99;2;_"), "");
}

/// A memo, a date edit under the host's date mask and a code edit whose mask stores no
/// literals.
class BinderTextTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    memo = &model.addControl("memMensagem", ControlKind::Memo);
    memo->onChange = [this] {
      ++changes;
      if (memo->text() == "x") throw host::OperationError("Mensagem inválida");
    };
    date = &model.addControl("edtData", ControlKind::Edit);
    date->setCaption("!99/99/9999;1;_");
    date->onChange = [this] { ++changes; };
    code = &model.addControl("edtCep", ControlKind::Edit);
    code->setCaption("00000-000;0;_");

    root = std::make_unique<QWidget>();
    new QVBoxLayout(root.get());
    memoEdit = add<QPlainTextEdit>(*root, "memMensagem");
    dateEdit = add<QLineEdit>(*root, "edtData");
    codeEdit = add<QLineEdit>(*root, "edtCep");
    binder = std::make_unique<ui::Binder>(model, *root);
    binder->setAfterInput([this] { ++inputs; });
    root->show();
    QApplication::setActiveWindow(root.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.get(), 30000));
  }
  Control* memo = nullptr;
  Control* date = nullptr;
  Control* code = nullptr;
  int changes = 0;
  int inputs = 0;
  QPlainTextEdit* memoEdit = nullptr;
  QLineEdit* dateEdit = nullptr;
  QLineEdit* codeEdit = nullptr;
};

TEST_F(BinderTextTest, AMemosTextGoesBothWaysAndReachesTheModelWhenLeft) {
  memo->setText("Primeira linha\nSegunda");
  EXPECT_EQ(memoEdit->toPlainText(), "Primeira linha\nSegunda");
  memo->setReadOnly(true);
  EXPECT_TRUE(memoEdit->isReadOnly());
  memo->setReadOnly(false);

  memoEdit->setFocus();
  memoEdit->moveCursor(QTextCursor::End);
  QTest::keyClicks(memoEdit, " e mais");
  EXPECT_EQ(changes, 0);  // not while typing
  dateEdit->setFocus();
  EXPECT_EQ(memo->text(), "Primeira linha\nSegunda e mais");
  EXPECT_EQ(changes, 1);

  // A text the rule refuses is an error of the screen; the input is reported all the same.
  const int before = inputs;
  dialogs->expectError("Mensagem inválida");
  memoEdit->setFocus();
  memoEdit->setPlainText("x");
  dateEdit->setFocus();
  EXPECT_EQ(dialogs->pending(), 0u);
  EXPECT_GT(inputs, before);
}

// A shortcut fires without the field being left: the field's text reaches the model before
// the action's rule reads it, and a half-typed masked field stays out.
TEST_F(BinderTextTest, AShortcutTakesTheTextOfTheFieldStillBeingTyped) {
  Control& confirm = model.addControl("actConfirmar", ControlKind::MenuItem);
  std::string memoAtClick, codeAtClick;
  confirm.onClick = [&] {
    memoAtClick = memo->text();
    codeAtClick = code->text();
  };
  auto* action = new QAction(root.get());
  action->setObjectName("actConfirmar");
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
  root->addAction(action);
  binder = std::make_unique<ui::Binder>(model, *root);

  memoEdit->setFocus();
  QTest::keyClicks(memoEdit, "Boletos de abril");
  QTest::keyClick(memoEdit, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(memoAtClick, "Boletos de abril");
  EXPECT_EQ(memoEdit->toPlainText(), "Boletos de abril") << "Ctrl+Enter typed no line break";

  // A postal code needs all its digits: three typed are not a code yet.
  codeEdit->setFocus();
  codeEdit->setCursorPosition(0);
  QTest::keyClicks(codeEdit, "123");
  QTest::keyClick(codeEdit, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(codeAtClick, "") << "an unfinished code is no code";
  EXPECT_EQ(codeEdit->displayText(), "123__-___") << "and stays as typed";
}

TEST_F(BinderTextTest, AMaskedEditTypesTheTextTheMaskMeans) {
  EXPECT_EQ(dateEdit->inputMask(), "00/00/0000;_");
  dateEdit->setFocus();
  QTest::keyClick(dateEdit, Qt::Key_Return);  // left blank: no date, not "//"
  EXPECT_EQ(date->text(), "");
  EXPECT_EQ(changes, 0);
  dateEdit->setCursorPosition(0);
  QTest::keyClicks(dateEdit, "05032026");
  QTest::keyClick(dateEdit, Qt::Key_Return);
  EXPECT_EQ(date->text(), "05/03/2026");
  EXPECT_EQ(changes, 1);
  date->setText("");
  EXPECT_EQ(dateEdit->displayText(), "__/__/____");

  // Literals not stored: the model has the digits, the field shows them in the mask.
  code->setText("87654321");
  EXPECT_EQ(codeEdit->displayText(), "87654-321");
  codeEdit->setFocus();
  codeEdit->setText("12345678");
  QTest::keyClick(codeEdit, Qt::Key_Return);
  EXPECT_EQ(code->text(), "12345678");
}

}  // namespace

namespace {

TEST(BinderRadioGroup, ARadioControlWithItemsIsAGroupOfButtonsThatChoosesAnItem) {
  ui::test::app();
  host::ScreenModel model{"TfrmTeste", "TST", "Teste"};
  host::Control& status = model.addControl("rgpStatus", ControlKind::Radio);
  status.setItems({"Ambos", "Emitidos", "Pendentes"});
  status.setItemIndex(0);
  int changes = 0;
  status.onChange = [&] {
    ++changes;
    // The model refuses "Emitidos" and keeps what it had.
    if (status.itemIndex() == 1) status.setItemIndex(0);
  };
  QWidget root;
  new QVBoxLayout(&root);
  auto* group = add<QWidget>(root, "rgpStatus");
  ui::Binder binder(model, root);
  root.show();

  const auto buttons = group->findChildren<QRadioButton*>();
  ASSERT_EQ(buttons.size(), 3);
  EXPECT_EQ(buttons[2]->text(), "Pendentes");
  EXPECT_TRUE(buttons[0]->isChecked());

  QTest::mouseClick(buttons[2], Qt::LeftButton);
  EXPECT_EQ(status.itemIndex(), 2);
  EXPECT_EQ(changes, 1);
  QTest::mouseClick(buttons[1], Qt::LeftButton);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(buttons[0]->isChecked()) << "the refused choice is undone on screen";
  EXPECT_FALSE(buttons[1]->isChecked());

  status.setItemIndex(-1);  // none chosen: no button on
  for (auto* b : buttons) EXPECT_FALSE(b->isChecked());
  status.setItems({"Todos", "Lista"});
  EXPECT_EQ(group->findChildren<QRadioButton*>().size(), 2);
}

}  // namespace
