// The retimer's driver: entry points, domains and rounds, refused attempts,
// and what a run leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "dux/dux.h"
#include "dev/dev_grid.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "sta/sta_uniform_hold.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "irtm_fixture.h"
#include "velmo_eco_tcl.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_mod_manager.h"

namespace {

using namespace host::testing;

// Register chains r_i -> s_i -> t_i in clock "clk" of the given period (picoseconds).
class IrtmDriverTest : public HostTest {
public:
  using EXTRA = std::function<void(NETLIST_BUILDER&, SIG clk, SIG r0)>;
  void start(int family, int registers, int period_ps, const EXTRA& extra = {}) {
    device(family).build();
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    SIG clk = n->input_port("clk");
    SIG first;
    n->clock("clk", period_ps, clk);
    for (int i = 0; i < registers; ++i) {
      auto r = n->reg("r" + std::to_string(i)).clk(clk).d(n->input_port("in" + std::to_string(i)));
      auto s = n->reg("s" + std::to_string(i)).clk(clk).d(r);
      VOK_ATOM_NODE* t = n->reg("t" + std::to_string(i)).clk(clk).d(s);
      place_at(r, 3, 3, 3 * i + 1);
      place_at(s, 3, 3, 3 * i + 2);
      place_at(t, 3, 3, 3 * i + 3);
      if (i == 0) first = r;
    }
    if (extra) extra(*n, clk, first);
    n->timing();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  static int count(const std::string& text) {
    const auto t = host::debug::texts();
    return static_cast<int>(std::count(t.begin(), t.end(), text));
  }
  static int count_prefix(const std::string& prefix) {
    int c = 0;
    for (const auto& l : host::debug::texts()) c += l.rfind(prefix, 0) == 0;
    return c;
  }
  std::unique_ptr<NETLIST_BUILDER> n;
  WEXAN_ENV* env = nullptr;
};

constexpr int FAMILY_46 = Family::KY;

// ---------------------------------------------------------------- entry points

TEST_F(IrtmDriverTest, OtherFamiliesBuildNothing) {
  start(Family::KZ, 2, 10);
  host::clear_calls();
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  for (const auto& l : host::call_lines()) EXPECT_EQ(l.find("DUX"), std::string::npos) << l;
  EXPECT_EQ(IRTM_UTIL::s_instance, nullptr);
  EXPECT_TRUE(host::bins::events().empty());
}

TEST_F(IrtmDriverTest, WithoutEnvironmentOrTimingNetlistTheEntryFailsCleanly) {
  start(FAMILY_46, 1, 10);
  WEXAN_ENV* kept = env;
  env = nullptr;
  delete kept;
  EXPECT_THROW(VELMO_ECO_TCL::test_incremental_retiming(), HOST_INTERNAL_ERROR);
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  KEM_MANAGER::get()->set_kem_netlist(std::unique_ptr<KEM_NETLIST>());
  env->set_hov_tainting_enabled(true);
  EXPECT_THROW(VELMO_ECO_TCL::test_incremental_retiming(), HOST_INTERNAL_ERROR);
  EXPECT_TRUE(env->is_hov_tainting_enabled());
  EXPECT_TRUE(host::bins::balanced());
  EXPECT_EQ(IRTM_UTIL::s_instance, nullptr);
}

// ---------------------------------------------------------------- rounds

TEST_F(IrtmDriverTest, EveryAttemptIsRefusedAndTheQueueIsConsumed) {
  start(FAMILY_46, 3, 10);
  const std::string watched = std::to_string(n->find("s1")->get_id());
  cfg_set_value("muvo_zota_debug_atom_id", watched.c_str());
  env->set_hov_tainting_enabled(true);
  ZEL_ATOM_MOD_MANAGER* amm = ZEL_UTIL::get_atom_mod_manager();
  amm->set_checking_enabled(true);
  cfg_set_value("muvo_zota_max_non_crit_iterations", "100");
  cfg_set_value("muvo_zota_crit_range", "100000");
  cfg_set_value("muvo_zota_inner_loop", "3");
  cfg_set_on("report_fmax_per_phase");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  // Asked for, the fmax of each loaded corner is reported before and after.
  EXPECT_GE(count_prefix("Incremental Retimer (Before): "), 1);
  EXPECT_EQ(count_prefix("Incremental Retimer: "), count_prefix("Incremental Retimer (Before): "));
  // Three candidates (the middle registers), all failing: each taken off
  // the queue once and refused (their clocks are ordinary nets, so none is
  // retimable).
  EXPECT_EQ(count("[0 0][0] FF Queue Size : 3"), 1);
  EXPECT_EQ(count_prefix("[0 0][0] Yun["), 3);
  // The register asked for by atom id is announced, the others not; a
  // register refused as not retimable has no reason to tell.
  EXPECT_EQ(count("Found debug ID: " + watched), 1);
  EXPECT_EQ(count_prefix("Found debug ID: "), 1);
  EXPECT_EQ(count_prefix("    Failed reason: "), 0);

  EXPECT_EQ(count_prefix("    creating "), 0);  // nothing implemented
  EXPECT_EQ(count_prefix("    Batched moves"), 0);
  EXPECT_EQ(count_prefix("[0 0][0] Critical Moves      : "), 1);
  EXPECT_EQ(count("[0 0][0] Accepted Moves      : 0 (0%)"), 1);
  // One round: three were allowed, but a round that accepts nothing ends
  // the domain. The switches back as they were, the utility gone.
  EXPECT_EQ(count_prefix("[0 0][1]"), 0);
  EXPECT_TRUE(env->is_hov_tainting_enabled());
  EXPECT_FALSE(sta_is_stale_timing_allowed());
  EXPECT_EQ(sta_incr_get_changed_flops(), nullptr);  // changed registers no longer tracked
  EXPECT_TRUE(amm->is_checking_enabled());
  EXPECT_EQ(IRTM_UTIL::s_instance, nullptr);
  EXPECT_TRUE(host::bins::balanced());
  // The modification manager's messages are held back while the domains
  // are retimed (the retimer is not verbose by default), then set back as
  // they were (held back here already).
  // Before anything, the timing of every corner is loaded.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "HOV_INCR::enable_timing_on_all_corners(ptr, true)",
                                      "ZEL_ATOM_MOD_MANAGER::notify()", "ZEL_ATOM_MOD_MANAGER::set_checking_enabled(false)",
                                      "ZEL_ATOM_MOD_MANAGER::set_suppress_messages(true)",
                                      "ZEL_ATOM_MOD_MANAGER::set_suppress_messages(true)",
                                      "ZEL_ATOM_MOD_MANAGER::set_checking_enabled(true)", "HOV_INCR::release()",
                                      "HOV_INCR::stop(false)", "WEXAN_ENV::set_hov_tainting_enabled(true)",
                                      "GEN_PROFILE_BINS::close(\"ECO Incremental Retimer\")"}));
  // Tainting that was off before the run stays off after it. Told so, a run
  // loads no corner's timing and leaves the host's stale-timing switch as
  // it found it.
  env->set_hov_tainting_enabled(false);
  cfg_set_on("muvo_zota_skip_load_all_corners");
  cfg_set_off("muvo_zota_allow_stale_sta_updates");
  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  host::clear_calls();
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_FALSE(env->is_hov_tainting_enabled());
  EXPECT_TRUE(sta_is_stale_timing_allowed());
  for (const auto& l : host::call_lines()) EXPECT_EQ(l.rfind("HOV_INCR::enable_timing_on_all_corners", 0), std::string::npos) << l;
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_FALSE(sta_is_stale_timing_allowed());
}

