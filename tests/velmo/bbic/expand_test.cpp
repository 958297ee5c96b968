// Keep-set expansion: single passes on small partitions, the hierarchy
// pass's top-port check and the end of the iterations.
#include <map>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "bbic_expand_fixture.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"
#include "yos/yos_interface.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class ExpandTest : public velmo_test::ExpandScene {
protected:
  // A LUT with `inputs` driven inputs, each from its own register.
  VOK_ATOM_NODE* wide_lut(int inputs) {
    VOK_ATOM_NODE* lut = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
    lut->set_name("P|wide");
    net()->add_node(lut);
    lut->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
    for (int i = 0; i < inputs; ++i)
      vok_connect(atom("P|d" + std::to_string(i))->get_oterm_slot(0),
                  lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12 + (i % 6)), i / 6));
    return lut;
  }
  static int count_lines(const std::string& text) {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l == text;
    return n;
  }
};

TEST_F(ExpandTest, SevenDrivenInputsKeepTheDriversSixDoNot) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    for (int i = 0; i < 7; ++i) c.reg("d" + std::to_string(i)).d(in);
  });
  all_passes_off();
  host::cfg::unset("jov_bbic_expand_seven_luts");  // back to its default: on
  VOK_ATOM_NODE* six = wide_lut(6);
  six->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 1);  // a seventh input without a source does not count
  VELMO_BBIC_KEEP_SET k;
  k.insert(six);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_FALSE(k.contains(atom("P|d0")));
  net()->remove(six);
  VOK_ATOM_NODE* seven = wide_lut(7);
  VELMO_BBIC_KEEP_SET k7;
  k7.insert(seven);
  velmo_bbic_expand_nodes_to_keep(p, net(), k7);
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(k7.contains(atom("P|d" + std::to_string(i)))) << i;
  EXPECT_EQ(count_lines("expand_nodes_to_keep[P:0]: 1 -> 8"), 1);
}

TEST_F(ExpandTest, ClockSkewThresholds) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    for (const char* r : {"low", "borrow", "pulse", "missing"}) c.lut(std::string(r) + "_out", {c.reg(r).d(in)}, pass);
  });
  auto set = [&](const char* r, int pw, int borrow) {
    yos_current_interface()->set_enum_data(atom(std::string("P|") + r), static_cast<YOS_ENUM_DATA_ENUM>(72), pw);
    yos_current_interface()->set_int_data(atom(std::string("P|") + r), static_cast<YOS_INT_DATA_ENUM>(119), borrow);
  };
  set("low", 1, 199);
  set("borrow", 0, 200);
  set("pulse", 2, 0);
  yos_current_interface()->set_int_data(atom("P|missing"), static_cast<YOS_INT_DATA_ENUM>(119), 500);
  EXPECT_FALSE(velmo_bbic_has_clock_skew_settings(atom("P|low")));
  EXPECT_TRUE(velmo_bbic_has_clock_skew_settings(atom("P|borrow")));
  EXPECT_TRUE(velmo_bbic_has_clock_skew_settings(atom("P|pulse")));
  EXPECT_FALSE(velmo_bbic_has_clock_skew_settings(atom("P|missing")));
  // expand_ffs keeps one fanout of each register with settings.
  VELMO_BBIC_KEEP_SET k;
  for (const char* r : {"P|low", "P|borrow", "P|pulse", "P|missing"}) k.insert(atom(r));
  velmo_bbic_expand_ffs(net(), k);
  EXPECT_FALSE(k.contains(atom("P|low_out")));
  EXPECT_TRUE(k.contains(atom("P|borrow_out")));
  EXPECT_TRUE(k.contains(atom("P|pulse_out")));
  EXPECT_FALSE(k.contains(atom("P|missing_out")));
  EXPECT_EQ(count_lines("expand_ffs added 2 fanouts for 2 nodes with clock skew settings and 0 zotas"), 1);
}

TEST_F(ExpandTest, ChainClosureFromOneMember) {
  partition([](NETLIST_BUILDER& c) { c.carry_chain("add", 5); });
  all_passes_off();
  cfg_set_on("jov_bbic_expand_chains");
  cfg_set_off("jov_bbic_expand_chain_bypass_ff_driver");
  std::vector<VOK_ATOM_NODE*> cells;
  for (VOK_ATOM_NODE* a : net()->get_atom_list())
    if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL) cells.push_back(a);
  ASSERT_EQ(cells.size(), 5u);
  VELMO_BBIC_KEEP_SET k;
  k.insert(cells[2]);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  for (VOK_ATOM_NODE* c : cells) EXPECT_TRUE(k.contains(c));
}

