// Port translation: the single-in single-out walks on hand-made routing
// graphs, and the top-level port and block lookups on the generated device.
#include <iterator>
#include <list>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "gesk/gesk_bundle.h"
#include "gesk/gesk_tree.h"
#include "wump/wump_die_info.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "dev/dev_grid.h"
#include "w3j3/w3j3_port_map_db.h"
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_hand_graph.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using L = std::list<unsigned>;

namespace {

constexpr int PORT = 659, CHAIN = 703, WIRE = 700;
constexpr int CRF = 2, BLC = 1;

class PortTranslationWalkTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
  }
  VELMO_PORT_TRANSLATION_MGR mgr() { return VELMO_PORT_TRANSLATION_MGR(m_env); }
  WUMP_HAND_GRAPH_BUILDER g;
};

}  // namespace

TEST_F(PortTranslationWalkTest, ChainEndsAtTheCoreFabric) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), b = g.element(CHAIN), w = g.element(WIRE);
  g.chain({s, a, b}).edge(b, w, CRF);
  g.install();
  EXPECT_EQ(mgr().walk_forwards(s), (L{b, a, s}));
  // The fan-in walk of the same chain runs from its far end back.
  EXPECT_EQ(mgr().walk_backwards(b), L{});  // s has no fan-in: abandoned
}

TEST_F(PortTranslationWalkTest, StartsThatGiveNothingToTranslate) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), w = g.element(WIRE), lone = g.element(PORT);
  g.edge(s, a, BLC).edge(s, w, CRF);  // a CRF edge at hop 1 wins over the ordinary neighbour
  g.install();
  EXPECT_EQ(mgr().walk_forwards(0xFFFFFFFFu), L{0xFFFFFFFFu});
  EXPECT_EQ(mgr().walk_forwards(s), L{s});
  EXPECT_EQ(mgr().walk_forwards(lone), L{});  // no fan
  EXPECT_EQ(mgr().walk_backwards(s), L{});
}

TEST_F(PortTranslationWalkTest, TwoOrdinaryNeighboursAbandonTheWalk) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), b = g.element(CHAIN), w = g.element(WIRE);
  g.edge(s, a).edge(s, b).edge(a, w, CRF);  // b has no onward fan
  g.install();
  EXPECT_EQ(mgr().walk_forwards(s), L{});

  // An element already on the path counts as a second neighbour when it
  // comes after the candidate; before it, it is passed over.
  for (const bool back_edge_first : {false, true}) {
    SCOPED_TRACE(back_edge_first);
    WUMP_HAND_GRAPH_BUILDER h;
    const unsigned s2 = h.element(PORT), a2 = h.element(CHAIN), b2 = h.element(CHAIN), c2 = h.element(CHAIN);
    const unsigned w2 = h.element(WIRE);
    h.chain({s2, a2, b2});
    if (back_edge_first) h.edge(b2, a2);
    h.edge(b2, c2);
    if (!back_edge_first) h.edge(b2, a2);
    h.edge(c2, w2, CRF);
    h.install();
    EXPECT_EQ(mgr().walk_forwards(s2), back_edge_first ? (L{c2, b2, a2, s2}) : L{});
  }
}

TEST_F(PortTranslationWalkTest, OnFamily26ANeighbourWithoutOnwardFanDoesNotCount) {
  host::testing::device(Family::KZ).build();
  const unsigned s = g.element(PORT), a = g.element(CHAIN), b = g.element(CHAIN), w = g.element(WIRE);
  const unsigned d = g.element(CHAIN), b2 = g.element(CHAIN);
  // Neighbours without onward fan, before the candidate (b), after it (b2)
  // and on the next hop (d).
  g.edge(s, b).edge(s, a).edge(s, b2).edge(a, w, CRF).edge(a, d);
  g.install();
  EXPECT_EQ(mgr().walk_forwards(s), (L{a, s}));
}

