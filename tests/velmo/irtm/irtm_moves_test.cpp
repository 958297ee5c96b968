// Carrying out retiming moves with hand-filled moves: the edits, the
// acceptance rule, roll-back and commit, the repair queueing, and the
// design's behaviour across a committed move.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "dev/dev_grid.h"
#include "dux/dux.h"
#include "kem/kem_netlist.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "place_db/place_db.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "sta/sta_uniform_hold.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "testing/sim.h"
#include "irtm_fixture.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {

using namespace host::testing;

int count(const std::string& text) {
  const auto t = host::debug::texts();
  return static_cast<int>(std::count(t.begin(), t.end(), text));
}
int count_prefix(const std::string& prefix) {
  int c = 0;
  for (const auto& l : host::debug::texts()) c += l.rfind(prefix, 0) == 0;
  return c;
}

unsigned slot_gid(int x, int y, int sub) {
  return host::device::die_info()->get_place_info()->get_global_id(dev_kind::FF, x, y, sub);
}

VOK_ATOM_ITERM* lut_in(VOK_ATOM_NODE* lut, int i = 0) {
  return lut->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0);
}

class IrtmMovesTest : public HostTest {
protected:
  // The manager over the design built so far, set up as the driver does.
  void make_manager() {
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
    m->setup();
    domains = sta_get_wns_domains();
    m->iteration()->m_domain = &domains.front();
  }
  void start_pipeline() {
    s = scenes::ky_pipeline();
    make_manager();
  }
  void TearDown() override {
    if (m) {
      // Pins made by hand get a repair type, as the driver's always have.
      for (auto& e : m->iteration()->m_ipins)
        if (e.second->m_move_type == IRTM_MOVE::None) e.second->m_move_type = IRTM_MOVE::Reroute;
      m->cleanup(false);
      m.reset();
    }
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  IRTM_MOVE* push_move(IRTM_MOVE::TYPE type) {
    auto* move = new IRTM_MOVE(m->dux()->get_checkpoint_id());
    move->type = type;
    m->yun_stack().push_back(move);
    return move;
  }
  // A slot node of the routing-element tree in front of the given loads.
  void slot_before(unsigned gid, const std::vector<VOK_ATOM_ITERM*>& loads) {
    RE_NON_TERMINAL* node = m->re_manager().create_node(gid, 0);
    for (VOK_ATOM_ITERM* t : loads) node->add_child(m->re_manager().create_leaf_node(t));
  }
  std::string gid_text(unsigned gid) const { return IRTM_UTIL::s_instance->get_gid_string(gid); }
  // r1 and r2 moved forward over x into the slot in front of q, implemented.
  void forward_over_x(unsigned slot, IRTM_MOVE** out) {
    IRTM_FF* ff = m->create_irtm_ff(r1);
    m->create_irtm_ff(r2);
    IRTM_MOVE* move = *out = push_move(IRTM_MOVE::Forward);
    slot_before(slot, {q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)});
    move->m_bypassed = {r1->get_location_gid(), r2->get_location_gid()};
    move->m_slots = {slot};
    move->m_atoms = {x};
    ASSERT_TRUE(m->init_state()->compute_state_int(move, false));
    m->implement_retiming(ff, move);
  }

  // in a, b -> r1 (powers up high), r2 -> x = r1 xor r2 -> q -> out o,
  // placed, routed and timed; the manager set up over it. Boxed, r1 to q
  // are a partition's, reached through its ports.
  void start_small(bool boxed = false) {
    device(Family::KY).grid(10, 6).dsp_columns({}).ram_columns({}).build();
    auto n = netlist();
    const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
    auto pin_in = [&](const std::string& name, int y) { return velmo_test::left_pad_input(n, name, y); };
    SIG clk = pin_in("clk", 1), a = pin_in("a", 2), b = pin_in("b", 3);
    n.clock("clk", 2000, clk);
    auto body = [&](NETLIST_BUILDER& c, SIG ck, SIG da, SIG db) {
      r1 = c.reg("r1").clk(ck).d(da).powers_up(true).atom();
      r2 = c.reg("r2").clk(ck).d(db).atom();
      x = c.lut("x", {r1, r2}, [](const LUT_INPUTS& v) { return v[0] != v[1]; }).atom();
      q = c.reg("q").clk(ck).d(x).atom();
      return SIG(q);
    };
    SIG out = boxed ? SIG() : body(n, clk, a, b);
    if (boxed)
      out = n.blackbox("u", [&](auto& c) { c.output("o", body(c, c.input("c"), c.input("a"), c.input("b"))); })
                .in("c", clk).in("a", a).in("b", b).out("o");
    place_at(r1, 2, 2, 1);
    place_at(r2, 2, 2, 2);
    place_at(x, 3, 2, 3);
    place_at(q, 4, 2, 1);
    auto pad = n.io_out("o", out);
    place_at(n.find("o~obuf"), grid.nx() - 1, 2, 3);
    place_at(pad, grid.nx() - 1, 2, 1);
    std::string why;
    if (!host::router::route_design(&why)) FAIL() << why;
    n.timing();
    make_manager();
  }
  std::vector<std::vector<bool>> stimuli(unsigned seed) const {
    std::mt19937 rng(seed);
    std::vector<std::vector<bool>> out(40);
    for (auto& c : out) c = {(rng() & 1u) != 0, (rng() & 1u) != 0};
    return out;
  }
  SIM_TRACE run(const std::vector<std::vector<bool>>& st) const {
    return simulate(*host::vok::top_netlist(), {"a", "b"}, {"o"}, st);
  }
  VOK_ATOM_NODE *r1 = nullptr, *r2 = nullptr, *x = nullptr, *q = nullptr;

  scenes::KY_PIPELINE s;
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRTM_MANAGER> m;
  std::vector<HOV_INCR_WNS_DOMAIN> domains;
};

// ---------------------------------------------------------------- implementation

TEST_F(IrtmMovesTest, ABackwardMoveFillsItsSlotBypassesTheRegisterAndSetsThePowerUp) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_FF* ff = m->create_irtm_ff(c.b1);
  IRTM_MOVE* move = push_move(IRTM_MOVE::Backward);
  VOK_ATOM_ITERM* load = c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  load->set_inverted(true);
  load->set_connection_code(2);
  c.b1->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);  // a global clock
  c.b1->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_inverted(true);       // its falling edge
  const VOK_ATOM_LOGICAL_PORT load_port = vok_get_logical_port(load);
  const unsigned slot = slot_gid(3, 2, 70);
  slot_before(slot, {load});
  move->m_slots = {slot};
  move->m_bypassed = {c.b1->get_location_gid()};
  VOK_ATOM_OTERM* l2 = c.b0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  m->init_state()->set_value(l2, INITIAL_STATE_MANAGER::ONE, false, true);
  host::clear_calls();
  m->implement_retiming(ff, move);

  VOK_ATOM_NODE* q = PLACE_DB::get_atom(slot);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->get_string_hpath(), "b1~" + gid_text(slot));
  EXPECT_EQ(count("    creating 1 ZOTA atoms"), 1);
  EXPECT_EQ(count_prefix("    Created ZOTA atom " + std::to_string(q->get_id())), 1);
  // Data from the load's old driver, clock as the moved register's.
  EXPECT_EQ(q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED), l2);
  EXPECT_EQ(q->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED),
            c.b1->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED));
  EXPECT_EQ(m->dux()->get_zota_legality()->placements().at(q->get_id()), slot);
  // Its clock connection is global and on the edge of the moved register's.
  EXPECT_TRUE(q->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->is_global());
  EXPECT_TRUE(q->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->is_inverted());
  // The load keeps its own flags.
  VOK_ATOM_ITERM* again = vok_find_iterm(host::vok::top_netlist(), load_port);
  EXPECT_EQ(again->get_source(VOK_TRAVERSE_AS_STORED), q->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  EXPECT_TRUE(again->is_inverted());
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("DUX::connect(" + std::to_string(q->get_id()) + ", " +
                                  std::to_string(c.b1->get_id()) + ", true, 1)"));
  // Power-up from the initial-state value of the slot's data driver.
  EXPECT_TRUE(q->powers_up());
  std::int64_t any = 1;
  EXPECT_TRUE(q->get_parameter(VOK_PARAMETER_TYPE::BOOL, 240, &any));
  EXPECT_EQ(any, 0);
  EXPECT_EQ(count("Setting powerup : 1 -- " + q->get_string_hpath()), 1);
  // Registry and move in step.
  ASSERT_NE(m->get_irtm_ff(slot), nullptr);
  EXPECT_EQ(m->get_irtm_ff(slot)->get_atom(), q);
  EXPECT_TRUE(m->find_irtm_ff(c.b1)->is_bypassed());
  ASSERT_NE(move->m_gid_to_id.lookup(slot), nullptr);
  EXPECT_EQ(*move->m_gid_to_id.lookup(slot), q->get_id());

  bool stale = true;
  EXPECT_TRUE(m->annotate_delays(move, &stale));
  EXPECT_FALSE(stale);
  // The engine reports the slot register as created: its object is found.
  EXPECT_EQ(count("ZOTA reroute, Deleted: 0 Created: 1"), 1);
  // Implemented and timed, the new register can itself be moved again.
  EXPECT_TRUE(m->is_retimable_ff(q));
  // Its data input failing hold is counted, yet a better cost still accepts
  // the move: the count alone never refuses one.
  host::sta::set_uniform_hold_slack(-10);
  const std::int32_t cost = IRTM_UTIL::s_instance->get_wns_cost();
  TIMING_COST_STRUCT base{cost - 100, 0}, result;
  m->iteration()->m_pending_hold.clear();
  EXPECT_TRUE(m->check_retiming(move, &base, &result, true));
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_EQ(m->iteration()->m_pending_hold, std::vector<VOK_ATOM_LOGICAL_PORT>{
                                                vok_get_logical_port(q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))});
  const auto t = host::debug::texts();
  EXPECT_EQ(std::count_if(t.begin(), t.end(),
                          [](const std::string& l) { return l.rfind("    Update[", 0) == 0 && l.find(" hold=1)") != std::string::npos; }),
            1);
}