TEST_F(ExpandTest, EmptyKeepSetEndsAfterOneQuietIteration) {
  partition([](NETLIST_BUILDER& c) { c.output("o", c.lut("l", {c.input("i")}, pass)); });
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.empty());
  EXPECT_EQ(count_lines("BBIC: expand_hierarchical added 0 nodes for partition P"), 1);
  EXPECT_EQ(count_lines("bbic_expand_global_fanout added 0 nodes"), 1);
}

TEST_F(ExpandTest, HierarchyPassWantsEveryTopPortKept) {
  NETLIST_BUILDER n = host::testing::netlist();
  n.input_port("tp");
  JOV_PARTITION* top = host::testing::top_partition();
  VELMO_BBIC_KEEP_SET k;
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_expand_nodes_to_keep(top, top->get_state()->get_atom_netlist(), k); });
  EXPECT_EQ(e.condition, "!node->is_port() || !partition->is_top()");
}

TEST_F(ExpandTest, HierarchyPassKeepsNeighboursOfKeptPorts) {
  partition([](NETLIST_BUILDER& c) { c.output("o", c.lut("l", {c.lut("m", {c.input("i")}, pass)}, pass)); });
  all_passes_off();
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|o"));
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  // One level per iteration: l, then nothing more from l (only ports and
  // boxes are expanded).
  EXPECT_TRUE(k.contains(atom("P|l")));
  EXPECT_FALSE(k.contains(atom("P|m")));
}

// The top partition's kept ports are walked to the first registers (inputs
// forward, outputs backward); elsewhere a kept port or box takes one level
// of neighbours, global ones too unless the partition has clock routing.
TEST_F(ExpandTest, TopPortsAreWalkedToTheirRegisters) {
  {
    NETLIST_BUILDER n = host::testing::netlist();
    auto r = n.reg("r").d(n.lut("a", {n.input_port("tp")}, pass));
    n.output_port("op", n.lut("b", {r}, pass));
    JOV_PARTITION* top = host::testing::top_partition();
    all_passes_off();
    VELMO_BBIC_KEEP_SET k;
    k.insert(n.find("tp"));
    k.insert(n.find("op"));
    velmo_bbic_expand_nodes_to_keep(top, top->get_state()->get_atom_netlist(), k);
    for (const char* name : {"a", "r", "b"}) EXPECT_TRUE(k.contains(n.find(name))) << name;
  }
}

TEST_F(ExpandTest, OneLevelTakesGlobalNeighboursOnlyWithoutClockRouting) {
  partition([](NETLIST_BUILDER& c) {
    auto g = c.lut("g", {c.input("i")}, pass);
    c.output("o", c.lut("l", {g, c.input("j")}, pass));
  });
  VOK_ATOM_NODE* l = atom("P|l");
  l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(12), 0)->set_connection_code(5);  // g's: global
  for (bool ordinary_only : {false, true}) {
    VELMO_BBIC_KEEP_SET k;
    velmo_bbic_expand_one_level(l, k, ordinary_only);
    EXPECT_EQ(k.contains(atom("P|g")), !ordinary_only) << ordinary_only;
    EXPECT_TRUE(k.contains(atom("P|j"))) << ordinary_only;
    EXPECT_TRUE(k.contains(atom("P|o"))) << ordinary_only;
  }
}

// A kept LUTRAM keeps one of its fan-outs (on unless switched off).
TEST_F(ExpandTest, AKeptLutramKeepsAFanoutByDefault) {
  partition([](NETLIST_BUILDER& c) {
    auto m = c.lutram("m").data_in(c.input("i")).clk(c.input("c"));
    c.output("o", c.lut("f", {m.out()}, pass));
  });
  for (const char* v : {"jov_bbic_expand_peripheral", "jov_bbic_expand_chains", "jov_bbic_expand_seven_luts",
                        "jov_bbic_expand_lutram_slices", "jov_bbic_expand_qfbk", "jov_bbic_expand_ffs",
                        "jov_bbic_expand_global_fanout"})
    cfg_set_off(v);
  for (bool on : {true, false}) {
    if (!on) cfg_set_off("jov_bbic_expand_lutram_fanout");
    VELMO_BBIC_KEEP_SET k;
    k.insert(atom("P|m"));
    velmo_bbic_expand_nodes_to_keep(p, net(), k);
    EXPECT_EQ(k.contains(atom("P|f")), on) << on;
  }
}

