// Prefit MAC merging: gathering, placement on the DSP floorplan, the fit
// check and its messages, spreading, merging, the debug dumps and the
// estimate-only count.
#include <algorithm>
#include <fstream>
#include <list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "oxter/oxter_env.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_op.h"
#include "velmo_periphery_placement_util.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using ::testing::ElementsAre;

namespace {

class MacMergeTest : public host::testing::EnvTest {
 protected:
  bool run() {
    VELMO_MAC_MERGE_OP op(m_env, false);
    return op.work();
  }
  static int count_calls(const std::string& name) { return host::call_count(name); }
  static int mac_count() {
    int n = 0;
    for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
      if (a->is_mac() || a->is_fp_mac()) ++n;
    return n;
  }
  static std::vector<POSTED_MESSAGE> posted(const std::string& key) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.key == key) out.push_back(m);
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
  // The merges section of the info dump: one line per shared location.
  static std::string merges_section() {
    const std::string info = read("velmo_mac_merge_info.echo");
    const std::string head = "----- Info on MAC merges -----\n\n";
    auto at = info.find(head);
    return at == std::string::npos ? std::string("<none>") : info.substr(at + head.size());
  }

};

}  // namespace

TEST_F(MacMergeTest, EarlyReturnsTouchNothing) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  n.mac("a").mode(2);
  n.mac("b").mode(2);

  cfg_set_on("use_physical_mac_merge");
  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(),
              ElementsAre("VELMO_MAC_MERGE: Physical MAC merging is ON. Normal merge won't run."));
  host::cfg::unset("use_physical_mac_merge");

  // No DSP location to use: nothing is gathered or merged.
  cfg_set_value("velmo_max_dsp_locations_to_use", "0");
  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(),
              ::testing::Not(HasDebugLine("VELMO_MAC_MERGE: MAC Merging finished with 2 MAC atoms (down from 2)")));
  EXPECT_EQ(mac_count(), 2);

  // A device without DSP columns has no DSP location either.
  host::cfg::unset("velmo_max_dsp_locations_to_use");
  host::testing::device(Family::KY).dsp_columns({}).build();
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 2);

  // An unsupported family has no merge utility.
  host::testing::device(Family::IO_LEGACY).build();
  EXPECT_EQ(expect_internal_error([&] { run(); }).condition, "unsupported family");
}

TEST_F(MacMergeTest, SpreadingUndoesMergesUnlessMergingForDensity) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  auto a = n.mac("a").mode(2);
  auto bm = n.mac("b").mode(2);
  const int b = bm.id();
  // A load on the second MAC's result output.
  auto load = n.reg("load").d(bm->add_output_term(static_cast<DB_OUTPUT_PORT_TYPE>(363), 0));

  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 2);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_MERGE: MAC Merging finished with 2 MAC atoms (down from 2)"));

  cfg_set_on("velmo_mac_merge_for_density");
  EXPECT_TRUE(run());
  EXPECT_EQ(mac_count(), 1);
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(b), nullptr);
  EXPECT_EQ(a->get_mac_info().mode, 2);
  // The merged-away MAC's load is now driven by the merged MAC.
  const VOK_ATOM_OTERM* d = load->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->get_my_node(), a.atom());
  std::string why;
  EXPECT_TRUE(host::vok::top_netlist()->sanity_check(&why)) << why;
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_MERGE: MAC Merging finished with 1 MAC atoms (down from 2)"));
}

TEST_F(MacMergeTest, FiveMacsOnFourLocationsKeepOneMerge) {
  // Two DSP columns of two locations each: (4,1), (4,3), (8,1), (8,3).
  host::testing::device(Family::KZ).grid(12, 6).build();
  auto n = host::testing::netlist();
  std::vector<int> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(n.mac("m" + std::to_string(i)).mode(2).id());
  cfg_set_on("velmo_mac_merge_debug");

  EXPECT_TRUE(run());
  // Placement paired (m0,m1) and (m2,m3); spreading moved m1 to the empty
  // fourth location and stopped once all four were in use.
  EXPECT_EQ(merges_section(), std::to_string(ids[2]) + "\t" + std::to_string(ids[3]) + "\n");
  EXPECT_EQ(mac_count(), 4);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(ids[1]), nullptr);
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(ids[3]), nullptr);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_MAC_DEBUG: Initial floorplan check uses 3 MACs"));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_MERGE: MAC Merging finished with 4 MAC atoms (down from 5)"));
}

