// The incremental timing after edit-engine round trips: every update is
// compared with a full analysis inside (the analysis raises an internal
// error on any difference: slacks, delays, loop cuts, clock network, a
// non-topological order), the edge records hold the current corner's
// slacks, and the order and loop cuts follow loop-free edits locally.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "cmp/cmp_facade.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/host_test.h"
#include "testing/scenes.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

VOK_ATOM_LOGICAL_PORT in_port(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index = 0) {
  return VOK_ATOM_LOGICAL_PORT(static_cast<std::uint32_t>(atom->get_id()), vok_input_port_symbol(type),
                               static_cast<std::uint16_t>(index));
}
VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* atom) { return vok_get_logical_port(atom->get_oterm_slot(0)); }

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
        dux.restore_checkpoint(pick(static_cast<std::size_t>(dux.get_checkpoint_id()) + 1));
      }
      expect_records_hold_current_slacks();
    }
    dux.restore_checkpoint(0);
    expect_records_hold_current_slacks();
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
