// The hold-driven re-route pass over a chain of two pipeline registers: a
// failing data input two registers up the chain makes the chain's end fail,
// and the re-route starts there; the chain ends at the ordinary register
// feeding it.
#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
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

class SparChainTest : public HostTest {
protected:
  // s -> a (registers) -> p1 -> p2 -> b: two pipeline registers, p1 on a
  // register site of its own, p2 in a slot of b's LAB; p1 also feeds x,
  // listed after p2 among p1's fanouts or before it, or not at all.
  enum class X { AFTER, BEFORE, NONE };
  void build(X branch = X::AFTER) {
    device(Family::KY).corners({Corner::slow()}).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    SIG clk = n->io_in("clk");
    n->clock("clk", 4000, clk);
    VOK_ATOM_NODE* s = n->reg("s").clk(clk).d(n->io_in("in"));
    a = n->reg("a").clk(clk).d(s).placed(site_gid(2, 2, 1), 643);
    p1 = n->zota_reg("p1").clk(clk).d(a).placed(site_gid(4, 4, 1), 643);
    if (branch == X::BEFORE) x = n->reg("x").clk(clk).d(p1);
    p2 = n->zota_reg("p2").clk(clk).d(p1);
    b = n->reg("b").clk(clk).d(p2).placed(site_gid(5, 4, 1), 643);
    if (branch == X::AFTER) x = n->reg("x").clk(clk).d(p1);
    n->io_out("out", b);
    if (x) n->io_out("xout", x);
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    place_in_slot(p2, 5, 4, 60);
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
  static int hold(const VOK_ATOM_ITERM* t) {
    return host::sta::edge_hold_slack(KEM_MANAGER::get()->get_kem_netlist()->get_ic_edge_to_iterm(t)->get_id(), 0);
  }
  // Delays the atom's clock until its data input fails hold, by a deficit
  // a detour can make up: each step adds the slack left and 40 ps (the
  // device's clock network has no skew to give the registers one).
  void make_fail(VOK_ATOM_NODE* atom) {
    int delay = 200;
    for (int s; delay < 20000 && (s = hold(d_of(atom))) >= 0;) {
      delay += s + 40;
      host::hov::utility()->annotate_delays_of_connection(atom, DB_INPUT_PORT_CLK, 0, delay, delay);
      request();
    }
  }
  static int reroutes(const VOK_ATOM_ITERM* t) {
    const std::string call = "DUX::reroute(" + host::vok::arg(t).text + ")";
    const auto lines = host::call_lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), call));
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
  VOK_ATOM_NODE *a = nullptr, *p1 = nullptr, *p2 = nullptr, *b = nullptr, *x = nullptr;
};

// Either order of p1's two branches, the deep one (p2, then b) first or
// the leaf x first: the walk over the leaves reaches both, and each leaf's
// budget is its own.
class SparChainOrderTest : public SparChainTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SparChainOrderTest, AFailureTwoRegistersUpTheChainIsReRoutedFromThere) {
  build(GetParam() ? X::BEFORE : X::AFTER);
  make_fail(p1);
  ASSERT_LT(hold(d_of(p1)), 0);
  ASSERT_GE(hold(d_of(p2)), 0);
  ASSERT_GE(hold(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  // b and x, both fed through p1, are handled by the one re-route.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 2 connections for hold (2 w/ ZOTAs)"));
  EXPECT_EQ(reroutes(d_of(p1)), 1);
  EXPECT_EQ(reroutes(d_of(p2)) + reroutes(d_of(b)) + reroutes(d_of(x)), 0);
  request();
  EXPECT_GE(hold(d_of(p1)), 0);
}

// x's input failing as well: its own hop gets its own violation, and the
// one re-route from p1's input leaves both passing.
TEST_P(SparChainOrderTest, AFailingLeafIsFixedWithTheChainInFrontOfIt) {
  build(GetParam() ? X::BEFORE : X::AFTER);
  make_fail(p1);
  make_fail(x);
  ASSERT_LT(hold(d_of(p1)), 0);
  ASSERT_LT(hold(d_of(x)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(reroutes(d_of(p1)), 1);
  request();
  EXPECT_GE(hold(d_of(p1)), 0);
  EXPECT_GE(hold(d_of(x)), 0);
}

INSTANTIATE_TEST_SUITE_P(XBeforeP2, SparChainOrderTest, ::testing::Bool());

// The walk up the chain stops at a, an ordinary register: a's failing input
// neither makes b fail nor moves b's re-route up to it, and is re-routed
// from itself alone.
TEST_F(SparChainTest, TheChainEndsAtTheOrdinaryRegisterFeedingIt) {
  build();
  make_fail(a);
  ASSERT_LT(hold(d_of(a)), 0);
  ASSERT_NE(hold(d_of(a)), VELMO_SPAR::INVALID_SLACK);
  ASSERT_GE(hold(d_of(p1)), 0);
  ASSERT_GE(hold(d_of(p2)), 0);
  ASSERT_GE(hold(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(reroutes(d_of(a)), 1);
  EXPECT_EQ(reroutes(d_of(p1)) + reroutes(d_of(p2)) + reroutes(d_of(b)), 0);

  // p1's input failing as well: b's chain is re-routed from p1's input, a's
  // input once on its own.
  make_fail(a);
  make_fail(p1);
  ASSERT_LT(hold(d_of(a)), 0);
  ASSERT_LT(hold(d_of(p1)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(reroutes(d_of(a)), 1);
  EXPECT_EQ(reroutes(d_of(p1)), 1);
  EXPECT_EQ(reroutes(d_of(p2)) + reroutes(d_of(b)), 0);

  // A pipeline register without a data input ends the chain as well: with
  // p2's removed, b's own failure is re-routed from b, p1's only for x.
  make_fail(p1);
  make_fail(b);
  VOK_ATOM_ITERM* p1_in = d_of(p1);
  p2->remove_input_term(d_of(p2));
  env->indicate_that_atom_netlist_is_modified(p2->get_id(), false, false);
  request();
  ASSERT_LT(hold(p1_in), 0);
  ASSERT_LT(hold(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(reroutes(d_of(b)), 1);
  EXPECT_EQ(reroutes(p1_in), 1);
}

// Without x, b's input is the only connection the chain reaches: a failure
// two registers up is found only through the whole chain. With p2's input
// failing as well, the re-route still starts at the most upstream failing
// input, p1's.
TEST_F(SparChainTest, TheOnlyConnectionThroughTheChainFindsTheMostUpstreamFailure) {
  build(X::NONE);
  make_fail(p1);
  ASSERT_LT(hold(d_of(p1)), 0);
  ASSERT_GE(hold(d_of(p2)), 0);
  ASSERT_GE(hold(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Re-routing 1 connections for hold (1 w/ ZOTAs)"));
  EXPECT_EQ(reroutes(d_of(p1)), 1);
  EXPECT_EQ(reroutes(d_of(p2)) + reroutes(d_of(b)), 0);
  // The hop into p1 took p1's own violation as its budget.
  request();
  EXPECT_GE(hold(d_of(p1)), 0);

  make_fail(p1);
  make_fail(p2);
  ASSERT_LT(hold(d_of(p1)), 0);
  ASSERT_LT(hold(d_of(p2)), 0);
  ASSERT_GE(hold(d_of(b)), 0);
  host::clear_calls();
  EXPECT_TRUE(VELMO_SPAR(false).run());
  EXPECT_EQ(reroutes(d_of(p1)), 1);
  EXPECT_EQ(reroutes(d_of(p2)) + reroutes(d_of(b)), 0);
}

}  // namespace
