// The kept routing's dangling leaves take the chain that led only to them,
// an element the die does not know counts as dangling, and the upward
// eraser finds a pipeline register's earlier siblings wherever its nodes
// are numbered.
#include <memory>
#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_placer.h"
#include "velmo_bbic_shell_routing.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;
using host::testing::h;
using host::testing::lab_input;
using host::testing::v;

namespace {

VOK_RE_ROUTING& chip_routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }

// The nested partitioned scene placed and routed; A keeps its ports and a1.
class DanglingRoutingTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = host::testing::scenes::partitioned();
    ASSERT_TRUE(host::placement::place());
    std::string why;
    ASSERT_TRUE(host::router::route_design(&why)) << why;
    chip_routing().attach_atom_netlist(velmo_bbic_get_design_netlist(), VOK_TRAVERSE_HIERARCHICAL);
    for (VOK_ATOM_NODE* x : s.a->get_state()->get_atom_netlist()->get_atom_list())
      if (x->is_port() || x->get_string_hpath() == "A|a1") keep_a.insert(x);
    table.assign(4, nullptr);
    table[static_cast<std::size_t>(s.a->get_id())] = &keep_a;
    ri = velmo_bbic_get_route_info();
    for (VOK_ATOM_NODE* x : velmo_bbic_get_design_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
      if (x->get_string_hpath() == "r1") r1_root = chip_routing().get_source_node(x->get_oterm_slot(0));
    ASSERT_NE(r1_root, -1);
  }
  // Elements of that kind no routing node uses yet.
  std::vector<unsigned> unused(int kind) const {
    const VOK_RE_ROUTING& r = chip_routing();
    std::vector<unsigned> out;
    for (unsigned g : ri->gids(kind)) {
      bool used = false;
      for (int id = 0; id < r.forest().num_slots() && !used; ++id)
        used = r.is_live(id) && r.is_wire(id) && r.get_gid(id) == g;
      if (!used) out.push_back(g);
    }
    return out;
  }
  int hang(int parent, unsigned gid) { return chip_routing().append_child_value(parent, static_cast<std::int32_t>(gid)); }
  static bool in(const VELMO_BBIC_KEPT_ROUTING& kept, unsigned gid) { return !kept.find(gid).is_end(); }

  host::testing::scenes::PARTITIONED s{};
  VELMO_BBIC_KEEP_SET keep_a;
  VELMO_BBIC_KEEP_SET_TABLE table;
  const WUMP_ROUTE_INFO* ri = nullptr;
  int r1_root = -1;
};

TEST_F(DanglingRoutingTest, ADanglingLeafTakesTheChainThatLedOnlyToIt) {
  const std::vector<unsigned> wires = unused(700);
  const std::vector<unsigned> clocks = unused(318);
  ASSERT_GE(wires.size(), 6u);
  ASSERT_FALSE(clocks.empty());
  // r1's visible net gets three wires in a row ending nowhere, and a wire
  // ending nowhere below a global clock element.
  const int c1 = hang(r1_root, wires[0]);
  hang(hang(c1, wires[1]), wires[2]);
  const int clock = hang(r1_root, clocks[0]);
  hang(clock, wires[3]);
  // A branch that also serves a kind that never dangles keeps its stem.
  const int stem = hang(r1_root, wires[4]);
  const std::vector<unsigned> muxes = unused(282);
  ASSERT_FALSE(muxes.empty());
  hang(stem, muxes[0]);
  hang(stem, wires[5]);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(in(kept, wires[static_cast<std::size_t>(i)])) << i;
  EXPECT_TRUE(in(kept, clocks[0]));
  EXPECT_TRUE(in(kept, wires[4]));
  EXPECT_TRUE(in(kept, muxes[0]));
  // The visible net itself is untouched.
  unsigned r1_kept = 0;
  for (int c = chip_routing().forest().first_child(r1_root); c != -1; c = chip_routing().forest().next_sibling(c))
    if (chip_routing().is_wire(c)) r1_kept += in(kept, chip_routing().get_gid(c));
  EXPECT_GE(r1_kept, 3u);
}

