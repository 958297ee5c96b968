// Partitions of the stand-in: states and their boxes, walks across boxes,
// read-only status, and the split of routing into partition shares that
// merge back into the whole.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "korrin/korrin_router.h"
#include "kiv/kiv_model.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"

using host::testing::Family;
using host::testing::HostTest;
namespace scenes = host::testing::scenes;

namespace {

class PartitionTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = scenes::partitioned();
  }
  scenes::PARTITIONED s{};
};

VOK_ATOM_NODE* find_atom(JOV_PARTITION* p, const std::string& name) {
  for (VOK_ATOM_NODE* a : p->get_state()->get_atom_netlist()->get_atom_list())
    if (a->get_string_hpath() == name) return a;
  return nullptr;
}

std::vector<std::string> names(VOK_ATOM_NETLIST* n, VOK_TRAVERSE mode) {
  std::vector<std::string> out;
  for (VOK_ATOM_NODE* a : n->nodes(mode)) out.push_back(a->get_string_hpath());
  return out;
}


}  // namespace

TEST_F(PartitionTest, TreeOfPartitionsSharesNamesWithBoxes) {
  EXPECT_EQ(s.top->get_parent(), nullptr);
  EXPECT_TRUE(s.top->is_top());
  EXPECT_FALSE(s.a->is_nested());
  EXPECT_TRUE(s.c->is_nested());
  EXPECT_EQ(s.c->get_parent(), s.a);
  EXPECT_EQ(s.top->get_children(), (std::vector<JOV_PARTITION*>{s.a, s.b}));
  EXPECT_EQ(s.a->get_children(), (std::vector<JOV_PARTITION*>{s.c}));
  EXPECT_EQ(s.a->get_box()->get_instance_name(), s.a->get_instance_name());
  EXPECT_EQ(s.a->get_state()->get_atom_netlist()->get_parent_box(), s.a->get_box());
  EXPECT_EQ(JOV_ROOT::get()->get_design("")->get_top_partition(), s.top);
}

TEST_F(PartitionTest, WalksStayLocalOrDescendIntoBoxes) {
  VOK_ATOM_NETLIST* a = s.a->get_state()->get_atom_netlist();
  const auto local = names(a, VOK_TRAVERSE_AS_STORED);
  EXPECT_NE(std::find(local.begin(), local.end(), "A|C"), local.end());
  EXPECT_EQ(std::find(local.begin(), local.end(), "A|C|c1"), local.end());
  EXPECT_EQ(names(a, static_cast<VOK_TRAVERSE>(2)), local);
  const auto deep = names(a, VOK_TRAVERSE_HIERARCHICAL);
  EXPECT_EQ(std::find(deep.begin(), deep.end(), "A|C"), deep.end());
  EXPECT_NE(std::find(deep.begin(), deep.end(), "A|C|c1"), deep.end());
  // Ids run on within each partition netlist.
  std::vector<int> ids;
  for (VOK_ATOM_NODE* n : s.c->get_state()->get_atom_netlist()->get_atom_list()) ids.push_back(n->get_id());
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_EQ(ids[i], ids[i - 1] + 1);
  // A source seen through the boxes: C's register is fed by A's LUT.
  VOK_ATOM_NODE* c1 = find_atom(s.c, "A|C|c1");
  ASSERT_NE(c1, nullptr);
  const VOK_ATOM_OTERM* src = c1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL);
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(src->get_my_node()->get_string_hpath(), "A|la");
}

TEST_F(PartitionTest, ReadOnlyStatusThroughTheCompileState) {
  VOK_ATOM_NETLIST* b = s.b->get_state()->get_atom_netlist();
  ASSERT_TRUE(b->is_modifiable());
  JOV_UTILS::set_read_only_status(*s.b->get_state()->get_kiv_state(), true);
  EXPECT_FALSE(b->is_modifiable());
  JOV_UTILS::set_read_only_status(*s.b->get_state()->get_kiv_state(), false);
  EXPECT_TRUE(b->is_modifiable());
}

