#pragma once
// data: a time value (held in picoseconds) with its text form.
#include <string>

#include "common/host_api.h"

class HOST_API BIG_TIME {
public:
  BIG_TIME() = default;
  // Units of a time value: 0 fs, 1 (unused), 2 ps, 3 ns, 4 us.
  enum TIME_UNIT : int { FS = 0, PS = 2, NS = 3, US = 4 };
  BIG_TIME(long long value, TIME_UNIT unit)
      : m_ps(unit == NS ? value * 1000 : unit == US ? value * 1000000 : unit == FS ? value / 1000 : value) {}
  static BIG_TIME from_ps(long long ps) {
    BIG_TIME t;
    t.m_ps = ps;
    return t;
  }
  long long get_ps() const { return m_ps; }
  // "<n> ps".
  std::string to_string() const;
  // Reads "<number>[ ]<unit>" (unit ps, ns or us; a bare number is ps).
  // False for text that is not a time.
  static bool parse(const std::string& text, BIG_TIME& out);
  BIG_TIME operator+(const BIG_TIME& o) const { return from_ps(m_ps + o.m_ps); }
  bool operator==(const BIG_TIME& o) const { return m_ps == o.m_ps; }
  bool operator!=(const BIG_TIME& o) const { return m_ps != o.m_ps; }
  bool operator<(const BIG_TIME& o) const { return m_ps < o.m_ps; }

private:
  long long m_ps = 0;
};
