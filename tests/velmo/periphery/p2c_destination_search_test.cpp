// The periphery-core destination search on the periphery scene with unplaced
// core registers: which registers are taken up on which side, the warnings
// for assignments that cannot be honoured, slack-window filtering, grouping,
// the solver's blacklist, the UIB/ESRAM search and the register predicates.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_fitter_ops.h"
#include "wump/wump_die_info.h"

using host::testing::expect_internal_error;
using host::testing::periphery_chain_gid;
using host::testing::SIG;

namespace {

constexpr int INT = 4;

class P2cDestinationSearchTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    s = host::testing::scenes::kx_periphery();
  }
  static void assign(VOK_ATOM_NODE* atom, int code, int type, const std::string& value) {
    host::options::set(code, type, value, atom->get_string_hpath());
  }
  static unsigned site(int x, int y, int z) { return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z); }
  static VOK_ATOM_ITERM* in(VOK_ATOM_NODE* a, int i) { return a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, i); }
  static VOK_ATOM_OTERM* q(VOK_ATOM_NODE* r) { return r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0); }
  // The translated gid of u0's output port out[0] and of e0's out[1].
  static int u0_out() { return static_cast<int>(periphery_chain_gid(3, 9, 4, 2) & 0x7FFFFFFFu); }
  struct RESULT {
    std::vector<std::vector<int>> p2c, c2p;
    std::vector<P2C_MATRIX_STRUCT> pm, cm;
  };
  RESULT search(VELMO_PERIPHERY_CORE_PLACEMENT& p) {
    RESULT r;
    EXPECT_TRUE(p.get_interested_dst_locs(r.p2c, r.c2p, r.pm, r.cm));
    EXPECT_EQ(r.p2c.size(), r.pm.size());
    EXPECT_EQ(r.c2p.size(), r.cm.size());
    return r;
  }
  static std::vector<std::string> warned() {
    std::vector<std::string> out;
    for (const auto& m : host::messages::posted())
      if (m.id == 16245) out.push_back(m.text);
    return out;
  }
  host::testing::scenes::KX_PERIPHERY s;
};

}  // namespace

TEST_F(P2cDestinationSearchTest, PeripheryFedRegistersAndTheirWarnings) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* lone = n.reg("lone");
  VOK_ATOM_NODE* p = n.reg("p").d(s.u0);
  VOK_ATOM_NODE* p_again = n.reg("p_again").d(s.u0);    // the same port: left to the placer
  VOK_ATOM_NODE* from_core = n.reg("from_core").d(lone);  // explicit, driver unplaced: warned
  // Its output feeds one placed periphery input: a P2C assignment never
  // makes it a C2P transfer.
  host::testing::GENERIC_BUILDER(s.u0).input(DB_INPUT_PORT_DATA_IN, 2, from_core);
  VOK_ATOM_NODE* automatic = n.reg("automatic").d(lone);  // no assignment: nothing
  VOK_ATOM_NODE* both = n.reg("both").d(s.u0);
  VOK_ATOM_NODE* loops_back = n.reg("loops_back").d(s.e0);  // output also into the periphery
  n.reg("sink").d(loops_back).placed(site(5, 5, 1), 643);
  VOK_ATOM_NODE* tied = n.reg("tied").tie(DB_INPUT_PORT_DATA_IN, 0, true);  // no driver: skipped quietly
  for (VOK_ATOM_NODE* a : {p, p_again, from_core, both, loops_back, tied}) assign(a, 838, INT, "4");
  assign(both, 843, INT, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  RESULT r = search(placement);
  ASSERT_EQ(r.p2c.size(), 1u);
  EXPECT_EQ(r.p2c[0], std::vector<int>{u0_out()});
  EXPECT_EQ(r.pm[0].max_wire, 4);
  EXPECT_TRUE(r.c2p.empty());
  ASSERT_EQ(placement.p2c_connections().size(), 1u);
  EXPECT_EQ(placement.p2c_connections()[0], std::make_tuple(s.u0, p, in(p, 0)));
  ASSERT_NE(placement.port_gid_to_core_node_map().lookup(u0_out()), nullptr);
  EXPECT_EQ(*placement.port_gid_to_core_node_map().lookup(u0_out()), p);
  EXPECT_EQ(warned(), std::vector<std::string>{"Illegal constraints of performing periphery to core register paths "
                                               "optimization on register from_core."});
  (void)automatic;
  // Without the check for registers constrained on both sides, the one
  // whose output goes back into the periphery is taken up too.
  cfg_set_off("velmo_perform_check_for_core_ff_constrainted_on_both_side");
  VELMO_PERIPHERY_CORE_PLACEMENT unchecked(m_env);
  search(unchecked);
  ASSERT_EQ(unchecked.p2c_connections().size(), 2u);
  EXPECT_EQ(unchecked.p2c_connections()[1], std::make_tuple(s.e0, loops_back, in(loops_back, 0)));
}

