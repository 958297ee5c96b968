// Incremental timing against a full analysis, the timing utility's requests
// and the timing netlist's disk copies.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/timing_builder.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

// Every slack of the analysis keyed by what the nodes and edges stand for,
// so that two netlists with different ids can be compared.
using NODE_KEY = std::tuple<int, int, int, int>;  // atom id, node type, port type, index
struct SLACKS {
  std::map<NODE_KEY, std::vector<int>> nodes;
  std::map<std::tuple<NODE_KEY, NODE_KEY, int>, std::vector<int>> edges;
  bool operator==(const SLACKS&) const = default;
};

NODE_KEY key_of(const KEM_NODE* n) {
  if (n->get_iterm()) return {n->get_atom_id(), n->get_type(), n->get_iterm()->get_port_type(), n->get_iterm()->get_index()};
  if (n->get_oterm()) return {n->get_atom_id(), n->get_type(), n->get_oterm()->get_port_type(), n->get_oterm()->get_index()};
  return {n->get_atom_id(), n->get_type(), -1, -1};
}

SLACKS all_slacks() {
  SLACKS s;
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const int corners = kem->get_corner_manager()->get_corner_count();
  for (int id = 0; id < kem->get_node_count(); ++id) {
    const KEM_NODE* n = kem->get_node(id);
    if (!n) continue;
    std::vector<int>& v = s.nodes[key_of(n)];
    for (int c = 0; c < corners; ++c) {
      for (const auto& [d, slack] : host::sta::node_setup_slacks(id, c)) v.insert(v.end(), {d.launch, d.capture, slack});
      v.push_back(host::sta::node_worst_hold_slack(id, c));
    }
  }
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (!e) continue;
    std::vector<int>& v = s.edges[{key_of(e->get_src_node()), key_of(e->get_dst_node()), e->get_kind()}];
    v.push_back(e->get_max_delay());
    for (int c = 0; c < corners; ++c) v.insert(v.end(), {host::sta::edge_setup_slack(id, c), host::sta::edge_hold_slack(id, c)});
  }
  return s;
}

class TimingUpdateTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    clk = n->input_port("clk");
    n->clock("clk", 600, clk);
    a = n->reg("a").clk(clk).d(n->input_port("in")).placed(site_gid(1, 1, 1), 643);
    b = n->reg("b").clk(clk).d(a).placed(site_gid(1, 1, 2), 643);
    l = n->lut("l", {a, b}, [](auto x) { return x[0] && x[1]; }).placed(site_gid(3, 1, 0), 644);
    c = n->reg("c").clk(clk).d(l).placed(site_gid(3, 2, 1), 643);
    out = n->output_port("out", c);
    // An independent pair that no edit below reaches.
    f = n->reg("f").clk(clk).d(n->input_port("in2")).placed(site_gid(9, 7, 1), 643);
    e = n->reg("e").clk(clk).d(f).placed(site_gid(10, 7, 1), 643);
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  WEXAN_HOV_UTILITY* request(int req, int set = 5) {
    return env->get_hov_utility_or_create_if_necessary(req, 3, set, false, false, false, false, nullptr, false, false);
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
  SIG clk;
  VOK_ATOM_NODE *a = nullptr, *b = nullptr, *c = nullptr, *l = nullptr, *out = nullptr, *e = nullptr, *f = nullptr;
};

