// The routing a shell keeps: the upward eraser (branches, stop elements,
// pipeline-register pairs), the kept routing elements of a blackboxed
// design and the per-shell routing filter.
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/partition_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_placer.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_routing.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;
using host::testing::ZOTA_FORM;
using host::testing::h;
using host::testing::lab_input;
using host::testing::v;
namespace scenes = host::testing::scenes;

namespace {

constexpr VOK_RE_ROUTING_ZOTA_SKIP kSkip{};

int count_lines(const std::string& text) {
  int n = 0;
  for (const auto& l : host::debug::texts()) n += l == text;
  return n;
}

// ---- the eraser on hand-built trees -------------------------------------

class EraserTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    n = std::make_unique<NETLIST_BUILDER>(host::testing::netlist());
    auto clk = n->io_in("clk");
    src = n->reg("src").clk(clk).d(n->io_in("i"));
    for (const char* name : {"a", "b", "c"}) sinks.push_back(n->reg(name).clk(clk).d(src).iterm(DB_INPUT_PORT_DATA_IN));
    ri = host::device::die_info()->get_route_info();
    stop = velmo_bbic_stop_fn(ri);
  }
  VOK_RE_ROUTING& r() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
  void erase(int node) {
    VOK_RE_ROUTING_MODIFIER m(r(), "test", false, false);
    m.set_erase_at_once(true);
    erase_from_vok_re_routing_with_stop_fn(node, r(), m, stop);
  }
  int sink_node(int i) { return r().get_sink_nodes(sinks[static_cast<std::size_t>(i)]).at(0); }
  bool live(int id) { return r().is_live(id); }

  std::unique_ptr<NETLIST_BUILDER> n;
  host::testing::ATOM_HANDLE src{nullptr};
  std::vector<VOK_ATOM_ITERM*> sinks;
  const WUMP_ROUTE_INFO* ri = nullptr;
  VELMO_BBIC_STOP_FN stop;
};