TEST_F(P2cDestinationSearchTest, SlackWindowsDecideAutomaticRegisters) {
  auto n = host::testing::netlist();
  struct CASE {
    int max, min;
    bool taken;
  };
  // Narrow enough: a spread of at most 1000 ps, or a lower bound from 900 to
  // 1300 ps; and an upper bound of at most 2800 ps. A window of one point is
  // possible.
  const CASE cases[] = {{2800, 1800, true},  {2000, 950, true},   {2400, 1300, true}, {2400, 900, true},
                        {1000, 1000, true},  {2801, 2000, false}, {2600, 1400, false}, {2400, 899, false},
                        {1500, 400, false},  {1000, 1200, false}};
  int k = 0;
  for (const CASE& c : cases) {
    VOK_ATOM_NODE* reg = n.reg("w" + std::to_string(k++)).d(s.u0);
    assign(reg, 836, INT, "52");  // asks for the narrow-window check
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    placement.p2c_slack_window_map()[{s.u0->get_id(), reg->get_id()}] = {c.min, c.max};
    RESULT r = search(placement);
    ASSERT_EQ(r.p2c.size(), c.taken ? 1u : 0u) << c.max << " " << c.min;
    if (c.taken) {
      EXPECT_EQ(r.pm[0].max_delay.get_ps(), c.max);
      EXPECT_EQ(r.pm[0].min_delay.get_ps(), c.min);
    }
  }
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Impossible to meet timing requirement (max: 1000; min: 1200) for this p2c path:"));
  // Status 2 takes any window; without a window nothing is taken.
  VOK_ATOM_NODE* wide = n.reg("wide").d(s.u0);
  assign(wide, 836, INT, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  placement.p2c_slack_window_map()[{s.u0->get_id(), wide->get_id()}] = {0, 9000};
  EXPECT_EQ(search(placement).p2c.size(), 1u);
  EXPECT_TRUE(warned().empty());
  // Without a request on either atom (and the switch off) a window is not
  // even looked at.
  VOK_ATOM_NODE* unasked = n.reg("unasked").d(s.u0);
  VELMO_PERIPHERY_CORE_PLACEMENT not_asked(m_env);
  not_asked.p2c_slack_window_map()[{s.u0->get_id(), unasked->get_id()}] = {1800, 2000};
  EXPECT_TRUE(search(not_asked).p2c.empty());
  // An assignment on the periphery atom is the requirement: no window needed.
  assign(s.u0, 838, INT, "3");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT own(m_env);
    RESULT r = search(own);
    ASSERT_EQ(r.p2c.size(), 1u);
    EXPECT_EQ(r.pm[0].max_wire, 3);
  }
  host::options::unset(838, s.u0->get_string_hpath());
  // Without windows every one is passed over, said only when verbose.
  const std::string skipped = "no moz on either core or periphery, skipping";
  {
    VELMO_PERIPHERY_CORE_PLACEMENT quiet(m_env);
    EXPECT_TRUE(search(quiet).p2c.empty());
    EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine(skipped)));
  }
  cfg_set_on("velmo_verbose_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT verbose(m_env);
  EXPECT_TRUE(search(verbose).p2c.empty());
  EXPECT_THAT(host::debug::texts(), HasDebugLine(skipped));
}

