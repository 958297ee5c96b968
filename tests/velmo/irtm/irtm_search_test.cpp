// The retimer's move search: retimability and register lookups, the
// routing-element trees of routed nets, and the moves the forward and
// backward searches fill (nothing is edited here).
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dux/dux.h"
#include "norbo/norbo_zota_clock.h"
#include "kem/kem_manager.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "irtm_search_scene.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

using namespace host::testing;
using IDS = std::vector<std::uint32_t>;

class IrtmSearchTest : public IRTM_SEARCH_SCENE {
public:
  // A register in the pipeline slot of a LAB's data-input mux.
  static void in_routing_slot(VOK_ATOM_NODE* r, int x, int y, int input) {
    r->set_location(slot_gid(x, y, input), 282);
  }
  static unsigned slot_gid(int x, int y, int input) {
    return host::device::die_info()->get_route_info()->get_gid(282, x, y, input);
  }
  // A new manager on the same design, reading the clock-to-output guard
  // band `gb`.
  void restart_with_guard_band(std::int32_t gb) {
    mgr->cleanup(true);
    mgr.reset();
    cfg_set_value("muvo_zota_tco_gb", std::to_string(gb).c_str());
    mgr = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
    mgr->setup();
  }
  // Two pipeline registers on other clocks in row y: the row segment's
  // clock budget is spent (call before start(), fill_row() after).
  void other_clocks_in_row(int y) {
    for (int i = 0; i < 2; ++i) {
      SIG c = n->input_port("row_clk" + std::to_string(y) + std::to_string(i));
      auto r = n->zota_reg("row_reg" + std::to_string(y) + std::to_string(i)).clk(c).d(n->input_port("row_d" + std::to_string(y) + std::to_string(i)));
      in_routing_slot(r, 5 + 2 * i, y, 3);
      row_regs.push_back(r);
    }
  }
  void fill_rows() {
    for (VOK_ATOM_NODE* r : row_regs) {
      VOK_ATOM_OTERM* c = r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL);
      ASSERT_TRUE(NORBO_ZOTA_MANAGER::place(mgr->dux()->get_zota_legality(), gid(r), c, false, true));
    }
  }
  std::vector<VOK_ATOM_NODE*> row_regs;
  static VOK_ATOM_OTERM* q_of(VOK_ATOM_NODE* a) { return a->get_oterm_slot(0); }
  RE_NODE* leaf(VOK_ATOM_ITERM* t) { return mgr->re_manager().find_node(t); }
  static std::uint32_t slot_of(RE_NODE* node) { return static_cast<RE_NON_TERMINAL*>(node)->get_re_gid(); }
};

// ---------------------------------------------------------------- retimability and lookups

TEST_F(IrtmSearchTest, EachRetimabilityTestRefusesOnItsOwn) {
  SIG in = n->input_port("in");
  auto base = reg("base", in, 2, 2, 1);
  reg("base_load", base, 2, 2, 2);
  std::vector<VOK_ATOM_NODE*> refused;
  auto with_load = [&](const std::string& name, REG_BUILDER r, int z) {
    reg(name + "_load", r, 3, 2, z);
    refused.push_back(r);
    return r;
  };
  with_load("fixed", reg("fixed", in, 2, 2, 4), 1)->set_modifiable(false);
  scenes::set_bypassed(with_load("bypassed", reg("bypassed", in, 2, 2, 5), 2));
  host::drc::deny(with_load("denied", reg("denied", in, 2, 2, 7), 4)->get_id(), 41, std::uint64_t{1} << 3);
  refused.push_back(reg("unused", in, 2, 2, 8));
  auto divider = with_load("divider", reg("divider", in, 2, 2, 10), 5);
  n->clock("div", 2000, divider);
  with_load("clocked_data", reg("clocked_data", clk, 2, 2, 11), 7);
  with_load("async", reg("async", in, 2, 2, 13), 8).aclr(n->input_port("rst"));
  with_load("no_data", reg("no_data", SIG(), 2, 2, 14), 10);
  auto no_clock = n->reg("no_clock").d(in);
  place_at(no_clock, 2, 2, 16);
  with_load("no_clock", no_clock, 11);
  // A single LUT-RAM data fanout refuses; a second fanout lifts it.
  auto to_ram = reg("to_ram", in, 2, 2, 17);
  n->lutram("ram").data_in(to_ram).clk(clk);
  refused.push_back(to_ram);
  auto to_ram2 = reg("to_ram2", in, 2, 2, 19);
  n->lutram("ram2").data_in(to_ram2).clk(clk);
  reg("to_ram2_load", to_ram2, 3, 2, 13);
  auto touched = with_load("touched", reg("touched", in, 2, 2, 20), 14);
  refused.pop_back();
  // A synchronous clear and a clock enable do not refuse; inside a
  // partition the clock, and only the clock, may come across its border.
  auto secondary = reg("secondary", in, 2, 2, 22).sclr(n->input_port("clr")).ce(n->input_port("en"));
  reg("secondary_load", secondary, 3, 2, 16);
  VOK_ATOM_NODE* part[3] = {};
  auto box = n->blackbox("part", [&](NETLIST_BUILDER& b) {
    SIG c = b.input("c");
    SIG d = b.input("d");
    for (int k = 0; k < 3; ++k) part[k] = b.reg("p" + std::to_string(k)).clk(c).d(k ? SIG(part[k - 1]) : d);
    b.output("o", part[2]);
  });
  box.in("c", clk).in("d", in);
  for (int k = 0; k < 3; ++k) {
    place_at(part[k], 3, 3, 1 + k);
    part[k]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(2);
  }
  start();
  EXPECT_TRUE(mgr->is_retimable_ff(base));
  EXPECT_TRUE(mgr->is_retimable_ff(to_ram2));
  EXPECT_TRUE(mgr->is_retimable_ff(secondary));
  EXPECT_TRUE(mgr->is_retimable_ff(part[1]));
  for (VOK_ATOM_NODE* r : refused) EXPECT_FALSE(mgr->is_retimable_ff(r)) << r->get_string_hpath();
  EXPECT_FALSE(mgr->is_retimable_ff(nullptr));
  EXPECT_FALSE(mgr->is_retimable_ff(lut("not_a_reg", {in}, 5, 5, 0)));
  // Clock connection codes: only the ordinary ones refuse.
  VOK_ATOM_ITERM* c = base.iterm(DB_INPUT_PORT_CLK);
  for (int code : {0, 1, 3, 4}) {
    c->set_connection_code(code);
    EXPECT_FALSE(mgr->is_retimable_ff(base)) << code;
  }
  c->set_connection_code(5);
  EXPECT_TRUE(mgr->is_retimable_ff(base));
  // Timing dont-touch: a flagged fan-in edge of the keeper.
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* keeper = kem->get_node(kem->get_cell_from_atom_id(touched->get_id())->keeper_range()[0]);
  kem->set_edge_flag_bits(keeper->begin_fanin(), 1);
  EXPECT_FALSE(mgr->is_retimable_ff(touched));
}

// The bundled scene builds its own device.
class IrtmSearchSceneTest : public IrtmSearchTest {
public:
  void SetUp() override { HostTest::SetUp(); }
};

// c0 feeds the other partition and `after` (given a load of its own here)
// is fed by it: neither is retimed. Fed from the top partition instead,
// `after` is.
TEST_F(IrtmSearchSceneTest, PartitionBordersRefuseRetiming) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  NETLIST_BUILDER n(netlist());
  auto load = n.reg("after_load").clk(s.clk_a).d(s[0].after);
  place_at(load, 5, 4, 5);
  n.timing();
  for (VOK_ATOM_NODE* r : {s[0].c0, s[0].after, s[0].b0})
    r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(2);
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  mgr = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
  mgr->setup();
  EXPECT_FALSE(mgr->is_retimable_ff(s[0].c0));
  EXPECT_FALSE(mgr->is_retimable_ff(s[0].after));
  EXPECT_TRUE(mgr->is_retimable_ff(s[0].b0));
  mgr->cleanup(true);
  mgr.reset();
  vok_connect(s[0].b0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0),
              s[0].after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  n.timing();
  mgr = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
  mgr->setup();
  EXPECT_TRUE(mgr->is_retimable_ff(s[0].after));
}

