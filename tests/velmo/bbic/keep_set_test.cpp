// Keep sets: seeding from the partition boundary, the walks up to the first
// registers, the atoms every shell keeps and the statistics line.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "omz/omz_ip.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "r5t/r5t_kiv_model.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"

using host::testing::BOX_BUILDER;
using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class KeepSetTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
  }
  // Partition P: in -> l1 -> r1 -> l2 -> r2 -> l3 -> out, clocked by clk.
  void build_pipeline() {
    NETLIST_BUILDER n = host::testing::netlist();
    auto clk = n.io_in("clk");
    auto src = n.io_in("d");
    box = n.blackbox("P", [](NETLIST_BUILDER& c) {
      auto pc = c.input("clk");
      auto l1 = c.lut("l1", {c.input("i")}, pass);
      auto r1 = c.reg("r1").clk(pc).d(l1);
      auto l2 = c.lut("l2", {r1}, pass);
      auto r2 = c.reg("r2").clk(pc).d(l2);
      c.output("o", c.lut("l3", {r2}, pass));
    });
    box.in("clk", clk).in("i", src);
    n.io_out("q", box.out("o"));
    top = host::testing::top_partition().preserved();
    p = host::testing::partition("P", box).preserved();
    // The registers' clocks are global signals.
    for (const char* r : {"P|r1", "P|r2"}) atom(p, r)->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  }
  VOK_ATOM_NETLIST* netlist(JOV_PARTITION* part) const { return part->get_state()->get_atom_netlist(); }
  VOK_ATOM_NODE* atom(JOV_PARTITION* part, const std::string& name) const {
    for (VOK_ATOM_NODE* a : netlist(part)->get_atom_list())
      if (a->get_string_hpath() == name) return a;
    ADD_FAILURE() << "no atom " << name;
    return nullptr;
  }
  static std::vector<std::string> names(const VELMO_BBIC_KEEP_SET& k) {
    std::vector<std::string> out;
    for (VOK_ATOM_NODE* a : k.nodes()) out.push_back(a->get_string_hpath());
    return out;
  }
  static std::vector<std::string> lines_starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : host::debug::texts())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  BOX_BUILDER box{nullptr};
  JOV_PARTITION* top = nullptr;
  JOV_PARTITION* p = nullptr;
};

// ---------------------------------------------------------------- seeding

TEST_F(KeepSetTest, RegisterToRegisterStopsAtTheLastRegister) {
  build_pipeline();
  // Without the hiding switch a port is walked whatever drives it outside.
  for (VOK_ATOM_ITERM* t : p->get_box()->iterms())
    if (VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL); s != nullptr && s->get_my_node() != nullptr)
      s->get_my_node()->set_modifiable(false);
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_determine_keep_set(p, netlist(p), k);
  // l2 lies between two registers: hidden.
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|clk", "P|i", "P|l1", "P|r1", "P|r2", "P|l3", "P|o"}));
  // Registers at the frontier are not counted; the clock port reaches only
  // global terminals.
  EXPECT_THAT(lines_starting("...."), ElementsAre(".... input port(P|i) led to 2 keep nodes",
                                                  ".... output port(P|o) led to 2 keep nodes"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("BBIC stats @ After Blackboxify: Netlist (P) atoms(5) ==> KEEPING (4 = 80.00%)"));
}

TEST_F(KeepSetTest, BypassedFlipFlopIsWalkedThrough) {
  build_pipeline();
  atom(p, "P|r2")->set_parameter(VOK_PARAMETER_TYPE::BOOL, 5, 1);
  VELMO_BBIC_KEEP_SET k;
  // o, l3, r2, then r2's drivers of every kind: the clock port and l2.
  EXPECT_EQ(velmo_bbic_undelete_fanins_up_to_registers(atom(p, "P|o"), k), 5);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|o", "P|l3", "P|r2", "P|clk", "P|l2", "P|r1"}));
}