// x feeds g, on a global clock, and another LUT: g's move backward across x
// finds no register at that load, and the attempt says why.
TEST_F(IrtmDriverTest, ARefusedAttemptTellsItsReason) {
  start(FAMILY_46, 1, 10, [](NETLIST_BUILDER& n, SIG clk, SIG r0) {
    VOK_ATOM_NODE* x = n.lut("x", {r0}, [](const LUT_INPUTS& v) { return !v[0]; });
    auto g = n.reg("g").clk(clk).d(x);
    g.iterm(DB_INPUT_PORT_CLK)->set_connection_code(2);
    auto h = n.reg("h").clk(clk).d(g);
    VOK_ATOM_NODE* y = n.lut("y", {x}, [](const LUT_INPUTS& v) { return v[0]; });
    place_at(x, 3, 3, 6);
    place_at(g, 3, 3, 7);
    place_at(h, 3, 3, 8);
    place_at(y, 3, 3, 9);
  });
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(count("    Failed reason: no register"), 1);
}

TEST_F(IrtmDriverTest, TheUnclockedDomainIsNeverRetimed) {
  // e fails in the clock's domain and is in the unclocked one through its
  // clock enable, driven from a port.
  start(FAMILY_46, 1, 10, [](NETLIST_BUILDER& n, SIG clk, SIG r0) {
    auto e = n.reg("e").clk(clk).d(r0).ce(n.input_port("en"));
    auto f = n.reg("f").clk(clk).d(e);
    place_at(e, 3, 3, 4);
    place_at(f, 3, 3, 5);
  });
  const std::vector<HOV_INCR_WNS_DOMAIN> domains = sta_get_wns_domains();
  ASSERT_NE(std::find(domains.begin(), domains.end(), HOV_INCR_WNS_DOMAIN{}), domains.end());
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  int rounds = 0;
  for (const auto& l : host::debug::texts()) rounds += l.find(" FF Queue Size : ") != std::string::npos;
  EXPECT_EQ(rounds, 1);
  EXPECT_EQ(count_prefix("[0 0][0] FF Queue Size"), 1);
}

TEST_F(IrtmDriverTest, RegistersOfARoundGetTheFullFailureMask) {
  start(FAMILY_46, 2, 10);
  IRTM_MANAGER m(CMP_FACADE::current(), env);
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  cfg_set_value("muvo_zota_crit_iterations", "1");
  // Built per manager: the limit above is not seen by this one (100).
  m.iteration()->m_crit_iterations = 1;
  EXPECT_FALSE(m.retime_domain(&d, 0));
  ASSERT_EQ(m.live().size(), 6u);
  int refused = 0;
  for (const auto& [id, ff] : m.live()) refused += ff->m_failure_mask == 31;
  EXPECT_EQ(refused, 1);
  EXPECT_TRUE(m.yun_stack().empty());
  EXPECT_EQ(m.queue()->m_ff_list.size(), 1u);
  m.cleanup(false);
  EXPECT_TRUE(m.live().empty());
}

