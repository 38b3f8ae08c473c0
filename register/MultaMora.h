#pragma once
// Fine and daily interest of a boleto: the value of a percentage of an amount.

namespace rec {

/// The value of `percentage` % of `amount`: the amount rounded to 2 decimals times the
/// percentage rounded to 3, over 100, rounded to 2; 0 for a percentage not above 0.
double Calc_Multa_Mora(double amount, double percentage);

}  // namespace rec