TEST_F(PortTranslationWalkTest, TestAndReservedKindsAreSkipped) {
  const unsigned s = g.element(PORT), x = g.element(1339), t = g.element(1545), w = g.element(WIRE);
  g.edge(s, x).edge(s, t).edge(t, w, CRF).edge(x, w, CRF);
  g.install();
  // Every neighbour ignored: the path so far (the start) is kept.
  EXPECT_EQ(mgr().walk_forwards(s), L{s});
  cfg_set_off("port_translation_ignore_te_test_atoms");
  EXPECT_EQ(mgr().walk_forwards(s), (L{t, s}));
}

TEST_F(PortTranslationWalkTest, LoopsAndLaterCrfEdges) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), b = g.element(CHAIN), c = g.element(CHAIN);
  const unsigned w = g.element(WIRE);
  g.chain({s, a, s});  // loops back to the start
  g.install();
  EXPECT_EQ(mgr().walk_forwards(s), (L{a, s}));

  WUMP_HAND_GRAPH_BUILDER h;
  const unsigned s2 = h.element(PORT), a2 = h.element(CHAIN), b2 = h.element(CHAIN), c2 = h.element(CHAIN);
  const unsigned w2 = h.element(WIRE);
  // On the hop that meets the fabric, the neighbour appended on it stays.
  h.chain({s2, a2, b2}).edge(b2, w2, CRF).edge(b2, c2);
  h.install();
  EXPECT_EQ(mgr().walk_forwards(s2), (L{c2, b2, a2, s2}));
  (void)b, (void)c, (void)w;
}

TEST_F(PortTranslationWalkTest, TenHopsAreTooMany) {
  std::vector<unsigned> chain;
  for (int i = 0; i < 11; ++i) chain.push_back(g.element(i == 0 ? PORT : CHAIN));
  const unsigned w = g.element(WIRE);
  g.chain(chain).edge(chain.back(), w, CRF);
  g.install();
  EXPECT_EQ(mgr().walk_forwards(chain[0]), L{});
  // Nine hops still fit.
  EXPECT_EQ(mgr().walk_forwards(chain[2]).size(), 9u);
}

TEST_F(PortTranslationWalkTest, AStopSetEndsTheChainBeforeAPort) {
  const unsigned sink_port = g.element(PORT), x = g.element(CHAIN), driver_port = g.element(PORT);
  const unsigned w = g.element(WIRE);
  g.edge(w, driver_port, CRF).chain({driver_port, x, sink_port});
  g.install();
  auto m = mgr();
  std::vector<unsigned> path;
  ZMP::DENSE_HASH_SET<unsigned> stop;
  m.siso_walk_from_port_re_gid(path, sink_port, stop, &WUMP_ROUTE_INFO::begin_fanin_gids,
                               &WUMP_ROUTE_INFO::end_fanin_gids);
  EXPECT_EQ(path, (std::vector<unsigned>{sink_port, x, driver_port}));
  stop.insert(driver_port);
  path.clear();
  m.siso_walk_from_port_re_gid(path, sink_port, stop, &WUMP_ROUTE_INFO::begin_fanin_gids,
                               &WUMP_ROUTE_INFO::end_fanin_gids);
  EXPECT_EQ(path, (std::vector<unsigned>{sink_port, x}));
}

