// The post-plan chain: its order, its short-circuit (the dump and the skip
// line still come), the all-preserved path, the KEM and W3J3 decisions and
// the LCELL_AS_VIO marking.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "msg/msg_base.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "yun/host_yun_env.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class PostPlanTest : public HostTest {
protected:
  void start(int family) {
    DEVICE_BUILDER(family).build();
    // The periphery-core placement needs a loaded chip bundle; it is not
    // what these tests are about.
    cfg_set_off("velmo_perform_p2c_c2p_auto");
    ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
    host::clear_calls();
  }
  void TearDown() override {
    velmo_shutdown_fitter();
    HostTest::TearDown();
  }
  static bool called(const std::string& name) { return host::call_count(name) > 0; }
};

const char* const kSkipLine =
    "Skipping post-plan KEM netlist write because xab_use_dem=1 or jov_write_out_kem_netlist_after_plan=0";

}  // namespace

TEST_F(PostPlanTest, ChainRunsInOrderAndSkipsTheKemWriteByDefault) {
  start(Family::KY);
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "WEXAN_JOV_WIRELUT::insert_wireluts",
                                      "WEXAN_JOV_WIRELUT::insert_wirelut_to_complete_dangling_output_ports_in_design",
                                      "WEXAN_JOV_WIRELUT::insert_wirelut_to_complete_dangling_input_ports_in_design",
                                      "WEXAN_JOV_WIRELUT::constrain_wireluts",
                                      "MUB_PERIPH_FLOW::pre_regpack",
                                      "NOLT_FF_REGISTER_PACKER_OP::free_permanent_data",
                                      "WEXAN_JOV_WIRELUT::insert_wirelut_for_zota_lutram_parent_partition_in_design",
                                      "WEXAN_JOV_WIRELUT::insert_wirelut_for_zota_lutram_child_partition_in_design",
                                      "WEXAN_USER_ATOM_DUP::work",
                                      "BAV::translate_current_strengths",
                                  }));
  std::vector<std::string> opened;
  for (const auto& e : host::bins::events())
    if (e.action == "open") opened.push_back(e.name);
  EXPECT_THAT(opened, CallSequence(std::vector<std::string>{
                          "Force Depopulate Netlist (early)",
                          "Generate_zento_reg_restrictions_report",
                          "P2C Depopulation",
                          "P2C Dedicated Depopulation",  // on unless switched off
                      }));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "Skip early retimer (it's off)",
                                        kSkipLine,
                                    }));
  // The PR programming-file ids belong to family 48 only.
  EXPECT_FALSE(called("WEXAN_PR_POF_UTILITY::process_prpof_id"));
  // The timing utility does not reflect the netlist yet: the W3J3 model runs.
  EXPECT_TRUE(called("WEXAN_ENV::run_w3j3_prefit"));
}

TEST_F(PostPlanTest, FailedStepSkipsTheRestButStillDumpsAndPrintsTheSkipLine) {
  start(Family::KY);
  cfg_set_on("velmo_dump_vo_netlist");
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(velmo_post_plan_ops(true));
  EXPECT_FALSE(called("MUB_PERIPH_FLOW::pre_regpack"));
  EXPECT_FALSE(called("BAV::translate_current_strengths"));
  EXPECT_FALSE(called("WEXAN_ENV::run_w3j3_prefit"));
  EXPECT_TRUE(called("TAWN_NETLIST_WRITER::write"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine(kSkipLine));
  for (const std::string& line : host::debug::texts())
    EXPECT_NE(line, "VELMO_RETIMER::run_prefit_early_retiming_flow: not built yet");
}

TEST_F(PostPlanTest, AllPartitionsPreservedRunsOnlyTheForcedDepopulation) {
  start(Family::KY);
  host::wexan::set_all_partitions_can_skip_fitter(true);
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_FALSE(called("WEXAN_JOV_WIRELUT::insert_wireluts"));
  EXPECT_FALSE(called("BAV::translate_current_strengths"));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "Skip post-plan ops because SR says all partitions are preserved!",
                                        "Running LUTRAM depop in SR in case lutram atoms are changed.",
                                        kSkipLine,
                                    }));
}

// The depopulation after early retiming runs only when asked for: here it
// would warn that the retimer is off.
TEST_F(PostPlanTest, DepopulationAfterEarlyRetimingOnlyWhenAskedFor) {
  start(Family::KY);
  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation = true;
  spec.zento_retimer_disabled = true;
  host::device::configure(spec);
  HOST_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  auto warnings = [] {
    int n = 0;
    for (const auto& m : host::messages::posted()) n += m.id == 18881;
    return n;
  };
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_EQ(warnings(), 0);
  cfg_set_off("skip_early_depop");
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_EQ(warnings(), 1);
  host::wexan::set_yun_env(nullptr);
}

