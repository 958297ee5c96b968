// The registers whose timing changed and the registers feeding them: a
// register keeper's fan-in is walked over its data edges only, whatever
// place its clock edge holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "irtm_fixture.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "velmo_irtm_test.h"

namespace {

using namespace host::testing;

class ChangedFeedersTest : public velmo_test::IrtmFixture {};

// Three moved registers: one whose data input has no driver (its keeper's
// only fan-in is its clock edge, the first in its list; it feeds tq), one
// fed by a register through a LUT and one fed by a register directly. The
// feeders are registers, never the clock's source; the changed registers
// come first when asked for.
TEST_F(ChangedFeedersTest, FeedersOfChangedRegistersComeThroughTheirDataEdgesOnly) {
  device(Family::KY).build();
  NETLIST_BUILDER n(netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto tied = n.reg("tied").clk(clk);
  auto tq = n.reg("tq").clk(clk).d(tied);
  auto g = n.reg("g").clk(clk).d(n.input_port("b"));
  auto h = n.reg("h").clk(clk).d(n.input_port("e"));
  auto l = n.lut("l", {g}, [](const LUT_INPUTS& x) { return !x[0]; });
  auto c = n.reg("c").clk(clk).d(l);
  auto d = n.reg("d").clk(clk).d(h);
  place_at(tied, 2, 2, 0);
  place_at(g, 2, 2, 1);
  place_at(h, 2, 2, 2);
  place_at(l, 2, 2, 3);
  place_at(c, 2, 2, 4);
  place_at(d, 2, 2, 5);
  place_at(tq, 2, 2, 6);
  n.timing();
  make_util(KEM_MANAGER::get()->get_kem_netlist());
  FF_CHANGE_MANAGER tracker(util->get_kem_netlist());
  sta_incr_track_changed_flops(true, true);
  sta_incr_reset_changed_flops();
  int z = 0;
  for (VOK_ATOM_NODE* moved : {static_cast<VOK_ATOM_NODE*>(tied), static_cast<VOK_ATOM_NODE*>(c),
                               static_cast<VOK_ATOM_NODE*>(d)}) {
    moved->set_location(site_gid(5, 5, z++), 643);
    env->indicate_that_atom_netlist_is_modified(moved->get_id());
  }
  sta_increm_update_timing();
  // The driverless register's keeper starts its fan-in with the clock edge.
  KEM_NETLIST* kem = util->get_kem_netlist();
  const KEM_NODE* keeper = kem->get_node(kem->get_cell_from_atom_id(tied->get_id())->keeper_range().at(0));
  ASSERT_GE(keeper->begin_fanin(), 0);
  ASSERT_NE(kem->get_edge(keeper->begin_fanin())->get_kind(), KEM_EDGE_KEEPER_DATA);
  // The record holds the moved registers (and others whose timing moved
  // with them); the feeders are the registers in front of a recorded one.
  const std::vector<VOK_ATOM_NODE*> changed = *tracker.get_changed_flops(true, false);
  for (VOK_ATOM_NODE* moved : {static_cast<VOK_ATOM_NODE*>(tied), static_cast<VOK_ATOM_NODE*>(c),
                               static_cast<VOK_ATOM_NODE*>(d)})
    ASSERT_NE(std::find(changed.begin(), changed.end(), moved), changed.end());
  const std::vector<VOK_ATOM_NODE*> feeders{tied, g, h};
  EXPECT_EQ(*tracker.get_changed_flops(false, true), feeders);
  std::vector<VOK_ATOM_NODE*> both = changed;
  both.insert(both.end(), feeders.begin(), feeders.end());
  EXPECT_EQ(*tracker.get_changed_flops(true, true), both);
  EXPECT_TRUE(tracker.get_changed_flops(false, false)->empty());
  tracker.reset();
  sta_incr_reset_changed_flops();
}

}  // namespace