TEST_F(PortTranslationWalkTest, VerboseWalkDescribesEachElementAndWhyItEnds) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), w = g.element(WIRE);
  g.chain({s, a}).edge(a, w, CRF);
  // Starts for the other endings: no fan, the fabric right away, two
  // ordinary neighbours, a chain too long.
  const unsigned lone = g.element(PORT), at_fabric = g.element(PORT), fork = g.element(PORT);
  const unsigned f1 = g.element(CHAIN), f2 = g.element(CHAIN);
  g.edge(at_fabric, w, CRF).edge(fork, f1).edge(fork, f2).edge(f1, w, CRF).edge(f2, w, CRF);
  std::vector<unsigned> longer{g.element(PORT)};
  for (int i = 0; i < 11; ++i) longer.push_back(g.element(CHAIN));
  g.chain(longer).edge(longer.back(), w, CRF);
  g.install();
  cfg_set_on("velmo_verbose_port_translation");
  mgr().walk_forwards(s);
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "* Now SISO walking", "\t- ICD_PORT_X0Y0_in[0]:ICD_PORT sub-location 0 (GID 2147483648)",
                                        "\t\t- Ended: node has fan-in with 1 or more CRF edges"}));
  struct CASE {
    unsigned start;
    const char* why;
  };
  for (const CASE& c : {CASE{lone, "\t\t- Aborted: node has no fan"},
                        CASE{at_fabric, "\t\t- Aborted: node has fan-in with 1 or more CRF edges right at the very "
                                        "beginning (Port translation not required)"},
                        CASE{fork, "\t\t- Aborted: node has fan-in with more than 1 non-CRF edge"},
                        CASE{longer[0], "\t\t- Too many hops (10 > max=10). Aborting"}}) {
    SCOPED_TRACE(c.why);
    const std::size_t mark = host::debug::texts().size();
    mgr().walk_forwards(c.start);
    const std::vector<std::string> all = host::debug::texts();
    EXPECT_THAT(std::vector<std::string>(all.begin() + static_cast<long>(mark), all.end()), HasDebugLine(c.why));
  }
  // Quiet without the switch.
  cfg_set_off("velmo_verbose_port_translation");
  const std::size_t mark = host::debug::texts().size();
  mgr().walk_forwards(fork);
  EXPECT_EQ(host::debug::texts().size(), mark);
}

// ---- lookups on the generated device -----------------------------------------

namespace {
class PortLookupTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
    auto n = host::testing::netlist();
    m_uib = n.atom(VOK_ATOM_KIND::UFI_UIB, "u").input(DB_INPUT_PORT_DATA_IN, 0, n.input_port("i"));
    m_inst = host::testing::gesk_instance("u_inst", 3, 9, 0);
  }
  VOK_ATOM_OTERM* out() const { return m_uib->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0); }
  static unsigned port(int index) { return host::testing::periphery_chain_gid(3, 9, index, 0); }
  VOK_ATOM_NODE* m_uib = nullptr;
  int m_inst = 0;
};
}  // namespace

TEST_F(PortLookupTest, OneGidPerEntryInOrder) {
  VELMO_PORT_TRANSLATION_MGR m(m_env);
  std::vector<unsigned> v;
  ZMP::DENSE_HASH_SET<unsigned> set;
  m.append_top_level_port_gids(std::back_inserter(v), out(), BLC_PORT_OUTPUT);
  m.append_top_level_port_gids(VELMO_GID_SET_INSERTER(set), out(), BLC_PORT_OUTPUT);
  EXPECT_TRUE(v.empty());
  EXPECT_TRUE(set.empty());
  m.append_top_level_port_gids(std::back_inserter(v), static_cast<const VOK_ATOM_OTERM*>(nullptr), BLC_PORT_OUTPUT);
  EXPECT_TRUE(v.empty());

  host::testing::map_port(out(), m_inst, "out[2]");
  host::testing::map_port(out(), m_inst, "out[0]");
  host::testing::map_port(out(), m_inst, "out[2]");
  m.append_top_level_port_gids(std::back_inserter(v), out(), BLC_PORT_OUTPUT);
  m.append_top_level_port_gids(VELMO_GID_SET_INSERTER(set), out(), BLC_PORT_OUTPUT);
  EXPECT_EQ(v, (std::vector<unsigned>{port(6), port(4), port(6)}));
  EXPECT_EQ(set.size(), 2u);
  EXPECT_TRUE(set.exists(port(4)));
  // The verbose trace names each entry's atom, ICD port, gid and number.
  cfg_set_on("velmo_verbose_port_translation");
  v.clear();
  VELMO_PORT_TRANSLATION_MGR(m_env).append_top_level_port_gids(std::back_inserter(v), out(), BLC_PORT_OUTPUT);
  std::vector<std::string> named;
  for (const std::string& t : host::debug::texts())
    if (t.rfind("TERM ", 0) == 0 && t.find(" of atom " + std::to_string(m_uib->get_id()) + " (u) of type = ") != std::string::npos)
      named.push_back(t.substr(t.find(" has a ICD name")));
  EXPECT_EQ(named, (std::vector<std::string>{
                       " has a ICD name of out[2] with gid=" + std::to_string(port(6)) + " (mapping 0)",
                       " has a ICD name of out[0] with gid=" + std::to_string(port(4)) + " (mapping 1)",
                       " has a ICD name of out[2] with gid=" + std::to_string(port(6)) + " (mapping 2)"}));
}

