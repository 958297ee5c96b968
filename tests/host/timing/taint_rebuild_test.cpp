// A global taint of the timing netlist: kept (with its analysis) when
// nothing a build reads has changed since it was built, rebuilt when the
// routing, the placement, an atom, the netlist itself or the corners have.
// Either way the netlist afterwards equals a fresh build of the design.
#include <gtest/gtest.h>

#include <vector>

#include "cmp/cmp_facade.h"
#include "hov/hov_rebuilds.h"
#include "hov/hov_utility.h"
#include "kem/kem_build_inputs.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/host_test.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

KEM_NETLIST* current() { return KEM_MANAGER::get()->get_kem_netlist(); }

void global_update() {
  hov_get_atom_netlist_taint_manager()->taint_all();
  sta_full_update_timing(true);
}

// The netlist in memory against a build of the design made now: the same
// nodes, edges (ends, kinds, current-corner delays, quick slacks) and hops.
void expect_as_fresh_build() {
  const KEM_NETLIST* kem = current();
  ASSERT_TRUE(kem);
  const KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  std::unique_ptr<KEM_NETLIST> fresh = KEM_NETLIST::build(host::vok::top_netlist(), cm->get_loaded_corners());
  fresh->get_corner_manager()->change_corner(
      cm->get_loaded_corners()[static_cast<std::size_t>(cm->get_current_corner_id())]);
  fresh->annotate_current_corner();
  ASSERT_EQ(kem->get_node_count(), fresh->get_node_count());
  ASSERT_EQ(kem->get_edge_count(), fresh->get_edge_count());
  for (int id = 0; id < kem->get_node_count(); ++id) {
    const KEM_NODE *a = kem->get_node(id), *b = fresh->get_node(id);
    ASSERT_EQ(a == nullptr, b == nullptr) << "node " << id;
    if (!a) continue;
    EXPECT_EQ(a->get_type(), b->get_type()) << "node " << id;
    EXPECT_EQ(a->get_flags(), b->get_flags()) << "node " << id;
    EXPECT_EQ(a->get_iterm(), b->get_iterm()) << "node " << id;
    EXPECT_EQ(a->get_oterm(), b->get_oterm()) << "node " << id;
    EXPECT_EQ(a->begin_fanin(), b->begin_fanin()) << "node " << id;
    EXPECT_EQ(a->begin_fanout(), b->begin_fanout()) << "node " << id;
  }
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE *a = kem->get_edge(id), *b = fresh->get_edge(id);
    ASSERT_EQ(a == nullptr, b == nullptr) << "edge " << id;
    if (!a) continue;
    EXPECT_EQ(a->get_kind(), b->get_kind()) << "edge " << id;
    EXPECT_EQ(a->get_src_node()->get_id(), b->get_src_node()->get_id()) << "edge " << id;
    EXPECT_EQ(a->get_dst_node()->get_id(), b->get_dst_node()->get_id()) << "edge " << id;
    EXPECT_EQ(a->get_next_fanin(), b->get_next_fanin()) << "edge " << id;
    EXPECT_EQ(a->get_next_fanout(), b->get_next_fanout()) << "edge " << id;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a->get_delay(k), b->get_delay(k)) << "edge " << id;
    EXPECT_EQ(a->get_slack(), b->get_slack()) << "edge " << id;
  }
  ASSERT_EQ(kem->get_num_re_hops(), fresh->get_num_re_hops());
  for (int id = 0; id < kem->get_num_re_hops(); ++id) {
    ASSERT_EQ(kem->has_re_hop(id), fresh->has_re_hop(id)) << "hop " << id;
    if (!kem->has_re_hop(id)) continue;
    EXPECT_EQ(kem->get_re_hop(id).gid, fresh->get_re_hop(id).gid) << "hop " << id;
    EXPECT_EQ(kem->get_re_hop(id).parent, fresh->get_re_hop(id).parent) << "hop " << id;
    float x[4], y[4];
    kem->get_re_hop_delays(id, 0, x);
    fresh->get_re_hop_delays(id, 0, y);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(x[k], y[k]) << "hop " << id;
  }
}

// Every edge's setup and hold slack at every loaded corner.
std::vector<int> edge_slacks() {
  std::vector<int> v;
  const KEM_NETLIST* kem = current();
  for (int id = 0; id < kem->get_edge_count(); ++id)
    for (int c = 0; c < kem->get_corner_manager()->get_corner_count(); ++c)
      v.insert(v.end(), {host::sta::edge_setup_slack(id, c), host::sta::edge_hold_slack(id, c)});
  return v;
}

class TaintRebuildTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    scene = scenes::ky_pipeline(1);
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    // Start from a netlist a build made.
    global_update();
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  void request(int set = 5) {
    env->get_hov_utility_or_create_if_necessary(0, 3, set, false, false, false, false, nullptr, false, false);
  }
  // One more wire (another hop of an element already on the path) between
  // c0's data input and its parent: the connection gets slower. False when
  // the routing has no such wire.
  bool slow_down_c0() const {
    const VOK_ATOM_ITERM* d = scene[0].c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
    const std::vector<int> sinks = d ? routing->get_sink_nodes(d) : std::vector<int>{};
    if (sinks.size() != 1u) return false;
    int wire = routing->forest().parent(sinks[0]);
    while (wire >= 0 && !routing->is_wire(wire)) wire = routing->forest().parent(wire);
    if (wire < 0) return false;
    routing->insert_as_parent(sinks[0], routing->get_value(wire));
    return true;
  }
  // The connection into c0's data input.
  const KEM_EDGE* into_c0() const {
    const KEM_NODE* d = timing_input(scene[0].c0, DB_INPUT_PORT_DATA_IN);
    return d ? current()->get_edge(d->begin_fanin()) : nullptr;
  }
  scenes::KY_PIPELINE scene;
  WEXAN_ENV* env = nullptr;
};

// Nothing changed: the same netlist object with the values written on it
// since reset, and the analysis keeps its results; dropped from memory, it
// is taken back by the next request.
TEST_F(TaintRebuildTest, NothingChangedKeepsTheNetlistAndItsAnalysis) {
  KEM_NETLIST* kem = current();
  const std::vector<int> slacks = edge_slacks();
  const int whole = host::hov::whole_builds(), kept = host::hov::kept_builds();
  // Values written on the netlist since the build: a quick slack, delays,
  // another current corner.
  const int id = into_c0()->get_id();
  kem->set_quick_slack(id, 5);
  const int scribble[4] = {1, 2, 3, 4};
  kem->get_edge(id)->set_4_delays(scribble);
  ASSERT_EQ(kem->get_corner_manager()->get_corner_count(), 2);
  kem->get_corner_manager()->change_corner(kem->get_corner_manager()->get_loaded_corners()[1]);

  const int kept_analyses = host::sta::kept_analysis_count();
  global_update();
  EXPECT_EQ(current(), kem);
  EXPECT_EQ(host::hov::whole_builds(), whole);
  EXPECT_EQ(host::hov::kept_builds(), kept + 1);
  EXPECT_EQ(host::sta::kept_analysis_count(), kept_analyses + 1);
  EXPECT_EQ(edge_slacks(), slacks);
  EXPECT_EQ(kem->get_edge(id)->get_slack(), KEM_QUICK_NO_SLACK);
  EXPECT_EQ(kem->get_corner_manager()->get_current_corner_id(), 1);
  // The edge records follow the current corner, though nothing else moved.
  for (int e = 0; e < kem->get_edge_count(); ++e)
    if (const KEM_EDGE* edge = kem->get_edge(e)) {
      EXPECT_EQ(edge->get_setup_slack(), host::sta::edge_setup_slack(e, 1)) << "edge " << e;
      EXPECT_EQ(edge->get_hold_slack(), host::sta::edge_hold_slack(e, 1)) << "edge " << e;
    }
  expect_as_fresh_build();

  env->delete_hov_utility_completely();
  EXPECT_EQ(current(), nullptr);
  request();
  EXPECT_EQ(current(), kem);
  EXPECT_EQ(host::hov::whole_builds(), whole);
  EXPECT_EQ(host::hov::kept_builds(), kept + 2);
  EXPECT_EQ(edge_slacks(), slacks);
  expect_as_fresh_build();
}