TEST_F(EraserTest, SinglePathGoesWholeBranchLosesOnlyItsPart) {
  auto rt = host::testing::routing();
  int w1 = -1, w2 = -1, w3 = -1;
  rt.routing(src).wire(h(1, 1)).mark(w1).branch([&](auto& b) { b.wire(h(2, 1)).mark(w2).sink(sinks[0]); })
      .wire(v(1, 1)).mark(w3).sink(sinks[1]);
  rt.attach();
  const int root = r().get_source_node(src.atom()->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  const int before = r().get_change_counter();
  // The second sink's branch goes from the branching point down.
  erase(sink_node(1));
  EXPECT_TRUE(live(w1) && live(w2) && live(root));
  EXPECT_FALSE(live(w3));
  EXPECT_GT(r().get_change_counter(), before);
  EXPECT_TRUE(r().get_sink_nodes(sinks[1]).empty());  // the maps follow at once
  // The first sink is now on a single path: the whole tree goes.
  erase(sink_node(0));
  EXPECT_FALSE(live(root) || live(w1) || live(w2));
  EXPECT_EQ(r().get_live_node_count(), 0);
}

TEST_F(EraserTest, TwoSinksThroughOneModifierLeaveNoChain) {
  auto rt = host::testing::routing();
  rt.routing(src).wire(h(1, 1)).branch([&](auto& b) { b.wire(h(2, 1)).sink(sinks[0]); }).wire(v(1, 1)).sink(sinks[1]);
  rt.attach();
  {
    VOK_RE_ROUTING_MODIFIER m(r(), "test", false, false);
    m.set_erase_at_once(true);
    erase_iterm_from_vok_re_routing_with_stop_fn(sinks[0], r(), m, stop);
    erase_iterm_from_vok_re_routing_with_stop_fn(sinks[1], r(), m, stop);
    EXPECT_EQ(r().get_live_node_count(), 0);
  }
  EXPECT_EQ(r().get_live_node_count(), 0);
}

TEST_F(EraserTest, ClimbStopsBelowClockAndBlockPortElements) {
  for (int kind : {318, 659}) {
    r().clear();
    const unsigned special = ri->gids(kind).at(0);
    auto rt = host::testing::routing();
    int s = -1, w = -1;
    rt.routing(src).wire(h(1, 1)).wire_gid(special).mark(s).wire(v(1, 1)).mark(w).sink(sinks[0]);
    rt.attach();
    EXPECT_TRUE(velmo_bbic_is_stop_element(ri, special));
    erase(sink_node(0));
    EXPECT_TRUE(live(s)) << kind;
    EXPECT_FALSE(live(w)) << kind;
    EXPECT_EQ(r().get_num_children(s, kSkip), 0) << kind;
  }
  EXPECT_FALSE(velmo_bbic_is_stop_element(ri, ri->gids(282).at(0)));
  EXPECT_FALSE(velmo_bbic_is_stop_element(ri, 0x80000000u | (ri->get_num_elements() + 5)));
}

TEST_F(EraserTest, PipelineRegisterPairsAreClimbedThroughInBothForms) {
  for (ZOTA_FORM form : {ZOTA_FORM::SHORT, ZOTA_FORM::OVERFLOW}) {
    r().clear();
    auto rt = host::testing::routing();
    rt.routing(src).wire(h(1, 1)).zota(lab_input(1, 2, 60), form).wire(v(1, 2)).sink(sinks[0]);
    rt.attach();
    erase(sink_node(0));
    EXPECT_EQ(r().get_live_node_count(), 0);
  }
  // A pair whose link is lost cannot be looked through.
  r().clear();
  auto rt = host::testing::routing();
  int d = -1;
  rt.routing(src).wire(h(1, 1)).zota(lab_input(1, 2, 60), ZOTA_FORM::OVERFLOW).wire(v(1, 2)).sink(sinks[0]);
  rt.attach();
  for (int id = 0; id < r().forest().num_slots(); ++id)
    if (r().is_zota_node(id) && r().forest().parent(id) != -1) d = id;
  r().drop_zota_overflow_entry(d);
  EXPECT_THROW(erase(sink_node(0)), std::out_of_range);
}

TEST_F(EraserTest, EarlierSiblingsThroughPipelineRegisters) {
  // The Q side's first child has an earlier sibling when a plain node
  // stands before the D side.
  auto rt = host::testing::routing();
  int w1 = -1, q_child = -1;
  rt.routing(src).wire(h(1, 1)).mark(w1).branch([&](auto& b) { b.wire(h(2, 1)).sink(sinks[1]); })
      .zota(lab_input(1, 2, 60)).wire(v(1, 2)).mark(q_child).sink(sinks[0]);
  rt.attach();
  erase(sink_node(0));
  EXPECT_FALSE(live(q_child));
  EXPECT_TRUE(live(w1));
  EXPECT_EQ(r().get_sink_nodes(sinks[1]).size(), 1u);

  // A D side before the node counts when its Q side has children...
  r().clear();
  auto rt2 = host::testing::routing();
  int w3 = -1;
  rt2.routing(src).wire(h(1, 1)).mark(w1).branch([&](auto& b) { b.zota(lab_input(1, 2, 60)).wire(v(1, 2)).sink(sinks[0]); })
      .wire(h(3, 1)).mark(w3).sink(sinks[1]);
  rt2.attach();
  erase(sink_node(1));
  EXPECT_FALSE(live(w3));
  EXPECT_TRUE(live(w1));
  // ... and not once that Q side is empty: the next climb takes the tree.
  erase(sink_node(0));
  EXPECT_EQ(r().get_live_node_count(), 0);

  // An earlier D side whose Q side is empty does not count either.
  r().clear();
  auto rt3 = host::testing::routing();
  rt3.routing(src).wire(h(1, 1)).branch([&](auto& b) { b.zota(lab_input(1, 2, 60)); }).wire(h(3, 1)).sink(sinks[1]);
  rt3.attach();
  erase(sink_node(1));
  EXPECT_EQ(r().get_live_node_count(), 0);

  // Under a Q side, a D side before the pair's own D side decides by its
  // own Q side.
  r().clear();
  auto rt4 = host::testing::routing();
  rt4.routing(src).wire(h(1, 1)).mark(w1).branch([&](auto& b) { b.zota(lab_input(1, 2, 61)).wire(v(2, 2)).sink(sinks[1]); })
      .zota(lab_input(1, 2, 60)).wire(v(1, 2)).mark(q_child).sink(sinks[0]);
  rt4.attach();
  erase(sink_node(0));
  EXPECT_FALSE(live(q_child));
  EXPECT_TRUE(live(w1));
  erase(sink_node(1));
  EXPECT_EQ(r().get_live_node_count(), 0);
  // ... so an earlier D side whose own Q side is empty does not count.
  r().clear();
  auto rt5 = host::testing::routing();
  rt5.routing(src).wire(h(1, 1)).branch([&](auto& b) { b.zota(lab_input(1, 2, 61)); })
      .zota(lab_input(1, 2, 60)).wire(v(1, 2)).sink(sinks[0]);
  rt5.attach();
  erase(sink_node(0));
  EXPECT_EQ(r().get_live_node_count(), 0);
}

// ---- the kept routing of a blackboxed design ------------------------------

class KeptRoutingTest : public HostTest {
protected:
  void build(int family, bool retimer_flow = true, bool wire_slots = false) {
    host::testing::device(family).zota_flow_supported(retimer_flow).wire_pipeline_slots(wire_slots).build();
    s = scenes::partitioned();
    ASSERT_TRUE(host::placement::place());
    std::string why;
    ASSERT_TRUE(host::router::route_design(&why)) << why;
    root().attach_atom_netlist(velmo_bbic_get_design_netlist(), VOK_TRAVERSE_HIERARCHICAL);
    // Partition A keeps its ports and its first register.
    VOK_ATOM_NETLIST* a = s.a->get_state()->get_atom_netlist();
    for (VOK_ATOM_NODE* atom : a->get_atom_list())
      if (atom->is_port() || atom->get_string_hpath() == "A|a1") keep_a.insert(atom);
    table.assign(4, nullptr);
    table[static_cast<std::size_t>(s.a->get_id())] = &keep_a;
  }
  VOK_RE_ROUTING& root() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
  VOK_ATOM_NODE* atom(const std::string& path) {
    for (VOK_ATOM_NODE* x : velmo_bbic_get_design_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
      if (x->get_string_hpath() == path) return x;
    return nullptr;
  }
  // The routing elements of an atom's output nets in the root routing.
  std::vector<unsigned> net_elements(const VOK_ATOM_NODE* x) {
    std::vector<unsigned> out;
    for (const VOK_ATOM_OTERM* o : x->coterms()) {
      const int src = root().get_source_node(o);
      if (src == -1) continue;
      std::vector<int> stack{src};
      while (!stack.empty()) {
        const int id = stack.back();
        stack.pop_back();
        if (root().is_wire(id)) out.push_back(root().get_gid(id));
        for (int c : root().get_walk_children(id)) stack.push_back(c);
      }
    }
    return out;
  }
  // Elements of that kind the routing does not use.
  std::vector<unsigned> unused(int kind) {
    std::vector<unsigned> out;
    for (unsigned g : velmo_bbic_get_route_info()->gids(kind)) {
      bool used = false;
      for (int id = 0; id < root().forest().num_slots() && !used; ++id)
        used = root().is_live(id) && root().is_wire(id) && root().get_gid(id) == g;
      if (!used) out.push_back(g);
    }
    return out;
  }
  // The atom's clock input, fed from the clock buffer, becomes a global
  // clock connection.
  static void set_global_clock(VOK_ATOM_NODE* x) {
    for (VOK_ATOM_ITERM* i : x->iterms()) {
      const VOK_ATOM_OTERM* src = i->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (src != nullptr && src->get_my_node()->get_string_hpath() == "clk~ibuf") i->set_connection_code(5);
    }
  }
  // Every atom of the top but its clock pad and buffer.
  VELMO_BBIC_KEEP_SET top_without_clock() {
    VELMO_BBIC_KEEP_SET keep;
    for (VOK_ATOM_NODE* x : s.top->get_state()->get_atom_netlist()->get_atom_list())
      if (x->get_string_hpath().rfind("clk", 0) != 0) keep.insert(x);
    return keep;
  }
  scenes::PARTITIONED s{};
  VELMO_BBIC_KEEP_SET keep_a;
  VELMO_BBIC_KEEP_SET_TABLE table;
};

TEST_F(KeptRoutingTest, HiddenNetsGoVisibleOnesStayRootUntouched) {
  // The routing has pipeline-register sites whether or not the retimer flow
  // is on: visible sinks are examined all the same.
  build(Family::KY, false);
  // Two dangling leaves under a visible net's root: a LAB port mux (282),
  // which stays, and an H wire, which goes.
  const int r1_root = root().get_source_node(atom("r1")->get_oterm_slot(0));
  ASSERT_NE(r1_root, -1);
  const std::vector<unsigned> muxes = unused(282), wires = unused(700);
  ASSERT_GE(muxes.size(), 2u);
  ASSERT_GE(wires.size(), 2u);
  const unsigned mux = muxes.back(), wire = wires.back();
  root().append_child_value(r1_root, static_cast<std::int32_t>(mux));
  root().append_child_value(r1_root, static_cast<std::int32_t>(wire));
  // An H wire as the very first leaf of the first tree goes too.
  const unsigned first_leaf = wires.front();
  const int first = root().append_child_value(r1_root, static_cast<std::int32_t>(first_leaf));
  root().forest().unlink(first);
  root().forest().insert_before(root().forest().first_child(r1_root), first);
  root().forest().unlink(r1_root);
  root().forest().insert_before(root().forest().first_root(), r1_root);
  // A root with nothing below it serves nothing, even one of a kind that
  // never dangles.
  const unsigned lone = muxes.front();
  root().new_root(static_cast<std::int32_t>(lone));
  // Inputs left unconnected, of a hidden and of a visible atom, are passed over.
  atom("A|la")->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  atom("A|a1")->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  const std::vector<std::string> before = host::testing::routing_texts(root());
  VELMO_BBIC_KEPT_ROUTING kept;
  host::clear_calls();
  determine_routing_to_keep(kept, table);
  EXPECT_EQ(host::testing::routing_texts(root()), before);
  // The pruning edits a copy through a modifier opened with both change
  // flags clear.
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"bbic_determine_routing_to_keep\", "
                                  "false, false)"));
  EXPECT_TRUE(kept.find(first_leaf).is_end());
  EXPECT_TRUE(kept.find(lone).is_end());
  // The visible a1 drives only the hidden la: its whole net goes.
  ASSERT_FALSE(net_elements(atom("A|a1")).empty());
  for (unsigned g : net_elements(atom("A|a1"))) EXPECT_TRUE(kept.find(g).is_end());
  ASSERT_GT(kept.size(), 0u);
  for (auto it = kept.begin(); it != kept.end(); ++it) EXPECT_GE(*it, 0x80000000u);
  for (const char* hidden : {"A|la", "A|a2"}) {
    const std::vector<unsigned> els = net_elements(atom(hidden));
    EXPECT_FALSE(els.empty()) << hidden;
    for (unsigned g : els) EXPECT_TRUE(kept.find(g).is_end()) << hidden;
  }
  // Nets among visible atoms keep their elements (up to the kinds that
  // never dangle).
  unsigned visible_kept = 0;
  for (unsigned g : net_elements(atom("r1"))) visible_kept += !kept.find(g).is_end();
  EXPECT_GT(visible_kept, 0u);
  // The nets of la and a2. Hidden sinks fed by visible sources: a1 into
  // la, the clock and C's output into a2; visible sinks fed by hidden
  // sources: la into C's register, a2 into B's logic.
  EXPECT_EQ(count_lines("Removed routing for 2 nets and 5 connections"), 1);
  EXPECT_FALSE(kept.find(mux).is_end());
  EXPECT_TRUE(kept.find(wire).is_end());
}

