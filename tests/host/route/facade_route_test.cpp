// The placer-router facade's route: the host's router behind route(), the
// fix-up flow and place_route_finalize(), unless a test scripts the result.
#include <gmock/gmock.h>

#include <string>

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
