// Each screen's Designer form against the screen model it shows: every control has its
// widget of the class its kind asks for, inside its parent's widget; every named widget of
// the form is a control; a binder finds them all. A control renamed or added in a model
// fails here, not on the operator's screen as a field that does nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <map>
#include <set>

#include "ancillary/Cli_rec12009.h"
#include "association/Cli_rec12013.h"
#include "carne/Cli_rec01200.h"
#include "descadia/Cli_rec12005.h"
#include "emission/ImprimeBol.h"
#include "geracao/Cli_rec12006.h"
#include "impnfcred/Cli_rec12003.h"
#include "mail/EnvBolMail.h"
#include "perdas/Cli_rec14002.h"
#include "register/tests/RegisterFixture.h"
#include "selimpor/Cli_rec12007.h"
#include "ui/Binder.h"
#include "ui/Forms.h"
#include "ui/tests/QtApp.h"

namespace {

using host::ControlKind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

/// The classes a control of each kind may be shown with.
std::vector<std::string> classesOf(const host::Control& c) {
  switch (c.kind()) {
    case ControlKind::Edit:
      return {"QLineEdit"};
    case ControlKind::Memo:
      return {"QPlainTextEdit"};
    case ControlKind::Button:
      return {"QPushButton"};
    case ControlKind::MenuItem:
      return {"QAction"};
    case ControlKind::Check:
      return {"QCheckBox"};
    case ControlKind::Radio:
      // A radio control with items is a group: a plain widget the binder fills with buttons.
      return {c.items().empty() ? "QRadioButton" : "QWidget"};
    case ControlKind::Combo:
      return {"QComboBox"};
    case ControlKind::Label:
      return {"QLabel"};
    case ControlKind::PageControl:
      return {"QTabWidget"};
    case ControlKind::Page:
      return {"QWidget"};
    case ControlKind::Grid:
      return {"QTableView"};
    case ControlKind::Panel:
      // A pop-up menu of the screen is a panel in the model whose items the view shows.
      if (c.name().starts_with("pmn")) return {"QMenu"};
      return {"QGroupBox", "QFrame"};
  }
  return {};
}

/// Objects that only arrange the form: layouts, Qt's own parts of its widgets (the tab bar's
/// scroll buttons are not named "qt_..."), and ours named "ui...".
bool isLayoutHelper(const QObject& o) {
  const QString name = o.objectName();
  return qobject_cast<const QLayout*>(&o) != nullptr || name.startsWith("qt_") ||
         qobject_cast<const QTabBar*>(o.parent()) != nullptr || name.startsWith("ui") ||
         name == "mbrPrincipal";
}

/// Every action the menu bar reaches, through its menus and their sub-menus.
void collectActions(const QWidget& menuOrBar, std::set<const QAction*>& into) {
  for (const QAction* a : menuOrBar.actions()) {
    if (!into.insert(a).second) continue;
    if (a->menu() != nullptr) collectActions(*a->menu(), into);
  }
}

std::string describe(const QObject& o) {
  return std::string(o.metaObject()->className()) + " " + o.objectName().toStdString();
}

/// What does not match between a screen model and its form; empty when they agree.
std::vector<std::string> problemsOf(host::ScreenModel& model, QWidget& form) {
  std::vector<std::string> problems;
  if (form.objectName().toStdString() != model.className())
    problems.push_back("the form is named " + form.objectName().toStdString());
  if (form.windowTitle().toStdString() != model.caption())
    problems.push_back("the form's title is " + form.windowTitle().toStdString());

  QList<QObject*> objects = form.findChildren<QObject*>();
  objects.prepend(&form);
  std::map<std::string, std::vector<QObject*>> byName;
  for (QObject* o : objects) {
    if (!o->objectName().isEmpty()) byName[o->objectName().toStdString()].push_back(o);
  }

  std::set<const QAction*> inMenus;
  auto* bar = form.findChild<QMenuBar*>("mbrPrincipal");
  if (bar != nullptr) {
    collectActions(*bar, inMenus);
    if (form.layout() == nullptr || form.layout()->indexOf(bar) != 0)
      problems.push_back("mbrPrincipal is not the first item of the form's layout");
  }

  for (const std::string& name : model.controlNames()) {
    const host::Control& c = model.control(name);
    const auto found = byName.find(name);
    if (found == byName.end()) {
      problems.push_back(name + " has no widget");
      continue;
    }
    if (found->second.size() != 1) {
      problems.push_back(name + " has " + std::to_string(found->second.size()) + " widgets");
      continue;
    }
    QObject& o = *found->second.front();
    const auto classes = classesOf(c);
    if (std::find(classes.begin(), classes.end(), o.metaObject()->className()) == classes.end()) {
      problems.push_back(name + " is a " + o.metaObject()->className());
      continue;
    }
    if (auto* action = qobject_cast<QAction*>(&o); action != nullptr && !inMenus.contains(action))
      problems.push_back(name + " is in no menu of mbrPrincipal");
    if (auto* menu = qobject_cast<QMenu*>(&o);
        menu != nullptr && !inMenus.contains(menu->menuAction()))
      problems.push_back(name + " is not in mbrPrincipal");

    const host::Control* parent = c.parent();
    if (parent == nullptr) continue;
    const auto parentFound = byName.find(parent->name());
    if (parentFound == byName.end() || parentFound->second.size() != 1) continue;  // reported above
    QObject& p = *parentFound->second.front();
    if (c.kind() == ControlKind::Page) {
      auto* tabs = qobject_cast<QTabWidget*>(&p);
      const int tab = tabs == nullptr ? -1 : tabs->indexOf(qobject_cast<QWidget*>(&o));
      if (tab < 0) {
        problems.push_back(name + " is not a tab of " + parent->name());
      } else if (tabs->tabText(tab).toStdString() != c.caption()) {
        problems.push_back(name + "'s tab reads " + tabs->tabText(tab).toStdString());
      }
    } else if (auto* action = qobject_cast<QAction*>(&o)) {
      auto* menu = qobject_cast<QMenu*>(&p);
      if (menu == nullptr || !menu->actions().contains(action))
        problems.push_back(name + " is not in the menu " + parent->name());
    } else {
      auto* widget = qobject_cast<QWidget*>(&o);
      auto* container = qobject_cast<QWidget*>(&p);
      if (widget == nullptr || container == nullptr || !container->isAncestorOf(widget))
        problems.push_back(name + " is not inside " + parent->name());
    }
  }

  for (const auto& [name, found] : byName) {
    for (const QObject* o : found) {
      if (o != &form && !isLayoutHelper(*o) && model.findControl(name) == nullptr)
        problems.push_back(describe(*o) + " names no control");
    }
  }

  ui::Binder binder(model, form);
  std::vector<std::string> bound = binder.boundNames();
  std::vector<std::string> controls = model.controlNames();
  std::sort(bound.begin(), bound.end());
  std::sort(controls.begin(), controls.end());
  std::vector<std::string> unbound;
  std::set_difference(controls.begin(), controls.end(), bound.begin(), bound.end(),
                      std::back_inserter(unbound));
  for (const auto& name : unbound) problems.push_back(name + " is not bound");
  return problems;
}

std::vector<std::string> problemsOfForm(host::ScreenModel& model) {
  std::unique_ptr<QWidget> form = ui::createForm(model.className());
  if (form == nullptr) return {model.className() + " has no form"};
  return problemsOf(model, *form);
}

class FormsOfTheRegister : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    ui::test::app();
    RegisterFixture::SetUp();
  }
};