TEST_F(KeptRoutingTest, PortsOnlyShellLosesEveryHiddenNet) {
  build(Family::KY);
  // A keeps only its ports: a1 is hidden too, and so is its connection
  // into la, which goes only when a1 is a ZOTA-marked register.
  VELMO_BBIC_KEEP_SET ports;
  for (VOK_ATOM_NODE* x : s.a->get_state()->get_atom_netlist()->get_atom_list())
    if (x->is_port()) ports.insert(x);
  table[static_cast<std::size_t>(s.a->get_id())] = &ports;
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  EXPECT_EQ(count_lines("Removed routing for 3 nets and 6 connections"), 1);
  // a1's net goes as a net of a hidden atom, before the kept elements are
  // gathered, though its connection into la is kept.
  ASSERT_FALSE(net_elements(atom("A|a1")).empty());
  for (unsigned g : net_elements(atom("A|a1"))) EXPECT_TRUE(kept.find(g).is_end());
  ASSERT_TRUE(atom("A|a1")->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA));
  VELMO_BBIC_KEPT_ROUTING kept_zota;
  determine_routing_to_keep(kept_zota, table);
  EXPECT_EQ(count_lines("Removed routing for 3 nets and 7 connections"), 1);
  // The shell's routing: a1's net there passes a pipeline register, which
  // the element pass leaves alone, so only erasing the hidden atom's output
  // root takes the net away.
  JOV_STATE* shell = s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  auto* model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  model->set_path(KIV_PATH({"db", "A", "routing"}));
  model->set_routing(JOV_ROUTING_SPLITTER::get_routing_for_partition(s.a));
  shell->get_kiv_state()->add_model(model);
  VOK_RE_ROUTING& r = *model->get_routing();
  const std::uint32_t a1 = static_cast<std::uint32_t>(atom("A|a1")->get_id());
  auto a1_root = [&] {
    for (int id = 0; id < r.forest().num_slots(); ++id)
      if (r.is_live(id) && r.forest().parent(id) == -1 && r.is_terminal(id) &&
          r.get_node_terminal(id).name_space == VOK_PORT_NAMESPACE_OUTPUT && r.get_node_terminal(id).port.get_atom_id() == a1)
        return id;
    return -1;
  };
  ASSERT_NE(a1_root(), -1);
  host::testing::NET_BUILDER(&r, a1_root()).zota(lab_input(1, 2, 60));
  filter_routing(s.a, *shell->get_kiv_state(), s.a->get_state()->get_atom_netlist(), ports, kept_zota);
  EXPECT_EQ(a1_root(), -1);
  // The filter writes no dumps unless asked for.
  EXPECT_FALSE(std::ifstream("bbic_filter_routing-0-pre.rt").good());
  // With pipeline registers a hidden global clock source of hidden atoms
  // is no fault.
  set_global_clock(atom("A|a1"));
  VELMO_BBIC_KEEP_SET top_keep = top_without_clock();
  table[static_cast<std::size_t>(s.top->get_id())] = &top_keep;
  VELMO_BBIC_KEPT_ROUTING kept_clock;
  determine_routing_to_keep(kept_clock, table);
  EXPECT_FALSE(kept_clock.empty());
}

