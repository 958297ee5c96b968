// Physical MAC merging, rule by rule: where a MAC without a whole analytic
// location starts, which chain input a chain is walked through, how a pair
// with one constrained MAC is sized, where a pair goes when its own column
// has no room, and which threshold keeps pairs merged for density.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_physical_op.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"

using host::testing::Family;
using host::testing::MAC_BUILDER;
using ::testing::ElementsAre;

namespace {

class MacMergePhysicalRulesTest : public host::testing::EnvTest {
protected:
  bool run() {
    VELMO_MAC_MERGE_PHYSICAL_OP op(m_env);
    return op.do_transformation();
  }
  // An empty netlist on a fresh device of the family.
  static void fresh(int family = Family::KX) {
    host::testing::device(Family::code(family)).build();
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    while (!top->empty()) top->remove(top->get_atom_list().back());
  }
  static int mac_count() {
    int n = 0;
    for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
      if (a->is_mac() || a->is_fp_mac()) ++n;
    return n;
  }
  static bool exists(int id) { return host::vok::top_netlist()->get_atom_by_id(id) != nullptr; }
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The debug lines starting with `prefix`, from line `from` on.
  static std::vector<std::string> lines(const std::string& prefix, std::size_t from = 0) {
    const std::vector<std::string> texts = host::debug::texts();
    std::vector<std::string> out;
    for (std::size_t i = from; i < texts.size(); ++i)
      if (texts[i].rfind(prefix, 0) == 0) out.push_back(texts[i]);
    return out;
  }
  static MAC_BUILDER mac_at(host::testing::NETLIST_BUILDER& n, const std::string& name, float x, float y) {
    return n.mac(name).mode(2).analytic(x, y);
  }
  // The placement dump's location of a named MAC, "[x, y, slot]".
  static std::string loc(const std::string& name) {
    const std::string dump = read("velmo_physical_mac_placement_dump.echo");
    const std::string key = "\"name\" : \"" + name + "\",\n\t\t\"loc\" : ";
    const auto at = dump.find(key);
    if (at == std::string::npos) return "none";
    return dump.substr(at + key.size(), dump.find(']', at) + 1 - at - key.size());
  }
  static int info_field(const std::string& name, const std::string& field) {
    const std::string info = read("velmo_physical_mac_merge_info.echo");
    const auto at = info.find(": " + name + "\t");
    if (at == std::string::npos) return -2;
    const std::string line = info.substr(at, info.find('\n', at) - at);
    const auto f = line.find(field + ": ");
    return f == std::string::npos ? -1 : std::stoi(line.substr(f + field.size() + 2));
  }
};

}  // namespace

// Only a MAC with both analytic coordinates known starts from them; one
// with either coordinate unknown starts at the first DSP column, row 0,
// like one with neither. A coordinate of 0 is known.
TEST_F(MacMergePhysicalRulesTest, AMacWithHalfAnAnalyticLocationStartsLikeOneWithout) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug");
  auto n = host::testing::netlist();
  n.mac("whole").mode(9).analytic(8, 5);
  n.mac("no_y").mode(9).analytic(8, -1);
  n.mac("no_x").mode(9).analytic(-1, 5);
  n.mac("x0").mode(9).analytic(0, 7);
  n.mac("y0").mode(9).analytic(8, 0);
  EXPECT_TRUE(run());
  EXPECT_EQ(loc("whole"), "[8, 5, 0]");
  EXPECT_EQ(loc("x0"), "[4, 7, 0]");
  EXPECT_EQ(loc("y0"), "[8, 1, 0]");
  EXPECT_EQ(info_field("no_y", "x"), -1);
  EXPECT_EQ(info_field("no_x", "x"), -1);
  // The two start at (4, 0): they take the nearest DSP rows, 1 and 3 (in
  // either order: they tie).
  EXPECT_THAT((std::vector<std::string>{loc("no_y"), loc("no_x")}),
              ::testing::UnorderedElementsAre("[4, 1, 0]", "[4, 3, 0]"));
}

