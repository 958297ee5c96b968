// The early retiming flow: its gates, the clock-enable/clear disconnection
// with the removal of the LUTs it leaves dangling, the engine run with the
// verification stage, the timing-utility rebuild and the candidate list.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "sta/sta_analysis.h"
#include "omz/omz_option.h"
#include "siv/siv_atom_mod_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "thr/thr_drl.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_early_retime.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"

namespace {

class EarlyRetimingTest : public host::testing::HostTest {
protected:
  void start(bool early = true, bool yun = true) {
    host::testing::device(host::testing::Family::KY).build();
    DeviceSpec spec = host::device::spec();
    spec.early_retiming = early;
    host::device::configure(spec);
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    if (yun) host::wexan::set_yun_env(&m_yun_env);
  }
  void TearDown() override {
    delete m_env;
    EXPECT_EQ(host::counters::get("yun_utility"), 0);
    EXPECT_EQ(host::counters::get("BELQ_ENV"), 0);
    EXPECT_EQ(host::siv::live_utilities(), 0);
    HostTest::TearDown();
  }
  bool flow(bool run, bool hack, bool dup, bool* rebuilt = nullptr) {
    const YUN_UTILITY::ITERM_SET a, b;
    bool r = false;
    const bool out = VELMO_RETIMER::run_early_retiming_flow(m_env, a, b, r, run, hack, dup);
    if (rebuilt) *rebuilt = r;
    return out;
  }
  static int count_lines(const std::string& text) {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l == text;
    return n;
  }
  WEXAN_ENV* m_env = nullptr;
  HOST_YUN_ENV m_yun_env;
};

TEST_F(EarlyRetimingTest, EverythingOffOrNoTimingSkipsTheFlow) {
  start(false);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).ce(n.input_port("en")).atom();
  n.reg("data").clk(clk).d(r);
  auto cleared = n.reg("cleared").clk(clk).d(n.input_port("in2")).aclr(r).atom();
  const auto clear_driver = [&] {
    return cleared->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  };
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(count_lines("Skip early retimer (it's off)"), 1);
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_TRUE(r->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->is_connected());
  EXPECT_EQ(clear_driver(), r);
  // Pre-duplication alone runs: the clear load moves to a copy, and no
  // enable is cut.
  EXPECT_TRUE(flow(false, false, true));
  EXPECT_NE(clear_driver(), r);
  EXPECT_TRUE(r->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->is_connected());
  host::hov::set_on(false);
  EXPECT_TRUE(flow(true, true, true));
  EXPECT_EQ(count_lines("Skip early retimer (HOV is off)"), 1);
  EXPECT_TRUE(r->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->is_connected());
}

TEST_F(EarlyRetimingTest, RecompileAndPartialReconfigurationSkipTheRetimerOnly) {
  // The partial-reconfiguration switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_skip_early_yun_pr");
  start();
  host::testing::netlist().reg("r").d(host::testing::netlist().input_port("in"));
  host::swavo::set_user_flow(true);
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(count_lines("Skipping Early Retime since we are in SR mode."), 1);
  EXPECT_EQ(count_lines("Skip early retimer (it's off)"), 1);
  host::swavo::set_user_flow(false);
  // The switch alone skips nothing while no partition is reconfigurable.
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(count_lines("Skipping Early Retime since we are in PR mode."), 0);
  const int runs = host::call_count("YUN_UTILITY::retime_sets");
  EXPECT_EQ(runs, 1);
  host::jov::set_partial_reconfiguration("|", true);
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(count_lines("Skipping Early Retime since we are in PR mode."), 1);
  EXPECT_EQ(host::call_count("YUN_UTILITY::retime_sets"), runs);
  // A recompile runs the retimer when the switch allows it.
  host::jov::set_partial_reconfiguration("|", false);
  host::swavo::set_user_flow(true);
  cfg_set_on("velmo_retimer_allow_early_retimer_with_swavo_recompile");
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(count_lines("Skipping Early Retime since we are in SR mode."), 1);
  EXPECT_EQ(host::call_count("YUN_UTILITY::retime_sets"), runs + 1);
  host::swavo::set_user_flow(false);
}