TEST_F(KeptRoutingTest, WithoutPipelineRegistersVisibleSinksAreNotExamined) {
  build(Family::KX);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  // Visible sinks are not examined here: only the three hidden sinks fed
  // by visible sources count.
  EXPECT_EQ(count_lines("Removed routing for 2 nets and 3 connections"), 1);
  // A hidden atom feeding an ordinary input of another (a1 into la, with A
  // down to its ports) is allowed...
  VELMO_BBIC_KEEP_SET ports;
  for (VOK_ATOM_NODE* x : s.a->get_state()->get_atom_netlist()->get_atom_list())
    if (x->is_port()) ports.insert(x);
  table[static_cast<std::size_t>(s.a->get_id())] = &ports;
  VELMO_BBIC_KEPT_ROUTING kept_ports;
  determine_routing_to_keep(kept_ports, table);
  EXPECT_EQ(count_lines("Removed routing for 3 nets and 4 connections"), 1);
  // ... but not a global one: with the top's clock buffer hidden, the
  // global clock of the hidden a1 comes from a hidden atom.
  set_global_clock(atom("A|a1"));
  VELMO_BBIC_KEEP_SET top_keep = top_without_clock();
  table[static_cast<std::size_t>(s.top->get_id())] = &top_keep;
  VELMO_BBIC_KEPT_ROUTING kept_clock;
  EXPECT_EQ(host::testing::expect_internal_error([&] { determine_routing_to_keep(kept_clock, table); }).condition,
            "zota_family|| keep_src || !iterm->is_global()");
}