TEST_F(KeepSetTest, ForwardWalksSkipGlobalFanoutsBackwardWalksFollowThem) {
  build_pipeline();
  // l1 also drives r2's clock enable as a global signal.
  VOK_ATOM_ITERM* ena = atom(p, "P|r2")->add_input_term(DB_INPUT_PORT_ENA, 0);
  vok_connect(atom(p, "P|l1")->get_oterm_slot(0), ena);
  ena->set_connection_code(5);
  VELMO_BBIC_KEEP_SET fwd;
  velmo_bbic_undelete_fanouts_up_to_registers(atom(p, "P|l1"), fwd);
  EXPECT_THAT(names(fwd), UnorderedElementsAreArray({"P|l1", "P|r1"}));
  VELMO_BBIC_KEEP_SET back;
  velmo_bbic_undelete_fanins_up_to_registers(atom(p, "P|l3"), back);
  EXPECT_THAT(names(back), UnorderedElementsAreArray({"P|l3", "P|r2"}));
  VELMO_BBIC_KEEP_SET from_r2;
  // r2, its clock port, l2 (r1 stops it), l1 over the global enable and l1's port.
  EXPECT_EQ(velmo_bbic_undelete_fanins_up_to_registers(atom(p, "P|r2"), from_r2), 5);
  EXPECT_TRUE(from_r2.contains(atom(p, "P|l1")));
}

// A MAC ends the walks as a register does, from either side; the DSP switch
// (off by default) keeps every MAC of a blackboxed partition.
TEST_F(KeepSetTest, AMacStopsTheWalksAndTheDspSwitchKeepsIt) {
  NETLIST_BUILDER n = host::testing::netlist();
  box = n.blackbox("P", [](NETLIST_BUILDER& c) {
    auto l1 = c.lut("l1", {c.input("i")}, pass);
    auto m = c.mac("m").mode(2).data(DB_MAC_DATA_AX, {l1}, false, 1).outputs(DB_OUTPUT_PORT_DATA, 1);
    c.output("o", c.lut("l3", {m.out(DB_OUTPUT_PORT_DATA, 0)}, pass));
  });
  box.in("i", n.io_in("d"));
  n.io_out("q", box.out("o"));
  top = host::testing::top_partition().preserved();
  p = host::testing::partition("P", box).preserved();
  VELMO_BBIC_KEEP_SET back;
  velmo_bbic_undelete_fanins_up_to_registers(atom(p, "P|o"), back);
  EXPECT_THAT(names(back), UnorderedElementsAreArray({"P|o", "P|l3", "P|m"}));
  VELMO_BBIC_KEEP_SET fwd;
  velmo_bbic_undelete_fanouts_up_to_registers(atom(p, "P|l1"), fwd);
  EXPECT_THAT(names(fwd), UnorderedElementsAreArray({"P|l1", "P|m"}));
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(p);
  p->set_clock_routing(true);
  for (bool keep_dsp : {false, true}) {
    if (keep_dsp) cfg_set_on("jov_bbic_keep_dsp");
    VELMO_BBIC_KEEP_SET k;
    VELMO_BBIC_KEEP_SET_TABLE table{nullptr, &k};
    velmo_bbic_add_required_nodes_to_keep_set(bb, table);
    EXPECT_EQ(k.contains(atom(p, "P|m")), keep_dsp);
    EXPECT_FALSE(k.contains(atom(p, "P|l1")));
  }
}

TEST_F(KeepSetTest, ChildBoxesAreWalkedBothWays) {
  // The statistics switch is read once per process.
  if (!host::testing::in_own_process()) return;
  NETLIST_BUILDER n = host::testing::netlist();
  auto outer = n.blackbox("P", [](NETLIST_BUILDER& c) {
    auto a = c.lut("a", {c.input("i")}, pass);
    auto child = c.blackbox("C", [](NETLIST_BUILDER& cc) { cc.output("y", cc.lut("inner", {cc.input("x")}, pass)); });
    child.in("x", c.lut("before", {a}, pass));
    c.reg("after").d(c.lut("post", {child.out("y")}, pass));
  });
  outer.in("i", n.io_in("d"));
  host::testing::top_partition();
  p = host::testing::partition("P", outer);
  cfg_set_on("bbic_show_all_keep_node_stat");
  VELMO_BBIC_KEEP_SET k;
  velmo_get_all_nodes_to_boundary_registers(netlist(p), k);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|i", "P|a", "P|before", "P|C", "P|post", "P|after"}));
  EXPECT_EQ(lines_starting(".... output port(P|C)").size(), 2u);
}

