// Register duplication ahead of early retiming: which registers are
// candidates, the three strategies (partition boundaries, asynchronous
// clears, other clocks), their limits and summary, and that the duplicated
// netlist keeps the design's function.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/sim.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_dup_reg_for_retiming.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"

namespace {

class DupRegTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    EXPECT_EQ(host::siv::live_utilities(), 0);
    HostTest::TearDown();
  }
  void run() { VELMO_RETIMER::dup_regs_for_retiming(m_env); }
  static int fanouts(const VOK_ATOM_NODE* reg) {
    return reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)->count_flatten_fanouts();
  }
  static VOK_ATOM_NODE* driver_of(const VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE port, int index = 0) {
    const VOK_ATOM_OTERM* s = atom->get_input_term_by_type(port, index)->get_source(VOK_TRAVERSE_AS_STORED);
    return s ? s->get_my_node() : nullptr;
  }
  static void expect_totals(unsigned partitions, unsigned aclears, unsigned clocks, unsigned max_per_reg) {
    const auto lines = host::debug::texts();
    EXPECT_THAT(lines, HasDebugLine("Num dup registers for partitions:  " + std::to_string(partitions)));
    EXPECT_THAT(lines, HasDebugLine("Num dup registers for aclears:     " + std::to_string(aclears)));
    EXPECT_THAT(lines, HasDebugLine("Num dup registers for diff clocks: " + std::to_string(clocks)));
    EXPECT_THAT(lines, HasDebugLine("Total dup registers for retiming: total dups: " +
                                    std::to_string(partitions + aclears + clocks) +
                                    "; max per reg: " + std::to_string(max_per_reg) + "."));
  }
  WEXAN_ENV* m_env = nullptr;
};

