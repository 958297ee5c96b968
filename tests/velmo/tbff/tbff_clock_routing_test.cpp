// Register discovery of the time-borrowing optimiser needs each pipeline
// register's clock routing: it finds the register's group by climbing it.
#include <vector>

#include "tbff_fixture.h"
#include "velmo_tbff_autoborrow.h"

using host::testing::expect_internal_error;

namespace {

using tbff_test::TbffTest;

TEST_F(TbffTest, PipelineRegisterWithoutClockRoutingStops) {
  build({3, 5});
  {
    TBFF_OPTIMIZATION_KY routed(m_env);
    routed.find_all_interested_regs();
    EXPECT_FALSE(routed.pmux_groups().empty());
  }
  VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const VOK_ATOM_ITERM* clk = m_regs[1]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  const std::vector<int> sinks = routing->get_sink_nodes(clk);
  ASSERT_FALSE(sinks.empty());
  for (int sink : sinks) routing->erase(sink);
  ASSERT_TRUE(routing->get_sink_nodes(clk).empty());
  TBFF_OPTIMIZATION_KY ky(m_env);
  EXPECT_EQ(expect_internal_error([&] { ky.find_all_interested_regs(); }).condition, "re_id != JUK::INVALID_ID");
}

}  // namespace
