// Start-up and shut-down of the component: what is lent to the host and in
// which order, what is taken back and in which order, the gates that stop
// start-up early, and the service entry points.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "thr/thr_drl.h"
#include "tibex/tibex_env.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"

using host::testing::HostTest;
using ::testing::ElementsAreArray;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

// The calls that lend an object to the host or take one back, in log order.
std::vector<std::string> lending_calls() {
  static const std::vector<std::string> names = {
      "TIBEX_ENV::set_", "WEXAN_ENV::set_", "TIBEX_ENV::clear_vpr_facade", "NOLT_FF_REGISTER_PACKER_OP::set_op_interface",
      "nolt_bin_set_env", "WEXAN_LUT_RAM_UTILITY::", "NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility",
      "NOLT_ATOM_DUP_UTILITY::release", "WEXAN_ENV::free_register_packing_hints_for_vpr", "TIBEX_VPR_FACADE::"};
  std::vector<std::string> out;
  for (const auto& line : host::call_lines())
    for (const auto& n : names)
      if (line.rfind(n, 0) == 0) {
        out.push_back(line);
        break;
      }
  return out;
}

const std::vector<std::string> kLiveCounters = {
    "NOLT_ATOM_DUP_UTILITY",      "NOLT_LUT_RAM_CONVERSION_UTIL",   "NOLT_DELAY_CHAIN_UTIL_BODY",
    "TIBEX_VPR_FACADE",           "NOLT_RAM_PACKING_CHECK_BODY",    "NOLT_KX_MERGE_RAM_OP_BODY",
    "NOLT_CLKBUF_FIX_ATOM_NETLIST", "NOLT_GND_LCELL_MANAGER",       "NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY",
    "WEXAN_LUT_RAM_UTILITY",      "NOLT_RAM_ENABLE_CONVERSION_UTIL", "WEXAN_PDC_UTILITY",
    "WEXAN_PERIPHERY_FLOW",       "WEXAN_REGISTER_PACKING_HINTS_FOR_VPR", "govin"};

int count_lines(const std::string& text) {
  auto t = host::debug::texts();
  return static_cast<int>(std::count(t.begin(), t.end(), text));
}

class StartupTest : public HostTest {};

}  // namespace