TEST_F(IrtmSearchTest, PartnersCarryChainsAndLoadsThroughPipelineRegisters) {
  SIG in = n->input_port("in");
  std::vector<VOK_ATOM_NODE*> r;
  for (int z : {7, 8, 10, 11}) r.push_back(reg("r" + std::to_string(z), in, 3, 3, z));
  // A chain of three cells, the head in LAB (2, 4), the others in (3, 4);
  // each sum feeds a register, the tail's carry-out nothing yet.
  auto chain = n->carry_chain("add", 3);
  const int at[3][3] = {{2, 4, 0}, {3, 4, 0}, {3, 4, 3}};
  for (int i = 0; i < 3; ++i) {
    place_at(chain.cell(i), at[i][0], at[i][1], at[i][2]);
    vok_connect(q_of(r[0]), chain.cell(i)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
    reg("sum" + std::to_string(i), chain.cell(i).out(DB_OUTPUT_PORT_SUM), 5, 4, 1 + 3 * i);
  }
  // Pipeline registers: one in a routing slot, one at a LAB position.
  auto src = reg("src", in, 2, 2, 1);
  auto in_route = n->zota_reg("in_route").clk(clk).d(src);
  in_routing_slot(in_route, 3, 2, 3);
  auto behind = reg("behind", in_route, 3, 2, 1);
  auto in_lab = n->zota_reg("in_lab").clk(clk).d(src);
  place_in_slot(in_lab, 3, 2, 61);
  // A pipeline register clocked by src is a load of src like any other.
  auto clocked = n->zota_reg("clocked").clk(src).d(in);
  in_routing_slot(clocked, 3, 2, 4);
  reg("behind_clocked", clocked, 3, 2, 2);
  start();

  // Peers are looked up, never made: 8 has no object until asked for.
  EXPECT_EQ(mgr->get_peer_irtm_ff(ff(r[0])), nullptr);
  EXPECT_EQ(mgr->get_peer_irtm_ff(ff(r[0])), nullptr);
  IRTM_FF* r8 = ff(r[1]);
  EXPECT_EQ(mgr->get_peer_irtm_ff(ff(r[0])), r8);
  EXPECT_EQ(mgr->get_peer_irtm_ff(r8), ff(r[0]));
  IRTM_FF* r11 = ff(r[3]);
  EXPECT_EQ(mgr->get_peer_irtm_ff(ff(r[2])), r11);
  PLACE_DB::LOCATION routed;
  routed.index = 3;
  EXPECT_EQ(expect_internal_error([&] { mgr->get_lab_irtm_ff(routed); }).condition,
            "loc.index == -1 && loc.elem == DEV_ELEMENT_INVALID");

  std::list<VOK_ATOM_NODE*> got;
  const std::list<VOK_ATOM_NODE*> all(chain.cells().begin(), chain.cells().end());
  EXPECT_TRUE(mgr->get_carry_chain(chain.cell(1), &got, nullptr));
  EXPECT_EQ(got, all);  // the head (its carry-in unconnected) first
  VOK_ATOM_ITERM* border = nullptr;
  EXPECT_TRUE(mgr->get_carry_chain(chain.cell(2), &got, &border));
  EXPECT_EQ(got, (std::list<VOK_ATOM_NODE*>{chain.cell(1), chain.cell(2)}));
  EXPECT_EQ(border, chain.cell(1)->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0));
  // A head in the same column, one LAB up, is across a border as well.
  place_at(chain.cell(0), 3, 5, 0);
  border = nullptr;
  EXPECT_TRUE(mgr->get_carry_chain(chain.cell(2), &got, &border));
  EXPECT_EQ(got, (std::list<VOK_ATOM_NODE*>{chain.cell(1), chain.cell(2)}));
  EXPECT_EQ(border, chain.cell(1)->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0));
  place_at(chain.cell(0), 2, 4, 0);
  EXPECT_FALSE(mgr->get_carry_chain(r[0], &got, nullptr));
  // The tail's carry-out continues into a further cell; a second load on it
  // ends the chain.
  VOK_ATOM_OTERM* cout = chain.cell(2)->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
  ASSERT_TRUE(cout);
  VOK_ATOM_NODE* ext = n->carry_chain("ext", 1).cell(0);
  VOK_ATOM_ITERM* ext_cin = ext->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
  vok_connect(cout, ext_cin ? ext_cin : ext->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
  EXPECT_TRUE(mgr->get_carry_chain(chain.cell(0), &got, nullptr));
  EXPECT_EQ(got.size(), 4u);
  vok_connect(cout, n->reg("c1").clk(clk)->add_input_term(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_FALSE(mgr->get_carry_chain(chain.cell(0), &got, nullptr));
  EXPECT_EQ(mgr->create_carry_re_tree(d_of(r[0])), nullptr);

  std::vector<VOK_ATOM_ITERM*> loads;
  mgr->get_dst_iterms(q_of(src), &loads, true);
  VOK_ATOM_ITERM* clocked_clk = clocked.iterm(DB_INPUT_PORT_CLK);
  EXPECT_EQ(loads, (std::vector<VOK_ATOM_ITERM*>{d_of(behind), d_of(in_lab), clocked_clk}));
  loads.clear();
  mgr->get_dst_iterms(q_of(src), &loads, false);
  EXPECT_EQ(loads, (std::vector<VOK_ATOM_ITERM*>{d_of(in_route), d_of(in_lab), clocked_clk}));
}

// ---------------------------------------------------------------- routing-element paths

TEST_F(IrtmSearchTest, TreesFollowTheRoutesSlots) {
  auto a = reg("a", n->input_port("in"), 2, 2, 1);
  auto b = reg("b", a, 3, 3, 1);
  auto c = reg("c", a, 3, 3, 2);
  auto far = reg("far", a, 5, 3, 1);
  auto loose = reg("loose", a, 5, 3, 2);  // unrouted
  auto g = reg("g", n->input_port("g_in"), 2, 2, 2);
  auto e = reg("e", n->input_port("e_in"), 3, 3, 4).ce(g);
  auto ram = n->lutram("ram").we(g).clk(clk);
  place_at(ram, 3, 3, 6);
  auto routes = routing();
  routes.routing(a)
      .wire(lab_output(2, 2, 94))
      .branch([&](NET_BUILDER& x) { x.wire(lab_input(2, 3, 7)).wire(h(2, 3)).wire(lab_input(5, 3, 9)).sink(d_of(far)); })
      .wire(h(2, 2))
      .wire(lab_input(3, 3, 5))
      .branch([&](NET_BUILDER& x) { x.sink(d_of(b)); })
      .sink(d_of(c));
  VOK_ATOM_ITERM* we = ram.iterm(DB_INPUT_PORT_LUTRAM_WE);
  routes.routing(g)
      .wire(lab_output(2, 2, 95))
      .wire(v(2, 2))
      .wire(lab_input(3, 3, 11))
      .branch([&](NET_BUILDER& x) { x.sink(we); })
      .sink(e.iterm(DB_INPUT_PORT_ENA));
  start();
  RE_NODE* root = mgr->create_re_tree(q_of(a));
  EXPECT_EQ(mgr->create_re_tree(q_of(a)), root);
  ASSERT_TRUE(root->is_src());
  // Children: the shared slot (two leaves), the slot far up the branch to
  // `far`, and the unrouted load directly.
  ASSERT_EQ(root->get_num_children(), 3);
  EXPECT_EQ(root->get_num_leaf(), 1);
  RE_NODE* shared = leaf(d_of(b))->get_parent();
  EXPECT_EQ(slot_of(shared), slot_gid(3, 3, 5));
  EXPECT_EQ(leaf(d_of(c))->get_parent(), shared);
  EXPECT_EQ(shared->get_num_children(), 2);
  RE_NODE* near_far = leaf(d_of(far))->get_parent();
  EXPECT_EQ(slot_of(near_far), slot_gid(5, 3, 9));
  EXPECT_EQ(slot_of(near_far->get_parent()), slot_gid(2, 3, 7));
  EXPECT_EQ(near_far->get_parent()->get_parent(), root);
  EXPECT_EQ(leaf(d_of(loose))->get_parent(), root);
  EXPECT_GT(mgr->get_incr_node_delay(near_far), 0);
  EXPECT_EQ(mgr->create_re_tree(d_of(b)), leaf(d_of(b)));
  EXPECT_EQ(mgr->create_re_tree(static_cast<VOK_ATOM_ITERM*>(nullptr)), nullptr);

  // A clock enable sits under its LAB slot; walking past it adds the slots
  // of its route above.
  VOK_ATOM_ITERM* ce = e.iterm(DB_INPUT_PORT_ENA);
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  mgr->create_re_tree(q_of(g));
  RE_NODE* lab_slot = leaf(ce)->get_parent();
  EXPECT_EQ(slot_of(lab_slot), static_cast<std::uint32_t>(util->get_lab_zota_gid(ce)));
  EXPECT_EQ(slot_of(lab_slot->get_parent()), slot_gid(3, 3, 11));
  // So does a LUT-RAM input used as one of its LAB's two shared signals,
  // and no other LUT-RAM input.
  for (const int usage : {42, 6, static_cast<int>(DB_INPUT_PORT_LUTRAM_WE)}) {
    mgr->re_manager().clear();
    we->set_usage(usage);
    mgr->create_re_tree(q_of(g));
    const bool shared = usage != DB_INPUT_PORT_LUTRAM_WE;
    EXPECT_EQ(slot_of(leaf(we)->get_parent()) == static_cast<std::uint32_t>(util->get_lab_zota_gid(we)), shared) << usage;
    EXPECT_EQ(slot_of(leaf(we)->get_parent()) == slot_gid(3, 3, 11), !shared) << usage;
  }
  mgr->re_manager().clear();
  IRTM_FF* partner = ff(a);
  scenes::set_bypassed(e);  // a bypassed register has no paths of its own
  EXPECT_FALSE(mgr->create_secsig_re_tree(ff(e), &partner));
  EXPECT_EQ(partner, nullptr);
  scenes::set_bypassed(e, false);
  EXPECT_TRUE(mgr->create_secsig_re_tree(ff(e), &partner));
  EXPECT_EQ(partner, nullptr);
  EXPECT_EQ(slot_of(leaf(ce)->get_parent()), static_cast<std::uint32_t>(util->get_lab_zota_gid(ce)));
  EXPECT_TRUE(leaf(ce)->get_parent()->get_parent()->is_src());
  EXPECT_FALSE(mgr->create_secsig_re_tree(ff(e), &partner));  // its leaf exists already
  EXPECT_FALSE(mgr->create_secsig_re_tree(ff(a), &partner));  // no secondary signals

  // A load whose last hop is not its own block (here `far`, moved inside its
  // LAB after the timing netlist read the routing) hangs below its block:
  // the walk passes every hop until it meets the load's block, slots
  // included, so the leaf ends under the source.
  mgr->re_manager().clear();
  far->set_location(site_gid(5, 3, 4), 643);
  mgr->create_re_tree(q_of(a));
  EXPECT_TRUE(leaf(d_of(far))->get_parent()->is_src());
  EXPECT_EQ(slot_of(leaf(d_of(b))->get_parent()), slot_gid(3, 3, 5));
}

TEST_F(IrtmSearchTest, PartnersWhoseEnablesEndInDifferentPlacesAreAnInternalError) {
  SIG en = n->input_port("en");
  auto p1 = reg("p1", n->input_port("d1"), 3, 3, 1).ce(en);
  auto p2 = reg("p2", n->input_port("d2"), 3, 3, 2).ce(en);
  reg("l1", p1, 3, 4, 1);
  reg("l2", p2, 3, 4, 2);
  routing().routing(en).wire(lab_input(3, 3, 12)).sink(p1.iterm(DB_INPUT_PORT_ENA));  // p2's enable unrouted
  start();
  ff(p2);
  IRTM_FF* partner = nullptr;
  EXPECT_EQ(expect_internal_error([&] { mgr->create_secsig_re_tree(ff(p1), &partner); }).condition,
            "node1->get_parent() == node2->get_parent()");
}

// ---------------------------------------------------------------- forward moves

TEST_F(IrtmSearchTest, ForwardIntoABypassedRegisterAtTheOnlyLoad) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto t = reg("t", f, 3, 3, 1);
  scenes::set_bypassed(t);
  reg("t_load", t, 3, 3, 2);
  auto fe = reg("fe", n->input_port("in2"), 2, 2, 2).ce(n->input_port("en"));
  auto te = reg("te", fe, 3, 3, 4);
  scenes::set_bypassed(te);
  reg("te_load", te, 3, 3, 5);
  // tl is in use: f moves into no live register.
  auto fl = reg("fl", n->input_port("in3"), 2, 2, 4);
  auto tl = reg("tl", fl, 3, 3, 7);
  reg("tl_load", tl, 3, 3, 8);
  // A bypassed register's enable driven from its LAB slot: the slot's
  // register goes with the move when it drives nothing else (g0), not when
  // it does (g1); an enable from a register outside the LAB's slots (g3)
  // cannot go. A register driving only such an enable (g2) does not move
  // into the register it enables.
  std::vector<REG_BUILDER> fs, ts;
  for (int k = 0; k < 4; ++k) {
    const std::string i = std::to_string(k);
    REG_BUILDER g = k == 3 ? reg("g3", n->input_port("g_in3"), 2, 4 + k, 4)
                           : n->zota_reg("g" + i).clk(clk).d(n->input_port("g_in" + i));
    if (k < 3) place_in_slot(g, 3, 4 + k, 61);
    SIG d = k != 2 ? SIG(reg("f" + i, n->input_port("f_in" + i), 2, 4 + k, 1)) : n->input_port("f_in" + i);
    auto t_en = reg("t_en" + i, d, 3, 4 + k, 1).ce(g);
    scenes::set_bypassed(t_en);
    reg("t_en_load" + i, t_en, 3, 4 + k, 2);
    fs.push_back(k != 2 ? REG_BUILDER(d.oterm->get_my_node()) : g);
    ts.push_back(t_en);
  }
  reg("g1_other", REG_BUILDER(n->find("g1")), 3, 5, 4);
  // A timing-dont-touch atom in t's LAB.
  host::drc::deny(n->find("t_load")->get_id(), 41, std::uint64_t{1} << 37);
  auto idle = reg("idle", n->input_port("in_idle"), 2, 3, 1);  // drives nothing
  start();
  // A register whose output drives nothing, or one bypassed, moves neither
  // way; the move is left as it was.
  move.m_bypassed = {7};
  for (VOK_ATOM_NODE* r : {static_cast<VOK_ATOM_NODE*>(idle), static_cast<VOK_ATOM_NODE*>(t)}) {
    EXPECT_FALSE(mgr->forward_retime(ff(r), &move)) << r->get_string_hpath();
    EXPECT_FALSE(mgr->backward_retime(ff(r), &move)) << r->get_string_hpath();
    EXPECT_EQ(move.m_bypassed, IDS{7}) << r->get_string_hpath();
  }
  move.clear();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(fl), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_SLOT);
  EXPECT_EQ(move.failure.get_iterm(), d_of(tl));
  EXPECT_TRUE(move.m_enabled.empty());
  move.clear();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_bypassed, IDS{gid(f)});
  EXPECT_EQ(move.m_enabled, IDS{gid(t)});
  // A register with a clock enable never ends in a bypassed register.
  move.clear();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(fe), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_SLOT);
  EXPECT_EQ(move.failure.get_iterm(), d_of(te));
  EXPECT_TRUE(move.m_enabled.empty());
  move.clear();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(fs[0]), &move));
  EXPECT_EQ(move.m_bypassed, (IDS{gid(n->find("g0")), gid(fs[0])}));
  EXPECT_EQ(move.m_enabled, IDS{gid(ts[0])});
  for (int k : {1, 3, 2}) {
    move.clear();
    EXPECT_FALSE(mgr->forward_retime_soln(ff(fs[static_cast<std::size_t>(k)]), &move)) << k;
    EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_SLOT) << k;
    EXPECT_TRUE(move.m_enabled.empty()) << k;
  }
  EXPECT_EQ(move.failure.get_iterm(), ts[2].iterm(DB_INPUT_PORT_ENA));
  // The move found above touches t's LAB, which holds a timing-dont-touch
  // atom: it is refused and nothing changes.
  EXPECT_FALSE(mgr->forward_retime(ff(f), &move));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("LAB(3, 3): contains TIMING_DONT_TOUCH"));
  EXPECT_FALSE(ff(f)->is_bypassed());
  EXPECT_TRUE(ff(t)->is_bypassed());
}

