// The move search's legality guards in both directions: what a bypassed
// register met by the search must be for the move to go on, and when a
// move's bypassed registers may keep a clock enable.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "testing/scenes.h"
#include "irtm_search_scene.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;
using IDS = std::vector<std::uint32_t>;

class IrtmSearchGuardsTest : public IRTM_SEARCH_SCENE {};

// Forward into a bypassed register at the only load: the register must be
// one the moved register could become, on the same clock (t_other is not,
// t_same is).
TEST_F(IrtmSearchGuardsTest, AForwardMoveEndsOnlyInABypassedRegisterOfItsOwnClock) {
  SIG clk2 = n->input_port("clk2");
  n->clock("clk2", 1000, clk2);
  auto f_other = reg("f_other", n->input_port("in"), 2, 2, 1);
  auto t_other = reg("t_other", f_other, 3, 3, 1, clk2);
  scenes::set_bypassed(t_other);
  reg("t_other_load", t_other, 3, 3, 2, clk2);
  auto f_same = reg("f_same", n->input_port("in2"), 2, 2, 2);
  auto t_same = reg("t_same", f_same, 3, 4, 1);
  scenes::set_bypassed(t_same);
  reg("t_same_load", t_same, 3, 4, 2);
  start();
  EXPECT_FALSE(mgr->forward_retime_soln(ff(f_other), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_SLOT);
  EXPECT_EQ(move.failure.get_iterm(), d_of(t_other));
  EXPECT_TRUE(move.m_enabled.empty());
  move.clear();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f_same), &move));
  EXPECT_EQ(move.m_enabled, IDS{gid(t_same)});
  EXPECT_EQ(move.m_bypassed, IDS{gid(f_same)});
}

// Backward into a bypassed driver, the driver must be on the moved
// register's clock (t3 is not), and every other load of it must be the
// data input of a register that may itself be retimed: the move takes the
// register from each of them. A load at a register's clock enable (k_en),
// or a register that may not move (k_idle drives nothing), ends the search
// with nothing taken (k_first, met before k_en, stays); a retimable one
// (k_ok) goes along.
TEST_F(IrtmSearchGuardsTest, ABackwardMoveTakesOnlyRetimableRegistersAtTheirDataInputAlong) {
  SIG clk2 = n->input_port("clk2");
  n->clock("clk2", 1000, clk2);
  std::vector<REG_BUILDER> t, f;
  for (int k = 0; k < 4; ++k) {
    const std::string i = std::to_string(k);
    t.push_back(reg("t" + i, n->input_port("in" + i), 2, 2 + k, 1, k == 3 ? clk2 : SIG()));
    scenes::set_bypassed(t.back());
    f.push_back(reg("f" + i, t.back(), 3, 2 + k, 1));
    reg("f_load" + i, f.back(), 3, 2 + k, 2);
  }
  auto k_first = reg("k_first", t[0], 3, 2, 6);
  reg("k_first_load", k_first, 3, 2, 7);
  auto k_en = reg("k_en", n->input_port("k_en_d"), 3, 2, 4).ce(t[0]);
  reg("k_en_load", k_en, 3, 2, 5);
  auto k_idle = reg("k_idle", t[1], 3, 3, 4);
  auto k_ok = reg("k_ok", t[2], 3, 4, 4);
  reg("k_ok_load", k_ok, 3, 4, 5);
  // A driver in use is no register to move into.
  auto live = reg("live", n->input_port("in_live"), 2, 6, 1);
  auto f_live = reg("f_live", live, 3, 6, 1);
  reg("f_live_load", f_live, 3, 6, 2);
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f[0]), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NO_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), k_en.iterm(DB_INPUT_PORT_ENA));
  EXPECT_TRUE(move.m_enabled.empty());
  EXPECT_TRUE(move.m_bypassed.empty());
  EXPECT_FALSE(mgr->backward_retime_search(ff(f[1]), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::INCOMPATIBLE_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), d_of(k_idle));
  EXPECT_TRUE(move.m_enabled.empty());
  ASSERT_TRUE(mgr->backward_retime_search(ff(f[2]), &move))
      << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_bypassed, (IDS{gid(k_ok), gid(f[2])}));
  EXPECT_EQ(move.m_enabled, IDS{gid(t[2])});
  EXPECT_FALSE(mgr->backward_retime_search(ff(f[3]), &move));
  EXPECT_TRUE(move.m_enabled.empty());
  EXPECT_TRUE(move.m_bypassed.empty());
  EXPECT_FALSE(mgr->backward_retime_search(ff(f_live), &move));
  EXPECT_TRUE(move.m_enabled.empty());
  EXPECT_TRUE(move.m_bypassed.empty());
}

// Only routing-slot registers cannot take a clock enable: a forward move
// across a LUT into bypassed registers, with a register bypassed at the
// LUT's other input that has an enable, fills no slot and is made.
TEST_F(IrtmSearchGuardsTest, AnEnableOfABypassedRegisterRefusesOnlyAMoveIntoSlots) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto g = reg("g", n->input_port("in2"), 2, 2, 2).ce(reg("en", n->input_port("in3"), 2, 2, 4));
  VOK_ATOM_NODE* l = lut("l", {f, g}, 2, 2, 3);
  auto t = reg("t", l, 3, 3, 1);
  scenes::set_bypassed(t);
  reg("t_load", t, 3, 3, 2);
  start();
  ASSERT_TRUE(mgr->forward_retime_soln(ff(f), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  ASSERT_TRUE(move.m_slots.empty());
  EXPECT_EQ(move.m_bypassed, (IDS{gid(g), gid(f)}));
  EXPECT_TRUE(mgr->forward_retime(ff(f), &move));
  EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("    slot registers cannot take a clock enable or clear")));
  EXPECT_TRUE(ff(f)->is_bypassed());
  EXPECT_TRUE(ff(g)->is_bypassed());
  EXPECT_FALSE(ff(t)->is_bypassed());
}

}  // namespace

