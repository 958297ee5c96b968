// The legality engine: edits, implement (legality, routing, timing), undo to
// a checkpoint; the timing netlist's routing hops; the pipeline-register
// clock budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "norbo/norbo_zota_clock.h"
#include "place_db/place_db.h"
#include "sta/sta_analysis.h"
#include "sta/sta_debug.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

using namespace host::testing;

// Everything a restore must give back, keyed by ids so that object identity
// does not matter.
struct STATE {
  std::map<int, std::string> atoms;                 // id -> name, location, mask, power-up, bypass
  std::map<std::tuple<int, int, int>, std::string> inputs;  // term -> source and state
  std::set<std::string> routes;                     // one line per routed sink: its path from the root
  std::map<std::tuple<int, int, int, int>, int> slacks;     // (atom, node type, port type, index) -> worst slack
  bool operator==(const STATE&) const = default;
};

STATE capture_state() {
  STATE s;
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist())) {
    std::int64_t bypass = -1;
    a->get_parameter(VOK_PARAMETER_TYPE::BOOL, 5, &bypass);
    s.atoms[a->get_id()] = a->get_string_hpath() + "@" + std::to_string(a->get_location_gid()) + "/" +
                           std::to_string(a->get_lutmask().get_value()) + "/" + std::to_string(a->powers_up()) +
                           "/" + std::to_string(bypass);
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = a->get_iterm_slot(i);
      if (!t) continue;
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      s.inputs[{a->get_id(), t->get_port_type(), t->get_index()}] =
          (src && src->get_my_node() ? std::to_string(src->get_my_node()->get_id()) : "-") + "/" +
          std::to_string(t->get_state()) + "/" + std::to_string(t->is_connected());
    }
  }
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  for (int id = 0; id < r.forest().num_slots(); ++id) {
    if (!r.is_live(id) || r.forest().first_child(id) != -1) continue;
    std::string line;
    for (int n = id; n >= 0; n = r.forest().parent(n))
      line += r.is_terminal(n) ? "t" + std::to_string(r.get_node_terminal(n).port.get_atom_id()) + " "
                               : std::to_string(r.get_value(n)) + " ";
    s.routes.insert(line);
  }
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  for (int id = 0; id < kem->get_node_count(); ++id) {
    const KEM_NODE* n = kem->get_node(id);
    if (!n) continue;
    int port = -1, index = -1;
    if (n->get_iterm()) port = n->get_iterm()->get_port_type(), index = n->get_iterm()->get_index();
    if (n->get_oterm()) port = n->get_oterm()->get_port_type(), index = n->get_oterm()->get_index();
    int worst = KEM_NO_SLACK;
    for (const auto& [d, slack] : sta_get_node_wns_map(n, true)) worst = worst == KEM_NO_SLACK ? slack : std::min(worst, slack);
    s.slacks[{n->get_atom_id(), n->get_type(), port, index}] = worst;
  }
  return s;
}

// The routing's terminal maps and element index, kept edit by edit, match
// what reading the whole routing gives.
void expect_routing_indexes_current() {
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  VOK_RE_ROUTING fresh(r);
  fresh.rebuild_terminal_maps();
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist())) {
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i)
      if (const VOK_ATOM_ITERM* t = a->get_iterm_slot(i)) {
        EXPECT_EQ(r.get_sink_nodes(t), fresh.get_sink_nodes(t));
      }
    for (std::size_t i = 0; i < a->get_oterm_slot_count(); ++i)
      if (const VOK_ATOM_OTERM* o = a->get_oterm_slot(i)) {
        EXPECT_EQ(r.get_source_node(o), fresh.get_source_node(o));
      }
  }
  std::map<unsigned, std::vector<int>> holders;
  for (int id = 0; id < r.forest().num_slots(); ++id)
    if (r.is_live(id) && r.is_wire(id)) holders[r.get_gid(id) & ~VOK_RE_ROUTING::WIRE_BIT].push_back(id);
  for (auto& [element, nodes] : holders) {
    std::vector<int> indexed = r.get_element_nodes(element);
    std::sort(indexed.begin(), indexed.end());
    EXPECT_EQ(indexed, nodes) << "element " << element;
  }
}

