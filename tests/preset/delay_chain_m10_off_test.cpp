// Delay chains on family 46 while enable_m10_io_delay_chain was off when the
// component was loaded (this executable's preset): every step succeeds at
// once and does nothing.
#include <algorithm>
#include <string>

#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_delay_chain_op.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

namespace {

class DelayChainM10OffTest : public host::testing::EnvTest {};

TEST_F(DelayChainM10OffTest, EveryStepOnFamily46SucceedsWithoutWork) {
  host::testing::device(host::testing::Family::KY).build();
  auto n = host::testing::netlist();
  n.io_in("din");
  VOK_ATOM_NODE* din = n.find("din");
  host::options::set(host::dc::moz_variable_of(449), 4, "9", "din");
  yos_current_interface()->set_uint_data(din, static_cast<YOS_UINT_DATA_ENUM>(449), 9);
  VELMO_DELAY_CHAIN_OP op(m_env);
  for (int step = -1; step <= 10; ++step)
    EXPECT_TRUE(op.work(static_cast<VELMO_DELAY_CHAIN_OP::DELAY_CHAIN_STEP>(step))) << step;
  VELMO_DELAY_CHAIN_OP again(m_env);
  EXPECT_TRUE(again.work(VELMO_DELAY_CHAIN_OP::NETLIST_FLOW_LEGALITY_CHECK));

  const auto texts = host::debug::texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "****** HACK WARNING ******"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "\tDescription: Pellam Delay Chain Support."), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "**** END HACK WARNING ****"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "            * SUCCESS *"), 0);
  EXPECT_TRUE(host::messages::posted().empty());
  unsigned v = 0;
  yos_current_interface()->get_uint_data(din, static_cast<YOS_UINT_DATA_ENUM>(449), &v);
  EXPECT_EQ(v, 9u);
}

TEST_F(DelayChainM10OffTest, OtherFamiliesStillRunTheirSteps) {
  host::testing::device(host::testing::Family::KZ).build();
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO));
  const auto texts = host::debug::texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "            * SUCCESS *"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "****** HACK WARNING ******"), 0);
}

}  // namespace