TEST_F(P2cDestinationSearchTest, GroupsByRequirementAndControlSignals) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* ck1 = n.reg("ck1");
  VOK_ATOM_NODE* ck2 = n.reg("ck2");
  VOK_ATOM_NODE* pa = n.reg("pa").d(s.u0).clk(ck1);
  const int nx = host::device::die_info()->get_place_info()->get_nx();
  const int ny = host::device::die_info()->get_place_info()->get_ny();
  VOK_ATOM_NODE* pb = n.reg("pb").d(s.e0).clk(ck1).locked_box(0, 0, nx - 1, ny - 1);  // the whole device
  assign(pa, 838, INT, "4");
  assign(pb, 838, INT, "4");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    RESULT r = search(placement);
    ASSERT_EQ(r.p2c.size(), 1u);
    EXPECT_EQ(r.p2c[0].size(), 2u);
    EXPECT_TRUE(std::is_sorted(r.p2c[0].begin(), r.p2c[0].end()));
    EXPECT_FALSE(r.pm[0].region_constraint);
    // The count is of paths, not of groups.
    EXPECT_THAT(host::debug::texts(), HasDebugLine("p2c: got 2 targeted paths"));
  }
  // The same requirement but another control signal: another group. First
  // a synchronous clear, an asynchronous clear or a load (port 33) on one of
  // the two only, then another clock.
  auto groups = [&] {
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    return search(placement).p2c.size();
  };
  for (const int type : {static_cast<int>(DB_INPUT_PORT_SCLR), static_cast<int>(DB_INPUT_PORT_ACLR), 33}) {
    SCOPED_TRACE(type);
    const auto port = static_cast<DB_INPUT_PORT_TYPE>(type);
    vok_connect(n.input_port("ctl" + std::to_string(type)).oterm, pb->add_input_term(port, 0));
    EXPECT_EQ(groups(), 2u);
    pb->remove_input_term(pb->get_input_term_by_type(port, 0));
    ASSERT_EQ(groups(), 1u);
  }
  vok_connect(q(ck2), pb->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  EXPECT_EQ(groups(), 2u);
  // A located register's group comes first.
  VOK_ATOM_NODE* pc = n.reg("pc").d(s.u0).clk(ck2);  // same port as pa: not taken
  (void)pc;
  host::constraints::clear();
  host::testing::REG_BUILDER(pb).locked(4, 6, 2);
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  RESULT r = search(placement);
  ASSERT_EQ(r.p2c.size(), 2u);
  EXPECT_EQ(r.pm[0].location, std::make_tuple(4, 6, 2));
  EXPECT_EQ(r.pm[1].location, std::make_tuple(-1, -1, -1));
  EXPECT_EQ(r.p2c[1], std::vector<int>{u0_out()});
}