TEST_F(MacMergeTest, SpreadingStopsAtTheUsableLocationCountThoughLocationsAreFree) {
  // Eight DSP locations, four of them usable: spreading stops once four are
  // in use, though four more stand empty.
  host::testing::device(Family::KX).build();
  cfg_set_value("velmo_max_dsp_locations_to_use", "4");
  auto n = host::testing::netlist();
  std::vector<int> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(n.mac("m" + std::to_string(i)).mode(2).id());
  cfg_set_on("velmo_mac_merge_debug");

  EXPECT_TRUE(run());
  EXPECT_EQ(merges_section(), std::to_string(ids[2]) + "\t" + std::to_string(ids[3]) + "\n");
  EXPECT_EQ(mac_count(), 4);
  EXPECT_TRUE(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS").empty());
}

TEST_F(MacMergeTest, SpreadingMovesAConstrainedMacOnlyToAFreeLocation) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  // b and a are locked to (4,1) and (4,3); c's box runs from (4,1) to (4,5).
  const int b = n.mac("b").mode(2).locked(4, 1, 0).id();
  const int a = n.mac("a").mode(2).locked(4, 3, 0).id();
  const int c = n.mac("c").mode(2).locked_box(4, 1, 4, 5).id();
  cfg_set_on("velmo_mac_merge_debug");

  EXPECT_TRUE(run());
  // Placement put c onto b. Spreading passes over the occupied (4,1) and
  // (4,3), though both have a free slot, and moves c to the empty (4,5).
  EXPECT_EQ(merges_section(), "");
  const std::string placement = read("velmo_mac_placement_dump.echo");
  EXPECT_NE(placement.find("\"name\" : \"c\",\n\t\t\"loc\" : [4, 5, 0]"), std::string::npos) << placement;
  for (int id : {a, b, c}) EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(id), nullptr) << id;
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_MAC_DEBUG: Initial floorplan check uses 2 MACs"));
}

TEST_F(MacMergeTest, FirstFitHonoursGroupsConstraintsAndScanOrder) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  // A mode-2 MAC locked to (8,1), a floating-point MAC (alone in its group)
  // and a MAC that cannot merge.
  const int locked = n.mac("locked").mode(2).locked(8, 1, 0).id();
  n.fp_mac("fp").mode(2);
  std::vector<int> u;
  for (int i = 1; i <= 5; ++i) u.push_back(n.mac("u" + std::to_string(i)).mode(2).id());
  n.mac("solo").mode(9);
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");

  EXPECT_TRUE(run());
  // Order: locked (smallest box) at (8,1); fp and solo (cannot merge) at
  // (4,1) and (4,3), where no other MAC joins them. Then the mode-2 group in
  // id order, each at the first legal location in column-major order: u1 at
  // the empty (4,5), which comes before the half-filled (8,1); u2 onto u1;
  // u3 at (4,7); u4 onto u3; u5 onto locked at (8,1), before the empty (8,3).
  auto id = [](int i) { return std::to_string(i); };
  EXPECT_EQ(merges_section(), id(u[0]) + "\t" + id(u[1]) + "\n" + id(u[2]) + "\t" + id(u[3]) + "\n" + id(locked) +
                                  "\t" + id(u[4]) + "\n");
  const std::string placement = read("velmo_mac_placement_dump.echo");
  EXPECT_NE(placement.find("\"name\" : \"fp\",\n\t\t\"loc\" : [4, 1, 0]"), std::string::npos) << placement;
  EXPECT_NE(placement.find("\"name\" : \"solo\",\n\t\t\"loc\" : [4, 3, 0]"), std::string::npos) << placement;
  EXPECT_EQ(mac_count(), 5);
}

