// Placement dead zones: which unoccupied output elements are examined and
// reported, against routing marked in use in the core-fabric network.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "testing/route_helpers.h"
#include "velmo_bbic_dead_zones.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;

namespace {

bool pass(const host::testing::LUT_INPUTS& x) { return x[0]; }

class DeadZoneTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    n = std::make_unique<NETLIST_BUILDER>(host::testing::netlist());
    lut = n->lut("l", {n->input_port("i")}, pass);
    host::testing::top_partition();
    ri = host::device::die_info()->get_route_info();
    // An output element with four fanouts (nothing is placed yet).
    for (int kind : {282, 283, 284}) {
      for (unsigned g : ri->gids(kind)) {
        fanouts.clear();
        for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it)
          if (static_cast<int>(ri->get_dev_element_from_gid(*it)) != 279) fanouts.push_back(*it);
        if (fanouts.size() >= 4) {
          f = g;
          break;
        }
      }
      if (f != 0) break;
    }
    const std::uint64_t loc = ri->get_location(f, 0);
    at = std::to_string(loc & 0xFFFFFFFFu) + ", " + std::to_string(loc >> 32);
    ASSERT_EQ(fanouts.size(), 4u);  // the most any output element has here
  }
  // Marks elements used: each a root of the core-fabric network.
  static void use(const std::vector<unsigned>& gids) {
    JUK::FOREST<int, int>* crf = VOK_CHIP_DB_ENTRY::current()->get_crf_re_network();
    for (unsigned g : gids) crf->append_root(crf->create_node(static_cast<int>(g & 0x7FFFFFFFu)));
  }
  std::vector<std::string> lines_of(unsigned gid) const {
    std::vector<std::string> out;
    const std::string key = "(" + std::to_string(gid) + ":";
    const std::string key2 = "RE " + std::to_string(gid) + ":";
    for (const auto& l : fresh())
      if (l.find(key) != std::string::npos || l.find(key2) != std::string::npos) out.push_back(l);
    return out;
  }
  std::vector<std::string> fresh() const {
    const auto all = host::debug::texts();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
  }
  std::string summary() const {
    for (const auto& l : fresh())
      if (l.rfind("Blacklisted ", 0) == 0) return l;
    return "";
  }
  std::size_t from = 0;
  std::unique_ptr<NETLIST_BUILDER> n;
  VOK_ATOM_NODE* lut = nullptr;
  const WUMP_ROUTE_INFO* ri = nullptr;
  unsigned f = 0;
  std::string at;  // "x, y" of f
  std::vector<unsigned> fanouts;
};

}  // namespace

TEST_F(DeadZoneTest, EmptyNetworkGivesOnlyTheSummary) {
  cfg_set_on("deadzone_verbose");
  velmo_bbic_detect_placement_dead_zones();
  EXPECT_EQ(summary(), "Blacklisted 0 locations for 0 interesting REs");
  for (const auto& l : host::debug::texts()) EXPECT_EQ(l.find("BLACKLIST"), std::string::npos) << l;
  // A fanout path is a free element of any kind but the LAB feedback (279).
  unsigned with_feedback = 0;
  std::uint64_t others = 0;
  for (unsigned g : ri->gids(282)) {
    std::uint64_t feedback = 0, rest = 0;
    for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it)
      (static_cast<int>(ri->get_dev_element_from_gid(*it)) == 279 ? feedback : rest) += 1;
    if (feedback > 0) {
      with_feedback = g;
      others = rest;
      break;
    }
  }
  ASSERT_NE(with_feedback, 0u);
  const ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>> none;
  EXPECT_EQ(velmo_bbic_get_num_fanout_paths(with_feedback, ri, none), others);
}

TEST_F(DeadZoneTest, OneFreeFanoutIsReportedAfterItsVerboseLine) {
  cfg_set_on("deadzone_verbose");
  cfg_set_int_value("deadzone_effort", 3);
  std::vector<unsigned> all_but_one(fanouts.begin() + 1, fanouts.end());
  use(all_but_one);
  // A used fanout leading nowhere is no discount: only free ones count.
  std::vector<unsigned> beyond;
  for (auto it = ri->begin_fanout_gids(fanouts[1]), end = ri->end_fanout_gids(fanouts[1]); it != end; ++it)
    beyond.push_back(*it);
  use(beyond);
  velmo_bbic_detect_placement_dead_zones();
  const auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 2u);
  const std::string claimed = std::to_string(all_but_one.size());
  EXPECT_EQ(lines[0].rfind("Output RE at " + at + " (", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("has 1 free fanouts (" + claimed + " claimed)"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].rfind("BLACKLIST " + at + " due to RE ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("with used=" + claimed + " disc=0 fanout=1"), std::string::npos) << lines[1];
}

TEST_F(DeadZoneTest, SingleFreeFanoutLeadingNowhereIsDiscounted) {
  cfg_set_int_value("deadzone_effort", 3);
  const unsigned g = fanouts.front();
  std::vector<unsigned> used(fanouts.begin() + 1, fanouts.end());
  for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it) used.push_back(*it);
  use(used);
  velmo_bbic_detect_placement_dead_zones();
  const auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("disc=1 fanout=1"), std::string::npos) << lines[0];
}