TEST_F(P2cDestinationSearchTest, CoreToPeripheryRegisters) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* c = n.reg("c2p");
  VOK_ATOM_NODE* two = n.reg("two");
  VOK_ATOM_NODE* picky = n.reg("picky");  // automatic: only e0 has its own assignment
  vok_connect(q(c), in(s.u0, 0));
  vok_connect(q(two), in(s.u0, 1));
  n.reg("placed_sink").d(two).placed(site(5, 5, 1), 643);
  vok_connect(q(picky), in(s.e0, 0));
  n.reg("placed_sink2").d(picky).placed(site(5, 5, 2), 643);
  assign(c, 843, INT, "3");
  assign(two, 843, INT, "3");
  assign(s.e0, 843, INT, "5");
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  const unsigned in0 = placement.get_top_level_port_gid(s.u0, in(s.u0, 0), false);
  const int tr = static_cast<int>(placement.get_gid_after_port_translation(in0, false));
  RESULT r = search(placement);
  ASSERT_EQ(r.c2p.size(), 2u);
  EXPECT_EQ(r.c2p[0], std::vector<int>{tr});
  EXPECT_EQ(r.cm[0].max_wire, 3);
  EXPECT_EQ(r.cm[1].max_wire, 5);  // from the periphery atom's own assignment
  ASSERT_EQ(placement.c2p_connections().size(), 2u);
  EXPECT_EQ(placement.c2p_connections()[0], std::make_tuple(c, s.u0, in(s.u0, 0)));
  EXPECT_EQ(placement.c2p_connections()[1], std::make_tuple(picky, s.e0, in(s.e0, 0)));
  EXPECT_EQ(warned().size(), 1u);  // "two" feeds two placed atoms
  EXPECT_THAT(host::debug::texts(), HasDebugLine("p2c: got 0 targeted paths"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("c2p: got 2 targeted paths"));

  // Fed from the periphery, through one LUT or directly, the register is
  // constrained on both sides: it is skipped.
  const SIG from_u0 = n.lut("from_u0", {s.u0}, 0x2);
  VOK_ATOM_ITERM* c_in = c->add_input_term(DB_INPUT_PORT_DATA_IN, 0);
  for (const SIG& d : {from_u0, SIG(s.u0)}) {
    vok_connect(d.oterm, c_in);
    VELMO_PERIPHERY_CORE_PLACEMENT again(m_env);
    RESULT skipped = search(again);
    ASSERT_EQ(skipped.c2p.size(), 1u);
    EXPECT_EQ(skipped.cm[0].max_wire, 5);
    ASSERT_EQ(again.c2p_connections().size(), 1u);
    EXPECT_EQ(again.c2p_connections()[0], std::make_tuple(picky, s.e0, in(s.e0, 0)));
    EXPECT_THAT(host::debug::texts(),
                HasDebugLine("User set c2p on atom " + std::to_string(c->get_id()) +
                             "-c2p, but this atom's input also connect to periphery atom either directly or "
                             "through one lut, skipping"));
  }
  // Without the check it is taken up all the same.
  cfg_set_off("velmo_perform_check_for_core_ff_constrainted_on_both_side");
  VELMO_PERIPHERY_CORE_PLACEMENT unchecked(m_env);
  EXPECT_EQ(search(unchecked).c2p.size(), 2u);
}

TEST_F(P2cDestinationSearchTest, BlacklistOfFixedAndOneByOneSites) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* fixed = n.reg("fixed").locked(5, 3, 1);
  VOK_ATOM_NODE* one = n.reg("one").locked_box(6, 4, 6, 4);
  n.reg("one_by_two").locked_box(6, 4, 6, 5);
  VOK_ATOM_NODE* tall = n.reg("tall").locked_box(2, 5, 2, 5);
  // A region of one 1*1 rectangle holds its site; one of two such does not.
  VOK_ATOM_NODE* floating = n.reg("floating").floating(host::testing::region("one", {{9, 3, 9, 3}}));
  n.reg("split").floating(host::testing::region("two", {{9, 5, 9, 5}, {9, 6, 9, 6}}));
  n.lut("comb", {fixed}, 0x2).locked(7, 2, 0);
  VOK_ATOM_NODE* memory = n.lutram("memory").locked(8, 2, 0);
  n.ram("ram").locked(8, 4, 0);  // no register, LUT or LUT-RAM: not the solver's business
  VOK_ATOM_NODE* pipe = n.zota_reg("pipe").locked(3, 8, 2).placed(site(3, 8, 2), 643);
  ASSERT_NE(pipe->get_location_element(), 0);
  // Taken up before the region-constrained one, its group goes after it all
  // the same.
  VOK_ATOM_NODE* earlier = n.reg("earlier").d(s.e0);
  assign(earlier, 838, INT, "4");
  VOK_ATOM_NODE* taken = n.reg("taken").d(s.u0).locked_box(6, 6, 6, 6);
  assign(taken, 838, INT, "4");
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  RESULT r = search(placement);
  ASSERT_EQ(r.p2c.size(), 2u);
  ASSERT_TRUE(r.pm[0].region_constraint);
  EXPECT_EQ(r.p2c[0], std::vector<int>{u0_out()});
  EXPECT_FALSE(r.pm[1].region_constraint);
  const auto& bl = placement.blacklisted_locs();
  auto at = [&](int x, int y) { return bl.lookup({x, y}); };
  ASSERT_NE(at(5, 3), nullptr);
  EXPECT_EQ(*at(5, 3), std::vector<VOK_ATOM_NODE*>{fixed});
  ASSERT_NE(at(6, 4), nullptr);
  EXPECT_EQ(*at(6, 4), std::vector<VOK_ATOM_NODE*>{one});
  ASSERT_NE(at(2, 5), nullptr);
  EXPECT_EQ(*at(2, 5), std::vector<VOK_ATOM_NODE*>{tall});
  ASSERT_NE(at(9, 3), nullptr);
  EXPECT_EQ(*at(9, 3), std::vector<VOK_ATOM_NODE*>{floating});
  EXPECT_EQ(at(9, 5), nullptr);
  EXPECT_EQ(at(9, 6), nullptr);
  EXPECT_EQ(at(6, 5), nullptr);
  EXPECT_NE(at(7, 2), nullptr);
  ASSERT_NE(at(8, 2), nullptr);
  EXPECT_EQ(*at(8, 2), std::vector<VOK_ATOM_NODE*>{memory});
  EXPECT_EQ(at(8, 4), nullptr);
  EXPECT_EQ(at(6, 6), nullptr);  // the candidate itself
  EXPECT_EQ(at(3, 8), nullptr);  // a placed pipeline register
}

