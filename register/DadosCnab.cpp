// The "Dados Cnab" page's choices and day counts: portfolio type, protest days and their
// code, return days and their code, registration form. Each writes into the boleto being
// edited (a change started here puts it into edit) and shows the current boleto after each
// scroll.

#include "host/Consiste.h"
#include "host/Errors.h"
#include "register/DisplayCodes.h"
#include "register/HabContRec.h"

namespace rec {

namespace {

struct Choice {
  const char* control;
  const char* label;
  const char* caption;
  const reg::ChoiceList& (*list)();
};
const Choice kChoices[] = {
    {"cbxIDCARTCOBREC", "lblIDCARTCOBREC", "Tipo de Carteira", &reg::PortfolioTypeChoices},
    {"cbxCDDIAPROTBOL", "lblCDDIAPROTBOL", "Código Protesto", &reg::ProtestDaysChoices},
    {"cbxCDDIADEVOL", "lblCDDIADEVOL", "Código Devolução", &reg::ReturnDaysChoices},
    {"cbxIDFORMCADBREC", "lblIDFORMCADBREC", "Forma de Cadastro", &reg::RegistrationChoices},
};

struct Days {
  const char* control;
  const char* label;
  const char* caption;
  const char* field;
};
const Days kDays[] = {
    {"edtQTDIAPROTBOL", "lblQTDIAPROTBOL", "Dias Protesto", "QTDIAPROTBOL"},
    {"edtQTDIADEVOL", "lblQTDIADEVOL", "Dias Devolução", "QTDIADEVOL"},
};

std::string daysText(const host::Value& v) {
  return v.isNull() ? std::string() : std::to_string(static_cast<long long>(v.asDouble()));
}

}  // namespace

void TfrmHabContRec::buildCnabControls() {
  auto& cnab = control("tshCnab");
  messages().Add("DIAS_INV", "Informe o número de dias (até 3 dígitos).");
  for (const auto& c : kChoices) {
    addControl(c.label, host::ControlKind::Label, &cnab).setCaption(c.caption);
    auto& combo = addControl(c.control, host::ControlKind::Combo, &cnab);
    combo.setItems(c.list().items);
    const Choice* choice = &c;
    combo.onChange = [this, choice] {
      editForField();
      if (!listEditing()) return;
      const reg::ChoiceList& list = choice->list();
      cdsBoletos.fieldByName(list.field)
          .setValue(list.codeOf(control(choice->control).itemIndex()));
    };
  }
  for (const auto& d : kDays) {
    addControl(d.label, host::ControlKind::Label, &cnab).setCaption(d.caption);
    auto& edit = addControl(d.control, host::ControlKind::Edit, &cnab);
    const Days* days = &d;
    edit.onChange = [this, days] {
      const std::string text = host::AllTrim(control(days->control).text());
      if (!text.empty() && (text.size() > 3 || !host::IsDigits(text))) {
        failOn(days->control, "DIAS_INV");
      }
      editForField();
      if (!listEditing()) return;
      if (text.empty()) {
        cdsBoletos.fieldByName(days->field).clear();
      } else {
        cdsBoletos.fieldByName(days->field).setFloat(static_cast<double>(std::stoi(text)));
      }
    };
  }
  // The portfolio code typed is the boleto's too.
  control("edtCDCARTCOBBOL").onChange = [this] {
    editForField();
    fromControl("edtCDCARTCOBBOL", "CDCARTCOBBOL");
  };
}

void TfrmHabContRec::showCnab() {
  if (!hasRows()) return;
  for (const auto& c : kChoices) {
    control(c.control).setItemIndex(c.list().itemOf(current(c.list().field)));
  }
  for (const auto& d : kDays) control(d.control).setText(daysText(current(d.field)));
}

}  // namespace rec