TEST_F(IrtmSearchTest, ForwardAcrossTwoLuts) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto g = reg("g", n->input_port("in2"), 2, 2, 2);
  VOK_ATOM_NODE* l1 = lut("l1", {f, g}, 2, 2, 3);
  VOK_ATOM_NODE* l2 = lut("l2", {g, f}, 2, 2, 6);
  auto t1 = reg("t1", l1, 3, 3, 1);
  auto t2 = reg("t2", l2, 3, 3, 2);
  scenes::set_bypassed(t1);
  scenes::set_bypassed(t2);
  reg("t1_load", t1, 3, 3, 4);
  reg("t2_load", t2, 3, 3, 5);
  start();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_bypassed, (IDS{gid(g), gid(f)}));
  EXPECT_EQ(move.m_atoms, (std::vector<VOK_ATOM_NODE*>{l1, l2}));
  EXPECT_EQ(move.m_enabled, (IDS{gid(t1), gid(t2)}));
  std::vector<VOK_ATOM_OTERM*> outs;
  std::vector<VOK_ATOM_ITERM*> side;
  move.clear();
  ASSERT_TRUE(mgr->forward_retime_check_fanout_xcomb(ff(f), &outs, &side, &move));
  EXPECT_EQ(outs, (std::vector<VOK_ATOM_OTERM*>{q_of(l1), q_of(l2)}));
  EXPECT_TRUE(side.empty());
}

