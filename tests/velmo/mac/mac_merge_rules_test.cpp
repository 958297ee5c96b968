// Prefit MAC merging, rule by rule: the chain length allowed beside the
// address register row, and a chain that exactly fills a region's run.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_op.h"
#include "wexan/wexan_env.h"

using host::testing::Family;
using host::testing::MAC_BUILDER;

namespace {

class MacMergeRulesTest : public host::testing::EnvTest {
protected:
  bool run() {
    VELMO_MAC_MERGE_OP op(m_env, false);
    return op.work();
  }
  static std::vector<POSTED_MESSAGE> posted(const std::string& key) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.key == key) out.push_back(m);
    return out;
  }
  // A chain of `length` MACs that cannot merge, linked chain-out to chain-in.
  static void chain(int length, bool in_region) {
    auto n = host::testing::netlist();
    std::vector<MAC_BUILDER> macs;
    for (int i = 0; i < length; ++i) {
      macs.push_back(n.mac("c" + std::to_string(i)).mode(9));
      if (in_region) macs.back().floating(0);
    }
    for (int i = 0; i + 1 < length; ++i) macs[i].feeds(macs[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  }
};

}  // namespace

// Ten rows and DSP blocks two rows high: five in a chain. With the address
// register row at 3 a chain stays on one side of it: the longer side has
// 10 - 3 - 2 = 5 rows, so two blocks; crossing the row on request allows
// five again.
TEST_F(MacMergeRulesTest, TheAddressRegisterRowLimitsChainsToTheLongerSide) {
  host::testing::device(Family::KY).basic_int_data(52, 3).build();
  chain(3, false);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "The following DSP blocks form a DSP chain of length 3. Maximum allowed DSP chain length on the current "
            "device is 2.");
  cfg_set_on("vpr_mv_allow_qdsps_to_cross_address_register_row");
  EXPECT_TRUE(run());
  EXPECT_EQ(posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG").size(), 1u);
}

// A chain fits a region whose run of DSP locations is exactly as long.
TEST_F(MacMergeRulesTest, AChainFitsARegionRunOfItsOwnLength) {
  host::testing::device(Family::KY).build();
  // Rows 1..4 of column 4: DSP locations at rows 1 and 3.
  host::testing::region("R", {{4, 1, 4, 4}});
  chain(2, true);
  EXPECT_TRUE(run());
  EXPECT_TRUE(host::messages::posted().empty());
}
