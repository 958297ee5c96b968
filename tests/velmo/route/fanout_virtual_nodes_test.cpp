// Fan-out limits and the routing's virtual nodes: a net under a virtual
// source (a periphery chain routed in part) or ending in a virtual sink has
// nodes that are no routing elements; they are never checked against a limit.
#include <gtest/gtest.h>

#include "testing/host_test.h"
#include "testing/periphery_scene.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"

namespace {
class FanoutVirtualNodesTest : public host::testing::EnvTest {};
}  // namespace

TEST_F(FanoutVirtualNodesTest, VirtualSourcesAndSinksAreNoViolations) {
  auto s = host::testing::scenes::kx_periphery();  // holds a chain under a virtual source
  auto r = host::testing::routing();
  r.routing(s.c).wire(host::testing::h(2, 2)).virtual_sink();
  r.attach();
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true));
}
