// The die's answers at its edges: the sector regions tile the whole die, a
// placement gid past the location table is no location, and a pipeline slot
// is a LAB's only.
#include <string>
#include <vector>

#include "dev/dev_grid.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "wump/wump_die_info.h"
#include "wump/wump_hand_graph.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {
class DieInfoRulesTest : public HostTest {};
}  // namespace

// The sector-level clock regions (and the die's sectors) cover each tile
// exactly once, whatever the grid's size, odd sides included.
TEST_F(DieInfoRulesTest, SectorsTileTheWholeDie) {
  for (const auto [nx, ny] : {std::pair{12, 10}, std::pair{14, 10}, std::pair{13, 11}}) {
    SCOPED_TRACE(std::to_string(nx) + "x" + std::to_string(ny));
    host::testing::device(Family::KY).grid(nx, ny).build();
    const WUMP_DIE_INFO* die = host::device::die_info();
    ASSERT_EQ(die->get_place_info()->get_nx(), nx);
    ASSERT_EQ(die->get_place_info()->get_ny(), ny);
    const auto regions = die->get_place_info()->get_clock_region_info()->get_clock_region_list(7);
    ASSERT_EQ(regions.size(), die->get_sectors().size());
    for (int x = 0; x < nx; ++x)
      for (int y = 0; y < ny; ++y) {
        int in_regions = 0, in_sectors = 0;
        for (const WUMP_CLOCK_REGION& r : regions) {
          const WUMP_POINT ll = r.get_lower_left_corner(), ur = r.get_upper_right_corner();
          in_regions += x >= ll.x && x <= ur.x && y >= ll.y && y <= ur.y;
        }
        for (const DEV_TILE_RECT& s : die->get_sectors()) in_sectors += s.contains(x, y);
        EXPECT_EQ(in_regions, 1) << x << "," << y;
        EXPECT_EQ(in_sectors, 1) << x << "," << y;
      }
  }
}

// A placement gid is a location only inside the location table: one past it
// is neither enabled nor located, has no element and no name.
TEST_F(DieInfoRulesTest, PlacementGidsPastTheTableAreNoLocations) {
  host::testing::device(Family::KY).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const auto& table = die->get_place_info()->get_location_table();
  ASSERT_FALSE(table.empty());
  const unsigned last = static_cast<unsigned>(table.size() - 1);
  DEV_LOCATION location;
  EXPECT_TRUE(die->is_global_id_enabled(last));
  EXPECT_TRUE(die->get_location(last, location));
  EXPECT_NE(die->get_element_desc(last), nullptr);
  EXPECT_EQ(die->get_gid_string(last), "X" + std::to_string(table[last].x) + "_Y" + std::to_string(table[last].y) +
                                           "_N" + std::to_string(table[last].z));
  for (const unsigned past : {last + 1, last + 100}) {
    SCOPED_TRACE(past);
    EXPECT_FALSE(die->is_global_id_enabled(past));
    EXPECT_FALSE(die->get_location(past, location));
    EXPECT_EQ(die->get_element_desc(past), nullptr);
    EXPECT_EQ(die->get_gid_string(past), "?");
  }
}

// A register's pipeline slot (sub-locations 60 to 99) is a routing element of
// a LAB tile: a graph holding an element of the same kind and index outside a
// LAB gives no slot there.
TEST_F(DieInfoRulesTest, PipelineSlotsAreInLabsOnly) {
  host::testing::device(Family::KY).build();
  WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_PLACE_INFO* place = die->get_place_info();
  int lab_x = -1, lab_y = -1;
  for (int x = 0; x < place->get_nx() && lab_x < 0; ++x)
    for (int y = 0; y < place->get_ny() && lab_x < 0; ++y)
      if (place->get_grid().tile_kind(x, y) == DEV_TILE_KIND::LAB) lab_x = x, lab_y = y;
  ASSERT_GE(lab_x, 0);
  const unsigned slot = place->get_global_id(dev_kind::FF, lab_x, lab_y, 60);
  EXPECT_NE(slot, DEV_GRID::ILLEGAL_GID);
  EXPECT_EQ(slot, die->get_route_info()->get_gid(dev_kind::LAB_RE, lab_x, lab_y, 140));

  // A hand-made graph puts its elements on tile (0, 0), a corner of the die.
  ASSERT_NE(place->get_grid().tile_kind(0, 0), DEV_TILE_KIND::LAB);
  WUMP_HAND_GRAPH_BUILDER b;
  for (int i = 0; i <= 140; ++i) b.element(dev_kind::LAB_RE);
  b.install();
  ASSERT_NE(die->get_route_info()->get_gid(dev_kind::LAB_RE, 0, 0, 140), WUMP_ILLEGAL_GID);
  EXPECT_EQ(place->get_global_id(dev_kind::FF, 0, 0, 60), DEV_GRID::ILLEGAL_GID);
}
