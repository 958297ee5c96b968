// The placer-router facade's route: the host's router behind route(), the
// fix-up flow and place_route_finalize(), unless a test scripts the result.
#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/host_control.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "korrin/korrin_graph.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "wump/wump_die_info.h"

using host::testing::HostTest;

namespace {

class FacadeRouteTest : public HostTest {
protected:
  // Two inputs, a few LUTs and registers and an output, unplaced.
  void build_design() {
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto a = n.io_in("a");
    auto b = n.io_in("b");
    auto l1 = n.lut("l1", {a, b}, 0x6);
    auto r1 = n.reg("r1").clk(a).d(l1);
    auto l2 = n.lut("l2", {r1, b, l1}, 0x96);
    auto r2 = n.reg("r2").clk(a).d(l2);
    auto l3 = n.lut("l3", {r2, r1}, 0x8);
    n.io_out("y", l3);
    last = l3;
  }
  VOK_ATOM_NODE* last = nullptr;
};

TEST_F(FacadeRouteTest, RouteWritesRoutingTheCheckAccepts) {
  build_design();
  TIBEX_VPR_FACADE f;
  ASSERT_TRUE(f.place());
  std::string why;
  ASSERT_TRUE(host::placement::check_legal(&why)) << why;
  EXPECT_FALSE(host::routing::check(&why));  // placed, not routed yet
  why.clear();
  ASSERT_TRUE(f.route()) << host::facade::last_route_failure();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_GT(host::router::last_stats().connections, 0);
  EXPECT_EQ(host::facade::last_route_failure(), "");
  // The fix-up flow completes routing too; nothing is left to route.
  ASSERT_TRUE(f.run_flow_8_fixup());
  EXPECT_EQ(host::router::last_stats().routed, 0);
  EXPECT_TRUE(host::routing::check(&why)) << why;
}

TEST_F(FacadeRouteTest, PlaceRouteFinalizeRoutesAndAScriptedResultSkipsTheRouter) {
  build_design();
  {
    TIBEX_VPR_FACADE f;
    host::script::queue<bool>("TIBEX_VPR_FACADE::route").push(false);
    EXPECT_FALSE(f.route());  // scripted: the router does not run
    EXPECT_EQ(host::router::last_stats().connections, 0);
    ASSERT_TRUE(f.place_route_finalize());
  }
  std::string why;
  EXPECT_TRUE(host::placement::check_legal(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
}

}  // namespace

TEST_F(FacadeRouteTest, ARoutingFailureReturnsFalseWithTheReason) {
  build_design();
  TIBEX_VPR_FACADE f;
  ASSERT_TRUE(f.place());
  // Every input mux of the last LUT's LAB blacklisted: its inputs cannot be
  // routed.
  const auto site = host::device::die_info()->get_place_info()->get_place_block(last->get_location_gid());
  ASSERT_TRUE(site.has_value());
  DeviceSpec spec = host::device::spec();
  const auto& tile = host::korrin::graph().tile(site->get_x(), site->get_y());
  for (unsigned id : tile.in) spec.blacklist_gids.push_back(id | 0x80000000u);
  host::device::configure(spec);
  EXPECT_FALSE(f.route());
  EXPECT_THAT(host::facade::last_route_failure(), ::testing::HasSubstr("l3"));
  EXPECT_FALSE(f.run_flow_8_fixup());
  EXPECT_FALSE(f.place_route_finalize());
}

// The facade's placer options: a limit of LUTs and registers per LAB spreads
// a design that would otherwise fill a LAB.
TEST_F(FacadeRouteTest, PlacerOptionsLimitTheAtomsPerLab) {
  auto most_per_lab = [](bool limited) {
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    std::vector<VOK_ATOM_NODE*> atoms;
    auto clk = n.io_in("a");
    host::testing::SIG sig = clk;
    for (int i = 0; i < 12; ++i) {
      auto l = n.lut("l" + std::to_string(i), {sig}, 0x1);
      auto r = n.reg("r" + std::to_string(i)).clk(clk).d(l);
      atoms.push_back(l);
      atoms.push_back(r);
      sig = r;
    }
    n.io_out("y", sig);
    host::placement::PLACER_OPTIONS o;
    o.lab_atom_limit = limited ? 5 : 0;
    host::facade::set_placer_options(o);
    TIBEX_VPR_FACADE f;
    EXPECT_TRUE(f.place());
    std::string why;
    EXPECT_TRUE(host::placement::check_legal(&why)) << why;
    std::map<std::pair<int, int>, int> per_lab;
    for (VOK_ATOM_NODE* a : atoms) {
      const auto site = host::device::die_info()->get_place_info()->get_place_block(a->get_location_gid());
      EXPECT_TRUE(site.has_value());
      if (site) ++per_lab[{site->get_x(), site->get_y()}];
    }
    int most = 0;
    for (const auto& [lab, count] : per_lab) most = std::max(most, count);
    return most;
  };
  EXPECT_GT(most_per_lab(false), 5);
  host_reset();
  EXPECT_EQ(most_per_lab(true), 5);
}
