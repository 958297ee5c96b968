#include "gen/gen_string.h"

#include <cstring>

int gen_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }

std::string gen_itoa(long long value, int base) {
  if (base < 2 || base > 36) base = 10;
  const bool negative = value < 0;
  unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  std::string out;
  do {
    const int d = static_cast<int>(v % static_cast<unsigned>(base));
    out.insert(out.begin(), static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10));
    v /= static_cast<unsigned>(base);
  } while (v != 0);
  return negative ? "-" + out : out;
}