TEST_F(PortLookupTest, APortNotFoundInItsDirectionIsLookedUpAsBidirectional) {
  VELMO_PORT_TRANSLATION_MGR m(m_env);
  host::testing::map_port(out(), m_inst, "in[1]");
  std::vector<unsigned> v;
  m.append_top_level_port_gids(std::back_inserter(v), out(), BLC_PORT_OUTPUT);
  EXPECT_EQ(v, std::vector<unsigned>{port(1)});
}

TEST_F(PortLookupTest, LookupFailuresAreInternalErrors) {
  struct CASE {
    const char* icd;
    int instance;
    const char* error;
  };
  const int outside = host::testing::gesk_instance("nowhere", -4, 2, 0);
  const int no_z = host::testing::gesk_instance("no_z", 3, 9, 7);
  int i = 0;
  for (CASE c : {CASE{"out[0]", GESK_TREE::INVALID, "instance_id != GESK_TREE::INVALID"},
                 CASE{"out[0]", outside, "place_block_gids.size() > 0"},
                 CASE{"out[0]", no_z, "place_block_gid != DEV_ILLEGAL_GLOBAL_ID"},
                 CASE{"clk[0]", m_inst, "port_re_gid != DEV_ILLEGAL_GLOBAL_ID"}}) {
    SCOPED_TRACE(c.error);
    VOK_ATOM_NODE* a = host::testing::netlist().atom(VOK_ATOM_KIND::UFI_ESRAM, "e" + std::to_string(i++));
    host::testing::map_port(a->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), c.instance, c.icd);
    VELMO_PORT_TRANSLATION_MGR m(m_env);
    std::vector<unsigned> v;
    auto err = host::testing::expect_internal_error(
        [&] { m.append_top_level_port_gids(std::back_inserter(v), a->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), BLC_PORT_OUTPUT); });
    EXPECT_EQ(err.condition, c.error);
    EXPECT_EQ(err.file, "velmo_port_translation");
  }
  EXPECT_EQ(VELMO_PORT_TRANSLATION_MGR(m_env).get_place_block_gid_from_jev_info(m_inst),
            host::device::die_info()->get_place_info()->get_global_id(0, 3, 9, 0));
}

TEST_F(PortLookupTest, TheManagerNeedsALoadedBundle) {
  // The pass looks the bundle up again: one unloaded after the manager was
  // made stops it too.
  VELMO_PORT_TRANSLATION_MGR made(m_env);
  host::gesk::load(false, false);
  auto err = host::testing::expect_internal_error([&] { made.perform_port_translation(); });
  EXPECT_EQ(err.condition, "GESK chip must be loaded before running delay annotation!");
  EXPECT_EQ(err.file, "velmo_port_translation");
  err = host::testing::expect_internal_error([&] { VELMO_PORT_TRANSLATION_MGR m(m_env); });
  EXPECT_EQ(err.condition, "GESK chip must be loaded before running delay annotation!");
}

TEST_F(PortLookupTest, ProcessedAtomKinds) {
  auto n = host::testing::netlist();
  VELMO_PORT_TRANSLATION_MGR m(m_env);
  EXPECT_TRUE(m.process_atom_of_type(m_uib));
  EXPECT_TRUE(m.process_atom_of_type(n.zota_reg("z")));  // a register of another type code
  EXPECT_TRUE(m.process_atom_of_type(n.io_in("pin")));
  EXPECT_FALSE(m.process_atom_of_type(n.reg("r")));
  EXPECT_FALSE(m.process_atom_of_type(n.lut("l", {n.input_port("x")}, 0x2)));
  EXPECT_FALSE(m.process_atom_of_type(n.ram("ram")));
  EXPECT_FALSE(m.process_atom_of_type(n.lutram("lr")));
  EXPECT_FALSE(m.process_atom_of_type(n.mac("mac")));
  EXPECT_FALSE(m.process_atom_of_type(n.fp_mac("fp")));
  VOK_ATOM_NODE* ela = n.atom(VOK_ATOM_KIND::UFI_UIB, "ela");
  EXPECT_TRUE(m.process_atom_of_type(ela));
  ela->set_io_roles(VOK_ATOM_NODE::IO_ROLE_JTAG_ELA);
  EXPECT_FALSE(m.process_atom_of_type(ela));
}