TEST_F(IrtmDriverTest, ADomainWithoutFailingRegistersMakesNoAttempt) {
  // Every register meets the clock: no candidate, no round.
  start(FAMILY_46, 2, 1000000);
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(count_prefix("[0 0][0] FF Queue Size"), 0);
  EXPECT_EQ(count_prefix("[0 0][0] Yun["), 0);
  EXPECT_EQ(count_prefix("[0 0][0] Critical Moves"), 0);
  // A round on its own: without a candidate it has accepted nothing, which
  // ends the domain's rounds.
  IRTM_MANAGER m(CMP_FACADE::current(), env);
  m.setup();
  m.iteration()->m_crit_iterations = 1;
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  EXPECT_FALSE(m.retime_domain(&d, 0));
  // A round reads the timing as it stands when it starts, and no change
  // recorded before it: with the clock made tight since the set-up the
  // middle registers fail and are queued, and the round's first look at the
  // changed registers finds none.
  const std::size_t from = host::debug::texts().size();
  host::timing::declare_clock("clk", 10, n->find("r0")->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED));
  EXPECT_FALSE(m.retime_domain(&d, 1));
  EXPECT_EQ(count("[0 0][1] FF Queue Size : 2"), 1);
  EXPECT_EQ(count_prefix("[0 0][1] Yun["), 1);
  const auto t = host::debug::texts();
  const auto changed = std::find_if(t.begin() + static_cast<std::ptrdiff_t>(from), t.end(),
                                    [](const std::string& l) { return l.rfind("QUEUE changed: ", 0) == 0; });
  ASSERT_NE(changed, t.end());
  EXPECT_EQ(*changed, "QUEUE changed: 0 compared: 0/2");
  m.cleanup(false);
}

TEST_F(IrtmDriverTest, ADomainWorseThanItsWorstCandidateIsSkipped) {
  // q ends a long path but has no timed output: not a candidate, yet it sets
  // the domain's WNS below that of every queued register.
  start(FAMILY_46, 2, 10, [](NETLIST_BUILDER& n, SIG clk, SIG r0) {
    SIG sig = r0;
    for (int k = 0; k < 6; ++k) {
      auto l = n.lut("l" + std::to_string(k), {sig}, 0x1);
      place_at(l, 3, 3, 7 + k);
      sig = l;
    }
    VOK_ATOM_NODE* q = n.reg("q").clk(clk).d(sig);
    place_at(q, 3, 3, 13);
  });
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(count_prefix("Skipping Retiming "), 1);
  EXPECT_EQ(count_prefix("[0 0][0] Yun["), 0);
}

TEST_F(IrtmDriverTest, DumpsAreNumberedAcrossManagers) {
  start(FAMILY_46, 1, 10);
  cfg_set_value("muvo_zota_dump", "on");
  const std::uint32_t c = IRTM_MANAGER::s_dump_counter;
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  // Construction and clean-up of each run: four files, numbered on.
  for (std::uint32_t i = c; i < c + 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "muvo_zota_yun_%03u.atom", i);
    EXPECT_TRUE(std::filesystem::exists(name)) << name;
    EXPECT_EQ(count(std::string("Dumping atom netlist to ") + name), 1);
  }
  EXPECT_EQ(IRTM_MANAGER::s_dump_counter, c + 4);
}

TEST_F(IrtmDriverTest, NoCriticalIterationsAllowedEndsEveryRound) {
  start(FAMILY_46, 2, 10);
  cfg_set_value("muvo_zota_crit_iterations", "0");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(count_prefix("[0 0][0] FF Queue Size"), 1);
  // The round ends before its first attempt, and a round without critical
  // attempts prints no end-of-round counts.
  EXPECT_EQ(count_prefix("[0 0][0] Yun["), 0);
  EXPECT_EQ(count_prefix("[0 0][0] Critical Moves"), 0);
  EXPECT_EQ(count_prefix("[0 0][0] Accepted Moves"), 0);
}

// ---------------------------------------------------------------- rounds on a routed design