TEST_F(DupRegTest, SingleLoadLockedAndRefusedRegistersAreNoCandidates) {
  // The verbose switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("dup_regs_for_retiming_verbose");
  auto n = host::testing::netlist();
  auto c1 = n.input_port("c1");
  auto c2 = n.input_port("c2");
  auto single = n.reg("single").clk(c1).d(n.input_port("in")).atom();
  n.reg("l0").clk(c2).d(single);
  auto locked = n.reg("locked").clk(c1).d(n.input_port("in2")).atom();
  n.reg("l1").clk(c2).d(locked);
  n.reg("l2").clk(c2).d(locked);
  auto refused = n.reg("refused").clk(c1).d(n.input_port("in3")).atom();
  n.reg("l3").clk(c2).d(refused);
  n.reg("l4").clk(c2).d(refused);
  auto ignored = n.reg("ignored").clk(c1).d(n.input_port("in4")).atom();
  n.reg("l5").clk(c2).d(ignored);
  n.reg("l6").clk(c2).d(ignored);
  // Only core registers are candidates: an I/O register is not.
  auto io = n.io_reg("io").clk(c1).d(n.input_port("in5")).atom();
  n.reg("l7").clk(c1).d(io);
  n.reg("l8").clk(c2).d(io);
  R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(locked->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH"),
                                                             PELK::intern(4, "LOCKED"));
  host::drc::deny(refused->get_id(), 41, (std::uint64_t{1} << 5) | (std::uint64_t{1} << 10));
  // Every reason the pass ignores.
  std::uint64_t ignored_reasons = 0;
  for (int reason : {10, 25, 26, 27, 28, 31}) ignored_reasons |= std::uint64_t{1} << reason;
  host::drc::deny(ignored->get_id(), 41, ignored_reasons);
  run();
  const auto lines = host::debug::texts();
  EXPECT_THAT(lines, HasDebugLine("skipping locked due to r5t"));
  EXPECT_THAT(lines, HasDebugLine("skipping refused due to siv"));
  EXPECT_THAT(lines, HasDebugLine("   bits set after mask: 5"));
  EXPECT_THAT(lines, HasDebugLine("    DRR: reason 5"));
  EXPECT_THAT(lines, HasDebugLine("Found 1 atoms to process"));
  EXPECT_EQ(fanouts(locked), 2);
  EXPECT_EQ(fanouts(refused), 2);
  // The one candidate's loads all run on another clock: nothing would stay
  // on it, so it gets no copy.
  EXPECT_EQ(fanouts(ignored), 2);
  EXPECT_EQ(fanouts(io), 2);
  expect_totals(0, 0, 0, 0);
  EXPECT_EQ(n.find("single~DUP"), nullptr);
  // The netlist dumps are asked for, not made by default.
  EXPECT_EQ(host::call_count("ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 0);
}

TEST_F(DupRegTest, BoundaryPortsGetOneCopyEachAndTheLocalLoadStays) {
  // The verbose switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("dup_regs_for_retiming_verbose");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).locked_box(1, 1, 4, 4).atom();
  auto local = n.reg("local").clk(clk).d(r).atom();
  // A LUT feeding a local register and, through a second LUT, a port of the
  // box is a boundary load too: it reaches the box through the LUTs.
  auto mix = n.lut("mix", {r}, 0x2);
  auto onward = n.lut("onward", {mix}, 0x2);
  auto local2 = n.reg("local2").clk(clk).d(mix).atom();
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    c.reg("a").clk(cc).d(c.input("i1"));
    c.reg("b").clk(cc).d(c.input("i2"));
    c.reg("e").clk(cc).d(c.input("i3"));
  });
  box.in("c", clk).in("i1", r).in("i2", r).in("i3", onward);
  // A design output port is a partition boundary as well.
  auto port = n.output_port("po", r);
  run();
  EXPECT_EQ(driver_of(local, DB_INPUT_PORT_DATA_IN), r);
  const VOK_ATOM_NODE* d1 = driver_of(box, DB_INPUT_PORT_BOX, 1);
  const VOK_ATOM_NODE* d2 = driver_of(box, DB_INPUT_PORT_BOX, 2);
  const VOK_ATOM_NODE* d3 = driver_of(mix, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA));
  ASSERT_NE(d1, r);
  ASSERT_NE(d2, r);
  ASSERT_NE(d3, r);
  EXPECT_NE(d1, d2);
  EXPECT_NE(d3, d1);
  EXPECT_NE(d3, d2);
  const VOK_ATOM_NODE* d4 = driver_of(port, DB_INPUT_PORT_BOX);
  EXPECT_NE(d4, r);
  EXPECT_NE(d4, d1);
  EXPECT_EQ(driver_of(local2, DB_INPUT_PORT_DATA_IN), mix.atom());
  EXPECT_EQ(host::constraints::get(d1->get_id()), host::constraints::get(r->get_id()));
  EXPECT_NE(host::constraints::get(r->get_id()), host::constraints::get(local->get_id()));  // r keeps its own
  EXPECT_EQ(driver_of(d1, DB_INPUT_PORT_CLK), driver_of(r, DB_INPUT_PORT_CLK));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Checking r for cross-partition transfers"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Duplicating r 4 times for partitions"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Checking r for aclears"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Checking r for different clocks"));
  expect_totals(4, 0, 0, 4);
}

TEST_F(DupRegTest, OneCopyForAllBoundaryLoadsWhenPerPortIsOff) {
  // The partition switches are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("dup_regs_for_retiming_per_boundary_port");
  // Without the transitive test a LUT is a local load whatever it reaches.
  cfg_set_off("dup_regs_for_retiming_transitive_partition");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("local").clk(clk).d(r);
  auto mix = n.lut("mix", {r}, 0x2);
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    c.reg("a").clk(cc).d(c.input("i1"));
    c.reg("b").clk(cc).d(c.input("i2"));
    c.reg("e").clk(cc).d(c.input("i3"));
  });
  box.in("c", clk).in("i1", r).in("i2", r).in("i3", mix);
  run();
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 1), driver_of(box, DB_INPUT_PORT_BOX, 2));
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, 1), r);
  EXPECT_EQ(driver_of(mix, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA)), r);
  expect_totals(1, 0, 0, 1);
}

TEST_F(DupRegTest, ALoneBoundaryPortIsCountedWithoutACopyAndStopsTheRegister) {
  // The verbose switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("dup_regs_for_retiming_verbose");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    auto i = c.input("i");
    c.reg("a").clk(cc).d(i);
    c.reg("b").clk(cc).d(i);
  });
  box.in("c", clk).in("i", r);
  run();
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 1), r);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r: No local transfers found"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r: Only 1 duplicate for partitions and no local transfers found"));
  EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("Checking r for aclears")));
  // Counted in the total, but only registers that reach the clock strategy
  // raise the largest per-register count.
  expect_totals(1, 0, 0, 0);
}

