// The incremental timing after edit-engine round trips: every update is
// compared with a full analysis inside (the analysis raises an internal
// error on any difference: slacks, delays, loop cuts, clock network, a
// non-topological order), the edge records hold the current corner's
// slacks, and the order and loop cuts follow loop-free edits locally.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/host_test.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

void expect_records_hold_current_slacks() {
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  const int cur = kem->get_corner_manager()->get_current_corner_id();
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (!e) continue;
    EXPECT_EQ(e->get_setup_slack(), host::sta::edge_setup_slack(id, cur)) << "edge " << id;
    EXPECT_EQ(e->get_hold_slack(), host::sta::edge_hold_slack(id, cur)) << "edge " << id;
  }
}

// Every connection of the timing netlist, at every corner, and every sink's
// routing hop read as in a netlist built afresh from the routing.
void expect_connections_read_the_routing() {
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const auto fresh = KEM_NETLIST::build(top, kem->get_corner_manager()->get_loaded_corners());
  const int corners = kem->get_corner_manager()->get_corner_count();
  for (VOK_ATOM_NODE* atom : host::kem::timing_atoms(top))
    for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
      if (!t) continue;
      SCOPED_TRACE("atom " + std::to_string(atom->get_id()) + " input " + std::to_string(i));
      const KEM_EDGE* want = fresh->get_ic_edge_to_iterm(t);
      const KEM_EDGE* got = kem->get_ic_edge_to_iterm(t);
      ASSERT_EQ(got != nullptr, want != nullptr);
      if (want) {
        EXPECT_EQ(got->get_src_node()->get_oterm(), want->get_src_node()->get_oterm());
        for (int c = 0; c < corners; ++c) EXPECT_EQ(kem->get_edge_delay_ps(*got, c), fresh->get_edge_delay_ps(*want, c));
      }
      const int hop = kem->get_re_hop_of_iterm(t);
      ASSERT_EQ(hop, fresh->get_re_hop_of_iterm(t));
      if (hop < 0) continue;
      ASSERT_TRUE(kem->has_re_hop(hop));
      for (int c = 0; c < corners; ++c) {
        float a[4], b[4];
        kem->get_re_hop_delays(hop, c, a);
        fresh->get_re_hop_delays(hop, c, b);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], b[k]);
      }
    }
}

// A routed net with two sinks on different atoms, the second's sink node
// below a wire.
void find_two_sinks(const VOK_ATOM_OTERM** net_out, const VOK_ATOM_ITERM** s1_out, const VOK_ATOM_ITERM** s2_out,
                    int* wire_out) {
  VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  for (VOK_ATOM_NODE* atom : host::vok::top_netlist()->get_atom_list()) {
    const VOK_ATOM_OTERM* o = atom->get_oterm_slot(0);
    const VOK_ATOM_ITERM* s1 = nullptr;
    for (VOK_ATOM_ITERM* t = o ? o->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; t;
         t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
      const std::vector<int> nodes = r.get_sink_nodes(t);
      if (nodes.empty() || !kem->get_ic_edge_to_iterm(t)) continue;
      if (!s1) {
        s1 = t;
      } else if (t->get_my_node() != s1->get_my_node() && r.forest().parent(nodes[0]) >= 0 &&
                 r.is_wire(r.forest().parent(nodes[0]))) {
        *net_out = o;
        *s1_out = s1;
        *s2_out = t;
        *wire_out = r.forest().parent(nodes[0]);
        return;
      }
    }
  }
}

class DuxTimingFollowTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    scene = scenes::ky_pipeline(2);
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    ASSERT_TRUE(host::sta::verify_incremental());
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  scenes::KY_PIPELINE scene;
  WEXAN_ENV* env = nullptr;
};