// The placement database's lookups, kept edit by edit, match what a walk
// of the design finds: the first atom in the design's order on each gid, and
// each tile's atoms in id order.
void expect_site_index_current() {
  std::map<unsigned, VOK_ATOM_NODE*> first;
  std::map<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>> tiles;
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist())) {
    if (!a->is_placed()) continue;
    first.emplace(a->get_location_gid(), a);
    tiles[PLACE_DB::get_xy_from_gid(a->get_location_gid())].push_back(a);
  }
  for (const auto& [gid, a] : first) EXPECT_EQ(PLACE_DB::get_atom(gid), a) << "gid " << gid;
  for (auto& [xy, atoms] : tiles) {
    std::sort(atoms.begin(), atoms.end(), [](auto* x, auto* y) { return x->get_id() < y->get_id(); });
    EXPECT_EQ(PLACE_DB::get_atoms_at(static_cast<unsigned>(xy.first), static_cast<unsigned>(xy.second)), atoms);
  }
}

class DuxTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    scene = scenes::ky_pipeline();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  const scenes::KY_PIPELINE_COPY& c() const { return scene[0]; }
  scenes::KY_PIPELINE scene;
  WEXAN_ENV* env = nullptr;
};

TEST_F(DuxTest, ImplementedEditsLeaveTheSlacksOfAFullAnalysis) {
  DUX dux(1, true, env);
  dux.set_implement_skip_ista(true);  // timing is brought up to date anyway
  env->set_hov_tainting_enabled(false);
  const int incr = host::sta::incremental_update_count();
  // `after` now takes l1 instead of the other partition's register (whose
  // cone reaches no dont-touch node, so the update stays incremental).
  const int before = sta_get_node_wns_map(timing_input(c().after, DB_INPUT_PORT_DATA_IN), true).begin()->second;
  dux.connect(out_port(c().luts[1]), in_port(c().after, DB_INPUT_PORT_DATA_IN), false, 0);
  dux.set_lutmask(c().luts[0], VOK_LUTMASK(0x5));
  DUX_RESULT res = dux.implement();
  EXPECT_EQ(res.get_status(), 10);
  ASSERT_TRUE(res.get_ir_result());
  EXPECT_TRUE(res.get_ir_result()->routing_succeeded());
  EXPECT_EQ(host::sta::incremental_update_count(), incr + 1);  // verified against a full analysis inside
  const int after = sta_get_node_wns_map(timing_input(c().after, DB_INPUT_PORT_DATA_IN), true).begin()->second;
  EXPECT_NE(after, before);
  const STATE incremental = capture_state();
  sta_reset_timing_as_no_longer_stale();  // a full analysis
  EXPECT_EQ(capture_state(), incremental);
  // The new connection is routed.
  EXPECT_FALSE(VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(
                   c().after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)).empty());
}