TEST_F(IrtmSearchTest, ForwardAcrossLogicRefusals) {
  SIG other_clk = n->input_port("clk2");
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto g = reg("g", n->input_port("in2"), 2, 2, 2);
  auto h = reg("h", n->input_port("in3"), 2, 2, 4, other_clk);
  VOK_ATOM_NODE* l1 = lut("l1", {f, g}, 2, 2, 3);
  auto g_side = reg("g_side", g, 3, 3, 1);
  reg("t1", l1, 3, 3, 2);
  // f2 drives a LUT and an adder; f3 a LUT fed by a port; f4 one with h.
  auto f2 = reg("f2", n->input_port("in4"), 2, 2, 5);
  lut("l2", {f2}, 2, 2, 6);
  auto chain = n->carry_chain("add", 1);
  place_at(chain.cell(0), 2, 2, 9);
  vok_connect(q_of(f2), chain.cell(0)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
  reg("sum", chain.cell(0).out(DB_OUTPUT_PORT_SUM), 3, 3, 4);
  SIG port = n->input_port("in5");
  auto f3 = reg("f3", n->input_port("in6"), 2, 2, 7);
  reg("t3", lut("l3", {f3, port}, 2, 2, 12), 3, 3, 5);
  auto f4 = reg("f4", n->input_port("in7"), 2, 2, 8);
  reg("t4", lut("l4", {f4, h}, 2, 2, 15), 3, 3, 7);
  // f5's LUT has a bypassed register at its other input; f6 drives cells of
  // two carry chains, and only the first one's chain is crossed.
  auto f5 = reg("f5", n->input_port("in8"), 2, 3, 1);
  auto g5 = reg("g5", n->input_port("in9"), 2, 3, 2);
  scenes::set_bypassed(g5);
  reg("t5", lut("l5", {f5, g5}, 2, 3, 3), 3, 4, 1);
  auto f6 = reg("f6", n->input_port("in10"), 2, 3, 4);
  std::vector<VOK_ATOM_ITERM*> chain_inputs;
  for (int k = 0; k < 2; ++k) {
    auto cell = n->carry_chain("add6_" + std::to_string(k), 1);
    place_at(cell.cell(0), 2, 4, 3 * k);
    chain_inputs.push_back(cell.cell(0)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
    vok_connect(q_of(f6), chain_inputs.back());
    reg("sum6_" + std::to_string(k), cell.cell(0).out(DB_OUTPUT_PORT_SUM), 3, 4, 4 + k);
  }
  start();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(f), &move));  // g also feeds g_side
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::BAD_FANOUT);
  EXPECT_TRUE(move.failure.get_port().is_empty());
  std::vector<VOK_ATOM_OTERM*> outs;
  std::vector<VOK_ATOM_ITERM*> side;
  move.clear();
  ASSERT_TRUE(mgr->forward_retime_check_fanout_xcomb(ff(f), &outs, &side, &move));
  EXPECT_EQ(side, std::vector<VOK_ATOM_ITERM*>{d_of(g_side)});
  const auto fails = [&](VOK_ATOM_NODE* r, IRTM_FAILURE::REASON reason, VOK_ATOM_OTERM* port_of) {
    move.clear();
    outs.clear();
    side.clear();
    EXPECT_FALSE(mgr->forward_retime_check_fanout_xcomb(ff(r), &outs, &side, &move));
    EXPECT_EQ(move.failure.get_reason(), reason) << r->get_string_hpath();
    EXPECT_FALSE(move.failure.is_input());
    EXPECT_EQ(move.failure.get_port().get_atom_id(), static_cast<std::uint32_t>(port_of->get_my_node()->get_id()));
  };
  fails(f2, IRTM_FAILURE::BAD_FANOUT, q_of(f2));
  fails(f3, IRTM_FAILURE::NO_REGISTER, port.oterm);
  fails(f4, IRTM_FAILURE::INCOMPATIBLE_REGISTER, q_of(h));
  fails(f5, IRTM_FAILURE::INCOMPATIBLE_REGISTER, q_of(g5));
  // The moved register's own load on the second chain is a side load: the
  // move would take the register from it.
  move.clear();
  outs.clear();
  side.clear();
  ASSERT_TRUE(mgr->forward_retime_check_fanout_xcomb(ff(f6), &outs, &side, &move));
  EXPECT_EQ(side, std::vector<VOK_ATOM_ITERM*>{chain_inputs[1]});
  move.clear();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(f6), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::BAD_FANOUT);
}

// ---------------------------------------------------------------- backward moves

TEST_F(IrtmSearchTest, BackwardIntoABypassedDriverAndItsSideLoads) {
  auto t = reg("t", n->input_port("in"), 2, 2, 1);
  scenes::set_bypassed(t);
  auto f = reg("f", t, 3, 3, 1);
  auto k = reg("k", t, 3, 3, 2);
  reg("f_load", f, 3, 3, 4);
  reg("k_load", k, 3, 3, 5);
  auto t2 = reg("t2", n->input_port("in2"), 2, 2, 2);
  scenes::set_bypassed(t2);
  auto f2 = reg("f2", t2, 3, 4, 1);
  reg("f2_load", f2, 3, 4, 2);
  VOK_ATOM_NODE* side_lut = lut("side_lut", {t2}, 3, 4, 3);
  reg("lut_load", side_lut, 3, 4, 4);
  // A timing-dont-touch atom in the LAB of f and k.
  host::drc::deny(n->find("k_load")->get_id(), 41, std::uint64_t{1} << 37);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.m_bypassed, (IDS{gid(k), gid(f)}));
  EXPECT_EQ(move.m_enabled, IDS{gid(t)});
  EXPECT_TRUE(move.m_slots.empty());
  // That move touches the dont-touch LAB: refused, nothing changes.
  EXPECT_FALSE(mgr->backward_retime(ff(f), &move));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("LAB(3, 3): contains TIMING_DONT_TOUCH"));
  EXPECT_FALSE(ff(f)->is_bypassed());
  EXPECT_TRUE(ff(t)->is_bypassed());
  // A side load that is no register's data input.
  EXPECT_FALSE(mgr->backward_retime_search(ff(f2), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), side_lut->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  EXPECT_TRUE(move.m_bypassed.empty());
}