// Random connections, LUT masks, implements and restores to random
// checkpoints on a small routed design; loops come and go when a LUT of
// the chain is fed from a later one.
TEST_F(DuxTimingFollowTest, RandomEditsAndRestoresKeepIncrementalTimingEqualToAFullAnalysis) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    DUX dux(1, true, env);
    const int incr = host::sta::incremental_update_count();
    const int full = host::sta::full_analysis_count();
    for (int step = 0; step < 14; ++step) {
      const scenes::KY_PIPELINE_COPY& c = scene[static_cast<int>(pick(2))];
      const scenes::KY_PIPELINE_COPY& d = scene[static_cast<int>(pick(2))];
      // Not the chain's end (c0, and the LUT feeding it): their nets reach
      // the dont-touch register, whose change makes the update a full one.
      const std::vector<VOK_ATOM_NODE*> sources = {c.a0, c.luts[0], c.luts[1], c.luts[2], c.pc, c.b0, c.b1, c.u};
      const unsigned op = rng() % 5;
      if (op <= 1) {
        VOK_ATOM_NODE* src = sources[pick(sources.size())];
        if (pick(2) == 0)
          dux.connect(out_port(src), in_port(d.luts[pick(4)], DB_INPUT_PORT_LUT_DATA), false, 0);
        else
          dux.connect(out_port(src), in_port(pick(2) ? d.after : d.b1, DB_INPUT_PORT_DATA_IN), false, 0);
        dux.implement();
      } else if (op == 2) {
        dux.set_lutmask(d.luts[pick(4)], VOK_LUTMASK(1 + pick(2)));
        dux.implement();
      } else if (op == 3) {
        const std::size_t from = 1 + pick(2);
        dux.connect(out_port(d.luts[from]), in_port(d.luts[pick(from)], DB_INPUT_PORT_LUT_DATA), false, 0);
        dux.implement();
      } else {
        // Half the restores find another atom tainted already: the timing
        // then reads the nets of the rebuilt atoms only, not the engine's
        // list of re-routed nets.
        if (pick(2) == 0) env->indicate_that_atom_netlist_is_modified(c.u->get_id(), false, false);
        dux.restore_checkpoint(pick(static_cast<std::size_t>(dux.get_checkpoint_id()) + 1));
      }
      expect_records_hold_current_slacks();
      expect_connections_read_the_routing();
    }
    dux.restore_checkpoint(0);
    expect_records_hold_current_slacks();
    expect_connections_read_the_routing();
    EXPECT_GT(host::sta::incremental_update_count(), incr + 10);
    EXPECT_EQ(host::sta::full_analysis_count(), full);  // no update fell back to a full analysis
  }
}

TEST_F(DuxTimingFollowTest, LoopFreeEditsKeepTheOrderAndALoopRecomputesIt) {
  const scenes::KY_PIPELINE_COPY& c = scene[1];
  DUX dux(1, true, env);
  const int full = host::sta::full_analysis_count();
  const int rebuilds = host::sta::order_rebuild_count();
  const int nodes = KEM_MANAGER::get()->get_kem_netlist()->get_node_count();
  // A register's data input moves to another LUT: new edges, no loop.
  dux.connect(out_port(c.luts[1]), in_port(c.after, DB_INPUT_PORT_DATA_IN), false, 0);
  ASSERT_EQ(dux.implement().get_status(), 10);
  EXPECT_EQ(host::sta::order_rebuild_count(), rebuilds);
  EXPECT_EQ(host::sta::full_analysis_count(), full);
  EXPECT_GT(host::sta::last_cone_size(), 0);
  EXPECT_LT(host::sta::last_cone_size(), nodes / 4);  // the edit's cone, not the design
  const std::uint64_t loop_free = dux.get_checkpoint_id();
  // The chain's second LUT feeds its first: a loop, cut.
  dux.connect(out_port(c.luts[1]), in_port(c.luts[0], DB_INPUT_PORT_LUT_DATA), false, 0);
  ASSERT_EQ(dux.implement().get_status(), 10);
  EXPECT_EQ(host::sta::order_rebuild_count(), rebuilds + 1);
  EXPECT_EQ(host::sta::cut_edges().size(), 1u);
  // Undone: the loop and its cut go.
  dux.restore_checkpoint(loop_free);
  EXPECT_EQ(host::sta::order_rebuild_count(), rebuilds + 2);
  EXPECT_TRUE(host::sta::cut_edges().empty());
  dux.restore_checkpoint(0);
  EXPECT_EQ(host::sta::order_rebuild_count(), rebuilds + 2);
  EXPECT_EQ(host::sta::full_analysis_count(), full);
  expect_records_hold_current_slacks();
}