TEST_F(DupRegTest, ClearLoadsDirectAndThroughLutsMoveToOneCopy) {
  // The verbose switch is read once per process.
  if (!host::testing::in_own_process()) return;
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto data = n.reg("data").clk(clk).d(r).atom();
  auto cleared = n.reg("cleared").clk(clk).d(n.input_port("in2")).aclr(r).atom();
  // A clear reached through a LUT and a logic module, and one reached only
  // through the carry output of an adder cell, move too.
  auto lm = n.atom(VOK_ATOM_KIND::LOGIC_MODULE, "lm").input(DB_INPUT_PORT_LUT_DATA, 0, n.lut("inv", {r}, 0x1));
  n.reg("via").clk(clk).d(n.input_port("in3")).aclr(lm);
  auto adder = n.carry_chain("add", 2);
  adder.head().input(DB_INPUT_PORT_LUT_DATA, 0, r);
  n.reg("carried").clk(clk).d(n.input_port("in9")).aclr(adder.cell(1).out(DB_OUTPUT_PORT_SUM));
  // A LUT feeding a clear and a data input moves with the clear loads.
  auto both = n.lut("both", {r}, 0x2);
  n.reg("both_clr").clk(clk).d(n.input_port("in8")).aclr(both);
  n.reg("both_d").clk(clk).d(both);
  auto sync = n.reg("sync").clk(clk).d(n.input_port("in4")).aclr(r).atom();
  sync->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)->set_usage(DB_INPUT_PORT_SCLR);
  // All loads clear: no copy.
  auto all = n.reg("all").clk(clk).d(n.input_port("in5")).atom();
  n.reg("c1").clk(clk).d(n.input_port("in6")).aclr(all);
  n.reg("c2").clk(clk).d(n.input_port("in7")).aclr(all);
  cfg_set_on("dup_regs_for_retiming_verbose");
  run();
  // A register left to its clear loads goes to no later strategy.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Checking r for different clocks"));
  EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("Checking all for different clocks")));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("    r: cleared iterm feeds aclear"));
  EXPECT_EQ(driver_of(data, DB_INPUT_PORT_DATA_IN), r);
  EXPECT_EQ(driver_of(sync, DB_INPUT_PORT_ACLR), r);
  VOK_ATOM_NODE* copy = driver_of(cleared, DB_INPUT_PORT_ACLR);
  ASSERT_NE(copy, r);
  EXPECT_EQ(driver_of(n.find("inv"), static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA)), copy);
  EXPECT_EQ(driver_of(n.find("both"), static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA)), copy);
  EXPECT_EQ(driver_of(adder.head(), DB_INPUT_PORT_LUT_DATA), copy);
  EXPECT_EQ(fanouts(all), 2);
  expect_totals(0, 1, 0, 1);
}