TEST_F(MacMergeTest, AConstrainedMacJoinsOnlyAFirstMacOfItsOwnGroup) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  // a and b are compatible, so they form group 0; c may not merge with a,
  // so it seeds group 1 although it is compatible with b.
  const int a = n.mac("a").mode(2).id();
  const int b = n.mac("b").mode(2).locked(4, 1, 0).id();
  const int c = n.mac("c").mode(2).locked_box(4, 1, 4, 3).id();
  host::drc::veto_merge(a, c);
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");

  EXPECT_TRUE(run());
  // b takes (4,1) first. c's box offers (4,1), where b of the other group
  // sits, and then the empty (4,3). a joins b, its own group's first MAC.
  EXPECT_EQ(merges_section(), std::to_string(b) + "\t" + std::to_string(a) + "\n");
  const std::string placement = read("velmo_mac_placement_dump.echo");
  EXPECT_NE(placement.find("\"name\" : \"c\",\n\t\t\"loc\" : [4, 3, 0]"), std::string::npos) << placement;
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(c), nullptr);
  EXPECT_EQ(mac_count(), 2);
}

TEST_F(MacMergeTest, DumpsOfASmallDesign) {
  // One DSP column of two locations: (2,1) and (2,3).
  host::testing::device(Family::KY).grid(5, 6).dsp_columns({2}).ram_columns({}).build();
  auto n = host::testing::netlist();
  n.mac("m_a").mode(2);                         // id 0
  n.mac("m_b").mode(2);                         // id 1
  n.mac("m_c").mode(9).locked_box(2, 3, 2, 4);  // id 2
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");

  EXPECT_TRUE(run());
  EXPECT_EQ(read("velmo_mac_merge_info.echo"),
            "----- Info on MAC atoms -----\n\n\n"
            "MAC 2: m_c\n\tmode: Non Mergeable\n\tplaced: YES\n\tlogical_group: 1\n"
            "\tlocation_constraint: (2, 3) -> (2, 4)\n"
            "MAC 0: m_a\n\tplaced: YES\n\tlogical_group: 0\n\tlocation_constraint: unconstrained\n"
            "MAC 1: m_b\n\tplaced: YES\n\tlogical_group: 0\n\tlocation_constraint: unconstrained\n"
            "\n\n----- Info on Floorplan Placement -----\n\n\n"
            "\t0\t1\t2\t3\t4\n"
            "0\t--\t--\t--\t--\t--\t\n"
            "1\t--\t--\t0, 1, OPEN\t--\t--\t\n"
            "2\t--\t--\t--\t--\t--\t\n"
            "3\t--\t--\t2, OPEN, OPEN\t--\t--\t\n"
            "4\t--\t--\t--\t--\t--\t\n"
            "5\t--\t--\t--\t--\t--\t\n"
            "\n\n----- Info on MAC merges -----\n\n"
            "0\t1\n");
  EXPECT_EQ(read("velmo_mac_placement_dump.echo"),
            "[\n"
            "\t{\n\t\t\"id\" : 0,\n\t\t\"name\" : \"m_a\",\n\t\t\"loc\" : [2, 1, 0]\n\t}\n"
            "\t,\n"
            "\t{\n\t\t\"id\" : 1,\n\t\t\"name\" : \"m_b\",\n\t\t\"loc\" : [2, 1, 1]\n\t}\n"
            "\t,\n"
            "\t{\n\t\t\"id\" : 2,\n\t\t\"name\" : \"m_c\",\n\t\t\"loc\" : [2, 3, 0]\n\t}\n"
            "\t,\n"
            "\t{ }\n"
            "]\n");
  EXPECT_EQ(count_calls("ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 2);
}

TEST_F(MacMergeTest, ChainIdsFollowLinksWhicheverMemberComesFirst) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  // Built tail first, so the walk starts from the chain's end.
  auto c = n.mac("c").mode(9);
  auto b = n.mac("b").mode(9);
  auto a = n.mac("a").mode(9);
  a.feeds(b, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  b.feeds(c, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  auto lone = n.mac("lone").mode(9);
  // A ring of chain-out/chain-in links ends the walk instead of looping.
  auto r1 = n.mac("r1").mode(9);
  auto r2 = n.mac("r2").mode(9);
  r1.feeds(r2, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  r2.feeds(r1, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  (void)lone;
  cfg_set_on("velmo_mac_merge_debug");

  EXPECT_TRUE(run());
  const std::string info = read("velmo_mac_merge_info.echo");
  auto chain_of = [&](const std::string& name) {
    auto at = info.find(": " + name + "\n");
    auto next = info.find("MAC ", at + 1);
    auto seg = info.substr(at, next - at);
    auto c_at = seg.find("chain_id: ");
    return c_at == std::string::npos ? -1 : std::stoi(seg.substr(c_at + 10));
  };
  EXPECT_EQ(chain_of("a"), 0);
  EXPECT_EQ(chain_of("b"), 0);
  EXPECT_EQ(chain_of("c"), 0);
  EXPECT_EQ(chain_of("lone"), -1);
  EXPECT_EQ(chain_of("r1"), 1);
  EXPECT_EQ(chain_of("r2"), 1);
}

TEST_F(MacMergeTest, ChainLengthLimitAndChainsAcrossRegions) {
  // Ten rows, DSP height 2: chains of up to five blocks.
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  std::vector<host::testing::MAC_BUILDER> chain;
  for (int i = 0; i < 5; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9));
  for (int i = 0; i + 1 < 5; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_TRUE(run());
  EXPECT_TRUE(posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG").empty());

  chain.push_back(n.mac("c5").mode(9));
  chain[4].feeds(chain[5], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_LENGTH_TOO_LONG");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "The following DSP blocks form a DSP chain of length 6. Maximum allowed DSP chain length on the current "
            "device is 5.");
  EXPECT_EQ(sub_texts(errors[0]).size(), 6u);
  EXPECT_EQ(sub_texts(errors[0])[0], "Node \"c0\"");
}

TEST_F(MacMergeTest, ChainSpanningTwoRegionsOnlyWarns) {
  host::testing::device(Family::KY).build();
  host::testing::region("left", {{0, 0, 5, 9}});
  host::testing::region("right", {{6, 0, 11, 9}});
  auto n = host::testing::netlist();
  auto a = n.mac("a").mode(9).floating(0);
  auto b = n.mac("b").mode(9).floating(1);
  a.feeds(b, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  cfg_set_on("velmo_mac_merge_debug");
  EXPECT_TRUE(run());
  // b's first free location in scan order, (4,3), lies outside its region:
  // it goes to the first location of "right" instead.
  const std::string placement = read("velmo_mac_placement_dump.echo");
  EXPECT_NE(placement.find("\"name\" : \"a\",\n\t\t\"loc\" : [4, 1, 0]"), std::string::npos) << placement;
  EXPECT_NE(placement.find("\"name\" : \"b\",\n\t\t\"loc\" : [8, 1, 0]"), std::string::npos) << placement;
  // Each check warns; the check runs again after spreading.
  auto warnings = posted("VELMO_DWO_MAC_CHAIN_SPANS_MULTIPLE_TBR");
  ASSERT_FALSE(warnings.empty());
  EXPECT_THAT(sub_texts(warnings[0]), ElementsAre("Node \"a\"", "Node \"b\""));
}

TEST_F(MacMergeTest, RegionBoxesAreJoinedAndTheRunIsCutAtTheAddressRegisterRow) {
  // Column 4 given in two touching pieces (upper first), column 8 in two
  // overlapping pieces: one box per column.
  host::testing::device(Family::KY).build();
  host::testing::region("R", {{4, 5, 4, 8}, {4, 1, 4, 4}, {8, 1, 8, 6}, {8, 3, 8, 8}});
  auto n = host::testing::netlist();
  std::vector<host::testing::MAC_BUILDER> chain;
  for (int i = 0; i < 5; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9).floating(0));
  for (int i = 0; i + 1 < 5; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "The following DSP nodes form a DSP chain that requires 5 contiguous DSP locations. These DSP nodes are "
            "constrained to the Tarnbay region R, where the longest contiguous group of DSP locations has length 4.");
  EXPECT_THAT(errors[0].locations,
              ElementsAre("DSP locations in Tarnbay region \"R\": area (4, 1) - (4, 8); area (8, 1) - (8, 8)"));
  ASSERT_EQ(errors[0].subs.size(), 6u);
  EXPECT_EQ(errors[0].subs[0].key, "VELMO_DWO_LOCATE_DSP_BLOCKS_IN_TBR");
}

TEST_F(MacMergeTest, AddressRegisterRowShortensRegionRuns) {
  host::testing::device(Family::KY).basic_int_data(52, 4).build();
  host::testing::region("R", {{4, 1, 4, 8}});
  auto n = host::testing::netlist();
  auto a = n.mac("a").mode(9).floating(0);
  auto b = n.mac("b").mode(9).floating(0);
  a.feeds(b, DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].args[2].value, 1);

  // Crossing the row is allowed on request.
  cfg_set_on("vpr_mv_allow_qdsps_to_cross_address_register_row");
  EXPECT_TRUE(run());
}

TEST_F(MacMergeTest, TooManyBlocksCitesTheExceededLimit) {
  // Three MACs that cannot merge on a device limited to two locations.
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  for (int i = 0; i < 3; ++i) n.mac("m" + std::to_string(i)).mode(9);
  cfg_set_value("velmo_max_dsp_locations_to_use", "2");
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "Design uses 3 DSP blocks, but only 2 DSP blocks are available in the device");
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_MAC_MERGE: Limiting number of DSP locations available to 2, instead of default 8"));
}

TEST_F(MacMergeTest, UsageAboveTheVirtualCapacityFailsThoughLocationsFit) {
  host::testing::device(Family::KX).element_int_data(264, 1, 0).element_int_data(264, 2, 2).build();
  auto n = host::testing::netlist();
  for (int i = 0; i < 3; ++i) n.mac("m" + std::to_string(i)).mode(9);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "Design uses 3 DSP blocks, but only 2 DSP blocks are available in the device");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("virtual dsp avail=2"));
}

TEST_F(MacMergeTest, RegionCapacityIsCheckedPerRegion) {
  // Rows 1..3 of column 4 hold the locations at rows 1 and 3, but the
  // region's capacity counts whole blocks only.
  host::testing::device(Family::KY).build();
  host::testing::region("small", {{4, 1, 4, 3}});
  auto n = host::testing::netlist();
  n.mac("a").mode(9).floating(0);
  n.mac("b").mode(9).floating(0);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_TOO_MANY_DSPS_IN_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "The following DSP nodes require 2 DSP locations, but they are all confined to Tarnbay region small which "
            "only contains 1 DSP locations.");
  EXPECT_THAT(errors[0].locations, ElementsAre("DSP locations in TBR \"small\": area (4, 1) - (4, 3)"));
  EXPECT_THAT(sub_texts(errors[0]),
              ElementsAre(::testing::HasSubstr("Tarnbay region \"small\" in Gridmoss."), "Node \"a\"", "Node \"b\""));

  // Rows 1..4 hold two whole blocks: two MACs fill the region exactly.
  host::testing::region("small", {{4, 1, 4, 4}}, 0);
  EXPECT_TRUE(run());
  EXPECT_EQ(posted("VELMO_DWO_MAC_TOO_MANY_DSPS_IN_TBR").size(), 1u);
}

TEST_F(MacMergeTest, UnplacedMacsAreNamedUpToTheLimit) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  // Thirteen MACs locked to one location: twelve find no place.
  for (int i = 0; i < 13; ++i) n.mac("m" + std::to_string(i)).mode(9).locked(4, 1, 0);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_COULD_NOT_PLACE_MACS");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].args[0].value, 12);
  auto subs = sub_texts(errors[0]);
  ASSERT_EQ(subs.size(), 11u);
  EXPECT_EQ(subs[0], "Node \"m1\"");
  EXPECT_EQ(subs[10], "And 2 more similar nodes (full list omitted for brevity)");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Warning: Could not place block m12"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\tAtom 12 was constrained to (4, 1)"));
  EXPECT_EQ(mac_count(), 13);

  // A negative limit lists no names.
  cfg_set_value("velmo_max_dsps_to_list_in_errors", "-3");
  EXPECT_FALSE(run());
  errors = posted("VELMO_DWO_MAC_COULD_NOT_PLACE_MACS");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_THAT(sub_texts(errors[1]), ElementsAre("And 12 more similar nodes (full list omitted for brevity)"));
}