TEST_F(IrtmMovesTest, AnEmptySlotListStillSetsPowerUpsOfEnabledSlotRegisters) {
  start_pipeline();
  const auto& c = s[0];
  // A register at a slot gid that is bypassed and may be enabled.
  place_in_slot(c.pc, 2, 1, 75);
  scenes::set_bypassed(c.pc);
  m->create_irtm_ff(c.pc);
  IRTM_FF* ff = m->create_irtm_ff(c.a0);
  IRTM_MOVE* move = push_move(IRTM_MOVE::Forward);
  const unsigned gid = c.pc->get_location_gid();
  move->m_enabled = {gid};
  const VOK_ATOM_OTERM* d = c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  m->init_state()->set_value(d, INITIAL_STATE_MANAGER::ANY, false, true);
  m->implement_retiming(ff, move);
  EXPECT_EQ(count("    creating 0 ZOTA atoms"), 1);
  std::int64_t any = 0;
  EXPECT_TRUE(c.pc->get_parameter(VOK_PARAMETER_TYPE::BOOL, 240, &any));
  EXPECT_EQ(any, 1);
  EXPECT_EQ(count_prefix("Setting powerup"), 0);
  EXPECT_FALSE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.pc));
  EXPECT_EQ(count("    Re-enabled LAB atom " + std::to_string(c.pc->get_id()) + " at (" + std::to_string(gid) + ") " +
                  gid_text(gid) + " -- " + c.pc->get_string_hpath()),
            1);
}

TEST_F(IrtmMovesTest, LabRegistersAreBypassedAndReEnabledPoweringUpLow) {
  start_pipeline();
  const auto& c = s[0];
  c.pc->set_powers_up(true);
  IRTM_FF* ff = m->create_irtm_ff(c.pc);
  ff->m_move_type = IRTM_MOVE::Forward;
  ff->m_hold = 1;
  m->bypass_ff(c.pc);
  EXPECT_TRUE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.pc));
  EXPECT_EQ(ff->m_move_type, IRTM_MOVE::None);
  EXPECT_EQ(ff->m_hold, 0);
  const std::uint64_t checkpoint = m->dux()->get_checkpoint_id();
  m->enable_ff(c.pc);
  EXPECT_FALSE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.pc));
  EXPECT_FALSE(c.pc->powers_up());
  // One undo record brings back the bypass and the power-up.
  m->dux()->restore_checkpoint(checkpoint);
  EXPECT_TRUE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.pc));
  EXPECT_TRUE(c.pc->powers_up());
  expect_internal_error([&] { m->bypass_ff(c.pc); });
}

TEST_F(IrtmMovesTest, ClockLegalisationFailsOnAFullRowSegment) {
  start_pipeline();
  const auto& c = s[0];
  // Two other clock pairs already in the segment of the slot.
  DUX_ZOTA_LEGALITY* legality = m->dux()->get_zota_legality();
  m->dux()->record_zota_placement(100001, slot_gid(2, 1, 80), {c.b0->get_id(), false});
  m->dux()->record_zota_placement(100002, slot_gid(3, 1, 80), {c.b0->get_id(), true});
  ASSERT_EQ(legality->placements().size(), 2u);
  const unsigned gid = slot_gid(1, 1, 75);
  RE_NON_TERMINAL* node = m->re_manager().create_node(gid, 0);
  VOK_ATOM_OTERM* clk = c.a0->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  EXPECT_FALSE(m->can_populate_clock(node, clk, false, true));
  EXPECT_EQ(count("    clock legalization failed for ZOTA " + gid_text(gid) + " -- (1) row segment clock budget exceeded"), 1);
  // The clock of a register already there passes; an empty list passes.
  VOK_ATOM_OTERM* b_clk = c.b0->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  std::vector<RE_NODE*> none;
  EXPECT_TRUE(m->can_populate_clock(&none, clk, false, true));
  std::vector<RE_NODE*> one{node};
  EXPECT_FALSE(m->can_populate_clock(&one, clk, false, false));
  EXPECT_EQ(count_prefix("    clock legalization failed"), 1);
  (void)b_clk;
}

