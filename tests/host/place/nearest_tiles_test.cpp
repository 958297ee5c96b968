#include "tibex/tibex_nearest_tiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <tuple>
#include <vector>

using host::placement::NEAREST_TILES;

namespace {

struct TILE {
  int x, y;
  bool operator==(const TILE&) const = default;
};

// The order the search must reproduce: every open tile sorted by (distance
// to the centroid, x, y).
std::vector<TILE> exhaustive(int nx, int ny, const std::vector<bool>& open, long long sx, long long sy, long long cnt) {
  std::vector<std::tuple<long long, int, int>> all;
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y)
      if (open[static_cast<std::size_t>(x) * ny + y]) {
        const long long d = cnt == 0 ? 0 : std::llabs(x * cnt - sx) + std::llabs(y * cnt - sy);
        all.emplace_back(d, x, y);
      }
  std::sort(all.begin(), all.end());
  std::vector<TILE> res;
  for (auto [d, x, y] : all) res.push_back(TILE{x, y});
  return res;
}

}  // namespace

// Random grids (dense, sparse, a ring like the pads'), centroids on tiles,
// between tiles (ties on both sides), outside the grid and absent; tiles
// closed after they are returned and while queued. Each search must give the
// exhaustive order of the tiles still open.
TEST(NearestTiles, VisitsOpenTilesInTheExhaustiveOrder) {
  std::mt19937 rng(17);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const int nx = 1 + static_cast<int>(rng() % 14), ny = 1 + static_cast<int>(rng() % 14);
    const int style = round % 3;
    std::vector<bool> open(static_cast<std::size_t>(nx) * ny);
    for (int x = 0; x < nx; ++x)
      for (int y = 0; y < ny; ++y) {
        const bool ring = x == 0 || y == 0 || x == nx - 1 || y == ny - 1;
        open[static_cast<std::size_t>(x) * ny + y] = style == 0 ? rng() % 10 < 8 : style == 1 ? rng() % 10 < 2 : ring;
      }
    NEAREST_TILES nt;
    nt.reset(nx, ny, open);
    for (int search = 0; search < 12; ++search) {
      SCOPED_TRACE(search);
      long long cnt = static_cast<long long>(rng() % 5);  // 0: no centroid
      long long sx = cnt * (static_cast<int>(rng() % (nx + 6)) - 3), sy = cnt * (static_cast<int>(rng() % (ny + 6)) - 3);
      if (search % 3 == 1 && cnt > 0) {
        // Half a tile off in both axes: tiles either side tie.
        cnt *= 2;
        sx = sx * 2 + cnt / 2;
        sy = sy * 2 + cnt / 2;
      }
      if (cnt > 0) sx = std::max(sx, 0LL), sy = std::max(sy, 0LL);
      const std::vector<TILE> want_all = exhaustive(nx, ny, open, sx, sy, cnt);
      std::vector<bool> closed_now(open.size(), false);
      std::vector<TILE> want, got;
      std::size_t next_want = 0;
      nt.start(sx, sy, cnt);
      for (int x, y; nt.next(&x, &y);) {
        got.push_back(TILE{x, y});
        // What the exhaustive order gives next, skipping tiles closed meanwhile.
        while (next_want < want_all.size() &&
               closed_now[static_cast<std::size_t>(want_all[next_want].x) * ny + want_all[next_want].y])
          ++next_want;
        if (next_want < want_all.size()) want.push_back(want_all[next_want++]);
        if (rng() % 3 == 0) {
          nt.close(x, y);  // found full
          open[static_cast<std::size_t>(x) * ny + y] = false;
        }
        if (rng() % 4 == 0) {
          // A tile further on closes before its turn.
          const int cx = static_cast<int>(rng() % nx), cy = static_cast<int>(rng() % ny);
          nt.close(cx, cy);
          open[static_cast<std::size_t>(cx) * ny + cy] = false;
          closed_now[static_cast<std::size_t>(cx) * ny + cy] = true;
        }
        ASSERT_LE(got.size(), want_all.size());
      }
      while (next_want < want_all.size() &&
             closed_now[static_cast<std::size_t>(want_all[next_want].x) * ny + want_all[next_want].y])
        ++next_want;
      EXPECT_EQ(next_want, want_all.size()) << "the search stopped early";
      ASSERT_EQ(got.size(), want.size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].x, want[i].x) << i;
        EXPECT_EQ(got[i].y, want[i].y) << i;
      }
    }
  }
}
