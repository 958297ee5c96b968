// The generated device: grid, placement gids, routing graph per family.
#include <map>
#include <set>

#include "dev/dev_family.h"
#include "testing/blif_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {

class DeviceGraphTest : public HostTest {};

std::map<int, int> kind_counts(const WUMP_ROUTE_INFO& info) {
  std::map<int, int> counts;
  for (unsigned id = 0; id < info.get_num_elements(); ++id)
    ++counts[info.get_element_record(info.element(id).get_record()).kind];
  return counts;
}

std::vector<unsigned> fanouts_of(const WUMP_ROUTE_INFO& info, unsigned id) {
  std::vector<unsigned> res;
  const int r = info.element(id).get_fanout_range();
  if (r < 0) return res;
  const int* t = info.get_fanout_table() + r;
  for (int p = 0; p < t[1]; ++p) res.push_back(id + static_cast<unsigned>(t[2 + p]));
  return res;
}

std::vector<unsigned> fanins_of(const WUMP_ROUTE_INFO& info, unsigned id) {
  std::vector<unsigned> res;
  const int r = info.element(id).get_fanin_range();
  if (r < 0) return res;
  const int* t = info.get_fanin_table() + r;
  for (int p = 0; p < t[1]; ++p) res.push_back(id + static_cast<unsigned>(t[2 + p]));
  return res;
}

}  // namespace

// Default grid 12 x 10: 4 PLL corners, 10 periphery tiles, 26 pad tiles, DSP
// columns 4 and 8 (4 blocks each, 8 tiles each), RAM column 6, 56 LABs.
TEST_F(DeviceGraphTest, GeneratedKindsAndCountsPerFamily) {
  struct ROW {
    int family;
    bool slots;
    int first_output;
  };
  for (ROW row : {ROW{Family::KY, true, 94}, ROW{Family::KZ, true, 89}, ROW{Family::KX, false, 90},
                  ROW{Family::KX15, false, 90}, ROW{Family::IO_LEGACY, false, 94}}) {
    SCOPED_TRACE(row.family);
    host::testing::device(row.family).build();
    const WUMP_DIE_INFO* die = host::device::die_info();
    const WUMP_ROUTE_INFO& info = *die->get_route_info();
    const int labs = 56, tiles = 120, pad_tiles = 26, periphery = 10;
    auto counts = kind_counts(info);
    EXPECT_EQ(counts[282], labs * 162);
    EXPECT_EQ(counts[279], labs * 10);
    EXPECT_EQ(counts[700], tiles * 8);
    EXPECT_EQ(counts[701], tiles * 8);
    EXPECT_EQ(counts[702], 24 * 8);
    EXPECT_EQ(counts[283], 24 * 4);
    EXPECT_EQ(counts[659], pad_tiles * 4 + periphery * 8);
    EXPECT_EQ(counts[284], pad_tiles * 2 + periphery * 4 + 4 * 2);
    EXPECT_EQ(counts[318], 4 * 10);
    // One row segment of 10 columns on an inner row of 8.
    EXPECT_EQ(counts[1929], row.slots ? 4 * 8 : 0);
    EXPECT_EQ(counts[1339], pad_tiles * 2);  // a clock input per pin
    EXPECT_EQ(counts.count(1545), 0u);
    // Interface chains: on a periphery block 6 after the outputs and 10
    // before the inputs, on a pin one each way.
    EXPECT_EQ(counts[703], periphery * 16 + pad_tiles * 2 * 2);
    EXPECT_EQ(info.get_num_elements(), static_cast<unsigned>(labs * 162 + labs * 10 + tiles * 16 + 24 * 12 +
                                                             pad_tiles * 12 + periphery * 28 + 8 + 40 +
                                                             (row.slots ? 32 : 0)));

    int slot_count = 0;
    std::set<int> output_indexes;
    for (unsigned gid : info.gids(282)) {
      const WUMP_ROUTE_NODE n = info.get_route_node_of(gid);
      const bool is_input = n.flags & WUMP_RECORD_INPUT;
      if (info.is_zota_gid(gid)) {
        ++slot_count;
        EXPECT_TRUE(is_input && (n.index < 80 || (n.index >= 140 && n.index < 180))) << n.index;
      }
      if (!is_input) output_indexes.insert(n.index);
    }
    EXPECT_EQ(slot_count, row.slots ? labs * 120 : 0);
    EXPECT_EQ(*output_indexes.begin(), row.first_output);
    EXPECT_EQ(*output_indexes.rbegin(), row.first_output + 39);
    EXPECT_EQ(output_indexes.size(), 40u);
    EXPECT_EQ(info.get_port_name(282, row.first_output + 3), "LABOUTT[3]");
    EXPECT_EQ(info.get_port_name(282, row.first_output + 23), "LABOUTB[3]");
  }
}

