// Slack windows of the periphery-core placement and the solver's
// per-routing-element caches.
#include <tbb/global_control.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "hov/hov_utility.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;

struct VELMO_P2C_PLACEMENT_PEER {
  using P = VELMO_PERIPHERY_CORE_PLACEMENT;
  static auto& hov(P& p) { return p.m_hov_utility; }
  static int general_min(P& p) { return p.m_p2c_general_window_min; }
  static auto& setup(P& p) { return p.m_nodes_repuired_p2c_max_delay_map; }
  static auto& hold(P& p) { return p.m_nodes_repuired_p2c_min_delay_map; }
  static auto& c2p_setup(P& p) { return p.m_nodes_repuired_c2p_max_delay_map; }
  static auto& windows(P& p) { return p.m_p2c_slack_window_map; }
  static auto& switch_delays(P& p) { return p.m_switch_delays_cache; }
  static auto& wire_weights(P& p) { return p.m_usable_wire_weight_cache; }
};
using PEER = VELMO_P2C_PLACEMENT_PEER;

namespace {

class P2cWindowsTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
  }
  static std::pair<int, int> window(VELMO_PERIPHERY_CORE_PLACEMENT& p, int a, int b) {
    const auto* w = PEER::windows(p).lookup({a, b});
    return w ? *w : std::pair<int, int>{-1, -1};
  }
  static int count_lines_starting(const std::string& prefix) {
    int n = 0;
    for (const auto& t : host::debug::texts()) n += t.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  static unsigned gid(int kind, int x, int y, int index) {
    return host::device::die_info()->get_route_info()->get_gid(kind, x, y, index);
  }
};

}  // namespace

TEST_F(P2cWindowsTest, OneGroupGetsItsGuardbandedWindow) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  PEER::setup(p)[{1, 2}] = 1000;
  PEER::hold(p)[{1, 2}] = 200;
  PEER::setup(p)[{3, 4}] = 1100;  // within one granularity: the same group
  PEER::hold(p)[{3, 4}] = 0;
  p.organize_p2c_window();
  EXPECT_EQ(window(p, 1, 2), std::make_pair(370, 750));
  EXPECT_EQ(window(p, 3, 4), std::make_pair(370, 750));
}

TEST_F(P2cWindowsTest, TheLowestSetupSlackChoosesTheGranularity) {
  for (int low : {2000, 2001}) {
    SCOPED_TRACE(low);
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    PEER::setup(p)[{1, 2}] = low;
    PEER::setup(p)[{3, 4}] = low + 300;
    PEER::hold(p)[{1, 2}] = 0;
    PEER::hold(p)[{3, 4}] = 0;
    p.organize_p2c_window();
    // 150 ps groups split the two; one 500 ps group keeps them together.
    if (low == 2000)
      EXPECT_NE(window(p, 1, 2), window(p, 3, 4));
    else
      EXPECT_EQ(window(p, 1, 2), window(p, 3, 4));
  }
  // The range is then spread evenly over its groups: 400 ps in two groups
  // of 200 ps, so 1000 and 1190 share one (150 ps groups would split them).
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  for (const auto& [key, slack] : {std::pair{std::pair{1, 2}, 1000}, {{3, 4}, 1190}, {{5, 6}, 1400}}) {
    PEER::setup(p)[key] = slack;
    PEER::hold(p)[key] = 0;
  }
  p.organize_p2c_window();
  EXPECT_EQ(window(p, 1, 2), window(p, 3, 4));
  EXPECT_NE(window(p, 3, 4), window(p, 5, 6));
}

