#pragma once
// Fixed-dimension points of a coordinate space.
#include <array>
#include <cstddef>

namespace ZMP {

struct DEFAULT_COORDINATE_SPACE {};

template <int N, class T, class SPACE = DEFAULT_COORDINATE_SPACE> class POINT {
public:
  static_assert(N > 0, "a point has at least one coordinate");
  POINT() { m_coords.fill(T{}); }
  template <class... A, class = std::enable_if_t<sizeof...(A) == static_cast<std::size_t>(N)>>
  explicit POINT(A... coords) : m_coords{static_cast<T>(coords)...} {}

  // Checked access (throws std::out_of_range past the last coordinate).
  T& at(int dim) { return m_coords.at(static_cast<std::size_t>(dim)); }
  const T& at(int dim) const { return m_coords.at(static_cast<std::size_t>(dim)); }
  T& operator[](int dim) { return m_coords[static_cast<std::size_t>(dim)]; }
  const T& operator[](int dim) const { return m_coords[static_cast<std::size_t>(dim)]; }
  static constexpr int dimensions() { return N; }

  bool operator==(const POINT& o) const { return m_coords == o.m_coords; }
  bool operator!=(const POINT& o) const { return m_coords != o.m_coords; }
  // Lexicographic order of the coordinates.
  bool operator<(const POINT& o) const { return m_coords < o.m_coords; }

private:
  std::array<T, static_cast<std::size_t>(N)> m_coords;
};

}  // namespace ZMP
