// Resynthesis rules seen from outside: where a coordinate counts as a place,
// which timing command runs after each analysis, and that the final analysis
// keeps the delays of global connections.
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "dev/dev_spec.h"
#include "ewt/ewt_table_timing_model.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_resyn.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

class ResynRulesTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(family()).build();
    if (family() == host::testing::Family::KZ) {
      // The retiming-aware analysis needs the zento-aware optimisation.
      DeviceSpec spec = host::device::spec();
      spec.zento_aware_optimize_timing = true;
      host::device::configure(spec);
    }
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    velmo_resyn_forget_switches();
  }
  void TearDown() override {
    velmo_resyn_forget_switches();
    delete m_env;
    HostTest::TearDown();
  }
  virtual int family() const { return host::testing::Family::KY; }
  // in -> a -> l -> b, all clocked by clk.
  void design() {
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto a = n.reg("a").clk(clk).d(n.input_port("in"));
    auto l = n.lut("l", {a}, 0x2);
    n.reg("b").clk(clk).d(l);
  }
  VOK_ATOM_NODE* atom(const std::string& name) { return host::testing::netlist().find(name); }
  bool placed() { return VELMO_RESYN_WRAPPER::is_netlist_placed(m_env->get_atom_netlist()); }
  WEXAN_ENV* m_env = nullptr;
};

class ResynRulesDraskTest : public ResynRulesTest {
protected:
  int family() const override { return host::testing::Family::KZ; }
};

}  // namespace

TEST_F(ResynRulesTest, TheFirstColumnAndRowArePlaces) {
  design();
  EXPECT_FALSE(placed());
  atom("l")->set_analytic_xy(0.0f, 3.0f);
  EXPECT_TRUE(placed());
  atom("l")->set_analytic_xy(3.0f, 0.0f);
  EXPECT_TRUE(placed());
  atom("l")->set_analytic_xy(-1.0f, 0.0f);
  EXPECT_FALSE(placed());
  atom("l")->set_analytic_xy(0.0f, -1.0f);
  EXPECT_FALSE(placed());

  // Physical delays: ends in column 0 or row 0 are located, so the estimator
  // gives the delay, (60 + 40 x 5) rising, 10 % more falling, averaged.
  VOK_ATOM_ITERM* lin = atom("l")->get_iterm_slot(0);
  VELMO_RESYN physical(CMP_FACADE::current(), m_env, true);
  int phys = 0, table = 0;
  atom("a")->set_analytic_xy(0.0f, 2.0f);
  atom("l")->set_analytic_xy(3.0f, 0.0f);
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &table), 273);
  atom("a")->set_analytic_xy(3.0f, 0.0f);
  atom("l")->set_analytic_xy(0.0f, 2.0f);
  EXPECT_EQ(physical.get_ic_delay(lin, &phys, &table), 273);
  EXPECT_EQ(phys, 2);
  EXPECT_EQ(table, 0);
}

TEST_F(ResynRulesTest, ATimingCommandRunsOnlyWhenGivenOrDebugging) {
  design();
  // Neither given nor debugging: no command, and an analysis runs none.
  VELMO_RESYN plain(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(plain.get_sta_cmd(), "");
  WEXAN_HOV_UTILITY* hov = plain.create_timing(false);
  ASSERT_NE(hov, nullptr);
  host::clear_calls();
  EXPECT_TRUE(plain.perform_timing_analysis(hov, "Before RESYN", nullptr, false));
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::run_sta_tcl_cmd"), 0);
  plain.remove_timing();
  // Debugging without the every-clock report: the plain report.
  cfg_set_on("belq_debug");
  cfg_set_off("velmo_belq_report_all_clocks");
  VELMO_RESYN debug(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(debug.get_sta_cmd(), "report_timing");
  // A given command is kept, debugging or not.
  cfg_set_value("belq_resyn_sta_cmd", "report_timing -npaths 3");
  VELMO_RESYN given(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(given.get_sta_cmd(), "report_timing -npaths 3");
  cfg_set_off("belq_debug");
  VELMO_RESYN given_plain(CMP_FACADE::current(), m_env, false);
  EXPECT_EQ(given_plain.get_sta_cmd(), "report_timing -npaths 3");
}

TEST_F(ResynRulesDraskTest, TheFinalAnalysisKeepsTheDelaysOfGlobalConnections) {
  design();
  // Register b's clock arrives on a global network.
  VOK_ATOM_ITERM* clk_in = atom("b")->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  clk_in->set_connection_code(5);
  // Debugging: the run ends with a final analysis. Neither analysis before
  // the engine's export nor any later one zeroes global delays: each timing
  // netlist is built afresh, with the delays the host gives it.
  cfg_set_on("belq_debug");
  cfg_set_off("velmo_resyn_reuse_kem_for_export");
  cfg_set_off("velmo_resyn_reuse_kem_for_import");
  VELMO_RESYN resyn(CMP_FACADE::current(), m_env, false);
  ASSERT_TRUE(resyn.resynthesize_netlist());
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_NE(kem, nullptr);
  KEM_EDGE* clk_edge = kem->get_ic_edge_to_iterm(clk_in);
  ASSERT_NE(clk_edge, nullptr);
  const int host_delay = kem->get_edge_delay_ps(*clk_edge, kem->get_corner_manager()->get_current_corner_id());
  EXPECT_NE(host_delay, 0);
  EXPECT_EQ(clk_edge->get_delay(0), host_delay);
  EXPECT_EQ(clk_edge->get_delay(3), host_delay);
}