TEST_F(DeviceGraphTest, WiderFabricKeepsListsConsistent) {
  host::testing::device(Family::KY).routing_tracks(4).build();
  const WUMP_ROUTE_INFO& info = *host::device::die_info()->get_route_info();
  std::map<std::pair<unsigned, unsigned>, int> out_edges, in_edges;
  for (unsigned id = 0; id < info.get_num_elements(); ++id) {
    for (unsigned to : fanouts_of(info, id)) ++out_edges[{id, to}];
    for (unsigned from : fanins_of(info, id)) ++in_edges[{from, id}];
  }
  EXPECT_EQ(out_edges, in_edges);
  // 32 wires per tile: east short wires are 0..3, east long 4..7, ... and a
  // wire's "across" short wires take the next track, wrapping to track 0.
  const unsigned w = info.get_gid(700, 3, 4, 3) & ~WUMP_GID_BIT;
  auto f = fanouts_of(info, w);
  ASSERT_GE(f.size(), 4u);
  EXPECT_EQ(f[0] | WUMP_GID_BIT, info.get_gid(700, 4, 4, 3));
  EXPECT_EQ(f[1] | WUMP_GID_BIT, info.get_gid(700, 4, 4, 7));
  EXPECT_EQ(f[2] | WUMP_GID_BIT, info.get_gid(701, 4, 4, 16));
  EXPECT_EQ(f[3] | WUMP_GID_BIT, info.get_gid(701, 4, 4, 24));
  EXPECT_EQ(info.get_gid(701, 4, 4, 31) & ~WUMP_GID_BIT, (info.get_gid(700, 4, 4, 0) & ~WUMP_GID_BIT) + 31);
}

TEST_F(DeviceGraphTest, ListsAreConsistentAndInFixedOrder) {
  host::testing::device(Family::KY).build();
  const WUMP_ROUTE_INFO& info = *host::device::die_info()->get_route_info();
  // Every edge appears once in its source's fanouts and once in its target's
  // fanins; fanins are listed by source id.
  std::map<std::pair<unsigned, unsigned>, int> out_edges, in_edges;
  for (unsigned id = 0; id < info.get_num_elements(); ++id) {
    for (unsigned to : fanouts_of(info, id)) {
      ASSERT_LT(to, info.get_num_elements());
      EXPECT_NE(to, id);
      ++out_edges[{id, to}];
    }
    auto ins = fanins_of(info, id);
    EXPECT_TRUE(std::is_sorted(ins.begin(), ins.end())) << id;
    for (unsigned from : ins) ++in_edges[{from, id}];
  }
  EXPECT_EQ(out_edges, in_edges);
  for (const auto& [edge, n] : out_edges) EXPECT_EQ(n, 1) << edge.first << "->" << edge.second;

  // An east-running short wire at (3, 4), track 0: straight on, the long
  // wire, the two short wires across on track 1 (all at (4, 4)), then the inputs of its
  // own LAB that listen to it.
  const unsigned w = info.get_gid(700, 3, 4, 0) & ~WUMP_GID_BIT;
  auto f = fanouts_of(info, w);
  ASSERT_GE(f.size(), 5u);
  EXPECT_EQ(f[0] | WUMP_GID_BIT, info.get_gid(700, 4, 4, 0));
  EXPECT_EQ(f[1] | WUMP_GID_BIT, info.get_gid(700, 4, 4, 2));
  EXPECT_EQ(f[2] | WUMP_GID_BIT, info.get_gid(701, 4, 4, 9));
  EXPECT_EQ(f[3] | WUMP_GID_BIT, info.get_gid(701, 4, 4, 13));
  EXPECT_EQ(f[4] | WUMP_GID_BIT, info.get_gid(282, 3, 4, 0));
  // A long wire ends with its purely redundant edge.
  const unsigned lw = info.get_gid(700, 2, 4, 2) & ~WUMP_GID_BIT;
  const int r = info.element(lw).get_fanout_range();
  const int* t = info.get_fanout_table() + r;
  EXPECT_EQ(t[0] + 1, t[1]);
  EXPECT_EQ(info.get_fanout_edge_flags(lw, t[1] - 1), WUMP_EDGE_REDUNDANT);
  EXPECT_EQ((lw + static_cast<unsigned>(t[2 + t[1] - 1])) | WUMP_GID_BIT, info.get_gid(700, 5, 4, 0));

  // Generation is deterministic.
  WUMP_DIE_INFO again(host::device::spec());
  const WUMP_ROUTE_INFO& info2 = *again.get_route_info();
  ASSERT_EQ(info2.get_num_elements(), info.get_num_elements());
  EXPECT_EQ(info2.get_element_table(), info.get_element_table());
  for (unsigned id = 0; id < info.get_num_elements(); id += 7) {
    EXPECT_EQ(fanouts_of(info2, id), fanouts_of(info, id));
    EXPECT_EQ(info2.element(id).get_record(), info.element(id).get_record());
  }
}