// Rows r_i -> three LUTs -> q_i -> p_i, placed alike one per LAB row and
// routed, on a global clock they fail: each q_i can move back into a slot of
// its LAB's input, which betters its own row only. Once the worst row
// cannot move, a round accepts a move while the domain's WNS stays.
class IrtmEqualRowsTest : public HostTest {
public:
  static constexpr int kRows = 6;
  // `depths` gives each row's LUT count (three by default).
  void start(const std::vector<int>& depths = {}) {
    device(Family::KY).grid(11, kRows + 4).dsp_columns({}).ram_columns({}).build();
    auto n = netlist();
    const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
    auto pin_in = [&](const std::string& name, int y) { return velmo_test::left_pad_input(n, name, y); };
    auto clk = n.lut("clkbuf", {pin_in("clk", kRows + 2)}, [](const LUT_INPUTS& v) { return v[0]; });
    place_at(clk, 1, kRows + 2, 0);
    n.clock("clk", 700, clk);
    for (int i = 0; i < kRows; ++i) {
      const std::string k = std::to_string(i);
      const int y = i + 2;
      VOK_ATOM_NODE* r = n.reg("r" + k).clk(clk).d(pin_in("a" + k, y)).atom();
      place_at(r, 2, y, 1);
      SIG s = r;
      const int depth = i < static_cast<int>(depths.size()) ? depths[i] : 3;
      for (int j = 0; j < depth; ++j) {
        auto l = n.lut("l" + k + "_" + std::to_string(j), {s}, [](const LUT_INPUTS& v) { return !v[0]; });
        place_at(l, 3 + j, y, 3);
        s = l;
      }
      VOK_ATOM_NODE* q = n.reg("q" + k).clk(clk).d(s).atom();
      place_at(q, 6, y, 1);
      VOK_ATOM_NODE* p = n.reg("p" + k).clk(clk).d(q).atom();
      place_at(p, 7, y, 1);
      auto pad = n.io_out("o" + k, p);
      place_at(n.find("o" + k + "~obuf"), grid.nx() - 1, y, 3);
      place_at(pad, grid.nx() - 1, y, 1);
      regs.push_back(r);
      regs.push_back(q);
      regs.push_back(p);
    }
    // The clock reaches every register over a global network.
    for (VOK_ATOM_NODE* a : regs) a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
    std::string why;
    ASSERT_TRUE(host::router::route_design(&why)) << why;
    n.timing();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  static int lines_with(const std::string& text) {
    int c = 0;
    for (const auto& l : host::debug::texts()) c += l.find(text) != std::string::npos;
    return c;
  }
  // An iteration of `m` over domain `d` about to try the first row's q
  // register: the change tracker is emptied and q's slacks are current.
  IRTM_FF* begin_on_first_q(IRTM_MANAGER& m, HOV_INCR_WNS_DOMAIN& d) {
    m.iteration()->m_domain = &d;
    sta_incr_reset_changed_flops();
    IRTM_FF* q0 = m.create_irtm_ff(regs[1]);
    q0->update_slack(true);
    return q0;
  }
  static std::int32_t wns() {
    std::int32_t w = 0;
    for (const auto& [dom, v] : sta_get_wns_map(host::hov::current_kem_netlist())) w = std::min(w, v.wns);
    return w;
  }
  std::vector<VOK_ATOM_NODE*> regs;
  std::unique_ptr<WEXAN_ENV> env;
};

TEST_F(IrtmEqualRowsTest, ADomainStopsAfterThreeRoundsThatLeaveTheSummedSlackAlone) {
  start();
  const std::int32_t before = wns();
  ASSERT_LT(before, 0);
  // Row 0 is the worst and cannot be changed: each round refuses it, then
  // moves one other row (one non-critical attempt per round), and the
  // domain's WNS stays row 0's.
  regs[1]->set_modifiable(false);
  cfg_set_value("muvo_zota_inner_loop", "5");
  cfg_set_value("muvo_zota_crit_iterations", "2");
  cfg_set_value("muvo_zota_max_non_crit_iterations", "1");
  cfg_set_value("muvo_zota_crit_range", "0");
  cfg_set_on("velmo_irtm_dump_kem_memory");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(wns(), before);
  EXPECT_EQ(lines_with("Dumping KEM memory before Retime:"), 1);
  EXPECT_EQ(lines_with("Dumping KEM memory after Retime:"), 1);
  // Round 0 against no previous sum, rounds 1-3 unchanged: four rounds,
  // each with its move, though rows and rounds were left.
  EXPECT_EQ(lines_with(" FF Queue Size : "), 4);
  EXPECT_EQ(lines_with(" Critical Moves      : 1"), 4);
  EXPECT_EQ(lines_with(" Non Critical Moves  : 1"), 4);
  EXPECT_EQ(lines_with(" Accepted Moves      : 1 (50%)"), 4);
  EXPECT_EQ(lines_with("[0 0][3] Accepted Moves      : 1"), 1);
}

TEST_F(IrtmEqualRowsTest, ARoundThatChangesTheSummedSlackStartsTheUnchangedCountAgain) {
  // Three failing rows, each moved once per round (one attempt a round):
  // the sum each round starts from is -530, -500, -320, -320, -290, -290,
  // -230. No two unchanged rounds follow one another, so with a limit of
  // two the domain runs to its round limit, seven; a count kept across the
  // changes would stop it after round 5.
  start({4, 4, 4, 2, 2, 2});
  cfg_set_value("muvo_zota_inner_loop", "7");
  cfg_set_value("muvo_zota_max_try", "2");
  cfg_set_value("muvo_zota_crit_iterations", "1");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(lines_with(" FF Queue Size : "), 7);
  EXPECT_EQ(lines_with(" Accepted Moves      : 1 (100%)"), 7);
  EXPECT_EQ(lines_with("[0 0][3] WNS Cost      : -320"), 1);
  EXPECT_EQ(lines_with("[0 0][5] WNS Cost      : -290"), 1);
  EXPECT_EQ(lines_with("[0 0][6] Accepted Moves      : 1 (100%)"), 1);
  EXPECT_EQ(lines_with("[0 0][7]"), 0);
  // Each round's gain: from its worst register's slack to the domain's WNS
  // the next round starts from.
  EXPECT_EQ(lines_with("[0 0][0] Domain Wns Improved : 30"), 1);
  EXPECT_EQ(lines_with("[0 0][2] Domain Wns Improved : 0"), 1);
  EXPECT_EQ(lines_with("[0 0][5] Domain Wns Improved : 60"), 1);
}

// (The round-start listing ends early; were it to go on, the end-of-round
// lines would still not print: no attempt has been counted yet.)
// What the driver's round loop does not show: its result only reaches the
// clean-up, which ignores it; a round limit of 0 ends a domain after one
// round as 1 does (the count is checked after the round); and the first
// round always resets the unchanged count (no summed slack equals "none").
TEST_F(IrtmEqualRowsTest, ByDefaultADomainHasOneRoundAndTheMessagesStayOn) {
  // The rows as above: the first round accepts a move, and one round is all
  // the default allows. Verbose, the modification manager keeps talking.
  start({3, 3, 3, 2, 2, 2});
  cfg_set_value("muvo_zota_crit_iterations", "1");
  cfg_set_on("muvo_zota_siv_verbose");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  EXPECT_EQ(lines_with(" FF Queue Size : "), 1);
  EXPECT_EQ(lines_with("[0 0][0] Accepted Moves      : 1 (100%)"), 1);
  // The move is judged against the cost the round started from.
  const std::string cost_line = "[0 0][0] WNS Cost      : ";
  std::string start_cost;
  for (const auto& l : host::debug::texts())
    if (l.rfind(cost_line, 0) == 0) start_cost = l.substr(cost_line.size());
  ASSERT_FALSE(start_cost.empty());
  EXPECT_EQ(lines_with("    cost IMPROVED (" + start_cost + "/"), 1);
  // Nothing asked for: no fmax report, no atom netlist dump.
  EXPECT_EQ(lines_with("Incremental Retimer"), 0);
  EXPECT_EQ(lines_with("Dumping atom netlist to "), 0);
  // The round's changes are not left recorded for whoever tracks changed
  // registers next.
  sta_incr_track_changed_flops(true, true);
  ASSERT_NE(sta_incr_get_changed_flops(), nullptr);
  EXPECT_TRUE(sta_incr_get_changed_flops()->empty());
  sta_incr_track_changed_flops(false, false);
  const auto calls = host::call_lines();
  auto from = std::find(calls.begin(), calls.end(), "ZEL_ATOM_MOD_MANAGER::set_checking_enabled(false)");
  ASSERT_NE(from, calls.end());
  EXPECT_EQ(std::count_if(from, calls.end(),
                          [](const std::string& l) { return l.rfind("ZEL_ATOM_MOD_MANAGER::set_suppress_messages", 0) == 0; }),
            0);
}

TEST_F(IrtmEqualRowsTest, ARefusedMoveMarksItsDirectionOnTheRegister) {
  start();
  regs[1]->set_modifiable(false);
  // q1's LAB holds a dont-touch register: q1's move backward is found,
  // then refused.
  VOK_ATOM_NODE* dt = NETLIST_BUILDER(netlist()).reg("dt").atom();
  place_at(dt, 6, 3, 4);
  host::drc::deny(dt->get_id(), 41, std::uint64_t{1} << 37);
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  IRTM_ITERATION* it = m.iteration();
  it->m_crit_iterations = 2;
  it->m_max_non_crit_iterations = 1;
  it->m_crit_range = 0;
  // A failure recorded earlier stays recorded with the new one.
  IRTM_FF* q1 = m.create_irtm_ff(regs[4]);
  ASSERT_TRUE(q1);
  q1->m_failure_mask = 1u << IRTM_MOVE::Forward;
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  EXPECT_FALSE(m.retime_domain(&d, 0));
  EXPECT_EQ(lines_with("contains TIMING_DONT_TOUCH"), 1);
  ASSERT_EQ(m.find_irtm_ff(regs[4]), q1);
  EXPECT_EQ(q1->m_failure_mask, (1u << IRTM_MOVE::Forward) | (1u << IRTM_MOVE::Backward));
  m.cleanup(false);
}

TEST_F(IrtmEqualRowsTest, ACriticalMoveRefusedByCostQueuesARegisterItDegraded) {
  start();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  // A base cost no move can reach, and a threshold every slack is under:
  // the move is refused and the setup repair queues the worst register
  // the move changed around.
  const std::int32_t cost = IRTM_UTIL::s_instance->get_wns_cost();
  it->m_critical = true;
  it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {cost, q0->min_slack()};
  it->m_move_cost = {cost + 1000, 1000000};
  // Slacks gone stale since the register was queued are read again before
  // the attempt chooses its direction.
  q0->m_data_slack = q0->m_output_slack = 0;
  std::vector<IRTM_OBJ*> objects{q0};
  EXPECT_TRUE(m.retime_kth_iteration(0, &objects));
  EXPECT_EQ(lines_with("    cost DEGRADED ("), 1);
  EXPECT_EQ(objects.size(), 2u);
  EXPECT_EQ(lines_with("    Added setup degrading ff to queue=2"), 1);
  m.undo_all_retiming(0);
  m.dux()->clear_checkpoint_data();
  m.cleanup(false);
}

TEST_F(IrtmEqualRowsTest, AMoveUndoneAfterItsImplementationLeavesTheQueueAlone) {
  start();
  // Every node fails hold and no hold repair is allowed: each move is
  // carried out, then refused and undone. The changes it left behind must
  // not put its register back at the head of the queue.
  host::sta::set_uniform_hold_slack(-10);
  cfg_set_value("muvo_zota_hold_iterations", "0");
  cfg_set_value("muvo_zota_crit_iterations", "3");
  cfg_set_value("muvo_zota_max_non_crit_iterations", "1");
  cfg_set_value("muvo_zota_crit_range", "0");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_GE(lines_with("    UNDO retiming moves: 1"), 2);
  EXPECT_EQ(lines_with(" Accepted Moves      : 0 (0%)"), 1);
  // The slot registers of the moves taken back are let go once, when the
  // round ends.
  EXPECT_EQ(lines_with("Deleted ZOTA ATOMS "), 1);
  EXPECT_EQ(lines_with("Deleted ZOTA ATOMS 2"), 1);
  std::map<std::string, int> tried;
  for (const auto& l : host::debug::texts())
    if (l.find(" Yun[") != std::string::npos) ++tried[l.substr(l.rfind(' ') + 1)];
  ASSERT_GE(tried.size(), 2u);
  for (const auto& [path, times] : tried) EXPECT_EQ(times, 1) << path;
}

TEST_F(IrtmEqualRowsTest, ARegisterBackAtZeroSlackEndsTheRound) {
  start();
  // The second row's slack, which the clock is relaxed by while the first
  // move is carried out: that move is then refused (hold fails everywhere,
  // no repair allowed), and the queue's head comes back at exactly 0.
  const std::int32_t second = [&] {
    IRTM_MANAGER m(CMP_FACADE::current(), env.get());
    m.setup();
    IRTM_FF* q1 = m.create_irtm_ff(regs[4]);
    q1->update_slack(true);
    const std::int32_t v = q1->min_slack();
    m.cleanup(false);
    return v;
  }();
  ASSERT_LT(second, 0);
  host::sta::set_uniform_hold_slack(-10);
  cfg_set_value("muvo_zota_hold_iterations", "0");
  cfg_set_value("muvo_zota_crit_iterations", "3");
  cfg_set_value("muvo_zota_max_non_crit_iterations", "3");
  cfg_set_value("muvo_zota_crit_range", "100000");
  const VOK_ATOM_OTERM* clk = regs[0]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  bool relaxed = false;
  DUX::set_implement_observer([&] {
    if (relaxed) return;
    relaxed = true;
    host::timing::declare_clock("clk", 700 - second, clk);
  });
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_retiming(), 1);
  DUX::set_implement_observer({});
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_TRUE(relaxed);
  // Only the first row was tried: a head that no longer fails ends the round.
  EXPECT_EQ(lines_with(" Yun["), 1);
  EXPECT_EQ(lines_with(" Yun[1] "), 0);
}