TEST_F(FormsOfTheRegister, TheRegisterFormShowsEveryControl) {
  EXPECT_THAT(problemsOfForm(open()), IsEmpty());
}

TEST_F(FormsOfTheRegister, TheFilterFormShowsEveryControl) {
  bool shown = false;
  onFilter([&shown](rec::TfrmFiltroHabRec& filter) {
    shown = true;
    EXPECT_THAT(problemsOfForm(filter), IsEmpty());
    filter.control("sbtCancela").click();
  });
  chooseCompany(open(), "04");
  EXPECT_TRUE(shown) << "leaving the company panel opens the filter";
}

TEST(Forms, TheEmissionAndDirectoryFormsShowEveryControl) {
  ui::test::app();
  rec::TfrmImprimeBol emission;
  EXPECT_THAT(problemsOfForm(emission), IsEmpty());
  rec::TfrmDirBoletos directory;
  EXPECT_THAT(problemsOfForm(directory), IsEmpty());
  rec::TfrmSelImpor selection;
  EXPECT_THAT(problemsOfForm(selection), IsEmpty());
}

TEST(Forms, TheCarneAndAssociationFormsShowEveryControl) {
  ui::test::app();
  rec::TfrmImprimeCarne carne;
  EXPECT_THAT(problemsOfForm(carne), IsEmpty());
  rec::TfrmConjulgarBoleto association;
  EXPECT_THAT(problemsOfForm(association), IsEmpty());
}