TEST_F(P2cWindowsTest, EmptyMapsAndTransfersWithoutHoldSlack) {
  cfg_set_on("velmo_verbose_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  p.organize_p2c_window();
  p.organize_c2p_window();
  EXPECT_EQ(count_lines_starting("p2c slack window"), 0);
  EXPECT_EQ(count_lines_starting("c2p slack window"), 0);
  // A transfer whose hold side was dropped takes no part and gets no window;
  // the others are organised as usual.
  PEER::setup(p)[{1, 2}] = 1000;
  PEER::hold(p)[{1, 2}] = 200;
  PEER::setup(p)[{5, 6}] = -4000;
  p.organize_p2c_window();
  EXPECT_EQ(window(p, 1, 2), std::make_pair(370, 750));
  EXPECT_FALSE(PEER::windows(p).exists({5, 6}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("p2c slack window: (5, 6) has no hold slack; left out"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("max slack range: 1000->1000, group size is 0 with granularity 150"));
}

TEST_F(P2cWindowsTest, SwitchDelayCacheOnKx) {
  host::testing::device(Family::KX).blacklist({host::testing::element_ref(700, 3, 3, 0)}).build();
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* z = n.zota_reg("z").placed(gid(282, 4, 4, 5), 282);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  p.build_switch_delays_cache();
  auto& cache = PEER::switch_delays(p);
  const unsigned wire = gid(700, 2, 2, 0);
  const auto* e = cache.lookup(static_cast<int>(wire & 0x7FFFFFFFu));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::get<0>(*e), wire);
  EXPECT_EQ(std::get<1>(*e), 1);  // H wire: wire class 4
  ASSERT_EQ(std::get<2>(*e).size(), 2u);  // one pair per corner
  EXPECT_FLOAT_EQ(std::get<2>(*e)[0].second, 70e-12f);
  EXPECT_FLOAT_EQ(std::get<2>(*e)[0].first, 0.88f * 70e-12f);
  const auto* mux = cache.lookup(static_cast<int>(gid(282, 2, 2, 5) & 0x7FFFFFFFu));
  ASSERT_NE(mux, nullptr);
  EXPECT_EQ(std::get<1>(*mux), 0);
  // Skipped: blacklisted, a pipeline register's site, kinds outside the
  // usable wire classes (the LAB feedback line is class 6 and kept).
  EXPECT_EQ(cache.lookup(static_cast<int>(gid(700, 3, 3, 0) & 0x7FFFFFFFu)), nullptr);
  EXPECT_EQ(cache.lookup(static_cast<int>(z->get_location_gid() & 0x7FFFFFFFu)), nullptr);
  EXPECT_EQ(cache.lookup(static_cast<int>(gid(318, 6, 3, 0) & 0x7FFFFFFFu)), nullptr);
  EXPECT_NE(cache.lookup(static_cast<int>(gid(279, 2, 2, 0) & 0x7FFFFFFFu)), nullptr);
  // The usable-wire-weight cache follows the same rules.
  p.build_usable_wire_weight_cache();
  EXPECT_EQ(PEER::wire_weights(p).at(static_cast<int>(wire & 0x7FFFFFFFu)), 1);
  EXPECT_EQ(PEER::wire_weights(p).count(static_cast<int>(gid(700, 3, 3, 0) & 0x7FFFFFFFu)), 0u);
  EXPECT_EQ(PEER::wire_weights(p).size(), cache.size());
  // A second build does nothing.
  const auto opened = [] {
    int k = 0;
    for (const auto& ev : host::bins::events())
      k += ev.action == "open" && ev.name == "Periphery Core Transfer Optimization - build switch delay cache" ? 1 : 0;
    return k;
  };
  p.build_switch_delays_cache();
  EXPECT_EQ(opened(), 1);
}

TEST_F(P2cWindowsTest, SwitchDelaysOnlyOnKxAndParallelEqualsSequential) {
  host::testing::device(Family::KY).build();
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    p.build_switch_delays_cache();
    const auto* e = PEER::switch_delays(p).lookup(static_cast<int>(gid(700, 2, 2, 0) & 0x7FFFFFFFu));
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(std::get<2>(*e).empty());
  }
  host::testing::device(Family::KX).build();
  VELMO_PERIPHERY_CORE_PLACEMENT par(m_env), seq(m_env);
  par.build_switch_delays_cache();
  {
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    seq.build_switch_delays_cache();
  }
  auto& a = PEER::switch_delays(par);
  auto& b = PEER::switch_delays(seq);
  ASSERT_EQ(a.size(), b.size());
  for (auto it = a.begin(); it != a.end(); ++it) {
    const auto* other = b.lookup(it->first);
    ASSERT_NE(other, nullptr) << it->first;
    EXPECT_EQ(*other, it->second) << it->first;
  }
}

// The main pass builds the delay cache of the device's family before its
// first group, none without a group: switch delays on KX, usable wire
// weights on the others; a group of either direction alone is enough. The
// UIB/ESRAM pass builds the usable wire weights, on KX too.
TEST_F(P2cWindowsTest, TheMainPassBuildsTheDelayCacheOfItsFamily) {
  auto s = host::testing::scenes::kx_periphery();
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(PEER::switch_delays(p).size(), 0u);
    EXPECT_TRUE(PEER::wire_weights(p).empty());
  }
  const auto site = [](int x, int y, int z) {
    return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z);
  };
  auto n = host::testing::netlist();
  // A transfer out of u0 into r, and one from q into a UIB input.
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* q = n.reg("q").clk(clk);
  VOK_ATOM_NODE* u1 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u1").input(DB_INPUT_PORT_DATA_IN, 0, q).placed(site(6, 9, 0), dev_kind::UIB);
  host::testing::map_port(u1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                          host::testing::gesk_instance("u1_inst", 6, 9, 0), "in[0]");
  for (const bool p2c : {true, false})
    for (const int family : {48, 46, 26}) {
      SCOPED_TRACE(std::string(p2c ? "p2c " : "c2p ") + std::to_string(family));
      r->clear_location();
      q->clear_location();
      if (p2c) {
        host::options::set(838, 4, "4", r->get_string_hpath());
        host::options::unset(843, q->get_string_hpath());
      } else {
        host::options::unset(838, r->get_string_hpath());
        host::options::set(843, 4, "3", q->get_string_hpath());
      }
      DeviceSpec spec = host::device::spec();
      spec.base_family_override = family;
      host::device::configure(spec);
      VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
      ASSERT_TRUE(p.periphery_to_core_register_placement());
      EXPECT_TRUE((p2c ? r : q)->is_placed());
      EXPECT_EQ(PEER::switch_delays(p).size() != 0, family == 48);
      EXPECT_EQ(PEER::wire_weights(p).empty(), family == 48);
    }
  r->clear_location();
  q->clear_location();
  host::options::unset(843, q->get_string_hpath());
  DeviceSpec spec = host::device::spec();
  spec.base_family_override = 48;
  host::device::configure(spec);
  {
    // No UIB/ESRAM register: nothing built, nothing handed to the slot
    // repopulation.
    host::clear_calls();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
    EXPECT_TRUE(PEER::wire_weights(p).empty());
    EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate_uib_esram_c2p_registers"), 0);
  }
  VOK_ATOM_NODE* z = n.reg("z").clk(clk);
  VOK_ATOM_NODE* u2 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u2").input(DB_INPUT_PORT_DATA_IN, 0, z).placed(site(9, 9, 0), dev_kind::UIB);
  host::testing::map_port(u2->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                          host::testing::gesk_instance("u2_inst", 9, 9, 0), "in[0]");
  host::options::set(837, 4, "2", z->get_string_hpath());
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
  EXPECT_TRUE(z->is_placed());
  EXPECT_FALSE(PEER::wire_weights(p).empty());
  EXPECT_EQ(PEER::switch_delays(p).size(), 0u);
}