// Each change a build reads, made behind the netlist's back (only a global
// taint announces it): a whole rebuild that sees it, or, when only the
// routing changed under a netlist of a build's structure, that netlist
// reading the routing again.
TEST_F(TaintRebuildTest, AnyChangeABuildReadsRebuilds) {
  int whole = host::hov::whole_builds();
  int refreshed = host::hov::refreshed_builds();
  auto expect_rebuilt = [&](const char* what) {
    SCOPED_TRACE(what);
    global_update();
    EXPECT_EQ(host::hov::whole_builds(), ++whole);
    EXPECT_EQ(host::hov::refreshed_builds(), refreshed);
    expect_as_fresh_build();
  };
  const VOK_ATOM_ITERM* d = scene[0].c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  ASSERT_TRUE(d);

  // Routing: the connection into c0 gets slower. The netlist no longer
  // follows the routing (the hold fix-up's start reads it again) until
  // the next request reads it.
  const int routed = into_c0()->get_max_delay();
  const KEM_NETLIST* before = current();
  EXPECT_TRUE(host::kem::routing_followed());
  ASSERT_TRUE(slow_down_c0());
  EXPECT_FALSE(host::kem::routing_followed());
  {
    // Asked for by the component's global taint: the analysis follows the
    // moved connection incrementally (checked against a full analysis).
    SCOPED_TRACE("routing");
    const int incremental = host::sta::incremental_update_count();
    hov_get_atom_netlist_taint_manager()->taint_all();
    request();
    EXPECT_GT(host::sta::incremental_update_count(), incremental);
    EXPECT_EQ(host::hov::whole_builds(), whole);
    EXPECT_EQ(host::hov::refreshed_builds(), ++refreshed);
    EXPECT_EQ(current(), before);
    EXPECT_TRUE(host::kem::routing_followed());
    expect_as_fresh_build();
  }
  EXPECT_GT(into_c0()->get_max_delay(), routed);
  // The same again after a cell was rebuilt in place (the structure is no
  // longer a build's): a whole build.
  env->indicate_that_atom_netlist_is_modified(scene[0].luts[1]->get_id(), false, false);
  request();
  ASSERT_TRUE(slow_down_c0());
  expect_rebuilt("routing after an edit in place");
  EXPECT_GT(into_c0()->get_max_delay(), routed);

  // Placement: c0 moves onto b0's site (its sink hop names its location).
  const std::uint32_t moved = scene[0].b0->get_location_gid();
  ASSERT_NE(moved, 0xFFFFFFFFu);
  ASSERT_NE(scene[0].c0->get_location_gid(), moved);
  scene[0].c0->set_location(moved, scene[0].c0->get_location_element());
  expect_rebuilt("placement");
  const int hop = current()->get_re_hop_of_iterm(d);
  ASSERT_GE(hop, 0);
  EXPECT_EQ(current()->get_re_hop(hop).gid, moved);

  // An atom: a LUT may no longer be touched.
  scene[0].luts[0]->set_modifiable(false);
  expect_rebuilt("atom");
  const KEM_NETLIST_CELL* cell = current()->get_cell_from_atom_id(scene[0].luts[0]->get_id());
  ASSERT_TRUE(cell);
  for (int id : cell->get_node_ids()) EXPECT_TRUE(current()->get_node(id)->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));

  // The netlist itself: an atom's cell rebuilt in place (its ids and order
  // may differ from a build's), then a global taint with nothing changed.
  global_update();
  ASSERT_EQ(host::hov::whole_builds(), whole);
  env->indicate_that_atom_netlist_is_modified(scene[0].luts[1]->get_id(), false, false);
  request();
  expect_rebuilt("netlist edited in place");

  // The corners: the netlist in memory now has the slow corner only.
  request(0);
  ASSERT_EQ(current()->get_corner_manager()->get_corner_count(), 1);
  expect_rebuilt("corners");
  global_update();
  EXPECT_EQ(host::hov::whole_builds(), whole);  // and kept with them after
}

// A connection whose delay moved changes the required times at its source as
// well as the arrival at its sink: with a source that may not be touched, the
// analysis that follows the refreshed routing is a full one, or, with stale
// timing allowed, none at all.
TEST_F(TaintRebuildTest, AMovedConnectionOutOfADontTouchSourceIsNotFollowedIncrementally) {
  const KEM_EDGE* edge = into_c0();
  ASSERT_TRUE(edge);
  VOK_ATOM_NODE* source = host::vok::top_netlist()->get_atom_by_id(edge->get_src_node()->get_atom_id());
  ASSERT_TRUE(source);
  ASSERT_FALSE(timing_input(scene[0].c0, DB_INPUT_PORT_DATA_IN)->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));
  source->set_modifiable(false);
  global_update();
  ASSERT_TRUE(into_c0()->get_src_node()->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));

  auto slower = [&] {
    ASSERT_TRUE(slow_down_c0());
    hov_get_atom_netlist_taint_manager()->taint_all();
  };

  const int refreshed = host::hov::refreshed_builds();
  const int full = host::sta::full_analysis_count(), incremental = host::sta::incremental_update_count();
  slower();
  request();
  EXPECT_EQ(host::hov::refreshed_builds(), refreshed + 1);  // the routing read again in place
  EXPECT_EQ(host::sta::full_analysis_count(), full + 1);
  EXPECT_EQ(host::sta::incremental_update_count(), incremental);
  EXPECT_FALSE(sta_is_timing_stale());
  expect_as_fresh_build();

  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  const std::vector<int> slacks = edge_slacks();
  slower();
  request();
  EXPECT_EQ(host::hov::refreshed_builds(), refreshed + 2);
  EXPECT_TRUE(sta_is_timing_stale());
  EXPECT_EQ(edge_slacks(), slacks);
  EXPECT_EQ(host::sta::full_analysis_count(), full + 1);
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_NE(edge_slacks(), slacks);
  EXPECT_EQ(host::sta::full_analysis_count(), full + 2);

  // A delay annotated on the connection, which no change log records:
  // the analysis finds it moved, and analyses in full again.
  WEXAN_HOV_UTILITY* hov =
      env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
  hov->annotate_delays_of_connection(scene[0].c0, DB_INPUT_PORT_DATA_IN, 0, into_c0()->get_max_delay() + 300, 0);
  hov_get_atom_netlist_taint_manager()->taint_all();
  request();
  EXPECT_EQ(host::sta::full_analysis_count(), full + 3);
  EXPECT_FALSE(sta_is_timing_stale());
}

}  // namespace