TEST_F(KeepSetTest, HideSwitchLeavesPortsToPreservedLogicUnwalked) {
  // The hiding switch is read once per process.
  if (!host::testing::in_own_process()) return;
  build_pipeline();
  // P's input, seen from outside P.
  VOK_ATOM_ITERM* outer_i = nullptr;
  for (VOK_ATOM_ITERM* t : p->get_box()->iterms())
    if (vok_hier_get_equivalent_oterm(t)->get_my_node()->get_string_hpath() == "P|i") outer_i = t;
  ASSERT_NE(outer_i, nullptr);
  // P's output feeds only the output buffer, which is modifiable.
  cfg_set_on("bbic_hide_logic_to_preserved_partition");
  // While that driver is modifiable the input is walked.
  VOK_ATOM_NODE* driver = outer_i->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node();
  driver->set_modifiable(true);
  {
    VELMO_BBIC_KEEP_SET k;
    velmo_get_all_nodes_to_boundary_registers(netlist(p), k);
    EXPECT_TRUE(k.contains(atom(p, "P|l1")));
  }
  driver->set_modifiable(false);
  VELMO_BBIC_KEEP_SET k;
  velmo_get_all_nodes_to_boundary_registers(netlist(p), k);
  // Once it is not, the input is left unwalked.
  EXPECT_FALSE(k.contains(atom(p, "P|i")));
  EXPECT_FALSE(k.contains(atom(p, "P|l1")));
  EXPECT_TRUE(k.contains(atom(p, "P|l3")));
  // Tied to ground outside (a driver that is no atom): unwalked as well.
  vok_connect(outer_i->get_my_node()->get_parent_netlist()->get_ground_oterm(), outer_i);
  VELMO_BBIC_KEEP_SET grounded;
  velmo_get_all_nodes_to_boundary_registers(netlist(p), grounded);
  EXPECT_FALSE(grounded.contains(atom(p, "P|l1")));
  EXPECT_TRUE(grounded.contains(atom(p, "P|l3")));
}

TEST_F(KeepSetTest, BoundaryNodeStrategyKeepsTheFirstAtomsOnly) {
  build_pipeline();
  cfg_set_on("bbic_keep_to_boundary_node");
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_determine_keep_set(p, netlist(p), k);
  // The clock port's fanouts are global: only the port itself.
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|clk", "P|i", "P|l1", "P|o", "P|l3"}));
  EXPECT_EQ(lines_starting("BBIC stats @ After keeping up to first node at the output").size(), 1u);
}

// Pins are no ports: the boundary-node strategy seeds from the netlist's
// port atoms only, never from an input or output pad.
TEST_F(KeepSetTest, BoundaryNodeStrategySeedsFromPortsNotPads) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto a = n.lut("a", {n.input_port("tp")}, pass);
  n.output_port("op", a);
  auto b = n.lut("b", {n.io_in("pin")}, pass);
  n.io_out("q", n.lut("c", {b}, pass));
  VELMO_BBIC_KEEP_SET k;
  velmo_get_all_nodes_to_boundary_nodes(n.get_netlist(), k);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"tp", "a", "op"}));
}

TEST_F(KeepSetTest, BothStrategiesOffKeepExactlyThePorts) {
  build_pipeline();
  cfg_set_off("bbic_keep_to_boundary_reg");
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_determine_keep_set(p, netlist(p), k);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|clk", "P|i", "P|o"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine(".. BBIC to only remove all nodes in netlist (except bp of course)"));
}