TEST_F(ExpandTest, GlobalFanoutKeepsOneDestination) {
  partition([](NETLIST_BUILDER& c) {
    auto clk = c.reg("gen").d(c.input("i"));
    c.reg("a").clk(clk);
    c.reg("b").clk(clk);
  });
  for (const char* r : {"P|a", "P|b"}) atom(r)->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  all_passes_off();
  cfg_set_on("jov_bbic_expand_global_fanout");
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|gen"));
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.contains(atom("P|b")));  // the highest id
  EXPECT_FALSE(k.contains(atom("P|a")));
  EXPECT_EQ(count_lines("bbic_expand_global_fanout added 1 nodes"), 1);
}

}  // namespace

// ---------------------------------------------------------------- logic modules

namespace {

class LogicModuleTest : public ExpandTest {
protected:
  // A site gid of LAB tile (3, 3).
  static unsigned site(int sub) { return host::device::die_info()->get_place_info()->get_global_id(0, 3, 3, sub); }
  VOK_ATOM_NODE* module(const std::string& name) {
    VOK_ATOM_NODE* m = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::LOGIC_MODULE);
    m->set_name("P|" + name);
    net()->add_node(m);
    m->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
    return m;
  }
  static void carry(VOK_ATOM_NODE* from, VOK_ATOM_NODE* to) {
    VOK_ATOM_OTERM* cout = from->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
    vok_connect(cout, to->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
  }
  void SetUp() override {
    ExpandTest::SetUp();
    partition([](NETLIST_BUILDER& c) {
      auto in = c.input("i");
      c.reg("r").d(c.lut("drv", {in}, pass));
      c.reg("r2").d(in);
    });
    net()->set_modifiable(true);
  }
};

}  // namespace

TEST_F(LogicModuleTest, KeptRegisterKeepsItsAlmAndTheDriversOfItsRegisters) {
  VOK_ATOM_NODE* m = module("m");
  m->set_location(site(0), 644);
  atom("P|r")->set_location(site(1), 643);
  atom("P|r2")->set_location(site(7), 643);  // another ALM
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|r"));
  EXPECT_TRUE(velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)));
  EXPECT_TRUE(k.contains(m));
  EXPECT_TRUE(k.contains(atom("P|drv")));
  EXPECT_FALSE(k.contains(atom("P|r2")));
  EXPECT_FALSE(velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)));
}

TEST_F(LogicModuleTest, RegisterInARoutingSlotIsNoTrigger) {
  VOK_ATOM_NODE* m = module("m");
  m->set_location(site(0), 644);
  // A routing slot whose location is the module's ALM: only its being a
  // routing element keeps it from the ALM map.
  const auto* die = host::device::die_info();
  DEV_LOCATION at;
  ASSERT_TRUE(die->get_location(site(0), at));
  unsigned slot = 0;
  for (unsigned i = 0; i < (1u << 20) && slot == 0; ++i) {
    DEV_LOCATION loc;
    const unsigned gid = i | 0x80000000u;
    if (die->get_location(gid, loc) && loc[DEV_LOCATION_X] == at[DEV_LOCATION_X] &&
        loc[DEV_LOCATION_Y] == at[DEV_LOCATION_Y] && loc[DEV_LOCATION_SUB] / 6 == at[DEV_LOCATION_SUB] / 6)
      slot = gid;
  }
  ASSERT_NE(slot, 0u);
  atom("P|r")->set_location(slot, 282);
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|r"));
  EXPECT_FALSE(velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)));
  EXPECT_FALSE(k.contains(m));
}

TEST_F(LogicModuleTest, TwoModulesInOneAlmOrAnUnplacedModuleAreInternalErrors) {
  module("a")->set_location(site(0), 644);
  VOK_ATOM_NODE* b = module("b");
  VELMO_BBIC_KEEP_SET k;
  auto e = host::testing::expect_internal_error([&] { velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)); });
  EXPECT_EQ(e.condition, "std::get<BBIC_ALM_LOC_FOUND>(alm_loc)");
  b->set_location(site(3), 644);
  e = host::testing::expect_internal_error([&] { velmo_bbic_expand_logic_modules_by_ffs(net(), k, velmo_bbic_alm_key_function(6)); });
  EXPECT_EQ(e.condition, "atoms_in_logic_module_alms.count( alm_loc ) == 0");
}

