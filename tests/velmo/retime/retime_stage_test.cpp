// The retime and Nimbrel stages: early returns, the read-or-rebuild decision
// for the timing netlist, write-back, the pipeline-register post-processing
// and the Nimbrel view.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "kiv/kiv_model.h"
#include "msg/msg_base.h"
#include "retime_stage_fixture.h"
#include "testing/netlist_builder.h"
#include "velmo_yun_env.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_hov_retimer_mode.h"

using host::testing::Family;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class RetimeTest : public velmo_test::RetimeStageTest {
protected:
  static std::vector<std::string> message_keys() {
    std::vector<std::string> out;
    for (const auto& m : host::messages::posted()) out.push_back(m.key);
    return out;
  }
  static std::string request_of_first_hov_call() {
    for (const auto& l : host::call_lines())
      if (l.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary(", 0) == 0) return l.substr(50, 1);
    return "";
  }
  static void configure(void (*edit)(DeviceSpec&)) {
    DeviceSpec spec = host::device::spec();
    edit(spec);
    host::device::configure(spec);
  }
};

TEST_F(RetimeTest, UnsupportedDeviceIsAnErrorPerSnapshot) {
  VELMO_EXPERT* expert = start_on(Family::KX, "retimed");
  EXPECT_FALSE(expert->retime());
  EXPECT_EQ(message_keys(), std::vector<std::string>{"VELMO_VELMO_ZENTO_RETIMER_UNSUPPORTED_DEVICE"});
  // The message names the device part, not only its family.
  EXPECT_EQ(host::messages::posted().front().text,
            "The Zento-Retimer is not supported for device KX-48-P1. This feature is only available for device "
            "families with Corvane architectures.");
  set_snapshot("nimbrel");
  EXPECT_FALSE(expert->nimbrel());
  EXPECT_EQ(message_keys().back(), "VELMO_VELMO_ZENTO_NIMBREL_UNSUPPORTED_DEVICE");
  // No pipeline registers on this device: the port-model rebuild before the
  // Nimbrel stage leaves the environment's flag off.
  EXPECT_FALSE(WEXAN_ENV::get_env()->get_pipeline_register_flag());
  set_snapshot("final");
  EXPECT_FALSE(expert->retime());
  EXPECT_EQ(message_keys().size(), 2u);
  EXPECT_EQ(count_calls("yun_utility_factory"), 0);
}

TEST_F(RetimeTest, DisabledRetimerAndEmulationWarnAndSucceed) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  configure([](DeviceSpec& s) { s.zento_retimer_disabled = true; });
  EXPECT_TRUE(expert->retime());
  set_snapshot("nimbrel");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(message_keys(), (std::vector<std::string>{"VELMO_VELMO_ZENTO_RETIMER_NOT_ENABLED", "VELMO_VELMO_NIMBREL_NOT_ENABLED"}));
  // Nimbrel marks the pipeline registers before the stage turns back.
  EXPECT_FALSE(WEXAN_ENV::get_env()->get_pipeline_register_flag());
  EXPECT_TRUE(expert->nimbrel());
  EXPECT_TRUE(WEXAN_ENV::get_env()->get_pipeline_register_flag());

  configure([](DeviceSpec& s) { s.zento_nimbrel_emulate = true; });
  set_snapshot("retimed");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(message_keys().back(), "VELMO_VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_RETIME");
  EXPECT_EQ(count_calls("yun_utility_factory"), 0);

  // Skipping the stage altogether.
  host::clear_calls();
  cfg_set_on("flow_skip_retime_stage");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(count_calls("XAB_DEM::shutdown"), 0);
}

TEST_F(RetimeTest, ReadsFromDiskWhenSafeAndWritesBackThenCommitsTheClockRouting) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  EXPECT_TRUE(expert->retime());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Reading kem netlist from disk: failed"));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("always_rebuild: N; have_netlist: N; have_netlist_in_retimer_mode: N; safe_to_load: Y"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Getting hov_utility using 'READ_FROM_DISK'"));
  EXPECT_EQ(request_of_first_hov_call(), "2");
  // Built with the retimer's models, for the retimer.
  EXPECT_THAT(host::call_lines(),
              Contains(::testing::AllOf(::testing::StartsWith("WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, ["),
                                        HasSubstr("], false, false, true, true, "))));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Writing back kem netlist to current snapshot"));
  EXPECT_TRUE(KEM_MANAGER::get()->has_kem_netlist_on_disk("retimed"));
  EXPECT_TRUE(WEXAN_ENV::get_env()->get_pipeline_register_flag());
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "KEM_MANAGER::read_kem_netlist_from_disk(true)", "WEXAN_HOV_RETIMER_MODE::WEXAN_HOV_RETIMER_MODE",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, [",
                  "WEXAN_HOV_RETIMER_MODE::~WEXAN_HOV_RETIMER_MODE", "KEM_MANAGER::write_kem_netlist_to_disk",
                  "TIBEX_VPR_FACADE::release", "WEXAN_HOV_UTILITY::prepare_for_retiming",
                  "YUN_UTILITY::retime(true, true, false)", "MSG_BASE::post(18821)",
                  "WEXAN_ENV::delete_hov_utility_completely", "NORBO_ZOTA_MANAGER::commit_clock_routing",
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false"}));
  EXPECT_EQ(count_calls("norbo_route_rowclocks"), 0);
}

