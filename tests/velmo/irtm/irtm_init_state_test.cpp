// Power-up states across retiming moves: the listed cases and a property
// test over random 6-input, 8-input and arithmetic cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "irtm_init_state_fixture.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;
using IV = INITIAL_STATE_MANAGER::INIT_VAL;

class InitStateTest : public velmo_test::InitStateScene {
public:
  SIG in(const std::string& name) { return n->input_port(name); }
};

IRTM_MOVE move_of(std::vector<VOK_ATOM_NODE*> removed, std::vector<VOK_ATOM_NODE*> enabled,
                  std::vector<VOK_ATOM_NODE*> cells) {
  IRTM_MOVE m(0);
  for (auto* r : removed) m.m_bypassed.push_back(r->get_location_gid());
  for (auto* r : enabled) m.m_enabled.push_back(r->get_location_gid());
  m.m_atoms = std::move(cells);
  return m;
}

TEST_F(InitStateTest, ForwardThroughAnAndAgreesWithTheReenabledRegister) {
  VOK_ATOM_NODE* a = reg("a", in("i0"), false);
  VOK_ATOM_NODE* b = reg("b", in("i1"), true);
  auto l = n->lut("l", {a, b}, [](const LUT_INPUTS& x) { return x[0] && x[1]; });
  VOK_ATOM_NODE* e = reg("e", l, false);
  IRTM_MOVE m = move_of({a, b}, {e}, {l});
  EXPECT_EQ(ism.get_max_inputs(l), 6);
  EXPECT_TRUE(ism.compute_state_int(&m, false));
  EXPECT_EQ(value(q(l)), IV::ZERO);
  a->set_powers_up(true);
  EXPECT_FALSE(ism.compute_state_int(&m, false));  // 1 AND 1 against the re-enabled 0
  // Parameter 240: unconstrained; a LUT of unconstrained inputs is too.
  a->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
  b->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
  EXPECT_EQ(INITIAL_STATE_MANAGER::power_up_value(a), IV::ANY);
  IRTM_MOVE f = move_of({a, b}, {}, {l});
  EXPECT_TRUE(ism.compute_state_int(&f, false));
  EXPECT_EQ(value(q(l)), IV::ANY);
  // A term without fanout reads 2 and never conflicts.
  auto lone = n->lut("lone", {a}, [](const LUT_INPUTS& x) { return x[0]; });
  EXPECT_EQ(value(q(lone)), IV::ANY);
  EXPECT_TRUE(ism.set_value(q(lone), IV::ONE, false, false));
  EXPECT_TRUE(ism.set_value(q(lone), IV::ZERO, false, false));
  // An 8-input cell reads input 6 in its high half (input 7 low).
  std::vector<SIG> eight;
  std::vector<VOK_ATOM_NODE*> drivers8;
  for (int i = 0; i < 8; ++i) {
    drivers8.push_back(reg("e" + std::to_string(i), in("j" + std::to_string(i)), i == 6));
    eight.push_back(drivers8.back());
  }
  VOK_ATOM_NODE* c8 = scenes::lut8(*n, "c8", eight, [](const LUT_INPUTS& v) { return !v[7] && v[6]; });
  reg("o8", q(c8), false);
  IRTM_MOVE m8 = move_of(drivers8, {}, {c8});
  ASSERT_TRUE(ism.compute_state_int(&m8, false));
  EXPECT_EQ(value(q(c8)), IV::ONE);
  // A constant 8-input cell depends on none of inputs 0-6: with input 7
  // open, no known input reaches it and its output is unconstrained.
  VOK_ATOM_NODE* k8 = scenes::lut8(*n, "k8", eight, [](const LUT_INPUTS&) { return true; });
  k8->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 7), 0)
      ->disconnect_from_source(VOK_NET_ITERM::OPEN);
  reg("ok8", q(k8), false);
  IRTM_MOVE mk = move_of(drivers8, {}, {k8});
  ASSERT_TRUE(ism.compute_state_int(&mk, false));
  EXPECT_EQ(value(q(k8)), IV::ANY);
}

