// The timing netlist's structure and the corners.
#include <gtest/gtest.h>

#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/routing_builder.h"
#include "testing/timing_builder.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"

namespace {

using namespace host::testing;

TEST_F(HostTest, CornerNamesEqualityScalesAndTheCornerManager) {
  device(Family::KY).corners({Corner::slow(), Corner::fast(), Corner::hold_only(), DeviceCorner{2, 3, 850, 25, false}})
      .build();
  const auto models = KEM_TIMING_MODEL::get_list_of_timing_models(0);
  ASSERT_EQ(models.size(), 4u);
  EXPECT_EQ(models[0].get_name(), "1_slow_900mv_100c");
  EXPECT_EQ(models[3].get_debug_string(), "2_typical_850mv_25c");
  EXPECT_EQ(models[0].get_condition(), 46);
  EXPECT_EQ(models[1].get_condition(), 47);
  // The hold-only field takes no part in equality.
  EXPECT_TRUE(models[2].is_hold_only_corner());
  EXPECT_EQ(models[1], models[2]);
  EXPECT_NE(models[0], models[1]);
  EXPECT_EQ(models[0], KEM_TIMING_MODEL::create_default_timing_model(nullptr, 0));
  EXPECT_DOUBLE_EQ(models[1].get_delay_scale(), 0.65);
  EXPECT_DOUBLE_EQ(models[3].get_delay_scale(), 0.8 * 1.05);
  expect_internal_error([] { KEM_TIMING_MODEL::create_default_timing_model(nullptr, 2); });

  KEM_CORNER_MANAGER m;
  EXPECT_EQ(m.get_current_corner_id(), -1);
  m.set_corners({models[0], models[1], models[2]});  // the duplicate is loaded once
  EXPECT_EQ(m.get_corner_count(), 2);
  m.change_corner(models[3]);
  EXPECT_EQ(m.get_current_corner_id(), 2);
  EXPECT_EQ(m.get_corner_id(models[1]), 1);
  m.erase_corner(models[0]);
  EXPECT_EQ(m.get_current_corner_id(), 1);
  EXPECT_EQ(m.get_current_corner(), models[3]);
  m.erase_corner(models[3]);
  EXPECT_EQ(m.get_current_corner(), models[1]);
  EXPECT_FALSE(m.has_corner(models[0]));
}

TEST_F(HostTest, NetlistFlattensBoxesAndLinksTypedFanins) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  auto en = n.input_port("en");
  auto q = n.reg("q").clk(clk).d(n.input_port("in")).ce(en);
  auto box = n.blackbox("u", [](NETLIST_BUILDER& c) {
    auto r = c.reg("r").clk(c.input("c")).d(c.input("d"));
    c.output("o", r);
  });
  box.in("c", clk).in("d", q);
  auto after = n.reg("after").clk(clk).d(box.out("o"));
  auto m = n.lutram("m").data_in(after).clk(clk);
  host::vok::top_netlist()->set_modifiable(true);
  after->set_modifiable(false);
  n.timing();

  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  // The box's register is in; the box and the child's port atoms are not.
  VOK_ATOM_NODE* r = box.child()->get_atom_list().front();
  ASSERT_TRUE(r->is_ff());
  EXPECT_TRUE(kem->get_cell_from_atom_id(r->get_id()));
  EXPECT_FALSE(kem->get_cell_from_atom_id(box.id()));
  // r.D is fed by q.Q across the boundary; after.D by r.Q.
  const KEM_NODE* rd = timing_input(r, DB_INPUT_PORT_DATA_IN);
  EXPECT_EQ(kem->get_edge(rd->begin_fanin())->get_src_node(), timing_output(q));
  EXPECT_EQ(kem->get_edge(timing_input(after, DB_INPUT_PORT_DATA_IN)->begin_fanin())->get_src_node(), timing_output(r));

