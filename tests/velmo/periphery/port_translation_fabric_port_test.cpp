// Port translation of ports that meet the fabric right away: a port whose
// first hop is a core-routing edge has no chain to translate, so nothing is
// hung for it, on the driver's side or the sink's, while the driver's other
// ports are translated as usual.
#include <string>
#include <vector>

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

constexpr int kCoreGraph = 2;

class PortTranslationFabricPortTest : public host::testing::EnvTest {
protected:
  VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
  void translate() { VELMO_PORT_TRANSLATION_MGR(m_env).perform_port_translation(); }
  int sink_of(VOK_ATOM_ITERM* t) {
    auto v = routing().get_sink_nodes(t);
    return v.empty() ? -1 : v[0];
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
  int live_nodes() {
    int n = 0;
    for (int id = 0; id < routing().forest().num_slots(); ++id) n += routing().is_live(id) ? 1 : 0;
    return n;
  }
  VOK_ATOM_ITERM* connect(VOK_ATOM_NODE* to, int index, VOK_ATOM_NODE* from) {
    host::testing::GENERIC_BUILDER(to).input(DB_INPUT_PORT_DATA_IN, index, from);
    return to->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, index);
  }
  static VOK_ATOM_OTERM* out(VOK_ATOM_NODE* atom) { return atom->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0); }
  // The input chain of port q of the block at (x, 9), the port first.
  static G in_chain(int x, int q) {
    G g;
    for (int k = 0; k < 3 + (q & 1); ++k) g.push_back(periphery_chain_gid(x, 9, q, k));
    return g;
  }
  static G out_chain(int x, int q) {
    G g;
    for (int k = 0; k < 3 + (q & 1); ++k) g.push_back(periphery_chain_gid(x, 9, 4 + q, k));
    return g;
  }
};

}  // namespace

TEST_F(PortTranslationFabricPortTest, APortWhoseFirstHopIsCoreRoutingGetsNothingHung) {
  host::testing::device(Family::KX).build();
  const auto* place = host::device::die_info()->get_place_info();
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* u0 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u0").placed(place->get_global_id(0, 3, 9, 0), 1010);
  VOK_ATOM_NODE* e0 = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e0").placed(place->get_global_id(0, 7, 9, 0), 1011);
  const int ui = host::testing::gesk_instance("u0_inst", 3, 9, 0);
  const int ei = host::testing::gesk_instance("e0_inst", 7, 9, 0);
  // u0 drives two ESRAM inputs; the first one's port is entered from the
  // core routing right away.
  VOK_ATOM_ITERM* e_in0 = connect(e0, 0, u0);
  VOK_ATOM_ITERM* e_in1 = connect(e0, 1, u0);
  host::testing::map_port(out(u0), ui, "out[0]");
  host::testing::map_port(e_in0, ei, "in[0]");
  host::testing::map_port(e_in1, ei, "in[1]");
  WUMP_HAND_GRAPH_BUILDER::set_edge_graph(in_chain(7, 0)[1], in_chain(7, 0)[0], kCoreGraph);
  // e0 drives a UIB input; e0's output port leaves into the core routing
  // right away.
  VOK_ATOM_ITERM* u_in0 = connect(u0, 0, e0);
  host::testing::map_port(out(e0), ei, "out[1]");
  host::testing::map_port(u_in0, ui, "in[0]");
  WUMP_HAND_GRAPH_BUILDER::set_edge_graph(out_chain(7, 1)[0], out_chain(7, 1)[1], kCoreGraph);
  host::testing::routing().attach();
  translate();

  // Sink side: the fabric-entered port has no sink node and no chain; its
  // sibling hangs below its whole chain.
  EXPECT_EQ(sink_of(e_in0), -1);
  EXPECT_EQ(up(sink_of(e_in1)), in_chain(7, 1));
  const int u_src = routing().get_source_node(out(u0));
  ASSERT_NE(u_src, -1);
  EXPECT_EQ(routing().get_gid(routing().forest().first_child(u_src)), out_chain(3, 0)[0]);

  // Driver side: e0 gets no source node (nothing of its port to hang); its
  // sink below a UIB port still gets its chain, under a virtual source.
  EXPECT_EQ(routing().get_source_node(out(e0)), -1);
  int top = -1;
  EXPECT_EQ(up(sink_of(u_in0), &top), in_chain(3, 0));
  ASSERT_NE(top, -1);
  EXPECT_EQ(routing().get_value(top), VOK_RE_ROUTING::VIRTUAL_VALUE);
  EXPECT_EQ(routing().forest().parent(top), -1);

  // u0's tree (source, 3 chain wires, virtual sink, e_in1's 4 wires and
  // sink) and e0's sink tree (virtual source, 3 wires, sink): nothing else.
  EXPECT_EQ(live_nodes(), 10 + 5);
}