TEST_F(InitStateTest, BackwardPicksTheFirstPatternAndLeavesIgnoredInputsFree) {
  VOK_ATOM_NODE* a = reg("a", in("i0"), false);
  VOK_ATOM_NODE* b = reg("b", in("i1"), false);
  VOK_ATOM_NODE* c = reg("c", in("i2"), false);
  auto x = n->lut("x", {a, b, c}, [](const LUT_INPUTS& v) { return v[0] != v[1]; });
  VOK_ATOM_NODE* r = reg("r", x, true);
  IRTM_MOVE m = move_of({r}, {}, {x});
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(x)), IV::ONE);
  EXPECT_EQ(value(q(a)), IV::ONE);  // k = 1
  EXPECT_EQ(value(q(b)), IV::ZERO);
  EXPECT_EQ(value(q(c)), IV::ANY);  // ignored
  // One net on both inputs: XOR cannot give 1, AND can.
  auto same_xor = n->lut("sx", {a, a}, [](const LUT_INPUTS& v) { return v[0] != v[1]; });
  VOK_ATOM_NODE* r2 = reg("r2", same_xor, true);
  IRTM_MOVE m2 = move_of({r2}, {}, {same_xor});
  EXPECT_FALSE(ism.compute_state_int(&m2, true));
  auto same_and = n->lut("sa", {b, b}, [](const LUT_INPUTS& v) { return v[0] && v[1]; });
  VOK_ATOM_NODE* r3 = reg("r3", same_and, true);
  IRTM_MOVE m3 = move_of({r3}, {}, {same_and});
  ASSERT_TRUE(ism.compute_state_int(&m3, true));
  EXPECT_EQ(value(q(b)), IV::ONE);
  // A pattern in conflict with a value an earlier cell fixed is passed over:
  // y fixes g at 1, so the equality's pattern 0 is refused and pattern 3
  // sets f to 1.
  VOK_ATOM_NODE* f = reg("f", in("i3"), false);
  VOK_ATOM_NODE* g = reg("g", in("i4"), false);
  auto y = n->lut("y", {g}, [](const LUT_INPUTS& v) { return v[0]; });
  auto eq = n->lut("eq", {f, g}, [](const LUT_INPUTS& v) { return v[0] == v[1]; });
  VOK_ATOM_NODE* ry = reg("ry", y, true);
  VOK_ATOM_NODE* req = reg("req", eq, true);
  IRTM_MOVE m4 = move_of({ry, req}, {}, {y, eq});
  ASSERT_TRUE(ism.compute_state_int(&m4, true));
  EXPECT_EQ(value(q(g)), IV::ONE);
  EXPECT_EQ(value(q(f)), IV::ONE);
  // A crossed cell whose result no removed register fixed is a broken move.
  IRTM_MOVE stray = move_of({r}, {}, {same_and});
  EXPECT_THROW(ism.compute_state_int(&stray, true), HOST_INTERNAL_ERROR);
}

TEST_F(InitStateTest, BackwardSecondarySignalsOutsidePipelineSlots) {
  VOK_ATOM_NODE* d = reg("d", in("i0"), false);
  VOK_ATOM_NODE* s = reg("s", in("i1"), false);
  VOK_ATOM_NODE* e = reg("e", in("i2"), false);
  auto r = n->reg("r").clk(clk).d(d).sclr(s).ce(e);
  place_at(r, 6, 6, 1);
  IRTM_MOVE m = move_of({r}, {}, {});
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(s)), IV::ONE);
  EXPECT_EQ(value(q(d)), IV::ANY);
  EXPECT_EQ(value(q(e)), IV::ANY);
  // Power-up 1: the enable 1, the clear 0.
  r->set_powers_up(true);
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(d)), IV::ONE);
  EXPECT_EQ(value(q(e)), IV::ONE);
  EXPECT_EQ(value(q(s)), IV::ZERO);
  // Enabled by its own data: powering up 0 needs that driver 0 (the data)
  // and 1 (the enable) at once; powering up 1 needs it 1 twice.
  VOK_ATOM_NODE* x = reg("x", in("i3"), false);
  auto own = n->reg("own").clk(clk).d(x).ce(x);
  place_at(own, 7, 7, 1);
  IRTM_MOVE mo = move_of({own}, {}, {});
  EXPECT_FALSE(ism.compute_state_int(&mo, true));
  own->set_powers_up(true);
  ASSERT_TRUE(ism.compute_state_int(&mo, true));
  EXPECT_EQ(value(q(x)), IV::ONE);
  // In a pipeline slot the secondary signals are left alone.
  place_in_slot(r, 6, 6, 62);
  IRTM_MOVE slot = move_of({r}, {}, {});
  ASSERT_TRUE(ism.compute_state_int(&slot, true));
  IV v;
  EXPECT_FALSE(ism.get_value(q(s), &v));
}

