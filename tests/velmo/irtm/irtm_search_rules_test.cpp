// The move search's rules its scene tests leave open: a register whose one
// load is a LUT-RAM input other than its data input, the outputs a forward
// move across logic retimes, and the carry inputs of a crossed chain.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "irtm_search_scene.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrtmSearchRulesTest : public IRTM_SEARCH_SCENE {};

// Only a LUT-RAM's data input, as a register's one load, keeps the register
// in place: one feeding a LUT-RAM's address or write enable alone moves.
TEST_F(IrtmSearchRulesTest, OnlyALutRamDataInputAsTheOneLoadRefuses) {
  SIG in = n->input_port("in");
  auto to_data = reg("to_data", in, 2, 2, 1);
  n->lutram("ram_d").data_in(to_data).clk(clk);
  auto to_addr = reg("to_addr", in, 2, 2, 2);
  n->lutram("ram_a").addr(0, to_addr).clk(clk);
  auto to_we = reg("to_we", in, 2, 2, 4);
  n->lutram("ram_w").we(to_we).clk(clk);
  start();
  EXPECT_FALSE(mgr->is_retimable_ff(to_data));
  EXPECT_TRUE(mgr->is_retimable_ff(to_addr));
  EXPECT_TRUE(mgr->is_retimable_ff(to_we));
}

// Moved forward across logic, a register ends up on the crossed cells'
// outputs that drive something: a crossed LUT whose output drives nothing
// is crossed (its input loses the register) but is no new output.
TEST_F(IrtmSearchRulesTest, OnlyUsedOutputsOfTheCrossedLogicTakeTheRegister) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  VOK_ATOM_NODE* used_lut = n->lut("used", {f}, [](const LUT_INPUTS& v) { return !v[0]; });
  VOK_ATOM_NODE* idle_lut = n->lut("idle", {f}, [](const LUT_INPUTS& v) { return v[0]; });
  place_at(used_lut, 2, 2, 3);
  place_at(idle_lut, 2, 2, 6);
  reg("t", used_lut, 3, 3, 1);
  start();
  std::vector<VOK_ATOM_OTERM*> outs;
  std::vector<VOK_ATOM_ITERM*> side;
  ASSERT_TRUE(mgr->forward_retime_check_fanout_xcomb(ff(f), &outs, &side, &move));
  EXPECT_EQ(outs, std::vector<VOK_ATOM_OTERM*>{used_lut->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)});
  EXPECT_EQ(move.m_atoms, (std::vector<VOK_ATOM_NODE*>{used_lut, idle_lut}));
  EXPECT_TRUE(side.empty());
}

// Crossing a carry chain, its cells' carry inputs (driven by the cell
// before) are no inputs to take a register from: the whole chain is crossed
// and every sum that drives something takes the register.
TEST_F(IrtmSearchRulesTest, ACrossedChainsCarryInputsAreNotLookedAt) {
  auto f = reg("f", n->input_port("in"), 2, 2, 1);
  auto chain = n->carry_chain("add", 2);
  std::vector<VOK_ATOM_NODE*> cells;
  for (int k = 0; k < 2; ++k) {
    cells.push_back(chain.cell(k));
    place_at(cells.back(), 2, 2, 3 + 3 * k);
    vok_connect(SIG(f).oterm, cells.back()->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
    reg("sum" + std::to_string(k), chain.cell(k).out(DB_OUTPUT_PORT_SUM), 3, 3, 1 + k);
  }
  ASSERT_NE(cells[1]->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0), nullptr);
  ASSERT_NE(cells[1]->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
  start();
  std::vector<VOK_ATOM_OTERM*> outs;
  std::vector<VOK_ATOM_ITERM*> side;
  ASSERT_TRUE(mgr->forward_retime_check_fanout_xcomb(ff(f), &outs, &side, &move))
      << IRTM_FAILURE::reason_text(move.failure.get_reason());
  EXPECT_EQ(move.m_atoms, cells);
  EXPECT_EQ(outs.size(), 2u);
  EXPECT_TRUE(side.empty());
}

}  // namespace
