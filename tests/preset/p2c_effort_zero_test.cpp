// The periphery-core group solve while p2c_effort_level was 0 when the
// component was loaded (this executable's preset): the first solve stands,
// its leftovers are not retried.
#include <vector>

#include "common/host_call_log.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"

namespace {

class P2cEffortZeroTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::scenes::kx_periphery();
  }
  static int port(int port_index) {
    return static_cast<int>(host::testing::periphery_chain_gid(3, 9, port_index, 2) & 0x7FFFFFFFu);
  }
};

TEST_F(P2cEffortZeroTest, OneSolveKeepsItsLeftovers) {
  ASSERT_EQ(velmo_p2c_settings().p2c_effort_level, 0);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  P2C_MATRIX_STRUCT m;
  m.min_wire = 1;
  m.max_wire = 4;
  // An input port is never solvable going out of the periphery: at any
  // effort above 0 the group would be retried.
  host::clear_calls();
  std::vector<int> first;
  const JUK::FOREST<int, int> f = p.solve_group({port(0), port(6)}, m, true, true, &first);
  EXPECT_EQ(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  EXPECT_EQ(first, std::vector<int>{port(0)});
  ASSERT_NE(f.roots_begin(), f.roots_end());
  EXPECT_EQ(f.payload(f.roots_begin().id()), port(6));
}

}  // namespace