TEST_F(IrtmMovesTest, WireLutsAreInsertedAndPlacedInRingOrder) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_MOVE* move = push_move(IRTM_MOVE::Wirelut);
  IRTM_IPIN* pin = m->iteration()->create_irtm_ipin(vok_get_logical_port(lut_in(c.luts[1])));
  const VOK_ATOM_OTERM* old = lut_in(c.luts[1])->get_source(VOK_TRAVERSE_AS_STORED);
  ASSERT_TRUE(m->insert_wirelut(pin, move));
  ASSERT_EQ(move->m_atoms.size(), 1u);
  VOK_ATOM_NODE* w = move->m_atoms[0];
  EXPECT_EQ(w->get_string_hpath(), c.luts[1]->get_string_hpath() + "~irtm");
  EXPECT_EQ(lut_in(w)->get_source(VOK_TRAVERSE_AS_STORED), old);
  EXPECT_EQ(lut_in(c.luts[1])->get_source(VOK_TRAVERSE_AS_STORED), w->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  // A buffer under the complemented index.
  EXPECT_FALSE(host::lut_eval(w->get_lutmask().get_value(), 1, 0));
  EXPECT_TRUE(host::lut_eval(w->get_lutmask().get_value(), 1, 1));
  ASSERT_EQ(move->m_rerouted.size(), 1u);
  EXPECT_EQ(move->m_rerouted[0], pin->get_port());
  // Placed next to its driver (l0 at (4, 3)).
  EXPECT_TRUE(m->annotate_delays(move, nullptr));
  const auto xy = PLACE_DB::get_base_xy_from_atom(w);
  EXPECT_LE(std::abs(xy.first - 4) + std::abs(xy.second - 3), 2) << xy.first << "," << xy.second;
  EXPECT_EQ(count_prefix("Assigned location "), 1);
  // A dont-touch load refuses.
  IRTM_IPIN* dt = m->iteration()->create_irtm_ipin(
      vok_get_logical_port(c.dt->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  EXPECT_FALSE(m->insert_wirelut(dt, move));
}

// A wire LUT goes into its driver's tile or one of the eight around it:
// next to an input buffer on the left edge that is column 1; with DSP
// blocks in column 1 there is no place for it.
TEST_F(IrtmMovesTest, AWireLutIsPlacedInTheRingAroundItsDriver) {
  for (const std::vector<int>& dsp : {std::vector<int>{}, std::vector<int>{1}}) {
    SCOPED_TRACE(dsp.size());
    device(Family::KY).grid(10, 6).dsp_columns(dsp).ram_columns({}).build();
    auto n = netlist();
    SIG clk = velmo_test::left_pad_input(n, "clk", 1), a = velmo_test::left_pad_input(n, "a", 3);
    n.clock("clk", 2000, clk);
    VOK_ATOM_NODE* r = n.reg("r").clk(clk).d(a).atom();
    place_at(r, 5, 3, 1);
    n.timing();
    make_manager();
    // The load reads its net inverted; through the buffer it still does.
    scenes::set_inverted(r, DB_INPUT_PORT_DATA_IN);
    IRTM_MOVE* move = push_move(IRTM_MOVE::Wirelut);
    ASSERT_TRUE(m->insert_wirelut(
        m->iteration()->create_irtm_ipin(vok_get_logical_port(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))), move));
    VOK_ATOM_NODE* w = move->m_atoms.at(0);
    const bool r_inverted = r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->is_inverted();
    for (const bool v : {false, true})  // r reads !a, whichever side inverts
      EXPECT_EQ(host::lut_eval(w->get_lutmask().get_value(), 1, v != lut_in(w)->is_inverted()) != r_inverted, !v);
    EXPECT_EQ(m->annotate_delays(move, nullptr), dsp.empty());
    const std::pair<int, int> at = dsp.empty() ? std::make_pair(1, 3) : std::make_pair(-1, -1);
    EXPECT_EQ(PLACE_DB::get_base_xy_from_atom(w), at);
    TearDown();
    SetUp();
  }
}

TEST_F(IrtmMovesTest, RingSearchOrderAndItsLimits) {
  start_pipeline();
  const auto& c = s[0];
  VOK_ATOM_NODE* w = m->dux()->create_atom(247, vok_output_port_symbol(DB_OUTPUT_PORT_COMB), "w", c.luts[0], 1);
  host::clear_calls();
  EXPECT_FALSE(m->place_atom_at_xy(w, 4, 3, 0));
  EXPECT_FALSE(m->place_atom_at_xy(w, 1000, 1000, 3));
  std::vector<std::pair<int, int>> tried;
  for (const auto& l : host::call_lines()) {
    if (l.rfind("DUX::find_location_at_xy(", 0) != 0) continue;
    std::vector<std::string> f;
    std::size_t end = l.size() - 1;  // the closing parenthesis
    for (int k = 0; k < 3; ++k) {
      const std::size_t comma = l.rfind(", ", end - 1);
      f.push_back(l.substr(comma + 2, end - comma - 2));
      end = comma;
    }
    EXPECT_EQ(f[0], "0") << "hint";
    tried.emplace_back(std::stoi(f[2]), std::stoi(f[1]));
  }
  const std::vector<std::pair<int, int>> expected{
      {1000, 1000},
      {1001, 1000}, {1001, 1001}, {1000, 1001}, {999, 1001}, {999, 1000}, {999, 999}, {1000, 999}, {1001, 999},
      {1002, 1000}, {1002, 1002}, {1000, 1002}, {998, 1002}, {998, 1000}, {998, 998}, {1000, 998}, {1002, 998},
      {1002, 1001}, {1002, 999}, {999, 1002}, {1001, 1002}, {998, 1001}, {998, 999}, {999, 998}, {1001, 998}};
  EXPECT_EQ(tried, expected);
  EXPECT_FALSE(w->is_placed());
  EXPECT_TRUE(m->place_atom_at_xy(w, 4, 3, 2));
  EXPECT_EQ(PLACE_DB::get_base_xy_from_atom(w), (std::pair<int, int>{4, 3}));
}

TEST_F(IrtmMovesTest, APipelineRegisterWithThreeLoadsIsRemovedKeepingEachLoadsFlags) {
  start_pipeline();
  const auto& c = s[0];
  // Two more loads of p, with their own flags.
  VOK_ATOM_OTERM* pq = c.p->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  VOK_ATOM_ITERM* t1 = lut_in(c.u, 1) ? lut_in(c.u, 1) : c.u->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  vok_connect(pq, t1);
  t1->set_inverted(true);
  VOK_ATOM_ITERM* t2 = c.luts[0]->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  vok_connect(pq, t2);
  t2->set_connection_code(5);
  VOK_ATOM_OTERM* data = c.p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  const int pid = c.p->get_id();
  m->create_irtm_ff(c.p);
  host::clear_calls();
  m->bypass_ff(c.p);
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(pid), nullptr);
  EXPECT_EQ(c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED), data);
  EXPECT_EQ(t1->get_source(VOK_TRAVERSE_AS_STORED), data);
  EXPECT_EQ(t2->get_source(VOK_TRAVERSE_AS_STORED), data);
  const std::string a0 = std::to_string(c.a0->get_id());
  EXPECT_THAT(host::call_lines(), ::testing::Contains("DUX::connect(" + a0 + ", " + std::to_string(c.u->get_id()) + ", true, 0)"));
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("DUX::connect(" + a0 + ", " + std::to_string(c.luts[0]->get_id()) + ", false, 1)"));
  EXPECT_TRUE(m->live().find(static_cast<std::uint32_t>(pid)) == m->live().end());
  EXPECT_TRUE(m->retired().count(static_cast<std::uint32_t>(pid)));
}

// ---------------------------------------------------------------- acceptance

TEST_F(IrtmMovesTest, TheAcceptanceRule) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_MOVE* move = push_move(IRTM_MOVE::Forward);
  TIMING_COST_STRUCT base, result;
  const std::int32_t cost = IRTM_UTIL::s_instance->get_wns_cost();
  ASSERT_LT(cost, 0);
  // The whole design's cost against a better and a worse base.
  base = {cost - 100, 0};
  EXPECT_TRUE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(count("    cost IMPROVED (" + std::to_string(cost - 100) + "/" + std::to_string(cost) + ")"), 1);
  base = {cost + 100, 0};
  EXPECT_FALSE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(count("    cost DEGRADED (" + std::to_string(cost + 100) + "/" + std::to_string(cost) + ")"), 1);
  // Equal cost, nothing touched: NO_SLACK loses unless the base has none.
  base = {cost, -30};
  EXPECT_FALSE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(result.slack, IRTM_NO_SLACK);
  base = {cost, IRTM_NO_SLACK};
  EXPECT_TRUE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(count_prefix("    Update[3]: WNS_COST = " + std::to_string(cost) + " (bypased=0 hold="), 1);
  // Equal cost with a touched register: its minimum slack decides.
  IRTM_FF* ff = m->create_irtm_ff(c.c0);
  ff->update_slack(true);
  const std::int32_t s0 = ff->min_slack();
  move->m_enabled = {c.c0->get_location_gid()};
  base = {cost, s0};
  EXPECT_TRUE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(result.slack, s0);
  base = {cost, s0 + 1};
  EXPECT_FALSE(m->check_retiming(move, &base, &result, true));
  EXPECT_EQ(count("    min_slack DEGRADED (" + std::to_string(s0 + 1) + "/" + std::to_string(s0) + ")"), 1);
  EXPECT_EQ(count_prefix("    Update[5]: input = "), 1);
  EXPECT_EQ(m->update_counter(), 6u);
}