TEST_F(IrtmEqualRowsTest, AMoveLeftOverAfterItsHoldRepairIsUndone) {
  start();
  const std::int32_t before = wns();
  // Hold fails everywhere until the repair's wire LUT is carried out.
  const std::size_t atoms = netlist().get_netlist()->get_atom_list().size();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), q0->min_slack()};
  host::sta::set_uniform_hold_slack(-10);
  int implements = 0;
  DUX::set_implement_observer([&] {
    if (++implements == 2) host::sta::set_uniform_hold_slack(std::nullopt);
  });
  std::vector<IRTM_OBJ*> objects{q0};
  const bool r = m.retime_iteration(&objects);
  DUX::set_implement_observer({});
  host::sta::set_uniform_hold_slack(std::nullopt);
  // The wire LUT made the setup cost worse and went; with it gone the hold
  // check passes, which leaves the first move on the stack unfinished: it
  // is taken back too.
  EXPECT_FALSE(r);
  EXPECT_EQ(implements, 2);
  EXPECT_EQ(lines_with("    hold fix PASSED"), 1);
  EXPECT_EQ(lines_with("Retiming move has not been accepted"), 1);
  EXPECT_TRUE(m.yun_stack().empty());
  EXPECT_EQ(netlist().get_netlist()->get_atom_list().size(), atoms);
  EXPECT_FALSE(m.find_irtm_ff(regs[1])->is_bypassed());
  EXPECT_EQ(wns(), before);
  m.cleanup(false);
}