TEST_F(DuxTest, RestoreGivesBackNetlistRoutingPlacementAndSlacks) {
  const STATE before = capture_state();
  DUX dux(1, true, env);
  EXPECT_EQ(dux.get_checkpoint_id(), 0u);
  // The mode flag makes a connection global (generic code 2) or ordinary.
  VOK_ATOM_ITERM* c0_d = c().c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VOK_ATOM_ITERM* a0_clk = c().a0->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  ASSERT_EQ(c0_d->get_connection_code(), 0);
  a0_clk->set_connection_code(5);
  dux.connect(out_port(c().luts[2]), in_port(c().c0, DB_INPUT_PORT_DATA_IN), true, 1);
  EXPECT_EQ(c0_d->get_connection_code(), 2);
  const VOK_ATOM_LOGICAL_PORT clock_a = vok_get_logical_port(a0_clk->get_source(VOK_TRAVERSE_AS_STORED));
  dux.connect(clock_a, in_port(c().a0, DB_INPUT_PORT_CLK), false, 1);
  EXPECT_EQ(a0_clk->get_connection_code(), 5);  // a global code stays
  dux.connect(clock_a, in_port(c().a0, DB_INPUT_PORT_CLK), false, 0);
  EXPECT_EQ(a0_clk->get_connection_code(), 0);
  dux.restore_checkpoint(0);
  EXPECT_EQ(c0_d->get_connection_code(), 0);
  EXPECT_EQ(a0_clk->get_connection_code(), 5);
  a0_clk->set_connection_code(0);
  VOK_ATOM_NODE* pc = c().pc;
  const int pc_id = pc->get_id();
  dux.set_powers_up(c().b0, true);
  const std::uint64_t cp = dux.get_checkpoint_id();
  EXPECT_EQ(cp, 1u);
  dux.delete_atom(pc);
  dux.set_atom_parameter(c().a0, 5, true);
  dux.connect(out_port(c().luts[2]), in_port(c().c0, DB_INPUT_PORT_DATA_IN), true, 0);
  dux.disconnect(c().m->get_input_term_by_type(DB_INPUT_PORT_LUTRAM_DATA_A, 0), false);
  dux.disconnect(nullptr, false);  // nothing
  dux.set_location(c().b1, site_gid(3, 3, 4));
  VOK_ATOM_NODE* fresh = dux.create_atom(47, vok_output_port_symbol(DB_OUTPUT_PORT_REG), "dup", c().a0, 401);
  dux.connect(out_port(c().a0), in_port(fresh, DB_INPUT_PORT_DATA_IN), false, 0);
  dux.connect(scene.clk_a.oterm ? vok_get_logical_port(scene.clk_a.oterm) : VOK_ATOM_LOGICAL_PORT(),
              in_port(fresh, DB_INPUT_PORT_CLK), false, 0);
  dux.set_location(fresh, site_gid(3, 3, 5));
  DUX_RESULT res = dux.implement();
  ASSERT_EQ(res.get_status(), 10);
  // Each connection the edits left unrouted is routed once, though several
  // edits named it.
  ASSERT_TRUE(res.get_ir_result());
  for (const KORRIN::IR_RESULT::PATH& p : res.get_ir_result()->paths())
    EXPECT_NE(p.status, KORRIN::IR_RESULT::ALREADY_ROUTED) << p.sink->get_my_node()->get_string_hpath();
  EXPECT_EQ(res.get_deleted_ids(), std::vector<int>{pc_id});
  EXPECT_EQ(res.get_created_ids(), std::vector<int>{fresh->get_id()});
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(pc_id), nullptr);
  EXPECT_NE(capture_state(), before);

  // Back to the checkpoint after the power-up change, then to the start.
  DUX_RESULT undo = dux.restore_checkpoint(cp);
  EXPECT_EQ(dux.get_checkpoint_id(), cp);
  EXPECT_EQ(undo.get_created_ids(), std::vector<int>{pc_id});
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(pc_id), pc);  // the same atom, its old id
  expect_routing_indexes_current();
  dux.restore_checkpoint(0);
  expect_routing_indexes_current();
  // The restore updated the timing incrementally (checked against a full
  // analysis inside); the reset's full analysis agrees.
  EXPECT_EQ(capture_state(), before);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), before);
  dux.set_powers_up(c().b0, false);
  dux.clear_checkpoint_data();
  EXPECT_EQ(dux.get_checkpoint_id(), 0u);
}