TEST_F(IrtmMovesTest, StaleTimingAfterImplementIsResetAndRefused) {
  start_pipeline();
  const auto& c = s[0];
  // Re-routing a load of the dont-touch register: the engine refuses and
  // the incremental timing cannot follow.
  IRTM_IPIN* pin =
      m->iteration()->create_irtm_ipin(vok_get_logical_port(c.dt->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  // A pin without a repair type is not tried; one marked for re-routing is
  // re-routed.
  EXPECT_FALSE(m->retime_ff(pin));
  ASSERT_EQ(m->yun_stack().size(), 1u);
  EXPECT_EQ(m->yun_stack().back()->type, IRTM_MOVE::None);
  delete m->yun_stack().back();
  m->yun_stack().clear();
  pin->m_move_type = IRTM_MOVE::Reroute;
  ASSERT_TRUE(m->retime_ff(pin));
  ASSERT_EQ(m->yun_stack().size(), 1u);
  IRTM_MOVE* move = m->yun_stack().back();
  EXPECT_EQ(move->type, IRTM_MOVE::Reroute);
  ASSERT_EQ(move->m_rerouted.size(), 1u);
  bool stale = false;
  // The engine itself succeeds: stale timing alone refuses the move.
  host::script::queue<int>("DUX::implement").push(10);
  EXPECT_FALSE(m->annotate_delays(move, &stale));
  EXPECT_TRUE(stale);
  EXPECT_EQ(count("HEP failed due to stale STA update"), 1);
  EXPECT_EQ(count_prefix("DUX implement result: "), 0);
  EXPECT_FALSE(sta_is_timing_stale());
  // A failed implement prints its status text.
  host::script::queue<int>("DUX::implement").push(4);
  EXPECT_FALSE(m->annotate_delays(move, &stale));
  EXPECT_FALSE(stale);
  EXPECT_EQ(count("DUX implement result: No-route"), 1);
  // The last failure the engine names, and a code past its table.
  host::script::queue<int>("DUX::implement").push(9);
  EXPECT_FALSE(m->annotate_delays(move, &stale));
  EXPECT_EQ(count("DUX implement result: Incremental W3J3 not supported for tainted non-core location"), 1);
  host::script::queue<int>("DUX::implement").push(11);
  EXPECT_FALSE(m->annotate_delays(move, &stale));
  EXPECT_EQ(count("DUX implement result: Unknown status"), 1);
}

TEST_F(IrtmMovesTest, DontTouchLabsBlockMovesAndRoutingSlotsNever) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_MOVE move(0);
  // dt sits in LAB (2, 2) with c0.
  move.m_bypassed = {c.c0->get_location_gid()};
  EXPECT_TRUE(m->modifies_timing_dont_touch(&move));
  EXPECT_EQ(count("LAB(2, 2): contains TIMING_DONT_TOUCH"), 1);
  move.m_bypassed.clear();
  // A routing slot of that LAB that is not one of its LAB-input slots.
  const DEV_DIE_INFO* die = IRTM_UTIL::s_instance->get_die_info();
  unsigned routing_slot = 0xFFFFFFFFu;
  const unsigned lab_slot = slot_gid(2, 2, 70);
  ASSERT_TRUE(ZEL_DEV_ZOTA_UTIL::is_zota_lab_gid(die, lab_slot));
  for (unsigned i = 0; i < 1000000 && routing_slot == 0xFFFFFFFFu; ++i) {
    const unsigned g = 0x80000000u | i;
    if (ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, g) && !ZEL_DEV_ZOTA_UTIL::is_zota_lab_gid(die, g) &&
        PLACE_DB::get_xy_from_gid(g) == std::make_pair(2, 2))
      routing_slot = g;
  }
  ASSERT_NE(routing_slot, 0xFFFFFFFFu);  // in the dont-touch LAB itself
  move.m_slots = {routing_slot};
  EXPECT_FALSE(m->modifies_timing_dont_touch(&move));
  move.m_slots = {lab_slot};
  EXPECT_TRUE(m->modifies_timing_dont_touch(&move));
  move.m_slots = {routing_slot};
  move.m_slots.clear();
  move.m_enabled = {c.a0->get_location_gid()};
  EXPECT_FALSE(m->modifies_timing_dont_touch(&move));
}

// ---------------------------------------------------------------- undo and commit

TEST_F(IrtmMovesTest, UndoToACheckpointAndTheInverseMove) {
  start_pipeline();
  const auto& c = s[0];
  // Moves at checkpoints 4, 7 and 9 (None moves: popped untouched).
  for (std::uint64_t id : {4u, 7u, 9u}) {
    auto* mv = new IRTM_MOVE(id);
    m->yun_stack().push_back(mv);
  }
  m->undo_all_retiming(7);
  EXPECT_EQ(count("    UNDO retiming moves: 2"), 1);
  ASSERT_EQ(m->yun_stack().size(), 1u);
  EXPECT_EQ(m->yun_stack()[0]->m_checkpoint_id, 4u);
  EXPECT_EQ(count_prefix("    Update["), 0);
  for (IRTM_MOVE* mv : m->yun_stack()) delete mv;
  m->yun_stack().clear();

  // A forward move bypassing a0 then pc and enabling b0, bypassed before it,
  // rolled back.
  m->bypass_ff(c.b0);
  IRTM_FF* a = m->create_irtm_ff(c.a0);
  IRTM_FF* b = m->create_irtm_ff(c.pc);
  IRTM_MOVE* move = push_move(IRTM_MOVE::Forward);
  move->m_bypassed = {c.a0->get_location_gid(), c.pc->get_location_gid()};
  move->m_enabled = {c.b0->get_location_gid()};
  m->bypass_ff(c.a0);
  m->bypass_ff(c.pc);
  m->enable_ff(c.b0);
  IRTM_MOVE& inverse = m->iteration()->m_scratch;
  EXPECT_TRUE(m->undo_retiming(&inverse));
  EXPECT_TRUE(m->yun_stack().empty());
  EXPECT_EQ(inverse.m_enabled, (std::vector<std::uint32_t>{c.pc->get_location_gid(), c.a0->get_location_gid()}));
  EXPECT_EQ(inverse.m_bypassed, std::vector<std::uint32_t>{c.b0->get_location_gid()});
  EXPECT_TRUE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.b0));
  EXPECT_EQ(a->m_failure_mask & 2u, 2u);
  EXPECT_EQ(b->m_failure_mask & 2u, 2u);
  EXPECT_FALSE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.a0));
  EXPECT_FALSE(ZEL_ZOTA_UTIL::is_ff_bypassed(c.pc));
}

TEST_F(IrtmMovesTest, AFullUndoRestoresNetlistRoutingAndSlacks) {
  start_pipeline();
  const auto& c = s[0];
  const auto before_slack = IRTM_UTIL::s_instance->get_wns_cost();
  const std::uint64_t before_cookie = env->get_design()->get_cookie();
  IRTM_FF* ff = m->create_irtm_ff(c.b1);
  IRTM_ITERATION& it = *m->iteration();
  it.m_undo_cost = it.m_initial_cost = {before_slack, IRTM_NO_SLACK};
  IRTM_MOVE* move = push_move(IRTM_MOVE::Backward);
  const unsigned slot = slot_gid(3, 2, 70);
  slot_before(slot, {c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)});
  move->m_slots = {slot};
  move->m_bypassed = {c.b1->get_location_gid()};
  m->init_state()->set_value(c.b0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), INITIAL_STATE_MANAGER::ZERO,
                             false, true);
  m->implement_retiming(ff, move);
  ASSERT_TRUE(m->annotate_delays(move, nullptr));
  const int qid = PLACE_DB::get_atom(slot)->get_id();
  m->undo_all_retiming(0);
  EXPECT_EQ(count("    UNDO retiming moves: 1"), 1);
  EXPECT_EQ(PLACE_DB::get_atom(slot), nullptr);
  EXPECT_TRUE(m->retired().count(static_cast<std::uint32_t>(qid)));
  EXPECT_FALSE(ff->is_bypassed());
  EXPECT_EQ(env->get_design()->get_cookie(), before_cookie);
  std::string why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  sta_increm_update_timing();
  EXPECT_EQ(IRTM_UTIL::s_instance->get_wns_cost(), before_slack);
  EXPECT_EQ(count("    Failed to recover WNS cost"), 0);
  // The inverse of that move: the slot register it removed, b1 enabled.
  EXPECT_EQ(it.m_scratch.m_bypassed, (std::vector<std::uint32_t>{slot}));
  EXPECT_EQ(it.m_scratch.m_enabled, (std::vector<std::uint32_t>{c.b1->get_location_gid()}));
  EXPECT_EQ(ff->m_failure_mask, 4u);
}

TEST_F(IrtmMovesTest, CommitRecordsTheMoveOnEveryObject) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_ITERATION& it = *m->iteration();
  it.m_current_worst_slack = -7;
  m->finalize_retiming();
  EXPECT_EQ(it.m_previous_worst_slack, -7);
  EXPECT_EQ(it.m_current_worst_slack, IRTM_UTIL::s_instance->get_domain_wns(domains.front()));
  EXPECT_EQ(it.m_accepted_moves, 1u);
  IRTM_FF* a = m->create_irtm_ff(c.a0);
  IRTM_FF* p = m->create_irtm_ff(c.pc);
  a->m_failure_mask = p->m_failure_mask = 7;
  IRTM_MOVE* move = push_move(IRTM_MOVE::Backward);
  move->m_enabled = {c.a0->get_location_gid()};
  move->m_bypassed = {c.pc->get_location_gid()};
  const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(lut_in(c.luts[0]));
  move->m_rerouted = {port};
  it.create_irtm_ipin(port)->m_failure_mask = 4;
  push_move(IRTM_MOVE::None);
  m->finalize_retiming();
  EXPECT_TRUE(m->yun_stack().empty());
  EXPECT_EQ(it.m_accepted_moves, 2u);
  EXPECT_EQ(a->m_failure_mask, 3u);
  EXPECT_EQ(a->m_last_move, IRTM_MOVE::Backward);
  EXPECT_EQ(p->m_failure_mask, 6u);
  EXPECT_EQ(p->m_last_move, 0u);
  EXPECT_EQ(it.create_irtm_ipin(port)->m_failure_mask, 0u);
  it.m_pending_hold.push_back(port);
  expect_internal_error([&] { m->finalize_retiming(); });
  it.m_pending_hold.clear();
}

