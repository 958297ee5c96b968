// The finalize stage's pipeline-register (ZOTA) state as the routing runs see
// it: the recompile skip path re-routes with the state cleared, set again
// before the hold-fix re-route (whose own preparation clears it outside the
// skip path), and the stage ends with it set.
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "common/host_script.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_env.h"
#include "wexan/wexan_env.h"

using host::testing::Family;

namespace {

class FinalizeZotaStateTest : public velmo_test::ExpertTest {
protected:
  VELMO_EXPERT* begin(int family = Family::KY) {
    host::testing::device(family).build();
    auto n = host::testing::netlist();
    n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
    host::testing::routing().attach();
    VELMO_EXPERT* expert = start();
    // The state each routing run starts with.
    host::script::on("TIBEX_VPR_FACADE::route", [this] { m_seen.push_back(WEXAN_ENV::get_env()->m_zota_state); });
    return expert;
  }
  static void skip_path() {
    host::swavo::set_user_flow(true);
    host::swavo::set_skippable_snapshot(9, true);
    host::swavo::set_skippable_snapshot(10, true);
  }
  static int messages_starting(const std::string& text) {
    int count = 0;
    for (const auto& m : host::messages::posted()) count += m.text.rfind(text, 0) == 0;
    return count;
  }
  std::vector<int> m_seen;
};

TEST_F(FinalizeZotaStateTest, TheSkipPathReroutesWithTheStateClearedAndTheHoldFixRerouteWithItSet) {
  VELMO_EXPERT* expert = begin();
  // Not the skip path: only the hold-fix re-route, whose preparation clears
  // the state for it.
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(m_seen, std::vector<int>{0});
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);

  // The skip path's re-route comes first, with the state cleared; the hold-fix
  // re-route after it, without a preparation of its own there, sees the state
  // set again.
  host::swavo::set_user_flow(true);
  host::swavo::set_skippable_snapshot(9, true);
  host::swavo::set_skippable_snapshot(10, true);
  m_seen.clear();
  TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(m_seen, (std::vector<int>{0, 1}));
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1) << "the stage ends with the state set";

  // Without the hold-fix flow the stage still ends with the state set.
  cfg_set_off("velmo_finalize_spar_flow");
  m_seen.clear();
  TIBEX_ENV::set_vpr20k_facade();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(m_seen, std::vector<int>{0});
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);
}

// The early-access flow (forced on the Nimbrel snapshot) of a retimer
// device runs no hold-fix re-route, nor its preparation or hold fixing;
// nothing sets the state on the way, and the stage still ends with it set,
// also after the skip path's re-route cleared it.
TEST_F(FinalizeZotaStateTest, TheEarlyAccessFlowRunsNoHoldFixRerouteAndEndsWithTheStateSet) {
  VELMO_EXPERT* expert = begin();
  JOV_ROOT::get()->get_design("")->set_current_snapshot(11);
  WEXAN_ENV::get_env()->m_zota_state = 0;
  EXPECT_TRUE(expert->finalize());
  EXPECT_TRUE(m_seen.empty()) << "no routing run";
  EXPECT_EQ(host::call_count("WEXAN_UNLOAD::unload_device_data"), 0);
  EXPECT_EQ(host::call_count("SWAVO_RECOMPILE_OP::parse_recompile_argument"), 0);
  EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3"), 0);
  EXPECT_THAT(host::debug::texts(), ::testing::Not(::testing::Contains("Performing post finalize hold fixing operations...")));
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending"), 0);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending"), 1);
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);

  skip_path();
  TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(m_seen, std::vector<int>{0}) << "only the skip path's re-route";
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);
}

// A device without pipeline registers has no state of its own to set or
// clear: finalize leaves it as it found it, on the skip path as well.
TEST_F(FinalizeZotaStateTest, ADeviceWithoutPipelineRegistersKeepsTheStateItHad) {
  VELMO_EXPERT* expert = begin(Family::KX);
  skip_path();
  for (const int before : {0, 1}) {
    SCOPED_TRACE(before);
    m_seen.clear();
    WEXAN_ENV::get_env()->m_zota_state = before;
    TIBEX_ENV::set_vpr20k_facade();
    EXPECT_TRUE(expert->finalize());
    EXPECT_EQ(m_seen, std::vector<int>{before}) << "the skip path's re-route";
    EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, before);
  }
}

}  // namespace