TEST_F(DupRegTest, ForeignClocksInvertedClocksAndClocklessLoadsShareOneCopy) {
  // The verbose switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("dup_regs_for_retiming_verbose");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto other = n.input_port("other");
  auto third = n.input_port("third");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto own = n.reg("own").clk(clk).d(r).atom();
  auto own_via_lut = n.reg("own2").clk(clk).d(n.lut("l", {r}, 0x2)).atom();
  auto f1 = n.reg("f1").clk(other).d(r).atom();
  auto f2 = n.reg("f2").clk(third).d(r).atom();
  auto inv = n.reg("inv").clk(clk).d(r).atom();
  inv->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_inverted(true);
  // Two clock inputs from r's clock, the second inverted: clocked twice.
  auto twice = n.reg("twice").clk(clk).d(r).atom();
  VOK_ATOM_ITERM* second = twice->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(35), 0);
  vok_connect(clk.oterm, second);
  second->set_inverted(true);
  // A second clock input, of each clock port type, from another clock:
  // clocked twice.
  std::vector<VOK_ATOM_NODE*> both;
  for (const int port : {35, 36, 581, 582}) {
    both.push_back(n.reg("both" + std::to_string(port)).clk(clk).d(r).atom());
    vok_connect(other.oterm, both.back()->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(port), 0));
  }
  // An unconnected clock input beside the clock is no second clock.
  auto half = n.reg("half").clk(clk).d(r).atom();
  half->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(36), 0);
  n.io_out("pin", r);
  // Through two LUTs to a same-clock and a foreign-clock register: the
  // inner LUT's mixed clocks carry over to the outer one, which moves.
  auto mixed = n.lut("m1", {n.lut("m0", {r}, 0x2)}, 0x2);
  n.reg("mc").clk(clk).d(mixed);
  n.reg("mo").clk(other).d(mixed);
  // A LUT feeding a rising- and a falling-edge register of r's own clock:
  // its loads are clocked on two edges, so it moves too.
  auto edges = n.lut("e0", {r}, 0x2);
  n.reg("er").clk(clk).d(edges);
  n.reg("ef").clk(clk).d(edges).atom()->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_inverted(true);
  // No clock input: strategy 3 leaves it alone.
  auto unclocked = n.reg("unclocked").d(n.input_port("in2")).atom();
  n.reg("u1").clk(clk).d(unclocked);
  n.reg("u2").clk(other).d(unclocked);
  // e feeds a LUT whose loads are a rising- and a falling-edge register of
  // e's own clock (two clocks through the inversion), and a pin: every load
  // would move, so no copy.
  auto e = n.reg("e").clk(clk).d(n.input_port("in3")).atom();
  auto e_edges = n.lut("edges", {e}, 0x2);
  n.reg("rise").clk(clk).d(e_edges);
  auto fall = n.reg("fall").clk(clk).d(e_edges).atom();
  fall->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_inverted(true);
  n.io_out("epin", e);
  run();
  EXPECT_EQ(driver_of(n.find("edges"), DB_INPUT_PORT_LUT_DATA), e);
  EXPECT_EQ(driver_of(n.find("epin~obuf"), DB_INPUT_PORT_BOX), e);
  EXPECT_EQ(fanouts(e), 2);
  EXPECT_EQ(driver_of(own, DB_INPUT_PORT_DATA_IN), r);
  EXPECT_EQ(driver_of(half, DB_INPUT_PORT_DATA_IN), r);
  EXPECT_EQ(driver_of(n.find("l"), DB_INPUT_PORT_LUT_DATA), r);
  VOK_ATOM_NODE* copy = driver_of(f1, DB_INPUT_PORT_DATA_IN);
  ASSERT_NE(copy, r);
  EXPECT_EQ(driver_of(f2, DB_INPUT_PORT_DATA_IN), copy);
  EXPECT_EQ(driver_of(inv, DB_INPUT_PORT_DATA_IN), copy);
  EXPECT_EQ(driver_of(twice, DB_INPUT_PORT_DATA_IN), copy);
  for (const VOK_ATOM_NODE* b : both) EXPECT_EQ(driver_of(b, DB_INPUT_PORT_DATA_IN), copy) << b->get_string_hpath();
  EXPECT_EQ(driver_of(n.find("pin~obuf"), DB_INPUT_PORT_BOX), copy);
  EXPECT_EQ(driver_of(n.find("m0"), DB_INPUT_PORT_LUT_DATA), copy);
  EXPECT_EQ(driver_of(n.find("e0"), DB_INPUT_PORT_LUT_DATA), copy);
  EXPECT_EQ(fanouts(unclocked), 2);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("unclocked: No clock iterm"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("    r has 11 iterms feeding different clock"));
  expect_totals(0, 0, 1, 1);
  (void)own_via_lut;
}

TEST_F(DupRegTest, AFallingEdgeRegisterKeepsItsFallingEdgeLoadsAndItsCopyFallsToo) {
  // A design clocked on the falling edge throughout: r's loads on that same
  // edge (directly and through a LUT) stay, the pin and a rising-edge load of
  // the same clock move to one copy, which is clocked like r.
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  const auto falling = [](VOK_ATOM_NODE* reg) {
    reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_inverted(true);
    return reg;
  };
  auto r = falling(n.reg("r").clk(clk).d(n.input_port("a")).atom());
  auto l = n.lut("l", {r, n.input_port("b")}, 0x8);
  falling(n.reg("p").clk(clk).d(l).atom());
  falling(n.reg("q").clk(clk).d(l).atom());
  auto s = falling(n.reg("s").clk(clk).d(r).atom());
  auto rising = n.reg("rising").clk(clk).d(r).atom();
  n.io_out("z", r);
  run();
  EXPECT_EQ(driver_of(l, DB_INPUT_PORT_LUT_DATA), r);
  EXPECT_EQ(driver_of(s, DB_INPUT_PORT_DATA_IN), r);
  VOK_ATOM_NODE* copy = driver_of(rising, DB_INPUT_PORT_DATA_IN);
  ASSERT_NE(copy, r);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(driver_of(n.find("z~obuf"), DB_INPUT_PORT_BOX), copy);
  EXPECT_EQ(driver_of(copy, DB_INPUT_PORT_CLK), driver_of(r, DB_INPUT_PORT_CLK));
  EXPECT_TRUE(copy->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->is_inverted());
  expect_totals(0, 0, 1, 1);
}

