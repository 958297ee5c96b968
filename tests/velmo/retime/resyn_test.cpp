// The timing-driven resynthesis driver: when it runs, the iterations and
// their types, the delay annotation, the clock skews, the fit information
// handed to the engine and the changes taken back into the design.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "belq/belq_env.h"
#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "ewt/ewt_table_timing_model.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "moz/moz_variable.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_resyn.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "tibex/tibex_location_constraint.h"
#include "thr/thr_drl.h"
#include "wexan/wexan_env.h"

namespace {

constexpr int kResynOption = 1166;

class ResynTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    velmo_resyn_forget_switches();
  }
  void TearDown() override {
    velmo_resyn_forget_switches();
    delete m_env;
    EXPECT_EQ(host::counters::get("BELQ_ENV"), 0);
    EXPECT_EQ(host::siv::live_utilities(), 0);
    std::remove("skews.txt");
    std::remove("dont_touch.txt");
    HostTest::TearDown();
  }
  // A small clocked design: in -> a -> lut -> b.
  void design() {
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto a = n.reg("a").clk(clk).d(n.input_port("in"));
    auto l = n.lut("l", {a}, 0x2);
    n.reg("b").clk(clk).d(l);
  }
  static void resyn_on() { host::options::set(kResynOption, 1, "on"); }
  static int count_lines(const std::string& text) {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l == text;
    return n;
  }
  static std::vector<std::string> calls_of(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& l : host::call_lines())
      if (l.rfind(name + "(", 0) == 0) out.push_back(l);
    return out;
  }
  VOK_ATOM_NODE* atom(const std::string& name) { return host::testing::netlist().find(name); }
  WEXAN_ENV* m_env = nullptr;
};

TEST_F(ResynTest, TheGatesDecideWhetherResynthesisOrTimingOnlyRuns) {
  design();
  // No project setting: nothing runs.
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is not running. MOZ is OFF"), 1);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
  // The setting present but off: nothing runs either.
  host::options::set(kResynOption, 1, "off");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is not running. MOZ is OFF"), 2);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
  // The setting does not apply to the family.
  resyn_on();
  host::moz::exclude_family(kResynOption, static_cast<int>(CMP_FACADE::current()->get_family()));
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is not running. MOZ is OFF"), 3);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
}

TEST_F(ResynTest, SettingOnRunsUnlessTimingDrivenIsOffOrThePhysicalModeDiffers) {
  design();
  resyn_on();
  host::hov::set_on(false);
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is not running. Timing-driven compile is OFF"), 1);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
  host::hov::set_on(true);
  // Physical resynthesis configured: a non-physical request does not run...
  cfg_set_on("belq_resyn_physical");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
  // ...unless forced, and then it runs.
  cfg_set_on("belq_resyn_force_non_physical");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is running "), 1);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 1);
}

TEST_F(ResynTest, ForcedRunTimingOnlyAndPlacedNetlist) {
  design();
  host::clear_calls();
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);  // no analysis by default
  cfg_set_on("belq_resyn_timing_analysis_only");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 1);
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 0);
  EXPECT_EQ(host::call_count("BELQ_ENV::BELQ_ENV"), 0);  // not in debug mode
  cfg_set_on("belq_resyn");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 1);
  // A placed netlist is left alone by the default call.
  atom("l")->set_analytic_xy(3, 4);
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::is_netlist_placed(m_env->get_atom_netlist()));
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("BELQ_ENV::resynthesize"), 1);
  // A placed port alone does not make the netlist placed.
  atom("l")->set_analytic_xy(-1, -1);
  atom("in")->set_analytic_xy(0, 0);
  EXPECT_FALSE(VELMO_RESYN_WRAPPER::is_netlist_placed(m_env->get_atom_netlist()));
}

TEST_F(ResynTest, PhysicalRunClearsPlacementUnlessKept) {
  design();
  cfg_set_on("belq_resyn_physical");
  resyn_on();
  atom("a")->set_analytic_xy(1, 1);
  atom("b")->set_analytic_xy(2, 1);
  atom("in")->set_analytic_xy(0, -1);  // one coordinate unplaced: not counted
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, true));
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is running (Physical MOde)"), 1);
  EXPECT_EQ(count_lines("Cleared location on 2 nodes\n"), 1);
  EXPECT_EQ(atom("a")->get_analytic_x(), -1.0f);
  EXPECT_EQ(atom("in")->get_analytic_x(), 0.0f);
  // The physical run handed the located registers' locations to the engine.
  atom("a")->set_analytic_xy(1, 1);
  cfg_set_on("velmo_resyn_keep_placement");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, true));
  const auto& fit = host::belq::last_export();
  ASSERT_EQ(fit.count(atom("a")), 1u);
  EXPECT_EQ(fit.at(atom("a")).x, 1.0f);
  EXPECT_EQ(count_lines("Cleared location on 0 nodes\n"), 1);
  EXPECT_EQ(atom("a")->get_analytic_x(), 1.0f);
}

