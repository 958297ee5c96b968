// The expert's prefit steps: MAC merging order and gates, RAM processing
// gates, the raw-IOPLL check, grounding of undriven black-box inputs, the
// LUT-ROM fix-up, the netlist check gate, delay chains after packing, the
// periphery-to-core step and the one-line wrappers.
#include "cfg/cfg.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "expert_fixture.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "moz/moz_variable.h"
#include "thr/thr_drl.h"
#include "omz/omz_option.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "dev/dev_grid.h"
#include "testing/periphery_scene.h"
#include "velmo_bbic_states.h"
#include "wump/wump_die_info.h"
#include "velmo_msgs.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_utilities.h"

using velmo_test::ExpertTest;

namespace {
class PrefitStepsTest : public ExpertTest {
protected:
  // The MAC steps that ran, by their profiling bins, and the skip notices.
  static std::vector<std::string> mac_trace() {
    std::vector<std::string> out;
    for (const auto& ev : host::bins::events())
      if (ev.action == "open" && ev.name.rfind("MAC ", 0) == 0) out.push_back(ev.name);
    for (const auto& t : host::debug::texts())
      if (t == kSkipCheck) out.push_back(t);
    return out;
  }
  static constexpr const char* kSkipCheck = "skipping NOLT_MAC_LOCATION_CHECK('last')";
};
}  // namespace

TEST_F(PrefitStepsTest, MergeMacsRunsMergeThenSignExtensionThenTheLastLocationCheck) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->merge_macs());
  EXPECT_EQ(mac_trace(), (std::vector<std::string>{"MAC Merge Op", "MAC Sign Extension", "MAC Loc Check"}));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_MAC_LOCATION_CHECK::work(\"last\", true)"}));
}

TEST_F(PrefitStepsTest, SkipVariablesRemoveOnlyTheirOwnPart) {
  cfg_set_on("wexan_mac_merge_skip");
  cfg_set_on("nolt_mac_width_adjust_skip");
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->merge_macs());
  EXPECT_EQ(mac_trace(), (std::vector<std::string>{"MAC Loc Check"}));

  // A failing location check fails the step; the skip variable of the check
  // makes it succeed without running.
  host::script::queue<bool>("WEXAN_MAC_LOCATION_CHECK::work").push(false);
  EXPECT_FALSE(e->merge_macs());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("WEXAN_MAC_LOCATION_CHECK('last') failed"));
  cfg_set_on("wexan_mac_location_check_skip");
  host::clear_calls();
  EXPECT_TRUE(e->merge_macs());
  EXPECT_EQ(count_calls("WEXAN_MAC_LOCATION_CHECK::work"), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine(kSkipCheck));
}

TEST_F(PrefitStepsTest, OptionSkipMacMergeKeepsSignExtensionAndDropsTheCheck) {
  host::options::set(816, 1, "on");
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->merge_macs());
  EXPECT_EQ(mac_trace(), (std::vector<std::string>{"MAC Sign Extension", kSkipCheck}));
  EXPECT_EQ(count_calls("WEXAN_MAC_LOCATION_CHECK::work"), 0);
}

TEST_F(PrefitStepsTest, AFailedMergeStopsBeforeSignExtension) {
  // A DSP chain of six blocks where at most five fit in a column.
  auto n = host::testing::netlist();
  std::vector<host::testing::MAC_BUILDER> chain;
  for (int i = 0; i < 6; ++i) chain.push_back(n.mac("c" + std::to_string(i)).mode(9));
  for (int i = 0; i + 1 < 6; ++i) chain[i].feeds(chain[i + 1], DB_MAC_CHAINOUT, DB_MAC_CHAININ);
  VELMO_EXPERT* e = start();
  EXPECT_FALSE(e->merge_macs());
  EXPECT_EQ(mac_trace(), (std::vector<std::string>{"MAC Merge Op", kSkipCheck}));
  EXPECT_EQ(count_calls("WEXAN_MAC_LOCATION_CHECK::work"), 0);
}

TEST_F(PrefitStepsTest, ProcessRamsGates) {
  // Family 46: the ground-address-line step is off unless asked for.
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->process_rams());
  EXPECT_EQ(count_calls("NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP::work"), 0);
  EXPECT_EQ(count_calls("NOLT_RAM_DUP_DATA_OP::work"), 1);

  cfg_set_on("wexan_add_ground_address_lines_to_ram_op");
  host::clear_calls();
  host::script::queue<bool>("NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP::work").push(false);
  EXPECT_FALSE(e->process_rams());
  EXPECT_EQ(count_calls("NOLT_RAM_DUP_DATA_OP::work"), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP operation failed"));

  host::script::queue<bool>("NOLT_RAM_DUP_DATA_OP::work").push(false);
  EXPECT_FALSE(e->process_rams());
  cfg_set_on("wexan_disable_data_demux");
  EXPECT_TRUE(e->process_rams());
}

