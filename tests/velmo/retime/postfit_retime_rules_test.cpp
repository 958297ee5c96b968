// Post-fit retiming runs only where a retiming environment exists: without
// one, neither the timing refresh nor the retimer runs, whatever the switches
// ask for.
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "retime_stage_fixture.h"
#include "velmo_yun_env.h"
#include "wexan/wexan_env.h"

using host::testing::Family;

namespace {

class PostFitRetimeRulesTest : public velmo_test::RetimeStageTest {};

TEST_F(PostFitRetimeRulesTest, WithoutARetimingEnvironmentNothingRunsWhateverTheSwitches) {
  VELMO_EXPERT* expert = start_on(Family::KY, "final");
  cfg_set_on("wexan_enable_post_route_yun");
  cfg_set_on("velmo_enable_post_fit_hep_refresh");
  host::clear_calls();
  EXPECT_TRUE(expert->do_postfit_retime());
  EXPECT_EQ(count_calls("yun_utility_factory"), 0);
  EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 0);
  EXPECT_EQ(count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);
  EXPECT_EQ(count_calls("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);

  // With one, the same switches run both.
  VELMO_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  EXPECT_TRUE(expert->do_postfit_retime());
  EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 1);
  EXPECT_EQ(count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 1);
  host::wexan::set_yun_env(nullptr);
}

}  // namespace