// (The internal error for a modification utility the environment cannot
// make is not reached: the environment always makes one.)
TEST_F(EarlyRetimingTest, EnablesAndClearsAreCutAndDanglingLutsGobbledPassByPass) {
  cfg_set_on("fit_hack_ce_aclr_gobble");
  start(false);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // A chain of LUTs feeding only a clock enable; the first feeds both
  // inputs of the second.
  auto l1 = n.lut("l1", {n.input_port("a")}, 0x2);
  auto l2 = n.lut("l2", {l1, l1}, 0x8);
  auto l3 = n.lut("l3", {l2}, 0x2);
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).ce(l3).aclr(n.input_port("rst")).atom();
  // A refused LUT stays.
  auto kept = n.lut("kept", {n.input_port("b")}, 0x2);
  n.reg("s").clk(clk).d(n.input_port("in2")).ce(kept);
  host::drc::deny(kept.id(), 39, 1);
  // A LUT that feeds a data input besides the enable keeps that fan-out and
  // stays.
  auto both = n.lut("both", {n.input_port("c")}, 0x2);
  n.reg("t").clk(clk).d(n.input_port("in3")).ce(both);
  VOK_ATOM_NODE* u = n.reg("u").clk(clk).d(both).atom();
  VOK_ATOM_NODE* mac = n.mac("mac").mode(2).data(DB_INPUT_PORT_ACLR, {n.input_port("mrst")}, false, 1);
  // A register inside a black box is cut as well.
  VOK_ATOM_NODE* inner = nullptr;
  n.blackbox("u_sub", [&](host::testing::NETLIST_BUILDER& c) {
    inner = c.reg("inner").clk(c.input("k")).d(c.input("d")).ce(c.input("e")).atom();
    c.output("o", inner);
  }).in("k", clk).in("d", n.input_port("in4")).in("e", n.input_port("en4"));
  // The design has a timing netlist when the flow starts: the gobbled LUTs
  // must leave no node behind for the next rebuild to walk into.
  const std::vector<int> gobbled{l1.id(), l2.id(), l3.id()};
  KEM_NETLIST* kem = host::hov::apply_pending_taints(nullptr);
  host::sta::analyze(kem);
  ASSERT_NE(kem->get_cell_from_atom_id(l3.id()), nullptr);
  EXPECT_TRUE(flow(false, true, false));
  for (int id : gobbled) EXPECT_EQ(kem->get_cell_from_atom_id(id), nullptr) << id;
  // The timing netlist brought up to date (the flow ends with a global
  // taint) has none of them either.
  m_env->incremental_taint_rebuild();
  const KEM_NETLIST* now = host::hov::current_kem_netlist();
  ASSERT_NE(now, nullptr);
  for (int id = 0; id < now->get_node_count(); ++id) {
    if (const KEM_NODE* node = now->get_node(id)) {
      EXPECT_EQ(std::count(gobbled.begin(), gobbled.end(), node->get_atom_id()), 0) << id;
    }
  }
  EXPECT_FALSE(r->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->is_connected());
  EXPECT_FALSE(r->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)->is_connected());
  EXPECT_FALSE(inner->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)->is_connected());
  EXPECT_EQ(n.find("l3"), nullptr);
  EXPECT_EQ(n.find("l2"), nullptr);
  EXPECT_EQ(n.find("l1"), nullptr);
  EXPECT_NE(n.find("kept"), nullptr);
  ASSERT_NE(n.find("both"), nullptr);
  const VOK_ATOM_OTERM* u_src = u->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  ASSERT_NE(u_src, nullptr);
  EXPECT_EQ(u_src->get_my_node(), n.find("both"));
  EXPECT_EQ(host::call_count("SIV_ATOM_MOD_UTILITY::remove_node"), 3);
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("SIV_ATOM_MOD_UTILITY::remove_node(atom#" + std::to_string(gobbled[2]) + ", false)"));
  EXPECT_EQ(count_lines("Deleting 2 luts left dangling by ce/alcr removal"), 1);  // l3 and kept
  EXPECT_EQ(count_lines("Deleting 1 luts left dangling by ce/alcr removal"), 2);  // l2, then l1
  EXPECT_EQ(count_lines("Info: Removed 4 CE iterms and 1 ACLR iterms"), 1);
  // Each cut register's change is noted alone, without a timing update.
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(r->get_id()) + ", false, false)"));
  // Other atoms keep their clears.
  EXPECT_TRUE(mac->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)->is_connected());
}

