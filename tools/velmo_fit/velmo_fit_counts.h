#pragma once
// Counts in velmo-fit's summary lines: the noun agrees with the number.
#include <string>

namespace velmo_fit {

// "1 LUT", "0 LUTs", "2 port-map entries": `n` and the singular at exactly
// one, else the plural (the singular with an "s" unless given).
inline std::string counted(long long n, const std::string& one, const std::string& many = std::string()) {
  return std::to_string(n) + " " + (n == 1 ? one : many.empty() ? one + "s" : many);
}

}  // namespace velmo_fit