TEST_F(MacMergeTest, EstimateCountsLocationsAfterMerging) {
  host::testing::device(Family::KX15).build();
  auto n = host::testing::netlist();
  std::list<VOK_ATOM_NODE*> atoms;
  for (int i = 0; i < 5; ++i) atoms.push_back(n.mac("m" + std::to_string(i)).mode(2));
  atoms.push_back(n.reg("r"));
  atoms.push_back(nullptr);

  VELMO_PERIPHERY_PLACEMENT_UTIL util;
  OXTER_MAC_MERGE_ESTIMATOR* estimator = OXTER_ENV::get_mac_merge_estimator();
  ASSERT_NE(estimator, nullptr);
  EXPECT_EQ(estimator->estimate_mac_count_after_merging(atoms), 3);
  atoms.pop_front();
  EXPECT_EQ(estimator->estimate_mac_count_after_merging(atoms), 2);
  atoms.push_back(n.mac("odd").mode(9));
  atoms.push_back(n.fp_mac("fp").mode(2));
  EXPECT_EQ(estimator->estimate_mac_count_after_merging(atoms), 4);

  VELMO_MAC_MERGE_OP op(m_env, true);
  std::list<VOK_ATOM_NODE*> empty;
  EXPECT_EQ(op.estimate_min_macs_required(&atoms), 4);
  // A MAC joins the first open location it is compatible with; a location it
  // fills gives its place in the list to the last open one. Here a, b and c
  // open three locations, d fills a's (c takes its place), e then fills c's
  // rather than b's, and f, compatible with c only, opens a fourth.
  std::vector<VOK_ATOM_NODE*> v;
  for (const char* name : {"a", "b", "c", "d", "e", "f"}) v.push_back(n.mac(std::string("v_") + name).mode(2));
  auto veto = [&](int i, int j) { host::drc::veto_merge(v[i]->get_id(), v[j]->get_id()); };
  for (auto [i, j] : {std::pair{0, 1}, {0, 2}, {1, 2}, {3, 1}, {4, 0}, {4, 3}, {5, 0}, {5, 1}, {5, 3}, {5, 4}}) veto(i, j);
  std::list<VOK_ATOM_NODE*> six(v.begin(), v.end());
  EXPECT_EQ(op.estimate_min_macs_required(&six), 4);
  EXPECT_EQ(expect_internal_error([&] { op.estimate_min_macs_required(&empty); }).condition, "!atom_list->empty()");
  EXPECT_EQ(expect_internal_error([&] { op.work(); }).condition, "!m_estimate_only");
}

