// Fine and daily interest of the current boleto: each as a percentage and as a value, the
// value derived from the percentage of the boleto's net value, typed on the "Multa/Mora" page
// and copied to the marked boletos when an edit is replicated.

#include "register/MultaMora.h"

#include <algorithm>
#include <optional>
#include <string>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;

double Calc_Multa_Mora(double amount, double percentage) {
  if (!(percentage > 0)) return 0;
  return host::RoundDec(2, host::RoundDec(2, amount) * host::RoundDec(3, percentage) / 100);
}

namespace {

// The four fields, each with its partner (typing one clears the other), its check and how
// many integer and decimal digits it takes.
struct FineField {
  const char* control;
  const char* label;
  const char* caption;
  const char* field;
  const char* partner;
  const char* kind;
  const char* item;
  int maxInt;
  int maxDec;
};
constexpr FineField kFineFields[] = {
    {"dbePeMulta", "lblPeMulta", "Multa (%)", "VRPEMULBREC", "VRMULTABREC", "P", "MU", 3, 3},
    {"dbeVrMulta", "lblVrMulta", "Multa (Valor)", "VRMULTABREC", "VRPEMULBREC", "V", "MU", 9, 2},
    {"dbePeMora", "lblPeMora", "Mora Diário (%)", "VRPEMORBREC", "VRMORDIABREC", "P", "MO", 3, 3},
    {"dbeVrMora", "lblVrMora", "Mora Diário (Valor)", "VRMORDIABREC", "VRPEMORBREC", "V", "MO", 9,
     2},
};

const FineField* byControl(std::string_view control) {
  for (const auto& f : kFineFields) {
    if (control == f.control) return &f;
  }
  return nullptr;
}

const FineField& byCheck(std::string_view kind, std::string_view item) {
  for (const auto& f : kFineFields) {
    if (kind == f.kind && item == f.item) return f;
  }
  throw host::InvariantError("Vd_DadoBoleto: no field of kind " + std::string(kind) + " and item " +
                             std::string(item));
}

// The number a field's text holds, written "2,5", "1.234,56" or "2.5"; '+' and '-' are keys
// the field ignores. Nothing when the text is not a number.
std::optional<double> typedNumber(std::string text, int maxInt, int maxDec, bool& fits) {
  std::erase(text, '+');
  std::erase(text, '-');
  text = host::AllTrim(text);
  fits = true;
  if (text.empty()) return 0.0;
  if (text.find(',') != std::string::npos) {
    std::erase(text, '.');
  } else {
    std::replace(text.begin(), text.end(), '.', ',');
  }
  int intDigits = 0;
  int decDigits = 0;
  bool inDecimals = false;
  bool leading = true;
  for (char c : text) {
    if (c == ',') {
      if (inDecimals) return std::nullopt;
      inDecimals = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (inDecimals) {
      ++decDigits;
    } else if (!(leading && c == '0')) {
      leading = false;
      ++intDigits;
    }
  }
  fits = intDigits <= maxInt && decDigits <= maxDec;
  std::replace(text.begin(), text.end(), ',', '.');
  if (text == ".") return 0.0;
  return std::strtod(text.c_str(), nullptr);
}

std::string shown(const host::Value& v, int decimals) {
  return v.isNull() ? std::string() : host::FormatBr(v.asDouble(), decimals);
}

}  // namespace

void TfrmHabContRec::buildFineInterestControls() {
  auto& page = control("tshMultaMora");
  auto& m = messages();
  m.Add("P_MU_NEGA", "Multa (%) deve ser maior ou igual a zero.");
  m.Add("V_MU_NEGA", "Multa (valor) deve ser maior ou igual a zero.");
  m.Add("P_MO_NEGA", "Mora diária (%) deve ser maior ou igual a zero.");
  m.Add("V_MO_NEGA", "Mora diária (valor) deve ser maior ou igual a zero.");
  m.Add("NUM_INV", "Informe um número.");
  m.Add("NUM_LIMITE", "Número com mais dígitos do que o campo aceita.");
  for (const auto& f : kFineFields) {
    addControl(f.label, host::ControlKind::Label, &page).setCaption(f.caption);
    auto& edit = addControl(f.control, host::ControlKind::Edit, &page);
    const FineField* field = &f;
    // The text as a whole (the desktop reports it when the field is finished): the keys the
    // field would refuse are refused here too, and the partner is cleared as by a key.
    edit.onChange = [this, field] {
      bool fits = true;
      const auto number =
          typedNumber(control(field->control).text(), field->maxInt, field->maxDec, fits);
      if (!number) failOn(field->control, "NUM_INV");
      if (!fits) failOn(field->control, "NUM_LIMITE");
      editForField();
      if (!listEditing()) return;
      cdsBoletos.fieldByName(field->field).setFloat(*number);
      if (cdsBoletos.valueOf(field->partner).asDouble() != 0) {
        cdsBoletos.fieldByName(field->partner).setFloat(0);
      }
      showFineInterest();
    };
  }
  control("dbePeMulta").onExit = [this] { dbePeMultaExit(); };
  control("dbePeMora").onExit = [this] { dbePeMoraExit(); };
  control("dbeVrMulta").onExit = [this] { dbeVrMultaExit(); };
  control("dbeVrMora").onExit = [this] { dbeVrMoraExit(); };
}

void TfrmHabContRec::showFineInterest() {
  if (!hasRows()) return;
  for (const auto& f : kFineFields) {
    control(f.control).setText(shown(current(f.field), f.maxDec));
  }
}

void TfrmHabContRec::editForField() {
  if (hasRows() && listBrowse()) cdsBoletos.edit();
}

char TfrmHabContRec::MultaMoraKeyPress(const std::string& controlName, char key, size_t selStart,
                                       size_t selLength) {
  const FineField* f = byControl(controlName);
  if (f == nullptr || key == '+' || key == '-') return '\0';
  const char accepted =
      host::MaxNumber(control(controlName).text(), key, selStart, selLength, f->maxInt, f->maxDec);
  if (accepted == '\0') return '\0';
  editForField();
  if (listEditing() && cdsBoletos.valueOf(f->partner).asDouble() != 0) {
    cdsBoletos.fieldByName(f->partner).setFloat(0);
    for (const auto& other : kFineFields) {
      if (std::string_view(other.field) == f->partner)
        control(other.control).setText(shown(0.0, other.maxDec));
    }
  }
  return accepted;
}

void TfrmHabContRec::Vd_DadoBoleto(const std::string& kind, const std::string& item) {
  if (!listEditing()) return;
  const FineField& f = byCheck(kind, item);
  if (cdsBoletos.valueOf(f.field).asDouble() < 0) {
    pageControl("pgcPadrao").setActivePage("tshDadosRec");
    pageControl("pgcDadosRec").setActivePage("tshMultaMora");
    focusField(f.control, "tshMultaMora");
    error(kind + "_" + item + "_NEGA");
  }
}

void TfrmHabContRec::dbePeMultaExit() {
  Vd_DadoBoleto("P", "MU");
  const double pct = current("VRPEMULBREC").asDouble();
  if (listEditing() && pct > 0) {
    cdsBoletos.fieldByName("VRMULTABREC")
        .setFloat(host::RoundDec(2, Calc_Multa_Mora(current("VRFINALBREC").asDouble(), pct)));
    showFineInterest();
  }
}

void TfrmHabContRec::dbePeMoraExit() {
  Vd_DadoBoleto("P", "MO");
  const double pct = current("VRPEMORBREC").asDouble();
  if (listEditing() && pct > 0) {
    cdsBoletos.fieldByName("VRMORDIABREC")
        .setFloat(host::RoundDec(2, Calc_Multa_Mora(current("VRFINALBREC").asDouble(), pct)));
    showFineInterest();
  }
}

void TfrmHabContRec::dbeVrMultaExit() {
  Vd_DadoBoleto("V", "MU");
}

void TfrmHabContRec::dbeVrMoraExit() {
  Vd_DadoBoleto("V", "MO");
}

void TfrmHabContRec::Atualiza_Multa_Mora() {
  if (!cdsMarca.active() || !cdsPosicao.active() || cdsPosicao.isEmpty()) return;
  const double fine = cdsPosicao.valueOf("VRPEMULBREC").asDouble();
  const double interest = cdsPosicao.valueOf("VRPEMORBREC").asDouble();
  host::FrozenDataset frozen(cdsMarca);
  for (cdsMarca.first(); !cdsMarca.eof(); cdsMarca.next()) {
    const double net = cdsMarca.valueOf("VRFINALBREC").asDouble();
    cdsMarca.edit();
    cdsMarca.fieldByName("VRPEMULBREC").setFloat(fine);
    cdsMarca.fieldByName("VRPEMORBREC").setFloat(interest);
    if (fine != 0) {
      cdsMarca.fieldByName("VRMULTABREC").setFloat(host::RoundDec(2, Calc_Multa_Mora(net, fine)));
    }
    if (interest != 0) {
      cdsMarca.fieldByName("VRMORDIABREC")
          .setFloat(host::RoundDec(2, Calc_Multa_Mora(net, interest)));
    }
    cdsMarca.post();
  }
}

}  // namespace rec