TEST_F(PrefitStepsTest, ProcessRamsDoesNothingInAnEcoCompileThatSkipsPlacement) {
  device(host::testing::Family::KX);
  WEXAN_ECO::current()->set(true, true);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->process_rams());
  EXPECT_EQ(count_calls("NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP::work"), 0);
  EXPECT_EQ(count_calls("NOLT_RAM_DUP_DATA_OP::work"), 0);
}

TEST_F(PrefitStepsTest, RawIopllErrorIsPostedOnceForTheFirstOffender) {
  device(host::testing::Family::KX);
  auto n = host::testing::netlist();
  auto ref = n.input_port("ref");
  auto good = n.iopll("good");
  good.input(static_cast<DB_INPUT_PORT_TYPE>(3388), 0, ref).input(static_cast<DB_INPUT_PORT_TYPE>(3389), 0, ref);
  n.iopll("raw0").input(static_cast<DB_INPUT_PORT_TYPE>(3389), 0, ref);  // one of the two is not enough
  n.iopll("raw1").input(static_cast<DB_INPUT_PORT_TYPE>(3388), 0, ref);
  n.iopll("raw2");
  VELMO_EXPERT* e = start();

  EXPECT_TRUE(e->process_l10_iopll_es_fix_legality());  // option 621 not set
  host::options::set(621, 1, "on");
  EXPECT_FALSE(e->process_l10_iopll_es_fix_legality());
  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].key, "VELMO_VELMO_ILLEGAL_RAW_IOPLL");
  EXPECT_NE(posted[0].text.find("raw0"), std::string::npos) << posted[0].text;

  cfg_set_on("allow_raw_iopll_wysiwyg");
  EXPECT_TRUE(e->process_l10_iopll_es_fix_legality());
  EXPECT_EQ(host::messages::posted().size(), 1u);
}

TEST_F(PrefitStepsTest, RawIopllCheckOnlyOnItsFamilies) {
  host::options::set(621, 1, "on");
  auto n = host::testing::netlist();
  n.iopll("raw");
  VELMO_EXPERT* e = start();  // family 46
  EXPECT_TRUE(e->process_l10_iopll_es_fix_legality());
  EXPECT_TRUE(host::messages::posted().empty());
}

TEST_F(PrefitStepsTest, UnconnectedBlackboxInputsAreGrounded) {
  // The grounding workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto box = n.blackbox("u_sub", [](auto& c) {
    auto i0 = c.input("c");
    c.input("open_in");
    c.input("low_in");
    c.output("o", c.reg("r").clk(i0));
  });
  box.in("c", clk);
  box.tie(DB_INPUT_PORT_BOX, 2, true);
  auto locked_box = n.blackbox("u_locked", [](auto& c) { c.input("x"); });
  locked_box->set_modifiable(false);
  VELMO_EXPERT* e = start();

  EXPECT_TRUE(e->ground_unconnected_blackbox_inputs());
  VOK_ATOM_ITERM* driven = box.iterm(DB_INPUT_PORT_BOX, 0);
  EXPECT_EQ(driven->get_source(VOK_TRAVERSE_AS_STORED), clk.oterm);
  for (int i : {1, 2}) {
    VOK_ATOM_ITERM* t = box.iterm(DB_INPUT_PORT_BOX, i);
    EXPECT_EQ(t->get_source(VOK_TRAVERSE_AS_STORED), n.get_netlist()->get_ground_oterm()) << i;
  }
  EXPECT_EQ(locked_box.iterm(DB_INPUT_PORT_BOX, 0)->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Grounding unsourced iterms on blackbox u_sub"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("...Grounding iterm open_in"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("****** HACK WARNING ******"));
  EXPECT_THAT(host::debug::texts(),
              ::testing::Contains(::testing::MatchesRegex(
                  "\tvelmo_expert_prefit\\.cpp\\([0-9]+\\) contains a hack by velmo and is tracked by case 412212")));
  EXPECT_EQ(count_calls("SIV_ATOM_MOD_UTILITY::connect_iterm_to_gnd"), 2);
  EXPECT_EQ(host::counters::get("SIV_ATOM_MOD_UTILITY"), 0);
}