// A depopulation after early retiming that fails fails the post-plan chain:
// the strengths are not translated and nothing is rebuilt.
TEST_F(PostPlanTest, AFailedDepopulationAfterEarlyRetimingFailsTheChain) {
  start(Family::KY);
  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation = true;
  host::device::configure(spec);
  HOST_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  cfg_set_off("skip_early_depop");
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_TRUE(called("YUN_UTILITY::depopulate_netlist"));
  EXPECT_TRUE(called("BAV::translate_current_strengths"));

  host::clear_calls();
  host::script::queue<bool>("YUN_UTILITY::depopulate_netlist").push(false);
  EXPECT_FALSE(velmo_post_plan_ops(false));
  EXPECT_TRUE(called("YUN_UTILITY::depopulate_netlist"));
  EXPECT_FALSE(called("BAV::translate_current_strengths"));
  EXPECT_FALSE(called("WEXAN_ENV::run_w3j3_prefit"));
  host::wexan::set_yun_env(nullptr);
}

TEST_F(PostPlanTest, TimingUtilityReflectingTheNetlistNeedsNoW3j3Run) {
  start(Family::KY);
  hov_get_atom_netlist_taint_manager()->indicate_hov_reflects_atom_netlist_exactly();
  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_FALSE(called("WEXAN_ENV::run_w3j3_prefit"));
}

// Families 48 and 15 have no DEM: the timing netlist is written after the
// plan (through the intermediate snapshot). Only 48 has the PR programming
// ids.
class LargePeripheryFamiliesTest : public PostPlanTest, public ::testing::WithParamInterface<int> {};

TEST_P(LargePeripheryFamiliesTest, LargePeripheryFamiliesWriteTheKemNetlistAfterThePlan) {
  start(GetParam());
  velmo_post_plan_ops(true);
  EXPECT_TRUE(called("KEM_MANAGER::write_kem_netlist_to_disk"));
  EXPECT_EQ(called("WEXAN_PR_POF_UTILITY::process_prpof_id"), GetParam() == Family::KX);
  EXPECT_FALSE(called("WEXAN_JOV_WIRELUT::insert_wirelut_for_zota_lutram_parent_partition_in_design"));
}

INSTANTIATE_TEST_SUITE_P(Families, LargePeripheryFamiliesTest, ::testing::Values(Family::KX, 15));

TEST_F(PostPlanTest, LcellAsVioMarksLcellsWithOneDanglingSide) {
  start(Family::KY);
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  auto dangling_out = n.lut("vio_out", {in}, 0x2ull);            // fan-in, no fan-out
  auto both = n.lut("both", {in}, 0x2ull);
  n.output_port("o", both);                                      // both sides connected
  auto illegal = n.lut("illegal", {in}, 0x2ull);
  illegal->set_bit_legal(41, false);
  auto untouched = n.lut("plain", {in}, 0x2ull);
  auto neither = n.lut("neither", {}, 0x1ull);                  // no fan-in, no fan-out
  auto locked = n.lut("locked", {in}, 0x2ull);                  // one dangling side, but not ours to change
  locked->set_modifiable(false);
  for (const char* name : {"vio_out", "both", "illegal", "neither", "locked"})
    host::options::set(1172, 1, "on", name);

  EXPECT_TRUE(velmo_post_plan_ops(false));
  EXPECT_TRUE(dangling_out->test_bit(41));
  EXPECT_EQ(dangling_out->get_instance_name()->get_flags() & 0xCu, 8u);
  EXPECT_FALSE(both->test_bit(41));
  EXPECT_FALSE(illegal->test_bit(41));
  EXPECT_FALSE(untouched->test_bit(41));
  EXPECT_FALSE(neither->test_bit(41));
  EXPECT_FALSE(locked->test_bit(41));
  EXPECT_EQ(locked->get_instance_name()->get_flags() & 0xCu, 0u);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("LCELL both must have only one dangling side."));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("LCELL neither must have only one dangling side."));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Assignment LCELL_AS_VIO ignored for node illegal"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Modified 1 LCELL(s) to have VIO flag"));
}

TEST_F(PostPlanTest, ZotaLutramWireLutsOnlyOnFamily46) {
  start(Family::KZ);
  EXPECT_TRUE(velmo_insert_zota_lutram_wireluts());
  EXPECT_TRUE(host::calls().empty());
}