TEST_F(DeviceGraphTest, RouteNodesNameElementsUniquely) {
  host::testing::device(Family::KZ).grid(9, 7).dsp_columns({3}).ram_columns({5}).build();
  const WUMP_ROUTE_INFO& info = *host::device::die_info()->get_route_info();
  for (unsigned id = 0; id < info.get_num_elements(); ++id) {
    const unsigned gid = id | WUMP_GID_BIT;
    EXPECT_EQ(info.get_gid_from_route_node(info.get_route_node_of(gid)), gid) << id;
  }
  EXPECT_EQ(info.get_gid(282, 0, 0, 0), WUMP_ILLEGAL_GID);  // a PLL corner has no LAB
  EXPECT_EQ(info.get_gid(282, 99, 1, 0), WUMP_ILLEGAL_GID);
}

TEST_F(DeviceGraphTest, PlacementAndRoutingGidsFollowTheLocationRule) {
  host::testing::device(Family::KY).disable_locations({5}).build();
  WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_PLACE_INFO& place = *die->get_place_info();
  const WUMP_ROUTE_INFO& route = *die->get_route_info();
  EXPECT_EQ(place.get_nx(), 12);
  EXPECT_EQ(place.get_ny(), 10);
  ASSERT_EQ(place.get_grid().tile_kind(3, 4), DEV_TILE_KIND::LAB);

  // Ordinary sites: bit 31 clear, an index into the location table.
  for (int z = 0; z < 60; ++z) {
    const unsigned gid = place.get_global_id(0, 3, 4, z);
    ASSERT_EQ(gid & WUMP_GID_BIT, 0u);
    const DEV_SITE& s = place.get_location_table()[gid];
    EXPECT_EQ(s.x, 3);
    EXPECT_EQ(s.y, 4);
    EXPECT_EQ(s.z, z);
    EXPECT_EQ(s.element, z % 3 == 0 ? 644 : 643);
    DEV_LOCATION loc;
    ASSERT_TRUE(die->get_location(gid, loc));
    EXPECT_EQ(loc[DEV_LOCATION_X], 3);
    EXPECT_EQ(loc[DEV_LOCATION_Y], 4);
    EXPECT_EQ(loc[DEV_LOCATION_SUB], z);
  }
  EXPECT_EQ(place.get_global_id(643, 3, 4, 0), DEV_GRID::ILLEGAL_GID);  // a LUT site
  EXPECT_EQ(place.get_global_id(0, 3, 4, 60), DEV_GRID::ILLEGAL_GID);
  EXPECT_EQ(place.get_global_id(1336, 4, 1, 0), place.get_global_id(0, 4, 1, 0));
  EXPECT_EQ(place.get_global_id(0, 4, 2, 0), DEV_GRID::ILLEGAL_GID);  // upper half of a DSP block
  EXPECT_EQ(place.get_global_id(1337, 6, 2, 0), place.get_global_id(0, 6, 2, 0));
  EXPECT_EQ(place.get_global_id(581, 11, 9, 0), place.get_global_id(0, 11, 9, 0));

  // Pipeline slots 60..99 of a LAB register are routing gids holding a slot.
  for (int s = 60; s < 100; ++s) {
    const unsigned gid = place.get_global_id(643, 3, 4, s);
    ASSERT_NE(gid & WUMP_GID_BIT, 0u);
    EXPECT_TRUE(route.is_zota_gid(gid));
    EXPECT_EQ(route.get_dev_element_from_gid(gid), 282);
    DEV_LOCATION loc;
    ASSERT_TRUE(die->get_location(gid, loc));
    EXPECT_EQ(loc[DEV_LOCATION_X], 3);
    EXPECT_EQ(loc[DEV_LOCATION_Y], 4);
    EXPECT_EQ(loc[DEV_LOCATION_ELEMENT], 282);
  }
  EXPECT_FALSE(route.is_zota_gid(place.get_global_id(0, 3, 4, 1)));

  // Enabled gids; the placement blacklist follows.
  EXPECT_FALSE(die->is_global_id_enabled(5));
  EXPECT_TRUE(die->is_global_id_enabled(6));
  EXPECT_FALSE(die->is_global_id_enabled(0xFFFFFFFFu));
  EXPECT_FALSE(die->is_global_id_enabled(static_cast<unsigned>(place.get_location_table().size())));
  EXPECT_TRUE(die->get_blacklisting()->is_placement_gid_blacklisted(5));
  EXPECT_FALSE(die->get_blacklisting()->is_placement_gid_blacklisted(6));
  // Pin sites hang under their site parent; the description follows the kind.
  const unsigned pad_gid = place.get_global_id(0, 0, 3, 8);
  auto pin = place.get_place_block(pad_gid);
  ASSERT_TRUE(pin.has_value());
  EXPECT_EQ(pin->get_element_enum(), 646);
  EXPECT_EQ(pin->get_parent_global_id(), place.get_global_id(162, 0, 3, 6));
  EXPECT_EQ(place.get_place_block(place.get_global_id(162, 0, 3, 6))->get_parent_global_id(), DEV_GRID::ILLEGAL_GID);
  EXPECT_EQ(place.get_place_block(place.get_global_id(0, 3, 4, 2))->get_parent_global_id(), DEV_GRID::ILLEGAL_GID);
  EXPECT_FALSE(place.get_place_block(0xFFFFFFFFu).has_value());
  EXPECT_EQ(place.get_global_ids_at(0, 3).size(), 12u);
  EXPECT_EQ(die->get_element_desc(pad_gid)->get_element_enum(), 646);
  EXPECT_FALSE(die->get_element_desc(pad_gid)->is_valid_int_enum(20));
  const DEV_ELEMENT_DESC* wire_desc = die->get_element_desc(route.get_gid(701, 3, 4, 9));
  ASSERT_NE(wire_desc, nullptr);
  EXPECT_EQ(wire_desc->get_int_data(20), 5);
  EXPECT_TRUE(wire_desc->is_valid_int_enum(21));
  EXPECT_EQ(die->get_element_desc(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(die->get_gid_string(0xFFFFFFFFu), "?");
  EXPECT_EQ(die->get_gid_string(place.get_global_id(0, 3, 4, 7)), "X3_Y4_N7");
}

TEST_F(DeviceGraphTest, NoSlotsWithoutRoutingPipelineRegisters) {
  host::testing::device(Family::KX).wire_pipeline_slots(true).build();
  const WUMP_PLACE_INFO& place = *host::device::die_info()->get_place_info();
  EXPECT_EQ(place.get_global_id(643, 3, 4, 62), DEV_GRID::ILLEGAL_GID);
  const WUMP_ROUTE_INFO& info = *host::device::die_info()->get_route_info();
  EXPECT_TRUE(info.gids(1929).empty());
  for (int kind : {700, 701})
    for (unsigned gid : info.gids(kind)) ASSERT_FALSE(info.is_zota_gid(gid));
}

// Wire slots: off by default; switched on, the long wires of LAB tiles (and
// only those) hold slots, and the graph's edges stay those of the device
// without them.
TEST_F(DeviceGraphTest, WireSlotsOnTheLongWiresOfLabTiles) {
  auto wire_slots = [] {
    const WUMP_ROUTE_INFO& info = *host::device::die_info()->get_route_info();
    const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
    int slots = 0;
    for (int kind : {700, 701})
      for (unsigned gid : info.gids(kind)) {
        if (!info.is_zota_gid(gid)) continue;
        ++slots;
        const WUMP_ROUTE_NODE n = info.get_route_node_of(gid);
        EXPECT_EQ(grid.tile_kind(n.x, n.y), DEV_TILE_KIND::LAB);
        EXPECT_EQ(n.length, 4);
      }
    return slots;
  };
  host::testing::device(Family::KY).build();
  EXPECT_EQ(wire_slots(), 0);
  const WUMP_ROUTE_INFO& plain = *host::device::die_info()->get_route_info();
  const unsigned elements = plain.get_num_elements();
  std::vector<std::vector<unsigned>> edges;
  for (unsigned id = 0; id < elements; ++id) edges.push_back(fanouts_of(plain, id));
  host::testing::device(Family::KY).wire_pipeline_slots(true).build();
  EXPECT_EQ(wire_slots(), 56 * 8);  // 56 LABs, 4 directions x 2 tracks
  const WUMP_ROUTE_INFO& slotted = *host::device::die_info()->get_route_info();
  ASSERT_EQ(slotted.get_num_elements(), elements);
  for (unsigned id = 0; id < elements; ++id) ASSERT_EQ(fanouts_of(slotted, id), edges[id]) << id;
}

TEST_F(DeviceGraphTest, BlacklistNetworksAndRegions) {
  using host::testing::lab_input;
  host::testing::device(Family::KY).grid(16, 12).blacklist({lab_input(3, 4, 7)}).build();
  WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO& route = *die->get_route_info();
  WUMP_BLACKLISTING_LOADER::setup_blacklisting(die);
  const WUMP_BLACKLISTING& bl = *die->get_blacklisting();
  const unsigned gid = host::testing::gid_of(lab_input(3, 4, 7));
  EXPECT_EQ(gid, route.get_gid(282, 3, 4, 7));
  EXPECT_TRUE(bl.is_routing_gid_blacklisted(gid));
  EXPECT_TRUE(bl.is_routing_gid_blacklisted(gid & ~WUMP_GID_BIT));
  EXPECT_FALSE(bl.is_routing_gid_blacklisted(route.get_gid(282, 3, 4, 8)));
  EXPECT_FALSE(WUMP_BLACKLISTING(die).is_routing_gid_blacklisted(gid));

  // Block ports by ICD name.
  const WUMP_PLACE_INFO& place = *die->get_place_info();
  const unsigned uib = place.get_global_id(0, 5, 11, 0);
  EXPECT_EQ(route.get_block_icd_port_gid(uib, 2, "out[0]"), route.get_gid(659, 5, 11, 4));
  EXPECT_EQ(route.get_block_icd_port_gid(uib, 1, "in[3]"), route.get_gid(659, 5, 11, 3));
  EXPECT_EQ(route.get_block_icd_port_gid(uib, 1, "out[0]"), WUMP_ILLEGAL_GID);
  EXPECT_EQ(route.get_block_icd_port_gid(uib, 3, "in[0]"), route.get_gid(659, 5, 11, 0));
  EXPECT_EQ(route.get_block_icd_port_gid(uib, 4, "in[0]"), WUMP_ILLEGAL_GID);
  const unsigned pin1 = place.get_global_id(0, 0, 3, 7);  // pad of pin 1
  EXPECT_EQ(route.get_block_icd_port_gid(pin1, 1, "in[1]"), route.get_gid(659, 0, 3, 1));
  EXPECT_EQ(route.get_block_icd_port_gid(pin1, 1, "in[0]"), WUMP_ILLEGAL_GID);
  EXPECT_EQ(route.get_block_icd_port_gid(place.get_global_id(0, 3, 4, 0), 1, "in[0]"), WUMP_ILLEGAL_GID);

  // Top-level networks of edges.
  const unsigned wire = route.get_gid(700, 3, 4, 0);
  const unsigned out = host::testing::lab_output_gid(3, 4, 0);
  EXPECT_EQ(route.get_top_level_graph_from_edge(out, wire, 0), 2);
  const unsigned port_out = route.get_gid(659, 5, 11, 4), periph = route.get_gid(284, 5, 11, 0);
  EXPECT_EQ(route.get_top_level_graph_from_edge(port_out, periph, 0), 1);
  // Periphery ports reach the fabric of the row below through their chains:
  // out[0] -> 284 -> 703 -> wires (2 interface elements), in[1] <- 703 <-
  // 703 <- 703 <- wires (3).
  const unsigned link = route.get_gid(703, 5, 11, 17);
  ASSERT_NE(link, WUMP_ILLEGAL_GID);
  EXPECT_EQ(route.get_route_graph().real_fanouts(periph), std::vector<unsigned>{link & ~WUMP_GID_BIT});
  EXPECT_EQ(route.get_top_level_graph_from_edge(periph, link, 0), 1);
  for (unsigned w : route.get_route_graph().real_fanouts(link)) {
    const int kind = route.get_dev_element_from_gid(w | WUMP_GID_BIT);
    EXPECT_TRUE(kind == 700 || kind == 701) << kind;
    EXPECT_EQ(route.get_route_node_of(w | WUMP_GID_BIT).y, 10);
    EXPECT_EQ(route.get_top_level_graph_from_edge(link, w | WUMP_GID_BIT, 0), 2);
  }
  std::vector<unsigned> in_chain{route.get_gid(659, 5, 11, 1)};
  for (int k = 0; k < 3; ++k) in_chain.push_back(route.get_gid(703, 5, 11, 4 + k));
  for (std::size_t k = 1; k < in_chain.size(); ++k) {
    std::vector<unsigned> ins;
    for (auto it = route.begin_fanin_gids(in_chain[k - 1]); it != route.end_fanin_gids(in_chain[k - 1]); ++it) ins.push_back(*it);
    EXPECT_EQ(ins, std::vector<unsigned>{in_chain[k]}) << k;
  }
  int wires_in = 0;
  for (auto it = route.begin_fanin_gids(in_chain.back()); it != route.end_fanin_gids(in_chain.back()); ++it, ++wires_in)
    EXPECT_EQ(route.get_route_node_of(*it).y, 10);
  EXPECT_GT(wires_in, 0);
  const unsigned tap = route.get_gid(318, 8, 4, 0), pmux = route.get_gid(1929, 1, 4, 0);
  ASSERT_NE(tap, WUMP_ILLEGAL_GID);
  ASSERT_NE(pmux, WUMP_ILLEGAL_GID);
  EXPECT_EQ(route.get_top_level_graph_from_edge(tap, pmux, 0), 3);
  // Clock path: tap -> PMUX -> LAB clock input, a clock input fed by each of
  // its segment's four PMUXes.
  auto tap_fanouts = route.get_route_graph().real_fanouts(tap);
  EXPECT_NE(std::find(tap_fanouts.begin(), tap_fanouts.end(), pmux & ~WUMP_GID_BIT), tap_fanouts.end());
  const unsigned clk = route.get_gid(282, 3, 4, 180);
  int fanins = 0;
  for (auto it = route.begin_fanin_gids(clk); it != route.end_fanin_gids(clk); ++it) {
    EXPECT_EQ(route.get_dev_element_from_gid(*it), 1929);
    ++fanins;
  }
  EXPECT_EQ(fanins, 4);
  std::vector<unsigned> list{1, 2, 3};
  die->get_fanin_gids(clk, list);
  EXPECT_EQ(list, (std::vector<unsigned>{route.get_gid(1929, 1, 4, 0), route.get_gid(1929, 1, 4, 1),
                                         route.get_gid(1929, 1, 4, 2), route.get_gid(1929, 1, 4, 3)}));
  die->get_fanout_gids(clk, list);
  EXPECT_TRUE(list.empty());
  // Real fanouts skip a periphery input port's virtual edge.
  die->get_fanout_gids(port_out - 4, list);
  EXPECT_TRUE(list.empty());
  die->get_fanout_gids(port_out, list);
  EXPECT_EQ(list, std::vector<unsigned>{periph});

  // Sector-level clock regions: the four quadrants.
  auto regions = die->get_place_info()->get_clock_region_info()->get_clock_region_list(7);
  ASSERT_EQ(regions.size(), 4u);
  EXPECT_EQ(regions[0].get_lower_left_corner(), (WUMP_POINT{0, 0}));
  EXPECT_EQ(regions[0].get_upper_right_corner(), (WUMP_POINT{7, 5}));
  EXPECT_EQ(regions[3].get_lower_left_corner(), (WUMP_POINT{8, 6}));
  EXPECT_EQ(regions[3].get_upper_right_corner(), (WUMP_POINT{15, 11}));
  EXPECT_TRUE(die->get_place_info()->get_clock_region_info()->get_clock_region_list(0).empty());
  EXPECT_EQ(die->get_sectors().size(), 4u);
}

// Each global clock reaches every LAB clock input of the largest device the
// fit sizes, on every row and column, within WUMP_CLOCK_SKEW_BOUND_PS: its
// arrival summed over the hop delays of the taps and PMUXes walked from the
// network's root.
TEST_F(DeviceGraphTest, AClockReachesEveryLabOfTheLargestDeviceWithinTheSkewBound) {
  const host::testing::SIZING sizing;
  const DeviceSpec spec = host::testing::sizing_series_spec(sizing.max_columns - 12, Family::KY, sizing);
  const auto info = wump_generate_route_info(spec, DEV_GRID(spec));
  for (int net = 0; net < 4; ++net) {
    double least = 1e18, most = -1e18;
    int inputs = 0;
    std::vector<std::pair<unsigned, double>> stack{{info->get_gid(318, spec.nx / 2, 0, net), 0.0}};
    while (!stack.empty()) {
      const auto [gid, before] = stack.back();
      stack.pop_back();
      const double at = before + info->get_hop_delay_ps(gid, 1.0);
      const int kind = static_cast<int>(info->get_route_node_of(gid).element_type);
      if (kind == 282) {  // a LAB clock input: the network ends there
        least = std::min(least, at);
        most = std::max(most, at);
        ++inputs;
      } else if (kind == 318 || kind == 1929) {
        for (auto it = info->begin_fanout_gids(gid); it != info->end_fanout_gids(gid); ++it) stack.push_back({*it, at});
      }
    }
    EXPECT_EQ(inputs, 2 * host::testing::grid_capacity(spec).labs) << net;
    EXPECT_LE(most - least, WUMP_CLOCK_SKEW_BOUND_PS) << net;
  }
}

TEST_F(DeviceGraphTest, HopDelaysScaleByCorner) {
  using host::testing::Corner;
  host::testing::device(Family::KY).corners({Corner::slow(), Corner::fast(), Corner::hold_only()}).build();
  const WUMP_ROUTE_INFO& route = *host::device::die_info()->get_route_info();
  const auto& corners = host::device::spec().corners;
  const unsigned long_wire = route.get_gid(700, 3, 4, 2);
  EXPECT_DOUBLE_EQ(route.get_hop_delay_ps(long_wire, corners[0].delay_scale()), 160.0);
  EXPECT_DOUBLE_EQ(route.get_hop_delay_ps(long_wire, corners[1].delay_scale()), 104.0);
  EXPECT_TRUE(corners[2].is_hold_only);
  DeviceCorner low_voltage = DeviceCorner::slow();
  low_voltage.millivolts = 800;
  EXPECT_DOUBLE_EQ(low_voltage.delay_scale(), 1.1);
}

TEST_F(DeviceGraphTest, DieFollowsTheConfiguredSpec) {
  host::testing::device(Family::KY).build();
  WUMP_DIE_INFO* first = host::device::die_info();
  EXPECT_EQ(host::device::die_info(), first);
  EXPECT_EQ(WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active().info, first->get_route_info());
  host::testing::device(Family::KY).grid(14, 10).build();
  WUMP_DIE_INFO* second = host::device::die_info();
  EXPECT_EQ(second->get_place_info()->get_nx(), 14);
  EXPECT_EQ(WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active().info, second->get_route_info());
}
