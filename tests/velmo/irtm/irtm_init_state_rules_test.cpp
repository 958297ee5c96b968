// Power-up states across retiming moves: the all-zero input pattern, carry
// outputs of crossed arithmetic cells.
#include <gtest/gtest.h>

#include <memory>

#include "irtm_init_state_fixture.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_irtm_test.h"

namespace {

using namespace host::testing;
using IV = INITIAL_STATE_MANAGER::INIT_VAL;

class InitStateRulesTest : public velmo_test::InitStateScene {
public:
  using InitStateScene::reg;
  // A register fed by a fresh design input.
  VOK_ATOM_NODE* reg(const std::string& name, bool high) { return reg(name, n->input_port("i_" + name), high); }
  static VOK_ATOM_OTERM* cout(VOK_ATOM_NODE* a) { return a->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0); }
  static void feed(VOK_ATOM_NODE* from, VOK_ATOM_NODE* cell, int input) {
    vok_connect(q(from), cell->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + input), 0));
  }
  static IRTM_MOVE move_of(const std::vector<VOK_ATOM_NODE*>& removed, const std::vector<VOK_ATOM_NODE*>& enabled,
                           std::vector<VOK_ATOM_NODE*> cells) {
    IRTM_MOVE m(0);
    for (auto* r : removed) m.m_bypassed.push_back(r->get_location_gid());
    for (auto* r : enabled) m.m_enabled.push_back(r->get_location_gid());
    m.m_atoms = std::move(cells);
    return m;
  }
};

// Backward, a cell whose required value only the all-zero input pattern
// gives is still crossed: a six-input NOR must be 1, an OR must be 0.
TEST_F(InitStateRulesTest, BackwardFindsTheAllZeroPattern) {
  for (const bool nor : {true, false}) {
    const std::string s = nor ? "nor" : "or";
    std::vector<VOK_ATOM_NODE*> ins;
    std::vector<SIG> sigs;
    for (int i = 0; i < 6; ++i) {
      ins.push_back(reg(s + std::to_string(i), true));
      sigs.push_back(ins.back());
    }
    auto cell = n->lut(s, sigs, [nor](const LUT_INPUTS& x) { return (x.bits != 0) != nor; });
    VOK_ATOM_NODE* r = reg(s + "_r", cell, nor);
    IRTM_MOVE m = move_of({r}, {}, {cell});
    ASSERT_TRUE(ism.compute_state_int(&m, true)) << s;
    for (VOK_ATOM_NODE* in : ins) EXPECT_EQ(value(q(in)), IV::ZERO) << s;
  }
}

// Forward across an arithmetic cell, its carry-out takes the carry the
// removed registers' power-ups give; a re-enabled register on the carry-out
// powers up 0, so a carry of 1 refuses the move.
TEST_F(InitStateRulesTest, ForwardCarryOutMustAgreeWithTheReenabledRegister) {
  for (const bool b_high : {false, true}) {
    const std::string s = b_high ? "hi" : "lo";
    auto chain = n->carry_chain("add_" + s, 1);
    VOK_ATOM_NODE* cell = chain.cell(0);
    VOK_ATOM_NODE* b = reg("b_" + s, b_high);
    feed(b, cell, 0);
    // Sum 0 always; the carry-out is F1, the complement of input 0.
    cell->get_lutmask() = VOK_LUTMASK(0xAAAA0000u);
    reg("sum_" + s, chain.cell(0).out(DB_OUTPUT_PORT_SUM), false);
    VOK_ATOM_NODE* e = reg("e_" + s, cout(cell), false);
    IRTM_MOVE m = move_of({b}, {e}, {cell});
    EXPECT_EQ(ism.compute_state_int(&m, false), b_high) << s;
    if (b_high) EXPECT_EQ(value(cout(cell)), IV::ZERO);
  }
}

// Backward, an arithmetic cell whose sum is unconstrained leaves its carry-out
// unconstrained too, and a further cell of the chain that must give a known
// sum from that carry cannot be crossed: the move is refused.
TEST_F(InitStateRulesTest, BackwardUnconstrainedCellFreesItsCarryOut) {
  auto chain = n->carry_chain("add", 2);
  VOK_ATOM_NODE* low = chain.cell(0);
  VOK_ATOM_NODE* high = chain.cell(1);
  VOK_ATOM_NODE* a = reg("a", false);
  VOK_ATOM_NODE* b = reg("b", false);
  feed(a, low, 0);
  feed(b, high, 0);
  low->get_lutmask() = VOK_LUTMASK(0x6666AAAAu);
  high->get_lutmask() = VOK_LUTMASK(0x6666AAAAu);
  VOK_ATOM_NODE* rl = reg("rl", chain.cell(0).out(DB_OUTPUT_PORT_SUM), false);
  VOK_ATOM_NODE* rh = reg("rh", chain.cell(1).out(DB_OUTPUT_PORT_SUM), false);
  rl->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);  // powers up to anything
  rh->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 1);
  IRTM_MOVE both_free = move_of({rl, rh}, {}, {low, high});
  ASSERT_TRUE(ism.compute_state_int(&both_free, true));
  EXPECT_EQ(value(cout(low)), IV::ANY);
  EXPECT_EQ(value(q(a)), IV::ANY);
  rh->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, 0);
  for (const bool high_up : {false, true}) {
    rh->set_powers_up(high_up);
    IRTM_MOVE m = move_of({rl, rh}, {}, {low, high});
    EXPECT_FALSE(ism.compute_state_int(&m, true)) << high_up;
  }
}

}  // namespace