// ---- slack estimation on a small timed design ----------------------------------------------

namespace {

class P2cSlackEstimationTest : public P2cWindowsTest {
protected:
  // A UIB feeding core register r, which feeds an ESRAM (and, with `second`,
  // a second ESRAM); r's clock is a global clock (code 5).
  void build(bool second, int period = 2000) {
    const auto* place = host::device::die_info()->get_place_info();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", period, clk);
    auto r0 = n.reg("r0").clk(clk).d(n.input_port("i"));
    u = n.atom(VOK_ATOM_KIND::UFI_UIB, "u").input(DB_INPUT_PORT_DATA_IN, 0, r0).placed(place->get_global_id(0, 3, 9, 0), 1010);
    r = n.reg("r").clk(clk).d(u);
    e = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e").input(DB_INPUT_PORT_DATA_IN, 0, r).placed(place->get_global_id(0, 4, 9, 0), 1011);
    n.reg("r2").clk(clk).d(e);  // gives the ESRAM's input a requirement
    if (second) {
      auto e2 = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e2").input(DB_INPUT_PORT_DATA_IN, 0, r).placed(place->get_global_id(0, 7, 9, 0), 1011);
      n.reg("r3").clk(clk).d(e2);
    }
    r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
    n.timing();
  }
  VOK_ATOM_NODE* u = nullptr;
  VOK_ATOM_NODE* r = nullptr;
  VOK_ATOM_NODE* e = nullptr;
};

}  // namespace

