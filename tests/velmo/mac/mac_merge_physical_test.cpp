// Physical MAC merging after analytic placement: chains, groups, column
// pairing, pair order, trial placement, the capacity check and its
// messages, spreading versus merging for density, and the debug dumps.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_mac_merge_physical_op.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::MAC_BUILDER;
using host::testing::SIG;
using ::testing::ElementsAre;

namespace {

constexpr auto P408 = DB_MAC_DATA_AX;

class MacMergePhysicalTest : public host::testing::EnvTest {
protected:
  bool run() {
    VELMO_MAC_MERGE_PHYSICAL_OP op(m_env);
    return op.do_transformation();
  }
  static int mac_count() {
    int n = 0;
    for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
      if (a->is_mac() || a->is_fp_mac()) ++n;
    return n;
  }
  static bool exists(int id) { return host::vok::top_netlist()->get_atom_by_id(id) != nullptr; }
  static std::vector<POSTED_MESSAGE> posted(const std::string& key) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.key == key) out.push_back(m);
    return out;
  }
  static std::vector<std::string> posted_keys() {
    std::vector<std::string> out;
    for (const auto& m : host::messages::posted()) out.push_back(m.key);
    return out;
  }
  static std::vector<std::string> sub_texts(const POSTED_MESSAGE& m) {
    std::vector<std::string> out;
    for (const auto& s : m.subs) out.push_back(s.text);
    return out;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The debug lines starting with `prefix`, in order.
  static std::vector<std::string> lines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& t : host::debug::texts())
      if (t.rfind(prefix, 0) == 0) out.push_back(t);
    return out;
  }
  // A mergeable MAC at an analytic location.
  static MAC_BUILDER mac_at(host::testing::NETLIST_BUILDER& n, const std::string& name, float x, float y) {
    return n.mac(name).mode(2).analytic(x, y);
  }
  // The field of a node's line in the info dump ("chain_id: " ...), -1 when
  // the line has none.
  static int info_field(const std::string& info, const std::string& name, const std::string& field) {
    const auto at = info.find(": " + name + "\t");
    if (at == std::string::npos) return -2;
    const std::string line = info.substr(at, info.find('\n', at) - at);
    const auto f = line.find(field + ": ");
    return f == std::string::npos ? -1 : std::stoi(line.substr(f + field.size() + 2));
  }
};

}  // namespace

TEST_F(MacMergePhysicalTest, DisabledNoLocationsOrNoMacsChangeNothing) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("No MAC atom. Skipping physical DSP merging."));

  mac_at(n, "a", 4, 1);
  mac_at(n, "b", 4, 3);
  cfg_set_on("velmo_mac_merge_for_density");
  cfg_set_on("velmo_force_disable_physical_mac_merge");
  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Physical DSP merging disabled"));
  host::cfg::unset("velmo_force_disable_physical_mac_merge");
  cfg_set_value("velmo_max_dsp_locations_to_use", "0");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 2);
  EXPECT_EQ(lines("VELMO_MAC_PHYSICAL_MERGE: Using").size(), 0u);

  // A limit at or above the device's count changes nothing: the pair merges.
  cfg_set_value("velmo_max_dsp_locations_to_use", "8");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 1);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_PHYSICAL_MERGE: Using 1 DSP blocks whereas the total number of DSPs coming in "
                           "is 2."));
  EXPECT_EQ(host::call_count("WEXAN_MAC_LOCATION_CHECK::work"), 1);
  // The location check afterwards may be skipped.
  cfg_set_on("velmo_mac_location_check_skip");
  EXPECT_TRUE(run());
  EXPECT_EQ(host::call_count("WEXAN_MAC_LOCATION_CHECK::work"), 1);
  host::cfg::unset("velmo_mac_location_check_skip");
  // The operation's profiling bin carries the component's tag and no group.
  int opened = 0;
  for (const auto& e : host::bins::events())
    if (e.action == "open" && e.name == "Physical DSP merging op: main") {
      ++opened;
      EXPECT_EQ(e.group, "");
      EXPECT_EQ(e.tag, "VELMO");
    }
  EXPECT_GT(opened, 0);

  host::testing::device(Family::code(7)).build();
  EXPECT_EQ(expect_internal_error([&] { run(); }).condition, "unsupported family");
}

