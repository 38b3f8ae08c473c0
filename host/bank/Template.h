#pragma once
// The nosso número templates of a collection account (DSNOSNUMCORR, DSDACNOSNUMR).
//
// A template is literal text with mnemonics in square brackets:
//   [AG]   agency (its digits)           [CC]   account (its digits)
//   [CART] carteira                      [CONV] agreement code (its digits)
//   [BCO]  bank code                     [SEQ:n] the sequence, exactly n characters
// Any mnemonic but SEQ takes an optional width, [AG:4]: the value is left-padded with zeros
// and its rightmost n characters kept. [SEQ:n] always keeps the rightmost n characters of the
// sequence padded with zeros, so a longer number read back from a barcode gives the same
// expansion. A template needs exactly one [SEQ:n] with 1 <= n <= 20; anything else (unknown
// mnemonic, unclosed bracket, a missing or bad width, two sequences) makes it unusable.

#include <string>
#include <string_view>

namespace bank {

/// The digits of a text, in order; everything else dropped.
std::string Nr_Codigo(std::string_view text);

/// Width of the sequence of a template; 0 when the template is unusable or has none.
int Retorna_Size_NossNum(std::string_view templ);

/// The template expanded with the account's and boleto's values; empty when the template is
/// unusable.
std::string Read_MneMonicos(std::string_view templ, std::string_view bank, std::string_view agency,
                            std::string_view carteira, std::string_view sequence,
                            std::string_view account, std::string_view agreement);

/// First n characters of the text left-padded with "0" to n (a longer text keeps its head).
std::string LeftOfAjusta(std::string_view text, size_t n);

/// Rightmost n characters of the text left-padded with "0" to n.
std::string PadRight(std::string_view text, size_t n);

}  // namespace bank