TEST_F(P2cSlackEstimationTest, TransfersGetSlacksAndWindows) {
  build(false);
  cfg_set_on("velmo_verbose_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.p2c_slack_estimation());
  // Average clock delays: GCLK core path (prefix + 910) at the slow corner.
  const auto core_line = [](const char* kind, std::vector<int> elements) {
    int ps = 0;
    for (int k : elements) ps += 10 + k % 37;
    return std::string(kind) + " average delay for core is " +
           std::to_string(static_cast<int>(static_cast<float>(ps * 1e-12) * 1.02f * 1e12f)) + " " +
           std::to_string(static_cast<int>(static_cast<float>(ps * 1e-12) * 0.88f * 1e12f));
  };
  int core_ps = 0;
  for (int k : {656, 1810, 659, 311, 311, 341, 607, 1198, 910}) core_ps += 10 + k % 37;
  const int core_setup = static_cast<int>(static_cast<float>(core_ps * 1e-12) * 1.02f * 1e12f);
  const int core_hold = static_cast<int>(static_cast<float>(core_ps * 1e-12) * 0.88f * 1e12f);
  EXPECT_THAT(host::debug::texts(), HasDebugLine(core_line("GCLK", {656, 1810, 659, 311, 311, 341, 607, 1198, 910})));
  EXPECT_THAT(host::debug::texts(), HasDebugLine(core_line("RCLK", {1541, 1808, 1810, 659, 311, 311, 341, 607, 1198, 910})));
  EXPECT_THAT(host::debug::texts(), HasDebugLine(core_line("PCLK", {1062, 1811, 659, 311, 311, 341, 607, 1198, 910})));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("annotating " + std::to_string(core_hold) + "(min) " +
                                                 std::to_string(core_setup) + "(max) back to the core clock iterm edge"));
  // One P2C and one C2P transfer, each with a window.
  const std::pair<int, int> p2c{u->get_id(), r->get_id()}, c2p{r->get_id(), e->get_id()};
  ASSERT_TRUE(PEER::setup(p).exists(p2c));
  EXPECT_TRUE(PEER::windows(p).exists(p2c));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("the c2p max slack is " +
                                                 std::to_string(m_env->get_hov_utility_ptr()->get_setup_slack(
                                                     e->get_id(), DB_INPUT_PORT_DATA_IN, 0)) +
                                                 "ps on core ff r"));
  EXPECT_TRUE(PEER::windows(p).exists(p2c));
  EXPECT_EQ(*PEER::setup(p).lookup(p2c), m_env->get_hov_utility_ptr()->get_setup_slack(r->get_id(), DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("C2P: GENERAL WINDOW (0 -> " +
                                                 std::to_string(m_env->get_hov_utility_ptr()->get_setup_slack(
                                                     e->get_id(), DB_INPUT_PORT_DATA_IN, 0)) + ")"));
  (void)c2p;
}

