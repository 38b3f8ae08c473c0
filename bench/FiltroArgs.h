#pragma once
// Filtro's 37 arguments as the filter sends them with only the company chosen, for the
// benchmarks that list the register.

#include <string>
#include <vector>

#include "remote/Variant.h"

namespace bench {

inline std::vector<remote::Variant> filtroArgs(const std::string& company = "04") {
  std::vector<remote::Variant> v(37, remote::Variant(""));
  for (size_t i : {4u, 9u, 13u, 18u, 19u, 29u}) v[i] = remote::Variant(false);
  for (size_t i : {11u, 12u, 22u, 34u, 35u}) v[i] = remote::Variant();
  v[15] = v[16] = remote::Variant(0.0);
  v[25] = v[26] = remote::Variant(int64_t{0});
  v[0] = remote::Variant(company);
  return v;
}

}  // namespace bench
