#pragma once
// Tax registration numbers: the CPF of a person and the CNPJ of a company.
//
// A CNPJ is 12 characters, digits or (for registrations issued from July 2026) upper-case
// letters, followed by two numeric check digits. Each character counts as its ASCII code
// minus 48 ('0'..'9' are 0..9, 'A' is 17, 'Z' is 42), which makes the numeric CNPJ the special
// case of the rule. The registration is stored as text, without its mask.

#include <optional>
#include <string>
#include <string_view>

namespace host {

/// The two check digits of a CNPJ base of 12 characters (digits or A-Z), or nothing when the
/// base holds anything else.
std::optional<std::string> cnpjCheckDigits(std::string_view base12);
/// The two check digits of a CPF base of 9 digits, or nothing when it is not 9 digits.
std::optional<std::string> cpfCheckDigits(std::string_view base9);

/// Why `text` is not a valid CNPJ, in the operator's words; empty when it is valid. Accepts
/// the 14 characters bare or laid into the mask "AA.AAA.AAA/AAAA-00"; refuses lower-case
/// letters and any other character among the 12, letters among the check digits, and the
/// all-zero number.
std::string cnpjProblem(std::string_view text);
/// Why `text` is not a valid CPF; empty when it is. Accepts 11 digits bare or as
/// "000.000.000-00"; refuses the eleven equal digits.
std::string cpfProblem(std::string_view text);
inline bool isValidCnpj(std::string_view text) {
  return cnpjProblem(text).empty();
}
inline bool isValidCpf(std::string_view text) {
  return cpfProblem(text).empty();
}

/// Why a registration of kind `kind` (IDTPIJURCLIE: "F" person, "J" company) is not valid;
/// empty when it is. Another kind is checked by its length: 11 characters as a CPF, else as a
/// CNPJ.
std::string taxIdProblem(std::string_view kind, std::string_view text);

/// The registration without the literals of its mask (".", "/", "-" and blanks).
std::string taxIdDigits(std::string_view text);

/// The registration laid into its display mask: 11 characters as "000.000.000-00", 14 as
/// "AA.AAA.AAA/AAAA-00"; any other text comes back as it was given.
std::string formatTaxId(std::string_view text);

/// The host's `PictPess`: the edit mask of a registration of kind `kind` ("F" a CPF, "J" a
/// CNPJ, letters allowed and upper-cased as typed); "" for any other kind.
std::string PictPess(std::string_view kind);

}  // namespace host
