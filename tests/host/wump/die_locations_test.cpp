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
#include "wump/wump_route_info_singleton_manager.h"

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
    EXPECT_EQ(fresh[DEV_LOCATION_SUB], n.sub_location) << id;
    EXPECT_EQ(fresh[DEV_LOCATION_SUB_LOCATION], n.sub_location) << id;
    EXPECT_EQ(fresh[DEV_LOCATION_INDEX], n.index) << id;
    EXPECT_EQ(fresh[DEV_LOCATION_X], n.x) << id;
    EXPECT_EQ(fresh[DEV_LOCATION_Y], n.y) << id;
    if (std::find(kinds_seen.begin(), kinds_seen.end(), fresh[DEV_LOCATION_ELEMENT]) == kinds_seen.end())
      kinds_seen.push_back(fresh[DEV_LOCATION_ELEMENT]);
    if (::testing::Test::HasFailure()) break;
  }
  // Wires, muxes, ports and clock taps at least.
  EXPECT_GE(kinds_seen.size(), 5u);
}

// A routing gid past the graph is nothing: not enabled, not located, no
// description, no name and no neighbours (the lists handed in are emptied).
TEST_F(DieLocationsTest, ARoutingGidPastTheGraphIsNothing) {
  host::testing::device(Family::KY).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO& route = *die->get_route_info();
  const unsigned last = (route.get_num_elements() - 1) | WUMP_GID_BIT;
  std::vector<unsigned> fanin, fanout;
  die->get_fanin_gids(last, fanin);
  die->get_fanout_gids(last, fanout);
  EXPECT_FALSE(fanin.empty() && fanout.empty());
  for (const unsigned past : {route.get_num_elements() | WUMP_GID_BIT, (route.get_num_elements() + 100) | WUMP_GID_BIT}) {
    SCOPED_TRACE(past);
    DEV_LOCATION location;
    EXPECT_FALSE(die->is_global_id_enabled(past));
    EXPECT_FALSE(die->get_location(past, location));
    EXPECT_EQ(location[DEV_LOCATION_ELEMENT], -1);
    EXPECT_EQ(die->get_element_desc(past), nullptr);
    EXPECT_EQ(die->get_gid_string(past), "?");
    die->get_fanin_gids(past, fanin);
    die->get_fanout_gids(past, fanout);
    EXPECT_TRUE(fanin.empty());
    EXPECT_TRUE(fanout.empty());
  }
}

// A register's pipeline slots are its sub-locations 60 to 99 exactly; a DSP
// block is two tiles high, every other block one.
TEST_F(DieLocationsTest, PipelineSlotsEndAtNinetyNineAndDspBlocksAreTwoHigh) {
  host::testing::device(Family::KY).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_PLACE_INFO& place = *die->get_place_info();
  ASSERT_EQ(place.get_grid().tile_kind(3, 4), DEV_TILE_KIND::LAB);
  EXPECT_NE(place.get_global_id(643, 3, 4, 99) & WUMP_GID_BIT, 0u);
  for (const int sub : {100, 101, 120}) {
    const unsigned gid = place.get_global_id(643, 3, 4, sub);
    EXPECT_TRUE(gid == DEV_GRID::ILLEGAL_GID || (gid & WUMP_GID_BIT) == 0) << sub;
  }
  EXPECT_EQ(die->get_block_type_height(dev_kind::DSP), 2);
  for (const int kind : {643, 644, 646, 162, 581}) EXPECT_EQ(die->get_block_type_height(kind), 1) << kind;
}

// The spec's blacklist of routing elements holds the elements the graph
// has; a reference to one it lacks is left out.
TEST_F(DieLocationsTest, BlacklistReferencesToMissingElementsAreLeftOut) {
  host::testing::device(Family::KY).blacklist({DEV_ELEMENT_REF{700, 500, 500, 0}}).build();
  EXPECT_TRUE(host::device::die_info()->get_blacklisting()->empty());
  host::testing::device(Family::KY).blacklist({DEV_ELEMENT_REF{700, 500, 500, 0}, DEV_ELEMENT_REF{701, 3, 4, 9}}).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  EXPECT_FALSE(die->get_blacklisting()->empty());
  EXPECT_TRUE(die->get_blacklisting()->is_routing_gid_blacklisted(die->get_route_info()->get_gid(701, 3, 4, 9)));
  EXPECT_FALSE(die->get_blacklisting()->is_routing_gid_blacklisted(WUMP_ILLEGAL_GID));
}

// A die made for a new device takes over as the active route info in the
// mode its predecessor had; with none active it is active in mode 0, and
// another route info made active by hand stays so.
TEST_F(DieLocationsTest, ANewDieTakesOverTheActiveRouteInfoAndItsMode) {
  WUMP_ROUTE_INFO_SINGLETON_MANAGER& m = WUMP_ROUTE_INFO_SINGLETON_MANAGER::get();
  host::testing::device(Family::KY).grid(12, 10).build();
  const WUMP_ROUTE_INFO* first = host::device::die_info()->get_route_info();
  ASSERT_TRUE(m.has_active());
  EXPECT_EQ(m.get_active().info, first);
  EXPECT_EQ(m.get_active().mode, 0);
  m.activate(first, 2);
  host::testing::device(Family::KY).grid(14, 10).build();
  const WUMP_ROUTE_INFO* second = host::device::die_info()->get_route_info();
  EXPECT_EQ(m.get_active().info, second);
  EXPECT_EQ(m.get_active().mode, 2);
  m.deactivate();
  host::testing::device(Family::KY).grid(13, 11).build();
  const WUMP_ROUTE_INFO* third = host::device::die_info()->get_route_info();
  EXPECT_EQ(m.get_active().info, third);
  EXPECT_EQ(m.get_active().mode, 0);
}