// Moves and their undos, with the check of every update against a full
// analysis switched off as in a fit: after each step the incrementally kept
// slacks equal those of a timing netlist built and analysed afresh, the
// undo's timing and the reset that follows it stay within their cones (no
// full analysis), and the placement lookups follow every edit.
TEST_F(DuxTest, MovesAndUndosMatchAFreshAnalysisWithoutAFullOne) {
  host::sta::verify_incremental(false);
  auto fresh_state = [&] {
    const STATE kept = capture_state();
    env->indicate_that_atom_netlist_is_modified();
    sta_increm_update_timing();
    EXPECT_EQ(capture_state(), kept);
  };
  const STATE start = capture_state();
  expect_site_index_current();
  DUX dux(1, true, env);
  VOK_ATOM_NODE* b1 = c().b1;
  const unsigned b1_site = b1->get_location_gid();
  const unsigned u_site = c().u->get_location_gid();
  const int fulls = host::sta::full_analysis_count();

  // Move 1: a register moved, one deleted, one created on the move's path.
  // (A move marks its atom as more than re-routed: the update rebuilds the
  // moved atoms' cells, never the re-routed connections alone.)
  dux.set_location(b1, site_gid(3, 3, 4));
  dux.delete_atom(c().u);
  VOK_ATOM_NODE* dup = dux.create_atom(47, vok_output_port_symbol(DB_OUTPUT_PORT_REG), "dup", c().b0, 401);
  dux.connect(out_port(c().b0), in_port(dup, DB_INPUT_PORT_DATA_IN), false, 0);
  // (All in clock domain B: a change to clk_a's tree reaches the
  // dont-touch register's clock, which no update follows in part.)
  dux.connect(vok_get_logical_port(scene.clk_b.oterm), in_port(dup, DB_INPUT_PORT_CLK), false, 0);
  dux.set_location(dup, site_gid(3, 3, 5));
  ASSERT_EQ(dux.implement().get_status(), 10);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  EXPECT_EQ(PLACE_DB::get_atom(b1_site), nullptr);
  EXPECT_EQ(PLACE_DB::get_atom(u_site), nullptr);
  EXPECT_EQ(PLACE_DB::get_atom(site_gid(3, 3, 5)), dup);
  expect_site_index_current();
  const STATE moved = capture_state();
  EXPECT_NE(moved, start);
  const std::uint64_t cp = dux.get_checkpoint_id();

  // Move 2 on top of it: a LUT's function and an input moved to another
  // driver.
  dux.set_lutmask(c().luts[0], VOK_LUTMASK(0x5));
  dux.connect(out_port(c().luts[1]), in_port(c().after, DB_INPUT_PORT_DATA_IN), false, 0);
  const DUX_RESULT second = dux.implement();
  ASSERT_EQ(second.get_status(), 10);
  EXPECT_TRUE(second.get_created_ids().empty());  // move 1's atoms are not reported again
  EXPECT_TRUE(second.get_deleted_ids().empty());
  EXPECT_NE(capture_state(), moved);

  // Undo move 2, then move 1: each undo and the reset after it give back the
  // slacks before the move, within the cones.
  const int before_undos = host::sta::full_analysis_count();
  dux.restore_checkpoint(cp);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), moved);
  dux.restore_checkpoint(0);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(host::sta::full_analysis_count(), before_undos);
  EXPECT_EQ(capture_state(), start);
  EXPECT_EQ(PLACE_DB::get_atom(b1_site), b1);
  EXPECT_EQ(PLACE_DB::get_atom(u_site), c().u);
  expect_site_index_current();
  fresh_state();

  // The same moves again after the fresh build, each checked against one.
  dux.set_location(b1, site_gid(3, 3, 4));
  ASSERT_EQ(dux.implement().get_status(), 10);
  fresh_state();
  expect_site_index_current();
  dux.restore_checkpoint(0);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), start);
  fresh_state();
}

// Undoing a register placed in a routing slot takes only its own pair's
// nodes: a route that passes through the same slot stays routed.
TEST_F(DuxTest, UndoingASlotRegisterKeepsARoutePassingThroughItsSlot) {
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  int through = -1;
  for (int id = 0; id < r.forest().num_slots() && through < 0; ++id)
    if (r.is_live(id) && r.forest().parent(id) >= 0 && !r.is_terminal(id) && !r.is_zota_node(id) &&
        (static_cast<unsigned>(r.get_value(id)) & 0x80000000u) != 0)
      through = id;
  ASSERT_GE(through, 0) << "no route passes a slot";
  const STATE before = capture_state();
  DUX dux(1, true, env);
  VOK_ATOM_NODE* fresh = dux.create_atom(47, vok_output_port_symbol(DB_OUTPUT_PORT_REG), "slot_reg", static_cast<VOK_ATOM_NETLIST*>(nullptr), 401);
  dux.set_location(fresh, static_cast<unsigned>(r.get_value(through)));
  dux.restore_checkpoint(0);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), before);
}

// After edits that add and remove timing cells, the incrementally updated
// timing netlist numbers its nodes and edges differently from a rebuilt one,
// yet both describe one design: their cookies agree.
TEST_F(DuxTest, AnIncrementallyUpdatedTimingNetlistHasTheCookiesOfARebuiltOne) {
  DUX dux(1, true, env);
  dux.delete_atom(c().pc);
  VOK_ATOM_NODE* fresh = dux.create_atom(47, vok_output_port_symbol(DB_OUTPUT_PORT_REG), "dup", c().a0, 401);
  dux.connect(out_port(c().a0), in_port(fresh, DB_INPUT_PORT_DATA_IN), false, 0);
  dux.connect(vok_get_logical_port(scene.clk_a.oterm), in_port(fresh, DB_INPUT_PORT_CLK), false, 0);
  dux.set_location(fresh, site_gid(3, 3, 5));
  ASSERT_EQ(dux.implement().get_status(), 10);
  const std::uint64_t incr_netlist = sta_debug_compute_incoming_kem_netlist_cookie(true);
  const std::uint64_t incr_slacks = sta_debug_compute_outgoing_slack_cookie(true);
  const int incr_nodes = KEM_MANAGER::get()->get_kem_netlist()->get_node_count();
  const std::vector<KEM_TIMING_MODEL> models =
      KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager()->get_loaded_corners();
  env->indicate_that_atom_netlist_is_modified();
  env->get_hov_utility_or_create_if_necessary(0, 3, models, false, false, true, true, nullptr, false, false);
  sta_debug_restore_last_traversal_settings_and_refresh();
  EXPECT_NE(KEM_MANAGER::get()->get_kem_netlist()->get_node_count(), incr_nodes);  // other numbering
  EXPECT_EQ(sta_debug_compute_incoming_kem_netlist_cookie(true), incr_netlist);
  EXPECT_EQ(sta_debug_compute_outgoing_slack_cookie(true), incr_slacks);
  dux.clear_checkpoint_data();
}