TEST_F(ResynTest, IterationsHaveTheirLabelsAndTypes) {
  design();
  cfg_set_int_value("velmo_resyn_max_iterations", 3);
  cfg_set_value("belq_resyn_sta_cmd", "report_timing");
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  EXPECT_TRUE(resyn.resynthesize_netlist());
  // Every iteration but the last is judged on a fresh analysis, reported
  // under that iteration's label; the last one (outside debug) gets none.
  std::vector<std::string> steps;
  for (const auto& l : host::call_lines())
    if (l.rfind("WEXAN_HOV_UTILITY::perform_quick_timing_analysis(", 0) == 0)
      steps.push_back("analysis");
    else if (l.rfind("HOV_ACCESSORIES::prepare_sta_report(", 0) == 0 || l.rfind("BELQ_ENV::resynthesize(", 0) == 0 ||
             l.rfind("WEXAN_ENV::delete_hov_utility_completely", 0) == 0)  // none: the timing netlist is reused
      steps.push_back(l);
  EXPECT_EQ(steps, (std::vector<std::string>{"analysis", "HOV_ACCESSORIES::prepare_sta_report(\"Before RESYN\")",
                                             "BELQ_ENV::resynthesize(1)", "analysis",
                                             "HOV_ACCESSORIES::prepare_sta_report(\"RESYN-iter-1\")",
                                             "BELQ_ENV::resynthesize(1)", "analysis",
                                             "HOV_ACCESSORIES::prepare_sta_report(\"RESYN-iter-2\")",
                                             "BELQ_ENV::resynthesize(0)"}));
  EXPECT_EQ(calls_of("BELQ_ENV::resynthesize"),
            (std::vector<std::string>{"BELQ_ENV::resynthesize(1)", "BELQ_ENV::resynthesize(1)",
                                      "BELQ_ENV::resynthesize(0)"}));
  EXPECT_EQ(count_lines("SYN_TAG: VELMO_RESYN Step RESYN-iter-1 - running map for pure timing"), 1);
  EXPECT_EQ(count_lines("SYN_TAG: VELMO_RESYN Step RESYN-iter-2 - running map for pure timing"), 1);
  EXPECT_EQ(count_lines("SYN_TAG: VELMO_RESYN Step RESYN - running map with area recovery"), 1);
  EXPECT_EQ(calls_of("WEXAN_ENV::get_hov_utility_or_create_if_necessary").front().rfind(  // reused by default
                "WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 2, 0, false, false, ", 0), 0u);
  // A failed iteration imports nothing and the next one still runs.
  host::clear_calls();
  host::script::queue<bool>("belq_resynthesize").push(false);
  cfg_set_on("velmo_resyn_all_iterations_recover_area");
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(host::call_count("BELQ_ENV::export_netlist"), 3);
  EXPECT_EQ(host::call_count("BELQ_ENV::import_netlist"), 2);
  EXPECT_EQ(calls_of("BELQ_ENV::resynthesize").front(), "BELQ_ENV::resynthesize(0)");
  cfg_set_on("velmo_kavu_resyn");
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(host::belq::last_resynthesis_type(), 2);
  // No iteration: nothing exported, the run still ends cleanly.
  host::clear_calls();
  cfg_set_int_value("velmo_resyn_max_iterations", 0);
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(host::call_count("BELQ_ENV::export_netlist"), 0);
  EXPECT_EQ(host::call_count("BELQ_ENV::report_stats"), 1);
  // Without reuse the timing netlist is built anew for the first analysis,
  // after each iteration but the last and for the last import, the old
  // utility dropped first each time.
  host::clear_calls();
  cfg_set_int_value("velmo_resyn_max_iterations", 2);
  cfg_set_off("velmo_resyn_reuse_kem_for_export");
  cfg_set_off("velmo_resyn_reuse_kem_for_import");
  EXPECT_TRUE(resyn.resynthesize_netlist());
  std::vector<std::string> builds;
  for (const auto& l : host::call_lines())
    if (l.rfind("WEXAN_ENV::delete_hov_utility_completely", 0) == 0 ||
        l.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary(", 0) == 0)
      builds.push_back(l.substr(0, l.find("(")));
  const std::vector<std::string> anew = {"WEXAN_ENV::delete_hov_utility_completely",
                                         "WEXAN_ENV::get_hov_utility_or_create_if_necessary"};
  EXPECT_EQ(builds, (std::vector<std::string>{anew[0], anew[1], anew[0], anew[1], anew[0], anew[1]}));
}

TEST_F(ResynTest, AddedAndDeletedAtomsAreTakenIntoTheDesign) {
  design();
  auto n = host::testing::netlist();
  host::script::on("belq_resynthesize", [&] {
    // The engine re-maps the LUT: a new one drives b, the old one goes.
    auto l2 = n.lut("l2", {n.find("a")}, 0x2);
    VOK_ATOM_NODE* old = n.find("l");
    n.find("b")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->disconnect_from_source(VOK_NET_ITERM::OPEN);
    host::belq::set_import_result({l2.atom()}, {old}, {n.find("b")});
  });
  TIBEX_LOCATION_CONSTRAINT lc;
  lc.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(2, 3, 0), host::constraints::SOURCE_USER);
  const int old_id = atom("l")->get_id();
  WEXAN_DESIGN::current()->set_atom_location_constraint(old_id, lc);
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 1);
  // The old LUT leaves the design and then the netlist, in one batch of the
  // environment's utility.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "SIV_ATOM_MOD_UTILITY::set_batch_mode(true)",
                                      "WEXAN_DESIGN::delete_atom_no_free",
                                      "SIV_ATOM_MOD_UTILITY::remove_node",
                                      "SIV_ATOM_MOD_UTILITY::flush(1)",
                                      "SIV_ATOM_MOD_UTILITY::set_batch_mode(false)"}));
  EXPECT_EQ(host::call_count("WEXAN_ENV::create_atom_mod_utility_for_algorithm"), 0);
  EXPECT_TRUE(WEXAN_DESIGN::current()->get_atom_location_constraint(old_id).is_empty());
  EXPECT_EQ(n.find("l"), nullptr);
  EXPECT_NE(n.find("l2"), nullptr);
  EXPECT_EQ(count_lines("Added 1 new lcells"), 1);
  EXPECT_EQ(count_lines("Deleted 1 existing lcells"), 1);
  // The design's cookie is traced before the run and after the import.
  const std::string cookie = std::to_string(WEXAN_DESIGN::current()->get_cookie());
  EXPECT_EQ(count_lines("after resynthesize_netlist cookie: " + cookie), 1);
  int before = 0;
  for (const auto& l : host::debug::texts()) before += l.rfind("before resynthesize_netlist cookie: ", 0) == 0;
  EXPECT_EQ(before, 1);
  EXPECT_EQ(calls_of("WEXAN_ENV::indicate_that_atom_netlist_is_modified").size(), 3u);
  // The reused timing netlist lost the old LUT's edges: the next analysis
  // annotates what is left and passes over the holes.
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  int holes = 0;
  for (int e = 0; e < kem->get_edge_count(); ++e) holes += kem->get_edge(e) == nullptr;
  ASSERT_GT(holes, 0);
  resyn.set_or_reset_ic_delays(true, false);
  EXPECT_EQ(count_lines("Set 3 IC delays. 0 physical, 3 non-physical"), 1);
}