// A caller naming the nets whose routing changed: a named net is read again
// whole (a stub below another sink's path slows that sink although only one
// register is rebuilt); a net left unnamed is read only into the rebuilt
// cell; without names every net touching the cell is read whole.
TEST_F(DuxTimingFollowTest, NamedReroutedNetsAreReadWholeOthersOnlyIntoTheRebuiltCell) {
  VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const VOK_ATOM_OTERM* net = nullptr;
  const VOK_ATOM_ITERM *s1 = nullptr, *s2 = nullptr;
  int wire = -1;
  find_two_sinks(&net, &s1, &s2, &wire);
  ASSERT_TRUE(s1 && s2);
  const std::set<int> rebuilt = {s1->get_my_node()->get_id()};
  auto delay_of_s2 = [&] { return kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(s2), 0); };
  const int before = delay_of_s2();
  KEM_DIRTY dirty;
  // Unnamed: the stub is not read.
  r.append_child_value(wire, r.get_value(wire));
  kem->set_routing_changes({});
  kem->rebuild_atoms(top, rebuilt, &dirty);
  ASSERT_NE(kem->get_ic_edge_to_iterm(s1), nullptr);
  EXPECT_EQ(delay_of_s2(), before);
  // Named: read whole, as a fresh netlist reads it.
  kem->set_routing_changes({net});
  kem->rebuild_atoms(top, rebuilt, &dirty);
  EXPECT_GT(delay_of_s2(), before);
  expect_connections_read_the_routing();
  // No names: every net touching the rebuilt register is read whole.
  const int one_stub = delay_of_s2();
  r.append_child_value(wire, r.get_value(wire));
  kem->rebuild_atoms(top, rebuilt, &dirty);
  EXPECT_GT(delay_of_s2(), one_stub);
  expect_connections_read_the_routing();
}

// Another caller's pending change (a net re-routed, one of its sink atoms
// tainted) is read whole by the engine's next update.
TEST_F(DuxTimingFollowTest, AnotherCallersPendingRerouteIsReadWhole) {
  VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  const VOK_ATOM_OTERM* net = nullptr;
  const VOK_ATOM_ITERM *s1 = nullptr, *s2 = nullptr;
  int wire = -1;
  find_two_sinks(&net, &s1, &s2, &wire);
  ASSERT_TRUE(s1 && s2);
  r.append_child_value(wire, r.get_value(wire));
  hov_get_atom_netlist_taint_manager()->taint_atom(static_cast<unsigned>(s1->get_my_node()->get_id()));
  DUX dux(1, true, env);
  dux.set_lutmask(scene[0].luts[2], VOK_LUTMASK(2));
  ASSERT_EQ(dux.implement().get_status(), 10);
  expect_connections_read_the_routing();
}

// A clock declared again on another source with the same period: the
// update cannot follow it from the edit's cone and analyses in full.
TEST_F(DuxTimingFollowTest, AClockMovedToAnotherSourceIsAnalysedInFull) {
  const int full = host::sta::full_analysis_count();
  host::timing::declare_clock("clk_b", 2000, scene.clk_a.oterm);
  hov_get_atom_netlist_taint_manager()->taint_atom(static_cast<unsigned>(scene[0].u->get_id()));
  sta_increm_update_timing();  // verified against a full analysis
  EXPECT_EQ(host::sta::full_analysis_count(), full + 1);
}

}  // namespace
