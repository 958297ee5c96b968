// The place stage's preparation and the placer-router runs: any preparation
// step that fails stops the stage before the placer; the end of preparation
// writes locked locations back when the compile stops there; the run's
// prelude (locked nodes hidden only in the empty flow, the partial-
// reconfiguration rules only after the wire LUTs were constrained) and the ECO
// skip, which needs a prelude that succeeded.
#include <string>

#include "../prefit/expert_fixture.h"
#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "msg/msg_base.h"
#include "muvo/muvo_flow_type.h"
#include "testing/netlist_builder.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_utilities.h"

namespace {

class PlacePreparationRulesTest : public velmo_test::ExpertTest {};

TEST_F(PlacePreparationRulesTest, AFailedPreparationStepStopsThePlaceStageBeforeThePlacer) {
  start();  // family 46
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 1);
  // The DSP location check closes the MAC merge; the location assignments are
  // validated last before the port translation.
  for (const char* step : {"WEXAN_MAC_LOCATION_CHECK::work", "ZEL_UTIL::validate_location_assignments"}) {
    host::clear_calls();
    host::script::queue<bool>(step).push(false);
    EXPECT_FALSE(velmo_place()) << step;
    EXPECT_EQ(count_calls(step), 1) << step;
    EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0) << step;
    EXPECT_EQ(count_call_lines("WEXAN_ENV::report_fitter_status(100, 0)"), 1) << step << ": still reported";
  }
  // A failed MAC merge skips the validation after it.
  host::clear_calls();
  host::script::queue<bool>("WEXAN_MAC_LOCATION_CHECK::work").push(false);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_calls("ZEL_UTIL::validate_location_assignments"), 0);
}

TEST_F(PlacePreparationRulesTest, LockedLocationsAreWrittenBackWhenTheCompileStopsAfterPreparation) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // The last atom: the write-back reaches the highest id too.
  n.reg("exact").clk(clk).locked(2, 3, 4);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->report_pre_vpr(true));
  EXPECT_EQ(count_calls("WEXAN_DEVICE::place_atom_at_sub_location"), 0) << "the placer places it";
  CMP_FACADE::current()->m_fitter_exit_after_preprocess = true;
  EXPECT_TRUE(e->report_pre_vpr(true));
  EXPECT_EQ(count_calls("WEXAN_DEVICE::place_atom_at_sub_location"), 1);
  CMP_FACADE::current()->m_fitter_exit_after_preprocess = false;
}

TEST_F(PlacePreparationRulesTest, ThePreludeHidesLockedNodesOnlyInTheEmptyFlow) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::hide_locked_nodes"), 0);
  WEXAN_INCREMENTAL_UTILITY::current()->set_empty_flow_enabled(true);
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::hide_locked_nodes"), 1);
}

TEST_F(PlacePreparationRulesTest, PartialReconfigurationRulesFollowOnlyConstrainedWireLuts) {
  device(host::testing::Family::KX);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(count_calls("JOPP::init_pr"), 1);
  host::clear_calls();
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(count_calls("JOPP::init_pr"), 0);
}

TEST_F(PlacePreparationRulesTest, TheEcoSkipNeedsAPreludeThatSucceeded) {
  WEXAN_ECO::current()->set(true, true);
  VELMO_EXPERT* e = start();
  const auto skip_messages = [] {
    int n = 0;
    for (const auto& m : host::messages::posted())
      n += m.text == "Engineering Change Order (ECO) Fitter is skipping Place and Route";
    return n;
  };
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(skip_messages(), 0);
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(skip_messages(), 1);
}

}  // namespace