// A wire LUT put in front of a register sitting in a routing slot: the data
// input's old route, which ends in the slot, goes; the register's own routes
// (its slot's Q side) stay; implement routes the new connections to a legal
// routing, and the undo gives everything back.
TEST_F(DuxTest, AWireLutInFrontOfASlotRegisterKeepsItsOutputRoutesAndRoutesLegally) {
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  std::string why;
  ASSERT_TRUE(host::routing::check(&why)) << why;
  const STATE before = capture_state();
  VOK_ATOM_NODE* p = c().p;
  const unsigned slot = p->get_location_gid();
  auto q_root = [&] {
    for (int id : r.get_element_nodes(slot))
      if (r.forest().parent(id) < 0) return id;
    return -1;
  };
  const int q = q_root();
  ASSERT_GE(q, 0);
  const std::vector<int> pc_sinks = r.get_sink_nodes(c().pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_EQ(pc_sinks.size(), 1u);

  DUX dux(1, true, env);
  VOK_ATOM_NODE* lut = dux.create_atom(247, vok_output_port_symbol(DB_OUTPUT_PORT_COMB), "wire", p, 1);
  lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  dux.set_location(lut, site_gid(2, 1, 6));
  dux.disconnect(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), true);
  // Only the slot's D leaf went: the Q root still carries the route to pc.
  EXPECT_EQ(r.get_element_nodes(slot), std::vector<int>{q});
  EXPECT_EQ(r.get_raw_root(pc_sinks[0]), q);
  dux.connect(out_port(c().a0), in_port(lut, static_cast<DB_INPUT_PORT_TYPE>(12)), false, 0);
  dux.connect(out_port(lut), in_port(p, DB_INPUT_PORT_DATA_IN), false, 0);
  DUX_RESULT res = dux.implement();
  ASSERT_EQ(res.get_status(), 10);
  ASSERT_TRUE(res.get_ir_result());
  EXPECT_TRUE(res.get_ir_result()->routing_succeeded());
  why.clear();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(q_root(), q);
  expect_routing_indexes_current();

  dux.restore_checkpoint(0);
  expect_routing_indexes_current();
  why.clear();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), before);

  // Undone before any re-route: the restored net brings its own Q side back
  // in place of the one left standing.
  dux.disconnect(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), true);
  dux.restore_checkpoint(0);
  expect_routing_indexes_current();
  why.clear();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(capture_state(), before);
}