// Gobbling is off unless asked for: the LUT an enable cut leaves dangling
// stays. Here the cut input terms are deleted as well.
TEST_F(EarlyRetimingTest, WithoutGobblingALutLeftDanglingStays) {
  // The iterm-deletion switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("fit_hack_ce_aclr_delete_iterms");
  start(false);
  auto n = host::testing::netlist();
  auto l = n.lut("l", {n.input_port("a")}, 0x2);
  auto r = n.reg("r").clk(n.input_port("clk")).d(n.input_port("in")).ce(l).atom();
  EXPECT_TRUE(flow(false, true, false));
  EXPECT_EQ(r->get_input_term_by_type(DB_INPUT_PORT_ENA, 0), nullptr);
  EXPECT_NE(n.find("l"), nullptr);
  EXPECT_EQ(host::call_count("SIV_ATOM_MOD_UTILITY::remove_node"), 0);
}

TEST_F(EarlyRetimingTest, TheEngineRunsInsideTheVerificationStageWithGoldenAndRevisedNetlists) {
  // The verification switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_early_retime_eqcheck_legacy");
  start();
  host::testing::netlist().reg("r").d(host::testing::netlist().input_port("in"));
  host::options::set(627, 1, "on");
  host::script::queue<bool>("YUN_UTILITY::retime").push(false);
  bool rebuilt = true;
  EXPECT_FALSE(flow(true, false, false, &rebuilt));
  EXPECT_FALSE(rebuilt);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "BELQ_ENV::report_stats(\"BEFORE_EARLY_RETIMING\"",
                                      "yun_utility_factory",
                                      "WEXAN_DESIGN::clear_early_retime_atoms",
                                      "TAWN_NETLIST_WRITER::write",
                                      "FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::initialize",
                                      "YUN_UTILITY::retime_sets(0, 0)",
                                      "TAWN_NETLIST_WRITER::write",
                                      "FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::finalize(false)",
                                      "BELQ_ENV::report_stats(\"AFTER_EARLY_RETIMING\"",
                                      "FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::release",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)"}));
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::update_atom_info_for_early_retime"), 0);
}

TEST_F(EarlyRetimingTest, ASuccessfulRunTakesTheChangedAtomsAndRebuildsTimingWhenAsked) {
  cfg_set_off("early_retiming_skip_hov_rebuild");
  start();
  host::testing::netlist().reg("r").d(host::testing::netlist().input_port("in"));
  host::hov::set_keld_utility(true);
  // The verification flow set but off opens no verification stage.
  host::options::set(627, 1, "off");
  bool rebuilt = false;
  EXPECT_TRUE(flow(true, false, false, &rebuilt));
  EXPECT_TRUE(rebuilt);
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::update_atom_info_for_early_retime"), 1);
  // The design is told the atoms were retimed (the flag set).
  for (const std::string& line : host::call_lines())
    if (line.rfind("WEXAN_DESIGN::update_atom_info_for_early_retime(", 0) == 0) {
      EXPECT_THAT(line, ::testing::EndsWith(", true)"));
    }
  EXPECT_EQ(host::call_count("FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::initialize"), 0);
  // No fit-report table unless asked for.
  EXPECT_EQ(host::call_count("WEXAN_PIZ_TABLE::push_reason"), 0);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "HOV_KELD_UTILITY::delete_nodes_and_assignments",
                                      "WEXAN_ENV::delete_hov_utility_completely",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2"}));
}

// Asked for, the fit-report table takes the engine's changes under its
// reason for the whole run, and the reason is popped on the way out (here
// without a timing rebuild).
TEST_F(EarlyRetimingTest, TheFitReportTableSpansTheEngineRun) {
  // The fit-report switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_early_retime_update_fit_report");
  start();
  host::testing::netlist().reg("r").d(host::testing::netlist().input_port("in"));
  EXPECT_TRUE(flow(true, false, false));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_PIZ_TABLE::push_reason(\"Early Retiming\", 17)",
                                      "WEXAN_ENV::create_atom_mod_utility_for_algorithm(7, ptr)",
                                      "YUN_UTILITY::retime_sets(0, 0)",
                                      "WEXAN_PIZ_TABLE::pop_reason(\"Early Retiming\")"}));
}