TEST_F(StartupTest, LendsInOrderAndTakesBackInOrder) {
  // The start-up's workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  host::testing::device(host::testing::Family::KY).build();
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_TRUE(VELMO_EXPERT::exists());

  EXPECT_THAT(lending_calls(), ElementsAreArray(std::vector<std::string>{
                                   "TIBEX_ENV::set_cmp_facade(ptr)",
                                   "nolt_bin_set_env(ptr)",
                                   "WEXAN_ENV::set_atom_dup_util(ptr)",
                                   "WEXAN_ENV::set_lut_ram_conversion_util(ptr)",
                                   "TIBEX_ENV::set_delay_chain_util(ptr)",
                                   "NOLT_FF_REGISTER_PACKER_OP::set_op_interface(ptr)",
                                   "TIBEX_ENV::set_vpr20k_facade()",
                                   "TIBEX_ENV::set_tibex_ram_packer(ptr)",
                                   "TIBEX_ENV::set_tibex_ram_merger(ptr)",
                                   "TIBEX_ENV::set_tibex_clkbuf_fix_atom_netlist(ptr)",
                                   "TIBEX_ENV::set_tibex_clkgate_fanout_rewirer(ptr)",
                                   "TIBEX_ENV::set_tibex_gnd_lcell_manager(ptr)",
                                   "TIBEX_ENV::set_tibex_device_migration_constraints_util(ptr)",
                                   "WEXAN_LUT_RAM_UTILITY::create_utility(6)",
                                   "TIBEX_ENV::set_lut_ram_utility(ptr)",
                                   "TIBEX_ENV::set_ram_enable_conversion_util(ptr)",
                                   "TIBEX_ENV::set_tibex_pdc_utility(ptr)",
                                   "WEXAN_ENV::set_register_packing_hints_for_vpr(ptr)",
                               }));
  // The utilities exist before the expert, and the timing model is preloaded
  // after the user macros.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_initialize_fitter\"",
                                      "WEXAN_ENV::WEXAN_ENV(ptr, 0, ptr)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::Create fitter utilities\", "
                                      "2147483647, \"Prefit - Other\")",
                                      "GEN_PROFILE_BINS::close(\"VELMO_EXPERT::Create fitter utilities\")",
                                      "thr_drl_load(\"fitter_govin\")",
                                      "govin_wexan_factory(ptr)",
                                      "R5T_INTERFACE::get_or_create_instance()",
                                      "TRUV_LAB::is_supported()",
                                      "TRUV_LAB::initialize()",
                                      "TESKIN::MANAGER::initialize(ptr)",
                                      "YEB_TIMING_MODEL::preload_persistant_default_timing_model()",
                                      "YEB_TIMING_MODEL::get_timing_model_async(1, 1, 0, false, false)",
                                      "GEN_PROFILE_BINS::close(\"velmo_initialize_fitter\")",
                                  }));
  EXPECT_EQ(host::lent().size(), 15u);
  for (const auto& c : kLiveCounters) EXPECT_EQ(host::counters::get(c), 1) << c;

  host::clear_calls();
  velmo_shutdown_fitter();
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "XAB_DEM::shutdown()",
                                      "govin_delete_govin(ptr)",
                                      "thr_drl_unload()",
                                      "TIBEX_VPR_FACADE::release()",
                                  }));
  EXPECT_THAT(lending_calls(), ElementsAreArray(std::vector<std::string>{
                                   "TIBEX_VPR_FACADE::release()",
                                   "TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE()",
                                   "TIBEX_ENV::clear_vpr_facade()",
                                   "TIBEX_ENV::set_tibex_ram_packer(null)",
                                   "TIBEX_ENV::set_tibex_ram_merger(null)",
                                   "TIBEX_ENV::set_tibex_clkbuf_fix_atom_netlist(null)",
                                   "TIBEX_ENV::set_tibex_clkgate_fanout_rewirer(null)",
                                   "TIBEX_ENV::set_tibex_gnd_lcell_manager(null)",
                                   "TIBEX_ENV::set_tibex_device_migration_constraints_util(null)",
                                   "WEXAN_LUT_RAM_UTILITY::destroy_utility()",
                                   "TIBEX_ENV::set_lut_ram_utility(null)",
                                   "TIBEX_ENV::set_tibex_pdc_utility(null)",
                                   "NOLT_ATOM_DUP_UTILITY::release()",
                                   "WEXAN_ENV::set_atom_dup_util(null)",
                                   "WEXAN_ENV::set_lut_ram_conversion_util(null)",
                                   "NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility()",
                                   "TIBEX_ENV::set_ram_enable_conversion_util(null)",
                                   "TIBEX_ENV::set_delay_chain_util(null)",
                                   "WEXAN_ENV::set_wexan_device_factory_fn(null)",
                                   "NOLT_FF_REGISTER_PACKER_OP::set_op_interface(null)",
                                   "nolt_bin_set_env(null)",
                                   "TIBEX_ENV::set_cmp_facade(null)",
                                   "WEXAN_ENV::free_register_packing_hints_for_vpr()",
                               }));
  EXPECT_EQ(host::call_names().back(), "WEXAN_ENV::~WEXAN_ENV");
  EXPECT_THAT(host::lent(), IsEmpty());
  for (const auto& c : kLiveCounters) EXPECT_EQ(host::counters::get(c), 0) << c;
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Deleting all memory required to exist until the end of the fitter..."));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\tDescription: Remove regpacking hints for VPR."));
  // Every notice names its source file without a directory and one
  // maintainer identifier.
  EXPECT_THAT(host::debug::texts(),
              Contains(::testing::MatchesRegex(
                  "\tvelmo_main\\.cpp\\([0-9]+\\) contains a hack by velmo and is tracked by case 412208")));

  // A second fitter run in the same process lends and takes back again; the
  // hack notice is not repeated.
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  velmo_shutdown_fitter();
  EXPECT_EQ(count_lines("\tDescription: Remove regpacking hints for VPR."), 1);
  EXPECT_EQ(count_lines("****** HACK WARNING ******"), 1);
  for (const auto& c : kLiveCounters) EXPECT_EQ(host::counters::get(c), 0) << c;
}