TEST_F(LogicModuleTest, KeptModuleKeepsItsChainBothWaysUpToABranch) {
  std::vector<VOK_ATOM_NODE*> chain;
  for (int i = 0; i < 5; ++i) chain.push_back(module("c" + std::to_string(i)));  // output 0 is the carry-out
  for (int i = 0; i + 1 < 5; ++i) carry(chain[i], chain[i + 1]);
  // c3's carry-out also feeds another cell: the forward walk stops at c3.
  VOK_ATOM_NODE* side = module("side");
  carry(chain[3], side);
  VELMO_BBIC_KEEP_SET k;
  k.insert(chain[2]);
  EXPECT_TRUE(velmo_bbic_expand_logic_modules_by_chains(net(), k));
  for (int i = 0; i <= 3; ++i) EXPECT_TRUE(k.contains(chain[i])) << i;
  EXPECT_FALSE(k.contains(chain[4]));
  EXPECT_FALSE(k.contains(side));
}

TEST_F(LogicModuleTest, LutRamSlicesKeepTheirNeighbours) {
  std::vector<VOK_ATOM_NODE*> rams;
  for (int i = 0; i < 3; ++i) {
    VOK_ATOM_NODE* m = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::LUTRAM);
    m->set_name("P|m" + std::to_string(i));
    net()->add_node(m);
    rams.push_back(m);
  }
  rams[0]->set_location(site(0), 644);
  rams[1]->set_location(site(3), 644);  // same ALM
  rams[2]->set_location(site(6), 644);  // the next ALM
  VELMO_BBIC_KEEP_SET k;
  k.insert(rams[0]);
  velmo_bbic_expand_lutram_slices(net(), k);
  EXPECT_TRUE(k.contains(rams[1]));
  EXPECT_FALSE(k.contains(rams[2]));
  EXPECT_EQ(count_lines("expand_lutram_slices added 1 nodes"), 1);
}

TEST_F(LogicModuleTest, QfbMappedRegisterDriversOfKeptLutsAreKept) {
  VOK_ATOM_NODE* lut = atom("P|drv");
  // r2 feeds the LUT through a feedback input mapped to "QFB"; r through one
  // mapped elsewhere.
  VOK_ATOM_ITERM* fb = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  vok_connect(atom("P|r2")->get_oterm_slot(0), fb);
  VOK_ATOM_ITERM* other = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(14), 0);
  vok_connect(atom("P|r")->get_oterm_slot(0), other);
  R5T_INTERFACE::get_instance()->set_atom_mapping(fb, {PELK::intern(1, "QFB"), PELK::intern(1, "X")});
  R5T_INTERFACE::get_instance()->set_atom_mapping(other, {PELK::intern(1, "X"), PELK::intern(1, "QFB")});
  all_passes_off();
  cfg_set_on("jov_bbic_expand_qfbk");
  VELMO_BBIC_KEEP_SET k;
  k.insert(lut);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.contains(atom("P|r2")));
  EXPECT_FALSE(k.contains(atom("P|r")));
}

TEST_F(ExpandTest, SecondarySignalAndZotaDriversOfKeptRegisters) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    c.reg("plain").d(c.lut("data", {in}, pass)).ce(c.lut("enable", {in}, pass));
    c.reg("plain33").ce(c.lut("enable33", {in}, pass));
    SIG z = c.zota_reg("z").d(c.lut("zdata", {in}, pass));
    c.output("zo", c.lut("zuse", {z}, pass));  // a pipeline register keeps one fanout
    c.reg("fed").ce(c.zota_reg("zdrv").d(in));  // an enable: neither secondary (7, 33) nor data (20)
  });
  atom("P|plain")->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->set_usage(7);
  atom("P|plain")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->set_usage(20);
  atom("P|plain33")->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->set_usage(33);
  atom("P|z")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->set_usage(20);
  VELMO_BBIC_KEEP_SET k;
  for (const char* r : {"P|plain", "P|plain33", "P|z", "P|fed"}) k.insert(atom(r));
  velmo_bbic_expand_ffs(net(), k);
  EXPECT_TRUE(k.contains(atom("P|enable")));    // usage 7
  EXPECT_TRUE(k.contains(atom("P|enable33")));  // usage 33
  EXPECT_FALSE(k.contains(atom("P|data")));   // data of a plain register
  EXPECT_TRUE(k.contains(atom("P|zdata")));   // data of a pipeline register
  EXPECT_TRUE(k.contains(atom("P|zdrv")));    // a pipeline register driving other than usage 20
  EXPECT_TRUE(k.contains(atom("P|zuse")));
  EXPECT_EQ(count_lines("expand_ffs added 2 + 1 (zota) secondary signal drivers"), 1);
  // zdrv, kept by this pass and later in the netlist, is handled in the
  // same pass: its data driver is kept too.
  EXPECT_TRUE(k.contains(atom("P|i")));
  EXPECT_EQ(count_lines("expand_ffs added 2 drivers for zota ffs"), 1);
}