TEST_F(TimingUpdateTest, IncrementalUpdateAfterABatchOfEditsEqualsAFullAnalysis) {
  request(0);
  sta_incr_track_changed_flops(true, true);
  sta_incr_reset_changed_flops();
  const int fulls = host::sta::full_analysis_count();
  const SLACKS before = all_slacks();

  // Connect a new register to l, disconnect the output port, move c, and
  // change l's function.
  auto g = n->reg("g").clk(clk).d(l).placed(site_gid(7, 3, 1), 643);
  out->get_iterm_slot(0)->disconnect_from_source(VOK_NET_ITERM::OPEN);
  c->set_location(site_gid(5, 5, 1), 643);
  l->get_lutmask().set_value(2, 0x7);
  for (VOK_ATOM_NODE* t : {g.atom(), out, c, l}) env->indicate_that_atom_netlist_is_modified(t->get_id(), false, false);
  EXPECT_FALSE(env->hov_utility_reflects_atom_netlist_exactly());

  sta_increm_update_timing();  // verified against a full analysis inside
  EXPECT_TRUE(env->hov_utility_reflects_atom_netlist_exactly());
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  EXPECT_EQ(host::sta::incremental_update_count(), 1);
  const SLACKS incremental = all_slacks();
  EXPECT_NE(incremental, before);

  // c.D: a.Q and b.Q 180, l.in1 320, l.out 430, then 60 + 40 x 6 to c's
  // new site: 730 against 600 + 100 - 50.
  EXPECT_EQ(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false).at({0, 0, 0, 0}), -80);

  // The registers whose slack moved: a and b (l's required time), c and the
  // new g; not the untouched pair.
  const auto* changed = sta_incr_get_changed_flops();
  ASSERT_TRUE(changed);
  std::vector<int> ids;
  for (const auto& [id, atom] : *changed) {
    EXPECT_EQ(atom->get_id(), id);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int>{a->get_id(), b->get_id(), c->get_id(), g.id()}));
  sta_incr_reset_changed_flops();
  EXPECT_TRUE(sta_incr_get_changed_flops()->empty());

  // a rebuilt with nothing changed: its nodes and their neighbours are
  // recomputed, and the values stop there (they come back the same), where
  // the cone a's arrival could reach covers l, c, g and their fan-in.
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  std::set<int> near;
  for (int v : kem->get_cell_from_atom_id(a->get_id())->get_node_ids()) {
    near.insert(v);
    const KEM_NODE* node = kem->get_node(v);
    for (int id = node->begin_fanin(); id >= 0; id = kem->get_edge(id)->get_next_fanin())
      near.insert(kem->get_edge(id)->get_src_node()->get_id());
    for (int id = node->begin_fanout(); id >= 0; id = kem->get_edge(id)->get_next_fanout())
      near.insert(kem->get_edge(id)->get_dst_node()->get_id());
  }
  const auto summary = sta_get_wns_map(kem);
  env->indicate_that_atom_netlist_is_modified(a->get_id(), false, false);
  sta_increm_update_timing();
  EXPECT_GT(host::sta::last_cone_size(), 0);
  EXPECT_LE(host::sta::last_cone_size(), static_cast<int>(near.size()));
  EXPECT_EQ(all_slacks(), incremental);
  EXPECT_TRUE(sta_incr_get_changed_flops()->empty());
  const auto same = sta_get_wns_map(kem);
  ASSERT_EQ(same.size(), summary.size());
  for (const auto& [d, v] : summary) {
    EXPECT_EQ(same.at(d).wns, v.wns);
    EXPECT_EQ(same.at(d).tns, v.tns);
    EXPECT_EQ(same.at(d).endpoints, v.endpoints);
    EXPECT_EQ(same.at(d).failing_endpoints, v.failing_endpoints);
  }

  // The same design built and analysed from scratch gives the same slacks.
  env->indicate_that_atom_netlist_is_modified();
  request(0);
  EXPECT_EQ(all_slacks(), incremental);
  sta_incr_track_changed_flops(false, false);
  EXPECT_EQ(sta_incr_get_changed_flops(), nullptr);
}

TEST_F(TimingUpdateTest, RemovedAndDontTouchAtomsAndStaleTiming) {
  a->set_modifiable(false);
  request(0);
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* aq = timing_output(a);
  EXPECT_TRUE(aq->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));
  EXPECT_FALSE(sta_slack_can_be_updated_incrementally(aq));
  EXPECT_TRUE(sta_slack_can_be_updated_incrementally(timing_output(b)));

  // Removing e (tainted together with its fanin f) drops its cell.
  const int eid = e->get_id();
  host::vok::top_netlist()->remove(e);
  env->indicate_that_atom_netlist_is_modified(eid, false, false);
  env->indicate_that_atom_netlist_is_modified(f->get_id(), false, false);
  sta_increm_update_timing();
  // Only the pair's side of the design is recomputed: f's four nodes, the
  // input port feeding it and the clock port that lost two fanouts.
  EXPECT_EQ(host::sta::last_cone_size(), 6);
  EXPECT_EQ(kem->get_cell_from_atom_id(eid), nullptr);
  EXPECT_EQ(KEM_MANAGER::get()->get_kem_netlist(), kem);
  EXPECT_TRUE(sta_get_node_wns_map(timing_output(f), false).empty());

  // An edit reaching a dont-touch node while stale timing is allowed leaves
  // the slacks as they were.
  const KEM_NODE* cd = timing_input(c, DB_INPUT_PORT_DATA_IN);
  const auto old = sta_get_node_wns_map(cd, false);
  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  a->set_location(site_gid(9, 1, 1), 643);
  env->indicate_that_atom_netlist_is_modified(a->get_id(), false, false);
  sta_increm_update_timing();
  EXPECT_TRUE(sta_is_timing_stale());
  cd = timing_input(c, DB_INPUT_PORT_DATA_IN);
  EXPECT_EQ(sta_get_node_wns_map(cd, false), old);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_NE(sta_get_node_wns_map(cd, false), old);

  // Not allowed: the update falls back to a full analysis.
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  const int fulls = host::sta::full_analysis_count();
  a->set_location(site_gid(1, 1, 1), 643);
  env->indicate_that_atom_netlist_is_modified(a->get_id(), false, false);
  sta_increm_update_timing();
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1);
  EXPECT_EQ(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false), old);

  // A reset of timing that is not stale: nothing pending is no analysis at
  // all; a pending change reaching a dont-touch node is a full analysis even
  // while stale timing is allowed, and leaves nothing stale; the allowance
  // itself stays.
  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1);
  a->set_location(site_gid(9, 1, 1), 643);
  env->indicate_that_atom_netlist_is_modified(a->get_id(), false, false);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 2);
  EXPECT_NE(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false), old);
  a->set_location(site_gid(1, 1, 1), 643);
  env->indicate_that_atom_netlist_is_modified(a->get_id(), false, false);
  sta_increm_update_timing();
  EXPECT_TRUE(sta_is_timing_stale());
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  sta_reset_timing_as_no_longer_stale();
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false), old);
}

