// The hold-driven re-route pass: which terms it selects (the most upstream
// failing data input of a pipeline-register chain, never an invalid chain,
// never a register's other inputs), the budgets it hands the legality
// engine per hop, its counts and result, and that the re-routed connections
// pass hold afterwards.
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "korrin/korrin_router.h"
#include "kem/kem_manager.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_vpr_facade.h"
#include "velmo_router.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class SparRerouteTest : public HostTest {
protected:
  // a (register) -> p (pipeline register in a slot of b's LAB, which is
  // all it can drive) -> b (register), a far from p; a LUT l fed by b
  // feeds c. Slow corner only: the pass reads one
  // analysed corner's slacks.
  // With `free_leaf`, p also feeds e, a register of an unconstrained clock
  // in b's LAB, whose input has no hold slack.
  // With `enable`, l also drives c's clock enable and asynchronous clear
  // (four inputs on c). With `memory`, l also feeds m, a LUT-RAM, on an
  // input of the register data input's type.
  void build(bool free_leaf = false, bool enable = false, bool memory = false) {
    device(Family::KY).corners({Corner::slow()}).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    clk = n->io_in("clk");
    n->clock("clk", 4000, clk);
    a = n->reg("a").clk(clk).d(n->io_in("in")).placed(site_gid(2, 2, 1), 643);
    p = n->zota_reg("p").clk(clk).d(a);
    b = n->reg("b").clk(clk).d(p).placed(site_gid(5, 4, 1), 643);
    l = n->lut("l", {b}, 0x2).placed(site_gid(3, 7, 0), 644);
    auto cb = n->reg("c").clk(clk).d(l).placed(site_gid(3, 7, 1), 643);
    if (enable) cb.ce(l).aclr(l);
    c = cb;
    n->io_out("out", c);
    if (memory) m = n->lutram("m").clk(clk).input(DB_INPUT_PORT_DATA_IN, 0, l);
    if (free_leaf) {
      e = n->reg("e").clk(n->io_in("clk2")).d(p).placed(site_gid(5, 4, 3), 643);
      n->io_out("eout", e);
    }
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    place_in_slot(p, 5, 4, 60);
    ASSERT_TRUE(f.route()) << host::facade::last_route_failure();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    request();
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  void request() { env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false); }
  static VOK_ATOM_ITERM* d_of(VOK_ATOM_NODE* atom) { return atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0); }
  static const KEM_EDGE* ic_edge(const VOK_ATOM_ITERM* t) {
    return KEM_MANAGER::get()->get_kem_netlist()->get_ic_edge_to_iterm(t);
  }
  static int hold(const VOK_ATOM_ITERM* t) { return host::sta::edge_hold_slack(ic_edge(t)->get_id(), 0); }
  // Delays the atom's clock until its data input fails hold by `deficit`.
  void make_fail(VOK_ATOM_NODE* atom, int deficit) {
    const KEM_EDGE* clock = nullptr;
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    const KEM_NODE* pin = timing_input(atom, DB_INPUT_PORT_CLK);
    for (int e = pin->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
      if (kem->get_edge(e)->get_kind() == 0) clock = kem->get_edge(e);
    int delay = kem->get_edge_delay_ps(*clock, 0) + hold(d_of(atom)) + deficit;
    for (int step = 0; step < 4; ++step) {
      host::hov::utility()->annotate_delays_of_connection(atom, DB_INPUT_PORT_CLK, 0, delay, delay);
      request();
      if (hold(d_of(atom)) == -deficit) return;
      delay += hold(d_of(atom)) + deficit;
    }
    FAIL() << "could not make " << atom->get_string_hpath() << " fail hold by " << deficit << " ps";
  }
  // The hold slack of an input as the pass's own analysis sees it (the
  // worst over the loaded corners).
  static int pass_view(const VOK_ATOM_ITERM* t) {
    HOV_ACCESSORIES* acc = hov_get_accessories();
    acc->run_drask_analysis(1, acc->get_drask_options(), true);
    return acc->get_edge_slack_data()[acc->get_kem_netlist()->get_ic_edge_to_iterm(t)->get_id()].second;
  }
  // Moves the atom's clock until the pass sees `slack` at its data input.
  void to_pass_slack(VOK_ATOM_NODE* atom, int slack) {
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    const KEM_NODE* pin = timing_input(atom, DB_INPUT_PORT_CLK);
    const KEM_EDGE* clock = nullptr;
    for (int e = pin->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
      if (kem->get_edge(e)->get_kind() == 0) clock = kem->get_edge(e);
    int delay = kem->get_edge_delay_ps(*clock, 0);
    for (int step = 0; step < 6 && pass_view(d_of(atom)) != slack; ++step) {
      delay += pass_view(d_of(atom)) - slack;
      host::hov::utility()->annotate_delays_of_connection(atom, DB_INPUT_PORT_CLK, 0, delay, delay);
      request();
    }
  }
  static int count_calls(const std::string& prefix) {
    const auto lines = host::call_lines();
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
  SIG clk;
  VOK_ATOM_NODE *a = nullptr, *p = nullptr, *b = nullptr, *l = nullptr, *c = nullptr, *e = nullptr, *m = nullptr;
};

// With p's clock delayed p's input fails hold, the rest passes.
TEST_F(SparRerouteTest, OneChainReRoutedFromThePipelineInputDumpsOnlyWithTheFlagAndTheImplementStatusIsTheResult) {
  build();
  // p's clock comes over the global network and its PMUX; a later clock
  // makes p's input fail hold.
  make_fail(p, 40);
  ASSERT_LT(hold(d_of(p)), 0);
  ASSERT_GE(hold(d_of(b)), 0);
  // The legality engine's view of p's input: the chain down to b's input,
  // one budget per hop, each the present delay.
  const JUK::FOREST<int, VOK_ATOM_ITERM*> forest = DUX_UTIL::get_iterm_forest_for_reroute(d_of(p));
  ASSERT_EQ(forest.payload(forest.first_root()), d_of(p));
  ASSERT_EQ(forest.payload(forest.first_child(forest.first_root())), d_of(b));
  ZMP::DENSE_HASH<VOK_ATOM_ITERM*, std::vector<KORRIN::DELAY_BUDGET>> budgets;
  {
    DUX dux(DUX_STATE_1, false, env);
    ASSERT_TRUE(dux.get_current_delays_for_iterm_forest(forest, budgets));
  }
  ASSERT_EQ(budgets.size(), 1u);
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_EQ(budgets.at(d_of(b)).size(), 2u);
  EXPECT_EQ(budgets.at(d_of(b))[0].first, kem->get_edge_delay_ps(*ic_edge(d_of(p)), -1));
  EXPECT_EQ(budgets.at(d_of(b))[1].first, kem->get_edge_delay_ps(*ic_edge(d_of(b)), -1));

  // b is selected (p is a pipeline register), its chain re-routed from p's
  // input; one connection, fed by a pipeline register.
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 1 connections for hold (1 w/ ZOTAs)"));
  EXPECT_EQ(count_calls("DUX::reroute("), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(p)).text + ")"), 1);
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::write_kem_netlist"), 0);
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::run_drask_analysis(1, true, false, false, false, true)"), 1);
  EXPECT_EQ(count_calls("DUX::DUX(1, false, "), 1);
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::close_edge_slack_data"), 1);
  const std::string prefix = CMP_FACADE::current()->get_project_name();
  EXPECT_FALSE(std::filesystem::exists(prefix + ".spar_pre_atom_netlist.txt"));
  // A failing implement step is the result, not an error.
  host::script::queue<int>("DUX::implement").push(4);
  EXPECT_FALSE(VELMO_SPAR(false).run());
  // With the dump flag both files are written.
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(true).run());
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::write_kem_netlist(\"" + prefix + ".spar_pre_kem_netlist\", true, true)"), 1);
  EXPECT_EQ(count_calls("ZEL_ATOM_DUMPER::dump_current_atom_netlist(\"" + prefix + ".spar_pre_atom_netlist.txt\", true)"), 1);
  EXPECT_TRUE(std::filesystem::exists(prefix + ".spar_pre_atom_netlist.txt"));
  std::filesystem::remove(prefix + ".spar_pre_atom_netlist.txt");
  std::filesystem::remove(prefix + ".spar_pre_kem_netlist");

  // p's input at exactly 0 ps, as the pass's own analysis sees it (the
  // worst over the loaded corners), passes: b's failing input is re-routed
  // from itself, not from p's input.
  make_fail(b, 40);
  to_pass_slack(p, 0);
  ASSERT_EQ(pass_view(d_of(p)), 0);
  ASSERT_LT(pass_view(d_of(b)), 0);
  host::clear_calls();
  VELMO_SPAR(false).run();
  EXPECT_EQ(count_calls("DUX::reroute("), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(b)).text + ")"), 1);
  // b's input at exactly 0 ps as well: nothing fails, nothing is re-routed.
  to_pass_slack(b, 0);
  ASSERT_EQ(pass_view(d_of(p)), 0);
  ASSERT_EQ(pass_view(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(count_calls("DUX::reroute("), 0);
}

// A hop's maximum is capped at 1000 ps: the re-route of a 600 ps deficit
// never takes a connection longer than that, though a longer detour would
// meet hold; a minimum of exactly 1000 ps is met by a detour of exactly
// that.
TEST_F(SparRerouteTest, AReRoutedHopStaysWithinItsMaximum) {
  build();
  make_fail(c, 600);
  const auto delay = [&] { return KEM_MANAGER::get()->get_kem_netlist()->get_edge_delay_ps(*ic_edge(d_of(c)), -1); };
  ASSERT_LT(delay(), 1000);
  VELMO_SPAR(false).run();
  request();
  EXPECT_LE(delay(), 1000);

  const int before = delay();
  to_pass_slack(c, before - 1000);
  ASSERT_EQ(pass_view(d_of(c)), before - 1000);
  VELMO_SPAR(false).run();
  request();
  EXPECT_EQ(delay(), 1000);
}

TEST_F(SparRerouteTest, AnInvalidSlackOnTheChainExcludesItAndFailingCombinationalPathsPassAfterwards) {
  build();
  // p's input invalid: b's chain is left alone.
  KEM_MANAGER::get()->get_kem_netlist()->set_edge_excluded(ic_edge(d_of(p))->get_id(), true);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 0 connections for hold (0 w/ ZOTAs)"));
  EXPECT_EQ(count_calls("DUX::reroute"), 0);
  KEM_MANAGER::get()->get_kem_netlist()->set_edge_excluded(ic_edge(d_of(p))->get_id(), false);
  sta_full_update_timing(true);
  // c fails: its data input and the LUT input before it (both on the
  // failing path) are chosen, never c's clock.
  make_fail(c, 50);
  VOK_ATOM_ITERM* l_in = l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  ASSERT_LT(hold(l_in), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 2 connections for hold (0 w/ ZOTAs)"));
  EXPECT_EQ(count_calls("DUX::reroute("), 2);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(c)).text + ")"), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(l_in).text + ")"), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(c->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)).text), 0);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(c->get_input_term_by_type(DB_INPUT_PORT_ENA, 0)).text), 0);
  // The re-routed path passes hold at the analysed corner.
  request();
  EXPECT_GE(hold(d_of(c)), 0);
  std::string why;
  EXPECT_TRUE(host::routing::check(&why)) << why;

  // An invalid slack at the chain's end leaves the chain alone though p's
  // input fails: no walk starts at the pipeline register itself.
  make_fail(p, 40);
  ASSERT_LT(hold(d_of(p)), 0);
  KEM_MANAGER::get()->get_kem_netlist()->set_edge_excluded(ic_edge(d_of(b))->get_id(), true);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(p)).text + ")"), 0);
}