TEST_F(DupRegTest, ACombinationalCycleEndsTheWalk) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto a = n.lut("a", {r}, 0x2);
  auto b = n.lut("b", {a}, 0x2);
  // Close the loop: a's second input comes from b.
  a.input(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0, b);
  n.reg("q").clk(clk).d(b);
  n.reg("s").clk(n.input_port("other")).d(r);
  // The walk visits depth first in fan-out order; an atom met again while
  // its own walk is open answers with its incomplete record.
  VELMO_DRR_INFO_CACHE cache;
  const VELMO_DRR_ATOM_INFO* info = velmo_drr_get_info_for_atom(a, cache, true);
  EXPECT_TRUE(info->m_complete);
  EXPECT_FALSE(info->m_multiple_clocks);
  EXPECT_TRUE(info->m_feeds_non_aclr);
  std::vector<std::string> walk;
  for (const std::string& t : host::debug::texts())
    if (t.rfind("Checking atom ", 0) == 0 || t.rfind("    ", 0) == 0) walk.push_back(t.substr(0, t.find(" returning ")));
  EXPECT_THAT(walk, ::testing::ElementsAre("Checking atom a", "    recursing", "Checking atom b", "    recursing",
                                           "Checking atom a", "    incomplete:", "Checking atom q",
                                           "    hit terminal", "    q", "    b", "    a"));
  run();
  expect_totals(0, 0, 1, 1);
}

TEST_F(DupRegTest, AChainDeeperThanTheCallStackIsWalked) {
  constexpr int DEPTH = 100000;
  auto n = host::testing::netlist();
  auto c1 = n.input_port("c1");
  auto r = n.reg("r").clk(c1).d(n.input_port("in")).atom();
  auto own = n.reg("own").clk(c1).d(r).atom();
  host::testing::SIG s = r;
  for (int i = 0; i < DEPTH; ++i) s = n.lut("l" + std::to_string(i), {s}, 0x2);
  n.reg("end").clk(n.input_port("c2")).d(s);
  run();
  // The chain ends on another clock: it moves to one copy, the own load stays.
  EXPECT_EQ(driver_of(own, DB_INPUT_PORT_DATA_IN), r);
  VOK_ATOM_NODE* copy = driver_of(n.find("l0"), static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, r);
  expect_totals(0, 0, 1, 1);
}

TEST_F(DupRegTest, DuplicationKeepsTheFunction) {
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto clk2 = n.io_in("clk2");
  auto a = n.io_in("a");
  auto r = n.reg("r").clk(clk).d(n.lut("x", {a, n.io_in("b")}, [](auto v) { return v[0] != v[1]; })).atom();
  auto s = n.reg("s").clk(clk).d(r).atom();
  auto t = n.reg("t").clk(clk2).d(n.lut("y", {r, a}, [](auto v) { return v[0] && v[1]; })).atom();
  n.io_out("o1", s);
  n.io_out("o2", t);
  n.io_out("o3", r);
  const std::vector<std::string> ins{"a", "b"};
  const std::vector<std::string> outs{"o1", "o2", "o3"};
  std::vector<std::vector<bool>> stimuli;
  for (int c = 0; c < 10; ++c) stimuli.push_back({c % 3 == 1, c % 2 == 0});
  const auto before = host::testing::simulate(*host::vok::top_netlist(), ins, outs, stimuli);
  run();
  ASSERT_NE(driver_of(t, DB_INPUT_PORT_DATA_IN), nullptr);
  EXPECT_NE(driver_of(n.find("y"), DB_INPUT_PORT_LUT_DATA), r);
  EXPECT_EQ(host::testing::simulate(*host::vok::top_netlist(), ins, outs, stimuli), before);
}

