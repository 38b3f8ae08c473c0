#pragma once
// Check-digit routines of the banks' boleto layouts. Each takes a text of decimal digits and
// returns the check character(s) as text; a text holding anything but digits is refused with
// std::invalid_argument, because a digit computed over garbage would be a wrong digit that
// looks right.

#include <span>
#include <string>
#include <string_view>

namespace bank {

/// Weighted digit sum: the weights cycle starting at the rightmost digit.
int WeightedSum(std::string_view digits, std::span<const int> weightsFromRight);

/// Modulus 10, weights 2, 1, 2, ... from the right, two-digit products summed by their
/// digits; 10 - (sum mod 10), and 0 when that is 10 (FEBRABAN fields, Itaú, Real).
std::string Mod10(std::string_view digits);
/// Modulus 11, weights 2 to 9 from the right, D = 11 - remainder. With bank "104" (Caixa) a D
/// above 9 gives "0"; with any other bank (and "") it is the barcode's general rule: a D of
/// 10 or 11 gives "1".
std::string Mod11_DV(std::string_view digits, std::string_view bank);
/// Modulus 11 whose weights grow from 2 at the right without cycling (2, 3, ..., n + 1);
/// remainders 0 and 1 give "0" (Banestes nosso número, both digits).
std::string Mod11_Bx(std::string_view digits);
/// Modulus 11, weights 2 to 7 from the right; remainder 0 gives "0", remainder 1 gives "P",
/// otherwise 11 - remainder (Bradesco).
std::string Mod11_B7(std::string_view digits);
/// Modulus 11, weights 2 to 9 from the right. Bank "422" (Safra): remainder 0 gives "1" and
/// remainder 1 gives "0"; any other bank: remainders 0 and 1 give "0"; otherwise
/// 11 - remainder.
std::string Mod11_B9(std::string_view digits, std::string_view bank);
/// Modulus 11, weights 9 down to 2 from the right (the digit is the remainder itself);
/// remainder 10 gives "X" for bank "001" (Banco do Brasil) and "0" for any other bank.
std::string Mod11_B9_2(std::string_view digits, std::string_view bank);
/// Santander: weights 2 to 9 from the right; remainder 10 gives "1", remainders 0 and 1
/// give "0", otherwise 11 - remainder.
std::string Mod11_Santander(std::string_view digits);
/// Sicoob: weights 3, 1, 9, 7 repeated from the left; remainders 0 and 1 give "0",
/// otherwise 11 - remainder.
std::string Mod11_SICOOB(std::string_view digits);
/// Nossa Caixa: weights 3, 1, 9, 7 repeated from the left; 10 - (sum mod 10), 0 for 10.
std::string Mod_NossaCaixa(std::string_view digits);
/// Luhn: weights 2, 1, ... from the right, products above 9 reduced to the sum of their
/// digits; 10 - (sum mod 10), 0 for 10. A non-digit counts as 0 (it is not refused).
std::string Luhn(std::string_view text);
/// The two-digit "NC" of the regional banks' collection key (Banrisul, Banestes, Nossa
/// Caixa): D1 = Mod10; D2 by modulus 11 with weights 2 to 7 over the digits and D1;
/// remainder 0 gives 0, remainder 1 means D1 + 1 (10 becomes 0) and D2 again, otherwise
/// 11 - remainder.
std::string DuploDigito(std::string_view digits);

}  // namespace bank