TEST(Forms, TheEmailFormShowsEveryControl) {
  ui::test::app();
  rec::TfrmEnvBolMail mail;
  EXPECT_THAT(problemsOfForm(mail), IsEmpty());
}

TEST(Forms, TheLossWriteOffFormShowsEveryControl) {
  ui::test::app();
  rec::TfrmPerdas losses;
  EXPECT_THAT(problemsOfForm(losses), IsEmpty());
}

TEST(Forms, TheCreditFormsShowEveryControl) {
  ui::test::app();
  rec::TfrmDescAdia discount;
  EXPECT_THAT(problemsOfForm(discount), IsEmpty());
  rec::TfrmImpNfCred notes;
  EXPECT_THAT(problemsOfForm(notes), IsEmpty());
}

TEST(Forms, TheGenerationFormShowsEveryControl) {
  ui::test::app();
  rec::TfrmEditaBoleto generation;
  EXPECT_THAT(problemsOfForm(generation), IsEmpty());
}

TEST(Forms, OnlyTheScreensWithADesignerFileHaveAForm) {
  ui::test::app();
  EXPECT_THAT(ui::formClasses(), ElementsAre("TfrmHabContRec", "TfrmFiltroHabRec", "TfrmDirBoletos",
                                             "TfrmImprimeBol", "TfrmSelImpor", "TfrmImprimeCarne",
                                             "TfrmConjulgarBoleto", "TfrmEnvBolMail", "TfrmPerdas",
                                             "TfrmDescAdia", "TfrmImpNfCred", "TfrmEditaBoleto"));
  EXPECT_EQ(ui::createForm("TfrmSemForma"), nullptr);
  for (const std::string& name : ui::formClasses()) {
    auto form = ui::createForm(name);
    ASSERT_NE(form, nullptr) << name;
    // The widgets stay with the form once the Ui object that built them is gone.
    EXPECT_EQ(form->objectName().toStdString(), name);
    EXPECT_FALSE(form->findChildren<QWidget*>().isEmpty()) << name;
  }
}

// The check itself: a form drifted from its model is reported by the names involved.
TEST(Forms, ARenamedOrMisplacedWidgetIsReported) {
  ui::test::app();
  rec::TfrmDirBoletos directory;
  auto renamed = ui::createForm("TfrmDirBoletos");
  renamed->findChild<QWidget*>("edtDiretorio")->setObjectName("edtPasta");
  EXPECT_THAT(problemsOf(directory, *renamed), ElementsAre(HasSubstr("edtDiretorio has no widget"),
                                                           HasSubstr("edtPasta names no control"),
                                                           HasSubstr("edtDiretorio is not bound")));

  rec::TfrmImprimeBol emission;
  auto moved = ui::createForm("TfrmImprimeBol");
  moved->findChild<QWidget*>("medNossNum")->setParent(moved.get());
  EXPECT_THAT(problemsOf(emission, *moved), ElementsAre("medNossNum is not inside grpNossoNumero"));
}

}  // namespace
