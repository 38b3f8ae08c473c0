#pragma once
// Which of the register's batch commands are built. A command whose screen or operation is
// not part of this version stays disabled, with its menu item, whatever the command rules
// would say: an enabled command always does what it names. Building one is a one-line change
// here.

#include <string_view>

namespace rec {

/// A command of the register, by the control that carries it (a menu item, or a button with
/// no menu item of its own), and whether this version builds it.
struct RegisterCommand {
  const char* control;
  const char* caption;
  bool built;
};

inline constexpr RegisterCommand kRegisterCommands[] = {
    {"mnuCancBoleto", "Cancelar Boleto", true}, {"sbtEmail", "E-mail", true},
    {"mnuEnviaBoleto", "Enviar Boleto", true},  {"mnuEnviaNota", "Enviar Carta de Cobrança", true},
    {"mnuAssociar", "Associar Boleto", true},   {"mnuAgrupar", "Conjugar Boletos", true},
    {"mnuCarne", "Emitir Carnê", true},         {"mnuGeraBoletoTxt", "Gera Boleto (txt)", true},
};

/// The pages whose own operations (include, delete, change and confirm) are built. On a page
/// listed as not built those commands stay disabled: the list's own insert, delete or post
/// would otherwise stand in for an operation that does not exist.
struct RegisterPage {
  const char* page;
  const char* caption;
  bool built;
};

inline constexpr RegisterPage kRegisterPages[] = {
    {"tshAjustes", "Ajustes", true},
    {"tshProrrogacao", "Prorrogação", true},
    {"tshParcelamento", "Parcelamento", true},
    {"tshTpRecBoleto", "Tipo de Recebimento", true},
};

constexpr bool pageBuilt(std::string_view page) {
  for (const auto& p : kRegisterPages) {
    if (page == p.page) return p.built;
  }
  return true;
}

/// False only for a command listed above as not built; any other control is not this table's
/// business.
constexpr bool commandBuilt(std::string_view control) {
  for (const auto& c : kRegisterCommands) {
    if (control == c.control) return c.built;
  }
  return true;
}

}  // namespace rec