TEST_F(RetimeTest, PipelineRegistersAreTaintedOneByOneAndTheRoutedSnapshotGetsACopy) {
  device(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto q = n.reg("q").clk(clk).d(n.input_port("in")).atom();
  auto p = n.zota_reg("p").clk(clk).d(q).atom();
  VELMO_EXPERT* expert = start();
  set_snapshot("retimed");
  cfg_set_on("velmo_retimer_write_netlist_to_routed_snapshot");
  EXPECT_TRUE(expert->retime());
  const std::string taint_p =
      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(p->get_id()) + ", false, false)";
  const std::string taint_q =
      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(q->get_id()) + ", false, false)";
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{"NORBO_ZOTA_MANAGER::commit_clock_routing", taint_p,
                                                    "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1"}));
  EXPECT_THAT(host::call_lines(), Not(Contains(taint_q)));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Writing back kem netlist to routed snapshot"));
  EXPECT_TRUE(KEM_MANAGER::get()->has_kem_netlist_on_disk("routed"));
  EXPECT_EQ(JOV_ROOT::get()->get_design("")->get_current_snapshot_str(), "retimed");
}

// After a successful run on a pipeline-register device, each step of the
// post-processing follows its own switch: deleting the timing utility needs
// the global taint as well; without the clock-routing commit no register is
// tainted; the row clocks are routed first only when free registers after
// LUTs are used, with the pre-fit netlist refresh on base family 26 alone;
// the netlist dump is written only when asked for.
TEST_F(RetimeTest, ThePostProcessingStepsFollowTheirSwitches) {
  struct CASE {
    int family;
    const char* off;
    const char* on;
    bool deleted, committed, rowclocks, prefit, global_taint, rebuilt;
  };
  const CASE cases[] = {
      {Family::KY, nullptr, nullptr, true, true, false, false, true, true},
      {Family::KY, "fit_post_retimer_global_taint", nullptr, false, true, false, false, false, true},
      {Family::KY, "fit_retime_destroy_hov_before_zota_router", nullptr, false, true, false, false, true, true},
      {Family::KY, "fit_retime_run_zota_router", "yun_use_free_ff_after_lut_in_post_fit_retimer", true, false, false,
       false, true, true},
      {Family::KY, "fit_retime_ending_kem_rebuild", "yun_use_free_ff_after_lut_in_post_fit_retimer", true, true, true,
       false, true, false},
      {Family::KZ, nullptr, "yun_use_free_ff_after_lut_in_post_fit_retimer", true, true, true, true, true, true},
      {Family::KY, nullptr, "velmo_dump_post_retime_atmx", true, true, false, false, true, true},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(std::string(c.off ? c.off : "-") + " / " + (c.on ? c.on : "-") + " on " +
                 std::to_string(c.family));
    device(c.family);
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto q = n.reg("q").clk(clk).d(n.input_port("in")).atom();
    auto p = n.zota_reg("p").clk(clk).d(q).atom();
    VELMO_EXPERT* expert = start();
    set_snapshot("retimed");
    if (c.off) cfg_set_off(c.off);
    if (c.on) cfg_set_on(c.on);
    EXPECT_TRUE(expert->retime());
    // The netlist dump is written only when asked for.
    const std::string dump = CMP_FACADE::current()->get_project_name() + ".post_retime.atm";
    EXPECT_EQ(exists(dump), c.on && std::string(c.on) == "velmo_dump_post_retime_atmx");
    std::filesystem::remove(dump);
    // Only what follows the run counts.
    const auto lines = host::call_lines();
    const auto run = std::find_if(lines.begin(), lines.end(),
                                  [](const std::string& l) { return l.rfind("YUN_UTILITY::retime(", 0) == 0; });
    ASSERT_NE(run, lines.end());
    const std::vector<std::string> after(run, lines.end());
    auto count_after = [&](const std::string& prefix) {
      return std::count_if(after.begin(), after.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    const std::string taint_p =
        "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(p->get_id()) + ", false, false)";
    EXPECT_EQ(count_after("WEXAN_ENV::delete_hov_utility_completely"), c.deleted ? 1 : 0);
    EXPECT_EQ(count_after("NORBO_ZOTA_MANAGER::commit_clock_routing"), c.committed ? 1 : 0);
    EXPECT_EQ(count_after(taint_p), c.committed ? 1 : 0);
    EXPECT_EQ(count_after("norbo_route_rowclocks"), c.rowclocks ? 1 : 0);
    EXPECT_EQ(count_after("WEXAN_ENV::run_w3j3_prefit"), c.prefit ? 1 : 0);
    EXPECT_EQ(count_after("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1"), c.global_taint ? 1 : 0);
    EXPECT_EQ(count_after("WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, "
                          "null, false, false)"),
              c.rebuilt ? 1 : 0);
    if (c.rowclocks && c.committed) {
      // The row clocks are routed first, with the flag off.
      EXPECT_THAT(after, CallSequence(std::vector<std::string>{"norbo_route_rowclocks",
                                                               "NORBO_ZOTA_MANAGER::commit_clock_routing"}));
      EXPECT_THAT(after, Contains(::testing::AllOf(::testing::StartsWith("norbo_route_rowclocks("),
                                                   ::testing::EndsWith(", false)"))));
    }
    TearDown();
    SetUp();
  }
}

TEST_F(RetimeTest, AlwaysRebuildDeletesTheDiskCopyAndRebuilds) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  cfg_set_on("fit_retime_always_rebuild_netlist");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(count_calls("KEM_MANAGER::read_kem_netlist_from_disk"), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Getting hov_utility using 'MUST_REFLECT_NETLIST_CHANGES'"));
  EXPECT_EQ(request_of_first_hov_call(), "0");
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "KEM_MANAGER::delete_kem_netlist_from_disk",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, ["}));
  EXPECT_EQ(count_calls("KEM_MANAGER::delete_kem_netlist_in_memory"), 0) << "nothing was read";
  // Without the retimer's timing models the netlist is built for the default
  // corners, as for the retimer.
  host::clear_calls();
  host::script::queue<bool>("YUN_UTILITY::no_timing_models").push(true);
  EXPECT_TRUE(expert->retime());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("No retimer timing models defined"));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true,"}));
}

TEST_F(RetimeTest, ANetlistInRetimerModeIsReusedAndNotWrittenBack) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  {
    WEXAN_HOV_RETIMER_MODE mode;
    WEXAN_ENV::get_env()->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr,
                                                                 false, false);
  }
  ASSERT_TRUE(KEM_MANAGER::get()->is_kem_netlist_in_retimer_mode());
  host::clear_calls();
  EXPECT_TRUE(expert->retime());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("always_rebuild: N; have_netlist: Y; have_netlist_in_retimer_mode: Y; safe_to_load: Y"));
  EXPECT_EQ(request_of_first_hov_call(), "2");
  EXPECT_EQ(count_lines("Writing back kem netlist to current snapshot"), 0);
  EXPECT_EQ(count_calls("KEM_MANAGER::write_kem_netlist_to_disk"), 0);
}

