// The retimer's timing service: hop delays, slot gids, domain slacks and the
// cost, dont-touch and partition tests, retimability, corner models.
#include <gtest/gtest.h>

#include <memory>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "irtm_fixture.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

using namespace host::testing;

class IrtmUtilTest : public velmo_test::IrtmFixture {
protected:
  void make_util() {
    IrtmFixture::make_util(KEM_MANAGER::get()->get_kem_netlist());
    util->update_multi_corner_info();
  }
};

// a -> LAB output -> V wire (inverting) -> H wire -> b.D, at the slow and the
// fast corner. Per hop: max rise d, max fall 1.125 d, min rise 0.8 d, min
// fall 0.9 d, summed from the root and rounded per corner (fast x 0.65):
//           slow                 fast
//   LO  (35, 39, 28, 32)    (23, 25, 18, 21)
//   V   (105, 118, 84, 95)  (68, 77, 55, 62)
//   H   (175, 197, 140, 158)(114, 128, 91, 103)
// The walk from the sink: sink-H 0; H-V inverted (H0-V1, H1-V0, H2-V3, H3-V2)
// = (57, 92, 45, 74); V-LO inverted, accumulator exchanged first: (92, 57,
// 74, 45) + (66, 83, 52, 67) = (158, 140, 126, 112); LO-root + (35, 39, 28,
// 32) = (193, 179, 154, 144). Fast: (37, 60, 29, 48), then (103, 91, 82,
// 73), then (126, 116, 100, 94). Largest: 193.
TEST_F(IrtmUtilTest, HopDelayWalksThroughAnInvertingWireOnEveryCorner) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto a = n.reg("a").clk(clk).d(n.input_port("in"));
  auto b = n.reg("b").clk(clk).d(a);
  place_at(a, 2, 2, 1);
  place_at(b, 3, 2, 1);
  routing().routing(a).wire(lab_output(2, 2, 94)).wire(v(2, 2)).wire(h(2, 2)).sink(b.iterm(DB_INPUT_PORT_DATA_IN));
  // The same wires after a virtual source with a dangling stub (a short H
  // wire: half its 70 ps loads the source as the LAB output's 35 did).
  auto c = n.reg("c").clk(clk).d(n.input_port("in_c"));
  place_at(c, 5, 6, 1);
  routing()
      .virtual_source()
      .branch([&](NET_BUILDER& x) { x.wire(h(5, 5, 0, 1)); })
      .wire(v(5, 5))
      .wire(h(5, 6))
      .sink(c.iterm(DB_INPUT_PORT_DATA_IN));
  // Five H wires and a LAB input mux: the mux's own delay (433 to 473 ps at
  // the slow max fall) comes out of single-precision sums just under 40 ps,
  // and is rounded, not cut.
  auto e = n.reg("e").clk(clk).d(n.input_port("in_e"));
  auto f = n.reg("f").clk(clk).d(e);
  place_at(e, 2, 4, 1);
  place_at(f, 7, 4, 1);
  NET_BUILDER row = routing().routing(e).wire(lab_output(2, 4, 94));
  for (int x = 2; x <= 6; ++x) row.wire(h(x, 4));
  row.wire(lab_input(7, 4, 3)).sink(f.iterm(DB_INPUT_PORT_DATA_IN));
  n.timing();
  make_util();
  ASSERT_EQ(util->get_corners().size(), 2u);
  const KEM_NETLIST* kem = util->get_kem_netlist();
  EXPECT_EQ(util->get_max_re_hop_delay(gid_of(h(6, 4)), kem->get_re_hop_of_iterm(f.iterm(DB_INPUT_PORT_DATA_IN))), 40);
  const int sink = kem->get_re_hop_of_iterm(b.iterm(DB_INPUT_PORT_DATA_IN));
  ASSERT_GE(sink, 0);
  EXPECT_EQ(util->get_max_re_hop_delay(0xFFFFFFFFu - 1, sink), 193);
  // Stopping at the V wire leaves the two lowest steps: slow (57, 92, ...).
  const unsigned v_gid = gid_of(v(2, 2));
  EXPECT_EQ(util->get_max_re_hop_delay(v_gid, sink), 92);
  // The sink's own gid: nothing walked.
  EXPECT_EQ(util->get_max_re_hop_delay(b->get_location_gid(), sink), 0);
  EXPECT_EQ(util->get_max_re_hop_delay(v_gid, -1), 0);
  // The sink's max rise is its interconnect delay.
  float d[4];
  kem->get_re_hop_delays(sink, 0, d);
  EXPECT_EQ(static_cast<int>(d[0] * 1e12f + 0.5f), 175);
  EXPECT_EQ(kem->get_re_hop(kem->get_re_hop(sink).parent).inversion, 0);
  // Up to the virtual source (inversion 2) the accumulator is exchanged
  // before the source's own (35, 39, 28, 32) is added: (140, 158, 112, 126)
  // + (35, 39, 28, 32) = (175, 197, 140, 158). Largest: 197, the sink's own
  // max fall.
  const int c_sink = kem->get_re_hop_of_iterm(c.iterm(DB_INPUT_PORT_DATA_IN));
  ASSERT_GE(c_sink, 0);
  int root = c_sink;
  while (kem->get_re_hop(root).parent >= 0) root = kem->get_re_hop(root).parent;
  ASSERT_EQ(kem->get_re_hop(root).inversion, 2);
  EXPECT_EQ(util->get_max_re_hop_delay(0xFFFFFFFFu - 1, c_sink), 197);
}