TEST_F(KeptRoutingTest, APipelineRegisterAmongTheDanglingLeavesStays) {
  // Long wires hold pipeline-register slots here. r1's visible net gets a
  // branch through two registers in a row: the second one's D side is the
  // branch's leaf in the skip view, and no dangling leaf to erase.
  build(Family::KY, true, true);
  std::vector<unsigned> slots;
  for (unsigned g : unused(700))
    if (velmo_bbic_get_route_info()->is_zota_gid(g)) slots.push_back(g);
  ASSERT_GE(slots.size(), 3u);
  int at = root().append_child_value(root().get_source_node(atom("r1")->get_oterm_slot(0)),
                                     static_cast<std::int32_t>(slots[0]));
  for (std::size_t i : {1u, 2u}) {
    const int d = root().append_child_value(at, static_cast<std::int32_t>(slots[i]));
    at = root().new_root(static_cast<std::int32_t>(slots[i]));
    root().set_zota_pair(d, at);
  }
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  EXPECT_FALSE(kept.find(slots[0]).is_end());
  EXPECT_FALSE(kept.find(slots[2]).is_end());
}

TEST_F(KeptRoutingTest, RemovedPartitionLosesItsBoxOutputsAndDumpsAreNumbered) {
  // The routing dumps are numbered once per process.
  if (!host::testing::in_own_process()) return;
  build(Family::KY);
  VELMO_BBIC_KEEP_SET empty_b;
  table[static_cast<std::size_t>(s.b->get_id())] = &empty_b;
  cfg_set_on("bbic_debug_routing");
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  cfg_set_off("bbic_debug_routing");
  for (const char* tag : {"aaa", "bbb"}) {
    const std::string name = std::string("bbic-routing-000-") + tag + ".dump";
    std::ifstream in(name);
    EXPECT_TRUE(in.good()) << name;
    std::remove(name.c_str());
  }
  // B's output into r1 is gone with every element that served it alone.
  VOK_ATOM_NODE* r1 = atom("r1");
  for (VOK_ATOM_ITERM* i : r1->iterms())
    for (int sink : root().get_sink_nodes(i))
      for (int p = root().get_parent(sink, kSkip); p != -1 && root().get_num_children(p, kSkip) == 1;
           p = root().get_parent(p, kSkip))
        if (root().is_wire(p) && i->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node()->get_string_hpath() == "B|b1") {
          EXPECT_TRUE(kept.find(root().get_gid(p)).is_end());
        }
  for (unsigned g : net_elements(atom("B|b1"))) EXPECT_TRUE(kept.find(g).is_end());
}