// As above, but the wire LUT repairing hold is carried out while the clock
// is relaxed: it costs nothing, every pending repair is then done, and the
// move that needed it is committed with it.
TEST_F(IrtmEqualRowsTest, AMoveWhoseHoldRepairsAllSucceedIsKept) {
  start();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), q0->min_slack()};
  const VOK_ATOM_OTERM* clk = regs[0]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  host::sta::set_uniform_hold_slack(-10);
  int implements = 0;
  DUX::set_implement_observer([&] {
    if (++implements != 2) return;
    host::sta::set_uniform_hold_slack(std::nullopt);
    host::timing::declare_clock("clk", 5000, clk);
  });
  std::vector<IRTM_OBJ*> objects{q0};
  const bool r = m.retime_iteration(&objects);
  DUX::set_implement_observer({});
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_TRUE(r);
  EXPECT_EQ(implements, 2);
  EXPECT_EQ(lines_with("    hold fix PASSED"), 1);
  EXPECT_TRUE(m.yun_stack().empty());
  EXPECT_TRUE(it->m_pending_hold.empty());
  EXPECT_TRUE(m.find_irtm_ff(regs[1])->is_bypassed());
  m.cleanup(false);
}

// A hold repair whose implementation fails is taken back to where it began
// and the next repair is tried: the wire LUT's pin records that its kind of
// repair failed there, so the repair after it is not that wire LUT again.
TEST_F(IrtmEqualRowsTest, AHoldRepairThatCannotBeImplementedIsUndoneAndTheNextTried) {
  start();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), q0->min_slack()};
  host::sta::set_uniform_hold_slack(-10);
  // The move implements; its first hold repair, a wire LUT, does not.
  host::script::queue<int>("DUX::implement").push(-1);
  host::script::queue<int>("DUX::implement").push(4);
  std::size_t wire_luts = 0;
  DUX::set_implement_observer([&] {
    for (const VOK_ATOM_NODE* a : netlist().get_netlist()->get_atom_list())
      wire_luts += a->get_string_hpath().find("~irtm") != std::string::npos;
  });
  std::vector<IRTM_OBJ*> objects{q0};
  m.retime_iteration(&objects);
  DUX::set_implement_observer({});
  host::sta::set_uniform_hold_slack(std::nullopt);
  EXPECT_EQ(lines_with("DUX implement result: No-route"), 1);
  EXPECT_EQ(wire_luts, 1u);
  EXPECT_GE(objects.size(), 3u);
  if (objects.size() >= 3) {
    EXPECT_EQ(objects[1]->m_type, IRTM_OBJ::IPIN);
    EXPECT_EQ(objects[1]->m_move_type, IRTM_MOVE::Wirelut);
    EXPECT_EQ(objects[1]->m_failure_mask & (1u << IRTM_MOVE::Wirelut), 1u << IRTM_MOVE::Wirelut);
    EXPECT_NE(objects[2], objects[1]);
    EXPECT_TRUE(objects[2]->m_hold);
  }
  EXPECT_GE(lines_with("    hold_slack DEGRADED: "), 2);
  for (const VOK_ATOM_NODE* a : netlist().get_netlist()->get_atom_list())
    EXPECT_EQ(a->get_string_hpath().find("~irtm"), std::string::npos) << a->get_string_hpath();
  m.cleanup(false);
}

