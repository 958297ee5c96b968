// The delay-chain operation's user settings by rule: the legal range ends
// at the chain's highest setting, and a repaired setting is no longer the
// user's.
#include <string>

#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

using host::testing::Family;

namespace {

class DelayChainUserSettingRulesTest : public host::testing::EnvTest {
protected:
  static unsigned setting(VOK_ATOM_NODE* a, int type) {
    unsigned v = 0;
    return yos_current_interface()->get_uint_data(a, static_cast<YOS_UINT_DATA_ENUM>(type), &v) ? v : 0xFFFFFFFFu;
  }
  static bool flag(VOK_ATOM_NODE* a, int type) {
    bool v = false;
    yos_current_interface()->get_bool_data(a, static_cast<YOS_BOOL_DATA_ENUM>(host::dc::yos_bool_param_of(type)), &v);
    return v;
  }
};

// Chain 449 reaches setting 7: an option of 7 is the user's (written and
// flagged, without a word); 8 is out of range, repaired to the default and
// no longer flagged as the user's, whatever the flag said before.
TEST_F(DelayChainUserSettingRulesTest, TheHighestSettingIsLegalAndARepairedOneIsNotTheUsers) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  n.lut("core", {n.io_in("din_max"), n.io_in("din_over")}, 0x2);
  VOK_ATOM_NODE* at_max = n.find("din_max");
  VOK_ATOM_NODE* over = n.find("din_over");
  host::options::set(host::dc::moz_variable_of(449), 4, "7", "din_max");
  host::options::set(host::dc::moz_variable_of(449), 4, "8", "din_over");
  const std::size_t before = host::messages::posted().size();
  VELMO_DELAY_CHAIN_OP op(m_env);
  yos_current_interface()->set_bool_data(over, static_cast<YOS_BOOL_DATA_ENUM>(host::dc::yos_bool_param_of(449)), true);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
  EXPECT_EQ(setting(at_max, 449), 7u);
  EXPECT_TRUE(flag(at_max, 449));
  EXPECT_EQ(setting(over, 449), 0u);
  EXPECT_FALSE(flag(over, 449));
  const auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), before + 1) << "one warning, for the pin over the range";
  EXPECT_NE(posted.back().text.find("on pin din_over to 8"), std::string::npos) << posted.back().text;
}

}  // namespace
