// What the periphery-core pass reports per group: the registers actually
// committed out of the group's transfers, also when part of a group is left
// unsolved and partial placement is allowed.
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
  // The result lines of the pass's finish message.
  static std::vector<std::string> results() {
    std::vector<std::string> out;
    for (const auto& m : host::messages::posted())
      if (m.id == 16239)
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