// f moves back across l into the bypassed registers t1 and t2 (re-enabled
// powering up at 0). g's LUT has a bypassed register on another clock at an
// input; e's, powering up at 1, computes 0 from two zeros at power-up.
TEST_F(IrtmSearchTest, BackwardThroughALutIntoBypassedRegisters) {
  std::vector<REG_BUILDER> t;
  for (int k = 0; k < 6; ++k) {
    t.push_back(reg("t" + std::to_string(k), n->input_port("in" + std::to_string(k)), 2, 2 + k / 2, 1 + k % 2,
                    k == 3 ? n->input_port("clk2") : SIG()));
    scenes::set_bypassed(t.back());
  }
  VOK_ATOM_NODE* l = lut("l", {t[0], t[1]}, 2, 2, 3);
  auto f = reg("f", l, 3, 3, 1);
  reg("f_load", f, 3, 3, 2);
  auto g = reg("g", lut("lg", {t[2], t[3]}, 2, 3, 3), 3, 4, 1);
  reg("g_load", g, 3, 4, 2);
  auto e = reg("e", lut("le", {t[4], t[5]}, 2, 4, 3), 3, 5, 1).powers_up(true);
  reg("e_load", e, 3, 5, 2);
  // k's LUT has a register in use at an input: no register to move into.
  auto live = reg("live", n->input_port("in6"), 2, 5, 1);
  auto k = reg("k", lut("lk", {live}, 2, 5, 3), 3, 6, 1);
  reg("k_load", k, 3, 6, 2);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_bypassed, IDS{gid(f)});
  EXPECT_EQ(move.m_enabled, (IDS{gid(t[0]), gid(t[1])}));
  EXPECT_EQ(move.m_atoms, std::vector<VOK_ATOM_NODE*>{l});
  EXPECT_FALSE(mgr->backward_retime_search(ff(g), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::INCOMPATIBLE_REGISTER);
  EXPECT_EQ(move.failure.get_port().get_atom_id(), static_cast<std::uint32_t>(t[3]->get_id()));
  EXPECT_FALSE(mgr->backward_retime_search(ff(k), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_SLOT);
  EXPECT_EQ(move.failure.get_port().get_atom_id(), static_cast<std::uint32_t>(live->get_id()));
  EXPECT_TRUE(move.m_enabled.empty());
  // e's move is found, but no power-up of t4 and t5 keeps e's: it is given up.
  ASSERT_TRUE(mgr->backward_retime_search(ff(e), &move));
  EXPECT_FALSE(mgr->backward_retime(ff(e), &move));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Failed to compute inital condition"));
  EXPECT_FALSE(ff(e)->is_bypassed());
  EXPECT_TRUE(ff(t[4])->is_bypassed());
  EXPECT_TRUE(mgr->backward_retime(ff(f), &move));
  EXPECT_TRUE(ff(f)->is_bypassed());
}

// Forward the same way: f0 and f1 move across their LUTs into the bypassed
// registers t0 and t1, which are re-enabled powering up at 0. f1 powers up
// at 1 and its LUT then gives 1, which t1 cannot keep: its move is found but
// given up, f0's is made.
TEST_F(IrtmSearchTest, ForwardThroughALutIntoABypassedRegisterKeepsThePowerUp) {
  std::vector<REG_BUILDER> f, t;
  for (int k = 0; k < 2; ++k) {
    const std::string i = std::to_string(k);
    f.push_back(reg("f" + i, n->input_port("in" + i), 2, 2 + k, 1).powers_up(k == 1));
    t.push_back(reg("t" + i, lut("l" + i, {f.back()}, 2, 2 + k, 3), 3, 2 + k, 1));
    scenes::set_bypassed(t.back());
    reg("t_load" + i, t.back(), 3, 2 + k, 2);
  }
  start();
  EXPECT_FALSE(mgr->forward_retime(ff(f[1]), &move));
  EXPECT_EQ(move.m_enabled, IDS{gid(t[1])});
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Failed to compute inital condition"));
  EXPECT_FALSE(ff(f[1])->is_bypassed());
  EXPECT_TRUE(ff(t[1])->is_bypassed());
  EXPECT_TRUE(mgr->forward_retime(ff(f[0]), &move));
  EXPECT_TRUE(ff(f[0])->is_bypassed());
  EXPECT_FALSE(ff(t[0])->is_bypassed());
}

// A bypassed register t0 feeds f0's LUT l0 and a second LUT: a backward move
// of f0 takes that LUT and its register r2 along. Beside t1, f1's second LUT
// drives a LUT, no register: f1 does not move.
TEST_F(IrtmSearchTest, BackwardAcrossALutTakesASecondLutOfItsInputsAlong) {
  std::vector<REG_BUILDER> t, f;
  std::vector<VOK_ATOM_NODE*> l, second;
  for (int k = 0; k < 2; ++k) {
    const std::string i = std::to_string(k);
    t.push_back(reg("t" + i, n->input_port("in" + i), 2, 2 + k, 1));
    scenes::set_bypassed(t.back());
    l.push_back(lut("l" + i, {t.back()}, 2, 2 + k, 3));
    f.push_back(reg("f" + i, l.back(), 3, 2 + k, 1));
    reg("f_load" + i, f.back(), 3, 2 + k, 2);
    second.push_back(lut("second" + i, {t.back()}, 2, 2 + k, 6));
  }
  auto r2 = reg("r2", second[0], 3, 2, 4);
  reg("r2_load", r2, 3, 2, 5);
  reg("after_lut_q", lut("after_lut", {second[1]}, 3, 3, 6), 3, 3, 4);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f[0]), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_atoms, (std::vector<VOK_ATOM_NODE*>{l[0], second[0]}));
  EXPECT_EQ(move.m_bypassed, (IDS{gid(r2), gid(f[0])}));
  EXPECT_EQ(move.m_enabled, IDS{gid(t[0])});
  EXPECT_FALSE(mgr->backward_retime_search(ff(f[1]), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), n->find("after_lut")->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
}

TEST_F(IrtmSearchTest, BackwardThroughSlotsCollectsTheFaninToRegister) {
  auto src = reg("src", n->input_port("in"), 2, 2, 1);
  auto f = reg("f", src, 3, 3, 1);
  reg("f_load", f, 3, 3, 2);
  // One slot feeds f and a LUT registered by r; a second slot feeds f2, l2a
  // and l2b.
  auto other = reg("other", n->input_port("in2"), 2, 2, 2);
  VOK_ATOM_NODE* l = lut("l", {src, other}, 3, 3, 3);
  auto r = reg("r", l, 3, 3, 4);
  reg("r_load", r, 3, 3, 5);
  auto src2 = reg("src2", n->input_port("in3"), 2, 2, 4);
  auto f2 = reg("f2", src2, 3, 4, 1);
  reg("f2_load", f2, 3, 4, 2);
  VOK_ATOM_NODE* l2a = lut("l2a", {src2}, 3, 4, 3);
  VOK_ATOM_NODE* l2b = lut("l2b", {src2}, 3, 4, 6);
  reg("a_load", l2a, 3, 4, 4);
  reg("b_load", l2b, 3, 4, 5);
  auto routes = routing();
  routes.routing(src).wire(lab_output(2, 2, 94)).wire(h(2, 2)).wire(lab_input(3, 3, 5))
      .branch([&](NET_BUILDER& x) { x.sink(d_of(f)); })
      .sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  routes.routing(src2).wire(lab_output(2, 2, 96)).wire(h(2, 2, 0, 1)).wire(lab_input(3, 4, 6))
      .branch([&](NET_BUILDER& x) { x.sink(d_of(f2)); })
      .branch([&](NET_BUILDER& x) { x.sink(l2a->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)); })
      .sink(l2b->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  start();
  std::vector<RE_NODE*> leaves;
  mgr->create_re_tree(d_of(f));
  ASSERT_TRUE(mgr->backward_retime_append_ff1_fanin_re(ff(f), &move, &leaves));
  EXPECT_EQ(move.m_atoms, std::vector<VOK_ATOM_NODE*>{l});
  EXPECT_EQ(move.m_bypassed, (IDS{gid(r), gid(f)}));
  // f's data leaf first, then l's two inputs.
  ASSERT_EQ(leaves.size(), 3u);
  EXPECT_EQ(leaves[0], leaf(d_of(f)));
  EXPECT_EQ(leaves[1], leaf(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)));
  EXPECT_EQ(leaves[2], leaf(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0)));
  for (RE_NODE* x : leaves) EXPECT_TRUE(x->cast_to_leaf()->feeds_retiming_ff);
  // Two different LUTs under the slot: refused without a reason.
  move.clear();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f2), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NONE);
}

