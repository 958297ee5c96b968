// Where the die says each gid is: a pin's sites hang under the pin's first
// site on every pad tile, and a routing gid's location is its element's.
#include <algorithm>
#include <string>
#include <vector>

#include "dev/dev_grid.h"
#include "dev/dev_location.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {
class DieLocationsTest : public HostTest {};
}  // namespace

// On every pad tile of the die (each side, the corners' neighbours
// included), each site of a pin other than its first has the pin's first
// site as its parent, and only the pins' first sites are top-level blocks;
// no site of another tile has a parent.
TEST_F(DieLocationsTest, EveryPinSiteHangsUnderItsPinOnEveryPadTile) {
  for (const auto [nx, ny] : {std::pair{12, 10}, std::pair{9, 14}}) {
    SCOPED_TRACE(std::to_string(nx) + "x" + std::to_string(ny));
    host::testing::device(Family::KY).grid(nx, ny).build();
    const WUMP_PLACE_INFO& place = *host::device::die_info()->get_place_info();
    const DEV_GRID& grid = place.get_grid();
    int pad_tiles = 0;
    bool pads_left = false, pads_right = false, pads_bottom = false, pads_top = false;
    for (int x = 0; x < nx; ++x)
      for (int y = 0; y < ny; ++y) {
        const bool pad = grid.tile_kind(x, y) == DEV_TILE_KIND::PAD;
        if (pad) {
          ++pad_tiles;
          pads_left |= x == 0;
          pads_right |= x == nx - 1;
          pads_bottom |= y == 0;
          pads_top |= y == ny - 1;
        }
        std::vector<unsigned> heads;
        for (int z = 0; z < grid.site_count(x, y); ++z) {
          const unsigned gid = grid.site_gid(x, y, z);
          const auto block = place.get_place_block(gid);
          ASSERT_TRUE(block.has_value()) << x << "," << y << "," << z;
          const bool sub_site = pad && z % DEV_GRID::SITES_PER_PIN != 0;
          const unsigned parent = sub_site ? grid.site_gid(x, y, z - z % DEV_GRID::SITES_PER_PIN) : DEV_GRID::ILLEGAL_GID;
          EXPECT_EQ(block->get_parent_global_id(), parent) << x << "," << y << "," << z;
          if (!sub_site) heads.push_back(gid);
        }
        EXPECT_EQ(place.get_top_level_blocks_at_coordinate(x, y), heads) << x << "," << y;
      }
    EXPECT_GT(pad_tiles, 0);
    EXPECT_TRUE(pads_left && pads_right && (pads_bottom || pads_top));
  }
}

// Each routing element's gid is located at the element: its kind, tile,
// index and sub-location, whatever location object is filled.
TEST_F(DieLocationsTest, ARoutingGidIsLocatedAtItsElementWithItsKind) {
  host::testing::device(Family::KY).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO& route = *die->get_route_info();
  ASSERT_GT(route.get_num_elements(), 0u);
  DEV_LOCATION reused;
  const unsigned some_site = 0;
  std::vector<int> kinds_seen;
  for (unsigned id = 0; id < route.get_num_elements(); ++id) {
    const unsigned gid = id | WUMP_GID_BIT;
    const WUMP_ROUTE_NODE n = route.get_route_node_of(gid);
    // Filled after a placement site's location: nothing of the site's stays.
    ASSERT_TRUE(die->get_location(some_site, reused));
    ASSERT_TRUE(die->get_location(gid, reused)) << id;
    EXPECT_EQ(reused[DEV_LOCATION_ELEMENT], static_cast<int>(n.element_type)) << id;
    EXPECT_EQ(reused[DEV_LOCATION_ELEMENT], static_cast<int>(route.get_dev_element_from_gid(gid))) << id;
    EXPECT_EQ(reused[DEV_LOCATION_X], n.x) << id;
    EXPECT_EQ(reused[DEV_LOCATION_Y], n.y) << id;
    EXPECT_EQ(reused[DEV_LOCATION_INDEX], n.index) << id;
    EXPECT_EQ(reused[DEV_LOCATION_SUB], n.sub_location) << id;
    EXPECT_EQ(reused.get_name(), route.get_name(gid)) << id;
    DEV_LOCATION fresh;
    ASSERT_TRUE(die->get_location(gid, fresh));
    EXPECT_EQ(fresh[DEV_LOCATION_ELEMENT], static_cast<int>(n.element_type)) << id;
    if (std::find(kinds_seen.begin(), kinds_seen.end(), fresh[DEV_LOCATION_ELEMENT]) == kinds_seen.end())
      kinds_seen.push_back(fresh[DEV_LOCATION_ELEMENT]);
    if (::testing::Test::HasFailure()) break;
  }
  // Wires, muxes, ports and clock taps at least.
  EXPECT_GE(kinds_seen.size(), 5u);
}