TEST_F(InitStateTest, ArithmeticCarryInUnconstrainedAnswersTwo) {
  auto chain = n->carry_chain("add", 2);
  VOK_ATOM_NODE* a = reg("a", in("i0"), false);
  vok_connect(q(a), chain.cell(1)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
  chain.cell(1)->get_lutmask() = VOK_LUTMASK(0x6666AAAAu);
  VOK_ATOM_NODE* r = reg("r", chain.cell(1).out(DB_OUTPUT_PORT_SUM), true);
  (void)r;
  ASSERT_EQ(ism.get_max_inputs(chain.cell(1)), 4);
  ism.m_values[chain.cell(0)->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)] = IV::ANY;
  IV carry;
  for (int k = 0; k < 16; ++k) EXPECT_EQ(ism.find_value(chain.cell(1), k, carry), IV::ANY);
  EXPECT_EQ(carry, IV::ANY);
  // With a known carry-in the sum is F0 xor c.
  ism.m_values[chain.cell(0)->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)] = IV::ONE;
  const bool f0 = host::lut_eval(0xAAAAu, 4, 1);
  EXPECT_EQ(ism.find_value(chain.cell(1), 1, carry), f0 ? IV::ZERO : IV::ONE);
  // The carry-out is the carry-in where F0 is 1 and F1 where F0 is 0. With
  // carry-in 0: pattern 0 reads F0 = 1, F1 = 0; pattern 1 F0 = 0, F1 = 1.
  ism.m_values[chain.cell(0)->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)] = IV::ZERO;
  EXPECT_EQ(ism.find_value(chain.cell(1), 0, carry), IV::ONE);
  EXPECT_EQ(carry, IV::ZERO);
  EXPECT_EQ(ism.find_value(chain.cell(1), 1, carry), IV::ZERO);
  EXPECT_EQ(carry, IV::ONE);
  EXPECT_EQ(expect_internal_error([&] { ism.assign_inputs(a, 0, 2); }).condition, "atom->is_lcell_comb()");

  // Backward across the chain's first cell, whose sum is 0 and whose
  // carry-out is its input b: pattern 0 (b = 0) gives carry 1 against the
  // 0 a removed register fixes on the carry-out, so it is refused and the
  // value it gave b must go with it; pattern 1 (b = 1) then fits.
  auto chain2 = n->carry_chain("sub", 2);
  VOK_ATOM_NODE* first = chain2.cell(0);
  VOK_ATOM_NODE* b = reg("b", in("i1"), false);
  vok_connect(q(b), first->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
  first->get_lutmask() = VOK_LUTMASK(0xAAAA0000u);
  VOK_ATOM_NODE* rs = reg("rs", chain2.cell(0).out(DB_OUTPUT_PORT_SUM), false);
  VOK_ATOM_NODE* rc = reg("rc", first->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0), false);
  IRTM_MOVE m = move_of({rs, rc}, {}, {first});
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(b)), IV::ONE);
  // Unconstrained removed registers leave the cell's inputs and carry-out free.
  rs->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
  rc->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(b)), IV::ANY);
  EXPECT_EQ(value(first->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)), IV::ANY);
}

TEST_F(InitStateTest, PartnerRegisterKeepsItsOwnPowerUp) {
  for (const bool partner_high : {false, true}) {
    const SIG d = in("ix" + std::to_string(partner_high));
    VOK_ATOM_NODE* x = reg("x" + std::to_string(partner_high), d, partner_high);
    VOK_ATOM_NODE* r = reg("r" + std::to_string(partner_high), x, true);
    IRTM_MOVE m = move_of({r}, {}, {});
    m.m_qfbk_gid = x->get_location_gid();
    EXPECT_EQ(ism.compute_state_int(&m, true), partner_high) << partner_high;
    if (partner_high) EXPECT_EQ(value(d.oterm), IV::ONE);  // the partner's D driver takes its value
  }
}

// Two registers on one net removed by one backward move: the register left
// behind can keep one power-up only, so differing ones refuse the move.
TEST_F(InitStateTest, RegistersRemovedTogetherMustAgreeOnPowerUp) {
  VOK_ATOM_NODE* s = reg("s", in("is"), false);
  VOK_ATOM_NODE* p = reg("p", s, false);
  VOK_ATOM_NODE* r = reg("q", s, true);
  IRTM_MOVE m = move_of({p, r}, {}, {});
  EXPECT_FALSE(ism.compute_state_int(&m, true));
  p->set_powers_up(true);
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(s)), IV::ONE);
}

