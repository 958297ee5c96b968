// Physical MAC merging against the device's limits: every DSP location to
// use may be taken, one more is refused with the device count; the chain
// check reports the first chain it refuses only.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_physical_op.h"
#include "vok/vok_atom_netlist.h"
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

  // A first virtual DSP datum of 1 or more is the number of DSP blocks
  // available, whatever the second: one floating-point MAC (a whole block)
  // fits, two do not.
  host::testing::device(Family::KX).element_int_data(264, 1, 1).element_int_data(264, 2, 5).build();
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
  host::cfg::unset("velmo_max_dsp_locations_to_use");
  n.fp_mac("f0").analytic(4, 1);
  EXPECT_TRUE(run());
  n.fp_mac("f1").analytic(8, 1);
  EXPECT_FALSE(run());
  const auto usage_errors = posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS");
  ASSERT_EQ(usage_errors.size(), 2u);
  EXPECT_EQ(usage_errors[1].text, "Design uses 2 DSP blocks, but only 1 DSP blocks are available in the device");
}

// The chain check stops at the first chain it refuses, whichever rule
// refuses it: a second refused chain adds no error of its own.
TEST_F(MacMergePhysicalLimitsTest, OnlyTheFirstRefusedChainIsReported) {
  for (const bool too_long_first : {true, false}) {
    SCOPED_TRACE(too_long_first);
    host::testing::device(Family::KX).build();
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    while (!top->empty()) top->remove(top->get_atom_list().back());
    host::testing::region("small", {{4, 2, 4, 3}, {4, 1, 4, 1}});
    auto n = host::testing::netlist();
    const std::size_t before = host::messages::posted().size();
    auto six = [&] {  // one more than the device's DSP rows hold
      std::vector<host::testing::MAC_BUILDER> chain;
      for (int i = 0; i < 6; ++i)
        chain.push_back(n.mac("c" + std::to_string(i)).mode(9).analytic(i < 4 ? 8 : 4, i < 4 ? 1 + 2 * i : 5 + 2 * (i - 4)));
      for (int i = 0; i + 1 < 6; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
    };
    auto boxed = [&] {  // two in a region without a run of two locations
      auto a = n.mac("a").mode(9).analytic(4, 1).floating(0);
      auto b = n.mac("b").mode(9).analytic(4, 3).floating(0);
      a.feeds(b, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
    };
    if (too_long_first) six(), boxed();
    else boxed(), six();
    EXPECT_FALSE(run());
    std::vector<std::string> keys;
    const auto all = host::messages::posted();
    for (std::size_t i = before; i < all.size(); ++i) keys.push_back(all[i].key);
    EXPECT_EQ(keys, std::vector<std::string>{too_long_first ? "VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG"
                                                            : "VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR"});
  }
}