TEST_F(P2cSlackEstimationTest, TwoPeripheryFanoutsGiveNoC2pTransferAndOtherFamiliesNoEstimation) {
  build(true);
  cfg_set_on("velmo_verbose_p2c_placement");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.p2c_slack_estimation());
    for (const auto& t : host::debug::texts()) EXPECT_EQ(t.rfind("the c2p", 0), std::string::npos) << t;
  }
  host::testing::device(Family::KY).build();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_FALSE(p.p2c_slack_estimation());
}

TEST_F(P2cSlackEstimationTest, SlackLimitsAndHoldViolations) {
  build(false, 300000);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.p2c_slack_estimation());
  WEXAN_HOV_UTILITY* hov = PEER::hov(p);
  const std::pair<int, int> key{u->get_id(), r->get_id()};
  // The delay into r's data input moves its slacks one for one.
  auto with_delay = [&](int delay, VELMO_PERIPHERY_CORE_PLACEMENT::TIMING_ANALYSIS_TYPE type) {
    hov->annotate_delays_of_connection(r, DB_INPUT_PORT_DATA_IN, 0, delay, delay);
    p.compute_slack_window(type);
    return type == VELMO_PERIPHERY_CORE_PLACEMENT::SETUP ? hov->get_setup_slack(r->get_id(), DB_INPUT_PORT_DATA_IN, 0)
                                                          : hov->get_hold_slack(r->get_id(), DB_INPUT_PORT_DATA_IN, 0);
  };
  using T = VELMO_PERIPHERY_CORE_PLACEMENT;
  const int base = 1000, s0 = with_delay(base, T::SETUP);
  ASSERT_GT(s0, 100000);
  EXPECT_FALSE(PEER::setup(p).exists(key));  // too large: dropped
  EXPECT_EQ(with_delay(base + s0 - 99999, T::SETUP), 99999);
  ASSERT_NE(PEER::setup(p).lookup(key), nullptr);
  EXPECT_EQ(*PEER::setup(p).lookup(key), 99999);
  EXPECT_EQ(with_delay(base + s0 - 100000, T::SETUP), 100000);
  EXPECT_FALSE(PEER::setup(p).exists(key));
  EXPECT_FALSE(PEER::hold(p).exists(key));
  EXPECT_EQ(with_delay(base + s0 + 100000, T::SETUP), -100000);
  EXPECT_FALSE(PEER::setup(p).exists(key));
  // Hold: a violation of 30 is recorded as 30; a positive slack as 0.
  const int h0 = with_delay(base, T::HOLD);
  EXPECT_EQ(with_delay(base - 30 - h0, T::HOLD), -30);
  ASSERT_NE(PEER::hold(p).lookup(key), nullptr);
  EXPECT_EQ(*PEER::hold(p).lookup(key), 30);
  EXPECT_EQ(PEER::general_min(p), 30);
  EXPECT_EQ(with_delay(base + 30 - h0, T::HOLD), 30);
  EXPECT_EQ(*PEER::hold(p).lookup(key), 0);
  EXPECT_EQ(PEER::general_min(p), 30);
  // A register clocked over an ordinary connection (codes 0, 1, 3, 4) has
  // no transfer to record.
  for (int code : {0, 1, 3, 4}) {
    r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(code);
    PEER::hold(p).clear();
    with_delay(base - 30 - h0, T::HOLD);
    EXPECT_FALSE(PEER::hold(p).exists(key)) << "code " << code;
  }
  r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  PEER::hold(p).clear();
  with_delay(base - 30 - h0, T::HOLD);
  EXPECT_TRUE(PEER::hold(p).exists(key));
  // A C2P transfer keeps a violated setup slack within the limits (r's own
  // P2C slack within them too, else r is passed over).
  with_delay(base + s0 - 99999, T::SETUP);
  const std::pair<int, int> c2p{r->get_id(), e->get_id()};
  auto c2p_setup_at = [&](int delay) {
    hov->annotate_delays_of_connection(e, DB_INPUT_PORT_DATA_IN, 0, delay, delay);
    p.compute_slack_window(T::SETUP);
    return hov->get_setup_slack(e->get_id(), DB_INPUT_PORT_DATA_IN, 0);
  };
  const int c0 = c2p_setup_at(base);
  ASSERT_EQ(c2p_setup_at(base + c0 + 50), -50);
  ASSERT_NE(PEER::c2p_setup(p).lookup(c2p), nullptr);
  EXPECT_EQ(*PEER::c2p_setup(p).lookup(c2p), -50);
}