TEST_F(TimingUpdateTest, RequestZeroAndTwoWithTheDiskCopy) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  design->set_current_snapshot_str("routed");
  WEXAN_HOV_UTILITY* util = request(0);
  ASSERT_TRUE(util);
  EXPECT_EQ(env->get_hov_utility_ptr(), util);
  EXPECT_EQ(util->get_mode(), 3);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{"WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, "
                            "null, false, false)"}));
  const SLACKS built = all_slacks();
  ASSERT_TRUE(KEM_MANAGER::get()->write_kem_netlist_to_disk());
  EXPECT_TRUE(KEM_MANAGER::get()->has_kem_netlist_on_disk("routed"));

  // Request 2 without a netlist in memory reads the snapshot's copy, even
  // after an atom of it is gone (its terminals are dropped, its taint
  // rebuilds the rest).
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  host::clear_calls();
  request(2);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"KEM_MANAGER::read_kem_netlist_from_disk(true)"}));
  EXPECT_EQ(all_slacks(), built);

  const int eid = e->get_id();
  host::vok::top_netlist()->remove(e);
  env->indicate_that_atom_netlist_is_modified(eid, false, false);
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  request(2);
  EXPECT_EQ(KEM_MANAGER::get()->get_kem_netlist()->get_cell_from_atom_id(eid), nullptr);
  const SLACKS after_read = all_slacks();
  env->indicate_that_atom_netlist_is_modified();
  request(0);
  EXPECT_EQ(all_slacks(), after_read);

  // Another snapshot has no copy: request 2 builds.
  design->set_current_snapshot_str("final");
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  host::clear_calls();
  request(2);
  EXPECT_TRUE(KEM_MANAGER::get()->get_kem_netlist());
  const std::vector<std::string> names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "KEM_MANAGER::read_kem_netlist_from_disk"), 0);
  EXPECT_FALSE(KEM_MANAGER::get()->read_kem_netlist_from_disk(true));

  // Sets and lists of models.
  request(0, 0);
  EXPECT_EQ(host::timing::summary().size(), 1u);
  env->get_hov_utility_or_create_if_necessary(0, 2, std::vector<KEM_TIMING_MODEL>{KEM_TIMING_MODEL(1, 3, 850, 25)},
                                              false, false, true, false, nullptr, true, false);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, "
                                                "[1_typical_850mv_25c], false, false, true, false, null, true, false)"}));
  ASSERT_EQ(host::timing::summary().size(), 1u);
  EXPECT_EQ(host::timing::summary()[0].corner, "1_typical_850mv_25c");
  EXPECT_THAT(expect_internal_error([&] { request(0, 7); }).condition, ::testing::HasSubstr("timing-model set"));
  env->delete_hov_utility_completely();
  EXPECT_EQ(env->get_hov_utility_ptr(), nullptr);
}

TEST_F(TimingUpdateTest, GlobalRebuildMakesNewEdgeObjectsWithTheSameIds) {
  request(0);
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* cd = timing_input(c, DB_INPUT_PORT_DATA_IN);
  const int id = cd->begin_fanin();
  KEM_EDGE* old_edge = kem->get_edge(id);
  const std::string src = old_edge->get_src_node()->get_string_name();
  const int slack = old_edge->get_setup_slack();

  // One tainted atom elsewhere: the netlist and this edge stay.
  env->indicate_that_atom_netlist_is_modified(f->get_id(), false, false);
  request(0);
  EXPECT_EQ(KEM_MANAGER::get()->get_kem_netlist(), kem);
  EXPECT_EQ(kem->get_edge(id), old_edge);

  // A global taint: a new netlist (analysed afresh) whose edge of that id
  // stands for the same connection. The old netlist is deleted before the
  // new one is built, so the new objects may take the old addresses.
  const int full = host::sta::full_analysis_count();
  env->indicate_that_atom_netlist_is_modified();
  request(0);
  KEM_NETLIST* rebuilt = KEM_MANAGER::get()->get_kem_netlist();
  EXPECT_EQ(host::sta::full_analysis_count(), full + 1);
  KEM_EDGE* new_edge = rebuilt->get_edge(id);
  ASSERT_TRUE(new_edge);
  EXPECT_EQ(new_edge->get_id(), id);
  EXPECT_EQ(new_edge->get_src_node()->get_string_name(), src);
  EXPECT_EQ(new_edge->get_dst_node(), timing_input(c, DB_INPUT_PORT_DATA_IN));
  EXPECT_EQ(new_edge->get_setup_slack(), slack);
  EXPECT_EQ(rebuilt->get_edge(rebuilt->get_edge_count()), nullptr);
  EXPECT_EQ(rebuilt->get_edge(-1), nullptr);
}

}  // namespace