// ---------------------------------------------------------------- repairs

// Where candidates are collected a pin whose slack equals the threshold is
// left out; were it taken, the pruning that follows in the same call would
// drop it (it reads the same slack). The walk past a node without a terminal
// is not reached: a register keeper's neighbours are all its pins.
TEST_F(IrtmMovesTest, SetupCandidatesArePrunedAndOnlyFailingOnesQueued) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_ITERATION& it = *m->iteration();
  push_move(IRTM_MOVE::Backward);
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(c.c0)};
  it.m_critical = true;
  it.m_hold_moves = 0;
  sta_incr_reset_changed_flops();
  // Candidates of slack 0 or more below a positive threshold stay.
  it.m_move_cost = {0, 1000000};
  const VOK_ATOM_LOGICAL_PORT u_in = vok_get_logical_port(lut_in(c.u));
  const VOK_ATOM_LOGICAL_PORT b1_in = vok_get_logical_port(c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it.m_setup_candidates = {{b1_in, 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 1u);
  ASSERT_EQ(it.m_setup_candidates.size(), 1u);
  // At or above the threshold: removed.
  it.m_move_cost = {0, -1000000};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(it.m_setup_candidates.empty());
  (void)u_in;
  IRTM_UTIL* u = IRTM_UTIL::s_instance;
  const std::int32_t l3_slack = u->get_min_node_slack(u->get_kem_netlist()->get_kem_node_from_iterm(lut_in(c.luts[3])));
  ASSERT_LT(l3_slack, 0);
  it.m_move_cost = {0, l3_slack};
  it.m_setup_candidates = {{vok_get_logical_port(lut_in(c.luts[3])), 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(it.m_setup_candidates.empty());
  // So is a pin of an atom that is gone.
  it.m_move_cost = {0, 1000000};
  const VOK_ATOM_LOGICAL_PORT b1_port = vok_get_logical_port(c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it.m_setup_candidates = {{VOK_ATOM_LOGICAL_PORT(999999u, b1_port.get_port(), 0), 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(it.m_setup_candidates.empty());
  EXPECT_EQ(queue.size(), 1u);
  // A failing pin without a register: queued for a re-route.
  it.m_move_cost = {0, 1000000};
  const VOK_ATOM_LOGICAL_PORT l3_in = vok_get_logical_port(lut_in(c.luts[3]));
  it.m_setup_candidates = {{l3_in, 1}};
  ASSERT_TRUE(m->update_setup_voilations(0, &queue));
  ASSERT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue[1]->m_type, IRTM_OBJ::IPIN);
  EXPECT_EQ(queue[1]->m_move_type, IRTM_MOVE::Reroute);
  EXPECT_EQ(queue[1]->m_hold, 0);
  EXPECT_EQ(count("    Added setup degrading ff to queue=2"), 1);
  // Not again once its re-route has failed.
  queue[1]->m_failure_mask |= 1u << IRTM_MOVE::Reroute;
  it.m_setup_candidates = {{l3_in, 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 2u);
  queue[1]->m_failure_mask = 0;
  // A failing output of logic, with no register to move, queues nothing.
  it.m_setup_candidates = {{vok_get_logical_port(c.luts[2]->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)), 0}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 2u);
  // A queue as long as the setup-repair limit takes no more.
  it.m_setup_candidates = {{l3_in, 1}};
  const auto limit = it.m_setup_iterations;
  it.m_setup_iterations = static_cast<decltype(limit)>(queue.size());
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 2u);
  it.m_setup_iterations = limit;
  // Of two failing candidates with the same slack (l3's input and l2's
  // output, which feeds only it), the earlier one is taken.
  const VOK_ATOM_LOGICAL_PORT l2_out = vok_get_logical_port(c.luts[2]->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  it.m_setup_candidates = {{l3_in, 1}, {l2_out, 0}};
  ASSERT_TRUE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.back()->m_type, IRTM_OBJ::IPIN);
  ASSERT_EQ(it.m_setup_candidates.size(), 1u);
  EXPECT_TRUE(it.m_setup_candidates[0].port == l2_out);
  // An iteration that met a hold repair queues nothing.
  it.m_setup_candidates = {{l3_in, 1}};
  it.m_hold_moves = 1;
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(it.m_setup_candidates.size(), 1u);
  it.m_hold_moves = 0;
  // A bypassed register's input is pruned however it fails.
  const VOK_ATOM_LOGICAL_PORT c0_in = vok_get_logical_port(c.c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it.m_setup_candidates = {{c0_in, 1}};
  ASSERT_TRUE(m->update_setup_voilations(0, &queue));  // not bypassed: queued
  EXPECT_EQ(queue.back(), m->find_irtm_ff(c.c0));
  queue.pop_back();
  scenes::set_bypassed(c.c0, true);
  it.m_setup_candidates = {{c0_in, 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(it.m_setup_candidates.empty());
  scenes::set_bypassed(c.c0, false);
}

// Setup candidates are collected at the pins of the registers a move changed
// whose slack is below the threshold: a Backward move looks at the changed
// registers' input pins, a Forward move at the output pins of the registers
// feeding them. A pin without a slack is none; one that does not fail is
// kept for later but not queued (a slack of 0 does not fail).
TEST_F(IrtmMovesTest, SetupCandidatesAreCollectedAroundTheChangedRegisters) {
  start_small();
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  it.m_hold_moves = 0;
  it.m_move_cost = {0, 1000000};
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(q)};
  // Without a move there is nothing to look around.
  EXPECT_EQ(expect_internal_error([&] { m->update_setup_voilations(0, &queue); }).condition, "!yun_stack_empty()");
  // A longer clock moves every register's slacks (all three are recorded as
  // changed); o gets an output delay that leaves q's output a slack of 0.
  KEM_NETLIST* kem = IRTM_UTIL::s_instance->get_kem_netlist();
  VOK_ATOM_OTERM* q_out = q->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  const int o = netlist().find("o")->get_id();
  sta_incr_reset_changed_flops();
  host::timing::declare_clock("clk", 2100, q->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED));
  host::timing::set_io_delay(o, {"clk", 0, 0});
  sta_increm_update_timing();
  const std::int32_t spare = IRTM_UTIL::s_instance->get_min_node_slack(kem->get_kem_node_from_oterm(q_out));
  host::timing::set_io_delay(o, {"clk", spare, spare});
  sta_full_update_timing(true);
  ASSERT_EQ(IRTM_UTIL::s_instance->get_min_node_slack(kem->get_kem_node_from_oterm(q_out)), 0);
  auto port = [](const VOK_ATOM_NODE* a, bool input) {
    return input ? vok_get_logical_port(a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))
                 : vok_get_logical_port(a->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  };
  using CANDIDATE = IRTM_ITERATION::SETUP_CANDIDATE;
  auto listed = [&](const std::vector<CANDIDATE>& want) {
    if (it.m_setup_candidates.size() != want.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i)
      if (!(it.m_setup_candidates[i].port == want[i].port) || it.m_setup_candidates[i].input != want[i].input) return false;
    return true;
  };
  // Backward: q's data input; r1's and r2's come from unconstrained pins.
  IRTM_MOVE* move = push_move(IRTM_MOVE::Backward);
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(listed({{port(q, true), 1}}));
  // Forward: the outputs of r1 and r2, which feed q; q's own output is left
  // (it feeds no register), though listed by hand it stays, at a slack of 0.
  move->type = IRTM_MOVE::Forward;
  it.m_setup_candidates = {{port(q, false), 0}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_TRUE(listed({{port(q, false), 0}, {port(r1, false), 0}, {port(r2, false), 0}}));
  EXPECT_EQ(queue.size(), 1u);
  it.m_setup_candidates.clear();
}

// With re-routes for setup switched off a failing pin without a register is
// left alone.
TEST_F(IrtmMovesTest, SetupRepairWithoutReroutesQueuesNoPin) {
  cfg_set_off("muvo_zota_reroute_setup_fix");
  start_pipeline();
  IRTM_ITERATION& it = *m->iteration();
  push_move(IRTM_MOVE::Backward);
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(s[0].c0)};
  it.m_critical = true;
  it.m_hold_moves = 0;
  sta_incr_reset_changed_flops();
  it.m_move_cost = {0, 1000000};
  it.m_setup_candidates = {{vok_get_logical_port(lut_in(s[0].luts[3])), 1}};
  EXPECT_FALSE(m->update_setup_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 1u);
}

// Hold failures are collected around the changed registers; the branch for
// a changed cell that is not a register (its inputs' drivers at a hold slack
// below 0) cannot be reached here: the timing analysis gives a register
// keeper, and so a "changed register" record, to register atoms only.
// When no pending pin fails the list is cleared; by then the pass over it has
// already dropped every pin (only failing ones are kept).
TEST_F(IrtmMovesTest, HoldRepairs) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(c.b0)};
  // A clean list passes.
  const VOK_ATOM_LOGICAL_PORT a_in = vok_get_logical_port(c.c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it.m_pending_hold = {a_in};
  EXPECT_TRUE(m->update_hold_voilations(0, &queue));
  EXPECT_TRUE(it.m_pending_hold.empty());
  EXPECT_EQ(count("    hold fix PASSED"), 1);
  // A move off the critical range repairs hold only when it made the cost
  // better.
  it.m_critical = false;
  it.m_initial_cost = {100, 0};
  it.m_move_cost = {100, 0};
  it.m_pending_hold = {a_in};
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  EXPECT_EQ(count("    hold fix PASSED"), 1);
  it.m_move_cost = {99, 0};
  EXPECT_TRUE(m->update_hold_voilations(0, &queue));
  EXPECT_EQ(count("    hold fix PASSED"), 2);
  it.m_critical = true;
  // b1's data input fails hold: first a wire LUT in front of it.
  VOK_ATOM_ITERM* b1_d = c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  const VOK_ATOM_LOGICAL_PORT b1_in = vok_get_logical_port(b1_d);
  it.m_pending_hold = {b1_in};
  push_move(IRTM_MOVE::Forward);
  ASSERT_TRUE(m->update_hold_voilations(0, &queue));
  ASSERT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue[1]->m_move_type, IRTM_MOVE::Wirelut);
  EXPECT_EQ(queue[1]->m_hold, 1);
  EXPECT_EQ(count_prefix("    hold_slack DEGRADED: "), 1);
  // The pin's wire LUT failed: the load register is moved forward.
  it.create_irtm_ipin(b1_in)->m_failure_mask |= 1u << IRTM_MOVE::Wirelut;
  ASSERT_TRUE(m->update_hold_voilations(0, &queue));
  ASSERT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue[2], m->find_irtm_ff(c.b1));
  EXPECT_EQ(queue[2]->m_move_type, IRTM_MOVE::Forward);
  EXPECT_EQ(queue[2]->m_hold, 1);
  // After a Backward move whose source register cannot move back any more:
  // unfixable.
  m->yun_stack().back()->type = IRTM_MOVE::Backward;
  m->find_irtm_ff(c.b0)->m_failure_mask |= 1u << IRTM_MOVE::Backward;
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  EXPECT_EQ(count("    hold cost cannot be fixed"), 1);
  // After a Forward move a failing LUT input has no load register to move:
  // unfixable too.
  m->yun_stack().back()->type = IRTM_MOVE::Forward;
  const VOK_ATOM_LOGICAL_PORT l1_in = vok_get_logical_port(lut_in(c.luts[1]));
  it.create_irtm_ipin(l1_in)->m_failure_mask |= 1u << IRTM_MOVE::Wirelut;
  host::sta::set_uniform_hold_slack(-10);
  it.m_pending_hold = {l1_in};
  const bool lut_load = m->update_hold_voilations(0, &queue);
  // Past its wire LUT a repair needs the move it follows: without one it is
  // an internal error.
  const std::vector<IRTM_MOVE*> moves = m->yun_stack();
  m->yun_stack().clear();
  it.m_pending_hold = {b1_in};
  const std::string no_move = expect_internal_error([&] { m->update_hold_voilations(0, &queue); }).condition;
  m->yun_stack() = moves;
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_FALSE(lut_load);
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(count("    hold cost cannot be fixed"), 2);
  EXPECT_EQ(no_move, "!yun_stack_empty()");
  // No repair move left: the limit on hold moves.
  it.m_hold_moves = static_cast<std::uint32_t>(it.m_hold_iterations);
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  // Of two pins failing hold by the same amount the first is repaired.
  it.m_hold_moves = 0;
  host::sta::set_uniform_hold_slack(-10);
  it.m_pending_hold = {a_in, b1_in};
  const bool repaired = m->update_hold_voilations(0, &queue);
  host::sta::set_uniform_hold_slack(std::nullopt);
  ASSERT_TRUE(repaired);
  EXPECT_EQ(queue.back(), it.create_irtm_ipin(a_in));
  EXPECT_EQ(queue.back()->m_move_type, IRTM_MOVE::Wirelut);
  // A pin of an atom that is gone leaves the list; an empty port ends the
  // repair (refused); an empty list is an internal error.
  const VOK_ATOM_LOGICAL_PORT gone(999999u, a_in.get_port(), a_in.get_index());
  host::sta::set_uniform_hold_slack(-10);
  it.m_pending_hold = {gone, a_in};
  const bool again = m->update_hold_voilations(0, &queue);
  it.m_pending_hold.push_back(VOK_ATOM_LOGICAL_PORT());
  const bool with_empty = m->update_hold_voilations(0, &queue);
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_TRUE(again);
  EXPECT_EQ(it.m_pending_hold.size(), 2u);  // a_in and the empty port
  EXPECT_FALSE(with_empty);
  // So does a pin the atom lacks, or one the timing netlist does not know.
  // (Each is refused twice over: no terminal gives no timing node, and no
  // node gives no hold slack, which is refused too.)
  it.m_pending_hold = {VOK_ATOM_LOGICAL_PORT(c.b1->get_id(), vok_input_port_symbol(DB_INPUT_PORT_SCLR), 0)};
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  c.b1->add_input_term(DB_INPUT_PORT_SCLR, 0);
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  // And a pin without a hold slack.
  host::sta::set_uniform_hold_slack(IRTM_NO_SLACK);
  it.m_pending_hold = {a_in};
  const bool unknown = m->update_hold_voilations(0, &queue);
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_FALSE(unknown);
  it.m_pending_hold.clear();
  EXPECT_EQ(expect_internal_error([&] { m->update_hold_voilations(0, &queue); }).condition, "!m_hold_vec.empty()");
}

// With wire LUTs for hold switched off a failing register input has its
// register moved at once.
TEST_F(IrtmMovesTest, HoldRepairWithoutWireLutsMovesTheRegister) {
  cfg_set_off("muvo_zota_wirelut_hold_fix");
  start_pipeline();
  const auto& c = s[0];
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(c.b0)};
  it.m_pending_hold = {vok_get_logical_port(c.b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))};
  push_move(IRTM_MOVE::Forward);
  ASSERT_TRUE(m->update_hold_voilations(0, &queue));
  ASSERT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue[1], m->find_irtm_ff(c.b1));
  EXPECT_EQ(queue[1]->m_move_type, IRTM_MOVE::Forward);
  EXPECT_TRUE(it.m_ipins.empty());
}