// An attempt whose implementation fails is taken back where it failed: no
// move is left over for the end of the attempt.
TEST_F(IrtmEqualRowsTest, AMoveWhoseImplementationFailsIsTakenBackAtOnce) {
  start();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), q0->min_slack()};
  host::script::queue<int>("DUX::implement").push(4);
  std::vector<IRTM_OBJ*> objects{q0};
  EXPECT_FALSE(m.retime_iteration(&objects));
  EXPECT_EQ(lines_with("DUX implement result: No-route"), 1);
  EXPECT_EQ(lines_with("Retiming move has not been accepted"), 0);
  // By default the slot register keeps the power-up value of the one it
  // replaced.
  EXPECT_EQ(lines_with("Setting powerup : 0 -- q0~"), 1);
  EXPECT_TRUE(m.yun_stack().empty());
  EXPECT_FALSE(q0->is_bypassed());
  m.cleanup(false);
}

// The host may hand over a new timing netlist between construction and the
// set-up (loading the corners applies pending changes): the retimer goes on
// with the one the host holds then, and the changes of a move it accepts
// reach the queue through it.
TEST_F(IrtmEqualRowsTest, ATimingNetlistReplacedBeforeTheSetUpIsTheOneUsed) {
  start();
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  KEM_MANAGER* kem = KEM_MANAGER::get();
  const KEM_NETLIST* before = kem->get_kem_netlist();
  kem->set_kem_netlist(KEM_NETLIST::restore(*before->keep(), host::vok::top_netlist()));
  KEM_NETLIST* now = kem->get_kem_netlist();
  ASSERT_NE(now, before);
  m.setup();
  EXPECT_EQ(IRTM_UTIL::s_instance->get_kem_netlist(), now);
  m.iteration()->m_crit_iterations = 2;
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  EXPECT_TRUE(m.retime_domain(&d, 0));
  // The first move changed the moved register and those feeding it.
  EXPECT_EQ(lines_with("QUEUE changed: 4 compared: "), 1);
  m.cleanup(false);
}

// A run stopped by an internal error while a move is carried out still
// gives back every switch it took over.
TEST_F(IrtmEqualRowsTest, ARunStoppedByAnInternalErrorGivesTheSwitchesBack) {
  start();
  env->set_hov_tainting_enabled(true);
  ZEL_ATOM_MOD_MANAGER* amm = ZEL_UTIL::get_atom_mod_manager();
  amm->set_checking_enabled(true);
  bool stopped = false;
  DUX::set_implement_observer([&] {
    stopped = true;
    MSG_INTERNAL_ERROR::report("stop", "TEST", "irtm_driver_test", __LINE__);
  });
  EXPECT_THROW(VELMO_ECO_TCL::test_incremental_retiming(), HOST_INTERNAL_ERROR);
  DUX::set_implement_observer({});
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(amm->is_checking_enabled());
  EXPECT_TRUE(env->is_hov_tainting_enabled());
  EXPECT_FALSE(sta_is_stale_timing_allowed());
  EXPECT_EQ(IRTM_UTIL::s_instance, nullptr);
  EXPECT_TRUE(host::bins::balanced());
}