TEST_F(ResynTest, TimingInitialisationErrorsEndTheRunWithNothingChanged) {
  design();
  host::hov::set_init_errors(true);
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  EXPECT_FALSE(resyn.resynthesize_netlist());
  EXPECT_FALSE(resyn.run_timing_analysis_only());
  EXPECT_EQ(host::call_count("BELQ_ENV::BELQ_ENV"), 0);
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::prepare_for_sta_cmd") +
                host::call_count("BELQ_ENV::export_netlist"),
            0);
  // The wrapper passes the failure on.
  cfg_set_on("belq_resyn");
  EXPECT_FALSE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  host::hov::set_init_errors(false);
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("BELQ_ENV::export_netlist"), 1);
}

TEST_F(ResynTest, DumpsWriteTheGoldenNetlistBeforeAndTheRevisedAfter) {
  design();
  cfg_set_on("belq_dump");
  CMP_FACADE::current()->set_project_name("proj");
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  EXPECT_TRUE(resyn.resynthesize_netlist());
  std::vector<std::string> order;
  for (const auto& l : host::call_lines()) {
    if (l.rfind("TAWN_NETLIST_WRITER::write(", 0) == 0) {
      EXPECT_NE(l.find("\"eqcheck_vo\""), std::string::npos) << l;
      order.push_back(l.find("proj_belq_golden") != std::string::npos    ? "golden"
                      : l.find("proj_belq_revised") != std::string::npos ? "revised"
                                                                          : l);
    } else if (l.rfind("BELQ_ENV::resynthesize(", 0) == 0) {
      order.push_back("resynthesize");
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"golden", "resynthesize", "revised"}));
  EXPECT_TRUE(std::filesystem::exists("synth_dumps/before_belq.atom"));
  EXPECT_TRUE(std::filesystem::exists("synth_dumps/after_belq.atom"));
  std::filesystem::remove_all("synth_dumps");
  std::filesystem::remove_all("eqcheck_vo");
}