  // Design ports are device pins without a cell.
  const KEM_NODE* clk_pin = kem->get_kem_node_from_oterm(clk.oterm);
  EXPECT_TRUE(clk_pin->is_sta_type(KEM_NODE_DEVICE_PIN));
  EXPECT_EQ(kem->get_cell_from_kem_node(clk_pin), nullptr);

  // q's keeper: D and CE (kind 1) first, then the clock edge (kind 2).
  const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(q.id());
  ASSERT_EQ(cell->keeper_range().size(), 1u);
  const KEM_NODE* k = kem->get_node(cell->keeper_range()[0]);
  EXPECT_TRUE(cell->is_node_id_a_keeper(k->get_id()));
  EXPECT_FALSE(cell->is_node_id_a_keeper(timing_output(q)->get_id()));
  const KEM_EDGE* e1 = kem->get_edge(k->begin_fanin());
  ASSERT_EQ(e1->get_kind(), KEM_EDGE_KEEPER_DATA);
  const KEM_EDGE* e2 = kem->get_edge(e1->get_next_fanin_of_kind(KEM_EDGE_KEEPER_DATA));
  ASSERT_TRUE(e2);
  EXPECT_EQ(e2->get_src_node(), timing_input(q, DB_INPUT_PORT_ENA));
  EXPECT_EQ(e2->get_next_fanin_of_kind(KEM_EDGE_KEEPER_DATA), -1);
  EXPECT_EQ(e2->get_next_fanin_of_kind(KEM_EDGE_ANY), k->begin_clock_edges());
  EXPECT_EQ(kem->get_edge(k->begin_clock_edges())->get_src_node(), timing_input(q, DB_INPUT_PORT_CLK));
  // keeper -> Q carries the clock-to-output delay.
  EXPECT_EQ(kem->get_edge(timing_output(q)->begin_fanin())->get_max_delay(), 80);
  EXPECT_EQ(kem->get_edge(timing_output(q)->begin_fanin())->get_iterm(), nullptr);
  EXPECT_EQ(kem->get_edge(rd->begin_fanin())->get_iterm(), r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));

  // Flags: a LUT-RAM keeper, a dont-touch atom.
  const KEM_NETLIST_CELL* mcell = kem->get_cell_from_atom_id(m.id());
  EXPECT_TRUE(kem->get_node(mcell->keeper_range()[0])->has_any_flag(KEM_NODE_FLAG_RAM_KEEPER));
  EXPECT_TRUE(timing_output(after)->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));
  EXPECT_FALSE(timing_output(q)->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));

  // Edge lookup: ids 0..count-1 in chunks of 256, -1 and the count hold none.
  EXPECT_TRUE(kem->get_edge(0));
  EXPECT_EQ(kem->get_edge(-1), nullptr);
  EXPECT_EQ(kem->get_edge(kem->get_edge_count()), nullptr);
  EXPECT_EQ(KEM_NETLIST::get_atom_from_node(timing_output(q)), q.atom());
}