// The passes test keep-set membership as they scan the netlist: a chain
// laid out against the netlist order grows by one link per pass (and stops
// after ten growing iterations); laid out along it, one pass takes it all.
TEST_F(ExpandTest, StopsAfterTenGrowingIterations) {
  partition([](NETLIST_BUILDER& c) {
    // g13 first in the netlist, g0 last; each g<i> is clocked by g<i-1>.
    std::vector<host::testing::REG_BUILDER> regs;
    for (int i = 13; i >= 1; --i) regs.push_back(c.reg("g" + std::to_string(i)));
    SIG prev = c.reg("g0").d(c.input("i"));
    for (int i = 1; i < 14; ++i) {
      host::testing::REG_BUILDER& r = regs[static_cast<std::size_t>(13 - i)];
      r.clk(prev);
      prev = r;
    }
    // Along the netlist order: f0 clocks f1, which clocks f2.
    SIG f = c.reg("f0").d(c.input("j"));
    for (int i = 1; i < 3; ++i) f = c.reg("f" + std::to_string(i)).clk(f);
  });
  for (int i = 1; i < 3; ++i)
    atom("P|f" + std::to_string(i))->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  all_passes_off();
  cfg_set_on("jov_bbic_expand_global_fanout");
  VELMO_BBIC_KEEP_SET along;
  along.insert(atom("P|f0"));
  velmo_bbic_expand_nodes_to_keep(p, net(), along);
  EXPECT_EQ(along.size(), 3u);
  EXPECT_EQ(count_lines("expand_nodes_to_keep[P:0]: 1 -> 3"), 1);
  for (int i = 1; i < 14; ++i)
    atom("P|g" + std::to_string(i))->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  all_passes_off();
  cfg_set_on("jov_bbic_expand_global_fanout");
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|g0"));
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_EQ(k.size(), 11u);
  int growth_lines = 0;
  for (const auto& l : host::debug::texts()) growth_lines += l.rfind("expand_nodes_to_keep[P:", 0) == 0;
  EXPECT_EQ(growth_lines, 1 + 10);  // the chain along the order, then this one
  EXPECT_EQ(count_lines("expand_nodes_to_keep[P:9]: 10 -> 11"), 1);
}