TEST_F(P2cDestinationSearchTest, UibEsramRegistersByClockDriver) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* ck = n.reg("ck");
  VOK_ATOM_NODE* u = n.reg("u").clk(ck);
  VOK_ATOM_NODE* routed = n.reg("routed").clk(ck);
  vok_connect(q(u), in(s.u0, 0));
  vok_connect(q(routed), in(s.u0, 1));
  assign(u, 837, INT, "2");
  assign(routed, 837, INT, "2");
  assign(routed, 845, INT, "3");  // a router assignment: not this search's
  VOK_ATOM_NODE* routed_p2c = n.reg("routed_p2c").clk(ck);  // the P2C router's too
  host::testing::GENERIC_BUILDER(s.e0).input(DB_INPUT_PORT_DATA_IN, 1, routed_p2c);
  host::testing::map_port(in(s.e0, 1), host::testing::gesk_instance("e0_in1", 7, 9, 0), "in[1]");
  assign(routed_p2c, 837, INT, "2");
  assign(routed_p2c, 839, INT, "3");
  // Another P2C assignment (minimum wires) does not stop it.
  VOK_ATOM_NODE* min_wires = n.reg("min_wires").clk(ck);
  host::testing::GENERIC_BUILDER(s.e0).input(DB_INPUT_PORT_DATA_IN, 2, min_wires);
  host::testing::map_port(in(s.e0, 2), host::testing::gesk_instance("e0_in2", 7, 9, 0), "in[2]");
  assign(min_wires, 837, INT, "2");
  assign(min_wires, 840, INT, "1");
  // Two loads: passed over, each listed when verbose.
  VOK_ATOM_NODE* twice = n.reg("twice").clk(ck);
  host::testing::GENERIC_BUILDER(s.e0).input(DB_INPUT_PORT_DATA_IN, 3, twice);
  host::testing::GENERIC_BUILDER(s.u0).input(DB_INPUT_PORT_DATA_IN, 3, twice);
  assign(twice, 837, INT, "2");
  // A register on a port the port map does not know, and a register
  // without a register output: passed over.
  VOK_ATOM_NODE* unmapped = n.reg("unmapped").clk(ck);
  host::testing::GENERIC_BUILDER(s.u0).input(DB_INPUT_PORT_DATA_IN, 2, unmapped);
  assign(unmapped, 837, INT, "2");
  assign(n.atom(VOK_ATOM_KIND::CORE_REGISTER, "no_q"), 837, INT, "2");
  cfg_set_on("velmo_verbose_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  std::unordered_map<unsigned, std::vector<int>> by_clock;
  EXPECT_TRUE(placement.get_uib_esram_dst_locs(by_clock));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("couldn't find w3j3 top level port id, skipping"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("twice has 2 fanouts to following UIB ports"));
  ASSERT_EQ(by_clock.size(), 1u);
  ASSERT_EQ(by_clock[static_cast<unsigned>(ck->get_id())].size(), 2u);
  const int tr = by_clock[static_cast<unsigned>(ck->get_id())][0];
  EXPECT_EQ(*placement.port_gid_to_core_node_map().lookup(tr), u);
  EXPECT_EQ(*placement.port_gid_to_core_node_map().lookup(by_clock[static_cast<unsigned>(ck->get_id())][1]), min_wires);
  const PELK v = R5T_INTERFACE::get_instance()->get_atom_metadata(u->get_id(), PELK::intern(4, "P2C_ZOTA"));
  EXPECT_STREQ(v.cname(), "UIB_ESRAM_C2P_ORIG");
  // The main search starts afresh: the port is free again.
  vok_connect(q(n.reg("later")), in(s.e0, 0));
  search(placement);
  EXPECT_EQ(placement.port_gid_to_core_node_map().lookup(tr), nullptr);
}

