#include "tibex/tibex_nearest_tiles.h"

#include <algorithm>
#include <cstdlib>

namespace host::placement {

namespace {

// Heap order: the smallest (distance, x, y) first.
struct LATER {
  template <class H>
  bool operator()(const H& a, const H& b) const {
    if (a.d != b.d) return a.d > b.d;
    if (a.x != b.x) return a.x > b.x;
    return a.y > b.y;
  }
};

long long floor_div(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void NEAREST_TILES::reset(int nx, int ny, const std::vector<bool>& open) {
  m_nx = nx;
  m_ny = ny;
  const int stride = ny + 2;
  m_up.assign(static_cast<std::size_t>(nx) * stride, 0);
  m_down.assign(m_up.size(), 0);
  for (int x = 0; x < nx; ++x) {
    const int base = x * stride;
    for (int i = 0; i < stride; ++i) {
      const int y = i - 1;
      const bool root = y < 0 || y >= ny || open[static_cast<std::size_t>(x) * ny + y];
      m_up[base + i] = root ? base + i : base + i + 1;
      m_down[base + i] = root ? base + i : base + i - 1;
    }
  }
  m_heap.clear();
}

void NEAREST_TILES::close(int x, int y) {
  const int i = x * (m_ny + 2) + y + 1;
  m_up[i] = i + 1;
  m_down[i] = i - 1;
}

int NEAREST_TILES::find(std::vector<int>& chain, int x, int y) {
  const int base = x * (m_ny + 2) + 1;
  int i = base + std::min(std::max(y, -1), m_ny);
  while (chain[i] != i) {
    chain[i] = chain[chain[i]];
    i = chain[i];
  }
  return i - base;
}

long long NEAREST_TILES::dist(int x, int y) const {
  if (m_cnt == 0) return 0;
  return std::llabs(x * m_cnt - m_sx) + std::llabs(y * m_cnt - m_sy);
}

void NEAREST_TILES::push(int x, int y, bool up) {
  m_heap.push_back(HEAD{dist(x, y), x, y, up});
  std::push_heap(m_heap.begin(), m_heap.end(), LATER{});
}

void NEAREST_TILES::open_column(int x) {
  const int lo = find(m_down, x, m_ylo);
  if (lo >= 0) push(x, lo, false);
  const int hi = find(m_up, x, m_yhi);
  if (hi < m_ny) push(x, hi, true);
}

void NEAREST_TILES::start(long long sx, long long sy, long long cnt) {
  m_sx = sx;
  m_sy = sy;
  m_cnt = cnt;
  m_heap.clear();
  // Columns (rows) at or before the centroid's walk down (left), the others
  // up (right): along each walk the distance grows.
  const long long fx = cnt > 0 ? floor_div(sx, cnt) : -1;
  const long long fy = cnt > 0 ? floor_div(sy, cnt) : -1;
  m_left = static_cast<int>(std::clamp<long long>(fx, -1, m_nx - 1));
  m_right = m_left + 1;
  m_ylo = static_cast<int>(std::clamp<long long>(fy, -1, m_ny - 1));
  m_yhi = m_ylo + 1;
}

bool NEAREST_TILES::next(int* x, int* y) {
  const auto column_d = [&](int c) { return m_cnt == 0 ? 0 : std::llabs(c * m_cnt - m_sx); };
  for (;;) {
    // Open every column that may hold a tile ordered before the heap's
    // first: on the left at an equal distance too (its x is lower), on the
    // right only nearer.
    for (bool opened = true; opened;) {
      opened = false;
      if (m_left >= 0 && (m_heap.empty() || column_d(m_left) <= m_heap.front().d)) {
        open_column(m_left--);
        opened = true;
      }
      if (m_right < m_nx && (m_heap.empty() || column_d(m_right) < m_heap.front().d)) {
        open_column(m_right++);
        opened = true;
      }
    }
    if (m_heap.empty()) return false;
    std::pop_heap(m_heap.begin(), m_heap.end(), LATER{});
    const HEAD h = m_heap.back();
    m_heap.pop_back();
    const int follow = h.up ? find(m_up, h.x, h.y + 1) : find(m_down, h.x, h.y - 1);
    if (follow >= 0 && follow < m_ny) push(h.x, follow, h.up);
    // A head closed after it was queued is passed over.
    const int i = h.x * (m_ny + 2) + h.y + 1;
    if (m_up[i] != i) continue;
    *x = h.x;
    *y = h.y;
    return true;
  }
}

}  // namespace host::placement
