#pragma once
// Key policies of the hash containers: a 32-bit hash and an equality per key
// kind. The hash fixes the bucket (chained containers) or the first probe slot
// (dense containers) of every key, and with it the iteration order, so the
// formulas are exact 32-bit unsigned arithmetic that wraps.
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "zmp_point.h"

class PELK;
class VOK_ATOM_LOGICAL_PORT;


// The default policy. Integers and enumerations hash to their own 32-bit
// pattern, pointers to the low 32 bits of (address >> 3).
template <class K, class = void> struct ZMP_OPS {
  static_assert(std::is_integral_v<K> || std::is_enum_v<K> || std::is_pointer_v<K>,
                "ZMP_OPS has no hash for this key type; give the container its own policy");
  static unsigned hash(K k) {
    if constexpr (std::is_pointer_v<K>) {
      return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(k) >> 3);
    } else if constexpr (std::is_enum_v<K>) {
      return static_cast<unsigned>(static_cast<std::underlying_type_t<K>>(k));
    } else {
      return static_cast<unsigned>(k);
    }
  }
  static bool equal(K a, K b) { return a == b; }
};

template <> struct ZMP_OPS<std::pair<int, int>> {
  static unsigned hash(const std::pair<int, int>& k) {
    return 7u * static_cast<unsigned>(k.first) + static_cast<unsigned>(k.second);
  }
  static bool equal(const std::pair<int, int>& a, const std::pair<int, int>& b) {
    return a.first == b.first && a.second == b.second;
  }
};

// A two-dimensional point hashes to x alone; y still takes part in equality.
template <> struct ZMP_OPS<ZMP::POINT<2, int, ZMP::DEFAULT_COORDINATE_SPACE>> {
  using KEY = ZMP::POINT<2, int, ZMP::DEFAULT_COORDINATE_SPACE>;
  static unsigned hash(const KEY& k) { return static_cast<unsigned>(k.x()); }
  static bool equal(const KEY& a, const KEY& b) { return a == b; }
};

// A three-dimensional point: (y << 16) ^ x; z takes part only in equality.
template <> struct ZMP_OPS<ZMP::POINT<3, int, ZMP::DEFAULT_COORDINATE_SPACE>> {
  using KEY = ZMP::POINT<3, int, ZMP::DEFAULT_COORDINATE_SPACE>;
  static unsigned hash(const KEY& k) {
    return (static_cast<unsigned>(k.y()) << 16) ^ static_cast<unsigned>(k.x());
  }
  static bool equal(const KEY& a, const KEY& b) { return a == b; }
};

template <> struct ZMP_OPS<std::string> {
  static unsigned hash(const std::string& s) {
    unsigned h = 0;
    for (char ch : s) {
      // The byte is taken as a signed char and sign-extended.
      const unsigned c = static_cast<unsigned>(static_cast<int>(static_cast<signed char>(ch)));
      h ^= (h << 5) + (h >> 2) + c;
    }
    return h;
  }
  static bool equal(const std::string& a, const std::string& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
  }
};

// A logical port as the hash sees it: a (u32 atom id) at offset 0, b (the
// 32-bit port symbol) at offset 4, c (u16 port index) at offset 8. The port
// class is the host's; the policy reads those three fields from its object
// representation and never the padding behind c.
struct VOK_ATOM_LOGICAL_PORT_OPS {
  template <class P> static void fields(const P& p, std::uint32_t& a, std::uint32_t& b, std::uint16_t& c) {
    static_assert(std::is_trivially_copyable_v<P> && sizeof(P) >= 10 && sizeof(P) <= 12,
                  "a logical port is {u32 atom id, 32-bit symbol, u16 index}");
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&p);
    std::memcpy(&a, raw, 4);
    std::memcpy(&b, raw + 4, 4);
    std::memcpy(&c, raw + 8, 2);
  }
  template <class P> static unsigned hash(const P& p) {
    std::uint32_t a, b;
    std::uint16_t c;
    fields(p, a, b, c);
    const unsigned t = a + 0x100F0F1u;
    const unsigned u = 257u * t + b;
    return 257u * u + c;
  }
  template <class P> static bool equal(const P& x, const P& y) {
    std::uint32_t xa, xb, ya, yb;
    std::uint16_t xc, yc;
    fields(x, xa, xb, xc);
    fields(y, ya, yb, yc);
    return xa == ya && xb == yb && xc == yc;
  }
};

template <> struct ZMP_OPS<VOK_ATOM_LOGICAL_PORT> : VOK_ATOM_LOGICAL_PORT_OPS {};

// The host's 32-bit symbol handle: its 32-bit pattern.
template <> struct ZMP_OPS<PELK> {
  template <class P> static unsigned hash(const P& p) {
    static_assert(std::is_trivially_copyable_v<P> && sizeof(P) == 4, "a symbol is one 32-bit handle");
    std::uint32_t v;
    std::memcpy(&v, &p, 4);
    return v;
  }
  template <class P> static bool equal(const P& a, const P& b) { return a == b; }
};

// A pair of two numeric-like values (numbers, enumerations, pointers, symbols,
// logical ports).
template <class A, class B> struct PAIR_OF_NUMERIC_THINGS {
  A first{};
  B second{};
  friend bool operator==(const PAIR_OF_NUMERIC_THINGS& x, const PAIR_OF_NUMERIC_THINGS& y) {
    return ZMP_OPS<A>::equal(x.first, y.first) && ZMP_OPS<B>::equal(x.second, y.second);
  }
};

// Member-wise: 7 * hash(first) + hash(second), each member by its own policy.
struct PAIR_OF_NUMERIC_THINGS_OPS {
  template <class A, class B> static unsigned hash(const PAIR_OF_NUMERIC_THINGS<A, B>& p) {
    return 7u * ZMP_OPS<A>::hash(p.first) + ZMP_OPS<B>::hash(p.second);
  }
  template <class A, class B>
  static bool equal(const PAIR_OF_NUMERIC_THINGS<A, B>& x, const PAIR_OF_NUMERIC_THINGS<A, B>& y) {
    return x == y;
  }
};

template <class A, class B> struct ZMP_OPS<PAIR_OF_NUMERIC_THINGS<A, B>> : PAIR_OF_NUMERIC_THINGS_OPS {};
