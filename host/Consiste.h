#pragma once
// Text and number utilities of the host. Texts are UTF-8; lengths and positions count
// characters (code points), not bytes.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/DateTime.h"

namespace host {

/// Number of characters of a UTF-8 text.
size_t Utf8Length(std::string_view s);
/// Characters [start, start + count) of a UTF-8 text (clamped).
std::string Utf8Substr(std::string_view s, size_t start, size_t count = std::string_view::npos);

/// Text without leading and trailing blanks (space, tab, CR, LF).
std::string AllTrim(std::string_view s);
/// The first n characters.
std::string LeftStr(std::string_view s, size_t n);
/// The last n characters.
std::string Right(std::string_view s, size_t n);
/// Empty or only blanks.
bool EmptyString(std::string_view s);
/// The text brought to n characters with leading zeros; a text already n characters or
/// longer comes back unchanged.
std::string Ajusta(std::string_view s, size_t n);
/// Is every byte a decimal digit (and the text not empty)?
bool IsDigits(std::string_view s);

/// `value` rounded to `decimals` places, half away from zero, on the decimal value that the
/// double prints as (so 1.005 gives 1.01 and 2.675 gives 2.68).
double RoundDec(int decimals, double value);

/// Upper case of ASCII and Latin-1 letters (á -> Á).
std::string UpperCase(std::string_view s);
/// Lower case of ASCII and Latin-1 letters.
std::string LowerCase(std::string_view s);
/// Three-way comparison ignoring letter case (ASCII and Latin-1 letters).
int CompareText(std::string_view a, std::string_view b);
inline bool SameText(std::string_view a, std::string_view b) {
  return CompareText(a, b) == 0;
}

/// Reads a number written either as "1234.56" or in Brazilian form "1.234,56";
/// `fallback` when the text is not a number.
double StrToFloatDef(std::string_view s, double fallback);
/// Reads a whole number; `fallback` when the text is not one.
int64_t StrToIntDef(std::string_view s, int64_t fallback);

/// "#,##0.00" with Brazilian separators: 1234.5 -> "1.234,50"; decimals 3 gives "#,##0.000".
std::string FormatBr(double value, int decimals = 2);
/// Delphi-style display format: "#,##0.00", "#,##0.000", "0.00", "0" (Brazilian separators).
std::string FormatFloat(std::string_view format, double value);

/// Weekday name in Portuguese ("Segunda-feira", "Sábado", ...).
std::string NomeSemana(const DateTime& date);

/// The system temporary directory, with a trailing separator.
std::string DirWinTemp();

/// Decides a key typed into a numeric field. `text` is the field's text, `key` the key
/// pressed, the selection [selStart, selStart + selLength) is what the key replaces; the
/// field takes at most `maxInt` integer digits and `maxDec` decimals. Returns the key to
/// use ('.' becomes ','), or '\0' when the key is refused. Control keys (below ' ') pass.
char MaxNumber(std::string_view text, char key, size_t selStart, size_t selLength, int maxInt,
               int maxDec);

/// Applies an edit mask ("99999-9;0; ") to a raw value whose mask literals are not stored:
/// each placeholder (0 9 # L l A a C c) takes the next character of the value, literals are
/// written as they stand, '\\' makes the next mask character literal, '>' and '<' switch
/// to upper or lower case. Placeholders left without a character show the blank given after
/// the second ';' (a space by default).
std::string FormatMaskText(std::string_view mask, std::string_view value);

template <typename T>
T iif(bool condition, T whenTrue, T whenFalse) {
  return condition ? whenTrue : whenFalse;
}

}  // namespace host
