// Fanout limits of the core routing fabric: the limits from the device's
// element descriptions, the two special cases of family 46, pipeline-register
// nodes seen through, and the assert-or-report choice.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "msg/msg_base.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "velmo_bbic_states.h"
#include "velmo_expert.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::HostTest;
using host::testing::NET_BUILDER;

namespace {

class FanoutLimitTest : public HostTest {
protected:
  void build(int family, int lab_mux_limit) {
    auto dev = host::testing::device(family);
    if (lab_mux_limit > 0) dev.element_int_data(282, 21, lab_mux_limit);
    dev.build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    src = n.reg("src").clk(clk).d(n.input_port("in")).atom();
    auto r2 = n.reg("src2").clk(clk).d(n.input_port("in2"));
    src2 = r2.atom();
    n.lut("load", {r2}, 0x2);
    load_in = n.find("load")->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  // n fabric branches of single short wires below the cursor.
  static void fan(NET_BUILDER& b, int n, int y) {
    using host::testing::h;
    using host::testing::v;
    for (int i = 0; i < n; ++i) b.branch([&](NET_BUILDER& c) { c.wire(i % 2 ? v(1 + i / 2, y) : h(1 + i / 2, y)); });
  }
  std::vector<std::string> violation_lines() const {
    std::vector<std::string> out;
    for (const auto& l : host::debug::texts())
      if (l.rfind("    offending DEV_GID", 0) == 0) out.push_back(l);
    return out;
  }
  static std::string line(unsigned gid, int used, int limit, const char* kind) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "    offending DEV_GID %u has %d/%d fanout used (element_enum=%s)", gid, used,
                  limit, kind);
    return buf;
  }
  const WUMP_ROUTE_INFO& route_info() const {
    return *PEXA_UTILITY::get_current_device()->get_die_info()->get_wump_die_info()->get_route_info();
  }

  WEXAN_ENV* m_env = nullptr;
  VOK_ATOM_NODE* src = nullptr;
  VOK_ATOM_NODE* src2 = nullptr;
  VOK_ATOM_ITERM* load_in = nullptr;
};

// LAB mux (282) with map limit 8: starting the fabric it may drive five
// branches; under a fabric parent the map limit holds. Wires (700) have 6.
TEST_F(FanoutLimitTest, FamilyWithSpecialCasesReportsInNodeOrder) {
  build(host::testing::Family::KY, 8);
  using namespace host::testing;
  const unsigned mux = gid_of(lab_output(5, 4, 94));
  const unsigned wire = gid_of(h(7, 7));
  auto d = routing();
  d.routing(src).wire(lab_output(5, 4, 94)).branch([&](NET_BUILDER& b) { fan(b, 6, 1); });
  // A wire with seven fabric children (one of them the mux that continues
  // with six more): both limits broken, the mux keeps its map limit.
  d.routing(src2).wire(h(7, 7)).branch([&](NET_BUILDER& b) { fan(b, 6, 2); }).wire(lab_output(7, 5, 95)).branch(
      [&](NET_BUILDER& b) { fan(b, 6, 3); });

  EXPECT_FALSE(VELMO_EXPERT::analyze_fanout_violations(m_env, false));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("=== FANOUT LIMIT VIOLATION(S) FOUND ==="));
  EXPECT_EQ(violation_lines(), (std::vector<std::string>{line(mux, 6, 5, "LAB_PORT_MUX"), line(wire, 7, 6, "H_WIRE")}))
      << "the mux below a fabric parent has 6/8";
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Fanout limit violations found, but I will not assert."));

  auto e = host::testing::expect_internal_error([&] { VELMO_EXPERT::analyze_fanout_violations(m_env, true); });
  EXPECT_EQ(e.condition, "Fanout limits violated. See debug output for details.");

  // While partitions are blackboxed the routing is not walked.
  std::size_t before = host::debug::texts().size();
  velmo_bbic_set_active(true);
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true));
  velmo_bbic_set_active(false);
  EXPECT_EQ(host::debug::texts().size(), before);

  // The routers honour the limits themselves: nothing is checked.
  before = host::debug::texts().size();
  cfg_set_on("vpr_fanout_limit_loading");
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true));
  EXPECT_EQ(host::debug::texts().size(), before);
}

// Other families: the map limit alone; kinds without a limit are never
// reported.
TEST_F(FanoutLimitTest, OtherFamiliesUseTheMapLimitAlone) {
  build(host::testing::Family::KX, 0);
  using namespace host::testing;
  auto d = routing();
  d.routing(src).wire(lab_output(5, 4, 90)).branch([&](NET_BUILDER& b) { fan(b, 7, 1); });
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true)) << "282 has no limit here";

  // The sink below the wire is no fabric edge and takes none of its fanout.
  d.routing(src2).wire(v(8, 8)).branch([&](NET_BUILDER& b) { fan(b, 6, 2); }).sink(load_in);
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true)) << "six is the limit, not above it";
}

TEST_F(FanoutLimitTest, ExactlyAtTheLimitOfTheMuxIsNotReportedAndFamily48IgnoresSpecialCases) {
  build(host::testing::Family::KX, 8);
  using namespace host::testing;
  routing().routing(src).wire(lab_output(5, 4, 90)).branch([&](NET_BUILDER& b) { fan(b, 8, 1); });
  EXPECT_TRUE(VELMO_EXPERT::analyze_fanout_violations(m_env, true)) << "no five-branch rule off family 46";
}

// A pipeline-register pair in a branch is seen through: the branches below
// its register side count as the wire's own.
TEST_F(FanoutLimitTest, PipelineRegisterNodesAreSkipped) {
  build(host::testing::Family::KY, 0);
  using namespace host::testing;
  const unsigned wire = gid_of(h(7, 7));
  routing()
      .routing(src)
      .wire(h(7, 7))
      .branch([&](NET_BUILDER& b) {
        b.zota(lab_input(7, 7, 60));
        fan(b, 4, 2);
      })
      .branch([&](NET_BUILDER& b) { fan(b, 3, 3); });
  EXPECT_FALSE(VELMO_EXPERT::analyze_fanout_violations(m_env, false));
  EXPECT_EQ(violation_lines(), std::vector<std::string>{line(wire, 7, 6, "H_WIRE")});
}

TEST_F(FanoutLimitTest, SpecialCaseLimits) {
  build(host::testing::Family::KY, 0);
  using namespace host::testing;
  const WUMP_ROUTE_INFO& info = route_info();
  EXPECT_EQ(VELMO_EXPERT::get_fanout_limit_for_special_cases(info, gid_of(lab_output(5, 4, 94)), true), 5);
  EXPECT_EQ(VELMO_EXPERT::get_fanout_limit_for_special_cases(info, gid_of(lab_output(5, 4, 94)), false), -1);
  // Every feedback line of the stand-in feeds LAB input muxes of its tile.
  EXPECT_EQ(VELMO_EXPERT::get_fanout_limit_for_special_cases(info, gid_of(element_ref(279, 5, 4, 3)), true), -1);
  EXPECT_EQ(VELMO_EXPERT::get_fanout_limit_for_special_cases(info, gid_of(h(5, 4)), true), -1);
  // Other kinds have none either, also when they feed no LAB input mux (a
  // block output feeds wires).
  EXPECT_EQ(VELMO_EXPERT::get_fanout_limit_for_special_cases(info, info.gids(283).front(), true), -1);
}

}  // namespace