TEST_F(DupRegTest, APerRegisterLimitOfZeroMakesNoCopy) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("dup_regs_for_retiming_max_dups_per_reg", "0");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("own").clk(clk).d(r);
  n.reg("f").clk(n.input_port("other")).d(r);
  run();
  EXPECT_EQ(fanouts(r), 2);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Hit per-reg dup limit of 0"));
  expect_totals(0, 0, 0, 0);
}

TEST_F(DupRegTest, CopiesForClearsAndOtherClocksStopAtTheirOwnTotals) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("dup_regs_for_retiming_max_total_dups_for_aclears", "2");
  cfg_set_value("dup_regs_for_retiming_max_total_dups_for_diff_clocks", "1");
  // Three registers, each with a load on its own clock, a clear load and a
  // load on another clock: the first two get a copy for the clear, the
  // first alone one for the other clock.
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto other = n.input_port("other");
  std::vector<VOK_ATOM_NODE*> regs, cleared, foreign;
  for (int i = 0; i < 3; ++i) {
    const std::string k = std::to_string(i);
    regs.push_back(n.reg("r" + k).clk(clk).d(n.input_port("in" + k)).atom());
    n.reg("own" + k).clk(clk).d(regs.back());
    cleared.push_back(n.reg("c" + k).clk(clk).d(n.input_port("cin" + k)).aclr(regs.back()).atom());
    foreign.push_back(n.reg("f" + k).clk(other).d(regs.back()).atom());
  }
  run();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(driver_of(cleared[i], DB_INPUT_PORT_ACLR) != regs[i], i < 2);
    EXPECT_EQ(driver_of(foreign[i], DB_INPUT_PORT_DATA_IN) != regs[i], i < 1);
  }
  expect_totals(0, 2, 1, 2);
}

TEST_F(DupRegTest, BoundaryCopiesStopAtThePerRegisterLimit) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  // Three boundary ports and a limit of two copies per register: the third
  // port keeps the original register. r2 reaches the limit with its second
  // copy, the one for another clock's load.
  cfg_set_value("dup_regs_for_retiming_max_dups_per_reg", "2");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("local").clk(clk).d(r);
  auto r2 = n.reg("r2").clk(clk).d(n.input_port("in2")).atom();
  n.reg("local2").clk(clk).d(r2);
  auto foreign = n.reg("foreign").clk(n.input_port("clk2")).d(r2).atom();
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    for (const char* p : {"i1", "i2", "i3", "i4"}) c.reg(std::string("x") + p).clk(cc).d(c.input(p));
  });
  box.in("c", clk).in("i1", r).in("i2", r).in("i3", r).in("i4", r2);
  run();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r: Hit per-atom limit of 2"));
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, 1), r);
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, 2), r);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 3), r);
  EXPECT_NE(driver_of(foreign, DB_INPUT_PORT_DATA_IN), r2);
  const auto texts = host::debug::texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), std::string("Hit per-reg dup limit of 2")), 2);  // r, then r2
  expect_totals(3, 0, 1, 2);
}

// Fifty copies per register by default: of 51 boundary ports the last keeps
// the register, which then goes no further.
TEST_F(DupRegTest, ThePerRegisterLimitIs50CopiesByDefault) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  constexpr int kPorts = 51;
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("local").clk(clk).d(r);
  auto box = n.blackbox("u", [&](auto& c) {
    auto cc = c.input("c");
    for (int i = 0; i < kPorts; ++i) c.reg("x" + std::to_string(i)).clk(cc).d(c.input("i" + std::to_string(i)));
  });
  box.in("c", clk);
  for (int i = 0; i < kPorts; ++i) box.in("i" + std::to_string(i), r);
  run();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r: Hit per-atom limit of 50"));
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, kPorts - 1), r);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, kPorts), r);
  expect_totals(50, 0, 0, 0);
}