TEST_F(KeepSetTest, MustKeepAtLeastOneFanout) {
  build_pipeline();
  VOK_ATOM_OTERM* r1 = atom(p, "P|r1")->get_oterm_slot(0);
  VOK_ATOM_NODE* extra = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  netlist(p)->set_modifiable(true);
  netlist(p)->add_node(extra);
  vok_connect(r1, extra->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0));
  // A box among the sinks, newer than every atom, is never the one kept.
  VOK_ATOM_NODE* sink_box = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::BLACKBOX);
  netlist(p)->add_node(sink_box);
  vok_connect(r1, sink_box->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0));
  ASSERT_TRUE(sink_box->is_box());
  ASSERT_GT(sink_box->get_id(), extra->get_id());
  VELMO_BBIC_KEEP_SET k;
  EXPECT_TRUE(velmo_bbic_must_keep_at_least_one_fanout(r1, k));
  EXPECT_TRUE(k.contains(extra));  // the highest id wins
  EXPECT_FALSE(k.contains(sink_box));
  EXPECT_FALSE(velmo_bbic_must_keep_at_least_one_fanout(r1, k));
  EXPECT_EQ(k.size(), 1u);
  // Only a port behind the output: nothing.
  VELMO_BBIC_KEEP_SET k2;
  EXPECT_FALSE(velmo_bbic_must_keep_at_least_one_fanout(atom(p, "P|l3")->get_oterm_slot(0), k2));
  EXPECT_TRUE(k2.empty());
}

TEST_F(KeepSetTest, LongCombinationalPathIsWalkedWithoutRecursion) {
  NETLIST_BUILDER n = host::testing::netlist();
  SIG s = n.io_in("d");
  for (int i = 0; i < 100000; ++i) s = n.lut("c" + std::to_string(i), {s}, pass);
  VOK_ATOM_NODE* last = s.oterm->get_my_node();
  VELMO_BBIC_KEEP_SET k;
  EXPECT_EQ(velmo_bbic_undelete_fanins_up_to_registers(last, k), 100002);  // chain, ibuf, pad
}

// ---------------------------------------------------------------- required atoms

TEST_F(KeepSetTest, TopKeepsPortsPeripheryAndEmifIp) {
  NETLIST_BUILDER n = host::testing::netlist();
  n.input_port("tp");
  n.io_in("pin");
  auto tc = n.atom(VOK_ATOM_KIND::TILE_CTRL, "emif0|tc");
  auto ip_lut = n.lut("emif0|glue", {n.io_in("x")}, pass);
  auto other = n.lut("emif1|glue", {n.io_in("y")}, pass);
  // An IP none of whose atoms is a tile control or marked as EMIF.
  auto unmarked = n.lut("emif2|glue", {other}, pass);
  auto plain = n.lut("logic", {tc}, pass);
  auto marked = n.lut("emif1|mark", {plain}, pass);
  host::omz::add_ip("emif0", "emif");
  host::omz::add_ip("emif1", "emif");
  host::omz::add_ip("emif2", "emif");
  JOV_PARTITION* t = host::testing::top_partition().preserved();
  // Metadata marks an atom of the second IP.
  R5T_INTERFACE::get_instance()->set_atom_metadata(marked->get_id(), PELK::intern(4, "SR_CLOUD"), PELK::intern(4, "EMIF"));
  t->get_state()->get_kiv_state()->add_model(new R5T_KIV_MODEL(R5T_INTERFACE::get_instance()));
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(t);
  VELMO_BBIC_KEEP_SET k;
  VELMO_BBIC_KEEP_SET_TABLE table{&k};
  velmo_bbic_add_required_nodes_to_keep_set(bb, table);
  EXPECT_TRUE(k.contains(n.find("tp")));
  EXPECT_TRUE(k.contains(n.find("pin")));
  EXPECT_TRUE(k.contains(tc));
  EXPECT_TRUE(k.contains(ip_lut));
  EXPECT_TRUE(k.contains(other));
  EXPECT_FALSE(k.contains(plain));
  EXPECT_FALSE(k.contains(unmarked));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Added 4 EMIF atoms"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Added 7 peripheral atoms"));
}