TEST_F(IrtmSearchTest, BackwardAcrossACarryChain) {
  SIG in = n->input_port("in");
  auto chain = n->carry_chain("add", 2);
  place_at(chain.cell(0), 2, 2, 0);
  place_at(chain.cell(1), 2, 2, 3);
  auto a = reg("a", in, 2, 3, 1);
  for (int i = 0; i < 2; ++i) vok_connect(q_of(a), chain.cell(i)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
  auto f = reg("f", chain.cell(1).out(DB_OUTPUT_PORT_SUM), 3, 3, 1);
  reg("f_load", f, 3, 3, 2);
  SIG en = n->input_port("en");
  auto k = reg("k", chain.cell(0).out(DB_OUTPUT_PORT_SUM), 3, 3, 4).ce(en);
  auto k_load = reg("k_load", k, 3, 3, 5).ce(en);  // k's partner, once known
  start();
  std::vector<RE_NODE*> leaves;
  mgr->create_re_tree(d_of(f));
  ASSERT_TRUE(mgr->backward_retime_append_arith_fanin_re(ff(f), &move, &leaves));
  EXPECT_EQ(move.m_bypassed, (IDS{gid(k), gid(f)}));
  EXPECT_EQ(move.m_atoms, (std::vector<VOK_ATOM_NODE*>{chain.cell(0), chain.cell(1)}));
  // Both cells' data inputs, then k's clock enable.
  ASSERT_EQ(leaves.size(), 3u);
  EXPECT_EQ(leaves[2], leaf(k.iterm(DB_INPUT_PORT_ENA)));
  // k cannot take its partner along: with the partner known, no move.
  ff(k_load);
  move.clear();
  mgr->re_manager().clear();
  leaves.clear();
  mgr->create_re_tree(d_of(f));
  EXPECT_FALSE(mgr->backward_retime_append_arith_fanin_re(ff(f), &move, &leaves));
  // With a second local load on that sum, a register with a clock enable is
  // no longer taken along.
  reg("k2", chain.cell(0).out(DB_OUTPUT_PORT_SUM), 3, 3, 7);
  move.clear();
  mgr->re_manager().clear();
  leaves.clear();
  mgr->create_re_tree(d_of(f));
  EXPECT_FALSE(mgr->backward_retime_append_arith_fanin_re(ff(f), &move, &leaves));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::INCOMPATIBLE_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), d_of(k));
  // A Backward search that met no register at an input of the chain's last
  // cell has the register its sum feeds batched.
  mgr->iteration()->m_critical = true;
  auto* failed = new IRTM_MOVE(0);
  failed->type = IRTM_MOVE::Backward;
  failed->failure.set(IRTM_FAILURE::NO_REGISTER, chain.cell(1)->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  mgr->yun_stack().push_back(failed);
  std::vector<IRTM_OBJ*> queue{ff(k)};
  ASSERT_TRUE(mgr->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), ff(f));
}

TEST_F(IrtmSearchTest, BackwardPartnerPairMoveRecordsTheFeedbackSlot) {
  SIG en = n->input_port("en");
  auto src = reg("src", n->input_port("in"), 2, 2, 1);
  auto reg1 = reg("reg1", src, 3, 3, 1).ce(en);
  auto f = reg("f", reg1, 3, 3, 2).ce(en);
  reg("f_load", f, 3, 3, 4);
  routing().routing(src).wire(lab_output(2, 2, 94)).wire(h(2, 2)).wire(lab_input(3, 3, 5)).sink(d_of(reg1));
  // The same pair at positions 4 and 2 of a LAB: not partners.
  auto src2 = reg("src2", n->input_port("in2"), 2, 2, 2);
  auto reg2 = reg("reg2", src2, 3, 4, 4).ce(en);
  auto g = reg("g", reg2, 3, 4, 2).ce(en);
  reg("g_load", g, 3, 4, 5);
  routing().routing(src2).wire(lab_output(2, 2, 95)).wire(h(2, 2)).wire(lab_input(3, 4, 5)).sink(d_of(reg2));
  // A pair whose driving partner's data comes straight from its source.
  auto reg3 = reg("reg3", reg("src3", n->input_port("in3"), 2, 2, 4), 3, 5, 1).ce(en);
  auto h3 = reg("h3", reg3, 3, 5, 2).ce(en);
  reg("h3_load", h3, 3, 5, 4);
  start();
  std::vector<RE_NODE*> leaves;
  mgr->create_re_tree(d_of(g));
  EXPECT_FALSE(mgr->backward_retime_append_qfbk_re(ff(g), &move, &leaves));
  EXPECT_TRUE(move.m_bypassed.empty());
  EXPECT_TRUE(leaves.empty());
  mgr->re_manager().clear();
  mgr->create_re_tree(d_of(h3));
  ASSERT_EQ(mgr->get_peer_irtm_ff(ff(h3)), ff(reg3));
  EXPECT_FALSE(mgr->backward_retime_append_qfbk_re(ff(h3), &move, &leaves));
  EXPECT_TRUE(move.m_bypassed.empty());
  mgr->re_manager().clear();
  move.clear();
  mgr->create_re_tree(d_of(f));
  ASSERT_TRUE(mgr->backward_retime_append_qfbk_re(ff(f), &move, &leaves));
  EXPECT_EQ(move.m_qfbk_gid, gid(reg1));
  EXPECT_EQ(move.m_bypassed, IDS{gid(f)});
  ASSERT_EQ(leaves.size(), 3u);
  EXPECT_EQ(leaves[0], leaf(d_of(reg1)));
  EXPECT_EQ(leaves[1], leaf(reg1.iterm(DB_INPUT_PORT_ENA)));
  EXPECT_EQ(leaves[2], leaf(f.iterm(DB_INPUT_PORT_ENA)));
  // A second partner move into the same record is a fault of the caller.
  EXPECT_EQ(expect_internal_error([&] {
              mgr->re_manager().clear();
              mgr->create_re_tree(d_of(f));
              mgr->backward_retime_append_qfbk_re(ff(f), &move, &leaves);
            }).condition,
            "m_qfbk_gid == DEV_ILLEGAL_GLOBAL_ID");
  // Once reg1 drives something besides f, the pair is no feedback pair.
  n->lut("reg1_other", {reg1}, 0x1);
  move.clear();
  leaves.clear();
  mgr->re_manager().clear();
  mgr->create_re_tree(d_of(f));
  EXPECT_FALSE(mgr->backward_retime_append_qfbk_re(ff(f), &move, &leaves));
  EXPECT_TRUE(move.m_bypassed.empty());
}

// ---------------------------------------------------------------- moves into routing slots

// f drives b through slots S1 (row 3) and S2 (row 4) and c through S3 (row
// 5), whose only child is c.
class IrtmSlotSearchTest : public IrtmSearchTest {
public:
  // `guard_band`: null for the default.
  void build(const char* guard_band) {
    if (guard_band) cfg_set_value("muvo_zota_tco_gb", guard_band);
    f = reg("f", n->input_port("in"), 2, 2, 1);
    b = reg("b", f, 3, 4, 1);
    c = reg("c", f, 3, 5, 1);
    reg("b_load", b, 3, 4, 2);
    reg("c_load", c, 3, 5, 2);
    routing()
        .routing(f)
        .wire(lab_output(2, 2, 94))
        .branch([&](NET_BUILDER& x) { x.wire(v(2, 2)).wire(lab_input(3, 5, 9)).sink(d_of(c)); })
        .wire(lab_input(2, 3, 7))
        .wire(h(2, 3))
        .wire(lab_input(3, 4, 5))
        .sink(d_of(b));
  }
  REG_BUILDER f{nullptr}, b{nullptr}, c{nullptr};
};

TEST_F(IrtmSlotSearchTest, ForwardTakesTheNearestSlotThatCoversItsDelay) {
  build("-100000");  // any slot covers its delay
  start();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_slots, (IDS{slot_gid(2, 3, 7), slot_gid(3, 5, 9)}));
  EXPECT_EQ(move.m_bypassed, IDS{gid(f)});
}

TEST_F(IrtmSlotSearchTest, ForwardPassesSlotsThatDoNotCoverTheirDelayButNotLoads) {
  build("100000");  // no slot covers its delay: only slots with loads are taken
  start();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_slots, (IDS{slot_gid(3, 4, 5), slot_gid(3, 5, 9)}));
}