TEST_F(IrtmMovesTest, AFullBatchReturnsWithoutLooking) {
  start_pipeline();
  const auto& c = s[0];
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  IRTM_MOVE* move = push_move(IRTM_MOVE::Forward);
  // A failure that would batch pc, but the queue is full.
  move->failure.set(IRTM_FAILURE::NO_SLOT, c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  std::vector<IRTM_OBJ*> queue(static_cast<std::size_t>(it.m_max_batch_size), m->create_irtm_ff(c.a0));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(count_prefix("    Batched moves"), 0);
  queue.resize(1);
  // No slot, forward: the atom of the failing input (a LUT: no register).
  move->failure.set(IRTM_FAILURE::NO_SLOT, lut_in(c.luts[1]));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  move->failure.set(IRTM_FAILURE::NO_SLOT, c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(c.pc));
  EXPECT_EQ(count("    Batched moves, queue_size = 2"), 1);
  // Only a critical iteration batches.
  queue.resize(1);
  it.m_critical = false;
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.size(), 1u);
  it.m_critical = true;
  EXPECT_THROW(m->batch_retiming_moves(5, &queue), std::out_of_range);
  // The output of a register or of a LUT-RAM names no logic to cross,
  // whatever feeds it (a0 feeds the LUT-RAM).
  for (VOK_ATOM_NODE* cell : {c.pc, c.b1, c.m}) {
    move->failure.set(IRTM_FAILURE::NO_REGISTER, cell->get_oterm_slot(0));
    EXPECT_FALSE(m->batch_retiming_moves(0, &queue)) << cell->get_string_hpath();
  }
  EXPECT_EQ(queue.size(), 1u);
  // Nor for an attempt on a pin.
  std::vector<IRTM_OBJ*> pins{
      it.create_irtm_ipin(vok_get_logical_port(c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)))};
  EXPECT_FALSE(m->batch_retiming_moves(0, &pins));
  EXPECT_EQ(pins.size(), 1u);
  // Without a move there is nothing to batch.
  const std::vector<IRTM_MOVE*> moves = m->yun_stack();
  m->yun_stack().clear();
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  m->yun_stack() = moves;
}