TEST_F(MacMergePhysicalTest, DefaultSpreadsPairsWhileLocationsRemainDensityKeepsThem) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  auto a = mac_at(n, "a", 4, 1);
  const int b = mac_at(n, "b", 4.4f, 2.6f).id();
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 2);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_PHYSICAL_MERGE: Using 2 DSP blocks whereas the total number of DSPs coming in "
                           "is 2."));

  cfg_set_on("velmo_mac_merge_for_density");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 1);
  EXPECT_TRUE(exists(a.id()));
  EXPECT_FALSE(exists(b));
}

TEST_F(MacMergePhysicalTest, ThresholdSplitsOnlyPairsFartherApart) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto near1 = mac_at(n, "near1", 4, 1);
  const int near2 = mac_at(n, "near2", 4, 6).id();  // distance 5
  auto far1 = mac_at(n, "far1", 8, 1);
  auto far2 = mac_at(n, "far2", 8, 7);  // distance 6
  cfg_set_value("velmo_physical_merge_distance_threshold", "5");
  cfg_set_on("velmo_mac_merge_for_density");  // a threshold applies there too
  cfg_set_on("velmo_mac_merge_debug");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 3);
  EXPECT_TRUE(exists(near1.id()));
  EXPECT_FALSE(exists(near2));
  EXPECT_TRUE(exists(far1.id()));
  EXPECT_TRUE(exists(far2.id()));
  // The second MAC of a split pair moves, to the free location nearest its
  // analytic one; the first keeps the pair's location.
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  EXPECT_NE(dump.find("\"far1\",\n\t\t\"loc\" : [8, 1, 0]"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"far2\",\n\t\t\"loc\" : [8, 7, 0]"), std::string::npos) << dump;
}

TEST_F(MacMergePhysicalTest, SpreadingStopsOnceTheLocationsToUseAreTaken) {
  // Two pairs in two columns, three locations to use: the first column's
  // pair is split, then the walk stops and the second pair stays merged.
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  mac_at(n, "a", 4, 1);
  mac_at(n, "b", 4.4f, 2.6f);
  const int c = mac_at(n, "c", 8, 1).id();
  const int d = mac_at(n, "d", 8.4f, 2.6f).id();
  cfg_set_value("velmo_max_dsp_locations_to_use", "3");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 3);
  EXPECT_TRUE(exists(c));
  EXPECT_FALSE(exists(d));
  EXPECT_TRUE(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS").empty());
}

TEST_F(MacMergePhysicalTest, AMacJoinsAnOccupiedLocationOnlyWhenTheOccupantTakesItsClocks) {
  // Clock sharing maps the second MAC's clocks onto the first's: a MAC with
  // a free clock takes one with a single clock, not the other way round. The
  // two MACs do not pair (the single one comes first), so each is placed
  // alone; the location takes the second only when its occupant, merged
  // first, takes its clocks.
  auto build = [](bool single_has_room_elsewhere) {
    host::testing::device(Family::KX).build();
    auto n = host::testing::netlist();
    SIG k0 = n.input_port("k0"), k1 = n.input_port("k1");
    auto single = mac_at(n, "single", 4, 1).clk(k0, 0).port_clock(P408, 1);
    // A larger legal area places it after the other.
    if (single_has_room_elsewhere)
      single.locked_box(4, 1, 4, 2);
    else
      single.locked(4, 1, 0);
    auto roomy = mac_at(n, "roomy", 4, 1).locked(4, 1, 0);
    roomy->add_input_term(DB_INPUT_PORT_CLK, 0);
    roomy.clk(k1, 1).port_clock(P408, 2);
    return std::make_pair(single.id(), roomy.id());
  };
  const auto [single, roomy] = build(true);
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 1);
  EXPECT_TRUE(exists(roomy));
  EXPECT_FALSE(exists(single));

  // Placed first, the single MAC keeps the location to itself: no fit.
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
  build(false);
  EXPECT_FALSE(run());
  EXPECT_EQ(mac_count(), 2);

  // Spreading moves a MAC only to an empty location, never next to a lone
  // occupant that would take it. DSP columns 2 and 4, rows 1, 3, 5 and 7:
  // "lone" sits at (4, 7), pair p/q lands at (4, 1), and q, split off (six
  // apart, above the threshold of three), passes by (4, 7), two from lone,
  // for (4, 5).
  while (!top->empty()) top->remove(top->get_atom_list().back());
  host::testing::device(Family::KY).grid(7, 10).dsp_columns({2, 4}).ram_columns({}).build();
  auto n = host::testing::netlist();
  const int lone = mac_at(n, "lone", 2, 7).locked(4, 7, 0).id();
  const int p = mac_at(n, "p", 4, 1).id();
  const int q = mac_at(n, "q", 4, 7).id();
  cfg_set_value("velmo_physical_merge_distance_threshold", "3");
  cfg_set_on("velmo_mac_merge_debug");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 3);
  EXPECT_TRUE(exists(lone));
  EXPECT_TRUE(exists(p));
  EXPECT_TRUE(exists(q));
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  EXPECT_NE(dump.find("\"q\",\n\t\t\"loc\" : [4, 5, 0]"), std::string::npos) << dump;
}

