// Finalize's gates: the incremental-recompile skip path needs the user flow
// and both skippable snapshots; its incremental re-route leaves the IO pads
// and input buffers to the periphery; the timing-analyzer reports follow
// only a stage that succeeded.
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "gesk/gesk_bundle.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"

using host::testing::Family;
using host::testing::place_at;
using ::testing::Contains;
using ::testing::Not;

namespace {

class FinalizeGateRulesTest : public velmo_test::ExpertTest {
protected:
  static bool skip_path_ran() {
    return host::call_count("WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary") > 0;
  }
  static void map_to_device_port(const VOK_ATOM_ITERM* iterm) {
    GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db()->add_entry(W3J3_LOGICAL_PORT_FACTORY::create(iterm),
                                                                      {1, 7});
  }
  static bool routed(const VOK_ATOM_ITERM* iterm) {
    return !VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(iterm).empty();
  }
};

TEST_F(FinalizeGateRulesTest, SkipPathNeedsTheUserFlowAndBothSnapshots) {
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
  host::testing::routing().attach();
  VELMO_EXPERT* expert = start();
  // Nothing changed and no re-route asked for: the skip path shows only in
  // its probe-connection step.
  cfg_set_off("sr_finalize_nochange_run_router");
  for (int mask = 0; mask < 8; ++mask) {
    const bool user = mask & 1, nine = mask & 2, ten = mask & 4;
    host::swavo::set_user_flow(user);
    host::swavo::set_skippable_snapshot(9, nine);
    host::swavo::set_skippable_snapshot(10, ten);
    host::clear_calls();
    EXPECT_TRUE(expert->finalize());
    EXPECT_EQ(skip_path_ran(), user && nine && ten) << "user " << user << " 9 " << nine << " 10 " << ten;
  }
  // The switch that disables it wins.
  cfg_set_on("velmo_force_disable_sr_skip_to_finalize_flow");
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_FALSE(skip_path_ran());
}

TEST_F(FinalizeGateRulesTest, EcoRerouteLeavesPadsAndInputBuffersAlone) {
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  auto n = host::testing::netlist();
  auto a = n.io_in("a");
  place_at(n.find("a"), 0, 2, 1);
  place_at(a, 0, 2, 2);
  auto l = n.lut("near", {a}, 0x2);
  place_at(n.find("near"), 2, 2, 0);
  auto pad = n.io_out("o", l);
  place_at(n.find("o~obuf"), 0, 3, 2);
  place_at(pad, 0, 3, 1);
  const VOK_ATOM_ITERM* lut_in = n.find("near")->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  const VOK_ATOM_ITERM* ibuf_in = n.find("a~ibuf")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
  const VOK_ATOM_ITERM* pad_in = n.find("o")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
  VELMO_EXPERT* expert = start();
  host::swavo::set_user_flow(true);
  host::swavo::set_skippable_snapshot(9, true);
  host::swavo::set_skippable_snapshot(10, true);
  cfg_set_on("sr_finalize_use_ir");
  for (const VOK_ATOM_ITERM* t : {lut_in, ibuf_in, pad_in}) map_to_device_port(t);
  EXPECT_TRUE(expert->finalize());
  EXPECT_TRUE(routed(lut_in));
  EXPECT_FALSE(routed(ibuf_in));
  EXPECT_FALSE(routed(pad_in));
  EXPECT_EQ(count_calls("KORRIN::INCREMENTAL_ROUTER::add_connection"), 1);
}

TEST_F(FinalizeGateRulesTest, TimingAnalyzerReportsFollowOnlyASuccessfulStage) {
  host::testing::device(Family::KY).zota_flow_supported(true).build();
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
  host::testing::routing().attach();
  VELMO_EXPERT* expert = start();
  cfg_set_on("velmo_finalize_create_sta_reports");
  host::script::always<bool>("TIBEX_VPR_FACADE::route", false);
  EXPECT_FALSE(expert->finalize());
  EXPECT_THAT(host::call_names(), Not(Contains("PIZ_COMPILATION_REPORT_ACCESSOR::create_linked_report")));
  EXPECT_THAT(host::call_names(), Not(Contains("umbr_tcl_eval")));
}

}  // namespace

namespace {

// Without the global taint after the hold-fix re-route, the timing netlist
// learns of the repopulated pipeline registers, and only of them, through
// their own modification marks.
TEST_F(FinalizeGateRulesTest, WithoutTheGlobalTaintTheRerouteMarksThePipelineRegisters) {
  host::testing::device(Family::KY).zota_flow_supported(true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("d"));
  auto p = n.zota_reg("p").d(r);
  host::testing::routing().attach();
  VELMO_EXPERT* expert = start();
  cfg_set_off("fit_post_retimer_global_taint");
  cfg_set_off("fit_finalize_runs_parasitics_hold_fixing");
  EXPECT_TRUE(expert->finalize());
  const auto marked = [](const VOK_ATOM_NODE* atom) {
    int count = 0;
    const std::string call = "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(atom->get_id()) + ",";
    for (const std::string& line : host::call_lines()) count += line.rfind(call, 0) == 0;
    return count;
  };
  EXPECT_EQ(marked(p), 1);
  EXPECT_EQ(marked(r), 0);
}

}  // namespace