TEST_F(KeepSetTest, GlobalInputsFollowTheClockRoutingFlag) {
  build_pipeline();
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(p);
  VELMO_BBIC_KEEP_SET k;
  VELMO_BBIC_KEEP_SET_TABLE table{nullptr, &k};
  p->set_clock_routing(true);
  velmo_bbic_add_required_nodes_to_keep_set(bb, table);
  EXPECT_TRUE(k.empty());
  p->set_clock_routing(false);
  velmo_bbic_add_required_nodes_to_keep_set(bb, table);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|r1", "P|r2"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("BBIC: Added 2 atoms with global iterms for partition P"));
  // The top partition has clock routing whatever its flag says; below it a
  // partition has it when it or an ancestor short of the top has the flag.
  JOV_PARTITION* top = p->get_parent();
  ASSERT_NE(top, nullptr);
  top->set_clock_routing(false);
  EXPECT_TRUE(velmo_bbic_partition_has_clock_routing(top));
  EXPECT_FALSE(velmo_bbic_partition_has_clock_routing(p));
  p->set_clock_routing(true);
  EXPECT_TRUE(velmo_bbic_partition_has_clock_routing(p));
}

TEST_F(KeepSetTest, KeepRegisterSwitchMeansNoClockRoutingAnywhere) {
  // The keep-register switch is read once per process, at the first question.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("jov_bbic_keep_reg");
  build_pipeline();
  p->set_clock_routing(true);
  EXPECT_FALSE(velmo_bbic_partition_has_clock_routing(top));
  EXPECT_FALSE(velmo_bbic_partition_has_clock_routing(p));
}

TEST_F(KeepSetTest, KeptNestedPartitionKeepsItsAncestorsBoxes) {
  auto s = host::testing::scenes::partitioned();
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(s.a);
  bb.insert(s.c);
  VELMO_BBIC_KEEP_SET ka, kc;
  VELMO_BBIC_KEEP_SET_TABLE table{nullptr, &ka, nullptr, &kc};
  s.c->set_clock_routing(true);
  s.a->set_clock_routing(true);
  kc.insert(atom(s.c, "A|C|c1"));
  velmo_bbic_add_required_nodes_to_keep_set(bb, table);
  EXPECT_TRUE(ka.contains(s.c->get_box()));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("KEEP partition C - cannot be completely removed due to 1 required nodes"));
  // C's own flag is off: its parent's clock routing (short of the top) counts.
  s.c->set_clock_routing(false);
  EXPECT_TRUE(velmo_bbic_partition_has_clock_routing(s.c));
  s.a->set_clock_routing(false);
  EXPECT_FALSE(velmo_bbic_partition_has_clock_routing(s.c));
  // The parent's table entry missing is an internal error.
  VELMO_BBIC_KEEP_SET_TABLE broken{nullptr, nullptr, nullptr, &kc};
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_add_required_nodes_to_keep_set(bb, broken); });
  EXPECT_EQ(e.condition, "keep_sets[tmp_partition->get_parent()->get_id()] != nullptr");
}

TEST_F(KeepSetTest, GlobalDriversOfVisibleAtomsStayThroughWireLuts) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto box = n.blackbox("P", [](NETLIST_BUILDER& c) {
    auto drv = c.reg("drv").d(c.input("i"));
    auto wire = c.lut("wire", {drv}, pass);
    c.output("clk_out", wire);
  });
  box.in("i", n.io_in("d"));
  auto sink = n.reg("sink").clk(box.out("clk_out"));
  host::testing::top_partition();
  p = host::testing::partition("P", box);
  sink->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  VOK_ATOM_NODE* wire = atom(p, "P|wire");
  wire->get_lutmask().set_value(6, ~VOK_LUTMASK::imask(6, 0));  // a pass-through
  R5T_INTERFACE::get_instance()->set_atom_metadata(wire->get_id(), PELK::intern(4, "USE_WIRELUT"), PELK::intern(4, "ROUTING"));
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(p);
  VELMO_BBIC_KEEP_SET k;
  VELMO_BBIC_KEEP_SET_TABLE table{nullptr, &k};
  p->set_clock_routing(true);
  velmo_bbic_add_required_nodes_to_keep_set(bb, table);
  EXPECT_THAT(names(k), UnorderedElementsAreArray({"P|wire", "P|drv"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Added 2 global drivers"));
}

TEST_F(KeepSetTest, StatisticsOfAnEmptyNetlistAreFull) {
  VOK_ATOM_NETLIST empty;
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_dump_stats(&empty, k, "x");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("BBIC stats @ x: Netlist (|) atoms(0) ==> KEEPING (0 = 100.00%)"));
}

}  // namespace