TEST_F(ExpandTest, PeripheryPassKeepsPadPartnersAndObufDrivers) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto pad = n.io_in("x");
  auto partner = n.lut("partner", {pad}, pass);
  auto reg = n.reg("outreg").d(n.lut("before", {n.io_in("y")}, pass));
  n.io_out("q", reg);
  JOV_PARTITION* top = host::testing::top_partition();
  VOK_ATOM_NODE* pad_atom = nullptr;
  for (VOK_ATOM_NODE* a : top->get_state()->get_atom_netlist()->get_atom_list())
    if (a->is_io_pad() && a->get_string_hpath() == "x") pad_atom = a;
  ASSERT_NE(pad_atom, nullptr);
  yos_current_interface()->set_int_data(pad_atom, static_cast<YOS_INT_DATA_ENUM>(429), partner.id());
  // The input pad also feeds an I/O register directly. A second pad is not
  // kept: its partner and its I/O register are not either.
  auto io_reg = n.atom(VOK_ATOM_KIND::IO_REGISTER, "io_reg").input(DB_INPUT_PORT_DATA_IN, 0, SIG(pad_atom));
  n.io_in("z");
  auto partner_z = n.lut("partner_z", {n.find("z~ibuf")}, pass);
  VOK_ATOM_NODE* pad_z = nullptr;
  for (VOK_ATOM_NODE* a : top->get_state()->get_atom_netlist()->get_atom_list())
    if (a->is_io_pad() && a->get_string_hpath() == "z") pad_z = a;
  ASSERT_NE(pad_z, nullptr);
  yos_current_interface()->set_int_data(pad_z, static_cast<YOS_INT_DATA_ENUM>(429), partner_z.id());
  auto io_reg_z = n.atom(VOK_ATOM_KIND::IO_REGISTER, "io_reg_z").input(DB_INPUT_PORT_DATA_IN, 0, SIG(pad_z));
  // A kept output pad keeps the logic that drives it.
  auto drive = n.lut("drive", {n.io_in("w")}, pass);
  n.io_out("q2", drive);
  VOK_ATOM_NODE* pad_q2 = nullptr;
  for (VOK_ATOM_NODE* a : top->get_state()->get_atom_netlist()->get_atom_list())
    if (a->is_io_pad() && a->get_string_hpath() == "q2") pad_q2 = a;
  ASSERT_NE(pad_q2, nullptr);
  all_passes_off();
  host::cfg::unset("jov_bbic_expand_peripheral");  // back to its default: on
  VELMO_BBIC_KEEP_SET k;
  for (VOK_ATOM_NODE* a : top->get_state()->get_atom_netlist()->get_atom_list())
    if (a->is_port()) k.insert(a);
  k.insert(pad_atom);
  k.insert(reg);
  k.insert(pad_q2);
  velmo_bbic_expand_nodes_to_keep(top, top->get_state()->get_atom_netlist(), k);
  EXPECT_TRUE(k.contains(drive));
  EXPECT_TRUE(k.contains(partner));
  EXPECT_TRUE(k.contains(n.find("before")));  // the output register's logic
  EXPECT_TRUE(k.contains(io_reg));
  EXPECT_FALSE(k.contains(n.find("x~ibuf")));  // not a peripheral atom
  EXPECT_FALSE(k.contains(partner_z));
  EXPECT_FALSE(k.contains(io_reg_z));
  // A bidirectional pad drives its input buffer, so it counts as an input
  // pad and its peripheral fanouts are kept by the same rule; no pad atom
  // reports itself bidirectional apart from that (only the bidirectional
  // port kind does, and it is no pad), so the bidirectional test in the
  // periphery pass cannot change a keep set on its own.
}

TEST_F(LogicModuleTest, OneMapPerCallGivesTheSameKeepSetAsOnePerRound) {
  // Three ALMs, chained modules, registers fed by each other across ALMs.
  std::vector<VOK_ATOM_NODE*> mods, regs;
  for (int i = 0; i < 3; ++i) {
    mods.push_back(module("lm" + std::to_string(i)));
    mods.back()->set_location(site(6 * i), 644);
    VOK_ATOM_NODE* r = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::CORE_REGISTER);
    r->set_name("P|lr" + std::to_string(i));
    net()->add_node(r);
    r->add_output_term(DB_OUTPUT_PORT_TYPE(4), 0);
    r->set_location(site(6 * i + 1), 643);
    regs.push_back(r);
  }
  carry(mods[0], mods[1]);
  vok_connect(regs[1]->get_oterm_slot(0), regs[2]->add_input_term(DB_INPUT_PORT_DATA_IN, 0));
  vok_connect(mods[2]->get_oterm_slot(0), regs[0]->add_input_term(DB_INPUT_PORT_DATA_IN, 0));
  const VELMO_BBIC_ALM_KEY_FN key = velmo_bbic_alm_key_function(6);
  const VELMO_BBIC_ALM_MAP map = velmo_bbic_build_alm_map(net(), key);
  for (VOK_ATOM_NODE* seed : {regs[0], regs[2], mods[1]}) {
    VELMO_BBIC_KEEP_SET per_round, per_call;
    per_round.insert(seed);
    per_call.insert(seed);
    velmo_bbic_expand_logic_modules(net(), per_round, key);
    velmo_bbic_expand_logic_modules(net(), per_call, key, &map);
    ASSERT_EQ(per_round.size(), per_call.size());
    for (VOK_ATOM_NODE* a : per_round.nodes()) EXPECT_TRUE(per_call.contains(a));
    EXPECT_GT(per_round.size(), 1u);
  }
}

// ---------------------------------------------------------------- periphery, chains, slices, round bound

namespace {

VOK_ATOM_NODE* add_atom(VOK_ATOM_NETLIST* n, VOK_ATOM_KIND kind, const std::string& name) {
  VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(kind);
  a->set_name(name);
  n->add_node(a);
  return a;
}

}  // namespace