TEST_F(IrtmUtilTest, SlotGidsOfLabInputsAndLocations) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  auto r4 = n.reg("r4").clk(clk).d(n.input_port("d")).sclr(n.input_port("s"));
  auto r7 = n.reg("r7").clk(clk).d(n.input_port("e")).ce(n.input_port("c"));
  auto m = n.lutram("m").data_in(n.input_port("md")).clk(clk).we(n.input_port("mw"));
  place_at(r4, 5, 4, 4);
  place_at(r7, 5, 4, 7);
  place_at(m, 5, 4, 9);
  n.clock("clk", 1000, clk);
  n.timing();
  make_util();
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  EXPECT_EQ(util->get_lab_zota_gid(r4.iterm(DB_INPUT_PORT_SCLR)), static_cast<std::int32_t>(place->get_global_id(643, 5, 4, 62)));
  EXPECT_EQ(util->get_lab_zota_gid(r7.iterm(DB_INPUT_PORT_ENA)), static_cast<std::int32_t>(place->get_global_id(643, 5, 4, 65)));
  EXPECT_EQ(util->get_lab_zota_gid(r4.iterm(DB_INPUT_PORT_DATA_IN)), -1);  // usage 20
  EXPECT_EQ(util->get_lab_zota_gid(nullptr), -1);
  // A LUT-RAM's inputs used as 6 and 42 have a LAB slot each (as a
  // register's 30 and 8); any other use has none.
  VOK_ATOM_ITERM* we = m->get_input_term_by_type(DB_INPUT_PORT_LUTRAM_WE, 0);
  we->set_usage(6);
  EXPECT_EQ(util->get_lab_zota_gid(we), static_cast<std::int32_t>(place->get_global_id(643, 5, 4, 66)));
  we->set_usage(42);
  EXPECT_EQ(util->get_lab_zota_gid(we), static_cast<std::int32_t>(place->get_global_id(643, 5, 4, 67)));
  we->set_usage(30);
  EXPECT_EQ(util->get_lab_zota_gid(we), -1);

  PLACE_DB::LOCATION loc;
  EXPECT_FALSE(util->get_gid_location(0xFFFFFFFFu, &loc));
  ASSERT_TRUE(util->get_gid_location(r7->get_location_gid(), &loc));
  EXPECT_EQ(loc.x, 5u);
  EXPECT_EQ(loc.y, 4u);
  EXPECT_EQ(loc.z, 7u);
  EXPECT_EQ(loc.index, -1);
  const unsigned slot = place->get_global_id(643, 5, 4, 62);
  ASSERT_TRUE(util->get_gid_location(slot, &loc));
  EXPECT_EQ(loc.element, 282);
  EXPECT_EQ(loc.x, 5u);
  EXPECT_FALSE(util->get_gid_location(0x7FFFFFF0u, &loc));  // beyond the location table
  EXPECT_EQ(util->get_gid_string(0xFFFFFFFFu), "?");
  EXPECT_EQ(util->get_gid_string(r7->get_location_gid()), "X5_Y4_N7");
}