// Without the partition strategy a load on a box port is judged by what it
// reaches inside the box, with the clocks taken through the box's ports; a
// register inside a box takes its own clock at the box's port, so every load
// counts as another clock's and it keeps them all. A register behind a port
// on another clock, a clear behind a port, and a LUT behind a port feeding
// either, stay on the register too: a copy for them would be wired across
// the boundary.
TEST_F(DupRegTest, LoadsBehindABoxPortAreJudgedInsideTheBox) {
  // The strategy switches are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("dup_regs_for_retiming_for_partitions");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto local = n.reg("local").clk(clk).d(r).atom();
  VOK_ATOM_NODE* inner = nullptr;
  VOK_ATOM_NODE* inner_foreign = nullptr;
  VOK_ATOM_NODE* other_clock = nullptr;
  VOK_ATOM_NODE* cleared = nullptr;
  VOK_ATOM_NODE *to_other = nullptr, *to_clear = nullptr, *inner_out = nullptr;
  auto box = n.blackbox("u", [&](auto& c) {
    auto cc = c.input("c");
    c.reg("same").clk(cc).d(c.input("i"));  // on r's clock
    auto d = c.input("d");
    inner = c.reg("inner").clk(cc).d(d).atom();
    c.reg("own").clk(cc).d(inner);
    auto c2 = c.input("c2");
    inner_foreign = c.reg("foreign").clk(c2).d(inner).atom();
    other_clock = c.reg("other").clk(c2).d(c.input("j")).atom();
    cleared = c.reg("cleared").clk(cc).d(d).aclr(c.input("k")).atom();
    c.reg("beyond").clk(cc).d(c.input("n"));
    to_other = c.lut("t", {c.input("m")}, [](const auto& x) { return x[0]; }).atom();
    c.reg("t_q").clk(c2).d(to_other);
    to_clear = c.lut("t2", {c.input("p")}, [](const auto& x) { return x[0]; }).atom();
    c.reg("t2_q").clk(cc).d(d).aclr(to_clear);
    c.reg("beyond5").clk(cc).d(c.input("q"));
    inner_out = c.reg("inner_out").clk(cc).d(d).atom();
    c.output("o", inner_out);
  });
  box.in("c", clk).in("i", r).in("d", n.input_port("in2")).in("c2", n.input_port("clk2")).in("j", r).in("k", r);
  box.in("m", r).in("p", r);
  // And the other way: inner_out keeps a LUT outside the box on another
  // clock.
  auto outside = n.lut("o_lut", {box.out("o")}, [](const auto& x) { return x[0]; }).atom();
  n.reg("o_q").clk(n.input_port("clk4")).d(outside);
  n.reg("o_r").clk(clk).d(box.out("o"));
  // A load through a port counts as one that stays, so r3's other-clock load
  // outside the box gets a copy of its own.
  auto r3 = n.reg("r3").clk(clk).d(n.input_port("in5")).atom();
  auto f3 = n.reg("f3").clk(n.input_port("clk3")).d(r3).atom();
  box.in("n", r3);
  // So does one in the clear strategy: r5's clear load gets a copy.
  auto r5 = n.reg("r5").clk(clk).d(n.input_port("in6")).atom();
  auto c5 = n.reg("c5").clk(clk).d(n.input_port("in7")).aclr(r5).atom();
  box.in("q", r5);
  run();
  EXPECT_NE(driver_of(c5, DB_INPUT_PORT_ACLR), r5);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 9), r5);
  for (const VOK_ATOM_NODE* lut : {to_other, to_clear})
    EXPECT_EQ(lut->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL),
              r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  EXPECT_EQ(outside->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL),
            inner_out->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  EXPECT_NE(driver_of(f3, DB_INPUT_PORT_DATA_IN), r3);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 6), r3);
  EXPECT_EQ(driver_of(local, DB_INPUT_PORT_DATA_IN), r);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 1), r);
  EXPECT_EQ(driver_of(inner_foreign, DB_INPUT_PORT_DATA_IN), inner);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 4), r);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 5), r);
  EXPECT_EQ(other_clock->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL),
            r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  EXPECT_EQ(cleared->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL),
            r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  expect_totals(0, 1, 1, 1);
}

// A register stopped by its own limit, at the partition boundary or at its
// clear loads, never reaches the other-clock strategy, so the largest count
// per register is taken over the registers that did.
TEST_F(DupRegTest, ARegisterStoppedByItsLimitIsLeftOutOfTheLargestCount) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("dup_regs_for_retiming_max_dups_per_reg", "2");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // r: two boundary copies; r3: one boundary copy and one for its clear load;
  // r2: one copy for another clock's load.
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("local").clk(clk).d(r);
  auto r3 = n.reg("r3").clk(clk).d(n.input_port("in3")).atom();
  n.reg("local3").clk(clk).d(r3);
  auto cleared = n.reg("cleared").clk(clk).d(n.input_port("in4")).aclr(r3).atom();
  auto r2 = n.reg("r2").clk(clk).d(n.input_port("in2")).atom();
  n.reg("local2").clk(clk).d(r2);
  auto foreign = n.reg("foreign").clk(n.input_port("clk2")).d(r2).atom();
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    for (const char* p : {"i1", "i2", "i3", "i4"}) c.reg(std::string("x") + p).clk(cc).d(c.input(p));
  });
  box.in("c", clk).in("i1", r).in("i2", r).in("i3", r).in("i4", r3);
  run();
  EXPECT_NE(driver_of(cleared, DB_INPUT_PORT_ACLR), r3);
  EXPECT_NE(driver_of(foreign, DB_INPUT_PORT_DATA_IN), r2);
  expect_totals(3, 1, 1, 1);
}