// B only passes r0 on to r1. Removed completely, it loses that connection
// too, though both ends stay visible; A, shown whole, keeps what leaves its
// box.
TEST_F(KeptRoutingTest, RemovedPartitionLosesWhatPassesThroughItsBox) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto r0 = n.reg("r0").clk(clk).d(n.io_in("in"));
  auto box_a = n.blackbox("A", [](NETLIST_BUILDER& c) { c.output("q", c.reg("a1").clk(c.input("clk")).d(c.input("d"))); });
  box_a.in("clk", clk).in("d", r0);
  auto box_b = n.blackbox("B", [](NETLIST_BUILDER& c) { c.output("q", c.input("d")); });
  box_b.in("d", r0);
  n.io_out("out", n.reg("r1").clk(clk).d(box_b.out("q")));
  n.io_out("out2", n.reg("r2").clk(clk).d(box_a.out("q")));
  JOV_PARTITION* top = host::testing::top_partition().preserved("final");
  host::testing::partition("A", box_a).preserved("final");
  JOV_PARTITION* b = host::testing::partition("B", box_b).preserved("final");
  ASSERT_TRUE(host::placement::place());
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  root().attach_atom_netlist(velmo_bbic_get_design_netlist(), VOK_TRAVERSE_HIERARCHICAL);
  VOK_ATOM_ITERM* r1_d = atom("r1")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  ASSERT_EQ(r1_d->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node(), atom("r0"));
  // r1's sink gets an H wire of its own on r0's net.
  {
    VOK_RE_ROUTING_MODIFIER m(root(), "test", false, false);
    for (int sink : root().get_sink_nodes(r1_d)) m.insert_wire_as_parent(sink, unused(700).front() & 0x7FFFFFFFu);
  }
  // The elements that serve r1 alone on r0's net.
  std::vector<unsigned> r1_only;
  for (int sink : root().get_sink_nodes(r1_d))
    for (int p = root().get_parent(sink, kSkip); p != -1 && root().get_num_children(p, kSkip) == 1;
         p = root().get_parent(p, kSkip))
      if (root().is_wire(p)) r1_only.push_back(root().get_gid(p));
  ASSERT_FALSE(r1_only.empty());
  VELMO_BBIC_KEEP_SET empty;
  table.assign(3, nullptr);
  table[static_cast<std::size_t>(b->get_id())] = &empty;
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  for (unsigned g : r1_only) EXPECT_TRUE(kept.find(g).is_end()) << g;
  unsigned a_kept = 0;
  for (unsigned g : net_elements(atom("A|a1"))) a_kept += !kept.find(g).is_end();
  EXPECT_GT(a_kept, 0u);
  // The top, removed completely, has no box to lose connections from.
  VELMO_BBIC_KEEP_SET empty_top;
  table[static_cast<std::size_t>(top->get_id())] = &empty_top;
  VELMO_BBIC_KEPT_ROUTING kept_no_top;
  determine_routing_to_keep(kept_no_top, table);
  table[static_cast<std::size_t>(top->get_id())] = nullptr;
  // A removed partition whose netlist has lost its box cannot be handled.
  VOK_ATOM_NETLIST* b_netlist = b->get_state()->get_atom_netlist();
  VOK_ATOM_BLACKBOX* b_box = b_netlist->get_parent_box();
  b_netlist->set_parent_box(nullptr);
  VELMO_BBIC_KEPT_ROUTING kept_no_box;
  const auto no_box = host::testing::expect_internal_error([&] { determine_routing_to_keep(kept_no_box, table); });
  EXPECT_EQ(no_box.condition, "box");
  EXPECT_EQ(no_box.tag, "VELMO");
  EXPECT_EQ(no_box.file, "velmo_bbic");
  b_netlist->set_parent_box(b_box);
}

