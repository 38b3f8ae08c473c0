#include "register/DisplayCodes.h"

#include "host/Consiste.h"

namespace reg {

const host::TMessages& displayMessages() {
  static const host::TMessages kMessages{
      {"Emitido", "Emitido"},
      {"Pendente", "Pendente"},
      {"Descontado", "Descontado"},
      {"S", "Sim"},
      {"N", "Não"},
      {"00", "Não enviado"},
      {"001", "Enviado - Retorno com erro"},
      {"10", "Enviado - Sem retorno"},
      {"20", "Enviado - Retorno OK"},
      {"90", "Baixado via CNAB"},
      {"SA", "A Compensar"},
      {"SD", "Devolvido"},
      {"SP", "Apresentado"},
      {"SC", "Compensado"},
      {"CONF_MARC", "Deseja marcar todos os boletos?"},
      {"CONF_DESMARC", "Deseja desmarcar todos os boletos?"},
  };
  return kMessages;
}

std::string StatusText(std::string_view code, bool listColumn) {
  const auto& m = displayMessages();
  if (code == "E") return m.Msg("Emitido");
  if (code == "A") return m.Msg("Pendente");
  if (code == "D" && listColumn) return m.Msg("Descontado");
  return std::string(code);
}

std::string CnabSituationText(std::string_view code) {
  if (code.empty()) return displayMessages().Msg("00");
  const std::string key = code == "01" ? "001" : std::string(code);
  const auto& m = displayMessages();
  return m.Has(key) ? m.Msg(key) : std::string(code);
}

std::string ProtestText(std::string_view code) {
  return displayMessages().Msg(code.empty() ? "N" : code);
}

std::string ChequeStatusText(std::string_view code) {
  if (code.empty()) return {};
  return displayMessages().Msg("S" + std::string(code));
}

int ChoiceList::itemOf(const host::Value& code) const {
  const std::string c = code.isNull() ? std::string() : code.asString();
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] == c) return static_cast<int>(i);
  }
  return otherItem;
}

std::string ChoiceList::textOf(const host::Value& code) const {
  const int i = itemOf(code);
  return i < 0 || static_cast<size_t>(i) >= items.size() ? std::string()
                                                         : items[static_cast<size_t>(i)];
}

host::Value ChoiceList::codeOf(int item) const {
  if (item < 0 || static_cast<size_t>(item) >= codes.size() ||
      codes[static_cast<size_t>(item)].empty()) {
    return {};
  }
  return host::Value(codes[static_cast<size_t>(item)]);
}

const ChoiceList& WhoPrintsChoices() {
  // Any code the list does not know was stored by the origin-branch choice.
  static const ChoiceList k{
      "IDIMPRBOLBOL", {"", "Empresa", "Banco", "Fil. Orig."}, {"", "E", "B", "F"}, 3};
  return k;
}

const ChoiceList& PortfolioTypeChoices() {
  static const ChoiceList k{
      "IDCARTCOBREC",
      {"", "Cobrança Simples", "Cobrança Vinculada", "Cobrança Caucionada", "Cobrança Descontada"},
      {"", "1", "2", "3", "4"},
      -1};
  return k;
}

const ChoiceList& ProtestDaysChoices() {
  static const ChoiceList k{"CDDIAPROTBOL",
                            {"", "Dias Corridos", "Dias Úteis", "Não Protestar"},
                            {"", "1", "2", "3"},
                            -1};
  return k;
}

const ChoiceList& ReturnDaysChoices() {
  static const ChoiceList k{"CDDIADEVOL", {"", "Devolver", "Não Devolver"}, {"", "1", "2"}, -1};
  return k;
}

const ChoiceList& RegistrationChoices() {
  static const ChoiceList k{"IDFORMCADBREC", {"Com Registro", "Sem Registro"}, {"1", "2"}, -1};
  return k;
}

std::string MaskedNumber(const host::Value& value, std::string_view picture) {
  if (value.isNull()) return {};
  if (picture.empty()) return value.asString();
  return host::FormatMaskText(std::string(picture) + ";0; ", value.asString());
}

std::string BoletoNumberText(const host::Value& dueDate, const host::Value& tradeName,
                             const host::Value& netValue) {
  if (dueDate.isNull()) return {};
  return dueDate.asDate().format("dd/mm/yyyy") + " " + tradeName.asString() + " " +
         host::FormatBr(netValue.asDouble(), 2);
}

double ReceivableAdjustment(double currentValue, double originalValue) {
  return host::RoundDec(2, host::RoundDec(2, currentValue) - host::RoundDec(2, originalValue));
}

std::string ReceivableDocument(std::string_view note, std::string_view series) {
  if (series.empty()) return std::string(note);
  return std::string(note) + "/" + std::string(series);
}

std::string ReceivableSequence(std::string_view sequence, std::string_view instalment) {
  return std::string(sequence) + "." + std::string(instalment);
}

}  // namespace reg
