#pragma once
// PIX "copia e cola": the static BR Code of the Brazilian central bank's Pix manuals, an EMV
// QR payload of ID-length-value objects ending in a CRC16.
//
// Texts are printable ASCII. The builder folds what it is given into that set and cuts it to
// the manual's lengths, saying what it cut; the reader refuses what does not conform, with
// the reason.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::pix {

/// CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR),
/// the CRC of the BR Code.
uint16_t crc16(std::string_view data);
/// The same as four upper-case hexadecimal digits.
std::string crc16Hex(std::string_view data);

/// The kinds of Pix key of the central bank's key directory.
enum class KeyKind { Cpf, Cnpj, Email, Phone, Random };
/// "CPF", "CNPJ", "e-mail", "telefone", "aleatória".
const char* keyKindName(KeyKind kind);

/// A key as a BR Code carries it, or the reason it is not one.
struct KeyCheck {
  std::optional<KeyKind> kind;  ///< empty when `problem` says why
  std::string value;            ///< the key in the form the BR Code carries
  std::string problem;
};
/// Checks a key exactly as carried inside a BR Code: a CPF or CNPJ without mask (a CNPJ may be
/// alphanumeric), an e-mail in lower case of at most 77 characters, a mobile phone as
/// "+55" + area code + 9 digits starting with 9, or a random key as a lower-case UUID.
KeyCheck checkKey(std::string_view carried);
/// Brings a key as an operator types it to the carried form, then checks it: masks of CPF
/// and CNPJ dropped, e-mail and random key lower-cased, blanks, parentheses, dots and hyphens
/// of a phone written with "+55" dropped.
KeyCheck normalizeKey(std::string_view typed);

/// What a static charge carries.
struct StaticCharge {
  std::string key;               ///< any form `normalizeKey` takes
  std::optional<int64_t> cents;  ///< empty: the payer types the amount
  std::string merchantName;      ///< folded to ASCII, cut to 25 characters
  std::string merchantCity;      ///< folded to ASCII, cut to 15 characters
  std::string txid;              ///< 1 to 25 of A-Z a-z 0-9; empty: "***" (none)
  std::string description;       ///< optional; folded, cut to what the account template holds
};

/// A built text and what was changed on the way (a name cut, characters without an ASCII
/// equivalent left out), for the caller to show.
struct Built {
  std::string text;
  std::vector<std::string> notes;
};

/// Builds the "copia e cola" text of a static charge: 00 "01", 26 (GUI "br.gov.bcb.pix", key,
/// description), 52 "0000", 53 "986", 54 the amount ("1234.56"), 58 "BR", 59 name, 60 city,
/// 62 (05 txid), 63 the CRC. Refuses, with `host::OperationError` and the reason, an invalid
/// key, an amount not above zero or beyond 13 characters, a txid outside its set, and a name
/// or city with nothing left after folding.
Built buildStatic(const StaticCharge& charge);

/// The txid of a boleto: its key (branch + number) with what is not a letter or digit left
/// out, at most 25 characters.
std::string txidForBoleto(std::string_view branch, std::string_view number);

/// Folds a UTF-8 text to printable ASCII: accented Latin letters to their base letter
/// (ç to c, ñ to n), control characters and runs of blanks to one blank, ends trimmed; other
/// characters left out. `dropped` (optional) counts the characters left out.
std::string foldAscii(std::string_view text, size_t* dropped = nullptr);

/// One object of an EMV text, named, with its nested objects when it is a template.
struct Field {
  std::string id;
  std::string name;
  std::string value;
  std::vector<Field> children;
};

/// An EMV text as read: whether it is a valid Pix BR Code, the reason when it is not, the
/// objects read (as far as the text could be read), and what a payment takes from it.
struct Decoded {
  bool valid = false;
  std::string reason;
  std::vector<Field> fields;
  std::optional<KeyKind> keyKind;
  std::string key;  ///< static code
  std::string url;  ///< dynamic code: the location of the charge
  std::string description;
  std::string merchantName;
  std::string merchantCity;
  std::string amount;            ///< as written; empty when the payer types it
  std::optional<int64_t> cents;  ///< the amount in centavos
  std::string txid;              ///< empty for "***"
  std::string crc;
};

/// Reads any EMV text and checks it as a Pix BR Code: the ID-length-value structure and its
/// nesting, the CRC, the mandatory objects and their values, the Pix account template and its
/// key or location, the amount and the txid.
Decoded decode(std::string_view text);

}  // namespace host::pix
