// Physical MAC merging against the device's limits: every DSP location to
// use may be taken, one more is refused with the device count.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_physical_op.h"
#include "wexan/wexan_env.h"

using host::testing::Family;

namespace {

class MacMergePhysicalLimitsTest : public host::testing::EnvTest {
protected:
  bool run() {
    VELMO_MAC_MERGE_PHYSICAL_OP op(m_env);
    return op.do_transformation();
  }
  static std::vector<POSTED_MESSAGE> posted(const std::string& key) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.key == key) out.push_back(m);
    return out;
  }
};

}  // namespace

// MACs that cannot merge, one location each: as many as the locations to
// use fit, one more does not.
TEST_F(MacMergePhysicalLimitsTest, EveryLocationToUseMayBeTakenButNotOneMore) {
  host::testing::device(Family::KX).build();
  cfg_set_value("velmo_max_dsp_locations_to_use", "2");
  auto n = host::testing::netlist();
  n.mac("a").mode(9).analytic(4, 1);
  n.mac("b").mode(9).analytic(8, 1);
  EXPECT_TRUE(run());
  EXPECT_TRUE(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS").empty());
  n.mac("c").mode(9).analytic(4, 5);
  EXPECT_FALSE(run());
  const auto errors = posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].text.find("uses 3 DSP blocks"), std::string::npos) << errors[0].text;
}
