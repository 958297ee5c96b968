// The repopulation after the finalize stage's hold re-route starts by merging
// equivalent unplaced pipeline registers.
#include <gmock/gmock.h>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "testing/own_process.h"
#include "tibex/tibex_env.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"

namespace {

class FinalizeRepopMergeTest : public velmo_test::ExpertTest {
protected:
  void TearDown() override {
    host::wexan::set_yun_env(nullptr);
    ExpertTest::TearDown();
  }
  HOST_YUN_ENV m_yun_env;
};

// Two unplaced pipeline registers on one driver, each feeding an output:
// after a re-route that changed atoms only one of them is left, driving
// both outputs.
TEST_F(FinalizeRepopMergeTest, EquivalentUnplacedPipelineRegistersAreMergedAfterTheReRoute) {
  host::testing::device(host::testing::Family::KZ).zota_flow_supported(true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.reg("r").clk(clk).d(n.input_port("d"));
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  for (int i = 0; i < 2; ++i) n.io_out("o" + std::to_string(i), n.zota_reg("z" + std::to_string(i)).clk(clk).d(src));
  host::testing::routing().attach();
  VELMO_EXPERT* expert = start();
  host::wexan::set_yun_env(&m_yun_env);
  host::swavo::set_spar_modified_atom_ids({1});
  EXPECT_TRUE(expert->finalize());
  const bool z0 = n.find("z0") != nullptr, z1 = n.find("z1") != nullptr;
  EXPECT_NE(z0, z1) << "one of the two registers is left";
  if (VOK_ATOM_NODE* left = n.find(z0 ? "z0" : "z1"))
    EXPECT_EQ(left->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)->count_flatten_fanouts(), 2);
}

// The repopulation after the re-route is asked for as such: it runs even
// with the early-access repopulation switched off (read once per process).
TEST_F(FinalizeRepopMergeTest, TheRepopulationAfterTheReRouteDoesNotDependOnTheEarlyAccessSwitch) {
  if (!host::testing::in_own_process()) return;
  cfg_set_off("yun_depopulate_force_repop_ea");
  host::testing::device(host::testing::Family::KZ).zota_flow_supported(true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.io_out("o", n.zota_reg("z").clk(clk).d(n.lut("src", {n.input_port("in")}, 0x2)));
  host::testing::routing().attach();
  VELMO_EXPERT* expert = start();
  host::wexan::set_yun_env(&m_yun_env);
  host::swavo::set_spar_modified_atom_ids({1});
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
  // So does the one after the recompile skip path's re-route (here without
  // the hold-fix flow).
  host::swavo::set_user_flow(true);
  host::swavo::set_skippable_snapshot(9, true);
  host::swavo::set_skippable_snapshot(10, true);
  cfg_set_off("velmo_finalize_spar_flow");
  TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
}

}  // namespace