// A UIB/ESRAM register whose clock is missing or tied to a constant has no
// clock domain: an internal error.
// The UIB/ESRAM transfer may be asked on the periphery atom instead of the
// register; a load that is no periphery atom is no such transfer; a
// periphery load that is not placed is an internal error.
TEST_F(P2cDestinationSearchTest, UibEsramTransferAskedOnThePeripheryAtom) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* ck = n.reg("ck");
  VOK_ATOM_NODE* plain = n.reg("plain").clk(ck);
  host::testing::GENERIC_BUILDER(s.u0).input(DB_INPUT_PORT_DATA_IN, 2, plain);
  host::testing::map_port(in(s.u0, 2), host::testing::gesk_instance("u0_in2", 3, 9, 0), "in[2]");
  VOK_ATOM_NODE* to_core = n.reg("to_core").clk(ck);
  n.reg("core_load").d(to_core).placed(site(5, 5, 1), 643);
  assign(to_core, 837, INT, "2");
  auto found = [&] {
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    std::unordered_map<unsigned, std::vector<int>> by_clock;
    EXPECT_TRUE(placement.get_uib_esram_dst_locs(by_clock));
    return by_clock[static_cast<unsigned>(ck->get_id())].size();
  };
  EXPECT_EQ(found(), 0u);
  assign(s.u0, 837, INT, "3");  // another value asks for nothing
  EXPECT_EQ(found(), 0u);
  assign(s.u0, 837, INT, "2");
  EXPECT_EQ(found(), 1u);
  // A periphery register is a periphery load as a block is.
  VOK_ATOM_NODE* to_io = n.reg("to_io").clk(ck);
  VOK_ATOM_NODE* io = n.io_reg("io").d(to_io).placed(site(6, 9, 0), 643);
  host::testing::map_port(in(io, 0), host::testing::gesk_instance("io_inst", 6, 9, 0), "in[0]");
  assign(to_io, 837, INT, "2");
  EXPECT_EQ(found(), 2u);
  s.u0->clear_location();
  VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
  std::unordered_map<unsigned, std::vector<int>> by_clock;
  EXPECT_EQ(expect_internal_error([&] { placement.get_uib_esram_dst_locs(by_clock); }).condition,
            "dst_node->get_location_element() != DEV_ELEMENT_INVALID");
}

TEST_F(P2cDestinationSearchTest, UibEsramRegisterWithoutAClockDriverIsAnInternalError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* no_clock = n.reg("no_clock");
  VOK_ATOM_NODE* tied = n.reg("tied").tie(DB_INPUT_PORT_CLK, 0, true);
  const int instance = host::testing::gesk_instance("u0_more", 3, 9, 0);
  host::testing::GENERIC_BUILDER(s.u0).input(DB_INPUT_PORT_DATA_IN, 2, no_clock).input(DB_INPUT_PORT_DATA_IN, 3, tied);
  host::testing::map_port(in(s.u0, 2), instance, "in[2]");
  host::testing::map_port(in(s.u0, 3), instance, "in[3]");
  for (VOK_ATOM_NODE* r : {no_clock, tied}) {
    SCOPED_TRACE(r->get_string_hpath());
    host::options::unset(837, (r == tied ? no_clock : tied)->get_string_hpath());
    assign(r, 837, INT, "2");
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    std::unordered_map<unsigned, std::vector<int>> by_clock;
    EXPECT_EQ(expect_internal_error([&] { placement.get_uib_esram_dst_locs(by_clock); }).condition,
              "::vok_is_connected(clock_iterm) && !clock_iterm->is_vcc_or_gnd()");
  }
}