// A chain is walked backwards through the first chain input in use only:
// a MAC fed on its scan-chain input by one MAC and on its chain input by
// another joins the chain of the first; the other starts a chain of its
// own when it is reached. Forwards likewise: a MAC feeding one MAC on its
// scan-chain output and another on its chain output takes the first into
// its chain, not the second.
TEST_F(MacMergePhysicalRulesTest, AChainWalkFollowsTheFirstChainPortInUseOnly) {
  host::testing::device(Family::KY).dsp_columns({2, 4, 8}).build();
  cfg_set_on("velmo_mac_merge_debug");
  auto n = host::testing::netlist();
  auto fed = n.mac("fed").mode(9).analytic(4, 3);
  auto by_scan = n.mac("by_scan").mode(9).analytic(4, 1);
  auto by_chain = n.mac("by_chain").mode(9).analytic(8, 1);
  by_scan.feeds(fed, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  by_chain.feeds(fed, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  auto feeds = n.mac("feeds").mode(9).analytic(2, 1);
  auto to_scan = n.mac("to_scan").mode(9).analytic(2, 3);
  auto to_chain = n.mac("to_chain").mode(9).analytic(2, 5);
  feeds.feeds(to_scan, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  feeds.feeds(to_chain, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_TRUE(run());
  EXPECT_EQ(info_field("by_scan", "chain_id"), 0);
  EXPECT_NE(info_field("by_chain", "chain_id"), 0);
  EXPECT_NE(info_field("by_chain", "chain_id"), -1);
  EXPECT_NE(info_field("to_scan", "chain_id"), -1);
  EXPECT_NE(info_field("to_chain", "chain_id"), -1);
  EXPECT_NE(info_field("to_chain", "chain_id"), info_field("to_scan", "chain_id"));
}

// A pair of boxes that do not overlap is sized by the box it has: the
// first's when only the first MAC is constrained, the second's when only
// the second is; the smaller size is placed first.
TEST_F(MacMergePhysicalRulesTest, APairWithOneConstrainedMacIsSizedByThatBox) {
  for (bool first_boxed : {true, false}) {
    SCOPED_TRACE(first_boxed);
    fresh();
    const std::size_t from = host::debug::texts().size();
    cfg_set_on("velmo_mac_merge_debug_verbose");
    auto n = host::testing::netlist();
    // The pair (rows 1 and 3 of column 4): one MAC in a box of 4 points.
    auto a = mac_at(n, "a", 4, 1);
    auto b = mac_at(n, "b", 4, 3);
    (first_boxed ? a : b).locked_box(4, 1, 4, 4);
    // A MAC that cannot merge, in a box of 6 points.
    auto s = n.mac("s").mode(9).analytic(8, 1).locked_box(8, 1, 8, 6);
    EXPECT_TRUE(run());
    EXPECT_THAT(lines("No Overlap: ", from), ElementsAre("No Overlap: size=4"));
    auto id = [](const host::testing::ATOM_HANDLE& h) { return std::to_string(h.id()); };
    EXPECT_THAT(lines("Pair: ", from),
                ElementsAre("Pair: mac " + id(a) + " | mac " + id(b), "Pair: mac " + id(s) + " | mac None"));
  }
}

// A pair whose own column has no free location is placed together in the
// first column that has one, not MAC by MAC.
TEST_F(MacMergePhysicalRulesTest, APairWithoutRoomInItsColumnStaysTogetherInAnother) {
  // Two DSP columns of two locations: (2,1), (2,3) and (4,1), (4,3).
  host::testing::device(Family::KY).grid(7, 6).dsp_columns({2, 4}).ram_columns({}).build();
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");
  auto n = host::testing::netlist();
  n.mac("x1").mode(9).analytic(2, 1).locked(2, 1, 0);
  n.mac("x3").mode(9).analytic(2, 3).locked(2, 3, 0);
  auto p = mac_at(n, "p", 2, 1);
  const int q = mac_at(n, "q", 2, 3).id();
  EXPECT_TRUE(run());
  EXPECT_EQ(loc("p"), "[4, 1, 0]");
  EXPECT_EQ(loc("q"), "[4, 1, 1]");
  EXPECT_EQ(mac_count(), 3);
  EXPECT_TRUE(exists(p.id()));
  EXPECT_FALSE(exists(q));
}

// Merging for density keeps every pair only with a negative threshold; a
// threshold of 0 splits every pair apart by more than 0, as without it.
TEST_F(MacMergePhysicalRulesTest, AThresholdOfZeroSplitsPairsAlsoWhenMergingForDensity) {
  for (const char* threshold : {"-1", "0"}) {
    SCOPED_TRACE(threshold);
    fresh();
    cfg_set_on("velmo_mac_merge_for_density");
    cfg_set_value("velmo_physical_merge_distance_threshold", threshold);
    auto n = host::testing::netlist();
    auto a = mac_at(n, "a", 4, 1);
    const int b = mac_at(n, "b", 4, 3).id();  // distance 2
    EXPECT_TRUE(run());
    const bool kept = std::string(threshold) == "-1";
    EXPECT_EQ(mac_count(), kept ? 1 : 2);
    EXPECT_TRUE(exists(a.id()));
    EXPECT_EQ(exists(b), !kept);
  }
}

// Spreading needs a location left to use: with the limit already reached
// by the merged pairs, none is split, even though the device has free DSP
// locations beyond the limit.
TEST_F(MacMergePhysicalRulesTest, NoPairIsSplitOnceTheLimitIsReached) {
  for (const char* limit : {"2", "3"}) {
    SCOPED_TRACE(limit);
    fresh();
    cfg_set_value("velmo_max_dsp_locations_to_use", limit);
    auto n = host::testing::netlist();
    mac_at(n, "a", 4, 1);
    mac_at(n, "b", 4.4f, 2.6f);
    mac_at(n, "c", 8, 1);
    mac_at(n, "d", 8.4f, 2.6f);
    EXPECT_TRUE(run());
    // Two merged pairs use two locations; a third location splits one.
    EXPECT_EQ(mac_count(), std::string(limit) == "2" ? 2 : 3);
  }
}

// A chain fits a region whose longest run of DSP locations is exactly as
// long as the chain: no error, and the chain is placed.
TEST_F(MacMergePhysicalRulesTest, AChainFitsARegionRunOfItsOwnLength) {
  host::testing::device(Family::KY).build();
  // Rows 1..4 of column 4: DSP locations at rows 1 and 3, one run of two.
  host::testing::region("run", {{4, 1, 4, 4}});
  auto n = host::testing::netlist();
  auto c0 = n.mac("c0").mode(9).analytic(4, 1).floating(0);
  auto c1 = n.mac("c1").mode(9).analytic(4, 3).floating(0);
  c0.feeds(c1, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_TRUE(run());
  EXPECT_TRUE(host::messages::posted().empty());
}

// A pair is split by moving its second MAC, or, when that one cannot move
// (here locked to the pair's location), its first: the second then keeps
// the location, alone. Either way the split takes one more location: with
// three to use, the second such pair stays merged.
TEST_F(MacMergePhysicalRulesTest, ASplitPairWhoseSecondCannotMoveKeepsTheSecondInPlace) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_value("velmo_max_dsp_locations_to_use", "3");
  auto n = host::testing::netlist();
  mac_at(n, "a", 4, 1);
  mac_at(n, "b", 4, 3).locked(4, 1, 0);
  mac_at(n, "c", 8, 1);
  mac_at(n, "d", 8, 3).locked(8, 1, 0);
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 3);
  EXPECT_EQ(loc("b"), "[4, 1, 0]");
  EXPECT_EQ(loc("a"), "[4, 3, 0]");
  EXPECT_EQ(loc("c"), "[8, 1, 0]");
  EXPECT_EQ(loc("d"), "[8, 1, 1]");
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  EXPECT_EQ(dump.find("\"name\" : \"a\""), dump.rfind("\"name\" : \"a\"")) << dump;
}

// A location holds two MACs at most: a third compatible MAC locked to it
// finds no place, and nothing merges.
TEST_F(MacMergePhysicalRulesTest, ALocationHoldsTwoMacsAtMost) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_for_density");
  auto n = host::testing::netlist();
  for (const char* name : {"a", "b", "c"}) mac_at(n, name, 4, 1).locked(4, 1, 0);
  EXPECT_FALSE(run());
  const std::vector<POSTED_MESSAGE> posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].key, "VELMO_DWO_MAC_COULD_NOT_PLACE_MACS");
  EXPECT_EQ(posted[0].args[0].value, 1);
  EXPECT_EQ(mac_count(), 3);
}

