// Keep-set expansion, more of its rules: which drivers of a carry chain's
// members are kept (only registers, only of LUTs; one sum-output fanout by
// default), and a kept port's global neighbours, which a partition with
// clock routing leaves to the clock network.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "bbic_expand_fixture.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"
#include "yos/yos_interface.h"

using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class ExpandRuleTest : public velmo_test::ExpandScene {
protected:
  VOK_ATOM_NODE* add(VOK_ATOM_KIND kind, const std::string& name) {
    VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(kind);
    a->set_name(name);
    net()->add_node(a);
    return a;
  }
  static void feed(VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, int index) {
    vok_connect(from->get_oterm_slot(0), to->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), index));
  }
};

// add[0..2] is a carry chain; a MAC hangs on its carry-out. Kept: add[2].
// The chain's LUTs keep their register drivers (src) but not a LUT driver
// (nl) nor the register driving the chain's non-LUT member (msrc); the sum
// output keeps one of its readers unless switched off.
TEST_F(ExpandRuleTest, ChainMembersKeepRegisterDriversOfTheirLutsOnly) {
  partition([](NETLIST_BUILDER& c) {
    c.carry_chain("add", 3);
    auto i = c.input("i");
    c.reg("src").d(i);
    c.reg("msrc").d(i);
    c.lut("nl", {i}, pass);
  });
  net()->set_modifiable(true);
  std::vector<VOK_ATOM_NODE*> cells;
  for (VOK_ATOM_NODE* a : net()->get_atom_list())
    if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL) cells.push_back(a);
  ASSERT_EQ(cells.size(), 3u);
  VOK_ATOM_OTERM* cout = cells[2]->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
  if (cout == nullptr) cout = cells[2]->add_output_term(DB_OUTPUT_PORT_CARRY_OUT, 0);
  VOK_ATOM_NODE* mac = add(VOK_ATOM_KIND::MAC, "P|mac");
  vok_connect(cout, mac->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
  feed(atom("P|msrc"), mac, 0);
  feed(atom("P|src"), cells[1], 0);
  feed(atom("P|nl"), cells[0], 0);
  VOK_ATOM_OTERM* sum = cells[0]->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0);
  ASSERT_NE(sum, nullptr);
  sum->set_usage(8);
  VOK_ATOM_NODE* reader = add(VOK_ATOM_KIND::COMB_CELL, "P|reader");
  vok_connect(sum, reader->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0));
  all_passes_off();
  cfg_set_on("jov_bbic_expand_chains");
  cfg_set_on("jov_bbic_expand_chain_bypass_ff_driver");
  for (bool sumout_default : {true, false}) {
    if (!sumout_default) cfg_set_off("jov_bbic_expand_chain_sumout");
    VELMO_BBIC_KEEP_SET k;
    k.insert(cells[2]);
    velmo_bbic_expand_nodes_to_keep(p, net(), k);
    EXPECT_TRUE(k.contains(mac)) << sumout_default;
    EXPECT_TRUE(k.contains(atom("P|src"))) << sumout_default;
    EXPECT_FALSE(k.contains(atom("P|nl"))) << sumout_default;
    EXPECT_FALSE(k.contains(atom("P|msrc"))) << sumout_default;
    EXPECT_EQ(k.contains(reader), sumout_default);
  }
}

// The switches of the expansion at their defaults, the other passes off: the
// chain pass runs, keeping its LUTs' register drivers only where the routing
// holds pipeline registers; a bypassed register's ALM is not expanded.
TEST_F(ExpandRuleTest, ThePassesAtTheirDefaults) {
  partition([](NETLIST_BUILDER& c) {
    c.carry_chain("add", 3);
    auto i = c.input("i");
    c.reg("src").d(i);
    c.reg("byp").d(c.lut("drv", {i}, pass));
  });
  net()->set_modifiable(true);
  std::vector<VOK_ATOM_NODE*> cells;
  for (VOK_ATOM_NODE* a : net()->get_atom_list())
    if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL) cells.push_back(a);
  ASSERT_EQ(cells.size(), 3u);
  feed(atom("P|src"), cells[1], 0);
  VOK_ATOM_NODE* byp = atom("P|byp");
  auto* place = host::device::die_info()->get_place_info();
  byp->set_location(place->get_global_id(0, 3, 3, 1), 643);
  atom("P|drv")->set_location(place->get_global_id(0, 3, 3, 2), 644);
  byp->set_parameter(VOK_PARAMETER_TYPE::BOOL, 5, 1);  // bypassed
  all_passes_off();
  host::cfg::unset("jov_bbic_expand_chains");
  struct ROW {
    const char* setting;
    int family;
    VOK_ATOM_NODE *seed, *reached;
    bool kept;
  };
  for (const ROW& row : {ROW{"expand_chains on", 46, cells[0], cells[2], true},
                         ROW{"expand_chain_bypass_ff_driver on with pipeline registers", 46, cells[0], atom("P|src"), true},
                         ROW{"expand_chain_bypass_ff_driver off without", 48, cells[0], atom("P|src"), false},
                         ROW{"expand_bypassed_ffs off", 46, byp, atom("P|drv"), false}}) {
    DeviceSpec spec = host::device::spec();
    spec.family = row.family;
    host::device::configure(spec);
    VELMO_BBIC_KEEP_SET k;
    k.insert(row.seed);
    velmo_bbic_expand_nodes_to_keep(p, net(), k);
    EXPECT_EQ(k.contains(row.reached), row.kept) << row.setting;
  }
}