// The register each failed search's failure points at is batched. The
// forward search names the logic it met where a register should be by that
// logic's output: the register feeding the logic is batched.
TEST_F(IrtmMovesTest, BatchingQueuesTheRegisterEachFailurePointsAt) {
  start_small();
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  IRTM_MOVE* move = push_move(IRTM_MOVE::Forward);
  move->failure.set(IRTM_FAILURE::NO_REGISTER, x->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  // Exactly full: nothing is looked at.
  std::vector<IRTM_OBJ*> queue(static_cast<std::size_t>(it.m_max_batch_size), m->create_irtm_ff(q));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  queue.resize(static_cast<std::size_t>(it.m_max_batch_size) - 1);
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(r1));
  // Named by an input terminal: the logic driving it.
  queue.resize(1);
  move->failure.set(IRTM_FAILURE::NO_REGISTER, q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(r1));
  // A register's output is no logic to cross; a Backward move reads the rule
  // for its own type.
  queue.resize(1);
  move->failure.set(IRTM_FAILURE::NO_REGISTER, r2->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  move->failure.set(IRTM_FAILURE::NO_REGISTER, x->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  move->type = IRTM_MOVE::Backward;
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.size(), 1u);
  // Backward, no register at a LUT's input: the register the LUT feeds.
  move->failure.set(IRTM_FAILURE::NO_REGISTER, lut_in(x, 1));
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(q));
  // Backward, no slot: the atom of the output the failure names; an input
  // named instead gives nothing.
  queue.resize(1);
  move->failure.set(IRTM_FAILURE::NO_SLOT, q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  move->failure.set(IRTM_FAILURE::NO_SLOT, r2->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(r2));
  // Backward, no register at a register's own input: that register, unless
  // it may not move (r1: its clock is no global one) or the way it would
  // move has failed for it already.
  queue.resize(1);
  q->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(2);  // a global clock
  ASSERT_TRUE(m->is_retimable_ff(q));
  move->type = IRTM_MOVE::Backward;
  move->failure.set(IRTM_FAILURE::NO_REGISTER, q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_TRUE(m->batch_retiming_moves(0, &queue));
  EXPECT_EQ(queue.back(), m->find_irtm_ff(q));
  queue.resize(1);
  IRTM_FF* qf = m->find_irtm_ff(q);
  qf->m_failure_mask |= 1u << qf->compute_move();
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  qf->m_failure_mask = 0;
  move->failure.set(IRTM_FAILURE::NO_REGISTER, r1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  // Other failures batch nothing.
  move->failure.set(IRTM_FAILURE::INCOMPATIBLE_REGISTER, lut_in(x, 1));
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  move->type = IRTM_MOVE::Forward;
  EXPECT_FALSE(m->batch_retiming_moves(0, &queue));
  // A LUT whose output has no load leads to no register.
  move->type = IRTM_MOVE::Backward;
  VOK_ATOM_ITERM* q_d = q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  q_d->disconnect_from_source(VOK_NET_ITERM::OPEN);
  move->failure.set(IRTM_FAILURE::NO_REGISTER, lut_in(x, 1));
  const bool dangling = m->batch_retiming_moves(0, &queue);
  vok_connect(x->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0), q_d);
  EXPECT_FALSE(dangling);
  EXPECT_EQ(queue.size(), 1u);
}

// Hold slack exactly 0 is met: neither collected at a changed register in a
// routing slot nor kept on the pending list beside a pin that fails. The
// collection reads the registers the analysis records as changed, not the
// registers feeding them: p, whose LUT feeds a design output, is found
// through no other changed register.
TEST_F(IrtmMovesTest, AHoldSlackOfZeroIsMet) {
  device(Family::KY).grid(10, 6).dsp_columns({}).ram_columns({}).build();
  auto n = netlist();
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  auto pin_in = [&](const std::string& name, int y) { return velmo_test::left_pad_input(n, name, y); };
  SIG clk = pin_in("clk", 1);
  n.clock("clk", 2000, clk);
  VOK_ATOM_NODE* r = n.reg("r").clk(clk).d(pin_in("a", 2)).atom();
  VOK_ATOM_NODE* s = n.reg("s").clk(clk).d(pin_in("b", 3)).atom();
  VOK_ATOM_NODE* p = n.zota_reg("p").clk(clk).d(r).atom();
  VOK_ATOM_NODE* w = n.lut("w", {p}, [](const LUT_INPUTS& v) { return v[0]; }).atom();
  place_at(r, 2, 2, 1);
  place_at(s, 2, 3, 1);
  place_in_slot(p, 3, 2, 61);
  place_at(w, 3, 2, 3);
  int y = 2;
  for (auto [name, from] : {std::pair<std::string, VOK_ATOM_NODE*>{"o", w}, {"o2", s}}) {
    auto pad = n.io_out(name, from);
    place_at(n.find(name + "~obuf"), grid.nx() - 1, y, 3);
    place_at(pad, grid.nx() - 1, y, 1);
    ++y;
  }
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  n.timing();
  make_manager();
  KEM_NETLIST* kem = IRTM_UTIL::s_instance->get_kem_netlist();
  VOK_ATOM_ITERM* r_d = r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VOK_ATOM_ITERM* s_d = s->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  // The input delay of a pin that leaves hold slack `target` at `d`.
  auto hold_at = [&](const std::string& pin, VOK_ATOM_ITERM* d, std::int32_t target) {
    const int id = n.find(pin)->get_id();
    host::timing::set_io_delay(id, {"clk", 0, 0});
    sta_full_update_timing(true);
    const std::int32_t h = sta_get_node_worst_hold_slack(kem->get_kem_node_from_iterm(d), true);
    host::timing::set_io_delay(id, {"clk", target - h, target - h});
    sta_full_update_timing(true);
    return sta_get_node_worst_hold_slack(kem->get_kem_node_from_iterm(d), true);
  };
  ASSERT_EQ(hold_at("a", r_d, 0), 0);
  ASSERT_EQ(hold_at("b", s_d, -10), -10);
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  const VOK_ATOM_LOGICAL_PORT r_in = vok_get_logical_port(r_d), s_in = vok_get_logical_port(s_d);
  it.m_pending_hold = {r_in, s_in};
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(r)};
  ASSERT_TRUE(m->update_hold_voilations(0, &queue));
  ASSERT_EQ(it.m_pending_hold.size(), 1u);
  EXPECT_TRUE(it.m_pending_hold[0] == s_in);
  ASSERT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue[1], it.create_irtm_ipin(s_in));
  // A longer clock moves every register's setup slack: all are recorded.
  sta_incr_reset_changed_flops();
  host::timing::declare_clock("clk", 2100, clk.oterm);
  sta_increm_update_timing();
  const VOK_ATOM_LOGICAL_PORT p_in = vok_get_logical_port(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  for (const std::int32_t h : {-10, 0}) {
    SCOPED_TRACE(h);
    host::sta::set_uniform_hold_slack(h);
    it.m_pending_hold.clear();
    const std::uint32_t added = m->collect_hold_voilations();
    host::sta::set_uniform_hold_slack(std::nullopt);
    if (h < 0) {
      EXPECT_EQ(added, 1u);
      ASSERT_EQ(it.m_pending_hold.size(), 1u);
      EXPECT_TRUE(it.m_pending_hold[0] == p_in);
    } else {
      EXPECT_EQ(added, 0u);
      EXPECT_TRUE(it.m_pending_hold.empty());
    }
  }
  it.m_pending_hold.clear();
}

TEST_F(IrtmMovesTest, TheHoldBackTraceEndsOnACombinationalLoop) {
  // A late capture clock makes hold fail; two LUTs in the path feed each
  // other, each one's first input coming from the other, so a walk back
  // over equal hold slacks goes round them.
  device(Family::KY).build();
  auto n = netlist();
  SIG clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  VOK_ATOM_NODE* b0 = n.reg("b0").clk(clk).d(n.input_port("in")).atom();
  place_at(b0, 3, 2, 1);
  VOK_ATOM_NODE* x = n.lut("x", {b0}, 0x2).atom();
  VOK_ATOM_NODE* y = n.lut("y", {x}, 0x2).atom();
  vok_connect(b0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), x->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0));
  vok_connect(y->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0), lut_in(x));
  place_at(x, 3, 2, 3);
  place_at(y, 3, 2, 6);
  auto cb1 = n.atom(VOK_ATOM_KIND::CLKBUF, "cb1").input(DB_INPUT_PORT_BOX, 0, clk);
  auto cb2 = n.atom(VOK_ATOM_KIND::CLKBUF, "cb2").input(DB_INPUT_PORT_BOX, 0, cb1);
  VOK_ATOM_NODE* b1 = n.reg("b1").clk(cb2).d(y).atom();
  place_at(b1, 3, 2, 2);
  VOK_ATOM_NODE* r = n.reg("r").clk(clk).d(n.input_port("unused")).atom();
  VOK_ATOM_NODE* z = n.lut("z", {r}, 0x1).atom();
  VOK_ATOM_ITERM* r_d = r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  r_d->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(z->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0), r_d);
  place_at(r, 3, 2, 9);
  place_at(z, 3, 2, 10);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  n.timing();
  make_manager();
  KEM_NETLIST* kem = IRTM_UTIL::s_instance->get_kem_netlist();
  KEM_NODE* d = kem->get_kem_node_from_iterm(b1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_NE(d, nullptr);
  KEM_NODE* start = d;
  const std::int32_t h = m->get_hold_slack(d, &start);
  EXPECT_EQ(h, sta_get_node_worst_hold_slack(d, true));
  if (h < 0) {
    EXPECT_TRUE(start == nullptr || start->has_any_flag(KEM_NODE_FLAGS_STOP));
  }
  // Every node failing hold by the same amount: the walk goes round the loop
  // until its step bound ends it, with no start node.
  host::sta::set_uniform_hold_slack(-10);
  start = d;
  EXPECT_EQ(m->get_hold_slack(d, &start), -10);
  EXPECT_EQ(start, nullptr);
  // A register feeding itself through a LUT: its failure traces back to
  // itself, which after a Backward move no repair can fix.
  start = d;
  KEM_NODE* rd = kem->get_kem_node_from_iterm(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_NE(rd, nullptr);
  EXPECT_EQ(m->get_hold_slack(rd, &start), -10);
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->get_atom(), r);
  IRTM_ITERATION& it = *m->iteration();
  it.m_critical = true;
  const VOK_ATOM_LOGICAL_PORT r_in = vok_get_logical_port(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it.m_pending_hold = {r_in};
  it.create_irtm_ipin(r_in)->m_failure_mask |= 1u << IRTM_MOVE::Wirelut;
  push_move(IRTM_MOVE::Backward);
  std::vector<IRTM_OBJ*> queue{m->create_irtm_ff(b1)};
  EXPECT_FALSE(m->update_hold_voilations(0, &queue));
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(count("    hold cost cannot be fixed"), 1);
  host::sta::set_uniform_hold_slack(std::nullopt);
}

// ---------------------------------------------------------------- function

TEST_F(IrtmMovesTest, AWireLutKeepsTheDesignsBehaviour) {
  start_small();
  const auto st = stimuli(11);
  const SIM_TRACE before = run(st);
  IRTM_MOVE* move = push_move(IRTM_MOVE::Wirelut);
  IRTM_IPIN* pin = m->iteration()->create_irtm_ipin(vok_get_logical_port(q->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  ASSERT_TRUE(m->insert_wirelut(pin, move));
  ASSERT_TRUE(m->annotate_delays(move, nullptr));
  EXPECT_TRUE(move->m_atoms[0]->is_placed());
  EXPECT_EQ(run(st), before);
}

TEST_F(IrtmMovesTest, ACommittedForwardMoveAcrossALutKeepsTheBehaviourFromPowerUp) {
  start_small();
  const auto st = stimuli(5);
  const SIM_TRACE before = run(st);
  IRTM_MOVE* move = nullptr;
  const unsigned slot = slot_gid(4, 2, 70);
  ASSERT_NO_FATAL_FAILURE(forward_over_x(slot, &move));
  ASSERT_TRUE(m->annotate_delays(move, nullptr));
  IRTM_ITERATION& it = *m->iteration();
  m->check_retiming(move, &it.m_move_cost, &it.m_initial_cost, false);
  m->finalize_retiming();
  VOK_ATOM_NODE* p = PLACE_DB::get_atom(slot);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->powers_up()) << "x(1, 0)";
  EXPECT_TRUE(ZEL_ZOTA_UTIL::is_ff_bypassed(r1));
  EXPECT_EQ(m->find_irtm_ff(p)->m_last_move, IRTM_MOVE::Forward);
  EXPECT_EQ(run(st), before);
}

// A move inside a partition stays in the partition's netlist: the slot
// register is made there, clocked through the partition's port as the moved
// register is, with its clock placed from the driver beyond the port.
TEST_F(IrtmMovesTest, ASlotRegisterIsMadeInTheMovedRegistersNetlist) {
  start_small(true);
  IRTM_MOVE* move = nullptr;
  const unsigned slot = slot_gid(4, 2, 70);
  ASSERT_NO_FATAL_FAILURE(forward_over_x(slot, &move));
  VOK_ATOM_NODE* p = PLACE_DB::get_atom(slot);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->get_parent_netlist(), q->get_parent_netlist());
  auto clock_of = [](const VOK_ATOM_NODE* a) {
    return a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  };
  EXPECT_EQ(clock_of(p), clock_of(r1));
  EXPECT_EQ(m->dux()->get_zota_legality()->placements().at(p->get_id()), slot);
  EXPECT_TRUE(m->annotate_delays(move, nullptr));
  // A register of implementation 401 (a routing slot's), in that netlist.
  const auto made = host::call_lines();
  EXPECT_EQ(std::count_if(made.begin(), made.end(), [](const std::string& l) {
              return l.rfind("DUX::create_atom(47,", 0) == 0 && l.find(", \"netlist\", 401)") != std::string::npos;
            }), 1) << ::testing::PrintToString(made);
}

// A register is not moved back the way its last committed move came: the
// driver refuses before any search (the attempt's move stays None); any
// other history lets the search run and record its direction.
TEST_F(IrtmMovesTest, ARegisterIsNotSearchedAgainstItsLastMove) {
  start_small();
  r1->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(2);  // a global clock
  IRTM_FF* ff = m->create_irtm_ff(r1);
  ASSERT_TRUE(m->is_retimable_ff(r1));
  // Output worse than input: Forward; input worse: Backward.
  const std::pair<std::int32_t, std::int32_t> slacks[] = {{500, -100}, {-100, 500}};
  for (const auto& [data, output] : slacks) {
    // The type of the move an attempt pushed; whatever it did is undone.
    auto attempt = [&](std::uint32_t last, bool* result) {
      ff->m_data_slack = data;
      ff->m_output_slack = output;
      ff->m_last_move = last;
      const std::size_t at = m->yun_stack().size();
      *result = m->retime_ff(ff);
      const std::uint32_t type = at < m->yun_stack().size() ? m->yun_stack()[at]->type : 99u;
      m->undo_all_retiming(0);
      return type;
    };
    ff->m_data_slack = data;
    ff->m_output_slack = output;
    const std::uint32_t tried = ff->compute_move();
    ASSERT_NE(tried, IRTM_MOVE::None);
    const std::uint32_t against = tried == IRTM_MOVE::Forward ? IRTM_MOVE::Backward : IRTM_MOVE::Forward;
    bool result = true;
    const std::uint64_t checkpoint = m->dux()->get_checkpoint_id();
    EXPECT_EQ(attempt(against, &result), IRTM_MOVE::None) << IRTM_MOVE::type_name(tried);
    EXPECT_FALSE(result);
    EXPECT_EQ(m->dux()->get_checkpoint_id(), checkpoint);  // nothing searched, nothing edited
    for (std::uint32_t last : {std::uint32_t{IRTM_MOVE::None}, tried})
      EXPECT_EQ(attempt(last, &result), tried) << IRTM_MOVE::type_name(tried) << " after " << last;
    // A direction stored without the hold flag is no hold repair's: it is
    // chosen again.
    ff->m_move_type = against;
    EXPECT_EQ(attempt(IRTM_MOVE::None, &result), tried) << IRTM_MOVE::type_name(tried) << " stored " << against;
    ff->m_move_type = IRTM_MOVE::None;
  }
}

}  // namespace