TEST_F(DuxTest, LegalityStatuses) {
  // The site and LAB checks read the top netlist's index of placed atoms:
  // after every edit it answers as a walk of the design does at every gid
  // the edits use.
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const unsigned home = c().b1->get_location_gid(), taken = c().b0->get_location_gid(), away = site_gid(3, 2, 4);
  const std::set<unsigned> gids{home, taken, away, site_gid(3, 3, 3), site_gid(2, 2, 4)};
  auto expect_index = [&] { expect_placed_index_matches_walk(top, gids); };
  {
    DUX dux(1, true, env);  // 1: a site already taken
    dux.set_location(c().b1, taken);
    expect_index();
    EXPECT_EQ(dux.implement().get_status(), 1);
    dux.restore_checkpoint(0);
    expect_index();
  }
  {
    DUX dux(1, true, env);  // 1: a LUT site for a register
    dux.set_location(c().b1, site_gid(3, 3, 3));
    EXPECT_EQ(dux.implement().get_status(), 1);
    dux.restore_checkpoint(0);
  }
  {
    DUX dux(1, true, env);  // 2: a third clock pair in c0's LAB (clk_a, dt's clk_a inverted, clk_b)
    dux.connect(vok_get_logical_port(scene.clk_a.oterm), in_port(c().dt, DB_INPUT_PORT_CLK), true, 0);
    dux.set_location(c().b1, site_gid(2, 2, 4));
    expect_index();
    EXPECT_EQ(dux.implement().get_status(), 2);
    dux.restore_checkpoint(0);
    expect_index();
  }
  {
    // Away and back leaves b1 alone on its site; deleting b0 frees b0's.
    DUX dux(1, true, env);
    dux.set_location(c().b1, away);
    expect_index();
    dux.set_location(c().b1, home);
    expect_index();
    EXPECT_EQ(dux.implement().get_status(), 10);
    dux.delete_atom(c().b0);
    expect_index();
    dux.set_location(c().b1, taken);
    expect_index();
    EXPECT_EQ(dux.implement().get_status(), 10);
    dux.restore_checkpoint(0);
    expect_index();
  }
  {
    DUX dux(1, true, env);  // 7: the dont-touch register touched
    dux.set_powers_up(c().dt, true);
    EXPECT_EQ(dux.implement().get_status(), 7);
    // The next implement answers for its own edits only.
    dux.set_lutmask(c().luts[0], VOK_LUTMASK(0x5));
    EXPECT_EQ(dux.implement().get_status(), 10);
    dux.restore_checkpoint(0);
  }
  sta_reset_timing_as_no_longer_stale();
}

TEST_F(DuxTest, ThirdClockPairInARowSegmentIsAConflictAndImplementRefusesIt) {
  DUX dux(1, true, env);
  DUX_ZOTA_LEGALITY* legality = dux.get_zota_legality();
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  const unsigned s1 = place->get_global_id(643, 2, 2, 62), s2 = place->get_global_id(643, 3, 2, 62),
                 s3 = place->get_global_id(643, 4, 2, 62);
  // Three registers with three clock pairs: clk_a, clk_a inverted, clk_b.
  scenes::set_inverted(c().dt, DB_INPUT_PORT_CLK);
  // The inverted clock moves its register to the falling-edge domain: time
  // the design as it now stands before the engine edits it.
  sta_full_update_timing(true);
  EXPECT_TRUE(NORBO_ZOTA_MANAGER::place(legality, c().a0, s1));
  EXPECT_TRUE(NORBO_ZOTA_MANAGER::place(legality, c().dt, s2));
  int conflict = 0;
  EXPECT_FALSE(NORBO_ZOTA_MANAGER::can_place(legality, c().b0, s3, &conflict));
  EXPECT_EQ(conflict, 1);
  EXPECT_EQ(NORBO_ZOTA_CONFLICT::describe_conflict_type(conflict), "row segment clock budget exceeded");
  EXPECT_FALSE(NORBO_ZOTA_MANAGER::place(legality, c().b0, s3));
  // A register sharing a pair fits; a taken slot does not.
  EXPECT_TRUE(NORBO_ZOTA_MANAGER::can_place(legality, c().c0, s3, &conflict));
  EXPECT_FALSE(NORBO_ZOTA_MANAGER::can_place(legality, c().c0, s1, &conflict));
  EXPECT_EQ(conflict, 2);
  // Placements recorded past the budget make implement answer 0; a restore
  // takes them back.
  dux.record_zota_placement(c().b0->get_id(), s3, DUX_ZOTA_LEGALITY::clock_pair_of(c().b0));
  EXPECT_EQ(dux.implement().get_status(), 0);
  dux.restore_checkpoint(0);
  EXPECT_TRUE(legality->placements().empty());
  scenes::set_inverted(c().dt, DB_INPUT_PORT_CLK, 0, false);
}

