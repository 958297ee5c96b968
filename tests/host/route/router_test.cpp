// The host's routers: whole-design routing with negotiated congestion, the
// incremental router, pipeline slots, blacklists, budgets and the legality
// check.
#include <sstream>
#include <string>
#include <vector>

#include "korrin/korrin_graph.h"
#include "korrin/korrin_incremental_router.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::place_at;
using host::testing::place_in_slot;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }

std::string dump() {
  std::ostringstream s;
  routing().debug_dump(s, SKIP);
  return s.str();
}

// Element ids of the wires above a sink node (up to the tree's root).
std::vector<unsigned> path_of(int node) {
  std::vector<unsigned> ids;
  const VOK_RE_ROUTING& r = routing();
  for (int n = node; n >= 0; n = r.forest().parent(n))
    if (r.is_wire(n)) ids.push_back(r.get_gid(n) & 0x7FFFFFFFu);
  return ids;
}

int delay_of(int node) {
  int d = 0;
  for (unsigned id : path_of(node)) d += host::korrin::graph().delay(id);
  return d;
}

class RouterTest : public HostTest {
protected:
  // A small design: two input pins, LUTs and registers over a few LABs, an
  // output pin. Returns the sinks in creation order.
  void build_small(int family) {
    host::testing::device(family).build();
    auto n = host::testing::netlist();
    auto a = n.io_in("a");
    auto b = n.io_in("b");
    place_at(n.find("a"), 0, 2, 1);
    place_at(a, 0, 2, 2);
    place_at(n.find("b"), 0, 3, 1);
    place_at(b, 0, 3, 2);
    auto l1 = n.lut("l1", {a, b}, 0x6);
    auto r1 = n.reg("r1").clk(a).d(l1);
    auto l2 = n.lut("l2", {r1, b, l1}, 0x96);
    auto r2 = n.reg("r2").clk(a).d(l2);
    auto l3 = n.lut("l3", {r2, r1}, 0x8);
    place_at(l1, 2, 2, 0);
    place_at(r1, 2, 2, 1);
    place_at(l2, 5, 6, 3);
    place_at(r2, 7, 2, 2);
    place_at(l3, 9, 7, 0);
    auto pad = n.io_out("y", l3);
    place_at(n.find("y~obuf"), 11, 4, 3);
    place_at(pad, 11, 4, 1);
    atoms = {l1, r1, l2, r2, l3};
  }
  std::vector<VOK_ATOM_NODE*> atoms;
};

void expect_complete_legal_and_deterministic(const std::vector<VOK_ATOM_NODE*>& atoms) {
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  // Every LUT and register input has one sink node, below an input mux of
  // the atom's own LAB.
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  for (VOK_ATOM_NODE* atom : atoms) {
    const auto site = die->get_place_info()->get_place_block(atom->get_location_gid());
    ASSERT_TRUE(site.has_value());
    for (const VOK_ATOM_ITERM* t : atom->citerms()) {
      const std::vector<int> nodes = routing().get_sink_nodes(t);
      ASSERT_EQ(nodes.size(), 1u) << atom->get_string_hpath();
      const WUMP_ROUTE_NODE mux = info->get_route_node_of(routing().get_gid(routing().forest().parent(nodes[0])));
      EXPECT_EQ(mux.element_type, 282);
      EXPECT_EQ(mux.x, site->get_x());
      EXPECT_EQ(mux.y, site->get_y());
      EXPECT_GE(delay_of(nodes[0]), 90);
    }
  }
  const std::string first = dump();
  const int nodes = routing().get_live_node_count();
  // Routing a routed design changes nothing; routing again from scratch
  // gives the same trees.
  EXPECT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(routing().get_live_node_count(), nodes);
  EXPECT_EQ(host::router::last_stats().routed, 0);
  routing().clear();
  EXPECT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(dump(), first);
  EXPECT_TRUE(host::routing::check(&why)) << why;
}

TEST_F(RouterTest, SmallDesignRoutesCompletelyLegallyAndDeterministicallyOnKY) {
  build_small(Family::KY);
  expect_complete_legal_and_deterministic(atoms);
  EXPECT_EQ(host::router::last_stats().connections, 12);
}

TEST_F(RouterTest, SmallDesignRoutesCompletelyLegallyAndDeterministicallyOnKX) {
  build_small(Family::KX);
  expect_complete_legal_and_deterministic(atoms);
}

}  // namespace