TEST_F(ResynTest, InterconnectDelaysComeFromTheTableOrTheEstimator) {
  design();
  VELMO_RESYN table(CMP_FACADE::current(), m_env, false);
  WEXAN_HOV_UTILITY* hov = table.create_timing(false);
  ASSERT_NE(hov, nullptr);
  table.set_or_reset_ic_delays(true, false);
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  VOK_ATOM_ITERM* lin = atom("l")->get_iterm_slot(0);
  ASSERT_NE(lin, nullptr);
  KEM_NODE* node = kem->get_kem_node_from_iterm(lin);
  ASSERT_NE(node, nullptr);
  KEM_EDGE* edge = kem->get_edge(node->begin_fanin());
  EWT_TABLE_TIMING_MODEL model;
  const int expected = model.get_ic_delay(392, 0, 247, lin->get_any_usage_as()).values[5];
  EXPECT_EQ(edge->get_delay(0), expected);
  EXPECT_EQ(edge->get_delay(3), expected);
  // Three data connections and two clock inputs (not global here).
  EXPECT_EQ(count_lines("Set 5 IC delays. 0 physical, 5 non-physical"), 1);
  auto traced = [] {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l.rfind("Using ", 0) == 0;
    return n;
  };
  EXPECT_EQ(traced(), 0);  // each delay is traced only when asked
  table.set_or_reset_ic_delays(false, false);
  EXPECT_EQ(edge->get_delay(0), 0);
  // An edge excluded from analysis is not the timing controller's: it keeps
  // its delays.
  kem->set_edge_excluded(edge->get_id(), true);
  table.set_or_reset_ic_delays(true, false);
  EXPECT_EQ(edge->get_delay(0), 0);
  EXPECT_EQ(count_lines("Set 4 IC delays. 0 physical, 4 non-physical"), 1);
  kem->set_edge_excluded(edge->get_id(), false);
  // A global input (a clock on its network) keeps its delays unless global
  // delays are to be zeroed.
  VOK_ATOM_ITERM* clk_in = atom("b")->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  KEM_EDGE* clk_edge = kem->get_edge(kem->get_kem_node_from_iterm(clk_in)->begin_fanin());
  ASSERT_EQ(clk_edge->get_kind(), KEM_EDGE_INTERCONNECT);
  const int seventy[4] = {70, 70, 70, 70};
  // Code 3 is no global connection: its delays are set and reset.
  clk_in->set_connection_code(3);
  clk_edge->set_4_delays(seventy);
  table.set_or_reset_ic_delays(false, false);
  EXPECT_EQ(clk_edge->get_delay(0), 0);
  clk_in->set_connection_code(5);
  clk_edge->set_4_delays(seventy);
  table.set_or_reset_ic_delays(true, false);
  EXPECT_EQ(clk_edge->get_delay(0), 70);
  table.set_or_reset_ic_delays(false, false);
  EXPECT_EQ(clk_edge->get_delay(3), 70);
  table.set_or_reset_ic_delays(false, true);
  EXPECT_EQ(clk_edge->get_delay(0), 0);
  EXPECT_EQ(clk_edge->get_delay(3), 0);

  // Physical mode: located ends use the estimator; an unplaced end the table.
  atom("a")->set_analytic_xy(1.4f, 1.0f);
  atom("l")->set_analytic_xy(4.0f, 2.6f);
  VELMO_RESYN physical(CMP_FACADE::current(), m_env, true);
  int phys = 0, tab = 0;
  // (60 + 40 x (3 + 2)) rising, 10% more falling, averaged.
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), 273);
  EXPECT_EQ(phys, 1);
  atom("l")->set_analytic_xy(-1.0f, 2.0f);
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), expected);
  EXPECT_EQ(tab, 1);
  // With the fan-out penalty on, a table delay grows by 5 for each load of
  // the source beyond the first.
  for (const char* name : {"x1", "x2"}) host::testing::netlist().lut(name, {atom("a")->get_oterm_slot(0)}, 0x2);
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), expected);  // off by default
  cfg_set_on("velmo_use_fanout_delay_penalty");
  velmo_resyn_forget_switches();
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), expected + 10);
  EXPECT_EQ(traced(), 0);
  // Asked for, each delay names its kind, value and ends.
  cfg_set_on("velmo_ic_delays_verbose");
  velmo_resyn_forget_switches();
  atom("l")->set_analytic_xy(4.0f, 2.6f);
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), 273);
  atom("l")->set_analytic_xy(-1.0f, 2.0f);
  physical.get_ic_delay(lin, &phys, &tab);
  EXPECT_EQ(traced(), 2);
  EXPECT_EQ(count_lines("Using physical delay 273. Src " + velmo_get_oterm_string(atom("a")->get_oterm_slot(0)) +
                        " dst " + velmo_get_iterm_string(lin) + " (1,1) -> (4,3)"),
            1);
  EXPECT_EQ(count_lines("Using non-physical delay " + std::to_string(expected) + ". Src " +
                        velmo_get_oterm_string(atom("a")->get_oterm_slot(0)) + " dst " + velmo_get_iterm_string(lin)),
            1);
}

