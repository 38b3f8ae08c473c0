#pragma once
// How the register shows the coded fields of a boleto and stores a choice back. The desktop
// and the command line use these functions; no view carries its own copy of the rules.

#include <string>
#include <string_view>
#include <vector>

#include "host/Messages.h"
#include "host/Value.h"
#include "module/CamposValidos.h"

namespace reg {

/// The register's message texts the display rules read ("Emitido", "00", "SA", ...).
const host::TMessages& displayMessages();

/// Status `IDSTATBREC`: "E" Emitido, "A" Pendente; "D" is "Descontado" in the list column
/// `FTR_IDSTATBREC` but the code itself in the detail field; other codes as they are.
std::string StatusText(std::string_view code, bool listColumn);

/// Bank-exchange situation `FTR_IDSITUCNABR`: the message text of the code, "01" read under
/// the key "001". An empty situation is shown as not sent, as every check treats it.
std::string CnabSituationText(std::string_view code);

/// Protest `FTR_IDPROTESTREC`: "S" Sim, "N" or empty Não.
std::string ProtestText(std::string_view code);

/// Cheque status `IDSITCHEQREC`: the text of "S" + code; empty for an empty code.
std::string ChequeStatusText(std::string_view code);

/// A choice list bound to a coded field: which item a stored code shows and which code
/// (or null) a chosen item stores.
struct ChoiceList {
  std::string field;
  std::vector<std::string> items;
  std::vector<std::string> codes;  ///< code of each item; "" stores null
  int otherItem = -1;              ///< item shown for a code not in `codes` (-1: none)

  /// The item index a stored code shows (-1 for none, which shows an empty text).
  int itemOf(const host::Value& code) const;
  /// The text shown for a stored code.
  std::string textOf(const host::Value& code) const;
  /// The value a chosen item stores: null for an item whose code is "".
  host::Value codeOf(int item) const;
};

const ChoiceList& WhoPrintsChoices();      ///< IDIMPRBOLBOL
const ChoiceList& PortfolioTypeChoices();  ///< IDCARTCOBREC
const ChoiceList& ProtestDaysChoices();    ///< CDDIAPROTBOL
const ChoiceList& ReturnDaysChoices();     ///< CDDIADEVOL
const ChoiceList& RegistrationChoices();   ///< IDFORMCADBREC

/// A number shown through an account or agency mask followed by ";0; " (literals not
/// stored, blank placeholder); a null value shows nothing.
std::string MaskedNumber(const host::Value& value, std::string_view picture);

/// The boleto number's display text: due date, trade name and net value "#,###,##0.00",
/// separated by blanks; nothing when the due date is null.
std::string BoletoNumberText(const host::Value& dueDate, const host::Value& tradeName,
                             const host::Value& netValue);

/// Receivables beside the list: the adjustment, the document and the sequence as shown.
double ReceivableAdjustment(double currentValue, double originalValue);
std::string ReceivableDocument(std::string_view note, std::string_view series);
std::string ReceivableSequence(std::string_view sequence, std::string_view instalment);

/// The file-name cleaning of the register (module/CamposValidos.h).
using rec::CamposValidos;

}  // namespace reg