TEST_F(PartitionTest, ActiveStateDecidesWhatTheBoxShows) {
  EXPECT_EQ(s.a->get_active_state(), JOV_PARTITION::DEFAULT);
  EXPECT_TRUE(s.a->is_state_loaded());
  EXPECT_FALSE(s.a->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_EQ(s.a->get_state(JOV_PARTITION::BBIC_DEPOPULATED), nullptr);
  VOK_ATOM_NETLIST* full = s.a->get_state()->get_atom_netlist();
  // A shell with the same ports.
  auto* shell = new VOK_ATOM_NETLIST();
  for (VOK_ATOM_NODE* a : full->get_atom_list()) {
    if (!a->is_port()) continue;
    VOK_ATOM_NODE* p = VOK_ATOM_FACTORY::create_node(a->get_kind());
    p->set_name(a->get_string_hpath());
    if (a->is_input()) p->add_output_term(DB_OUTPUT_PORT_DATA, 0);
    else p->add_input_term(DB_INPUT_PORT_BOX, 0);
    shell->add_node(p);
  }
  JOV_STATE* st = s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  host::testing::set_state_netlist(s.a, st, shell, true);
  EXPECT_EQ(s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED), st);
  s.a->set_active_state(JOV_PARTITION::BBIC_DEPOPULATED);
  EXPECT_EQ(s.a->get_state(JOV_PARTITION::s_unspecified), st);
  EXPECT_EQ(s.a->get_box()->get_child_netlist(), shell);
  // The box's terminals lead to the shell's ports now.
  for (VOK_ATOM_ITERM* t : s.a->get_box()->iterms()) {
    ASSERT_NE(t->get_hier_equiv(), nullptr);
    EXPECT_EQ(t->get_hier_equiv()->get_my_node()->get_parent_netlist(), shell);
  }
  const int live = host::kiv::live_models();
  s.a->remove_state(JOV_PARTITION::BBIC_DEPOPULATED);
  EXPECT_EQ(host::kiv::live_models(), live - 1);
  EXPECT_EQ(s.a->get_active_state(), JOV_PARTITION::DEFAULT);
  EXPECT_EQ(s.a->get_box()->get_child_netlist(), full);
  for (VOK_ATOM_ITERM* t : s.a->get_box()->iterms())
    EXPECT_EQ(t->get_hier_equiv()->get_my_node()->get_parent_netlist(), full);
  // DEFAULT stays.
  s.a->remove_state(JOV_PARTITION::DEFAULT);
  EXPECT_TRUE(s.a->has_state(JOV_PARTITION::DEFAULT));
  // No active state: nothing is loaded, the state read is DEFAULT.
  s.a->clear_active_state();
  EXPECT_FALSE(s.a->is_state_loaded(JOV_PARTITION::s_unspecified));
  EXPECT_TRUE(s.a->is_state_loaded(JOV_PARTITION::DEFAULT));
  EXPECT_EQ(s.a->get_state(), s.a->get_state(JOV_PARTITION::DEFAULT));
}

TEST_F(PartitionTest, SharesOfARoutedDesignMergeBackIntoIt) {
  ASSERT_TRUE(host::placement::place());
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  const VOK_RE_ROUTING& whole = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  ASSERT_GT(whole.get_live_node_count(), 0);
  VOK_RE_ROUTING merged;
  int shared = 0;
  std::vector<std::string> seen;
  for (JOV_PARTITION* p : {s.top, s.a, s.b, s.c}) {
    auto share = JOV_ROUTING_SPLITTER::get_routing_for_partition(p);
    for (const auto& t : host::testing::routing_texts(*share)) {
      shared += std::find(seen.begin(), seen.end(), t.substr(0, t.find('('))) != seen.end();
      seen.push_back(t.substr(0, t.find('(')));
    }
    merged.merge_partition(*share);
  }
  EXPECT_GT(shared, 0) << "a net serving several partitions (the clock) is split";
  EXPECT_EQ(host::testing::routing_texts(merged), host::testing::routing_texts(whole));
  // Merging a share twice adds nothing.
  auto again = JOV_ROUTING_SPLITTER::get_routing_for_partition(s.a);
  const int before = merged.get_live_node_count();
  merged.merge_partition(*again);
  EXPECT_EQ(merged.get_live_node_count(), before);
}

