// Keep sets, more of their rules: each atom walked once, terminals without a
// driver atom, output ports that face only preserved logic, the once-only
// workaround notice, and which global inputs the top partition keeps.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;
using ::testing::UnorderedElementsAreArray;

namespace {

bool first(const LUT_INPUTS& x) { return x[0]; }

class KeepSetRulesTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
  }
  static VOK_ATOM_NODE* atom(JOV_PARTITION* part, const std::string& name) {
    for (VOK_ATOM_NODE* a : part->get_state()->get_atom_netlist()->get_atom_list())
      if (a->get_string_hpath() == name) return a;
    ADD_FAILURE() << "no atom " << name;
    return nullptr;
  }
  static std::vector<std::string> names(const VELMO_BBIC_KEEP_SET& k) {
    std::vector<std::string> out;
    for (VOK_ATOM_NODE* a : k.nodes()) out.push_back(a->get_string_hpath());
    return out;
  }
  static int count_lines(const std::string& text) {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l.find(text) != std::string::npos;
    return n;
  }
};

// A diamond (x feeds a and b, both feed g) with one input of g tied to
// ground: each walk counts an atom once, however many paths reach it, and
// an atom already kept before the walk is neither walked nor counted.
TEST_F(KeepSetRulesTest, WalksCountEachAtomOnceAndStopAtGround) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto x = n.lut("x", {n.io_in("d")}, first);
  auto a = n.lut("a", {x}, first);
  auto b = n.lut("b", {x}, first);
  auto g = n.lut("g", {a, b, SIG(n.get_netlist()->get_ground_oterm())}, first);
  n.reg("r").d(g);
  {
    VELMO_BBIC_KEEP_SET k;
    // g, a, x, x's input buffer and pad, b.
    EXPECT_EQ(velmo_bbic_undelete_fanins_up_to_registers(g.atom(), k), 6);
    EXPECT_THAT(names(k), UnorderedElementsAreArray({"g", "a", "b", "x", "d~ibuf", "d"}));
  }
  {
    VELMO_BBIC_KEEP_SET k;
    // x, a, g, b; the register ends the walk uncounted.
    EXPECT_EQ(velmo_bbic_undelete_fanouts_up_to_registers(x.atom(), k), 4);
    EXPECT_THAT(names(k), UnorderedElementsAreArray({"x", "a", "b", "g", "r"}));
  }
  {
    VELMO_BBIC_KEEP_SET k;
    k.insert(b.atom());
    EXPECT_EQ(velmo_bbic_undelete_fanins_up_to_registers(g.atom(), k), 5);
    EXPECT_EQ(k.size(), 6u);
  }
}

// With the hiding switch on, an output port is walked only while its value
// reaches modifiable logic outside the partition; an unused output never.
TEST_F(KeepSetRulesTest, HideSwitchLeavesOutputsToPreservedLogicUnwalked) {
  // The hiding switch is read once per process.
  if (!host::testing::in_own_process()) return;
  NETLIST_BUILDER n = host::testing::netlist();
  auto box = n.blackbox("P", [](NETLIST_BUILDER& c) {
    auto r = c.reg("r").d(c.lut("l1", {c.input("i")}, first));
    c.output("o", c.lut("l2", {r}, first));
    c.output("unused", c.lut("l3", {r}, first));
  });
  auto src = n.io_in("d");
  box.in("i", src);
  n.io_out("q", box.out("o"));
  host::testing::top_partition();
  JOV_PARTITION* p = host::testing::partition("P", box).preserved();
  src.atom()->set_modifiable(true);
  VOK_ATOM_NODE* sink = n.find("q~obuf");
  ASSERT_NE(sink, nullptr);
  cfg_set_on("bbic_hide_logic_to_preserved_partition");
  for (bool modifiable : {true, false}) {
    sink->set_modifiable(modifiable);
    VELMO_BBIC_KEEP_SET k;
    velmo_get_all_nodes_to_boundary_registers(p->get_state()->get_atom_netlist(), k);
    EXPECT_EQ(k.contains(atom(p, "P|o")), modifiable);
    EXPECT_EQ(k.contains(atom(p, "P|l2")), modifiable);
    EXPECT_FALSE(k.contains(atom(p, "P|unused")));
    EXPECT_FALSE(k.contains(atom(p, "P|l3")));
    // The input side does not depend on the output's sink.
    EXPECT_TRUE(k.contains(atom(p, "P|l1")));
  }
}

// The workaround notice of the keep-set seeding is announced once per
// process, with its tracking case, however many partitions are seeded.
TEST_F(KeepSetRulesTest, SeedingAnnouncesItsWorkaroundOnce) {
  if (!host::testing::in_own_process()) return;
  auto s = host::testing::scenes::partitioned();
  for (JOV_PARTITION* p : {s.a, s.b}) {
    VELMO_BBIC_KEEP_SET k;
    velmo_bbic_determine_keep_set(p, p->get_state()->get_atom_netlist(), k);
  }
  EXPECT_EQ(count_lines("****** HACK WARNING ******"), 1);
  EXPECT_EQ(count_lines("is tracked by case 476317"), 1);
  EXPECT_EQ(count_lines("Description: Employ keep_to_boundary_reg + all_reg strategy if in conventional ITC design."), 1);
}

// The top partition keeps its atoms with global inputs when its own switch
// is on; that switch leaves other partitions alone. Global drivers of
// visible atoms: a global input with no driver at all has none to keep.
TEST_F(KeepSetRulesTest, TopGlobalsSwitchKeepsOnlyTheTopsGlobalInputs) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto box = n.blackbox("P", [](NETLIST_BUILDER& c) { c.output("o", c.reg("pr").clk(c.input("c")).d(c.input("i"))); });
  box.in("c", clk).in("i", n.io_in("d"));
  auto tr = n.reg("tr").clk(clk).d(box.out("o"));
  n.io_out("q", tr);
  JOV_PARTITION* top = host::testing::top_partition().preserved();
  JOV_PARTITION* p = host::testing::partition("P", box).preserved();
  VOK_ATOM_NODE* pr = atom(p, "P|pr");
  tr->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  pr->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  // An enable on global routing that nothing drives.
  tr->add_input_term(DB_INPUT_PORT_ENA, 0)->set_connection_code(5);
  top->set_clock_routing(true);
  p->set_clock_routing(true);
  VELMO_BBIC_PARTITION_SET bb;
  bb.insert(top);
  bb.insert(p);
  for (const char* on : {"", "velmo_bbic_include_top_globals", "velmo_bbic_include_globals"}) {
    if (*on != '\0') cfg_set_on(on);
    VELMO_BBIC_KEEP_SET kt, kp;
    VELMO_BBIC_KEEP_SET_TABLE table{&kt, &kp};
    velmo_bbic_add_required_nodes_to_keep_set(bb, table);
    const std::string which = on;
    EXPECT_EQ(kt.contains(tr.atom()), !which.empty()) << which;
    EXPECT_EQ(kp.contains(pr), which == "velmo_bbic_include_globals") << which;
  }
}

}  // namespace
