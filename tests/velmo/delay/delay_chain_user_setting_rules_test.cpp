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
// no longer flagged as the user's.
TEST_F(DelayChainUserSettingRulesTest, TheHighestSettingIsLegalAndARepairedOneIsNotTheUsers) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  n.lut("core", {n.io_in("din")}, 0x2);
  VOK_ATOM_NODE* din = n.find("din");
  for (int value : {7, 8}) {
    host::options::set(host::dc::moz_variable_of(449), 4, std::to_string(value), "din");
    const std::size_t before = host::messages::posted().size();
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
    const bool legal = value == 7;
    EXPECT_EQ(setting(din, 449), legal ? 7u : 0u) << value;
    EXPECT_EQ(flag(din, 449), legal) << value;
    EXPECT_EQ(host::messages::posted().size(), before + (legal ? 0 : 1)) << value;
  }
}

}  // namespace