TEST_F(DeadZoneTest, TwoFreeFanoutsAreNotReportedAndNeverDiscounted) {
  cfg_set_on("deadzone_verbose");
  cfg_set_int_value("deadzone_effort", 2);
  std::vector<unsigned> used(fanouts.begin() + 2, fanouts.end());
  // Both free fanouts lead nowhere: still no discount with two of them.
  for (unsigned g : {fanouts[0], fanouts[1]})
    for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it) used.push_back(*it);
  use(used);
  velmo_bbic_detect_placement_dead_zones();
  auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 1u);  // examined, not reported
  EXPECT_NE(lines[0].find("has 2 free fanouts"), std::string::npos);
  // A negative threshold reports every examined candidate.
  from = host::debug::texts().size();
  cfg_set_int_value("deadzone_threshold", -1);
  velmo_bbic_detect_placement_dead_zones();
  lines = lines_of(f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("disc=0 fanout=2"), std::string::npos) << lines[1];
}

TEST_F(DeadZoneTest, EffortDecidesWhatIsExamined) {
  cfg_set_on("deadzone_verbose");
  use(fanouts);  // claimed 4, no free fanout
  velmo_bbic_detect_placement_dead_zones();
  EXPECT_TRUE(lines_of(f).empty());  // counted among the interesting, not examined under effort 5
  EXPECT_NE(summary(), "Blacklisted 0 locations for 0 interesting REs");
  from = host::debug::texts().size();
  cfg_set_int_value("deadzone_effort", 4);
  velmo_bbic_detect_placement_dead_zones();
  const auto lines = lines_of(f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("with used=4 disc=0 fanout=0"), std::string::npos) << lines[1];
  // A negative effort examines nothing.
  from = host::debug::texts().size();
  cfg_set_int_value("deadzone_effort", -1);
  cfg_set_int_value("deadzone_threshold", -1);
  velmo_bbic_detect_placement_dead_zones();
  for (const auto& l : fresh()) {
    EXPECT_EQ(l.find("Output RE"), std::string::npos) << l;
    EXPECT_EQ(l.find("BLACKLIST"), std::string::npos) << l;
  }
  EXPECT_EQ(summary().rfind("Blacklisted 0 locations for ", 0), 0u);
}

TEST_F(DeadZoneTest, OccupiedOrUsedCandidatesNeverCount) {
  cfg_set_on("deadzone_verbose");
  cfg_set_int_value("deadzone_effort", 1);
  cfg_set_int_value("deadzone_threshold", -1);
  std::vector<unsigned> all_but_one(fanouts.begin() + 1, fanouts.end());
  use(all_but_one);
  const std::uint64_t loc = ri->get_location(f, 0);
  host::testing::place_at(lut, static_cast<int>(loc & 0xFFFFFFFFu), static_cast<int>(loc >> 32), 0);
  velmo_bbic_detect_placement_dead_zones();
  EXPECT_TRUE(lines_of(f).empty());
  from = host::debug::texts().size();
  lut->set_location(0xFFFFFFFFu, 0);
  use({f});
  velmo_bbic_detect_placement_dead_zones();
  EXPECT_TRUE(lines_of(f).empty());
}

// A used LAB feedback element claims none of its fan-ins: with only those in
// use nothing is examined, at the lowest effort and any count.
TEST_F(DeadZoneTest, AUsedLabFeedbackClaimsNothing) {
  cfg_set_on("deadzone_verbose");
  cfg_set_int_value("deadzone_effort", 1);
  cfg_set_int_value("deadzone_threshold", -1);
  std::vector<unsigned> feedback;
  for (int kind : {282, 283, 284})
    for (unsigned g : ri->gids(kind))
      for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it)
        if (static_cast<int>(ri->get_dev_element_from_gid(*it)) == 279 && feedback.size() < 8 &&
            std::find(feedback.begin(), feedback.end(), *it) == feedback.end())
          feedback.push_back(*it);
  ASSERT_FALSE(feedback.empty());
  use(feedback);
  velmo_bbic_detect_placement_dead_zones();
  for (const auto& l : fresh()) EXPECT_EQ(l.rfind("Output RE at ", 0), std::string::npos) << l;
  EXPECT_EQ(summary().rfind("Blacklisted 0 locations for 0 interesting REs", 0), 0u) << summary();
}

TEST_F(DeadZoneTest, OutputElementsOfEachOutputKindAreTheOnlyCandidates) {
  cfg_set_on("deadzone_verbose");
  cfg_set_int_value("deadzone_effort", 1);
  // One element of each output kind (LAB, block and periphery outputs) with
  // every free fanout in use: each is examined.
  std::vector<unsigned> candidates, used;
  for (int kind : {282, 283, 284}) {
    unsigned pick = 0;
    for (unsigned g : ri->gids(kind)) {
      std::vector<unsigned> outs;
      for (auto it = ri->begin_fanout_gids(g), end = ri->end_fanout_gids(g); it != end; ++it)
        if (static_cast<int>(ri->get_dev_element_from_gid(*it)) != 279) outs.push_back(*it);
      if (outs.empty()) continue;
      pick = g;
      used.insert(used.end(), outs.begin(), outs.end());
      break;
    }
    ASSERT_NE(pick, 0u) << kind;
    candidates.push_back(pick);
  }
  use(used);
  velmo_bbic_detect_placement_dead_zones();
  for (unsigned g : candidates) EXPECT_FALSE(lines_of(g).empty()) << g;
  // The other free fanins of the used elements (wires among them) are not.
  std::size_t examined = 0;
  for (const auto& l : fresh()) {
    if (l.rfind("Output RE at ", 0) != 0) continue;
    ++examined;
    const std::size_t open = l.find('(');
    const unsigned gid = static_cast<unsigned>(std::stoul(l.substr(open + 1, l.find(':', open) - open - 1)));
    const int kind = static_cast<int>(ri->get_dev_element_from_gid(gid));
    EXPECT_TRUE(kind == 282 || kind == 283 || kind == 284) << l;
  }
  EXPECT_GE(examined, candidates.size());
}