TEST_F(DanglingRoutingTest, ALeafTheDieDoesNotKnowIsDangling) {
  const unsigned unknown = 0x80000000u | (ri->get_num_elements() + 5);
  ASSERT_EQ(ri->get_element_by_gid(unknown), nullptr);
  const std::vector<unsigned> wires = unused(700);
  ASSERT_FALSE(wires.empty());
  // Alone under the root, and at the end of a wire that serves nothing else.
  hang(r1_root, unknown);
  hang(hang(r1_root, wires[0]), unknown + 1);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  EXPECT_FALSE(in(kept, unknown));
  EXPECT_FALSE(in(kept, unknown + 1));
  EXPECT_FALSE(in(kept, wires[0]));
  EXPECT_FALSE(kept.empty());
}

// A tree may end at a global clock tap, a port or a mux: such a leaf is
// kept, with the wires that lead to it; a wire leaf beside them goes.
TEST_F(DanglingRoutingTest, ClockTapPortAndMuxLeavesAreKeptWithTheirStems) {
  const std::vector<unsigned> wires = unused(700);
  ASSERT_GE(wires.size(), 4u);
  std::vector<unsigned> leaves;
  for (const int kind : {318, 659, 282}) {
    const std::vector<unsigned> free = unused(kind);
    ASSERT_FALSE(free.empty()) << kind;
    leaves.push_back(free.back());
  }
  for (std::size_t i = 0; i < leaves.size(); ++i) hang(hang(r1_root, wires[i]), leaves[i]);
  hang(r1_root, wires[3]);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    EXPECT_TRUE(in(kept, leaves[i])) << i;
    EXPECT_TRUE(in(kept, wires[i])) << i;
  }
  EXPECT_FALSE(in(kept, wires[3]));
}

// A source register feeding three registers, on the chip's routing.
class PairNumberingTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    n = std::make_unique<NETLIST_BUILDER>(host::testing::netlist());
    auto clk = n->io_in("clk");
    src = n->reg("src").clk(clk).d(n->io_in("i"));
    for (const char* name : {"a", "b"}) sinks.push_back(n->reg(name).clk(clk).d(src).iterm(DB_INPUT_PORT_DATA_IN));
    stop = velmo_bbic_stop_fn(velmo_bbic_get_route_info());
  }
  void erase_sink(int i) {
    VOK_RE_ROUTING& r = chip_routing();
    const int node = r.get_sink_nodes(sinks[static_cast<std::size_t>(i)]).at(0);
    VOK_RE_ROUTING_MODIFIER m(r, "test", false, false);
    m.set_erase_at_once(true);
    erase_from_vok_re_routing_with_stop_fn(node, r, m, stop);
  }
  std::unique_ptr<NETLIST_BUILDER> n;
  host::testing::ATOM_HANDLE src{nullptr};
  std::vector<VOK_ATOM_ITERM*> sinks;
  VELMO_BBIC_STOP_FN stop;
};

TEST_F(PairNumberingTest, AQSideNumberedFirstStillSeesTheBranchBeforeItsDSide) {
  // src -> w1 -> {h(2,1) -> b, D}; Q -> v(1,2) -> a. The Q side is the
  // routing's very first node.
  for (bool q_first : {false, true}) {
    SCOPED_TRACE(q_first);
    VOK_RE_ROUTING& r = chip_routing();
    r.clear();
    const auto slot = static_cast<std::int32_t>(host::testing::gid_of(lab_input(1, 2, 60)));
    int q = q_first ? r.new_root(slot) : -1;
    if (q_first) ASSERT_EQ(q, 0);
    auto rt = host::testing::routing();
    int w1 = -1, q_child = -1;
    rt.routing(src).wire(h(1, 1)).mark(w1).branch([&](auto& b) { b.wire(h(2, 1)).sink(sinks[1]); });
    const int d = r.append_child_value(w1, slot);
    if (!q_first) q = r.new_root(slot);
    r.set_zota_pair(d, q);
    rt.routing(src).at(q).wire(v(1, 2)).mark(q_child).sink(sinks[0]);
    rt.attach();
    erase_sink(0);
    EXPECT_FALSE(r.is_live(q_child));
    EXPECT_TRUE(r.is_live(w1));
    EXPECT_EQ(r.get_sink_nodes(sinks[1]).size(), 1u);
    // The last sink then takes the whole tree.
    erase_sink(1);
    EXPECT_FALSE(r.is_live(w1));
  }
}

}  // namespace
