// Port translation pass: chains hung below drivers and above sinks, virtual
// nodes closing what is still to route, the guard against grafting another
// net's routing, idempotence, and the host router completing the result.
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "common/host_call_log.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "testing/routing_builder.h"
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_hand_graph.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::periphery_chain_gid;
using G = std::vector<unsigned>;

namespace {

class PortTranslationPassTest : public host::testing::EnvTest {
protected:
  VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
  void translate() { VELMO_PORT_TRANSLATION_MGR(m_env).perform_port_translation(); }
  static int edits(const char* what) {
    return host::call_count(std::string("VOK_RE_ROUTING_MODIFIER::") + what);
  }
  static int all_edits() {
    int n = 0;
    for (const char* e : {"insert_source", "insert_sink", "insert_virtual_source", "insert_virtual_sink",
                          "insert_wire_as_parent", "erase", "erase_leaf"})
      n += edits(e);
    return n;
  }
  // The wire gids met going down single children from below `node`, and the
  // node where that ends (the first node that is not a wire).
  G down(int node, int* end = nullptr) {
    G res;
    int n = routing().forest().first_child(node);
    while (n != -1 && routing().is_wire(n)) {
      res.push_back(routing().get_gid(n));
      n = routing().forest().first_child(n);
    }
    if (end) *end = n;
    return res;
  }
  // The wire gids from a node's parent up to the first node that is not a
  // wire (returned in `top`).
  G up(int node, int* top = nullptr) {
    G res;
    int n = routing().forest().parent(node);
    while (n != -1 && routing().is_wire(n)) {
      res.push_back(routing().get_gid(n));
      n = routing().forest().parent(n);
    }
    if (top) *top = n;
    return res;
  }
  int root_of(int node) {
    while (routing().forest().parent(node) != -1) node = routing().forest().parent(node);
    return node;
  }
  std::vector<int> children(int node) {
    std::vector<int> res;
    for (int c = routing().forest().first_child(node); c != -1; c = routing().forest().next_sibling(c)) res.push_back(c);
    return res;
  }
  std::string dump() {
    std::ostringstream s;
    routing().debug_dump(s, VOK_RE_ROUTING_ZOTA_SKIP());
    return s.str();
  }
  int sink_of(VOK_ATOM_ITERM* t) {
    auto v = routing().get_sink_nodes(t);
    return v.empty() ? -1 : v[0];
  }

  // A UIB at (3, 9) and an ESRAM at (7, 9), placed, with bundle instances.
  void blocks() {
    host::testing::device(Family::KX).build();
    const auto* place = host::device::die_info()->get_place_info();
    auto n = host::testing::netlist();
    u0 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u0").placed(place->get_global_id(0, 3, 9, 0), 1010);
    e0 = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e0").placed(place->get_global_id(0, 7, 9, 0), 1011);
    a = n.reg("a").placed(place->get_global_id(0, 3, 8, 1), 643);
    ui = host::testing::gesk_instance("u0_inst", 3, 9, 0);
    ei = host::testing::gesk_instance("e0_inst", 7, 9, 0);
  }
  VOK_ATOM_ITERM* connect(VOK_ATOM_NODE* to, int index, VOK_ATOM_NODE* from) {
    host::testing::GENERIC_BUILDER(to).input(DB_INPUT_PORT_DATA_IN, index, from);
    return to->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, index);
  }
  static VOK_ATOM_OTERM* out(VOK_ATOM_NODE* atom) { return atom->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0); }

  VOK_ATOM_NODE* u0 = nullptr;
  VOK_ATOM_NODE* e0 = nullptr;
  VOK_ATOM_NODE* a = nullptr;
  int ui = 0, ei = 0;
};

// Chains of the generated device: output port q of a block (port index 4+q)
// and input port q, k elements from the port.
G out_chain(int x, int q) {
  G g;
  for (int k = 0; k < 3 + (q & 1); ++k) g.push_back(periphery_chain_gid(x, 9, 4 + q, k));
  return g;
}
G in_chain(int x, int q) {
  G g;
  for (int k = 0; k < 3 + (q & 1); ++k) g.push_back(periphery_chain_gid(x, 9, q, k));
  return g;
}

}  // namespace