// Backward across a LUT, one second LUT fed from the LUT's input places is
// crossed with its register; two different ones (sa beside t0, sb beside
// t1) are not. The one left uncrossed would refuse the move later as a load
// that is no register, naming its input, and the batch step would then queue
// the register behind it; refused here, the move takes no register along and
// gives no reason, so nothing is queued for it.
TEST_F(IrtmSearchGuardsTest, ABackwardMoveAcrossALutTakesAtMostOneSecondLut) {
  std::vector<REG_BUILDER> t;
  for (int k = 0; k < 2; ++k) {
    t.push_back(reg("t" + std::to_string(k), n->input_port("in" + std::to_string(k)), 2, 2, 1 + k));
    scenes::set_bypassed(t.back());
  }
  auto f = reg("f", lut("l", {t[0], t[1]}, 2, 2, 3), 3, 3, 1);
  reg("f_load", f, 3, 3, 2);
  auto ra = reg("ra", lut("sa", {t[0]}, 2, 2, 6), 3, 3, 4);
  reg("ra_load", ra, 3, 3, 5);
  auto rb = reg("rb", lut("sb", {t[1]}, 2, 2, 9), 3, 3, 7);
  reg("rb_load", rb, 3, 3, 8);
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::NONE);
  EXPECT_TRUE(move.m_bypassed.empty());
  EXPECT_TRUE(move.m_enabled.empty());
}

// The second LUT's register goes along only when the moved register could
// become it: on another clock it refuses the move.
TEST_F(IrtmSearchGuardsTest, ASecondLutsRegisterMustShareTheClock) {
  SIG clk2 = n->input_port("clk2");
  n->clock("clk2", 1000, clk2);
  auto t = reg("t", n->input_port("in"), 2, 2, 1);
  scenes::set_bypassed(t);
  auto f = reg("f", lut("l", {t}, 2, 2, 3), 3, 3, 1);
  reg("f_load", f, 3, 3, 2);
  auto r = reg("r", lut("second", {t}, 2, 2, 6), 3, 3, 4, clk2);
  reg("r_load", r, 3, 3, 5, clk2);
  start();
  EXPECT_FALSE(mgr->backward_retime_search(ff(f), &move));
  EXPECT_EQ(move.failure.get_reason(), IRTM_FAILURE::INCOMPATIBLE_REGISTER);
  EXPECT_EQ(move.failure.get_iterm(), d_of(r));
}

// The second LUT goes along only with the one register it drives directly:
// not when it drives two (r1, r2 beside t1), nor when its one register sits
// behind a slot (r3 beside t2).
TEST_F(IrtmSearchGuardsTest, ASecondLutGoesAlongOnlyWithItsOneDirectRegister) {
  std::vector<REG_BUILDER> t, f;
  std::vector<VOK_ATOM_NODE*> second;
  for (int k = 0; k < 3; ++k) {
    const std::string i = std::to_string(k);
    t.push_back(reg("t" + i, n->input_port("in" + i), 2, 2 + k, 1));
    scenes::set_bypassed(t.back());
    f.push_back(reg("f" + i, lut("l" + i, {t.back()}, 2, 2 + k, 3), 3, 2 + k, 1));
    reg("f_load" + i, f.back(), 3, 2 + k, 2);
    second.push_back(lut("second" + i, {t.back()}, 2, 2 + k, 6));
  }
  auto r0 = reg("r0", second[0], 3, 2, 4);
  reg("r0_load", r0, 3, 2, 5);
  reg("r1_load", reg("r1", second[1], 3, 3, 4), 3, 3, 5);
  reg("r2_load", reg("r2", second[1], 3, 3, 6), 3, 3, 7);
  auto r3 = reg("r3", second[2], 3, 4, 4);
  reg("r3_load", r3, 3, 4, 5);
  routing().routing(second[2]).wire(lab_output(2, 4, 94)).wire(h(2, 4)).wire(lab_input(3, 4, 5)).sink(d_of(r3));
  // A second LUT reading the net on two of its inputs is one LUT.
  auto t3 = reg("t3", n->input_port("in3"), 2, 5, 1);
  scenes::set_bypassed(t3);
  auto f3 = reg("f3", lut("l3", {t3}, 2, 5, 3), 3, 5, 1);
  reg("f_load3", f3, 3, 5, 2);
  auto r4 = reg("r4", lut("second3", {t3, t3}, 2, 5, 6), 3, 5, 4);
  reg("r4_load", r4, 3, 5, 5);
  start();
  ASSERT_TRUE(mgr->backward_retime_search(ff(f[0]), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_bypassed, (IDS{gid(r0), gid(f[0])}));
  for (int k : {1, 2}) {
    EXPECT_FALSE(mgr->backward_retime_search(ff(f[k]), &move)) << k;
    EXPECT_TRUE(move.m_bypassed.empty()) << k;
  }
  ASSERT_TRUE(mgr->backward_retime_search(ff(f3), &move)) << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_bypassed, (IDS{gid(r4), gid(f3)}));
}