TEST_F(PrefitStepsTest, ATiedHighBlackboxInputIsFatal) {
  auto n = host::testing::netlist();
  auto box = n.blackbox("u_sub", [](auto& c) { c.input("hi"); });
  box.tie(DB_INPUT_PORT_BOX, 0, false);
  VELMO_EXPERT* e = start();
  auto err = host::testing::expect_internal_error([&] { e->ground_unconnected_blackbox_inputs(); });
  EXPECT_EQ(err.condition, "Port hi on bb u_sub has no driver but is set to be driven high.");
  // The utility is freed on the way out too.
  EXPECT_EQ(host::counters::get("SIV_ATOM_MOD_UTILITY"), 0);
}

TEST_F(PrefitStepsTest, LutromFixupTouchesOnlyFitterCreatedMlabs) {
  // Whether the fix-up runs is decided once per process.
  if (!host::testing::in_own_process()) return;
  host::options::set(1166, 1, "on");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto d = n.input_port("d");
  // An undriven address: repaired, its data inputs of each of the three kinds
  // made unused, its clock kept.
  auto rom = n.lutram("FITTER_CREATED_MLAB_CELL_rom")
                 .data_in(d)
                 .clk(clk)
                 .input(static_cast<DB_INPUT_PORT_TYPE>(109), 0, d)
                 .input(static_cast<DB_INPUT_PORT_TYPE>(173), 0, d);
  // The same, but not modifiable: left alone.
  auto fixed = n.lutram("FITTER_CREATED_MLAB_CELL_fixed").data_in(d).clk(clk);
  fixed->set_modifiable(false);
  // The same, made by the user: left alone.
  auto user = n.lutram("user_rom").data_in(d).clk(clk);
  // A driven address and a write enable tied low: repaired.
  auto tied = n.lutram("x|FITTER_CREATED_MLAB_CELL_we").data_in(d).clk(clk).addr(0, d);
  tied.tie(static_cast<DB_INPUT_PORT_TYPE>(41), 0, true);
  // A driven address and a driven write enable: a real RAM, left alone.
  auto ram = n.lutram("FITTER_CREATED_MLAB_CELL_ram").data_in(d).clk(clk).addr(0, d).we(d);
  VELMO_EXPERT* e = start();

  EXPECT_TRUE(e->lutrom_fixup_after_belq());
  auto data_in = [](auto& h) { return h.iterm(static_cast<DB_INPUT_PORT_TYPE>(83), 0); };
  EXPECT_FALSE(data_in(rom)->is_used());
  EXPECT_FALSE(rom.iterm(static_cast<DB_INPUT_PORT_TYPE>(109), 0)->is_used());
  EXPECT_FALSE(rom.iterm(static_cast<DB_INPUT_PORT_TYPE>(173), 0)->is_used());
  EXPECT_TRUE(rom.iterm(DB_INPUT_PORT_CLK, 0)->is_used());
  EXPECT_TRUE(data_in(fixed)->is_used());
  EXPECT_FALSE(data_in(tied)->is_used());
  EXPECT_TRUE(data_in(user)->is_used());
  EXPECT_TRUE(data_in(ram)->is_used());
  EXPECT_EQ(count_calls("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 2);
  EXPECT_EQ(host::counters::get("SIV_ATOM_MOD_UTILITY"), 0);
  EXPECT_FALSE(exists("top.pre_lutrom_fixup_netlist"));
}

TEST_F(PrefitStepsTest, LutromFixupRunsNothingWhenTheOptionDoesNotApply) {
  host::options::set(1166, 1, "on");
  host::moz::exclude_family(1166, 46);
  cfg_set_on("dump_lutrom_fixup");
  auto n = host::testing::netlist();
  auto rom = n.lutram("FITTER_CREATED_MLAB_CELL_rom").data_in(n.input_port("d"));
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->lutrom_fixup_after_belq());
  EXPECT_TRUE(rom.iterm(static_cast<DB_INPUT_PORT_TYPE>(83), 0)->is_used());
  EXPECT_FALSE(exists("top.pre_lutrom_fixup_netlist"));
  EXPECT_EQ(count_calls("WEXAN_ENV::create_atom_mod_utility_for_algorithm"), 0);
}

TEST_F(PrefitStepsTest, NetlistCheckIsGatedAndReportsABrokenNetlist) {
  device(host::testing::Family::KX);
  auto n = host::testing::netlist();
  n.reg("no_clock").d(n.input_port("d"));
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->check_netlist_legality());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Skipped KX prefit netlist check!! Enable it using ini enable_kx_prefit_netlist_check=on"));

  cfg_set_on("enable_kx_prefit_netlist_check");
  EXPECT_FALSE(e->check_netlist_legality());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Starting VELMO_PREFIT_NETLIST_CHECK_OP::work at end of pre-fitter"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_PREFIT_NETLIST_CHECK_OP: Netlist is broken."));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_PREFIT_NETLIST_CHECK_OP operation failed"));

  // While partitions are blackboxed the broken netlist is not checked.
  const size_t before = host::debug::texts().size();
  velmo_bbic_set_active(true);
  EXPECT_TRUE(e->check_netlist_legality());
  velmo_bbic_set_active(false);
  const std::vector<std::string> texts = host::debug::texts();
  EXPECT_EQ(std::vector<std::string>(texts.begin() + before, texts.end()),
            std::vector<std::string>{"Skipped KX prefit netlist check because BBIC is active"});
}