TEST_F(MacMergeTest, ALocationLedByAChainMemberKeepsItsMergeThroughSpreading) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  // a and b form a scan chain; the rules merge a scan-linked pair. m, lone
  // and other merge with one another but not with the chain.
  auto a = n.mac("a").mode(2);
  auto b = n.mac("b").mode(2);
  a.feeds(b, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  auto m = n.mac("m").mode(2);
  auto lone = n.mac("lone").mode(2);
  auto other = n.mac("other").mode(2);
  // The merge deletes b: take the ids before it runs.
  const int a_id = a.id(), b_id = b.id(), m_id = m.id(), lone_id = lone.id(), other_id = other.id();
  cfg_set_on("velmo_mac_merge_debug");
  EXPECT_TRUE(run());
  // Placement put b onto a and lone onto m. Spreading moved lone to a free
  // location, but left b with the chain's first member: the only merge left
  // is the chain's.
  EXPECT_EQ(merges_section(), std::to_string(a_id) + "\t" + std::to_string(b_id) + "\n");
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(b_id), nullptr);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(m_id), nullptr);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(lone_id), nullptr);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(other_id), nullptr);
  EXPECT_EQ(mac_count(), 4);
}

TEST_F(MacMergeTest, MacsMergedOntoALocationCountTowardTheUsage) {
  // One virtual DSP block; a mode-2 MAC uses half of one. Four MACs merged
  // in pairs onto two locations use two blocks, though only two of them sit
  // first at their locations.
  host::testing::device(Family::KX).element_int_data(264, 1, 0).element_int_data(264, 2, 1).build();
  auto n = host::testing::netlist();
  for (int i = 0; i < 4; ++i) n.mac("m" + std::to_string(i)).mode(2);
  cfg_set_on("velmo_mac_merge_for_density");
  EXPECT_FALSE(run());
  EXPECT_EQ(posted("VELMO_DWO_MAC_TOO_MANY_MAC_BLOCKS").size(), 1u);
}