TEST_F(IrtmSlotSearchTest, ForwardFailsWhenABranchCannotTakeTheClock) {
  build("100000");
  other_clocks_in_row(5);
  start();
  fill_rows();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NONE);
}

// The guard band is 60 ps unless configured: with f's clock-to-output delay
// set so that S1's delay covers S1's requirement with 61 ps to spare, S1 is
// taken; with 60 to spare it is not (the test is strict) and b's own slot
// is.
TEST_F(IrtmSlotSearchTest, TheGuardBandIsSixtyPicosecondsByDefault) {
  build(nullptr);
  start();
  mgr->create_re_tree(q_of(f));
  RE_NODE* s1 = leaf(d_of(b))->get_parent()->get_parent();
  ASSERT_EQ(slot_of(s1), slot_gid(2, 3, 7));
  const int d1 = mgr->get_incr_node_delay(s1);
  const std::int32_t req = mgr->get_slot_requirement(slot_of(s1));
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  KEM_EDGE* tco = kem->get_edge(kem->get_kem_node_from_oterm(q_of(f))->begin_fanin());
  for (const int spare : {61, 60}) {
    const int d[4] = {req - d1 + spare, req - d1 + spare, req - d1 - 50, req - d1 - 50};  // min below max
    tco->set_4_delays(d);
    ASSERT_EQ(ff(f)->get_tco(), d[0]);
    move.clear();
    ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
    EXPECT_EQ(move.m_slots, (IDS{spare > 60 ? slot_gid(2, 3, 7) : slot_gid(3, 4, 5), slot_gid(3, 5, 9)})) << spare;
  }
}

// f reaches b through three slots: S1 a long way from f, S2 one mux after
// S1, S3 with b below. The guard band sets the budget to S1's requirement
// less S1's delay: S1 falls short (the test is strict), S2 covers it with
// the delays accumulated from the source.
TEST_F(IrtmSearchTest, ForwardAccumulatesDelayDownAChainOfSlots) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto b = reg("b", f, 5, 5, 1);
  reg("b_load", b, 5, 5, 2);
  routing()
      .routing(f)
      .wire(lab_output(2, 2, 94))
      .wire(h(2, 2, 1))
      .wire(v(6, 2, 1))
      .wire(lab_input(3, 3, 7))
      .wire(lab_input(3, 4, 5))
      .wire(lab_input(5, 5, 6))
      .sink(d_of(b));
  start();
  mgr->create_re_tree(q_of(f));
  RE_NODE* s3 = leaf(d_of(b))->get_parent();
  RE_NODE* s2 = s3->get_parent();
  RE_NODE* s1 = s2->get_parent();
  ASSERT_EQ(slot_of(s1), slot_gid(3, 3, 7));
  ASSERT_EQ(slot_of(s2), slot_gid(3, 4, 5));
  const int d1 = mgr->get_incr_node_delay(s1), d2 = mgr->get_incr_node_delay(s2);
  const std::int32_t req = mgr->get_slot_requirement(slot_of(s1));
  ASSERT_EQ(mgr->get_slot_requirement(slot_of(s2)), req);
  ASSERT_GT(d2, 0);
  ASSERT_GT(d1, d2);  // S2's own delay alone would not cover it
  restart_with_guard_band(ff(f)->get_tco() + d1 - req);
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 5)});
  // No element: no requirement (any delay covers it).
  EXPECT_EQ(mgr->get_slot_requirement(0xFFFFFFFFu), IRTM_NO_SLACK);
  // Each element kind reads its own cell delay, the stand-in's 40 + 5 x
  // (parameter mod 13) ps at the slow corner: a LAB port mux 133, a LAB
  // feedback line 184, a register site 189 (no LAB pipeline type); a wire
  // has no requirement.
  const WUMP_ROUTE_INFO* route = host::device::die_info()->get_route_info();
  EXPECT_EQ(req, 55);
  EXPECT_EQ(mgr->get_slot_requirement(route->get_gid(279, 3, 3, 0)), 50);
  EXPECT_EQ(mgr->get_slot_requirement(gid(f)), 75);
  EXPECT_EQ(mgr->get_slot_requirement(route->get_gid(700, 3, 3, 0)), IRTM_NO_SLACK);
}

// As above, with a LUT between f and the slots: moved across the LUT, f's
// budget down the chain gains the LUT's smallest input delay.
TEST_F(IrtmSearchTest, ForwardAcrossALutBudgetsTheSlotsWithTheLutInputDelay) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  // g, the LUT's other input, has a clock enable: it is bypassed with f.
  auto g = reg("g", n->input_port("in2"), 2, 2, 2).ce(reg("en", n->input_port("in3"), 2, 2, 4));
  VOK_ATOM_NODE* l = lut("l", {f, g}, 2, 2, 3);
  auto b = reg("b", l, 5, 5, 1);
  reg("b_load", b, 5, 5, 2);
  routing()
      .routing(l)
      .wire(lab_output(2, 2, 95))
      .wire(h(2, 2, 1))
      .wire(v(6, 2, 1))
      .wire(lab_input(3, 3, 7))
      .wire(lab_input(3, 4, 5))
      .wire(lab_input(5, 5, 6))
      .sink(d_of(b));
  start();
  mgr->create_re_tree(l->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  RE_NODE* s2 = leaf(d_of(b))->get_parent()->get_parent();
  RE_NODE* s1 = s2->get_parent();
  ASSERT_EQ(slot_of(s1), slot_gid(3, 3, 7));
  ASSERT_EQ(slot_of(s2), slot_gid(3, 4, 5));
  const int d1 = mgr->get_incr_node_delay(s1);
  const std::int32_t req = mgr->get_slot_requirement(slot_of(s1));
  const std::int32_t lut_delay = IRTM_UTIL::s_instance->get_min_lut_input_delay();
  ASSERT_GT(lut_delay, 0);
  restart_with_guard_band(ff(f)->get_tco() + lut_delay + d1 - req);
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 5)});
  EXPECT_EQ(move.m_bypassed, (IDS{gid(g), gid(f)}));
  // The slot's pipeline register could not take g's enable: the move is
  // refused, though f itself has none.
  EXPECT_FALSE(mgr->forward_retime(ff(f), &move));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("    slot registers cannot take a clock enable or clear"));
}

// As above, with f also driving a bypassed register t of its own LAB
// straight from its LAB output: the slot chain's budget is still f's tco
// less the guard band, with no LUT delay added.
TEST_F(IrtmSearchTest, ForwardWithABypassedLoadBudgetsTheSlotsAlike) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto b = reg("b", f, 5, 5, 1);
  reg("b_load", b, 5, 5, 2);
  auto t = reg("t", f, 2, 2, 3);
  scenes::set_bypassed(t);
  reg("t_load", t, 2, 2, 4);
  routing()
      .routing(f)
      .wire(lab_output(2, 2, 94))
      .branch([&](NET_BUILDER& x) { x.sink(d_of(t)); })
      .wire(h(2, 2, 1))
      .wire(v(6, 2, 1))
      .wire(lab_input(3, 3, 7))
      .wire(lab_input(3, 4, 5))
      .wire(lab_input(5, 5, 6))
      .sink(d_of(b));
  start();
  RE_NODE* root = mgr->create_re_tree(q_of(f));
  ASSERT_EQ(root->get_num_leaf(), 1);
  ASSERT_EQ(root->get_num_children(), 2);
  RE_NODE* s3 = leaf(d_of(b))->get_parent();
  RE_NODE* s1 = s3->get_parent()->get_parent();
  const int d1 = mgr->get_incr_node_delay(s1);
  const std::int32_t req = mgr->get_slot_requirement(slot_of(s1));
  restart_with_guard_band(ff(f)->get_tco() + d1 - req);
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move));
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 5)});
  EXPECT_EQ(move.m_enabled, IDS{gid(t)});
  // No register it bypasses has an enable or a clear: the move is taken.
  EXPECT_TRUE(mgr->forward_retime(ff(f), &move));
  EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("    slot registers cannot take a clock enable or clear")));
}