TEST_F(ExpandTest, PeripheryPassKeepsPrBlockFanoutsUpToTheFirstRegisters) {
  partition([](NETLIST_BUILDER& c) { c.lut("after", {c.reg("r").d(c.lut("l1", {c.input("i")}, pass))}, pass); });
  net()->set_modifiable(true);
  VOK_ATOM_NODE* pr = add_atom(net(), VOK_ATOM_KIND::PRBLOCK, "P|pr");
  vok_connect(pr->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0), atom("P|l1")->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0));
  all_passes_off();
  VELMO_BBIC_KEEP_SET off;
  off.insert(pr);
  velmo_bbic_expand_nodes_to_keep(p, net(), off);
  EXPECT_FALSE(off.contains(atom("P|l1")));  // the pass itself does the work
  host::cfg::unset("jov_bbic_expand_peripheral");  // back to its default: on
  VELMO_BBIC_KEEP_SET k;
  k.insert(pr);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.contains(atom("P|l1")));
  EXPECT_TRUE(k.contains(atom("P|r")));
  EXPECT_FALSE(k.contains(atom("P|after")));
}

TEST_F(ExpandTest, ChainKeepsOneSumOutFanoutAndItsRegisterDrivers) {
  partition([](NETLIST_BUILDER& c) {
    c.carry_chain("add", 3);
    c.reg("src").d(c.input("i"));
  });
  net()->set_modifiable(true);
  std::vector<VOK_ATOM_NODE*> cells;
  for (VOK_ATOM_NODE* a : net()->get_atom_list())
    if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL) cells.push_back(a);
  ASSERT_EQ(cells.size(), 3u);
  VOK_ATOM_OTERM* sum = cells[0]->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0);
  sum->set_usage(8);
  std::vector<VOK_ATOM_NODE*> readers;
  for (const char* r : {"P|s1", "P|s2"}) {
    readers.push_back(add_atom(net(), VOK_ATOM_KIND::COMB_CELL, r));
    vok_connect(sum, readers.back()->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0));
  }
  vok_connect(atom("P|src")->get_oterm_slot(0), cells[1]->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0));
  all_passes_off();
  cfg_set_on("jov_bbic_expand_chains");
  auto run = [&](bool sumout, bool ff_driver) {
    cfg_set_value("jov_bbic_expand_chain_sumout", sumout ? "on" : "off");
    cfg_set_value("jov_bbic_expand_chain_bypass_ff_driver", ff_driver ? "on" : "off");
    VELMO_BBIC_KEEP_SET k;
    k.insert(cells[2]);
    velmo_bbic_expand_nodes_to_keep(p, net(), k);
    return k;
  };
  VELMO_BBIC_KEEP_SET both = run(true, true);
  EXPECT_EQ(both.contains(readers[0]) + both.contains(readers[1]), 1);  // one fanout of the sum, not both
  EXPECT_TRUE(both.contains(atom("P|src")));
  VELMO_BBIC_KEEP_SET neither = run(false, false);
  EXPECT_FALSE(neither.contains(readers[0]) || neither.contains(readers[1]));
  EXPECT_FALSE(neither.contains(atom("P|src")));
  EXPECT_TRUE(neither.contains(cells[0]));
  // A sum output with another usage keeps no fanout.
  sum->set_usage(0);
  VELMO_BBIC_KEEP_SET other = run(true, false);
  EXPECT_FALSE(other.contains(readers[0]) || other.contains(readers[1]));
}

TEST_F(LogicModuleTest, RamSlicesKeepTheRamsOfTheirTileWhenSwitchedOn) {
  auto ram = [&](const std::string& name, unsigned gid) {
    VOK_ATOM_NODE* a = add_atom(net(), VOK_ATOM_KIND::RAM, name);
    a->set_location(gid, 1337);
    return a;
  };
  const unsigned other_tile = host::device::die_info()->get_place_info()->get_global_id(0, 3, 4, 0);
  ASSERT_NE(other_tile, 0xFFFFFFFFu);
  VOK_ATOM_NODE* seed = ram("P|m0", site(0));
  VOK_ATOM_NODE* same = ram("P|m1", site(20));  // another sub-position, same tile
  VOK_ATOM_NODE* far = ram("P|m2", other_tile);
  VOK_ATOM_NODE* lut = add_atom(net(), VOK_ATOM_KIND::COMB_CELL, "P|l");
  lut->set_location(site(1), 644);
  VELMO_BBIC_KEEP_SET off;
  off.insert(seed);
  velmo_bbic_expand_ram_slices(net(), off);  // off unless asked for
  EXPECT_EQ(off.size(), 1u);
  cfg_set_on("jov_bbic_expand_ram_slices");
  VELMO_BBIC_KEEP_SET k;
  k.insert(seed);
  velmo_bbic_expand_ram_slices(net(), k);
  EXPECT_TRUE(k.contains(same));
  EXPECT_FALSE(k.contains(far));
  EXPECT_FALSE(k.contains(lut));
  EXPECT_EQ(count_lines("expand_ram_slices added 1 nodes"), 1);
}

