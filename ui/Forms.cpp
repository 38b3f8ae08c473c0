#include "ui/Forms.h"

#include <QWidget>

#include "ui_TfrmConjulgarBoleto.h"
#include "ui_TfrmDescAdia.h"
#include "ui_TfrmDirBoletos.h"
#include "ui_TfrmEditaBoleto.h"
#include "ui_TfrmEnvBolMail.h"
#include "ui_TfrmFiltroHabRec.h"
#include "ui_TfrmHabContRec.h"
#include "ui_TfrmImpNfCred.h"
#include "ui_TfrmImprimeBol.h"
#include "ui_TfrmImprimeCarne.h"
#include "ui_TfrmPerdas.h"
#include "ui_TfrmSelImpor.h"

namespace ui {

namespace {

/// The widgets belong to the form once setupUi has run; the Ui object only held pointers.
template <typename Form>
std::unique_ptr<QWidget> build() {
  auto widget = std::make_unique<QWidget>();
  Form form;
  form.setupUi(widget.get());
  return widget;
}

struct Entry {
  const char* className;
  std::unique_ptr<QWidget> (*create)();
};

constexpr Entry kForms[] = {
    {"TfrmHabContRec", &build<Ui::TfrmHabContRec>},
    {"TfrmFiltroHabRec", &build<Ui::TfrmFiltroHabRec>},
    {"TfrmDirBoletos", &build<Ui::TfrmDirBoletos>},
    {"TfrmImprimeBol", &build<Ui::TfrmImprimeBol>},
    {"TfrmSelImpor", &build<Ui::TfrmSelImpor>},
    {"TfrmImprimeCarne", &build<Ui::TfrmImprimeCarne>},
    {"TfrmConjulgarBoleto", &build<Ui::TfrmConjulgarBoleto>},
    {"TfrmEnvBolMail", &build<Ui::TfrmEnvBolMail>},
    {"TfrmPerdas", &build<Ui::TfrmPerdas>},
    {"TfrmDescAdia", &build<Ui::TfrmDescAdia>},
    {"TfrmImpNfCred", &build<Ui::TfrmImpNfCred>},
    {"TfrmEditaBoleto", &build<Ui::TfrmEditaBoleto>},
};

}  // namespace

std::unique_ptr<QWidget> createForm(const std::string& className) {
  for (const Entry& e : kForms) {
    if (className == e.className) return e.create();
  }
  return nullptr;
}

std::vector<std::string> formClasses() {
  std::vector<std::string> names;
  for (const Entry& e : kForms) names.emplace_back(e.className);
  return names;
}

}  // namespace ui