TEST_F(MacMergePhysicalTest, TiesGoToTheLowerRowAndColumnAndPairsOnlyToFreeLocations) {
  // DSP columns 2 and 4, DSP locations on rows 1, 3, 5 and 7.
  host::testing::device(Family::KY).grid(7, 10).dsp_columns({2, 4}).ram_columns({}).build();
  auto n = host::testing::netlist();
  // Halfway between rows 1 and 3 of column 2: the lower row.
  const int row_tie = n.mac("row_tie").mode(9).analytic(2, 2).id();
  // Halfway between columns 2 and 4: the lower column, at its own row 5.
  const int column_tie = n.mac("column_tie").mode(9).analytic(3, 5).id();
  // A pair whose first MAC's row holds a MAC placed earlier (a smaller legal
  // area) that would take either as its partner: the pair goes to the next
  // free location instead of joining it.
  const int occupant = mac_at(n, "occupant", 4, 9).locked(4, 7, 0).id();
  const int p = mac_at(n, "p", 4, 7).id();
  const int q = mac_at(n, "q", 4, 7.2f).id();
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");
  EXPECT_TRUE(run());
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  auto loc = [&](const std::string& name) {
    const auto at = dump.find("\"" + name + "\",");
    if (at == std::string::npos) return std::string("none");
    const auto open = dump.find('[', at);
    return dump.substr(open, dump.find(']', open) - open + 1);
  };
  EXPECT_EQ(loc("row_tie"), "[2, 1, 0]");
  EXPECT_EQ(loc("column_tie"), "[2, 5, 0]");
  EXPECT_EQ(loc("occupant"), "[4, 7, 0]");
  EXPECT_EQ(loc("p"), "[4, 5, 0]");
  EXPECT_EQ(loc("q"), "[4, 5, 1]");
  EXPECT_TRUE(exists(occupant));
  EXPECT_TRUE(exists(p));
  EXPECT_FALSE(exists(q));
  (void)row_tie;
  (void)column_tie;
}

TEST_F(MacMergePhysicalTest, APairInDisjointBoxesIsSizedByTheSmallerBoxAndPlacedMacByMac) {
  // DSP columns 2 and 4, DSP locations on rows 1, 3, 5 and 7.
  host::testing::device(Family::KY).grid(7, 10).dsp_columns({2, 4}).ram_columns({}).build();
  auto n = host::testing::netlist();
  // One group (each box shares a location with a's), paired in column 2 by
  // their rows: e and f, whose boxes share none (two points and one); a,
  // far from both, is left out.
  auto a = mac_at(n, "a", 2, 7).locked_box(2, 1, 2, 7);
  auto e = mac_at(n, "e", 2, 1).locked_box(2, 1, 2, 3);
  auto f = mac_at(n, "f", 2, 2).locked_box(2, 7, 2, 7);
  // A MAC that cannot merge, in a box of two points: after the pair, whose
  // size is its smaller box, and before a (four points).
  auto g = n.mac("g").mode(9).analytic(4, 1).locked_box(4, 1, 4, 3);
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_debug_verbose");
  EXPECT_TRUE(run());
  auto id = [](const host::testing::ATOM_HANDLE& h) { return std::to_string(h.id()); };
  EXPECT_THAT(lines("Pair: "),
              ElementsAre("Pair: mac " + id(e) + " | mac " + id(f), "Pair: mac " + id(g) + " | mac None",
                          "Pair: mac " + id(a) + " | mac None"));
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  auto loc = [&](const std::string& name) {
    const auto at = dump.find("\"" + name + "\",");
    if (at == std::string::npos) return std::string("none");
    const auto open = dump.find('[', at);
    return dump.substr(open, dump.find(']', open) - open + 1);
  };
  EXPECT_EQ(loc("e"), "[2, 1, 0]");
  EXPECT_EQ(loc("f"), "[2, 7, 0]");
  EXPECT_EQ(mac_count(), 4);
}