TEST_F(StartupTest, FullOpportunisticDoutRegpackMakesLutRamUtilityInModeZero) {
  cfg_set_on("fitter_enable_full_opportunistic_dout_regpack_for_lutram");
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  velmo_shutdown_fitter();
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_LUT_RAM_UTILITY::create_utility(0)"}));
}

TEST_F(StartupTest, FamilyWithoutPrefitTraitStopsBeforeLending) {
  host::testing::device(host::testing::Family::code(7)).build();
  EXPECT_FALSE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Device family does not have pre fitter luj support"));
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_THAT(host::lent(), IsEmpty());
  EXPECT_THAT(lending_calls(), IsEmpty());
  EXPECT_EQ(host::counters::get("govin"), 0);
  // An environment without an expert takes no constraint calls.
  for (auto call : {+[] { velmo_load_user_constraints(false); }, +[] { velmo_clear_and_reload_tarnbay_constraints(); }})
    EXPECT_EQ(host::testing::expect_internal_error(call).condition, "VELMO_EXPERT::exists()");
  EXPECT_EQ(host::call_count("WEXAN_ENV::clear_and_reload_tarnbay_constraints"), 0);

  velmo_shutdown_fitter();
  EXPECT_EQ(host::call_names().back(), "WEXAN_ENV::~WEXAN_ENV");
  // Nothing was lent, so nothing but the empty-handed clean-up is recorded.
  for (const auto& line : lending_calls()) EXPECT_EQ(line.find("(ptr)"), std::string::npos) << line;
}

TEST_F(StartupTest, DernFlowLendsNothingButMakesTheExpert) {
  // Read once per process, at the first start-up.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("use_dern_flow");
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_TRUE(VELMO_EXPERT::exists());
  EXPECT_THAT(host::lent(), IsEmpty());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\tDescription: hack for the dern flow."));
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{"govin_wexan_factory", "TESKIN::MANAGER::initialize",
                                                    "YEB_TIMING_MODEL::preload_persistant_default_timing_model"}));
  velmo_shutdown_fitter();
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_EQ(host::counters::get("govin"), 0);

  // The variable is not read again: switching it off changes nothing.
  cfg_set_off("use_dern_flow");
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_THAT(host::lent(), IsEmpty());
  EXPECT_EQ(count_lines("\tDescription: hack for the dern flow."), 1);
  velmo_shutdown_fitter();
}

TEST_F(StartupTest, FailedUserMacroLoadKeepsExpertAndSkipsTimingPreload) {
  host::script::queue<bool>("TESKIN::MANAGER::initialize").push(false);
  EXPECT_FALSE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("TESKIN::MANAGER::initialize() failed to load user macros."));
  EXPECT_TRUE(VELMO_EXPERT::exists());
  auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "YEB_TIMING_MODEL::preload_persistant_default_timing_model"), 0);
  velmo_shutdown_fitter();
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_EQ(host::counters::get("govin"), 0);
}

TEST_F(StartupTest, UserMacrosOffStillPreloadsTimingModel) {
  cfg_set_off("enable_user_macros");
  host::script::always<bool>("TRUV_LAB::is_supported", false);
  // Errors posted before start-up are counted into the expert.
  msg_post(new MSG_E(nullptr), nullptr);
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_EQ(VELMO_EXPERT::get()->get_num_errors_at_start(), 1);
  auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "TESKIN::MANAGER::initialize"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "TRUV_LAB::initialize"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "YEB_TIMING_MODEL::get_timing_model_async"), 1);
  velmo_shutdown_fitter();
}

