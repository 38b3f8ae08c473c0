#pragma once
// Money in the service: compared and summed in centavos, never as raw doubles.

#include <cmath>
#include <cstdint>
#include <string>

#include "host/Consiste.h"

namespace service {

/// A value rounded to two decimals, in centavos.
inline int64_t centavos(double v) {
  return std::llround(host::RoundDec(2, v) * 100.0);
}
/// Centavos back as the double the database and the packets hold.
inline double reais(int64_t c) {
  return static_cast<double>(c) / 100.0;
}
/// Centavos as an operator reads them: "1.234,56".
inline std::string moneyText(int64_t c) {
  return host::FormatFloat("#,##0.00", reais(c));
}

}  // namespace service
