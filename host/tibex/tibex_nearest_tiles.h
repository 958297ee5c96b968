#pragma once
// algorithm: the tiles of a grid that are still open (of one site kind, with
// room), visited nearest first to a centroid (sx / cnt, sy / cnt): by the
// Manhattan distance |x * cnt - sx| + |y * cnt - sy|, then by x, then by y
// (the placer's (x, y) listing order). With cnt 0 every distance is 0, so
// the order is the listing order.
//
// A tile once closed stays closed (the placer's greedy pass only fills
// tiles). Each column keeps two union-find chains, one upward and one
// downward, that step over closed tiles, so a search costs about the number
// of columns within the distance it reaches, not the number of tiles: the
// columns are taken outward from the centroid's, each feeding the tiles
// above and below the centroid's row, in order, into a small heap; a column
// is opened only once its nearest possible tile could come before the
// heap's first.
#include <vector>

#include "common/host_api.h"

namespace host::placement {

class HOST_API NEAREST_TILES {
public:
  // An nx x ny grid whose tiles are open where `open` (x-major: x * ny + y)
  // is true.
  void reset(int nx, int ny, const std::vector<bool>& open);
  // Closes tile (x, y) for every later search (and the rest of the current one).
  void close(int x, int y);
  // Starts a search around (sx / cnt, sy / cnt).
  void start(long long sx, long long sy, long long cnt);
  // The next tile of the search not known to be closed; false when there
  // are no more. A caller that finds the tile full closes it and asks again.
  bool next(int* x, int* y);

private:
  struct HEAD {
    long long d;
    int x, y;
    bool up;
  };
  // Along m_up: the first open row >= y in column x, or ny; along m_down:
  // the last open row <= y, or -1.
  int find(std::vector<int>& chain, int x, int y);
  long long dist(int x, int y) const;
  void open_column(int x);
  void push(int x, int y, bool up);

  int m_nx = 0, m_ny = 0;
  std::vector<int> m_up, m_down;  // per column, ny + 2 entries: a sentinel each end
  long long m_sx = 0, m_sy = 0, m_cnt = 0;
  int m_left = -1, m_right = 0;  // next column to open on either side
  int m_ylo = -1, m_yhi = 0;     // first rows of the downward and upward walks
  std::vector<HEAD> m_heap;
};

}  // namespace host::placement