TEST_F(PrefitStepsTest, NetlistCheckRunsTheLutramChecksOnItsFamilies) {
  device(host::testing::Family::KX);  // trait 151
  cfg_set_on("enable_kx_prefit_netlist_check");
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->check_netlist_legality());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_PREFIT_NETLIST_CHECK_OP: Netlist is OK."));
  host::script::queue<bool>("NOLT_LUT_RAM_CONVERSION_UTIL::perform_prefit_lutram_netlist_checks").push(false);
  EXPECT_FALSE(e->check_netlist_legality());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Netlist consistency check failed."));
}

TEST_F(PrefitStepsTest, DelayChainsAfterPackingAndTheDeskewOfEachFamily) {
  VELMO_EXPERT* e = start();  // family 46
  EXPECT_TRUE(e->process_delay_chains_after_regpacking());
  const std::vector<std::string> want = {"        performing:  Read User Info........",
                                         "        performing:  Validate Chain Info........",
                                         "        performing:  Validate to Other Assignments........"};
  EXPECT_THAT(host::debug::texts(), CallSequence(want));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "WEXAN_PLL_DELAY_CHAINS_OP::work", "HSSI_KY_TX_DESKEW_OP::HSSI_KY_TX_DESKEW_OP",
                                      "HSSI_KY_TX_DESKEW_OP::init", "HSSI_KY_TX_DESKEW_OP::work"}));

  // A failing PLL step fails the step; a deskew that cannot start does not.
  host::clear_calls();
  host::script::queue<bool>("WEXAN_PLL_DELAY_CHAINS_OP::work").push(false);
  host::script::queue<bool>("HSSI_KY_TX_DESKEW_OP::init").push(false);
  EXPECT_FALSE(e->process_delay_chains_after_regpacking());
  EXPECT_EQ(count_calls("HSSI_KY_TX_DESKEW_OP::work"), 0);
  host::script::queue<bool>("HSSI_KY_TX_DESKEW_OP::init").push(false);
  EXPECT_TRUE(e->process_delay_chains_after_regpacking());
}

// The UIB/ESRAM step comes first; when it fails the periphery-to-core pass
// does not run.
TEST_F(PrefitStepsTest, AFailedUibEsramStepSkipsThePeripheryToCorePass) {
  host::testing::scenes::kx_periphery();  // family 48, a UIB "u0"
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(
      host::device::die_info()->get_place_info()->get_global_id(0, 6, 4, 1), dev_kind::FF);
  // A wire LUT for the periphery router locked where no LAB output can take
  // it, driving a UIB input.
  VOK_ATOM_NODE* w = n.lut("w", {src}, 0x1).locked(0, 0, 1);
  VOK_ATOM_NODE* u = n.atom(VOK_ATOM_KIND::UFI_UIB, "u1")
                         .input(DB_INPUT_PORT_DATA_IN, 0, w)
                         .placed(host::device::die_info()->get_place_info()->get_global_id(0, 6, 9, 0), dev_kind::UIB);
  host::testing::map_port(u->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                          host::testing::gesk_instance("u1_inst", 6, 9, 0), "in[0]");
  host::options::set(844, 4, "2", w->get_string_hpath());
  VELMO_EXPERT* e = start();
  EXPECT_FALSE(e->perform_p2c());
  EXPECT_FALSE(w->is_placed());
  for (const auto& line : host::debug::texts()) EXPECT_EQ(line.rfind("p2c: got ", 0), std::string::npos) << line;
}

TEST_F(PrefitStepsTest, NoDeskewOnFamily26) {
  device(host::testing::Family::KZ);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->process_delay_chains_after_regpacking());
  for (const auto& name : host::call_names()) EXPECT_EQ(name.rfind("HSSI_", 0), std::string::npos) << name;
}