TEST_F(ResynTest, PhysicalDelaysFollowTheBoundarySwitches) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto a = n.reg("a").clk(clk).d(n.input_port("in"));
  auto l1 = n.lut("l1", {a}, 0x2);
  auto l2 = n.lut("l2", {l1}, 0x2);
  n.reg("b").clk(clk).d(l2);
  VOK_ATOM_OTERM* l1o = n.find("l1")->get_oterm_slot(0);
  VOK_ATOM_ITERM* l2i = n.find("l2")->get_iterm_slot(0);
  VOK_ATOM_OTERM* ao = n.find("a")->get_oterm_slot(0);
  VOK_ATOM_ITERM* l1i = n.find("l1")->get_iterm_slot(0);
  VOK_ATOM_ITERM* bd = n.find("b")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VOK_ATOM_OTERM* l2o = n.find("l2")->get_oterm_slot(0);
  // With no switch on every connection may use a physical delay.
  EXPECT_TRUE(velmo_can_use_physical_delays(l1o, l2i, 0, 0, 5, 5));
  EXPECT_TRUE(velmo_can_use_physical_delays(ao, l1i, 0, 0, 0, 0));
  EXPECT_EQ(count_lines("VELMO is using physical delays. Mode = all, distance threshold = -1"), 1);
  // The switches are read once: changing them now changes nothing...
  cfg_set_on("tosk_phys_delay_hard_boundaries");
  EXPECT_TRUE(velmo_can_use_physical_delays(l1o, l2i, 0, 0, 5, 5));
  // ...until they are read again. Hard boundaries: not between two LUTs.
  velmo_resyn_forget_switches();
  EXPECT_FALSE(velmo_can_use_physical_delays(l1o, l2i, 0, 0, 5, 5));
  EXPECT_TRUE(velmo_can_use_physical_delays(ao, l1i, 0, 0, 5, 5));  // from a register
  EXPECT_TRUE(velmo_can_use_physical_delays(l2o, bd, 0, 0, 5, 5));  // into a register
  EXPECT_EQ(count_lines("VELMO is using physical delays. Mode = hard boundaries, distance threshold = -1"), 1);
  // Not into a register's data input either; its enable is fine.
  cfg_set_off("tosk_phys_delay_hard_boundaries");
  cfg_set_on("tosk_phys_delay_hard_boundaries_except_dff_dest");
  velmo_resyn_forget_switches();
  EXPECT_FALSE(velmo_can_use_physical_delays(l2o, bd, 0, 0, 5, 5));
  EXPECT_FALSE(velmo_can_use_physical_delays(l1o, l2i, 0, 0, 5, 5));
  auto e = n.reg("e").clk(n.find("clk")->get_oterm_slot(0)).d(n.input_port("in2")).ce(n.find("l2")->get_oterm_slot(0));
  EXPECT_TRUE(velmo_can_use_physical_delays(l2o, e.atom()->get_input_term_by_type(DB_INPUT_PORT_ENA, 0), 0, 0, 5, 5));
  // High fan-out: a LUT driving more than 16 loads may use it into a LUT
  // and (with the register rule) into a data input.
  cfg_set_on("tosk_phys_delay_hard_boundaries_or_high_fanout");
  velmo_resyn_forget_switches();
  EXPECT_FALSE(velmo_can_use_physical_delays(l2o, bd, 0, 0, 5, 5));
  for (int i = 0; i < 14; ++i) n.lut("f" + std::to_string(i), {n.find("l2")->get_oterm_slot(0)}, 0x2);
  EXPECT_FALSE(velmo_can_use_physical_delays(l2o, bd, 0, 0, 5, 5));  // 16 loads (b, e and 14)
  n.lut("f15", {n.find("l2")->get_oterm_slot(0)}, 0x2);
  EXPECT_TRUE(velmo_can_use_physical_delays(l2o, bd, 0, 0, 5, 5));
  EXPECT_FALSE(velmo_can_use_physical_delays(l1o, l2i, 0, 0, 5, 5));  // l1 drives one load
  EXPECT_EQ(count_lines("VELMO is using physical delays. Mode = hard boundaries or high fanout, "
                        "distance threshold = -1"),
            1);
  // The distance threshold: connections shorter than it do not use it.
  cfg_set_off("tosk_phys_delay_hard_boundaries_except_dff_dest");
  cfg_set_off("tosk_phys_delay_hard_boundaries_or_high_fanout");
  cfg_set_int_value("tosk_phys_delay_distance_threshold", 5);
  velmo_resyn_forget_switches();
  EXPECT_FALSE(velmo_can_use_physical_delays(ao, l1i, 0, 0, 2, 2));
  EXPECT_TRUE(velmo_can_use_physical_delays(ao, l1i, 4, 0, 2, 3));
  EXPECT_TRUE(velmo_can_use_physical_delays(ao, l1i, 0, 0, 9, 0));
  EXPECT_EQ(count_lines("VELMO is using physical delays. Mode = all, distance threshold = 5"), 1);
}