TEST_F(P2cSlackEstimationTest, PeripheryClocksTakeThePeripheryDelayAndTheSecondCornerIsScaled) {
  build(false);
  // A clocked periphery input: the periphery path's delays.
  u->add_input_term(DB_INPUT_PORT_CLK, 0);
  host::testing::GENERIC_BUILDER(u).input(DB_INPUT_PORT_CLK, 0, r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED));
  u->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  // A placed register counts as periphery too.
  VOK_ATOM_NODE* placed = host::testing::netlist().reg("placed").clk(r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED)).placed(host::device::die_info()->get_place_info()->get_global_id(0, 3, 4, 1), 643);
  placed->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  cfg_set_on("velmo_verbose_p2c_placement");
  cfg_set_on("velmo_p2c_use_two_corners");
  host::pexa::set_loaded_timing_model_enum(1, 1);  // hold factors 0.6175 (min) and 0.6825 (max)
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.p2c_slack_estimation());
  auto path_ps = [](int last) {
    int ps = 0;
    for (int k : {656, 1810, 659, 311, 311, 341, 607, 1198, last}) ps += 10 + k % 37;
    return static_cast<float>(ps * 1e-12);
  };
  const int core_setup = static_cast<int>(path_ps(910) * 1.02f * 1e12f), core_hold = static_cast<int>(path_ps(910) * 0.88f * 1e12f);
  const int peri_setup = static_cast<int>(path_ps(911) * 1.02f * 1e12f), peri_hold = static_cast<int>(path_ps(911) * 0.88f * 1e12f);
  auto line = [](int min, int max) {
    return "annotating " + std::to_string(min) + "(min) " + std::to_string(max) + "(max) back to the core clock iterm edge";
  };
  EXPECT_THAT(host::debug::texts(), HasDebugLine(line(core_hold, core_setup)));
  const auto texts = host::debug::texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), line(peri_hold, peri_setup)), 2);  // u and the placed register
  EXPECT_THAT(host::debug::texts(), HasDebugLine(line(static_cast<int>(static_cast<float>(core_hold) * 0.6175f),
                                                      static_cast<int>(static_cast<float>(core_setup) * 0.6825f))));
}

// The main pass estimates the transfers' slack windows before its groups
// when the estimation is asked for, and not otherwise.
TEST_F(P2cSlackEstimationTest, TheMainPassEstimatesSlacksOnlyWhenAskedTo) {
  build(false);
  const std::pair<int, int> p2c{u->get_id(), r->get_id()};
  for (const bool asked : {false, true}) {
    SCOPED_TRACE(asked);
    asked ? cfg_set_on("velmo_p2c_perform_slack_estimation") : cfg_set_off("velmo_p2c_perform_slack_estimation");
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_EQ(p.is_slack_estimation_eligible(), asked);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(PEER::windows(p).exists(p2c), asked);
  }
}