TEST_F(LogicModuleTest, BypassedRegisterKeepsTheCellsAndRegistersOfItsAlm) {
  VOK_ATOM_NODE* byp = atom("P|r");
  byp->set_location(site(1), 643);
  VOK_ATOM_NODE* plain = atom("P|r2");
  plain->set_location(site(4), 643);
  VOK_ATOM_NODE* lut = atom("P|drv");
  lut->set_location(site(2), 644);
  VOK_ATOM_NODE* lutram = add_atom(net(), VOK_ATOM_KIND::LUTRAM, "P|lr");
  lutram->set_location(site(3), 644);
  VOK_ATOM_NODE* next_alm = add_atom(net(), VOK_ATOM_KIND::COMB_CELL, "P|n");
  next_alm->set_location(site(8), 644);
  cfg_set_on("jov_bbic_expand_bypassed_ffs");
  VELMO_BBIC_KEEP_SET plain_only;
  plain_only.insert(byp);
  velmo_bbic_expand_bypassed_ffs(net(), plain_only);  // not bypassed yet: no trigger
  EXPECT_EQ(plain_only.size(), 1u);
  byp->set_parameter(VOK_PARAMETER_TYPE::BOOL, 5, 1);
  VELMO_BBIC_KEEP_SET k;
  k.insert(byp);
  velmo_bbic_expand_bypassed_ffs(net(), k);
  EXPECT_TRUE(k.contains(lut));
  EXPECT_TRUE(k.contains(plain));
  EXPECT_FALSE(k.contains(lutram));
  EXPECT_FALSE(k.contains(next_alm));
  EXPECT_EQ(count_lines("expand_bypassed_ffs found 1 bypassed_ffs, added 2 nodes"), 1);
}

TEST_F(LogicModuleTest, LogicModuleRoundsAreBoundedAt999) {
  // n module/register pairs, each pair alone in an ALM, register i fed by
  // module i+1: each round reaches one ALM further, n + 1 rounds in all.
  std::map<const VOK_ATOM_NODE*, std::pair<unsigned, unsigned>> alm;
  auto pipeline = [&](const std::string& prefix, unsigned n, unsigned row) {
    std::vector<VOK_ATOM_NODE*> mods, regs;
    for (unsigned i = 0; i < n; ++i) {
      mods.push_back(module(prefix + "m" + std::to_string(i)));
      VOK_ATOM_NODE* r = add_atom(net(), VOK_ATOM_KIND::CORE_REGISTER, "P|" + prefix + "r" + std::to_string(i));
      r->add_output_term(DB_OUTPUT_PORT_TYPE(4), 0);
      regs.push_back(r);
      alm[mods.back()] = alm[r] = {i, row};
    }
    for (unsigned i = 0; i + 1 < n; ++i)
      vok_connect(mods[i + 1]->get_oterm_slot(0), regs[i]->add_input_term(DB_INPUT_PORT_DATA_IN, 0));
    return regs.front();
  };
  VOK_ATOM_NODE* fits_seed = pipeline("a", 998, 0);
  VOK_ATOM_NODE* over_seed = pipeline("b", 999, 1);
  const VELMO_BBIC_ALM_KEY_FN key = [&alm](const VOK_ATOM_NODE* a) -> VELMO_BBIC_ALM_LOC {
    auto it = alm.find(a);
    if (it == alm.end()) return {false, 0u, 0u, 0u};
    return {true, it->second.first, it->second.second, 0u};
  };
  const VELMO_BBIC_ALM_MAP map = velmo_bbic_build_alm_map(net(), key);
  VELMO_BBIC_KEEP_SET k;
  k.insert(fits_seed);
  velmo_bbic_expand_logic_modules(net(), k, key, &map);
  EXPECT_EQ(k.size(), 2u * 998u);
  VELMO_BBIC_KEEP_SET k2;
  k2.insert(over_seed);
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_expand_logic_modules(net(), k2, key, &map); });
  EXPECT_EQ(e.condition, "++count < 1000");
}