TEST_F(RetimeTest, ANonModifiablePartitionForcesARebuildAndAReadNetlistIsDropped) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  // A netlist on disk, read back in the first run.
  WEXAN_ENV::get_env()->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false,
                                                               false);
  ASSERT_TRUE(KEM_MANAGER::get()->write_kem_netlist_to_disk());
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();

  cfg_set_on("fit_retime_always_rebuild_netlist");
  host::cfg::unset("fit_retime_always_rebuild_netlist");
  VOK_ATOM_NETLIST other;
  other.set_modifiable(false);
  JOV_ROOT::get()->get_design("")->add_partition("locked")->get_state()->set_atom_netlist(&other);
  // Asked for, the routed snapshot still gets no copy of a netlist that
  // could not be read from disk.
  cfg_set_on("velmo_retimer_write_netlist_to_routed_snapshot");
  host::clear_calls();
  EXPECT_TRUE(expert->retime());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("always_rebuild: N; have_netlist: N; have_netlist_in_retimer_mode: N; safe_to_load: N"));
  EXPECT_EQ(count_calls("KEM_MANAGER::read_kem_netlist_from_disk"), 0);
  EXPECT_EQ(request_of_first_hov_call(), "0");
  EXPECT_EQ(count_lines("Writing back kem netlist to current snapshot"), 1);
  EXPECT_EQ(count_lines("Writing back kem netlist to routed snapshot"), 0);
  EXPECT_FALSE(KEM_MANAGER::get()->has_kem_netlist_on_disk("routed"));
}