// src drives f and k (compatible) through S1 (row 3) and S2 (row 4); f has a
// clock enable from g.
class IrtmSlotBackwardTest : public IrtmSearchTest {
public:
  // With `secondary`, f's clock enable (or clear) comes from g, and k's too
  // with `partner_too`; with `lut`, the slot in front of f also feeds a LUT
  // whose one load is a register.
  void build(bool secondary, DB_INPUT_PORT_TYPE port = DB_INPUT_PORT_ENA, bool partner_too = false, bool lut = false) {
    src = reg("src", n->input_port("in"), 2, 2, 1);
    f = reg("f", src, 3, 4, 1);
    k = reg("k", src, 3, 4, 2);
    reg("f_load", f, 3, 4, 4);
    reg("k_load", k, 3, 4, 5);
    VOK_ATOM_NODE* l = lut ? IRTM_SEARCH_SCENE::lut("l", {src}, 3, 4, 3) : nullptr;
    if (l) reg("r_load", reg("r", l, 3, 4, 7), 3, 4, 8);
    routing()
        .routing(src)
        .wire(lab_output(2, 2, 94))
        .wire(lab_input(2, 3, 7))
        .wire(h(2, 3))
        .wire(lab_input(3, 4, 5))
        .branch([&](NET_BUILDER& x) { x.sink(d_of(f)); })
        .branch([&](NET_BUILDER& x) {
          if (l) x.sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
        })
        .sink(d_of(k));
    if (secondary) {
      g = reg("g", n->input_port("g_in"), 2, 2, 2);
      for (REG_BUILDER* r : {&f, &k}) {
        if (r == &k && !partner_too) break;
        if (port == DB_INPUT_PORT_ENA)
          r->ce(g);
        else
          r->sclr(g);
      }
      routing()
          .routing(g)
          .wire(lab_output(2, 2, 95))
          .wire(lab_input(3, 4, 11))
          .branch([&](NET_BUILDER& x) {
            if (partner_too) x.sink(k.iterm(port));
          })
          .sink(f.iterm(port));
    }
  }
  REG_BUILDER src{nullptr}, f{nullptr}, k{nullptr}, g{nullptr};
};

TEST_F(IrtmSlotBackwardTest, BackwardIntoTheNearestSlotWithItsOtherLoads) {
  build(false);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 5)});
  EXPECT_EQ(move.m_bypassed, (IDS{gid(f), gid(k)}));
  EXPECT_TRUE(leaf(d_of(k))->cast_to_leaf()->is_retimed);
}

TEST_F(IrtmSlotBackwardTest, BackwardWalksUpPastASlotThatCannotTakeTheClock) {
  build(false);
  other_clocks_in_row(4);
  start();
  fill_rows();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_slots, IDS{slot_gid(2, 3, 7)});
  EXPECT_EQ(move.m_bypassed, (IDS{gid(f), gid(k)}));
  const std::string passed = "    slot (" + std::to_string(slot_gid(3, 4, 5)) + ") cannot take the clock: walking up";
  const auto lines = host::debug::texts();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), passed), 1);
}

TEST_F(IrtmSlotBackwardTest, BackwardRegistersTheClockEnableInItsLabSlot) {
  build(true);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  const auto lab_slot = static_cast<std::uint32_t>(IRTM_UTIL::s_instance->get_lab_zota_gid(f.iterm(DB_INPUT_PORT_ENA)));
  EXPECT_EQ(move.m_slots, (IDS{slot_gid(3, 4, 5), lab_slot}));
  // With the partner k known, its missing enable makes the pair illegal.
  move.clear();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::SECSIG_LEGALITY);
}

// A clear, beside an enable terminal left unconnected (as a move that took
// the enable away leaves it): only the clear is registered.
TEST_F(IrtmSlotBackwardTest, BackwardRegistersTheClearBesideAnUnconnectedEnable) {
  build(true, DB_INPUT_PORT_SCLR);
  f->add_input_term(DB_INPUT_PORT_ENA, 0);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  const auto lab_slot = static_cast<std::uint32_t>(IRTM_UTIL::s_instance->get_lab_zota_gid(f.iterm(DB_INPUT_PORT_SCLR)));
  EXPECT_EQ(move.m_slots, (IDS{slot_gid(3, 4, 5), lab_slot}));
}

// A clear fed from the data input's own net: its path is part of the data's
// tree already, which the pair's slots cannot share.
TEST_F(IrtmSlotBackwardTest, BackwardRefusesAClearOnTheDataNet) {
  build(false);
  f.sclr(src);
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::SECSIG_LEGALITY);
}

// k, f's partner, shares f's enable: the pair moves together, k's enable
// registered with f's in their LAB slot.
TEST_F(IrtmSlotBackwardTest, BackwardTakesAPartnerWithTheSameEnable) {
  build(true, DB_INPUT_PORT_ENA, true);
  start();
  ff(k);
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  const auto lab_slot = static_cast<std::uint32_t>(IRTM_UTIL::s_instance->get_lab_zota_gid(f.iterm(DB_INPUT_PORT_ENA)));
  EXPECT_EQ(move.m_slots, (IDS{slot_gid(3, 4, 5), lab_slot}));
  EXPECT_EQ(move.m_bypassed, (IDS{gid(k), gid(f)}));
  EXPECT_TRUE(leaf(k.iterm(DB_INPUT_PORT_ENA))->cast_to_leaf()->feeds_retiming_ff);
}

// As above, with a LUT fed from the same slot: crossing it, f cannot take
// its partner along, and the move is refused.
TEST_F(IrtmSlotBackwardTest, BackwardAcrossALutTakesNoPartner) {
  build(true, DB_INPUT_PORT_ENA, true, true);
  start();
  ff(k);
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::SECSIG_LEGALITY);
}

// The slot in front of f also feeds a LUT that drives two registers: the
// LUT cannot be crossed with f, and the move is refused.
TEST_F(IrtmSearchTest, BackwardRefusesASlotSharedWithALutOfTwoLoads) {
  auto src = reg("src", n->input_port("in"), 2, 2, 1);
  auto f = reg("f", src, 3, 4, 1);
  reg("f_load", f, 3, 4, 2);
  VOK_ATOM_NODE* l = lut("l", {src}, 3, 4, 3);
  reg("u", l, 3, 4, 4);
  reg("w", l, 3, 4, 5);
  routing()
      .routing(src)
      .wire(lab_output(2, 2, 94))
      .wire(lab_input(2, 3, 7))
      .wire(h(2, 3))
      .wire(lab_input(3, 4, 5))
      .branch([&](NET_BUILDER& x) { x.sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)); })
      .sink(d_of(f));
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.m_atoms, std::vector<VOK_ATOM_NODE*>{l});
  EXPECT_TRUE(move.m_bypassed.empty());
}

TEST_F(IrtmSearchTest, BackwardCoversLeavesBelowAChosenSlotOnce) {
  auto t = reg("t", n->input_port("in"), 2, 2, 1);
  VOK_ATOM_NODE* l = lut("l", {t, t}, 3, 4, 3);
  auto f = reg("f", l, 3, 4, 1);
  reg("f_load", f, 3, 4, 2);
  routing()
      .routing(t)
      .wire(lab_output(2, 2, 94))
      .wire(lab_input(3, 4, 20))
      .branch([&](NET_BUILDER& x) { x.sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)); })
      .sink(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0));
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 20)});
  EXPECT_EQ(move.m_atoms, std::vector<VOK_ATOM_NODE*>{l});
  EXPECT_EQ(move.m_bypassed, IDS{gid(f)});
}

// The LUT's first input hangs below an inner slot, its second directly below
// the slot above it: a register there would follow the inner one on the
// first input, so the move is refused rather than registering it twice.
TEST_F(IrtmSearchTest, BackwardRefusesAPlaceAboveOneAlreadyChosen) {
  auto t = reg("t", n->input_port("in"), 2, 2, 1);
  VOK_ATOM_NODE* l = lut("l", {t, t}, 3, 4, 3);
  auto f = reg("f", l, 3, 4, 1);
  reg("f_load", f, 3, 4, 2);
  routing()
      .routing(t)
      .wire(lab_output(2, 2, 94))
      .wire(lab_input(2, 3, 7))
      .branch([&](NET_BUILDER& x) {
        x.sink(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0));
      })
      .wire(h(2, 3))
      .wire(lab_input(3, 4, 20))
      .sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.m_slots, IDS{slot_gid(3, 4, 20)});
}

}  // namespace
