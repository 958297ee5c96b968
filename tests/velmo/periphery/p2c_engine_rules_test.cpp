// The periphery-core placement passes, rule by rule: a group solved whole
// posts no shortfall warning, and a failed direction ends the pass before
// the other one starts.
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

namespace {

constexpr int INT = 4;

class P2cEngineRulesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    s = host::testing::scenes::kx_periphery();
  }
  static void assign(VOK_ATOM_NODE* atom, int code, const std::string& value) {
    host::options::set(code, INT, value, atom->get_string_hpath());
  }
  static unsigned site(int x, int y, int z) {
    return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z);
  }
  static std::vector<POSTED_MESSAGE> posted(unsigned id) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.id == id) out.push_back(m);
    return out;
  }
  host::testing::scenes::KX_PERIPHERY s;
};

}  // namespace

// With partial placement disallowed, a group whose every transfer is solved
// is committed without the shortfall warning.
TEST_F(P2cEngineRulesTest, AWholeSolvedGroupPostsNoShortfallWarning) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r0 = n.reg("r0").d(s.u0);
  VOK_ATOM_NODE* r1 = n.reg("r1").d(s.e0);
  assign(r0, 838, "4");
  assign(r1, 838, "4");
  cfg_set_on("velmo_disallow_partial_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_TRUE(r0->is_placed());
  EXPECT_TRUE(r1->is_placed());
  EXPECT_TRUE(posted(16656).empty());
}

// A periphery-to-core group with inconsistent requirements ends the pass:
// the core-to-periphery groups are not started at all.
TEST_F(P2cEngineRulesTest, AFailedPeripheryToCoreGroupEndsThePassBeforeTheOtherDirection) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* q = n.reg("q").d(s.e0);
  assign(q, 841, "100");
  assign(q, 842, "300");
  // A core-to-periphery transfer that would be placed on its own.
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* c = n.reg("cr").clk(clk);
  VOK_ATOM_NODE* u1 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u1")
                          .input(DB_INPUT_PORT_DATA_IN, 0, c)
                          .placed(site(6, 9, 0), dev_kind::UIB);
  host::testing::map_port(u1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                          host::testing::gesk_instance("u1_inst", 6, 9, 0), "in[0]");
  assign(c, 845, "3");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT alone(m_env);
    host::options::unset(841, q->get_string_hpath());
    host::options::unset(842, q->get_string_hpath());
    ASSERT_TRUE(alone.periphery_to_core_register_placement());
    ASSERT_TRUE(c->is_placed());
    c->clear_location();
    q->clear_location();
  }
  assign(q, 841, "100");
  assign(q, 842, "300");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_FALSE(p.periphery_to_core_register_placement());
  EXPECT_EQ(posted(16293).size(), 1u);
  EXPECT_FALSE(c->is_placed());
  EXPECT_EQ(p.c2p_result_status("cr"), VELMO_PERIPHERY_CORE_PLACEMENT::NOT_OPTIMIZED);
}