TEST_F(IrtmUtilTest, SlacksDomainsCostAndCorners) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  make_util();
  const KEM_NETLIST* kem = util->get_kem_netlist();
  EXPECT_EQ(util->get_min_node_slack(nullptr), IRTM_NO_SLACK);
  const KEM_NODE* d = timing_input(s[0].c0, DB_INPUT_PORT_DATA_IN);
  const std::int32_t c0 = util->get_min_node_slack(d);
  EXPECT_LT(c0, 0);
  const HOV_INCR_WNS_DOMAIN a{0, 0, 0, 0}, b{1, 1, 0, 0};
  EXPECT_LE(util->get_domain_wns(a), c0);
  EXPECT_EQ(util->get_domain_wns(HOV_INCR_WNS_DOMAIN{0, 1, 0, 0}), IRTM_NO_SLACK);
  EXPECT_EQ(util->get_domain_wns(HOV_INCR_WNS_DOMAIN{}), IRTM_NO_SLACK);  // unclocked: not in the map
  std::int64_t sum = 0;
  for (const auto& [dom, v] : sta_get_wns_map(kem))
    if (v.wns < 0) sum += v.wns;
  EXPECT_EQ(util->get_wns_cost(), sum);
  EXPECT_LT(util->get_wns_cost(), 0);
  (void)b;
  // Relaxed clocks: nothing fails, the cost is 0.
  host::timing::declare_clock("clk_a", 100000, s.clk_a.oterm);
  host::timing::declare_clock("clk_b", 100000, s.clk_b.oterm);
  sta_full_update_timing(true);
  EXPECT_EQ(util->get_wns_cost(), 0);
  // Corners: slow (current) and fast; the smallest LUT-input delay is input 0's
  // at the current corner.
  EXPECT_EQ(util->get_corners(), (std::vector<int>{0, 1}));
  EXPECT_EQ(util->get_current_corner_index(), 0);
  EXPECT_EQ(util->get_min_lut_input_delay(), 100);
  EXPECT_TRUE(util->get_all_corners());
  YEB_CELL_DELAY none;
  EXPECT_EQ(IRTM_UTIL::yeb_max(none), INT_MAX);  // "none" saturates
  // The largest of the first eight values, never below 0.
  YEB_CELL_DELAY cell;
  for (float& v : cell.values) v = -5e-12f;
  EXPECT_EQ(IRTM_UTIL::yeb_max(cell), 0);
  cell.values[7] = 25e-12f;
  cell.values[8] = 90e-12f;
  EXPECT_EQ(IRTM_UTIL::yeb_max(cell), 25);
}

TEST_F(IrtmUtilTest, ANodeInTwoDomainsAnswersItsSmallerSlack) {
  // ra -> x -> qa (same clock) and x -> qb (a slower clock): x's output lies
  // on paths of two domains, with a different slack in each.
  device(Family::KY).build();
  NETLIST_BUILDER n(netlist());
  SIG ca = n.input_port("ca"), cb = n.input_port("cb");
  n.clock("ca", 300, ca);
  n.clock("cb", 450, cb);
  auto ra = n.reg("ra").clk(ca).d(n.input_port("i"));
  auto x = n.lut("x", {ra}, 0x1);
  auto qa = n.reg("qa").clk(ca).d(x);
  auto qb = n.reg("qb").clk(cb).d(x);
  place_at(ra, 3, 3, 1);
  place_at(x, 3, 3, 2);
  place_at(qa, 3, 3, 3);
  place_at(qb, 3, 3, 4);
  n.timing();
  make_util();
  const KEM_NETLIST* kem = util->get_kem_netlist();
  int seen = 0;
  for (int i = 0; i < kem->get_node_count(); ++i) {
    const KEM_NODE* node = kem->get_node(i);
    if (!node) continue;
    const auto slacks = sta_get_node_wns_map(node, true);
    std::int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (const auto& [dom, v] : slacks) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    if (slacks.size() < 2 || lo == hi) continue;
    ++seen;
    EXPECT_EQ(util->get_min_node_slack(node), lo) << i;
  }
  EXPECT_GT(seen, 0);
}

TEST_F(IrtmUtilTest, CornerInformationDoesNotReadTheCurrentCornerModel) {
  scenes::ky_pipeline();
  KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager()->set_enable_ie_on_current_corner(true);
  make_util();
  EXPECT_EQ(util->get_corners().size(), 2u);
  KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager()->set_enable_ie_on_current_corner(false);
  cfg_set_value("muvo_zota_skip_hold_analysis", "on");
  IRTM_UTIL no_hold(env, KEM_MANAGER::get()->get_kem_netlist());
  EXPECT_FALSE(no_hold.get_all_corners());
  cfg_set_value("muvo_zota_skip_hold_analysis", "off");
}