TEST_F(MacMergeTest, AVetoedPairIsKeptApartWhileOtherPairsStillMerge) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  std::vector<int> u;
  for (int i = 1; i <= 4; ++i) u.push_back(n.mac("u" + std::to_string(i)).mode(2).id());
  cfg_set_on("velmo_mac_merge_debug");
  cfg_set_on("velmo_mac_merge_for_density");
  // u1 and u2 may not be merged: u2 is grouped apart and placed alone, u3
  // joins u1 and u4 takes a location of its own.
  host::drc::veto_merge(u[1], u[0]);
  EXPECT_TRUE(run());
  EXPECT_EQ(merges_section(), std::to_string(u[0]) + "\t" + std::to_string(u[2]) + "\n");
  EXPECT_EQ(mac_count(), 3);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(u[1]), nullptr);
  EXPECT_EQ(host::vok::top_netlist()->get_atom_by_id(u[2]), nullptr);
  EXPECT_NE(host::vok::top_netlist()->get_atom_by_id(u[3]), nullptr);
}

TEST_F(MacMergeTest, TheLongerRunAboveTheAddressRegisterRowCounts) {
  // Address-register row 2 in a region of rows 1..8: no location below it,
  // two above (rows 3..8 hold locations at 3, 5 and 7; the run stops short
  // of the top row pair).
  host::testing::device(Family::KY).basic_int_data(52, 2).build();
  host::testing::region("R", {{4, 1, 4, 8}});
  auto n = host::testing::netlist();
  std::vector<host::testing::MAC_BUILDER> chain;
  for (int i = 0; i < 3; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9).floating(0));
  for (int i = 0; i + 1 < 3; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].args[2].value, 2);
}

TEST_F(MacMergeTest, AnAddressRegisterRowOnTheRegionsBottomRowCountsToo) {
  // Address-register row 1, the bottom row of a region of rows 1..6: the run
  // above it holds two locations, too few for a chain of three that the
  // region's whole column would hold.
  host::testing::device(Family::KY).basic_int_data(52, 1).build();
  host::testing::region("R", {{4, 1, 4, 6}});
  auto n = host::testing::netlist();
  std::vector<host::testing::MAC_BUILDER> chain;
  for (int i = 0; i < 3; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9).floating(0));
  for (int i = 0; i + 1 < 3; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  EXPECT_FALSE(run());
  auto errors = posted("VELMO_DWO_MAC_CHAIN_TOO_LONG_FOR_TBR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].args[2].value, 2);
}