TEST_F(IrtmEqualRowsTest, TheSlackMarginEndsARoundOnceItReachesTheCriticalRange) {
  start();
  regs[1]->set_modifiable(false);
  // The margin a round reaches: the second row's slack above the worst.
  auto margin = [&] {
    IRTM_MANAGER m(CMP_FACADE::current(), env.get());
    m.setup();
    IRTM_FF* q0 = m.create_irtm_ff(regs[1]);
    IRTM_FF* q1 = m.create_irtm_ff(regs[4]);
    q0->update_slack(true);
    q1->update_slack(true);
    const std::int32_t d = q1->min_slack() - q0->min_slack();
    m.cleanup(false);
    return d;
  }();
  ASSERT_GT(margin, 0);
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  for (const int extra : {0, 1}) {
    SCOPED_TRACE(extra);
    const std::size_t from = host::debug::texts().size();
    IRTM_MANAGER m(CMP_FACADE::current(), env.get());
    m.setup();
    IRTM_ITERATION* it = m.iteration();
    it->m_crit_iterations = 2;
    it->m_max_non_crit_iterations = 1;
    it->m_crit_range = margin + extra;
    // While the first move is carried out, a row not yet tried is left
    // marked as a hold repair's (as a refused repair leaves it): taken from
    // the queue, it is an ordinary candidate again.
    bool marked = false;
    if (extra == 1)
      DUX::set_implement_observer([&] {
        if (marked) return;
        marked = true;
        std::set<std::string> tried;
        for (const auto& l : host::debug::texts())
          if (l.find(" Yun[") != std::string::npos) tried.insert(l.substr(l.rfind(' ') + 1));
        for (int row = 1; row < kRows; ++row)
          if (!tried.count(regs[3 * row + 1]->get_string_hpath())) {
            IRTM_FF* ff = m.find_irtm_ff(regs[3 * row + 1]);
            if (!ff) continue;
            ff->m_move_type = IRTM_MOVE::Forward;
            ff->m_hold = 1;
            break;
          }
      });
    EXPECT_TRUE(m.retime_domain(&d, 0));
    DUX::set_implement_observer({});
    EXPECT_EQ(marked, extra == 1);
    const auto all = host::debug::texts();
    const std::vector<std::string> t(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    auto with = [&](const std::string& text) {
      return static_cast<int>(std::count_if(t.begin(), t.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    };
    if (extra == 0) {
      // The margin reaches the range at the first non-critical attempt, which
      // is the one allowed: the round ends after it.
      EXPECT_EQ(with(" Yun["), 2);
      EXPECT_EQ(with(" Non Critical Moves  : 1"), 1);
      EXPECT_EQ(with(" Accepted Moves      : 1 (50%)"), 1);
    } else {
      // One short of the range: the round goes on through every other row
      // (each accepted), until a register beyond the range has been tried.
      EXPECT_EQ(with(" Critical Moves      : 1"), 1);
      EXPECT_EQ(with(" Non Critical Moves  : 5"), 1);
      EXPECT_EQ(with(" Accepted Moves      : 5 (83%)"), 1);
      EXPECT_EQ(with("(HOLD)"), 0);
      // Each accepted move's changes reach the queue once: the rows are
      // alike, so every feed after one counts the same registers, the
      // registers the move changed and those feeding them (four).
      std::set<std::string> feeds;
      for (std::size_t i = 1; i < t.size(); ++i)
        if (t[i].rfind("QUEUE changed: ", 0) == 0 && t[i - 1].find("Update[") != std::string::npos) feeds.insert(t[i]);
      ASSERT_EQ(feeds.size(), 1u);
      EXPECT_EQ(*feeds.begin(), "QUEUE changed: 4 compared: 4/5");
      EXPECT_EQ(with("QUEUE changed: 0 compared: 0/"), 2);
    }
    m.cleanup(false);
  }
  {
    // A round starts afresh, whatever an earlier round left: no margin, no
    // attempt or accepted move counted, its worst register's slack as the
    // worst. With no non-critical attempt allowed and a range of 1 the worst
    // register is still tried (a critical attempt), then the next, whose
    // margin reaches the range.
    const std::size_t from = host::debug::texts().size();
    IRTM_MANAGER m(CMP_FACADE::current(), env.get());
    m.setup();
    IRTM_ITERATION* it = m.iteration();
    it->m_crit_iterations = 2;
    it->m_max_non_crit_iterations = 0;
    it->m_crit_range = 1;
    it->m_slack_margin = 1000000;
    it->m_ff_wns = it->m_current_worst_slack = 0;
    it->m_critical_iterations = 1;
    it->m_non_critical_iterations = 4;
    it->m_accepted_moves = 3;
    it->m_object_counter = 9;
    EXPECT_TRUE(m.retime_domain(&d, 0));
    const auto all = host::debug::texts();
    auto with = [&](const std::string& text) {
      return std::count_if(all.begin() + static_cast<std::ptrdiff_t>(from), all.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_EQ(with(" Yun["), 2);
    EXPECT_EQ(with(" Yun[0] "), 1);
    EXPECT_EQ(with(" Critical Moves      : 1"), 1);
    EXPECT_EQ(with(" Non Critical Moves  : 1"), 1);
    EXPECT_EQ(with(" Accepted Moves      : 1 (50%)"), 1);
    m.cleanup(false);
  }
  // The margin is the largest the round has reached: an attempt on a more
  // critical register (here the worst, refused) leaves it where it was.
  IRTM_MANAGER m(CMP_FACADE::current(), env.get());
  m.setup();
  IRTM_FF* q0 = begin_on_first_q(m, d);
  IRTM_ITERATION* it = m.iteration();
  it->m_ff_wns = it->m_current_worst_slack = q0->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), q0->min_slack()};
  it->m_slack_margin = margin;
  // What an attempt leaves is cleared before the next one. (Its move stack is
  // emptied too, but every attempt already ends with it empty; and a queued
  // register, like the round's first, always has a slack.)
  const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(regs[1]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  it->m_hold_moves = 3;
  it->m_setup_candidates = {{port, 1}};
  it->m_pending_hold = {port};
  it->m_scratch.type = IRTM_MOVE::Forward;
  it->m_scratch.m_slots = {7};
  std::vector<IRTM_OBJ*> objects{q0};
  EXPECT_FALSE(m.retime_iteration(&objects));
  EXPECT_TRUE(it->m_critical);
  EXPECT_EQ(it->m_slack_margin, margin);
  EXPECT_EQ(it->m_hold_moves, 0u);
  EXPECT_TRUE(it->m_setup_candidates.empty());
  EXPECT_TRUE(it->m_pending_hold.empty());
  EXPECT_EQ(lines_with("hold fix FAILED"), 0);
  EXPECT_EQ(it->m_scratch.type, IRTM_MOVE::None);
  EXPECT_TRUE(it->m_scratch.m_slots.empty());
  // One register an attempt: two are an internal error.
  std::vector<IRTM_OBJ*> two{q0, q0};
  EXPECT_EQ(host::testing::expect_internal_error([&] { m.retime_iteration(&two); }).condition, "obj_vec->size() == 1");
  m.cleanup(false);
}

}  // namespace