TEST_F(PortTranslationPassTest, NoProcessedAtomMeansNoEdit) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  auto r1 = n.reg("r1");
  auto r2 = n.reg("r2").d(r1);
  auto l = n.lut("l", {r2.out()}, 0x1);
  auto rt = host::testing::routing();
  rt.routing(r1).wire(host::testing::h(2, 2)).sink(r2.iterm(DB_INPUT_PORT_DATA_IN));
  rt.attach();
  (void)l;
  const std::string before = dump();
  host::clear_calls();
  translate();
  EXPECT_EQ(all_edits(), 0);
  EXPECT_EQ(dump(), before);
}

TEST_F(PortTranslationPassTest, TwoNewSourceChainsEndInVirtualSinks) {
  blocks();
  VOK_ATOM_ITERM* e_in = connect(e0, 0, u0);
  VOK_ATOM_ITERM* e_in1 = connect(e0, 1, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  host::testing::map_port(out(u0), ui, "out[1]");
  host::testing::map_port(e_in, ei, "in[0]");
  host::testing::map_port(e_in1, ei, "in[1]");
  host::testing::routing().attach();
  translate();
  const int src = routing().get_source_node(out(u0));
  ASSERT_NE(src, -1);
  auto kids = children(src);
  ASSERT_EQ(kids.size(), 3u);
  int end = -1;
  EXPECT_EQ(down(src, &end), out_chain(3, 0));
  EXPECT_EQ(routing().get_value(end), -1);
  EXPECT_EQ(routing().forest().first_child(end), -1);
  EXPECT_EQ(routing().get_gid(kids[1]), out_chain(3, 1)[0]);
  const G chain1 = out_chain(3, 1);
  EXPECT_EQ(down(kids[1], &end), G(chain1.begin() + 1, chain1.end()));
  EXPECT_EQ(routing().get_value(end), -1);
  // The sink attach node was the source (two children): the ESRAM's first
  // sink hangs below a new virtual sink under it, below its whole input
  // chain, and the second below that same virtual sink.
  int top = -1, top1 = -1;
  EXPECT_EQ(up(sink_of(e_in), &top), in_chain(7, 0));
  EXPECT_EQ(routing().get_value(top), -1);
  EXPECT_EQ(top, kids[2]);
  EXPECT_EQ(up(sink_of(e_in1), &top1), in_chain(7, 1));
  EXPECT_EQ(top1, kids[2]);
}

// A chain of two elements (the port, then one element that meets the
// fabric) is hung below the driver's source like a longer one, ending in a
// virtual sink. A mapped driver without fan-out gets no chain at all.
TEST_F(PortTranslationPassTest, ATwoElementChainIsHungButNoChainOfADriverWithoutFanout) {
  blocks();
  VOK_ATOM_ITERM* e_in = connect(e0, 0, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  host::testing::map_port(e_in, ei, "in[0]");
  const G chain = out_chain(3, 0);
  WUMP_HAND_GRAPH_BUILDER::set_edge_graph(chain[1], chain[2], 2);
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  ASSERT_EQ(info->get_top_level_graph_from_edge(chain[1], chain[2], 0), 2);
  ASSERT_EQ(info->get_top_level_graph_from_edge(chain[2], chain[1], 0), 2);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* idle = n.atom(VOK_ATOM_KIND::UFI_UIB, "idle")
                            .placed(host::device::die_info()->get_place_info()->get_global_id(0, 6, 9, 0), 1010);
  host::testing::map_port(out(idle), host::testing::gesk_instance("idle_inst", 6, 9, 0), "out[0]");
  host::testing::routing().attach();
  translate();
  const int src = routing().get_source_node(out(u0));
  ASSERT_NE(src, -1);
  ASSERT_EQ(children(src).size(), 1u);
  int end = -1;
  EXPECT_EQ(down(src, &end), G(chain.begin(), chain.begin() + 2));
  ASSERT_NE(end, -1);
  EXPECT_EQ(routing().get_value(end), -1);
  // The ESRAM's sink hangs below that virtual sink.
  int top = -1;
  EXPECT_EQ(up(sink_of(e_in), &top), in_chain(7, 0));
  EXPECT_EQ(top, end);
  EXPECT_EQ(routing().get_source_node(out(idle)), -1);
}

// One new chain below the source: the driver's unrouted sinks all hang
// below the virtual sink that ends it, each below its own input chain.
TEST_F(PortTranslationPassTest, OneNewSourceChainTakesEveryUnroutedSinkAtItsEnd) {
  blocks();
  VOK_ATOM_ITERM* e_in0 = connect(e0, 0, u0);
  VOK_ATOM_ITERM* e_in1 = connect(e0, 1, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  host::testing::map_port(e_in0, ei, "in[0]");
  host::testing::map_port(e_in1, ei, "in[1]");
  host::testing::routing().attach();
  host::clear_calls();
  translate();
  const int src = routing().get_source_node(out(u0));
  ASSERT_NE(src, -1);
  ASSERT_EQ(children(src).size(), 1u);
  int end = -1;
  EXPECT_EQ(down(src, &end), out_chain(3, 0));
  ASSERT_NE(end, -1);
  EXPECT_EQ(routing().get_value(end), -1);
  int top0 = -1, top1 = -1;
  EXPECT_EQ(up(sink_of(e_in0), &top0), in_chain(7, 0));
  EXPECT_EQ(up(sink_of(e_in1), &top1), in_chain(7, 1));
  EXPECT_EQ(top0, end);
  EXPECT_EQ(top1, end);
  EXPECT_EQ(edits("insert_virtual_sink"), 1);
  EXPECT_EQ(edits("insert_virtual_source"), 0);
}

TEST_F(PortTranslationPassTest, AnExistingChainIsMovedUnderTheSource) {
  blocks();
  VOK_ATOM_ITERM* e_in = connect(e0, 0, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  host::testing::map_port(e_in, ei, "in[0]");
  // The whole chain of out[0] in a tree of its own, entered from the UIB's
  // input port (its only fan-in).
  const int root = routing().new_root(static_cast<std::int32_t>(periphery_chain_gid(3, 9, 0, 0)));
  host::testing::NET_BUILDER(&routing(), root).wire_gid(out_chain(3, 0)[0]).wire_gid(out_chain(3, 0)[1]).wire_gid(
      out_chain(3, 0)[2]);
  host::testing::routing().attach();
  host::clear_calls();
  translate();
  const int src = routing().get_source_node(out(u0));
  ASSERT_EQ(children(src), std::vector<int>{root});
  // Only the sink's input chain was inserted.
  EXPECT_EQ(edits("insert_wire_as_parent"), 3);
  int end = -1;
  G want{periphery_chain_gid(3, 9, 0, 0)};
  for (unsigned gid : out_chain(3, 0)) want.push_back(gid);
  EXPECT_EQ(down(src, &end), want);
  // The chain's last node had no child: a new virtual sink below it takes the
  // ESRAM's sink.
  EXPECT_EQ(routing().get_value(end), -1);
  int top = -1;
  EXPECT_EQ(up(sink_of(e_in), &top), in_chain(7, 0));
  EXPECT_EQ(top, end);

  // With a child below the chain's last node (here a virtual node), the chain
  // gets no virtual sink of its own: the sink hangs below the one virtual
  // sink it needs, right under that last node.
  routing().clear();
  const int again = routing().new_root(static_cast<std::int32_t>(periphery_chain_gid(3, 9, 0, 0)));
  int last = -1;
  host::testing::NET_BUILDER(&routing(), again)
      .wire_gid(out_chain(3, 0)[0])
      .wire_gid(out_chain(3, 0)[1])
      .wire_gid(out_chain(3, 0)[2])
      .mark(last);
  routing().append_child_value(last, VOK_RE_ROUTING::VIRTUAL_VALUE);
  host::clear_calls();
  translate();
  EXPECT_EQ(edits("insert_virtual_sink"), 1);
  EXPECT_EQ(up(sink_of(e_in), &top), in_chain(7, 0));
  EXPECT_EQ(routing().get_value(top), -1);
  EXPECT_EQ(routing().forest().parent(top), last);
  EXPECT_EQ(root_of(last), routing().get_source_node(out(u0)));

  // A chain whose end has no child gets its virtual sink even when no sink
  // of the driver is to hang there: it marks what the router has to route
  // on from the chain's end (here to a core register).
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* u6 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u6")
                          .placed(host::device::die_info()->get_place_info()->get_global_id(0, 6, 9, 0), 1010);
  n.reg("core").d(u6);
  host::testing::map_port(out(u6), host::testing::gesk_instance("u6_inst", 6, 9, 0), "out[0]");
  const int tree = routing().new_root(static_cast<std::int32_t>(periphery_chain_gid(6, 9, 0, 0)));
  host::testing::NET_BUILDER(&routing(), tree)
      .wire_gid(out_chain(6, 0)[0])
      .wire_gid(out_chain(6, 0)[1])
      .wire_gid(out_chain(6, 0)[2]);
  translate();
  const int src6 = routing().get_source_node(out(u6));
  ASSERT_NE(src6, -1);
  G want6{periphery_chain_gid(6, 9, 0, 0)};
  for (unsigned gid : out_chain(6, 0)) want6.push_back(gid);
  EXPECT_EQ(down(src6, &end), want6);
  ASSERT_NE(end, -1);
  EXPECT_EQ(routing().get_value(end), -1);
}

TEST_F(PortTranslationPassTest, UnroutedSinksOfAnUnprocessedDriverShareOneVirtualSource) {
  blocks();
  VOK_ATOM_ITERM* u_in = connect(u0, 0, a);
  VOK_ATOM_ITERM* e_in = connect(e0, 0, a);
  // A fan-out input the netlist marks unused is no sink to route.
  VOK_ATOM_ITERM* unused = connect(e0, 2, a);
  unused->set_used(false);
  host::testing::map_port(u_in, ui, "in[0]");
  host::testing::map_port(e_in, ei, "in[1]");
  host::testing::map_port(unused, ei, "in[2]");
  host::testing::routing().attach();
  host::clear_calls();
  translate();
  EXPECT_EQ(edits("insert_source"), 0);
  EXPECT_EQ(edits("insert_virtual_source"), 1);
  EXPECT_EQ(edits("insert_sink"), 2);
  EXPECT_EQ(sink_of(unused), -1);
  int top_u = -1, top_e = -1;
  EXPECT_EQ(up(sink_of(u_in), &top_u), in_chain(3, 0));
  EXPECT_EQ(up(sink_of(e_in), &top_e), in_chain(7, 1));
  EXPECT_EQ(top_u, top_e);
  EXPECT_EQ(routing().get_value(top_u), -1);
  EXPECT_EQ(routing().forest().parent(top_u), -1);
}

TEST_F(PortTranslationPassTest, TwoTerminalsBehindOnePortShareItsChain) {
  blocks();
  VOK_ATOM_ITERM* t0 = connect(u0, 0, a);
  VOK_ATOM_ITERM* t1 = connect(u0, 1, a);
  host::testing::map_port(t0, ui, "in[0]");
  host::testing::map_port(t1, ui, "in[0]");
  // Behind the same port but driven by another net: a chain of its own.
  VOK_ATOM_ITERM* t2 = connect(u0, 2, host::testing::netlist().reg("other"));
  host::testing::map_port(t2, ui, "in[0]");
  host::testing::routing().attach();
  host::clear_calls();
  translate();
  EXPECT_EQ(up(sink_of(t0)), in_chain(3, 0));
  EXPECT_EQ(routing().forest().parent(sink_of(t1)), routing().forest().parent(sink_of(t0)));
  EXPECT_EQ(up(sink_of(t2)), in_chain(3, 0));
  EXPECT_NE(root_of(sink_of(t2)), root_of(sink_of(t0)));
  EXPECT_EQ(edits("insert_wire_as_parent"), 6);
}

TEST_F(PortTranslationPassTest, ASinkAlreadyBelowItsPortIsLeftAlone) {
  // The scene's b already hangs below u0's port in[1] and the chain's first
  // element: its port is a known sink parent, so nothing is added; the
  // router completes the chain later.
  auto s = host::testing::scenes::kx_periphery();
  VOK_ATOM_ITERM* t = s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1);
  const G before = up(sink_of(t));
  translate();
  EXPECT_EQ(up(sink_of(t)), before);
  const G chain = in_chain(3, 1);
  EXPECT_EQ(before, G(chain.begin(), chain.begin() + 2));
}

TEST_F(PortTranslationPassTest, ASinkRoutedThroughPartOfItsChainGetsTheRest) {
  blocks();
  VOK_ATOM_ITERM* t = connect(u0, 1, a);
  host::testing::map_port(t, ui, "in[1]");
  const G chain = in_chain(3, 1);
  // The routing runs through the port and the first chain element; a
  // virtual node stands between the port and the sink. Node ids mark
  // nothing: the result is the same when the node below the port, or the
  // port's own node, takes slot 0 (held by a scratch root until then).
  enum LAYOUT { FRESH, MID_AT_0, PORT_AT_0 };
  for (LAYOUT layout : {FRESH, MID_AT_0, PORT_AT_0}) {
    SCOPED_TRACE(layout);
    routing().clear();
    const int scratch = layout == FRESH ? -1 : routing().new_root(VOK_RE_ROUTING::VIRTUAL_VALUE);
    int mid = -1, port_node = -1;
    auto rt = host::testing::routing();
    auto net = rt.virtual_source().wire_gid(chain[1]);
    if (layout == PORT_AT_0) routing().erase(scratch);
    net.wire_gid(chain[0]).mark(port_node);
    if (layout == MID_AT_0) routing().erase(scratch);
    mid = routing().append_child_value(port_node, VOK_RE_ROUTING::VIRTUAL_VALUE);
    net.at(mid).sink(t);
    if (layout != FRESH) ASSERT_EQ(layout == MID_AT_0 ? mid : port_node, 0);
    rt.attach();
    host::clear_calls();
    translate();
    EXPECT_EQ(edits("insert_wire_as_parent"), 2);
    EXPECT_EQ(routing().forest().parent(sink_of(t)), mid);
    int top = -1;
    EXPECT_EQ(up(mid, &top), chain);
    EXPECT_EQ(routing().get_value(top), -1);
  }
}

TEST_F(PortTranslationPassTest, AChainRoutedByAnotherNetIsNotGrafted) {
  blocks();
  auto n = host::testing::netlist();
  auto c = n.reg("c");
  auto d = n.reg("d").d(c);
  VOK_ATOM_ITERM* e_in = connect(e0, 0, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  (void)e_in;
  auto rt = host::testing::routing();
  rt.routing(c)
      .wire_gid(periphery_chain_gid(3, 9, 0, 0))
      .wire_gid(out_chain(3, 0)[0])
      .wire_gid(out_chain(3, 0)[1])
      .wire_gid(out_chain(3, 0)[2])
      .sink(d.iterm(DB_INPUT_PORT_DATA_IN));
  rt.attach();
  const std::string before = dump();
  cfg_set_on("velmo_verbose_port_translation");
  host::clear_calls();
  translate();
  EXPECT_EQ(edits("insert_source"), 0);
  EXPECT_EQ(routing().get_source_node(out(u0)), -1);
  EXPECT_EQ(dump(), before);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Port gid " + std::to_string(out_chain(3, 0)[0]) + " of atom " +
                                                 std::to_string(u0->get_id()) +
                                                 ": its chain is routed by another net; skipped"));
}

TEST_F(PortTranslationPassTest, ASecondRunChangesNothing) {
  host::testing::scenes::kx_periphery();
  translate();
  const std::string once = dump();
  const int counter = routing().get_change_counter();
  host::clear_calls();
  translate();
  // The drivers' source nodes are looked up again (reused), nothing else.
  EXPECT_EQ(all_edits(), edits("insert_source"));
  EXPECT_EQ(edits("insert_source"), 2);
  EXPECT_EQ(routing().get_change_counter(), counter);
  EXPECT_EQ(dump(), once);
}

TEST_F(PortTranslationPassTest, TheHostRouterCompletesTranslatedRouting) {
  auto s = host::testing::scenes::kx_periphery();
  translate();
  std::string why;
  EXPECT_TRUE(host::router::route_design(&why)) << why;
  why.clear();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  for (int id = 0; id < routing().forest().num_slots(); ++id)
    if (routing().is_live(id)) {
      EXPECT_NE(routing().get_value(id), -1) << "virtual node left: " << id;
    }
  // Every periphery sink is reached through its port's chain, every
  // periphery driver leaves through its own.
  EXPECT_EQ(up(sink_of(s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))).size() >= 3, true);
  G u_in1 = up(sink_of(s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1)));
  ASSERT_GE(u_in1.size(), 4u);
  EXPECT_EQ(G(u_in1.begin(), u_in1.begin() + 4), in_chain(3, 1));
  G e_in = up(sink_of(s.e0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)));
  ASSERT_GE(e_in.size(), 3u);
  EXPECT_EQ(G(e_in.begin(), e_in.begin() + 3), in_chain(7, 0));
  const int src = routing().get_source_node(out(s.u0));
  ASSERT_NE(src, -1);
  EXPECT_EQ(routing().get_gid(routing().forest().first_child(src)), out_chain(3, 0)[0]);
}