TEST_F(StartupTest, SecondStartUpAndEarlyExpertAccessAreInternalErrors) {
  auto e = host::testing::expect_internal_error([] { VELMO_EXPERT::get(); });
  EXPECT_EQ(e.condition, "exists()");
  EXPECT_EQ(e.file, "velmo_expert");
  EXPECT_EQ(host::testing::expect_internal_error([] { velmo_route(); }).condition, "exists()");
  EXPECT_EQ(host::testing::expect_internal_error([] { velmo_load_user_constraints(false); }).condition,
            "s_env != NULL");
  EXPECT_EQ(host::testing::expect_internal_error([] { velmo_clear_and_reload_tarnbay_constraints(); }).condition,
            "s_env != NULL");
  EXPECT_EQ(host::call_count("WEXAN_ENV::clear_and_reload_tarnbay_constraints"), 0);

  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  e = host::testing::expect_internal_error([] { velmo_initialize_fitter(CMP_FACADE::current()); });
  EXPECT_EQ(e.condition, "s_env == NULL");
  EXPECT_EQ(e.file, "velmo_main");
  // The outer bin was closed while the error travelled.
  EXPECT_THAT(host::bins::open_stack(), IsEmpty());
  velmo_shutdown_fitter();
}

// Each forwarder reaches its own expert member (seen by the member's first
// host call) and hands back the member's result unchanged (a scripted
// failure of that host call comes back as false).
TEST_F(StartupTest, EveryForwarderReachesTheExpert) {
  host::testing::device(host::testing::Family::KX).build();
  auto n = host::testing::netlist();
  n.lut("l", {n.input_port("a")}, 0x2);
  // Port translation reads the routing's terminals, as after a route.
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 0);
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  struct FORWARDER {
    const char* name;
    std::function<bool()> call;
    std::string reached;       // a call line only the member makes first
    const char* failing_call;  // scripted false makes the forwarder return false; null: not checked
  };
  bool result1 = false, result2 = false;
  const std::vector<FORWARDER> forwarders = {
      {"velmo_nimbrel", [] { return velmo_nimbrel(); }, "WEXAN_ENV::run_w3j3", nullptr},
      {"velmo_global_route", [] { return velmo_global_route(); }, "TIBEX_VPR_FACADE::global_route",
       "TIBEX_VPR_FACADE::global_route"},
      {"velmo_muvo_post_route_fixup_iter",
       [&] { return velmo_muvo_post_route_fixup_iter(false, true, result1, result2); },
       "SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current", nullptr},
      {"velmo_perform_port_translation", [] { return velmo_perform_port_translation(); },
       "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Port Translation\"", nullptr},
      {"velmo_write_out_kem_netlist", [] { return velmo_write_out_kem_netlist(true, true); },
       "WEXAN_ENV::write_out_kem_netlist(true)", "KEM_MANAGER::write_kem_netlist_to_disk"},
      {"velmo_write_out_kem_netlist (no host flag)", [] { return velmo_write_out_kem_netlist(false, true); },
       "WEXAN_ENV::write_out_kem_netlist(false)", nullptr},
      {"velmo_run_w3j3_prefit", [] { return velmo_run_w3j3_prefit(); }, "WEXAN_ENV::run_w3j3_prefit",
       "WEXAN_ENV::run_w3j3_prefit"},
      {"velmo_bav_translate_current_strengths", [] { return velmo_bav_translate_current_strengths(); },
       "BAV::translate_current_strengths(true)", "BAV::translate_current_strengths"},
      {"velmo_process_design_without_device", [] { return velmo_process_design_without_device(); },
       "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPORT::process_design_without_device\"", nullptr},
      {"velmo_post_place_operation", [] { return velmo_post_place_operation(); },
       "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::run_post_place_operation\"",
       "TIBEX_VPR_FACADE::post_place_operation"},
      {"velmo_muvo", [] { return velmo_muvo("unit_a"); }, "TIBEX_VPR_FACADE::run_unit", nullptr},
      {"velmo_perform_user_logic_duplication", [] { return velmo_perform_user_logic_duplication(); },
       "WEXAN_USER_ATOM_DUP::work", "WEXAN_USER_ATOM_DUP::work"},
      {"velmo_convert_lutram", [] { return velmo_convert_lutram(); },
       "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Lutram Conversion\"", nullptr},
      {"velmo_retime", [] { return velmo_retime(); }, "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_retime\"",
       nullptr},
      {"velmo_finalize", [] { return velmo_finalize(); },
       "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize\"", nullptr},
  };
  // (velmo_place and velmo_route run whole stages; the fit tests run them.)
  // The fix-up iteration hands back both result flags.
  host::script::queue<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result1").push(true);
  host::script::queue<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result2").push(true);
  velmo_muvo_post_route_fixup_iter(false, false, result1, result2);
  EXPECT_TRUE(result1);
  EXPECT_TRUE(result2);
  // The nimbrel forwarder reaches the nimbrel member, which rebuilds before
  // it retimes; the retime forwarder does not.
  host::clear_calls();
  velmo_retime();
  EXPECT_THAT(host::call_lines(), Not(Contains(StartsWith("WEXAN_ENV::run_w3j3"))));
  // Finalize comes last: it unloads the facade.
  for (const FORWARDER& f : forwarders) {
    SCOPED_TRACE(f.name);
    host::clear_calls();
    try {
      f.call();
    } catch (const HOST_INTERNAL_ERROR& e) {
      ADD_FAILURE() << "internal error " << e.condition << " (" << e.file << ":" << e.line << ")";
      continue;
    }
    const auto lines = host::call_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines, Contains(StartsWith(f.reached)));
    if (f.failing_call != nullptr) {
      host::script::queue<bool>(f.failing_call).push(false);
      EXPECT_FALSE(f.call());
    }
  }

  // check_and_report flushes the periphery utility's report before the expert.
  host::clear_calls();
  velmo_check_and_report(false, false);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_PIZ_TABLE::flush"}));
  velmo_shutdown_fitter();
}

