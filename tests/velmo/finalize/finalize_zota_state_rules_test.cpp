// The finalize stage's pipeline-register (ZOTA) state as the routing runs see
// it: the recompile skip path re-routes with the state cleared, set again
// before the hold-fix re-route (whose own preparation clears it outside the
// skip path), and the stage ends with it set.
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
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
  VELMO_EXPERT* begin() {
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
    host::testing::routing().attach();
    VELMO_EXPERT* expert = start();
    // The state each routing run starts with.
    host::script::on("TIBEX_VPR_FACADE::route", [this] { m_seen.push_back(WEXAN_ENV::get_env()->m_zota_state); });
    return expert;
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

}  // namespace