// A pair shares only a location where both its MACs may go, and only when
// the two may be merged: otherwise each is placed on its own.
TEST_F(MacMergePhysicalRulesTest, APairSharesALocationOnlyWhereAndWhenBothMayGo) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");
  auto n = host::testing::netlist();
  // Column 4: the second MAC is confined to rows 5..7; column 8: the first.
  mac_at(n, "p", 4, 1);
  mac_at(n, "q", 4, 3).locked_box(4, 5, 4, 7);
  mac_at(n, "c", 8, 1).locked_box(8, 5, 8, 7);
  mac_at(n, "d", 8, 3);
  EXPECT_TRUE(run());
  EXPECT_EQ(loc("p"), "[4, 5, 0]");
  EXPECT_EQ(loc("q"), "[4, 5, 1]");
  EXPECT_EQ(loc("c"), "[8, 5, 0]");
  EXPECT_EQ(loc("d"), "[8, 5, 1]");
  EXPECT_EQ(mac_count(), 2);

  // a and b, grouped through s (which either may merge with) and paired in
  // column 4, may not be merged with each other.
  fresh();
  auto m = host::testing::netlist();
  mac_at(m, "s", 8, 1);
  auto a = mac_at(m, "a", 4, 1);
  auto b = mac_at(m, "b", 4, 3);
  host::drc::veto_merge(a.id(), b.id());
  EXPECT_TRUE(run());
  EXPECT_EQ(loc("a"), "[4, 1, 0]");
  EXPECT_EQ(loc("b"), "[4, 3, 0]");
  EXPECT_EQ(mac_count(), 3);
}