TEST_F(DuxTest, HopsMirrorTheRoutingAndSinksSumTheirInterconnectDelay) {
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  int checked = 0;
  for (VOK_ATOM_NODE* a : {c().c0, c().pc, c().b1, c().dt, c().after}) {
    const VOK_ATOM_ITERM* t = a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    const int hop = kem->get_re_hop_of_iterm(t);
    ASSERT_GE(hop, 0) << a->get_string_hpath();
    // The sink names the load's block; the root the driver's.
    EXPECT_EQ(kem->get_re_hop(hop).gid, a->get_location_gid());
    int root = hop;
    while (kem->get_re_hop(root).parent >= 0) root = kem->get_re_hop(root).parent;
    // A terminal root, or the pair root of a pipeline register's slot: both
    // carry the driver's location.
    const VOK_ATOM_NODE* driver = t->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node();
    EXPECT_EQ(kem->get_re_hop(root).gid, driver->get_location_gid()) << a->get_string_hpath();
    EXPECT_EQ(r.is_terminal(root), a != c().pc);
    const KEM_NODE* pin = timing_input(a, DB_INPUT_PORT_DATA_IN);
    const KEM_EDGE* e = kem->get_edge(pin->begin_fanin());
    for (int corner = 0; corner < kem->get_corner_manager()->get_corner_count(); ++corner) {
      float v[4];
      kem->get_re_hop_delays(hop, corner, v);
      EXPECT_EQ(static_cast<int>(v[0] * 1e12f + 0.5f), kem->get_edge_delay_ps(*e, corner));
      EXPECT_GT(v[1], v[0]);  // fall differs from rise
      EXPECT_LT(v[2], v[0]);  // min below max
    }
    ++checked;
  }
  EXPECT_EQ(checked, 5);
  EXPECT_FALSE(kem->has_re_hop(-1));
  EXPECT_FALSE(kem->has_re_hop(kem->get_num_re_hops()));
  float v[4];
  EXPECT_THROW(kem->get_re_hop_delays(kem->get_num_re_hops(), 0, v), HOST_INTERNAL_ERROR);
}

TEST_F(DuxTest, HopsFollowTheNetsAnEditReroutes) {
  DUX dux(1, true, env);
  VOK_ATOM_ITERM* d = c().c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  dux.connect(out_port(c().luts[0]), in_port(c().c0, DB_INPUT_PORT_DATA_IN), false, 0);
  ASSERT_EQ(dux.implement().get_status(), 10);
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  d = c().c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  const int hop = kem->get_re_hop_of_iterm(d);
  ASSERT_GE(hop, 0);
  int root = hop;
  while (kem->get_re_hop(root).parent >= 0) root = kem->get_re_hop(root).parent;
  EXPECT_EQ(kem->get_re_hop(root).gid, c().luts[0]->get_location_gid());
  float v[4];
  kem->get_re_hop_delays(hop, 0, v);
  EXPECT_EQ(static_cast<int>(v[0] * 1e12f + 0.5f), kem->get_edge_delay_ps(*kem->get_edge(timing_input(c().c0, DB_INPUT_PORT_DATA_IN)->begin_fanin()), 0));
  dux.restore_checkpoint(0);

  // Hold re-routes of the connections that cross the other partition's box
  // (into its register and out of it): each is routed again, slower, from
  // the driver the box's port leads to, and the timing reads the detours as
  // a full analysis does (implement names the net of the driver it routes
  // from, so that net is read whole whichever port the edit named); undone,
  // all is as before. The first is ripped up by the caller, the second by
  // implement itself, its delay being below its minimum.
  const STATE before = capture_state();
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  DUX_IMPLEMENT_ARGS args;
  std::map<VOK_ATOM_ITERM*, int> was;
  for (VOK_ATOM_NODE* a : {c().r, c().after}) {
    VOK_ATOM_ITERM* t = a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    ASSERT_NE(t->get_source(VOK_TRAVERSE_AS_STORED), t->get_source(VOK_TRAVERSE_HIERARCHICAL));
    was[t] = kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(t), 0);
    args.delay_budgets[t] = {{was[t] + 300, was[t] + 3000}};
  }
  VOK_ATOM_ITERM* into_box = c().r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  dux.reroute(into_box);
  EXPECT_TRUE(r.get_sink_nodes(into_box).empty());
  const std::uint64_t ripped = dux.get_checkpoint_id();
  DUX_RESULT res = dux.implement(args);
  ASSERT_EQ(res.get_status(), 10);
  ASSERT_TRUE(res.get_ir_result());
  EXPECT_EQ(res.get_ir_result()->paths().size(), 2u);
  for (const KORRIN::IR_RESULT::PATH& p : res.get_ir_result()->paths()) {
    EXPECT_EQ(p.status, KORRIN::IR_RESULT::ROUTED);
    EXPECT_TRUE(p.budget_met);
  }
  for (const auto& [t, old_delay] : was) {
    SCOPED_TRACE(t->get_my_node()->get_string_hpath());
    const int h = kem->get_re_hop_of_iterm(t);
    ASSERT_GE(h, 0);
    int top = h;
    while (kem->get_re_hop(top).parent >= 0) top = kem->get_re_hop(top).parent;
    EXPECT_EQ(kem->get_re_hop(top).gid, t->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node()->get_location_gid());
    EXPECT_GE(kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(t), 0), old_delay + 300);
  }
  std::string why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const STATE detoured = capture_state();
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), detoured);
  // Back to just after the caller's rip-up: implement's routing goes, the
  // connection out of the box has its old route again.
  dux.restore_checkpoint(ripped);
  EXPECT_TRUE(r.get_sink_nodes(into_box).empty());
  EXPECT_FALSE(r.get_sink_nodes(c().after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)).empty());
  dux.restore_checkpoint(0);
  EXPECT_EQ(capture_state(), before);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(capture_state(), before);

  // The driver of the box's register moved: refused, as it feeds the
  // dont-touch dt. Scripted past the legality check, with a LUT of its
  // fan-in moved too: the register inside the box is routed again from the
  // new site, not left unrouted behind a success, and the LUT's inputs too.
  const auto [x, y] = PLACE_DB::get_xy_from_gid(c().c0->get_location_gid());
  const unsigned away = dux.find_location_at_xy(c().c0, {x + 2, y + 1}, 0);
  dux.set_location(c().c0, away);
  EXPECT_EQ(dux.implement().get_status(), 7);
  dux.restore_checkpoint(0);
  EXPECT_EQ(capture_state(), before);
  dux.set_location(c().c0, away);
  dux.set_location(c().luts[1], dux.find_location_at_xy(c().luts[1], {x + 2, y + 1}, 0));
  host::script::queue<int>("DUX::implement").push(10);
  ASSERT_EQ(dux.implement().get_status(), 10);
  EXPECT_FALSE(r.get_sink_nodes(into_box).empty());
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const int moved = kem->get_re_hop_of_iterm(into_box);
  ASSERT_GE(moved, 0);
  int root_of_moved = moved;
  while (kem->get_re_hop(root_of_moved).parent >= 0) root_of_moved = kem->get_re_hop(root_of_moved).parent;
  EXPECT_EQ(kem->get_re_hop(root_of_moved).gid, c().c0->get_location_gid());
  dux.restore_checkpoint(0);
  EXPECT_EQ(capture_state(), before);
}