// The port map as the port-map step recomputes it from placement: pins and
// periphery blocks get entries whose ports walk to their interface chains.
TEST_F(PortLookupTest, PortMapRecomputedFromPlacementWalksPinAndBlockChains) {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  auto n = host::testing::netlist();
  auto ibuf = n.io_in("din");
  VOK_ATOM_NODE* r = n.reg("r").d(ibuf);  // unplaced: the pin's net leaves the pin
  auto dout = n.io_out("dout", r);
  VOK_ATOM_NODE* obuf = n.find("dout~obuf");
  host::testing::place_at(n.find("din"), 0, 2, 1);
  host::testing::place_at(ibuf, 0, 2, 2);
  host::testing::place_at(obuf, 0, 2, 9);
  host::testing::place_at(dout, 0, 2, 7);
  vok_connect(r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), m_uib->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  n.reg("after_u").d(m_uib);
  host::testing::place_at(m_uib, 3, 9, 0);

  const VOK_ATOM_OTERM* pin_out = ibuf->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0);
  const VOK_ATOM_ITERM* pin_in = obuf->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
  const W3J3_PORT_MAP_DB* db = GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db();
  const GESK_TREE* tree = GESK_BUNDLE_SINGLETON::get_bundle()->get_instance_tree();
  auto entries = [&](const auto* term) { return db->get_port_map_results(W3J3_LOGICAL_PORT_FACTORY::create(term), 1); };
  auto icd = [&](const auto* term) {
    const auto e = entries(term);
    return e.size() == 1 ? tree->get_icd_port_name(e[0].value) : std::string("(") + std::to_string(e.size()) + ")";
  };

  EXPECT_EQ(host::w3j3::recompute_port_map(), 4);
  EXPECT_EQ(icd(pin_out), "out[0]");
  EXPECT_EQ(icd(pin_in), "in[1]");
  EXPECT_EQ(icd(m_uib->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)), "in[0]");
  EXPECT_EQ(icd(out()), "out[0]");
  // Connections inside a pin get none.
  EXPECT_TRUE(entries(n.find("din")->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0)).empty());
  EXPECT_TRUE(entries(ibuf->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)).empty());
  const GESK_INSTANCE* pin1 = tree->get_instance(tree->get_instance_id(entries(pin_in)[0].value));
  ASSERT_NE(pin1, nullptr);
  EXPECT_EQ(pin1->get_name(), "IO_X0_Y2_N1");
  EXPECT_EQ(pin1->get_z(), DEV_GRID::SITES_PER_PIN);

  // The port translation finds each port and walks its chain to the fabric.
  VELMO_PORT_TRANSLATION_MGR m(m_env);
  std::vector<unsigned> gids;
  m.append_top_level_port_gids(std::back_inserter(gids), pin_out, BLC_PORT_OUTPUT);
  m.append_top_level_port_gids(std::back_inserter(gids), pin_in, BLC_PORT_INPUT);
  ASSERT_EQ(gids.size(), 2u);
  EXPECT_EQ(gids[0], info->get_block_icd_port_gid(grid.site_gid(0, 2, 0), 2, "out[0]"));
  EXPECT_EQ(GESK_BUNDLE_SINGLETON::get_bundle()->get_device()->get_port_gid(entries(pin_out)[0].value), gids[0]);
  const L forwards = m.walk_forwards(gids[0]), backwards = m.walk_backwards(gids[1]);
  ASSERT_GE(forwards.size(), 2u);
  ASSERT_GE(backwards.size(), 2u);
  EXPECT_EQ(static_cast<int>(info->get_dev_element_from_gid(forwards.front())), CHAIN);
  EXPECT_EQ(static_cast<int>(info->get_dev_element_from_gid(backwards.front())), CHAIN);
  // The pass hangs the pin's two-element chain (its port, then the interface
  // element) above the output buffer's sink.
  host::testing::routing().attach();
  VELMO_PORT_TRANSLATION_MGR(m_env).perform_port_translation();
  const VOK_RE_ROUTING& routing = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  const auto sinks = routing.get_sink_nodes(pin_in);
  ASSERT_EQ(sinks.size(), 1u);
  std::vector<unsigned> above;
  for (int id = routing.forest().parent(sinks[0]); id != -1 && routing.is_wire(id); id = routing.forest().parent(id))
    above.push_back(routing.get_gid(id));
  EXPECT_EQ(above, (std::vector<unsigned>{gids[1], backwards.front()}));

  // Again: the same entries. A moved pin's entries follow it; an entry made by
  // hand stays, and the terminal gets no second one.
  const auto before = entries(pin_out);
  EXPECT_EQ(host::w3j3::recompute_port_map(), 4);
  EXPECT_EQ(entries(pin_out), before);
  host::testing::place_at(n.find("din"), 0, 3, 1);
  host::testing::place_at(ibuf, 0, 3, 2);
  host::testing::map_port(m_uib->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), m_inst, "in[3]");
  EXPECT_EQ(host::w3j3::recompute_port_map(), 3);
  EXPECT_EQ(icd(pin_out), "out[0]");
  EXPECT_EQ(tree->get_instance(tree->get_instance_id(entries(pin_out)[0].value))->get_name(), "IO_X0_Y3_N0");
  EXPECT_EQ(icd(m_uib->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)), "in[3]");
  // Unplaced, the pins lose theirs.
  for (VOK_ATOM_NODE* a : {static_cast<VOK_ATOM_NODE*>(ibuf), obuf, n.find("din"), static_cast<VOK_ATOM_NODE*>(dout)})
    a->set_location(0xFFFFFFFFu, 0);
  EXPECT_EQ(host::w3j3::recompute_port_map(), 1);
  EXPECT_TRUE(entries(pin_out).empty());
  EXPECT_TRUE(entries(pin_in).empty());
}