TEST_F(PrefitStepsTest, PeripheryToCoreRunsW3j3FirstWithoutALoadedBundleEntry) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->perform_p2c());
  EXPECT_THAT(host::debug::texts(),
              CallSequence(std::vector<std::string>{
                  "running w3j3 for p2c", "p2c: got 0 targeted paths", "c2p: got 0 targeted paths"}));
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3_prefit"), 1);

  host::gesk::load(true, true);
  host::clear_calls();
  EXPECT_TRUE(e->perform_p2c());
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3_prefit"), 0);

  host::gesk::load(false, false);
  auto err = host::testing::expect_internal_error([&] { e->perform_p2c(); });
  EXPECT_EQ(err.condition, "GESK chip must be loaded before running p2c flow");
}

TEST_F(PrefitStepsTest, WrappersRunOnTheirFamiliesAndAlwaysSucceed) {
  VELMO_EXPERT* e = start();  // family 46: neither runs
  EXPECT_TRUE(e->perform_port_translation_wrapper());
  EXPECT_TRUE(e->perform_dangling_clock_routing_cleanup());
  for (const auto& t : host::debug::texts()) EXPECT_EQ(t.find("not built yet"), std::string::npos) << t;

  host::wexan::set_all_partitions_can_skip_fitter(true);
  cfg_set_on("velmo_perform_p2c_c2p_auto");
  EXPECT_TRUE(e->perform_p2c());
  EXPECT_THAT(host::debug::texts(), ::testing::Not(::testing::Contains("running w3j3 for p2c")));
  EXPECT_TRUE(e->run_w3j3_prefit());
  EXPECT_EQ(count_calls("W3J3_CONFIG_CREATOR_MODULE::set_atom_locations"), 1);
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3_prefit"), 0);
}

// Families 48 and 15 translate their ports and clean up dangling clock
// routing.
class WrappersOnKxFamiliesTest : public PrefitStepsTest, public ::testing::WithParamInterface<int> {};

TEST_P(WrappersOnKxFamiliesTest, WrappersOnKx) {
  device(GetParam());
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->perform_port_translation_wrapper());
  EXPECT_TRUE(e->perform_dangling_clock_routing_cleanup());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"L10_port_translation\", false, false)", "VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"velmo_kx_dangling_clock_cleanup\", false, false)"}));
  cfg_set_off("jopp_enable_large_pclks_in_jov_mode");
  EXPECT_TRUE(e->perform_dangling_clock_routing_cleanup());
  EXPECT_EQ(count_call_lines("VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"velmo_kx_dangling_clock_cleanup\", false, false)"), 1);

  EXPECT_TRUE(e->check_constraint_legality());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::report_fitter_status(5, 0)",
                                      "WEXAN_MAC_LOCATION_CHECK::check_legality(\"first\", false)",
                                      "NOLT_RAM_LOCATION_CHECK::check_legality(false)"}));
  host::script::queue<bool>("WEXAN_MAC_LOCATION_CHECK::check_legality").push(false);
  host::clear_calls();
  EXPECT_FALSE(e->check_constraint_legality());
  EXPECT_EQ(count_calls("NOLT_RAM_LOCATION_CHECK::check_legality"), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, WrappersOnKxFamiliesTest, ::testing::Values(host::testing::Family::KX, 15));

TEST_F(PrefitStepsTest, LutramConversionStage) {
  device(host::testing::Family::KZ);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->perform_lutram_conversion());
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{"VINTO::perform_lutram_conversion",
                                                                        "VINTO::perform_ram_power_opt"}));
  // A failed conversion is the result: the power optimisation does not run
  // and cannot turn it into a success.
  host::clear_calls();
  host::script::queue<bool>("VINTO::perform_lutram_conversion").push(false);
  EXPECT_FALSE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_lutram_conversion"), 1);
  EXPECT_EQ(count_calls("VINTO::perform_ram_power_opt"), 0);
  // Off at plan: no conversion; the power optimisation still decides.
  cfg_set_off("velmo_perform_lutram_conversion_at_plan");
  host::clear_calls();
  host::script::queue<bool>("VINTO::perform_ram_power_opt").push(false);
  EXPECT_FALSE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_lutram_conversion"), 0);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Skipping lutram conversion in plan, will run it during ram clustering in place stage"));
  // Without timing the RAMs' power is not optimised.
  host::hov::set_on(false);
  host::clear_calls();
  EXPECT_TRUE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_ram_power_opt"), 0);
}

TEST_F(PrefitStepsTest, LutramConversionIsLeftToClusteringOnFamily48) {
  device(host::testing::Family::KX);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_lutram_conversion"), 0);
  EXPECT_EQ(count_calls("VINTO::perform_ram_power_opt"), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("For vintrel, Skipping lutram conversion in plan, will run it during "
                                                 "ram clustering in place stage"));
}