TEST_F(IrtmUtilTest, DontTouchByReasonFlagAndEdgeFlagsCached) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  // A cell the timing netlist marks with flag 29 alone (no reason denied).
  s[0].luts[0]->set_modifiable(false);
  NETLIST_BUILDER(host::vok::top_netlist()).timing();
  make_util();
  KEM_NETLIST* kem = util->get_kem_netlist();
  bool flagged = false;
  for (int id : kem->get_cell_from_atom_id(s[0].luts[0]->get_id())->get_node_ids())
    flagged = flagged || (kem->get_node(id) && kem->get_node(id)->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH));
  ASSERT_TRUE(flagged);
  EXPECT_TRUE(util->is_timing_dont_touch(s[0].luts[0]));
  // The scene's dont-touch register: reason bit 37 and flag 29.
  EXPECT_TRUE(util->is_timing_dont_touch(s[0].dt));
  // Reason bit 37 alone; another reason does not count.
  host::drc::deny(s[0].b0->get_id(), 41, std::uint64_t{1} << 37);
  EXPECT_TRUE(util->is_timing_dont_touch(s[0].b0));
  host::drc::deny(s[0].b1->get_id(), 41, std::uint64_t{1} << 3);
  EXPECT_FALSE(util->is_timing_dont_touch(s[0].b1));
  // An edge flag on a fan-in of a's keeper (typed: data edges into a keeper).
  const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(s[0].pc->get_id());
  const KEM_NODE* keeper = kem->get_node(cell->keeper_range()[0]);
  kem->set_edge_flag_bits(keeper->begin_fanin(), 2);
  EXPECT_TRUE(util->is_timing_dont_touch(s[0].pc));
  // Cached: clearing the flag changes nothing for this utility.
  kem->set_edge_flag_bits(keeper->begin_fanin(), 0);
  EXPECT_TRUE(util->is_timing_dont_touch(s[0].pc));
  EXPECT_FALSE(util->is_timing_dont_touch(s[0].a0));
  EXPECT_FALSE(util->is_timing_dont_touch(nullptr));
  // A register's or a LUT-RAM's keeper: only its data edges are looked at,
  // a flag on its clock edge does not count.
  for (VOK_ATOM_NODE* sequential : {s[0].c0, s[0].m}) {
    const KEM_NODE* k = kem->get_node(kem->get_cell_from_atom_id(sequential->get_id())->keeper_range()[0]);
    int clock_edge = -1;
    for (int e = k->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
      if (kem->get_edge(e)->get_kind() == KEM_EDGE_CELL) clock_edge = e;
    ASSERT_GE(clock_edge, 0) << sequential->get_string_hpath();
    kem->set_edge_flag_bits(clock_edge, 1);
    EXPECT_FALSE(util->is_timing_dont_touch(sequential)) << sequential->get_string_hpath();
  }
  // Any other node: every fan-in edge counts, here the cell edge into a
  // LUT's output.
  {
    const KEM_NODE* out = kem->get_kem_node_from_oterm(s[0].luts[1]->get_oterm_slot(0));
    ASSERT_TRUE(out && out->begin_fanin() >= 0);
    kem->set_edge_flag_bits(out->begin_fanin(), 1);
    EXPECT_TRUE(util->is_timing_dont_touch(s[0].luts[1]));
  }
  // LABs: dt's LAB holds a dont-touch atom, a0's does not.
  const auto dt_xy = PLACE_DB::get_xy_from_gid(s[0].dt->get_location_gid());
  const auto a0_xy = PLACE_DB::get_xy_from_gid(s[0].a0->get_location_gid());
  EXPECT_TRUE(util->lab_contains_timing_dont_touch({static_cast<std::uint32_t>(dt_xy.first), static_cast<std::uint32_t>(dt_xy.second)}));
  EXPECT_FALSE(util->lab_contains_timing_dont_touch({static_cast<std::uint32_t>(a0_xy.first), static_cast<std::uint32_t>(a0_xy.second)}));
}