TEST_F(ResynTest, AShortConnectionUsesTheTableDelayInPhysicalMode) {
  design();
  cfg_set_int_value("tosk_phys_delay_distance_threshold", 4);
  VOK_ATOM_ITERM* lin = atom("l")->get_iterm_slot(0);
  atom("a")->set_analytic_xy(1.0f, 1.0f);
  atom("l")->set_analytic_xy(2.0f, 2.0f);
  VELMO_RESYN physical(CMP_FACADE::current(), m_env, true);
  int phys = 0, tab = 0;
  EWT_TABLE_TIMING_MODEL model;
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), model.get_ic_delay(392, 0, 247, lin->get_any_usage_as()).values[5]);
  EXPECT_EQ(tab, 1);
  atom("l")->set_analytic_xy(4.0f, 2.6f);  // distance 5
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &tab), 273);
  EXPECT_EQ(phys, 1);
}

TEST_F(ResynTest, ClockSkewsAreSavedResetAndRestored) {
  design();
  cfg_set_on("velmo_resyn_show_skews");
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  resyn.create_timing(false);
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  // Give register b's clock edge a skew.
  VOK_ATOM_ITERM* bclk = atom("b")->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(7), 0);
  ASSERT_NE(bclk, nullptr);
  KEM_NODE* clk_pin = kem->get_kem_node_from_iterm(bclk);
  ASSERT_NE(clk_pin, nullptr);
  KEM_EDGE* clk_edge = nullptr;
  for (int e = clk_pin->begin_fanout(); e != -1; e = kem->get_edge(e)->get_next_fanout())
    if (kem->get_edge(e)->get_dst_node()->get_type() == KEM_NODE_KEEPER) clk_edge = kem->get_edge(e);
  ASSERT_NE(clk_edge, nullptr);
  // One delay of four is enough for a skew to count as non zero.
  const int one_of_four[2][4] = {{0, 41, 0, 0}, {0, 0, 0, 31}};
  for (const int* d : one_of_four) {
    clk_edge->set_4_delays(d);
    EXPECT_EQ(resyn.get_skews()->size(), 2u);
  }
  EXPECT_EQ(count_lines("Saved skew on 2 (1 non zero) clock iterms"), 2);
  const int skew[4] = {40, 41, 30, 31};
  clk_edge->set_4_delays(skew);
  auto skews = resyn.get_skews();
  EXPECT_EQ(skews->size(), 2u);
  EXPECT_EQ(skews->at(bclk).d[1], 41);
  EXPECT_EQ(count_lines("Saved skew on 2 (1 non zero) clock iterms"), 3);
  std::ifstream file("skews.txt");
  std::string line;
  std::getline(file, line);
  EXPECT_NE(line.find("Skew ("), std::string::npos);
  // Reset, then restore.
  EXPECT_TRUE(resyn.set_or_reset_skews(skews.get(), true));
  EXPECT_EQ(clk_edge->get_delay(0), 0);
  EXPECT_TRUE(resyn.set_or_reset_skews(skews.get(), false));
  EXPECT_EQ(clk_edge->get_delay(3), 31);
  EXPECT_EQ(count_lines("Restored skew on 2 clock iterms"), 1);
  // The register's fit information carries the first saved delay.
  BELQ_FIT_INFO_MAP fit;
  resyn.get_atom_fit_info(&fit, skews.get());
  ASSERT_EQ(fit.count(atom("b")), 1u);
  EXPECT_EQ(fit.at(atom("b")).skew, 40);
  EXPECT_FALSE(fit.at(atom("b")).restricted);
  EXPECT_EQ(fit.count(atom("a")), 0u);  // zero skew, unrestricted, no location
  // A term no longer in the timing netlist makes the restore incomplete.
  (*skews)[atom("l")->get_iterm_slot(0)] = VELMO_RESYN_DELAY_STRUCT{};
  EXPECT_FALSE(resyn.set_or_reset_skews(skews.get(), false));
}