// A fixed register that cannot move (not modifiable, or taken over from the
// previous fit) is no candidate: its site is blacklisted instead. A fixed
// register that may move is a candidate with its location as requirement.
TEST_F(P2cDestinationSearchTest, FixedRegistersThatCannotMoveAreNoCandidates) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0).locked(4, 6, 2);
  assign(r, 838, INT, "4");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    RESULT res = search(placement);
    ASSERT_EQ(res.p2c.size(), 1u);
    EXPECT_EQ(res.pm[0].location, std::make_tuple(4, 6, 2));
    EXPECT_EQ(placement.blacklisted_locs().lookup({4, 6}), nullptr);
  }
  for (const bool from_previous_fit : {true, false}) {
    SCOPED_TRACE(from_previous_fit);
    r->set_modifiable(from_previous_fit);
    host::wexan::set_pfit_netlist_atoms(from_previous_fit ? std::set<unsigned>{static_cast<unsigned>(r->get_id())}
                                                          : std::set<unsigned>{});
    VELMO_PERIPHERY_CORE_PLACEMENT placement(m_env);
    EXPECT_TRUE(search(placement).p2c.empty());
    EXPECT_TRUE(placement.p2c_connections().empty());
    ASSERT_NE(placement.blacklisted_locs().lookup({4, 6}), nullptr);
    EXPECT_EQ(*placement.blacklisted_locs().lookup({4, 6}), std::vector<VOK_ATOM_NODE*>{r});
  }
  host::wexan::set_pfit_netlist_atoms({});
  // Not fixed, a register that may not be modified is a candidate all the same.
  r->set_modifiable(false);
  host::constraints::clear();
  VELMO_PERIPHERY_CORE_PLACEMENT unfixed(m_env);
  EXPECT_EQ(search(unfixed).p2c.size(), 1u);
}

