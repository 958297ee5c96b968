// The resynthesiser's manager on what its other tests leave open: the key
// a LUT description gets, the statistics of each run, and the slack found
// behind a pipeline register when the current corner is not the worst.
#include <gtest/gtest.h>

#include <memory>

#include "cmp/cmp_facade.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "irsyn_manager_scene.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynRulesTest : public IRSYN_MANAGER_SCENE {};

// The 32-bit xorshift the keys are made of: left 13, right 17, left 5.
std::uint32_t xs(std::uint32_t x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}

// A LUT's key starts from the seed and its atom id and takes in the slack
// of each driven input; tied inputs add nothing.
TEST_F(IrsynRulesTest, AKeyHashesTheAtomAndTheDrivenInputSlacks) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  SIG r = n.reg("r").clk(clk).d(n.input_port("i"));
  auto l = n.lut("l", {r, r}, [](const LUT_INPUTS& x) { return x[0] && x[1]; });
  n.reg("q").clk(clk).d(l);
  place_at(n.find("r"), 10, 8, 0);
  place_at(l, 3, 3, 1);
  place_at(n.find("q"), 3, 3, 2);
  n.timing();
  scenes::tie_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0, true);
  IRSYN_MANAGER& m = make_manager();
  const std::int32_t s = m.get_min_slack(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  ASSERT_NE(s, IRSYN_NO_SLACK);
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  const std::uint32_t id = static_cast<std::uint32_t>(l->get_id());
  for (std::uint32_t seed : {123456u, 654321u, 0xdeadbeefu}) {
    m.m_vars.clear();
    EXPECT_EQ(m.expand_lut(l, &mask, codes, inv, seed), xs(xs(seed ^ id) ^ static_cast<std::uint32_t>(s))) << seed;
  }
  // Both inputs tied: the atom alone.
  scenes::tie_input(l, DB_INPUT_PORT_LUT_DATA, 0, false);
  m.m_vars.clear();
  EXPECT_EQ(m.expand_lut(l, &mask, codes, inv, 0xdeadbeefu), xs(0xdeadbeefu ^ id));
}

// Each run counts only its own implementations, whatever ran on the
// manager before.
TEST_F(IrsynRulesTest, EveryRunStartsItsStatisticsAtZero) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  std::vector<SIG> regs;
  for (int i = 0; i < 3; ++i) regs.push_back(n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("i" + std::to_string(i))));
  auto l = n.lut("l", regs, [](const LUT_INPUTS& x) { return x[0] && !x[1] && x[2]; });
  n.reg("q").clk(clk).d(l);
  place_at(n.find("r0"), 10, 8, 0);
  place_at(n.find("r1"), 3, 3, 0);
  place_at(n.find("r2"), 3, 3, 1);
  place_at(l, 3, 3, 2);
  place_at(n.find("q"), 3, 3, 3);
  n.timing();
  IRSYN_MANAGER& m = make_manager();
  m.m_wns_cost = m.get_wns_cost();
  m.m_near_critical = 100000;
  m.m_rotate_margin = 0;
  m.rotate_pass(m.get_domain_wns());
  ASSERT_GT(m.m_num_tries, 0);
  m.m_num_reroute_passes = m.m_num_rotate_passes = m.m_num_resyn_passes = 0;
  EXPECT_EQ(m.resyn(), 1);
  const auto texts = host::debug::texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "VM Debug: implement stats tries 0 better 0 worse 0 fail 0");
}

// Behind a pipeline register the setup slack of its data input is the
// worst over all corners, the current one being the fast corner here.
TEST_F(IrsynRulesTest, ATraceBehindAPipelineRegisterTakesEveryCorner) {
  const scenes::KY_PIPELINE s = scenes::ky_pipeline(1);
  IRSYN_MANAGER& m = make_manager();
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  KEM_CORNER_MANAGER* corners = kem->get_corner_manager();
  ASSERT_EQ(corners->get_corner_count(), 2);
  const auto& c = s[0];
  const VOK_ATOM_ITERM* pd = c.p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  for (const HOV_INCR_WNS_DOMAIN& d : sta_get_wns_domains()) {
    m.m_domain = d;
    if (m.get_min_slack(pd) != IRSYN_NO_SLACK) break;
  }
  const std::int32_t worst = m.get_min_slack(pd);
  ASSERT_NE(worst, IRSYN_NO_SLACK);
  const int slow = corners->get_current_corner_id();
  const KEM_TIMING_MODEL fast = corners->get_loaded_corners()[static_cast<std::size_t>(1 - slow)];
  corners->change_corner(fast);
  EXPECT_EQ(m.get_min_slack(pd), worst);
  std::int32_t setup = IRSYN_NO_SLACK, hold = IRSYN_NO_SLACK;
  m.trace_slack_bwd_thru_zotas(c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), &setup, &hold);
  EXPECT_EQ(setup, worst);
  // Only this corner's own slack would be a better one.
  bool better_here = false;
  for (const auto& [d, v] : sta_get_node_wns_map(kem->get_kem_node_from_iterm(pd), false))
    if (d == m.m_domain) better_here = v > worst;
  EXPECT_TRUE(better_here);
}

}  // namespace