TEST_F(ResynTest, RestrictedAtomsComeFromTheRuleTableAndTheUserFile) {
  design();
  // A hierarchical name longer than any fixed buffer keeps its mark whole.
  const std::string long_name(1200, 'r');
  host::testing::netlist().reg(long_name).clk(host::testing::netlist().input_port("clk2")).d(
      host::testing::netlist().input_port("in2"));
  host::drc::deny(atom("l")->get_id(), 42, 1);
  {
    std::ofstream f("dont_touch.txt");
    f << "a\nnobody\n" << long_name << "\n" << long_name.substr(0, 1000) << "\n";
  }
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  BELQ_FIT_INFO_MAP fit;
  resyn.get_atom_fit_info(&fit, nullptr);
  EXPECT_EQ(fit.size(), 1u);  // the file is read only when asked
  cfg_set_on("velmo_read_dont_touch_atom_names");
  fit.clear();
  resyn.get_atom_fit_info(&fit, nullptr);
  EXPECT_EQ(fit.size(), 3u);
  EXPECT_TRUE(fit.at(atom("l")).restricted);
  EXPECT_TRUE(fit.at(atom("a")).restricted);
  ASSERT_EQ(fit.count(atom(long_name)), 1u);
  EXPECT_TRUE(fit.at(atom(long_name)).restricted);
  EXPECT_EQ(fit.count(atom("b")), 0u);
  EXPECT_EQ(count_lines("Found 4 don't touch names"), 1);
  EXPECT_EQ(count_lines("Found 3 restricted lcell combs. 2 from user file"), 1);
}

