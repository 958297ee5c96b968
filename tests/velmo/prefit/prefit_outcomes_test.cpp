// Prefit outcomes a user sees: a MAC sign extension that fails fails the MAC
// step, the extra-effort PDC after register packing follows its mode, and the
// pre-fit netlist dump asked for is written when the design is first checked.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_script.h"
#include "expert_fixture.h"
#include "testing/netlist_builder.h"
#include "tibex/tibex_env.h"
#include "wexan/wexan_utilities.h"

using host::testing::Family;
using host::testing::SIG;
using velmo_test::ExpertTest;

namespace {
class PrefitOutcomesTest : public ExpertTest {};
}  // namespace

// A DSP block whose sign bit is unconnected cannot be sign-extended: the MAC
// step fails and the last location check is not run.
TEST_F(PrefitOutcomesTest, AFailedSignExtensionFailsTheMacStep) {
  device(Family::KY);
  auto n = host::testing::netlist();
  n.mac("bad").mode(2).data(DB_MAC_DATA_AX, {n.input_port("x0"), SIG()}, true, 4);
  cfg_set_on("wexan_mac_merge_skip");
  VELMO_EXPERT* e = start();
  EXPECT_FALSE(e->merge_macs());
  EXPECT_EQ(count_calls("WEXAN_MAC_LOCATION_CHECK::work"), 0);
  EXPECT_EQ(count_lines("skipping NOLT_MAC_LOCATION_CHECK('last')"), 1);
  ASSERT_EQ(host::messages::posted().size(), 1u);
  EXPECT_EQ(host::messages::posted()[0].text, "Illegal DSP atom bad with unconnected inputs");
}

// After register packing the extra-effort PDC runs only in the utility's
// extra-effort mode; without a utility the step still succeeds.
TEST_F(PrefitOutcomesTest, ExtraEffortPdcAfterRegisterPackingFollowsItsMode) {
  VELMO_EXPERT* e = start();
  WEXAN_PDC_UTILITY* pdc = TIBEX_ENV::get_tibex_pdc_utility();
  ASSERT_NE(pdc, nullptr);
  const char* pass = "WEXAN_PDC_UTILITY::run_extra_effort_pdc";
  for (const int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    host::clear_calls();
    pdc->set_pdc_mode(mode);
    EXPECT_TRUE(e->process_macs_after_regpacking());
    EXPECT_EQ(count_calls(pass), mode == 2 ? 1 : 0);
  }
  delete pdc;
  TIBEX_ENV::set_tibex_pdc_utility(nullptr);
  EXPECT_TRUE(e->process_macs_after_regpacking());
}

// The design without a device starts with the initial debug operations: the
// netlist's cookie is logged and the pre-fit netlist dump, when asked for, is
// written before anything changes the netlist.
TEST_F(PrefitOutcomesTest, TheDesignCheckWritesThePreFitDumpAskedFor) {
  device(Family::KY);
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
  cfg_set_on("wexan_dump_pre_fit_netlist");
  VELMO_EXPERT* e = start();
  EXPECT_FALSE(exists("top.pre_fit_netlist"));
  EXPECT_TRUE(e->check_design_without_device());
  EXPECT_TRUE(exists("top.pre_fit_netlist"));
  EXPECT_TRUE(exists("top.pre_fit_netlist.atm"));
  EXPECT_EQ(count_calls("gen_log_cookie"), 1);
}