TEST_F(IrtmUtilTest, RetimabilityOfCombinationalAndArithmeticCells) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  make_util();
  VOK_ATOM_NODE* l1 = s[0].luts[1];
  EXPECT_TRUE(util->is_retimable_comb(l1));
  EXPECT_FALSE(util->is_retimable_comb(s[0].a0));  // a register
  EXPECT_FALSE(util->is_retimable_comb(nullptr));
  // A constant mask is refused, both constants.
  const std::uint64_t mask = l1->get_lutmask().get_value();
  l1->get_lutmask() = VOK_LUTMASK(0);
  EXPECT_FALSE(util->is_retimable_comb(l1));
  l1->get_lutmask() = VOK_LUTMASK(~std::uint64_t{0});
  EXPECT_FALSE(util->is_retimable_comb(l1));
  l1->get_lutmask() = VOK_LUTMASK(mask);
  // An output with a load used as 8, 252 or a plain result (0) is refused.
  {
    VOK_ATOM_OTERM* o = l1->get_oterm_slot(0);
    const int usage = o->get_any_usage_as();
    for (int refused : {8, 252, 0}) {
      o->set_usage(refused);
      EXPECT_FALSE(util->is_retimable_comb(l1)) << "output usage " << refused;
    }
    o->set_usage(usage);
    EXPECT_TRUE(util->is_retimable_comb(l1));
  }
  // Operation 5 denied on the cell.
  host::drc::deny(s[0].luts[2]->get_id(), 5);
  EXPECT_FALSE(util->is_retimable_comb(s[0].luts[2]));
  // An input of usage 2 or 273.
  {
    VOK_ATOM_ITERM* in = s[0].luts[3]->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
    const int usage = in->get_any_usage_as();
    for (int refused : {2, 273}) {
      in->set_usage(refused);
      EXPECT_FALSE(util->is_retimable_comb(s[0].luts[3])) << "input usage " << refused;
    }
    in->set_usage(usage);
    EXPECT_TRUE(util->is_retimable_comb(s[0].luts[3]));
    in->set_usage(273);
  }
  // Arithmetic: a carry input marks the cell; usage 16 forbids; no mark: false.
  auto chain = NETLIST_BUILDER(host::vok::top_netlist()).carry_chain("add", 2);
  vok_connect(s[0].a0->get_oterm_slot(0), chain.cell(1)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
  EXPECT_TRUE(util->is_retimable_arith(chain.cell(1)));
  EXPECT_FALSE(util->is_retimable_arith(l1));  // a plain LUT carries no arithmetic mark
  // An output used as a plain result (usage 0) with a load is a mark on
  // its own, with no arithmetic input.
  VOK_ATOM_OTERM* out = l1->get_oterm_slot(0);
  VOK_ATOM_ITERM* in = l1->get_iterm_slot(0);
  const int out_usage = out->get_any_usage_as(), in_usage = in->get_any_usage_as();
  ASSERT_NE(out_usage, 0);
  in->set_usage(0);
  EXPECT_FALSE(util->is_retimable_arith(l1));
  out->set_usage(0);
  EXPECT_TRUE(util->is_retimable_arith(l1));
  // With an output use that marks nothing, an input used as 12 to 15 marks
  // it.
  out->set_usage(1);
  EXPECT_FALSE(util->is_retimable_arith(l1));
  for (int marks : {12, 15}) {
    in->set_usage(marks);
    EXPECT_TRUE(util->is_retimable_arith(l1)) << "input usage " << marks;
  }
  // Marked so, an output with a load used as 9 or 252 is refused.
  for (int refused : {9, 252}) {
    out->set_usage(refused);
    EXPECT_FALSE(util->is_retimable_arith(l1)) << "output usage " << refused;
  }
  out->set_usage(out_usage);
  in->set_usage(in_usage);
  chain.cell(1)->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_usage(16);
  EXPECT_FALSE(util->is_retimable_arith(chain.cell(1)));
}

TEST_F(IrtmUtilTest, PartitionCrossingsAreAnsweredPerOutput) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  // A two-output cell: its sum feeds the other partition's register, its
  // carry-out stays in the top partition.
  auto chain = NETLIST_BUILDER(host::vok::top_netlist()).carry_chain("xadd", 2);
  VOK_ATOM_NODE* cell = chain.cell(0);
  // The box terminal c0 drives (r's data input inside the box).
  VOK_ATOM_NODE* box = s[0].r->get_parent_netlist()->get_parent_box();
  VOK_ATOM_ITERM* into_box = nullptr;
  for (std::size_t i = 0; i < box->get_iterm_slot_count(); ++i)
    if (VOK_ATOM_ITERM* t = box->get_iterm_slot(i); t && t->get_source(VOK_TRAVERSE_AS_STORED) == s[0].c0->get_oterm_slot(0))
      into_box = t;
  ASSERT_TRUE(into_box);
  VOK_ATOM_OTERM* sum = cell->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0);
  VOK_ATOM_OTERM* cout = cell->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
  ASSERT_TRUE(sum && cout);
  vok_connect(sum, into_box);
  make_util();
  EXPECT_TRUE(util->feeds_partition(sum));
  EXPECT_FALSE(util->feeds_partition(cout));  // not the sum's answer
  EXPECT_TRUE(util->is_fed_by_partition(s[0].after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  EXPECT_FALSE(util->is_fed_by_partition(s[0].c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  EXPECT_FALSE(util->is_fed_by_partition(nullptr));
}

}  // namespace