// A corner analysed for hold only has no setup requirement; queries answer
// over all analysed corners or the current one; a corner made hold-only, or
// another in place of one, is analysed anew.
TEST_F(HostTest, HoldOnlyCornerAndCurrentCornerQueries) {
  device(Family::KY).corners({Corner::slow(), Corner::fast(), Corner::hold_only()}).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 300, clk);
  auto a = n.reg("a").clk(clk).d(n.input_port("in"));
  auto b = n.reg("b").clk(clk).d(a);
  n.timing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  kem->get_corner_manager()->set_corners({KEM_TIMING_MODEL::from_corner(Corner::slow()),
                                          KEM_TIMING_MODEL(1, KEM_TIMING_MODEL::FAST, 850, -40, true)});
  sta_full_update_timing(true);
  // b.D: 100 + 80 + 100 = 280 against 300 + 100 - 50; hold 280 - 120.
  const KEM_NODE* bd = timing_input(b, DB_INPUT_PORT_DATA_IN);
  EXPECT_EQ(host::sta::node_setup_slacks(bd->get_id(), 0).at({0, 0, 0, 0}), 70);
  EXPECT_TRUE(host::sta::node_setup_slacks(bd->get_id(), 1).empty());
  // 0.65 x 1.05: delays 68, 55, setup 34, hold 14; hold 191 - 82.
  EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 1), 109);
  auto sum = host::timing::summary();
  ASSERT_EQ(sum.size(), 2u);
  EXPECT_EQ(sum[1].setup_wns, KEM_NO_SLACK);
  EXPECT_EQ(sum[1].hold_wns, 109);
  EXPECT_EQ(sta_get_node_worst_hold_slack(bd, true), 109);
  EXPECT_EQ(sta_get_node_worst_hold_slack(bd, false), 160);
  // Analysing the current corner only.
  sta_full_update_timing(false);
  EXPECT_EQ(sta_get_node_worst_hold_slack(bd, true), 160);

  HOV_INCR::print_fmax_across_loaded_corners("Fmax", 0, 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Fmax: 1_slow_900mv_100c setup WNS 70 ps, hold WNS 160 ps"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Fmax: 1_fast_850mv_-40c setup WNS none, hold WNS 109 ps"));

  // The slow corner analysed for hold only as well (the models compare
  // equal all the same): the analysis after a stage analyses anew.
  sta_full_update_timing(true);
  kem->get_corner_manager()->set_corners({KEM_TIMING_MODEL(1, KEM_TIMING_MODEL::SLOW, 900, 100, true),
                                          KEM_TIMING_MODEL(1, KEM_TIMING_MODEL::FAST, 850, -40, true)});
  const int fulls = host::sta::full_analysis_count();
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1);
  EXPECT_TRUE(host::sta::node_setup_slacks(bd->get_id(), 0).empty());
  EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 0), 160);
  // Another fast corner in place of the one analysed: anew as well.
  const int fast_hold = host::sta::node_worst_hold_slack(bd->get_id(), 1);
  kem->get_corner_manager()->set_corners({KEM_TIMING_MODEL(1, KEM_TIMING_MODEL::SLOW, 900, 100, true),
                                          KEM_TIMING_MODEL(1, KEM_TIMING_MODEL::FAST, 900, -40, true)});
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 2);
  EXPECT_NE(host::sta::node_worst_hold_slack(bd->get_id(), 1), fast_hold);
}