TEST_F(StartupTest, FailingConstraintLoadStillAppliesClockSkew) {
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  host::clear_calls();
  host::script::queue<bool>("WEXAN_DESIGN::clear_existing_location_constraints").push(false);
  EXPECT_FALSE(velmo_load_user_constraints(true));
  EXPECT_THAT(host::call_names(), ElementsAreArray(std::vector<std::string>{
                                      "WEXAN_DESIGN::clear_existing_location_constraints",
                                      "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::NOLT_PROGRAMMABLE_CLOCK_SKEW_OP",
                                      "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work",
                                      "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::~NOLT_PROGRAMMABLE_CLOCK_SKEW_OP",
                                  }));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(5)"}));

  // The second load fails later in the chain; without clock skew no
  // operation is built.
  host::clear_calls();
  host::script::queue<bool>("WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load").push(false);
  EXPECT_FALSE(velmo_load_user_constraints(false));
  EXPECT_THAT(host::call_names(),
              ElementsAreArray(std::vector<std::string>{
                  "WEXAN_DESIGN::clear_existing_location_constraints",
                  "WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load"}));

  // Both loads pass and the legality check fails last: still a failure.
  host::clear_calls();
  host::script::queue<bool>("NOLT_RAM_LOCATION_CHECK::check_legality").push(false);
  EXPECT_FALSE(velmo_load_user_constraints(false));
  EXPECT_THAT(host::call_names(), Contains("NOLT_RAM_LOCATION_CHECK::check_legality"));
  EXPECT_TRUE(velmo_load_user_constraints(false));

  host::script::queue<bool>("WEXAN_ENV::clear_and_reload_tarnbay_constraints").push(false);
  EXPECT_FALSE(velmo_clear_and_reload_tarnbay_constraints());
  EXPECT_TRUE(velmo_clear_and_reload_tarnbay_constraints());
  velmo_shutdown_fitter();
}

TEST_F(StartupTest, MemoryLineOnlyWithDebugMessages) {
  velmo_print_memory_usage();
  cfg_set_on("debug_msg");
  velmo_print_memory_usage();
  auto texts = host::debug::texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Memory usage after initialize_fitter: peak ", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find(" gb, current "), std::string::npos);

  // Start-up prints the same line at its end.
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  texts = host::debug::texts();
  EXPECT_EQ(texts.back().rfind("Memory usage after initialize_fitter: peak ", 0), 0u) << texts.back();
  velmo_shutdown_fitter();
}
