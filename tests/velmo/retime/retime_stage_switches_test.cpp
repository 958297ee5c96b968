// The retime stage's switches and snapshot gates: the emulation that skips
// retiming only in the retimed and final snapshots, the Nimbrel view that is
// never written from the Nimbrel snapshot, the row-clock routing before the
// clock commit (with the port-model rebuild on the early-access family) and
// the atom-netlist dump after retiming.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "msg/msg_base.h"
#include "retime_stage_fixture.h"
#include "testing/netlist_builder.h"

using host::testing::Family;

namespace {

class RetimeSwitchesTest : public velmo_test::RetimeStageTest {
protected:
  static std::string snapshot() { return JOV_ROOT::get()->get_design("")->get_current_snapshot_str(); }
  static int emulate_warnings() {
    int n = 0;
    for (const auto& m : host::messages::posted()) n += m.key == "VELMO_VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_RETIME";
    return n;
  }
};

TEST_F(RetimeSwitchesTest, EmulationSkipsRetimingOnlyInTheRetimedAndFinalSnapshots) {
  VELMO_EXPERT* expert = start_on(Family::KY, "final");
  DeviceSpec spec = host::device::spec();
  spec.zento_nimbrel_emulate = true;
  host::device::configure(spec);
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(emulate_warnings(), 1);
  EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 0);

  // In the Nimbrel snapshot (and the routed one) the engine runs.
  for (const char* s : {"nimbrel", "routed"}) {
    host::clear_calls();
    set_snapshot(s);
    EXPECT_TRUE(expert->retime()) << s;
    EXPECT_EQ(emulate_warnings(), 1) << s;
    EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 1) << s;
  }
}

// Outside the early-access flow the Nimbrel stage goes on to the
// post-processing; it never writes the Nimbrel view over its own snapshot.
TEST_F(RetimeSwitchesTest, TheNimbrelViewIsNotWrittenFromTheNimbrelSnapshot) {
  VELMO_EXPERT* expert = start_on(Family::KY, "nimbrel");
  cfg_set_off("fit_nmc_force_ea_flow");
  cfg_set_on("velmo_write_yun_view_to_disk");
  EXPECT_TRUE(expert->nimbrel());
  EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), 1);
  EXPECT_EQ(count_calls("JOV_DESIGN::commit_design"), 0);
  EXPECT_EQ(count_lines("Update KEM_MODEL path: db/nimbrel"), 0);
  EXPECT_EQ(snapshot(), "nimbrel");

  // From the retimed snapshot it is written.
  set_snapshot("retimed");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(count_calls("JOV_DESIGN::commit_design"), 1);
  EXPECT_TRUE(KEM_MANAGER::get()->has_kem_netlist_on_disk("nimbrel"));
  EXPECT_EQ(snapshot(), "retimed");
}

// With free registers after LUTs the row clocks are routed before the clock
// routing is committed; on the early-access family (KZ) the port model is
// rebuilt first.
class RowClocksTest : public RetimeSwitchesTest, public ::testing::WithParamInterface<int> {};

TEST_P(RowClocksTest, FreeRegistersAfterLutsRouteTheRowClocksFirst) {
  const int family = GetParam();
  VELMO_EXPERT* expert = start_on(family, "retimed");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(count_calls("norbo_route_rowclocks"), 0);
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3_prefit"), 0);

  cfg_set_on("yun_use_free_ff_after_lut_in_post_fit_retimer");
  host::clear_calls();
  EXPECT_TRUE(expert->retime());
  std::vector<std::string> want{"norbo_route_rowclocks", "NORBO_ZOTA_MANAGER::commit_clock_routing"};
  if (family == Family::KZ) want.insert(want.begin(), "WEXAN_ENV::run_w3j3_prefit");
  EXPECT_THAT(host::call_names(), CallSequence(want));
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3_prefit"), family == Family::KZ ? 1 : 0);

  // Without the pipeline-register router neither runs.
  cfg_set_off("fit_retime_run_zota_router");
  host::clear_calls();
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(count_calls("norbo_route_rowclocks"), 0);
  EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, RowClocksTest, ::testing::Values(Family::KY, Family::KZ));

TEST_F(RetimeSwitchesTest, TheNetlistAfterRetimingIsDumpedWhenAsked) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  EXPECT_TRUE(expert->retime());
  EXPECT_FALSE(exists("top.post_retime.atm"));
  cfg_set_on("velmo_dump_post_retime_atmx");
  EXPECT_TRUE(expert->retime());
  std::ifstream in("top.post_retime.atm");
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find(" r "), std::string::npos) << text.str();
}

}  // namespace
