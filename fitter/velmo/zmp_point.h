#pragma once
// Fixed-dimension points of a coordinate space.

namespace ZMP {

struct DEFAULT_COORDINATE_SPACE {};

// N consecutive coordinates x, y (and z for N = 3).
template <unsigned N, class T = int, class SPACE = DEFAULT_COORDINATE_SPACE> class POINT {
public:
  static_assert(N >= 1, "a point has at least one coordinate");
  constexpr POINT() = default;
  constexpr POINT(T x, T y) requires(N == 2) : m_coord{x, y} {}
  constexpr POINT(T x, T y, T z) requires(N == 3) : m_coord{x, y, z} {}

  constexpr T& operator[](unsigned d) { return m_coord[d]; }
  constexpr const T& operator[](unsigned d) const { return m_coord[d]; }
  constexpr T& at(unsigned d) { return m_coord[d]; }
  constexpr const T& at(unsigned d) const { return m_coord[d]; }
  constexpr T x() const { return m_coord[0]; }
  constexpr T y() const requires(N >= 2) { return m_coord[1]; }
  constexpr T z() const requires(N >= 3) { return m_coord[2]; }
  static constexpr unsigned dimensions() { return N; }

  friend constexpr bool operator==(const POINT& a, const POINT& b) {
    for (unsigned d = 0; d < N; ++d)
      if (!(a.m_coord[d] == b.m_coord[d])) return false;
    return true;
  }
  friend constexpr bool operator!=(const POINT& a, const POINT& b) { return !(a == b); }
  // Lexicographic order of the coordinates.
  friend constexpr bool operator<(const POINT& a, const POINT& b) {
    for (unsigned d = 0; d < N; ++d) {
      if (a.m_coord[d] < b.m_coord[d]) return true;
      if (b.m_coord[d] < a.m_coord[d]) return false;
    }
    return false;
  }

private:
  T m_coord[N] = {};
};

static_assert(sizeof(POINT<2, int, DEFAULT_COORDINATE_SPACE>) == 8);
static_assert(sizeof(POINT<3, int, DEFAULT_COORDINATE_SPACE>) == 12);

}  // namespace ZMP