TEST_F(MacMergePhysicalTest, AMacWhoseColumnIsFullTakesTheFirstColumnWithRoom) {
  // DSP columns 2, 4 and 6; column 6 is taken by four locked MACs. A MAC
  // whose analytic location is in column 6 looks at the other columns from
  // the left: column 2, though column 4 is nearer.
  host::testing::device(Family::KY).grid(9, 10).dsp_columns({2, 4, 6}).ram_columns({}).build();
  auto n = host::testing::netlist();
  for (int row : {1, 3, 5, 7}) n.mac("full" + std::to_string(row)).mode(9).analytic(6, row).locked(6, row, 0);
  n.mac("spill").mode(9).analytic(6, 3);
  cfg_set_on("velmo_mac_merge_debug");
  EXPECT_TRUE(run());
  const std::string dump = read("velmo_physical_mac_placement_dump.echo");
  const auto at = dump.find("\"spill\",");
  ASSERT_NE(at, std::string::npos) << dump;
  EXPECT_EQ(dump.substr(dump.find('[', at), 4), "[2, ") << dump.substr(at, 40);
}

TEST_F(MacMergePhysicalTest, AMergedPairCountsTheUsageOfBothMacs) {
  // One virtual DSP block; a mode-2 MAC uses half of one. One pair fits it,
  // two pairs on two locations use two blocks: too many.
  for (const int pairs : {1, 2}) {
    host::testing::device(Family::KX).element_int_data(264, 1, 0).element_int_data(264, 2, 1).build();
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    while (!top->empty()) top->remove(top->get_atom_list().back());
    auto n = host::testing::netlist();
    for (int i = 0; i < pairs; ++i) {
      mac_at(n, "a" + std::to_string(i), 4, 1 + 4 * i);
      mac_at(n, "b" + std::to_string(i), 4, 1 + 4 * i);
    }
    cfg_set_on("velmo_mac_merge_for_density");
    EXPECT_EQ(run(), pairs == 1) << pairs;
    EXPECT_EQ(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS").size(), pairs == 1 ? 0u : 1u) << pairs;
    EXPECT_EQ(mac_count(), pairs == 1 ? 1 : 4) << pairs;
  }
}

TEST_F(MacMergePhysicalTest, EachFamilyMergesAPairWhoseSecondMacWasGatheredFirst) {
  for (const int family : {Family::KX, Family::KX15, Family::KY, Family::KZ}) {
    host::testing::device(family).build();
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    while (!top->empty()) top->remove(top->get_atom_list().back());
    auto n = host::testing::netlist();
    // The pair's second MAC (a row above the first) is the first one built.
    mac_at(n, "above", 4, 3);
    mac_at(n, "below", 4, 1);
    // A MAC placed analytically on the bottom row, alone in its column.
    mac_at(n, "bottom", 8, 0);
    cfg_set_on("velmo_mac_merge_for_density");
    EXPECT_TRUE(run()) << family;
    EXPECT_EQ(mac_count(), 2) << family;
  }
}

TEST_F(MacMergePhysicalTest, ChainedPairsAreNeverSplit) {
  host::testing::device(Family::KZ).build();
  auto n = host::testing::netlist();
  auto head = mac_at(n, "head", 4, 1);
  auto next = mac_at(n, "next", 4, 3);
  head.feeds(next, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 1);
  EXPECT_TRUE(exists(head.id()));
}

TEST_F(MacMergePhysicalTest, OddColumnsLeaveOutTheMacThatKeepsPairsClosest) {
  host::testing::device(Family::KX).grid(12, 30).dsp_columns({2, 6, 10}).build();
  cfg_set_on("velmo_mac_merge_debug_verbose");
  auto n = host::testing::netlist();
  auto run_of = [&](const std::string& p, int x, std::vector<int> rows) {
    std::vector<int> ids;
    for (std::size_t i = 0; i < rows.size(); ++i) ids.push_back(mac_at(n, p + std::to_string(i), x, rows[i]).id());
    return ids;
  };
  auto r1 = run_of("a", 2, {1, 10, 0});  // listed out of row order: paired in row order
  auto r2 = run_of("b", 6, {0, 5, 6});
  auto r3 = run_of("c", 10, {2, 4, 6});  // equal gaps: the first stays alone
  EXPECT_TRUE(run());
  auto id = [](int i) { return std::to_string(i); };
  EXPECT_THAT(lines("Skipping mac"),
              ElementsAre("Skipping mac " + id(r1[1]), "Skipping mac " + id(r2[0]), "Skipping mac " + id(r3[0])));
  EXPECT_THAT(lines("Pairing mac"), ElementsAre("Pairing mac " + id(r1[2]) + " and mac " + id(r1[0]),
                                                "Pairing mac " + id(r2[1]) + " and mac " + id(r2[2]),
                                                "Pairing mac " + id(r3[1]) + " and mac " + id(r3[2])));
}

TEST_F(MacMergePhysicalTest, PairsAreOrderedByTheirLegalArea) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug_verbose");
  auto n = host::testing::netlist();
  auto p1 = mac_at(n, "p1", 4, 1).locked_box(4, 1, 4, 7);
  auto p2 = mac_at(n, "p2", 4, 3).locked_box(4, 3, 4, 9);  // one column thick: 5 shared points
  auto u = mac_at(n, "u", 8, 5);                           // unconstrained: 12 x 10 points
  // Alone at the same size (4 points), ordered by mode: the mergeable one
  // (mode 2) after the one that cannot merge.
  auto m = mac_at(n, "m", 8, 5).locked_box(8, 5, 8, 8).clk(n.input_port("mclk"), 0).port_clock(DB_MAC_DATA_AX, 1);
  auto s = n.mac("s").mode(9).analytic(8, 1).locked_box(8, 1, 8, 4);  // cannot merge: 4 points
  EXPECT_TRUE(run());
  auto id = [](const host::testing::ATOM_HANDLE& h) { return std::to_string(h.id()); };
  EXPECT_THAT(lines("Pair: "), ElementsAre("Pair: mac " + id(s) + " | mac None",
                                           "Pair: mac " + id(m) + " | mac None",
                                           "Pair: mac " + id(p1) + " | mac " + id(p2),
                                           "Pair: mac " + id(u) + " | mac None"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Overlap: size=5, bbox2 points=7, ratio=1.000000"));
}

TEST_F(MacMergePhysicalTest, OverlapRatioSizesPairsWithAreaBoxes) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug_verbose");
  auto n = host::testing::netlist();
  mac_at(n, "a", 4, 1).locked_box(3, 1, 5, 5);
  mac_at(n, "b", 4, 3).locked_box(4, 3, 8, 7);
  mac_at(n, "c", 8, 1).locked_box(6, 1, 10, 9);
  mac_at(n, "d", 8, 3).locked_box(7, 5, 11, 5);
  // A failing location check afterwards is noted; the merge stands.
  host::script::queue<bool>("WEXAN_MAC_LOCATION_CHECK::work").push(false);
  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("MAC_LOCATION_CHECK after Physical DSP Merging failed"));
  // One size line a pair, both of overlapping boxes.
  EXPECT_EQ(lines("Overlap: size=").size(), 2u);
  EXPECT_TRUE(lines("No Overlap").empty());
  // (5-4) * (5-3) / ((8-4) * (7-3)) of 25 points.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Overlap: size=3, bbox2 points=25, ratio=0.125000"));
  // A second box one row thick is sized by the points the two share.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Overlap: size=4, bbox2 points=5, ratio=1.000000"));
}

