#include "zmp/zmp_growth.h"

#include <cstdint>

namespace {
bool is_prime(std::uint64_t n) {
  if (n < 2) return false;
  if (n % 2 == 0) return n == 2;
  for (std::uint64_t d = 3; d * d <= n; d += 2)
    if (n % d == 0) return false;
  return true;
}
unsigned next_prime(std::uint64_t n) {
  while (!is_prime(n)) ++n;
  return static_cast<unsigned>(n);
}
}  // namespace

unsigned zmp_hash_lite_get_next_prime(unsigned n) { return next_prime(n); }
unsigned zmp_hash_lite_50_percent_increase_size(unsigned n) {
  return next_prime((static_cast<std::uint64_t>(n) * 3 + 1) / 2);
}
unsigned zmp_hash_50_percent_increase_size(unsigned n) { return zmp_hash_lite_50_percent_increase_size(n); }