// Every pin and periphery port of the device walks to a chain of interface
// elements that ends at the core fabric.
TEST_F(PortLookupTest, EveryPinAndBlockPortHasAnInterfaceChain) {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  VELMO_PORT_TRANSLATION_MGR m(m_env);
  int walked = 0, pads = 0;
  for (int x = 0; x < grid.nx(); ++x)
    for (int y = 0; y < grid.ny(); ++y) {
      const DEV_TILE_KIND k = grid.tile_kind(x, y);
      if (k != DEV_TILE_KIND::PAD && k != DEV_TILE_KIND::PERIPHERY) continue;
      const int ports = k == DEV_TILE_KIND::PAD ? grid.pins_per_pad_tile() : 4;
      for (int q = 0; q < ports; ++q) {
        const unsigned block = grid.site_gid(x, y, k == DEV_TILE_KIND::PAD ? q * DEV_GRID::SITES_PER_PIN : 0);
        const std::string i = "[" + std::to_string(q) + "]";
        for (const bool input : {true, false}) {
          SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y) + (input ? " in" : " out") + i);
          const unsigned gid = info->get_block_icd_port_gid(block, input ? 1 : 2, (input ? "in" : "out") + i);
          ASSERT_NE(gid, WUMP_ILLEGAL_GID);
          const L chain = input ? m.walk_backwards(gid) : m.walk_forwards(gid);
          ASSERT_GE(chain.size(), 2u);
          EXPECT_EQ(chain.back(), gid);
          EXPECT_EQ(static_cast<int>(info->get_dev_element_from_gid(chain.front())), CHAIN);
          ++walked;
          if (k == DEV_TILE_KIND::PAD) ++pads;
        }
      }
    }
  EXPECT_GT(pads, 0);
  EXPECT_GT(walked, pads);
}