TEST_F(HostTest, DuxReportsFourForAConnectionItCannotRoute) {
  // The LAB (3, 3) is left without usable data or control inputs.
  std::vector<DEV_ELEMENT_REF> blocked;
  for (int i = 0; i < 80; ++i) blocked.push_back(lab_input(3, 3, i));
  for (int i = 140; i < 182; ++i) blocked.push_back(lab_input(3, 3, i));
  scenes::KY_PIPELINE s = scenes::ky_pipeline(1, blocked);
  WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  DUX dux(1, false, &env);
  dux.set_location(s[0].b1, site_gid(3, 3, 4));
  DUX_RESULT res = dux.implement();
  EXPECT_EQ(res.get_status(), 4);
  ASSERT_TRUE(res.get_ir_result());
  EXPECT_FALSE(res.get_ir_result()->routing_succeeded());
  dux.restore_checkpoint(0);
  sta_reset_timing_as_no_longer_stale();
}

TEST_F(HostTest, ScriptedStatusesAndTheTaintingSwitch) {
  scenes::ky_pipeline();
  WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  env.set_hov_tainting_enabled(false);
  env.indicate_that_atom_netlist_is_modified(3, false, false);
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0);
  env.set_hov_tainting_enabled(true);
  env.indicate_that_atom_netlist_is_modified(3, false, false);
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 1);
  DUX dux(1, true, &env);
  host::script::queue<int>("DUX::implement").push(5);
  EXPECT_EQ(dux.implement().get_status(), 5);
  host::script::queue<int>("DUX::implement").push(0);  // the lowest status is scripted as well
  EXPECT_EQ(dux.implement().get_status(), 0);
  EXPECT_EQ(dux.implement().get_status(), 10);  // nothing queued: the engine's own answer
}

}  // namespace