TEST_F(PartitionTest, ShareKeepsOnlyPathsToThePartitionsSinks) {
  VOK_RE_ROUTING r;
  // A net from a top register to one sink in A and one in B, sharing a wire.
  VOK_ATOM_NODE* src = find_atom(s.top, "r0");
  VOK_ATOM_NODE* in_a = find_atom(s.a, "A|a1");
  VOK_ATOM_NODE* in_b = find_atom(s.b, "B|b1");
  ASSERT_TRUE(src && in_a && in_b);
  const int root = r.new_source(src->get_oterm_slot(0));
  const int shared = r.append_child_value(root, static_cast<std::int32_t>(0x80000010u));
  const int wa = r.append_child_value(shared, static_cast<std::int32_t>(0x80000011u));
  r.append_sink(wa, in_a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  const int wb = r.append_child_value(shared, static_cast<std::int32_t>(0x80000012u));
  r.append_sink(wb, in_b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  // A pipeline-register pair below A's wire continues to a dangling wire.
  const int d = r.append_child_value(wa, static_cast<std::int32_t>(0x80000013u));
  const int q = r.new_root(static_cast<std::int32_t>(0x80000013u));
  r.append_child_value(q, static_cast<std::int32_t>(0x80000014u));
  r.set_zota_pair(d, q, true);
  auto a = JOV_ROUTING_SPLITTER::get_routing_for_partition(r, s.a);
  auto b = JOV_ROUTING_SPLITTER::get_routing_for_partition(r, s.b);
  auto top = JOV_ROUTING_SPLITTER::get_routing_for_partition(r, s.top);
  EXPECT_EQ(a->get_live_node_count(), 4);  // source, shared, wire, sink; not the pair (its leaf is the top's)
  EXPECT_EQ(b->get_live_node_count(), 4);
  EXPECT_EQ(top->get_live_node_count(), 6);  // source, shared, wire, D, Q, dangling leaf
  VOK_RE_ROUTING merged;
  merged.merge_partition(*b);
  merged.merge_partition(*top);
  merged.merge_partition(*a);
  EXPECT_EQ(host::testing::routing_texts(merged), host::testing::routing_texts(r));
  EXPECT_EQ(merged.get_live_node_count(), r.get_live_node_count());
}

// The connections a tree routes, for comparing preserved routing: chains
// from a virtual source and branches that reach only virtual sinks route no
// connection and leave the text as it was; a dangling wire, a sink that
// lost its path or a path that changed still show.
TEST_F(PartitionTest, ConnectionsTextLeavesOutOnlyVirtualEnds) {
  VOK_ATOM_NODE* src = find_atom(s.top, "r0");
  VOK_ATOM_NODE* in_a = find_atom(s.a, "A|a1");
  VOK_ATOM_NODE* in_b = find_atom(s.b, "B|b1");
  ASSERT_TRUE(src && in_a && in_b);
  const std::int32_t kVirtual = VOK_RE_ROUTING::VIRTUAL_VALUE;
  const auto wire = [](unsigned gid) { return static_cast<std::int32_t>(0x80000000u | gid); };
  // r0 -> wire 0x10 -> a1, and per case what is added.
  auto text = [&](const std::function<void(VOK_RE_ROUTING&, int root, int w)>& add) {
    VOK_RE_ROUTING r;
    const int root = r.new_source(src->get_oterm_slot(0));
    const int w = r.append_child_value(root, wire(0x10));
    r.append_sink(w, in_a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    add(r, root, w);
    std::vector<std::string> trees;
    for (int t = r.forest().first_root(); t != -1; t = r.forest().next_sibling(t))
      if (std::string c = host::testing::connections_text(r, t); !c.empty()) trees.push_back(c);
    std::sort(trees.begin(), trees.end());
    return trees;
  };
  const auto plain = text([](VOK_RE_ROUTING&, int, int) {});
  ASSERT_EQ(plain.size(), 1u);
  VOK_RE_ROUTING alone;
  const int root = alone.new_source(src->get_oterm_slot(0));
  alone.append_sink(alone.append_child_value(root, wire(0x10)), in_a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_EQ(plain[0], host::testing::routing_text(alone, root));
  // Placeholders: a chain to a virtual sink below the source and below the
  // wire, and a tree from a virtual source to b1.
  EXPECT_EQ(text([&](VOK_RE_ROUTING& r, int root, int w) {
              r.append_child_value(r.append_child_value(r.append_child_value(root, wire(0x20)), wire(0x21)), kVirtual);
              r.append_child_value(w, kVirtual);
              const int v = r.new_root(kVirtual);
              r.append_sink(r.append_child_value(v, wire(0x30)), in_b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
            }),
            plain);
  // A source with nothing but a chain to a virtual sink routes nothing.
  VOK_RE_ROUTING stub;
  const int stub_root = stub.new_source(src->get_oterm_slot(0));
  stub.append_child_value(stub.append_child_value(stub_root, wire(0x20)), kVirtual);
  EXPECT_EQ(host::testing::connections_text(stub, stub_root), "");
  // Changes that show: a dangling wire, a second sink, a sink whose path
  // now ends in a virtual sink instead.
  EXPECT_NE(text([&](VOK_RE_ROUTING& r, int, int w) { r.append_child_value(w, wire(0x22)); }), plain);
  EXPECT_NE(text([&](VOK_RE_ROUTING& r, int root, int) {
              r.append_sink(r.append_child_value(root, wire(0x23)), in_b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
            }),
            plain);
  VOK_RE_ROUTING lost;
  const int lost_root = lost.new_source(src->get_oterm_slot(0));
  lost.append_child_value(lost.append_child_value(lost_root, wire(0x10)), kVirtual);
  EXPECT_EQ(host::testing::connections_text(lost, lost_root), "");
}
