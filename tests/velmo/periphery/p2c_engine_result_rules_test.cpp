// What the periphery-core pass reports per group: the registers actually
// committed out of the group's transfers, also when part of a group is left
// unsolved and partial placement is allowed; every group, or the totals over
// all of them.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"

using host::testing::periphery_chain_gid;
using host::testing::cut_routing_at;

namespace {

constexpr int INT = 4;

class P2cEngineResultRulesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    s = host::testing::scenes::kx_periphery();
  }
  static unsigned site(int x, int y, int z) {
    return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z);
  }
  // A UIB at (x, 9) mapped to its own instance, feeding a new core register
  // (returned) that asks for a transfer of four wires.
  static VOK_ATOM_NODE* uib_transfer(host::testing::NETLIST_BUILDER& n, const std::string& name, int x) {
    VOK_ATOM_NODE* u = n.atom(VOK_ATOM_KIND::UFI_UIB, name).placed(site(x, 9, 0), dev_kind::UIB);
    VOK_ATOM_NODE* r = n.reg("r_" + name).d(u);
    host::testing::map_port(u->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0),
                            host::testing::gesk_instance(name + "_inst", x, 9, 0), "out[0]");
    host::options::set(838, INT, "4", r->get_string_hpath());
    return r;
  }
  // The result lines of the pass's finish messages posted from the
  // `from`-th message on.
  static std::vector<std::string> results(std::size_t from = 0) {
    std::vector<std::string> out;
    const auto all = host::messages::posted();
    for (std::size_t i = from; i < all.size(); ++i)
      if (const auto& m = all[i]; m.id == 16239)
        for (const auto& sub : m.subs) out.push_back(sub.text.substr(0, sub.text.find(" core register")));
    return out;
  }
  host::testing::scenes::KX_PERIPHERY s;
};

}  // namespace

// Three transfers of one group, one of them cut off behind its port: with
// partial placement allowed the two solved are committed and the group
// reports two of three.
TEST_F(P2cEngineResultRulesTest, APartlySolvedGroupReportsTheRegistersCommitted) {
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> regs{uib_transfer(n, "u1", 6), uib_transfer(n, "u2", 9)};
  VOK_ATOM_NODE* r0 = n.reg("r0").d(s.u0);
  host::options::set(838, INT, "4", r0->get_string_hpath());
  DeviceSpec spec = host::device::spec();
  cut_routing_at(spec, periphery_chain_gid(9, 9, 4, 2), true);
  host::device::configure(spec);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_TRUE(regs[0]->is_placed());
  EXPECT_TRUE(r0->is_placed());
  EXPECT_FALSE(regs[1]->is_placed());
  EXPECT_EQ(results(), std::vector<std::string>{"Placed and routed 2 of 3"});
  for (const auto& m : host::messages::posted()) EXPECT_NE(m.id, 16656u) << "a shortfall warning: " << m.text;
}

// Each group is reported on a line of its own, in group order, with what it
// committed out of its own size and whether it was routed; with the slack
// estimation on, the lines are totals over every group instead.
TEST_F(P2cEngineResultRulesTest, EveryGroupIsReportedAndTotalled) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* wired = n.reg("wired").d(s.u0);  // a wire requirement: placed only
  host::options::set(838, INT, "4", wired->get_string_hpath());
  VOK_ATOM_NODE* timed = n.reg("timed").d(s.e0);  // a delay requirement: routed
  host::options::set(841, INT, "20000", timed->get_string_hpath());
  VOK_ATOM_NODE* cut_off = uib_transfer(n, "u2", 9);  // a group of its own, left unsolved
  host::options::set(838, INT, "3", cut_off->get_string_hpath());
  DeviceSpec spec = host::device::spec();
  cut_routing_at(spec, periphery_chain_gid(9, 9, 4, 2), true);
  host::device::configure(spec);
  const auto run = [&] {
    for (VOK_ATOM_NODE* r : {wired, timed, cut_off}) r->clear_location();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
    const std::size_t mark = host::messages::posted().size();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_TRUE(wired->is_placed());
    EXPECT_TRUE(timed->is_placed());
    EXPECT_FALSE(cut_off->is_placed());
    return results(mark);
  };
  EXPECT_EQ(run(), (std::vector<std::string>{"Placed 1 of 1", "Placed and routed 1 of 1", "Placed 0 of 1"}));
  cfg_set_on("velmo_p2c_perform_slack_estimation");
  EXPECT_EQ(run(), (std::vector<std::string>{"Placed (but not routed) 1 of 3", "Placed and routed 1 of 3"}));
}

// A core-to-periphery group solved only in part, with partial placement
// disallowed, is placed only, like the other direction: the solved register
// is committed without a route and reported placed but not routed (the
// direction's end message still names the routing it would have done), and
// the shortfall is warned of.
TEST_F(P2cEngineResultRulesTest, APartlySolvedC2pGroupWithPartialPlacementOffIsPlacedOnly) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  std::vector<VOK_ATOM_NODE*> regs;
  std::vector<VOK_ATOM_ITERM*> ports;
  for (const int x : {6, 9}) {
    const std::string name = "u" + std::to_string(x);
    regs.push_back(n.reg("r_" + name).clk(clk));
    VOK_ATOM_NODE* u = n.atom(VOK_ATOM_KIND::UFI_UIB, name)
                           .input(DB_INPUT_PORT_DATA_IN, 0, regs.back())
                           .placed(site(x, 9, 0), dev_kind::UIB);
    ports.push_back(u->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    host::testing::map_port(ports.back(), host::testing::gesk_instance(name + "_inst", x, 9, 0), "in[0]");
    host::options::set(843, INT, "3", regs.back()->get_string_hpath());
  }
  // The port at x = 9 is cut off from the core.
  DeviceSpec spec = host::device::spec();
  ASSERT_TRUE(cut_routing_at(spec, periphery_chain_gid(9, 9, 0, 2), false));
  host::device::configure(spec);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  cfg_set_on("velmo_disallow_partial_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  ASSERT_TRUE(regs[0]->is_placed());
  EXPECT_FALSE(regs[1]->is_placed());
  EXPECT_EQ(p.c2p_result_status(regs[0]->get_string_hpath()), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
  EXPECT_TRUE(VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(ports[0]).empty());
  std::vector<std::string> lines;
  std::size_t warnings = 0;
  for (const auto& m : host::messages::posted()) {
    warnings += m.id == 16657 ? 1 : 0;
    if (m.id != 16246) continue;
    EXPECT_EQ(m.text.rfind("Register placement and routing for core-periphery transfers ending: elapsed time is ", 0), 0u)
        << m.text;
    for (const auto& sub : m.subs) lines.push_back(sub.text.substr(0, sub.text.find(" core register")));
  }
  EXPECT_EQ(warnings, 1u);
  EXPECT_EQ(lines, std::vector<std::string>{"Placed 1 of 2"});
}
