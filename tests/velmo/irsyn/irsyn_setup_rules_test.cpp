// The resynthesiser's set-up on a placed, routed and timed design: every
// configuration variable reaches the manager, atoms are found by id inside
// black boxes as well, the netlist dump refuses an unplaced LUT, and the
// forward trace through pipeline registers passes over one without output.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynSetupTest : public HostTest {
protected:
  scenes::KY_PIPELINE build() {
    scenes::KY_PIPELINE s = scenes::ky_pipeline(1);
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    return s;
  }
  void TearDown() override {
    manager.reset();
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRSYN_MANAGER> manager;
};

// Each variable set away from its default is what the manager works with.
TEST_F(IrsynSetupTest, EveryConfigurationVariableReachesTheManager) {
  build();
  cfg_set_value("post_route_resyn_num_reroute_passes", "3");
  cfg_set_value("post_route_resyn_num_rotate_passes", "4");
  cfg_set_value("post_route_resyn_num_resyn_passes", "5");
  cfg_set_value("post_route_resyn_nonimprove_exit", "off");
  cfg_set_value("post_route_resyn_near_critical", "61");
  cfg_set_value("post_route_resyn_rotate_margin", "62");
  cfg_set_value("post_route_resyn_resyn_margin", "63");
  cfg_set_value("post_route_resyn_hold_margin", "64");
  cfg_set_value("post_route_resyn_avoid_zotas", "off");
  cfg_set_value("post_route_resyn_fake_taint", "off");
  cfg_set_value("post_route_resyn_dump_netlist_pre", "on");
  manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
  const IRSYN_MANAGER& m = *manager;
  EXPECT_EQ(m.m_num_reroute_passes, 3);
  EXPECT_EQ(m.m_num_rotate_passes, 4);
  EXPECT_EQ(m.m_num_resyn_passes, 5);
  EXPECT_FALSE(m.m_nonimprove_exit);
  EXPECT_EQ(m.m_near_critical, 61);
  EXPECT_EQ(m.m_rotate_margin, 62);
  EXPECT_EQ(m.m_resyn_margin, 63);
  EXPECT_EQ(m.m_hold_margin, 64);
  EXPECT_FALSE(m.m_avoid_zotas);
  EXPECT_FALSE(m.m_fake_taint);
  EXPECT_TRUE(m.m_dump_netlist_pre);
}

// The register inside the black box "u_part" is found by its id: the fake
// mask update goes to it and to nothing else; an id no atom has changes
// nothing.
TEST_F(IrsynSetupTest, AtomsInsideBlackBoxesAreFoundById) {
  const scenes::KY_PIPELINE s = build();
  ASSERT_NE(s[0].r->get_parent_netlist(), s[0].a0->get_parent_netlist());
  manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
  host::clear_calls();
  manager->fake_mask_set(static_cast<std::uint32_t>(s[0].r->get_id()));
  manager->fake_mask_set(0x7FFFFFF0u);
  std::vector<std::string> edits;
  for (const std::string& l : host::call_lines())
    if (l.rfind("DUX::set_lutmask", 0) == 0) edits.push_back(l);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0], "DUX::set_lutmask(atom#" + std::to_string(s[0].r->get_id()) + ", 0)");
}

TEST_F(IrsynSetupTest, TheDumpStopsAtAnUnplacedLut) {
  const scenes::KY_PIPELINE s = build();
  manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
  s[0].luts[2]->clear_location();
  EXPECT_EQ(expect_internal_error([&] { manager->dump_netlist(); }).condition, "gid != DEV_ILLEGAL_GLOBAL_ID");
}

// A pipeline register fed by a0 whose data output is gone lowers neither
// value of the forward trace: it has no slack to give, setup or hold.
TEST_F(IrsynSetupTest, TheForwardTracePassesOverAPipelineRegisterWithoutOutput) {
  device(Family::KY).build();
  auto n = netlist();
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto a0 = n.reg("a0").clk(clk).d(n.input_port("in"));
  auto p = n.zota_reg("p").clk(clk).d(a0);
  auto q = n.reg("q").clk(clk).d(a0);
  place_at(a0, 2, 2, 1);
  place_at(p, 3, 2, 1);
  place_at(q, 3, 2, 2);
  p->remove_output_term(p->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  ASSERT_EQ(p->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), nullptr);
  n.timing();
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
  std::int32_t setup = 12345, hold = 678;
  manager->trace_slack_fwd_thru_zotas(a0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), &setup, &hold);
  EXPECT_EQ(setup, 12345);
  EXPECT_EQ(hold, 678);
}

}  // namespace
