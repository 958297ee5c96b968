#include "big_time/big_time.h"

#include <cstdlib>

std::string BIG_TIME::to_string() const { return std::to_string(m_ps) + " ps"; }

bool BIG_TIME::parse(const std::string& text, BIG_TIME& out) {
  const char* s = text.c_str();
  char* end = nullptr;
  const double v = std::strtod(s, &end);
  if (end == s) return false;
  while (*end == ' ') ++end;
  const std::string unit(end);
  double scale = 1.0;
  if (unit.empty() || unit == "ps") scale = 1.0;
  else if (unit == "ns") scale = 1e3;
  else if (unit == "us") scale = 1e6;
  else return false;
  out = from_ps(static_cast<long long>(v * scale));
  return true;
}