// Random cells: forward, the value recorded on the output is the cell on the
// removed registers' power-ups; backward, the recorded input values give the
// required output for every completion of the unconstrained ones.
TEST_F(InitStateTest, RandomCellsForwardAndBackward) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    const int kind = round % 3;  // 0: 6-input, 1: 8-input, 2: arithmetic
    const int inputs = kind == 0 ? 6 : kind == 1 ? 8 : 4;
    const int drivers = 3 + static_cast<int>(rng() % 3);
    std::vector<VOK_ATOM_NODE*> regs;
    for (int i = 0; i < drivers; ++i)
      regs.push_back(reg("p" + std::to_string(round) + "_" + std::to_string(i), in("q" + std::to_string(round) + "_" + std::to_string(i)),
                         (rng() & 1) != 0));
    std::vector<SIG> sigs;
    for (int i = 0; i < inputs; ++i) sigs.push_back(regs[rng() % regs.size()]);
    std::uint64_t mask = (static_cast<std::uint64_t>(rng()) << 32) | rng();
    VOK_ATOM_NODE* cell;
    const std::string name = "c" + std::to_string(round);
    if (kind == 0) {
      cell = n->lut(name, sigs, mask).atom();
    } else if (kind == 1) {
      cell = scenes::lut8(*n, name, sigs, [&](const LUT_INPUTS& v) { return host::lut_eval(mask, 8, v.bits); });
    } else {
      cell = n->carry_chain(name, 1).cell(0);
      for (int i = 0; i < 4; ++i)
        vok_connect(sigs[static_cast<std::size_t>(i)].oterm,
                    cell->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0));
      mask &= 0xFFFFFFFFu;
      cell->get_lutmask() = VOK_LUTMASK(mask);
    }
    if (mask == 0 || mask == ~std::uint64_t{0}) continue;
    VOK_ATOM_NODE* out = reg("o" + std::to_string(round), cell->get_oterm_slot(0), (rng() & 1) != 0);
    ASSERT_EQ(ism.get_max_inputs(cell), inputs) << round;
    auto eval = [&](unsigned k) {
      if (kind == 2) return host::lut_eval(mask & 0xFFFFu, 4, k);  // carry-in 0
      return host::lut_eval(mask, inputs, k);
    };
    // Forward.
    IRTM_MOVE fwd = move_of(regs, {}, {cell});
    ASSERT_TRUE(ism.compute_state_int(&fwd, false)) << round;
    unsigned k = 0;
    for (int i = 0; i < inputs; ++i)
      if (sigs[static_cast<std::size_t>(i)].oterm->get_my_node()->powers_up()) k |= 1u << i;
    EXPECT_EQ(value(cell->get_oterm_slot(0)), eval(k) ? IV::ONE : IV::ZERO) << round;
    // Backward: the required value is the output register's power-up.
    IRTM_MOVE bwd = move_of({out}, {}, {cell});
    const bool want = out->powers_up();
    bool exists = false;
    for (unsigned a = 0; a < (1u << drivers) && !exists; ++a) {
      unsigned pattern = 0;
      for (int i = 0; i < inputs; ++i) {
        const auto it = std::find(regs.begin(), regs.end(), sigs[static_cast<std::size_t>(i)].oterm->get_my_node());
        if ((a >> (it - regs.begin())) & 1u) pattern |= 1u << i;
      }
      exists = eval(pattern) == want;
    }
    const bool ok = ism.compute_state_int(&bwd, true);
    EXPECT_EQ(ok, exists) << round;
    if (!ok) continue;
    std::vector<IV> vals;
    for (VOK_ATOM_NODE* r : regs) vals.push_back(value(q(r)));
    for (unsigned a = 0; a < (1u << drivers); ++a) {
      bool fits = true;
      for (int d = 0; d < drivers; ++d)
        if (vals[static_cast<std::size_t>(d)] != IV::ANY && ((a >> d) & 1u) != vals[static_cast<std::size_t>(d)]) fits = false;
      if (!fits) continue;
      unsigned pattern = 0;
      for (int i = 0; i < inputs; ++i) {
        const auto it = std::find(regs.begin(), regs.end(), sigs[static_cast<std::size_t>(i)].oterm->get_my_node());
        if ((a >> (it - regs.begin())) & 1u) pattern |= 1u << i;
      }
      EXPECT_EQ(eval(pattern), want) << "round " << round << " completion " << a;
    }
  }
}

}  // namespace
