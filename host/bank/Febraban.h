#pragma once
// The interbank boleto: the 44-digit barcode and the 47-digit typed line (linha digitável).
//
// Barcode: bank (3), currency "9", general check digit, due-date factor (4), value in cents
// (10), free field (25). Typed line: three fields of the barcode's digits, each closed by its
// modulus-10 digit, then the general check digit, the factor and the value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/DateTime.h"

namespace bank {

/// Due-date factor of a date: 1000 on 2000-07-03, 9999 on 2025-02-21, and 1000 again from
/// 2025-02-22, repeating every 9,000 days. A date before 2000-07-03 is refused with
/// host::OperationError.
int FatorVencimento(const host::DateTime& due);
/// Refuses (host::OperationError) a due date that no factor can carry seen from the processing
/// date: the bank network accepts due dates from 3,000 days before to 5,500 days after the
/// current date (FEBRABAN, "Manual Operacional do Fator de Vencimento da Cobrança Bancária",
/// v. 01 of 01/06/2012, on the restart of the factor at 1000 on 22/02/2025), and outside
/// that window `DataDoFator` reads the factor back as another date.
void VerificaJanelaVencimento(const host::DateTime& due, const host::DateTime& processing);
/// The date that a factor (1000..9999) names, seen from the processing date: of the dates
/// 9,000 days apart that carry it, the one from 3,000 days before to 5,500 days after the
/// processing date; outside that window, the nearest one. Nothing for factor 0 or a factor
/// below 1000.
std::optional<host::DateTime> DataDoFator(int factor, const host::DateTime& processing);

/// Value in cents for the 10-digit field, from the value rounded to 2 decimals; a negative
/// value or one above 99,999,999.99 is refused with host::OperationError.
std::string CampoValor(double value);

/// The 47-digit typed line of a boleto, or an empty text when its bank has no layout or the
/// data do not fit the bank's layout. Throws host::OperationError for a due date or value
/// that no boleto can carry.
std::string LinhaDigitavel(std::string_view bank, std::string_view agency,
                           std::string_view carteira, std::string_view nossoNumero,
                           std::string_view account, const host::DateTime& due, double value,
                           std::string_view dac, std::string_view agreement,
                           std::string_view collectionType, std::string_view instalment,
                           std::string_view bankConv, std::string_view operation);

/// The barcode of a typed line (its digits, any separators dropped); empty when the line is
/// not 47 digits. `variant` (17 for a 17-digit Caixa number, otherwise 0) is accepted for the
/// callers' sake: the typed line already carries the whole free field, so both give the same
/// barcode.
std::string CodigoBarras(std::string_view typedLine, int variant);
/// The typed line of a 44-digit barcode; empty when it is not 44 digits.
std::string LinhaDoCodigo(std::string_view barcode);

/// The nosso número as a barcode carries it (digits, no check digit), read by its bank's
/// layout; `size` "17" reads Caixa's 17-digit number. Empty for an unknown bank.
std::string NossoNumeroCdBarra(std::string_view barcode, std::string_view unused,
                               std::string_view size);

/// Is this a 44-digit barcode with a right general check digit?
bool Vd_CodigoBarras(std::string_view barcode);

/// The general check digit of a barcode (over its 43 other digits).
char DigitoGeral(std::string_view barcode);

/// The raw typed line laid into "99999.99999 99999.999999 99999.999999 9 99999999999999";
/// empty for an empty line.
std::string FormataLinha(std::string_view typedLine);

/// What a typed line or barcode says, and whether its check digits hold.
struct Verificacao {
  bool valid = false;
  std::string reason;  ///< empty when valid; otherwise which digit or what is wrong
  std::string bank;
  int factor = 0;
  std::optional<host::DateTime> dueDate;  ///< none for factor 0000
  int64_t cents = 0;
  std::string freeField;
  std::string barcode;
  std::string typedLine;
};

/// Checks a typed line (47 digits) or a barcode (44 digits) written with digits, dots and
/// blanks; the processing date resolves the due-date factor.
Verificacao VerificaCodigo(std::string_view text, const host::DateTime& processing);

}  // namespace bank