// Each strategy's total stops at 3000 copies by default.
TEST_F(DupRegTest, EachDefaultTotalIs3000Copies) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("dup_regs_for_retiming_max_dups_per_reg", "5000");
  constexpr int kCount = 3001;
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto other = n.input_port("other");
  // r: one copy per boundary port.
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.reg("local").clk(clk).d(r);
  auto box = n.blackbox("u", [&](auto& c) {
    auto cc = c.input("c");
    for (int i = 0; i < kCount; ++i) c.reg("x" + std::to_string(i)).clk(cc).d(c.input("i" + std::to_string(i)));
  });
  box.in("c", clk);
  for (int i = 0; i < kCount; ++i) box.in("i" + std::to_string(i), r);
  // s0, s1, ...: one copy for a clear load and one for another clock's load.
  std::vector<VOK_ATOM_NODE*> regs, cleared, foreign;
  for (int i = 0; i < kCount; ++i) {
    const std::string k = std::to_string(i);
    regs.push_back(n.reg("s" + k).clk(clk).d(n.input_port("d" + k)).atom());
    n.reg("own" + k).clk(clk).d(regs.back());
    cleared.push_back(n.reg("c" + k).clk(clk).d(n.input_port("cd" + k)).aclr(regs.back()).atom());
    foreign.push_back(n.reg("f" + k).clk(other).d(regs.back()).atom());
  }
  run();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r: Hit total dup for partitions limit of 3000"));
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, kCount - 1), r);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, kCount), r);
  for (const int i : {kCount - 2, kCount - 1}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(driver_of(cleared[i], DB_INPUT_PORT_ACLR) != regs[i], i < kCount - 1);
    EXPECT_EQ(driver_of(foreign[i], DB_INPUT_PORT_DATA_IN) != regs[i], i < kCount - 1);
  }
  expect_totals(3000, 3000, 3000, 3000);
}

TEST_F(DupRegTest, AReachedPartitionTotalStopsLaterRegistersButKeepsOpenedCopies) {
  // The limits are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("dup_regs_for_retiming_max_total_dups_for_partition", "1");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r1 = n.reg("r1").clk(clk).d(n.input_port("in")).atom();
  auto r2 = n.reg("r2").clk(clk).d(n.input_port("in2")).atom();
  n.reg("l1").clk(clk).d(r1);
  // r2 reaches the boundary only through two LUTs, one of them to a
  // register on another clock: stopped by the total before it looks at its
  // loads, it still goes on to the other strategies, which give that LUT a
  // copy.
  auto same = n.lut("same", {r2}, 0x2);
  auto other = n.lut("other", {r2}, 0x2);
  auto box = n.blackbox("u", [](auto& c) {
    auto cc = c.input("c");
    auto c2 = c.input("c2");
    for (const char* p : {"i1", "i2", "i3"}) c.reg(std::string("x") + p).clk(cc).d(c.input(p));
    c.reg("xi4").clk(c2).d(c.input("i4"));
  });
  box.in("c", clk).in("c2", n.input_port("clk2")).in("i1", r1).in("i2", r1).in("i3", same).in("i4", other);
  run();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("r1: Hit total dup for partitions limit of 1"));
  EXPECT_NE(driver_of(box, DB_INPUT_PORT_BOX, 2), r1);
  EXPECT_EQ(driver_of(box, DB_INPUT_PORT_BOX, 3), r1);
  EXPECT_EQ(driver_of(same, DB_INPUT_PORT_LUT_DATA), r2);
  EXPECT_NE(driver_of(other, DB_INPUT_PORT_LUT_DATA), r2);
  expect_totals(1, 0, 1, 1);
}

}  // namespace
