// Placement dead zones, more of their rules: a node erased from the
// core-fabric network is no routing in use, the summary counts exactly the
// locations reported, and a free LAB feedback never discounts a fanout.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_dead_zones.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;

namespace {

bool pass(const host::testing::LUT_INPUTS& x) { return x[0]; }

class DeadZoneRuleTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    NETLIST_BUILDER n = host::testing::netlist();
    n.lut("l", {n.input_port("i")}, pass);
    host::testing::top_partition();
    ri = host::device::die_info()->get_route_info();
    cfg_set_on("deadzone_verbose");
  }
  int kind(unsigned gid) const { return static_cast<int>(ri->get_dev_element_from_gid(gid)); }
  // The fanouts of an element, LAB feedbacks (279) apart or only those.
  std::vector<unsigned> fanouts(unsigned gid, bool feedback) const {
    std::vector<unsigned> out;
    for (auto it = ri->begin_fanout_gids(gid), end = ri->end_fanout_gids(gid); it != end; ++it)
      if ((kind(*it) == 279) == feedback) out.push_back(*it);
    return out;
  }
  // Marks elements used, each a root of the core-fabric network; their ids.
  static std::vector<int> use(const std::vector<unsigned>& gids) {
    JUK::FOREST<int, int>* crf = VOK_CHIP_DB_ENTRY::current()->get_crf_re_network();
    std::vector<int> ids;
    for (unsigned g : gids) {
      ids.push_back(crf->create_node(static_cast<int>(g & 0x7FFFFFFFu)));
      crf->append_root(ids.back());
    }
    return ids;
  }
  static std::vector<std::string> lines_of(unsigned gid) {
    std::vector<std::string> out;
    const std::string key = "(" + std::to_string(gid) + ":", key2 = "RE " + std::to_string(gid) + ":";
    for (const auto& l : host::debug::texts())
      if (l.find(key) != std::string::npos || l.find(key2) != std::string::npos) out.push_back(l);
    return out;
  }
  const WUMP_ROUTE_INFO* ri = nullptr;
};

// Four fanouts of an output element in use, then one of their nodes erased:
// that fanout is free again and claims nothing. The summary's count is the
// number of locations reported.
TEST_F(DeadZoneRuleTest, AnErasedNodeIsNoRoutingInUse) {
  unsigned f = 0;
  for (int k : {282, 283, 284}) {
    for (unsigned g : ri->gids(k))
      if (fanouts(g, false).size() >= 4) {
        f = g;
        break;
      }
    if (f != 0) break;
  }
  ASSERT_NE(f, 0u);
  const std::vector<unsigned> outs = fanouts(f, false);
  cfg_set_int_value("deadzone_effort", 1);
  const std::vector<int> ids = use(outs);
  VOK_CHIP_DB_ENTRY::current()->get_crf_re_network()->erase(ids[0]);
  velmo_bbic_detect_placement_dead_zones();
  const auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 2u);
  const std::string claimed = std::to_string(outs.size() - 1);
  EXPECT_NE(lines[0].find("has 1 free fanouts (" + claimed + " claimed)"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("with used=" + claimed + " disc=0 fanout=1"), std::string::npos) << lines[1];
  unsigned reported = 0;
  std::string summary;
  for (const auto& l : host::debug::texts()) {
    reported += l.rfind("BLACKLIST ", 0) == 0;
    if (l.rfind("Blacklisted ", 0) == 0) summary = l;
  }
  EXPECT_GE(reported, 1u);
  EXPECT_EQ(summary.rfind("Blacklisted " + std::to_string(reported) + " locations for ", 0), 0u) << summary;
  // Every node erased: nothing is in use and nothing claimed.
  for (std::size_t i = 1; i < ids.size(); ++i) VOK_CHIP_DB_ENTRY::current()->get_crf_re_network()->erase(ids[i]);
  velmo_bbic_detect_placement_dead_zones();
  EXPECT_EQ(host::debug::texts().back(), "Blacklisted 0 locations for 0 interesting REs");
}

// The one free fanout leads nowhere and is discounted; a free LAB feedback
// beside it, leading nowhere too, is no fanout path and no discount.
TEST_F(DeadZoneRuleTest, AFreeLabFeedbackIsNoDiscount) {
  unsigned f = 0;
  for (int k : {282, 283, 284}) {
    for (unsigned g : ri->gids(k))
      if (fanouts(g, false).size() >= 2 && !fanouts(g, true).empty()) {
        f = g;
        break;
      }
    if (f != 0) break;
  }
  ASSERT_NE(f, 0u);
  const std::vector<unsigned> outs = fanouts(f, false);
  std::vector<unsigned> used(outs.begin() + 1, outs.end());
  for (unsigned g : fanouts(outs[0], false)) used.push_back(g);
  for (unsigned fb : fanouts(f, true))
    for (unsigned g : fanouts(fb, false)) used.push_back(g);
  cfg_set_int_value("deadzone_effort", 1);
  use(used);
  velmo_bbic_detect_placement_dead_zones();
  const auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("disc=1 fanout=1"), std::string::npos) << lines[1];
}

}  // namespace