// A register's failing clock enable and its clear are never chosen, nor a
// failing input of an atom that is neither a register nor a combinational
// cell; the register's failing data input is.
TEST_F(SparRerouteTest, ARegistersOtherInputsAreNeverChosen) {
  build(false, true, true);
  make_fail(c, 50);
  VOK_ATOM_ITERM* ena = c->get_input_term_by_type(DB_INPUT_PORT_ENA, 0);
  ASSERT_LT(hold(ena), 0);
  make_fail(m, 50);
  ASSERT_LT(hold(d_of(m)), 0);
  host::clear_calls();
  VELMO_SPAR(false).run();
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(c)).text + ")"), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(ena).text + ")"), 0);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(c->get_input_term_by_type(DB_INPUT_PORT_ACLR, 0)).text + ")"), 0);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(m)).text + ")"), 0);
}

// A leaf of the chain without a hold slack keeps its budgets but counts as
// handled: two connections through p, one re-route from p's input. A LUT
// added after the timing netlist was built has no edge into its inputs, so
// no slack there, and an empty input slot: it is passed over.
TEST_F(SparRerouteTest, AChainLeafWithoutHoldSlackIsHandledWithItsBudgetsKept) {
  build(true);
  make_fail(p, 40);
  ASSERT_LT(hold(d_of(p)), 0);
  EXPECT_EQ(hov_get_accessories()->get_edge_slack_data()[ic_edge(d_of(e))->get_id()].second, 2147483647);
  VOK_ATOM_NODE* late = n->lut("late", {b, e}, 0x6);
  n->io_out("lout", late);
  ASSERT_EQ(ic_edge(late->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 1)), nullptr);
  // Its first input removed again: an empty slot.
  late->remove_input_term(late->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  ASSERT_EQ(late->get_iterm_slot(0), nullptr);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 2 connections for hold (2 w/ ZOTAs)"));
  EXPECT_EQ(count_calls("DUX::reroute("), 1);
  EXPECT_EQ(count_calls("DUX::reroute(" + host::vok::arg(d_of(p)).text + ")"), 1);
}

}  // namespace
