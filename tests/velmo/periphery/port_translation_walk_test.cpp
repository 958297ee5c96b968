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
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
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

TEST_F(PortTranslationWalkTest, VerboseWalkDescribesEachElement) {
  const unsigned s = g.element(PORT), a = g.element(CHAIN), w = g.element(WIRE);
  g.chain({s, a}).edge(a, w, CRF);
  g.install();
  cfg_set_on("velmo_verbose_port_translation");
  mgr().walk_forwards(s);
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "* Now SISO walking", "\t- ICD_PORT_X0Y0_in[0]:ICD_PORT sub-location 0 (GID 2147483648)",
                                        "\t\t- Ended: node has fan-in with 1 or more CRF edges"}));
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
  host::gesk::load(false, false);
  auto err = host::testing::expect_internal_error([&] { VELMO_PORT_TRANSLATION_MGR m(m_env); });
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
}