// The dumps (read once per process) come before and after the engine's
// delays and run, and force the timing rebuild the default would skip.
TEST_F(EarlyRetimingTest, NetlistDumpsBracketTheRunAndForceTheTimingRebuild) {
  // The dump switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_dump_early_retiming_netlists");
  start();
  host::testing::netlist().reg("r").d(host::testing::netlist().input_port("in"));
  bool rebuilt = false;
  EXPECT_TRUE(flow(true, true, false, &rebuilt));
  EXPECT_TRUE(rebuilt);
  std::vector<std::string> dumps;
  for (const std::string& line : host::call_lines())
    if (line.rfind("KEM_NETLIST::dump_to_file(", 0) == 0 || line.rfind("YUN_UTILITY::retime", 0) == 0)
      dumps.push_back(line.substr(0, line.find(',')));
  EXPECT_EQ(dumps, (std::vector<std::string>{"KEM_NETLIST::dump_to_file(\"early_yun_pre_retime\"",
                                             "KEM_NETLIST::dump_to_file(\"early_yun_post_delays\"",
                                             "YUN_UTILITY::retime_sets(0", "KEM_NETLIST::dump_to_file(\"early_yun_post_retime\""}));
  EXPECT_EQ(host::call_count("WEXAN_ENV::delete_hov_utility_completely"), 1);
  // The engine works on the timing utility the flow asked for with the
  // engine's model set.
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains(::testing::StartsWith(
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false")));
}

TEST_F(EarlyRetimingTest, EnabledRulesForceTheTimingUpdateWhenTheFlowDidNotRebuild) {
  start(false);
  host::script::queue<bool>("rw_drc_contains_enabled_rules").push(false).push(true);
  // The rules option set but off asks for nothing.
  host::options::set(189, 1, "off");
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(host::call_count("rw_drc_contains_enabled_rules"), 0);
  // On, but no rule enabled: nothing to update.
  host::options::set(189, 1, "on");
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(host::call_count("rw_drc_contains_enabled_rules"), 1);
  EXPECT_EQ(host::call_count("WEXAN_ENV::delete_hov_utility_completely"), 0);
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_THAT(host::call_lines(), ::testing::Contains("rw_drc_contains_enabled_rules(\"planned\", \"torvika_fit\")"));
  EXPECT_EQ(count_lines("Rulewarden is enabled, force KEM netlist update"), 1);
  EXPECT_EQ(host::call_count("WEXAN_ENV::delete_hov_utility_completely"), 1);
}

TEST_F(EarlyRetimingTest, ATimingUtilityRebuiltByTheFlowIsNotRebuiltAgainForRules) {
  cfg_set_off("early_retiming_skip_hov_rebuild");
  start();
  host::options::set(189, 1, "on");
  host::script::always<bool>("rw_drc_contains_enabled_rules", true);
  EXPECT_TRUE(VELMO_RETIMER::run_prefit_early_retiming_flow(m_env));
  EXPECT_EQ(host::call_count("WEXAN_ENV::delete_hov_utility_completely"), 1);
  EXPECT_EQ(host::call_count("rw_drc_contains_enabled_rules"), 0);
}

TEST_F(EarlyRetimingTest, TheCandidateListComesFromTheEngine) {
  start();
  auto n = host::testing::netlist();
  auto z = n.zota_reg("z").d(n.input_port("in")).atom();
  n.reg("plain").d(z);
  std::vector<VOK_ATOM_NODE*> out;
  EXPECT_TRUE(VELMO_RETIMER::collect_candidate_list(CMP_FACADE::current(), m_env, out));
  EXPECT_EQ(out, std::vector<VOK_ATOM_NODE*>{z});
  host::wexan::set_yun_env(nullptr);
  out.clear();
  EXPECT_TRUE(VELMO_RETIMER::collect_candidate_list(CMP_FACADE::current(), m_env, out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(host::call_count("YUN_UTILITY::collect_candidates"), 1);
}

}  // namespace