TEST_F(P2cDestinationSearchTest, RegisterPredicates) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* core = n.reg("core");
  VOK_ATOM_NODE* via_lut = n.reg("via_lut").d(n.lut("l1", {core, s.u0}, 0x8));
  VOK_ATOM_NODE* via_core_lut = n.reg("via_core_lut").d(n.lut("l2", {core}, 0x2));
  VOK_ATOM_NODE* direct = n.reg("direct").d(s.u0);
  EXPECT_TRUE(core_ff_input_connect_to_periphery_through_at_most_one_lut(via_lut));
  EXPECT_TRUE(core_ff_input_connect_to_periphery_through_at_most_one_lut(direct));
  EXPECT_FALSE(core_ff_input_connect_to_periphery_through_at_most_one_lut(via_core_lut));
  EXPECT_FALSE(core_ff_input_connect_to_periphery_through_at_most_one_lut(core));
  VOK_ATOM_NODE* arith = n.atom(VOK_ATOM_KIND::ARITH_CELL, "arith").input(DB_INPUT_PORT_DATA_IN, 0, s.u0);
  EXPECT_TRUE(core_ff_input_connect_to_periphery_through_at_most_one_lut(n.reg("via_arith").d(arith)));
  VOK_ATOM_NODE* to_lut = n.reg("to_lut");
  n.lut("l3", {to_lut}, 0x2);
  vok_connect(q(direct), in(s.e0, 0));
  EXPECT_TRUE(core_ff_output_directly_connect_to_periphery(direct));
  EXPECT_FALSE(core_ff_output_directly_connect_to_periphery(to_lut));

  VOK_ATOM_NODE* ck = n.reg("ck");
  VOK_ATOM_NODE* en = n.reg("en");
  VOK_ATOM_NODE* a = n.reg("fa").clk(ck).ce(en);
  VOK_ATOM_NODE* b = n.reg("fb").clk(ck).ce(en);
  VOK_ATOM_NODE* no_ce = n.reg("no_ce").clk(ck);
  VOK_ATOM_NODE* other_ck = n.reg("other_ck").clk(en).ce(en);
  EXPECT_TRUE(ff_with_same_control_signals(a, b));
  EXPECT_FALSE(ff_with_same_control_signals(a, no_ce));
  EXPECT_FALSE(ff_with_same_control_signals(no_ce, a));
  EXPECT_FALSE(ff_with_same_control_signals(a, other_ck));
  // Either one no register: an internal error.
  VOK_ATOM_NODE* not_ff = n.atom(VOK_ATOM_KIND::COMB_CELL, "not_ff");
  EXPECT_EQ(expect_internal_error([&] { ff_with_same_control_signals(not_ff, a); }).condition,
            "ff_a->get_location_element() == DEV_ELEMENT_FF || ff_a->get_default_dev_element() == DEV_ELEMENT_FF");
  EXPECT_EQ(expect_internal_error([&] { ff_with_same_control_signals(a, not_ff); }).condition,
            "ff_b->get_location_element() == DEV_ELEMENT_FF || ff_b->get_default_dev_element() == DEV_ELEMENT_FF");
  // An input on one register only differs even when nothing drives it, and
  // the box input (port 1) counts like the control inputs.
  VOK_ATOM_NODE* open_clr = n.reg("open_clr").clk(ck).ce(en);
  open_clr->add_input_term(DB_INPUT_PORT_ACLR, 0);
  EXPECT_FALSE(ff_with_same_control_signals(a, open_clr));
  EXPECT_FALSE(ff_with_same_control_signals(open_clr, a));
  VOK_ATOM_NODE* boxed = n.reg("boxed").clk(ck).ce(en).input(DB_INPUT_PORT_BOX, 0, en);
  EXPECT_FALSE(ff_with_same_control_signals(a, boxed));
  EXPECT_FALSE(ff_with_same_control_signals(boxed, a));
  // The data inputs count only when both registers have their cascade input
  // (port 32) driven.
  const auto cascade = static_cast<DB_INPUT_PORT_TYPE>(32);
  VOK_ATOM_NODE* d1 = n.reg("d1").clk(ck).ce(en).d(en);
  VOK_ATOM_NODE* d2 = n.reg("d2").clk(ck).ce(en).d(ck);
  EXPECT_TRUE(ff_with_same_control_signals(d1, d2));
  VOK_ATOM_NODE* c1 = n.reg("c1").clk(ck).ce(en).d(en).input(cascade, 0, ck);
  VOK_ATOM_NODE* c2 = n.reg("c2").clk(ck).ce(en).d(ck).input(cascade, 0, ck);
  VOK_ATOM_NODE* c3 = n.reg("c3").clk(ck).ce(en).d(en).input(cascade, 0, ck);
  EXPECT_FALSE(ff_with_same_control_signals(c1, c2));
  EXPECT_TRUE(ff_with_same_control_signals(c1, c3));
  EXPECT_FALSE(ff_with_same_control_signals(c1, d1)) << "a cascade input on one register only";
  // A cascade input that is there but undriven on both leaves the data
  // inputs out.
  VOK_ATOM_NODE* o1 = n.reg("o1").clk(ck).ce(en).d(en);
  VOK_ATOM_NODE* o2 = n.reg("o2").clk(ck).ce(en).d(ck);
  o1->add_input_term(cascade, 0);
  o2->add_input_term(cascade, 0);
  EXPECT_TRUE(ff_with_same_control_signals(o1, o2));
  VOK_ATOM_NODE* lut = n.lut("l4", {ck}, 0x2);
  EXPECT_FALSE(expect_internal_error([&] { ff_with_same_control_signals(a, lut); }).condition.empty());
}