// A kept port of a nested partition takes its neighbours one level deep;
// its global neighbours only while no clock routing covers the partition.
TEST_F(ExpandRuleTest, KeptPortsTakeGlobalNeighboursOnlyWithoutClockRouting) {
  partition([](NETLIST_BUILDER& c) {
    auto i = c.input("i");
    c.lut("g", {i}, pass);
    c.lut("o", {i}, pass);
  });
  atom("P|g")->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(12), 0)->set_connection_code(5);
  all_passes_off();
  for (bool clock_routing : {false, true}) {
    p->set_clock_routing(clock_routing);
    VELMO_BBIC_KEEP_SET k;
    k.insert(atom("P|i"));
    velmo_bbic_expand_nodes_to_keep(p, net(), k);
    EXPECT_TRUE(k.contains(atom("P|o"))) << clock_routing;
    EXPECT_EQ(k.contains(atom("P|g")), !clock_routing);
  }
  // The pass reports its own growth: nothing in the last, quiet iteration.
  int quiet = 0;
  for (const auto& l : host::debug::texts()) quiet += l == "BBIC: expand_hierarchical added 0 nodes for partition P";
  EXPECT_EQ(quiet, 2);
}

// A pipeline register that drives a plain register's data input is no
// secondary signal: only the data of pipeline or bypassed registers is
// followed. A register counts as having clock-skew settings only when both
// its pulse width and its time borrow are recorded.
TEST_F(ExpandRuleTest, RegisterDriversFollowTheRegistersKindAndRecordedSettings) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    c.reg("plain").d(c.zota_reg("zd").d(in));
    c.lut("pw_out", {c.reg("pw_only").d(in)}, pass);
    c.lut("both_out", {c.reg("both").d(in)}, pass);
  });
  atom("P|plain")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->set_usage(20);
  yos_current_interface()->set_enum_data(atom("P|pw_only"), static_cast<YOS_ENUM_DATA_ENUM>(72), 5);
  yos_current_interface()->set_enum_data(atom("P|both"), static_cast<YOS_ENUM_DATA_ENUM>(72), 5);
  yos_current_interface()->set_int_data(atom("P|both"), static_cast<YOS_INT_DATA_ENUM>(119), 0);
  EXPECT_FALSE(velmo_bbic_has_clock_skew_settings(atom("P|pw_only")));
  EXPECT_TRUE(velmo_bbic_has_clock_skew_settings(atom("P|both")));
  VELMO_BBIC_KEEP_SET k;
  for (const char* r : {"P|plain", "P|pw_only", "P|both"}) k.insert(atom(r));
  velmo_bbic_expand_ffs(net(), k);
  EXPECT_FALSE(k.contains(atom("P|zd")));
  EXPECT_FALSE(k.contains(atom("P|pw_out")));
  EXPECT_TRUE(k.contains(atom("P|both_out")));
}

// A register in a routing slot sits in no slice, even where the slot's
// location falls in a slice of cells: a bypassed one there keeps no cell.
TEST_F(ExpandRuleTest, ARegisterInARoutingSlotSitsInNoSlice) {
  partition([](NETLIST_BUILDER& c) { c.reg("r").d(c.lut("drv", {c.input("i")}, pass)); });
  net()->set_modifiable(true);
  const auto* die = host::device::die_info();
  const unsigned site = die->get_place_info()->get_global_id(0, 3, 3, 2);
  DEV_LOCATION at;
  ASSERT_TRUE(die->get_location(site, at));
  unsigned slot = 0;
  for (unsigned i = 0; i < (1u << 20) && slot == 0; ++i) {
    DEV_LOCATION loc;
    const unsigned gid = i | 0x80000000u;
    if (die->get_location(gid, loc) && loc[DEV_LOCATION_X] == at[DEV_LOCATION_X] &&
        loc[DEV_LOCATION_Y] == at[DEV_LOCATION_Y] && loc[DEV_LOCATION_SUB] / 6 == at[DEV_LOCATION_SUB] / 6)
      slot = gid;
  }
  ASSERT_NE(slot, 0u);
  VOK_ATOM_NODE* lut = atom("P|drv");
  lut->set_location(site, 644);
  VOK_ATOM_NODE* byp = atom("P|r");
  byp->set_parameter(VOK_PARAMETER_TYPE::BOOL, 5, 1);
  cfg_set_on("jov_bbic_expand_bypassed_ffs");
  for (bool in_slot : {false, true}) {
    byp->set_location(in_slot ? slot : die->get_place_info()->get_global_id(0, 3, 3, 1), in_slot ? 282 : 643);
    VELMO_BBIC_KEEP_SET k;
    k.insert(byp);
    velmo_bbic_expand_bypassed_ffs(net(), k);
    EXPECT_EQ(k.contains(lut), !in_slot);
  }
}

// An ALM hit by a kept atom is kept whole, with the drivers of its
// registers; the drivers of its other cells stay out.
TEST_F(ExpandRuleTest, AnAlmKeepsTheDriversOfItsRegistersOnly) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    c.reg("r").d(c.lut("drv", {c.lut("far", {in}, pass)}, pass));
  });
  net()->set_modifiable(true);
  const auto* place = host::device::die_info()->get_place_info();
  VOK_ATOM_NODE* m = add(VOK_ATOM_KIND::LOGIC_MODULE, "P|m");
  m->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
  m->set_location(place->get_global_id(0, 3, 3, 0), 644);
  atom("P|r")->set_location(place->get_global_id(0, 3, 3, 1), 643);
  atom("P|drv")->set_location(place->get_global_id(0, 3, 3, 2), 644);
  VELMO_BBIC_KEEP_SET k;
  k.insert(m);
  EXPECT_TRUE(velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)));
  EXPECT_TRUE(k.contains(atom("P|r")));
  EXPECT_TRUE(k.contains(atom("P|drv")));
  EXPECT_FALSE(k.contains(atom("P|far")));
}

}  // namespace