TEST_F(ResynTest, TheTimingCommandLosesItsQuotes) {
  // The engine builds masks of at most six inputs: the driver says so.
  VOK_LUTMASK::max_num_inputs = 4;
  cfg_set_value("belq_resyn_sta_cmd", "\"report_timing -npaths 5\"");
  VELMO_RESYN quoted(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(VOK_LUTMASK::max_num_inputs, 6);
  EXPECT_EQ(quoted.get_sta_cmd(), "report_timing -npaths 5");
  cfg_set_value("belq_resyn_sta_cmd", "\"");
  VELMO_RESYN lone(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(lone.get_sta_cmd(), "\"");
  cfg_set_value("belq_resyn_sta_cmd", "");
  cfg_set_on("belq_debug");
  VELMO_RESYN debug(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(debug.get_sta_cmd(), "foreach_in_collection c [get_clocks {*}] { report_timing -to_clock $c }");
}

// The retiming-aware analysis: on a family that has it, with the zento-aware
// timing optimisation on.
class ResynDraskTest : public ResynTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KZ).build();
    DeviceSpec spec = host::device::spec();
    spec.zento_aware_optimize_timing = true;
    host::device::configure(spec);
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  static std::vector<std::string> accessory_calls() {
    std::vector<std::string> out;
    for (const auto& l : host::call_lines())
      if (l.rfind("HOV_ACCESSORIES::", 0) == 0 || l.rfind("HOV_YUN_UTILITY::", 0) == 0) out.push_back(l);
    return out;
  }
};

TEST_F(ResynDraskTest, TheAnalysisPreparesTheRetimingUtilityAndRunsTheTimingCommand) {
  design();
  cfg_set_value("belq_resyn_sta_cmd", "report_timing -npaths 2");
  cfg_set_on("velmo_resyn_balance_slacks");
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  ASSERT_EQ(count_lines("SYN_TAG: DRASK is ON"), 1);
  WEXAN_HOV_UTILITY* hov = resyn.create_timing(false);
  host::clear_calls();
  EXPECT_TRUE(resyn.perform_timing_analysis(hov, "Before RESYN", nullptr, false));
  EXPECT_EQ(accessory_calls(),
            (std::vector<std::string>{"HOV_ACCESSORIES::setup_yun_utility()", "HOV_YUN_UTILITY::prepare()",
                                      "HOV_YUN_UTILITY::balance_slacks()", "HOV_YUN_UTILITY::finish_preparation()",
                                      "HOV_ACCESSORIES::run_drask(true, false, false)",
                                      "HOV_ACCESSORIES::prepare_for_sta_cmd()",
                                      "HOV_ACCESSORIES::prepare_sta_report(\"Before RESYN\")",
                                      "HOV_ACCESSORIES::run_sta_tcl_cmd(\"report_timing -npaths 2\")"}));
  EXPECT_EQ(count_lines("Slack balancing is on"), 1);
  ASSERT_NE(hov_get_accessories()->get_yun_utility(), nullptr);
  // Saved skews: the prepared utility is reused, only the analysis runs.
  auto skews = resyn.get_skews();
  host::clear_calls();
  EXPECT_TRUE(resyn.perform_timing_analysis(hov, "RESYN", skews.get(), false));
  EXPECT_EQ(accessory_calls().front(), "HOV_ACCESSORIES::run_drask(true, false, false)");
  EXPECT_EQ(host::call_count("HOV_YUN_UTILITY::prepare"), 0);
  // Dropping the analysis drops the utility's timing and the utility.
  host::clear_calls();
  resyn.remove_drask_timing();
  EXPECT_EQ(accessory_calls(), (std::vector<std::string>{"HOV_YUN_UTILITY::remove_timing(true, false)",
                                                          "HOV_ACCESSORIES::release_yun_utility()"}));
  EXPECT_EQ(hov_get_accessories()->get_yun_utility(), nullptr);
  resyn.remove_drask_timing();  // nothing left to drop
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::release_yun_utility"), 1);
}

// The analysis also needs the retimer itself, on both families that have it.
TEST_F(ResynDraskTest, WithoutTheRetimerTheAnalysisStaysOff) {
  design();
  for (int family : {26, 46}) {
    DeviceSpec spec = host::device::spec();
    spec.family = family;
    spec.zento_retimer_disabled = true;
    host::device::configure(spec);
    VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
    WEXAN_HOV_UTILITY* hov = resyn.create_timing(false);
    host::clear_calls();
    EXPECT_TRUE(resyn.perform_timing_analysis(hov, "RESYN", nullptr, false));
    EXPECT_EQ(host::call_count("HOV_ACCESSORIES::run_drask"), 0) << family;
    EXPECT_EQ(host::call_count("HOV_ACCESSORIES::setup_yun_utility"), 0) << family;
  }
}

TEST_F(ResynDraskTest, ARetimingUtilityThatExistedBeforeIsRecreatedAtTheEnd) {
  design();
  cfg_set_on("belq_resyn");
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::release_yun_utility"), 1);  // the run's clean-up
  EXPECT_EQ(hov_get_accessories()->get_yun_utility(), nullptr);            // none before, none after
  EXPECT_EQ(count_lines("Setting up yun utility at end of resyn"), 0);
  EXPECT_EQ(host::call_count("HOV_YUN_UTILITY::balance_slacks"), 0);  // slack balancing off by default
  hov_get_accessories()->setup_yun_utility();
  EXPECT_TRUE(VELMO_RESYN_WRAPPER::run(CMP_FACADE::current(), m_env, false));
  EXPECT_EQ(count_lines("Setting up yun utility at end of resyn"), 1);
  EXPECT_NE(hov_get_accessories()->get_yun_utility(), nullptr);
}

TEST(ResynTexts, NullTermsAndEdgesHaveTheirPlaceholders) {
  EXPECT_EQ(velmo_get_iterm_string(nullptr), "I");
  EXPECT_EQ(velmo_get_oterm_string(nullptr), "O");
  EXPECT_EQ(get_kem_edge_string(nullptr), "NIL->NIL");
}

}  // namespace

TEST_F(ResynDraskTest, SkewsAreTakenBeforeTheLastIterationAndResetWhenItsImportReusesTheTiming) {
  design();
  cfg_set_int_value("velmo_resyn_max_iterations", 2);
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  auto skew_lines = [] {
    std::vector<std::string> out;
    for (const auto& l : host::debug::texts())
      if (l.find(" skew on ") != std::string::npos) out.push_back(l.substr(0, l.find(" on ")));
    return out;
  };
  // Taken before the first iteration and again before the last; the last
  // import reuses the timing netlist, so its skews are reset first.
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(skew_lines(), (std::vector<std::string>{"Saved skew", "Saved skew", "Reset skew"}));
  // Without the reuse only the final clearing resets them.
  cfg_set_off("velmo_resyn_reuse_kem_for_import");
  EXPECT_TRUE(resyn.resynthesize_netlist());
  EXPECT_EQ(skew_lines(), (std::vector<std::string>{"Saved skew", "Saved skew", "Reset skew", "Saved skew",
                                                    "Saved skew", "Reset skew"}));
}