TEST_F(KeptRoutingTest, FilterKeepsOnlyKeptElementsAndVisibleNets) {
  // The filter's dumps are numbered once per process.
  if (!host::testing::in_own_process()) return;
  build(Family::KY);
  VELMO_BBIC_KEPT_ROUTING kept;
  determine_routing_to_keep(kept, table);
  JOV_STATE* shell = s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  auto* model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  model->set_path(KIV_PATH({"db", "A", "routing"}));
  model->set_routing(JOV_ROUTING_SPLITTER::get_routing_for_partition(s.a));
  shell->get_kiv_state()->add_model(model);
  VOK_RE_ROUTING& r = *model->get_routing();
  // A root that is no terminal is no output port's root; with nothing below
  // it, it goes.
  const unsigned stray = unused(700).front();
  r.new_root(static_cast<std::int32_t>(stray));
  const int was = r.get_live_node_count();
  cfg_set_on("bbic_filter_routing_debug");
  VOK_ATOM_NETLIST* netlist = s.a->get_state()->get_atom_netlist();
  host::clear_calls();
  filter_routing(s.a, *shell->get_kiv_state(), netlist, keep_a, kept);
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"bbic_filter_routing\", false, false)"));
  filter_routing(s.a, *shell->get_kiv_state(), netlist, keep_a, kept);
  cfg_set_off("bbic_filter_routing_debug");
  for (const char* f : {"bbic_filter_routing-0-pre.rt", "bbic_filter_routing-0-post.rt", "bbic_filter_routing-1-pre.rt",
                        "bbic_filter_routing-1-post.rt"}) {
    EXPECT_TRUE(std::ifstream(f).good()) << f;
    std::remove(f);
  }
  EXPECT_EQ(r.get_atom_netlist(), nullptr);
  EXPECT_LT(r.get_live_node_count(), was);
  EXPECT_EQ(count_lines("BBIC routing for partition A routing=" + std::to_string(r.get_live_node_count()) + " (was " +
                        std::to_string(was) + ")"),
            1);
  const std::uint32_t la = static_cast<std::uint32_t>(atom("A|la")->get_id());
  const std::uint32_t a2 = static_cast<std::uint32_t>(atom("A|a2")->get_id());
  for (int id = 0; id < r.forest().num_slots(); ++id) {
    if (!r.is_live(id)) continue;
    if (r.is_wire(id)) {
      EXPECT_FALSE(kept.find(r.get_gid(id)).is_end());
      EXPECT_NE(r.get_gid(id), stray);
    }
    if (r.forest().parent(id) == -1 && !r.is_zota_node(id)) {
      EXPECT_NE(r.forest().first_child(id), -1);
    }
    if (r.forest().parent(id) == -1 && r.is_terminal(id)) {
      const auto& t = r.get_node_terminal(id);
      EXPECT_FALSE(t.name_space == VOK_PORT_NAMESPACE_OUTPUT &&
                   (t.port.get_atom_id() == la || t.port.get_atom_id() == a2));
    }
    // No sink of a hidden atom is left, not even one that shared its last
    // element with a visible sink.
    if (r.is_terminal(id) && r.get_node_terminal(id).name_space == VOK_PORT_NAMESPACE_INPUT) {
      const std::uint32_t owner = r.get_node_terminal(id).port.get_atom_id();
      EXPECT_NE(owner, la);
      EXPECT_NE(owner, a2);
    }
  }
  // The clock reaches the hidden a2 beside the visible a1: that sink was
  // in the share before the filter.
  int hidden_sinks_before = 0;
  for (const std::string& text : host::testing::routing_texts(*JOV_ROUTING_SPLITTER::get_routing_for_partition(s.a)))
    hidden_sinks_before += text.find("t" + std::to_string(a2) + ".") != std::string::npos ||
                           text.find("t" + std::to_string(la) + ".") != std::string::npos;
  EXPECT_GT(hidden_sinks_before, 0);
  // With la shown as well, a1's net runs between visible atoms: its root
  // and its sink in la stay.
  VELMO_BBIC_KEEP_SET keep_wide;
  for (VOK_ATOM_NODE* x : keep_a.nodes()) keep_wide.insert(x);
  keep_wide.insert(atom("A|la"));
  table[static_cast<std::size_t>(s.a->get_id())] = &keep_wide;
  VELMO_BBIC_KEPT_ROUTING kept_wide;
  determine_routing_to_keep(kept_wide, table);
  KIV_STATE wide;
  auto* wide_model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  wide_model->set_path(KIV_PATH({"db", "A", "routing"}));
  wide_model->set_routing(JOV_ROUTING_SPLITTER::get_routing_for_partition(s.a));
  wide.add_model(wide_model);
  filter_routing(s.a, wide, netlist, keep_wide, kept_wide);
  const VOK_RE_ROUTING& w = *wide_model->get_routing();
  const std::uint32_t a1 = static_cast<std::uint32_t>(atom("A|a1")->get_id());
  int a1_roots = 0, la_sinks = 0;
  for (int id = 0; id < w.forest().num_slots(); ++id) {
    if (!w.is_live(id) || !w.is_terminal(id)) continue;
    const auto& t = w.get_node_terminal(id);
    a1_roots += w.forest().parent(id) == -1 && t.name_space == VOK_PORT_NAMESPACE_OUTPUT && t.port.get_atom_id() == a1;
    la_sinks += t.name_space == VOK_PORT_NAMESPACE_INPUT && t.port.get_atom_id() == la;
  }
  EXPECT_EQ(a1_roots, 1);
  EXPECT_GT(la_sinks, 0);
  // An element outside the kept set goes with what hangs below it, even
  // as the routing's very first node.
  KIV_STATE handmade;
  auto* hm = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  hm->set_path(KIV_PATH({"db", "A", "routing"}));
  auto hr = std::make_unique<VOK_RE_ROUTING>();
  ASSERT_EQ(hr->new_root(static_cast<std::int32_t>(unused(700).back())), 0);
  hr->append_child_value(0, static_cast<std::int32_t>(*kept.begin()));
  hm->set_routing(std::move(hr));
  handmade.add_model(hm);
  filter_routing(s.a, handmade, netlist, keep_a, kept);
  EXPECT_EQ(hm->get_routing()->get_live_node_count(), 0);
  // A state without a routing model is left alone.
  JOV_STATE* other = s.b->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  filter_routing(s.b, *other->get_kiv_state(), netlist, keep_a, kept);
  EXPECT_EQ(count_lines("BBIC routing for partition B routing=0 (was 0)"), 0);
  // A routing model without a routing is a fault.
  auto* no_routing = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  no_routing->set_path(KIV_PATH({"db", "B", "routing"}));
  other->get_kiv_state()->add_model(no_routing);
  EXPECT_EQ(host::testing::expect_internal_error([&] { filter_routing(s.b, *other->get_kiv_state(), netlist, keep_a, kept); })
                .condition,
            "re_routing");
}

}  // namespace