// A netlist read back that was not built for the retimer is dropped, on disk
// and in memory, and the one built in its place is the copy written back.
// Tainting is off (as under the in-run timing test manager): the global taint
// cannot force the rebuild, only the drop does.
TEST_F(RetimeTest, ANetlistReadOutsideRetimerModeIsDroppedAndRebuiltForTheRetimer) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  WEXAN_ENV::get_env()->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false,
                                                               false);
  ASSERT_TRUE(mgr->write_kem_netlist_to_disk());
  mgr->delete_kem_netlist_in_memory();
  WEXAN_ENV::get_env()->set_hov_tainting_enabled(false);
  host::clear_calls();
  EXPECT_TRUE(expert->retime());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("always_rebuild: N; have_netlist: Y; have_netlist_in_retimer_mode: N; safe_to_load: Y"));
  EXPECT_EQ(request_of_first_hov_call(), "0");
  ASSERT_TRUE(mgr->read_kem_netlist_from_disk(true));
  EXPECT_TRUE(mgr->is_kem_netlist_in_retimer_mode());
}

// Whatever the engine answers, the early-access flow returns it at once: no
// clock-routing commit, no view, no taint or rebuild of the timing netlist.
TEST_F(RetimeTest, EarlyAccessFlowReturnsTheEngineResultAtOnce) {
  for (const bool result : {false, true}) {
    SCOPED_TRACE(result);
    VELMO_EXPERT* expert = start_on(Family::KY, "nimbrel");
    cfg_set_on("velmo_write_yun_view_to_disk");
    host::script::queue<bool>("YUN_UTILITY::retime").push(result);
    EXPECT_EQ(expert->nimbrel(), result);
    EXPECT_THAT(host::debug::texts(), HasDebugLine("Rebuild W3J3 before NIMBREL if design is tainted!"));
    EXPECT_THAT(host::call_lines(), Contains("YUN_UTILITY::retime(true, false, false)"));
    EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), 0);
    EXPECT_EQ(count_calls("JOV_DESIGN::commit_design"), 0);
    EXPECT_EQ(count_calls("WEXAN_ENV::delete_hov_utility_completely"), 0);
    EXPECT_EQ(count_call_lines("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)"), 0);
    TearDown();
    SetUp();
  }
}

TEST_F(RetimeTest, AFailedRetimingRunSkipsThePostProcessing) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  host::script::queue<bool>("YUN_UTILITY::retime").push(false);
  EXPECT_FALSE(expert->retime());
  EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), 0);
  EXPECT_THAT(message_keys(), Contains("VELMO_FITTER_ZENTO_RETIMER_END"));
  // A retiming library that makes no utility is an internal error.
  host::script::queue<bool>("yun_utility_factory").push(false);
  const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { expert->retime(); });
  EXPECT_EQ(e.condition, "yun_util");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_expert_retime");
}