TEST_F(MacMergePhysicalTest, ChainsAndGroupsAsTheInfoDumpShowsThem) {
  host::testing::device(Family::KY).dsp_columns({2, 4, 8}).build();
  cfg_set_on("velmo_mac_merge_debug");
  auto n = host::testing::netlist();
  // Two MACs locked apart, a third compatible with both, a floating-point
  // MAC; a chain built tail first; a chain-out ring; a scan-out into a
  // register (not a MAC: no chain).
  mac_at(n, "left", 4, 7).locked(4, 7, 0);
  mac_at(n, "right", 8, 7).locked(8, 7, 0);
  mac_at(n, "free", 2, 1);
  n.fp_mac("fp").mode(2).analytic(2, 3);
  auto c2 = n.mac("c2").mode(9).analytic(4, 5);
  auto c1 = n.mac("c1").mode(9).analytic(4, 3);
  auto c0 = n.mac("c0").mode(9).analytic(4, 1);
  c0.feeds(c1, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  c1.feeds(c2, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  auto r1 = n.mac("r1").mode(9).analytic(8, 1);
  auto r2 = n.mac("r2").mode(9).analytic(8, 3);
  r1.feeds(r2, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  r2.feeds(r1, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  auto to_reg = n.mac("to_reg").mode(9).analytic(2, 5);
  n.reg("sink").d(to_reg->add_output_term(DB_MAC_SCANOUT, 0));
  EXPECT_TRUE(run());
  const std::string info = read("velmo_physical_mac_merge_info.echo");
  EXPECT_EQ(info_field(info, "c0", "chain_id"), 0);
  EXPECT_EQ(info_field(info, "c1", "chain_id"), 0);
  EXPECT_EQ(info_field(info, "c2", "chain_id"), 0);
  EXPECT_EQ(info_field(info, "r1", "chain_id"), 1);
  EXPECT_EQ(info_field(info, "r2", "chain_id"), 1);
  EXPECT_EQ(info_field(info, "to_reg", "chain_id"), -1);
  EXPECT_EQ(info_field(info, "free", "chain_id"), -1);
  EXPECT_EQ(info_field(info, "left", "compatible_group"), 0);
  EXPECT_EQ(info_field(info, "free", "compatible_group"), 0);
  EXPECT_EQ(info_field(info, "right", "compatible_group"), 1);  // locked apart from the seed
  EXPECT_EQ(info_field(info, "fp", "compatible_group"), 2);
}

TEST_F(MacMergePhysicalTest, ChainLengthLimitAndTheDeviceCountBothReport) {
  // Ten rows, DSP blocks two rows high: chains of up to five.
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  std::vector<MAC_BUILDER> chain;
  for (int i = 0; i < 5; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9).analytic(4, 1 + 2 * i));
  for (int i = 0; i + 1 < 5; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_TRUE(run());
  EXPECT_TRUE(posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG").empty());

  chain.push_back(n.mac("c5").mode(9).analytic(4, 9));
  chain[4].feeds(chain[5], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  cfg_set_value("velmo_max_dsp_locations_to_use", "5");
  EXPECT_FALSE(run());
  EXPECT_THAT(posted_keys(),
              ElementsAre("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG", "VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS"));
  auto chain_error = posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG")[0];
  EXPECT_EQ(chain_error.text,
            "The following DSP blocks form a DSP chain of length 6. Maximum allowed DSP chain length on the current "
            "device is 5.");
  EXPECT_THAT(sub_texts(chain_error), ElementsAre("Node \"c0\"", "Node \"c1\"", "Node \"c2\"", "Node \"c3\"",
                                                  "Node \"c4\"", "Node \"c5\""));
  EXPECT_EQ(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS")[0].text,
            "Design uses 6 DSP blocks, but only 8 DSP blocks are available in the device");
  EXPECT_EQ(mac_count(), 6);
}

TEST_F(MacMergePhysicalTest, RegionCapacityAndChainsInRegions) {
  host::testing::device(Family::KY).build();
  // Rows 1..3 of column 4, given in two touching pieces: one joined box
  // holding the locations at rows 1 and 3 but one whole block.
  host::testing::region("small", {{4, 2, 4, 3}, {4, 1, 4, 1}});
  auto n = host::testing::netlist();
  n.mac("a").mode(9).analytic(4, 1).floating(0);
  EXPECT_TRUE(run());
  auto b = n.mac("b").mode(9).analytic(4, 3).floating(0);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_TOO_MANY_DSPS_IN_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "The following DSP nodes require 2 DSP locations, but they are all confined to Tarnbay region small which "
            "only contains 1 DSP locations.");
  EXPECT_THAT(errors[0].locations, ElementsAre("DSP locations in TBR \"small\": area (4, 1) - (4, 3)"));
  EXPECT_THAT(sub_texts(errors[0]),
              ElementsAre(::testing::HasSubstr("Tarnbay region \"small\" in Gridmoss."), "Node \"a\"", "Node \"b\""));

  // Chained, the two need a run of two the region does not have.
  n.find("a");
  auto a = host::testing::MAC_BUILDER(n.find("a"));
  a.feeds(b, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto chain_errors = posted("VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR");
  ASSERT_EQ(chain_errors.size(), 1u);
  EXPECT_EQ(chain_errors[0].text,
            "The following DSP nodes form a DSP chain that requires 2 contiguous DSP locations. These DSP nodes are "
            "constrained to the Tarnbay region small, where the longest contiguous group of DSP locations has length "
            "1.");
  EXPECT_THAT(chain_errors[0].locations,
              ElementsAre("DSP locations in Tarnbay region \"small\": area (4, 1) - (4, 3)"));
  // Regions are not examined after a chain failure.
  EXPECT_EQ(posted("VELMO_DWO_MAC_TOO_MANY_DSPS_IN_TBR").size(), 1u);
}

TEST_F(MacMergePhysicalTest, AWholeDeviceRegionHoldsEveryDspLocation) {
  // A region whose rows span the whole device: its one small rectangle does
  // not bound its DSP capacity.
  for (const bool whole : {false, true}) {
    host::testing::device(Family::KY).build();
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    while (!top->empty()) top->remove(top->get_atom_list().back());
    TIBEX_ZARTO_REGION tall;
    tall.name = "tall";
    tall.whole_device_y = whole;
    tall.rects = {{4, 1, 4, 1}};
    host::constraints::create_regions().add(std::move(tall), 0);
    auto n = host::testing::netlist();
    n.mac("a").mode(9).analytic(4, 1).floating(0);
    n.mac("b").mode(9).analytic(4, 3).floating(0);
    const std::size_t before = host::messages::posted().size();
    EXPECT_EQ(run(), whole);
    // Confined to its one location, the second MAC has no place.
    EXPECT_EQ(host::messages::posted().size() - before, whole ? 0u : 1u);
  }
  EXPECT_EQ(posted("VELMO_DWO_MAC_COULD_NOT_PLACE_MACS").size(), 1u);
}

TEST_F(MacMergePhysicalTest, ChainAcrossTwoRegionsOnlyWarns) {
  host::testing::device(Family::KY).build();
  host::testing::region("left", {{0, 0, 5, 9}});
  host::testing::region("right", {{6, 0, 11, 9}});
  auto n = host::testing::netlist();
  auto a = n.mac("a").mode(9).analytic(4, 1).floating(0);
  auto b = n.mac("b").mode(9).analytic(8, 1).floating(1);
  a.feeds(b, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_TRUE(run());
  auto warnings = posted("VELMO_DWO_MAC_CHAIN_SPANS_MULTIPLE_TBR");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].text,
            "The following DSP nodes form a chain of length 2, however these DSP blocks are constrained to more than "
            "one Tarnbay region.");
  EXPECT_THAT(sub_texts(warnings[0]), ElementsAre("Node \"a\"", "Node \"b\""));
}

TEST_F(MacMergePhysicalTest, UnplacedMacsAreNamedUpToTheLimitAndNothingMerges) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");
  auto n = host::testing::netlist();
  // Thirteen MACs that cannot merge, locked to one location.
  for (int i = 0; i < 13; ++i) n.mac("m" + std::to_string(i)).mode(9).analytic(4, 1).locked(4, 1, 0);
  // A pair that would merge.
  mac_at(n, "p", 8, 1);
  mac_at(n, "q", 8, 1);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_COULD_NOT_PLACE_MACS");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "Cannot place the following 12 DSP cells -- a legal placement which satisfies all the DSP requirements "
            "could not be found");
  auto subs = sub_texts(errors[0]);
  ASSERT_EQ(subs.size(), 11u);
  EXPECT_EQ(subs[0], "Node \"m1\"");
  EXPECT_EQ(subs[9], "Node \"m10\"");
  EXPECT_EQ(subs[10], "And 2 more similar nodes (full list omitted for brevity)");
  EXPECT_EQ(mac_count(), 15);
  EXPECT_NE(read("velmo_physical_mac_merge_info.echo").find("MAC 1: m1\tmode: Non Mergeable\tplaced: NOE"),
            std::string::npos);
  EXPECT_EQ(host::call_count("WEXAN_MAC_LOCATION_CHECK::work"), 0);
  // Without the density mode the failed placement is dumped all the same.
  std::remove("velmo_physical_mac_merge_info.echo");
  cfg_set_off("velmo_mac_merge_for_density");
  EXPECT_FALSE(run());
  EXPECT_EQ(mac_count(), 15);
  EXPECT_NE(read("velmo_physical_mac_merge_info.echo").find("MAC 1: m1\tmode: Non Mergeable\tplaced: NOE"),
            std::string::npos);
}

TEST_F(MacMergePhysicalTest, MacsWithoutAnalyticLocationStartAtTheFirstDspColumn) {
  host::testing::device(Family::KX).build();
  cfg_set_on("velmo_mac_merge_debug");
  auto n = host::testing::netlist();
  auto a = n.mac("a").mode(9);
  auto b = n.mac("b").mode(9);
  (void)a;
  (void)b;
  EXPECT_TRUE(run());
  const std::string placement = read("velmo_physical_mac_placement_dump.echo");
  EXPECT_NE(placement.find("\"name\" : \"a\",\n\t\t\"loc\" : [4, 1, 0]"), std::string::npos) << placement;
  EXPECT_NE(placement.find("\"name\" : \"b\",\n\t\t\"loc\" : [4, 3, 0]"), std::string::npos) << placement;
  EXPECT_NE(read("velmo_physical_mac_merge_info.echo").find("MAC 0: a\tmode: Non Mergeable\tplaced: YES\tx: -1, y: -1"),
            std::string::npos);
}

TEST_F(MacMergePhysicalTest, DumpsOfASmallDesign) {
  // One DSP column of two locations: (2,1) and (2,3).
  host::testing::device(Family::KY).grid(5, 6).dsp_columns({2}).ram_columns({}).build();
  auto n = host::testing::netlist();
  mac_at(n, "m_a", 2, 1);                        // id 0
  mac_at(n, "m_b", 2, 0.6f);                     // id 1
  n.mac("m_c").mode(9).locked_box(2, 3, 2, 4);   // id 2, no analytic location
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");

  EXPECT_TRUE(run());
  EXPECT_EQ(read("velmo_physical_mac_merge_info.echo"),
            "----- Info on MAC atoms -----\n\n"
            "MAC 0: m_a\tmode: 18x18 FULL\tplaced: YES\tx: 2, y: 1\tcompatible_group: 0"
            "\tlocation_constraint: unconstrained\n"
            "MAC 1: m_b\tmode: 18x18 FULL\tplaced: YES\tx: 2, y: 1\tcompatible_group: 0"
            "\tlocation_constraint: unconstrained\n"
            "MAC 2: m_c\tmode: Non Mergeable\tplaced: YES\tx: -1, y: -1\tcompatible_group: 1"
            "\tlocation_constraint: (2, 3) -> (2, 4)\n"
            "\n\n----- Info on Floorplan Placement -----\n\n\n"
            "\t0\t1\t2\t3\t4\n"
            "0\t--\t--\t--\t--\t--\t\n"
            "1\t--\t--\t0, 1\t--\t--\t\n"
            "2\t--\t--\t--\t--\t--\t\n"
            "3\t--\t--\t2, |\t--\t--\t\n"
            "4\t--\t--\t--\t--\t--\t\n"
            "5\t--\t--\t--\t--\t--\t\n"
            "\n"
            "Distance between MAC 0 and MAC 1 is 0\n"
            "Worst distance among all merged pairs: 0\n"
            "Average distance among all merged pairs: 0\n"
            "Median distance among all merged pairs: 0\n");
  EXPECT_EQ(read("velmo_physical_mac_placement_dump.echo"),
            "[\n"
            "\t{\n\t\t\"id\" : 0,\n\t\t\"name\" : \"m_a\",\n\t\t\"loc\" : [2, 1, 0]\n\t}\n"
            "\t,\n"
            "\t{\n\t\t\"id\" : 1,\n\t\t\"name\" : \"m_b\",\n\t\t\"loc\" : [2, 1, 1]\n\t}\n"
            "\t,\n"
            "\t{\n\t\t\"id\" : 2,\n\t\t\"name\" : \"m_c\",\n\t\t\"loc\" : [2, 3, 0]\n\t}\n"
            "\t,\n"
            "\t{ }\n"
            "]\n");
  EXPECT_EQ(host::call_count("ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 2);
  EXPECT_EQ(mac_count(), 2);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Merging MAC 0 and MAC 1"));
}
