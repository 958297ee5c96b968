// Power-up values through crossed cells take only the inputs that matter:
// an input without a driver takes no value and cannot conflict (backward),
// and an input the cell's function ignores does not make its result known
// (forward).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "irtm_init_state_fixture.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "velmo_irtm_test.h"

namespace {

using namespace host::testing;
using IV = INITIAL_STATE_MANAGER::INIT_VAL;

class InitStateIgnoredInputsTest : public velmo_test::InitStateScene {
public:
  using InitStateScene::reg;
  // A register fed by a fresh design input.
  VOK_ATOM_NODE* reg(const std::string& name, bool high) { return reg(name, n->input_port("i_" + name), high); }
  // The same, its power-up marked unconstrained.
  VOK_ATOM_NODE* unconstrained(const std::string& name, bool high) {
    VOK_ATOM_NODE* r = reg(name, high);
    r->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
    return r;
  }
  static void open_input(VOK_ATOM_NODE* cell, int i) {
    cell->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0)
        ->disconnect_from_source(VOK_NET_ITERM::OPEN);
  }
  static IRTM_MOVE move_of(const std::vector<VOK_ATOM_NODE*>& removed, std::vector<VOK_ATOM_NODE*> cells) {
    IRTM_MOVE m(0);
    for (auto* r : removed) m.m_bypassed.push_back(r->get_location_gid());
    m.m_atoms = std::move(cells);
    return m;
  }
};

TEST_F(InitStateIgnoredInputsTest, BackwardOpenInputsTakeNoValue) {
  // (i0 != i1) && i2 with i0 and i1 left open: the first pattern giving 1
  // wants them at different values, which is no conflict when neither has a
  // driver; the driven input gets its 1.
  VOK_ATOM_NODE* a = reg("a", false);
  VOK_ATOM_NODE* b = reg("b", false);
  VOK_ATOM_NODE* c = reg("c", false);
  auto x = n->lut("x", {a, b, c}, [](const LUT_INPUTS& v) { return v[0] != v[1] && v[2]; });
  open_input(x, 0);
  open_input(x, 1);
  VOK_ATOM_NODE* r = reg("r", x, true);
  IRTM_MOVE m = move_of({r}, {x});
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(c)), IV::ONE);
  // Required 0, the first pattern (all zero) serves.
  r->set_powers_up(false);
  ASSERT_TRUE(ism.compute_state_int(&m, true));
  EXPECT_EQ(value(q(c)), IV::ZERO);
}

TEST_F(InitStateIgnoredInputsTest, ForwardKnownIgnoredInputsLeaveTheResultFree) {
  // A 6-input cell that passes input 1 on: a known value on input 0 says
  // nothing about it.
  VOK_ATOM_NODE* a = reg("a", true);
  VOK_ATOM_NODE* b = unconstrained("b", false);
  auto l = n->lut("l", {a, b}, [](const LUT_INPUTS& v) { return v[1]; });
  reg("e", l, false);
  IRTM_MOVE m = move_of({a, b}, {l});
  ASSERT_TRUE(ism.compute_state_int(&m, false));
  EXPECT_EQ(value(q(l)), IV::ANY);
  // Input 1 known: the result follows it.
  b->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 0);
  b->set_powers_up(true);
  ASSERT_TRUE(ism.compute_state_int(&m, false));
  EXPECT_EQ(value(q(l)), IV::ONE);

  // An 8-input cell that reads input 0 only with input 7 high (and is 0
  // with it low) ignores inputs 5 and 6: known values there leave the result
  // free while every input it reads is unconstrained.
  std::vector<SIG> eight;
  std::vector<VOK_ATOM_NODE*> drivers;
  for (int i = 0; i < 8; ++i) {
    const bool known = i == 5 || i == 6;
    const std::string name = "e" + std::to_string(i);
    drivers.push_back(known ? reg(name, i == 6) : unconstrained(name, i == 6));
    eight.push_back(drivers.back());
  }
  VOK_ATOM_NODE* c8 = scenes::lut8(*n, "c8", eight, [](const LUT_INPUTS& v) { return v[7] && v[0]; });
  reg("o8", q(c8), false);
  IRTM_MOVE m8 = move_of(drivers, {c8});
  ASSERT_TRUE(ism.compute_state_int(&m8, false));
  EXPECT_EQ(value(q(c8)), IV::ANY);
}

}  // namespace