// Reading the routing again in place. The connections of an output pin
// read again (a device pin, without a cell) keep their edge with the new
// delay, its ends marked for the analysis. A refresh leaves the netlist
// alone when an input is fed from another source, or when its structure is
// no longer a build's; otherwise it reads every interconnect delay again
// (the first edge's too), logs each connection whose delay moved with its
// ends marked, and leaves the netlist as a build would: no quick slacks,
// the first corner current, no routing changes named (the next rebuild
// reads whole every net it touches).
TEST_F(HostTest, ARoutingRefreshReadsEveryDelayAgainOrLeavesTheNetlistAlone) {
  device(Family::KY).build();
  auto n = netlist();
  auto in = n.input_port("in");
  auto other = n.input_port("other");
  auto out = n.output_port("out", in);
  auto out2 = n.output_port("out2", in);
  VOK_ATOM_ITERM* sink = out.atom()->get_iterm_slot(0);
  VOK_ATOM_ITERM* sink2 = out2.atom()->get_iterm_slot(0);
  routing().routing(in).wire(h(2, 2)).branch([&](NET_BUILDER& b) { b.sink(sink2); }).sink(sink);
  routing().attach();
  n.timing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const std::vector<KEM_TIMING_MODEL> corners = kem->get_corner_manager()->get_loaded_corners();
  ASSERT_EQ(corners.size(), 2u);
  VOK_RE_ROUTING* r = VOK_CHIP_DB_ENTRY::current()->get_routing();
  // One more wire above a sink: its connection gets slower.
  auto slower = [&](const VOK_ATOM_ITERM* t) {
    const int node = r->get_sink_nodes(t).at(0);
    r->insert_as_parent(node, r->get_value(r->forest().parent(node)));
  };
  auto delay_into = [&](const VOK_ATOM_ITERM* t) { return kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(t), 0); };
  // Pins only: the connections are the design's edges, edge 0 the first.
  ASSERT_EQ(kem->get_edge_count(), 2);
  const KEM_EDGE* edge = kem->get_edge(0);
  ASSERT_TRUE(edge);
  ASSERT_EQ(edge, kem->get_ic_edge_to_iterm(sink));
  const int from = edge->get_src_node()->get_id(), to = edge->get_dst_node()->get_id();
  const std::uint64_t structure = kem->get_structure_id();
  ASSERT_NE(structure, 0u);

  int delay = delay_into(sink);
  slower(sink);
  KEM_DIRTY dirty;
  kem->reread_connections({out.id()}, {}, &dirty);
  EXPECT_EQ(kem->get_ic_edge_to_iterm(sink), edge);
  EXPECT_GT(delay_into(sink), delay);
  EXPECT_EQ(dirty.arrival, std::vector<int>{to});
  EXPECT_EQ(dirty.required, std::vector<int>{from});
  EXPECT_EQ(kem->get_structure_id(), structure);

  // The output fed from the other pin behind the netlist's back: its edge
  // no longer stands for the connection, and nothing is read.
  delay = delay_into(sink);
  kem->take_change_log();
  sink->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(other.oterm, sink);
  slower(sink);
  dirty = KEM_DIRTY{};
  EXPECT_FALSE(kem->refresh_routing(corners, &dirty));
  EXPECT_EQ(edge->get_src_node()->get_id(), from);
  EXPECT_EQ(kem->get_edge_delay_ps(*edge, 0), delay);
  EXPECT_TRUE(dirty.arrival.empty() && dirty.required.empty());
  EXPECT_FALSE(kem->has_logged_changes());
  EXPECT_EQ(kem->get_structure_id(), structure);

  // Fed from its pin again, with values written on the netlist since.
  sink->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(in.oterm, sink);
  kem->set_quick_slack(0, 5);
  kem->get_corner_manager()->change_corner(corners[1]);
  kem->annotate_current_corner();
  kem->set_routing_changes({});
  ASSERT_TRUE(kem->refresh_routing(corners, &dirty));
  EXPECT_GT(delay_into(sink), delay);
  EXPECT_EQ(dirty.arrival, std::vector<int>{to});
  EXPECT_EQ(dirty.required, std::vector<int>{from});
  EXPECT_EQ(kem->take_change_log().new_edges, std::vector<int>{0});
  EXPECT_NE(kem->get_build_id(), 0u);
  EXPECT_EQ(edge->get_slack(), KEM_QUICK_NO_SLACK);
  EXPECT_EQ(kem->get_corner_manager()->get_current_corner_id(), 0);
  EXPECT_EQ(edge->get_max_delay(), delay_into(sink));
  // out2's connection slower, out rebuilt in place: out2 is read with it.
  delay = delay_into(sink2);
  slower(sink2);
  kem->rebuild_atoms(host::vok::top_netlist(), {out.id()}, &dirty);
  EXPECT_GT(delay_into(sink2), delay);

  // The structure is no longer a build's: a routing change is left to the
  // next build.
  ASSERT_EQ(kem->get_structure_id(), 0u);
  delay = delay_into(sink);
  kem->take_change_log();
  slower(sink);
  dirty = KEM_DIRTY{};
  EXPECT_FALSE(kem->refresh_routing(corners, &dirty));
  EXPECT_EQ(delay_into(sink), delay);
  EXPECT_TRUE(dirty.arrival.empty() && dirty.required.empty());
  EXPECT_FALSE(kem->has_logged_changes());
}

}  // namespace