TEST_F(RetimeTest, NimbrelViewLeavesTheDatabaseOnRetimed) {
  VELMO_EXPERT* expert = start_on(Family::KY, "retimed");
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  auto* model = new KIV_MODEL();
  model->set_path(KIV_PATH({"db", "retimed", "timing_netlist"}));
  design->get_current_state()->add_model(model);
  VOK_ATOM_NETLIST other;
  other.set_modifiable(true);
  design->add_partition("child")->get_state()->set_atom_netlist(&other);
  cfg_set_on("velmo_write_yun_view_to_disk");
  EXPECT_TRUE(expert->retime());
  EXPECT_EQ(design->get_current_snapshot_str(), "retimed");
  EXPECT_TRUE(cfg_is_on("jov_skip_cached_model_copy", false));
  EXPECT_TRUE(KEM_MANAGER::get()->has_kem_netlist_on_disk("nimbrel"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Update KEM_MODEL path: db/nimbrel"));
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "JOV_DESIGN::set_partition_model_copy_mode(\"|\", 5)",
                  "JOV_DESIGN::set_partition_model_copy_mode(\"child\", 5)",
                  "JOV_DESIGN::set_current_snapshot(9, false, true)",
                  "JOV_DESIGN::set_current_snapshot(11, false, false)", "KEM_MANAGER::write_kem_netlist_to_disk",
                  "JOV_DESIGN::commit_design(true)", "JOV_DESIGN::set_current_snapshot(9, false, true)",
                  "JOV_DESIGN::set_current_snapshot(10, false, true)", "JOV_UTILS::set_read_only_status(false)",
                  "JOV_UTILS::set_read_only_status(false)", "NORBO_ZOTA_MANAGER::commit_clock_routing"}));
  // The Nimbrel stage itself writes no view, even outside the early-access
  // flow: the database stays on its snapshot.
  cfg_set_off("fit_nmc_force_ea_flow");
  set_snapshot("nimbrel");
  host::clear_calls();
  EXPECT_TRUE(expert->nimbrel());
  EXPECT_EQ(design->get_current_snapshot_str(), "nimbrel");
  EXPECT_EQ(count_calls("JOV_DESIGN::commit_design"), 0);
  EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), 1);
}

TEST_F(RetimeTest, PostFitRetimingNeedsARetimingEnvironment) {
  VELMO_EXPERT* expert = start_on(Family::KY, "final");
  EXPECT_TRUE(expert->do_postfit_retime());
  EXPECT_EQ(count_calls("yun_utility_factory"), 0);

  VELMO_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  EXPECT_TRUE(expert->do_postfit_retime());
  EXPECT_EQ(count_calls("yun_utility_factory"), 0) << "post-route retiming is off by default";
  EXPECT_EQ(count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0) << "so is the refresh";
  cfg_set_on("wexan_enable_post_route_yun");
  cfg_set_on("velmo_enable_post_fit_hep_refresh");
  host::clear_calls();
  host::script::queue<bool>("YUN_UTILITY::retime").push(false);
  EXPECT_FALSE(expert->do_postfit_retime());
  // The refresh rebuilds the timing netlist for the retimer first.
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true,",
                  "YUN_UTILITY::retime(true, false, true)"}));
  host::wexan::set_yun_env(nullptr);
}

// A net whose wire drives more branches than the fabric allows: the stage
// stops with an internal error, unless the switch asks it only to report,
// in which case the retimer runs as usual.
TEST_F(RetimeTest, AFanoutViolationStopsTheStageUnlessTheSwitchAsksOnlyForAReport) {
  for (const bool prevent : {false, true}) {
    SCOPED_TRACE(prevent);
    device(Family::KY);
    auto n = host::testing::netlist();
    route_past_the_fanout_limit(n.reg("r").d(n.input_port("in")));
    VELMO_EXPERT* expert = start();
    set_snapshot("retimed");
    if (prevent) {
      cfg_set_on("velmo_prevent_fanout_limit_check_assert");
      EXPECT_TRUE(expert->retime());
      EXPECT_THAT(host::debug::texts(), HasDebugLine("Fanout limit violations found, but I will not assert."));
      EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 1);
    } else {
      const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { expert->retime(); });
      EXPECT_EQ(e.condition, "Fanout limits violated. See debug output for details.");
      EXPECT_EQ(count_calls("YUN_UTILITY::retime"), 0);
    }
    TearDown();
    SetUp();
  }
}

}  // namespace
